// Pure computations of the scan set-up: voltages to DAC codes, idle voltage,
// synchronized-scan parameters, the run-parameter derivation, the SYNC word
// decode and the straight-line fit of the calibration. No hardware, no log:
// a refusal returns false with the log message in `warn`.
#pragma once

#include <cstdint>
#include <string>

namespace ScanMath {

// Nearest integer, halves away from zero.
double nint(double x);

// Counter limit of the step clock for a chip-1 firmware word.
uint32_t maxCount(uint16_t chip1Firmware);

struct ScanCodes {
    int startCode = 0;       // CNFG 4
    int increment = 0;       // CNFG 5 (signed)
    unsigned steps = 0;      // 1..65535
    unsigned switchIndex = 0;// CNFG 10
};

// Sweep request in volts (start, step, stop, gain-switch voltage w) to DAC
// codes. On success the four volts hold the realised values; the clamps of
// start, stop and step are applied to them even on refusal.
bool computeScanVoltages(double &start, double &step, double &stop, double &w, const double vRange[2],
                         const double calDac[2], ScanCodes &codes, std::string &warn);

// The increment register (CNFG 5) read back as a signed step: negative
// (value - 65536) when adding it to the start code as 16-bit signed numbers
// goes below the start code, else as is (a step of up to 65535 codes).
int incrementFromRegister(int16_t startCode, uint16_t reg);

// Idle voltage: clamped into the range (written back), then its DAC code.
bool computeIdleCode(double &volts, const double vRange[2], const double calDac[2], int &code,
                     std::string &warn);

struct SyncParameters {
    unsigned smplPP = 1;
    unsigned sPoints = 1;
    unsigned sDelay = 0;
};

// Period, delay and duration in seconds; rewritten with the realised values.
bool computeSyncParameters(double &period, double &delay, double &duration, double adcFreq, SyncParameters &out,
                           std::string &warn);

struct RunParameters {
    unsigned averageHW = 1;
    unsigned smplPP = 1;
    unsigned sPoints = 1;
    unsigned sDelay = 0;
    bool accSmpl = false;
    unsigned sCycles = 1;     // out
    uint32_t stepLength = 2;  // out
};

// Corrects the inputs and derives sync cycles and step length for a
// synchronized (fSync in Hz) or time-averaged scan.
bool deriveRunParameters(bool synchronized, double fSync, double adcFreq, uint32_t maxCount,
                         unsigned maxAccSamples, RunParameters &p);

// SYNC frequency in Hz of a measured period word, or -1 (unstable), -2 (too
// low), -3 (too high), -4 (no valid word).
double decodeSyncWord(uint32_t word, uint16_t chip2Firmware);

struct LineFit {
    double slope = 0;
    double intercept = 0;
    bool valid = false;      // finite, from a non-zero spread of x, with a non-zero slope
};

// Least-squares line y = slope * x + intercept with running means.
LineFit fitLine(const double *x, const double *y, size_t n, size_t strideX = 1, size_t strideY = 1);

// printf into a std::string (the log messages of the refusals).
std::string format(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace ScanMath
