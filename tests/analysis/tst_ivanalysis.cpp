// Single-probe analysis on synthetic plasmas of known parameters, its failure messages,
// intersecting slopes and the knee search.
#include "IvAnalysis.h"
#include "SyntheticPlasma.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <random>

namespace {

// The mean curve of noisy sweeps of a known plasma.
AnalysisCurve meanCurve(const synth::SingleProbe& p, const synth::Sweep& s)
{
    const auto raw = synth::rawSweeps(p, s);
    AnalysisCurve c;
    const int n = s.points;
    for (int i = 0; i < n; ++i) {
        double v = 0, cur = 0;
        for (const auto& r : raw) {
            v += r[i];
            cur += r[n + i];
        }
        c.append(cur / raw.size(), v / raw.size());
    }
    return c;
}

double trueVf(const synth::SingleProbe& p)
{
    double lo = p.Vp - 60 * p.kTe, hi = p.Vp;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (p.current(mid) < 0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

struct Run {
    bool ok;
    QString err;
    AnalysisResult r;
};

Run analyse(const AnalysisCurve& c, const LangmuirSettings& s = LangmuirSettings(), int mode = 0,
            double readingI = 0, double readingV = 0)
{
    AnalysisContext ctx(s, mode);
    iv::determineIonRegion(ctx, c, IvTrace(), readingI, readingV);
    Run run;
    run.ok = iv::analyse(ctx, c, run.r, run.err);
    return run;
}

AnalysisCurve fromPairs(std::initializer_list<std::pair<double, double>> vi)
{
    AnalysisCurve c;
    for (const auto& p : vi)
        c.append(p.second, p.first);
    return c;
}

} // namespace

Q_DECLARE_METATYPE(AnalysisCurve)

class TestIvAnalysis : public QObject {
    Q_OBJECT
private slots:
    // Accuracy reached over temperatures and densities with 1 % current noise, 5 sweeps of
    // 400 points from -60 V to Vp + 8 kTe. Ni rests on a collisional ion model that differs
    // from the generator's collisionless OML ions; its bounds are what the model gives.
    void accuracyGrid_data()
    {
        QTest::addColumn<double>("kTe");
        QTest::addColumn<double>("ne");
        QTest::addColumn<bool>("spherical");
        for (double kTe : {1.0, 2.0, 3.0, 5.0, 8.0})
            for (double ne : {1e15, 1e16, 1e17})
                QTest::newRow(qPrintable(QString("cylinder %1 eV %2").arg(kTe).arg(ne)))
                    << kTe << ne << false;
        for (double kTe : {2.0, 5.0})
            QTest::newRow(qPrintable(QString("sphere %1 eV").arg(kTe))) << kTe << 1e16 << true;
    }

    void accuracyGrid()
    {
        QFETCH(double, kTe);
        QFETCH(double, ne);
        QFETCH(bool, spherical);
        synth::SingleProbe p;
        p.kTe = kTe;
        p.ne = ne;
        p.Vp = 5;
        p.spherical = spherical;
        synth::Sweep s;
        s.vStart = -60;
        s.vEnd = p.Vp + 8 * kTe;
        s.relativeNoise = 0.01;
        s.currentNoise = 1e-7;
        s.seed = 3;
        const Run run = analyse(meanCurve(p, s), LangmuirSettings(), spherical ? eSphericalProbe : 0);
        QVERIFY2(run.ok, qPrintable(run.err));
        const AnalysisResult& r = run.r;
        QVERIFY2(qAbs(r[AnalysisResult::eKTe] / kTe - 1) < 0.07, qPrintable(QString::number(r[AnalysisResult::eKTe])));
        QVERIFY2(qAbs(r[AnalysisResult::eVp] - p.Vp) < qMax(0.1, 0.03 * kTe), qPrintable(QString::number(r[AnalysisResult::eVp])));
        QVERIFY(qAbs(r[AnalysisResult::eVf] - trueVf(p)) < 0.05);
        QVERIFY2(qAbs(r[AnalysisResult::eNe] / ne - 1) < 0.03, qPrintable(QString::number(r[AnalysisResult::eNe])));
        QVERIFY(r[AnalysisResult::eVpmax] < r[AnalysisResult::eVsat]);
        const double ni = r[AnalysisResult::eNi] / ne;
        QVERIFY2(ni > 0.2 && ni < 2.5, qPrintable(QString::number(ni)));
        QVERIFY(r[AnalysisResult::eLdebye] > 0);
        if (spherical) { // no collisional correction factor for a sphere
            const double e = physics::kElementaryCharge;
            const double M = AnalysisContext(LangmuirSettings(), 4).ionMassKg;
            QCOMPARE(r[AnalysisResult::eNi],
                     r[AnalysisResult::eJp] / (e * std::sqrt(e * r[AnalysisResult::eKTe] / (2 * physics::kPi * M))));
        }
        QCOMPARE(r[AnalysisResult::eIsat], -r[AnalysisResult::eJp] * AnalysisContext(LangmuirSettings(), spherical ? 4 : 0).areaTotal);
    }

    // The iteration skips passes that repeat earlier states; every result and message must
    // be bit-for-bit those of running all 100 passes.
    void skippedPassesChangeNothing()
    {
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> u(0, 1);
        int compared = 0;
        for (int trial = 0; trial < 60; ++trial) {
            synth::SingleProbe p;
            p.kTe = 0.8 + 7 * u(rng);
            p.ne = std::pow(10.0, 14.5 + 3 * u(rng));
            p.Vp = -5 + 15 * u(rng);
            synth::Sweep s;
            s.vStart = p.Vp - 40 - 20 * u(rng);
            s.vEnd = p.Vp + (2 + 8 * u(rng)) * p.kTe;
            s.points = 100 + int(500 * u(rng));
            s.relativeNoise = 0.03 * u(rng);
            s.currentNoise = 1e-7;
            s.seed = trial;
            const AnalysisCurve c = meanCurve(p, s);
            LangmuirSettings set;
            set.bUseUserVp = trial % 7 == 3;
            AnalysisContext fast(set, 0);
            iv::determineIonRegion(fast, c, IvTrace(), 0, 0);
            AnalysisContext slow = fast;
            slow.skipRepeatedPasses = false;
            AnalysisResult rf, rs;
            QString ef, es;
            const bool okf = iv::analyse(fast, c, rf, ef), oks = iv::analyse(slow, c, rs, es);
            QCOMPARE(okf, oks);
            QCOMPARE(ef, es);
            QVERIFY(std::memcmp(rf.v.data(), rs.v.data(), sizeof(double) * rf.v.size()) == 0);
            QVERIFY(fast.A == slow.A && fast.B == slow.B && fast.C == slow.C && fast.D == slow.D);
            compared += okf;
            // The electron current on demand against the whole curve computed plainly: the
            // same up to the rounding of pow against exp(log).
            AnalysisContext plain = slow;
            plain.referenceElectronCurve = true;
            AnalysisResult rp;
            QString ep;
            QCOMPARE(iv::analyse(plain, c, rp, ep), oks);
            QCOMPARE(ep, es);
            for (int i = 0; i < AnalysisResult::eCount; ++i)
                QVERIFY2(rs[i] == rp[i] || (std::isnan(rs[i]) && std::isnan(rp[i]))
                             || qAbs(rs[i] - rp[i]) <= 1e-9 * qAbs(rp[i]),
                         qPrintable(QString("field %1: %2 vs %3").arg(i).arg(rs[i], 0, 'g', 17).arg(rp[i], 0, 'g', 17)));
        }
        QVERIFY(compared > 40);
    }

    void secondDerivativeMethodFindsVp()
    {
        synth::SingleProbe p;
        synth::Sweep s;
        s.points = 800;
        LangmuirSettings set;
        set.bUse2ndDerivativeZeroVp = true;
        const Run run = analyse(meanCurve(p, s), set);
        QVERIFY2(run.ok, qPrintable(run.err));
        QVERIFY(run.err.isEmpty());
        // The zero of the smoothed second derivative lies a little below the kink at Vp.
        QVERIFY2(qAbs(run.r[AnalysisResult::eVp] - p.Vp) < 0.4, qPrintable(QString::number(run.r[AnalysisResult::eVp])));
        QVERIFY(run.r[AnalysisResult::eVp] != run.r[AnalysisResult::eVpmax]);
        QVERIFY(qAbs(run.r[AnalysisResult::eKTe] / p.kTe - 1) < 0.05);
    }

    void secondDerivativeFallsBackToVpmax_data()
    {
        QTest::addColumn<double>("vEnd");
        QTest::addColumn<int>("window");
        QTest::addColumn<QString>("message");
        // Steepest slope at the last entry of a one-sample window: no room for the window.
        QTest::newRow("window") << 5.0 << 1
                                << "Not enough data collected around Vp to reliably perform zero-crossing of 2nd Derivative.";
        // Vpmax one volt before the end: the second derivative starts negative.
        QTest::newRow("points") << 6.0 << 3 << "Not enough points in 2nd Derivative analysed.";
    }

    void secondDerivativeFallsBackToVpmax()
    {
        QFETCH(double, vEnd);
        QFETCH(int, window);
        QFETCH(QString, message);
        synth::SingleProbe p;
        synth::Sweep s;
        s.vEnd = vEnd;
        s.points = 200;
        LangmuirSettings set;
        set.bUse2ndDerivativeZeroVp = true;
        set.nDerivativePoints = window;
        const Run run = analyse(meanCurve(p, s), set);
        QCOMPARE(run.err, message);
        QCOMPARE(run.r[AnalysisResult::eVp], run.r[AnalysisResult::eVpmax]);
    }

    void failureMessages_data()
    {
        QTest::addColumn<AnalysisCurve>("curve");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << AnalysisCurve() << "No data.";
        QTest::newRow("falling voltage anywhere")
            << fromPairs({{-3, -1e-4}, {-2, -1e-4}, {-2.5, 1e-3}, {0, 1e-2}})
            << "IV scan data must have ascending voltages.";
        QTest::newRow("all negative") << fromPairs({{-3, -3e-4}, {-2, -2e-4}, {-1, -1e-4}})
                                      << "Data only contains negative current data";
        QTest::newRow("all positive") << fromPairs({{-3, 1e-4}, {-2, 2e-4}, {-1, 3e-4}})
                                      << "Data only contains positive current data";
        // Values that are not numbers would cut the searches short: no data to analyse.
        QTest::newRow("crossing through nan")
            << fromPairs({{-3, -1e-4}, {-2, qQNaN()}, {-1, 1e-3}, {0, qQNaN()}}) << "No data.";
        QTest::newRow("nan voltage")
            << fromPairs({{-3, -1e-4}, {-2, -1e-4}, {qQNaN(), 1e-4}, {1, 1e-3}, {2, 1e-2}}) << "No data.";
        QTest::newRow("infinite current")
            << fromPairs({{-3, -1e-4}, {-2, -1e-4}, {-1, 1e-4}, {1, qInf()}, {2, 1e-2}}) << "No data.";
        QTest::newRow("infinite voltage at the end")
            << fromPairs({{-3, -1e-4}, {-2, -1e-4}, {-1, 1e-4}, {1, 1e-3}, {qInf(), 1e-2}}) << "No data.";
        // Electron current never exceeds the mean ion current.
        AnalysisCurve weak;
        for (int v = -100; v <= 20; ++v)
            weak.append(v < 0 ? -1e-4 : 5e-5, v);
        QTest::newRow("nothing above ion current") << weak << "Unable to find Vp.";
        // A cluster of samples at one voltage below Vpmax makes the retarding fit flat:
        // kTe = 0 fails like a negative one instead of giving infinite densities.
        AnalysisCurve flat;
        for (int v = -100; v < 0; ++v)
            flat.append(-1e-4, v);
        for (int j = 0; j < 10; ++j)
            flat.append(1e-5 * std::pow(2.0, j), 0);
        for (int j = 1; j <= 30; ++j)
            flat.append(5e-3, 0.01 * j);
        QTest::newRow("kTe exactly zero") << flat << "Error while calculating kTe from slope";
    }

    // The kTe step of the ion-current iteration fails in a later pass (a reading 100 times
    // the true ion current): the result keeps the values of the last accepted pass, which
    // belong together (the Debye length of that pass follows from the kTe and Ne reported).
    void kTeIntegralFailureKeepsTheLastPass()
    {
        synth::SingleProbe p;
        p.kTe = 2;
        p.ne = 1e16;
        synth::Sweep s;
        s.relativeNoise = 0.05;
        s.currentNoise = 1e-6;
        s.seed = 3;
        s.vStart = -60;
        s.vEnd = p.Vp + 8 * p.kTe;
        const Run run = analyse(meanCurve(p, s), LangmuirSettings(), 0, 100 * p.ionCurrent(-40), -40);
        QVERIFY(!run.ok);
        QCOMPARE(run.err, QString("Error while calculating kTe from Ie integral"));
        const double kTe = run.r[AnalysisResult::eKTe], Ne = run.r[AnalysisResult::eNe];
        const double Jp = run.r[AnalysisResult::eJp], Ld = run.r[AnalysisResult::eLdebye];
        for (double v : {run.r[AnalysisResult::eVp], kTe, run.r[AnalysisResult::eJe], Ne, Jp, Ld})
            QVERIFY(std::isfinite(v) && v != 0);
        QVERIFY(qAbs(Ld / (physics::kDebyeFactor * std::sqrt(kTe / Ne)) - 1) < 1e-12);
        QCOMPARE(run.r[AnalysisResult::eIsat], -Jp * AnalysisContext(LangmuirSettings(), 0).areaTotal);
        QVERIFY(std::isnan(run.r[AnalysisResult::eNi])); // not reached
    }

    void failureMessages()
    {
        QFETCH(AnalysisCurve, curve);
        QFETCH(QString, message);
        const Run run = analyse(curve);
        QVERIFY(!run.ok);
        QCOMPARE(run.err, message);
        for (int i = 0; i < AnalysisResult::eCount; ++i)
            QVERIFY(!std::isinf(run.r[i]));
    }

    void ascendingCheckLogsItsLine()
    {
        QTest::ignoreMessage(QtDebugMsg, "2Found wrong voltage after 2");
        analyse(fromPairs({{-3, -1e-4}, {-2, -1e-4}, {-2.5, 1e-3}}));
    }

    void intersectingSlopesMessages()
    {
        // Exponential retarding region then a sqrt saturation: a clean intersection.
        AnalysisCurve c;
        for (int i = 0; i <= 80; ++i) {
            const double v = -10 + 0.25 * i;
            c.append(v < 5 ? std::exp((v - 5) / 2) : std::sqrt(1 + (v - 5) / 2), v);
        }
        QString err;
        const double vp = iv::intersectingSlopes(4.5, 6, 2, 0, c, err);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QVERIFY(qAbs(vp - 5) < 0.3);

        err.clear();
        QCOMPARE(iv::intersectingSlopes(9.9, 10, 2, 0, c, err), 9.9);
        QCOMPARE(err, QString("Not enough data collected around Vp to perform intersecting slopes."));

        // Falling retarding region: its slope is negative.
        AnalysisCurve down = c;
        for (int i = 0; i < down.size(); ++i)
            if (down.points[i].voltage < 4.5)
                down.points[i].current = std::exp(-down.points[i].voltage);
        err.clear();
        QCOMPARE(iv::intersectingSlopes(4.5, 6, 2, 0, down, err), 4.5);
        QCOMPARE(err, QString("Found negative slope IV curve. Unable to perform intersecting slopes."));

        // A flat retarding region: slope 0 is refused the same way (no division by zero).
        AnalysisCurve level = c;
        for (int i = 0; i < level.size(); ++i)
            if (level.points[i].voltage <= 4.5)
                level.points[i].current = 0.1;
        err.clear();
        QCOMPARE(iv::intersectingSlopes(4.5, 6, 2, 0, level, err), 4.5);
        QCOMPARE(err, QString("Found negative slope IV curve. Unable to perform intersecting slopes."));

        // Saturation far above the retarding line: the estimate falls below Vpmax - kTe.
        AnalysisCurve high = c;
        for (int i = 0; i < high.size(); ++i)
            if (high.points[i].voltage > 4.5)
                high.points[i].current = 1e-12;
        err.clear();
        QCOMPARE(iv::intersectingSlopes(4.5, 6, 2, 0, high, err), 4.5);
        QCOMPARE(err, QString("Failed to find Vp with Intersecting slopes."));

        // A saturation current that is not a number gives a non-finite estimate: refused.
        AnalysisCurve bad = c;
        for (int i = 0; i < bad.size(); ++i)
            if (bad.points[i].voltage > 6)
                bad.points[i].current = -1;
        err.clear();
        QCOMPARE(iv::intersectingSlopes(4.5, 6, 2, 0, bad, err), 4.5);
        QCOMPARE(err, QString("Failed to find Vp with Intersecting slopes."));
    }

    void ionRegionSources()
    {
        LangmuirSettings s;
        AnalysisContext ctx(s, 0);
        AnalysisCurve c = fromPairs({{-100, -2e-4}, {-90, -2e-4}, {-50, -1e-4}, {0, 1e-3}});
        iv::determineIonRegion(ctx, c, IvTrace(), -3e-4, -40);
        QCOMPARE(ctx.isatIntegral, -3e-4);
        QCOMPARE(ctx.ionRegionLow, -41.0);
        QCOMPARE(ctx.ionRegionHigh, -40.0);
        iv::determineIonRegion(ctx, c, IvTrace(), 0, 0);
        QCOMPARE(ctx.ionRegionLow, -90.0);
        QCOMPARE(ctx.ionRegionHigh, -60.0);
        QCOMPARE(ctx.isatIntegral, curve::integral(c, -90, -60));
        QCOMPARE(ctx.meanIonCurrent(), qAbs(ctx.isatIntegral) / 30);
        AnalysisCurve late = fromPairs({{-55, -1e-4}, {-50, -1e-4}, {0, 1e-3}});
        AnalysisCurve init = fromPairs({{-100, -1e-4}, {-50, -1e-4}});
        iv::determineIonRegion(ctx, late, init, 0, 0);
        QCOMPARE(ctx.ionRegionLow, -100.0);
        QCOMPARE(ctx.isatIntegral, -40 * 1e-4);
        iv::determineIonRegion(ctx, late, IvTrace(), 0, 0);
        QCOMPARE(ctx.ionRegionLow, -50.0);
        QCOMPARE(ctx.ionRegionHigh, -49.0);
        QCOMPARE(ctx.isatIntegral, -1e-4);
    }

    void ionRegionWithinOneVoltLeavesNiUndefined()
    {
        synth::SingleProbe p;
        synth::Sweep s;
        const AnalysisCurve c = meanCurve(p, s);
        // Reading at 0.5 V: the region [-0.5, 0.5] truncates to [0, 0): no correction voltage.
        const Run run = analyse(c, LangmuirSettings(), 0, p.ionCurrent(0.5) - 1e-6, 0.5);
        QVERIFY(std::isnan(run.r[AnalysisResult::eNi]));
    }

    void userVpSkipsRefinement()
    {
        synth::SingleProbe p;
        synth::Sweep s;
        s.relativeNoise = 0.01;
        const AnalysisCurve c = meanCurve(p, s);
        LangmuirSettings user;
        user.bUseUserVp = true;
        const Run refined = analyse(c), fixed = analyse(c, user);
        QVERIFY(refined.ok && fixed.ok);
        // Without refinement Vp stays the first intersecting-slopes estimate.
        QVERIFY(fixed.r[AnalysisResult::eVp] != refined.r[AnalysisResult::eVp]);
        QVERIFY(qAbs(fixed.r[AnalysisResult::eVp] - p.Vp) < 0.5);
    }

    void kneeSearch()
    {
        synth::SingleProbe p;
        synth::Sweep s;
        s.sweeps = 1;
        const AnalysisCurve c = meanCurve(p, s);
        const iv::KneeResult k = iv::kneeSearch(c, 1e-3, 3);
        QVERIFY(k.ok && k.vfFound);
        QVERIFY(qAbs(k.Vf - trueVf(p)) < 0.1);
        QVERIFY(k.knee > k.Vf);
        // A limit above every current: knee at the last voltage, not found.
        const iv::KneeResult high = iv::kneeSearch(c, 1.0, 3);
        QVERIFY(!high.ok);
        QCOMPARE(high.knee, c.voltage(c.size() - 1));
        // No crossing: Vf is the first voltage and the result is false.
        const iv::KneeResult none = iv::kneeSearch(fromPairs({{0, 1e-3}, {1, 2e-3}, {2, 4e-3}}), 1e-4, 1);
        QVERIFY(!none.vfFound && !none.ok);
        QCOMPARE(none.Vf, 0.0);
        QVERIFY(!iv::kneeSearch(AnalysisCurve(), 1, 1).ok);
    }
};

QTEST_GUILESS_MAIN(TestIvAnalysis)
#include "tst_ivanalysis.moc"
