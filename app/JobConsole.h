#pragma once
// `lpmeasure --job FILE`: connects to the controller, checks the job, runs it
// unattended and tells the exit code. Nothing waits for a button: message
// boxes (job messages, end-of-run alerts) are printed and logged instead.
#include <QSet>
#include <QString>
#include <QtGlobal>

class ConfigParam;
class MainWin;
class QTextStream;
struct ScanRecord;

namespace JobConsole {

enum ExitCode { eAllRan = 0, eLineFailed = 1, eRefused = 2 };

// Software probe mode from an option value: a name (single, reference,
// double, spherical, mach) or its number (0, 1, 3, 4, 5); -1 when neither.
int probeModeFromText(const QString& text);

// Console messages: the driver's lines (they are in its log), debug output
// and Qt's remarks on a run without a display are shown only when `verbose`;
// other warnings and errors always.
bool showOnConsole(QtMsgType type, const QString& text, bool verbose);
void installConsoleFilter(bool verbose);

// Status texts as they change, at most one per `gapMs`: a text that comes
// sooner waits, and only the latest waiting one is shown when its turn comes.
// Within one job line a text is shown once: one that comes back says nothing new.
class StatusEcho
{
public:
    explicit StatusEcho(qint64 gapMs = 500) : m_gapMs(gapMs) {}
    // A new status at time `nowMs`: the text to print now, or empty.
    QString offer(const QString& text, qint64 nowMs);
    // The waiting text once its turn has come (`now`: at once), or empty.
    QString due(qint64 nowMs, bool now = false);
    // A new job line: every text may be shown again.
    void newLine() { m_seen.clear(); }

private:
    QString show(QString text, qint64 nowMs); // by value: it may be the waiting text

    qint64 m_gapMs;
    qint64 m_lastMs = 0;
    bool m_printed = false;
    QString m_waiting;
    QSet<QString> m_seen;
};

// A job line as the terminal may show it: NUL and other control characters
// written as \0, \t, \r, \xNN.
QString printable(const QString& text);

// The reason a line failed, without the alerts a box has just printed:
// "The measurement failed: A; B" becomes "The measurement failed (the alerts
// above)" when `shown` holds A and B.
QString failureText(const QString& reason, const QString& shown);

// What a job's scan line measured: "scan: -21.6 … 13.3 V, 120 points" from
// the first new record's sweep, with the number of time points of a
// time-resolved scan or of the records of a spatial or timed one, and a note
// when the initial scan chose the window.
QString scanSummary(const ScanRecord& first, int records, const ConfigParam& config);

// The whole unattended run; `swProbeMode` < 0 takes the stored choice.
int run(MainWin& w, const QString& jobFile, int swProbeMode, QTextStream& out, QTextStream& err);

} // namespace JobConsole
