// Whether this host lets a test have the GigE science receive buffer that the
// sample groups and the card protocol ask for.
#pragma once

#include <QFile>

#include <sys/socket.h>
#include <unistd.h>

// GigE science asks the kernel for a receive buffer as large as the group's
// (128 MiB in the sample groups). Root may force it; anyone else gets at most
// net.core.rmem_max, and the set-up then fails as it should on such a host.
inline bool LargeReceiveBufferGranted()
{
    // Forcing needs the host's network privilege, which root inside a user
    // namespace lacks, so try it rather than look at the user id.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    const int size = 134217728;
    const bool forced = probe >= 0 && ::setsockopt(probe, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) == 0;
    if (probe >= 0)
        ::close(probe);
    if (forced)
        return true;
    QFile limit(QStringLiteral("/proc/sys/net/core/rmem_max"));
    return limit.open(QIODevice::ReadOnly) && limit.readAll().trimmed().toLongLong() >= 134217728;
}
#define SKIP_UNLESS_GIGE_BUFFER_GRANTED()                                                              \
    do {                                                                                               \
        if (!LargeReceiveBufferGranted())                                                              \
            QSKIP("GigE science needs root or net.core.rmem_max of at least 128 MiB");                 \
    } while (false)
