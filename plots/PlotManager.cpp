#include "PlotManager.h"

#include "AppImages.h"
#include "AppState.h"
#include "AnalysisOverlay.h"
#include "AppText.h"
#include "CursorPair.h"
#include "CursorPicker.h"
#include "DataAnalyzer.h"
#include "EEDF_Dialog.h"
#include "FigureText.h"
#include "FitRestorer.h"
#include "ResultsGrid.h"
#include "RunRedraw.h"
#include "MapPlot.h"
#include "TraceChooser.h"
#include "TraceOverlay.h"
#include "ViewControls.h"
#include "FrameNavigator.h"
#include "GraphExport.h"
#include "GraphForm.h"
#include "LangmuirSettingsWidget.h"
#include "OptInResults.h"
#include "PlotErrorBarCurve.h"
#include "Prompter.h"
#include "ResultRecord.h"
#include "SaveFile.h"
#include "SessionExport.h"
#include "SessionFile.h"
#include "ThreeTracePlotter.h"

#include <qwt_scale_engine.h>
#include <utility>
#include <qwt_symbol.h>
#include <QDir>
#include <QApplication>
#include <QClipboard>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

static_assert(PlotManager::eViewCount == ViewControls::kViews, "a view box per view");

namespace {
const char* const kTitle = "Quendrix Langmuir";
// A trend's value axis spans at least +-1 % of the value.
constexpr double kTrendMinimumSpan = 0.01;

const char* const kCurveTitles[PlotManager::eCurveCount] = {
    "Prescan IV", "Prescan dI/dV", "Prescan d2I/dV2", "Time Resolve", "Scan1 IV",
    "Compensated IV", "Scan1 dI/dV", "Scan1 d2I/dV2", "Scan2 EEPF/E"};

} // namespace

PlotManager::PlotManager(QWidget* parent, bool advanced)
    : QWidget(parent), m_data(new DataAnalyzer(this)), m_advanced(advanced)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    QSettings store;
    m_singleSettings.readSettings(store, QStringLiteral("Settings"));
    m_doubleSettings.readSettings(store, QStringLiteral("DoubleProbeSettings"));
    m_data->setAnalysisSettings(m_singleSettings);

    // A new session takes the table beside the working folder, else the built-in one.
    EepfTable table;
    if (!table.readFile(QStringLiteral("eedf.txt")).isEmpty())
        table = EepfTable::defaultTable();
    m_data->setEepfTable(table);

    connect(m_data, &DataAnalyzer::updateProbeConfig, this, &PlotManager::updateDoubleProbeConfig);
    m_run = new RunRedraw(m_data, this);
    connect(m_run, &RunRedraw::redraw, this, [this] {
        // Follow the run to the record it fills, unless the user looks elsewhere.
        if (m_run->isActive())
            showNewest();
        if (m_run->analysisUs() >= 0)
            m_processTimeUs = m_run->analysisUs();
        refreshAll();
    });
    m_fitRestorer = new FitRestorer(m_data, this);
    connect(m_fitRestorer, &FitRestorer::restored, this, &PlotManager::updateGraph);
    m_updating = true; // no drawing before every widget exists
    buildUi();
    m_updating = false;
    setWindowIcon(AppImages::dataFileIcon());
    readScanSettings();
    refreshAll();
}

PlotManager::~PlotManager()
{
    // A session read from a file works with the file's settings; they do not
    // become the user's stored defaults.
    QSettings store;
    if (!m_settingsFromFile) {
        m_singleSettings.writeSettings(store, QStringLiteral("Settings"));
        m_doubleSettings.writeSettings(store, QStringLiteral("DoubleProbeSettings"));
    }
    // The last session closed leaves its scan configuration for the next start.
    m_data->configs().writeSettings(store);
    delete m_scaleForm;
    delete m_settingsWidget;
}

// ---------------------------------------------------------------- layout

void PlotManager::buildUi()
{
    m_overlay = std::make_unique<AnalysisOverlay>();
    m_traces = std::make_unique<TraceOverlay>();
    m_plot[0] = new ThreeTracePlotter(QStringLiteral("Plot 1"), this);
    m_plot[1] = new ThreeTracePlotter(QStringLiteral("Probe Current's 1st Derivative vs Probe Voltage"), this);
    m_plot[2] = new ThreeTracePlotter(QStringLiteral("Probe Current's 2nd Derivative vs Probe Voltage"), this);
    QStringList titles;
    for (const char* t : kCurveTitles)
        titles << QString::fromLatin1(t);
    m_curves = std::make_unique<CurveSet>(titles);
    // Cursor readout on every graph, in the curves' own names and units.
    struct CurveNames {
        CurveId id;
        const char *x, *xUnit, *y, *yUnit;
    };
    static const CurveNames names[] = {
        {ePrescanIV, "U", "V", "I", "A"},       {eScan1IV, "U", "V", "I", "A"},
        {eCompensatedIV, "U", "V", "I", "A"},   {ePrescanD1, "U", "V", "dI/dU", "A/V"},
        {eScan1D1, "U", "V", "dI/dU", "A/V"},   {ePrescanD2, "U", "V", "d²I/dU²", "A/V²"},
        {eScan1D2, "U", "V", "d²I/dU²", "A/V²"},
        {eScan2Eepf, "E", "eV", "EEPF", "m^-3 eV^-3/2"}};
    for (int i = 0; i < 3; ++i) {
        m_cursor[i] = new CursorPicker(m_plot[i]->canvas());
        for (const CurveNames& n : names)
            m_cursor[i]->describe(m_curves->curve(n.id), QString::fromUtf8(n.x), QString::fromUtf8(n.xUnit),
                                  QString::fromUtf8(n.y), QString::fromUtf8(n.yUnit));
        connect(m_cursor[i], &CursorPicker::readout, this, &PlotManager::cursorReadout);
        m_pair[i] = new CursorPair(m_plot[i], m_cursor[i]);
        connect(m_pair[i], &CursorPair::readoutChanged, this, &PlotManager::cursorReadout);
    }
    for (ThreeTracePlotter* p : m_plot)
        connect(p, &ThreeTracePlotter::contextMenuRequested, this, &PlotManager::showGraphMenu);
    connect(m_plot[0], &ThreeTracePlotter::leftAxisDoubleClick, this, &PlotManager::plot1Scale);
    connect(m_plot[1], &ThreeTracePlotter::leftAxisDoubleClick, this, &PlotManager::plot2Scale);
    connect(m_plot[2], &ThreeTracePlotter::leftAxisDoubleClick, this, &PlotManager::plot3Scale);
    for (int i = 0; i < 3; ++i)
        connect(m_plot[i], &ThreeTracePlotter::bottomAxisDoubleClick, this,
                [this, i] { openScaleForm(i, QwtPlot::xBottom); });

    auto* graphs = new QSplitter(Qt::Vertical);
    for (auto* p : m_plot)
        graphs->addWidget(p);
    m_graphs = graphs;
    // The map takes the graphs' place.
    m_map = new MapPlot;
    m_map->hide();
    auto* graphArea = new QWidget;
    auto* areaLay = new QVBoxLayout(graphArea);
    areaLay->setContentsMargins(0, 0, 0, 0);
    areaLay->addWidget(graphs);
    areaLay->addWidget(m_map);
    connect(m_map, &MapPlot::readout, this, &PlotManager::cursorReadout);
    connect(m_map, &ThreeTracePlotter::contextMenuRequested, this, &PlotManager::showGraphMenu);

    // Two columns, the results and the controls, so that a 1366 x 768 screen
    // shows both whole.
    auto* side = new QWidget;
    auto* sideLay = new QHBoxLayout(side);
    sideLay->setContentsMargins(2, 2, 2, 2);
    auto* resultsColumn = new QVBoxLayout;
    resultsColumn->addWidget(buildResultsGrid());
    m_optIn = new OptInResults;
    resultsColumn->addWidget(m_optIn);
    resultsColumn->addStretch(1);
    auto* controlsColumn = new QVBoxLayout;
    controlsColumn->addWidget(buildControls());
    controlsColumn->addStretch(1);
    sideLay->addLayout(resultsColumn);
    sideLay->addLayout(controlsColumn);
    auto* scroll = new QScrollArea;
    scroll->setWidget(side);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(side->sizeHint().width() + 20);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(graphArea, 1);
    lay->addWidget(scroll, 0);
    setTracePens();
}

QWidget* PlotManager::buildResultsGrid()
{
    m_grid = new ResultsGrid;
    m_resultsGrid = m_grid;
    connect(m_grid, &ResultsGrid::copyRequested, this, &PlotManager::copyResults);
    typedef void (PlotManager::*Slot)();
    static const Slot trendSlots[14] = {
        &PlotManager::displayTimeResolveVp,     &PlotManager::displayTimeResolveVf,
        &PlotManager::displayTimeResolvekTe,    &PlotManager::displayTimeResolveJe,
        &PlotManager::displayTimeResolveNe,     &PlotManager::displayTimeResolveJp,
        &PlotManager::displayTimeResolveNi,     &PlotManager::displayTimeResolveLdebye,
        &PlotManager::displayTimeResolveNe2,    &PlotManager::displayTimeResolveE,
        &PlotManager::displayTimeResolvekTe2,   &PlotManager::displayTimeResolveIsat,
        &PlotManager::displayTimeResolveMachNumber, &PlotManager::displayTimeResolveVdrift};
    for (int q = 0; q < 14; ++q)
        connect(m_grid->trendButton(q), &QRadioButton::clicked, this, trendSlots[q]);
    m_groupNav = m_grid->groupNavigator();
    m_traceNav = m_grid->traceNavigator();
    m_frameSlider = m_traceNav->slider();
    m_positionSlider = m_groupNav->slider();
    connect(m_traceNav, &FrameNavigator::valueChanged, this, &PlotManager::setTimeValue);
    connect(m_groupNav, &FrameNavigator::valueChanged, this, &PlotManager::positionChanged);
    // Only a user's move stops the run's following.
    for (FrameNavigator* n : {m_traceNav, m_groupNav})
        connect(n, &FrameNavigator::userMoved, m_run, &RunRedraw::userMoved);
    return m_grid;
}

QWidget* PlotManager::buildControls()
{
    auto* w = new QWidget;
    auto* lay = new QVBoxLayout(w);
    lay->setContentsMargins(0, 0, 0, 0);

    m_alertButton = new QPushButton(AppImages::warningIcon(), QString());
    m_alertButton->setFlat(true);
    m_alertButton->setToolTip(QStringLiteral("Analysis alert. Click for more details."));
    m_alertButton->setVisible(false);
    m_warnings = new QLabel(QStringLiteral("No warnings to display..."));
    m_warnings->setWordWrap(true);
    auto* warnRow = new QHBoxLayout;
    warnRow->addWidget(m_alertButton);
    warnRow->addWidget(m_warnings, 1);
    lay->addLayout(warnRow);
    connect(m_alertButton, &QPushButton::clicked, this, [this] {
        Prompter::information(this, QString::fromLatin1(kTitle), m_warnings->text());
    });

    auto* frameBox = new ViewControls;
    for (int v = 0; v < eViewCount; ++v)
        m_viewBox[v] = frameBox->viewBox(v);
    for (int i = 0; i < 3; ++i)
        m_quantityBox[i] = frameBox->quantityBox(i);
    m_overlap = frameBox->overlap();
    m_logScale = frameBox->logScale();
    m_errorBars = frameBox->errorBars();
    m_dataPoints = frameBox->dataPoints();
    m_showAnalysis = frameBox->showAnalysis();
    connect(frameBox, &ViewControls::changed, this, [this] {
        if (!m_updating)
            updateGraph();
    });
    connect(frameBox, &ViewControls::styleChanged, this, [this] {
        if (!m_updating) {
            setTracePens();
            updateGraph();
        }
    });
    connect(frameBox, &ViewControls::overlayRequested, this, &PlotManager::showTraceChooser);
    lay->addWidget(frameBox);

    m_graphControls = new QGroupBox(QStringLiteral("Graph Controls"));
    auto* gl = new QGridLayout(m_graphControls);
    m_startCrop = new QSpinBox;
    m_startCrop->setRange(0, 500);
    m_endCrop = new QSpinBox;
    m_endCrop->setRange(0, 500);
    m_startCrop->setObjectName(QStringLiteral("startCrop"));
    m_endCrop->setObjectName(QStringLiteral("endCrop"));
    gl->addWidget(new QLabel(QStringLiteral("Start Crop")), 0, 0);
    gl->addWidget(m_startCrop, 0, 1);
    gl->addWidget(new QLabel(QStringLiteral("End Crop")), 1, 0);
    gl->addWidget(m_endCrop, 1, 1);
    connect(m_startCrop, QOverload<int>::of(&QSpinBox::valueChanged), this, &PlotManager::setCrop);
    connect(m_endCrop, QOverload<int>::of(&QSpinBox::valueChanged), this, &PlotManager::setCrop);
    m_reanalyse = new QPushButton(QStringLiteral("Reanalyse"));
    connect(m_reanalyse, &QPushButton::clicked, this, &PlotManager::reanalyse);
    m_eepfTable = new QToolButton;
    m_eepfTable->setText(QStringLiteral("EEPF Table"));
    m_eepfTable->setPopupMode(QToolButton::MenuButtonPopup);
    auto* menu = new QMenu(m_eepfTable);
    menu->addAction(QStringLiteral("Edit EEPF Table saved with data..."), this, [this] { showEEDFTable(true); });
    menu->addAction(QStringLiteral("Edit Default EEPF Table..."), this, &PlotManager::editDefaultEepfTable);
    m_eepfTable->setMenu(menu);
    connect(m_eepfTable, &QToolButton::clicked, this, &PlotManager::showEEDFTable);
    m_settingsButton = new QPushButton(QStringLiteral("Settings"));
    m_configButton = new QPushButton(QStringLiteral("Config"));
    connect(m_settingsButton, &QPushButton::clicked, this, &PlotManager::showSettings);
    connect(m_configButton, &QPushButton::clicked, this, &PlotManager::showConfig);
    gl->addWidget(m_reanalyse, 2, 0);
    gl->addWidget(m_eepfTable, 2, 1);
    gl->addWidget(m_settingsButton, 3, 0);
    gl->addWidget(m_configButton, 3, 1);
    m_frameTime = new QLabel(QStringLiteral("---"));
    m_processTime = new QLabel(QStringLiteral("---"));
    // Clock readings: they differ from one run to the next.
    m_frameTime->setObjectName(QStringLiteral("frameTime"));
    m_processTime->setObjectName(QStringLiteral("processTime"));
    m_syncLabel = new QLabel(QStringLiteral("---"));
    gl->addWidget(new QLabel(QStringLiteral("Frame Time")), 4, 0);
    gl->addWidget(m_frameTime, 4, 1);
    gl->addWidget(new QLabel(QStringLiteral("Process Time")), 5, 0);
    gl->addWidget(m_processTime, 5, 1);
    gl->addWidget(new QLabel(QStringLiteral("Fsync")), 6, 0);
    gl->addWidget(m_syncLabel, 6, 1);
    gl->addWidget(new QLabel(QStringLiteral("Axis range: double click the axis")), 7, 0, 1, 2);
    lay->addWidget(m_graphControls);
    m_frameControls = frameBox;
    return w;
}

void PlotManager::setTracePens()
{
    static const QColor colours[eCurveCount] = {
        QColor(120, 120, 120), QColor(0, 110, 200), QColor(160, 0, 160), QColor(200, 30, 30),
        QColor(150, 150, 150), QColor(200, 30, 30), QColor(0, 110, 200), QColor(160, 0, 160),
        QColor(0, 140, 60)};
    const bool points = m_dataPoints && m_dataPoints->isChecked();
    const bool bars = m_errorBars && m_errorBars->isChecked();
    for (int i = 0; i < eCurveCount; ++i) {
        const bool trend = i == eTimeResolve || i == eScan2Eepf;
        m_curves->setStyle(i, colours[i], trend ? 1.5 : 1.2, points || trend,
                           bars && (i == eCompensatedIV || trend));
    }
}

// ---------------------------------------------------------------- state

void PlotManager::setModified(bool m)
{
    const bool changed = m != m_modified || m != isWindowModified();
    m_modified = m;
    setWindowModified(m);
    if (changed)
        emit titleChanged();
}

void PlotManager::setSessionTitle(const QString& title)
{
    setWindowTitle(title + QStringLiteral("[*]"));
    emit titleChanged();
}

QString PlotManager::sessionTitle() const
{
    QString t = windowTitle();
    return t.remove(QStringLiteral("[*]"));
}

void PlotManager::setLive(bool live)
{
    m_live = live;
    setWindowIcon(live ? AppImages::connectIcon() : AppImages::dataFileIcon());
}

SessionConfig& PlotManager::configs()
{
    return m_data->configs();
}

void PlotManager::seedConfigs(const SingleProbeConfigParam& single, const DoubleProbeConfigParam& dbl)
{
    m_data->configs().seed(single, dbl);
    readScanSettings();
}

ConfigParam& PlotManager::activeConfig()
{
    return m_data->configs().active();
}

void PlotManager::setSwProbeMode(int mode)
{
    m_data->configs().setProbeMode(mode);
    m_data->setAnalysisSettings(activeSettings());
    if (m_settingsWidget)
        m_settingsWidget->load(activeSettings());
}

int PlotManager::swProbeMode() const
{
    return m_data->configuration().probeMode;
}

bool PlotManager::isDoubleProbeSession() const
{
    return m_data->configs().isDoubleProbe();
}

void PlotManager::setDeviceID(const QString& id)
{
    m_data->setDeviceID(id);
}

void PlotManager::setSyncFreq(double f)
{
    int spinner = 1;
    QString t = AppText::syncText(f, spinner);
    t.remove(QStringLiteral("<font color=white>"));
    m_syncLabel->setText(t.trimmed());
}

LangmuirSettings& PlotManager::activeSettings()
{
    return isDoubleProbeSession() ? m_doubleSettings : m_singleSettings;
}

void PlotManager::applySettingsToSession()
{
    m_data->setAnalysisSettings(activeSettings());
}

void PlotManager::readScanSettings()
{
    const ConfigParam& c = m_data->configuration();
    m_voltageStart = c.dataScanRunParam.voltageStart;
    m_voltageEnd = c.dataScanRunParam.voltageEnd;
    if (!(m_voltageEnd > m_voltageStart) || !std::isfinite(m_voltageStart) || !std::isfinite(m_voltageEnd)) {
        m_voltageStart = -50.0;
        m_voltageEnd = 50.0;
    }
}

void PlotManager::hideToolWindows()
{
    if (m_settingsWidget)
        m_settingsWidget->hide();
    if (m_scaleForm)
        m_scaleForm->hide();
    if (m_configPanel)
        m_configPanel->hide();
    if (m_traceChooser)
        m_traceChooser->hide();
}

// ---------------------------------------------------------------- data in

void PlotManager::addScan(const ScanRecord& scan, bool analyse)
{
    QVector<int> before;
    for (int g = 0; g < m_data->groupCount(); ++g)
        before.append(m_data->scansOfGroup(g).size());
    m_data->addScan(scan);
    if (analyse) {
        // The new scan is the last of the one group that grew.
        for (int g = 0; g < m_data->groupCount(); ++g) {
            const int n = m_data->scansOfGroup(g).size();
            if (n > (g < before.size() ? before[g] : 0)) {
                QElapsedTimer t;
                t.start();
                m_data->analyseScan(g, n - 1);
                m_processTimeUs = t.nsecsElapsed() / 1000.0;
                break;
            }
        }
    }
    setModified(true);
    refreshAll();
}

void PlotManager::beginRun()
{
    m_run->begin();
    setAccessibleName(QStringLiteral("currently Connected"));
}

void PlotManager::useImportSettings(bool noiseRobust)
{
    m_settingsFromFile = true;
    activeSettings().noiseRobust = noiseRobust;
    applySettingsToSession();
}

bool PlotManager::isRunActive() const
{
    return m_run->isActive();
}

void PlotManager::endRun()
{
    m_run->end();
    if (m_run->analysisUs() >= 0)
        m_processTimeUs = m_run->analysisUs();
    showNewest();
    refreshAll();
}

void PlotManager::showNewest()
{
    int group = 0, index = 0;
    if (!m_run->follow(&group, &index))
        return;
    // Silently: the caller redraws once.
    m_updating = true;
    m_groupNav->setCount(m_data->groupCount());
    m_groupNav->setValue(group);
    m_traceNav->setCount(m_data->scansOfGroup(group).size());
    m_traceNav->setValue(index);
    m_updating = false;
}

void PlotManager::scanFiled(int group, int index)
{
    setModified(true);
    m_run->filed(group, index);
}

void PlotManager::scanChanged(int group, int index)
{
    setModified(true);
    m_run->changed(group, index);
}

void PlotManager::refreshAll()
{
    m_updating = true;
    m_groupNav->setCount(m_data->groupCount());
    m_traceNav->setCount(m_data->scansOfGroup(m_groupNav->value()).size());
    const LangmuirSettings& s = m_data->analysisSettings();
    m_startCrop->setValue(s.startCrop);
    m_endCrop->setValue(s.endCrop);
    m_updating = false;
    readScanSettings();
    setTimeValue(m_frameSlider->value());
}

int PlotManager::groupIndex() const
{
    return m_positionSlider->value();
}

int PlotManager::traceIndex() const
{
    return m_frameSlider->value();
}

void PlotManager::setGroupIndex(int g)
{
    m_positionSlider->setValue(g);
}

const ScanRecord* PlotManager::currentScan() const
{
    const QVector<ScanRecord>& scans = m_data->scansOfGroup(groupIndex());
    const int t = traceIndex();
    if (t < 0 || t >= scans.size())
        return nullptr;
    return &scans.at(t);
}

void PlotManager::positionChanged(int)
{
    if (m_updating)
        return;
    const int scans = m_data->scansOfGroup(groupIndex()).size();
    m_updating = true;
    m_traceNav->setCount(scans);
    m_updating = false;
    setTimeValue(m_frameSlider->value());
}

void PlotManager::setTimeValue(int value)
{
    if (m_updating)
        return;
    const int scans = m_data->scansOfGroup(groupIndex()).size();
    const int last = std::max(0, scans - 1);
    if (value > last || value < 0) {
        value = std::max(0, std::min(value, last));
        m_updating = true;
        m_frameSlider->setValue(value);
        m_updating = false;
    }
    m_grid->setTraceNumber(value);
    const ScanRecord* scan = currentScan();
    const QVector<ScanRecord>& frame = m_data->scansOfGroup(groupIndex());
    const ScanGroup* group = m_data->group(groupIndex());
    m_grid->setPlace(PlotData::positionText(frame, value, group), PlotData::timeText(frame, value, group));
    m_frameTime->setText(scan && scan->date.isValid() ? scan->date.toString(QStringLiteral("hh:mm:ss"))
                                                       : QStringLiteral("---"));
    m_processTime->setText(m_processTimeUs >= 0 ? AppText::processTimeText(m_processTimeUs)
                                                : QStringLiteral("---"));
    showResults();
    updateGraph();
    showWarnings();
}

void PlotManager::showResults()
{
    const ScanRecord* scan = currentScan();
    m_grid->showRecord(scan ? &scan->result : nullptr);
    m_optIn->showRecord(scan ? &scan->result : nullptr);
}

void PlotManager::showWarnings()
{
    const ScanRecord* scan = currentScan();
    QString text;
    if (!scan)
        text = QStringLiteral("No warnings to display...");
    else if (scan->corrected.isEmpty() && scan->error.isEmpty())
        text = QStringLiteral("Analysis for this time frame has not run yet.");
    else if (scan->error.trimmed().isEmpty())
        text = QStringLiteral("No warnings to display...");
    else
        text = scan->error;
    m_warnings->setText(text);
    showAlert(scan && !scan->error.trimmed().isEmpty());
}

void PlotManager::showAlert(bool on)
{
    m_alertButton->setVisible(on);
}

QString PlotManager::valueText(int quantity) const
{
    return m_grid->valueText(quantity);
}

QString PlotManager::errorText(int quantity) const
{
    return m_grid->errorText(quantity);
}

QString PlotManager::warningsText() const
{
    return m_warnings->text();
}

QString PlotManager::positionText() const
{
    return m_grid->positionText();
}

QString PlotManager::timeText() const
{
    return m_grid->timeText();
}

QRadioButton* PlotManager::trendButton(int quantity) const
{
    return m_grid->trendButton(quantity);
}

// ---------------------------------------------------------------- drawing

AxisRange::Range PlotManager::yRangeOf(const ThreeTracePlotter* p) const
{
    AxisRange::Range r = m_curves->yRange(p, p->isLogScale());
    const AxisRange::Range traces = m_traces->yRange(p, p->isLogScale());
    if (traces.hasData)
        r = r.hasData ? AxisRange::Range{std::min(r.low, traces.low), std::max(r.high, traces.high), true} : traces;
    return r;
}

void PlotManager::showTraceChooser()
{
    if (!m_traceChooser) {
        m_traceChooser = new TraceChooser(this);
        connect(m_traceChooser, &TraceChooser::chosenChanged, this, [this](const QVector<TraceOverlay::Key>& k) {
            m_traces->setChosen(k);
            if (view() != eViewScan)
                setView(eViewScan);
            else
                updateGraph();
        });
    }
    m_traceChooser->fill(*m_data, m_traces->chosen());
    m_traceChooser->show();
    m_traceChooser->raise();
}

std::pair<double, double> PlotManager::ivXRange() const
{
    // The voltages drawn, the same on every graph so that they line up; the
    // scan's configured range only while nothing is drawn.
    const AxisRange::Range x = m_curves->xRange({m_plot[0], m_plot[1], m_plot[2]});
    return x.hasData ? std::make_pair(x.low, x.high) : std::make_pair(m_voltageStart, m_voltageEnd);
}

void PlotManager::applyRanges(ThreeTracePlotter* p, double xLow, double xHigh, const AxisRange::Range& y)
{
    if (!(xLow < xHigh) || !std::isfinite(xLow) || !std::isfinite(xHigh)) {
        const AxisRange::Range x = AxisRange::of(std::vector<AxisRange::Values>{{&xLow, 1}, {&xHigh, 1}}, false);
        xLow = x.low;
        xHigh = x.high;
    }
    p->setRanges(xLow, xHigh, y.low, y.high);
    p->showNoData(!y.hasData);
}

PlotManager::View PlotManager::view() const
{
    for (int v = 0; v < eViewCount; ++v)
        if (m_viewBox[v]->isChecked())
            return View(v);
    return m_lastView;
}

void PlotManager::setView(View v)
{
    m_viewBox[v]->setChecked(true);
}

void PlotManager::controlGraph(bool)
{
    updateGraph();
}

void PlotManager::controlGraph()
{
    updateGraph();
}

void PlotManager::showFrameControls2(bool on)
{
    m_traceNav->setVisible(on);
    m_groupNav->setVisible(on);
}

void PlotManager::showGraphControls(bool on)
{
    m_graphControls->setVisible(on);
}

void PlotManager::hideGraphControls(bool on)
{
    m_graphControls->setVisible(!on);
}

void PlotManager::updateGraph()
{
    if (m_updating)
        return;
    m_updating = true;
    bool anyView = false;
    for (auto* b : m_viewBox)
        anyView = anyView || b->isChecked();
    if (!anyView)
        m_viewBox[0]->setChecked(true);
    if (!m_quantityBox[0]->isChecked() && !m_quantityBox[1]->isChecked() && !m_quantityBox[2]->isChecked())
        m_quantityBox[0]->setChecked(true);
    m_updating = false;

    m_curves->detachAll();
    m_overlay->detach();
    m_traces->detach();
    m_plot[0]->setNoDataText(QStringLiteral("no data"));
    // IV curves rise to the right, an EEPF falls: the legend goes where they leave room.
    m_plot[0]->setLegendAlignment(Qt::AlignTop | (view() == eViewEepf ? Qt::AlignRight : Qt::AlignLeft));
    const View v = view();
    if (v != m_lastView) // pinned cursors belong to the view they were pinned in
        for (CursorPair* c : m_pair)
            c->clear();
    m_lastView = v;
    for (CursorPair* c : m_pair)
        c->setEFolding(false);
    switch (v) {
    case eViewPrescan: drawIvView(true); break;
    case eViewScan: drawIvView(false); break;
    case eViewEepf: drawEepfView(); break;
    case eViewTimeResolve: drawTrendView(true); break;
    case eViewTrends: drawTrendView(false); break;
    case eViewMap: drawMapView(); break;
    default: drawNoView(); break;
    }
    m_graphs->setVisible(v != eViewMap);
    m_map->setVisible(v == eViewMap);
    for (auto* p : m_plot) {
        p->updateLegend();
        if (p->isVisible() || !isVisible())
            p->replot();
    }
}

void PlotManager::drawIvView(bool prescan)
{
    const ScanRecord* scan = currentScan();
    const int k = std::max(1, m_data->analysisSettings().nDerivativePoints);
    const CurveId iv = prescan ? ePrescanIV : eCompensatedIV;
    const CurveId d1 = prescan ? ePrescanD1 : eScan1D1;
    const CurveId d2 = prescan ? ePrescanD2 : eScan1D2;
    const bool log = !m_overlap->isChecked() && m_logScale->isChecked();
    if (scan) {
        if (prescan) {
            PlotData::Series s, s1, s2;
            for (const IvPoint& p : scan->initScan.points) {
                s.x.append(p.voltage);
                s.y.append(p.current);
            }
            for (const IvPoint& p : scan->initScanDerivative.points) {
                s1.x.append(p.voltage);
                s1.y.append(p.current);
            }
            const TimedTrace second = curve::derivative(scan->initScanDerivative, k);
            for (const IvPoint& p : second.points) {
                s2.x.append(p.voltage);
                s2.y.append(p.current);
            }
            m_curves->feed(ePrescanIV, s, nullptr, nullptr, log);
            m_curves->feed(ePrescanD1, s1);
            m_curves->feed(ePrescanD2, s2);
        } else {
            PlotData::Series raw = PlotData::meanRawSweep(*scan);
            m_curves->feed(eScan1IV, raw, nullptr, nullptr, log);
            PlotData::Series c;
            c.x = scan->corrected.V;
            c.y = scan->corrected.I;
            if (c.x.size() != c.y.size())
                c = PlotData::Series();
            m_curves->feed(eCompensatedIV, c, &scan->corrected.stdI, nullptr, log);
            PlotData::Series s1, s2;
            PlotData::correctedDerivatives(*scan, k, s1, s2);
            m_curves->feed(eScan1D1, s1);
            m_curves->feed(eScan1D2, s2);
        }
    } else {
        for (CurveId id : {ePrescanIV, ePrescanD1, ePrescanD2, eScan1IV, eCompensatedIV, eScan1D1, eScan1D2})
            m_curves->clear(id);
    }

    const bool cur = m_quantityBox[0]->isChecked();
    const bool der1 = m_quantityBox[1]->isChecked();
    const bool der2 = m_quantityBox[2]->isChecked();
    ThreeTracePlotter* p0 = m_plot[0];
    p0->setTitle(scan && !scan->sourceName.isEmpty()
                     ? QStringLiteral("Probe Current vs Probe Voltage: %1").arg(scan->sourceName.toHtmlEscaped())
                     : QStringLiteral("Probe Current vs Probe Voltage"));
    p0->setAxisTitle(QwtPlot::xBottom, QStringLiteral("U [V]"));
    p0->setAxisTitle(QwtPlot::yLeft, QStringLiteral("I [A]"));
    for (int i = 1; i < 3; ++i)
        m_plot[i]->setAxisTitle(QwtPlot::xBottom, QStringLiteral("U [V]"));
    m_plot[1]->setAxisTitle(QwtPlot::yLeft, QStringLiteral("dI/dU [A/V]"));
    m_plot[2]->setAxisTitle(QwtPlot::yLeft, QStringLiteral("d<sup>2</sup>I/dU<sup>2</sup> [A/V<sup>2</sup>]"));

    // Other traces chosen for comparison, under the one shown.
    if (!prescan && cur)
        m_traces->show(p0, *m_data, log);
    if (m_overlap->isChecked()) {
        p0->logScale(false);
        m_plot[1]->hide();
        m_plot[2]->hide();
        p0->show();
        if (cur) {
            if (!prescan)
                m_curves->curve(eScan1IV)->attach(p0);
            m_curves->curve(iv)->attach(p0);
        }
        if (der1)
            m_curves->curve(d1)->attach(p0);
        if (der2)
            m_curves->curve(d2)->attach(p0);
        const CurveId only = (!cur && der1 && !der2) ? d1 : (!cur && !der1 && der2) ? d2 : iv;
        if (only != iv) {
            p0->setAxisTitle(QwtPlot::yLeft, only == d1 ? QStringLiteral("dI/dU [A/V]")
                                                        : QStringLiteral("d<sup>2</sup>I/dU<sup>2</sup> [A/V<sup>2</sup>]"));
        }
        AxisRange::Range y = yRangeOf(p0);
        if (only != iv && y.hasData) {
            // One derivative alone: its bounding range widened by 10 % of its height.
            const QRectF r = m_curves->curve(only)->boundingRect();
            const double h = r.height();
            if (h > 0)
                y = AxisRange::Range{r.top() - 0.1 * h, r.bottom() + 0.1 * h, true};
        }
        const auto x = ivXRange();
        applyRanges(p0, x.first, x.second, y);
    } else {
        p0->setVisible(cur);
        m_plot[1]->setVisible(der1);
        m_plot[2]->setVisible(der2);
        if (m_logScale->isChecked() != p0->isLogScale())
            p0->logScale(m_logScale->isChecked());
        if (!prescan)
            m_curves->curve(eScan1IV)->attach(p0);
        m_curves->curve(iv)->attach(p0);
        m_curves->curve(d1)->attach(m_plot[1]);
        m_curves->curve(d2)->attach(m_plot[2]);
        const auto x = ivXRange();
        for (ThreeTracePlotter* p : m_plot)
            applyRanges(p, x.first, x.second, yRangeOf(p));
    }
    // Two cursors on a graph of current read the e-folding voltage too.
    m_pair[0]->setEFolding(cur);
    // The analysis over the measured curve (the overlay keeps out of the ranges).
    if (scan && !prescan && cur && m_showAnalysis->isChecked() && !isDoubleProbeSession())
        m_overlay->showIv(p0, *scan, p0->isLogScale());
}

void PlotManager::drawEepfView()
{
    const ScanRecord* scan = currentScan();
    if (scan && scan->eepf.energy.size() == scan->eepf.EEDF.size()) {
        PlotData::Series s;
        s.x = scan->eepf.energy;
        s.y = scan->eepf.EEDF;
        m_curves->feed(eScan2Eepf, s, &scan->eepf.EEDF_low_error, &scan->eepf.EEDF_error, true);
    } else {
        m_curves->clear(eScan2Eepf);
    }
    ThreeTracePlotter* p0 = m_plot[0];
    p0->show();
    m_plot[1]->hide();
    m_plot[2]->hide();
    p0->setTitle(QStringLiteral("EEPF vs Energy"));
    p0->setAxisTitle(QwtPlot::xBottom, QStringLiteral("E [eV]"));
    p0->setAxisTitle(QwtPlot::yLeft, QStringLiteral("EEPF [m<sup>-3</sup>eV<sup>-3/2</sup>]"));
    if (!p0->isLogScale())
        p0->logScale(true);
    m_curves->curve(eScan2Eepf)->attach(p0);
    // Four decades below the top (a fixed range for a weak or missing EEPF);
    // the energies span the x axis.
    const PlotData::Series& e = m_curves->series(eScan2Eepf);
    const AxisRange::Range drawn = yRangeOf(p0);
    const auto range = AppText::eepfRange(drawn.hasData ? m_curves->curve(eScan2Eepf)->bound(PlotErrorBarCurve::eYMax) : 0.0);
    const AxisRange::Range x = AxisRange::of(e.x.constData(), e.size(), false);
    applyRanges(p0, x.low, x.high, AxisRange::Range{range.first, range.second, drawn.hasData});
    if (scan && m_showAnalysis->isChecked())
        m_overlay->showEepf(p0, *scan);
}

void PlotManager::drawTrendView(bool withinFrame)
{
    const int q = m_trendQuantity;
    PlotData::Series s = withinFrame ? PlotData::trendWithinFrame(*m_data, groupIndex(), q, traceIndex())
                                     : PlotData::trendAcrossFrames(*m_data, traceIndex(), q);
    // One frame of time slices has no trend across frames: its slices are the trend.
    bool slices = withinFrame;
    if (!withinFrame && s.size() < 2 && m_data->groupCount() < 2) {
        s = PlotData::trendWithinFrame(*m_data, groupIndex(), q, traceIndex());
        slices = s.size() >= 2;
    }
    m_curves->feed(eTimeResolve, s, &s.err);
    ThreeTracePlotter* p0 = m_plot[0];
    p0->show();
    m_plot[1]->hide();
    m_plot[2]->hide();
    if (p0->isLogScale())
        p0->logScale(false);
    const ScanRecord* scan = currentScan();
    const int type = scan ? scan->scanType : ScanRecord::eOtherRun;
    const FigureText::TrendAxis axis = slices                            ? FigureText::eOverPulse
                                       : type == ScanRecord::eSpatialRun ? FigureText::eOverPosition
                                       : type == ScanRecord::eTimedRun   ? FigureText::eOverTime
                                                                         : FigureText::eOverPulse;
    p0->setTitle(FigureText::trendTitle(q, axis));
    p0->setAxisTitle(QwtPlot::xBottom, FigureText::trendXAxis(axis));
    m_curves->curve(eTimeResolve)->attach(p0);
    p0->setNoDataText(withinFrame ? QStringLiteral("The time-resolved view needs a time-resolved run with two or "
                                                   "more time slices")
                                  : QStringLiteral("Trends need a time or spatial run with two or more frames, "
                                                   "or a time-resolved run (View Time Resolve)"));
    p0->setAxisTitle(QwtPlot::yLeft, FigureText::quantityAxis(q));
    if (s.size() >= 2) {
        const auto r = AppText::trendXRange(s.x.first(), s.x.last(), s.size());
        // Noise far below the value must not fill the graph.
        applyRanges(p0, r.first, r.second, AxisRange::withMinimumSpan(yRangeOf(p0), kTrendMinimumSpan));
    } else {
        applyRanges(p0, 0.0, 1.0, AxisRange::neutral(false));
    }
}

void PlotManager::drawMapView()
{
    for (ThreeTracePlotter* p : m_plot)
        p->hide();
    const int q = m_trendQuantity;
    m_map->setTitle(FigureText::mapTitle(q));
    m_map->setMap(MapData::of(*m_data, q), FigureText::quantityName(q), FigureText::quantityUnit(q),
                  FigureText::quantityAxis(q));
    m_map->replot();
}

void PlotManager::drawNoView()
{
    m_plot[0]->setTitle(QStringLiteral("No Plot"));
    m_plot[0]->setAxisTitle(QwtPlot::xBottom, QStringLiteral("X"));
    m_plot[0]->setAxisTitle(QwtPlot::yLeft, QStringLiteral("Y"));
    applyRanges(m_plot[0], 0.0, 1.0, AxisRange::neutral(m_plot[0]->isLogScale()));
}

void PlotManager::selectTrend(int quantity)
{
    m_trendQuantity = quantity;
    if (view() != eViewTimeResolve && view() != eViewTrends && view() != eViewMap)
        setView(m_data->groupCount() > 1 ? eViewTrends : eViewTimeResolve);
    else
        updateGraph();
}

void PlotManager::displayTimeResolve() { updateGraph(); }
void PlotManager::displayTimeResolveVp() { selectTrend(0); }
void PlotManager::displayTimeResolveVf() { selectTrend(1); }
void PlotManager::displayTimeResolvekTe() { selectTrend(2); }
void PlotManager::displayTimeResolveJe() { selectTrend(3); }
void PlotManager::displayTimeResolveNe() { selectTrend(4); }
void PlotManager::displayTimeResolveJp() { selectTrend(5); }
void PlotManager::displayTimeResolveNi() { selectTrend(6); }
void PlotManager::displayTimeResolveLdebye() { selectTrend(7); }
void PlotManager::displayTimeResolveNe2() { selectTrend(8); }
void PlotManager::displayTimeResolveE() { selectTrend(9); }
void PlotManager::displayTimeResolvekTe2() { selectTrend(10); }
void PlotManager::displayTimeResolveIsat() { selectTrend(11); }
void PlotManager::displayTimeResolveMachNumber() { selectTrend(12); }
void PlotManager::displayTimeResolveVdrift() { selectTrend(13); }

QString PlotManager::clipboardText() const
{
    QString out;
    const View v = m_lastView;
    auto dump = [&](CurveId id, const QString& heading) {
        const PlotData::Series& s = m_curves->series(id);
        out += heading;
        for (int i = 0; i < s.size(); ++i)
            out += QStringLiteral("%1\t%2\n").arg(s.x[i], 0, 'g', 6).arg(s.y[i], 0, 'g', 6);
    };
    switch (v) {
    case eViewPrescan:
    case eViewScan:
        dump(v == eViewPrescan ? ePrescanIV : eCompensatedIV, QStringLiteral("Voltage (V)\tCurrent (A)\n"));
        if (m_quantityBox[1]->isChecked())
            dump(v == eViewPrescan ? ePrescanD1 : eScan1D1,
                 QStringLiteral("Voltage (V)\tCurrent Derivative(A/V)\t\n"));
        if (m_quantityBox[2]->isChecked())
            dump(v == eViewPrescan ? ePrescanD2 : eScan1D2,
                 QStringLiteral("Voltage (V)\tCurrent Second Derivative(A/V^2)\t\n"));
        break;
    case eViewEepf:
        dump(eScan2Eepf, QStringLiteral("Energy (eV)\tEEPF (eV^1.5/m^3)\n"));
        break;
    case eViewTimeResolve:
        dump(eTimeResolve, QStringLiteral("Time (us)\t%1\n").arg(ResultQuantity::name(m_trendQuantity)));
        break;
    case eViewTrends: {
        const ScanRecord* scan = currentScan();
        const bool spatial = scan && scan->scanType == ScanRecord::eSpatialRun;
        dump(eTimeResolve, QStringLiteral("%1\t%2\n")
                               .arg(spatial ? QStringLiteral("Position (mm)") : QStringLiteral("Time (s)"),
                                    ResultQuantity::name(m_trendQuantity)));
        break;
    }
    default:
        break;
    }
    return out;
}

// ---------------------------------------------------------------- tools

void PlotManager::openScaleForm(int plot, int axis)
{
    if (!m_scaleForm)
        m_scaleForm = new GraphForm;
    m_scaleForm->attachPlot(m_plot[plot], axis);
    m_scaleForm->show();
    m_scaleForm->raise();
}

void PlotManager::plot1Scale() { openScaleForm(0); }
void PlotManager::plot2Scale() { openScaleForm(1); }
void PlotManager::plot3Scale() { openScaleForm(2); }

void PlotManager::setCrop()
{
    if (m_updating)
        return;
    LangmuirSettings& s = activeSettings();
    s.startCrop = m_startCrop->value();
    s.endCrop = m_endCrop->value();
    LangmuirSettings session = m_data->analysisSettings();
    session.startCrop = s.startCrop;
    session.endCrop = s.endCrop;
    m_data->setAnalysisSettings(session);
}

void PlotManager::reanalyse(bool)
{
    LangmuirSettings s = activeSettings();
    s.startCrop = m_startCrop->value();
    s.endCrop = m_endCrop->value();
    m_data->setAnalysisSettings(s);
    QElapsedTimer t;
    t.start();
    m_data->analyseAll();
    const int n = std::max(1, m_data->scanCount());
    m_processTimeUs = t.nsecsElapsed() / 1000.0 / n;
    if (m_data->scanCount() > 0)
        setModified(true);
    refreshAll();
}

void PlotManager::showEEDFTable(bool)
{
    EEDF_Dialog dlg(this);
    dlg.setWindowTitle(QStringLiteral("Edit EEPF Table saved with data"));
    dlg.setTable(m_data->eepfTable());
    dlg.setEditable(true);
    if (Prompter::instance().execDialog(&dlg) == QDialog::Accepted) {
        m_data->setEepfTable(dlg.table());
        setModified(true);
    }
}

void PlotManager::editDefaultEepfTable()
{
    EEDF_Dialog::editDefaultTable(this, QDir::current().filePath(QStringLiteral("eedf.txt")));
}

void PlotManager::showConfig()
{
    if (!m_configPanel) {
        Prompter::information(this, QString::fromLatin1(kTitle),
                              QStringLiteral("The scan configuration panel is not available yet."));
        return;
    }
    m_configPanel->show();
    m_configPanel->raise();
    m_configPanel->activateWindow();
}

void PlotManager::showSettings()
{
    if (!m_settingsWidget) {
        m_settingsWidget = new LangmuirSettingsWidget;
        connect(m_settingsWidget, &LangmuirSettingsWidget::applied, this, &PlotManager::settingsApplied);
        connect(m_settingsWidget, &LangmuirSettingsWidget::compensationChanged, this, [this](bool on) {
            activeSettings().correctDC = on;
            applySettingsToSession();
        });
    }
    m_settingsWidget->load(activeSettings());
    m_settingsWidget->show();
    m_settingsWidget->raise();
}

void PlotManager::settingsApplied()
{
    LangmuirSettings s = m_settingsWidget->settings();
    LangmuirSettings& mine = activeSettings();
    s.startCrop = mine.startCrop;
    s.endCrop = mine.endCrop;
    mine = s;
    applySettingsToSession();
}

void PlotManager::updateDoubleProbeConfig(QMap<QString, QString>& map, int probeType)
{
    if (probeType == 3) {
        DoubleProbeConfigParam c;
        c.fromMap(map);
        m_data->setConfiguration(c);
    } else {
        SingleProbeConfigParam c;
        c.fromMap(map);
        m_data->setConfiguration(c);
    }
}

// ---------------------------------------------------------------- files

bool PlotManager::save(const QString& fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        Prompter::critical(this, QString::fromLatin1(kTitle),
                           QStringLiteral("Cannot write file [%1]\nError code: %2\n").arg(fileName, file.errorString()));
        return false;
    }
    if (!SessionFile::write(*m_data, file)) {
        file.cancelWriting();
        Prompter::critical(this, QString::fromLatin1(kTitle),
                           QStringLiteral("An error occurred while attempting to save file."));
        return false;
    }
    if (!SaveFile::commitChecked(file)) {
        Prompter::critical(this, QString::fromLatin1(kTitle),
                           QStringLiteral("Cannot close file [%1]\nError code: %2\n").arg(fileName, file.errorString()));
        return false;
    }
    m_data->setFileName(fileName);
    setSessionTitle(AppText::baseTitle(fileName));
    m_saved = true;
    setModified(false);
    m_data->markSaved();
    emit saved(fileName);
    return true;
}

bool PlotManager::load(const QString& fileName, SessionFile::ReadReport* report)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Prompter::critical(this, QString::fromLatin1(kTitle),
                           QStringLiteral("Cannot open file [%1]\nError code: %2\n").arg(fileName, file.errorString()));
        return false;
    }
    QString why;
    SessionFile::ReadReport read;
    if (!SessionFile::read(*m_data, file, &why, &read)) {
        Prompter::critical(this, QString::fromLatin1(kTitle),
                           QStringLiteral("Cannot read file [%1]\n%2\n").arg(fileName, why));
        return false;
    }
    if (read.cutOff) {
        // A journal is written before its scans are analysed.
        for (int g = 0; g < m_data->groupCount(); ++g)
            for (int i = 0; i < m_data->scansOfGroup(g).size(); ++i) {
                const ScanRecord* s = m_data->scan(g, i);
                if (s->corrected.V.isEmpty() && s->accumulated.count() > 0)
                    m_data->analyseScan(g, i);
            }
    }
    m_data->setFileName(fileName);
    // The file's analysis settings become the active record of its probe kind.
    activeSettings() = m_data->analysisSettings();
    m_settingsFromFile = true;
    m_fitRestorer->start(); // the fits the analysis is drawn from, in the background
    m_saved = true;
    setModified(read.cutOff); // what the file lacks is not saved anywhere
    m_updating = true;
    m_positionSlider->setValue(0);
    m_frameSlider->setValue(0);
    m_updating = false;
    const bool several = m_data->groupCount() > 1 || m_data->scansOfGroup(0).size() > 1;
    showFrameControls2(several);
    refreshAll();
    if (m_data->groupCount() > 1)
        setView(eViewScan);
    setSessionTitle(AppText::baseTitle(fileName));
    if (report)
        *report = read;
    else if (read.cutOff)
        Prompter::information(this, QString::fromLatin1(kTitle),
                              QStringLiteral("%1\n%2").arg(fileName, SessionFile::recoveredText(read)));
    return true;
}

bool PlotManager::saveSession()
{
    const QString name = m_data->fileName();
    if (name.isEmpty() || !QFileInfo::exists(name))
        return saveAsSession();
    const QString target = AppText::nonOverwriteName(name, [](const QString& n) { return QFileInfo::exists(n); });
    if (save(target))
        return true;
    return saveAsSession();
}

bool PlotManager::saveAsSession()
{
    for (;;) {
        const QString start = AppText::saveDialogStart(m_data->fileName(), *m_dialogPath, QDir::homePath());
        const QString answer = Prompter::instance().saveFileName(this, QStringLiteral("Save File"), start,
                                                                 QStringLiteral("Langmuir Data Files (*.ldf)"));
        if (answer.isEmpty())
            return false;
        // The Open dialog lists *.ldf only: a name without suffix gets it.
        const QString name = AppText::withSuffix(answer, QStringLiteral("ldf"));
        *m_dialogPath = AppText::folderOf(name);
        if (!Prompter::mayReplace(this, name))
            continue;
        if (save(name))
            return true;
    }
}

void PlotManager::closeEvent(QCloseEvent* event)
{
    if (m_run->isActive()) {
        // The run writes into this session until it ends.
        event->ignore();
        Prompter::information(this, QString::fromLatin1(kTitle),
                              QStringLiteral("A measurement is running in this session.\nAbort it before closing "
                                             "the session."));
        return;
    }
    if (m_saved && !m_modified) {
        event->accept();
        hideToolWindows();
        emit close(this);
        return;
    }
    const QMessageBox::StandardButton b = Prompter::instance().message(
        this, QMessageBox::Warning, QString::fromLatin1(kTitle),
        QStringLiteral("Session : '%1' has been modified.").arg(sessionTitle()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save,
        QStringLiteral("Do you want to save changes?"));
    if (b == QMessageBox::Save) {
        if (!saveSession()) {
            event->ignore(); // a failed or cancelled save keeps the data on screen
            return;
        }
    } else if (b != QMessageBox::Discard) {
        event->ignore();
        return;
    }
    event->accept();
    hideToolWindows();
    emit close(this);
}

// ---------------------------------------------------------------- figures

QList<QwtPlot*> PlotManager::shownPlots() const
{
    QList<QwtPlot*> out;
    for (ThreeTracePlotter* p : m_plot)
        if (!p->isHidden())
            out.append(p);
    if (!m_map->isHidden())
        out.append(m_map);
    return out;
}

void PlotManager::showGraphMenu(const QPoint& globalPos)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Export Graph..."), this, &PlotManager::exportGraph);
    menu.addAction(QStringLiteral("Copy Graph"), this, &PlotManager::copyGraph);
    menu.addAction(QStringLiteral("Print Graph..."), this, &PlotManager::printGraph);
    for (CursorPair* c : m_pair)
        if (!c->readout().isEmpty()) {
            menu.addAction(QStringLiteral("Copy Cursor Readout"), c, &CursorPair::copy);
            break;
        }
    menu.exec(globalPos);
}

void PlotManager::exportGraph()
{
    if (m_graphExport.fileName.isEmpty()) {
        // Beside the session's file, named after it; else in the save folder.
        const QString session = m_data->fileName();
        m_graphExport.fileName =
            session.isEmpty() ? AppText::saveDialogStart(QString(), *m_dialogPath, QDir::homePath())
                                    + QStringLiteral("graph.png")
                              : QFileInfo(session).absolutePath() + QLatin1Char('/')
                                    + QFileInfo(session).completeBaseName() + QStringLiteral(".png");
    }
    if (GraphExport::exportWithDialog(this, shownPlots(), m_graphExport))
        emit statusMessage(
            QStringLiteral("Exported graph to %1").arg(QDir::toNativeSeparators(m_graphExport.fileName)));
}

void PlotManager::printGraph()
{
    GraphExport::printWithDialog(this, shownPlots());
}

void PlotManager::copyGraph()
{
    QApplication::clipboard()->setImage(GraphExport::image(shownPlots()));
    emit statusMessage(QStringLiteral("Graph copied as an image"));
}

bool PlotManager::resultsHaveFocus() const
{
    QWidget* f = QApplication::focusWidget();
    return f && m_resultsGrid && (f == m_resultsGrid || m_resultsGrid->isAncestorOf(f));
}

QString PlotManager::resultsText() const
{
    const ScanRecord* scan = currentScan();
    return PlotData::resultsText(scan ? &scan->result : nullptr, traceIndex());
}

void PlotManager::copyResults()
{
    QApplication::clipboard()->setText(resultsText());
    emit statusMessage(QStringLiteral("Results copied"));
}
