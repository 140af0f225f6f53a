// Science frames as an ASIC sends them and as PAC saves them.
//
// In guide window mode one frame carries, in this order: startRows full image
// rows, a guide block, then again and again rowsBetween full rows and a guide
// block until the image rows run out, the remaining image rows and, with
// endWindow, one more guide block. A guide block is `reads` reads of a
// windowWidth × windowHeight window. Each image row may also hold its pixels
// in readout-channel order: `headers` header pixels, then the channels
// interleaved pixel by pixel; sorting puts each channel's pixels together.
//
// Everything here works on the ranges it is given: settings that do not fit
// the image and frames shorter than their layout only produce a failure and
// its message, never an access outside those ranges.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Frames {

struct GuideLayout {
    uint32_t windowWidth = 0;
    uint32_t windowHeight = 0;
    uint64_t reads = 0;          // reads of each window
    uint32_t startRows = 0;      // full rows before the first window
    uint32_t rowsBetween = 0;    // full rows between two windows
    bool endWindow = false;      // one more window after the image
};

struct GuideCheck {
    bool ok = false;
    uint32_t windows = 0;        // guide blocks in one frame
    uint32_t guidePixels = 0;    // guide pixels in one frame
    std::string message;         // why the layout was refused
};

// Checks a guide layout against the image size and counts its guide pixels.
GuideCheck CheckGuideLayout(const GuideLayout &layout, uint32_t imageWidth, uint32_t imageHeight);

struct GuideSplit {
    bool ok = false;
    std::string message;              // why the frame did not match the layout
    std::vector<uint16_t> image;      // width × height pixels
    std::vector<uint16_t> guide;      // guidePixels pixels, blocks in frame order
};

// Separates a frame into its image and its guide blocks. guidePixels is the
// count CheckGuideLayout gave for the layout; with 0 the image is the frame's
// first width × height pixels. The window after the image is
// taken only with collectEndWindow (it is needed only for the guide cube).
// On failure the buffers hold what could be taken, the rest 0.
GuideSplit SplitGuideFrame(const uint16_t *frame, size_t frameLength, uint32_t width, uint32_t height,
                           const GuideLayout &layout, uint32_t guidePixels, bool collectEndWindow);

// Axes of the guide cube: window width, window height, one plane per window read.
std::array<long, 3> GuideCubeAxes(const GuideLayout &layout, uint32_t guidePixels);

struct SortSettings {
    uint8_t mode = 0;        // 0 no sorting, 1 every channel forwards, other: odd pixels backwards
    uint8_t channels = 32;
    uint8_t headers = 0;     // header pixels at the start of each row
};

// Empty when rows of this width can be sorted with these settings, else the message.
std::string CheckSortSettings(const SortSettings &settings, uint32_t width);

// Sorts the first width × height pixels, row by row, from readout-channel order
// into image order; with mode 0 nothing changes. Settings that CheckSortSettings
// refuses, or fewer than width × height pixels, leave the pixels untouched and
// return false with the message.
bool SortChannels(uint16_t *pixels, size_t length, uint32_t width, uint32_t height,
                  const SortSettings &settings, std::string *message);

}  // namespace Frames
