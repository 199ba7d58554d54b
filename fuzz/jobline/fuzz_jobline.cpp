// Job lines under arbitrary text: the tokenizer, the checker and both passes
// of the runner must neither crash nor hang; a failed check always says why
// with one of its own messages, and a line that fails its check never runs.
// The host writes nothing: without a session a save cannot reach the disk.

#include "InertJobHost.h"

#include <QRegularExpression>
#include <cstdint>
#include <cstdlib>

namespace {
bool knownMessage(const QString& e)
{
    static const QRegularExpression known(
        QStringLiteral("^(Invalid Command|The line holds a NUL byte\\.|.* requires \\d+ parameters|Argument \\d+( must be an integer between -?\\d+ and "
                       "-?\\d+| must be a number between \\S+ and \\S+|, this file already exists\\.|, Folder \".*\" does "
                       "not exist\\.))$"),
        QRegularExpression::DotMatchesEverythingOption);
    return known.match(e).hasMatch();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QStringList tokens = JobScript::tokenize(line);
    if (!tokens.isEmpty() && tokens[0] != tokens[0].trimmed().toLower())
        std::abort();
    QString error;
    const bool valid = JobScript::check(line, &error, QStringLiteral("/nonexistent-folder"));
    if (valid != error.isEmpty() || (!valid && !knownMessage(error)))
        std::abort();
    InertHost host;
    JobRunner runner(host, QStringLiteral("/nonexistent-folder"));
    const bool tested = runner.run(line, true);
    if (tested && !valid)
        std::abort();
    if (host.commands != 0) // the test pass acts on nothing
        std::abort();
    const bool ran = runner.run(line, false);
    if (!valid && (ran || host.commands != 0))
        std::abort();
    if (!ran && runner.lastError().isEmpty())
        std::abort();
    return 0;
}
