// Framing between the USB bridge stand-in and the simulator's bridge socket.
//
// Every message on the Unix-domain stream socket is
//   byte 0      kind
//   bytes 1-4   payload length, little-endian
//   bytes 5...  payload
// Pipe data uses the pipe id as its kind (0x02 towards the card, 0x82 and
// 0x83 from it). The control kinds ask the simulated bridge for its state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace usbwire {

enum Kind : uint8_t {
    PipeOut = 0x02,
    PipeIn = 0x82,          // replies (and science in one-channel mode)
    PipeScience = 0x83,     // science in two-channel mode
    InfoRequest = 0x10,     // no payload
    InfoReply = 0x90,       // payload: InfoPayload
    SetChannels = 0x11,     // payload: one byte, the channel setting to store
    SetChannelsReply = 0x91, // payload: InfoPayload after the change
    // First and only message of a second connection that then carries one
    // channel's science bytes, unframed (payload: one byte, the channel index
    // 0 or 1). The bridge answers with one byte (1) once the stream goes
    // there, apart from the replies; only then may the card be triggered.
    ScienceAttach = 0x12
};

constexpr size_t HeaderSize = 5;
constexpr uint32_t MaxPayload = 64u << 20;

// Channel settings of the chip configuration record.
constexpr uint8_t ChannelsTwo = 1;
constexpr uint8_t ChannelsOne = 2;

// State of one bridge as seen by one connection.
struct InfoPayload {
    uint8_t usbMajor;         // 3, 2 or 1
    uint8_t activeChannels;   // setting in force for this connection
    uint8_t storedChannels;   // setting that the next connection gets
};
constexpr size_t InfoSize = 3;

inline void putHeader(uint8_t *out, uint8_t kind, uint32_t length)
{
    out[0] = kind;
    for (int i = 0; i < 4; ++i)
        out[1 + i] = uint8_t((length >> (8 * i)) & 0xFF);
}

inline uint32_t headerLength(const uint8_t *in)
{
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= uint32_t(in[1 + i]) << (8 * i);
    return length;
}

}  // namespace usbwire
