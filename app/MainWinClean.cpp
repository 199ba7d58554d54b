// The Clean action of the main window and the automatic cleaning of a run:
// the window's side of ProbeCleaner (which settings, which session, the box
// at the end). A cleaning runs on the GUI thread; its sweeps are read by the
// job thread, so the window stays live and unchecking Clean aborts it.
#include "MainWin.h"

#include "DataAnalyzer.h"
#include "DataServer.h"
#include "PlotManager.h"
#include "ProbeCleaner.h"
#include "Prompter.h"
#include "ScanSequence.h"
#include "topBanner.h"

#include <QAction>
#include <QDateTime>

void MainWin::buildCleaning()
{
    m_cleaner = std::make_unique<ProbeCleaner>(*m_io);
    // An automatic cleaning reads the run's working copy as the run left it
    // (the smart scan may have rewritten its data-scan voltages): nothing is
    // copied into it here.
    m_sequence->cleanIfDue = [this] {
        DataAnalyzer* session = m_sequence->session();
        if (!session)
            return true;
        const ConfigParam& run = session->configs().workingCopy();
        const bool connected = m_connectAct->isChecked() && m_ctrl.isConnected();
        return m_cleaner->cleanIfDue(run, ProbeCleaner::contextFor(*session, run, connected, m_advanced));
    };
}

void MainWin::uncheckClean()
{
    const QSignalBlocker block(m_cleanAct);
    m_cleanAct->setChecked(false);
    m_banner->setCleanChecked(false);
}

bool MainWin::cleanProbeTip()
{
    const bool connected = m_connectAct->isChecked() && m_ctrl.isConnected();
    // The session's working copy takes the active record's cleaning, sync and
    // idle settings, nothing else; the cleaning reads a copy of it, so a
    // session closed meanwhile takes nothing away from under it.
    std::unique_ptr<ConfigParam> cfg;
    ProbeCleaner::Context ctx;
    if (PlotManager* pm = m_current) {
        ConfigParam& work = pm->data()->configs().workingCopy();
        const ConfigParam& active = pm->activeConfig();
        work.clean = active.clean;
        work.sync = active.sync;
        work.voltageIdle = active.voltageIdle;
        cfg = work.clone();
        ctx = ProbeCleaner::contextFor(*pm->data(), *cfg, connected, m_advanced);
    } else {
        cfg = m_singleConfig.clone();
        const LangmuirSettings defaults;
        ctx.connected = connected;
        ctx.probeRadius = defaults.probeRadius;
        ctx.probeLength = defaults.probeLength;
        ctx.advanced = m_advanced;
    }
    if (!connected)
        uncheckClean();
    // While it cleans, the window refuses what would pull the unit or the
    // session away, as during a run.
    const bool wasRunning = m_running;
    m_running = true;
    m_cleaning = true;
    m_server->setScanRunning(true);
    const bool ok = m_cleaner->cleanProbeTip(*cfg, ctx);
    m_cleaning = false;
    m_running = wasRunning;
    m_server->setScanRunning(m_running);
    return ok;
}

void MainWin::actionCleanSlot()
{
    if (!m_cleanAct->isChecked()) {
        // Unchecking is the user's abort.
        if (m_cleaning) {
            m_abort.store(true);
            m_ctrl.abortAll();
            stopLinearDrive();
        }
        setWidgetStates();
        return;
    }
    if (m_cleaning)
        return;
    awaitDriveSearch(); // the connect's drive search goes first
    if (refusedDuringRun() || controllerBusy()) {
        uncheckClean();
        setWidgetStates();
        return;
    }
    logLine(QStringLiteral("Manually lunched probe tip cleaning process at %1")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"))));
    m_abort.store(false);
    m_alertList.clear();
    setWidgetStates();
    cleanProbeTip();
    setAppState(AppState::eIdle);
    uncheckClean();
    setWidgetStates();
    if (!m_alertList.isEmpty()) {
        if (m_abort.load()) {
            logLine(QStringLiteral("Cleaning process has been aborted"));
        } else {
            logLines(m_alertList);
            Prompter::critical(this, QString::fromLatin1(AppInfo::Title), m_alertList.join(QLatin1Char('\n')));
        }
    }
    afterActivity();
}
