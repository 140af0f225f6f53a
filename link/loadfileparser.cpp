#include "loadfileparser.h"

#include <QIODevice>
#include <QStringList>

namespace LoadFile {

namespace {

enum Fault {
    MissingFile,
    OpenFailed,
    AsicModeInBlock,
    PelraModeInBlock,
    WaitInBlock,
    WaitWithoutTime,
    BlockstartInBlock,
    AddressOutsideBlock,
    AddressWithoutValue,
    LengthOutsideBlock,
    LengthWithoutValue,
    BlockendOutsideBlock,
    CountMismatch,
    BadDataValue,
    ShortRegisterLine,
    BadAddress,
    BadValue,
    NoAsics,
    NoPelras,
    // Input that would otherwise overrun the block buffer or make no sense.
    DataBeforeLength,
    DataBeyondLength,
    NegativeLength,
    LengthTooLarge,
    NegativeWait,
    LineTooLong,
    ReadFailed,
};

// A failure text is head + line number + middle + file path + tail, with the
// number and the path present only where the entry says so.
struct FaultText {
    Fault fault;
    const char *head;
    bool line;
    const char *middle;
    bool file;
    const char *tail;
};

const FaultText FaultTexts[] = {
    {MissingFile, "", false, "", true, " does not exist"},
    {OpenFailed, "File opening failed: ", false, "", true, ""},
    {AsicModeInBlock, "ERROR: Attempted use of ASIC_MODE inside block at line ", true, " of file ", true, ""},
    {PelraModeInBlock, "ERROR: Attempted use of PELRA_MODE inside data block at line ", true, " of file ", true, ""},
    {WaitInBlock, "ERROR: Attempted use of wait inside data block at line ", true, " of file ", true, ""},
    {WaitWithoutTime, "ERROR: WAIT at line ", true, " has no arguments", false, ""},
    {BlockstartInBlock, "ERROR: Unexpected blockstart at line ", true, " of file ", true, ""},
    {AddressOutsideBlock, "ERROR: Keyword 'address' not allowed outside block at line ", true, " of file ", true, ""},
    {AddressWithoutValue, "ERROR: Invalid command detected at line number ", true, " of file ", true, ""},
    {LengthOutsideBlock, "ERROR: Keyword 'length' not allowed outside block at line ", true, " of file ", true, ""},
    {LengthWithoutValue, "ERROR: Invalid command has been detected at line number ", true, " of file ", true, ""},
    {BlockendOutsideBlock, "ERROR: Unexpected blockend keyword at line ", true, " of file ", true, ""},
    {CountMismatch, "ERROR: Amount of data does not match block length at line ", true, " of file ", true, ""},
    {BadDataValue, "Unexpected blockmode value at line ", true, "", false, ""},
    {ShortRegisterLine, "Unexpected Addrress and value at line ", true, "", false, ""},
    {BadAddress, "Unexpected address at line ", true, "", false, ""},
    {BadValue, "Unexpected register value at line ", true, "", false, ""},
    {NoAsics, "ERROR: No selected ASICs at ASIC_MODE. File: ", false, "", true, ""},
    {NoPelras, "ERROR: No selected PELRAs at PELRA_MODE. File: ", false, "", true, ""},
    {DataBeforeLength, "ERROR: Data value before keyword 'length' at line ", true, " of file ", true, ""},
    {DataBeyondLength, "ERROR: Amount of data exceeds block length at line ", true, " of file ", true, ""},
    {NegativeLength, "ERROR: Negative block length at line ", true, " of file ", true, ""},
    {LengthTooLarge, "ERROR: Block length above 65536 at line ", true, " of file ", true, ""},
    {NegativeWait, "ERROR: Negative wait time at line ", true, " of file ", true, ""},
    {LineTooLong, "ERROR: Line ", true, " is longer than 65536 characters in file ", true, ""},
    {ReadFailed, "ERROR: Reading failed at line ", true, " of file ", true, ": "},
};

QString FaultMessage(int fault, int lineNumber, const QString &path)
{
    for (const FaultText &t : FaultTexts) {
        if (t.fault != fault)
            continue;
        QString text = QString::fromLatin1(t.head);
        if (t.line)
            text += QString::number(lineNumber);
        text += QLatin1String(t.middle);
        if (t.file)
            text += path;
        return text + QLatin1String(t.tail);
    }
    return QString();
}

bool StartsWith(const QString &line, const char *keyword)
{
    return line.startsWith(QLatin1String(keyword));
}

// Hexadecimal as the card link has always read it: an optional 0x, at most
// 32 bits; the caller keeps the low 16.
bool Hex(const QString &field, quint32 &value)
{
    bool ok = false;
    value = field.toUInt(&ok, 16);
    return ok;
}

}  // namespace

Parser::Parser(const QString &path, quint8 cardMask, quint8 asicMask, bool dma)
    : path(path), cardMask(cardMask), asicMask(asicMask), dma(dma)
{
}

QString Parser::MissingFile() const
{
    return FaultMessage(LoadFile::MissingFile, lineNumber, path);
}

QString Parser::OpenFailed() const
{
    return FaultMessage(LoadFile::OpenFailed, lineNumber, path);
}

QString Parser::LineTooLong() const
{
    return FaultMessage(LoadFile::LineTooLong, lineNumber + 1, path);
}

QString Parser::ReadFailed(const QString &reason) const
{
    return FaultMessage(LoadFile::ReadFailed, lineNumber + 1, path) + reason;
}

Step Parser::Fail(int fault) const
{
    Step step;
    step.kind = Step::Failure;
    step.error = FaultMessage(fault, lineNumber, path);
    return step;
}

Step Parser::Feed(const QByteArray &raw)
{
    ++lineNumber;
    QString line = QString::fromUtf8(raw).toLower();
    const int comment = line.indexOf(QLatin1Char('#'));
    if (comment >= 0)
        line.truncate(comment);
    line = line.trimmed().toLower();

    if (StartsWith(line, "asic_mode")) {
        if (inBlock)
            return Fail(AsicModeInBlock);
        target = Target::Asic;
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        // Every option decides anew; the last one wins.
        for (int i = 1; i < fields.size(); ++i) {
            const QString option = fields.at(i).trimmed();
            dma = option.contains(QLatin1String("dma")) || option.contains(QLatin1String("mspi_reg"));
        }
        return Step();
    }
    if (StartsWith(line, "pelra_mode")) {
        if (inBlock)
            return Fail(PelraModeInBlock);
        target = Target::Card;
        return Step();
    }
    if (StartsWith(line, "wait")) {
        if (inBlock)
            return Fail(WaitInBlock);
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.size() < 2)
            return Fail(WaitWithoutTime);
        bool ok = false;
        int ms = fields.at(1).toInt(&ok);
        if (!ok)
            ms = 0;
        if (ms < 0)
            return Fail(NegativeWait);
        Step step;
        step.kind = Step::Wait;
        step.waitMs = ms;
        return step;
    }
    if (StartsWith(line, "blockstart")) {
        if (inBlock)
            return Fail(BlockstartInBlock);
        // The data count stays: a block without a length line is caught at its end.
        inBlock = true;
        lengthGiven = false;
        blockData.clear();
        blockLength = 0;
        blockAddress = 0;
        return Step();
    }
    if (StartsWith(line, "address") || StartsWith(line, "length") || StartsWith(line, "blockend"))
        return InBlockKeyword(line);
    if (line.isEmpty())
        return Step();
    return inBlock ? DataValue(line) : RegisterLine(line);
}

Step Parser::InBlockKeyword(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char(' '));
    if (StartsWith(line, "address")) {
        if (!inBlock)
            return Fail(AddressOutsideBlock);
        if (fields.size() < 2)
            return Fail(AddressWithoutValue);
        quint32 address = 0;
        if (!Hex(fields.at(1), address))
            address = 0;
        blockAddress = static_cast<quint16>(address);
        return Step();
    }
    if (StartsWith(line, "length")) {
        if (!inBlock)
            return Fail(LengthOutsideBlock);
        if (fields.size() < 2)
            return Fail(LengthWithoutValue);
        bool ok = false;
        qint32 length = fields.at(1).toInt(&ok);
        if (!ok)
            length = 0;
        if (length < 0)
            return Fail(NegativeLength);
        if (length > MaxBlockValues)
            return Fail(LengthTooLarge);
        blockLength = length;
        blockData = QVector<quint32>(length, 0);
        dataCount = 0;
        lengthGiven = true;
        return Step();
    }
    return BlockEnd();
}

Step Parser::BlockEnd()
{
    if (!inBlock)
        return Fail(BlockendOutsideBlock);
    if (dataCount != blockLength)
        return Fail(CountMismatch);
    inBlock = false;
    dataCount = blockLength;
    Step step;
    step.kind = Step::BlockWrite;
    step.address = blockAddress;
    step.values = blockData;
    return Write(step);
}

Step Parser::DataValue(const QString &line)
{
    quint32 value = 0;
    if (!Hex(line, value))
        return Fail(BadDataValue);
    if (!lengthGiven)
        return Fail(DataBeforeLength);
    if (dataCount >= blockLength)
        return Fail(DataBeyondLength);
    blockData[dataCount++] = value & 0xFFFF;
    return Step();
}

Step Parser::RegisterLine(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char(' '));
    if (fields.size() < 2)
        return Fail(ShortRegisterLine);
    quint32 address = 0;
    if (!Hex(fields.at(0), address))
        return Fail(BadAddress);
    quint32 value = 0;
    if (!Hex(fields.at(1), value))
        return Fail(BadValue);
    Step step;
    step.kind = Step::RegisterWrite;
    step.address = static_cast<quint16>(address);
    step.value = value & 0xFFFF;
    return Write(step);
}

Step Parser::Write(Step step) const
{
    step.target = target;
    if (target == Target::Asic) {
        if (asicMask == 0)
            return Fail(NoAsics);
        step.select = asicMask;
        step.dma = dma;
    } else {
        if (cardMask == 0)
            return Fail(NoPelras);
        step.select = cardMask;
    }
    return step;
}

ReadResult ReadLine(QIODevice &device, QByteArray &line)
{
    line.clear();
    if (device.atEnd())
        return ReadResult::End;
    // Room for the longest line, a carriage return and a line feed; one byte
    // more is the terminating zero that readLine writes.
    const qint64 room = qint64(MaxLineBytes) + 2;
    line.resize(int(room + 1));
    const qint64 n = device.readLine(line.data(), room + 1);
    if (n < 0) {
        line.clear();
        return device.atEnd() ? ReadResult::End : ReadResult::Error;
    }
    line.resize(int(n));
    if (line.endsWith('\n')) {
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return line.size() > MaxLineBytes ? ReadResult::TooLong : ReadResult::Line;
}

}  // namespace LoadFile
