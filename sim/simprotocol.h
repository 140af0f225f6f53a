// Card command packets as the simulated card sees them: framing of the byte
// stream, decoding of one command, and the replies the card builds.
//
// Pure functions, usable without any server. Packets are big-endian.
// Card commands have bit 3 of the command byte set (0x08 write, 0x88 read,
// 0x48 block write, 0xC8 block read); ASIC commands have it clear and use
// bit 7 read, bit 6 block, bit 5 DMA and bit 4 24-bit values.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

namespace pelrasim {
namespace protocol {

enum class Kind { CardWrite, CardRead, CardBlockWrite, CardBlockRead, AsicWrite, AsicRead, AsicBlockWrite, AsicBlockRead };

struct Command {
    Kind kind = Kind::CardWrite;
    quint8 code = 0;          // command byte as sent
    quint8 select = 0;        // card select or ASIC select
    quint16 address = 0;
    int count = 1;            // registers covered (block commands: count field + 1)
    bool wide24 = false;      // ASIC values travel as 3 bytes
    bool dma = false;
    QVector<quint32> values;  // write commands only
};

bool isCardCommand(quint8 code);
bool isRead(const Command &command);

// Length of the packet that starts at data[0], or 0 when more bytes are
// needed to tell (block writes carry their length in bytes 4-5).
int packetLength(const char *data, int size);

// Decodes one complete packet (exactly packetLength bytes).
bool decode(const QByteArray &packet, Command *command, QString *error);

// Replies.
QByteArray cardReadReply(quint16 address, quint16 value);
QByteArray cardBlockReadReply(quint16 address, const QVector<quint16> &values);
QByteArray asicReadReply(quint8 requestCode, quint16 address, quint32 value, bool wide24);
QByteArray asicBlockReadReply(quint16 address, const QVector<quint32> &values, bool wide24);

// Requests, as the card link sends them (for tests and tools).
QByteArray cardWrite(quint8 select, quint16 address, quint16 value);
QByteArray cardRead(quint8 select, quint16 address);
QByteArray cardBlockWrite(quint8 select, quint16 address, const QVector<quint16> &values);
QByteArray cardBlockRead(quint8 select, quint16 address, int count);
QByteArray asicWrite(quint8 select, quint16 address, quint32 value, bool wide24, bool dma = false);
QByteArray asicRead(quint8 select, quint16 address, bool wide24, bool dma = false);
QByteArray asicBlockWrite(quint8 select, quint16 address, const QVector<quint32> &values, bool wide24, bool dma = false);
QByteArray asicBlockRead(quint8 select, quint16 address, int count, bool wide24, bool dma = false);

// One line for logs, e.g. "card read sel=0x01 addr=0xfffb".
QString describe(const QByteArray &packet);

}  // namespace protocol
}  // namespace pelrasim
