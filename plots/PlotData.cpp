#include "PlotData.h"

#include "DataAnalyzer.h"
#include "ErrorText.h"
#include "ResultRecord.h"
#include "ScanRecord.h"
#include "Trace.h"

#include <QString>
#include <algorithm>
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

QVector<Run> timeSliceRuns(const QVector<ScanRecord>& scans)
{
    QVector<Run> runs;
    auto gap = [&](int i) { return scans[i + 1].resolvedTime - scans[i].resolvedTime; };
    auto sameGap = [&](int i, int j) { return std::fabs(gap(i) - gap(j)) <= 1e-6 * std::max(gap(i), gap(j)); };
    for (int begin = 0; begin < scans.size();) {
        int end = begin + 1;
        while (end < scans.size() && scans[end].resolvedTime > scans[end - 1].resolvedTime)
            ++end;
        // A leading scan out of step with the slices after it is no slice.
        if (end - begin >= 3 && !sameGap(begin, begin + 1) && sameGap(begin + 1, begin + 2))
            ++begin;
        if (end - begin >= 2)
            runs.append(Run{begin, end});
        begin = end;
    }
    return runs;
}

bool isTimeSlice(const QVector<ScanRecord>& scans, int index)
{
    for (const Run& r : timeSliceRuns(scans))
        if (index >= r.begin && index < r.end)
            return true;
    return false;
}

QString positionText(const QVector<ScanRecord>& scans, int index, const ScanGroup* group)
{
    if (group && index >= 0 && index < scans.size() && scans[index].scanType == ScanRecord::eSpatialRun)
        return QStringLiteral("%1 [mm]").arg(group->position, 0, 'f', 1);
    return QStringLiteral("--- [mm]");
}

QString timeText(const QVector<ScanRecord>& scans, int index, const ScanGroup* group)
{
    if (index < 0 || index >= scans.size())
        return QStringLiteral("--- [<span>&mu;</span>s]");
    const ScanRecord& scan = scans[index];
    if (group && scan.scanType == ScanRecord::eTimedRun)
        return QStringLiteral("%1 [s]").arg(group->temporalPosition, 0, 'f', 1);
    if (isTimeSlice(scans, index))
        return QStringLiteral("%1 [<span>&mu;</span>s]").arg(scan.resolvedTime, 0, 'f', 3);
    return QStringLiteral("--- [<span>&mu;</span>s]");
}

QString traceName(const DataAnalyzer& data, int group, int index)
{
    const QVector<ScanRecord>& scans = data.scansOfGroup(group);
    const ScanGroup* g = data.group(group);
    if (!g || index < 0 || index >= scans.size())
        return QString();
    const ScanRecord& s = scans[index];
    if (!s.sourceName.isEmpty())
        return s.sourceName;
    const QString us = QString::fromUtf8(" \u00b5s");
    const QString slice = isTimeSlice(scans, index) ? QString::number(s.resolvedTime, 'f', 3) + us : QString();
    if (s.scanType == ScanRecord::eSpatialRun) {
        const QString place = QString::number(g->position, 'f', 1) + QStringLiteral(" mm");
        return slice.isEmpty() ? place : place + QStringLiteral(", ") + slice;
    }
    if (s.scanType == ScanRecord::eTimedRun)
        return QString::number(g->temporalPosition, 'f', 1) + QStringLiteral(" s");
    if (!slice.isEmpty() && data.groupCount() == 1)
        return slice;
    return QStringLiteral("Frame %1, trace %2").arg(group + 1).arg(index + 1);
}

Series trendWithinFrame(const DataAnalyzer& data, int group, int quantity, int traceIndex)
{
    Series s;
    const QVector<ScanRecord>& scans = data.scansOfGroup(group);
    // The run holding traceIndex, else the last.
    const QVector<Run> runs = timeSliceRuns(scans);
    if (runs.isEmpty())
        return s;
    Run chosen = runs.last();
    for (const Run& r : runs)
        if (traceIndex >= r.begin && traceIndex < r.end)
            chosen = r;
    for (int i = chosen.begin; i < chosen.end; ++i)
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
