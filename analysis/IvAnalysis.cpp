#include "IvAnalysis.h"

#include "LinearFit.h"

#include <QDebug>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace physics;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const char kNoData[] = "No data.";
const char kAscending[] = "IV scan data must have ascending voltages.";
const char kOnlyNegative[] = "Data only contains negative current data";
const char kOnlyPositive[] = "Data only contains positive current data";
const char kNoVp[] = "Unable to find Vp.";
const char kKteFewPoints[] = "Not enough data collected around Vp to evaluate kTe.";
const char kKteSlope[] = "Error while calculating kTe from slope";
const char k2ndWindow[] =
    "Not enough data collected around Vp to reliably perform zero-crossing of 2nd Derivative.";
const char k2ndPoints[] = "Not enough points in 2nd Derivative analysed.";
const char k2ndZero[] = "Zero-crossing not found in 2nd Derivative.";
const char kIsFewPoints[] = "Not enough data collected around Vp to perform intersecting slopes.";
const char kIsNegative[] = "Found negative slope IV curve. Unable to perform intersecting slopes.";
const char kIsFailed[] = "Failed to find Vp with Intersecting slopes.";
const char kKteIntegral[] = "Error while calculating kTe from Ie integral";

// Forward and backward voltage searches on a raw range (same rules as the curve searches).
int fwdV(const IvPoint* p, int n, double v)
{
    if (n < 1)
        return -1;
    const double f0 = p[0].voltage;
    if (f0 < v) {
        for (int i = 0; i + 1 < n; ++i)
            if (p[i + 1].voltage >= v)
                return i;
    } else if (f0 > v) {
        for (int i = 0; i + 1 < n; ++i)
            if (p[i + 1].voltage <= v)
                return i;
    }
    return -1;
}

int bwdV(const IvPoint* p, int n, double v)
{
    if (n < 1)
        return -1;
    const double fl = p[n - 1].voltage;
    if (fl == v)
        return n - 1;
    const bool above = fl > v;
    for (int i = n - 2; i >= 0; --i) {
        const double f = p[i].voltage;
        if (!(above ? f > v : f < v))
            return i + 1;
    }
    return -1;
}

bool positiveFinite(double x) { return std::isfinite(x) && x > 0; }

// Bitwise equality (a not-a-number equals itself).
bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Intersecting slopes on a range of n voltages p with currents cur(i).
template <typename Cur>
double intersect(double Vpmax, double Vsat, double kTe, double Vlow, const IvPoint* p, int n,
                 Cur cur, QString& err, bool skipRepeats = true)
{
    auto fail = [&](const char* msg) {
        err = QString::fromLatin1(msg);
        return Vpmax;
    };
    const int iMax = fwdV(p, n, Vpmax);
    const int iLow = bwdV(p, n, Vlow);
    int iS = fwdV(p, n, Vpmax + kTe);
    if (iS < 0)
        iS = fwdV(p, n, Vsat);
    if (iS < 0)
        iS = iMax;
    int iE = fwdV(p, n, Vpmax + 3 * kTe);
    if (iE < 0)
        iE = n;
    if (iS < 0 || iS >= iE - 2)
        return fail(kIsFewPoints);

    LinearFit ret;
    if (iLow >= 0 && iMax >= 0)
        for (int i = iLow; i <= iMax; ++i)
            ret.add(p[i].voltage, std::log(cur(i)));
    if (ret.count() < 2)
        return fail(kIsFewPoints);
    const double slopeRet = ret.slope();
    if (!(slopeRet > 0))
        return fail(kIsNegative);
    const double interceptRet = ret.intercept();

    QVarLengthArray<double, 256> lnI;
    for (int i = iS; i < iE; ++i)
        lnI.append(std::log(cur(i)));
    // Each pass depends only on the estimate it starts from: once an estimate repeats, the
    // remaining passes cycle through values already seen (and already found valid).
    double hist[10];
    double vp = Vpmax;
    for (int pass = 0; pass < 10; ++pass) {
        hist[pass] = vp;
        LinearFit sat;
        for (int i = iS; i < iE; ++i)
            sat.add(std::log((p[i].voltage - vp) / kTe + 1), lnI[i - iS]);
        if (sat.count() == 0)
            return fail(kIsFewPoints);
        vp = (sat.intercept() - interceptRet) / slopeRet;
        if (!std::isfinite(vp) || vp < Vpmax - kTe)
            return fail(kIsFailed);
        if (!skipRepeats)
            continue;
        for (int j = pass; j >= 0; --j)
            if (vp == hist[j])
                return hist[j + (10 - j) % (pass + 1 - j)];
    }
    return vp;
}

// The electron current I - I_ion(V) of a range of the curve, computed on demand and kept
// for the current model; log(Vp - V) is kept while Vp stays the same.
class ElectronCurrent {
public:
    ElectronCurrent(const IvPoint* p, int n, const AnalysisContext& ctx)
        : p_(p), ie_(n), lnDelta_(n), stamp_(n, -1), dStamp_(n, -1), ctx_(ctx)
    {
    }

    void setModel(double Vp, double kTe, double Jp)
    {
        if (Vp != vp_ || std::isnan(Vp) != std::isnan(vp_))
            ++vpGen_;
        vp_ = Vp;
        lnKTe_ = std::log(kTe);
        jp_ = Jp;
        ++gen_;
    }

    double operator()(int i)
    {
        if (stamp_[i] == gen_)
            return ie_[i];
        const double V = p_[i].voltage;
        double v = p_[i].current;
        if (V <= vp_) {
            if (dStamp_[i] != vpGen_) {
                lnDelta_[i] = std::log(vp_ - V);
                dStamp_[i] = vpGen_;
            }
            const double lnEta = lnDelta_[i] - lnKTe_;
            double ion = ctx_.areaEnd * ctx_.C * std::exp(ctx_.D * lnEta);
            if (ctx_.areaSide != 0)
                ion += ctx_.areaSide * ctx_.A * std::exp(ctx_.B * lnEta);
            v += jp_ * ion; // I - I_ion with I_ion = -Jp * (...)
        }
        ie_[i] = v;
        stamp_[i] = gen_;
        return v;
    }

private:
    const IvPoint* p_;
    std::vector<double> ie_, lnDelta_;
    std::vector<int> stamp_, dStamp_;
    const AnalysisContext& ctx_;
    int gen_ = 0, vpGen_ = 0;
    double vp_ = kNaN, lnKTe_ = 0, jp_ = 0;
};

} // namespace

AnalysisResult::AnalysisResult() { v.fill(kNaN); }

void AnalysisResult::resetKeepIsat()
{
    const double isat = v[eIsat];
    v.fill(kNaN);
    v[eIsat] = isat;
}

AnalysisContext::AnalysisContext(const LangmuirSettings& s, int mode) : settings(s), probeMode(mode)
{
    const double pPa = s.pressure * kTorrToPascal;
    const double ng = pPa / (kBoltzmann * s.gasTemperature);
    collisionFactor = 1 + s.probeHolderRadius * ng * s.sigmaEn;
    const double r = s.probeRadius;
    if (mode == eSphericalProbe) {
        areaSide = 0;
        areaEnd = 4 * kPi * r * r;
    } else {
        areaSide = 2 * kPi * r * s.probeLength;
        areaEnd = kPi * r * r;
    }
    areaTotal = areaEnd + areaSide;
    lambdaIon = kBoltzmann * s.gasTemperature / (pPa * s.sigmaN);
    ionMassKg = s.ionMass * kAtomicMass;
}

double AnalysisContext::meanIonCurrent() const
{
    return std::fabs(isatIntegral) / (ionRegionHigh - ionRegionLow);
}

namespace {
double ionModel(double V, double Vp, double kTe, double Jp, double A, double B, double C, double D,
                double areaSide, double areaEnd)
{
    if (V > Vp)
        return 0.0;
    const double eta = (Vp - V) / kTe;
    return -Jp * (areaSide * A * std::pow(eta, B) + areaEnd * C * std::pow(eta, D));
}
} // namespace

double AnalysisContext::ionCurrent(double V, double Vp, double kTe, double Jp) const
{
    return ionModel(V, Vp, kTe, Jp, A, B, C, D, areaSide, areaEnd);
}

IvFit IvFit::from(const AnalysisContext& ctx, const AnalysisResult& r)
{
    IvFit f;
    f.ionRegionLow = ctx.ionRegionLow;
    f.ionRegionHigh = ctx.ionRegionHigh;
    f.Vp = r[AnalysisResult::eVp];
    f.kTe = r[AnalysisResult::eKTe];
    f.Jp = r[AnalysisResult::eJp];
    f.A = ctx.A;
    f.B = ctx.B;
    f.C = ctx.C;
    f.D = ctx.D;
    f.areaSide = ctx.areaSide;
    f.areaEnd = ctx.areaEnd;
    f.retardSlope = ctx.retardSlope;
    f.retardIntercept = ctx.retardIntercept;
    f.retardLow = ctx.retardLow;
    f.retardHigh = ctx.retardHigh;
    f.valid = std::isfinite(f.Vp) && std::isfinite(f.kTe) && f.kTe > 0 && std::isfinite(f.Jp);
    return f;
}

double IvFit::ionCurrent(double V) const
{
    return ionModel(V, Vp, kTe, Jp, A, B, C, D, areaSide, areaEnd);
}

bool IvFit::hasRetardFit() const
{
    return std::isfinite(retardSlope) && retardSlope > 0 && std::isfinite(retardIntercept)
           && std::isfinite(retardLow) && std::isfinite(retardHigh);
}

double IvFit::retardCurrent(double V) const
{
    return std::exp((V - retardIntercept) / retardSlope);
}

namespace iv {

void determineIonRegion(AnalysisContext& ctx, const IvTrace& corrected, const IvTrace& initScan,
                        double readingCurrent, double readingVoltage)
{
    const double erv = ctx.settings.electronReflectVoltage;
    if (!(readingCurrent == 0 && readingVoltage == 0)) {
        ctx.isatIntegral = readingCurrent;
        ctx.ionRegionHigh = readingVoltage;
        ctx.ionRegionLow = readingVoltage - 1;
    } else if (corrected.size() >= 2 && erv > corrected.voltage(1)) {
        ctx.ionRegionLow = corrected.voltage(1);
        ctx.ionRegionHigh = erv;
        ctx.isatIntegral = curve::integral(corrected, ctx.ionRegionLow, ctx.ionRegionHigh);
    } else if (!initScan.isEmpty() && erv > initScan.voltage(0)) {
        ctx.ionRegionLow = initScan.voltage(0);
        ctx.ionRegionHigh = erv;
        ctx.isatIntegral = curve::integral(initScan, ctx.ionRegionLow, ctx.ionRegionHigh);
    } else {
        const int i = corrected.size() >= 2 ? 1 : 0;
        if (corrected.isEmpty()) {
            ctx.ionRegionLow = 0;
            ctx.isatIntegral = 0;
        } else {
            ctx.ionRegionLow = corrected.voltage(i);
            ctx.isatIntegral = corrected.current(i);
        }
        ctx.ionRegionHigh = ctx.ionRegionLow + 1;
    }
}

double intersectingSlopes(double Vpmax, double Vsat, double kTe, double Vlow, const IvTrace& c,
                          QString& errorText)
{
    const IvPoint* p = c.points.constData();
    return intersect(Vpmax, Vsat, kTe, Vlow, p, c.size(), [p](int i) { return p[i].current; },
                     errorText);
}

bool analyse(AnalysisContext& ctx, const AnalysisCurve& c, AnalysisResult& res, QString& err)
{
    res.resetKeepIsat();
    const LangmuirSettings& s = ctx.settings;
    const int n = c.size();
    const IvPoint* p = c.points.constData();
    auto fail = [&](const char* msg) {
        err = QString::fromLatin1(msg);
        return false;
    };

    // B: checks and Vf
    if (n == 0 || !curve::allFinite(c))
        return fail(kNoData); // a value that is not finite would silently cut the searches short
    for (int i = 1; i < n; ++i) {
        if (p[i].voltage < p[i - 1].voltage) {
            qDebug().noquote() << QStringLiteral("2Found wrong voltage after ") + QString::number(i);
            return fail(kAscending);
        }
    }
    const int k = curve::backwardCurrent(c, 0);
    double Vf = kNaN;
    if (k < 1 || k >= n) {
        if (p[n - 1].current < 0)
            return fail(kOnlyNegative);
        if (p[0].current > 0)
            return fail(kOnlyPositive);
    } else {
        Vf = curve::zeroCrossing(p[k - 1].voltage, p[k - 1].current, p[k].voltage, p[k].current);
    }
    res[AnalysisResult::eVf] = Vf;
    if (k < 0)
        return fail(kNoVp); // no crossing index: no valid start for the searches below

    // C: Vpmax and Vsat
    const double Ibar = ctx.meanIonCurrent();
    int iStart = -1;
    for (int i = k; i < n; ++i)
        if (p[i].current > Ibar) {
            iStart = i;
            break;
        }
    if (iStart < 0)
        return fail(kNoVp);
    const double Vstart = p[iStart].voltage;
    const int w = s.nDerivativePoints;
    const TimedTrace D = curve::derivative(c, w, k);
    double maxSlope = 0;
    int iMaxEntry = -1, iStop = -1;
    for (int j = 0; j < D.size(); ++j) {
        const IvPoint& e = D.points.at(j);
        if (!(e.voltage > Vstart))
            continue;
        if (e.current > maxSlope) {
            maxSlope = e.current;
            iMaxEntry = j;
        } else if (e.current < s.VsatFactor * maxSlope - 8 * ctx.slopeNoise) {
            iStop = j;
            break;
        }
    }
    if (iMaxEntry < 0)
        return fail(kNoVp);
    const double Vpmax = D.voltage(iMaxEntry);
    const double Vsat = iStop >= 0 ? D.voltage(iStop) : D.voltage(D.size() - 1);
    res[AnalysisResult::eVpmax] = Vpmax;
    res[AnalysisResult::eVsat] = Vsat;

    // D: kTe from the retarding slope
    const int iHi = curve::forwardVoltage(c, Vpmax);
    const int iLo = curve::backwardCurrent(c, 0);
    double kTe = kNaN;
    {
        LinearFit fit;
        if (iHi >= 0 && iLo >= 0)
            for (int i = (iHi + iLo) / 2; i <= iHi; ++i)
                fit.add(std::log(p[i].current), p[i].voltage);
        if (fit.count() < 2)
            err = QString::fromLatin1(kKteFewPoints);
        else
            kTe = fit.slope();
    }
    if (!positiveFinite(kTe))
        return fail(kKteSlope);
    res[AnalysisResult::eKTe] = kTe;

    // E: first Vp estimate
    double Vp = Vpmax;
    if (s.bUse2ndDerivativeZeroVp) {
        const int i = curve::forwardVoltage(c, Vpmax);
        const int st = std::max(0, i - 2 * w - 3);
        if (i >= n - 3 || !(st + 3 < i)) {
            err = QString::fromLatin1(k2ndWindow);
        } else {
            const TimedTrace D1 = curve::derivative(c, w, st);
            const TimedTrace D2 = curve::derivative(D1, w);
            const int j = curve::forwardVoltage(D2, Vpmax);
            if (j < 0 || D2.current(0) < 0) {
                err = QString::fromLatin1(k2ndPoints);
            } else {
                const int z = curve::forwardCurrentInRange(D2, 0, j / 2);
                if (z < 0 || z >= n - 1) {
                    err = QString::fromLatin1(k2ndZero);
                } else {
                    const IvPoint& a = D2.points.at(z);
                    const IvPoint& b = D2.points.at(z + 1);
                    Vp = (b.voltage * a.current - a.voltage * b.current) / (a.current - b.current);
                    if (!std::isfinite(Vp)) { // a not-a-number entry next to the crossing
                        err = QString::fromLatin1(k2ndZero);
                        Vp = Vpmax;
                    }
                }
            }
        }
    } else {
        const int iVp = curve::forwardVoltage(c, Vpmax);
        const int mid = (iVp + k) / 2;
        const double Vlow = (iVp >= 0 && mid >= 0 && mid < n) ? p[mid].voltage : kNaN;
        Vp = intersect(Vpmax, Vsat, kTe, Vlow, p, n, [p](int i) { return p[i].current; }, err,
                       ctx.skipRepeatedPasses);
    }

    // F: electron quantities and the ion-current iteration
    const double e = kElementaryCharge;
    double Je = curve::currentAt(c, Vp) / ctx.areaTotal;
    double Ne = Je / (e * std::sqrt(e * kTe / kTwoPiElectronMass)) * ctx.collisionFactor;
    const bool refine = !s.bUseUserVp && !s.bUse2ndDerivativeZeroVp;
    const int outerPasses = refine ? 10 : 1;

    // The electron curve: the samples within +-250 V (a contiguous range, voltages ascending).
    int eFirst = 0;
    while (eFirst < n && !(p[eFirst].voltage >= -250))
        ++eFirst;
    int eEnd = eFirst;
    while (eEnd < n && p[eEnd].voltage <= 250)
        ++eEnd;
    const IvPoint* ep = p + eFirst;
    const int en = eEnd - eFirst;
    ElectronCurrent ie(ep, std::max(en, 0), ctx);
    // Samples of the electron curve that the fit walk considers: Vf <= V <= Vpmax.
    int wFirst = 0;
    while (wFirst < en && ep[wFirst].voltage < Vf)
        ++wFirst;
    int wLast = en - 1;
    while (wLast >= wFirst && ep[wLast].voltage > Vpmax)
        --wLast;

    double Jp = kNaN, lambdaD = kNaN;
    const double IatVpmax = curve::currentAt(c, Vpmax);
    // The passes are a deterministic map of (kTe, Ne, Vp, Je). Once the state at the start of
    // a pass repeats an earlier one, the passes that follow cycle through the states already
    // seen (in practice a fixed point or an alternation in the last bit), so the analysis
    // jumps to the state the last pass would start from and runs that pass. The results,
    // messages included, are those of running every pass.
    const QString errBefore = err;
    AnalysisCurve refCurve; // electron curve of the plain form
    double outerHist[10][4];
    QString outerMsg[10]; // message of each outer pass's refinement (null: none)
    for (int outer = 0; outer < outerPasses; ++outer) {
        outerHist[outer][0] = kTe;
        outerHist[outer][1] = Ne;
        outerHist[outer][2] = Vp;
        outerHist[outer][3] = Je;
        double innerHist[10][2];
        for (int inner = 0; inner < 10; ++inner) {
            innerHist[inner][0] = kTe;
            innerHist[inner][1] = Ne;
            const double kTeAccepted = kTe;
            lambdaD = kDebyeFactor * std::sqrt(kTe / Ne);
            const double xi = s.probeRadius / lambdaD;
            ctx.C = 1.98 + 4.49 * std::pow(xi, -1.31);
            ctx.D = 3.61 * std::pow(xi, -0.0394) - 2.95;
            ctx.A = 1.18 - 0.0008 * std::pow(xi, 1.35);
            ctx.B = std::min(0.5, 0.0684 + std::pow(0.722 + 0.928 * xi, -0.729));
            const double etaHi = (Vp - ctx.ionRegionHigh) / kTe;
            const double etaLo = (Vp - ctx.ionRegionLow) / kTe;
            Jp = -ctx.isatIntegral
                 / (-ctx.areaEnd * ctx.C * kTe / (1 + ctx.D)
                        * (std::pow(etaHi, 1 + ctx.D) - std::pow(etaLo, 1 + ctx.D))
                    - ctx.areaSide * ctx.A * kTe / (ctx.B + 1)
                          * (std::pow(etaHi, ctx.B + 1) - std::pow(etaLo, ctx.B + 1)));
            if (ctx.referenceElectronCurve) {
                // The plain form: the whole electron curve with the power-law ion model,
                // walked forward.
                refCurve.points.clear();
                for (int i = eFirst; i < eEnd; ++i)
                    refCurve.append(p[i].current - ctx.ionCurrent(p[i].voltage, Vp, kTe, Jp),
                                    p[i].voltage);
                LinearFit fit;
                for (const IvPoint& q : refCurve.points) {
                    if (q.voltage > Vpmax || q.voltage < Vf)
                        continue;
                    if (!(q.current > Ibar))
                        fit.reset();
                    else
                        fit.add(std::log(q.current), q.voltage);
                }
                kTe = fit.count() >= 2 ? fit.slope()
                                       : curve::integral(refCurve, Vf, Vpmax) / IatVpmax;
            } else {
                ie.setModel(Vp, kTe, Jp);

                // The fit holds the last unbroken run above Ibar: walk back from the top of the range.
                int runStart = wLast + 1;
                while (runStart - 1 >= wFirst && ie(runStart - 1) > Ibar)
                    --runStart;
                LinearFit fit;
                for (int i = runStart; i <= wLast; ++i)
                    fit.add(std::log(ie(i)), ep[i].voltage);
                if (fit.count() >= 2) {
                    kTe = fit.slope();
                    ctx.retardSlope = fit.slope();
                    ctx.retardIntercept = fit.intercept();
                    ctx.retardLow = ep[runStart].voltage;
                    ctx.retardHigh = ep[wLast].voltage;
                } else {
                    ctx.retardSlope = ctx.retardIntercept = ctx.retardLow = ctx.retardHigh = kNaN;
                    // Integral of the electron current from Vf to Vpmax over the samples around it.
                    const int a = std::max(0, wFirst - 1), b = std::min(en - 1, wLast + 1);
                    QVarLengthArray<double, 512> vs, is;
                    for (int i = a; i <= b; ++i) {
                        vs.append(ep[i].voltage);
                        is.append(ie(i));
                    }
                    kTe = curve::integral(vs.constData(), is.constData(), vs.size(), Vf, Vpmax)
                          / IatVpmax;
                }
            }
            if (!positiveFinite(kTe)) {
                // Keep what this pass started from, so the values belong together: Ne, Jp
                // and the Debye length were computed with the last accepted kTe.
                res[AnalysisResult::eVp] = Vp;
                res[AnalysisResult::eKTe] = kTeAccepted;
                res[AnalysisResult::eJe] = Je;
                res[AnalysisResult::eNe] = Ne;
                res[AnalysisResult::eJp] = Jp;
                res[AnalysisResult::eIsat] = -Jp * ctx.areaTotal;
                res[AnalysisResult::eLdebye] = lambdaD;
                return fail(kKteIntegral);
            }
            Ne = Je / (e * std::sqrt(e * kTe / kTwoPiElectronMass)) * ctx.collisionFactor;
            if (inner < 8 && ctx.skipRepeatedPasses) {
                for (int j = inner; j >= 0; --j) {
                    if (same(kTe, innerHist[j][0]) && same(Ne, innerHist[j][1])) {
                        const int period = inner + 1 - j;
                        const int at = j + (9 - j) % period; // state the tenth pass starts from
                        kTe = innerHist[at][0];
                        Ne = innerHist[at][1];
                        inner = 8;
                        break;
                    }
                }
            }
            if (inner == 9 && refine) {
                // On the electron curve of this pass (built with the pass's starting kTe).
                QString msg;
                if (ctx.referenceElectronCurve)
                    Vp = intersect(Vpmax, Vsat, kTe, (Vf + Vpmax) / 2, refCurve.points.constData(),
                                   refCurve.size(),
                                   [&](int i) { return refCurve.points[i].current; }, msg,
                                   ctx.skipRepeatedPasses);
                else
                    Vp = intersect(Vpmax, Vsat, kTe, (Vf + Vpmax) / 2, ep, en, ie, msg,
                                   ctx.skipRepeatedPasses);
                if (!msg.isNull())
                    err = msg;
                outerMsg[outer] = msg;
                Je = curve::currentAt(c, Vp) / ctx.areaTotal;
            }
        }
        if (outer + 1 >= outerPasses || !ctx.skipRepeatedPasses)
            continue;
        const double now[4] = {kTe, Ne, Vp, Je};
        for (int j = outer; j >= 0; --j) {
            if (!(same(now[0], outerHist[j][0]) && same(now[1], outerHist[j][1])
                  && same(now[2], outerHist[j][2]) && same(now[3], outerHist[j][3])))
                continue;
            const int period = outer + 1 - j;
            if (period == 1) {
                outer = outerPasses; // every later pass repeats this one
                break;
            }
            const int last = outerPasses - 1;
            auto replay = [&](int q) { return q <= outer ? q : j + (q - j) % period; };
            const int at = replay(last);
            kTe = outerHist[at][0];
            Ne = outerHist[at][1];
            Vp = outerHist[at][2];
            Je = outerHist[at][3];
            err = errBefore;
            for (int q = last - 1; q >= 0; --q)
                if (!outerMsg[replay(q)].isNull()) {
                    err = outerMsg[replay(q)];
                    break;
                }
            outer = last - 1;
            break;
        }
    }

    // G: final values
    res[AnalysisResult::eVp] = Vp;
    res[AnalysisResult::eKTe] = kTe;
    res[AnalysisResult::eJe] = Je;
    res[AnalysisResult::eNe] = Ne;
    res[AnalysisResult::eJp] = Jp;
    res[AnalysisResult::eIsat] = -Jp * ctx.areaTotal;
    res[AnalysisResult::eLdebye] = lambdaD;

    // H: ion density with the collisional correction
    double Ni = Jp / (e * std::sqrt(e * kTe / (2 * kPi * ctx.ionMassKg)));
    const double xi = s.probeRadius / lambdaD;
    const double P = std::pow(xi + 0.6, 0.05) + 0.04;
    const double Q = std::exp(0.08 - 1 / xi);
    const double S = std::pow(xi + 3.1, 0.6);
    const double G = 1.86 * std::pow(xi, 0.47) + 0.59;
    double sum1 = 0, sum2 = 0;
    long long count = 0;
    const double vFrom = std::trunc(ctx.ionRegionLow), vTo = std::trunc(ctx.ionRegionHigh);
    if (std::isfinite(vFrom) && std::isfinite(vTo) && vTo - vFrom < 1e6) {
        for (double V = vFrom; V < vTo; V += 1) {
            const double eta = (Vp - V) / kTe;
            const double X = P * std::pow(eta / (0.09 * Q), 1 / S);
            const double x = std::sqrt(G * (eta + 3.5) - 4) * lambdaD / ctx.lambdaIon;
            const double aEtaB = ctx.A * std::pow(eta, ctx.B);
            if (x >= 1) {
                sum1 += X / aEtaB;
                sum2 += (3 - std::exp(-x)) / (2 + 2 * x);
            } else {
                sum1 += (X / aEtaB - 1) * x + 1;
                sum2 += (3 - 2 * std::exp(-x)) / (1 + 2 * x);
            }
            ++count;
        }
    }
    const double factor = ctx.probeMode == eSphericalProbe
                              ? 1.0
                              : (sum2 / double(count)) * (sum1 / double(count));
    Ni /= factor;
    res[AnalysisResult::eNi] = Ni;
    return true;
}

KneeResult kneeSearch(const IvTrace& c, double limit, int k)
{
    KneeResult r;
    const int n = c.size();
    if (n == 0)
        return r;
    const IvPoint* p = c.points.constData();
    int k0 = curve::backwardCurrent(c, 0);
    if (k0 >= 1) {
        r.Vf = curve::zeroCrossing(p[k0 - 1].voltage, p[k0 - 1].current, p[k0].voltage,
                                   p[k0].current);
        r.vfFound = true;
    } else {
        k0 = 0;
        r.Vf = p[0].voltage;
    }
    const double lim = std::fabs(limit);
    if (!(p[n - 1].current > lim)) {
        r.knee = p[n - 1].voltage;
        return r;
    }
    IvTrace tail;
    tail.points = c.points.mid(k0);
    const QVector<double> slopes = curve::derivativeSlopes(tail, k);
    int idx = n - 1;
    if (!slopes.isEmpty()) {
        double best = std::trunc(slopes.first());
        int bestIndex = 0;
        for (int j = 0; j < slopes.size(); ++j) {
            if (slopes.at(j) > best) {
                bestIndex = j;
                best = std::trunc(slopes.at(j));
            }
        }
        idx = std::min(k0 + bestIndex + k, n - 1);
    }
    bool fellBack = false;
    if (lim <= p[idx].current)
        r.knee = p[idx].voltage;
    else if (idx + 1 < n && lim <= p[idx + 1].current)
        r.knee = p[idx + 1].voltage;
    else {
        r.knee = p[n - 1].voltage;
        fellBack = true;
    }
    r.ok = r.vfFound && !fellBack;
    return r;
}

} // namespace iv
