#include "RunControl.h"

#include "Alerts.h"
#include "AppState.h"
#include "AppText.h"
#include "ControllerDrive.h"
#include "DataAnalyzer.h"
#include "LinearDriver.h"
#include "MainActions.h"
#include "PlotManager.h"
#include "ProbeCleaner.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"
#include "RunSessionObserver.h"
#include "ScanSequence.h"
#include "SessionJournals.h"
#include "SessionWindows.h"
#include "StatusLine.h"
#include "SweepReader.h"
#include "UnitConnection.h"
#include "WorkerThread.h"
#include "topBanner.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QProgressBar>
#include <QTimer>

namespace {
constexpr int kBannerScanDebounceMs = 3000;

QString title()
{
    return QString::fromLatin1(AppInfo::Title);
}
} // namespace

RunControl::RunControl(Needs needs) : QObject(nullptr), m_n(needs)
{
    m_clock.start();
    m_io = std::make_unique<SweepReader>(*m_n.ctrl, *m_n.worker, *m_n.abort, *this);
    m_drive = std::make_unique<ControllerDrive>(*m_n.ctrl, *this, *m_n.abort);
    m_runObserver = std::make_unique<RunSessionObserver>();
    m_journals = new SessionJournals(QDir::current().filePath(QStringLiteral("recovery")), m_n.window);
    m_runObserver->setJournals(m_journals);
    m_sequence = std::make_unique<ScanSequence>(*m_io, m_drive.get());
    m_cleaner = std::make_unique<ProbeCleaner>(*m_io);
    // An automatic cleaning reads the run's working copy as the run left it
    // (the smart scan may have rewritten its data-scan voltages): nothing is
    // copied into it here.
    m_sequence->cleanIfDue = [this] {
        DataAnalyzer* session = m_sequence->session();
        if (!session)
            return true;
        const ConfigParam& run = session->configs().workingCopy();
        const bool connected = m_n.connection->isConnected();
        return m_cleaner->cleanIfDue(run,
                                     ProbeCleaner::contextFor(*session, run, connected, m_n.sessions->isAdvanced()));
    };

    m_progress = new QProgressBar(m_n.window);
    m_progress->setRange(0, 100);
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setTextVisible(true);
    m_progress->setFixedSize(m_progress->sizeHint());
    m_progress->hide();
    m_timeLeft = new QLabel(m_n.window);
    m_timeLeft->setMinimumWidth(m_timeLeft->fontMetrics().horizontalAdvance("-Time-Left-12:34:56-"));
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(200);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, &RunControl::updateProgressBar);
}

RunControl::~RunControl() = default;

// ---------------------------------------------------------------- seam

void RunControl::alert(const QString& line)
{
    m_n.alerts->append(line);
}

QStringList RunControl::alerts() const
{
    return m_n.alerts->list();
}

void RunControl::clearAlerts()
{
    m_n.alerts->clear();
}

void RunControl::setState(int state)
{
    m_n.status->setState(state);
}

void RunControl::appendStateText(const QString& text)
{
    m_n.status->append(text);
}

void RunControl::critical(const QString& title, const QString& text)
{
    Prompter::critical(m_n.window, title, text);
}

void RunControl::information(const QString& title, const QString& text)
{
    Prompter::information(m_n.window, title, text);
}

bool RunControl::question(const QString& title, const QString& text)
{
    return Prompter::question(m_n.window, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void RunControl::log(const QStringList& lines)
{
    m_n.alerts->log(lines);
}

void RunControl::processEvents()
{
    QCoreApplication::processEvents();
}

void RunControl::sleepMs(int ms)
{
    if (ms <= 0)
        return;
    // The slice is spent in an event loop, not asleep: the window (and the
    // data server) stay live for the whole wait, not only between slices.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------- abort

void RunControl::abortAll()
{
    m_n.abort->store(true);
    // A connect builds the register mirror and the drive on the job thread:
    // then the flag is all an abort may touch (the connect is waited for, and
    // what follows it checks the flag). Only this thread starts a connect.
    WorkerThread* worker = m_n.worker;
    if (worker && worker->job() == WorkerThread::JobConnect)
        return;
    m_n.ctrl->abortAll();
    // The search replaces the drive object: the abort above ends it, and the
    // drive is not touched until it has.
    if (worker && worker->job() == WorkerThread::JobDriveSearch)
        return;
    m_n.connection->stopLinearDrive();
}

void RunControl::abortRun()
{
    m_n.abort->store(true);
    m_n.ctrl->abortAll();
    m_drive->stop();
}

bool RunControl::refusedDuringRun()
{
    if (!m_running)
        return false;
    Prompter::information(m_n.window, title(),
                          m_cleaning ? QStringLiteral("Probe tip cleaning is running.\nAbort it first.")
                                     : QStringLiteral("A measurement is running.\nAbort it first."));
    return true;
}

// ---------------------------------------------------------------- scan

void RunControl::scanAction(bool checked)
{
    QAction* scanAct = m_n.actions->scan;
    UnitConnection& connection = *m_n.connection;
    if (!checked) {
        // Abort: the running procedure notices the flag at its next check.
        if (m_running)
            abortRun();
        emit widgetStatesChanged();
        return;
    }
    if (m_running)
        return; // a second start while a run is active
    // A run starts behind the drive search of the connect (a spatial run
    // needs its result, and nothing else may use the module meanwhile).
    if (connection.driveSearchPending()) {
        m_n.abort->store(false); // an Abort pressed while waiting refuses the run
        if (!connection.awaitDriveSearch() || m_n.abort->load()) {
            const QSignalBlocker block(scanAct);
            scanAct->setChecked(false);
            emit widgetStatesChanged();
            return;
        }
    }
    PlotManager* current = m_n.sessions->current();
    if (!m_n.ctrl->isConnected() || !current || !current->isLive() || connection.controllerBusy()) {
        const QSignalBlocker block(scanAct);
        scanAct->setChecked(false);
        emit widgetStatesChanged();
        return;
    }
    QPointer<PlotManager> session = current;
    m_running = true;
    // Clients see the run from the press of Scan to its end, not only its sweeps.
    emit scanRunningChanged(true);
    m_n.abort->store(false);
    m_n.alerts->clear();
    emit widgetStatesChanged();
    m_progressTimer->start();
    m_sequence->restartScanClock();

    m_runObserver->setSession(session);
    m_sequence->setSession(session->data(), m_runObserver.get());
    // The session's own record is the one the panel edits.
    m_sequence->runScan(m_n.sessions->activeConfig(session));

    m_running = false;
    emit scanRunningChanged(false);
    {
        const QSignalBlocker block(scanAct);
        scanAct->setChecked(false);
    }
    m_n.banner->setScanChecked(false);
    m_n.banner->setScanEnabled(false);
    QTimer::singleShot(kBannerScanDebounceMs, this, [this] { emit widgetStatesChanged(); });
    emit widgetStatesChanged();
    m_n.banner->setScanEnabled(false);
    updateProgressBar();
    m_n.sessions->activated(m_n.sessions->area()->activeSubWindow());
    afterActivity();
}

void RunControl::afterActivity()
{
    if (m_disconnectAfterRun) {
        m_disconnectAfterRun = false;
        m_n.connection->disconnectUnit();
        m_n.status->setState(0);
        emit widgetStatesChanged();
    }
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        QTimer::singleShot(0, m_n.window, &QWidget::close);
    }
}

void RunControl::updateProgressBar()
{
    AppText::ProgressInput in;
    const int state = m_n.status->state();
    in.appState = state;
    // The progress counters are plain reads the library allows during a read.
    if (state == 6 || state == 7 || state == 10)
        m_n.ctrl->getScanProgress(in.percent, in.scanSeconds, in.elapsedSeconds);
    if (m_sequence) {
        in.timedRun = m_sequence->isTimedRun();
        in.runClockMs = m_sequence->runClockMs();
        in.timedTotalSeconds = m_sequence->timedTotalSeconds();
        in.scansDone = m_sequence->dataScansDone();
        in.dataScanRunScans = m_sequence->dataScanCycles();
    }
    const AppText::ProgressDisplay d = AppText::progress(in);
    m_timeLeft->setText(d.timeLeft);
    m_progress->setValue(d.percent);
    m_progress->setVisible(d.visible);
    // A run keeps its timer also through idle moments (a timed start wait).
    if (d.rearm || m_running)
        m_progressTimer->start();
    else
        m_progressTimer->stop();
}

// ---------------------------------------------------------------- clean

void RunControl::uncheckClean()
{
    const QSignalBlocker block(m_n.actions->clean);
    m_n.actions->clean->setChecked(false);
    m_n.banner->setCleanChecked(false);
}

bool RunControl::cleanProbeTip()
{
    const bool connected = m_n.connection->isConnected();
    const bool advanced = m_n.sessions->isAdvanced();
    // The session's working copy takes the active record's cleaning, sync and
    // idle settings, nothing else; the cleaning reads a copy of it, so a
    // session closed meanwhile takes nothing away from under it.
    std::unique_ptr<ConfigParam> cfg;
    ProbeCleaner::Context ctx;
    if (PlotManager* pm = m_n.sessions->current()) {
        ConfigParam& work = pm->data()->configs().workingCopy();
        const ConfigParam& active = pm->activeConfig();
        work.clean = active.clean;
        work.sync = active.sync;
        work.voltageIdle = active.voltageIdle;
        cfg = work.clone();
        ctx = ProbeCleaner::contextFor(*pm->data(), *cfg, connected, advanced);
    } else {
        cfg = m_n.sessions->singleConfig().clone();
        const LangmuirSettings defaults;
        ctx.connected = connected;
        ctx.probeRadius = defaults.probeRadius;
        ctx.probeLength = defaults.probeLength;
        ctx.advanced = advanced;
    }
    if (!connected)
        uncheckClean();
    // While it cleans, the window refuses what would pull the unit or the
    // session away, as during a run.
    const bool wasRunning = m_running;
    m_running = true;
    m_cleaning = true;
    emit scanRunningChanged(true);
    const bool ok = m_cleaner->cleanProbeTip(*cfg, ctx);
    m_cleaning = false;
    m_running = wasRunning;
    emit scanRunningChanged(m_running);
    return ok;
}

void RunControl::cleanAction()
{
    Alerts& alerts = *m_n.alerts;
    if (!m_n.actions->clean->isChecked()) {
        // Unchecking is the user's abort.
        if (m_cleaning) {
            m_n.abort->store(true);
            m_n.ctrl->abortAll();
            m_n.connection->stopLinearDrive();
        }
        emit widgetStatesChanged();
        return;
    }
    if (m_cleaning)
        return;
    m_n.connection->awaitDriveSearch(); // the connect's drive search goes first
    if (refusedDuringRun() || m_n.connection->controllerBusy()) {
        uncheckClean();
        emit widgetStatesChanged();
        return;
    }
    alerts.log(QStringLiteral("Manually lunched probe tip cleaning process at %1")
                   .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"))));
    m_n.abort->store(false);
    alerts.clear();
    emit widgetStatesChanged();
    cleanProbeTip();
    m_n.status->setState(AppState::eIdle);
    uncheckClean();
    emit widgetStatesChanged();
    if (!alerts.isEmpty()) {
        if (m_n.abort->load()) {
            alerts.log(QStringLiteral("Cleaning process has been aborted"));
        } else {
            alerts.log(alerts.list());
            Prompter::critical(m_n.window, title(), alerts.joined(QString(QLatin1Char('\n'))));
        }
    }
    afterActivity();
}

// ---------------------------------------------------------------- move

void RunControl::move()
{
    if (!m_n.connection->awaitDriveSearch() && m_n.ctrl->isConnected())
        return;
    Prompter::instance().execDialog(m_n.linDriver);
    // The configuration dialog may have changed the rail: the position boxes follow.
    m_n.sessions->setRailLength(m_n.linDriver->railLength());
    emit widgetStatesChanged();
}
