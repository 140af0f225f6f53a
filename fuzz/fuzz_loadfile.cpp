// Any bytes as a register load file, read and parsed line by line exactly as
// the card link does it. The first byte chooses the card mask (low four bits),
// the ASIC mask (high four bits) and the initial DMA flag (bit 0).
//
// The parser promises that malformed input can only make a step a Failure;
// a step that breaks its bounds is reported as a crash. Lines keep being fed
// after a failure, so that the parser is also driven through states that a
// download never reaches.
#include "loadfileparser.h"

#include <QBuffer>

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
    if (size < 1)
        return 0;
    const quint8 options = data[0];
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);

    LoadFile::Parser parser(QStringLiteral("fuzz.glf"), options & 0x0F, options >> 4, options & 1);
    QByteArray line;
    for (;;) {
        const LoadFile::ReadResult result = LoadFile::ReadLine(file, line);
        if (result != LoadFile::ReadResult::Line) {
            Require(result != LoadFile::ReadResult::Error);
            break;
        }
        Require(line.size() <= LoadFile::MaxLineBytes);
        const LoadFile::Step step = parser.Feed(line);
        Require(step.value <= 0xFFFF);
        Require(step.waitMs >= 0);
        Require(step.values.size() <= LoadFile::MaxBlockValues);
        for (quint32 value : step.values)
            Require(value <= 0xFFFF);
        if (step.kind == LoadFile::Step::RegisterWrite || step.kind == LoadFile::Step::BlockWrite)
            Require(step.select != 0);
        if (step.kind == LoadFile::Step::Failure)
            Require(!step.error.isEmpty());
    }
    return 0;
}
