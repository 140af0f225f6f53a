#include "simservers.h"

#include "simgigescience.h"

#include <QMutexLocker>
#include <QTcpSocket>
#include <QTimer>

namespace pelrasim {

Outcome processPacket(QMutex *lock, LinkEndpoint *endpoint, const QByteArray &packet)
{
    QMutexLocker locker(lock);
    const Outcome outcome = endpoint->handle(packet);
    for (CardModel *card : endpoint->cards())
        card->science().flush();
    return outcome;
}

ReplyPacer::ReplyPacer(QObject *owner, std::function<void(const QByteArray &)> write)
    : QObject(owner), write(std::move(write))
{
}

void ReplyPacer::send(const QByteArray &bytes, int delayMs)
{
    if (holding) {
        held.append(bytes);
        return;
    }
    if (delayMs <= 0) {
        write(bytes);
        return;
    }
    holding = true;
    held = bytes;
    QTimer::singleShot(delayMs, this, [this] {
        holding = false;
        const QByteArray out = held;
        held.clear();
        write(out);
    });
}

TcpLinkServer::TcpLinkServer(LinkEndpoint *endpoint, QMutex *lock, QObject *parent)
    : QObject(parent), endpoint(endpoint), lock(lock)
{
    connect(&server, &QTcpServer::newConnection, this, &TcpLinkServer::acceptConnections);
}

TcpLinkServer::~TcpLinkServer()
{
    // The sockets are children of the server; end them while the table they report to still exists.
    for (auto it = streams.cbegin(); it != streams.cend(); ++it) {
        it.key()->disconnect(this);
        delete it.key();
    }
    streams.clear();
    if (science) {
        {
            QMutexLocker locker(lock);
            for (CardModel *card : endpoint->cards())
                card->science().attachGige(nullptr);
        }
        science.reset();   // its sender may wait for the lock: not held here
    }
}

bool TcpLinkServer::start(const QHostAddress &address, quint16 port, QString *error)
{
    if (server.listen(address, port)) {
        science.reset(new GigeSciencePort(address.toIPv4Address()));
        science->sender().setEventHandler([this](quint16 cardId, SenderEvent e) {
            QMutexLocker locker(lock);
            for (CardModel *card : endpoint->cards())
                if (card->id() == cardId)
                    card->science().senderEvent(Link::GigE, e);
        });
        QMutexLocker locker(lock);
        for (CardModel *card : endpoint->cards())
            card->science().attachGige(science.get());
        return true;
    }
    *error = QStringLiteral("Cannot listen on %1:%2: %3").arg(address.toString()).arg(port).arg(server.errorString());
    return false;
}

void TcpLinkServer::acceptConnections()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        {
            QMutexLocker locker(lock);
            ++endpoint->connections;
        }
        Connection conn;
        conn.pacer = new ReplyPacer(socket, [socket](const QByteArray &bytes) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write(bytes);
        });
        streams.insert(socket, conn);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readSocket(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            streams.remove(socket);
            socket->deleteLater();
        });
    }
}

void TcpLinkServer::readSocket(QTcpSocket *socket)
{
    if (!streams.contains(socket))
        return;
    streams[socket].stream.append(socket->readAll());
    QByteArray packet;
    while (streams.contains(socket) && streams[socket].stream.next(&packet)) {
        const Outcome outcome = processPacket(lock, endpoint, packet);
        if (outcome.drop) {
            streams.remove(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (outcome.answer)
            streams[socket].pacer->send(outcome.reply, outcome.delayMs);
    }
}

}  // namespace pelrasim
