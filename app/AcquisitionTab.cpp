#include "AcquisitionTab.h"

#include "ConfigBinder.h"
#include "ConfigRules.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <limits>

namespace {

const char* const kTitle = "Quendrix Langmuir";
constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();

// The rule of the time-resolved window: no more frames than the unit takes.
ConfigVerdict framesAllowed(double start, double end, double resolution)
{
    if (ScanEstimate::frameCount(start, end, resolution) <= ScanEstimate::maxSyncFrames)
        return ConfigVerdict();
    return ConfigVerdict::refuse(QStringLiteral("Time resolved scans can't have more than 1024"),
                                 QStringLiteral("Too many frames in TR scan"), true);
}

// Every edit of the window goes through here: the whole new window is checked
// and kept, or the record keeps the old one.
ConfigVerdict setWindow(SyncParam& s, double start, double end, double resolution)
{
    ConfigVerdict verdict = framesAllowed(start, end, resolution);
    if (verdict.taken) {
        s.start = start;
        s.duration = end;
        s.resolution = resolution;
    }
    return verdict;
}

// An end at or before the start is the whole SYNC period (as the unit takes it).
bool wholePeriod(const SyncParam& s)
{
    return !(s.duration > s.start);
}

QString joined(QLabel* const* pair)
{
    return (pair[0]->text() + QLatin1Char(' ') + pair[1]->text()).trimmed();
}

} // namespace

AcquisitionTab::AcquisitionTab(ConfigBinder& binder, QWidget* parent)
    : ConfigTab(binder, parent)
{
    int row = 0;
    QGridLayout* g = nullptr;
    QGroupBox* ta = group(QStringLiteral("TIME AVERAGED DATA ACQUISITION"), g);
    ConfigRows a{g};
    m_timeAveraged = new QRadioButton(QStringLiteral("Time Averaged"));
    g->addWidget(m_timeAveraged, a.r++, 0, 1, 3);
    m_integrationTime = a.dbl(QStringLiteral("Integration Time"), QStringLiteral("[us]"), "integrationTime", 4, 0.0125,
                              3276, kDefault, 100);
    addGroup(ta);

    QGroupBox* tr = group(QStringLiteral("TIME RESOLVED DATA ACQUISITION"), g);
    ConfigRows t{g};
    m_timeResolved = new QRadioButton(QStringLiteral("Time Resolved"));
    g->addWidget(m_timeResolved, t.r++, 0, 1, 3);
    m_resolution = t.dbl(QStringLiteral("Resolution Time Step"), QStringLiteral("[us]"), "resolution", 4, 0.0125,
                         3276, kDefault, 0.0125);
    m_acqStart = t.dbl(QStringLiteral("Acquisition Time Start"), QStringLiteral("[us]"), "syncStart", 4, 0, 50000,
                       kDefault, 0);
    m_acqEnd = t.dbl(QStringLiteral("Acquisition Time End"), QStringLiteral("[us]"), "syncEnd", 4, 0, 30000, kDefault,
                     0);
    m_wholePeriod = new QCheckBox(QStringLiteral("Whole Period"));
    m_wholePeriod->setToolTip(QStringLiteral("Acquire from the start time to the end of the SYNC period"));
    m_integrateSample = new QCheckBox(QStringLiteral("Integrate Sample"));
    g->addWidget(m_wholePeriod, t.r, 0);
    g->addWidget(m_integrateSample, t.r++, 1, 1, 2);
    addGroup(tr);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_timeAveraged);
    modes->addButton(m_timeResolved);

    QGroupBox* da = group(QStringLiteral("DATA ACQUISITION"), g);
    ConfigRows d{g};
    m_avgPerStep = d.integer(QStringLiteral("Average Per Voltage Step"), QStringLiteral("[samples]"), "avgPerStep", 1,
                             262144, 0);
    m_traceAverage = d.integer(QStringLiteral("Trace Average"), QStringLiteral("[sweeps]"), "traceAverage", 1, 10000,
                               0);
    m_scansToRun = d.integer(QStringLiteral("Traces Per Scan"), QStringLiteral("[traces]"), "dataScanRunScans", 1,
                             10000, 0);
    m_scansToRun->setValue(10);
    addGroup(da);

    QGroupBox* est = group(QStringLiteral("ESTIMATES"), g);
    m_syncValue = new QLabel;
    m_syncValue->setObjectName(QStringLiteral("syncValue"));
    m_syncValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_syncUnit = unitLabel(QString());
    m_resync = new QPushButton(QStringLiteral("RESYNC"));
    connect(m_resync, &QPushButton::clicked, this, &AcquisitionTab::resync);
    g->addWidget(new QLabel(QStringLiteral("SYNC Frequency")), row, 0);
    g->addWidget(m_syncValue, row, 1);
    g->addWidget(m_syncUnit, row, 2);
    g->addWidget(m_resync, row++, 3);
    auto estimateRow = [&](const QString& label, QLabel** pair, const char* name) {
        pair[0] = new QLabel;
        pair[0]->setObjectName(QLatin1String(name));
        pair[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        pair[1] = unitLabel(QString());
        g->addWidget(new QLabel(label), row, 0);
        g->addWidget(pair[0], row, 1);
        g->addWidget(pair[1], row++, 2);
    };
    estimateRow(QStringLiteral("Estimated Scan Time"), m_scanTime, "scanTime");
    estimateRow(QStringLiteral("Estimated Voltage Step Time"), m_stepTime, "stepTime");
    estimateRow(QStringLiteral("Estimated Trace Time"), m_traceTime, "traceTime");
    addGroup(est, false);
    finish();

    using B = ConfigBinder;
    // The pair shows the mode; an edit comes from the time-resolved button alone.
    m_binder.bindShown(m_timeAveraged, [](const ConfigParam& c) { return !c.sync.bUseSyncScan; });
    m_binder.bind(
        m_timeResolved, [](const ConfigParam& c) { return c.sync.bUseSyncScan; },
        [](ConfigParam& c, bool resolved) {
            if (resolved == c.sync.bUseSyncScan)
                return ConfigVerdict::refuse();
            return ConfigVerdict::say(ConfigRules::setSyncMode(c, resolved), QString::fromLatin1(kTitle));
        },
        B::Enables | B::Estimate);
    m_binder.bindField(
        m_integrationTime, [](auto& c) -> auto& { return c.dataScanRunParam.integrationTime; }, B::Estimate);
    m_binder.bind(
        m_resolution, [](const ConfigParam& c) { return c.sync.resolution; },
        [](ConfigParam& c, double v) { return setWindow(c.sync, c.sync.start, c.sync.duration, v); },
        B::Estimate);
    m_binder.bind(
        m_acqStart, [](const ConfigParam& c) { return c.sync.start; },
        [](ConfigParam& c, double v) {
            // The end follows a start moved past it (end never below start).
            const double end = wholePeriod(c.sync) ? c.sync.duration : std::max(c.sync.duration, v);
            return setWindow(c.sync, v, end, c.sync.resolution);
        },
        B::ShowAll | B::Enables | B::Estimate);
    m_binder.bind(
        m_acqEnd,
        [this](const ConfigParam& c) {
            // The end box starts where the start box stands (shown just before).
            m_acqEnd->setMinimum(m_acqStart->value());
            return c.sync.duration;
        },
        [](ConfigParam& c, double v) {
            return setWindow(c.sync, c.sync.start, std::max(v, c.sync.start), c.sync.resolution);
        },
        B::ShowAll | B::Enables | B::Estimate);
    m_binder.bind(
        m_wholePeriod, [](const ConfigParam& c) { return wholePeriod(c.sync); },
        [this](ConfigParam& c, bool on) {
            if (on) {
                c.sync.duration = 0;
                return ConfigVerdict();
            }
            // A window of its own: at least one resolution step after the start.
            const double end = std::max(m_acqEnd->value(), c.sync.start + c.sync.resolution);
            return setWindow(c.sync, c.sync.start, end, c.sync.resolution);
        },
        B::ShowAll | B::Enables | B::Estimate);
    m_binder.bindField(
        m_integrateSample, [](auto& c) -> auto& { return c.sync.averaging; }, B::Estimate);
    m_binder.bindField(
        m_avgPerStep, [](auto& c) -> auto& { return c.dataScanRunParam.avgPerStep; }, B::Estimate);
    m_binder.bindField(
        m_traceAverage, [](auto& c) -> auto& { return c.dataScanRunParam.traceAverage; }, B::Estimate);
    m_binder.bindField(
        m_scansToRun, [](auto& c) -> auto& { return c.dataScanRunScans; }, B::Estimate);
}

void AcquisitionTab::updateEnables(const ConfigParam* c, bool enabled)
{
    ConfigTab::updateEnables(c, enabled);
    m_resync->setEnabled(enabled);
    if (!c)
        return;
    const bool sync = c->sync.bUseSyncScan;
    m_integrationTime->setEnabled(!sync);
    for (QWidget* w : {static_cast<QWidget*>(m_resolution), static_cast<QWidget*>(m_acqStart),
                       static_cast<QWidget*>(m_wholePeriod), static_cast<QWidget*>(m_integrateSample)})
        w->setEnabled(sync);
    m_acqEnd->setEnabled(sync && !m_wholePeriod->isChecked());
}

void AcquisitionTab::showSync(const ScanEstimate::Display& sync)
{
    m_syncValue->setText(sync.value);
    m_syncUnit->setText(sync.unit);
}

void AcquisitionTab::showTimes(double runSeconds, double pointSeconds, double traceSeconds, bool valid)
{
    auto put = [valid](QLabel** pair, double seconds) {
        const ScanEstimate::Display d = ScanEstimate::timeDisplay(seconds);
        pair[0]->setText(valid ? d.value : QStringLiteral("-"));
        pair[1]->setText(valid ? d.unit : QString());
    };
    put(m_scanTime, runSeconds);
    put(m_stepTime, pointSeconds);
    put(m_traceTime, traceSeconds);
}

QString AcquisitionTab::syncText() const
{
    return (m_syncValue->text() + QLatin1Char(' ') + m_syncUnit->text()).trimmed();
}

QString AcquisitionTab::scanTimeText() const
{
    return joined(m_scanTime);
}

QString AcquisitionTab::stepTimeText() const
{
    return joined(m_stepTime);
}

QString AcquisitionTab::traceTimeText() const
{
    return joined(m_traceTime);
}
