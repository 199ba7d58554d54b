// Extension point of the controller logic: what streams data to the module's
// data endpoint and measures SYNC. The default engine never streams (a read
// of the data endpoint times out) and sees no SYNC signal.
#pragma once
#include <QuickUSB.h>
#include <cstdint>

namespace qsim {

class RegisterFile;
class Clock;

class ScanEngine {
public:
    virtual ~ScanEngine() = default;
    // Control word written (CNFG 0); run bit edges start and stop a scan.
    virtual void controlWritten(const RegisterFile &, uint16_t /*oldWord*/, uint16_t /*newWord*/) {}
    // Chip-2 register written (a value of 1 to register 12 is the SYNC measurement pulse).
    virtual void chip2Written(const RegisterFile &, int /*reg*/, uint16_t /*value*/) {}
    // Chip-2 sequencer stop command.
    virtual void sequencerStopped() {}
    // Controller logic reset pulse.
    virtual void reset() {}
    // SYNC period word as the controller measures it (state registers 0x66-0x67).
    virtual uint32_t syncWord(const RegisterFile &) const { return 0xA0000000u; }
    // The next bulk read delivers a damaged stream (a rehearsed fault).
    virtual void damageNextRead() {}
    // Bulk read of the data endpoint. Called with the simulator's lock held.
    // Returns 0 and sets `error` on failure.
    virtual QRESULT readData(const RegisterFile &, const Clock &, QBYTE *, QDWORD *length, QULONG &error)
    {
        *length = 0;
        error = QUSB_ERROR_TIMEOUT;
        return 0;
    }
};

} // namespace qsim
