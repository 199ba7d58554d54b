#pragma once
// The main window: owns the controller, the job thread and the session
// windows; connects, calibrates, shows the SYNC frequency and the alerts, and
// runs the session file commands. Texts and rules live in AppText/AppState.
#include "AppState.h"
#include "ConfigParam.h"
#include "RIRavaVCntrl.h"
#include "SessionFile.h"

#include <QList>
#include <QHostAddress>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTime>
#include <atomic>
#include <memory>

class ControllerDrive;
class JobHost;
class MainWinJobHost;
class ScriptDialog;
class ConfigParamPanel;
class ControllerJobs;
class LinearDriver;
class MainWinSeam;
class DataServer;
class ServerDialog;
class PlotManager;
class ProbeCleaner;
class RunSessionObserver;
class ScanSequence;
class SweepReader;
class SessionJournals;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QTimer;
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
    const QStringList& alertList() const { return m_alertList; }
    int appState() const { return m_appState; }
    bool isAborted() const { return m_abort.load(); }
    bool isAdvanced() const { return m_advanced; }
    QString connectionLabelText() const;
    QString syncLabelText() const;
    QString statusText() const;
    QString timeLeftText() const;
    QList<PlotManager*> sessions() const { return m_sessions; }
    PlotManager* currentSession() const { return m_current; }
    int openSessionCount() const { return m_openSessions; }
    QMdiArea* mdiArea() const { return m_mdi; }
    topBanner* banner() const { return m_banner; }
    LinearDriver* linearDriver() const { return m_linDriver; }
    QPushButton* alertButton() const { return m_alertButton; }
    QAction* action(const QString& text) const;
    QString dialogPath() const { return m_dialogPath; }
    QString openFileName() const { return m_openFileName; }
    QString lastHardwareInfo() const { return m_lastHardwareInfo; }
    // The measurement run (tests, batch jobs): procedures and their state.
    ScanSequence* sequence() const { return m_sequence.get(); }
    // The journals of the sessions that runs fill (in the working folder's
    // "recovery" folder).
    SessionJournals* journals() const { return m_journals; }
    ControllerDrive* drive() const { return m_drive.get(); }
    bool isRunActive() const { return m_running; }
    // Probe-tip cleaning (tests, batch jobs): the cleaner with its last-clean
    // clock, whether a cleaning runs, and one cleaning with the current
    // session's cleaning, sync and idle settings (as Clean does, without its box).
    ProbeCleaner* cleaner() const { return m_cleaner.get(); }
    bool isCleaning() const { return m_cleaning; }
    bool cleanProbeTip();
    ConfigParamPanel* configPanel(PlotManager* pm) const;

    // True while another thread talks to the unit (job thread, calibration,
    // drive worker): the GUI then makes no controller call of its own.
    bool controllerBusy() const;
    // From the end of a connect until the drive search that follows it has
    // ended and its result is read (the search is one of the busy jobs).
    bool driveSearchPending() const { return m_driveSearchPending; }
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
    DataServer* dataServer() const { return m_server; }
    ServerDialog* serverDialog();
    // Nothing runs: no measurement, cleaning, calibration, job or drive move.
    bool isIdleForRemoteScan() const;
    // Why a remote start would start nothing now; empty when it would start.
    QString remoteScanRefusal() const;

    // Batch jobs (MainWinJob.cpp): what job lines act through, and the flag
    // that refuses Run Job, Disconnect, New, Open and remote scans meanwhile.
    JobHost& jobHost();
    bool isJobOpen() const { return m_batchJob; }
    void setJobOpen(bool open);
    ScriptDialog* scriptDialog() const;

signals:
    void calibrationStarted();
    void connectingFirstSession();

public slots:
    void abortAll();
    void stopJob();
    void setWidgetStates();
    void sessionChange(QMdiSubWindow* window);

private slots:
    void actionConnectSlot();
    void copy();
    void actionCalibrateSlot();
    void updateCalibProgress();
    void actionCleanSlot();
    void actionScanSlot(bool b);
    void setDefVoltage(bool rerun);
    void setDefVoltage();
    void resynchronizeFreq();
    PlotManager* createSession();
    void closeSession(PlotManager* pm);
    void saveSession();
    void saveAsSession();
    void exportData();
    // File > Export > HDF5: the active session as one HDF5 file (MainWinExport.cpp).
    void exportHdf5();
    void loadSession();
    void importCurves();
    void startNewSession();
    void help();
    void veskInfo();
    void setAdvMode();
    void showLinDriverSettings();
    void showLangmuirSettings();
    void showConfigPanel();
    void updateSyncFreq();
    void updateProgressBar();
    void editEEDFTable();
    void showAlert();
    void connectClicked();
    void scanClicked();
    void cleanClicked();
    void newClicked();
    void about();
    void openServerDialog();
    void doBatchJob();
    void abortJobLines();
    void toggleServer(bool on);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildActions();
    void buildStatusBar();
    void setAppState(int state);
    void addAlert(const char* prefix, const QString& message);
    bool connectDevice();
    void disconnectDevice();
    // A live session's panel: its idle voltage and SYNC signals reach the unit.
    void attachPanel(ConfigParamPanel* panel);
    void calibrateDevice();
    // Aborts whatever the job thread runs and waits until it is idle.
    void stopActivity();
    // The stop every abort path sends to a moving linear drive.
    void stopLinearDrive();
    bool waitForJob(int sliceMs);
    // Lets the drive search started after a connect end first (with events);
    // true when the unit is still connected afterwards.
    bool awaitDriveSearch();
    void driveSearchEnded();
    bool m_driveSearchPending = false;
    void readWindowSettings();
    void writeWindowSettings();
    void notAvailable(const QString& what);
    void updateTabBar();
    void updateTitle();
    PlotManager* newSessionObject();
    QList<PlotManager*> sessionObjects() const;
    void logLine(const QString& text);
    void logLines(const QStringList& lines);
    ConfigParam& activeConfig(PlotManager* pm);
    // Measurement run (MainWinScan.cpp).
    void buildMeasurement();
    // Refuses a command while a run is active (true when refused).
    bool refusedDuringRun();
    // Likewise while a batch job is open.
    bool refusedDuringJob();
    friend class MainWinJobHost;
    // Probe-tip cleaning (MainWinClean.cpp): the cleaner and the sequence's hook.
    void buildCleaning();
    void uncheckClean();
    // A disconnect or close asked for during a run or cleaning, once it ended.
    void afterActivity();

    RIRavaVCntrl m_ctrl;
    VeskbDescriptor* m_descriptor;
    std::unique_ptr<ControllerJobs> m_jobs;
    std::atomic<bool> m_abort{false};
    WorkerThread* m_worker;
    LinearDriver* m_linDriver;
    bool m_closeWhenDriveIdle = false;

    QList<PlotManager*> m_sessions;
    PlotManager* m_current = nullptr;
    int m_openSessions = 0;
    int m_sessionCounter = 0;
    bool m_batchJob = false;       // a job is open (from loading until it ends)
    bool m_jobDialogOpen = false;  // its window waits for Close
    bool m_closeAfterJob = false;
    std::unique_ptr<MainWinJobHost> m_jobHost;
    QPointer<ScriptDialog> m_scriptDialog;
    bool m_advanced = false;
    int m_appState = 0;
    QStringList m_alertList;
    double m_lastSync = 0.0;
    int m_spinner = 1;
    bool m_extTriggerInUse = false;
    bool m_closing = false;
    bool m_calibrating = false;
    // From Connect until the unit is set up: no action may use it meanwhile.
    bool m_connecting = false;
    std::atomic<bool> m_driveBusy{false};
    double m_railLength = 0.0;
    QString m_openFileName = QStringLiteral("./");
    QString m_dialogPath = QStringLiteral("./");
    QString m_exportFileName = QStringLiteral("./");
    QString m_lastHardwareInfo;
    QString m_statusBeforeCursor;
    bool m_cursorShown = false;
    QTime m_scanClock;

    std::unique_ptr<MainWinSeam> m_seam;
    std::unique_ptr<SweepReader> m_io;
    std::unique_ptr<ControllerDrive> m_drive;
    std::unique_ptr<RunSessionObserver> m_runObserver;
    std::unique_ptr<ScanSequence> m_sequence;
    SessionJournals* m_journals = nullptr;
    std::unique_ptr<ProbeCleaner> m_cleaner;
    bool m_running = false;
    bool m_cleaning = false;
    bool m_disconnectAfterRun = false;
    bool m_closeAfterRun = false;

    SingleProbeConfigParam m_singleConfig;
    DoubleProbeConfigParam m_doubleConfig;

    QMdiArea* m_mdi;
    topBanner* m_banner;
    QTimer* m_syncTimer;
    QTimer* m_progressTimer;
    QTimer* m_calibTimer;
    QPointer<QProgressDialog> m_calibDialog;

    QAction* m_connectAct;
    QAction* m_scanAct;
    QAction* m_cleanAct;
    QAction* m_moveAct;
    QAction* m_eepfAct;
    QAction* m_calibrateAct;
    QAction* m_newAct;
    QAction* m_openAct;
    QAction* m_saveAct;
    QAction* m_saveAsAct;
    QAction* m_exportAct;
    QAction* m_importAct;
    QAction* m_exportGraphAct;
    QAction* m_printGraphAct;
    QAction* m_copyGraphAct;
    QAction* m_copyResultsAct;
    QAction* m_exportHdf5Act;
    QAction* m_runJobAct;
    QAction* m_serverAct;
    QAction* m_exitAct;
    DataServer* m_server = nullptr;
    QPointer<ServerDialog> m_serverDialog;
    QAction* m_copyAct;
    QAction* m_helpAct;
    QAction* m_hwInfoAct;
    QAction* m_aboutAct;

    QProgressBar* m_progress;
    QLabel* m_timeLeft;
    QLabel* m_syncLabel;
    QLabel* m_connLabel;
    QPushButton* m_alertButton;
};
