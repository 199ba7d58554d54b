#pragma once
// Keeps a journal (SessionJournal) for every session window that measurement
// runs fill: a position's finished records are appended as the run goes, the
// whole session is rewritten when its settings changed; the journal goes when
// the session is saved (its window's save or a job's save line) or its window
// is closed without saving, and stays when the program ends otherwise. A
// recovered session adopts the journal it came from. Owned by the main window;
// the run observer feeds it.
#include "DataAnalyzer.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <map>
#include <memory>

class PlotManager;
class SessionJournal;

class SessionJournals : public QObject
{
    Q_OBJECT
public:
    explicit SessionJournals(const QString& folder, QObject* parent = nullptr);
    ~SessionJournals() override;

    QString folder() const { return m_folder; }
    void setFolder(const QString& folder) { m_folder = folder; }

    // Run events of a session window.
    void scanFiled(PlotManager* pm, int group, int index);
    // Records filed earlier leave the session again (they hold no data).
    void removingScans(PlotManager* pm, const QVector<DataAnalyzer::Location>& locations);
    // The records filed so far are final: into the journal with them.
    void recordsFinished(PlotManager* pm);
    // A session recovered from `path` keeps it until saved or discarded.
    void adopt(PlotManager* pm, const QString& path);
    // From now on a window that closes unsaved leaves its journal (a close
    // without questions: --quit-after); only a save removes one.
    void keepOnClose() { m_keepOnClose = true; }
    // The journal of a session, nullptr when it has none (tests).
    const SessionJournal* journal(PlotManager* pm) const;

signals:
    // Once per program: a journal cannot be written (the text names the cause).
    void writeFailed(const QString& text);

private:
    struct Entry {
        std::unique_ptr<SessionJournal> journal;
        QVector<QPair<int, int>> pending;
    };
    Entry& entry(PlotManager* pm);
    void discard(PlotManager* pm);
    void report(const QString& error);

    QString m_folder;
    std::map<PlotManager*, Entry> m_entries;
    bool m_reported = false;
    bool m_keepOnClose = false;
};
