// The data server's replies byte for byte, and the server itself answering
// real sockets without blocking the event loop.
#include "DataAnalyzer.h"
#include "DataServer.h"
#include "ServerReply.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>
#include <cmath>
#include <memory>

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
    void socketClients();
    void silentClientsDoNotBlock();
    void postStartsOnlyOnTrue();
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

namespace {

struct Fixture {
    int scansStarted = 0;
    DataAnalyzer session;
    std::unique_ptr<DataServer> server;
    Fixture()
    {
        DataServer::Source src;
        src.serialNumber = [] { return QStringLiteral("SN-7"); };
        src.scanRunning = [] { return false; };
        src.session = [this] { return &session; };
        src.startScan = [this] { ++scansStarted; };
        server = std::make_unique<DataServer>(src);
    }
};

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
    QVERIFY(f.server->start(0, QHostAddress::LocalHost));
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
    QVERIFY(f.server->start(0, QHostAddress::LocalHost));
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

void TestServerReply::postStartsOnlyOnTrue()
{
    Fixture f;
    QVERIFY(f.server->start(0, QHostAddress::LocalHost));
    QCOMPARE(exchange(f.server->port(), "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nfalse"), QByteArray("HTTP/1.0 200 OK\r\n"));
    QCOMPARE(f.scansStarted, 0);
    QCOMPARE(exchange(f.server->port(), "POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\ntrue"), QByteArray("HTTP/1.0 200 OK\r\n"));
    QCOMPARE(f.scansStarted, 1);
}

void TestServerReply::listenFailureAndStop()
{
    Fixture a, b;
    QVERIFY(a.server->start(0, QHostAddress::LocalHost));
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
