#include "MapData.h"

#include "DataAnalyzer.h"
#include "PlotData.h"
#include "ResultRecord.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
int nearest(const QVector<double>& axis, double v)
{
    if (axis.isEmpty() || !std::isfinite(v))
        return -1;
    const auto it = std::lower_bound(axis.begin(), axis.end(), v);
    int i = int(it - axis.begin());
    if (i == axis.size())
        return i - 1;
    if (i > 0 && v - axis[i - 1] < axis[i] - v)
        --i;
    return i;
}

void insertSorted(QVector<double>& axis, double v)
{
    const auto it = std::lower_bound(axis.begin(), axis.end(), v);
    if (it == axis.end() || *it != v)
        axis.insert(it, v);
}
} // namespace

int MapData::positionIndex(double mm) const
{
    return nearest(positions, mm);
}

int MapData::timeIndex(double us) const
{
    return nearest(times, us);
}

double MapData::low() const
{
    double lo = std::numeric_limits<double>::infinity();
    for (double v : values)
        if (std::isfinite(v))
            lo = std::min(lo, v);
    return lo;
}

double MapData::high() const
{
    double hi = -std::numeric_limits<double>::infinity();
    for (double v : values)
        if (std::isfinite(v))
            hi = std::max(hi, v);
    return hi;
}

MapData MapData::of(const DataAnalyzer& data, int quantity)
{
    MapData m;
    // The spatial frames and the time slices of each.
    for (int g = 0; g < data.groupCount(); ++g) {
        const QVector<ScanRecord>& scans = data.scansOfGroup(g);
        const QVector<PlotData::Run> runs = PlotData::timeSliceRuns(scans);
        if (scans.isEmpty() || scans[0].scanType != ScanRecord::eSpatialRun)
            continue;
        insertSorted(m.positions, data.group(g)->position);
        for (const PlotData::Run& r : runs)
            for (int i = r.begin; i < r.end; ++i)
                insertSorted(m.times, scans[i].resolvedTime);
    }
    if (m.positions.size() < 2)
        m.missing = QStringLiteral("A map needs a spatial run with two or more positions: this session has %1")
                        .arg(m.positions.isEmpty() ? QStringLiteral("none") : QStringLiteral("one"));
    else if (m.times.size() < 2)
        m.missing = QStringLiteral("A map needs time-resolved scans: this spatial run has no time slices "
                                   "(View Trends draws its profile)");
    if (!m.isValid()) {
        m.positions.clear();
        m.times.clear();
        return m;
    }
    m.values.fill(std::numeric_limits<double>::quiet_NaN(), m.positions.size() * m.times.size());
    for (int g = 0; g < data.groupCount(); ++g) {
        const QVector<ScanRecord>& scans = data.scansOfGroup(g);
        if (scans.isEmpty() || scans[0].scanType != ScanRecord::eSpatialRun)
            continue;
        const int p = m.positionIndex(data.group(g)->position);
        for (const PlotData::Run& r : PlotData::timeSliceRuns(scans))
            for (int i = r.begin; i < r.end; ++i)
                m.values[p * m.times.size() + m.timeIndex(scans[i].resolvedTime)] =
                    ResultQuantity::displayValue(scans[i].result, quantity);
    }
    return m;
}
