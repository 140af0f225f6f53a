#include "framelayout.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <new>

namespace Frames {

namespace {

struct GuideRule {
    bool (*refuses)(const GuideLayout &layout, uint32_t imageWidth, uint32_t imageHeight);
    const char *message;
};

// In the order the operator is told about them; the first that applies wins.
const GuideRule GuideRules[] = {
    {[](const GuideLayout &g, uint32_t width, uint32_t) { return g.windowWidth > width; },
     "Invalid guide window width. Should be <= image width"},
    {[](const GuideLayout &g, uint32_t, uint32_t height) { return g.windowHeight > height; },
     "Invalid guide window height. Should be <= image height"},
    {[](const GuideLayout &g, uint32_t, uint32_t) { return g.reads > 65535; },
     "Invalid number of guide windows. Should be <= 65535"},
    {[](const GuideLayout &g, uint32_t, uint32_t height) { return g.startRows >= height; },
     "Invalid number of FF rows before the first guide window. Should be <= image height"},
    {[](const GuideLayout &g, uint32_t, uint32_t) { return g.rowsBetween == 0; },
     "Invalid number of FF rows between guide windows. Should be > 0"},
};

const char *const TooManyGuidePixels =
        "Invalid guide window configuration. Guide pixels per frame should be <= 4294967295";

const char *const ShortFrame =
        "Saving guide windows to .fits file failed: unexpected number of ff rows after the last window";
const char *const LayoutMismatch =
        "Saving guide windows to .fits file failed: guide window layout does not match the image size";
const char *const NoMemory = "Saving guide windows to .fits file failed: not enough memory for the frame";

const char *const NoSortChannels = "Invalid number of sort channels. Should be > 0";
const char *const HeadersTooWide = "Invalid number of science header pixels. Should be <= image width";
const char *const TooManySortChannels =
        "Invalid number of sort channels. Should be <= image width less the science header pixels";
const char *const ShortSortFrame = "Sorting pixels failed: the frame holds fewer pixels than the image";

// Product of the factors, or false when it does not fit in 64 bits.
bool Multiply(std::initializer_list<uint64_t> factors, uint64_t *product)
{
    uint64_t result = 1;
    for (const uint64_t factor : factors) {
        if (__builtin_mul_overflow(result, factor, &result))
            return false;
    }
    *product = result;
    return true;
}

}  // namespace

GuideCheck CheckGuideLayout(const GuideLayout &layout, uint32_t imageWidth, uint32_t imageHeight)
{
    GuideCheck check;
    for (const GuideRule &rule : GuideRules) {
        if (rule.refuses(layout, imageWidth, imageHeight)) {
            check.message = rule.message;
            return check;
        }
    }
    const uint64_t windows = (uint64_t(imageHeight) - layout.startRows - 1) / layout.rowsBetween + 1
            + (layout.endWindow ? 1 : 0);
    uint64_t pixels = 0;
    if (!Multiply({layout.windowWidth, layout.windowHeight, layout.reads, windows}, &pixels)
        || pixels > std::numeric_limits<uint32_t>::max()) {
        check.message = TooManyGuidePixels;
        return check;
    }
    check.ok = true;
    check.windows = uint32_t(windows);
    check.guidePixels = uint32_t(pixels);
    return check;
}

GuideSplit SplitGuideFrame(const uint16_t *frame, size_t frameLength, uint32_t width, uint32_t height,
                           const GuideLayout &layout, uint32_t guidePixels, bool collectEndWindow)
{
    GuideSplit split;
    const uint64_t imagePixels = uint64_t(width) * height;
    try {
        split.image.assign(imagePixels, 0);
        split.guide.assign(guidePixels, 0);
    } catch (const std::bad_alloc &) {
        split.image.clear();
        split.guide.clear();
        split.message = NoMemory;
        return split;
    }

    // Without guide pixels (an empty window) the frame is the image alone.
    uint64_t block = 0;
    uint64_t blocksInImage = 0;
    if (guidePixels != 0) {
        if (!Multiply({layout.windowWidth, layout.windowHeight, layout.reads}, &block) || block == 0
            || guidePixels % block != 0 || (layout.endWindow && guidePixels < block)) {
            split.message = LayoutMismatch;
            return split;
        }
        blocksInImage = guidePixels / block - (layout.endWindow ? 1 : 0);
    }

    size_t consumed = 0;
    size_t imageFilled = 0;
    size_t guideFilled = 0;
    // Copies count frame pixels into a buffer, or says why it cannot.
    auto take = [&](std::vector<uint16_t> &to, size_t &filled, uint64_t count) -> const char * {
        if (count > to.size() - filled)
            return LayoutMismatch;
        if (count > frameLength - consumed)
            return ShortFrame;
        std::copy_n(frame + consumed, size_t(count), to.begin() + std::ptrdiff_t(filled));
        consumed += size_t(count);
        filled += size_t(count);
        return nullptr;
    };

    for (uint64_t k = 0; k < blocksInImage; ++k) {
        const uint64_t rows = k == 0 ? layout.startRows : layout.rowsBetween;
        const char *failure = take(split.image, imageFilled, rows * width);
        if (!failure)
            failure = take(split.guide, guideFilled, block);
        if (failure) {
            split.message = failure;
            return split;
        }
    }
    if (imageFilled < split.image.size()) {
        if (const char *failure = take(split.image, imageFilled, split.image.size() - imageFilled)) {
            split.message = failure;
            return split;
        }
    }
    if (collectEndWindow && layout.endWindow && guidePixels != 0) {
        if (const char *failure = take(split.guide, guideFilled, block)) {
            split.message = failure;
            return split;
        }
    }
    split.ok = true;
    return split;
}

std::array<long, 3> GuideCubeAxes(const GuideLayout &layout, uint32_t guidePixels)
{
    const uint64_t plane = uint64_t(layout.windowWidth) * layout.windowHeight;
    return {long(layout.windowWidth), long(layout.windowHeight), plane ? long(guidePixels / plane) : 0L};
}

std::string CheckSortSettings(const SortSettings &settings, uint32_t width)
{
    if (settings.mode == 0)
        return {};
    if (settings.channels == 0)
        return NoSortChannels;
    if (settings.headers > width)
        return HeadersTooWide;
    if (width > 0 && width - settings.headers < settings.channels)
        return TooManySortChannels;
    const uint32_t perChannel = width == 0 ? 0 : (width - settings.headers) / settings.channels;
    // Reversing the odd pixels of a channel is a one-to-one move only when the
    // channel has an even number of pixels; otherwise pixels would be lost.
    if (settings.mode != 1 && perChannel % 2 != 0) {
        return "Invalid sort settings for sort mode " + std::to_string(settings.mode)
                + ". Pixels per channel (" + std::to_string(perChannel) + ") should be even";
    }
    return {};
}

bool SortChannels(uint16_t *pixels, size_t length, uint32_t width, uint32_t height,
                  const SortSettings &settings, std::string *message)
{
    if (settings.mode == 0)
        return true;
    std::string refusal = CheckSortSettings(settings, width);
    if (refusal.empty() && uint64_t(width) * height > length)
        refusal = ShortSortFrame;
    if (!refusal.empty()) {
        if (message)
            *message = refusal;
        return false;
    }
    if (height == 0)
        return true;

    const size_t headers = settings.headers;
    const size_t channels = settings.channels;
    const size_t perChannel = (width - headers) / channels;
    std::vector<uint16_t> source(width);
    for (uint32_t row = 0; row < height; ++row) {
        uint16_t *line = pixels + size_t(row) * width;
        std::copy_n(line, width, source.begin());
        for (size_t i = 0; i < perChannel; ++i) {
            const bool backwards = settings.mode != 1 && i % 2 == 1;
            const size_t column = backwards ? perChannel - i : i;
            for (size_t j = 0; j < channels; ++j)
                line[headers + j * perChannel + column] = source[headers + i * channels + j];
        }
    }
    return true;
}

}  // namespace Frames
