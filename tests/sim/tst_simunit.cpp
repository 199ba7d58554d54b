// The simulated unit on its own, through the module library's C API: frames,
// the calibration memory's pages, the reset line, configuration text and its
// robustness against arbitrary command bytes.
#include <QuickUSB.h>
#include <SimControl.h>

#include <QtTest>

#include <chrono>
#include <random>
#include <thread>

namespace {
qsim::Config quiet()
{
    qsim::Config c;
    c.speedFactor = 0;
    return c;
}

QHANDLE openFirst()
{
    QHANDLE h = nullptr;
    return QuickUsbOpen(&h, "QUSB-0") ? h : nullptr;
}

std::vector<uint8_t> request(QHANDLE h, std::vector<uint8_t> cmd, uint16_t want)
{
    if (!QuickUsbWriteCommand(h, 0xC000, cmd.data(), static_cast<QWORD>(cmd.size())))
        return {};
    std::vector<uint8_t> reply(want);
    QWORD len = want;
    if (!QuickUsbReadCommand(h, 0xC000, reply.data(), &len))
        return {};
    reply.resize(len);
    return reply;
}
}

class TestSimUnit : public QObject {
    Q_OBJECT

private slots:
    void init() { qsim::reset(quiet()); }

    void framesWriteAndReadRegisters()
    {
        QHANDLE h = openFirst();
        QVERIFY(h);
        // Two frames in one transfer: CNFG 3..4, then chip-2 register 8 as a double word.
        std::vector<uint8_t> cmd = {3, 3, 0x34, 0x12, 0xFF, 0x7F, 4, 0x5B, 8, 2, 0x78, 0x56, 0x34, 0x12};
        QVERIFY(QuickUsbWriteCommand(h, 0xC000, cmd.data(), static_cast<QWORD>(cmd.size())));
        QCOMPARE(qsim::cnfgRegister(0, 3), uint16_t(0x1234));
        QCOMPARE(qsim::cnfgRegister(0, 4), uint16_t(0x7FFF));
        QCOMPARE(qsim::chip2Register(0, 8), uint16_t(0x5678));
        QCOMPARE(qsim::chip2Register(0, 9), uint16_t(0x1234));
        // Read request: state registers from 0x65, firmware first and status at word 5.
        const std::vector<uint8_t> state = request(h, {7, 0x65}, 12);
        QCOMPARE(state.size(), size_t(12));
        QCOMPARE(state[0] | (state[1] << 8), 0x1090);
        QCOMPARE(state[10] | (state[11] << 8), 3);
        // Asking for more than the request covers returns only what it covers.
        QCOMPARE(request(h, {3, 3}, 32).size(), size_t(4));
        // Chip-2 read-back through the mailbox: echo word, then firmware.
        const std::vector<uint8_t> chip2 = request(h, {2, 0x5B, 0x80, 16, 1, 0x60}, 32);
        QCOMPARE(chip2.size(), size_t(32));
        QCOMPARE(chip2[2] | (chip2[3] << 8), 0x1070);
        QCOMPARE(chip2[30] | (chip2[31] << 8), 0x5678); // samples per point, last word
        QVERIFY(QuickUsbClose(h));
    }

    void arbitraryBytesNeverCrash()
    {
        QHANDLE h = openFirst();
        QVERIFY(h);
        std::mt19937 rng(20261206);
        std::uniform_int_distribution<int> byte(0, 255), len(0, 80);
        for (int i = 0; i < 3000; ++i) {
            std::vector<uint8_t> cmd(static_cast<size_t>(len(rng)));
            for (auto &b : cmd)
                b = static_cast<uint8_t>(byte(rng));
            QuickUsbWriteCommand(h, 0xC000, cmd.data(), static_cast<QWORD>(cmd.size()));
            uint8_t reply[128];
            QWORD n = static_cast<QWORD>(len(rng));
            QVERIFY(QuickUsbReadCommand(h, 0xC000, reply, &n));
            QVERIFY(n <= 80);
        }
        // Still answering sensibly afterwards.
        QCOMPARE(request(h, {2, 0x65}, 2), std::vector<uint8_t>({0x90, 0x10}));
    }

    void calibrationMemoryPages()
    {
        QHANDLE h = openFirst();
        QVERIFY(h);
        // A write running past a page end wraps to the page start, like the real part.
        std::vector<uint8_t> w = {0x20, 0x3E, 1, 2, 3, 4};
        QVERIFY(QuickUsbWriteI2C(h, 81, w.data(), static_cast<QWORD>(w.size())));
        QCOMPARE(qsim::i2cMemory(0, 0x203E, 2), std::vector<uint8_t>({1, 2}));
        QCOMPARE(qsim::i2cMemory(0, 0x2000, 2), std::vector<uint8_t>({3, 4}));
        QCOMPARE(qsim::i2cMemory(0, 0x2040, 1), std::vector<uint8_t>({0x18})); // next page untouched (iRange)
        // Reads advance the address pointer by themselves.
        uint8_t addr[2] = {0x20, 0x3E};
        QVERIFY(QuickUsbWriteI2C(h, 81, addr, 2));
        uint8_t r[2];
        QWORD n = 2;
        QVERIFY(QuickUsbReadI2C(h, 81, r, &n));
        QVERIFY(QuickUsbReadI2C(h, 81, r, &n));
        QCOMPARE(std::vector<uint8_t>(r, r + 2), qsim::i2cMemory(0, 0x2040, 2));
        // No device at another address.
        n = 2;
        QVERIFY(!QuickUsbReadI2C(h, 80, r, &n));
        QULONG err = 0;
        QVERIFY(QuickUsbGetLastError(&err));
        QCOMPARE(err, QULONG(QUSB_ERROR_I2C_NO_ACK));
    }

    void memoryWriteCycleAtRealSpeed()
    {
        qsim::Config c = quiet();
        c.speedFactor = 1.0;
        qsim::reset(c);
        QHANDLE h = openFirst();
        std::vector<uint8_t> w = {0x21, 0x00, 0xAB};
        QVERIFY(QuickUsbWriteI2C(h, 81, w.data(), 3));
        // During the 5 ms write cycle the part does not answer.
        uint8_t addr[2] = {0x21, 0x00};
        QVERIFY(!QuickUsbWriteI2C(h, 81, addr, 2));
        QULONG err = 0;
        QVERIFY(QuickUsbGetLastError(&err));
        QCOMPARE(err, QULONG(QUSB_ERROR_I2C_NO_ACK));
        std::this_thread::sleep_for(std::chrono::milliseconds(6));
        QVERIFY(QuickUsbWriteI2C(h, 81, addr, 2));
        QCOMPARE(qsim::i2cMemory(0, 0x2100, 1), std::vector<uint8_t>({0xAB}));
    }

    void resetLineRestartsLogic()
    {
        QHANDLE h = openFirst();
        std::vector<uint8_t> cmd = {2, 4, 0xE8, 0x03};
        QVERIFY(QuickUsbWriteCommand(h, 0xC000, cmd.data(), 4));
        uint8_t low = 0, high = 4;
        QVERIFY(QuickUsbWritePort(h, 0, &low, 1));
        QVERIFY(QuickUsbWritePort(h, 0, &high, 1));
        QCOMPARE(qsim::resetPulses(0), 0u); // reset line not driven yet
        QCOMPARE(qsim::cnfgRegister(0, 4), uint16_t(1000));
        QVERIFY(QuickUsbWritePortDir(h, 0, 4));
        QVERIFY(QuickUsbWritePort(h, 0, &low, 1));
        QVERIFY(QuickUsbWritePort(h, 0, &high, 1));
        QCOMPARE(qsim::resetPulses(0), 1u);
        QCOMPARE(qsim::cnfgRegister(0, 4), uint16_t(0));
    }

    void faultsAndModules()
    {
        qsim::Config c = quiet();
        c.modules.resize(2);
        c.modules[1].name = "QUSB-1";
        c.modules[1].openable = false;
        qsim::reset(c);
        char list[512];
        QVERIFY(QuickUsbFindModules(list, sizeof list));
        QCOMPARE(QByteArray(list, 14), QByteArray("QUSB-0\0QUSB-1\0", 14));
        QHANDLE h = nullptr;
        QVERIFY(!QuickUsbOpen(&h, "QUSB-1"));
        QVERIFY(!QuickUsbOpen(&h, "nothing"));
        h = openFirst();
        QVERIFY(h);
        QVERIFY(!openFirst()); // already open
        qsim::failCall(qsim::Call::ReadSetting, 2, QUSB_ERROR_TIMEOUT);
        QWORD v = 0;
        QVERIFY(QuickUsbReadSetting(h, 17, &v));
        QVERIFY(!QuickUsbReadSetting(h, 17, &v));
        QULONG err = 0;
        QVERIFY(QuickUsbGetLastError(&err));
        QCOMPARE(err, QULONG(QUSB_ERROR_TIMEOUT));
        QVERIFY(QuickUsbReadSetting(h, 17, &v));
        QCOMPARE(qsim::callCount(qsim::Call::ReadSetting), 3u);
        QVERIFY(QuickUsbClose(h));
        QVERIFY(!QuickUsbClose(h)); // closed handles are not valid
        // Nothing streams without a scan engine: the data endpoint times out.
        h = openFirst();
        uint8_t buf[16];
        QDWORD n = sizeof buf;
        QVERIFY(!QuickUsbReadData(h, buf, &n));
    }

    void configurationText()
    {
        qsim::Config c;
        std::string error;
        QVERIFY(qsim::parseConfig("modules=2; speed=10\nmodule1.chip1Firmware=0x1070\n# comment\n"
                                  "doubleProbe=no; image=version3; module0.serial=S-1",
                                  c, &error));
        QCOMPARE(c.modules.size(), size_t(2));
        QCOMPARE(c.speedFactor, 10.0);
        QCOMPARE(c.modules[1].chip1Firmware, uint16_t(0x1070));
        QCOMPARE(c.modules[0].chip1Firmware, uint16_t(0x1090));
        QCOMPARE(c.modules[1].name, std::string("QUSB-1"));
        QVERIFY(!c.modules[0].doubleProbeAvailable && !c.modules[1].doubleProbeAvailable);
        QVERIFY(c.modules[1].image == qsim::CalImage::Version3Size300);
        QCOMPARE(c.modules[0].serial, std::string("S-1"));
        // Measurement switches take the same words as the unit's own.
        QVERIFY(qsim::parseConfig("sync.present=no; plasma.spherical=yes", c, &error));
        QVERIFY(!c.measurement.sync.present && c.measurement.plasma.spherical);
        QVERIFY(qsim::parseConfig("sync.present=yes", c, &error));
        QVERIFY(c.measurement.sync.present);
        QVERIFY(!qsim::parseConfig("sync.present=maybe", c, &error));
        QVERIFY(!qsim::parseConfig("colour=blue", c, &error));
        QVERIFY(QString::fromStdString(error).contains("colour"));
        QVERIFY(!qsim::parseConfig("speed=-1", c, &error));
        QVERIFY(!qsim::parseConfig("module5.serial=x", c, &error));
        QVERIFY(!qsim::parseConfig("image=round", c, &error));
        // Fault keys: a count from 1, "N+" for every later one, a motor fault by name.
        QVERIFY(qsim::parseConfig("fault.stop=5+; module1.fault.read=7; fault.motor=noreply; fault.motorAt=2", c, &error));
        QVERIFY(c.modules[0].faults.stop.onward && c.modules[0].faults.stop.nth == 5);
        QVERIFY(c.modules[1].faults.read.nth == 7 && !c.modules[0].faults.read.nth);
        QVERIFY(c.modules[1].faults.motor == qsim::MotorFaultKind::NoReply && c.modules[1].faults.motorAt.nth == 2);
        for (const char* bad : {"fault.read=0", "fault.write=x", "fault.stop=3++", "fault.motor=explode", "fault.speed=1"})
            QVERIFY2(!qsim::parseConfig(bad, c, &error), bad);
    }

    // The fault.* keys: each fires at the Nth call of its kind counted from
    // the open, "N+" from then on. Operations: w a register write, s start,
    // p stop, r a bulk read, o close and open again; outcomes: 1 success,
    // 0 failure, z a read whose first packet header arrived empty.
    void rehearsedFaults_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("write N") << "fault.write=3" << "wwwww" << "11011";
        QTest::newRow("write N+") << "fault.write=3+" << "wwwww" << "11000";
        QTest::newRow("counted from the open") << "fault.write=2" << "wowww" << "11101";
        QTest::newRow("stop N") << "fault.stop=2" << "spspp" << "11101";
        QTest::newRow("no stop while stopped") << "fault.stop=1" << "pspp" << "1101";
        QTest::newRow("stop N+") << "fault.stop=1+" << "spppw" << "10001";
        QTest::newRow("read N") << "fault.read=2" << "srrr" << "1101";
        QTest::newRow("stream N") << "fault.stream=2" << "srpsr" << "1111z";
        QTest::newRow("gone") << "fault.gone=3" << "wwwo" << "1100";
    }

    void rehearsedFaults()
    {
        QFETCH(QString, keys);
        QFETCH(QString, ops);
        QFETCH(QString, outcome);
        qsim::Config c = quiet();
        QVERIFY(qsim::parseConfig(keys.toStdString(), c));
        qsim::reset(c);
        QHANDLE h = openFirst();
        QVERIFY(h);
        auto write = [&](std::vector<uint8_t> bytes) {
            return QuickUsbWriteCommand(h, 0xC000, bytes.data(), QWORD(bytes.size())) != 0;
        };
        QString got;
        for (const QChar op : ops) {
            bool ok = false;
            char result = 0;
            switch (op.toLatin1()) {
            case 'w': ok = write({2, 3, 0, 0}); break;
            case 's': ok = write({2, 0, 1, 0}); break;
            case 'p': ok = write({2, 0, 0, 0}); break;
            case 'o': ok = QuickUsbClose(h) && (h = openFirst()) != nullptr; break;
            case 'r': {
                uint8_t buf[64];
                QDWORD n = sizeof buf;
                ok = QuickUsbReadData(h, buf, &n);
                if (ok && buf[0] == 0 && buf[1] == 0)
                    result = 'z';
                break;
            }
            }
            got += result ? QChar(result) : QChar(ok ? '1' : '0');
        }
        QCOMPARE(got, outcome);
        // A failed stop leaves the unit scanning; an unplugged unit is found no more.
        if (keys.startsWith("fault.stop=1+"))
            QVERIFY(qsim::cnfgRegister(0, 0) & 1);
        if (keys.startsWith("fault.gone")) {
            char list[512];
            QVERIFY(!QuickUsbFindModules(list, sizeof list));
            QVERIFY(qsim::faultCounts(0).gone);
        }
    }

    void serialDevicesSeeSimulatedTime()
    {
        struct Recorder : qsim::SerialDevice {
            std::vector<double> times;
            void writeAt(double now, const uint8_t *, size_t) override { times.push_back(now); }
            bool read(double, uint8_t &) override { return false; }
        };
        auto rec = std::make_shared<Recorder>();
        QHANDLE h = openFirst();
        qsim::attachSerialDevice(0, 0, rec);
        std::vector<uint8_t> cmd = {2, 0x5D, 'a', 0};
        QVERIFY(QuickUsbWriteCommand(h, 0xC000, cmd.data(), 4));
        qsim::advanceSimTime(2.5);
        QVERIFY(QuickUsbWriteCommand(h, 0xC000, cmd.data(), 4));
        QCOMPARE(rec->times, std::vector<double>({0.0, 2.5}));
        QCOMPARE(qsim::simSeconds(), 2.5);
    }

    void echoLineOnTheBridge()
    {
        QHANDLE h = openFirst();
        qsim::attachSerialDevice(0, 0, std::make_shared<qsim::EchoLine>());
        std::vector<uint8_t> cmd = {3, 0x5D, 'o', 0, 'k', 0};
        QVERIFY(QuickUsbWriteCommand(h, 0xC000, cmd.data(), 6));
        std::vector<uint8_t> sel = {1, 0x61};
        QVERIFY(QuickUsbWriteCommand(h, 0xC000, sel.data(), 2));
        std::string got;
        for (int i = 0; i < 3; ++i) {
            uint8_t r[2];
            QWORD n = 2;
            QVERIFY(QuickUsbReadCommand(h, 0xC000, r, &n));
            QCOMPARE(n, QWORD(2));
            if (r[0] & 0x80)
                break;
            got += static_cast<char>(r[0]);
        }
        QCOMPARE(got, std::string("ok"));
    }
};

QTEST_GUILESS_MAIN(TestSimUnit)
#include "tst_simunit.moc"
