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

const char* const kUsage =
    "Usage: lpmeasure [options] [session.ldf...]\n"
    "Measures IV curves with a Langmuir probe through the controller unit and\n"
    "analyses them; opens each session file given, each in a window of its own.\n"
    "\n"
    "  --job FILE            connect, check and run a batch job, then exit\n"
    "                        (0: every line ran, 1: a line failed, 2: job refused)\n"
    "  --probe-mode MODE     probe mode of a --job run: single, reference, double,\n"
    "                        spherical or mach (default: the stored choice)\n"
    "  --server PORT         start the data server on PORT (0: any free port),\n"
    "                        reached from this computer only\n"
    "  --server-address ADDR the address it listens on (0.0.0.0 or :: for all)\n"
    "  --server-read-only    a POST request starts no scan\n"
    "  --scan-on-start       connect and measure once the window is up\n"
    "  --quit-after=SECONDS  close the window after SECONDS, without questions\n"
    "  --verbose             also print the driver's debug lines (always in driver.log)\n"
    "  --version             print the version\n"
    "  -h, --help            show this text\n";

int main(int argc, char* argv[])
{
    // Before the application object: help and version need no display.
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lpmeasure %s\n", qPrintable(AppLog::softwareVersion()));
            return 0;
        }
        verbose = verbose || std::strcmp(argv[i], "--verbose") == 0;
    }
    JobConsole::installConsoleFilter(verbose);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    // SIGINT and SIGTERM from here on: noted at once, acted on in the event loop.
    SignalNotifier signalNotifier;

    const QStringList args = QCoreApplication::arguments();
    QStringList fileArgs; // the arguments without option values
    int quitAfterSeconds = 0;
    bool scanOnStart = false;
    int serverPort = -1;
    QHostAddress serverAddress(QHostAddress::LocalHost);
    bool serverAddressGiven = false;
    bool serverReadOnly = false;
    QString jobFile;
    int jobProbeMode = -1;
    // "--name value" or "--name=value"; false when this argument is not it.
    auto valueOf = [&args](int& i, const QString& name, QString* value) {
        if (args[i] == name && i + 1 < args.size()) {
            *value = args[++i];
            return true;
        }
        if (args[i].startsWith(name + QLatin1Char('='))) {
            *value = args[i].mid(name.size() + 1);
            return true;
        }
        return false;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString value;
        if (valueOf(i, QStringLiteral("--job"), &value)) {
            jobFile = QFileInfo(value).absoluteFilePath();
            continue;
        }
        if (valueOf(i, QStringLiteral("--probe-mode"), &value)) {
            jobProbeMode = JobConsole::probeModeFromText(value);
            if (jobProbeMode < 0) {
                QTextStream(stderr) << "lpmeasure: unknown probe mode " << value
                                    << " (single, reference, double, spherical, mach)\n";
                return 2;
            }
            continue;
        }
        if (valueOf(i, QStringLiteral("--server-address"), &value)) {
            serverAddressGiven = true;
            if (!serverAddress.setAddress(value)) {
                QTextStream(stderr) << "lpmeasure: bad address for --server-address: " << value << "\n";
                return 2;
            }
            continue;
        }
        if (a == QLatin1String("--server-read-only")) {
            serverReadOnly = true;
            continue;
        }
        if (a == QLatin1String("--job") || a == QLatin1String("--probe-mode") || a == QLatin1String("--server-address")) {
            QTextStream(stderr) << "lpmeasure: " << a << " needs a value\n";
            return 2;
        }
        if (a.startsWith(QLatin1String("--quit-after="))) {
            bool ok = false;
            quitAfterSeconds = a.mid(13).toInt(&ok);
            if (!ok || quitAfterSeconds < 0) {
                QTextStream(stderr) << "lpmeasure: bad number of seconds for --quit-after: " << a.mid(13) << "\n";
                return 2;
            }
            continue;
        }
        if (a == QLatin1String("--verbose"))
            continue;
        if (a == QLatin1String("--scan-on-start")) {
            scanOnStart = true;
            continue;
        }
        QString port;
        if (a == QLatin1String("--server")) {
            if (i + 1 >= args.size()) {
                QTextStream(stderr) << "lpmeasure: --server needs a port number\n";
                return 2;
            }
            port = args[++i]; // a value, not a session file
        } else if (a.startsWith(QLatin1String("--server="))) {
            port = a.mid(9);
        } else if (i > 0 && a.startsWith(QLatin1String("--"))) {
            // A mistyped option must not start an unattended run doing something else.
            QTextStream(stderr) << "lpmeasure: unknown option " << a << " (--help lists the options)\n";
            return 2;
        } else {
            fileArgs.append(a);
            continue;
        }
        bool ok = false;
        serverPort = port.toInt(&ok);
        if (!ok || serverPort < 0 || serverPort > 65535) {
            QTextStream(stderr) << "lpmeasure: bad port number for --server: " << port << "\n";
            return 2;
        }
    }
    if ((serverAddressGiven || serverReadOnly) && serverPort < 0) {
        QTextStream(stderr) << "lpmeasure: --server-address and --server-read-only need --server PORT\n";
        return 2;
    }
    // Resolved now: the current folder changes to the program's below.
    const QStringList sessionFiles = AppText::sessionFilesFromArgs(fileArgs, QDir::currentPath());

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
    if (SignalNotifier::pending()) // before anyone listened
        QTimer::singleShot(0, &shutdown, [&shutdown] { shutdown.onSignal(SignalNotifier::pending()); });
    if (!jobFile.isEmpty()) {
        // Unattended: connect, check, run, and leave with the job's exit code.
        QTextStream out(stdout);
        QTextStream err(stderr);
        const int rc = JobConsole::run(*w, jobFile, jobProbeMode, out, err);
        out.flush();
        err.flush();
        if (shutdown.requested())
            shutdown.answerBoxes(); // the window's last questions too
        delete w;
        return rc;
    }
    bool quitRequested = false;
    if (quitAfterSeconds > 0)
        QTimer::singleShot(quitAfterSeconds * 1000, w, [w, &quitRequested] {
            quitRequested = true;
            // Non-interactive runs: leave without questions, also from an open box.
            while (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            for (PlotManager* pm : w->sessions())
                pm->setModified(false);
            w->close();
            QCoreApplication::exit(0);
        });
    // Measurements that an ended program left unsaved (the quit timer above
    // also closes this question).
    RecoveryOffer::run(*w);
    for (const QString& sessionFile : sessionFiles) // each in its window, the last one active
        if (!w->openSessionFile(sessionFile))
            QTextStream(stderr) << "lpmeasure: cannot open session file " << sessionFile << "\n";
    // After the session is open: the server's first answer already holds it.
    if (serverPort >= 0) {
        w->setRemoteScanStart(!serverReadOnly);
        if (!w->startServer(quint16(serverPort), serverAddress, false)) {
            QTextStream(stderr) << "lpmeasure: Unable to start the server: " << w->dataServer()->errorString() << ".\n";
            delete w;
            return 1;
        }
        // Scripts read the port from here (0 lets the system choose).
        QTextStream(stdout) << "lpmeasure: data server listening on port " << w->dataServer()->port() << "\n";
    }
    StartUpPrompter startUpPrompter;
    if (scanOnStart)
        QTimer::singleShot(500, w, [w, &startUpPrompter, &shutdown] {
            // Connect to the unit, then measure into the new live session.
            Prompter::setInstance(&startUpPrompter);
            w->action(QStringLiteral("Connect"))->trigger();
            Prompter::setInstance(nullptr);
            // A signal during the connect: no measurement starts.
            if (shutdown.requested() || SignalNotifier::pending()) {
                shutdown.answerBoxes();
                return;
            }
            if (QAction* scan = w->action(QStringLiteral("Scan")); scan && scan->isEnabled())
                scan->trigger();
        });
    // The time may run out while a box of the start-up is open, before the loop runs.
    const int rc = quitRequested ? 0 : app.exec();
    delete w;
    return shutdown.requested() ? shutdown.exitCode() : rc;
}
