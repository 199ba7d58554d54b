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
//
// The panel is a frame over one class per tab (see ConfigTab); every control
// is tied to its field through the one ConfigBinder, which also runs the
// panel's follow-up (enables, estimate) after each edit.
#include "ConfigParam.h"
#include "ScanEstimate.h"

#include <QWidget>
#include <functional>

class AcquisitionTab;
class AdvancedTab;
class CleaningTab;
class ConfigBinder;
class MultiScanTab;
class PrescanTab;
class QComboBox;
class QTabWidget;
class TriggerTab;
class VoltagesTab;
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
    double railLength() const;
    QTabWidget* tabs() const { return m_tabs; }
    int tabIndex(const QString& title) const;

    // Shown values (tests, screenshots).
    QString syncText() const;
    QString scanTimeText() const;
    QString stepTimeText() const;
    QString traceTimeText() const;
    const ScanEstimate::ControllerTimes& lastTimes() const { return m_times; }
    QComboBox* currentRangeBox() const;
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
    void resync();
    // After an edit the record took: the follow-up it asks for.
    void followEdit(unsigned follow);
    void storeVoltages();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void updateEnables();
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

    ConfigBinder* m_binder;
    QTabWidget* m_tabs = nullptr;
    AcquisitionTab* m_acquisition;
    MultiScanTab* m_multiScan;
    VoltagesTab* m_voltages;
    CleaningTab* m_cleaning;
    PrescanTab* m_prescan; // a tab in advanced mode only
    AdvancedTab* m_advancedTab;
    TriggerTab* m_trigger;
};
