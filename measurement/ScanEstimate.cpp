#include "ScanEstimate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ScanEstimate {

namespace {
unsigned toUnsigned(double v)
{
    if (!(v > 0))
        return 0;
    return static_cast<unsigned>(std::min(v, double(std::numeric_limits<unsigned>::max())));
}

unsigned short toU16(quint32 v)
{
    return static_cast<unsigned short>(std::min<quint32>(v, 65535));
}

QString number(double v)
{
    return QString::number(v, 'g', 6);
}
} // namespace

int positionCount(const SpatParam& spat)
{
    if (!spat.bUseSpatScan)
        return 1;
    if (!(std::fabs(spat.step) > 0) || !std::isfinite(spat.start) || !std::isfinite(spat.end))
        return 1;
    const double n = std::round(std::fabs((spat.end - spat.start) / spat.step) + 1.0);
    return static_cast<int>(std::clamp(n, 1.0, double(std::numeric_limits<int>::max())));
}

unsigned hardwareAverage(const ConfigParam& c, double adcFreq)
{
    const ScanRunParam& r = c.dataScanRunParam;
    if (c.sync.bUseSyncScan)
        return r.avgPerStep;
    return toUnsigned(std::round(double(r.avgPerStep) * adcFreq * 1e-6 * r.integrationTime));
}

unsigned samplesPerPoint(double resolutionUs, double adcFreq)
{
    return toUnsigned(std::round(resolutionUs * 1e-6 * adcFreq));
}

int frameCount(double startUs, double endUs, double resolutionUs)
{
    const double n = std::round((endUs - startUs) / resolutionUs);
    if (!(endUs > startUs) || !(resolutionUs > 0) || !std::isfinite(n))
        return 0;
    return static_cast<int>(std::min(n, double(std::numeric_limits<int>::max())));
}

int syncFrameCount(double startUs, double endUs, double resolutionUs, double adcFreq)
{
    const double duration = (endUs - startUs) * 1e-6;
    if (!(duration > 0) || !(adcFreq > 0))
        return 0;
    const unsigned smplPP = std::max(1u, samplesPerPoint(resolutionUs, adcFreq));
    const double period = smplPP / adcFreq;
    const double n = std::trunc((duration + 0.5 / adcFreq) / period) + 1.0;
    return static_cast<int>(std::min(n, double(std::numeric_limits<int>::max())));
}

TimesRequest timesRequest(const ConfigParam& c, double adcFreq)
{
    const ScanRunParam& r = c.dataScanRunParam;
    TimesRequest q;
    q.start = r.voltageStart;
    q.step = r.voltageStep;
    q.stop = r.voltageEnd;
    q.synchronized = c.sync.bUseSyncScan;
    q.averageHW = hardwareAverage(c, adcFreq);
    q.repeats = r.traceAverage;
    q.smplPP = c.sync.bUseSyncScan ? std::max(1u, samplesPerPoint(c.sync.resolution, adcFreq)) : q.averageHW;
    q.accumulate = c.sync.averaging;
    q.fsd = toU16(r.firstStepDelay);
    q.nsd = toU16(r.nextStepDelay);
    return q;
}

double runSeconds(const ConfigParam& c, const ControllerTimes& t)
{
    return double(positionCount(c.spat)) * (double(c.dataScanThrowScans) + double(c.dataScanRunScans)) * t.totalTime;
}

Display timeDisplay(double t)
{
    if (t < 0.001)
        return {number(t * 1e6), QStringLiteral("[us]")};
    if (t < 1.0)
        return {number(t * 1e3), QStringLiteral("[ms]")};
    if (t < 60.0)
        return {number(t), QStringLiteral("[s]")};
    const qint64 s = static_cast<qint64>(std::min(t, 3.6e12));
    return {QStringLiteral("%1:%2:%3")
                .arg(s / 3600, 2, 10, QLatin1Char('0'))
                .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                .arg(s % 60, 2, 10, QLatin1Char('0')),
            QStringLiteral("[h:m:s]")};
}

Display syncDisplay(double f)
{
    if (f == 0)
        return {QStringLiteral("-"), QString()};
    if (f == -1)
        return {QStringLiteral("UNSTABLE"), QString()};
    if (f == -2)
        return {QStringLiteral("TOO LOW"), QString()};
    if (f == -3)
        return {QStringLiteral("TOO HIGH"), QString()};
    if (f < 0 || !std::isfinite(f))
        return {QStringLiteral("UNKNOWN"), QString()};
    if (f <= 1000)
        return {number(f), QStringLiteral("[Hz]")};
    return {number(f / 1000), QStringLiteral("[kHz]")};
}

} // namespace ScanEstimate
