// What a simulated card shows for the Manual Command tab's diagnostics and
// block transfers:
//
//   0x002B-0x002F, 0x0118-0x011F, 0x0128-0x012F, 0x0184-0x018F
//           the 33 error counters, in the order the card link reads them
//           (counter i at errorCounterRegister(i)); raised by the scenario
//           (error_counters) or by Simulator::raiseErrorCounter
//   0x01A0-0x01AB  FIFO status block; at power-up every FIFO of the layout
//           reads empty
//   0xFFFE  FIFO layout, read-only: 0x8000 one main FIFO, 0x0000 FIFO1 and
//           FIFO2 (scenario key fifos = 1 or 2)
//   0x0102  bit 0: OSTERA address auto-increment, on at power-up. On, an
//           OSTERA ASIC block covers consecutive registers; off, every word
//           of the block goes to (and comes from) the start register.
//   0x0210  a rising edge of the ASIC reset bit puts every ASIC register
//           back to its power-up value
#pragma once

#include <QString>
#include <QtGlobal>

namespace pelrasim {

struct CardSettings;

constexpr int ErrorCounterCount = 33;
constexpr quint16 RegAddressIncrement = 0x0102;
constexpr quint16 RegFifoStatusBlock = 0x01A0;
constexpr int FifoStatusWords = 12;
constexpr quint16 RegFifoLayout = 0xFFFE;

enum class FifoLayout { One, Two };

// Card register of error counter `index` (0-32).
quint16 errorCounterRegister(int index);

quint16 fifoLayoutValue(FifoLayout layout);
// Word 0 of the status block with every FIFO of the layout empty.
quint16 idleFifoStatus(FifoLayout layout);

// Scenario keys fifos and error_counters (sim/README.md). False with `error`
// for a bad value; `known` tells whether the key is one of them.
bool parseCardHealthKey(const QString &key, const QString &value, CardSettings *card, bool *known, QString *error);

}  // namespace pelrasim
