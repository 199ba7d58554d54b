// The simulated unit's bus trace: one line per vendor call in the documented
// format, with register writes, scan start and stop, bulk reads and RS232
// bytes decoded; LPSIM_TRACE starts it at a reset.
#include <QuickUSB.h>
#include <SimControl.h>
#include <SimMotors.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <functional>

namespace {
QHANDLE openFirst()
{
    QHANDLE h = nullptr;
    return QuickUsbOpen(&h, "QUSB-0") ? h : nullptr;
}

void command(QHANDLE h, std::vector<uint8_t> bytes)
{
    QuickUsbWriteCommand(h, 0xC000, bytes.data(), static_cast<QWORD>(bytes.size()));
}

QStringList callLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (!l.isEmpty() && !l.startsWith('#'))
            lines << QString::fromLatin1(l);
    return lines;
}
} // namespace

using Action = std::function<void(QHANDLE)>;
Q_DECLARE_METATYPE(Action)

class TestBusTrace : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path;

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void init()
    {
        path = dir.filePath(QStringLiteral("trace.txt"));
        qsim::Config c;
        c.speedFactor = 0;
        c.modules[0].motor.family = qsim::MotorFamily::PM600;
        qsim::reset(c);
        QVERIFY(qsim::traceTo(path.toStdString()));
    }
    void cleanup() { qsim::traceTo(std::string()); }

    // Each call gives exactly one line: "<time> <call> <args> -> <result> | <meaning>".
    void oneLinePerCall_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("line");
        QTest::newRow("register write by name and value")
            << Action([](QHANDLE h) { command(h, {3, 3, 0x30, 0xF8, 0xE8, 0x03}); })
            << R"(^\d+\.\d{6} QuickUsbWriteCommand h=1 addr=0xC000 len=6 data=030330f8e803 -> 1 )"
               R"(\| CNFG3 idleDac := -2000; CNFG4 startDac := 1000$)";
        QTest::newRow("scan start")
            << Action([](QHANDLE h) { command(h, {2, 0, 0x04, 0x00, 2, 0, 0x05, 0x00}); })
            << R"(QuickUsbWriteCommand .* \| CNFG0 control := 0x0004 \(run=0 sw1=2 sw2=0 aux=0 trigger=0 triggerMode=0\); )"
               R"(CNFG0 control := 0x0005 \(run=1 .*\), scan start$)";
        QTest::newRow("scan stop and sequencer stop")
            << Action([](QHANDLE h) {
                   command(h, {2, 0, 0x01, 0x00});
                   command(h, {2, 0, 0x00, 0x00, 2, 0x5B, 0x40, 0x00});
               })
            << R"(QuickUsbWriteCommand .* \| CNFG0 control := 0x0000 \(run=0 .*\), scan stop; chip2 sequencer stop$)";
        QTest::newRow("chip-2 double register")
            << Action([](QHANDLE h) { command(h, {4, 0x5B, 8, 2, 149, 0, 0, 0}); })
            << R"(\| chip2\.8 samplesPerPointM1 := 149$)";
        QTest::newRow("analog word")
            << Action([](QHANDLE h) { command(h, {3, 0x5B, 10, 1, 0xCF, 0x00}); })
            << R"(\| chip2\.10 analog := 0x00CF \(input=HV resistor=small load=0 gain=low enable=11\)$)";
        QTest::newRow("probe mode")
            << Action([](QHANDLE h) { command(h, {2, 13, 0x02, 0x00}); })
            << R"(\| CNFG13 probeMode := 0x0002 \(double\)$)";
        QTest::newRow("register read and its reply")
            << Action([](QHANDLE h) {
                   command(h, {7, 0x65});
                   uint8_t reply[12];
                   QWORD n = sizeof reply;
                   QuickUsbReadCommand(h, 0xC000, reply, &n);
               })
            << R"(QuickUsbReadCommand h=1 addr=0xC000 len=12 -> 1 \| reply 12 bytes: 1090 [0-9A-F]{4} [0-9A-F]{4} 0000 0000 0003$)";
        QTest::newRow("bulk read with its byte count")
            << Action([](QHANDLE h) {
                   command(h, {2, 0, 0x00, 0x00, 2, 0, 0x01, 0x00});
                   std::vector<uint8_t> buf(0x8000);
                   QDWORD n = 0x8000;
                   QuickUsbReadData(h, buf.data(), &n);
               })
            << R"(QuickUsbReadData h=1 len=32768 -> 1 \| bulk read \d+ bytes$)";
        QTest::newRow("RS232 bytes to the motor controller")
            << Action([](QHANDLE h) { command(h, {5, 0x5D, '1', 0, 'O', 0, 'S', 0, '\r', 0}); })
            << R"re(\| RS232 tx "1OS\\r"$)re";
        QTest::newRow("RS232 receive, empty queue")
            << Action([](QHANDLE h) {
                   command(h, {1, 0x61});
                   uint8_t reply[2];
                   QWORD n = 2;
                   QuickUsbReadCommand(h, 0xC000, reply, &n);
               })
            << R"(QuickUsbReadCommand h=1 addr=0xC000 len=2 -> 1 \| RS232 rx none$)";
        QTest::newRow("failure with its code")
            << Action([](QHANDLE h) {
                   qsim::failCall(qsim::Call::ReadSetting, 1, QUSB_ERROR_TIMEOUT);
                   QWORD v = 0;
                   QuickUsbReadSetting(h, 3, &v);
               })
            << R"(QuickUsbReadSetting h=1 setting=3 -> 0 err=6 \| injected fault$)";
        QTest::newRow("reset line")
            << Action([](QHANDLE h) {
                   QBYTE b = 0x00;
                   QuickUsbWritePort(h, 0, &b, 1);
               })
            << R"(QuickUsbWritePort h=1 port=0 len=1 data=00 -> 1 \| controller reset line low \(reset\)$)";
    }
    void oneLinePerCall()
    {
        QFETCH(Action, action);
        QFETCH(QString, line);
        QHANDLE h = openFirst();
        QVERIFY(h);
        action(h);
        const QStringList lines = callLines(path);
        QVERIFY2(lines.size() >= 2, qPrintable(lines.join('\n')));
        QVERIFY(lines.first().contains(QStringLiteral("QuickUsbOpen name=QUSB-0 -> 1 | handle 1")));
        const QRegularExpression re(line);
        QVERIFY2(re.match(lines.last()).hasMatch(), qPrintable(lines.last()));
    }

    // A motor controller's reply arrives byte by byte, each read one line.
    void rs232RepliesFromTheMotor()
    {
        QHANDLE h = openFirst();
        QVERIFY(h);
        command(h, {2, 15, 0x23, 0x00}); // port 0: rate code 1, a and b
        command(h, {5, 0x5D, 0, 0, 'I', 0, 'D', 0, '\r', 0});
        qsim::advanceSimTime(0.5);
        QString received;
        for (int i = 0; i < 80; ++i) {
            command(h, {1, 0x61});
            uint8_t reply[2];
            QWORD n = 2;
            QuickUsbReadCommand(h, 0xC000, reply, &n);
            if (reply[0] & 0x80)
                break;
            received += QChar(reply[0]);
        }
        QVERIFY2(!received.isEmpty(), "the simulated PM600 did not answer");
        const QStringList lines = callLines(path);
        QString rx;
        const QRegularExpression byte(R"re(\| RS232 rx "(.*)"$)re");
        for (const QString &l : lines) {
            const auto m = byte.match(l);
            if (m.hasMatch())
                rx += m.captured(1);
        }
        QCOMPARE(rx.replace(QStringLiteral("\\r"), QStringLiteral("\r")).replace(QStringLiteral("\\n"), QStringLiteral("\n")),
                 received);
    }

    // Time is the simulated clock: it moves when the unit's time moves.
    void timeIsSimulated()
    {
        QHANDLE h = openFirst();
        QVERIFY(h);
        qsim::advanceSimTime(12.5);
        QWORD v = 0;
        QuickUsbReadSetting(h, 1, &v);
        const QStringList lines = callLines(path);
        const double t0 = lines.first().section(' ', 0, 0).toDouble();
        const double t1 = lines.last().section(' ', 0, 0).toDouble();
        QCOMPARE(t1 - t0, 12.5);
    }

    // The environment variable starts the trace at the next reset; an
    // unwritable path is reported and leaves tracing off.
    void environmentStartsIt()
    {
        qsim::traceTo(std::string());
        const QString envPath = dir.filePath(QStringLiteral("env.txt"));
        qputenv("LPSIM_TRACE", envPath.toLocal8Bit());
        qsim::reset(qsim::Config());
        qunsetenv("LPSIM_TRACE");
        QHANDLE h = openFirst();
        QVERIFY(h);
        QuickUsbClose(h);
        const QStringList lines = callLines(envPath);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().contains(QStringLiteral("QuickUsbClose h=1 -> 1")));
        QVERIFY(!qsim::traceTo(dir.filePath(QStringLiteral("no/such/folder/t.txt")).toStdString()));
    }
};

QTEST_GUILESS_MAIN(TestBusTrace)
#include "tst_bustrace.moc"
