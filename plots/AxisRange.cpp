#include "AxisRange.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace AxisRange {

Range neutral(bool log)
{
    return log ? Range{1.0, 10.0, false} : Range{0.0, 1.0, false};
}

Range of(const std::vector<Values>& series, bool log)
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    for (const Values& s : series) {
        if (!s.v)
            continue;
        for (int i = 0; i < s.n; ++i) {
            const double v = s.v[i];
            if (!std::isfinite(v) || (log && v <= 0))
                continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (!(lo <= hi))
        return neutral(log);
    if (log)
        return {0.1 * lo, 2.0 * hi, true};
    if (lo == hi) {
        const double d = lo == 0 ? 1.0 : 0.1 * std::fabs(lo);
        return {lo - d, hi + d, true};
    }
    return {lo, hi, true};
}

Range of(const double* v, int n, bool log)
{
    return of(std::vector<Values>{Values{v, n}}, log);
}

std::vector<double> positiveOnly(const double* v, int n)
{
    std::vector<double> out(v ? static_cast<size_t>(std::max(n, 0)) : 0);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = std::isfinite(v[i]) && v[i] > 0 ? v[i] : std::numeric_limits<double>::quiet_NaN();
    return out;
}

Range withMinimumSpan(const Range& r, double fraction)
{
    const double centre = 0.5 * (r.low + r.high);
    const double half = fraction * std::fabs(centre);
    if (!r.hasData || !std::isfinite(half) || !(0.5 * (r.high - r.low) < half))
        return r;
    return {centre - half, centre + half, true};
}

int tickDigits(double largest, double step)
{
    largest = std::fabs(largest);
    step = std::fabs(step);
    if (!std::isfinite(largest) || !std::isfinite(step) || step <= 0)
        return 6;
    if (largest < step)
        largest = step;
    const double stepExp = std::floor(std::log10(step));
    const double largestExp = std::floor(std::log10(largest));
    int digits = int(largestExp - stepExp) + 1;
    // Values below a million keep their whole integer part ("50", not "5e+01").
    if (largestExp < 6)
        digits = std::max(digits, int(largestExp) + 1);
    // A step such as 2.5e-3 needs one digit more than its decade.
    const double mantissa = step / std::pow(10.0, stepExp);
    if (std::fabs(mantissa - std::round(mantissa)) > 1e-6)
        ++digits;
    return std::max(1, std::min(15, digits));
}

} // namespace AxisRange
