#include "zest_internal.h"
#include "zest_parse.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstring>

namespace zest {

namespace {

// One request/reply step of the control exchange.
ZestStatus Exchange(int fd, uint8_t command, uint8_t *reply, size_t replySize, uint64_t timeoutMs)
{
    const uint8_t request[kSettingsRequestSize] = {command, 0, 0, 0};
    const ZestStatus sent = SendAll(fd, request, sizeof request, timeoutMs);
    if (sent != ZestOk)
        return sent;
    return ReceiveExact(fd, reply, replySize, timeoutMs);
}

}  // namespace

ZestStatus ReadSettings(ZestModuleInfo *record, uint8_t *status)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_addr, record->ipAddr, 4);
    address.sin_port = htons(record->controlPort);

    ZestStatus result = ZestOk;
    const int fd = ConnectWithin(address, record->timeoutMs, &result);
    if (fd < 0)
        return ZestSocketError;

    uint8_t settings[kSettingsReplySize];
    result = Exchange(fd, kSettingsCommand, settings, sizeof settings, record->timeoutMs);
    if (result == ZestOk && !DecodeSettings(settings, sizeof settings, record, status))
        result = ZestInternalError;
    if (result == ZestOk && record->firmwareVersion >= kExtendedFirmware) {
        uint8_t extended[kExtendedReplySize];
        result = Exchange(fd, kExtendedCommand, extended, sizeof extended, record->timeoutMs);
        if (result == ZestOk && !DecodeExtended(extended, sizeof extended, record))
            result = ZestInternalError;
    }
    close(fd);
    return result;
}

}  // namespace zest
