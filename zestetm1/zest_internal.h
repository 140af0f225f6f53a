// Pieces shared by the library's files: failure reporting, bounded socket
// waits, the per-module query and the settings exchange.
#pragma once

#include "zestetm1.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zest {

// Passes a failure to the registered handler, if any, and returns the status.
ZestStatus ReportFailure(const char *function, ZestModuleInfo *card, ZestStatus status);

// Milliseconds of a monotonic clock.
uint64_t NowMs();

// Connects a TCP socket to address:port, giving up after timeoutMs.
// Returns the descriptor or -1 with the failure in *status.
int ConnectWithin(const sockaddr_in &address, uint64_t timeoutMs, ZestStatus *status);

// Sends all bytes, waiting for the socket to become writable in steps of at
// most one second and for at most timeoutMs in total.
ZestStatus SendAll(int fd, const void *data, size_t size, uint64_t timeoutMs);

// Receives exactly size bytes within timeoutMs in total. A module that closes
// before the first byte gives ZestConnectionClosed, one that closes part way a
// short reply (ZestInternalError).
ZestStatus ReceiveExact(int fd, void *data, size_t size, uint64_t timeoutMs);

// State of one search: the growing record array and what has been seen.
struct SearchState {
    uint32_t waitMs = 0;
    ZestModuleInfo *cards = nullptr;
    unsigned long count = 0;
    unsigned long capacity = 0;         // records allocated, listed or not
    // Every (address, control port) pair a listed module is known by: the
    // port of its description and the one its settings reply gave.
    struct Key { uint32_t address; uint16_t port; };
    std::vector<Key> listed;
    // Locations whose module is listed, so that a module answering all three
    // searches (or every interface) is asked only once. A location whose
    // exchange failed is not kept: its module is asked again on its next answer.
    std::vector<std::string> listedLocations;
    bool outOfMemory = false;
};

// Runs the search on one IPv4 interface address.
void SearchInterface(const in_addr &interfaceAddress, SearchState *state);

// Description exchange and settings of the module at one search answer's location.
void QueryModule(const std::string &location, SearchState *state);

// Reads the settings (and, from firmware 300, the extended information) of
// the module at record->ipAddr and record->controlPort into the record.
ZestStatus ReadSettings(ZestModuleInfo *record, uint8_t *status);

}  // namespace zest
