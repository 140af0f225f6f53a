// The frames a simulated card sends on its science path, as pure maths that
// tests can use without a running simulator.
//
//   auto frames = makePatternFrames(64, 32, 1, 0);       // port-FIFO test pattern
//   const char *bytes = frames->frame(3, scratch);        // frame 3, frameBytes() long
//
// Test pattern: pixel i of frame f is (i + 256 f) AND 0xFFFF, 16-bit
// little-endian. With two ASIC FIFOs the two patterns are interleaved in
// blocks of `blockPixels`.
//
// Image frames (an exposure ramp): reset frames hold the bias only; read
// frames hold bias, dark current and a few point sources that grow with the
// read's time, plus read noise. Each ASIC image is sent
//   1. row by row in readout-channel order (`channels` channels interleaved
//      pixel by pixel after `headers` header pixels, the order the frame
//      writer sorts back), and
//   2. in guide-window mode with its guide blocks between the rows: `startRows`
//      rows, a block, then `rowsBetween` rows and a block until the rows run
//      out, the remaining rows and, with `atEnd`, one more block; a block is
//      `reads` reads of a width x height window;
//   3. followed by `extraPixels` pixels;
// and several ASICs are interleaved in blocks of `blockPixels`.
#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

namespace pelrasim {

struct GuideLayout {
    int width = 0;
    int height = 0;
    int reads = 0;
    int startRows = 0;
    int rowsBetween = 0;
    bool atEnd = false;

    bool on() const { return width > 0 && height > 0 && reads > 0 && rowsBetween > 0; }
    qint64 blockPixels() const { return qint64(width) * height * reads; }
    // Guide blocks in an image of `imageRows` rows (0 when off or not fitting).
    int windows(int imageRows) const;
    qint64 pixels(int imageRows) const { return blockPixels() * windows(imageRows); }
};

struct SceneLayout {
    int width = 2048;
    int height = 2048;
    int channels = 32;
    int headers = 0;
    int sortMode = 1;
    GuideLayout guide;
    int extraPixels = 0;

    // Pixels one ASIC contributes to a frame.
    qint64 asicPixels() const { return qint64(width) * height + guide.pixels(height) + extraPixels; }
};

// One exposure's frames in the order the card sends them.
struct RampPlan {
    int resets = 0;     // reset frames sent first
    int groups = 1;
    int reads = 1;
    int drops = 0;      // frames skipped between groups (time passes, nothing sent)

    int frameCount() const { return resets + groups * reads; }
    // Time of read frame k (0-based among the reads), in frame times.
    int readTime(int k) const { return (k / reads) * (reads + drops) + k % reads + 1; }
};

class FrameMaker
{
public:
    virtual ~FrameMaker() = default;
    virtual qint64 frameBytes() const = 0;
    virtual int frameCount() const = 0;
    // Bytes of frame `index`; may point into `scratch` or into prepared data.
    virtual const char *frame(int index, std::vector<char> &scratch) = 0;
};

std::shared_ptr<FrameMaker> makePatternFrames(int width, int height, int frames, int asicCount, int blockPixels);
std::shared_ptr<FrameMaker> makeRampFrames(const SceneLayout &layout, const RampPlan &plan, int asicCount,
                                           int blockPixels, quint32 seed);

// Pixel value of the scene of ASIC `asic` at (x, y) for a read at time t
// (t = 0: the reset frame's bias), without noise; for checks in tests.
quint16 sceneValue(const SceneLayout &layout, int asic, quint32 seed, int x, int y, int t);
// Largest read noise added to a pixel, in either direction.
constexpr int ReadNoiseMax = 6;

// Transmission index, within a row, of image column `column` (readout-channel
// order); the inverse of the frame writer's channel sort.
int channelOrderIndex(const SceneLayout &layout, int column);

}  // namespace pelrasim
