#pragma once
// Synthetic probe characteristics of known plasmas, for tests, benchmarks and the sample
// files: a single cylindrical or spherical probe (Maxwellian electrons, orbital-motion-limited
// cold ions; closed-form variants with other ion laws and two electron populations) and
// two-tip probes (tanh characteristic with sheath slopes, up/down asymmetry).
// Noise comes from a seeded generator, so every sweep set is reproducible.

#include <QVector>
#include <cmath>
#include <cstdint>
#include <random>

namespace synth {

constexpr double kE = 1.602176487e-19;
constexpr double kMe = 9.10938215e-31;
constexpr double kAmu = 1.6726216639163685e-27;
constexpr double kPi = 3.141592653589793;

struct SingleProbe {
    double kTe = 3;        // eV
    double ne = 1e16;      // m^-3 (ni = ne)
    double Vp = 5;         // V
    double ionMassAmu = 40;
    double radius = 0.000195; // m
    double length = 0.01;     // m
    bool spherical = false;

    double areaSide() const { return spherical ? 0 : 2 * kPi * radius * length; }
    double areaEnd() const { return spherical ? 4 * kPi * radius * radius : kPi * radius * radius; }
    double area() const { return areaSide() + areaEnd(); }
    // Electron saturation (thermal) current at Vp.
    double electronSaturation() const
    {
        return kE * ne * std::sqrt(kE * kTe / (2 * kPi * kMe)) * area();
    }
    double electronCurrent(double V) const
    {
        const double eta = (V - Vp) / kTe;
        if (eta <= 0)
            return electronSaturation() * std::exp(eta);
        // Slow growth of the collecting sheath above Vp (the orbital-motion-limited law of a
        // cylinder; for a sphere it stands for a thin, slowly expanding sheath).
        return electronSaturation() * std::sqrt(1 + eta);
    }
    // Cold-ion OML collection below Vp (negative), 0 above.
    double ionCurrent(double V) const
    {
        if (V >= Vp)
            return 0;
        const double M = ionMassAmu * kAmu;
        if (spherical)
            return -kE * ne * area() * std::sqrt(kE * kTe / (2 * kPi * M)) * (1 + (Vp - V) / kTe);
        return -kE * ne * area() * (std::sqrt(2.0) / kPi) * std::sqrt(kE * (Vp - V) / M);
    }
    double current(double V) const { return electronCurrent(V) + ionCurrent(V); }
};

// Closed-form cylindrical-probe curves with a chosen ion law and one or two Maxwellian
// electron populations, for checking the ion-branch and two-temperature fits: electrons
// sum_k I_es,k exp((V - Vp)/T_k) below Vp (I_es,k the thermal current of population k on the
// whole probe) and I_es,k sqrt(1 + (V - Vp)/T_k) above; ions on the side area.
struct ClosedFormProbe {
    enum IonLaw {
        eOml,        // -e n A (sqrt 2 / pi) sqrt(e (Vp - V) / m_i) below Vp
        eBohm,       // -exp(-1/2) e n A_total sqrt(e kTe / m_i) everywhere
        eLaframboise // -e n sqrt(e kTe / (2 pi m_i)) A A(xi) ((Vp - V)/kTe)^B(xi) below Vp
    };
    IonLaw ionLaw = eOml;
    double kTe = 3;         // eV, the (cold) electrons
    double ne = 1e16;       // m^-3, all electrons (= ni)
    double hotKTe = 0;      // eV, second population; 0: Maxwellian
    double hotFraction = 0; // its share of ne
    double Vp = 5;
    double ionMassAmu = 40;
    double radius = 0.000195, length = 0.01;
    double xi = 10;         // r/lambdaD for the Laframboise coefficients

    double areaSide() const { return 2 * kPi * radius * length; }
    double area() const { return areaSide() + kPi * radius * radius; }
    double thermal(double n, double T) const
    {
        return kE * n * std::sqrt(kE * T / (2 * kPi * kMe)) * area();
    }
    double electronSaturation() const
    {
        return thermal(ne * (1 - hotFraction), kTe) + (hotKTe > 0 ? thermal(ne * hotFraction, hotKTe) : 0);
    }
    double electronCurrent(double V) const
    {
        auto one = [&](double n, double T) {
            const double eta = (V - Vp) / T;
            return thermal(n, T) * (eta <= 0 ? std::exp(eta) : std::sqrt(1 + eta));
        };
        return one(ne * (1 - hotFraction), kTe) + (hotKTe > 0 ? one(ne * hotFraction, hotKTe) : 0);
    }
    double ionCurrent(double V) const
    {
        const double M = ionMassAmu * kAmu;
        switch (ionLaw) {
        case eBohm:
            return -std::exp(-0.5) * kE * ne * area() * std::sqrt(kE * kTe / M);
        case eLaframboise: {
            if (V >= Vp)
                return 0;
            const double A = 1.18 - 0.0008 * std::pow(xi, 1.35);
            const double B = std::fmin(0.0684 + std::pow(0.722 + 0.928 * xi, -0.729), 0.5);
            return -kE * ne * std::sqrt(kE * kTe / (2 * kPi * M)) * areaSide() * A
                   * std::pow((Vp - V) / kTe, B);
        }
        case eOml:
        default:
            return V >= Vp ? 0 : -kE * ne * areaSide() * (std::sqrt(2.0) / kPi) * std::sqrt(kE * (Vp - V) / M);
        }
    }
    double current(double V) const { return electronCurrent(V) + ionCurrent(V); }
};

// Two tips biased against each other: saturation currents iUp (V >> V0) and iDown (V << V0),
// tanh transition of width 2 kTe, residual sheath slopes on both branches.
struct TwoTipProbe {
    double kTe = 3;       // eV
    double iUp = 1e-4;    // A, magnitude on the positive branch
    double iDown = 1e-4;  // A, magnitude on the negative branch
    double V0 = 0;        // V
    double sheathSlope = 0; // A/V on both branches
    double current(double V) const
    {
        const double mean = 0.5 * (iUp + iDown), half = 0.5 * (iUp - iDown);
        return half + mean * std::tanh((V - V0) / (2 * kTe)) + sheathSlope * (V - V0);
    }
};

struct Sweep {
    double vStart = -50, vEnd = 30;
    int points = 400;
    int sweeps = 5;
    double currentNoise = 0;    // A, Gaussian per sample
    double relativeNoise = 0;   // fraction of |I|, Gaussian per sample
    double voltageNoise = 0;    // V, Gaussian per sample
    std::uint64_t seed = 1;
};

// Raw sweeps in the controller's layout: n voltages then n currents per sweep.
template <typename Probe>
QVector<QVector<double>> rawSweeps(const Probe& probe, const Sweep& s)
{
    std::mt19937_64 rng(s.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    QVector<QVector<double>> out;
    const int n = s.points;
    for (int k = 0; k < s.sweeps; ++k) {
        QVector<double> raw(2 * n);
        for (int i = 0; i < n; ++i) {
            const double vNominal = s.vStart + (s.vEnd - s.vStart) * i / (n - 1);
            const double v = vNominal + s.voltageNoise * gauss(rng);
            const double c = probe.current(v);
            raw[i] = v;
            raw[n + i] = c + s.currentNoise * gauss(rng) + s.relativeNoise * std::fabs(c) * gauss(rng);
        }
        out.append(raw);
    }
    return out;
}

} // namespace synth
