// Pure builders and checkers of the discovery wire formats. No sockets here:
// everything works on bounded byte ranges so that malformed input can only
// make a check fail, never read past the data it was given.
#pragma once

#include "zestetm1.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zest {

constexpr const char *kSsdpGroup = "239.255.255.250";
constexpr uint16_t kSsdpPort = 1900;
constexpr size_t kMaxSearchAnswer = 1024;
constexpr size_t kDescriptionBufferSize = 64 * 1024;
constexpr size_t kSettingsRequestSize = 4;
constexpr size_t kSettingsReplySize = 36;
constexpr size_t kExtendedReplySize = 20;
constexpr uint8_t kSettingsCommand = 0xF0;
constexpr uint8_t kExtendedCommand = 0xEA;
constexpr uint64_t kExtendedFirmware = 300;     // first version with status byte and extended info
constexpr uint64_t kListedTimeoutMs = 10000;

// MX field of the search: the wait in whole seconds, rounded up.
uint32_t SearchMx(uint32_t waitMs);
std::string SearchRequest(uint32_t waitMs);

// Which module generations a search answer names.
enum Generation : unsigned { NoGeneration = 0, Generation2 = 1, Generation3 = 2 };

// Accepts a search answer and returns its location (the LOCATION line's value,
// cut at the end of the line) and the generations it names. Rejects answers
// over 1024 bytes, of another kind, without a generation, or without LOCATION.
bool ParseSearchAnswer(std::string_view answer, std::string *location, unsigned *generations);

struct Location {
    std::string host;
    std::string port;
    std::string path;   // without the leading '/'
};

// "http://host[:port]/path"; the port defaults to "80". Host and port must be
// non-empty, the port decimal and within 1..65535.
bool ParseLocation(std::string_view text, Location *location);

std::string DescriptionRequest(const Location &location);

// True when the answer begins with "HTTP/1.1 200 OK", letter case ignored.
bool IsHttpOk(std::string_view answer);

// The text after the first blank line ("\r\n\r\n" or "\n\n"); false without one.
bool HttpBody(std::string_view answer, std::string_view *body);

// "<controlURL>a.b.c.d:port" in the body: four numbers 0..255 and a port 1..65535.
bool ParseControlUrl(std::string_view body, uint8_t address[4], uint16_t *port);

// Fills the settings fields of a record from the 36-byte settings reply and
// returns its status byte (byte 2). False when the reply has another size.
bool DecodeSettings(const uint8_t *reply, size_t size, ZestModuleInfo *record, uint8_t *status);

// Stores bytes 4-19 of the 20-byte extended reply. False for another size.
bool DecodeExtended(const uint8_t *reply, size_t size, ZestModuleInfo *record);

}  // namespace zest
