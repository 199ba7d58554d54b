// The main window against the simulated controller unit: connect and
// disconnect, calibration, the SYNC indicator, sessions and closing down.
#include "AppState.h"
#include "ConfigParam.h"
#include "DataAnalyzer.h"
#include "SessionConfig.h"
#include "DriverLog.h"
#include "ImportCurves.h"
#include "MainWin.h"
#include "PlotData.h"
#include "ThreeTracePlotter.h"
#include "FrameNavigator.h"
#include "ViewControls.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "ScriptedPrompter.h"
#include "SessionFill.h"
#include "SessionMaker.h"
#include "SimControl.h"
#include "SimMeasurement.h"
#include "WorkerThread.h"
#include "topBanner.h"

#include <QAction>
#include <QCheckBox>
#include <QProgressDialog>
#include <QClipboard>
#include <QMdiSubWindow>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QScreen>
#include <QSemaphore>
#include <QtTest>
#include <cmath>

namespace {
qsim::Config simConfig(double speed = 0.0)
{
    qsim::Config c;
    c.speedFactor = speed;
    return c;
}

// An empty serial line that holds the first byte sent to it (and with it the
// simulator, so the whole unit) until the window thread opens the gate;
// `atFirstByte` runs on the window thread meanwhile.
class GatedLine : public qsim::SerialDevice
{
public:
    explicit GatedLine(QObject* receiver, std::function<void()> atFirstByte)
        : m_receiver(receiver), m_atFirstByte(std::move(atFirstByte))
    {
    }
    void write(const uint8_t*, size_t) override
    {
        if (m_held.exchange(true))
            return;
        QMetaObject::invokeMethod(m_receiver, m_atFirstByte, Qt::QueuedConnection);
        m_opened = m_gate.tryAcquire(1, 20000); // bounded: a test that never opens it fails, not hangs
    }
    bool read(double, uint8_t&) override { return false; }
    void open() { m_gate.release(); }
    bool opened() const { return m_opened; }

private:
    QObject* m_receiver;
    std::function<void()> m_atFirstByte;
    QSemaphore m_gate;
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_opened{false};
};
} // namespace

class TestMainWin : public QObject, MainWinFixture::Bench<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup() { tearDown(); }
    void startUpFrame();
    void connectAndDisconnect_data();
    void connectAndDisconnect();
    void connectWithoutModule();
    void connectModuleFails();
    void connectProbesOnTheJobThread();
    void connectDoesNotWaitForTheDriveSearch();
    void disconnectEndsTheDriveSearch();
    void closeWhileConnecting();
    void uncalibratedControllerIsCalibrated();
    void syncTexts_data();
    void syncTexts();
    void calibrationUncheckAbortsWithoutWarning();
    void calibrationWarningCancel();
    void closeDuringCalibrationEndsPromptly();
    void disconnectWhileJobRunsWaitsForIt();
    void closingLiveSessionDuringJob();
    void exportCommand();
    void importCurves();
    void sessionsOpenDropAndRefuse();
    void closePromptKeepsWindowOpen();
    void hardwareInfoAndHelp();
    void windowSettingsPersist();
    void firstWindowFitsALaptopScreen();
    void firstSessionReadsTheApplicationsStore();
    void sessionsStartFromTheProgramWideRecords();
    void logStartsWithTheProgram();
};

// The first start fits the screen; on a 1366 x 768 screen the session
// window shows its view controls and both navigation rows without scrolling.
void TestMainWin::firstWindowFitsALaptopScreen()
{
    // A first start: no window geometry in the program's store.
    QSettings(QString::fromLatin1(AppInfo::OrgName), QString::fromLatin1(AppInfo::AppName))
        .remove(QStringLiteral("mainsettings/geometry"));
    MainWin w;
    w.show();
    QMetaObject::invokeMethod(&w, "startNewSession");
    const QSize screen = w.screen()->availableGeometry().size();
    QVERIFY2(w.width() <= screen.width() && w.height() <= screen.height(),
             qPrintable(QString("%1 x %2").arg(w.width()).arg(w.height())));
    QVERIFY(w.minimumSizeHint().width() <= 1366 && w.minimumSizeHint().height() <= 728);
    w.resize(1366, 728);
    QCoreApplication::processEvents();
    PlotManager* pm = w.currentSession();
    QVERIFY(pm);
    const QList<QWidget*> parts{pm->findChild<ViewControls*>(), pm->groupNavigator(), pm->traceNavigator()};
    for (QWidget* part : parts) {
        QVERIFY(part && part->isVisible());
        QCOMPARE(part->visibleRegion().boundingRect(), part->rect());
    }
}

void TestMainWin::init()
{
    // The driver's own waits (settling, motor replies) take no real time here;
    // the unit's pace comes from its speed factor.
    setDriverDelayScale(0);
    qsim::reset(simConfig());
    QCoreApplication::setOrganizationName("QuendrixTest");
    QCoreApplication::setApplicationName("mainwin-test");
    QSettings().clear();
    installPrompter();
}

void TestMainWin::startUpFrame()
{
    MainWin w;
    QCOMPARE(w.windowTitle(), QString("Quendrix Langmuir"));
    QCOMPARE(QCoreApplication::applicationName(), QString("Quendrix Langmuir"));
    QStringList menus;
    for (QAction* a : w.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "VESK System", "&Help"}));
    QAction* calibrate = w.action("Calibrate");
    QVERIFY(calibrate && !calibrate->isVisible());
    QCOMPARE(w.action("Connect")->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(w.action("Connect")->shortcutContext(), Qt::ApplicationShortcut);
    QCOMPARE(w.action("Scan")->shortcut(), QKeySequence(Qt::Key_F9));
    QVERIFY(!w.action("Scan")->isEnabled());
    QVERIFY(!w.action("&Save")->isEnabled());
    QCOMPARE(w.connectionLabelText(), QString(" <font color=white>Not connected "));
    QCOMPARE(w.syncLabelText(), QString("<font color=white> Fsync - "));
    QCOMPARE(w.statusText(), QString("Idle"));
    QCOMPARE(w.openSessionCount(), 0);
    QVERIFY(w.minimumWidth() >= 730);
    QMetaObject::invokeMethod(&w, "setAdvMode");
    QVERIFY(w.isAdvanced() && calibrate->isVisible());
    QMetaObject::invokeMethod(&w, "setAdvMode");
    QVERIFY(!calibrate->isVisible());
}

void TestMainWin::connectAndDisconnect_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("hwMode");
    QTest::newRow("single without reference") << int(ProbeModeSelector::eWithoutDcRef)
                                              << " <font color=white>Connected SP" << 0;
    QTest::newRow("with reference") << int(ProbeModeSelector::eWithDcRef) << " <font color=white>Connected RP" << 1;
    QTest::newRow("double") << int(ProbeModeSelector::eDouble) << " <font color=white>Connected DP" << 3;
    QTest::newRow("mach") << int(ProbeModeSelector::eMach) << " <font color=white>Connected x" << 3;
}

void TestMainWin::connectAndDisconnect()
{
    QFETCH(int, choice);
    QFETCH(QString, label);
    QFETCH(int, hwMode);
    MainWin w;
    m_prompter->dialogHandlers << MainWinFixture::chooseSingle(ProbeModeSelector::Choice(choice));
    w.action("Connect")->trigger();
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QVERIFY(w.controller().isConnected());
    QVERIFY(qsim::moduleOpen(0));
    QCOMPARE(int(w.controller().getProbeMode()), hwMode);
    QCOMPARE(w.connectionLabelText(), label);
    QCOMPARE(w.action("Disconnect"), w.action("Disconnect")); // renamed action exists
    QVERIFY(w.action("Disconnect") && w.action("Disconnect")->isChecked());
    QCOMPARE(w.banner()->connectButton()->text(), QString("Disconnect"));
    QCOMPARE(w.openSessionCount(), 1);
    QCOMPARE(w.currentSession()->sessionTitle(), QString("Session 1"));
    QVERIFY(w.currentSession()->isLive());
    QCOMPARE(w.currentSession()->isReturnProbe(), choice == int(ProbeModeSelector::eWithDcRef));
    QVERIFY(w.action("Scan")->isEnabled() && w.banner()->newButtonWidget()->isEnabled());
    QCOMPARE(w.statusText(), QString("Idle"));

    w.action("Disconnect")->trigger();
    QVERIFY(!w.controller().isConnected());
    QVERIFY(!qsim::moduleOpen(0));
    QCOMPARE(w.connectionLabelText(), QString(" <font color=white>Not connected "));
    QVERIFY(w.action("Connect") && !w.action("Connect")->isChecked());
    QVERIFY(!w.currentSession()->isLive());
    QVERIFY(!w.action("Scan")->isEnabled());
}

void TestMainWin::connectWithoutModule()
{
    qsim::Config c = simConfig();
    c.modules.clear();
    qsim::reset(c);
    MainWin w;
    w.action("Connect")->trigger();
    QCOMPARE(w.alertList(), QStringList{"[ERROR] Connect Scanner: Device not found on USB bus."});
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().title, QString("Quendrix Langmuir"));
    QVERIFY(m_prompter->asked.first().text.startsWith("Unable to connect to the System."));
    QVERIFY(!w.action("Connect")->isChecked());
    QVERIFY(!w.banner()->connectButton()->isChecked());
    // The first session window was made before connecting and stays.
    QCOMPARE(w.openSessionCount(), 1);
    QCOMPARE(w.currentSession()->sessionTitle(), QString("Session 1"));
}

void TestMainWin::connectModuleFails()
{
    qsim::Config c = simConfig();
    c.modules[0].openable = false;
    qsim::reset(c);
    MainWin w;
    w.action("Connect")->trigger();
    QCOMPARE(w.alertList(), QStringList{"[ERROR] Connect Scanner: Failed to connect to VESK Device (retVal = 0"});
    QVERIFY(!w.action("Connect")->isChecked());
    QVERIFY(!w.controller().isConnected());
}

// Finding the unit runs on the job thread (the drive search after it): the
// window keeps processing events, shows the busy cursor and the status text,
// and offers nothing that would reach the unit until the connect has ended.
void TestMainWin::connectProbesOnTheJobThread()
{
    // The connect's own waits, about 320 ms of job: room for the window
    // thread to see it even on a machine busy with other work.
    setDriverDelayScale(2.0);
    MainWin w;
    m_prompter->dialogHandlers << MainWinFixture::chooseSingle(ProbeModeSelector::eWithoutDcRef);
    int ticksDuringConnect = 0;
    bool busyCursor = false, connectHeld = false, nothingOffered = false;
    QString status;
    QTimer tick;
    tick.setInterval(0);
    connect(&tick, &QTimer::timeout, this, [&] {
        if (w.worker()->job() != WorkerThread::JobConnect)
            return;
        if (++ticksDuringConnect > 1)
            return;
        busyCursor = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
        status = w.statusText();
        connectHeld = !w.action("Connect")->isEnabled() && !w.banner()->connectButton()->isEnabled();
        nothingOffered = !w.action("Scan")->isEnabled() && !w.action("Move...")->isEnabled()
                         && !w.action("Calibrate")->isEnabled() && !w.banner()->scanButton()->isEnabled();
    });
    tick.start();
    w.action("Connect")->trigger();
    tick.stop();
    QVERIFY(ticksDuringConnect > 0);
    QVERIFY(busyCursor);
    QCOMPARE(status, QString("Connecting VESK Device..."));
    QVERIFY(connectHeld);
    QVERIFY(nothingOffered);
    // And the connect itself is whole.
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QVERIFY(w.controller().isConnected() && w.controller().isCalibrated());
    QCOMPARE(w.connectionLabelText(), QString(" <font color=white>Connected SP"));
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(w.action("Disconnect") && w.action("Disconnect")->isEnabled() && w.action("Disconnect")->isChecked());
    QVERIFY(w.action("Scan")->isEnabled() && w.action("Move...")->isEnabled());
    QCOMPARE(w.statusText(), QString("Idle"));
    // The drive search that followed (no motor answers: its time-outs) ends too.
    QTRY_VERIFY_WITH_TIMEOUT(!w.driveSearchPending(), 30000);
    QVERIFY(w.worker()->isIdle());
}

// With no drive attached, the search for its family (seconds of serial
// time-outs) runs after the connect: the window is connected, idle and
// offers Scan while the search still holds the serial line; the module has
// no other user meanwhile (the window thread reaches the check while the
// line holds the unit).
void TestMainWin::connectDoesNotWaitForTheDriveSearch()
{
    MainWin w;
    bool seen = false, connected = false, scanOffered = false, searching = false;
    std::shared_ptr<GatedLine> line;
    line = std::make_shared<GatedLine>(&w, [&] {
        seen = true;
        connected = w.controller().isConnected() && w.currentSession() && w.currentSession()->isLive()
                    && w.action("Disconnect") && w.action("Disconnect")->isChecked();
        scanOffered = w.action("Scan")->isEnabled() && w.banner()->scanButton()->isEnabled();
        searching = w.worker()->job() == WorkerThread::JobDriveSearch && w.controllerBusy();
        line->open();
    });
    qsim::attachSerialDevice(0, 0, line);
    m_prompter->dialogHandlers << MainWinFixture::chooseSingle(ProbeModeSelector::eWithoutDcRef);
    w.action("Connect")->trigger();
    // Within the gate's bound: a window thread that waited for the unit would
    // reach the check only after the gate gave up.
    QTRY_VERIFY_WITH_TIMEOUT(seen, 15000);
    QTRY_VERIFY(line->opened());
    QVERIFY(connected);
    QVERIFY(scanOffered);
    QVERIFY(searching);
    QTRY_VERIFY(!w.driveSearchPending());
    QVERIFY(w.worker()->isIdle() && !w.controllerBusy());
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QCOMPARE(w.controller().getLinearDriveName(), QString("LinearDrive"));
    qsim::attachSerialDevice(0, 0, std::make_shared<qsim::SilentLine>());
}

// Disconnect while the drive search runs ends the search (the abort reaches
// the family being asked) and closes the module only after it.
void TestMainWin::disconnectEndsTheDriveSearch()
{
    setDriverDelayScale(0.05); // each family's time-outs take real time
    MainWin w;
    bool searching = false, idleAfter = false, closedAfter = false;
    std::shared_ptr<GatedLine> line;
    line = std::make_shared<GatedLine>(&w, [&] {
        searching = w.worker()->job() == WorkerThread::JobDriveSearch;
        line->open();
        w.action("Disconnect")->trigger();
        idleAfter = w.worker()->isIdle();
        closedAfter = !w.controller().isConnected() && !qsim::moduleOpen(0);
    });
    qsim::attachSerialDevice(0, 0, line);
    m_prompter->dialogHandlers << MainWinFixture::chooseSingle(ProbeModeSelector::eWithoutDcRef);
    w.action("Connect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(line->opened(), 15000);
    QVERIFY(searching);
    QVERIFY(idleAfter);
    QVERIFY(closedAfter);
    QVERIFY(!w.action("Connect")->isChecked());
    qsim::attachSerialDevice(0, 0, std::make_shared<qsim::SilentLine>());
}

// Closing the window while the connect runs waits for it and ends cleanly.
void TestMainWin::closeWhileConnecting()
{
    // The connect's own waits, about 320 ms of job: room for the window
    // thread to see it even on a machine busy with other work.
    setDriverDelayScale(2.0);
    auto w = std::make_unique<MainWin>();
    bool closed = false;
    QTimer tick;
    tick.setInterval(0);
    connect(&tick, &QTimer::timeout, this, [&] {
        if (!closed && w->worker()->job() == WorkerThread::JobConnect)
            closed = w->close();
    });
    tick.start();
    w->action("Connect")->trigger();
    tick.stop();
    QVERIFY(closed);
    QVERIFY(!w->isVisible());
    QVERIFY(w->worker()->isIdle());
    QVERIFY(!w->action("Connect")->isChecked());
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(m_prompter->asked.isEmpty()); // no probe-mode dialog, no box
    w.reset();
    QVERIFY(!qsim::moduleOpen(0)); // the controller went with the window
}

void TestMainWin::uncalibratedControllerIsCalibrated()
{
    // A unit whose memory holds no valid image is refused at connect by the
    // library; calibration then runs through the Calibrate action.
    qsim::Config c = simConfig();
    c.modules[0].image = qsim::CalImage::Blank;
    qsim::reset(c);
    {
        MainWin w;
        w.action("Connect")->trigger();
        QVERIFY(!w.controller().isConnected());
        QVERIFY(!w.alertList().isEmpty());
    }
    qsim::reset(simConfig());
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QVERIFY(w.controller().isConnected());
    const int foldersBefore = QDir().entryList({"calibration *"}, QDir::Dirs).size();
    QMetaObject::invokeMethod(&w, "setAdvMode");
    m_prompter->asked.clear();
    m_prompter->answers << QMessageBox::Ok;
    w.action("Calibrate")->trigger();
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QCOMPARE(m_prompter->asked.size(), 1); // the warning only: success raises no box
    QVERIFY(w.controller().isCalibrated());
    QVERIFY(!w.isAborted());
    QVERIFY(w.worker()->isIdle());
    QVERIFY(!w.action("Calibrate")->isChecked());
    // The library's calibration report folder was written by the job.
    QCOMPARE(QDir().entryList({"calibration *"}, QDir::Dirs).size(), foldersBefore + 1);
}

void TestMainWin::syncTexts_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 kHz") << true << 1000.0 << "<font color=white> Fsync 1.000 kHz ";
    QTest::newRow("50 Hz") << true << 50.0 << "<font color=white> Fsync 50.000  Hz ";
    QTest::newRow("too high") << true << 500000.0 << "<font color=white> Fsync    TOO HIGH ";
    QTest::newRow("absent") << false << 1000.0 << " <font color=white> Fsync    TOO LOW ";
}

void TestMainWin::syncTexts()
{
    QFETCH(bool, present);
    QFETCH(double, hz);
    QFETCH(QString, text);
    qsim::MeasurementConfig m = qsim::measurementConfig();
    m.sync.present = present;
    m.sync.frequencyHz = hz;
    m.sync.stability = 0;
    qsim::setMeasurementConfig(m);
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QVERIFY(w.controller().isConnected());
    QMetaObject::invokeMethod(&w, "resynchronizeFreq");
    qsim::advanceSimTime(1.0);
    QString shown;
    for (int i = 0; i < 6 && shown != text; ++i) {
        QMetaObject::invokeMethod(&w, "updateSyncFreq");
        shown = w.syncLabelText();
        if (shown != text) {
            qsim::advanceSimTime(1.0);
            QTest::qWait(20);
        }
    }
    QCOMPARE(shown, text);
}

void TestMainWin::calibrationUncheckAbortsWithoutWarning()
{
    qsim::reset(simConfig(1.0)); // real pace: the calibration lasts long enough to be aborted
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QVERIFY(w.controller().isConnected());
    QMetaObject::invokeMethod(&w, "setAdvMode");
    m_prompter->asked.clear();
    m_prompter->answers << QMessageBox::Ok; // the start warning
    bool sawBusy = false;
    QTimer::singleShot(300, &w, [&] {
        sawBusy = !w.worker()->isIdle();
        auto* progress = w.findChild<QProgressDialog*>();
        QVERIFY(progress);
        QCOMPARE(progress->labelText(), QString("Calibration in progress."));
        QCOMPARE(progress->maximum(), 10);
        QCOMPARE(w.statusText(), QString("Calibrating VESK Device..."));
        w.action("Calibrate")->trigger(); // unchecks: the user's abort
    });
    QElapsedTimer clock;
    clock.start();
    w.action("Calibrate")->trigger();
    QVERIFY(sawBusy);
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(m_prompter->asked.size(), 1); // only the start warning, no box at the end
    QCOMPARE(m_prompter->asked.first().title, QString("Warning"));
    QVERIFY(w.isAborted());
    QCOMPARE(w.alertList(),
             QStringList{"[ERROR] Calibrate Scanner: Failed to calibrate VESK Device (Process aborted)."});
    QVERIFY(!w.action("Calibrate")->isChecked());
    QVERIFY(w.worker()->isIdle());
    QCOMPARE(w.statusText(), QString("Idle"));
}

void TestMainWin::calibrationWarningCancel()
{
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QMetaObject::invokeMethod(&w, "setAdvMode");
    m_prompter->answers << QMessageBox::Cancel;
    const unsigned writes = qsim::callCount(qsim::Call::WriteCommand);
    w.action("Calibrate")->trigger();
    QVERIFY(!w.action("Calibrate")->isChecked());
    QCOMPARE(qsim::callCount(qsim::Call::WriteCommand), writes);
    QVERIFY(w.alertList().isEmpty());
}

void TestMainWin::closeDuringCalibrationEndsPromptly()
{
    qsim::reset(simConfig(1.0));
    auto* w = new MainWin;
    w->show();
    connectUnit(*w, ProbeModeSelector::eWithDcRef);
    QMetaObject::invokeMethod(w, "setAdvMode");
    m_prompter->answers << QMessageBox::Ok;
    QElapsedTimer clock;
    bool closed = false;
    QTimer::singleShot(300, w, [&] {
        QVERIFY(!w->worker()->isIdle());
        clock.start();
        closed = w->close();
    });
    w->action("Calibrate")->trigger();
    QVERIFY(closed);
    QVERIFY(w->worker()->isIdle());
    delete w;
    QVERIFY2(clock.elapsed() < 5000, "closing during a calibration must end promptly");
}

void TestMainWin::disconnectWhileJobRunsWaitsForIt()
{
    qsim::reset(simConfig(1.0));
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QMetaObject::invokeMethod(&w, "setAdvMode");
    m_prompter->answers << QMessageBox::Ok;
    bool done = false;
    QTimer::singleShot(300, &w, [&] {
        QVERIFY(!w.worker()->isIdle());
        w.action("Disconnect")->trigger(); // F5 during a calibration
        // The job was aborted and has ended before the module was closed.
        QVERIFY(w.worker()->isIdle());
        QVERIFY(!w.controller().isConnected());
        done = true;
    });
    w.action("Calibrate")->trigger();
    QVERIFY(done);
    QVERIFY(!qsim::moduleOpen(0));
}

void TestMainWin::closingLiveSessionDuringJob()
{
    qsim::reset(simConfig(1.0));
    MainWin w;
    w.show();
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QMetaObject::invokeMethod(&w, "setAdvMode");
    m_prompter->answers << QMessageBox::Ok;
    bool done = false;
    QTimer::singleShot(300, &w, [&] {
        QVERIFY(!w.worker()->isIdle());
        QPointer<PlotManager> live = w.currentSession();
        w.mdiArea()->activeSubWindow()->close(); // untouched session: no question
        QVERIFY(w.worker()->isIdle());           // the job ended before the session went
        QVERIFY(!w.controller().isConnected());
        QCOMPARE(w.openSessionCount(), 0);
        QVERIFY(!w.sessions().contains(live.data()));
        done = true;
    });
    w.action("Calibrate")->trigger();
    QVERIFY(done);
    QCOMPARE(w.connectionLabelText(), QString(" <font color=white>Not connected "));
}

void TestMainWin::exportCommand()
{
    MainWin w;
    w.show();
    QMetaObject::invokeMethod(&w, "startNewSession");
    PlotManager* pm = w.currentSession();
    fillSession(*pm, 2, 40);
    QMetaObject::invokeMethod(&w, "sessionChange", Q_ARG(QMdiSubWindow*, w.mdiArea()->activeSubWindow()));
    QVERIFY(w.action("Spread Sheet (*.csv)...")->isEnabled());
    // Options accepted with results on; first a file that cannot be opened,
    // which adds an alert and asks again, then a good one.
    m_prompter->dialogHandlers << [](QDialog* d) {
        for (QCheckBox* b : d->findChildren<QCheckBox*>())
            if (b->text() == "Result Parameters")
                b->setChecked(true);
        d->accept();
        return int(QDialog::Accepted);
    };
    const QString good = m_dir.filePath("export.csv");
    m_prompter->saveNames << m_dir.filePath("missing/folder/x.csv") << m_dir.filePath("export"); // suffix added
    w.action("Spread Sheet (*.csv)...")->trigger();
    QCOMPARE(m_prompter->fileCaptions, (QStringList{"Export File", "Export File"}));
    QCOMPARE(w.alertList().size(), 1);
    QVERIFY(w.alertList().first().startsWith("[ERROR] Export Data: Failed to open file '"));
    QFile f(good);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY(text.startsWith("Header:\n"));
    QVERIFY(text.contains("Results:\n"));
    QVERIFY(text.contains("IV Data:\n"));
    // Copy puts the displayed curves on the clipboard, tab-separated.
    w.action("&Copy")->trigger();
    const QString clip = QApplication::clipboard()->text();
    QVERIFY(clip.startsWith("Voltage (V)\tCurrent (A)\n"));
    QVERIFY(clip.contains("Voltage (V)\tCurrent Derivative(A/V)\t\n"));
    QCOMPARE(clip.split('\n').at(1).split('\t').size(), 2);
    // With the results grid in focus, Copy takes the results with their units.
    auto* grid = pm->findChild<QWidget*>("resultsGrid");
    QVERIFY(grid);
    QApplication::setActiveWindow(&w);
    grid->setFocus();
    QTRY_VERIFY(pm->resultsHaveFocus());
    w.action("&Copy")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), pm->resultsText());
    QVERIFY(pm->resultsText().startsWith("Quantity\tValue\tError (%)\nVp\t"));
    // Cancelled options: no file dialog.
    m_prompter->fileCaptions.clear();
    w.action("Spread Sheet (*.csv)...")->trigger();
    QVERIFY(m_prompter->fileCaptions.isEmpty());
    // HDF5: a folder that cannot be written adds an alert and asks again; then the file.
    QVERIFY(w.action("HDF5 (*.h5)...")->isEnabled());
    const QString h5 = m_dir.filePath("export.h5");
    m_prompter->saveNames << m_dir.filePath("missing/folder/x.h5") << h5;
    const int alerts = w.alertList().size();
    w.action("HDF5 (*.h5)...")->trigger();
    QCOMPARE(m_prompter->fileCaptions, (QStringList{"Export File", "Export File"}));
    QCOMPARE(w.alertList().size(), alerts + 1);
    QVERIFY(w.alertList().last().startsWith("[ERROR] Export Data: Failed to write file '"));
    QFile hf(h5);
    QVERIFY(hf.open(QIODevice::ReadOnly));
    QCOMPARE(hf.read(8), QByteArray("\x89HDF\r\n\x1a\n", 8));
}

// IV text files become one new session, one analysed scan per file, that saves
// as a session file; a file that cannot be read adds nothing and says why.
void TestMainWin::importCurves()
{
    MainWin w;
    w.show();
    QFile example(LP_EXAMPLE_IV);
    QVERIFY(example.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = example.readAll().split('\n');
    const QString sorted = m_dir.filePath("sorted.csv"), swapped = m_dir.filePath("swapped.csv");
    auto writeFile = [](const QString& name, const QByteArray& text) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    writeFile(sorted, lines.join('\n'));
    lines.swapItemsAt(13, 14); // samples 11 and 12 (after the two comments and the header)
    writeFile(swapped, lines.join('\n'));
    auto accept = [](QDialog* d) {
        if (!qobject_cast<ImportCurvesDialog*>(d))
            return int(QDialog::Rejected);
        d->accept();
        return int(QDialog::Accepted);
    };
    m_prompter->openNameLists << QStringList{sorted, swapped};
    m_prompter->dialogHandlers << accept;
    w.action("Import Curves...")->trigger();
    QCOMPARE(w.openSessionCount(), 1);
    PlotManager* pm = w.currentSession();
    QCOMPARE(pm->data()->groupCount(), 1);
    QCOMPARE(pm->data()->scansOfGroup(0).size(), 2);
    const double kTe = pm->data()->scan(0, 0)->result.value(ResultRecord::eKTe);
    QVERIFY2(std::fabs(kTe - 3.0) < 0.5, qPrintable(QString::number(kTe)));
    // Unsorted and not sorted: analysed as it is, as lpanalyse does.
    QCOMPARE(pm->data()->scan(0, 1)->error, QString("IV scan data must have ascending voltages."));
    QVERIFY(pm->isModified());
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().text,
             swapped + QStringLiteral(": the voltage falls at sample 12; --sort sorts the samples"));
    QVERIFY(w.action("&Save")->isEnabled());
    m_prompter->saveNames << m_dir.filePath("imported");
    w.action("&Save")->trigger();
    PlotManager back;
    QVERIFY(back.load(m_dir.filePath("imported.ldf")));
    QCOMPARE(back.data()->scanCount(), 2);

    // Each trace is named by its file.
    QCOMPARE(pm->data()->scan(0, 0)->sourceName, QString("sorted.csv"));
    QCOMPARE(PlotData::traceName(*pm->data(), 0, 1), QString("swapped.csv"));
    QCOMPARE(pm->plot(0)->titleText(), QString("Probe Current vs Probe Voltage: sorted.csv"));

    // A file the reader refuses: the others are imported, and one box lists it with its reason.
    const QString bad = m_dir.filePath("bad.csv"), missing = m_dir.filePath("missing.csv");
    writeFile(bad, "voltage;current\n1;x\n");
    m_prompter->asked.clear();
    m_prompter->openNameLists << QStringList{bad, sorted, missing};
    m_prompter->dialogHandlers << accept;
    w.action("Import Curves...")->trigger();
    QCOMPARE(w.openSessionCount(), 2);
    QCOMPARE(w.currentSession()->data()->scanCount(), 1);
    QCOMPARE(w.currentSession()->data()->scan(0, 0)->sourceName, QString("sorted.csv"));
    QCOMPARE(m_prompter->asked.size(), 1);
    const QStringList listed = m_prompter->asked.first().text.split('\n');
    QCOMPARE(listed.size(), 3);
    QCOMPARE(listed[0], QString("Not imported:"));
    QVERIFY2(listed[1].startsWith(bad + ":2: "), qPrintable(listed[1]));
    QVERIFY2(listed[2].startsWith(missing + ": cannot open: "), qPrintable(listed[2]));
    // Nothing readable: no new session, the reasons in a box.
    m_prompter->asked.clear();
    m_prompter->openNameLists << QStringList{bad};
    m_prompter->dialogHandlers << accept;
    w.action("Import Curves...")->trigger();
    QCOMPARE(w.openSessionCount(), 2);
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY(m_prompter->asked.first().text.startsWith("No curve could be imported:\n" + bad + ":2: "));

    // The README's noisy sweep: the plain analysis stops, the noise-robust mode of the dialog finds it.
    for (bool robust : {false, true}) {
        m_prompter->openNameLists << QStringList{QString(LP_EXAMPLE_NOISY)};
        m_prompter->dialogHandlers << [robust](QDialog* d) {
            auto* dlg = qobject_cast<ImportCurvesDialog*>(d);
            if (!dlg)
                return int(QDialog::Rejected);
            if (robust)
                QTest::mouseClick(dlg->robustBox(), Qt::LeftButton, {}, QPoint(5, dlg->robustBox()->height() / 2));
            dlg->accept();
            return int(QDialog::Accepted);
        };
        w.action("Import Curves...")->trigger();
        const ScanRecord* noisy = w.currentSession()->data()->scan(0, 0);
        QCOMPARE(w.currentSession()->data()->analysisSettings().noiseRobust, robust);
        if (robust) {
            QVERIFY2(!noisy->error.contains("Unable to find Vp."), qPrintable(noisy->error));
            const double kTe = noisy->result.value(ResultRecord::eKTe);
            QVERIFY2(std::fabs(kTe - 3.0) < 1.0, qPrintable(QString::number(kTe)));
        } else {
            QVERIFY2(noisy->error.contains("Unable to find Vp."), qPrintable(noisy->error));
        }
    }
    for (PlotManager* s : w.sessions())
        s->setModified(false);
}

void TestMainWin::sessionsOpenDropAndRefuse()
{
    MainWin w;
    // A session to open: synthetic data saved through a session window.
    QMetaObject::invokeMethod(&w, "startNewSession");
    PlotManager* pm = w.currentSession();
    fillSession(*pm, 3, 80);
    const QString file = m_dir.filePath("drop.ldf");
    QVERIFY(pm->save(file));
    QCOMPARE(pm->sessionTitle(), QString("drop.ldf"));

    // Open through the file dialog.
    m_prompter->openNames << file;
    w.action("&Open...")->trigger();
    QCOMPARE(w.openSessionCount(), 2);
    QCOMPARE(w.currentSession()->data()->scanCount(), 3);
    QCOMPARE(w.openFileName(), m_dir.path());
    QVERIFY(w.action("&Save")->isEnabled());

    // Dialog cancelled: the new window goes again.
    w.action("&Open...")->trigger();
    QCOMPARE(w.openSessionCount(), 2);

    // A refused file (wrong sensor) closes its window after one box that says why.
    const QString bad = m_dir.filePath("bad.ldf");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<?xml version=\"1.0\"?><measuredData sensor=\"Langmuir probe\" version=\"3\"/>");
    f.close();
    m_prompter->asked.clear();
    QVERIFY(!w.openSessionFile(bad));
    QCOMPARE(w.openSessionCount(), 2);
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().text,
             QStringLiteral("Cannot read file [%1]\nThe file is not a session file.\n").arg(bad));

    // Connecting binds a new, empty session: the opened file's data and
    // configuration are not mixed with new measurements.
    PlotManager* fromFile = w.currentSession();
    const double vStart = fromFile->data()->configuration().dataScanRunParam.voltageStart;
    m_prompter->dialogHandlers << MainWinFixture::chooseSingle(ProbeModeSelector::eDouble);
    w.action("Connect")->trigger();
    QVERIFY(w.controller().isConnected());
    QVERIFY(w.currentSession() != fromFile);
    QVERIFY(w.currentSession()->isLive() && !fromFile->isLive());
    QCOMPARE(w.currentSession()->data()->scanCount(), 0);
    QCOMPARE(fromFile->data()->configuration().dataScanRunParam.voltageStart, vStart);
    QCOMPARE(fromFile->data()->configuration().probeMode, 0);
    QCOMPARE(w.openSessionCount(), 3);
    w.action("Disconnect")->trigger();
    QCOMPARE(w.openSessionCount(), 3);
    QMdiSubWindow* liveSub = w.mdiArea()->activeSubWindow();
    liveSub->close();
    QCOMPARE(w.openSessionCount(), 2);

    // Drag and drop: one local .ldf file is opened; two files are ignored.
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &one, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &one, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    QCOMPARE(w.openSessionCount(), 3);
    QCOMPARE(w.currentSession()->sessionTitle(), QString("drop.ldf"));
    QMimeData two;
    two.setUrls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(file)});
    QDragEnterEvent enter2(QPoint(10, 10), Qt::CopyAction, &two, Qt::LeftButton, Qt::NoModifier);
    enter2.setAccepted(false);
    QApplication::sendEvent(&w, &enter2);
    QVERIFY(!enter2.isAccepted());
    QDropEvent drop2(QPointF(10, 10), Qt::CopyAction, &two, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop2);
    QCOMPARE(w.openSessionCount(), 3);
}

void TestMainWin::closePromptKeepsWindowOpen()
{
    MainWin w;
    w.show();
    QMetaObject::invokeMethod(&w, "startNewSession");
    QMetaObject::invokeMethod(&w, "startNewSession");
    QCOMPARE(w.openSessionCount(), 2);
    w.sessions().first()->setModified(true);
    // Cancel in the prompt of the modified session keeps everything open.
    m_prompter->answers << QMessageBox::Cancel;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(w.openSessionCount() >= 1);
    // Save chosen but the save dialog cancelled: still open.
    m_prompter->answers << QMessageBox::Save;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    // Discard lets everything close.
    m_prompter->answers << QMessageBox::Discard;
    QVERIFY(w.close());
    QCOMPARE(w.openSessionCount(), 0);
}

void TestMainWin::hardwareInfoAndHelp()
{
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    m_prompter->dialogHandlers << [](QDialog*) { return int(QDialog::Accepted); };
    QMetaObject::invokeMethod(&w, "veskInfo");
    QVERIFY(w.lastHardwareInfo().startsWith(
        "\n--------------------------------  QUENDRIX LANGMUIR SOFTWARE  --------------------------------\n\n"
        "SOFTWARE VERSION:\t2.7.0\n"));
    QVERIFY(!w.lastHardwareInfo().contains("SOFTWARE DESCRIPTION"));
    QVERIFY(w.lastHardwareInfo().contains("VB2-000417")); // the module's serial
    // Help: the working folder lacks the guide, the program's folder has it.
    m_prompter->asked.clear();
    QMetaObject::invokeMethod(&w, "help");
    QVERIFY(m_prompter->asked.isEmpty());
    QCOMPARE(m_prompter->openedUrls.size(), 1);
    const QFileInfo guide(m_prompter->openedUrls.first().toLocalFile());
    QCOMPARE(guide.absoluteFilePath(),
             QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("Installation and User Guide.pdf"));
    // Rendered with a page per chapter at least.
    QFile pdf(guide.absoluteFilePath());
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    const int pages = bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ")
                      + bytes.count("/Type /Page/");
    int chapters = 0;
    for (const QFileInfo& md : QDir(LP_GUIDE_DIR).entryInfoList({"[0-9][0-9]-*.md"}, QDir::Files)) {
        QFile f(md.absoluteFilePath());
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        for (const QByteArray& line : f.readAll().split('\n'))
            chapters += line.startsWith("# ") ? 1 : 0;
    }
    QVERIFY(chapters >= 1);
    QVERIFY2(pages >= chapters, qPrintable(QString("%1 pages, %2 chapters").arg(pages).arg(chapters)));
    // The desktop refusing to open it is an alert too.
    m_prompter->openUrlResult = false;
    QMetaObject::invokeMethod(&w, "help");
    QCOMPARE(w.alertList().last(), QString("[ERROR] Help: Failed to open 'Installation and User Guide.pdf' file."));
    // ... and a box says where the guide is.
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY(m_prompter->asked.first().text.endsWith(QDir::toNativeSeparators(guide.absoluteFilePath())));
    QMetaObject::invokeMethod(&w, "updateSyncFreq");
    QVERIFY(w.alertButton()->isVisibleTo(&w));
}

void TestMainWin::windowSettingsPersist()
{
    {
        MainWin w;
        w.resize(900, 640);
        w.show();
        QMetaObject::invokeMethod(&w, "startNewSession");
        SessionMaker::Options o;
        o.scansPerGroup = 1;
        o.points = 40;
        SessionMaker::fill(*w.currentSession()->data(), o);
        QCOMPARE(w.windowTitle(), QString("Session 1[*] - Quendrix Langmuir"));
        m_prompter->saveNames << m_dir.filePath("persist");
        QMetaObject::invokeMethod(&w, "saveAsSession");
        QCOMPARE(w.dialogPath(), m_dir.path());
        QVERIFY(QFileInfo::exists(m_dir.filePath("persist.ldf")));
        QCOMPARE(w.statusText(), QString("Saved %1").arg(QDir::toNativeSeparators(m_dir.filePath("persist.ldf"))));
        QCOMPARE(w.windowTitle(), QString("persist.ldf[*] - Quendrix Langmuir"));
        QVERIFY(!w.isWindowModified());
        w.currentSession()->setModified(true);
        QVERIFY(w.isWindowModified());
    }
    QSettings s;
    QCOMPARE(s.value("mainsettings/dialogPath").toString(), m_dir.path());
    QVERIFY(!s.value("mainsettings/geometry").toByteArray().isEmpty());
    MainWin again;
    QCOMPARE(again.dialogPath(), m_dir.path());
    QCOMPARE(again.size(), QSize(900, 640));
}

void TestMainWin::firstSessionReadsTheApplicationsStore()
{
    {
        QSettings store("Quendrix", "Quendrix Langmuir");
        store.setValue("Settings/ion_mass", 4.0);
    }
    QCoreApplication::setApplicationName("VESK"); // the name start-up uses
    MainWin w;
    QCOMPARE(w.currentSession()->singleSettings().ionMass, 4.0);
    QSettings("Quendrix", "Quendrix Langmuir").remove("Settings");
}

void TestMainWin::sessionsStartFromTheProgramWideRecords()
{
    QSettings store("Quendrix", "Quendrix Langmuir");
    store.remove("ConfigParam");
    store.remove("DoubleProbeConfigParam");
    store.setValue("ConfigParam/dataScanRunScans", 17);
    store.setValue("DoubleProbeConfigParam/voltageIdle", 12.5);
    store.sync();
    {
        MainWin w;
        QCOMPARE(w.currentSession()->activeConfig().dataScanRunScans, 17u);
        QCOMPARE(w.currentSession()->configs().doubleProbe().voltageIdle, 12.5);
        QMetaObject::invokeMethod(&w, "startNewSession");
        PlotManager* first = w.currentSession();
        first->activeConfig().dataScanRunScans = 23;
        QMetaObject::invokeMethod(&w, "startNewSession");
        PlotManager* second = w.currentSession();
        QVERIFY(second != first);
        QCOMPARE(second->activeConfig().dataScanRunScans, 17u); // a copy, not the other session's
        second->activeConfig().dataScanRunScans = 31;
        emit first->close(first);
        QMetaObject::invokeMethod(&w, "startNewSession");
        PlotManager* third = w.currentSession();
        QCOMPARE(third->activeConfig().dataScanRunScans, 23u); // what the closed one left
        emit third->close(third);
        emit second->close(second);
        QCOMPARE(w.openSessionCount(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    store.sync();
    // The last session closed is what the next start reads.
    QCOMPARE(store.value("ConfigParam/dataScanRunScans").toUInt(), 31u);
    QCOMPARE(store.value("DoubleProbeConfigParam/voltageIdle").toDouble(), 12.5);
    store.remove("ConfigParam");
    store.remove("DoubleProbeConfigParam");
}

void TestMainWin::logStartsWithTheProgram()
{
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    {
        MainWin w; // nothing logged yet: the banner alone
        const QStringList logs = QDir(folder.path()).entryList({"vesk_*.log"}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QFile f(folder.filePath(logs.first()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromLocal8Bit(f.readAll());
        QCOMPARE(text.count("Logged by VESK Logger"), 1);
        QVERIFY(text.contains("\tSoftware Version: 2.7.0\n"));
    }
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestMainWin)
#include "tst_mainwin.moc"
