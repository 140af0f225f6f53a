#include "patternfifo.h"

namespace AcqPattern {

quint16 GeometryBase(const QString &pattern, PELRA_InterfaceType link)
{
    if (pattern == QLatin1String("ASIC_FIFO_2X") || pattern == QLatin1String("ASIC_FIFO_1X"))
        return 0x1B2;
    switch (link) {
    case InterfaceGigE: return 0x1D2;
    case InterfaceUSB: return 0x1E2;
    default: return 0x1C2;
    }
}

FifoMode FifoModeFor(const PELRA_Global::AcqParam &g, PELRA_InterfaceType link)
{
    const QString pattern = g.testPattern.toUpper();
    if (g.trgDest != 0 || link == InterfaceUART || pattern == QLatin1String("PORT_FIFO"))
        return FifoMode::None;
    if (pattern == QLatin1String("ASIC_FIFO_2X"))
        return FifoMode::TwoX;
    if (pattern == QLatin1String("ASIC_FIFO_1X"))
        return FifoMode::OneX;
    return FifoMode::Unknown;
}

QVector<CardWrite> FifoEnableWrites(FifoMode mode, quint32 current, quint8 asicMask)
{
    QVector<CardWrite> writes;
    auto selected = [asicMask](int asic) { return (asicMask >> (asic - 1)) & 1; };
    if (mode == FifoMode::TwoX) {
        for (int k = 1; k <= 4; ++k) {
            const quint32 value = current | (selected(2 * k - 1) ? 1u : 0u) | (selected(2 * k) ? 4u : 0u);
            if (value != current)
                writes.append({k, value});
        }
    } else if (mode == FifoMode::OneX) {
        for (int n = 1; n <= 8; ++n) {
            const quint32 value = current | (selected(n) ? 1u : 0u);
            if (value != current)
                writes.append({n, value});
        }
    }
    return writes;
}

}  // namespace AcqPattern
