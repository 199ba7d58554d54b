#pragma once
// The data server of the main window: the server itself (it serves the
// current session), its dialog (port, local only, remote scan start), and
// the rule that a remote scan start presses Scan only when nothing runs.
#include <QHostAddress>
#include <QObject>
#include <QPointer>

class Alerts;
class DataServer;
class JobControl;
class QWidget;
class RIRavaVCntrl;
class RunControl;
class ServerDialog;
class SessionWindows;
class StatusLine;
class UnitConnection;
class WorkerThread;
struct MainActions;

class ServerControl : public QObject
{
    Q_OBJECT
public:
    struct Needs {
        QWidget* window = nullptr; // parent of the server, its dialog and the boxes
        RIRavaVCntrl* ctrl = nullptr;
        WorkerThread* worker = nullptr;
        SessionWindows* sessions = nullptr;
        UnitConnection* connection = nullptr;
        RunControl* run = nullptr;
        JobControl* jobs = nullptr;
        StatusLine* status = nullptr;
        Alerts* alerts = nullptr;
        const MainActions* actions = nullptr;
    };
    explicit ServerControl(Needs needs);

    DataServer* server() const { return m_server; }
    // Made when first asked for.
    ServerDialog* dialog();
    // Starts the server as the dialog's switch would; false after reporting
    // the listen failure in a message box (when asked to).
    bool start(quint16 port, const QHostAddress& address, bool reportFailure);
    // The dialog's "Allow remote scan start".
    void setRemoteScanStart(bool allowed);
    // Why a remote start would start nothing now; empty when it would start.
    QString remoteScanRefusal() const;

private:
    void toggled(bool on);

    Needs m_n;
    DataServer* m_server;
    QPointer<ServerDialog> m_dialog;
};
