#include "TriggerTab.h"

#include "ConfigBinder.h"
#include "ConfigRules.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <cmath>

TriggerTab::TriggerTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    QGridLayout* g = nullptr;
    m_triggerGroup = group(QStringLiteral("EXTERNAL TRIGGER"), g);
    m_useTrigger = new QCheckBox(QStringLiteral("Use External Trigger to start Scan"));
    g->addWidget(m_useTrigger, 0, 0, 1, 3);
    m_fallingEdge = new QRadioButton(QStringLiteral("Falling Edge"));
    m_risingEdge = new QRadioButton(QStringLiteral("Rising Edge"));
    auto* edges = new QButtonGroup(this);
    edges->addButton(m_fallingEdge);
    edges->addButton(m_risingEdge);
    g->addWidget(m_fallingEdge, 1, 0);
    g->addWidget(m_risingEdge, 1, 1, 1, 2);
    m_triggerDelay = new QLineEdit(QStringLiteral("0"));
    m_triggerDelay->setObjectName(QStringLiteral("extTriggerDelay"));
    m_triggerDelay->setAlignment(Qt::AlignRight);
    // The delay goes to the unit as an unsigned 16-bit value.
    m_triggerDelay->setValidator(new QIntValidator(0, 65535, m_triggerDelay));
    g->addWidget(new QLabel(QStringLiteral("Trigger Delay")), 2, 0);
    g->addWidget(m_triggerDelay, 2, 1);
    g->addWidget(unitLabel(QStringLiteral("[us]")), 2, 2);
    addGroup(m_triggerGroup, false);
    finish();

    using B = ConfigBinder;
    // Refused while automatic cleaning is on: the box then shows the trigger off.
    m_binder.bind(
        m_useTrigger, [](const ConfigParam& c) { return c.useExtTrigger; },
        [](ConfigParam& c, bool on) { return ConfigVerdict::say(ConfigRules::setExternalTrigger(c, on)); },
        B::Enables);
    m_binder.bindField(m_risingEdge, [](auto& c) -> auto& { return c.useExtTriggerRisingEdge; });
    m_binder.bindShown(m_fallingEdge, [](const ConfigParam& c) { return !c.useExtTriggerRisingEdge; });
    // A delay out of range keeps the last one; the box shows what is kept.
    m_binder.bind(
        m_triggerDelay, [](const ConfigParam& c) { return QString::number(std::lround(c.extTriggerDelay)); },
        [](ConfigParam& c, QString text) {
            bool ok = false;
            const double v = text.trimmed().toDouble(&ok);
            if (ok && v >= 0 && v <= 65535)
                c.extTriggerDelay = std::round(v);
            return ConfigVerdict();
        });
}

void TriggerTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    m_triggerGroup->setEnabled(enabled && c && m_available);
    if (!c)
        return;
    m_fallingEdge->setEnabled(c->useExtTrigger);
    m_risingEdge->setEnabled(c->useExtTrigger);
    m_triggerDelay->setEnabled(c->useExtTrigger);
}

QWidget* TriggerTab::triggerGroup() const
{
    return m_triggerGroup;
}

void TriggerTab::takePendingDelay(ConfigParam& c) const
{
    if (m_triggerDelay->hasAcceptableInput())
        c.extTriggerDelay = m_triggerDelay->text().toDouble();
}
