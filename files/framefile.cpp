#include "framefile.h"

#include "fitsdiscard.h"

#include <fitsio.h>

#include <filesystem>
#include <system_error>

namespace Frames {

namespace {

std::string StatusText(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

}  // namespace

FrameFileResult WriteUShortFits(const std::string &fileName, const std::vector<long> &axes,
                                const uint16_t *pixels, size_t length)
{
    FrameFileResult result;
    unsigned long long count = 1;
    for (const long axis : axes) {
        if (axis < 0 || __builtin_mul_overflow(count, static_cast<unsigned long long>(axis), &count)) {
            result.errorText = "invalid image size";
            return result;
        }
    }
    if (axes.empty() || count > length) {
        result.errorText = "the frame holds fewer pixels than the image";
        return result;
    }

    fitsfile *file = nullptr;
    int status = 0;
    if (fits_create_file(&file, fileName.c_str(), &status) != 0) {
        result.errorText = StatusText(status);
        return result;
    }
    std::vector<long> size = axes;
    fits_create_img(file, USHORT_IMG, int(size.size()), size.data(), &status);
    if (status == 0 && count > 0) {
        fits_write_img(file, TUSHORT, 1, LONGLONG(count), const_cast<uint16_t *>(pixels), &status);
    }
    if (status != 0) {
        result.errorText = StatusText(status);
        FitsDiscard::OpenFile(file);
        return result;
    }
    if (fits_close_file(file, &status) != 0) {
        result.closeFailed = true;
        result.errorText = StatusText(status);
        FitsDiscard::ClosedFile(fileName);
        return result;
    }
    // CFITSIO can report a clean close of a file whose last block never
    // reached a full disk: a file shorter than one header block and the
    // padded data is incomplete.
    const std::string onDisk = fileName.compare(0, 1, "!") == 0 ? fileName.substr(1) : fileName;
    std::error_code error;
    const uintmax_t bytes = std::filesystem::file_size(onDisk, error);
    const uintmax_t dataBlocks = (count * sizeof(uint16_t) + 2879) / 2880;
    if (error || bytes < 2880 * (1 + dataBlocks)) {
        result.closeFailed = true;
        result.errorText = "the file is incomplete";
        FitsDiscard::ClosedFile(fileName);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace Frames
