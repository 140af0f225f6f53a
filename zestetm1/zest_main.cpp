#include "zest_internal.h"

#include <ifaddrs.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

ZestStatus ZestETM1Init()
{
    return ZestOk;
}

ZestStatus ZestETM1Close()
{
    return ZestOk;
}

ZestStatus ZestETM1CountCards(unsigned long *count, ZestModuleInfo **cards, uint32_t waitMs)
{
    static const char *const function = "ZestETM1CountCards";
    if (!count || !cards)
        return zest::ReportFailure(function, nullptr, ZestNullParameter);
    *count = 0;
    *cards = nullptr;

    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return zest::ReportFailure(function, nullptr, ZestInternalError);

    zest::SearchState state;
    state.waitMs = waitMs;
    try {
        std::vector<sockaddr> addresses;
        for (const ifaddrs *entry = interfaces; entry; entry = entry->ifa_next) {
            if (entry->ifa_addr)
                addresses.push_back(*entry->ifa_addr);
        }
        freeifaddrs(interfaces);
        interfaces = nullptr;

        for (const sockaddr &address : addresses) {
            if (address.sa_family != AF_INET)
                continue;
            sockaddr_in ipv4;
            static_assert(sizeof ipv4 <= sizeof address, "IPv4 address fits a sockaddr");
            std::memcpy(&ipv4, &address, sizeof ipv4);
            zest::SearchInterface(ipv4.sin_addr, &state);
            if (state.outOfMemory)
                break;
        }
    } catch (const std::bad_alloc &) {
        state.outOfMemory = true;
    }
    if (interfaces)
        freeifaddrs(interfaces);

    if (state.outOfMemory) {
        std::free(state.cards);
        return zest::ReportFailure(function, nullptr, ZestOutOfMemory);
    }
    // A search that listed nothing hands out no array, so callers that only
    // release a non-empty result leak nothing.
    if (state.count == 0) {
        std::free(state.cards);
        return ZestOk;
    }
    *count = state.count;
    *cards = state.cards;
    return ZestOk;
}

ZestStatus ZestETM1FreeCards(ZestModuleInfo *cards)
{
    std::free(cards);
    return ZestOk;
}
