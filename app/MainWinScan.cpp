// The Scan action of the main window: starts and aborts a measurement run,
// refuses what would pull the session or the unit away during it, and feeds
// the progress bar.
#include "MainWin.h"
#include "MainWinScan.h"

#include "AppText.h"
#include "ControllerDrive.h"
#include "DataAnalyzer.h"
#include "DataServer.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "SessionJournals.h"
#include "SweepReader.h"
#include "WorkerThread.h"
#include "topBanner.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace {
constexpr int kBannerScanDebounceMs = 3000;
}

// ---------------------------------------------------------------- seam

void MainWinSeam::critical(const QString& title, const QString& text)
{
    Prompter::critical(m_hooks.parent, title, text);
}

void MainWinSeam::information(const QString& title, const QString& text)
{
    Prompter::information(m_hooks.parent, title, text);
}

bool MainWinSeam::question(const QString& title, const QString& text)
{
    return Prompter::question(m_hooks.parent, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void MainWinSeam::processEvents()
{
    QCoreApplication::processEvents();
}

void MainWinSeam::sleepMs(int ms)
{
    if (ms <= 0)
        return;
    // The slice is spent in an event loop, not asleep: the window (and the
    // data server) stay live for the whole wait, not only between slices.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void RunSessionObserver::runBegins()
{
    if (m_pm)
        m_pm->beginRun();
}

void RunSessionObserver::runEnded()
{
    if (m_pm)
        m_pm->endRun();
    // Whatever the run filed is final now, also after an abort or a failure.
    if (m_pm && m_journals)
        m_journals->recordsFinished(m_pm);
}

void RunSessionObserver::scanFiled(int group, int index)
{
    if (m_pm)
        m_pm->scanFiled(group, index);
    if (m_pm && m_journals)
        m_journals->scanFiled(m_pm, group, index);
}

void RunSessionObserver::positionEnded()
{
    if (m_pm && m_journals)
        m_journals->recordsFinished(m_pm);
}

void RunSessionObserver::removingScans(const QVector<DataAnalyzer::Location>& locations)
{
    if (m_pm && m_journals)
        m_journals->removingScans(m_pm, locations);
}

void RunSessionObserver::scanChanged(int group, int index)
{
    if (m_pm)
        m_pm->scanChanged(group, index);
}

// ---------------------------------------------------------------- window

void MainWin::buildMeasurement()
{
    MainWinSeam::Hooks h;
    h.alert = [this](const QString& line) {
        m_alertList.append(line);
        m_alertButton->setVisible(true);
    };
    h.alerts = [this] { return m_alertList; };
    h.clearAlerts = [this] { m_alertList.clear(); };
    h.setState = [this](int s) { setAppState(s); };
    h.appendStateText = [this](const QString& t) { statusBar()->showMessage(statusBar()->currentMessage() + t); };
    h.log = [this](const QStringList& lines) { logLines(lines); };
    h.parent = this;
    m_seam = std::make_unique<MainWinSeam>(std::move(h));
    m_io = std::make_unique<SweepReader>(m_ctrl, *m_worker, m_abort, *m_seam);
    m_drive = std::make_unique<ControllerDrive>(m_ctrl, *m_seam, m_abort);
    m_runObserver = std::make_unique<RunSessionObserver>();
    m_journals = new SessionJournals(QDir::current().filePath(QStringLiteral("recovery")), this);
    // In the window the user measures believing the safety net is there: the
    // failure joins the alerts that the run's end shows (a job prints it).
    connect(m_journals, &SessionJournals::writeFailed, this, [this](const QString& text) {
        if (!m_batchJob)
            addAlert(AlertPrefix::Journal, text);
    });
    m_runObserver->setJournals(m_journals);
    m_sequence = std::make_unique<ScanSequence>(*m_io, m_drive.get());
    buildCleaning();
}

bool MainWin::refusedDuringRun()
{
    if (!m_running)
        return false;
    Prompter::information(this, QString::fromLatin1(AppInfo::Title),
                          m_cleaning ? QStringLiteral("Probe tip cleaning is running.\nAbort it first.")
                                     : QStringLiteral("A measurement is running.\nAbort it first."));
    return true;
}

void MainWin::actionScanSlot(bool b)
{
    if (!b) {
        // Abort: the running procedure notices the flag at its next check.
        if (m_running) {
            m_abort.store(true);
            m_ctrl.abortAll();
            if (m_drive)
                m_drive->stop();
        }
        setWidgetStates();
        return;
    }
    if (m_running)
        return; // a second start while a run is active
    // A run starts behind the drive search of the connect (a spatial run
    // needs its result, and nothing else may use the module meanwhile).
    if (m_driveSearchPending) {
        m_abort.store(false); // an Abort pressed while waiting refuses the run
        if (!awaitDriveSearch() || m_abort.load()) {
            const QSignalBlocker block(m_scanAct);
            m_scanAct->setChecked(false);
            setWidgetStates();
            return;
        }
    }
    if (!m_ctrl.isConnected() || !m_current || !m_current->isLive() || controllerBusy()) {
        const QSignalBlocker block(m_scanAct);
        m_scanAct->setChecked(false);
        setWidgetStates();
        return;
    }
    QPointer<PlotManager> session = m_current;
    m_running = true;
    // Clients see the run from the press of Scan to its end, not only its sweeps.
    m_server->setScanRunning(true);
    m_abort.store(false);
    m_alertList.clear();
    setWidgetStates();
    m_progressTimer->start();
    m_sequence->restartScanClock();

    m_runObserver->setSession(session);
    m_sequence->setSession(session->data(), m_runObserver.get());
    // The session's own record is the one the panel edits.
    m_sequence->runScan(activeConfig(session));

    m_running = false;
    m_server->setScanRunning(false);
    {
        const QSignalBlocker block(m_scanAct);
        m_scanAct->setChecked(false);
    }
    m_banner->setScanChecked(false);
    m_banner->setScanEnabled(false);
    QTimer::singleShot(kBannerScanDebounceMs, this, [this] { setWidgetStates(); });
    setWidgetStates();
    m_banner->setScanEnabled(false);
    updateProgressBar();
    sessionChange(m_mdi->activeSubWindow());
    afterActivity();
}

void MainWin::afterActivity()
{
    if (m_disconnectAfterRun) {
        m_disconnectAfterRun = false;
        disconnectDevice();
        setAppState(0);
        setWidgetStates();
    }
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void MainWin::updateProgressBar()
{
    AppText::ProgressInput in;
    in.appState = m_appState;
    // The progress counters are plain reads the library allows during a read.
    if (m_appState == 6 || m_appState == 7 || m_appState == 10)
        m_ctrl.getScanProgress(in.percent, in.scanSeconds, in.elapsedSeconds);
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
