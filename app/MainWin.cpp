#include "MainWin.h"

#include "AppImages.h"
#include "ConfigParamPanel.h"
#include "AppText.h"
#include "ControllerDrive.h"
#include "ControllerJobs.h"
#include "MainWinJob.h"
#include "MainWinScan.h"
#include "SweepReader.h"
#include "DataServer.h"
#include "DataAnalyzer.h"
#include "EEDF_Dialog.h"
#include "InfoDialogs.h"
#include "LinearDriver.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "ProbeCleaner.h"
#include "ServerDialog.h"
#include "Prompter.h"
#include "WorkerThread.h"
#include "topBanner.h"
#include "AppLog.h"
#include "ExportOptions.h"
#include "SessionExport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QStandardPaths>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTabBar>
#include <QTextStream>
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

    // The program-wide configuration pair (step 6) is read before the first
    // session object exists, since every session starts from a copy of it.
    m_singleConfig.readSettings();
    m_doubleConfig.readSettings();

    // 2. Job thread, first (hidden) session, MDI area.
    m_jobs = std::make_unique<ControllerJobs>(m_ctrl);
    m_worker = new WorkerThread(m_jobs.get(), &m_abort, this, WorkerThread::Start::Later);
    // The drive's family is asked on the job thread after the connect (see
    // connectDevice), so that a missing drive does not hold the connect.
    m_ctrl.setDriveSearchOnConnect(false);
    buildMeasurement();
    m_current = newSessionObject();
    m_linDriver = new LinearDriver(&m_ctrl, &m_alertList, this);
    // A close asked for while the drive moved goes on once it returned.
    connect(&m_linDriver->control(), &LinearDriveControl::busyChanged, this, [this](bool busy) {
        if (!busy && m_closeWhenDriveIdle) {
            m_closeWhenDriveIdle = false;
            QTimer::singleShot(0, this, &QWidget::close);
        }
    });
    auto* central = new QWidget(this);
    auto* centralLay = new QVBoxLayout(central);
    centralLay->setContentsMargins(0, 0, 0, 0);
    centralLay->setSpacing(0);
    m_banner = new topBanner(central);
    m_mdi = new QMdiArea(central);
    m_mdi->setViewMode(QMdiArea::TabbedView);
    m_mdi->setTabShape(QTabWidget::Triangular);
    m_mdi->setTabPosition(QTabWidget::South);
    m_mdi->setActivationOrder(QMdiArea::CreationOrder);
    m_mdi->setBackground(QColor(40, 52, 72));
    centralLay->addWidget(m_banner);
    centralLay->addWidget(m_mdi, 1);
    setCentralWidget(central);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &MainWin::sessionChange);
    m_calibTimer = new QTimer(this);
    m_calibTimer->setInterval(500);

    // 3. Actions, menus, status bar.
    buildActions();
    buildStatusBar();
    setWidgetStates();

    // 4. Timers.
    m_syncTimer = new QTimer(this);
    m_syncTimer->setInterval(1000);
    m_syncTimer->start();
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(200);
    m_progressTimer->setSingleShot(true);

    // The application log starts with the program: its banner tells which
    // software and library versions wrote what follows.
    AppLog::instance(this, m_descriptor->apiVersion, m_descriptor->apiDescription);

    // 6. Title, random seed (the configuration records were read above).
    setWindowTitle(title());
    setWindowIcon(AppImages::appIcon());
    const QTime now = QTime::currentTime();
    std::srand(AppText::randomSeed(now.msec(), now.second()));

    // 7. Calibrate hidden, window settings, connections.
    m_calibrateAct->setVisible(false);
    readWindowSettings();
    connect(m_copyAct, &QAction::triggered, this, &MainWin::copy);
    connect(m_connectAct, &QAction::triggered, this, &MainWin::actionConnectSlot);
    connect(m_banner, &topBanner::connect, this, &MainWin::connectClicked);
    connect(m_banner, &topBanner::clean, this, &MainWin::cleanClicked);
    connect(m_banner, &topBanner::newButton, this, &MainWin::newClicked);
    connect(m_banner, &topBanner::scan, this, &MainWin::scanClicked);
    connect(m_calibrateAct, &QAction::triggered, this, &MainWin::actionCalibrateSlot);
    connect(m_cleanAct, &QAction::triggered, this, &MainWin::actionCleanSlot);
    connect(m_scanAct, &QAction::toggled, this, &MainWin::actionScanSlot);
    connect(m_newAct, &QAction::triggered, this, &MainWin::startNewSession);
    connect(this, &MainWin::connectingFirstSession, this, &MainWin::createSession);
    connect(m_saveAct, &QAction::triggered, this, &MainWin::saveSession);
    connect(m_saveAsAct, &QAction::triggered, this, &MainWin::saveAsSession);
    connect(m_exportAct, &QAction::triggered, this, &MainWin::exportData);
    connect(m_exportHdf5Act, &QAction::triggered, this, &MainWin::exportHdf5);
    connect(m_openAct, &QAction::triggered, this, &MainWin::loadSession);
    connect(m_importAct, &QAction::triggered, this, &MainWin::importCurves);
    connect(m_exitAct, &QAction::triggered, this, &QWidget::close);
    connect(m_helpAct, &QAction::triggered, this, &MainWin::help);
    connect(m_aboutAct, &QAction::triggered, this, &MainWin::about);
    connect(m_serverAct, &QAction::triggered, this, &MainWin::openServerDialog);
    connect(m_hwInfoAct, &QAction::triggered, this, &MainWin::veskInfo);
    connect(m_eepfAct, &QAction::triggered, this, &MainWin::editEEDFTable);
    connect(m_moveAct, &QAction::triggered, this, &MainWin::showLinDriverSettings);
    connect(m_alertButton, &QPushButton::clicked, this, &MainWin::showAlert);
    connect(this, &MainWin::calibrationStarted, this, &MainWin::updateCalibProgress);
    connect(m_calibTimer, &QTimer::timeout, this, &MainWin::updateCalibProgress);
    connect(m_syncTimer, &QTimer::timeout, this, &MainWin::updateSyncFreq);
    connect(m_worker, &WorkerThread::jobFinished, this, [this] {
        if (m_driveSearchPending && m_worker->job() != WorkerThread::JobDriveSearch)
            driveSearchEnded();
    });
    connect(m_worker, &WorkerThread::jobFinished, this, &MainWin::setWidgetStates);
    m_worker->start(QThread::InheritPriority);
    connect(m_progressTimer, &QTimer::timeout, this, &MainWin::updateProgressBar);
    auto* f7 = new QShortcut(QKeySequence(Qt::Key_F7), this);
    connect(f7, &QShortcut::activated, this, &MainWin::showLangmuirSettings);
    auto* f8 = new QShortcut(QKeySequence(Qt::Key_F8), this);
    connect(f8, &QShortcut::activated, this, &MainWin::showConfigPanel);
    auto* adv = new QShortcut(QKeySequence(Qt::CTRL + Qt::ALT + Qt::Key_Period), this);
    connect(adv, &QShortcut::activated, this, &MainWin::setAdvMode);
    connect(m_runJobAct, &QAction::triggered, this, &MainWin::doBatchJob);
    updateSyncFreq();
    setMinimumWidth(730);
    setAcceptDrops(true);

    // 8. Batch-job commands and the data server come with their own windows.
    m_batchJob = false;
    DataServer::Source src;
    src.serialNumber = [this] { return m_ctrl.isConnected() ? m_descriptor->devNameText() : QString(); };
    src.session = [this]() -> const DataAnalyzer* { return m_current ? m_current->data() : nullptr; };
    m_server = new DataServer(src, this);
    // Queued by the server after the POST's connection closed: no socket
    // handler is below the run this may start.
    connect(m_server, &DataServer::scanStartRequested, this, [this] {
        // A remote start must never press Scan while something runs: that
        // would abort it. Clients wait for "scan_running" to read "False": from
        // then on a POST starts the next run (the banner button's pause after
        // a run guards against the user's double click only).
        const QString why = remoteScanRefusal();
        if (why.isEmpty()) {
            m_scanAct->trigger();
            return;
        }
        const QString line = QStringLiteral("Data server: a POST asked for a scan; nothing started: %1.").arg(why);
        logLine(line);
        qWarning().noquote() << line;
    });
    connect(m_server, &DataServer::notice, this, [this](const QString& line) {
        logLine(line);
        qWarning().noquote() << line;
    });
}

MainWin::~MainWin()
{
    // Child widgets go after this body; their last signals must not reach it.
    disconnect(m_mdi, nullptr, this, nullptr);
    // The job thread uses the controller: it ends before the controller goes.
    stopActivity();
    writeWindowSettings();
    delete m_calibDialog.data();
    delete m_worker;
    m_worker = nullptr;
    // Its settings go to the store while the controller still exists.
    delete m_linDriver;
    m_linDriver = nullptr;
    // Sessions are child widgets and go with the window; the controller
    // (a member) disconnects in its own destructor.
}

// ---------------------------------------------------------------- building

void MainWin::buildActions()
{
    auto make = [this](const QString& text, const QString& tip, QKeySequence key, bool checkable,
                       bool appWide) {
        auto* a = new QAction(text, this);
        if (!tip.isEmpty())
            a->setToolTip(tip);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            if (appWide)
                a->setShortcutContext(Qt::ApplicationShortcut);
        }
        a->setCheckable(checkable);
        return a;
    };
    m_connectAct = make("Connect", "Connect/Disconnect RIRavaV", QKeySequence(Qt::Key_F5), true, true);
    m_scanAct = make("Scan", "Run Data Scan", QKeySequence(Qt::Key_F9), true, true);
    m_scanAct->setStatusTip("Run Data Scan");
    m_scanAct->setWhatsThis("Run Data Scan");
    m_cleanAct = make("Clean", "Clean Probe Tip", QKeySequence(), true, false);
    m_moveAct = make("Move...", "Move Linear Drive", QKeySequence(Qt::Key_F6), false, false);
    m_eepfAct = make("Edit default EEPF Table...", QString(), QKeySequence(), false, false);
    m_calibrateAct = make("Calibrate", "Calibrate RIRavaV", QKeySequence(), true, false);
    m_newAct = make("&New", QString(), QKeySequence(Qt::CTRL + Qt::Key_N), false, true);
    m_openAct = make("&Open...", QString(), QKeySequence(Qt::CTRL + Qt::Key_O), false, true);
    m_saveAct = make("&Save", QString(), QKeySequence(Qt::CTRL + Qt::Key_S), false, true);
    m_saveAsAct = make("Save&As...", QString(), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_S), false, true);
    m_exportAct = make("Spread Sheet (*.csv)...", QString(), QKeySequence(), false, false);
    m_exportHdf5Act = make("HDF5 (*.h5)...", QString(), QKeySequence(), false, false);
    m_importAct = make("Import Curves...", "Read IV curves from text files into a new session", QKeySequence(),
                       false, false);
    m_exportGraphAct = make("Export Graph...", "Write the graphs shown as PNG, SVG or PDF", QKeySequence(), false,
                            false);
    m_printGraphAct = make("Print Graph...", QString(), QKeySequence::Print, false, false);
    m_copyGraphAct = make("Copy Graph", "Copy the graphs shown as an image", QKeySequence(), false, false);
    m_copyResultsAct = make("Copy Results", "Copy the results grid as tab-separated text", QKeySequence(), false,
                            false);
    m_runJobAct = make("Run Job...", QString(), QKeySequence(), false, false);
    m_serverAct = make("Server", QString(), QKeySequence(), false, false);
    m_exitAct = make("E&xit", QString(), QKeySequence(), false, false);
    m_copyAct = make("&Copy", QString(), QKeySequence(Qt::CTRL + Qt::Key_C), false, false);
    m_helpAct = make("&Help", QString(), QKeySequence(Qt::Key_F1), false, true);
    m_hwInfoAct = make("&Hardware Info...", QString(), QKeySequence(), false, false);
    m_aboutAct = make("About...", QString(), QKeySequence(), false, false);
    m_saveAct->setEnabled(false);
    for (QAction* a : {m_exportGraphAct, m_printGraphAct, m_copyGraphAct, m_copyResultsAct})
        a->setEnabled(false);
    m_saveAsAct->setEnabled(false);
    m_exportAct->setEnabled(false);
    m_exportHdf5Act->setEnabled(false);

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(m_newAct);
    file->addAction(m_openAct);
    file->addAction(m_importAct);
    file->addAction(m_saveAct);
    file->addAction(m_saveAsAct);
    QMenu* exportMenu = file->addMenu("&Export");
    exportMenu->addAction(m_exportAct);
    exportMenu->addAction(m_exportHdf5Act);
    file->addAction(m_exportGraphAct);
    file->addAction(m_printGraphAct);
    file->addSeparator();
    file->addAction(m_runJobAct);
    file->addSeparator();
    file->addAction(m_serverAct);
    file->addSeparator();
    file->addAction(m_exitAct);
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(m_copyAct);
    edit->addAction(m_copyGraphAct);
    edit->addAction(m_copyResultsAct);
    // The figure commands act on the session window in front.
    auto onSession = [this](void (PlotManager::*f)()) {
        return [this, f] {
            if (m_current && m_sessions.contains(m_current))
                (m_current->*f)();
        };
    };
    connect(m_exportGraphAct, &QAction::triggered, this, onSession(&PlotManager::exportGraph));
    connect(m_printGraphAct, &QAction::triggered, this, onSession(&PlotManager::printGraph));
    connect(m_copyGraphAct, &QAction::triggered, this, onSession(&PlotManager::copyGraph));
    connect(m_copyResultsAct, &QAction::triggered, this, onSession(&PlotManager::copyResults));
    QMenu* vesk = menuBar()->addMenu("VESK System");
    vesk->addAction(m_connectAct);
    vesk->addAction(m_scanAct);
    vesk->addAction(m_cleanAct);
    vesk->addAction(m_moveAct);
    vesk->addSeparator();
    vesk->addAction(m_eepfAct);
    vesk->addSeparator();
    vesk->addAction(m_calibrateAct);
    QMenu* helpMenu = menuBar()->addMenu("&Help");
    helpMenu->addAction(m_helpAct);
    helpMenu->addSeparator();
    helpMenu->addAction(m_hwInfoAct);
    helpMenu->addAction(m_aboutAct);
}

void MainWin::buildStatusBar()
{
    QStatusBar* sb = statusBar();
    sb->setAutoFillBackground(true);
    QPalette pal = sb->palette();
    pal.setColor(QPalette::Window, QColor(22, 44, 82));
    pal.setColor(QPalette::WindowText, Qt::white);
    sb->setPalette(pal);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 100);
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setTextVisible(true);
    m_progress->setFixedSize(m_progress->sizeHint());
    m_progress->hide();
    m_timeLeft = new QLabel;
    m_timeLeft->setMinimumWidth(m_timeLeft->fontMetrics().horizontalAdvance("-Time-Left-12:34:56-"));
    m_timeLeft->setPalette(pal);
    m_syncLabel = new QLabel;
    m_syncLabel->setMinimumWidth(m_syncLabel->fontMetrics().horizontalAdvance(" Fsync TOO HIGH ") + 10);
    m_syncLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_connLabel = new QLabel(AppText::notConnectedLabel());
    m_connLabel->setMinimumWidth(m_connLabel->fontMetrics().horizontalAdvance("XXXXXXXXXXXXXXX"));
    m_connLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_alertButton = new QPushButton;
    m_alertButton->setFlat(true);
    m_alertButton->setIcon(AppImages::warningIcon());
    m_alertButton->setIconSize(QSize(12, 12));
    m_alertButton->setStatusTip("System alert. Click for more details.");
    m_alertButton->setToolTip("System alert. Click for more details.");
    m_alertButton->setMaximumHeight(std::max(16, m_connLabel->minimumSizeHint().height()));
    m_alertButton->hide();
    sb->addPermanentWidget(m_progress);
    sb->addPermanentWidget(m_timeLeft);
    sb->addPermanentWidget(m_syncLabel);
    sb->addPermanentWidget(m_connLabel);
    sb->addPermanentWidget(m_alertButton);
    sb->showMessage(AppState::text(0));
}

PlotManager* MainWin::newSessionObject()
{
    auto* pm = new PlotManager(this, m_advanced);
    pm->hide();
    pm->setDialogPathStore(&m_dialogPath);
    pm->seedConfigs(m_singleConfig, m_doubleConfig);
    auto* panel = new ConfigParamPanel(pm);
    panel->setController(&m_ctrl, [this] { return controllerBusy(); });
    panel->setCurrentRanges(m_descriptor->iRange);
    panel->setAdvancedMode(m_advanced);
    if (m_railLength > 0)
        panel->setRailLength(m_railLength);
    // Asked on every access: the record the session's probe mode selects now.
    panel->setSource([pm] { return &pm->activeConfig(); });
    pm->setConfigPanel(panel);
    connect(pm, &PlotManager::titleChanged, this, &MainWin::updateTitle);
    connect(pm, &PlotManager::statusMessage, this, [this](const QString& text) { statusBar()->showMessage(text); });
    connect(pm, &PlotManager::saved, this, [this](const QString& file) {
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(file)));
    });
    // The cursor readout borrows the message area; leaving the graph gives it back.
    connect(pm, &PlotManager::cursorReadout, this, [this](const QString& text) {
        if (text.isEmpty()) {
            if (m_cursorShown)
                statusBar()->showMessage(m_statusBeforeCursor);
            m_cursorShown = false;
            return;
        }
        if (!m_cursorShown)
            m_statusBeforeCursor = statusBar()->currentMessage();
        m_cursorShown = true;
        statusBar()->showMessage(text);
    });
    return pm;
}

void MainWin::updateTitle()
{
    // The shown session's file name and modified mark, as the session window shows them.
    const bool shown = m_current && m_sessions.contains(m_current);
    setWindowTitle(shown ? QStringLiteral("%1[*] - %2").arg(m_current->sessionTitle(), title()) : title());
    setWindowModified(shown && m_current->isModified());
}

QList<PlotManager*> MainWin::sessionObjects() const
{
    QList<PlotManager*> all = m_sessions;
    if (m_current && !all.contains(m_current))
        all.append(m_current); // the hidden session before the first connect
    return all;
}

ConfigParamPanel* MainWin::configPanel(PlotManager* pm) const
{
    return pm ? pm->findChild<ConfigParamPanel*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool MainWin::controllerBusy() const
{
    return (m_worker && !m_worker->isIdle()) || m_driveSearchPending || m_calibrating || m_driveBusy.load() || (m_drive && m_drive->isBusy())
           || (m_linDriver && m_linDriver->control().isBusy());
}

void MainWin::setDriveBusy(bool busy)
{
    m_driveBusy.store(busy);
    setWidgetStates();
}

void MainWin::setRailLength(double mm)
{
    if (!(mm > 0))
        return;
    m_railLength = mm;
    const QList<PlotManager*> all = sessionObjects();
    for (PlotManager* pm : all)
        if (ConfigParamPanel* p = configPanel(pm))
            p->setRailLength(mm);
}

// ---------------------------------------------------------------- small helpers

QAction* MainWin::action(const QString& text) const
{
    for (QAction* a : findChildren<QAction*>())
        if (a->text() == text)
            return a;
    return nullptr;
}

QString MainWin::connectionLabelText() const
{
    return m_connLabel->text();
}

QString MainWin::syncLabelText() const
{
    return m_syncLabel->text();
}

QString MainWin::statusText() const
{
    return statusBar()->currentMessage();
}

QString MainWin::timeLeftText() const
{
    return m_timeLeft->text();
}

void MainWin::setAppState(int state)
{
    m_appState = state;
    m_cursorShown = false; // a new state is never replaced by an older text
    statusBar()->showMessage(AppState::text(state));
}

void MainWin::addAlert(const char* prefix, const QString& message)
{
    m_alertList.append(QString::fromLatin1(prefix) + message);
    m_alertButton->setVisible(true);
}

void MainWin::logLine(const QString& text)
{
    if (AppLog* log = AppLog::instance(this, m_descriptor->apiVersion, m_descriptor->apiDescription))
        log->log(text);
}

void MainWin::logLines(const QStringList& lines)
{
    if (AppLog* log = AppLog::instance(this, m_descriptor->apiVersion, m_descriptor->apiDescription))
        log->log(lines);
}

void MainWin::notAvailable(const QString& what)
{
    Prompter::information(this, title(), QStringLiteral("%1 is not available yet.").arg(what));
}

ConfigParam& MainWin::activeConfig(PlotManager* pm)
{
    if (pm)
        return pm->activeConfig();
    return m_singleConfig;
}

bool MainWin::waitForJob(int sliceMs)
{
    if (m_worker->isIdle())
        return true;
    // Keep the window alive while the job thread works; Abort arrives here.
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(sliceMs);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (m_worker->isIdle())
            loop.quit();
    });
    connect(m_worker, &WorkerThread::jobFinished, &loop, [&] {
        if (m_worker->isIdle())
            loop.quit();
    }, Qt::QueuedConnection);
    tick.start();
    if (!m_worker->isIdle())
        loop.exec();
    return m_worker->isIdle();
}

void MainWin::stopActivity()
{
    if (!m_worker || m_worker->isIdle())
        return;
    m_abort.store(true);
    // A connect is waited for, not aborted (the controller is half built).
    if (m_worker->job() != WorkerThread::JobConnect)
        m_ctrl.abortAll();
    m_worker->abortAndWait();
}

// ---------------------------------------------------------------- widget states

void MainWin::setWidgetStates()
{
    WidgetStateInput in;
    in.connected = m_connectAct->isChecked() && !m_connecting;
    in.batchJob = m_batchJob;
    in.calibrateChecked = m_calibrateAct->isChecked();
    in.cleanChecked = m_cleanAct->isChecked();
    in.scanChecked = m_scanAct->isChecked();
    WidgetStates cur;
    cur.calibrate = m_calibrateAct->isEnabled();
    cur.clean = m_cleanAct->isEnabled();
    cur.scan = m_scanAct->isEnabled();
    cur.move = m_moveAct->isEnabled();
    cur.bannerClean = m_banner->cleanButton()->isEnabled();
    cur.bannerScan = m_banner->scanButton()->isEnabled();
    cur.bannerNew = m_banner->newButtonWidget()->isEnabled();
    const WidgetStates s = computeWidgetStates(in, cur);
    m_calibrateAct->setEnabled(s.calibrate);
    m_cleanAct->setEnabled(s.clean);
    m_scanAct->setEnabled(s.scan);
    m_moveAct->setEnabled(s.move);
    m_banner->setCleanEnabled(s.bannerClean);
    m_banner->setScanEnabled(s.bannerScan);
    m_banner->setNewEnabled(s.bannerNew);
    m_banner->setConnectChecked(m_connectAct->isChecked());
    m_banner->setCleanChecked(m_cleanAct->isChecked());
    m_banner->setScanChecked(m_scanAct->isChecked());

    const bool idle = !in.batchJob && !in.calibrateChecked && !in.cleanChecked && !in.scanChecked &&
                      !controllerBusy();
    const QList<PlotManager*> all = sessionObjects();
    for (PlotManager* pm : all) {
        if (ConfigParamPanel* p = configPanel(pm)) {
            p->setEnabledMode(idle);
            if (idle)
                p->controllerIdle();
        }
    }
}

// ---------------------------------------------------------------- connect

void MainWin::actionConnectSlot()
{
    if (m_batchJob && !m_connectAct->isChecked()) {
        // The job's lines need the unit: Disconnect waits for the job's end.
        m_connectAct->setChecked(true);
        m_banner->setConnectChecked(true);
        refusedDuringJob();
        return;
    }
    if (m_running && !m_connectAct->isChecked()) {
        // Disconnect during a run: abort it, and disconnect once it has ended.
        m_disconnectAfterRun = true;
        m_abort.store(true);
        m_ctrl.abortAll();
        m_drive->stop();
        return;
    }
    if (m_connectAct->isChecked()) {
        m_abort.store(false);
        m_alertList.clear();
        connectDevice();
    } else {
        disconnectDevice();
    }
    setAppState(0);
    setWidgetStates();
}

bool MainWin::connectDevice()
{
    auto fail = [this] {
        m_connectAct->setChecked(false);
        m_banner->setConnectChecked(false);
        showAlert();
        return false;
    };
    if (m_openSessions == 0)
        emit connectingFirstSession();
    else if (m_current && !m_current->isLive() && m_current->data()->scanCount() > 0)
        createSession(); // a session holding data (e.g. from a file) keeps its own configuration
    QPointer<PlotManager> session = m_current;

    // Events are processed while connecting (job thread, calibration, probe
    // mode dialog): until it ends, nothing else may reach the unit.
    struct Connecting {
        MainWin* w;
        explicit Connecting(MainWin* win) : w(win) { w->m_connecting = true; }
        ~Connecting() { w->m_connecting = false; }
    } connecting(this);
    setAppState(1);
    m_linDriver->reset();
    // Finding the unit and probing the drive's family (seconds of serial
    // time-outs when no drive answers) run on the job thread: the window
    // stays alive meanwhile, with a busy cursor and Connect held.
    m_connectAct->setEnabled(false);
    m_banner->setConnectEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    setWidgetStates();
    m_worker->setJob(WorkerThread::JobConnect);
    waitForJob(50);
    const int r = m_worker->result();
    QGuiApplication::restoreOverrideCursor();
    m_connectAct->setEnabled(true);
    m_banner->setConnectEnabled(true);
    if (m_closing) {
        // The window closed meanwhile; the controller disconnects when it goes.
        m_connectAct->setChecked(false);
        return false;
    }
    if (r != 1) {
        if (r == 0 || r == -100) {
            addAlert(AlertPrefix::ConnectScanner, r == 0 ? QStringLiteral("Failed to connect to VESK Device (retVal = 0")
                                                         : QStringLiteral("Device not found on USB bus."));
            Prompter::warning(this, title(),
                              "Unable to connect to the System.\nEnsure the System is powered on and the USB "
                              "connections are secure.");
        }
        m_connectAct->setChecked(false);
        m_banner->setConnectChecked(false);
        return false;
    }

    setAppState(2);
    if (!m_ctrl.isCalibrated())
        calibrateDevice();
    if (!m_ctrl.isCalibrated()) {
        if (!m_abort.load())
            addAlert(AlertPrefix::ConnectScanner, QStringLiteral("Failed to calibrate VESKB Device."));
        return fail();
    }

    const bool dpAvailable = m_ctrl.isDoubleProbeModeAvailable();
    ProbeModeSelector selector(this, dpAvailable);
    Prompter::instance().execDialog(&selector);
    const int hwMode = selector.hwProbeMode();
    const int swMode = selector.swProbeMode();
    if (!session)
        return fail(); // the session went away while the dialog was open
    session->setDeviceID(m_descriptor->qusbSerial.isEmpty() ? m_descriptor->devNameText()
                                                            : m_descriptor->qusbSerial);

    session->setSwProbeMode(swMode);
    ConfigParam& cfg = session->activeConfig();

    ConfigParamPanel* panel = configPanel(session);
    if (panel)
        panel->getSettings();
    if (!m_ctrl.isExtScanTriggerAvailable() && cfg.useExtTrigger) {
        cfg.useExtTrigger = false;
        if (panel)
            panel->useExternalTrigger(false);
        Prompter::critical(this, title(),
                           "Hardware does not support externally triggered scans.\nThis option has now been "
                           "disabled in the configuration panel.");
    }
    if (!m_ctrl.setDefVoltage(cfg.voltageIdle)) {
        addAlert(AlertPrefix::SetDefaultVoltage, QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
        return fail();
    }
    if (!m_ctrl.selectProbeMode(hwMode)) {
        addAlert(AlertPrefix::ConnectScanner, QStringLiteral("Failed to select %1 probe mode.").arg(swMode));
        return fail();
    }
    if (!m_ctrl.outputHV()) {
        addAlert(AlertPrefix::ConnectScanner, QStringLiteral("Failed to output HV."));
        return fail();
    }

    attachPanel(panel);
    m_connectAct->setText("Disconnect");
    m_banner->setConnectText("Disconnect");
    session->setLive(true);
    session->setReturnProbe(swMode == 1);
    m_connLabel->setText(AppText::connectionLabel(dpAvailable, swMode));
    m_linDriver->control().readFromController();
    m_newAct->setEnabled(true);
    m_openAct->setEnabled(true);
    // The unit is ready: the drive's family is asked meanwhile on the job
    // thread, the one user of the module until it ends. Scans and the drive
    // dialog wait for it (awaitDriveSearch); an abort or disconnect ends it.
    m_driveSearchPending = true;
    m_worker->setJob(WorkerThread::JobDriveSearch);
    setWidgetStates();
    return true;
}

void MainWin::driveSearchEnded()
{
    m_driveSearchPending = false;
    // The family found is the one asked first next time.
    if (m_ctrl.isConnected())
        m_linDriver->control().readFromController();
}

bool MainWin::awaitDriveSearch()
{
    if (m_driveSearchPending) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        waitForJob(50);
        QGuiApplication::restoreOverrideCursor();
        if (m_driveSearchPending && m_worker->job() != WorkerThread::JobDriveSearch)
            driveSearchEnded();
    }
    return m_ctrl.isConnected() && m_connectAct->isChecked() && !m_closing;
}

void MainWin::attachPanel(ConfigParamPanel* panel)
{
    if (!panel)
        return;
    disconnect(panel, nullptr, this, nullptr);
    connect(panel, &ConfigParamPanel::idleVoltageChanged, this, qOverload<>(&MainWin::setDefVoltage));
    connect(panel, &ConfigParamPanel::resynchronize, this, &MainWin::resynchronizeFreq);
    panel->setCurrentRanges(m_descriptor->iRange);
    panel->setTriggerAvailable(m_ctrl.isExtScanTriggerAvailable());
    panel->refresh();
}

void MainWin::disconnectDevice()
{
    if (!m_ctrl.isConnected())
        return;
    // Nothing may still read into the controller's buffer when it goes.
    stopActivity();
    m_driveSearchPending = false; // ended by the abort, and nothing to read now
    setAppState(3);
    m_linDriver->reset();
    if (!m_ctrl.disconnect())
        addAlert(AlertPrefix::DisconnectScanner, QStringLiteral("Failed to disconnect properly (retVal = %1).").arg(0));
    m_connectAct->setText("Connect");
    m_banner->setConnectText("Connect");
    m_connLabel->setText(AppText::notConnectedLabel());
    const QList<PlotManager*> all = sessionObjects();
    for (PlotManager* pm : all) {
        if (ConfigParamPanel* p = configPanel(pm)) {
            disconnect(p, nullptr, this, nullptr);
            p->setTriggerAvailable(false);
            p->setLastSyncFreq(0.0);
            p->estimateTimes();
        }
        if (pm->isLive())
            pm->setLive(false);
    }
    m_newAct->setEnabled(false);
    m_openAct->setEnabled(false);
}

// ---------------------------------------------------------------- calibration

void MainWin::actionCalibrateSlot()
{
    if (!m_calibrateAct->isChecked()) {
        // Unchecking during a calibration is the user's abort: no question.
        m_abort.store(true);
        m_ctrl.abortAll();
        stopLinearDrive();
        return;
    }
    const QMessageBox::StandardButton b = Prompter::instance().message(
        this, QMessageBox::Question, "Warning",
        "This action can damage your sensor if done without quendrix supervision\n Please ensure that a calibration "
        "termination connector is connected on the double probe plug before proceeding",
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (b != QMessageBox::Ok) {
        m_calibrateAct->setChecked(false);
        return;
    }
    if (!awaitDriveSearch()) {
        m_calibrateAct->setChecked(false);
        setWidgetStates();
        return;
    }
    logLine(QStringLiteral("Calibration process started at %1")
                .arg(QDateTime::currentDateTime().toString("dd/MM/yyyy hh:mm:ss")));
    m_abort.store(false);
    m_alertList.clear();
    setWidgetStates();
    calibrateDevice();
    setAppState(0);
    m_calibrateAct->setChecked(false);
    setWidgetStates();
    if (!m_alertList.isEmpty()) {
        if (m_abort.load()) {
            logLine(QStringLiteral("Calibration process has been aborted"));
        } else {
            logLines(m_alertList);
            Prompter::critical(this, title(), m_alertList.join("\n"));
        }
    }
}

void MainWin::calibrateDevice()
{
    if (!m_connectAct->isChecked()) {
        addAlert(AlertPrefix::CalibrateScanner, QStringLiteral("VESK Device is not connected."));
        return;
    }
    m_abort.store(false);
    setAppState(4);
    m_calibrating = true;
    setWidgetStates(); // the configuration panels wait while the unit calibrates
    emit calibrationStarted();
    m_worker->setJob(WorkerThread::JobCalibrate);
    waitForJob(m_closing ? 20 : 100);
    m_calibrating = false;
    setWidgetStates();
    if (m_abort.load())
        addAlert(AlertPrefix::CalibrateScanner, QStringLiteral("Failed to calibrate VESK Device (Process aborted)."));
    else if (m_worker->result() != 1)
        addAlert(AlertPrefix::CalibrateScanner,
                 QStringLiteral("Failed to calibrate VESK Device (retVal = %1).").arg(m_worker->result()));
    // The library tried its stop twice; a unit still scanning is said so.
    if (m_ctrl.isScanRunning() && !m_ctrl.stopScan())
        addAlert(AlertPrefix::CalibrateScanner, QStringLiteral("Failed to stop running scan."));
    updateCalibProgress();
}

void MainWin::updateCalibProgress()
{
    if (!m_calibTimer->isActive()) {
        if (!m_calibrating)
            return;
        delete m_calibDialog.data();
        m_calibDialog = new QProgressDialog("Calibration in progress.", "Abort", 0, 10, this);
        m_calibDialog->setWindowModality(Qt::WindowModal);
        m_calibDialog->setAutoReset(false);
        m_calibDialog->setAutoClose(false);
        m_calibDialog->setMinimumDuration(0);
        m_calibDialog->hide();
        connect(m_calibDialog, &QProgressDialog::canceled, this, &MainWin::abortAll);
        m_calibTimer->start();
        return;
    }
    // The progress counter is a plain read; the dialog stays until the job ends.
    const int p = m_ctrl.getCalibrationProgress();
    if (m_calibrating && !m_abort.load()) {
        if (p != 0 && m_calibDialog) {
            m_calibDialog->setValue(std::min(10, std::max(0, p)));
            m_calibDialog->show();
        }
        return;
    }
    m_calibTimer->stop();
    if (m_calibDialog) {
        m_calibDialog->hide();
        m_calibDialog->deleteLater();
        m_calibDialog = nullptr;
    }
}

// ---------------------------------------------------------------- later work

void MainWin::showLinDriverSettings()
{
    if (!awaitDriveSearch() && m_ctrl.isConnected())
        return;
    Prompter::instance().execDialog(m_linDriver);
    // The configuration dialog may have changed the rail: the position boxes follow.
    setRailLength(m_linDriver->railLength());
    setWidgetStates();
}

void MainWin::showConfigPanel()
{
    if (m_current)
        m_current->showConfig();
}

void MainWin::openServerDialog()
{
    ServerDialog* d = serverDialog();
    d->show();
    d->raise();
    d->activateWindow();
}

ServerDialog* MainWin::serverDialog()
{
    if (!m_serverDialog) {
        m_serverDialog = new ServerDialog(this);
        connect(m_serverDialog, &ServerDialog::serverToggled, this, &MainWin::toggleServer);
        connect(m_serverDialog, &ServerDialog::remoteStartToggled, m_server, &DataServer::setRemoteStartAllowed);
        m_serverDialog->setRemoteStartAllowed(m_server->remoteStartAllowed());
    }
    return m_serverDialog;
}

void MainWin::toggleServer(bool on)
{
    ServerDialog* d = serverDialog();
    if (on) {
        startServer(d->port(), d->localOnly());
        return;
    }
    m_server->stop();
    d->setAddressText(QStringLiteral("IP Address : "));
}

bool MainWin::startServer(quint16 port, bool localOnly, bool reportFailure)
{
    return startServer(port, localOnly ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::Any),
                       reportFailure);
}

bool MainWin::startServer(quint16 port, const QHostAddress& address, bool reportFailure)
{
    ServerDialog* d = serverDialog();
    const bool ok = m_server->start(port, address);
    d->setServerOn(ok);
    if (!ok && reportFailure) {
        // The window stays open: the user may pick another port.
        Prompter::critical(this, QStringLiteral("Langmuir TCP Server"),
                           QStringLiteral("Unable to start the server: %1.").arg(m_server->errorString()));
    }
    if (!ok)
        return false;
    d->setLocalOnly(address.isLoopback());
    const QString shown = DataServer::isAnyAddress(address) ? DataServer::displayAddress() : address.toString();
    d->setAddressText(QStringLiteral("IP Address : ") + shown);
    return true;
}

void MainWin::setRemoteScanStart(bool allowed)
{
    m_server->setRemoteStartAllowed(allowed);
    serverDialog()->setRemoteStartAllowed(allowed);
}

bool MainWin::isIdleForRemoteScan() const
{
    return remoteScanRefusal().isEmpty();
}

QString MainWin::remoteScanRefusal() const
{
    if (!m_ctrl.isConnected() || !m_connectAct->isChecked())
        return QStringLiteral("the unit is not connected");
    if (m_batchJob)
        return QStringLiteral("a batch job runs");
    if (m_running || m_scanAct->isChecked())
        return QStringLiteral("a measurement runs");
    if (m_cleaning || m_cleanAct->isChecked())
        return QStringLiteral("a probe-tip cleaning runs");
    if (m_calibrating)
        return QStringLiteral("a calibration runs");
    if (m_appState != AppState::eIdle || !m_worker->isIdle() || controllerBusy() || m_connecting)
        return QStringLiteral("the unit is busy");
    if (m_ctrl.isScanRunning())
        return QStringLiteral("the unit is still scanning");
    return QString();
}

void MainWin::setDefVoltage(bool)
{
    if (!m_ctrl.isConnected() || controllerBusy() || m_running)
        return;
    if (!m_ctrl.setDefVoltage(activeConfig(m_current).voltageIdle))
        addAlert(AlertPrefix::SetDefaultVoltage, QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
}

void MainWin::setDefVoltage()
{
    setDefVoltage(true);
}

void MainWin::resynchronizeFreq()
{
    if (m_ctrl.isConnected() && !controllerBusy() && !m_running)
        m_ctrl.getSyncFreq(true);
}

// ---------------------------------------------------------------- indicators

void MainWin::updateSyncFreq()
{
    m_alertButton->setVisible(!m_alertList.isEmpty());
    const bool connected = m_connectAct->isChecked() && m_ctrl.isConnected();
    const bool busy = controllerBusy();
    // isScanRunning reads the register mirror only; it is asked when idle.
    const AppText::SyncAction act = AppText::syncAction(connected, busy, connected && !busy && m_ctrl.isScanRunning());
    if (act == AppText::SyncAction::eShowNotConnected) {
        m_syncLabel->setText(AppText::syncNotConnectedText());
        return;
    }
    if (act == AppText::SyncAction::eKeepLast)
        return;
    const double f = m_ctrl.getSyncFreq(false);
    if (f != m_lastSync) {
        m_lastSync = f;
        for (PlotManager* pm : m_sessions)
            if (pm->isLive()) {
                pm->setSyncFreq(f);
                if (ConfigParamPanel* p = configPanel(pm))
                    p->setLastSyncFreq(f);
            }
    }
    m_syncLabel->setText(AppText::syncText(f, m_spinner));
}

void MainWin::showAlert()
{
    Prompter::warning(this, title(), m_alertList.join("\n"));
}

void MainWin::abortAll()
{
    m_abort.store(true);
    // A connect builds the register mirror and the drive on the job thread:
    // then the flag is all an abort may touch (the connect is waited for, and
    // what follows it checks the flag). Only this thread starts a connect.
    if (m_worker && m_worker->job() == WorkerThread::JobConnect)
        return;
    m_ctrl.abortAll();
    // The search replaces the drive object: the abort above ends it, and the
    // drive is not touched until it has.
    if (m_worker && m_worker->job() == WorkerThread::JobDriveSearch)
        return;
    stopLinearDrive();
}

void MainWin::stopLinearDrive()
{
    // The drive's own abort flag first, so that a worker inside the library
    // gives up; the stop is the one call allowed beside it.
    if (m_linDriver && m_linDriver->control().isBusy())
        m_linDriver->control().abort();
    m_ctrl.stopLinearDrive();
}

// ---------------------------------------------------------------- banner

void MainWin::connectClicked()
{
    m_connectAct->trigger();
}

void MainWin::scanClicked()
{
    if (refusedDuringJob())
        return;
    m_scanAct->trigger();
}

void MainWin::cleanClicked()
{
    if (refusedDuringJob())
        return;
    m_cleanAct->trigger();
}

void MainWin::newClicked()
{
    m_newAct->trigger();
}

// ---------------------------------------------------------------- help menu

void MainWin::help()
{
    // The working folder first; an installed program keeps the guide with its
    // documentation, not in the folder it works in.
    const QString doc = QString::fromLatin1(AppInfo::DocFileName);
    QString found;
    for (const QString& path : AppText::guideCandidates(doc, QDir::currentPath(),
                                                        QCoreApplication::applicationDirPath(),
                                                        QString::fromLatin1(AppInfo::DocDirFromProgram))) {
        if (QFileInfo::exists(path)) {
            found = path;
            break;
        }
    }
    if (found.isEmpty()) {
        qDebug() << "Unable to find file";
        addAlert(AlertPrefix::Help, QStringLiteral("Failed to find documentation file '%1'.").arg(doc));
        return;
    }
    if (!Prompter::instance().openUrl(QUrl::fromLocalFile(found))) {
        addAlert(AlertPrefix::Help, QStringLiteral("Failed to open '%1' file.").arg(doc));
        // Without a viewer the alert alone leaves the user nowhere: say where the guide is.
        Prompter::information(this, title(),
                              QStringLiteral("No program could open the user guide. It is here:\n%1")
                                  .arg(QDir::toNativeSeparators(found)));
    }
}

void MainWin::veskInfo()
{
    QString text = QStringLiteral(
        "\n--------------------------------  QUENDRIX LANGMUIR SOFTWARE  --------------------------------\n\n");
    text += QStringLiteral("SOFTWARE VERSION:\t%1\n").arg(AppInfo::version());
    if (m_advanced)
        text += QStringLiteral("SOFTWARE DESCRIPTION:\t%1\n").arg(AppInfo::buildDescription());
    text += m_descriptor->toString(m_advanced);
    m_lastHardwareInfo = text;
    HardwareInfoDialog dlg(text, this);
    Prompter::instance().execDialog(&dlg);
}

void MainWin::about()
{
    AboutDialog dlg(this);
    Prompter::instance().execDialog(&dlg);
}

void MainWin::setAdvMode()
{
    m_advanced = !m_advanced;
    if (m_current)
        m_current->setAdvanced(m_advanced);
    for (PlotManager* pm : m_sessions)
        pm->setAdvanced(m_advanced);
    const QList<PlotManager*> all = sessionObjects();
    for (PlotManager* pm : all)
        if (ConfigParamPanel* p = configPanel(pm))
            p->setAdvancedMode(m_advanced);
    m_calibrateAct->setVisible(m_advanced);
}

void MainWin::editEEDFTable()
{
    EEDF_Dialog::editDefaultTable(this, QDir::current().filePath(QStringLiteral("eedf.txt")));
}

void MainWin::showLangmuirSettings()
{
    if (m_current)
        m_current->showSettings();
}

void MainWin::copy()
{
    if (!m_current || !m_sessions.contains(m_current))
        return;
    if (m_current->resultsHaveFocus())
        m_current->copyResults();
    else
        QApplication::clipboard()->setText(m_current->clipboardText());
}

// ---------------------------------------------------------------- sessions

void MainWin::updateTabBar()
{
    if (QTabBar* bar = m_mdi->findChild<QTabBar*>())
        bar->setVisible(m_openSessions > 1);
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        w->showMaximized();
}

PlotManager* MainWin::createSession()
{
    PlotManager* pm = m_current;
    if (!pm || m_sessions.contains(pm))
        pm = newSessionObject();
    pm->setAdvanced(m_advanced);
    m_sessions.append(pm);
    m_current = pm;
    ++m_sessionCounter;
    pm->setSessionTitle(QStringLiteral("Session %1").arg(m_sessionCounter));
    QMdiSubWindow* sub = m_mdi->addSubWindow(pm);
    sub->setWindowIcon(pm->windowIcon());
    connect(pm, &QWidget::windowIconChanged, sub, &QWidget::setWindowIcon);
    pm->show();
    sub->show();
    ++m_openSessions;
    connect(pm, &PlotManager::close, this, &MainWin::closeSession, Qt::UniqueConnection);
    updateTabBar();
    m_mdi->setActiveSubWindow(sub);
    return pm;
}

void MainWin::startNewSession()
{
    if (refusedDuringRun() || refusedDuringJob())
        return;
    createSession();
}

void MainWin::closeSession(PlotManager* pm)
{
    if (!pm || !m_sessions.contains(pm))
        return;
    if (pm->isLive()) {
        // A running job may still hand data to this session: end it first.
        stopActivity();
        if (pm == m_current) {
            m_ctrl.abortAll();
            m_connectAct->setChecked(false);
            disconnectDevice();
            setAppState(0);
        }
    }
    // The next new session starts from what this one leaves behind, as the
    // next program start does from the store it writes when destroyed.
    m_singleConfig = pm->configs().single();
    m_doubleConfig = pm->configs().doubleProbe();
    --m_openSessions;
    m_sessions.removeAll(pm);
    QMdiSubWindow* sub = nullptr;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (w->widget() == pm)
            sub = w;
    disconnect(pm, nullptr, this, nullptr);
    if (sub) {
        m_mdi->removeSubWindow(sub);
        sub->hide();
        sub->deleteLater(); // takes the session window with it
    } else {
        pm->deleteLater();
    }
    if (m_current == pm || !m_current) {
        m_current = m_sessions.isEmpty() ? newSessionObject() : m_sessions.last();
    }
    updateTabBar();
    sessionChange(m_mdi->activeSubWindow());
    setWidgetStates();
}

void MainWin::sessionChange(QMdiSubWindow* window)
{
    for (PlotManager* pm : m_sessions)
        pm->hideToolWindows();
    if (m_current)
        m_current->hideToolWindows();
    PlotManager* pm = window ? qobject_cast<PlotManager*>(window->widget()) : nullptr;
    if (pm && m_sessions.contains(pm))
        m_current = pm;
    if (m_server)
        m_server->publish(); // the window switched to: served at once
    const bool hasData = pm && pm->data()->scanCount() > 0;
    updateTitle();
    m_saveAct->setEnabled(hasData);
    m_saveAsAct->setEnabled(hasData);
    m_exportAct->setEnabled(hasData);
    m_exportHdf5Act->setEnabled(hasData);
    for (QAction* a : {m_exportGraphAct, m_printGraphAct, m_copyGraphAct, m_copyResultsAct})
        a->setEnabled(pm && m_sessions.contains(pm));
}

bool MainWin::openSessionFile(const QString& fileName, SessionFile::ReadReport* report)
{
    PlotManager* pm = createSession();
    if (!pm->load(fileName, report)) {
        closeSession(pm);
        return false;
    }
    sessionChange(m_mdi->activeSubWindow());
    return true;
}

void MainWin::loadSession()
{
    if (refusedDuringRun() || refusedDuringJob())
        return;
    PlotManager* pm = createSession();
    const QString name = Prompter::instance().openFileName(this, "Open File", m_openFileName,
                                                           "Langmuir Data Files (*.ldf);;All Files (*.*)");
    if (name.isEmpty()) {
        closeSession(pm);
        return;
    }
    m_openFileName = AppText::folderOf(name);
    if (!pm->load(name)) {
        closeSession(pm);
        return;
    }
    sessionChange(m_mdi->activeSubWindow());
}

void MainWin::saveSession()
{
    if (!m_current || !m_sessions.contains(m_current))
        return;
    m_current->saveSession();
}

void MainWin::saveAsSession()
{
    if (!m_current || !m_sessions.contains(m_current))
        return;
    m_current->saveAsSession();
}

void MainWin::exportData()
{
    if (!m_current || !m_sessions.contains(m_current) || !m_mdi->activeSubWindow())
        return;
    ExportOptions options(this, m_current->isDoubleProbeSession());
    if (Prompter::instance().execDialog(&options) != QDialog::Accepted)
        return;
    const ExportSettings settings = options.settings();
    for (;;) {
        const QString answer = Prompter::instance().saveFileName(this, "Export File", m_exportFileName,
                                                                 "Spread Sheet Documents (*.csv)");
        if (answer.isEmpty())
            return;
        const QString name = AppText::withSuffix(answer, QStringLiteral("csv"));
        m_exportFileName = AppText::folderOf(name);
        if (!Prompter::mayReplace(this, name))
            continue;
        QString error;
        const SessionExport::FileResult r = SessionExport::writeFile(*m_current->data(), settings, name, &error);
        if (r == SessionExport::FileResult::OpenFailed) {
            addAlert(AlertPrefix::ExportData,
                     QStringLiteral("Failed to open file '%1' for writing (%2).").arg(name, error));
            continue;
        }
        if (r == SessionExport::FileResult::WriteFailed) {
            addAlert(AlertPrefix::ExportData, QStringLiteral("Failed to close file '%1' (%2).").arg(name, error));
            continue;
        }
        return;
    }
}

// ---------------------------------------------------------------- window

void MainWin::readWindowSettings()
{
    QSettings s;
    s.beginGroup("mainsettings");
    // File dialogs start where the user last was, else in the documents folder.
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    m_exportFileName = AppText::dialogStartFolder(s.value("exportFileName").toString(), docs);
    m_dialogPath = AppText::dialogStartFolder(s.value("dialogPath").toString(), docs);
    m_openFileName = AppText::dialogStartFolder(s.value("openFileName").toString(), docs);
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
    s.setValue("exportFileName", m_exportFileName);
    s.setValue("dialogPath", m_dialogPath);
    s.setValue("openFileName", m_openFileName);
    s.setValue("geometry", saveGeometry());
    s.setValue("windowState", saveState(0));
    s.endGroup();
}

void MainWin::closeEvent(QCloseEvent* event)
{
    if (m_batchJob) {
        // The job's loop is below this call: end it, close once it returned.
        m_closeAfterJob = true;
        stopJob();
        event->ignore();
        return;
    }
    if (m_running) {
        // The run's procedures are below this call: abort, close when it ended.
        m_closeAfterRun = true;
        m_abort.store(true);
        m_ctrl.abortAll();
        m_drive->stop();
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
    m_closing = true;
    // A running job, calibration or run ends before any session goes.
    if (m_calibrating || (m_worker && !m_worker->isIdle()))
        stopActivity();
    const int n = m_openSessions;
    for (int i = 0; i < n; ++i) {
        const int before = m_mdi->subWindowList().size();
        QMdiSubWindow* sub = m_mdi->activeSubWindow();
        if (!sub && !m_mdi->subWindowList().isEmpty())
            sub = m_mdi->subWindowList().first();
        if (!sub)
            break;
        sub->close();
        if (m_mdi->subWindowList().size() == before) {
            m_closing = false;
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
    if (event->mimeData()->hasUrls() && AppText::acceptsDrop(event->mimeData()->urls(), m_appState))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWin::dropEvent(QDropEvent* event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    if (!event->mimeData()->hasUrls() || !AppText::acceptsDrop(event->mimeData()->urls(), m_appState)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    openSessionFile(event->mimeData()->urls().first().toLocalFile());
}
