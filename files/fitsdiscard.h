// Removal of FITS files that a failed write would otherwise leave half made.
#pragma once

#include <fitsio.h>

#include <string>

namespace FitsDiscard {

// Closes a file still open for writing and deletes it.
void OpenFile(fitsfile *file);
// Deletes a file that was created and closed, e.g. when its close failed; a
// leading "!" (CFITSIO's "replace") is not part of the name on disk.
void ClosedFile(const std::string &fileName);

}  // namespace FitsDiscard
