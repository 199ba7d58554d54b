#include "ConfigRules.h"

namespace ConfigRules {

namespace {
void clearPrescanFlags(ConfigParam& c)
{
    c.ionCurrentDisable = false;
    c.initScanDisable = false;
    c.dcCScanDisable = false;
}

QString setOptimisation(ConfigParam& c, bool& flag, bool on)
{
    flag = on;
    if (!on || !prescansDisabled(c))
        return QString();
    clearPrescanFlags(c);
    return QStringLiteral("This overrides the option to disable all prescan measurements.");
}
} // namespace

bool prescansDisabled(const ConfigParam& c)
{
    return c.ionCurrentDisable && c.initScanDisable;
}

QString setOptimizeScanVoltages(ConfigParam& c, bool on)
{
    return setOptimisation(c, c.useSmartScan, on);
}

QString setOptimizeCurrentRange(ConfigParam& c, bool on)
{
    return setOptimisation(c, c.useAutoCMRange, on);
}

QString setPrescansDisabled(ConfigParam& c, bool on)
{
    if (on && (c.useSmartScan || c.useAutoCMRange)) {
        clearPrescanFlags(c);
        return QStringLiteral("You must manually set voltages and current range before disabling all prescans.");
    }
    c.ionCurrentDisable = on;
    c.initScanDisable = on;
    c.dcCScanDisable = on;
    return QString();
}

QString setAutoClean(ConfigParam& c, bool on)
{
    c.clean.autoClean = on;
    if (on && c.useExtTrigger) {
        c.useExtTrigger = false;
        return QStringLiteral("This overrides the external trigger feature, which is now disabled.");
    }
    return QString();
}

QString setExternalTrigger(ConfigParam& c, bool on)
{
    if (on && c.clean.autoClean) {
        c.useExtTrigger = false;
        return QStringLiteral("The auto-clean feature must be disabled before using externally triggered scans.");
    }
    c.useExtTrigger = on;
    return QString();
}

QString setSyncMode(ConfigParam& c, bool timeResolved)
{
    c.sync.bUseSyncScan = timeResolved;
    if (timeResolved && c.useSmartScan)
        return QStringLiteral("Time Resolved mode cannot optimise voltages.");
    return QString();
}

bool voltagesEditable(const ConfigParam& c)
{
    return prescansDisabled(c) || !c.useSmartScan;
}

bool currentRangeEditable(const ConfigParam& c)
{
    return prescansDisabled(c) || !c.useAutoCMRange;
}

} // namespace ConfigRules
