// The scan configuration panel: its boxes and their limits, every rule with
// its box, the time estimates against the simulated unit's own scan times,
// and the hooks in the main window (F8, Config, following the session).
#include "ConfigParamPanel.h"
#include "DataAnalyzer.h"
#include "DriverLog.h"
#include "MainWin.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "RIRavaVCntrl.h"
#include "ScriptedPrompter.h"
#include "SimControl.h"
#include "SimMeasurement.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {
constexpr double kAdcFreq = 7.9872e7;
constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();

QAbstractButton* button(QWidget* panel, const QString& text)
{
    for (QAbstractButton* b : panel->findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

template <typename T>
T* box(QWidget* panel, const char* name)
{
    return panel->findChild<T*>(QLatin1String(name));
}

QStringList tabTitles(const ConfigParamPanel& p)
{
    QStringList t;
    for (int i = 0; i < p.tabs()->count(); ++i)
        t << p.tabs()->tabText(i);
    return t;
}
} // namespace

class TestConfigPanel : public QObject, MainWinFixture::Bench<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup() { tearDown(); }
    void spinBoxLimits_data();
    void spinBoxLimits();
    void positionLimitsFollowTheDrive();
    void advancedModeShowsPrescan();
    void frameLimit_data();
    void frameLimit();
    void endNeverBelowStart();
    void optimisationOverridesDisabledPrescans_data();
    void optimisationOverridesDisabledPrescans();
    void disablingPrescansRefusedWhileOptimising();
    void cleaningAndTrigger();
    void timeResolvedCannotOptimise();
    void editsReachTheRecord();
    void voltagesAndWindowStored();
    void estimates_data();
    void estimates();
    void busyUnitIsNotCalled();
    void noSyncSignal();
    void currentRangeLabels();
    void mainWindowHooks();
    void recordFollowsConnectAndLoad();
    void panelEditsSurviveARestart();
};

void TestConfigPanel::init()
{
    setDriverDelayScale(0);
    qsim::Config c;
    c.speedFactor = 0.0;
    qsim::reset(c);
    QCoreApplication::setOrganizationName("QuendrixTest");
    QCoreApplication::setApplicationName("configpanel-test");
    QSettings().clear();
    installPrompter();
}

void TestConfigPanel::spinBoxLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("decimals"); // -1: an integer box
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("initial");
    QTest::newRow("integration time") << "integrationTime" << 4 << 0.0125 << 3276.0 << 1.0 << 100.0;
    QTest::newRow("resolution time step") << "resolution" << 4 << 0.0125 << 3276.0 << 1.0 << 0.0125;
    QTest::newRow("acquisition time start") << "syncStart" << 4 << 0.0 << 50000.0 << 1.0 << 0.0;
    QTest::newRow("acquisition time end") << "syncEnd" << 4 << 0.0 << 30000.0 << 1.0 << 0.0;
    QTest::newRow("average per voltage step") << "avgPerStep" << -1 << 1.0 << 262144.0 << 1.0 << kDefault;
    QTest::newRow("traces per scan") << "dataScanRunScans" << -1 << 1.0 << 10000.0 << 1.0 << 10.0;
    QTest::newRow("end time") << "timeEnd" << 1 << 0.0 << 28800.0 << 1.0 << kDefault;
    QTest::newRow("ion-current monitoring voltage") << "icVoltage" << 1 << -500.0 << 500.0 << 1.0 << -30.0;
    QTest::newRow("step voltage") << "voltageStep" << 2 << 0.01 << 50.0 << 1.0 << 1.0;
    QTest::newRow("auto cleaning period") << "cleanPeriod" << -1 << 1.0 << 3600.0 << 1.0 << 600.0;
    QTest::newRow("cleaning level") << "cleanLevel" << 1 << 0.1 << 100.0 << 1.0 << 10.0;
    QTest::newRow("relaxation time duration") << "cleanRelaxTime" << -1 << 1.0 << 600.0 << 1.0 << 20.0;
    // An integration time, never a negative sample count.
    QTest::newRow("prescan integration time") << "prescanIntegrationTime" << 4 << 0.0125 << 3276.0 << 1.0 << 150.0;
    QTest::newRow("small voltage step") << "initScanSmallVoltageStep" << 2 << 0.01 << 50.0 << 0.1 << 1.0;
    QTest::newRow("ion current drop") << "initScanIonCurrentDrop" << -1 << 0.0 << 10000.0 << 1.0 << 100.0;
    QTest::newRow("derivative calculation points") << "initScanDerivativePoints" << -1 << 1.0 << 10.0 << 1.0
                                                   << kDefault;
    QTest::newRow("first step delay") << "firstStepDelay" << -1 << 1.0 << 65535.0 << 1.0 << 1000.0;
    QTest::newRow("idle voltage") << "voltageIdle" << 1 << -150.0 << 150.0 << 1.0 << -100.0;
    QTest::newRow("throw trace") << "dataScanThrowScans" << -1 << 0.0 << 10000.0 << 1.0 << 1.0;
}

void TestConfigPanel::spinBoxLimits()
{
    QFETCH(QString, name);
    QFETCH(int, decimals);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, step);
    QFETCH(double, initial);
    ConfigParamPanel p; // no record: the boxes keep their initial values
    QAbstractSpinBox* any = p.findChild<QAbstractSpinBox*>(name);
    QVERIFY2(any, qPrintable(name));
    QCOMPARE(any->alignment() & Qt::AlignRight, Qt::AlignRight);
    QVERIFY(any->isAccelerated());
    QVERIFY(!any->keyboardTracking());
    if (decimals < 0) {
        auto* b = qobject_cast<QSpinBox*>(any);
        QVERIFY(b);
        QCOMPARE(double(b->minimum()), minimum);
        QCOMPARE(double(b->maximum()), maximum);
        QCOMPARE(double(b->singleStep()), step);
        if (!std::isnan(initial))
            QCOMPARE(double(b->value()), initial);
    } else {
        auto* b = qobject_cast<QDoubleSpinBox*>(any);
        QVERIFY(b);
        QCOMPARE(b->decimals(), decimals);
        QCOMPARE(b->minimum(), minimum);
        QCOMPARE(b->maximum(), maximum);
        QCOMPARE(b->singleStep(), step);
        if (!std::isnan(initial))
            QCOMPARE(b->value(), initial);
    }
}

void TestConfigPanel::positionLimitsFollowTheDrive()
{
    const char* names[] = {"spatStart", "spatEnd", "retractPosition"};
    {
        ConfigParamPanel p; // nothing stored: the drive dialog's default maximum
        for (const char* n : names) {
            QCOMPARE(box<QDoubleSpinBox>(&p, n)->minimum(), 0.0);
            QCOMPARE(box<QDoubleSpinBox>(&p, n)->maximum(), 100.0);
        }
        QCOMPARE(box<QDoubleSpinBox>(&p, "spatStep")->minimum(), 0.0);
        p.setRailLength(80);
        for (const char* n : {"spatStart", "spatEnd", "retractPosition", "spatStep"})
            QCOMPARE(box<QDoubleSpinBox>(&p, n)->maximum(), 80.0);
        p.refresh(); // a known rail length outlasts a refresh
        QCOMPARE(box<QDoubleSpinBox>(&p, "spatEnd")->maximum(), 80.0);
    }
    QSettings s;
    s.setValue("ldSettings/setPosBoxMinimum", 2.0);
    s.setValue("ldSettings/setPosBoxMaximum", 250.0);
    ConfigParamPanel p;
    for (const char* n : names) {
        QCOMPARE(box<QDoubleSpinBox>(&p, n)->minimum(), 2.0);
        QCOMPARE(box<QDoubleSpinBox>(&p, n)->maximum(), 250.0);
    }
}

void TestConfigPanel::advancedModeShowsPrescan()
{
    ConfigParamPanel p;
    const QStringList plain{"Acquisition", "Multi Scan", "Voltages", "Cleaning", "Advanced", "Trigger"};
    QCOMPARE(tabTitles(p), plain);
    QVERIFY(box<QSpinBox>(&p, "dataScanThrowScans")->parentWidget()->isHidden());
    p.setAdvancedMode(true);
    QCOMPARE(p.tabs()->tabText(4), QString("Prescan"));
    QCOMPARE(p.tabs()->count(), 7);
    QVERIFY(!box<QSpinBox>(&p, "dataScanThrowScans")->parentWidget()->isHidden());
    p.setAdvancedMode(true); // twice: still one Prescan tab
    QCOMPARE(p.tabs()->count(), 7);
    p.setAdvancedMode(false);
    QCOMPARE(tabTitles(p), plain);
}

void TestConfigPanel::frameLimit_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("resolution"); // before the edit; the window is start 0, end 5000
    QTest::newRow("end 10240 us: 1024 frames") << "syncEnd" << 10240.0 << true << 10.0;
    QTest::newRow("end 10250 us: 1025 frames") << "syncEnd" << 10250.0 << false << 10.0;
    QTest::newRow("resolution 4.9 us") << "resolution" << 4.9 << true << 10.0;
    QTest::newRow("resolution 4.8 us") << "resolution" << 4.8 << false << 10.0;
    // 20 us is 1597.44 converter samples: the unit realises 1025 points, the rule counts 1024.
    QTest::newRow("end 20480 us at 20 us: 1024 frames") << "syncEnd" << 20480.0 << true << 20.0;
    QTest::newRow("end 20500 us at 20 us: 1025 frames") << "syncEnd" << 20500.0 << false << 20.0;
}

void TestConfigPanel::frameLimit()
{
    QFETCH(QString, edit);
    QFETCH(double, value);
    QFETCH(bool, accepted);
    QFETCH(double, resolution);
    SingleProbeConfigParam rec;
    rec.sync.bUseSyncScan = true;
    rec.sync.resolution = resolution;
    rec.sync.start = 0;
    rec.sync.duration = 5000;
    ConfigParamPanel p;
    p.setSettings(&rec);
    auto* b = p.findChild<QDoubleSpinBox*>(edit);
    QVERIFY(b);
    const SyncParam before = rec.sync;
    b->setValue(value);
    if (accepted) {
        QVERIFY(m_prompter->asked.isEmpty());
        QCOMPARE(edit == "syncEnd" ? rec.sync.duration : rec.sync.resolution, value);
    } else {
        QCOMPARE(m_prompter->asked.size(), 1);
        QCOMPARE(m_prompter->asked[0].icon, QMessageBox::Warning);
        QCOMPARE(m_prompter->asked[0].title, QString("Too many frames in TR scan"));
        QCOMPARE(m_prompter->asked[0].text, QString("Time resolved scans can't have more than 1024"));
        QCOMPARE(rec.sync.duration, before.duration);
        QCOMPARE(rec.sync.resolution, before.resolution);
        QCOMPARE(b->value(), edit == "syncEnd" ? before.duration : before.resolution);
    }
}

void TestConfigPanel::endNeverBelowStart()
{
    SingleProbeConfigParam rec;
    rec.sync.bUseSyncScan = true;
    rec.sync.resolution = 10;
    rec.sync.duration = 300;
    ConfigParamPanel p;
    p.setSettings(&rec);
    auto* start = box<QDoubleSpinBox>(&p, "syncStart");
    auto* end = box<QDoubleSpinBox>(&p, "syncEnd");
    auto* whole = qobject_cast<QCheckBox*>(button(&p, "Whole Period"));
    QVERIFY(!whole->isChecked());
    start->setValue(500);
    QCOMPARE(end->minimum(), 500.0);
    QVERIFY(rec.sync.duration >= rec.sync.start);
    // The unit realises an empty window as the whole SYNC period: the box says so.
    QVERIFY(whole->isChecked());
    whole->click();
    QVERIFY(!whole->isChecked());
    QCOMPARE(rec.sync.duration, 510.0);
    QVERIFY(end->isEnabled());
    whole->click();
    QCOMPARE(rec.sync.duration, 0.0);
    QVERIFY(!end->isEnabled());
}

void TestConfigPanel::optimisationOverridesDisabledPrescans_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("voltages") << "Optimize Scan Voltages";
    QTest::newRow("current range") << "Optimize Current Range";
}

void TestConfigPanel::optimisationOverridesDisabledPrescans()
{
    QFETCH(QString, option);
    SingleProbeConfigParam rec;
    rec.useSmartScan = rec.useAutoCMRange = false;
    rec.ionCurrentDisable = rec.initScanDisable = rec.dcCScanDisable = true;
    ConfigParamPanel p;
    p.setAdvancedMode(true);
    p.setSettings(&rec);
    auto* disable = button(&p, "Disable all prescan measurements");
    QVERIFY(disable->isChecked());
    QVERIFY(box<QDoubleSpinBox>(&p, "voltageStart")->isEnabled());
    button(&p, option)->click();
    QCOMPARE(m_prompter->texts(), QStringList{"This overrides the option to disable all prescan measurements."});
    QCOMPARE(m_prompter->asked[0].title, QString());
    QCOMPARE(m_prompter->asked[0].icon, QMessageBox::Information);
    QVERIFY(!disable->isChecked());
    QVERIFY(!rec.ionCurrentDisable && !rec.initScanDisable && !rec.dcCScanDisable);
    if (option == "Optimize Scan Voltages")
        QVERIFY(rec.useSmartScan && !box<QDoubleSpinBox>(&p, "voltageStart")->isEnabled());
    else
        QVERIFY(rec.useAutoCMRange && !p.currentRangeBox()->isEnabled());
}

void TestConfigPanel::disablingPrescansRefusedWhileOptimising()
{
    SingleProbeConfigParam rec;
    rec.useSmartScan = false;
    rec.useAutoCMRange = true;
    ConfigParamPanel p;
    p.setAdvancedMode(true);
    p.setSettings(&rec);
    auto* disable = button(&p, "Disable all prescan measurements");
    disable->click();
    QCOMPARE(m_prompter->texts(),
             QStringList{"You must manually set voltages and current range before disabling all prescans."});
    QVERIFY(!disable->isChecked());
    QVERIFY(!rec.ionCurrentDisable && !rec.initScanDisable && !rec.dcCScanDisable);
    // With both optimisations off the three flags follow the box and the manual controls open.
    button(&p, "Optimize Current Range")->click();
    disable->click();
    QVERIFY(disable->isChecked());
    QVERIFY(rec.ionCurrentDisable && rec.initScanDisable && rec.dcCScanDisable);
    QVERIFY(p.currentRangeBox()->isEnabled());
    QVERIFY(!box<QDoubleSpinBox>(&p, "ionCurrentVoltage")->isEnabled());
    QCOMPARE(m_prompter->asked.size(), 1);
}

void TestConfigPanel::cleaningAndTrigger()
{
    SingleProbeConfigParam rec;
    rec.useExtTrigger = true;
    ConfigParamPanel p;
    p.setTriggerAvailable(true);
    p.setSettings(&rec);
    auto* trigger = button(&p, "Use External Trigger to start Scan");
    auto* autoClean = button(&p, "Auto Cleaning");
    QVERIFY(trigger->isChecked() && p.triggerGroup()->isEnabled());
    autoClean->click();
    QCOMPARE(m_prompter->texts(), QStringList{"This overrides the external trigger feature, which is now disabled."});
    QVERIFY(rec.clean.autoClean && !rec.useExtTrigger && !trigger->isChecked());
    trigger->click();
    QCOMPARE(m_prompter->texts().last(),
             QString("The auto-clean feature must be disabled before using externally triggered scans."));
    QVERIFY(!rec.useExtTrigger && !trigger->isChecked());
    QVERIFY(!box<QLineEdit>(&p, "extTriggerDelay")->isEnabled());
    autoClean->click();
    trigger->click();
    QVERIFY(rec.useExtTrigger && box<QLineEdit>(&p, "extTriggerDelay")->isEnabled());
    QCOMPARE(m_prompter->asked.size(), 2);
    // A unit without the trigger input greys the whole group.
    p.setTriggerAvailable(false);
    QVERIFY(!p.triggerGroup()->isEnabled());
}

void TestConfigPanel::timeResolvedCannotOptimise()
{
    SingleProbeConfigParam rec;
    rec.useSmartScan = true;
    ConfigParamPanel p;
    p.setSettings(&rec);
    QVERIFY(!box<QDoubleSpinBox>(&p, "resolution")->isEnabled());
    button(&p, "Time Resolved")->click();
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked[0].title, QString("Quendrix Langmuir"));
    QCOMPARE(m_prompter->asked[0].text, QString("Time Resolved mode cannot optimise voltages."));
    QVERIFY(rec.sync.bUseSyncScan);
    QVERIFY(box<QDoubleSpinBox>(&p, "resolution")->isEnabled());
    QVERIFY(!box<QDoubleSpinBox>(&p, "integrationTime")->isEnabled());
}

void TestConfigPanel::editsReachTheRecord()
{
    SingleProbeConfigParam rec;
    ConfigParamPanel p;
    p.setAdvancedMode(true);
    p.setSettings(&rec);
    QSignalSpy idle(&p, &ConfigParamPanel::idleVoltageChanged);
    QSignalSpy thrown(&p, &ConfigParamPanel::throwTraceChanged);
    box<QDoubleSpinBox>(&p, "voltageIdle")->setValue(-42.5);
    box<QSpinBox>(&p, "dataScanThrowScans")->setValue(3);
    box<QDoubleSpinBox>(&p, "offsetCurrent")->setValue(2.5); // uA
    box<QDoubleSpinBox>(&p, "prescanIntegrationTime")->setValue(-20); // held at its minimum
    box<QDoubleSpinBox>(&p, "icDuration")->setValue(120);
    box<QDoubleSpinBox>(&p, "timeStep")->setValue(7.5);
    box<QSpinBox>(&p, "cleanDuration")->setValue(33);
    p.currentRangeBox()->setCurrentIndex(3);
    emit p.currentRangeBox()->activated(3);
    auto* delay = box<QLineEdit>(&p, "extTriggerDelay");
    delay->setText("1234");
    emit delay->editingFinished();
    QCOMPARE(rec.voltageIdle, -42.5);
    QCOMPARE(idle.count(), 1);
    QCOMPARE(rec.dataScanThrowScans, 3u);
    QCOMPARE(thrown.count(), 1);
    QCOMPARE(rec.offsetCurrent, 2.5e-6);
    QCOMPARE(rec.initScanRunParam.integrationTime, 0.0125);
    QCOMPARE(rec.ic.duration, 120.0);
    QCOMPARE(rec.timed.step, 7.5);
    QCOMPARE(rec.clean.duration, 33);
    QCOMPARE(rec.userChosenCMRange, 3u);
    QCOMPARE(rec.extTriggerDelay, 1234.0);
}

void TestConfigPanel::voltagesAndWindowStored()
{
    SingleProbeConfigParam rec;
    rec.useSmartScan = false;
    ConfigParamPanel p;
    p.setSettings(&rec);
    p.selectTab(2);
    box<QDoubleSpinBox>(&p, "voltageStart")->setValue(-35.5);
    box<QDoubleSpinBox>(&p, "voltageStep")->setValue(0.25);
    box<QDoubleSpinBox>(&p, "voltageEnd")->setValue(44);
    QSettings s;
    s.beginGroup("scansettings");
    QCOMPARE(s.value("voltageStart").toDouble(), -35.5);
    QCOMPARE(s.value("voltageStep").toDouble(), 0.25);
    QCOMPARE(s.value("voltageEnd").toDouble(), 44.0);
    QCOMPARE(s.value("tabWidgetIndex").toInt(), 2);
    QVERIFY(!QByteArray::fromHex(s.value("geometry").toString().toLatin1()).isEmpty());
    s.endGroup();
    QCOMPARE(rec.dataScanRunParam.voltageStart, -35.5);
    // A new panel opens on the stored tab.
    ConfigParamPanel q;
    q.show();
    QCOMPARE(q.tabs()->currentIndex(), 2);
}

void TestConfigPanel::estimates_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("positions");
    QTest::newRow("time averaged") << "averaged" << 1;
    QTest::newRow("time resolved") << "resolved" << 1;
    QTest::newRow("spatial") << "spatial" << 5;
    QTest::newRow("timed") << "timed" << 1;
}

void TestConfigPanel::estimates()
{
    QFETCH(QString, kind);
    QFETCH(int, positions);
    RIRavaVCntrl ctrl;
    QCOMPARE(ctrl.connectTo(), 1);
    SingleProbeConfigParam rec;
    rec.dataScanRunParam = {2000, 50, 25, 2, 3, -40, 0.5, 20};
    rec.dataScanThrowScans = 1;
    rec.dataScanRunScans = 4;
    if (kind == "resolved") {
        rec.sync = {true, 100, 900, 10, true};
        rec.dataScanRunParam.avgPerStep = 4;
    } else if (kind == "spatial") {
        rec.spat = {true, false, 0, 5, 20, 0};
    } else if (kind == "timed") {
        rec.timed = {true, 0, 5, 60};
    }
    ConfigParamPanel p;
    p.setController(&ctrl, [] { return false; });
    p.setSettings(&rec);

    // The controller's own estimate for the same data scan, asked directly.
    const bool sync = kind == "resolved";
    const unsigned avg = sync ? 4u : unsigned(std::lround(2 * kAdcFreq * 1e-6 * 25));
    const unsigned smplPP = sync ? 799u : avg;
    double f = 0, point = 0, scan = 0, total = 0;
    ctrl.getScanTimes(-40, 0.5, 20, sync, avg, 3, smplPP, true, 2000, 50, f, point, scan, total);
    QVERIFY(total > 0);
    QCOMPARE(p.lastTimes().pointTime, point);
    QCOMPARE(p.lastTimes().scanTime, scan);
    QCOMPARE(p.lastTimes().totalTime, total);
    const double run = positions * (1 + 4) * total;
    const ScanEstimate::Display d = ScanEstimate::timeDisplay(run);
    QCOMPARE(p.scanTimeText(), d.value + " " + d.unit);
    const ScanEstimate::Display t = ScanEstimate::timeDisplay(scan);
    QCOMPARE(p.traceTimeText(), t.value + " " + t.unit);
    QCOMPARE(p.syncText(), ScanEstimate::syncDisplay(f).value + " [Hz]");
    QVERIFY(std::fabs(f - 1000.0) < 0.5);

    // One more kept scan per position: the total grows by one scan per position.
    box<QSpinBox>(&p, "dataScanRunScans")->setValue(5);
    const ScanEstimate::Display more = ScanEstimate::timeDisplay(positions * (1 + 5) * total);
    QCOMPARE(p.scanTimeText(), more.value + " " + more.unit);

    // Thrown traces are measured too: the signal goes out and the total follows.
    QSignalSpy thrown(&p, &ConfigParamPanel::throwTraceChanged);
    box<QSpinBox>(&p, "dataScanThrowScans")->setValue(3);
    QCOMPARE(thrown.count(), 1);
    QCOMPARE(rec.dataScanThrowScans, 3u);
    const ScanEstimate::Display thrownToo = ScanEstimate::timeDisplay(positions * (3 + 5) * total);
    QCOMPARE(p.scanTimeText(), thrownToo.value + " " + thrownToo.unit);
}

void TestConfigPanel::busyUnitIsNotCalled()
{
    RIRavaVCntrl ctrl;
    QCOMPARE(ctrl.connectTo(), 1);
    bool busy = false;
    SingleProbeConfigParam rec;
    ConfigParamPanel p;
    p.setController(&ctrl, [&busy] { return busy; });
    p.setSettings(&rec);
    const ScanEstimate::ControllerTimes before = p.lastTimes();
    QVERIFY(before.totalTime > 0);
    busy = true;
    p.setLastSyncFreq(-1); // the indicator's last reading
    box<QDoubleSpinBox>(&p, "integrationTime")->setValue(500);
    QCOMPARE(p.lastTimes().totalTime, before.totalTime);
    QCOMPARE(p.syncText(), QString("UNSTABLE"));
    busy = false;
    p.controllerIdle();
    QVERIFY(p.lastTimes().totalTime > before.totalTime);
    QCOMPARE(p.syncText(), QString("1000 [Hz]"));
}

void TestConfigPanel::noSyncSignal()
{
    qsim::MeasurementConfig m = qsim::measurementConfig();
    m.sync.present = false;
    qsim::setMeasurementConfig(m);
    RIRavaVCntrl ctrl;
    QCOMPARE(ctrl.connectTo(), 1);
    SingleProbeConfigParam rec;
    rec.sync.bUseSyncScan = true;
    ConfigParamPanel p;
    p.setController(&ctrl, [] { return false; });
    p.setSettings(&rec);
    QVERIFY2(QStringList({"TOO LOW", "TOO HIGH", "UNSTABLE", "UNKNOWN"}).contains(p.syncText()),
             qPrintable(p.syncText()));
    QCOMPARE(p.scanTimeText(), QString("-"));
}

void TestConfigPanel::currentRangeLabels()
{
    ConfigParamPanel p;
    const double ranges[6] = {1.5, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6};
    p.setCurrentRanges(ranges);
    QStringList texts;
    for (int i = 0; i < p.currentRangeBox()->count(); ++i)
        texts << p.currentRangeBox()->itemText(i);
    QCOMPARE(texts, (QStringList{"1.5 [A]", "16.6 [mA]", "1.7 [mA]", "166.0 [uA]", "16.6 [uA]", "1.7 [uA]"}));
}

void TestConfigPanel::mainWindowHooks()
{
    MainWin w;
    connectUnit(w);
    PlotManager* first = w.currentSession();
    ConfigParamPanel* panel = w.configPanel(first);
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), QString("Scan Configuration"));
    QCOMPARE(panel->currentRangeBox()->itemText(0), QString("166.0 [mA]"));
    QVERIFY(panel->triggerGroup()->isEnabled());
    QVERIFY(!panel->isVisible());
    QMetaObject::invokeMethod(&w, "showConfigPanel"); // F8
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->syncText(), QString("1000 [Hz]"));

    // Busy unit: the panel is disabled and makes no call; enabled again after.
    w.setDriveBusy(true);
    QVERIFY(!panel->isEnabledMode());
    w.setDriveBusy(false);
    QVERIFY(panel->isEnabledMode());

    // Advanced mode reaches every panel.
    QMetaObject::invokeMethod(&w, "setAdvMode");
    QCOMPARE(panel->tabs()->tabText(4), QString("Prescan"));

    // A second session: the first panel hides, F8 shows the new one.
    QMetaObject::invokeMethod(&w, "startNewSession");
    PlotManager* second = w.currentSession();
    QVERIFY(second != first);
    QVERIFY(!panel->isVisible());
    ConfigParamPanel* panel2 = w.configPanel(second);
    QVERIFY(panel2 && panel2 != panel && panel2->isAdvancedMode());
    QMetaObject::invokeMethod(&w, "showConfigPanel"); // F8
    QVERIFY(panel2->isVisible() && !panel->isVisible());
    panel2->hide();
    // The session window's own Config button.
    auto* config = qobject_cast<QPushButton*>(button(second, "Config"));
    QVERIFY(config);
    config->click();
    QVERIFY(panel2->isVisible());
    // The rail length from the drive reaches the position boxes.
    w.setRailLength(60);
    QCOMPARE(box<QDoubleSpinBox>(panel2, "spatEnd")->maximum(), 60.0);
    QCOMPARE(box<QDoubleSpinBox>(panel, "spatEnd")->maximum(), 60.0);
    // No "not available" box on the way (the probe-mode notes are the only ones).
    QVERIFY2(!m_prompter->texts().join('|').contains("not available"), qPrintable(m_prompter->texts().join('|')));
    for (PlotManager* s : w.sessions())
        s->setModified(false);
}

// What the user sets in a session's panel is what the next program start
// shows: the session writes its records to the settings store when it goes
// (here a store of this test alone, see initTestCase).
void TestConfigPanel::panelEditsSurviveARestart()
{
    {
        MainWin w;
        ConfigParamPanel* panel = w.configPanel(w.currentSession());
        QVERIFY(panel);
        panel->show();
        box<QSpinBox>(panel, "traceAverage")->setValue(13);
        box<QSpinBox>(panel, "dataScanRunScans")->setValue(42);
        box<QSpinBox>(panel, "dataScanThrowScans")->setValue(4);
        box<QDoubleSpinBox>(panel, "integrationTime")->setValue(321.5);
        box<QDoubleSpinBox>(panel, "voltageIdle")->setValue(-66);
        box<QDoubleSpinBox>(panel, "spatEnd")->setValue(77);
        QCOMPARE(w.currentSession()->activeConfig().dataScanRunScans, 42u);
    } // the window and its sessions go: the records reach the store
    QSettings store(QStringLiteral("Quendrix"), QStringLiteral("Quendrix Langmuir"));
    QVERIFY(!store.allKeys().isEmpty());
    QVERIFY2(store.fileName().startsWith(m_dir.path()), qPrintable(store.fileName())); // not the user's
    MainWin again;
    ConfigParamPanel* panel = again.configPanel(again.currentSession());
    panel->show();
    QCOMPARE(box<QSpinBox>(panel, "traceAverage")->value(), 13);
    QCOMPARE(box<QSpinBox>(panel, "dataScanRunScans")->value(), 42);
    QCOMPARE(box<QSpinBox>(panel, "dataScanThrowScans")->value(), 4);
    QCOMPARE(box<QDoubleSpinBox>(panel, "integrationTime")->value(), 321.5);
    QCOMPARE(box<QDoubleSpinBox>(panel, "voltageIdle")->value(), -66.0);
    QCOMPARE(box<QDoubleSpinBox>(panel, "spatEnd")->value(), 77.0);
    const ConfigParam& c = again.currentSession()->activeConfig();
    QCOMPARE(c.dataScanRunParam.traceAverage, 13u);
    QCOMPARE(c.dataScanThrowScans, 4u);
    QCOMPARE(c.spat.end, 77.0);
}

void TestConfigPanel::recordFollowsConnectAndLoad()
{
    const QString file = m_dir.filePath("panel.ldf");
    {
        MainWin w;
        connectUnit(w);
        PlotManager* pm = w.currentSession();
        ConfigParamPanel* panel = w.configPanel(pm);
        // Connecting replaced the session's record: the panel edits the new one.
        QCOMPARE(panel->record(), &pm->activeConfig());
        box<QSpinBox>(panel, "traceAverage")->setValue(7);
        box<QDoubleSpinBox>(panel, "integrationTime")->setValue(250.5);
        QCOMPARE(pm->data()->configuration().dataScanRunParam.traceAverage, 7u);
        QVERIFY(pm->save(file));
        pm->setModified(false);
    }
    MainWin w;
    QVERIFY(w.openSessionFile(file));
    PlotManager* pm = w.currentSession();
    ConfigParamPanel* panel = w.configPanel(pm);
    panel->show();
    QCOMPARE(panel->record(), &pm->activeConfig());
    QCOMPARE(box<QSpinBox>(panel, "traceAverage")->value(), 7);
    QCOMPARE(box<QDoubleSpinBox>(panel, "integrationTime")->value(), 250.5);
    pm->setModified(false);
}

QTEST_MAIN(TestConfigPanel)
#include "tst_configpanel.moc"
