// Any bytes as a master configuration file: split into lines, selection pass
// and command pass, as the master configuration reads them.
//
// Malformed text may only make the selection fail or lines be ignored; a
// result that breaks the parser's promises is reported as a crash.
#include "masterconfig.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QStringList lines = MasterConfig::SplitLines(text);
    for (const QString &line : lines)
        Require(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));

    const MasterConfig::Selection selection = MasterConfig::ReadSelection(lines);
    Require(selection.loggedLines.size() <= lines.size());
    if (!selection.error.isEmpty())
        Require(!selection.loggedLines.isEmpty());
    for (const QString &logged : selection.loggedLines)
        Require(!logged.contains(QLatin1Char('#')));

    const QVector<MasterConfig::Command> commands = MasterConfig::ReadCommands(lines);
    Require(commands.size() <= lines.size());
    for (const MasterConfig::Command &command : commands) {
        if (command.kind == MasterConfig::Command::Load)
            Require(command.path == command.path.trimmed() && !command.path.contains(QLatin1Char('#')));
    }
    return 0;
}
