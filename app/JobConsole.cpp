#include "JobConsole.h"

#include "AppLog.h"
#include "AppState.h"
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
#include <QFileInfo>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>

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

private:
    QTextStream& m_out;
    int m_mode;
    bool m_refusedMode = false;
};

// Restores the interactive prompter on every way out.
struct Installed {
    explicit Installed(Prompter* p) { Prompter::setInstance(p); }
    ~Installed() { Prompter::setInstance(nullptr); }
};

// Scans the job measured but no save line wrote go beside the job file.
void saveUnsaved(MainWin& w, const QString& jobFile, QTextStream& out, QTextStream& err)
{
    PlotManager* pm = w.currentSession();
    if (!pm || pm->data()->unsavedScans() <= 0)
        return;
    const QFileInfo job(jobFile);
    const QString path = job.dir().filePath(
        QStringLiteral("%1-recovered-%2.ldf")
            .arg(job.completeBaseName(), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    QString why;
    if (QFileInfo::exists(path) || !SessionFile::save(*pm->data(), path, &why)) {
        err << "lpmeasure: cannot save the unsaved scans to " << path << ": "
            << (why.isEmpty() ? QStringLiteral("it exists") : why) << "\n";
        return;
    }
    pm->data()->markSaved();
    out << "lpmeasure: " << pm->data()->scanCount() << " scans saved to " << path << "\n";
}
} // namespace

namespace JobConsole {

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

    // Progress: the window's status text as it changes.
    QString lastStatus;
    QObject context; // ends the connection with this function
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged, &context, [&](const QString& s) {
        if (!s.isEmpty() && s != lastStatus)
            out << "  " << s << "\n";
        lastStatus = s;
        out.flush();
    });
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
                err << "line " << i + 1 << ": " << job.lines()[i] << ": " << job.errors()[i] << "\n";
        w.setJobOpen(false);
        return eRefused;
    }
    out << "lpmeasure: job " << jobFile << ": " << n << " lines checked\n";
    out.flush();
    BatchJob::Observer o;
    o.lineStarted = [&](int i) {
        if (!job.lines()[i].isEmpty())
            out << "[" << i + 1 << "/" << n << "] " << job.lines()[i] << "\n";
        out.flush();
    };
    o.lineEnded = [&](int i, bool ok, const QString& reason) {
        if (!ok)
            err << "line " << i + 1 << " failed: " << job.lines()[i] << ": " << reason << "\n";
        err.flush();
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
