#include "VeskbDrv.h"

#include <cstring>

VeskbDescriptor::~VeskbDescriptor() = default;

QString VeskbDescriptor::devNameText() const
{
    const void *end = std::memchr(devName, '\0', sizeof devName);
    const int n = end ? static_cast<int>(static_cast<const char *>(end) - devName) : static_cast<int>(sizeof devName);
    return QString::fromLatin1(devName, n);
}

VeskbDescriptorImp::VeskbDescriptorImp()
{
    apiVersion = QString::fromLatin1(VeskbDrv::kApiVersion);
    apiDescription = QStringLiteral("veskb2 controller library, Qt %1, built %2 %3")
                         .arg(QString::fromLatin1(QT_VERSION_STR), QString::fromLatin1(__DATE__),
                              QString::fromLatin1(__TIME__));
    resetCalibration();
}

void VeskbDescriptorImp::resetCalibration()
{
    qusbDevName.clear();
    qusbMake.clear();
    qusbModel.clear();
    qusbSerial.clear();
    qusbHWRev.clear();
    qusbHighSpeed = false;
    std::memset(devName, 0, sizeof devName);
    chip1FirmwareVersion = chip2FirmwareVersion = 0;
    vRange[0] = -32768;
    vRange[1] = 32767;
    const double iDefaults[6] = {0.166, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6};
    std::memcpy(iRange, iDefaults, sizeof iRange);
    calibResistor = 100000;
    resI[0] = 3;
    resI[1] = 300;
    resI[2] = 30000;
    calibVoltage[0] = 0;
    calibVoltage[1] = 10;
    calibTime = 0;
    driveLength = 0;
    adcFreq = 7.9872e7;
    adcBits = 14;
    i2cMagicString = 0;
    i2cFormatVersion = 0;
    memoryBlank = false;
    cal_dac[0] = cal_adc_v[0] = 0;
    cal_dac[1] = cal_adc_v[1] = 1;
    for (auto &c : cal_adc_i) {
        c[0] = 0;
        c[1] = 1;
    }
}
