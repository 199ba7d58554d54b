// The data server's request handling under arbitrary bytes: parsing, the
// completeness test and the reply must neither crash nor hang, and every reply
// is one of the few the server can give.

#include "DataAnalyzer.h"
#include "ServerReply.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(ServerReply::MaxRequestBytes))
        return 0;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    ServerReply::isComplete(bytes);
    const ServerReply::Request r = ServerReply::parse(bytes);
    static DataAnalyzer session;
    ServerReply::Snapshot s;
    s.serialNumber = QStringLiteral("SN");
    s.session = &session;
    const QByteArray reply = ServerReply::reply(r, s);
    const bool known = reply == ServerReply::statusLine() || reply == ServerReply::statusLine() + "\r\n"
        || reply == ServerReply::notAllowedReply()
        || reply == ServerReply::withHeader(ServerReply::infoBody(s.serialNumber))
        || reply == ServerReply::withHeader(ServerReply::dataBody(false, &session));
    if (!known)
        std::abort();
    if (r.method != ServerReply::Request::eGet && !r.pieces.isEmpty())
        std::abort();
    return 0;
}
