// The rules that tie the record's switches together, as the panel applies them.
#include "ConfigRules.h"

#include <QtTest>

class TestConfigRules : public QObject
{
    Q_OBJECT
private slots:
    void optimisationOverridesDisabledPrescans_data();
    void optimisationOverridesDisabledPrescans();
    void disablingPrescans_data();
    void disablingPrescans();
    void cleaningAndTrigger();
    void timeResolvedAndOptimisation();
    void manualControls();
};

void TestConfigRules::optimisationOverridesDisabledPrescans_data()
{
    QTest::addColumn<bool>("range"); // Optimize Current Range, else Optimize Scan Voltages
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<bool>("boxShown");
    QTest::newRow("voltages, prescans disabled") << false << true << true;
    QTest::newRow("range, prescans disabled") << true << true << true;
    QTest::newRow("voltages, prescans on") << false << false << false;
    QTest::newRow("range, prescans on") << true << false << false;
}

void TestConfigRules::optimisationOverridesDisabledPrescans()
{
    QFETCH(bool, range);
    QFETCH(bool, disabled);
    QFETCH(bool, boxShown);
    SingleProbeConfigParam c;
    c.useSmartScan = c.useAutoCMRange = false;
    c.ionCurrentDisable = c.initScanDisable = c.dcCScanDisable = disabled;
    const QString msg = range ? ConfigRules::setOptimizeCurrentRange(c, true)
                              : ConfigRules::setOptimizeScanVoltages(c, true);
    QCOMPARE(!msg.isEmpty(), boxShown);
    if (boxShown)
        QCOMPARE(msg, QString("This overrides the option to disable all prescan measurements."));
    QVERIFY(range ? c.useAutoCMRange : c.useSmartScan);
    QVERIFY(!c.ionCurrentDisable && !c.initScanDisable && !c.dcCScanDisable);
}

void TestConfigRules::disablingPrescans_data()
{
    QTest::addColumn<bool>("smart");
    QTest::addColumn<bool>("autoRange");
    QTest::addColumn<bool>("refused");
    QTest::newRow("auto range on") << false << true << true;
    QTest::newRow("smart scan on") << true << false << true;
    QTest::newRow("both off") << false << false << false;
}

void TestConfigRules::disablingPrescans()
{
    QFETCH(bool, smart);
    QFETCH(bool, autoRange);
    QFETCH(bool, refused);
    DoubleProbeConfigParam c; // starts with the DC correction disabled
    c.useSmartScan = smart;
    c.useAutoCMRange = autoRange;
    const QString msg = ConfigRules::setPrescansDisabled(c, true);
    QCOMPARE(!msg.isEmpty(), refused);
    if (refused) {
        QCOMPARE(msg, QString("You must manually set voltages and current range before disabling all prescans."));
        QVERIFY(!c.ionCurrentDisable && !c.initScanDisable && !c.dcCScanDisable);
    } else {
        QVERIFY(c.ionCurrentDisable && c.initScanDisable && c.dcCScanDisable);
        QVERIFY(ConfigRules::prescansDisabled(c));
        QVERIFY(ConfigRules::setPrescansDisabled(c, false).isEmpty());
        QVERIFY(!c.ionCurrentDisable && !c.initScanDisable && !c.dcCScanDisable);
    }
}

void TestConfigRules::cleaningAndTrigger()
{
    SingleProbeConfigParam c;
    QVERIFY(ConfigRules::setExternalTrigger(c, true).isEmpty());
    QVERIFY(c.useExtTrigger);
    QCOMPARE(ConfigRules::setAutoClean(c, true),
             QString("This overrides the external trigger feature, which is now disabled."));
    QVERIFY(c.clean.autoClean && !c.useExtTrigger);
    QCOMPARE(ConfigRules::setExternalTrigger(c, true),
             QString("The auto-clean feature must be disabled before using externally triggered scans."));
    QVERIFY(!c.useExtTrigger);
    QVERIFY(ConfigRules::setAutoClean(c, false).isEmpty());
    QVERIFY(ConfigRules::setExternalTrigger(c, true).isEmpty());
    QVERIFY(c.useExtTrigger);
}

void TestConfigRules::timeResolvedAndOptimisation()
{
    SingleProbeConfigParam c;
    c.useSmartScan = true;
    QCOMPARE(ConfigRules::setSyncMode(c, true), QString("Time Resolved mode cannot optimise voltages."));
    QVERIFY(c.sync.bUseSyncScan);
    QVERIFY(ConfigRules::setSyncMode(c, false).isEmpty());
    c.useSmartScan = false;
    QVERIFY(ConfigRules::setSyncMode(c, true).isEmpty());
}

void TestConfigRules::manualControls()
{
    SingleProbeConfigParam c;
    c.useSmartScan = true;
    c.useAutoCMRange = true;
    QVERIFY(!ConfigRules::voltagesEditable(c));
    QVERIFY(!ConfigRules::currentRangeEditable(c));
    c.useSmartScan = c.useAutoCMRange = false;
    ConfigRules::setPrescansDisabled(c, true);
    QVERIFY(ConfigRules::voltagesEditable(c));
    QVERIFY(ConfigRules::currentRangeEditable(c));
}

QTEST_GUILESS_MAIN(TestConfigRules)
#include "tst_configrules.moc"
