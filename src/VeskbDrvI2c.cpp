// The calibration memory image: read at every connect, written after a
// successful hardware calibration.
#include "DriverLog.h"
#include "VeskbDrv.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace {
template <typename T> T get(const std::vector<uint8_t> &img, size_t offset)
{
    T v;
    std::memcpy(&v, img.data() + offset, sizeof v);
    return v;
}
template <typename T> void put(std::vector<uint8_t> &img, size_t offset, T v)
{
    std::memcpy(img.data() + offset, &v, sizeof v);
}
void getDoubles(const std::vector<uint8_t> &img, size_t offset, double *out, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = get<double>(img, offset + 8 * i);
}
void putDoubles(std::vector<uint8_t> &img, size_t offset, const double *v, int n)
{
    for (int i = 0; i < n; ++i)
        put(img, offset + 8 * i, v[i]);
}
constexpr int kPiece = 64;
constexpr int kChunk = 32;
constexpr int kPage = 64;
constexpr int kMaxAttempts = 5;
}

bool VeskbDrv::readRIRavaVConfigParameters()
{
    calibrated = false;
    uint8_t address[2] = {0x20, 0x00};
    if (!usb.writeI2C(kCalibrationI2cAddress, address, 2)) {
        errorCode = VESKB_QUSB_ERROR;
        LOG_WARN("readRIRavaVConfigParameters() : %s", usb.lastErrorText());
        return false;
    }
    driverSleepMs(10);
    std::vector<uint8_t> head(8, 0);
    uint16_t got = 8;
    if (!usb.readI2C(kCalibrationI2cAddress, head.data(), &got) || got != 8) {
        errorCode = VESKB_QUSB_ERROR;
        LOG_WARN("readRIRavaVConfigParameters() : %s", usb.lastErrorText());
        return false;
    }
    desc.memoryBlank = std::all_of(head.begin(), head.end(), [](uint8_t b) { return b == 0xFF; });

    const uint32_t magic = get<uint32_t>(head, 0);
    if (magic != kMagic) {
        LOG_WARN("magicString [%d] != MAGIC_STRING [%d]", static_cast<int>(magic), static_cast<int>(kMagic));
        return false;
    }
    const int16_t version = get<int16_t>(head, 4);
    const int size = version == 1 ? kImageSize : get<uint16_t>(head, 6);
    // Checked before anything else is read: no image shorter than the layout.
    if (version < 1 || size < kImageSize || (version <= 2 && size != kImageSize)) {
        LOG_WARN("Reading I2C Memory : I2C image of %d bytes contains memory version %d which should have 280 bytes",
                 size, version);
        return false;
    }
    std::vector<uint8_t> image;
    try {
        image.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc &) {
        LOG_WARN("Failed to allocate memory of char[%d]", size);
        return false;
    }
    std::copy(head.begin(), head.end(), image.begin());

    for (int done = 8; done < size;) {
        const int n = std::min(kPiece, size - done);
        driverSleepMs(10);
        uint16_t len = static_cast<uint16_t>(n);
        if (!usb.readI2C(kCalibrationI2cAddress, image.data() + done, &len) || len != n) {
            errorCode = VESKB_QUSB_ERROR;
            LOG_WARN("readRIRavaVConfigParameters() : %s (successfuly read %d of %d data)", usb.lastErrorText(), done,
                     size);
            return false;
        }
        done += n;
    }
    if (version > 2)
        LOG_WARN("Reading I2C Memory : I2C image contains newer memory version %d of size %d bytes", version, size);

    desc.i2cMagicString = magic;
    desc.i2cFormatVersion = version;
    std::memcpy(desc.devName, image.data() + 8, sizeof desc.devName);
    const uint32_t flags = get<uint32_t>(image, 28);
    is16Bit = flags <= 0xFFFFFF && (flags & 1);
    desc.adcBits = is16Bit ? 16 : 14;
    getDoubles(image, 32, desc.vRange, 2);
    getDoubles(image, 48, desc.iRange, 6);
    desc.calibResistor = get<double>(image, 96);
    getDoubles(image, 104, desc.resI, 3);
    getDoubles(image, 128, desc.calibVoltage, 2);
    desc.calibTime = get<uint32_t>(image, 144);
    if (version > 1)
        desc.driveLength = get<int32_t>(image, 148);
    getDoubles(image, 152, desc.cal_dac, 2);
    getDoubles(image, 168, desc.cal_adc_v, 2);
    for (int r = 0; r < 6; ++r)
        getDoubles(image, 184 + 16 * r, desc.cal_adc_i[r], 2);
    imageAtConnect.assign(image.begin(), image.begin() + kImageSize);
    calibrated = true;
    dumpConfigParameters();
    return true;
}

void VeskbDrv::dumpConfigParameters()
{
    const VeskbDescriptor &d = desc;
    const QByteArray name = d.devNameText().toLatin1();
    LOG_DEB("---------- I2C Memory ----------");
    LOG_DEB("i2cMagicString: %X", d.i2cMagicString);
    LOG_DEB("i2cFormatVersion: %d", d.i2cFormatVersion);
    LOG_DEB("devName: %s", name.constData());
    LOG_DEB("vRange: [%G, %G]", d.vRange[0], d.vRange[1]);
    LOG_DEB("iRange: [%G, %G, %G, %G, %G, %G]", d.iRange[0], d.iRange[1], d.iRange[2], d.iRange[3], d.iRange[4],
            d.iRange[5]);
    LOG_DEB("calibResistor: %G", d.calibResistor);
    LOG_DEB("resI: [%G, %G, %G]", d.resI[0], d.resI[1], d.resI[2]);
    LOG_DEB("calibVoltage: [%G, %G]", d.calibVoltage[0], d.calibVoltage[1]);
    const time_t t = static_cast<time_t>(d.calibTime);
    char timeText[64] = "";
    struct tm local;
    if (localtime_r(&t, &local))
        std::strftime(timeText, sizeof timeText, "%a %b %e %H:%M:%S %Y\n", &local);
    LOG_DEB("calibTime: %s", timeText);
    LOG_DEB("driveLength: %d", d.driveLength);
    LOG_DEB("cal_dac: [%G, %G]", d.cal_dac[0], d.cal_dac[1]);
    LOG_DEB("cal_adc_v: [%G, %G]", d.cal_adc_v[0], d.cal_adc_v[1]);
    for (int r = 0; r < 6; ++r)
        LOG_DEB("cal_adc_i%d: [%G, %G]", r, d.cal_adc_i[r][0], d.cal_adc_i[r][1]);
    LOG_DEB("adcBits: %d", d.adcBits);
}

std::vector<uint8_t> VeskbDrv::buildImage() const
{
    const VeskbDescriptor &d = desc;
    std::vector<uint8_t> img(kImageSize, 0);
    put<uint32_t>(img, 0, kMagic);
    put<int16_t>(img, 4, d.i2cFormatVersion);
    put<uint16_t>(img, 6, d.i2cFormatVersion == 1 ? 0 : kImageSize);
    std::memcpy(img.data() + 8, d.devName, sizeof d.devName);
    put<uint32_t>(img, 28, is16Bit ? 1u : 0u);
    putDoubles(img, 32, d.vRange, 2);
    putDoubles(img, 48, d.iRange, 6);
    put(img, 96, d.calibResistor);
    putDoubles(img, 104, d.resI, 3);
    putDoubles(img, 128, d.calibVoltage, 2);
    put<uint32_t>(img, 144, d.calibTime);
    put<int32_t>(img, 148, d.i2cFormatVersion == 1 ? 0 : d.driveLength);
    putDoubles(img, 152, d.cal_dac, 2);
    putDoubles(img, 168, d.cal_adc_v, 2);
    for (int r = 0; r < 6; ++r)
        putDoubles(img, 184 + 16 * r, d.cal_adc_i[r], 2);
    return img;
}

bool VeskbDrv::writeImageChunks(const std::vector<uint8_t> &image)
{
    const int total = static_cast<int>(image.size());
    int offset = 0;
    int failures = 0;
    while (offset < total) {
        const int a = kImageAddress + offset;
        const int n = std::min({kChunk, kPage - a % kPage, total - offset});
        uint8_t buffer[2 + kChunk];
        buffer[0] = static_cast<uint8_t>(a >> 8);
        buffer[1] = static_cast<uint8_t>(a & 0xFF);
        std::memcpy(buffer + 2, image.data() + offset, static_cast<size_t>(n));
        bool ok = usb.writeI2C(kCalibrationI2cAddress, buffer, static_cast<uint16_t>(n + 2));
        if (!ok) {
            errorCode = VESKB_QUSB_ERROR;
            LOG_WARN("writeRIRavaVConfigParameters() : %s (successfully written %d of %d data", usb.lastErrorText(),
                     offset, total);
        }
        if (ok) {
            driverSleepMs(10);
            uint8_t addr[2] = {buffer[0], buffer[1]};
            ok = usb.writeI2C(kCalibrationI2cAddress, addr, 2);
            if (!ok) {
                errorCode = VESKB_QUSB_ERROR;
                LOG_WARN("writeRIRavaVConfigParameters() : %s (Failed to write adr=%04X)", usb.lastErrorText(), a);
            }
        }
        uint8_t back[kChunk];
        uint16_t got = static_cast<uint16_t>(n);
        if (ok) {
            driverSleepMs(10);
            ok = usb.readI2C(kCalibrationI2cAddress, back, &got);
            if (!ok) {
                errorCode = VESKB_QUSB_ERROR;
                LOG_WARN("writeRIRavaVConfigParameters() : %s (Failed to read  adr=%04X)", usb.lastErrorText(), a);
            }
        }
        if (ok && got < n) {
            LOG_WARN("Failed to read  full data package length (%d instead of %d)\n", got, n);
            ok = false;
        }
        if (ok && std::memcmp(back, buffer + 2, static_cast<size_t>(n)) != 0) {
            std::string text = " ";
            char hex[8];
            for (int i = 0; i < n; ++i) {
                std::snprintf(hex, sizeof hex, "%02X ", buffer[2 + i]);
                text += hex;
            }
            text += "| attemped write data\n                        | ";
            for (int i = 0; i < n; ++i) {
                std::snprintf(hex, sizeof hex, "%02X ", back[i]);
                text += hex;
            }
            LOG_WARN("Failed to write data into I2C (succesfully written %d data)\nPerused data not equal: |%s| written data\n",
                     offset, text.c_str());
            ok = false;
        }
        if (ok) {
            offset += n;
            failures = 0;
            continue;
        }
        if (++failures >= kMaxAttempts)
            return false;
        driverSleepMs(500);
    }
    return true;
}

bool VeskbDrv::writeRIRavaVConfigParameters()
{
    if (desc.i2cFormatVersion != 1 && desc.i2cFormatVersion != 2) {
        LOG_WARN("Unknown i2cMemory version [%d]", desc.i2cFormatVersion);
        return false;
    }
    if (!usb.isOpen())
        return false;
    const std::vector<uint8_t> image = buildImage();
    if (writeImageChunks(image))
        return true;
    // A part-written image is worse than the old one: put that back once.
    if (imageAtConnect.size() == static_cast<size_t>(kImageSize)) {
        LOG_WARN("writeRIRavaVConfigParameters() : restoring the calibration image read at connect");
        writeImageChunks(imageAtConnect);
    }
    return false;
}
