// Any bytes as an acquisition configuration file, decoded as the window
// decodes the file (UTF-8, NUL bytes included) and parsed.
//
// The parser promises that any input can only produce groups with converted
// or default fields and messages about the lines it could not take, within
// its limits; anything else is reported as a crash.
#include "acqconfigparser.h"

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
    const AcqConfig::ParseResult r = AcqConfig::Parse(text);

    Require(r.groups.size() <= AcqConfig::MaxGroups);
    Require(r.messages.size() <= AcqConfig::MaxMessages);
    Require(r.unreportedMessages >= 0);
    Require(r.unreportedMessages == 0 || r.messages.size() == AcqConfig::MaxMessages);
    // One message per line at most.
    Require(r.messages.size() + r.unreportedMessages <= text.count(QLatin1Char('\n')) + 1);
    for (const QString &m : r.messages)
        Require(m.startsWith(QLatin1String("Invalid parameter line: "))
                || m.startsWith(QLatin1String("Invalid format for the line ")));
    for (const PELRA_Global::AcqParam &g : r.groups) {
        Require(g.pelraRanges.size() <= AcqConfig::MaxRanges);
        Require(g.asicRanges.size() <= AcqConfig::MaxRanges);
        Require(g.trgDest <= 1);
        Require(g.guideEnd <= 1);
        Require(!g.name.contains(QLatin1Char('\n')) && !g.name.contains(QLatin1Char(':')));
    }
    return 0;
}
