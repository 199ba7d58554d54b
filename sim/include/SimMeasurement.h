// What the simulated unit measures: the plasma and probe in front of it, the
// SYNC and trigger signals, the analog front end's true coefficients, noise,
// and faults of the data stream. Part of the simulator's control interface
// (SimControl.h includes it); every call takes the simulator's one lock.
#pragma once

#include <cstdint>
#include <string>

#if !defined(QSIM_API)
#  if defined(_WIN32)
#    define QSIM_API __declspec(dllimport)
#  else
#    define QSIM_API __attribute__((visibility("default")))
#  endif
#endif

namespace qsim {

// Plasma and probe. Defaults: a low-pressure argon discharge and the probe the
// analysis settings assume by default (cylinder of radius 0.195 mm, 10 mm long).
struct PlasmaConfig {
    double ne = 1.0e16;           // electron density, m^-3
    double kTe = 3.0;             // electron temperature, eV
    double Vp = 10.0;             // plasma potential, V
    double ionMassAmu = 40.0;     // argon
    // Optional second (hot) electron population; ions neutralise both.
    double hotFraction = 0.0;     // its density as a fraction of ne
    double hotKTe = 15.0;         // eV
    // Probe tip.
    double probeRadius = 0.000195;  // m
    double probeLength = 0.010;     // m
    bool spherical = false;         // sphere of probeRadius instead of a cylinder
    // Ion collection: the sheath-fit model (orbital motion limited at large
    // Debye-length ratios, coefficients as functions of r_p / lambda_D) or
    // plain cold-ion OML.
    bool ionOml = false;
    // Two-tip probes (hardware probe mode "double"): tip 2 has areaRatio times
    // the area of tip 1. Mach probe: tip 2 faces upstream, tip 1 downstream;
    // their ion currents differ by exp(machK * machNumber).
    double areaRatio = 1.0;
    double machNumber = 0.0;
    double machK = 1.34;
    // Pulsed plasma over the SYNC period: the "on" phase lasts pulseDuty of the
    // period; density and temperature rise and fall with time constant
    // pulseTauUs. The off-phase floor is (1 - depth) of the on-phase value.
    double pulseDepth = 0.0;      // 0: steady
    double pulseTeDepth = 0.0;
    double pulseDuty = 0.5;
    double pulseTauUs = 50.0;
    // Profile along the linear drive: density (and the plasma potential by
    // profileVpDrop volts at the edge) follow a Gaussian of the probe position.
    double profileCentreMm = 0.0;
    double profileWidthMm = 0.0;  // 0: uniform
    double profileFloor = 0.1;
    double profileVpDrop = 0.0;
    double positionMm = 0.0;      // probe position when no drive reports one
    // Slow plasma fluctuations: relative rms of every reading's current.
    double fluctuation = 0.0;
};

// External SYNC signal as the controller measures it.
struct SyncConfig {
    bool present = true;
    double frequencyHz = 1000.0;
    double stability = 1.0e-6;    // relative rms jitter of the period; above 1 %: "unstable"
    double minHz = 1.0;           // below: "too low" (also when absent)
    double maxHz = 100000.0;      // above: "too high"
};

// External scan trigger: periodic pulses of widthUs every periodUs (0: none),
// plus pulses fired through fireTrigger().
struct TriggerConfig {
    double periodUs = 0.0;
    double widthUs = 10.0;
};

struct MeasurementConfig {
    PlasmaConfig plasma;
    SyncConfig sync;
    TriggerConfig trigger;
    double noiseLsb = 0.7;        // rms ADC noise per sample, in LSB of the 14-bit scale
    uint64_t seed = 1;            // noise generator seed (per module: seed + module index)
    // Longest real time a bulk read waits for data before it pads the
    // transfer with keep-alive packets, in milliseconds.
    double readWaitMs = 20.0;
};

// True transfer coefficients of one unit's analog front end (the form the
// calibration memory stores): DAC code = V * dac[1] + dac[0]; V = raw *
// adcV[1] + adcV[0]; I = raw * adcI[r][1] + adcI[r][0], raw in 14-bit units.
struct FrontEndTruth {
    double dac[2];
    double adcV[2];
    double adcI[6][2];
    double resI[3];
    double calibResistor;
    double reference;             // volts the reference input shows
};

// Plasma parameters at a moment of the SYNC period and a probe position.
struct PlasmaState {
    double ne, ni, kTe, Vp;
    double Vf;                    // floating potential of the single tip
    double isat;                  // single-tip ion current at Vp - 50 V (negative)
    double debyeLength;
};

enum class StreamFault {
    MissingWord,       // one data word of the next scan is dropped
    ExtraWord,         // one stray word is added to the next scan
    ZeroHeader,        // an empty packet header (not keep-alive) precedes the next scan
    KeepAliveOnly,     // the unit sends only keep-alive packets until the faults are cleared
    PacketTooLong,     // the next scan's last packet is not marked and data run on
    LastPacketEarly,   // the next scan's last packet ends before the trailer's second word
    SyncChange         // the next scan's SYNC value differs from the measured word
};

QSIM_API MeasurementConfig measurementConfig();
QSIM_API void setMeasurementConfig(const MeasurementConfig &config);
// Parses one "key=value" of the measurement configuration (keys in the README).
// False with `why` empty for a key it does not know, else with the reason.
QSIM_API bool parseMeasurementKey(const std::string &key, const std::string &value, MeasurementConfig &config,
                                  std::string *why = nullptr);

QSIM_API PlasmaState truePlasma(double phaseSeconds, double positionMm);
// Probe current of the configured probe (hardware probe mode given) at a tip
// voltage, without front end or noise.
QSIM_API double trueProbeCurrent(double tipVolts, bool doubleProbe, double phaseSeconds, double positionMm);

QSIM_API FrontEndTruth trueFrontEnd(int module);
// Volts the unit's DAC drives at a step of a scan set up by its registers now
// (true DAC coefficients, 16-bit code arithmetic).
QSIM_API double trueOutputVolts(int module, uint32_t step);
QSIM_API void setTrueFrontEnd(int module, const FrontEndTruth &truth);

QSIM_API void injectStreamFault(int module, StreamFault fault);
QSIM_API void clearStreamFaults(int module);
QSIM_API void fireTrigger(int module);
// Scans fully generated since the run bit was last set.
QSIM_API unsigned scansGenerated(int module);
// SYNC word the controller currently holds (re-measured on a measurement pulse).
QSIM_API uint32_t syncWord(int module);

} // namespace qsim
