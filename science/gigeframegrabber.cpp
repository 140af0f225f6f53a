#include "gigeframegrabber.h"

#include "pelrainterface.h"

#include <QDateTime>
#include <QHostAddress>
#include <QThread>
#include <QVector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr quint16 RegCamlinkConfig = 0x1C0;
constexpr quint16 RegGigeConfig = 0x1D0;
constexpr quint16 RegUsbConfig = 0x1E0;
constexpr quint16 RegFifoReset = 0x1A1;
constexpr quint16 RegScienceBlock = 0x1820;
constexpr quint16 RegScienceFlag = 0x182D;
constexpr int ScienceBlockWords = 14;
constexpr quint32 FlagOpenPort = 0x31;
constexpr quint32 FlagConnected = 0x33;
constexpr quint32 StateConnected = 3;
constexpr int ReceiveBufferBytes = 0x8000000;
constexpr int ConnectWaitMs = 10000;
constexpr int HandshakeWaitMs = 20;
constexpr int ReceiveSliceMs = 100;

// Failure texts of ConfigScienceInterface, one per step.
enum Step {
    StepNoLink,
    StepDisableOthers,
    StepResetFifo,
    StepReadGigeConfig,
    StepWriteGigeConfig,
    StepOpenPort,
    StepConnect,
    StepUnusable,
    StepVerify,
    StepPeer,
    StepConnectedFlag,
    StepReceiveBuffer,
    StepRing
};

const char *const StepTexts[] = {
    "Invalid GigE command interface. Unable to configure GigE science interface",
    "Disable Camlink and USB science interfaces failed",
    "Reset main FIFO with GigE interface failed",
    "Read PELRA 0x01d0 failed",
    "Confiure GigE science interface for mode 0x%1 failed",
    "Setup PELRA GigE interface for science data acquisition failed",
    "Failed to open TCP port %1: %2",
    "GigE tcp port for science data acquisition is unreadable or unwritable: %1",
    "Verify GigE science data interface by reading PELRA address h1820 failed",
    "Science Data interface failed. Could not establish socket connection",
    "Setting of GigE science data interface connection flag by writing to PELRA address 0x182d failed",
    "Unable to set socket receive buffer size at the OS level to 134217 KB",
    "Allocating the GigE frame buffers failed",
};

// The socket error texts the operator knows from the toolkit's sockets.
QString SocketErrorText(int error)
{
    switch (error) {
    case ECONNREFUSED: return QStringLiteral("Connection refused");
    case ETIMEDOUT: return QStringLiteral("Socket operation timed out");
    case ENETUNREACH: return QStringLiteral("Network unreachable");
    case EHOSTUNREACH: return QStringLiteral("Host unreachable");
    case EADDRNOTAVAIL: return QStringLiteral("The address is not available");
    case ECONNRESET: return QStringLiteral("The remote host closed the connection");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

QAbstractSocket::SocketError SocketErrorKind(int error)
{
    switch (error) {
    case 0: return QAbstractSocket::RemoteHostClosedError;
    case ECONNRESET:
    case EPIPE: return QAbstractSocket::RemoteHostClosedError;
    case ECONNREFUSED: return QAbstractSocket::ConnectionRefusedError;
    case ETIMEDOUT: return QAbstractSocket::SocketTimeoutError;
    default: return QAbstractSocket::NetworkError;
    }
}

int ReadBufferSize(int fd)
{
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &value, &length) != 0)
        return 0;
    return value;
}

}  // namespace

GigeFrameGrabber::GigeFrameGrabber(bool logToFile, QObject *parent)
    : QObject(parent), logToFile(logToFile)
{
    qRegisterMetaType<QAbstractSocket::SocketError>();
    if (logToFile)
        log.Open(SciLog::FolderPath(QStringLiteral("gigESciLog.txt")));
}

GigeFrameGrabber::~GigeFrameGrabber()
{
    StopReceiver();
    CloseSocket();
    log.Close();
    frameRing.Free();
}

int GigeFrameGrabber::RingSizeFor(quint32 framePixels)
{
    return FrameRing::SlotsFor(quint64(framePixels) * 2);
}

bool GigeFrameGrabber::Fail(int step, const QString &detail)
{
    QString text = QString::fromLatin1(StepTexts[step]);
    if (step == StepConnect)
        text = text.arg(cardLink ? cardLink->HostAddress().toString() : QString(), detail);
    else if (!detail.isNull())
        text = text.arg(detail);
    errorText = text;
    return false;
}

bool GigeFrameGrabber::ConfigScienceInterface(PelraInterface *link, quint16 format, quint32 pixels, quint16 port,
                                              int *bufferKB, quint8 cards)
{
    int kb = 0;
    const bool ok = ConfigScienceInterface(link, format, pixels, port, kb, cards);
    if (bufferKB)
        *bufferKB = kb;
    return ok;
}

bool GigeFrameGrabber::ConfigScienceInterface(PelraInterface *link, quint16 format, quint32 pixels, quint16 port,
                                              int &bufferKB, quint8 cards)
{
    // 1. A new configuration starts from an empty ring.
    errorText.clear();
    StopReceiver();
    framePixels = pixels;
    ringSize = 0;
    frameRing.Free();
    bufferKB = 0;
    streamEnded.store(false);
    receiverErrno.store(0);
    bytesReceived.store(0);

    // 2.
    if (!link)
        return Fail(StepNoLink);

    // 3. Only one science path at a time.
    cardLink = link;
    if (!link->WritePELRAReg(RegCamlinkConfig, 0, cards) || !link->WritePELRAReg(RegUsbConfig, 0, cards))
        return Fail(StepDisableOthers);
    if (!link->WritePELRAReg(RegFifoReset, 15, cards))
        return Fail(StepResetFifo);
    cardSelection = cards;

    // 4. Word format in bits 4-5, data source in bits 1-3, science on.
    quint32 config = 0;
    if (!link->ReadPELRAReg(RegGigeConfig, config, cards))
        return Fail(StepReadGigeConfig);
    config = (config & 0xFFFFFFC0u) | 1u | ((format & 3u) << 4) | ((format & 0x70u) >> 3);
    if (!link->WritePELRAReg(RegGigeConfig, config, cards))
        return Fail(StepWriteGigeConfig, QString::number(format, 16));

    // 5. The module opens its science port; this write has no reply.
    QVector<quint32> block(ScienceBlockWords, 0);
    block[0] = (port >> 8) & 0xFF;
    block[1] = port & 0xFF;
    block[9] = 0x80;
    block[13] = FlagOpenPort;
    if (!link->WritePELRABlock(RegScienceBlock, ScienceBlockWords, block, cards))
        return Fail(StepOpenPort);

    // 6.-7. Give the module its 20 ms, then connect.
    QThread::msleep(HandshakeWaitMs);
    CloseSocket();
    const QHostAddress host = link->HostAddress();
    bool isIpv4 = false;
    const quint32 address = host.toIPv4Address(&isIpv4);
    QString why;
    if (!isIpv4 || !OpenScienceSocket(address, port, &why))
        return Fail(StepConnect, isIpv4 ? why : SocketErrorText(EADDRNOTAVAIL));
    int socketError = 0;
    socklen_t errorLength = sizeof socketError;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_ERROR, &socketError, &errorLength) != 0 || socketError != 0) {
        CloseSocket();
        return Fail(StepUnusable, SocketErrorText(socketError));
    }

    // 8.-9. The module must report this very connection as its peer.
    QThread::msleep(HandshakeWaitMs);
    sockaddr_in local{};
    socklen_t localLength = sizeof local;
    ::getsockname(socketFd, reinterpret_cast<sockaddr *>(&local), &localLength);
    const quint32 localAddress = ntohl(local.sin_addr.s_addr);
    const quint16 localPort = ntohs(local.sin_port);
    QVector<quint32> readBack;
    if (!link->ReadPELRABlock(RegScienceBlock, ScienceBlockWords, readBack, cards))
        return Fail(StepVerify);
    const bool samePeer = (readBack[13] & 0xF) == StateConnected && readBack[2] == ((localAddress >> 24) & 0xFF)
                          && readBack[3] == ((localAddress >> 16) & 0xFF) && readBack[4] == ((localAddress >> 8) & 0xFF)
                          && readBack[5] == (localAddress & 0xFF) && readBack[6] == quint32(localPort >> 8)
                          && readBack[7] == quint32(localPort & 0xFF);
    if (!samePeer) {
        link->WritePELRAReg(RegScienceFlag, 0, cards);
        CloseSocket();
        return Fail(StepPeer);
    }

    // 10.
    if (!link->WritePELRAReg(RegScienceFlag, FlagConnected, cards))
        return Fail(StepConnectedFlag);

    // 11. The buffer was asked for before connecting; report what was granted.
    bufferKB = grantedBuffer / 1000;
    if (grantedBuffer < ReceiveBufferBytes)
        return Fail(StepReceiveBuffer);

    // 12.
    if (framePixels != 0) {
        ringSize = RingSizeFor(framePixels);
        if (!frameRing.Allocate(ringSize, quint64(framePixels) * 2)) {
            ringSize = 0;
            return Fail(StepRing);
        }
        StartReceiver();
    }
    return true;
}

// Connects a blocking socket whose receive buffer is raised first. When the
// kernel caps SO_RCVBUF at net.core.rmem_max, the privileged SO_RCVBUFFORCE
// (root, also in a network namespace of its own) still gets the full size.
bool GigeFrameGrabber::OpenScienceSocket(quint32 address, quint16 port, QString *why)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = SocketErrorText(errno);
        return false;
    }
    int wanted = ReceiveBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    if (ReadBufferSize(fd) < ReceiveBufferBytes)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted);
    grantedBuffer = ReadBufferSize(fd);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    int error = 0;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd pfd{fd, POLLOUT, 0};
            int ready;
            do
                ready = ::poll(&pfd, 1, ConnectWaitMs);
            while (ready < 0 && errno == EINTR);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else {
                socklen_t length = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
        }
    }
    if (error != 0) {
        ::close(fd);
        *why = SocketErrorText(error);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    timeval slice{0, ReceiveSliceMs * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
    socketFd = fd;
    return true;
}

void GigeFrameGrabber::CloseSocket()
{
    if (socketFd >= 0) {
        ::close(socketFd);
        socketFd = -1;
    }
}

void GigeFrameGrabber::CloseScienceInterface(quint8 cards)
{
    if (cardLink)
        cardLink->WritePELRAReg(RegGigeConfig, 0, cards);
    StopReceiver();
    CloseSocket();
    if (cardLink)
        cardLink->WritePELRAReg(RegScienceFlag, 0, cards);
}

void GigeFrameGrabber::StartReceiver()
{
    stopReceiver.store(false);
    receiver = std::thread([this] { ReceiverLoop(); });
}

void GigeFrameGrabber::StopReceiver()
{
    if (!receiver.joinable())
        return;
    stopReceiver.store(true);
    if (socketFd >= 0)
        ::shutdown(socketFd, SHUT_RD);   // wakes a blocked recv at once
    frameRing.WakeProducer();
    receiver.join();
}

// Fills ring slots straight from the socket. A slot becomes a frame only when
// it is whole; what is short of a frame when the stream ends stays behind.
void GigeFrameGrabber::ReceiverLoop()
{
    const quint64 frameBytes = frameRing.FrameBytes();
    quint64 filled = 0;
    char *slot = nullptr;
    int endError = -1;
    while (!stopReceiver.load()) {
        if (!slot) {
            slot = frameRing.WaitWritable(stopReceiver);
            if (!slot)
                break;
        }
        const ssize_t n = ::recv(socketFd, slot + filled, size_t(frameBytes - filled), 0);
        if (n > 0) {
            filled += quint64(n);
            bytesReceived.fetch_add(quint64(n));
            if (logToFile)
                log.Line(SciLog::EpochMs() + QStringLiteral(": ReadyReadSlot:") + QString::number(n));
            if (filled == frameBytes) {
                frameRing.Publish();
                if (logToFile)
                    log.Line(SciLog::EpochMs() + QStringLiteral(": filling imgebuf"));
                slot = nullptr;
                filled = 0;
            } else {
                frameRing.SetPartialBytes(filled);
            }
            continue;
        }
        if (n == 0) {
            endError = 0;
            break;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        endError = errno;
        break;
    }
    if (endError >= 0 && !stopReceiver.load()) {
        receiverErrno.store(endError);
        streamEnded.store(true);
        QMetaObject::invokeMethod(this, "GigeImageError", Qt::QueuedConnection,
                                  Q_ARG(QAbstractSocket::SocketError, SocketErrorKind(endError)));
    }
}

qint64 GigeFrameGrabber::SocketBytesWaiting() const
{
    int waiting = 0;
    if (socketFd < 0 || ::ioctl(socketFd, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

int GigeFrameGrabber::AvailableFrames()
{
    const int count = frameRing.Available();
    if (logToFile) {
        if (count > 0)
            log.Line(SciLog::EpochMs() + QStringLiteral(": AvailableFrmes=%1 consumeIndex=%2 produceIndex=%3")
                                             .arg(count)
                                             .arg(ringSize ? frameRing.Consumed() % quint64(ringSize) : 0)
                                             .arg(ringSize ? frameRing.Produced() % quint64(ringSize) : 0));
        else
            log.Line(SciLog::EpochMs() + QStringLiteral(": AvailableFrames=0"));
        log.Flush();
    }
    return count;
}

quint16 *GigeFrameGrabber::GetNextFrameAsync()
{
    errorText.clear();
    const quint64 index = ringSize ? frameRing.Consumed() % quint64(ringSize) : 0;
    if (logToFile)
        log.Line(SciLog::EpochMs() + QStringLiteral(": acquring 1 frame "));
    const char *frame = frameRing.Take();
    if (logToFile)
        log.Line(SciLog::EpochMs() + (frame ? QStringLiteral(" valid: consume index=") : QStringLiteral(" invalid: consume index="))
                 + QString::number(index));
    return reinterpret_cast<quint16 *>(const_cast<char *>(frame));
}

bool GigeFrameGrabber::IsScienceDataAvailable(int ms)
{
    if (receiver.joinable())
        return frameRing.WaitForData(ms) || SocketBytesWaiting() > 0;
    if (socketFd < 0)
        return false;
    pollfd pfd{socketFd, POLLIN, 0};
    return ::poll(&pfd, 1, ms) > 0 && (pfd.revents & POLLIN);
}

qint64 GigeFrameGrabber::AvailableBytes()
{
    qint64 count = SocketBytesWaiting();
    if (framePixels != 0)
        count += qint64(frameRing.PartialBytes()) + qint64(frameRing.Available()) * qint64(framePixels) * 2;
    if (logToFile)
        log.Line(SciLog::EpochMs() + QStringLiteral(": AvailableBytes:") + QString::number(count));
    return count;
}

qint64 GigeFrameGrabber::GetGigeScienceDataSync(qint64 n, QByteArray &bytes)
{
    bytes.clear();
    const qint64 waiting = receiver.joinable() ? 0 : SocketBytesWaiting();
    const qint64 wanted = qMin(2 * qMax<qint64>(n, 0), waiting & ~qint64(1));
    bytes.resize(int(wanted));
    const qint64 got = wanted > 0 ? GetGigeScienceDataSync0(n, bytes.data()) : 0;
    bytes.resize(int(qMax<qint64>(got, 0)));
    return bytes.size();
}

qint64 GigeFrameGrabber::GetGigeScienceDataSync0(qint64 n, char *bytes)
{
    // With frame assembly the receiver thread owns the socket.
    const qint64 waiting = receiver.joinable() ? 0 : SocketBytesWaiting();
    const qint64 wanted = qMin(2 * qMax<qint64>(n, 0), waiting & ~qint64(1));
    qint64 got = 0;
    while (got < wanted) {
        const ssize_t r = ::recv(socketFd, bytes + got, size_t(wanted - got), MSG_DONTWAIT);
        if (r <= 0) {
            if (r < 0 && errno == EINTR)
                continue;
            break;
        }
        got += r;
    }
    if (logToFile)
        log.Line(SciLog::EpochMs() + QStringLiteral(": GetGigeScienceDataSync:%1 Readbak=%2").arg(waiting).arg(got));
    return got;
}

void GigeFrameGrabber::GigeImageError(QAbstractSocket::SocketError error)
{
    errorText.clear();
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        errorText = QStringLiteral("The host was not found. Please check the host name and port settings.");
        break;
    case QAbstractSocket::ConnectionRefusedError:
        errorText = QStringLiteral("Connection was refused by the peer. Make sure the server is running, and check "
                                   "that host name & port settings are correct.");
        break;
    case QAbstractSocket::RemoteHostClosedError:
        break;
    default:
        errorText = QStringLiteral("Others: ") + SocketErrorText(receiverErrno.load() > 0 ? receiverErrno.load() : EIO);
        break;
    }
    if (logToFile)
        log.Line(QDateTime::currentDateTime().toString(Qt::ISODate) + QStringLiteral(":  ") + errorText);
}
