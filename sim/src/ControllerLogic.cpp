#include "ControllerLogic.h"
#include "Clock.h"

namespace qsim {

namespace {
constexpr int kChip2Forward = 0x5B;
constexpr int kSerialTx = 0x5D;
constexpr int kMailbox = 0x60;
constexpr int kSerialRx = 0x61;
constexpr int kSequencerStop = 0x40;
}

uint16_t RegisterFile::chip2Readback(int r) const
{
    // Read-back layout of chip 2: identity and mode first, then the
    // sequencer's counters interleaved with status words.
    switch (r) {
    case 0: return identity.chip2Firmware;
    case 1: return chip2[1];
    case 4: return chip2[2];
    case 5: return chip2[3];
    case 8: return chip2[4];
    case 9: return chip2[5];
    case 10: return chip2[10];
    case 12: return chip2[6];
    case 13: return chip2[7];
    case 14: return chip2[8];
    case 15: return chip2[9];
    default: return 0;
    }
}

ControllerLogic::ControllerLogic(const ChipIdentity &identity, const Clock &clock)
    : clock_(clock), engine_(std::make_unique<ScanEngine>())
{
    regs_.identity = identity;
    serial_[0] = std::make_shared<SilentLine>();
    serial_[1] = std::make_shared<SilentLine>();
    powerOn();
}

void ControllerLogic::powerOn()
{
    regs_.cnfg.fill(0);
    regs_.chip2.fill(0);
    regs_.sequencerStopped = false;
    mailbox_.clear();
    reply_ = Reply::None;
    engine_->reset();
}

void ControllerLogic::attachSerial(int port, std::shared_ptr<SerialDevice> device)
{
    serial_[port & 1] = device ? std::move(device) : std::make_shared<SilentLine>();
}

bool ControllerLogic::writeCommand(const uint8_t *data, size_t length)
{
    size_t pos = 0;
    while (pos + 2 <= length) {
        const int n = data[pos];
        const int r = data[pos + 1];
        pos += 2;
        if (n == 0)
            break; // no frame: the logic ignores the rest of the transfer
        const int words = n - 1;
        const size_t available = (length - pos) / 2;
        if (words > 0 && available == 0) {
            // Read request: N-1 words from R.
            reply_ = Reply::Registers;
            replyRegister_ = r;
            replyWords_ = words;
            continue;
        }
        std::vector<uint16_t> values;
        for (int i = 0; i < words && pos + 2 <= length; ++i, pos += 2)
            values.push_back(static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8)));
        if (r == kChip2Forward) {
            chip2Command(values);
        } else if (r == kSerialTx) {
            for (uint16_t w : values) {
                const uint8_t byte = static_cast<uint8_t>(w & 0xFF);
                serialLog_[0].push_back(byte);
                serial_[0]->writeAt(clock_.now(), &byte, 1);
            }
        } else if (r == kSerialRx && words == 0) {
            reply_ = Reply::SerialRx;
        } else if (r == kMailbox && words == 0) {
            reply_ = Reply::Mailbox;
        } else {
            for (size_t i = 0; i < values.size(); ++i)
                writeRegister(r + static_cast<int>(i), values[i]);
        }
    }
    return true;
}

void ControllerLogic::writeRegister(int r, uint16_t value)
{
    if (r < 0 || r >= RegisterFile::kCnfgCount)
        return; // state registers and holes are read-only
    const uint16_t old = regs_.cnfg[r];
    regs_.cnfg[r] = value;
    if (r == 0) {
        if (!(old & 1) && (value & 1))
            regs_.sequencerStopped = false; // a scan start restarts the sequencer
        engine_->controlWritten(regs_, old, value);
    }
    if (r == 15) {
        serial_[0]->configure(static_cast<uint8_t>(value & 0xFF));
        serial_[1]->configure(static_cast<uint8_t>(value >> 8));
    }
}

uint16_t ControllerLogic::readRegister(int r) const
{
    if (r >= 0 && r < RegisterFile::kCnfgCount)
        return regs_.cnfg[r];
    const int s = r - RegisterFile::kStateFirst;
    switch (s) {
    case 0: return regs_.identity.chip1Firmware;
    case 1: return static_cast<uint16_t>(engine_->syncWord(regs_) & 0xFFFF);
    case 2: return static_cast<uint16_t>(engine_->syncWord(regs_) >> 16);
    case 5: return regs_.statusWord();
    default: return 0;
    }
}

void ControllerLogic::chip2Command(const std::vector<uint16_t> &words)
{
    if (words.empty())
        return;
    const int reg = words[0] & 0xFF;
    const int count = words[0] >> 8;
    if (reg & 0x80) {
        // Read request: the reply (echo word, then the registers) waits in the mailbox.
        mailbox_.assign(1, words[0]);
        for (int i = 0; i < count; ++i)
            mailbox_.push_back(regs_.chip2Readback((reg & 0x7F) + i));
        return;
    }
    if (reg == kSequencerStop && count == 0) {
        regs_.sequencerStopped = true;
        engine_->sequencerStopped();
        return;
    }
    for (int i = 0; i < count && i + 1 < static_cast<int>(words.size()); ++i) {
        const int target = reg + i;
        if (target < RegisterFile::kChip2Count)
            regs_.chip2[target] = words[i + 1];
    }
}

size_t ControllerLogic::readCommand(uint8_t *data, size_t capacity)
{
    size_t n = 0;
    switch (reply_) {
    case Reply::None:
        break;
    case Reply::Registers:
        for (int i = 0; i < replyWords_ && n + 2 <= capacity; ++i) {
            const uint16_t w = readRegister(replyRegister_ + i);
            data[n++] = static_cast<uint8_t>(w & 0xFF);
            data[n++] = static_cast<uint8_t>(w >> 8);
        }
        break;
    case Reply::Mailbox:
        for (size_t i = 0; i < mailbox_.size() && n + 2 <= capacity; ++i) {
            data[n++] = static_cast<uint8_t>(mailbox_[i] & 0xFF);
            data[n++] = static_cast<uint8_t>(mailbox_[i] >> 8);
        }
        break;
    case Reply::SerialRx:
        // One receive entry per read: the byte, or bit 7 set when the queue is empty.
        if (capacity >= 2) {
            uint8_t byte = 0;
            if (serial_[0]->read(clock_.now(), byte)) {
                data[0] = static_cast<uint8_t>(byte & 0x7F);
                data[1] = 0;
            } else {
                data[0] = 0x80;
                data[1] = 0;
            }
            n = 2;
        }
        break;
    }
    return n;
}

} // namespace qsim
