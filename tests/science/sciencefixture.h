// Simulated cards that send science frames, and checks of what arrives.
//
//   SimFixture f;
//   QVERIFY2(f.start(ScienceScenario()).isEmpty(), ...);
//   PelraInterface link;
//   QVERIFY(f.attach(link, CardId, InterfaceGigE));
//   ... configure a receiver, then StartPortPattern(link, 0x1D1, 64, 32, 10);
//   QCOMPARE(PatternMismatch(frame, 64 * 32, f), -1);
#pragma once

#include "pelrainterface.h"
#include "simfixture.h"

#include <QVector>

constexpr quint16 CardId = 0x0412;
constexpr quint8 Card1 = 0x01;
constexpr quint16 SciencePort = 42307;

// One TAMBRIL card with two ASICs on GigE and USB, sending flat out. Its ASIC
// exposures start with 1 in ASIC register 0x6900 and stop with 0; the ramp
// shape sits in 0x4001 (reads) and 0x4002 (groups). Images are 256 x 8 pixels
// in 32 readout channels.
inline QString ScienceScenario(const QString &extra = QString())
{
    return QStringLiteral(R"([card1]
id=0x0412
position=1
firmware=tambril
asics=tambril,tambril
usb_serial=PELRA0412
usb_channels=1
gige=127.1.1.1
science_frame_ms=0
science_width=256
science_height=8
science_channels=32
asic_reads_reg=0x4001
asic_groups_reg=0x4002
asic_trigger_reg=0x6900
asic_trigger_value=1
asic_stop_value=0
)") + extra;
}

// Index of the first pixel of test-pattern frame f that is not
// (i + 256 f) AND 0xFFFF, or -1.
inline qint64 PatternMismatch(const quint16 *pixels, qint64 count, int f)
{
    for (qint64 i = 0; i < count; ++i)
        if (pixels[i] != quint16((i + 256 * qint64(f)) & 0xFFFF))
            return i;
    return -1;
}

// Pattern geometry at base + 1 (width - 1, height - 1, frames), then the
// trigger at base (0x1D1 GigE, 0x1E1 USB).
inline bool StartPortPattern(PelraInterface &link, quint16 trigger, int width, int height, int frames)
{
    const QVector<quint32> geometry = {quint32(width - 1), quint32(height - 1), quint32(frames)};
    return link.WritePELRABlock(quint16(trigger + 1), 3, geometry, Card1) && link.WritePELRAReg(trigger, 1, Card1);
}
