#include "CurrentRange.h"

#include <algorithm>
#include <cmath>

namespace CurrentRange {

unsigned holding(unsigned range, double largest, double margin, const FullScale& fullScale)
{
    if (!(largest >= 0) || !std::isfinite(largest) || largest < margin * fullScale(range))
        return range;
    for (unsigned u = range; u-- > 0;)
        if (largest < margin * fullScale(u))
            return u;
    return 0;
}

double expectedLargest(double largest, double lastVoltage, double lastCurrent, double sweepEnd, double kTe)
{
    double expected = std::fabs(largest);
    if (std::isfinite(sweepEnd) && std::isfinite(lastVoltage) && sweepEnd > lastVoltage && kTe > 0
        && std::isfinite(kTe) && lastCurrent > 0)
        expected = std::max(expected, lastCurrent * (1.0 + (sweepEnd - lastVoltage) / kTe));
    return expected;
}

int pointsAtFullScale(const double* volts, const double* amps, int n, double fsLow, double fsHigh, bool switching,
                      double gainSwitch)
{
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const double fs = switching && volts[i] < gainSwitch ? fsHigh : fsLow;
        if (std::fabs(amps[i]) >= kFullScaleShare * fs)
            ++count;
    }
    return count;
}

QString fullScaleMessage(int atFullScale, int points, unsigned range, double fullScale)
{
    return QStringLiteral("Current reached full scale (%1 A, range %2) at %3 of %4 points of a kept sweep: the "
                          "measured curve is cut off there.")
        .arg(fullScale)
        .arg(range)
        .arg(atFullScale)
        .arg(points);
}

FullScaleWatch::FullScaleWatch(unsigned range, double fsLow, double fsHigh, bool switching, double gainSwitch)
    : m_range(range), m_fsLow(fsLow), m_fsHigh(fsHigh), m_gainSwitch(gainSwitch), m_switching(switching)
{
}

QString FullScaleWatch::check(int record, const double* volts, const double* amps, int n)
{
    const int at = pointsAtFullScale(volts, amps, n, m_fsLow, m_fsHigh, m_switching, m_gainSwitch);
    if (record >= m_worst.size())
        m_worst.resize(record + 1);
    if (at <= m_worst[record])
        return QString();
    m_worst[record] = at;
    return fullScaleMessage(at, n, m_range, m_fsLow);
}

bool FullScaleWatch::firstAlert()
{
    const bool first = !m_alerted;
    m_alerted = true;
    return first;
}

} // namespace CurrentRange
