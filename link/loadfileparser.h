// Register load files (.glf, .ald, .mcd): the text language of card and ASIC
// register writes, blocks and pauses, turned into one step per physical line.
//
// The card link feeds the lines of a file to a LoadFileParser one by one and
// carries out each step as soon as its line has been read, so a write happens
// before the next line is even looked at and what was written before a
// failure stays written. Nothing here touches a file, a port or a widget.
//
// Bounded: malformed input (binary junk, overlong lines, absurd block lengths,
// data beyond a block's length) can only make a step a Failure; the parser
// never stores more than MaxBlockValues values and the reader never holds
// more than MaxLineBytes bytes of one line.
//
// The language, one line at a time:
//  1. lower-case the line, cut it at the first "#", trim it;
//  2. take the keyword by prefix, in this order: asic_mode, pelra_mode, wait,
//     blockstart, address, length, blockend; anything else is empty, a data
//     value (inside a block) or "address value" (outside a block);
//  3. split it at single spaces: two spaces make an empty field, which is no
//     number (asic_mode lines drop empty fields); tabs do not separate.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

class QIODevice;

namespace LoadFile {

// The 16-bit count field of a block packet limits a block to this many values.
constexpr int MaxBlockValues = 65536;
// Longest physical line accepted, without its line end.
constexpr int MaxLineBytes = 64 * 1024;

enum class Target { Asic, Card };

// What one line asks for.
struct Step {
    enum Kind { Nothing, Wait, RegisterWrite, BlockWrite, Failure };
    Kind kind = Nothing;
    Target target = Target::Asic;
    quint8 select = 0;          // card mask for card writes, ASIC mask for ASIC writes
    bool dma = false;           // final argument of ASIC writes
    quint16 address = 0;        // register, or first register of a block
    quint32 value = 0;          // RegisterWrite: low 16 bits of the value
    QVector<quint32> values;    // BlockWrite: exactly the declared length
    int waitMs = 0;             // Wait
    QString error;              // Failure: the text for the card link's lastError
};

class Parser
{
public:
    // `path` as the caller passed it (it appears in the failure texts); the
    // masks are checked only when a write is due.
    Parser(const QString &path, quint8 cardMask, quint8 asicMask, bool dma);

    // One physical line without its line feed (a carriage return before the
    // line feed may still be there). Counts the line whatever it holds.
    Step Feed(const QByteArray &line);

    // Failure texts that belong to the file rather than to one line.
    QString MissingFile() const;
    QString OpenFailed() const;
    QString LineTooLong() const;
    QString ReadFailed(const QString &reason) const;

private:
    Step InBlockKeyword(const QString &line);
    Step DataValue(const QString &line);
    Step RegisterLine(const QString &line);
    Step BlockEnd();
    Step Write(Step step) const;
    Step Fail(int fault) const;

    QString path;
    quint8 cardMask;
    quint8 asicMask;
    bool dma;
    Target target = Target::Asic;
    bool inBlock = false;
    bool lengthGiven = false;
    quint16 blockAddress = 0;
    qint32 blockLength = 0;
    QVector<quint32> blockData;
    qint32 dataCount = 0;
    int lineNumber = 0;          // of the line being processed; 0 before the first
};

// Reads one physical line of at most MaxLineBytes bytes, without its line
// feed. A longer line is not consumed beyond the limit.
enum class ReadResult { Line, End, TooLong, Error };
ReadResult ReadLine(QIODevice &device, QByteArray &line);

}  // namespace LoadFile
