#include "FileSizeLimit.h"
#include "SessionFile.h"
#include "SessionFixture.h"
#include "SessionJournal.h"
#include "SessionXml.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cmath>

namespace {

double r6(double v) { return SessionXml::parseNumber(SessionXml::number(v)); }

// Six significant digits, or the very value for the measured lists written exactly.
bool same(double expected, double actual, bool exact = false)
{
    const double e = exact ? expected : r6(expected);
    return (std::isnan(e) && std::isnan(actual)) || e == actual;
}

QString diffList(const char *what, const QVector<double> &expected, const QVector<double> &actual,
                 bool exact = false)
{
    if (expected.size() != actual.size())
        return QStringLiteral("%1: size %2 vs %3").arg(what).arg(expected.size()).arg(actual.size());
    for (int i = 0; i < expected.size(); ++i)
        if (!same(expected[i], actual[i], exact))
            return QStringLiteral("%1[%2]: %3 vs %4").arg(what).arg(i).arg(expected[i]).arg(actual[i]);
    return QString();
}

QString diffTrace(const char *what, const TimedTrace &e, const TimedTrace &a, bool exact = false)
{
    QVector<double> ec, ev, ac, av;
    e.toLists(ec, ev);
    a.toLists(ac, av);
    QString d = diffList(what, ec, ac, exact);
    if (d.isEmpty())
        d = diffList(what, ev, av, exact);
    if (d.isEmpty() && !same(e.duration, a.duration))
        d = QStringLiteral("%1 duration").arg(what);
    return d;
}

// Empty when the read scan holds the written one to six significant digits.
QString diffScan(const ScanRecord &e, const ScanRecord &a)
{
    QStringList d;
    const auto add = [&d](const QString &s) {
        if (!s.isEmpty())
            d << s;
    };
    if (e.date.toSecsSinceEpoch() != a.date.toSecsSinceEpoch())
        d << "date";
    if (e.scanType != a.scanType || e.currentRange != a.currentRange || e.error != a.error)
        d << "type, range or error";
    const double es[] = {e.position, e.temporalPosition, e.resolvedTime, e.ionCurrent[0], e.ionCurrent[1],
                         e.offsetCurrent, e.gainAutoSwitchVoltage, e.dCurrentRange, e.dcCScanVoltageStart,
                         e.dcCScanVoltageEnd, e.plasmaResistance};
    const double as[] = {a.position, a.temporalPosition, a.resolvedTime, a.ionCurrent[0], a.ionCurrent[1],
                         a.offsetCurrent, a.gainAutoSwitchVoltage, a.dCurrentRange, a.dcCScanVoltageStart,
                         a.dcCScanVoltageEnd, a.plasmaResistance};
    for (size_t i = 0; i < sizeof es / sizeof es[0]; ++i)
        if (!same(es[i], as[i], i == 3 || i == 4)) // the ion-current reading is exact
            d << QStringLiteral("scalar %1").arg(i);
    add(diffTrace("initScan", e.initScan, a.initScan, true));
    add(diffTrace("initScanDerivative", e.initScanDerivative, a.initScanDerivative));
    if (e.dcInitScans.size() != a.dcInitScans.size())
        d << "dcInitScans size";
    else
        for (int i = 0; i < e.dcInitScans.size(); ++i)
            add(diffTrace("dcInitScan", e.dcInitScans[i], a.dcInitScans[i], true));
    QVector<double> e1, e2, e3, e4, a1, a2, a3, a4;
    e.accumulated.toLists(e1, e2, e3, e4);
    a.accumulated.toLists(a1, a2, a3, a4);
    if (e.accumulated.count() != a.accumulated.count())
        d << "accumulations";
    add(diffList("sumV", e1, a1, true));
    add(diffList("sumVsq", e2, a2, true));
    add(diffList("sumI", e3, a3, true));
    add(diffList("sumIsq", e4, a4, true));
    for (const auto &[ec, ac] : {std::pair{&e.corrected, &a.corrected},
                                 std::pair{&e.correctedDoubleProbe, &a.correctedDoubleProbe}}) {
        add(diffList("V", ec->V, ac->V));
        add(diffList("I", ec->I, ac->I));
        add(diffList("stdV", ec->stdV, ac->stdV));
        add(diffList("stdI", ec->stdI, ac->stdI));
    }
    add(diffList("energy", e.eepf.energy, a.eepf.energy));
    add(diffList("EEDF", e.eepf.EEDF, a.eepf.EEDF));
    add(diffList("EEDF_error", e.eepf.EEDF_error, a.eepf.EEDF_error));
    add(diffList("EEDF_low_error", e.eepf.EEDF_low_error, a.eepf.EEDF_low_error));
    for (int i = 0; i < 32; ++i)
        if (!same(e.result.raw()[i], a.result.raw()[i]))
            d << QStringLiteral("result %1").arg(i);
    return d.join(", ");
}

QByteArray written(DataAnalyzer &a)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    SessionFile::write(a, buf);
    return bytes;
}

bool readBytes(DataAnalyzer &a, QByteArray bytes, QString *why = nullptr)
{
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    return SessionFile::read(a, buf, why);
}

// The document without its header block, whose date and time are those of writing.
QByteArray withoutHeader(const QByteArray &doc)
{
    const int from = doc.indexOf("    <header>");
    const int to = doc.indexOf("</header>");
    return doc.left(from) + doc.mid(to + 10);
}

} // namespace

class TstSessionFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTripKeepsSixDigits();
    void documentLayoutAndOrdering();
    void refusalsLeaveSessionUntouched_data();
    void refusalsLeaveSessionUntouched();
    void scanTypeFallback_data();
    void scanTypeFallback();
    void untrustedShapesAreMadeConsistent();
    void configurationFromFile();
    void textsXmlCannotCarryAreDropped();
    void failedSaveKeepsPreviousFile();
    void unopenableFilesReportWhy();
    void outputIgnoresDecimalCommaLocale();
    void nestedElementsInTextAreRefused_data();
    void nestedElementsInTextAreRefused();
    void carriageReturnsReadBackExactly();
    void reloadedSessionReanalysesAlike();
    void cutOffFilesKeepCompleteScans_data();
    void cutOffFilesKeepCompleteScans();
    void journalIsASessionFileWrittenAsTheRunGoes();
};

void TstSessionFile::roundTripKeepsSixDigits()
{
    DataAnalyzer out;
    fixture::fill(out);
    QTemporaryDir dir;
    const QString name = dir.filePath("session.ldf");
    QString why;
    QVERIFY2(SessionFile::save(out, name, &why), qPrintable(why));
    QCOMPARE(out.fileName(), name);

    DataAnalyzer in;
    QVERIFY(SessionFile::load(in, name, &why));
    QCOMPARE(in.fileName(), name);
    QCOMPARE(in.deviceID(), out.deviceID());
    QCOMPARE(in.comment(), out.comment());
    QCOMPARE(in.configuration().toMap(), out.configuration().toMap());
    QCOMPARE(in.analysisSettings().toMap(), out.analysisSettings().toMap());
    QCOMPARE(in.eepfTable(), out.eepfTable());
    QCOMPARE(in.groupCount(), 2);
    for (int g = 0; g < 2; ++g) {
        QCOMPARE(in.group(g)->position, out.group(g)->position);
        const QVector<ScanRecord> &e = out.scansOfGroup(g);
        const QVector<ScanRecord> &a = in.scansOfGroup(g);
        QCOMPARE(a.size(), e.size());
        for (int i = 0; i < e.size(); ++i) {
            const QString d = diffScan(e[i], a[i]);
            QVERIFY2(d.isEmpty(), qPrintable(QStringLiteral("group %1 scan %2: %3").arg(g).arg(i).arg(d)));
        }
    }
    // Written again, the file is the same apart from its header's time of writing.
    QCOMPARE(withoutHeader(written(in)), withoutHeader(written(out)));
}

void TstSessionFile::documentLayoutAndOrdering()
{
    DataAnalyzer a;
    a.setDeviceID("D1");
    ScanRecord s;
    s.date = QDateTime::fromSecsSinceEpoch(86400, Qt::UTC);
    s.scanType = 2;
    s.resolvedTime = 12.5;
    s.ionCurrent[0] = 1e-6;
    s.ionCurrent[1] = -30;
    s.initScan.duration = 0.5;
    s.initScan.append(1.5, 2);
    s.initScanDerivative.append(0.25, 3);
    s.dcInitScans.append(TimedTrace());
    s.corrected.V = {1, 2};
    s.corrected.I = {3, 4};
    s.corrected.stdV = {0, 0};
    s.corrected.stdI = {0, 1234567};
    s.result.setValue(ResultRecord::eVp, 0.5);
    s.error = "bad";
    a.addScan(s);
    const QByteArray doc = written(a);

    QVERIFY(doc.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<measuredData sensor=\"Langmuir Probe\" version=\"3\">\n"
                           "    <header>\n"
                           "        <comment></comment>\n"
                           "        <date>"));
    QVERIFY(QRegularExpression("<date>\\d\\d\\.\\d\\d\\.\\d{4}</date>\n        <deviceID>D1</deviceID>\n"
                               "        <time>\\d\\d:\\d\\d:\\d\\d</time>\n    </header>\n")
                .match(QString::fromUtf8(doc)).hasMatch());
    QVERIFY(doc.contains("    <settings class=\"configParam\">\n        <autoCRMargin>0.95</autoCRMargin>\n"));
    QVERIFY(doc.contains("        <voltageIdle>0</voltageIdle>\n    </settings>\n"
                         "    <settings class=\"AnalysisSettings\">\n"));
    QVERIFY(doc.contains("    <EEDF_Table class=\"tableEEDF\">\n        <vec label=\"eV\">;"));

    const int at = doc.indexOf("    <scanData>");
    QVERIFY(at > 0);
    const QByteArray scan = doc.mid(at, doc.indexOf("        <results>") - at);
    QCOMPARE(scan, QByteArray("    <scanData>\n"
                              "        <Status>\n"
                              "            <Error>bad</Error>\n"
                              "            <currentRange>0</currentRange>\n"
                              "            <dCurrentRange>0</dCurrentRange>\n"
                              "            <date>86400</date>\n"
                              "            <dcCScanVoltageEnd>0</dcCScanVoltageEnd>\n"
                              "            <dcCScanVoltageStart>0</dcCScanVoltageStart>\n"
                              "            <gainAutoSwitchVoltage>0</gainAutoSwitchVoltage>\n"
                              "            <offsetCurrent>0</offsetCurrent>\n"
                              "            <plasmaResistance>0</plasmaResistance>\n"
                              "            <position>0</position>\n"
                              "            <resolved_time>12.5</resolved_time>\n"
                              "            <scan_type>2</scan_type>\n"
                              "            <temporal_position>0</temporal_position>\n"
                              "        </Status>\n"
                              "        <vec label=\"ionCurrent\">;-30;1e-06;</vec>\n"
                              "        <trace class=\"initScanData\" duration=\"0.5\">\n"
                              "            <vec label=\"I\">;1.5;</vec>\n"
                              "            <vec label=\"V\">;2;</vec>\n"
                              "        </trace>\n"
                              "        <trace class=\"initScanDerivativeData\" duration=\"0\">\n"
                              "            <vec label=\"V\">;3;</vec>\n"
                              "            <vec label=\"dIdV\">;0.25;</vec>\n"
                              "        </trace>\n"
                              "        <dcInitScanData traces=\"1\">\n"
                              "            <trace duration=\"0\" index=\"0\">\n"
                              "                <vec label=\"I\">;</vec>\n"
                              "                <vec label=\"V\">;</vec>\n"
                              "            </trace>\n"
                              "        </dcInitScanData>\n"
                              "        <accumulatedTraces accumulations=\"0\" class=\"rawData\">\n"
                              "            <vec label=\"sumI\">;</vec>\n"
                              "            <vec label=\"sumIsq\">;</vec>\n"
                              "            <vec label=\"sumV\">;</vec>\n"
                              "            <vec label=\"sumVsq\">;</vec>\n"
                              "        </accumulatedTraces>\n"
                              "        <data class=\"correctedData\">\n"
                              "            <vec label=\"I\">;3;4;</vec>\n"
                              "            <vec label=\"V\">;1;2;</vec>\n"
                              "            <vec label=\"stdI\">;0;1.23457e+06;</vec>\n"
                              "            <vec label=\"stdV\">;0;0;</vec>\n"
                              "        </data>\n"
                              "        <eedf_data class=\"eedfResult\">\n"
                              "            <vec label=\"EEDF\">;</vec>\n"
                              "            <vec label=\"EEDF_error\">;</vec>\n"
                              "            <vec label=\"EEDF_low_error\">;</vec>\n"
                              "            <vec label=\"energy\">;</vec>\n"
                              "        </eedf_data>\n"));
    const QByteArray results = doc.mid(doc.indexOf("        <results>"));
    QVERIFY(results.startsWith("        <results>\n            <Je>nan</Je>\n            <Je_error>nan</Je_error>\n"
                               "            <Jp>nan</Jp>\n"));
    QVERIFY(results.contains("            <Vp>0.5</Vp>\n"));
    QVERIFY(results.contains("            <Vpmax_error>nan</Vpmax_error>\n            <Vsat>nan</Vsat>\n"));
    QVERIFY(results.endsWith("            <vdrift_err>nan</vdrift_err>\n        </results>\n    </scanData>\n"
                             "</measuredData>\n"));
    QCOMPARE(results.count("\n            <"), 32);
}

void TstSessionFile::refusalsLeaveSessionUntouched_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to"); // the whole document where `from` is empty
    QTest::addColumn<QString>("reason"); // a regular expression; empty: not checked
    auto row = [](const char* name, const QByteArray& from, const QByteArray& to, const QString& reason = QString()) {
        QTest::newRow(name) << from << to << reason;
    };
    row("sensor case", "sensor=\"Langmuir Probe\"", "sensor=\"Langmuir probe\"");
    row("no sensor", "sensor=\"Langmuir Probe\"", "sensor2=\"Langmuir Probe\"");
    row("version 4", "version=\"3\"", "version=\"4\"", "^Session file version 4 is not supported\\.$");
    row("version text", "version=\"3\"", "version=\"3b\"", "^Session file version 3b is not supported\\.$");
    row("legacy version 2", "version=\"3\"", "version=\"2\"");
    row("legacy version 1", "version=\"3\"", "version=\"1\"");
    row("no version", " version=\"3\"", "");
    row("wrong root", "measuredData", "measuredDate");
    row("misnamed header", "<header>", "<heater>", "^Reading stopped at element <heater> on line 3: ");
    row("configuration class", "class=\"configParam\"", "class=\"ConfigParam\"");
    row("settings class", "class=\"AnalysisSettings\"", "class=\"other\"");
    row("table class", "class=\"tableEEDF\"", "class=\"table\"");
    row("missing ion current", "label=\"ionCurrent\"", "label=\"ion\"");
    row("derivative class", "class=\"initScanDerivativeData\"", "class=\"x\"");
    row("raw data class", "class=\"rawData\"", "class=\"raw\"");
    row("corrected class", "class=\"correctedData\"", "class=\"corrected\"");
    row("eepf element", "<eedf_data", "<eepf_data");
    row("missing results", "<results>", "<result>");
    row("element after scans", "</measuredData>", "<more/></measuredData>");
    row("content after root", "</measuredData>", "</measuredData><x/>");
    row("cut in the table", "</EEDF_Table>", "</EEDF_");
    row("empty document", "", "");
    row("not xml", "", "hello, world", "^The file is not a session file\\.$");
    row("other sensor", "sensor=\"Langmuir Probe\"", "sensor=\"Hall Probe\"", "^The file is not a session file\\.$");
}

void TstSessionFile::refusalsLeaveSessionUntouched()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, reason);
    DataAnalyzer source;
    fixture::fill(source);
    QByteArray doc = written(source);
    if (from.isEmpty())
        doc = to;
    else {
        QVERIFY(doc.contains(from));
        doc.replace(doc.lastIndexOf(from), from.size(), to);
    }
    QVERIFY(readBytes(*new DataAnalyzer(this), written(source))); // the unchanged text reads

    DataAnalyzer target;
    target.setDeviceID("before");
    target.setFileName("before.ldf");
    ScanRecord one;
    one.position = 7;
    target.addScan(one);
    QSignalSpy spy(&target, &DataAnalyzer::updateProbeConfig);
    QString why;
    QVERIFY(!readBytes(target, doc, &why));
    QCOMPARE(target.deviceID(), QString("before"));
    QCOMPARE(target.fileName(), QString("before.ldf"));
    QCOMPARE(target.scanCount(), 1);
    QCOMPARE(target.scansOfGroup(0).at(0).position, 7.0);
    QCOMPARE(spy.count(), 0);
    if (reason.isEmpty())
        return;
    QVERIFY2(QRegularExpression(reason).match(why).hasMatch(), qPrintable(why));
    // Loading the file says the same.
    QTemporaryDir dir;
    QFile f(dir.filePath("refused.ldf"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(doc);
    f.close();
    QString loadWhy;
    QVERIFY(!SessionFile::load(target, f.fileName(), &loadWhy));
    QCOMPARE(loadWhy, why);
}

void TstSessionFile::scanTypeFallback_data()
{
    QTest::addColumn<QByteArray>("resolved");
    QTest::addColumn<int>("type");
    QTest::newRow("no resolved time") << QByteArray("0") << 1;
    QTest::newRow("resolved time") << QByteArray("12.5") << 2;
    QTest::newRow("not a number counts as set") << QByteArray("nan") << 2;
}

void TstSessionFile::scanTypeFallback()
{
    QFETCH(QByteArray, resolved);
    QFETCH(int, type);
    DataAnalyzer source;
    ScanRecord s;
    s.scanType = 0;
    source.addScan(s);
    QByteArray doc = written(source);
    doc.replace("            <scan_type>0</scan_type>\n", "");
    doc.replace("<resolved_time>0</resolved_time>", "<resolved_time>" + resolved + "</resolved_time>");
    DataAnalyzer in;
    QVERIFY(readBytes(in, doc));
    QCOMPARE(in.scansOfGroup(0).value(0).scanType, type);
}

void TstSessionFile::untrustedShapesAreMadeConsistent()
{
    DataAnalyzer source;
    fixture::fill(source);
    QByteArray doc = written(source);
    const auto swapFirst = [&doc](const QByteArray &from, const QByteArray &to) {
        const int at = doc.indexOf(from);
        QVERIFY2(at >= 0, from.constData());
        doc.replace(at, from.size(), to);
    };
    swapFirst("<vec label=\"ionCurrent\">;-30.5;-0.000123456789;</vec>", "<vec label=\"ionCurrent\">;</vec>");
    // Trace lists of different lengths pair up to the shorter one.
    swapFirst("<vec label=\"I\">;0;", "<vec label=\"I\">;");
    // Empty text, legacy commas and a leading minus.
    {
        const QByteArray tag = "<vec label=\"V\">";
        const int from = doc.indexOf(tag) + tag.size();
        const int to = doc.indexOf("</vec>", from);
        QByteArray legacy = doc.mid(from, to - from).replace(';', ',');
        QVERIFY(legacy.startsWith(",-50,"));
        doc.replace(from, to - from, legacy.mid(1, legacy.size() - 2)); // "-50,-49.6666667,..."
    }
    swapFirst("<accumulatedTraces accumulations=\"2\"", "<accumulatedTraces accumulations=\"0\"");
    swapFirst("<vec label=\"stdI\">;1e-07;", "<vec label=\"stdI\">;");
    {
        const int from = doc.indexOf("<vec label=\"EEDF_error\">");
        doc.replace(from, doc.indexOf("</vec>", from) - from, "<vec label=\"EEDF_error\">");
    }
    swapFirst("<currentRange>0</currentRange>", "<currentRange>9</currentRange>");
    // Second scan: unequal sums leave the sums empty; a missing result keeps not-a-number.
    const int second = doc.indexOf("<scanData>", doc.indexOf("<scanData>") + 1);
    const int sumV = doc.indexOf("<vec label=\"sumV\">;", second);
    doc.replace(sumV, 19, "<vec label=\"sumV\">;1;");
    const int kte = doc.indexOf("<kTe>", second);
    doc.remove(kte, doc.indexOf("</kTe>", kte) + 6 - kte);

    DataAnalyzer in;
    QVERIFY(readBytes(in, doc));
    const ScanRecord &a = in.scansOfGroup(0).at(0);
    const ScanRecord &e = source.scansOfGroup(0).at(0);
    QCOMPARE(a.ionCurrent[0], 0.0);
    QCOMPARE(a.ionCurrent[1], 0.0);
    QCOMPARE(a.initScan.size(), e.initScan.size() - 1);
    QCOMPARE(a.initScan.current(0), e.initScan.current(1)); // measured: exact
    QCOMPARE(a.initScan.voltage(0), e.initScan.voltage(0));
    QVERIFY(a.accumulated.points().isEmpty());
    QCOMPARE(a.accumulated.count(), 0);
    QCOMPARE(a.corrected.V.size(), e.corrected.V.size() - 1);
    QCOMPARE(a.corrected.I.size(), a.corrected.V.size());
    QCOMPARE(a.corrected.stdV.size(), a.corrected.V.size());
    QCOMPARE(a.corrected.stdI.at(0), r6(e.corrected.stdI.at(1)));
    QVERIFY(a.eepf.energy.isEmpty() && a.eepf.EEDF.isEmpty() && a.eepf.EEDF_low_error.isEmpty());
    QCOMPARE(a.currentRange, 5u);
    QVERIFY(a.correctedDoubleProbe.V.isEmpty()); // scan 0 has no double-probe element

    const ScanRecord &b = in.scansOfGroup(0).at(1);
    QVERIFY(b.accumulated.points().isEmpty());
    QVERIFY(std::isnan(b.result.value(ResultRecord::eKTe)));
    QCOMPARE(b.result.error(ResultRecord::eKTe), r6(source.scansOfGroup(0).at(1).result.error(ResultRecord::eKTe)));
    QCOMPARE(b.correctedDoubleProbe.V.size(), 5);
}

void TstSessionFile::configurationFromFile()
{
    DataAnalyzer source;
    DoubleProbeConfigParam dbl;
    dbl.offsetCurrent = 4.5e-6;
    dbl.dataScanRunParam.avgPerStep = 0; // not a value the panel allows
    source.setConfiguration(dbl);
    LangmuirSettings ls;
    ls.offsetCurrent = 1e-9;
    ls.noiseRobust = true;
    source.setAnalysisSettings(ls);
    QByteArray doc = written(source);
    QVERIFY(doc.contains("<offsetCurrent>1e-09</offsetCurrent>"));
    QVERIFY(doc.contains("<noiseRobust>1</noiseRobust>"));
    {
        DataAnalyzer robust;
        QVERIFY(readBytes(robust, doc));
        QVERIFY(robust.analysisSettings().noiseRobust);
    }
    doc.replace("<noiseRobust>1</noiseRobust>", ""); // a file of a writer without the mode: off
    doc.replace("<offsetCurrent>1e-09</offsetCurrent>", ""); // an older writer's file

    DataAnalyzer in;
    QSignalSpy spy(&in, &DataAnalyzer::updateProbeConfig);
    QVERIFY(readBytes(in, doc));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toInt(), 3);
    QVERIFY(dynamic_cast<const DoubleProbeConfigParam *>(&in.configuration()));
    QCOMPARE(in.configuration().dataScanRunParam.avgPerStep, 1u);
    QCOMPARE(in.analysisSettings().offsetCurrent, 4.5e-6);
    QVERIFY(!in.analysisSettings().noiseRobust);

    // A Mach-probe session asks for no rebuild.
    DataAnalyzer mach;
    SingleProbeConfigParam m;
    m.probeMode = 5;
    mach.setConfiguration(m);
    DataAnalyzer in2;
    QSignalSpy spy2(&in2, &DataAnalyzer::updateProbeConfig);
    QVERIFY(readBytes(in2, written(mach)));
    QCOMPARE(spy2.count(), 0);
    QCOMPARE(in2.configuration().probeMode, 5);
}

void TstSessionFile::textsXmlCannotCarryAreDropped()
{
    // A device string with control characters must not make the session unreadable.
    DataAnalyzer out;
    out.setDeviceID(QString("VESK") + QChar(1) + "-7" + QChar(0) + QChar(0xD800) + QChar(0xFFFF));
    out.setComment(QString("tab\tand pair ") + QChar(0xD83D) + QChar(0xDE00));
    ScanRecord s;
    s.error = QString("bad") + QChar(0x1B) + "[0m";
    out.addScan(s);
    DataAnalyzer in;
    QVERIFY(readBytes(in, written(out)));
    QCOMPARE(in.deviceID(), QString("VESK-7"));
    QCOMPARE(in.comment(), out.comment());
    QCOMPARE(in.scansOfGroup(0).value(0).error, QString("bad[0m"));
}

void TstSessionFile::failedSaveKeepsPreviousFile()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("kept.ldf");
    DataAnalyzer small;
    small.setComment("the good one");
    QVERIFY(SessionFile::save(small, name));
    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();

    DataAnalyzer big;
    fixture::fill(big);
    big.setFileName("earlier.ldf");
    QString why;
    {
        FileSizeLimit limit(rlim_t(good.size() + 100));
        QVERIFY(limit.active());
        QVERIFY(!SessionFile::save(big, name, &why));
    }
    QVERIFY(!why.isEmpty());
    QCOMPARE(big.fileName(), QString("earlier.ldf"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), good);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.ldf"});
}

void TstSessionFile::unopenableFilesReportWhy()
{
    QTemporaryDir dir;
    DataAnalyzer a;
    QString why;
    QVERIFY(!SessionFile::save(a, dir.filePath("no/such/folder/x.ldf"), &why));
    QVERIFY(!why.isEmpty());
    why.clear();
    QVERIFY(!SessionFile::load(a, dir.filePath("missing.ldf"), &why));
    QVERIFY(!why.isEmpty());
    QVERIFY(a.fileName().isEmpty());
}

void TstSessionFile::outputIgnoresDecimalCommaLocale()
{
    DataAnalyzer a;
    fixture::fill(a);
    const QByteArray plain = withoutHeader(written(a));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const QByteArray comma = withoutHeader(written(a));
    DataAnalyzer in;
    const bool readOk = readBytes(in, written(a));
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    QCOMPARE(comma, plain);
    QVERIFY(readOk);
    QCOMPARE(in.scansOfGroup(0).at(0).corrected.V.at(1), r6(a.scansOfGroup(0).at(0).corrected.V.at(1)));
}


// Elements nested inside a text value, however deep, are a failed read, found without
// recursion (a deep recursion used to overflow the stack).
void TstSessionFile::nestedElementsInTextAreRefused_data()
{
    QTest::addColumn<QByteArray>("at");   // the text value's start tag
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("element");
    QTest::newRow("comment, shallow") << QByteArray("<comment>") << 1 << "a";
    QTest::newRow("comment, 200000 deep") << QByteArray("<comment>") << 200000 << "a";
    QTest::newRow("ion current vec, 200000 deep") << QByteArray("<vec label=\"ionCurrent\">") << 200000 << "a";
    QTest::newRow("sums vec, 200000 deep") << QByteArray("<vec label=\"sumI\">") << 200000 << "a";
    QTest::newRow("result, 200000 deep") << QByteArray("<Vp>") << 200000 << "a";
}

void TstSessionFile::nestedElementsInTextAreRefused()
{
    QFETCH(QByteArray, at);
    QFETCH(int, depth);
    QFETCH(QString, element);
    DataAnalyzer source;
    fixture::fill(source);
    QByteArray doc = written(source);
    const int pos = doc.indexOf(at);
    QVERIFY(pos > 0);
    const QByteArray open = "<" + element.toLatin1() + ">", close = "</" + element.toLatin1() + ">";
    doc.insert(pos + at.size(), open.repeated(depth) + "1" + close.repeated(depth));
    const int line = doc.left(pos).count('\n') + 1;
    DataAnalyzer target;
    QString why;
    QVERIFY(!readBytes(target, doc, &why));
    QCOMPARE(why, QStringLiteral("Reading stopped at element <%1> on line %2: Expected character data.")
                      .arg(element).arg(line));
    QCOMPARE(target.scanCount(), 0);
}

void TstSessionFile::carriageReturnsReadBackExactly()
{
    DataAnalyzer out;
    out.setComment(QStringLiteral("line one\r\nline two\rthree\r"));
    ScanRecord s;
    s.error = QStringLiteral("\rfirst\r\r");
    out.addScan(s);
    const QByteArray doc = written(out);
    QVERIFY(!doc.contains('\r'));
    QVERIFY(doc.contains("<comment>line one&#13;\nline two&#13;three&#13;</comment>"));
    DataAnalyzer in;
    QVERIFY(readBytes(in, doc));
    QCOMPARE(in.comment(), out.comment());
    QCOMPARE(in.scansOfGroup(0).value(0).error, s.error);
    QCOMPARE(withoutHeader(written(in)), withoutHeader(doc));
}

// A session saved and read back re-analyses to the very results and errors it had: its
// measured inputs are written so that they read back exactly.
void TstSessionFile::reloadedSessionReanalysesAlike()
{
    DataAnalyzer out;
    LangmuirSettings ls = out.analysisSettings();
    ls.correctDC = true;
    out.setAnalysisSettings(ls);
    for (int k = 0; k < 3; ++k) {
        ScanRecord s;
        s.scanType = ScanRecord::eSpatialRun;
        s.position = k;
        const int n = 300;
        for (int sweep = 0; sweep < 4; ++sweep) {
            QVector<double> raw(2 * n);
            for (int i = 0; i < n; ++i) {
                const double v = -50 + 70.0 * i / (n - 1) + 1e-3 * std::sin(7.0 * i + sweep);
                const double eta = (v - 5) / (2.0 + 0.1 * k);
                raw[i] = v;
                raw[n + i] = (eta < 0 ? 3e-3 * std::exp(eta) : 3e-3 * std::sqrt(1 + eta)) - 2.1e-5
                             + 1e-5 * std::sin(13.0 * i * (sweep + 1) + k);
            }
            QVERIFY(s.accumulated.add(raw.constData(), n));
        }
        s.ionCurrent[0] = -2.0987654321e-5 * (1 + 0.1 * k); // current, voltage of the reading
        s.ionCurrent[1] = -40.123456789;
        for (int pass = 0; pass < 2; ++pass) {
            TimedTrace pre;
            for (int i = 0; i < 6; ++i)
                pre.append(1.23456789e-4 * (i + 1) * (pass + 1), -10.0 + 3.3333333 * i + 0.1 * pass);
            s.dcInitScans << pre;
        }
        out.addScan(s);
    }
    out.analyseAll(1);
    for (int g = 0; g < out.groupCount(); ++g) {
        QVERIFY(std::isfinite(out.scansOfGroup(g).at(0).result.value(ResultRecord::eVp)));
        QVERIFY(out.scansOfGroup(g).at(0).plasmaResistance != 0);
    }

    DataAnalyzer in;
    QVERIFY(readBytes(in, written(out)));
    in.analyseAll(1);
    QCOMPARE(in.groupCount(), out.groupCount());
    for (int g = 0; g < out.groupCount(); ++g) {
        const ScanRecord &e = out.scansOfGroup(g).at(0);
        const ScanRecord &a = in.scansOfGroup(g).at(0);
        QCOMPARE(a.plasmaResistance, e.plasmaResistance);
        for (int i = 0; i < 32; ++i) {
            const double x = e.result.raw()[i], y = a.result.raw()[i];
            QVERIFY2((std::isnan(x) && std::isnan(y)) || x == y,
                     qPrintable(QStringLiteral("scan %1 field %2: %3 vs %4").arg(g).arg(i).arg(x).arg(y)));
        }
        QCOMPARE(a.eepf.EEDF, e.eepf.EEDF);
        QCOMPARE(a.eepf.EEDF_error, e.eepf.EEDF_error);
        QVERIFY(std::isfinite(e.result.error(ResultRecord::eVp)));
    }
}

// A document that stops (a journal, a crash while saving) reads up to its
// last complete scan and says so; one that stops before its scans is refused.
void TstSessionFile::cutOffFilesKeepCompleteScans_data()
{
    QTest::addColumn<QByteArray>("cutAt"); // the cut is at this text (after it when `after`)
    QTest::addColumn<bool>("last");       // its last occurrence, else its first
    QTest::addColumn<bool>("after");
    QTest::addColumn<int>("lost");        // scans lost at the end; -1: refused
    QTest::addColumn<int>("zeros");       // a power cut's unwritten block after the cut
    QTest::newRow("no closing tag") << QByteArray("</measuredData>") << true << false << 0 << 0;
    QTest::newRow("in the last scan") << QByteArray("<results>") << true << false << 1 << 0;
    QTest::newRow("in the last scan, zeros after") << QByteArray("<results>") << true << false << 1 << 4096;
    QTest::newRow("in the last closing tag") << QByteArray("</scanData>") << true << false << 1 << 0;
    QTest::newRow("after the first scan") << QByteArray("</scanData>") << false << true << -2 << 0;
    QTest::newRow("after the first scan, zeros after") << QByteArray("</scanData>") << false << true << -2 << 1;
    QTest::newRow("right after the table") << QByteArray("</EEDF_Table>") << false << true << -3 << 0;
    QTest::newRow("in the table") << QByteArray("<vec label=\"resolution\"") << false << false << -1 << 0;
}

void TstSessionFile::cutOffFilesKeepCompleteScans()
{
    QFETCH(QByteArray, cutAt);
    QFETCH(bool, last);
    QFETCH(bool, after);
    QFETCH(int, lost);
    QFETCH(int, zeros);
    DataAnalyzer source;
    fixture::fill(source);
    const int n = source.scanCount();
    QVERIFY(n >= 2);
    QByteArray doc = written(source);
    const int at = last ? doc.lastIndexOf(cutAt) : doc.indexOf(cutAt);
    QVERIFY(at > 0);
    doc.truncate(at + (after ? cutAt.size() : 0));
    doc.append(QByteArray(zeros, '\0'));
    const int expected = lost == -2 ? 1 : lost == -3 ? 0 : n - lost;

    DataAnalyzer target;
    QBuffer buf(&doc);
    buf.open(QIODevice::ReadOnly);
    SessionFile::ReadReport report;
    QString why;
    const bool ok = SessionFile::read(target, buf, &why, &report);
    if (lost == -1) {
        QVERIFY(!ok);
        QVERIFY2(QRegularExpression("^Reading stopped( at element <\\w+>)? on line \\d+: Premature end of document\\.$")
                     .match(why)
                     .hasMatch(),
                 qPrintable(why));
        return;
    }
    QVERIFY2(ok, qPrintable(why));
    QVERIFY(report.cutOff);
    QCOMPARE(report.scans, expected);
    QCOMPARE(target.scanCount(), expected);
    QCOMPARE(target.deviceID(), source.deviceID());
    QCOMPARE(SessionFile::recoveredText(report),
             QString("The file ends early: %1 complete scan%2 recovered.").arg(expected).arg(expected == 1 ? "" : "s"));
    // The scans kept are the first ones, whole.
    QVector<const ScanRecord *> written, read;
    for (int g = 0; g < source.groupCount(); ++g)
        for (const ScanRecord &s : source.scansOfGroup(g))
            written << &s;
    for (int g = 0; g < target.groupCount(); ++g)
        for (const ScanRecord &s : target.scansOfGroup(g))
            read << &s;
    for (int i = 0; i < expected; ++i)
        QVERIFY2(diffScan(*written[i], *read[i]).isEmpty(), qPrintable(diffScan(*written[i], *read[i])));
}

// The journal: head and scans first, each appended scan readable at once;
// held by its writer (not offered), offered once the writer is gone, taken
// over by a recovered session, rewritten when the settings change, removed.
void TstSessionFile::journalIsASessionFileWrittenAsTheRunGoes()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("recovery");
    DataAnalyzer source;
    fixture::fill(source);
    QVector<ScanRecord> scans;
    for (int g = 0; g < source.groupCount(); ++g)
        scans += source.scansOfGroup(g);
    DataAnalyzer session;
    fixture::fill(session);
    session.clearScans();
    session.addScan(scans[0]);

    QString why;
    auto journal = SessionJournal::create(folder, session, &why);
    QVERIFY2(journal, qPrintable(why));
    QVERIFY(SessionJournal::find(folder).isEmpty()); // in use
    for (int i = 1; i < scans.size(); ++i) {
        QVERIFY(journal->append(scans[i]));
        QVERIFY(journal->waitWritten());
        DataAnalyzer read;
        SessionFile::ReadReport report;
        QVERIFY(SessionFile::load(read, journal->path(), &why, &report));
        QVERIFY(report.cutOff);
        QCOMPARE(read.scanCount(), i + 1);
        QCOMPARE(read.comment(), session.comment());
        const ScanRecord *last = read.scan(read.groupCount() - 1, read.scansOfGroup(read.groupCount() - 1).size() - 1);
        QVERIFY2(diffScan(scans[i], *last).isEmpty(), qPrintable(diffScan(scans[i], *last)));
    }
    QCOMPARE(journal->scans(), scans.size());

    QVERIFY(journal->headMatches(session));
    session.setComment("changed");
    QVERIFY(!journal->headMatches(session));
    QVERIFY(journal->restart(session)); // the session holds one scan
    QVERIFY(journal->headMatches(session));
    QCOMPARE(journal->scans(), 1);

    const QString path = journal->path();
    journal.reset(); // the program ends: the journal stays
    const QList<SessionJournal::Found> found = SessionJournal::find(folder);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().path, path);
    QCOMPARE(found.first().scans, 1);
    QVERIFY(std::abs(found.first().written.secsTo(QDateTime::currentDateTime())) < 60);

    auto adopted = SessionJournal::adopt(path, &why);
    QVERIFY2(adopted, qPrintable(why));
    QVERIFY(!SessionJournal::adopt(path)); // one owner
    QVERIFY(SessionJournal::find(folder).isEmpty());
    QVERIFY(!adopted->append(scans[0])); // a taken-over journal is not written
    adopted->remove();
    QVERIFY(!QFile::exists(path));
    QVERIFY(!QFile::exists(path + ".lock"));
}

QTEST_GUILESS_MAIN(TstSessionFile)
#include "tst_sessionfile.moc"
