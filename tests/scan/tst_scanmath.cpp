// Scan set-up computations: voltages to DAC codes with their clamps,
// rounding and refusals, idle voltage, synchronized-scan parameters, the
// run-parameter derivation, the SYNC word decode and the line fit.
#include <ScanMath.h>

#include <QtTest>
#include <cmath>

using namespace ScanMath;

class TestScanMath : public QObject {
    Q_OBJECT
private slots:
    void scanVoltages_data();
    void scanVoltages();
    void refusedVoltagesKeepClamps();
    void incrementReadBack_data();
    void incrementReadBack();
    void idleCode();
    void syncParameters_data();
    void syncParameters();
    void runParameters();
    void syncDecode_data();
    void syncDecode();
    void lineFit();
};

void TestScanMath::scanVoltages_data()
{
    QTest::addColumn<QVector<double>>("in");      // start, step, stop, w, vMin, vMax, c0, c1
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVector<double>>("codes");   // start code, increment, steps, switch index
    QTest::addColumn<QString>("warn");
    const double nan = std::nan("");
    QTest::newRow("one point, step 1") << QVector<double>{1, 1, 1, nan, -100, 100, 0, 1} << true
                                       << QVector<double>{1, 0, 1, 0} << QString();
    QTest::newRow("one point, step 0 becomes 1") << QVector<double>{1, 0, 1, nan, -100, 100, 0, 1} << true
                                                 << QVector<double>{1, 0, 1, 0} << QString();
    QTest::newRow("point count clamped") << QVector<double>{1, 1e6, 1, nan, -100, 100, 0, 1} << true
                                         << QVector<double>{1, 0, 65535, 0} << QString();
    QTest::newRow("descending") << QVector<double>{10, 1, 0, 5, -100, 100, 0, 1} << true
                                << QVector<double>{10, -1, 11, 0} << QString();
    QTest::newRow("increment rounds to 0") << QVector<double>{-10, 0.3, 10, nan, -100, 100, 0, 1} << true
                                           << QVector<double>{-10, 0, 1, 0} << QString();
    QTest::newRow("clamped to range") << QVector<double>{-200, 1, 200, nan, -100, 100, 0, 1} << true
                                      << QVector<double>{-100, 1, 201, 0} << QString();
    QTest::newRow("switch part way") << QVector<double>{0, 1, 10, 4.4, -100, 100, 0, 1} << true
                                     << QVector<double>{0, 1, 11, 4} << QString();
    // The switch voltage equals a start on a half code: its rounded code is the start code.
    QTest::newRow("switch at start on half code") << QVector<double>{1, 1, 10, 1, -100, 100, 0.5, 1} << true
                                                  << QVector<double>{2, 1, 10, 0} << QString();
    QTest::newRow("switch at start on negative half code") << QVector<double>{1, 1, 10, 1, -100, 100, -0.5, 1}
                                                           << true << QVector<double>{1, 1, 10, 0} << QString();
    QTest::newRow("negative DAC slope sweeps") << QVector<double>{-10, 1, 10, nan, -100, 100, 0, -100} << true
                                               << QVector<double>{1000, -100, 21, 0} << QString();
    QTest::newRow("start code 32768") << QVector<double>{32768, 1, 32768, nan, -40000, 40000, 0, 1} << false
                                      << QVector<double>{} << QString("Calculated value for start voltage (32768.000000) is out of signed short range");
    QTest::newRow("increment too large") << QVector<double>{0, 70, 70, nan, -100, 100, 0, 1000} << false
                                         << QVector<double>{} << QString("Calculated value for increment voltage (70000) is out of unsigned short range");
    // A negative slope must not slip past the increment check.
    QTest::newRow("increment too large, negative slope") << QVector<double>{0, 70, 70, nan, -100, 100, 0, -1000}
                                                         << false << QVector<double>{}
                                                         << QString("Calculated value for increment voltage (70000) is out of unsigned short range");
    QTest::newRow("65536 steps") << QVector<double>{-32768, 1, 32767, nan, -32768, 32767, 0, 1} << false
                                 << QVector<double>{} << QString("Cannot set 65536.000000 voltage steps. Valid range is from 1 to 65535");
    // Step 8 shortens the sweep by one point; the count is checked afterwards.
    QTest::newRow("full range shortened to 65535") << QVector<double>{-131072, 4, 131066, nan, -131072, 131066, 0, 0.25}
                                                   << true << QVector<double>{-32768, 1, 65535, 0} << QString();
    QTest::newRow("last code beyond 16 bits") << QVector<double>{0, 1, 33000, nan, -40000, 40000, 0, 1} << false
                                              << QVector<double>{} << QString("Calculated value for stop voltage (33000.000000) is out of signed short range");
    QTest::newRow("start not a number") << QVector<double>{nan, 1, 10, nan, -100, 100, 0, 1} << false
                                        << QVector<double>{} << QString("Scan voltages refused");
    QTest::newRow("infinite step") << QVector<double>{0, INFINITY, 10, nan, -100, 100, 0, 1} << false
                                   << QVector<double>{} << QString("Scan voltages refused");
    QTest::newRow("DAC slope 0") << QVector<double>{0, 1, 10, nan, -100, 100, 0, 0} << false << QVector<double>{}
                                 << QString("Scan voltages refused");
    QTest::newRow("DAC offset not a number") << QVector<double>{0, 1, 10, nan, -100, 100, nan, 1} << false
                                             << QVector<double>{} << QString("Scan voltages refused");
}

void TestScanMath::scanVoltages()
{
    QFETCH(QVector<double>, in);
    QFETCH(bool, ok);
    QFETCH(QVector<double>, codes);
    QFETCH(QString, warn);
    double start = in[0], step = in[1], stop = in[2], w = in[3];
    const double vRange[2] = {in[4], in[5]}, cal[2] = {in[6], in[7]};
    ScanCodes c;
    std::string message;
    QCOMPARE(computeScanVoltages(start, step, stop, w, vRange, cal, c, message), ok);
    if (!ok) {
        QVERIFY2(QString::fromStdString(message).startsWith(warn), message.c_str());
        return;
    }
    QCOMPARE(c.startCode, int(codes[0]));
    QCOMPARE(c.increment, int(codes[1]));
    QCOMPARE(c.steps, unsigned(codes[2]));
    QCOMPARE(c.switchIndex, unsigned(codes[3]));
    // Realised values follow the codes.
    QCOMPARE(start, (c.startCode - cal[0]) / cal[1]);
    QCOMPARE(step, c.increment / cal[1]);
    QCOMPARE(stop, (c.startCode + (double(c.steps) - 1) * c.increment - cal[0]) / cal[1]);
    QCOMPARE(w, (c.startCode + double(c.switchIndex) * c.increment - cal[0]) / cal[1]);
}

void TestScanMath::refusedVoltagesKeepClamps()
{
    double start = -500, step = 1, stop = 500, w = 0;
    const double vRange[2] = {-40000, 40000}, cal[2] = {0, 100};
    ScanCodes c;
    std::string warn;
    QVERIFY(!computeScanVoltages(start, step, stop, w, vRange, cal, c, warn));
    QVERIFY(QString::fromStdString(warn).contains("start voltage (-50000.000000)"));
    QCOMPARE(start, -500.0);
    QCOMPARE(stop, 500.0);
}

void TestScanMath::incrementReadBack_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<uint>("reg");
    QTest::addColumn<int>("increment");
    QTest::newRow("small rising") << 0 << 5u << 5;
    QTest::newRow("small falling") << 100 << 0xFFFBu << -5;
    QTest::newRow("zero") << -300 << 0u << 0;
    QTest::newRow("rising above 32767 codes") << -25652 << 51280u << 51280;
    QTest::newRow("falling below -32768 codes") << 25628 << 14256u << -51280;
    QTest::newRow("rising across the top wraps: taken as falling") << 30000 << 5000u << -60536;
    QTest::newRow("most negative start") << -32768 << 65535u << 65535;
}

void TestScanMath::incrementReadBack()
{
    QFETCH(int, start);
    QFETCH(uint, reg);
    QFETCH(int, increment);
    QCOMPARE(incrementFromRegister(static_cast<int16_t>(start), static_cast<uint16_t>(reg)), increment);
}

void TestScanMath::idleCode()
{
    const double vRange[2] = {-100, 100}, cal[2] = {0.5, 2};
    int code = 0;
    std::string warn;
    double v = 5.0;
    QVERIFY(computeIdleCode(v, vRange, cal, code, warn));
    QCOMPARE(code, 11); // 10.5 rounds away from zero
    QCOMPARE(v, 5.25);
    v = 500;
    QVERIFY(computeIdleCode(v, vRange, cal, code, warn));
    QCOMPARE(v, (201 - 0.5) / 2);
    const double wide[2] = {-1e6, 1e6};
    v = 20000;
    QVERIFY(!computeIdleCode(v, wide, cal, code, warn));
    QCOMPARE(QString::fromStdString(warn), QString("Calculated value for dac (40000.500000) is out of signed short range"));
    v = std::nan("");
    QVERIFY(!computeIdleCode(v, vRange, cal, code, warn));
    const double flat[2] = {0, 0};
    v = 1;
    QVERIFY(!computeIdleCode(v, vRange, flat, code, warn));
}

void TestScanMath::syncParameters_data()
{
    QTest::addColumn<QVector<double>>("in");   // period, delay, duration (s)
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVector<double>>("out");  // smplPP, sPoints, sDelay
    QTest::newRow("typical") << QVector<double>{10e-6, 1e-6, 100e-6} << true << QVector<double>{799, 11, 80};
    // No duration: no point count, the run takes the whole SYNC period.
    QTest::newRow("no duration: whole period") << QVector<double>{10e-6, 0, 0} << true << QVector<double>{799, 0, 0};
    QTest::newRow("negative duration: whole period") << QVector<double>{10e-6, 0, -3e-6} << true
                                                      << QVector<double>{799, 0, 0};
    QTest::newRow("zero period: one sample") << QVector<double>{0, 0, 1e-9} << true << QVector<double>{1, 1, 0};
    QTest::newRow("negative delay: 0") << QVector<double>{10e-6, -5e-6, 20e-6} << true << QVector<double>{799, 3, 0};
    QTest::newRow("not a number") << QVector<double>{std::nan(""), 0, 0} << false << QVector<double>{};
    QTest::newRow("beyond the counters") << QVector<double>{1e6, 0, 0} << false << QVector<double>{};
}

void TestScanMath::syncParameters()
{
    QFETCH(QVector<double>, in);
    QFETCH(bool, ok);
    QFETCH(QVector<double>, out);
    const double f = 7.9872e7;
    double period = in[0], delay = in[1], duration = in[2];
    SyncParameters p;
    std::string warn;
    QCOMPARE(computeSyncParameters(period, delay, duration, f, p, warn), ok);
    if (!ok) {
        QVERIFY(!warn.empty());
        return;
    }
    QCOMPARE(p.smplPP, unsigned(out[0]));
    QCOMPARE(p.sPoints, unsigned(out[1]));
    QCOMPARE(p.sDelay, unsigned(out[2]));
    QCOMPARE(period, p.smplPP / f);
    QCOMPARE(delay, p.sDelay / f);
    QCOMPARE(duration, double(p.smplPP) * p.sPoints / f);
}

void TestScanMath::runParameters()
{
    const double f = 7.9872e7;
    RunParameters p;
    // Time averaged.
    p.averageHW = 1000;
    p.accSmpl = false;
    QVERIFY(deriveRunParameters(false, NAN, f, 65535, 0x40000, p));
    QCOMPARE(p.stepLength, 14u);
    QCOMPARE(p.smplPP, 1000u);
    QCOMPARE(p.sPoints, 1u);
    QCOMPARE(p.sCycles, 1u);
    QVERIFY(p.accSmpl);
    p = RunParameters();
    p.averageHW = 1;
    QVERIFY(deriveRunParameters(false, NAN, f, 65535, 0x40000, p));
    QCOMPARE(p.stepLength, 2u);
    p = RunParameters();
    p.averageHW = 0x40000;
    QVERIFY(deriveRunParameters(false, NAN, f, 100, 0x40000, p));
    QCOMPARE(p.averageHW, 7907u);
    QCOMPARE(p.stepLength, 100u);

    // Synchronized: as many points as fit with a 1 % margin.
    p = RunParameters();
    p.smplPP = 80;
    p.sPoints = 2000;
    p.averageHW = 1;
    QVERIFY(deriveRunParameters(true, 1000.0, f, 65535, 0x40000, p));
    QCOMPARE(p.sPoints, 988u);
    QCOMPARE(p.stepLength, 2021u);
    QCOMPARE(p.sCycles, 1u);
    // "Whole Period": a sync duration of 0 gives every point the SYNC period holds.
    {
        double period = 10e-6, delay = 0, duration = 0;
        SyncParameters sync;
        std::string warn;
        QVERIFY(computeSyncParameters(period, delay, duration, f, sync, warn));
        p = RunParameters();
        p.smplPP = sync.smplPP;
        p.sPoints = sync.sPoints;
        p.sDelay = sync.sDelay;
        p.averageHW = 1;
        QVERIFY(deriveRunParameters(true, 1000.0, f, 65535, 0x40000, p));
        QCOMPARE(p.sPoints, 98u); // trunc(1 ms / 799 samples at f x 0.99)
    }
    // Not one point fits: refused.
    p = RunParameters();
    p.smplPP = 100000;
    p.sPoints = 1;
    QVERIFY(!deriveRunParameters(true, 1000.0, f, 65535, 0x40000, p));
    // Accumulation limited by the accumulator.
    p = RunParameters();
    p.smplPP = 1000;
    p.sPoints = 10;
    p.averageHW = 500;
    p.accSmpl = true;
    QVERIFY(deriveRunParameters(true, 1000.0, f, 0x1FFFFFF, 0x40000, p));
    QCOMPARE(p.sCycles, 262u);
    QCOMPARE(p.averageHW, 262u);
    // Step length beyond the counter.
    p = RunParameters();
    p.smplPP = 80;
    p.averageHW = 100;
    QVERIFY(deriveRunParameters(true, 1000.0, f, 65535, 0x40000, p));
    QCOMPARE(p.averageHW, 63u);
    QCOMPARE(p.stepLength, 65535u);
    QVERIFY(!deriveRunParameters(true, NAN, f, 65535, 0x40000, p));
    QVERIFY(!deriveRunParameters(true, -1.0, f, 65535, 0x40000, p));
    QCOMPARE(maxCount(0x1060), 65535u);
    QCOMPARE(maxCount(0x106F), 65535u);
    QCOMPARE(maxCount(0x1070), 0x1FFFFFFu);
}

void TestScanMath::syncDecode_data()
{
    QTest::addColumn<uint>("word");
    QTest::addColumn<uint>("firmware");
    QTest::addColumn<double>("hz");
    QTest::newRow("unstable") << 0x80000000u << 0x1070u << -1.0;
    QTest::newRow("too low") << 0xA0000001u << 0x1070u << -2.0;
    QTest::newRow("too high") << 0xC0000000u << 0x1070u << -3.0;
    QTest::newRow("zero") << 0u << 0x1070u << -4.0;
    QTest::newRow("top bits 111") << 0xE0000000u << 0x1070u << -4.0;
    QTest::newRow("top bits 001") << 0x20000000u << 0x1070u << -4.0;
    QTest::newRow("old firmware") << 1600u << 0x1060u << 100000.0;
    QTest::newRow("new firmware, whole counts") << 39935u << 0x1070u << 1000.0;
    QTest::newRow("bit 27: 1/32 counts") << ((1u << 27) | 64u) << 0x1070u << 13312000.0;
    QTest::newRow("bit 28: 1/2048 counts") << ((1u << 28) | 2048u) << 0x1070u << 19968000.0;
}

void TestScanMath::syncDecode()
{
    QFETCH(uint, word);
    QFETCH(uint, firmware);
    QFETCH(double, hz);
    QCOMPARE(decodeSyncWord(word, static_cast<uint16_t>(firmware)), hz);
}

void TestScanMath::lineFit()
{
    const double x[5] = {-2, -1, 0, 1, 2}, y[5] = {-3, -1, 1, 3, 5};
    LineFit f = fitLine(x, y, 5);
    QVERIFY(f.valid);
    QCOMPARE(f.slope, 2.0);
    QCOMPARE(f.intercept, 1.0);
    const double same[4] = {3.1, 3.1, 3.1, 3.1}, any[4] = {1, 2, 3, 4};
    QVERIFY(!fitLine(same, any, 4).valid);          // no spread of x
    const double flat[4] = {7, 7, 7, 7};
    QVERIFY(!fitLine(any, flat, 4).valid);          // slope 0
    QVERIFY(!fitLine(x, y, 1).valid);
    const double withNan[3] = {1, std::nan(""), 3};
    QVERIFY(!fitLine(withNan, any, 3).valid);
}

QTEST_GUILESS_MAIN(TestScanMath)
#include "tst_scanmath.moc"
