// Run Job in the main window against the simulated unit: a job measures
// time-averaged and time-resolved scans into the live session and saves a
// copy; a refused job shows its errors and runs nothing; Abort stops the
// lines and leaves the window with Close; while a job is open Run Job,
// Disconnect, New, Open and the data server's POST are refused.
#include "ConfigParam.h"
#include "DataAnalyzer.h"
#include "DataServer.h"
#include "MainWin.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "ScriptDialog.h"
#include "ScriptedPrompter.h"
#include "SessionFile.h"
#include "SimControl.h"
#include "topBanner.h"
#include "DriverLog.h"
#include "JobConsole.h"

#include <QAbstractButton>
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <cmath>

namespace {
// Answers like ScriptedPrompter and runs a hook when a job shows a message.
class JobPrompter : public ScriptedPrompter
{
public:
    std::function<void()> onUserMessage;
    QStringList messageParents; // class names of the boxes' owners
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton def, const QString& informative) override
    {
        if (title == "User Message") {
            messageParents << (parent ? parent->metaObject()->className() : "none");
            if (onUserMessage)
                onUserMessage();
        }
        return ScriptedPrompter::message(parent, icon, title, text, buttons, def, informative);
    }
};

// Once the job window has stopped running its lines: checks, then Close.
void closeWhenDone(MainWin& w, std::function<void(ScriptDialog*)> check)
{
    auto* t = new QTimer(&w);
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, &w, [&w, t, check] {
        ScriptDialog* d = w.scriptDialog();
        if (!d || d->isRunning())
            return;
        t->stop();
        t->deleteLater();
        check(d);
        d->button()->click();
    });
    t->start();
}
} // namespace

class TestMainWinJob : public QObject, MainWinFixture::Bench<JobPrompter>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup() { tearDown(); }
    void needsConnection();
    void jobMeasuresAndSavesACopy();
    void refusedJobRunsNothing();
    void abortKeepsTheWindowWithClose();
    void refusalsWhileAJobIsOpen();
    void postDuringARunChangesNothing();
    void statusEcho_data();
    void statusEcho();
    void consoleTexts_data();
    void consoleTexts();
    void consoleFilter_data();
    void consoleFilter();
    void escapeEndsTheJob();

private:
    QString writeJob(const QString& name, const QString& text);
};

void TestMainWinJob::init()
{
    SingleProbeConfigParam cfg;
    cfg.dataScanRunScans = 3;
    cfg.dcCScanSweeps = 2;
    cfg.clean.duration = 1; // s of cleaning
    cfg.clean.relaxTime = 1;
    reset(cfg);
}

QString TestMainWinJob::writeJob(const QString& name, const QString& text)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.toUtf8());
    return path;
}

void TestMainWinJob::needsConnection()
{
    MainWin w;
    w.action("Run Job...")->trigger();
    QCOMPARE(m_prompter->texts(), QStringList{"Unable to connect to the Langmuir System.\nThe langmuir System must be "
                                              "connected before running job.\n"});
    QVERIFY(m_prompter->fileCaptions.isEmpty());
    QVERIFY(!w.isJobOpen());
}

void TestMainWinJob::jobMeasuresAndSavesACopy()
{
    QFile::remove(m_dir.filePath("copy.ldf"));
    const QString job = writeJob("measure.txt", "setscanvoltages(-40,20,0.5)\n"
                                                "clean\n"
                                                "setcurrentrange(0)\n"
                                                "scan\n"
                                                "settimeresolved(100,700,100,1)\n"
                                                "scan\n"
                                                "save(copy.ldf)\n"
                                                "message(Done <b>&</b>)\n");
    MainWin w;
    w.show();
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    PlotManager* pm = w.currentSession();
    const QString title = pm->sessionTitle();
    m_prompter->openNames << job;
    QStringList shown;
    // The clean line drives the tip to the cleaning voltage (150 V by default).
    bool cleaned = false;
    // Seen at each change of the status text, not on timer ticks.
    QObject::connect(w.statusBar(), &QStatusBar::messageChanged, &w,
                     [&] { cleaned = cleaned || w.appState() == 5; });
    closeWhenDone(w, [&](ScriptDialog* d) {
        shown = d->errors();
        QVERIFY(d->isVisible());
        QCOMPARE(d->runningLine(), 8); // the empty line after the last newline
        QVERIFY(cleaned);
        QCOMPARE(d->windowTitle(), QString("Batch Job"));
        // Markup in a line is shown as written.
        QVERIFY2(d->browser()->toPlainText().contains("message(Done <b>&</b>)"),
                 qPrintable(d->browser()->toPlainText()));
    });
    w.action("Run Job...")->trigger();
    QCOMPARE(m_prompter->fileCaptions, QStringList{"Open Job File"});
    QVERIFY2(shown.join("").isEmpty(), qPrintable(shown.join('\n')));
    QVERIFY(!w.isJobOpen());
    QVERIFY(!w.scriptDialog());
    // Two runs: one time-averaged record, then one per time point.
    QCOMPARE(pm->data()->groupCount(), 1);
    const int scans = pm->data()->scansOfGroup(0).size();
    QVERIFY2(scans >= 2, qPrintable(QString::number(scans)));
    const ScanRecord* first = pm->data()->scan(0, 0);
    QVERIFY(std::fabs(first->result.value(ResultRecord::eKTe) - 3.0) < 0.3);
    const ConfigParam& cfg = pm->activeConfig();
    QVERIFY(cfg.sync.bUseSyncScan);
    QCOMPARE(cfg.sync.resolution, 100.0);
    QCOMPARE(cfg.dataScanRunParam.voltageStart, -40.0);
    // The copy holds what was measured; the session itself is not "saved".
    DataAnalyzer back;
    QString why;
    QVERIFY2(SessionFile::load(back, m_dir.filePath("copy.ldf"), &why), qPrintable(why));
    QCOMPARE(back.scanCount(), pm->data()->scanCount());
    QVERIFY(pm->isModified());
    QCOMPARE(pm->sessionTitle(), title);
    QVERIFY(pm->data()->fileName() != m_dir.filePath("copy.ldf"));
    // The message: trimmed text, owned by the job window.
    QCOMPARE(m_prompter->messageParents.size(), 1);
    QCOMPARE(m_prompter->messageParents.first(), QString("ScriptDialog"));
    QCOMPARE(m_prompter->asked.last().text, QString("Done <b>&</b>"));
}

void TestMainWinJob::refusedJobRunsNothing()
{
    const QString job = writeJob("refused.txt", "setidlevoltage(-7)\nsleep(0)\nsetscanvoltages(50,-100,1)\nscan\n"
                                                "# sleep(0) is refused\n");
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    const QMap<QString, QString> before = w.currentSession()->activeConfig().toMap();
    m_prompter->openNames << job;
    QStringList errors;
    QString buttonText;
    closeWhenDone(w, [&](ScriptDialog* d) {
        errors = d->errors();
        buttonText = d->button()->text();
        QCOMPARE(d->runningLine(), -1);
        // The comment is greyed and set apart, even where the run would stand.
        QCOMPARE(ScriptDialog::lineHtml(d->lines().at(4), QString(), true),
                 QString("<font color=\"grey\"><i># sleep(0) is refused</i></font>"));
    });
    w.action("Run Job...")->trigger();
    QCOMPARE(errors, (QStringList{"", "Argument 1 must be an integer between 1 and 600",
                                  "Test run caught error. The start must lie below the end, at least one step apart.",
                                  "", "", ""}));
    QCOMPARE(buttonText, QString("Close"));
    QCOMPARE(w.currentSession()->activeConfig().toMap(), before); // the idle voltage too
    QCOMPARE(w.currentSession()->data()->scanCount(), 0);
    QVERIFY(!w.isJobOpen());
}

void TestMainWinJob::abortKeepsTheWindowWithClose()
{
    const QString job = writeJob("abort.txt", "message(press Abort)\nsetidlevoltage(-7)\nscan\n");
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    m_prompter->openNames << job;
    m_prompter->onUserMessage = [&] {
        ScriptDialog* d = w.scriptDialog();
        QVERIFY(d && d->isRunning());
        QCOMPARE(d->button()->text(), QString("Abort"));
        d->button()->click();
    };
    bool stayed = false;
    closeWhenDone(w, [&](ScriptDialog* d) {
        stayed = d->isVisible() && d->button()->text() == "Close";
        QCOMPARE(d->runningLine(), 0);
    });
    w.action("Run Job...")->trigger();
    QVERIFY(stayed);
    QVERIFY(w.currentSession()->activeConfig().voltageIdle != -7);
    QCOMPARE(w.currentSession()->data()->scanCount(), 0);
    QVERIFY(!w.isJobOpen());
    QVERIFY(w.controller().isConnected());
}

void TestMainWinJob::refusalsWhileAJobIsOpen()
{
    const QString job = writeJob("busy.txt", "message(try everything)\n");
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QVERIFY(w.startServer(0, true, false));
    const quint16 port = w.dataServer()->port();
    m_prompter->openNames << job;
    int sessions = 0;
    QString reply;
    m_prompter->onUserMessage = [&] {
        sessions = w.openSessionCount();
        m_prompter->asked.clear();
        w.action("Run Job...")->trigger();
        w.action("&New")->trigger();
        w.action("&Open...")->trigger();
        w.action("Disconnect")->trigger();
        w.banner()->scanButton()->click();
        QVERIFY(!w.isRunActive());
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(s.waitForConnected(5000));
        s.write("POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\ntrue");
        QTRY_VERIFY_WITH_TIMEOUT(s.state() == QAbstractSocket::UnconnectedState, 5000);
        reply = QString::fromLatin1(s.readAll());
        QVERIFY(!w.isRunActive());
    };
    closeWhenDone(w, [](ScriptDialog*) {});
    w.action("Run Job...")->trigger();
    QCOMPARE(reply, QString("HTTP/1.0 200 OK\r\n"));
    QCOMPARE(w.openSessionCount(), sessions);
    QVERIFY(w.controller().isConnected());
    QVERIFY(w.action("Disconnect"));
    QCOMPARE(w.currentSession()->data()->scanCount(), 0);
    QStringList refusals;
    for (const ScriptedPrompter::Asked& a : m_prompter->asked)
        if (a.text.startsWith("A batch job is running"))
            refusals << a.text;
    QCOMPARE(refusals.size(), 5); // Run Job, New, Open, Disconnect, the banner's Scan
    QCOMPARE(m_prompter->fileCaptions, QStringList{"Open Job File"});
    QVERIFY(!w.isJobOpen());
}

void TestMainWinJob::postDuringARunChangesNothing()
{
    MainWinFixture::realPace();
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    QVERIFY(w.startServer(0, true, false));
    const quint16 port = w.dataServer()->port();
    QString reply;
    bool stillRunning = false;
    MainWinFixture::atState(w, 10, [&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(s.waitForConnected(5000));
        s.write("POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\ntrue");
        QTRY_VERIFY_WITH_TIMEOUT(s.state() == QAbstractSocket::UnconnectedState, 5000);
        reply = QString::fromLatin1(s.readAll());
        stillRunning = w.isRunActive() && !w.isAborted();
    });
    w.action("Scan")->trigger();
    QCOMPARE(reply, QString("HTTP/1.0 200 OK\r\n"));
    QVERIFY(stillRunning);
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    QCOMPARE(w.currentSession()->data()->scanCount(), 1);
    QCOMPARE(w.currentSession()->data()->scan(0, 0)->accumulated.count(), 3);
}

void TestMainWinJob::escapeEndsTheJob()
{
    const QString job = writeJob("escape.txt", "bogus\n");
    MainWin w;
    connectUnit(w, ProbeModeSelector::eWithDcRef);
    m_prompter->openNames << job;
    auto* t = new QTimer(&w);
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, &w, [&w, t] {
        if (ScriptDialog* d = w.scriptDialog(); d && d->isVisible()) {
            t->stop();
            QTest::keyClick(d, Qt::Key_Escape);
        }
    });
    t->start();
    w.action("Run Job...")->trigger(); // returns: the window's Esc ended the job
    QVERIFY(!w.isJobOpen());
    QVERIFY(!w.scriptDialog());
}

// The console of `lpmeasure --job` shows status texts as they change, at most
// one per 500 ms; a text that waits gives way to a newer one, and within a job
// line a text is shown once. Events are "ms text" (a status offered), "ms"
// (the timer's look at a waiting one) or "ms |" (the next job line starts).
void TestMainWinJob::statusEcho_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("printed");
    QTest::newRow("changes only") << QStringList{"0 A", "600 A", "1200 B"} << QStringList{"A", "B"};
    QTest::newRow("countdown squeezed") << QStringList{"0 9 s", "100 8 s", "200 7 s", "300", "500", "600 6 s", "1000"}
                                        << QStringList{"9 s", "7 s", "6 s"};
    QTest::newRow("back before its turn") << QStringList{"0 A", "100 B", "200 A", "600", "700 C"}
                                          << QStringList{"A", "C"};
    QTest::newRow("last one waits for the timer") << QStringList{"0 A", "100 Idle", "400", "500"}
                                                  << QStringList{"A", "Idle"};
    QTest::newRow("empty texts") << QStringList{"0 ", "100 A", "700 "} << QStringList{"A"};
    QTest::newRow("a text comes back") << QStringList{"0 A", "600 B", "1200 A", "1800 B", "2400 A"}
                                       << QStringList{"A", "B"};
    QTest::newRow("back while another waits") << QStringList{"0 A", "100 B", "600 A", "700", "1300 A"}
                                              << QStringList{"A"};
    QTest::newRow("next line shows it again") << QStringList{"0 A", "600 B", "1200 |", "1300 A"}
                                              << QStringList{"A", "B", "A"};
}

void TestMainWinJob::statusEcho()
{
    QFETCH(QStringList, events);
    QFETCH(QStringList, printed);
    JobConsole::StatusEcho echo(500);
    QStringList out;
    for (const QString& e : events) {
        const int space = e.indexOf(' ');
        const qint64 ms = e.left(space < 0 ? e.size() : space).toLongLong();
        if (e.mid(space + 1) == "|") {
            echo.newLine();
            continue;
        }
        const QString shown = space < 0 ? echo.due(ms) : echo.offer(e.mid(space + 1), ms);
        if (!shown.isEmpty())
            out << shown;
    }
    QCOMPARE(out, printed);
}

// A job line and a failure as the console prints them: control characters
// escaped, an alert a box printed not repeated.
void TestMainWinJob::consoleTexts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("printed");
    QTest::newRow("NUL") << "line" << QString::fromUtf8("bad\0line", 8) << "" << "bad\\0line";
    QTest::newRow("controls") << "line" << "a\tb\rc\x01" "d\x7f" << "" << "a\\tb\\rc\\x01d\\x7f";
    QTest::newRow("plain") << "line" << QString::fromUtf8("message(\u00b5s)") << "" << QString::fromUtf8("message(\u00b5s)");
    QTest::newRow("alerts shown") << "failure" << "The measurement failed: [ERROR] A.; [ERROR] B."
                                  << "[ERROR] A.\n[ERROR] B.\n" << "The measurement failed (the alerts above)";
    QTest::newRow("one alert not shown") << "failure" << "The measurement failed: [ERROR] A.; [ERROR] C."
                                         << "[ERROR] A.\n[ERROR] B.\n"
                                         << "The measurement failed: [ERROR] A.; [ERROR] C.";
    QTest::newRow("no box") << "failure" << "The controller is not connected." << ""
                            << "The controller is not connected.";
}

void TestMainWinJob::consoleTexts()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, printed);
    QCOMPARE(kind == "line" ? JobConsole::printable(text) : JobConsole::failureText(text, shown), printed);
}

// What reaches the console of a job run without --verbose.
void TestMainWinJob::consoleFilter_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shown");
    QTest::newRow("debug") << int(QtDebugMsg) << "Ion density fit: 208 samples" << false;
    QTest::newRow("driver warning") << int(QtWarningMsg) << "[WARN 12:00:00] Timer elapsed" << false;
    QTest::newRow("driver critical") << int(QtCriticalMsg) << "[CRIT 12:00:00] Failed" << false;
    QTest::newRow("offscreen platform") << int(QtWarningMsg) << "This plugin does not support propagateSizeHints()"
                                        << false;
    QTest::newRow("no runtime folder") << int(QtWarningMsg)
                                       << "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'"
                                       << false;
    QTest::newRow("program warning") << int(QtWarningMsg) << "[ERROR] Scan: Failed to Read Ion Current." << true;
    QTest::newRow("critical") << int(QtCriticalMsg) << "cannot write file" << true;
}

void TestMainWinJob::consoleFilter()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(bool, shown);
    QCOMPARE(JobConsole::showOnConsole(QtMsgType(type), text, false), shown);
    QVERIFY(JobConsole::showOnConsole(QtMsgType(type), text, true));
}

QTEST_MAIN(TestMainWinJob)
#include "tst_mainwinjob.moc"
