#include "fitsfile.h"

#include "fitsdiscard.h"

#include <fitsio.h>

#include <cmath>
#include <new>
#include <set>

namespace {

template <typename T> struct PixelCodes;
template <> struct PixelCodes<unsigned short> {
    static constexpr int image = USHORT_IMG;
    static constexpr int data = TUSHORT;
};
template <> struct PixelCodes<float> {
    static constexpr int image = FLOAT_IMG;
    static constexpr int data = TFLOAT;
};
template <> struct PixelCodes<double> {
    static constexpr int image = DOUBLE_IMG;
    static constexpr int data = TDOUBLE;
};

// Keywords that describe the data unit itself: CFITSIO writes them from the
// image, and a second copy from a header would contradict or duplicate them.
const char *const ImageKeywords[] = {"SIMPLE", "BITPIX", "NAXIS",   "EXTEND", "BZERO",
                                     "BSCALE", "BLANK",  "XTENSION", "PCOUNT", "GCOUNT",
                                     "END",    "COMMENT", "HISTORY"};

constexpr size_t MaxKeywordLength = 8;
// A text value fills columns 11 to 80 of its card, quotes included.
constexpr size_t MaxQuotedTextLength = 68;

// The name as CFITSIO writes it, or empty when it is no FITS keyword of ours.
std::string CardName(const std::string &keyword)
{
    if (keyword.empty() || keyword.size() > MaxKeywordLength)
        return {};
    std::string upper;
    for (const char c : keyword) {
        if (c >= 'a' && c <= 'z')
            upper += char(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            upper += c;
        else
            return {};
    }
    for (const char *reserved : ImageKeywords) {
        if (upper == reserved)
            return {};
    }
    if (upper.size() > 5 && upper.compare(0, 5, "NAXIS") == 0
        && upper.find_first_not_of("0123456789", 5) == std::string::npos)
        return {};
    return upper;
}

// CFITSIO silently cuts a text at a control character or at the card's end.
bool FitsOnOneCard(const std::string &text)
{
    size_t quoted = 0;
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
        quoted += c == '\'' ? 2 : 1;
    }
    return quoted <= MaxQuotedTextLength;
}

// Writes one entry; false (status untouched) when it cannot be written as it is.
bool WriteKeyword(fitsfile *file, const std::string &name, const FitsHeaderStruct &entry, int *status)
{
    std::string comment = entry.comment;
    switch (entry.type) {
    case FitsHeader::IntEntry: {
        int value = entry.intValue;
        fits_write_key(file, TINT, name.c_str(), &value, comment.c_str(), status);
        return true;
    }
    case FitsHeader::FloatEntry: {
        if (!std::isfinite(entry.floatValue))
            return false;
        float value = entry.floatValue;
        fits_write_key(file, TFLOAT, name.c_str(), &value, comment.c_str(), status);
        return true;
    }
    case FitsHeader::StringEntry: {
        if (!FitsOnOneCard(entry.stringValue))
            return false;
        std::string value = entry.stringValue;
        fits_write_key(file, TSTRING, name.c_str(), value.data(), comment.c_str(), status);
        return true;
    }
    default:
        return false;
    }
}

// Writes the entries in keyword order; stops at the first that fails.
bool WriteKeywords(fitsfile *file, const FitsHeader &header)
{
    std::set<std::string> written;
    int status = 0;
    for (auto it = header.Begin(); it != header.End(); ++it) {
        const std::string name = CardName(it->first);
        if (name.empty() || !written.insert(name).second)
            return false;
        if (!WriteKeyword(file, name, it->second, &status) || status != 0)
            return false;
    }
    return true;
}

}  // namespace

template <typename T>
bool FitsImage<T>::WriteFitsFile(const std::string &fileName, const FitsHeader &header) const
{
    return WriteFitsFileWithType_(fileName, PixelCodes<T>::image, PixelCodes<T>::data, header);
}

template <typename T>
bool FitsImage<T>::ReadFitsFile(const std::string &fileName, FitsHeader &header)
{
    return ReadFitsFileWithType_(fileName, PixelCodes<T>::image, PixelCodes<T>::data, header);
}

template <typename T>
bool FitsImage<T>::WriteFitsFileWithType_(const std::string &fileName, int imageType, int dataType,
                                          const FitsHeader &header) const
{
    if (dataType != PixelCodes<T>::data)
        return false;
    const uint64_t imagePixels = uint64_t(width) * height;
    if (pixels.size() > imagePixels)
        return false;

    fitsfile *file = nullptr;
    int status = 0;
    if (fits_create_file(&file, fileName.c_str(), &status) != 0)
        return false;

    long axes[2] = {long(width), long(height)};
    fits_create_img(file, imageType, 2, axes, &status);
    if (status == 0 && !pixels.empty()) {
        fits_write_img(file, dataType, 1, LONGLONG(pixels.size()), const_cast<T *>(pixels.data()),
                       &status);
    }
    if (status != 0) {
        FitsDiscard::OpenFile(file);
        return false;
    }

    const bool keywordsWritten = header.IsEmpty() || WriteKeywords(file, header);

    // A failed keyword leaves CFITSIO's header consistent, so the file is
    // closed normally and keeps the image and the keywords before it.
    int closeStatus = 0;
    if (fits_close_file(file, &closeStatus) != 0) {
        FitsDiscard::ClosedFile(fileName);
        return false;
    }
    return keywordsWritten;
}

template <typename T>
bool FitsImage<T>::ReadFitsFileWithType_(const std::string &fileName, int imageType, int dataType,
                                         FitsHeader &header)
{
    (void)imageType;
    if (dataType != PixelCodes<T>::data)
        return false;

    fitsfile *file = nullptr;
    int status = 0;
    if (fits_open_file(&file, fileName.c_str(), READONLY, &status) != 0)
        return false;

    auto closeWith = [file](bool result) {
        int closeStatus = 0;
        fits_close_file(file, &closeStatus);
        return result;
    };

    unsigned short columns = 0;
    unsigned short rows = 0;
    int dimensions = 0;
    fits_read_key(file, TUSHORT, "NAXIS1", &columns, nullptr, &status);
    fits_read_key(file, TUSHORT, "NAXIS2", &rows, nullptr, &status);
    fits_get_img_dim(file, &dimensions, &status);
    if (status != 0 || dimensions < 2)
        return closeWith(false);

    width = columns;
    height = rows;
    try {
        pixels.assign(size_t(columns) * rows, T(0));
    } catch (const std::bad_alloc &) {
        pixels.clear();
        return closeWith(false);
    }

    // CFITSIO reads one start coordinate per axis of the file; a cube gives
    // its first plane.
    std::vector<long> first(size_t(dimensions), 1L);
    T noNullCheck = 0;
    int anyNull = 0;
    if (!pixels.empty()) {
        fits_read_pix(file, dataType, first.data(), LONGLONG(pixels.size()), &noNullCheck,
                      pixels.data(), &anyNull, &status);
    }
    const bool pixelsRead = status == 0;

    // Each optional keyword is read only while all before it were found.
    unsigned short number = 0;
    char text[FLEN_VALUE] = {};
    if (fits_read_key(file, TUSHORT, "MUXTYPE", &number, nullptr, &status) == 0)
        header.AddInt("MUXTYPE", number, "1:H1RG, 2:H2RG");
    if (fits_read_key(file, TUSHORT, "CAMLINK", &number, nullptr, &status) == 0)
        header.AddInt("CAMLINK", number, "If Camlink readout enabled (1 enabled)");
    if (fits_read_key(file, TSTRING, "ACQTYPE", text, nullptr, &status) == 0)
        header.AddString("ACQTIME", text, "local computer time");
    if (fits_read_key(file, TUSHORT, "FASTMODE", &number, nullptr, &status) == 0)
        header.AddInt("FASTMODE", number, "fast mode vs. slow mode (1 fast mode)");

    return closeWith(pixelsRead);
}

template class FitsImage<unsigned short>;
template class FitsImage<float>;
template class FitsImage<double>;
