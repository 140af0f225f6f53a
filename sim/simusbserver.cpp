#include "simservers.h"

#include "simsciencesender.h"
#include "usbwire.h"

#include <QLocalSocket>
#include <QMutexLocker>

#include <sys/socket.h>
#include <unistd.h>

namespace pelrasim {

namespace {

QByteArray message(quint8 kind, const QByteArray &payload)
{
    QByteArray out(int(usbwire::HeaderSize), 0);
    usbwire::putHeader(reinterpret_cast<uint8_t *>(out.data()), kind, uint32_t(payload.size()));
    return out + payload;
}

// Large science bursts go out in pieces so no single message grows huge.
constexpr int SciencePiece = 1 << 20;

QByteArray pipeMessages(quint8 pipe, const QByteArray &bytes)
{
    QByteArray out;
    for (int pos = 0; pos < bytes.size(); pos += SciencePiece)
        out += message(pipe, bytes.mid(pos, SciencePiece));
    return out;
}

}  // namespace

UsbLinkServer::UsbLinkServer(LinkEndpoint *endpoint, QMutex *lock, int usbVersion, quint8 storedChannels,
                             QObject *parent)
    : QObject(parent), endpoint(endpoint), lock(lock),
      science(new ScienceSender(QStringLiteral("usb ") + endpoint->name())), usbVersion(usbVersion),
      storedChannels(storedChannels)
{
    connect(&server, &QLocalServer::newConnection, this, &UsbLinkServer::acceptConnections);
    science->setEventHandler([this](quint16 cardId, SenderEvent e) {
        QMutexLocker locker(this->lock);
        for (CardModel *card : this->endpoint->cards())
            if (card->id() == cardId)
                card->science().senderEvent(Link::USB, e);
    });
    QMutexLocker locker(lock);
    for (CardModel *card : endpoint->cards())
        card->science().attachUsb(science.get());
}

UsbLinkServer::~UsbLinkServer()
{
    for (int fd : refusingFds)
        ::close(fd);
    // The sockets are children of the server; end them while the table they report to still exists.
    for (auto it = connections.cbegin(); it != connections.cend(); ++it) {
        it.key()->disconnect(this);
        delete it.key();
    }
    connections.clear();
    server.close();
    {
        QMutexLocker locker(lock);
        for (CardModel *card : endpoint->cards())
            card->science().attachUsb(nullptr);
    }
    science.reset();   // its sender may wait for the lock: not held here
}

// The science sender takes over the connection's descriptor; the local socket
// object lets go of its own copy.
void UsbLinkServer::attachScience(QLocalSocket *socket)
{
    const int fd = ::dup(int(socket->socketDescriptor()));
    connections.remove(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    {
        QMutexLocker locker(lock);
        --endpoint->connections;   // a pipe of an open device, not a device opened again
    }
    if (fd < 0)
        return;
    const int buffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    // Attached before the reader goes on, so a trigger sent after this
    // can never find the old connection still in place.
    const char attached = 1;
    ::send(fd, &attached, 1, MSG_NOSIGNAL);
    science->setSink(fd);
}

bool UsbLinkServer::start(const QString &socketPath, QString *error)
{
    QLocalServer::removeServer(socketPath);
    if (!server.listen(socketPath)) {
        *error = QStringLiteral("Cannot listen on %1: %2").arg(socketPath, server.errorString());
        return false;
    }
    path = socketPath;
    endpoint->publishedPath = socketPath;
    return true;
}

void UsbLinkServer::acceptConnections()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        {
            QMutexLocker locker(lock);
            ++endpoint->connections;
        }
        Connection conn;
        conn.activeChannels = storedChannels;   // a new setting takes effect on the next open
        conn.pacer = new ReplyPacer(socket, [socket](const QByteArray &bytes) {
            if (socket->state() == QLocalSocket::ConnectedState)
                socket->write(bytes);
        });
        connections.insert(socket, conn);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readSocket(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void UsbLinkServer::sendToAll(quint8 pipe, const QByteArray &bytes)
{
    for (auto it = connections.cbegin(); it != connections.cend(); ++it)
        it.value().pacer->send(pipeMessages(pipe, bytes));
}

void UsbLinkServer::sendInfo(QLocalSocket *socket, quint8 kind, const Connection &conn)
{
    QByteArray info(int(usbwire::InfoSize), 0);
    info[0] = char(usbVersion);
    info[1] = char(conn.activeChannels);
    info[2] = char(storedChannels);
    socket->write(message(kind, info));   // the control endpoint does not queue behind the pipes
}

void UsbLinkServer::readSocket(QLocalSocket *socket)
{
    if (!connections.contains(socket))
        return;
    connections[socket].incoming.append(socket->readAll());
    for (;;) {
        if (!connections.contains(socket))
            return;
        Connection &conn = connections[socket];
        if (conn.incoming.size() < int(usbwire::HeaderSize))
            return;
        const uint32_t length = usbwire::headerLength(reinterpret_cast<const uint8_t *>(conn.incoming.constData()));
        if (length > usbwire::MaxPayload) {
            connections.remove(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (conn.incoming.size() < int(usbwire::HeaderSize + length))
            return;
        const quint8 kind = quint8(conn.incoming.at(0));
        const QByteArray payload = conn.incoming.mid(int(usbwire::HeaderSize), int(length));
        conn.incoming.remove(0, int(usbwire::HeaderSize + length));
        handleMessage(socket, conn, kind, payload);
    }
}

void UsbLinkServer::handleMessage(QLocalSocket *socket, Connection &conn, quint8 kind, const QByteArray &payload)
{
    switch (kind) {
    case usbwire::InfoRequest:
        sendInfo(socket, usbwire::InfoReply, conn);
        return;
    case usbwire::SetChannels:
        if (!payload.isEmpty() && (quint8(payload[0]) == usbwire::ChannelsOne || quint8(payload[0]) == usbwire::ChannelsTwo))
            storedChannels = quint8(payload[0]);
        sendInfo(socket, usbwire::SetChannelsReply, conn);
        return;
    case usbwire::ScienceAttach:
        attachScience(socket);
        return;
    case usbwire::PipeOut:
        break;
    default:
        return;
    }
    conn.stream.append(payload);
    QByteArray packet;
    while (conn.stream.next(&packet)) {
        const Outcome outcome = processPacket(lock, endpoint, packet);
        if (outcome.drop) {
            connections.remove(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (outcome.refuseWrites) {
            // The bridge stops taking data before it answers, so the host's
            // next write fails at once. A duplicate keeps the connection open
            // after the local socket sees its read side end and closes.
            const int held = ::dup(int(socket->socketDescriptor()));
            if (held >= 0) {
                refusingFds.append(held);
                ::shutdown(held, SHUT_RD);
            }
            conn.pacer->send(message(usbwire::PipeIn, outcome.reply));
            socket->flush();
            return;
        }
        if (outcome.answer)
            conn.pacer->send(message(usbwire::PipeIn, outcome.reply), outcome.delayMs);
    }
}

}  // namespace pelrasim
