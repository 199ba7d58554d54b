#include "MeasuringEngine.h"
#include "Clock.h"
#include "MeasurementWorld.h"
#include "SyncGenerator.h"
#include "World.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>

namespace qsim {

namespace {
constexpr uint16_t kKeepAlive = 0x4000;
constexpr uint16_t kLastPacket = 0x8000;
constexpr size_t kMaxPacketWords = 0x3FFC; // whole values, below the 14-bit count limit
constexpr unsigned bit(StreamFault f) { return 1u << static_cast<unsigned>(f); }
}

MeasuringEngine::MeasuringEngine(int moduleIndex, const ModuleConfig &module, uint64_t seed)
    : module_(moduleIndex), frontEnd_(module.hardwareRevision)
{
    seed_ = seed;
    rng_.seed(seed);
    syncRng_.seed(seed ^ 0x5EC0FFEEull);
}

void MeasuringEngine::reset()
{
    running_ = false;
    waiting_ = true;
    pending_.clear();
    head_ = 0;
    packetLeft_ = 0;
    syncDirty_ = true;
    manualPulsesUs_.clear();
}

void MeasuringEngine::controlWritten(const RegisterFile &, uint16_t oldWord, uint16_t newWord)
{
    const bool was = oldWord & 1, now = newWord & 1;
    if (now && !was) {
        // Each scan draws its noise from a stream of its own, so that what a
        // scan measures does not depend on how many sweeps the one before ran
        // on until the host stopped it: a run repeats, whatever the timing.
        rng_.seed(seed_ + 0x9E3779B97F4A7C15ull * ++runs_);
        normal_.reset();
        running_ = true;
        waiting_ = true;
        earliestUs_ = world().clock->now() * 1e6;
        lastGeneratedUs_ = earliestUs_;
        scans_ = 0;
        pending_.clear();
        head_ = 0;
        packetLeft_ = 0;
    } else if (!now && was) {
        running_ = false;
        pending_.clear();
        head_ = 0;
        packetLeft_ = 0;
    }
    readWakeup().notify_all();
}

void MeasuringEngine::chip2Written(const RegisterFile &, int reg, uint16_t value)
{
    if (reg == 12 && value == 1)
        syncDirty_ = true; // measurement pulse: the period is measured afresh
}

uint32_t MeasuringEngine::syncWord(const RegisterFile &regs) const
{
    if (syncDirty_) {
        latchedSync_ = SyncGenerator::measure(world().config.measurement.sync, regs.identity.chip2Firmware, syncRng_);
        syncDirty_ = false;
    }
    return latchedSync_;
}

void MeasuringEngine::injectFault(StreamFault fault)
{
    if (fault == StreamFault::KeepAliveOnly)
        keepAliveOnly_ = true;
    else
        nextFaults_ |= bit(fault);
}

void MeasuringEngine::clearFaults()
{
    nextFaults_ = 0;
    keepAliveOnly_ = false;
    readWakeup().notify_all();
}

void MeasuringEngine::fireTrigger(double nowUs)
{
    manualPulsesUs_.push_back(std::max(nowUs, lastGeneratedUs_));
    readWakeup().notify_all();
}

MeasuringEngine::Shape MeasuringEngine::takeShape(const RegisterFile &regs) const
{
    const auto &c = regs.cnfg;
    Shape s;
    s.control = c[0];
    s.pairs = (uint64_t(c[1]) | uint64_t(c[2]) << 16) + 1;
    s.startCode = c[4];
    s.increment = c[5];
    s.fsd = c[7];
    s.nsd = c[8];
    s.stepLength = uint32_t(c[9]) | uint32_t(c[14]) << 16;
    s.switchIndex = c[10];
    s.highFirst = (c[11] & 0xFF) != 0;
    s.triggerDelay = c[12];
    s.doubleProbe = (c[13] & 7) == 2;
    const uint16_t mode = regs.chip2[1];
    s.synchronized = mode & 1;
    s.accumulate = mode & 4;
    s.sixteenBit = mode & 8;
    const uint32_t delayReg = regs.chip2Double(2);
    s.delay = delayReg > 6 ? delayReg - 6 : 0;
    s.cycles = uint64_t(regs.chip2Double(4)) + 1;
    s.syncPoints = uint64_t(regs.chip2Double(6)) + 1;
    s.samples = uint64_t(regs.chip2Double(8)) + 1;
    s.analog = regs.chip2[10];
    s.steps = static_cast<uint32_t>((s.pairs + s.syncPoints - 1) / s.syncPoints);
    s.trigger = s.control & 0x40;
    s.risingEdge = s.control & 0x80;
    return s;
}

double MeasuringEngine::nextEdge(double afterUs, bool rising) const
{
    const TriggerConfig &t = world().config.measurement.trigger;
    double best = INFINITY;
    const double shift = rising ? 0.0 : t.widthUs;
    if (t.periodUs > 0) {
        const double k = std::ceil((afterUs - shift) / t.periodUs);
        best = k * t.periodUs + shift;
    }
    for (double p : manualPulsesUs_)
        if (p + shift >= afterUs)
            best = std::min(best, p + shift);
    return best;
}

bool MeasuringEngine::beginScan(const RegisterFile &regs)
{
    const Shape s = takeShape(regs);
    double start = earliestUs_;
    if (s.trigger) {
        const double edge = nextEdge(earliestUs_, s.risingEdge);
        if (!std::isfinite(edge))
            return false; // waiting for the trigger
        start = edge + s.triggerDelay;
        manualPulsesUs_.erase(std::remove_if(manualPulsesUs_.begin(), manualPulsesUs_.end(),
                                             [&](double p) { return p <= edge; }),
                              manualPulsesUs_.end());
    }
    shape_ = s;
    scanStartUs_ = start;
    step_ = 0;
    waiting_ = false;
    scanFaults_ = nextFaults_;
    nextFaults_ = 0;
    if (scanFaults_ & bit(StreamFault::ZeroHeader))
        pending_.push_back(0x0000);
    return true;
}

double MeasuringEngine::stepReadyUs(uint32_t step) const
{
    return scanStartUs_ + shape_.fsd + (step + 1.0) * (shape_.stepLength + 1.0) + double(step) * shape_.nsd;
}

void MeasuringEngine::produce(const RegisterFile &regs, size_t wantWords, double upToUs)
{
    while (pending_.size() - head_ < wantWords && running_ && !keepAliveOnly_) {
        if (waiting_ && !beginScan(regs))
            return;
        const double ready = stepReadyUs(step_);
        if (ready > upToUs)
            return;
        emitStep(regs, step_);
        lastGeneratedUs_ = ready;
        if (++step_ >= shape_.steps) {
            waiting_ = true;
            earliestUs_ = scanStartUs_ + shape_.durationUs();
            ++scans_;
        }
    }
}

int32_t MeasuringEngine::adcSum(double code14, uint64_t samples)
{
    const double scale = shape_.sixteenBit ? 4.0 : 1.0;
    const double limit = shape_.sixteenBit ? 32768.0 : 8192.0;
    const double x = std::clamp(code14 * scale, -limit, limit - 1.0);
    const double sigma = world().config.measurement.noiseLsb * scale;
    // Mean of the quantised samples: with enough noise the dither makes it
    // the true value; with little noise the quantisation steps show.
    double mean;
    if (sigma >= 0.5) {
        mean = x;
    } else if (sigma <= 0) {
        mean = std::floor(x + 0.5);
    } else {
        const double m = std::floor(x), f = x - m;
        auto q = [&](double a) { return 0.5 * std::erfc(a / (sigma * std::sqrt(2.0))); };
        mean = m + q(0.5 - f) + q(1.5 - f) - q(0.5 + f) - q(1.5 + f);
    }
    double sum = mean * double(samples);
    if (sigma > 0) {
        const double perSample = sigma < 0.5 ? sigma : std::sqrt(sigma * sigma + 1.0 / 12.0);
        sum += perSample * std::sqrt(double(samples)) * normal_(rng_);
    }
    sum = std::round(sum);
    return static_cast<int32_t>(std::clamp(sum, double(INT32_MIN), double(INT32_MAX)));
}

double MeasuringEngine::probeCurrent(const LocalPlasma &p, double vSet, double r, bool doubleProbe)
{
    if (haveLast_ && p == lastPlasma_ && vSet == lastSet_ && r == lastR_ && doubleProbe == lastDouble_)
        return lastCurrent_;
    double current = 0;
    Plasma(world().config.measurement.plasma).solveSeries(p, vSet, r, doubleProbe, current);
    lastPlasma_ = p;
    lastSet_ = vSet;
    lastR_ = r;
    lastDouble_ = doubleProbe;
    lastCurrent_ = current;
    haveLast_ = true;
    return current;
}

void MeasuringEngine::emitStep(const RegisterFile &regs, uint32_t step)
{
    const MeasurementConfig &mc = world().config.measurement;
    const Shape &s = shape_;
    const FrontEndTruth &t = frontEnd_.truth;
    const FrontEndPath path = frontEnd_.decode(s.analog);

    const double vOut = frontEnd_.outputVolts(s.dacCode(step));
    const bool high = s.switchIndex != 0 ? (step < s.switchIndex ? s.highFirst : !s.highFirst) : path.gainHigh;
    const int range = 2 * path.resistor + (high ? 1 : 0);
    const double rMeas = t.resI[path.resistor];
    const bool field1 = (s.control >> 1) & 3, field2 = (s.control >> 3) & 3;
    const bool throughLoad = path.calibrationLoad && field1;
    const bool throughProbe = !path.calibrationLoad && field1 && field2;
    const double vMeasured = path.source == 0 ? vOut : path.source == 2 ? t.reference : 0.0;
    const double vCode = frontEnd_.voltageCode(vMeasured);
    const uint64_t perValue = s.cycles * (s.accumulate ? s.samples : 1);

    const Plasma plasma(mc.plasma);
    const double period = SyncGenerator::period(mc.sync);
    const double position = probePosition(module_);
    const bool steady = mc.plasma.pulseDepth == 0.0 && mc.plasma.pulseTeDepth == 0.0;
    LocalPlasma steadyPlasma{};
    bool haveSteady = false;

    const uint64_t first = uint64_t(step) * s.syncPoints;
    const uint64_t last = std::min(s.pairs, first + s.syncPoints);
    std::vector<uint16_t> words;
    words.reserve(4 * (last - first) + 8);
    for (uint64_t q = first; q < last; ++q) {
        const uint64_t j = q - first;
        double current = 0.0;
        if (throughLoad) {
            current = vOut / (t.calibResistor + rMeas);
        } else if (throughProbe && !s.synchronized && !steady) {
            // Unsynchronised, the unit integrates a pulsed plasma over the
            // step: the mean current of the phases the step spans.
            const double t0 = (scanStartUs_ + s.fsd + step * (s.stepLength + 1.0 + s.nsd)) * 1e-6;
            const double span = (s.stepLength + 1.0) * 1e-6;
            const int n = int(std::clamp(std::ceil(8.0 * span / std::max(period, 1e-9)), 8.0, 256.0));
            for (int k = 0; k < n; ++k)
                current += probeCurrent(plasma.local(t0 + (k + 0.5) * span / n, period, position), vOut, rMeas,
                                        s.doubleProbe);
            current /= n;
            if (mc.plasma.fluctuation > 0)
                current *= 1.0 + mc.plasma.fluctuation * normal_(rng_);
        } else if (throughProbe) {
            double phase = (scanStartUs_ + s.fsd + step * (s.stepLength + 1.0 + s.nsd)) * 1e-6;
            if (s.synchronized)
                phase = (double(s.delay) + double(j) * s.samples + (s.accumulate ? 0.5 * s.samples : 0.0)) / kAdcFrequency;
            // A steady plasma is the same at every sync point of the step.
            if (!steady || !haveSteady) {
                steadyPlasma = plasma.local(phase, period, position);
                haveSteady = true;
            }
            current = probeCurrent(steadyPlasma, vOut, rMeas, s.doubleProbe);
            if (mc.plasma.fluctuation > 0)
                current *= 1.0 + mc.plasma.fluctuation * normal_(rng_);
        }
        const int32_t v = adcSum(vCode, perValue);
        const int32_t i = adcSum(frontEnd_.currentCode(current, range), perValue);
        words.push_back(uint16_t(uint32_t(v) & 0xFFFF));
        words.push_back(uint16_t(uint32_t(v) >> 16));
        words.push_back(uint16_t(uint32_t(i) & 0xFFFF));
        words.push_back(uint16_t(uint32_t(i) >> 16));
    }
    if (step == s.steps / 2 && !words.empty()) {
        if (scanFaults_ & bit(StreamFault::MissingWord))
            words.erase(words.begin());
        if (scanFaults_ & bit(StreamFault::ExtraWord))
            words.insert(words.begin() + 1, uint16_t(0x1234));
    }
    const bool lastStep = step + 1 >= s.steps;
    if (!lastStep) {
        pushPacket(words.data(), words.size(), false);
        return;
    }
    uint32_t sync = syncWord(regs);
    if (scanFaults_ & bit(StreamFault::SyncChange))
        sync ^= 1u;
    const uint32_t duration = static_cast<uint32_t>(std::min(s.durationUs(), 4294967295.0));
    words.push_back(uint16_t(sync & 0xFFFF));
    words.push_back(uint16_t(sync >> 16));
    words.push_back(uint16_t(duration >> 16));
    words.push_back(uint16_t(duration & 0xFFFF));
    if (scanFaults_ & bit(StreamFault::LastPacketEarly))
        words.pop_back();
    if (scanFaults_ & bit(StreamFault::PacketTooLong)) {
        pushPacket(words.data(), words.size(), false);
        // Run on with empty values well past three times the scan's length.
        const std::vector<uint16_t> zeros(size_t(4 * s.pairs * 2 + 8), 0);
        pushPacket(zeros.data(), zeros.size(), false);
        return;
    }
    pushPacket(words.data(), words.size(), true);
}

void MeasuringEngine::pushPacket(const uint16_t *words, size_t count, bool last)
{
    do {
        const size_t n = std::min(count, kMaxPacketWords);
        const bool final = last && n == count;
        pending_.push_back(static_cast<uint16_t>(n | (final ? kLastPacket : 0)));
        pending_.insert(pending_.end(), words, words + n);
        words += n;
        count -= n;
    } while (count > 0);
}

QRESULT MeasuringEngine::readData(const RegisterFile &regs, const Clock &clock, QBYTE *data, QDWORD *length,
                                  QULONG &error)
{
    if (!running_) {
        // A stopped unit sends nothing: the transfer times out.
        *length = 0;
        error = QUSB_ERROR_TIMEOUT;
        return 0;
    }
    const size_t want = *length / 2;
    size_t filled = 0;
    bool damage = damageNext_;
    damageNext_ = false;
    const bool paced = clock.speedFactor() > 0;
    const auto deadline = std::chrono::steady_clock::now()
        + std::chrono::microseconds(static_cast<long long>(world().config.measurement.readWaitMs * 1000.0));
    auto copyOut = [&] {
        const size_t n = std::min(pending_.size() - head_, want - filled);
        for (size_t k = 0; k < n; ++k) {
            uint16_t w = pending_[head_ + k];
            if (packetLeft_ == 0) {
                packetLeft_ = w & 0x3FFF;
                if (damage) {
                    w = 0x0000;
                    damage = false;
                }
            } else {
                --packetLeft_;
            }
            data[2 * (filled + k)] = static_cast<QBYTE>(w & 0xFF);
            data[2 * (filled + k) + 1] = static_cast<QBYTE>(w >> 8);
        }
        head_ += n;
        filled += n;
        if (head_ == pending_.size()) {
            pending_.clear();
            head_ = 0;
        }
    };
    for (;;) {
        produce(regs, want - filled, paced ? clock.now() * 1e6 : INFINITY);
        copyOut();
        if (filled == want || !running_ || !paced)
            break;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        // Sleep until the next step is due (or a trigger, a stop, the deadline),
        // letting other callers into the simulator meanwhile.
        double dueUs = stepReadyUs(step_);
        if (waiting_)
            dueUs = (regs.controlWord() & 0x40) ? INFINITY : earliestUs_;
        const double realUs = std::isfinite(dueUs) ? (dueUs - clock.now() * 1e6) / clock.speedFactor() : 1e9;
        auto wait = std::chrono::microseconds(static_cast<long long>(std::clamp(realUs, 50.0, 1e9)));
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now));
        std::unique_lock<std::mutex> lock(world().mutex, std::adopt_lock);
        readWakeup().wait_for(lock, wait);
        lock.release();
    }
    // Whatever is not due yet: empty keep-alive packets.
    for (; filled < want; ++filled) {
        const uint16_t w = damage ? 0x0000 : kKeepAlive;
        damage = false;
        data[2 * filled] = static_cast<QBYTE>(w & 0xFF);
        data[2 * filled + 1] = static_cast<QBYTE>(w >> 8);
    }
    if (*length & 1)
        data[*length - 1] = 0;
    return 1;
}

} // namespace qsim
