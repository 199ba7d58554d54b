#include "HwRegisters.h"
#include "DriverLog.h"

#include <cstring>

namespace {
constexpr uint8_t kChip2 = 0x5B;
constexpr uint8_t kStateFirst = 0x65;

inline void putWord(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}
inline void putDouble(uint8_t *p, uint32_t v)
{
    putWord(p, v & 0xFFFF);
    putWord(p + 2, v >> 16);
}
inline uint16_t word(const uint8_t *p, int i)
{
    return static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8));
}
inline uint32_t dword(const uint8_t *p, int byte)
{
    return static_cast<uint32_t>(p[byte]) | (static_cast<uint32_t>(p[byte + 1]) << 8) |
           (static_cast<uint32_t>(p[byte + 2]) << 16) | (static_cast<uint32_t>(p[byte + 3]) << 24);
}
}

HwRegisters::HwRegisters(CQuickUsb *m) : module(m)
{
    if (module && module->isOpen())
        readAll();
}

bool HwRegisters::send(const uint8_t *bytes, uint16_t length, uint16_t address)
{
    if (!module || !module->isOpen())
        return false;
    uint8_t buffer[256];
    if (length > sizeof buffer)
        return false;
    std::memcpy(buffer, bytes, length);
    return module->writeCommand(address, buffer, length);
}

bool HwRegisters::request(const uint8_t *bytes, uint16_t length, uint8_t *reply, uint16_t replyLength,
                          uint16_t address)
{
    if (!send(bytes, length, address))
        return false;
    uint16_t got = replyLength;
    if (!module->readCommand(address, reply, &got))
        return false;
    return got == replyLength;
}

// ---- Whole-register transfers ----------------------------------------------------

bool HwRegisters::readAll()
{
    uint8_t reply[32];
    const uint8_t state[] = {7, kStateFirst};
    if (!request(state, sizeof state, reply, 12))
        return false;
    chip1Fw = word(reply, 0);
    status = word(reply, 5);

    const uint8_t cnfg[] = {17, 0};
    if (!request(cnfg, sizeof cnfg, reply, 32))
        return false;
    {
        std::lock_guard<std::mutex> lock(controlLock);
        cnfg0 = word(reply, 0);
    }
    totalCount = dword(reply, 2);
    idleDac = static_cast<int16_t>(word(reply, 3));
    startDac = static_cast<int16_t>(word(reply, 4));
    increment = word(reply, 5);
    stepCountM1 = word(reply, 6);
    firstDelay = word(reply, 7);
    nextDelay = word(reply, 8);
    stepLength = word(reply, 9) | (static_cast<uint32_t>(word(reply, 14)) << 16);
    gainSwitchIndex = word(reply, 10);
    gainSwitchFlag = static_cast<uint8_t>(word(reply, 11) & 0xFF);
    probeMode = word(reply, 13);
    rs232Config = word(reply, 15);

    const uint8_t chip2[] = {2, kChip2, 0x80, 16, 1, 0x60};
    if (!request(chip2, sizeof chip2, reply, 32))
        return false;
    chip2Fw = word(reply, 1);
    chip2Mode = word(reply, 2);
    chip2Reg2 = dword(reply, 10);
    chip2Reg4 = dword(reply, 18);
    chip2Reg6 = dword(reply, 26);
    analogControl = word(reply, 11);
    registersRead = true;
    return true;
}

bool HwRegisters::writeAll()
{
    uint8_t c2[30] = {15, kChip2, 1, 13};
    putWord(c2 + 4, chip2Mode);
    putDouble(c2 + 6, chip2Reg2);
    putDouble(c2 + 10, chip2Reg4);
    putDouble(c2 + 14, chip2Reg6);
    putDouble(c2 + 18, chip2Reg8);
    putWord(c2 + 22, analogControl);
    if (!send(c2, sizeof c2))
        return false;
    uint8_t c1[32] = {16, 0};
    putWord(c1 + 2, cnfg0.load() & ~kRunBit);
    putDouble(c1 + 4, totalCount);
    putWord(c1 + 8, static_cast<uint16_t>(idleDac));
    putWord(c1 + 10, static_cast<uint16_t>(startDac));
    putWord(c1 + 12, increment);
    putWord(c1 + 14, stepCountM1);
    putWord(c1 + 16, firstDelay);
    putWord(c1 + 18, nextDelay);
    putWord(c1 + 20, stepLength & 0xFFFF);
    putWord(c1 + 22, gainSwitchIndex);
    putWord(c1 + 24, gainSwitchFlag);
    putWord(c1 + 26, 0);
    putWord(c1 + 28, probeMode);
    putWord(c1 + 30, stepLength >> 16);
    return send(c1, sizeof c1);
}

bool HwRegisters::reset(bool write)
{
    if (!module || !module->isOpen())
        return false;
    uint8_t value = 0;
    uint16_t length = 1;
    if (!module->readPort(0, &value, &length) || length != 1)
        return false;
    value = static_cast<uint8_t>(value & ~0x04);
    if (!module->writePort(0, &value, 1))
        return false;
    value = static_cast<uint8_t>(value | 0x04);
    if (!module->writePort(0, &value, 1))
        return false;
    if (!stopSequencer())
        return false;
    return write ? writeAll() : readAll();
}

void HwRegisters::dumpRegisters()
{
    LOG_DEB("********** CONFIGURATION AND STATE REGISTERS OF FPGA1 PROCESSOR");
    uint8_t reply[64];
    uint16_t got = 2;
    if (!module || !module->isOpen() || !module->readCommand(0, reply, &got)) {
        driverSleepMs(100);
        return;
    }
    const uint8_t cnfg[] = {0x21, 0x00};
    if (!request(cnfg, sizeof cnfg, reply, 64, 0)) {
        driverSleepMs(100);
        return;
    }
    for (int i = 0; i < 20; ++i)
        LOG_DEB("CNFG_REG[%d]: 0x%04X", i, word(reply, i));
    const uint8_t state[] = {0x21, kStateFirst};
    if (!request(state, sizeof state, reply, 64, 0)) {
        driverSleepMs(100);
        return;
    }
    for (int i = 0; i < 10; ++i)
        LOG_DEB("STAT_REG[%d]: 0x%04X", kStateFirst + i, word(reply, i));
    const uint8_t chip2[] = {2, kChip2, 0x80, 20, 1, 0x60};
    if (!send(chip2, sizeof chip2, 0)) {
        driverSleepMs(100);
        return;
    }
    driverSleepMs(100);
    std::memset(reply, 0, sizeof reply);
    got = 50;
    if (!module->readCommand(0, reply, &got)) {
        driverSleepMs(100);
        return;
    }
    for (int i = 0; i < 14 && 2 * (i + 2) <= got; ++i)
        LOG_DEB("CHIP2_REG[%d]: 0x%04X", i, word(reply, i + 1));
}

// ---- CNFG registers ------------------------------------------------------------------

bool HwRegisters::writeCnfg(int reg, uint16_t value)
{
    uint8_t bytes[4] = {2, static_cast<uint8_t>(reg)};
    putWord(bytes + 2, value);
    return send(bytes, sizeof bytes);
}

bool HwRegisters::setControlWord(uint16_t w)
{
    std::lock_guard<std::mutex> lock(controlLock);
    cnfg0 = w;
    return writeCnfg(0, w);
}

bool HwRegisters::updateControlWord(uint16_t clearBits, uint16_t setBits)
{
    std::lock_guard<std::mutex> lock(controlLock);
    const auto w = static_cast<uint16_t>((cnfg0.load() & ~clearBits) | setBits);
    cnfg0 = w;
    return writeCnfg(0, w);
}

bool HwRegisters::stopRun()
{
    std::lock_guard<std::mutex> lock(controlLock);
    const uint16_t before = cnfg0.load();
    const auto w = static_cast<uint16_t>(before & ~kRunBit);
    cnfg0 = w;
    if (writeCnfg(0, w))
        return true;
    cnfg0 = before;
    return false;
}

void HwRegisters::restoreValues(const HwRegisters &s)
{
    {
        std::lock_guard<std::mutex> lock(controlLock);
        cnfg0 = s.cnfg0.load();
    }
    totalCount = s.totalCount;
    idleDac = s.idleDac;
    startDac = s.startDac;
    increment = s.increment;
    stepCountM1 = s.stepCountM1;
    firstDelay = s.firstDelay;
    nextDelay = s.nextDelay;
    stepLength = s.stepLength;
    gainSwitchIndex = s.gainSwitchIndex;
    gainSwitchFlag = s.gainSwitchFlag;
    triggerDelay = s.triggerDelay;
    probeMode = s.probeMode;
    rs232Config = s.rs232Config;
    chip2Mode = s.chip2Mode;
    chip2Reg2 = s.chip2Reg2;
    chip2Reg4 = s.chip2Reg4;
    chip2Reg6 = s.chip2Reg6;
    chip2Reg8 = s.chip2Reg8;
    analogControl = s.analogControl;
}
bool HwRegisters::setIdleDac(int16_t c) { idleDac = c; return writeCnfg(3, static_cast<uint16_t>(c)); }
bool HwRegisters::setStartDac(int16_t c) { startDac = c; return writeCnfg(4, static_cast<uint16_t>(c)); }
bool HwRegisters::setIncrement(int inc) { increment = static_cast<uint16_t>(inc); return writeCnfg(5, increment); }
bool HwRegisters::setFirstSettlingDelay(uint16_t d) { firstDelay = d; return writeCnfg(7, d); }
bool HwRegisters::setNextSettlingDelay(uint16_t d) { nextDelay = d; return writeCnfg(8, d); }
bool HwRegisters::setGainSwitchIndex(uint16_t i) { gainSwitchIndex = i; return writeCnfg(10, i); }
bool HwRegisters::setGainSwitchFlag(uint8_t f) { gainSwitchFlag = f; return writeCnfg(11, f); }
bool HwRegisters::setTriggerDelay(uint16_t d) { triggerDelay = d; return writeCnfg(12, d); }
bool HwRegisters::setProbeModeBits(uint16_t b) { probeMode = b; return writeCnfg(13, b); }
bool HwRegisters::setRs232Config(uint16_t w) { rs232Config = w; return writeCnfg(15, w); }

bool HwRegisters::setStepCount(unsigned n)
{
    const uint16_t m = static_cast<uint16_t>(n == 0 ? 0 : n - 1);
    stepCountM1 = m;
    totalCount = (static_cast<uint32_t>(m) + 1) * (chip2Reg6 + 1) - 1;
    uint8_t bytes[10] = {2, 6};
    putWord(bytes + 2, m);
    bytes[4] = 3;
    bytes[5] = 1;
    putDouble(bytes + 6, totalCount);
    return send(bytes, sizeof bytes);
}

bool HwRegisters::setStepLength(uint32_t s)
{
    stepLength = s;
    return writeCnfg(9, s & 0xFFFF) && writeCnfg(14, static_cast<uint16_t>(s >> 16));
}

bool HwRegisters::setSwitchField(int shift, bool enable, unsigned index)
{
    static const uint16_t codes[3] = {1, 2, 3};
    const uint16_t code = (!enable || index >= 3) ? 0 : codes[index];
    return updateControlWord(static_cast<uint16_t>(3u << shift), static_cast<uint16_t>(code << shift));
}

bool HwRegisters::setSwitchField1(bool enable, unsigned index) { return setSwitchField(1, enable, index); }
bool HwRegisters::setSwitchField2(bool enable, unsigned index) { return setSwitchField(3, enable, index); }

bool HwRegisters::setAuxSwitch(bool on)
{
    return updateControlWord(kAuxSwitchBit, on ? kAuxSwitchBit : 0);
}

bool HwRegisters::startScan()
{
    uint8_t bytes[8] = {2, 0, 0, 0, 2, 0, 0, 0};
    std::lock_guard<std::mutex> lock(controlLock);
    const uint16_t w = cnfg0.load();
    putWord(bytes + 2, w & ~kRunBit);
    cnfg0 = static_cast<uint16_t>(w | kRunBit);
    putWord(bytes + 6, cnfg0.load());
    return send(bytes, sizeof bytes);
}

// ---- Chip-2 registers -------------------------------------------------------------------

bool HwRegisters::setChip2Word(int reg, uint16_t value)
{
    switch (reg) {
    case 1: chip2Mode = value; break;
    case 10: analogControl = value; break;
    default: break;
    }
    uint8_t bytes[6] = {3, kChip2, static_cast<uint8_t>(reg), 1};
    putWord(bytes + 4, value);
    return send(bytes, sizeof bytes);
}

bool HwRegisters::setChip2Double(int reg, uint32_t value)
{
    switch (reg) {
    case 2: chip2Reg2 = value; break;
    case 4: chip2Reg4 = value; break;
    case 8: chip2Reg8 = value; break;
    default: break;
    }
    uint8_t bytes[8] = {4, kChip2, static_cast<uint8_t>(reg), 2};
    putDouble(bytes + 4, value);
    return send(bytes, sizeof bytes);
}

bool HwRegisters::setModeBit(uint16_t bit, bool on)
{
    return setChip2Word(1, static_cast<uint16_t>(on ? (chip2Mode | bit) : (chip2Mode & ~bit)));
}

bool HwRegisters::setSyncDelay(uint32_t samples) { return setChip2Double(2, samples + 6); }
bool HwRegisters::setSyncCycles(uint32_t cycles) { return setChip2Double(4, cycles ? cycles - 1 : 0); }
bool HwRegisters::setSamplesPerPoint(uint32_t samples) { return setChip2Double(8, samples ? samples - 1 : 0); }

bool HwRegisters::setSyncPoints(uint32_t p)
{
    const uint32_t q = p ? p - 1 : 0;
    const uint32_t k = p ? p : 1;
    chip2Reg6 = q;
    totalCount = k * (static_cast<uint32_t>(stepCountM1) + 1) - 1;
    uint8_t bytes[14] = {4, kChip2, 6, 2};
    putDouble(bytes + 4, q);
    bytes[8] = 3;
    bytes[9] = 1;
    putDouble(bytes + 10, totalCount);
    return send(bytes, sizeof bytes);
}

bool HwRegisters::stopSequencer()
{
    const uint8_t bytes[] = {2, kChip2, 0x40, 0x00};
    return send(bytes, sizeof bytes);
}

bool HwRegisters::syncPulse()
{
    const uint8_t bytes[] = {3, kChip2, 12, 1, 1, 0, 3, kChip2, 12, 1, 0, 0};
    return send(bytes, sizeof bytes);
}

bool HwRegisters::readSyncWord(bool pulse, uint32_t &value)
{
    if (pulse && !syncPulse())
        return false;
    const uint8_t bytes[] = {2, kChip2, 0x8C, 2, 1, 0x60, 3, 0x66};
    uint8_t reply[4];
    if (!request(bytes, sizeof bytes, reply, 4))
        return false;
    value = dword(reply, 0);
    return true;
}

// ---- Analog control word ---------------------------------------------------------------------

bool HwRegisters::writeAnalog(uint16_t w) { return setChip2Word(10, w); }

bool HwRegisters::setInputSource(int code)
{
    static const uint16_t bits[3] = {3, 0, 1};
    const uint16_t b = (code >= 0 && code < 3) ? bits[code] : 3;
    return writeAnalog(static_cast<uint16_t>((analogControl & ~0x3u) | b));
}

bool HwRegisters::setCurrentResistor(int r)
{
    static const uint16_t bits[3] = {3, 2, 1};
    const uint16_t b = (r >= 0 && r < 3) ? bits[r] : 1;
    return writeAnalog(static_cast<uint16_t>((analogControl & ~0xCu) | (b << 2)));
}

bool HwRegisters::setCalibrationLoad(bool on)
{
    const bool bit = hwRevision < 'B' ? !on : on;
    return writeAnalog(static_cast<uint16_t>(bit ? (analogControl | 0x10) : (analogControl & ~0x10u)));
}

bool HwRegisters::setGain(bool high)
{
    return writeAnalog(static_cast<uint16_t>(high ? (analogControl | 0x20) : (analogControl & ~0x20u)));
}

bool HwRegisters::setFrontEnable(bool bit7, bool bit6)
{
    uint16_t w = static_cast<uint16_t>(analogControl & ~0xC0u);
    if (bit7)
        w |= 0x80;
    if (bit6)
        w |= 0x40;
    return writeAnalog(w);
}

int HwRegisters::inputSource() const
{
    switch (analogControl & 3) {
    case 3: return eHV;
    case 1: return eGND;
    case 0: return eReference;
    default: return eHV;
    }
}

int HwRegisters::currentResistor() const
{
    switch ((analogControl >> 2) & 3) {
    case 3: return eSmall;
    case 2: return eMedium;
    default: return eLarge;
    }
}

bool HwRegisters::calibrationLoadOn() const
{
    const bool bit = (analogControl & 0x10) != 0;
    return hwRevision < 'B' ? !bit : bit;
}

bool HwRegisters::gainHigh() const { return (analogControl & 0x20) != 0; }
