// The link servers: they move bytes between a transport and a LinkEndpoint.
// All of them live on the simulator's worker thread and call the endpoint
// with the simulator's lock held.
#pragma once

#include "simendpoint.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QLocalServer>
#include <QObject>
#include <QTcpServer>

#include <functional>
#include <memory>

class QLocalSocket;
class QMutex;
class QSocketNotifier;
class QTcpSocket;

namespace pelrasim {

class GigeSciencePort;
class ScienceSender;

// Hands one packet to the endpoint under the lock; exposures the packet
// triggered start once it is handled whole.
Outcome processPacket(QMutex *lock, LinkEndpoint *endpoint, const QByteArray &packet);

// Writes replies in the order the card produced them: once one reply is
// late, everything after it waits behind it. Owned by the connection.
class ReplyPacer : public QObject
{
public:
    ReplyPacer(QObject *owner, std::function<void(const QByteArray &)> write);
    void send(const QByteArray &bytes, int delayMs = 0);

private:
    std::function<void(const QByteArray &)> write;
    QByteArray held;
    bool holding = false;
};

// The card's TCP command port.
class TcpLinkServer : public QObject
{
    Q_OBJECT
public:
    TcpLinkServer(LinkEndpoint *endpoint, QMutex *lock, QObject *parent = nullptr);
    ~TcpLinkServer() override;
    bool start(const QHostAddress &address, quint16 port, QString *error);

private:
    void acceptConnections();
    void readSocket(QTcpSocket *socket);

    LinkEndpoint *endpoint;
    QMutex *lock;
    QTcpServer server;
    std::unique_ptr<GigeSciencePort> science;   // the network module's science port
    struct Connection {
        PacketStream stream;
        ReplyPacer *pacer = nullptr;
    };
    QHash<QTcpSocket *, Connection> streams;
};

// A UART: the master side of a pseudo-terminal. The slave side stays open
// here as well, in raw mode, so nothing is echoed and the master never sees
// end-of-file when the card link closes its port.
class PtyLinkServer : public QObject
{
    Q_OBJECT
public:
    PtyLinkServer(LinkEndpoint *endpoint, QMutex *lock, QObject *parent = nullptr);
    ~PtyLinkServer() override;
    // Opens the terminal and publishes it as the symbolic link linkPath. A
    // vendor other than the grabber's is published beside it, in
    // linkPath + ".vendor", as the grabber layer would report it.
    bool start(const QString &linkPath, quint16 vendorId, QString *error);
    QString terminal() const { return terminalPath; }

private:
    void readMaster();
    void send(const QByteArray &bytes);
    void flush();

    LinkEndpoint *endpoint;
    QMutex *lock;
    int master = -1;
    int slave = -1;
    QString terminalPath;
    QString linkPath;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    ReplyPacer *pacer = nullptr;
    QByteArray pending;
    PacketStream stream;
};

// A USB bridge: a Unix-domain socket speaking the framing of usbwire.h.
class UsbLinkServer : public QObject
{
    Q_OBJECT
public:
    UsbLinkServer(LinkEndpoint *endpoint, QMutex *lock, int usbVersion, quint8 storedChannels,
                  QObject *parent = nullptr);
    ~UsbLinkServer() override;
    bool start(const QString &socketPath, QString *error);
    // Sends bytes on an IN pipe (0x82 or 0x83) of every open connection.
    void sendToAll(quint8 pipe, const QByteArray &bytes);

private:
    struct Connection {
        QByteArray incoming;
        PacketStream stream;
        quint8 activeChannels = 2;
        ReplyPacer *pacer = nullptr;
    };
    void acceptConnections();
    void readSocket(QLocalSocket *socket);
    void handleMessage(QLocalSocket *socket, Connection &conn, quint8 kind, const QByteArray &payload);
    void sendInfo(QLocalSocket *socket, quint8 kind, const Connection &conn);

    // A connection that asked to carry a science channel leaves the command
    // traffic and goes to the science sender.
    void attachScience(QLocalSocket *socket);

    LinkEndpoint *endpoint;
    QMutex *lock;
    std::unique_ptr<ScienceSender> science;
    int usbVersion;
    quint8 storedChannels;
    QString path;
    QLocalServer server;
    QHash<QLocalSocket *, Connection> connections;
    // Connections that stopped taking commands (fault RefuseWrites): held open
    // here, read side shut, so the host sees no hang-up but cannot write.
    QVector<int> refusingFds;
};

}  // namespace pelrasim
