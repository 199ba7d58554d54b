// Batch job lines against a recording host: every checker message, what the
// test pass and the real pass of each command do (and do not do), the
// refusals of lines a run could not carry out, saving a copy of the session,
// and whole jobs with their failures and an abort.
#include "ConfigParam.h"
#include "DataAnalyzer.h"
#include "JobScript.h"
#include "SessionFile.h"
#include "../sessionfiles/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
class FakeHost : public JobHost
{
public:
    bool connected = true;
    double syncHz = 1000;
    QVector<double> ranges{0.1, 0.02, 0.01, 0.002, 0.001, 0.0002};
    SingleProbeConfigParam record;
    bool hasConfig = true;
    DataAnalyzer data;
    bool hasSession = true;
    bool scanResult = true;
    bool idleResult = true;
    int abortAfterWaits = -1; // the n-th wait raises the abort flag

    QStringList calls;
    qint64 waitedMs = 0;
    int waits = 0;
    bool abortFlag = false;

    bool isConnected() override { return connected; }
    double syncFrequency() override { return syncHz; }
    QVector<double> currentRanges() override { return ranges; }
    ConfigParam* config() override { return hasConfig ? &record : nullptr; }
    void configChanged() override { calls << "configChanged"; }
    bool applyIdleVoltage(double v, QString* error) override
    {
        calls << QString("idle %1").arg(v);
        if (!idleResult)
            *error = "idle failed";
        return idleResult;
    }
    bool scan(QString* error) override
    {
        calls << "scan";
        if (!scanResult)
            *error = "scan failed";
        return scanResult;
    }
    bool clean(QString* error) override
    {
        calls << "clean";
        *error = "no cleaning here";
        return false;
    }
    DataAnalyzer* session() override { return hasSession ? &data : nullptr; }
    void showMessage(const QString& text) override { calls << "message " + text; }
    void critical(const QString& text) override { calls << "critical " + text; }
    bool waitWithEvents(int ms) override
    {
        waitedMs += ms;
        if (++waits == abortAfterWaits)
            abortFlag = true;
        return !abortFlag;
    }
    bool aborted() override { return abortFlag; }
};
} // namespace

class TestJobScript : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void tokens_data();
    void tokens();
    void checkerMessages_data();
    void checkerMessages();
    void fileArguments();
    void testPassChangesNothing_data();
    void testPassChangesNothing();
    void realPass_data();
    void realPass();
    void refusedInBothPasses_data();
    void refusedInBothPasses();
    void timeResolvedWholePeriod_data();
    void timeResolvedWholePeriod();
    void currentRangeChoice_data();
    void currentRangeChoice();
    void saveWritesACopy();
    void saveRefusesAFileThatAppeared();
    void saveReportsWriteFailures();
    void jobTestPassMarksLines();
    void jobRunsOnAfterAFailureAndStopsOnAbort();
    void jobFileReading();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeHost> host;
};

void TestJobScript::init()
{
    host = std::make_unique<FakeHost>();
}

void TestJobScript::tokens_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("call") << "sleep(5)" << QStringList{"sleep", "5"};
    QTest::newRow("commas") << "sleep,5" << QStringList{"sleep", "5"};
    QTest::newRow("case and spaces") << " SLEEP (5)" << QStringList{"sleep", "5"};
    QTest::newRow("arguments keep spaces") << "message( a b )" << QStringList{"message", " a b "};
    QTest::newRow("separators only") << ",,()" << QStringList{};
    QTest::newRow("empty pieces dropped") << "setscanvoltages((1,,2),3)" << QStringList{"setscanvoltages", "1", "2", "3"};
}

void TestJobScript::tokens()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QCOMPARE(JobScript::tokenize(line), expected);
}

void TestJobScript::checkerMessages_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error"); // empty: valid
    QTest::newRow("blank") << "" << "";
    QTest::newRow("separators") << "(,)" << "";
    QTest::newRow("spaces") << "   " << "";
    QTest::newRow("sleep ok") << "Sleep ( 10 )" << "";
    QTest::newRow("unknown") << "sleeep(5)" << "Invalid Command";
    QTest::newRow("too few") << "setscanvoltages(-100,50)" << "setscanvoltages requires 3 parameters";
    QTest::newRow("too many") << "scan(1)" << "scan requires 0 parameters";
    QTest::newRow("comma in message") << "message(Hello, world)" << "message requires 1 parameters";
    QTest::newRow("sleep 0") << "sleep(0)" << "Argument 1 must be an integer between 1 and 600";
    QTest::newRow("sleep 601") << "sleep(601)" << "Argument 1 must be an integer between 1 and 600";
    QTest::newRow("sleep real") << "sleep(1.5)" << "Argument 1 must be an integer between 1 and 600";
    QTest::newRow("sleep text") << "sleep(five)" << "Argument 1 must be an integer between 1 and 600";
    QTest::newRow("sleep 600") << "sleep( 600 )" << "";
    QTest::newRow("truncated bounds") << "setscanvoltages(-150.9,150.9,1)" << "";
    QTest::newRow("volts above") << "setscanvoltages(-10,151,1)" << "Argument 2 must be a number between -150 and 150";
    QTest::newRow("volts text") << "setscanvoltages(-10,10,x)" << "Argument 3 must be a number between -150 and 150";
    QTest::newRow("nan") << "setscanvoltages(nan,10,1)" << "Argument 1 must be a number between -150 and 150";
    QTest::newRow("inf") << "setidlevoltage(inf)" << "Argument 1 must be a number between -150 and 80";
    QTest::newRow("-inf") << "setidlevoltage(-inf)" << "Argument 1 must be a number between -150 and 80";
    QTest::newRow("idle above") << "setidlevoltage(81)" << "Argument 1 must be a number between -150 and 80";
    QTest::newRow("micros bound") << "settimeresolved(0,2000000,10,1)"
                                  << "Argument 2 must be a number between 0 and 1e+06";
    QTest::newRow("averaging 2") << "settimeresolved(0,100,10,2)" << "Argument 4 must be an integer between 0 and 1";
    QTest::newRow("range 2") << "setcurrentrange(2)" << "Argument 1 must be a number between 0 and 1";
    QTest::newRow("range 1.5") << "setcurrentrange(1.5)" << "";
    QTest::newRow("text any") << "message(<b>&</b>)" << "";
    QTest::newRow("no args") << "usetimeaveraged" << "";
    QTest::newRow("comment") << "  # sleep(0), bogus(1)" << "";
    QTest::newRow("hash after a command") << "scan # now" << "Invalid Command";
    QTest::newRow("NUL in a file name") << QString::fromUtf8("save(x\0y.ldf)", 13) << "The line holds a NUL byte.";
    QTest::newRow("NUL after a command") << QString::fromUtf8("scan\0garbage", 12) << "The line holds a NUL byte.";
}

void TestJobScript::checkerMessages()
{
    QFETCH(QString, line);
    QFETCH(QString, error);
    QString got = "untouched";
    QCOMPARE(JobScript::check(line, &got), error.isEmpty());
    QCOMPARE(got, error);
}

void TestJobScript::fileArguments()
{
    QVERIFY(m_dir.isValid());
    const QString base = m_dir.path();
    QFile existing(base + "/old.ldf");
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    QDir(base).mkdir("sub");
    QString e;
    QVERIFY(JobScript::check("save(new.ldf)", &e, base));
    QVERIFY(JobScript::check("save(sub/new.ldf)", &e, base));
    QVERIFY(JobScript::check("save(sub\\new.ldf)", &e, base));
    QVERIFY(JobScript::check("save(" + base + "/new.ldf)", &e, "/elsewhere"));
    QVERIFY(!JobScript::check("save(old.ldf)", &e, base));
    QCOMPARE(e, QString("Argument 1, this file already exists."));
    QVERIFY(!JobScript::check("save(missing/x.ldf)", &e, base));
    QCOMPARE(e, QString("Argument 1, Folder \"missing\" does not exist."));
    QVERIFY(!JobScript::check("save(sub/deeper\\x.ldf)", &e, base));
    QCOMPARE(e, QString("Argument 1, Folder \"sub/deeper\" does not exist."));
    // The real pass refuses a file that appeared meanwhile.
    QVERIFY(!JobScript::check("save(old.ldf)", &e, base, true));
    QCOMPARE(e, QString("Argument 1, this file already exists."));
    QCOMPARE(JobScript::resolvePath("a\\b.ldf", "/x"), QString("/x/a/b.ldf"));
    QCOMPARE(JobScript::resolvePath("/abs.ldf", "/x"), QString("/abs.ldf"));
}

void TestJobScript::testPassChangesNothing_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("sleep") << "sleep(600)";
    QTest::newRow("scan") << "scan";
    QTest::newRow("clean") << "clean";
    QTest::newRow("voltages") << "setscanvoltages(-20,30,0.5)";
    QTest::newRow("idle") << "setidlevoltage(-5)";
    QTest::newRow("time resolved") << "settimeresolved(100,700,10,0)";
    QTest::newRow("1024 frames") << "settimeresolved(0,1024,1,1)";
    QTest::newRow("1024 frames of 125 us") << "settimeresolved(0,128000,125,0)";
    QTest::newRow("comment") << "# scan";
    QTest::newRow("save") << "save(never.ldf)";
    QTest::newRow("message") << "message(hello)";
    QTest::newRow("time averaged") << "usetimeaveraged";
    QTest::newRow("range") << "setcurrentrange(0.005)";
    QTest::newRow("automatic range") << "setcurrentrange(0)";
}

void TestJobScript::testPassChangesNothing()
{
    QFETCH(QString, line);
    host->record.sync.bUseSyncScan = true; // so that usetimeaveraged would change it
    host->record.useAutoCMRange = false;
    const QMap<QString, QString> before = host->record.toMap();
    JobRunner r(*host, m_dir.path());
    QVERIFY2(r.run(line, true), qPrintable(r.lastError()));
    QCOMPARE(host->record.toMap(), before);
    QVERIFY2(host->calls.isEmpty(), qPrintable(host->calls.join('|')));
    QCOMPARE(host->waitedMs, 0);
    QVERIFY(!QFile::exists(m_dir.filePath("never.ldf")));
}

void TestJobScript::realPass_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");   // configuration key that changes ("" none)
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("calls"); // host calls, "|" separated
    QTest::newRow("voltages") << "setscanvoltages(-20, 30, 0.5)" << "dataScanRunParam_voltageStep" << "0.5"
                              << "configChanged";
    QTest::newRow("idle") << "setidlevoltage(-5)" << "voltageIdle" << "-5" << "configChanged|idle -5";
    QTest::newRow("time resolved") << "settimeresolved(100,700,10,0)" << "syncParam_duration" << "700"
                                   << "configChanged";
    QTest::newRow("time averaged") << "usetimeaveraged" << "syncParam_bUseSyncScan" << "0" << "configChanged";
    QTest::newRow("fixed range") << "setcurrentrange(0.005)" << "useAutoCMRange" << "0" << "configChanged";
    QTest::newRow("automatic range") << "setcurrentrange(0)" << "useAutoCMRange" << "1" << "configChanged";
    QTest::newRow("scan") << "scan" << "" << "" << "scan";
    QTest::newRow("message") << "message( Pump down now )" << "" << "" << "message Pump down now";
    QTest::newRow("sleep") << "sleep(3)" << "" << "" << "";
}

void TestJobScript::realPass()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, calls);
    host->record.sync.bUseSyncScan = true;
    host->record.useAutoCMRange = line.endsWith("(0)") ? false : true;
    const QMap<QString, QString> before = host->record.toMap();
    JobRunner r(*host);
    QVERIFY2(r.run(line, false), qPrintable(r.lastError()));
    const QMap<QString, QString> after = host->record.toMap();
    if (!key.isEmpty()) {
        QVERIFY2(after.contains(key), qPrintable(key));
        QCOMPARE(after.value(key), value);
        QVERIFY(before.value(key) != value);
    } else {
        QCOMPARE(after, before);
    }
    QCOMPARE(host->calls.join('|'), calls);
    QCOMPARE(host->waitedMs, line.startsWith("sleep") ? 3000 : 0);
}

void TestJobScript::refusedInBothPasses_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("world"); // what the host lacks
    QTest::newRow("start above end") << "setscanvoltages(50,-100,1)" << "";
    QTest::newRow("step 0") << "setscanvoltages(-10,10,0)" << "";
    QTest::newRow("step too large") << "setscanvoltages(-10,10,30)" << "";
    QTest::newRow("negative step") << "setscanvoltages(-10,10,-1)" << "";
    QTest::newRow("step below panel minimum") << "setscanvoltages(-1,1,0.001)" << "";
    QTest::newRow("scan unconnected") << "scan" << "connection";
    QTest::newRow("clean unconnected") << "clean" << "connection";
    QTest::newRow("range unconnected") << "setcurrentrange(0)" << "connection";
    QTest::newRow("range above every full scale") << "setcurrentrange(0.5)" << "";
    QTest::newRow("negative range") << "setcurrentrange(-0.5)" << "";
    QTest::newRow("tr start above end") << "settimeresolved(800,700,10,1)" << "";
    QTest::newRow("tr resolution 0") << "settimeresolved(0,700,0,1)" << "";
    QTest::newRow("tr under one step") << "settimeresolved(0,5,10,1)" << "";
    QTest::newRow("tr 1025 frames") << "settimeresolved(0,1025,1,1)" << "";
    QTest::newRow("tr 1025 frames from 1") << "settimeresolved(1,1026,1,1)" << "";
    QTest::newRow("tr whole period without sync") << "settimeresolved(0,0,10,1)" << "sync";
    QTest::newRow("tr whole period, sync unstable") << "settimeresolved(0,0,10,1)" << "unstable";
    QTest::newRow("voltages without session") << "setscanvoltages(-10,10,1)" << "config";
    QTest::newRow("check fails") << "sleep(0)" << "";
}

void TestJobScript::refusedInBothPasses()
{
    QFETCH(QString, line);
    QFETCH(QString, world);
    host->connected = world != "connection";
    host->syncHz = world == "sync" ? 0 : world == "unstable" ? -1 : 1000;
    host->hasConfig = world != "config";
    const QMap<QString, QString> before = host->record.toMap();
    JobRunner r(*host);
    for (bool test : {true, false}) {
        QVERIFY(!r.run(line, test));
        QVERIFY(!r.lastError().isEmpty());
    }
    QCOMPARE(host->record.toMap(), before);
    QVERIFY2(host->calls.isEmpty(), qPrintable(host->calls.join('|')));
}

void TestJobScript::timeResolvedWholePeriod_data()
{
    QTest::addColumn<double>("syncHz");
    QTest::addColumn<double>("resolution");
    QTest::addColumn<bool>("ok");
    QTest::newRow("1 kHz: 100 frames") << 1000.0 << 10.0 << true;
    QTest::newRow("1 kHz: 1024 frames of 0.9765625 us") << 1000.0 << 0.9765625 << true;
    QTest::newRow("50 Hz: 2000 frames") << 50.0 << 10.0 << false;
}

void TestJobScript::timeResolvedWholePeriod()
{
    QFETCH(double, syncHz);
    QFETCH(double, resolution);
    QFETCH(bool, ok);
    host->syncHz = syncHz;
    JobRunner r(*host);
    const QString line = QString("settimeresolved(0,0,%1,1)").arg(resolution, 0, 'g', 17);
    QCOMPARE(r.run(line, true), ok);
    QCOMPARE(r.run(line, false), ok);
    if (ok) {
        QVERIFY(host->record.sync.bUseSyncScan);
        QCOMPARE(host->record.sync.duration, 0.0); // the whole period, as the panel keeps it
        QCOMPARE(host->record.sync.resolution, resolution);
        QVERIFY(host->record.sync.averaging);
    } else {
        QCOMPARE(r.lastError(), QString("2000 frames; at most 1024"));
        QVERIFY(!host->record.sync.bUseSyncScan);
    }
}

void TestJobScript::currentRangeChoice_data()
{
    QTest::addColumn<double>("amperes");
    QTest::addColumn<int>("range");
    QTest::newRow("largest") << 0.1 << 0;
    QTest::newRow("between") << 0.015 << 1;
    QTest::newRow("exact") << 0.002 << 3;
    QTest::newRow("tiny") << 1e-9 << 5;
    QTest::newRow("above all") << 0.2 << -1;
    QTest::newRow("tie picks first") << 0.01 << 2;
}

void TestJobScript::currentRangeChoice()
{
    QFETCH(double, amperes);
    QFETCH(int, range);
    QVector<double> scales = host->ranges;
    if (QByteArray(QTest::currentDataTag()) == "tie picks first")
        scales[3] = 0.01;
    QCOMPARE(JobScript::rangeCovering(scales, amperes), range);
    if (range >= 0 && scales == host->ranges) {
        JobRunner r(*host);
        QVERIFY(r.run(QString("setcurrentrange(%1)").arg(amperes, 0, 'g', 17), false));
        QCOMPARE(int(host->record.userChosenCMRange), range);
        QVERIFY(!host->record.useAutoCMRange);
    }
}

void TestJobScript::saveWritesACopy()
{
    host->data.setFileName("/somewhere/own.ldf");
    host->data.setComment("job session");
    JobRunner r(*host, m_dir.path());
    QVERIFY2(r.run("save(copy.ldf)", false), qPrintable(r.lastError()));
    QCOMPARE(host->data.fileName(), QString("/somewhere/own.ldf"));
    DataAnalyzer back;
    QString why;
    QVERIFY2(SessionFile::load(back, m_dir.filePath("copy.ldf"), &why), qPrintable(why));
    QCOMPARE(back.comment(), QString("job session"));
    host->hasSession = false;
    QVERIFY(!r.run("save(copy2.ldf)", false));
    QVERIFY(!QFile::exists(m_dir.filePath("copy2.ldf")));
}

void TestJobScript::saveRefusesAFileThatAppeared()
{
    QTemporaryDir dir;
    BatchJob job(*host, "save(out.ldf)", dir.path());
    QVERIFY(job.test());
    QFile appeared(dir.filePath("out.ldf"));
    QVERIFY(appeared.open(QIODevice::WriteOnly));
    appeared.write("someone else's");
    appeared.close();
    QCOMPARE(job.run(), 1); // the save line failed
    QVERIFY(appeared.open(QIODevice::ReadOnly));
    QCOMPARE(appeared.readAll(), QByteArray("someone else's"));
}

void TestJobScript::saveReportsWriteFailures()
{
    QTemporaryDir dir;
    JobRunner r(*host, dir.path());
    host->data.setComment(QString(70000, 'x'));
    {
        // Opening works, writing does not (a full disk): the line fails, says
        // so, and leaves no file behind.
        FileSizeLimit limit(1000);
        QVERIFY(limit.active());
        QVERIFY(!r.run("save(full.ldf)", false));
    }
    QVERIFY2(r.lastError().startsWith("Cannot write file [" + dir.filePath("full.ldf") + "]"),
             qPrintable(r.lastError()));
    QCOMPARE(host->calls, QStringList{"critical Cannot write file [" + dir.filePath("full.ldf") + "]"});
    QVERIFY(!QFile::exists(dir.filePath("full.ldf")));
    host->calls.clear();
    QVERIFY(!r.run("save(/proc/nowhere.ldf)", false)); // cannot be opened
    QCOMPARE(host->calls, QStringList{"critical Cannot write file [/proc/nowhere.ldf]"});
    // Something that is not a plain file is never replaced.
    QDir(dir.path()).mkdir("folder.ldf");
    QVERIFY(!r.run("save(folder.ldf)", false));
    QVERIFY(QFileInfo(dir.filePath("folder.ldf")).isDir());
}

void TestJobScript::jobTestPassMarksLines()
{
    const QString text = "setscanvoltages(-40,20,0.5)\r\n\n  scan  \nsleep(0)\nsetscanvoltages(50,-100,1)\nbogus\n"
                         "  # what this job is for (sleep(0))\n";
    BatchJob job(*host, text);
    QCOMPARE(job.lines(), (QStringList{"setscanvoltages(-40,20,0.5)", "", "scan", "sleep(0)",
                                       "setscanvoltages(50,-100,1)", "bogus", "# what this job is for (sleep(0))", ""}));
    QVERIFY(!job.test());
    QCOMPARE(job.errors(), (QStringList{"", "", "", "Argument 1 must be an integer between 1 and 600",
                                        "Test run caught error. The start must lie below the end, at least one step apart.",
                                        "Invalid Command", "", ""}));
    QVERIFY(host->calls.isEmpty());
    BatchJob empty(*host, "");
    QVERIFY(empty.test());
    QCOMPARE(empty.lines().size(), 0);
    QCOMPARE(empty.run(), 0);
}

void TestJobScript::jobRunsOnAfterAFailureAndStopsOnAbort()
{
    host->scanResult = false;
    BatchJob job(*host, "scan\n# idle voltages\nsetidlevoltage(3)\nsleep(2)\nsetidlevoltage(4)");
    QVERIFY(job.test());
    QList<int> started;
    QStringList ended;
    BatchJob::Observer o;
    o.lineStarted = [&](int i) { started << i; };
    o.lineEnded = [&](int i, bool ok, const QString& why) { ended << QString("%1 %2 %3").arg(i).arg(ok).arg(why); };
    QCOMPARE(job.run(o), 1);
    QCOMPARE(started, (QList<int>{0, 2, 3, 4})); // the comment is not run
    QCOMPARE(ended.first(), QString("0 0 scan failed"));
    QCOMPARE(host->calls, (QStringList{"scan", "configChanged", "idle 3", "configChanged", "idle 4"}));
    QCOMPARE(job.errors().first(), QString("scan failed"));
    QVERIFY(!job.aborted());

    // Abort during the sleep: the sleep ends, no further line runs.
    host->calls.clear();
    host->scanResult = true;
    host->waits = 0;
    host->abortAfterWaits = 4; // 3 between-line waits, then the sleep's
    QCOMPARE(job.run(o), 0);
    QCOMPARE(host->calls, (QStringList{"scan", "configChanged", "idle 3"}));
    QVERIFY(job.aborted());
    QCOMPARE(job.linesRun(), 4);

    // Abort in the wait before a line: that line does not start.
    host->calls.clear();
    host->waits = 0;
    host->abortFlag = false;
    host->abortAfterWaits = 1;
    QCOMPARE(job.run(o), 0);
    QVERIFY(host->calls.isEmpty());
    QVERIFY(job.aborted());
    QCOMPARE(job.linesRun(), 0);
}

void TestJobScript::jobFileReading()
{
    QString text, error;
    QVERIFY(!BatchJob::readFile(m_dir.filePath("absent.txt"), &text, &error));
    QVERIFY(!error.isEmpty());
    QFile big(m_dir.filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(BatchJob::kMaxFileBytes + 1, '\n'));
    big.close();
    QVERIFY(!BatchJob::readFile(big.fileName(), &text, &error));
    QVERIFY(error.contains("larger"));
    QFile ok(m_dir.filePath("ok.txt"));
    QVERIFY(ok.open(QIODevice::WriteOnly));
    ok.write("scan\r\nsleep(1)\r\n");
    ok.close();
    QVERIFY(BatchJob::readFile(ok.fileName(), &text, &error));
    QCOMPARE(BatchJob(*host, text).lines(), (QStringList{"scan", "sleep(1)", ""}));
    // A NUL byte neither ends the file nor hides in a line: that line is refused.
    QFile nul(m_dir.filePath("nul.txt"));
    QVERIFY(nul.open(QIODevice::WriteOnly));
    nul.write(QByteArray("scan\0garbage\nsleep(1)\n", 22));
    nul.close();
    QVERIFY(BatchJob::readFile(nul.fileName(), &text, &error));
    BatchJob job(*host, text);
    QCOMPARE(job.lines(), (QStringList{QString::fromUtf8("scan\0garbage", 12), "sleep(1)", ""}));
    QVERIFY(!job.test());
    QCOMPARE(job.errors().first(), QString("The line holds a NUL byte."));
}

QTEST_GUILESS_MAIN(TestJobScript)
#include "tst_jobscript.moc"
