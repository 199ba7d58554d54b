// The data server on loopback with the example session: GET /data requests per
// second from 4 concurrent clients (one connection per request), and the
// longest event-loop stall while 50 idle connections are open meanwhile.

#include "DataAnalyzer.h"
#include "DataServer.h"
#include "SessionFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kClients = 4;
constexpr int kRequestsEach = 500;
constexpr int kIdle = 50;

bool getData(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return false;
    s.write("GET /data HTTP/1.1\r\nHost: bench\r\n\r\n");
    QByteArray got;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
        got += s.readAll();
    got += s.readAll();
    return got.startsWith("HTTP/1.0 200 OK\r\nConnection-Type");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    qSetMessagePattern(QString());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    DataAnalyzer session;
    QFile f(QStringLiteral(LP_EXAMPLE_SESSION));
    if (!f.open(QIODevice::ReadOnly) || !SessionFile::read(session, f)) {
        std::fprintf(stderr, "cannot read the example session\n");
        return 1;
    }
    DataServer::Source src;
    src.session = [&session]() -> const DataAnalyzer* { return &session; };
    src.scanRunning = [] { return false; };
    DataServer server(src);
    if (!server.start(0, QHostAddress::LocalHost))
        return 1;
    const quint16 port = server.port();

    // Idle connections: opened before the clients start and held open.
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::thread idle([&] {
        std::vector<std::unique_ptr<QTcpSocket>> held;
        while (!done) {
            held.clear();
            for (int i = 0; i < kIdle; ++i) {
                held.push_back(std::make_unique<QTcpSocket>());
                held.back()->connectToHost(QHostAddress::LocalHost, port);
                held.back()->waitForConnected(5000);
            }
            // The server answers a silent client after its wait; then open new ones.
            for (auto& s : held)
                s->waitForDisconnected(2000);
        }
    });

    qint64 maxGapNs = 0;
    QElapsedTimer tick;
    tick.start();
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        maxGapNs = std::max(maxGapNs, tick.nsecsElapsed());
        tick.restart();
    });

    QElapsedTimer clock;
    std::vector<std::thread> clients;
    std::atomic<int> running{kClients};
    QTimer::singleShot(200, [&] {
        tick.restart();
        probe.start();
        clock.start();
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&] {
                for (int i = 0; i < kRequestsEach; ++i)
                    if (!getData(port))
                        ++failures;
                if (--running == 0)
                    QMetaObject::invokeMethod(&app, "quit", Qt::QueuedConnection);
            });
    });
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    probe.stop();
    done = true;
    for (auto& t : clients)
        t.join();
    idle.join();

    std::printf("server_rps: %.0f\n", kClients * kRequestsEach / seconds);
    // The probe fires every 1 ms; the stall is the gap beyond that.
    std::printf("server_stall_ms: %.1f\n", std::max(0.0, maxGapNs / 1e6 - 1.0));
    if (failures)
        std::fprintf(stderr, "failed requests: %d\n", int(failures));
    return failures ? 1 : 0;
}
