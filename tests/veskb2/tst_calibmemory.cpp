// The calibration memory image: every variant the unit can hold, and writing
// back with page-bounded chunks, verification, retries and restore.
#include "SimTestSupport.h"

#include <RIRavaVCntrl.h>
#include <VeskbDrv.h>

#include <cstring>

using qsim::Call;
using qsim::CalImage;

namespace {
std::vector<uint8_t> memoryImage(size_t n = 280)
{
    return qsim::i2cMemory(0, 0x2000, n);
}
}

class TestCalibMemory : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    void resetWith(CalImage image, bool sixteenBit = false)
    {
        qsim::Config cfg = simConfig();
        cfg.modules[0].image = image;
        cfg.modules[0].sixteenBit = sixteenBit;
        cfg.modules[0].chip2Firmware = 0x1070;
        qsim::reset(cfg);
    }

private slots:
    void initTestCase() { setUpLibraryTests(dir); }
    void init() { freshUnit(); }

    void imageVariants_data()
    {
        QTest::addColumn<int>("image");
        QTest::addColumn<bool>("sixteenBit");
        QTest::addColumn<int>("connectResult");
        QTest::addColumn<QString>("message");
        QTest::newRow("valid") << int(CalImage::Valid) << false << 1 << "---------- I2C Memory ----------";
        QTest::newRow("valid 16-bit") << int(CalImage::Valid) << true << 1 << "adcBits: 16";
        QTest::newRow("blank") << int(CalImage::Blank) << false << 0 << "magicString [-1] != MAGIC_STRING [-825577360]";
        QTest::newRow("wrong magic") << int(CalImage::WrongMagic) << false << 0 << "magicString [-825577359]";
        QTest::newRow("version 1") << int(CalImage::Version1) << false << 1 << "i2cFormatVersion: 1";
        QTest::newRow("version 3 of 300") << int(CalImage::Version3Size300) << false << 1
                                          << "newer memory version 3 of size 300 bytes";
        QTest::newRow("version 2 of 279") << int(CalImage::Version2Size279) << false << 0
                                          << "I2C image of 279 bytes contains memory version 2 which should have 280 bytes";
        QTest::newRow("flags out of range") << int(CalImage::Flags01000001) << false << 1 << "adcBits: 14";
    }
    void imageVariants()
    {
        QFETCH(int, image);
        QFETCH(bool, sixteenBit);
        QFETCH(int, connectResult);
        QFETCH(QString, message);
        resetWith(static_cast<CalImage>(image), sixteenBit);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), connectResult);
        QCOMPARE(c.isCalibrated(), connectResult == 1);
        QVERIFY2(!logLinesWith(message).isEmpty(), qPrintable(message));
        const VeskbDescriptor *d = c.getScannerDescriptor();
        QCOMPARE(d->memoryBlank, image == int(CalImage::Blank));
        if (connectResult != 1) {
            QVERIFY(!qsim::moduleOpen(0));
            QCOMPARE(d->cal_dac[1], 1.0); // defaults stay
            return;
        }
        QCOMPARE(c.is16Bit(), sixteenBit);
        QCOMPARE(d->adcBits, sixteenBit ? 16 : 14);
        QCOMPARE(d->cal_dac[1], 320.5);
        QCOMPARE(d->cal_adc_i[5][1], 2.0259e-10);
        QCOMPARE(d->vRange[0], -100.0);
        QCOMPARE(d->devNameText(), QString("VESKB2-0417B"));
        QCOMPARE(d->driveLength, image == int(CalImage::Version1) ? 0 : 300);
    }

    void shortImageRefusedBeforeReadingIt()
    {
        // A newer version claiming 10 bytes: refused after the 8-byte header.
        std::vector<uint8_t> head = memoryImage(8);
        head[4] = 3;
        head[6] = 10;
        head[7] = 0;
        qsim::setI2cMemory(0, 0x2000, head);
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 0);
        QCOMPARE(qsim::callCount(Call::ReadI2C), 1u);
        QCOMPARE(logLinesWith("I2C image of 10 bytes contains memory version 3 which should have 280 bytes").size(), 1);
        // Version 0 likewise.
        head[4] = 0;
        head[6] = 0x18;
        head[7] = 0x01;
        qsim::setI2cMemory(0, 0x2000, head);
        QCOMPARE(drv.connectTo(), 0);
        QCOMPARE(qsim::callCount(Call::ReadI2C), 2u);
    }

    void devNameWithoutTerminator()
    {
        std::vector<uint8_t> name(20, 'N');
        name[11] = 'C';
        qsim::setI2cMemory(0, 0x2008, name);
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        QCOMPARE(drv.desc.devNameText(), QString("NNNNNNNNNNNCNNNNNNNN"));
        QCOMPARE(logLinesWith("devName: NNNNNNNNNNNCNNNNNNNN").size(), 1);
        QCOMPARE(logLinesWith("devName: NNNNNNNNNNNCNNNNNNNN")[0].size(),
                 QString("debug|[DEB      VeskbDrvI2c, 999] devName: ").size() + 20);
        QCOMPARE(drv.regs->hwRevision, int8_t('C'));
        // The raw bytes go back unchanged.
        QVERIFY(drv.writeRIRavaVConfigParameters());
        QCOMPARE(qsim::i2cMemory(0, 0x2008, 20), name);
    }

    void failedPieceRead()
    {
        qsim::failCall(Call::ReadI2C, 3, 11);
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 0);
        QCOMPARE(drv.errorCode, 6);
        QCOMPARE(logLinesWith("readRIRavaVConfigParameters() : QUSB_I2C_TIMEOUT (successfuly read 72 of 280 data)").size(), 1);
        qsim::shortReply(Call::ReadI2C, 1, 1);
        QCOMPARE(drv.connectTo(), 0);
        QVERIFY(!drv.calibrated);
    }

    void writeRoundTrip()
    {
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        const unsigned writesBefore = qsim::callCount(Call::WriteI2C);
        drv.desc.cal_adc_i[2][1] = 1.25e-7;
        drv.desc.calibTime = 1800000000u;
        QVERIFY(drv.writeRIRavaVConfigParameters());
        // 9 chunks (8 x 32 + 24), each written and then re-addressed.
        QCOMPARE(qsim::callCount(Call::WriteI2C) - writesBefore, 18u);
        const std::vector<uint8_t> mem = memoryImage();
        QCOMPARE(mem, drv.buildImage());
        double v;
        std::memcpy(&v, mem.data() + 184 + 2 * 16 + 8, 8);
        QCOMPARE(v, 1.25e-7);
        // Read back at the next connect.
        QVERIFY(drv.disconnect());
        VeskbDrv again;
        QCOMPARE(again.connectTo(), 1);
        QCOMPARE(again.desc.cal_adc_i[2][1], 1.25e-7);
        QCOMPARE(again.desc.calibTime, 1800000000u);

        again.desc.i2cFormatVersion = 3;
        QVERIFY(!again.writeRIRavaVConfigParameters());
        QCOMPARE(logLinesWith("Unknown i2cMemory version [3]").size(), 1);
    }

    void writeWithRealWaits()
    {
        // At real speed the memory's write cycle needs the driver's 10 ms waits.
        qsim::Config cfg = simConfig();
        cfg.speedFactor = 1.0;
        qsim::reset(cfg);
        setDriverDelayScale(1.0);
        VeskbDrv drv;
        const bool connected = drv.connectTo() == 1;
        drv.desc.resI[1] = 301.5;
        const bool written = connected && drv.writeRIRavaVConfigParameters();
        setDriverDelayScale(0);
        QVERIFY(connected);
        QVERIFY(written);
        QCOMPARE(memoryImage(), drv.buildImage());
        QVERIFY(logLinesWith("QUSB_I2C_NO_ACK").isEmpty());
    }

    void chunksStayInsidePages()
    {
        // The last chunk starts at offset 256 and carries 24 bytes.
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        qsim::failI2cDataWrite(8, 5, 9);
        QVERIFY(!drv.writeRIRavaVConfigParameters());
        QCOMPARE(logLinesWith("QUSB_I2C_NO_ACK (successfully written 256 of 280 data").size(), 5);
    }

    void retriesUntilTheLimit_data()
    {
        QTest::addColumn<unsigned>("failures");
        QTest::addColumn<bool>("ok");
        QTest::newRow("4 failures recover") << 4u << true;
        QTest::newRow("5 failures give up") << 5u << false;
    }
    void retriesUntilTheLimit()
    {
        QFETCH(unsigned, failures);
        QFETCH(bool, ok);
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        const std::vector<uint8_t> original = memoryImage();
        drv.desc.cal_dac[0] = -99.5;
        const std::vector<uint8_t> wanted = drv.buildImage();
        qsim::failI2cDataWrite(3, failures, 8);
        QCOMPARE(drv.writeRIRavaVConfigParameters(), ok);
        QCOMPARE(logLinesWith("QUSB_I2C_BUS_ERROR (successfully written 96 of 280 data").size(), int(failures));
        // Success: the new image. Failure: the image read at connect, restored whole.
        QCOMPARE(memoryImage(), ok ? wanted : original);
        if (!ok)
            QCOMPARE(logLinesWith("restoring the calibration image").size(), 1);
    }

    void verificationCatchesBadBytes()
    {
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        qsim::failI2cDataWrite(0, 1, 0, true);
        QVERIFY(drv.writeRIRavaVConfigParameters());
        const QStringList lines = logLinesWith("Failed to write data into I2C (succesfully written 0 data)\nPerused data not equal: | 70 B0 CA CE");
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].contains("| attemped write data\n                        | 8F B0 CA CE"));
        QCOMPARE(memoryImage(), drv.buildImage());

        qsim::shortReply(Call::ReadI2C, 1, 4);
        QVERIFY(drv.writeRIRavaVConfigParameters());
        QCOMPARE(logLinesWith("Failed to read  full data package length (28 instead of 32)\n").size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCalibMemory)
#include "tst_calibmemory.moc"
