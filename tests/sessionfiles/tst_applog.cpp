#include "AppLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstAppLog : public QObject
{
    Q_OBJECT

private slots:
    void newFileStartsWithBanner();
    void fileChoiceBySize_data();
    void fileChoiceBySize();
    void newestNameWinsAndSymlinksAreSkipped();
    void entriesEndInOneNewline();
    void switchedOffLogsNothing();
    void instanceIsSharedAndSurvivesOwner();

private:
    static QByteArray readAll(const QString &name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeBytes(const QString &name, qint64 size)
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(QByteArray(int(size), 'x')) == size);
    }
};

void TstAppLog::newFileStartsWithBanner()
{
    QTemporaryDir dir;
    AppLog log(dir.path(), "1.2.3", "controller library");
    const QString name = QFileInfo(log.fileName()).fileName();
    QVERIFY2(QRegularExpression("^vesk_\\d{14}\\.log$").match(name).hasMatch(), qPrintable(name));
    const QString text = QString::fromLocal8Bit(readAll(log.fileName()));
    const QStringList lines = text.split('\n');
    QCOMPARE(lines.value(0), QString());
    QCOMPARE(lines.value(1), QString());
    QCOMPARE(lines.value(2), QString("************************ Logged by VESK Logger ************************"));
    QCOMPARE(lines.value(3), QString("\tSoftware Version: 2.7.0"));
    QVERIFY(lines.value(4).startsWith("\tSoftware Description: Qt "));
    QCOMPARE(lines.value(5), QString("\tAPI Version: 1.2.3"));
    QCOMPARE(lines.value(6), QString("\tAPI Description: controller library"));
    QVERIFY(QRegularExpression("^\tLog Creation Date: [A-Z][a-z]{2} \\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$")
                .match(lines.value(7)).hasMatch());
    QCOMPARE(lines.value(8), QString(71, '*'));
    QCOMPARE(lines.size(), 10); // final newline leaves one empty piece
}

void TstAppLog::fileChoiceBySize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("reused");
    QTest::newRow("well below the limit") << qint64(100000) << true;
    QTest::newRow("exactly at the limit") << qint64(102400) << true;
    QTest::newRow("just past the limit") << qint64(102401) << false;
}

void TstAppLog::fileChoiceBySize()
{
    QFETCH(qint64, size);
    QFETCH(bool, reused);
    QTemporaryDir dir;
    const QString old = dir.filePath("vesk_20000101000000.log");
    writeBytes(old, size);
    AppLog log(dir.path(), "v", "d");
    log.log("entry");
    QCOMPARE(log.fileName() == old, reused);
    const QByteArray oldBytes = readAll(old);
    if (reused) {
        QVERIFY(oldBytes.size() > size);
        QVERIFY(oldBytes.mid(int(size)).startsWith("\n\n****"));
        QVERIFY(oldBytes.endsWith("entry\n"));
    } else {
        QCOMPARE(oldBytes.size(), int(size));
        QVERIFY(readAll(log.fileName()).endsWith("entry\n"));
    }
}

void TstAppLog::newestNameWinsAndSymlinksAreSkipped()
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("vesk_20200101000000.log"), 10);
    writeBytes(dir.filePath("vesk_20210101000000.log"), 10);
    writeBytes(dir.filePath("other.log"), 10);
    // A link with a newer name is not a log of ours.
    QVERIFY(QFile::link(dir.filePath("vesk_20200101000000.log"), dir.filePath("vesk_20990101000000.log")));
    AppLog log(dir.path(), "v", "d");
    QCOMPARE(log.fileName(), dir.filePath("vesk_20210101000000.log"));
}

void TstAppLog::entriesEndInOneNewline()
{
    QTemporaryDir dir;
    AppLog log(dir.path(), "v", "d");
    const int bannerSize = readAll(log.fileName()).size();
    log.log("already ends\n");
    log.log(QStringList{"first", "second\n"});
    log.log("Umlaut \u00e4");
    const QByteArray tail = readAll(log.fileName()).mid(bannerSize);
    QCOMPARE(QString::fromLocal8Bit(tail), QString("already ends\nfirst\nsecond\nUmlaut \u00e4\n"));
}

void TstAppLog::switchedOffLogsNothing()
{
    QTemporaryDir dir;
    AppLog::setEnabled(false);
    AppLog log(dir.path(), "v", "d");
    AppLog::setEnabled(true);
    log.log("dropped");
    QVERIFY(log.fileName().isEmpty());
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TstAppLog::instanceIsSharedAndSurvivesOwner()
{
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    {
        QObject owner;
        AppLog *a = AppLog::instance(&owner, "v", "d");
        QCOMPARE(AppLog::instance(), a);
        QCOMPARE(a->parent(), &owner);
        QCOMPARE(QFileInfo(a->fileName()).absolutePath(), QFileInfo(dir.path()).canonicalFilePath());
    }
    // The owner took the logger with it; the next call makes a fresh one.
    AppLog *b = AppLog::instance();
    QVERIFY(b);
    b->log("after");
    QVERIFY(readAll(b->fileName()).endsWith("after\n"));
    delete b;
    QDir::setCurrent(saved);
}

QTEST_GUILESS_MAIN(TstAppLog)
#include "tst_applog.moc"
