#include "fitsdiscard.h"

#include <cstdio>

namespace FitsDiscard {

void OpenFile(fitsfile *file)
{
    int status = 0;
    fits_delete_file(file, &status);
}

void ClosedFile(const std::string &fileName)
{
    const std::string onDisk = !fileName.empty() && fileName[0] == '!' ? fileName.substr(1) : fileName;
    std::remove(onDisk.c_str());
}

}  // namespace FitsDiscard
