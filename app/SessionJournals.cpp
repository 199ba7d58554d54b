#include "SessionJournals.h"

#include "AppLog.h"
#include "DataAnalyzer.h"
#include "PlotManager.h"
#include "SessionJournal.h"

#include <QTextStream>

SessionJournals::SessionJournals(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder) {}

SessionJournals::~SessionJournals() = default;

SessionJournals::Entry& SessionJournals::entry(PlotManager* pm)
{
    auto it = m_entries.find(pm);
    if (it != m_entries.end())
        return it->second;
    // A save or a deliberate close ends the journal; a window that simply
    // goes (the program ends) leaves it for the next start.
    connect(pm->data(), &DataAnalyzer::saved, this, [this, pm] { discard(pm); });
    connect(pm, &PlotManager::close, this, [this](PlotManager* p) {
        if (!m_keepOnClose)
            discard(p);
    });
    connect(pm, &QObject::destroyed, this, [this, pm] { m_entries.erase(pm); });
    return m_entries[pm];
}

void SessionJournals::scanFiled(PlotManager* pm, int group, int index)
{
    if (pm)
        entry(pm).pending.append({group, index});
}

void SessionJournals::removingScans(PlotManager* pm, const QVector<DataAnalyzer::Location>& locations)
{
    const auto it = m_entries.find(pm);
    if (it == m_entries.end())
        return;
    for (const DataAnalyzer::Location& at : locations)
        it->second.pending.removeAll({at.group, at.index});
}

void SessionJournals::recordsFinished(PlotManager* pm)
{
    if (!pm)
        return;
    Entry& e = entry(pm);
    const DataAnalyzer& session = *pm->data();
    if (e.pending.isEmpty() && (!e.journal || e.journal->headMatches(session)))
        return;
    QString error;
    if (!e.journal) {
        e.journal = SessionJournal::create(m_folder, session, &error);
    } else if (!e.journal->headMatches(session)) {
        // New settings (or an adopted journal): the whole session again.
        if (!e.journal->restart(session)) {
            error = e.journal->errorString();
            e.journal->remove();
            e.journal = SessionJournal::create(m_folder, session, &error);
        }
    } else {
        for (const QPair<int, int>& at : qAsConst(e.pending))
            if (const ScanRecord* s = pm->data()->scan(at.first, at.second))
                if (!e.journal->append(*s))
                    error = e.journal->errorString();
    }
    e.pending.clear();
    if (!error.isEmpty())
        report(error);
}

void SessionJournals::adopt(PlotManager* pm, const QString& path)
{
    QString error;
    auto j = SessionJournal::adopt(path, &error);
    if (!j) {
        report(error);
        return;
    }
    entry(pm).journal = std::move(j);
}

const SessionJournal* SessionJournals::journal(PlotManager* pm) const
{
    const auto it = m_entries.find(pm);
    return it == m_entries.end() ? nullptr : it->second.journal.get();
}

void SessionJournals::discard(PlotManager* pm)
{
    const auto it = m_entries.find(pm);
    if (it == m_entries.end())
        return;
    if (it->second.journal)
        it->second.journal->remove();
    it->second.journal.reset();
    it->second.pending.clear();
}

void SessionJournals::report(const QString& error)
{
    // Once per program: the measurement goes on without its safety net.
    if (m_reported)
        return;
    m_reported = true;
    const QString text = QStringLiteral("The measurement journal cannot be written: %1").arg(error);
    QTextStream(stderr) << "lpmeasure: " << text << "\n";
    if (AppLog* log = AppLog::instance())
        log->log(text);
    emit writeFailed(text);
}
