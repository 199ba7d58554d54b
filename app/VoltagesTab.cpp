#include "VoltagesTab.h"

#include "ConfigBinder.h"
#include "ConfigRules.h"

#include <QCheckBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>

#include <limits>

VoltagesTab::VoltagesTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();
    QGridLayout* g = nullptr;
    QGroupBox* sv = group(QStringLiteral("SCAN VOLTAGES"), g);
    ConfigRows v{g};
    m_optimizeVoltages = v.check(QStringLiteral("Optimize Scan Voltages"));
    m_voltStart = v.dbl(QStringLiteral("Start Voltage"), QStringLiteral("[V]"), "voltageStart", 1, -150, 150,
                        kDefault, -50);
    m_voltStep = v.dbl(QStringLiteral("Step Voltage"), QStringLiteral("[V]"), "voltageStep", 2, 0.01, 50, kDefault, 1);
    m_voltEnd = v.dbl(QStringLiteral("End Voltage"), QStringLiteral("[V]"), "voltageEnd", 1, -150, 150, kDefault, 50);
    addGroup(sv);
    finish();

    using B = ConfigBinder;
    m_binder.bind(
        m_optimizeVoltages, [](const ConfigParam& c) { return c.useSmartScan; },
        [](ConfigParam& c, bool on) { return ConfigVerdict::say(ConfigRules::setOptimizeScanVoltages(c, on)); },
        B::ShowAll | B::Enables);
    m_binder.bindField(
        m_voltStart, [](auto& c) -> auto& { return c.dataScanRunParam.voltageStart; }, B::Estimate,
        [this](ConfigParam& c) {
            qDebug() << " Voltage Start set to " << c.dataScanRunParam.voltageStart;
            emit voltagesChanged();
        });
    m_binder.bindField(
        m_voltStep, [](auto& c) -> auto& { return c.dataScanRunParam.voltageStep; }, B::Estimate,
        [this](ConfigParam& c) {
            qDebug() << " Voltage Step set to " << c.dataScanRunParam.voltageStep;
            emit voltagesChanged();
        });
    m_binder.bindField(
        m_voltEnd, [](auto& c) -> auto& { return c.dataScanRunParam.voltageEnd; }, B::Estimate,
        [this](ConfigParam& c) {
            qDebug() << " Voltage End set to " << c.dataScanRunParam.voltageEnd;
            emit voltagesChanged();
        });
}

void VoltagesTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    if (!c)
        return;
    const bool manual = ConfigRules::voltagesEditable(*c);
    for (QWidget* w : {m_voltStart, m_voltStep, m_voltEnd})
        w->setEnabled(manual);
}
