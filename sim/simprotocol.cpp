#include "simprotocol.h"

namespace pelrasim {
namespace protocol {

namespace {

constexpr quint8 CardBit = 0x08;
constexpr quint8 ReadBit = 0x80;
constexpr quint8 BlockBit = 0x40;
constexpr quint8 DmaBit = 0x20;
constexpr quint8 WideBit = 0x10;

void put16(QByteArray &out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

void putValue(QByteArray &out, quint32 value, bool wide24)
{
    if (wide24)
        out.append(char((value >> 16) & 0xFF));
    put16(out, quint16(value & 0xFFFF));
}

quint16 get16(const char *p)
{
    return quint16((quint8(p[0]) << 8) | quint8(p[1]));
}

quint32 getValue(const char *p, bool wide24)
{
    if (wide24)
        return (quint32(quint8(p[0])) << 16) | (quint32(quint8(p[1])) << 8) | quint8(p[2]);
    return get16(p);
}

QByteArray header(quint8 code, quint8 select, quint16 address)
{
    QByteArray out;
    out.append(char(code));
    out.append(char(select));
    put16(out, address);
    return out;
}

quint8 asicCode(quint8 base, bool wide24, bool dma)
{
    return quint8(base | (wide24 ? WideBit : 0) | (dma ? DmaBit : 0));
}

}  // namespace

bool isCardCommand(quint8 code)
{
    return code & CardBit;
}

bool isRead(const Command &command)
{
    return command.code & ReadBit;
}

int packetLength(const char *data, int size)
{
    if (size < 1)
        return 0;
    const quint8 code = quint8(data[0]);
    const bool read = code & ReadBit;
    const bool block = code & BlockBit;
    const int valueBytes = (!isCardCommand(code) && (code & WideBit)) ? 3 : 2;
    if (read)
        return block ? 6 : 4;
    if (!block)
        return 4 + valueBytes;
    if (size < 6)
        return 0;
    const int count = get16(data + 4) + 1;
    return 6 + valueBytes * count;
}

bool decode(const QByteArray &packet, Command *command, QString *error)
{
    const int length = packetLength(packet.constData(), packet.size());
    if (length == 0 || length != packet.size()) {
        if (error)
            *error = QStringLiteral("Packet of %1 bytes does not match its command byte").arg(packet.size());
        return false;
    }
    const char *p = packet.constData();
    Command c;
    c.code = quint8(p[0]);
    c.select = quint8(p[1]);
    c.address = get16(p + 2);
    const bool card = isCardCommand(c.code);
    const bool read = c.code & ReadBit;
    const bool block = c.code & BlockBit;
    c.wide24 = !card && (c.code & WideBit);
    c.dma = !card && (c.code & DmaBit);
    if (card)
        c.kind = read ? (block ? Kind::CardBlockRead : Kind::CardRead) : (block ? Kind::CardBlockWrite : Kind::CardWrite);
    else
        c.kind = read ? (block ? Kind::AsicBlockRead : Kind::AsicRead) : (block ? Kind::AsicBlockWrite : Kind::AsicWrite);
    c.count = block ? get16(p + 4) + 1 : 1;
    if (!read) {
        const int valueBytes = c.wide24 ? 3 : 2;
        const int first = block ? 6 : 4;
        c.values.reserve(c.count);
        for (int k = 0; k < c.count; ++k)
            c.values.append(getValue(p + first + k * valueBytes, c.wide24));
    }
    *command = c;
    return true;
}

QByteArray cardReadReply(quint16 address, quint16 value)
{
    QByteArray out;
    out.append(char(0x40));
    put16(out, address);
    put16(out, value);
    return out;
}

QByteArray cardBlockReadReply(quint16 address, const QVector<quint16> &values)
{
    QByteArray out;
    out.reserve(5 + 2 * values.size());
    out.append(char(0xC0));
    put16(out, address);
    put16(out, quint16(values.size() - 1));
    for (quint16 v : values)
        put16(out, v);
    return out;
}

QByteArray asicReadReply(quint8 requestCode, quint16 address, quint32 value, bool wide24)
{
    QByteArray out;
    out.append(char(requestCode & DmaBit));
    put16(out, address);
    putValue(out, value, wide24);
    return out;
}

QByteArray asicBlockReadReply(quint16 address, const QVector<quint32> &values, bool wide24)
{
    QByteArray out;
    out.reserve(5 + (wide24 ? 3 : 2) * values.size());
    out.append(char(wide24 ? 0xA0 : 0x80));
    put16(out, address);
    put16(out, quint16(values.size() - 1));
    for (quint32 v : values)
        putValue(out, v, wide24);
    return out;
}

QByteArray cardWrite(quint8 select, quint16 address, quint16 value)
{
    QByteArray out = header(0x08, select, address);
    put16(out, value);
    return out;
}

QByteArray cardRead(quint8 select, quint16 address)
{
    return header(0x88, select, address);
}

QByteArray cardBlockWrite(quint8 select, quint16 address, const QVector<quint16> &values)
{
    QByteArray out = header(0x48, select, address);
    put16(out, quint16(values.size() - 1));
    for (quint16 v : values)
        put16(out, v);
    return out;
}

QByteArray cardBlockRead(quint8 select, quint16 address, int count)
{
    QByteArray out = header(0xC8, select, address);
    put16(out, quint16(count - 1));
    return out;
}

QByteArray asicWrite(quint8 select, quint16 address, quint32 value, bool wide24, bool dma)
{
    QByteArray out = header(asicCode(0x00, wide24, dma), select, address);
    putValue(out, value, wide24);
    return out;
}

QByteArray asicRead(quint8 select, quint16 address, bool wide24, bool dma)
{
    return header(asicCode(ReadBit, wide24, dma), select, address);
}

QByteArray asicBlockWrite(quint8 select, quint16 address, const QVector<quint32> &values, bool wide24, bool dma)
{
    QByteArray out = header(asicCode(BlockBit, wide24, dma), select, address);
    put16(out, quint16(values.size() - 1));
    for (quint32 v : values)
        putValue(out, v, wide24);
    return out;
}

QByteArray asicBlockRead(quint8 select, quint16 address, int count, bool wide24, bool dma)
{
    QByteArray out = header(asicCode(ReadBit | BlockBit, wide24, dma), select, address);
    put16(out, quint16(count - 1));
    return out;
}

QString describe(const QByteArray &packet)
{
    Command c;
    if (!decode(packet, &c, nullptr))
        return QStringLiteral("garbled packet %1").arg(QString::fromLatin1(packet.toHex(' ')));
    static const char *const names[] = {"card write", "card read", "card block write", "card block read",
                                        "ASIC write", "ASIC read", "ASIC block write", "ASIC block read"};
    QString text = QStringLiteral("%1 sel=0x%2 addr=0x%3")
                       .arg(QLatin1String(names[int(c.kind)]))
                       .arg(c.select, 2, 16, QLatin1Char('0'))
                       .arg(c.address, 4, 16, QLatin1Char('0'));
    if (c.wide24)
        text += QStringLiteral(" 24-bit");
    if (c.dma)
        text += QStringLiteral(" dma");
    if (c.count > 1 || c.kind == Kind::CardBlockRead || c.kind == Kind::AsicBlockRead)
        text += QStringLiteral(" n=%1").arg(c.count);
    if (c.values.size() == 1)
        text += QStringLiteral(" value=0x%1").arg(c.values.first(), 0, 16);
    return text;
}

}  // namespace protocol
}  // namespace pelrasim
