#include "DataServer.h"

#include <QDebug>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

DataServer::DataServer(Source source, QObject* parent)
    : QObject(parent), m_source(std::move(source))
{
}

DataServer::~DataServer()
{
    stop();
}

bool DataServer::start(quint16 port, const QHostAddress& address)
{
    stop();
    m_server = new QTcpServer(this);
    if (!m_server->listen(address, port)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    m_error.clear();
    connect(m_server, &QTcpServer::newConnection, this, &DataServer::acceptConnections);
    qDebug().noquote() << "IP: " + displayAddress() + " . Port: " + QString::number(m_server->serverPort());
    return true;
}

void DataServer::stop()
{
    if (!m_server)
        return;
    m_server->close();
    delete m_server; // frees the port at once
    m_server = nullptr;
}

bool DataServer::isListening() const
{
    return m_server && m_server->isListening();
}

quint16 DataServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString DataServer::displayAddress()
{
    const QHostAddress loopback(QHostAddress::LocalHost);
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        bool ok = false;
        a.toIPv4Address(&ok);
        if (ok && a != loopback)
            return QHostAddress(a.toIPv4Address()).toString();
    }
    return loopback.toString();
}

void DataServer::acceptConnections()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        qDebug() << "New connection";
        // Owned by this object so stopping the server does not cut replies short.
        socket->setParent(this);
        ++m_open;
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_open;
            socket->deleteLater();
        });
        auto* buffer = new QByteArray;
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        auto finish = [this, socket, buffer, timer] {
            timer->stop();
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            answer(socket, *buffer);
        };
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        connect(timer, &QTimer::timeout, this, finish);
        connect(socket, &QTcpSocket::readyRead, this, [socket, buffer, finish] {
            const qint64 room = ServerReply::MaxRequestBytes - buffer->size();
            if (room > 0)
                buffer->append(socket->read(room));
            if (buffer->size() >= ServerReply::MaxRequestBytes || ServerReply::isComplete(*buffer))
                finish();
        });
        timer->start(RequestWaitMs);
        if (socket->bytesAvailable() > 0)
            emit socket->readyRead();
    }
}

void DataServer::answer(QTcpSocket* socket, const QByteArray& request)
{
    const ServerReply::Request r = ServerReply::parse(request);
    if (r.method == ServerReply::Request::eGet)
        qDebug() << "New GET Request";
    else if (r.method == ServerReply::Request::ePost)
        qDebug() << "New POST Request";
    ServerReply::Snapshot data;
    if (r.method == ServerReply::Request::eGet && !r.pieces.isEmpty()) {
        if (r.pieces.first() == "info" && m_source.serialNumber)
            data.serialNumber = m_source.serialNumber();
        if (r.pieces.first() == "data") {
            data.scanRunning = m_source.scanRunning && m_source.scanRunning();
            data.session = m_source.session ? m_source.session() : nullptr;
        }
    }
    socket->write(ServerReply::reply(r, data));
    socket->disconnectFromHost();
    if (r.postStart && m_source.startScan)
        m_source.startScan();
    emit replied();
}
