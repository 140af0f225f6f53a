#include "simasic.h"

namespace pelrasim {

AsicModel::AsicModel(AsicFamily family)
    : fam(family)
{
    // Values the card link's ASIC probe looks for.
    if (fam == AsicFamily::Tambril) {
        registers.insert(0x6928, 0x0FFF);
        registers.insert(0x6A01, 0x0001);
    } else {
        registers.insert(0x04F9, 0xA501);
    }
}

int AsicModel::width(quint16 address) const
{
    return (fam == AsicFamily::Tambril && address >= 0x7000) ? 24 : 16;
}

quint32 AsicModel::read(quint16 address) const
{
    return registers.value(address, 0);
}

void AsicModel::write(quint16 address, quint32 value)
{
    registers.insert(address, value & (width(address) == 24 ? 0xFFFFFFu : 0xFFFFu));
}

}  // namespace pelrasim
