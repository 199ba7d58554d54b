#pragma once
// Curves of (current, voltage) points and the plain numeric helpers that work on them:
// windowed derivatives, trapezoid integrals, interpolation and crossing searches.
// Used by the IV analysis, the session data, plots and export.

#include <QVector>

struct IvPoint {
    double current = 0.0; // A (dI/dV for a derivative trace)
    double voltage = 0.0; // V
};

// An ordered list of points, current first, then voltage.
class IvTrace {
public:
    QVector<IvPoint> points;

    int size() const { return points.size(); }
    bool isEmpty() const { return points.isEmpty(); }
    void clear() { points.clear(); }
    double current(int i) const { return points.at(i).current; }
    double voltage(int i) const { return points.at(i).voltage; }
    void append(double current, double voltage) { points.append(IvPoint{current, voltage}); }

    // Sample i takes current i and voltage i; false (and the trace untouched) on a length mismatch.
    bool setFromArrays(const QVector<double>& voltages, const QVector<double>& currents);
    // Currents and voltages with dropStart points dropped at the start and dropEnd at the end.
    void toLists(QVector<double>& currents, QVector<double>& voltages, int dropStart = 0,
                 int dropEnd = 0) const;
};

// An IvTrace with a duration (s); the analysis uses the double as a free tag.
class TimedTrace : public IvTrace {
public:
    double duration = 0.0;

    // Samples from the first whose voltage reaches a to the last not above b; empty when a >= b.
    TimedTrace restricted(double a, double b) const;
};

// The curve the analysis works on.
using AnalysisCurve = TimedTrace;

namespace curve {

// Window-sum derivative with half-width k: n - 2k entries, entry j centred on sample j + k.
// A half-width below 1 gives no entries.
QVector<double> derivativeSlopes(const IvTrace& in, int k);
// Appends the entries past out's current length: slope in the current place,
// the mean voltage of the 2k window samples in the voltage place.
void derivative(const IvTrace& in, int k, IvTrace& out, int first = 0);
// Derivative of the samples from index first to the end.
TimedTrace derivative(const IvTrace& in, int k, int first = 0);
// Array form; both outputs are emptied on a length mismatch or when no entry is left.
void derivative(const QVector<double>& x, const QVector<double>& y, int k, QVector<double>& xCentre,
                QVector<double>& slope);

// Trapezoid integral of current over voltage from a to b (voltages ascending).
double integral(const IvTrace& c, double a, double b);
double integral(const double* voltages, const double* currents, int n, double a, double b);

// Linear interpolation of the current at V; 0.0 when no segment holds V.
double currentAt(const IvTrace& c, double v);

// Crossing searches: forward gives the start i of the segment (i, i+1) crossed,
// backward the end of that segment; -1 when not found.
int forwardVoltage(const IvTrace& c, double v);
int forwardCurrent(const IvTrace& c, double v);
int backwardVoltage(const IvTrace& c, double v);
int backwardCurrent(const IvTrace& c, double v);
// Forward current search within [first, last]; last = -1 or past the end means to the end.
int forwardCurrentInRange(const IvTrace& c, double v, int first, int last = -1);
int indexOfMaxCurrent(const IvTrace& c);
// True when every current and voltage is a finite number.
bool allFinite(const IvTrace& c);

// Voltage where the current crosses 0 between samples i-1 and i.
inline double zeroCrossing(double vPrev, double iPrev, double v, double i)
{
    return (v * iPrev - vPrev * i) / (iPrev - i);
}

} // namespace curve
