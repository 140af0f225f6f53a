// How a simulated ASIC takes part in an exposure. The scenario names, per
// card, which ASIC registers hold the ramp shape and which register and
// values start and stop an exposure (sim/README.md, keys asic_*); the
// sample acquisition file config/Config_Acquire.ini uses the same registers.
//
//   ExposureRegisters regs;             // from the scenario
//   regs.reads = 0x4001; regs.trigger = 0x6900; regs.triggerValue = 1;
//   asic.setExposureRegisters(regs);
//   asic.write(0x4001, 2);              // the ramp shape is plain register contents
//   asic.write(0x6900, 1);              // starts an exposure: exposure().exposing
//   asic.exposure(): {exposing, triggers, stops, shape {resets, reads, groups, drops}}
//
// A register left 0 is not modelled (its ramp count reads 0; without a
// trigger register no exposure ever starts).
#pragma once

#include <QString>
#include <QtGlobal>

namespace pelrasim {

struct ExposureRegisters {
    quint16 resets = 0;
    quint16 reads = 0;
    quint16 groups = 0;
    quint16 drops = 0;
    quint16 dropsHigh = 0;      // high 16 bits of the drop count
    quint16 trigger = 0;
    quint32 triggerValue = 1;
    bool hasStop = false;
    quint32 stopValue = 0;
};

// The ramp an exposure runs with, as the ASIC registers hold it when asked.
struct RampShape {
    quint32 resets = 0;
    quint32 reads = 0;
    quint32 groups = 0;
    quint32 drops = 0;
};

struct ExposureState {
    bool exposing = false;      // triggered and not stopped since
    int triggers = 0;           // trigger writes so far
    int stops = 0;              // stop writes so far
    RampShape shape;
};

// Follows the trigger register of one ASIC; the ASIC model reports every
// register write to it.
class ExposureTracker
{
public:
    void setRegisters(const ExposureRegisters &r) { regs = r; }
    const ExposureRegisters &registers() const { return regs; }
    void written(quint16 address, quint32 value);
    bool exposing() const { return active; }
    int triggers() const { return triggerCount; }
    int stops() const { return stopCount; }

private:
    ExposureRegisters regs;
    bool active = false;
    int triggerCount = 0;
    int stopCount = 0;
};

// Scenario keys asic_resets_reg, asic_reads_reg, asic_groups_reg,
// asic_drops_reg, asic_drops_high_reg, asic_trigger_reg, asic_trigger_value
// and asic_stop_value. False with `error` for a bad value; `known` tells
// whether the key is one of these.
bool parseExposureKey(const QString &key, const QString &value, ExposureRegisters *r, bool *known, QString *error);

}  // namespace pelrasim
