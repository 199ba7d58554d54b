#pragma once
// Batch job files: one command per line (sleep, scan, clean, set voltages,
// time-resolved parameters, current range or idle voltage, save, message).
// The command table, the tokenizer, the line checker and the runner live here
// without widgets; whoever runs a job (the main window, `lpmeasure --job`,
// tests) supplies a JobHost.
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

class ConfigParam;
class DataAnalyzer;

namespace JobScript {

enum class ArgType { Integer, Number, Text, NewFile };

struct ArgRule {
    ArgType type;
    double minimum;
    double maximum;
};

enum Command {
    eSleep = 1, eScan, eClean, eSetScanVoltages, eSetIdleVoltage, eSetTimeResolved, eSave, eMessage,
    eUseTimeAveraged, eSetCurrentRange, eNewSession
};

struct CommandSpec {
    int number;
    QVector<ArgRule> args;
};

// The process-wide table: lower-case name -> number and the rules of its arguments.
const QMap<QString, CommandSpec>& commands();

// Splits at every ",", "(" and ")", dropping empty pieces; the first token is
// trimmed and lower-cased, the others keep their white space.
QStringList tokenize(const QString& line);

// How a new-file argument is read: relative names are taken from `baseFolder`
// (the job file's folder), "\" separates folders as "/" does.
QString resolvePath(const QString& argument, const QString& baseFolder);

// Checks one line; false with the message in `error`. The real pass checks
// again (`forRun`): a file that appeared since the test pass is refused too,
// never overwritten.
bool check(const QString& line, QString* error, const QString& baseFolder = QString(), bool forRun = false);

// A line whose first non-blank character is "#": a comment, which both passes skip.
bool isComment(const QString& line);

// The message of a line that passes its check but fails its test run, followed by the
// runner's reason when there is one.
QString testRunError(const QString& reason = QString());

// The most sensitive range whose full scale covers `amperes` (ranges largest
// first, first on a tie); -1 when none does.
int rangeCovering(const QVector<double>& fullScales, double amperes);

} // namespace JobScript

// What a job needs from the program that runs it.
class JobHost
{
public:
    virtual ~JobHost() = default;
    virtual bool isConnected() = 0;
    // SYNC frequency in Hz; 0 or negative when there is none or it is not stable.
    virtual double syncFrequency() = 0;
    // Full-scale currents of the six measuring ranges (A), largest first.
    virtual QVector<double> currentRanges() = 0;
    // The current session's active configuration record; null without one.
    virtual ConfigParam* config() = 0;
    // The record changed: its panel shows it again.
    virtual void configChanged() = 0;
    // Sends the idle voltage to the unit; false (with a reason) on failure.
    virtual bool applyIdleVoltage(double volts, QString* error) = 0;
    // One measurement or cleaning as the Scan / Clean action runs it.
    virtual bool scan(QString* error) = 0;
    virtual bool clean(QString* error) = 0;
    // The current session window's data; null without one.
    virtual DataAnalyzer* session() = 0;
    // A new session window takes over the connection and the configuration
    // of the current one, so that the next scans go into a session of their own.
    virtual bool newSession(QString* error)
    {
        *error = QStringLiteral("This program opens no new session windows.");
        return false;
    }
    // "User Message" with an OK button; returns once it is closed.
    virtual void showMessage(const QString& text) = 0;
    // A critical box titled with the program's title.
    virtual void critical(const QString& text) = 0;
    // Waits keeping the host live; false when the job was aborted meanwhile.
    virtual bool waitWithEvents(int ms) = 0;
    virtual bool aborted() = 0;
};

// Runs single lines against a host.
class JobRunner
{
public:
    explicit JobRunner(JobHost& host, QString baseFolder = QString());

    // The test pass of a line (`test`), or the command itself. False when the
    // line fails; lastError() then says why.
    bool run(const QString& line, bool test);
    QString lastError() const { return m_error; }

private:
    bool fail(const QString& why);
    bool needsConnection();
    ConfigParam* needsConfig();
    bool save(const QString& argument);

    JobHost& m_host;
    QString m_base;
    QString m_error;
};

// A whole job: its lines, the test pass and the real pass.
class BatchJob
{
public:
    // The text is split at "\n" (empty lines kept); every line is trimmed. Lines whose
    // first non-blank character is "#" are comments.
    BatchJob(JobHost& host, const QString& text, const QString& baseFolder = QString());

    // Reads a job file (at most kMaxFileBytes); false with the reason.
    static bool readFile(const QString& fileName, QString* text, QString* error);
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    const QStringList& lines() const { return m_lines; }
    // One text per line, empty for a line without error.
    const QStringList& errors() const { return m_errors; }

    // Checks and test-runs every line; true when none failed.
    bool test();

    struct Observer {
        std::function<void(int)> lineStarted;
        std::function<void(int, bool, const QString&)> lineEnded; // index, ok, reason
    };
    // Runs every line in order until the host is aborted; a failing line does
    // not stop the job. Returns the number of lines that failed.
    int run(const Observer& observer = Observer());
    // Lines the last run reached before an abort (all of them otherwise).
    int linesRun() const { return m_linesRun; }
    bool aborted() const { return m_aborted; }

    // Pause between lines (ms) while the host stays live.
    static constexpr int kBetweenLinesMs = 10;

private:
    JobHost& m_host;
    JobRunner m_runner;
    QString m_base;
    QStringList m_lines;
    QStringList m_errors;
    int m_linesRun = 0;
    bool m_aborted = false;
};
