// Whole-image FITS files of one pixel type, written and read through CFITSIO
// together with a FitsHeader. Uses only the standard library.
//
// Every file that a write leaves on disk is valid FITS: a keyword that cannot
// be written stops the keywords there but the header is still closed with its
// END card (the file keeps the image and the keywords written before it);
// any other failure after the file was created removes the file again.
#pragma once

#include "fitsheader.h"

#include <cstdint>
#include <string>
#include <vector>

// A plain value: callers fill width, height and pixels (row after row, first
// row first) before writing, and read them after reading.
template <typename T>
class FitsImage
{
public:
    uint32_t width = 0;          // NAXIS1
    uint32_t height = 0;         // NAXIS2
    std::vector<T> pixels;

    // With the image and data type codes of T (unsigned short: USHORT_IMG and
    // TUSHORT, float: FLOAT_IMG and TFLOAT, double: DOUBLE_IMG and TDOUBLE).
    bool WriteFitsFile(const std::string &fileName, const FitsHeader &header) const;
    bool ReadFitsFile(const std::string &fileName, FitsHeader &header);

    // The name is passed to CFITSIO unchanged, so an existing file is only
    // replaced when the name starts with "!". The data type code must be the
    // one of T: the pixels are handed to CFITSIO as that type. Pixels beyond
    // width × height are refused; fewer are written and the rest stays 0.
    // Header keywords must be FITS keywords (1 to 8 of A-Z, a-z, 0-9, '-',
    // '_'; lower case is written in upper case) other than the ones that
    // describe the image itself, text values printable ASCII that fit on one
    // card, floating-point values finite.
    bool WriteFitsFileWithType_(const std::string &fileName, int imageType, int dataType,
                                const FitsHeader &header) const;
    // Reads the first width × height pixels (widths and heights up to 65535)
    // and adds the optional keywords MUXTYPE, CAMLINK, ACQTYPE (as ACQTIME)
    // and FASTMODE to the header, stopping at the first one missing. The
    // result is whether the pixels were read. The image type code is not
    // needed for reading; CFITSIO converts the stored pixels to T.
    bool ReadFitsFileWithType_(const std::string &fileName, int imageType, int dataType,
                               FitsHeader &header);
};

extern template class FitsImage<unsigned short>;
extern template class FitsImage<float>;
extern template class FitsImage<double>;
