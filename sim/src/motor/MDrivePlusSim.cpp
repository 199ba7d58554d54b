// MDrivePlus family: echoes what it receives; a carriage return ends a line,
// answered by "\r\n", an optional value line and the prompt '>' (accepted) or
// '?' (refused; "PR ER" prints the code). Ctrl-C resets and prints a banner.
// Input 1 is wired to the plus-end switch, input 2 to the minus-end switch;
// an input of type 3 is the home switch.
#include "MotorController.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace qsim {

namespace {
bool parseNumber(const std::string &s, long &value)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    value = std::strtol(s.c_str(), &end, 10);
    return *end == '\0';
}
std::string trimmed(const std::string &s)
{
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}
// Error codes of the family.
constexpr int kIllegalIo = 10;
constexpr int kIncorrectValue = 21;
constexpr int kViNotBelowVm = 22;
constexpr int kVmNotAboveVi = 23;
constexpr int kIllegalData = 24;
constexpr int kUnknownVariable = 30;
constexpr int kIllegalPrint = 35;
constexpr int kNotBothLimits = 82;
constexpr int kPlusLimit = 83;
constexpr int kMinusLimit = 84;
constexpr int kMoveInMotion = 85;
}

MDrivePlusSim::MDrivePlusSim(const MotorConfig &config, const Clock &clock) : MotorController(config, clock)
{
}

void MDrivePlusSim::resetVariables()
{
    for (int &t : ioType_)
        t = 0;
    vi_ = 1000;
    vm_ = 100000;
    accel_ = decel_ = 1000000;
    lm_ = 1;
    error_ = 0;
    homing_ = false;
}

void MDrivePlusSim::checkMotion()
{
    // Latches the result of a motion that has ended since the last look.
    if (wasMoving_ && !stage_.moving()) {
        const int end = stage_.endHit();
        if (homing_) {
            const int homeInput = end > 0 ? 1 : 2;
            if (end == 0 || ioType_[homeInput] != 3)
                error_ = kNotBothLimits;
        } else if (end > 0) {
            error_ = kPlusLimit;
        } else if (end < 0) {
            error_ = kMinusLimit;
        }
        homing_ = false;
    }
    wasMoving_ = stage_.moving();
}

void MDrivePlusSim::onByte(uint8_t c)
{
    checkMotion();
    if (c == 0x03) {
        stage_.stop(now());
        wasMoving_ = false;
        resetVariables();
        line_.clear();
        reply("\r\nSimulated MDrivePlus Motion Control Ver 3.010\r\n>", 10);
        return;
    }
    if (c == '\r') {
        std::string value;
        const int code = command(trimmed(line_), value);
        line_.clear();
        if (code != 0)
            error_ = code;
        std::string text = "\r\n";
        if (!value.empty())
            text += value + "\r\n";
        text += code == 0 ? ">" : "?";
        reply(text, 2 + value.size() / 2);
        return;
    }
    if (c < 32 || c > 126)
        return;
    if (line_.size() < 64)
        line_ += static_cast<char>(c);
    echo(std::string(1, static_cast<char>(c)));
}

int MDrivePlusSim::command(const std::string &line, std::string &value)
{
    if (line.empty())
        return 0;
    std::string upper;
    for (char ch : line)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    long n = 0;
    int refused = 0;

    if (upper.rfind("PR ", 0) == 0) {
        const std::string var = trimmed(upper.substr(3));
        if (var == "P") value = std::to_string(stage_.counter());
        else if (var == "MV") value = stage_.moving() ? "1" : "0";
        else if (var == "ER") value = std::to_string(error_);
        else if (var == "DN") value = "MDrivePlus17";
        else if (var == "PN") value = "SIM-MDP-17-A";
        else if (var == "SN") value = "170417";
        else if (var == "VR") value = "3.010";
        else if (var == "VM") value = std::to_string(vm_);
        else if (var == "VI") value = std::to_string(vi_);
        else return kIllegalPrint;
        return 0;
    }
    const size_t space = upper.find(' ');
    const std::string word = upper.substr(0, space);
    const std::string arg = space == std::string::npos ? std::string() : trimmed(upper.substr(space + 1));
    if (word == "MA" || word == "MR" || word == "HM" || word == "SL") {
        if (!parseNumber(arg, n))
            return kIllegalData;
        if (word == "SL" && n == 0) {
            stage_.stop(now());
            checkMotion();
            return 0;
        }
        if (refuseMotion(refused))
            return refused;
        if (stage_.moving())
            return kMoveInMotion;
        homing_ = false;
        if (word == "MA")
            stage_.moveCounterTo(now(), n, static_cast<double>(vm_));
        else if (word == "MR")
            stage_.moveBy(now(), static_cast<double>(n), static_cast<double>(vm_));
        else if (word == "SL")
            stage_.seekEnd(now(), n < 0 ? -1 : 1, std::fabs(static_cast<double>(n)));
        else {
            if (n < 1 || n > 4)
                return kIncorrectValue;
            homing_ = true;
            stage_.seekEnd(now(), n <= 2 ? -1 : 1, static_cast<double>(vm_));
        }
        wasMoving_ = true;
        return 0;
    }
    const size_t eq = upper.find('=');
    if (eq == std::string::npos)
        return kUnknownVariable;
    const std::string var = trimmed(upper.substr(0, eq));
    const std::string val = trimmed(upper.substr(eq + 1));
    if (var.size() == 2 && var[0] == 'S' && std::isdigit(static_cast<unsigned char>(var[1]))) {
        const int input = var[1] - '0';
        if (input < 1 || input > 4)
            return kIllegalIo;
        if (!parseNumber(val.substr(0, val.find(',')), n) || n < 0 || n > 20)
            return kIllegalData;
        ioType_[input] = static_cast<int>(n);
        return 0;
    }
    if (!parseNumber(val, n))
        return kIllegalData;
    if (var == "P") {
        stage_.setCounter(n);
    } else if (var == "VM") {
        if (n <= vi_)
            return kVmNotAboveVi;
        vm_ = n;
    } else if (var == "VI") {
        if (n >= vm_)
            return kViNotBelowVm;
        vi_ = n;
    } else if (var == "A") {
        accel_ = n;
    } else if (var == "D") {
        decel_ = n;
    } else if (var == "LM") {
        lm_ = n;
    } else if (var == "ER") {
        error_ = static_cast<int>(n);
    } else {
        return kUnknownVariable;
    }
    return 0;
}

} // namespace qsim
