#pragma once
// Batch jobs of the main window: Run Job loads a job file, checks every line
// in a test pass, shows the job and runs its lines while the window stays
// live. It is the jobs' host: its lines act on the unit, the current session
// and its configuration, and run Scan and Clean as the actions do. While a
// job is open, Run Job, Disconnect, New, Open and remote scans are refused.
#include "JobScript.h"

#include <QObject>
#include <QPointer>
#include <atomic>

class Alerts;
class QWidget;
class RIRavaVCntrl;
class RunControl;
class ScriptDialog;
class SessionWindows;
class StatusLine;
class UnitConnection;

class JobControl : public QObject, public JobHost
{
    Q_OBJECT
public:
    struct Needs {
        QWidget* window = nullptr; // parent of the job window and the boxes
        RIRavaVCntrl* ctrl = nullptr;
        std::atomic<bool>* abort = nullptr;
        UnitConnection* connection = nullptr;
        SessionWindows* sessions = nullptr;
        RunControl* run = nullptr;
        Alerts* alerts = nullptr;
        StatusLine* status = nullptr;
    };
    explicit JobControl(Needs needs);

    // Slices of a wait (ms): Abort is noticed within one.
    static constexpr int kWaitSliceMs = 30;

    // A job is open (from loading until its window closed).
    bool isOpen() const { return m_open; }
    void setOpen(bool open);
    ScriptDialog* scriptDialog() const;
    // Refuses a command while a job is open, with a box (true when refused).
    bool refusedDuringJob();
    // Run Job: returns when the job's window was closed.
    void runJob();
    // The job window's Stop: ends the job and its window.
    void stopJob();
    // The job window's Abort: the line under way gives up.
    void abortJobLines();
    // The main window closes once the job has ended.
    void closeWhenEnded() { m_closeAfterJob = true; }

    // The jobs' host.
    bool isConnected() override;
    double syncFrequency() override;
    QVector<double> currentRanges() override;
    ConfigParam* config() override;
    void configChanged() override;
    bool applyIdleVoltage(double volts, QString* error) override;
    bool scan(QString* error) override;
    bool clean(QString* error) override;
    DataAnalyzer* session() override;
    bool newSession(QString* error) override;
    void showMessage(const QString& text) override;
    void critical(const QString& text) override;
    bool waitWithEvents(int ms) override;
    bool aborted() override;

signals:
    void widgetStatesChanged();

private:
    QWidget* boxParent();

    Needs m_n;
    bool m_open = false;        // a job is open (from loading until it ends)
    bool m_dialogOpen = false;  // its window waits for Close
    bool m_closeAfterJob = false;
    QPointer<ScriptDialog> m_scriptDialog;
};
