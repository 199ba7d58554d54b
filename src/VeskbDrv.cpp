#include "VeskbDrv.h"
#include "DriverLog.h"

#include <algorithm>
#include <cstring>

namespace {
const char *const kVeskbErrorTexts[] = {
    "VESKB_NO_ERROR", "VESKB_COULD_NOT_CONNECT", "VESKB_FILE_OPEN_ERROR", "VESKB_FILE_READ_ERROR",
    "FAILED_TO_PROGRAM_FPGA", "VESKB_UNUSED_ERROR_5", "VESKB_QUSB_ERROR"};
const char *const kProbeModeNames[] = {"single", "drive", "return", "double"};
const uint16_t kProbeModeBits[] = {0x7, 0x3, 0x1, 0x2};
}

const char *veskbErrorText(int code)
{
    const int n = static_cast<int>(sizeof kVeskbErrorTexts / sizeof kVeskbErrorTexts[0]);
    return code >= 0 && code < n ? kVeskbErrorTexts[code] : "VESKB_UNKNOWN_ERROR";
}

VeskbDrv::VeskbDrv()
{
    resetState();
}

VeskbDrv::~VeskbDrv()
{
    if (connected)
        disconnect();
    freeDataBuffer();
    drive.reset();   // the drive points at the register mirror: it goes first
    regs.reset();
}

void VeskbDrv::resetState()
{
    connected = false;
    calibrated = false;
    aborted = false;
    is16Bit = false;
    average = 1;
    averageHW = 1;
    smplPP = 80;
    sPoints = 1;
    sDelay = 0;
    accSmpl = false;
    maxAccSamples = 0x40000;
    syncWord = 0;
    valuesRead = 0;
    valuesExpected = 0;
    scansPerSecond = -1.0;
    secondsPerAverage = -1.0;
    calibrationProgress = 0;
    usb.getDllVersion(&desc.qusbDllVersion[0], &desc.qusbDllVersion[1], &desc.qusbDllVersion[2]);
}

int VeskbDrv::connectTo()
{
    ModuleList list;
    findModules(list.names, ModuleList::kSize); // a failed search leaves an empty list
    const int count = list.count();
    if (count == 0) {
        LOG_WARN("There are no devices attached to the system");
        return -100;
    }
    for (int i = 0; i < count; ++i) {
        const char *name = list.name(i);
        if (connectToModule(name))
            return 1;
        LOG_WARN("Failed to open device %s", name);
    }
    return 0;
}

bool VeskbDrv::connectToModule(const char *name)
{
    // 1. fresh state
    errorCode = VESKB_NO_ERROR;
    desc.resetCalibration();
    resetState();
    imageAtConnect.clear();

    // 2. name, driver version, open
    bool result = usb.setDeviceName(name) &&
                  usb.getDriverVersion(&desc.qusbDriverVersion[0], &desc.qusbDriverVersion[1],
                                       &desc.qusbDriverVersion[2]) &&
                  usb.open();
    if (!result) {
        desc.qusbDevName = QString::fromLatin1(name);
    } else {
        // 3. calibration memory
        if (!readRIRavaVConfigParameters()) {
            usb.close();
            return false;
        }
        // 4. module settings
        result = usb.writeSetting(1, 1) && result;
        uint16_t setting3 = 0;
        if (!usb.readSetting(3, &setting3))
            result = false;
        else if ((setting3 & 0xFB) != 0xE2)
            result = usb.writeSetting(3, static_cast<uint16_t>((setting3 & 0x04) | 0xE2)) && result;
        desc.qusbDevName = QString::fromLatin1(name);

        // 5. string descriptors and chip revision
        std::string text;
        result = usb.getStringDescriptor(1, text) && result;
        desc.qusbMake = QString::fromStdString(text);
        result = usb.getStringDescriptor(2, text) && result;
        desc.qusbModel = QString::fromStdString(text);
        result = usb.getStringDescriptor(3, text) && result;
        desc.qusbSerial = QString::fromStdString(text);
        result = usb.getHardwareRevision(text) && result;
        desc.qusbHWRev = QString::fromStdString(text);

        // 6. port 0: reset line as output, held high
        uint8_t dir = 0, value = 0;
        uint16_t length = 1;
        bool portOk = usb.readPortDir(0, &dir);
        dir = static_cast<uint8_t>(dir | 0x04);
        portOk = portOk && usb.writePortDir(0, dir);
        portOk = portOk && usb.readPort(0, &value, &length) && length == 1;
        value = static_cast<uint8_t>(value | 0x04);
        portOk = portOk && usb.writePort(0, &value, 1);
        bool highSpeed = false;
        portOk = portOk && usb.isHighSpeed(&highSpeed);
        desc.qusbHighSpeed = highSpeed;
        result = portOk && result;

        // 7. bulk transfer size
        wordsPerRead = highSpeed ? 0x4000 : 0x10000;
        freeDataBuffer();
    }

    // 8. new register mirror (the drive that points at the old one goes first)
    drive.reset();
    regs = std::make_unique<HwRegisters>(&usb);
    regs->hwRevision = static_cast<int8_t>(desc.devName[11]);

    // 9. register reset and the linear drive
    if (result)
        result = regs->reset(false);
    driverSleepMs(100);
    if (searchOnConnect) {
        driveSearch.begin();
        drive.reset(createLinearDrive(regs.get(), &driveSearch));
    } else {
        drive.reset(new LinearDrive);
    }

    // 10. initial state
    if (result) {
        HwRegisters &r = *regs;
        const bool steps[] = {
            r.setModeBit(HwRegisters::kAccumulateBit, true),
            r.setFrontEnable(true, true),
            r.setGain(false),
            r.setCurrentResistor(HwRegisters::eSmall),
            r.setIdleDac(0),
            r.setFirstSettlingDelay(100),
            r.setSamplesPerPoint(150),
            r.setStepCount(7),
            r.setAuxSwitch(false),
            r.setStartDac(1000),
            r.setNextSettlingDelay(100),
            r.setStepLength(2),
            r.setSyncCycles(1),
            r.setSyncDelay(0),
            r.setSyncPoints(1),
            r.setIncrement(360),
            r.setInputSource(HwRegisters::eHV),
            r.setSwitchField1(true, 1),
            r.setSwitchField2(false, 0),
            r.setCalibrationLoad(true),
        };
        for (bool ok : steps)
            result = result && ok;
    }

    // 11. firmware words and 16-bit mode
    desc.chip1FirmwareVersion = regs->chip1Firmware();
    desc.chip2FirmwareVersion = regs->chip2Firmware();
    if (regs->chip2Firmware() <= 0x105F)
        is16Bit = false;
    if (result)
        result = regs->setModeBit(HwRegisters::k16BitBit, is16Bit);
    maxAccSamples = is16Bit ? 0x10000 : 0x40000;

    // 12. done: calibration load off
    if (result) {
        regs->hwRevision = static_cast<int8_t>(desc.devName[11]);
        if (regs->setCalibrationLoad(false)) {
            connected = true;
            LOG_DEB("VESK connected to %s", name);
            return true;
        }
    }

    // 13. failure
    if (errorCode == VESKB_NO_ERROR)
        errorCode = VESKB_COULD_NOT_CONNECT;
    LOG_WARN("connectTo(%s, %p, %d) : %s", name, static_cast<void *>(nullptr), 1, veskbErrorText(errorCode));
    if (usb.isOpen())
        usb.close();
    return false;
}

bool VeskbDrv::disconnect()
{
    freeDataBuffer();
    desc.qusbMake.clear();
    desc.qusbModel.clear();
    desc.qusbSerial.clear();
    desc.qusbHWRev.clear();
    desc.qusbDevName.clear();
    std::memset(desc.qusbDllVersion, 0, sizeof desc.qusbDllVersion);
    std::memset(desc.qusbDriverVersion, 0, sizeof desc.qusbDriverVersion);
    desc.qusbHighSpeed = false;
    connected = false;
    calibrated = false;
    desc.devName[0] = '\0';

    // A drive operation still running on another thread is aborted and ends
    // first: its commands and the transfers below must not share the line.
    if (drive && !drive->endOperation())
        LOG_WARN("disconnect() : %s", "linear drive operation did not end");
    if (regs) {
        stopScan();
        regs->setSwitchField1(false, 0);
        regs->setSwitchField2(false, 0);
        regs->setCalibrationLoad(true);
        regs->setModeBit(HwRegisters::k16BitBit, false);
    }
    if (drive)
        drive->stop();

    if (usb.isOpen() && !usb.close()) {
        errorCode = VESKB_QUSB_ERROR;
        LOG_WARN("disconnect() : %s", usb.lastErrorText());
        return false;
    }
    return true;
}

bool VeskbDrv::outputHV()
{
    if (!regs)
        return false;
    const bool a = regs->setSwitchField2(true, 0);
    const bool b = regs->setSwitchField1(true, 1);
    const bool c = regs->setCalibrationLoad(false);
    return a && b && c;
}

bool VeskbDrv::isDoubleProbeModeAvailable() const
{
    return regs && (regs->statusWord() & HwRegisters::kDoubleProbeAvailableBit);
}

bool VeskbDrv::isExtScanTriggerAvailable() const
{
    return regs && (regs->statusWord() & HwRegisters::kTriggerAvailableBit);
}

bool VeskbDrv::selectProbeMode(int m)
{
    if (!regs)
        return false;
    if (m < 0 || m > 3) {
        LOG_WARN("selectProbeMode(%d) : unknown probe mode", m);
        return false;
    }
    if (!isDoubleProbeModeAvailable() && m != VESK_HW::eSingle) {
        LOG_WARN("Cannot change probe mode on this hardware since double probe mode is not available");
        return false;
    }
    LOG_DEB("Setting %s probe mode.", kProbeModeNames[m]);
    const uint16_t bits = static_cast<uint16_t>((regs->probeMode & ~0x7u) | kProbeModeBits[m]);
    if (bits != regs->probeMode && !regs->calibrationLoadOn()) {
        // Switch with the calibration load on so the probe line sees no step.
        regs->setCalibrationLoad(true);
        driverSleepMs(50);
        const bool ok = regs->setProbeModeBits(bits);
        driverSleepMs(50);
        regs->setCalibrationLoad(false);
        driverSleepMs(50);
        return ok;
    }
    return regs->setProbeModeBits(bits);
}

VESK_HW::eProbeMode VeskbDrv::getProbeMode() const
{
    if (!regs)
        return VESK_HW::eSingle;
    switch (regs->probeMode & 0xFF07) {
    case 2: return VESK_HW::eDouble;
    case 1: return VESK_HW::eReturn;
    case 3: return VESK_HW::eDrive;
    default: return VESK_HW::eSingle;
    }
}

bool VeskbDrv::useTriggeredScan(bool enable, bool mode, unsigned short delay)
{
    if (!regs)
        return false;
    if (enable) {
        if (!isExtScanTriggerAvailable()) {
            LOG_WARN("useTriggeredScan(%d, %d, %d) : external scan trigger is not available", enable, mode,
                     delay);
            return false;
        }
        if (!regs->setTriggerDelay(delay))
            return false;
    }
    constexpr uint16_t both = HwRegisters::kTriggerEnableBit | HwRegisters::kTriggerModeBit;
    if (enable && mode)
        return regs->updateControlWord(0, both);
    if (enable)
        return regs->updateControlWord(HwRegisters::kTriggerModeBit, HwRegisters::kTriggerEnableBit);
    return regs->updateControlWord(HwRegisters::kTriggerEnableBit, 0);
}

bool VeskbDrv::stopScan()
{
    if (!regs)
        return false;
    // A stop is confirmed only when every one of its transfers went out.
    const bool runCleared = regs->stopRun();
    aborted = false;
    const bool sequencerStopped = regs->stopSequencer();
    if (!runCleared || !sequencerStopped)
        LOG_WARN("stopScan() : %s", "the stop did not reach the unit");
    return runCleared && sequencerStopped;
}

bool VeskbDrv::abortAll()
{
    // Raise the flag before stopping: the stop ends the stream, and a read loop
    // that saw the end before the flag would take the abort for a failed read.
    // The stop itself is stopScan's without its clearing of the flag.
    aborted = true;
    driveSearch.cancel();
    bool result = true;
    if (regs && regs->runBit()) {
        const bool runCleared = regs->stopRun();
        result = regs->stopSequencer() && runCleared;
    }
    return result;
}

bool VeskbDrv::searchLinearDrive()
{
    if (!connected || !regs)
        return false;
    driveSearch.begin();
    std::unique_ptr<LinearDrive> found(createLinearDrive(regs.get(), &driveSearch));
    if (driveSearch.cancelled())
        return false;
    drive = std::move(found);
    return true;
}

// ---- RS232 pass-through ---------------------------------------------------------------

// The transfers live on the register mirror, where the linear drives use them too.
namespace {
bool rs232Mirror(const HwRegisters *regs)
{
    if (regs)
        return true;
    LOG_WARN("RS232 pass-through is not available (chip1 firmware 0x%04X)", 0);
    return false;
}
}

bool VeskbDrv::configureRS232(char port, unsigned char rateCode, bool a, bool b)
{
    return rs232Mirror(regs.get()) && regs->configureRS232(port, rateCode, a, b);
}

bool VeskbDrv::flushRS232(unsigned char port)
{
    return rs232Mirror(regs.get()) && regs->flushRS232(port);
}

bool VeskbDrv::readRS232(unsigned char port, char *buffer, unsigned short *length)
{
    return rs232Mirror(regs.get()) && regs->readRS232(port, buffer, length);
}

bool VeskbDrv::writeRS232(unsigned char port, const char *data, unsigned short length)
{
    return rs232Mirror(regs.get()) && regs->writeRS232(port, data, length);
}
