// The driver log: exact line formats, file name, one line per event even
// when outside text is long, and whole lines from concurrent writers.
#include "SimTestSupport.h"

#include <QFile>
#include <QThread>

#include <vector>

class TestDriverLog : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QStringList fileLines(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() { setUpLibraryTests(dir); }
    void init() { capturedLog().clear(); }

    void formatsAndLevels()
    {
        const QString path = dir.filePath("formats.log");
        setDriverLogFileName(path);
        QCOMPARE(driverLogFileName(), path);
        driverLog(LogLevel::Deb, "/some/where/VeskbDrv.cpp", 7, "Setting %s probe mode.", "double");
        driverLog(LogLevel::Warn, "CQuickUsb.cpp", 1234, "close() : %s", "QUSB_NOT_OPEN");
        driverLog(LogLevel::Crit, "VeskbDrv.cpp", 12345, "n=%d", 3);
        const QStringList expected = {
            "[DEB         VeskbDrv,   7] Setting double probe mode.",
            "[WARN        CQuickUsb,1234] close() : QUSB_NOT_OPEN",
            "[CRIT         VeskbDrv,12345] n=3",
        };
        QCOMPARE(fileLines(path), expected);
        QCOMPARE(capturedLog(), QStringList({"debug|" + expected[0], "warning|" + expected[1],
                                             "critical|" + expected[2]}));
    }

    void lineIsReopenedEachTime()
    {
        // The file may be removed between lines (log rotation): the next line recreates it.
        const QString path = dir.filePath("reopen.log");
        setDriverLogFileName(path);
        driverLog(LogLevel::Deb, "A.cpp", 1, "first");
        QVERIFY(QFile::remove(path));
        driverLog(LogLevel::Deb, "A.cpp", 2, "second");
        QCOMPARE(fileLines(path), QStringList({"[DEB                A,   2] second"}));
    }

    void unwritableFileStillReachesHandler()
    {
        setDriverLogFileName(dir.filePath("no/such/folder/x.log"));
        driverLog(LogLevel::Warn, "A.cpp", 1, "still %s", "seen");
        QCOMPARE(logLinesWith("still seen").size(), 1);
    }

    void longLinesAreWrittenWhole()
    {
        const QString path = dir.filePath("long.log");
        setDriverLogFileName(path);
        const std::string reply(5000, 'x');
        driverLog(LogLevel::Warn, "CQuickUsb.cpp", 9, "reply |%s| end", reply.c_str());
        // Exactly at the old buffer's limit: 1023 characters stay identical.
        const std::string fill(1023 - 28, 'y');
        driverLog(LogLevel::Deb, "CQuickUsb.cpp", 9, "%s", fill.c_str());
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], "[WARN        CQuickUsb,   9] reply |" + QString(5000, 'x') + "| end");
        QCOMPARE(lines[1].size(), 1023);
        QVERIFY(lines[1].endsWith("yyy"));
    }

    void concurrentWritersKeepWholeLines()
    {
        const QString path = dir.filePath("threads.log");
        setDriverLogFileName(path);
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        std::vector<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads.push_back(QThread::create([t] {
                for (int i = 0; i < 200; ++i)
                    driverLog(LogLevel::Deb, "T.cpp", t, "thread %d line %d %s", t, i,
                              "abcdefghijklmnopqrstuvwxyz0123456789");
            }));
            threads.back()->start();
        }
        for (QThread *th : threads) {
            th->wait();
            delete th;
        }
        qInstallMessageHandler(captureHandler);
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 800);
        const QRegularExpression whole(
            "^\\[DEB                T,   \\d\\] thread \\d line \\d+ abcdefghijklmnopqrstuvwxyz0123456789$");
        for (const QString &l : lines)
            QVERIFY2(whole.match(l).hasMatch(), qPrintable(l));
    }
};

QTEST_GUILESS_MAIN(TestDriverLog)
#include "tst_driverlog.moc"
