// One ASIC behind a simulated card: a register file with the family's
// probe registers. TAMBRIL registers from 0x7000 up hold 24-bit values,
// all others 16-bit.
#pragma once

#include "simexposure.h"

#include <QHash>
#include <QtGlobal>

namespace pelrasim {

enum class AsicFamily { Tambril, Ostera };

class AsicModel
{
public:
    explicit AsicModel(AsicFamily family);

    AsicFamily family() const { return fam; }
    quint32 read(quint16 address) const;
    void write(quint16 address, quint32 value);
    // Every register back to its power-up value (the card's ASIC reset).
    void powerUp();
    // Register width in bits (16 or 24).
    int width(quint16 address) const;

    // Ramp and trigger registers (simexposure.h); a write to the trigger
    // register starts or stops an exposure.
    void setExposureRegisters(const ExposureRegisters &r) { tracker.setRegisters(r); }
    ExposureState exposure() const;

private:
    AsicFamily fam;
    QHash<quint16, quint32> registers;
    ExposureTracker tracker;
};

}  // namespace pelrasim
