// The card's test pattern, as data: where its frame geometry goes, whether
// the run needs the card's ASIC FIFOs in pattern mode, and which cards get
// new FIFO pattern-enable bits (card register 0x1B1).
//
// A group names its pattern source in TESTPATTERN: "PORT_FIFO" (made at the
// card's science port), "ASIC_FIFO_1X" (one ASIC FIFO per card) or
// "ASIC_FIFO_2X" (two per card). The geometry step compares the name as
// written; the FIFO set-up and its restore compare it in upper case.
#pragma once

#include "pelra_global.h"

#include <QString>
#include <QVector>

namespace AcqPattern {

constexpr quint16 FifoModeRegister = 0x1B0;
constexpr quint16 FifoEnableRegister = 0x1B1;
constexpr quint32 FifoPatternModeBits = 0x2F;

// First of the three geometry registers (width - 1, height - 1, images).
quint16 GeometryBase(const QString &pattern, PELRA_InterfaceType link);

enum class FifoMode {
    None,      // nothing to set up: image acquisition, Camera Link or the port FIFO
    TwoX,
    OneX,
    Unknown    // a pattern name this card does not know
};

FifoMode FifoModeFor(const PELRA_Global::AcqParam &g, PELRA_InterfaceType link);

struct CardWrite {
    int card;          // 1..8
    quint32 value;     // for 0x1B1 of that card alone
};

// Cards whose 0x1B1 changes when the selected ASICs are added to `current`:
// with TwoX card k serves ASICs 2k-1 (bit 0) and 2k (bit 2), with OneX card n
// serves ASIC n (bit 0). Cards whose value stays `current` are left out.
QVector<CardWrite> FifoEnableWrites(FifoMode mode, quint32 current, quint8 asicMask);

}  // namespace AcqPattern
