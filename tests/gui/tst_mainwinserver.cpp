// The data server in the main window against the simulated unit: a scan that
// a POST started runs to its end and leaves the window, its session and the
// server as they were; a polling client reads "scan_running" as "True" from
// the start of a measurement, cleaning or job's scan to its end, without a
// gap between sweeps.
#include "DataAnalyzer.h"
#include "DataServer.h"
#include "MainWin.h"
#include "JobScript.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "ScriptedPrompter.h"
#include "ServerDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// One request on a blocking socket of the calling thread; the reply up to
// the server's close ("" when none came).
QByteArray request(quint16 port, const QByteArray& bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray got;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size()) {
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            got.append(buf, int(n));
    }
    ::close(fd);
    return got;
}

// Polls GET /data from a thread of its own and keeps the "scan_running"
// values it read, runs of equal values collapsed: "FTF" is one run seen whole.
class Poller
{
public:
    explicit Poller(quint16 port)
        : m_thread([this, port] {
              while (!m_stop) {
                  const QByteArray r = request(port, "GET /data HTTP/1.0\r\n\r\n");
                  const char c = r.contains("\"scan_running\":\"True\"") ? 'T'
                                 : r.contains("\"scan_running\":\"False\"") ? 'F' : '?';
                  std::lock_guard<std::mutex> lock(m_mutex);
                  if (m_seen.empty() || m_seen.back() != c)
                      m_seen += c;
                  ++m_polls;
              }
          })
    {
    }
    ~Poller() { stop(); }
    int polls() const { return m_polls; }
    std::string stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_seen;
    }
    // Returns once the poller has read a few more replies.
    void readsMore()
    {
        const int n = m_polls;
        QTRY_VERIFY(m_polls >= n + 3);
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_polls{0};
    std::mutex m_mutex;
    std::string m_seen;
    std::thread m_thread;
};

} // namespace

class TestMainWinServer : public QObject, MainWinFixture::Bench<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup() { tearDown(); }
    void scanRunningFromStartToEnd_data();
    void scanRunningFromStartToEnd();
    void remoteStartSwitch();
    void postAfterARunStartsTheNext();
    void refusedPostSaysWhy();
};

void TestMainWinServer::init()
{
    SingleProbeConfigParam cfg;
    cfg.dataScanRunScans = 3;
    cfg.dcCScanSweeps = 2;
    cfg.clean.duration = 1;
    cfg.clean.relaxTime = 1;
    reset(cfg);
    // Sweeps that take their time: a run has gaps between them.
    MainWinFixture::realPace();
}

void TestMainWinServer::scanRunningFromStartToEnd_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("POST") << "post";
    QTest::newRow("Clean") << "Clean";
    QTest::newRow("job's scan") << "job";
}

void TestMainWinServer::scanRunningFromStartToEnd()
{
    QFETCH(QString, start);
    MainWin w;
    connectUnit(w);
    QVERIFY(w.startServer(0, QHostAddress(QHostAddress::LocalHost), false));
    const quint16 port = w.dataServer()->port();
    PlotManager* session = w.currentSession();
    Poller poller(port);
    poller.readsMore();
    if (start == "post") {
        QCOMPARE(request(port, "POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\ntrue"), QByteArray("HTTP/1.0 200 OK\r\n"));
        // The run starts from the window's event loop and ends inside this wait.
        QTRY_VERIFY_WITH_TIMEOUT(session->data()->scanCount() > 0 && !w.isRunActive(), 60000);
        QCOMPARE(session->data()->scanCount(), 1);
    } else if (start == "job") {
        QString error;
        QVERIFY2(w.jobHost().scan(&error), qPrintable(error));
    } else {
        w.action(start)->trigger();
    }
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    poller.readsMore();
    QCOMPARE(QString::fromStdString(poller.stop()), QString("FTF"));
    // Window, session and server as they were.
    QVERIFY(!w.isRunActive());
    QCOMPARE(w.currentSession(), session);
    QVERIFY(w.controller().isConnected());
    QVERIFY(w.dataServer()->isListening());
    const QByteArray data = request(port, "GET /data HTTP/1.0\r\n\r\n");
    QVERIFY(data.contains("\"scan_running\":\"False\""));
    QCOMPARE(data.contains("\"Voltage\": ["), start != "Clean");
}

void TestMainWinServer::remoteStartSwitch()
{
    MainWin w;
    connectUnit(w);
    QVERIFY(w.startServer(0, QHostAddress(QHostAddress::LocalHost), false));
    const quint16 port = w.dataServer()->port();
    QCheckBox* box = nullptr;
    for (QCheckBox* b : w.serverDialog()->findChildren<QCheckBox*>())
        if (b->text() == "Allow remote scan start")
            box = b;
    QVERIFY(box && box->isChecked());
    QVERIFY(w.serverDialog()->localOnly());
    box->click();
    QVERIFY(!w.dataServer()->remoteStartAllowed());
    QCOMPARE(request(port, "POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\ntrue"), QByteArray("HTTP/1.0 200 OK\r\n"));
    QTRY_COMPARE(w.dataServer()->openConnections(), 0);
    QCoreApplication::processEvents();
    QVERIFY(!w.isRunActive());
    QCOMPARE(w.currentSession()->data()->scanCount(), 0);
    w.setRemoteScanStart(true);
    QVERIFY(box->isChecked() && w.dataServer()->remoteStartAllowed());
}

// A client that waits for "scan_running" to read "False" and then POSTs gets
// its next run, also while the banner's Scan button pauses after the last.
void TestMainWinServer::postAfterARunStartsTheNext()
{
    MainWin w;
    connectUnit(w);
    QVERIFY(w.startServer(0, QHostAddress(QHostAddress::LocalHost), false));
    const quint16 port = w.dataServer()->port();
    PlotManager* session = w.currentSession();
    for (int run = 1; run <= 2; ++run) {
        QCOMPARE(request(port, "POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\ntrue"), QByteArray("HTTP/1.0 200 OK\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(session->data()->scanCount() == run && !w.isRunActive(), 60000);
        QVERIFY(request(port, "GET /data HTTP/1.0\r\n\r\n").contains("\"scan_running\":\"False\""));
    }
    QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
    session->setModified(false);
}

// A POST that starts nothing says why, in the log and on the console.
void TestMainWinServer::refusedPostSaysWhy()
{
    MainWin w; // not connected
    QVERIFY(w.startServer(0, QHostAddress(QHostAddress::LocalHost), false));
    const quint16 port = w.dataServer()->port();
    QTest::ignoreMessage(QtWarningMsg, "Data server: a POST asked for a scan; nothing started: the unit is not "
                                       "connected.");
    QSignalSpy asked(w.dataServer(), &DataServer::scanStartRequested); // heard after the window's handler
    QCOMPARE(request(port, "POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\ntrue"), QByteArray("HTTP/1.0 200 OK\r\n"));
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(!w.isRunActive());
}

QTEST_MAIN(TestMainWinServer)
#include "tst_mainwinserver.moc"
