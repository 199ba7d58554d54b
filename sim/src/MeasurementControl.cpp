// Control interface of the measuring part: plasma, SYNC, trigger, front end,
// stream faults and the true state.
#include "MeasurementWorld.h"
#include "MeasuringEngine.h"
#include "Plasma.h"
#include "SyncGenerator.h"
#include "World.h"
#include "motor/MotorController.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace qsim {

namespace {
bool sameSync(const SyncConfig &a, const SyncConfig &b)
{
    return a.present == b.present && a.frequencyHz == b.frequencyHz && a.stability == b.stability
        && a.minHz == b.minHz && a.maxHz == b.maxHz;
}
} // namespace

std::condition_variable_any &readWakeup()
{
    static std::condition_variable_any cv;
    return cv;
}

double probePosition(int module)
{
    UsbModule *m = world().module(module);
    if (MotorController *motor = m ? m->motor() : nullptr)
        return motor->probePositionMm();
    return world().config.measurement.plasma.positionMm;
}

MeasuringEngine *measuringEngine(int module)
{
    UsbModule *m = world().module(module);
    return m ? dynamic_cast<MeasuringEngine *>(&m->controller().scanEngine()) : nullptr;
}

namespace {
// What a number of the world must be for its physics to hold.
enum class Range { Any, Positive, NonNegative, Fraction };
struct NumberKey {
    double *field;
    Range range;
};
const char *rangeProblem(Range range, double v)
{
    if (!std::isfinite(v))
        return "not a finite number";
    switch (range) {
    case Range::Positive: return v > 0 ? nullptr : "must be above 0";
    case Range::NonNegative: return v >= 0 ? nullptr : "must not be negative";
    case Range::Fraction: return v >= 0 && v <= 1 ? nullptr : "must lie between 0 and 1";
    case Range::Any: break;
    }
    return nullptr;
}
} // namespace

bool parseMeasurementKey(const std::string &key, const std::string &value, MeasurementConfig &c, std::string *why)
{
    auto refuse = [why](const char *reason) {
        if (why)
            *why = reason;
        return false;
    };
    PlasmaConfig &p = c.plasma;
    using R = Range;
    const std::map<std::string, NumberKey> numbers = {
        {"plasma.ne", {&p.ne, R::NonNegative}}, {"plasma.kTe", {&p.kTe, R::Positive}}, {"plasma.Vp", {&p.Vp, R::Any}},
        {"plasma.ionMass", {&p.ionMassAmu, R::Positive}},
        {"plasma.hotFraction", {&p.hotFraction, R::Fraction}}, {"plasma.hotKTe", {&p.hotKTe, R::Positive}},
        {"plasma.probeRadius", {&p.probeRadius, R::Positive}}, {"plasma.probeLength", {&p.probeLength, R::NonNegative}},
        {"plasma.areaRatio", {&p.areaRatio, R::Positive}}, {"plasma.mach", {&p.machNumber, R::Any}},
        {"plasma.machK", {&p.machK, R::Any}},
        {"plasma.pulseDepth", {&p.pulseDepth, R::Fraction}}, {"plasma.pulseTeDepth", {&p.pulseTeDepth, R::Fraction}},
        {"plasma.pulseDuty", {&p.pulseDuty, R::Fraction}}, {"plasma.pulseTauUs", {&p.pulseTauUs, R::NonNegative}},
        {"plasma.profileCentreMm", {&p.profileCentreMm, R::Any}},
        {"plasma.profileWidthMm", {&p.profileWidthMm, R::NonNegative}},
        {"plasma.profileFloor", {&p.profileFloor, R::Fraction}}, {"plasma.profileVpDrop", {&p.profileVpDrop, R::Any}},
        {"plasma.positionMm", {&p.positionMm, R::Any}}, {"plasma.fluctuation", {&p.fluctuation, R::NonNegative}},
        {"sync.frequencyHz", {&c.sync.frequencyHz, R::Positive}},
        {"sync.stability", {&c.sync.stability, R::NonNegative}},
        {"sync.minHz", {&c.sync.minHz, R::NonNegative}}, {"sync.maxHz", {&c.sync.maxHz, R::Positive}},
        {"trigger.periodUs", {&c.trigger.periodUs, R::NonNegative}},
        {"trigger.widthUs", {&c.trigger.widthUs, R::NonNegative}},
        {"noiseLsb", {&c.noiseLsb, R::NonNegative}}, {"readWaitMs", {&c.readWaitMs, R::NonNegative}}};
    const std::map<std::string, bool *> flags = {
        {"plasma.spherical", &p.spherical}, {"plasma.ionOml", &p.ionOml}, {"sync.present", &c.sync.present}};
    if (auto it = numbers.find(key); it != numbers.end()) {
        char *end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end)
            return refuse("not a number");
        if (const char *problem = rangeProblem(it->second.range, v))
            return refuse(problem);
        *it->second.field = v;
        return true;
    }
    if (auto it = flags.find(key); it != flags.end()) {
        // The same words as the unit's own switches take.
        if (value == "1" || value == "true" || value == "yes" || value == "on")
            *it->second = true;
        else if (value == "0" || value == "false" || value == "no" || value == "off")
            *it->second = false;
        else
            return refuse("takes yes or no");
        return true;
    }
    if (key == "seed") {
        char *end = nullptr;
        const unsigned long long v = std::strtoull(value.c_str(), &end, 0);
        if (value.empty() || *end)
            return refuse("not a whole number");
        c.seed = v;
        return true;
    }
    return refuse("");
}

MeasurementConfig measurementConfig()
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.config.measurement;
}

void setMeasurementConfig(const MeasurementConfig &config)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    const bool syncChanged = !sameSync(config.sync, w.config.measurement.sync);
    w.config.measurement = config;
    for (size_t i = 0; i < w.modules.size(); ++i)
        if (MeasuringEngine *e = measuringEngine(static_cast<int>(i)); e && syncChanged)
            e->syncConfigChanged();
    readWakeup().notify_all();
}

PlasmaState truePlasma(double phaseSeconds, double positionMm)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    const MeasurementConfig &c = w.config.measurement;
    return Plasma(c.plasma).state(phaseSeconds, SyncGenerator::period(c.sync), positionMm);
}

double trueProbeCurrent(double tipVolts, bool doubleProbe, double phaseSeconds, double positionMm)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    const MeasurementConfig &c = w.config.measurement;
    const Plasma plasma(c.plasma);
    return plasma.probeCurrent(plasma.local(phaseSeconds, SyncGenerator::period(c.sync), positionMm), tipVolts,
                               doubleProbe);
}

FrontEndTruth trueFrontEnd(int module)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    MeasuringEngine *e = measuringEngine(module);
    return e ? e->frontEnd().truth : FrontEnd('B').truth;
}

void setTrueFrontEnd(int module, const FrontEndTruth &truth)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (MeasuringEngine *e = measuringEngine(module))
        e->frontEnd().truth = truth;
}

void injectStreamFault(int module, StreamFault fault)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (MeasuringEngine *e = measuringEngine(module))
        e->injectFault(fault);
}

void clearStreamFaults(int module)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (MeasuringEngine *e = measuringEngine(module))
        e->clearFaults();
}

void fireTrigger(int module)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (MeasuringEngine *e = measuringEngine(module))
        e->fireTrigger(w.clock->now() * 1e6);
}

unsigned scansGenerated(int module)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    MeasuringEngine *e = measuringEngine(module);
    return e ? e->scansGenerated() : 0;
}

double trueOutputVolts(int module, uint32_t step)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    UsbModule *m = w.module(module);
    MeasuringEngine *e = measuringEngine(module);
    return m && e ? e->outputVolts(m->controller().registers(), step) : 0.0;
}

uint32_t syncWord(int module)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    UsbModule *m = w.module(module);
    return m ? m->controller().scanEngine().syncWord(m->controller().registers()) : 0;
}

} // namespace qsim
