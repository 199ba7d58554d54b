#include "PrescanTab.h"

#include "ConfigBinder.h"
#include "ConfigRules.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QSpinBox>

#include <limits>

PrescanTab::PrescanTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();
    QGridLayout* g = nullptr;
    QGroupBox* po = group(QStringLiteral("PRESCAN OPTIONS"), g);
    ConfigRows p{g};
    m_ionCurrentVoltage = p.dbl(QStringLiteral("Ion Current Voltage"), QStringLiteral("[V]"), "ionCurrentVoltage", 1,
                                -150, 150, kDefault, -80);
    m_largeStep = p.dbl(QStringLiteral("Large Voltage Step"), QStringLiteral("[V]"), "initScanLargeVoltageStep", 2,
                        0.01, 50, kDefault, 10);
    m_smallStep = p.dbl(QStringLiteral("Small Voltage Step"), QStringLiteral("[V]"), "initScanSmallVoltageStep", 2,
                        0.01, 50, 0.1, 1);
    m_derivativeDrop = p.integer(QStringLiteral("Current Derivative dI/dV Drop"), QStringLiteral("[%]"),
                                 "initScanDerivativeDrop", 1, 100, 80);
    m_ionCurrentDrop = p.integer(QStringLiteral("Ion Current Drop"), QStringLiteral("[%]"), "initScanIonCurrentDrop",
                                 0, 10000, 100);
    m_derivativePoints = p.integer(QStringLiteral("Derivative Calculation Points"), QStringLiteral("[points]"),
                                   "initScanDerivativePoints", 1, 10, 0);
    m_optimizeEepf = p.check(QStringLiteral("Optimize Data Set For EEPF"));
    // An integration time, with the data scan's limits: never negative.
    m_prescanIntegration = p.dbl(QStringLiteral("Prescan Integration Time"), QStringLiteral("[us]"),
                                 "prescanIntegrationTime", 4, 0.0125, 3276, kDefault, 150);
    m_prescanAvg = p.integer(QStringLiteral("Prescan Average Per Step"), QStringLiteral("[samples]"),
                             "prescanAvgPerStep", 1, 10000, 0);
    m_disablePrescans = p.check(QStringLiteral("Disable all prescan measurements"));
    addGroup(po);
    finish();

    using B = ConfigBinder;
    m_binder.bindField(m_ionCurrentVoltage, [](auto& c) -> auto& { return c.ionCurrentScanRunParam.voltageStart; });
    m_binder.bindField(m_largeStep, [](auto& c) -> auto& { return c.initScanLargeVoltageStep; });
    m_binder.bindField(m_smallStep, [](auto& c) -> auto& { return c.initScanSmallVoltageStep; });
    m_binder.bindField(m_derivativeDrop, [](auto& c) -> auto& { return c.initScanDerivativeDrop; });
    m_binder.bindField(m_ionCurrentDrop, [](auto& c) -> auto& { return c.initScanIonCurrentDrop; });
    m_binder.bindField(m_derivativePoints, [](auto& c) -> auto& { return c.initScanDerivativePoints; });
    m_binder.bindField(m_optimizeEepf, [](auto& c) -> auto& { return c.initScanOptimiseForEEDF; });
    m_binder.bindField(m_prescanIntegration, [](auto& c) -> auto& { return c.initScanRunParam.integrationTime; });
    m_binder.bindField(m_prescanAvg, [](auto& c) -> auto& { return c.initScanRunParam.avgPerStep; });
    // Refused while an optimisation is on: the box then shows the flags as they stay.
    m_binder.bind(
        m_disablePrescans, [](const ConfigParam& c) { return ConfigRules::prescansDisabled(c); },
        [](ConfigParam& c, bool on) { return ConfigVerdict::say(ConfigRules::setPrescansDisabled(c, on)); },
        B::Enables);
}

void PrescanTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    if (!c)
        return;
    // What only the prescans use is greyed while they are disabled.
    const bool prescans = !ConfigRules::prescansDisabled(*c);
    for (QWidget* w : {static_cast<QWidget*>(m_ionCurrentVoltage), static_cast<QWidget*>(m_largeStep),
                       static_cast<QWidget*>(m_smallStep), static_cast<QWidget*>(m_derivativeDrop),
                       static_cast<QWidget*>(m_ionCurrentDrop), static_cast<QWidget*>(m_derivativePoints),
                       static_cast<QWidget*>(m_optimizeEepf), static_cast<QWidget*>(m_prescanIntegration),
                       static_cast<QWidget*>(m_prescanAvg)})
        w->setEnabled(prescans);
}
