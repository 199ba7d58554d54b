#pragma once
// "Scan Configuration": the window in which the user edits the active scan
// configuration record of one session. Every edit goes straight into the
// record, is checked against the rules of ConfigRules and is followed by a new
// time estimate. One panel per session window (its child); the main window
// shows it (F8, the session's "Config" button) and feeds it the unit's state.
//
// The panel keeps no pointer to the record: it asks its source for the record
// on every access, so a record replaced by loading or connecting is never
// edited after it is gone.
#include "ConfigParam.h"
#include "ScanEstimate.h"

#include <QWidget>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class RIRavaVCntrl;

class ConfigParamPanel : public QWidget
{
    Q_OBJECT
public:
    using Source = std::function<ConfigParam*()>;
    using BusyProbe = std::function<bool()>;

    explicit ConfigParamPanel(QWidget* parent = nullptr);
    ~ConfigParamPanel() override;

    // Where the record comes from (asked on every access; may yield nullptr).
    void setSource(Source source);
    // The controller for estimates and SYNC; busy() tells when another
    // thread (job thread, drive worker) is talking to the unit.
    void setController(RIRavaVCntrl* ctrl, BusyProbe busy);
    // Full-scale currents of the six measuring ranges (descriptor's iRange).
    void setCurrentRanges(const double* iRange, int count = 6);
    void setTriggerAvailable(bool available);
    // The SYNC frequency last read elsewhere (the main window's indicator).
    void setLastSyncFreq(double f);
    // Re-estimates when an estimate was left out while the unit was busy.
    void controllerIdle();

    ConfigParam* record() const;
    bool isAdvancedMode() const { return m_advanced; }
    bool isEnabledMode() const { return m_enabled; }
    double railLength() const { return m_railLength; }
    QTabWidget* tabs() const { return m_tabs; }
    int tabIndex(const QString& title) const;

    // Shown values (tests, screenshots).
    QString syncText() const;
    QString scanTimeText() const;
    QString stepTimeText() const;
    QString traceTimeText() const;
    const ScanEstimate::ControllerTimes& lastTimes() const { return m_times; }
    QComboBox* currentRangeBox() const { return m_cmRange; }
    QWidget* triggerGroup() const;

signals:
    void idleVoltageChanged();
    void throwTraceChanged();
    void resynchronize();

public slots:
    void estimateTimes();
    void setEnabledMode(bool enabled);
    void setAdvancedMode(bool enabled);
    // Brings the record up to date from the widgets (every edit is already in it).
    void getSettings();
    // Edits this record from now on (a fixed source).
    void setSettings(ConfigParam* src);
    void selectTab(int tab);
    void useExternalTrigger(bool bChecked);
    // Shows the record's values and re-reads the position limits.
    void refresh();
    void setRailLength(double length);

private slots:
    void setSyncMode();
    void setIntegrationTime();
    void setResolutionTime();
    void setAcqTimeStart();
    void setAcqTimeDuration();
    void setWholePeriod(bool on);
    void setIntegrateSample();
    void setAvgPerStep();
    void setAvgTrace();
    void setScansToRun();
    void setSpatMode();
    void setPositionStart();
    void setPositionStep();
    void setPositionStop();
    void setUseRetract();
    void setPositionRetract();
    void setTimedMode();
    void setTimeStart();
    void setTimeStop();
    void setTimeStep();
    void setIonMonitorMode();
    void setIcDuration();
    void setIcVoltage();
    void setOptimizeScanVoltages();
    void setVoltageStart();
    void setVoltageStep();
    void setVoltageStop();
    void setCleaningAuto();
    void setCleanAutoPeriod();
    void setCleaningVoltage();
    void setCleaningLevel();
    void setCleaningTimeDuration();
    void setCleaningTimeRelaxation();
    void setIonCurrentVoltage();
    void setLargeVoltageStep();
    void setSmallVoltageStep();
    void setDerivativeDrop();
    void setIonCurrentDrop();
    void setDerivativePoints();
    void setOptimizeForEEDF();
    void setPrescanIntegrationTime();
    void setPrescanAvgPerStep();
    void disablePrescans(bool on);
    void setOptimizeCMRange();
    void setScanCMRange();
    void setFirstStepDelay();
    void setNextStepDelay();
    void setIdleVoltage();
    void setCurrentOffset();
    void setThrowTrace();
    void useTriggerRisingEdge(bool bChecked);
    void updateTriggerDelay(QString text);
    void resync();
    void updateRailSize(double start, double end);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildAcquisitionTab();
    QWidget* buildMultiScanTab();
    QWidget* buildVoltagesTab();
    QWidget* buildCleaningTab();
    QWidget* buildPrescanTab();
    QWidget* buildAdvancedTab();
    QWidget* buildTriggerTab();
    void say(const QString& text);
    void updateEnables();
    void readPositionLimits();
    void applyPositionLimits();
    // Rule of the time-resolved window: false (box shown, box reverted) when
    // the new window would have more frames than the unit takes.
    bool framesAllowed(double start, double end, double resolution);
    void storeVoltages();
    void saveWindowSettings();
    double adcFreq() const;
    void showTimes();

    Source m_source;
    RIRavaVCntrl* m_ctrl = nullptr;
    BusyProbe m_busy;
    ScanEstimate::ControllerTimes m_times;
    double m_lastSync = 0.0;
    bool m_estimatePending = false;
    bool m_advanced = false;
    bool m_enabled = true;
    bool m_triggerAvailable = false;
    bool m_restored = false;
    double m_posMinimum = 0.0;
    double m_posMaximum = 100.0;
    double m_railLength = 0.0; // 0: not known (limits from the drive settings)

    QTabWidget* m_tabs = nullptr;
    QWidget* m_prescanPage = nullptr;
    QList<QWidget*> m_editable;
    QWidget* m_advancedWidgets[3] = {};

    // Acquisition
    QRadioButton* m_timeAveraged;
    QRadioButton* m_timeResolved;
    QDoubleSpinBox* m_integrationTime;
    QDoubleSpinBox* m_resolution;
    QDoubleSpinBox* m_acqStart;
    QDoubleSpinBox* m_acqEnd;
    QCheckBox* m_wholePeriod;
    QCheckBox* m_integrateSample;
    QSpinBox* m_avgPerStep;
    QSpinBox* m_traceAverage;
    QSpinBox* m_scansToRun;
    QLabel* m_syncValue;
    QLabel* m_syncUnit;
    QPushButton* m_resync;
    QLabel* m_scanTime[2];
    QLabel* m_stepTime[2];
    QLabel* m_traceTime[2];
    // Multi scan
    QCheckBox* m_spatial;
    QDoubleSpinBox* m_posStart;
    QDoubleSpinBox* m_posStep;
    QDoubleSpinBox* m_posEnd;
    QCheckBox* m_useRetract;
    QDoubleSpinBox* m_posRetract;
    QCheckBox* m_timed;
    QDoubleSpinBox* m_timeStart;
    QDoubleSpinBox* m_timeStep;
    QDoubleSpinBox* m_timeEnd;
    QCheckBox* m_ionMonitor;
    QDoubleSpinBox* m_icDuration;
    QDoubleSpinBox* m_icVoltage;
    // Voltages
    QCheckBox* m_optimizeVoltages;
    QDoubleSpinBox* m_voltStart;
    QDoubleSpinBox* m_voltStep;
    QDoubleSpinBox* m_voltEnd;
    // Cleaning
    QCheckBox* m_autoClean;
    QSpinBox* m_cleanPeriod;
    QDoubleSpinBox* m_cleanVoltage;
    QDoubleSpinBox* m_cleanLevel;
    QSpinBox* m_cleanDuration;
    QSpinBox* m_cleanRelax;
    // Prescan
    QDoubleSpinBox* m_ionCurrentVoltage;
    QDoubleSpinBox* m_largeStep;
    QDoubleSpinBox* m_smallStep;
    QSpinBox* m_derivativeDrop;
    QSpinBox* m_ionCurrentDrop;
    QSpinBox* m_derivativePoints;
    QCheckBox* m_optimizeEepf;
    QDoubleSpinBox* m_prescanIntegration;
    QSpinBox* m_prescanAvg;
    QCheckBox* m_disablePrescans;
    // Advanced
    QCheckBox* m_optimizeRange;
    QComboBox* m_cmRange;
    QSpinBox* m_firstDelay;
    QSpinBox* m_nextDelay;
    QDoubleSpinBox* m_idleVoltage;
    QDoubleSpinBox* m_offsetCurrent;
    QSpinBox* m_throwTrace;
    // Trigger
    QGroupBox* m_triggerGroup;
    QCheckBox* m_useTrigger;
    QRadioButton* m_fallingEdge;
    QRadioButton* m_risingEdge;
    QLineEdit* m_triggerDelay;
};
