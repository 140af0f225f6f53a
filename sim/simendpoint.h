// One link endpoint: a TCP command port, a pseudo-terminal or a USB bridge,
// with the cards that sit behind it at their positions. It turns each
// complete command packet into the card's reply, keeps the traffic log and
// applies the faults that tests switch on.
//
// Not thread-safe by itself: the simulator calls it with its lock held.
#pragma once

#include "pelrasim.h"
#include "simcard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

namespace pelrasim {

// What to do with the reply to one packet.
struct Outcome {
    bool answer = false;      // send `reply`
    QByteArray reply;
    int delayMs = 0;          // send it this much later
    bool drop = false;        // close the connection instead of answering
    bool refuseWrites = false;   // answer, then stop reading the connection
};

// Splits a byte stream into command packets.
class PacketStream
{
public:
    void append(const QByteArray &bytes) { buffer.append(bytes); }
    // Next complete packet, or false when more bytes are needed.
    bool next(QByteArray *packet);

private:
    QByteArray buffer;
};

class LinkEndpoint
{
public:
    LinkEndpoint(Link kind, const QString &name);

    Link kind() const { return linkKind; }
    QString name() const { return endpointName; }

    // Cards are kept in position order; false when the position is taken.
    bool addCard(CardModel *card);
    const QVector<CardModel *> &cards() const { return cardList; }
    bool hasCard(quint16 cardId) const;

    // Reply to a read that names only empty positions.
    void setEmptyReply(bool silent, quint16 value);

    Outcome handle(const QByteArray &packet);

    void setFault(Fault fault, int count, int lateMs);
    void clearFault() { setFault(Fault::None, 0, 0); }

    QList<QByteArray> packets;
    int connections = 0;
    QString publishedPath;     // socket path or pseudo-terminal

private:
    struct AsicSlot {
        CardModel *card;
        int index;
    };
    QVector<AsicSlot> asicSlots() const;
    CardModel *lowestSelected(quint8 select) const;
    bool replyTo(const QByteArray &packet, QByteArray *reply);
    void applyFault(Outcome *outcome);

    Link linkKind;
    QString endpointName;
    QVector<CardModel *> cardList;
    bool emptySilent = false;
    quint16 emptyValue = 0x0BAD;
    Fault fault = Fault::None;
    int faultCount = 0;
    int faultLateMs = 0;
};

}  // namespace pelrasim
