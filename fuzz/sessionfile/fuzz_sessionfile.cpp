// Session-file reader under arbitrary input: it must neither crash, hang nor leak,
// and whatever it accepts must write out and read back again.

#include "DataAnalyzer.h"
#include "SessionFile.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    DataAnalyzer session;
    if (!SessionFile::read(session, in))
        return 0;

    QByteArray again;
    QBuffer out(&again);
    out.open(QIODevice::WriteOnly);
    if (!SessionFile::write(session, out))
        std::abort();
    out.close();
    out.open(QIODevice::ReadOnly);
    DataAnalyzer copy;
    if (!SessionFile::read(copy, out) || copy.scanCount() != session.scanCount())
        std::abort();
    return 0;
}
