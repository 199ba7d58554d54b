// `lpmeasure --job FILE` as a user runs it, on the simulated unit: the
// example job measures and saves a session whose analysis finds the unit's
// plasma; a refused job exits 2 naming its lines; a line that fails in the
// run exits 1 naming it.
#include "DataAnalyzer.h"
#include "ResultRecord.h"
#include "SessionFile.h"

#include <SimControl.h>
#include <SimMeasurement.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <cstdio>

namespace {
struct Outcome {
    int exitCode = -1;
    QString out, err;
};
} // namespace

class TestJobCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void exampleJobMeasuresThePlasma();
    void refusedJobExitsTwo();
    void failingLineExitsOne();
    void commandLine_data();
    void commandLine();

private:
    Outcome run(const QString& job, const QString& simConfig, const QString& extra = QString());
    Outcome runArgs(const QStringList& args, const QString& simConfig);
    QString copyJob(const QString& name, const QString& text);
    QTemporaryDir m_dir;
};

Outcome TestJobCommand::run(const QString& job, const QString& simConfig, const QString& extra)
{
    QStringList args{"--job", job, "--probe-mode", "reference"};
    if (!extra.isEmpty())
        args << extra;
    return runArgs(args, simConfig);
}

Outcome TestJobCommand::runArgs(const QStringList& args, const QString& simConfig)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LPSIM_CONFIG", simConfig);
    env.insert("XDG_CONFIG_HOME", m_dir.filePath("config")); // the user's settings stay untouched
    env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
    p.setProcessEnvironment(env);
    p.start(LP_LPMEASURE, args);
    Outcome o;
    if (!p.waitForFinished(150000))
        return o;
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

QString TestJobCommand::copyJob(const QString& name, const QString& text)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.toUtf8());
    return path;
}

void TestJobCommand::exampleJobMeasuresThePlasma()
{
    QFile example(LP_EXAMPLE_JOB);
    QVERIFY(example.open(QIODevice::ReadOnly));
    const QString job = copyJob("example-job.txt", QString::fromUtf8(example.readAll()));
    const Outcome o = run(job, "speed=0");
    QVERIFY2(o.exitCode == 0, qPrintable(o.out + o.err.right(3000)));
    QVERIFY(o.out.contains("[User Message] Example job"));
    QVERIFY(o.out.contains("] scan\n"));
    QVERIFY(o.out.contains("Running Data Scan"));
    QVERIFY(o.out.contains("lpmeasure: job finished: 11 lines, 0 failed"));

    DataAnalyzer s;
    QString why;
    QVERIFY2(SessionFile::load(s, m_dir.filePath("example-job.ldf"), &why), qPrintable(why));
    QCOMPARE(s.groupCount(), 1);
    const int records = s.scansOfGroup(0).size();
    // Nine time points of the time-resolved window, 100 us apart; the
    // time-averaged scan of the position is the first record.
    QCOMPARE(records, 9);
    for (int k = 1; k < records; ++k)
        QVERIFY(std::fabs(s.scan(0, k)->resolvedTime - s.scan(0, k - 1)->resolvedTime - 100) < 0.1);

    qsim::reset(qsim::Config()); // the world lpmeasure measured: the defaults
    const qsim::PlasmaState truth = qsim::truePlasma(0, 0);
    for (int k : {0, 5}) {
        s.analyseScan(0, k);
        const ResultRecord& r = s.scan(0, k)->result;
        std::fprintf(stderr, "record %d: kTe %.3f (%.3f) Vp %.3f (%.3f) Vf %.3f (%.3f) Ne %.4g (%.4g)\n", k,
                     r.value(ResultRecord::eKTe), truth.kTe, r.value(ResultRecord::eVp), truth.Vp,
                     r.value(ResultRecord::eVf), truth.Vf, r.value(ResultRecord::eNe), truth.ne);
        QVERIFY(std::fabs(r.value(ResultRecord::eKTe) - truth.kTe) < 0.1 * truth.kTe);
        QVERIFY(std::fabs(r.value(ResultRecord::eVp) - truth.Vp) < 1.0);
        QVERIFY(std::fabs(r.value(ResultRecord::eVf) - truth.Vf) < 1.0);
        QVERIFY(std::fabs(r.value(ResultRecord::eNe) - truth.ne) < 0.25 * truth.ne);
    }
}

void TestJobCommand::refusedJobExitsTwo()
{
    const QString job = copyJob("refused.txt", "scan\nsleep(0)\nsettimeresolved(0,0,10,1)\nbogus(1)\n# bogus(2)\n");
    const Outcome o = run(job, "speed=0; sync.present=0");
    QCOMPARE(o.exitCode, 2);
    QVERIFY2(o.err.contains("line 2: sleep(0): Argument 1 must be an integer between 1 and 600\n"
                            "line 3: settimeresolved(0,0,10,1): Test run caught error. A duration of 0 needs a "
                            "SYNC signal; none is measured.\n"
                            "line 4: bogus(1): Invalid Command\n"),
             qPrintable(o.err.right(2000)));
    QVERIFY(!o.err.contains("line 1:"));
    QVERIFY(!o.err.contains("line 5:")); // a comment
    QVERIFY(!o.out.contains("[1/"));
}

void TestJobCommand::failingLineExitsOne()
{
    // No SYNC signal: the time-resolved scan cannot run; the job goes on.
    const QString job = copyJob("failing.txt", "settimeresolved(0,500,100,1)\nscan\nmessage(after)\n");
    const Outcome o = run(job, "speed=0; sync.present=0");
    QCOMPARE(o.exitCode, 1);
    QVERIFY2(o.err.contains("line 2 failed: scan: The measurement failed: "), qPrintable(o.err.right(2000)));
    QVERIFY(o.out.contains("[User Message] after"));
    QVERIFY(o.out.contains("lpmeasure: job finished: 4 lines, 1 failed"));
}

// Help and mistyped options answer at once, before anything connects or measures.
void TestJobCommand::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: lpmeasure [options] [session.ldf]" << "";
    QTest::newRow("h") << QStringList{"-h", "--job"} << 0 << "--job FILE" << "";
    QTest::newRow("unknown option") << QStringList{"--jobb", "x.txt"} << 2 << ""
                                    << "lpmeasure: unknown option --jobb (--help lists the options)";
    QTest::newRow("job without file") << QStringList{"--job"} << 2 << "" << "lpmeasure: --job needs a value";
    QTest::newRow("bad probe mode") << QStringList{"--job", "x.txt", "--probe-mode", "triple"} << 2 << ""
                                    << "lpmeasure: unknown probe mode triple";
    QTest::newRow("bad quit-after") << QStringList{"--quit-after=soon"} << 2 << ""
                                    << "lpmeasure: bad number of seconds for --quit-after: soon";
    QTest::newRow("bad port") << QStringList{"--server", "80000"} << 2 << ""
                              << "lpmeasure: bad port number for --server: 80000";
}

void TestJobCommand::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Outcome o = runArgs(args, "speed=0");
    QCOMPARE(o.exitCode, exitCode);
    QVERIFY2(o.out.contains(out), qPrintable(o.out));
    QVERIFY2(o.err.contains(err), qPrintable(o.err));
    QVERIFY(!o.out.contains("job finished"));
}

QTEST_GUILESS_MAIN(TestJobCommand)
#include "tst_jobcommand.moc"
