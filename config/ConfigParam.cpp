#include "ConfigParam.h"

#include <QSettings>

#include <algorithm>
#include <functional>
#include <type_traits>
#include <variant>
#include <vector>
#include <cmath>
#include <limits>

namespace {

// Map texts and store values are read leniently: whatever does not parse is 0.
double textToDouble(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}

qint64 textToInteger(const QString &text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const qint64 v = t.toLongLong(&ok);
    if (ok)
        return v;
    // "3.0" or "1e3" written by some other tool: take the whole part.
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return 0;
    if (d >= 9.0e18)
        return std::numeric_limits<qint64>::max();
    if (d <= -9.0e18)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

// A negative text must not wrap into a huge unsigned count.
quint32 toU32(qint64 v)
{
    return static_cast<quint32>(std::clamp<qint64>(v, 0, std::numeric_limits<quint32>::max()));
}

int toInt(qint64 v)
{
    return static_cast<int>(std::clamp<qint64>(v, std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max()));
}

bool textToBool(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    return textToInteger(t) != 0;
}

QString numText(double v) { return QString::number(v, 'g', 6); }
QString numText(quint32 v) { return QString::number(v); }
QString numText(int v) { return QString::number(v); }
QString numText(bool v) { return v ? QStringLiteral("1") : QStringLiteral("0"); }

// Reading from the map: a key that is present sets the field, else nothing changes.
// One row per stored field: its key in the settings store (a path below the
// record's group; empty when only the map carries the field), its key in the
// session-file map, and the field. Both forms are driven by this one table.
// Rows follow the store's reading order; the map is sorted by key, so its
// order does not matter. Rows added later go at the end, under new keys, so
// that older readers, which ignore unknown keys, are unaffected.
template <typename T>
using FieldOf = std::function<T &(ConfigParam &)>;

struct Key {
    QString store;
    QString map;
    std::variant<FieldOf<bool>, FieldOf<quint32>, FieldOf<int>, FieldOf<double>> field;
};

template <typename T>
void add(std::vector<Key> &keys, const char *store, const char *map, T &(*field)(ConfigParam &))
{
    keys.push_back(Key{QString::fromLatin1(store), QString::fromLatin1(map), FieldOf<T>(field)});
}

// The eight keys of one run group, in their order: "group/name" and "group_name".
void addRun(std::vector<Key> &keys, const char *group, ScanRunParam &(*run)(ConfigParam &))
{
    const auto one = [&](const char *name, auto member) {
        using T = std::remove_reference_t<decltype(ScanRunParam{}.*member)>;
        const QString g = QLatin1String(group), n = QLatin1String(name);
        keys.push_back(Key{g + '/' + n, g + '_' + n,
                           FieldOf<T>([run, member](ConfigParam &c) -> T & { return run(c).*member; })});
    };
    one("firstStepDelay", &ScanRunParam::firstStepDelay);
    one("nextStepDelay", &ScanRunParam::nextStepDelay);
    one("integrationTime", &ScanRunParam::integrationTime);
    one("avgPerStep", &ScanRunParam::avgPerStep);
    one("traceAverage", &ScanRunParam::traceAverage);
    one("voltageStart", &ScanRunParam::voltageStart);
    one("voltageStep", &ScanRunParam::voltageStep);
    one("voltageEnd", &ScanRunParam::voltageEnd);
}

#define F(type, member) [](ConfigParam &c) -> type & { return c.member; }

std::vector<Key> makeKeys()
{
    std::vector<Key> k;
    // What kind of probe the record describes: only in the map.
    add<bool>(k, "", "useDoubleProbe", F(bool, useDoubleProbe));
    add<int>(k, "", "probeMode", F(int, probeMode));
    add<bool>(k, "", "useReferenceProbe", F(bool, useReferenceProbe));

    add<bool>(k, "syncParam/bUseSyncScan", "syncParam_bUseSyncScan", F(bool, sync.bUseSyncScan));
    add<double>(k, "syncParam/start", "syncParam_start", F(double, sync.start));
    add<double>(k, "syncParam/duration", "syncParam_duration", F(double, sync.duration));
    add<double>(k, "syncParam/resolution", "syncParam_resolution", F(double, sync.resolution));
    add<bool>(k, "syncParam/averaging", "syncParam_averaging", F(bool, sync.averaging));
    add<bool>(k, "spatParam/bUseSpatScan", "spatParam_bUseSpatScan", F(bool, spat.bUseSpatScan));
    add<double>(k, "spatParam/start", "spatParam_start", F(double, spat.start));
    add<double>(k, "spatParam/step", "spatParam_step", F(double, spat.step));
    add<double>(k, "spatParam/end", "spatParam_end", F(double, spat.end));
    add<bool>(k, "useSmartScan", "useSmartScan", F(bool, useSmartScan));
    add<bool>(k, "useAutoCMRange", "useAutoCMRange", F(bool, useAutoCMRange));
    add<quint32>(k, "userChosenCMRange", "userChosenCMRange", F(quint32, userChosenCMRange));
    add<double>(k, "voltageIdle", "voltageIdle", F(double, voltageIdle));
    add<bool>(k, "bUseExtTrigger", "useExtTrigger", F(bool, useExtTrigger));
    add<bool>(k, "bUseExtTriggerRisingEdge", "useExtTriggerRisingEdge", F(bool, useExtTriggerRisingEdge));
    add<double>(k, "extTriggerDelay", "extTriggerDelay", F(double, extTriggerDelay));
    add<bool>(k, "ionCurrentDisable", "ionCurrentDisable", F(bool, ionCurrentDisable));
    add<bool>(k, "initScanDisable", "initScanDisable", F(bool, initScanDisable));
    add<bool>(k, "dcCScanDisable", "dcCScanDisable", F(bool, dcCScanDisable));
    add<bool>(k, "cleanProbeParam/autoClean", "cleanProbeParam_autoClean", F(bool, clean.autoClean));
    add<double>(k, "cleanProbeParam/voltage", "cleanProbeParam_voltage", F(double, clean.voltage));
    add<double>(k, "cleanProbeParam/power", "cleanProbeParam_power", F(double, clean.power));
    add<int>(k, "cleanProbeParam/duration", "cleanProbeParam_duration", F(int, clean.duration));
    add<int>(k, "cleanProbeParam/period", "cleanProbeParam_period", F(int, clean.period));
    add<int>(k, "cleanProbeParam/relaxTime", "cleanProbeParam_relaxTime", F(int, clean.relaxTime));
    add<double>(k, "offsetCurrent", "offsetCurrent", F(double, offsetCurrent));
    add<double>(k, "autoCRMargin", "autoCRMargin", F(double, autoCRMargin));
    addRun(k, "ionCurrentScanRunParam", F(ScanRunParam, ionCurrentScanRunParam));
    add<bool>(k, "ionCurrentUseBestCurrentRange", "ionCurrentUseBestCurrentRange",
              F(bool, ionCurrentUseBestCurrentRange));
    add<double>(k, "ionCurrentScalingFactor", "ionCurrentScalingFactor", F(double, ionCurrentScalingFactor));
    addRun(k, "initScanRunParam", F(ScanRunParam, initScanRunParam));
    add<double>(k, "initScanLargeVoltageStep", "initScanLargeVoltageStep", F(double, initScanLargeVoltageStep));
    add<double>(k, "initScanSmallVoltageStep", "initScanSmallVoltageStep", F(double, initScanSmallVoltageStep));
    add<quint32>(k, "initScanDerivativePoints", "initScanDerivativePoints", F(quint32, initScanDerivativePoints));
    add<double>(k, "initScanDerivativeDrop", "initScanDerivativeDrop", F(double, initScanDerivativeDrop));
    add<double>(k, "initScanIonCurrentDrop", "initScanIonCurrentDrop", F(double, initScanIonCurrentDrop));
    add<double>(k, "initScanMaxVoltage", "initScanMaxVoltage", F(double, initScanMaxVoltage));
    add<bool>(k, "initScanOptimiseForEEDF", "initScanOptimiseForEEDF", F(bool, initScanOptimiseForEEDF));
    addRun(k, "dcCScanRunParam", F(ScanRunParam, dcCScanRunParam));
    add<quint32>(k, "dcCScanSteps", "dcCScanSteps", F(quint32, dcCScanSteps));
    add<quint32>(k, "dcCScanSweeps", "dcCScanSweeps", F(quint32, dcCScanSweeps));
    addRun(k, "dataScanRunParam", F(ScanRunParam, dataScanRunParam));
    add<quint32>(k, "dataScanThrowScans", "dataScanThrowScans", F(quint32, dataScanThrowScans));
    add<quint32>(k, "dataScanRunScans", "dataScanRunScans", F(quint32, dataScanRunScans));
    add<double>(k, "ionScanDuration", "icParam_duration", F(double, ic.duration));
    add<double>(k, "ionScanVoltage", "icParam_voltage", F(double, ic.voltage));
    add<bool>(k, "ionScanUse", "icParam_bUseIcScan", F(bool, ic.bUseIcScan));
    // Later additions: retract and timed-run settings.
    add<bool>(k, "spatParam/useRetract", "spatParam_useRetract", F(bool, spat.useRetract));
    add<double>(k, "spatParam/retractPosition", "spatParam_retractPosition", F(double, spat.retractPosition));
    add<bool>(k, "timedParam/bUseTimedScan", "timedParam_bUseTimedScan", F(bool, timed.bUseTimedScan));
    add<double>(k, "timedParam/start", "timedParam_start", F(double, timed.start));
    add<double>(k, "timedParam/step", "timedParam_step", F(double, timed.step));
    add<double>(k, "timedParam/end", "timedParam_end", F(double, timed.end));
    return k;
}

#undef F

const std::vector<Key> &keys()
{
    static const std::vector<Key> table = makeKeys();
    return table;
}

// Map texts and store values are read leniently (see above).
void fromText(const QString &t, bool &f) { f = textToBool(t); }
void fromText(const QString &t, quint32 &f) { f = toU32(textToInteger(t)); }
void fromText(const QString &t, int &f) { f = toInt(textToInteger(t)); }
void fromText(const QString &t, double &f) { f = textToDouble(t); }

void fromStore(const QVariant &v, bool &f) { f = v.toBool(); }
void fromStore(const QVariant &v, quint32 &f) { f = toU32(textToInteger(v.toString())); }
void fromStore(const QVariant &v, int &f) { f = toInt(textToInteger(v.toString())); }
void fromStore(const QVariant &v, double &f)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    f = ok ? d : 0.0;
}

// A value outside [lo, hi] is brought to the nearer bound; not-a-number to `fallback`.
double bounded(double v, double lo, double hi, double fallback)
{
    return std::isnan(v) ? fallback : std::clamp(v, lo, hi);
}

// Values that must be above 0: anything else becomes `floor`.
double positive(double v, double floor)
{
    return v > 0 && std::isfinite(v) ? v : floor;
}

void clampRun(ScanRunParam &r)
{
    r.firstStepDelay = std::clamp<quint32>(r.firstStepDelay, 1, 65535);
    r.nextStepDelay = std::clamp<quint32>(r.nextStepDelay, 1, 65535);
    r.avgPerStep = std::max<quint32>(r.avgPerStep, 1);
    r.traceAverage = std::max<quint32>(r.traceAverage, 1);
    r.integrationTime = bounded(r.integrationTime, 0, std::numeric_limits<double>::max(), 0);
    r.voltageStart = bounded(r.voltageStart, -ConfigParam::maxVoltage, ConfigParam::maxVoltage, -50);
    r.voltageEnd = bounded(r.voltageEnd, -ConfigParam::maxVoltage, ConfigParam::maxVoltage, 50);
    r.voltageStep = bounded(r.voltageStep, ConfigParam::minVoltageStep, ConfigParam::maxVoltage, 1);
}

ScanRunParam runSet(quint32 first, quint32 next, double integ, quint32 avg, quint32 trace, double vs,
                    double step, double ve)
{
    ScanRunParam r;
    r.firstStepDelay = first;
    r.nextStepDelay = next;
    r.integrationTime = integ;
    r.avgPerStep = avg;
    r.traceAverage = trace;
    r.voltageStart = vs;
    r.voltageStep = step;
    r.voltageEnd = ve;
    return r;
}

} // namespace

bool ScanRunParam::operator==(const ScanRunParam &o) const
{
    return firstStepDelay == o.firstStepDelay && nextStepDelay == o.nextStepDelay
           && integrationTime == o.integrationTime && avgPerStep == o.avgPerStep
           && traceAverage == o.traceAverage && voltageStart == o.voltageStart
           && voltageStep == o.voltageStep && voltageEnd == o.voltageEnd;
}

QMap<QString, QString> ConfigParam::toMap() const
{
    QMap<QString, QString> map;
    auto &self = const_cast<ConfigParam &>(*this); // the fields are only read
    for (const Key &k : keys())
        std::visit([&](const auto &field) { map.insert(k.map, numText(field(self))); }, k.field);
    return map;
}

QMap<QString, QVariant> ConfigParam::typedMap() const
{
    QMap<QString, QVariant> map;
    auto &self = const_cast<ConfigParam &>(*this); // the fields are only read
    for (const Key &k : keys())
        std::visit([&](const auto &field) { map.insert(k.map, QVariant(field(self))); }, k.field);
    return map;
}

void ConfigParam::fromMap(const QMap<QString, QString> &map)
{
    for (const Key &k : keys()) {
        const auto it = map.constFind(k.map);
        if (it != map.constEnd())
            std::visit([&](const auto &field) { fromText(*it, field(*this)); }, k.field);
    }
    clampToPanelRanges();
}

void ConfigParam::clampToPanelRanges(double railLength)
{
    clampRun(ionCurrentScanRunParam);
    clampRun(initScanRunParam);
    clampRun(dcCScanRunParam);
    clampRun(dataScanRunParam);
    clampRun(clean.scanRunParam);
    userChosenCMRange = std::min(userChosenCMRange, maxCurrentRange);
    // The delay goes to the controller as an unsigned 16-bit value.
    extTriggerDelay = bounded(extTriggerDelay, 0.0, 65535.0, 0.0);
    initScanDerivativePoints = std::max<quint32>(initScanDerivativePoints, 1);
    dcCScanSteps = std::max<quint32>(dcCScanSteps, 1);
    dcCScanSweeps = std::max<quint32>(dcCScanSweeps, 1);
    dataScanRunScans = std::max<quint32>(dataScanRunScans, 1);

    // Positions lie on the rail; a step of 0 stays (a run at one position).
    const double rail = railLength > 0 && std::isfinite(railLength) ? railLength : maxRailLength;
    spat.start = bounded(spat.start, 0, rail, 0);
    spat.step = bounded(spat.step, 0, rail, 0);
    spat.end = bounded(spat.end, 0, rail, 0);
    spat.retractPosition = bounded(spat.retractPosition, 0, rail, 0);

    voltageIdle = bounded(voltageIdle, -maxVoltage, maxVoltage, 0);
    initScanMaxVoltage = bounded(initScanMaxVoltage, -maxVoltage, maxVoltage, maxVoltage);
    // A zero step would make the point-by-point walk of the initial scan endless.
    initScanLargeVoltageStep = bounded(initScanLargeVoltageStep, minVoltageStep, maxVoltage, 5);
    initScanSmallVoltageStep = bounded(initScanSmallVoltageStep, minVoltageStep, maxVoltage, 0.2);

    // Time-resolved window: sync duration 0 means the whole SYNC period.
    sync.start = bounded(sync.start, 0, std::numeric_limits<double>::max(), 0);
    sync.duration = bounded(sync.duration, 0, std::numeric_limits<double>::max(), 0);
    sync.resolution = positive(sync.resolution, minSyncResolution);

    timed.start = bounded(timed.start, 0, std::numeric_limits<double>::max(), 0);
    timed.step = bounded(timed.step, 0, std::numeric_limits<double>::max(), 0);
    timed.end = bounded(timed.end, 0, std::numeric_limits<double>::max(), 0);

    ic.duration = bounded(ic.duration, 1, std::numeric_limits<double>::max(), 1);
    ic.voltage = bounded(ic.voltage, -maxIcVoltage, maxIcVoltage, -30);

    clean.voltage = bounded(clean.voltage, -maxVoltage, maxVoltage, 150);
    clean.power = positive(clean.power, minCleanPower);
    clean.duration = std::clamp(clean.duration, 1, 600);
    clean.period = std::clamp(clean.period, 1, 3600);
    clean.relaxTime = std::clamp(clean.relaxTime, 1, 600);

    autoCRMargin = positive(autoCRMargin, 0.95);
    ionCurrentScalingFactor = positive(ionCurrentScalingFactor, 1.0);
}

void ConfigParam::readFromStore(QSettings &s, const QString &group, const ConfigParam &d)
{
    auto &defaults = const_cast<ConfigParam &>(d); // only read
    s.beginGroup(group);
    for (const Key &k : keys()) {
        if (k.store.isEmpty())
            continue;
        const QVariant v = s.value(k.store);
        std::visit(
            [&](const auto &field) {
                if (v.isValid())
                    fromStore(v, field(*this));
                else
                    field(*this) = field(defaults);
            },
            k.field);
    }
    s.endGroup();
    clampToPanelRanges();
}

void ConfigParam::writeToStore(QSettings &s, const QString &group) const
{
    auto &self = const_cast<ConfigParam &>(*this); // only read
    s.beginGroup(group);
    for (const Key &k : keys())
        if (!k.store.isEmpty())
            std::visit([&](const auto &field) { s.setValue(k.store, field(self)); }, k.field);
    s.endGroup();
}

// ---- single probe -----------------------------------------------------------

SingleProbeConfigParam SingleProbeConfigParam::storeDefaults()
{
    SingleProbeConfigParam d;
    d.voltageIdle = -100;
    d.initScanMaxVoltage = 150;
    d.ionCurrentScanRunParam = runSet(1000, 100, 100, 1, 10, -50, 1, -50);
    d.dataScanRunParam = runSet(1000, 100, 100, 1, 10, -50, 1, 50);
    return d;
}

void SingleProbeConfigParam::writeSettings() const
{
    QSettings store;
    writeSettings(store);
}

void SingleProbeConfigParam::readSettings()
{
    QSettings store;
    readSettings(store);
}

void SingleProbeConfigParam::writeSettings(QSettings &store) const
{
    writeToStore(store, QLatin1String(settingsGroup()));
}

void SingleProbeConfigParam::readSettings(QSettings &store)
{
    useDoubleProbe = false;
    readFromStore(store, QLatin1String(settingsGroup()), storeDefaults());
}

std::unique_ptr<ConfigParam> SingleProbeConfigParam::clone() const
{
    return std::make_unique<SingleProbeConfigParam>(*this);
}

// ---- double probe -----------------------------------------------------------

DoubleProbeConfigParam::DoubleProbeConfigParam()
{
    useDoubleProbe = true;
    probeMode = 3;
    useReferenceProbe = false;
    useSmartScan = false;
    useAutoCMRange = true;
    voltageIdle = 0;
    dcCScanDisable = true;
    initScanOptimiseForEEDF = false;
    ionCurrentScalingFactor = 1.0;
    initScanMaxVoltage = 100;
}

DoubleProbeConfigParam DoubleProbeConfigParam::storeDefaults()
{
    DoubleProbeConfigParam d;
    d.useAutoCMRange = false;
    d.ionCurrentScalingFactor = 1.5;
    d.initScanMaxVoltage = 150;
    d.ionCurrentScanRunParam = runSet(10000, 100, 100, 1, 10, -50, 1, -50);
    d.initScanRunParam = runSet(10000, 100, 100, 1, 1, -50, 1, 50);
    d.dcCScanRunParam = runSet(10000, 100, 100, 1, 1, -50, 1, 50);
    d.dataScanRunParam = runSet(10000, 100, 100, 1, 10, -50, 1, 50);
    return d;
}

void DoubleProbeConfigParam::writeSettings() const
{
    QSettings store;
    writeSettings(store);
}

void DoubleProbeConfigParam::readSettings()
{
    QSettings store;
    readSettings(store);
}

void DoubleProbeConfigParam::writeSettings(QSettings &store) const
{
    writeToStore(store, QLatin1String(settingsGroup()));
}

void DoubleProbeConfigParam::readSettings(QSettings &store)
{
    readFromStore(store, QLatin1String(settingsGroup()), storeDefaults());
}

std::unique_ptr<ConfigParam> DoubleProbeConfigParam::clone() const
{
    return std::make_unique<DoubleProbeConfigParam>(*this);
}
