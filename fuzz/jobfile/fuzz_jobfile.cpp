// Whole job files under arbitrary bytes: BatchJob::readFile must read every byte (a NUL
// neither ends the file nor vanishes), the job keeps one line per "\n", a line holding a
// NUL is refused unless it is a comment, and the test pass acts on nothing.

#include "InertJobHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    static const QString path =
        QDir::temp().filePath(QStringLiteral("fuzz_jobfile_%1.txt").arg(QCoreApplication::applicationPid()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
    f.close();
    QString text, error;
    if (!BatchJob::readFile(path, &text, &error))
        std::abort(); // well below the size limit
    InertHost host;
    BatchJob job(host, text, QStringLiteral("/nonexistent-folder"));
    // Read as text, every "\r" goes (CR LF files read as LF ones).
    const QByteArray kept = QByteArray(bytes).replace('\r', QByteArray());
    const int expectedLines = kept.isEmpty() ? 0 : kept.count('\n') + 1;
    if (job.lines().size() != expectedLines || job.errors().size() != expectedLines)
        std::abort();
    // Invalid UTF-8 may be replaced, but never a NUL: the NULs of the file are all there.
    int nuls = 0;
    for (const QString& line : job.lines())
        nuls += line.count(QChar(0));
    if (nuls != bytes.count('\0'))
        std::abort();
    const bool ok = job.test();
    for (int i = 0; i < job.lines().size(); ++i) {
        const QString& line = job.lines()[i];
        if (line.contains(QChar(0)) && !JobScript::isComment(line) && job.errors()[i].isEmpty())
            std::abort();
        if (ok && !job.errors()[i].isEmpty())
            std::abort();
    }
    if (host.commands != 0) // the test pass acts on nothing
        std::abort();
    return 0;
}
