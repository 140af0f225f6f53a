#include "rampplan.h"

#include <algorithm>
#include <climits>

namespace AcqRamp {

CountsCheck ReadCounts(const QString &reads, const QString &exposures, const QString &groups, const QString &drops,
                       const QString &resets, Counts &out)
{
    out.reads = reads.trimmed().toUShort();
    out.exposures = exposures.trimmed().toUShort();
    out.groups = groups.trimmed().toUShort();
    out.drops = drops.trimmed().toInt();
    out.resets = resets.trimmed().toUShort();
    if (out.reads == 0 || out.exposures == 0 || out.groups == 0)
        return CountsCheck::RangeError;
    if (out.drops < 0)
        return CountsCheck::NegativeDrops;
    return CountsCheck::Ok;
}

QVector<Step> Steps(const PELRA_Global::AcqParam &g, const Counts &c, bool sendResets, bool clockDrops)
{
    QVector<Step> steps;
    auto write = [&steps](quint16 reg, quint32 value, const char *failure) {
        if (reg != 0)
            steps.append({Step::Write, reg, value, QString(), QLatin1String(failure)});
    };
    write(g.readReg, c.reads, "Configuration for number of read frames failed ");
    write(g.resetReg, c.resets, "Configuration for number of reset frames failed ");
    write(g.groupReg, c.groups, "Configuration for number of groups failed ");

    const quint32 drops = quint32(c.drops);
    if (g.drop2Reg != 0) {
        write(g.dropReg, drops & 0xFFFF, "Configuration for  number of drops failed ");
        write(g.drop2Reg, drops >> 16, "Configuration for number of drops to ASIC failed ");
    } else {
        write(g.dropReg, drops, "Configuration for number of drops to ASIC failed ");
    }

    // Both cases read sendRstValue as a bit number, like the bit of CLKDRP.
    if (g.sendRstReg != 0)
        steps.append({sendResets ? Step::SetBit : Step::ClearBit, g.sendRstReg, quint32(g.sendRstValue & 31),
                      QStringLiteral("Reading configuration of sending reset frame failed"),
                      QStringLiteral("Configuration for sending reset frame failed")});
    if (g.clkDrpReg != 0)
        steps.append({clockDrops ? Step::SetBit : Step::ClearBit, g.clkDrpReg, quint32(g.clkDrpBit & 31),
                      QStringLiteral("Reading ASIC register for configuring clocking SCA in drops failed"),
                      QStringLiteral("Configuration for clocking SCA in drops failed")});

    write(g.preTrgReg, g.preTrgVal, "Writing ASIC pre-trigger register failed");
    return steps;
}

quint32 Modify(const Step &step, quint32 current)
{
    const quint32 bit = 1u << (step.value & 31);
    switch (step.op) {
    case Step::SetBit: return current | bit;
    case Step::ClearBit: return current & ~bit;
    case Step::Write: break;
    }
    return step.value;
}

namespace {

int Clamp(qint64 v)
{
    return int(std::min<qint64>(std::max<qint64>(v, 0), INT_MAX));
}

}  // namespace

Timing ComputeTiming(const PELRA_Global::AcqParam &g, const Counts &c, bool sendResets)
{
    // Frames per exposure count the resets only when they are not sent.
    const qint64 r = sendResets ? 0 : c.resets;
    Timing t;
    t.firstFrameTimeoutMs = Clamp(qint64(g.timeout) * (r + 2) + 5000);
    t.frameTimeoutMs = Clamp(qint64(g.timeout) + 2 * (qint64(c.drops) * g.dropWait) + 5000);
    t.framesPerExposure = Clamp(qint64(c.groups) * (c.reads + r));
    return t;
}

}  // namespace AcqRamp
