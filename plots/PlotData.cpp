#include "PlotData.h"

#include "DataAnalyzer.h"
#include "ErrorText.h"
#include "ResultRecord.h"
#include "ScanRecord.h"
#include "Trace.h"

#include <QString>
#include <cmath>

namespace PlotData {

namespace {
void appendPoint(Series& s, double x, const ScanRecord& scan, int quantity)
{
    s.x.append(x);
    s.y.append(ResultQuantity::displayValue(scan.result, quantity));
    const double e = std::fabs(ResultQuantity::error(scan.result, quantity) * ResultQuantity::displayFactor(quantity));
    s.err.append(std::isfinite(e) ? e : 0.0);
}
} // namespace

Series trendAcrossFrames(const DataAnalyzer& data, int traceIndex, int quantity)
{
    Series s;
    if (traceIndex < 0)
        return s;
    for (int g = 0; g < data.groupCount(); ++g) {
        const ScanGroup* group = data.group(g);
        if (!group || traceIndex >= group->scans.size())
            continue; // this frame has no such trace
        const ScanRecord& scan = group->scans.at(traceIndex);
        appendPoint(s, scan.scanType == ScanRecord::eSpatialRun ? group->position : group->temporalPosition, scan,
                    quantity);
    }
    if (s.size() < 2)
        return Series();
    return s;
}

Series trendWithinFrame(const DataAnalyzer& data, int group, int quantity, int traceIndex)
{
    Series s;
    const QVector<ScanRecord>& scans = data.scansOfGroup(group);
    // Runs of scans with strictly rising resolved times, two or more long:
    // the one holding traceIndex, else the last.
    int chosenBegin = -1, chosenEnd = -1;
    for (int begin = 0; begin < scans.size();) {
        int end = begin + 1;
        while (end < scans.size() && scans[end].resolvedTime > scans[end - 1].resolvedTime)
            ++end;
        const bool holdsChosenTrace = chosenBegin >= 0 && traceIndex >= chosenBegin && traceIndex < chosenEnd;
        if (end - begin >= 2 && !holdsChosenTrace) {
            chosenBegin = begin;
            chosenEnd = end;
        }
        begin = end;
    }
    if (chosenBegin < 0)
        return s;
    for (int i = chosenBegin; i < chosenEnd; ++i)
        appendPoint(s, scans[i].resolvedTime, scans[i], quantity);
    return s;
}

QString resultsText(const ResultRecord* result, int traceIndex)
{
    // The grid's rows: quantity number, name, plain unit.
    struct Row {
        int quantity;
        const char* name;
        const char* unit;
    };
    static const Row rows[] = {{0, "Vp", "V"},         {1, "Vf", "V"},           {2, "kTe", "eV"},
                               {3, "Je", "A/m^2"},     {4, "Ne", "m^-3"},        {5, "Jp", "A/m^2"},
                               {6, "Ni", "m^-3"},      {7, "Ld", "µm"},          {11, "Isat", "mA"},
                               {12, "M", ""},          {13, "Vd", "m/s"},        {8, "Ne (EEPF)", "m^-3"},
                               {9, "E (EEPF)", "eV"},  {10, "kTe (EEPF)", "eV"}};
    // For quoting: each value with its error to two significant digits of the error; the
    // machine formats (export, session file) keep the full precision.
    QString out = QStringLiteral("Quantity\tValue\tError (%)\n");
    for (const Row& r : rows) {
        double v = NAN, e = NAN, raw = NAN, err = NAN;
        if (result) {
            v = ResultQuantity::displayValue(*result, r.quantity);
            raw = ResultQuantity::value(*result, r.quantity);
            err = ResultQuantity::error(*result, r.quantity);
            e = std::fabs(err * ResultQuantity::displayFactor(r.quantity));
        }
        out += QStringLiteral("%1\t%2\t%3\n")
                   .arg(QString::fromUtf8(r.name), errortext::valueWithError(v, e, QString::fromUtf8(r.unit)),
                        errortext::percent(raw, err));
    }
    out += QStringLiteral("Trace\t%1\n").arg(traceIndex);
    return out;
}

void correctedDerivatives(const ScanRecord& scan, int k, Series& d1, Series& d2)
{
    d1 = Series();
    d2 = Series();
    if (k < 1 || scan.corrected.isEmpty())
        return;
    IvTrace iv;
    if (!iv.setFromArrays(scan.corrected.V, scan.corrected.I))
        return;
    const TimedTrace first = curve::derivative(iv, k);
    const TimedTrace second = curve::derivative(first, k);
    for (const IvPoint& p : first.points) {
        d1.x.append(p.voltage);
        d1.y.append(p.current);
    }
    for (const IvPoint& p : second.points) {
        d2.x.append(p.voltage);
        d2.y.append(p.current);
    }
}

Series meanRawSweep(const ScanRecord& scan)
{
    Series s;
    const int n = scan.accumulated.pointCount();
    s.x.reserve(n);
    s.y.reserve(n);
    for (int i = 0; i < n; ++i) {
        s.x.append(scan.accumulated.meanVoltage(i));
        s.y.append(scan.accumulated.meanCurrent(i));
    }
    return s;
}

} // namespace PlotData
