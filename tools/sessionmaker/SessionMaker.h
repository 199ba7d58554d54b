#pragma once
// Fills a session with synthetic scans of a known plasma whose parameters drift
// from scan to scan, so that trends have something to show.
#include "DataAnalyzer.h"
#include "ScanRecord.h"
#include "SyntheticPlasma.h"
#include "Trace.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace SessionMaker {

// eSpatialTimeResolved: time slices at every position (a map of position x time).
enum Kind { eTimeResolved, eSpatial, eTimed, eSpatialTimeResolved };

struct Options {
    Kind kind = eTimeResolved;
    int groups = 1;
    int scansPerGroup = 8;
    int points = 200;
    int sweeps = 3;
    bool analyse = true;
    double vStart = -40, vEnd = 20;
};

inline ScanRecord makeScan(const Options& o, int g, int s, int index)
{
    synth::SingleProbe probe;
    const double phase = 0.4 * index;
    probe.kTe = 2.5 + 0.8 * std::sin(phase);
    probe.ne = 1e16 * (1.0 + 0.3 * std::cos(0.7 * phase));
    probe.Vp = 6.0 + 1.5 * std::sin(0.5 * phase + 1.0);
    if (o.kind == eSpatialTimeResolved) {
        // A column peaking in the middle of the stage, pulsed in time.
        const double x = 5.0 * g, mid = 2.5 * (o.groups - 1);
        const double pulse = std::sin(M_PI * s / std::max(1, o.scansPerGroup - 1));
        probe.ne = 1e16 * (0.2 + std::exp(-(x - mid) * (x - mid) / (2 * 36.0)) * (0.3 + pulse));
        probe.kTe = 1.5 + 2.0 * pulse;
    }
    synth::Sweep sw;
    sw.vStart = o.vStart;
    sw.vEnd = o.vEnd;
    sw.points = o.points;
    sw.sweeps = o.sweeps;
    sw.relativeNoise = 0.01;
    sw.currentNoise = 2e-7;
    sw.seed = 1000 + std::uint64_t(index);

    ScanRecord r;
    r.date = QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0), Qt::UTC).addSecs(index);
    const bool spatial = o.kind == eSpatial || o.kind == eSpatialTimeResolved;
    const bool resolved = o.kind == eTimeResolved || o.kind == eSpatialTimeResolved;
    r.scanType = spatial ? ScanRecord::eSpatialRun
                 : o.kind == eTimed ? ScanRecord::eTimedRun
                                    : ScanRecord::eOtherRun;
    r.position = spatial ? 5.0 * g : 0.0;
    r.temporalPosition = o.kind == eTimed ? 2.0 * g : 0.0;
    r.resolvedTime = resolved ? 10.0 * s : 0.0;
    for (const QVector<double>& raw : synth::rawSweeps(probe, sw))
        r.accumulated.add(raw.constData(), o.points);
    // A coarse initial scan and its derivative.
    for (int i = 0; i <= 40; ++i) {
        const double v = o.vStart + (o.vEnd - o.vStart) * i / 40.0;
        r.initScan.append(probe.current(v), v);
    }
    r.initScan.duration = 0.01;
    r.initScanDerivative = curve::derivative(r.initScan, 2);
    r.initScanDerivative.duration = 0.01;
    r.ionCurrent[0] = probe.current(o.vStart);
    r.ionCurrent[1] = o.vStart;
    return r;
}

inline void fill(DataAnalyzer& d, const Options& o)
{
    ConfigParam& c = d.configuration();
    c.dataScanRunParam.voltageStart = o.vStart;
    c.dataScanRunParam.voltageEnd = o.vEnd;
    c.dataScanRunParam.voltageStep = (o.vEnd - o.vStart) / (o.points - 1);
    c.sync.bUseSyncScan = o.kind == eTimeResolved || o.kind == eSpatialTimeResolved;
    c.sync.resolution = 10;
    c.spat.bUseSpatScan = o.kind == eSpatial || o.kind == eSpatialTimeResolved;
    c.timed.bUseTimedScan = o.kind == eTimed;
    d.setDeviceID(QStringLiteral("VB2-SYNTH"));
    d.setComment(QStringLiteral("synthetic plasma"));
    int index = 0;
    for (int g = 0; g < o.groups; ++g)
        for (int s = 0; s < o.scansPerGroup; ++s)
            d.addScan(makeScan(o, g, s, index++));
    if (o.analyse)
        d.analyseAll();
}

} // namespace SessionMaker
