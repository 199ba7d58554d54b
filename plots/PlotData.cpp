#include "PlotData.h"

#include "DataAnalyzer.h"
#include "ResultRecord.h"
#include "ScanRecord.h"
#include "Trace.h"

namespace PlotData {

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
        s.x.append(scan.scanType == ScanRecord::eSpatialRun ? group->position : group->temporalPosition);
        s.y.append(ResultQuantity::displayValue(scan.result, quantity));
    }
    if (s.size() < 2)
        return Series();
    return s;
}

Series trendWithinFrame(const DataAnalyzer& data, int group, int quantity)
{
    Series s;
    const QVector<ScanRecord>& scans = data.scansOfGroup(group);
    if (scans.size() < 2)
        return s;
    s.x.reserve(scans.size());
    s.y.reserve(scans.size());
    for (const ScanRecord& scan : scans) {
        s.x.append(scan.resolvedTime);
        s.y.append(ResultQuantity::displayValue(scan.result, quantity));
    }
    return s;
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
