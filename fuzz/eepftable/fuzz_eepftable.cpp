// EEPF table files: any content either gives rows that write back and read again to the
// same table, or an error that leaves the table untouched.
#include "EepfTable.h"

#include <QTemporaryFile>
#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    EepfTable t = EepfTable::defaultTable();
    const QString err = t.parse(text);
    if (!err.isEmpty()) {
        if (!(t == EepfTable::defaultTable()))
            std::abort();
        return 0;
    }
    if (t.isEmpty())
        std::abort();
    // Rows whose numbers are all finite survive the text form unchanged.
    for (const EepfRow& r : t.rows)
        if (!std::isfinite(r.energy) || !std::isfinite(r.resolution))
            return 0;
    QTemporaryFile f;
    if (!f.open())
        return 0;
    f.close();
    if (!t.writeFile(f.fileName()).isEmpty())
        std::abort();
    EepfTable back;
    if (!back.readFile(f.fileName()).isEmpty() || !(back == t))
        std::abort();
    return 0;
}
