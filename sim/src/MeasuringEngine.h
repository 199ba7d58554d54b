// The controller's scan engine: while the run bit is set it sweeps the DAC
// through the configured steps, samples the front end at every sync point,
// and streams packets of 32-bit sums to the module's data endpoint, paced by
// the simulated clock. Everything it does is shaped by the register file.
//
// Stream: a packet is a header word (bits 0-13 word count, bit 14 keep-alive,
// bit 15 last packet of a scan) and its words. A scan sends, for each step, 2P
// signed sums (voltage and current of every sync point, low word first), then
// the SYNC word (low word first) and a trailer with the scan's duration in
// microseconds (high word first), ending the last packet. While no data is due
// within a bulk read's wait, the rest of the transfer is filled with empty
// keep-alive packets.
//
// Output switches (control word): field 1 connects the high-voltage amplifier
// to the measuring chain, field 2 the probe connector. Current flows through
// the calibration load when it is on and field 1 is on; through the probe when
// both fields are on and the load is off; otherwise no current flows.
//
// A waiting bulk read releases the simulator's lock (so that a stop or a
// trigger can come in from another thread); the world must not be reset
// while a read waits.
#pragma once
#include "FrontEnd.h"
#include "Plasma.h"
#include "ScanEngine.h"
#include <SimControl.h>

#include <random>
#include <vector>

namespace qsim {

class MeasuringEngine : public ScanEngine {
public:
    MeasuringEngine(int moduleIndex, const ModuleConfig &module, uint64_t seed);

    void controlWritten(const RegisterFile &regs, uint16_t oldWord, uint16_t newWord) override;
    void chip2Written(const RegisterFile &regs, int reg, uint16_t value) override;
    void reset() override;
    uint32_t syncWord(const RegisterFile &regs) const override;
    QRESULT readData(const RegisterFile &regs, const Clock &clock, QBYTE *data, QDWORD *length,
                     QULONG &error) override;

    // The first packet header of the next transfer goes out as an empty,
    // unmarked header: the framing breaks where the host cannot miss it.
    void damageNextRead() override { damageNext_ = true; }
    FrontEnd &frontEnd() { return frontEnd_; }
    void injectFault(StreamFault fault);
    void clearFaults();
    void fireTrigger(double nowUs);
    void syncConfigChanged() { syncDirty_ = true; }
    unsigned scansGenerated() const { return scans_; }
    // Volts the DAC drives at a step of a scan shaped by the registers now.
    double outputVolts(const RegisterFile &regs, uint32_t step) const
    {
        return frontEnd_.outputVolts(takeShape(regs).dacCode(step));
    }

    static constexpr double kAdcFrequency = 7.9872e7;

private:
    // Register values that shape one scan, taken when it begins.
    struct Shape {
        uint16_t control = 0;
        uint64_t pairs = 0;       // (step, sync point) pairs: CNFG 1-2 + 1
        uint16_t startCode = 0, increment = 0;  // CNFG 4 and 5 as the DAC adder sees them
        uint32_t steps = 0;       // steps sent
        uint32_t fsd = 0, nsd = 0, stepLength = 0;
        uint32_t switchIndex = 0;
        bool highFirst = false;
        bool synchronized = false, accumulate = false, sixteenBit = false;
        uint64_t syncPoints = 1, cycles = 1, samples = 1, delay = 0;
        uint16_t analog = 0;
        bool doubleProbe = false;
        bool trigger = false, risingEdge = false;
        uint32_t triggerDelay = 0;
        // The DAC code at a step: a 16-bit adder steps the code by the
        // increment and wraps like the hardware, without clamping.
        int16_t dacCode(uint32_t step) const
        {
            return static_cast<int16_t>(static_cast<uint16_t>(startCode + uint32_t(step) * increment));
        }
        double durationUs() const { return fsd + double(steps) * (stepLength + 1.0) + double(steps ? steps - 1 : 0) * nsd; }
    };

    Shape takeShape(const RegisterFile &regs) const;
    void produce(const RegisterFile &regs, size_t wantWords, double upToUs);
    bool beginScan(const RegisterFile &regs);
    double nextEdge(double afterUs, bool rising) const;
    double stepReadyUs(uint32_t step) const;
    void emitStep(const RegisterFile &regs, uint32_t step);
    void pushPacket(const uint16_t *words, size_t count, bool last);
    int32_t adcSum(double code14, uint64_t samples);
    double probeCurrent(const LocalPlasma &p, double vSet, double r, bool doubleProbe);

    int module_;
    FrontEnd frontEnd_;
    std::mt19937_64 rng_;
    uint64_t seed_ = 0;
    uint64_t runs_ = 0; // scans started since the connect
    std::normal_distribution<double> normal_{0.0, 1.0}; // one object: it keeps the spare of each pair
    mutable std::mt19937_64 syncRng_;
    mutable uint32_t latchedSync_ = 0;
    mutable bool syncDirty_ = true;

    bool running_ = false;
    bool waiting_ = true;         // between scans
    double earliestUs_ = 0;       // earliest start of the next scan
    double scanStartUs_ = 0;
    double lastGeneratedUs_ = 0;
    uint32_t step_ = 0;
    unsigned scans_ = 0;
    Shape shape_;
    std::vector<uint16_t> pending_;
    size_t head_ = 0;
    size_t packetLeft_ = 0;       // data words of the packet going out; 0: the next word is a header
    bool damageNext_ = false;
    std::vector<double> manualPulsesUs_;

    unsigned nextFaults_ = 0;     // bits of StreamFault for the next scan
    unsigned scanFaults_ = 0;     // bits applying to the scan in progress
    bool keepAliveOnly_ = false;

    // Reuse of the last probe solution (steady plasma: every sync point alike).
    LocalPlasma lastPlasma_{};
    double lastSet_ = 0, lastR_ = -1, lastCurrent_ = 0;
    bool lastDouble_ = false, haveLast_ = false;
};

} // namespace qsim
