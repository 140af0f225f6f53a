// Network-module discovery.
//
// Finds the cards' Gigabit Ethernet modules on every local IPv4 interface:
//   1. an SSDP search (UDP multicast to 239.255.255.250:1900), sent three times;
//   2. for every answer naming GigExpedite2 or GigExpedite3, an HTTP request for
//      the module's description, which names its control address and port;
//   3. a short TCP exchange with the control port that reads the settings (and,
//      from firmware version 300, the extended information).
// The result is one array of records, released only with ZestETM1FreeCards.
#pragma once

#include <cstdint>

typedef uint32_t ZestStatus;

enum : ZestStatus {
    ZestOk = 0,
    ZestSocketError = 0x8000,
    ZestInternalError = 0x8001,
    ZestStatusOutOfRange = 0x8002,
    ZestNullParameter = 0x8003,
    ZestOutOfMemory = 0x8004,
    ZestBadConnectionType = 0x8005,
    ZestBadConnection = 0x8006,
    ZestConnectionClosed = 0x8007,
    ZestTimeout = 0x8008,
    ZestBadParameter = 0x8009,
    ZestNotSupported = 0x800A
};

// One discovered module.
struct ZestModuleInfo {
    uint8_t ipAddr[4];            // first byte first
    uint16_t controlPort;
    uint64_t timeoutMs;
    uint16_t settingsWord24;      // settings reply bytes 24-25
    uint8_t settingsBytes28[6];   // settings reply bytes 28-33
    uint8_t settingsBytes20[4];   // settings reply bytes 20-23
    uint8_t settingsBytes16[4];   // settings reply bytes 16-19
    uint64_t settingsLong8;       // settings reply bytes 8-11
    uint64_t firmwareVersion;     // settings reply bytes 4-5
    uint64_t settingsWord6;       // settings reply bytes 6-7
    uint8_t extendedInfo[16];     // extended reply bytes 4-19; zero below firmware 300
};

// Called with every failure the library reports: function name, the module
// concerned (or null), the status and its text.
typedef void (*ZestErrorHandler)(const char *function, ZestModuleInfo *card,
                                    ZestStatus status, const char *message);

ZestStatus ZestETM1Init();
ZestStatus ZestETM1Close();
ZestStatus ZestETM1CountCards(unsigned long *count, ZestModuleInfo **cards,
                                   uint32_t waitMs);
ZestStatus ZestETM1FreeCards(ZestModuleInfo *cards);
ZestStatus ZestETM1GetErrorMessage(ZestStatus status, const char **message);
ZestStatus ZestETM1RegisterErrorHandler(ZestErrorHandler handler);
