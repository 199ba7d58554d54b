#include "Plasma.h"

#include <algorithm>
#include <cmath>

namespace qsim {

namespace {
constexpr double kE = 1.602176487e-19;
constexpr double kMe = 9.10938215e-31;
constexpr double kAmu = 1.6726216639163685e-27; // the analysis takes amu as this mass
constexpr double kPi = 3.141592653589793;
constexpr double kDebye = 7433.942337496409;    // sqrt(eps0 / e)

// Cylindrical orbital-motion-limited electron collection above the plasma
// potential, relative to the random current: 2/sqrt(pi) sqrt(x) + e^x erfc(sqrt(x)).
double cylinderOml(double x)
{
    const double s = std::sqrt(x);
    const double tail = x < 30.0 ? std::exp(x) * std::erfc(s) : (1.0 - 0.5 / x) / std::sqrt(kPi * x);
    return 2.0 / std::sqrt(kPi) * s + tail;
}

// Root of an increasing function between lo (f < 0) and hi (f > 0): Illinois
// variant of regula falsi, which keeps the bracket and converges fast.
template <typename F> double increasingRoot(F f, double lo, double hi, double flo, double fhi)
{
    int side = 0;
    double x = lo;
    for (int i = 0; i < 100; ++i) {
        x = (lo * fhi - hi * flo) / (fhi - flo);
        if (!(x > lo && x < hi))
            x = 0.5 * (lo + hi);
        const double fx = f(x);
        if (fx == 0.0 || hi - lo < 1e-10 * (1.0 + std::fabs(x)))
            return x;
        if (fx < 0) {
            lo = x;
            flo = fx;
            if (side == -1)
                fhi *= 0.5;
            side = -1;
        } else {
            hi = x;
            fhi = fx;
            if (side == 1)
                flo *= 0.5;
            side = 1;
        }
    }
    return x;
}
} // namespace

double Plasma::areaSide() const
{
    return c_.spherical ? 0.0 : 2.0 * kPi * c_.probeRadius * c_.probeLength;
}

double Plasma::areaEnd() const
{
    return c_.spherical ? 4.0 * kPi * c_.probeRadius * c_.probeRadius : kPi * c_.probeRadius * c_.probeRadius;
}

LocalPlasma Plasma::local(double phase, double period, double positionMm) const
{
    double m = 1.0;
    if ((c_.pulseDepth != 0.0 || c_.pulseTeDepth != 0.0) && period > 0) {
        // Periodic steady state of a first-order rise during the on phase and
        // decay during the off phase.
        const double tau = std::max(c_.pulseTauUs, 1e-3) * 1e-6;
        const double ton = std::clamp(c_.pulseDuty, 0.0, 1.0) * period;
        const double t = std::fmod(std::fmod(phase, period) + period, period);
        const double e1 = std::exp(-ton / tau), e2 = std::exp(-(period - ton) / tau);
        const double a = e2 * (1.0 - e1) / (1.0 - e1 * e2);
        const double b = 1.0 - (1.0 - a) * e1;
        m = t < ton ? 1.0 - (1.0 - a) * std::exp(-t / tau) : b * std::exp(-(t - ton) / tau);
    }
    double g = 1.0;
    if (c_.profileWidthMm > 0) {
        const double u = (positionMm - c_.profileCentreMm) / c_.profileWidthMm;
        g = c_.profileFloor + (1.0 - c_.profileFloor) * std::exp(-0.5 * u * u);
    }
    LocalPlasma p;
    p.ne = c_.ne * (1.0 - c_.pulseDepth + c_.pulseDepth * m) * g;
    p.kTe = c_.kTe * (1.0 - c_.pulseTeDepth + c_.pulseTeDepth * m);
    p.Vp = c_.Vp - c_.profileVpDrop * (1.0 - g);
    p.hotNe = c_.hotFraction * p.ne;
    p.hotKTe = c_.hotKTe;
    auto je = [](double n, double kT) { return n > 0 && kT > 0 ? kE * n * std::sqrt(kE * kT / (2.0 * kPi * kMe)) : 0.0; };
    p.jeCold = je(p.ne, p.kTe);
    p.jeHot = je(p.hotNe, p.hotKTe);
    p.jp = p.kTe > 0 ? kE * (p.ne + p.hotNe) * std::sqrt(kE * p.kTe / (2.0 * kPi * c_.ionMassAmu * kAmu)) : 0.0;
    if (c_.ionOml) {
        p.ionA = 2.0 / std::sqrt(kPi);
        p.ionB = 0.5;
        p.ionC = 1.0;
        p.ionD = 1.0;
    } else {
        // Sheath-fit coefficients of the probe radius over the Debye length.
        const double xi = c_.probeRadius / debyeLength(p);
        p.ionC = 1.98 + 4.49 * std::pow(xi, -1.31);
        p.ionD = 3.61 * std::pow(xi, -0.0394) - 2.95;
        p.ionA = 1.18 - 0.0008 * std::pow(xi, 1.35);
        p.ionB = std::min(0.5, 0.0684 + std::pow(0.722 + 0.928 * xi, -0.729));
    }
    return p;
}

double Plasma::debyeLength(const LocalPlasma &p) const
{
    return p.ne > 0 && p.kTe > 0 ? kDebye * std::sqrt(p.kTe / p.ne) : INFINITY;
}

double Plasma::tipCurrent(const LocalPlasma &p, double v, double areaScale, double ionScale) const
{
    const double side = areaSide() * areaScale, end = areaEnd() * areaScale;
    auto electrons = [&](double j, double kT) {
        if (j <= 0)
            return 0.0;
        const double x = (v - p.Vp) / kT;
        if (x < 0)
            return j * (side + end) * std::exp(std::max(x, -700.0));
        return j * (side * cylinderOml(x) + end * (c_.spherical ? 1.0 + x : 1.0));
    };
    const double ie = electrons(p.jeCold, p.kTe) + electrons(p.jeHot, p.hotKTe);

    double ii = 0.0;
    const double eta = (p.Vp - v) / p.kTe;
    if (eta > 0 && p.kTe > 0) {
        if (c_.ionOml)
            ii = p.jp * (side * p.ionA * std::sqrt(eta) + end * (1.0 + eta));
        else
            ii = p.jp * (side * p.ionA * std::pow(eta, p.ionB) + end * p.ionC * std::pow(eta, p.ionD));
    }
    return ie - ii * ionScale;
}

double Plasma::probeCurrent(const LocalPlasma &p, double v, bool doubleProbe) const
{
    if (!doubleProbe)
        return tipCurrent(p, v);
    // Two floating tips: tip 1 at phi + v, tip 2 at phi; their currents cancel.
    const double half = 0.5 * c_.machK * c_.machNumber;
    const double s1 = std::exp(-half), s2 = std::exp(half);
    auto balance = [&](double phi) { return tipCurrent(p, phi + v, 1.0, s1) + tipCurrent(p, phi, c_.areaRatio, s2); };
    const double kT = std::max(p.kTe, p.hotNe > 0 ? p.hotKTe : 0.0);
    const double lo = std::min(p.Vp, p.Vp - v) - 60.0 * kT;
    const double hi = std::max(p.Vp, p.Vp - v);
    const double flo = balance(lo), fhi = balance(hi);
    if (!(flo < 0 && fhi > 0))
        return tipCurrent(p, lo + v, 1.0, s1);
    const double phi = increasingRoot(balance, lo, hi, flo, fhi);
    return tipCurrent(p, phi + v, 1.0, s1);
}

double Plasma::solveSeries(const LocalPlasma &p, double vSet, double r, bool doubleProbe, double &current) const
{
    const double i0 = probeCurrent(p, vSet, doubleProbe);
    if (r <= 0 || std::fabs(i0 * r) < 1e-9) {
        current = i0;
        return vSet;
    }
    // The current is monotonic in the tip voltage, so the tip sits between
    // the set voltage and the set voltage less the drop at the set voltage.
    auto g = [&](double vt) { return vt + r * probeCurrent(p, vt, doubleProbe) - vSet; };
    double lo = vSet, hi = vSet;
    if (i0 > 0)
        lo = vSet - r * i0;
    else
        hi = vSet - r * i0;
    const double flo = g(lo), fhi = g(hi);
    double vt;
    if (flo >= 0)
        vt = lo;
    else if (fhi <= 0)
        vt = hi;
    else
        vt = increasingRoot(g, lo, hi, flo, fhi);
    current = (vSet - vt) / r;
    return vt;
}

double Plasma::floatingPotential(const LocalPlasma &p) const
{
    auto f = [&](double v) { return tipCurrent(p, v); };
    const double kT = std::max(p.kTe, p.hotNe > 0 ? p.hotKTe : 0.0);
    const double lo = p.Vp - 80.0 * kT, hi = p.Vp;
    const double flo = f(lo), fhi = f(hi);
    if (!(flo < 0 && fhi > 0))
        return NAN;
    return increasingRoot(f, lo, hi, flo, fhi);
}

PlasmaState Plasma::state(double phase, double period, double positionMm) const
{
    const LocalPlasma p = local(phase, period, positionMm);
    PlasmaState s;
    s.ne = p.ne + p.hotNe;
    s.ni = s.ne;
    s.kTe = p.kTe;
    s.Vp = p.Vp;
    s.Vf = floatingPotential(p);
    s.isat = tipCurrent(p, p.Vp - 50.0);
    s.debyeLength = debyeLength(p);
    return s;
}

} // namespace qsim
