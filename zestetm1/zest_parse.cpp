#include "zest_parse.h"

#include <cstdio>
#include <cstring>

namespace zest {

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i]))
            return false;
    }
    return true;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a decimal number of at most maxDigits digits at text[*pos] whose value
// does not exceed maxValue; advances *pos past it.
bool ReadNumber(std::string_view text, size_t *pos, size_t maxDigits, uint32_t maxValue,
                uint32_t *value)
{
    size_t i = *pos;
    uint32_t v = 0;
    while (i < text.size() && IsDigit(text[i]) && i - *pos < maxDigits) {
        v = v * 10 + uint32_t(text[i] - '0');
        ++i;
    }
    if (i == *pos || v > maxValue)
        return false;
    if (i < text.size() && IsDigit(text[i]))
        return false;   // more digits than any valid value has
    *pos = i;
    *value = v;
    return true;
}

bool IsValidPort(std::string_view port)
{
    size_t pos = 0;
    uint32_t value = 0;
    return ReadNumber(port, &pos, 5, 65535, &value) && pos == port.size() && value != 0;
}

uint32_t BigEndian(const uint8_t *bytes, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

uint32_t SearchMx(uint32_t waitMs)
{
    return uint32_t((uint64_t(waitMs) + 999) / 1000);
}

std::string SearchRequest(uint32_t waitMs)
{
    char text[192];
    std::snprintf(text, sizeof text,
                  "M-SEARCH * HTTP/1.1\r\nST: upnp:rootdevice\r\nMX: %u\r\n"
                  "MAN: \"ssdp:discover\"\r\nHOST: 239.255.255.250:1900\r\n",
                  unsigned(SearchMx(waitMs)));
    return text;
}

bool ParseSearchAnswer(std::string_view answer, std::string *location, unsigned *generations)
{
    if (answer.size() > kMaxSearchAnswer)
        return false;
    if (!StartsWithNoCase(answer, "NOTIFY") && !StartsWithNoCase(answer, "HTTP/1.1 200 OK"))
        return false;
    unsigned found = NoGeneration;
    if (answer.find("GigExpedite2") != std::string_view::npos)
        found |= Generation2;
    if (answer.find("GigExpedite3") != std::string_view::npos)
        found |= Generation3;
    if (found == NoGeneration)
        return false;
    const size_t tag = answer.find("LOCATION");
    if (tag == std::string_view::npos)
        return false;
    // The value starts after "LOCATION: "; an answer that ends before that
    // point carries no location at all.
    const size_t start = tag + 10;
    if (start > answer.size())
        return false;
    std::string_view value = answer.substr(start);
    value = value.substr(0, value.find_first_of("\r\n"));
    if (value.empty())
        return false;
    *location = std::string(value);
    *generations = found;
    return true;
}

bool ParseLocation(std::string_view text, Location *location)
{
    const std::string_view scheme = "http://";
    if (text.substr(0, scheme.size()) != scheme)
        return false;
    text.remove_prefix(scheme.size());
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return false;
    std::string_view authority = text.substr(0, slash);
    std::string_view port = "80";
    const size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        port = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
    }
    if (authority.empty() || !IsValidPort(port))
        return false;
    location->host = std::string(authority);
    location->port = std::string(port);
    location->path = std::string(text.substr(slash + 1));
    return true;
}

std::string DescriptionRequest(const Location &location)
{
    return "GET /" + location.path + " HTTP/1.1\r\nHOST: " + location.host + ":" + location.port
            + "\r\nContent-length: 0\r\n\r\n";
}

bool IsHttpOk(std::string_view answer)
{
    return StartsWithNoCase(answer, "HTTP/1.1 200 OK");
}

bool HttpBody(std::string_view answer, std::string_view *body)
{
    const size_t crlf = answer.find("\r\n\r\n");
    const size_t lf = answer.find("\n\n");
    if (crlf == std::string_view::npos && lf == std::string_view::npos)
        return false;
    if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf))
        *body = answer.substr(crlf + 4);
    else
        *body = answer.substr(lf + 2);
    return true;
}

bool ParseControlUrl(std::string_view body, uint8_t address[4], uint16_t *port)
{
    const std::string_view tag = "<controlURL>";
    const size_t at = body.find(tag);
    if (at == std::string_view::npos)
        return false;
    const std::string_view text = body.substr(at + tag.size());
    size_t pos = 0;
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        uint32_t value = 0;
        if (!ReadNumber(text, &pos, 3, 255, &value))
            return false;
        bytes[i] = uint8_t(value);
        const char separator = i < 3 ? '.' : ':';
        if (pos >= text.size() || text[pos] != separator)
            return false;
        ++pos;
    }
    uint32_t portValue = 0;
    if (!ReadNumber(text, &pos, 5, 65535, &portValue) || portValue == 0)
        return false;
    std::memcpy(address, bytes, 4);
    *port = uint16_t(portValue);
    return true;
}

bool DecodeSettings(const uint8_t *reply, size_t size, ZestModuleInfo *record, uint8_t *status)
{
    if (size != kSettingsReplySize)
        return false;
    *status = reply[2];
    record->firmwareVersion = BigEndian(reply + 4, 2);
    record->settingsWord6 = BigEndian(reply + 6, 2);
    record->settingsLong8 = BigEndian(reply + 8, 4);
    std::memcpy(record->settingsBytes16, reply + 16, 4);
    std::memcpy(record->settingsBytes20, reply + 20, 4);
    record->settingsWord24 = uint16_t(BigEndian(reply + 24, 2));
    record->controlPort = uint16_t(BigEndian(reply + 26, 2));
    std::memcpy(record->settingsBytes28, reply + 28, 6);
    return true;
}

bool DecodeExtended(const uint8_t *reply, size_t size, ZestModuleInfo *record)
{
    if (size != kExtendedReplySize)
        return false;
    std::memcpy(record->extendedInfo, reply + 4, 16);
    return true;
}

}  // namespace zest
