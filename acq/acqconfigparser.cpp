#include "acqconfigparser.h"

using PELRA_Global::AcqParam;
using PELRA_Global::RegRange;

namespace AcqConfig {

namespace {

// Each setter stores what it could convert (0 otherwise) and returns false
// when the line is to be reported as invalid.
using Setter = bool (*)(AcqParam &, const QString &);

template <quint16 AcqParam::*F>
bool Hex16(AcqParam &g, const QString &v)
{
    bool ok = false;
    g.*F = v.toUShort(&ok, 16);
    return ok;
}

template <quint32 AcqParam::*F>
bool Hex32(AcqParam &g, const QString &v)
{
    bool ok = false;
    g.*F = v.toUInt(&ok, 16);
    return ok;
}

// Decimal values that do not convert store 0 without a report.
template <quint16 AcqParam::*F>
bool Dec16(AcqParam &g, const QString &v)
{
    g.*F = v.toUShort();
    return true;
}

template <quint32 AcqParam::*F>
bool Dec32(AcqParam &g, const QString &v)
{
    g.*F = v.toUInt();
    return true;
}

template <quint8 AcqParam::*F>
bool Dec8(AcqParam &g, const QString &v)
{
    bool ok = false;
    const quint16 n = v.toUShort(&ok);
    g.*F = (ok && n <= 0xFF) ? quint8(n) : 0;
    return true;
}

bool DecodeFlag(const QString &v)
{
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    return ok && n != 0;
}

template <bool AcqParam::*F>
bool Flag(AcqParam &g, const QString &v)
{
    g.*F = DecodeFlag(v);
    return true;
}

bool GuideEnd(AcqParam &g, const QString &v)
{
    g.guideEnd = DecodeFlag(v) ? 1 : 0;
    return true;
}

bool DropWait(AcqParam &g, const QString &v)
{
    g.dropWait = v.toInt();
    return true;
}

bool TrgDest(AcqParam &g, const QString &v)
{
    g.trgDest = v == QLatin1String("PELRA") ? 0 : 1;
    return true;
}

bool TestPattern(AcqParam &g, const QString &v)
{
    g.testPattern = v;
    return true;
}

bool SyncScript(AcqParam &g, const QString &v)
{
    g.syncScript = v;
    return true;
}

// SENDRST and CLKDRP: "register [second]", split at single blanks with empty
// pieces kept, so two blanks in a row leave an empty second piece.
bool SendReset(AcqParam &g, const QString &v)
{
    const QStringList pieces = v.split(QLatin1Char(' '));
    bool ok = false;
    g.sendRstReg = pieces.at(0).toUShort(&ok, 16);
    if (!ok)
        return false;
    if (pieces.size() >= 2) {
        g.sendRstValue = pieces.at(1).toUShort(&ok, 16);
        return ok;
    }
    return true;
}

bool ClockDrop(AcqParam &g, const QString &v)
{
    const QStringList pieces = v.split(QLatin1Char(' '));
    bool ok = false;
    g.clkDrpReg = pieces.at(0).toUShort(&ok, 16);
    if (!ok)
        return false;
    if (pieces.size() >= 2)
        g.clkDrpBit = pieces.at(1).trimmed().toUShort();
    return true;
}

struct Keyword {
    const char *name;
    Setter set;
};

const Keyword keywords[] = {
    {"XSIZE", Dec16<&AcqParam::xSize>},
    {"YSIZE", Dec16<&AcqParam::ySize>},
    {"RESET", Hex16<&AcqParam::resetReg>},
    {"READ", Hex16<&AcqParam::readReg>},
    {"GROUP", Hex16<&AcqParam::groupReg>},
    {"DROP", Hex16<&AcqParam::dropReg>},
    {"DROP2", Hex16<&AcqParam::drop2Reg>},
    {"DROPWAIT", DropWait},
    {"SENDRST", SendReset},
    {"CLKDRP", ClockDrop},
    {"TRGDEST", TrgDest},
    {"TESTPATTERN", TestPattern},
    {"TRGADDR", Hex16<&AcqParam::trgReg>},
    {"TRGVAL", Hex16<&AcqParam::trgVal>},
    {"STOPVAL", Hex32<&AcqParam::stopVal>},
    {"TRGDEFVAL", Hex32<&AcqParam::trgDefVal>},
    {"PRETRGADDR", Hex16<&AcqParam::preTrgReg>},
    {"PRETRGVAL", Hex16<&AcqParam::preTrgVal>},
    {"PRETRGWAIT", Dec16<&AcqParam::preTrgWait>},
    {"TIMEOUT", Dec16<&AcqParam::timeout>},
    {"CLWIDTH", Dec16<&AcqParam::clWidth>},
    {"CLHEIGHT", Dec16<&AcqParam::clHeight>},
    {"DATAFORMAT", Dec8<&AcqParam::dataFormat>},
    {"RESETPOLARITY", Flag<&AcqParam::resetPolarity>},
    {"CAMLINKOVERHEAD", Dec16<&AcqParam::camLinkOverhead>},
    {"EXTRAPIXELS", Dec32<&AcqParam::extraPixels>},
    {"SORTMODE", Dec8<&AcqParam::sortMode>},
    {"SORTCHANS", Dec8<&AcqParam::sortChans>},
    {"SCIHEADERS", Dec8<&AcqParam::sciHeaders>},
    {"GUIDEMODEEN", Flag<&AcqParam::guideModeEn>},
    {"GUIDEXSIZE", Dec16<&AcqParam::guideXSize>},
    {"GUIDEYSIZE", Dec16<&AcqParam::guideYSize>},
    {"GUIDESTARTROW", Dec16<&AcqParam::guideStartRow>},
    {"GUIDENROWS", Dec16<&AcqParam::guideNRows>},
    {"GUIDENREADS", Dec16<&AcqParam::guideNReads>},
    {"GUIDEEND", GuideEnd},
    {"SYNCSCRIPT", SyncScript},
};

Setter FindSetter(const QString &keyword)
{
    for (const Keyword &k : keywords)
        if (keyword == QLatin1String(k.name))
            return k.set;
    return nullptr;
}

// "first [last]" in hexadecimal, split at single blanks.
bool ParseRange(const QString &value, RegRange &range)
{
    const QStringList pieces = value.split(QLatin1Char(' '));
    bool ok = false;
    range.first = pieces.at(0).toUShort(&ok, 16);
    if (!ok)
        return false;
    range.last = 0xFFFF;
    if (pieces.size() >= 2) {
        range.last = pieces.at(1).toUShort(&ok, 16);
        return ok;
    }
    return true;
}

class Parser
{
public:
    void line(const QString &raw);
    ParseResult result;

private:
    void report(const QString &message);
    // false: the line is to be reported as invalid
    bool range(const QString &keyword, const QString &text, const QString &value, AcqParam &group);

    // Set after a NAME line beyond MaxGroups: the lines of that group are dropped.
    bool discarding = false;
};

void Parser::report(const QString &message)
{
    if (result.messages.size() < MaxMessages)
        result.messages.append(message);
    else
        ++result.unreportedMessages;
}

bool Parser::range(const QString &keyword, const QString &text, const QString &value, AcqParam &group)
{
    const bool pelra = keyword.startsWith(QLatin1String("PELRARANGE"));
    QVector<RegRange> &ranges = pelra ? group.pelraRanges : group.asicRanges;
    QString rangeText = value;
    if (pelra) {
        // The value is what follows "PELRARANGE" and the two characters after
        // it, so the keyword must be written in capitals and followed by ": ".
        const int at = text.indexOf(QLatin1String("PELRARANGE"));
        if (at >= 0)
            rangeText = text.mid(at + 10 + 2);
    }
    RegRange r;
    if (!ParseRange(rangeText, r) || ranges.size() >= MaxRanges)
        return false;
    ranges.append(r);
    return true;
}

void Parser::line(const QString &raw)
{
    QString text = raw.trimmed();
    const int hash = text.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        text.truncate(hash);

    const QStringList pieces = text.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return;
    if (pieces.size() == 1) {
        report(InvalidFormatMessage(text));
        return;
    }
    const QString keyword = pieces.at(0).trimmed().toUpper();
    const QString value = pieces.at(1).trimmed();

    if (keyword == QLatin1String("NAME")) {
        discarding = result.groups.size() >= MaxGroups;
        if (discarding) {
            report(InvalidLineMessage(text));
            return;
        }
        AcqParam group;
        group.name = value;
        result.groups.append(group);
        return;
    }

    const bool isRange = keyword.startsWith(QLatin1String("PELRARANGE")) || keyword.startsWith(QLatin1String("ASICRANGE"));
    const Setter set = isRange ? nullptr : FindSetter(keyword);
    if (!isRange && !set)
        return;
    if (discarding)
        return;
    // A parameter before the first NAME has no group to go into.
    if (result.groups.isEmpty()) {
        report(InvalidLineMessage(text));
        return;
    }
    AcqParam &group = result.groups.last();
    const bool valid = isRange ? range(keyword, text, value, group) : set(group, value);
    if (!valid)
        report(InvalidLineMessage(text));
}

}  // namespace

QString InvalidLineMessage(const QString &line)
{
    return QStringLiteral("Invalid parameter line: ") + line + QStringLiteral(" Expect format [paramName: paramValue]");
}

QString InvalidFormatMessage(const QString &line)
{
    return QStringLiteral("Invalid format for the line ") + line + QStringLiteral("Expect [paraName: parmVals]");
}

ParseResult Parse(const QString &text)
{
    Parser parser;
    for (const QString &line : text.split(QLatin1Char('\n')))
        parser.line(line);
    return parser.result;
}

}  // namespace AcqConfig
