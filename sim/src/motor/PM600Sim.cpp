// PM600 family: "<address><two letters>[signed number]\r", one reply line
// "text\r\n"; lines for another address are ignored; ESC stops at once.
#include "MotorController.h"

#include <cctype>
#include <cstdlib>

namespace qsim {

namespace {
bool parseNumber(const std::string &s, long &value)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    value = std::strtol(s.c_str(), &end, 10);
    return end && *end == '\0';
}
}

void PM600Sim::onByte(uint8_t c)
{
    if (c == 0x1B) {
        stage_.stop(now());
        line_.clear();
        return;
    }
    if (c == '\n')
        return;
    if (c != '\r') {
        if (line_.size() < 64)
            line_ += static_cast<char>(c);
        return;
    }
    const std::string line = line_;
    line_.clear();
    if (line.size() < 3 || line[0] != config_.address)
        return; // not for this controller
    command(line.substr(1));
}

void PM600Sim::command(const std::string &cmd)
{
    std::string mnemonic;
    for (int i = 0; i < 2; ++i)
        mnemonic += static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[i])));
    const std::string arg = cmd.substr(2);
    long n = 0;
    const bool hasNumber = parseNumber(arg, n);
    auto send = [this](const std::string &text) { reply(text + "\r\n", text.size() / 2); };
    int code = 0;

    if (mnemonic == "ID") {
        send("PM600 Simulated Stepper Motor Controller V1.0");
    } else if (mnemonic == "QA") {
        if (refuseMotion(code, false))
            send("Self-test failure " + std::to_string(code));
        else
            send("Self-test passed, velocity " + std::to_string(static_cast<long>(velocity_)));
    } else if (mnemonic == "CO") {
        send("OK");
    } else if (mnemonic == "SV" && hasNumber && n > 0 && n <= 200000) {
        velocity_ = static_cast<double>(n);
        send("OK");
    } else if ((mnemonic == "MR" || mnemonic == "MA") && hasNumber) {
        if (refuseMotion(code)) {
            send("!ERROR " + std::to_string(code));
            return;
        }
        if (mnemonic == "MR")
            stage_.moveBy(now(), static_cast<double>(n), velocity_);
        else
            stage_.moveCounterTo(now(), n, velocity_);
        send("OK");
    } else if (mnemonic == "OS" && arg.empty()) {
        std::string status = "00000000";
        status[0] = stage_.moving() ? '0' : '1';
        status[1] = stage_.atPlusEnd() ? '1' : '0';
        status[2] = stage_.atMinusEnd() ? '1' : '0';
        send(status);
    } else if (mnemonic == "OC" && arg.empty()) {
        send(std::to_string(stage_.counter()));
    } else if (mnemonic == "CP" && hasNumber) {
        stage_.setCounter(n);
        send("OK");
    } else if (mnemonic == "ST") {
        stage_.stop(now());
        send("OK");
    } else {
        send("!COMMAND ERROR");
    }
}

} // namespace qsim
