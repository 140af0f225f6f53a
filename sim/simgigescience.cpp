#include "simgigescience.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>


namespace pelrasim {

namespace {

constexpr quint16 FlagOpen = 0x1;
constexpr quint16 FlagConnected = 0x3;
// Large enough that a flat-out sender rarely waits on the kernel.
constexpr int SendBufferBytes = 8 << 20;

QString dotted(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4").arg(address >> 24).arg((address >> 16) & 0xFF).arg((address >> 8) & 0xFF).arg(address & 0xFF);
}

}  // namespace

GigeSciencePort::GigeSciencePort(quint32 moduleAddress)
    : address(moduleAddress), frames(QStringLiteral("gige ") + dotted(moduleAddress))
{
}

GigeSciencePort::~GigeSciencePort()
{
    closeListener();
}

void GigeSciencePort::closeListener()
{
    if (listenFd >= 0)
        ::close(listenFd);
    listenFd = -1;
    listenPort = 0;
}

void GigeSciencePort::flagWritten(quint16 value, quint16 port)
{
    switch (value & 0xF) {
    case FlagOpen: {
        // A new request: whatever was open goes.
        frames.setReady(false);
        frames.cancelAll();
        frames.setSink(-1);
        connected = false;
        if (listenFd >= 0 && listenPort == port)
            return;
        closeListener();
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(address);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 || ::listen(fd, 4) != 0) {
            ::close(fd);
            return;
        }
        listenFd = fd;
        listenPort = port;
        return;
    }
    case FlagConnected:
        frames.setReady(connected);
        return;
    default:
        frames.setReady(false);
        frames.cancelAll();
        frames.setSink(-1);
        connected = false;
        closeListener();
        return;
    }
}

bool GigeSciencePort::settle(quint16 words[6])
{
    if (!connected && listenFd >= 0) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr *>(&from), &length, SOCK_CLOEXEC);
        if (fd >= 0) {
            const int buffer = SendBufferBytes;
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
            const quint32 a = ntohl(from.sin_addr.s_addr);
            quint16 p = ntohs(from.sin_port);
            if (otherPeer)
                p = quint16(p + 1);
            const quint16 w[6] = {quint16(a >> 24), quint16((a >> 16) & 0xFF), quint16((a >> 8) & 0xFF),
                                  quint16(a & 0xFF), quint16(p >> 8), quint16(p & 0xFF)};
            std::copy(w, w + 6, peer);
            connected = true;
            ++accepted;
            frames.setSink(fd);
            closeListener();
        }
    }
    if (connected)
        std::copy(peer, peer + 6, words);
    return connected;
}

}  // namespace pelrasim
