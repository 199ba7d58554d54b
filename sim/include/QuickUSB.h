/* C API of the USB interface module library, as the controller library calls it.
 * The project's simulated unit (sim/) implements it; a build against the
 * vendor's own library uses the vendor's header of the same name instead. */
#ifndef QUICKUSB_H
#define QUICKUSB_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  define QUSB_API __declspec(dllimport)
#else
#  define QUSB_API __attribute__((visibility("default")))
#endif

typedef unsigned char QBYTE;
typedef unsigned short QWORD;
typedef unsigned int QDWORD;   /* 32-bit length of bulk transfers */
typedef unsigned long QULONG;
typedef int QRESULT;           /* non-zero = success */
typedef void *QHANDLE;         /* opaque module handle */

/* Error codes reported by QuickUsbGetLastError. */
enum {
    QUSB_ERROR_NO_ERROR = 0,
    QUSB_ERROR_OUT_OF_MEMORY = 1,
    QUSB_ERROR_CANNOT_OPEN_MODULE = 2,
    QUSB_ERROR_CANNOT_FIND_DEVICE = 3,
    QUSB_ERROR_IOCTL_FAILED = 4,
    QUSB_ERROR_INVALID_PARAMETER = 5,
    QUSB_ERROR_TIMEOUT = 6,
    QUSB_ERROR_FUNCTION_NOT_SUPPORTED = 7,
    QUSB_ERROR_I2C_BUS_ERROR = 8,
    QUSB_ERROR_I2C_NO_ACK = 9,
    QUSB_ERROR_I2C_SLAVE_WAIT = 10,
    QUSB_ERROR_I2C_TIMEOUT = 11
};

QUSB_API QRESULT QuickUsbFindModules(char *nameList, long length);
QUSB_API QRESULT QuickUsbOpen(QHANDLE *handle, const char *devName);
QUSB_API QRESULT QuickUsbClose(QHANDLE handle);
QUSB_API QRESULT QuickUsbGetLastError(QULONG *error);

QUSB_API QRESULT QuickUsbReadSetting(QHANDLE handle, QWORD address, QWORD *value);
QUSB_API QRESULT QuickUsbWriteSetting(QHANDLE handle, QWORD address, QWORD value);

QUSB_API QRESULT QuickUsbWriteCommand(QHANDLE handle, QWORD address, QBYTE *data, QWORD length);
QUSB_API QRESULT QuickUsbReadCommand(QHANDLE handle, QWORD address, QBYTE *data, QWORD *length);
QUSB_API QRESULT QuickUsbReadData(QHANDLE handle, QBYTE *data, QDWORD *length);

QUSB_API QRESULT QuickUsbReadPortDir(QHANDLE handle, QWORD address, QBYTE *data);
QUSB_API QRESULT QuickUsbWritePortDir(QHANDLE handle, QWORD address, QBYTE data);
QUSB_API QRESULT QuickUsbReadPort(QHANDLE handle, QWORD address, QBYTE *data, QWORD *length);
QUSB_API QRESULT QuickUsbWritePort(QHANDLE handle, QWORD address, QBYTE *data, QWORD length);

QUSB_API QRESULT QuickUsbReadI2C(QHANDLE handle, QWORD address, QBYTE *data, QWORD *length);
QUSB_API QRESULT QuickUsbWriteI2C(QHANDLE handle, QWORD address, QBYTE *data, QWORD length);

QUSB_API QRESULT QuickUsbGetStringDescriptor(QHANDLE handle, QBYTE index, char *buffer, QWORD length);
QUSB_API QRESULT QuickUsbGetDllVersion(QWORD *major, QWORD *minor, QWORD *build);
QUSB_API QRESULT QuickUsbGetDriverVersion(QWORD *major, QWORD *minor, QWORD *build);

#ifdef __cplusplus
}
#endif
#endif
