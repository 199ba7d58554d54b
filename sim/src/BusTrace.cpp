#include "BusTrace.h"

#include <cstdarg>

namespace qsim {

namespace {
constexpr int kChip2Forward = 0x5B;
constexpr int kSerialTx = 0x5D;
constexpr int kMailbox = 0x60;
constexpr int kSerialRx = 0x61;
constexpr int kStateFirst = 0x65;

const char *const kCnfgNames[16] = {
    "control",        "totalCountM1.lo", "totalCountM1.hi", "idleDac",
    "startDac",       "increment",       "stepCountM1",     "firstSettlingDelay",
    "nextSettlingDelay", "stepLength.lo", "gainSwitchIndex", "gainSwitchFlag",
    "triggerDelay",   "probeMode",       "stepLength.hi",   "rs232Config"};

const char *const kStateNames[6] = {"chip1Firmware", "syncWord.lo", "syncWord.hi", "state3", "state4", "status"};

std::string cnfgName(int r)
{
    if (r >= 0 && r < 16)
        return format("CNFG%d %s", r, kCnfgNames[r]);
    if (r >= kStateFirst && r < kStateFirst + 6)
        return format("STAT%d %s", r, kStateNames[r - kStateFirst]);
    return format("reg 0x%02X", r);
}

std::string chip2Name(int r)
{
    switch (r) {
    case 0: return "chip2.0 firmware";
    case 1: return "chip2.1 mode";
    case 2: return "chip2.2 syncDelayP6";
    case 4: return "chip2.4 syncCyclesM1";
    case 6: return "chip2.6 syncPointsM1";
    case 8: return "chip2.8 samplesPerPointM1";
    case 10: return "chip2.10 analog";
    case 12: return "chip2.12 syncPulse";
    default: return format("chip2.%d", r);
    }
}

std::string controlMeaning(uint16_t w)
{
    std::string s = format("0x%04X (run=%d sw1=%d sw2=%d aux=%d trigger=%d triggerMode=%d)", w, w & 1,
                           (w >> 1) & 3, (w >> 3) & 3, (w >> 5) & 1, (w >> 6) & 1, (w >> 7) & 1);
    return s;
}

std::string probeModeMeaning(uint16_t w)
{
    const char *mode = "single";
    switch (w & 0xFF07) {
    case 2: mode = "double"; break;
    case 1: mode = "return"; break;
    case 3: mode = "drive"; break;
    default: break;
    }
    return format("0x%04X (%s)", w, mode);
}

std::string analogMeaning(uint16_t w)
{
    static const char *const sources[4] = {"reference", "GND", "?", "HV"};
    static const char *const resistors[4] = {"large", "large", "medium", "small"};
    return format("0x%04X (input=%s resistor=%s load=%d gain=%s enable=%d%d)", w, sources[w & 3],
                  resistors[(w >> 2) & 3], (w >> 4) & 1, (w >> 5) & 1 ? "high" : "low", (w >> 7) & 1,
                  (w >> 6) & 1);
}

std::string cnfgWrite(int r, uint16_t v, uint16_t &control)
{
    switch (r) {
    case 0: {
        std::string s = "CNFG0 control := " + controlMeaning(v);
        if (!(control & 1) && (v & 1))
            s += ", scan start";
        else if ((control & 1) && !(v & 1))
            s += ", scan stop";
        control = v;
        return s;
    }
    case 3:
    case 4:
    case 5:
        return format("%s := %d", cnfgName(r).c_str(), static_cast<int16_t>(v));
    case 13:
        return "CNFG13 probeMode := " + probeModeMeaning(v);
    default:
        return format("%s := %u", cnfgName(r).c_str(), v);
    }
}

std::string chip2Write(int r, const std::vector<uint16_t> &values, size_t &i)
{
    const bool pair = (r == 2 || r == 4 || r == 6 || r == 8) && i + 1 < values.size();
    if (pair) {
        const uint32_t v = values[i] | (uint32_t(values[i + 1]) << 16);
        ++i;
        return format("%s := %u", chip2Name(r).c_str(), v);
    }
    const uint16_t v = values[i];
    if (r == 1)
        return format("chip2.1 mode := 0x%04X (sync=%d accumulate=%d 16bit=%d)", v, v & 1, (v >> 2) & 1,
                      (v >> 3) & 1);
    if (r == 10)
        return "chip2.10 analog := " + analogMeaning(v);
    if (r == 12)
        return format("chip2.12 syncPulse := %u%s", v, v ? " (SYNC measurement)" : "");
    return format("%s := %u", chip2Name(r).c_str(), v);
}
} // namespace

std::string format(const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0)
        return std::string();
    if (static_cast<size_t>(n) < sizeof buf)
        return std::string(buf, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_start(ap, fmt);
    std::vsnprintf(&big[0], big.size(), fmt, ap);
    va_end(ap);
    big.resize(static_cast<size_t>(n));
    return big;
}

bool BusTrace::open(const std::string &path)
{
    close();
    if (path.empty())
        return true;
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) {
        std::fprintf(stderr, "LPSIM_TRACE: cannot write %s\n", path.c_str());
        return false;
    }
    path_ = path;
    std::fputs("# simulated unit bus trace: time call args -> result | meaning\n", file_);
    std::fflush(file_);
    return true;
}

void BusTrace::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    path_.clear();
    pending_.clear();
}

void BusTrace::write(double t, const char *call, const std::string &args, bool ok, unsigned long error,
                     const std::string &meaning)
{
    if (!file_)
        return;
    std::string line = format("%.6f %s", t, call);
    if (!args.empty())
        line += ' ' + args;
    line += ok ? " -> 1" : format(" -> 0 err=%lu", error);
    if (!meaning.empty())
        line += " | " + meaning;
    line += '\n';
    std::fputs(line.c_str(), file_);
    // Flushed per line: a test or a crashed run still finds every call.
    std::fflush(file_);
}

void BusTrace::comment(double t, const std::string &text)
{
    if (!file_)
        return;
    std::fprintf(file_, "# %.6f %s\n", t, text.c_str());
    std::fflush(file_);
}

BusTrace::Pending &BusTrace::pending(int module)
{
    if (module < 0)
        module = 0;
    if (static_cast<size_t>(module) >= pending_.size())
        pending_.resize(static_cast<size_t>(module) + 1, Pending::None);
    return pending_[static_cast<size_t>(module)];
}

std::string BusTrace::hex(const uint8_t *data, size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

std::string BusTrace::quoted(const uint8_t *data, size_t length)
{
    std::string s = "\"";
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = data[i];
        switch (c) {
        case '\r': s += "\\r"; break;
        case '\n': s += "\\n"; break;
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        default:
            if (c >= 32 && c < 127)
                s += static_cast<char>(c);
            else
                s += format("\\x%02x", c);
        }
    }
    return s + '"';
}

// Mirrors the unit's framing: N, R, then N-1 words; a frame without its
// words is a read request.
std::string BusTrace::decodeCommandWrite(int module, const uint8_t *data, size_t length, uint16_t &control)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos + 2 <= length) {
        const int n = data[pos];
        const int r = data[pos + 1];
        pos += 2;
        if (n == 0)
            break;
        const int words = n - 1;
        const size_t available = (length - pos) / 2;
        if (words > 0 && available == 0) {
            pending(module) = Pending::Registers;
            parts.push_back(format("read %s .. +%d", cnfgName(r).c_str(), words - 1));
            continue;
        }
        std::vector<uint16_t> values;
        std::vector<uint8_t> bytes;
        for (int i = 0; i < words && pos + 2 <= length; ++i, pos += 2) {
            values.push_back(static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8)));
            bytes.push_back(data[pos]);
        }
        if (r == kChip2Forward) {
            if (values.empty())
                continue;
            const int reg = values[0] & 0xFF;
            const int count = values[0] >> 8;
            if (reg & 0x80) {
                parts.push_back(format("chip2 read %s .. +%d", chip2Name(reg & 0x7F).c_str(), count - 1));
            } else if (reg == 0x40 && count == 0) {
                parts.push_back("chip2 sequencer stop");
            } else {
                std::vector<uint16_t> rest(values.begin() + 1, values.end());
                for (size_t i = 0; i < rest.size() && static_cast<int>(i) < count; ++i)
                    parts.push_back(chip2Write(reg + static_cast<int>(i), rest, i));
            }
        } else if (r == kSerialTx) {
            parts.push_back("RS232 tx " + quoted(bytes.data(), bytes.size()));
        } else if (r == kSerialRx && words == 0) {
            pending(module) = Pending::SerialRx;
            parts.push_back("RS232 rx request");
        } else if (r == kMailbox && words == 0) {
            pending(module) = Pending::Mailbox;
            parts.push_back("chip2 mailbox read");
        } else {
            for (size_t i = 0; i < values.size(); ++i) {
                const int reg = r + static_cast<int>(i);
                if (reg == 1 && i + 1 < values.size()) {
                    parts.push_back(format("CNFG1-2 totalCountM1 := %u",
                                           values[i] | (uint32_t(values[i + 1]) << 16)));
                    ++i;
                } else {
                    parts.push_back(cnfgWrite(reg, values[i], control));
                }
            }
        }
    }
    std::string s;
    for (size_t i = 0; i < parts.size(); ++i)
        s += (i ? "; " : "") + parts[i];
    return s;
}

std::string BusTrace::decodeCommandRead(int module, const uint8_t *data, size_t length) const
{
    const Pending p = module >= 0 && static_cast<size_t>(module) < pending_.size() ? pending_[module]
                                                                                   : Pending::None;
    if (p == Pending::SerialRx) {
        if (length < 1)
            return "RS232 rx nothing";
        if (data[0] & 0x80)
            return "RS232 rx none";
        return "RS232 rx " + quoted(data, 1);
    }
    std::string s = format("reply %zu bytes", length);
    if (length >= 2) {
        s += ':';
        for (size_t i = 0; i + 1 < length; i += 2)
            s += format(" %04X", data[i] | (data[i + 1] << 8));
    }
    return s;
}

} // namespace qsim
