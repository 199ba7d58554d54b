#pragma once
// The data server: listens for TCP connections and answers each with one
// reply. Requests are collected as they arrive, never waited for, so a silent
// client cannot stall the event loop; a request is answered once complete, at
// the size cap, or 500 ms after the connection opened.
#include "ServerReply.h"

#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpServer;
class QTcpSocket;

class DataServer : public QObject
{
    Q_OBJECT
public:
    struct Source {
        std::function<QString()> serialNumber;
        std::function<bool()> scanRunning;
        std::function<const DataAnalyzer*()> session;
        // Called for a POST ending in "true"; the owner decides whether a scan may start.
        std::function<void()> startScan;
    };

    explicit DataServer(Source source, QObject* parent = nullptr);
    ~DataServer() override;

    // Listens on the address and port (0: the system chooses); false with
    // errorString() set when the port is taken or not permitted.
    bool start(quint16 port, const QHostAddress& address = QHostAddress::Any);
    void stop();
    bool isListening() const;
    quint16 port() const;
    QString errorString() const { return m_error; }
    int openConnections() const { return m_open; }

    // The address shown to the user: the first non-loopback IPv4 address of
    // the machine, else 127.0.0.1.
    static QString displayAddress();

    static constexpr int RequestWaitMs = 500;

signals:
    void replied();

private:
    void acceptConnections();
    void answer(QTcpSocket* socket, const QByteArray& request);

    Source m_source;
    QTcpServer* m_server = nullptr;
    QString m_error;
    int m_open = 0;
};
