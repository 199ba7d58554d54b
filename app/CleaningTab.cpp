#include "CleaningTab.h"

#include "ConfigBinder.h"
#include "ConfigRules.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QSpinBox>

#include <limits>

CleaningTab::CleaningTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();
    QGridLayout* g = nullptr;
    QGroupBox* ac = group(QStringLiteral("AUTO CLEANING OPTIONS"), g);
    ConfigRows a{g};
    m_autoClean = a.check(QStringLiteral("Auto Cleaning"));
    m_cleanPeriod = a.integer(QStringLiteral("Auto Cleaning Period"), QStringLiteral("[s]"), "cleanPeriod", 1, 3600, 600);
    addGroup(ac);

    QGroupBox* pt = group(QStringLiteral("PROBE TIP CLEANING OPTIONS"), g);
    ConfigRows p{g};
    m_cleanVoltage = p.dbl(QStringLiteral("Cleaning Voltage"), QStringLiteral("[V]"), "cleanVoltage", 1, -150, 150, 1,
                           150);
    m_cleanLevel = p.dbl(QStringLiteral("Cleaning Level"), QStringLiteral("[W]"), "cleanLevel", 1, 0.1, 100, kDefault,
                         10);
    m_cleanDuration = p.integer(QStringLiteral("Cleaning Time Duration"), QStringLiteral("[s]"), "cleanDuration", 1,
                                600, 10);
    m_cleanRelax = p.integer(QStringLiteral("Relaxation Time Duration"), QStringLiteral("[s]"), "cleanRelaxTime", 1,
                             600, 20);
    addGroup(pt);
    finish();

    using B = ConfigBinder;
    // Automatic cleaning may switch the external trigger off: the trigger box shows it.
    m_binder.bind(
        m_autoClean, [](const ConfigParam& c) { return c.clean.autoClean; },
        [](ConfigParam& c, bool on) { return ConfigVerdict::say(ConfigRules::setAutoClean(c, on)); },
        B::ShowAll | B::Enables);
    m_binder.bindField(m_cleanPeriod, [](auto& c) -> auto& { return c.clean.period; });
    m_binder.bindField(m_cleanVoltage, [](auto& c) -> auto& { return c.clean.voltage; });
    m_binder.bindField(m_cleanLevel, [](auto& c) -> auto& { return c.clean.power; });
    m_binder.bindField(m_cleanDuration, [](auto& c) -> auto& { return c.clean.duration; });
    m_binder.bindField(m_cleanRelax, [](auto& c) -> auto& { return c.clean.relaxTime; });
}

void CleaningTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    if (c)
        m_cleanPeriod->setEnabled(c->clean.autoClean);
}
