// The data server on loopback with the example session: GET /data requests per
// second from 4 concurrent clients (one connection per request), and the
// longest event-loop stall while 50 idle connections are open meanwhile.
// Then the latency a polling client sees during a measurement: the example
// session in a shown session window takes a run on the simulated unit at
// speed 1 while 4 clients poll GET /data; the 99th percentile of their times.
// Last, what a session of 100,000 scans costs the window's thread: the
// longest publication (first, then unchanged), while clients read /data.

#include "DataAnalyzer.h"
#include "DataServer.h"
#include "SessionFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>

#ifdef LP_BENCH_RUN
#include <QApplication>
#include "PlotManager.h"
#include "RunRig.h"
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
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

// The longest a publication of a 100,000-scan session took on this thread
// (ms): the first, which copies every scan, and one that finds no change.
bool publishLargeSession(double* firstMs, double* unchangedMs)
{
    DataAnalyzer session;
    ScanRecord scan;
    scan.scanType = ScanRecord::eSpatialRun;
    for (int i = 0; i < 50; ++i) {
        scan.corrected.V.append(-10 + i * 0.5);
        scan.corrected.I.append(1e-6 * i);
    }
    for (int i = 0; i < 100000; ++i) {
        scan.position = i;
        session.addScan(scan);
    }
    const DataAnalyzer* served = nullptr;
    DataServer::Source src;
    src.session = [&served] { return served; };
    DataServer server(src);
    if (!server.start(0, QHostAddress::LocalHost))
        return false;
    served = &session;
    QElapsedTimer t;
    t.start();
    server.publish();
    *firstMs = t.nsecsElapsed() / 1e6;
    t.restart();
    server.publish();
    *unchangedMs = t.nsecsElapsed() / 1e6;
    return getData(server.port());
}

#ifdef LP_BENCH_RUN
constexpr int kPollMs = 20;

// The 99th-percentile and longest time (ms) of GET /data from 4 polling
// clients while a measurement fills the served session; false when the run failed.
bool latencyDuringRun(QApplication& app, double* p99, double* maxMs)
{
    RunRig rig(1);
    if (!rig.connected)
        return false;
    PlotManager pm;
    pm.resize(1400, 900);
    pm.show();
    if (!pm.load(QStringLiteral(LP_EXAMPLE_SESSION)))
        return false;
    pm.setView(PlotManager::eViewScan);
    RunSessionObserver observer;
    observer.setSession(&pm);
    rig.sequence.setSession(pm.data(), &observer);
    SingleProbeConfigParam cfg;
    cfg.dataScanRunScans = 40;

    DataServer::Source src;
    src.session = [&pm]() -> const DataAnalyzer* { return pm.data(); };
    DataServer server(src);
    server.setScanRunning(true);
    if (!server.start(0, QHostAddress::LocalHost))
        return false;
    const quint16 port = server.port();

    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::vector<std::vector<double>> times(kClients);
    std::vector<std::thread> clients;
    bool ok = false;
    QTimer::singleShot(0, [&] {
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&, c] {
                while (!stop) {
                    QElapsedTimer t;
                    t.start();
                    if (!getData(port))
                        ++failures;
                    times[c].push_back(t.nsecsElapsed() / 1e6);
                    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
                }
            });
        ok = rig.sequence.runScan(cfg);
        stop = true;
        app.quit();
    });
    app.exec();
    for (auto& t : clients)
        t.join();
    std::vector<double> all;
    for (const auto& v : times)
        all.insert(all.end(), v.begin(), v.end());
    if (failures)
        std::fprintf(stderr, "latency run: %d of %d requests failed\n", int(failures), int(all.size()));
    if (!ok || all.size() < 100) {
        std::fprintf(stderr, "latency run failed (ok %d, %d requests, %d failed): %s\n", int(ok), int(all.size()),
                     int(failures), qPrintable(rig.alerts.join("; ")));
        return false;
    }
    std::sort(all.begin(), all.end());
    *p99 = all[std::min(all.size() - 1, size_t(std::ceil(all.size() * 0.99)) - 1)];
    *maxMs = all.back();
    return true;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef LP_BENCH_RUN
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setOrganizationName("QuendrixBench");
    QCoreApplication::setApplicationName("bench_server");
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
    if (failures) {
        std::fprintf(stderr, "failed requests: %d\n", int(failures));
        return 1;
    }
#ifdef LP_BENCH_RUN
    double p99 = 0, maxMs = 0;
    if (!latencyDuringRun(app, &p99, &maxMs))
        return 1;
    std::printf("server_latency_run_ms: %.1f\n", p99);
    std::printf("server_latency_run_max_ms: %.1f\n", maxMs);
#endif
    double firstMs = 0, unchangedMs = 0;
    if (!publishLargeSession(&firstMs, &unchangedMs))
        return 1;
    std::printf("server_publish_100k_ms: %.1f\n", firstMs);
    std::printf("server_publish_100k_unchanged_ms: %.1f\n", unchangedMs);
    return 0;
}
