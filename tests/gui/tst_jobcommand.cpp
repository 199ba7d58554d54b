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
#include <sys/stat.h>

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
    void initTestCase();
    void exampleJobMeasuresThePlasma();
    void refusedJobExitsTwo();
    void failingLineExitsOne();
    void commandLine_data();
    void commandLine();
    void everySessionFileOpens();

private:
    Outcome run(const QString& job, const QString& simConfig, const QString& extra = QString());
    // `display` false: no display and no platform named, as over SSH.
    Outcome runArgs(const QStringList& args, const QString& simConfig, bool display = true);
    QString copyJob(const QString& name, const QString& text);
    QTemporaryDir m_dir;
    QString m_program; // a copy in a folder of its own: its own working folder
};

void TestJobCommand::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString bin = m_dir.filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    m_program = QDir(bin).filePath("lpmeasure");
    QVERIFY(QFile::copy(LP_LPMEASURE, m_program));
    QFile marker(m_program + ".build-tree"); // a build tree's program works in its own folder
    QVERIFY(marker.open(QIODevice::WriteOnly));
}

Outcome TestJobCommand::run(const QString& job, const QString& simConfig, const QString& extra)
{
    QStringList args{"--job", job, "--probe-mode", "reference"};
    if (!extra.isEmpty())
        args << extra;
    return runArgs(args, simConfig);
}

Outcome TestJobCommand::runArgs(const QStringList& args, const QString& simConfig, bool display)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!display)
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
    env.insert("LPSIM_CONFIG", simConfig);
    env.insert("XDG_CONFIG_HOME", m_dir.filePath("config")); // the user's settings stay untouched
    env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
    p.setProcessEnvironment(env);
    p.start(m_program, args);
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
    QFile plasma(LP_EXAMPLE_PLASMA);
    QVERIFY(plasma.open(QIODevice::ReadOnly));
    const QString world = QString::fromUtf8(plasma.readAll()) + "\nspeed=0\n";
    const Outcome o = run(job, world);
    QVERIFY2(o.exitCode == 0, qPrintable(o.out + o.err.right(3000)));
    QVERIFY(o.out.contains("[User Message] Example job"));
    QVERIFY(o.out.contains("] scan\n"));
    // Each scan line tells the sweep it ran: the initial scan's window, then the job's.
    QVERIFY2(o.out.contains(QRegularExpression("scan: -?\\d+\\.\\d \u2026 -?\\d+\\.\\d V, \\d+ points "
                                               "\\(voltages optimised by the initial scan\\)\n")),
             qPrintable(o.out));
    QVERIFY2(o.out.contains("scan: -40.0 \u2026 19.9 V, 241 points, 8 time points\n"), qPrintable(o.out));
    QVERIFY(o.out.contains("lpmeasure: job finished: 12 lines, 0 failed"));
    // A quiet console: the job's lines, results and a few status texts, no driver lines.
    const int lines = (o.out + o.err).count('\n');
    QVERIFY2(lines < 40 && !o.err.contains("[DEB"), qPrintable(QString::number(lines) + "\n" + o.err.left(2000)));

    // The world lpmeasure measured.
    qsim::Config c;
    QVERIFY(qsim::parseConfig(world.toStdString(), c));
    qsim::reset(c);
    auto close = [](const ResultRecord& r, const qsim::PlasmaState& truth) {
        std::fprintf(stderr, "kTe %.3f (%.3f) Vp %.3f (%.3f) Ne %.4g (%.4g)\n", r.value(ResultRecord::eKTe), truth.kTe,
                     r.value(ResultRecord::eVp), truth.Vp, r.value(ResultRecord::eNe), truth.ne);
        return std::fabs(r.value(ResultRecord::eKTe) - truth.kTe) < 0.1 * truth.kTe
            && std::fabs(r.value(ResultRecord::eVp) - truth.Vp) < 1.0
            && std::fabs(r.value(ResultRecord::eNe) - truth.ne) < 0.25 * truth.ne;
    };
    // Two files: the time-averaged session lies between the pulse's phases ...
    DataAnalyzer averaged;
    QString why;
    QVERIFY2(SessionFile::load(averaged, m_dir.filePath("example-time-averaged.ldf"), &why), qPrintable(why));
    QCOMPARE(averaged.scanCount(), 1);
    averaged.analyseScan(0, 0);
    const double kTe = averaged.scan(0, 0)->result.value(ResultRecord::eKTe);
    QVERIFY2(kTe < qsim::truePlasma(30e-6, 0).kTe && kTe > qsim::truePlasma(90e-6, 0).kTe, qPrintable(QString::number(kTe)));
    // ... and the time-resolved one follows it, 10 us apart.
    DataAnalyzer resolved;
    QVERIFY2(SessionFile::load(resolved, m_dir.filePath("example-time-resolved.ldf"), &why), qPrintable(why));
    QCOMPARE(resolved.groupCount(), 1);
    QCOMPARE(resolved.scansOfGroup(0).size(), 8);
    for (int k = 1; k < 8; ++k)
        QVERIFY(std::fabs(resolved.scan(0, k)->resolvedTime - resolved.scan(0, k - 1)->resolvedTime - 10) < 0.1);
    for (int k : {2, 7}) {
        resolved.analyseScan(0, k);
        QVERIFY(close(resolved.scan(0, k)->result, qsim::truePlasma(resolved.scan(0, k)->resolvedTime * 1e-6, 0)));
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
    // The run's alerts are printed once (its box), the failed line points at them.
    QVERIFY2(o.err.contains("line 2 failed: scan: The measurement failed (the alerts above)\n"),
             qPrintable(o.err.right(2000)));
    QCOMPARE((o.out + o.err).count("[ERROR] Scan: "), 1);
    QVERIFY(o.out.contains("[User Message] after"));
    QVERIFY(o.out.contains("lpmeasure: job finished: 4 lines, 1 failed"));
}

// Help and mistyped options answer at once, before anything connects or
// measures, also without a display; a job runs without one.
void TestJobCommand::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<bool>("display");
    const QString fifo = m_dir.filePath("fifo.txt");
    QFile::remove(fifo);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString hello = copyJob("hello.txt", "message(hello)\n");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: lpmeasure [options] [session.ldf...]" << "" << true;
    QTest::newRow("h") << QStringList{"-h", "--job"} << 0 << "--job FILE" << "" << true;
    QTest::newRow("unknown option") << QStringList{"--jobb", "x.txt"} << 2 << ""
                                    << "lpmeasure: unknown option --jobb (--help lists the options)" << true;
    QTest::newRow("job without file") << QStringList{"--job"} << 2 << "" << "lpmeasure: --job needs a value" << true;
    QTest::newRow("bad probe mode") << QStringList{"--job", "x.txt", "--probe-mode", "triple"} << 2 << ""
                                    << "lpmeasure: unknown probe mode triple" << true;
    QTest::newRow("bad quit-after") << QStringList{"--quit-after=soon"} << 2 << ""
                                    << "lpmeasure: bad number of seconds for --quit-after: soon" << true;
    QTest::newRow("bad port") << QStringList{"--server", "80000"} << 2 << ""
                              << "lpmeasure: bad port number for --server: 80000" << true;
    QTest::newRow("unknown option, no display") << QStringList{"--jobb", "x.txt"} << 2 << ""
                                                << "lpmeasure: unknown option --jobb" << false;
    QTest::newRow("job, no display") << QStringList{"--job", hello, "--probe-mode", "reference"} << 0
                                     << "[User Message] hello" << "" << false;
    QTest::newRow("job with a server") << QStringList{"--job", hello, "--server", "0", "--probe-mode", "reference"}
                                       << 0 << "lpmeasure: data server listening on port " << "" << true;
    QTest::newRow("job from a FIFO") << QStringList{"--job", fifo} << 2 << ""
                                     << QString("\"%1\" is not a regular file").arg(fifo) << true;
}

void TestJobCommand::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(bool, display);
    const Outcome o = runArgs(args, "speed=0", display);
    QVERIFY2(o.exitCode == exitCode, qPrintable(o.out + o.err));
    QVERIFY2(o.out.contains(out), qPrintable(o.out));
    QVERIFY2(o.err.contains(err), qPrintable(o.err));
    if (exitCode != 0)
        QVERIFY(!o.out.contains("job finished"));
}

// Every session file named opens, each in its window: one that cannot be opened is
// reported even where a readable one follows it.
void TestJobCommand::everySessionFileOpens()
{
    DataAnalyzer empty;
    const QString readable = m_dir.filePath("readable.ldf");
    QString why;
    QVERIFY2(SessionFile::save(empty, readable, &why), qPrintable(why));
    const QString missing = m_dir.filePath("missing.ldf");
    const Outcome o = runArgs({"--quit-after=2", missing, readable}, "speed=0");
    QCOMPARE(o.exitCode, 0);
    QVERIFY2(o.err.contains("lpmeasure: cannot open session file " + missing), qPrintable(o.err));
    QVERIFY2(!o.err.contains("cannot open session file " + readable), qPrintable(o.err));
}

QTEST_GUILESS_MAIN(TestJobCommand)
#include "tst_jobcommand.moc"
