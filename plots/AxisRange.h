#pragma once
// The range a graph's axis spans for the values it shows, without widgets.
// Only finite values count; a logarithmic axis counts only positive ones and
// spans 0.1 x the smallest to 2 x the largest of them. With nothing to show
// the range is the neutral one and hasData is false, so that the graph says
// so instead of keeping a stale range or inventing an absurd one.
#include <vector>

namespace AxisRange {

struct Range {
    double low = 0.0;
    double high = 1.0;
    bool hasData = false;
};

// A view of caller-owned values (a curve's y array, its error-bar ends).
struct Values {
    const double* v = nullptr;
    int n = 0;
};

// Linear [0, 1]; logarithmic [1, 10].
Range neutral(bool log);
// Over all values of all series. A linear range of a single value (or of
// equal values) is widened by 10 % of the value on each side, by 1 around 0.
Range of(const std::vector<Values>& series, bool log);
Range of(const double* v, int n, bool log);
// What a logarithmic axis can draw: non-positive and non-finite values become
// NaN, which the curves draw as gaps.
std::vector<double> positiveOnly(const double* v, int n);

// A linear range at least `fraction` of its centre's magnitude wide on each
// side: a trend's spread of 3e-5 V around 10.37 V is noise, not a curve, and
// must not fill the graph.
Range withMinimumSpan(const Range& r, double fraction);
// Significant digits a tick label needs so that ticks `step` apart, none
// larger in magnitude than `largest`, read differently (at least 1, at most 15).
int tickDigits(double largest, double step);

} // namespace AxisRange
