// One simulated USB interface module: its name and string descriptors, its
// settings, general-purpose port 0 (bit 2 is the controller's reset line), the
// I2C bus with the calibration memory, and the command and data endpoints
// wired to the controller logic.
#pragma once
#include "ControllerLogic.h"
#include "I2cBus.h"
#include "motor/MotorController.h"
#include <SimControl.h>

#include <array>
#include <memory>
#include <string>

namespace qsim {

class UsbModule {
public:
    static constexpr uint16_t kCalibrationMemoryAddress = 81;
    static constexpr uint16_t kControllerCommandAddress = 0xC000;

    UsbModule(const ModuleConfig &config, const Clock &clock);

    const ModuleConfig &config() const { return config_; }
    bool open = false;
    // Rehearsed faults and what they count (from the last open).
    FaultSchedule faults;
    FaultCounts counts;
    // The module was opened: counting starts again.
    void opened()
    {
        const bool gone = counts.gone;
        counts = FaultCounts();
        counts.gone = gone;
        if (motor_)
            motor_->restartMoveCount();
    }

    bool readSetting(uint16_t address, uint16_t &value) const;
    bool writeSetting(uint16_t address, uint16_t value);
    bool readPortDir(uint16_t port, uint8_t &dir) const;
    bool writePortDir(uint16_t port, uint8_t dir);
    bool readPort(uint16_t port, uint8_t &value) const;
    bool writePort(uint16_t port, uint8_t value);
    std::string stringDescriptor(int index) const;

    I2cBus &i2c() { return i2c_; }
    I2cMemory &calibrationMemory() { return *memory_; }
    ControllerLogic &controller() { return controller_; }
    unsigned resetPulses() const { return resetPulses_; }
    MotorController *motor() { return motor_.get(); }
    // Replaces the motor controller on port 0 (null: nothing attached).
    void setMotor(std::shared_ptr<MotorController> motor)
    {
        motor_ = std::move(motor);
        if (motor_)
            motor_->schedule(faults.motor, faults.motorAt);
        controller_.attachSerial(0, motor_);
    }

private:
    ModuleConfig config_;
    std::array<uint16_t, 32> settings_{};
    std::array<uint8_t, 5> portDir_{};
    std::array<uint8_t, 5> portValue_{};
    I2cBus i2c_;
    std::shared_ptr<I2cMemory> memory_;
    ControllerLogic controller_;
    unsigned resetPulses_ = 0;
    std::shared_ptr<MotorController> motor_;   // on RS232 port 0, when configured
};

} // namespace qsim
