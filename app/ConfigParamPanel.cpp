#include "ConfigParamPanel.h"

#include "AcquisitionTab.h"
#include "AdvancedTab.h"
#include "CleaningTab.h"
#include "ConfigBinder.h"
#include "MultiScanTab.h"
#include "PrescanTab.h"
#include "RIRavaVCntrl.h"
#include "TriggerTab.h"
#include "VoltagesTab.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QSettings>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const char* const kScanSettings = "scansettings";
constexpr double kDefaultAdcFreq = 7.9872e7;

} // namespace

ConfigParamPanel::ConfigParamPanel(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_binder(new ConfigBinder(this))
{
    setWindowTitle(QStringLiteral("Scan Configuration"));
    setObjectName(QStringLiteral("ConfigParamPanel"));
    m_binder->setSource([this] { return record(); });
    connect(m_binder, &ConfigBinder::edited, this, &ConfigParamPanel::followEdit);
    m_tabs = new QTabWidget(this);
    // Every tab title stays readable: the window is as wide as the tab bar.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);
    m_tabs->addTab(m_acquisition = new AcquisitionTab(*m_binder), QStringLiteral("Acquisition"));
    m_tabs->addTab(m_multiScan = new MultiScanTab(*m_binder), QStringLiteral("Multi Scan"));
    m_tabs->addTab(m_voltages = new VoltagesTab(*m_binder), QStringLiteral("Voltages"));
    m_tabs->addTab(m_cleaning = new CleaningTab(*m_binder), QStringLiteral("Cleaning"));
    m_prescan = new PrescanTab(*m_binder);
    m_prescan->setParent(this);
    m_prescan->hide();
    m_tabs->addTab(m_advancedTab = new AdvancedTab(*m_binder), QStringLiteral("Advanced"));
    m_tabs->addTab(m_trigger = new TriggerTab(*m_binder), QStringLiteral("Trigger"));
    connect(m_acquisition, &AcquisitionTab::resync, this, &ConfigParamPanel::resync);
    connect(m_voltages, &VoltagesTab::voltagesChanged, this, &ConfigParamPanel::storeVoltages);
    connect(m_advancedTab, &AdvancedTab::idleVoltageChanged, this, &ConfigParamPanel::idleVoltageChanged);
    connect(m_advancedTab, &AdvancedTab::throwTraceChanged, this, &ConfigParamPanel::throwTraceChanged);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_tabs);
    m_advancedTab->setAdvancedMode(false);
    static const double defaultRanges[6] = {0.166, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6};
    setCurrentRanges(defaultRanges);
    m_multiScan->readPositionLimits();
    m_multiScan->applyPositionLimits();
    updateEnables();
    showTimes();
}

ConfigParamPanel::~ConfigParamPanel() = default;

// ---------------------------------------------------------------- public

void ConfigParamPanel::setSource(Source source)
{
    m_source = std::move(source);
    refresh();
}

void ConfigParamPanel::setSettings(ConfigParam* src)
{
    setSource([src] { return src; });
}

ConfigParam* ConfigParamPanel::record() const
{
    return m_source ? m_source() : nullptr;
}

void ConfigParamPanel::getSettings()
{
    // Every edit is written when it is made; only a pending trigger-delay text remains.
    if (ConfigParam* c = record())
        m_trigger->takePendingDelay(*c);
}

void ConfigParamPanel::setController(RIRavaVCntrl* ctrl, BusyProbe busy)
{
    m_ctrl = ctrl;
    m_busy = std::move(busy);
}

void ConfigParamPanel::setCurrentRanges(const double* iRange, int count)
{
    m_advancedTab->setCurrentRanges(iRange, count, record());
}

void ConfigParamPanel::setTriggerAvailable(bool available)
{
    m_trigger->setAvailable(available);
    updateEnables();
}

void ConfigParamPanel::setLastSyncFreq(double f)
{
    m_lastSync = f;
    showTimes();
}

void ConfigParamPanel::controllerIdle()
{
    if (m_estimatePending)
        estimateTimes();
}

double ConfigParamPanel::railLength() const
{
    return m_multiScan->railLength();
}

int ConfigParamPanel::tabIndex(const QString& title) const
{
    for (int i = 0; i < m_tabs->count(); ++i)
        if (m_tabs->tabText(i) == title)
            return i;
    return -1;
}

QString ConfigParamPanel::syncText() const
{
    return m_acquisition->syncText();
}

QString ConfigParamPanel::scanTimeText() const
{
    return m_acquisition->scanTimeText();
}

QString ConfigParamPanel::stepTimeText() const
{
    return m_acquisition->stepTimeText();
}

QString ConfigParamPanel::traceTimeText() const
{
    return m_acquisition->traceTimeText();
}

QComboBox* ConfigParamPanel::currentRangeBox() const
{
    return m_advancedTab->currentRangeBox();
}

QWidget* ConfigParamPanel::triggerGroup() const
{
    return m_trigger->triggerGroup();
}

void ConfigParamPanel::refresh()
{
    m_multiScan->readPositionLimits();
    m_multiScan->applyPositionLimits();
    ConfigParam* c = record();
    if (c)
        m_binder->showAll();
    updateEnables();
    if (c)
        estimateTimes();
}

void ConfigParamPanel::selectTab(int tab)
{
    m_tabs->setCurrentIndex(tab);
}

void ConfigParamPanel::setEnabledMode(bool enabled)
{
    m_enabled = enabled;
    updateEnables();
}

void ConfigParamPanel::setAdvancedMode(bool enabled)
{
    m_advanced = enabled;
    m_advancedTab->setAdvancedMode(enabled);
    const int at = m_tabs->indexOf(m_prescan);
    if (enabled && at < 0)
        m_tabs->insertTab(4, m_prescan, QStringLiteral("Prescan"));
    else if (!enabled && at >= 0)
        m_tabs->removeTab(at);
    if (!enabled)
        m_prescan->hide();
    layout()->activate();
    resize(sizeHint());
}

void ConfigParamPanel::setRailLength(double length)
{
    m_multiScan->setRailLength(length);
}

void ConfigParamPanel::useExternalTrigger(bool bChecked)
{
    m_binder->edit(m_trigger->useTriggerBox(), bChecked);
}

// ---------------------------------------------------------------- window

void ConfigParamPanel::storeVoltages()
{
    ConfigParam* c = record();
    if (!c)
        return;
    QSettings s;
    s.beginGroup(QLatin1String(kScanSettings));
    s.setValue(QStringLiteral("voltageStart"), c->dataScanRunParam.voltageStart);
    s.setValue(QStringLiteral("voltageStep"), c->dataScanRunParam.voltageStep);
    s.setValue(QStringLiteral("voltageEnd"), c->dataScanRunParam.voltageEnd);
    s.endGroup();
    saveWindowSettings();
}

void ConfigParamPanel::saveWindowSettings()
{
    QSettings s;
    s.beginGroup(QLatin1String(kScanSettings));
    s.setValue(QStringLiteral("geometry"), QString::fromLatin1(saveGeometry().toHex()));
    s.setValue(QStringLiteral("tabWidgetIndex"), m_tabs->currentIndex());
    s.endGroup();
}

void ConfigParamPanel::showEvent(QShowEvent* event)
{
    QSettings s;
    s.beginGroup(QLatin1String(kScanSettings));
    const QByteArray geometry = QByteArray::fromHex(s.value(QStringLiteral("geometry")).toString().toLatin1());
    const int tab = s.value(QStringLiteral("tabWidgetIndex"), 0).toInt();
    s.endGroup();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (tab >= 0 && tab < m_tabs->count())
        m_tabs->setCurrentIndex(tab);
    refresh();
    QWidget::showEvent(event);
}

void ConfigParamPanel::closeEvent(QCloseEvent* event)
{
    getSettings();
    saveWindowSettings();
    QWidget::closeEvent(event);
}

// ---------------------------------------------------------------- estimates

void ConfigParamPanel::followEdit(unsigned follow)
{
    if (follow & ConfigBinder::Enables)
        updateEnables();
    if (follow & ConfigBinder::Estimate)
        estimateTimes();
}

void ConfigParamPanel::estimateTimes()
{
    ConfigParam* c = record();
    if (!c || !m_ctrl || !m_ctrl->isConnected()) {
        m_times = {};
        m_estimatePending = false;
        showTimes();
        return;
    }
    // Another thread talks to the unit: no call now, the last SYNC value stays.
    if (m_busy && m_busy()) {
        m_estimatePending = true;
        showTimes();
        return;
    }
    m_estimatePending = false;
    const ScanEstimate::TimesRequest q = ScanEstimate::timesRequest(*c, adcFreq());
    ScanEstimate::ControllerTimes t;
    m_ctrl->getScanTimes(q.start, q.step, q.stop, q.synchronized, q.averageHW, q.repeats, q.smplPP, q.accumulate,
                         q.fsd, q.nsd, t.fSync, t.pointTime, t.scanTime, t.totalTime);
    m_times = t;
    m_lastSync = t.fSync;
    showTimes();
}

void ConfigParamPanel::showTimes()
{
    m_acquisition->showSync(ScanEstimate::syncDisplay(m_lastSync));
    ConfigParam* c = record();
    const bool valid = c && m_times.scanTime > 0;
    m_acquisition->showTimes(valid ? ScanEstimate::runSeconds(*c, m_times) : 0.0, m_times.pointTime,
                             m_times.scanTime, valid);
}

void ConfigParamPanel::resync()
{
    emit resynchronize();
    estimateTimes();
}

// ---------------------------------------------------------------- helpers

double ConfigParamPanel::adcFreq() const
{
    if (m_ctrl)
        if (const VeskbDescriptor* d = m_ctrl->getScannerDescriptor(); d && d->adcFreq > 0)
            return d->adcFreq;
    return kDefaultAdcFreq;
}

void ConfigParamPanel::updateEnables()
{
    const ConfigParam* c = record();
    for (ConfigTab* tab : std::initializer_list<ConfigTab*>{m_acquisition, m_multiScan, m_voltages, m_cleaning,
                                                            m_prescan, m_advancedTab, m_trigger})
        tab->updateEnables(c, m_enabled);
}
