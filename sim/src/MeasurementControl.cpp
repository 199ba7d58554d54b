// Control interface of the measuring part: plasma, SYNC, trigger, front end,
// stream faults and the true state.
#include "MeasurementWorld.h"
#include "MeasuringEngine.h"
#include "Plasma.h"
#include "SyncGenerator.h"
#include "World.h"

#include <cstdlib>
#include <map>

namespace qsim {

namespace {
std::function<double()> &positionSource()
{
    static std::function<double()> source;
    return source;
}

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

double probePosition()
{
    const auto &source = positionSource();
    return source ? source() : world().config.measurement.plasma.positionMm;
}

MeasuringEngine *measuringEngine(int module)
{
    UsbModule *m = world().module(module);
    return m ? dynamic_cast<MeasuringEngine *>(&m->controller().scanEngine()) : nullptr;
}

bool parseMeasurementKey(const std::string &key, const std::string &value, MeasurementConfig &c)
{
    PlasmaConfig &p = c.plasma;
    const std::map<std::string, double *> numbers = {
        {"plasma.ne", &p.ne}, {"plasma.kTe", &p.kTe}, {"plasma.Vp", &p.Vp}, {"plasma.ionMass", &p.ionMassAmu},
        {"plasma.hotFraction", &p.hotFraction}, {"plasma.hotKTe", &p.hotKTe},
        {"plasma.probeRadius", &p.probeRadius}, {"plasma.probeLength", &p.probeLength},
        {"plasma.areaRatio", &p.areaRatio}, {"plasma.mach", &p.machNumber}, {"plasma.machK", &p.machK},
        {"plasma.pulseDepth", &p.pulseDepth}, {"plasma.pulseTeDepth", &p.pulseTeDepth},
        {"plasma.pulseDuty", &p.pulseDuty}, {"plasma.pulseTauUs", &p.pulseTauUs},
        {"plasma.profileCentreMm", &p.profileCentreMm}, {"plasma.profileWidthMm", &p.profileWidthMm},
        {"plasma.profileFloor", &p.profileFloor}, {"plasma.profileVpDrop", &p.profileVpDrop},
        {"plasma.positionMm", &p.positionMm}, {"plasma.fluctuation", &p.fluctuation},
        {"sync.frequencyHz", &c.sync.frequencyHz}, {"sync.stability", &c.sync.stability},
        {"sync.minHz", &c.sync.minHz}, {"sync.maxHz", &c.sync.maxHz},
        {"trigger.periodUs", &c.trigger.periodUs}, {"trigger.widthUs", &c.trigger.widthUs},
        {"noiseLsb", &c.noiseLsb}, {"readWaitMs", &c.readWaitMs}};
    const std::map<std::string, bool *> flags = {
        {"plasma.spherical", &p.spherical}, {"plasma.ionOml", &p.ionOml}, {"sync.present", &c.sync.present}};
    if (auto it = numbers.find(key); it != numbers.end()) {
        char *end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end)
            return false;
        *it->second = v;
        return true;
    }
    if (auto it = flags.find(key); it != flags.end()) {
        // The same words as the unit's own switches take.
        if (value == "1" || value == "true" || value == "yes" || value == "on")
            *it->second = true;
        else if (value == "0" || value == "false" || value == "no" || value == "off")
            *it->second = false;
        else
            return false;
        return true;
    }
    if (key == "seed") {
        char *end = nullptr;
        const unsigned long long v = std::strtoull(value.c_str(), &end, 0);
        if (value.empty() || *end)
            return false;
        c.seed = v;
        return true;
    }
    return false;
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

void setPositionSource(std::function<double()> source)
{
    World &w = world();
    std::lock_guard<std::mutex> lock(w.mutex);
    positionSource() = std::move(source);
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
