// Scans against the simulated unit: a sweep read back in volts and amperes
// matches the simulated plasma, averaging, 16-bit mode, a gain switch, a
// time-resolved scan of a pulsed plasma, double and Mach probes, stream
// faults with their messages, abort from another thread, trigger, SYNC,
// progress and failed register transfers.
#include "SimFixture.h"

#include <QElapsedTimer>
#include <cmath>
#include <thread>

using namespace simtest;

namespace {

struct Sweep {
    std::vector<double> v, i;           // tip volts, amperes (sync point 0, or all rows)
    std::vector<double> all;
    unsigned points = 0, steps = 0, trailer = 0;
    double samplePeriod = 0, syncDelay = 0;
};

bool readOne(RIRavaVCntrl &c, Sweep &s)
{
    double *data = nullptr;
    if (!c.startScan())
        return false;
    const bool ok = c.getDataFromOneScan(data, s.points, s.steps, s.samplePeriod, s.syncDelay, s.trailer, false);
    if (ok) {
        s.all.assign(data, data + 2ull * s.points * s.steps);
        s.v.assign(data, data + s.steps);
        s.i.assign(data + s.steps, data + 2 * s.steps);
    }
    return ok;
}

// Current of the simulated probe at the tip voltage the library reports.
void expectPlasma(const Sweep &s, bool doubleProbe, double lsb, const char *what)
{
    for (unsigned k = 0; k < s.steps; ++k) {
        const double truth = qsim::trueProbeCurrent(s.v[k], doubleProbe, 0.0, 0.0);
        const double tolerance = 2 * lsb + 2e-3 * std::fabs(truth);
        if (std::fabs(s.i[k] - truth) > tolerance)
            QFAIL(qPrintable(QString("%1: step %2 at %3 V: %4 A, plasma %5 A").arg(what).arg(k).arg(s.v[k]).arg(s.i[k]).arg(truth)));
    }
}

bool setUpSweep(RIRavaVCntrl &c, unsigned range, double start, double step, double stop)
{
    return c.outputHV() && c.setMeasuringRange(range) && c.setScanType(false, false, false)
        && c.setAverageHW(1000, 0) && c.setSettlingDelays(0, 100, 20, 0) && c.setScanVoltages(start, step, stop);
}

const double kLsbRange1 = 2.0302e-6;

} // namespace

class TestScanSim : public QObject {
    Q_OBJECT
private slots:
    void init() { freshWorld(); }
    void sweepMatchesPlasma();
    void readBackMatchesOutput_data();
    void readBackMatchesOutput();
    void averagingThreeScans();
    void noiseOfAScanRepeats();
    void sixteenBitMode();
    void gainSwitchPartWay();
    void timeResolvedPulse();
    void doubleAndMachProbe();
    void streamFaults_data();
    void streamFaults();
    void abortFromAnotherThread();
    void abortsNeverLookLikeFaults();
    void externalTrigger();
    void syncSignal();
    void tooFewSyncPoints();
    void progress();
    void failedRegisterWrites();
    void scanTimes();
    void clipsAtFullScale();
    void pacedScanTakesItsTime();
    void bufferTooLarge();
    void notConnected();
};

void TestScanSim::sweepMatchesPlasma()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -40, 0.5, 20));
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
    QCOMPARE(s.steps, 121u);
    QCOMPARE(s.points, 1u);
    // The realised set voltages, less the drop across the 3-ohm resistor.
    double start = 0, step = 0, stop = 0;
    QVERIFY(c.getScanVoltages(start, step, stop));
    QVERIFY(std::fabs(s.v.front() - (start - 3 * s.i.front())) < 0.01);
    QVERIFY(std::fabs(s.v.back() - (stop - 3 * s.i.back())) < 0.01);
    QVERIFY(std::fabs(s.v[1] - s.v[0] - step) < 0.01);
    expectPlasma(s, false, kLsbRange1, "single probe");
    // Floating potential where the current changes sign.
    const double Vf = qsim::truePlasma(0, 0).Vf;
    for (unsigned k = 1; k < s.steps; ++k)
        if (s.i[k - 1] < 0 && s.i[k] >= 0) {
            const double crossing = s.v[k - 1] - s.i[k - 1] * (s.v[k] - s.v[k - 1]) / (s.i[k] - s.i[k - 1]);
            QVERIFY2(std::fabs(crossing - Vf) < 0.05, qPrintable(QString("%1 vs %2").arg(crossing).arg(Vf)));
        }
    // The trailer holds the scan's duration: fsd + N (L + 1) + (N - 1) nsd, L = ceil(1000 / 79.872) + 1.
    QCOMPARE(s.trailer, 100u + 121u * 15u + 120u * 20u);
}

void TestScanSim::readBackMatchesOutput_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("stop");
    QTest::addColumn<unsigned>("steps");
    // Two-point sweeps whose increment exceeds 32767 codes.
    QTest::newRow("wide rising") << -80.0 << 200.0 << 80.0 << 2u;
    QTest::newRow("wide falling") << 80.0 << 200.0 << -80.0 << 2u;
    QTest::newRow("rising") << -40.0 << 0.5 << 20.0 << 121u;
    QTest::newRow("falling") << 20.0 << 1.0 << -10.0 << 31u;
}

// What the library reads back is what the unit's DAC drives.
void TestScanSim::readBackMatchesOutput()
{
    QFETCH(double, start);
    QFETCH(double, step);
    QFETCH(double, stop);
    QFETCH(unsigned, steps);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, start, step, stop));
    double s0 = 0, st = 0, s1 = 0;
    QVERIFY(c.getScanVoltages(s0, st, s1));
    const double code = 1 / qsim::trueFrontEnd(0).dac[1];
    // Within the rounding of the start code and of every increment.
    QVERIFY2(std::fabs(s0 - start) < code && std::fabs(s1 - stop) < steps * code
                 && std::fabs(st - (stop - start) / (steps - 1)) < code,
             qPrintable(QString("read back %1 %2 %3").arg(s0).arg(st).arg(s1)));
    QCOMPARE(qsim::trueOutputVolts(0, 0), s0);
    QCOMPARE(qsim::trueOutputVolts(0, 1), s0 + st);
    QCOMPARE(qsim::trueOutputVolts(0, steps - 1), s1);
    // The measured tip voltages follow, less the drop across the 3-ohm resistor.
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
    QCOMPARE(s.steps, steps);
    QVERIFY(std::fabs(s.v.front() - (s0 - 3 * s.i.front())) < 0.01);
    QVERIFY(std::fabs(s.v.back() - (s1 - 3 * s.i.back())) < 0.01);
}

void TestScanSim::averagingThreeScans()
{
    qsim::Config config;
    config.measurement.noiseLsb = 3.0;
    freshWorld(config);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -30, 2, 10));
    c.setAverage(3);
    Sweep three;
    QVERIFY2(readOne(c, three), qPrintable(lastWarnings()));
    // Three scans summed and divided by 3 x samples: the amperes are right.
    expectPlasma(three, false, kLsbRange1, "average of 3");
    int percent = -1;
    double seconds = 0;
    int elapsed = -1;
    c.getScanProgress(percent, seconds, elapsed);
    QCOMPARE(percent, 100);
    QVERIFY(seconds > 0);
    QCOMPARE(c.getAverage(), 3u);
}

// A scan's noise depends on the world's seed and on which scan it is, not on
// how many sweeps the scans before it ran: a run repeats, whatever the timing.
void TestScanSim::noiseOfAScanRepeats()
{
    // The second scan after a first one of some steps, in a world of some seed.
    auto secondScan = [](double firstStep, uint64_t seed) {
        qsim::Config config;
        config.measurement.noiseLsb = 3.0;
        config.measurement.seed = seed;
        freshWorld(config);
        RIRavaVCntrl c;
        Sweep first, second;
        if (c.connectTo() != 1 || !setUpSweep(c, 1, -30, firstStep, 10) || !readOne(c, first)
            || !c.setScanVoltages(-30, 2, 10))
            return second.i;
        readOne(c, second);
        return second.i;
    };
    const std::vector<double> after21 = secondScan(2, 1), after41 = secondScan(1, 1);
    QCOMPARE(after21.size(), size_t(21));
    QVERIFY(after21 == after41);
    QVERIFY(after21 != secondScan(2, 2)); // the noise is there, and follows the seed
}

void TestScanSim::sixteenBitMode()
{
    qsim::Config config;
    config.modules[0].sixteenBit = true;
    config.measurement.noiseLsb = 0.0; // bare quantisation: 16 bits resolve four times finer
    freshWorld(config);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(c.is16Bit());
    QCOMPARE(c.getScannerDescriptor()->adcBits, 16);
    QVERIFY(qsim::chip2Register(0, 1) & 0x8);
    QVERIFY(setUpSweep(c, 1, -40, 1, 20));
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
    expectPlasma(s, false, kLsbRange1 / 4, "16-bit");
}

void TestScanSim::gainSwitchPartWay()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    // Range 0 (small resistor), HIGH gain below 0 V, LOW above.
    QVERIFY(c.outputHV() && c.setMeasuringRange(0) && c.setAverageHW(1000, 0));
    QVERIFY(c.setScanVoltages(-30, 1, 15, 0.0, true));
    QCOMPARE(qsim::cnfgRegister(0, 10), uint16_t(30));
    QCOMPARE(qsim::cnfgRegister(0, 11), uint16_t(1));
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
    expectPlasma(s, false, kLsbRange1 * 10, "gain switch");
    // The ion part really was read with the high gain: its resolution is that of range 1.
    for (unsigned k = 0; k < 30; ++k)
        QVERIFY(std::fabs(s.i[k] - qsim::trueProbeCurrent(s.v[k], false, 0, 0)) < 2 * kLsbRange1);
}

void TestScanSim::timeResolvedPulse()
{
    qsim::Config config;
    config.measurement.plasma.pulseDepth = 0.8;
    config.measurement.plasma.pulseDuty = 0.5;
    config.measurement.plasma.pulseTauUs = 60;
    freshWorld(config);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(c.outputHV() && c.setMeasuringRange(1) && c.setScanType(false, true, false) && c.setAverageHW(2, 0));
    double period = 20, delay = 0, duration = 900;
    QVERIFY(c.setSyncScanParameters(period, delay, duration, true));
    QVERIFY(c.setScanVoltages(-30, 7, 5));
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
    QCOMPARE(s.points, 46u);
    QCOMPARE(s.steps, 6u);
    QCOMPARE(s.samplePeriod, 1597 / 7.9872e7);
    double lowest = 1e9, highest = -1e9;
    for (unsigned j = 0; j < s.points; ++j) {
        const double phase = s.syncDelay + (j + 0.5) * s.samplePeriod;
        for (unsigned k = 0; k < s.steps; ++k) {
            const double v = s.all[2 * j * s.steps + k], i = s.all[(2 * j + 1) * s.steps + k];
            const double truth = qsim::trueProbeCurrent(v, false, phase, 0);
            QVERIFY2(std::fabs(i - truth) < 2 * kLsbRange1 + 2e-3 * std::fabs(truth),
                     qPrintable(QString("point %1 step %2: %3 vs %4").arg(j).arg(k).arg(i).arg(truth)));
        }
        const double top = s.all[(2 * j + 1) * s.steps + s.steps - 1];
        lowest = std::min(lowest, top);
        highest = std::max(highest, top);
    }
    // The pulse shows: the electron current falls by more than half in the off phase.
    QVERIFY2(lowest < 0.5 * highest, qPrintable(QString("%1 .. %2").arg(lowest).arg(highest)));
}

void TestScanSim::doubleAndMachProbe()
{
    qsim::Config config;
    config.measurement.plasma.machNumber = 0.4;
    freshWorld(config);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(c.selectProbeMode(VESK_HW::eDouble));
    QCOMPARE(qsim::cnfgRegister(0, 13) & 7, 2);
    QVERIFY(setUpSweep(c, 3, -40, 2, 40));
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
    expectPlasma(s, true, 2.0281e-8, "Mach probe");
    // Up- and downstream saturation currents differ by exp(K M).
    const double ratio = std::fabs(s.i.back() / s.i.front());
    QVERIFY2(std::fabs(std::log(ratio) / 1.34 - 0.4) < 0.05, qPrintable(QString::number(ratio)));
}

void TestScanSim::streamFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("synchronized");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing word") << int(qsim::StreamFault::MissingWord) << false
                                  << "Received data packet contains less data (9) then it should have (10)";
    QTest::newRow("extra word") << int(qsim::StreamFault::ExtraWord) << false
                                << "Received data packet contains more data (10) then it should have (10)";
    QTest::newRow("empty header") << int(qsim::StreamFault::ZeroHeader) << false
                                  << "Either VESKB lost USB connection to PC or scan doesn't run anymore (read 0 integers)";
    QTest::newRow("keep-alive only") << int(qsim::StreamFault::KeepAliveOnly) << false
                                     << "Data reading interrupted because VESK doesn't send any data. Successfully read 0 data";
    QTest::newRow("packet too long") << int(qsim::StreamFault::PacketTooLong) << false
                                     << "Receiving data packet is too long (24) -> it should be 10 long. Reading interrupted...";
    QTest::newRow("last packet early") << int(qsim::StreamFault::LastPacketEarly) << false
                                       << "Received data packet contains less data (9) then it should have (10)";
    QTest::newRow("SYNC value changed") << int(qsim::StreamFault::SyncChange) << true
                                        << "Sync Frequency changed during the scan (old: 0x00009BFF, new: 0x00009BFE)";
    QTest::newRow("bulk read fails") << -1 << false << "FAILED to readData(...) from connected device";
}

void TestScanSim::streamFaults()
{
    QFETCH(int, fault);
    QFETCH(bool, synchronized);
    QFETCH(QString, message);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(c.outputHV() && c.setMeasuringRange(1) && c.setScanType(false, synchronized, false));
    double period = 20, delay = 0, duration = 0;
    QVERIFY(c.setSyncScanParameters(period, delay, duration, true));
    QVERIFY(c.setScanVoltages(0, 1, 3)); // four steps, one point: 8 values
    QVERIFY(c.startScan());
    if (fault >= 0)
        qsim::injectStreamFault(0, static_cast<qsim::StreamFault>(fault));
    else
        qsim::failCall(qsim::Call::ReadData, 1, QUSB_ERROR_IOCTL_FAILED);
    clearLog();
    double *data = nullptr;
    unsigned points = 9, steps = 9, trailer = 9;
    double samplePeriod = 1, syncDelay = 1;
    QVERIFY(!c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false));
    QCOMPARE(points, 0u);
    QCOMPARE(steps, 0u);
    QVERIFY2(logged(message) == 1, qPrintable(lastWarnings()));
    if (fault == int(qsim::StreamFault::KeepAliveOnly))
        QVERIFY(lastWarnings().startsWith("[CRIT "));
    // A failed read (not an abort) leaves the register dump.
    QCOMPARE(logged("CONFIGURATION AND STATE REGISTERS OF FPGA1 PROCESSOR"), 1);
    QVERIFY(logged("CNFG_REG[0]: 0x") == 1);
    // The next scan reads cleanly again.
    qsim::clearStreamFaults(0);
    Sweep s;
    QVERIFY2(readOne(c, s), qPrintable(lastWarnings()));
}

void TestScanSim::abortFromAnotherThread()
{
    freshWorld(qsim::Config(), 1.0); // real time
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -10, 1, 10));
    QVERIFY(c.useTriggeredScan(true, true, 0)); // no trigger comes: the read waits
    QVERIFY(c.startScan());
    clearLog();
    std::thread aborter([&c] {
        while (!c.isScanRunning())
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        c.abortAll();
    });
    QElapsedTimer timer;
    timer.start();
    double *data = nullptr;
    unsigned points = 0, steps = 0, trailer = 0;
    double samplePeriod = 0, syncDelay = 0;
    const bool ok = c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false);
    aborter.join();
    QVERIFY(!ok);
    QVERIFY(c.isAborted());
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(logged("CONFIGURATION AND STATE REGISTERS"), 0); // no dump after an abort
    QCOMPARE(qsim::cnfgRegister(0, 0) & 1, 0);                  // the unit stopped
}

// Aborts landing at any moment of a read end it as aborted: never a
// "stopped while read" warning, never a register dump.
void TestScanSim::abortsNeverLookLikeFaults()
{
    freshWorld(qsim::Config(), 1.0); // real time
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -10, 1, 10));
    QVERIFY(c.useTriggeredScan(true, true, 0)); // no trigger comes: every read waits
    clearLog();
    int ended = 0;
    for (int i = 0; i < 40; ++i) {
        if (!c.startScan())
            break;
        std::thread aborter([&c, i] {
            std::this_thread::sleep_for(std::chrono::microseconds(100 * (i % 20)));
            c.abortAll();
        });
        double *data = nullptr;
        unsigned points = 0, steps = 0, trailer = 0;
        double samplePeriod = 0, syncDelay = 0;
        ended += c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false) ? 0 : 1;
        aborter.join();
    }
    QCOMPARE(ended, 40);
    QCOMPARE(logged("stopped while"), 0);
    QCOMPARE(logged("CONFIGURATION AND STATE REGISTERS"), 0);
    QCOMPARE(qsim::cnfgRegister(0, 0) & 1, 0);
}

void TestScanSim::externalTrigger()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -10, 1, 10));
    QVERIFY(c.useTriggeredScan(true, false, 25));
    QCOMPARE(qsim::cnfgRegister(0, 12), uint16_t(25));
    QVERIFY(c.startScan());
    qsim::fireTrigger(0);
    double *data = nullptr;
    unsigned points = 0, steps = 0, trailer = 0;
    double samplePeriod = 0, syncDelay = 0;
    QVERIFY2(c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false),
             qPrintable(lastWarnings()));
    QCOMPARE(steps, 21u);
}

void TestScanSim::syncSignal()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(std::fabs(c.getSyncFreq(true) - 1000.0) < 0.5);
    qsim::MeasurementConfig m = qsim::measurementConfig();
    m.sync.frequencyHz = 250.0;
    qsim::setMeasurementConfig(m);
    QVERIFY(std::fabs(c.getSyncFreq(true) - 250.0) < 0.1);

    QVERIFY(c.outputHV() && c.setScanType(false, true, false) && c.setScanVoltages(0, 1, 3));
    const struct { double hz, stability; const char *text; double code; } cases[] = {
        {1000, 0.05, "SYNC frequency stability must be better then 1% to synchronize to it", -1},
        {0.2, 1e-6, "SYNC frequency is too low to synchronize to it", -2},
        {5e5, 1e-6, "SYNC frequency is too high to synchronize to it", -3}};
    for (const auto &k : cases) {
        m.sync.frequencyHz = k.hz;
        m.sync.stability = k.stability;
        qsim::setMeasurementConfig(m);
        clearLog();
        QCOMPARE(c.getSyncFreq(true), k.code);
        QVERIFY(!c.startScan());
        QCOMPARE(logged(QString("VESK cannot synchronize to SYNC signal (%1)").arg(k.text)), 1);
        QCOMPARE(logged(QString("VESK cannot synchronize to SYNC signal (req: %1)").arg(k.code, 0, 'f', 6)), 1);
    }
    m.sync.present = false;
    qsim::setMeasurementConfig(m);
    QCOMPARE(c.getSyncFreq(true), -2.0);
}

void TestScanSim::tooFewSyncPoints()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(c.outputHV() && c.setScanType(false, true, false) && c.setScanVoltages(0, 1, 3));
    double period = 2000, delay = 0, duration = 0; // one point longer than the SYNC period
    QVERIFY(c.setSyncScanParameters(period, delay, duration, true));
    clearLog();
    QVERIFY(!c.startScan());
    QCOMPARE(logged("Failed to set required scan parameters"), 1);
}

void TestScanSim::progress()
{
    RIRavaVCntrl c;
    int percent = -1, elapsed = -1;
    double seconds = 0;
    c.getScanProgress(percent, seconds, elapsed); // nothing expected yet
    QCOMPARE(percent, 0);
    QCOMPARE(seconds, -1.0);
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -10, 1, 10));
    Sweep s;
    QVERIFY(readOne(c, s));
    c.getScanProgress(percent, seconds, elapsed);
    QCOMPARE(percent, 100);
    // 1e6 / (step length x N + fsd + (N - 1) nsd) scans per second; step length 14 for 1000 samples
    QCOMPARE(seconds, (14.0 * 21 + 100 + 20.0 * 20) * 1e-6);
}

void TestScanSim::failedRegisterWrites()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(c.outputHV());
    qsim::failCall(qsim::Call::WriteCommand, 2, QUSB_ERROR_IOCTL_FAILED);
    clearLog();
    QVERIFY(!c.setScanVoltages(-10, 1, 10));
    QCOMPARE(logged("Failed to write the scan voltages to VESK"), 1);
    QCOMPARE(logged("QuickUsbWriteCommand("), 1);
    qsim::failCall(qsim::Call::WriteCommand, 1, QUSB_ERROR_IOCTL_FAILED);
    QVERIFY(!c.setDefVoltage(1.0));
    QVERIFY(c.setScanVoltages(-10, 1, 10));
    // startScan: the fourth transfer is a run-parameter write.
    qsim::failCall(qsim::Call::WriteCommand, 4, QUSB_ERROR_IOCTL_FAILED);
    clearLog();
    QVERIFY(!c.startScan());
    QCOMPARE(logged("Failed to write the scan parameters to VESK"), 1);
    QCOMPARE(qsim::cnfgRegister(0, 0) & 1, 0); // never started
    // Settling delays beyond 16 bits are clamped.
    QVERIFY(c.setSettlingDelays(0, 70000, 80000, 0));
    QCOMPARE(qsim::cnfgRegister(0, 7), uint16_t(65535));
    QCOMPARE(qsim::cnfgRegister(0, 8), uint16_t(65535));
    // A range above 5 selects range 0 and logs its full scale.
    clearLog();
    QVERIFY(c.setMeasuringRange(7));
    QCOMPARE(c.getMeasuringRange(), 0u);
    QCOMPARE(logged("Setting current range 7 <eResistor:eSmall, LOW electronic gain, 166.000000[mA]>"), 1);
}

void TestScanSim::scanTimes()
{
    RIRavaVCntrl c;
    double fSync = -1, point = -1, scan = -1, total = -1;
    c.getScanTimes(-10, 1, 10, false, 1000, 3, 80, true, 100, 20, fSync, point, scan, total);
    QCOMPARE(fSync + point + scan + total, 0.0); // not connected: zeros
    QCOMPARE(c.connectTo(), 1);
    c.getScanTimes(-10, 1, 10, false, 1000, 3, 80, true, 100, 20, fSync, point, scan, total);
    QVERIFY(std::fabs(fSync - 1000.0) < 0.5);
    QCOMPARE(point, (20 + 14 + 1) * 1e-6);               // step length 14 for 1000 samples
    QCOMPARE(scan, (100 + 15.0 * 21 + 20.0 * 20) * 1e-6); // 21 steps at 320.5 codes per volt
    QCOMPARE(total, 3 * scan);
    // Synchronized: two SYNC periods per step (averaging 1), / 0.99.
    c.getScanTimes(-10, 1, 10, true, 1, 1, 80, true, 0, 0, fSync, point, scan, total);
    QCOMPARE(point, (2021 + 1) * 1e-6);
    qsim::MeasurementConfig m = qsim::measurementConfig();
    m.sync.present = false;
    qsim::setMeasurementConfig(m);
    c.getScanTimes(-10, 1, 10, true, 1, 1, 80, true, 0, 0, fSync, point, scan, total);
    QCOMPARE(fSync, -2.0);
    QCOMPARE(point + scan + total, 0.0);
    // setAverage keeps at least one scan.
    c.setAverage(0);
    QCOMPARE(c.getAverage(), 1u);
}

void TestScanSim::clipsAtFullScale()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 3, -20, 1, 20)); // 166 uA full scale: the electron side clips
    Sweep s;
    QVERIFY(readOne(c, s));
    const double *cal = c.getScannerDescriptor()->cal_adc_i[3];
    const double fullScale = 8191 * cal[1] + cal[0];
    QVERIFY(std::fabs(s.i.back() - fullScale) < 1e-3 * fullScale);
    QVERIFY(qsim::trueProbeCurrent(s.v.back(), false, 0, 0) > 10 * fullScale);
    QVERIFY(std::fabs(s.i.front() - qsim::trueProbeCurrent(s.v.front(), false, 0, 0)) < 2 * 2.0281e-8);
}

void TestScanSim::pacedScanTakesItsTime()
{
    freshWorld(qsim::Config(), 10.0); // ten times real time
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QVERIFY(setUpSweep(c, 1, -10, 1, 10) && c.setAverageHW(0x40000, 0)); // 3284 us steps
    const double before = qsim::simSeconds();
    QElapsedTimer timer;
    timer.start();
    Sweep s;
    QVERIFY(readOne(c, s));
    const double simulated = qsim::simSeconds() - before;
    const double duration = (100 + 21 * 3285.0 + 20 * 20) * 1e-6;
    QCOMPARE(s.trailer, 100u + 21u * 3285u + 20u * 20u);
    QVERIFY2(simulated >= duration, qPrintable(QString::number(simulated)));
    QVERIFY(timer.nsecsElapsed() >= qint64(duration / 10 * 1e9 * 0.9));
}

void TestScanSim::bufferTooLarge()
{
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    // 65535 steps of 2100 sync points: 275 million doubles, over the buffer limit.
    QVERIFY(c.outputHV() && c.setScanType(false, true, false) && c.setAverageHW(1, 0));
    double period = 0.0125, delay = 0, duration = 2099 * 0.0125;
    QVERIFY(c.setSyncScanParameters(period, delay, duration, false));
    QVERIFY(c.setScanVoltages(1, 65535, 1));
    QVERIFY(c.startScan());
    clearLog();
    double *data = nullptr;
    unsigned points = 0, steps = 0, trailer = 0;
    double samplePeriod = 0, syncDelay = 0;
    QVERIFY(!c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false));
    QCOMPARE(logged("Failed to allocate memory of 2*double[275247000]"), 1);
    c.stopScan();
}

void TestScanSim::notConnected()
{
    RIRavaVCntrl c;
    double *data = reinterpret_cast<double *>(1);
    unsigned points = 5, steps = 5, trailer = 5;
    double samplePeriod = 5, syncDelay = 5;
    QVERIFY(!c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false));
    QVERIFY(!data);
    QCOMPARE(points + steps + trailer, 0u);
    QCOMPARE(samplePeriod + syncDelay, 0.0);
    QCOMPARE(logged("Cannot read data from VESKB because it's not connected"), 1);
    QVERIFY(!c.startScan());
    QCOMPARE(logged("Cannot run new scan without VESK properly connected"), 1);
    QCOMPARE(c.getSyncFreq(true), 0.0);
}

QTEST_GUILESS_MAIN(TestScanSim)
#include "tst_scansim.moc"
