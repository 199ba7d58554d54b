// The command-line analyser: its text and settings parsers, its reports, and the program
// itself on the shipped sample, on bad input and on a session file.
#include "CliInput.h"
#include "DataAnalyzer.h"
#include "Report.h"
#include "SessionFile.h"
#include "SyntheticPlasma.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

struct Result {
    int code;
    QByteArray out, err;
};

Result runTool(const QStringList& args)
{
    QProcess proc;
    proc.start(QStringLiteral(LPANALYSE_PATH), args);
    proc.waitForFinished(60000);
    return Result{proc.exitCode(), proc.readAllStandardOutput(), proc.readAllStandardError()};
}

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

class TestLpAnalyse : public QObject {
    Q_OBJECT
private slots:
    void ivTextLayouts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QVector<double>>("V");
        QTest::addColumn<QVector<double>>("I");
        QTest::addColumn<QVector<double>>("stdI");
        QTest::newRow("two columns, comma") << QByteArray("1,2\n3,4\n") << false
                                            << QVector<double>{1, 3} << QVector<double>{2, 4} << QVector<double>{};
        QTest::newRow("blanks and comments") << QByteArray("# c\n 1  2e-3\n\n3\t4\n") << false
                                             << QVector<double>{1, 3} << QVector<double>{2e-3, 4} << QVector<double>{};
        QTest::newRow("three columns") << QByteArray("1;2;0.5\n3;4;0.25\n") << false
                                       << QVector<double>{1, 3} << QVector<double>{2, 4} << QVector<double>{0.5, 0.25};
        QTest::newRow("header in another order")
            << QByteArray("I [A],std(I),U [V]\r\n2,0.5,1\r\n4,0.25,3\r\n") << false
            << QVector<double>{1, 3} << QVector<double>{2, 4} << QVector<double>{0.5, 0.25};
        QTest::newRow("decimal comma") << QByteArray("voltage;current\n1,5;2,5\n") << true
                                       << QVector<double>{1.5} << QVector<double>{2.5} << QVector<double>{};
    }

    void ivTextLayouts()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, comma);
        QFETCH(QVector<double>, V);
        QFETCH(QVector<double>, I);
        QFETCH(QVector<double>, stdI);
        IvText iv;
        QString err;
        QVERIFY2(cli::parseIvText(text, "f.csv", comma, iv, err), qPrintable(err));
        QCOMPARE(iv.V, V);
        QCOMPARE(iv.I, I);
        QCOMPARE(iv.stdI, stdI);
    }

    void ivTextErrorsNameFileAndLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("word in data") << QByteArray("v,i\n1,2\n3,abc\n") << "f.csv:3: column 2 is not a number: \"abc\"";
        QTest::newRow("short line") << QByteArray("1,2,3,4\n1,2\n") << "f.csv:2: expected 4 columns, found 2";
        QTest::newRow("one column") << QByteArray("\n5\n") << "f.csv:2: expected at least two columns (voltage, current), found 1";
        QTest::newRow("no data") << QByteArray("voltage,current\n") << "f.csv:2: no data lines";
        QTest::newRow("two voltage columns") << QByteArray("voltage,current,volts\n1,2,3\n") << "f.csv:1: the header names more than one voltage column";
        QTest::newRow("header without columns") << QByteArray("a,b\n1,2\n") << "f.csv:1: the header names no voltage and current column (expected e.g. voltage,current,std_voltage,std_current)";
    }

    void ivTextErrorsNameFileAndLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        IvText iv;
        QString err;
        QVERIFY(!cli::parseIvText(text, "f.csv", false, iv, err));
        QCOMPARE(err, message);
    }

    void settingsText()
    {
        LangmuirSettings s;
        QString err;
        QVERIFY(cli::parseSettingsText("# probe\nprobe_radius = 0.0003\n\nbUseUserVp=1\n", "s.txt", s, err));
        QCOMPARE(s.probeRadius, 0.0003);
        QVERIFY(s.bUseUserVp);
        QVERIFY(!cli::parseSettingsText("kfactor = 2\nbogus = 1\n", "s.txt", s, err));
        QCOMPARE(err, QString("s.txt:2: unknown setting \"bogus\": unknown setting"));
        QVERIFY(!cli::parseSettingsText("gas_temperature = 0\n", "s.txt", s, err));
        QCOMPARE(err, QString("s.txt:1: bad value for \"gas_temperature = 0\": must be greater than 0"));
        QVERIFY(!cli::parseSettingsText("just words\n", "s.txt", s, err));
        QCOMPARE(err, QString("s.txt:1: expected name = value"));
    }

    void scanReproducesMeansAndDeviations()
    {
        IvText iv;
        iv.V = {-50, 0, 7.25};
        iv.I = {-1e-4, 2e-5, 3e-3};
        iv.stdV = {0.01, 0, 0.02};
        iv.stdI = {1e-6, 3e-7, 2e-5};
        for (int sweeps : {2, 5}) {
            const ScanRecord s = cli::scanFromIvText(iv, sweeps);
            QCOMPARE(s.accumulated.count(), sweeps);
            for (int i = 0; i < 3; ++i) {
                QVERIFY(qAbs(s.accumulated.meanVoltage(i) - iv.V[i]) < 1e-12);
                QVERIFY(qAbs(s.accumulated.meanCurrent(i) / iv.I[i] - 1) < 1e-12);
                QVERIFY(qAbs(s.accumulated.voltageDeviation(i) - iv.stdV[i]) < 1e-6);
                QVERIFY(qAbs(s.accumulated.currentDeviation(i) / iv.stdI[i] - 1) < 1e-6);
            }
        }
        iv.stdV.clear();
        iv.stdI.clear();
        QCOMPARE(cli::scanFromIvText(iv, 5).accumulated.count(), 1); // no deviations: one sweep
    }

    void reportsAreLocaleFree()
    {
        ScanRecord s;
        s.result.setValue(ResultRecord::eKTe, 2.5);
        s.result.setValue(ResultRecord::eNe, 1.234567e16);
        s.error = "Say \"hi\"";
        s.eepf.energy = {0.5, 1};
        s.eepf.EEDF = {1e15, 2e15};
        s.eepf.EEDF_error = {1e13, qQNaN()};
        s.eepf.EEDF_low_error = {1e13, 0};
        const QVector<ReportEntry> e{{"a.csv", 0, 0, &s}};
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QByteArray json = report::json(e, true), csv = report::csv(e, false);
        QLocale::setDefault(saved);
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
        QVERIFY2(pe.error == QJsonParseError::NoError, qPrintable(pe.errorString()));
        const QJsonObject scan = doc.object().value("scans").toArray().at(0).toObject();
        QCOMPARE(scan.value("error").toString(), QString("Say \"hi\""));
        const QJsonObject r = scan.value("results").toObject();
        QCOMPARE(r.size(), 32);
        QCOMPARE(r.value("kTe").toDouble(), 2.5);
        QCOMPARE(r.value("Ne").toDouble(), 1.23457e16);
        QVERIFY(r.value("Vp").isNull());
        QCOMPARE(scan.value("eepf").toObject().value("EEDF_error").toArray().at(1).type(), QJsonValue::Null);
        const QList<QByteArray> lines = csv.split('\n');
        QVERIFY(lines[0].startsWith("file,group,scan,error,Vpmax,Vpmax_error,Vp,"));
        QVERIFY(lines[1].startsWith("\"a.csv\",0,0,\"Say \"\"hi\"\"\",nan,nan"));
        QVERIFY(lines[1].contains(",2.5,nan,"));
        QVERIFY(lines[1].contains(",1.23457e+16,"));
    }

    void programOnTheShippedSample()
    {
        const Result r = runTool({QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"), "--eepf"});
        QCOMPARE(r.code, 0);
        const QJsonObject scan = QJsonDocument::fromJson(r.out).object().value("scans").toArray().at(0).toObject();
        QCOMPARE(scan.value("error").toString(), QString());
        const QJsonObject res = scan.value("results").toObject();
        // The sample is a 3 eV, 1e16 m^-3 plasma with Vp = 5 V.
        QVERIFY(qAbs(res.value("kTe").toDouble() / 3 - 1) < 0.05);
        QVERIFY(qAbs(res.value("Vp").toDouble() - 5) < 0.2);
        QVERIFY(qAbs(res.value("Ne").toDouble() / 1e16 - 1) < 0.05);
        QVERIFY(res.value("kTe_error").toDouble() > 0);
        QCOMPARE(scan.value("eepf").toObject().value("energy").toArray().size(), 20);

        const Result csv = runTool({QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"),
                                    "--format", "csv", "--mode", "double"});
        QVERIFY(csv.out.startsWith("file,group,scan,error,"));
        QCOMPARE(csv.code, csv.out.contains(",\"\",") ? 0 : 1);
    }

    // The noisy sample (one sweep's worth of white noise, 1 % of the current at Vp) defeats the
    // plain analysis; --robust, or the setting by name, analyses it.
    void programRobustOption()
    {
        const QString sample = QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV_noisy.csv");
        const Result plain = runTool({sample});
        QCOMPARE(plain.code, 1);
        QVERIFY(plain.out.contains("\"error\": \"Unable to find Vp.\""));
        QVERIFY(!plain.err.contains("Noise-robust"));
        const Result robust = runTool({sample, "--robust"});
        QCOMPARE(robust.code, 0);
        QVERIFY(robust.err.contains("Noise-robust analysis: sigma "));
        QVERIFY(robust.err.contains("gate open, m "));
        const QJsonObject res = QJsonDocument::fromJson(robust.out).object().value("scans").toArray()
                                    .at(0).toObject().value("results").toObject();
        QVERIFY(qAbs(res.value("kTe").toDouble() / 3 - 1) < 0.1);
        QVERIFY(qAbs(res.value("Vp").toDouble() - 5) < 0.5);
        QVERIFY(qAbs(res.value("Ne").toDouble() / 1e16 - 1) < 0.1);
        QCOMPARE(runTool({sample, "--set", "noiseRobust=1"}).out, robust.out);
        QCOMPARE(runTool({sample, "--set", "noiseRobust=maybe"}).code, 2);
    }

    void programRefusesBadInput()
    {
        QTemporaryDir dir;
        const QString bad = dir.filePath("bad.csv");
        writeFile(bad, "voltage,current\n1,2\n2,x\n");
        Result r = runTool({bad});
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(QString::fromUtf8(r.err).trimmed(), QString("lpanalyse: %1:3: column 2 is not a number: \"x\"").arg(bad));
        r = runTool({dir.filePath("missing.csv")});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains("missing.csv: cannot open"));
        const QString good = dir.filePath("good.csv");
        writeFile(good, "-2,-1\n-1,1\n");
        QCOMPARE(runTool({good, "--mode", "triple"}).code, 2);
        QCOMPARE(runTool({good, "--set", "ionmass=0"}).err.trimmed(), QByteArray("lpanalyse: --set ionmass=0: must be greater than 0"));
        const QString table = dir.filePath("t.eepfTable");
        writeFile(table, "Energy;Resolution\n");
        QCOMPARE(runTool({good, "--eepf-table", table}).err.trimmed(),
                 (QString("lpanalyse: %1: Error - EEPF table File Corrupt.").arg(table)).toUtf8());
        // A curve that cannot be analysed still gets its report, with exit status 1.
        r = runTool({good});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.contains("\"error\": \"Unable to find Vp.\""));
    }

    void programReanalysesSessionFiles()
    {
        QTemporaryDir dir;
        DataAnalyzer d;
        for (int i = 0; i < 3; ++i) {
            synth::SingleProbe p;
            p.kTe = 2 + i;
            synth::Sweep sw;
            sw.seed = 9 + i;
            sw.relativeNoise = 0.01;
            ScanRecord s;
            s.scanType = ScanRecord::eSpatialRun;
            s.position = i;
            for (const auto& raw : synth::rawSweeps(p, sw))
                s.accumulated.add(raw.constData(), sw.points);
            d.addScan(s);
        }
        const QString path = dir.filePath("s.ldf");
        QString why;
        QVERIFY2(SessionFile::save(d, path, &why), qPrintable(why));
        d.analyseAll(1);
        const Result r = runTool({path});
        QCOMPARE(r.code, 0);
        const QJsonArray scans = QJsonDocument::fromJson(r.out).object().value("scans").toArray();
        QCOMPARE(scans.size(), 3);
        for (int g = 0; g < 3; ++g) {
            const QJsonObject o = scans.at(g).toObject();
            QCOMPARE(o.value("group").toInt(), g);
            const double kTe = o.value("results").toObject().value("kTe").toDouble();
            // Sums travel through the file with six significant digits.
            QVERIFY(qAbs(kTe / d.scansOfGroup(g)[0].result.value(ResultRecord::eKTe) - 1) < 1e-3);
        }
        writeFile(dir.filePath("broken.ldf"), "<measuredData sensor=\"Langmuir Probe\" version=\"4\"/>");
        const Result bad = runTool({dir.filePath("broken.ldf")});
        QCOMPARE(bad.code, 2);
        QVERIFY(bad.err.contains("broken.ldf"));
    }
};

QTEST_GUILESS_MAIN(TestLpAnalyse)
#include "tst_lpanalyse.moc"
