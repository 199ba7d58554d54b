#pragma once
// The data server: answers each TCP connection with one reply, from a thread
// of its own, so that a busy window (a run's analysis, a redraw) never delays
// an answer and no client can stall the window. What it serves is published
// by the owner's thread: the active session as an immutable copy after each
// change (ServedData), the serial number, and whether a measurement runs.
// A POST asking for a scan reaches the owner's thread only after its reply
// was written and its connection closed.
#include "ServedData.h"
#include "ServerReply.h"

#include <QHostAddress>
#include <QObject>
#include <functional>
#include <memory>

class QThread;
class QTimer;
class ServerWorker;
struct ServerShared;

class DataServer : public QObject
{
    Q_OBJECT
public:
    // Asked on the owner's thread at each publication.
    struct Source {
        std::function<QString()> serialNumber;
        std::function<const DataAnalyzer*()> session;
    };
    // What one client may hold.
    struct Limits {
        int requestWaitMs = 500;  // a request is answered with what arrived by then
        int writeStallMs = 5000;  // a reply of which nothing drains this long is aborted
        int lingerMs = 1000;      // after the reply, the wait for the client to close
        int maxConnections = 128; // beyond it the longest idle connection is closed
    };

    explicit DataServer(Source source, QObject* parent = nullptr);
    ~DataServer() override;

    // Listens on the address and port (0: the system chooses); false with
    // errorString() set when the port is taken or not permitted.
    bool start(quint16 port, const QHostAddress& address = QHostAddress::LocalHost);
    // Closes the listener; replies under way are finished.
    void stop();
    bool isListening() const { return m_listening; }
    quint16 port() const { return m_listening ? m_port : 0; }
    QString errorString() const { return m_error; }
    int openConnections() const;
    // For the next start.
    void setLimits(const Limits& limits) { m_limits = limits; }

    // Publishes the session and serial number if they changed; also runs on
    // a timer while listening, at most every PublishMs.
    void publish();
    // "scan_running" of the data reply from now on.
    void setScanRunning(bool running);
    // Off: a POST is answered and starts nothing.
    void setRemoteStartAllowed(bool allowed);
    bool remoteStartAllowed() const;

    // The address shown to the user: the first non-loopback IPv4 address of
    // the machine, else 127.0.0.1.
    static QString displayAddress();
    // The address stands for every interface (0.0.0.0, ::, Any).
    static bool isAnyAddress(const QHostAddress& address);

    static constexpr int RequestWaitMs = 500;
    static constexpr int PublishMs = 100;

signals:
    // A POST ending in "true" that may ask for a scan, once its connection closed.
    void scanStartRequested();
    // A line for the log and the console: a refused POST, listening on all addresses.
    void notice(const QString& line);

private slots:
    // Hands on what the server's thread queued for this one.
    void deliver();

private:
    Source m_source;
    Limits m_limits;
    std::shared_ptr<ServerShared> m_shared;
    ServedDataBuilder m_builder;
    QThread* m_thread = nullptr;
    ServerWorker* m_worker = nullptr;
    QTimer* m_publishTimer;
    QString m_error;
    quint16 m_port = 0;
    bool m_listening = false;
};
