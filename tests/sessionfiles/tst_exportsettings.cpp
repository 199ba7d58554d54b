#include "ExportSettings.h"
#include "FileSizeLimit.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstExportSettings : public QObject
{
    Q_OBJECT

private slots:
    void missingFileKeepsDefaults();
    void fileTextAndRoundTrip();
    void readTakesPresentKeysOnly_data();
    void readTakesPresentKeysOnly();
    void unwritablePlaceReportsFailure();
};

void TstExportSettings::missingFileKeepsDefaults()
{
    QTemporaryDir dir;
    ExportSettings s;
    QVERIFY(!s.load(dir.filePath("none.xml")));
    QCOMPARE(s, ExportSettings());
    QCOMPARE(s.separator, QString(";"));
    QVERIFY(s.header && s.ivData);
    QVERIFY(!s.results && !s.eepf && !s.derivative && !s.secondDerivative && !s.doubleProbeCorrected
            && !s.errors && !s.electronCurrent);
}

void TstExportSettings::fileTextAndRoundTrip()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(".settings/ExportSettings.xml");
    ExportSettings out;
    out.separator = ",";
    out.results = true;
    out.ivData = false;
    out.secondDerivative = true;
    out.doubleProbeSession = true;
    QVERIFY(out.save(name)); // creates the folder

    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<settings>\n"
                                "    <Export2ndDerivative>1</Export2ndDerivative>\n"
                                "    <ExportDerivative>0</ExportDerivative>\n"
                                "    <ExportDoubleProbeCorrected>0</ExportDoubleProbeCorrected>\n"
                                "    <ExportEEDF>0</ExportEEDF>\n"
                                "    <ExportElectronCurrent>0</ExportElectronCurrent>\n"
                                "    <ExportErrors>0</ExportErrors>\n"
                                "    <ExportHeader>1</ExportHeader>\n"
                                "    <ExportIVData>0</ExportIVData>\n"
                                "    <ExportResults>1</ExportResults>\n"
                                "    <ExportSeparator>,</ExportSeparator>\n"
                                "</settings>\n";
    QCOMPARE(f.readAll(), expected);

    ExportSettings in;
    QVERIFY(in.load(name));
    out.doubleProbeSession = false; // not stored
    QCOMPARE(in, out);
}

void TstExportSettings::readTakesPresentKeysOnly_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("readOk");
    QTest::addColumn<bool>("errors");
    QTest::addColumn<bool>("header");
    QTest::addColumn<QString>("separator");
    QTest::newRow("one key") << QByteArray("<settings><ExportErrors>1</ExportErrors></settings>") << true << true
                             << true << ";";
    QTest::newRow("flag other than 1 is off")
        << QByteArray("<settings><ExportHeader>2</ExportHeader><ExportErrors>yes</ExportErrors></settings>") << true
        << false << false << ";";
    QTest::newRow("tab separator") << QByteArray("<settings><ExportSeparator>\t</ExportSeparator></settings>")
                                   << true << false << true << "\t";
    QTest::newRow("wrong root") << QByteArray("<options><ExportErrors>1</ExportErrors></options>") << false << false
                                << true << ";";
    QTest::newRow("broken document") << QByteArray("<settings><ExportErrors>1</ExportErrors><Expo") << false
                                     << false << true << ";";
    QTest::newRow("empty") << QByteArray() << false << false << true << ";";
}

void TstExportSettings::readTakesPresentKeysOnly()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, readOk);
    QFETCH(bool, errors);
    QFETCH(bool, header);
    QFETCH(QString, separator);
    QBuffer buf(&xml);
    QVERIFY(buf.open(QIODevice::ReadOnly));
    ExportSettings s;
    QCOMPARE(s.read(buf), readOk);
    QCOMPARE(s.errors, errors);
    QCOMPARE(s.header, header);
    QCOMPARE(s.separator, separator);
    QVERIFY(s.ivData);
}

void TstExportSettings::unwritablePlaceReportsFailure()
{
    QTemporaryDir dir;
    // A plain file where the folder should be.
    QFile blocker(dir.filePath(".settings"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!ExportSettings().save(dir.filePath(".settings/ExportSettings.xml")));

    // A save that fails part way leaves the previous file as it was.
    const QString name = dir.filePath("ok/ExportSettings.xml");
    ExportSettings first;
    first.errors = true;
    QVERIFY(first.save(name));
    {
        FileSizeLimit limit(100);
        QVERIFY(limit.active());
        QVERIFY(!ExportSettings().save(name));
    }
    ExportSettings back;
    QVERIFY(back.load(name));
    QVERIFY(back.errors);
    QCOMPARE(QDir(dir.filePath("ok")).entryList(QDir::Files), QStringList{"ExportSettings.xml"});
}

QTEST_GUILESS_MAIN(TstExportSettings)
#include "tst_exportsettings.moc"
