#pragma once
// One scan of a session (its traces, running sums, corrected curves, EEPF and results),
// the running sums of its raw sweeps, and the frame that groups scans by position or time.

#include "IvAnalysis.h"
#include "ResultRecord.h"
#include "Trace.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <limits>

// Running sums of the raw sweeps of one scan, per point: sumV, sumI, sumV^2, sumI^2.
class AccumulatedTrace {
public:
    struct Point {
        double sumV = 0, sumI = 0, sumVsq = 0, sumIsq = 0;
    };

    // One raw sweep as 2n doubles: n voltages, then n currents. The first sweep sets the
    // point count; a sweep of another length is refused and changes nothing.
    bool add(const double* samples, int n);
    // False (and nothing changed) unless the four lists have the same length.
    bool setFromLists(const QVector<double>& sumV, const QVector<double>& sumVsq,
                      const QVector<double>& sumI, const QVector<double>& sumIsq, int count);
    void toLists(QVector<double>& sumV, QVector<double>& sumVsq, QVector<double>& sumI,
                 QVector<double>& sumIsq) const;

    // Past the last point the means and current deviation read the last point and the voltage
    // deviation the first; a negative index reads point 0; with no points (or a count below 1)
    // everything is 0.
    double meanVoltage(int i) const;
    double meanCurrent(int i) const;
    double voltageDeviation(int i) const;
    double currentDeviation(int i) const;

    void reset();
    // 0 when the count is below 1: such a trace is treated as empty.
    int pointCount() const { return count_ < 1 ? 0 : points_.size(); }
    int count() const { return count_; }
    const QVector<Point>& points() const { return points_; }

private:
    const Point* pointFor(int i, bool voltageDeviation) const;
    static double deviation(double sum, double sumSq, int n);

    QVector<Point> points_;
    int count_ = 0;
};

struct CorrectedCurve {
    QVector<double> V, I, stdV, stdI;
    void clear() { V.clear(); I.clear(); stdV.clear(); stdI.clear(); }
    bool isEmpty() const { return V.isEmpty(); }
};

struct EepfLists {
    QVector<double> energy, EEDF, EEDF_error, EEDF_low_error;
    void clear() { energy.clear(); EEDF.clear(); EEDF_error.clear(); EEDF_low_error.clear(); }
};

struct ScanRecord {
    enum ScanType { eTimedRun = 0, eSpatialRun = 1, eOtherRun = 2 };
    // The position of a scan measured without a linear drive: a marker, not a place.
    static constexpr double kNoDrivePosition = 666.0;
    // The position as a place (mm): not-a-number where the scan, measured outside a
    // spatial run, carries the marker instead (a spatial run's drive may stand at 666 mm).
    double placePosition() const
    {
        return position == kNoDrivePosition && scanType != eSpatialRun ? std::numeric_limits<double>::quiet_NaN()
                                                                       : position;
    }

    QDateTime date;
    int scanType = 0;
    double position = 0;         // mm
    double temporalPosition = 0; // s
    double resolvedTime = 0;     // us
    double ionCurrent[2] = {0, 0}; // current (A), voltage (V) of the reading
    TimedTrace initScan;
    TimedTrace initScanDerivative;
    QVector<TimedTrace> dcInitScans;
    AccumulatedTrace accumulated;
    CorrectedCurve corrected;
    TimedTrace electronCurrent; // not stored in session files
    IvFit fit;                  // what the last analysis fitted; not stored in session files
    QString sourceName;         // the file an imported curve came from; not stored in session files
    CorrectedCurve correctedDoubleProbe;
    ResultRecord result;
    double offsetCurrent = 0;
    double gainAutoSwitchVoltage = 0;
    unsigned int currentRange = 0;
    double dCurrentRange = 0;
    double dcCScanVoltageStart = 0;
    double dcCScanVoltageEnd = 0;
    double plasmaResistance = 0; // Ohm
    EepfLists eepf;
    QString error;
    // What the measurement found wrong with the scan (a sweep at full scale);
    // the analysis puts it before its own message in `error`.
    QString measurementAlert;

    // The corrected curve as the analysis sees it (tag 0).
    AnalysisCurve correctedCurve() const;
};

struct ScanGroup {
    double position = 0;
    double temporalPosition = 0;
    QVector<ScanRecord> scans;
};
