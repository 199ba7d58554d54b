#include "MotorController.h"
#include "../Clock.h"
#include "../World.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace qsim {

MotorConfig MotorConfig::resolved() const
{
    MotorConfig r = *this;
    const bool mdrive = family == MotorFamily::MDrivePlus;
    if (!(r.mmPerStep > 0))
        r.mmPerStep = mdrive ? 9.933333333333334e-6 : 0.01;
    if (!(r.lengthSteps > 0))
        r.lengthSteps = mdrive ? 10100000 : 30000;
    if (r.startSteps < 0)
        r.startSteps = mdrive ? std::max(0.0, r.lengthSteps - 15000) : r.lengthSteps / 2;
    return r;
}

MotorController::MotorController(const MotorConfig &config, const Clock &clock)
    : config_(config.resolved()), stage_(config_.lengthSteps, config_.startSteps), clock_(clock)
{
    stage_.advance(clock_.now());
}

double MotorController::probePositionMm()
{
    // The probe sits where the carriage is, counted from the controller's
    // zero (home once homed), whichever way the family counts.
    advance();
    return std::fabs(static_cast<double>(stage_.counter())) * config_.mmPerStep;
}

double MotorController::now() const
{
    return clock_.now();
}

void MotorController::write(const uint8_t *data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = data[i];
        bool lineEnd = false;
        if (c == 0x03 || c == 0x1B) {
            traceControl(c);
        } else if (c == '\r') {
            received_.push_back(traceLine_);
            traceLine_.clear();
            lineEnd = true;
        } else if (c != '\n') {
            traceLine_ += static_cast<char>(c);
        }
        if (fault_ == MotorFault::NoReply) {
            // A dead controller: nothing is executed or answered.
            if (lineEnd)
                consume(faultCount_);
            continue;
        }
        advance();
        onByte(c);
    }
}

bool MotorController::read(double now, uint8_t &byte)
{
    stage_.advance(now);
    if (out_.empty())
        return false;
    byte = out_.front();
    out_.pop_front();
    return true;
}

MotorState MotorController::state()
{
    advance();
    MotorState s;
    s.family = family();
    s.position = stage_.position();
    s.length = stage_.length();
    s.counter = stage_.counter();
    s.moving = stage_.moving();
    s.atMinusEnd = stage_.atMinusEnd();
    s.atPlusEnd = stage_.atPlusEnd();
    s.speed = stage_.speed();
    return s;
}

void MotorController::setFault(MotorFault fault, int code, int count)
{
    fault_ = fault;
    faultCode_ = code;
    faultCount_ = count == 0 ? -1 : count;
    advance();
    stage_.setStalled(fault == MotorFault::Stall);
}

bool MotorController::consume(int &count)
{
    if (count > 0 && --count == 0) {
        fault_ = MotorFault::None;
        stage_.setStalled(false);
    }
    return true;
}

void MotorController::echo(const std::string &text)
{
    out_.insert(out_.end(), text.begin(), text.end());
}

void MotorController::reply(const std::string &text, size_t garbleAt)
{
    std::string t = text;
    if (fault_ == MotorFault::Garbled) {
        t.insert(std::min(garbleAt, t.size()), 1, '\x01');
        consume(faultCount_);
    }
    out_.insert(out_.end(), t.begin(), t.end());
}

void MotorController::motionCommand()
{
    ++moves_;
    if (scheduled_ == MotorFaultKind::None || !scheduledAt_.nth)
        return;
    if (scheduledAt_.hits(moves_)) {
        // A refusal is one command's; a stall lasts its motion (a later
        // command turns the motor again) unless every motion stalls; a
        // controller that stopped answering stays silent.
        switch (scheduled_) {
        case MotorFaultKind::Error: setFault(MotorFault::ErrorCode, kRehearsedErrorCode, 1); break;
        case MotorFaultKind::Stall: setFault(MotorFault::Stall, 0, -1); break;
        case MotorFaultKind::NoReply: setFault(MotorFault::NoReply, 0, -1); break;
        case MotorFaultKind::None: break;
        }
    } else if (scheduled_ == MotorFaultKind::Stall && moves_ > scheduledAt_.nth && fault_ == MotorFault::Stall) {
        setFault(MotorFault::None, 0, -1);
    }
}

bool MotorController::refuseMotion(int &code, bool motion)
{
    if (motion)
        motionCommand();
    if (fault_ != MotorFault::ErrorCode)
        return false;
    code = faultCode_;
    consume(faultCount_);
    return true;
}

std::shared_ptr<MotorController> makeMotorController(const MotorConfig &config, const Clock &clock)
{
    switch (config.family) {
    case MotorFamily::PM600: return std::make_shared<PM600Sim>(config, clock);
    case MotorFamily::MDrivePlus: return std::make_shared<MDrivePlusSim>(config, clock);
    case MotorFamily::OpticsFocus: return std::make_shared<OpticsFocusSim>(config, clock);
    case MotorFamily::AppliedMotion: return std::make_shared<AppliedMotionSim>(config, clock);
    case MotorFamily::None: break;
    }
    return nullptr;
}

// ---- Control interface -------------------------------------------------------

bool parseMotorFamily(const std::string &text, MotorFamily &family)
{
    std::string t;
    for (char c : text)
        t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char *const names[] = {"none", "pm600", "mdriveplus", "opticsfocus", "appliedmotion"};
    for (int i = 0; i < 5; ++i) {
        if (t == names[i] || t == std::to_string(i)) {
            family = static_cast<MotorFamily>(i);
            return true;
        }
    }
    return false;
}

namespace {
template <typename F> auto withMotor(int module, F f) -> decltype(f(std::declval<MotorController &>()))
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    UsbModule *m = w.module(module);
    MotorController *motor = m ? m->motor() : nullptr;
    if (!motor)
        return decltype(f(*motor))();
    return f(*motor);
}
}

void attachMotorController(int module, const MotorConfig &config)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (UsbModule *m = w.module(module))
        m->setMotor(makeMotorController(config, *w.clock));
}

void setMotorFault(int module, MotorFault fault, int code, int count)
{
    withMotor(module, [&](MotorController &m) { m.setFault(fault, code, count); });
}

MotorState motorState(int module)
{
    return withMotor(module, [](MotorController &m) { return m.state(); });
}

void setMotorPosition(int module, double steps)
{
    withMotor(module, [&](MotorController &m) { m.stage().setPosition(steps); });
}

std::vector<std::string> motorCommands(int module)
{
    return withMotor(module, [](MotorController &m) { return m.received(); });
}

void clearMotorCommands(int module)
{
    withMotor(module, [](MotorController &m) { m.clearReceived(); });
}

} // namespace qsim
