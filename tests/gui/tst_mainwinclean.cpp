// The Clean action of the main window against the simulated unit: a cleaning
// from the action and from the banner ends unchecked with the session's
// cleaning settings and nothing else taken into the working copy; unchecking
// aborts it without a box; a refused cleaning shows its box; during a run
// Clean is disabled and the automatic cleaning reads the run's working copy.
#include "AppLog.h"
#include "DataAnalyzer.h"
#include "DriverLog.h"
#include "MainWin.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "ProbeCleaner.h"
#include "ProbeModeSelector.h"
#include "ScriptedPrompter.h"
#include "SimControl.h"
#include "SimMeasurement.h"
#include "WorkerThread.h"
#include "topBanner.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

// Calls `act` on every tick (1 ms) while the window lives.
QTimer* everyTick(MainWin& w, std::function<void()> act)
{
    auto* t = new QTimer(&w);
    t->setInterval(1);
    QObject::connect(t, &QTimer::timeout, &w, act);
    t->start();
    return t;
}

QString logText()
{
    AppLog* log = AppLog::instance();
    QFile f(log ? log->fileName() : QString());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Not sweeping, at `idle` volts.
bool unitIdle(double idle)
{
    const qsim::FrontEndTruth t = qsim::trueFrontEnd(0);
    const double code = idle * t.dac[1] + t.dac[0];
    return (qsim::cnfgRegister(0, 0) & 1) == 0 && std::fabs(int16_t(qsim::cnfgRegister(0, 3)) - code) <= 2;
}
} // namespace

class TestMainWinClean : public QObject, MainWinFixture::Bench<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup() { tearDown(); }
    void cleanRunsAndUnchecks_data();
    void cleanRunsAndUnchecks();
    void uncheckingAborts();
    void refusedCleaningShowsItsBox();
    void disconnectDuringCleaningWaitsForIt();
    void runCleansAutomaticallyWithItsOwnWindow();
};

void TestMainWinClean::init()
{
    SingleProbeConfigParam cfg;
    cfg.dataScanRunScans = 1;
    cfg.dcCScanSweeps = 2;
    cfg.clean.duration = 1;
    cfg.clean.relaxTime = 1;
    cfg.clean.voltage = 80;
    reset(cfg);
}

void TestMainWinClean::cleanRunsAndUnchecks_data()
{
    QTest::addColumn<bool>("fromBanner");
    QTest::newRow("action") << false;
    QTest::newRow("banner") << true;
}

void TestMainWinClean::cleanRunsAndUnchecks()
{
    QFETCH(bool, fromBanner);
    MainWin w;
    w.show();
    connectUnit(w);
    PlotManager* pm = w.currentSession();
    ConfigParam& active = pm->activeConfig();
    active.clean.voltage = 70;
    active.voltageIdle = -3;
    active.sync.resolution = 123;
    active.dataScanRunParam.voltageStart = -44;
    // What an earlier run left in the working copy stays there.
    ConfigParam& work = pm->data()->configs().workingCopy();
    work.dataScanRunParam.voltageStart = -33;
    bool sawCleaning = false, cleanWasChecked = false, scanDisabled = true;
    everyTick(w, [&] {
        if (w.isCleaning() && w.appState() == AppState::eCleaning) {
            sawCleaning = true;
            cleanWasChecked = w.action("Clean")->isChecked() && w.banner()->cleanButton()->isChecked();
            scanDisabled = scanDisabled && !w.action("Scan")->isEnabled();
        }
    });
    if (fromBanner)
        w.banner()->cleanButton()->click();
    else
        w.action("Clean")->trigger();
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QVERIFY2(m_prompter->asked.isEmpty(), qPrintable(m_prompter->texts().join('\n')));
    QVERIFY(sawCleaning); // the window stayed live while it cleaned
    QVERIFY(cleanWasChecked);
    QVERIFY(scanDisabled);
    QVERIFY(!w.isCleaning());
    QVERIFY(!w.action("Clean")->isChecked());
    QVERIFY(!w.banner()->cleanButton()->isChecked());
    QVERIFY(w.action("Clean")->isEnabled());
    QCOMPARE(w.appState(), 0);
    QCOMPARE(work.clean.voltage, 70.0);
    QCOMPARE(work.voltageIdle, -3.0);
    QCOMPARE(work.sync.resolution, 123.0);
    QCOMPARE(work.dataScanRunParam.voltageStart, -33.0);
    const double target = ProbeCleaner::targetPower(pm->data()->analysisSettings().probeRadius,
                                                    pm->data()->analysisSettings().probeLength, active.clean.power);
    QVERIFY(!w.cleaner()->powerHistory().isEmpty());
    QVERIFY(std::fabs(w.cleaner()->powerHistory().last() - target) <= 0.05 * target);
    QVERIFY(unitIdle(-3.0));
    QVERIFY(logText().contains("Manually lunched probe tip cleaning process at "));
}

void TestMainWinClean::uncheckingAborts()
{
    MainWin w;
    connectUnit(w);
    w.currentSession()->activeConfig().clean.duration = 600;
    everyTick(w, [&] {
        if (w.isCleaning() && w.appState() == AppState::eCleaning && w.action("Clean")->isChecked())
            w.action("Clean")->trigger(); // unchecking is Abort
    });
    QElapsedTimer t;
    t.start();
    w.action("Clean")->trigger();
    QVERIFY(t.elapsed() < 30000);
    QVERIFY(w.isAborted());
    QCOMPARE(w.alertList().first(), QString("[ERROR] Clean Probe: Failed to read data from scan (Process aborted)."));
    QVERIFY2(m_prompter->asked.isEmpty(), qPrintable(m_prompter->texts().join('\n'))); // no box
    QVERIFY(logText().trimmed().endsWith("Cleaning process has been aborted"));
    QVERIFY(!w.action("Clean")->isChecked());
    QCOMPARE(w.appState(), 0);
    QVERIFY(w.worker()->isIdle());
    QVERIFY(unitIdle(w.currentSession()->activeConfig().voltageIdle));
}

void TestMainWinClean::refusedCleaningShowsItsBox()
{
    MainWin w;
    connectUnit(w);
    LangmuirSettings s = w.currentSession()->data()->analysisSettings();
    s.probeLength = 0;
    w.currentSession()->data()->setAnalysisSettings(s);
    const unsigned writes = qsim::callCount(qsim::Call::WriteCommand);
    w.action("Clean")->trigger();
    QCOMPARE(qsim::callCount(qsim::Call::WriteCommand), writes);
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY2(m_prompter->asked.first().text.startsWith("[ERROR] Clean Probe: Probe length and radius must be above 0"),
             qPrintable(m_prompter->asked.first().text));
    QVERIFY(!w.action("Clean")->isChecked());
    QVERIFY(!w.banner()->cleanButton()->isChecked());
    QCOMPARE(w.appState(), 0);
}

void TestMainWinClean::disconnectDuringCleaningWaitsForIt()
{
    MainWin w;
    connectUnit(w);
    w.currentSession()->activeConfig().clean.duration = 600;
    bool connectedAfterAbort = false, newRefused = false;
    everyTick(w, [&] {
        if (w.isCleaning() && w.appState() == AppState::eCleaning && w.action("Disconnect")
            && w.action("Disconnect")->isChecked()) {
            const int sessions = w.openSessionCount();
            w.action("&New")->trigger();
            newRefused = w.openSessionCount() == sessions;
            w.action("Disconnect")->trigger();
            connectedAfterAbort = w.controller().isConnected(); // the cleaning ends on a connected unit
        }
    });
    w.action("Clean")->trigger();
    QVERIFY(newRefused);
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().text, QString("Probe tip cleaning is running.\nAbort it first."));
    QVERIFY(connectedAfterAbort);
    QVERIFY(!w.isCleaning());
    QVERIFY(!w.controller().isConnected());
    QVERIFY(!qsim::moduleOpen(0));
    QVERIFY(!w.action("Clean")->isChecked());
}

void TestMainWinClean::runCleansAutomaticallyWithItsOwnWindow()
{
    MainWin w;
    connectUnit(w);
    PlotManager* pm = w.currentSession();
    ConfigParam& active = pm->activeConfig();
    active.clean.autoClean = true;
    active.clean.period = 1;
    active.clean.relaxTime = 1;
    active.clean.duration = 1;
    QList<int> states;
    // Seen at every change of the status text (each state change shows its
    // text at once), not on timer ticks: a data scan at speed 0 may give none.
    bool cleanDisabled = true, checkedInDataScan = false;
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged, &w, [&] {
        if (!w.isRunActive())
            return;
        if (states.isEmpty() || states.last() != w.appState())
            states << w.appState();
        if (w.appState() == AppState::eDataScan) {
            checkedInDataScan = true;
            cleanDisabled = cleanDisabled && !w.action("Clean")->isEnabled()
                            && !w.banner()->cleanButton()->isEnabled();
        }
    });
    w.action("Scan")->trigger();
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QVERIFY(checkedInDataScan && cleanDisabled);
    // Cleaned before the ion current (first check after start-up) and again
    // before the data scan, each followed by the relaxation wait.
    const int smart = states.indexOf(AppState::eSmartInitScan);
    const int firstClean = states.indexOf(AppState::eCleaning);
    const int secondClean = states.indexOf(AppState::eCleaning, smart);
    const int dataScan = states.indexOf(AppState::eDataScan);
    QVERIFY2(firstClean >= 0 && firstClean < states.indexOf(AppState::eReadingIonCurrent), qPrintable(QString::number(firstClean)));
    QVERIFY(states.indexOf(AppState::eRelaxation) > firstClean);
    QVERIFY(smart > 0 && secondClean > smart && dataScan > secondClean);
    QVERIFY(states.indexOf(AppState::eRelaxation, secondClean) < dataScan);
    // The data scan swept the window the smart scan chose, not the session's record.
    const ConfigParam& run = pm->data()->configs().workingCopy();
    QVERIFY(run.dataScanRunParam.voltageStart != active.dataScanRunParam.voltageStart);
    const ScanRecord* s = pm->data()->scan(0, 0);
    QVERIFY(s && s->accumulated.pointCount() > 2);
    QVERIFY(std::fabs(s->accumulated.meanVoltage(0) - run.dataScanRunParam.voltageStart)
            < std::fabs(run.dataScanRunParam.voltageStep) + 0.5);
    QVERIFY(unitIdle(active.voltageIdle));
}

QTEST_MAIN(TestMainWinClean)
#include "tst_mainwinclean.moc"
