#include "ConfigParam.h"

#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

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

private:
    QTemporaryDir dir;
    int storeNo = 0;
    QString storePath() { return dir.filePath(QStringLiteral("store%1.ini").arg(++storeNo)); }
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
    // Retract, timed-run and probe-kind fields are not stored.
    QVERIFY(!raw.contains("ConfigParam/probeMode"));
    QVERIFY(!raw.contains("ConfigParam/spatParam/retractPosition"));

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
    QCOMPARE(m.size(), 28 + 5 + 4 + 3 + 6 + 4 * 8);
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
    QVERIFY(!m.contains("spatParam_retractPosition"));
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
    SingleProbeConfigParam in;
    in.fromMap(edge.toMap());
    QCOMPARE(in.toMap(), edge.toMap());
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

    const QString path = storePath();
    {
        QSettings store(path, QSettings::IniFormat);
        c.writeSettings(store);
    }
    QSettings store(path, QSettings::IniFormat);
    SingleProbeConfigParam fromStore;
    fromStore.readSettings(store);
    QCOMPARE(fromStore.sync.start, 2.5);

    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(saved);
}

QTEST_GUILESS_MAIN(TstConfigParam)
#include "tst_configparam.moc"
