#pragma once
// The main window: the controller, the job thread, the menus, the banner and
// the status bar, and the wiring between the collaborators that do the work:
// the unit's connection, the run control, the batch jobs, the session
// windows, the status line and the alerts. Texts and rules live in
// AppText/AppState.
#include "AppState.h"
#include "ConfigParam.h"
#include "MainActions.h"
#include "RIRavaVCntrl.h"
#include "SessionFile.h"

#include <QHostAddress>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <memory>

class Alerts;
class ConfigParamPanel;
class ControllerDrive;
class ControllerJobs;
class DataServer;
class JobControl;
class JobHost;
class LinearDriver;
class PlotManager;
class ProbeCleaner;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class RunControl;
class ScanSequence;
class ScriptDialog;
class ServerControl;
class ServerDialog;
class SessionJournals;
class SessionWindows;
class StatusLine;
class UnitConnection;
class WorkerThread;
class topBanner;

class MainWin : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWin(QWidget* parent = nullptr);
    ~MainWin() override;

    // Opens a session file in a new session window (command line, drop);
    // a failed load closes that window again.
    bool openSessionFile(const QString& fileName, SessionFile::ReadReport* report = nullptr);

    // State for tests, tools and the screenshot renderer.
    RIRavaVCntrl& controller() { return m_ctrl; }
    WorkerThread* worker() const { return m_worker; }
    const QStringList& alertList() const;
    int appState() const;
    bool isAborted() const { return m_abort.load(); }
    bool isAdvanced() const;
    QString connectionLabelText() const;
    QString syncLabelText() const;
    QString statusText() const;
    QString timeLeftText() const;
    QList<PlotManager*> sessions() const;
    PlotManager* currentSession() const;
    int openSessionCount() const;
    QMdiArea* mdiArea() const;
    topBanner* banner() const { return m_banner; }
    LinearDriver* linearDriver() const { return m_linDriver; }
    QPushButton* alertButton() const;
    QAction* action(const QString& text) const;
    QString dialogPath() const;
    QString openFileName() const;
    QString lastHardwareInfo() const { return m_lastHardwareInfo; }
    // The measurement run (tests, batch jobs): procedures and their state.
    ScanSequence* sequence() const;
    // The journals of the sessions that runs fill (in the working folder's
    // "recovery" folder).
    SessionJournals* journals() const;
    ControllerDrive* drive() const;
    bool isRunActive() const;
    // Probe-tip cleaning (tests, batch jobs): the cleaner with its last-clean
    // clock, whether a cleaning runs, and one cleaning with the current
    // session's cleaning, sync and idle settings (as Clean does, without its box).
    ProbeCleaner* cleaner() const;
    bool isCleaning() const;
    bool cleanProbeTip();
    ConfigParamPanel* configPanel(PlotManager* pm) const;

    // True while another thread talks to the unit (job thread, calibration,
    // drive worker): the GUI then makes no controller call of its own.
    bool controllerBusy() const;
    // From the end of a connect until the drive search that follows it has
    // ended and its result is read (the search is one of the busy jobs).
    bool driveSearchPending() const;
    // The drive dialog reports its worker here while one runs.
    void setDriveBusy(bool busy);
    // The drive's rail length (mm) bounds every session's position boxes.
    void setRailLength(double mm);

    // Starts the data server as the server dialog's switch would; false after
    // reporting the listen failure in a message box (when asked to).
    bool startServer(quint16 port, bool localOnly = false, bool reportFailure = true);
    bool startServer(quint16 port, const QHostAddress& address, bool reportFailure = true);
    // The server dialog's "Allow remote scan start".
    void setRemoteScanStart(bool allowed);
    DataServer* dataServer() const;
    ServerDialog* serverDialog();
    // Nothing runs: no measurement, cleaning, calibration, job or drive move.
    bool isIdleForRemoteScan() const;
    // Why a remote start would start nothing now; empty when it would start.
    QString remoteScanRefusal() const;

    // Batch jobs: what job lines act through, and the flag that refuses
    // Run Job, Disconnect, New, Open and remote scans meanwhile.
    JobHost& jobHost();
    bool isJobOpen() const;
    void setJobOpen(bool open);
    ScriptDialog* scriptDialog() const;

public slots:
    void abortAll();
    void stopJob();
    void setWidgetStates();
    void sessionChange(QMdiSubWindow* window);

private slots:
    // Invoked by name from tests and the screenshot renderer.
    void actionScanSlot(bool checked);
    void startNewSession();
    void saveAsSession();
    void showConfigPanel();
    void resynchronizeFreq();
    void updateSyncFreq();
    void help();
    void veskInfo();
    void setAdvMode();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildActions();
    void buildStatusBar();
    void wireCommands();
    void readWindowSettings();
    void writeWindowSettings();
    // Connect checked or unchecked (menu, banner, F5).
    void connectToggled();
    // Refuses a command while a run or a job is active (true when refused).
    bool refusedDuringRunOrJob();

    RIRavaVCntrl m_ctrl;
    VeskbDescriptor* m_descriptor;
    std::unique_ptr<ControllerJobs> m_jobs;
    std::atomic<bool> m_abort{false};
    WorkerThread* m_worker;
    LinearDriver* m_linDriver = nullptr;
    // A close asked for while the drive moved goes on once it returned.
    bool m_closeWhenDriveIdle = false;
    QString m_lastHardwareInfo;
    MainActions m_act;
    topBanner* m_banner;

    std::unique_ptr<StatusLine> m_status;
    std::unique_ptr<Alerts> m_alerts;
    std::unique_ptr<SessionWindows> m_sessionWins;
    std::unique_ptr<UnitConnection> m_connection;
    std::unique_ptr<RunControl> m_run;
    std::unique_ptr<JobControl> m_jobControl;

    std::unique_ptr<ServerControl> m_serverControl;
};
