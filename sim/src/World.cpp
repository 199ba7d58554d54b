#include "World.h"
#include "AnalogFrontEnd.h"
#include "MeasuringEngine.h"
#include <SimMotors.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <type_traits>

#include <sys/stat.h>

namespace qsim {

SerialDevice::~SerialDevice() = default;

void EchoLine::write(const uint8_t *data, size_t length)
{
    pending_.insert(pending_.end(), data, data + length);
}

bool EchoLine::read(double, uint8_t &byte)
{
    if (pending_.empty())
        return false;
    byte = pending_.front();
    pending_.erase(pending_.begin());
    return true;
}

void World::rebuild(const Config &c)
{
    config = c;
    clock = std::make_unique<Clock>(c.speedFactor);
    modules.clear();
    for (const ModuleConfig &m : c.modules)
        modules.push_back(std::make_unique<UsbModule>(m, *clock));
    for (size_t i = 0; i < modules.size(); ++i)
        modules[i]->controller().setScanEngine(std::make_unique<MeasuringEngine>(static_cast<int>(i), c.modules[i], c.measurement.seed + i));
    calls.fill(0);
    faults.clear();
    i2cFault = I2cWriteFault();
    i2cDataWrites = 0;
    if (!trace.active()) {
        const char *path = std::getenv("LPSIM_TRACE");
        if (path && *path)
            trace.open(path);
    }
    trace.forgetRequests();
    trace.comment(clock->now(), format("reset: %zu module(s), speed %g", modules.size(), c.speedFactor));
}

bool World::nextFault(Call call, CallFault &fired)
{
    ++calls[static_cast<size_t>(call)];
    bool hit = false;
    for (auto it = faults.begin(); it != faults.end();) {
        if (it->call != call) {
            ++it;
            continue;
        }
        if (it->countdown <= 1) {
            if (!hit) {
                fired = *it;
                hit = true;
            }
            it = faults.erase(it);
        } else {
            --it->countdown;
            ++it;
        }
    }
    return hit;
}

World &world()
{
    static World *w = [] {
        auto *created = new World; // lives until process exit; vendor calls may come from static destructors
        created->rebuild(configFromEnvironment());
        return created;
    }();
    return *w;
}

// ---- Calibration image ------------------------------------------------------

namespace {
template <typename T> void put(std::vector<uint8_t> &img, size_t offset, T value)
{
    std::memcpy(img.data() + offset, &value, sizeof value); // little-endian host
}
void putDoubles(std::vector<uint8_t> &img, size_t offset, const double *v, int n)
{
    for (int i = 0; i < n; ++i)
        put(img, offset + 8 * i, v[i]);
}
}

std::vector<uint8_t> calibrationImage(const ModuleConfig &m)
{
    using FE = AnalogFrontEnd;
    size_t size = 280;
    if (m.image == CalImage::Version3Size300)
        size = 300;
    if (m.image == CalImage::Blank)
        return std::vector<uint8_t>(280, 0xFF);
    std::vector<uint8_t> img(size, 0);
    put<uint32_t>(img, 0, m.image == CalImage::WrongMagic ? 0xCECAB071u : 0xCECAB070u);
    int16_t version = 2;
    uint16_t sizeField = 280;
    switch (m.image) {
    case CalImage::Version1: version = 1; sizeField = 0; break;
    case CalImage::Version3Size300: version = 3; sizeField = 300; break;
    case CalImage::Version2Size279: sizeField = 279; break;
    default: break;
    }
    put(img, 4, version);
    put(img, 6, sizeField);
    std::string name = m.devName;
    if (name.size() >= 12)
        name[11] = m.hardwareRevision;
    std::memcpy(img.data() + 8, name.data(), std::min<size_t>(name.size(), 20));
    uint32_t flags = m.sixteenBit ? 1u : 0u;
    if (m.image == CalImage::Flags01000001)
        flags = 0x01000001u;
    put(img, 28, flags);
    putDoubles(img, 32, FE::vRange, 2);
    putDoubles(img, 48, FE::iRange, 6);
    put(img, 96, FE::calibResistor);
    putDoubles(img, 104, FE::resI, 3);
    putDoubles(img, 128, FE::calibVoltage, 2);
    put<uint32_t>(img, 144, FE::calibTime);
    put<int32_t>(img, 148, version == 1 ? 0 : FE::driveLength);
    putDoubles(img, 152, FE::dac, 2);
    putDoubles(img, 168, FE::adcV, 2);
    for (int r = 0; r < 6; ++r)
        putDoubles(img, 184 + 16 * r, FE::adcI[r], 2);
    if (size > 280)
        for (size_t i = 280; i < size; ++i)
            img[i] = static_cast<uint8_t>(i);
    return img;
}

// ---- Configuration text -----------------------------------------------------

namespace {
bool toNumber(const std::string &s, unsigned long &out)
{
    char *end = nullptr;
    out = std::strtoul(s.c_str(), &end, 0);
    return !s.empty() && end && *end == '\0';
}
bool toBool(const std::string &s, bool &out)
{
    if (s == "1" || s == "true" || s == "yes" || s == "on") { out = true; return true; }
    if (s == "0" || s == "false" || s == "no" || s == "off") { out = false; return true; }
    return false;
}
std::string trim(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}
}

namespace {
enum class KeyResult { Applied, UnknownKey, BadValue };

KeyResult applyModuleKey(ModuleConfig &m, const std::string &key, const std::string &value)
{
    unsigned long num = 0;
    bool flag = false;
    auto number = [&](auto &field, unsigned long limit) {
        if (!toNumber(value, num) || num > limit)
            return KeyResult::BadValue;
        field = static_cast<std::remove_reference_t<decltype(field)>>(num);
        return KeyResult::Applied;
    };
    auto boolean = [&](bool &field) {
        if (!toBool(value, flag))
            return KeyResult::BadValue;
        field = flag;
        return KeyResult::Applied;
    };
    if (key == "name") m.name = value;
    else if (key == "make") m.make = value;
    else if (key == "model") m.model = value;
    else if (key == "serial") m.serial = value;
    else if (key == "devName") m.devName = value;
    else if (key == "revision") {
        if (value.size() != 1)
            return KeyResult::BadValue;
        m.hardwareRevision = value[0];
    } else if (key == "setting17") return number(m.setting17, 0xFFFF);
    else if (key == "chip1Firmware") return number(m.chip1Firmware, 0xFFFF);
    else if (key == "chip2Firmware") return number(m.chip2Firmware, 0xFFFF);
    else if (key == "trigger") return boolean(m.triggerAvailable);
    else if (key == "doubleProbe") return boolean(m.doubleProbeAvailable);
    else if (key == "sixteenBit") return boolean(m.sixteenBit);
    else if (key == "openable") return boolean(m.openable);
    else if (key == "motor") {
        if (!parseMotorFamily(value, m.motor.family))
            return KeyResult::BadValue;
    } else if (key == "motorLength") {
        if (!toNumber(value, num) || num == 0)
            return KeyResult::BadValue;
        m.motor.lengthSteps = double(num);
    } else if (key == "motorStart") {
        if (!toNumber(value, num))
            return KeyResult::BadValue;
        m.motor.startSteps = double(num);
    } else if (key == "motorMmPerStep") {
        char *end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end || !(v > 0) || !std::isfinite(v))
            return KeyResult::BadValue;
        m.motor.mmPerStep = v;
    } else if (key == "motorAddress") {
        if (!toNumber(value, num) || num >= 256)
            return KeyResult::BadValue;
        m.motor.address = char(num);
    } else if (key.rfind("fault.", 0) == 0) {
        if (!parseFaultKey(key.substr(6), value, m.faults))
            return key == "fault.read" || key == "fault.write" || key == "fault.stop" || key == "fault.stream"
                    || key == "fault.gone" || key == "fault.motor" || key == "fault.motorAt"
                ? KeyResult::BadValue
                : KeyResult::UnknownKey;
    } else if (key == "image") {
        if (value == "valid") m.image = CalImage::Valid;
        else if (value == "blank") m.image = CalImage::Blank;
        else if (value == "wrongMagic") m.image = CalImage::WrongMagic;
        else if (value == "version1") m.image = CalImage::Version1;
        else if (value == "version3") m.image = CalImage::Version3Size300;
        else if (value == "size279") m.image = CalImage::Version2Size279;
        else if (value == "badFlags") m.image = CalImage::Flags01000001;
        else return KeyResult::BadValue;
    } else
        return KeyResult::UnknownKey;
    return KeyResult::Applied;
}
} // namespace

bool parseFaultKey(const std::string &key, const std::string &value, FaultSchedule &schedule)
{
    auto at = [&](FaultAt &field) {
        std::string digits = value;
        const bool onward = !digits.empty() && digits.back() == '+';
        if (onward)
            digits.pop_back();
        unsigned long n = 0;
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || !toNumber(digits, n)
            || n == 0 || n > 0xFFFFFFFFul)
            return false;
        field.nth = static_cast<unsigned>(n);
        field.onward = onward;
        return true;
    };
    if (key == "read") return at(schedule.read);
    if (key == "write") return at(schedule.write);
    if (key == "stop") return at(schedule.stop);
    if (key == "stream") return at(schedule.stream);
    if (key == "motorAt") return at(schedule.motorAt);
    if (key == "gone") {
        FaultAt from;
        if (!at(from))
            return false;
        schedule.gone = from.nth; // gone is for good: "N" and "N+" alike
        return true;
    }
    if (key == "motor") {
        if (value == "stall") schedule.motor = MotorFaultKind::Stall;
        else if (value == "noreply") schedule.motor = MotorFaultKind::NoReply;
        else if (value == "error") schedule.motor = MotorFaultKind::Error;
        else if (value == "none") schedule.motor = MotorFaultKind::None;
        else return false;
        return true;
    }
    return false;
}

bool parseConfig(const std::string &text, Config &config, std::string *error)
{
    std::istringstream in(text);
    std::string textLine;
    int lineNumber = 0;
    while (std::getline(in, textLine)) {
        ++lineNumber;
        std::istringstream entries(textLine);
        std::string line;
        while (std::getline(entries, line, ';')) {
            auto fail = [&](const std::string &why, const std::string &reason = std::string()) {
                if (error)
                    *error = "line " + std::to_string(lineNumber) + ": " + why + " in \"" + line + "\""
                        + (reason.empty() ? std::string() : ": " + reason);
                return false;
            };
            line = trim(line);
            if (line.empty() || line[0] == '#')
                continue;
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                return fail("missing '='");
            std::string key = trim(line.substr(0, eq));
            const std::string value = trim(line.substr(eq + 1));
            // "moduleN.key" addresses module N; a bare key applies to every module.
            int target = -1;
            if (key.rfind("module", 0) == 0 && key.find('.') != std::string::npos) {
                unsigned long idx = 0;
                if (!toNumber(key.substr(6, key.find('.') - 6), idx) || idx >= config.modules.size())
                    return fail("no such module \"" + key + "\"");
                target = static_cast<int>(idx);
                key = key.substr(key.find('.') + 1);
            }
            if (target < 0) {
                std::string why;
                if (parseMeasurementKey(key, value, config.measurement, &why))
                    continue;
                if (!why.empty())
                    return fail("bad value for \"" + key + "\"", why);
                if (key == "modules") {
                    unsigned long num = 0;
                    if (!toNumber(value, num) || num > 16)
                        return fail("bad module count");
                    config.modules.resize(num);
                    for (size_t i = 0; i < config.modules.size(); ++i)
                        config.modules[i].name = "QUSB-" + std::to_string(i);
                    continue;
                }
                if (key == "speed") {
                    char *end = nullptr;
                    const double v = std::strtod(value.c_str(), &end);
                    if (value.empty() || *end || !(v >= 0) || !std::isfinite(v))
                        return fail("bad speed factor");
                    config.speedFactor = v;
                    continue;
                }
            }
            // Checked on a scratch module too, so that a bad key fails with no modules as well.
            ModuleConfig scratch;
            switch (applyModuleKey(scratch, key, value)) {
            case KeyResult::UnknownKey: return fail("unknown key \"" + key + "\"");
            case KeyResult::BadValue: return fail("bad value for \"" + key + "\"");
            case KeyResult::Applied: break;
            }
            for (size_t i = 0; i < config.modules.size(); ++i)
                if (target < 0 || static_cast<int>(i) == target)
                    applyModuleKey(config.modules[i], key, value);
        }
    }
    return true;
}

Config configFromEnvironment(std::string *message)
{
    Config config;
    const char *env = std::getenv("LPSIM_CONFIG");
    if (!env || !*env)
        return config;
    std::string text = env;
    std::string source = "LPSIM_CONFIG";
    std::string error;
    struct stat st;
    // A path that exists must be a file: a folder or a device is no world.
    const bool exists = ::stat(env, &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        error = "\"" + text + "\" is not a regular file";
    std::ifstream file;
    if (exists && error.empty())
        file.open(env);
    if (file.is_open()) {
        std::ostringstream all;
        all << file.rdbuf();
        text = all.str();
        source = env;
    }
    Config parsed;
    if (!error.empty() || !parseConfig(text, parsed, &error)) {
        // A typo must not run against the wrong world: no module at all.
        const std::string report = "simulated unit: " + source + ": " + error + "; no module attached";
        std::fprintf(stderr, "%s\n", report.c_str());
        if (message)
            *message = report;
        config.modules.clear();
        return config;
    }
    return parsed;
}

// ---- Control interface --------------------------------------------------------

void reset(const Config &config)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.rebuild(config);
}

Config currentConfig()
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.config;
}

void failCall(Call call, unsigned nth, QULONG code)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.faults.push_back({call, nth ? nth : 1, code ? code : QULONG(QUSB_ERROR_IOCTL_FAILED), 0});
}

void shortReply(Call call, unsigned nth, unsigned missingBytes)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.faults.push_back({call, nth ? nth : 1, 0, missingBytes});
}

void failI2cDataWrite(unsigned k, unsigned times, QULONG code, bool corrupt)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.i2cDataWrites = 0;
    w.i2cFault = {true, k, times, code, corrupt};
}

void clearFaults()
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.faults.clear();
    w.i2cFault = I2cWriteFault();
    for (auto &m : w.modules) {
        m->faults = FaultSchedule();
        if (m->motor())
            m->motor()->schedule(MotorFaultKind::None, FaultAt());
    }
}

void scheduleFaults(int module, const FaultSchedule &schedule)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (UsbModule *m = w.module(module)) {
        m->faults = schedule;
        if (m->motor())
            m->motor()->schedule(schedule.motor, schedule.motorAt);
    }
}

FaultCounts faultCounts(int module)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    UsbModule *m = w.module(module);
    if (!m)
        return FaultCounts();
    FaultCounts c = m->counts;
    c.moves = m->motor() ? m->motor()->moves() : 0;
    return c;
}

unsigned callCount(Call call)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.calls[static_cast<size_t>(call)];
}

#define QSIM_WITH_MODULE(idx, fallback)              \
    World &w = world();                              \
    std::lock_guard<std::mutex> lock(w.mutex);       \
    UsbModule *m = w.module(idx);                    \
    if (!m)                                          \
        return fallback;

bool moduleOpen(int module) { QSIM_WITH_MODULE(module, false) return m->open; }
uint16_t setting(int module, uint16_t address)
{
    QSIM_WITH_MODULE(module, 0)
    uint16_t v = 0;
    m->readSetting(address, v);
    return v;
}
uint8_t portValue(int module, int port)
{
    QSIM_WITH_MODULE(module, 0)
    uint8_t v = 0;
    m->readPort(static_cast<uint16_t>(port), v);
    return v;
}
uint8_t portDirection(int module, int port)
{
    QSIM_WITH_MODULE(module, 0)
    uint8_t v = 0;
    m->readPortDir(static_cast<uint16_t>(port), v);
    return v;
}
unsigned resetPulses(int module) { QSIM_WITH_MODULE(module, 0) return m->resetPulses(); }
uint16_t cnfgRegister(int module, int reg)
{
    QSIM_WITH_MODULE(module, 0)
    return reg >= 0 && reg < RegisterFile::kCnfgCount ? m->controller().registers().cnfg[reg] : 0;
}
uint16_t stateRegister(int module, int reg)
{
    QSIM_WITH_MODULE(module, 0)
    return m->controller().readRegister(reg);
}
uint16_t chip2Register(int module, int reg)
{
    QSIM_WITH_MODULE(module, 0)
    return reg >= 0 && reg < RegisterFile::kChip2Count ? m->controller().registers().chip2[reg] : 0;
}
bool chip2SequencerStopped(int module)
{
    QSIM_WITH_MODULE(module, false)
    return m->controller().registers().sequencerStopped;
}
std::vector<uint8_t> i2cMemory(int module, uint16_t address, size_t length)
{
    QSIM_WITH_MODULE(module, {})
    return m->calibrationMemory().peek(address, length);
}
void setI2cMemory(int module, uint16_t address, const std::vector<uint8_t> &bytes)
{
    QSIM_WITH_MODULE(module, )
    m->calibrationMemory().poke(address, bytes);
}
std::vector<uint8_t> serialBytesWritten(int module, int port)
{
    QSIM_WITH_MODULE(module, {})
    return m->controller().serialWritten(port);
}
void setStatusBits(int module, bool trigger, bool doubleProbe)
{
    QSIM_WITH_MODULE(module, )
    m->controller().registers().identity.triggerAvailable = trigger;
    m->controller().registers().identity.doubleProbeAvailable = doubleProbe;
}
void setFirmware(int module, uint16_t chip1, uint16_t chip2)
{
    QSIM_WITH_MODULE(module, )
    m->controller().registers().identity.chip1Firmware = chip1;
    m->controller().registers().identity.chip2Firmware = chip2;
}
void attachSerialDevice(int module, int port, std::shared_ptr<SerialDevice> device)
{
    QSIM_WITH_MODULE(module, )
    m->controller().attachSerial(port, std::move(device));
}
void advanceSimTime(double seconds)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (seconds > 0)
        w.clock->advance(seconds);
}

bool traceTo(const std::string &path)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.trace.open(path);
}

double simSeconds()
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.clock->now();
}

} // namespace qsim
