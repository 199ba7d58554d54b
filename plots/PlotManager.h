#pragma once
// The session window: owns one session (DataAnalyzer) and shows it in three
// graphs, a results grid with values and relative errors, frame navigation,
// trends and the analysis warnings. Saves, loads and asks before closing.
#include "AxisRange.h"
#include "CurveSet.h"
#include "GraphExport.h"
#include "LangmuirSettings.h"
#include "PlotData.h"
#include "SessionFile.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

#include <memory>

class AnalysisOverlay;
class ConfigParam;
class CursorPair;
class CursorPicker;
class DataAnalyzer;
class DoubleProbeConfigParam;
class SessionConfig;
class SingleProbeConfigParam;
class EEDF_Dialog;
class FitRestorer;
class MapPlot;
class TraceChooser;
class TraceOverlay;
class FrameNavigator;
class GraphForm;
class LangmuirSettingsWidget;
class OptInResults;
class PlotErrorBarCurve;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolButton;
class ThreeTracePlotter;
struct ScanRecord;

class PlotManager : public QWidget
{
    Q_OBJECT
public:
    enum View { eViewPrescan, eViewScan, eViewEepf, eViewTimeResolve, eViewTrends, eViewMap, eViewCount };
    enum CurveId {
        ePrescanIV, ePrescanD1, ePrescanD2, eTimeResolve, eScan1IV, eCompensatedIV, eScan1D1, eScan1D2,
        eScan2Eepf, eCurveCount
    };

    explicit PlotManager(QWidget* parent = nullptr, bool advanced = false);
    ~PlotManager() override;

    DataAnalyzer* data() const { return m_data; }

    // The session's configuration records: both kinds, the probe mode and a
    // run's working copy. They start as copies of the program-wide pair and
    // are written back to the settings store when the session is destroyed.
    SessionConfig& configs();
    void seedConfigs(const SingleProbeConfigParam& single, const DoubleProbeConfigParam& dbl);
    // The record the configuration panel edits (chosen by the probe mode).
    ConfigParam& activeConfig();

    // Session state.
    bool isSaved() const { return m_saved; }
    bool isModified() const { return m_modified; }
    // The modified mark of the window title follows this flag.
    void setModified(bool m);
    // The window title without its modified mark ("Session 1", "run1.ldf").
    void setSessionTitle(const QString& title);
    QString sessionTitle() const;
    bool isLive() const { return m_live; }
    void setLive(bool live);
    bool isReturnProbe() const { return m_returnProbe; }
    void setReturnProbe(bool on) { m_returnProbe = on; }
    void setSwProbeMode(int mode);
    int swProbeMode() const;
    bool isDoubleProbeSession() const;
    void setAdvanced(bool on) { m_advanced = on; }
    void setDeviceID(const QString& id);
    void setSyncFreq(double f);
    // Remembered folder of the save dialog, shared with the main window.
    void setDialogPathStore(QString* path) { m_dialogPath = path ? path : &m_ownDialogPath; }

    // Files (messages through the prompter).
    bool save(const QString& fileName);
    // A file cut off after some complete scans (a journal, a crash while
    // saving) loads those, analysed, as a modified session; `report` tells
    // the caller, else a box does.
    bool load(const QString& fileName, SessionFile::ReadReport* report = nullptr);
    // Saves without ever overwriting: a new name "<base>_k.ldf" next to the
    // last file, or the save-as dialog when the session has no file yet.
    bool saveSession();
    // Asks for a name until a save succeeds; false when the user cancels.
    bool saveAsSession();

    // Measurement side: files one finished scan and redraws.
    void addScan(const ScanRecord& scan, bool analyse = true);
    // Re-reads the session and redraws everything (after loading or analysis).
    void refreshAll();
    // Curves imported from files: analysed with the user's settings, in the
    // noise-robust mode when asked, without making that the stored default.
    void useImportSettings(bool noiseRobust);
    // Analyses every scan with the session's settings and redraws (as Reanalyse).
    void analyseSession() { reanalyse(true); }
    // A measurement run fills this session: closing is refused meanwhile.
    void beginRun();
    void endRun();
    bool isRunActive() const;
    // A record was filed, or a kept sweep accumulated into one. Changed
    // records are analysed and redrawn at most every kRedrawMs (a fast run
    // accumulates far more sweeps than anyone can watch), and at the end of
    // the run.
    void scanFiled(int group, int index);
    void scanChanged(int group, int index);
    static constexpr int kRedrawMs = 40; // RunRedraw's

    // Current selection and what is shown (tests and tools).
    int groupIndex() const;
    int traceIndex() const;
    void setGroupIndex(int g);
    void setView(View v);
    View view() const;
    QCheckBox* viewButton(View v) const { return m_viewBox[v]; }
    QCheckBox* quantityBox(int which) const { return m_quantityBox[which]; }
    QRadioButton* trendButton(int quantity) const;
    ThreeTracePlotter* plot(int i) const { return m_plot[i]; }
    MapPlot* mapPlot() const { return m_map; }
    CursorPicker* cursor(int i) const { return m_cursor[i]; }
    CursorPair* cursorPair(int i) const { return m_pair[i]; }
    const AnalysisOverlay* overlay() const { return m_overlay.get(); }
    const FitRestorer* fitRestorer() const { return m_fitRestorer; }
    const TraceOverlay* traces() const { return m_traces.get(); }
    TraceChooser* traceChooser() const { return m_traceChooser; }
    PlotErrorBarCurve* curve(CurveId id) const { return m_curves->curve(id); }
    QString valueText(int quantity) const;
    QString errorText(int quantity) const;
    const OptInResults* optInResults() const { return m_optIn; }
    QString warningsText() const;
    QString positionText() const;
    QString timeText() const;
    QSlider* frameSlider() const { return m_frameSlider; }
    QSlider* positionSlider() const { return m_positionSlider; }
    FrameNavigator* traceNavigator() const { return m_traceNav; }
    FrameNavigator* groupNavigator() const { return m_groupNav; }
    int trendQuantity() const { return m_trendQuantity; }
    const LangmuirSettings& singleSettings() const { return m_singleSettings; }
    const LangmuirSettings& doubleSettings() const { return m_doubleSettings; }
    LangmuirSettingsWidget* settingsWidget() const { return m_settingsWidget; }
    void hideToolWindows();
    // The scan configuration panel of this session (made by the application,
    // a child of this window): shown by "Config", hidden with the tool windows.
    void setConfigPanel(QWidget* panel) { m_configPanel = panel; }
    QWidget* configPanel() const { return m_configPanel; }
    // Tab-separated text of the curves on graph 1 for the clipboard.
    QString clipboardText() const;
    // The results grid of the shown trace as tab-separated text with units.
    QString resultsText() const;
    // The results grid has the keyboard focus (Ctrl+C then copies it).
    bool resultsHaveFocus() const;
    // The graphs shown now, top to bottom.
    QList<class QwtPlot*> shownPlots() const;

    // Figures: the shown graphs to a file (dialog), the printer or the clipboard.
    void exportGraph();
    void printGraph();
    void copyGraph();
    void copyResults();

signals:
    void close(PlotManager* pm);
    // The session's title or modified mark changed.
    void titleChanged();
    // A save succeeded (the file written).
    void saved(const QString& fileName);
    // The cursor readout of the point under the mouse; empty when none.
    void cursorReadout(const QString& text);
    // A short note for the status bar ("Exported graph to ...").
    void statusMessage(const QString& text);

public slots:
    void showAlert(bool on);
    void showEEDFTable(bool);
    void showConfig();
    void showSettings();
    void updateDoubleProbeConfig(QMap<QString, QString>& map, int probeType);
    void editDefaultEepfTable();

private slots:
    void setTracePens();
    void controlGraph(bool on);
    void controlGraph();
    void setCrop();
    void setTimeValue(int value);
    void displayTimeResolve();
    void displayTimeResolveVp();
    void displayTimeResolveVf();
    void displayTimeResolvekTe();
    void displayTimeResolveJe();
    void displayTimeResolveNe();
    void displayTimeResolveJp();
    void displayTimeResolveNi();
    void displayTimeResolveLdebye();
    void displayTimeResolveIsat();
    void displayTimeResolveNe2();
    void displayTimeResolveE();
    void displayTimeResolvekTe2();
    void displayTimeResolveMachNumber();
    void displayTimeResolveVdrift();
    void showFrameControls2(bool on);
    void showGraphControls(bool on);
    void hideGraphControls(bool on);
    void reanalyse(bool);
    void plot1Scale();
    void plot2Scale();
    void plot3Scale();
    void updateGraph();
    void positionChanged(int value);
    void settingsApplied();
    void showTraceChooser();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    QWidget* buildResultsGrid();
    QWidget* buildControls();
    void selectTrend(int quantity);
    // The y range of the curves attached to a plot, as they are drawn.
    AxisRange::Range yRangeOf(const ThreeTracePlotter* p) const;
    std::pair<double, double> ivXRange() const;
    void applyRanges(ThreeTracePlotter* p, double xLow, double xHigh, const AxisRange::Range& y);
    void showResults();
    void showWarnings();
    void drawIvView(bool prescan);
    void drawEepfView();
    void drawTrendView(bool withinFrame);
    void drawNoView();
    void drawMapView();
    void openScaleForm(int plot, int axis = 0); // axis: QwtPlot::yLeft or xBottom
    const ScanRecord* currentScan() const;
    LangmuirSettings& activeSettings();
    void applySettingsToSession();
    void readScanSettings();

    DataAnalyzer* m_data;
    ThreeTracePlotter* m_plot[3];
    MapPlot* m_map;
    QWidget* m_graphs; // the three graphs' splitter
    CursorPicker* m_cursor[3];
    CursorPair* m_pair[3];
    // Owned here whether attached to a plot or not; a curve detaches itself when deleted.
    std::unique_ptr<CurveSet> m_curves;

    QCheckBox* m_viewBox[eViewCount];
    QCheckBox* m_quantityBox[3]; // Current, 1st Derivative, 2nd Derivative
    QCheckBox* m_overlap;
    QCheckBox* m_logScale;
    QCheckBox* m_errorBars;
    QCheckBox* m_dataPoints;
    QCheckBox* m_showAnalysis;
    std::unique_ptr<AnalysisOverlay> m_overlay;
    FitRestorer* m_fitRestorer = nullptr;
    std::unique_ptr<TraceOverlay> m_traces;
    TraceChooser* m_traceChooser = nullptr;
    QSpinBox* m_startCrop;
    QSpinBox* m_endCrop;
    QPushButton* m_reanalyse;
    QToolButton* m_eepfTable;
    QPushButton* m_settingsButton;
    QPushButton* m_configButton;
    QPushButton* m_alertButton;
    QLabel* m_warnings;
    QLabel* m_frameTime;
    QLabel* m_processTime;
    QLabel* m_syncLabel;

    class ResultsGrid* m_grid = nullptr;
    OptInResults* m_optIn = nullptr; // the opt-in analyses' rows, when a scan has them
    FrameNavigator* m_traceNav;
    FrameNavigator* m_groupNav;
    QSlider* m_frameSlider;    // m_traceNav's
    QSlider* m_positionSlider; // m_groupNav's
    QWidget* m_frameControls;
    QWidget* m_graphControls;
    QWidget* m_resultsGrid = nullptr;
    void showGraphMenu(const QPoint& globalPos);

    LangmuirSettingsWidget* m_settingsWidget = nullptr;
    GraphForm* m_scaleForm = nullptr;
    QPointer<QWidget> m_configPanel;

    LangmuirSettings m_singleSettings;
    LangmuirSettings m_doubleSettings;
    double m_voltageStart = -50.0;
    double m_voltageEnd = 50.0;
    double m_processTimeUs = -1.0;
    int m_trendQuantity = 0;
    View m_lastView = eViewScan;
    bool m_saved = true;
    bool m_modified = false;
    bool m_live = false;
    class RunRedraw* m_run = nullptr;
    void showNewest();
    bool m_returnProbe = false;
    bool m_advanced = false;
    bool m_updating = false;
    bool m_settingsFromFile = false;
    QString m_ownDialogPath = QStringLiteral("./");
    GraphExport::Options m_graphExport; // the last export's choices
    QString* m_dialogPath = &m_ownDialogPath;
};
