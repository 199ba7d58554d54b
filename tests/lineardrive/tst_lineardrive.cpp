// Linear drive against the simulated motor controllers: identification and
// factory order, homing and moving checked on the simulated stage, abort from
// another thread, faults and their texts, refused targets, settings.
// Driver waits run at 1/100 and the simulated clock 100 times fast (10 for the
// abort tests), so both keep the same time base while moves take milliseconds.
#include "DriverLog.h"
#include "MDrivePlus.h"
#include "RIRavaVCntrl.h"
#include "linearDrive.h"

#include <SimControl.h>
#include <SimMotors.h>

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <string>
#include <thread>
#include <utility>

using qsim::MotorFamily;
using qsim::MotorFault;

namespace {
constexpr double kScale = 0.01;
// Simulated seconds per real second; the driver's waits scale by its inverse.
double timeBase = 1 / kScale;

void setTimeBase(double factor)
{
    timeBase = factor;
    setDriverDelayScale(1 / factor);
}
constexpr double kMDriveSlope = -9.933333333333334e-6;

void resetWorld(MotorFamily family, double start = 15000, int address = 0)
{
    qsim::Config c;
    c.speedFactor = timeBase;
    c.modules[0].motor.family = family;
    c.modules[0].motor.lengthSteps = 30000;   // every family on the same short stage
    c.modules[0].motor.startSteps = start;
    c.modules[0].motor.address = static_cast<char>(address);
    qsim::reset(c);
}

void storeSettings(const QVariantMap &values)
{
    QSettings s;
    s.remove(QStringLiteral("ldSettings"));
    s.beginGroup(QStringLiteral("ldSettings"));
    for (auto it = values.begin(); it != values.end(); ++it)
        s.setValue(it.key(), it.value());
}

std::vector<std::string> commands()
{
    return qsim::motorCommands(0);
}

bool received(const std::string &line)
{
    const auto all = commands();
    return std::find(all.begin(), all.end(), line) != all.end();
}

// Index of the first line beginning with `prefix`, or -1.
int firstIndex(const std::vector<std::string> &lines, const std::string &prefix)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            return static_cast<int>(i);
    return -1;
}

// Lines beginning with `query` after the first line beginning with `after`.
int countAfter(const std::vector<std::string> &lines, const std::string &after, const std::string &query)
{
    const int from = firstIndex(lines, after);
    if (from < 0)
        return -1;
    return static_cast<int>(std::count_if(lines.begin() + from + 1, lines.end(), [&](const std::string &l) {
        return l.compare(0, query.size(), query) == 0;
    }));
}

// Waits (1 ms steps, at most 5 s) until the simulated motor runs.
bool waitUntilMoving()
{
    for (int i = 0; i < 5000; ++i) {
        if (qsim::motorState(0).moving)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Runs a drive operation on a second thread, as the application's dialog does.
class Mover {
public:
    template <typename F> explicit Mover(F f) : thread([this, f] { result = f(); }) {}
    ~Mover() { join(); }
    bool join()
    {
        if (thread.joinable())
            thread.join();
        return result;
    }
private:
    bool result = true;
    std::thread thread;
};

const std::pair<const char *, MotorFamily> kFamilies[] = {{"PM600", MotorFamily::PM600},
                                                          {"MDrivePlus", MotorFamily::MDrivePlus},
                                                          {"OpticsFocus", MotorFamily::OpticsFocus},
                                                          {"AppliedMotion", MotorFamily::AppliedMotion}};

// 100 steps further the way the aborted moves went. Back towards where they
// began could run into the end switch: a stop may come a few steps after the start.
double hundredStepsOnward(MotorFamily f)
{
    return 100 * (f == MotorFamily::MDrivePlus ? -kMDriveSlope : 0.01);
}

// The line a family's move command starts with, for "no motion was commanded".
std::string moveCommandPrefix(MotorFamily f)
{
    switch (f) {
    case MotorFamily::PM600: return std::string(1, '\0') + "MA";
    case MotorFamily::MDrivePlus: return "MA ";
    case MotorFamily::OpticsFocus: return "X";
    case MotorFamily::AppliedMotion: return "FP";
    default: return "?";
    }
}

// The line a family's stop sequence leaves in the controller's command log.
std::string stopLine(MotorFamily f)
{
    switch (f) {
    case MotorFamily::PM600: return "\x1b";
    case MotorFamily::MDrivePlus: return "SL 0";
    case MotorFamily::OpticsFocus: return "S";
    case MotorFamily::AppliedMotion: return "ST";
    default: return "?";
    }
}
}

// Reaches the command buffer of a family without a line behind it.
class BufferProbe : public MDrivePlus {
public:
    BufferProbe() : MDrivePlus(nullptr) {}
    bool put(const char *text) { return format("VM=%s\r", text); }
    int length() const { return cmndLength; }
    bool sendNothing() { return writeCommand(1, 0); }
};

Q_DECLARE_METATYPE(qsim::MotorFamily)
Q_DECLARE_METATYPE(qsim::MotorFault)

class TestLinearDrive : public QObject {
    Q_OBJECT

    std::unique_ptr<RIRavaVCntrl> ctrl;
    QTemporaryDir settingsDir;   // a settings store of this process alone

    // `searchLater`: the connect leaves the drive search to the caller.
    void connectWith(MotorFamily family, const QVariantMap &settings = {}, double start = 15000, int address = 0,
                     bool searchLater = false)
    {
        ctrl.reset();   // disconnects from the present world first
        storeSettings(settings);
        resetWorld(family, start, address);
        ctrl = std::make_unique<RIRavaVCntrl>();
        ctrl->setDriveSearchOnConnect(!searchLater);
        QCOMPARE(ctrl->connectTo(), 1);
    }

    void addFamilies()
    {
        QTest::addColumn<MotorFamily>("family");
        for (const auto &f : kFamilies)
            QTest::newRow(f.first) << f.second;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("Quendrix"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_lineardrive"));
        setTimeBase(1 / kScale);
    }
    void cleanup()
    {
        ctrl.reset();
        setTimeBase(1 / kScale);
        QSettings().remove(QStringLiteral("ldSettings"));
    }

    void settingsDefaultsAndLimits()
    {
        storeSettings({});
        LinearDriveSettings s;
        s.read();
        QCOMPARE(int(s.address), 0);
        QCOMPARE(s.slope, 0.01);
        QCOMPARE(s.intercept, 0.01);
        QCOMPARE(s.homeInverted, false);
        QCOMPARE(s.identifiedType, 0);
        QCOMPARE(s.velocityPercent, 50.0);
        QCOMPARE(s.homingSpeed, 10.0);

        storeSettings({{"address", 300}, {"homeInverted", 2}, {"identifiedType", 3}});
        s.read();
        QCOMPARE(int(s.address), 0);
        QCOMPARE(s.homeInverted, true);
        QCOMPARE(s.identifiedType, 3);

        // A stored type of -1 leaves a drive without address and conversion.
        storeSettings({{"identifiedType", -1}, {"address", 49}});
        LinearDrive generic;
        QCOMPARE(generic.address, '*');
        QVERIFY(std::isnan(generic.slope) && std::isnan(generic.intercept));
        QVERIFY(std::isnan(generic.position.load()));
    }

    void identification_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("descriptionStart");
        QTest::addColumn<bool>("searchLater");
        for (bool later : {false, true}) {
            const char *when = later ? ", searched after the connect" : "";
            QTest::newRow(qPrintable(QStringLiteral("PM600%1").arg(when)))
                << MotorFamily::PM600 << "PM600" << "VG Scienta Drive" << later;
            QTest::newRow(qPrintable(QStringLiteral("MDrivePlus%1").arg(when)))
                << MotorFamily::MDrivePlus << "MDrivePlus17"
                << "Simulated MDrivePlus Motion Control Ver 3.010\nNAME: MDrivePlus17\nPART NUMBER: SIM-MDP-17-A" << later;
            QTest::newRow(qPrintable(QStringLiteral("OpticsFocus%1").arg(when)))
                << MotorFamily::OpticsFocus << "OpticsFocus" << "OpticsFocus Drive" << later;
            QTest::newRow(qPrintable(QStringLiteral("AppliedMotion%1").arg(when)))
                << MotorFamily::AppliedMotion << "AppliedMotion"
                << "Applied Motion Integrated Controller\nNAME: AppliedMotion\nPART CONFIG CODE: MV=SIM-23Q 1.00" << later;
        }
    }
    void identification()
    {
        QFETCH(MotorFamily, family);
        QFETCH(QString, name);
        QFETCH(QString, descriptionStart);
        QFETCH(bool, searchLater);
        connectWith(family, {}, 15000, 0, searchLater);
        if (searchLater) {
            // The connect asked nothing on the line; the search finds the drive.
            QCOMPARE(ctrl->getLinearDriveName(), QStringLiteral("LinearDrive"));
            QVERIFY(qsim::serialBytesWritten(0, 0).empty());
            QVERIFY(ctrl->searchLinearDrive());
        }
        QCOMPARE(ctrl->getLinearDriveName(), name);
        QVERIFY2(ctrl->getLinearDriveDescription().startsWith(descriptionStart),
                 qPrintable(ctrl->getLinearDriveDescription()));
        QCOMPARE(ctrl->getLinearDriveIdentifiedType(), static_cast<int>(family));
        QVERIFY(std::isnan(ctrl->getLinearDrivePosition()));
    }

    // The stored type goes first, then the others in their order.
    void factoryOrder()
    {
        connectWith(MotorFamily::AppliedMotion, {{"identifiedType", 3}});
        QCOMPARE(ctrl->getLinearDriveName(), QStringLiteral("AppliedMotion"));
        const auto lines = commands();
        const int opticsFocus = firstIndex(lines, "?R");
        const int pm600 = firstIndex(lines, std::string(1, '\0') + "ID");
        const int mdrive = firstIndex(lines, "\x03");
        const int applied = firstIndex(lines, "SS999");
        QVERIFY(opticsFocus >= 0);
        QVERIFY(opticsFocus < pm600 && pm600 < mdrive && mdrive < applied);

        connectWith(MotorFamily::AppliedMotion, {{"identifiedType", 4}});
        const auto direct = commands();
        QCOMPARE(firstIndex(direct, "?R"), -1);
        QCOMPARE(firstIndex(direct, "SS999"), firstIndex(direct, "S"));

        // "Linear drive: none": the drive that is there is not even asked.
        connectWith(MotorFamily::AppliedMotion, {{"identifiedType", 4}, {"driveSearch", false}});
        QCOMPARE(ctrl->getLinearDriveName(), QStringLiteral("LinearDrive"));
        QVERIFY(qsim::serialBytesWritten(0, 0).empty());
    }

    // An abort during a search after the connect ends it in the family being
    // asked: no family after it is asked, and the generic drive stays.
    void searchEndsOnAbort()
    {
        setTimeBase(1);   // real pace: asking the first family alone takes over a second
        connectWith(MotorFamily::None, {}, 15000, 0, true);
        Mover search([&] { return ctrl->searchLinearDrive(); });
        for (int i = 0; i < 5000 && qsim::serialBytesWritten(0, 0).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QVERIFY(!qsim::serialBytesWritten(0, 0).empty());
        QVERIFY(ctrl->abortAll());
        QVERIFY(!search.join());
        QCOMPARE(ctrl->getLinearDriveName(), QStringLiteral("LinearDrive"));
        const auto sent = qsim::serialBytesWritten(0, 0);
        const std::string line(sent.begin(), sent.end());
        QVERIFY(line.find("\x03") == std::string::npos);
        QVERIFY(line.find("?R\r") == std::string::npos);
        QVERIFY(line.find("SS999\r") == std::string::npos);
        // Not connected: nothing to search.
        QVERIFY(ctrl->disconnect());
        QVERIFY(!ctrl->searchLinearDrive());
    }

    void noControllerLeavesGenericDrive()
    {
        connectWith(MotorFamily::None, {{"identifiedType", 2}});
        QCOMPARE(ctrl->getLinearDriveName(), QStringLiteral("LinearDrive"));
        QCOMPARE(ctrl->getLinearDriveDescription(), QStringLiteral("Generic Linear Drive Controller"));
        QCOMPARE(ctrl->getLinearDriveError(), QStringLiteral("No Error."));
        QVERIFY(!ctrl->moveLinearDriveTo(10));
        QVERIFY(!ctrl->stopLinearDrive());
        QCOMPARE(ctrl->getLinearDriveIdentifiedType(), 2);
        // Every family was tried on the line.
        const auto sent = qsim::serialBytesWritten(0, 0);
        const std::string line(sent.begin(), sent.end());
        QVERIFY(line.find(std::string(1, '\0') + "ID\r") != std::string::npos);
        QVERIFY(line.find("\x03") != std::string::npos);
        QVERIFY(line.find("?R\r") != std::string::npos);
        QVERIFY(line.find("SS999\r") != std::string::npos);
    }

    void pm600LineAddress()
    {
        // Address '1' on both sides; the controller ignores every other address.
        connectWith(MotorFamily::PM600, {{"address", 49}, {"identifiedType", 1}}, 15000, 49);
        QCOMPARE(ctrl->getLinearDriveName(), QStringLiteral("PM600"));
        QCOMPARE(commands().at(1), std::string("1ID"));
    }

    void homeAndMove_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<double>("homePosition");   // carriage after homing, steps from the minus end
        QTest::addColumn<double>("target");
        QTest::addColumn<long>("targetSteps");
        QTest::newRow("PM600") << MotorFamily::PM600 << 20.0 << 50.01 << 5000L;
        QTest::newRow("MDrivePlus") << MotorFamily::MDrivePlus << 30000.0 << 0.1 << -9060L;
        QTest::newRow("OpticsFocus") << MotorFamily::OpticsFocus << 0.0 << 50.01 << 5000L;
        QTest::newRow("AppliedMotion") << MotorFamily::AppliedMotion << 0.0 << 50.01 << 5000L;
    }
    void homeAndMove()
    {
        QFETCH(MotorFamily, family);
        QFETCH(double, homePosition);
        QFETCH(double, target);
        QFETCH(long, targetSteps);
        connectWith(family, {}, 12345);
        QVERIFY2(ctrl->moveLinearDriveToHome(), qPrintable(ctrl->getLinearDriveError()));
        qsim::MotorState s = qsim::motorState(0);
        QCOMPARE(s.moving, false);
        QCOMPARE(s.position, homePosition);
        QCOMPARE(s.counter, 0L);

        QVERIFY2(ctrl->moveLinearDriveTo(target), qPrintable(ctrl->getLinearDriveError()));
        s = qsim::motorState(0);
        QCOMPARE(s.moving, false);
        QCOMPARE(s.counter, targetSteps);
        QCOMPARE(s.position, homePosition + double(targetSteps));
        const double slope = family == MotorFamily::MDrivePlus ? kMDriveSlope : 0.01;
        QVERIFY(std::fabs(ctrl->getLinearDrivePosition() - target) <= std::fabs(slope));
        QCOMPARE(ctrl->getLinearDriveError(), family == MotorFamily::MDrivePlus || family == MotorFamily::AppliedMotion
                                                  ? QStringLiteral("No Error.") : QStringLiteral("No error."));
    }

    // MDrivePlus homes towards input 1 (plus end), or input 2 (minus end) when inverted.
    void mdriveHomeInverted()
    {
        connectWith(MotorFamily::MDrivePlus, {{"homeInverted", 1}, {"velocityPercent", 55.9}});
        ctrl->setLinearDriveVelpercent(55.9);
        QCOMPARE(ctrl->getLinearDriveVelpercent(), 55.0);
        QVERIFY(ctrl->moveLinearDriveToHome());
        QCOMPARE(qsim::motorState(0).position, 0.0);
        QVERIFY(received("S2=3,1,0") && received("S1=1,1,0") && received("HM 1"));
        QVERIFY(received("VM=550000"));
    }

    // Commands are bounded by the family's buffer; numbers reach them clamped
    // and with a decimal point whatever the locale.
    void commandFormatting()
    {
        BufferProbe probe;
        QVERIFY(probe.put("12345678901"));           // 16 bytes with its NUL
        QCOMPARE(probe.length(), 15);
        QVERIFY(!probe.put("123456789012"));
        QCOMPARE(probe.getError(), QStringLiteral("Failed to write to Serial Port."));
        QVERIFY(!probe.sendNothing());   // no register mirror: nothing goes out

        connectWith(MotorFamily::MDrivePlus, {{"velocityPercent", 1e12}});
        ctrl->setLinearDriveVelpercent(std::nan(""));   // refused, the stored value stays
        ctrl->setLinearDriveVelpercent(1e300);
        QVERIFY(ctrl->moveLinearDriveToHome());
        QVERIFY(received("VM=1000000"));

        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
        connectWith(MotorFamily::AppliedMotion);
        const bool homed = ctrl->moveLinearDriveToHome();
        std::setlocale(LC_NUMERIC, "C");
        QLocale::setDefault(before);
        QVERIFY(homed);
        QVERIFY(received("AC7.000") && received("VE0.500"));
        if (!comma)
            qInfo("no decimal-comma C locale installed: checked under QLocale only");
    }

    // A move on a second thread, as the Move dialog runs it, ended from the
    // user-interface thread by the abort flag or by the stop (which waits for
    // the exchange on the line): the move ends as aborted well short of its
    // target, where it stopped is read, the stop went out as a command of its
    // own, and nothing of it is left behind.
    void endFromAnotherThread_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<bool>("viaStop");
        for (const auto &f : kFamilies)
            for (bool viaStop : {false, true})
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(f.first, viaStop ? "stop" : "abort")))
                    << f.second << viaStop;
    }
    void endFromAnotherThread()
    {
        QFETCH(MotorFamily, family);
        QFETCH(bool, viaStop);
        setTimeBase(10);   // a window of a second or more for the abort, even on a busy machine
        double target = 250.01;   // 25000 steps from a counter of 15000
        if (family == MotorFamily::MDrivePlus) {
            // Its speed is set while homing (plus end): home slowly, then go far.
            connectWith(family, {{"velocityPercent", 0.2}});
            QVERIFY(ctrl->moveLinearDriveToHome());
            target = 0.01 + 29000 * -kMDriveSlope;
        } else {
            connectWith(family, {{"velocityPercent", 1}});
        }
        qsim::clearMotorCommands(0);
        Mover mover([&] { return ctrl->moveLinearDriveTo(target); });
        QVERIFY(waitUntilMoving());
        // A second operation meanwhile is refused: its commands would mix with the move's.
        QVERIFY(!ctrl->moveLinearDriveToHome());
        QVERIFY(qsim::motorState(0).moving);
        const double before = qsim::motorState(0).position;
        if (viaStop)
            QVERIFY(ctrl->stopLinearDrive());
        else
            ctrl->abortLinearDrive();
        QVERIFY(!mover.join());
        QCOMPARE(ctrl->getLinearDriveError(), QStringLiteral("Operation aborted."));
        const qsim::MotorState s = qsim::motorState(0);
        QVERIFY(!s.moving);
        QVERIFY(std::fabs(s.position - before) < 10000);   // stopped well short of the target
        // The position where it stopped was read; the flag does not outlive the operation it ended.
        const double stoppedAt = double(s.counter) * ctrl->getLinearDriveSlope() + ctrl->getLinearDriveIntercept();
        QCOMPARE(ctrl->getLinearDrivePosition(), stoppedAt);
        const std::string stop = stopLine(family);
        const auto lines = commands();
        QVERIFY(std::count(lines.begin(), lines.end(), stop) >= 1);
        for (const std::string &line : lines)
            QVERIFY2(line == stop || stop.size() == 1 || line.find(stop) == std::string::npos, line.c_str());
        ctrl->setLinearDriveVelpercent(100);
        QVERIFY2(ctrl->moveLinearDriveTo(ctrl->getLinearDrivePosition() + hundredStepsOnward(family)),
                 qPrintable(ctrl->getLinearDriveError()));
    }

    void disconnectStopsRunningMove()
    {
        setTimeBase(10);
        connectWith(MotorFamily::PM600);
        Mover mover([&] { return ctrl->moveLinearDriveTo(250.01); });
        QVERIFY(waitUntilMoving());
        // The move is aborted and has ended before the module closes.
        QVERIFY(ctrl->disconnect());
        QVERIFY(!mover.join());
        QCOMPARE(ctrl->getLinearDriveError(), QStringLiteral("Operation aborted."));
        QVERIFY(!qsim::motorState(0).moving);
        QVERIFY(received("\x1b"));
    }

    void stallDuringMove_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("positionQuery");
        QTest::addColumn<int>("polls");   // position reads after the move command until the stall is called
        // PM600: unchanged for more than 3 further polls; MDrivePlus and
        // AppliedMotion: not changed between two polls.
        QTest::newRow("PM600") << MotorFamily::PM600 << "Position stall error." << QString(QChar(0)) + "OC" << 5;
        QTest::newRow("MDrivePlus") << MotorFamily::MDrivePlus << "Failed to move driver." << "PR P" << 2;
        QTest::newRow("OpticsFocus") << MotorFamily::OpticsFocus << "Position stall error." << "?X" << 5;
        QTest::newRow("AppliedMotion") << MotorFamily::AppliedMotion << "Failed to move driver." << "IP" << 2;
    }
    void stallDuringMove()
    {
        QFETCH(MotorFamily, family);
        QFETCH(QString, text);
        QFETCH(QString, positionQuery);
        QFETCH(int, polls);
        connectWith(family);
        qsim::setMotorFault(0, MotorFault::Stall);
        const double target = family == MotorFamily::MDrivePlus ? 0.01 + 100 * kMDriveSlope : 100.01;
        QVERIFY(!ctrl->moveLinearDriveTo(target));
        QCOMPARE(ctrl->getLinearDriveError(), text);
        QVERIFY(!qsim::motorState(0).moving);   // the stop went out
        QCOMPARE(qsim::motorState(0).position, 15000.0);
        QCOMPARE(countAfter(commands(), moveCommandPrefix(family), positionQuery.toStdString()), polls);
    }

    // A homing that does not come to rest stops the motor and never zeroes the counter.
    void stallDuringHoming_data() { addFamilies(); }
    void stallDuringHoming()
    {
        QFETCH(MotorFamily, family);
        connectWith(family);
        qsim::setMotorFault(0, MotorFault::Stall);
        qsim::clearMotorCommands(0);
        QVERIFY(!ctrl->moveLinearDriveToHome());
        const qsim::MotorState s = qsim::motorState(0);
        QVERIFY(!s.moving);
        QCOMPARE(s.counter, 15000L);
        QVERIFY(!received("P=0") && !received(std::string(1, '\0') + "CP0") && !received("SP0"));
        QVERIFY(ctrl->getLinearDriveError() != QStringLiteral("Operation aborted."));
    }

    void controllerError_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("PM600") << MotorFamily::PM600 << 5 << "Failed to write command.";
        QTest::newRow("MDrivePlus stall") << MotorFamily::MDrivePlus << 86 << "Stall detected.";
        QTest::newRow("MDrivePlus unknown") << MotorFamily::MDrivePlus << 99 << "Unknown Error (99)";
        QTest::newRow("MDrivePlus minus one") << MotorFamily::MDrivePlus << -1 << "Unknown Error (-1)";
        QTest::newRow("OpticsFocus") << MotorFamily::OpticsFocus << 5 << "Failed to read command reply.";
        QTest::newRow("AppliedMotion") << MotorFamily::AppliedMotion << 83 << "Reached plus LIMIT switch.";
    }
    void controllerError()
    {
        QFETCH(MotorFamily, family);
        QFETCH(int, code);
        QFETCH(QString, text);
        connectWith(family);
        qsim::setMotorFault(0, MotorFault::ErrorCode, code);
        const double target = family == MotorFamily::MDrivePlus ? 0.01 + 100 * kMDriveSlope : 100.01;
        QVERIFY(!ctrl->moveLinearDriveTo(target));
        QCOMPARE(ctrl->getLinearDriveError(), text);
        QCOMPARE(qsim::motorState(0).position, 15000.0);
        // A refusal is no abort: the motor is stopped and nothing is read after it.
        if (family == MotorFamily::MDrivePlus) {
            QCOMPARE(countAfter(commands(), "MA ", "SL 0"), 1);
            QCOMPARE(countAfter(commands(), "MA ", "PR P"), 0);
        }
    }

    // The homing speed is formatted as C's "%.0f" does: an exact half goes to the even neighbour.
    void opticsFocusHomingSpeed_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("command");
        QTest::newRow("whole") << 10.0 << "V10";
        QTest::newRow("12.5 to even") << 12.5 << "V12";
        QTest::newRow("2.5 to even") << 2.5 << "V2";
        QTest::newRow("13.5 to even") << 13.5 << "V14";
        QTest::newRow("above a half") << 12.5000001 << "V13";
    }
    void opticsFocusHomingSpeed()
    {
        QFETCH(double, speed);
        QFETCH(QString, command);
        connectWith(MotorFamily::OpticsFocus, {{"homingSpeed", speed}});
        QCOMPARE(ctrl->getHomingSpeed(), speed);
        qsim::clearMotorCommands(0);
        QVERIFY2(ctrl->moveLinearDriveToHome(), qPrintable(ctrl->getLinearDriveError()));
        const auto lines = commands();
        const int v = firstIndex(lines, "V");
        QVERIFY(v >= 0);
        QCOMPARE(QString::fromStdString(lines.at(size_t(v))), command);
    }

    void lineFaults_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<MotorFault>("fault");
        QTest::addColumn<QString>("text");
        QTest::newRow("PM600 garbled") << MotorFamily::PM600 << MotorFault::Garbled << "Non-printable character error.";
        QTest::newRow("PM600 silent") << MotorFamily::PM600 << MotorFault::NoReply << "Read time out error.";
        QTest::newRow("MDrivePlus garbled") << MotorFamily::MDrivePlus << MotorFault::Garbled << "Failed to read Command Reply.";
        QTest::newRow("MDrivePlus silent") << MotorFamily::MDrivePlus << MotorFault::NoReply << "Failed to read Command Reply.";
        QTest::newRow("OpticsFocus garbled") << MotorFamily::OpticsFocus << MotorFault::Garbled << "Non-printable character error.";
        QTest::newRow("AppliedMotion silent") << MotorFamily::AppliedMotion << MotorFault::NoReply << "Failed to read Command Reply.";
    }
    void lineFaults()
    {
        QFETCH(MotorFamily, family);
        QFETCH(MotorFault, fault);
        QFETCH(QString, text);
        connectWith(family);
        qsim::setMotorFault(0, fault);
        QVERIFY(!ctrl->moveLinearDriveTo(family == MotorFamily::MDrivePlus ? 0.01 + 100 * kMDriveSlope : 100.01));
        QCOMPARE(ctrl->getLinearDriveError(), text);
        // A garbled answer to a move does not mean the move was not made: it was stopped.
        QVERIFY(!qsim::motorState(0).moving);

        // One bad reply is repeated away: the move goes through (PM600 sends its
        // move command, the first of the move, only once).
        if (family == MotorFamily::PM600)
            return;
        qsim::setMotorFault(0, fault, 0, 1);
        QVERIFY2(ctrl->moveLinearDriveTo(family == MotorFamily::MDrivePlus ? 0.01 + 100 * kMDriveSlope : 100.01),
                 qPrintable(ctrl->getLinearDriveError()));
    }

    // Targets that do not give a sound step count are refused before anything moves.
    void refusedTargets_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("slope");
        QTest::addColumn<double>("intercept");
        QTest::addColumn<QString>("text");
        const double nan = std::nan("");
        const double inf = HUGE_VAL;
        QTest::newRow("PM600 NaN target") << MotorFamily::PM600 << nan << 0.01 << 0.01 << "Failed to write command.";
        QTest::newRow("PM600 out of range") << MotorFamily::PM600 << 1e9 << 0.01 << 0.01 << "Failed to write command.";
        QTest::newRow("PM600 NaN intercept") << MotorFamily::PM600 << 10.0 << 0.01 << nan << "Failed to write command.";
        QTest::newRow("MDrivePlus infinite") << MotorFamily::MDrivePlus << inf << 0.01 << 0.01 << "Failed to move driver.";
        QTest::newRow("MDrivePlus out of range") << MotorFamily::MDrivePlus << 1e5 << 0.01 << 0.01 << "Failed to move driver.";
        QTest::newRow("OpticsFocus zero slope") << MotorFamily::OpticsFocus << 10.0 << 0.0 << 0.01 << "Failed to write command.";
        QTest::newRow("OpticsFocus NaN slope") << MotorFamily::OpticsFocus << 10.0 << nan << 0.01 << "Failed to write command.";
        QTest::newRow("AppliedMotion zero slope") << MotorFamily::AppliedMotion << 10.0 << 0.0 << 0.01 << "Failed to move driver.";
        QTest::newRow("AppliedMotion tiny slope") << MotorFamily::AppliedMotion << 10.0 << 1e-12 << 0.0 << "Failed to move driver.";
    }
    void refusedTargets()
    {
        QFETCH(MotorFamily, family);
        QFETCH(double, target);
        QFETCH(double, slope);
        QFETCH(double, intercept);
        QFETCH(QString, text);
        connectWith(family);
        ctrl->setLinearDriveSlope(slope);
        ctrl->setLinearDriveIntercept(intercept);
        qsim::clearMotorCommands(0);
        QVERIFY(!ctrl->moveLinearDriveTo(target));
        QCOMPARE(ctrl->getLinearDriveError(), text);
        QCOMPARE(firstIndex(commands(), moveCommandPrefix(family)), -1);
        QCOMPARE(qsim::motorState(0).position, 15000.0);
    }

    // A target beyond the end switch the drive homed to: the stage stops at the
    // switch and the move reports the deviation after stopping there.
    void beyondTheHomeSwitch_data()
    {
        QTest::addColumn<MotorFamily>("family");
        QTest::addColumn<double>("homePosition");
        QTest::addColumn<long>("beyond");   // steps past the switch
        QTest::newRow("MDrivePlus") << MotorFamily::MDrivePlus << 30000.0 << 100L;
        QTest::newRow("AppliedMotion") << MotorFamily::AppliedMotion << 0.0 << -100L;
    }
    void beyondTheHomeSwitch()
    {
        QFETCH(MotorFamily, family);
        QFETCH(double, homePosition);
        QFETCH(long, beyond);
        connectWith(family);
        QVERIFY2(ctrl->moveLinearDriveToHome(), qPrintable(ctrl->getLinearDriveError()));
        const double x = ctrl->getLinearDriveIntercept() + double(beyond) * ctrl->getLinearDriveSlope();
        QVERIFY(!ctrl->moveLinearDriveTo(x));
        QCOMPARE(ctrl->getLinearDriveError(), QStringLiteral("Failed to move driver."));
        const qsim::MotorState s = qsim::motorState(0);
        QVERIFY(!s.moving);
        QCOMPARE(s.position, homePosition);
        QCOMPARE(s.counter, 0L);
    }

    // PM600 substitutes -0.009 for a slope of 0; a stop far below the
    // target on either side is a deviation.
    void pm600SlopeAndDeviation()
    {
        connectWith(MotorFamily::PM600);
        ctrl->setLinearDriveSlope(0);
        QVERIFY(ctrl->moveLinearDriveTo(-90.01));   // trunc((-90.01 - 0.01) / -0.009) = 10002
        QCOMPARE(ctrl->getLinearDriveSlope(), -0.009);
        QCOMPARE(qsim::motorState(0).counter, 10002L);
        QVERIFY(ctrl->getHomeInverted());

        ctrl->setLinearDriveSlope(0.01);
        QVERIFY(ctrl->moveLinearDriveToHome());
        // 5001 steps below the lower end switch: the carriage stops at -20.
        QVERIFY(!ctrl->moveLinearDriveTo(-50.0));
        QCOMPARE(ctrl->getLinearDriveError(), QStringLiteral("Position deviation error."));
        QCOMPARE(qsim::motorState(0).position, 0.0);
    }
};

QTEST_GUILESS_MAIN(TestLinearDrive)
#include "tst_lineardrive.moc"
