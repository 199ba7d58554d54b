// The module wrapper against the simulated module library: names, open and
// close, error codes and their texts, the temporary-open path, setting 17.
#include "SimTestSupport.h"

#include <CQuickUsb.h>

#include <atomic>
#include <cstring>
#include <thread>

using qsim::Call;

class TestCQuickUsb : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { setUpLibraryTests(dir); }
    void init() { freshUnit(); }

    void deviceNameLength()
    {
        CQuickUsb usb;
        QVERIFY(usb.setDeviceName("123456789"));
        QCOMPARE(QString(usb.deviceName()), QString("123456789"));
        QVERIFY(!usb.setDeviceName("1234567890"));
        QCOMPARE(usb.lastError(), 12ul);
        QCOMPARE(QString(usb.deviceName()), QString("123456789"));
        QCOMPARE(logLinesWith("setDeviceName(1234567890) : QUSB_NAME_TOO_LONG").size(), 1);
    }

    void closeNeverOpened()
    {
        CQuickUsb usb("QUSB-0");
        QVERIFY(!usb.close());
        QCOMPARE(usb.lastError(), 13ul);
        const QStringList lines = logLinesWith("close() : QUSB_NOT_OPEN");
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].startsWith("warning|[WARN        CQuickUsb,"));
        QCOMPARE(qsim::callCount(Call::Close), 0u);
    }

    void openTwiceKeepsModuleOpen()
    {
        CQuickUsb usb("QUSB-0");
        QVERIFY(usb.open());
        QVERIFY(qsim::moduleOpen(0));
        QVERIFY(!usb.open());
        QCOMPARE(usb.lastError(), 14ul);
        QVERIFY(usb.isOpen());
        QVERIFY(qsim::moduleOpen(0));
        QVERIFY(usb.close());
        QVERIFY(!qsim::moduleOpen(0));
    }

    void libraryErrorCodesReachLastError_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("timeout") << 6;
        QTest::newRow("i2c no ack") << 9;
        QTest::newRow("ioctl") << 4;
    }
    void libraryErrorCodesReachLastError()
    {
        QFETCH(int, code);
        CQuickUsb usb("QUSB-0");
        QVERIFY(usb.open());
        qsim::failCall(Call::WriteSetting, 1, static_cast<QULONG>(code));
        QVERIFY(!usb.writeSetting(1, 1));
        QCOMPARE(usb.lastError(), static_cast<unsigned long>(code));
        const QString text = CQuickUsb::errorText(static_cast<unsigned long>(code));
        QCOMPARE(logLinesWith("QuickUsbWriteSetting(").size(), 1);
        QVERIFY(logLinesWith("QuickUsbWriteSetting(")[0].endsWith(", 1, 1) : " + text));
        // The next call succeeds and clears the error.
        QVERIFY(usb.writeSetting(1, 1));
        QCOMPARE(usb.lastError(), 0ul);
    }

    // A stop sent from another thread (an abort) while reads fail never hides
    // a read's code: every failure is logged with its own code.
    void concurrentOperationsKeepTheirCodes()
    {
        CQuickUsb usb("QUSB-0");
        QVERIFY(usb.open());
        constexpr int kReads = 300;
        for (int i = 1; i <= kReads; ++i)
            qsim::failCall(Call::ReadData, static_cast<unsigned>(i), 6);
        std::atomic<bool> done{false};
        std::thread stopper([&] {
            uint8_t stop[4] = {2, 0, 0, 0};   // CNFG 0 := 0
            while (!done.load())
                usb.writeCommand(0xC000, stop, sizeof stop);
        });
        int refused = 0;
        for (int i = 0; i < kReads; ++i) {
            uint8_t buffer[64];
            uint32_t length = sizeof buffer;
            refused += usb.readData(buffer, &length) ? 0 : 1;
        }
        done = true;
        stopper.join();
        QCOMPARE(refused, kReads);
        const QStringList lines = logLinesWith("QuickUsbReadData(");
        QCOMPARE(lines.size(), kReads);
        for (const QString &l : lines)
            QVERIFY2(l.endsWith(" : QUSB_TIMEOUT"), qPrintable(l));
    }

    void errorTextsStayInBounds()
    {
        QCOMPARE(QString(CQuickUsb::errorText(0)), QString("QUSB_NO_ERROR"));
        QCOMPARE(QString(CQuickUsb::errorText(17)), QString("QUSB_COULD_NOT_close"));
        QCOMPARE(QString(CQuickUsb::errorText(18)), QString("QUSB_UNKNOWN_ERROR"));
        QCOMPARE(QString(CQuickUsb::errorText(~0ul)), QString("QUSB_UNKNOWN_ERROR"));
    }

    void temporaryOpenClosesAgain()
    {
        CQuickUsb usb("QUSB-0");
        uint16_t value = 0;
        QVERIFY(usb.readSetting(17, &value));
        QCOMPARE(value, uint16_t(0x0480));
        QVERIFY(!usb.isOpen());
        QVERIFY(!qsim::moduleOpen(0));
        QCOMPARE(qsim::callCount(Call::Open), 1u);
        QCOMPARE(qsim::callCount(Call::Close), 1u);
    }

    void failedTemporaryOpenDoesNotCloseForeignHandle()
    {
        qsim::Config c = simConfig();
        c.modules[0].openable = false;
        qsim::reset(c);
        CQuickUsb usb("QUSB-0");
        uint16_t value = 0;
        QVERIFY(!usb.readSetting(17, &value));
        QCOMPARE(usb.lastError(), 16ul);
        QCOMPARE(qsim::callCount(Call::Close), 0u);
        QCOMPARE(qsim::callCount(Call::ReadSetting), 0u);
        QCOMPARE(logLinesWith("readSetting(17, ").size(), 1);
        QVERIFY(logLinesWith("readSetting(17, ")[0].endsWith(") : QUSB_TEMP_OPEN_FAILED"));
    }

    void hardwareRevision_data()
    {
        QTest::addColumn<int>("setting17");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("highSpeed");
        QTest::newRow("rev E high speed") << 0x0480 << "CY7C68013 Rev E" << true;
        QTest::newRow("unknown full speed") << 0x0300 << "CY7C68013 Rev A/B" << false;
        QTest::newRow("A rev A") << 0x0100 << "CY7C68013A Rev A" << false;
        QTest::newRow("rev C/D") << 0x02FF << "CY7C68013 Rev C/D" << true;
    }
    void hardwareRevision()
    {
        QFETCH(int, setting17);
        QFETCH(QString, text);
        QFETCH(bool, highSpeed);
        qsim::Config c = simConfig();
        c.modules[0].setting17 = static_cast<uint16_t>(setting17);
        qsim::reset(c);
        CQuickUsb usb("QUSB-0");
        QVERIFY(usb.open());
        std::string rev;
        QVERIFY(usb.getHardwareRevision(rev));
        QCOMPARE(QString::fromStdString(rev), text);
        bool hs = !highSpeed;
        QVERIFY(usb.isHighSpeed(&hs));
        QCOMPARE(hs, highSpeed);
    }

    void stringDescriptorsAndShortReads()
    {
        CQuickUsb usb("QUSB-0");
        QVERIFY(usb.open());
        std::string s = "stale";
        QVERIFY(usb.getStringDescriptor(2, s));
        QCOMPARE(QString::fromStdString(s), QString("VESK-B2 Langmuir Probe Controller"));
        qsim::failCall(Call::GetStringDescriptor, 1, 4);
        QVERIFY(!usb.getStringDescriptor(1, s));
        QVERIFY(s.empty());
        // A short reply is the library's success: the wrapper hands back the length.
        qsim::shortReply(Call::ReadI2C, 1, 3);
        uint8_t addr[2] = {0x20, 0};
        QVERIFY(usb.writeI2C(81, addr, 2));
        uint8_t buf[8];
        uint16_t len = 8;
        QVERIFY(usb.readI2C(81, buf, &len));
        QCOMPARE(len, uint16_t(5));
    }

    void moduleList()
    {
        ModuleList empty;
        QCOMPARE(empty.count(), 0);
        QCOMPARE(empty.totalLength(), 1);
        QVERIFY(!empty.name(0));

        qsim::reset(simConfig(3));
        ModuleList list;
        QVERIFY(findModules(list.names, ModuleList::kSize));
        QCOMPARE(list.count(), 3);
        QCOMPARE(QString(list.name(2)), QString("QUSB-2"));
        QVERIFY(!list.name(3));
        QCOMPARE(list.totalLength(), 3 * 7 + 1);

        // A list filling the buffer with no terminator is not read past its end.
        ModuleList full;
        std::memset(full.names, 'A', sizeof full.names);
        QCOMPARE(full.count(), 0);
        QVERIFY(!full.name(0));
    }
};

QTEST_GUILESS_MAIN(TestCQuickUsb)
#include "tst_cquickusb.moc"
