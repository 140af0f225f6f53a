#include "simendpoint.h"

#include "simprotocol.h"

#include <algorithm>

namespace pelrasim {

using protocol::Command;
using protocol::Kind;

bool PacketStream::next(QByteArray *packet)
{
    const int length = protocol::packetLength(buffer.constData(), buffer.size());
    if (length == 0 || buffer.size() < length)
        return false;
    *packet = buffer.left(length);
    buffer.remove(0, length);
    return true;
}

LinkEndpoint::LinkEndpoint(Link kind, const QString &name)
    : linkKind(kind), endpointName(name)
{
}

bool LinkEndpoint::addCard(CardModel *card)
{
    for (CardModel *c : cardList)
        if (c->position() == card->position())
            return false;
    cardList.append(card);
    std::sort(cardList.begin(), cardList.end(),
              [](const CardModel *a, const CardModel *b) { return a->position() < b->position(); });
    return true;
}

bool LinkEndpoint::hasCard(quint16 cardId) const
{
    for (CardModel *c : cardList)
        if (c->id() == cardId)
            return true;
    return false;
}

void LinkEndpoint::setEmptyReply(bool silent, quint16 value)
{
    emptySilent = silent;
    emptyValue = value;
}

void LinkEndpoint::setFault(Fault f, int count, int lateMs)
{
    fault = f;
    faultCount = f == Fault::None ? 0 : count;
    faultLateMs = lateMs;
}

// ASIC positions run across the cards in position order: the first card's
// ASICs are 1 (and 2), the next card's follow.
QVector<LinkEndpoint::AsicSlot> LinkEndpoint::asicSlots() const
{
    QVector<AsicSlot> slots;
    for (CardModel *c : cardList)
        for (int i = 0; i < c->asicCount(); ++i)
            slots.append({c, i});
    return slots;
}

CardModel *LinkEndpoint::lowestSelected(quint8 select) const
{
    for (CardModel *c : cardList)
        if (select & (1u << (c->position() - 1)))
            return c;
    return nullptr;
}

Outcome LinkEndpoint::handle(const QByteArray &packet)
{
    packets.append(packet);
    Outcome outcome;
    outcome.answer = replyTo(packet, &outcome.reply);
    if (outcome.answer)
        applyFault(&outcome);
    return outcome;
}

bool LinkEndpoint::replyTo(const QByteArray &packet, QByteArray *reply)
{
    Command c;
    if (!protocol::decode(packet, &c, nullptr))
        return false;
    switch (c.kind) {
    case Kind::CardWrite:
    case Kind::CardBlockWrite:
        for (CardModel *card : cardList)
            if (c.select & (1u << (card->position() - 1)))
                for (int k = 0; k < c.values.size(); ++k)
                    card->write(quint16(c.address + k), quint16(c.values[k]));
        return false;
    case Kind::CardRead:
    case Kind::CardBlockRead: {
        CardModel *card = lowestSelected(c.select);
        if (!card && emptySilent)
            return false;
        QVector<quint16> values(c.count);
        for (int k = 0; k < c.count; ++k)
            values[k] = card ? card->read(quint16(c.address + k)) : emptyValue;
        *reply = c.kind == Kind::CardRead ? protocol::cardReadReply(c.address, values.first())
                                          : protocol::cardBlockReadReply(c.address, values);
        return true;
    }
    case Kind::AsicWrite:
    case Kind::AsicBlockWrite: {
        const QVector<AsicSlot> slots = asicSlots();
        for (int n = 0; n < slots.size() && n < 8; ++n) {
            if (!(c.select & (1u << n)) || !slots[n].card->relaysTo(slots[n].card->asic(slots[n].index).family()))
                continue;
            for (int k = 0; k < c.values.size(); ++k)
                slots[n].card->writeAsic(slots[n].index, slots[n].card->asicBlockRegister(slots[n].index, c.address, k),
                                         c.values[k], c.dma);
        }
        return false;
    }
    case Kind::AsicRead:
    case Kind::AsicBlockRead: {
        const QVector<AsicSlot> slots = asicSlots();
        for (int n = 0; n < slots.size() && n < 8; ++n) {
            if (!(c.select & (1u << n)))
                continue;
            CardModel *card = slots[n].card;
            AsicModel &asic = card->asic(slots[n].index);
            if (!card->relaysTo(asic.family()))
                return false;
            QVector<quint32> values(c.count);
            for (int k = 0; k < c.count; ++k)
                values[k] = asic.read(card->asicBlockRegister(slots[n].index, c.address, k));
            *reply = c.kind == Kind::AsicRead ? protocol::asicReadReply(c.code, c.address, values.first(), c.wide24)
                                              : protocol::asicBlockReadReply(c.address, values, c.wide24);
            return true;
        }
        return false;
    }
    }
    return false;
}

void LinkEndpoint::applyFault(Outcome *outcome)
{
    if (fault == Fault::None || faultCount == 0)
        return;
    switch (fault) {
    case Fault::NoReply:
        outcome->answer = false;
        break;
    case Fault::ShortReply:
        outcome->reply.truncate(outcome->reply.size() / 2);
        break;
    case Fault::WrongCode:
        outcome->reply[0] = char(quint8(outcome->reply[0]) ^ 0x80);
        break;
    case Fault::WrongEcho:
        outcome->reply[2] = char(quint8(outcome->reply[2]) ^ 0xFF);
        break;
    case Fault::LateReply:
        outcome->delayMs = faultLateMs;
        break;
    case Fault::DropConnection:
        outcome->answer = false;
        outcome->drop = true;
        break;
    case Fault::RefuseWrites:
        outcome->refuseWrites = true;
        break;
    case Fault::None:
        break;
    }
    if (faultCount > 0 && --faultCount == 0)
        fault = Fault::None;
}

}  // namespace pelrasim
