#pragma once
// Measuring-range rules of a run that need no controller: the range the data
// scans need to hold the largest current they can meet, and the points of a
// sweep at its range's full scale. Used by the measurement sequence.
#include <QString>
#include <QVector>
#include <functional>

namespace CurrentRange {

// Share of a range's full scale a measured current counts as reaching it
// (the converted value of a clipped reading lies a little below the nominal).
constexpr double kFullScaleShare = 0.99;

// Full-scale current (A) of a range 0..5, largest first.
using FullScale = std::function<double(unsigned)>;

// The range that holds `largest` (A) below `margin` times its full scale:
// `range` when it does, else the most sensitive less sensitive one that does
// (0 when none). Never a more sensitive range.
unsigned holding(unsigned range, double largest, double margin, const FullScale& fullScale);

// The largest current a sweep up to `sweepEnd` meets, from a walk that
// measured `largest` in all and `lastCurrent` at its highest voltage `lastVoltage`:
// above that the electron current grows at most linearly, by one kTe per kTe
// (orbital-motion-limited collection of a sphere; a cylinder's grows slower).
double expectedLargest(double largest, double lastVoltage, double lastCurrent, double sweepEnd, double kTe);

// Points of a sweep whose |current| reaches the full scale of their range:
// `fsLow` for the points at or above `gainSwitch`, `fsHigh` below it when
// `switching` (high gain first), else `fsLow` for all.
int pointsAtFullScale(const double* volts, const double* amps, int n, double fsLow, double fsHigh, bool switching,
                      double gainSwitch);

// The scan's message for a sweep with `atFullScale` of `points` points at the
// range's full scale.
QString fullScaleMessage(int atFullScale, int points, unsigned range, double fullScale);

// Watches the kept sweeps of one data-scan phase for currents at full scale.
class FullScaleWatch
{
public:
    FullScaleWatch(unsigned range, double fsLow, double fsHigh, bool switching, double gainSwitch);
    // The message of record `record` when this sweep has more points at full
    // scale than any of its sweeps before; empty otherwise.
    QString check(int record, const double* volts, const double* amps, int n);
    // True once: at the first sweep with points at full scale (one alert per phase).
    bool firstAlert();

private:
    unsigned m_range;
    double m_fsLow, m_fsHigh, m_gainSwitch;
    bool m_switching, m_alerted = false;
    QVector<int> m_worst;
};

} // namespace CurrentRange
