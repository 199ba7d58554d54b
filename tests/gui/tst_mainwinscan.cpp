// The Scan action of the main window against the simulated unit: a run from
// the action and from the banner fills the live session with analysed scans;
// during a run, closing the live session, New, Open, Run Job and a second
// Scan are refused, Disconnect and closing the window abort the run first.
#include "DataAnalyzer.h"
#include "DriverLog.h"
#include "MainWin.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "QuitAfter.h"
#include "RecoveryOffer.h"
#include "ScanSequence.h"
#include "ScriptedPrompter.h"
#include "SessionJournal.h"
#include "SessionJournals.h"
#include "SimControl.h"
#include "topBanner.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using MainWinFixture::atState;

class TestMainWinScan : public QObject, MainWinFixture::Bench<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup() { tearDown(); }
    void scanFillsSession_data();
    void scanFillsSession();
    void newestScanShown_data();
    void newestScanShown();
    void refusalsDuringRun();
    void abortFromTheAction();
    void disconnectAbortsTheRunFirst();
    void closingTheWindowAbortsTheRunFirst();
    void journalFollowsTheSession_data();
    void journalFollowsTheSession();
    void journalFailureIsAnAlert();
    void recoveryOfferWaitsForTheRun();
};

void TestMainWinScan::init()
{
    // A short run: few data scans.
    SingleProbeConfigParam cfg;
    cfg.dataScanRunScans = 4;
    cfg.dcCScanSweeps = 2;
    reset(cfg);
}

void TestMainWinScan::scanFillsSession_data()
{
    QTest::addColumn<bool>("fromBanner");
    QTest::newRow("action") << false;
    QTest::newRow("banner") << true;
}

void TestMainWinScan::scanFillsSession()
{
    QFETCH(bool, fromBanner);
    MainWin w;
    w.show();
    connectUnit(w);
    PlotManager* pm = w.currentSession();
    if (fromBanner)
        w.banner()->scanButton()->click();
    else
        w.action("Scan")->trigger();
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QVERIFY(!w.isRunActive());
    QVERIFY(!w.action("Scan")->isChecked());
    QCOMPARE(w.appState(), 0);
    QCOMPARE(pm->data()->scanCount(), 1);
    const ScanRecord* s = pm->data()->scan(0, 0);
    QCOMPARE(s->accumulated.count(), 4);
    QVERIFY(std::isfinite(s->result.value(ResultRecord::eKTe)));
    QVERIFY(std::fabs(s->result.value(ResultRecord::eKTe) - 3.0) < 0.3);
    // The window analyses a run's records lazily: at the end they hold the
    // analysis of all kept sweeps, not of an earlier accumulation.
    const double shownKTe = s->result.value(ResultRecord::eKTe);
    pm->data()->analyseScan(0, 0);
    QCOMPARE(pm->data()->scan(0, 0)->result.value(ResultRecord::eKTe), shownKTe);
    QVERIFY(pm->isModified());
    QVERIFY(!pm->isRunActive());
    QVERIFY(!w.banner()->scanButton()->isEnabled()); // until its debounce timer
    QVERIFY(m_prompter->asked.isEmpty());
    QVERIFY((qsim::cnfgRegister(0, 0) & 1) == 0);
}

void TestMainWinScan::newestScanShown_data()
{
    QTest::addColumn<bool>("userMovesSlider");
    QTest::newRow("followed") << false;
    QTest::newRow("user moved the slider") << true;
}

void TestMainWinScan::newestScanShown()
{
    // Two time-averaged scans go into one frame; the second run shows its own
    // record unless the user moved the trace slider during it.
    QFETCH(bool, userMovesSlider);
    MainWinFixture::realPace();
    MainWin w;
    w.show();
    connectUnit(w);
    PlotManager* pm = w.currentSession();
    w.action("Scan")->trigger();
    QCOMPARE(pm->traceIndex(), 0);
    if (userMovesSlider)
        atState(w, 10, [pm] { pm->frameSlider()->triggerAction(QAbstractSlider::SliderToMinimum); });
    w.action("Scan")->trigger();
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QCOMPARE(pm->data()->scansOfGroup(0).size(), 2);
    QCOMPARE(pm->traceIndex(), userMovesSlider ? 0 : 1);
}

void TestMainWinScan::refusalsDuringRun()
{
    MainWinFixture::realPace();
    MainWin w;
    w.show();
    connectUnit(w);
    QPointer<PlotManager> pm = w.currentSession();
    bool done = false;
    atState(w, 10, [&] {
        const int sessions = w.openSessionCount();
        w.action("&New")->trigger();
        w.action("&Open...")->trigger();
        w.action("Run Job...")->trigger();
        QCOMPARE(w.openSessionCount(), sessions);
        QVERIFY(m_prompter->fileCaptions.isEmpty());
        w.mdiArea()->activeSubWindow()->close();
        QVERIFY(pm);
        QCOMPARE(w.openSessionCount(), sessions);
        // A second start while the run is active does nothing.
        QMetaObject::invokeMethod(&w, "actionScanSlot", Q_ARG(bool, true));
        QVERIFY(w.isRunActive());
        done = true;
    });
    w.action("Scan")->trigger();
    QVERIFY(done);
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QVERIFY2(m_prompter->asked.size() == 4, qPrintable(m_prompter->texts().join('\n'))); // New, Open, Run Job, closing
    for (const ScriptedPrompter::Asked& a : m_prompter->asked)
        QVERIFY2(a.text.startsWith("A measurement is running"), qPrintable(a.text));
    QVERIFY(pm);
    QCOMPARE(pm->data()->scanCount(), 1);
    QCOMPARE(pm->data()->scan(0, 0)->accumulated.count(), 4);
}

void TestMainWinScan::abortFromTheAction()
{
    MainWinFixture::realPace();
    MainWin w;
    connectUnit(w);
    atState(w, 10, [&] { w.action("Scan")->trigger(); }); // unchecking is Abort
    w.action("Scan")->trigger();
    QVERIFY(!w.isRunActive());
    QVERIFY(w.isAborted());
    QCOMPARE(w.alertList().first(), QString("[ERROR] Data Scan: Failed to read data from scan (Process aborted)."));
    QVERIFY2(m_prompter->asked.isEmpty(), qPrintable(m_prompter->texts().join('\n'))); // an aborted run shows no box
    QCOMPARE(w.appState(), 0);
    QVERIFY((qsim::cnfgRegister(0, 0) & 1) == 0);
    QVERIFY(w.worker()->isIdle());
}

void TestMainWinScan::disconnectAbortsTheRunFirst()
{
    MainWinFixture::realPace();
    MainWin w;
    connectUnit(w);
    bool connectedAfterAbort = false;
    atState(w, 10, [&] {
        w.action("Disconnect")->trigger();
        connectedAfterAbort = w.controller().isConnected(); // the run still ends on a connected unit
    });
    w.action("Scan")->trigger();
    QVERIFY(connectedAfterAbort);
    QVERIFY(!w.isRunActive());
    QVERIFY(!w.controller().isConnected());
    QVERIFY(!qsim::moduleOpen(0));
    QVERIFY(m_prompter->asked.isEmpty());
}

void TestMainWinScan::closingTheWindowAbortsTheRunFirst()
{
    MainWinFixture::realPace();
    auto* w = new MainWin;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<MainWin> guard = w;
    w->show();
    connectUnit(*w);
    m_prompter->fallback = QMessageBox::Discard; // the modified session is not saved
    atState(*w, 10, [w] { w->close(); });
    w->action("Scan")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 10000);
}

// A run's session is journalled until it is saved or discarded; a journal
// that a program left is offered at the next start and recovered, kept or
// deleted as the user answers. A timed end (--quit-after) closes without
// questions and leaves the journal, also of a recovered session.
void TestMainWinScan::journalFollowsTheSession_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("answer"); // to the offer at the next start
    QTest::addColumn<int>("offeredAfter");
    QTest::addColumn<bool>("quitRecovered"); // the recovered session ends by the timer
    QTest::newRow("saved") << "save" << 0 << 0 << false;
    QTest::newRow("discarded") << "discard" << 0 << 0 << false;
    QTest::newRow("left, recovered") << "leave" << int(QMessageBox::Yes) << 0 << false;
    QTest::newRow("left, kept") << "leave" << int(QMessageBox::No) << 1 << false;
    QTest::newRow("left, deleted") << "leave" << int(QMessageBox::Discard) << 0 << false;
    QTest::newRow("timed end, kept") << "quit" << int(QMessageBox::No) << 1 << false;
    QTest::newRow("timed end, recovered, timed end") << "quit" << int(QMessageBox::Yes) << 0 << true;
}

void TestMainWinScan::journalFollowsTheSession()
{
    QFETCH(QString, ending);
    QFETCH(int, answer);
    QFETCH(int, offeredAfter);
    QFETCH(bool, quitRecovered);
    const QString folder = QDir::current().filePath("recovery");
    QDir(folder).removeRecursively();
    const QString saved = m_dir.filePath("saved.ldf");
    QFile::remove(saved);
    {
        MainWin w;
        w.show();
        connectUnit(w);
        PlotManager* pm = w.currentSession();
        w.action("Scan")->trigger();
        const SessionJournal* j = w.journals()->journal(pm);
        QVERIFY(j);
        QCOMPARE(j->scans(), 1);
        QCOMPARE(SessionJournal::find(folder).size(), 0); // held by this program
        if (ending == "save") {
            m_prompter->saveNames << saved;
            QVERIFY(pm->saveSession());
        } else if (ending == "discard") {
            m_prompter->answers << QMessageBox::Discard;
            w.mdiArea()->activeSubWindow()->close();
            QCOMPARE(w.openSessionCount(), 0);
        } else if (ending == "quit") {
            QuitAfter::quit(w);
            Prompter::setInstance(m_prompter);
            QCOMPARE(w.openSessionCount(), 0); // closed without a question
        } // else the program ends without closing its sessions
    }
    const bool left_ = ending == "leave" || ending == "quit";
    const QList<SessionJournal::Found> left = SessionJournal::find(folder);
    QCOMPARE(left.size(), left_ ? 1 : 0);
    if (!left_)
        return;
    QCOMPARE(left.first().scans, 1);

    MainWin w;
    m_prompter->asked.clear();
    m_prompter->answers << QMessageBox::StandardButton(answer);
    QCOMPARE(RecoveryOffer::run(w), answer == QMessageBox::Yes ? 1 : 0);
    QCOMPARE(m_prompter->texts(),
             QStringList{QString("Recover the unsaved measurement of %1, 1 scans?")
                             .arg(left.first().written.toString("dd.MM.yyyy HH:mm:ss"))});
    QCOMPARE(SessionJournal::find(folder).size(), offeredAfter);
    QCOMPARE(QFile::exists(left.first().path), answer != QMessageBox::Discard);
    if (answer != QMessageBox::Yes)
        return;
    PlotManager* pm = w.currentSession();
    QVERIFY(pm->isModified());
    QVERIFY(pm->data()->fileName().isEmpty());
    QCOMPARE(pm->data()->scanCount(), 1);
    const ScanRecord* s = pm->data()->scan(0, 0);
    QCOMPARE(s->accumulated.count(), 4);
    QVERIFY(std::fabs(s->result.value(ResultRecord::eKTe) - 3.0) < 0.3);
    if (quitRecovered) {
        // Never saved: the timer's close keeps it for the next start.
        QuitAfter::quit(w);
        Prompter::setInstance(m_prompter);
        QVERIFY(QFile::exists(left.first().path));
        return;
    }
    // Saved where the user says: the journal goes.
    m_prompter->saveNames << saved;
    QVERIFY(pm->saveSession());
    QVERIFY(!QFile::exists(left.first().path));
}

// Measuring without the journal is shown, once, with the system's reason.
void TestMainWinScan::journalFailureIsAnAlert()
{
    QFile blocker(m_dir.filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    MainWin w;
    w.show();
    w.journals()->setFolder(blocker.fileName() + "/recovery");
    connectUnit(w);
    const QString expected = QString("[ERROR] Measurement Journal: The measurement journal cannot be written: "
                                     "Cannot make the folder %1/recovery: not a directory")
                                 .arg(blocker.fileName());
    for (int run = 0; run < 2; ++run) {
        m_prompter->asked.clear();
        w.action("Scan")->trigger();
        QCOMPARE(w.currentSession()->data()->scanCount(), run + 1); // the measurement goes on
        // The first run ends with the alert in its box; the second has none.
        QCOMPARE(w.alertList(), run == 0 ? QStringList{expected} : QStringList{});
        QCOMPARE(m_prompter->texts(), run == 0 ? QStringList{expected} : QStringList{});
    }
    w.currentSession()->setModified(false);
}

// The offer of a journal left behind never holds up a run: it comes once the
// window is idle.
void TestMainWinScan::recoveryOfferWaitsForTheRun()
{
    const QString folder = QDir::current().filePath("recovery");
    QDir(folder).removeRecursively();
    {
        MainWin w;
        w.show();
        connectUnit(w);
        w.action("Scan")->trigger();
    } // the program ends without saving: the journal stays
    QCOMPARE(SessionJournal::find(folder).size(), 1);
    MainWin w;
    w.show();
    connectUnit(w);
    m_prompter->asked.clear();
    m_prompter->answers << QMessageBox::No;
    RecoveryOffer::runWhenIdle(w);
    // What the window was doing at the moment the offer came, not a sample.
    bool busyWhenAsked = true;
    m_prompter->onMessage = [&] { busyWhenAsked = w.isRunActive() || w.appState() != 0; };
    w.action("Scan")->trigger(); // returns when the run has ended
    QCOMPARE(w.currentSession()->data()->scanCount(), 1);
    QTRY_COMPARE(m_prompter->asked.size(), 1);
    QVERIFY(!busyWhenAsked);
    m_prompter->onMessage = nullptr;
    QVERIFY(m_prompter->texts().first().startsWith("Recover the unsaved measurement of "));
    QCOMPARE(w.currentSession()->data()->scanCount(), 1);
    QDir(folder).removeRecursively();
}

QTEST_MAIN(TestMainWinScan)
#include "tst_mainwinscan.moc"
