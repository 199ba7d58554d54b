// lpmeasure: the measurement application.
#include "AppLog.h"
#include "AppState.h"
#include "AppText.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "Prompter.h"
#include "DataServer.h"
#include "JobConsole.h"
#include "RecoveryOffer.h"
#include "SignalNotifier.h"
#include "SignalShutdown.h"
#include "CommandLine.h"
#include "QuitAfter.h"
#include "SessionJournals.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTextStream>
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {
// --scan-on-start: the probe dialog is answered with a single probe with DC
// reference; every other box and dialog is the user's.
class StartUpPrompter : public Prompter
{
public:
    int execDialog(QDialog* d) override
    {
        if (auto* sel = qobject_cast<ProbeModeSelector*>(d)) {
            sel->button(ProbeModeSelector::eWithDcRef)->click();
            return sel->result();
        }
        return Prompter::execDialog(d);
    }
};
} // namespace

int main(int argc, char* argv[])
{
    // Signals are caught from the first moment: one that comes while the
    // program starts ends it as it would later.
    SignalNotifier::install();
    // Before the application object: help, version and every option error
    // need no display.
    QStringList rawArgs;
    for (int i = 0; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);
    CommandLine::Options opt;
    QString error;
    if (!CommandLine::parse(rawArgs, &opt, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    if (opt.help) {
        std::fputs(CommandLine::kUsage, stdout);
        return 0;
    }
    if (opt.version) {
        std::printf("lpmeasure %s\n", qPrintable(AppLog::softwareVersion()));
        return 0;
    }
    if (CommandLine::noDisplay(rawArgs)) {
        if (!CommandLine::runsWithoutWindow(opt)) {
            std::fputs("lpmeasure: no display to show the window on (DISPLAY is not set); "
                       "--job and --server runs work without one\n",
                       stderr);
            return 2;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    JobConsole::installConsoleFilter(opt.verbose);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    // SIGINT and SIGTERM from here on: acted on in the event loop.
    SignalNotifier signalNotifier;
    const QString& jobFile = opt.jobFile;
    // Resolved now: the current folder changes to the program's below.
    const QStringList sessionFiles = AppText::sessionFilesFromArgs(opt.fileArgs, QDir::currentPath());

    QCoreApplication::setOrganizationName(QString::fromLatin1(AppInfo::OrgName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(AppInfo::OrgDomain));
    QCoreApplication::setApplicationName(QString::fromLatin1(AppInfo::StartupAppName));

    // A build tree works in the program's folder; an installed program works
    // in the user's data folder, seeded on first start.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString dir = AppText::workingFolder(
        programDir, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/')
                        + QString::fromLatin1(AppInfo::OrgName) + QLatin1Char('/') + QString::fromLatin1(AppInfo::AppName),
        [](const QString& d) { return QFileInfo::exists(QDir(d).filePath(QString::fromLatin1(AppInfo::BuildTreeMarker))); });
    if (dir != programDir) {
        QDir().mkpath(dir);
        const QString shipped = QDir(programDir).filePath(QString::fromLatin1(AppInfo::DataDirFromProgram));
        for (const QString& name : AppText::seedWorkingFolder(dir, shipped, {QStringLiteral("eedf.txt")}))
            QTextStream(stderr) << "lpmeasure: cannot copy " << name << " into " << dir << "\n";
    }
    if (!QDir::setCurrent(dir)) {
        Prompter::critical(nullptr, QString::fromLatin1(AppInfo::Title),
                           QStringLiteral("Failed to set current directory to:\n'%1'\n").arg(dir));
        return 1;
    }

    auto* w = new MainWin;
    w->show();
    SignalShutdown shutdown(*w, jobFile.isEmpty() ? SignalShutdown::eLeaveProgram : SignalShutdown::eAbortOnly);
    QObject::connect(&signalNotifier, &SignalNotifier::received, &shutdown, &SignalShutdown::onSignal);
    // No one answers a box in a run without a screen, a job or a timed run:
    // a measurement left unsaved is named, not offered.
    const bool unattended = !jobFile.isEmpty() || opt.quitAfterSeconds > 0
        || QGuiApplication::platformName() == QLatin1String("offscreen")
        || QGuiApplication::platformName() == QLatin1String("minimal");
    const QString recoveryFolder = w->journals()->folder();
    QTextStream err(stderr);
    if (unattended)
        RecoveryOffer::report(recoveryFolder, err);
    auto startServer = [&]() {
        if (opt.serverPort < 0)
            return true;
        w->setRemoteScanStart(!opt.serverReadOnly);
        if (!w->startServer(quint16(opt.serverPort), opt.serverAddress, false)) {
            err << "lpmeasure: Unable to start the server: " << w->dataServer()->errorString() << ".\n";
            err.flush();
            return false;
        }
        // Scripts read the port from here (0 lets the system choose).
        QTextStream(stdout) << "lpmeasure: data server listening on port " << w->dataServer()->port() << "\n";
        return true;
    };
    if (!jobFile.isEmpty()) {
        // Unattended: connect, check, run, and leave with the job's exit code.
        if (!startServer()) {
            delete w;
            return 1;
        }
        QTextStream out(stdout);
        const int rc = JobConsole::run(*w, jobFile, opt.jobProbeMode, out, err);
        out.flush();
        err.flush();
        if (shutdown.requested())
            shutdown.answerBoxes(); // the window's last questions too
        delete w;
        return rc;
    }
    // Everything else starts inside the event loop, so that a signal or the
    // quit timer ends the program at any moment, boxes included.
    StartUpPrompter startUpPrompter;
    QTimer::singleShot(0, w, [&] {
        if (SignalNotifier::pending())
            return; // the notifier delivers it to the shutdown next
        if (opt.quitAfterSeconds > 0)
            QTimer::singleShot(opt.quitAfterSeconds * 1000, w, [w] {
                QuitAfter::quit(*w);
                QCoreApplication::exit(0);
            });
        // The server and a measurement first: the recovery offer comes once
        // they leave the window idle.
        for (const QString& sessionFile : sessionFiles) // each in its window, the last one active
            if (!w->openSessionFile(sessionFile))
                err << "lpmeasure: cannot open session file " << sessionFile << "\n" << Qt::flush;
        if (shutdown.requested())
            return;
        if (!startServer()) {
            QCoreApplication::exit(1);
            return;
        }
        if (!opt.scanOnStart) {
            if (!unattended)
                RecoveryOffer::runWhenIdle(*w);
            return;
        }
        QTimer::singleShot(500, w, [w, &startUpPrompter, &shutdown, unattended] {
            // Connect to the unit, then measure into the new live session.
            Prompter::setInstance(&startUpPrompter);
            w->action(QStringLiteral("Connect"))->trigger();
            Prompter::setInstance(nullptr);
            // A signal during the connect: no measurement starts.
            if (shutdown.requested() || SignalNotifier::pending()) {
                shutdown.answerBoxes();
                return;
            }
            if (!unattended)
                RecoveryOffer::runWhenIdle(*w);
            if (QAction* scan = w->action(QStringLiteral("Scan")); scan && scan->isEnabled())
                scan->trigger();
        });
    });
    const int rc = app.exec();
    delete w;
    // What this run measured and left unsaved (a timed end) is kept and named.
    if (opt.quitAfterSeconds > 0 && !shutdown.requested())
        RecoveryOffer::report(recoveryFolder, err);
    return shutdown.requested() ? shutdown.exitCode() : rc;
}
