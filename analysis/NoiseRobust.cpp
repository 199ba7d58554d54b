#include "NoiseRobust.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Median absolute deviation of Gaussian noise over its standard deviation.
constexpr double kMadPerSigma = 0.6744897501960817;
// Gaps of a window that agree to this fraction count as one uniform grid.
constexpr double kUniformTolerance = 1e-9;
constexpr int kVfRefinements = 20;
constexpr int kVfMinSamples = 5;

bool positiveFinite(double x) { return std::isfinite(x) && x > 0; }

// Least-squares quadratic y = p0 + p1 u + p2 u^2 from the power sums S[q] = sum u^q (q = 0..4)
// and T[q] = sum y u^q (q = 0..2). False when the sums leave it undetermined.
bool solveQuadratic(const double S[5], const double T[3], double p[3])
{
    const double m00 = S[2] * S[4] - S[3] * S[3];
    const double m01 = S[1] * S[4] - S[2] * S[3];
    const double m02 = S[1] * S[3] - S[2] * S[2];
    const double det = S[0] * m00 - S[1] * m01 + S[2] * m02;
    // Fewer than three distinct abscissae make det vanish up to rounding.
    if (!(std::fabs(det) > 1e-12 * S[0] * S[2] * S[4]))
        return false;
    p[0] = (T[0] * m00 - S[1] * (T[1] * S[4] - S[3] * T[2]) + S[2] * (T[1] * S[3] - S[2] * T[2]))
           / det;
    p[1] = (S[0] * (T[1] * S[4] - S[3] * T[2]) - T[0] * m01 + S[2] * (S[1] * T[2] - T[1] * S[2]))
           / det;
    p[2] = (S[0] * (S[2] * T[2] - T[1] * S[3]) - S[1] * (S[1] * T[2] - T[1] * S[2])
            + T[0] * m02)
           / det;
    return true;
}

// Adds one sample (u, y) to the power sums of a least-squares quadratic.
inline void addSample(double u, double y, double S[5], double T[3])
{
    const double u2 = u * u;
    S[0] += 1;
    S[1] += u;
    S[2] += u2;
    S[3] += u2 * u;
    S[4] += u2 * u2;
    T[0] += y;
    T[1] += y * u;
    T[2] += y * u2;
}

// Adds samples [first, last] with u = (V - centre) / scale to the power sums.
void addSums(const IvPoint* p, int first, int last, double centre, double scale, double S[5],
             double T[3])
{
    for (int q = 0; q < 5; ++q)
        S[q] = 0;
    T[0] = T[1] = T[2] = 0;
    for (int j = first; j <= last; ++j) {
        addSample((p[j].voltage - centre) / scale, p[j].current, S, T);
    }
}

} // namespace

namespace robust {

NoiseEstimate estimateNoise(const IvTrace& c)
{
    NoiseEstimate e;
    const int n = c.size();
    const IvPoint* p = c.points.constData();
    for (int i = 0; i < n; ++i)
        if (std::isfinite(p[i].current))
            e.maxAbsI = std::max(e.maxAbsI, std::fabs(p[i].current));
    if (n < 3)
        return e;
    e.dv = (p[n - 1].voltage - p[0].voltage) / (n - 1);
    if (!(e.dv > 0) || !std::isfinite(e.dv))
        return e;

    // The ion branch below the zero crossing is nearly straight, so its residuals are noise.
    // No crossing: all of the curve when it is all ion current, none when it is all electron.
    const int kf = curve::backwardCurrent(c, 0);
    const int last = kf >= 0 ? kf - 2 : p[n - 1].current < 0 ? n - 2 : 0;
    std::vector<double> r;
    r.reserve(size_t(std::max(last, 0)));
    for (int i = 1; i <= last; ++i) {
        const double v0 = p[i - 1].voltage, v1 = p[i].voltage, v2 = p[i + 1].voltage;
        if (!(v0 < v1 && v1 < v2))
            continue;
        const double chord = (p[i - 1].current * (v2 - v1) + p[i + 1].current * (v1 - v0)) / (v2 - v0);
        const double ri = p[i].current - chord;
        if (std::isfinite(ri))
            r.push_back(std::fabs(ri));
    }
    if (int(r.size()) >= kMinResiduals) {
        const size_t mid = r.size() / 2;
        std::nth_element(r.begin(), r.begin() + long(mid), r.end());
        double med = r[mid];
        if (r.size() % 2 == 0)
            med = 0.5 * (med + *std::max_element(r.begin(), r.begin() + long(mid)));
        // A residual against the chord carries 1 + 1/4 + 1/4 of the noise variance.
        e.sigma = med / kMadPerSigma / std::sqrt(1.5);
    }
    e.gateOpen = e.sigma > kGateFraction * e.maxAbsI;
    return e;
}

double slopeSigma(double sigma, int k, double dv)
{
    return sigma * std::sqrt(2.0 / k) / ((k + 1) * dv);
}

double varianceFactor(int m)
{
    const double M = m;
    return 3 * (3 * M * M + 3 * M - 1) / ((2 * M - 1) * (2 * M + 1) * (2 * M + 3));
}

QVector<double> kernel(int m)
{
    const double M = m;
    const double den = (2 * M - 1) * (2 * M + 1) * (2 * M + 3);
    QVector<double> c(2 * m + 1);
    for (int q = -m; q <= m; ++q)
        c[q + m] = (3 * (3 * M * M + 3 * M - 1) - 15.0 * q * q) / den;
    return c;
}

double smoothedSlopeSigma(double sigma, int k, int m, double dv)
{
    const QVector<double> c = kernel(m);
    auto cq = [&](int q) { return q < -m || q > m ? 0.0 : c[q + m]; };
    // a_j: weight of input sample j in the window slope taken on the smoothed curve.
    double sum = 0;
    for (int j = -m; j <= m + 2 * k; ++j) {
        double a = 0;
        for (int t = k + 1; t <= 2 * k; ++t)
            a += cq(j - t);
        for (int t = 0; t < k; ++t)
            a -= cq(j - t);
        sum += a * a;
    }
    return sigma * std::sqrt(sum) / (double(k) * (k + 1) * dv);
}

int smoothingHalfWidth(const NoiseEstimate& noise, double pilotKTe, int n)
{
    if (!positiveFinite(pilotKTe) || !(noise.dv > 0))
        return 0;
    // Half a kTe keeps the quadratic's bias well below the curvature of the exponential.
    const double cap = std::floor(0.5 * pilotKTe / noise.dv + 0.5);
    const int widest = (n - 1) / 2; // the window must fit in the curve
    const int mCap = cap >= widest ? widest : int(cap);
    if (mCap < 2)
        return 0;
    const double limit = kSmoothFraction * noise.maxAbsI;
    for (int m = 2; m <= mCap; ++m)
        if (noise.sigma * std::sqrt(varianceFactor(m)) <= limit)
            return m;
    return mCap;
}

AnalysisCurve smooth(const AnalysisCurve& c, int m)
{
    AnalysisCurve out = c;
    const int n = c.size();
    if (m < 1 || 2 * m + 1 > n)
        return out;
    const IvPoint* p = c.points.constData();
    const QVector<double> ker = kernel(m);
    // Prefix counts: gaps that differ from the next one, and non-finite samples.
    std::vector<int> uneven(size_t(n), 0), bad(size_t(n) + 1, 0);
    for (int j = 0; j + 2 < n; ++j) {
        const double g0 = p[j + 1].voltage - p[j].voltage, g1 = p[j + 2].voltage - p[j + 1].voltage;
        const bool same = g0 > 0 && std::fabs(g1 - g0) <= kUniformTolerance * g0;
        uneven[size_t(j) + 1] = uneven[size_t(j)] + (same ? 0 : 1);
    }
    for (int j = 0; j < n; ++j)
        bad[size_t(j) + 1] = bad[size_t(j)]
                             + (std::isfinite(p[j].current) && std::isfinite(p[j].voltage) ? 0 : 1);
    for (int i = 0; i < n; ++i) {
        const int lo = std::min(std::max(i - m, 0), n - 1 - 2 * m);
        const int hi = lo + 2 * m;
        if (bad[size_t(hi) + 1] != bad[size_t(lo)])
            continue; // a gap in the data stays where it is
        if (lo == i - m && uneven[size_t(hi) - 1] == uneven[size_t(lo)]) {
            double v = 0;
            for (int q = -m; q <= m; ++q)
                v += ker[q + m] * p[i + q].current;
            out.points[i].current = v;
            continue;
        }
        const double h = 0.5 * (p[hi].voltage - p[lo].voltage);
        if (!(h > 0))
            continue;
        double S[5], T[3], coef[3];
        addSums(p, lo, hi, p[i].voltage, h, S, T);
        if (solveQuadratic(S, T, coef))
            out.points[i].current = coef[0];
    }
    return out;
}

double refineVf(const IvTrace& c, double Vf, double kTe)
{
    const int n = c.size();
    if (!std::isfinite(Vf) || !positiveFinite(kTe) || n < kVfMinSamples)
        return Vf;
    const IvPoint* p = c.points.constData();
    const double dv = (p[n - 1].voltage - p[0].voltage) / (n - 1);
    const double W = kTe;
    double Vc = Vf;
    for (int pass = 0; pass < kVfRefinements; ++pass) {
        double S[5] = {0, 0, 0, 0, 0}, T[3] = {0, 0, 0};
        for (int j = 0; j < n; ++j) {
            if (!(std::fabs(p[j].voltage - Vc) <= W) || !std::isfinite(p[j].current))
                continue;
            addSample((p[j].voltage - Vc) / W, p[j].current, S, T); // scaled for conditioning
        }
        double q[3];
        if (S[0] < kVfMinSamples || !solveQuadratic(S, T, q))
            break;
        const double a = q[0], b = q[1], cc = q[2];
        if (b == 0)
            break;
        const double disc = b * b - 4 * a * cc;
        double u;
        if (cc == 0 || disc < 0) {
            u = -a / b;
        } else {
            // The root of smaller magnitude without cancellation.
            const double s = -0.5 * (b + std::copysign(std::sqrt(disc), b));
            const double u1 = s / cc, u2 = a / s;
            u = std::fabs(u1) < std::fabs(u2) ? u1 : u2;
        }
        const double move = std::clamp(u * W, -W, W);
        if (!std::isfinite(move))
            break;
        Vc += move;
        if (std::fabs(move) < 0.5 * dv)
            break;
    }
    return Vc;
}

Plan plan(const AnalysisContext& ctx, const AnalysisCurve& base)
{
    Plan p;
    p.curve = base;
    const int mode = ctx.probeMode;
    const bool single =
        mode == eSingleProbe || mode == eSingleProbeWithReference || mode == eSphericalProbe;
    if (!ctx.settings.noiseRobust || !single)
        return p;
    p.active = true;
    p.noise = estimateNoise(base);
    if (!p.noise.gateOpen)
        return p; // a clean curve: the plain analysis exactly
    const NoiseEstimate& nz = p.noise;
    const int k = ctx.settings.nDerivativePoints;
    p.slopeNoise = slopeSigma(nz.sigma, k, nz.dv);
    if (!(nz.sigma > kSmoothFraction * nz.maxAbsI))
        return p;
    // The pilot: the unsmoothed analysis, for the kTe that sets the smoothing width.
    AnalysisContext pilotCtx = ctx;
    pilotCtx.slopeNoise = p.slopeNoise;
    AnalysisResult pilot;
    QString pilotErr;
    iv::analyse(pilotCtx, base, pilot, pilotErr);
    const int m = smoothingHalfWidth(nz, pilot[AnalysisResult::eKTe], base.size());
    if (m == 0)
        return p;
    p.m = m;
    p.curve = smooth(base, m);
    p.slopeNoise = smoothedSlopeSigma(nz.sigma, k, m, nz.dv);
    return p;
}

bool analyse(const Plan& plan, AnalysisContext& ctx, const AnalysisCurve& c, AnalysisResult& res,
             QString& err)
{
    if (!plan.noise.gateOpen)
        return iv::analyse(ctx, c, res, err);
    ctx.slopeNoise = plan.slopeNoise;
    const bool ok = iv::analyse(ctx, c, res, err);
    if (ok)
        res[AnalysisResult::eVf] = refineVf(c, res[AnalysisResult::eVf], res[AnalysisResult::eKTe]);
    return ok;
}

QString describe(const Plan& r)
{
    const NoiseEstimate& nz = r.noise;
    const double rel = nz.maxAbsI > 0 ? nz.sigma / nz.maxAbsI : 0.0;
    return QStringLiteral("Noise-robust analysis: sigma %1 A (%2 of the largest current), gate %3, m %4")
        .arg(nz.sigma, 0, 'g', 3)
        .arg(rel, 0, 'g', 3)
        .arg(nz.gateOpen ? QStringLiteral("open") : QStringLiteral("closed"))
        .arg(r.m);
}

} // namespace robust
