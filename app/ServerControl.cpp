#include "ServerControl.h"

#include "Alerts.h"
#include "AppState.h"
#include "DataAnalyzer.h"
#include "DataServer.h"
#include "JobControl.h"
#include "MainActions.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"
#include "RunControl.h"
#include "ServerDialog.h"
#include "SessionWindows.h"
#include "StatusLine.h"
#include "UnitConnection.h"
#include "WorkerThread.h"

#include <QAction>
#include <QDebug>

ServerControl::ServerControl(Needs needs) : QObject(nullptr), m_n(needs)
{
    DataServer::Source src;
    RIRavaVCntrl* ctrl = m_n.ctrl;
    src.serialNumber = [ctrl] { return ctrl->isConnected() ? ctrl->getScannerDescriptor()->devNameText() : QString(); };
    QPointer<SessionWindows> sessions = m_n.sessions;
    src.session = [sessions]() -> const DataAnalyzer* {
        PlotManager* pm = sessions ? sessions->current() : nullptr;
        return pm ? pm->data() : nullptr;
    };
    // A child of the window: its thread ends when the window's children go.
    m_server = new DataServer(src, m_n.window);
    DataServer* server = m_server;
    // The window switched to is served at once.
    connect(m_n.sessions, &SessionWindows::currentChanged, server, [server] { server->publish(); });
    connect(m_n.run, &RunControl::scanRunningChanged, server, &DataServer::setScanRunning);
    // Queued by the server after the POST's connection closed: no socket
    // handler is below the run this may start.
    connect(m_server, &DataServer::scanStartRequested, this, [this] {
        // A remote start must never press Scan while something runs: that
        // would abort it. Clients wait for "scan_running" to read "False": from
        // then on a POST starts the next run (the banner button's pause after
        // a run guards against the user's double click only).
        const QString why = remoteScanRefusal();
        if (why.isEmpty()) {
            m_n.actions->scan->trigger();
            return;
        }
        const QString line = QStringLiteral("Data server: a POST asked for a scan; nothing started: %1.").arg(why);
        m_n.alerts->log(line);
        qWarning().noquote() << line;
    });
    connect(m_server, &DataServer::notice, this, [this](const QString& line) {
        m_n.alerts->log(line);
        qWarning().noquote() << line;
    });
}

ServerDialog* ServerControl::dialog()
{
    if (!m_dialog) {
        m_dialog = new ServerDialog(m_n.window);
        connect(m_dialog, &ServerDialog::serverToggled, this, &ServerControl::toggled);
        connect(m_dialog, &ServerDialog::remoteStartToggled, m_server, &DataServer::setRemoteStartAllowed);
        m_dialog->setRemoteStartAllowed(m_server->remoteStartAllowed());
    }
    return m_dialog;
}

void ServerControl::toggled(bool on)
{
    ServerDialog* d = dialog();
    if (on) {
        start(d->port(), d->localOnly() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::Any),
              true);
        return;
    }
    m_server->stop();
    d->setAddressText(QStringLiteral("IP Address : "));
}

bool ServerControl::start(quint16 port, const QHostAddress& address, bool reportFailure)
{
    ServerDialog* d = dialog();
    const bool ok = m_server->start(port, address);
    d->setServerOn(ok);
    if (!ok && reportFailure) {
        // The window stays open: the user may pick another port.
        Prompter::critical(m_n.window, QStringLiteral("Langmuir TCP Server"),
                           QStringLiteral("Unable to start the server: %1.").arg(m_server->errorString()));
    }
    if (!ok)
        return false;
    d->setLocalOnly(address.isLoopback());
    const QString shown = DataServer::isAnyAddress(address) ? DataServer::displayAddress() : address.toString();
    d->setAddressText(QStringLiteral("IP Address : ") + shown);
    return true;
}

void ServerControl::setRemoteScanStart(bool allowed)
{
    m_server->setRemoteStartAllowed(allowed);
    dialog()->setRemoteStartAllowed(allowed);
}

QString ServerControl::remoteScanRefusal() const
{
    const MainActions& a = *m_n.actions;
    const UnitConnection& connection = *m_n.connection;
    if (!m_n.ctrl->isConnected() || !a.connect->isChecked())
        return QStringLiteral("the unit is not connected");
    if (m_n.jobs->isOpen())
        return QStringLiteral("a batch job runs");
    if (m_n.run->isRunActive() || a.scan->isChecked())
        return QStringLiteral("a measurement runs");
    if (m_n.run->isCleaning() || a.clean->isChecked())
        return QStringLiteral("a probe-tip cleaning runs");
    if (connection.isCalibrating())
        return QStringLiteral("a calibration runs");
    if (m_n.status->state() != AppState::eIdle || !m_n.worker->isIdle() || connection.controllerBusy()
        || connection.isConnecting())
        return QStringLiteral("the unit is busy");
    if (m_n.ctrl->isScanRunning())
        return QStringLiteral("the unit is still scanning");
    return QString();
}
