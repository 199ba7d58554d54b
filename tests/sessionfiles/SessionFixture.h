#ifndef SESSIONFIXTURE_H
#define SESSIONFIXTURE_H

// A small but complete session: every list and field filled, with values that
// need rounding to six digits, not-a-number results and both run kinds of group.

#include "DataAnalyzer.h"

#include <QDateTime>

#include <cmath>

#include <limits>

namespace fixture {

inline QVector<double> ramp(int n, double start, double step)
{
    QVector<double> v;
    for (int i = 0; i < n; ++i)
        v.append(start + step * i + 1e-9 * i * i);
    return v;
}

inline TimedTrace trace(int n, double duration, double offset)
{
    TimedTrace t;
    t.duration = duration;
    for (int i = 0; i < n; ++i)
        t.append(1.23456789e-6 * (i + offset), -50.0 + 0.3333333 * i);
    return t;
}

inline ScanRecord scan(int k, int type, double position, double temporal, double resolved)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ScanRecord s;
    s.date = QDateTime::fromSecsSinceEpoch(1700000000 + 60 * k);
    s.scanType = type;
    s.position = position;
    s.temporalPosition = temporal;
    s.resolvedTime = resolved;
    s.ionCurrent[0] = -1.23456789e-4 * (k + 1);
    s.ionCurrent[1] = -30.5;
    s.initScan = trace(7, 0.0123456789, k);
    s.initScanDerivative = trace(5, 0.5, k + 0.5);
    s.dcInitScans = {trace(3, 1.5, 1), trace(4, 2.5, 2)};
    QVector<double> raw;
    const int n = 6;
    for (int i = 0; i < n; ++i)
        raw.append(-10.0 + 3.14159265 * i);
    for (int i = 0; i < n; ++i)
        raw.append(1e-3 * std::exp(0.1 * i) + k * 1e-5);
    s.accumulated.add(raw.constData(), n);
    s.accumulated.add(raw.constData(), n);
    s.corrected.V = ramp(8, -20, 5.0000001);
    s.corrected.I = ramp(8, -1e-4, 3.7e-5);
    s.corrected.stdV = ramp(8, 0.001, 1e-4);
    s.corrected.stdI = ramp(8, 1e-7, 2e-8);
    if (k % 2 == 1) {
        s.correctedDoubleProbe.V = ramp(5, -10, 4.1234567);
        s.correctedDoubleProbe.I = ramp(5, -2e-5, 1e-5);
        s.correctedDoubleProbe.stdV = ramp(5, 0, 0.1);
        s.correctedDoubleProbe.stdI = ramp(5, 0, 1e-9);
    }
    s.eepf.energy = ramp(4, 0.5, 1.5);
    s.eepf.EEDF = ramp(4, 1.23456789e15, 1e14);
    s.eepf.EEDF_error = ramp(4, 1e13, 1e12);
    s.eepf.EEDF_low_error = {1e12, nan, 3e12, std::numeric_limits<double>::infinity()};
    for (int p = 0; p < ResultRecord::ePairCount; ++p) {
        s.result.setValue(p, p % 5 == 0 ? nan : 1.11111111 * (p + 1) * std::pow(10.0, p - 8));
        s.result.setError(p, p % 3 == 0 ? nan : 0.0987654321 * (p + 1));
    }
    s.offsetCurrent = 1.5e-9;
    s.gainAutoSwitchVoltage = 12.3456789;
    s.currentRange = unsigned(k % 6);
    s.dCurrentRange = 0.000123456789;
    s.dcCScanVoltageStart = -50;
    s.dcCScanVoltageEnd = 49.9999999;
    s.plasmaResistance = 1234567.89;
    s.error = k == 1 ? QStringLiteral("Unable to find Vp. <&> \"quoted\"") : QString();
    return s;
}

// Two spatial frames of two scans each, with a double-probe curve in every other scan.
inline void fill(DataAnalyzer &a)
{
    a.setDeviceID(QStringLiteral("VESK-0042"));
    a.setComment(QStringLiteral("Argon 2 mTorr, \u00e4\u00f6\u00fc & <tags>"));
    SingleProbeConfigParam cfg;
    cfg.spat.bUseSpatScan = true;
    cfg.spat.start = 1;
    cfg.spat.step = 1;
    cfg.spat.end = 2;
    cfg.autoCRMargin = 0.123456789;
    cfg.offsetCurrent = 2.5e-8;
    a.setConfiguration(cfg);
    LangmuirSettings ls;
    ls.probeRadius = 0.000123456789;
    ls.nDerivativePoints = 5;
    a.setAnalysisSettings(ls);
    a.addScan(scan(0, ScanRecord::eSpatialRun, 1.0, 0, 0));
    a.addScan(scan(1, ScanRecord::eSpatialRun, 1.0, 0, 0));
    a.addScan(scan(2, ScanRecord::eSpatialRun, 2.0, 0, 0));
    a.addScan(scan(3, ScanRecord::eSpatialRun, 2.0, 0, 0));
}

} // namespace fixture

#endif // SESSIONFIXTURE_H
