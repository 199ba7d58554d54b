// The descriptor's two text reports: the readable one and key/value lines.
// Numbers in the C locale's general format with six significant digits.
#include "VeskbDrv.h"

#include <ctime>

namespace {
QString num(double v) { return QString::number(v, 'g', 6); }

QString nibbles(uint32_t w)
{
    return QStringLiteral("%1.%2.%3.%4").arg((w >> 12) & 15).arg((w >> 8) & 15).arg((w >> 4) & 15).arg(w & 15);
}

QString version(const uint16_t v[3])
{
    return QStringLiteral("%1.%2.%3").arg(v[0]).arg(v[1]).arg(v[2]);
}

// Standard C time text in local time (English names, ends with a newline).
QString cTime(uint32_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[64] = {0};
    if (!localtime_r(&t, &local) || !asctime_r(&local, text))
        return QStringLiteral("\n");
    return QString::fromLatin1(text);
}

QString joined(const double *v, int n)
{
    QString s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += QLatin1Char(' ');
        s += num(v[i]);
    }
    return s;
}
}

QString VeskbDescriptorImp::toString(bool detailed) const
{
    QString s;
    s += QStringLiteral("\n-----------------------------------------  VESK API  -----------------------------------------\n\n");
    s += QStringLiteral("API VERSION:\t\t") + apiVersion + QLatin1Char('\n');
    if (detailed)
        s += QStringLiteral("API DESCRIPTION:\t") + apiDescription + QLatin1Char('\n');
    s += QStringLiteral("\n---------------------------------------  QUICK USB  ----------------------------------------\n\n");
    s += QStringLiteral("DLL VERSION:\t\t") + version(qusbDllVersion) + QLatin1Char('\n');
    const bool connected = !qusbHWRev.isEmpty();
    if (!connected) {
        s += QStringLiteral("DEVICE IS NOT CONNECTED\n");
    } else {
        s += QStringLiteral("DRIVER VERSION:\t") + version(qusbDriverVersion) + QLatin1Char('\n');
        s += QStringLiteral("DEVICE NAME:\t\t") + qusbDevName + QLatin1Char('\n');
        s += QStringLiteral("MAKE:\t\t") + qusbMake + QLatin1Char('\n');
        s += QStringLiteral("MODEL:\t\t") + qusbModel + QLatin1Char('\n');
        s += QStringLiteral("SERIAL:\t\t") + qusbSerial + QLatin1Char('\n');
        s += QStringLiteral("HW REVISION:\t\t") + qusbHWRev + QLatin1Char('\n');
        s += QStringLiteral("STANDARD:\t\t") + (qusbHighSpeed ? QStringLiteral("2.0") : QStringLiteral("1.0")) + QLatin1Char('\n');
    }
    s += QStringLiteral("\n-----------------------------------  VESK  HARDWARE  -----------------------------------\n\n");
    if (!connected)
        return s + QStringLiteral("DEVICE IS NOT CONNECTED\n");
    s += QStringLiteral("SERIAL NUMBER:\t") + devNameText() + QLatin1Char('\n');
    if (!detailed)
        return s;
    s += QStringLiteral("CHIP1 FIRMWARE VERSION:\t") + nibbles(chip1FirmwareVersion) + QLatin1Char('\n');
    s += QStringLiteral("CHIP2 FIRMWARE VERSION:\t") + nibbles(chip2FirmwareVersion) + QLatin1Char('\n');
    s += QStringLiteral("VOLTAGE RANGE:\t[") + joined(vRange, 2) + QStringLiteral("]\n");
    s += QStringLiteral("CURRENT RANGE:\t[") + joined(iRange, 6) + QStringLiteral("]\n");
    s += QStringLiteral("CALIBRATION RESISTOR:\t") + num(calibResistor) + QLatin1Char('\n');
    s += QStringLiteral("MEASUREMENT RESISTOR:\t[") + joined(resI, 3) + QStringLiteral("]\n");
    s += QStringLiteral("CALIBRATION VOLTAGE:\t[") + joined(calibVoltage, 2) + QStringLiteral("]\n");
    s += QStringLiteral("CALIBRATION DATE:\t") + cTime(calibTime);
    s += QStringLiteral("LINEAR DRIVE LENGTH:\t") + QString::number(driveLength) + QLatin1Char('\n');
    s += QStringLiteral("ADC FREQUENCY:\t") + num(adcFreq) + QLatin1Char('\n');
    s += QStringLiteral("ADC BITS:\t\t") + QString::number(adcBits) + QLatin1Char('\n');
    return s;
}

QString VeskbDescriptorImp::toKeyValueString() const
{
    QString s;
    auto line = [&s](const QString &key, const QString &value) { s += key + QStringLiteral(": ") + value + QLatin1Char('\n'); };
    auto array = [&](const char *name, const double *v, int n) {
        for (int i = 0; i < n; ++i)
            line(QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(i), num(v[i]));
    };
    line(QStringLiteral("api_version"), apiVersion);
    line(QStringLiteral("api_description"), apiDescription);
    line(QStringLiteral("qusbDllVerMajor"), QString::number(qusbDllVersion[0]));
    line(QStringLiteral("qusbDllVerMinor"), QString::number(qusbDllVersion[1]));
    line(QStringLiteral("qusbDllVerBuild"), QString::number(qusbDllVersion[2]));
    line(QStringLiteral("qusbDrivVerMajor"), QString::number(qusbDriverVersion[0]));
    line(QStringLiteral("qusbDrivVerMinor"), QString::number(qusbDriverVersion[1]));
    line(QStringLiteral("qusbDrivVerBuild"), QString::number(qusbDriverVersion[2]));
    line(QStringLiteral("qusbDevName"), qusbDevName);
    line(QStringLiteral("qusbMake"), qusbMake);
    line(QStringLiteral("qusbModel"), qusbModel);
    line(QStringLiteral("qusbSerial"), qusbSerial);
    line(QStringLiteral("qusbHWRev"), qusbHWRev);
    line(QStringLiteral("qusbHighSpeed"), qusbHighSpeed ? QStringLiteral("1") : QStringLiteral("0"));
    line(QStringLiteral("veskbDevName"), devNameText());
    line(QStringLiteral("chip1FirmwareVersion"), nibbles(chip1FirmwareVersion));
    line(QStringLiteral("chip2FirmwareVersion"), nibbles(chip2FirmwareVersion));
    array("vRange", vRange, 2);
    array("iRange", iRange, 6);
    line(QStringLiteral("calibResistor"), num(calibResistor));
    array("resI", resI, 3);
    array("calibVoltage", calibVoltage, 2);
    s += QStringLiteral("calibTime: ") + cTime(calibTime); // the C time text ends with its own newline
    line(QStringLiteral("driveLength"), QString::number(driveLength));
    line(QStringLiteral("adcFreq"), num(adcFreq));
    line(QStringLiteral("adcBits"), QString::number(adcBits));
    return s;
}
