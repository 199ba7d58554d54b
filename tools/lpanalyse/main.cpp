// lpanalyse: analyses IV curves from delimited text files or session files with the
// plasma analysis engine and prints the results as JSON (default) or CSV.
#include "IvText.h"
#include "DataAnalyzer.h"
#include "Hdf5Export.h"
#include "Report.h"
#include "SessionFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <memory>

namespace {

enum Exit { eOk = 0, eAnalysisFailed = 1, eBadInput = 2 };

int fail(const QString& message)
{
    std::fprintf(stderr, "lpanalyse: %s\n", qPrintable(message));
    return eBadInput;
}

// Settings files and EEPF tables are read whole, but never more than this.
constexpr qint64 kMaxTextInputBytes = 1 << 20;

// Small inputs (settings, EEPF table): read whole, but never more than `limit` bytes.
bool readSmall(const QString& path, qint64 limit, QByteArray& out, QString& error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot open: %2").arg(path, f.errorString());
        return false;
    }
    out = f.read(limit + 1);
    if (out.size() > limit) {
        error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(limit);
        return false;
    }
    return true;
}

bool isSessionFile(const QString& path, const QByteArray& head)
{
    return path.endsWith(QLatin1String(".ldf"), Qt::CaseInsensitive)
           || head.trimmed().startsWith("<?xml") || head.trimmed().startsWith("<measuredData");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lpanalyse"));
    // The analysis traces its steps as debug lines; the report carries what users need.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Analyses Langmuir-probe IV curves: delimited text files (voltage and current columns, "
        "optionally their standard deviations, with or without a header line) or session files "
        "(.ldf, every scan re-analysed).\n\n"
        "Exit status: 0 all analyses succeeded, 1 an analysis failed (its message and the values "
        "it found are still reported), 2 bad input or options."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("files"), QStringLiteral("IV text files or session files."),
                            QStringLiteral("file..."));
    p.addOptions({
        {QStringLiteral("mode"),
         QStringLiteral("Probe mode: single (0), reference (1, single probe with DC reference), "
                        "double (3), spherical (4), mach (5). Default: single, or the session's mode."),
         QStringLiteral("mode")},
        {QStringLiteral("set"),
         QStringLiteral("Sets one analysis setting by its session-file name, e.g. probe_radius=0.0002 "
                        "or nDerivativePoints=5 (repeatable; applied after --settings)."),
         QStringLiteral("name=value")},
        {QStringLiteral("robust"),
         QStringLiteral("Noise-robust analysis of single-probe curves (the same as "
                        "--set noiseRobust=1): noise estimate, smoothing, refined Vf.")},
        {QStringLiteral("settings"),
         QStringLiteral("Settings file: one \"name = value\" per line, '#' comments."),
         QStringLiteral("file")},
        {QStringLiteral("eepf-table"),
         QStringLiteral("EEPF table file (\"Energy;Resolution\" header). Default: the built-in "
                        "table, or the session's table."),
         QStringLiteral("file")},
        {QStringLiteral("format"),
         QStringLiteral("Output format: json (default), csv, hdf5 (the whole analysed session with its "
                        "curves; one input file and --output), or summary (kTe, Vp, Vf and Ne of each "
                        "scan with their errors, for reading)."),
         QStringLiteral("format"), QStringLiteral("json")},
        {QStringLiteral("precision"),
         QStringLiteral("Significant digits of the numbers in CSV output: 1 to 17, or \"shortest\" "
                        "for the shortest text that reads back exactly (JSON numbers always do). "
                        "Default 6."),
         QStringLiteral("digits"), QStringLiteral("6")},
        {QStringLiteral("eepf"), QStringLiteral("Include the EEPF lists in the output.")},
        {QStringLiteral("sweeps"),
         QStringLiteral("Number of sweeps the deviation columns of a text file stand for "
                        "(default: the file's \"# sweeps: N\" line, else 2; with deviations the "
                        "errors are estimated, a file of one sweep or with deviations all 0 gets "
                        "no errors)."),
         QStringLiteral("n"), QStringLiteral("2")},
        {QStringLiteral("decimal-comma"),
         QStringLiteral("Text files write decimals with a comma (fields then separated by ';', "
                        "tabs or blanks).")},
        {QStringLiteral("sort"),
         QStringLiteral("Sort the samples of text files by voltage and average samples of equal "
                        "voltage (for descending or unordered sweeps).")},
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Write to this file instead of standard output."), QStringLiteral("file")},
    });
    // Bad options exit 2 like any other bad input (process() would exit 1).
    if (!p.parse(app.arguments()))
        return fail(p.errorText() + QStringLiteral(" (see --help)"));
    if (p.isSet(QStringLiteral("help")))
        p.showHelp(eOk);

    const QStringList files = p.positionalArguments();
    if (files.isEmpty())
        return fail(QStringLiteral("no input file (see --help)"));
    const QString format = p.value(QStringLiteral("format")).toLower();
    const bool hdf5 = format == QLatin1String("hdf5");
    if (format != QLatin1String("json") && format != QLatin1String("csv") && format != QLatin1String("summary")
        && !hdf5)
        return fail(QStringLiteral("--format: expected json, csv, hdf5 or summary, got \"%1\"").arg(format));
    if (hdf5 && (files.size() != 1 || !p.isSet(QStringLiteral("o"))))
        return fail(QStringLiteral("--format hdf5: one input file and --output FILE"));
    int mode = 0;
    const bool modeGiven = p.isSet(QStringLiteral("mode"));
    if (modeGiven && !ivtext::parseProbeMode(p.value(QStringLiteral("mode")), mode))
        return fail(QStringLiteral("--mode: ") + ivtext::unknownProbeModeText(p.value(QStringLiteral("mode"))));
    bool ok = false;
    int precision = 6;
    const QString precisionText = p.value(QStringLiteral("precision"));
    if (precisionText.compare(QLatin1String("shortest"), Qt::CaseInsensitive) == 0)
        precision = report::kShortest;
    else if ((precision = precisionText.toInt(&ok)) < 1 || precision > 17 || !ok)
        return fail(QStringLiteral("--precision: expected 1 to 17 or shortest, got \"%1\"").arg(precisionText));
    const int sweeps = p.value(QStringLiteral("sweeps")).toInt(&ok);
    if (!ok || sweeps < ivtext::kMinSweeps)
        return fail(QStringLiteral("--sweeps: expected a whole number of at least 2"));

    // Settings on top of a base record: the settings file, then each --set.
    QByteArray settingsText;
    const QString settingsFile = p.value(QStringLiteral("settings"));
    QString error;
    if (!settingsFile.isEmpty() && !readSmall(settingsFile, kMaxTextInputBytes, settingsText, error))
        return fail(error);
    const bool robust = p.isSet(QStringLiteral("robust"));
    auto applySettings = [&](LangmuirSettings& s) -> bool {
        if (!settingsFile.isEmpty() && !ivtext::parseSettingsText(settingsText, settingsFile, s, error))
            return false;
        for (const QString& kv : p.values(QStringLiteral("set"))) {
            const int eq = kv.indexOf('=');
            QString why;
            if (eq < 1) {
                error = QStringLiteral("--set %1: expected name=value").arg(kv);
                return false;
            }
            if (!s.setField(kv.left(eq).trimmed(), kv.mid(eq + 1).trimmed(), &why)) {
                error = QStringLiteral("--set %1: %2").arg(kv, why);
                return false;
            }
        }
        if (robust)
            s.noiseRobust = true;
        return true;
    };
    LangmuirSettings base;
    if (!applySettings(base))
        return fail(error);

    EepfTable table = EepfTable::defaultTable();
    const QString tableFile = p.value(QStringLiteral("eepf-table"));
    if (!tableFile.isEmpty()) {
        QByteArray tableText;
        if (!readSmall(tableFile, kMaxTextInputBytes, tableText, error))
            return fail(error);
        const QString err = table.parse(tableText);
        if (!err.isEmpty())
            return fail(QStringLiteral("%1: %2").arg(tableFile, err));
    }

    // Read every input before analysing anything: bad input leaves no partial output.
    std::vector<std::unique_ptr<DataAnalyzer>> sessions;
    std::vector<bool> fromSession;
    for (const QString& path : files) {
        // Only the first bytes decide the kind; text is then read line by line, so an endless
        // or huge input is refused by the parser's limits instead of filling the memory.
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1: cannot open: %2").arg(path, in.errorString()));
        auto session = std::make_unique<DataAnalyzer>();
        fromSession.push_back(isSessionFile(path, in.peek(256)));
        if (fromSession.back()) {
            in.close();
            QString why;
            SessionFile::ReadReport report;
            if (!SessionFile::load(*session, path, &why, &report))
                return fail(QStringLiteral("%1: %2").arg(
                    path, why.isEmpty() ? QStringLiteral("not a readable session file (layout version 3)") : why));
            // A journal, or a file cut off while written: its complete scans.
            if (report.cutOff)
                std::fprintf(stderr, "lpanalyse: %s: %s\n", qPrintable(path),
                             qPrintable(SessionFile::recoveredText(report)));
            LangmuirSettings s = session->analysisSettings();
            if (!applySettings(s))
                return fail(error);
            session->setAnalysisSettings(s);
            if (!tableFile.isEmpty())
                session->setEepfTable(table);
            if (modeGiven)
                session->configuration().probeMode = mode;
        } else {
            IvText iv;
            int stated = 0;
            if (!ivtext::parseIvText(in, path, p.isSet(QStringLiteral("decimal-comma")), iv, error,
                                     ivtext::kMaxSamples, &stated))
                return fail(error);
            const int descent = ivtext::firstDescendingSample(iv);
            if (p.isSet(QStringLiteral("sort")))
                ivtext::sortByVoltage(iv);
            else if (descent > 0)
                std::fprintf(stderr, "lpanalyse: %s; --sort sorts the samples\n",
                             qPrintable(ivtext::descendingNote(path, descent)));
            session->configuration().probeMode = mode;
            session->setAnalysisSettings(base);
            session->setEepfTable(table);
            // The option wins over what the file states.
            const int n = p.isSet(QStringLiteral("sweeps")) || stated == 0 ? sweeps : stated;
            session->addScan(ivtext::scanFromIvText(iv, n));
        }
        sessions.push_back(std::move(session));
    }

    QVector<ReportEntry> entries;
    bool allOk = true;
    for (size_t f = 0; f < sessions.size(); ++f) {
        const bool located = fromSession.at(f);
        DataAnalyzer& d = *sessions[f];
        d.analyseAll(0);
        for (int g = 0; g < d.groupCount(); ++g) {
            const QVector<ScanRecord>& scans = d.scansOfGroup(g);
            for (int i = 0; i < scans.size(); ++i) {
                entries.append(ReportEntry{files.at(int(f)), g, i, &scans.at(i), located});
                allOk = allOk && scans.at(i).error.isEmpty();
            }
        }
    }

    if (hdf5) {
        QString why;
        if (!Hdf5Export::writeFile(*sessions.front(), p.value(QStringLiteral("o")), &why))
            return fail(QStringLiteral("%1: cannot write: %2").arg(p.value(QStringLiteral("o")), why));
        return allOk ? eOk : eAnalysisFailed;
    }
    const bool withEepf = p.isSet(QStringLiteral("eepf"));
    const QByteArray out = format == QLatin1String("csv")       ? report::csv(entries, withEepf, precision)
                           : format == QLatin1String("summary") ? report::summary(entries)
                                                                : report::json(entries, withEepf);
    if (p.isSet(QStringLiteral("o"))) {
        QSaveFile f(p.value(QStringLiteral("o")));
        if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit())
            return fail(QStringLiteral("%1: cannot write: %2").arg(p.value(QStringLiteral("o")), f.errorString()));
    } else {
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    }
    return allOk ? eOk : eAnalysisFailed;
}
