// The Power Control tab as numbers: the operator's entries in integer
// thousandths (millivolts, microamperes), the register codes of the card's
// supply DACs and the texts shown when codes are read back.
//
// Every conversion rounds to the nearest integer with halves upward, so
// 2.0004 V is 2000 mV and 2.0006 V is 2001 mV.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace Power {

// The kinds of value field; each has its own code and read-back formula.
enum class Kind {
    Reference,            // VREF and VSSIO: code = mV, shown as code * 4.096 / 4096 V
    SupplyVoltage,        // code = 3792 * (1 - mV / 4089), falling as the voltage rises
    VoltageLimit,         // code = mV / 4762 * 4096
    AnalogCurrentLimit,   // code = uA / 1024000 * 4096 (4 codes per mA)
    DigitalCurrentLimit,  // code = uA / 512000 * 4096 (8 codes per mA)
};

// Largest accepted entry of a kind, in thousandths.
qint64 Limit(Kind kind);

// The entry in thousandths. Text that is no number counts as 0; decimal
// text is taken digit by digit, so no binary rounding moves a half.
qint64 Thousandths(const QString &text);
// The field text of an accepted entry: n / 1000 with three decimals.
QString ThousandthsText(qint64 n);
// The register code of an accepted entry (0 <= n <= Limit(kind)).
quint32 Code(Kind kind, qint64 n);
// The field text for a code read back from the card.
QString CodeText(Kind kind, quint32 code);

// One value field of an ASIC, in the order the card's registers hold them
// (0x0321-0x0333 for ASIC 1, 0x0341-0x0353 for ASIC 2).
struct Field {
    Kind kind;
    QString rejection;   // logged when the entry is negative or above the limit
};
constexpr int FieldsPerAsic = 19;
// The 19 fields of ASIC 1 or 2 (asic = 1 or 2).
QVector<Field> AsicFields(int asic);

// The enable bits: which check box (by its index in the tab's lists) drives
// which bit of 0x0300 and of 0x0320/0x0340.
constexpr int CardEnableBits[] = {0, 1, 2, 4, 5, 6, 7, 8, 9};
constexpr int AsicEnableBits = 16;   // bits 0-15, check box n for bit n

// Cache positions of the three enable words.
constexpr int CacheAsic1Enables = 38;
constexpr int CacheAsic2Enables = 39;
constexpr int CacheCardEnables = 40;
constexpr int CacheSize = 41;

}  // namespace Power
