// Rules of the Manual Command tab that need no widget: how register-table
// cells and block-transfer fields are read as numbers, which values a row may
// write, and the texts the tab logs.
//
// Every parser here takes any text: malformed input can only make a parse
// fail, and the numbers it yields stay within the stated width.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

namespace ManualCommand {

// Lower-case hexadecimal, zero-padded on the left to at least `digits`.
QString Hex(quint32 value, int digits = 4);

// A register address: the trimmed text as a 16-bit hexadecimal number.
bool ParseAddress(const QString &text, quint16 *address);

// The largest value a table row may write: 24 bits for a TAMBRIL ASIC
// register from 0x7000 up, 16 bits otherwise (OSTERA and card registers).
quint32 WriteLimit(bool asicTable, bool tambril, quint16 address);

// The trimmed text as a hexadecimal value no larger than `limit`.
bool ParseWriteValue(const QString &text, quint32 limit, quint32 *value);

// Address of a row added below a reference row: one more, wrapping at
// 16 bits; "ffff" with no reference row or an unreadable reference address.
QString NextRowAddress(bool hasReference, const QString &referenceText);

// Block length: the trimmed text as a decimal count from 1 to 0xFFFF.
bool ParseBlockLength(const QString &text, quint16 *count);

// ASIC block data: the trimmed text split at CR LF, LF CR, CR or LF with
// empty lines kept; every line a hexadecimal value of up to 32 bits.
QStringList AsicBlockLines(const QString &text);
// PELRA block data: the trimmed text split at LF with empty lines dropped;
// every line a 16-bit hexadecimal value.
QStringList PelraBlockLines(const QString &text);
// Index of the first line that is no value within `limit`, or -1 when all
// are; `values` then holds one value per line.
int ParseBlockValues(const QStringList &lines, quint32 limit, QVector<quint32> *values);

// "Blk read 0x<address as typed> len <count>:  v0, v1, ..., " with 6-digit
// values for 24-bit reads and 4-digit values otherwise.
QString BlockReadText(const QString &addressText, int count, const QVector<quint32> &values, bool wide24);

// The offer to load the register table of the family that a card's firmware
// serves, when the tab showed the other family.
QString FamilySwitchQuestion(bool tambril);

// Card register 0x0102 with bit 0 (OSTERA address auto-increment) set or
// cleared and every other bit kept.
quint32 WithAddressIncrement(quint32 control, bool on);

}  // namespace ManualCommand
