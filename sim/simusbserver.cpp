#include "simservers.h"

#include "usbwire.h"

#include <QLocalSocket>
#include <QMutexLocker>

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
    : QObject(parent), endpoint(endpoint), lock(lock), usbVersion(usbVersion), storedChannels(storedChannels)
{
    connect(&server, &QLocalServer::newConnection, this, &UsbLinkServer::acceptConnections);
}

UsbLinkServer::~UsbLinkServer()
{
    // The sockets are children of the server; end them while the table they report to still exists.
    for (auto it = connections.cbegin(); it != connections.cend(); ++it) {
        it.key()->disconnect(this);
        delete it.key();
    }
    connections.clear();
    server.close();
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
    case usbwire::PipeOut:
        break;
    default:
        return;
    }
    conn.stream.append(payload);
    const quint8 sciencePipe = conn.activeChannels == usbwire::ChannelsTwo ? usbwire::PipeScience : usbwire::PipeIn;
    QByteArray packet;
    while (conn.stream.next(&packet)) {
        QByteArray science;
        const Outcome outcome = processPacket(lock, endpoint, packet, &science);
        if (outcome.drop) {
            connections.remove(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (outcome.answer)
            conn.pacer->send(message(usbwire::PipeIn, outcome.reply), outcome.delayMs);
        if (!science.isEmpty())
            conn.pacer->send(pipeMessages(sciencePipe, science));
    }
}

}  // namespace pelrasim
