// The fault matrix: time-averaged, time-resolved and spatial runs and a
// cleaning, each meeting one fault of the simulated unit's fault.* keys right
// after its first kept sweep (cleaning: its first measured cycle). For every
// cell: the procedure ends, the alert names what failed, every scan measured
// before the fault is still in the session, and the unit is left stopped at
// the idle voltage (read from its registers and the bus trace) wherever it can
// still be reached; a unit that cannot be stopped is reported as such.
#include "RigFixture.h"

#include "AppState.h"

#include <QTemporaryDir>
#include <map>

using namespace simtest;

namespace {
enum Mode { eTimeAveraged, eTimeResolved, eSpatial, eCleaning };
// What the cell expects of the unit afterwards.
enum UnitEnd { eIdle, eUnstoppable, eUnreachable };
// The counter a fault's N counts on.
enum Counter { eReads, eWrites, eStops, eCalls, eMoves };

unsigned counted(Counter c)
{
    const qsim::FaultCounts n = qsim::faultCounts(0);
    switch (c) {
    case eReads: return n.reads;
    case eWrites: return n.writes;
    case eStops: return n.stops;
    case eCalls: return n.calls;
    case eMoves: return n.moves;
    }
    return 0;
}

// Sees every kept sweep (the session's records and their sweep counts) and
// arms the fault at the first one.
struct Observer : RunObserver {
    std::function<void()> onFirstKept;
    std::map<std::pair<int, int>, int> kept;
    DataAnalyzer* data = nullptr;
    void scanChanged(int g, int i) override
    {
        const ScanRecord* s = data->scan(g, i);
        kept[{g, i}] = s ? s->accumulated.count() : -1;
        if (onFirstKept) {
            auto arm = std::move(onFirstKept);
            onFirstKept = nullptr;
            arm();
        }
    }
};

// Cleaning announces each measured cycle in the status text; it runs until
// its clock says so, which therefore ticks.
class MatrixSeam : public TestSeam
{
public:
    MatrixSeam() { waitForJobs = true; }
    std::function<void()> onCleaningCycle;
    void appendStateText(const QString& text) override
    {
        TestSeam::appendStateText(text);
        if (onCleaningCycle && text.contains(QLatin1String("(I = "))) {
            auto arm = std::move(onCleaningCycle);
            onCleaningCycle = nullptr;
            arm();
        }
    }
};
} // namespace

class TestFaultMatrix : public QObject, Rig<MatrixSeam>
{
    Q_OBJECT
private slots:
    void cleanup();
    void matrix_data();
    void matrix();

private:
    void setUp(Mode mode);

    QTemporaryDir dir;
    Observer observer;
};

void TestFaultMatrix::setUp(Mode mode)
{
    qsim::Config w = quickWorld();
    // The drive moves on the simulated clock, which must run for it.
    if (mode == eSpatial)
        w.modules[0].motor.family = qsim::MotorFamily::PM600;
    freshRig(w, mode == eSpatial ? 200 : 0);
    QVERIFY(qsim::traceTo(dir.filePath("trace.txt").toStdString()));
    observer = Observer();
    sessionObserver = &observer;
    connectRig();
    if (QTest::currentTestFailed())
        return;
    ctrl->setLinearDriveSlope(0.001);
    ctrl->setLinearDriveIntercept(0);
    observer.data = data.get();
}

void TestFaultMatrix::cleanup()
{
    tearDownRig();
    qsim::traceTo(std::string());
    qsim::clearFaults();
}

void TestFaultMatrix::matrix_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("key");   // %1: N
    QTest::addColumn<int>("counter");   // what N counts
    QTest::addColumn<int>("offset");    // N = count at the first kept sweep + offset
    QTest::addColumn<QString>("alert"); // pattern of an alert line (empty: no alert at all)
    QTest::addColumn<int>("unitEnd");

    const struct {
        Mode mode;
        const char* name;
    } modes[] = {{eTimeAveraged, "time-averaged"}, {eTimeResolved, "time-resolved"}, {eSpatial, "spatial"},
                 {eCleaning, "cleaning"}};
    // After the first kept sweep: the next bulk read fails or comes damaged
    // (one read may carry several sweeps: whichever phase reads next says so);
    // the next stop fails once (tried again: no harm) or for good; the unit
    // is unplugged at its next call.
    const QString read = R"(: Failed to read data from scan \(retVal = 0\)\.$)";
    const QString stop = R"(: Failed to stop running scan\.$)";
    for (const auto& m : modes) {
        auto row = [&](const char* fault) -> QTestData& {
            return QTest::newRow(qPrintable(QString("%1 / %2").arg(m.name, fault)));
        };
        row("read") << int(m.mode) << "fault.read=%1" << int(eReads) << 1 << read << int(eIdle);
        row("stream") << int(m.mode) << "fault.stream=%1" << int(eReads) << 1 << read << int(eIdle);
        row("stop once") << int(m.mode) << "fault.stop=%1" << int(eStops) << 1 << QString() << int(eIdle);
        row("stop for good") << int(m.mode) << "fault.stop=%1+" << int(eStops) << 1 << stop << int(eUnstoppable);
        row("gone") << int(m.mode) << "fault.gone=%1" << int(eCalls) << 1
                    << R"(: Failed to (read data from scan \(retVal = 0\)|stop running scan)\.$)" << int(eUnreachable);
    }
    // The first write after the two transfers of the next stop: the next
    // phase's first setting, or the move to the next position.
    const QString scanType = R"(^\[ERROR\] Set Scan Parameters: Failed to set scan type \(retVal = 0\)\.$)";
    QTest::newRow("time-averaged / write") << int(eTimeAveraged) << "fault.write=%1" << int(eWrites) << 3
                                           << scanType << int(eIdle);
    QTest::newRow("time-resolved / write") << int(eTimeResolved) << "fault.write=%1" << int(eWrites) << 3
                                           << scanType << int(eIdle);
    const QString move = R"(^\[ERROR\] Scan: Failed to move Linear Driver to position 5\[mm\]\.$)";
    QTest::newRow("spatial / write") << int(eSpatial) << "fault.write=%1" << int(eWrites) << 3 << move << int(eIdle);
    QTest::newRow("cleaning / write") << int(eCleaning) << "fault.write=%1" << int(eWrites) << 3
                                      << R"(^\[ERROR\] Clean Probe: Failed to set settling delays \(retVal = 0\)\.$)"
                                      << int(eIdle);
    for (const char* motor : {"stall", "noreply", "error"})
        QTest::newRow(qPrintable(QString("spatial / motor %1").arg(motor)))
            << int(eSpatial) << QString("fault.motor=%1; fault.motorAt=%2").arg(motor, "%1") << int(eMoves) << 1
            << move << int(eIdle);
}

void TestFaultMatrix::matrix()
{
    QFETCH(int, mode);
    QFETCH(QString, key);
    QFETCH(int, counter);
    QFETCH(int, offset);
    QFETCH(QString, alert);
    QFETCH(int, unitEnd);
    setUp(Mode(mode));
    if (QTest::currentTestFailed())
        return;

    // The fault as a user writes it, with N counted from the connect.
    QString armed;
    auto arm = [&] {
        armed = key.arg(counted(Counter(counter)) + offset);
        qsim::Config parsed;
        std::string error;
        if (qsim::parseConfig(armed.toStdString(), parsed, &error))
            qsim::scheduleFaults(0, parsed.modules[0].faults);
        else
            armed = QString::fromStdString(error);
    };

    SingleProbeConfigParam c;
    c.dataScanRunScans = 2;
    c.dataScanThrowScans = 0;
    c.dcCScanSweeps = 1;
    c.dataScanRunParam.integrationTime = 20;
    c.initScanRunParam.integrationTime = 20;
    c.ionCurrentScanRunParam.integrationTime = 20;
    c.dcCScanRunParam.integrationTime = 20;
    c.voltageIdle = -5;
    bool ok = false;
    if (mode == eCleaning) {
        c.clean.voltage = 80;
        c.clean.power = 1;
        c.clean.duration = 2;
        seam.onCleaningCycle = arm;
        seam.tick = true;
        ProbeCleaner::Context ctx;
        ctx.connected = true;
        ctx.probeRadius = 0.000195;
        ctx.probeLength = 0.01;
        ok = cleaner->cleanProbeTip(c, ctx);
    } else {
        // Two cycles or positions: the fault comes after the first one's kept sweep.
        if (mode == eSpatial) {
            c.spat.bUseSpatScan = true;
            c.spat.start = 0;
            c.spat.end = 5;
            c.spat.step = 5;
            c.useSmartScan = false;
        } else {
            c.timed.bUseTimedScan = true;
            c.timed.step = 1;
            c.timed.end = 1;
        }
        if (mode == eTimeResolved)
            timeResolvedRun(c);
        observer.onFirstKept = arm;
        ok = seq->runScan(c);
    }
    const QStringList alerts = seam.alerts();
    const QString said = armed + "\n" + alerts.join('\n');
    // The cell for the record (the driver-log capture takes qDebug and friends).
    std::fprintf(stderr, "cell %s | %s | %s | %s | scanning %d\n", QTest::currentDataTag(), qPrintable(armed),
                 ok ? "ok" : "failed", qPrintable(alerts.join(" / ")), qsim::cnfgRegister(0, 0) & 1);
    QVERIFY2(!armed.isEmpty() && armed.startsWith("fault."), qPrintable(said));
    // The procedure ended, in bounded (simulated) time, failed exactly when it said so.
    QVERIFY2(seam.clockMs < 120000, qPrintable(QString::number(seam.clockMs)));
    QCOMPARE(ok, alerts.isEmpty());
    if (alert.isEmpty())
        QVERIFY2(alerts.isEmpty(), qPrintable(said));
    else
        QVERIFY2(!alerts.filter(QRegularExpression(alert)).isEmpty(), qPrintable(said));

    // The fault fired (not a cell that passes for want of it).
    const QStringList trace = traceLines(dir.filePath("trace.txt"));
    if (counter != eMoves)
        QVERIFY2(!trace.filter("injected fault").isEmpty(), qPrintable(said));

    // Every scan measured before the fault is still there, with its sweeps.
    for (const auto& k : observer.kept) {
        const ScanRecord* s = data->scan(k.first.first, k.first.second);
        QVERIFY(s);
        QVERIFY(s->accumulated.count() >= k.second);
    }
    if (mode != eCleaning)
        QVERIFY2(!observer.kept.empty(), "no sweep was kept before the fault");

    if (unitEnd == eIdle) {
        // Stopped, at the idle voltage, and the idle write came after the last stop.
        QVERIFY(unitIdle(c.voltageIdle));
        int lastStop = -1, lastIdle = -1;
        for (int i = 0; i < trace.size(); ++i) {
            if (trace[i].contains(", scan stop"))
                lastStop = i;
            if (trace[i].contains("-> 1") && trace[i].contains("CNFG3 idleDac := "))
                lastIdle = i;
        }
        QVERIFY(lastStop >= 0);
        QVERIFY2(lastIdle > lastStop, qPrintable(said));
    } else {
        // A unit that cannot be stopped or reached: the program does not
        // take it for stopped, and says so.
        QVERIFY(qsim::cnfgRegister(0, 0) & 1);
        QVERIFY(ctrl->isScanRunning());
        const QString prefix = mode == eCleaning ? "[ERROR] Clean Probe: " : "[ERROR] Scan: ";
        QVERIFY2(alerts.contains(prefix + "Failed to stop running scan."), qPrintable(said));
    }
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
