#include "Trace.h"

#include <algorithm>
#include <cmath>

bool IvTrace::setFromArrays(const QVector<double>& voltages, const QVector<double>& currents)
{
    if (voltages.size() != currents.size())
        return false;
    points.resize(voltages.size());
    for (int i = 0; i < voltages.size(); ++i)
        points[i] = IvPoint{currents.at(i), voltages.at(i)};
    return true;
}

void IvTrace::toLists(QVector<double>& currents, QVector<double>& voltages, int dropStart,
                      int dropEnd) const
{
    currents.clear();
    voltages.clear();
    dropStart = std::max(0, dropStart);
    dropEnd = std::max(0, dropEnd);
    const int last = points.size() - dropEnd; // exclusive
    if (last <= dropStart)
        return;
    currents.reserve(last - dropStart);
    voltages.reserve(last - dropStart);
    for (int i = dropStart; i < last; ++i) {
        currents.append(points.at(i).current);
        voltages.append(points.at(i).voltage);
    }
}

TimedTrace TimedTrace::restricted(double a, double b) const
{
    TimedTrace out;
    out.duration = duration;
    if (!(a < b))
        return out;
    int first = -1, last = -1;
    for (int i = 0; i < points.size(); ++i) {
        const double v = points.at(i).voltage;
        if (first < 0 && v >= a)
            first = i;
        if (v <= b)
            last = i;
    }
    if (first < 0 || last < first)
        return out;
    out.points = points.mid(first, last - first + 1);
    return out;
}

namespace curve {

namespace {

// The shared window-sum kernel for the three input shapes. Each entry sums its own
// windows afresh, so entries do not depend on each other's rounding.
template <typename GetX, typename GetY, typename Emit>
void windowSums(int n, int k, int firstEntry, GetX gx, GetY gy, Emit emit)
{
    if (k < 1)
        return;
    const int m = n - 2 * k;
    for (int j = firstEntry; j < m; ++j) {
        double sxLo = 0, syLo = 0, sxHi = 0, syHi = 0;
        for (int t = 0; t < k; ++t) {
            sxLo += gx(j + t);
            syLo += gy(j + t);
            sxHi += gx(j + k + 1 + t);
            syHi += gy(j + k + 1 + t);
        }
        emit(j, (syHi - syLo) / (sxHi - sxLo), (sxLo + sxHi) / k * 0.5);
    }
}

int forwardImpl(const IvPoint* p, int first, int end, double v, bool useCurrent)
{
    if (first < 0 || first >= end)
        return -1;
    auto f = [&](int i) { return useCurrent ? p[i].current : p[i].voltage; };
    const double f0 = f(first);
    if (f0 < v) {
        for (int i = first; i + 1 < end; ++i)
            if (f(i + 1) >= v)
                return i;
    } else if (f0 > v) {
        for (int i = first; i + 1 < end; ++i)
            if (f(i + 1) <= v)
                return i;
    }
    return -1;
}

int backwardImpl(const IvTrace& c, double v, bool useCurrent)
{
    const IvPoint* p = c.points.constData();
    auto f = [&](int i) { return useCurrent ? p[i].current : p[i].voltage; };
    int last = c.size() - 1;
    if (useCurrent)
        while (last >= 0 && std::isnan(p[last].current))
            --last;
    if (last < 0)
        return -1;
    const double fl = f(last);
    if (fl == v)
        return last;
    const bool above = fl > v;
    for (int i = last - 1; i >= 0; --i) {
        const double fi = f(i);
        const bool strictlyOnSide = above ? (fi > v) : (fi < v);
        if (!strictlyOnSide)
            return i + 1;
    }
    return -1;
}

} // namespace

QVector<double> derivativeSlopes(const IvTrace& in, int k)
{
    QVector<double> out;
    if (k < 1 || in.size() - 2 * k < 1)
        return out;
    out.resize(in.size() - 2 * k);
    const IvPoint* p = in.points.constData();
    windowSums(
        in.size(), k, 0, [p](int i) { return p[i].voltage; }, [p](int i) { return p[i].current; },
        [&out](int j, double s, double) { out[j] = s; });
    return out;
}

void derivative(const IvTrace& in, int k, IvTrace& out, int first)
{
    if (k < 1 || first < 0 || first >= in.size())
        return;
    const int n = in.size() - first;
    const int m = n - 2 * k;
    if (m < 1 || out.size() >= m)
        return;
    const int start = out.size();
    out.points.resize(m);
    const IvPoint* p = in.points.constData() + first;
    IvPoint* o = out.points.data();
    windowSums(
        n, k, start, [p](int i) { return p[i].voltage; }, [p](int i) { return p[i].current; },
        [o](int j, double s, double c) { o[j] = IvPoint{s, c}; });
}

TimedTrace derivative(const IvTrace& in, int k, int first)
{
    TimedTrace out;
    derivative(in, k, out, first);
    return out;
}

void derivative(const QVector<double>& x, const QVector<double>& y, int k, QVector<double>& xCentre,
                QVector<double>& slope)
{
    xCentre.clear();
    slope.clear();
    if (k < 1 || x.size() != y.size() || x.size() - 2 * k < 1)
        return;
    const int m = x.size() - 2 * k;
    xCentre.resize(m);
    slope.resize(m);
    const double* px = x.constData();
    const double* py = y.constData();
    windowSums(
        x.size(), k, 0, [px](int i) { return px[i]; }, [py](int i) { return py[i]; },
        [&](int j, double s, double c) {
            slope[j] = s;
            xCentre[j] = c;
        });
}

namespace {

template <typename GetV, typename GetI>
double integralImpl(int n, double a, double b, GetV gv, GetI gi)
{
    if (n < 2 || !(a < b))
        return 0.0;
    // First segment (i, i+1) whose upper end lies above a.
    int lo = 0, hi = n - 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (gv(mid + 1) > a)
            hi = mid;
        else
            lo = mid + 1;
    }
    double sum = 0.0;
    for (int i = lo; i + 1 < n; ++i) {
        const double v0 = gv(i), v1 = gv(i + 1);
        if (v0 >= b)
            break;
        if (!(v1 > v0))
            continue;
        const double i0 = gi(i), i1 = gi(i + 1);
        const double from = v0 < a ? a : v0;
        const double to = v1 > b ? b : v1;
        const double slope = (i1 - i0) / (v1 - v0);
        const double iFrom = from == v0 ? i0 : i0 + (from - v0) * slope;
        const double iTo = to == v1 ? i1 : i0 + (to - v0) * slope;
        sum += (iFrom + iTo) * 0.5 * (to - from);
    }
    return sum;
}

} // namespace

double integral(const IvTrace& c, double a, double b)
{
    const IvPoint* p = c.points.constData();
    return integralImpl(
        c.size(), a, b, [p](int i) { return p[i].voltage; }, [p](int i) { return p[i].current; });
}

double integral(const double* voltages, const double* currents, int n, double a, double b)
{
    return integralImpl(
        n, a, b, [voltages](int i) { return voltages[i]; }, [currents](int i) { return currents[i]; });
}

double currentAt(const IvTrace& c, double v)
{
    const int i = forwardVoltage(c, v);
    if (i < 0)
        return 0.0;
    const IvPoint& a = c.points.at(i);
    const IvPoint& b = c.points.at(i + 1);
    return a.current + (v - a.voltage) * (b.current - a.current) / (b.voltage - a.voltage);
}

int forwardVoltage(const IvTrace& c, double v)
{
    return forwardImpl(c.points.constData(), 0, c.size(), v, false);
}

int forwardCurrent(const IvTrace& c, double v)
{
    return forwardImpl(c.points.constData(), 0, c.size(), v, true);
}

int backwardVoltage(const IvTrace& c, double v) { return backwardImpl(c, v, false); }

int backwardCurrent(const IvTrace& c, double v) { return backwardImpl(c, v, true); }

int forwardCurrentInRange(const IvTrace& c, double v, int first, int last)
{
    if (first < 0 || first >= c.size())
        return -1;
    const int end = (last < 0 || last >= c.size()) ? c.size() : last + 1;
    return forwardImpl(c.points.constData(), first, end, v, true);
}

int indexOfMaxCurrent(const IvTrace& c)
{
    if (c.isEmpty())
        return -1;
    int best = 0;
    for (int i = 1; i < c.size(); ++i)
        if (c.points.at(i).current > c.points.at(best).current)
            best = i;
    return best;
}

bool allFinite(const IvTrace& c)
{
    for (const IvPoint& p : c.points)
        if (!std::isfinite(p.current) || !std::isfinite(p.voltage))
            return false;
    return true;
}

} // namespace curve
