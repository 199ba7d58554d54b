#include "AdvancedTab.h"

#include "ConfigBinder.h"
#include "ConfigRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <limits>

namespace {

QString rangeText(double fullScale)
{
    if (fullScale >= 1.0)
        return QStringLiteral("%1 [A]").arg(fullScale, 0, 'f', 1);
    if (fullScale < 1e-3)
        return QStringLiteral("%1 [uA]").arg(fullScale * 1e6, 0, 'f', 1);
    return QStringLiteral("%1 [mA]").arg(fullScale * 1e3, 0, 'f', 1);
}

// A row of its own in the group's grid, so advanced mode can hide it.
QGridLayout* hideableRow(QWidget*& row)
{
    row = new QWidget;
    auto* lay = new QGridLayout(row);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setColumnStretch(0, 1);
    lay->setColumnMinimumWidth(1, 110);
    return lay;
}

} // namespace

AdvancedTab::AdvancedTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();
    QGridLayout* g = nullptr;
    QGroupBox* cr = group(QStringLiteral("CURRENT MEASUREMENT RANGE"), g);
    ConfigRows c{g};
    m_optimizeRange = c.check(QStringLiteral("Optimize Current Range"));
    m_cmRange = new QComboBox;
    m_cmRange->setObjectName(QStringLiteral("userChosenCMRange"));
    c.place(QStringLiteral("Current Range"), m_cmRange, QStringLiteral("[full scale]"));
    addGroup(cr);

    QGroupBox* st = group(QStringLiteral("SETTLING TIMES"), g);
    ConfigRows s{g};
    m_firstDelay = s.integer(QStringLiteral("First Step Delay"), QStringLiteral("[us]"), "firstStepDelay", 1, 65535,
                             1000);
    m_nextDelay = s.integer(QStringLiteral("Step Delay"), QStringLiteral("[us]"), "nextStepDelay", 1, 65535, 100);
    addGroup(st);

    QGroupBox* mo = group(QStringLiteral("MISCELLANEOUS OPTIONS"), g);
    ConfigRows m{g};
    m_idleVoltage = m.dbl(QStringLiteral("Idle Voltage"), QStringLiteral("[V]"), "voltageIdle", 1, -150, 150, kDefault,
                          -100);
    QWidget* offsetRow = nullptr;
    ConfigRows o{hideableRow(offsetRow)};
    m_offsetCurrent = o.dbl(QStringLiteral("Offset Current"), QStringLiteral("[uA]"), "offsetCurrent", 3, -100000,
                            100000, kDefault, 0);
    QWidget* throwRow = nullptr;
    ConfigRows t{hideableRow(throwRow)};
    m_throwTrace = t.integer(QStringLiteral("Throw Trace"), QStringLiteral("[traces]"), "dataScanThrowScans", 0, 10000,
                             1);
    g->addWidget(offsetRow, m.r++, 0, 1, 3);
    g->addWidget(throwRow, m.r++, 0, 1, 3);
    addGroup(mo);
    finish();
    m_advancedWidgets[0] = st;
    m_advancedWidgets[1] = offsetRow;
    m_advancedWidgets[2] = throwRow;

    using B = ConfigBinder;
    m_binder.bind(
        m_optimizeRange, [](const ConfigParam& c) { return c.useAutoCMRange; },
        [](ConfigParam& c, bool on) { return ConfigVerdict::say(ConfigRules::setOptimizeCurrentRange(c, on)); },
        B::ShowAll | B::Enables);
    m_binder.bindField(m_cmRange, [](auto& c) -> auto& { return c.userChosenCMRange; });
    m_binder.bindField(
        m_firstDelay, [](auto& c) -> auto& { return c.dataScanRunParam.firstStepDelay; }, B::Estimate);
    m_binder.bindField(
        m_nextDelay, [](auto& c) -> auto& { return c.dataScanRunParam.nextStepDelay; }, B::Estimate);
    m_binder.bindField(
        m_idleVoltage, [](auto& c) -> auto& { return c.voltageIdle; }, B::Nothing,
        [this](ConfigParam&) { emit idleVoltageChanged(); });
    // Shown in uA, kept in A.
    m_binder.bind(
        m_offsetCurrent, [](const ConfigParam& c) { return c.offsetCurrent * 1e6; },
        [](ConfigParam& c, double uA) {
            c.offsetCurrent = uA * 1e-6;
            return ConfigVerdict();
        });
    m_binder.bindField(
        m_throwTrace, [](auto& c) -> auto& { return c.dataScanThrowScans; }, B::Estimate,
        [this](ConfigParam&) { emit throwTraceChanged(); });
}

void AdvancedTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    if (c)
        m_cmRange->setEnabled(ConfigRules::currentRangeEditable(*c));
}

void AdvancedTab::setAdvancedMode(bool enabled)
{
    for (QWidget* w : m_advancedWidgets)
        w->setVisible(enabled);
}

void AdvancedTab::setCurrentRanges(const double* iRange, int count, const ConfigParam* record)
{
    const QSignalBlocker block(m_cmRange);
    m_cmRange->clear();
    for (int i = 0; i < count; ++i)
        m_cmRange->addItem(rangeText(iRange[i]));
    if (record)
        m_cmRange->setCurrentIndex(int(std::min<quint32>(record->userChosenCMRange, quint32(count - 1))));
}
