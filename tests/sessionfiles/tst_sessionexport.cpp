#include "ExportSettings.h"
#include "FileSizeLimit.h"
#include "SessionExport.h"
#include "SessionFile.h"
#include "SessionXml.h"
#include "Trace.h"

#include "DataAnalyzer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <clocale>
#include <limits>

using namespace SessionExport;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

ScanRecord scan(int type, double position, double temporal, double resolved, QVector<double> V, QVector<double> I)
{
    ScanRecord s;
    s.date = QDateTime::fromSecsSinceEpoch(86400 + 3723, Qt::UTC);
    s.scanType = type;
    s.position = position;
    s.temporalPosition = temporal;
    s.resolvedTime = resolved;
    s.corrected.V = V;
    s.corrected.I = I;
    s.corrected.stdV = QVector<double>(V.size(), 0);
    s.corrected.stdI = QVector<double>(V.size(), 0);
    return s;
}

// Two scans: the first with three points, the second with two, one failed.
void twoScans(DataAnalyzer &a, int type, double p0, double p1, double t0, double t1)
{
    ScanRecord s0 = scan(type, p0, t0, 0, {-1, 0, 1}, {1e-6, 2e-6, 4e-6});
    s0.result.setValue(ResultRecord::eVp, 0.5);
    s0.result.setError(ResultRecord::eVp, 0.01);
    s0.result.setValue(ResultRecord::eKTe, 2.25);
    s0.result.setValue(ResultRecord::eIsat, -1e-5);
    s0.result.setError(ResultRecord::eIsat, 1e-7);
    s0.result.setValue(ResultRecord::eNi, 1.23456789e16);
    ScanRecord s1 = scan(type, p1, t1, 0, {-1, 0}, {5e-7, 6e-7});
    s1.error = "Unable to find Vp.";
    a.addScan(s0);
    a.addScan(s1);
}

QString run(const std::function<void(QTextStream &)> &f)
{
    QString text;
    QTextStream out(&text);
    f(out);
    out.flush();
    return text;
}

void setSingle(DataAnalyzer &a, const std::function<void(ConfigParam &)> &edit)
{
    SingleProbeConfigParam c;
    edit(c);
    a.setConfiguration(c);
}

} // namespace

class TstSessionExport : public QObject
{
    Q_OBJECT

private slots:
    void headerByRunKind_data();
    void headerByRunKind();
    void resultsTables_data();
    void resultsTables();
    void ionCurrentSeries();
    void eepfSection();
    void ivDataColumnsAndBounds();
    void doubleProbeSession();
    void loadedSessionExportsWithoutElectronCurrent();
    void sectionsIgnoreDecimalCommaLocale();
    void exportFileIsReplacedOnlyWhenComplete();
    void clipboard();
    void derivativesOnTheirPointsRows();
    void textFieldsWithTheSeparatorAreQuoted();
};

void TstSessionExport::headerByRunKind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("expected");
    const QString top = "Header:\nSerial Number;D7\nFile;/data/s.ldf\nDate/Time;02/01/1970;01:02:03\n";
    QTest::newRow("plain single-probe") << "plain" << ";"
        << top + "Spatial Trend\nTime (us)\nTime (s);Start Time;0[s];End Time;10[s];Step size;5[s]\nComment;hello\n\n";
    QTest::newRow("plain at a position") << "position" << ";"
        << top + "Spatial Trend;3.5[mm]\nTime (us)\nTime (s);Start Time;0[s];End Time;10[s];Step size;5[s]\n"
                 "Comment;hello\n\n";
    QTest::newRow("plain without a drive") << "no drive" << ";" // 666 marks "no drive"
        << top + "Spatial Trend\nTime (us)\nTime (s);Start Time;0[s];End Time;10[s];Step size;5[s]\nComment;hello\n\n";
    QTest::newRow("spatial") << "spatial" << ";"
        << top + "Spatial Trend;Start Position;1[mm];End Position;2.5[mm];Step Size;0.5[mm]\nTime (us)\nTime (s)\n"
                 "Comment;hello\n\n";
    QTest::newRow("time-resolved, whole period") << "tr" << ";"
        << top + "Spatial Trend\nTime (us);Start Time;5[us];End Time;Whole Period;Step size;2.5[us]\nTime (s)\n"
                 "Comment;hello\n\n";
    QTest::newRow("time-resolved, commas") << "tr-end" << ","
        << "Header:\nSerial Number,D7\nFile,/data/s.ldf\nDate/Time,02/01/1970,01:02:03\nSpatial Trend\n"
           "Time (us),Start Time,5[us],End Time,100[us],Step size,2.5[us]\nTime (s)\nComment,hello\n\n";
    QTest::newRow("timed") << "timed" << ";"
        << top + "Spatial Trend\nTime (us)\nTime (s);Start Time;1[s];End Time;60[s];Step size;2[s]\n"
                 "Comment;hello\n\n";
}

void TstSessionExport::headerByRunKind()
{
    QFETCH(QString, kind);
    QFETCH(QString, sep);
    QFETCH(QString, expected);
    DataAnalyzer a;
    a.setDeviceID("D7");
    a.setFileName("/data/s.ldf");
    a.setComment("hello");
    setSingle(a, [&kind](ConfigParam &c) {
        c.spat.bUseSpatScan = kind == "spatial";
        c.spat.start = 1;
        c.spat.end = 2.5;
        c.spat.step = 0.5;
        c.sync.bUseSyncScan = kind.startsWith("tr");
        c.sync.start = 5;
        c.sync.duration = kind == "tr-end" ? 100 : 0;
        c.sync.resolution = 2.5;
        if (kind == "timed") {
            c.timed.bUseTimedScan = true;
            c.timed.start = 1;
            c.timed.end = 60;
            c.timed.step = 2;
        }
    });
    twoScans(a, 2, kind == "position" ? 3.5 : kind == "no drive" ? ScanRecord::kNoDrivePosition : 0, 0, 0, 0);
    QCOMPARE(run([&](QTextStream &o) { writeHeader(a, o, sep); }), expected);
}

void TstSessionExport::resultsTables_data()
{
    QTest::addColumn<bool>("doubleProbe");
    QTest::addColumn<bool>("errors");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("single, plain") << false << false << "plain"
        << "Results:\nVp (V);Vf (V);kTe (eV);Je (A/m^2);Ne (m^-3);Jp (A/m^2);Ni (m^-3);Ld (m);Isat (A);"
           "EEPF Ne (m^-3);EEPF Energy (eV);EEPF kTe (eV)\n"
           "0.5;nan;2.25;nan;nan;nan;1.23457e+16;nan;-1e-05;nan;nan;nan\n"
           "nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan\n";
    QTest::newRow("single with errors, spatial") << false << true << "spatial"
        << "Results:\nPosition [mm];Vp (V);Vp Error;Vf (V);Vf Error;kTe (eV);kTe Error;Je (A/m^2);Je Error;"
           "Ne (m^-3);Ne Error;Jp (A/m^2);Jp Error;Ni (m^-3);Ni Error;Ld (m);Ld Error;Isat (v);---;"
           "EEPF Ne (m^-3);EEPF Ne Error;EEPF Energy (eV);EEPF Energy Error;EEPF kTe (eV);EEPF kTe Error\n"
           "1;0.5;0.01;nan;nan;2.25;nan;nan;nan;nan;nan;nan;nan;1.23457e+16;nan;nan;nan;-1e-05;0;"
           "nan;nan;nan;nan;nan;nan\n"
           "2;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;nan;0;nan;nan;nan;nan;nan;nan\n";
    QTest::newRow("double, timed") << true << false << "timed"
        << "Results:\nTime [s];kTe (eV);Jp (A/m^2);Ni (m^-3);Ld (m)\n0;2.25;nan;1.23457e+16;nan\n5;nan;nan;nan;nan\n";
    QTest::newRow("double with errors, time-resolved") << true << true << "tr"
        << "Results:\nTime [us];kTe (eV);kTe Error;Jp (A/m^2);Jp Error;Ni (m^-3);Ni Error;Ld (m);Ld Error\n"
           "0;2.25;nan;nan;nan;1.23457e+16;nan;nan;nan\n0;nan;nan;nan;nan;nan;nan;nan;nan\n";
}

void TstSessionExport::resultsTables()
{
    QFETCH(bool, doubleProbe);
    QFETCH(bool, errors);
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    DataAnalyzer a;
    std::unique_ptr<ConfigParam> c;
    if (doubleProbe)
        c = std::make_unique<DoubleProbeConfigParam>();
    else
        c = std::make_unique<SingleProbeConfigParam>();
    c->spat.bUseSpatScan = kind == "spatial";
    c->timed.bUseTimedScan = kind == "timed";
    c->sync.bUseSyncScan = kind == "tr";
    a.setConfiguration(*c);
    const int type = kind == "spatial" ? 1 : kind == "timed" ? 0 : 2;
    twoScans(a, type, 1, 2, 0, 5);
    QCOMPARE(run([&](QTextStream &o) { writeResults(a, o, ";", errors); }), expected);
}

void TstSessionExport::ionCurrentSeries()
{
    DataAnalyzer a;
    setSingle(a, [](ConfigParam &c) { c.ic.bUseIcScan = true; });
    ScanRecord s = scan(0, 0, 0, 0, {}, {});
    s.result.setValue(ResultRecord::eIsat, 1e-5);
    s.result.setError(ResultRecord::eIsat, 1e-7);
    a.addScan(s);
    s.temporalPosition = 2.5;
    s.result.setValue(ResultRecord::eIsat, 2e-5);
    a.addScan(s);
    QCOMPARE(run([&](QTextStream &o) { writeResults(a, o, ";", true); }),
             QString("Results:\nProcess Time(s);Isat (A)[0 s];Isat Error;\n0;1e-05;1e-07;\n2.5;2e-05;1e-07;\n"));
    QCOMPARE(run([&](QTextStream &o) { writeResults(a, o, ",", false); }),
             QString("Results:\nProcess Time(s),Isat (A)[0 s],\n0,1e-05,\n2.5,2e-05,\n"));
}

void TstSessionExport::eepfSection()
{
    for (const QString kind : {"tr", "timed", "spatial"}) {
        DataAnalyzer a;
        setSingle(a, [&kind](ConfigParam &c) {
            c.sync.bUseSyncScan = kind == "tr";
            c.sync.start = 5;
            c.sync.resolution = 10;
            c.timed.bUseTimedScan = kind == "timed";
            c.spat.bUseSpatScan = kind == "spatial";
        });
        EepfTable t;
        t.fromLists({1, 2.5, 4}, {0.1, 0.1, 0.1});
        a.setEepfTable(t);
        ScanRecord s0 = scan(kind == "timed" ? 0 : kind == "spatial" ? 1 : 2, 1.5, 0, 0, {}, {});
        s0.eepf.energy = {1, 2.5, 4};
        s0.eepf.EEDF = {1e15, 2e15}; // shorter than its energies
        ScanRecord s1 = s0;
        s1.position = 3;
        s1.temporalPosition = 30;
        s1.resolvedTime = 50.005; // the first a time-averaged scan at 0, this one resolved
        s1.eepf.energy = {2.5};
        s1.eepf.EEDF = {3e15};
        a.addScan(s0);
        a.addScan(s1);
        const QString text = run([&](QTextStream &o) { writeEepf(a, o, ";"); });
        const QString rows = "1;1e+15;\n2.5;2e+15;3e+15\n4;;\n";
        if (kind == "tr")
            QCOMPARE(text, "EEPF Data:\nTime; [0 us]; [50.005 us]\nEnergy (eV);EEPF (/m^3/eV^1.5);EEPF (/m^3/eV^1.5)\n"
                               + rows);
        else if (kind == "timed")
            QCOMPARE(text, "EEPF Data:\nEnergy (eV);EEPF (/m^3/eV^1.5) [0s];EEPF (/m^3/eV^1.5) [30s]\n" + rows);
        else
            QCOMPARE(text, "EEPF Data:\nEnergy (eV);EEPF (/m^3/eV^1.5) [1.5mm];EEPF (/m^3/eV^1.5) [3mm]\n" + rows);
    }
}

void TstSessionExport::ivDataColumnsAndBounds()
{
    DataAnalyzer a;
    setSingle(a, [](ConfigParam &c) {
        c.sync.bUseSyncScan = true;
        c.sync.start = 0;
        c.sync.resolution = 2.5;
    });
    LangmuirSettings ls;
    ls.nDerivativePoints = 1;
    a.setAnalysisSettings(ls);
    twoScans(a, 2, 0, 0, 0, 0);
    a.scan(0, 1)->resolvedTime = 50.005; // each column by its scan's own time
    ScanRecord *s0 = a.scan(0, 0);
    s0->electronCurrent.append(7e-6, -1);
    s0->electronCurrent.append(8e-6, 0);
    IvColumns cols;
    cols.derivative = true;
    cols.secondDerivative = true;
    cols.electronCurrent = true;
    cols.correctedCurve = true; // single probe: no corrected-curve column
    const QString text = run([&](QTextStream &o) { writeIvData(a, o, ";", cols); });

    QVector<double> xc, d1;
    curve::derivative(QVector<double>{-1, 0, 1}, QVector<double>{1e-6, 2e-6, 4e-6}, 1, xc, d1);
    QCOMPARE(d1.size(), 1); // three points, window 1: one slope, none for the second derivative
    const QString t0 = " [0 us]", t1 = " [50.005 us]";
    const QString expected = " [0 s];;;;;\n"
        "Voltage (V)" + t0 + ";Current (A)" + t0 + ";Current Derivative (A/V)" + t0
        + ";Current 2nd Derivative (A/V^2)" + t0 + ";Electron Current (A)" + t0 + ";"
        "Voltage (V)" + t1 + ";Current (A)" + t1 + ";Current Derivative (A/V)" + t1
        + ";Current 2nd Derivative (A/V^2)" + t1 + ";Electron Current (A)" + t1 + ";\n"
        "-1;1e-06;;;7e-06;-1;5e-07;;;;\n"
        "0;2e-06;" + SessionXml::number(d1[0]) + ";;8e-06;0;6e-07;;;;\n" // the slope centred on 0 V
        "1;4e-06;;;;;;;;;\n";
    QCOMPARE(text, "IV Data:\n" + expected);
}

void TstSessionExport::doubleProbeSession()
{
    DataAnalyzer a;
    a.setConfiguration(DoubleProbeConfigParam());
    twoScans(a, 1, 1, 2, 0, 0);
    a.scan(0, 0)->correctedDoubleProbe.I = {9e-6}; // shorter than the curve
    ExportSettings o;
    o.header = false;
    o.eepf = true; // never for a double probe
    o.results = true;
    o.electronCurrent = true;
    o.doubleProbeCorrected = true;
    const QString text = run([&](QTextStream &out) { writeSections(a, o, out); });
    QCOMPARE(text, QString("Results:\nkTe (eV);Jp (A/m^2);Ni (m^-3);Ld (m)\n2.25;nan;1.23457e+16;nan\n"
                           "nan;nan;nan;nan\n"
                           "IV Data:\n [0 s];;;;; [0 s];;;;;\n"
                           "Voltage (V);Current (A);Corrected Current (A);Voltage (V);Current (A);Corrected Current (A);\n"
                           "-1;1e-06;9e-06;-1;5e-07;;\n0;2e-06;;0;6e-07;;\n1;4e-06;;;;;\n"));
}

void TstSessionExport::loadedSessionExportsWithoutElectronCurrent()
{
    DataAnalyzer a;
    twoScans(a, 2, 0, 0, 0, 0);
    a.scan(0, 0)->electronCurrent.append(1, 2);
    QByteArray bytes;
    QBuffer buf(&bytes);
    QVERIFY(buf.open(QIODevice::WriteOnly));
    QVERIFY(SessionFile::write(a, buf));
    buf.close();
    DataAnalyzer loaded;
    QVERIFY(buf.open(QIODevice::ReadOnly));
    QVERIFY(SessionFile::read(loaded, buf));
    IvColumns cols;
    cols.electronCurrent = true;
    const QString text = run([&](QTextStream &o) { writeIvData(loaded, o, ";", cols); });
    QVERIFY(text.endsWith("Electron Current (A);\n-1;1e-06;;-1;5e-07;;\n0;2e-06;;0;6e-07;;\n1;4e-06;;;;;\n"));
}

void TstSessionExport::sectionsIgnoreDecimalCommaLocale()
{
    DataAnalyzer a;
    setSingle(a, [](ConfigParam &c) { c.timed.start = 0.5; });
    twoScans(a, 2, 0, 0, 0, 0);
    ExportSettings o;
    o.results = o.eepf = o.errors = o.derivative = true;
    const QString plain = run([&](QTextStream &out) { writeSections(a, o, out); });
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const QString comma = run([&](QTextStream &out) { writeSections(a, o, out); });
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    QCOMPARE(comma, plain);
    QVERIFY(plain.contains("Start Time;0.5[s]"));
    QVERIFY(plain.contains("Errors:\nUnable to find Vp.\n"));
}

void TstSessionExport::exportFileIsReplacedOnlyWhenComplete()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("out.csv");
    DataAnalyzer a;
    twoScans(a, 2, 0, 0, 0, 0);
    ExportSettings o;
    QString why;
    QCOMPARE(writeFile(a, o, name, &why), FileResult::Ok);
    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray first = f.readAll();
    f.close();
    QVERIFY(first.startsWith("Header:\nSerial Number;\n"));
    QVERIFY(first.endsWith("1;4e-06;;;\n"));

    for (int i = 0; i < 200; ++i)
        a.addScan(scan(2, 0, 0, 0, QVector<double>(50, 1.0), QVector<double>(50, 2.0)));
    {
        FileSizeLimit limit(rlim_t(first.size() + 10));
        QVERIFY(limit.active());
        QCOMPARE(writeFile(a, o, name, &why), FileResult::WriteFailed);
    }
    QVERIFY(!why.isEmpty());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), first);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});

    QCOMPARE(writeFile(a, o, dir.filePath("missing/out.csv"), &why), FileResult::OpenFailed);
}

void TstSessionExport::clipboard()
{
    QCOMPARE(clipboardText(clipboardHeadings(Graph::IV), {{-1, 0.5}, {1e-6, 2e-6}}),
             QString("Voltage (V)\tCurrent (A)\n-1\t1e-06\n0.5\t2e-06\n"));
    // The derivative heading ends its row; values start on the next line.
    QCOMPARE(clipboardText(clipboardHeadings(Graph::FirstDerivative), {{1}, {2}}),
             QString("Voltage (V)\tCurrent Derivative(A/V)\n1\t2\n"));
    QCOMPARE(clipboardHeadings(Graph::SecondDerivative, Leading::Time),
             (QStringList{"Time (us)", "Voltage (V)", "Current Second Derivative(A/V^2)"}));
    QCOMPARE(clipboardText(clipboardHeadings(Graph::Eepf, Leading::Position), {{1, 2}, {0.5}, {1e15, kNaN}}),
             QString("Position (mm)\tEnergy (eV)\tEEPF (eV^1.5/m^3)\n1\t0.5\t1e+15\n2\t\tnan\n"));
}

// With half-width k the first derivative's entry j is centred on point j + k and the second
// derivative's on point j + 2k: each value stands on its point's row.
void TstSessionExport::derivativesOnTheirPointsRows()
{
    DataAnalyzer a;
    LangmuirSettings ls;
    ls.nDerivativePoints = 2;
    a.setAnalysisSettings(ls);
    QVector<double> V, I;
    for (int i = 0; i < 11; ++i) {
        V << -5 + i;
        I << 1e-6 * (-5 + i) * (-5 + i) * (-5 + i); // dI/dV = 3e-6 V^2, d2I/dV2 = 6e-6 V
    }
    a.addScan(scan(2, 0, 0, 0, V, I));
    IvColumns cols;
    cols.derivative = cols.secondDerivative = true;
    const QStringList lines = run([&](QTextStream &o) { writeIvData(a, o, ";", cols); }).split('\n');
    QCOMPARE(lines.size(), 3 + 11 + 1);
    QVector<double> xc, d1, xc2, d2;
    curve::derivative(V, I, 2, xc, d1);
    curve::derivative(xc, d1, 2, xc2, d2);
    QCOMPARE(d1.size(), 7);
    QCOMPARE(d2.size(), 3);
    for (int i = 0; i < 11; ++i) {
        const QStringList cells = lines.at(3 + i).split(';');
        QCOMPARE(cells.size(), 5);
        QCOMPARE(cells.at(0), SessionXml::number(V[i]));
        QCOMPARE(cells.at(2), i >= 2 && i < 9 ? SessionXml::number(d1[i - 2]) : QString());
        QCOMPARE(cells.at(3), i >= 4 && i < 7 ? SessionXml::number(d2[i - 4]) : QString());
        if (i >= 2 && i < 9) // the window's centre is the row's voltage
            QCOMPARE(xc[i - 2], V[i]);
        if (i >= 4 && i < 7)
            QVERIFY(qAbs(d2[i - 4] - 6e-6 * V[i]) < 1e-12); // the second derivative at this point
    }
}

void TstSessionExport::textFieldsWithTheSeparatorAreQuoted()
{
    DataAnalyzer a;
    a.setDeviceID("VB2-000417");
    a.setFileName("/data/run,1.ldf");
    a.setComment("argon, 2 Pa, \"pulsed\"");
    twoScans(a, 2, 0, 0, 0, 0);
    a.scan(0, 1)->error = "first, then second";
    ExportSettings o;
    o.separator = ",";
    o.ivData = false;
    o.errors = true;
    const QString text = run([&](QTextStream &out) { writeSections(a, o, out); });
    QVERIFY(text.contains("\nSerial Number,VB2-000417\n"));
    QVERIFY(text.contains("\nFile,\"/data/run,1.ldf\"\n"));
    QVERIFY(text.contains("\nComment,\"argon, 2 Pa, \"\"pulsed\"\"\"\n"));
    QVERIFY(text.endsWith("Errors:\n\"first, then second\"\n"));
    // With another separator the same texts stay as they are, but for the quotes.
    o.separator = ";";
    const QString semi = run([&](QTextStream &out) { writeSections(a, o, out); });
    QVERIFY(semi.contains("\nFile;/data/run,1.ldf\n"));
    QVERIFY(semi.endsWith("Errors:\nfirst, then second\n"));
}

QTEST_GUILESS_MAIN(TstSessionExport)
#include "tst_sessionexport.moc"
