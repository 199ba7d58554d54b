#pragma once
// The run control of the main window: Scan (a measurement run), Clean (the
// probe-tip cleaning, by hand or when a run finds it due), Move (the drive
// dialog), Abort, and the progress bar. It is the procedures' seam to the
// window (alerts, state line, boxes, events) and owns the run's parts: the
// sweep reader, the drive, the sequence, the cleaner and the journals.
#include "MeasurementSeam.h"

#include <QElapsedTimer>
#include <QObject>
#include <atomic>
#include <memory>

class Alerts;
class ControllerDrive;
class LinearDriver;
class ProbeCleaner;
class QLabel;
class QProgressBar;
class QTimer;
class QWidget;
class RIRavaVCntrl;
class RunSessionObserver;
class ScanSequence;
class SessionJournals;
class SessionWindows;
class StatusLine;
class SweepReader;
class UnitConnection;
class WorkerThread;
class topBanner;
struct MainActions;

class RunControl : public QObject, public MeasurementSeam
{
    Q_OBJECT
public:
    struct Needs {
        QWidget* window = nullptr; // parent of boxes; closed after a run when asked
        RIRavaVCntrl* ctrl = nullptr;
        WorkerThread* worker = nullptr;
        std::atomic<bool>* abort = nullptr;
        LinearDriver* linDriver = nullptr;
        UnitConnection* connection = nullptr;
        SessionWindows* sessions = nullptr;
        StatusLine* status = nullptr;
        Alerts* alerts = nullptr;
        const MainActions* actions = nullptr;
        topBanner* banner = nullptr;
    };
    explicit RunControl(Needs needs);
    ~RunControl() override;

    QProgressBar* progressBar() const { return m_progress; }
    QLabel* timeLeftLabel() const { return m_timeLeft; }

    ScanSequence* sequence() const { return m_sequence.get(); }
    SessionJournals* journals() const { return m_journals; }
    ControllerDrive* drive() const { return m_drive.get(); }
    ProbeCleaner* cleaner() const { return m_cleaner.get(); }
    // A run or a cleaning is active (commands that would pull the unit or
    // the session away are refused meanwhile).
    bool isRunActive() const { return m_running; }
    bool isCleaning() const { return m_cleaning; }

    // The Scan action: checked starts a run (it returns when the run ended),
    // unchecked aborts it.
    void scanAction(bool checked);
    // The Clean action: checked cleans with the box at the end, unchecked aborts.
    void cleanAction();
    // One cleaning with the current session's cleaning, sync and idle
    // settings (as Clean does, without its box).
    bool cleanProbeTip();
    // Move: the drive dialog, once the connect's drive search has ended.
    void move();
    // Abort: whatever runs on the unit or the drive.
    void abortAll();
    // Aborts an active run at its next check.
    void abortRun();
    // Disconnect or close asked for during a run: done once it has ended.
    void disconnectWhenEnded() { m_disconnectAfterRun = true; }
    void closeWhenEnded() { m_closeAfterRun = true; }
    // Refuses a command while a run is active, with a box (true when refused).
    bool refusedDuringRun();
    void updateProgressBar();

    // The procedures' seam.
    void alert(const QString& line) override;
    QStringList alerts() const override;
    void clearAlerts() override;
    void setState(int state) override;
    void appendStateText(const QString& text) override;
    void critical(const QString& title, const QString& text) override;
    void information(const QString& title, const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    void log(const QStringList& lines) override;
    void processEvents() override;
    void sleepMs(int ms) override;
    qint64 nowMs() override { return m_clock.elapsed(); }

signals:
    void widgetStatesChanged();
    // From the press of Scan (or a cleaning's start) to its end.
    void scanRunningChanged(bool running);

private:
    void uncheckClean();
    void afterActivity();

    Needs m_n;
    QElapsedTimer m_clock;
    std::unique_ptr<SweepReader> m_io;
    std::unique_ptr<ControllerDrive> m_drive;
    std::unique_ptr<RunSessionObserver> m_runObserver;
    std::unique_ptr<ScanSequence> m_sequence;
    std::unique_ptr<ProbeCleaner> m_cleaner;
    SessionJournals* m_journals;
    bool m_running = false;
    bool m_cleaning = false;
    bool m_disconnectAfterRun = false;
    bool m_closeAfterRun = false;
    QProgressBar* m_progress;
    QLabel* m_timeLeft;
    QTimer* m_progressTimer;
};
