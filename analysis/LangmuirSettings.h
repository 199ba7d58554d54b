#pragma once
// The analysis settings record: probe geometry, gas, cross-sections, Vp method,
// compensation, derivative window, thresholds, crop counts, the Mach k factor, the
// noise-robust mode and the opt-in analyses.
// A plain value copied between the session window, its widget and the session.
// Values that would make the physics constants infinite or not a number are refused
// wherever the record is loaded from outside (settings store, session-file map, setField).

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSettings;

struct LangmuirSettings {
    // Settings-store groups of the session window's single- and double-probe records.
    static constexpr const char* kSingleProbeGroup = "Settings";
    static constexpr const char* kDoubleProbeGroup = "DoubleProbeSettings";

    double ionMass = 40;                 // amu
    double probeRadius = 0.000195;       // m
    double probeHolderRadius = 0.002;    // m
    double probeLength = 0.01;           // m
    double probeResistance = 0;          // Ohm
    double gasTemperature = 300;         // K
    double pressure = 0.0024;            // Torr
    double sigmaN = 8.8e-19;             // m^2, ion-neutral
    double sigmaEn = 4.14e-20;           // m^2, electron-neutral
    bool correctDC = false;
    double offsetCurrent = 0;            // A
    double setVp = 0;                    // V, carried only
    bool bUseUserVp = false;
    bool bUse2ndDerivativeZeroVp = false;
    int nDerivativePoints = 3;
    double VsatFactor = 0.8;
    double electronReflectVoltage = -60; // V
    double kfactor = 1.34;
    int startCrop = 0;
    int endCrop = 0;
    // Noise estimate, smoothing, noise-aware knee walk and a refined Vf for single probes;
    // off: the plain analysis, bit for bit.
    bool noiseRobust = false;
    // Ion density: 0 from the plain analysis only, 1 also from a fit of the whole ion branch
    // (Ni_fit). Cylindrical single probes.
    int ionDensityMethod = 0;
    // Cold and hot electron temperatures and the hot fraction. Single probes.
    bool twoTemperature = false;
    // Errors of the plain single- and double-probe analyses as the scatter of re-analysed
    // copies of the mean curve with independent noise of its own size (the noise-robust mode
    // always does so); off: the bound from every point moved by one sweep's deviation.
    bool statisticalErrors = false;

    // The values of the widget's Defaults button; the crop counts are left as they are.
    void resetDefaults();

    // Settings store: each store key inside group, read with the store defaults.
    void readSettings(QSettings& store, const QString& group);
    void writeSettings(QSettings& store, const QString& group);

    // Session-file map form, keyed by the session-file names. fromMap sets each present key
    // whose value is acceptable and returns the keys it refused (unknown keys are ignored).
    QMap<QString, QString> toMap() const;
    QStringList fromMap(const QMap<QString, QString>& map);
    // The same keys with values of the field's own type (bool, int, double).
    QMap<QString, QVariant> typedMap() const;

    // One field by its session-file name; false (and the field unchanged) for an unknown
    // name, a text that is not a number of the field's kind, or an unacceptable value.
    bool setField(const QString& name, const QString& text, QString* why = nullptr);
    static QStringList fieldNames();
    // Whether a value is acceptable for the field (for editors that apply values directly,
    // e.g. a gas temperature of 0 is refused).
    static bool accepts(const QString& name, double value, QString* why = nullptr);

    bool operator==(const LangmuirSettings& o) const;
    bool operator!=(const LangmuirSettings& o) const { return !(*this == o); }
};
