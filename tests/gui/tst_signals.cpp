// lpmeasure stopped the ways users stop it, on the simulated unit: SIGINT and
// SIGTERM in each mode abort what runs, leave the unit not scanning at the
// idle voltage it had and disconnected (read from its bus trace), keep what
// was measured (a journal, or a recovered file beside a job) and exit
// non-zero; a kill -9 loses at most the scan in progress. The program is
// copied into a folder of its own, which becomes its working folder.
#include "DataAnalyzer.h"
#include "SessionFile.h"
#include "SessionJournal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <functional>

namespace {
constexpr int kWaitMs = 90000;

struct Run {
    QProcess p;
    QString out, err;
    void read()
    {
        out += QString::fromUtf8(p.readAllStandardOutput());
        err += QString::fromUtf8(p.readAllStandardError());
    }
    bool waitUntil(const std::function<bool()>& done, int ms = kWaitMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            read();
            if (done())
                return true;
            if (p.state() == QProcess::NotRunning)
                return false;
            p.waitForReadyRead(50);
        }
        return false;
    }
};

QString fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
} // namespace

class TestSignals : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void endsCleanly_data();
    void endsCleanly();
    void killLosesOnlyTheScanInProgress();
    void pendingJournalBlocksNothing_data();
    void pendingJournalBlocksNothing();

private:
    // A journal an ended program left: the example session, 1 scan or more.
    QString plantJournal();
    void start(Run& r, const QStringList& args);
    QString job(const QString& text);
    // The unit as the bus trace leaves it: not scanning, the idle level the
    // connect set written last, and closed; empty when so, else what is wrong.
    QString unitLeftSafe(const QString& trace);
    QTemporaryDir m_dir;
    QString m_program, m_work;
};

void TestSignals::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_work = m_dir.filePath("bin");
    QVERIFY(QDir().mkpath(m_work));
    m_program = QDir(m_work).filePath("lpmeasure");
    QVERIFY(QFile::copy(LP_LPMEASURE, m_program));
    // A build tree's program works in its own folder.
    QFile marker(m_program + ".build-tree");
    QVERIFY(marker.open(QIODevice::WriteOnly));
}

void TestSignals::init()
{
    // Every case starts without journals, traces or recovered files.
    QDir(m_work + "/recovery").removeRecursively();
    for (const QString& f : QDir(m_dir.path()).entryList({"*.ldf", "*.txt"}, QDir::Files))
        QFile::remove(m_dir.filePath(f));
}

void TestSignals::start(Run& r, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LPSIM_CONFIG", "speed=1");
    env.remove("DISPLAY");
    env.insert("LPSIM_TRACE", m_dir.filePath("trace.txt"));
    env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
    env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
    r.p.setProcessEnvironment(env);
    r.p.start(m_program, args);
    QVERIFY(r.p.waitForStarted());
}

QString TestSignals::job(const QString& text)
{
    const QString path = m_dir.filePath("job.txt");
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.toUtf8());
    return path;
}

QString TestSignals::unitLeftSafe(const QString& trace)
{
    const QStringList lines = trace.split('\n', Qt::SkipEmptyParts);
    static const QRegularExpression idle("idleDac := (-?\\d+)");
    int modeSet = -1, lastControl = -1, lastClose = -1;
    QString idleAtConnect, idleLast;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& l = lines[i];
        // The connect sets the idle level, then the probe mode.
        if (l.contains("probeMode :=") && modeSet < 0)
            modeSet = i;
        if (l.contains("CNFG0 control :="))
            lastControl = i;
        if (l.contains("QuickUsbClose"))
            lastClose = i;
        const QRegularExpressionMatch m = idle.match(l);
        if (m.hasMatch()) {
            idleLast = m.captured(1);
            if (modeSet < 0)
                idleAtConnect = idleLast;
        }
    }
    if (lastControl < 0)
        return "no control word written";
    if (!lines[lastControl].contains("run=0"))
        return "still scanning: " + lines[lastControl];
    if (idleLast != idleAtConnect)
        return QString("idle level %1 left, %2 at the connect").arg(idleLast, idleAtConnect);
    if (lastClose < lastControl)
        return "not disconnected";
    return QString();
}

// Each mode, stopped by a signal while it measures (or connects, or waits).
void TestSignals::endsCleanly_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("jobText");
    QTest::addColumn<QString>("waitFor"); // in stdout, or "trace" for a run under way
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    // Scans kept (journal or recovered file): 1 some, 0 none, -1 as far as the
    // run came (no output marks the moment a window run's first sweep is kept).
    QTest::addColumn<int>("measured");
    QTest::addColumn<bool>("connected");

    QTest::newRow("window, run, SIGINT") << QStringList{"--scan-on-start"} << "" << "trace" << SIGINT << 130 << -1
                                         << true;
    QTest::newRow("server, run, SIGTERM") << QStringList{"--server", "0", "--scan-on-start"} << "" << "trace"
                                          << SIGTERM << 143 << -1 << true;
    QTest::newRow("server, idle, SIGTERM") << QStringList{"--server", "0"} << "" << "listening on port" << SIGTERM
                                           << 143 << 0 << false;
    // After the first scan line's result: the second line runs.
    QTest::newRow("job, data scans, SIGINT") << QStringList{} << "scan\nscan\n" << "\n[2/" << SIGINT << 1 << 1
                                             << true;
    QTest::newRow("job, connect, SIGTERM") << QStringList{} << "message(first)\nscan\n"
                                           << "connecting to the controller" << SIGTERM << 1 << 0 << true;
}

void TestSignals::endsCleanly()
{
    QFETCH(QStringList, args);
    QFETCH(QString, jobText);
    QFETCH(QString, waitFor);
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);
    QFETCH(int, measured);
    QFETCH(bool, connected);
    const bool isJob = !jobText.isEmpty();
    if (isJob)
        args << "--job" << job(jobText) << "--probe-mode" << "reference";
    Run r;
    start(r, args);
    const QString tracePath = m_dir.filePath("trace.txt");
    const bool reached = r.waitUntil([&] {
        return waitFor == "trace" ? fileText(tracePath).count("bulk read") >= 30 : r.out.contains(waitFor);
    });
    QVERIFY2(reached, qPrintable(r.out + r.err.right(2000)));
    ::kill(pid_t(r.p.processId()), signalNumber);
    QVERIFY(r.p.waitForFinished(kWaitMs));
    r.read();
    const QString shown = r.out.right(1500) + r.err.right(1500);
    QCOMPARE(r.p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(r.p.exitCode() == exitCode, qPrintable(shown));
    QVERIFY2(r.err.contains(signalNumber == SIGINT ? "SIGINT" : "SIGTERM"), qPrintable(shown));
    if (connected) {
        const QString why = unitLeftSafe(fileText(tracePath));
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }
    if (isJob && measured == 0) {
        // Interrupted while connecting: no line started, the unit never scanned.
        QVERIFY2(!r.out.contains("[1/"), qPrintable(shown));
        QVERIFY(!fileText(tracePath).contains("scan start"));
    }

    // What was measured is kept: a journal (windows) or a file beside the job.
    int kept = 0;
    if (isJob) {
        const QStringList saved = QDir(m_dir.path()).entryList({"job-recovered-*.ldf"});
        QCOMPARE(saved.size(), measured);
        if (measured == 1) {
            QVERIFY2(r.out.contains("scans saved to " + m_dir.filePath(saved.first())), qPrintable(shown));
            DataAnalyzer s;
            QVERIFY(SessionFile::load(s, m_dir.filePath(saved.first())));
            kept = s.scanCount();
        }
        QVERIFY(SessionJournal::find(m_work + "/recovery").isEmpty());
    } else {
        for (const SessionJournal::Found& f : SessionJournal::find(m_work + "/recovery")) {
            // Only scans that hold data are kept.
            DataAnalyzer s;
            QVERIFY(SessionFile::load(s, f.path));
            for (int g = 0; g < s.groupCount(); ++g)
                for (const ScanRecord& scan : s.scansOfGroup(g))
                    QVERIFY(scan.accumulated.count() > 0);
            kept += f.scans;
        }
    }
    if (measured >= 0)
        QVERIFY2(measured ? kept >= 1 : kept == 0, qPrintable(QString::number(kept)));
}

// A kill -9 during the second scan of a job: the journal holds the first
// scan whole (and no part of another), the session reader and lpanalyse read
// it as a cut-off file.
void TestSignals::killLosesOnlyTheScanInProgress()
{
    Run r;
    start(r, {"--job", job("scan\nscan\n"), "--probe-mode", "reference"});
    QVERIFY2(r.waitUntil([&] { return r.out.contains("\n[2/"); }), qPrintable(r.out + r.err.right(2000)));
    r.p.kill();
    QVERIFY(r.p.waitForFinished(kWaitMs));

    const QList<SessionJournal::Found> found = SessionJournal::find(m_work + "/recovery");
    QCOMPARE(found.size(), 1);
    QVERIFY(found.first().scans >= 1); // 2 only when the kill came after the second scan ended
    DataAnalyzer s;
    SessionFile::ReadReport report;
    QVERIFY(SessionFile::load(s, found.first().path, nullptr, &report));
    QVERIFY(report.cutOff);
    QCOMPARE(report.scans, found.first().scans);
    for (int g = 0; g < s.groupCount(); ++g)
        for (const ScanRecord& scan : s.scansOfGroup(g))
            QCOMPARE(scan.accumulated.count(), int(s.configuration().dataScanRunScans));

    QProcess lpanalyse;
    lpanalyse.start(LP_LPANALYSE, {found.first().path});
    QVERIFY(lpanalyse.waitForFinished(60000));
    QCOMPARE(lpanalyse.exitCode(), 0);
    QVERIFY(QString::fromUtf8(lpanalyse.readAllStandardError())
                .contains(QRegularExpression("\\d+ complete scans? recovered")));
}

QString TestSignals::plantJournal()
{
    DataAnalyzer session;
    if (!SessionFile::load(session, LP_EXAMPLE_SESSION))
        return QString();
    const auto journal = SessionJournal::create(m_work + "/recovery", session);
    return journal ? journal->path() : QString(); // closed and kept: as a crash leaves it
}

// A journal left by an ended program: a run that no one can answer names it
// and goes on with what the command line asked; the journal stays, and a
// signal at any moment of the start-up ends the program with its status.
void TestSignals::pendingJournalBlocksNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("signalAt"); // "named": at the journal's line, "served": after a GET, "": none
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("server, scan on start, served")
        << QStringList{"--server", "0", "--scan-on-start"} << "served" << SIGTERM << 143;
    QTest::newRow("server, start-up, SIGTERM") << QStringList{"--server", "0", "--scan-on-start"} << "named" << SIGTERM
                                               << 143;
    QTest::newRow("window, start-up, SIGINT") << QStringList{"--quit-after=600"} << "named" << SIGINT << 130;
    QTest::newRow("quit after") << QStringList{"--quit-after=1"} << "" << 0 << 0;
}

void TestSignals::pendingJournalBlocksNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, signalAt);
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);
    const QString planted = plantJournal();
    QVERIFY(!planted.isEmpty());
    const QString named = "unsaved measurement of ";
    Run r;
    start(r, args);
    if (signalAt == "served") {
        QVERIFY2(r.waitUntil([&] { return r.out.contains("listening on port"); }), qPrintable(r.err.right(2000)));
        const QRegularExpressionMatch port = QRegularExpression("listening on port (\\d+)").match(r.out);
        QVERIFY(port.hasMatch());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(port.captured(1).toInt()));
        QVERIFY(socket.waitForConnected(kWaitMs));
        socket.write("GET /data HTTP/1.0\r\n\r\n");
        QByteArray reply;
        while (socket.waitForReadyRead(kWaitMs))
            reply += socket.readAll();
        QVERIFY2(reply.startsWith("HTTP/1.0 200 OK"), reply.constData());
        QVERIFY(reply.contains("scan_running"));
        // The run the command line asked for starts too.
        QVERIFY(r.waitUntil([&] { return fileText(m_dir.filePath("trace.txt")).contains("scan start"); }));
    } else if (!signalAt.isEmpty()) {
        QVERIFY2(r.waitUntil([&] { return r.err.contains(named); }), qPrintable(r.out + r.err.right(2000)));
    }
    if (signalNumber)
        ::kill(pid_t(r.p.processId()), signalNumber);
    QVERIFY(r.p.waitForFinished(kWaitMs));
    r.read();
    const QString shown = r.out.right(1500) + r.err.right(1500);
    QCOMPARE(r.p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(r.p.exitCode() == exitCode, qPrintable(shown));
    QVERIFY2(r.err.contains(named) && r.err.contains("kept in " + planted + "; open lpmeasure to recover it"),
             qPrintable(shown));
    QVERIFY(QFile::exists(planted));
    bool offered = false;
    for (const SessionJournal::Found& f : SessionJournal::find(m_work + "/recovery"))
        offered = offered || (f.path == planted && f.scans >= 1);
    QVERIFY(offered);
}

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
