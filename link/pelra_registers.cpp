// Card and ASIC register access: one packet out, and for reads one reply in,
// checked for its code and the echoed address.
#include "pelrainterface.h"
#include "pelrapackets.h"
#include "stringconvert.h"

#include <QThread>

using PelraPacket::ByteAt;

namespace {

// Writing the power-enable register switches supplies; give them time to settle.
constexpr quint16 PowerEnableRegister = 0x0300;

QString TooFewValues(const char *operation, int count, int given)
{
    return QStringLiteral("%1 failed: blocks = %2 but only %3 values given").arg(QLatin1String(operation)).arg(count).arg(given);
}

QString TooLarge(const char *operation, int count)
{
    return QStringLiteral("%1 failed: blocks = %2 exceeds the limit of %3 registers")
        .arg(QLatin1String(operation))
        .arg(count)
        .arg(PelraPacket::MaxBlockRegisters);
}

}  // namespace

bool PelraInterface::WritePELRAReg(quint16 address, quint32 value, quint8 select)
{
    const bool ok = WritePort(PelraPacket::CardWrite(address, value, select));
    if (address == PowerEnableRegister)
        QThread::msleep(20);
    return ok;
}

bool PelraInterface::ReadPELRAReg(quint16 address, quint32 &value, quint8 select)
{
    value = 0;
    if (!WritePort(PelraPacket::CardRead(address, select)))
        return false;
    QByteArray reply;
    if (!ReadPort(5, reply))
        return false;
    if (reply.size() < 5) {
        lastError = QStringLiteral("ReadPELRAReg failed: Did not receive the expected 5 bytes of data from serial port");
        return false;
    }
    if (!PelraPacket::CardReadReplyOk(reply, address)) {
        lastError = QStringLiteral("ReadPELRARegister failed: unexpected code ") + byte2hStr(ByteAt(reply, 0))
                    + QStringLiteral(" addr ") + bytes2hStr(ByteAt(reply, 1), ByteAt(reply, 2));
        return false;
    }
    value = (ByteAt(reply, 3) << 8) | ByteAt(reply, 4);
    return true;
}

bool PelraInterface::WritePELRABlock(quint16 address, int count, const quint32 *values, quint8 select)
{
    if (count < 1) {
        lastError = QStringLiteral("WritePELRABlock failed: blocks = %1").arg(count);
        return false;
    }
    if (count > PelraPacket::MaxBlockRegisters) {
        lastError = TooLarge("WritePELRABlock", count);
        return false;
    }
    return WritePort(PelraPacket::CardBlockWrite(address, count, values, select));
}

bool PelraInterface::ReadPELRABlock(quint16 address, int count, quint32 *values, quint8 select)
{
    if (count < 1) {
        lastError = QStringLiteral("ReadPELRABlock failed: blocks= %1").arg(count);
        return false;
    }
    if (count > PelraPacket::MaxBlockRegisters) {
        lastError = TooLarge("ReadPELRABlock", count);
        return false;
    }
    if (select == 0) {
        lastError = QStringLiteral("ReadPELRABlock failed: invalid pelraId 0");
        return false;
    }
    const QByteArray request = PelraPacket::CardBlockRead(address, count, select);
    if (!WritePort(request))
        return false;
    QThread::msleep(20);
    QByteArray reply;
    if (!ReadPort(5 + 2 * count, reply))
        return false;
    if (!PelraPacket::CardBlockReplyOk(reply, request)) {
        lastError = QStringLiteral("ReadPELRABlock failed: readback code ") + byte2hStr(ByteAt(reply, 0))
                    + QStringLiteral("addr ") + bytes2hStr(ByteAt(reply, 1), ByteAt(reply, 2)) + QStringLiteral(" len ")
                    + bytes2hStr(ByteAt(reply, 3), ByteAt(reply, 4));
        return false;
    }
    PelraPacket::BlockValues(reply, count, 2, values);
    return true;
}

bool PelraInterface::WriteASICReg(quint16 address, quint32 value, quint16 asicSelect, bool dma)
{
    const bool wide = PelraPacket::AsicWriteIsWide(address, asicTypeId);
    return WritePort(PelraPacket::AsicWrite(address, value, static_cast<quint8>(asicSelect), dma, wide));
}

bool PelraInterface::ReadASICReg(quint16 address, quint32 &value, quint16 asicSelect, bool wide24, bool dma)
{
    value = 0;
    if (!WritePort(PelraPacket::AsicRead(address, static_cast<quint8>(asicSelect), dma, wide24)))
        return false;
    QByteArray reply;
    if (!ReadPort(wide24 ? 6 : 5, reply))
        return false;
    if (!PelraPacket::AsicReadReplyOk(reply, address)) {
        lastError = QStringLiteral("ReadASICReg failed: unexpected readback code 0x%1 addr 0x%2%3")
                        .arg(ByteAt(reply, 0), 2, 16, QLatin1Char('0'))
                        .arg(ByteAt(reply, 1), 2, 16, QLatin1Char('0'))
                        .arg(ByteAt(reply, 2), 2, 16, QLatin1Char('0'));
        return false;
    }
    if (wide24)
        value = (ByteAt(reply, 3) << 16) | (ByteAt(reply, 4) << 8) | ByteAt(reply, 5);
    else
        value = (ByteAt(reply, 3) << 8) | ByteAt(reply, 4);
    return true;
}

bool PelraInterface::WriteASICBlock(quint16 address, int count, const quint32 *values, quint16 asicSelect, bool dma)
{
    if (count < 1) {
        lastError = QStringLiteral("WriteASICBlock failed: n=%1").arg(count);
        return false;
    }
    if (count > PelraPacket::MaxBlockRegisters) {
        lastError = TooLarge("WriteASICBlock", count);
        return false;
    }
    const bool wide = PelraPacket::AsicWriteIsWide(address, asicTypeId);
    return WritePort(PelraPacket::AsicBlockWrite(address, count, values, static_cast<quint8>(asicSelect), dma, wide));
}

bool PelraInterface::ReadASICBlock(quint16 address, int count, quint32 *values, quint16 asicSelect, bool wide24,
                                   bool dma)
{
    if (count < 1) {
        lastError = QStringLiteral("ReadASICBlock failed: blocks= %1").arg(count);
        return false;
    }
    if (count > PelraPacket::MaxBlockRegisters) {
        lastError = TooLarge("ReadASICBlock", count);
        return false;
    }
    const QByteArray request = PelraPacket::AsicBlockRead(address, count, static_cast<quint8>(asicSelect), dma, wide24);
    if (!WritePort(request))
        return false;
    QThread::msleep(20);
    QByteArray reply;
    const int width = wide24 ? 3 : 2;
    if (!ReadPort(5 + width * count, reply))
        return false;
    if (!PelraPacket::AsicBlockReplyOk(reply, request, wide24)) {
        lastError = QStringLiteral("ReadASICBlock failed: readback code=") + byte2hStr(ByteAt(reply, 0))
                    + QStringLiteral(" addr=") + bytes2hStr(ByteAt(reply, 1), ByteAt(reply, 2))
                    + QStringLiteral(" len=") + bytes2hStr(ByteAt(reply, 3), ByteAt(reply, 4));
        return false;
    }
    PelraPacket::BlockValues(reply, count, width, values);
    return true;
}

bool PelraInterface::WritePELRABlock(quint16 address, int count, const QVector<quint32> &values, quint8 select)
{
    if (values.size() < count) {
        lastError = TooFewValues("WritePELRABlock", count, values.size());
        return false;
    }
    return WritePELRABlock(address, count, values.constData(), select);
}

bool PelraInterface::ReadPELRABlock(quint16 address, int count, QVector<quint32> &values, quint8 select)
{
    if (values.size() < count)
        values.resize(count);
    return ReadPELRABlock(address, count, values.data(), select);
}

bool PelraInterface::WriteASICBlock(quint16 address, int count, const QVector<quint32> &values, quint16 asicSelect,
                                    bool dma)
{
    if (values.size() < count) {
        lastError = TooFewValues("WriteASICBlock", count, values.size());
        return false;
    }
    return WriteASICBlock(address, count, values.constData(), asicSelect, dma);
}

bool PelraInterface::ReadASICBlock(quint16 address, int count, QVector<quint32> &values, quint16 asicSelect,
                                   bool wide24, bool dma)
{
    if (values.size() < count)
        values.resize(count);
    return ReadASICBlock(address, count, values.data(), asicSelect, wide24, dma);
}
