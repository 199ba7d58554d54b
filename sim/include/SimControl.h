// Control interface of the simulated controller unit, for tests and tools.
// Separate from the module library's C API: configures the simulated world,
// injects faults and reads the hardware's true state. Thread-safe: every call
// takes the simulator's one lock.
#pragma once

#include <QuickUSB.h>
#include <SimMeasurement.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#  define QSIM_API __declspec(dllimport)
#else
#  define QSIM_API __attribute__((visibility("default")))
#endif

namespace qsim {

// Vendor functions, for fault injection and call counting.
enum class Call {
    FindModules, Open, Close, GetLastError, ReadSetting, WriteSetting,
    WriteCommand, ReadCommand, ReadData, ReadPortDir, WritePortDir, ReadPort,
    WritePort, ReadI2C, WriteI2C, GetStringDescriptor, GetDllVersion,
    GetDriverVersion, Count
};

// Content of the calibration memory at power-on.
enum class CalImage {
    Valid,          // version 2, 280 bytes, coefficients of the simulated front end
    Blank,          // all 0xFF
    WrongMagic,
    Version1,       // size field 0, drive length 0
    Version3Size300,
    Version2Size279,
    Flags01000001   // option flags out of range (read as 0)
};

// Motor controller on the module's RS232 port 0 (one family or none).
enum class MotorFamily { None = 0, PM600 = 1, MDrivePlus = 2, OpticsFocus = 3, AppliedMotion = 4 };

struct MotorConfig {
    MotorFamily family = MotorFamily::None;
    // 0 / negative / 0: the family's own stage (MotorConfig::resolved).
    double lengthSteps = 0;         // travel between the two end switches
    double startSteps = -1;         // carriage position at power-on, from the minus end
    double mmPerStep = 0;           // probe travel per motor step
    char address = 0;               // line address (PM600)

    // The stage a family comes with: MDrivePlus moves 9.933e-6 mm per step
    // (its protocol's slope) over a little more than 100 mm and powers on
    // near its plus end, where it homes; the others move 0.01 mm per step
    // over 30000 steps and power on half way.
    QSIM_API MotorConfig resolved() const;
};

// ---- Rehearsed faults --------------------------------------------------------
// The fault.* keys of LPSIM_CONFIG. Each counts the calls of its kind on one
// module from the module's last open (the connect): 1 is the first call.
struct FaultAt {
    unsigned nth = 0;       // 0: off
    bool onward = false;    // "N+": the nth call and every later one
    bool hits(unsigned count) const { return nth != 0 && (onward ? count >= nth : count == nth); }
};

enum class MotorFaultKind { None, Stall, NoReply, Error };

struct FaultSchedule {
    FaultAt read;           // a bulk read of scan data fails
    FaultAt write;          // a command write fails (not applied)
    FaultAt stop;           // a command write that would stop a running scan fails
    FaultAt stream;         // a bulk read delivers a damaged stream (a packet header lost)
    unsigned gone = 0;      // from this module call on the unit is gone: every call fails
    MotorFaultKind motor = MotorFaultKind::None;
    FaultAt motorAt;        // the motion command (homing's included) the motor fault begins at
    bool any() const { return read.nth || write.nth || stop.nth || stream.nth || gone || motor != MotorFaultKind::None; }
};

// Calls of each counted kind since the module's last open.
struct FaultCounts {
    unsigned reads = 0, writes = 0, stops = 0, calls = 0, moves = 0;
    bool gone = false;
};

struct ModuleConfig {
    std::string name = "QUSB-0";
    std::string make = "Quendrix";
    std::string model = "VESK-B2 Langmuir Probe Controller";
    std::string serial = "VB2-000417";
    uint16_t setting17 = 0x0480;       // high byte chip revision, low byte bit 7 high speed
    bool openable = true;
    uint16_t chip1Firmware = 0x1090;
    uint16_t chip2Firmware = 0x1070;
    bool triggerAvailable = true;       // status bit 0
    bool doubleProbeAvailable = true;   // status bit 1
    bool sixteenBit = false;            // option flag bit 0 of the calibration image
    char hardwareRevision = 'B';        // 12th character of the device name
    std::string devName = "VESKB2-0417B";
    CalImage image = CalImage::Valid;
    MotorConfig motor;                  // see SimMotors.h
    FaultSchedule faults;               // fault.* keys
};

struct Config {
    std::vector<ModuleConfig> modules = std::vector<ModuleConfig>(1);
    // Simulated time runs speedFactor times faster than real time; 0 means
    // simulated waits take no real time at all.
    double speedFactor = 1.0;
    // Plasma, probe, SYNC, trigger and noise (SimMeasurement.h).
    MeasurementConfig measurement;
};

// Configuration from the environment: LPSIM_CONFIG holds a file path or an
// inline list "key=value;key=value" (keys in the README). Unset: defaults.
// A bad entry is printed on stderr (and put in `message`) with its key and
// line, and gives a world without modules.
QSIM_API Config configFromEnvironment(std::string *message = nullptr);
// Parses the key=value text (lines or ';'-separated); unknown keys are errors.
QSIM_API bool parseConfig(const std::string &text, Config &config, std::string *error = nullptr);

// Rebuilds the simulated world (modules powered on, faults cleared, counters zero).
QSIM_API void reset(const Config &config);
QSIM_API Config currentConfig();

// ---- Fault injection --------------------------------------------------------
// The nth call (1 = the next one) of `call` from now fails with `code`.
QSIM_API void failCall(Call call, unsigned nth, QULONG code);
// The nth read of `call` from now (ReadCommand, ReadData, ReadPort, ReadI2C)
// succeeds but transfers `missingBytes` fewer bytes than asked.
QSIM_API void shortReply(Call call, unsigned nth, unsigned missingBytes);
// I2C writes that carry data (more than the two address bytes), counted from
// 0 from now: writes number k .. k+times-1 fail with `code`, or, when
// `corrupt` is set, succeed but store the first data byte inverted.
QSIM_API void failI2cDataWrite(unsigned k, unsigned times, QULONG code = QUSB_ERROR_I2C_NO_ACK,
                               bool corrupt = false);
QSIM_API void clearFaults();
// Replaces a module's rehearsed faults (counting goes on from its last open).
QSIM_API void scheduleFaults(int module, const FaultSchedule &schedule);
QSIM_API FaultCounts faultCounts(int module);
// Parses one fault.* key ("read", "write", "stop", "stream", "gone", "motor",
// "motorAt" after the "fault." prefix).
QSIM_API bool parseFaultKey(const std::string &key, const std::string &value, FaultSchedule &schedule);

// ---- True state -------------------------------------------------------------
QSIM_API unsigned callCount(Call call);
QSIM_API bool moduleOpen(int module);
QSIM_API uint16_t setting(int module, uint16_t address);
QSIM_API uint8_t portValue(int module, int port);
QSIM_API uint8_t portDirection(int module, int port);
QSIM_API unsigned resetPulses(int module);
QSIM_API uint16_t cnfgRegister(int module, int reg);
QSIM_API uint16_t stateRegister(int module, int reg);     // 0x65 ..
QSIM_API uint16_t chip2Register(int module, int reg);     // write space 0..15
QSIM_API bool chip2SequencerStopped(int module);
QSIM_API std::vector<uint8_t> i2cMemory(int module, uint16_t address, size_t length);
QSIM_API void setI2cMemory(int module, uint16_t address, const std::vector<uint8_t> &bytes);
QSIM_API std::vector<uint8_t> serialBytesWritten(int module, int port);
QSIM_API void setStatusBits(int module, bool trigger, bool doubleProbe);
QSIM_API void setFirmware(int module, uint16_t chip1, uint16_t chip2);

// The calibration image bytes a variant holds (280 bytes, or its own size).
QSIM_API std::vector<uint8_t> calibrationImage(const ModuleConfig &module);

// ---- Bus trace -----------------------------------------------------------------
// Writes one line per vendor call to `path` (truncated), as LPSIM_TRACE does
// from the first call on; an empty path stops tracing. Format in the README.
QSIM_API bool traceTo(const std::string &path);

// Simulated seconds since the world was reset.
QSIM_API double simSeconds();
// Moves simulated time forward without waiting (for tests at speed factor 0).
QSIM_API void advanceSimTime(double seconds);

// ---- Serial devices on the RS232 bridge -------------------------------------
// A device on one of the module's serial ports (motor controllers attach here).
// Called with the simulator's lock held: keep the work short, never call back
// into this interface.
class QSIM_API SerialDevice {
public:
    virtual ~SerialDevice();
    // Bytes the host sent to the device.
    virtual void write(const uint8_t * /*data*/, size_t /*length*/) {}
    // The same with the simulated time of the transfer; devices that keep
    // time (a moving stage) override this one.
    virtual void writeAt(double /*now*/, const uint8_t *data, size_t length) { write(data, length); }
    // Next byte the device sends to the host, if any; `now` in simulated seconds.
    virtual bool read(double now, uint8_t &byte) = 0;
    // Port configuration byte (bit 0 b, bit 1 a, bits 5-7 rate code).
    virtual void configure(uint8_t /*config*/) {}
};

// Echoes every byte back.
class QSIM_API EchoLine : public SerialDevice {
public:
    void write(const uint8_t *data, size_t length) override;
    bool read(double now, uint8_t &byte) override;
private:
    std::vector<uint8_t> pending_;
};

// Nothing attached: swallows writes, never answers.
class QSIM_API SilentLine : public SerialDevice {
public:
    void write(const uint8_t *, size_t) override {}
    bool read(double, uint8_t &) override { return false; }
};

// Attaches a device to a port of a module (default: a silent line on every port).
QSIM_API void attachSerialDevice(int module, int port, std::shared_ptr<SerialDevice> device);

} // namespace qsim
