#pragma once
// The unit's connection: Connect (find the unit on the job thread, calibrate
// when it needs it, the probe mode, idle voltage and HV), the drive search
// that follows a connect, Calibrate, Disconnect, the session panels' calls
// that reach the unit, and the status bar's SYNC and connection labels.
// It also knows when another thread talks to the unit (controllerBusy).
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

class Alerts;
class ConfigParamPanel;
class ControllerDrive;
class LinearDriver;
class QLabel;
class QProgressDialog;
class QTimer;
class QWidget;
class RIRavaVCntrl;
class SessionWindows;
class StatusLine;
class WorkerThread;
class topBanner;
struct MainActions;

class UnitConnection : public QObject
{
    Q_OBJECT
public:
    struct Needs {
        QWidget* window = nullptr; // parent of boxes and dialogs
        RIRavaVCntrl* ctrl = nullptr;
        WorkerThread* worker = nullptr;
        std::atomic<bool>* abort = nullptr;
        LinearDriver* linDriver = nullptr;
        SessionWindows* sessions = nullptr;
        StatusLine* status = nullptr;
        Alerts* alerts = nullptr;
        const MainActions* actions = nullptr;
        topBanner* banner = nullptr;
    };
    // What the connection asks of a measurement run: whether one is active,
    // and its drive (busy while it moves).
    struct RunState {
        std::function<bool()> running;
        const ControllerDrive* drive = nullptr;
    };
    explicit UnitConnection(Needs needs);
    ~UnitConnection() override;
    void setRunState(RunState run) { m_run = std::move(run); }
    // The window deleted the job thread and the drive dialog (it is going).
    void threadsGone()
    {
        m_n.worker = nullptr;
        m_n.linDriver = nullptr;
    }

    QLabel* syncLabel() const { return m_syncLabel; }
    QLabel* connectionLabel() const { return m_connLabel; }

    // Connect is checked and the unit answers.
    bool isConnected() const;
    // From Connect until the unit is set up: no action may use it meanwhile.
    bool isConnecting() const { return m_connecting; }
    bool isCalibrating() const { return m_calibrating; }
    // From the end of a connect until the drive search that follows it has
    // ended and its result is read.
    bool driveSearchPending() const { return m_driveSearchPending; }
    // The window closes: a connect or calibration under way gives up.
    void setClosing(bool closing) { m_closing = closing; }
    // True while another thread talks to the unit (job thread, calibration,
    // drive worker): the GUI then makes no controller call of its own.
    bool controllerBusy() const;
    // The drive dialog reports its worker here while one runs.
    void setDriveBusy(bool busy);

    // Connect with Connect checked; false (Connect unchecked again) on failure.
    bool connectUnit();
    void disconnectUnit();
    // The Calibrate action (checked: asks, then calibrates; unchecked: aborts).
    void calibrateAction();
    // Lets the drive search started after a connect end first (with events);
    // true when the unit is still connected afterwards.
    bool awaitDriveSearch();
    // Aborts whatever the job thread runs and waits until it is idle.
    void stopActivity();
    // The stop every abort path sends to a moving linear drive.
    void stopLinearDrive();
    // A live session's panel: its idle voltage and SYNC signals reach the unit.
    void attachPanel(ConfigParamPanel* panel);
    void detachPanel(ConfigParamPanel* panel);
    void updateSyncFreq();
    // A live panel's SYNC button: the unit measures the frequency again.
    void resynchronizeFreq();

signals:
    void widgetStatesChanged();
    // The calibration's progress box was cancelled: the window's Abort.
    void abortRequested();

private:
    void calibrate();
    void updateCalibProgress();
    bool waitForJob(int sliceMs);
    void driveSearchEnded();
    void setDefVoltage();
    bool running() const { return m_run.running && m_run.running(); }

    Needs m_n;
    RunState m_run;
    bool m_connecting = false;
    bool m_calibrating = false;
    bool m_driveSearchPending = false;
    bool m_closing = false;
    std::atomic<bool> m_driveBusy{false};
    double m_lastSync = 0.0;
    int m_spinner = 1;
    QLabel* m_syncLabel;
    QLabel* m_connLabel;
    QTimer* m_syncTimer;
    QTimer* m_calibTimer;
    QPointer<QProgressDialog> m_calibDialog;
};
