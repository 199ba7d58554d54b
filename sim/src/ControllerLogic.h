// The controller unit's logic behind the module's command endpoint: chip 1
// with its configuration (CNFG) and state registers, chip 2 behind register
// 0x5B, the RS232 bridge at 0x5D (transmit) and 0x61 (receive stream).
// Frames: N, R, then N-1 little-endian words for registers R, R+1, ...; a
// frame whose words are absent is a read request for N-1 words from R.
#pragma once
#include "ScanEngine.h"
#include <SimControl.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace qsim {

class Clock;

struct ChipIdentity {
    uint16_t chip1Firmware = 0x1090;
    uint16_t chip2Firmware = 0x1070;
    bool triggerAvailable = true;
    bool doubleProbeAvailable = true;
};

// Register file of both chips (the scan engine reads it).
class RegisterFile {
public:
    static constexpr int kCnfgCount = 32;
    static constexpr int kStateFirst = 0x65;
    static constexpr int kStateCount = 32;
    static constexpr int kChip2Count = 32;

    std::array<uint16_t, kCnfgCount> cnfg{};
    std::array<uint16_t, kChip2Count> chip2{};   // write space
    ChipIdentity identity;
    bool sequencerStopped = false;

    uint16_t controlWord() const { return cnfg[0]; }
    uint16_t statusWord() const {
        return static_cast<uint16_t>((identity.triggerAvailable ? 1 : 0) | (identity.doubleProbeAvailable ? 2 : 0));
    }
    uint32_t chip2Double(int r) const { return chip2[r] | (uint32_t(chip2[r + 1]) << 16); }
    // Chip-2 read-back space (differs from the write space).
    uint16_t chip2Readback(int r) const;
};

class ControllerLogic {
public:
    ControllerLogic(const ChipIdentity &identity, const Clock &clock);
    void powerOn();                           // reset pulse
    // Command endpoint. Address 0xC000 (and 0, the diagnostic alias).
    bool writeCommand(const uint8_t *data, size_t length);
    size_t readCommand(uint8_t *data, size_t capacity);

    RegisterFile &registers() { return regs_; }
    const RegisterFile &registers() const { return regs_; }
    ScanEngine &scanEngine() { return *engine_; }
    void setScanEngine(std::unique_ptr<ScanEngine> engine) { engine_ = std::move(engine); }

    void attachSerial(int port, std::shared_ptr<SerialDevice> device);
    const std::vector<uint8_t> &serialWritten(int port) const { return serialLog_[port & 1]; }

    // Register as a read request would return it (CNFG or state).
    uint16_t readRegister(int r) const;

private:
    enum class Reply { None, Registers, Mailbox, SerialRx };
    void writeRegister(int r, uint16_t value);
    void chip2Command(const std::vector<uint16_t> &words);

    const Clock &clock_;
    RegisterFile regs_;
    std::unique_ptr<ScanEngine> engine_;
    std::array<std::shared_ptr<SerialDevice>, 2> serial_;
    std::array<std::vector<uint8_t>, 2> serialLog_;
    std::vector<uint16_t> mailbox_;
    Reply reply_ = Reply::None;
    int replyRegister_ = 0;
    int replyWords_ = 0;
};

} // namespace qsim
