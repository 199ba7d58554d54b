#pragma once
// The data server's protocol: parsing a request and building the reply bytes.
// Pure functions of the request and the served data, so tests and the fuzz
// target drive them without sockets.
#include <QByteArray>
#include <QList>
#include <QString>

class DataAnalyzer;
class ResultRecord;

namespace ServerReply {

// Largest request the server collects; anything beyond is not read.
constexpr int MaxRequestBytes = 64 * 1024;

struct Request {
    enum Method { eGet, ePost, eOther };
    Method method = eOther;
    bool hasTarget = false;     // GET: the request line has a second piece
    QList<QByteArray> pieces;   // GET: lower-cased path pieces, query cut off
    bool postStart = false;     // POST: the last four bytes are "true"
    bool hasOrigin = false;     // an Origin header: a web page's request
    QByteArray origin;          // its value
};

Request parse(const QByteArray& request);

// True when the bytes hold a whole request: the header block ended by a blank
// line and, when a Content-Length is given, that many body bytes.
bool isComplete(const QByteArray& request);

// What the served data looks like at the moment of the reply.
struct Snapshot {
    QString serialNumber;
    bool scanRunning = false;
    const DataAnalyzer* session = nullptr; // null: no active session
};

QByteArray infoBody(const QString& serialNumber);
QByteArray dataBody(bool scanRunning, const DataAnalyzer* session);
// The data body around the groups' rows (rows 5, as groupsText gives them).
QByteArray dataBodyAround(bool scanRunning, const QByteArray& groups);
QByteArray groupsText(const DataAnalyzer* session);
// One scan's rows from its "{" to the last error row, without the closing
// brace, which depends on the scan's place in its group.
QByteArray scanText(const QVector<double>& V, const QVector<double>& I, double position, double time,
                    const ResultRecord& result);
// The closing of a scan or group: "}," / "}" and "]," / "]" with CR LF.
QByteArray scanClose(bool last);
QByteArray groupClose(bool last);
// The status line, the Connection-Type and Content-Length lines and the
// closing CR LF, followed by the body.
QByteArray withHeader(const QByteArray& body);

QByteArray statusLine();       // "HTTP/1.0 200 OK" CR LF
QByteArray notAllowedReply();  // the three-line 405 reply

// The whole reply to a parsed request; POST replies never depend on the data.
QByteArray reply(const Request& request, const Snapshot& data);

} // namespace ServerReply
