#include "pelrapackets.h"

namespace PelraPacket {

namespace {

void AppendWord(QByteArray &packet, quint32 value)
{
    packet.append(static_cast<char>((value >> 8) & 0xFF));
    packet.append(static_cast<char>(value & 0xFF));
}

void AppendValue(QByteArray &packet, quint32 value, bool wide24)
{
    if (wide24)
        packet.append(static_cast<char>((value >> 16) & 0xFF));
    AppendWord(packet, value);
}

QByteArray Header(quint8 command, quint8 select, quint16 address)
{
    QByteArray packet;
    packet.append(static_cast<char>(command));
    packet.append(static_cast<char>(select));
    AppendWord(packet, address);
    return packet;
}

}  // namespace

QByteArray CardWrite(quint16 address, quint32 value, quint8 select)
{
    QByteArray packet = Header(0x08, select, address);
    AppendWord(packet, value);
    return packet;
}

QByteArray CardRead(quint16 address, quint8 select)
{
    return Header(0x88, select, address);
}

QByteArray CardBlockWrite(quint16 address, int count, const quint32 *values, quint8 select)
{
    QByteArray packet = Header(0x48, select, address);
    AppendWord(packet, static_cast<quint32>(count - 1));
    packet.reserve(6 + 2 * count);
    for (int k = 0; k < count; ++k)
        AppendWord(packet, values[k]);
    return packet;
}

QByteArray CardBlockRead(quint16 address, int count, quint8 select)
{
    QByteArray packet = Header(0xC8, select, address);
    AppendWord(packet, static_cast<quint32>(count - 1));
    return packet;
}

quint8 AsicCommand(bool read, bool block, bool dma, bool wide24)
{
    return static_cast<quint8>((read ? 0x80 : 0) | (block ? 0x40 : 0) | (dma ? 0x20 : 0) | (wide24 ? 0x10 : 0));
}

bool AsicWriteIsWide(quint16 address, quint16 asicTypeId)
{
    return address >= 0x7000 && asicTypeId == 0x5A7E;
}

QByteArray AsicWrite(quint16 address, quint32 value, quint8 asicSelect, bool dma, bool wide24)
{
    QByteArray packet = Header(AsicCommand(false, false, dma, wide24), asicSelect, address);
    AppendValue(packet, value, wide24);
    return packet;
}

QByteArray AsicRead(quint16 address, quint8 asicSelect, bool dma, bool wide24)
{
    return Header(AsicCommand(true, false, dma, wide24), asicSelect, address);
}

QByteArray AsicBlockWrite(quint16 address, int count, const quint32 *values, quint8 asicSelect, bool dma,
                          bool wide24)
{
    QByteArray packet = Header(AsicCommand(false, true, dma, wide24), asicSelect, address);
    AppendWord(packet, static_cast<quint32>(count - 1));
    packet.reserve(6 + (wide24 ? 3 : 2) * count);
    for (int k = 0; k < count; ++k)
        AppendValue(packet, values[k], wide24);
    return packet;
}

QByteArray AsicBlockRead(quint16 address, int count, quint8 asicSelect, bool dma, bool wide24)
{
    QByteArray packet = Header(AsicCommand(true, true, dma, wide24), asicSelect, address);
    AppendWord(packet, static_cast<quint32>(count - 1));
    return packet;
}

bool CardReadReplyOk(const QByteArray &reply, quint16 address)
{
    return (ByteAt(reply, 0) & 0xF8) == 0x40 && ByteAt(reply, 1) == (address >> 8)
           && ByteAt(reply, 2) == (address & 0xFF);
}

// The block reply has no select byte: its echo of request bytes 2-5 sits at 1-4.
static bool BlockEchoOk(const QByteArray &reply, const QByteArray &request)
{
    for (int i = 1; i <= 4; ++i)
        if (ByteAt(reply, i) != ByteAt(request, i + 1))
            return false;
    return true;
}

bool CardBlockReplyOk(const QByteArray &reply, const QByteArray &request)
{
    return (ByteAt(reply, 0) & 0xF8) == 0xC0 && BlockEchoOk(reply, request);
}

bool AsicReadReplyOk(const QByteArray &reply, quint16 address)
{
    return (ByteAt(reply, 0) & 0xD8) == 0 && ByteAt(reply, 1) == (address >> 8)
           && ByteAt(reply, 2) == (address & 0xFF);
}

bool AsicBlockReplyOk(const QByteArray &reply, const QByteArray &request, bool wide24)
{
    return (ByteAt(reply, 0) & 0xF8) == (wide24 ? 0xA0 : 0x80) && BlockEchoOk(reply, request);
}

void BlockValues(const QByteArray &reply, int count, int width, quint32 *values)
{
    for (int k = 0; k < count; ++k) {
        const int at = 5 + width * k;
        quint32 value = 0;
        for (int b = 0; b < width; ++b)
            value = (value << 8) | ByteAt(reply, at + b);
        values[k] = value;
    }
}

}  // namespace PelraPacket
