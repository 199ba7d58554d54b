#include "JobConsole.h"

#include "AppLog.h"
#include "AppState.h"
#include "ConfigParam.h"
#include "DataAnalyzer.h"
#include "JobScript.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "Prompter.h"
#include "SessionFile.h"
#include "SignalNotifier.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <utility>

namespace {
// Answers every box without a person: prints it, logs it, takes its default.
class UnattendedPrompter : public Prompter
{
public:
    UnattendedPrompter(QTextStream& out, int swProbeMode) : m_out(out), m_mode(swProbeMode) {}

    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def,
                                        const QString& informative) override
    {
        QString shown = text;
        if (!informative.isEmpty())
            shown += QLatin1Char('\n') + informative;
        m_out << "[" << title << "] " << QString(shown).replace(QLatin1Char('\n'), QStringLiteral("\n    ")) << "\n";
        m_shown += shown + QLatin1Char('\n');
        m_out.flush();
        if (AppLog* log = AppLog::instance())
            log->log(title + QStringLiteral(": ") + shown);
        if (def != QMessageBox::NoButton)
            return def;
        for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel})
            if (buttons.testFlag(b))
                return b;
        return QMessageBox::Ok;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return QString(); }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return QString(); }
    int execDialog(QDialog* d) override
    {
        auto* sel = qobject_cast<ProbeModeSelector*>(d);
        if (!sel)
            return QDialog::Rejected;
        static const struct {
            int mode;
            ProbeModeSelector::Choice choice;
        } choices[] = {{0, ProbeModeSelector::eWithoutDcRef},
                       {1, ProbeModeSelector::eWithDcRef},
                       {3, ProbeModeSelector::eDouble},
                       {4, ProbeModeSelector::eSpherical},
                       {5, ProbeModeSelector::eMach}};
        QRadioButton* pick = nullptr;
        for (const auto& c : choices) {
            QRadioButton* b = sel->button(c.choice);
            if (m_mode < 0 ? b->isChecked() : c.mode == m_mode)
                pick = b;
        }
        if (!pick)
            pick = sel->button(ProbeModeSelector::eWithoutDcRef); // nothing stored yet
        if (!pick->isEnabled()) {
            m_out << "lpmeasure: the controller cannot serve probe mode " << m_mode << "\n";
            m_refusedMode = true;
            pick = sel->button(ProbeModeSelector::eWithoutDcRef);
        }
        pick->click();
        return sel->result();
    }
    bool openUrl(const QUrl&) override { return false; }

    bool refusedMode() const { return m_refusedMode; }
    // The boxes printed since the last call.
    QString takeShown() { return std::exchange(m_shown, QString()); }

private:
    QString m_shown;
    QTextStream& m_out;
    int m_mode;
    bool m_refusedMode = false;
};

// Restores the interactive prompter on every way out.
struct Installed {
    explicit Installed(Prompter* p) { Prompter::setInstance(p); }
    ~Installed() { Prompter::setInstance(nullptr); }
};

// Scans the job measured but no save line wrote go beside the job file, one
// file per session that holds some.
void saveUnsaved(MainWin& w, const QString& jobFile, QTextStream& out, QTextStream& err)
{
    const QFileInfo job(jobFile);
    const QString base = QStringLiteral("%1-recovered-%2")
                             .arg(job.completeBaseName(),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    int files = 0;
    for (PlotManager* pm : w.sessions()) {
        DataAnalyzer& data = *pm->data();
        if (data.unsavedScans() <= 0)
            continue;
        ++files;
        const QString path = job.dir().filePath(
            (files == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(files)) + QStringLiteral(".ldf"));
        QString why;
        if (QFileInfo::exists(path) || !SessionFile::save(data, path, &why)) {
            err << "lpmeasure: cannot save the unsaved scans to " << path << ": "
                << (why.isEmpty() ? QStringLiteral("it exists") : why) << "\n";
            continue;
        }
        data.markSaved();
        out << "lpmeasure: " << data.scanCount() << " scans saved to " << path << "\n";
    }
}
} // namespace

namespace JobConsole {

bool showOnConsole(QtMsgType type, const QString& text, bool verbose)
{
    if (verbose)
        return true;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return false;
    // The driver writes every line to its log file as well.
    for (const char* head : {"[DEB ", "[WARN ", "[CRIT "})
        if (text.startsWith(QLatin1String(head)))
            return false;
    // Qt's remarks on a window-less run (no runtime folder, size hints of the
    // offscreen platform) say nothing about the measurement.
    for (const char* head : {"This plugin does not support ", "QStandardPaths: XDG_RUNTIME_DIR not set"})
        if (text.startsWith(QLatin1String(head)))
            return false;
    return true;
}

namespace {
bool g_verbose = false;

void consoleHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (!showOnConsole(type, text, g_verbose))
        return;
    const QByteArray line = qFormatLogMessage(type, context, text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
    if (type == QtFatalMsg)
        std::abort();
}
} // namespace

void installConsoleFilter(bool verbose)
{
    g_verbose = verbose;
    qInstallMessageHandler(consoleHandler);
}

QString StatusEcho::show(QString text, qint64 nowMs)
{
    m_waiting.clear();
    m_printed = true;
    m_lastMs = nowMs;
    m_seen.insert(text);
    return text;
}

QString StatusEcho::offer(const QString& text, qint64 nowMs)
{
    if (text.isEmpty())
        return QString();
    if (m_seen.contains(text)) {
        // Back to a text already shown: what waited is past, and nothing is new.
        m_waiting.clear();
        return QString();
    }
    if (!m_printed || nowMs - m_lastMs >= m_gapMs)
        return show(text, nowMs);
    m_waiting = text;
    return QString();
}

QString StatusEcho::due(qint64 nowMs, bool now)
{
    if (m_waiting.isEmpty() || (!now && nowMs - m_lastMs < m_gapMs))
        return QString();
    return show(m_waiting, nowMs);
}

QString printable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == 0)
            out += QLatin1String("\\0");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString failureText(const QString& reason, const QString& shown)
{
    const int colon = reason.indexOf(QLatin1String(": "));
    if (colon < 0 || shown.isEmpty())
        return reason;
    for (const QString& part : reason.mid(colon + 2).split(QStringLiteral("; ")))
        if (!shown.contains(part))
            return reason;
    return reason.left(colon) + QStringLiteral(" (the alerts above)");
}

QString scanSummary(const ScanRecord& first, int records, const ConfigParam& config)
{
    const AccumulatedTrace& t = first.accumulated;
    const int n = t.pointCount();
    if (n < 1)
        return QStringLiteral("scan: no data");
    QString s = QStringLiteral("scan: %1 \u2026 %2 V, %3 points")
                    .arg(t.meanVoltage(0), 0, 'f', 1)
                    .arg(t.meanVoltage(n - 1), 0, 'f', 1)
                    .arg(n);
    if (config.sync.bUseSyncScan)
        return s + QStringLiteral(", %1 time points").arg(records);
    if (records > 1)
        s += QStringLiteral(", the first of %1 records").arg(records);
    if (!config.initScanDisable && config.useSmartScan)
        s += QStringLiteral(" (voltages optimised by the initial scan)");
    return s;
}

int probeModeFromText(const QString& text)
{
    const QString t = text.trimmed().toLower();
    static const QStringList names{QStringLiteral("single"), QStringLiteral("reference"), QString(),
                                   QStringLiteral("double"), QStringLiteral("spherical"), QStringLiteral("mach")};
    for (int m : {0, 1, 3, 4, 5})
        if (t == names[m] || t == QString::number(m))
            return m;
    return -1;
}

int run(MainWin& w, const QString& jobFile, int swProbeMode, QTextStream& out, QTextStream& err)
{
    QString text, why;
    if (!BatchJob::readFile(jobFile, &text, &why)) {
        err << "lpmeasure: cannot read job file " << jobFile << ": " << why << "\n";
        return eRefused;
    }
    UnattendedPrompter prompter(out, swProbeMode);
    Installed installed(&prompter);

    // Progress: the window's status text as it changes, a few lines a second.
    StatusEcho echo;
    QElapsedTimer clock;
    clock.start();
    auto print = [&out](const QString& s) {
        if (!s.isEmpty()) {
            out << "  " << s << "\n";
            out.flush();
        }
    };
    QObject context; // ends the connections with this function
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged, &context,
                     [&](const QString& s) { print(echo.offer(s, clock.elapsed())); });
    QTimer statusTimer;
    statusTimer.setInterval(100);
    QObject::connect(&statusTimer, &QTimer::timeout, &context, [&] { print(echo.due(clock.elapsed())); });
    statusTimer.start();
    out << "lpmeasure: connecting to the controller\n";
    out.flush();
    w.action(QStringLiteral("Connect"))->trigger();
    if (!w.controller().isConnected() || !w.currentSession() || !w.currentSession()->isLive() || prompter.refusedMode()) {
        err << "lpmeasure: cannot connect to the controller";
        if (!w.alertList().isEmpty())
            err << ": " << w.alertList().join(QStringLiteral("; "));
        err << "\n";
        return eLineFailed;
    }
    // Ctrl+C and SIGTERM end the job as its Abort button does (the program's
    // signal handling); one that came during the connect starts no line.
    if (SignalNotifier::pending()) {
        err << "lpmeasure: interrupted while connecting; no job line ran\n";
        return eLineFailed;
    }

    w.setJobOpen(true);
    BatchJob job(w.jobHost(), text, QFileInfo(jobFile).absolutePath());
    const int n = job.lines().size();
    if (!job.test()) {
        err << "lpmeasure: job file " << jobFile << " refused:\n";
        for (int i = 0; i < n; ++i)
            if (!job.errors()[i].isEmpty())
                err << "line " << i + 1 << ": " << printable(job.lines()[i]) << ": " << job.errors()[i] << "\n";
        w.setJobOpen(false);
        return eRefused;
    }
    out << "lpmeasure: job " << jobFile << ": " << n << " lines checked\n";
    out.flush();
    BatchJob::Observer o;
    // Records of the current session before a line: a scan line tells what it measured.
    QVector<int> before;
    auto recordCounts = [&w] {
        QVector<int> counts;
        if (PlotManager* pm = w.currentSession())
            for (int g = 0; g < pm->data()->groupCount(); ++g)
                counts << pm->data()->scansOfGroup(g).size();
        return counts;
    };
    o.lineStarted = [&](int i) {
        if (!job.lines()[i].isEmpty())
            out << "[" << i + 1 << "/" << n << "] " << printable(job.lines()[i]) << "\n";
        out.flush();
        before = recordCounts();
        echo.newLine();
        prompter.takeShown();
    };
    o.lineEnded = [&](int i, bool ok, const QString& reason) {
        if (!ok) {
            // An alert that a box printed during the line is not repeated.
            err << "line " << i + 1 << " failed: " << printable(job.lines()[i]) << ": "
                << failureText(reason, prompter.takeShown()) << "\n";
            err.flush();
            return;
        }
        const QStringList tokens = JobScript::tokenize(job.lines()[i]);
        PlotManager* pm = w.currentSession();
        if (tokens.isEmpty() || tokens[0] != QLatin1String("scan") || !pm)
            return;
        const QVector<int> after = recordCounts();
        DataAnalyzer* data = pm->data();
        const ScanRecord* first = nullptr;
        int added = 0;
        for (int g = 0; g < after.size(); ++g) {
            const int old = g < before.size() ? before[g] : 0;
            if (after[g] > old && !first)
                first = data->scan(g, old);
            added += std::max(0, after[g] - old);
        }
        if (first) {
            print(echo.due(clock.elapsed(), true)); // the scan's last status before its result
            out << "  " << scanSummary(*first, added, data->configuration()) << "\n";
            out.flush();
        }
    };
    const int failed = SignalNotifier::pending() ? 0 : job.run(o);
    w.setJobOpen(false);
    if (job.aborted() || SignalNotifier::pending()) {
        err << "lpmeasure: job aborted after " << job.linesRun() << " of " << n << " lines\n";
        saveUnsaved(w, jobFile, out, err);
        return eLineFailed;
    }
    out << "lpmeasure: job finished: " << n << " lines, " << failed << " failed\n";
    saveUnsaved(w, jobFile, out, err);
    return failed ? eLineFailed : eAllRan;
}

} // namespace JobConsole
