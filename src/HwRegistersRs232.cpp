// RS232 pass-through on the register mirror: port configuration in CNFG 15,
// transmit through register 0x5D (one word per byte), receive stream at 0x61
// (two bytes per entry, bit 7 of the first set when the queue is empty).
#include "DriverLog.h"
#include "HwRegisters.h"

#include <algorithm>

namespace {
constexpr int kMaxFlushReplies = 4096;
constexpr unsigned kFrameBytes = 31;
constexpr uint8_t kTransmitRegister = 0x5D;
constexpr uint8_t kReceiveRegister = 0x61;

bool available(const HwRegisters &r)
{
    if (r.registersRead && r.chip1Firmware() >= 0x1020)
        return true;
    LOG_WARN("RS232 pass-through is not available (chip1 firmware 0x%04X)", r.chip1Firmware());
    return false;
}
}

bool HwRegisters::configureRS232(char port, unsigned char rateCode, bool a, bool b)
{
    if (!available(*this))
        return false;
    if (chip1Firmware() < 0x1080)
        return rateCode == 1 && a && b;
    const uint16_t bits = static_cast<uint16_t>((b ? 1 : 0) | (a ? 2 : 0) | ((rateCode & 7u) << 5));
    uint16_t w = rs232Config;
    if (port == 0)
        w = static_cast<uint16_t>((w & 0xFF00) | bits);
    else
        w = static_cast<uint16_t>((w & 0x00FF) | (bits << 8));
    return setRs232Config(w);
}

bool HwRegisters::flushRS232(unsigned char)
{
    if (!available(*this))
        return false;
    const uint8_t select[] = {1, kReceiveRegister};
    if (!send(select, sizeof select))
        return false;
    for (int i = 0; i < kMaxFlushReplies; ++i) {
        uint8_t reply[2] = {0, 0};
        uint16_t got = 2;
        if (!module->readCommand(kCommandAddress, reply, &got) || got != 2)
            return false;
        if (reply[0] & 0x80)
            return true;
    }
    LOG_WARN("flushRS232() : receive queue still not empty after %d replies", kMaxFlushReplies);
    return false;
}

bool HwRegisters::readRS232(unsigned char port, char *buffer, unsigned short *length)
{
    if (!buffer || !length || !available(*this))
        return false;
    if (port != 0)
        return true;
    const uint8_t select[] = {1, kReceiveRegister};
    if (!send(select, sizeof select))
        return false;
    for (unsigned short i = 0; i < *length; ++i) {
        uint8_t reply[2] = {0, 0};
        uint16_t got = 2;
        if (!module->readCommand(kCommandAddress, reply, &got) || got != 2)
            return false;
        if (reply[0] & 0x80) {
            *length = i;
            return true;
        }
        buffer[i] = static_cast<char>(reply[0]);
    }
    return true;
}

bool HwRegisters::writeRS232(unsigned char, const char *data, unsigned short length)
{
    if ((!data && length) || !available(*this))
        return false;
    // Longer data go out as consecutive frames of at most 31 bytes.
    for (unsigned done = 0; done < length;) {
        const unsigned n = std::min<unsigned>(kFrameBytes, length - done);
        uint8_t frame[2 + 2 * kFrameBytes];
        frame[0] = static_cast<uint8_t>(n + 1);
        frame[1] = kTransmitRegister;
        for (unsigned i = 0; i < n; ++i) {
            frame[2 + 2 * i] = static_cast<uint8_t>(data[done + i]);
            frame[3 + 2 * i] = 0;
        }
        if (!send(frame, static_cast<uint16_t>(2 + 2 * n)))
            return false;
        done += n;
    }
    return true;
}
