// The panel's estimate arithmetic: positions, hardware averaging, the frames a
// time-resolved window asks for and realises, the run total and the time and SYNC texts.
#include "ScanEstimate.h"

#include <QtTest>

using namespace ScanEstimate;

class TestScanEstimate : public QObject
{
    Q_OBJECT
private slots:
    void positions_data();
    void positions();
    void frames_data();
    void frames();
    void hardwareAverageFollowsMode();
    void requestCarriesTheDataScan();
    void runTotal();
    void times_data();
    void times();
    void sync_data();
    void sync();
};

void TestScanEstimate::positions_data()
{
    QTest::addColumn<bool>("spatial");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("expected");
    QTest::newRow("not spatial") << false << 0.0 << 5.0 << 100.0 << 1;
    QTest::newRow("0 to 10 by 5") << true << 0.0 << 5.0 << 10.0 << 3;
    QTest::newRow("descending 10 to 0 by 5") << true << 10.0 << 5.0 << 0.0 << 3;
    QTest::newRow("step 0 is one position") << true << 0.0 << 0.0 << 10.0 << 1;
    QTest::newRow("rounded 0 to 10 by 3") << true << 0.0 << 3.0 << 10.0 << 4;
    QTest::newRow("step larger than span") << true << 0.0 << 50.0 << 10.0 << 1;
}

void TestScanEstimate::positions()
{
    QFETCH(bool, spatial);
    QFETCH(double, start);
    QFETCH(double, step);
    QFETCH(double, end);
    QFETCH(int, expected);
    SpatParam s;
    s.bUseSpatScan = spatial;
    s.start = start;
    s.step = step;
    s.end = end;
    QCOMPARE(positionCount(s), expected);
}

void TestScanEstimate::frames_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("resolution");
    QTest::addColumn<int>("frames");   // the rule: (end - start) / resolution, rounded
    QTest::addColumn<int>("realised"); // the points the unit runs at 79.872 MHz
    const double r = 10.0;
    QTest::newRow("10240 us at 10 us") << 0.0 << 10240.0 << r << 1024 << 1024;
    QTest::newRow("10250 us at 10 us") << 0.0 << 10250.0 << r << 1025 << 1025;
    QTest::newRow("window after a start") << 100.0 << 200.0 << r << 10 << 10;
    QTest::newRow("end at start: whole period") << 100.0 << 100.0 << r << 0 << 0;
    QTest::newRow("end below start: whole period") << 300.0 << 100.0 << r << 0 << 0;
    // 0.0125 us is one ADC sample: 80 us hold 6390 whole samples.
    QTest::newRow("one sample per point") << 0.0 << 80.0 << 0.0125 << 6400 << 6391;
    QTest::newRow("1 kHz period at 0.9765625 us") << 0.0 << 1000.0 << 0.9765625 << 1024 << 1025;
    QTest::newRow("128000 us at 125 us") << 0.0 << 128000.0 << 125.0 << 1024 << 1025;
    QTest::newRow("1025 us at 1 us") << 0.0 << 1025.0 << 1.0 << 1025 << 1024;
}

void TestScanEstimate::frames()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, resolution);
    QFETCH(int, frames);
    QFETCH(int, realised);
    QCOMPARE(frameCount(start, end, resolution), frames);
    QCOMPARE(syncFrameCount(start, end, resolution, 7.9872e7), realised);
}

void TestScanEstimate::hardwareAverageFollowsMode()
{
    SingleProbeConfigParam c;
    c.dataScanRunParam.avgPerStep = 3;
    c.dataScanRunParam.integrationTime = 100; // 7987.2 samples per window
    QCOMPARE(hardwareAverage(c, 7.9872e7), 23962u);
    c.sync.bUseSyncScan = true;
    QCOMPARE(hardwareAverage(c, 7.9872e7), 3u);
}

void TestScanEstimate::requestCarriesTheDataScan()
{
    SingleProbeConfigParam c;
    c.dataScanRunParam = {70000, 250, 10, 2, 4, -20, 0.5, 30};
    c.sync.bUseSyncScan = true;
    c.sync.resolution = 10;
    c.sync.averaging = false;
    const TimesRequest q = timesRequest(c, 7.9872e7);
    QCOMPARE(q.start, -20.0);
    QCOMPARE(q.step, 0.5);
    QCOMPARE(q.stop, 30.0);
    QVERIFY(q.synchronized);
    QCOMPARE(q.averageHW, 2u);
    QCOMPARE(q.repeats, 4u);
    QCOMPARE(q.smplPP, 799u);
    QVERIFY(!q.accumulate);
    QCOMPARE(int(q.fsd), 65535); // a delay beyond 16 bits is held at the register's limit
    QCOMPARE(int(q.nsd), 250);
}

void TestScanEstimate::runTotal()
{
    SingleProbeConfigParam c;
    c.spat = {true, false, 0, 5, 10, 0};
    c.dataScanThrowScans = 2;
    c.dataScanRunScans = 3;
    ControllerTimes t;
    t.totalTime = 0.5;
    QCOMPARE(runSeconds(c, t), 3 * 5 * 0.5);
    c.spat.step = 0;
    QCOMPARE(runSeconds(c, t), 5 * 0.5);
}

void TestScanEstimate::times_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("unit");
    QTest::newRow("microseconds") << 0.000125 << "125" << "[us]";
    QTest::newRow("milliseconds") << 0.0123456789 << "12.3457" << "[ms]";
    QTest::newRow("seconds") << 59.5 << "59.5" << "[s]";
    QTest::newRow("a minute") << 60.0 << "00:01:00" << "[h:m:s]";
    QTest::newRow("hours") << 3.0 * 3600 + 25 * 60 + 7.9 << "03:25:07" << "[h:m:s]";
}

void TestScanEstimate::times()
{
    QFETCH(double, seconds);
    QFETCH(QString, value);
    QFETCH(QString, unit);
    const Display d = timeDisplay(seconds);
    QCOMPARE(d.value, value);
    QCOMPARE(d.unit, unit);
}

void TestScanEstimate::sync_data()
{
    QTest::addColumn<double>("f");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("unit");
    QTest::newRow("none") << 0.0 << "-" << "";
    QTest::newRow("Hz") << 999.5 << "999.5" << "[Hz]";
    QTest::newRow("1000 Hz") << 1000.0 << "1000" << "[Hz]";
    QTest::newRow("kHz") << 13560.0 << "13.56" << "[kHz]";
    QTest::newRow("unstable") << -1.0 << "UNSTABLE" << "";
    QTest::newRow("too low") << -2.0 << "TOO LOW" << "";
    QTest::newRow("too high") << -3.0 << "TOO HIGH" << "";
    QTest::newRow("unknown") << -4.0 << "UNKNOWN" << "";
}

void TestScanEstimate::sync()
{
    QFETCH(double, f);
    QFETCH(QString, value);
    QFETCH(QString, unit);
    const Display d = syncDisplay(f);
    QCOMPARE(d.value, value);
    QCOMPARE(d.unit, unit);
}

QTEST_GUILESS_MAIN(TestScanEstimate)
#include "tst_scanestimate.moc"
