// Scan parameters (voltages, idle voltage, range, delays, averaging, scan
// type, synchronized scans, SYNC frequency, time estimates), starting a scan,
// reading it out and converting it, and the read progress.
#include "DriverLog.h"
#include "VeskbDrv.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <new>

namespace {
const char *const kResistorNames[3] = {"eSmall", "eMedium", "eLarge"};
constexpr uint64_t kMaxDataDoubles = 0xFE00000;
constexpr int kSyncRetries = 20;      // 4 s in waits of 200 ms
constexpr unsigned kSyncRetryMs = 200;

double monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Bulk reads of the module's data endpoint, straight into the reader's buffer.
class ModuleSource : public BulkSource {
public:
    ModuleSource(CQuickUsb &usb, const HwRegisters &regs) : usb_(usb), regs_(regs) {}
    bool read(uint8_t *buffer, uint32_t &bytes) override
    {
        uint32_t length = bytes;
        const bool ok = usb_.readData(buffer, &length);
        bytes = ok ? length : 0;
        return ok;
    }
    bool running() const override { return regs_.runBit(); }
private:
    CQuickUsb &usb_;
    const HwRegisters &regs_;
};
}

void VeskbDrv::freeDataBuffer()
{
    std::vector<double>().swap(dataBuffer);
}

// ---- Scan voltages ----------------------------------------------------------------------

bool VeskbDrv::setScanVoltages(double start, double step, double stop, double switchVoltage, bool highGainFirst)
{
    double s = start, st = step, e = stop, w = switchVoltage;
    ScanMath::ScanCodes codes;
    std::string warn;
    if (!ScanMath::computeScanVoltages(s, st, e, w, desc.vRange, desc.cal_dac, codes, warn)) {
        LOG_WARN("%s", warn.c_str());
        return false;
    }
    if (!regs) {
        LOG_WARN("Cannot set scan voltages because VESK is not connected");
        return false;
    }
    bool ok = regs->setStartDac(static_cast<int16_t>(codes.startCode));
    ok = regs->setIncrement(codes.increment) && ok;
    ok = regs->setStepCount(codes.steps) && ok;
    ok = regs->setGainSwitchIndex(static_cast<uint16_t>(codes.switchIndex)) && ok;
    ok = regs->setGainSwitchFlag(highGainFirst ? 1 : 0) && ok;
    LOG_DEB("Scan Voltages set to: [% .3f(% .3f),% .3f(% .3f),% .3f(% .3f),% .3f(% .3f), %s] steps:%d", start, s, step,
            st, stop, e, switchVoltage, w, highGainFirst ? "H" : "L", regs->stepCountM1 + 1);
    if (!ok) {
        LOG_WARN("Failed to write the scan voltages to VESK");
        return false;
    }
    return true;
}

bool VeskbDrv::setScanVoltages(double start, double step, double stop)
{
    const bool flag = regs && regs->gainSwitchFlag == 1;
    return setScanVoltages(start, step, stop, start, flag);
}

bool VeskbDrv::getScanVoltages(double &start, double &step, double &stop)
{
    if (!connected || !regs)
        return false;
    const double c0 = desc.cal_dac[0], c1 = desc.cal_dac[1];
    const int startCode = regs->startDac;
    const int increment = ScanMath::incrementFromRegister(regs->startDac, regs->increment);
    start = (startCode - c0) / c1;
    step = increment / c1;
    stop = ((double(regs->stepCountM1)) * increment + startCode - c0) / c1;
    return true;
}

bool VeskbDrv::setDefVoltage(double &volts)
{
    int code = 0;
    std::string warn;
    if (!ScanMath::computeIdleCode(volts, desc.vRange, desc.cal_dac, code, warn)) {
        LOG_WARN("%s", warn.c_str());
        return false;
    }
    if (!regs || !regs->setIdleDac(static_cast<int16_t>(code))) {
        LOG_WARN("Failed to write the default voltage to VESK");
        return false;
    }
    LOG_DEB("Default Voltage set to: %f", volts);
    return true;
}

// ---- Range, delays, averaging, scan type ---------------------------------------------------------

bool VeskbDrv::setMeasuringRange(unsigned range)
{
    if (!regs)
        return false;
    // Ranges beyond 5 select range 0 (eSmall, LOW); its full scale is logged.
    const unsigned selected = range <= 5 ? range : 0;
    const int resistor = static_cast<int>(selected / 2);
    const bool high = (selected % 2) == 1;
    bool ok = true;
    if (regs->currentResistor() != resistor)
        ok = regs->setCurrentResistor(resistor) && ok;
    if (regs->gainHigh() != high)
        ok = regs->setGain(high) && ok;
    LOG_DEB("Setting current range %d <eResistor:%s, %s electronic gain, %f[mA]>", range, kResistorNames[resistor],
            high ? "HIGH" : "LOW", 1000.0 * desc.iRange[selected]);
    return ok;
}

unsigned VeskbDrv::getMeasuringRange()
{
    if (!regs)
        return 0;
    return static_cast<unsigned>(2 * regs->currentResistor() + (regs->gainHigh() ? 1 : 0));
}

bool VeskbDrv::setSettlingDelays(unsigned, unsigned fsd, unsigned nsd, unsigned)
{
    if (!regs)
        return false;
    // 16-bit registers: longer delays are clamped.
    const uint16_t first = static_cast<uint16_t>(std::min(std::max(fsd, nsd), 65535u));
    const uint16_t next = static_cast<uint16_t>(std::min(nsd, 65535u));
    bool ok = regs->setFirstSettlingDelay(first);
    ok = regs->setNextSettlingDelay(next) && ok;
    LOG_DEB("setSettlingDelays to fsd:%d, nsd:%d", first, next);
    return ok;
}

bool VeskbDrv::setAverageHW(unsigned n)
{
    averageHW = n == 0 ? 1 : (n > maxAccSamples ? maxAccSamples : n);
    LOG_DEB("setAverageHW(%d) to averageHW:%d", n, averageHW);
    return true;
}

bool VeskbDrv::setScanType(bool synchronized)
{
    if (!regs)
        return false;
    const bool ok = regs->setModeBit(HwRegisters::kSyncScanBit, synchronized);
    LOG_DEB("Scan type set to %s scan",
            (regs->chip2Mode & HwRegisters::kSyncScanBit) ? "Synchronized" : "Time Averaged");
    return ok;
}

bool VeskbDrv::setSyncScanParameters(double &periodUs, double &delayUs, double &durationUs, bool accumulate)
{
    double period = periodUs * 1e-6, delay = delayUs * 1e-6, duration = durationUs * 1e-6;
    ScanMath::SyncParameters p;
    std::string warn;
    if (!ScanMath::computeSyncParameters(period, delay, duration, desc.adcFreq, p, warn)) {
        LOG_WARN("%s", warn.c_str());
        return false;
    }
    smplPP = p.smplPP;
    sPoints = p.sPoints;
    sDelay = p.sDelay;
    accSmpl = accumulate;
    periodUs = period * 1e6;
    delayUs = delay * 1e6;
    durationUs = duration * 1e6;
    LOG_DEB("setSyncScanParameters(%f, %f, %f), smplPP: %d, sPoints: %d, sDelay: %d, accSmpl: %d", period, delay,
            duration, smplPP, sPoints, sDelay, accSmpl ? 1 : 0);
    return true;
}

double VeskbDrv::getSyncFreq(bool restart)
{
    if (!connected || !regs)
        return 0.0;
    if (restart) {
        if (regs->runBit() && !stopScan())
            return 0.0;
        if (!regs->syncPulse())
            return 0.0;
    }
    uint32_t word = 0;
    if (regs->readSyncWord(false, word))
        syncWord = word;
    return ScanMath::decodeSyncWord(syncWord, regs->chip2Firmware());
}

bool VeskbDrv::deriveRunParameters(bool synchronized, double fSync, ScanMath::RunParameters &p) const
{
    const uint32_t limit = ScanMath::maxCount(regs ? regs->chip1Firmware() : 0);
    return ScanMath::deriveRunParameters(synchronized, fSync, desc.adcFreq, limit, maxAccSamples, p);
}

bool VeskbDrv::writeRunParameters(const ScanMath::RunParameters &p)
{
    bool ok = regs->setSamplesPerPoint(p.smplPP);
    ok = regs->setSyncPoints(p.sPoints) && ok;
    ok = regs->setSyncCycles(p.sCycles) && ok;
    ok = regs->setSyncDelay(p.sDelay) && ok;
    ok = regs->setModeBit(HwRegisters::kAccumulateBit, p.accSmpl) && ok;
    ok = regs->setStepLength(p.stepLength) && ok;
    return ok;
}

void VeskbDrv::getScanTimes(double start, double step, double stop, bool synchronized, unsigned avgHW,
                            unsigned repeats, unsigned samples, bool accumulate, unsigned short fsd,
                            unsigned short nsd, double &fSync, double &pointTime, double &scanTime,
                            double &totalTime)
{
    fSync = pointTime = scanTime = totalTime = 0.0;
    if (!connected || !regs)
        return;
    double s = start, st = step, e = stop, w = start;
    ScanMath::ScanCodes codes;
    std::string warn;
    if (!ScanMath::computeScanVoltages(s, st, e, w, desc.vRange, desc.cal_dac, codes, warn))
        return;
    if (!regs->runBit()) {
        uint32_t word = 0;
        if (regs->readSyncWord(false, word))
            syncWord = word;
    }
    fSync = ScanMath::decodeSyncWord(syncWord, regs->chip2Firmware());
    if (synchronized && fSync <= 0)
        return;
    ScanMath::RunParameters p;
    p.averageHW = avgHW;
    p.smplPP = samples;
    p.sPoints = 0;
    p.sDelay = 0;
    p.accSmpl = accumulate;
    if (!deriveRunParameters(synchronized, fSync, p))
        return; // no estimate without valid run parameters
    const double N = codes.steps;
    pointTime = (double(nsd) + p.stepLength + 1.0) * 1e-6;
    scanTime = (double(fsd) + (double(p.stepLength) + 1.0) * N + double(nsd) * (N - 1.0)) * 1e-6;
    totalTime = scanTime * repeats;
}

// ---- Scans ---------------------------------------------------------------------------------

bool VeskbDrv::startScan()
{
    aborted = false;
    valuesRead = 0;
    if (!connected || !regs) {
        LOG_WARN("Cannot run new scan without VESK properly connected");
        return false;
    }
    // A new scan never starts over one that could not be stopped.
    if (regs->runBit() && !stopScan()) {
        LOG_WARN("Cannot stop running scan");
        return false;
    }
    reader.setWordsPerRead(wordsPerRead);
    if (!regs->setGain(regs->gainHigh())) {
        LOG_WARN("Cannot update current amp gain");
        return false;
    }
    const bool synchronized = (regs->chip2Mode & HwRegisters::kSyncScanBit) != 0;
    double fSync = NAN;
    if (synchronized) {
        uint32_t word = 0;
        if (regs->readSyncWord(false, word))
            syncWord = word;
        fSync = ScanMath::decodeSyncWord(syncWord, regs->chip2Firmware());
        for (int retry = 0; fSync < 0 && retry < kSyncRetries; ++retry) {
            driverSleepMs(kSyncRetryMs);
            if (regs->readSyncWord(false, word))
                syncWord = word;
            fSync = ScanMath::decodeSyncWord(syncWord, regs->chip2Firmware());
        }
        if (fSync < 0) {
            if (fSync == -1.0)
                LOG_WARN("VESK cannot synchronize to SYNC signal (SYNC frequency stability must be better then 1%% to synchronize to it)");
            else if (fSync == -2.0)
                LOG_WARN("VESK cannot synchronize to SYNC signal (SYNC frequency is too low to synchronize to it)");
            else if (fSync == -3.0)
                LOG_WARN("VESK cannot synchronize to SYNC signal (SYNC frequency is too high to synchronize to it)");
            LOG_WARN("VESK cannot synchronize to SYNC signal (req: %f)", fSync);
            return false;
        }
    }
    ScanMath::RunParameters p;
    p.averageHW = averageHW;
    p.smplPP = smplPP;
    p.sPoints = sPoints;
    p.sDelay = sDelay;
    p.accSmpl = accSmpl;
    if (!deriveRunParameters(synchronized, fSync, p)) {
        LOG_WARN("Failed to set required scan parameters");
        return false;
    }
    if (!writeRunParameters(p)) {
        LOG_WARN("Failed to write the scan parameters to VESK");
        return false;
    }
    LOG_DEB("Starting %s scan with smplPP: %d, sPoints: %d, sCycles: %d, sDelay: %d, accSmpl: %d, stepLength: %d, "
            "fSync: %f", synchronized ? "TR" : "TA", p.smplPP, p.sPoints, p.sCycles, p.sDelay, p.accSmpl ? 1 : 0,
            static_cast<int>(p.stepLength), fSync);
    if (!regs->startScan()) {
        LOG_WARN("Failed to start the scan");
        return false;
    }
    return true;
}

bool VeskbDrv::readScaledScan(uint32_t &syncPoints, uint32_t &steps, uint32_t &trailer)
{
    syncPoints = steps = trailer = 0;
    valuesExpected = 0;
    scansPerSecond = -1.0;
    secondsPerAverage = -1.0;
    bool progress = true;
    if (!regs->runBit()) {
        const bool synchronized = (regs->chip2Mode & HwRegisters::kSyncScanBit) != 0;
        ScanMath::RunParameters p;
        p.averageHW = averageHW;
        p.smplPP = smplPP;
        p.sPoints = sPoints;
        p.sDelay = sDelay;
        p.accSmpl = accSmpl;
        progress = deriveRunParameters(synchronized, ScanMath::decodeSyncWord(syncWord, regs->chip2Firmware()), p)
                   && writeRunParameters(p);
    }
    const uint64_t P = uint64_t(regs->chip2Reg6) + 1;
    const uint64_t N = uint64_t(regs->stepCountM1) + 1;
    const uint64_t total = 2 * P * N;
    if (progress) {
        valuesExpected = static_cast<long>(std::min<uint64_t>(total * average, uint64_t(LONG_MAX)));
        const double denominator = double(regs->stepLength) * N + regs->firstDelay + double(N - 1) * regs->nextDelay;
        if (denominator > 0) {
            scansPerSecond = 1e6 / denominator;
            secondsPerAverage = average / scansPerSecond;
        }
    }
    if (total > kMaxDataDoubles) {
        LOG_WARN("Failed to allocate memory of 2*double[%llu]", static_cast<unsigned long long>(total));
        freeDataBuffer();
        return false;
    }
    if (dataBuffer.size() < total) {
        try {
            freeDataBuffer();
            dataBuffer.resize(total);
        } catch (const std::bad_alloc &) {
            LOG_WARN("Failed to allocate memory of 2*double[%llu]", static_cast<unsigned long long>(total));
            freeDataBuffer();
            return false;
        }
    }
    std::fill(dataBuffer.begin(), dataBuffer.begin() + static_cast<std::ptrdiff_t>(total), 0.0);

    ScanStreamLayout layout;
    layout.syncPoints = static_cast<uint32_t>(P);
    layout.steps = static_cast<uint32_t>(N);
    layout.synchronized = (regs->chip2Mode & HwRegisters::kSyncScanBit) != 0;
    layout.triggerMode = (regs->controlWord() & HwRegisters::kTriggerEnableBit) != 0;
    ModuleSource source(usb, *regs);
    const unsigned passes = average ? average : 1;
    const ReadResult r = reader.read(layout, passes, dataBuffer.data(), source, aborted, valuesRead, syncWord);
    if (r.outcome != ReadOutcome::Complete) {
        // A stream cut short by an abort's stop is no fault of the stream.
        const bool byAbort = aborted.load();
        if (r.transferFailed) {
            errorCode = VESKB_QUSB_ERROR;
            LOG_WARN("readOneScanData(%p, %d, %d, %d) : FAILED to readData(...) from connected device",
                     static_cast<const void *>(dataBuffer.data()), static_cast<int>(P), static_cast<int>(N), 0);
        } else if (!r.message.empty() && !byAbort) {
            if (r.critical)
                LOG_CRIT("%s", r.message.c_str());
            else
                LOG_WARN("%s", r.message.c_str());
        }
        if (!byAbort)
            regs->dumpRegisters();
        return false;
    }
    double divisor = (double(regs->chip2Reg4) + 1.0) * passes;
    if (regs->chip2Mode & HwRegisters::kAccumulateBit)
        divisor *= double(regs->chip2Reg8) + 1.0;
    if (is16Bit)
        divisor *= 4.0;
    scaleScan(dataBuffer.data(), total, divisor);
    syncPoints = static_cast<uint32_t>(P);
    steps = static_cast<uint32_t>(N);
    trailer = r.trailer / passes;
    return true;
}

bool VeskbDrv::getDataFromOneScan(double *&data, unsigned &syncPoints, unsigned &steps, double &samplePeriod,
                                  double &syncDelay, unsigned &trailer)
{
    data = nullptr;
    syncPoints = steps = trailer = 0;
    samplePeriod = syncDelay = 0.0;
    valuesRead = 0;
    readStartTime = monotonicSeconds();
    if (!connected || !regs) {
        LOG_WARN("Cannot read data from VESKB because %s", "it's not connected");
        return false;
    }
    if (!regs->runBit()) {
        LOG_WARN("Cannot read data from VESKB because %s", "scan doesn't run");
        return false;
    }
    uint32_t P = 0, N = 0, t = 0;
    if (!readScaledScan(P, N, t))
        return false;

    ConversionCoefficients c;
    std::copy(desc.cal_adc_v, desc.cal_adc_v + 2, c.adcV);
    for (int r = 0; r < 6; ++r)
        std::copy(desc.cal_adc_i[r], desc.cal_adc_i[r] + 2, c.adcI[r]);
    std::copy(desc.resI, desc.resI + 3, c.resI);
    const int resistor = regs->currentResistor();
    const uint32_t K = regs->gainSwitchIndex;
    const bool firstHigh = K != 0 ? regs->gainSwitchFlag != 0 : regs->gainHigh();
    const int first = 2 * resistor + (firstHigh ? 1 : 0);
    const int second = K != 0 ? 2 * resistor + (firstHigh ? 0 : 1) : first;
    convertScan(dataBuffer.data(), P, N, 1.0, c, resistor, first, second, K);

    if (P >= 2) {
        samplePeriod = (double(regs->chip2Reg8) + 1.0) / desc.adcFreq;
        syncDelay = (regs->chip2Reg2 > 6 ? double(regs->chip2Reg2 - 6) : 0.0) / desc.adcFreq;
    }
    data = dataBuffer.data();
    syncPoints = P;
    steps = N;
    trailer = t;
    return true;
}

void VeskbDrv::getScanProgress(int &percent, double &scanSeconds, int &elapsedSeconds)
{
    // Nothing expected yet: 0 %, never a division by zero.
    const long long expected = valuesExpected.load();
    const long long done = valuesRead.load();
    percent = expected > 0 ? static_cast<int>(std::clamp<long long>(done * 100 / expected, 0, 100)) : 0;
    scanSeconds = secondsPerAverage;
    const double start = readStartTime;
    elapsedSeconds = start > 0 ? static_cast<int>(monotonicSeconds() - start) : 0;
}
