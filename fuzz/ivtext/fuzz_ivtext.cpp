// IV text files of the command-line analyser, then the analysis of whatever they hold:
// parsing either fails with a message or gives equally long lists, and the analysis of
// any such curve stays inside it.
#include "IvText.h"

#include "AnalysisDriver.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool comma = data[0] & 1;
    const QByteArray text(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    IvText iv;
    QString err;
    if (!ivtext::parseIvText(text, QStringLiteral("f"), comma, iv, err)) {
        if (err.isEmpty())
            std::abort();
        return 0;
    }
    if (iv.V.size() != iv.I.size() || iv.V.isEmpty())
        std::abort();
    if (iv.V.size() > 2000)
        return 0;
    ScanRecord scan = ivtext::scanFromIvText(iv, 2);
    LangmuirSettings s;
    ScanAnalysisConfig cfg;
    cfg.probeMode = (data[0] >> 1) % 6;
    driver::analyseScan(scan, s, EepfTable::defaultTable(), cfg);
    return 0;
}
