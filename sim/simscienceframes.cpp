#include "simscienceframes.h"

#include <algorithm>
#include <cstring>

namespace pelrasim {

namespace {

constexpr int Bias = 1000;
constexpr int DarkPerRead = 3;
constexpr int SourcesPerAsic = 5;

quint32 mix(quint32 x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

struct Source {
    int x;
    int y;
    int rate;   // counts per read at the centre
};

std::vector<Source> sourcesOf(const SceneLayout &layout, int asic, quint32 seed)
{
    std::vector<Source> sources;
    for (int s = 0; s < SourcesPerAsic; ++s) {
        const quint32 h = mix(seed * 977u + quint32(asic) * 131u + quint32(s));
        sources.push_back({int(h % quint32(std::max(layout.width, 1))), int((h >> 12) % quint32(std::max(layout.height, 1))),
                           100 + int((h >> 24) % 400)});
    }
    return sources;
}

int biasAt(int x, int y)
{
    return Bias + ((x * 7 + y * 13) & 63);
}

// Frames of several ASICs, each a sequence of `perAsic` pixels, interleaved in
// blocks of `block` pixels (a block of 0 or one ASIC: one after the other).
void interleave(const std::vector<const quint16 *> &asics, qint64 perAsic, qint64 block, char *out)
{
    if (asics.size() == 1 || block <= 0) {
        for (size_t k = 0; k < asics.size(); ++k)
            std::memcpy(out + 2 * perAsic * qint64(k), asics[k], size_t(perAsic) * 2);
        return;
    }
    qint64 pos = 0;
    for (qint64 start = 0; start < perAsic; start += block) {
        const qint64 n = std::min(block, perAsic - start);
        for (const quint16 *a : asics) {
            std::memcpy(out + 2 * pos, a + start, size_t(n) * 2);
            pos += n;
        }
    }
}

class PatternFrames : public FrameMaker
{
public:
    PatternFrames(qint64 pixels, int frames, int asics, int block)
        : pixels(pixels), frames(frames), asics(asics), block(block)
    {
        // One period of the pattern more than a frame: frame f starts 256 f
        // pixels into it.
        periodic.resize(size_t(pixels + 65536));
        for (size_t i = 0; i < periodic.size(); ++i)
            periodic[i] = quint16(i & 0xFFFF);
    }

    qint64 frameBytes() const override { return pixels * 2 * asics; }
    int frameCount() const override { return frames; }

    const char *frame(int index, std::vector<char> &scratch) override
    {
        const quint16 *start = periodic.data() + (qint64(index) * 256) % 65536;
        if (asics == 1)
            return reinterpret_cast<const char *>(start);   // the host is little-endian, as the wire
        scratch.resize(size_t(frameBytes()));
        interleave(std::vector<const quint16 *>(size_t(asics), start), pixels, block, scratch.data());
        return scratch.data();
    }

private:
    qint64 pixels;
    int frames;
    int asics;
    int block;
    std::vector<quint16> periodic;
};

class RampFrames : public FrameMaker
{
public:
    RampFrames(const SceneLayout &layout, const RampPlan &plan, int asics, int block, quint32 seed)
        : layout(layout), plan(plan), asics(asics), block(block), seed(seed)
    {
        const qint64 n = qint64(layout.width) * layout.height;
        for (int a = 0; a < asics; ++a) {
            std::vector<quint16> b(static_cast<size_t>(n)), r(static_cast<size_t>(n));
            for (int y = 0; y < layout.height; ++y)
                for (int x = 0; x < layout.width; ++x) {
                    b[size_t(qint64(y) * layout.width + x)] = quint16(biasAt(x, y));
                    r[size_t(qint64(y) * layout.width + x)] = quint16(DarkPerRead);
                }
            for (const Source &s : sourcesOf(layout, a, seed))
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int x = s.x + dx, y = s.y + dy;
                        if (x < 0 || y < 0 || x >= layout.width || y >= layout.height)
                            continue;
                        r[size_t(qint64(y) * layout.width + x)] += quint16(dx == 0 && dy == 0 ? s.rate : s.rate / 4);
                    }
            bias.push_back(std::move(b));
            rate.push_back(std::move(r));
        }
        order.resize(size_t(std::max(layout.width, 0)));
        for (int c = 0; c < layout.width; ++c)
            order[size_t(channelOrderIndex(layout, c))] = c;
        for (quint32 i = 0; i < noise.size(); ++i)
            noise[i] = qint8(int(mix(seed ^ (i * 2654435761u)) % (2 * ReadNoiseMax + 1)) - ReadNoiseMax);
        sequences.resize(size_t(asics));
    }

    qint64 frameBytes() const override { return layout.asicPixels() * 2 * asics; }
    int frameCount() const override { return plan.frameCount(); }

    const char *frame(int index, std::vector<char> &scratch) override
    {
        const int t = index < plan.resets ? 0 : plan.readTime(index - plan.resets);
        std::vector<const quint16 *> parts;
        for (int a = 0; a < asics; ++a) {
            buildSequence(a, t, index, sequences[size_t(a)]);
            parts.push_back(sequences[size_t(a)].data());
        }
        scratch.resize(size_t(frameBytes()));
        interleave(parts, layout.asicPixels(), block, scratch.data());
        return scratch.data();
    }

private:
    // One ASIC's pixels in transmission order.
    void buildSequence(int a, int t, int frameIndex, std::vector<quint16> &out)
    {
        const int w = layout.width, h = layout.height;
        out.resize(size_t(layout.asicPixels()));
        const quint16 *b = bias[size_t(a)].data();
        const quint16 *r = rate[size_t(a)].data();
        const quint32 salt = mix(quint32(frameIndex) * 40503u + quint32(a) + seed);
        qint64 pos = 0;
        auto emitRow = [&](int y) {
            const qint64 base = qint64(y) * w;
            for (int k = 0; k < w; ++k) {
                const qint64 p = base + order[size_t(k)];
                const int v = int(b[p]) + int(r[p]) * t + noise[(quint32(p) * 2654435761u + salt) & 0xFFFF];
                out[size_t(pos++)] = quint16(std::clamp(v, 0, 65535));
            }
        };
        auto emitGuide = [&]() {
            const GuideLayout &g = layout.guide;
            const int x0 = std::max(0, (w - g.width) / 2), y0 = std::max(0, (h - g.height) / 2);
            for (int read = 0; read < g.reads; ++read)
                for (int y = 0; y < g.height; ++y)
                    for (int x = 0; x < g.width; ++x) {
                        const qint64 p = qint64(std::min(y0 + y, h - 1)) * w + std::min(x0 + x, w - 1);
                        out[size_t(pos++)] = quint16(std::min(65535, int(b[p]) + int(r[p]) * t + read));
                    }
        };
        int row = 0;
        const int windows = layout.guide.windows(h);
        if (windows > 0) {
            const int before = windows - (layout.guide.atEnd ? 1 : 0);
            for (int k = 0; k < before; ++k) {
                const int rows = k == 0 ? layout.guide.startRows : layout.guide.rowsBetween;
                for (int i = 0; i < rows && row < h; ++i)
                    emitRow(row++);
                emitGuide();
            }
        }
        while (row < h)
            emitRow(row++);
        if (windows > 0 && layout.guide.atEnd)
            emitGuide();
        for (int e = 0; e < layout.extraPixels; ++e)
            out[size_t(pos++)] = quint16(e & 0xFFFF);
    }

    SceneLayout layout;
    RampPlan plan;
    int asics;
    int block;
    quint32 seed;
    std::vector<std::vector<quint16>> bias;
    std::vector<std::vector<quint16>> rate;
    std::vector<int> order;
    std::vector<qint8> noise = std::vector<qint8>(65536);
    std::vector<std::vector<quint16>> sequences;
};

}  // namespace

int GuideLayout::windows(int imageRows) const
{
    if (!on() || startRows >= imageRows)
        return 0;
    return (imageRows - startRows - 1) / rowsBetween + 1 + (atEnd ? 1 : 0);
}

int channelOrderIndex(const SceneLayout &layout, int column)
{
    const int c = layout.channels;
    if (c <= 0 || layout.headers >= layout.width)
        return column;
    const int n = (layout.width - layout.headers) / c;
    if (column < layout.headers || column >= layout.headers + n * c)
        return column;
    const int j = (column - layout.headers) / n;
    const int d = (column - layout.headers) % n;
    // The writer's second sort mode reverses the odd pixels of a channel; with
    // an odd channel length that is no permutation, so the plain order is sent.
    const int i = (layout.sortMode != 1 && n % 2 == 0 && d % 2 == 1) ? n - d : d;
    return layout.headers + i * c + j;
}

quint16 sceneValue(const SceneLayout &layout, int asic, quint32 seed, int x, int y, int t)
{
    int rate = DarkPerRead;
    for (const Source &s : sourcesOf(layout, asic, seed))
        if (std::abs(s.x - x) <= 1 && std::abs(s.y - y) <= 1)
            rate += (s.x == x && s.y == y) ? s.rate : s.rate / 4;
    return quint16(std::min(65535, biasAt(x, y) + rate * t));
}

std::shared_ptr<FrameMaker> makePatternFrames(int width, int height, int frames, int asicCount, int blockPixels)
{
    return std::make_shared<PatternFrames>(qint64(width) * height, frames, std::max(asicCount, 1), blockPixels);
}

std::shared_ptr<FrameMaker> makeRampFrames(const SceneLayout &layout, const RampPlan &plan, int asicCount,
                                           int blockPixels, quint32 seed)
{
    return std::make_shared<RampFrames>(layout, plan, std::max(asicCount, 1), blockPixels, seed);
}

}  // namespace pelrasim
