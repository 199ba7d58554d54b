#include "CQuickUsb.h"
#include "DriverLog.h"

#include <cstring>

namespace {
const char *const kErrorTexts[] = {
    "QUSB_NO_ERROR", "QUSB_OUT_OF_MEMORY", "QUSB_CANNOT_OPEN_MODULE", "QUSB_CANNOT_FIND_DEVICE",
    "QUSB_IOCTL_FAILED", "QUSB_INVALID_PARAMETER", "QUSB_TIMEOUT", "QUSB_FUNCTION_NOT_SUPPORTED",
    "QUSB_I2C_BUS_ERROR", "QUSB_I2C_NO_ACK", "QUSB_I2C_SLAVE_WAIT", "QUSB_I2C_TIMEOUT",
    "QUSB_NAME_TOO_LONG", "QUSB_NOT_OPEN", "QUSB_ALREADY_OPEN", "QUSB_COULD_NOT_OPEN",
    "QUSB_TEMP_OPEN_FAILED", "QUSB_COULD_NOT_close"};
constexpr unsigned long kErrorCount = sizeof kErrorTexts / sizeof kErrorTexts[0];
constexpr uint16_t kDescriptorBufferSize = 128;
}

// ---- Module list ---------------------------------------------------------------

ModuleList::ModuleList()
{
    std::memset(names, 0, sizeof names);
}

int ModuleList::count() const
{
    int n = 0;
    long pos = 0;
    while (pos < kSize && names[pos] != '\0') {
        const void *end = std::memchr(names + pos, '\0', static_cast<size_t>(kSize - pos));
        if (!end)
            break; // unterminated name: not a name
        ++n;
        pos = static_cast<const char *>(end) - names + 1;
    }
    return n;
}

int ModuleList::totalLength() const
{
    long pos = 0;
    while (pos < kSize && names[pos] != '\0') {
        const void *end = std::memchr(names + pos, '\0', static_cast<size_t>(kSize - pos));
        if (!end)
            return static_cast<int>(kSize);
        pos = static_cast<const char *>(end) - names + 1;
    }
    return static_cast<int>(pos < kSize ? pos + 1 : kSize);
}

const char *ModuleList::name(int n) const
{
    if (n < 0 || n >= count())
        return nullptr;
    long pos = 0;
    for (int i = 0; i < n; ++i)
        pos += static_cast<long>(std::strlen(names + pos)) + 1;
    return names + pos;
}

bool findModules(char *list, long length)
{
    if (!list || length <= 0)
        return false;
    std::memset(list, 0, static_cast<size_t>(length));
    if (QuickUsbFindModules(list, length))
        return true;
    QULONG error = 0;
    QuickUsbGetLastError(&error);
    LOG_WARN("findModules(%p, %ld) : %s", static_cast<void *>(list), length, CQuickUsb::errorText(error));
    // Whatever a failed call left behind is not a module list.
    std::memset(list, 0, static_cast<size_t>(length));
    return false;
}

// ---- Wrapper ----------------------------------------------------------------------

const char *CQuickUsb::errorText(unsigned long code)
{
    return code < kErrorCount ? kErrorTexts[code] : "QUSB_UNKNOWN_ERROR";
}

CQuickUsb::CQuickUsb(const char *name)
{
    if (!setDeviceName(name ? name : ""))
        LOG_WARN("CQuickUsb(%s) : %s", name ? name : "", lastErrorText());
}

CQuickUsb::~CQuickUsb()
{
    if (m_isOpen || m_tempOpen)
        close();
}

bool CQuickUsb::setDeviceName(const char *name)
{
    if (!name)
        name = "";
    if (m_isOpen && !close()) {
        fail(QUSB_COULD_NOT_close);
        LOG_WARN("setDeviceName(%s) : %s", name, errorText(QUSB_COULD_NOT_close));
        return false;
    }
    m_isOpen = false;
    m_tempOpen = false;
    if (std::strlen(name) > sizeof m_name - 1) {
        fail(QUSB_NAME_TOO_LONG);
        LOG_WARN("setDeviceName(%s) : %s", name, errorText(QUSB_NAME_TOO_LONG));
        return false;
    }
    std::strcpy(m_name, name);
    return true;
}

unsigned long CQuickUsb::fetchLastError()
{
    QULONG error = 0;
    QuickUsbGetLastError(&error);
    m_lastError = error;
    return error;
}

bool CQuickUsb::fail(unsigned long error)
{
    m_lastError = error;
    return false;
}

bool CQuickUsb::open()
{
    m_lastError = 0;
    if (m_isOpen) {
        fail(QUSB_ALREADY_OPEN);
        LOG_WARN("QuickUsbOpen(%p, %s) : %s", handlePtr(), m_name, errorText(QUSB_ALREADY_OPEN));
        return false;
    }
    QHANDLE handle = QHANDLE();
    if (!QuickUsbOpen(&handle, m_name)) {
        const unsigned long error = fetchLastError();
        LOG_WARN("QuickUsbOpen(%p, %s) : %s", handlePtr(), m_name, errorText(error));
        return false;
    }
    m_handle = handle;
    m_isOpen = true;
    return true;
}

bool CQuickUsb::close()
{
    m_lastError = 0;
    if (!m_isOpen && !m_tempOpen) {
        fail(QUSB_NOT_OPEN);
        LOG_WARN("close() : %s", errorText(QUSB_NOT_OPEN));
        return false;
    }
    if (!QuickUsbClose(m_handle)) {
        const unsigned long error = fetchLastError();
        LOG_WARN("QuickUsbclose(%p) : %s", handlePtr(), errorText(error));
        return false;
    }
    m_isOpen = false;
    m_tempOpen = false;
    return true;
}

bool CQuickUsb::beginOperation(unsigned long &error)
{
    error = 0;
    m_lastError = 0;
    if (m_isOpen)
        return true;
    m_tempOpen = true;
    if (open())
        return true;
    // The library returned no handle: there is nothing to close.
    m_tempOpen = false;
    error = QUSB_TEMP_OPEN_FAILED;
    return fail(error);
}

int CQuickUsb::finishOperation(int result, unsigned long error)
{
    if (m_tempOpen) {
        close();
        m_isOpen = false;
        m_tempOpen = false;
    }
    if (!result)
        m_lastError = error; // the operation's error, not a close's or another thread's reset
    m_lastResult = result;
    return result;
}

// Each operation: temporary open when needed, the library call, its error.
#define QUSB_OPERATION(wrapperFmt, wrapperArgs, call, libFmt, libArgs) \
    unsigned long error = 0;                                           \
    if (!beginOperation(error)) {                                      \
        LOG_WARN(wrapperFmt, wrapperArgs, errorText(error));           \
        return false;                                                  \
    }                                                                  \
    int result = call;                                                 \
    if (!result) {                                                     \
        error = fetchLastError();                                      \
        LOG_WARN(libFmt, handlePtr(), libArgs, errorText(error));      \
    }                                                                  \
    return finishOperation(result, error) != 0;

#define ARGS(...) __VA_ARGS__

bool CQuickUsb::readSetting(uint16_t address, uint16_t *value)
{
    QUSB_OPERATION("readSetting(%d, %p) : %s", ARGS(address, static_cast<void *>(value)),
                   QuickUsbReadSetting(m_handle, address, value),
                   "QuickUsbReadSetting(%p, %d, %p) : %s", ARGS(address, static_cast<void *>(value)))
}

bool CQuickUsb::writeSetting(uint16_t address, uint16_t value)
{
    QUSB_OPERATION("writeSetting(%d, %d) : %s", ARGS(address, value),
                   QuickUsbWriteSetting(m_handle, address, value),
                   "QuickUsbWriteSetting(%p, %d, %d) : %s", ARGS(address, value))
}

bool CQuickUsb::writeCommand(uint16_t address, uint8_t *data, uint16_t length)
{
    QUSB_OPERATION("writeCommand(%d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), length),
                   QuickUsbWriteCommand(m_handle, address, data, length),
                   "QuickUsbWriteCommand(%p, %d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), length))
}

bool CQuickUsb::readCommand(uint16_t address, uint8_t *data, uint16_t *length)
{
    const int asked = length ? *length : 0;
    QUSB_OPERATION("ReadCommand(%d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), asked),
                   QuickUsbReadCommand(m_handle, address, data, length),
                   "QuickUsbReadCommand(%p, %d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), asked))
}

bool CQuickUsb::readData(uint8_t *data, uint32_t *length)
{
    const int asked = length ? static_cast<int>(*length) : 0;
    QDWORD len = length ? *length : 0;
    unsigned long error = 0;
    if (!beginOperation(error)) {
        LOG_WARN("ReadData(%p, %d) : %s", static_cast<void *>(data), asked, errorText(error));
        return false;
    }
    int result = QuickUsbReadData(m_handle, data, &len);
    if (length)
        *length = len;
    if (!result) {
        error = fetchLastError();
        LOG_WARN("QuickUsbReadData(%p, %p, %d) : %s", handlePtr(), static_cast<void *>(data), asked, errorText(error));
    }
    return finishOperation(result, error) != 0;
}

bool CQuickUsb::readPortDir(uint16_t port, uint8_t *dir)
{
    QUSB_OPERATION("ReadPortDir(%d, %p) : %s", ARGS(port, static_cast<void *>(dir)),
                   QuickUsbReadPortDir(m_handle, port, dir),
                   "QuickUsbReadPortDir(%p, %d, %p) : %s", ARGS(port, static_cast<void *>(dir)))
}

bool CQuickUsb::writePortDir(uint16_t port, uint8_t dir)
{
    QUSB_OPERATION("writePortDir(%d, %d) : %s", ARGS(port, dir),
                   QuickUsbWritePortDir(m_handle, port, dir),
                   "QuickUsbWritePortDir(%p, %d, %d) : %s", ARGS(port, dir))
}

bool CQuickUsb::readPort(uint16_t port, uint8_t *data, uint16_t *length)
{
    const int asked = length ? *length : 0;
    QUSB_OPERATION("readPort(%d, %p, %d) : %s", ARGS(port, static_cast<void *>(data), asked),
                   QuickUsbReadPort(m_handle, port, data, length),
                   "QuickUsbReadPort(%p, %d, %p, %d) : %s", ARGS(port, static_cast<void *>(data), asked))
}

bool CQuickUsb::writePort(uint16_t port, uint8_t *data, uint16_t length)
{
    QUSB_OPERATION("writePort(%d, %p, %d) : %s", ARGS(port, static_cast<void *>(data), length),
                   QuickUsbWritePort(m_handle, port, data, length),
                   "QuickUsbWritePort(%p, %d, %p, %d) : %s", ARGS(port, static_cast<void *>(data), length))
}

bool CQuickUsb::readI2C(uint16_t address, uint8_t *data, uint16_t *length)
{
    const int asked = length ? *length : 0;
    QUSB_OPERATION("ReadI2C(%d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), asked),
                   QuickUsbReadI2C(m_handle, address, data, length),
                   "QuickUsbReadI2C(%p, %d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), asked))
}

bool CQuickUsb::writeI2C(uint16_t address, uint8_t *data, uint16_t length)
{
    QUSB_OPERATION("writeI2C(%d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), length),
                   QuickUsbWriteI2C(m_handle, address, data, length),
                   "QuickUsbWriteI2C(%p, %d, %p, %d) : %s", ARGS(address, static_cast<void *>(data), length))
}

bool CQuickUsb::getStringDescriptor(uint8_t index, std::string &text)
{
    text.clear();
    char buffer[kDescriptorBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    unsigned long error = 0;
    if (!beginOperation(error)) {
        LOG_WARN("getStringDescriptor(%d, str) : %s", index, errorText(error));
        return false;
    }
    int result = QuickUsbGetStringDescriptor(m_handle, index, buffer, kDescriptorBufferSize);
    if (!result) {
        error = fetchLastError();
        LOG_WARN("QuickUsbGetStringDescriptor(%p, %d, str, %d) : %s", handlePtr(), index,
                 static_cast<int>(kDescriptorBufferSize), errorText(error));
    } else {
        const void *end = std::memchr(buffer, '\0', sizeof buffer);
        text.assign(buffer, end ? static_cast<const char *>(end) - buffer : sizeof buffer);
    }
    return finishOperation(result, error) != 0;
}

bool CQuickUsb::getDllVersion(uint16_t *major, uint16_t *minor, uint16_t *build)
{
    m_lastError = 0;
    if (!QuickUsbGetDllVersion(major, minor, build)) {
        const unsigned long error = fetchLastError();
        LOG_WARN("QuickUsbGetDllVersion(%d, %d, %d) : %s", major ? *major : 0, minor ? *minor : 0,
                 build ? *build : 0, errorText(error));
        return false;
    }
    return true;
}

bool CQuickUsb::getDriverVersion(uint16_t *major, uint16_t *minor, uint16_t *build)
{
    m_lastError = 0;
    if (!QuickUsbGetDriverVersion(major, minor, build)) {
        const unsigned long error = fetchLastError();
        LOG_WARN("getDriverVersion(%d, %d, %d) : %s", major ? *major : 0, minor ? *minor : 0,
                 build ? *build : 0, errorText(error));
        return false;
    }
    return true;
}

bool CQuickUsb::getHardwareRevision(std::string &text)
{
    text.clear();
    uint16_t word = 0;
    if (!readSetting(17, &word)) {
        LOG_WARN("getHardwareRevision(%p) : %s", static_cast<void *>(&text), lastErrorText());
        return false;
    }
    switch (word >> 8) {
    case 1: text = "CY7C68013A Rev A"; break;
    case 2: text = "CY7C68013 Rev C/D"; break;
    case 4: text = "CY7C68013 Rev E"; break;
    default: text = "CY7C68013 Rev A/B"; break;
    }
    return true;
}

bool CQuickUsb::isHighSpeed(bool *flag)
{
    uint16_t word = 0;
    if (!flag || !readSetting(17, &word)) {
        LOG_WARN("isHighSpeed() : %s", lastErrorText());
        return false;
    }
    *flag = (word & 0x80) != 0;
    return true;
}
