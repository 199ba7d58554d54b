#include "ConfigParamPanel.h"

#include "ConfigRules.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>
#include <type_traits>

namespace {

const char* const kScanSettings = "scansettings";
const char* const kTitle = "Quendrix Langmuir";
// One default for the position boxes' maximum, shared with the drive dialog
// that writes the key: the rail length replaces it once it is known.
constexpr double kDefaultPositionMaximumMm = 100.0;
constexpr double kDefaultAdcFreq = 7.9872e7;

void tune(QAbstractSpinBox* box)
{
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setAccelerated(true);
    box->setKeyboardTracking(false);
}

QGroupBox* group(const QString& title, QGridLayout*& grid)
{
    auto* g = new QGroupBox(title);
    grid = new QGridLayout(g);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, 110);
    return g;
}

QLabel* unitLabel(const QString& unit)
{
    auto* l = new QLabel(unit);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("[h:m:s]")) + 4);
    return l;
}

QString rangeText(double fullScale)
{
    if (fullScale >= 1.0)
        return QStringLiteral("%1 [A]").arg(fullScale, 0, 'f', 1);
    if (fullScale < 1e-3)
        return QStringLiteral("%1 [uA]").arg(fullScale * 1e6, 0, 'f', 1);
    return QStringLiteral("%1 [mA]").arg(fullScale * 1e3, 0, 'f', 1);
}

template <typename Box>
std::enable_if_t<std::is_base_of_v<QAbstractSpinBox, Box>> display(Box* box, double v)
{
    const QSignalBlocker block(box);
    box->setValue(v);
}

void display(QAbstractButton* b, bool on)
{
    const QSignalBlocker block(b);
    b->setChecked(on);
}

int clampInt(quint32 v)
{
    return int(std::min<quint32>(v, quint32(std::numeric_limits<int>::max())));
}

} // namespace

// ---------------------------------------------------------------- building

ConfigParamPanel::ConfigParamPanel(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Scan Configuration"));
    setObjectName(QStringLiteral("ConfigParamPanel"));
    m_tabs = new QTabWidget(this);
    // Every tab title stays readable: the window is as wide as the tab bar.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);
    m_tabs->addTab(buildAcquisitionTab(), QStringLiteral("Acquisition"));
    m_tabs->addTab(buildMultiScanTab(), QStringLiteral("Multi Scan"));
    m_tabs->addTab(buildVoltagesTab(), QStringLiteral("Voltages"));
    m_tabs->addTab(buildCleaningTab(), QStringLiteral("Cleaning"));
    m_prescanPage = buildPrescanTab();
    m_prescanPage->setParent(this);
    m_prescanPage->hide();
    m_tabs->addTab(buildAdvancedTab(), QStringLiteral("Advanced"));
    m_tabs->addTab(buildTriggerTab(), QStringLiteral("Trigger"));
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_tabs);
    for (QWidget* w : m_advancedWidgets)
        w->setVisible(false);
    static const double defaultRanges[6] = {0.166, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6};
    setCurrentRanges(defaultRanges);
    readPositionLimits();
    applyPositionLimits();
    updateEnables();
    showTimes();
}

ConfigParamPanel::~ConfigParamPanel() = default;

QWidget* ConfigParamPanel::buildAcquisitionTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    int row = 0;
    auto addDouble = [this](QGridLayout* g, int& r, const QString& label, const QString& unit, const char* name,
                            int dec, double min, double max, double init, void (ConfigParamPanel::*slot)()) {
        auto* box = new QDoubleSpinBox;
        box->setObjectName(QLatin1String(name));
        box->setDecimals(dec);
        box->setRange(min, max);
        box->setValue(init);
        tune(box);
        g->addWidget(new QLabel(label), r, 0);
        g->addWidget(box, r, 1);
        g->addWidget(unitLabel(unit), r, 2);
        ++r;
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, slot);
        return box;
    };
    auto addInt = [this](QGridLayout* g, int& r, const QString& label, const QString& unit, const char* name, int min,
                         int max, void (ConfigParamPanel::*slot)()) {
        auto* box = new QSpinBox;
        box->setObjectName(QLatin1String(name));
        box->setRange(min, max);
        box->setSingleStep(1);
        tune(box);
        g->addWidget(new QLabel(label), r, 0);
        g->addWidget(box, r, 1);
        g->addWidget(unitLabel(unit), r, 2);
        ++r;
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, slot);
        return box;
    };

    QGridLayout* g = nullptr;
    QGroupBox* ta = group(QStringLiteral("TIME AVERAGED DATA ACQUISITION"), g);
    m_timeAveraged = new QRadioButton(QStringLiteral("Time Averaged"));
    g->addWidget(m_timeAveraged, row++, 0, 1, 3);
    m_integrationTime = addDouble(g, row, QStringLiteral("Integration Time"), QStringLiteral("[us]"),
                                  "integrationTime", 4, 0.0125, 3276, 100, &ConfigParamPanel::setIntegrationTime);
    lay->addWidget(ta);

    row = 0;
    QGroupBox* tr = group(QStringLiteral("TIME RESOLVED DATA ACQUISITION"), g);
    m_timeResolved = new QRadioButton(QStringLiteral("Time Resolved"));
    g->addWidget(m_timeResolved, row++, 0, 1, 3);
    m_resolution = addDouble(g, row, QStringLiteral("Resolution Time Step"), QStringLiteral("[us]"), "resolution", 4,
                             0.0125, 3276, 0.0125, &ConfigParamPanel::setResolutionTime);
    m_acqStart = addDouble(g, row, QStringLiteral("Acquisition Time Start"), QStringLiteral("[us]"), "syncStart", 4, 0,
                           50000, 0, &ConfigParamPanel::setAcqTimeStart);
    m_acqEnd = addDouble(g, row, QStringLiteral("Acquisition Time End"), QStringLiteral("[us]"), "syncEnd", 4, 0,
                         30000, 0, &ConfigParamPanel::setAcqTimeDuration);
    m_wholePeriod = new QCheckBox(QStringLiteral("Whole Period"));
    m_wholePeriod->setToolTip(QStringLiteral("Acquire from the start time to the end of the SYNC period"));
    m_integrateSample = new QCheckBox(QStringLiteral("Integrate Sample"));
    g->addWidget(m_wholePeriod, row, 0);
    g->addWidget(m_integrateSample, row++, 1, 1, 2);
    connect(m_wholePeriod, &QCheckBox::toggled, this, &ConfigParamPanel::setWholePeriod);
    connect(m_integrateSample, &QCheckBox::toggled, this, &ConfigParamPanel::setIntegrateSample);
    lay->addWidget(tr);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_timeAveraged);
    modes->addButton(m_timeResolved);
    connect(m_timeAveraged, &QRadioButton::toggled, this, &ConfigParamPanel::setSyncMode);

    row = 0;
    QGroupBox* da = group(QStringLiteral("DATA ACQUISITION"), g);
    m_avgPerStep = addInt(g, row, QStringLiteral("Average Per Voltage Step"), QStringLiteral("[samples]"),
                          "avgPerStep", 1, 262144, &ConfigParamPanel::setAvgPerStep);
    m_traceAverage = addInt(g, row, QStringLiteral("Trace Average"), QStringLiteral("[sweeps]"), "traceAverage", 1,
                            10000, &ConfigParamPanel::setAvgTrace);
    m_scansToRun = addInt(g, row, QStringLiteral("Traces Per Scan"), QStringLiteral("[traces]"), "dataScanRunScans",
                          1, 10000, &ConfigParamPanel::setScansToRun);
    m_scansToRun->setValue(10);
    lay->addWidget(da);
    m_editable << ta << tr << da;

    row = 0;
    QGroupBox* est = group(QStringLiteral("ESTIMATES"), g);
    m_syncValue = new QLabel;
    m_syncValue->setObjectName(QStringLiteral("syncValue"));
    m_syncValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_syncUnit = unitLabel(QString());
    m_resync = new QPushButton(QStringLiteral("RESYNC"));
    connect(m_resync, &QPushButton::clicked, this, &ConfigParamPanel::resync);
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
    lay->addWidget(est);
    lay->addStretch(1);
    return page;
}

namespace {
// Shared row builders of the other tabs.
struct Rows {
    ConfigParamPanel* panel;
    QGridLayout* g;
    int r = 0;

    QDoubleSpinBox* dbl(const QString& label, const QString& unit, const char* name, int dec, double min, double max,
                        double step, double init)
    {
        auto* box = new QDoubleSpinBox;
        box->setObjectName(QLatin1String(name));
        box->setDecimals(dec);
        if (min == min) // NaN: the widget's own default
            box->setMinimum(min);
        box->setMaximum(max);
        if (step > 0)
            box->setSingleStep(step);
        if (init == init)
            box->setValue(init);
        tune(box);
        place(label, box, unit);
        return box;
    }
    QSpinBox* integer(const QString& label, const QString& unit, const char* name, int min, int max, int init)
    {
        auto* box = new QSpinBox;
        box->setObjectName(QLatin1String(name));
        box->setRange(min, max);
        box->setSingleStep(1);
        if (init >= min)
            box->setValue(init);
        tune(box);
        place(label, box, unit);
        return box;
    }
    void place(const QString& label, QWidget* box, const QString& unit)
    {
        g->addWidget(new QLabel(label), r, 0);
        g->addWidget(box, r, 1);
        g->addWidget(unitLabel(unit), r, 2);
        ++r;
    }
    QCheckBox* check(const QString& text)
    {
        auto* c = new QCheckBox(text);
        g->addWidget(c, r++, 0, 1, 3);
        return c;
    }
};
constexpr double kDefault = std::numeric_limits<double>::quiet_NaN();
} // namespace

QWidget* ConfigParamPanel::buildMultiScanTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    QGridLayout* g = nullptr;

    QGroupBox* sp = group(QStringLiteral("SPATIAL POSITIONS"), g);
    Rows s{this, g};
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
    connect(m_spatial, &QCheckBox::toggled, this, &ConfigParamPanel::setSpatMode);
    connect(m_posStart, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setPositionStart);
    connect(m_posStep, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setPositionStep);
    connect(m_posEnd, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setPositionStop);
    connect(m_useRetract, &QCheckBox::toggled, this, &ConfigParamPanel::setUseRetract);
    connect(m_posRetract, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setPositionRetract);
    lay->addWidget(sp);

    QGroupBox* ts = group(QStringLiteral("TIME SCAN"), g);
    Rows t{this, g};
    m_timed = t.check(QStringLiteral("Time Trend"));
    m_timeStart = t.dbl(QStringLiteral("Start Time"), QStringLiteral("[s]"), "timeStart", 1, kDefault, 28500,
                        kDefault, kDefault);
    m_timeStep = t.dbl(QStringLiteral("Time Step"), QStringLiteral("[s]"), "timeStep", 1, kDefault, 12400, kDefault,
                       kDefault);
    m_timeEnd = t.dbl(QStringLiteral("End Time"), QStringLiteral("[s]"), "timeEnd", 1, kDefault, 28800, kDefault,
                      kDefault);
    connect(m_timed, &QCheckBox::toggled, this, &ConfigParamPanel::setTimedMode);
    connect(m_timeStart, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &ConfigParamPanel::setTimeStart);
    connect(m_timeStep, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &ConfigParamPanel::setTimeStep);
    connect(m_timeEnd, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &ConfigParamPanel::setTimeStop);
    lay->addWidget(ts);

    QGroupBox* ic = group(QStringLiteral("ION CURRENT SCAN"), g);
    Rows i{this, g};
    m_ionMonitor = i.check(QStringLiteral("Ion Current Trend"));
    m_icDuration = i.dbl(QStringLiteral("Duration"), QStringLiteral("[s]"), "icDuration", 1, 1, 28800, kDefault, 1);
    m_icVoltage = i.dbl(QStringLiteral("Voltage"), QStringLiteral("[V]"), "icVoltage", 1, -500, 500, kDefault, -30);
    connect(m_ionMonitor, &QCheckBox::toggled, this, &ConfigParamPanel::setIonMonitorMode);
    connect(m_icDuration, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setIcDuration);
    connect(m_icVoltage, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &ConfigParamPanel::setIcVoltage);
    lay->addWidget(ic);
    lay->addStretch(1);
    m_editable << sp << ts << ic;
    return page;
}

QWidget* ConfigParamPanel::buildVoltagesTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    QGridLayout* g = nullptr;
    QGroupBox* sv = group(QStringLiteral("SCAN VOLTAGES"), g);
    Rows v{this, g};
    m_optimizeVoltages = v.check(QStringLiteral("Optimize Scan Voltages"));
    m_voltStart = v.dbl(QStringLiteral("Start Voltage"), QStringLiteral("[V]"), "voltageStart", 1, -150, 150,
                        kDefault, -50);
    m_voltStep = v.dbl(QStringLiteral("Step Voltage"), QStringLiteral("[V]"), "voltageStep", 2, 0.01, 50, kDefault, 1);
    m_voltEnd = v.dbl(QStringLiteral("End Voltage"), QStringLiteral("[V]"), "voltageEnd", 1, -150, 150, kDefault, 50);
    connect(m_optimizeVoltages, &QCheckBox::toggled, this, &ConfigParamPanel::setOptimizeScanVoltages);
    connect(m_voltStart, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setVoltageStart);
    connect(m_voltStep, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &ConfigParamPanel::setVoltageStep);
    connect(m_voltEnd, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &ConfigParamPanel::setVoltageStop);
    lay->addWidget(sv);
    lay->addStretch(1);
    m_editable << sv;
    return page;
}

QWidget* ConfigParamPanel::buildCleaningTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    QGridLayout* g = nullptr;
    QGroupBox* ac = group(QStringLiteral("AUTO CLEANING OPTIONS"), g);
    Rows a{this, g};
    m_autoClean = a.check(QStringLiteral("Auto Cleaning"));
    m_cleanPeriod = a.integer(QStringLiteral("Auto Cleaning Period"), QStringLiteral("[s]"), "cleanPeriod", 1, 3600, 600);
    connect(m_autoClean, &QCheckBox::toggled, this, &ConfigParamPanel::setCleaningAuto);
    connect(m_cleanPeriod, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setCleanAutoPeriod);
    lay->addWidget(ac);

    QGroupBox* pt = group(QStringLiteral("PROBE TIP CLEANING OPTIONS"), g);
    Rows p{this, g};
    m_cleanVoltage = p.dbl(QStringLiteral("Cleaning Voltage"), QStringLiteral("[V]"), "cleanVoltage", 1, -150, 150, 1,
                           150);
    m_cleanLevel = p.dbl(QStringLiteral("Cleaning Level"), QStringLiteral("[W]"), "cleanLevel", 1, 0.1, 100, kDefault,
                         10);
    m_cleanDuration = p.integer(QStringLiteral("Cleaning Time Duration"), QStringLiteral("[s]"), "cleanDuration", 1,
                                600, 10);
    m_cleanRelax = p.integer(QStringLiteral("Relaxation Time Duration"), QStringLiteral("[s]"), "cleanRelaxTime", 1,
                             600, 20);
    connect(m_cleanVoltage, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setCleaningVoltage);
    connect(m_cleanLevel, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setCleaningLevel);
    connect(m_cleanDuration, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ConfigParamPanel::setCleaningTimeDuration);
    connect(m_cleanRelax, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ConfigParamPanel::setCleaningTimeRelaxation);
    lay->addWidget(pt);
    lay->addStretch(1);
    m_editable << ac << pt;
    return page;
}

QWidget* ConfigParamPanel::buildPrescanTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    QGridLayout* g = nullptr;
    QGroupBox* po = group(QStringLiteral("PRESCAN OPTIONS"), g);
    Rows p{this, g};
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
    connect(m_ionCurrentVoltage, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setIonCurrentVoltage);
    connect(m_largeStep, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setLargeVoltageStep);
    connect(m_smallStep, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setSmallVoltageStep);
    connect(m_derivativeDrop, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setDerivativeDrop);
    connect(m_ionCurrentDrop, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setIonCurrentDrop);
    connect(m_derivativePoints, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ConfigParamPanel::setDerivativePoints);
    connect(m_optimizeEepf, &QCheckBox::toggled, this, &ConfigParamPanel::setOptimizeForEEDF);
    connect(m_prescanIntegration, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setPrescanIntegrationTime);
    connect(m_prescanAvg, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setPrescanAvgPerStep);
    connect(m_disablePrescans, &QCheckBox::toggled, this, &ConfigParamPanel::disablePrescans);
    lay->addWidget(po);
    lay->addStretch(1);
    m_editable << po;
    return page;
}

QWidget* ConfigParamPanel::buildAdvancedTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    QGridLayout* g = nullptr;
    QGroupBox* cr = group(QStringLiteral("CURRENT MEASUREMENT RANGE"), g);
    Rows c{this, g};
    m_optimizeRange = c.check(QStringLiteral("Optimize Current Range"));
    m_cmRange = new QComboBox;
    m_cmRange->setObjectName(QStringLiteral("userChosenCMRange"));
    c.place(QStringLiteral("Current Range"), m_cmRange, QStringLiteral("[full scale]"));
    connect(m_optimizeRange, &QCheckBox::toggled, this, &ConfigParamPanel::setOptimizeCMRange);
    connect(m_cmRange, QOverload<int>::of(&QComboBox::activated), this, &ConfigParamPanel::setScanCMRange);
    lay->addWidget(cr);

    QGroupBox* st = group(QStringLiteral("SETTLING TIMES"), g);
    Rows s{this, g};
    m_firstDelay = s.integer(QStringLiteral("First Step Delay"), QStringLiteral("[us]"), "firstStepDelay", 1, 65535,
                             1000);
    m_nextDelay = s.integer(QStringLiteral("Step Delay"), QStringLiteral("[us]"), "nextStepDelay", 1, 65535, 100);
    connect(m_firstDelay, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setFirstStepDelay);
    connect(m_nextDelay, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setNextStepDelay);
    lay->addWidget(st);

    QGroupBox* mo = group(QStringLiteral("MISCELLANEOUS OPTIONS"), g);
    Rows m{this, g};
    m_idleVoltage = m.dbl(QStringLiteral("Idle Voltage"), QStringLiteral("[V]"), "voltageIdle", 1, -150, 150, kDefault,
                          -100);
    // Offset and thrown traces sit in rows of their own so advanced mode can hide them.
    auto* offsetRow = new QWidget;
    auto* offsetLay = new QGridLayout(offsetRow);
    offsetLay->setContentsMargins(0, 0, 0, 0);
    offsetLay->setColumnStretch(0, 1);
    offsetLay->setColumnMinimumWidth(1, 110);
    Rows o{this, offsetLay};
    m_offsetCurrent = o.dbl(QStringLiteral("Offset Current"), QStringLiteral("[uA]"), "offsetCurrent", 3, -100000,
                            100000, kDefault, 0);
    auto* throwRow = new QWidget;
    auto* throwLay = new QGridLayout(throwRow);
    throwLay->setContentsMargins(0, 0, 0, 0);
    throwLay->setColumnStretch(0, 1);
    throwLay->setColumnMinimumWidth(1, 110);
    Rows t{this, throwLay};
    m_throwTrace = t.integer(QStringLiteral("Throw Trace"), QStringLiteral("[traces]"), "dataScanThrowScans", 0, 10000,
                             1);
    g->addWidget(offsetRow, m.r++, 0, 1, 3);
    g->addWidget(throwRow, m.r++, 0, 1, 3);
    connect(m_idleVoltage, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setIdleVoltage);
    connect(m_offsetCurrent, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ConfigParamPanel::setCurrentOffset);
    connect(m_throwTrace, QOverload<int>::of(&QSpinBox::valueChanged), this, &ConfigParamPanel::setThrowTrace);
    lay->addWidget(mo);
    lay->addStretch(1);
    m_editable << cr << st << mo;
    m_advancedWidgets[0] = st;
    m_advancedWidgets[1] = offsetRow;
    m_advancedWidgets[2] = throwRow;
    return page;
}

QWidget* ConfigParamPanel::buildTriggerTab()
{
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
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
    connect(m_useTrigger, &QCheckBox::toggled, this, &ConfigParamPanel::useExternalTrigger);
    connect(m_risingEdge, &QRadioButton::toggled, this, &ConfigParamPanel::useTriggerRisingEdge);
    connect(m_triggerDelay, &QLineEdit::editingFinished, this,
            [this] { updateTriggerDelay(m_triggerDelay->text()); });
    lay->addWidget(m_triggerGroup);
    lay->addStretch(1);
    return page;
}

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
    if (ConfigParam* c = record(); c && m_triggerDelay->hasAcceptableInput())
        c->extTriggerDelay = m_triggerDelay->text().toDouble();
}

void ConfigParamPanel::setController(RIRavaVCntrl* ctrl, BusyProbe busy)
{
    m_ctrl = ctrl;
    m_busy = std::move(busy);
}

void ConfigParamPanel::setCurrentRanges(const double* iRange, int count)
{
    const QSignalBlocker block(m_cmRange);
    m_cmRange->clear();
    for (int i = 0; i < count; ++i)
        m_cmRange->addItem(rangeText(iRange[i]));
    if (ConfigParam* c = record())
        m_cmRange->setCurrentIndex(int(std::min<quint32>(c->userChosenCMRange, quint32(count - 1))));
}

void ConfigParamPanel::setTriggerAvailable(bool available)
{
    m_triggerAvailable = available;
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

int ConfigParamPanel::tabIndex(const QString& title) const
{
    for (int i = 0; i < m_tabs->count(); ++i)
        if (m_tabs->tabText(i) == title)
            return i;
    return -1;
}

QWidget* ConfigParamPanel::triggerGroup() const
{
    return m_triggerGroup;
}

QString ConfigParamPanel::syncText() const
{
    return (m_syncValue->text() + QLatin1Char(' ') + m_syncUnit->text()).trimmed();
}

QString ConfigParamPanel::scanTimeText() const
{
    return (m_scanTime[0]->text() + QLatin1Char(' ') + m_scanTime[1]->text()).trimmed();
}

QString ConfigParamPanel::stepTimeText() const
{
    return (m_stepTime[0]->text() + QLatin1Char(' ') + m_stepTime[1]->text()).trimmed();
}

QString ConfigParamPanel::traceTimeText() const
{
    return (m_traceTime[0]->text() + QLatin1Char(' ') + m_traceTime[1]->text()).trimmed();
}

void ConfigParamPanel::refresh()
{
    readPositionLimits();
    applyPositionLimits();
    ConfigParam* c = record();
    if (!c) {
        updateEnables();
        return;
    }
    const ScanRunParam& d = c->dataScanRunParam;
    display(m_timeAveraged, !c->sync.bUseSyncScan);
    display(m_timeResolved, c->sync.bUseSyncScan);
    display(m_integrationTime, d.integrationTime);
    display(m_resolution, c->sync.resolution);
    display(m_acqStart, c->sync.start);
    {
        const QSignalBlocker block(m_acqEnd);
        m_acqEnd->setMinimum(m_acqStart->value());
        m_acqEnd->setValue(c->sync.duration);
    }
    display(m_wholePeriod, !(c->sync.duration > c->sync.start));
    display(m_integrateSample, c->sync.averaging);
    display(m_avgPerStep, clampInt(d.avgPerStep));
    display(m_traceAverage, clampInt(d.traceAverage));
    display(m_scansToRun, clampInt(c->dataScanRunScans));

    display(m_spatial, c->spat.bUseSpatScan);
    display(m_posStart, c->spat.start);
    display(m_posStep, c->spat.step);
    display(m_posEnd, c->spat.end);
    display(m_useRetract, c->spat.useRetract);
    display(m_posRetract, c->spat.retractPosition);
    display(m_timed, c->timed.bUseTimedScan);
    display(m_timeStart, c->timed.start);
    display(m_timeStep, c->timed.step);
    display(m_timeEnd, c->timed.end);
    display(m_ionMonitor, c->ic.bUseIcScan);
    display(m_icDuration, c->ic.duration);
    display(m_icVoltage, c->ic.voltage);

    display(m_optimizeVoltages, c->useSmartScan);
    display(m_voltStart, d.voltageStart);
    display(m_voltStep, d.voltageStep);
    display(m_voltEnd, d.voltageEnd);

    display(m_autoClean, c->clean.autoClean);
    display(m_cleanPeriod, c->clean.period);
    display(m_cleanVoltage, c->clean.voltage);
    display(m_cleanLevel, c->clean.power);
    display(m_cleanDuration, c->clean.duration);
    display(m_cleanRelax, c->clean.relaxTime);

    display(m_ionCurrentVoltage, c->ionCurrentScanRunParam.voltageStart);
    display(m_largeStep, c->initScanLargeVoltageStep);
    display(m_smallStep, c->initScanSmallVoltageStep);
    display(m_derivativeDrop, int(std::lround(c->initScanDerivativeDrop)));
    display(m_ionCurrentDrop, int(std::lround(c->initScanIonCurrentDrop)));
    display(m_derivativePoints, clampInt(c->initScanDerivativePoints));
    display(m_optimizeEepf, c->initScanOptimiseForEEDF);
    display(m_prescanIntegration, c->initScanRunParam.integrationTime);
    display(m_prescanAvg, clampInt(c->initScanRunParam.avgPerStep));
    display(m_disablePrescans, ConfigRules::prescansDisabled(*c));

    display(m_optimizeRange, c->useAutoCMRange);
    {
        const QSignalBlocker block(m_cmRange);
        m_cmRange->setCurrentIndex(int(std::min<quint32>(c->userChosenCMRange, quint32(m_cmRange->count() - 1))));
    }
    display(m_firstDelay, clampInt(d.firstStepDelay));
    display(m_nextDelay, clampInt(d.nextStepDelay));
    display(m_idleVoltage, c->voltageIdle);
    display(m_offsetCurrent, c->offsetCurrent * 1e6);
    display(m_throwTrace, clampInt(c->dataScanThrowScans));

    display(m_useTrigger, c->useExtTrigger);
    display(m_risingEdge, c->useExtTriggerRisingEdge);
    display(m_fallingEdge, !c->useExtTriggerRisingEdge);
    {
        const QSignalBlocker block(m_triggerDelay);
        m_triggerDelay->setText(QString::number(std::lround(c->extTriggerDelay)));
    }
    updateEnables();
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
    for (QWidget* w : m_advancedWidgets)
        w->setVisible(enabled);
    const int at = m_tabs->indexOf(m_prescanPage);
    if (enabled && at < 0)
        m_tabs->insertTab(4, m_prescanPage, QStringLiteral("Prescan"));
    else if (!enabled && at >= 0)
        m_tabs->removeTab(at);
    if (!enabled)
        m_prescanPage->hide();
    layout()->activate();
    resize(sizeHint());
}

void ConfigParamPanel::setRailLength(double length)
{
    if (!(length > 0))
        return;
    m_railLength = length;
    applyPositionLimits();
}

void ConfigParamPanel::useExternalTrigger(bool bChecked)
{
    ConfigParam* c = record();
    if (!c)
        return;
    const QString msg = ConfigRules::setExternalTrigger(*c, bChecked);
    display(m_useTrigger, c->useExtTrigger);
    if (!msg.isEmpty())
        say(msg);
    updateEnables();
}

// ---------------------------------------------------------------- helpers

void ConfigParamPanel::say(const QString& text)
{
    Prompter::information(this, QString(), text);
}

double ConfigParamPanel::adcFreq() const
{
    if (m_ctrl)
        if (const VeskbDescriptor* d = m_ctrl->getScannerDescriptor(); d && d->adcFreq > 0)
            return d->adcFreq;
    return kDefaultAdcFreq;
}

void ConfigParamPanel::updateEnables()
{
    ConfigParam* c = record();
    const bool on = m_enabled && c;
    for (QWidget* w : m_editable)
        w->setEnabled(on);
    m_triggerGroup->setEnabled(on && m_triggerAvailable);
    m_resync->setEnabled(m_enabled);
    if (!c)
        return;
    const bool sync = c->sync.bUseSyncScan;
    m_integrationTime->setEnabled(!sync);
    for (QWidget* w : {static_cast<QWidget*>(m_resolution), static_cast<QWidget*>(m_acqStart),
                       static_cast<QWidget*>(m_wholePeriod), static_cast<QWidget*>(m_integrateSample)})
        w->setEnabled(sync);
    m_acqEnd->setEnabled(sync && !m_wholePeriod->isChecked());
    for (QWidget* w : {m_posStart, m_posStep, m_posEnd})
        w->setEnabled(c->spat.bUseSpatScan);
    m_useRetract->setEnabled(c->spat.bUseSpatScan);
    m_posRetract->setEnabled(c->spat.bUseSpatScan && c->spat.useRetract);
    for (QWidget* w : {m_timeStart, m_timeStep, m_timeEnd})
        w->setEnabled(c->timed.bUseTimedScan);
    m_icDuration->setEnabled(c->ic.bUseIcScan);
    m_icVoltage->setEnabled(c->ic.bUseIcScan);
    const bool manualV = ConfigRules::voltagesEditable(*c);
    for (QWidget* w : {m_voltStart, m_voltStep, m_voltEnd})
        w->setEnabled(manualV);
    m_cmRange->setEnabled(ConfigRules::currentRangeEditable(*c));
    m_cleanPeriod->setEnabled(c->clean.autoClean);
    // What only the prescans use is greyed while they are disabled.
    const bool prescans = !ConfigRules::prescansDisabled(*c);
    for (QWidget* w : {static_cast<QWidget*>(m_ionCurrentVoltage), static_cast<QWidget*>(m_largeStep),
                       static_cast<QWidget*>(m_smallStep), static_cast<QWidget*>(m_derivativeDrop),
                       static_cast<QWidget*>(m_ionCurrentDrop), static_cast<QWidget*>(m_derivativePoints),
                       static_cast<QWidget*>(m_optimizeEepf), static_cast<QWidget*>(m_prescanIntegration),
                       static_cast<QWidget*>(m_prescanAvg)})
        w->setEnabled(prescans);
    m_fallingEdge->setEnabled(c->useExtTrigger);
    m_risingEdge->setEnabled(c->useExtTrigger);
    m_triggerDelay->setEnabled(c->useExtTrigger);
}

void ConfigParamPanel::readPositionLimits()
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

void ConfigParamPanel::applyPositionLimits()
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

void ConfigParamPanel::updateRailSize(double start, double end)
{
    // Start and end span at most the rail; the step never exceeds it either.
    Q_UNUSED(start);
    Q_UNUSED(end);
    applyPositionLimits();
}

bool ConfigParamPanel::framesAllowed(double start, double end, double resolution)
{
    if (ScanEstimate::frameCount(start, end, resolution) <= ScanEstimate::maxSyncFrames)
        return true;
    Prompter::warning(this, QStringLiteral("Too many frames in TR scan"),
                      QStringLiteral("Time resolved scans can't have more than 1024"));
    return false;
}

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
    const ScanEstimate::Display sync = ScanEstimate::syncDisplay(m_lastSync);
    m_syncValue->setText(sync.value);
    m_syncUnit->setText(sync.unit);
    ConfigParam* c = record();
    auto put = [](QLabel** pair, double seconds, bool valid) {
        const ScanEstimate::Display d = ScanEstimate::timeDisplay(seconds);
        pair[0]->setText(valid ? d.value : QStringLiteral("-"));
        pair[1]->setText(valid ? d.unit : QString());
    };
    const bool valid = c && m_times.scanTime > 0;
    put(m_scanTime, valid ? ScanEstimate::runSeconds(*c, m_times) : 0.0, valid);
    put(m_stepTime, m_times.pointTime, valid);
    put(m_traceTime, m_times.scanTime, valid);
}

void ConfigParamPanel::resync()
{
    emit resynchronize();
    estimateTimes();
}

// ---------------------------------------------------------------- acquisition

void ConfigParamPanel::setSyncMode()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const bool resolved = m_timeResolved->isChecked();
    if (resolved == c->sync.bUseSyncScan)
        return;
    const QString msg = ConfigRules::setSyncMode(*c, resolved);
    updateEnables();
    estimateTimes();
    if (!msg.isEmpty())
        Prompter::information(this, QString::fromLatin1(kTitle), msg);
}

void ConfigParamPanel::setIntegrationTime()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.integrationTime = m_integrationTime->value();
        estimateTimes();
    }
}

void ConfigParamPanel::setResolutionTime()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const double v = m_resolution->value();
    if (!framesAllowed(c->sync.start, c->sync.duration, v)) {
        display(m_resolution, c->sync.resolution);
        return;
    }
    c->sync.resolution = v;
    estimateTimes();
}

void ConfigParamPanel::setAcqTimeStart()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const double v = m_acqStart->value();
    // The end follows a start moved past it (end never below start).
    const double end = m_wholePeriod->isChecked() ? c->sync.duration : std::max(c->sync.duration, v);
    if (!framesAllowed(v, end, c->sync.resolution)) {
        display(m_acqStart, c->sync.start);
        return;
    }
    c->sync.start = v;
    c->sync.duration = end;
    {
        const QSignalBlocker block(m_acqEnd);
        m_acqEnd->setMinimum(v);
        m_acqEnd->setValue(end);
    }
    display(m_wholePeriod, !(c->sync.duration > c->sync.start));
    updateEnables();
    estimateTimes();
}

void ConfigParamPanel::setAcqTimeDuration()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const double v = std::max(m_acqEnd->value(), c->sync.start);
    if (!framesAllowed(c->sync.start, v, c->sync.resolution)) {
        display(m_acqEnd, std::max(c->sync.duration, c->sync.start));
        return;
    }
    c->sync.duration = v;
    display(m_wholePeriod, !(c->sync.duration > c->sync.start));
    updateEnables();
    estimateTimes();
}

void ConfigParamPanel::setWholePeriod(bool on)
{
    ConfigParam* c = record();
    if (!c)
        return;
    if (on) {
        c->sync.duration = 0;
        display(m_acqEnd, c->sync.start);
    } else {
        // A window of its own: at least one resolution step after the start.
        const double end = std::max(m_acqEnd->value(), c->sync.start + c->sync.resolution);
        if (!framesAllowed(c->sync.start, end, c->sync.resolution)) {
            display(m_wholePeriod, true);
            return;
        }
        c->sync.duration = end;
        display(m_acqEnd, end);
    }
    updateEnables();
    estimateTimes();
}

void ConfigParamPanel::setIntegrateSample()
{
    if (ConfigParam* c = record()) {
        c->sync.averaging = m_integrateSample->isChecked();
        estimateTimes();
    }
}

void ConfigParamPanel::setAvgPerStep()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.avgPerStep = quint32(m_avgPerStep->value());
        estimateTimes();
    }
}

void ConfigParamPanel::setAvgTrace()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.traceAverage = quint32(m_traceAverage->value());
        estimateTimes();
    }
}

void ConfigParamPanel::setScansToRun()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunScans = quint32(m_scansToRun->value());
        estimateTimes();
    }
}

// ---------------------------------------------------------------- multi scan

void ConfigParamPanel::setSpatMode()
{
    if (ConfigParam* c = record()) {
        c->spat.bUseSpatScan = m_spatial->isChecked();
        updateEnables();
        estimateTimes();
    }
}

void ConfigParamPanel::setPositionStart()
{
    if (ConfigParam* c = record()) {
        c->spat.start = m_posStart->value();
        updateRailSize(c->spat.start, c->spat.end);
        estimateTimes();
    }
}

void ConfigParamPanel::setPositionStep()
{
    if (ConfigParam* c = record()) {
        c->spat.step = m_posStep->value();
        estimateTimes();
    }
}

void ConfigParamPanel::setPositionStop()
{
    if (ConfigParam* c = record()) {
        c->spat.end = m_posEnd->value();
        updateRailSize(c->spat.start, c->spat.end);
        estimateTimes();
    }
}

void ConfigParamPanel::setUseRetract()
{
    if (ConfigParam* c = record()) {
        c->spat.useRetract = m_useRetract->isChecked();
        updateEnables();
    }
}

void ConfigParamPanel::setPositionRetract()
{
    if (ConfigParam* c = record())
        c->spat.retractPosition = m_posRetract->value();
}

void ConfigParamPanel::setTimedMode()
{
    if (ConfigParam* c = record()) {
        c->timed.bUseTimedScan = m_timed->isChecked();
        updateEnables();
        estimateTimes();
    }
}

void ConfigParamPanel::setTimeStart()
{
    if (ConfigParam* c = record())
        c->timed.start = m_timeStart->value();
}

void ConfigParamPanel::setTimeStop()
{
    if (ConfigParam* c = record())
        c->timed.end = m_timeEnd->value();
}

void ConfigParamPanel::setTimeStep()
{
    if (ConfigParam* c = record())
        c->timed.step = m_timeStep->value();
}

void ConfigParamPanel::setIonMonitorMode()
{
    if (ConfigParam* c = record()) {
        c->ic.bUseIcScan = m_ionMonitor->isChecked();
        updateEnables();
    }
}

void ConfigParamPanel::setIcDuration()
{
    if (ConfigParam* c = record())
        c->ic.duration = m_icDuration->value();
}

void ConfigParamPanel::setIcVoltage()
{
    if (ConfigParam* c = record())
        c->ic.voltage = m_icVoltage->value();
}

// ---------------------------------------------------------------- voltages

void ConfigParamPanel::setOptimizeScanVoltages()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const QString msg = ConfigRules::setOptimizeScanVoltages(*c, m_optimizeVoltages->isChecked());
    if (!msg.isEmpty()) {
        say(msg);
        display(m_disablePrescans, false);
    }
    updateEnables();
}

void ConfigParamPanel::setVoltageStart()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.voltageStart = m_voltStart->value();
        qDebug() << " Voltage Start set to " << c->dataScanRunParam.voltageStart;
        storeVoltages();
        estimateTimes();
    }
}

void ConfigParamPanel::setVoltageStep()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.voltageStep = m_voltStep->value();
        qDebug() << " Voltage Step set to " << c->dataScanRunParam.voltageStep;
        storeVoltages();
        estimateTimes();
    }
}

void ConfigParamPanel::setVoltageStop()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.voltageEnd = m_voltEnd->value();
        qDebug() << " Voltage End set to " << c->dataScanRunParam.voltageEnd;
        storeVoltages();
        estimateTimes();
    }
}

// ---------------------------------------------------------------- cleaning

void ConfigParamPanel::setCleaningAuto()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const QString msg = ConfigRules::setAutoClean(*c, m_autoClean->isChecked());
    display(m_useTrigger, c->useExtTrigger);
    updateEnables();
    if (!msg.isEmpty())
        say(msg);
}

void ConfigParamPanel::setCleanAutoPeriod()
{
    if (ConfigParam* c = record())
        c->clean.period = m_cleanPeriod->value();
}

void ConfigParamPanel::setCleaningVoltage()
{
    if (ConfigParam* c = record())
        c->clean.voltage = m_cleanVoltage->value();
}

void ConfigParamPanel::setCleaningLevel()
{
    if (ConfigParam* c = record())
        c->clean.power = m_cleanLevel->value();
}

void ConfigParamPanel::setCleaningTimeDuration()
{
    if (ConfigParam* c = record())
        c->clean.duration = m_cleanDuration->value();
}

void ConfigParamPanel::setCleaningTimeRelaxation()
{
    if (ConfigParam* c = record())
        c->clean.relaxTime = m_cleanRelax->value();
}

// ---------------------------------------------------------------- prescan

void ConfigParamPanel::setIonCurrentVoltage()
{
    if (ConfigParam* c = record())
        c->ionCurrentScanRunParam.voltageStart = m_ionCurrentVoltage->value();
}

void ConfigParamPanel::setLargeVoltageStep()
{
    if (ConfigParam* c = record())
        c->initScanLargeVoltageStep = m_largeStep->value();
}

void ConfigParamPanel::setSmallVoltageStep()
{
    if (ConfigParam* c = record())
        c->initScanSmallVoltageStep = m_smallStep->value();
}

void ConfigParamPanel::setDerivativeDrop()
{
    if (ConfigParam* c = record())
        c->initScanDerivativeDrop = m_derivativeDrop->value();
}

void ConfigParamPanel::setIonCurrentDrop()
{
    if (ConfigParam* c = record())
        c->initScanIonCurrentDrop = m_ionCurrentDrop->value();
}

void ConfigParamPanel::setDerivativePoints()
{
    if (ConfigParam* c = record())
        c->initScanDerivativePoints = quint32(m_derivativePoints->value());
}

void ConfigParamPanel::setOptimizeForEEDF()
{
    if (ConfigParam* c = record())
        c->initScanOptimiseForEEDF = m_optimizeEepf->isChecked();
}

void ConfigParamPanel::setPrescanIntegrationTime()
{
    if (ConfigParam* c = record())
        c->initScanRunParam.integrationTime = m_prescanIntegration->value();
}

void ConfigParamPanel::setPrescanAvgPerStep()
{
    if (ConfigParam* c = record())
        c->initScanRunParam.avgPerStep = quint32(m_prescanAvg->value());
}

void ConfigParamPanel::disablePrescans(bool on)
{
    ConfigParam* c = record();
    if (!c)
        return;
    const QString msg = ConfigRules::setPrescansDisabled(*c, on);
    display(m_disablePrescans, ConfigRules::prescansDisabled(*c));
    updateEnables();
    if (!msg.isEmpty())
        say(msg);
}

// ---------------------------------------------------------------- advanced

void ConfigParamPanel::setOptimizeCMRange()
{
    ConfigParam* c = record();
    if (!c)
        return;
    const QString msg = ConfigRules::setOptimizeCurrentRange(*c, m_optimizeRange->isChecked());
    if (!msg.isEmpty()) {
        say(msg);
        display(m_disablePrescans, false);
    }
    updateEnables();
}

void ConfigParamPanel::setScanCMRange()
{
    if (ConfigParam* c = record(); c && m_cmRange->currentIndex() >= 0)
        c->userChosenCMRange = quint32(m_cmRange->currentIndex());
}

void ConfigParamPanel::setFirstStepDelay()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.firstStepDelay = quint32(m_firstDelay->value());
        estimateTimes();
    }
}

void ConfigParamPanel::setNextStepDelay()
{
    if (ConfigParam* c = record()) {
        c->dataScanRunParam.nextStepDelay = quint32(m_nextDelay->value());
        estimateTimes();
    }
}

void ConfigParamPanel::setIdleVoltage()
{
    if (ConfigParam* c = record()) {
        c->voltageIdle = m_idleVoltage->value();
        emit idleVoltageChanged();
    }
}

void ConfigParamPanel::setCurrentOffset()
{
    if (ConfigParam* c = record())
        c->offsetCurrent = m_offsetCurrent->value() * 1e-6;
}

void ConfigParamPanel::setThrowTrace()
{
    if (ConfigParam* c = record()) {
        c->dataScanThrowScans = quint32(m_throwTrace->value());
        emit throwTraceChanged();
        estimateTimes();
    }
}

// ---------------------------------------------------------------- trigger

void ConfigParamPanel::useTriggerRisingEdge(bool bChecked)
{
    if (ConfigParam* c = record())
        c->useExtTriggerRisingEdge = bChecked;
}

void ConfigParamPanel::updateTriggerDelay(QString text)
{
    ConfigParam* c = record();
    if (!c)
        return;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (ok && v >= 0 && v <= 65535)
        c->extTriggerDelay = std::round(v);
    const QSignalBlocker block(m_triggerDelay);
    m_triggerDelay->setText(QString::number(std::lround(c->extTriggerDelay)));
}
