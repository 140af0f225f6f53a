#include "zest_internal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace zest {

namespace {

// Waits for `events` on fd until the deadline, polling at most one second at
// a time. Returns 1 when ready, 0 on time-out, -1 on error.
int WaitFor(int fd, short events, uint64_t deadlineMs)
{
    for (;;) {
        const uint64_t now = NowMs();
        if (now >= deadlineMs)
            return 0;
        const int step = int(std::min<uint64_t>(deadlineMs - now, 1000));
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, step);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (ready > 0)
            return 1;
    }
}

}  // namespace

uint64_t NowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int ConnectWithin(const sockaddr_in &address, uint64_t timeoutMs, ZestStatus *status)
{
    *status = ZestSocketError;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        *status = ZestOk;
        return fd;
    }
    if (errno == EINPROGRESS) {
        const int ready = WaitFor(fd, POLLOUT, NowMs() + timeoutMs);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0
                && error == 0) {
            *status = ZestOk;
            return fd;
        }
        if (ready == 0)
            *status = ZestTimeout;
    }
    close(fd);
    return -1;
}

ZestStatus SendAll(int fd, const void *data, size_t size, uint64_t timeoutMs)
{
    const uint64_t deadline = NowMs() + timeoutMs;
    const char *bytes = static_cast<const char *>(data);
    size_t sent = 0;
    while (sent < size) {
        const int ready = WaitFor(fd, POLLOUT, deadline);
        if (ready == 0)
            return ZestTimeout;
        if (ready < 0)
            return ZestSocketError;
        const ssize_t n = send(fd, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return errno == EPIPE || errno == ECONNRESET ? ZestConnectionClosed : ZestSocketError;
        }
        sent += size_t(n);
    }
    return ZestOk;
}

ZestStatus ReceiveExact(int fd, void *data, size_t size, uint64_t timeoutMs)
{
    const uint64_t deadline = NowMs() + timeoutMs;
    char *bytes = static_cast<char *>(data);
    size_t received = 0;
    while (received < size) {
        const int ready = WaitFor(fd, POLLIN, deadline);
        if (ready == 0)
            return ZestTimeout;
        if (ready < 0)
            return ZestSocketError;
        const ssize_t n = recv(fd, bytes + received, size - received, 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return errno == ECONNRESET ? ZestConnectionClosed : ZestSocketError;
        }
        if (n == 0)
            return received == 0 ? ZestConnectionClosed : ZestInternalError;
        received += size_t(n);
    }
    return ZestOk;
}

}  // namespace zest
