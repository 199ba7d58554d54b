#include "ConfigParam.h"

#include <QSettings>

#include <algorithm>
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
struct MapReader {
    const QMap<QString, QString> &map;
    QString prefix;

    QString key(const char *name) const
    {
        return prefix.isEmpty() ? QString::fromLatin1(name)
                                : QStringLiteral("%1_%2").arg(prefix, QLatin1String(name));
    }
    void get(const char *name, double &f) const
    {
        const auto it = map.constFind(key(name));
        if (it != map.constEnd())
            f = textToDouble(*it);
    }
    void get(const char *name, quint32 &f) const
    {
        const auto it = map.constFind(key(name));
        if (it != map.constEnd())
            f = toU32(textToInteger(*it));
    }
    void get(const char *name, int &f) const
    {
        const auto it = map.constFind(key(name));
        if (it != map.constEnd())
            f = toInt(textToInteger(*it));
    }
    void get(const char *name, bool &f) const
    {
        const auto it = map.constFind(key(name));
        if (it != map.constEnd())
            f = textToBool(*it);
    }
};

struct MapWriter {
    QMap<QString, QString> &map;
    QString prefix;

    template <typename T>
    void put(const char *name, T v) const
    {
        const QString k = prefix.isEmpty() ? QString::fromLatin1(name)
                                           : QStringLiteral("%1_%2").arg(prefix, QLatin1String(name));
        map.insert(k, numText(v));
    }
};

// Store access with the record kind's default for a missing key.
struct StoreReader {
    QSettings &s;

    void get(const char *key, double &f, double def) const
    {
        const QVariant v = s.value(QLatin1String(key));
        if (!v.isValid()) {
            f = def;
            return;
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        f = ok ? d : 0.0;
    }
    void get(const char *key, quint32 &f, quint32 def) const
    {
        const QVariant v = s.value(QLatin1String(key));
        f = v.isValid() ? toU32(textToInteger(v.toString())) : def;
    }
    void get(const char *key, int &f, int def) const
    {
        const QVariant v = s.value(QLatin1String(key));
        f = v.isValid() ? toInt(textToInteger(v.toString())) : def;
    }
    void get(const char *key, bool &f, bool def) const
    {
        const QVariant v = s.value(QLatin1String(key));
        f = v.isValid() ? v.toBool() : def;
    }
};

const char *const runKeys[8] = {"firstStepDelay", "nextStepDelay", "integrationTime", "avgPerStep",
                                "traceAverage",   "voltageStart",  "voltageStep",     "voltageEnd"};

void readRun(QSettings &s, const char *group, ScanRunParam &r, const ScanRunParam &d)
{
    s.beginGroup(QLatin1String(group));
    const StoreReader in{s};
    in.get(runKeys[0], r.firstStepDelay, d.firstStepDelay);
    in.get(runKeys[1], r.nextStepDelay, d.nextStepDelay);
    in.get(runKeys[2], r.integrationTime, d.integrationTime);
    in.get(runKeys[3], r.avgPerStep, d.avgPerStep);
    in.get(runKeys[4], r.traceAverage, d.traceAverage);
    in.get(runKeys[5], r.voltageStart, d.voltageStart);
    in.get(runKeys[6], r.voltageStep, d.voltageStep);
    in.get(runKeys[7], r.voltageEnd, d.voltageEnd);
    s.endGroup();
}

void writeRun(QSettings &s, const char *group, const ScanRunParam &r)
{
    s.beginGroup(QLatin1String(group));
    s.setValue(QLatin1String(runKeys[0]), r.firstStepDelay);
    s.setValue(QLatin1String(runKeys[1]), r.nextStepDelay);
    s.setValue(QLatin1String(runKeys[2]), r.integrationTime);
    s.setValue(QLatin1String(runKeys[3]), r.avgPerStep);
    s.setValue(QLatin1String(runKeys[4]), r.traceAverage);
    s.setValue(QLatin1String(runKeys[5]), r.voltageStart);
    s.setValue(QLatin1String(runKeys[6]), r.voltageStep);
    s.setValue(QLatin1String(runKeys[7]), r.voltageEnd);
    s.endGroup();
}

void mapRun(const MapWriter &w, const ScanRunParam &r)
{
    w.put(runKeys[0], r.firstStepDelay);
    w.put(runKeys[1], r.nextStepDelay);
    w.put(runKeys[2], r.integrationTime);
    w.put(runKeys[3], r.avgPerStep);
    w.put(runKeys[4], r.traceAverage);
    w.put(runKeys[5], r.voltageStart);
    w.put(runKeys[6], r.voltageStep);
    w.put(runKeys[7], r.voltageEnd);
}

void unmapRun(const MapReader &in, ScanRunParam &r)
{
    in.get(runKeys[0], r.firstStepDelay);
    in.get(runKeys[1], r.nextStepDelay);
    in.get(runKeys[2], r.integrationTime);
    in.get(runKeys[3], r.avgPerStep);
    in.get(runKeys[4], r.traceAverage);
    in.get(runKeys[5], r.voltageStart);
    in.get(runKeys[6], r.voltageStep);
    in.get(runKeys[7], r.voltageEnd);
}

void clampRun(ScanRunParam &r)
{
    r.firstStepDelay = std::clamp<quint32>(r.firstStepDelay, 1, 65535);
    r.nextStepDelay = std::clamp<quint32>(r.nextStepDelay, 1, 65535);
    r.avgPerStep = std::max<quint32>(r.avgPerStep, 1);
    r.traceAverage = std::max<quint32>(r.traceAverage, 1);
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
    const MapWriter top{map, QString()};
    top.put("useDoubleProbe", useDoubleProbe);
    top.put("probeMode", probeMode);
    top.put("useReferenceProbe", useReferenceProbe);
    top.put("useSmartScan", useSmartScan);
    top.put("useAutoCMRange", useAutoCMRange);
    top.put("userChosenCMRange", userChosenCMRange);
    top.put("voltageIdle", voltageIdle);
    top.put("offsetCurrent", offsetCurrent);
    top.put("autoCRMargin", autoCRMargin);
    top.put("ionCurrentUseBestCurrentRange", ionCurrentUseBestCurrentRange);
    top.put("ionCurrentScalingFactor", ionCurrentScalingFactor);
    top.put("initScanLargeVoltageStep", initScanLargeVoltageStep);
    top.put("initScanSmallVoltageStep", initScanSmallVoltageStep);
    top.put("initScanDerivativePoints", initScanDerivativePoints);
    top.put("initScanDerivativeDrop", initScanDerivativeDrop);
    top.put("initScanIonCurrentDrop", initScanIonCurrentDrop);
    top.put("initScanMaxVoltage", initScanMaxVoltage);
    top.put("initScanOptimiseForEEDF", initScanOptimiseForEEDF);
    top.put("dcCScanSteps", dcCScanSteps);
    top.put("dcCScanSweeps", dcCScanSweeps);
    top.put("dataScanThrowScans", dataScanThrowScans);
    top.put("dataScanRunScans", dataScanRunScans);
    top.put("useExtTrigger", useExtTrigger);
    top.put("useExtTriggerRisingEdge", useExtTriggerRisingEdge);
    top.put("extTriggerDelay", extTriggerDelay);
    top.put("ionCurrentDisable", ionCurrentDisable);
    top.put("initScanDisable", initScanDisable);
    top.put("dcCScanDisable", dcCScanDisable);

    const MapWriter sy{map, QStringLiteral("syncParam")};
    sy.put("bUseSyncScan", sync.bUseSyncScan);
    sy.put("start", sync.start);
    sy.put("duration", sync.duration);
    sy.put("resolution", sync.resolution);
    sy.put("averaging", sync.averaging);

    const MapWriter sp{map, QStringLiteral("spatParam")};
    sp.put("bUseSpatScan", spat.bUseSpatScan);
    sp.put("start", spat.start);
    sp.put("step", spat.step);
    sp.put("end", spat.end);

    const MapWriter icw{map, QStringLiteral("icParam")};
    icw.put("bUseIcScan", ic.bUseIcScan);
    icw.put("duration", ic.duration);
    icw.put("voltage", ic.voltage);

    const MapWriter cl{map, QStringLiteral("cleanProbeParam")};
    cl.put("autoClean", clean.autoClean);
    cl.put("voltage", clean.voltage);
    cl.put("power", clean.power);
    cl.put("duration", clean.duration);
    cl.put("period", clean.period);
    cl.put("relaxTime", clean.relaxTime);

    mapRun(MapWriter{map, QStringLiteral("ionCurrentScanRunParam")}, ionCurrentScanRunParam);
    mapRun(MapWriter{map, QStringLiteral("initScanRunParam")}, initScanRunParam);
    mapRun(MapWriter{map, QStringLiteral("dcCScanRunParam")}, dcCScanRunParam);
    mapRun(MapWriter{map, QStringLiteral("dataScanRunParam")}, dataScanRunParam);
    return map;
}

void ConfigParam::fromMap(const QMap<QString, QString> &map)
{
    const MapReader top{map, QString()};
    top.get("useDoubleProbe", useDoubleProbe);
    top.get("probeMode", probeMode);
    top.get("useReferenceProbe", useReferenceProbe);
    top.get("useSmartScan", useSmartScan);
    top.get("useAutoCMRange", useAutoCMRange);
    top.get("userChosenCMRange", userChosenCMRange);
    top.get("voltageIdle", voltageIdle);
    top.get("offsetCurrent", offsetCurrent);
    top.get("autoCRMargin", autoCRMargin);
    top.get("ionCurrentUseBestCurrentRange", ionCurrentUseBestCurrentRange);
    top.get("ionCurrentScalingFactor", ionCurrentScalingFactor);
    top.get("initScanLargeVoltageStep", initScanLargeVoltageStep);
    top.get("initScanSmallVoltageStep", initScanSmallVoltageStep);
    top.get("initScanDerivativePoints", initScanDerivativePoints);
    top.get("initScanDerivativeDrop", initScanDerivativeDrop);
    top.get("initScanIonCurrentDrop", initScanIonCurrentDrop);
    top.get("initScanMaxVoltage", initScanMaxVoltage);
    top.get("initScanOptimiseForEEDF", initScanOptimiseForEEDF);
    top.get("dcCScanSteps", dcCScanSteps);
    top.get("dcCScanSweeps", dcCScanSweeps);
    top.get("dataScanThrowScans", dataScanThrowScans);
    top.get("dataScanRunScans", dataScanRunScans);
    top.get("useExtTrigger", useExtTrigger);
    top.get("useExtTriggerRisingEdge", useExtTriggerRisingEdge);
    top.get("extTriggerDelay", extTriggerDelay);
    top.get("ionCurrentDisable", ionCurrentDisable);
    top.get("initScanDisable", initScanDisable);
    top.get("dcCScanDisable", dcCScanDisable);

    const MapReader sy{map, QStringLiteral("syncParam")};
    sy.get("bUseSyncScan", sync.bUseSyncScan);
    sy.get("start", sync.start);
    sy.get("duration", sync.duration);
    sy.get("resolution", sync.resolution);
    sy.get("averaging", sync.averaging);

    const MapReader sp{map, QStringLiteral("spatParam")};
    sp.get("bUseSpatScan", spat.bUseSpatScan);
    sp.get("start", spat.start);
    sp.get("step", spat.step);
    sp.get("end", spat.end);

    const MapReader icr{map, QStringLiteral("icParam")};
    icr.get("bUseIcScan", ic.bUseIcScan);
    icr.get("duration", ic.duration);
    icr.get("voltage", ic.voltage);

    const MapReader cl{map, QStringLiteral("cleanProbeParam")};
    cl.get("autoClean", clean.autoClean);
    cl.get("voltage", clean.voltage);
    cl.get("power", clean.power);
    cl.get("duration", clean.duration);
    cl.get("period", clean.period);
    cl.get("relaxTime", clean.relaxTime);

    unmapRun(MapReader{map, QStringLiteral("ionCurrentScanRunParam")}, ionCurrentScanRunParam);
    unmapRun(MapReader{map, QStringLiteral("initScanRunParam")}, initScanRunParam);
    unmapRun(MapReader{map, QStringLiteral("dcCScanRunParam")}, dcCScanRunParam);
    unmapRun(MapReader{map, QStringLiteral("dataScanRunParam")}, dataScanRunParam);

    clampToPanelRanges();
}

void ConfigParam::clampToPanelRanges()
{
    clampRun(ionCurrentScanRunParam);
    clampRun(initScanRunParam);
    clampRun(dcCScanRunParam);
    clampRun(dataScanRunParam);
    clampRun(clean.scanRunParam);
    userChosenCMRange = std::min(userChosenCMRange, maxCurrentRange);
    // The delay goes to the controller as an unsigned 16-bit value.
    extTriggerDelay = std::isnan(extTriggerDelay) ? 0.0 : std::clamp(extTriggerDelay, 0.0, 65535.0);
    initScanDerivativePoints = std::max<quint32>(initScanDerivativePoints, 1);
    dcCScanSteps = std::max<quint32>(dcCScanSteps, 1);
    dcCScanSweeps = std::max<quint32>(dcCScanSweeps, 1);
    dataScanRunScans = std::max<quint32>(dataScanRunScans, 1);
    clean.duration = std::max(clean.duration, 1);
    clean.period = std::max(clean.period, 1);
    clean.relaxTime = std::max(clean.relaxTime, 1);
}

void ConfigParam::readFromStore(QSettings &s, const QString &group, const ConfigParam &d)
{
    s.beginGroup(group);
    const StoreReader in{s};

    s.beginGroup(QStringLiteral("syncParam"));
    in.get("bUseSyncScan", sync.bUseSyncScan, d.sync.bUseSyncScan);
    in.get("start", sync.start, d.sync.start);
    in.get("duration", sync.duration, d.sync.duration);
    in.get("resolution", sync.resolution, d.sync.resolution);
    in.get("averaging", sync.averaging, d.sync.averaging);
    s.endGroup();

    s.beginGroup(QStringLiteral("spatParam"));
    in.get("bUseSpatScan", spat.bUseSpatScan, d.spat.bUseSpatScan);
    in.get("start", spat.start, d.spat.start);
    in.get("step", spat.step, d.spat.step);
    in.get("end", spat.end, d.spat.end);
    s.endGroup();

    in.get("useSmartScan", useSmartScan, d.useSmartScan);
    in.get("useAutoCMRange", useAutoCMRange, d.useAutoCMRange);
    in.get("userChosenCMRange", userChosenCMRange, d.userChosenCMRange);
    in.get("voltageIdle", voltageIdle, d.voltageIdle);
    in.get("bUseExtTrigger", useExtTrigger, d.useExtTrigger);
    in.get("bUseExtTriggerRisingEdge", useExtTriggerRisingEdge, d.useExtTriggerRisingEdge);
    in.get("extTriggerDelay", extTriggerDelay, d.extTriggerDelay);
    in.get("ionCurrentDisable", ionCurrentDisable, d.ionCurrentDisable);
    in.get("initScanDisable", initScanDisable, d.initScanDisable);
    in.get("dcCScanDisable", dcCScanDisable, d.dcCScanDisable);

    s.beginGroup(QStringLiteral("cleanProbeParam"));
    in.get("autoClean", clean.autoClean, d.clean.autoClean);
    in.get("voltage", clean.voltage, d.clean.voltage);
    in.get("power", clean.power, d.clean.power);
    in.get("duration", clean.duration, d.clean.duration);
    in.get("period", clean.period, d.clean.period);
    in.get("relaxTime", clean.relaxTime, d.clean.relaxTime);
    s.endGroup();

    in.get("offsetCurrent", offsetCurrent, d.offsetCurrent);
    in.get("autoCRMargin", autoCRMargin, d.autoCRMargin);
    readRun(s, "ionCurrentScanRunParam", ionCurrentScanRunParam, d.ionCurrentScanRunParam);
    in.get("ionCurrentUseBestCurrentRange", ionCurrentUseBestCurrentRange, d.ionCurrentUseBestCurrentRange);
    in.get("ionCurrentScalingFactor", ionCurrentScalingFactor, d.ionCurrentScalingFactor);
    readRun(s, "initScanRunParam", initScanRunParam, d.initScanRunParam);
    in.get("initScanLargeVoltageStep", initScanLargeVoltageStep, d.initScanLargeVoltageStep);
    in.get("initScanSmallVoltageStep", initScanSmallVoltageStep, d.initScanSmallVoltageStep);
    in.get("initScanDerivativePoints", initScanDerivativePoints, d.initScanDerivativePoints);
    in.get("initScanDerivativeDrop", initScanDerivativeDrop, d.initScanDerivativeDrop);
    in.get("initScanIonCurrentDrop", initScanIonCurrentDrop, d.initScanIonCurrentDrop);
    in.get("initScanMaxVoltage", initScanMaxVoltage, d.initScanMaxVoltage);
    in.get("initScanOptimiseForEEDF", initScanOptimiseForEEDF, d.initScanOptimiseForEEDF);
    readRun(s, "dcCScanRunParam", dcCScanRunParam, d.dcCScanRunParam);
    in.get("dcCScanSteps", dcCScanSteps, d.dcCScanSteps);
    in.get("dcCScanSweeps", dcCScanSweeps, d.dcCScanSweeps);
    readRun(s, "dataScanRunParam", dataScanRunParam, d.dataScanRunParam);
    in.get("dataScanThrowScans", dataScanThrowScans, d.dataScanThrowScans);
    in.get("dataScanRunScans", dataScanRunScans, d.dataScanRunScans);
    in.get("ionScanDuration", ic.duration, d.ic.duration);
    in.get("ionScanVoltage", ic.voltage, d.ic.voltage);
    in.get("ionScanUse", ic.bUseIcScan, d.ic.bUseIcScan);
    s.endGroup();

    clampToPanelRanges();
}

void ConfigParam::writeToStore(QSettings &s, const QString &group) const
{
    s.beginGroup(group);

    s.beginGroup(QStringLiteral("syncParam"));
    s.setValue(QStringLiteral("bUseSyncScan"), sync.bUseSyncScan);
    s.setValue(QStringLiteral("start"), sync.start);
    s.setValue(QStringLiteral("duration"), sync.duration);
    s.setValue(QStringLiteral("resolution"), sync.resolution);
    s.setValue(QStringLiteral("averaging"), sync.averaging);
    s.endGroup();

    s.beginGroup(QStringLiteral("spatParam"));
    s.setValue(QStringLiteral("bUseSpatScan"), spat.bUseSpatScan);
    s.setValue(QStringLiteral("start"), spat.start);
    s.setValue(QStringLiteral("step"), spat.step);
    s.setValue(QStringLiteral("end"), spat.end);
    s.endGroup();

    s.setValue(QStringLiteral("useSmartScan"), useSmartScan);
    s.setValue(QStringLiteral("useAutoCMRange"), useAutoCMRange);
    s.setValue(QStringLiteral("userChosenCMRange"), userChosenCMRange);
    s.setValue(QStringLiteral("voltageIdle"), voltageIdle);
    s.setValue(QStringLiteral("bUseExtTrigger"), useExtTrigger);
    s.setValue(QStringLiteral("bUseExtTriggerRisingEdge"), useExtTriggerRisingEdge);
    s.setValue(QStringLiteral("extTriggerDelay"), extTriggerDelay);
    s.setValue(QStringLiteral("ionCurrentDisable"), ionCurrentDisable);
    s.setValue(QStringLiteral("initScanDisable"), initScanDisable);
    s.setValue(QStringLiteral("dcCScanDisable"), dcCScanDisable);

    s.beginGroup(QStringLiteral("cleanProbeParam"));
    s.setValue(QStringLiteral("autoClean"), clean.autoClean);
    s.setValue(QStringLiteral("voltage"), clean.voltage);
    s.setValue(QStringLiteral("power"), clean.power);
    s.setValue(QStringLiteral("duration"), clean.duration);
    s.setValue(QStringLiteral("period"), clean.period);
    s.setValue(QStringLiteral("relaxTime"), clean.relaxTime);
    s.endGroup();

    s.setValue(QStringLiteral("offsetCurrent"), offsetCurrent);
    s.setValue(QStringLiteral("autoCRMargin"), autoCRMargin);
    writeRun(s, "ionCurrentScanRunParam", ionCurrentScanRunParam);
    s.setValue(QStringLiteral("ionCurrentUseBestCurrentRange"), ionCurrentUseBestCurrentRange);
    s.setValue(QStringLiteral("ionCurrentScalingFactor"), ionCurrentScalingFactor);
    writeRun(s, "initScanRunParam", initScanRunParam);
    s.setValue(QStringLiteral("initScanLargeVoltageStep"), initScanLargeVoltageStep);
    s.setValue(QStringLiteral("initScanSmallVoltageStep"), initScanSmallVoltageStep);
    s.setValue(QStringLiteral("initScanDerivativePoints"), initScanDerivativePoints);
    s.setValue(QStringLiteral("initScanDerivativeDrop"), initScanDerivativeDrop);
    s.setValue(QStringLiteral("initScanIonCurrentDrop"), initScanIonCurrentDrop);
    s.setValue(QStringLiteral("initScanMaxVoltage"), initScanMaxVoltage);
    s.setValue(QStringLiteral("initScanOptimiseForEEDF"), initScanOptimiseForEEDF);
    writeRun(s, "dcCScanRunParam", dcCScanRunParam);
    s.setValue(QStringLiteral("dcCScanSteps"), dcCScanSteps);
    s.setValue(QStringLiteral("dcCScanSweeps"), dcCScanSweeps);
    writeRun(s, "dataScanRunParam", dataScanRunParam);
    s.setValue(QStringLiteral("dataScanThrowScans"), dataScanThrowScans);
    s.setValue(QStringLiteral("dataScanRunScans"), dataScanRunScans);
    s.setValue(QStringLiteral("ionScanDuration"), ic.duration);
    s.setValue(QStringLiteral("ionScanVoltage"), ic.voltage);
    s.setValue(QStringLiteral("ionScanUse"), ic.bUseIcScan);
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
