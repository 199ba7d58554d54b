#pragma once
// Texts and rules of the main window and the session window that need no
// widgets: status texts, SYNC indicator, progress, file names, results grid.
#include <QString>
#include <QStringList>
#include <QList>
#include <QUrl>
#include <functional>
#include <utility>

namespace AppText {

// The session file named on the command line: the last argument after the
// program name that is not an option ('-x', or '/x' that names no file and
// does not end in ".ldf"); empty when none.
QString sessionFileFromArgs(const QStringList& args);
// The same made absolute against the caller's folder, because start-up then
// moves into the program's own folder.
QString sessionFileFromArgs(const QStringList& args, const QString& callerDir);
// Every session file named on the command line, in order (each opens in a window of its
// own, the last one active), made absolute against the caller's folder.
QStringList sessionFilesFromArgs(const QStringList& args);
QStringList sessionFilesFromArgs(const QStringList& args, const QString& callerDir);

// The folder the program works in, by what the program is: in a build tree
// (its folder holds the marker the build writes) its own folder, installed
// the user's data folder, whoever runs it (root may write into /usr/bin).
QString workingFolder(const QString& programDir, const QString& userDataDir,
                      const std::function<bool(const QString&)>& isBuildTree);
// Copies each shipped file that the working folder lacks; returns the names
// that could not be copied.
QStringList seedWorkingFolder(const QString& workingDir, const QString& shippedDir, const QStringList& names);
// Where Help looks for the guide, in order: the working folder, the program's
// folder, the installed documentation folder (relative to the program's).
QStringList guideCandidates(const QString& fileName, const QString& workingDir, const QString& programDir,
                            const QString& docDirFromProgram);
// Start folder of a file dialog: the one last used, else the documents folder,
// else (no such folder) home: a file dialog takes a missing folder's name for
// the file name.
QString dialogStartFolder(const QString& lastUsed, const QString& documentsDir);
// What the save dialog starts with: the session's own file when it has one,
// else the folder last used when it exists, else home; never a folder's name
// as file name.
QString saveDialogStart(const QString& sessionFile, const QString& lastFolder, const QString& homeDir);
// The name with ".<suffix>" appended when its file name has no suffix.
QString withSuffix(const QString& fileName, const QString& suffix);

// SYNC indicator text for a frequency read (f) while connected. spinner is the
// 1..4 frame counter of the "measurement under way" animation (f == -1); it is
// advanced by this call when used.
QString syncText(double f, int& spinner);
QString syncNotConnectedText();

// What the SYNC indicator does on a tick. While the job thread (or a
// calibration) talks to the module the GUI makes no module call.
enum class SyncAction { eShowNotConnected, eKeepLast, eRead };
SyncAction syncAction(bool connected, bool jobBusy, bool scanRunning);

// Connection label after a successful connect.
QString connectionLabel(bool doubleProbeAvailable, int swProbeMode);
QString notConnectedLabel();

// "Time Left hh:mm:ss"; empty when the scan lasts 4 s or less.
QString timeLeftText(double scanSeconds, int elapsedSeconds);

struct ProgressInput {
    int appState = 0;
    int percent = 0;            // from getScanProgress
    double scanSeconds = 0.0;
    int elapsedSeconds = 0;
    bool timedRun = false;
    qint64 runClockMs = 0;      // elapsed run clock of a timed run
    double timedTotalSeconds = 0.0;
    int scansDone = 0;
    int dataScanRunScans = 0;
};
struct ProgressDisplay {
    bool visible = false;
    int percent = 0;            // always 0..100
    QString timeLeft;
    bool rearm = false;         // restart the 200 ms timer
};
ProgressDisplay progress(const ProgressInput& in);

// Random seed from the current time, computed without signed overflow.
quint32 randomSeed(int msec, int sec);

// Name for saving without overwriting: "<base>_k.ldf" with the smallest k >= 1
// for which exists() is false. A trailing ".ldf" is stripped for the base;
// other names keep their whole text as base.
QString nonOverwriteName(const QString& fileName, const std::function<bool(const QString&)>& exists);

// Folder part of a path: before the last '\', failing that the last '/'; the
// path itself when it has neither.
QString folderOf(const QString& path);
// The part after the last '/' (window titles of saved sessions).
QString baseTitle(const QString& path);

// A drag is accepted when idle and it carries exactly one local ".ldf" file.
bool acceptsDrop(const QList<QUrl>& urls, int appState);

// Results grid.
QString valueText(double v);
QString wholeValueText(double v);
// The relative error, two significant digits ("0.017 %", "< 0.001 %", "---").
QString errorText(double value, double error);
QString traceNumberText(int n);
QString processTimeText(double microseconds);

// EEPF y range: four decades below the decade above the curve's top; the fixed
// range 1e10..1e14 when that is below 1e10 or the top is not positive/finite.
std::pair<double, double> eepfRange(double top);
// x range of a trend over x0..xLast with n points.
std::pair<double, double> trendXRange(double x0, double xLast, int n);

} // namespace AppText

// Which actions are enabled (rules of the main window).
struct WidgetStateInput {
    bool connected = false;
    bool batchJob = false;
    bool calibrateChecked = false;
    bool cleanChecked = false;
    bool scanChecked = false;
};
struct WidgetStates {
    bool calibrate = false, clean = false, scan = false, move = false;
    bool bannerClean = false, bannerScan = false, bannerNew = false;
};
WidgetStates computeWidgetStates(const WidgetStateInput& in, const WidgetStates& current);
