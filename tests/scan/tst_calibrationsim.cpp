// Hardware calibration against the simulated unit: recovering a drifted
// front end's true coefficients, the calibration memory and the registers
// afterwards, abort, a failed fit, a failed memory write, no connection; and
// the descriptor's text reports.
#include "SimFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <clocale>
#include <cmath>
#include <cstring>
#include <ctime>

using namespace simtest;

namespace {

std::vector<uint16_t> registerSnapshot()
{
    std::vector<uint16_t> r;
    for (int i = 0; i < 16; ++i)
        r.push_back(qsim::cnfgRegister(0, i));
    for (int i = 0; i < 12; ++i)
        r.push_back(qsim::chip2Register(0, i));
    return r;
}

struct Cal {
    double v[16];
};
Cal coefficients(const VeskbDescriptor *d)
{
    Cal c;
    c.v[0] = d->cal_dac[0];
    c.v[1] = d->cal_dac[1];
    c.v[2] = d->cal_adc_v[0];
    c.v[3] = d->cal_adc_v[1];
    for (int r = 0; r < 6; ++r) {
        c.v[4 + 2 * r] = d->cal_adc_i[r][0];
        c.v[5 + 2 * r] = d->cal_adc_i[r][1];
    }
    return c;
}
bool same(const Cal &a, const Cal &b) { return std::memcmp(a.v, b.v, sizeof a.v) == 0; }

QStringList calibrationFolders()
{
    return QDir().entryList({"calibration *"}, QDir::Dirs);
}
void removeCalibrationFolders()
{
    for (const QString &f : calibrationFolders())
        QDir(f).removeRecursively();
}

// A unit whose front end drifted from the factory calibration.
qsim::FrontEndTruth drifted()
{
    qsim::FrontEndTruth t = qsim::trueFrontEnd(0);
    t.dac[0] = -4.0;
    t.dac[1] = 321.7;
    t.adcV[0] = 0.031;
    t.adcV[1] = 0.012531;
    for (int r = 0; r < 6; ++r) {
        t.adcI[r][0] *= -1.7;
        t.adcI[r][1] *= 1.0 + 0.003 * (r + 1);
    }
    return t;
}

bool prepared(RIRavaVCntrl &c)
{
    return c.connectTo() == 1 && c.outputHV() && c.setMeasuringRange(3) && c.setScanVoltages(-20, 0.5, 20)
        && c.useTriggeredScan(true, false, 25) && c.useTriggeredScan(false, false, 25)
        && c.configureRS232(0, 3, true, false) && c.setDefVoltage(2.5);
}

} // namespace

class TestCalibrationSim : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        freshWorld();
        removeCalibrationFolders();
    }
    void cleanup() { removeCalibrationFolders(); }
    void recoversTrueCoefficients_data();
    void recoversTrueCoefficients();
    void abortedCalibration();
    void failedFitWritesNothing();
    void stopAtTheEnd_data();
    void stopAtTheEnd();
    void failedMemoryWriteKeepsCalibration();
    void notConnected();
    void reports();
    void reportsNotConnected();
};

void TestCalibrationSim::recoversTrueCoefficients_data()
{
    QTest::addColumn<bool>("sixteenBit");
    QTest::addColumn<bool>("drift");
    QTest::newRow("14-bit, drifted") << false << true;
    QTest::newRow("16-bit, drifted") << true << true;
    // Factory state: the most sensitive range's sweep must stay below its full scale.
    QTest::newRow("14-bit, factory") << false << false;
}

void TestCalibrationSim::recoversTrueCoefficients()
{
    QFETCH(bool, sixteenBit);
    QFETCH(bool, drift);
    qsim::Config config;
    config.modules[0].sixteenBit = sixteenBit;
    freshWorld(config);
    RIRavaVCntrl c;
    QVERIFY(prepared(c));
    const qsim::FrontEndTruth truth = drift ? drifted() : qsim::trueFrontEnd(0);
    qsim::setTrueFrontEnd(0, truth);
    c.setAverage(7);
    const auto before = registerSnapshot();
    const std::time_t started = std::time(nullptr);
    int progressSeen = 0;
    uint32_t samplesPerPoint = 0;
    logHook() = [&](const QString &line) {
        if (line.contains("CAL COEFF ADC I[5]"))
            progressSeen = c.getCalibrationProgress();
        if (line.contains("CAL COEFF ADC V")) // the scans accumulate the full sample count
            samplesPerPoint = qsim::chip2Register(0, 8) + (uint32_t(qsim::chip2Register(0, 9)) << 16) + 1;
    };
    QVERIFY2(c.calibrate(), qPrintable(lastWarnings()));
    QCOMPARE(progressSeen, 9);
    QCOMPARE(samplesPerPoint, sixteenBit ? 0x10000u : 0x40000u);
    QCOMPARE(c.getCalibrationProgress(), 0);
    QCOMPARE(c.getAverage(), 7u);
    QCOMPARE(registerSnapshot(), before);

    const VeskbDescriptor *d = c.getScannerDescriptor();
    QVERIFY2(std::fabs(d->cal_dac[1] / truth.dac[1] - 1) < 1e-5, qPrintable(QString("%1 %2 / %3 %4").arg(d->cal_dac[0]).arg(d->cal_dac[1]).arg(truth.dac[0]).arg(truth.dac[1])));
    QVERIFY(std::fabs(d->cal_dac[0] - truth.dac[0]) < 0.05);
    QVERIFY(std::fabs(d->cal_adc_v[1] / truth.adcV[1] - 1) < 1e-5);
    QVERIFY(std::fabs(d->cal_adc_v[0] - truth.adcV[0]) < 1e-4);
    for (int r = 0; r < 6; ++r) {
        QVERIFY2(std::fabs(d->cal_adc_i[r][1] / truth.adcI[r][1] - 1) < 1e-4,
                 qPrintable(QString("range %1: %2 vs %3").arg(r).arg(d->cal_adc_i[r][1]).arg(truth.adcI[r][1])));
        // The offset is pinned at the zero crossing of one step: to the voltage
        // reading's precision over the load (a fraction of an ADC step).
        QVERIFY2(std::fabs(d->cal_adc_i[r][0] - truth.adcI[r][0]) < 0.5 * truth.adcI[r][1],
                 qPrintable(QString("range %1: %2 vs %3").arg(r).arg(d->cal_adc_i[r][0]).arg(truth.adcI[r][0])));
    }
    QVERIFY(d->calibTime >= uint32_t(started) && d->calibTime <= uint32_t(std::time(nullptr)));

    // The calibration memory holds the same coefficients and time.
    const auto image = qsim::i2cMemory(0, 0x2000, 280);
    double stored[16];
    std::memcpy(stored, image.data() + 152, sizeof stored);
    QVERIFY(std::memcmp(stored, coefficients(d).v, sizeof stored) == 0);
    uint32_t storedTime = 0;
    std::memcpy(&storedTime, image.data() + 144, 4);
    QCOMPARE(storedTime, d->calibTime);

    // Raw readings of every stage, numbers with a decimal point whatever the locale.
    const QStringList folders = calibrationFolders();
    QCOMPARE(folders.size(), 1);
    for (int k = 1; k <= 9; ++k) {
        QFile f(folders.first() + QString("/caltmp%1.txt").arg(k));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        const QStringList lines = QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 64);
        QVERIFY(QRegularExpression("^-?[0-9.e+-]+\t-?[0-9.e+-]+$").match(lines[5]).hasMatch());
    }

    // A sweep now converts with the new coefficients and matches the plasma.
    QVERIFY(c.setMeasuringRange(1) && c.setAverageHW(1000, 0) && c.setScanVoltages(-30, 1, 10));
    c.setAverage(1);
    QVERIFY(c.startScan());
    double *data = nullptr;
    unsigned points = 0, steps = 0, trailer = 0;
    double period = 0, delay = 0;
    QVERIFY(c.getDataFromOneScan(data, points, steps, period, delay, trailer, false));
    for (unsigned k = 0; k < steps; ++k) {
        const double truthI = qsim::trueProbeCurrent(data[k], false, 0, 0);
        QVERIFY(std::fabs(data[steps + k] - truthI) < 5e-6 + 3e-3 * std::fabs(truthI));
    }
}

void TestCalibrationSim::abortedCalibration()
{
    RIRavaVCntrl c;
    QVERIFY(prepared(c));
    qsim::setTrueFrontEnd(0, drifted());
    const Cal old = coefficients(c.getScannerDescriptor());
    const uint32_t oldTime = c.getScannerDescriptor()->calibTime;
    const auto memory = qsim::i2cMemory(0, 0x2000, 280);
    const auto registers = registerSnapshot();
    logHook() = [&](const QString &line) {
        if (line.contains("CAL COEFF DAC"))
            c.abortAll();
    };
    QVERIFY(!c.calibrate()); // (the final stop clears the abort flag again)
    QCOMPARE(c.getCalibrationProgress(), 0);
    QVERIFY(same(coefficients(c.getScannerDescriptor()), old));
    QCOMPARE(c.getScannerDescriptor()->calibTime, oldTime);
    QCOMPARE(qsim::i2cMemory(0, 0x2000, 280), memory);
    QCOMPARE(registerSnapshot(), registers);
    QCOMPARE(logged("CAL COEFF ADC I["), 0);
}

void TestCalibrationSim::failedFitWritesNothing()
{
    qsim::Config config;
    config.measurement.noiseLsb = 0.0;
    freshWorld(config);
    RIRavaVCntrl c;
    QVERIFY(prepared(c));
    qsim::FrontEndTruth t = qsim::trueFrontEnd(0);
    t.reference = 0.0; // the reference reads like ground: no gain to fit
    qsim::setTrueFrontEnd(0, t);
    const Cal old = coefficients(c.getScannerDescriptor());
    const auto memory = qsim::i2cMemory(0, 0x2000, 280);
    QVERIFY(!c.calibrate());
    QCOMPARE(logged("Calibration of the voltage ADC failed"), 1);
    QVERIFY(same(coefficients(c.getScannerDescriptor()), old));
    QCOMPARE(qsim::i2cMemory(0, 0x2000, 280), memory);
    QCOMPARE(c.getCalibrationProgress(), 0);
}

void TestCalibrationSim::stopAtTheEnd_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("scanning");
    // A failed stop fails the calibration; the stop at its end is tried once
    // more, so only a unit that never takes a stop is left scanning, and the
    // mirror says so.
    QTest::newRow("a stop fails once") << "fault.stop=1" << false;
    QTest::newRow("the unit cannot be stopped") << "fault.stop=1+" << true;
}

void TestCalibrationSim::stopAtTheEnd()
{
    QFETCH(QString, fault);
    QFETCH(bool, scanning);
    qsim::Config config;
    QVERIFY(qsim::parseConfig(fault.toStdString(), config));
    freshWorld(config);
    RIRavaVCntrl c;
    QVERIFY(prepared(c));
    QVERIFY(!c.calibrate());
    QCOMPARE(bool(qsim::cnfgRegister(0, 0) & 1), scanning);
    QCOMPARE(c.isScanRunning(), scanning);
    QCOMPARE(logged("Failed to stop running scan."), scanning ? 1 : 0);
}

void TestCalibrationSim::failedMemoryWriteKeepsCalibration()
{
    RIRavaVCntrl c;
    QVERIFY(prepared(c));
    qsim::setTrueFrontEnd(0, drifted());
    const Cal old = coefficients(c.getScannerDescriptor());
    qsim::failI2cDataWrite(3, 1000);
    QVERIFY(!c.calibrate());
    QVERIFY(same(coefficients(c.getScannerDescriptor()), old));
    QCOMPARE(c.getCalibrationProgress(), 0);
}

void TestCalibrationSim::notConnected()
{
    RIRavaVCntrl c;
    QVERIFY(!c.calibrate());
    QCOMPARE(logged("Cannot calibrate VESK because it's not connected"), 1);
    QVERIFY(calibrationFolders().isEmpty());
    QCOMPARE(c.getCalibrationProgress(), 0);
}

void TestCalibrationSim::reports()
{
    qsim::Config config;
    config.modules[0].chip1Firmware = 0x1234;
    freshWorld(config);
    RIRavaVCntrl c;
    QCOMPARE(c.connectTo(), 1);
    QLocale::setDefault(QLocale(QLocale::German)); // the reports keep their decimal points
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const VeskbDescriptor *d = c.getScannerDescriptor();
    const QString shortText = d->toString(false);
    QVERIFY(shortText.endsWith("SERIAL NUMBER:\t" + d->devNameText() + "\n"));
    QVERIFY(!shortText.contains("API DESCRIPTION"));
    QVERIFY(shortText.startsWith("\n-----------------------------------------  VESK API  -----------------------------------------\n\nAPI VERSION:\t\t2.1.6\n"));
    const QString full = d->toString(true);
    QVERIFY(full.contains("API DESCRIPTION:\t" + d->apiDescription + "\n"));
    QVERIFY(full.contains("DLL VERSION:\t\t2.15.2\nDRIVER VERSION:\t2.15.0\nDEVICE NAME:\t\tQUSB-0\n"));
    QVERIFY(full.contains("STANDARD:\t\t2.0\n"));
    QVERIFY(full.contains("CHIP1 FIRMWARE VERSION:\t1.2.3.4\n"));
    QVERIFY(full.contains("VOLTAGE RANGE:\t[-100 100]\n"));
    QVERIFY(full.contains("CURRENT RANGE:\t[0.166 0.0166 0.00166 0.000166 1.66e-05 1.66e-06]\n"));
    QVERIFY(full.contains("MEASUREMENT RESISTOR:\t[3 300 30000]\n"));
    QVERIFY(full.contains("CALIBRATION VOLTAGE:\t[0 10]\n"));
    QVERIFY(QRegularExpression("CALIBRATION DATE:\t\\w{3} \\w{3} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\nLINEAR DRIVE LENGTH:\t300\n")
                .match(full).hasMatch());
    QVERIFY(full.endsWith("ADC FREQUENCY:\t7.9872e+07\nADC BITS:\t\t14\n"));

    const QStringList lines = d->toKeyValueString().split('\n');
    const QStringList keys = {"api_version", "api_description", "qusbDllVerMajor", "qusbDllVerMinor",
        "qusbDllVerBuild", "qusbDrivVerMajor", "qusbDrivVerMinor", "qusbDrivVerBuild", "qusbDevName", "qusbMake",
        "qusbModel", "qusbSerial", "qusbHWRev", "qusbHighSpeed", "veskbDevName", "chip1FirmwareVersion",
        "chip2FirmwareVersion", "vRange[0]", "vRange[1]", "iRange[0]", "iRange[1]", "iRange[2]", "iRange[3]",
        "iRange[4]", "iRange[5]", "calibResistor", "resI[0]", "resI[1]", "resI[2]", "calibVoltage[0]",
        "calibVoltage[1]", "calibTime", "driveLength", "adcFreq", "adcBits"};
    for (int k = 0; k < keys.size(); ++k)
        QVERIFY2(lines[k].startsWith(keys[k] + ": "), qPrintable(lines[k]));
    QCOMPARE(lines[13], QString("qusbHighSpeed: 1"));
    QCOMPARE(lines[15], QString("chip1FirmwareVersion: 1.2.3.4"));
    QCOMPARE(lines[24], QString("iRange[5]: 1.66e-06"));
    QCOMPARE(lines[33], QString("adcFreq: 7.9872e+07"));
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
}

void TestCalibrationSim::reportsNotConnected()
{
    RIRavaVCntrl c;
    const QString text = c.getScannerDescriptor()->toString(true);
    QCOMPARE(text.count("DEVICE IS NOT CONNECTED\n"), 2);
    QVERIFY(!text.contains("SERIAL NUMBER"));
    QVERIFY(text.endsWith("-----------------------------------  VESK  HARDWARE  -----------------------------------\n\nDEVICE IS NOT CONNECTED\n"));
}

QTEST_GUILESS_MAIN(TestCalibrationSim)
#include "tst_calibrationsim.moc"
