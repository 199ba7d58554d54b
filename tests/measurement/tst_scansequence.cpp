// Whole measurement runs against the simulated unit, headless: the analysed
// results come close to the simulated plasma, time-resolved, timed, spatial
// and ion-current monitoring runs file their records where they belong, the
// range search and the smart scan's limits, and every injected fault or abort
// ends the run with its alert and leaves the unit idle at the idle voltage.
#include "RigFixture.h"

#include "AppState.h"

using namespace simtest;

namespace {
// The job target of the tests: counts reads and can make one range read
// a hundred times too much (a unit whose range search never settles).
class CountingJobs : public ControllerJobs
{
public:
    CountingJobs(RIRavaVCntrl& c) : ControllerJobs(c), ctrl(c) {}
    std::atomic<int> reads{0};
    std::atomic<int> inflateRange{-1};
    int runReadScan(ScanReadout& out) override
    {
        const int r = ControllerJobs::runReadScan(out);
        ++reads;
        if (r == 1 && int(ctrl.getMeasuringRange()) == inflateRange.load())
            for (unsigned k = 0; k < out.syncPoints; ++k)
                for (unsigned s = 0; s < out.steps; ++s)
                    out.data[(2 * k + 1) * out.steps + s] *= 100;
        return r;
    }
    RIRavaVCntrl& ctrl;
};

struct Observer : RunObserver {
    int begins = 0, ends = 0, filed = 0, changed = 0;
    DataAnalyzer* data = nullptr;
    QVector<ScanRecord> removed; // as they were when the run gave them up
    void removingScans(const QVector<DataAnalyzer::Location>& at) override
    {
        for (const DataAnalyzer::Location& l : at)
            removed.append(*data->scan(l.group, l.index));
    }
    void runBegins() override { ++begins; }
    void runEnded() override { ++ends; }
    void scanFiled(int, int) override { ++filed; }
    void scanChanged(int, int) override
    {
        ++changed;
        if (onChanged)
            onChanged();
    }
    std::function<void()> onChanged;
};

SingleProbeConfigParam baseConfig()
{
    SingleProbeConfigParam c;
    c.dataScanRunScans = 3;
    c.dataScanThrowScans = 0;
    c.dcCScanSweeps = 2;
    c.dataScanRunParam.integrationTime = 20;
    c.initScanRunParam.integrationTime = 20;
    c.ionCurrentScanRunParam.integrationTime = 20;
    c.dcCScanRunParam.integrationTime = 20;
    return c;
}

// Only the data scans: no ion-current phase, no initial and no DC correction scans.
void dataScansOnly(SingleProbeConfigParam& c)
{
    c.ionCurrentDisable = true;
    c.initScanDisable = true;
    c.dcCScanDisable = true;
}

// Figures for the record (the driver-log capture takes qDebug and friends).
template <typename... A> void report(const char* format, A... args)
{
    std::fprintf(stderr, format, args...);
    std::fputc('\n', stderr);
}
} // namespace

class TestScanSequence : public QObject, Rig<TestSeam, CountingJobs>
{
    Q_OBJECT
private slots:
    void init()
    {
        observer = Observer();
        sessionObserver = &observer;
        setUpRig();
        observer.data = data.get();
    }
    void cleanup()
    {
        tearDownRig();
        qsim::clearFaults();
    }
    void defaultRunMatchesPlasma();
    void secondRunKeepsFirstRunsRecords();
    void timeResolvedFollowsPulse();
    void timedRunEveryFiveSeconds();
    void spatialRunFollowsProfile();
    void spatialStep_data();
    void spatialStep();
    void ionCurrentMonitoring();
    void rangeSearchGivesUp();
    void throwAndRunScans();
    void smartScanNeverPositive();
    void bothPhasesDisabledUseUserRange();
    void dcCorrectionNeedsEstimates();
    void doubleProbeRunSkipsDcCorrection();
    void spatialTimeResolvedTakesOneSlice();
    void plasmaAgainstTruth_data();
    void plasmaAgainstTruth();
    void fullScaleIsReported();
    void faults_data();
    void faults();
    void abortInEachPhase_data();
    void abortInEachPhase();
    void abortEndsTimedWait();
    void driveFailsToInitialise();

private:
    double analysed(int group, int index, int pair);

    Observer observer;
};

double TestScanSequence::analysed(int group, int index, int pair)
{
    data->analyseScan(group, index);
    const ScanRecord* s = data->scan(group, index);
    return s ? s->result.value(pair) : std::nan("");
}

void TestScanSequence::defaultRunMatchesPlasma()
{
    SingleProbeConfigParam c = baseConfig();
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    QCOMPARE(observer.begins, 1);
    QCOMPARE(observer.ends, 1);
    QCOMPARE(data->scanCount(), 1);
    const ScanRecord* s = data->scan(0, 0);
    QCOMPARE(s->scanType, int(ScanRecord::eOtherRun));
    QCOMPARE(s->position, 666.0);
    QCOMPARE(s->accumulated.count(), 3);
    QVERIFY(s->initScan.size() > 10);
    QCOMPARE(s->dcInitScans.size(), 4);
    QVERIFY(s->ionCurrent[0] < 0);
    const qsim::PlasmaState truth = qsim::truePlasma(0, 0);
    const double kTe = analysed(0, 0, ResultRecord::eKTe);
    const double Vp = analysed(0, 0, ResultRecord::eVp);
    const double Vf = analysed(0, 0, ResultRecord::eVf);
    const double Ne = analysed(0, 0, ResultRecord::eNe);
    report("truth kTe %.3f Vp %.3f Vf %.3f Ne %.4g", truth.kTe, truth.Vp, truth.Vf, truth.ne);
    report("run   kTe %.3f Vp %.3f Vf %.3f Ne %.4g", kTe, Vp, Vf, Ne);
    QVERIFY(std::fabs(kTe - truth.kTe) < 0.1 * truth.kTe);
    QVERIFY(std::fabs(Vp - truth.Vp) < 1.0);
    QVERIFY(std::fabs(Vf - truth.Vf) < 1.0);
    QVERIFY(std::fabs(Ne - truth.ne) < 0.2 * truth.ne);
    // The data scans swept the window the smart scan chose around Vf .. Vp.
    QVERIFY(data->configs().workingCopy().dataScanRunParam.voltageStart < truth.Vf);
    QVERIFY(data->configs().workingCopy().dataScanRunParam.voltageEnd > truth.Vp);
    // The session's own record is not changed by the run.
    QCOMPARE(data->configuration().dataScanRunParam.voltageStart, c.dataScanRunParam.voltageStart);
    QVERIFY(unitIdle());
    QCOMPARE(seam.state(), 0);
    QVERIFY(seam.states.contains(AppState::eReadingIonCurrent));
    QVERIFY(seam.states.contains(AppState::eSmartInitScan));
    QVERIFY(seam.states.contains(AppState::eDcCorrectionScan));
    QVERIFY(seam.states.contains(AppState::eDataScan));
    QVERIFY(seam.logLines.first().startsWith("Starting new scan at "));
    QVERIFY(seam.boxes.isEmpty());
}

void TestScanSequence::secondRunKeepsFirstRunsRecords()
{
    SingleProbeConfigParam c = baseConfig();
    c.useSmartScan = false;
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    const ScanRecord first = *data->scan(0, 0);
    QVERIFY(std::isfinite(first.dcCScanVoltageStart));
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    QCOMPARE(data->groupCount(), 1);
    QCOMPARE(data->scansOfGroup(0).size(), 2);
    const ScanRecord* again = data->scan(0, 0);
    QCOMPARE(again->accumulated.count(), first.accumulated.count());
    QCOMPARE(again->dcCScanVoltageStart, first.dcCScanVoltageStart);
    QCOMPARE(again->dcCScanVoltageEnd, first.dcCScanVoltageEnd);
    QCOMPARE(data->scan(0, 1)->accumulated.count(), 3);
}

void TestScanSequence::timeResolvedFollowsPulse()
{
    qsim::Config w = quickWorld();
    w.measurement.plasma.pulseDepth = 0.8;
    w.measurement.plasma.pulseTauUs = 20;
    w.measurement.sync.frequencyHz = 1000;
    setUpRig(w);
    SingleProbeConfigParam c = baseConfig();
    timeResolvedRun(c);
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    const QVector<ScanRecord>& scans = data->scansOfGroup(0);
    QCOMPARE(scans.size(), 4); // 100, 300, 500, 700 us
    QVector<double> ne;
    for (int k = 0; k < scans.size(); ++k) {
        QCOMPARE(scans[k].accumulated.count(), 3);
        QCOMPARE(scans[k].currentRange, 1u);
        ne.append(analysed(0, k, ResultRecord::eNe));
    }
    QVERIFY(std::fabs(scans[1].resolvedTime - scans[0].resolvedTime - 200) < 1);
    // On phase (first half of the period) denser than the off phase.
    const double on = qsim::truePlasma(300e-6, 0).ne, off = qsim::truePlasma(700e-6, 0).ne;
    report("pulse ne on %.3g (truth %.3g), off %.3g (truth %.3g)", ne[1], on, ne[3], off);
    QVERIFY(ne[1] > 2 * ne[3]);
    QVERIFY(std::fabs(ne[1] - on) < 0.3 * on);
    QVERIFY(unitIdle());
}

void TestScanSequence::timedRunEveryFiveSeconds()
{
    SingleProbeConfigParam c = baseConfig();
    c.timed.bUseTimedScan = true;
    c.timed.start = 0;
    c.timed.step = 5;
    c.timed.end = 10;
    dataScansOnly(c);
    c.dataScanRunParam.voltageStart = -30;
    c.dataScanRunParam.voltageEnd = 20;
    seq->restartScanClock();
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    QCOMPARE(data->groupCount(), 3);
    // Each cycle starts at its interval, or later where the scan before it
    // ran over (the reads' polling advances the clock, the more the busier
    // the machine): never early, and the recorded time is when it started.
    QCOMPARE(data->group(0)->temporalPosition, 0.0);
    QVERIFY2(data->group(1)->temporalPosition >= 5.0, qPrintable(QString::number(data->group(1)->temporalPosition)));
    QVERIFY(data->group(2)->temporalPosition >= 10.0);
    QVERIFY(data->group(2)->temporalPosition > data->group(1)->temporalPosition);
    for (int g = 0; g < 3; ++g)
        QCOMPARE(data->scan(g, 0)->scanType, int(ScanRecord::eTimedRun));
    // It waited for its intervals, and ended after the third cycle (three
    // groups, none at 15 s). How far the clock ran past 10 s is no measure:
    // the reads' own polling advances it, the more the busier the machine.
    QVERIFY2(seam.clockMs >= 10000, qPrintable(QString::number(seam.clockMs)));
}

void TestScanSequence::spatialRunFollowsProfile()
{
    // The default MDrivePlus stage carries the probe through the profile: the
    // simulated plasma hears the stage, not a hook of the test.
    qsim::Config w = quickWorld();
    w.modules[0].motor.family = qsim::MotorFamily::MDrivePlus;
    w.measurement.plasma.profileCentreMm = 10;
    w.measurement.plasma.profileWidthMm = 4;
    setUpRig(w, 200);
    ctrl->setLinearDriveIntercept(0);
    SingleProbeConfigParam c = baseConfig();
    c.spat.bUseSpatScan = true;
    c.spat.start = 20;
    c.spat.end = 0;
    c.spat.step = 10;
    c.useSmartScan = false;
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    QVERIFY(drive->isInitialised());
    QCOMPARE(data->groupCount(), 3);
    QVector<double> ne;
    for (int g = 0; g < 3; ++g) {
        const double pos = data->group(g)->position;
        QVERIFY2(std::fabs(pos - (20 - 10 * g)) < 0.05, qPrintable(QString::number(pos)));
        QCOMPARE(data->scan(g, 0)->scanType, int(ScanRecord::eSpatialRun));
        ne.append(analysed(g, 0, ResultRecord::eNe));
        const double truth = qsim::truePlasma(0, pos).ne;
        report("position %.2f mm: Ne %.3g, truth %.3g", pos, ne.last(), truth);
        QVERIFY(std::fabs(ne.last() - truth) < 0.3 * truth);
    }
    QVERIFY2(ne[1] >= 2 * ne[0] && ne[1] >= 2 * ne[2], "the centre stands out of the edges");
    QVERIFY(seam.stateTexts.contains(" (to position 10[mm])"));
    QVERIFY(unitIdle());
}

void TestScanSequence::spatialStep_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("positions");
    QTest::addColumn<bool>("ok");
    QTest::newRow("step 0: one position") << 2.0 << 8.0 << 0.0 << 1 << true;
    QTest::newRow("start equals end") << 3.0 << 3.0 << 1.0 << 1 << true;
    QTest::newRow("negative stored step, rising") << 0.0 << 4.0 << -2.0 << 3 << true;
    QTest::newRow("step not finite") << 0.0 << 4.0 << double(NAN) << 0 << false;
}

void TestScanSequence::spatialStep()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, step);
    QFETCH(int, positions);
    QFETCH(bool, ok);
    setUpStage();
    SingleProbeConfigParam c = baseConfig();
    c.spat.bUseSpatScan = true;
    c.spat.start = start;
    c.spat.end = end;
    c.spat.step = step;
    dataScansOnly(c);
    c.dataScanRunScans = 1;
    QCOMPARE(seq->runScan(c), ok);
    QCOMPARE(data->groupCount(), positions);
    if (!ok)
        QCOMPARE(seam.alerts(), QStringList{"[ERROR] Scan: The spatial step is not a finite number."});
    QVERIFY(unitIdle());
}

void TestScanSequence::ionCurrentMonitoring()
{
    SingleProbeConfigParam c = baseConfig();
    c.ic.bUseIcScan = true;
    c.ic.voltage = -30;
    c.ic.duration = 2;
    c.userChosenCMRange = 3;
    c.dataScanRunScans = 2;
    // Each cycle takes its read slices on the seam clock; a fixed cost per cycle.
    seam.onSlice = nullptr;
    seq->restartScanClock();
    int cycles = 0;
    observer = Observer();
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    cycles = data->groupCount();
    QVERIFY(cycles >= 2);
    const double isat = qsim::truePlasma(0, 0).isat;
    for (int g = 0; g < cycles; ++g) {
        const ScanRecord* s = data->scan(g, 0);
        QCOMPARE(s->scanType, int(ScanRecord::eTimedRun));
        QCOMPARE(s->accumulated.pointCount(), 1);
        QCOMPARE(s->currentRange, 3u);
        const double i = s->accumulated.meanCurrent(0);
        QVERIFY2(i < 0 && std::fabs(i) < 2 * std::fabs(isat), qPrintable(QString::number(i)));
    }
    // No ion-current phase, no initial scans.
    QVERIFY(!seam.states.contains(AppState::eReadingIonCurrent));
    QVERIFY(!seam.states.contains(AppState::eSmartInitScan));
    QVERIFY(unitIdle());
}

void TestScanSequence::rangeSearchGivesUp()
{
    jobs->inflateRange = 3; // range 3 reads a hundred times too much: 3 -> 2 -> 3 ...
    SingleProbeConfigParam c = baseConfig();
    QVERIFY(!seq->runScan(c));
    QCOMPARE(seam.alerts(), (QStringList{"[ERROR] Read Ion Current: Failed to find optimum measuring range.",
                                         "[ERROR] Scan: Failed to Read Ion Current."}));
    QCOMPARE(jobs->reads.load(), 7);
    QCOMPARE(seam.boxes.size(), 1);
    QVERIFY(seam.boxes.first().startsWith("Quendrix Langmuir|[ERROR] Read Ion Current: "));
    QVERIFY(unitIdle());
}

void TestScanSequence::throwAndRunScans()
{
    SingleProbeConfigParam c = baseConfig();
    dataScansOnly(c);
    c.dataScanThrowScans = 2;
    c.dataScanRunScans = 3;
    QVERIFY(seq->runScan(c));
    QCOMPARE(jobs->reads.load(), 5);
    QCOMPARE(data->scan(0, 0)->accumulated.count(), 3);
    QCOMPARE(observer.changed, 3);
    QCOMPARE(seq->dataScansDone(), 5);
    // The progress counts the thrown sweeps too: 5 of 5 at the end, not 5 of 3.
    QCOMPARE(seq->dataScanCycles(), 5);
    // Continuous acquisition: one start for the five sweeps.
    QVERIFY(unitIdle());
}

void TestScanSequence::smartScanNeverPositive()
{
    SingleProbeConfigParam c = baseConfig();
    c.offsetCurrent = -1; // every current stays negative
    c.initScanMaxVoltage = 60; // the walk starts at the ion-current voltage, -50 V
    QVERIFY(!seq->runScan(c));
    QCOMPARE(seam.alerts(), (QStringList{"[ERROR] Smart Init Scan: Voltage reached maximum (V:65[V]).",
                                         "[ERROR] Scan: Failed to run Smart Init Scan."}));
    // The record held no data scan: it leaves the session.
    QCOMPARE(data->scanCount(), 0);
    QCOMPARE(observer.removed.size(), 1);
    const ScanRecord* s = &observer.removed.first();
    QVERIFY(std::isnan(s->dcCScanVoltageStart));
    QVERIFY(std::isnan(s->dcCScanVoltageEnd));
    QVERIFY(s->initScan.size() >= 10);
    QVERIFY(unitIdle());
}

void TestScanSequence::bothPhasesDisabledUseUserRange()
{
    SingleProbeConfigParam c = baseConfig();
    dataScansOnly(c);
    c.userChosenCMRange = 2;
    c.dataScanRunParam.voltageStart = -20;
    c.dataScanRunParam.voltageEnd = 5;
    QVERIFY(seq->runScan(c));
    QCOMPARE(data->scan(0, 0)->currentRange, 2u);
    QCOMPARE(qsim::cnfgRegister(0, 11), uint16_t(0)); // no gain switch
    QVERIFY(std::isnan(data->scan(0, 0)->gainAutoSwitchVoltage));
}

void TestScanSequence::dcCorrectionNeedsEstimates()
{
    SingleProbeConfigParam c = baseConfig();
    c.useSmartScan = false;
    c.offsetCurrent = -1; // no floating potential in the initial scan
    QVERIFY(!seq->runScan(c));
    QCOMPARE(seam.alerts(),
             (QStringList{"[ERROR] DC Correction Scan: No floating and plasma potential estimates (Vf:nan[V], "
                          "Vp:nan[V]).",
                          "[ERROR] Scan: Failed to run DC Correction Scan."}));
    QCOMPARE(data->scanCount(), 0); // nothing measured: nothing filed
    QCOMPARE(observer.removed.size(), 1);
    QCOMPARE(observer.removed.first().dcInitScans.size(), 0);
    QVERIFY(unitIdle());
}

void TestScanSequence::doubleProbeRunSkipsDcCorrection()
{
    QVERIFY(ctrl->selectProbeMode(VESK_HW::eDouble));
    DoubleProbeConfigParam c;
    c.dataScanRunScans = 3;
    c.dataScanRunParam.integrationTime = 20;
    c.initScanRunParam.integrationTime = 20;
    c.ionCurrentScanRunParam.integrationTime = 20;
    c.initScanRunParam.voltageStart = -30;
    c.initScanRunParam.voltageEnd = 30;
    c.dataScanRunParam.voltageStart = -30;
    c.dataScanRunParam.voltageEnd = 30;
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    QVERIFY(!seam.states.contains(AppState::eDcCorrectionScan));
    const ScanRecord* s = data->scan(0, 0);
    QCOMPARE(s->dcInitScans.size(), 0);
    QCOMPARE(s->accumulated.count(), 3);
    // A symmetric double-probe curve: currents of both signs, odd in V.
    QVERIFY(s->accumulated.meanCurrent(0) < 0);
    QVERIFY(s->accumulated.meanCurrent(s->accumulated.pointCount() - 1) > 0);
    QVERIFY(unitIdle());
}

void TestScanSequence::spatialTimeResolvedTakesOneSlice()
{
    setUpStage();
    SingleProbeConfigParam c = baseConfig();
    c.spat.bUseSpatScan = true;
    c.spat.start = 0;
    c.spat.end = 2;
    c.spat.step = 2;
    c.sync.bUseSyncScan = true;
    c.sync.start = 200;
    c.sync.duration = 900;
    c.sync.resolution = 100;
    c.useAutoCMRange = false;
    c.userChosenCMRange = 1;
    c.dataScanRunParam.voltageStart = -30;
    c.dataScanRunParam.voltageEnd = 10;
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    QCOMPARE(data->groupCount(), 2);
    for (int g = 0; g < 2; ++g) {
        QCOMPARE(data->scansOfGroup(g).size(), 1); // one time slice per position
        QVERIFY2(std::fabs(data->scan(g, 0)->resolvedTime - 200) < 1, qPrintable(QString::number(data->scan(g, 0)->resolvedTime)));
        QVERIFY(data->scan(g, 0)->ionCurrent[0] < 0);
    }
}

void TestScanSequence::plasmaAgainstTruth_data()
{
    QTest::addColumn<double>("kTe");
    QTest::addColumn<double>("ne");
    QTest::addColumn<double>("length");
    // Hot: the data sweeps meet more electron current than the ion current
    // suggests. Steep: the smart walk's coarse step lands past the knee.
    QTest::newRow("hot plasma") << 8.0 << 1e16 << 0.012;
    QTest::newRow("steep plasma") << 1.0 << 1e17 << 0.010;
}

void TestScanSequence::plasmaAgainstTruth()
{
    QFETCH(double, kTe);
    QFETCH(double, ne);
    QFETCH(double, length);
    qsim::Config w = quickWorld();
    w.measurement.plasma.kTe = kTe;
    w.measurement.plasma.ne = ne;
    w.measurement.plasma.probeLength = length;
    setUpRig(w);
    LangmuirSettings s = data->analysisSettings();
    s.probeLength = length;
    data->setAnalysisSettings(s);
    SingleProbeConfigParam c = baseConfig();
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    const qsim::PlasmaState truth = qsim::truePlasma(0, 0);
    const ScanRecord* rec = data->scan(0, 0);
    QVERIFY(rec->measurementAlert.isEmpty());
    const ScanRunParam& d = data->configs().workingCopy().dataScanRunParam;
    const double kTeRun = analysed(0, 0, ResultRecord::eKTe);
    const double Vp = analysed(0, 0, ResultRecord::eVp);
    const double Ne = analysed(0, 0, ResultRecord::eNe);
    report("%s: truth kTe %.3f Vp %.3f Ne %.4g; run kTe %.3f (%+.1f %%) Vp %.3f (%+.2f V) Ne %.4g (%+.1f %%), "
           "range %u, sweep %.2f .. %.2f V",
           QTest::currentDataTag(), truth.kTe, truth.Vp, truth.ne, kTeRun, 100 * (kTeRun / truth.kTe - 1),
           Vp, Vp - truth.Vp, Ne, 100 * (Ne / truth.ne - 1), rec->currentRange, d.voltageStart, d.voltageEnd);
    QVERIFY(d.voltageEnd > truth.Vp); // the sweep passes the plasma potential
    QVERIFY(std::fabs(kTeRun - truth.kTe) < 0.1 * truth.kTe);
    QVERIFY(std::fabs(Vp - truth.Vp) < 0.15 * truth.kTe + 0.3); // the sweep steps by kTe / 10
    QVERIFY(std::fabs(Ne - truth.ne) < 0.15 * truth.ne);
}

void TestScanSequence::fullScaleIsReported()
{
    // A range a hundred times too sensitive for the electron current.
    SingleProbeConfigParam c = baseConfig();
    c.useAutoCMRange = false;
    c.ionCurrentUseBestCurrentRange = false;
    c.userChosenCMRange = 3;
    c.useSmartScan = false;
    QVERIFY(!seq->runScan(c));
    const QStringList fullScale = seam.alerts().filter("full scale");
    QCOMPARE(fullScale.size(), 1);
    QVERIFY(fullScale.first().startsWith("[ERROR] Data Scan: Current reached full scale ("));
    ScanRecord* rec = data->scan(0, 0);
    const int n = rec->accumulated.pointCount();
    const QRegularExpression count(QString("at (\\d+) of %1 points").arg(n));
    const QRegularExpressionMatch m = count.match(rec->measurementAlert);
    QVERIFY2(m.hasMatch(), qPrintable(rec->measurementAlert));
    QVERIFY(m.captured(1).toInt() > 0 && m.captured(1).toInt() < n);
    // The session window shows the scan's text: the analysis keeps the note.
    data->analyseScan(0, 0);
    QVERIFY(data->scan(0, 0)->error.startsWith(rec->measurementAlert));
    QVERIFY(unitIdle());
}

void TestScanSequence::faults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("firstAlert");
    QTest::addColumn<QString>("runAlert");
    QTest::newRow("register write") << 0 << "[ERROR] Set Scan Parameters: Failed to set scan type (retVal = 0)."
                                    << "[ERROR] Scan: Failed to Read Ion Current.";
    QTest::newRow("short stream") << 1 << "[ERROR] Data Scan: Failed to read data from scan (retVal = 0)."
                                  << "[ERROR] Scan: Failed to run Data Scan.";
    QTest::newRow("stalled stream") << 2 << "[ERROR] Data Scan: Failed to read data from scan (retVal = 0)."
                                    << "[ERROR] Scan: Failed to run Data Scan.";
    QTest::newRow("lost SYNC") << 3 << "[ERROR] Simple Init Scan: Failed to start scan (retVal = 0)."
                               << "[ERROR] Scan: Failed to run Simple Init Scan.";
    QTest::newRow("drive error") << 4 << "[ERROR] Scan: Failed to move Linear Driver to position 0[mm]." << "";
}

void TestScanSequence::faults()
{
    QFETCH(int, fault);
    QFETCH(QString, firstAlert);
    QFETCH(QString, runAlert);
    SingleProbeConfigParam c = baseConfig();
    if (fault == 4) {
        setUpStage();
        c.spat.bUseSpatScan = true;
        c.spat.start = 0;
        c.spat.end = 10;
        c.spat.step = 5;
    }
    if (fault == 1 || fault == 2 || fault == 3) {
        dataScansOnly(c);
    }
    if (fault == 3)
        c.sync.bUseSyncScan = true;
    int dataReads = 0;
    seam.onSlice = [&] {
        if (fault == 1 && seam.state() == AppState::eDataScan && dataReads++ == 0)
            qsim::injectStreamFault(0, qsim::StreamFault::LastPacketEarly);
    };
    if (fault == 0)
        qsim::failCall(qsim::Call::WriteCommand, 1, QUSB_ERROR_IOCTL_FAILED);
    if (fault == 1)
        qsim::injectStreamFault(0, qsim::StreamFault::LastPacketEarly);
    if (fault == 2)
        qsim::injectStreamFault(0, qsim::StreamFault::KeepAliveOnly);
    if (fault == 3) {
        qsim::MeasurementConfig m = qsim::measurementConfig();
        m.sync.present = false;
        qsim::setMeasurementConfig(m);
    }
    if (fault == 4) {
        // Homing succeeds; then the controller refuses every motion.
        QVERIFY(drive->initialise());
        qsim::setMotorFault(0, qsim::MotorFault::ErrorCode, 83, -1);
    }
    QVERIFY(!seq->runScan(c));
    QVERIFY2(!seam.alerts().isEmpty() && seam.alerts().first() == firstAlert, qPrintable(seam.alerts().join('\n')));
    if (!runAlert.isEmpty())
        QVERIFY2(seam.alerts().contains(runAlert), qPrintable(seam.alerts().join('\n')));
    QCOMPARE(seam.boxes.size(), 1);
    QCOMPARE(observer.ends, 1);
    qsim::clearStreamFaults(0);
    QVERIFY(unitIdle());
}

void TestScanSequence::abortInEachPhase_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("stalled");
    QTest::addColumn<bool>("sync");
    QTest::addColumn<int>("afterSweeps"); // abort once so many kept sweeps are in; -1: on entering the state
    QTest::addColumn<QString>("alert");
    QTest::addColumn<int>("scans"); // records left in the session
    QTest::addColumn<QString>("note"); // their measurement alert
    const QString aborted = "Failed to read data from scan (Process aborted).";
    QTest::newRow("ion current, read blocked") << int(AppState::eReadingIonCurrent) << true << false << -1
                                               << "[ERROR] Read Ion Current: " + aborted << 0 << "";
    QTest::newRow("simple initial scan") << int(AppState::eSimpleInitScan) << false << false << -1
                                         << "[ERROR] Simple Init Scan: " + aborted << 0 << "";
    QTest::newRow("smart initial scan") << int(AppState::eSmartInitScan) << false << false << -1
                                        << "[ERROR] Smart Init Scan: " + aborted << 0 << "";
    QTest::newRow("DC correction") << int(AppState::eDcCorrectionScan) << false << false << -1
                                   << "[ERROR] DC Correction Scan: " + aborted << 0 << "";
    QTest::newRow("time-resolved, initial scan") << int(AppState::eSimpleInitScan) << false << true << -1
                                                 << "[ERROR] Simple Init Scan: " + aborted << 0 << "";
    QTest::newRow("data scan") << int(AppState::eDataScan) << false << false << -1
                               << "[ERROR] Data Scan: " + aborted << 0 << "";
    QTest::newRow("data scan, one sweep kept") << int(AppState::eDataScan) << false << false << 1
                                               << "[ERROR] Data Scan: " + aborted << 1
                                               << "aborted after 1 of 3 sweeps";
}

// An abort ends the phase it meets; records that no data reached are not
// kept, and a data scan cut short says how far it came.
void TestScanSequence::abortInEachPhase()
{
    QFETCH(int, state);
    QFETCH(bool, stalled);
    QFETCH(bool, sync);
    QFETCH(int, afterSweeps);
    QFETCH(QString, alert);
    QFETCH(int, scans);
    QFETCH(QString, note);
    SingleProbeConfigParam c = baseConfig();
    c.useSmartScan = state == AppState::eSmartInitScan;
    if (sync) {
        c.sync.bUseSyncScan = true;
        c.useAutoCMRange = true;
    }
    auto press = [&] {
        if (seam.state() == state && !abortFlag.load() && observer.changed >= std::max(0, afterSweeps)) {
            abortFlag = true;
            ctrl->abortAll();
        }
    };
    if (stalled) {
        // The stream stalls: the read blocks in the job thread until Abort ends it.
        qsim::injectStreamFault(0, qsim::StreamFault::KeepAliveOnly);
        seam.onSlice = press;
    } else if (afterSweeps > 0) {
        // Right after a kept sweep reached the record: the next read meets the abort.
        observer.onChanged = press;
    } else {
        seam.onState = [&](int) { press(); };
    }
    QVERIFY(!seq->runScan(c));
    qsim::clearStreamFaults(0);
    QVERIFY2(seam.alerts().first() == alert, qPrintable(seam.alerts().join('\n')));
    QVERIFY(seam.boxes.isEmpty());
    QCOMPARE(seam.logLines.last(), QString("Scan has been aborted"));
    QVERIFY(worker->isIdle());
    QVERIFY(unitIdle());
    QCOMPARE(data->scanCount(), scans);
    if (sync)
        QVERIFY(observer.filed > 1); // time points were filed, then withdrawn
    for (int g = 0; g < data->groupCount(); ++g)
        for (const ScanRecord& r : data->scansOfGroup(g)) {
            QVERIFY(r.accumulated.count() > 0);
            QCOMPARE(r.measurementAlert, note);
        }
}

void TestScanSequence::abortEndsTimedWait()
{
    SingleProbeConfigParam c = baseConfig();
    c.timed.bUseTimedScan = true;
    c.timed.start = 3600;
    c.ionCurrentDisable = true;
    seam.onSlice = [&] {
        if (seam.clockMs > 1000)
            abortFlag = true;
    };
    QVERIFY(!seq->runScan(c));
    QVERIFY(seam.clockMs < 1100);
    QCOMPARE(data->scanCount(), 0);
    QVERIFY(seam.boxes.isEmpty());
    QVERIFY(unitIdle());
}

void TestScanSequence::driveFailsToInitialise()
{
    SingleProbeConfigParam c = baseConfig(); // no motor controller on the line
    c.spat.bUseSpatScan = true;
    QVERIFY(!seq->runScan(c));
    QCOMPARE(seam.alerts(), QStringList{"[ERROR] Scan: Failed to Initialise Linear Driver Controller."});
    QCOMPARE(seam.boxes.size(), 1);
    QVERIFY(seam.boxes.first().startsWith("Unable to init linear drive|unable to initialize linear drive\n"));
    QCOMPARE(seam.state(), 0);
    QCOMPARE(observer.ends, 1);
    QCOMPARE(data->scanCount(), 0);
}

QTEST_GUILESS_MAIN(TestScanSequence)
#include "tst_scansequence.moc"
