// Arbitrary transfers into the simulated unit's command endpoint: the unit
// must never crash, whatever the host sends. Input: records of
// [kind, length, bytes...]; kind bit 0 selects a read, bit 1 address 0.
#include <QuickUSB.h>
#include <SimControl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = [] {
        qsim::Config c;
        c.speedFactor = 0;
        qsim::reset(c);
        return true;
    }();
    (void)once;
    QHANDLE h = nullptr;
    if (!QuickUsbOpen(&h, "QUSB-0"))
        return 0;
    size_t pos = 0;
    while (pos + 2 <= size) {
        const uint8_t kind = data[pos];
        const size_t len = data[pos + 1];
        pos += 2;
        const QWORD address = (kind & 2) ? 0 : 0xC000;
        if (kind & 1) {
            std::vector<uint8_t> reply(len);
            QWORD n = static_cast<QWORD>(len);
            QuickUsbReadCommand(h, address, reply.data(), &n);
            if (n > len)
                __builtin_trap();
        } else {
            const size_t take = len < size - pos ? len : size - pos;
            std::vector<uint8_t> cmd(data + pos, data + pos + take);
            QuickUsbWriteCommand(h, address, cmd.data(), static_cast<QWORD>(cmd.size()));
            pos += take;
        }
    }
    QuickUsbClose(h);
    return 0;
}
