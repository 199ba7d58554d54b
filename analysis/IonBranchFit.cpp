#include "IonBranchFit.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace physics;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr int kWantedSamples = 40; // the region moves towards Vf until it holds this many
constexpr int kMinSamples = 10;
constexpr double kBetaStep = 0.02;
constexpr int kBetaSteps = 40; // exponents 0 ... 0.8
constexpr double kOmlBeta = 0.45;
constexpr double kBohmBeta = 0.10;
constexpr double kThinProbe = 3;   // r/lambdaD at or below: orbital motion whatever the exponent
constexpr double kThickProbe = 100; // r/lambdaD above: Bohm; also where the A, B law ends
constexpr int kTemperaturePasses = 10;
constexpr double kTemperatureTolerance = 1e-4;

bool positiveFinite(double x) { return std::isfinite(x) && x > 0; }

// The fit region with the logarithms and exponentials the basis needs.
struct Region {
    std::vector<double> I, logDrop, boltzmann; // ln(Vpmax - V), exp((V - Vf)/kTe)
    double logDropVf = 0;                      // ln(Vpmax - Vf)
};

// Least-squares amplitude and residual of the basis with exponent beta.
struct Amplitude {
    double a = kNaN, ssr = kNaN;
};

Amplitude amplitude(const Region& r, double beta)
{
    const double atVf = std::exp(beta * r.logDropVf);
    double smi = 0, smm = 0;
    const size_t n = r.I.size();
    std::vector<double> m(n);
    for (size_t i = 0; i < n; ++i) {
        m[i] = -std::exp(beta * r.logDrop[i]) + atVf * r.boltzmann[i];
        smi += m[i] * r.I[i];
        smm += m[i] * m[i];
    }
    Amplitude out;
    if (!(smm > 0))
        return out;
    out.a = smi / smm;
    double ssr = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = r.I[i] - out.a * m[i];
        ssr += d * d;
    }
    out.ssr = ssr;
    return out;
}

// The region below Vf for temperature kT, and the exponent of its best fit.
struct Exponent {
    Region reg;
    int n = 0;
    double beta = kNaN, sigmaBeta = kNaN;
};

Exponent fitExponent(const IvTrace& curve, double Vf, double Vpmax, double kT)
{
    auto count = [&](double top) {
        int c = 0;
        for (const IvPoint& p : curve.points)
            c += p.voltage <= top && std::isfinite(p.current);
        return c;
    };
    double top = Vf;
    for (double delta : {2.0, 1.0, 0.0})
        if (count(Vf - delta * kT) >= kWantedSamples) {
            top = Vf - delta * kT;
            break;
        }
    Exponent x;
    Region& reg = x.reg;
    reg.logDropVf = std::log(Vpmax - Vf);
    for (const IvPoint& p : curve.points) {
        if (!(p.voltage <= top) || !std::isfinite(p.current))
            continue;
        reg.I.push_back(p.current);
        reg.logDrop.push_back(std::log(Vpmax - p.voltage));
        reg.boltzmann.push_back(std::exp((p.voltage - Vf) / kT));
    }
    x.n = int(reg.I.size());
    if (x.n < kMinSamples)
        return x;

    // Residual over the exponent grid; the vertex of the parabola through the minimum.
    double ssr[kBetaSteps + 1];
    int best = 0;
    for (int j = 0; j <= kBetaSteps; ++j) {
        ssr[j] = amplitude(reg, j * kBetaStep).ssr;
        if (ssr[j] < ssr[best])
            best = j;
    }
    const int mid = std::min(std::max(best, 1), kBetaSteps - 1);
    const double curv = ssr[mid - 1] - 2 * ssr[mid] + ssr[mid + 1];
    x.beta = best * kBetaStep;
    if (best == mid && curv > 0)
        x.beta += kBetaStep * (ssr[mid - 1] - ssr[mid + 1]) / (2 * curv);
    const double s2 = ssr[best] / (x.n - 2);
    x.sigmaBeta = curv > 0 ? kBetaStep * std::sqrt(2 * s2 / curv) : std::numeric_limits<double>::infinity();
    return x;
}

// kTe from the electron current between Vf and Vpmax once the fitted ion branch is taken
// off: the slope of V over ln Ie on the last unbroken run above the ion current at Vf, as the
// analysis takes it above its own ion model.
double electronTemperature(const IvTrace& curve, double Vf, double Vpmax, const Exponent& x)
{
    const double b = std::fmax(x.beta, 0.0);
    const double a = amplitude(x.reg, b).a;
    if (!positiveFinite(a))
        return kNaN;
    const double floor = a * std::exp(b * x.reg.logDropVf);
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int k = 0;
    for (const IvPoint& p : curve.points) {
        if (p.voltage < Vf || p.voltage > Vpmax || !std::isfinite(p.current))
            continue;
        const double ie = p.current + a * std::pow(Vpmax - p.voltage, b);
        if (!(ie > floor)) {
            sx = sy = sxx = sxy = 0;
            k = 0;
            continue;
        }
        const double lx = std::log(ie);
        sx += lx;
        sy += p.voltage;
        sxx += lx * lx;
        sxy += lx * p.voltage;
        ++k;
    }
    const double d = k * sxx - sx * sx;
    return k >= 2 && d > 0 ? (k * sxy - sx * sy) / d : kNaN;
}

ionfit::Result failed(const char* text)
{
    ionfit::Result r;
    r.ni = r.beta = r.sigmaBeta = r.xi = kNaN;
    r.message = QString::fromLatin1(text);
    return r;
}

} // namespace

namespace ionfit {

double laframboiseA(double xi) { return 1.18 - 0.0008 * std::pow(xi, 1.35); }

double laframboiseB(double xi)
{
    return std::fmin(0.0684 + std::pow(0.722 + 0.928 * xi, -0.729), 0.5);
}

Result fit(const AnalysisContext& ctx, const IvTrace& curve, const AnalysisResult& res)
{
    const int mode = ctx.probeMode;
    if ((mode != eSingleProbe && mode != eSingleProbeWithReference) || !(ctx.areaSide > 0))
        return failed("Ion density fit: needs a cylindrical probe (mode 0 or 1, length > 0).");
    const double Vf = res[AnalysisResult::eVf], Vpmax = res[AnalysisResult::eVpmax];
    const double kTe = res[AnalysisResult::eKTe], lambdaD = res[AnalysisResult::eLdebye];
    // Without a Debye length the regime cannot be told: as good as no kTe.
    if (!std::isfinite(Vf) || !std::isfinite(Vpmax) || !(Vpmax > Vf) || !positiveFinite(kTe)
        || !positiveFinite(lambdaD))
        return failed("Ion density fit: no Vf, Vpmax or kTe.");

    // The analysis' kTe comes from the electron current its own ion model leaves; where the
    // ions follow another law (a flat Bohm branch) that kTe reads several per cent low, and so
    // would the density scaled by it. So the temperature is taken again from the electron
    // current the fitted ion branch leaves, and the fit repeated, until it settles.
    double kT = kTe;
    Exponent x = fitExponent(curve, Vf, Vpmax, kT);
    for (int pass = 0; pass < kTemperaturePasses && x.n >= kMinSamples; ++pass) {
        const double next = electronTemperature(curve, Vf, Vpmax, x);
        if (!positiveFinite(next))
            break;
        const Exponent y = fitExponent(curve, Vf, Vpmax, next);
        if (y.n < kMinSamples || !positiveFinite(amplitude(y.reg, 0.5).a))
            break;
        const bool settled = std::fabs(next - kT) <= kTemperatureTolerance * kT;
        kT = next;
        x = y;
        if (settled)
            break;
    }
    const Region& reg = x.reg;
    const int n = x.n;
    if (n < kMinSamples)
        return failed("Ion density fit: fewer than 10 samples below the floating potential.");

    const Amplitude half = amplitude(reg, 0.5);
    if (!positiveFinite(half.a))
        return failed("Ion density fit: no ion current in the fit region.");
    const double beta = x.beta, sigmaBeta = x.sigmaBeta;

    Result r;
    r.samples = n;
    r.kTe = kT;
    r.beta = beta;
    r.sigmaBeta = sigmaBeta;
    r.xi = ctx.settings.probeRadius / lambdaD;
    const double e = kElementaryCharge, mi = ctx.ionMassKg;
    const double niOml = half.a * kPi * std::sqrt(mi) / (ctx.areaSide * e * std::sqrt(2 * e));
    if (beta + 2 * sigmaBeta >= kOmlBeta || r.xi <= kThinProbe) {
        const bool bound = r.xi > kThinProbe
                           && beta - 2 * sigmaBeta <= laframboiseB(std::fmin(r.xi, kThickProbe));
        r.regime = bound ? eOmlLowerBound : eOml;
        r.ni = niOml;
    } else if (r.xi > kThickProbe || beta <= kBohmBeta) {
        r.regime = eBohm;
        const double b = std::fmax(beta, 0.0);
        const double ionAtVf = amplitude(reg, b).a * std::exp(b * reg.logDropVf);
        r.ni = ionAtVf / (std::exp(-0.5) * e * ctx.areaTotal * std::sqrt(e * kT / mi));
    } else {
        r.regime = eLaframboise;
        const double B = laframboiseB(r.xi);
        r.ni = amplitude(reg, B).a * std::pow(kT, B)
               / (ctx.areaSide * e * std::sqrt(e * kT / (2 * kPi * mi)) * laframboiseA(r.xi));
    }
    if (!positiveFinite(r.ni)) {
        Result f = failed("Ion density fit: no ion current in the fit region.");
        f.samples = n;
        return f;
    }
    r.message = QStringLiteral("Ion density fit: %1 samples, kTe %2 eV, exponent %3 ± %4, "
                               "r/lambdaD %5, regime %6")
                    .arg(n)
                    .arg(kT, 0, 'g', 4)
                    .arg(beta, 0, 'g', 4)
                    .arg(sigmaBeta, 0, 'g', 3)
                    .arg(r.xi, 0, 'g', 4)
                    .arg(int(r.regime));
    return r;
}

} // namespace ionfit
