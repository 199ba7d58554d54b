#include "JobScript.h"

#include "ConfigParam.h"
#include "ConfigRules.h"
#include "DataAnalyzer.h"
#include "SaveFile.h"
#include "ScanEstimate.h"
#include "SessionFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cmath>

namespace JobScript {

const QMap<QString, CommandSpec>& commands()
{
    static const QMap<QString, CommandSpec> table = [] {
        const ArgRule volts{ArgType::Number, -150, 150};
        const ArgRule micros{ArgType::Number, 0, 1000000};
        QMap<QString, CommandSpec> t;
        t.insert(QStringLiteral("sleep"), {eSleep, {{ArgType::Integer, 1, 600}}});
        t.insert(QStringLiteral("scan"), {eScan, {}});
        t.insert(QStringLiteral("clean"), {eClean, {}});
        t.insert(QStringLiteral("setscanvoltages"), {eSetScanVoltages, {volts, volts, volts}});
        t.insert(QStringLiteral("setidlevoltage"), {eSetIdleVoltage, {{ArgType::Number, -150, 80}}});
        t.insert(QStringLiteral("settimeresolved"),
                 {eSetTimeResolved, {micros, micros, micros, {ArgType::Integer, 0, 1}}});
        t.insert(QStringLiteral("save"), {eSave, {{ArgType::NewFile, 0, 0}}});
        t.insert(QStringLiteral("message"), {eMessage, {{ArgType::Text, 0, 0}}});
        t.insert(QStringLiteral("usetimeaveraged"), {eUseTimeAveraged, {}});
        t.insert(QStringLiteral("setcurrentrange"), {eSetCurrentRange, {{ArgType::Number, 0, 1}}});
        t.insert(QStringLiteral("newsession"), {eNewSession, {}});
        return t;
    }();
    return table;
}

QStringList tokenize(const QString& line)
{
    static const QRegularExpression separators(QStringLiteral("[,()]"));
    QStringList tokens = line.split(separators, Qt::SkipEmptyParts);
    if (!tokens.isEmpty())
        tokens[0] = tokens[0].trimmed().toLower();
    return tokens;
}

QString resolvePath(const QString& argument, const QString& baseFolder)
{
    QString path = argument;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QDir::isRelativePath(path) && !baseFolder.isEmpty())
        path = QDir(baseFolder).filePath(path);
    return path;
}

namespace {
bool toInteger(const QString& text, long long* value)
{
    bool ok = false;
    *value = text.trimmed().toLongLong(&ok, 10);
    return ok;
}

// Real number text; "nan" and "inf" are not numbers a job can use.
bool toNumber(const QString& text, double* value)
{
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*value);
}

double number(const QString& text)
{
    double v = 0;
    toNumber(text, &v);
    return v;
}

bool checkArgument(const ArgRule& rule, const QString& text, int index, const QString& base, bool forRun,
                   QString* error)
{
    switch (rule.type) {
    case ArgType::Integer: {
        long long v = 0;
        if (toInteger(text, &v) && v >= rule.minimum && v <= rule.maximum)
            return true;
        *error = QStringLiteral("Argument %1 must be an integer between %2 and %3")
                     .arg(index)
                     .arg(qlonglong(rule.minimum))
                     .arg(qlonglong(rule.maximum));
        return false;
    }
    case ArgType::Number: {
        double v = 0;
        if (toNumber(text, &v)) {
            const double whole = std::trunc(v);
            if (whole >= rule.minimum && whole <= rule.maximum)
                return true;
        }
        *error = QStringLiteral("Argument %1 must be a number between %2 and %3")
                     .arg(index)
                     .arg(QString::number(rule.minimum, 'g', 6), QString::number(rule.maximum, 'g', 6));
        return false;
    }
    case ArgType::NewFile: {
        const QString path = resolvePath(text, base);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            *error = QStringLiteral("Argument %1, this file already exists.").arg(index);
            return false;
        }
        const int cut = std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
        const QString folderPart = cut < 0 ? QString() : text.left(cut);
        const QString folder = cut < 0 ? (base.isEmpty() ? QStringLiteral(".") : base)
                                       : cut == 0 ? QStringLiteral("/") : resolvePath(folderPart, base);
        if (!QFileInfo(folder).isDir()) {
            *error = QStringLiteral("Argument %1, Folder \"%2\" does not exist.").arg(index).arg(folderPart);
            return false;
        }
        return true;
    }
    case ArgType::Text:
        return true;
    }
    return true;
}
} // namespace

bool check(const QString& line, QString* error, const QString& baseFolder, bool forRun)
{
    QString local;
    QString& err = error ? *error : local;
    err.clear();
    if (isComment(line))
        return true;
    // A NUL would end the text in places that read it as a C string (file names).
    if (line.contains(QChar(0))) {
        err = QStringLiteral("The line holds a NUL byte.");
        return false;
    }
    const QStringList tokens = tokenize(line);
    if (tokens.isEmpty() || (tokens.size() == 1 && tokens[0].isEmpty()))
        return true;
    const auto it = commands().constFind(tokens[0]);
    if (it == commands().constEnd()) {
        err = QStringLiteral("Invalid Command");
        return false;
    }
    const QVector<ArgRule>& args = it->args;
    if (tokens.size() - 1 != args.size()) {
        err = QStringLiteral("%1 requires %2 parameters").arg(tokens[0]).arg(args.size());
        return false;
    }
    for (int i = 0; i < args.size(); ++i)
        if (!checkArgument(args[i], tokens[i + 1], i + 1, baseFolder, forRun, &err))
            return false;
    return true;
}

bool isComment(const QString& line)
{
    for (const QChar c : line)
        if (!c.isSpace())
            return c == QLatin1Char('#');
    return false;
}

QString testRunError(const QString& reason)
{
    const QString text = QStringLiteral("Test run caught error.");
    return reason.isEmpty() ? text : text + QLatin1Char(' ') + reason;
}

int rangeCovering(const QVector<double>& fullScales, double amperes)
{
    int best = -1;
    for (int i = 0; i < fullScales.size(); ++i) {
        const double d = fullScales[i] - amperes;
        if (d >= 0 && (best < 0 || d < fullScales[best] - amperes))
            best = i;
    }
    return best;
}

} // namespace JobScript

using namespace JobScript;

// ---------------------------------------------------------------- runner

JobRunner::JobRunner(JobHost& host, QString baseFolder)
    : m_host(host)
    , m_base(std::move(baseFolder))
{
}

bool JobRunner::fail(const QString& why)
{
    m_error = why;
    return false;
}

bool JobRunner::needsConnection()
{
    if (m_host.isConnected())
        return true;
    return fail(QStringLiteral("The controller is not connected."));
}

ConfigParam* JobRunner::needsConfig()
{
    ConfigParam* c = m_host.config();
    if (!c)
        fail(QStringLiteral("There is no session window."));
    return c;
}

bool JobRunner::run(const QString& line, bool test)
{
    m_error.clear();
    if (!check(line, &m_error, m_base, !test))
        return false;
    if (isComment(line))
        return true;
    const QStringList tokens = tokenize(line);
    if (tokens.isEmpty() || tokens[0].isEmpty())
        return true;
    const int command = commands().constFind(tokens[0])->number; // the check found it
    switch (command) {
    case eSleep:
        if (!test)
            m_host.waitWithEvents(int(tokens[1].trimmed().toInt() * 1000));
        return true;
    case eScan:
    case eClean: {
        if (!needsConnection())
            return false;
        if (test)
            return true;
        QString why;
        const bool ok = command == eScan ? m_host.scan(&why) : m_host.clean(&why);
        return ok || fail(why);
    }
    case eSetScanVoltages: {
        const double start = number(tokens[1]), end = number(tokens[2]), step = number(tokens[3]);
        if (start > end || step == 0 || (end - start) / step < 1)
            return fail(QStringLiteral("The start must lie below the end, at least one step apart."));
        // The configuration panel's smallest step: finer ones are not a scan.
        if (step < ConfigParam::minVoltageStep)
            return fail(QStringLiteral("The step must be at least %1 V.").arg(ConfigParam::minVoltageStep));
        ConfigParam* c = needsConfig();
        if (!c)
            return false;
        if (test)
            return true;
        c->dataScanRunParam.voltageStart = start;
        c->dataScanRunParam.voltageStep = step;
        c->dataScanRunParam.voltageEnd = end;
        m_host.configChanged();
        return true;
    }
    case eSetIdleVoltage: {
        ConfigParam* c = needsConfig();
        if (!c)
            return false;
        if (test)
            return true; // the test pass changes nothing
        const double v = number(tokens[1]);
        c->voltageIdle = v;
        m_host.configChanged();
        QString why;
        return m_host.applyIdleVoltage(v, &why) || fail(why);
    }
    case eSetTimeResolved: {
        const double start = number(tokens[1]), resolution = number(tokens[3]);
        double duration = number(tokens[2]);
        const bool averaging = tokens[4].trimmed().toInt() == 1;
        if (duration == 0) {
            // One whole SYNC period, which needs a SYNC signal to measure.
            const double f = m_host.syncFrequency();
            if (!(f > 0))
                return fail(QStringLiteral("A duration of 0 needs a SYNC signal; none is measured."));
            duration = 1e6 / f;
        }
        if (start < 0 || start > duration || resolution == 0 || (duration - start) / resolution < 1)
            return fail(QStringLiteral("The window must start at or after 0 and hold at least one resolution step."));
        // The rule counts the frames asked for; the unit's realised points are the estimate's.
        const int frames = ScanEstimate::frameCount(start, duration, resolution);
        if (frames > ScanEstimate::maxSyncFrames)
            return fail(QStringLiteral("%1 frames; at most %2").arg(frames).arg(ScanEstimate::maxSyncFrames));
        ConfigParam* c = needsConfig();
        if (!c)
            return false;
        if (test)
            return true;
        ConfigRules::setSyncMode(*c, true);
        c->sync.start = start;
        // 0 stays "the whole period", as the panel's check box keeps it.
        c->sync.duration = number(tokens[2]);
        c->sync.resolution = resolution;
        c->sync.averaging = averaging;
        m_host.configChanged();
        return true;
    }
    case eNewSession: {
        if (!needsConnection())
            return false;
        if (test)
            return true;
        QString why;
        return m_host.newSession(&why) || fail(why);
    }
    case eSave:
        return test || save(tokens[1]);
    case eMessage:
        if (!test)
            m_host.showMessage(tokens[1].trimmed());
        return true;
    case eUseTimeAveraged: {
        ConfigParam* c = needsConfig();
        if (!c)
            return false;
        if (!test) {
            ConfigRules::setSyncMode(*c, false);
            m_host.configChanged();
        }
        return true;
    }
    case eSetCurrentRange: {
        if (!needsConnection())
            return false;
        const double v = number(tokens[1]);
        int range = -1;
        if (v < 0)
            return fail(QStringLiteral("A current range must not be negative."));
        if (v != 0) {
            range = rangeCovering(m_host.currentRanges(), v);
            if (range < 0)
                return fail(QStringLiteral("No current range reaches %1 A.").arg(v));
        }
        ConfigParam* c = needsConfig();
        if (!c)
            return false;
        if (test)
            return true;
        ConfigRules::setOptimizeCurrentRange(*c, range < 0);
        if (range >= 0)
            c->userChosenCMRange = quint32(range);
        m_host.configChanged();
        return true;
    }
    }
    return true;
}

bool JobRunner::save(const QString& argument)
{
    DataAnalyzer* session = m_host.session();
    if (!session)
        return fail(QStringLiteral("There is no session window to save."));
    const QString path = resolvePath(argument, m_base);
    // Whatever appeared there since the check is someone's data: never replaced.
    const QFileInfo existing(path);
    if (existing.exists() || existing.isSymLink()) {
        m_host.critical(QStringLiteral("Cannot write file [%1]").arg(path));
        return fail(QStringLiteral("Cannot write file [%1]: it exists").arg(path));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        m_host.critical(QStringLiteral("Cannot write file [%1]").arg(path));
        return fail(QStringLiteral("Cannot write file [%1]: %2").arg(path, file.errorString()));
    }
    // A copy on disk: the session keeps its own file name and saved state.
    const QString previousName = session->fileName();
    const bool written = SessionFile::write(*session, file);
    session->setFileName(previousName);
    if (!written)
        file.cancelWriting();
    if (!written || !SaveFile::commitChecked(file)) {
        const QString reason = file.errorString().isEmpty() ? QStringLiteral("the file could not be written completely")
                                                            : file.errorString();
        m_host.critical(QStringLiteral("Cannot write file [%1]").arg(path));
        return fail(QStringLiteral("Cannot write file [%1]: %2").arg(path, reason));
    }
    session->markSaved(); // its journal is no longer needed
    return true;
}

// ---------------------------------------------------------------- job

BatchJob::BatchJob(JobHost& host, const QString& text, const QString& baseFolder)
    : m_host(host)
    , m_runner(host, baseFolder)
    , m_base(baseFolder)
{
    // Trimmed, so that CR LF files and indented lines read as they look.
    for (const QString& line : text.split(QLatin1Char('\n')))
        m_lines.append(line.trimmed());
    if (text.isEmpty())
        m_lines.clear();
    for (int i = 0; i < m_lines.size(); ++i)
        m_errors.append(QString());
}

bool BatchJob::readFile(const QString& fileName, QString* text, QString* error)
{
    // A FIFO or a device would hold the open up beyond the reach of Abort or a signal.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("\"%1\" is not a regular file").arg(fileName);
        return false;
    }
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = f.errorString();
        return false;
    }
    if (f.size() > kMaxFileBytes) {
        *error = QStringLiteral("The file is larger than %1 bytes.").arg(kMaxFileBytes);
        return false;
    }
    const QByteArray bytes = f.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        *error = QStringLiteral("The file is larger than %1 bytes.").arg(kMaxFileBytes);
        return false;
    }
    // With the length: the bytes after a NUL are part of the file (and its NUL is refused
    // by the line check), not cut off.
    *text = QString::fromUtf8(bytes.constData(), bytes.size());
    return true;
}

bool BatchJob::test()
{
    bool ok = true;
    for (int i = 0; i < m_lines.size(); ++i) {
        QString error;
        if (check(m_lines[i], &error, m_base, false) && !m_runner.run(m_lines[i], true))
            error = testRunError(m_runner.lastError());
        m_errors[i] = error;
        ok = ok && error.isEmpty();
    }
    return ok;
}

int BatchJob::run(const Observer& observer)
{
    int failed = 0;
    m_linesRun = 0;
    m_aborted = false;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_host.aborted()) {
            m_aborted = true;
            break;
        }
        if (isComment(m_lines[i])) { // nothing to run, nothing to show running
            ++m_linesRun;
            continue;
        }
        if (observer.lineStarted)
            observer.lineStarted(i);
        // An abort that arrives meanwhile keeps the line from starting.
        if (!m_host.waitWithEvents(kBetweenLinesMs)) {
            m_aborted = true;
            break;
        }
        const bool ok = m_runner.run(m_lines[i], false);
        ++m_linesRun;
        if (!ok)
            ++failed;
        m_errors[i] = ok ? QString() : m_runner.lastError();
        if (observer.lineEnded)
            observer.lineEnded(i, ok, m_errors[i]);
    }
    if (m_host.aborted() && m_linesRun < m_lines.size())
        m_aborted = true;
    return failed;
}
