// The simulated plasma and probe as physics: floating potential, retarding
// slope, scaling with density and ion mass, a hot electron population, the
// double-probe and Mach-probe characteristics, the pulse and the profile;
// the SYNC word the unit measures; the configuration keys.
#include <SimControl.h>

#include <QtTest>
#include <cmath>

namespace {
qsim::MeasurementConfig base()
{
    qsim::Config c;
    c.speedFactor = 0;
    qsim::reset(c);
    return qsim::measurementConfig();
}
double current(double v, bool twoTips = false, double phase = 0, double position = 0)
{
    return qsim::trueProbeCurrent(v, twoTips, phase, position);
}
}

class TestSimPlasma : public QObject {
    Q_OBJECT
private slots:
    void singleProbe();
    void hotElectrons();
    void doubleAndMach();
    void pulseAndProfile();
    void syncWord();
    void configurationKeys();
};

void TestSimPlasma::singleProbe()
{
    qsim::MeasurementConfig m = base();
    const qsim::PlasmaState s = qsim::truePlasma(0, 0);
    QCOMPARE(s.ne, 1e16);
    QCOMPARE(s.kTe, 3.0);
    QVERIFY(std::fabs(current(s.Vf)) < 1e-12);
    QVERIFY(s.Vf < s.Vp - 3 * s.kTe && s.Vf > s.Vp - 8 * s.kTe); // argon: about 5 kTe below Vp
    QVERIFY(s.isat < 0);
    // Monotonic, and the electron part falls e-fold per kTe below Vp.
    double last = -1;
    for (double v = -60; v <= 30; v += 0.5) {
        QVERIFY(current(v) > last);
        last = current(v);
    }
    const double a = current(s.Vp - 1.0), b = current(s.Vp - 4.0); // ions are small near Vp
    QVERIFY(std::fabs(std::log(a / b) / 3.0 - 1.0 / s.kTe) < 0.02 / s.kTe);
    // Electron current at Vp: the random flux of the whole tip.
    const double area = 2 * M_PI * 0.000195 * 0.010 + M_PI * 0.000195 * 0.000195;
    const double random = 1.602176487e-19 * 1e16 * std::sqrt(1.602176487e-19 * 3.0 / (2 * M_PI * 9.10938215e-31)) * area;
    QVERIFY(std::fabs(current(s.Vp) / random - 1) < 1e-9);
    // Ion saturation: with the density, and with one over the root of the ion mass.
    m.plasma.ne = 2e16;
    m.plasma.ionOml = true;
    qsim::setMeasurementConfig(m);
    const double heavy0 = current(-60);
    m.plasma.ionMassAmu = 160;
    qsim::setMeasurementConfig(m);
    QVERIFY(std::fabs(current(-60) / heavy0 - 0.5) < 1e-3);
}

void TestSimPlasma::hotElectrons()
{
    qsim::MeasurementConfig m = base();
    const double vfCold = qsim::truePlasma(0, 0).Vf;
    m.plasma.hotFraction = 0.05;
    m.plasma.hotKTe = 20;
    qsim::setMeasurementConfig(m);
    QVERIFY(qsim::truePlasma(0, 0).Vf < vfCold - 5); // the hot tail pulls the floating potential down
    QCOMPARE(qsim::truePlasma(0, 0).ne, 1.05e16);
    // Far below Vp the hot population dominates the electron current: slope 1/20 per volt.
    m.plasma.ionOml = true;
    qsim::setMeasurementConfig(m);
    const double Vp = 10;
    auto ions = [&](double v) { // OML ions, to take them out
        const double jp = 1.602176487e-19 * 1.05e16 * std::sqrt(1.602176487e-19 * 3.0 / (2 * M_PI * 40 * 1.6726216639163685e-27));
        const double eta = (Vp - v) / 3.0;
        return jp * (2 * M_PI * 0.000195 * 0.01 * 2 / std::sqrt(M_PI) * std::sqrt(eta) + M_PI * 0.000195 * 0.000195 * (1 + eta));
    };
    const double e1 = current(Vp - 30) + ions(Vp - 30), e2 = current(Vp - 40) + ions(Vp - 40);
    QVERIFY2(std::fabs(std::log(e1 / e2) / 10 - 1.0 / 20) < 0.003, qPrintable(QString::number(std::log(e1 / e2) / 10)));
}

void TestSimPlasma::doubleAndMach()
{
    qsim::MeasurementConfig m = base();
    QVERIFY(std::fabs(current(0, true)) < 1e-12);
    for (double v : {1.0, 3.0, 10.0, 40.0})
        QVERIFY(std::fabs(current(v, true) + current(-v, true)) < 1e-9 * std::fabs(current(v, true)));
    // tanh shape: slope at 0 = ion current at Vf / (2 kTe), sheath expansion aside.
    const qsim::PlasmaState s = qsim::truePlasma(0, 0);
    const double area = 2 * M_PI * 0.000195 * 0.010 + M_PI * 0.000195 * 0.000195;
    const double random = 1.602176487e-19 * 1e16 * std::sqrt(1.602176487e-19 * 3.0 / (2 * M_PI * 9.10938215e-31)) * area;
    const double ionAtVf = random * std::exp((s.Vf - s.Vp) / s.kTe);
    const double slope = (current(0.01, true) - current(-0.01, true)) / 0.02;
    QVERIFY2(std::fabs(slope * 2 * s.kTe / ionAtVf - 1) < 0.15, qPrintable(QString::number(slope * 2 * s.kTe / ionAtVf)));
    QVERIFY(current(8 * 3.0, true) > 0.9 * ionAtVf);
    m.plasma.machNumber = 0.5;
    qsim::setMeasurementConfig(m);
    const double ratio = std::fabs(current(50, true) / current(-50, true));
    QVERIFY(std::fabs(std::log(ratio) / 1.34 - 0.5) < 0.01);
}

void TestSimPlasma::pulseAndProfile()
{
    qsim::MeasurementConfig m = base();
    m.plasma.pulseDepth = 0.9;
    m.plasma.pulseTauUs = 20;
    m.plasma.profileWidthMm = 10;
    m.plasma.profileCentreMm = 50;
    m.plasma.profileFloor = 0.2;
    qsim::setMeasurementConfig(m);
    // 1 kHz SYNC: on for 500 us; tau 20 us.
    QVERIFY(std::fabs(qsim::truePlasma(450e-6, 50).ne / 1e16 - 1) < 1e-6);
    QVERIFY(std::fabs(qsim::truePlasma(990e-6, 50).ne / 1e16 - 0.1) < 1e-6);
    const double rising = qsim::truePlasma(20e-6, 50).ne / 1e16;
    QVERIFY(std::fabs(rising - (0.1 + 0.9 * (1 - std::exp(-1.0)))) < 1e-3);
    QVERIFY(std::fabs(qsim::truePlasma(450e-6, 90).ne / 1e16 - 0.2) < 1e-3);
    QVERIFY(std::fabs(qsim::truePlasma(450e-6, 60).ne / 1e16 - (0.2 + 0.8 * std::exp(-0.5))) < 1e-9);
}

void TestSimPlasma::syncWord()
{
    qsim::Config c;
    c.speedFactor = 0;
    c.modules.resize(2);
    c.modules[1].name = "QUSB-1";
    c.modules[1].chip2Firmware = 0x1050;
    qsim::reset(c);
    QCOMPARE(qsim::syncWord(0), 39935u);     // 39.936 MHz / 1 kHz - 1
    QCOMPARE(qsim::syncWord(1), 160000u);    // older counter: 160 MHz / 1 kHz
    qsim::MeasurementConfig m = qsim::measurementConfig();
    m.sync.stability = 0.02;
    qsim::setMeasurementConfig(m);
    QCOMPARE(qsim::syncWord(0), 0x80000000u);
    m.sync.stability = 1e-6;
    m.sync.frequencyHz = 2e5;
    qsim::setMeasurementConfig(m);
    QCOMPARE(qsim::syncWord(0), 0xC0000000u);
    m.sync.present = false;
    qsim::setMeasurementConfig(m);
    QCOMPARE(qsim::syncWord(0), 0xA0000000u);
}

void TestSimPlasma::configurationKeys()
{
    qsim::Config c;
    std::string error;
    QVERIFY(qsim::parseConfig("speed=0;plasma.ne=2e16;plasma.kTe=4.5;plasma.ionOml=on;sync.frequencyHz=500;"
                              "trigger.periodUs=1000;noiseLsb=0.25;seed=7", c, &error));
    QCOMPARE(c.speedFactor, 0.0);
    QCOMPARE(c.measurement.plasma.ne, 2e16);
    QCOMPARE(c.measurement.plasma.kTe, 4.5);
    QVERIFY(c.measurement.plasma.ionOml);
    QCOMPARE(c.measurement.sync.frequencyHz, 500.0);
    QCOMPARE(c.measurement.trigger.periodUs, 1000.0);
    QCOMPARE(c.measurement.noiseLsb, 0.25);
    QCOMPARE(c.measurement.seed, uint64_t(7));
    QVERIFY(!qsim::parseConfig("plasma.bogus=1", c, &error));
    QVERIFY(!qsim::parseConfig("plasma.ne=dense", c, &error));
}

QTEST_GUILESS_MAIN(TestSimPlasma)
#include "tst_simplasma.moc"
