#include "MainWin.h"

#include "Alerts.h"
#include "AppImages.h"
#include "AppText.h"
#include "ConfigParamPanel.h"
#include "ControllerJobs.h"
#include "DataAnalyzer.h"
#include "EEDF_Dialog.h"
#include "InfoDialogs.h"
#include "JobControl.h"
#include "LinearDriver.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "RunControl.h"
#include "ServerControl.h"
#include "ServerDialog.h"
#include "SessionJournals.h"
#include "SessionWindows.h"
#include "StatusLine.h"
#include "UnitConnection.h"
#include "WorkerThread.h"
#include "topBanner.h"
#include "AppLog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>

namespace {
QString title()
{
    return QString::fromLatin1(AppInfo::Title);
}
} // namespace

MainWin::MainWin(QWidget* parent)
    : QMainWindow(parent)
{
    // 1. Controller (constructed as a member) and its descriptor.
    m_descriptor = m_ctrl.getScannerDescriptor();
    // The settings store's names come before the first session reads its
    // analysis settings from it, so that every session uses the one store.
    QCoreApplication::setOrganizationName(QString::fromLatin1(AppInfo::OrgName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(AppInfo::OrgDomain));
    QCoreApplication::setApplicationName(QString::fromLatin1(AppInfo::AppName));

    // 2. Job thread, menus, banner.
    m_jobs = std::make_unique<ControllerJobs>(m_ctrl);
    m_worker = new WorkerThread(m_jobs.get(), &m_abort, this, WorkerThread::Start::Later);
    // The drive's family is asked on the job thread after the connect (see
    // UnitConnection::connectUnit), so that a missing drive does not hold the connect.
    m_ctrl.setDriveSearchOnConnect(false);
    auto* central = new QWidget(this);
    auto* centralLay = new QVBoxLayout(central);
    centralLay->setContentsMargins(0, 0, 0, 0);
    centralLay->setSpacing(0);
    m_banner = new topBanner(central);
    // The menu bar comes before the status bar (the guide's pictures list
    // the window's parts in this order).
    buildActions();

    // 3. The collaborators, each given what it uses of the others.
    m_status = std::make_unique<StatusLine>(statusBar());
    m_alerts = std::make_unique<Alerts>(this, m_descriptor);
    // (Each Needs lists its fields in this order; their types tell them apart.)
    StatusLine* status = m_status.get();
    Alerts* alerts = m_alerts.get();
    m_sessionWins = std::make_unique<SessionWindows>(
        SessionWindows::Needs{this, &m_ctrl, [this] { return controllerBusy(); }, status, alerts, &m_act}, central);
    SessionWindows* sessions = m_sessionWins.get();
    m_linDriver = new LinearDriver(&m_ctrl, alerts->store(), this);
    m_connection = std::make_unique<UnitConnection>(UnitConnection::Needs{
        this, &m_ctrl, m_worker, &m_abort, m_linDriver, sessions, status, alerts, &m_act, m_banner});
    m_run = std::make_unique<RunControl>(RunControl::Needs{this, &m_ctrl, m_worker, &m_abort, m_linDriver,
                                                           m_connection.get(), sessions, status, alerts, &m_act,
                                                           m_banner});
    m_connection->setRunState({[run = m_run.get()] { return run->isRunActive(); }, m_run->drive()});
    m_jobControl = std::make_unique<JobControl>(
        JobControl::Needs{this, &m_ctrl, &m_abort, m_connection.get(), sessions, m_run.get(), alerts, status});

    centralLay->addWidget(m_banner);
    centralLay->addWidget(m_sessionWins->area(), 1);
    setCentralWidget(central);

    // 4. Status bar, widget states.
    buildStatusBar();
    setWidgetStates();

    // 5. The application log starts with the program: its banner tells which
    // software and library versions wrote what follows.
    AppLog::instance(this, m_descriptor->apiVersion, m_descriptor->apiDescription);

    // 6. Title, random seed (the configuration records were read above).
    setWindowTitle(title());
    setWindowIcon(AppImages::appIcon());
    const QTime now = QTime::currentTime();
    std::srand(AppText::randomSeed(now.msec(), now.second()));

    // 7. Calibrate hidden, window settings, connections.
    m_act.calibrate->setVisible(false);
    readWindowSettings();
    wireCommands();
    connect(m_worker, &WorkerThread::jobFinished, this, &MainWin::setWidgetStates);
    m_worker->start(QThread::InheritPriority);
    m_connection->updateSyncFreq();
    setMinimumWidth(730);
    setAcceptDrops(true);

    // 8. The data server comes with its own window.
    m_serverControl = std::make_unique<ServerControl>(
        ServerControl::Needs{this, &m_ctrl, m_worker, m_sessionWins.get(), m_connection.get(), m_run.get(),
                             m_jobControl.get(), m_status.get(), m_alerts.get(), &m_act});
}

MainWin::~MainWin()
{
    // The job thread uses the controller: it ends before the controller goes.
    m_connection->stopActivity();
    writeWindowSettings();
    delete m_worker;
    m_worker = nullptr;
    // Its settings go to the store while the controller still exists.
    delete m_linDriver;
    m_linDriver = nullptr;
    m_connection->threadsGone();
    // Sessions are child widgets and go with the window; the controller
    // (a member) disconnects in its own destructor.
}

// ---------------------------------------------------------------- building

void MainWin::buildActions()
{
    m_act = MainActions::make(this);
    const MainActions& m = m_act;
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(m.newSession);
    file->addAction(m.open);
    file->addAction(m.import);
    file->addAction(m.save);
    file->addAction(m.saveAs);
    QMenu* exportMenu = file->addMenu("&Export");
    exportMenu->addAction(m.exportCsv);
    exportMenu->addAction(m.exportHdf5);
    file->addAction(m.exportGraph);
    file->addAction(m.printGraph);
    file->addSeparator();
    file->addAction(m.runJob);
    file->addSeparator();
    file->addAction(m.server);
    file->addSeparator();
    file->addAction(m.exit);
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(m.copy);
    edit->addAction(m.copyGraph);
    edit->addAction(m.copyResults);
    QMenu* vesk = menuBar()->addMenu("VESK System");
    vesk->addAction(m.connect);
    vesk->addAction(m.scan);
    vesk->addAction(m.clean);
    vesk->addAction(m.move);
    vesk->addSeparator();
    vesk->addAction(m.eepf);
    vesk->addSeparator();
    vesk->addAction(m.calibrate);
    QMenu* helpMenu = menuBar()->addMenu("&Help");
    helpMenu->addAction(m.help);
    helpMenu->addSeparator();
    helpMenu->addAction(m.hwInfo);
    helpMenu->addAction(m.about);
}

void MainWin::buildStatusBar()
{
    QStatusBar* sb = statusBar();
    sb->setAutoFillBackground(true);
    QPalette pal = sb->palette();
    pal.setColor(QPalette::Window, QColor(22, 44, 82));
    pal.setColor(QPalette::WindowText, Qt::white);
    sb->setPalette(pal);
    m_run->timeLeftLabel()->setPalette(pal);
    QLabel* connLabel = m_connection->connectionLabel();
    m_alerts->button()->setMaximumHeight(std::max(16, connLabel->minimumSizeHint().height()));
    sb->addPermanentWidget(m_run->progressBar());
    sb->addPermanentWidget(m_run->timeLeftLabel());
    sb->addPermanentWidget(m_connection->syncLabel());
    sb->addPermanentWidget(connLabel);
    sb->addPermanentWidget(m_alerts->button());
    sb->showMessage(AppState::text(0));
}

void MainWin::wireCommands()
{
    SessionWindows* sessions = m_sessionWins.get();
    RunControl* run = m_run.get();
    UnitConnection* connection = m_connection.get();
    JobControl* jobs = m_jobControl.get();
    const MainActions& a = m_act;
    connect(sessions, &SessionWindows::widgetStatesChanged, this, &MainWin::setWidgetStates);
    connect(connection, &UnitConnection::widgetStatesChanged, this, &MainWin::setWidgetStates);
    connect(run, &RunControl::widgetStatesChanged, this, &MainWin::setWidgetStates);
    connect(jobs, &JobControl::widgetStatesChanged, this, &MainWin::setWidgetStates);
    // A live session closing ends what the job thread does for it; the
    // current one takes the connection with it.
    connect(sessions, &SessionWindows::liveSessionClosing, this, [this](bool current) {
        m_connection->stopActivity();
        if (current) {
            m_ctrl.abortAll();
            m_act.connect->setChecked(false);
            m_connection->disconnectUnit();
            m_status->setState(0);
        }
    });
    connect(connection, &UnitConnection::abortRequested, this, &MainWin::abortAll);
    // In the window the user measures believing the safety net is there: the
    // failure joins the alerts that the run's end shows (a job prints it).
    connect(run->journals(), &SessionJournals::writeFailed, this, [this](const QString& text) {
        if (!m_jobControl->isOpen())
            m_alerts->add(AlertPrefix::Journal, text);
    });
    // A close asked for while the drive moved goes on once it returned.
    connect(&m_linDriver->control(), &LinearDriveControl::busyChanged, this, [this](bool busy) {
        if (!busy && m_closeWhenDriveIdle) {
            m_closeWhenDriveIdle = false;
            QTimer::singleShot(0, this, &QWidget::close);
        }
    });

    connect(a.copy, &QAction::triggered, sessions, &SessionWindows::copy);
    connect(a.connect, &QAction::triggered, this, &MainWin::connectToggled);
    connect(m_banner, &topBanner::connect, a.connect, &QAction::trigger);
    connect(m_banner, &topBanner::clean, this, [this] {
        if (!m_jobControl->refusedDuringJob())
            m_act.clean->trigger();
    });
    connect(m_banner, &topBanner::newButton, a.newSession, &QAction::trigger);
    connect(m_banner, &topBanner::scan, this, [this] {
        if (!m_jobControl->refusedDuringJob())
            m_act.scan->trigger();
    });
    connect(a.calibrate, &QAction::triggered, connection, &UnitConnection::calibrateAction);
    connect(a.clean, &QAction::triggered, run, &RunControl::cleanAction);
    connect(a.scan, &QAction::toggled, run, &RunControl::scanAction);
    connect(a.newSession, &QAction::triggered, this, &MainWin::startNewSession);
    connect(a.save, &QAction::triggered, sessions, &SessionWindows::save);
    connect(a.saveAs, &QAction::triggered, sessions, &SessionWindows::saveAs);
    connect(a.exportCsv, &QAction::triggered, sessions, &SessionWindows::exportCsv);
    connect(a.exportHdf5, &QAction::triggered, sessions, &SessionWindows::exportHdf5);
    connect(a.open, &QAction::triggered, this, [this] {
        if (!refusedDuringRunOrJob())
            m_sessionWins->open();
    });
    connect(a.import, &QAction::triggered, this, [this] {
        if (!refusedDuringRunOrJob())
            m_sessionWins->importCurves();
    });
    // The figure commands act on the session window in front.
    auto onShown = [sessions](void (PlotManager::*f)()) { return [sessions, f] { sessions->onShown(f); }; };
    connect(a.exportGraph, &QAction::triggered, sessions, onShown(&PlotManager::exportGraph));
    connect(a.printGraph, &QAction::triggered, sessions, onShown(&PlotManager::printGraph));
    connect(a.copyGraph, &QAction::triggered, sessions, onShown(&PlotManager::copyGraph));
    connect(a.copyResults, &QAction::triggered, sessions, onShown(&PlotManager::copyResults));
    connect(a.exit, &QAction::triggered, this, &QWidget::close);
    connect(a.help, &QAction::triggered, this, &MainWin::help);
    connect(a.about, &QAction::triggered, this, [this] {
        AboutDialog dlg(this);
        Prompter::instance().execDialog(&dlg);
    });
    connect(a.server, &QAction::triggered, this, [this] {
        ServerDialog* d = serverDialog();
        d->show();
        d->raise();
        d->activateWindow();
    });
    connect(a.hwInfo, &QAction::triggered, this, &MainWin::veskInfo);
    connect(a.eepf, &QAction::triggered, this, [this] {
        EEDF_Dialog::editDefaultTable(this, QDir::current().filePath(QStringLiteral("eedf.txt")));
    });
    connect(a.move, &QAction::triggered, run, &RunControl::move);
    connect(a.runJob, &QAction::triggered, jobs, &JobControl::runJob);
    auto* f7 = new QShortcut(QKeySequence(Qt::Key_F7), this);
    connect(f7, &QShortcut::activated, sessions, [sessions] {
        if (PlotManager* pm = sessions->current())
            pm->showSettings();
    });
    auto* f8 = new QShortcut(QKeySequence(Qt::Key_F8), this);
    connect(f8, &QShortcut::activated, this, &MainWin::showConfigPanel);
    auto* adv = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::Key_Period), this);
    connect(adv, &QShortcut::activated, this, &MainWin::setAdvMode);
}

// ---------------------------------------------------------------- state for callers

const QStringList& MainWin::alertList() const { return m_alerts->list(); }
int MainWin::appState() const { return m_status->state(); }
bool MainWin::isAdvanced() const { return m_sessionWins->isAdvanced(); }
QString MainWin::connectionLabelText() const { return m_connection->connectionLabel()->text(); }
QString MainWin::syncLabelText() const { return m_connection->syncLabel()->text(); }
QString MainWin::statusText() const { return m_status->text(); }
QString MainWin::timeLeftText() const { return m_run->timeLeftLabel()->text(); }
QList<PlotManager*> MainWin::sessions() const { return m_sessionWins->list(); }
PlotManager* MainWin::currentSession() const { return m_sessionWins->current(); }
int MainWin::openSessionCount() const { return m_sessionWins->openCount(); }
QMdiArea* MainWin::mdiArea() const { return m_sessionWins->area(); }
QPushButton* MainWin::alertButton() const { return m_alerts->button(); }
QString MainWin::dialogPath() const { return m_sessionWins->dialogPath(); }
QString MainWin::openFileName() const { return m_sessionWins->openFileName(); }
ScanSequence* MainWin::sequence() const { return m_run->sequence(); }
SessionJournals* MainWin::journals() const { return m_run->journals(); }
ControllerDrive* MainWin::drive() const { return m_run->drive(); }
bool MainWin::isRunActive() const { return m_run->isRunActive(); }
ProbeCleaner* MainWin::cleaner() const { return m_run->cleaner(); }
bool MainWin::isCleaning() const { return m_run->isCleaning(); }
bool MainWin::cleanProbeTip() { return m_run->cleanProbeTip(); }
ConfigParamPanel* MainWin::configPanel(PlotManager* pm) const { return SessionWindows::configPanel(pm); }
bool MainWin::driveSearchPending() const { return m_connection->driveSearchPending(); }
void MainWin::setDriveBusy(bool busy) { m_connection->setDriveBusy(busy); }
void MainWin::setRailLength(double mm) { m_sessionWins->setRailLength(mm); }
JobHost& MainWin::jobHost() { return *m_jobControl; }
bool MainWin::isJobOpen() const { return m_jobControl->isOpen(); }
void MainWin::setJobOpen(bool open) { m_jobControl->setOpen(open); }
ScriptDialog* MainWin::scriptDialog() const { return m_jobControl->scriptDialog(); }
void MainWin::abortAll() { m_run->abortAll(); }
void MainWin::stopJob() { m_jobControl->stopJob(); }
void MainWin::sessionChange(QMdiSubWindow* window) { m_sessionWins->activated(window); }
void MainWin::actionScanSlot(bool checked) { m_run->scanAction(checked); }
void MainWin::saveAsSession() { m_sessionWins->saveAs(); }
void MainWin::resynchronizeFreq() { m_connection->resynchronizeFreq(); }
void MainWin::updateSyncFreq() { m_connection->updateSyncFreq(); }
void MainWin::help() { HelpMenu::openUserGuide(this, *m_alerts); }

void MainWin::startNewSession()
{
    if (!refusedDuringRunOrJob())
        m_sessionWins->create();
}

void MainWin::showConfigPanel()
{
    if (PlotManager* pm = m_sessionWins->current())
        pm->showConfig();
}

bool MainWin::openSessionFile(const QString& fileName, SessionFile::ReadReport* report)
{
    return m_sessionWins->openFile(fileName, report);
}

bool MainWin::controllerBusy() const
{
    // Also asked by the session panels while the window goes.
    return m_connection && m_connection->controllerBusy();
}

QAction* MainWin::action(const QString& text) const
{
    for (QAction* a : findChildren<QAction*>())
        if (a->text() == text)
            return a;
    return nullptr;
}

bool MainWin::refusedDuringRunOrJob()
{
    return m_run->refusedDuringRun() || m_jobControl->refusedDuringJob();
}

// ---------------------------------------------------------------- widget states

void MainWin::setWidgetStates()
{
    WidgetStateInput in;
    in.connected = m_act.connect->isChecked() && !m_connection->isConnecting();
    in.batchJob = m_jobControl->isOpen();
    in.calibrateChecked = m_act.calibrate->isChecked();
    in.cleanChecked = m_act.clean->isChecked();
    in.scanChecked = m_act.scan->isChecked();
    WidgetStates cur;
    cur.calibrate = m_act.calibrate->isEnabled();
    cur.clean = m_act.clean->isEnabled();
    cur.scan = m_act.scan->isEnabled();
    cur.move = m_act.move->isEnabled();
    cur.bannerClean = m_banner->cleanButton()->isEnabled();
    cur.bannerScan = m_banner->scanButton()->isEnabled();
    cur.bannerNew = m_banner->newButtonWidget()->isEnabled();
    const WidgetStates s = computeWidgetStates(in, cur);
    m_act.calibrate->setEnabled(s.calibrate);
    m_act.clean->setEnabled(s.clean);
    m_act.scan->setEnabled(s.scan);
    m_act.move->setEnabled(s.move);
    m_banner->setCleanEnabled(s.bannerClean);
    m_banner->setScanEnabled(s.bannerScan);
    m_banner->setNewEnabled(s.bannerNew);
    m_banner->setConnectChecked(m_act.connect->isChecked());
    m_banner->setCleanChecked(m_act.clean->isChecked());
    m_banner->setScanChecked(m_act.scan->isChecked());

    const bool idle = !in.batchJob && !in.calibrateChecked && !in.cleanChecked && !in.scanChecked &&
                      !controllerBusy();
    for (PlotManager* pm : m_sessionWins->all()) {
        if (ConfigParamPanel* p = SessionWindows::configPanel(pm)) {
            p->setEnabledMode(idle);
            if (idle)
                p->controllerIdle();
        }
    }
}

// ---------------------------------------------------------------- connect

void MainWin::connectToggled()
{
    const bool checked = m_act.connect->isChecked();
    if (m_jobControl->isOpen() && !checked) {
        // The job's lines need the unit: Disconnect waits for the job's end.
        m_act.connect->setChecked(true);
        m_banner->setConnectChecked(true);
        m_jobControl->refusedDuringJob();
        return;
    }
    if (m_run->isRunActive() && !checked) {
        // Disconnect during a run: abort it, and disconnect once it has ended.
        m_run->disconnectWhenEnded();
        m_run->abortRun();
        return;
    }
    if (checked) {
        m_abort.store(false);
        m_alerts->clear();
        m_connection->connectUnit();
    } else {
        m_connection->disconnectUnit();
    }
    m_status->setState(0);
    setWidgetStates();
}

// ---------------------------------------------------------------- help menu

void MainWin::veskInfo()
{
    m_lastHardwareInfo = HelpMenu::hardwareInfoText(*m_descriptor, m_sessionWins->isAdvanced());
    HardwareInfoDialog dlg(m_lastHardwareInfo, this);
    Prompter::instance().execDialog(&dlg);
}

void MainWin::setAdvMode()
{
    m_sessionWins->setAdvanced(!m_sessionWins->isAdvanced());
    m_act.calibrate->setVisible(m_sessionWins->isAdvanced());
}

// ---------------------------------------------------------------- data server

ServerDialog* MainWin::serverDialog()
{
    return m_serverControl->dialog();
}

DataServer* MainWin::dataServer() const
{
    return m_serverControl ? m_serverControl->server() : nullptr;
}

bool MainWin::startServer(quint16 port, bool localOnly, bool reportFailure)
{
    return startServer(port, localOnly ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::Any),
                       reportFailure);
}

bool MainWin::startServer(quint16 port, const QHostAddress& address, bool reportFailure)
{
    return m_serverControl->start(port, address, reportFailure);
}

void MainWin::setRemoteScanStart(bool allowed)
{
    m_serverControl->setRemoteScanStart(allowed);
}

bool MainWin::isIdleForRemoteScan() const
{
    return remoteScanRefusal().isEmpty();
}

QString MainWin::remoteScanRefusal() const
{
    return m_serverControl->remoteScanRefusal();
}

// ---------------------------------------------------------------- window

void MainWin::readWindowSettings()
{
    QSettings s;
    s.beginGroup("mainsettings");
    m_sessionWins->readSettings(s);
    if (!restoreGeometry(s.value("geometry").toByteArray())) {
        // First start: the graphs and both columns beside them at a size a
        // laptop screen shows whole (1366 x 768 with its task bar).
        QSize size(1366, 720);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableGeometry().size());
        resize(size.expandedTo(minimumSize()));
    }
    restoreState(s.value("windowState").toByteArray(), 0);
    s.endGroup();
}

void MainWin::writeWindowSettings()
{
    QSettings s;
    s.beginGroup("mainsettings");
    m_sessionWins->writeSettings(s);
    s.setValue("geometry", saveGeometry());
    s.setValue("windowState", saveState(0));
    s.endGroup();
}

void MainWin::closeEvent(QCloseEvent* event)
{
    if (m_jobControl->isOpen()) {
        // The job's loop is below this call: end it, close once it returned.
        m_jobControl->closeWhenEnded();
        m_jobControl->stopJob();
        event->ignore();
        return;
    }
    if (m_run->isRunActive()) {
        // The run's procedures are below this call: abort, close when it ended.
        m_run->closeWhenEnded();
        m_run->abortRun();
        event->ignore();
        return;
    }
    if (m_linDriver->control().isBusy()) {
        // A moving drive is aborted first; the window closes once it returned.
        m_closeWhenDriveIdle = true;
        m_linDriver->control().abort();
        event->ignore();
        return;
    }
    m_connection->setClosing(true);
    // A running job, calibration or run ends before any session goes.
    if (m_connection->isCalibrating() || (m_worker && !m_worker->isIdle()))
        m_connection->stopActivity();
    QMdiArea* mdi = m_sessionWins->area();
    const int n = m_sessionWins->openCount();
    for (int i = 0; i < n; ++i) {
        const int before = mdi->subWindowList().size();
        QMdiSubWindow* sub = mdi->activeSubWindow();
        if (!sub && !mdi->subWindowList().isEmpty())
            sub = mdi->subWindowList().first();
        if (!sub)
            break;
        sub->close();
        if (mdi->subWindowList().size() == before) {
            m_connection->setClosing(false);
            event->ignore();
            return;
        }
    }
    // The home question, asked while the window still processes events.
    m_linDriver->reset();
    event->accept();
}

void MainWin::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && AppText::acceptsDrop(event->mimeData()->urls(), m_status->state()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWin::dropEvent(QDropEvent* event)
{
    if (m_run->isRunActive()) {
        event->ignore();
        return;
    }
    if (!event->mimeData()->hasUrls() || !AppText::acceptsDrop(event->mimeData()->urls(), m_status->state())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    openSessionFile(event->mimeData()->urls().first().toLocalFile());
}
