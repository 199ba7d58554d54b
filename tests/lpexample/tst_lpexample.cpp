// The example-session maker's command line: help and bad arguments never measure or write.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestLpExample : public QObject {
    Q_OBJECT
private slots:
    void helpWritesNoFile()
    {
        QTemporaryDir dir;
        QProcess proc;
        proc.setWorkingDirectory(dir.path());
        proc.start(QStringLiteral(LPEXAMPLE_PATH), {"--help"});
        QVERIFY(proc.waitForFinished(30000));
        QCOMPARE(proc.exitCode(), 0);
        QVERIFY(proc.readAllStandardOutput().contains("out.ldf [sweeps]"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    void badArgumentsExit2_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("nothing") << QStringList{} << QByteArray("lpexample: no output file (see --help)");
        QTest::newRow("unknown option") << QStringList{"--bogus", "a.ldf"}
                                        << QByteArray("lpexample: Unknown option 'bogus'. (see --help)");
        QTest::newRow("zero sweeps") << QStringList{"a.ldf", "0"}
                                     << QByteArray("lpexample: sweeps: expected a whole number from 1 to 1000, got \"0\" (see --help)");
        QTest::newRow("word for sweeps") << QStringList{"a.ldf", "many"}
                                         << QByteArray("lpexample: sweeps: expected a whole number from 1 to 1000, got \"many\" (see --help)");
        QTest::newRow("extra argument") << QStringList{"a.ldf", "4", "b.ldf"}
                                        << QByteArray("lpexample: unexpected argument \"b.ldf\" (see --help)");
    }

    void badArgumentsExit2()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        QProcess proc;
        proc.setWorkingDirectory(dir.path());
        proc.start(QStringLiteral(LPEXAMPLE_PATH), args);
        QVERIFY(proc.waitForFinished(30000));
        QCOMPARE(proc.exitCode(), 2);
        QCOMPARE(proc.readAllStandardError().trimmed(), message);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestLpExample)
#include "tst_lpexample.moc"
