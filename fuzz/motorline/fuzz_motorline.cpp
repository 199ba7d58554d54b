// Arbitrary bytes on the RS232 line into the simulated motor controllers: no
// family may crash or answer without end, whatever the host sends. Input:
// first byte selects the family (and the time steps), the rest goes out in
// frames of up to 31 bytes, each followed by draining the receive queue.
#include <QuickUSB.h>
#include <SimControl.h>
#include <SimMotors.h>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    qsim::Config c;
    c.speedFactor = 0;
    c.modules[0].motor.family = static_cast<qsim::MotorFamily>(1 + data[0] % 4);
    qsim::reset(c);
    if (data[0] & 0x10)
        qsim::setMotorFault(0, static_cast<qsim::MotorFault>((data[0] >> 5) % 5), 86, 2);
    QHANDLE h = nullptr;
    if (!QuickUsbOpen(&h, "QUSB-0"))
        return 0;
    size_t pos = 1;
    while (pos < size) {
        const size_t n = size - pos < 31 ? size - pos : 31;
        std::vector<uint8_t> frame{static_cast<uint8_t>(n + 1), 0x5D};
        for (size_t i = 0; i < n; ++i) {
            frame.push_back(data[pos + i]);
            frame.push_back(0);
        }
        pos += n;
        QuickUsbWriteCommand(h, 0xC000, frame.data(), static_cast<QWORD>(frame.size()));
        qsim::advanceSimTime(0.5);
        uint8_t select[] = {1, 0x61};
        QuickUsbWriteCommand(h, 0xC000, select, sizeof select);
        // A reply is bounded: the queue must run empty within a few kilobytes.
        int drained = 0;
        for (;; ++drained) {
            uint8_t reply[2] = {0, 0};
            QWORD len = 2;
            if (!QuickUsbReadCommand(h, 0xC000, reply, &len) || len != 2 || (reply[0] & 0x80))
                break;
            if (drained > 65536)
                __builtin_trap();
        }
    }
    const qsim::MotorState s = qsim::motorState(0);
    if (s.position < 0 || s.position > s.length)
        __builtin_trap();
    QuickUsbClose(h);
    return 0;
}
