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

    auto count = [&](double top) {
        int c = 0;
        for (const IvPoint& p : curve.points)
            c += p.voltage <= top && std::isfinite(p.current);
        return c;
    };
    double top = Vf;
    for (double delta : {2.0, 1.0, 0.0})
        if (count(Vf - delta * kTe) >= kWantedSamples) {
            top = Vf - delta * kTe;
            break;
        }
    Region reg;
    reg.logDropVf = std::log(Vpmax - Vf);
    for (const IvPoint& p : curve.points) {
        if (!(p.voltage <= top) || !std::isfinite(p.current))
            continue;
        reg.I.push_back(p.current);
        reg.logDrop.push_back(std::log(Vpmax - p.voltage));
        reg.boltzmann.push_back(std::exp((p.voltage - Vf) / kTe));
    }
    const int n = int(reg.I.size());
    if (n < kMinSamples)
        return failed("Ion density fit: fewer than 10 samples below the floating potential.");

    const Amplitude half = amplitude(reg, 0.5);
    if (!positiveFinite(half.a))
        return failed("Ion density fit: no ion current in the fit region.");

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
    double beta = best * kBetaStep;
    if (best == mid && curv > 0)
        beta += kBetaStep * (ssr[mid - 1] - ssr[mid + 1]) / (2 * curv);
    const double s2 = ssr[best] / (n - 2);
    const double sigmaBeta =
        curv > 0 ? kBetaStep * std::sqrt(2 * s2 / curv) : std::numeric_limits<double>::infinity();

    Result r;
    r.samples = n;
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
        r.ni = ionAtVf / (std::exp(-0.5) * e * ctx.areaTotal * std::sqrt(e * kTe / mi));
    } else {
        r.regime = eLaframboise;
        const double B = laframboiseB(r.xi);
        r.ni = amplitude(reg, B).a * std::pow(kTe, B)
               / (ctx.areaSide * e * std::sqrt(e * kTe / (2 * kPi * mi)) * laframboiseA(r.xi));
    }
    if (!positiveFinite(r.ni)) {
        Result f = failed("Ion density fit: no ion current in the fit region.");
        f.samples = n;
        return f;
    }
    r.message = QStringLiteral("Ion density fit: %1 samples, exponent %2 ± %3, r/lambdaD %4, regime %5")
                    .arg(n)
                    .arg(beta, 0, 'g', 4)
                    .arg(sigmaBeta, 0, 'g', 3)
                    .arg(r.xi, 0, 'g', 4)
                    .arg(int(r.regime));
    return r;
}

} // namespace ionfit
