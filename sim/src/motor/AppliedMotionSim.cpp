// AppliedMotion family: "command\r", replies "text\r": "%" accepted,
// "?<code>" refused, "XX=value" for queries. Velocities in revolutions per
// second of kStepsPerRev steps.
#include "MotorController.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace qsim {

void AppliedMotionSim::onByte(uint8_t c)
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

void AppliedMotionSim::command(const std::string &line)
{
    auto send = [this](const std::string &text) { reply(text + "\r", text.size() / 2); };
    size_t letters = 0;
    while (letters < line.size() && letters < 2 && std::isalpha(static_cast<unsigned char>(line[letters])))
        ++letters;
    const std::string cmd = line.substr(0, letters);
    const std::string arg = line.substr(letters);
    char *end = nullptr;
    const double x = std::strtod(arg.c_str(), &end);
    const bool hasNumber = !arg.empty() && *end == '\0' && std::isfinite(x);
    int code = 0;

    if (cmd == "SS") {
        send("SSOK");
    } else if (cmd == "MV" && arg.empty()) {
        send("MV=SIM-23Q 1.00");
    } else if (cmd == "IF" || cmd == "DL" || cmd == "DE" || cmd == "AC") {
        send(cmd == "IF" || hasNumber ? "%" : "?21");
    } else if (cmd == "VE") {
        if (!hasNumber || x < 0.0042 || x > 80)
            return send("?21");
        velocity_ = x * kStepsPerRev;
        send("%");
    } else if (cmd == "DI" && hasNumber) {
        distance_ = std::lround(x);
        send("%");
    } else if (cmd == "SH" && arg == "2H") {
        if (refuseMotion(code))
            return send("?" + std::to_string(code));
        stage_.seekEnd(now(), distance_ < 0 ? -1 : 1, velocity_);
        send("%");
    } else if (cmd == "FP" && hasNumber) {
        if (refuseMotion(code))
            return send("?" + std::to_string(code));
        stage_.moveCounterTo(now(), std::lround(x), velocity_);
        send("%");
    } else if (cmd == "ST" && arg.empty()) {
        stage_.stop(now());
        send("%");
    } else if (cmd == "SP" && hasNumber) {
        stage_.setCounter(std::lround(x));
        send("%");
    } else if (cmd == "IP" && arg.empty()) {
        send("IP=" + std::to_string(stage_.counter()));
    } else if (cmd == "RS" && arg.empty()) {
        send(std::string("RS=") + (stage_.moving() ? "M" : "R"));
    } else {
        send("?37");
    }
}

} // namespace qsim
