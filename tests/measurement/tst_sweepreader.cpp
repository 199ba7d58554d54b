// The shared sweep steps against the simulated unit: scan parameters reach its
// registers, a sweep is read through the job thread, and each failure (register
// write, stream, abort, wrong shape) becomes its one alert line.
#include "RigFixture.h"

#include "AppState.h"

#include <climits>

using namespace simtest;

class TestSweepReader : public QObject, Rig<>
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readsOneSweep();
    void failures_data();
    void failures();
    void abortBeforeRead();
    void rangePairsWait();
    void waitEndsOnAbort();
    void hardwareAverageClamped_data();
    void hardwareAverageClamped();
    void syncParametersRealised();
};

void TestSweepReader::init()
{
    setUpRig(qsim::Config());
}

void TestSweepReader::cleanup()
{
    tearDownRig();
    qsim::clearFaults();
}

void TestSweepReader::readsOneSweep()
{
    ScanRunParam run;
    run.voltageStart = -40;
    run.voltageStep = 1;
    run.voltageEnd = 20;
    run.integrationTime = 10;
    SyncParam sync;
    QVERIFY(io->setScanParameters(run, sync));
    QVERIFY(io->setRange(1, AlertPrefix::DataScan));
    ScanReadout out;
    QVERIFY(io->readOne(AlertPrefix::DataScan, SweepReader::kSweepSliceMs, SweepShape(), out));
    QCOMPARE(out.syncPoints, 1u);
    QCOMPARE(out.steps, 61u);
    QVERIFY(std::fabs(out.data[0] + 40) < 0.1);
    QVERIFY(std::fabs(out.data[60] - 20) < 0.1);
    // Ion side negative, electron side positive, as the simulated probe.
    QVERIFY(out.data[61] < 0);
    QVERIFY(out.data[61 + 60] > 0);
    QVERIFY(!ctrl->isScanRunning());
    QVERIFY(seam.alerts().isEmpty());
}

void TestSweepReader::failures_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("alert");
    QTest::newRow("failed bulk read") << 0 << "[ERROR] Data Scan: Failed to read data from scan (retVal = 0).";
    QTest::newRow("short stream") << 1 << "[ERROR] Data Scan: Failed to read data from scan (retVal = 0).";
    QTest::newRow("one point expected") << 2
                                        << "[ERROR] Data Scan: Failed to read data from scan (wrong data format "
                                           "df:1, dp:11).";
    QTest::newRow("scan type write") << 3 << "[ERROR] Set Scan Parameters: Failed to set scan type (retVal = 0).";
}

void TestSweepReader::failures()
{
    QFETCH(int, fault);
    QFETCH(QString, alert);
    ScanRunParam run;
    run.voltageStart = -5;
    run.voltageEnd = 5;
    run.integrationTime = 10;
    SyncParam sync;
    SweepShape shape;
    if (fault == 0)
        qsim::failCall(qsim::Call::ReadData, 1, QUSB_ERROR_IOCTL_FAILED);
    else if (fault == 1)
        qsim::injectStreamFault(0, qsim::StreamFault::LastPacketEarly);
    else if (fault == 2)
        shape.oneStep = true;
    else
        qsim::failCall(qsim::Call::WriteCommand, 1, QUSB_ERROR_IOCTL_FAILED);
    ScanReadout out;
    const bool ok = io->setScanParameters(run, sync)
                    && io->readOne(AlertPrefix::DataScan, SweepReader::kDataSliceMs, shape, out);
    QVERIFY(!ok);
    QCOMPARE(seam.alerts(), QStringList{alert});
    QVERIFY(!ctrl->isScanRunning());
    QVERIFY(worker->isIdle());
}

void TestSweepReader::abortBeforeRead()
{
    ScanRunParam run;
    run.integrationTime = 10;
    SyncParam sync;
    QVERIFY(io->setScanParameters(run, sync));
    abortFlag = true;
    ScanReadout out;
    QVERIFY(!io->readOne(AlertPrefix::ReadIonCurrent, SweepReader::kSweepSliceMs, SweepShape(), out));
    QCOMPARE(seam.alerts(),
             QStringList{"[ERROR] Read Ion Current: Failed to read data from scan (Process aborted)."});
    QVERIFY(!ctrl->isScanRunning());
}

void TestSweepReader::rangePairsWait()
{
    QVERIFY(io->setRange(0, AlertPrefix::DataScan));
    seam.sleptMs = 0;
    QVERIFY(io->setRange(1, AlertPrefix::DataScan)); // same pair
    QCOMPARE(seam.sleptMs, qint64(0));
    QVERIFY(io->setRange(3, AlertPrefix::DataScan)); // another pair
    QCOMPARE(seam.sleptMs, qint64(SweepReader::kRangePairSettleMs));
    QCOMPARE(ctrl->getMeasuringRange(), 3u);
    QVERIFY(io->setRange(3, AlertPrefix::DataScan)); // unchanged
    QCOMPARE(seam.sleptMs, qint64(SweepReader::kRangePairSettleMs));
}

void TestSweepReader::waitEndsOnAbort()
{
    seam.onSlice = [&] {
        if (seam.clockMs >= 350)
            abortFlag = true;
    };
    QVERIFY(!io->waitWithEvents(10000));
    QVERIFY(seam.clockMs < 400);
    abortFlag = false;
    seam.onSlice = nullptr;
    const qint64 before = seam.clockMs;
    QVERIFY(io->waitWithEvents(100));
    QCOMPARE(seam.clockMs - before, qint64(100)); // slices of at most 35 ms add up exactly
}

void TestSweepReader::hardwareAverageClamped_data()
{
    QTest::addColumn<double>("integration");
    QTest::addColumn<unsigned>("avg");
    QTest::addColumn<bool>("sync");
    QTest::addColumn<unsigned>("expected");
    QTest::newRow("plain") << 100.0 << 1u << false << 7987u;
    QTest::newRow("two per step") << 10.0 << 2u << false << 1597u;
    QTest::newRow("synchronised takes avgPerStep") << 100.0 << 7u << true << 7u;
    QTest::newRow("negative") << -5.0 << 1u << false << 0u;
    QTest::newRow("too large") << 1e12 << 1000u << false << UINT_MAX;
    QTest::newRow("not a number") << std::nan("") << 1u << false << 0u;
}

void TestSweepReader::hardwareAverageClamped()
{
    QFETCH(double, integration);
    QFETCH(unsigned, avg);
    QFETCH(bool, sync);
    QFETCH(unsigned, expected);
    ScanRunParam run;
    run.integrationTime = integration;
    run.avgPerStep = avg;
    QCOMPARE(SweepReader::hardwareAverage(run, sync, 7.9872e7), expected);
}

void TestSweepReader::syncParametersRealised()
{
    ScanRunParam run;
    run.voltageStart = -10;
    run.voltageEnd = 10;
    run.voltageStep = 2;
    SyncParam sync;
    sync.bUseSyncScan = true;
    sync.start = 0;
    sync.duration = 500;
    sync.resolution = 100;
    QVERIFY(io->setScanParameters(run, sync));
    QVERIFY(sync.duration >= 400);
    ScanReadout out;
    QVERIFY(io->readOne(AlertPrefix::DataScan, SweepReader::kDataSliceMs, SweepShape(), out));
    QVERIFY(out.syncPoints >= 2);
    QCOMPARE(out.steps, 11u);
}

QTEST_GUILESS_MAIN(TestSweepReader)
#include "tst_sweepreader.moc"
