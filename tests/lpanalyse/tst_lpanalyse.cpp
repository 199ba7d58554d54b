// The command-line analyser: its text and settings parsers, its reports, and the program
// itself on the shipped sample, on bad input and on a session file.
#include "IvText.h"
#include "ErrorText.h"
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

Result runTool(const QStringList& args, const char* program = LPANALYSE_PATH)
{
    QProcess proc;
    proc.start(QString::fromUtf8(program), args);
    proc.waitForFinished(60000);
    return Result{proc.exitCode(), proc.readAllStandardOutput(), proc.readAllStandardError()};
}

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// A stream that never ends, like a pipe fed by a runaway program.
class EndlessLines : public QIODevice {
public:
    explicit EndlessLines(QByteArray line) : line_(std::move(line)) { open(ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        for (qint64 i = 0; i < max; ++i)
            data[i] = line_.at(int(pos_++ % line_.size()));
        return max;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray line_;
    qint64 pos_ = 0;
};

// The results of one IV text analysed in this process, as the program analyses it.
ScanRecord analyseInProcess(const QString& path, int sweeps)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    IvText iv;
    QString err;
    ivtext::parseIvText(f, path, false, iv, err);
    DataAnalyzer d;
    d.setEepfTable(EepfTable::defaultTable());
    d.addScan(ivtext::scanFromIvText(iv, sweeps));
    d.analyseAll(0);
    return d.scansOfGroup(0).at(0);
}

} // namespace

Q_DECLARE_METATYPE(IvText)

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
        QTest::newRow("unit after underscore") << QByteArray("V,I_mA,std_I_uA\n-2,1.5,20\n")
                                               << false << QVector<double>{-2} << QVector<double>{0.0015}
                                               << QVector<double>{2e-5};
        QTest::newRow("units in brackets") << QByteArray("voltage [mV];current (uA);std(I) [nA]\n1500;-3;7\n")
                                           << false << QVector<double>{1.5} << QVector<double>{-3e-6}
                                           << QVector<double>{7e-9};
        QTest::newRow("micro sign, slash, kilovolt") << QByteArray("U/kV\tCurrent [\xc2\xb5""A]\n0.25\t4\n")
                                                     << false << QVector<double>{250} << QVector<double>{4e-6}
                                                     << QVector<double>{};
        QTest::newRow("unit words, decimal comma") << QByteArray("voltage [volts];current [amps]\n1,5;2\n")
                                                   << true << QVector<double>{1.5} << QVector<double>{2}
                                                   << QVector<double>{};
        QTest::newRow("blanks around bracketed units") << QByteArray("Voltage [V]  Current (mA)\n1 2\n") << false
                                                       << QVector<double>{1} << QVector<double>{0.002} << QVector<double>{};
        QTest::newRow("byte order mark, no header") << QByteArray("\xEF\xBB\xBF-1;2\n") << false
                                                    << QVector<double>{-1} << QVector<double>{2} << QVector<double>{};
        QTest::newRow("names that are not units") << QByteArray("V_bias,I_probe\n1,2\n") << false
                                                  << QVector<double>{1} << QVector<double>{2} << QVector<double>{};
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
        QVERIFY2(ivtext::parseIvText(text, "f.csv", comma, iv, err), qPrintable(err));
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
        QTest::newRow("unknown unit") << QByteArray("V,I [pA]\n1,2\n") << "f.csv:1: column 2 \"I [pA]\": unknown unit \"pA\" (known: nV uV mV V kV, nA uA mA A kA)";
        QTest::newRow("unknown unit after underscore") << QByteArray("V_MV\tI\n1\t2\n") << "f.csv:1: column 1 \"V_MV\": unknown unit \"MV\" (known: nV uV mV V kV, nA uA mA A kA)";
        QTest::newRow("current unit on voltage") << QByteArray("voltage (mA),current\n1,2\n") << "f.csv:1: column 1 \"voltage (mA)\": mA is not a unit of voltage";
        QTest::newRow("nan current") << QByteArray("v,i\n1,2\n3,nan\n") << "f.csv:3: the current in column 2 is not finite: \"nan\"";
        QTest::newRow("infinite voltage, no header") << QByteArray("1,2\n-Infinity,4\n") << "f.csv:2: the voltage in column 1 is not finite: \"-Infinity\"";
        QTest::newRow("overflowing deviation") << QByteArray("1,2,1e999\n") << "f.csv:1: the current deviation in column 3 is not finite: \"1e999\"";
        QTest::newRow("NaN on the first line") << QByteArray("NaN\t1\n") << "f.csv:1: the voltage in column 1 is not finite: \"NaN\"";
        QTest::newRow("decimal commas") << QByteArray("voltage;current\n1,5;2,5\n") << "f.csv:2: column 1 is not a number: \"1,5\" (decimal commas? use --decimal-comma)";
        QTest::newRow("decimal commas, no header") << QByteArray("-1,5;2,5e-3\n") << "f.csv:1: the header names no voltage and current column (expected e.g. voltage,current,std_voltage,std_current) (decimal commas? use --decimal-comma)";
        QTest::newRow("decimal commas split as fields") << QByteArray("voltage,current\n1,5,2,5\n") << "f.csv:2: expected 2 columns, found 4 (decimal commas? use --decimal-comma)";
        QTest::newRow("long line") << QByteArray("V,I\n1,2\n") + QByteArray(int(ivtext::kMaxLineBytes) + 1, '7') << QString("f.csv:3: line longer than %1 bytes").arg(ivtext::kMaxLineBytes);
    }

    void ivTextErrorsNameFileAndLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        IvText iv;
        QString err;
        QVERIFY(!ivtext::parseIvText(text, "f.csv", false, iv, err));
        QCOMPARE(err, message);
    }

    void endlessInputStopsAtTheSampleLimit()
    {
        EndlessLines in("1,2\n");
        IvText iv;
        QString err;
        QVERIFY(!ivtext::parseIvText(in, "pipe", false, iv, err, 1000));
        QCOMPARE(err, QString("pipe:1001: more than 1000 samples"));
    }

    void sortMergesEqualVoltages_data()
    {
        QTest::addColumn<IvText>("in");
        QTest::addColumn<int>("descent");
        QTest::addColumn<IvText>("out");
        QTest::newRow("ascending stays") << IvText{{1, 2, 3}, {4, 5, 6}, {}, {}} << -1
                                         << IvText{{1, 2, 3}, {4, 5, 6}, {}, {}};
        QTest::newRow("descending") << IvText{{3, 2, 1}, {6, 5, 4}, {}, {0.3, 0.2, 0.1}} << 1
                                    << IvText{{1, 2, 3}, {4, 5, 6}, {}, {0.1, 0.2, 0.3}};
        // Two sweeps up and down: equal voltages average, deviations by root mean square.
        QTest::newRow("up and down") << IvText{{1, 2, 2, 1}, {4, 6, 8, 2}, {0.3, 0, 0, 0.4}, {1, 3, 4, 7}} << 3
                                     << IvText{{1, 2}, {3, 7}, {0.25 * std::sqrt(2.0), 0}, {5, 2.5 * std::sqrt(2.0)}};
        QTest::newRow("plateau in the middle") << IvText{{0, 5, 5, 5, 9}, {1, 3, 4, 8, 9}, {}, {}} << -1
                                               << IvText{{0, 5, 9}, {1, 5, 9}, {}, {}};
    }

    void sortMergesEqualVoltages()
    {
        QFETCH(IvText, in);
        QFETCH(int, descent);
        QFETCH(IvText, out);
        QCOMPARE(ivtext::firstDescendingSample(in), descent);
        ivtext::sortByVoltage(in);
        QCOMPARE(in.V, out.V);
        QCOMPARE(in.I, out.I);
        QCOMPARE(in.stdV.size(), out.stdV.size());
        QCOMPARE(in.stdI.size(), out.stdI.size());
        for (int i = 0; i < out.stdV.size(); ++i)
            QVERIFY(qAbs(in.stdV[i] - out.stdV[i]) < 1e-15);
        for (int i = 0; i < out.stdI.size(); ++i)
            QVERIFY(qAbs(in.stdI[i] - out.stdI[i]) < 1e-15);
    }

    void settingsText()
    {
        LangmuirSettings s;
        QString err;
        QVERIFY(ivtext::parseSettingsText("# probe\nprobe_radius = 0.0003\n\nbUseUserVp=1\n", "s.txt", s, err));
        QCOMPARE(s.probeRadius, 0.0003);
        QVERIFY(s.bUseUserVp);
        QVERIFY(!ivtext::parseSettingsText("kfactor = 2\nbogus = 1\n", "s.txt", s, err));
        QCOMPARE(err, QString("s.txt:2: unknown setting \"bogus\": unknown setting"));
        QVERIFY(!ivtext::parseSettingsText("gas_temperature = 0\n", "s.txt", s, err));
        QCOMPARE(err, QString("s.txt:1: bad value for \"gas_temperature = 0\": must be greater than 0"));
        QVERIFY(!ivtext::parseSettingsText("just words\n", "s.txt", s, err));
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
            const ScanRecord s = ivtext::scanFromIvText(iv, sweeps);
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
        QCOMPARE(ivtext::scanFromIvText(iv, 5).accumulated.count(), 1); // no deviations: one sweep
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
        QCOMPARE(r.value("Ne").toDouble(), 1.234567e16);
        QVERIFY(r.value("Vp").isNull());
        QCOMPARE(scan.value("eepf").toObject().value("EEDF_error").toArray().at(1).type(), QJsonValue::Null);
        const QList<QByteArray> lines = csv.split('\n');
        QVERIFY(lines[0].startsWith("file,group,scan,position,time,resolved_time,error,Vpmax,Vpmax_error,Vp,"));
        // A text input has no position, time or resolved time: empty cells, no JSON keys.
        QVERIFY(lines[1].startsWith("\"a.csv\",0,0,,,,\"Say \"\"hi\"\"\",nan,nan"));
        QVERIFY(!scan.contains("position") && !scan.contains("time") && !scan.contains("resolved_time"));
        QVERIFY(lines[1].contains(",2.5,nan,"));
        QVERIFY(lines[1].contains(",1.23457e+16,"));
    }

    void numbersReadBackExactly_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("csv6");
        QTest::addColumn<QByteArray>("csv17");
        QTest::addColumn<QByteArray>("csvShortest");
        QTest::newRow("sum of tenths") << 0.1 + 0.2 << QByteArray("0.3") << QByteArray("0.30000000000000004")
                                       << QByteArray("0.30000000000000004");
        QTest::newRow("third") << 1.0 / 3 << QByteArray("0.333333") << QByteArray("0.33333333333333331")
                               << QByteArray("0.3333333333333333");
        QTest::newRow("density") << 9.9744123456789e15 << QByteArray("9.97441e+15")
                                 << QByteArray("9974412345678900") << QByteArray("9974412345678900");
        QTest::newRow("smallest") << 5e-324 << QByteArray("4.94066e-324") << QByteArray("4.9406564584124654e-324")
                                  << QByteArray("5e-324");
        QTest::newRow("largest") << 1.7976931348623157e308 << QByteArray("1.79769e+308")
                                 << QByteArray("1.7976931348623157e+308") << QByteArray("1.7976931348623157e+308");
        QTest::newRow("infinite") << qInf() << QByteArray("inf") << QByteArray("inf") << QByteArray("inf");
    }

    void numbersReadBackExactly()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, csv6);
        QFETCH(QByteArray, csv17);
        QFETCH(QByteArray, csvShortest);
        ScanRecord s;
        s.result.setValue(ResultRecord::eVp, value);
        s.eepf.energy = {value};
        s.eepf.EEDF = {-value};
        const QVector<ReportEntry> e{{"a.csv", 0, 0, &s}};
        const QJsonObject scan =
            QJsonDocument::fromJson(report::json(e, true)).object().value("scans").toArray().at(0).toObject();
        const QJsonValue vp = scan.value("results").toObject().value("Vp");
        const QJsonValue eedf = scan.value("eepf").toObject().value("EEDF").toArray().at(0);
        if (std::isfinite(value)) {
            QVERIFY(vp.toDouble() == value); // exact, not QCOMPARE's fuzzy comparison
            QVERIFY(eedf.toDouble() == -value);
        } else {
            QVERIFY(vp.isNull());
            QVERIFY(eedf.isNull());
        }
        auto vpField = [&](int precision) {
            return report::csv(e, false, precision).split('\n').at(1).split(',').at(9);
        };
        QCOMPARE(vpField(6), csv6);
        QCOMPARE(vpField(17), csv17);
        QCOMPARE(vpField(report::kShortest), csvShortest);
        if (std::isfinite(value)) {
            QVERIFY(csv17.toDouble() == value);
            QVERIFY(csvShortest.toDouble() == value);
        }
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
        // Every number is the one computed, to the last bit.
        const ScanRecord mine = analyseInProcess(QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"), 5);
        const QStringList keys = ResultRecord::keys();
        for (int k = 0; k < keys.size(); ++k) {
            const double v = mine.result.raw()[k];
            if (std::isfinite(v))
                QVERIFY2(res.value(keys[k]).toDouble() == v, qPrintable(keys[k]));
            else
                QVERIFY(res.value(keys[k]).isNull());
        }
        const Result exact = runTool({QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"), "--format",
                                      "csv", "--precision", "shortest"});
        QCOMPARE(exact.code, 0);
        QVERIFY(exact.out.split('\n').at(1).split(',').at(9).toDouble() == mine.result.value(ResultRecord::eVp));

        // The summary for reading: each value with its error to two significant digits.
        const Result sum = runTool({QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"), "--format", "summary"});
        QCOMPARE(sum.code, 0);
        const QString line = QString::fromUtf8(sum.out).trimmed();
        QVERIFY2(QRegularExpression(QString::fromUtf8("^frame 0 scan 0: kTe 2\\.99\\d* \u00b1 0\\.00\\d\\d eV, Vp \\S+ \u00b1 \\S+ V, "
                                                      "Vf \\S+ \u00b1 \\S+ V, Ne \\S+e\\+15 \u00b1 \\d\\.\\de\\+\\d\\d m\\^-3$"))
                     .match(line).hasMatch(),
                 qPrintable(line));
        QVERIFY(line.contains(", Vp " + errortext::valueWithError(res.value("Vp").toDouble(),
                                                                  res.value("Vp_error").toDouble(), "V") + ","));
        const Result csv = runTool({QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"),
                                    "--format", "csv", "--mode", "double"});
        QVERIFY(csv.out.startsWith("file,group,scan,position,time,resolved_time,error,"));
        QCOMPARE(csv.code, csv.out.contains(",\"\",") ? 0 : 1);
    }

    // The noisy sample (white current noise, 1 % of the current at Vp on its mean) defeats the
    // plain analysis; --robust, or the setting by name, analyses it.
    void programRobustOption()
    {
        const QString sample = QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV_noisy.csv");
        const Result plain = runTool({sample});
        QCOMPARE(plain.code, 1);
        QVERIFY(plain.out.contains("\"error\": \"Unable to find Vp.\""));
        const Result robust = runTool({sample, "--robust"});
        QCOMPARE(robust.code, 0);
        const QJsonObject res = QJsonDocument::fromJson(robust.out).object().value("scans").toArray()
                                    .at(0).toObject().value("results").toObject();
        QVERIFY(qAbs(res.value("kTe").toDouble() / 3 - 1) < 0.1);
        QVERIFY(qAbs(res.value("Vp").toDouble() - 5) < 0.5);
        QVERIFY(qAbs(res.value("Ne").toDouble() / 1e16 - 1) < 0.1);
        QCOMPARE(runTool({sample, "--set", "noiseRobust=1"}).out, robust.out);
        QCOMPARE(runTool({sample, "--set", "noiseRobust=maybe"}).code, 2);
    }

    // Errors need deviations of at least two sweeps: a file of one sweep (as lpsynth writes it,
    // two columns) or with deviations all 0 gets every error null, plain or noise-robust. The
    // sweeps a file states ("# sweeps: N") are its count unless --sweeps says otherwise.
    void programErrorsNeedSweeps()
    {
        QTemporaryDir dir;
        const QString one = dir.filePath("one.csv");
        Result r = runTool({"--sweeps", "1", "--seed", "3", "-o", one}, LPSYNTH_PATH);
        QCOMPARE(r.code, 0);
        QFile f(one);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("\nvoltage,current\n"));
        QVERIFY(!text.contains("sweeps:"));
        // The same curve with deviation columns of zeros.
        QByteArray zeros;
        for (const QByteArray& line : text.split('\n'))
            if (!line.isEmpty() && !line.startsWith('#'))
                zeros += line + (line.startsWith('v') ? ",std_voltage,std_current\n" : ",0,0\n");
        const QString zero = dir.filePath("zero.csv");
        writeFile(zero, zeros);
        for (const QString& file : {one, zero})
            for (const QStringList& extra : {QStringList{}, QStringList{"--robust"}}) {
                r = runTool(QStringList{file} + extra);
                const QJsonObject res = QJsonDocument::fromJson(r.out).object().value("scans").toArray()
                                            .at(0).toObject().value("results").toObject();
                QVERIFY2(res.value("kTe").isDouble(), r.out.constData());
                for (int pair = 0; pair < ResultRecord::ePairCount; ++pair)
                    QVERIFY2(res.value(ResultRecord::errorKey(pair)).isNull(),
                             qPrintable(ResultRecord::errorKey(pair)));
            }

        const QString sample = QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV_noisy.csv");
        const QByteArray stated = runTool({sample, "--robust"}).out;
        QCOMPARE(runTool({sample, "--robust", "--sweeps", "4"}).out, stated);
        QVERIFY(runTool({sample, "--robust", "--sweeps", "2"}).out != stated);
        r = runTool({"--sweeps", "4", "--seed", "3"}, LPSYNTH_PATH);
        QVERIFY(r.out.contains("\n# sweeps: 4\nvoltage,current,std_voltage,std_current\n"));
    }

    // The opt-in analyses add their keys only when on; the 32 others stay as they were.
    void programOptInKeys()
    {
        const QString sample = QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv");
        auto results = [](const Result& r) {
            return QJsonDocument::fromJson(r.out).object().value("scans").toArray().at(0).toObject()
                .value("results").toObject();
        };
        const QJsonObject plain = results(runTool({sample}));
        const Result on = runTool({sample, "--set", "ionDensityMethod=1", "--set", "twoTemperature=1"});
        QCOMPARE(on.code, 0);
        QJsonObject both = results(on);
        QCOMPARE(plain.size(), 32);
        QCOMPARE(both.size(), 32 + ResultRecord::eExtraCount);
        QVERIFY(qAbs(both.value("Ni_fit").toDouble() / 1e16 - 1) < 0.03); // the sample's plasma
        QCOMPARE(both.value("ionRegime").toDouble(), 1.0);
        QCOMPARE(both.value("twoT_flag").toDouble(), 1.0);
        for (const QString& k : ResultRecord::keys())
            QCOMPARE(both.value(k), plain.value(k));
        const QByteArray header = runTool({sample, "--format", "csv", "--set", "twoTemperature=1"}).out.split('\n').at(0);
        QVERIFY(header.endsWith(",vdrift,vdrift_err,Te_cold,Te_cold_error,Te_hot,Te_hot_error,hot_fraction,"
                                "hot_fraction_error,twoT_flag"));
        QCOMPARE(runTool({sample, "--set", "ionDensityMethod=2"}).code, 2);
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
        // A valid table past 1 MiB is refused like every other text input.
        QByteArray rows("Energy;Resolution\n");
        while (rows.size() <= (1 << 20))
            rows += "1;0.5\n";
        writeFile(table, rows);
        QCOMPARE(runTool({good, "--eepf-table", table}).err.trimmed(),
                 (QString("lpanalyse: %1: larger than 1048576 bytes").arg(table)).toUtf8());
        // A curve that cannot be analysed still gets its report, with exit status 1.
        r = runTool({good});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.contains("\"error\": \"Unable to find Vp.\""));
        // Input that is not finite, or that never ends, is refused by file and line.
        const QString nan = dir.filePath("nan.csv");
        writeFile(nan, "V;I\n-2;-1\n-1;inf\n");
        r = runTool({nan});
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(QString::fromUtf8(r.err).trimmed(),
                 QString("lpanalyse: %1:3: the current in column 2 is not finite: \"inf\"").arg(nan));
        r = runTool({"/dev/zero"});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err.trimmed(), QByteArray("lpanalyse: /dev/zero:1: line longer than 1048576 bytes"));
    }

    void programRefusesBadOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'. (see --help)";
        QTest::newRow("missing value") << QStringList{"--mode"} << "Missing value after '--mode'. (see --help)";
        QTest::newRow("precision zero") << QStringList{"--precision", "0"} << "--precision: expected 1 to 17 or shortest, got \"0\"";
        QTest::newRow("precision word") << QStringList{"--precision", "max"} << "--precision: expected 1 to 17 or shortest, got \"max\"";
        QTest::newRow("precision too high") << QStringList{"--precision", "18"} << "--precision: expected 1 to 17 or shortest, got \"18\"";
    }

    void programRefusesBadOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Result r = runTool(QStringList{QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv")} + args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(QString::fromUtf8(r.err).trimmed(), "lpanalyse: " + message);
    }

    void programSortsDescendingSweeps()
    {
        // The shipped sample swept downwards, written in millivolts and milliamperes.
        QFile f(QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        IvText iv;
        QString err;
        QVERIFY(ivtext::parseIvText(f, "sample", false, iv, err));
        QByteArray text = "V [mV],I_mA,std_V_mV,std_I_mA\n";
        for (int i = iv.V.size() - 1; i >= 0; --i)
            text += QByteArray::number(iv.V[i] * 1000, 'g', 17) + "," + QByteArray::number(iv.I[i] * 1000, 'g', 17)
                    + "," + QByteArray::number(iv.stdV[i] * 1000, 'g', 17) + ","
                    + QByteArray::number(iv.stdI[i] * 1000, 'g', 17) + "\n";
        QTemporaryDir dir;
        const QString down = dir.filePath("down.csv");
        writeFile(down, text);
        Result r = runTool({down});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("down.csv: the voltage falls at sample 2; --sort sorts the samples"));
        r = runTool({down, "--sort"});
        QCOMPARE(r.code, 0);
        const QJsonObject res = QJsonDocument::fromJson(r.out).object().value("scans").toArray().at(0)
                                    .toObject().value("results").toObject();
        const ScanRecord up = analyseInProcess(QStringLiteral(LP_SOURCE_DIR "/examples/iv_argon_3eV.csv"), 2);
        // Same curve up to the rounding of the unit conversion.
        for (auto q : {ResultRecord::eVp, ResultRecord::eKTe, ResultRecord::eNe, ResultRecord::eVf})
            QVERIFY(qAbs(res.value(ResultRecord::keys()[2 * q]).toDouble() / up.result.value(q) - 1) < 1e-9);
    }

    void programReanalysesSessionFiles()
    {
        QTemporaryDir dir;
        DataAnalyzer d;
        auto scan = [](int i, int type, double position) {
            synth::SingleProbe p;
            p.kTe = 2 + i;
            synth::Sweep sw;
            sw.seed = 9 + i;
            sw.relativeNoise = 0.01;
            ScanRecord s;
            s.scanType = type;
            s.position = position;
            s.temporalPosition = 1.5 * i;
            s.resolvedTime = 10 * i;
            for (const auto& raw : synth::rawSweeps(p, sw))
                s.accumulated.add(raw.constData(), sw.points);
            return s;
        };
        for (int i = 0; i < 3; ++i)
            d.addScan(scan(i, ScanRecord::eSpatialRun, i));
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
            QCOMPARE(o.value("position").toDouble(), double(g));
            QCOMPARE(o.value("time").toDouble(), 1.5 * g);
            QCOMPARE(o.value("resolved_time").toDouble(), 10.0 * g);
        }

        // The "no drive" marker of scans measured outside a spatial run is no place: null in
        // JSON, nan in CSV; a spatial run's drive may stand at 666 mm.
        DataAnalyzer marked;
        marked.addScan(scan(0, ScanRecord::eOtherRun, ScanRecord::kNoDrivePosition));
        marked.addScan(scan(1, ScanRecord::eOtherRun, ScanRecord::kNoDrivePosition));
        marked.addScan(scan(2, ScanRecord::eSpatialRun, ScanRecord::kNoDrivePosition));
        const QString markedPath = dir.filePath("marked.ldf");
        QVERIFY2(SessionFile::save(marked, markedPath, &why), qPrintable(why));
        const QJsonArray m = QJsonDocument::fromJson(runTool({markedPath}).out).object().value("scans").toArray();
        QCOMPARE(m.size(), 3);
        QVERIFY(m.at(0).toObject().value("position").isNull());
        QVERIFY(m.at(1).toObject().value("position").isNull());
        QCOMPARE(m.at(1).toObject().value("time").toDouble(), 1.5);
        QCOMPARE(m.at(2).toObject().value("position").toDouble(), 666.0);
        const QList<QByteArray> rows = runTool({markedPath, "--format", "csv"}).out.split('\n');
        QCOMPARE(rows.at(0).split(',').mid(3, 3), (QList<QByteArray>{"position", "time", "resolved_time"}));
        QCOMPARE(rows.at(2).split(',').mid(3, 3), (QList<QByteArray>{"nan", "1.5", "10"}));
        QCOMPARE(rows.at(3).split(',').at(3), QByteArray("666"));
        writeFile(dir.filePath("broken.ldf"), "<measuredData sensor=\"Langmuir Probe\" version=\"4\"/>");
        const Result bad = runTool({dir.filePath("broken.ldf")});
        QCOMPARE(bad.code, 2);
        QVERIFY(bad.err.contains("broken.ldf"));
    }
};

QTEST_GUILESS_MAIN(TestLpAnalyse)
#include "tst_lpanalyse.moc"
