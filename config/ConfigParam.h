#ifndef CONFIGPARAM_H
#define CONFIGPARAM_H

// The scan configuration record: everything one measurement run needs.
// Each session owns a single-probe and a double-probe record; the panel edits
// one, the measurement sequence copies it, the session file carries it as a map.

#include <QMap>
#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <memory>

class QSettings;

struct ScanRunParam {
    quint32 firstStepDelay = 1000;  // us
    quint32 nextStepDelay = 100;    // us
    double integrationTime = 100;   // us per sample window
    quint32 avgPerStep = 1;
    quint32 traceAverage = 1;
    double voltageStart = -50;
    double voltageStep = 1;
    double voltageEnd = 50;

    bool operator==(const ScanRunParam &o) const;
    bool operator!=(const ScanRunParam &o) const { return !(*this == o); }
};

struct SyncParam {
    bool bUseSyncScan = false;
    double start = 0;       // us after the SYNC edge
    double duration = 0;    // us
    double resolution = 10; // us between time points
    bool averaging = true;
};

struct SpatParam {
    bool bUseSpatScan = false;
    bool useRetract = false;
    double start = 0; // mm
    double step = 5;
    double end = 10;
    double retractPosition = 0;
};

struct TimedParam {
    bool bUseTimedScan = false;
    double start = 0; // s before the first scan
    double step = 5;  // s between scans
    double end = 10;  // s total
};

struct IcParam {
    bool bUseIcScan = false;
    double voltage = -30; // V
    double duration = 10;
};

struct CleanProbeParam {
    bool autoClean = false;
    ScanRunParam scanRunParam;
    double voltage = 150; // V
    double power = 1;     // W
    int duration = 5;     // s
    int period = 600;     // s between automatic cleanings
    int relaxTime = 20;   // s
};

class ConfigParam
{
public:
    virtual ~ConfigParam() = default;
    // Assignment copies every field; both kinds share them all.
    ConfigParam(const ConfigParam &) = default;
    ConfigParam &operator=(const ConfigParam &) = default;

    virtual void writeSettings() const = 0;
    virtual void readSettings() = 0;

    // Same as above against a given store (tests, other scopes).
    virtual void writeSettings(QSettings &store) const = 0;
    virtual void readSettings(QSettings &store) = 0;

    virtual std::unique_ptr<ConfigParam> clone() const = 0;

    // Flat key/value form carried inside session files.
    QMap<QString, QString> toMap() const;
    // Takes each known key present; absent keys leave their field unchanged.
    void fromMap(const QMap<QString, QString> &map);
    // The same keys with values of the field's own type (bool, uint, int, double),
    // for typed formats such as HDF5 attributes.
    QMap<QString, QVariant> typedMap() const;

    // Brings every value into the range the configuration panel allows, so
    // that no zero, negative or wrapped count reaches a division or an index
    // and no endless walk starts. Positions are kept on a rail of the given
    // length (the longest the drive settings accept when it is not known).
    // Reading either form ends with it; valid values are left as they are.
    void clampToPanelRanges(double railLength = maxRailLength);

    SyncParam sync;
    SpatParam spat;
    TimedParam timed;
    IcParam ic;
    int probeMode = 0;
    bool useDoubleProbe = false;
    bool useReferenceProbe = false;
    bool useSmartScan = true;
    bool useAutoCMRange = true;
    quint32 userChosenCMRange = 0;
    double voltageIdle = 0;
    CleanProbeParam clean;
    double offsetCurrent = 0;
    double autoCRMargin = 0.95;
    bool useExtTrigger = false;
    bool useExtTriggerRisingEdge = true;
    double extTriggerDelay = 0;
    bool ionCurrentDisable = false;
    bool initScanDisable = false;
    bool dcCScanDisable = false;
    ScanRunParam ionCurrentScanRunParam;
    bool ionCurrentUseBestCurrentRange = true;
    double ionCurrentScalingFactor = 100;
    ScanRunParam initScanRunParam;
    double initScanLargeVoltageStep = 5;
    double initScanSmallVoltageStep = 0.2;
    quint32 initScanDerivativePoints = 3;
    double initScanDerivativeDrop = 80;
    double initScanIonCurrentDrop = 80;
    double initScanMaxVoltage = 100;
    bool initScanOptimiseForEEDF = true;
    ScanRunParam dcCScanRunParam;
    quint32 dcCScanSteps = 10;
    quint32 dcCScanSweeps = 5;
    ScanRunParam dataScanRunParam;
    quint32 dataScanThrowScans = 0;
    quint32 dataScanRunScans = 10;

    static constexpr quint32 maxCurrentRange = 5;
    static constexpr double maxVoltage = 150;        // V, output and idle voltages
    static constexpr double minVoltageStep = 0.01;   // V
    static constexpr double maxIcVoltage = 500;      // V, ion-current monitoring
    static constexpr double maxRailLength = 60000;   // mm
    static constexpr double minSyncResolution = 0.0125; // us
    static constexpr double minCleanPower = 0.1;     // W

protected:
    ConfigParam() = default;

    // Shared settings-store form: `defaults` supplies the value of every missing key.
    void readFromStore(QSettings &store, const QString &group, const ConfigParam &defaults);
    void writeToStore(QSettings &store, const QString &group) const;
};

class SingleProbeConfigParam : public ConfigParam
{
public:
    SingleProbeConfigParam() = default;

    void writeSettings() const override;
    void readSettings() override;
    void writeSettings(QSettings &store) const override;
    void readSettings(QSettings &store) override;
    std::unique_ptr<ConfigParam> clone() const override;

    static const char *settingsGroup() { return "ConfigParam"; }
    // The values readSettings() takes for keys missing from the store.
    static SingleProbeConfigParam storeDefaults();
};

class DoubleProbeConfigParam : public ConfigParam
{
public:
    DoubleProbeConfigParam();

    void writeSettings() const override;
    void readSettings() override;
    void writeSettings(QSettings &store) const override;
    void readSettings(QSettings &store) override;
    std::unique_ptr<ConfigParam> clone() const override;

    static const char *settingsGroup() { return "DoubleProbeConfigParam"; }
    static DoubleProbeConfigParam storeDefaults();
};

#endif // CONFIGPARAM_H
