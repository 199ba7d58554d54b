#include "AnalysisDriver.h"

#include "DoubleProbe.h"
#include "Eepf.h"
#include "IvAnalysis.h"
#include "LinearFit.h"
#include "MeanCurveBootstrap.h"
#include "NoiseRobust.h"
#include "OptInAnalyses.h"

#include <QDebug>
#include <array>
#include <cmath>
#include <limits>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Analysis values stored in result pairs 0 to 9, in pair order.
const int kStoredValues[10] = {
    AnalysisResult::eVpmax, AnalysisResult::eVp,  AnalysisResult::eVf,
    AnalysisResult::eKTe,   AnalysisResult::eJe,  AnalysisResult::eNe,
    AnalysisResult::eJp,    AnalysisResult::eNi,  AnalysisResult::eVsat,
    AnalysisResult::eLdebye,
};

double firstCurrentMagnitude(const ScanRecord& scan)
{
    return scan.corrected.I.isEmpty() ? kNaN : std::fabs(scan.corrected.I.first());
}

double at(const QVector<double>& v, int i) { return i < v.size() ? v.at(i) : 0.0; }

// The four perturbed copies: currents + stdI, currents - stdI, voltages + stdV, voltages - stdV.
AnalysisCurve perturbed(const ScanRecord& scan, const AnalysisCurve& base, int which)
{
    AnalysisCurve c = base;
    const CorrectedCurve& k = scan.corrected;
    for (int i = 0; i < c.size(); ++i) {
        IvPoint& p = c.points[i];
        switch (which) {
        case 0: p.current += at(k.stdI, i); break;
        case 1: p.current -= at(k.stdI, i); break;
        case 2: p.voltage += at(k.stdV, i); break;
        default: p.voltage -= at(k.stdV, i); break;
        }
    }
    return c;
}

// Largest and smallest value per field over the four perturbed analyses, failed ones
// included: a copy that fails shows that the curve is fragile, and its values (not-a-number
// where it got none) must widen the error, not vanish from it. The first result starts both
// trackers as it is; a later one moves a field only where it is strictly beyond, so a
// not-a-number is kept from the first result and never taken from a later one.
template <size_t N>
struct ValueTrackers {
    std::array<double, N> max, min;
    bool started = false;
    void feed(const std::array<double, N>& r)
    {
        if (!started) {
            max = min = r;
            started = true;
            return;
        }
        for (size_t i = 0; i < N; ++i) {
            if (r[i] > max[i])
                max[i] = r[i];
            if (r[i] < min[i])
                min[i] = r[i];
        }
    }
    // Not-a-number without perturbed analyses or where a tracker holds not-a-number.
    double error(size_t i, double base) const
    {
        if (!started || std::isnan(max[i]) || std::isnan(min[i]))
            return kNaN;
        return std::fmax(std::fabs(max[i] - base), std::fabs(min[i] - base));
    }
};

using Trackers = ValueTrackers<AnalysisResult::eCount>;

// Does nothing after an analysis.
struct NoFollowUp {
    void operator()(int, const AnalysisContext&, const AnalysisResult&) {}
};

// Runs the perturbed analyses (when the scan has two or more raw sweeps) and then the base
// one; returns the base result and its context, and fills the trackers. After each analysis
// followUp(which, context, result) runs, which = 0 ... 3 for the copies and -1 for the base.
template <typename Analyse, typename FollowUp = NoFollowUp>
AnalysisResult runWithErrors(ScanRecord& scan, const AnalysisContext& ctx0, const AnalysisCurve& base,
                             AnalysisContext& baseCtx, Trackers& tr, Analyse analyse,
                             FollowUp followUp = FollowUp())
{
    if (scan.accumulated.count() >= 2) {
        for (int which = 0; which < 4; ++which) {
            AnalysisContext c = ctx0;
            AnalysisResult r;
            analyse(c, perturbed(scan, base, which), r, scan.error); // success not looked at
            tr.feed(r.v);
            followUp(which, c, r);
        }
        scan.error.clear();
    }
    baseCtx = ctx0;
    AnalysisResult r;
    analyse(baseCtx, base, r, scan.error);
    followUp(-1, baseCtx, r);
    return r;
}

// One copy's analysis for the statistical estimate: success, its values and those of the
// opt-in analyses.
struct CopyResult {
    bool ok = false;
    AnalysisResult r;
    optin::Values extra;
    CopyResult() { extra.fill(kNaN); }
};

// The statistical errors: bootstrap::kCopies copies of the unsmoothed mean curve, each point
// moved by its own uncertainty of the mean, each analysed by analyseCopy(copy) -> CopyResult.
// Without two sweeps the deviations are unknown and so are the errors (no copies are made).
template <typename AnalyseCopy>
void scatterOfCopies(const ScanRecord& scan, const AnalysisCurve& base, bootstrap::Scatter<AnalysisResult::eCount>& sc,
                     bootstrap::Scatter<ResultRecord::eExtraCount>& extra, AnalyseCopy analyseCopy)
{
    const int N = scan.accumulated.count();
    if (N < 2)
        return;
    const CorrectedCurve& k = scan.corrected;
    bootstrap::NormalStream rng(bootstrap::curveSeed(k.V, k.I, k.stdV, k.stdI, N));
    for (int i = 0; i < bootstrap::kCopies; ++i) {
        const CopyResult c = analyseCopy(bootstrap::copy(base, k.stdV, k.stdI, N, rng));
        if (c.ok) {
            sc.add(c.r.v);
            extra.add(c.extra);
        } else {
            sc.addFailure();
            extra.addFailure();
        }
    }
}

// A density below zero is no density: not-a-number, with a message in the scan's error text.
void refuseNegativeDensities(ScanRecord& scan)
{
    ResultRecord& rec = scan.result;
    auto note = [&scan](const char* name, double v) {
        const QString line = QStringLiteral("%1 below zero (%2 m^-3): not reported.")
                                 .arg(QLatin1String(name))
                                 .arg(v, 0, 'g', 3);
        scan.error = scan.error.isEmpty() ? line : scan.error + QLatin1Char('\n') + line;
    };
    for (int pair : {int(ResultRecord::eNe), int(ResultRecord::eNi)}) {
        const double v = rec.value(pair);
        if (v < 0) {
            note(pair == ResultRecord::eNe ? "Ne" : "Ni", v);
            rec.setValue(pair, kNaN);
            rec.setError(pair, kNaN);
        }
    }
    if (rec.hasGroup(ResultRecord::eIonFitGroup) && rec.extra(ResultRecord::eNiFit) < 0) {
        note("Ni_fit", rec.extra(ResultRecord::eNiFit));
        rec.setExtra(ResultRecord::eNiFit, kNaN);
        rec.setExtra(ResultRecord::eNiFitError, kNaN);
    }
}

// Every result of an earlier analysis (or of the file the scan was read from) goes: the
// values of the new analysis must not stand beside stale ones.
void clearResults(ScanRecord& scan)
{
    scan.result = ResultRecord();
    scan.eepf.clear();
    scan.electronCurrent = TimedTrace();
    scan.fit = IvFit();
    scan.correctedDoubleProbe.clear();
}

} // namespace

namespace driver {

double plasmaResistance(const ScanRecord& scan, const LangmuirSettings& s,
                        const ScanAnalysisConfig& cfg)
{
    if (cfg.probeMode != eSingleProbe || cfg.useReferenceProbe || !s.correctDC)
        return 0.0;
    const int N = scan.dcInitScans.size();
    if (N <= 0 || N % 2 != 0)
        return 0.0;
    const TimedTrace& A = scan.dcInitScans.at(N / 2 - 1);
    const TimedTrace& B = scan.dcInitScans.last();
    const int nA = A.size(), nB = B.size();
    if (nA < 4 || nB < 3)
        return 0.0; // too short for the fixed fit samples
    LinearFit fa, fb;
    for (int i = nA - 4; i <= nA - 2; ++i)
        fa.add(A.current(i), A.voltage(i));
    for (int i = 0; i < 3; ++i)
        fb.add(B.current(i), B.voltage(i));
    const double iRef = A.current(nA - 1);
    double meanA = 0, meanB = 0;
    for (int i = 0; i < nA; ++i)
        meanA += A.current(i);
    for (int i = 0; i < nB; ++i)
        meanB += B.current(i);
    meanA /= nA;
    meanB /= nB;
    const double den = meanA - meanB;
    if (den == 0)
        return 0.0;
    const double r = ((fa.slope() * iRef + fa.intercept()) - (fb.slope() * iRef + fb.intercept())) / den;
    return std::isfinite(r) ? r : 0.0;
}

void prepare(ScanRecord& scan, const LangmuirSettings& s, const ScanAnalysisConfig& cfg)
{
    scan.plasmaResistance = plasmaResistance(scan, s, cfg);
    const AccumulatedTrace& acc = scan.accumulated;
    const int n = acc.pointCount();
    const int sc = std::max(0, s.startCrop), ec = std::max(0, s.endCrop);
    int m = n - sc - ec;
    if (m < 0)
        m = n;
    if (m == 0)
        return; // nothing accumulated: lists read from a file stay as they are
    CorrectedCurve& k = scan.corrected;
    k.V.resize(m);
    k.I.resize(m);
    k.stdV.resize(m);
    k.stdI.resize(m);
    const bool mach = cfg.probeMode == eMachProbe;
    const double R = scan.plasmaResistance + s.probeResistance;
    for (int i = 0; i < m; ++i) {
        const int j = sc + i;
        double V = acc.meanVoltage(j), I = acc.meanCurrent(j);
        double sV = acc.voltageDeviation(j);
        const double sI = acc.currentDeviation(j);
        if (!mach) {
            I += s.offsetCurrent;
            V -= R * I;
            sV += R * sI;
        }
        k.V[i] = V;
        k.I[i] = I;
        k.stdV[i] = sV;
        k.stdI[i] = sI;
    }
    if (cfg.useReferenceProbe) {
        int pos = -1;
        for (int q = m - 1 - ec; q > sc; --q)
            if (!(k.I.at(q) > 0)) {
                pos = q;
                break;
            }
        if (pos >= 0) {
            const double step = (cfg.voltageEnd - cfg.voltageStart) / n;
            const double nominal = cfg.voltageStart + (sc + pos) * step;
            const double shift = nominal - k.V.at(pos);
            for (double& v : k.V)
                v += shift;
        }
    }
}

QString singleProbe(ScanRecord& scan, const LangmuirSettings& s, const EepfTable& table, int mode)
{
    AnalysisContext ctx(s, mode);
    if (scan.corrected.V.isEmpty()) {
        scan.error = QStringLiteral("No Data");
        return scan.error;
    }
    clearResults(scan);
    const AnalysisCurve base = scan.correctedCurve();
    iv::determineIonRegion(ctx, base, scan.initScan, scan.ionCurrent[0], scan.ionCurrent[1]);
    scan.error.clear();

    // The noise-robust mode decides once, on the base curve; the ion region, the base
    // analysis and the EEPF then work on the analysis curve, the copies of the error
    // estimate under the same plan.
    const robust::Plan plan = robust::plan(ctx, base);
    if (plan.active)
        qDebug().noquote() << robust::describe(plan);
    const AnalysisCurve& analysed = plan.curve;
    if (plan.m > 0)
        iv::determineIonRegion(ctx, analysed, scan.initScan, scan.ionCurrent[0], scan.ionCurrent[1]);

    auto analyse = [&plan](AnalysisContext& c, const AnalysisCurve& curve, AnalysisResult& res, QString& err) {
        return robust::analyse(plan, c, curve, res, err);
    };
    AnalysisContext baseCtx;
    AnalysisResult r;
    optin::Values optBase{};
    QStringList optLines;
    const bool statistical = plan.active || s.statisticalErrors;
    Trackers tr;
    ValueTrackers<ResultRecord::eExtraCount> optTr;
    bootstrap::Scatter<AnalysisResult::eCount> sc;
    bootstrap::Scatter<ResultRecord::eExtraCount> optSc;
    if (statistical) {
        // The base analysis, then copies of the unsmoothed mean curve, each smoothed with the
        // base's width and analysed under its plan with the ion region found again on it.
        baseCtx = ctx;
        const bool ok = analyse(baseCtx, analysed, r, scan.error);
        if (optin::any(s))
            optBase = optin::run(baseCtx, base, r, &optLines);
        if (ok)
            scatterOfCopies(scan, base, sc, optSc, [&](const AnalysisCurve& copy) {
                CopyResult out;
                const AnalysisCurve curve = plan.m > 0 ? robust::smooth(copy, plan.m) : copy;
                AnalysisContext c(s, mode);
                iv::determineIonRegion(c, curve, scan.initScan, scan.ionCurrent[0], scan.ionCurrent[1]);
                QString err;
                out.ok = analyse(c, curve, out.r, err);
                if (out.ok && optin::any(s))
                    out.extra = optin::run(c, copy, out.r);
                return out;
            });
    } else {
        // The opt-in analyses follow each analysis on its unsmoothed curve (base, or base +-
        // the deviations); their values go to trackers of their own with the same rule.
        auto followUp = [&](int which, const AnalysisContext& c, const AnalysisResult& res) {
            if (!optin::any(s))
                return;
            if (which < 0)
                optBase = optin::run(c, base, res, &optLines);
            else
                optTr.feed(optin::run(c, perturbed(scan, base, which), res));
        };
        r = runWithErrors(scan, ctx, analysed, baseCtx, tr, analyse, followUp);
    }
    auto errorOf = [&](int f) { return statistical ? sc.error(size_t(f)) : tr.error(size_t(f), r[f]); };
    auto optErrorOf = [&](int k) {
        return statistical ? optSc.error(size_t(k)) : optTr.error(size_t(k), optBase[size_t(k)]);
    };
    for (const QString& line : optLines)
        qDebug().noquote() << line;
    ResultRecord& rec = scan.result;
    for (int pair = 0; pair < 10; ++pair) {
        const int f = kStoredValues[pair];
        rec.setValue(pair, r[f]);
        rec.setError(pair, errorOf(f));
    }
    rec.setValue(ResultRecord::eIsat, firstCurrentMagnitude(scan));
    if (optin::any(s))
        optin::store(rec, s, optBase, optErrorOf);
    refuseNegativeDensities(scan);
    scan.fit = IvFit::from(baseCtx, r);

    const double Vp = rec.value(ResultRecord::eVp);
    if (std::isfinite(Vp)) {
        const EepfResult e = eepf::compute(baseCtx, analysed, scan.corrected.stdI, Vp,
                                           r[AnalysisResult::eKTe], r[AnalysisResult::eJp], table);
        scan.eepf.energy = e.energy;
        scan.eepf.EEDF = e.eepf;
        scan.eepf.EEDF_error = e.errorUpper;
        scan.eepf.EEDF_low_error = e.errorLower;
        scan.electronCurrent = e.electronCurve;
        rec.setValue(ResultRecord::eEedfNe, e.ne);
        rec.setError(ResultRecord::eEedfNe, e.neError);
        if (e.hasMean) {
            rec.setValue(ResultRecord::eEedfAvgEnergy, e.avgEnergy);
            rec.setValue(ResultRecord::eEedfKTe, e.kTe);
        }
        if (e.hasMeanError) {
            rec.setError(ResultRecord::eEedfAvgEnergy, e.avgEnergyError);
            rec.setError(ResultRecord::eEedfKTe, e.kTeError);
        }
        // One sweep has no deviations: its EEPF errors are unknown, not 0.
        if (scan.accumulated.count() < 2)
            for (int pair : {ResultRecord::eEedfNe, ResultRecord::eEedfAvgEnergy, ResultRecord::eEedfKTe})
                rec.setError(pair, kNaN);
    }
    return scan.error;
}

QString doubleProbe(ScanRecord& scan, const LangmuirSettings& s, int mode)
{
    AnalysisContext ctx(s, mode);
    if (scan.corrected.V.isEmpty()) {
        scan.error = QStringLiteral("No Data");
        return scan.error;
    }
    clearResults(scan);
    scan.error.clear();
    const AnalysisCurve base = scan.correctedCurve();
    Trackers tr;
    bootstrap::Scatter<AnalysisResult::eCount> sc;
    bootstrap::Scatter<ResultRecord::eExtraCount> unused;
    AnalysisContext baseCtx;
    AnalysisResult r;
    if (s.statisticalErrors) {
        baseCtx = ctx;
        if (dp::analyse(baseCtx, base, r, scan.error))
            scatterOfCopies(scan, base, sc, unused, [&](const AnalysisCurve& copy) {
                CopyResult out;
                AnalysisContext c = ctx;
                QString err;
                out.ok = dp::analyse(c, copy, out.r, err);
                return out;
            });
    } else {
        r = runWithErrors(scan, ctx, base, baseCtx, tr, dp::analyse);
    }
    ResultRecord& rec = scan.result;
    const bool mach = mode == eMachProbe;
    auto store = [&](int pair, int field) {
        rec.setValue(pair, field >= 0 ? r[field] : kNaN);
        if (field >= 0)
            rec.setError(pair, s.statisticalErrors ? sc.error(size_t(field)) : tr.error(size_t(field), r[field]));
    };
    if (!mach) {
        for (int pair = 0; pair < 10; ++pair)
            store(pair, kStoredValues[pair]);
        rec.setValue(ResultRecord::eIsat, firstCurrentMagnitude(scan));
    } else {
        store(ResultRecord::eVp, -1);
        store(ResultRecord::eVf, AnalysisResult::eVf);
        store(ResultRecord::eKTe, AnalysisResult::eKTe);
        store(ResultRecord::eNi, AnalysisResult::eNi);
        store(ResultRecord::eMachNumber, AnalysisResult::eMach);
        store(ResultRecord::eVdrift, AnalysisResult::eVdrift);
        if (scan.accumulated.count() >= 2)
            rec.setValue(ResultRecord::eIsat, firstCurrentMagnitude(scan));
    }
    refuseNegativeDensities(scan);
    CorrectedCurve& cd = scan.correctedDoubleProbe;
    cd.V = scan.corrected.V;
    cd.stdV = scan.corrected.stdV;
    cd.stdI = scan.corrected.stdI;
    cd.I = dp::correctedCurrents(baseCtx, scan.corrected.V, scan.corrected.I, r[AnalysisResult::eVf]);
    return scan.error;
}

void analyseScan(ScanRecord& scan, const LangmuirSettings& s, const EepfTable& table,
                 const ScanAnalysisConfig& cfg)
{
    prepare(scan, s, cfg);
    switch (cfg.probeMode) {
    case eSingleProbe:
    case eSingleProbeWithReference:
    case eSphericalProbe:
        singleProbe(scan, s, table, cfg.probeMode);
        break;
    case eDoubleProbe:
    case eMachProbe:
        doubleProbe(scan, s, cfg.probeMode);
        break;
    default:
        clearResults(scan);
        scan.error = QStringLiteral("Unknown probe mode");
        break;
    }
    if (!scan.measurementAlert.isEmpty())
        scan.error = scan.error.isEmpty() ? scan.measurementAlert : scan.measurementAlert + QLatin1Char('\n') + scan.error;
}

} // namespace driver
