// Connection, disconnection and the register-level operations, checked in the
// simulated unit's own registers rather than only in the library's mirror.
#include "SimTestSupport.h"

#include <RIRavaVCntrl.h>
#include <VeskbDrv.h>

#include <cmath>
#include <memory>

using qsim::Call;

namespace {
// A device that always has another byte to send.
class ChattyLine : public qsim::SerialDevice {
public:
    void write(const uint8_t *, size_t) override {}
    bool read(double, uint8_t &byte) override
    {
        byte = 'z';
        return true;
    }
};
}

class TestConnect : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { setUpLibraryTests(dir); }
    void init() { freshUnit(); }

    void connectProgramsTheUnit()
    {
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QVERIFY(c.isConnected());
        QVERIFY(c.isCalibrated());
        QVERIFY(qsim::moduleOpen(0));
        QCOMPARE(qsim::resetPulses(0), 1u);
        QCOMPARE(qsim::setting(0, 1), uint16_t(1));
        QCOMPARE(qsim::setting(0, 3) & 0xFB, 0xE2);
        QVERIFY(qsim::portDirection(0, 0) & 0x04);
        QVERIFY(qsim::portValue(0, 0) & 0x04);
        // Step 10 as the unit holds it.
        QCOMPARE(qsim::cnfgRegister(0, 0), uint16_t(2 << 1)); // field 1 code 2, field 2 off, aux off, not running
        QCOMPARE(qsim::cnfgRegister(0, 1) | (qsim::cnfgRegister(0, 2) << 16), 6);
        QCOMPARE(qsim::cnfgRegister(0, 3), uint16_t(0));
        QCOMPARE(qsim::cnfgRegister(0, 4), uint16_t(1000));
        QCOMPARE(qsim::cnfgRegister(0, 5), uint16_t(360));
        QCOMPARE(qsim::cnfgRegister(0, 6), uint16_t(6));
        QCOMPARE(qsim::cnfgRegister(0, 7), uint16_t(100));
        QCOMPARE(qsim::cnfgRegister(0, 8), uint16_t(100));
        QCOMPARE(qsim::cnfgRegister(0, 9), uint16_t(2));
        QCOMPARE(qsim::cnfgRegister(0, 14), uint16_t(0));
        QCOMPARE(qsim::chip2Register(0, 1), uint16_t(0x0004));          // accumulate, not 16-bit
        QCOMPARE(qsim::chip2Register(0, 2), uint16_t(6));               // sync delay 0
        QCOMPARE(qsim::chip2Register(0, 4), uint16_t(0));               // sync cycles 1
        QCOMPARE(qsim::chip2Register(0, 6), uint16_t(0));               // sync points 1
        QCOMPARE(qsim::chip2Register(0, 8), uint16_t(149));             // samples per point 150
        // eHV, eSmall, gain low, front end on, load off (revision B: bit 4 clear).
        QCOMPARE(qsim::chip2Register(0, 10), uint16_t(0xCF));
        // Descriptor
        VeskbDescriptor *d = c.getScannerDescriptor();
        QCOMPARE(d->qusbDevName, QString("QUSB-0"));
        QCOMPARE(d->qusbMake, QString("Quendrix"));
        QCOMPARE(d->qusbSerial, QString("VB2-000417"));
        QCOMPARE(d->qusbHWRev, QString("CY7C68013 Rev E"));
        QVERIFY(d->qusbHighSpeed);
        QCOMPARE(d->chip1FirmwareVersion, 0x1090u);
        QCOMPARE(d->chip2FirmwareVersion, 0x1070u);
        QCOMPARE(c.getLinearDriveName(), QString("LinearDrive"));
        QCOMPARE(c.getLinearDriveDescription(), QString("Generic Linear Drive Controller"));
        QCOMPARE(logLinesWith("VESK connected to QUSB-0").size(), 1);
    }

    void noModule()
    {
        qsim::reset(simConfig(0));
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), -100);
        QCOMPARE(logLinesWith("There are no devices attached to the system").size(), 1);
        // A failing search is an empty list, not whatever it left in the buffer.
        qsim::reset(simConfig(1));
        qsim::failCall(Call::FindModules, 1, 4);
        QCOMPARE(c.connectTo(), -100);
    }

    // A configuration with a bad entry names it and attaches no module, so
    // nothing runs against a world that was not asked for.
    void malformedSimConfig_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("inFile");
        QTest::addColumn<QString>("report");
        QTest::newRow("unknown key") << QByteArray("modules=1; colour=blue") << false
                                     << "line 1: unknown key \"colour\" in \"colour=blue\"";
        QTest::newRow("unknown key, no modules") << QByteArray("modules=0;colour=blue") << false
                                                 << "unknown key \"colour\"";
        QTest::newRow("bad value in a file") << QByteArray("# world\nspeed=0\n\nmotor=stepper\n") << true
                                             << "line 4: bad value for \"motor\" in \"motor=stepper\"";
        QTest::newRow("unknown measurement key") << QByteArray("plasma.bogus=1") << false
                                                 << "unknown key \"plasma.bogus\"";
        // Values the physics cannot take, with the key and the reason.
        QTest::newRow("no temperature") << QByteArray("plasma.kTe=0") << false
                                        << "bad value for \"plasma.kTe\" in \"plasma.kTe=0\": must be above 0";
        QTest::newRow("negative density") << QByteArray("plasma.ne=-1e16") << false
                                          << "\"plasma.ne\" in \"plasma.ne=-1e16\": must not be negative";
        QTest::newRow("noise nan") << QByteArray("noiseLsb=nan") << false << "\"noiseLsb=nan\": not a finite number";
        QTest::newRow("no sync frequency") << QByteArray("sync.frequencyHz=0") << false
                                           << "\"sync.frequencyHz=0\": must be above 0";
        QTest::newRow("pulse deeper than the plasma") << QByteArray("plasma.pulseDepth=1.5") << false
                                                      << "must lie between 0 and 1";
        // Paths that are no file: a folder, a device.
        QTest::newRow("folder") << QByteArray("/") << false << "LPSIM_CONFIG: \"/\" is not a regular file";
        QTest::newRow("device") << QByteArray("/dev/zero") << false << "\"/dev/zero\" is not a regular file";
    }
    void malformedSimConfig()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, inFile);
        QFETCH(QString, report);
        QTemporaryFile file;
        if (inFile) {
            QVERIFY(file.open());
            file.write(text);
            file.flush();
        }
        const QByteArray before = qgetenv("LPSIM_CONFIG");
        qputenv("LPSIM_CONFIG", inFile ? file.fileName().toLocal8Bit() : text);
        std::string message;
        const qsim::Config config = qsim::configFromEnvironment(&message);
        qputenv("LPSIM_CONFIG", before);
        QVERIFY2(QString::fromStdString(message).contains(report), message.c_str());
        QVERIFY(config.modules.empty());
        qsim::reset(config);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), -100);
    }

    void everyModuleFails()
    {
        qsim::Config cfg = simConfig(2);
        cfg.modules[0].openable = false;
        cfg.modules[1].openable = false;
        qsim::reset(cfg);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 0);
        QVERIFY(!c.isConnected());
        QCOMPARE(logLinesWith("Failed to open device QUSB-").size(), 2);
        QCOMPARE(logLinesWith("connectTo(QUSB-1, (nil), 1) : VESKB_COULD_NOT_CONNECT").size(), 1);
        QCOMPARE(c.getScannerDescriptor()->qusbDevName, QString("QUSB-1"));
        // Failed early: the mirror exists on a closed module, so everything refuses.
        QVERIFY(!c.outputHV());
        QVERIFY(!c.selectProbeMode(VESK_HW::eSingle));
        QVERIFY(!c.isScanRunning());
    }

    void secondModuleAfterFirstFails()
    {
        qsim::Config cfg = simConfig(2);
        cfg.modules[0].image = qsim::CalImage::WrongMagic;
        qsim::reset(cfg);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QCOMPARE(c.getScannerDescriptor()->qusbDevName, QString("QUSB-1"));
        QVERIFY(!qsim::moduleOpen(0));
        QVERIFY(qsim::moduleOpen(1));
        QCOMPARE(logLinesWith("Failed to open device QUSB-0").size(), 1);
        QCOMPARE(qsim::cnfgRegister(1, 4), uint16_t(1000));
        QCOMPARE(qsim::cnfgRegister(0, 4), uint16_t(0));
    }

    void laterStepsDoNotHideEarlierFailures_data()
    {
        QTest::addColumn<int>("call");
        QTest::newRow("setting 1 write") << int(Call::WriteSetting);
        QTest::newRow("string descriptor") << int(Call::GetStringDescriptor);
        QTest::newRow("port direction read") << int(Call::ReadPortDir);
        QTest::newRow("port write") << int(Call::WritePort);
    }
    void laterStepsDoNotHideEarlierFailures()
    {
        QFETCH(int, call);
        qsim::failCall(static_cast<Call>(call), 1, 4);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 0);
        QVERIFY(!c.isConnected());
        QVERIFY(!qsim::moduleOpen(0));
        QCOMPARE(logLinesWith(": VESKB_COULD_NOT_CONNECT").size(), 1);
    }

    void sixteenBitNeedsChip2Firmware_data()
    {
        QTest::addColumn<int>("chip2");
        QTest::addColumn<bool>("expected");
        QTest::newRow("0x105F") << 0x105F << false;
        QTest::newRow("0x1060") << 0x1060 << true;
    }
    void sixteenBitNeedsChip2Firmware()
    {
        QFETCH(int, chip2);
        QFETCH(bool, expected);
        qsim::Config cfg = simConfig();
        cfg.modules[0].sixteenBit = true;
        cfg.modules[0].chip2Firmware = static_cast<uint16_t>(chip2);
        qsim::reset(cfg);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QCOMPARE(c.is16Bit(), expected);
        QCOMPARE(bool(qsim::chip2Register(0, 1) & 0x08), expected);
    }

    void disconnectAndDestruction()
    {
        {
            RIRavaVCntrl c;
            QCOMPARE(c.connectTo(), 1);
            QVERIFY(c.outputHV());
            QVERIFY(c.disconnect());
            QVERIFY(!c.isConnected());
            QVERIFY(!c.isCalibrated());
            QVERIFY(!qsim::moduleOpen(0));
            QCOMPARE(qsim::cnfgRegister(0, 0) & 0x1F, 0);       // switch fields off, not running
            QVERIFY(qsim::chip2Register(0, 10) & 0x10);          // calibration load on (rev B)
            QVERIFY(qsim::chip2SequencerStopped(0));
            const VeskbDescriptor *d = c.getScannerDescriptor();
            QVERIFY(d->qusbMake.isEmpty());
            QCOMPARE(d->devName[0], '\0');
            QCOMPARE(d->apiVersion, QString("2.1.6"));
            // Closed module: register operations refuse.
            QVERIFY(!c.outputHV());
            QVERIFY(!c.stopScan());
            QCOMPARE(c.connectTo(), 1);
        }
        // Destroyed while connected: the module is closed.
        QVERIFY(!qsim::moduleOpen(0));
        qsim::failCall(Call::Close, 1, 4);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QVERIFY(!c.disconnect());
        QCOMPARE(logLinesWith("disconnect() : QUSB_IOCTL_FAILED").size(), 1);
    }

    void neverConnectedObject()
    {
        RIRavaVCntrl c;
        QVERIFY(!c.isExtScanTriggerAvailable());
        QVERIFY(!c.isDoubleProbeModeAvailable());
        QCOMPARE(c.getProbeMode(), VESK_HW::eSingle);
        QVERIFY(!c.is16Bit());
        QVERIFY(!c.selectProbeMode(VESK_HW::eSingle));
        QVERIFY(!c.outputHV());
        QVERIFY(!c.useTriggeredScan(true, true, 5));
        QVERIFY(!c.stopScan());
        QVERIFY(c.abortAll());
        QVERIFY(c.isAborted());
        QVERIFY(!c.isScanRunning());
        QVERIFY(c.disconnect());
        QVERIFY(!c.moveLinearDriveTo(1.0));
        QVERIFY(c.getLinearDriveName().isEmpty());
        unsigned short len = 4;
        char buf[4];
        QVERIFY(!c.readRS232(0, buf, &len));
        QVERIFY(!c.writeRS232(0, buf, 4));
        QVERIFY(!c.configureRS232(0, 1, true, true));
        unsigned short count = 7;
        QVERIFY(!c.getNumRS232(0, &count));
        QCOMPARE(count, (unsigned short)0);
        QVERIFY(!c.getNumRS232(0, nullptr));
        double *data = reinterpret_cast<double *>(&count);
        unsigned sp = 1, st = 1, tr = 1;
        double per = 1, del = 1;
        QVERIFY(!c.getDataFromOneScan(data, sp, st, per, del, tr, false));
        QVERIFY(!data);
        QCOMPARE(sp + st + tr, 0u);
        QCOMPARE(per + del, 0.0);
        QCOMPARE(logLinesWith("Cannot read data from VESKB because it's not connected").size(), 1);
        QCOMPARE(qsim::callCount(Call::Open), 0u);
    }

    void probeModes_data()
    {
        QTest::addColumn<bool>("doubleProbe");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("bits");
        QTest::newRow("single on single-only") << false << 0 << true << 7;
        QTest::newRow("drive on single-only") << false << 1 << false << 0;
        QTest::newRow("double on single-only") << false << 3 << false << 0;
        QTest::newRow("single") << true << 0 << true << 7;
        QTest::newRow("drive") << true << 1 << true << 3;
        QTest::newRow("return") << true << 2 << true << 1;
        QTest::newRow("double") << true << 3 << true << 2;
    }
    void probeModes()
    {
        QFETCH(bool, doubleProbe);
        QFETCH(int, mode);
        QFETCH(bool, accepted);
        QFETCH(int, bits);
        qsim::Config cfg = simConfig();
        cfg.modules[0].doubleProbeAvailable = doubleProbe;
        qsim::reset(cfg);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QCOMPARE(c.isDoubleProbeModeAvailable(), doubleProbe);
        const auto m = static_cast<VESK_HW::eProbeMode>(mode);
        QCOMPARE(c.selectProbeMode(m), accepted);
        QCOMPARE(int(qsim::cnfgRegister(0, 13) & 7), bits);
        if (accepted) {
            QCOMPARE(c.getProbeMode(), m);
            // The switch happens with the calibration load on and ends with it off again.
            QCOMPARE(qsim::chip2Register(0, 10) & 0x10, 0);
        } else {
            QCOMPARE(logLinesWith("double probe mode is not available").size(), 1);
        }
        // A number that names no mode arrives as an int (dialogs, settings) and is refused.
        QVERIFY(!c.selectProbeMode(9));
        QVERIFY(!c.selectProbeMode(-1));
        QCOMPARE(logLinesWith("selectProbeMode(9) : unknown probe mode").size(), 1);
        QCOMPARE(int(qsim::cnfgRegister(0, 13) & 7), bits);
    }

    void probeModeReadBackUsesHighByte()
    {
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        drv.regs->probeMode = 0x0107;
        QCOMPARE(drv.getProbeMode(), VESK_HW::eSingle);
        drv.regs->probeMode = 0x0102;
        QCOMPARE(drv.getProbeMode(), VESK_HW::eSingle);
        drv.regs->probeMode = 0x0002;
        QCOMPARE(drv.getProbeMode(), VESK_HW::eDouble);
    }

    void triggeredScan()
    {
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QVERIFY(c.useTriggeredScan(true, true, 321));
        QCOMPARE(qsim::cnfgRegister(0, 12), uint16_t(321));
        QCOMPARE(qsim::cnfgRegister(0, 0) & 0xC0, 0xC0);
        QVERIFY(c.useTriggeredScan(true, false, 5));
        QCOMPARE(qsim::cnfgRegister(0, 0) & 0xC0, 0x40);
        QVERIFY(c.useTriggeredScan(true, true, 5));
        QVERIFY(c.useTriggeredScan(false, false, 0));
        QCOMPARE(qsim::cnfgRegister(0, 0) & 0xC0, 0x80); // mode bit kept
        QCOMPARE(qsim::cnfgRegister(0, 12), uint16_t(5));

        qsim::Config cfg = simConfig();
        cfg.modules[0].triggerAvailable = false;
        qsim::reset(cfg);
        RIRavaVCntrl d;
        QCOMPARE(d.connectTo(), 1);
        QVERIFY(!d.useTriggeredScan(true, true, 77));
        QCOMPARE(qsim::cnfgRegister(0, 12), uint16_t(0));
        QCOMPARE(qsim::cnfgRegister(0, 0) & 0xC0, 0);
        QVERIFY(d.useTriggeredScan(false, true, 77));
    }

    void stopAndAbort()
    {
        VeskbDrv drv;
        QCOMPARE(drv.connectTo(), 1);
        QVERIFY(drv.regs->startScan());
        QVERIFY(drv.isScanRunning());
        QCOMPARE(qsim::cnfgRegister(0, 0) & 1, 1);
        QVERIFY(drv.abortAll());
        QVERIFY(drv.aborted);
        QVERIFY(!drv.isScanRunning());
        QCOMPARE(qsim::cnfgRegister(0, 0) & 1, 0);
        QVERIFY(qsim::chip2SequencerStopped(0));
        QVERIFY(drv.stopScan());
        QVERIFY(!drv.aborted);
        // Abort with a failing stop transfer reports it and still sets the flag.
        QVERIFY(drv.regs->startScan());
        qsim::failCall(Call::WriteCommand, 2, 6);
        QVERIFY(!drv.abortAll());
        QVERIFY(drv.aborted);
    }

    void rs232FirmwareGates()
    {
        qsim::Config cfg = simConfig();
        cfg.modules[0].chip1Firmware = 0x1010;
        qsim::reset(cfg);
        {
            RIRavaVCntrl c;
            QCOMPARE(c.connectTo(), 1);
            char buf[4] = "abc";
            QVERIFY(!c.writeRS232(0, buf, 3));
            QVERIFY(!c.configureRS232(0, 1, true, true));
            QVERIFY(qsim::serialBytesWritten(0, 0).empty());
        }
        cfg.modules[0].chip1Firmware = 0x1070;
        qsim::reset(cfg);
        {
            RIRavaVCntrl c;
            QCOMPARE(c.connectTo(), 1);
            QVERIFY(c.configureRS232(0, 1, true, true));
            QVERIFY(!c.configureRS232(0, 2, true, true));
            QVERIFY(!c.configureRS232(0, 1, false, true));
            QCOMPARE(qsim::cnfgRegister(0, 15), uint16_t(0));
        }
        cfg.modules[0].chip1Firmware = 0x1080;
        qsim::reset(cfg);
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QVERIFY(c.configureRS232(0, 5, true, false));
        QVERIFY(c.configureRS232(1, 3, false, true));
        QCOMPARE(qsim::cnfgRegister(0, 15), uint16_t((5 << 5 | 2) | ((3 << 5 | 1) << 8)));
    }

    void rs232Transfers()
    {
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        qsim::attachSerialDevice(0, 0, std::make_shared<qsim::EchoLine>());
        // More than one frame's worth goes out whole, in order.
        QByteArray text = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";
        QVERIFY(c.writeRS232(0, text.data(), static_cast<unsigned short>(text.size())));
        const std::vector<uint8_t> sent = qsim::serialBytesWritten(0, 0);
        // Before it, connect tried the linear-drive families on the line.
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent.data()), int(sent.size())).right(text.size()), text);
        QCOMPARE(qsim::cnfgRegister(0, 4), uint16_t(1000)); // no register overwritten by the data
        char buf[64] = {};
        unsigned short len = 10;
        QVERIFY(c.readRS232(0, buf, &len));
        QCOMPARE(len, (unsigned short)10);
        QCOMPARE(QByteArray(buf, 10), text.left(10));
        len = 60;
        QVERIFY(c.readRS232(0, buf, &len));
        QCOMPARE(int(len), text.size() - 10);
        QCOMPARE(QByteArray(buf, len), text.mid(10));
        len = 5;
        QVERIFY(c.readRS232(1, buf, &len));
        QCOMPARE(len, (unsigned short)5);
        QVERIFY(!c.readRS232(0, nullptr, &len));
        QVERIFY(c.flushRS232(0));

        // A short reply is a failed read.
        QVERIFY(c.writeRS232(0, text.data(), 3));
        qsim::shortReply(Call::ReadCommand, 1, 1);
        len = 3;
        QVERIFY(!c.readRS232(0, buf, &len));
        qsim::shortReply(Call::ReadCommand, 1, 1);
        QVERIFY(!c.flushRS232(0));

        // A line that never goes quiet: the flush gives up with a warning.
        qsim::attachSerialDevice(0, 0, std::make_shared<ChattyLine>());
        QVERIFY(!c.flushRS232(0));
        QCOMPARE(logLinesWith("flushRS232()").size(), 1);
    }

    void errorTextTable()
    {
        QCOMPARE(QString(veskbErrorText(1)), QString("VESKB_COULD_NOT_CONNECT"));
        QCOMPARE(QString(veskbErrorText(4)), QString("FAILED_TO_PROGRAM_FPGA"));
        QCOMPARE(QString(veskbErrorText(6)), QString("VESKB_QUSB_ERROR"));
        QVERIFY(QString(veskbErrorText(5)) != QString(veskbErrorText(6)));
        QCOMPARE(QString(veskbErrorText(7)), QString("VESKB_UNKNOWN_ERROR"));
        QCOMPARE(QString(veskbErrorText(-1)), QString("VESKB_UNKNOWN_ERROR"));
    }

    void genericLinearDrive()
    {
        RIRavaVCntrl c;
        QCOMPARE(c.connectTo(), 1);
        QVERIFY(!c.moveLinearDriveTo(10.0));
        QVERIFY(!c.stopLinearDrive());
        QCOMPARE(c.getLinearDriveError(), QString("No Error."));
        QVERIFY(std::isnan(c.getLinearDrivePosition()));
        c.setLinearDriveVelpercent(55.9);
        QCOMPARE(c.getLinearDriveVelpercent(), 55.0);
        c.setLDmmPerRev(3);
        c.setLinearDriveIdentifiedType(3);
        QCOMPARE(c.getLinearDriveIdentifiedType(), 3);
    }
};

QTEST_GUILESS_MAIN(TestConnect)
#include "tst_connect.moc"
