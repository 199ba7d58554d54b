// The unit's bus trace, as a protocol analyser on the USB line would show it:
// one line per vendor call with the simulated time, the call, its arguments,
// its result and what it means to the unit (registers by name and value, scan
// start and stop, bulk reads with their byte counts, RS232 bytes to and from
// the motor controller). Written under the world's lock, so lines keep the
// order in which the unit saw the calls. Format in the README.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qsim {

class BusTrace {
public:
    ~BusTrace() { close(); }
    // Starts a new trace file (truncated); an empty path stops tracing.
    bool open(const std::string &path);
    void close();
    bool active() const { return file_ != nullptr; }
    const std::string &path() const { return path_; }

    void write(double simSeconds, const char *call, const std::string &args, bool ok, unsigned long error,
               const std::string &meaning);
    // A line without a call (world reset and the like), prefixed with '#'.
    void comment(double simSeconds, const std::string &text);

    // What a command transfer means; `control` is the control word before it
    // (updated as the transfer's frames write it).
    std::string decodeCommandWrite(int module, const uint8_t *data, size_t length, uint16_t &control);
    // What a command reply means, given the request that preceded it.
    std::string decodeCommandRead(int module, const uint8_t *data, size_t length) const;
    void forgetRequests() { pending_.clear(); }

    static std::string hex(const uint8_t *data, size_t length);
    static std::string quoted(const uint8_t *data, size_t length);

private:
    enum class Pending { None, Registers, Mailbox, SerialRx };
    Pending &pending(int module);

    std::FILE *file_ = nullptr;
    std::string path_;
    std::vector<Pending> pending_;
};

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace qsim
