#include "ConfigParam.h"
#include "SessionConfig.h"

#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

namespace {
// Lines the two records add beyond the texts of older writers.
// (the retract and timed-run settings, at their defaults here).
QStringList addedStoreLines()
{
    QStringList lines;
    for (int record = 0; record < 2; ++record)
        lines << "spatParam\\retractPosition=0" << "spatParam\\useRetract=false"
              << "timedParam\\bUseTimedScan=false" << "timedParam\\end=10" << "timedParam\\start=0"
              << "timedParam\\step=5";
    return lines;
}
QStringList addedMapLines()
{
    QStringList lines;
    for (int record = 0; record < 2; ++record)
        lines << "spatParam_retractPosition=0" << "spatParam_useRetract=0" << "timedParam_bUseTimedScan=0"
              << "timedParam_end=10" << "timedParam_start=0" << "timedParam_step=5";
    return lines;
}
} // namespace

class TstConfigParam : public QObject
{
    Q_OBJECT

private slots:
    void emptyStoreGivesKindDefaults();
    void storeRoundTripAndKeyNames();
    void singleReadClearsDoubleProbeFlag();
    void mapKeysAndValueTexts();
    void mapWithOneKeyChangesOneField();
    void mapRoundTripIsIdentical();
    void clampsOutOfRangeMapValues_data();
    void clampsOutOfRangeMapValues();
    void clampsOutOfRangeStoreValues();
    void validValuesLoadUnchanged();
    void mapTextsIgnoreDecimalCommaLocale();
    void storedTextsAreUnchanged();
    void sessionActiveRecordFollowsProbeMode_data();
    void sessionActiveRecordFollowsProbeMode();
    void sessionWorkingCopyIsIndependent();
    void sessionSeedAssignAndStore();

private:
    template <class Record>
    static Record distinctRecord(int salt);
    static QStringList lines(const QString &path);

    QTemporaryDir dir;
    int storeNo = 0;
    QString storePath() { return dir.filePath(QStringLiteral("store%1.ini").arg(++storeNo)); }
    // `r` written to a fresh store and read back into a new record.
    template <class Record> Record throughStore(const Record &r)
    {
        const QString path = storePath();
        {
            QSettings store(path, QSettings::IniFormat);
            r.writeSettings(store);
        }
        QSettings store(path, QSettings::IniFormat);
        Record back;
        back.readSettings(store);
        return back;
    }
};

void TstConfigParam::emptyStoreGivesKindDefaults()
{
    QSettings store(storePath(), QSettings::IniFormat);
    SingleProbeConfigParam single;
    single.readSettings(store);
    QCOMPARE(single.voltageIdle, -100.0);
    QCOMPARE(single.ionCurrentScalingFactor, 100.0);
    QCOMPARE(single.initScanMaxVoltage, 150.0);
    QVERIFY(single.useSmartScan);
    QVERIFY(single.useAutoCMRange);
    QVERIFY(!single.dcCScanDisable);
    QCOMPARE(single.dataScanRunParam.firstStepDelay, 1000u);
    QCOMPARE(single.dataScanRunParam.traceAverage, 10u);
    QCOMPARE(single.initScanRunParam.traceAverage, 1u);
    // The ion-current phase measures at one voltage by default.
    QCOMPARE(single.ionCurrentScanRunParam.voltageStart, -50.0);
    QCOMPARE(single.ionCurrentScanRunParam.voltageEnd, -50.0);
    QCOMPARE(single.ic.voltage, -30.0);
    QCOMPARE(single.ic.duration, 10.0);
    QCOMPARE(single.clean.period, 600);

    DoubleProbeConfigParam dbl;
    dbl.readSettings(store);
    QCOMPARE(dbl.voltageIdle, 0.0);
    QCOMPARE(dbl.ionCurrentScalingFactor, 1.5);
    QVERIFY(!dbl.useSmartScan);
    QVERIFY(!dbl.useAutoCMRange);
    QVERIFY(dbl.dcCScanDisable);
    QVERIFY(!dbl.initScanOptimiseForEEDF);
    for (const ScanRunParam *r : {&dbl.ionCurrentScanRunParam, &dbl.initScanRunParam, &dbl.dcCScanRunParam,
                                  &dbl.dataScanRunParam})
        QCOMPARE(r->firstStepDelay, 10000u);
    QCOMPARE(dbl.ionCurrentScanRunParam.voltageEnd, -50.0);
    // Not part of the store form: constructor values stay.
    QVERIFY(dbl.useDoubleProbe);
    QCOMPARE(dbl.probeMode, 3);
}

void TstConfigParam::storeRoundTripAndKeyNames()
{
    const QString path = storePath();
    SingleProbeConfigParam out;
    out.sync.bUseSyncScan = true;
    out.sync.resolution = 2.5;
    out.spat.end = 42;
    out.useExtTrigger = true;
    out.useExtTriggerRisingEdge = false;
    out.extTriggerDelay = 77;
    out.ic.bUseIcScan = true;
    out.ic.voltage = -12.25;
    out.clean.relaxTime = 33;
    out.dataScanRunParam.voltageStep = 0.125;
    out.dcCScanRunParam.avgPerStep = 17;
    out.dataScanThrowScans = 4;
    out.offsetCurrent = 1.5e-7;
    out.spat.useRetract = true;
    out.spat.retractPosition = 95.5;
    out.timed.bUseTimedScan = true;
    out.timed.start = 1;
    out.timed.step = 2.5;
    out.timed.end = 3600;
    {
        QSettings store(path, QSettings::IniFormat);
        out.writeSettings(store);
        DoubleProbeConfigParam().writeSettings(store);
    }
    QSettings raw(path, QSettings::IniFormat);
    QCOMPARE(raw.value("ConfigParam/syncParam/resolution").toDouble(), 2.5);
    QCOMPARE(raw.value("ConfigParam/bUseExtTrigger").toBool(), true);
    QCOMPARE(raw.value("ConfigParam/bUseExtTriggerRisingEdge").toBool(), false);
    QCOMPARE(raw.value("ConfigParam/ionScanUse").toBool(), true);
    QCOMPARE(raw.value("ConfigParam/ionScanVoltage").toDouble(), -12.25);
    QCOMPARE(raw.value("ConfigParam/cleanProbeParam/relaxTime").toInt(), 33);
    QCOMPARE(raw.value("ConfigParam/dcCScanRunParam/avgPerStep").toInt(), 17);
    QVERIFY(raw.contains("DoubleProbeConfigParam/dataScanRunParam/voltageEnd"));
    // Probe-kind fields are not stored; retract and timed-run settings are,
    // under keys of their own.
    QVERIFY(!raw.contains("ConfigParam/probeMode"));
    QCOMPARE(raw.value("ConfigParam/spatParam/useRetract").toBool(), true);
    QCOMPARE(raw.value("ConfigParam/spatParam/retractPosition").toDouble(), 95.5);
    QCOMPARE(raw.value("ConfigParam/timedParam/bUseTimedScan").toBool(), true);
    QCOMPARE(raw.value("ConfigParam/timedParam/step").toDouble(), 2.5);

    SingleProbeConfigParam in;
    in.readSettings(raw);
    QCOMPARE(in.toMap(), out.toMap());
}

void TstConfigParam::singleReadClearsDoubleProbeFlag()
{
    QSettings store(storePath(), QSettings::IniFormat);
    SingleProbeConfigParam c;
    c.useDoubleProbe = true;
    c.readSettings(store);
    QVERIFY(!c.useDoubleProbe);
}

void TstConfigParam::mapKeysAndValueTexts()
{
    SingleProbeConfigParam c;
    c.autoCRMargin = 0.123456789;
    c.voltageIdle = 1234567;
    c.offsetCurrent = 1e-6;
    c.useExtTrigger = true;
    c.dataScanRunScans = 12;
    const QMap<QString, QString> m = c.toMap();
    QCOMPARE(m.size(), 28 + 5 + 4 + 3 + 6 + 4 * 8 + 2 + 4);
    QCOMPARE(m.value("autoCRMargin"), QString("0.123457"));
    QCOMPARE(m.value("voltageIdle"), QString("1.23457e+06"));
    QCOMPARE(m.value("offsetCurrent"), QString("1e-06"));
    QCOMPARE(m.value("useExtTrigger"), QString("1"));
    QCOMPARE(m.value("useExtTriggerRisingEdge"), QString("1"));
    QCOMPARE(m.value("useDoubleProbe"), QString("0"));
    QCOMPARE(m.value("dataScanRunScans"), QString("12"));
    QCOMPARE(m.value("icParam_voltage"), QString("-30"));
    QCOMPARE(m.value("syncParam_resolution"), QString("10"));
    QCOMPARE(m.value("dataScanRunParam_voltageStart"), QString("-50"));
    QCOMPARE(m.value("cleanProbeParam_relaxTime"), QString("20"));
    QVERIFY(!m.contains("bUseExtTrigger"));
    QVERIFY(!m.contains("ionScanUse"));
    QCOMPARE(m.value("spatParam_useRetract"), QString("0"));
    QCOMPARE(m.value("spatParam_retractPosition"), QString("0"));
    QCOMPARE(m.value("timedParam_bUseTimedScan"), QString("0"));
    QCOMPARE(m.value("timedParam_end"), QString("10"));
}

void TstConfigParam::mapWithOneKeyChangesOneField()
{
    DoubleProbeConfigParam c;
    c.voltageIdle = 7.5;
    const QMap<QString, QString> before = c.toMap();
    QMap<QString, QString> one;
    one.insert("syncParam_start", "12.5");
    c.fromMap(one);
    QCOMPARE(c.sync.start, 12.5);
    QMap<QString, QString> after = c.toMap();
    after.insert("syncParam_start", before.value("syncParam_start"));
    QCOMPARE(after, before);
}

void TstConfigParam::mapRoundTripIsIdentical()
{
    SingleProbeConfigParam out;
    out.probeMode = 5;
    out.useReferenceProbe = true;
    out.spat.bUseSpatScan = true;
    out.spat.step = 2.5;
    out.ic.duration = 3.25;
    out.clean.power = 0.5;
    out.initScanRunParam.integrationTime = 12.5;
    out.ionCurrentScanRunParam.voltageEnd = -40;
    out.userChosenCMRange = 4;
    out.initScanDerivativePoints = 7;
    DoubleProbeConfigParam in;
    in.fromMap(out.toMap());
    QCOMPARE(in.toMap(), out.toMap());
    QCOMPARE(in.probeMode, 5);
    QVERIFY(!in.useDoubleProbe);
}

void TstConfigParam::clampsOutOfRangeMapValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero average") << "dataScanRunParam_avgPerStep" << "0" << "1";
    QTest::newRow("negative trace average would wrap") << "initScanRunParam_traceAverage" << "-1" << "1";
    QTest::newRow("zero first delay") << "dcCScanRunParam_firstStepDelay" << "0" << "1";
    QTest::newRow("delay beyond 16 bits") << "ionCurrentScanRunParam_nextStepDelay" << "70000" << "65535";
    QTest::newRow("range above 5") << "userChosenCMRange" << "9" << "5";
    QTest::newRow("negative range") << "userChosenCMRange" << "-2" << "0";
    QTest::newRow("negative trigger delay") << "extTriggerDelay" << "-5" << "0";
    QTest::newRow("trigger delay beyond 16 bits") << "extTriggerDelay" << "1e6" << "65535";
    QTest::newRow("nan trigger delay") << "extTriggerDelay" << "nan" << "0";
    QTest::newRow("zero derivative points") << "initScanDerivativePoints" << "0" << "1";
    QTest::newRow("zero dc steps") << "dcCScanSteps" << "0" << "1";
    QTest::newRow("zero dc sweeps") << "dcCScanSweeps" << "0" << "1";
    QTest::newRow("zero scans per run") << "dataScanRunScans" << "0" << "1";
    QTest::newRow("garbage count") << "dataScanRunScans" << "abc" << "1";
    QTest::newRow("huge count saturates") << "dataScanThrowScans" << "99999999999" << "4294967295";
    QTest::newRow("negative spatial start") << "spatParam_start" << "-5" << "0";
    QTest::newRow("position beyond any rail") << "spatParam_end" << "1e9" << "60000";
    QTest::newRow("negative retract position") << "spatParam_retractPosition" << "-1" << "0";
    QTest::newRow("zero spatial step is one position") << "spatParam_step" << "0" << "0";
    QTest::newRow("negative spatial step") << "spatParam_step" << "-3" << "0";
    QTest::newRow("idle voltage above range") << "voltageIdle" << "200" << "150";
    QTest::newRow("nan idle voltage") << "voltageIdle" << "nan" << "0";
    QTest::newRow("run voltage below range") << "dataScanRunParam_voltageStart" << "-400" << "-150";
    QTest::newRow("cleaning run voltage") << "initScanRunParam_voltageEnd" << "151" << "150";
    QTest::newRow("zero run voltage step") << "dcCScanRunParam_voltageStep" << "0" << "0.01";
    QTest::newRow("zero large initial step") << "initScanLargeVoltageStep" << "0" << "0.01";
    QTest::newRow("negative small initial step") << "initScanSmallVoltageStep" << "-1" << "0.01";
    QTest::newRow("initial scan voltage limit") << "initScanMaxVoltage" << "1000" << "150";
    QTest::newRow("negative integration time") << "initScanRunParam_integrationTime" << "-3" << "0";
    QTest::newRow("negative sync start") << "syncParam_start" << "-2" << "0";
    QTest::newRow("negative sync duration") << "syncParam_duration" << "-1" << "0";
    QTest::newRow("zero sync resolution") << "syncParam_resolution" << "0" << "0.0125";
    QTest::newRow("negative timed start") << "timedParam_start" << "-1" << "0";
    QTest::newRow("negative timed step") << "timedParam_step" << "-5" << "0";
    QTest::newRow("negative timed end") << "timedParam_end" << "-10" << "0";
    QTest::newRow("ion monitoring below 1 s") << "icParam_duration" << "0.2" << "1";
    QTest::newRow("ion monitoring voltage") << "icParam_voltage" << "-900" << "-500";
    QTest::newRow("cleaning voltage") << "cleanProbeParam_voltage" << "300" << "150";
    QTest::newRow("zero cleaning power") << "cleanProbeParam_power" << "0" << "0.1";
    QTest::newRow("cleaning duration above 600 s") << "cleanProbeParam_duration" << "9000" << "600";
    QTest::newRow("cleaning period above 3600 s") << "cleanProbeParam_period" << "7200" << "3600";
    QTest::newRow("zero relaxation time") << "cleanProbeParam_relaxTime" << "0" << "1";
    QTest::newRow("relaxation time above 600 s") << "cleanProbeParam_relaxTime" << "601" << "600";
    QTest::newRow("zero range margin") << "autoCRMargin" << "0" << "0.95";
    QTest::newRow("negative scaling factor") << "ionCurrentScalingFactor" << "-3" << "1";
}

void TstConfigParam::clampsOutOfRangeMapValues()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    SingleProbeConfigParam c;
    QMap<QString, QString> m;
    m.insert(key, text);
    c.fromMap(m);
    QCOMPARE(c.toMap().value(key), expected);
}

void TstConfigParam::clampsOutOfRangeStoreValues()
{
    const QString path = storePath();
    {
        QSettings store(path, QSettings::IniFormat);
        store.setValue("ConfigParam/dataScanRunParam/avgPerStep", -3);
        store.setValue("ConfigParam/dataScanRunParam/firstStepDelay", 0);
        store.setValue("ConfigParam/userChosenCMRange", 6);
        store.setValue("ConfigParam/initScanDerivativePoints", 0);
        store.setValue("ConfigParam/extTriggerDelay", 123456.0);
    }
    QSettings store(path, QSettings::IniFormat);
    SingleProbeConfigParam c;
    c.readSettings(store);
    QCOMPARE(c.dataScanRunParam.avgPerStep, 1u);
    QCOMPARE(c.dataScanRunParam.firstStepDelay, 1u);
    QCOMPARE(c.userChosenCMRange, 5u);
    QCOMPARE(c.initScanDerivativePoints, 1u);
    QCOMPARE(c.extTriggerDelay, 65535.0);
}

void TstConfigParam::validValuesLoadUnchanged()
{
    SingleProbeConfigParam edge;
    edge.dataScanRunParam.firstStepDelay = 65535;
    edge.dataScanRunParam.nextStepDelay = 1;
    edge.userChosenCMRange = 5;
    edge.extTriggerDelay = 65535;
    edge.dataScanThrowScans = 0;
    edge.initScanDerivativePoints = 1;
    edge.voltageIdle = -150;
    edge.dataScanRunParam.voltageEnd = 150;
    edge.dataScanRunParam.voltageStep = 0.01;
    edge.dataScanRunParam.integrationTime = 0;
    edge.initScanLargeVoltageStep = 0.01;
    edge.spat.step = 0;
    edge.spat.end = 60000;
    edge.spat.retractPosition = 0;
    edge.sync.resolution = 0.0125;
    edge.sync.duration = 0;
    edge.timed.start = 0;
    edge.timed.end = 28800;
    edge.ic.duration = 1;
    edge.ic.voltage = 500;
    edge.clean.power = 0.05;
    edge.clean.duration = 600;
    edge.clean.period = 3600;
    edge.clean.relaxTime = 1;
    edge.autoCRMargin = 1e-3;
    SingleProbeConfigParam in;
    in.fromMap(edge.toMap());
    QCOMPARE(in.toMap(), edge.toMap());
    // The same through the store.
    QCOMPARE(throughStore(edge).toMap(), edge.toMap());

    // A known rail bounds the positions to it.
    SingleProbeConfigParam onRail = edge;
    onRail.clampToPanelRanges(300);
    QCOMPARE(onRail.spat.end, 300.0);
    QCOMPARE(onRail.spat.step, 0.0);
}

void TstConfigParam::mapTextsIgnoreDecimalCommaLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool cLocaleSet = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    Q_UNUSED(cLocaleSet);

    SingleProbeConfigParam c;
    c.autoCRMargin = 0.123456789;
    c.sync.start = 2.5;
    const QMap<QString, QString> m = c.toMap();
    QCOMPARE(m.value("autoCRMargin"), QString("0.123457"));
    QCOMPARE(m.value("syncParam_start"), QString("2.5"));
    SingleProbeConfigParam in;
    in.fromMap(m);
    QCOMPARE(in.sync.start, 2.5);
    QCOMPARE(throughStore(c).sync.start, 2.5);

    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(saved);
}

// Every key gets its own valid value, so a key written under another's name
// or in another form shows up as a changed line.
template <class Record>
Record TstConfigParam::distinctRecord(int salt)
{
    Record r;
    const QMap<QString, QString> names = r.toMap();
    QMap<QString, QString> values;
    int i = salt - 1;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        // Keys added later keep their defaults here (see addedStoreLines()).
        if (it.key().startsWith("timedParam_") || it.key().startsWith("spatParam_re")
            || it.key() == "spatParam_useRetract")
            continue;
        ++i;
        const QString name = it.key().section('_', -1);
        const bool flag = name.startsWith("bUse") || name.startsWith("use") || name.endsWith("Disable")
                          || name == "autoClean" || name == "averaging" || name == "initScanOptimiseForEEDF"
                          || name == "ionCurrentUseBestCurrentRange";
        if (name == "probeMode")
            values.insert(it.key(), it.value());
        else if (flag)
            values.insert(it.key(), (i % 2) ? "1" : "0");
        else
            values.insert(it.key(), QString::number((i % 90) + 1 + 0.123456789 * (i % 3), 'g', 12));
    }
    r.fromMap(values);
    return r;
}

QStringList TstConfigParam::lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

void TstConfigParam::storedTextsAreUnchanged()
{
    const SingleProbeConfigParam single = distinctRecord<SingleProbeConfigParam>(1);
    const DoubleProbeConfigParam dbl = distinctRecord<DoubleProbeConfigParam>(2);
    const QString path = storePath();
    {
        QSettings store(path, QSettings::IniFormat);
        single.writeSettings(store);
        dbl.writeSettings(store);
    }
    const QStringList before = lines(QStringLiteral(LP_CONFIG_DATA "/stored-records.ini"));
    QVERIFY(before.size() > 100);
    QStringList now = lines(path);
    for (const QString &line : before)
        QVERIFY2(now.removeOne(line), qPrintable(line));
    now.sort();
    QStringList added = addedStoreLines();
    added.sort();
    QCOMPARE(now, added);

    QStringList mapLines;
    for (const QMap<QString, QString> &m : {single.toMap(), dbl.toMap()}) {
        for (auto it = m.cbegin(); it != m.cend(); ++it)
            mapLines << it.key() + '=' + it.value();
        mapLines << "--";
    }
    const QStringList mapBefore = lines(QStringLiteral(LP_CONFIG_DATA "/record-maps.txt"));
    QVERIFY(mapBefore.size() > 100);
    for (const QString &line : mapBefore)
        QVERIFY2(mapLines.removeOne(line), qPrintable(line));
    mapLines.sort();
    added = addedMapLines();
    added.sort();
    QCOMPARE(mapLines, added);
}

void TstConfigParam::sessionActiveRecordFollowsProbeMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("doubleRecord");
    QTest::newRow("single") << 0 << false;
    QTest::newRow("single with DC reference") << 1 << false;
    QTest::newRow("double") << 3 << true;
    QTest::newRow("spherical") << 4 << false;
    QTest::newRow("Mach") << 5 << true;
}

void TstConfigParam::sessionActiveRecordFollowsProbeMode()
{
    QFETCH(int, mode);
    QFETCH(bool, doubleRecord);
    SingleProbeConfigParam single;
    single.voltageIdle = -11;
    DoubleProbeConfigParam dbl;
    dbl.voltageIdle = 22;
    SessionConfig s(single, dbl);
    QCOMPARE(s.probeMode(), 0);
    s.setProbeMode(mode);
    QCOMPARE(s.isDoubleProbe(), doubleRecord);
    QCOMPARE(&s.active(), doubleRecord ? static_cast<ConfigParam *>(&s.doubleProbe())
                                       : static_cast<ConfigParam *>(&s.single()));
    QCOMPARE(s.active().voltageIdle, doubleRecord ? 22.0 : -11.0);
    QCOMPARE(s.active().probeMode, mode);
    QCOMPARE(s.active().useDoubleProbe, doubleRecord);
    QCOMPARE(s.probeMode(), mode);
    // The panel's edit lands in the active record only.
    s.active().dataScanRunScans = 77;
    QCOMPARE((doubleRecord ? s.single() : static_cast<ConfigParam &>(s.doubleProbe())).dataScanRunScans, 10u);
}

void TstConfigParam::sessionWorkingCopyIsIndependent()
{
    SessionConfig s;
    s.setProbeMode(3);
    s.active().dataScanRunParam.voltageStart = -20;
    ConfigParam &run = s.refreshWorkingCopy();
    QVERIFY(dynamic_cast<DoubleProbeConfigParam *>(&run));
    QCOMPARE(run.dataScanRunParam.voltageStart, -20.0);
    // The run may narrow its voltages; the panel's record keeps its own.
    run.dataScanRunParam.voltageStart = -5;
    QCOMPARE(s.active().dataScanRunParam.voltageStart, -20.0);
    QCOMPARE(s.workingCopy().dataScanRunParam.voltageStart, -5.0);
    // An edit between runs reaches the run only at the next refresh.
    s.active().clean.voltage = 99;
    QCOMPARE(s.workingCopy().clean.voltage, 150.0);
    QCOMPARE(s.refreshWorkingCopy().clean.voltage, 99.0);
    QCOMPARE(s.workingCopy().dataScanRunParam.voltageStart, -20.0);
    // A copied session owns its own working copy.
    SessionConfig other(s);
    other.workingCopy().clean.voltage = 1;
    QCOMPARE(s.workingCopy().clean.voltage, 99.0);
}

void TstConfigParam::sessionSeedAssignAndStore()
{
    SingleProbeConfigParam single;
    single.sync.resolution = 3.5;
    DoubleProbeConfigParam dbl;
    dbl.dcCScanSweeps = 8;
    SessionConfig s;
    s.setProbeMode(1);
    s.seed(single, dbl);
    QCOMPARE(s.probeMode(), 1); // seeding keeps the session's mode
    QCOMPARE(s.active().sync.resolution, 3.5);
    QCOMPARE(s.doubleProbe().dcCScanSweeps, 8u);

    // A record read from a session file replaces the one of its kind.
    SingleProbeConfigParam mach;
    mach.probeMode = 5;
    mach.dataScanThrowScans = 3;
    s.assign(mach);
    QVERIFY(s.isDoubleProbe());
    QCOMPARE(s.active().dataScanThrowScans, 3u);
    QCOMPARE(s.single().sync.resolution, 3.5);

    const SessionConfig back = throughStore(s);
    QCOMPARE(back.single().sync.resolution, 3.5);
    QCOMPARE(back.doubleProbe().dataScanThrowScans, 3u);
    QCOMPARE(back.probeMode(), 0);
}

QTEST_GUILESS_MAIN(TstConfigParam)
#include "tst_configparam.moc"
