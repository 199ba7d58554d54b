#include "DoubleProbe.h"

#include "LinearFit.h"

#include <QDebug>
#include <cmath>
#include <limits>
#include <vector>

using namespace physics;

namespace dp {

namespace {

// Entry j of the window-sum derivative exactly as curve::derivative computes it: the sums of
// its windows taken afresh, in sample order. O(k).
struct ExactEntry {
    double slope, centre;
};
ExactEntry exactEntry(const IvPoint* p, int k, int j)
{
    double sxLo = 0, syLo = 0, sxHi = 0, syHi = 0;
    for (int t = 0; t < k; ++t) {
        sxLo += p[j + t].voltage;
        syLo += p[j + t].current;
        sxHi += p[j + k + 1 + t].voltage;
        syHi += p[j + k + 1 + t].current;
    }
    return {(syHi - syLo) / (sxHi - sxLo), (sxLo + sxHi) / k * 0.5};
}

} // namespace

int steepestEntry(const AnalysisCurve& c, int k, double& centre)
{
    const int n = c.size();
    const int m = n - 2 * k;
    if (k < 1 || m < 1)
        return -1;
    const IvPoint* p = c.points.constData();

    // The windows slide: running sums (in the widest floating type) give every entry's slope
    // in O(1), with a bound on how far it can lie from the slope of the fresh window sums.
    // Only the entries that can still be the largest are then computed exactly, so the entry
    // chosen, and its centre voltage, are those of the fresh sums (the first of equal ones).
    using L = long double;
    L lx = 0, ly = 0, hx = 0, hy = 0;     // lower and upper window sums
    L alx = 0, aly = 0, ahx = 0, ahy = 0; // the same over magnitudes
    L runX = 0, runY = 0;                 // bound on the rounding of the slides so far
    for (int t = 0; t < k; ++t) {
        const IvPoint& a = p[t];
        const IvPoint& b = p[k + 1 + t];
        lx += a.voltage, ly += a.current, hx += b.voltage, hy += b.current;
        alx += std::fabs(a.voltage), aly += std::fabs(a.current);
        ahx += std::fabs(b.voltage), ahy += std::fabs(b.current);
    }
    const L u = std::numeric_limits<double>::epsilon();
    const L uRun = L(4) * std::numeric_limits<L>::epsilon(); // per slide step
    std::vector<double> approx(m), bound(m);
    bool exactNeeded = false;
    int top = 0;
    for (int j = 0;; ++j) {
        const L dx = hx - lx, dy = hy - ly;
        // Fresh sums of k terms are off by at most about k*u times the magnitudes summed; the
        // running sums by what their slides have rounded (plus the first k additions).
        const L errX = L(k + 2) * u * (alx + ahx) + runX + uRun * L(k) * (alx + ahx);
        const L errY = L(k + 2) * u * (aly + ahy) + runY + uRun * L(k) * (aly + ahy);
        const L absDx = dx < 0 ? -dx : dx;
        if (!(absDx > 2 * errX)) {
            exactNeeded = true; // a window difference too close to zero to bound
            break;
        }
        const L slope = dy / dx;
        const L absSlope = slope < 0 ? -slope : slope;
        approx[j] = double(slope);
        bound[j] = double(2 * (errY + absSlope * errX) / (absDx - errX) + 4 * u * absSlope);
        if (approx[j] > approx[top])
            top = j;
        if (j + 1 >= m)
            break;
        // Slide by one: sample j leaves the lower window, j + k enters it; j + k + 1 leaves
        // the upper one, j + 2k + 1 enters it.
        const IvPoint& outL = p[j];
        const IvPoint& inL = p[j + k];
        const IvPoint& outH = p[j + k + 1];
        const IvPoint& inH = p[j + 2 * k + 1];
        lx += L(inL.voltage) - L(outL.voltage);
        ly += L(inL.current) - L(outL.current);
        hx += L(inH.voltage) - L(outH.voltage);
        hy += L(inH.current) - L(outH.current);
        alx += L(std::fabs(inL.voltage)) - L(std::fabs(outL.voltage));
        aly += L(std::fabs(inL.current)) - L(std::fabs(outL.current));
        ahx += L(std::fabs(inH.voltage)) - L(std::fabs(outH.voltage));
        ahy += L(std::fabs(inH.current)) - L(std::fabs(outH.current));
        // Each slide rounds twice per sum, each time by at most uRun of the magnitudes involved.
        runX += uRun * (alx + ahx + std::fabs(inL.voltage) + std::fabs(outL.voltage)
                        + std::fabs(inH.voltage) + std::fabs(outH.voltage));
        runY += uRun * (aly + ahy + std::fabs(inL.current) + std::fabs(outL.current)
                        + std::fabs(inH.current) + std::fabs(outH.current));
    }

    int best = -1;
    double bestSlope = 0;
    auto consider = [&](int j) {
        const ExactEntry e = exactEntry(p, k, j);
        if (best < 0 || e.slope > bestSlope) {
            best = j;
            bestSlope = e.slope;
            centre = e.centre;
        }
    };
    if (exactNeeded) {
        // Degenerate windows (equal voltages): the plain quadratic scan.
        for (int j = 0; j < m; ++j)
            consider(j);
        return best;
    }
    const double floor = approx[top] - bound[top];
    std::vector<int> candidates;
    for (int j = 0; j < m; ++j)
        if (approx[j] + bound[j] >= floor)
            candidates.push_back(j);
    // Slopes equal to within rounding over a long stretch (a straight line): all of them are
    // the steepest to the precision of the data; take the first of the approximate maxima.
    constexpr std::size_t kMaxExact = 64;
    if (candidates.size() > kMaxExact) {
        best = top;
        centre = exactEntry(p, k, top).centre;
        return best;
    }
    for (int j : candidates)
        consider(j);
    return best;
}

bool analyse(AnalysisContext& ctx, const AnalysisCurve& c, AnalysisResult& res, QString& err)
{
    res.v.fill(std::numeric_limits<double>::quiet_NaN());
    const bool mach = ctx.probeMode == eMachProbe;
    const int n = c.size();
    const IvPoint* p = c.points.constData();
    auto fail = [&](const char* msg) {
        err = QString::fromLatin1(msg);
        return false;
    };

    // 1: checks
    if (n == 0 || !curve::allFinite(c))
        return fail("No data."); // a value that is not finite would silently cut the searches short
    for (int i = 1; i < n; ++i) {
        if (p[i].voltage < p[i - 1].voltage) {
            qDebug().noquote() << QString::fromLatin1(mach ? "1Found wrong voltage after "
                                                           : "Found wrong voltage after ")
                                      + QString::number(i);
            return fail("IV scan data must have ascending voltages.");
        }
    }
    // Too short for a symmetry point: the derivative below would be empty.
    if (n < 5)
        return fail("No data.");

    // 2: symmetry point at the steepest slope
    double V0 = 0;
    if (steepestEntry(c, n / 5, V0) < 0)
        return fail("No data.");
    ctx.V0 = V0;
    ctx.I0 = curve::currentAt(c, ctx.V0);

    // 3: shifted curve
    AnalysisCurve S = c;
    for (IvPoint& pt : S.points) {
        pt.current -= ctx.I0;
        pt.voltage -= ctx.V0;
    }
    const IvPoint* sp = S.points.constData();

    // 4: Vf on the segment that holds shifted voltage 0
    const int k = curve::forwardVoltage(S, 0);
    double Vf = std::numeric_limits<double>::quiet_NaN();
    if (k < 0 || k + 1 >= n) {
        if (sp[n - 1].current < 0)
            return fail("Data only contains negative current data");
        if (sp[0].current > 0)
            return fail("Data only contains positive current data");
    } else {
        Vf = ctx.V0
             + curve::zeroCrossing(sp[k].voltage, sp[k].current, sp[k + 1].voltage,
                                   sp[k + 1].current);
    }
    res[AnalysisResult::eVf] = Vf;

    // 5: derivative of the shifted curve
    const TimedTrace D2 = curve::derivative(S, ctx.settings.nDerivativePoints);
    const int nD = D2.size();
    if (nD == 0)
        return fail("No data.");

    // 6: left branch, growing from the first entry while the centre is below V0
    {
        double sum = D2.current(0), sumSq = sum * sum, bestVar = 1000, bestSum = sum;
        int bestCount = 1;
        for (int i = 1; i < nD && D2.voltage(i) < 0; ++i) {
            const double s = D2.current(i);
            sum += s;
            sumSq += s * s;
            const double var = ((i + 1) * sumSq - sum * sum) / (double(i) * (i + 1));
            if (var < bestVar) {
                bestVar = var;
                bestCount = i + 1;
                bestSum = sum;
            }
        }
        ctx.slopeLeft = bestSum / bestCount;
        ctx.iLeft = D2.voltage(bestCount - 1); // vLeft for now
    }
    const double vLeft = ctx.iLeft;
    // 7: right branch, growing from the last entry while the centre is above V0
    double vRight;
    {
        double sum = D2.current(nD - 1), sumSq = sum * sum, bestVar = 1000, bestSum = sum;
        int bestCount = 1;
        for (int i = nD - 2; i >= 1 && D2.voltage(i) > 0; --i) {
            const double s = D2.current(i);
            sum += s;
            sumSq += s * s;
            const int m = nD - i;
            const double var = (m * sumSq - sum * sum) / (double(m) * (m - 1));
            if (var < bestVar) {
                bestVar = var;
                bestCount = m;
                bestSum = sum;
            }
        }
        ctx.slopeRight = bestSum / bestCount;
        vRight = D2.voltage(nD - bestCount);
    }

    // 8: sheath correction
    {
        int i = 0;
        for (; i < n && p[i].voltage < 0; ++i)
            S.points[i].current -= ctx.slopeLeft * S.points[i].voltage;
        for (; i < n; ++i)
            S.points[i].current -= ctx.slopeRight * S.points[i].voltage;
    }
    sp = S.points.constData();

    // 9: saturation currents
    double iLeft = 0, iRight = 0;
    {
        double sum = 0;
        int cnt = 0;
        for (int i = 0; i < n && sp[i].voltage <= vLeft; ++i, ++cnt)
            sum += sp[i].current;
        iLeft = cnt ? sum / cnt : 0.0;
        sum = 0;
        cnt = 0;
        for (int i = n - 1; i >= 1 && sp[i].voltage >= vRight; --i, ++cnt)
            sum += sp[i].current;
        iRight = cnt ? sum / cnt : 0.0;
    }
    ctx.iLeft = iLeft;
    ctx.iRight = iRight;
    const double isat = (iLeft - iRight) / 2;
    res[AnalysisResult::eIsat] = isat;

    // 10: tanh fit for kTe
    LinearFit fit;
    {
        int i = 0;
        for (; i < n && sp[i].voltage < 0; ++i) {
            const double u = -sp[i].current / iLeft;
            if (u > -0.9)
                fit.add(sp[i].voltage, std::atanh(u));
        }
        for (; i < n; ++i) {
            const double u = sp[i].current / iRight;
            if (u < 0.9)
                fit.add(sp[i].voltage, std::atanh(u));
        }
    }
    const double kTe = 1 / (2 * fit.slope());
    if (!std::isfinite(kTe) || !(kTe > 0))
        return fail("Error while calculating kTe from slope");
    res[AnalysisResult::eKTe] = kTe;

    const double e = kElementaryCharge;
    if (!mach) {
        const double Jp = -isat / ctx.areaTotal;
        const double flux = Jp / e;
        const double u0 = std::sqrt(e * kTe / ctx.ionMassKg);
        double u = u0, Ni = 0, lambdaD = 0;
        for (int pass = 0; pass < 20; ++pass) {
            Ni = flux / u;
            lambdaD = kDebyeFactor * std::sqrt(kTe / Ni);
            u = u0 / (5 * lambdaD / ctx.lambdaIon + 1);
        }
        res[AnalysisResult::eJp] = Jp;
        res[AnalysisResult::eNi] = Ni;
        res[AnalysisResult::eLdebye] = lambdaD;
    } else {
        const double u = std::sqrt(e * kTe / ctx.ionMassKg);
        res[AnalysisResult::eNi] =
            ((std::fabs(iRight) + std::fabs(iLeft)) * 0.5) / (e * ctx.areaTotal * u);
        // The up/down ratio of the saturation currents as measured, before the shift by I0
        // (after it they are equal in magnitude for a Mach probe, and M would always be 0).
        const double M =
            std::log(std::fabs(iRight + ctx.I0) / std::fabs(iLeft + ctx.I0)) / ctx.settings.kfactor;
        // A saturation current of zero on one side has no ratio: no Mach number, not an
        // infinite one.
        const bool finite = std::isfinite(M);
        res[AnalysisResult::eMach] = finite ? M : std::numeric_limits<double>::quiet_NaN();
        res[AnalysisResult::eVdrift] = finite ? u * M : std::numeric_limits<double>::quiet_NaN();
    }
    return true;
}

QVector<double> correctedCurrents(const AnalysisContext& ctx, const QVector<double>& V,
                                  const QVector<double>& I, double Vf)
{
    QVector<double> out(I.size());
    bool reached = false;
    for (int i = 0; i < I.size(); ++i) {
        const double v = i < V.size() ? V.at(i) : 0.0;
        if (!reached && v >= Vf)
            reached = true;
        const double slope = reached ? ctx.slopeRight : ctx.slopeLeft;
        out[i] = I.at(i) - (v - Vf) * slope - ctx.I0;
    }
    return out;
}

} // namespace dp
