// Batch jobs in the main window: Run Job loads a job file, checks every line
// in a test pass, shows the job and runs its lines while the window stays
// live; the job's lines act through MainWinJobHost.
#include "MainWin.h"
#include "MainWinJob.h"

#include "AppText.h"
#include "ConfigParamPanel.h"
#include "ControllerDrive.h"
#include "DataAnalyzer.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "ScriptDialog.h"
#include "WorkerThread.h"
#include "topBanner.h"

#include <QAction>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace {
QString title()
{
    return QString::fromLatin1(AppInfo::Title);
}

// Processes events for up to ms milliseconds without spinning.
void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::max(0, ms), &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

// ---------------------------------------------------------------- host

bool MainWinJobHost::isConnected()
{
    return m_w.m_ctrl.isConnected() && m_w.m_connectAct->isChecked();
}

double MainWinJobHost::syncFrequency()
{
    if (!isConnected() || m_w.controllerBusy())
        return 0;
    return m_w.m_ctrl.getSyncFreq(false);
}

QVector<double> MainWinJobHost::currentRanges()
{
    QVector<double> r;
    for (double fs : m_w.m_descriptor->iRange)
        r.append(fs);
    return r;
}

ConfigParam* MainWinJobHost::config()
{
    return m_w.m_current ? &m_w.m_current->activeConfig() : nullptr;
}

void MainWinJobHost::configChanged()
{
    if (ConfigParamPanel* p = m_w.configPanel(m_w.m_current))
        p->refresh();
}

bool MainWinJobHost::applyIdleVoltage(double volts, QString* error)
{
    if (!isConnected())
        return true; // the record holds it; connecting applies it
    m_w.awaitDriveSearch();
    if (m_w.controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    if (m_w.m_ctrl.setDefVoltage(volts))
        return true;
    m_w.addAlert(AlertPrefix::SetDefaultVoltage, QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
    *error = QStringLiteral("Failed to set the idle voltage.");
    return false;
}

bool MainWinJobHost::scan(QString* error)
{
    if (!m_w.m_current || !m_w.m_current->isLive()) {
        *error = QStringLiteral("The current session window is not connected to the controller.");
        return false;
    }
    m_w.awaitDriveSearch(); // the connect's drive search goes first
    if (m_w.m_running || m_w.controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    m_w.actionScanSlot(true);
    if (m_w.m_abort.load()) {
        *error = QStringLiteral("The measurement was aborted.");
        return false;
    }
    if (!m_w.m_alertList.isEmpty()) {
        *error = QStringLiteral("The measurement failed: %1").arg(m_w.m_alertList.join(QStringLiteral("; ")));
        return false;
    }
    return true;
}

bool MainWinJobHost::clean(QString* error)
{
    m_w.awaitDriveSearch(); // the connect's drive search goes first
    if (m_w.m_running || m_w.controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    // As the Clean action: the current session's cleaning settings, the
    // alerts of this cleaning only, idle afterwards.
    m_w.m_alertList.clear();
    const bool ok = m_w.cleanProbeTip();
    m_w.setAppState(AppState::eIdle);
    m_w.setWidgetStates();
    if (m_w.m_abort.load()) {
        *error = QStringLiteral("The cleaning was aborted.");
        return false;
    }
    if (!ok || !m_w.m_alertList.isEmpty()) {
        *error = QStringLiteral("The cleaning failed: %1").arg(m_w.m_alertList.join(QStringLiteral("; ")));
        return false;
    }
    return true;
}

DataAnalyzer* MainWinJobHost::session()
{
    PlotManager* pm = m_w.m_current;
    return pm && m_w.m_sessions.contains(pm) ? pm->data() : nullptr;
}

bool MainWinJobHost::newSession(QString* error)
{
    PlotManager* old = m_w.m_current;
    if (!old || !m_w.m_sessions.contains(old) || !old->isLive()) {
        *error = QStringLiteral("The current session window is not connected to the controller.");
        return false;
    }
    m_w.awaitDriveSearch(); // the connect's drive search goes first
    if (m_w.m_running || m_w.controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    PlotManager* pm = m_w.createSession();
    // The connection passes on with the probe mode and the configuration.
    pm->configs() = old->configs();
    pm->setSwProbeMode(old->swProbeMode());
    pm->setDeviceID(old->data()->deviceID());
    pm->setReturnProbe(old->isReturnProbe());
    if (ConfigParamPanel* p = m_w.configPanel(old))
        QObject::disconnect(p, nullptr, &m_w, nullptr);
    old->setLive(false);
    pm->setLive(true);
    m_w.attachPanel(m_w.configPanel(pm));
    m_w.setWidgetStates();
    return true;
}

QWidget* MainWinJobHost::boxParent()
{
    if (m_w.m_scriptDialog)
        return m_w.m_scriptDialog;
    return &m_w;
}

void MainWinJobHost::showMessage(const QString& text)
{
    Prompter::instance().message(boxParent(), QMessageBox::Information, QStringLiteral("User Message"), text,
                                 QMessageBox::Ok, QMessageBox::Ok);
}

void MainWinJobHost::critical(const QString& text)
{
    Prompter::critical(boxParent(), title(), text);
}

bool MainWinJobHost::waitWithEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!m_w.m_abort.load() && t.elapsed() < ms)
        runEventsFor(int(std::min<qint64>(kWaitSliceMs, ms - t.elapsed())));
    return !m_w.m_abort.load();
}

bool MainWinJobHost::aborted()
{
    return m_w.m_abort.load();
}

// ---------------------------------------------------------------- window

JobHost& MainWin::jobHost()
{
    if (!m_jobHost)
        m_jobHost = std::make_unique<MainWinJobHost>(*this);
    return *m_jobHost;
}

ScriptDialog* MainWin::scriptDialog() const
{
    return m_scriptDialog;
}

void MainWin::setJobOpen(bool open)
{
    m_batchJob = open;
    // The panels are disabled and the measuring actions follow.
    setWidgetStates();
}

bool MainWin::refusedDuringJob()
{
    if (!m_batchJob)
        return false;
    Prompter::information(this, title(), QStringLiteral("A batch job is running.\nAbort it first."));
    return true;
}

void MainWin::doBatchJob()
{
    if (refusedDuringRun() || refusedDuringJob())
        return;
    m_abort.store(false);
    if (!m_ctrl.isConnected() || !m_connectAct->isChecked()) {
        Prompter::warning(this, title(),
                          QStringLiteral("Unable to connect to the Langmuir System.\nThe langmuir System must be "
                                         "connected before running job.\n"));
        return;
    }
    const QString name = Prompter::instance().openFileName(this, QStringLiteral("Open Job File"), m_dialogPath,
                                                           QStringLiteral("Langmuir Job File (*.txt)"));
    if (name.isEmpty())
        return;
    m_dialogPath = AppText::folderOf(name);
    QString text, why;
    if (!BatchJob::readFile(name, &text, &why)) {
        qDebug() << "failed to open job file" << name << why;
        return;
    }

    setJobOpen(true);
    m_jobDialogOpen = true;
    QPointer<ScriptDialog> dlg = new ScriptDialog(this);
    m_scriptDialog = dlg;
    BatchJob job(jobHost(), text, QFileInfo(name).absolutePath());
    dlg->setLines(job.lines());
    const bool passed = job.test();
    dlg->setErrors(job.errors());
    dlg->show();
    connect(dlg, &ScriptDialog::stopScript, this, &MainWin::stopJob);
    connect(dlg, &ScriptDialog::abortScript, this, &MainWin::abortJobLines);

    if (passed) {
        logLine(QStringLiteral("Batch job %1 started").arg(name));
        dlg->setRunning(true);
        BatchJob::Observer o;
        o.lineStarted = [dlg](int i) {
            if (dlg)
                dlg->setRunningLine(i);
        };
        o.lineEnded = [dlg](int i, bool ok, const QString& reason) {
            if (dlg && !ok)
                dlg->setLineError(i, reason);
        };
        const int failed = job.run(o);
        logLine(job.aborted() ? QStringLiteral("Batch job has been aborted")
                              : QStringLiteral("Batch job ended: %1 of %2 lines failed").arg(failed).arg(job.lines().size()));
        if (dlg)
            dlg->setRunning(false);
    }
    // The window stays until the user closes it.
    while (m_jobDialogOpen && dlg)
        runEventsFor(MainWinJobHost::kWaitSliceMs);

    if (dlg) {
        disconnect(dlg, nullptr, this, nullptr);
        dlg->hide();
        delete dlg.data();
    }
    m_jobDialogOpen = false;
    setJobOpen(false);
    if (m_closeAfterJob) {
        m_closeAfterJob = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void MainWin::abortJobLines()
{
    m_abort.store(true);
    if (m_running) {
        // A measurement under way stops at its next read.
        m_ctrl.abortAll();
        m_drive->stop();
    }
}

void MainWin::stopJob()
{
    qDebug() << "Stopping Job";
    m_jobDialogOpen = false;
    abortJobLines();
}
