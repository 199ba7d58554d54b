#include "ScanMath.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <climits>

namespace ScanMath {

namespace {
bool finite(double x) { return std::isfinite(x); }
double clampRange(double x, double lo, double hi) { return std::min(std::max(x, lo), hi); }
// For "%d" in messages: the value truncated, saturated to int.
int saturatedInt(double x)
{
    if (!(x == x))
        return 0;
    return static_cast<int>(clampRange(std::trunc(x), double(INT_MIN), double(INT_MAX)));
}
constexpr double kI16Min = -32768.0, kI16Max = 32767.0;
constexpr double kU32Max = 4294967295.0;
}

std::string format(const char *fmt, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

double nint(double x) { return std::round(x); }

int incrementFromRegister(int16_t startCode, uint16_t reg)
{
    const auto sum = static_cast<int16_t>(static_cast<uint16_t>(startCode + reg));
    return sum < startCode ? int(reg) - 65536 : int(reg);
}

uint32_t maxCount(uint16_t chip1Firmware)
{
    return (chip1Firmware & 0xFFF0) <= 0x1060 ? 65535u : 0x1FFFFFFu;
}

bool computeScanVoltages(double &start, double &step, double &stop, double &w, const double vRange[2],
                         const double calDac[2], ScanCodes &codes, std::string &warn)
{
    const double c0 = calDac[0], c1 = calDac[1];
    const double vMin = vRange[0], vMax = vRange[1];
    if (!finite(start) || !finite(step) || !finite(stop) || !finite(c0) || !finite(c1) || c1 == 0.0
        || !finite(vMin) || !finite(vMax)) {
        warn = format("Scan voltages refused: a value is not a finite number or the DAC slope is 0 "
                      "(start %f, step %f, stop %f, cal_dac [%g, %g])", start, step, stop, c0, c1);
        return false;
    }
    start = clampRange(start, vMin, vMax);
    stop = clampRange(stop, vMin, vMax);
    if (std::isnan(w) || w < start || w > stop)
        w = start;
    if (start != stop && step > std::fabs(stop - start))
        step = std::fabs(stop - start);
    if (start == stop)
        step = clampRange(step, 1.0, 65535.0);

    const double startExact = start * c1 + c0;
    const double S = nint(startExact);
    if (S < kI16Min || S > kI16Max) {
        warn = format("Calculated value for start voltage (%f) is out of signed short range", startExact);
        return false;
    }
    double I = 0.0, N = 1.0;
    if (start == stop) {
        N = nint(step);
    } else {
        // The magnitude is checked, whatever the sign of the DAC slope.
        const double A = nint(std::fabs(step * c1));
        if (A > 65535.0) {
            warn = format("Calculated value for increment voltage (%d) is out of unsigned short range", saturatedInt(A));
            return false;
        }
        // The codes run towards the stop voltage's code.
        I = ((start > stop) != (c1 < 0)) ? -A : A;
        N = I != 0.0 ? nint((stop * c1 + c0 - S) / I) + 1.0 : 1.0;
    }
    start = (S - c0) / c1;
    const double realisedStep = I / c1;
    stop = (S + (N - 1.0) * I - c0) / c1;
    if (stop < vMin - 1.0 || stop > vMax + 1.0) {
        if (N <= 0.0) {
            warn = format("Scan voltage [% .2f % .2f % .2f] out of range", start, realisedStep, stop);
            return false;
        }
        N -= 1.0;
        stop = (S + (N - 1.0) * I - c0) / c1;
    }
    // Checked on the final count, after the one-time shortening.
    if (!(N >= 1.0 && N <= 65535.0)) {
        warn = format("Cannot set %f voltage steps. Valid range is from 1 to 65535", N);
        return false;
    }
    const double last = S + (N - 1.0) * I;
    if (last < kI16Min || last > kI16Max) {
        warn = format("Calculated value for stop voltage (%f) is out of signed short range", last);
        return false;
    }
    step = realisedStep;

    // Gain switch: compared on the rounded code, so a switch at the start is index 0.
    double K = 0.0;
    const double wExact = w * c1 + c0;
    if (I != 0.0 && nint(wExact) != S) {
        K = clampRange(nint((wExact - S) / I), 0.0, 65535.0);
        w = (S + K * I - c0) / c1;
    } else {
        w = (S - c0) / c1;
    }
    codes.startCode = static_cast<int>(S);
    codes.increment = static_cast<int>(I);
    codes.steps = static_cast<unsigned>(N);
    codes.switchIndex = static_cast<unsigned>(K);
    return true;
}

bool computeIdleCode(double &volts, const double vRange[2], const double calDac[2], int &code, std::string &warn)
{
    const double c0 = calDac[0], c1 = calDac[1];
    if (!finite(volts) || !finite(c0) || !finite(c1) || c1 == 0.0 || !finite(vRange[0]) || !finite(vRange[1])) {
        warn = format("Default voltage refused: a value is not a finite number or the DAC slope is 0 "
                      "(%f, cal_dac [%g, %g])", volts, c0, c1);
        return false;
    }
    volts = clampRange(volts, vRange[0], vRange[1]);
    const double exact = volts * c1 + c0;
    const double D = nint(exact);
    if (D < kI16Min || D > kI16Max) {
        warn = format("Calculated value for dac (%f) is out of signed short range", exact);
        return false;
    }
    code = static_cast<int>(D);
    volts = (D - c0) / c1;
    return true;
}

bool computeSyncParameters(double &period, double &delay, double &duration, double adcFreq, SyncParameters &out,
                           std::string &warn)
{
    if (!finite(period) || !finite(delay) || !finite(duration) || !finite(adcFreq) || adcFreq <= 0) {
        warn = format("Synchronized scan parameters refused: a value is not a finite number "
                      "(period %f, delay %f, duration %f, adcFreq %g)", period, delay, duration, adcFreq);
        return false;
    }
    // At least one sample per point, no negative delay. A duration of 0 (or
    // less) asks for no point count: the run derivation then takes as many
    // points as fit in the SYNC period ("Whole Period").
    const double smpl = std::max(1.0, nint(period * adcFreq));
    const double per = period > 0 ? period : smpl / adcFreq;
    const double points = duration > 0 ? std::trunc((duration + 0.5 / adcFreq) / per) + 1.0 : 0.0;
    const double dly = std::max(0.0, nint(delay * adcFreq));
    if (smpl > kU32Max || points > kU32Max || dly > kU32Max - 6.0 || smpl * points > kU32Max) {
        warn = format("Synchronized scan parameters refused: out of the counters' range "
                      "(samples per point %.0f, sync points %.0f, delay %.0f)", smpl, points, dly);
        return false;
    }
    out.smplPP = static_cast<unsigned>(smpl);
    out.sPoints = static_cast<unsigned>(points);
    out.sDelay = static_cast<unsigned>(dly);
    period = smpl / adcFreq;
    delay = dly / adcFreq;
    duration = smpl * points / adcFreq;
    return true;
}

bool deriveRunParameters(bool synchronized, double fSync, double adcFreq, uint32_t maxCount,
                         unsigned maxAccSamples, RunParameters &p)
{
    if (!finite(adcFreq) || adcFreq <= 0)
        return false;
    if (synchronized) {
        if (!finite(fSync) || fSync <= 0 || p.smplPP == 0)
            return false;
        const double fit = std::trunc((1.0 / fSync - p.sDelay / adcFreq) / (p.smplPP / adcFreq) * 0.99);
        if (!(fit >= 1.0))
            return false; // not even one sync point fits in the SYNC period
        const double points = std::min(fit, kU32Max);
        if (points < p.sPoints || p.sPoints < 1)
            p.sPoints = static_cast<unsigned>(points);
        const double T = std::ceil((double(p.averageHW) + 1.0) * 1010101.0101010101 / fSync);
        if (T < 2) {
            p.stepLength = 2;
        } else if (T > maxCount) {
            const double C = std::trunc(maxCount * 9.9e-7 * fSync);
            if (C < 2) {
                p.averageHW = static_cast<unsigned>(std::max(C, 0.0));
                return false;
            }
            p.averageHW = static_cast<unsigned>(std::min(C - 1.0, kU32Max));
            p.stepLength = maxCount;
        } else {
            p.stepLength = static_cast<uint32_t>(T);
        }
        p.sCycles = p.averageHW;
        if (p.accSmpl && uint64_t(p.smplPP) * p.sCycles > maxAccSamples) {
            p.sCycles = std::max(1u, maxAccSamples / p.smplPP);
            p.averageHW = p.sCycles;
        }
        if (p.sCycles < 1)
            p.sCycles = 1;
        return true;
    }
    const double T = std::ceil(double(p.averageHW) * 1e6 / adcFreq) + 1.0;
    if (T < 2) {
        p.stepLength = 2;
    } else if (T > maxCount) {
        const double avg = std::trunc(adcFreq * (double(maxCount) - 1.0) * 1e-6);
        if (!(avg >= 1.0))
            return false;
        p.averageHW = static_cast<unsigned>(std::min(avg, kU32Max));
        p.stepLength = maxCount;
    } else {
        p.stepLength = static_cast<uint32_t>(T);
    }
    p.smplPP = p.averageHW;
    p.sPoints = 1;
    p.sCycles = 1;
    p.sDelay = 0;
    p.accSmpl = true;
    return true;
}

double decodeSyncWord(uint32_t word, uint16_t chip2Firmware)
{
    switch (word >> 29) {
    case 4: return -1.0;
    case 5: return -2.0;
    case 6: return -3.0;
    default: break;
    }
    if (word == 0 || word > 0x1FFFFFFFu)
        return -4.0;
    if ((chip2Firmware & 0xFFF0) <= 0x1060)
        return 160000000.0 / word;
    const double base = 39936000.0;
    if ((word & (3u << 27)) == 0)
        return base / (double(word) + 1.0);
    const double L = word & 0x7FFFFFFu;
    if (word & (1u << 27))
        return base / (L * 0.03125 + 1.0);
    return base / (L * 0.00048828125 + 1.0);
}

LineFit fitLine(const double *x, const double *y, size_t n, size_t strideX, size_t strideY)
{
    double mx = 0, my = 0, mxx = 0, mxy = 0;
    for (size_t i = 0; i < n; ++i) {
        const double xi = x[i * strideX], yi = y[i * strideY];
        const double k = 1.0 / double(i + 1);
        mx += (xi - mx) * k;
        my += (yi - my) * k;
        mxx += (xi * xi - mxx) * k;
        mxy += (xi * yi - mxy) * k;
    }
    LineFit f;
    const double var = mxx - mx * mx;
    const double cov = mxy - mx * my;
    f.slope = cov / var;
    f.intercept = my - mx * f.slope;
    // A spread lost in rounding counts as none.
    f.valid = n >= 2 && var > 1e-13 * std::fabs(mxx) && finite(var) && finite(f.slope) && f.slope != 0.0 && finite(f.intercept);
    return f;
}

} // namespace ScanMath
