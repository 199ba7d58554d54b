// The data server's replies byte for byte, and the server itself answering
// real sockets from its own thread: what was published, a POST's scan only
// after its connection closed (also when the scan spins event loops), and the
// bounds on what one client may hold.
#include "DataAnalyzer.h"
#include "DataServer.h"
#include "ServerReply.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>
#include <cmath>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

using namespace ServerReply;

namespace {

ScanRecord makeScan(double position, double t, double vp)
{
    ScanRecord s;
    s.scanType = ScanRecord::eSpatialRun;
    s.position = position;
    s.resolvedTime = t;
    s.corrected.V = {-1.5, 0, 2.25};
    s.corrected.I = {-1e-06, 2.5e-05, 0.00125};
    s.result.setValue(ResultRecord::eVp, vp);
    s.result.setError(ResultRecord::eVp, 0.125);
    s.result.setValue(ResultRecord::eEedfKTe, 1234567.0);
    return s;
}

QByteArray scanText(double pos, double t, const char* vp, bool last)
{
    QByteArray b = "{\r\n\"Voltage\": [-1.5,0,2.25],\r\n\"Current\": [-1e-06,2.5e-05,0.00125],\r\n";
    b += "\"spatial_position\":\"" + QByteArray::number(pos) + "\",\r\n";
    b += "\"time\":\"" + QByteArray::number(t) + "\",\r\n";
    b += QByteArray("\"Vp\":\"") + vp + "\",\r\n";
    for (const char* k : {"Vf", "kTe", "Jp", "Ni", "Ld", "Je", "Ne", "Isat", "EEPF_Ne", "EEPF_Energy"})
        b += QByteArray("\"") + k + "\":\"nan\",\r\n";
    b += "\"EEPF_kTe\":\"1.23457e+06\",\r\n";
    b += "\"Vp_Error\":\"0.125\",\r\n";
    for (const char* k : {"Vf", "kTe", "Jp", "Ni", "Ld", "Je", "Ne", "Isat", "EEPF_Ne", "EEPF_Energy"})
        b += QByteArray("\"") + k + "_Error\":\"nan\",\r\n";
    b += "\"EEPF_kTe_Error\":\"nan\"\r\n";
    b += last ? "}\r\n" : "},\r\n";
    return b;
}

QByteArray header(int length)
{
    return "HTTP/1.0 200 OK\r\nConnection-Type: application/json\nContent-Length: " + QByteArray::number(length) + "\n\r\n";
}

} // namespace

class TestServerReply : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void twoGroups();
    void completeness_data();
    void completeness();
    void originHeader_data();
    void originHeader();
    void socketClients();
    void silentClientsDoNotBlock();
    void servesWhatWasPublished();
    void post_data();
    void post();
    void scanSpinningEventLoopsAfterPost();
    void halfCloseIsAnswered();
    void stalledReplyIsAborted();
    void connectionCapClosesOldestIdle();
    void listenFailureAndStop();
};

void TestServerReply::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray info = "{\r\n\"serial_number\":\"VK2-0042\"\r\n}\r\n\n";
    const QByteArray empty = "{\r\n\"scan_running\":\"False\",\r\n\"data\":\r\n[\r\n]\r\n\n}\r\n\n";
    QTest::newRow("info") << QByteArray("GET /info HTTP/1.1\r\nHost: x\r\n\r\n") << header(info.size()) + info;
    QTest::newRow("data, case and query") << QByteArray("GET /Data?x=1 HTTP/1.1\r\n\r\n") << header(empty.size()) + empty;
    QTest::newRow("later pieces ignored") << QByteArray("GET /DATA/anything HTTP/1.0\r\n\r\n") << header(empty.size()) + empty;
    QTest::newRow("root: status line alone") << QByteArray("GET / HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.0 200 OK\r\n");
    QTest::newRow("no target") << QByteArray("GET \r\n\r\n") << QByteArray("HTTP/1.0 200 OK\r\n");
    QTest::newRow("double space: empty target") << QByteArray("GET  /data HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.0 200 OK\r\n");
    QTest::newRow("other path") << QByteArray("GET /foo HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.0 200 OK\r\n\r\n");
    QTest::newRow("GET without space") << QByteArray("GETX /data\r\n\r\n")
        << QByteArray("HTTP/1.1 405 Method Not Allowed\nServer: tavro/1.0\nConnection: close\n");
    QTest::newRow("PUT") << QByteArray("PUT /data HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 405 Method Not Allowed\nServer: tavro/1.0\nConnection: close\n");
    QTest::newRow("empty") << QByteArray()
        << QByteArray("HTTP/1.1 405 Method Not Allowed\nServer: tavro/1.0\nConnection: close\n");
    QTest::newRow("POST true") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\ntrue") << QByteArray("HTTP/1.0 200 OK\r\n");
    QTest::newRow("POST false") << QByteArray("POST / HTTP/1.1\r\n\r\nfalse") << QByteArray("HTTP/1.0 200 OK\r\n");
}

void TestServerReply::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    Snapshot s;
    s.serialNumber = QStringLiteral("VK2-0042");
    QCOMPARE(reply(parse(request), s), expected);
}

void TestServerReply::twoGroups()
{
    DataAnalyzer session;
    session.addScan(makeScan(10, 0, 3.5));
    session.addScan(makeScan(20, 250, -0.0001));
    QCOMPARE(session.groupCount(), 2);
    const QByteArray body = dataBody(true, &session);
    const QByteArray expected = "{\r\n\"scan_running\":\"True\",\r\n\"data\":\r\n[\r\n"
        "[\r\n" + scanText(10, 0, "3.5", true) + "],\r\n"
        "[\r\n" + scanText(20, 250, "-0.0001", true) + "]\r\n"
        "]\r\n\n}\r\n\n";
    QCOMPARE(body, expected);
    Snapshot s;
    s.scanRunning = true;
    s.session = &session;
    QCOMPARE(reply(parse("GET /data HTTP/1.1\r\n\r\n"), s), header(expected.size()) + expected);

    // Two scans in one group: the first closes with "},".
    DataAnalyzer one;
    one.addScan(makeScan(5, 0, 1));
    one.addScan(makeScan(5, 0, 2));
    QCOMPARE(one.groupCount(), 1);
    QCOMPARE(dataBody(false, &one), QByteArray("{\r\n\"scan_running\":\"False\",\r\n\"data\":\r\n[\r\n[\r\n")
             + scanText(5, 0, "1", false) + scanText(5, 0, "2", true) + "]\r\n]\r\n\n}\r\n\n");
}

void TestServerReply::completeness_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("complete");
    QTest::newRow("request line only") << QByteArray("GET /data HTTP/1.1\r\n") << false;
    QTest::newRow("headers ended") << QByteArray("GET /data HTTP/1.1\r\nHost: a\r\n\r\n") << true;
    QTest::newRow("bare LF") << QByteArray("GET /data\n\n") << true;
    QTest::newRow("body pending") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\ntr") << false;
    QTest::newRow("body done") << QByteArray("POST / HTTP/1.1\r\ncontent-length: 4\r\n\r\ntrue") << true;
    QTest::newRow("bad length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: x\r\n\r\n") << true;
    QTest::newRow("nothing") << QByteArray() << false;
}

void TestServerReply::completeness()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, complete);
    QCOMPARE(isComplete(request), complete);
}

void TestServerReply::originHeader_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("hasOrigin");
    QTest::addColumn<QByteArray>("origin");
    QTest::newRow("none") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\ntrue") << false << QByteArray();
    QTest::newRow("web page") << QByteArray("POST / HTTP/1.1\r\nOrigin: http://attacker.example\r\n"
                                            "Content-Type: text/plain\r\n\r\ntrue")
                              << true << QByteArray("http://attacker.example");
    QTest::newRow("any case, null") << QByteArray("POST / HTTP/1.1\r\norIGin:null\r\n\r\ntrue") << true
                                    << QByteArray("null");
    QTest::newRow("in the body only") << QByteArray("POST / HTTP/1.1\r\n\r\nOrigin: x\ntrue") << false << QByteArray();
}

void TestServerReply::originHeader()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, hasOrigin);
    QFETCH(QByteArray, origin);
    const Request r = parse(request);
    QVERIFY(r.postStart);
    QCOMPARE(r.hasOrigin, hasOrigin);
    QCOMPARE(r.origin, origin);
}

namespace {

struct Fixture {
    int scansStarted = 0;
    QStringList notices;
    DataAnalyzer session;
    std::unique_ptr<DataServer> server;
    explicit Fixture(DataServer::Limits limits = {})
    {
        DataServer::Source src;
        src.serialNumber = [] { return QStringLiteral("SN-7"); };
        src.session = [this] { return &session; };
        server = std::make_unique<DataServer>(src);
        server->setLimits(limits);
        QObject::connect(server.get(), &DataServer::scanStartRequested, [this] { ++scansStarted; });
        QObject::connect(server.get(), &DataServer::notice, [this](const QString& l) { notices << l; });
    }
    bool start() { return server->start(0, QHostAddress::LocalHost); }
    // Waits until no connection is open, then delivers what the server queued.
    bool settled()
    {
        QElapsedTimer t;
        t.start();
        while (server->openConnections() > 0 && t.elapsed() < 5000)
            QTest::qWait(5);
        QCoreApplication::processEvents();
        return server->openConnections() == 0;
    }
};

// A blocking client socket of the test's own: the server needs no event loop
// of this thread. rcvbuf > 0 shrinks its receive buffer.
int rawConnect(quint16 port, int rcvbuf = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (rcvbuf > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    const timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything until the server closes (or 5 s pass): false on a reset or time-out.
bool rawReadAll(int fd, QByteArray* got)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        got->append(buf, int(n));
    }
}

// Sends the bytes and collects the reply until the server closes.
QByteArray exchange(quint16 port, const QByteArray& request, int* elapsedMs = nullptr)
{
    QTcpSocket c;
    QElapsedTimer t;
    t.start();
    c.connectToHost(QHostAddress::LocalHost, port);
    if (!c.waitForConnected(5000))
        return "no connection";
    c.write(request);
    QByteArray got;
    QEventLoop loop;
    QObject::connect(&c, &QTcpSocket::readyRead, [&] { got += c.readAll(); });
    QObject::connect(&c, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    if (c.state() != QAbstractSocket::UnconnectedState)
        loop.exec();
    got += c.readAll();
    if (elapsedMs)
        *elapsedMs = int(t.elapsed());
    return got;
}

} // namespace

void TestServerReply::socketClients()
{
    Fixture f;
    QVERIFY(f.start());
    const quint16 port = f.server->port();
    const QByteArray info = "{\r\n\"serial_number\":\"SN-7\"\r\n}\r\n\n";
    int ms = 0;
    QCOMPARE(exchange(port, "GET /info HTTP/1.1\r\n\r\n", &ms), header(info.size()) + info);
    QVERIFY2(ms < 400, "a complete request is answered without waiting for the timer");
    // An unterminated request is answered when the wait runs out, with the same bytes.
    QCOMPARE(exchange(port, "GET /info HTTP/1.1\r\n", &ms), header(info.size()) + info);
    QVERIFY(ms >= DataServer::RequestWaitMs - 50);
    QCOMPARE(exchange(port, "DELETE / HTTP/1.1\r\n\r\n"),
             QByteArray("HTTP/1.1 405 Method Not Allowed\nServer: tavro/1.0\nConnection: close\n"));
    // An oversized request is cut at the cap and answered.
    QByteArray big = "GET /foo HTTP/1.1\r\nX: " + QByteArray(200 * 1024, 'a');
    QCOMPARE(exchange(port, big, &ms), QByteArray("HTTP/1.0 200 OK\r\n\r\n"));
    QVERIFY(ms < 400);
}

void TestServerReply::silentClientsDoNotBlock()
{
    Fixture f;
    QVERIFY(f.start());
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 50; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, f.server->port());
        QVERIFY(idle.back()->waitForConnected(5000));
    }
    QTRY_COMPARE(f.server->openConnections(), 50);
    int ms = 0;
    const QByteArray r = exchange(f.server->port(), "GET /data HTTP/1.1\r\n\r\n", &ms);
    QVERIFY(r.startsWith("HTTP/1.0 200 OK\r\nConnection-Type"));
    QVERIFY2(ms < 100, qPrintable(QString::number(ms)));
    // The silent ones get their reply when the wait runs out, then go.
    QTRY_COMPARE_WITH_TIMEOUT(f.server->openConnections(), 0, 5000);
}

void TestServerReply::servesWhatWasPublished()
{
    Fixture f;
    f.session.addScan(makeScan(10, 0, 3.5));
    QVERIFY(f.start());
    const QByteArray get = "GET /data HTTP/1.1\r\n\r\n";
    QCOMPARE(exchange(f.server->port(), get), withHeader(dataBody(false, &f.session)));
    // Changes reach clients once published; the running flag at once.
    f.session.scan(0, 0)->result.setValue(ResultRecord::eKTe, 2.5);
    f.session.scan(0, 0)->corrected.I[1] = 7e-06;
    f.session.addScan(makeScan(20, 0, 1));
    f.server->setScanRunning(true);
    QVERIFY(exchange(f.server->port(), get).contains("\"scan_running\":\"True\""));
    f.server->publish();
    const QByteArray now = withHeader(dataBody(true, &f.session));
    QVERIFY(now.contains("\"kTe\":\"2.5\"") && now.contains("[-1e-06,7e-06,0.00125]"));
    QCOMPARE(exchange(f.server->port(), get), now);
    // The session gone: an empty data array.
    f.session.clearScans();
    f.server->setScanRunning(false);
    f.server->publish();
    QCOMPARE(exchange(f.server->port(), get), withHeader(dataBody(false, nullptr)));
}

void TestServerReply::post_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<int>("starts");
    QTest::addColumn<QString>("notice");
    const QByteArray post = "POST / HTTP/1.1\r\nContent-Length: 4\r\n";
    QTest::newRow("true") << post + "\r\ntrue" << true << 1 << QString();
    QTest::newRow("false") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nfalse") << true << 0 << QString();
    QTest::newRow("web page") << post + "Origin: http://attacker.example\r\nContent-Type: text/plain\r\n\r\ntrue"
                              << true << 0 << "POST from a web page (Origin: http://attacker.example) was ignored";
    QTest::newRow("remote start off") << post + "\r\ntrue" << false << 0 << "remote scan start is off";
}

void TestServerReply::post()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, allowed);
    QFETCH(int, starts);
    QFETCH(QString, notice);
    Fixture f;
    f.server->setRemoteStartAllowed(allowed);
    QVERIFY(f.start());
    QCOMPARE(exchange(f.server->port(), request), QByteArray("HTTP/1.0 200 OK\r\n"));
    QVERIFY(f.settled());
    QCOMPARE(f.scansStarted, starts);
    QCOMPARE(f.notices.size(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty())
        QVERIFY2(f.notices.first().contains(notice), qPrintable(f.notices.first()));
}

void TestServerReply::scanSpinningEventLoopsAfterPost()
{
    // A scan runs event loops of its own for its whole length: clients come
    // and go meanwhile, and the POST's connection must be long closed.
    Fixture f;
    QVERIFY(f.start());
    const quint16 port = f.server->port();
    int openAtStart = -1;
    QByteArray duringScan;
    QObject::connect(f.server.get(), &DataServer::scanStartRequested, [&] {
        openAtStart = f.server->openConnections();
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        QTimer::singleShot(20, [&] { duringScan = exchange(port, "GET /info HTTP/1.1\r\n\r\n"); });
        loop.exec();
    });
    QCOMPARE(exchange(port, "POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\ntrue"), QByteArray("HTTP/1.0 200 OK\r\n"));
    QTRY_COMPARE(f.scansStarted, 1);
    QCOMPARE(openAtStart, 0);
    QVERIFY(duringScan.endsWith("\"serial_number\":\"SN-7\"\r\n}\r\n\n"));
    QCOMPARE(exchange(port, "GET / HTTP/1.1\r\n\r\n"), QByteArray("HTTP/1.0 200 OK\r\n"));
}

void TestServerReply::halfCloseIsAnswered()
{
    DataServer::Limits limits;
    limits.requestWaitMs = 60000; // only the half-close can end this request
    Fixture f(limits);
    f.session.addScan(makeScan(1, 0, 2));
    QVERIFY(f.start());
    const int fd = rawConnect(f.server->port());
    QVERIFY(fd >= 0);
    QCOMPARE(::send(fd, "GET /data\r\n", 11, 0), ssize_t(11));
    ::shutdown(fd, SHUT_WR);
    QByteArray got;
    QVERIFY(rawReadAll(fd, &got));
    ::close(fd);
    QCOMPARE(got, withHeader(dataBody(false, &f.session)));
}

void TestServerReply::stalledReplyIsAborted()
{
    DataServer::Limits limits;
    limits.writeStallMs = 200;
    limits.lingerMs = 60000; // a drained reply would stay open: only the abort closes it
    Fixture f(limits);
    // About 8 MB: more than the socket buffers hold.
    ScanRecord big = makeScan(0, 0, 1);
    big.corrected.V = QVector<double>(4000, -1.234567);
    big.corrected.I = QVector<double>(4000, 1.234567e-05);
    for (int i = 0; i < 100; ++i)
        f.session.addScan(big);
    QVERIFY(f.start());
    const int fd = rawConnect(f.server->port(), 4096);
    QVERIFY(fd >= 0);
    QCOMPARE(::send(fd, "GET /data\r\n\r\n", 13, 0), ssize_t(13));
    QTRY_COMPARE(f.server->openConnections(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(f.server->openConnections() == 0, 10000);
    QByteArray got;
    QVERIFY(!rawReadAll(fd, &got)); // reset
    ::close(fd);
    QVERIFY(got.size() < withHeader(dataBody(false, &f.session)).size());
}

void TestServerReply::connectionCapClosesOldestIdle()
{
    DataServer::Limits limits;
    limits.maxConnections = 3;
    limits.requestWaitMs = 60000;
    Fixture f(limits);
    QVERIFY(f.start());
    int idle[3];
    for (int& fd : idle) {
        fd = rawConnect(f.server->port());
        QVERIFY(fd >= 0);
        QTRY_COMPARE(f.server->openConnections(), int(&fd - idle) + 1);
    }
    QCOMPARE(exchange(f.server->port(), "GET / HTTP/1.1\r\n\r\n"), QByteArray("HTTP/1.0 200 OK\r\n"));
    QTRY_COMPARE(f.server->openConnections(), 2);
    char c;
    QVERIFY(::recv(idle[0], &c, 1, 0) <= 0); // the oldest was closed
    QCOMPARE(::recv(idle[1], &c, 1, MSG_DONTWAIT), ssize_t(-1)); // still open, nothing sent
    QCOMPARE(errno, EAGAIN);
    for (int fd : idle)
        ::close(fd);
}

void TestServerReply::listenFailureAndStop()
{
    Fixture a, b;
    QVERIFY(a.start());
    const quint16 port = a.server->port();
    QVERIFY(!b.server->start(port, QHostAddress::LocalHost));
    QVERIFY(!b.server->errorString().isEmpty());
    QVERIFY(!b.server->isListening());
    a.server->stop();
    QVERIFY(!a.server->isListening());
    // Stopping frees the port.
    QVERIFY2(b.server->start(port, QHostAddress::LocalHost), qPrintable(b.server->errorString()));
    QCOMPARE(exchange(port, "GET / HTTP/1.1\r\n\r\n"), QByteArray("HTTP/1.0 200 OK\r\n"));
}

QTEST_GUILESS_MAIN(TestServerReply)
#include "tst_serverreply.moc"
