#include "MultiScanTab.h"

#include "ConfigBinder.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QGroupBox>
#include <QSettings>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();
// One default for the position boxes' maximum, shared with the drive dialog
// that writes the key: the rail length replaces it once it is known.
constexpr double kDefaultPositionMaximumMm = 100.0;

} // namespace

MultiScanTab::MultiScanTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    QGridLayout* g = nullptr;
    QGroupBox* sp = group(QStringLiteral("SPATIAL POSITIONS"), g);
    ConfigRows s{g};
    m_spatial = s.check(QStringLiteral("Spatial Trend"));
    m_posStart = s.dbl(QStringLiteral("Start Position"), QStringLiteral("[mm]"), "spatStart", 1, 0, 300, kDefault, 0);
    m_posStep = s.dbl(QStringLiteral("Step Size"), QStringLiteral("[mm]"), "spatStep", 1, 0, 300, kDefault, 5);
    m_posEnd = s.dbl(QStringLiteral("End Position"), QStringLiteral("[mm]"), "spatEnd", 1, 0, 300, kDefault, 10);
    m_useRetract = new QCheckBox(QStringLiteral(" Go to safety position after scan"));
    m_posRetract = new QDoubleSpinBox;
    m_posRetract->setObjectName(QStringLiteral("retractPosition"));
    m_posRetract->setDecimals(1);
    m_posRetract->setRange(0, 300);
    tune(m_posRetract);
    g->addWidget(m_useRetract, s.r, 0);
    g->addWidget(m_posRetract, s.r, 1);
    g->addWidget(unitLabel(QStringLiteral("[mm]")), s.r++, 2);
    addGroup(sp);

    QGroupBox* ts = group(QStringLiteral("TIME SCAN"), g);
    ConfigRows t{g};
    m_timed = t.check(QStringLiteral("Time Trend"));
    m_timeStart = t.dbl(QStringLiteral("Start Time"), QStringLiteral("[s]"), "timeStart", 1, kDefault, 28500,
                        kDefault, kDefault);
    m_timeStep = t.dbl(QStringLiteral("Time Step"), QStringLiteral("[s]"), "timeStep", 1, kDefault, 12400, kDefault,
                       kDefault);
    m_timeEnd = t.dbl(QStringLiteral("End Time"), QStringLiteral("[s]"), "timeEnd", 1, kDefault, 28800, kDefault,
                      kDefault);
    addGroup(ts);

    QGroupBox* ic = group(QStringLiteral("ION CURRENT SCAN"), g);
    ConfigRows i{g};
    m_ionMonitor = i.check(QStringLiteral("Ion Current Trend"));
    m_icDuration = i.dbl(QStringLiteral("Duration"), QStringLiteral("[s]"), "icDuration", 1, 1, 28800, kDefault, 1);
    m_icVoltage = i.dbl(QStringLiteral("Voltage"), QStringLiteral("[V]"), "icVoltage", 1, -500, 500, kDefault, -30);
    addGroup(ic);
    finish();

    using B = ConfigBinder;
    // Start and end span at most the rail; the step never exceeds it either.
    auto limits = [this](ConfigParam&) { applyPositionLimits(); };
    m_binder.bindField(
        m_spatial, [](auto& c) -> auto& { return c.spat.bUseSpatScan; }, B::Enables | B::Estimate);
    m_binder.bindField(
        m_posStart, [](auto& c) -> auto& { return c.spat.start; }, B::Estimate, limits);
    m_binder.bindField(
        m_posStep, [](auto& c) -> auto& { return c.spat.step; }, B::Estimate);
    m_binder.bindField(
        m_posEnd, [](auto& c) -> auto& { return c.spat.end; }, B::Estimate, limits);
    m_binder.bindField(
        m_useRetract, [](auto& c) -> auto& { return c.spat.useRetract; }, B::Enables);
    m_binder.bindField(m_posRetract, [](auto& c) -> auto& { return c.spat.retractPosition; });
    m_binder.bindField(
        m_timed, [](auto& c) -> auto& { return c.timed.bUseTimedScan; }, B::Enables | B::Estimate);
    m_binder.bindField(m_timeStart, [](auto& c) -> auto& { return c.timed.start; });
    m_binder.bindField(m_timeStep, [](auto& c) -> auto& { return c.timed.step; });
    m_binder.bindField(m_timeEnd, [](auto& c) -> auto& { return c.timed.end; });
    m_binder.bindField(
        m_ionMonitor, [](auto& c) -> auto& { return c.ic.bUseIcScan; }, B::Enables);
    m_binder.bindField(m_icDuration, [](auto& c) -> auto& { return c.ic.duration; });
    m_binder.bindField(m_icVoltage, [](auto& c) -> auto& { return c.ic.voltage; });
}

void MultiScanTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    if (!c)
        return;
    for (QWidget* w : {m_posStart, m_posStep, m_posEnd})
        w->setEnabled(c->spat.bUseSpatScan);
    m_useRetract->setEnabled(c->spat.bUseSpatScan);
    m_posRetract->setEnabled(c->spat.bUseSpatScan && c->spat.useRetract);
    for (QWidget* w : {m_timeStart, m_timeStep, m_timeEnd})
        w->setEnabled(c->timed.bUseTimedScan);
    m_icDuration->setEnabled(c->ic.bUseIcScan);
    m_icVoltage->setEnabled(c->ic.bUseIcScan);
}

void MultiScanTab::readPositionLimits()
{
    QSettings s;
    s.beginGroup(QStringLiteral("ldSettings"));
    m_posMinimum = s.value(QStringLiteral("setPosBoxMinimum"), 0.0).toDouble();
    m_posMaximum = s.value(QStringLiteral("setPosBoxMaximum"), kDefaultPositionMaximumMm).toDouble();
    s.endGroup();
    if (!std::isfinite(m_posMinimum) || m_posMinimum < 0)
        m_posMinimum = 0;
    if (!std::isfinite(m_posMaximum) || m_posMaximum <= m_posMinimum)
        m_posMaximum = std::max(kDefaultPositionMaximumMm, m_posMinimum + 1);
}

void MultiScanTab::applyPositionLimits()
{
    const double max = m_railLength > 0 ? m_railLength : m_posMaximum;
    const double min = std::min(m_posMinimum, max);
    for (QDoubleSpinBox* b : {m_posStart, m_posEnd, m_posRetract}) {
        const QSignalBlocker block(b);
        b->setRange(min, max);
    }
    const QSignalBlocker block(m_posStep);
    m_posStep->setRange(0, max);
}

void MultiScanTab::setRailLength(double length)
{
    if (!(length > 0))
        return;
    m_railLength = length;
    applyPositionLimits();
}
