#include "JobControl.h"

#include "Alerts.h"
#include "AppState.h"
#include "AppText.h"
#include "ConfigParamPanel.h"
#include "DataAnalyzer.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"
#include "RunControl.h"
#include "ScriptDialog.h"
#include "SessionWindows.h"
#include "StatusLine.h"
#include "UnitConnection.h"

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

JobControl::JobControl(Needs needs) : QObject(nullptr), m_n(needs) {}

ScriptDialog* JobControl::scriptDialog() const
{
    return m_scriptDialog;
}

// ---------------------------------------------------------------- host

bool JobControl::isConnected()
{
    return m_n.connection->isConnected();
}

double JobControl::syncFrequency()
{
    if (!isConnected() || m_n.connection->controllerBusy())
        return 0;
    return m_n.ctrl->getSyncFreq(false);
}

QVector<double> JobControl::currentRanges()
{
    QVector<double> r;
    for (double fs : m_n.ctrl->getScannerDescriptor()->iRange)
        r.append(fs);
    return r;
}

ConfigParam* JobControl::config()
{
    PlotManager* pm = m_n.sessions->current();
    return pm ? &pm->activeConfig() : nullptr;
}

void JobControl::configChanged()
{
    if (ConfigParamPanel* p = SessionWindows::configPanel(m_n.sessions->current()))
        p->refresh();
}

bool JobControl::applyIdleVoltage(double volts, QString* error)
{
    if (!isConnected())
        return true; // the record holds it; connecting applies it
    m_n.connection->awaitDriveSearch();
    if (m_n.connection->controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    if (m_n.ctrl->setDefVoltage(volts))
        return true;
    m_n.alerts->add(AlertPrefix::SetDefaultVoltage, QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
    *error = QStringLiteral("Failed to set the idle voltage.");
    return false;
}

bool JobControl::scan(QString* error)
{
    PlotManager* pm = m_n.sessions->current();
    if (!pm || !pm->isLive()) {
        *error = QStringLiteral("The current session window is not connected to the controller.");
        return false;
    }
    m_n.connection->awaitDriveSearch(); // the connect's drive search goes first
    if (m_n.run->isRunActive() || m_n.connection->controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    m_n.run->scanAction(true);
    if (m_n.abort->load()) {
        *error = QStringLiteral("The measurement was aborted.");
        return false;
    }
    if (!m_n.alerts->isEmpty()) {
        *error = QStringLiteral("The measurement failed: %1").arg(m_n.alerts->joined(QStringLiteral("; ")));
        return false;
    }
    return true;
}

bool JobControl::clean(QString* error)
{
    m_n.connection->awaitDriveSearch(); // the connect's drive search goes first
    if (m_n.run->isRunActive() || m_n.connection->controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    // As the Clean action: the current session's cleaning settings, the
    // alerts of this cleaning only, idle afterwards.
    m_n.alerts->clear();
    const bool ok = m_n.run->cleanProbeTip();
    m_n.status->setState(AppState::eIdle);
    emit widgetStatesChanged();
    if (m_n.abort->load()) {
        *error = QStringLiteral("The cleaning was aborted.");
        return false;
    }
    if (!ok || !m_n.alerts->isEmpty()) {
        *error = QStringLiteral("The cleaning failed: %1").arg(m_n.alerts->joined(QStringLiteral("; ")));
        return false;
    }
    return true;
}

DataAnalyzer* JobControl::session()
{
    PlotManager* pm = m_n.sessions->shown();
    return pm ? pm->data() : nullptr;
}

bool JobControl::newSession(QString* error)
{
    PlotManager* old = m_n.sessions->shown();
    if (!old || !old->isLive()) {
        *error = QStringLiteral("The current session window is not connected to the controller.");
        return false;
    }
    m_n.connection->awaitDriveSearch(); // the connect's drive search goes first
    if (m_n.run->isRunActive() || m_n.connection->controllerBusy()) {
        *error = QStringLiteral("The controller is busy.");
        return false;
    }
    PlotManager* pm = m_n.sessions->create();
    // The connection passes on with the probe mode and the configuration.
    pm->configs() = old->configs();
    pm->setSwProbeMode(old->swProbeMode());
    pm->setDeviceID(old->data()->deviceID());
    pm->setReturnProbe(old->isReturnProbe());
    m_n.connection->detachPanel(SessionWindows::configPanel(old));
    old->setLive(false);
    pm->setLive(true);
    m_n.connection->attachPanel(SessionWindows::configPanel(pm));
    emit widgetStatesChanged();
    return true;
}

QWidget* JobControl::boxParent()
{
    if (m_scriptDialog)
        return m_scriptDialog;
    return m_n.window;
}

void JobControl::showMessage(const QString& text)
{
    Prompter::instance().message(boxParent(), QMessageBox::Information, QStringLiteral("User Message"), text,
                                 QMessageBox::Ok, QMessageBox::Ok);
}

void JobControl::critical(const QString& text)
{
    Prompter::critical(boxParent(), title(), text);
}

bool JobControl::waitWithEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!m_n.abort->load() && t.elapsed() < ms)
        runEventsFor(int(std::min<qint64>(kWaitSliceMs, ms - t.elapsed())));
    return !m_n.abort->load();
}

bool JobControl::aborted()
{
    return m_n.abort->load();
}

// ---------------------------------------------------------------- job window

void JobControl::setOpen(bool open)
{
    m_open = open;
    // The panels are disabled and the measuring actions follow.
    emit widgetStatesChanged();
}

bool JobControl::refusedDuringJob()
{
    if (!m_open)
        return false;
    Prompter::information(m_n.window, title(), QStringLiteral("A batch job is running.\nAbort it first."));
    return true;
}

void JobControl::runJob()
{
    if (m_n.run->refusedDuringRun() || refusedDuringJob())
        return;
    m_n.abort->store(false);
    if (!m_n.connection->isConnected()) {
        Prompter::warning(m_n.window, title(),
                          QStringLiteral("Unable to connect to the Langmuir System.\nThe langmuir System must be "
                                         "connected before running job.\n"));
        return;
    }
    QString* dialogPath = m_n.sessions->dialogPathStore();
    const QString name = Prompter::instance().openFileName(m_n.window, QStringLiteral("Open Job File"), *dialogPath,
                                                           QStringLiteral("Langmuir Job File (*.txt)"));
    if (name.isEmpty())
        return;
    *dialogPath = AppText::folderOf(name);
    QString text, why;
    if (!BatchJob::readFile(name, &text, &why)) {
        qDebug() << "failed to open job file" << name << why;
        return;
    }

    setOpen(true);
    m_dialogOpen = true;
    QPointer<ScriptDialog> dlg = new ScriptDialog(m_n.window);
    m_scriptDialog = dlg;
    BatchJob job(*this, text, QFileInfo(name).absolutePath());
    dlg->setLines(job.lines());
    const bool passed = job.test();
    dlg->setErrors(job.errors());
    dlg->show();
    connect(dlg, &ScriptDialog::stopScript, this, &JobControl::stopJob);
    connect(dlg, &ScriptDialog::abortScript, this, &JobControl::abortJobLines);

    if (passed) {
        m_n.alerts->log(QStringLiteral("Batch job %1 started").arg(name));
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
        m_n.alerts->log(job.aborted() ? QStringLiteral("Batch job has been aborted")
                                      : QStringLiteral("Batch job ended: %1 of %2 lines failed")
                                            .arg(failed)
                                            .arg(job.lines().size()));
        if (dlg)
            dlg->setRunning(false);
    }
    // The window stays until the user closes it.
    while (m_dialogOpen && dlg)
        runEventsFor(kWaitSliceMs);

    if (dlg) {
        disconnect(dlg, nullptr, this, nullptr);
        dlg->hide();
        delete dlg.data();
    }
    m_dialogOpen = false;
    setOpen(false);
    if (m_closeAfterJob) {
        m_closeAfterJob = false;
        QTimer::singleShot(0, m_n.window, &QWidget::close);
    }
}

void JobControl::abortJobLines()
{
    m_n.abort->store(true);
    // A measurement under way stops at its next read.
    if (m_n.run->isRunActive())
        m_n.run->abortRun();
}

void JobControl::stopJob()
{
    qDebug() << "Stopping Job";
    m_dialogOpen = false;
    abortJobLines();
}
