// Mirror of the controller's registers (chip 1 CNFG and state registers, the
// chip-2 registers behind 0x5B) and the encoding of register commands on the
// module's command address 0xC000. One per connection, owned by the driver.
// Every transfer refuses while the module is closed; a setter updates the
// mirror first and returns whether its transfer succeeded.
// Threads: the job thread owns the mirror; another thread may only stop a
// scan (clearRunBit) and read the run bit. The control word is therefore
// atomic, and every change of it holds a short lock across its transfer, so
// the order on the wire is the order in the mirror.
#pragma once

#include "CQuickUsb.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class HwRegisters {
public:
    static constexpr uint16_t kCommandAddress = 0xC000;

    enum InputSource { eHV = 0, eReference = 1, eGND = 2 };
    enum Resistor { eSmall = 0, eMedium = 1, eLarge = 2 };

    // Control word (CNFG 0) bits
    static constexpr uint16_t kRunBit = 0x0001;
    static constexpr uint16_t kAuxSwitchBit = 0x0020;
    static constexpr uint16_t kTriggerEnableBit = 0x0040;
    static constexpr uint16_t kTriggerModeBit = 0x0080;
    // Status word bits
    static constexpr uint16_t kTriggerAvailableBit = 0x0001;
    static constexpr uint16_t kDoubleProbeAvailableBit = 0x0002;
    // Chip-2 mode word bits
    static constexpr uint16_t kSyncScanBit = 0x0001;
    static constexpr uint16_t kAccumulateBit = 0x0004;
    static constexpr uint16_t k16BitBit = 0x0008;

    explicit HwRegisters(CQuickUsb *module);

    // Whole-register transfers
    bool readAll();
    bool writeAll();
    bool reset(bool write);
    // Diagnostic dump of all registers into the driver log (command address 0).
    void dumpRegisters();

    // CNFG registers
    bool setControlWord(uint16_t word);
    // Clears, then sets bits of the control word in one locked step.
    bool updateControlWord(uint16_t clearBits, uint16_t setBits);
    bool clearRunBit() { return updateControlWord(kRunBit, 0); }
    // Clears the run bit; when the transfer fails the mirror keeps it set:
    // the unit may still be scanning, and only a stop that went out says not.
    bool stopRun();
    // The unit may be scanning although no start went out (a failed stop).
    void markRunning()
    {
        std::lock_guard<std::mutex> lock(controlLock);
        cnfg0 = static_cast<uint16_t>(cnfg0.load() | kRunBit);
    }
    bool setIdleDac(int16_t code);
    bool setStartDac(int16_t code);
    bool setIncrement(int increment);
    bool setStepCount(unsigned n);
    bool setFirstSettlingDelay(uint16_t delay);
    bool setNextSettlingDelay(uint16_t delay);
    bool setStepLength(uint32_t length);
    bool setGainSwitchIndex(uint16_t index);
    bool setGainSwitchFlag(uint8_t flag);
    bool setTriggerDelay(uint16_t delay);
    bool setProbeModeBits(uint16_t bits);
    bool setRs232Config(uint16_t word);
    bool setSwitchField1(bool enable, unsigned index);
    bool setSwitchField2(bool enable, unsigned index);
    bool setAuxSwitch(bool on);
    bool startScan();

    // Chip-2 registers
    bool setChip2Word(int reg, uint16_t value);
    bool setChip2Double(int reg, uint32_t value);
    bool setModeBit(uint16_t bit, bool on);
    bool setSyncDelay(uint32_t samples);       // register 2 := samples + 6
    bool setSyncCycles(uint32_t cycles);       // register 4 := cycles - 1
    bool setSamplesPerPoint(uint32_t samples); // register 8 := samples - 1
    bool setSyncPoints(uint32_t points);       // register 6 with CNFG 1-2
    bool stopSequencer();
    bool syncPulse();
    bool readSyncWord(bool pulse, uint32_t &word);

    // Analog control word (chip-2 register 10)
    bool setInputSource(int code);
    bool setCurrentResistor(int resistor);
    bool setCalibrationLoad(bool on);
    bool setGain(bool high);
    bool setFrontEnable(bool bit7, bool bit6);
    int inputSource() const;
    int currentResistor() const;
    bool calibrationLoadOn() const;
    bool gainHigh() const;

    // RS232 pass-through (HwRegistersRs232.cpp): refused unless the registers
    // were read and chip1 firmware is 0x1020 or later. The linear drives use these.
    bool configureRS232(char port, unsigned char rateCode, bool a, bool b);
    bool flushRS232(unsigned char port);
    bool readRS232(unsigned char port, char *buffer, unsigned short *length);
    bool writeRS232(unsigned char port, const char *data, unsigned short length);

    // Raw transfers on the command address (false on a closed module or a short reply).
    bool send(const uint8_t *bytes, uint16_t length, uint16_t address = kCommandAddress);
    bool request(const uint8_t *bytes, uint16_t length, uint8_t *reply, uint16_t replyLength,
                 uint16_t address = kCommandAddress);

    // Mirror
    uint16_t chip1Firmware() const { return registersRead ? chip1Fw : 0; }
    uint16_t chip2Firmware() const { return registersRead ? chip2Fw : 0; }
    uint16_t statusWord() const { return status; }
    uint16_t controlWord() const { return cnfg0.load(); }
    bool runBit() const { return (cnfg0.load() & kRunBit) != 0; }
    // Gives back the register values of `saved` (not the module, firmware and
    // status words), as after a calibration; the device is not written.
    void restoreValues(const HwRegisters &saved);

    CQuickUsb *module;
    uint16_t chip1Fw = 0, chip2Fw = 0, status = 0;
    // CNFG 0: read by other threads (run bit); a copy takes its value.
    struct ControlWord : std::atomic<uint16_t> {
        ControlWord() : std::atomic<uint16_t>(0) {}
        ControlWord(const ControlWord &o) : std::atomic<uint16_t>(o.load()) {}
        ControlWord &operator=(const ControlWord &o) { store(o.load()); return *this; }
        ControlWord &operator=(uint16_t v) { store(v); return *this; }
    } cnfg0;
    uint32_t totalCount = 0;     // CNFG 1-2
    int16_t idleDac = 0;         // CNFG 3
    int16_t startDac = 0;        // CNFG 4
    uint16_t increment = 0;      // CNFG 5
    uint16_t stepCountM1 = 0;    // CNFG 6
    uint16_t firstDelay = 0;     // CNFG 7
    uint16_t nextDelay = 0;      // CNFG 8
    uint32_t stepLength = 0;     // CNFG 9 (low) and 14 (high)
    uint16_t gainSwitchIndex = 0;// CNFG 10
    uint8_t gainSwitchFlag = 0;  // CNFG 11
    uint16_t triggerDelay = 0;   // CNFG 12
    uint16_t probeMode = 0;      // CNFG 13
    uint16_t rs232Config = 0;    // CNFG 15
    uint16_t chip2Mode = 0;      // chip-2 register 1
    uint32_t chip2Reg2 = 0, chip2Reg4 = 0, chip2Reg6 = 0, chip2Reg8 = 0;
    uint16_t analogControl = 0;  // chip-2 register 10
    bool registersRead = false;
    int8_t hwRevision = 0;

private:
    // Serialises changes of the control word with their transfers; a copy has its own.
    struct Lock : std::mutex {
        Lock() = default;
        Lock(const Lock &) : std::mutex() {}
        Lock &operator=(const Lock &) { return *this; }
    };
    Lock controlLock;

    bool writeCnfg(int reg, uint16_t value);
    bool setSwitchField(int shift, bool enable, unsigned index);
    bool writeAnalog(uint16_t word);
};
