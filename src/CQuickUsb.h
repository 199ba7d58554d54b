// Wrapper of the USB module library: the only code that calls it. Owns the
// module handle, the device name and the last library error, and logs every
// failure in the driver log. One per driver object. An abort may send a stop
// from another thread while a read runs: the last error and result are
// atomics, and each operation logs the code it got itself, so another
// thread's operation never resets a code before it is logged.
#pragma once

#include <QuickUSB.h>

#include <atomic>
#include <cstdint>
#include <string>

// 512-byte list of module names, each NUL-terminated, ended by an empty name.
struct ModuleList {
    static constexpr long kSize = 512;
    char names[kSize];
    ModuleList();
    int count() const;
    int totalLength() const;
    const char *name(int n) const;   // nullptr when n is not below count()
};

bool findModules(char *list, long length);

class CQuickUsb {
public:
    enum ErrorCode : unsigned long {
        QUSB_NO_ERROR = 0, QUSB_OUT_OF_MEMORY, QUSB_CANNOT_OPEN_MODULE, QUSB_CANNOT_FIND_DEVICE,
        QUSB_IOCTL_FAILED, QUSB_INVALID_PARAMETER, QUSB_TIMEOUT, QUSB_FUNCTION_NOT_SUPPORTED,
        QUSB_I2C_BUS_ERROR, QUSB_I2C_NO_ACK, QUSB_I2C_SLAVE_WAIT, QUSB_I2C_TIMEOUT,
        QUSB_NAME_TOO_LONG, QUSB_NOT_OPEN, QUSB_ALREADY_OPEN, QUSB_COULD_NOT_OPEN,
        QUSB_TEMP_OPEN_FAILED, QUSB_COULD_NOT_close
    };
    static const char *errorText(unsigned long code);

    explicit CQuickUsb(const char *name = nullptr);
    virtual ~CQuickUsb();
    CQuickUsb(const CQuickUsb &) = delete;
    CQuickUsb &operator=(const CQuickUsb &) = delete;

    bool setDeviceName(const char *name);
    const char *deviceName() const { return m_name; }
    bool isOpen() const { return m_isOpen; }
    unsigned long lastError() const { return m_lastError.load(); }
    const char *lastErrorText() const { return errorText(m_lastError.load()); }
    int lastResult() const { return m_lastResult.load(); }
    QHANDLE handle() const { return m_handle; }

    bool open();
    bool close();

    bool readSetting(uint16_t address, uint16_t *value);
    bool writeSetting(uint16_t address, uint16_t value);
    bool writeCommand(uint16_t address, uint8_t *data, uint16_t length);
    bool readCommand(uint16_t address, uint8_t *data, uint16_t *length);
    bool readData(uint8_t *data, uint32_t *length);
    bool readPortDir(uint16_t port, uint8_t *dir);
    bool writePortDir(uint16_t port, uint8_t dir);
    bool readPort(uint16_t port, uint8_t *data, uint16_t *length);
    bool writePort(uint16_t port, uint8_t *data, uint16_t length);
    bool readI2C(uint16_t address, uint8_t *data, uint16_t *length);
    bool writeI2C(uint16_t address, uint8_t *data, uint16_t length);
    bool getStringDescriptor(uint8_t index, std::string &text);

    bool getDllVersion(uint16_t *major, uint16_t *minor, uint16_t *build);
    bool getDriverVersion(uint16_t *major, uint16_t *minor, uint16_t *build);

    bool getHardwareRevision(std::string &text);
    bool isHighSpeed(bool *flag);

private:
    // Steps 1-2 of every operation with a handle; `error` receives the code of a failure.
    bool beginOperation(unsigned long &error);
    int finishOperation(int result, unsigned long error);
    // The library's code of the last failed call (per calling thread), also kept as the last error.
    unsigned long fetchLastError();
    bool fail(unsigned long error);   // keeps `error` as the last error; false
    void *handlePtr() const { return reinterpret_cast<void *>(m_handle); }

    QHANDLE m_handle = QHANDLE();
    char m_name[10] = {0};
    bool m_isOpen = false;
    bool m_tempOpen = false;
    std::atomic<int> m_lastResult{0};
    std::atomic<unsigned long> m_lastError{0};
};
