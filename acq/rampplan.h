// The ramp set-up of an image acquisition, as data: the counts typed on the
// Data Acquisition tab, the ASIC register steps that the selected group asks
// for, and the frame time-outs that follow from them. The window runs the
// steps against the selected ASICs in this order:
//   1. the counts: reads, resets, groups (each only when the group names its register);
//   2. the drops, split into low and high 16 bits when the group has DROP2;
//   3. the send-reset bit and the clock-during-drops bit (read, modify, write);
//   4. the pre-trigger value.
// A failing step ends the set-up with that step's message.
#pragma once

#include "pelra_acqparam.h"

#include <QString>
#include <QVector>

namespace AcqRamp {

struct Counts {
    quint16 reads = 0;
    quint16 exposures = 0;
    quint16 groups = 0;
    quint16 resets = 0;
    qint32 drops = 0;
};

enum class CountsCheck { Ok, RangeError, NegativeDrops };

// Reads the trimmed field texts; reads, exposures and groups must be 1..65535
// (text that is not a number counts as 0) and drops must not be negative.
CountsCheck ReadCounts(const QString &reads, const QString &exposures, const QString &groups, const QString &drops,
                       const QString &resets, Counts &out);

struct Step {
    enum Op { Write, SetBit, ClearBit };
    Op op = Write;
    quint16 reg = 0;
    quint32 value = 0;        // Write: the value; SetBit/ClearBit: the bit number
    QString readFailure;      // SetBit/ClearBit only
    QString writeFailure;
};

// The register steps of the set-up for group `g`. sendResets and clockDrops
// are the tab's "Sending Reset Frames" and "Clock SCA for Drop Frames".
QVector<Step> Steps(const PELRA_Global::AcqParam &g, const Counts &c, bool sendResets, bool clockDrops);

// The register contents after a SetBit/ClearBit step on `current`.
quint32 Modify(const Step &step, quint32 current);

struct Timing {
    int firstFrameTimeoutMs = 0;
    int frameTimeoutMs = 0;
    int framesPerExposure = 0;
};

// Time-outs and frames per exposure; figures beyond the range of int are
// held at its maximum.
Timing ComputeTiming(const PELRA_Global::AcqParam &g, const Counts &c, bool sendResets);

}  // namespace AcqRamp
