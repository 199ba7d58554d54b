#include "CommandLine.h"

#include "JobConsole.h"

#include <QFileInfo>

namespace CommandLine {

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
    "                        reached from this computer only; with --job it\n"
    "                        serves while the job runs\n"
    "  --server-address ADDR the address it listens on (0.0.0.0 or :: for all)\n"
    "  --server-read-only    a POST request starts no scan\n"
    "  --scan-on-start       connect and measure once the window is up\n"
    "  --quit-after=SECONDS  close the window after SECONDS, without questions\n"
    "  --verbose             also print the driver's debug lines (always in driver.log)\n"
    "  --version             print the version\n"
    "  -h, --help            show this text\n"
    "\n"
    "Without a display, --job and --server runs use no window.\n";

namespace {
// Qt's own options that take a value; the application object removes them.
bool isQtOptionWithValue(const QString& a)
{
    static const QStringList names{"-platform",    "-platformpluginpath", "-platformtheme", "-plugin",
                                   "-qmljsdebugger", "-style",             "-stylesheet",    "-session",
                                   "-display",     "-geometry",           "-title",         "-name",
                                   "-qwindowgeometry", "-qwindowtitle",   "-qwindowicon"};
    return names.contains(a);
}
} // namespace

bool parse(const QStringList& args, Options* o, QString* error)
{
    // Help and version win over everything else on the line.
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            o->help = true;
            return true;
        }
        if (args[i] == QLatin1String("--version")) {
            o->version = true;
            return true;
        }
    }
    bool serverAddressGiven = false;
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
        if (i > 0 && isQtOptionWithValue(a)) {
            ++i;
            continue;
        }
        if (valueOf(i, QStringLiteral("--job"), &value)) {
            o->jobFile = QFileInfo(value).absoluteFilePath();
            continue;
        }
        if (valueOf(i, QStringLiteral("--probe-mode"), &value)) {
            o->jobProbeMode = JobConsole::probeModeFromText(value);
            if (o->jobProbeMode < 0) {
                *error = QStringLiteral("lpmeasure: unknown probe mode %1 (single, reference, double, spherical, mach)")
                             .arg(value);
                return false;
            }
            continue;
        }
        if (valueOf(i, QStringLiteral("--server-address"), &value)) {
            serverAddressGiven = true;
            if (!o->serverAddress.setAddress(value)) {
                *error = QStringLiteral("lpmeasure: bad address for --server-address: %1").arg(value);
                return false;
            }
            continue;
        }
        if (a == QLatin1String("--server-read-only")) {
            o->serverReadOnly = true;
            continue;
        }
        if (a == QLatin1String("--job") || a == QLatin1String("--probe-mode") || a == QLatin1String("--server-address")) {
            *error = QStringLiteral("lpmeasure: %1 needs a value").arg(a);
            return false;
        }
        if (a.startsWith(QLatin1String("--quit-after="))) {
            bool ok = false;
            o->quitAfterSeconds = a.mid(13).toInt(&ok);
            if (!ok || o->quitAfterSeconds < 0) {
                *error = QStringLiteral("lpmeasure: bad number of seconds for --quit-after: %1").arg(a.mid(13));
                return false;
            }
            continue;
        }
        if (a == QLatin1String("--verbose")) {
            o->verbose = true;
            continue;
        }
        if (a == QLatin1String("--scan-on-start")) {
            o->scanOnStart = true;
            continue;
        }
        QString port;
        if (a == QLatin1String("--server")) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("lpmeasure: --server needs a port number");
                return false;
            }
            port = args[++i]; // a value, not a session file
        } else if (a.startsWith(QLatin1String("--server="))) {
            port = a.mid(9);
        } else if (i > 0 && a.startsWith(QLatin1String("--"))) {
            // A mistyped option must not start an unattended run doing something else.
            *error = QStringLiteral("lpmeasure: unknown option %1 (--help lists the options)").arg(a);
            return false;
        } else {
            o->fileArgs.append(a);
            continue;
        }
        bool ok = false;
        o->serverPort = port.toInt(&ok);
        if (!ok || o->serverPort < 0 || o->serverPort > 65535) {
            *error = QStringLiteral("lpmeasure: bad port number for --server: %1").arg(port);
            return false;
        }
    }
    if ((serverAddressGiven || o->serverReadOnly) && o->serverPort < 0) {
        *error = QStringLiteral("lpmeasure: --server-address and --server-read-only need --server PORT");
        return false;
    }
    if (!o->jobFile.isEmpty()) {
        // A FIFO or device would block the open beyond the reach of a signal.
        const QFileInfo job(o->jobFile);
        if (job.exists() && !job.isFile()) {
            *error = QStringLiteral("lpmeasure: cannot read job file %1: \"%1\" is not a regular file").arg(o->jobFile);
            return false;
        }
    }
    return true;
}

bool runsWithoutWindow(const Options& o)
{
    return !o.jobFile.isEmpty() || o.serverPort >= 0;
}

bool noDisplay(const QStringList& args)
{
    if (args.contains(QStringLiteral("-platform")))
        return false;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(name))
            return false;
    return true;
}

} // namespace CommandLine
