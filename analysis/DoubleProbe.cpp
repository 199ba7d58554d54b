#include "DoubleProbe.h"

#include "LinearFit.h"

#include <QDebug>
#include <cmath>
#include <limits>

using namespace physics;

namespace dp {

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
    if (n == 0)
        return fail("No data.");
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
    const TimedTrace D = curve::derivative(c, n / 5);
    if (D.isEmpty())
        return fail("No data.");
    int best = 0;
    for (int j = 1; j < D.size(); ++j)
        if (D.current(j) > D.current(best))
            best = j;
    ctx.V0 = D.voltage(best);
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
