// The Move dialog and the main window's drive hooks against the simulated
// motor controller: INITIALIZE and MOVE with their abort buttons, closing the
// dialog during a move, the parameter table, the configuration dialog, Move
// enabled before the drive is initialised, and the home question.
#include "ConfigParamPanel.h"
#include "DriverLog.h"
#include "LinearDriver.h"
#include "MainWin.h"
#include "WorkerThread.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "PrompterFixture.h"
#include "ScriptedPrompter.h"

#include <SimControl.h>
#include <SimMotors.h>

#include <QAction>
#include <QComboBox>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
// The driver's waits (reply timeouts included) scale with the unit's speed:
// at 10 they stay 100 ms, enough on a busy machine.
constexpr double kSpeed = 10;

void resetWorld(double startSteps = 6000, qsim::MotorFamily family = qsim::MotorFamily::OpticsFocus)
{
    qsim::Config c;
    c.speedFactor = kSpeed;
    c.modules[0].motor.family = family;
    c.modules[0].motor.startSteps = startSteps;
    qsim::reset(c);
}

std::function<int(QDialog*)> singleProbe()
{
    return [](QDialog* d) {
        auto* sel = qobject_cast<ProbeModeSelector*>(d);
        if (!sel)
            return int(QDialog::Rejected);
        sel->button(ProbeModeSelector::eWithoutDcRef)->click();
        return sel->result();
    };
}
} // namespace

Q_DECLARE_METATYPE(qsim::MotorFamily)

class TestLinearDriver : public QObject, PrompterFixture::Prompted<>
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolate();
        setDriverDelayScale(1 / kSpeed);
    }
    void init()
    {
        resetWorld();
        QCoreApplication::setOrganizationName("QuendrixTest");
        QCoreApplication::setApplicationName("lineardriver-test");
        // The store of these names and the one the main window switches to.
        for (QSettings* s : {new QSettings, new QSettings("Quendrix", "Quendrix Langmuir")}) {
            s->clear();
            s->setValue("ldSettings/intercept", 0.0);
            delete s;
        }
        installPrompter();
    }
    void cleanup() { tearDown(); }

    void initialiseMoveAndAbortButtons()
    {
        RIRavaVCntrl ctrl;
        QCOMPARE(ctrl.connectTo(), 1);
        QStringList alerts;
        LinearDriver dlg(&ctrl, &alerts);
        QVERIFY(!dlg.positionBox()->isEnabled());
        QCOMPARE(dlg.statusLabel()->text(), QString("Linear Drive is not connected"));

        QString duringInit;
        auto probe = connect(&dlg.control(), &LinearDriveControl::busyChanged, this, [&](bool busy) {
            if (busy)
                duringInit = dlg.initButton()->text();
        });
        dlg.initButton()->click();
        disconnect(probe);
        QCOMPARE(duringInit, QString("ABORT"));
        QVERIFY2(dlg.isInitialised(), qPrintable(alerts.join('\n')));
        QCOMPARE(dlg.initButton()->text(), QString("INITIALIZE"));
        QVERIFY(!dlg.initButton()->isChecked());
        QCOMPARE(dlg.statusLabel()->text(), QString("Idle"));
        QVERIFY(dlg.positionBox()->isEnabled() && dlg.moveButton()->isEnabled());
        QCOMPARE(m_prompter->asked.size(), 1);
        QVERIFY(m_prompter->asked.first().text.startsWith("Identified Linear Drive:\n"));

        dlg.positionBox()->setValue(25.0);
        QCOMPARE(dlg.positionSlider()->value(), 25); // default mapping: 0..100 both
        dlg.moveButton()->click();
        QVERIFY2(alerts.isEmpty(), qPrintable(alerts.join('\n')));
        QCOMPARE(dlg.actualLabel()->text(), QString("25.0"));
        QCOMPARE(qsim::motorState(0).counter, 2500L);
        QCOMPARE(dlg.moveButton()->text(), QString("MOVE"));

        // STOP during a long, slow move: the move ends early, no box.
        ctrl.setLinearDriveVelpercent(1);
        dlg.control().settings().velocityPercent = 1;
        dlg.positionBox()->setValue(95.0);
        QString duringMove;
        QTimer::singleShot(20, this, [&] {
            duringMove = dlg.moveButton()->text();
            dlg.moveButton()->click(); // unchecks: the abort
        });
        const int boxes = m_prompter->asked.size();
        dlg.moveButton()->click();
        QCOMPARE(duringMove, QString("STOP"));
        QVERIFY(dlg.control().isAborted());
        QCOMPARE(m_prompter->asked.size(), boxes);
        QVERIFY(!dlg.control().isBusy());
        QVERIFY(!qsim::motorState(0).moving);
        QVERIFY(qsim::motorState(0).counter < 9500);
        QCOMPARE(dlg.moveButton()->text(), QString("MOVE"));
        QVERIFY(!dlg.moveButton()->isChecked());
    }

    // Closing the dialog during a move aborts it; the dialog closes only after
    // the worker has returned.
    void closeDuringMoveWaitsForTheWorker()
    {
        RIRavaVCntrl ctrl;
        QCOMPARE(ctrl.connectTo(), 1);
        QStringList alerts;
        LinearDriver dlg(&ctrl, &alerts);
        dlg.show();
        QVERIFY(dlg.initialise(true));
        ctrl.setLinearDriveVelpercent(1);
        dlg.control().settings().velocityPercent = 1;
        bool busyWhenClosed = false;
        QTimer::singleShot(20, this, [&] {
            busyWhenClosed = dlg.control().isBusy();
            dlg.close();
            // Still shown: the worker has not returned yet.
            QVERIFY(dlg.isVisible());
        });
        QVERIFY(!dlg.moveToPosition(90));
        QVERIFY(busyWhenClosed);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.control().isBusy());
        QVERIFY(!qsim::motorState(0).moving);
    }

    void parameterTable()
    {
        RIRavaVCntrl ctrl;
        QStringList alerts;
        LinearDriver dlg(&ctrl, &alerts);
        dlg.showConfigPanel();
        QTableWidget* t = dlg.parameterTable();
        QCOMPARE(t->windowTitle(), QString("Config Panel"));
        QCOMPARE(t->rowCount(), 12);
        QCOMPARE(t->item(0, 0)->text(), QString("Position Minimum"));
        QCOMPARE(t->item(11, 0)->text(), QString("Type"));
        QVERIFY(t->font().fixedPitch());

        dlg.positionBox()->setValue(50);
        t->item(5, 1)->setText("200"); // slider maximum: the slider follows the box
        QCOMPARE(dlg.positionSlider()->maximum(), 200);
        QCOMPARE(dlg.positionSlider()->value(), 100);

        t->item(9, 1)->setText("0.02");
        QCOMPARE(t->item(9, 1)->text(), QString("0.02"));
        t->item(9, 1)->setText("0"); // slope 0 refused, cell restored
        QCOMPARE(t->item(9, 1)->text(), QString("0.02"));
        QCOMPARE(m_prompter->asked.size(), 1);
        t->item(1, 1)->setText("-3"); // maximum below minimum
        QCOMPARE(t->item(1, 1)->text(), QString("100"));
        QCOMPARE(dlg.positionBox()->maximum(), 100.0);
        QCOMPARE(QSettings().value("ldSettings/setPosSliderMaximum").toInt(), 200);
    }

    void configurationDialog()
    {
        ALDconfig cfg;
        QCOMPARE(cfg.windowTitle(), QString("Linear Driver Configuration"));
        QCOMPARE(ALDconfig::typeEntries(),
                 (QStringList{"---------", "Applied Motion", "MDrive Plus", "PM 600"}));
        cfg.setDefaultSlopeVal(3);
        QCOMPARE(cfg.slope(), -9.933333333333334e-06);
        cfg.setDefaultSlopeVal(2);
        QCOMPARE(cfg.slope(), 0.005);

        RIRavaVCntrl ctrl;
        QCOMPARE(ctrl.connectTo(), 1);
        QStringList alerts;
        LinearDriver dlg(&ctrl, &alerts);
        bool searchShown = false;
        m_prompter->dialogHandlers << [&searchShown](QDialog* d) {
            auto* c = qobject_cast<ALDconfig*>(d);
            if (!c)
                return int(QDialog::Rejected);
            c->setValues(0.02, 300, 40, true, 75);
            searchShown = c->driveSearch(); // the default
            c->setDriveSearch(false);
            return int(QDialog::Accepted);
        };
        dlg.configALD();
        QVERIFY(searchShown);
        QCOMPARE(dlg.railLength(), 300.0);
        QCOMPARE(dlg.positionSlider()->maximum(), 300);
        QCOMPARE(dlg.positionBox()->maximum(), 300.0);
        QCOMPARE(ctrl.getLinearDriveSlope(), 0.02);
        QVERIFY(ctrl.getHomeInverted());
        QCOMPARE(ctrl.getHomingSpeed(), 50.0); // the spin box stops at 50
        QCOMPARE(QSettings().value("ldSettings/homeInverted").toInt(), 1);
        QCOMPARE(QSettings().value("ldSettings/driveSearch").toBool(), false);
    }

    // Move is reachable as soon as the unit is connected; closing the window
    // with the drive away from home asks, and Yes brings it home.
    void mainWindowHooks()
    {
        auto w = std::make_unique<MainWin>();
        QVERIFY(!w->action("Move...")->isEnabled());
        m_prompter->dialogHandlers << singleProbe();
        w->action("Connect")->trigger();
        QTRY_VERIFY(!w->driveSearchPending()); // the drive search that follows the connect
        QVERIFY2(w->alertList().isEmpty(), qPrintable(w->alertList().join('\n')));
        QVERIFY(w->action("Move...")->isEnabled());
        // The family found is asked first at the next connect.
        QCOMPARE(QSettings().value("ldSettings/identifiedType").toInt(), int(qsim::MotorFamily::OpticsFocus));

        m_prompter->dialogHandlers << [](QDialog* d) {
            auto* dlg = qobject_cast<LinearDriver*>(d);
            if (!dlg || !dlg->initialise(true) || !dlg->moveToPosition(25))
                return int(QDialog::Rejected);
            return int(QDialog::Accepted);
        };
        w->action("Move...")->trigger();
        QVERIFY(w->linearDriver()->isInitialised());
        QVERIFY2(w->alertList().isEmpty(), qPrintable(w->alertList().join('\n')));
        QCOMPARE(qsim::motorState(0).counter, 2500L);

        m_prompter->answers.clear();
        m_prompter->asked.clear();
        m_prompter->answers << QMessageBox::Yes;
        QVERIFY(w->close());
        QCOMPARE(m_prompter->asked.size(), 1);
        QCOMPARE(m_prompter->asked.first().title, QString("Closing down warning"));
        QCOMPARE(m_prompter->asked.first().text,
                 QString("Would you like to return linear drive to home position ?"));
        QCOMPARE(qsim::motorState(0).counter, 0L);
        w.reset();
    }

    // Abort (F9 during a run, the calibration dialog's Abort) and unchecking
    // Calibrate stop a moving drive too: the stage stands still well short of
    // its target and the family's stop went out on the line.
    void abortPathsStopTheDrive_data()
    {
        QTest::addColumn<qsim::MotorFamily>("family");
        QTest::addColumn<QString>("stopLine");
        QTest::addColumn<bool>("viaCalibrate");
        QTest::newRow("AppliedMotion, abortAll") << qsim::MotorFamily::AppliedMotion << "ST" << false;
        QTest::newRow("AppliedMotion, Calibrate unchecked") << qsim::MotorFamily::AppliedMotion << "ST" << true;
        QTest::newRow("OpticsFocus, abortAll") << qsim::MotorFamily::OpticsFocus << "S" << false;
        QTest::newRow("OpticsFocus, Calibrate unchecked") << qsim::MotorFamily::OpticsFocus << "S" << true;
    }
    void abortPathsStopTheDrive()
    {
        QFETCH(qsim::MotorFamily, family);
        QFETCH(QString, stopLine);
        QFETCH(bool, viaCalibrate);
        resetWorld(0, family);
        MainWin w;
        m_prompter->dialogHandlers << singleProbe();
        w.action("Connect")->trigger();
        QTRY_VERIFY(!w.driveSearchPending()); // the drive search that follows the connect
        QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
        LinearDriver* dlg = w.linearDriver();
        QVERIFY2(dlg->initialise(true), qPrintable(w.alertList().join('\n')));
        w.controller().setLinearDriveVelpercent(1);
        dlg->control().settings().velocityPercent = 1;
        qsim::clearMotorCommands(0);
        bool busyAtAbort = false;
        QTimer::singleShot(30, this, [&] {
            busyAtAbort = dlg->control().isBusy() && qsim::motorState(0).moving;
            if (viaCalibrate) {
                QAction* calibrate = w.action("Calibrate");
                calibrate->setChecked(true);
                calibrate->trigger(); // unchecks: the user's abort
            } else {
                w.abortAll();
            }
        });
        const double target = 90;
        QVERIFY(!dlg->moveToPosition(target));
        QVERIFY(busyAtAbort);
        QVERIFY(w.isAborted());
        QVERIFY(!dlg->control().isBusy());
        const qsim::MotorState s = qsim::motorState(0);
        QVERIFY(!s.moving);
        QVERIFY(std::fabs(w.controller().getLinearDrivePosition()) < 0.5 * std::fabs(target));
        // The stop is a line of its own: it never lands inside another command.
        const std::string stop = stopLine.toStdString();
        int stops = 0;
        for (const std::string& line : qsim::motorCommands(0)) {
            if (line == stop)
                ++stops;
            else
                QVERIFY2(line.find(stop) == std::string::npos || stop.size() == 1, line.c_str());
        }
        QVERIFY(stops >= 1);
    }

    // The configuration dialog's rail length bounds the position boxes of
    // every session's scan configuration panel once the Move dialog closes.
    void railLengthReachesThePanels()
    {
        MainWin w;
        m_prompter->dialogHandlers << singleProbe();
        w.action("Connect")->trigger();
        QTRY_VERIFY(!w.driveSearchPending()); // the drive search that follows the connect
        QMetaObject::invokeMethod(&w, "startNewSession");
        m_prompter->dialogHandlers << [this](QDialog* d) {
            auto* dlg = qobject_cast<LinearDriver*>(d);
            if (!dlg)
                return int(QDialog::Rejected);
            m_prompter->dialogHandlers << [](QDialog* c) {
                auto* cfg = qobject_cast<ALDconfig*>(c);
                if (!cfg)
                    return int(QDialog::Rejected);
                cfg->setValues(0.01, 175, 50, false, 10);
                return int(QDialog::Accepted);
            };
            dlg->configALD();
            return int(QDialog::Accepted);
        };
        w.action("Move...")->trigger();
        QCOMPARE(w.linearDriver()->railLength(), 175.0);
        QCOMPARE(w.sessions().size(), 2);
        for (PlotManager* pm : w.sessions()) {
            ConfigParamPanel* panel = w.configPanel(pm);
            QVERIFY(panel);
            QCOMPARE(panel->railLength(), 175.0);
            for (const char* name : {"spatStart", "spatStep", "spatEnd", "retractPosition"})
                QCOMPARE(panel->findChild<QDoubleSpinBox*>(QLatin1String(name))->maximum(), 175.0);
        }
        // A session opened later starts with the same bound.
        QMetaObject::invokeMethod(&w, "startNewSession");
        QCOMPARE(w.configPanel(w.currentSession())->railLength(), 175.0);
        for (PlotManager* pm : w.sessions())
            pm->setModified(false);
    }

    // Disconnect releases the drive: no question when it is at home.
    void disconnectReleases()
    {
        MainWin w;
        m_prompter->dialogHandlers << singleProbe();
        w.action("Connect")->trigger();
        QTRY_VERIFY(!w.driveSearchPending()); // the drive search that follows the connect
        QVERIFY(w.linearDriver()->initialise(true));
        m_prompter->asked.clear();
        w.action("Disconnect")->trigger();
        QVERIFY(!w.linearDriver()->isInitialised());
        QVERIFY(m_prompter->asked.isEmpty());
        QCOMPARE(w.linearDriver()->statusLabel()->text(), QString("Linear Drive is not connected"));
    }
};

QTEST_MAIN(TestLinearDriver)
#include "tst_lineardriver.moc"
