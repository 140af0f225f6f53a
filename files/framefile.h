// Writing one saved frame, or a guide cube, as a FITS file of unsigned
// 16-bit pixels with only the keywords that creating the image gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Frames {

struct FrameFileResult {
    bool ok = false;
    bool closeFailed = false;   // everything was written but closing the file failed
    std::string errorText;      // CFITSIO's text for the failure otherwise
};

// Creates fileName (never replacing an existing file, unless the name starts
// with "!"), an image with the given axes, and writes their product of pixels
// from the start of pixels (length: pixels available there). A file that
// cannot be completed is removed again, so only whole FITS files stay behind.
FrameFileResult WriteUShortFits(const std::string &fileName, const std::vector<long> &axes,
                                const uint16_t *pixels, size_t length);

}  // namespace Frames
