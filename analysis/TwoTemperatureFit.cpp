#include "TwoTemperatureFit.h"

#include "NoiseRobust.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using namespace physics;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

constexpr int kMinSamples = 20;
constexpr int kGridSize = 28; // temperatures log-spaced over 0.05 ... 100 eV
constexpr double kGridLow = 0.05, kGridHigh = 100;
constexpr double kSimplexStep = 0.1; // in ln T
constexpr double kSimplexSpread = 1e-4;
constexpr int kSimplexIterations = 400;
constexpr double kFloorOfLargest = 1e-7; // noise floor as a fraction of the largest current
constexpr double kMinGain = 25;
constexpr double kMaxReduced = 2;
constexpr double kMinRatio = 1.5;
constexpr double kMinFraction = 0.005, kMaxFraction = 0.95;
constexpr double kIonExponentShift = 0.2;

struct Window {
    std::vector<double> u, I, drop; // u = V - Vpmax (<= 0), drop = -u
    double Vpmax = 0;
};

// The window loops below run for every temperature the fits try, so they are written on
// four-lane vectors: the same operations in the same order on every machine (results do not
// depend on the lane width), with an AVX2 copy chosen at load time where the compiler can.
#if defined(__GNUC__) && !defined(__clang__)
// The 32-byte vectors never cross a function boundary (see LP_VECTOR_INLINE).
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define LP_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LP_VECTOR_CLONES
#endif

// Helpers are forced inline: a vector passed between functions compiled for different
// targets would change the calling convention.
#define LP_VECTOR_INLINE inline __attribute__((always_inline))

using v4 = double __attribute__((vector_size(32)));
using v4i = std::int64_t __attribute__((vector_size(32)));

LP_VECTOR_INLINE v4 load(const double* p)
{
    v4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
LP_VECTOR_INLINE void store(double* p, v4 v) { std::memcpy(p, &v, sizeof v); }
LP_VECTOR_INLINE double lanes(v4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// exp(x) for x <= 0 without a library call, lane by lane: 2^k times the degree-12 Taylor
// polynomial on |r| <= ln2/2 (relative error below 1e-15).
LP_VECTOR_INLINE v4 fastExp4(v4 x)
{
    using T = v4;
    using I = v4i;
    const T low = T{} - 700;
    const I below = (I)(x < low); // all ones where x < -700
    x = (T)(((I)x & ~below) | ((I)low & below));
    const double kShift = 6755399441055744.0; // 1.5 * 2^52: adding it rounds to an integer
    const T t = x * 1.4426950408889634 + kShift;
    const T k = t - kShift;
    const T r = (x - k * 0.6931471803691238) - k * 1.9082149292705877e-10;
    // Estrin's scheme: short dependency chains, so successive samples overlap.
    const T r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    constexpr double c3 = 1.0 / 6, c4 = 1.0 / 24, c5 = 1.0 / 120, c6 = 1.0 / 720, c7 = 1.0 / 5040,
                     c8 = 1.0 / 40320, c9 = 1.0 / 362880, c10 = 1.0 / 3628800, c11 = 1.0 / 39916800,
                     c12 = 1.0 / 479001600;
    const T q0 = 1 + r, q1 = 0.5 + c3 * r, q2 = c4 + c5 * r, q3 = c6 + c7 * r, q4 = c8 + c9 * r,
            q5 = c10 + c11 * r;
    const T s0 = q0 + q1 * r2, s1 = q2 + q3 * r2, s2 = q4 + q5 * r2;
    const T p = (s0 + s1 * r4) + (s2 + c12 * r4) * r8;
    const I scale = ((I)t + 1023) << 52; // the integer k sits in the low bits of t
    return p * (T)scale;
}

LP_VECTOR_INLINE double fastExp(double x)
{
    // One lane of the vector form, so that tails match the lanes bit for bit.
    v4 v = {x, x, x, x};
    return fastExp4(v)[0];
}

// out_i = exp(u_i * inv).
LP_VECTOR_CLONES void boltzmannRow(const double* u, double inv, double* out, size_t m)
{
    size_t i = 0;
    for (; i + 4 <= m; i += 4)
        store(out + i, fastExp4(load(u + i) * inv));
    for (; i < m; ++i)
        out[i] = fastExp(u[i] * inv);
}

// Sum of a_i b_i over n samples, in four lanes.
LP_VECTOR_CLONES double dot(const double* a, const double* b, size_t n)
{
    v4 s = {0, 0, 0, 0};
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        s += load(a + i) * load(b + i);
    double tail = 0;
    for (; i < n; ++i)
        tail += a[i] * b[i];
    return lanes(s) + tail;
}

// The seven sums of the normal equations with two Boltzmann terms (e2 null: the three of
// one term): e1e1, e1e2, e2e2, Pe1, Pe2, Ie1, Ie2.
LP_VECTOR_CLONES void normalSums(const double* P, const double* I, const double* e1, const double* e2,
                                 size_t m, double* out)
{
    v4 s11 = {0, 0, 0, 0}, s12 = s11, s22 = s11, sp1 = s11, sp2 = s11, si1 = s11, si2 = s11;
    size_t i = 0;
    if (e2) {
        for (; i + 4 <= m; i += 4) {
            const v4 a = load(e1 + i), b = load(e2 + i), p = load(P + i), c = load(I + i);
            s11 += a * a;
            s12 += a * b;
            s22 += b * b;
            sp1 += p * a;
            sp2 += p * b;
            si1 += c * a;
            si2 += c * b;
        }
    } else {
        for (; i + 4 <= m; i += 4) {
            const v4 a = load(e1 + i), p = load(P + i), c = load(I + i);
            s11 += a * a;
            sp1 += p * a;
            si1 += c * a;
        }
    }
    double t[7] = {0, 0, 0, 0, 0, 0, 0};
    for (; i < m; ++i) {
        const double a = e1[i], b = e2 ? e2[i] : 0;
        t[0] += a * a;
        t[1] += a * b;
        t[2] += b * b;
        t[3] += P[i] * a;
        t[4] += P[i] * b;
        t[5] += I[i] * a;
        t[6] += I[i] * b;
    }
    const v4 all[7] = {s11, s12, s22, sp1, sp2, si1, si2};
    for (int k = 0; k < 7; ++k)
        out[k] = lanes(all[k]) + t[k];
}

// Sum over the window of (I + a P - c1 e1 - c2 e2)^2 (e2 null: one term).
LP_VECTOR_CLONES double residual(const double* P, const double* I, const double* e1, const double* e2,
                                 size_t m, const double* theta)
{
    const double a = theta[0], c1 = theta[1], c2 = e2 ? theta[2] : 0;
    v4 s = {0, 0, 0, 0};
    size_t i = 0;
    if (e2) {
        for (; i + 4 <= m; i += 4) {
            const v4 d = load(I + i) + a * load(P + i) - c1 * load(e1 + i) - c2 * load(e2 + i);
            s += d * d;
        }
    } else {
        for (; i + 4 <= m; i += 4) {
            const v4 d = load(I + i) + a * load(P + i) - c1 * load(e1 + i);
            s += d * d;
        }
    }
    double tail = 0;
    for (; i < m; ++i) {
        const double d = I[i] + a * P[i] - c1 * e1[i] - (e2 ? c2 * e2[i] : 0);
        tail += d * d;
    }
    return lanes(s) + tail;
}

// Solves the N x N normal equations G theta = r (N <= 3) after scaling to a unit diagonal;
// false when singular.
bool solve(double G[3][3], const double* r, int N, double* theta)
{
    double A[3][4], scale[3];
    for (int j = 0; j < N; ++j) {
        if (!(G[j][j] > 0))
            return false;
        scale[j] = 1 / std::sqrt(G[j][j]);
    }
    for (int j = 0; j < N; ++j) {
        for (int k = 0; k < N; ++k)
            A[j][k] = G[j][k] * scale[j] * scale[k];
        A[j][N] = r[j] * scale[j];
    }
    for (int c = 0; c < N; ++c) {
        int p = c;
        for (int q = c + 1; q < N; ++q)
            if (std::fabs(A[q][c]) > std::fabs(A[p][c]))
                p = q;
        if (!(std::fabs(A[p][c]) > 1e-13))
            return false;
        if (p != c)
            for (int k = 0; k <= N; ++k)
                std::swap(A[p][k], A[c][k]);
        for (int q = c + 1; q < N; ++q) {
            const double f = A[q][c] / A[c][c];
            for (int k = c; k <= N; ++k)
                A[q][k] -= f * A[c][k];
        }
    }
    for (int j = N - 1; j >= 0; --j) {
        double v = A[j][N];
        for (int k = j + 1; k < N; ++k)
            v -= A[j][k] * theta[k];
        theta[j] = v / A[j][j];
    }
    for (int j = 0; j < N; ++j)
        theta[j] *= scale[j];
    // The ion term is -a P with a > 0; the electron terms must not be negative.
    if (!(theta[0] > 0))
        return false;
    for (int j = 1; j < N; ++j)
        if (!(theta[j] >= 0))
            return false;
    return true;
}

// Least squares of I = -a P + sum c_k E_k for fixed temperatures, P = (Vpmax - V)^b.
class Fitter {
public:
    Fitter(const Window& w, double b) : w_(w), P_(w.u.size())
    {
        const size_t m = P_.size();
        for (size_t i = 0; i < m; ++i) {
            P_[i] = std::pow(w.drop[i], b);
            PP_ += P_[i] * P_[i];
            PI_ += P_[i] * w.I[i];
        }
    }

    void boltzmann(double T, std::vector<double>& e) const
    {
        e.resize(w_.u.size());
        boltzmannRow(w_.u.data(), 1 / T, e.data(), e.size());
    }

    // Residual sum of squares with one (e2 null) or two Boltzmann terms, taken sample by
    // sample; +inf when a <= 0, a c_k < 0 or the system is singular. coef (optional) receives
    // a, c_1 (, c_2).
    double ssr(const double* e1, const double* e2, double* coef = nullptr) const
    {
        const size_t m = P_.size();
        double sum[7];
        normalSums(P_.data(), w_.I.data(), e1, e2, m, sum);
        const double s11 = sum[0], s12 = sum[1], s22 = sum[2], sp1 = sum[3], sp2 = sum[4],
                     si1 = sum[5], si2 = sum[6];
        const int N = e2 ? 3 : 2;
        double G[3][3] = {{PP_, -sp1, -sp2}, {-sp1, s11, s12}, {-sp2, s12, s22}};
        const double r[3] = {-PI_, si1, si2};
        double theta[3] = {0, 0, 0};
        if (!solve(G, r, N, theta))
            return kInf;
        const double s = residual(P_.data(), w_.I.data(), e1, e2, m, theta);
        if (coef)
            std::copy(theta, theta + N, coef);
        return s;
    }

    // The same from sums over the window (the grid's products are shared between the fits):
    // for ranking starting points only, as cancellation limits its accuracy.
    double ssrFromSums(double II, double s11, double s12, double s22, double sp1, double sp2,
                       double si1, double si2, bool two) const
    {
        const int N = two ? 3 : 2;
        double G[3][3] = {{PP_, -sp1, -sp2}, {-sp1, s11, s12}, {-sp2, s12, s22}};
        const double r[3] = {-PI_, si1, si2};
        double theta[3] = {0, 0, 0};
        if (!solve(G, r, N, theta))
            return kInf;
        double fit = 0;
        for (int j = 0; j < N; ++j)
            fit += theta[j] * r[j];
        return II - fit;
    }

    const std::vector<double>& P() const { return P_; }

private:
    const Window& w_;
    std::vector<double> P_;
    double PP_ = 0, PI_ = 0;
};

// The Boltzmann terms of the temperature grid and their products over the window, shared by
// the fits with different ion exponents.
struct Grid {
    double T[kGridSize];
    std::vector<double> E[kGridSize];
    double EE[kGridSize][kGridSize]; // sum E_j E_l
    double IE[kGridSize];            // sum I E_j
    double II = 0;
};

// Nelder-Mead from x0 with an initial step in every direction, until the simplex spreads
// less than kSimplexSpread in every coordinate.
template <int N, typename F>
std::array<double, N> simplex(F f, std::array<double, N> x0)
{
    using Point = std::array<double, N>;
    std::array<Point, N + 1> x;
    std::array<double, N + 1> y;
    for (int v = 0; v <= N; ++v) {
        x[v] = x0;
        if (v > 0)
            x[v][v - 1] += kSimplexStep;
        y[v] = f(x[v]);
    }
    auto blend = [](const Point& a, const Point& b, double t) { // a + t (b - a)
        Point p;
        for (int d = 0; d < N; ++d)
            p[d] = a[d] + t * (b[d] - a[d]);
        return p;
    };
    for (int it = 0; it < kSimplexIterations; ++it) {
        std::array<int, N + 1> o;
        for (int v = 0; v <= N; ++v)
            o[v] = v;
        std::sort(o.begin(), o.end(), [&](int a, int b) { return y[a] < y[b]; });
        double spread = 0;
        for (int v = 1; v <= N; ++v)
            for (int d = 0; d < N; ++d)
                spread = std::max(spread, std::fabs(x[o[v]][d] - x[o[0]][d]));
        if (spread < kSimplexSpread)
            break;
        const int worst = o[N];
        Point c{};
        for (int v = 0; v < N; ++v)
            for (int d = 0; d < N; ++d)
                c[d] += x[o[v]][d] / N;
        const Point xr = blend(c, x[worst], -1);
        const double yr = f(xr);
        if (yr < y[o[0]]) {
            const Point xe = blend(c, x[worst], -2);
            const double ye = f(xe);
            if (ye < yr)
                x[worst] = xe, y[worst] = ye;
            else
                x[worst] = xr, y[worst] = yr;
            continue;
        }
        if (yr < y[o[N - 1]]) {
            x[worst] = xr, y[worst] = yr;
            continue;
        }
        const bool outside = yr < y[worst];
        const Point xc = blend(c, outside ? xr : x[worst], 0.5);
        const double yc = f(xc);
        if (yc < (outside ? yr : y[worst])) {
            x[worst] = xc, y[worst] = yc;
            continue;
        }
        for (int v = 1; v <= N; ++v) { // shrink towards the best
            x[o[v]] = blend(x[o[0]], x[o[v]], 0.5);
            y[o[v]] = f(x[o[v]]);
        }
    }
    int best = 0;
    for (int v = 1; v <= N; ++v)
        if (y[v] < y[best])
            best = v;
    return x[best];
}

struct Populations {
    double ssr1 = kInf, t1 = kNaN;
    double ssr2 = kInf, tc = kNaN, th = kNaN, f = kNaN;
};

double density(double c, double T, double area)
{
    return c / (kElementaryCharge * area * std::sqrt(kElementaryCharge * T / kTwoPiElectronMass));
}

// The one- and two-population fits with ion exponent b.
Populations fitPopulations(const Window& w, double b, double area, const Grid& g)
{
    const Fitter fit(w, b);
    const size_t m = w.u.size();
    double PE[kGridSize];
    for (int j = 0; j < kGridSize; ++j)
        PE[j] = dot(fit.P().data(), g.E[j].data(), m);
    Populations p;
    int b1 = -1;
    double best1 = kInf;
    for (int j = 0; j < kGridSize; ++j) {
        const double s = fit.ssrFromSums(g.II, g.EE[j][j], 0, 0, PE[j], 0, g.IE[j], 0, false);
        if (s < best1)
            best1 = s, b1 = j;
    }
    if (b1 < 0)
        return p;
    std::vector<double> e1, e2;
    auto one = [&](const std::array<double, 1>& x) {
        fit.boltzmann(std::exp(x[0]), e1);
        return fit.ssr(e1.data(), nullptr);
    };
    const auto x1 = simplex<1>(one, {std::log(g.T[b1])});
    p.t1 = std::exp(x1[0]);
    p.ssr1 = one(x1);

    int bc = -1, bh = -1;
    double best2 = kInf;
    for (int j = 0; j < kGridSize; ++j)
        for (int l = j + 1; l < kGridSize; ++l) {
            const double s = fit.ssrFromSums(g.II, g.EE[j][j], g.EE[j][l], g.EE[l][l], PE[j], PE[l],
                                             g.IE[j], g.IE[l], true);
            if (s < best2)
                best2 = s, bc = j, bh = l;
        }
    if (bc < 0)
        return p;
    auto two = [&](const std::array<double, 2>& x) {
        if (!(x[1] > x[0]))
            return kInf;
        fit.boltzmann(std::exp(x[0]), e1);
        fit.boltzmann(std::exp(x[1]), e2);
        return fit.ssr(e1.data(), e2.data());
    };
    const auto x2 = simplex<2>(two, {std::log(g.T[bc]), std::log(g.T[bh])});
    double coef[3];
    fit.boltzmann(std::exp(x2[0]), e1);
    fit.boltzmann(std::exp(x2[1]), e2);
    const double s2 = x2[1] > x2[0] ? fit.ssr(e1.data(), e2.data(), coef) : kInf;
    if (!std::isfinite(s2))
        return p;
    p.ssr2 = s2;
    p.tc = std::exp(x2[0]);
    p.th = std::exp(x2[1]);
    const double nc = density(coef[1], p.tc, area), nh = density(coef[2], p.th, area);
    p.f = nh / (nc + nh);
    return p;
}

struct Limits {
    double s2 = 0;   // noise variance
    int m = 0;       // samples
    double span = 0; // window voltage span
    double dv = 0;   // mean voltage step
};

double gainOf(const Populations& p, const Limits& l) { return (p.ssr1 - p.ssr2) / l.s2; }
double reducedOf(const Populations& p, const Limits& l) { return p.ssr2 / ((l.m - 4) * l.s2); }

bool twoPopulations(const Populations& p, const Limits& l)
{
    if (!std::isfinite(p.ssr1) || !std::isfinite(p.ssr2))
        return false;
    return gainOf(p, l) >= kMinGain
           && (reducedOf(p, l) <= kMaxReduced || p.ssr2 <= 0.5 * p.ssr1)
           && p.th >= kMinRatio * p.tc && p.f >= kMinFraction && p.f <= kMaxFraction
           && p.th <= 0.5 * l.span && p.tc >= l.dv;
}

twotemp::Result failed(const QString& text)
{
    twotemp::Result r;
    r.tCold = r.tHot = r.fraction = r.t1 = r.tc = r.th = r.f = r.gain = r.reduced = kNaN;
    r.message = text;
    return r;
}

} // namespace

namespace twotemp {

Result fit(const AnalysisContext& ctx, const IvTrace& curve, const AnalysisResult& res,
           double ionExponent)
{
    const int mode = ctx.probeMode;
    if (mode != eSingleProbe && mode != eSingleProbeWithReference && mode != eSphericalProbe)
        return failed(QStringLiteral("Two temperatures: single probes only."));
    const double Vpmax = res[AnalysisResult::eVpmax], kTe = res[AnalysisResult::eKTe];
    const int n = curve.size();
    if (!std::isfinite(Vpmax) || !(std::isfinite(kTe) && kTe > 0) || n < 2)
        return failed(QStringLiteral("Two temperatures: no Vpmax or kTe."));
    const double dv = (curve.voltage(n - 1) - curve.voltage(0)) / (n - 1);
    const double top = Vpmax - ctx.settings.nDerivativePoints * dv;
    Window w;
    w.Vpmax = Vpmax;
    for (const IvPoint& p : curve.points)
        if (p.voltage <= top && std::isfinite(p.current) && std::isfinite(p.voltage)) {
            w.u.push_back(p.voltage - Vpmax);
            w.I.push_back(p.current);
            w.drop.push_back(Vpmax - p.voltage);
        }
    const int m = int(w.u.size());
    if (m < kMinSamples)
        return failed(QStringLiteral("Two temperatures: fewer than 20 samples below Vpmax."));

    const robust::NoiseEstimate noise = robust::estimateNoise(curve);
    const double s = std::max(noise.sigma, kFloorOfLargest * noise.maxAbsI);
    Limits lim;
    lim.s2 = s * s;
    lim.m = m;
    lim.span = *std::max_element(w.u.begin(), w.u.end()) - *std::min_element(w.u.begin(), w.u.end());
    lim.dv = dv;

    Grid grid;
    const Fitter forGrid(w, 0.0);
    for (const double i : w.I)
        grid.II += i * i;
    for (int j = 0; j < kGridSize; ++j) {
        grid.T[j] = kGridLow * std::pow(kGridHigh / kGridLow, double(j) / (kGridSize - 1));
        forGrid.boltzmann(grid.T[j], grid.E[j]);
    }
    for (int j = 0; j < kGridSize; ++j) {
        const double* a = grid.E[j].data();
        grid.IE[j] = dot(w.I.data(), a, size_t(m));
        for (int l = j; l < kGridSize; ++l)
            grid.EE[j][l] = grid.EE[l][j] = dot(a, grid.E[l].data(), size_t(m));
    }
    const double b = std::isfinite(ionExponent) ? std::max(ionExponent, 0.0) : 0.5;
    const Populations p = fitPopulations(w, b, ctx.areaTotal, grid);
    if (!std::isfinite(p.ssr1))
        return failed(QStringLiteral("Two temperatures: no one-temperature fit."));
    // A temperature that runs off the grid's range fits no electrons (a window of ion
    // current only): no answer rather than an absurd one.
    if (!(p.t1 >= kGridLow && p.t1 <= kGridHigh))
        return failed(QStringLiteral("Two temperatures: the one-temperature fit leaves 0.05 ... 100 eV (T1 %1 eV).")
                          .arg(p.t1, 0, 'g', 3));

    Result r;
    r.samples = m;
    r.t1 = p.t1;
    r.tc = p.tc;
    r.th = p.th;
    r.f = p.f;
    r.gain = gainOf(p, lim);
    r.reduced = reducedOf(p, lim);
    bool two = twoPopulations(p, lim);
    if (two)
        for (double bb : {std::max(b - kIonExponentShift, 0.0), b + kIonExponentShift})
            if (!twoPopulations(fitPopulations(w, bb, ctx.areaTotal, grid), lim)) {
                two = false;
                r.veto = QStringLiteral("not confirmed with ion exponent %1").arg(bb, 0, 'g', 3);
                break;
            }
    if (two) {
        r.flag = eTwoTemperatures;
        r.tCold = p.tc;
        r.tHot = p.th;
        r.fraction = p.f;
    } else {
        r.flag = eOneTemperature;
        r.tCold = p.t1;
        r.tHot = kNaN;
        r.fraction = 0;
    }
    r.message = QStringLiteral("Two temperatures: T1 %1 eV, Tc %2 eV, Th %3 eV, f %4, gain %5, "
                               "reduced %6, flag %7")
                    .arg(r.t1, 0, 'g', 4)
                    .arg(r.tc, 0, 'g', 4)
                    .arg(r.th, 0, 'g', 4)
                    .arg(r.f, 0, 'g', 3)
                    .arg(r.gain, 0, 'g', 3)
                    .arg(r.reduced, 0, 'g', 3)
                    .arg(int(r.flag));
    if (!r.veto.isEmpty())
        r.message += QStringLiteral("; ") + r.veto;
    return r;
}

} // namespace twotemp
