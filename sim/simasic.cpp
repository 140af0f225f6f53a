#include "simasic.h"

namespace pelrasim {

AsicModel::AsicModel(AsicFamily family)
    : fam(family)
{
    powerUp();
}

void AsicModel::powerUp()
{
    registers.clear();
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
    tracker.written(address, read(address));
}

ExposureState AsicModel::exposure() const
{
    const ExposureRegisters &r = tracker.registers();
    auto count = [this](quint16 reg) { return reg != 0 ? read(reg) : 0u; };
    ExposureState state;
    state.exposing = tracker.exposing();
    state.triggers = tracker.triggers();
    state.stops = tracker.stops();
    state.shape.resets = count(r.resets);
    state.shape.reads = count(r.reads);
    state.shape.groups = count(r.groups);
    state.shape.drops = count(r.drops) | (count(r.dropsHigh) << 16);
    return state;
}

}  // namespace pelrasim
