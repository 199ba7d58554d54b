#include "DataServer.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

// What the two threads hand each other. A standard mutex, not Qt's, and
// calls across threads by name, carrying no data of their own: the thread
// checker sees every hand-over (Qt's own locks and event queue are built
// without it).
struct ServerShared {
    std::mutex mutex;
    // Published by the owner.
    std::shared_ptr<const ServedData> data;
    QString serialNumber;
    // A listen asked by the owner and its outcome.
    QHostAddress address;
    quint16 port = 0;
    DataServer::Limits limits;
    bool listening = false;
    QString error;
    // For the owner: scans asked for and log lines.
    int startsAsked = 0;
    QStringList notices;

    std::atomic<bool> scanRunning{false};
    std::atomic<bool> startAllowed{true};
    std::atomic<int> open{0};
};

namespace {

// Hands the accepted descriptor over instead of wrapping it in a QTcpSocket:
// the connections do their own reads and writes, so that a client's
// half-close is a request's end, not the loss of the connection.
class Listener : public QTcpServer
{
public:
    std::function<void(qintptr)> onIncoming;

protected:
    void incomingConnection(qintptr fd) override { onIncoming(fd); }
};

} // namespace

// Lives in the server's thread. Each connection is read until its request is
// complete, half-closed or the wait ran out; then its reply is written as the
// client drains it, the sending side shut, and the client given a moment to
// close before the descriptor goes. Handlers find their connection by number:
// a closed one is simply gone, and notifiers are deleted only later.
class ServerWorker : public QObject
{
    Q_OBJECT
public:
    ServerWorker(std::shared_ptr<ServerShared> shared, DataServer* owner)
        : m_shared(std::move(shared)), m_owner(owner)
    {
        m_clock.start();
    }

public slots:
    // Listens as m_shared asks; the outcome goes back there.
    void listen()
    {
        closeListener();
        QHostAddress address;
        quint16 port = 0;
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            address = m_shared->address;
            port = m_shared->port;
            m_limits = m_shared->limits;
        }
        m_listener = new Listener;
        m_listener->setParent(this);
        m_listener->onIncoming = [this](qintptr fd) { accept(int(fd)); };
        const bool ok = m_listener->listen(address, port);
        const QString error = ok ? QString() : m_listener->errorString();
        const quint16 chosen = ok ? m_listener->serverPort() : 0;
        if (!ok)
            closeListener();
        if (ok && !m_sweep) {
            m_sweep = new QTimer(this);
            m_sweep->setInterval(SweepMs);
            connect(m_sweep, &QTimer::timeout, this, [this] { sweep(); });
        }
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->listening = ok;
        m_shared->error = error;
        m_shared->port = chosen;
    }

    void closeListener()
    {
        delete m_listener; // frees the port at once
        m_listener = nullptr;
    }

    void shutdown()
    {
        closeListener();
        while (!m_conns.empty())
            close(m_conns.begin()->first, false);
        delete m_sweep;
        m_sweep = nullptr;
        m_cachedData.reset();
    }

private:
    static constexpr int SweepMs = 25;
    enum Phase { eReading, eWriting, eLingering };
    struct Conn {
        quint64 id = 0;
        int fd = -1;
        Phase phase = eReading;
        QSocketNotifier* rd = nullptr;
        QSocketNotifier* wr = nullptr;
        QByteArray in;
        QByteArray out; // shared with the reply cache: no copy per client
        int sent = 0;
        qint64 opened = 0, lastActivity = 0, phaseStart = 0;
        bool peerClosed = false;
        bool replied = false;      // every byte of the reply went out
        bool startOnClose = false; // a POST that asks for a scan
    };

    Conn* find(quint64 id)
    {
        auto it = m_conns.find(id);
        return it == m_conns.end() ? nullptr : it->second.get();
    }

    void accept(int fd)
    {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
        qDebug() << "New connection";
        while (int(m_conns.size()) >= std::max(1, m_limits.maxConnections))
            evictOldest();
        auto c = std::make_unique<Conn>();
        c->id = ++m_nextId;
        c->fd = fd;
        c->opened = c->lastActivity = c->phaseStart = m_clock.elapsed();
        const quint64 id = c->id;
        c->rd = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        c->wr = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        c->wr->setEnabled(false);
        connect(c->rd, &QSocketNotifier::activated, this, [this, id] { readable(id); });
        connect(c->wr, &QSocketNotifier::activated, this, [this, id] { writable(id); });
        m_conns[id] = std::move(c);
        m_shared->open.store(int(m_conns.size()));
        if (m_sweep && !m_sweep->isActive())
            m_sweep->start();
    }

    void evictOldest()
    {
        auto oldest = m_conns.begin();
        for (auto it = m_conns.begin(); it != m_conns.end(); ++it)
            if (it->second->lastActivity < oldest->second->lastActivity)
                oldest = it;
        qDebug() << "Connection limit reached: the longest idle connection is closed";
        close(oldest->first, true);
    }

    void readable(quint64 id)
    {
        Conn* c = find(id);
        if (!c)
            return;
        char buf[16384];
        for (;;) {
            const ssize_t n = ::recv(c->fd, buf, sizeof buf, 0);
            if (n > 0) {
                c->lastActivity = m_clock.elapsed();
                if (c->phase != eReading)
                    continue; // lingering: what follows the request is dropped
                const int room = ServerReply::MaxRequestBytes - c->in.size();
                c->in.append(buf, std::min(int(n), room));
                if (c->in.size() >= ServerReply::MaxRequestBytes || ServerReply::isComplete(c->in)) {
                    answer(*c);
                    return;
                }
                continue;
            }
            if (n == 0) {
                // The client has sent all it will: its request is what arrived.
                c->peerClosed = true;
                if (c->phase == eReading)
                    answer(*c);
                else
                    close(id, false);
                return;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                close(id, true);
            return;
        }
    }

    void writable(quint64 id)
    {
        if (Conn* c = find(id))
            sendMore(*c);
    }

    void answer(Conn& c)
    {
        const ServerReply::Request r = ServerReply::parse(c.in);
        c.in = QByteArray();
        if (r.method == ServerReply::Request::eGet)
            qDebug() << "New GET Request";
        else if (r.method == ServerReply::Request::ePost)
            qDebug() << "New POST Request";
        if (r.method == ServerReply::Request::eGet && !r.pieces.isEmpty() && r.pieces.first() == "data") {
            c.out = dataReply();
        } else {
            ServerReply::Snapshot s;
            if (r.method == ServerReply::Request::eGet && !r.pieces.isEmpty() && r.pieces.first() == "info") {
                std::lock_guard<std::mutex> lock(m_shared->mutex);
                s.serialNumber = m_shared->serialNumber;
            }
            c.out = ServerReply::reply(r, s);
        }
        if (r.postStart) {
            if (r.hasOrigin)
                notice(QStringLiteral("Data server: a POST from a web page (Origin: %1) was ignored; "
                                      "web pages may not start a scan.")
                           .arg(QString::fromLatin1(r.origin.left(200))));
            else if (!m_shared->startAllowed.load())
                notice(QStringLiteral("Data server: a POST asked for a scan; remote scan start is off, "
                                      "nothing was started."));
            else
                c.startOnClose = true;
        }
        c.phase = eWriting;
        c.phaseStart = m_clock.elapsed();
        c.rd->setEnabled(false);
        sendMore(c);
    }

    QByteArray dataReply()
    {
        std::shared_ptr<const ServedData> data;
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            data = m_shared->data;
        }
        const bool running = m_shared->scanRunning.load();
        if (data != m_cachedData || m_groups.isNull()) {
            m_cachedData = data;
            m_groups = data ? servedGroupsText(*data) : QByteArray("");
            m_replies[0] = m_replies[1] = QByteArray();
        }
        QByteArray& reply = m_replies[running ? 1 : 0];
        if (reply.isNull())
            reply = ServerReply::withHeader(ServerReply::dataBodyAround(running, m_groups));
        return reply;
    }

    void sendMore(Conn& c)
    {
        while (c.sent < c.out.size()) {
            const ssize_t n = ::send(c.fd, c.out.constData() + c.sent, size_t(c.out.size() - c.sent), MSG_NOSIGNAL);
            if (n > 0) {
                c.sent += int(n);
                c.lastActivity = c.phaseStart = m_clock.elapsed();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                c.wr->setEnabled(true);
                return;
            }
            close(c.id, true); // the client is gone
            return;
        }
        c.wr->setEnabled(false);
        c.out = QByteArray();
        c.replied = true;
        ::shutdown(c.fd, SHUT_WR);
        if (c.peerClosed) {
            close(c.id, false);
            return;
        }
        // Reading on until the client closes keeps its unread request bytes
        // from turning the close into a reset that could cost it the reply.
        c.phase = eLingering;
        c.phaseStart = m_clock.elapsed();
        c.rd->setEnabled(true);
    }

    // Descriptor closed now; notifiers deleted once their handlers returned.
    void close(quint64 id, bool abort)
    {
        auto it = m_conns.find(id);
        if (it == m_conns.end())
            return;
        std::unique_ptr<Conn> c = std::move(it->second);
        m_conns.erase(it);
        c->rd->setEnabled(false);
        c->wr->setEnabled(false);
        c->rd->deleteLater();
        c->wr->deleteLater();
        if (abort) {
            // A reset frees what the kernel still holds for the client.
            const linger l{1, 0};
            ::setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(c->fd);
        // The scan starts on the owner's thread, outside any handler of this
        // connection, posted before the count drops so that whoever sees the
        // connection gone finds the request already queued.
        if (c->startOnClose && c->replied) {
            {
                std::lock_guard<std::mutex> lock(m_shared->mutex);
                ++m_shared->startsAsked;
            }
            QMetaObject::invokeMethod(m_owner, "deliver", Qt::QueuedConnection);
        }
        m_shared->open.store(int(m_conns.size()));
        if (m_conns.empty() && m_sweep)
            m_sweep->stop();
    }

    void sweep()
    {
        const qint64 now = m_clock.elapsed();
        std::vector<quint64> ids;
        ids.reserve(m_conns.size());
        for (const auto& entry : m_conns)
            ids.push_back(entry.first);
        for (quint64 id : ids) {
            Conn* c = find(id);
            if (!c)
                continue;
            const qint64 age = now - c->phaseStart;
            if (c->phase == eReading && now - c->opened >= m_limits.requestWaitMs) {
                answer(*c);
            } else if (c->phase == eWriting && age >= m_limits.writeStallMs) {
                qDebug() << "A reply that did not drain was aborted";
                close(id, true);
            } else if (c->phase == eLingering && age >= m_limits.lingerMs) {
                close(id, false);
            }
        }
    }

    void notice(const QString& line)
    {
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            m_shared->notices << line;
        }
        QMetaObject::invokeMethod(m_owner, "deliver", Qt::QueuedConnection);
    }

    std::shared_ptr<ServerShared> m_shared;
    DataServer* m_owner;
    DataServer::Limits m_limits;
    Listener* m_listener = nullptr;
    QTimer* m_sweep = nullptr;
    QElapsedTimer m_clock;
    std::map<quint64, std::unique_ptr<Conn>> m_conns;
    quint64 m_nextId = 0;
    std::shared_ptr<const ServedData> m_cachedData;
    QByteArray m_groups;
    QByteArray m_replies[2];
};

DataServer::DataServer(Source source, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_shared(std::make_shared<ServerShared>())
{
    m_publishTimer = new QTimer(this);
    m_publishTimer->setInterval(PublishMs);
    connect(m_publishTimer, &QTimer::timeout, this, &DataServer::publish);
}

DataServer::~DataServer()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_worker, "shutdown", Qt::BlockingQueuedConnection);
    // The worker goes in its own thread as that ends (see start()).
    m_thread->quit();
    m_thread->wait();
}

bool DataServer::start(quint16 port, const QHostAddress& address)
{
    stop();
    if (!m_thread) {
        m_thread = new QThread(this);
        m_thread->setObjectName(QStringLiteral("data server"));
        m_worker = new ServerWorker(m_shared, this);
        m_worker->moveToThread(m_thread);
        connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread->start();
    }
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->address = address;
        m_shared->port = port;
        m_shared->limits = m_limits;
    }
    QMetaObject::invokeMethod(m_worker, "listen", Qt::BlockingQueuedConnection);
    bool ok = false;
    quint16 chosen = 0;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        ok = m_shared->listening;
        chosen = m_shared->port;
        m_error = m_shared->error;
    }
    if (!ok)
        return false;
    m_error.clear();
    m_port = chosen;
    m_listening = true;
    publish();
    m_publishTimer->start();
    qDebug().noquote() << "IP: " + displayAddress() + " . Port: " + QString::number(m_port);
    if (isAnyAddress(address))
        emit notice(QStringLiteral("Warning: the data server listens on all addresses (port %1): it accepts "
                                   "connections from other computers without authentication, and a POST "
                                   "starts a high-voltage sweep.")
                        .arg(m_port));
    return true;
}

void DataServer::stop()
{
    if (!m_listening)
        return;
    QMetaObject::invokeMethod(m_worker, "closeListener", Qt::BlockingQueuedConnection);
    m_listening = false;
    m_publishTimer->stop();
}

int DataServer::openConnections() const
{
    return m_shared->open.load();
}

void DataServer::publish()
{
    QElapsedTimer t;
    t.start();
    std::shared_ptr<const ServedData> data = m_builder.update(m_source.session ? m_source.session() : nullptr);
    const QString serial = m_source.serialNumber ? m_source.serialNumber() : QString();
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->data = std::move(data);
        m_shared->serialNumber = serial;
    }
    // A large session is compared less often: at most a tenth of the thread's time.
    m_publishTimer->setInterval(std::max<qint64>(PublishMs, 10 * t.elapsed()));
}

void DataServer::deliver()
{
    int starts = 0;
    QStringList notices;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        std::swap(starts, m_shared->startsAsked);
        notices.swap(m_shared->notices);
    }
    for (const QString& line : notices)
        emit notice(line);
    for (int i = 0; i < starts; ++i)
        emit scanStartRequested();
}

void DataServer::setScanRunning(bool running)
{
    m_shared->scanRunning.store(running);
}

void DataServer::setRemoteStartAllowed(bool allowed)
{
    m_shared->startAllowed.store(allowed);
}

bool DataServer::remoteStartAllowed() const
{
    return m_shared->startAllowed.load();
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

bool DataServer::isAnyAddress(const QHostAddress& address)
{
    return address == QHostAddress(QHostAddress::Any) || address == QHostAddress(QHostAddress::AnyIPv4)
        || address == QHostAddress(QHostAddress::AnyIPv6);
}

#include "DataServer.moc"
