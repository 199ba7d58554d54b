#pragma once
// Probe-tip cleaning: the tip is swept continuously between the idle voltage
// and the cleaning voltage, and the share of time at the stronger level (the
// duty) is steered so that the mean power meets the target that the probe's
// area and the cleaning level give. Double and Mach probes are cleaned tip by
// tip. Also the automatic check with its relaxation wait, and the last-clean
// clock. Runs on the caller's thread; sweeps are read through the job thread
// (SweepReader), so the host stays live and Abort works. Used by the main
// window (Clean), the measurement sequence (its cleanIfDue hook) and batch jobs.
#include <QString>
#include <QVector>
#include <QtGlobal>

class ConfigParam;
class DataAnalyzer;
class SweepReader;

// The duty and what it means to the unit: one cycle of 10000 µs ("parts")
// split between the two levels; each level's time is its settling delay plus
// the sampling window (500 µs, shrinking with a level that is shorter).
struct CleaningDuty {
    static constexpr int kParts = 10000;
    static constexpr int kWindowParts = 500;
    static constexpr int kMinParts = 100;
    static constexpr double kStartDuty = 0.05;
    // Samples per µs of window: adcFreq x 0.000499 for the 500 µs window
    // (the unit adds one µs per step).
    static constexpr double kSampleSecondsPerPart = 0.998e-6;

    double duty = kStartDuty; // share of the cycle at the stronger level
    bool cleanIsStronger = true;

    struct Setting {
        unsigned firstDelay = 0; // idle level (first step), µs
        unsigned nextDelay = 0;  // cleaning level (second step), µs
        unsigned samples = 1;    // hardware samples per step
        int idleParts = 0, cleanParts = 0;
    };
    Setting setting(double adcFreq) const;
    // Delivered power (W): the two levels' |V x I| weighted by their times.
    double power(double v0, double i0, double vc, double ic) const;
    // One control step; true when the duty changed. Within 95..105 % of a
    // target that did not change nothing changes; a target of 0, no current
    // or a duty that is not finite keep the present duty; a change within
    // 3 % of the present duty is ignored.
    bool update(double target, bool targetChanged, double v0, double i0, double vc, double ic);
};

class ProbeCleaner
{
public:
    // What the host supplies besides the configuration.
    struct Context {
        bool connected = false;   // the Connect action's state
        double probeRadius = 0;   // m, from the session's analysis settings
        double probeLength = 0;   // m
        double referenceCurrent = 0;
        bool doubleProbe = false; // double and Mach probes: two tips, two passes
        bool advanced = false;    // longer status text
    };

    // The clock starts this far back, so the first automatic check cleans.
    static constexpr qint64 kStartAgeMs = 12LL * 3600 * 1000;
    // The relaxation wait updates its status text this often.
    static constexpr int kRelaxSliceMs = 500;

    explicit ProbeCleaner(SweepReader& reader);

    // Target power (W) = 2 pi r L x level x 1e5 (r and L in m).
    static double targetPower(double radius, double length, double level);
    // The current both readings are corrected by: the ion-current reading of
    // the last scan (time-averaged) or the smallest over all scans
    // (time-resolved) of a single-probe session; 0 otherwise.
    static double referenceCurrent(const DataAnalyzer& session, bool singleProbe, bool timeResolved);
    // The context a session gives with the configuration `cfg`.
    static Context contextFor(const DataAnalyzer& session, const ConfigParam& cfg, bool connected, bool advanced);

    // One cleaning with `cfg`; failures alert with "[ERROR] Clean Probe: "
    // and leave the unit with no scan, at the idle voltage, a double probe in
    // its measuring mode.
    bool cleanProbeTip(const ConfigParam& cfg, const Context& ctx);
    // The automatic check with the relaxation wait ("[ERROR] Probe Tip Auto Clean: ").
    bool cleanIfDue(const ConfigParam& cfg, const Context& ctx);

    // Monotonic time (ms, the seam's clock) of the last cleaning.
    qint64 lastCleanMs() const { return m_lastClean; }
    void markCleaned();
    const CleaningDuty& duty() const { return m_duty; }
    // Power measured at each control step of the last cleaning (tests).
    const QVector<double>& powerHistory() const { return m_powers; }

private:
    bool cleanPass(const ConfigParam& cfg, const Context& ctx, double target);
    bool applyDuty();
    QString statusText(double ic, double power, double target, bool advanced) const;

    SweepReader& m_reader;
    qint64 m_lastClean;
    CleaningDuty m_duty;
    QVector<double> m_powers;
};
