// The external SYNC signal and the controller's measurement of its period.
// The word is latched: measured at power-on, on the measurement pulse and when
// the signal's configuration changes, as the controller's counter would.
#pragma once
#include <SimMeasurement.h>

#include <cstdint>
#include <random>

namespace qsim {

class SyncGenerator {
public:
    static constexpr uint32_t kUnstable = 0x80000000u;
    static constexpr uint32_t kTooLow = 0xA0000000u;
    static constexpr uint32_t kTooHigh = 0xC0000000u;

    // Measures the period as a controller with the given chip-2 firmware encodes it.
    static uint32_t measure(const SyncConfig &c, uint16_t chip2Firmware, std::mt19937_64 &rng);
    // Seconds of one period (0 when there is no usable signal).
    static double period(const SyncConfig &c);
};

} // namespace qsim
