// SSDP search on one interface and the description exchange with each module
// that answers it.
//
// The location's host is resolved (it may be a name) and connected to as it
// stands; it is not compared with the address the answer came from. The
// control address and port are taken from the description, which is how the
// module reports where its settings are served.
#include "zest_internal.h"
#include "zest_parse.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zest {

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo *list) const { freeaddrinfo(list); }
};

// Connects to the first address of the location's host and port that accepts.
int ConnectToLocation(const Location &location, uint32_t waitMs)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(location.host.c_str(), location.port.c_str(), &hints, &found) != 0)
        return -1;
    std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in))
            continue;
        const sockaddr_in *target = reinterpret_cast<const sockaddr_in *>(entry->ai_addr);
        ZestStatus status = ZestOk;
        const int fd = ConnectWithin(*target, waitMs, &status);
        if (fd >= 0)
            return fd;
    }
    return -1;
}

// Reads until the module closes, the buffer is full or the wait has passed.
size_t ReadDescription(int fd, char *buffer, size_t capacity, uint32_t waitMs)
{
    const uint64_t deadline = NowMs() + waitMs;
    size_t received = 0;
    while (received < capacity) {
        const uint64_t now = NowMs();
        if (now >= deadline)
            break;
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, int(std::min<uint64_t>(deadline - now, 1000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = recv(fd, buffer + received, capacity - received, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            break;
        received += size_t(n);
    }
    return received;
}

// Fetches the description and takes the control address and port from it.
bool FetchControlAddress(const Location &location, uint32_t waitMs, uint8_t address[4], uint16_t *port)
{
    const int fd = ConnectToLocation(location, waitMs);
    if (fd < 0)
        return false;
    const std::string request = DescriptionRequest(location);
    if (SendAll(fd, request.data(), request.size(), waitMs) != ZestOk) {
        close(fd);
        return false;
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kDescriptionBufferSize]);
    if (!buffer) {
        close(fd);
        return false;
    }
    const size_t size = ReadDescription(fd, buffer.get(), kDescriptionBufferSize, waitMs);
    close(fd);

    const std::string_view answer(buffer.get(), size);
    std::string_view body;
    return IsHttpOk(answer) && HttpBody(answer, &body) && ParseControlUrl(body, address, port);
}

uint32_t AddressKey(const uint8_t address[4])
{
    uint32_t key = 0;
    std::memcpy(&key, address, 4);
    return key;
}

bool IsListed(const SearchState &state, uint32_t address, uint16_t port)
{
    return std::any_of(state.listed.begin(), state.listed.end(),
                       [&](const SearchState::Key &key) {
                           return key.address == address && key.port == port;
                       });
}

// The record for the next module: the slot after the listed ones, reused when
// the previous candidate was not counted.
ZestModuleInfo *NextRecord(SearchState *state)
{
    if (state->capacity == state->count) {
        void *grown = std::realloc(state->cards, (state->count + 1) * sizeof(ZestModuleInfo));
        if (!grown) {
            state->outOfMemory = true;
            return nullptr;
        }
        state->cards = static_cast<ZestModuleInfo *>(grown);
        state->capacity = state->count + 1;
    }
    ZestModuleInfo *record = &state->cards[state->count];
    std::memset(record, 0, sizeof *record);
    return record;
}

}  // namespace

void QueryModule(const std::string &location, SearchState *state)
{
    std::vector<std::string> &known = state->listedLocations;
    if (std::find(known.begin(), known.end(), location) != known.end())
        return;

    Location parsed;
    if (!ParseLocation(location, &parsed))
        return;
    uint8_t address[4];
    uint16_t descriptionPort = 0;
    if (!FetchControlAddress(parsed, state->waitMs, address, &descriptionPort))
        return;
    const uint32_t key = AddressKey(address);
    if (IsListed(*state, key, descriptionPort)) {
        known.push_back(location);
        return;
    }

    ZestModuleInfo *record = NextRecord(state);
    if (!record)
        return;
    std::memcpy(record->ipAddr, address, 4);
    record->controlPort = descriptionPort;
    record->timeoutMs = state->waitMs;
    uint8_t status = 0;
    if (ReadSettings(record, &status) != ZestOk)
        return;
    if (record->firmwareVersion >= kExtendedFirmware && status != 0)
        return;
    record->timeoutMs = kListedTimeoutMs;
    ++state->count;
    known.push_back(location);
    state->listed.push_back({key, descriptionPort});
    if (record->controlPort != descriptionPort)
        state->listed.push_back({key, record->controlPort});
}

void SearchInterface(const in_addr &interfaceAddress, SearchState *state)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = interfaceAddress;
    local.sin_port = 0;
    ip_mreq group{};
    inet_pton(AF_INET, kSsdpGroup, &group.imr_multiaddr);
    group.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
            || bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0
            || setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
        close(fd);
        return;
    }

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr = group.imr_multiaddr;
    target.sin_port = htons(kSsdpPort);
    const std::string request = SearchRequest(state->waitMs);
    bool sent = true;
    for (int i = 0; i < 3 && sent; ++i) {
        const ssize_t n = sendto(fd, request.data(), request.size(), 0,
                                 reinterpret_cast<const sockaddr *>(&target), sizeof target);
        sent = n == ssize_t(request.size());
    }

    // Only the time spent waiting for answers counts against the budget; the
    // exchanges with answering modules carry their own time-outs.
    uint64_t remaining = sent ? state->waitMs : 0;
    char datagram[kMaxSearchAnswer + 1];
    while (remaining > 0 && !state->outOfMemory) {
        const uint64_t before = NowMs();
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, int(std::min<uint64_t>(remaining, 1000)));
        const uint64_t spent = NowMs() - before;
        remaining = spent >= remaining ? 0 : remaining - spent;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            break;
        if (ready == 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC reports the full length of a datagram larger than the buffer.
        const ssize_t n = recvfrom(fd, datagram, sizeof datagram, MSG_TRUNC,
                                   reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (size_t(n) > kMaxSearchAnswer || from.sin_family != AF_INET)
            continue;
        std::string location;
        unsigned generations = NoGeneration;
        if (ParseSearchAnswer(std::string_view(datagram, size_t(n)), &location, &generations))
            QueryModule(location, state);
    }

    setsockopt(fd, IPPROTO_IP, IP_DROP_MEMBERSHIP, &group, sizeof group);
    close(fd);
}

}  // namespace zest
