// The linear drive without widgets: the worker's polling, its 5 s rule after
// an abort and its lifetime (with a scripted operation and clock), then
// initialise, move, abort, release and the settings against the simulated
// motor controller.
#include "DriveWorker.h"
#include "DriverLog.h"
#include "LinearDriveControl.h"
#include "RIRavaVCntrl.h"

#include <SimControl.h>
#include <SimMotors.h>

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <thread>

namespace {
// A clock that moves 250 ms per poll without real waiting.
struct FakeTime {
    qint64 now = 0;
    int polls = 0;
    DriveWorker::Pacer pacer()
    {
        DriveWorker::Pacer p;
        p.nowMs = [this] { return now; };
        p.waitWithEvents = [this](int ms) {
            now += ms;
            ++polls;
            std::this_thread::yield();
        };
        return p;
    }
};

// Simulated seconds per real second; the driver's waits (reply timeouts
// included) scale alike, so 10 leaves them 100 ms even on a busy machine.
constexpr double kSpeed = 10;
} // namespace

class TestDriveControl : public QObject
{
    Q_OBJECT
    QTemporaryDir settingsDir;
    std::unique_ptr<RIRavaVCntrl> ctrl;
    QStringList alerts;

    void connectWith(qsim::MotorFamily family, double startSteps = 15000)
    {
        ctrl.reset();
        QSettings().remove(QStringLiteral("ldSettings"));
        QSettings s;
        s.setValue(QStringLiteral("ldSettings/intercept"), 0.0);
        qsim::Config c;
        c.speedFactor = kSpeed;
        c.modules[0].motor.family = family;
        c.modules[0].motor.startSteps = startSteps;
        qsim::reset(c);
        ctrl = std::make_unique<RIRavaVCntrl>();
        QCOMPARE(ctrl->connectTo(), 1);
        alerts.clear();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("QuendrixTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_drivecontrol"));
        setDriverDelayScale(1 / kSpeed);
    }
    void cleanup() { ctrl.reset(); }

    // ---- worker with a scripted operation

    void workerReturnsTheResult()
    {
        FakeTime t;
        DriveWorker w(t.pacer());
        std::atomic<bool> release{false};
        int polls = 0;
        bool stopped = false;
        const bool r = w.run(
            [&] {
                while (!release.load())
                    std::this_thread::yield();
                return true;
            },
            [&] {
                if (++polls == 3)
                    release = true;
            },
            [] { return false; }, [&] { stopped = true; });
        QVERIFY(r);
        QVERIFY(polls >= 3);
        QVERIFY(!stopped);
        QVERIFY(!w.running());
    }

    // Without an abort a long operation is never stopped, however long it takes.
    void longOperationWithoutAbortIsNotStopped()
    {
        FakeTime t;
        DriveWorker w(t.pacer());
        std::atomic<bool> release{false};
        bool stopped = false;
        w.run(
            [&] {
                while (!release.load())
                    std::this_thread::yield();
                return false;
            },
            [&] {
                if (t.now >= 60000)
                    release = true;
            },
            [] { return false; }, [&] { stopped = true; });
        QVERIFY(!stopped);
        QVERIFY(t.now >= 60000);
    }

    // After the abort: 5 s for the call to give up, then one stop, and the
    // worker still waits until the call returned.
    void stopAfterFiveSecondsThenWaitForReturn()
    {
        FakeTime t;
        DriveWorker w(t.pacer());
        std::atomic<bool> release{false};
        std::atomic<bool> returned{false};
        bool aborted = false;
        qint64 abortedAt = -1, stoppedAt = -1;
        int stops = 0;
        const bool r = w.run(
            [&] {
                while (!release.load())
                    std::this_thread::yield();
                returned = true;
                return true;
            },
            [&] {
                if (t.polls == 4) {
                    aborted = true;
                    abortedAt = t.now;
                }
                if (stops && t.now - stoppedAt >= 2000)
                    release = true; // the call returns some time after the stop
                QVERIFY(w.running());
            },
            [&] { return aborted; },
            [&] {
                ++stops;
                stoppedAt = t.now;
            });
        QVERIFY(returned.load());
        QVERIFY(r);
        QCOMPARE(stops, 1);
        QVERIFY(w.stopSent());
        QVERIFY(stoppedAt - abortedAt > DriveWorker::kStopAfterAbortMs);
        QVERIFY(stoppedAt - abortedAt <= DriveWorker::kStopAfterAbortMs + DriveWorker::kPollMs);
        QVERIFY(!w.running());
    }

    void abortedCallThatGivesUpIsNotStopped()
    {
        FakeTime t;
        std::atomic<bool> abortFlag{false};
        std::atomic<bool> gaveUp{false};
        DriveWorker::Pacer p = t.pacer();
        auto advance = p.waitWithEvents;
        // Fake time moves on only once the call had its (real) chance to give up.
        p.waitWithEvents = [&, advance](int ms) {
            QElapsedTimer real;
            real.start();
            while (abortFlag.load() && !gaveUp.load() && real.elapsed() < 10000)
                std::this_thread::yield();
            advance(ms);
        };
        DriveWorker w(p);
        int stops = 0;
        const bool r = w.run(
            [&] {
                while (!abortFlag.load())
                    std::this_thread::yield();
                gaveUp = true;
                return false;
            },
            [&] { abortFlag = true; }, [&] { return abortFlag.load(); }, [&] { ++stops; });
        QVERIFY(!r);
        QCOMPARE(stops, 0);
    }

    // ---- the drive against the simulated motor controller

    void initialiseWhileDisconnected()
    {
        RIRavaVCntrl offline;
        QStringList list;
        LinearDriveControl c(&offline, &list);
        int shown = 0;
        LinearDriveControl::Host host;
        host.showAlerts = [&] { ++shown; };
        c.setHost(host);
        QSignalSpy busy(&c, &LinearDriveControl::busyChanged);
        QVERIFY(!c.initialise(false));
        QCOMPARE(list, QStringList{"[ERROR] Initialise Linear Drive: VESK Device is not connected"});
        QCOMPARE(shown, 1);
        QCOMPARE(busy.count(), 0); // no thread started
        QCOMPARE(c.status(), QString("Linear Drive is not connected"));
        QCOMPARE(c.actualPosition(), -1.0);
    }

    void initialiseMoveAndRelease_data()
    {
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<bool>("answerYes");
        QTest::newRow("box, home on release") << false << true;
        QTest::newRow("quiet, stay on release") << true << false;
    }
    void initialiseMoveAndRelease()
    {
        QFETCH(bool, quiet);
        QFETCH(bool, answerYes);
        connectWith(qsim::MotorFamily::OpticsFocus, 12000);
        LinearDriveControl c(ctrl.get(), &alerts);
        QStringList boxes, questions;
        LinearDriveControl::Host host;
        host.information = [&](const QString&, const QString& text) { boxes << text; };
        host.question = [&](const QString& title, const QString& text) {
            questions << title + '|' + text;
            return answerYes;
        };
        c.setHost(host);
        QStringList statuses;
        connect(&c, &LinearDriveControl::statusChanged, this, [&](const QString& s) { statuses << s; });

        QVERIFY2(c.initialise(quiet), qPrintable(alerts.join('\n')));
        QVERIFY(c.isInitialised());
        QCOMPARE(statuses.mid(statuses.size() - 2), (QStringList{"Initiating Linear Drive", "Idle"}));
        QCOMPARE(boxes.size(), quiet ? 0 : 1);
        if (!quiet)
            QVERIFY(boxes.first().startsWith("Identified Linear Drive:\nOpticsFocus Drive"));
        QCOMPARE(qsim::motorState(0).position, 0.0);
        QCOMPARE(c.settings().identifiedType, 3);
        // Right after homing the position is 0: nothing to ask.
        QVERIFY(!c.wouldAskHome());

        QSignalSpy positions(&c, &LinearDriveControl::positionChanged);
        QVERIFY2(c.moveTo(42.0), qPrintable(alerts.join('\n')));
        QCOMPARE(qsim::motorState(0).counter, 4200L);
        QCOMPARE(c.actualPosition(), 42.0);
        QVERIFY(positions.count() >= 1);
        QCOMPARE(c.status(), QString("Idle"));
        QVERIFY(!c.isBusy());

        QVERIFY(c.wouldAskHome());
        c.release();
        QCOMPARE(questions, QStringList{"Closing down warning|Would you like to return linear drive to home position ?"});
        QCOMPARE(qsim::motorState(0).counter, answerYes ? 0L : 4200L);
        QVERIFY(!c.isInitialised());
        QCOMPARE(c.status(), QString("Linear Drive is not connected"));
        QCOMPARE(c.actualPosition(), -1.0);
        QVERIFY(alerts.isEmpty());
    }

    // The user's abort during a move: the call gives up on its own, no stop
    // is needed, no alert, and the drive can move again.
    void abortDuringMove()
    {
        connectWith(qsim::MotorFamily::AppliedMotion);
        LinearDriveControl c(ctrl.get(), &alerts);
        QVERIFY2(c.initialise(true), qPrintable(alerts.join('\n')));
        ctrl->setLinearDriveVelpercent(1);
        c.settings().velocityPercent = 1;
        DriveWorker::Pacer p = DriveWorker::realTime();
        int polls = 0;
        p.waitWithEvents = [&](int) {
            QThread::msleep(2);
            if (++polls == 3)
                c.abort();
        };
        c.setPacer(p);
        QVERIFY(!c.moveTo(250.0));
        QVERIFY(c.isAborted());
        QVERIFY(!c.stopSent());
        QVERIFY(alerts.isEmpty());
        QVERIFY(!qsim::motorState(0).moving);
        QVERIFY(qsim::motorState(0).counter < 25000);
        c.setPacer(DriveWorker::realTime());
        ctrl->setLinearDriveVelpercent(100);
        QVERIFY2(c.moveTo(10.0), qPrintable(alerts.join('\n')));
        QCOMPARE(qsim::motorState(0).counter, 1000L);
    }

    void failedMoveAlerts()
    {
        connectWith(qsim::MotorFamily::AppliedMotion);
        LinearDriveControl c(ctrl.get(), &alerts);
        QVERIFY(!c.moveTo(5)); // not initialised
        QCOMPARE(alerts, QStringList{"[ERROR] Move To Position: Linear drive is not initialised."});
        alerts.clear();
        QVERIFY(c.initialise(true));
        qsim::setMotorFault(0, qsim::MotorFault::NoReply);
        QVERIFY(!c.moveTo(5));
        QCOMPARE(alerts.size(), 1);
        QVERIFY(alerts.first().startsWith("[ERROR] Move To Position: "));
        qsim::setMotorFault(0, qsim::MotorFault::None);
    }

    // ---- settings

    void settingsReachTheLibrary()
    {
        QSettings().remove(QStringLiteral("ldSettings"));
        QSettings().setValue(QStringLiteral("ldSettings/targetHomingSpeed"), 80.0);
        DriveDialogSettings s;
        s.read();
        QCOMPARE(s.homingSpeed, 50.0);
        QCOMPARE(s.slope, 0.0);
        s.homeInverted = true;
        s.homingSpeed = 12.5;
        s.velocityPercent = 33.5;
        QVERIFY(s.write());
        // What the library reads back after a restart.
        QSettings store;
        QCOMPARE(store.value(QStringLiteral("ldSettings/homeInverted")).toInt(), 1);
        QCOMPARE(store.value(QStringLiteral("ldSettings/homingSpeed")).toDouble(), 12.5);
        QCOMPARE(store.value(QStringLiteral("ldSettings/velocityPercent")).toDouble(), 33.5);
        // A slope of 0 stands for the library's default: the library's key stays out.
        QVERIFY(!store.contains(QStringLiteral("ldSettings/slope")));
        DriveDialogSettings back;
        back.read();
        QVERIFY(back.homeInverted);
        QCOMPARE(back.velocityPercent, 33.5);
    }

    // A stored slope of 0 keeps the library's own.
    void zeroSlopeKeepsTheLibrarysDefault()
    {
        connectWith(qsim::MotorFamily::AppliedMotion);
        const double librarySlope = ctrl->getLinearDriveSlope();
        QVERIFY(librarySlope != 0);
        LinearDriveControl c(ctrl.get(), &alerts);
        c.settings().slope = 0;
        c.pushToController();
        QCOMPARE(ctrl->getLinearDriveSlope(), librarySlope);
        c.applyConfiguration(0.02, true, 40, 250, 80);
        QCOMPARE(ctrl->getLinearDriveSlope(), 0.02);
        QVERIFY(ctrl->getHomeInverted());
        QVERIFY(ctrl->getHomingSpeed() <= 50.0); // the library keeps its own bound
        QCOMPARE(c.settings().homingSpeed, 50.0);
        QCOMPARE(c.railLength(), 250.0);
        QCOMPARE(c.settings().boxMaximum, 250.0);
    }

    void tableEdits_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("minimum") << 0 << "10" << true << "10";
        QTest::newRow("minimum at maximum") << 0 << "100" << false << "0";
        QTest::newRow("maximum below minimum") << 1 << "-5" << false << "100";
        QTest::newRow("not a number") << 1 << "abc" << false << "100";
        QTest::newRow("decimals not an integer") << 2 << "1.5" << false << "1";
        QTest::newRow("slider maximum") << 5 << "300" << true << "300";
        QTest::newRow("slider minimum at maximum") << 4 << "100" << false << "0";
        QTest::newRow("slope") << 9 << "-9.9e-6" << true << "-9.9e-06";
        QTest::newRow("slope 0") << 9 << "0" << false << "0";
        QTest::newRow("slope infinite") << 9 << "inf" << false << "0";
        QTest::newRow("address") << 8 << "49" << true << "49";
        QTest::newRow("address too large") << 8 << "256" << false << "0";
        QTest::newRow("type") << 11 << "2" << true << "2";
        QTest::newRow("type unknown") << 11 << "7" << false << "0";
    }
    void tableEdits()
    {
        QFETCH(int, row);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(QString, shown);
        DriveDialogSettings s;
        QString error;
        QCOMPARE(s.applyRow(row, text, &error), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        QCOMPARE(s.rowText(row), shown);
        QCOMPARE(DriveDialogSettings::rowName(11), QString("Type"));
    }

    void sliderMapping()
    {
        const SliderMap m = SliderMap::from(0, 100, 0, 1000);
        QCOMPARE(m.toSlider(12.34), 123);
        QCOMPARE(m.toBox(500, 0), 50.0);
        const SliderMap flat = SliderMap::from(5, 5, 0, 100);
        QCOMPARE(flat.toSlider(5), 0);
        QCOMPARE(flat.toBox(70, 5), 5.0);
        QVERIFY(std::isfinite(flat.toBox(70, 5)));
    }
};

QTEST_GUILESS_MAIN(TestDriveControl)
#include "tst_drivecontrol.moc"
