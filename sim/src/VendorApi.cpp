// The module library's C functions over the simulated world. Every call takes
// the world's lock, counts itself, honours injected faults and, on failure,
// leaves its code for QuickUsbGetLastError (per calling thread). With the bus
// trace on, each call also writes its line before it releases the lock.
#include "World.h"

#include <cstring>

using namespace qsim;

namespace {

thread_local QULONG lastError = QUSB_ERROR_NO_ERROR;
// Outcome of the call in progress on this thread, for its trace line.
thread_local bool callFailed = false;
thread_local QULONG callError = 0;

QRESULT failWith(QULONG code)
{
    lastError = code;
    callFailed = true;
    callError = code;
    return 0;
}

int moduleIndex(QHANDLE handle)
{
    return static_cast<int>(reinterpret_cast<uintptr_t>(handle)) - 1;
}

// Module behind an open handle (handles are index + 1).
UsbModule *openModule(World &w, QHANDLE handle)
{
    const auto index = reinterpret_cast<uintptr_t>(handle);
    UsbModule *m = index >= 1 ? w.module(static_cast<int>(index - 1)) : nullptr;
    return m && m->open ? m : nullptr;
}

struct Guard {
    World &w;
    std::lock_guard<std::mutex> lock;
    CallFault fault{};
    bool faulted;
    // Trace line of this call (filled only while tracing).
    const char *name;
    bool tracing;
    double start = 0;
    std::string args, meaning;
    Guard(Call call, const char *callName)
        : w(world()), lock(w.mutex), faulted(w.nextFault(call, fault)), name(callName), tracing(w.trace.active())
    {
        callFailed = false;
        callError = 0;
        if (tracing)
            start = w.clock->now();
    }
    ~Guard()
    {
        if (tracing)
            w.trace.write(start, name, args, !callFailed, callError,
                          faulted ? (meaning.empty() ? "" : meaning + "; ") + "injected fault" : meaning);
    }
    bool failNow() const { return faulted && fault.code != 0; }
    unsigned missing() const { return faulted && fault.code == 0 ? fault.missingBytes : 0; }
};

// Whether a command transfer leaves a scanning unit's run bit clear: a stop.
bool stopsScan(const QBYTE *data, size_t length, uint16_t control)
{
    if (!(control & 1) || !data)
        return false;
    size_t pos = 0;
    while (pos + 2 <= length) {
        const int n = data[pos], r = data[pos + 1];
        pos += 2;
        if (n == 0)
            break;
        const int words = n - 1;
        if (words > 0 && (length - pos) / 2 == 0)
            continue; // a read request
        for (int i = 0; i < words && pos + 2 <= length; ++i, pos += 2)
            if (r == 0 && i == 0)
                control = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
    }
    return !(control & 1);
}

// Counts a module call for the rehearsed faults (fault.* keys); true when
// it must fail. A failing call changes nothing on the unit.
bool rehearsedFault(Guard &g, UsbModule &m, Call call, const QBYTE *data, size_t length)
{
    FaultCounts &n = m.counts;
    const FaultSchedule &f = m.faults;
    bool fail = n.gone;
    if (!fail) {
        ++n.calls;
        if (f.gone && n.calls >= f.gone)
            fail = n.gone = true;
    }
    if (call == Call::WriteCommand) {
        ++n.writes;
        fail = f.write.hits(n.writes) || fail;
        if (stopsScan(data, length, m.controller().registers().cnfg[0])) {
            ++n.stops;
            fail = f.stop.hits(n.stops) || fail;
        }
    } else if (call == Call::ReadData) {
        ++n.reads;
        fail = f.read.hits(n.reads) || fail;
        if (!fail && f.stream.hits(n.reads)) {
            m.controller().scanEngine().damageNextRead();
            g.faulted = true;
        }
    }
    if (fail)
        g.faulted = true;
    return fail;
}

template <typename Len> Len shorten(Len n, unsigned missing)
{
    return missing >= n ? Len(0) : Len(n - missing);
}

} // namespace

extern "C" {

QRESULT QuickUsbFindModules(char *nameList, long length)
{
    Guard g(Call::FindModules, "QuickUsbFindModules");
    if (g.tracing)
        g.args = format("len=%ld", length);
    if (g.failNow())
        return failWith(g.fault.code);
    if (!nameList || length < 2)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    std::string list;
    for (auto &m : g.w.modules)
        if (!m->counts.gone) // an unplugged module is not found
            list += m->config().name + '\0';
    list += '\0';
    if (list.size() > static_cast<size_t>(length))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    std::memcpy(nameList, list.data(), list.size());
    if (g.tracing) {
        for (auto &m : g.w.modules)
            if (!m->counts.gone)
                g.meaning += (g.meaning.empty() ? "modules " : ",") + m->config().name;
        if (g.meaning.empty())
            g.meaning = "no modules";
    }
    if (list.size() == 1)
        return failWith(QUSB_ERROR_CANNOT_FIND_DEVICE);
    return 1;
}

QRESULT QuickUsbOpen(QHANDLE *handle, const char *devName)
{
    Guard g(Call::Open, "QuickUsbOpen");
    if (g.tracing)
        g.args = format("name=%s", devName ? devName : "(null)");
    if (g.failNow())
        return failWith(g.fault.code);
    if (!handle || !devName)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    for (size_t i = 0; i < g.w.modules.size(); ++i) {
        UsbModule &m = *g.w.modules[i];
        if (m.config().name != devName)
            continue;
        if (!m.config().openable || m.open || m.counts.gone)
            return failWith(QUSB_ERROR_CANNOT_OPEN_MODULE);
        m.open = true;
        m.opened();
        *handle = reinterpret_cast<QHANDLE>(static_cast<uintptr_t>(i + 1));
        if (g.tracing)
            g.meaning = format("handle %zu", i + 1);
        return 1;
    }
    return failWith(QUSB_ERROR_CANNOT_FIND_DEVICE);
}

QRESULT QuickUsbClose(QHANDLE handle)
{
    Guard g(Call::Close, "QuickUsbClose");
    if (g.tracing)
        g.args = format("h=%d", moduleIndex(handle) + 1);
    if (g.failNow())
        return failWith(g.fault.code);
    UsbModule *m = openModule(g.w, handle);
    if (!m)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    m->open = false;
    return 1;
}

QRESULT QuickUsbGetLastError(QULONG *error)
{
    Guard g(Call::GetLastError, "QuickUsbGetLastError");
    if (g.failNow() || !error) {
        callFailed = true;
        return 0;
    }
    *error = lastError;
    if (g.tracing)
        g.meaning = format("error %lu", lastError);
    return 1;
}

#define QSIM_MODULE_CALL_WITH(call, payload, payloadLength, argFormat, ...) \
    Guard g(Call::call, "QuickUsb" #call);                              \
    if (g.tracing)                                                      \
        g.args = format("h=%d " argFormat, moduleIndex(handle) + 1, __VA_ARGS__); \
    if (g.failNow())                                                    \
        return failWith(g.fault.code);                                  \
    UsbModule *m = openModule(g.w, handle);                             \
    if (!m)                                                             \
        return failWith(QUSB_ERROR_INVALID_PARAMETER);                  \
    if (rehearsedFault(g, *m, Call::call, payload, payloadLength))      \
        return failWith(m->counts.gone ? QULONG(QUSB_ERROR_CANNOT_FIND_DEVICE) : QULONG(QUSB_ERROR_IOCTL_FAILED));

#define QSIM_MODULE_CALL(call, argFormat, ...) QSIM_MODULE_CALL_WITH(call, nullptr, 0, argFormat, __VA_ARGS__)

QRESULT QuickUsbReadSetting(QHANDLE handle, QWORD address, QWORD *value)
{
    QSIM_MODULE_CALL(ReadSetting, "setting=%u", address)
    if (!value || !m->readSetting(address, *value))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    if (g.tracing)
        g.meaning = format("value 0x%04X", *value);
    return 1;
}

QRESULT QuickUsbWriteSetting(QHANDLE handle, QWORD address, QWORD value)
{
    QSIM_MODULE_CALL(WriteSetting, "setting=%u value=0x%04X", address, value)
    if (!m->writeSetting(address, value))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    return 1;
}

static bool controllerAddress(QWORD address)
{
    return address == UsbModule::kControllerCommandAddress || address == 0;
}

QRESULT QuickUsbWriteCommand(QHANDLE handle, QWORD address, QBYTE *data, QWORD length)
{
    QSIM_MODULE_CALL_WITH(WriteCommand, data, length, "addr=0x%04X len=%u data=%s", address, length,
                     data ? BusTrace::hex(data, length).c_str() : "")
    if ((!data && length) || !controllerAddress(address))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    if (g.tracing) {
        uint16_t control = m->controller().registers().cnfg[0];
        g.meaning = g.w.trace.decodeCommandWrite(moduleIndex(handle), data, length, control);
    }
    m->controller().writeCommand(data, length);
    return 1;
}

QRESULT QuickUsbReadCommand(QHANDLE handle, QWORD address, QBYTE *data, QWORD *length)
{
    QSIM_MODULE_CALL(ReadCommand, "addr=0x%04X len=%u", address, length ? *length : 0)
    if (!data || !length || !controllerAddress(address))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    const size_t n = m->controller().readCommand(data, *length);
    *length = shorten(static_cast<QWORD>(n), g.missing());
    if (g.tracing)
        g.meaning = g.w.trace.decodeCommandRead(moduleIndex(handle), data, *length);
    return 1;
}

QRESULT QuickUsbReadData(QHANDLE handle, QBYTE *data, QDWORD *length)
{
    QSIM_MODULE_CALL(ReadData, "len=%u", length ? *length : 0)
    if (!data || !length)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    QULONG error = 0;
    ControllerLogic &c = m->controller();
    if (!c.scanEngine().readData(c.registers(), *g.w.clock, data, length, error))
        return failWith(error ? error : QULONG(QUSB_ERROR_TIMEOUT));
    *length = shorten(*length, g.missing());
    if (g.tracing)
        g.meaning = format("bulk read %u bytes", *length);
    return 1;
}

QRESULT QuickUsbReadPortDir(QHANDLE handle, QWORD address, QBYTE *data)
{
    QSIM_MODULE_CALL(ReadPortDir, "port=%u", address)
    if (!data || !m->readPortDir(address, *data))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    if (g.tracing)
        g.meaning = format("direction 0x%02X", *data);
    return 1;
}

QRESULT QuickUsbWritePortDir(QHANDLE handle, QWORD address, QBYTE data)
{
    QSIM_MODULE_CALL(WritePortDir, "port=%u dir=0x%02X", address, data)
    if (!m->writePortDir(address, data))
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    return 1;
}

QRESULT QuickUsbReadPort(QHANDLE handle, QWORD address, QBYTE *data, QWORD *length)
{
    QSIM_MODULE_CALL(ReadPort, "port=%u len=%u", address, length ? *length : 0)
    if (!data || !length || *length == 0)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    QWORD n = 0;
    for (; n < *length; ++n)
        if (!m->readPort(address, data[n]))
            return failWith(QUSB_ERROR_INVALID_PARAMETER);
    *length = shorten(n, g.missing());
    if (g.tracing)
        g.meaning = "value " + BusTrace::hex(data, *length);
    return 1;
}

QRESULT QuickUsbWritePort(QHANDLE handle, QWORD address, QBYTE *data, QWORD length)
{
    QSIM_MODULE_CALL(WritePort, "port=%u len=%u data=%s", address, length,
                     data ? BusTrace::hex(data, length).c_str() : "")
    if (!data && length)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    if (g.tracing && address == 0 && length > 0)
        g.meaning = format("controller reset line %s", data[length - 1] & 0x04 ? "high" : "low (reset)");
    for (QWORD i = 0; i < length; ++i)
        if (!m->writePort(address, data[i]))
            return failWith(QUSB_ERROR_INVALID_PARAMETER);
    return 1;
}

QRESULT QuickUsbReadI2C(QHANDLE handle, QWORD address, QBYTE *data, QWORD *length)
{
    QSIM_MODULE_CALL(ReadI2C, "addr=%u len=%u", address, length ? *length : 0)
    if (!data || !length)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    I2cDevice *dev = m->i2c().device(address);
    if (!dev || dev->busy())
        return failWith(QUSB_ERROR_I2C_NO_ACK);
    const size_t n = dev->read(data, *length);
    *length = shorten(static_cast<QWORD>(n), g.missing());
    if (g.tracing)
        g.meaning = format("I2C read %u bytes", *length);
    return 1;
}

QRESULT QuickUsbWriteI2C(QHANDLE handle, QWORD address, QBYTE *data, QWORD length)
{
    QSIM_MODULE_CALL(WriteI2C, "addr=%u len=%u data=%s", address, length,
                     data ? BusTrace::hex(data, length).c_str() : "")
    if (!data && length)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    if (g.tracing && length >= 2)
        g.meaning = format("memory address 0x%04X, %u data bytes", (data[0] << 8) | data[1], length - 2);
    I2cDevice *dev = m->i2c().device(address);
    if (!dev || dev->busy())
        return failWith(QUSB_ERROR_I2C_NO_ACK);
    if (length > 2) {
        const unsigned k = g.w.i2cDataWrites++;
        const I2cWriteFault &f = g.w.i2cFault;
        if (f.active && k >= f.first && k < f.first + f.times) {
            if (!f.corrupt)
                return failWith(f.code);
            std::vector<QBYTE> copy(data, data + length);
            copy[2] = static_cast<QBYTE>(~copy[2]);
            dev->write(copy.data(), copy.size());
            return 1;
        }
    }
    if (!dev->write(data, length))
        return failWith(QUSB_ERROR_I2C_BUS_ERROR);
    return 1;
}

QRESULT QuickUsbGetStringDescriptor(QHANDLE handle, QBYTE index, char *buffer, QWORD length)
{
    QSIM_MODULE_CALL(GetStringDescriptor, "index=%u len=%u", index, length)
    if (!buffer || length == 0 || index < 1 || index > 3)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    const std::string s = m->stringDescriptor(index);
    const size_t n = std::min<size_t>(s.size(), length - 1);
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
    if (g.tracing)
        g.meaning = BusTrace::quoted(reinterpret_cast<const uint8_t *>(buffer), n);
    return 1;
}

QRESULT QuickUsbGetDllVersion(QWORD *major, QWORD *minor, QWORD *build)
{
    Guard g(Call::GetDllVersion, "QuickUsbGetDllVersion");
    if (g.failNow())
        return failWith(g.fault.code);
    if (!major || !minor || !build)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    *major = 2; *minor = 15; *build = 2;
    return 1;
}

QRESULT QuickUsbGetDriverVersion(QWORD *major, QWORD *minor, QWORD *build)
{
    Guard g(Call::GetDriverVersion, "QuickUsbGetDriverVersion");
    if (g.failNow())
        return failWith(g.fault.code);
    if (!major || !minor || !build)
        return failWith(QUSB_ERROR_INVALID_PARAMETER);
    *major = 2; *minor = 15; *build = 0;
    return 1;
}

} // extern "C"
