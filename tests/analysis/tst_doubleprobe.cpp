// Double- and Mach-probe analysis on tanh characteristics of known temperature and asymmetry.
#include "DoubleProbe.h"
#include "SyntheticPlasma.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

AnalysisCurve sample(const synth::TwoTipProbe& p, double from, double to, double step)
{
    AnalysisCurve c;
    const int n = int(std::lround((to - from) / step));
    for (int i = 0; i <= n; ++i) {
        const double v = from + i * step;
        c.append(p.current(v), v);
    }
    return c;
}

struct Run {
    bool ok;
    QString err;
    AnalysisResult r;
    AnalysisContext ctx;
};

Run analyse(const AnalysisCurve& c, int mode, LangmuirSettings s = LangmuirSettings())
{
    Run run{false, QString(), AnalysisResult(), AnalysisContext(s, mode)};
    run.ok = dp::analyse(run.ctx, c, run.r, run.err);
    return run;
}

// The symmetry point as the plain form finds it: every derivative entry summed afresh
// (quadratic), the first of the largest slopes.
int slowSteepest(const AnalysisCurve& c, int k, double& centre)
{
    const TimedTrace D = curve::derivative(c, k);
    if (D.isEmpty())
        return -1;
    int best = 0;
    for (int j = 1; j < D.size(); ++j)
        if (D.current(j) > D.current(best))
            best = j;
    centre = D.voltage(best);
    return best;
}

// A noisy two-tip characteristic of n points, seeded.
AnalysisCurve noisyCurve(int n, std::uint64_t seed, double noise, double offsetI)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    synth::TwoTipProbe p;
    p.iUp = 1.3e-4;
    p.V0 = 2.5;
    p.sheathSlope = 3e-7;
    AnalysisCurve c;
    for (int i = 0; i < n; ++i) {
        const double v = -45 + 90.0 * i / (n - 1) + 0.01 * gauss(rng);
        c.append(p.current(v) + offsetI + noise * gauss(rng), v);
    }
    std::sort(c.points.begin(), c.points.end(),
              [](const IvPoint& a, const IvPoint& b) { return a.voltage < b.voltage; });
    return c;
}

} // namespace

Q_DECLARE_METATYPE(AnalysisCurve)

class TestDoubleProbe : public QObject {
    Q_OBJECT
private slots:
    void centredTanh()
    {
        synth::TwoTipProbe p; // 3 eV, 1e-4 A both sides, centred at (0 V, 0 A)
        const Run run = analyse(sample(p, -30, 30, 1.0), eDoubleProbe);
        QVERIFY2(run.ok, qPrintable(run.err));
        QVERIFY(qAbs(run.ctx.V0) < 1e-12);
        QVERIFY(qAbs(run.ctx.I0) < 1e-18);
        // Vf comes from the segment that holds the crossing, not from the one before it.
        QVERIFY2(qAbs(run.r[AnalysisResult::eVf]) < 1e-12, qPrintable(QString::number(run.r[AnalysisResult::eVf])));
        QVERIFY(qAbs(run.r[AnalysisResult::eKTe] / 3 - 1) < 0.01);
        QVERIFY(qAbs(run.ctx.slopeLeft) < 1e-3 * p.iUp);
        QVERIFY(qAbs(run.ctx.slopeRight) < 1e-3 * p.iUp);
        QVERIFY2(qAbs(run.r[AnalysisResult::eIsat] / -1e-4 - 1) < 5e-3, qPrintable(QString::number(run.r[AnalysisResult::eIsat])));
        // Jp, Ni and the Debye length follow from Isat and kTe through the Bohm flux.
        const double Jp = 1e-4 / run.ctx.areaTotal;
        QVERIFY(qAbs(run.r[AnalysisResult::eJp] / Jp - 1) < 5e-3);
        QVERIFY(run.r[AnalysisResult::eNi] > 0 && run.r[AnalysisResult::eLdebye] > 0);
        QVERIFY(std::isnan(run.r[AnalysisResult::eMach]));
    }

    void sheathSlopesAndOffset_data()
    {
        QTest::addColumn<double>("kTe");
        QTest::addColumn<double>("V0");
        QTest::addColumn<double>("slope");
        QTest::newRow("2 eV, slopes") << 2.0 << 0.0 << 2e-7;
        QTest::newRow("4 eV, shifted") << 4.0 << 3.3 << 0.0;
        QTest::newRow("6 eV, shifted, slopes") << 6.0 << -2.1 << 5e-7;
    }

    void sheathSlopesAndOffset()
    {
        QFETCH(double, kTe);
        QFETCH(double, V0);
        QFETCH(double, slope);
        synth::TwoTipProbe p;
        p.kTe = kTe;
        p.V0 = V0;
        p.sheathSlope = slope;
        const Run run = analyse(sample(p, -60, 60, 0.3), eDoubleProbe);
        QVERIFY2(run.ok, qPrintable(run.err));
        QVERIFY2(qAbs(run.r[AnalysisResult::eKTe] / kTe - 1) < 0.03, qPrintable(QString::number(run.r[AnalysisResult::eKTe])));
        QVERIFY(qAbs(run.r[AnalysisResult::eVf] - V0) < 0.05);
        QVERIFY(qAbs(run.ctx.slopeLeft - slope) < 0.1 * slope + 1e-8);
        QVERIFY(qAbs(run.ctx.slopeRight - slope) < 0.1 * slope + 1e-8);
        QVERIFY(qAbs(run.r[AnalysisResult::eIsat] / -1e-4 - 1) < 0.02);
    }

    void machNumberFromUpDownRatio_data()
    {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<double>("kfactor");
        QTest::newRow("equal") << 1.0 << 1.34;
        QTest::newRow("e, k 1.34") << std::exp(1.0) << 1.34;
        QTest::newRow("1/3, k 2") << 1.0 / 3 << 2.0;
    }

    void machNumberFromUpDownRatio()
    {
        QFETCH(double, ratio);
        QFETCH(double, kfactor);
        synth::TwoTipProbe p;
        p.iDown = 1e-4;
        p.iUp = 1e-4 * ratio;
        LangmuirSettings s;
        s.kfactor = kfactor;
        const Run run = analyse(sample(p, -40, 40, 0.2), eMachProbe, s);
        QVERIFY2(run.ok, qPrintable(run.err));
        const double M = run.r[AnalysisResult::eMach];
        QVERIFY2(qAbs(M - std::log(ratio) / kfactor) < 2e-3, qPrintable(QString::number(M)));
        const double u = std::sqrt(physics::kElementaryCharge * run.r[AnalysisResult::eKTe] / run.ctx.ionMassKg);
        QVERIFY(qAbs(run.r[AnalysisResult::eVdrift] - u * M) <= 1e-9 * u);
        const double ni = (0.5 * (p.iUp + p.iDown)) / (physics::kElementaryCharge * run.ctx.areaTotal * u);
        QVERIFY(qAbs(run.r[AnalysisResult::eNi] / ni - 1) < 0.01);
        QVERIFY(std::isnan(run.r[AnalysisResult::eJp]));
    }

    void machWithOneSideDarkHasNoNumber()
    {
        // The downstream tip collects nothing at all: a ramp from 0 to 2 A (exact in binary).
        AnalysisCurve c;
        for (int v = -20; v <= 20; ++v)
            c.append(v <= -2 ? 0.0 : v >= 2 ? 2.0 : (v + 2) / 2.0, v);
        const Run run = analyse(c, eMachProbe);
        QVERIFY2(run.ok, qPrintable(run.err));
        QCOMPARE(run.ctx.I0, 1.0);
        for (int i = 0; i < AnalysisResult::eCount; ++i)
            QVERIFY(!std::isinf(run.r[i]));
        QVERIFY(std::isnan(run.r[AnalysisResult::eMach]));
        QVERIFY(std::isnan(run.r[AnalysisResult::eVdrift]));
    }

    void failures()
    {
        QCOMPARE(analyse(AnalysisCurve(), eDoubleProbe).err, QString("No data."));
        // Too short for the symmetry-point derivative.
        synth::TwoTipProbe p;
        const Run shortRun = analyse(sample(p, -2, 1, 1), eMachProbe);
        QVERIFY(!shortRun.ok);
        QCOMPARE(shortRun.err, QString("No data."));
        // A derivative window longer than the curve allows: no second derivative.
        LangmuirSettings wide;
        wide.nDerivativePoints = 40;
        const Run noD2 = analyse(sample(p, -30, 30, 1), eDoubleProbe, wide);
        QCOMPARE(noD2.err, QString("No data."));
        // Flat current: no saturation to normalise by, so no tanh points.
        AnalysisCurve flat;
        for (int v = -20; v <= 20; ++v)
            flat.append(1e-5, v);
        const Run f = analyse(flat, eDoubleProbe);
        QCOMPARE(f.err, QString("Error while calculating kTe from slope"));
        QVERIFY(std::isnan(f.r[AnalysisResult::eKTe]));
        AnalysisCurve down = sample(p, -10, 10, 1);
        down.points[5].voltage = 100;
        QTest::ignoreMessage(QtDebugMsg, "Found wrong voltage after 6");
        QCOMPARE(analyse(down, eDoubleProbe).err, QString("IV scan data must have ascending voltages."));
        QTest::ignoreMessage(QtDebugMsg, "1Found wrong voltage after 6");
        QCOMPARE(analyse(down, eMachProbe).err, QString("IV scan data must have ascending voltages."));
    }

    void branchWalksStayInsideTheDerivative()
    {
        // A window so wide that every derivative entry lies left of V0: the left walk ends
        // at the list's end instead of reading past it.
        synth::TwoTipProbe p;
        LangmuirSettings s;
        s.nDerivativePoints = 50;
        AnalysisCurve c;
        for (int i = 0; i < 120; ++i) {
            const double v = -10 + 0.2 * i;
            c.append(std::exp(v / 3) * 1e-6, v); // steepest at the end
        }
        const Run run = analyse(c, eDoubleProbe, s);
        QVERIFY(!run.ok || std::isfinite(run.r[AnalysisResult::eKTe]));
    }

    // The sliding symmetry-point search picks the same entry, with the same centre voltage to
    // the bit, as the plain quadratic one.
    void symmetryPointMatchesThePlainForm_data()
    {
        QTest::addColumn<AnalysisCurve>("curve");
        for (int n : {5, 6, 11, 57, 400, 2001, 10007})
            for (std::uint64_t seed : {1u, 2u, 3u})
                QTest::addRow("noisy n=%d seed=%d", n, int(seed)) << noisyCurve(n, seed, 2e-6, 0);
        QTest::newRow("offset current") << noisyCurve(3000, 9, 1e-7, 5e-3);
        // Exactly antisymmetric: the two central entries tie, the first must win.
        for (int n : {60, 61, 600, 601})
            QTest::addRow("symmetric n=%d", n) << sample(synth::TwoTipProbe(), -30, 30, 60.0 / (n - 1));
        AnalysisCurve straight; // every slope equal to within rounding
        for (int i = 0; i < 5000; ++i)
            straight.append(1e-6 * i - 2.5e-3, -25 + 0.01 * i);
        QTest::newRow("straight line") << straight;
        AnalysisCurve stuck; // long runs at one voltage: windows with no voltage difference
        for (int i = 0; i < 500; ++i)
            stuck.append(1e-6 * i, i < 300 ? -10.0 : -10 + 0.1 * (i - 299));
        QTest::newRow("stuck voltage") << stuck;
    }

    void symmetryPointMatchesThePlainForm()
    {
        QFETCH(AnalysisCurve, curve);
        const int k = curve.size() / 5;
        double slow = 0, fast = 0;
        const int iSlow = slowSteepest(curve, k, slow);
        const int iFast = dp::steepestEntry(curve, k, fast);
        if (QByteArray(QTest::currentDataTag()) == "straight line") {
            // Slopes equal to rounding: any of them is the steepest to the data's precision.
            const TimedTrace D = curve::derivative(curve, k);
            QVERIFY(iFast >= 0 && iFast < D.size());
            QVERIFY(qAbs(D.current(iFast) / D.current(iSlow) - 1) < 1e-12);
            QCOMPARE(fast, D.voltage(iFast));
            return;
        }
        QCOMPARE(iFast, iSlow);
        if (iSlow >= 0)
            QVERIFY(std::memcmp(&slow, &fast, sizeof slow) == 0);
        if (curve.size() >= 5 && std::isfinite(slow)) {
            const Run run = analyse(curve, eDoubleProbe);
            QVERIFY(std::memcmp(&run.ctx.V0, &slow, sizeof slow) == 0);
            QCOMPARE(run.ctx.I0, curve::currentAt(curve, slow));
        }
    }

    void correctedCurve()
    {
        AnalysisContext ctx(LangmuirSettings(), eDoubleProbe);
        ctx.slopeLeft = 2;
        ctx.slopeRight = 3;
        ctx.I0 = 0.5;
        const QVector<double> out = dp::correctedCurrents(ctx, {-2, -1, 0, 1}, {10, 10, 10, 10}, -0.5);
        QCOMPARE(out, (QVector<double>{10 - (-1.5) * 2 - 0.5, 10 - (-0.5) * 2 - 0.5,
                                       10 - 0.5 * 3 - 0.5, 10 - 1.5 * 3 - 0.5}));
    }
};

QTEST_GUILESS_MAIN(TestDoubleProbe)
#include "tst_doubleprobe.moc"
