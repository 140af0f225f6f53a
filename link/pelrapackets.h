// Command packets of the card protocol and the checks of their replies.
//
// Every packet is sent unchanged on USB, UART and TCP: no length prefix, no
// checksum, multi-byte fields big-endian. Card commands have bit 3 of the
// command byte set, ASIC commands have it clear; bit 7 marks a read, bit 6 a
// block, and for ASICs bit 5 the DMA flag and bit 4 24-bit values.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace PelraPacket {

// The 16-bit count field limits a block to this many registers.
constexpr int MaxBlockRegisters = 65536;

QByteArray CardWrite(quint16 address, quint32 value, quint8 select);
QByteArray CardRead(quint16 address, quint8 select);
QByteArray CardBlockWrite(quint16 address, int count, const quint32 *values, quint8 select);
QByteArray CardBlockRead(quint16 address, int count, quint8 select);

quint8 AsicCommand(bool read, bool block, bool dma, bool wide24);
// A write carries 24-bit values for TAMBRIL registers from 0x7000 up.
bool AsicWriteIsWide(quint16 address, quint16 asicTypeId);
QByteArray AsicWrite(quint16 address, quint32 value, quint8 asicSelect, bool dma, bool wide24);
QByteArray AsicRead(quint16 address, quint8 asicSelect, bool dma, bool wide24);
QByteArray AsicBlockWrite(quint16 address, int count, const quint32 *values, quint8 asicSelect, bool dma,
                          bool wide24);
QByteArray AsicBlockRead(quint16 address, int count, quint8 asicSelect, bool dma, bool wide24);

// Reply byte i, or 0 beyond the received length.
inline quint8 ByteAt(const QByteArray &reply, int i)
{
    return i >= 0 && i < reply.size() ? static_cast<quint8>(reply.at(i)) : 0;
}

// Reply checks: code and echoed fields.
bool CardReadReplyOk(const QByteArray &reply, quint16 address);
bool CardBlockReplyOk(const QByteArray &reply, const QByteArray &request);
bool AsicReadReplyOk(const QByteArray &reply, quint16 address);
bool AsicBlockReplyOk(const QByteArray &reply, const QByteArray &request, bool wide24);

// Values of a block reply starting at byte 5, a missing byte counting as 0.
void BlockValues(const QByteArray &reply, int count, int width, quint32 *values);

}  // namespace PelraPacket
