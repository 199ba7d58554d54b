#include "AppText.h"

#include "ErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

namespace AppText {

QString sessionFileFromArgs(const QStringList& args)
{
    const QStringList files = sessionFilesFromArgs(args);
    return files.isEmpty() ? QString() : files.last();
}

QStringList sessionFilesFromArgs(const QStringList& args)
{
    QStringList files;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a.isEmpty() || a.startsWith(QLatin1Char('-')))
            continue;
        // "/x" is an option where that is the custom, but here it is also how
        // every absolute path begins: a session file or an existing file wins.
        if (a.startsWith(QLatin1Char('/')) && !a.endsWith(QLatin1String(".ldf"), Qt::CaseInsensitive)
            && !QFileInfo(a).isFile())
            continue;
        files << a;
    }
    return files;
}

QString workingFolder(const QString& programDir, const QString& userDataDir,
                      const std::function<bool(const QString&)>& isBuildTree)
{
    if (isBuildTree(programDir) || userDataDir.isEmpty())
        return programDir;
    return userDataDir;
}

QStringList seedWorkingFolder(const QString& workingDir, const QString& shippedDir, const QStringList& names)
{
    QStringList failed;
    const QDir work(workingDir);
    for (const QString& name : names) {
        const QString target = work.filePath(name);
        const QString source = QDir(shippedDir).filePath(name);
        if (QFileInfo::exists(target) || !QFileInfo::exists(source))
            continue;
        if (!QFile::copy(source, target)) {
            failed << name;
            continue;
        }
        // Shipped files are read-only in the package; the user's copy is theirs.
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    }
    return failed;
}

QStringList guideCandidates(const QString& fileName, const QString& workingDir, const QString& programDir,
                            const QString& docDirFromProgram)
{
    QStringList c;
    for (const QString& dir : {workingDir, programDir, QDir(programDir).filePath(docDirFromProgram)}) {
        if (dir.isEmpty())
            continue;
        const QString path = QDir::cleanPath(QDir(dir).filePath(fileName));
        if (!c.contains(path))
            c << path;
    }
    return c;
}

QString dialogStartFolder(const QString& lastUsed, const QString& documentsDir)
{
    // "./" was the stored default once: the program's folder, never a good start.
    if (!lastUsed.isEmpty() && lastUsed != QLatin1String("./") && QFileInfo(lastUsed).isDir())
        return lastUsed;
    return !documentsDir.isEmpty() && QFileInfo(documentsDir).isDir() ? documentsDir : QDir::homePath();
}

QString saveDialogStart(const QString& sessionFile, const QString& lastFolder, const QString& homeDir)
{
    if (!sessionFile.isEmpty() && !QFileInfo(sessionFile).isDir())
        return sessionFile;
    if (!lastFolder.isEmpty() && lastFolder != QLatin1String("./") && QFileInfo(lastFolder).isDir())
        return QDir(lastFolder).absolutePath() + QLatin1Char('/');
    return QDir(homeDir).absolutePath() + QLatin1Char('/');
}

QString withSuffix(const QString& fileName, const QString& suffix)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName.endsWith(QLatin1Char('.')) ? fileName + suffix : fileName + QLatin1Char('.') + suffix;
}

QStringList sessionFilesFromArgs(const QStringList& args, const QString& callerDir)
{
    QStringList files;
    for (const QString& f : sessionFilesFromArgs(args))
        files << (QFileInfo(f).isAbsolute() ? f : QDir(callerDir).absoluteFilePath(f));
    return files;
}

QString sessionFileFromArgs(const QStringList& args, const QString& callerDir)
{
    const QString f = sessionFileFromArgs(args);
    if (f.isEmpty() || QFileInfo(f).isAbsolute())
        return f;
    return QDir(callerDir).absoluteFilePath(f);
}

QString syncNotConnectedText()
{
    return QStringLiteral("<font color=white> Fsync - ");
}

QString syncText(double f, int& spinner)
{
    if (f == -1.0) {
        static const char* const frames[4] = {
            "<font color=white> Fsync     - ", "<font color=white> Fsync     * ",
            "<font color=white> Fsync     | ", "<font color=white> Fsync     / "};
        if (spinner < 1 || spinner > 4)
            spinner = 1;
        const QString t = QString::fromLatin1(frames[spinner - 1]);
        spinner = spinner % 4 + 1;
        return t;
    }
    if (f == -2.0)
        return QStringLiteral(" <font color=white> Fsync    TOO LOW ");
    if (f == -3.0)
        return QStringLiteral("<font color=white> Fsync    TOO HIGH ");
    if (f < 0.0 || std::isnan(f))
        return QStringLiteral("<font color=white> Fsync    UNKNOWN ");
    if (f == 0.0)
        return QStringLiteral("<font color=white> Fsync - ");
    double v = f;
    QChar unit = QLatin1Char(' ');
    if (f >= 1e6) {
        v = f / 1e6;
        unit = QLatin1Char('M');
    } else if (f >= 1000.0) {
        v = f / 1000.0;
        unit = QLatin1Char('k');
    }
    return QStringLiteral("<font color=white> Fsync %1 %2Hz ").arg(v, 0, 'f', 3).arg(unit);
}

SyncAction syncAction(bool connected, bool jobBusy, bool scanRunning)
{
    if (!connected)
        return SyncAction::eShowNotConnected;
    if (jobBusy || scanRunning)
        return SyncAction::eKeepLast;
    return SyncAction::eRead;
}

QString notConnectedLabel()
{
    return QStringLiteral(" <font color=white>Not connected ");
}

QString connectionLabel(bool doubleProbeAvailable, int swProbeMode)
{
    if (!doubleProbeAvailable)
        return QStringLiteral(" <font color=white>Connected ");
    switch (swProbeMode) {
    case 0: return QStringLiteral(" <font color=white>Connected SP");
    case 1: return QStringLiteral(" <font color=white>Connected RP");
    case 3: return QStringLiteral(" <font color=white>Connected DP");
    default: return QStringLiteral(" <font color=white>Connected x");
    }
}

QString timeLeftText(double scanSeconds, int elapsedSeconds)
{
    if (!(scanSeconds > 4.0))
        return QString();
    const long long remaining = std::max(0LL, std::llround(scanSeconds - elapsedSeconds));
    const long long h = remaining / 3600, m = (remaining % 3600) / 60, s = remaining % 60;
    return QStringLiteral("Time Left %1:%2:%3")
        .arg(h, 2, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

static int clampPercent(double p)
{
    if (!std::isfinite(p))
        return 0;
    return int(std::max(0.0, std::min(100.0, std::round(p))));
}

ProgressDisplay progress(const ProgressInput& in)
{
    ProgressDisplay out;
    out.rearm = in.appState != 0;
    const int s = in.appState;
    if (s != 6 && s != 7 && s != 10)
        return out; // hidden, 0, no text
    double percent = in.percent;
    double scanSeconds = in.scanSeconds;
    int elapsed = (in.percent == 0 || in.percent == 100) ? 0 : in.elapsedSeconds;
    if (s == 10) {
        if (in.timedRun) {
            const double denom = in.timedTotalSeconds * 1000.0;
            percent = denom > 0.0 ? double(in.runClockMs) / denom * 100.0 : 0.0;
        } else {
            percent = in.dataScanRunScans > 0
                          ? (percent + double(in.scansDone) * 100.0) / in.dataScanRunScans
                          : 0.0;
            elapsed += int(std::lround(in.scansDone * scanSeconds));
            scanSeconds = in.dataScanRunScans * scanSeconds;
        }
    }
    out.timeLeft = timeLeftText(scanSeconds, elapsed);
    out.visible = true;
    out.percent = clampPercent(percent);
    return out;
}

quint32 randomSeed(int msec, int sec)
{
    const quint32 ms = quint32(msec);
    const quint32 shift = quint32(sec) % 32u;
    return ms << shift;
}

QString nonOverwriteName(const QString& fileName, const std::function<bool(const QString&)>& exists)
{
    QString base = fileName;
    if (base.endsWith(QLatin1String(".ldf")))
        base.chop(4);
    for (int k = 1;; ++k) {
        const QString candidate = QStringLiteral("%1_%2.ldf").arg(base).arg(k);
        if (!exists(candidate))
            return candidate;
    }
}

QString folderOf(const QString& path)
{
    int i = path.lastIndexOf(QLatin1Char('\\'));
    if (i < 0)
        i = path.lastIndexOf(QLatin1Char('/'));
    return i < 0 ? path : path.left(i);
}

QString baseTitle(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool acceptsDrop(const QList<QUrl>& urls, int appState)
{
    if (appState != 0 || urls.size() != 1)
        return false;
    const QUrl& u = urls.first();
    return u.scheme() == QLatin1String("file") && u.toLocalFile().endsWith(QLatin1String(".ldf"));
}

QString valueText(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("<font color=red>---</font>");
    return QStringLiteral("<font color=red>%1</font>").arg(v, 0, 'g', 3);
}

QString wholeValueText(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("<font color=red>---</font>");
    return QStringLiteral("<font color=red>%1</font>").arg(v, 0, 'f', 0);
}

QString errorText(double value, double error)
{
    return QStringLiteral("<font color=green>%1</font>").arg(errortext::percent(value, error).toHtmlEscaped());
}

QString traceNumberText(int n)
{
    return QStringLiteral("<font color=magenta>%1</font>").arg(n);
}

QString processTimeText(double us)
{
    if (!std::isfinite(us))
        return QStringLiteral("---");
    if (us < 1000.0)
        return QStringLiteral("%1 [<span>&mu;</span>s]").arg(us, 0, 'f', 0);
    if (us < 1e6)
        return QStringLiteral("%1 [ms]").arg(us / 1000.0, 0, 'f', 1);
    return QStringLiteral("%1 [s]").arg(us / 1e6, 0, 'f', 2);
}

std::pair<double, double> eepfRange(double top)
{
    // An EEPF at or below its floor (1e9) has no decade of its own to show.
    if (!(top > 1e9) || !std::isfinite(top))
        return {1e10, 1e14};
    const double n = std::round(std::log10(top) + 1.0);
    if (n < 10.0)
        return {1e10, 1e14};
    return {std::pow(10.0, n - 4.0), std::pow(10.0, n)};
}

std::pair<double, double> trendXRange(double x0, double xLast, int n)
{
    if (n < 1)
        return {x0, xLast};
    const double m = ((xLast - x0) / n + 1e-7) * 0.05;
    return {x0 - m, xLast + m};
}

} // namespace AppText

WidgetStates computeWidgetStates(const WidgetStateInput& in, const WidgetStates& current)
{
    WidgetStates s = current;
    if (!in.connected) {
        s.bannerClean = s.bannerScan = s.bannerNew = false;
        s.calibrate = s.clean = s.scan = s.move = false;
    } else if (in.batchJob) {
        s.calibrate = s.clean = s.scan = s.move = false;
    } else if (in.calibrateChecked) {
        s.clean = s.scan = s.move = false;
        s.bannerClean = s.bannerScan = false;
        s.calibrate = true; // unchecking it is how the user aborts
    } else if (in.cleanChecked) {
        s.calibrate = s.scan = s.move = false;
        s.bannerScan = false;
        s.clean = true;
    } else if (in.scanChecked) {
        s.calibrate = s.clean = s.move = false;
        s.bannerClean = false;
        s.scan = true;
    } else {
        s.calibrate = s.clean = s.scan = true;
        s.bannerClean = s.bannerNew = s.bannerScan = true;
        s.move = true; // INITIALIZE must be reachable before a spatial run
    }
    return s;
}
