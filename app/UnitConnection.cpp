#include "UnitConnection.h"

#include "Alerts.h"
#include "AppState.h"
#include "AppText.h"
#include "ConfigParamPanel.h"
#include "ControllerDrive.h"
#include "DataAnalyzer.h"
#include "LinearDriver.h"
#include "MainActions.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"
#include "SessionWindows.h"
#include "StatusLine.h"
#include "WorkerThread.h"
#include "topBanner.h"

#include <QAction>
#include <QDateTime>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>

namespace {
QString title()
{
    return QString::fromLatin1(AppInfo::Title);
}
} // namespace

UnitConnection::UnitConnection(Needs needs) : QObject(nullptr), m_n(needs)
{
    m_syncLabel = new QLabel(m_n.window);
    m_syncLabel->setMinimumWidth(m_syncLabel->fontMetrics().horizontalAdvance(" Fsync TOO HIGH ") + 10);
    m_syncLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_connLabel = new QLabel(AppText::notConnectedLabel(), m_n.window);
    m_connLabel->setMinimumWidth(m_connLabel->fontMetrics().horizontalAdvance("XXXXXXXXXXXXXXX"));
    m_connLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_calibTimer = new QTimer(this);
    m_calibTimer->setInterval(500);
    connect(m_calibTimer, &QTimer::timeout, this, &UnitConnection::updateCalibProgress);
    m_syncTimer = new QTimer(this);
    m_syncTimer->setInterval(1000);
    m_syncTimer->start();
    connect(m_syncTimer, &QTimer::timeout, this, &UnitConnection::updateSyncFreq);
    WorkerThread* worker = m_n.worker;
    connect(worker, &WorkerThread::jobFinished, this, [this, worker] {
        if (m_driveSearchPending && worker->job() != WorkerThread::JobDriveSearch)
            driveSearchEnded();
    });
}

UnitConnection::~UnitConnection()
{
    delete m_calibDialog.data();
}

bool UnitConnection::isConnected() const
{
    return m_n.actions->connect->isChecked() && m_n.ctrl->isConnected();
}

bool UnitConnection::controllerBusy() const
{
    const WorkerThread* worker = m_n.worker;
    return (worker && !worker->isIdle()) || m_driveSearchPending || m_calibrating || m_driveBusy.load()
           || (m_run.drive && m_run.drive->isBusy()) || (m_n.linDriver && m_n.linDriver->control().isBusy());
}

void UnitConnection::setDriveBusy(bool busy)
{
    m_driveBusy.store(busy);
    emit widgetStatesChanged();
}

bool UnitConnection::waitForJob(int sliceMs)
{
    WorkerThread* worker = m_n.worker;
    if (worker->isIdle())
        return true;
    // Keep the window alive while the job thread works; Abort arrives here.
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(sliceMs);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (worker->isIdle())
            loop.quit();
    });
    connect(worker, &WorkerThread::jobFinished, &loop, [&] {
        if (worker->isIdle())
            loop.quit();
    }, Qt::QueuedConnection);
    tick.start();
    if (!worker->isIdle())
        loop.exec();
    return worker->isIdle();
}

void UnitConnection::stopActivity()
{
    WorkerThread* worker = m_n.worker;
    if (!worker || worker->isIdle())
        return;
    m_n.abort->store(true);
    // A connect is waited for, not aborted (the controller is half built).
    if (worker->job() != WorkerThread::JobConnect)
        m_n.ctrl->abortAll();
    worker->abortAndWait();
}

void UnitConnection::stopLinearDrive()
{
    // The drive's own abort flag first, so that a worker inside the library
    // gives up; the stop is the one call allowed beside it.
    if (m_n.linDriver && m_n.linDriver->control().isBusy())
        m_n.linDriver->control().abort();
    m_n.ctrl->stopLinearDrive();
}

// ---------------------------------------------------------------- connect

bool UnitConnection::connectUnit()
{
    RIRavaVCntrl& ctrl = *m_n.ctrl;
    const MainActions& act = *m_n.actions;
    topBanner* banner = m_n.banner;
    SessionWindows& sessions = *m_n.sessions;
    auto fail = [&] {
        act.connect->setChecked(false);
        banner->setConnectChecked(false);
        m_n.alerts->show();
        return false;
    };
    if (sessions.openCount() == 0)
        sessions.create();
    else if (sessions.current() && !sessions.current()->isLive() && sessions.current()->data()->scanCount() > 0)
        sessions.create(); // a session holding data (e.g. from a file) keeps its own configuration
    QPointer<PlotManager> session = sessions.current();

    // Events are processed while connecting (job thread, calibration, probe
    // mode dialog): until it ends, nothing else may reach the unit.
    struct Connecting {
        bool& flag;
        explicit Connecting(bool& f) : flag(f) { flag = true; }
        ~Connecting() { flag = false; }
    } connecting(m_connecting);
    m_n.status->setState(1);
    m_n.linDriver->reset();
    // Finding the unit and probing the drive's family (seconds of serial
    // time-outs when no drive answers) run on the job thread: the window
    // stays alive meanwhile, with a busy cursor and Connect held.
    act.connect->setEnabled(false);
    banner->setConnectEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    emit widgetStatesChanged();
    m_n.worker->setJob(WorkerThread::JobConnect);
    waitForJob(50);
    const int r = m_n.worker->result();
    QGuiApplication::restoreOverrideCursor();
    act.connect->setEnabled(true);
    banner->setConnectEnabled(true);
    if (m_closing) {
        // The window closed meanwhile; the controller disconnects when it goes.
        act.connect->setChecked(false);
        return false;
    }
    if (r != 1) {
        if (r == 0 || r == -100) {
            m_n.alerts->add(AlertPrefix::ConnectScanner, r == 0 ? QStringLiteral("Failed to connect to VESK Device (retVal = 0")
                                                                : QStringLiteral("Device not found on USB bus."));
            Prompter::warning(m_n.window, title(),
                              "Unable to connect to the System.\nEnsure the System is powered on and the USB "
                              "connections are secure.");
        }
        act.connect->setChecked(false);
        banner->setConnectChecked(false);
        return false;
    }

    m_n.status->setState(2);
    if (!ctrl.isCalibrated())
        calibrate();
    if (!ctrl.isCalibrated()) {
        if (!m_n.abort->load())
            m_n.alerts->add(AlertPrefix::ConnectScanner, QStringLiteral("Failed to calibrate VESKB Device."));
        return fail();
    }

    const bool dpAvailable = ctrl.isDoubleProbeModeAvailable();
    ProbeModeSelector selector(m_n.window, dpAvailable);
    Prompter::instance().execDialog(&selector);
    const int hwMode = selector.hwProbeMode();
    const int swMode = selector.swProbeMode();
    if (!session)
        return fail(); // the session went away while the dialog was open
    const VeskbDescriptor* descriptor = ctrl.getScannerDescriptor();
    session->setDeviceID(descriptor->qusbSerial.isEmpty() ? descriptor->devNameText() : descriptor->qusbSerial);

    session->setSwProbeMode(swMode);
    ConfigParam& cfg = session->activeConfig();

    ConfigParamPanel* panel = SessionWindows::configPanel(session);
    if (panel)
        panel->getSettings();
    if (!ctrl.isExtScanTriggerAvailable() && cfg.useExtTrigger) {
        cfg.useExtTrigger = false;
        if (panel)
            panel->useExternalTrigger(false);
        Prompter::critical(m_n.window, title(),
                           "Hardware does not support externally triggered scans.\nThis option has now been "
                           "disabled in the configuration panel.");
    }
    if (!ctrl.setDefVoltage(cfg.voltageIdle)) {
        m_n.alerts->add(AlertPrefix::SetDefaultVoltage, QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
        return fail();
    }
    if (!ctrl.selectProbeMode(hwMode)) {
        m_n.alerts->add(AlertPrefix::ConnectScanner, QStringLiteral("Failed to select %1 probe mode.").arg(swMode));
        return fail();
    }
    if (!ctrl.outputHV()) {
        m_n.alerts->add(AlertPrefix::ConnectScanner, QStringLiteral("Failed to output HV."));
        return fail();
    }

    attachPanel(panel);
    act.connect->setText("Disconnect");
    banner->setConnectText("Disconnect");
    session->setLive(true);
    session->setReturnProbe(swMode == 1);
    m_connLabel->setText(AppText::connectionLabel(dpAvailable, swMode));
    m_n.linDriver->control().readFromController();
    act.newSession->setEnabled(true);
    act.open->setEnabled(true);
    // The unit is ready: the drive's family is asked meanwhile on the job
    // thread, the one user of the module until it ends. Scans and the drive
    // dialog wait for it (awaitDriveSearch); an abort or disconnect ends it.
    m_driveSearchPending = true;
    m_n.worker->setJob(WorkerThread::JobDriveSearch);
    emit widgetStatesChanged();
    return true;
}

void UnitConnection::driveSearchEnded()
{
    m_driveSearchPending = false;
    // The family found is the one asked first next time.
    if (m_n.ctrl->isConnected())
        m_n.linDriver->control().readFromController();
}

bool UnitConnection::awaitDriveSearch()
{
    if (m_driveSearchPending) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        waitForJob(50);
        QGuiApplication::restoreOverrideCursor();
        if (m_driveSearchPending && m_n.worker->job() != WorkerThread::JobDriveSearch)
            driveSearchEnded();
    }
    return m_n.ctrl->isConnected() && m_n.actions->connect->isChecked() && !m_closing;
}

void UnitConnection::attachPanel(ConfigParamPanel* panel)
{
    if (!panel)
        return;
    disconnect(panel, nullptr, this, nullptr);
    connect(panel, &ConfigParamPanel::idleVoltageChanged, this, &UnitConnection::setDefVoltage);
    connect(panel, &ConfigParamPanel::resynchronize, this, &UnitConnection::resynchronizeFreq);
    panel->setCurrentRanges(m_n.ctrl->getScannerDescriptor()->iRange);
    panel->setTriggerAvailable(m_n.ctrl->isExtScanTriggerAvailable());
    panel->refresh();
}

void UnitConnection::detachPanel(ConfigParamPanel* panel)
{
    if (panel)
        disconnect(panel, nullptr, this, nullptr);
}

void UnitConnection::disconnectUnit()
{
    if (!m_n.ctrl->isConnected())
        return;
    // Nothing may still read into the controller's buffer when it goes.
    stopActivity();
    m_driveSearchPending = false; // ended by the abort, and nothing to read now
    m_n.status->setState(3);
    m_n.linDriver->reset();
    if (!m_n.ctrl->disconnect())
        m_n.alerts->add(AlertPrefix::DisconnectScanner, QStringLiteral("Failed to disconnect properly (retVal = %1).").arg(0));
    m_n.actions->connect->setText("Connect");
    m_n.banner->setConnectText("Connect");
    m_connLabel->setText(AppText::notConnectedLabel());
    for (PlotManager* pm : m_n.sessions->all()) {
        if (ConfigParamPanel* p = SessionWindows::configPanel(pm)) {
            detachPanel(p);
            p->setTriggerAvailable(false);
            p->setLastSyncFreq(0.0);
            p->estimateTimes();
        }
        if (pm->isLive())
            pm->setLive(false);
    }
    m_n.actions->newSession->setEnabled(false);
    m_n.actions->open->setEnabled(false);
}

// ---------------------------------------------------------------- calibration

void UnitConnection::calibrateAction()
{
    QAction* calibrateAct = m_n.actions->calibrate;
    Alerts& alerts = *m_n.alerts;
    if (!calibrateAct->isChecked()) {
        // Unchecking during a calibration is the user's abort: no question.
        m_n.abort->store(true);
        m_n.ctrl->abortAll();
        stopLinearDrive();
        return;
    }
    const QMessageBox::StandardButton b = Prompter::instance().message(
        m_n.window, QMessageBox::Question, "Warning",
        "This action can damage your sensor if done without quendrix supervision\n Please ensure that a calibration "
        "termination connector is connected on the double probe plug before proceeding",
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (b != QMessageBox::Ok) {
        calibrateAct->setChecked(false);
        return;
    }
    if (!awaitDriveSearch()) {
        calibrateAct->setChecked(false);
        emit widgetStatesChanged();
        return;
    }
    alerts.log(QStringLiteral("Calibration process started at %1")
                   .arg(QDateTime::currentDateTime().toString("dd/MM/yyyy hh:mm:ss")));
    m_n.abort->store(false);
    alerts.clear();
    emit widgetStatesChanged();
    calibrate();
    m_n.status->setState(0);
    calibrateAct->setChecked(false);
    emit widgetStatesChanged();
    if (!alerts.isEmpty()) {
        if (m_n.abort->load()) {
            alerts.log(QStringLiteral("Calibration process has been aborted"));
        } else {
            alerts.log(alerts.list());
            Prompter::critical(m_n.window, title(), alerts.joined("\n"));
        }
    }
}

void UnitConnection::calibrate()
{
    Alerts& alerts = *m_n.alerts;
    if (!m_n.actions->connect->isChecked()) {
        alerts.add(AlertPrefix::CalibrateScanner, QStringLiteral("VESK Device is not connected."));
        return;
    }
    m_n.abort->store(false);
    m_n.status->setState(4);
    m_calibrating = true;
    emit widgetStatesChanged(); // the configuration panels wait while the unit calibrates
    updateCalibProgress();
    m_n.worker->setJob(WorkerThread::JobCalibrate);
    waitForJob(m_closing ? 20 : 100);
    m_calibrating = false;
    emit widgetStatesChanged();
    const int result = m_n.worker->result();
    if (m_n.abort->load())
        alerts.add(AlertPrefix::CalibrateScanner, QStringLiteral("Failed to calibrate VESK Device (Process aborted)."));
    else if (result != 1)
        alerts.add(AlertPrefix::CalibrateScanner, QStringLiteral("Failed to calibrate VESK Device (retVal = %1).").arg(result));
    // The library tried its stop twice; a unit still scanning is said so.
    if (m_n.ctrl->isScanRunning() && !m_n.ctrl->stopScan())
        alerts.add(AlertPrefix::CalibrateScanner, QStringLiteral("Failed to stop running scan."));
    updateCalibProgress();
}

void UnitConnection::updateCalibProgress()
{
    if (!m_calibTimer->isActive()) {
        if (!m_calibrating)
            return;
        delete m_calibDialog.data();
        m_calibDialog = new QProgressDialog("Calibration in progress.", "Abort", 0, 10, m_n.window);
        m_calibDialog->setWindowModality(Qt::WindowModal);
        m_calibDialog->setAutoReset(false);
        m_calibDialog->setAutoClose(false);
        m_calibDialog->setMinimumDuration(0);
        m_calibDialog->hide();
        // Its Abort is the window's Abort.
        connect(m_calibDialog, &QProgressDialog::canceled, this, [this] { emit abortRequested(); });
        m_calibTimer->start();
        return;
    }
    // The progress counter is a plain read; the dialog stays until the job ends.
    const int p = m_n.ctrl->getCalibrationProgress();
    if (m_calibrating && !m_n.abort->load()) {
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

// ---------------------------------------------------------------- panels and labels

void UnitConnection::setDefVoltage()
{
    RIRavaVCntrl& ctrl = *m_n.ctrl;
    if (!ctrl.isConnected() || controllerBusy() || running())
        return;
    if (!ctrl.setDefVoltage(m_n.sessions->activeConfig(m_n.sessions->current()).voltageIdle))
        m_n.alerts->add(AlertPrefix::SetDefaultVoltage, QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
}

void UnitConnection::resynchronizeFreq()
{
    if (m_n.ctrl->isConnected() && !controllerBusy() && !running())
        m_n.ctrl->getSyncFreq(true);
}

void UnitConnection::updateSyncFreq()
{
    m_n.alerts->refreshButton();
    RIRavaVCntrl& ctrl = *m_n.ctrl;
    const bool connected = isConnected();
    const bool busy = controllerBusy();
    // isScanRunning reads the register mirror only; it is asked when idle.
    const AppText::SyncAction act = AppText::syncAction(connected, busy, connected && !busy && ctrl.isScanRunning());
    if (act == AppText::SyncAction::eShowNotConnected) {
        m_syncLabel->setText(AppText::syncNotConnectedText());
        return;
    }
    if (act == AppText::SyncAction::eKeepLast)
        return;
    const double f = ctrl.getSyncFreq(false);
    if (f != m_lastSync) {
        m_lastSync = f;
        for (PlotManager* pm : m_n.sessions->list())
            if (pm->isLive()) {
                pm->setSyncFreq(f);
                if (ConfigParamPanel* p = SessionWindows::configPanel(pm))
                    p->setLastSyncFreq(f);
            }
    }
    m_syncLabel->setText(AppText::syncText(f, m_spinner));
}
