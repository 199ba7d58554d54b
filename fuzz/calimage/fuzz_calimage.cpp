// Calibration memory images: whatever the memory holds, reading it at connect
// must end in a clean accept or refusal. The input is placed at the image
// address of the simulated unit's memory and the driver connects.
#include <DriverLog.h>
#include <SimControl.h>
#include <VeskbDrv.h>

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = [] {
        setDriverDelayScale(0);
        setDriverLogFileName(QStringLiteral("/dev/null"));
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        QCoreApplication::setOrganizationName(QStringLiteral("QuendrixFuzz"));
        qsim::Config c;
        c.speedFactor = 0;
        qsim::reset(c);
        return true;
    }();
    (void)once;
    if (size > 600)
        return 0;
    std::vector<uint8_t> image(data, data + size);
    image.resize(600, 0xFF);
    qsim::setI2cMemory(0, 0x2000, image);
    VeskbDrv drv;
    const int rc = drv.connectTo();
    if (rc == 1 && !drv.calibrated)
        __builtin_trap();
    if (rc == 1) {
        // Whatever was accepted can be written back.
        if (drv.desc.i2cFormatVersion <= 2 && !drv.writeRIRavaVConfigParameters())
            __builtin_trap();
    }
    drv.disconnect();
    return 0;
}
