// Double- and Mach-probe analysis on tanh characteristics of known temperature and asymmetry.
#include "DoubleProbe.h"
#include "SyntheticPlasma.h"

#include <QtTest>
#include <cmath>

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

} // namespace

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
