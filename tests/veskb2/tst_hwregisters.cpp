// The register mirror against the unit's register file: whole-register
// transfers in both directions, combined registers, the analog control word
// and its polarity rule, and the diagnostic dump.
#include "SimTestSupport.h"

#include <HwRegisters.h>

using qsim::Call;

class TestHwRegisters : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<CQuickUsb> usb;

private slots:
    void initTestCase() { setUpLibraryTests(dir); }
    void init()
    {
        freshUnit();
        usb = std::make_unique<CQuickUsb>("QUSB-0");
        QVERIFY(usb->open());
    }
    void cleanup() { usb.reset(); }

    void closedModuleRefusesEverything()
    {
        CQuickUsb closed("QUSB-0");
        HwRegisters r(&closed);
        QVERIFY(!r.registersRead);
        QVERIFY(!r.setStartDac(5));
        QCOMPARE(r.startDac, int16_t(5)); // the mirror keeps the new value
        QVERIFY(!r.readAll());
        QCOMPARE(r.chip1Firmware(), uint16_t(0));
        QCOMPARE(qsim::callCount(Call::WriteCommand), 0u);
        QCOMPARE(qsim::callCount(Call::Open), 1u); // only the fixture's own open
    }

    void writeAllThenReadAll()
    {
        HwRegisters r(usb.get());
        QVERIFY(r.registersRead);
        QCOMPARE(r.chip1Firmware(), uint16_t(0x1090));
        QCOMPARE(r.chip2Firmware(), uint16_t(0x1070));
        QCOMPARE(r.statusWord(), uint16_t(3));
        r.cnfg0 = 0x00C5; // run bit set in the mirror: write all never starts a scan
        r.totalCount = 0x00012345;
        r.idleDac = -5;
        r.startDac = -2000;
        r.increment = 0xFFF0;
        r.stepCountM1 = 99;
        r.firstDelay = 11;
        r.nextDelay = 12;
        r.stepLength = 0x00030004;
        r.gainSwitchIndex = 7;
        r.gainSwitchFlag = 1;
        r.triggerDelay = 55;
        r.probeMode = 3;
        r.chip2Mode = 0x0D;
        r.chip2Reg2 = 0x00010006;
        r.chip2Reg4 = 9;
        r.chip2Reg6 = 0x00020001;
        r.chip2Reg8 = 149;
        r.analogControl = 0xE5;
        QVERIFY(r.reset(true));
        QCOMPARE(qsim::resetPulses(0), 0u); // port direction not set here: no pulse reaches the logic
        QCOMPARE(qsim::cnfgRegister(0, 0), uint16_t(0x00C4));
        QCOMPARE(qsim::cnfgRegister(0, 3), uint16_t(0xFFFB));
        QCOMPARE(qsim::cnfgRegister(0, 9), uint16_t(4));
        QCOMPARE(qsim::cnfgRegister(0, 12), uint16_t(0));
        QCOMPARE(qsim::cnfgRegister(0, 14), uint16_t(3));
        QCOMPARE(qsim::chip2Register(0, 7), uint16_t(2));
        QCOMPARE(qsim::chip2Register(0, 10), uint16_t(0xE5));

        HwRegisters back(usb.get());
        QCOMPARE(back.controlWord(), uint16_t(0x00C4));
        QCOMPARE(back.totalCount, 0x00012345u);
        QCOMPARE(back.idleDac, int16_t(-5));
        QCOMPARE(back.startDac, int16_t(-2000));
        QCOMPARE(back.increment, uint16_t(0xFFF0));
        QCOMPARE(back.stepCountM1, uint16_t(99));
        QCOMPARE(back.stepLength, 0x00030004u);
        QCOMPARE(back.gainSwitchIndex, uint16_t(7));
        QCOMPARE(back.gainSwitchFlag, uint8_t(1));
        QCOMPARE(back.probeMode, uint16_t(3));
        QCOMPARE(back.chip2Mode, uint16_t(0x0D));
        QCOMPARE(back.chip2Reg2, 0x00010006u);
        QCOMPARE(back.chip2Reg4, 9u);
        QCOMPARE(back.chip2Reg6, 0x00020001u);
        QCOMPARE(back.analogControl, uint16_t(0xE5));
    }

    void shortReadFails()
    {
        HwRegisters r(usb.get());
        r.registersRead = false;
        qsim::shortReply(Call::ReadCommand, 2, 2);
        QVERIFY(!r.readAll());
        QVERIFY(!r.registersRead);
        QVERIFY(r.readAll());
    }

    void combinedCounts()
    {
        HwRegisters r(usb.get());
        QVERIFY(r.setSyncPoints(4));
        QVERIFY(r.setStepCount(10));
        QCOMPARE(qsim::cnfgRegister(0, 6), uint16_t(9));
        QCOMPARE(qsim::cnfgRegister(0, 1), uint16_t(39)); // 10 steps x 4 points - 1
        QVERIFY(r.setSyncPoints(0));                      // counts as one point
        QCOMPARE(qsim::chip2Register(0, 6), uint16_t(0));
        QCOMPARE(qsim::cnfgRegister(0, 1), uint16_t(9));
        QVERIFY(r.setStepCount(0));
        QCOMPARE(qsim::cnfgRegister(0, 6), uint16_t(0));
        QVERIFY(r.setStepLength(0x12345678));
        QCOMPARE(qsim::cnfgRegister(0, 9), uint16_t(0x5678));
        QCOMPARE(qsim::cnfgRegister(0, 14), uint16_t(0x1234));
        QVERIFY(r.setSyncDelay(10));
        QCOMPARE(qsim::chip2Register(0, 2), uint16_t(16));
        QVERIFY(r.setSyncCycles(0));
        QCOMPARE(qsim::chip2Register(0, 4), uint16_t(0));
    }

    void analogControlWord_data()
    {
        QTest::addColumn<char>("revision");
        QTest::addColumn<int>("loadOnBit");
        QTest::newRow("revision A: bit clear when on") << 'A' << 0;
        QTest::newRow("revision B: bit set when on") << 'B' << 0x10;
    }
    void analogControlWord()
    {
        QFETCH(char, revision);
        QFETCH(int, loadOnBit);
        HwRegisters r(usb.get());
        r.hwRevision = revision;
        QVERIFY(r.setCalibrationLoad(true));
        QCOMPARE(qsim::chip2Register(0, 10) & 0x10, loadOnBit);
        QVERIFY(r.calibrationLoadOn());
        QVERIFY(r.setCalibrationLoad(false));
        QVERIFY(!r.calibrationLoadOn());
        const int sources[3][2] = {{HwRegisters::eHV, 3}, {HwRegisters::eReference, 0}, {HwRegisters::eGND, 1}};
        for (const auto &s : sources) {
            QVERIFY(r.setInputSource(s[0]));
            QCOMPARE(qsim::chip2Register(0, 10) & 3, s[1]);
            QCOMPARE(r.inputSource(), s[0]);
        }
        const int resistors[3][2] = {{HwRegisters::eSmall, 3}, {HwRegisters::eMedium, 2}, {HwRegisters::eLarge, 1}};
        for (const auto &s : resistors) {
            QVERIFY(r.setCurrentResistor(s[0]));
            QCOMPARE((qsim::chip2Register(0, 10) >> 2) & 3, s[1]);
            QCOMPARE(r.currentResistor(), s[0]);
        }
        r.analogControl = 0;
        QCOMPARE(r.currentResistor(), int(HwRegisters::eLarge)); // 00b reads as large
        QVERIFY(r.setGain(true));
        QVERIFY(r.setFrontEnable(true, false));
        QCOMPARE(qsim::chip2Register(0, 10) & 0xE0, 0xA0);
        QVERIFY(r.gainHigh());
    }

    void syncWordAndDump()
    {
        HwRegisters r(usb.get());
        qsim::MeasurementConfig m = qsim::measurementConfig();
        m.sync.present = false;
        qsim::setMeasurementConfig(m);
        uint32_t word = 0;
        QVERIFY(r.readSyncWord(true, word));
        QCOMPARE(word, 0xA0000000u); // no SYNC signal: too low
        m.sync.present = true;       // 1 kHz: 39.936 MHz / 1 kHz - 1
        qsim::setMeasurementConfig(m);
        QVERIFY(r.readSyncWord(true, word));
        QCOMPARE(word, 39935u);
        QVERIFY(r.setStartDac(1000));
        r.dumpRegisters();
        QCOMPARE(logLinesWith("********** CONFIGURATION AND STATE REGISTERS OF FPGA1 PROCESSOR").size(), 1);
        QCOMPARE(logLinesWith("] CNFG_REG[").size(), 20);
        QCOMPARE(logLinesWith("] CNFG_REG[4]: 0x03E8").size(), 1);
        QCOMPARE(logLinesWith("] STAT_REG[101]: 0x1090").size(), 1);
        QCOMPARE(logLinesWith("] STAT_REG[106]: 0x0003").size(), 1);
        QCOMPARE(logLinesWith("] CHIP2_REG[").size(), 14);
        QCOMPARE(logLinesWith("] CHIP2_REG[0]: 0x1070").size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHwRegisters)
#include "tst_hwregisters.moc"
