#include "ServerReply.h"

#include "DataAnalyzer.h"
#include "ResultRecord.h"
#include "ScanRecord.h"
#include "SessionXml.h"

namespace ServerReply {

namespace {

const QByteArray CrLf("\r\n");

void appendNumber(QByteArray& out, double v)
{
    SessionXml::appendNumber(out, v);
}

void appendList(QByteArray& out, const QVector<double>& values)
{
    out += '[';
    for (int i = 0; i < values.size(); ++i) {
        if (i)
            out += ',';
        appendNumber(out, values[i]);
    }
    out += ']';
}

void appendQuoted(QByteArray& out, const char* key, double v, bool comma = true)
{
    out += '"';
    out += key;
    out += "\":\"";
    appendNumber(out, v);
    out += comma ? "\"," : "\"";
    out += CrLf;
}

struct ResultKey {
    const char* value;
    const char* error;
    int pair;
};

const ResultKey Results[] = {
    {"Vp", "Vp_Error", ResultRecord::eVp},
    {"Vf", "Vf_Error", ResultRecord::eVf},
    {"kTe", "kTe_Error", ResultRecord::eKTe},
    {"Jp", "Jp_Error", ResultRecord::eJp},
    {"Ni", "Ni_Error", ResultRecord::eNi},
    {"Ld", "Ld_Error", ResultRecord::eLdebye},
    {"Je", "Je_Error", ResultRecord::eJe},
    {"Ne", "Ne_Error", ResultRecord::eNe},
    {"Isat", "Isat_Error", ResultRecord::eIsat},
    {"EEPF_Ne", "EEPF_Ne_Error", ResultRecord::eEedfNe},
    {"EEPF_Energy", "EEPF_Energy_Error", ResultRecord::eEedfAvgEnergy},
    {"EEPF_kTe", "EEPF_kTe_Error", ResultRecord::eEedfKTe},
};

// Offset just past the blank line ending the header block, or -1.
int headerEnd(const QByteArray& r)
{
    const int crlf = r.indexOf("\r\n\r\n");
    const int lf = r.indexOf("\n\n");
    if (crlf < 0 && lf < 0)
        return -1;
    if (lf < 0 || (crlf >= 0 && crlf < lf))
        return crlf + 4;
    return lf + 2;
}

} // namespace

Request parse(const QByteArray& request)
{
    Request r;
    const int end = headerEnd(request);
    const QList<QByteArray> lines = (end < 0 ? request : request.left(end)).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray l = lines[i].trimmed();
        if (l.size() >= 7 && qstrnicmp(l.constData(), "origin:", 7) == 0) {
            r.hasOrigin = true;
            r.origin = l.mid(7).trimmed();
        }
    }
    if (request.startsWith("GET ")) {
        r.method = Request::eGet;
        const int eol = request.indexOf(CrLf);
        const QByteArray line = eol < 0 ? request : request.left(eol);
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 2)
            return r;
        r.hasTarget = true;
        QByteArray target = words.at(1);
        const int q = target.indexOf('?');
        if (q >= 0)
            target.truncate(q);
        for (const QByteArray& p : target.toLower().split('/'))
            if (!p.isEmpty())
                r.pieces.append(p);
    } else if (request.startsWith("POST")) {
        r.method = Request::ePost;
        r.postStart = request.endsWith("true");
    }
    return r;
}

bool isComplete(const QByteArray& request)
{
    const int end = headerEnd(request);
    if (end < 0)
        return false;
    qint64 length = 0;
    for (const QByteArray& line : request.left(end).split('\n')) {
        const QByteArray l = line.trimmed();
        if (l.toLower().startsWith("content-length:")) {
            bool ok = false;
            length = l.mid(15).trimmed().toLongLong(&ok);
            if (!ok || length < 0)
                length = 0;
        }
    }
    return request.size() - end >= length;
}

QByteArray statusLine()
{
    return QByteArrayLiteral("HTTP/1.0 200 OK\r\n");
}

QByteArray notAllowedReply()
{
    return QByteArrayLiteral("HTTP/1.1 405 Method Not Allowed\nServer: tavro/1.0\nConnection: close\n");
}

QByteArray infoBody(const QString& serialNumber)
{
    QByteArray b("{\r\n\"serial_number\":\"");
    b += serialNumber.toUtf8();
    b += "\"\r\n}\r\n\n";
    return b;
}

QByteArray scanText(const QVector<double>& V, const QVector<double>& I, double position, double time,
                    const ResultRecord& result)
{
    QByteArray out;
    out.reserve(64 + 24 * (V.size() + I.size()) + 24 * 40);
    out += '{';
    out += CrLf;
    out += "\"Voltage\": ";
    appendList(out, V);
    out += ',';
    out += CrLf;
    out += "\"Current\": ";
    appendList(out, I);
    out += ',';
    out += CrLf;
    appendQuoted(out, "spatial_position", position);
    appendQuoted(out, "time", time);
    for (const ResultKey& k : Results)
        appendQuoted(out, k.value, result.value(k.pair));
    const int n = int(sizeof Results / sizeof Results[0]);
    for (int i = 0; i < n; ++i)
        appendQuoted(out, Results[i].error, result.error(Results[i].pair), i + 1 < n);
    return out;
}

QByteArray scanClose(bool last)
{
    return last ? QByteArrayLiteral("}\r\n") : QByteArrayLiteral("},\r\n");
}

QByteArray groupClose(bool last)
{
    return last ? QByteArrayLiteral("]\r\n") : QByteArrayLiteral("],\r\n");
}

QByteArray groupsText(const DataAnalyzer* session)
{
    QByteArray b;
    const int groups = session ? session->groupCount() : 0;
    for (int g = 0; g < groups; ++g) {
        const ScanGroup* group = session->group(g);
        b += '[';
        b += CrLf;
        const QVector<ScanRecord>& scans = group->scans;
        for (int s = 0; s < scans.size(); ++s) {
            b += scanText(scans[s].corrected.V, scans[s].corrected.I, group->position, scans[s].resolvedTime,
                          scans[s].result);
            b += scanClose(s + 1 == scans.size());
        }
        b += groupClose(g + 1 == groups);
    }
    return b;
}

QByteArray dataBodyAround(bool scanRunning, const QByteArray& groups)
{
    QByteArray b;
    b.reserve(groups.size() + 64);
    b += "{\r\n\"scan_running\":\"";
    b += scanRunning ? "True" : "False";
    b += "\",\r\n\"data\":\r\n[\r\n";
    b += groups;
    b += "]\r\n\n}\r\n\n";
    return b;
}

QByteArray dataBody(bool scanRunning, const DataAnalyzer* session)
{
    return dataBodyAround(scanRunning, groupsText(session));
}

QByteArray withHeader(const QByteArray& body)
{
    QByteArray h = statusLine();
    h += "Connection-Type: application/json\n";
    h += "Content-Length: " + QByteArray::number(body.size()) + '\n';
    h += CrLf;
    return h + body;
}

QByteArray reply(const Request& request, const Snapshot& data)
{
    switch (request.method) {
    case Request::ePost:
        return statusLine();
    case Request::eOther:
        return notAllowedReply();
    case Request::eGet:
        break;
    }
    if (request.pieces.isEmpty())
        return statusLine();
    const QByteArray& first = request.pieces.first();
    if (first == "data")
        return withHeader(dataBody(data.scanRunning, data.session));
    if (first == "info")
        return withHeader(infoBody(data.serialNumber));
    return statusLine() + CrLf;
}

} // namespace ServerReply
