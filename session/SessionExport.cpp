#include "SessionExport.h"

#include "DataAnalyzer.h"
#include "ExportSettings.h"
#include "SaveFile.h"
#include "SessionXml.h"
#include "Trace.h"

#include <QSaveFile>
#include <QTextStream>

#include <algorithm>

using SessionXml::number;

namespace SessionExport {

namespace {

struct RunKind {
    bool spatial, timeResolved, timed, ionCurrent;
};

RunKind runKind(const DataAnalyzer &session)
{
    const ConfigParam &c = session.configuration();
    return {c.spat.bUseSpatScan, c.sync.bUseSyncScan, c.timed.bUseTimedScan, c.ic.bUseIcScan};
}

template <typename F>
void forEachScan(const DataAnalyzer &session, F f)
{
    for (int g = 0; g < session.groupCount(); ++g)
        for (const ScanRecord &s : session.scansOfGroup(g))
            f(s);
}

const ScanRecord *firstScan(const DataAnalyzer &session)
{
    for (int g = 0; g < session.groupCount(); ++g)
        if (!session.scansOfGroup(g).isEmpty())
            return &session.scansOfGroup(g).first();
    return nullptr;
}

// A list value, or an empty cell past its end.
QString cell(const QVector<double> &list, int i)
{
    return i >= 0 && i < list.size() ? number(list.at(i)) : QString();
}

// A text field as spreadsheets read it: quoted (inner quotes doubled) when it holds the
// separator, a quote or a line break, else as it is.
QString textField(const QString &text, const QString &sep)
{
    const bool quote = (!sep.isEmpty() && text.contains(sep)) || text.contains(QLatin1Char('"'))
                       || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!quote)
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

struct Column {
    const char *heading;
    int pair;
};

const Column kSingle[] = {{"Vp (V)", ResultRecord::eVp},
                          {"Vf (V)", ResultRecord::eVf},
                          {"kTe (eV)", ResultRecord::eKTe},
                          {"Je (A/m^2)", ResultRecord::eJe},
                          {"Ne (m^-3)", ResultRecord::eNe},
                          {"Jp (A/m^2)", ResultRecord::eJp},
                          {"Ni (m^-3)", ResultRecord::eNi},
                          {"Ld (m)", ResultRecord::eLdebye},
                          {"Isat (A)", ResultRecord::eIsat},
                          {"EEPF Ne (m^-3)", ResultRecord::eEedfNe},
                          {"EEPF Energy (eV)", ResultRecord::eEedfAvgEnergy},
                          {"EEPF kTe (eV)", ResultRecord::eEedfKTe}};
const char *const kSingleWithErrors[] = {"Vp (V)", "Vp Error", "Vf (V)", "Vf Error", "kTe (eV)", "kTe Error",
                                         "Je (A/m^2)", "Je Error", "Ne (m^-3)", "Ne Error", "Jp (A/m^2)",
                                         "Jp Error", "Ni (m^-3)", "Ni Error", "Ld (m)", "Ld Error", "Isat (v)",
                                         "---", "EEPF Ne (m^-3)", "EEPF Ne Error", "EEPF Energy (eV)",
                                         "EEPF Energy Error", "EEPF kTe (eV)", "EEPF kTe Error"};
const Column kDouble[] = {{"kTe (eV)", ResultRecord::eKTe},
                          {"Jp (A/m^2)", ResultRecord::eJp},
                          {"Ni (m^-3)", ResultRecord::eNi},
                          {"Ld (m)", ResultRecord::eLdebye}};
const char *const kDoubleWithErrors[] = {"kTe (eV)", "kTe Error", "Jp (A/m^2)", "Jp Error",
                                         "Ni (m^-3)", "Ni Error", "Ld (m)", "Ld Error"};

void writeIonCurrentSeries(const DataAnalyzer &session, QTextStream &out, const QString &sep, bool errors)
{
    out << "Process Time(s)" << sep;
    for (const ScanRecord &s : session.scansOfGroup(0)) {
        out << "Isat (A)[" << number(s.resolvedTime) << " s]" << sep;
        if (errors)
            out << "Isat Error" << sep;
    }
    out << '\n';
    for (int g = 0; g < session.groupCount(); ++g) {
        out << number(session.group(g)->temporalPosition) << sep;
        for (const ScanRecord &s : session.scansOfGroup(g)) {
            out << number(s.result.value(ResultRecord::eIsat)) << sep;
            if (errors)
                out << number(s.result.error(ResultRecord::eIsat)) << sep;
        }
        out << '\n';
    }
}

} // namespace

bool isDoubleProbe(const DataAnalyzer &session)
{
    const ConfigParam &c = session.configuration();
    return c.useDoubleProbe || c.probeMode == 3;
}

void writeHeader(const DataAnalyzer &session, QTextStream &out, const QString &sep)
{
    const ConfigParam &c = session.configuration();
    const RunKind run = runKind(session);
    const ScanRecord *first = firstScan(session);

    out << "Header:\n";
    out << "Serial Number" << sep << textField(session.deviceID(), sep) << '\n';
    out << "File" << sep << textField(session.fileName(), sep) << '\n';
    const QDateTime date = first ? first->date : QDateTime();
    out << "Date/Time" << sep << date.toString(QStringLiteral("dd/MM/yyyy")) << sep
        << date.toString(QStringLiteral("hh:mm:ss")) << '\n';

    out << "Spatial Trend";
    if (run.spatial)
        out << sep << "Start Position" << sep << number(c.spat.start) << "[mm]" << sep << "End Position" << sep
            << number(c.spat.end) << "[mm]" << sep << "Step Size" << sep << number(c.spat.step) << "[mm]";
    else if (first && first->position > 0 && first->position != ScanRecord::kNoDrivePosition)
        out << sep << number(first->position) << "[mm]";
    out << '\n';

    out << "Time (us)";
    if (run.timeResolved && !run.spatial) {
        out << sep << "Start Time" << sep << number(c.sync.start) << "[us]" << sep << "End Time" << sep;
        if (c.sync.duration == 0)
            out << "Whole Period";
        else
            out << number(c.sync.duration) << "[us]";
        out << sep << "Step size" << sep << number(c.sync.resolution) << "[us]";
    }
    out << '\n';

    out << "Time (s)";
    if (!run.spatial && !run.timeResolved)
        out << sep << "Start Time" << sep << number(c.timed.start) << "[s]" << sep << "End Time" << sep
            << number(c.timed.end) << "[s]" << sep << "Step size" << sep << number(c.timed.step) << "[s]";
    out << '\n';

    out << "Comment" << sep << textField(session.comment(), sep) << "\n\n";
}

void writeResults(const DataAnalyzer &session, QTextStream &out, const QString &sep, bool errors)
{
    out << "Results:\n";
    const RunKind run = runKind(session);
    if (run.ionCurrent) {
        writeIonCurrentSeries(session, out, sep, errors);
        return;
    }

    enum { eNone, ePosition, eResolved, eTemporal } leading = eNone;
    if (run.spatial) {
        leading = ePosition;
        out << "Position [mm]" << sep;
    } else if (run.timeResolved) {
        leading = eResolved;
        out << "Time [us]" << sep;
    } else if (run.timed) {
        leading = eTemporal;
        out << "Time [s]" << sep;
    }

    const bool dbl = isDoubleProbe(session);
    QStringList headings;
    if (errors) {
        if (dbl)
            for (const char *h : kDoubleWithErrors)
                headings << QLatin1String(h);
        else
            for (const char *h : kSingleWithErrors)
                headings << QLatin1String(h);
    } else {
        if (dbl)
            for (const Column &c : kDouble)
                headings << QLatin1String(c.heading);
        else
            for (const Column &c : kSingle)
                headings << QLatin1String(c.heading);
    }
    out << headings.join(sep) << '\n';

    QVector<int> pairs;
    if (dbl)
        for (const Column &c : kDouble)
            pairs << c.pair;
    else
        for (const Column &c : kSingle)
            pairs << c.pair;

    forEachScan(session, [&](const ScanRecord &s) {
        switch (leading) {
        case ePosition: out << number(s.position) << sep; break;
        case eResolved: out << number(s.resolvedTime) << sep; break;
        case eTemporal: out << number(s.temporalPosition) << sep; break;
        case eNone: break;
        }
        QStringList values;
        for (int p : pairs) {
            values << number(s.result.value(p));
            if (errors)
                // The ion saturation current's error column is the "---" placeholder.
                values << (!dbl && p == ResultRecord::eIsat ? QStringLiteral("0") : number(s.result.error(p)));
        }
        out << values.join(sep) << '\n';
    });
}

void writeEepf(const DataAnalyzer &session, QTextStream &out, const QString &sep)
{
    const RunKind run = runKind(session);
    out << "EEPF Data:\n";

    // Each column by its scan's own time, as the results give it: a session can hold scans
    // of several runs, time-averaged ones among them.
    if (run.timeResolved) {
        out << "Time";
        forEachScan(session, [&](const ScanRecord &s) { out << sep << " [" << number(s.resolvedTime) << " us]"; });
        out << '\n';
    }

    out << "Energy (eV)";
    forEachScan(session, [&](const ScanRecord &s) {
        out << sep << "EEPF (/m^3/eV^1.5)";
        if (run.spatial)
            out << " [" << number(s.position) << "mm]";
        else if (run.timed)
            out << " [" << number(s.temporalPosition) << "s]";
    });
    out << '\n';

    for (const EepfRow &row : session.eepfTable().rows) {
        out << number(row.energy);
        forEachScan(session, [&](const ScanRecord &s) {
            out << sep;
            const int i = s.eepf.energy.indexOf(row.energy);
            if (i >= 0)
                out << cell(s.eepf.EEDF, i);
        });
        out << '\n';
    }
}

void writeIvData(const DataAnalyzer &session, QTextStream &out, const QString &sep, const IvColumns &columns)
{
    const RunKind run = runKind(session);
    const bool dbl = isDoubleProbe(session);
    const bool corrected = columns.correctedCurve && dbl;
    const bool electron = columns.electronCurrent && !dbl;
    const int k = session.analysisSettings().nDerivativePoints;

    out << "IV Data:\n";
    for (int g = 0; g < session.groupCount(); ++g) {
        const ScanGroup *group = session.group(g);
        if (run.spatial)
            out << " [" << number(group->position) << " mm]";
        else
            out << " [" << number(group->temporalPosition) << " s]";
        for (int i = 0; i < 5; ++i)
            out << sep;
    }
    out << '\n';

    // Per scan, the columns of its block, computed once. Derivative entry j belongs to point
    // j + k (the second derivative's to j + 2k): each value goes on the row of its point.
    struct Block {
        QVector<double> V, I, dpI, d1, d2, electron;
    };
    QVector<Block> blocks;
    int rows = 0;
    forEachScan(session, [&](const ScanRecord &s) {
        Block b;
        b.V = s.corrected.V;
        b.I = s.corrected.I;
        if (corrected)
            b.dpI = s.correctedDoubleProbe.I;
        if (columns.derivative || columns.secondDerivative) {
            QVector<double> xc, slope, xc2, slope2;
            curve::derivative(s.corrected.V, s.corrected.I, k, xc, slope);
            if (columns.secondDerivative)
                curve::derivative(xc, slope, k, xc2, slope2);
            b.d1 = slope;
            b.d2 = slope2;
        }
        if (electron)
            for (const IvPoint &p : s.electronCurrent.points)
                b.electron << p.current;
        rows = std::max(rows, int(s.corrected.V.size()));
        blocks << b;

        const QString tag = run.timeResolved ? QStringLiteral(" [%1 us]").arg(number(s.resolvedTime)) : QString();
        out << "Voltage (V)" << tag << sep << "Current (A)" << tag << sep;
        if (corrected)
            out << "Corrected Current (A)" << tag << sep;
        if (columns.derivative)
            out << "Current Derivative (A/V)" << tag << sep;
        if (columns.secondDerivative)
            out << "Current 2nd Derivative (A/V^2)" << tag << sep;
        if (electron)
            out << "Electron Current (A)" << tag << sep;
    });
    out << '\n';

    for (int i = 0; i < rows; ++i) {
        for (const Block &b : qAsConst(blocks)) {
            out << cell(b.V, i) << sep << cell(b.I, i) << sep;
            if (corrected)
                out << cell(b.dpI, i) << sep;
            if (columns.derivative)
                out << cell(b.d1, i - k) << sep;
            if (columns.secondDerivative)
                out << cell(b.d2, i - 2 * k) << sep;
            if (electron)
                out << cell(b.electron, i) << sep;
        }
        out << '\n';
    }
}

void writeErrors(const DataAnalyzer &session, QTextStream &out, const QString &sep)
{
    out << "Errors:\n";
    forEachScan(session, [&](const ScanRecord &s) {
        if (!s.error.isEmpty())
            out << textField(s.error, sep) << '\n';
    });
}

void writeSections(const DataAnalyzer &session, const ExportSettings &o, QTextStream &out)
{
    const QString &sep = o.separator;
    if (o.header)
        writeHeader(session, out, sep);
    if (o.results)
        writeResults(session, out, sep, o.errors);
    if (o.eepf && !isDoubleProbe(session))
        writeEepf(session, out, sep);
    if (o.ivData) {
        IvColumns cols;
        cols.derivative = o.derivative;
        cols.secondDerivative = o.secondDerivative;
        cols.correctedCurve = o.doubleProbeCorrected;
        cols.electronCurrent = o.electronCurrent;
        writeIvData(session, out, sep, cols);
    }
    if (o.errors)
        writeErrors(session, out, sep);
}

FileResult writeFile(const DataAnalyzer &session, const ExportSettings &options, const QString &fileName,
                     QString *errorText)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (errorText)
            *errorText = file.errorString();
        return FileResult::OpenFailed;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    writeSections(session, options, out);
    out.flush();
    if (out.status() != QTextStream::Ok || !SaveFile::commitChecked(file)) {
        if (errorText) {
            *errorText = file.errorString();
            if (file.error() == QFileDevice::NoError || errorText->isEmpty())
                *errorText = QStringLiteral("The file could not be written completely.");
        }
        return FileResult::WriteFailed;
    }
    return FileResult::Ok;
}

QStringList clipboardHeadings(Graph graph, Leading leading)
{
    QStringList h;
    if (leading == Leading::Position)
        h << QStringLiteral("Position (mm)");
    else if (leading == Leading::Time)
        h << QStringLiteral("Time (us)");
    switch (graph) {
    case Graph::IV: h << QStringLiteral("Voltage (V)") << QStringLiteral("Current (A)"); break;
    case Graph::FirstDerivative:
        h << QStringLiteral("Voltage (V)") << QStringLiteral("Current Derivative(A/V)");
        break;
    case Graph::SecondDerivative:
        h << QStringLiteral("Voltage (V)") << QStringLiteral("Current Second Derivative(A/V^2)");
        break;
    case Graph::Eepf: h << QStringLiteral("Energy (eV)") << QStringLiteral("EEPF (eV^1.5/m^3)"); break;
    }
    return h;
}

QString clipboardText(const QStringList &headings, const QVector<QVector<double>> &columns)
{
    QString text = headings.join(QLatin1Char('\t')) + QLatin1Char('\n');
    int rows = 0;
    for (const QVector<double> &c : columns)
        rows = std::max(rows, int(c.size()));
    for (int i = 0; i < rows; ++i) {
        QStringList cells;
        for (const QVector<double> &c : columns)
            cells << cell(c, i);
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

} // namespace SessionExport
