// Simulated stepper-motor controllers on the RS232 line: a common base that
// keeps the stage, the output queue, the received-line trace and the injected
// faults, and one class per family that speaks its ASCII language.
// Called with the simulator's lock held (as every serial device).
#pragma once
#include "Stage.h"
#include <SimMotors.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace qsim {

class Clock;

class MotorController : public SerialDevice {
public:
    MotorController(const MotorConfig &config, const Clock &clock);

    void write(const uint8_t *data, size_t length) override;
    bool read(double now, uint8_t &byte) override;

    virtual MotorFamily family() const = 0;
    MotorState state();
    // Where the stage has carried the probe, mm.
    double probePositionMm();
    Stage &stage() { return stage_; }
    void setFault(MotorFault fault, int code, int count);
    // A fault that begins at a motion command counted from the connect
    // (fault.motor / fault.motorAt); restartMoveCount() at every connect.
    void schedule(MotorFaultKind kind, FaultAt at) { scheduled_ = kind; scheduledAt_ = at; }
    void restartMoveCount() { moves_ = 0; }
    unsigned moves() const { return moves_; }
    const std::vector<std::string> &received() const { return received_; }
    void clearReceived() { received_.clear(); }

protected:
    // One byte from the host (after the fault filter).
    virtual void onByte(uint8_t c) = 0;
    // Output that no fault alters (echo).
    void echo(const std::string &text);
    // A reply; the garbled fault puts a non-printable character at `garbleAt`.
    void reply(const std::string &text, size_t garbleAt = 0);
    // True when the next motion command is to be refused; gives the code.
    // Every motion command asks (`motion` false: a command refused like one,
    // not counted as a move).
    bool refuseMotion(int &code, bool motion = true);
    static constexpr int kRehearsedErrorCode = 83;
    double now() const;
    void advance() { stage_.advance(now()); }
    // Records a control byte as a line of its own.
    void traceControl(uint8_t c) { received_.push_back(std::string(1, static_cast<char>(c))); }

    const MotorConfig config_;
    Stage stage_;

private:
    bool consume(int &count);

    const Clock &clock_;
    std::deque<uint8_t> out_;
    std::vector<std::string> received_;
    std::string traceLine_;
    void motionCommand();
    MotorFaultKind scheduled_ = MotorFaultKind::None;
    FaultAt scheduledAt_;
    unsigned moves_ = 0;
    MotorFault fault_ = MotorFault::None;
    int faultCode_ = 0;
    int faultCount_ = 0;
};

// Family classes; each parses lines ended by a carriage return.
class PM600Sim : public MotorController {
public:
    using MotorController::MotorController;
    MotorFamily family() const override { return MotorFamily::PM600; }
protected:
    void onByte(uint8_t c) override;
private:
    void command(const std::string &line);
    std::string line_;
    double velocity_ = 1000;
};

class MDrivePlusSim : public MotorController {
public:
    MDrivePlusSim(const MotorConfig &config, const Clock &clock);
    MotorFamily family() const override { return MotorFamily::MDrivePlus; }
protected:
    void onByte(uint8_t c) override;
private:
    // Returns the controller error code (0 accepted); `value` is printed.
    int command(const std::string &line, std::string &value);
    void checkMotion();
    void resetVariables();
    std::string line_;
    int ioType_[5] = {0, 0, 0, 0, 0};
    long vi_ = 1000, vm_ = 100000, accel_ = 1000000, decel_ = 1000000, lm_ = 1;
    int error_ = 0;
    bool homing_ = false;
    bool wasMoving_ = false;
};

class OpticsFocusSim : public MotorController {
public:
    using MotorController::MotorController;
    MotorFamily family() const override { return MotorFamily::OpticsFocus; }
protected:
    void onByte(uint8_t c) override;
private:
    void command(const std::string &line);
    std::string line_;
    double speed_ = 1000;
};

class AppliedMotionSim : public MotorController {
public:
    using MotorController::MotorController;
    MotorFamily family() const override { return MotorFamily::AppliedMotion; }
    static constexpr double kStepsPerRev = 20000;
protected:
    void onByte(uint8_t c) override;
private:
    void command(const std::string &line);
    std::string line_;
    double velocity_ = 2 * kStepsPerRev;
    long distance_ = 20000;
};

std::shared_ptr<MotorController> makeMotorController(const MotorConfig &config, const Clock &clock);

} // namespace qsim
