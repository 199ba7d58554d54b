// The simulated motor controllers seen from the serial line, on a stopped
// clock that only the test advances: finite speed, end switches, each
// family's replies and error answers, and the injected faults.
#include <QuickUSB.h>
#include <SimControl.h>
#include <SimMotors.h>

#include <QtTest>

#include <string>
#include <vector>

using qsim::MotorFamily;
using qsim::MotorFault;

namespace {
// The module's RS232 port 0 through the controller logic's bridge.
class Line {
public:
    explicit Line(MotorFamily family, double start = 15000)
    {
        qsim::Config c;
        c.speedFactor = 0;
        c.modules[0].motor.family = family;
        c.modules[0].motor.lengthSteps = 30000;
        c.modules[0].motor.startSteps = start;
        qsim::reset(c);
        QuickUsbOpen(&handle, "QUSB-0");
    }
    ~Line() { QuickUsbClose(handle); }

    // Sends `text` and returns everything the controller answered.
    std::string ask(const std::string &text)
    {
        for (size_t done = 0; done < text.size(); done += 31) {
            const size_t n = std::min<size_t>(31, text.size() - done);
            std::vector<QBYTE> frame{static_cast<QBYTE>(n + 1), 0x5D};
            for (size_t i = 0; i < n; ++i) {
                frame.push_back(static_cast<QBYTE>(text[done + i]));
                frame.push_back(0);
            }
            QuickUsbWriteCommand(handle, 0xC000, frame.data(), static_cast<QWORD>(frame.size()));
        }
        QBYTE select[] = {1, 0x61};
        QuickUsbWriteCommand(handle, 0xC000, select, sizeof select);
        std::string reply;
        for (int i = 0; i < 4096; ++i) {
            QBYTE entry[2] = {0, 0};
            QWORD len = 2;
            if (!QuickUsbReadCommand(handle, 0xC000, entry, &len) || len != 2 || (entry[0] & 0x80))
                break;
            reply += static_cast<char>(entry[0]);
        }
        return reply;
    }

private:
    QHANDLE handle = nullptr;
};

const std::string nul(1, '\0');
}

class TestMotorSim : public QObject {
    Q_OBJECT
private slots:
    // The carriage moves at the commanded speed and stops at an end switch.
    void finiteSpeedAndEndSwitches()
    {
        Line line(MotorFamily::PM600);
        QCOMPARE(line.ask(nul + "SV1000\r"), std::string("OK\r\n"));
        QCOMPARE(line.ask(nul + "MA20000\r"), std::string("OK\r\n"));
        QCOMPARE(line.ask(nul + "OS\r"), std::string("00000000\r\n"));
        qsim::advanceSimTime(2.0);
        QCOMPARE(line.ask(nul + "OC\r"), std::string("17000\r\n"));
        QVERIFY(qsim::motorState(0).moving);
        qsim::advanceSimTime(10.0);
        QCOMPARE(line.ask(nul + "OS\r"), std::string("10000000\r\n"));
        QCOMPARE(qsim::motorState(0).position, 20000.0);

        QCOMPARE(line.ask(nul + "MR-100000\r"), std::string("OK\r\n"));
        qsim::advanceSimTime(100.0);
        QCOMPARE(line.ask(nul + "OS\r"), std::string("10100000\r\n"));   // idle, lower limit
        QCOMPARE(qsim::motorState(0).position, 0.0);
        // Another address is not this controller's business.
        QCOMPARE(line.ask("1OC\r"), std::string());
    }

    void mdriveEchoPromptsAndErrors()
    {
        Line line(MotorFamily::MDrivePlus);
        QCOMPARE(line.ask("PR P\r"), std::string("PR P\r\n15000\r\n>"));
        QCOMPARE(line.ask("VM=500\r"), std::string("VM=500\r\n?"));       // not above VI
        QCOMPARE(line.ask("PR ER\r"), std::string("PR ER\r\n23\r\n>"));
        QCOMPARE(line.ask("S1=3,1,0\r"), std::string("S1=3,1,0\r\n>"));
        QCOMPARE(line.ask("HM 3\r"), std::string("HM 3\r\n>"));
        qsim::advanceSimTime(1.0);
        QCOMPARE(line.ask("PR MV\r"), std::string("PR MV\r\n0\r\n>"));
        QVERIFY(qsim::motorState(0).atPlusEnd);
        QCOMPARE(line.ask("PR ER\r"), std::string("PR ER\r\n23\r\n>"));   // homing found input 1
        // Homing towards an end whose switch is not the home input.
        line.ask("HM 1\r");
        qsim::advanceSimTime(1.0);
        QCOMPARE(line.ask("PR ER\r"), std::string("PR ER\r\n82\r\n>"));
        QVERIFY(line.ask("\x03").find("MDrivePlus") != std::string::npos);
    }

    void opticsFocusHomesToZero()
    {
        Line line(MotorFamily::OpticsFocus, 3000);
        QCOMPARE(line.ask("?R\r"), std::string("OK\n"));
        QCOMPARE(line.ask("V10\r"), std::string("OK\n"));
        QCOMPARE(line.ask("X+500\r"), std::string("OK\n"));
        qsim::advanceSimTime(1.0);
        QCOMPARE(line.ask("?X\r"), std::string("3500\n"));
        QCOMPARE(line.ask("HX0\r"), std::string("OK\n"));
        qsim::advanceSimTime(1.0);
        QCOMPARE(line.ask("?X\r"), std::string("2500\n"));   // still counting on the way
        qsim::advanceSimTime(5.0);
        QCOMPARE(line.ask("?X\r"), std::string("0\n"));
        QCOMPARE(qsim::motorState(0).position, 0.0);
        QCOMPARE(line.ask("V0\r"), std::string("ERR\n"));
    }

    void appliedMotionAnswers()
    {
        Line line(MotorFamily::AppliedMotion);
        QCOMPARE(line.ask("SS999\r"), std::string("SSOK\r"));
        QCOMPARE(line.ask("VE0.5\r"), std::string("%\r"));
        QCOMPARE(line.ask("FP16000\r"), std::string("%\r"));
        QCOMPARE(line.ask("RS\r"), std::string("RS=M\r"));
        qsim::advanceSimTime(0.05);
        QCOMPARE(line.ask("IP\r"), std::string("IP=15500\r"));
        qsim::advanceSimTime(1.0);
        QCOMPARE(line.ask("RS\r"), std::string("RS=R\r"));
        QCOMPARE(line.ask("XY\r"), std::string("?37\r"));
        QCOMPARE(line.ask("VE99\r"), std::string("?21\r"));
    }

    void faults()
    {
        Line line(MotorFamily::AppliedMotion);
        qsim::setMotorFault(0, MotorFault::NoReply, 0, 1);
        QCOMPARE(line.ask("FP0\r"), std::string());
        QCOMPARE(qsim::motorState(0).moving, false);        // a dead controller does nothing
        QCOMPARE(line.ask("IP\r"), std::string("IP=15000\r"));

        qsim::setMotorFault(0, MotorFault::Garbled, 0, 1);
        QCOMPARE(line.ask("IP\r"), std::string("IP=1\x01" "5000\r"));
        QCOMPARE(line.ask("IP\r"), std::string("IP=15000\r"));

        qsim::setMotorFault(0, MotorFault::ErrorCode, 86, 1);
        QCOMPARE(line.ask("FP0\r"), std::string("?86\r"));
        QVERIFY(!qsim::motorState(0).moving);

        qsim::setMotorFault(0, MotorFault::Stall);
        QCOMPARE(line.ask("FP0\r"), std::string("%\r"));
        qsim::advanceSimTime(5.0);
        QCOMPARE(line.ask("IP\r"), std::string("IP=15000\r"));
        QCOMPARE(line.ask("RS\r"), std::string("RS=M\r"));   // still believes it moves
        QCOMPARE(line.ask("ST\r"), std::string("%\r"));
        QCOMPARE(line.ask("RS\r"), std::string("RS=R\r"));

        // Every received line is kept, control bytes as lines of their own.
        const auto lines = qsim::motorCommands(0);
        QCOMPARE(lines.front(), std::string("FP0"));
        QCOMPARE(lines.back(), std::string("RS"));
    }

    void attachAtRunTime()
    {
        Line line(MotorFamily::None);
        QCOMPARE(line.ask("?R\r"), std::string());
        qsim::MotorConfig m;
        m.family = MotorFamily::OpticsFocus;
        qsim::attachMotorController(0, m);
        QCOMPARE(line.ask("?R\r"), std::string("OK\n"));
        QCOMPARE(qsim::motorState(0).family, MotorFamily::OpticsFocus);
        qsim::attachMotorController(0, qsim::MotorConfig());
        QCOMPARE(line.ask("?R\r"), std::string());
        QCOMPARE(qsim::motorState(0).family, MotorFamily::None);
    }

    void configurationKeys()
    {
        qsim::Config c;
        std::string error;
        QVERIFY(qsim::parseConfig("motor=opticsfocus; motorLength=5000; motorStart=100; motorAddress=49", c, &error));
        QCOMPARE(c.modules[0].motor.family, MotorFamily::OpticsFocus);
        QCOMPARE(c.modules[0].motor.lengthSteps, 5000.0);
        QCOMPARE(c.modules[0].motor.startSteps, 100.0);
        QCOMPARE(c.modules[0].motor.address, '1');
        QVERIFY(!qsim::parseConfig("motor=stepper", c, &error));
        QVERIFY(error.find("stepper") != std::string::npos);
        QVERIFY(!qsim::parseConfig("motorMmPerStep=0", c, &error));

        // The default MDrivePlus stage carries the probe 0-100 mm at its protocol's
        // slope and powers on near its home (plus) end; the stages given keep theirs.
        c = qsim::Config();
        QVERIFY(qsim::parseConfig("motor=MDrivePlus", c, &error));
        const qsim::MotorConfig mdrive = c.modules[0].motor.resolved();
        QCOMPARE(mdrive.mmPerStep, 9.933333333333334e-6);
        QVERIFY(mdrive.lengthSteps * mdrive.mmPerStep > 100);
        QVERIFY((mdrive.lengthSteps - mdrive.startSteps) * mdrive.mmPerStep < 1.0); // within a millimetre of home
        QVERIFY(qsim::parseConfig("motorLength=5000; motorMmPerStep=0.002", c, &error));
        const qsim::MotorConfig shortStage = c.modules[0].motor.resolved();
        QCOMPARE(shortStage.lengthSteps, 5000.0);
        QCOMPARE(shortStage.startSteps, 0.0);
        QCOMPARE(shortStage.mmPerStep, 0.002);
    }
};

QTEST_GUILESS_MAIN(TestMotorSim)
#include "tst_motorsim.moc"
