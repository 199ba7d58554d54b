#include "SyncGenerator.h"

#include <cmath>

namespace qsim {

double SyncGenerator::period(const SyncConfig &c)
{
    return c.present && c.frequencyHz > 0 ? 1.0 / c.frequencyHz : 0.0;
}

uint32_t SyncGenerator::measure(const SyncConfig &c, uint16_t chip2Firmware, std::mt19937_64 &rng)
{
    if (!c.present || !(c.frequencyHz >= c.minHz))
        return kTooLow;
    if (c.frequencyHz > c.maxHz)
        return kTooHigh;
    if (c.stability > 0.01)
        return kUnstable;
    std::normal_distribution<double> jitter(0.0, 1.0);
    const double f = c.frequencyHz * (1.0 + c.stability * jitter(rng));
    double word;
    if ((chip2Firmware & 0xFFF0) <= 0x1060)
        word = std::round(160000000.0 / f);          // older counter at 160 MHz
    else
        word = std::round(39936000.0 / f) - 1.0;     // counter at the ADC clock / 2, minus one
    if (word < 1.0 || word > 0x7FFFFFF)
        return word < 1.0 ? kTooHigh : kTooLow;
    return static_cast<uint32_t>(word);
}

} // namespace qsim
