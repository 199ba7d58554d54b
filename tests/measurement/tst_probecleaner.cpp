// Probe-tip cleaning against the simulated unit, headless: the duty on its
// own; a single probe in one pass and a double probe tip by tip, the power
// converging on the target (checked against the simulated plasma's true
// currents); saturation; every failure, refusal and abort leaving the unit
// idle at the idle voltage (its registers, not the library's belief); the
// automatic check with its relaxation wait; a run whose first data scan is
// preceded by an automatic cleaning.
#include "RigFixture.h"

#include "AppState.h"

#include <QTemporaryDir>

using namespace simtest;

namespace {
const double kRadius = 0.000195, kLength = 0.01;

// A read costs at most about one slice of the simulated clock, however long
// the job thread takes for real (a slice waits for it, a few ms at most: a
// stalled stream goes on slicing until Abort); the clock also moves a little
// with every look at it, so a pass whose reads all come back at once ends.
struct CleanSeam : TestSeam {
    CleanSeam()
    {
        waitForJobs = true;
        tick = true;
    }
};
} // namespace

class TestProbeCleaner : public QObject, Rig<CleanSeam>
{
    Q_OBJECT
private slots:
    void init() { setUp(quickWorld()); }
    void cleanup();

    void dutySetting_data();
    void dutySetting();
    void dutyRules_data();
    void dutyRules();
    void referenceCurrent_data();
    void referenceCurrent();

    void singleProbeOnePass_data();
    void singleProbeOnePass();
    void doubleProbeTwoPasses();
    void saturationAtRangeZero();
    void failuresLeaveTheUnitIdle_data();
    void failuresLeaveTheUnitIdle();
    void refusalsMakeNoControllerCall_data();
    void refusalsMakeNoControllerCall();

    void firstCheckCleansThenRelaxes();
    void relaxationAfterRecentCleaning();
    void abortEndsRelaxation();
    void autoCleanBeforeFirstDataScan();
    void failedAutoCleanEndsTheRun();

private:
    void setUp(qsim::Config w, VESK_HW::eProbeMode mode = VESK_HW::eSingle);
    ProbeCleaner::Context context() const;
    void wireAutoClean();

    SingleProbeConfigParam cfg;
    QTemporaryDir dir;
};

void TestProbeCleaner::setUp(qsim::Config w, VESK_HW::eProbeMode mode)
{
    cfg = SingleProbeConfigParam();
    cfg.voltageIdle = -5;
    cfg.clean.voltage = 80;
    cfg.clean.power = 1;
    cfg.clean.duration = 1;
    setUpRig(w, 0, cfg.voltageIdle);
    if (QTest::currentTestFailed())
        return;
    if (mode != VESK_HW::eSingle)
        QVERIFY(ctrl->selectProbeMode(mode));
    // The range a measurement of the ion side leaves behind.
    QVERIFY(ctrl->setMeasuringRange(3));
}

void TestProbeCleaner::cleanup()
{
    tearDownRig();
    qsim::traceTo(std::string());
    qsim::clearFaults();
    qsim::clearStreamFaults(0);
}

ProbeCleaner::Context TestProbeCleaner::context() const
{
    ProbeCleaner::Context c;
    c.connected = true;
    c.probeRadius = kRadius;
    c.probeLength = kLength;
    c.advanced = true;
    return c;
}

// The run asks the cleaner before its data scans, as the program does.
void TestProbeCleaner::wireAutoClean()
{
    seq->cleanIfDue = [this] {
        const ConfigParam& run = seq->session()->configs().workingCopy();
        return cleaner->cleanIfDue(run, ProbeCleaner::contextFor(*seq->session(), run, true, false));
    };
}

// ---------------------------------------------------------------- the duty

void TestProbeCleaner::dutySetting_data()
{
    QTest::addColumn<double>("duty");
    QTest::addColumn<bool>("cleanStronger");
    QTest::addColumn<int>("idleParts");
    QTest::addColumn<unsigned>("firstDelay");
    QTest::addColumn<unsigned>("nextDelay");
    QTest::addColumn<unsigned>("samples");
    // adcFreq 1 MHz: the 500 us window holds 499 samples.
    QTest::newRow("start: 5 % at the cleaning level") << 0.05 << true << 9500 << 9000u << 0u << 499u;
    QTest::newRow("above half: the cleaning level is the long one") << 0.8 << true << 2000 << 1500u << 7500u << 499u;
    QTest::newRow("tiny duty keeps 100 parts") << 0.001 << true << 9900 << 9800u << 0u << 100u;
    QTest::newRow("full duty leaves 100 parts idle") << 1.0 << true << 100 << 0u << 9800u << 100u;
    QTest::newRow("idle level stronger") << 0.05 << false << 500 << 0u << 9000u << 499u;
    QTest::newRow("not a number: the start duty") << std::nan("") << true << 9500 << 9000u << 0u << 499u;
}

void TestProbeCleaner::dutySetting()
{
    QFETCH(double, duty);
    QFETCH(bool, cleanStronger);
    QFETCH(int, idleParts);
    QFETCH(unsigned, firstDelay);
    QFETCH(unsigned, nextDelay);
    QFETCH(unsigned, samples);
    CleaningDuty d;
    d.duty = duty;
    d.cleanIsStronger = cleanStronger;
    const CleaningDuty::Setting s = d.setting(1e6);
    QCOMPARE(s.idleParts, idleParts);
    QCOMPARE(s.idleParts + s.cleanParts, CleaningDuty::kParts);
    QCOMPARE(s.firstDelay, firstDelay);
    QCOMPARE(s.nextDelay, nextDelay);
    QCOMPARE(s.samples, samples);
}

void TestProbeCleaner::dutyRules_data()
{
    QTest::addColumn<double>("target");
    QTest::addColumn<bool>("targetChanged");
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("ic");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<double>("duty");
    QTest::addColumn<bool>("cleanStronger");
    // V0 -5 V, Vc 100 V: at duty 0.05 the cleaning level gives 5 x ic watts.
    QTest::newRow("within 5 % of an unchanged target") << 0.52 << false << 0.0 << 0.1 << false << 0.05 << true;
    QTest::newRow("the same when the target changed") << 0.52 << true << 0.0 << 0.1 << true << 0.052 << true;
    QTest::newRow("too little power") << 1.0 << false << 0.0 << 0.1 << true << 0.1 << true;
    // 0.5 W + 0.95 x 0.05 W from the idle level is 7 % too much, yet the new duty is within 3 %.
    QTest::newRow("change within 3 % ignored") << 0.51 << false << -0.01 << 0.1 << false << 0.05 << true;
    QTest::newRow("beyond full duty") << 100.0 << false << 0.0 << 0.1 << true << 1.0 << true;
    QTest::newRow("target 0 keeps") << 0.0 << true << 0.0 << 0.1 << false << 0.05 << true;
    QTest::newRow("no current keeps") << 1.0 << true << 0.0 << 0.0 << false << 0.05 << true;
    QTest::newRow("current not a number keeps") << 1.0 << true << 0.0 << std::nan("") << false << 0.05 << true;
    QTest::newRow("target not finite keeps") << HUGE_VAL << true << 0.0 << 0.1 << false << 0.05 << true;
    QTest::newRow("idle level stronger") << 1.0 << true << -1.0 << 0.01 << true << 0.2 << false;
}

void TestProbeCleaner::dutyRules()
{
    QFETCH(double, target);
    QFETCH(bool, targetChanged);
    QFETCH(double, i0);
    QFETCH(double, ic);
    QFETCH(bool, changes);
    QFETCH(double, duty);
    QFETCH(bool, cleanStronger);
    CleaningDuty d;
    QCOMPARE(d.update(target, targetChanged, -5.0, i0, 100.0, ic), changes);
    QCOMPARE(d.duty, duty);
    QCOMPARE(d.cleanIsStronger, cleanStronger);
}

void TestProbeCleaner::referenceCurrent_data()
{
    QTest::addColumn<bool>("single");
    QTest::addColumn<bool>("timeResolved");
    QTest::addColumn<int>("records");
    QTest::addColumn<double>("expected");
    QTest::newRow("time-averaged: the last scan's") << true << false << 3 << -2e-4;
    QTest::newRow("time-resolved: the smallest") << true << true << 3 << -3e-4;
    QTest::newRow("double probe: none") << false << false << 3 << 0.0;
    QTest::newRow("empty session") << true << false << 0 << 0.0;
}

void TestProbeCleaner::referenceCurrent()
{
    QFETCH(bool, single);
    QFETCH(bool, timeResolved);
    QFETCH(int, records);
    QFETCH(double, expected);
    DataAnalyzer data;
    const double readings[3] = {-1e-4, -3e-4, -2e-4};
    for (int k = 0; k < records; ++k) {
        ScanRecord r;
        r.ionCurrent[0] = readings[k];
        data.addScan(r);
    }
    QCOMPARE(ProbeCleaner::referenceCurrent(data, single, timeResolved), expected);
    QCOMPARE(ProbeCleaner::targetPower(kRadius, kLength, 2.0), 2 * M_PI * kRadius * kLength * 2.0 * 1e5);
}

// ---------------------------------------------------------------- cleaning

void TestProbeCleaner::singleProbeOnePass_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<bool>("reachable");
    QTest::newRow("level 1") << 1.0 << true;
    QTest::newRow("level 2") << 2.0 << true;
    QTest::newRow("level 100: full duty") << 100.0 << false;
}

void TestProbeCleaner::singleProbeOnePass()
{
    QFETCH(double, level);
    QFETCH(bool, reachable);
    cfg.clean.power = level;
    const QString trace = dir.filePath("single.txt");
    qsim::traceTo(trace.toStdString());
    const uint16_t modeBefore = qsim::cnfgRegister(0, 13);
    QVERIFY2(cleaner->cleanProbeTip(cfg, context()), qPrintable(seam.alerts().join('\n')));
    QVERIFY(seam.alerts().isEmpty());

    const double target = ProbeCleaner::targetPower(kRadius, kLength, level);
    const QVector<double>& p = cleaner->powerHistory();
    QVERIFY(p.size() >= 5);
    // The start duty delivers far from the target; the control brings it within 5 %.
    QVERIFY(std::fabs(p.first() - target) > 0.05 * target);
    const CleaningDuty& d = cleaner->duty();
    if (reachable) {
        QVERIFY2(std::fabs(p.last() - target) <= 0.05 * target,
                 qPrintable(QString("last %1 W, target %2 W").arg(p.last()).arg(target)));
        // The plasma's own currents at the two levels agree with what was measured.
        const CleaningDuty::Setting s = d.setting(io->adcFreq());
        const double pc = std::fabs(80.0 * qsim::trueProbeCurrent(80.0, false, 0, 0));
        const double p0 = std::fabs(-5.0 * qsim::trueProbeCurrent(-5.0, false, 0, 0));
        const double truePower = (s.cleanParts * pc + s.idleParts * p0) / CleaningDuty::kParts;
        QVERIFY2(std::fabs(truePower - target) <= 0.08 * target,
                 qPrintable(QString("true %1 W, target %2 W").arg(truePower).arg(target)));
    } else {
        QCOMPARE(d.duty, 1.0);
        QVERIFY(p.last() < target);
    }
    // Advanced status text.
    QVERIFY2(seam.stateText.startsWith(" (I = ") && seam.stateText.contains("[mA] - Power = ")
                 && seam.stateText.contains(QString("(Target %1[W]) - Current Range = 0 - Duty Cycle = ")
                                                .arg(target, 0, 'f', 3)),
             qPrintable(seam.stateText));
    QVERIFY(seam.states.contains(AppState::eCleaning));
    // Range 3 saturated at once: range 0, after the settling wait of a change of pair.
    QVERIFY(seam.sleptMs >= SweepReader::kRangePairSettleMs);
    QCOMPARE(ctrl->getMeasuringRange(), 3u); // given back
    QVERIFY(unitIdle(cfg.voltageIdle));
    // One pass, no probe-mode change; plain (not synchronised) sweeps.
    QVERIFY(traceLines(trace, "CNFG13 probeMode :=").isEmpty());
    QCOMPARE(qsim::cnfgRegister(0, 13), modeBefore);
    QVERIFY(!traceLines(trace, "scan start").isEmpty());
    QVERIFY(traceLines(trace, "sync=1").isEmpty());
    QVERIFY(cleaner->lastCleanMs() > seam.nowMs() - 100);
}

void TestProbeCleaner::doubleProbeTwoPasses()
{
    setUp(quickWorld(), VESK_HW::eDouble);
    const QString trace = dir.filePath("double.txt");
    qsim::traceTo(trace.toStdString());
    ProbeCleaner::Context ctx = context();
    ctx.doubleProbe = true;
    QVERIFY2(cleaner->cleanProbeTip(cfg, ctx), qPrintable(seam.alerts().join('\n')));
    const QStringList modes = traceLines(trace, "CNFG13 probeMode :=");
    QCOMPARE(modes.size(), 3);
    QVERIFY2(modes[0].endsWith("(drive)"), qPrintable(modes[0]));
    QVERIFY2(modes[1].endsWith("(return)"), qPrintable(modes[1]));
    QVERIFY2(modes[2].endsWith("(double)"), qPrintable(modes[2]));
    // The unit's own register: the measuring mode of a double probe.
    QCOMPARE(qsim::cnfgRegister(0, 13) & 7, 2);
    // Each pass swept: scans started in drive and in return mode.
    QFile f(trace);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    const int drive = text.indexOf("(drive)"), ret = text.indexOf("(return)"), dbl = text.lastIndexOf("(double)");
    QVERIFY(text.indexOf("scan start", drive) < ret);
    QVERIFY(text.indexOf("scan start", ret) < dbl);
    const double target = ProbeCleaner::targetPower(kRadius, kLength, 1.0);
    QVERIFY(std::fabs(cleaner->powerHistory().last() - target) <= 0.05 * target);
    QVERIFY(unitIdle(cfg.voltageIdle));
}

void TestProbeCleaner::saturationAtRangeZero()
{
    qsim::Config w = quickWorld();
    w.measurement.plasma.ne = 1e19;
    setUp(w);
    QVERIFY(!cleaner->cleanProbeTip(cfg, context()));
    QCOMPARE(seam.alerts().size(), 1);
    const QRegularExpression exact(
        R"(^\[ERROR\] Clean Probe: Ion current saturate \(V: *(-?\d+\.\d{8})\[V\], I: *(-?\d+\.\d{8})\[A\], CR:0\)\.$)");
    const QRegularExpressionMatch m = exact.match(seam.alerts().first());
    QVERIFY2(m.hasMatch() && m.capturedLength(0) == seam.alerts().first().size(), qPrintable(seam.alerts().first()));
    // The cleaning level less the measuring resistor's drop, and the clipped current.
    QVERIFY2(m.captured(1).toDouble() > 79 && m.captured(1).toDouble() <= 80, qPrintable(m.captured(1)));
    QVERIFY2(m.captured(2).toDouble() > io->fullScale(0), qPrintable(m.captured(2)));
    QVERIFY(unitIdle(cfg.voltageIdle));
    QCOMPARE(ctrl->getMeasuringRange(), 3u);
}

void TestProbeCleaner::failuresLeaveTheUnitIdle_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("alert");
    QTest::newRow("failed bulk read") << 0 << "[ERROR] Clean Probe: Failed to read data from scan (retVal = 0).";
    QTest::newRow("abort in the first pass")
        << 1 << "[ERROR] Clean Probe: Failed to read data from scan (Process aborted).";
    QTest::newRow("abort in the second pass")
        << 2 << "[ERROR] Clean Probe: Failed to read data from scan (Process aborted).";
    QTest::newRow("stalled stream aborted")
        << 3 << "[ERROR] Clean Probe: Failed to read data from scan (Process aborted).";
    QTest::newRow("unit without double-probe mode") << 4 << "[ERROR] Clean Probe: Failed to select drive probe mode.";
}

void TestProbeCleaner::failuresLeaveTheUnitIdle()
{
    QFETCH(int, kind);
    QFETCH(QString, alert);
    qsim::Config w = quickWorld();
    w.modules[0].doubleProbeAvailable = kind != 4;
    setUp(w, kind == 4 ? VESK_HW::eSingle : VESK_HW::eDouble);
    ProbeCleaner::Context ctx = context();
    ctx.doubleProbe = true;
    const uint16_t modeBefore = qsim::cnfgRegister(0, 13);
    const qint64 lastClean = cleaner->lastCleanMs();
    int reads = 0;
    auto press = [&] {
        if (!abortFlag.load()) {
            abortFlag = true;
            ctrl->abortAll();
        }
    };
    if (kind == 0)
        qsim::failCall(qsim::Call::ReadData, 1, QUSB_ERROR_TIMEOUT);
    if (kind == 1 || kind == 2)
        seam.onState = [&](int state) {
            // Each control step shows its status; the second pass begins after the first's second.
            if (state == AppState::eCleaning && ++reads > 10 && (kind == 1 || seam.clockMs > 1100))
                press();
        };
    if (kind == 3) {
        qsim::injectStreamFault(0, qsim::StreamFault::KeepAliveOnly);
        seam.onSlice = [&] {
            if (++reads == 5)
                press();
        };
    }
    QVERIFY(!cleaner->cleanProbeTip(cfg, ctx));
    QVERIFY2(!seam.alerts().isEmpty() && seam.alerts().first() == alert, qPrintable(seam.alerts().join('\n')));
    QVERIFY(worker->isIdle());
    QVERIFY(unitIdle(cfg.voltageIdle));
    if (kind == 4) {
        // Nothing swept; the mode of before, and the failed return to it is told.
        QCOMPARE(seam.alerts().size(), 2);
        QCOMPARE(seam.alerts().last(), QString("[ERROR] Clean Probe: Failed to select double probe mode."));
        QCOMPARE(qsim::cnfgRegister(0, 13), modeBefore);
    } else {
        QCOMPARE(seam.alerts().size(), 1);
        QCOMPARE(qsim::cnfgRegister(0, 13) & 7, 2); // back in the double probe's measuring mode
    }
    QCOMPARE(ctrl->getMeasuringRange(), 3u);
    QCOMPARE(cleaner->lastCleanMs(), lastClean); // a failed cleaning is no cleaning
    // Abort ends the cleaning at once, in the pass it came in.
    if (kind == 1)
        QVERIFY(seam.clockMs < 1000);
    if (kind == 2)
        QVERIFY(seam.clockMs > 1000 && seam.clockMs < 2000);
}

void TestProbeCleaner::refusalsMakeNoControllerCall_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("alert");
    QTest::newRow("not connected") << 0 << "[ERROR] Clean Probe: VESK Device is not connected.";
    QTest::newRow("probe length 0") << 1 << "[ERROR] Clean Probe: Probe length and radius must be above 0";
    QTest::newRow("probe radius 0") << 2 << "[ERROR] Clean Probe: Probe length and radius must be above 0";
    QTest::newRow("cleaning at the idle voltage") << 3 << "[ERROR] Clean Probe: The cleaning voltage (-5 V) must";
}

void TestProbeCleaner::refusalsMakeNoControllerCall()
{
    QFETCH(int, kind);
    QFETCH(QString, alert);
    ProbeCleaner::Context ctx = context();
    ctx.connected = kind != 0;
    if (kind == 1)
        ctx.probeLength = 0;
    if (kind == 2)
        ctx.probeRadius = 0;
    if (kind == 3)
        cfg.clean.voltage = cfg.voltageIdle;
    cfg.clean.autoClean = true;
    unsigned before[int(qsim::Call::Count)];
    for (int c = 0; c < int(qsim::Call::Count); ++c)
        before[c] = qsim::callCount(qsim::Call(c));
    QVERIFY(!cleaner->cleanIfDue(cfg, ctx));
    for (int c = 0; c < int(qsim::Call::Count); ++c)
        QCOMPARE(qsim::callCount(qsim::Call(c)), before[c]);
    QCOMPARE(seam.alerts().size(), 2);
    QVERIFY2(seam.alerts().first().startsWith(alert), qPrintable(seam.alerts().first()));
    QCOMPARE(seam.alerts().last(), QString("[ERROR] Probe Tip Auto Clean: Failed to clean probe tip."));
    QVERIFY(!seam.states.contains(AppState::eCleaning));
}

// ---------------------------------------------------------------- automatic

void TestProbeCleaner::firstCheckCleansThenRelaxes()
{
    cfg.clean.autoClean = true;
    cfg.clean.relaxTime = 2;
    // The clock starts 12 hours back: the first check cleans, then waits 2 s.
    QVERIFY2(cleaner->cleanIfDue(cfg, context()), qPrintable(seam.alerts().join('\n')));
    const int cleaning = seam.states.indexOf(AppState::eCleaning);
    const int relax = seam.states.indexOf(AppState::eRelaxation);
    QVERIFY(cleaning >= 0 && relax > cleaning);
    QCOMPARE(seam.stateTexts.filter("seconds)").first(), QString("(    2 seconds)"));
    QVERIFY(seam.nowMs() - cleaner->lastCleanMs() >= 2000);
    QVERIFY(seam.nowMs() - cleaner->lastCleanMs() < 2100);

    // Within the period (600 s): no cleaning, and the relaxation is over.
    seam.states.clear();
    QVERIFY(cleaner->cleanIfDue(cfg, context()));
    QVERIFY(seam.states.isEmpty());

    // Past the period: cleaned again.
    seam.clockMs += 601 * 1000;
    QVERIFY(cleaner->cleanIfDue(cfg, context()));
    QVERIFY(seam.states.contains(AppState::eCleaning));
}

void TestProbeCleaner::relaxationAfterRecentCleaning()
{
    // A cleaning (by hand, autoClean off) 5 s ago; relaxation 20 s.
    cfg.clean.relaxTime = 20;
    cleaner->markCleaned();
    seam.clockMs += 5000;
    const qint64 start = seam.clockMs;
    QVERIFY(cleaner->cleanIfDue(cfg, context()));
    QVERIFY(!seam.states.contains(AppState::eCleaning));
    const qint64 waited = seam.clockMs - start;
    QVERIFY2(waited >= 14990 && waited <= 15100, qPrintable(QString::number(waited)));
    const QStringList texts = seam.stateTexts.filter("seconds)");
    QCOMPARE(texts.first(), QString("(   15 seconds)"));
    QVERIFY(texts.contains("(   10 seconds)"));
    // Counting down, once every half second.
    QCOMPARE(texts.size(), 30);
    for (int k = 1; k < texts.size(); ++k)
        QVERIFY(texts[k].mid(1, 5).toInt() <= texts[k - 1].mid(1, 5).toInt());
    QCOMPARE(seam.state(), int(AppState::eRelaxation));
}

void TestProbeCleaner::abortEndsRelaxation()
{
    cfg.clean.relaxTime = 600;
    cleaner->markCleaned();
    const qint64 start = seam.clockMs;
    seam.onSlice = [&] {
        if (seam.clockMs - start > 1000)
            abortFlag = true;
    };
    QVERIFY(!cleaner->cleanIfDue(cfg, context()));
    QVERIFY(seam.clockMs - start < 1100); // slices of 35 ms: Abort is seen at once
    QCOMPARE(seam.alerts(), QStringList{"[ERROR] Probe Tip Auto Clean: Failed to wait for relaxation time to expire "
                                        "(Process aborted)."});
}

void TestProbeCleaner::autoCleanBeforeFirstDataScan()
{
    wireAutoClean();
    SingleProbeConfigParam c;
    c.ionCurrentDisable = true;
    c.initScanDisable = true;
    c.dataScanRunScans = 3;
    c.dataScanThrowScans = 0;
    c.dataScanRunParam.integrationTime = 20;
    c.clean.autoClean = true;
    c.clean.duration = 1;
    c.clean.relaxTime = 1;
    c.clean.voltage = 80;
    c.voltageIdle = 0;
    QVERIFY2(seq->runScan(c), qPrintable(seam.alerts().join('\n')));
    const int cleaning = seam.states.indexOf(AppState::eCleaning);
    const int relax = seam.states.indexOf(AppState::eRelaxation);
    const int dataScan = seam.states.indexOf(AppState::eDataScan);
    QVERIFY(cleaning >= 0 && relax > cleaning && dataScan > relax);
    // One cleaning: the later cycles found it done.
    QCOMPARE(seam.states.mid(dataScan).count(AppState::eCleaning), 0);
    QCOMPARE(data->scanCount(), 1);
    QCOMPARE(data->scan(0, 0)->accumulated.count(), 3);
    QVERIFY(!cleaner->powerHistory().isEmpty());
    QVERIFY(unitIdle(0));
}

void TestProbeCleaner::failedAutoCleanEndsTheRun()
{
    LangmuirSettings s = data->analysisSettings();
    s.probeLength = 0;
    data->setAnalysisSettings(s);
    wireAutoClean();
    SingleProbeConfigParam c;
    c.ionCurrentDisable = true;
    c.initScanDisable = true;
    c.clean.autoClean = true;
    c.voltageIdle = 0;
    QVERIFY(!seq->runScan(c));
    const QStringList a = seam.alerts();
    QVERIFY2(a.size() == 4, qPrintable(a.join('\n')));
    QVERIFY(a[0].startsWith("[ERROR] Clean Probe: Probe length and radius must be above 0"));
    QCOMPARE(a[1], QString("[ERROR] Probe Tip Auto Clean: Failed to clean probe tip."));
    QCOMPARE(a[2], QString("[ERROR] Data Scan: Failed to automatically clean probe tip."));
    QCOMPARE(a[3], QString("[ERROR] Scan: Failed to run Data Scan."));
    QCOMPARE(data->scanCount(), 0);
    QVERIFY(unitIdle(0));
}

QTEST_GUILESS_MAIN(TestProbeCleaner)
#include "tst_probecleaner.moc"
