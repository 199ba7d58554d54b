// OpticsFocus family: "command\r", replies "text\n". V<n> sets the speed in
// hundreds of steps per second; HX0 seeks the minus end and zeroes there.
#include "MotorController.h"

#include <cstdlib>

namespace qsim {

void OpticsFocusSim::onByte(uint8_t c)
{
    if (c == '\n' || c == 0)
        return;
    if (c != '\r') {
        if (line_.size() < 64)
            line_ += static_cast<char>(c);
        return;
    }
    const std::string line = line_;
    line_.clear();
    if (!line.empty())
        command(line);
}

void OpticsFocusSim::command(const std::string &line)
{
    auto send = [this](const std::string &text) { reply(text + "\n", text.size() / 2); };
    auto number = [](const std::string &s, long &v) {
        if (s.empty())
            return false;
        char *end = nullptr;
        v = std::strtol(s.c_str(), &end, 10);
        return *end == '\0';
    };
    long n = 0;
    int code = 0;
    if (line == "?R") {
        send("OK");
    } else if (line == "?X") {
        send(std::to_string(stage_.counter()));
    } else if (line[0] == 'V' && number(line.substr(1), n) && n >= 1 && n <= 255) {
        speed_ = 100.0 * static_cast<double>(n);
        send("OK");
    } else if (line == "HX0") {
        if (refuseMotion(code))
            return send("ERR" + std::to_string(code));
        stage_.seekEnd(now(), -1, speed_);
        stage_.setZeroOnArrival(true);
        send("OK");
    } else if (line[0] == 'X' && line.size() > 1 && (line[1] == '+' || line[1] == '-')
               && number(line.substr(1), n)) {
        if (refuseMotion(code))
            return send("ERR" + std::to_string(code));
        stage_.moveBy(now(), static_cast<double>(n), speed_);
        send("OK");
    } else if (line == "S") {
        stage_.stop(now());
        send("OK");
    } else {
        send("ERR");
    }
}

} // namespace qsim
