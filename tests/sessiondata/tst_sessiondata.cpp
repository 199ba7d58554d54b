// Session data: running sums, grouping, preparation of the corrected curve, the analysis
// drivers with their perturbed-error estimate, and parallel re-analysis.
#include "DataAnalyzer.h"
#include "DoubleProbe.h"
#include "IvAnalysis.h"
#include "SyntheticPlasma.h"

#include <QtTest>
#include <cmath>

namespace {

template <typename Probe>
ScanRecord scanOf(const Probe& p, synth::Sweep s)
{
    ScanRecord scan;
    scan.scanType = ScanRecord::eOtherRun;
    for (const auto& raw : synth::rawSweeps(p, s))
        scan.accumulated.add(raw.constData(), s.points);
    return scan;
}

ScanRecord typed(int type, double pos, double time)
{
    ScanRecord s;
    s.scanType = type;
    s.position = pos;
    s.temporalPosition = time;
    return s;
}

TimedTrace line(double slopeVperA, double offsetV, int n, double i0, double di)
{
    TimedTrace t;
    for (int i = 0; i < n; ++i) {
        const double c = i0 + i * di;
        t.append(c, offsetV + slopeVperA * c);
    }
    return t;
}

// The curve moved by its standard deviations: 0 current up, 1 down, 2
// voltage up, 3 down; any other `which` leaves it.
AnalysisCurve perturbed(AnalysisCurve c, const ScanRecord& scan, int which)
{
    for (int i = 0; i < c.size(); ++i) {
        if (which == 0) c.points[i].current += scan.corrected.stdI[i];
        if (which == 1) c.points[i].current -= scan.corrected.stdI[i];
        if (which == 2) c.points[i].voltage += scan.corrected.stdV[i];
        if (which == 3) c.points[i].voltage -= scan.corrected.stdV[i];
    }
    return c;
}

// The analysis fields of the result's pairs, in pair order.
const int kPairFields[] = {AnalysisResult::eVpmax, AnalysisResult::eVp, AnalysisResult::eVf,
                           AnalysisResult::eKTe,   AnalysisResult::eJe, AnalysisResult::eNe,
                           AnalysisResult::eJp,    AnalysisResult::eNi, AnalysisResult::eVsat,
                           AnalysisResult::eLdebye};
} // namespace

class TestSessionData : public QObject {
    Q_OBJECT
private slots:
    void accumulation()
    {
        AccumulatedTrace a;
        const double s1[] = {1, 2, 3, 10, 20, 30};
        const double s2[] = {3, 2, 1, 30, 20, 10};
        QVERIFY(a.add(s1, 3));
        QCOMPARE(a.voltageDeviation(0), 0.0); // one scan: no deviation
        QVERIFY(a.add(s2, 3));
        const double bad[] = {1, 2, 3, 4};
        QVERIFY(!a.add(bad, 2)); // another length: refused, nothing changed
        QCOMPARE(a.count(), 2);
        QCOMPARE(a.pointCount(), 3);
        QCOMPARE(a.meanVoltage(0), 2.0);
        QCOMPARE(a.meanCurrent(2), 20.0);
        QCOMPARE(a.voltageDeviation(0), std::sqrt(2.0));
        QCOMPARE(a.currentDeviation(1), 0.0); // two equal samples
        // Past the end: means and current deviation read the last point, voltage deviation the first.
        QCOMPARE(a.meanVoltage(7), 2.0);
        QCOMPARE(a.meanCurrent(7), 20.0);
        QCOMPARE(a.currentDeviation(7), std::sqrt(200.0));
        QCOMPARE(a.voltageDeviation(7), std::sqrt(2.0));
        // A negative index reads point 0.
        QCOMPARE(a.meanCurrent(-3), 20.0);
        QCOMPARE(a.currentDeviation(-3), std::sqrt(200.0));

        QVector<double> sv, svq, si, siq;
        a.toLists(sv, svq, si, siq);
        AccumulatedTrace b;
        QVERIFY(!b.setFromLists(sv, svq, si, siq.mid(1), 2));
        QVERIFY(b.setFromLists(sv, svq, si, siq, 2));
        QCOMPARE(b.meanCurrent(0), a.meanCurrent(0));
        // Points with a count below 1 are treated as empty.
        QVERIFY(b.setFromLists(sv, svq, si, siq, 0));
        QCOMPARE(b.pointCount(), 0);
        QCOMPARE(b.meanVoltage(0), 0.0);
        QCOMPARE(b.currentDeviation(1), 0.0);
        b.reset();
        QCOMPARE(b.count(), 0);
    }

    void grouping()
    {
        DataAnalyzer d;
        d.addScan(typed(1, 1.0, 0));
        d.addScan(typed(1, 2.0, 0));
        d.addScan(typed(1, 1.0, 5));
        QCOMPARE(d.groupCount(), 2);
        QCOMPARE(d.scansOfGroup(0).size(), 2);
        QCOMPARE(d.scansOfGroup(5).size(), 0);
        QCOMPARE(d.scansOfGroup(-1).size(), 0);
        d.addScan(typed(0, 9, 5)); // type 0 groups by time: no group at 5 s yet
        QCOMPARE(d.groupCount(), 3);
        d.addScan(typed(0, 1, 5));
        QCOMPARE(d.scansOfGroup(2).size(), 2);
        d.addScan(typed(2, 77, 77)); // type 2: the first group
        QCOMPARE(d.scansOfGroup(0).size(), 3);
        QCOMPARE(d.scanCount(), 6);
        QVERIFY(!d.scan(9, 0));
        QVERIFY(!d.scan(0, 3));

        DataAnalyzer e;
        e.addScan(typed(0, 3, 4)); // the first scan always makes the first group
        QCOMPARE(e.groupCount(), 1);
        QCOMPARE(e.group(0)->position, 3.0);
        QCOMPARE(e.group(0)->temporalPosition, 4.0);

        // Exact comparison of doubles: -0 equals 0, a not-a-number equals nothing; the first
        // group with the value wins, also after a reset of the session.
        for (int round = 0; round < 2; ++round) {
            DataAnalyzer z;
            z.addScan(typed(2, 0.0, 0)); // first group: position 0, time 0
            z.addScan(typed(1, 5.0, 0)); // group 1
            z.addScan(typed(1, 5.0, 1)); // joins group 1
            z.addScan(typed(1, -0.0, 3)); // joins group 0
            z.addScan(typed(0, 1, -0.0)); // by time: group 0
            z.addScan(typed(1, qQNaN(), 0)); // a group of its own
            z.addScan(typed(1, qQNaN(), 0)); // and another
            z.addScan(typed(0, 7, qQNaN())); // and another
            QCOMPARE(z.groupCount(), 5);
            QCOMPARE(z.scansOfGroup(0).size(), 3);
            QCOMPARE(z.scansOfGroup(1).size(), 2);
            z.clearScans();
            QCOMPARE(z.groupCount(), 0);
            z.addScan(typed(1, 5.0, 0));
            z.addScan(typed(1, 6.0, 0));
            z.addScan(typed(1, 5.0, 0));
            QCOMPARE(z.scansOfGroup(0).size(), 2);
        }

        // Many groups: filing keeps the order of creation and finds every group again.
        DataAnalyzer many;
        for (int i = 0; i < 20000; ++i)
            many.addScan(typed(1, 0.25 * i, 0));
        for (int i = 19999; i >= 0; i -= 7)
            many.addScan(typed(1, 0.25 * i, 1));
        QCOMPARE(many.groupCount(), 20000);
        for (int i = 0; i < 20000; ++i) {
            QCOMPARE(many.group(i)->position, 0.25 * i);
            QCOMPARE(many.scansOfGroup(i).size(), (19999 - i) % 7 == 0 ? 2 : 1);
        }
    }

    // Sums written with six digits by older writers can give a negative variance: no deviation.
    void negativeVarianceIsZero()
    {
        AccumulatedTrace a;
        QVERIFY(a.setFromLists({-100.0}, {5000.0 - 1e-9}, {3.5e-4}, {6.125e-8 - 1e-20}, 2));
        QCOMPARE(a.voltageDeviation(0), 0.0);
        QCOMPARE(a.currentDeviation(0), 0.0);
    }

    void plasmaResistance()
    {
        ScanRecord scan;
        LangmuirSettings s;
        s.correctDC = true;
        ScanAnalysisConfig cfg;
        // Pre-scan A: V = 1 + 10 I; B: V = 0.5 + 10 I; mean currents differ by 0.5 mA.
        scan.dcInitScans = {line(10, 9, 6, 0, 1e-3), line(10, 9, 6, 0, 1e-3),
                            line(10, 9, 6, 0, 1e-3), line(10, 8, 6, -5e-4, 1e-3)};
        const double r = driver::plasmaResistance(scan, s, cfg);
        QVERIFY(qAbs(r - 1.0 / 5e-4) < 1e-6);
        QCOMPARE(driver::plasmaResistance(scan, LangmuirSettings(), cfg), 0.0); // compensation off
        cfg.useReferenceProbe = true;
        QCOMPARE(driver::plasmaResistance(scan, s, cfg), 0.0);
        cfg = ScanAnalysisConfig();
        cfg.probeMode = 4;
        QCOMPARE(driver::plasmaResistance(scan, s, cfg), 0.0);
        cfg = ScanAnalysisConfig();
        // Sound results only: an odd count, pre-scans too short for the fixed samples,
        // a zero denominator and a non-finite value all give 0.
        ScanRecord odd = scan;
        odd.dcInitScans.removeLast();
        QCOMPARE(driver::plasmaResistance(odd, s, cfg), 0.0);
        ScanRecord shortA = scan;
        shortA.dcInitScans[1] = line(10, 9, 3, 0, 1e-3);
        QCOMPARE(driver::plasmaResistance(shortA, s, cfg), 0.0);
        ScanRecord shortB = scan;
        shortB.dcInitScans[3] = line(10, 8, 2, 0, 1e-3);
        QCOMPARE(driver::plasmaResistance(shortB, s, cfg), 0.0);
        ScanRecord same = scan;
        same.dcInitScans[3] = line(10, 8, 6, 0, 1e-3);
        QCOMPARE(driver::plasmaResistance(same, s, cfg), 0.0);
        ScanRecord nan = scan;
        nan.dcInitScans[3].points[0].voltage = qQNaN();
        QCOMPARE(driver::plasmaResistance(nan, s, cfg), 0.0);
    }

    void preparation()
    {
        ScanRecord scan;
        const double s1[] = {0, 1, 2, 3, 4, -1e-3, 1e-3, 2e-3, 3e-3, 4e-3};
        const double s2[] = {0, 1, 2, 3, 4, -3e-3, 1e-3, 2e-3, 3e-3, 6e-3};
        scan.accumulated.add(s1, 5);
        scan.accumulated.add(s2, 5);
        LangmuirSettings s;
        ScanAnalysisConfig cfg;
        driver::prepare(scan, s, cfg);
        // No compensation and no series resistance: the plain means and deviations.
        QCOMPARE(scan.corrected.V, (QVector<double>{0, 1, 2, 3, 4}));
        QCOMPARE(scan.corrected.I[0], -2e-3);
        QCOMPARE(scan.corrected.stdV, QVector<double>(5, 0.0));
        QVERIFY(qAbs(scan.corrected.stdI[4] - std::sqrt(2.0) * 1e-3) < 1e-15);

        s.probeResistance = 100;
        s.offsetCurrent = 1e-3;
        s.startCrop = 1;
        s.endCrop = 2;
        driver::prepare(scan, s, cfg);
        QCOMPARE(scan.corrected.V.size(), 2);
        QCOMPARE(scan.corrected.I[0], 2e-3);
        QCOMPARE(scan.corrected.V[0], 1 - 100 * 2e-3);
        QCOMPARE(scan.corrected.V[1], 2 - 100 * 3e-3);

        cfg.probeMode = eMachProbe; // no offset or resistance for Mach probes
        driver::prepare(scan, s, cfg);
        QCOMPARE(scan.corrected.I[0], 1e-3);
        QCOMPARE(scan.corrected.V[0], 1.0);

        // Crops longer than the data: all points from the start crop on.
        cfg = ScanAnalysisConfig();
        s = LangmuirSettings();
        s.startCrop = 3;
        s.endCrop = 4;
        driver::prepare(scan, s, cfg);
        QCOMPARE(scan.corrected.V, (QVector<double>{3, 4, 4, 4, 4}));
        // Nothing accumulated: lists read from a file stay.
        ScanRecord fromFile;
        fromFile.corrected.V = {1, 2};
        fromFile.corrected.I = {3, 4};
        driver::prepare(fromFile, LangmuirSettings(), cfg);
        QCOMPARE(fromFile.corrected.V, (QVector<double>{1, 2}));
    }

    void referenceRealignment()
    {
        ScanRecord scan;
        const double sweep[] = {10, 11, 12, 13, 14, 15, -1e-3, -1e-3, -2e-4, 1e-3, 2e-3, 3e-3};
        scan.accumulated.add(sweep, 6);
        ScanAnalysisConfig cfg;
        cfg.useReferenceProbe = true;
        cfg.voltageStart = -30;
        cfg.voltageEnd = 30;
        driver::prepare(scan, LangmuirSettings(), cfg);
        // Last non-positive current at position 2: nominal -30 + 2 * 10 = -10, measured 12.
        QCOMPARE(scan.corrected.V, (QVector<double>{-12, -11, -10, -9, -8, -7}));
    }

    void singleProbeDriverWithErrors()
    {
        synth::SingleProbe p;
        synth::Sweep sw;
        sw.relativeNoise = 0.01;
        sw.currentNoise = 1e-7;
        ScanRecord scan = scanOf(p, sw);
        LangmuirSettings s;
        const EepfTable table = EepfTable::defaultTable();
        ScanAnalysisConfig cfg;
        driver::analyseScan(scan, s, table, cfg);
        QVERIFY2(scan.error.isEmpty(), qPrintable(scan.error));

        // The errors against four perturbed analyses run by hand.
        const AnalysisCurve base = scan.correctedCurve();
        AnalysisContext ctx(s, 0);
        iv::determineIonRegion(ctx, base, IvTrace(), 0, 0);
        QVector<AnalysisResult> runs;
        for (int which = 0; which < 5; ++which) {
            AnalysisCurve c = perturbed(base, scan, which);
            AnalysisContext k = ctx;
            AnalysisResult r;
            QString err;
            iv::analyse(k, c, r, err);
            runs << r;
        }
        const AnalysisResult& b = runs[4];
        for (int pair = 0; pair < 10; ++pair) {
            const int f = kPairFields[pair];
            double err = 0;
            for (int w = 0; w < 4; ++w)
                err = std::max(err, std::fabs(runs[w][f] - b[f]));
            QCOMPARE(scan.result.value(pair), b[f]);
            QCOMPARE(scan.result.error(pair), err);
        }
        QVERIFY(scan.result.error(ResultRecord::eKTe) > 0);
        QCOMPARE(scan.result.value(ResultRecord::eIsat), std::fabs(scan.corrected.I[0]));
        // EEPF stored with the session table.
        QCOMPARE(scan.eepf.energy.size(), 20);
        QCOMPARE(scan.eepf.EEDF.size(), 20);
        QVERIFY(qAbs(scan.result.value(ResultRecord::eEedfNe) / p.ne - 1) < 0.1);
        QVERIFY(scan.result.error(ResultRecord::eEedfNe) > 0);
        QCOMPARE(scan.electronCurrent.size(), scan.corrected.V.size());
        QVERIFY(std::isnan(scan.result.value(ResultRecord::eMachNumber)));
    }

    // Curves whose base analysis succeeds while a perturbed copy fails: the failed copy's
    // values go to the trackers as they are (not-a-number where it found none). Rows: a bogus
    // ion-current reading (50 times the true one) that fails the first copy, which starts
    // the trackers, in its kTe step; and a 5 eV, 1e15 m^-3 plasma with 0.1 % noise whose
    // fragile copy fails with its Vp far off, which the error must show.
    void failedPerturbedCopyIsTracked_data()
    {
        QTest::addColumn<double>("kTe");
        QTest::addColumn<double>("ne");
        QTest::addColumn<double>("noise");
        QTest::addColumn<int>("sweeps");
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<bool>("bogusIonReading");
        QTest::addColumn<double>("minVpError");
        QTest::newRow("bogus ion reading") << 2.0 << 1e16 << 0.0 << 5 << quint64(2) << true << 0.0;
        QTest::newRow("fragile 5 eV curve") << 5.0 << 1e15 << 0.001 << 4 << quint64(161) << false << 1.0;
    }

    void failedPerturbedCopyIsTracked()
    {
        QFETCH(double, kTe);
        QFETCH(double, ne);
        QFETCH(double, noise);
        QFETCH(int, sweeps);
        QFETCH(quint64, seed);
        QFETCH(bool, bogusIonReading);
        QFETCH(double, minVpError);
        synth::SingleProbe p;
        p.kTe = kTe;
        p.ne = ne;
        synth::Sweep sw;
        sw.sweeps = sweeps;
        sw.seed = seed;
        if (bogusIonReading) {
            sw.relativeNoise = 0.01;
            sw.currentNoise = 1e-6;
            sw.vStart = -60;
            sw.vEnd = p.Vp + 8 * p.kTe;
        } else {
            sw.voltageNoise = 0.005;
            sw.currentNoise = noise * p.electronSaturation() * std::sqrt(double(sweeps));
        }
        ScanRecord scan = scanOf(p, sw);
        if (bogusIonReading) {
            scan.ionCurrent[0] = 50 * p.ionCurrent(-40);
            scan.ionCurrent[1] = -40;
        }
        const LangmuirSettings s;
        driver::analyseScan(scan, s, EepfTable::defaultTable(), ScanAnalysisConfig());
        QVERIFY2(scan.error.isEmpty(), qPrintable(scan.error));

        // The four copies by hand; the first starts both trackers, later ones move a field
        // only where strictly beyond it.
        const AnalysisCurve base = scan.correctedCurve();
        AnalysisContext ctx(s, 0);
        iv::determineIonRegion(ctx, base, IvTrace(), scan.ionCurrent[0], scan.ionCurrent[1]);
        AnalysisResult hi, lo;
        double vpSuccessSpread = 0;
        int failed = 0;
        for (int which = 0; which < 4; ++which) {
            AnalysisCurve c = perturbed(base, scan, which);
            AnalysisContext k = ctx;
            AnalysisResult r;
            QString err;
            if (iv::analyse(k, c, r, err))
                vpSuccessSpread = std::max(vpSuccessSpread,
                                           std::fabs(r[AnalysisResult::eVp] - scan.result.value(ResultRecord::eVp)));
            else
                ++failed;
            for (int f = 0; f < AnalysisResult::eCount; ++f) {
                if (which == 0 || r[f] > hi[f])
                    hi[f] = r[f];
                if (which == 0 || r[f] < lo[f])
                    lo[f] = r[f];
            }
        }
        QVERIFY(failed >= 1);
        for (int pair = 0; pair < 10; ++pair) {
            const int f = kPairFields[pair];
            const double v = scan.result.value(pair);
            const double expected = std::fmax(std::fabs(hi[f] - v), std::fabs(lo[f] - v));
            const double got = scan.result.error(pair);
            QVERIFY2(got == expected || (std::isnan(got) && std::isnan(expected)),
                     qPrintable(QString("pair %1: %2, expected %3").arg(pair).arg(got).arg(expected)));
        }
        const double vpError = scan.result.error(ResultRecord::eVp);
        qInfo("Vp %g +- %g (copies that succeeded: %g), kTe %g +- %g", scan.result.value(ResultRecord::eVp),
              vpError, vpSuccessSpread, scan.result.value(ResultRecord::eKTe), scan.result.error(ResultRecord::eKTe));
        QVERIFY(vpError >= minVpError);
        if (minVpError > 0)
            QVERIFY(vpSuccessSpread < 0.1 * vpError); // the failed copy is what shows it
    }

    // A base analysis that fails in the kTe step of the ion-current iteration still has Vp,
    // kTe and Jp of its last pass, so its EEPF is computed and holds numbers.
    void eepfAfterAKteIntegralFailure()
    {
        synth::SingleProbe p;
        p.kTe = 2;
        p.ne = 1e16;
        synth::Sweep sw;
        sw.relativeNoise = 0.05;
        sw.currentNoise = 1e-6;
        sw.seed = 3;
        sw.vStart = -60;
        sw.vEnd = p.Vp + 8 * p.kTe;
        ScanRecord scan = scanOf(p, sw);
        scan.ionCurrent[0] = 100 * p.ionCurrent(-40);
        scan.ionCurrent[1] = -40;
        driver::analyseScan(scan, LangmuirSettings(), EepfTable::defaultTable(), ScanAnalysisConfig());
        QCOMPARE(scan.error, QString("Error while calculating kTe from Ie integral"));
        QVERIFY(std::isfinite(scan.result.value(ResultRecord::eJp)));
        QVERIFY(std::isfinite(scan.result.value(ResultRecord::eLdebye)));
        QVERIFY(!scan.eepf.EEDF.isEmpty());
        for (double g : scan.eepf.EEDF)
            QVERIFY(std::isfinite(g));
        QVERIFY(std::isfinite(scan.result.value(ResultRecord::eEedfNe)));
    }

    // The isat pair belongs to the analysis: values of an earlier analysis or of the file the
    // scan came from never survive it.
    void isatPairIsTheAnalysis()
    {
        synth::TwoTipProbe p;
        synth::Sweep sw;
        sw.vStart = -40;
        sw.vEnd = 40;
        sw.sweeps = 1;
        ScanRecord mach = scanOf(p, sw);
        mach.result.setValue(ResultRecord::eIsat, 0); // as a zero-filled record holds them
        mach.result.setError(ResultRecord::eIsat, 0);
        ScanAnalysisConfig cfg;
        cfg.probeMode = eMachProbe;
        driver::analyseScan(mach, LangmuirSettings(), EepfTable(), cfg);
        QVERIFY2(mach.error.isEmpty(), qPrintable(mach.error));
        QVERIFY(std::isnan(mach.result.value(ResultRecord::eIsat))); // one sweep: not set
        QVERIFY(std::isnan(mach.result.error(ResultRecord::eIsat)));

        synth::Sweep five;
        ScanRecord single = scanOf(synth::SingleProbe(), five);
        single.result.setError(ResultRecord::eIsat, 0);
        driver::analyseScan(single, LangmuirSettings(), EepfTable(), ScanAnalysisConfig());
        QCOMPARE(single.result.value(ResultRecord::eIsat), std::fabs(single.corrected.I[0]));
        QVERIFY(std::isnan(single.result.error(ResultRecord::eIsat))); // never estimated
    }

    void oneSweepGetsNoErrors()
    {
        synth::Sweep sw;
        sw.sweeps = 1;
        ScanRecord scan = scanOf(synth::SingleProbe(), sw);
        driver::analyseScan(scan, LangmuirSettings(), EepfTable::defaultTable(), ScanAnalysisConfig());
        QVERIFY(scan.error.isEmpty());
        QVERIFY(std::isfinite(scan.result.value(ResultRecord::eKTe)));
        for (int pair = 0; pair < 10; ++pair)
            QVERIFY(std::isnan(scan.result.error(pair)));
    }

    void failuresInTheDriver()
    {
        ScanRecord empty;
        driver::analyseScan(empty, LangmuirSettings(), EepfTable(), ScanAnalysisConfig());
        QCOMPARE(empty.error, QString("No Data"));
        // All currents negative: fails before Vp, no EEPF.
        synth::SingleProbe p;
        synth::Sweep sw;
        sw.vEnd = -20;
        ScanRecord neg = scanOf(p, sw);
        neg.eepf.energy = {1, 2}; // left from an earlier analysis
        driver::analyseScan(neg, LangmuirSettings(), EepfTable::defaultTable(), ScanAnalysisConfig());
        QCOMPARE(neg.error, QString("Data only contains negative current data"));
        QVERIFY(std::isnan(neg.result.value(ResultRecord::eVp)));
        QVERIFY(neg.eepf.energy.isEmpty());
        QVERIFY(std::isnan(neg.result.value(ResultRecord::eEedfNe)));
        ScanAnalysisConfig odd;
        odd.probeMode = 2;
        driver::analyseScan(neg, LangmuirSettings(), EepfTable(), odd);
        QCOMPARE(neg.error, QString("Unknown probe mode"));
        // A scan read with results of a mode the analysis does not know keeps none of them.
        ScanRecord read = scanOf(p, synth::Sweep());
        driver::analyseScan(read, LangmuirSettings(), EepfTable::defaultTable(), ScanAnalysisConfig());
        QVERIFY(std::isfinite(read.result.value(ResultRecord::eVp)));
        QVERIFY(!read.eepf.energy.isEmpty());
        read.correctedDoubleProbe = read.corrected;
        driver::analyseScan(read, LangmuirSettings(), EepfTable::defaultTable(), odd);
        QCOMPARE(read.error, QString("Unknown probe mode"));
        for (double v : read.result.raw())
            QVERIFY(std::isnan(v));
        QVERIFY(read.eepf.energy.isEmpty() && read.eepf.EEDF.isEmpty());
        QVERIFY(read.electronCurrent.isEmpty());
        QVERIFY(read.correctedDoubleProbe.isEmpty());
    }

    void doubleAndMachDrivers()
    {
        synth::TwoTipProbe p;
        p.iUp = 1e-4 * std::exp(1.0);
        synth::Sweep sw;
        sw.vStart = -40;
        sw.vEnd = 40;
        sw.relativeNoise = 0.002;
        ScanRecord mach = scanOf(p, sw);
        ScanAnalysisConfig cfg;
        cfg.probeMode = eMachProbe;
        driver::analyseScan(mach, LangmuirSettings(), EepfTable::defaultTable(), cfg);
        QVERIFY2(mach.error.isEmpty(), qPrintable(mach.error));
        QVERIFY(qAbs(mach.result.value(ResultRecord::eMachNumber) - 1 / 1.34) < 0.01);
        QVERIFY(mach.result.error(ResultRecord::eMachNumber) > 0);
        QVERIFY(std::isnan(mach.result.value(ResultRecord::eVp)));
        QVERIFY(std::isnan(mach.result.value(ResultRecord::eJp)));
        QVERIFY(std::isfinite(mach.result.value(ResultRecord::eIsat)));
        QVERIFY(mach.eepf.energy.isEmpty());
        QCOMPARE(mach.correctedDoubleProbe.V, mach.corrected.V);
        QCOMPARE(mach.correctedDoubleProbe.I.size(), mach.corrected.I.size());

        // One sweep: a Mach probe's isat is not set.
        synth::Sweep one = sw;
        one.sweeps = 1;
        ScanRecord single = scanOf(p, one);
        driver::analyseScan(single, LangmuirSettings(), EepfTable(), cfg);
        QVERIFY(std::isnan(single.result.value(ResultRecord::eIsat)));

        synth::TwoTipProbe sym;
        ScanRecord dbl = scanOf(sym, sw);
        cfg.probeMode = eDoubleProbe;
        driver::analyseScan(dbl, LangmuirSettings(), EepfTable(), cfg);
        QVERIFY2(dbl.error.isEmpty(), qPrintable(dbl.error));
        QVERIFY(qAbs(dbl.result.value(ResultRecord::eKTe) / 3 - 1) < 0.03);
        QVERIFY(std::isfinite(dbl.result.value(ResultRecord::eNi)));
        QVERIFY(std::isnan(dbl.result.value(ResultRecord::eVpmax)));
        QVERIFY(std::isnan(dbl.result.value(ResultRecord::eMachNumber)));
        QCOMPARE(dbl.result.value(ResultRecord::eIsat), std::fabs(dbl.corrected.I[0]));
        // The corrected curve is antisymmetric around Vf after removing I0 and the slopes.
        const CorrectedCurve& c = dbl.correctedDoubleProbe;
        QVERIFY2(qAbs(c.I.first() + c.I.last()) < 0.05 * qAbs(c.I.first()), qPrintable(QString("%1 %2 %3").arg(c.I.first()).arg(c.I.last()).arg(dbl.result.value(ResultRecord::eVf))));
    }

    void parallelAnalysisIsBitIdentical_data()
    {
        QTest::addColumn<bool>("robust");
        QTest::newRow("plain") << false;
        QTest::newRow("noise-robust, noisy scans") << true;
    }

    void parallelAnalysisIsBitIdentical()
    {
        QFETCH(bool, robust);
        auto fill = [robust](DataAnalyzer& d) {
            LangmuirSettings set = d.analysisSettings();
            set.noiseRobust = robust;
            d.setAnalysisSettings(set);
            for (int i = 0; i < 24; ++i) {
                synth::SingleProbe p;
                p.kTe = 1.5 + 0.25 * i;
                p.ne = 1e15 * (1 + i);
                synth::Sweep sw;
                sw.seed = 100 + i;
                sw.relativeNoise = 0.01;
                sw.currentNoise = robust ? 0.02 * p.electronSaturation() : 1e-7;
                ScanRecord s = scanOf(p, sw);
                s.scanType = ScanRecord::eSpatialRun;
                s.position = i % 3;
                d.addScan(s);
            }
        };
        DataAnalyzer serial, parallel;
        fill(serial);
        fill(parallel);
        serial.analyseAll(1);
        parallel.analyseAll(4);
        QCOMPARE(parallel.groupCount(), 3);
        for (int g = 0; g < serial.groupCount(); ++g) {
            for (int i = 0; i < serial.scansOfGroup(g).size(); ++i) {
                const ScanRecord& a = serial.scansOfGroup(g)[i];
                const ScanRecord& b = parallel.scansOfGroup(g)[i];
                QVERIFY(a.result == b.result);
                QCOMPARE(a.error, b.error);
                QCOMPARE(a.eepf.EEDF, b.eepf.EEDF);
                QCOMPARE(a.corrected.V, b.corrected.V);
                QVERIFY(!robust || a.error.isEmpty());
            }
        }
        // One scan by index; outside the session nothing happens.
        parallel.analyseScan(0, 0);
        parallel.analyseScan(7, 0);
        QVERIFY(parallel.scansOfGroup(0)[0].result == serial.scansOfGroup(0)[0].result);
    }

    void configurationSnapshot()
    {
        DataAnalyzer d;
        QCOMPARE(d.eepfTable(), EepfTable::defaultTable());
        DoubleProbeConfigParam dp;
        dp.dataScanRunParam.voltageStart = -20;
        d.setConfiguration(dp);
        QCOMPARE(d.configuration().probeMode, 3);
        QVERIFY(dynamic_cast<const DoubleProbeConfigParam*>(&d.configuration()));
        const ScanAnalysisConfig c = d.analysisConfig();
        QCOMPARE(c.probeMode, 3);
        QCOMPARE(c.voltageStart, -20.0);
    }
};

QTEST_GUILESS_MAIN(TestSessionData)
#include "tst_sessiondata.moc"
