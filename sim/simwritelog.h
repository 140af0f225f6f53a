// The register writes a simulated card carried out, in order and with the
// time each happened, so that tests can compare a whole write sequence (and
// the pauses in it) with what a register file or a workflow asks for.
//
//   const auto writes = sim.registerWrites(0x0412);
//   QCOMPARE(writes.at(0), pelrasim::RegisterWrite::card(0x0010, 0x0001));
//   QVERIFY(writes.at(2).timeMs - writes.at(1).timeMs >= 100);   // a wait 100 between them
//
// Block writes appear as one entry per register. Writes that the card did not
// pass on (ASIC commands while it runs no firmware of that family) are absent.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace pelrasim {

struct RegisterWrite {
    qint64 timeMs = 0;       // monotonic clock, milliseconds
    int asic = -1;           // ASIC index on the card (0 or 1); -1 for a card register
    quint16 address = 0;
    quint32 value = 0;
    bool dma = false;        // the ASIC command carried the DMA flag

    static RegisterWrite card(quint16 address, quint32 value);
    static RegisterWrite asicWrite(int asic, quint16 address, quint32 value, bool dma = false);

    // Equal in what was written; the time is not compared.
    bool operator==(const RegisterWrite &other) const;
    bool operator!=(const RegisterWrite &other) const { return !(*this == other); }
    // e.g. "card 0x0010=0x1" or "asic1 0x4000=0x3 dma"
    QString describe() const;
};

class WriteLog
{
public:
    // The oldest entries go once this many are kept.
    static constexpr int MaxEntries = 1 << 20;

    void record(RegisterWrite write);
    const QVector<RegisterWrite> &entries() const { return list; }
    void clear() { list.clear(); }

private:
    QVector<RegisterWrite> list;
};

}  // namespace pelrasim
