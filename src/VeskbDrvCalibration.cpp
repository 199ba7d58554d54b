// Hardware calibration against the built-in ground, reference and
// calibration load: voltage ADC, DAC and the current ADC of all six ranges.
#include "DriverLog.h"
#include "VeskbDrv.h"

#include <QDir>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// The coefficients being fitted; they reach the descriptor only when the
// whole procedure succeeds.
struct Coefficients {
    double adcV[2];
    double dac[2];
    double adcI[6][2];
};

// "%g\t%g\n" whatever the process locale.
void appendNumber(std::string &line, double v)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
    line.append(text, r.ptr);
}

void writeColumns(const std::string &folder, const char *name, const double *a, const double *b, uint32_t n)
{
    const std::string path = folder + "/" + name;
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return; // a file that cannot be created is skipped
    std::string text;
    for (uint32_t i = 0; i < n; ++i) {
        appendNumber(text, a[i]);
        text += '\t';
        appendNumber(text, b[i]);
        text += '\n';
    }
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

double mean(const double *v, uint32_t n)
{
    double m = 0;
    for (uint32_t i = 0; i < n; ++i)
        m += (v[i] - m) / double(i + 1);
    return m;
}

} // namespace

namespace {
class Calibration {
public:
    Calibration(VeskbDrv &d, std::string folder) : d_(d), regs_(*d.regs), folder_(std::move(folder)) {}

    bool run(Coefficients &c);

private:
    // n x 100 ms, checking for an abort every 100 ms.
    bool wait(int tenths)
    {
        for (int i = 0; i < tenths; ++i) {
            if (d_.aborted)
                return false;
            driverSleepMs(100);
        }
        return !d_.aborted;
    }
    bool scan()
    {
        if (!d_.startScan())
            return false;
        const bool ok = d_.readScaledScan(points_, steps_, trailer_);
        const bool stopped = d_.stopScan();
        return ok && stopped && steps_ > 0;
    }
    double *row(int r) { return d_.dataBuffer.data() + uint64_t(r) * steps_; }
    void progress() { ++d_.calibrationProgress; }

    VeskbDrv &d_;
    HwRegisters &regs_;
    std::string folder_;
    uint32_t points_ = 0, steps_ = 0, trailer_ = 0;
};

bool Calibration::run(Coefficients &c)
{
    // 1. Set-up: 64 steps at one voltage, long settling, full accumulation.
    if (!regs_.reset(false) || !wait(1))
        return false;
    bool ok = regs_.setIdleDac(0);
    ok = ok && regs_.setStartDac(0) && regs_.setIncrement(0) && regs_.setStepCount(64);
    ok = ok && regs_.setFirstSettlingDelay(1000) && regs_.setNextSettlingDelay(1000) && regs_.setStepLength(3500);
    ok = ok && regs_.setSyncDelay(0) && regs_.setSyncCycles(1) && regs_.setSyncPoints(1);
    ok = ok && regs_.setSamplesPerPoint(d_.maxAccSamples);
    ok = ok && regs_.setSwitchField1(false, 0) && regs_.setSwitchField2(false, 0) && regs_.setAuxSwitch(false);
    ok = ok && regs_.setModeBit(HwRegisters::kAccumulateBit, true) && regs_.setModeBit(HwRegisters::kSyncScanBit, false);
    // The reset cleared the ADC mode: the scans must run in the mode the divisor assumes.
    ok = ok && regs_.setModeBit(HwRegisters::k16BitBit, d_.is16Bit);
    if (!ok) {
        LOG_WARN("Calibration: cannot set up the registers");
        return false;
    }
    d_.average = 100;
    if (!wait(1))
        return false;
    regs_.setInputSource(HwRegisters::eGND);
    regs_.setCurrentResistor(HwRegisters::eSmall);
    regs_.setGain(false);
    regs_.setCalibrationLoad(true);
    d_.selectProbeMode(VESK_HW::eSingle);
    if (!wait(20))
        return false;

    // 2. Voltage offset: input on ground.
    if (!scan())
        return false;
    writeColumns(folder_, "caltmp1.txt", row(0), row(1), steps_);
    const double x0 = mean(row(0), steps_);
    if (d_.aborted)
        return false;
    progress();

    // 3. Voltage gain: input on the reference.
    regs_.setInputSource(HwRegisters::eReference);
    if (!wait(20) || !scan())
        return false;
    writeColumns(folder_, "caltmp2.txt", row(0), row(1), steps_);
    const double x1 = mean(row(0), steps_);
    const double V0 = d_.desc.calibVoltage[0], V1 = d_.desc.calibVoltage[1];
    c.adcV[1] = (V1 - V0) / (x1 - x0);
    c.adcV[0] = (V1 * x0 - V0 * x1) / (x0 - x1);
    LOG_DEB("CAL COEFF ADC V: x0: %g, x1: %g, c1: %g, c0: %g", x0, x1, c.adcV[1], c.adcV[0]);
    if (x1 == x0 || !std::isfinite(c.adcV[0]) || !std::isfinite(c.adcV[1]) || c.adcV[1] == 0.0) {
        LOG_WARN("Calibration of the voltage ADC failed: ground and reference read alike (x0: %g, x1: %g)", x0, x1);
        return false;
    }
    if (d_.aborted)
        return false;
    progress();

    // 4. DAC: sweep the output into the voltage ADC.
    regs_.setInputSource(HwRegisters::eHV);
    if (!wait(1))
        return false;
    if (!regs_.setSwitchField1(true, 0))
        return false;
    if (!wait(40))
        return false;
    if (!regs_.setStartDac(16384) || !regs_.setIncrement(-512))
        return false;
    if (!scan())
        return false;
    {
        double *volts = row(0), *codes = row(1);
        const int start = regs_.startDac;
        const int increment = ScanMath::incrementFromRegister(regs_.startDac, regs_.increment);
        for (uint32_t i = 0; i < steps_; ++i) {
            volts[i] = volts[i] * c.adcV[1] + c.adcV[0];
            codes[i] = start + double(i) * increment;
        }
        writeColumns(folder_, "caltmp3.txt", codes, volts, steps_);
        const ScanMath::LineFit fit = ScanMath::fitLine(volts, codes, steps_);
        if (!fit.valid) {
            LOG_WARN("Calibration of the DAC failed: no straight line through the readings (c1: %g, c0: %g)", fit.slope,
                     fit.intercept);
            return false;
        }
        c.dac[0] = fit.intercept;
        c.dac[1] = fit.slope;
        LOG_DEB("CAL COEFF DAC: c1: %g, c0: %g", c.dac[1], c.dac[0]);
    }
    if (d_.aborted)
        return false;
    progress();

    // 5. Current ranges through the calibration load.
    for (int r = 0; r < 6; ++r) {
        if (r % 2 == 0) {
            static const int resistors[3] = {HwRegisters::eSmall, HwRegisters::eMedium, HwRegisters::eLarge};
            regs_.setCurrentResistor(resistors[r / 2]);
            regs_.setGain(false);
            if (!wait(20))
                return false;
        } else {
            regs_.setGain(true);
            driverSleepMs(500);
        }
        const double R = d_.desc.resI[regs_.currentResistor()] + d_.desc.calibResistor;
        const double a = -d_.desc.iRange[r] * R * 0.8;
        const double low = std::max(d_.desc.vRange[0], a), high = std::min(-a, d_.desc.vRange[1]);
        const double N = 64.0; // the step count of the set-up
        const double startCode = ScanMath::nint(low * c.dac[1] + c.dac[0]);
        double increment = ScanMath::nint((high - low) / N * c.dac[1]);
        // Rounding up must not carry the sweep past its high end (and the range's full scale).
        const double highCode = high * c.dac[1] + c.dac[0];
        while (increment > 1 && startCode + (N - 1) * increment > highCode)
            increment -= 1;
        if (!(startCode >= -32768 && startCode <= 32767 && increment >= -32768 && increment <= 32767)) {
            LOG_WARN("Calibration of current range %d failed: sweep codes out of range (start %g, increment %g)", r,
                     startCode, increment);
            return false;
        }
        if (!regs_.setStartDac(static_cast<int16_t>(startCode)) || !regs_.setIncrement(static_cast<int>(increment)))
            return false;
        if (!scan())
            return false;
        double *expected = row(0), *raw = row(1);
        for (uint32_t i = 0; i < steps_; ++i)
            expected[i] = (expected[i] * c.adcV[1] + c.adcV[0]) / R;
        const ScanMath::LineFit fit = ScanMath::fitLine(raw, expected, steps_);
        if (!fit.valid) {
            LOG_WARN("Calibration of current range %d failed: no straight line through the readings (c1: %g, c0: %g)",
                     r, fit.slope, fit.intercept);
            return false;
        }
        double intercept = fit.intercept;
        for (uint32_t i = 0; i + 1 < steps_; ++i) {
            if (expected[i] < 0 && expected[i + 1] >= 0) {
                const double t = -expected[i] / (expected[i + 1] - expected[i]);
                const double rawZero = raw[i] + (raw[i + 1] - raw[i]) * t;
                intercept = -fit.slope * rawZero;
                break;
            }
        }
        LOG_DEB("CAL COEFF ADC I[%d]: c1: %g, c0: %g (%g)", r, fit.slope, intercept, fit.intercept);
        if (!std::isfinite(intercept)) {
            LOG_WARN("Calibration of current range %d failed: zero crossing not finite", r);
            return false;
        }
        c.adcI[r][0] = intercept;
        c.adcI[r][1] = fit.slope;
        const std::string name = ScanMath::format("caltmp%d.txt", r + 4);
        writeColumns(folder_, name.c_str(), expected, raw, steps_);
        if (d_.aborted)
            return false;
        progress();
    }
    return true;
}
} // namespace

bool VeskbDrv::calibrate()
{
    // Checked before anything is created or changed.
    if (!connected || !regs) {
        LOG_WARN("Cannot calibrate VESK because it's not connected");
        calibrationProgress = 0;
        return false;
    }
    const std::time_t started = std::time(nullptr);
    std::tm local{};
    localtime_r(&started, &local);
    char folder[64];
    std::strftime(folder, sizeof folder, "calibration %Y-%m-%d-%H-%M-%S", &local);
    QDir().mkpath(QString::fromLocal8Bit(folder));
    LOG_DEB("********** Calibration started **********");
    aborted = false;
    calibrationProgress = 1;
    if (regs->runBit() && !stopScan()) {
        LOG_WARN("Cannot stop running scan");
        calibrationProgress = 0;
        return false;
    }

    // What the procedure changes and gives back whatever the outcome.
    const HwRegisters saved = *regs;
    const unsigned savedAverage = average, savedAverageHW = averageHW, savedSmplPP = smplPP;
    const unsigned savedPoints = sPoints, savedDelay = sDelay;
    const bool savedAcc = accSmpl;
    // The calibration scans accumulate the full sample count at every step.
    averageHW = maxAccSamples;
    smplPP = maxAccSamples;
    sPoints = 1;
    sDelay = 0;
    accSmpl = true;

    Coefficients c{};
    bool ok = Calibration(*this, folder).run(c);

    // The unit must be left stopped: a failed stop is tried once more.
    const bool stopped = stopScan() || stopScan();
    if (!stopped)
        LOG_WARN("Failed to stop running scan.");
    // Values only: an abort from another thread may be using the mirror's module meanwhile.
    regs->restoreValues(saved);
    bool restored = regs->writeAll();
    // Write-all clears the run bit too; when neither went out the unit may
    // still be scanning, and the mirror says so.
    if (!stopped && !restored)
        regs->markRunning();
    // Write-all sends the trigger delay as 0 and leaves out the serial configuration.
    restored = regs->setTriggerDelay(saved.triggerDelay) && restored;
    restored = regs->setRs232Config(saved.rs232Config) && restored;
    ok = ok && stopped && restored;
    average = savedAverage;
    averageHW = savedAverageHW;
    smplPP = savedSmplPP;
    sPoints = savedPoints;
    sDelay = savedDelay;
    accSmpl = savedAcc;

    if (ok) {
        Coefficients previous{};
        std::copy(desc.cal_adc_v, desc.cal_adc_v + 2, previous.adcV);
        std::copy(desc.cal_dac, desc.cal_dac + 2, previous.dac);
        for (int r = 0; r < 6; ++r)
            std::copy(desc.cal_adc_i[r], desc.cal_adc_i[r] + 2, previous.adcI[r]);
        const uint32_t previousTime = desc.calibTime;
        std::copy(c.adcV, c.adcV + 2, desc.cal_adc_v);
        std::copy(c.dac, c.dac + 2, desc.cal_dac);
        for (int r = 0; r < 6; ++r)
            std::copy(c.adcI[r], c.adcI[r] + 2, desc.cal_adc_i[r]);
        desc.calibTime = static_cast<uint32_t>(started);
        if (desc.i2cMagicString == kMagic && !writeRIRavaVConfigParameters()) {
            // The memory keeps the previous calibration: so does the descriptor.
            std::copy(previous.adcV, previous.adcV + 2, desc.cal_adc_v);
            std::copy(previous.dac, previous.dac + 2, desc.cal_dac);
            for (int r = 0; r < 6; ++r)
                std::copy(previous.adcI[r], previous.adcI[r] + 2, desc.cal_adc_i[r]);
            desc.calibTime = previousTime;
            ok = false;
        }
    }
    LOG_DEB("********** Calibration %s **********", ok ? "finished" : "failed");
    calibrationProgress = 0;
    return ok;
}
