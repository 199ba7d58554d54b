#include "UsbModule.h"

namespace qsim {

namespace {
ChipIdentity identityOf(const ModuleConfig &c)
{
    ChipIdentity id;
    id.chip1Firmware = c.chip1Firmware;
    id.chip2Firmware = c.chip2Firmware;
    id.triggerAvailable = c.triggerAvailable;
    id.doubleProbeAvailable = c.doubleProbeAvailable;
    return id;
}
constexpr uint16_t kImageAddress = 0x2000;
constexpr uint8_t kResetBit = 0x04;
}

UsbModule::UsbModule(const ModuleConfig &config, const Clock &clock)
    : config_(config), memory_(std::make_shared<I2cMemory>(&clock)), controller_(identityOf(config), clock)
{
    settings_[17] = config.setting17;
    settings_[3] = 0x00C2; // power-on value: the driver rewrites it
    portValue_[0] = kResetBit;
    i2c_.attach(kCalibrationMemoryAddress, memory_);
    memory_->poke(kImageAddress, calibrationImage(config));
    faults = config.faults;
    setMotor(makeMotorController(config.motor, clock));
}

bool UsbModule::readSetting(uint16_t address, uint16_t &value) const
{
    if (address >= settings_.size())
        return false;
    value = settings_[address];
    return true;
}

bool UsbModule::writeSetting(uint16_t address, uint16_t value)
{
    if (address >= settings_.size())
        return false;
    if (address != 17) // chip revision and speed are read-only
        settings_[address] = value;
    return true;
}

bool UsbModule::readPortDir(uint16_t port, uint8_t &dir) const
{
    if (port >= portDir_.size())
        return false;
    dir = portDir_[port];
    return true;
}

bool UsbModule::writePortDir(uint16_t port, uint8_t dir)
{
    if (port >= portDir_.size())
        return false;
    portDir_[port] = dir;
    return true;
}

bool UsbModule::readPort(uint16_t port, uint8_t &value) const
{
    if (port >= portValue_.size())
        return false;
    value = portValue_[port];
    return true;
}

bool UsbModule::writePort(uint16_t port, uint8_t value)
{
    if (port >= portValue_.size())
        return false;
    const uint8_t old = portValue_[port];
    portValue_[port] = value;
    // A rising edge on the reset line (driven as output) restarts the controller logic.
    if (port == 0 && (portDir_[0] & kResetBit) && !(old & kResetBit) && (value & kResetBit)) {
        controller_.powerOn();
        ++resetPulses_;
    }
    return true;
}

std::string UsbModule::stringDescriptor(int index) const
{
    switch (index) {
    case 1: return config_.make;
    case 2: return config_.model;
    case 3: return config_.serial;
    default: return std::string();
    }
}

} // namespace qsim
