// The card's telemetry converter as numbers: item codes, the configuration
// word of card register 0x0480, the selection words 0x0484-0x0489 of a set
// measurement and the conversion of raw results into volts and milliamperes.
//
// An item code is the card register address of the item's result: voltages
// sit at 0x0400-0x0434, the current of supply s at s + 0x40. The codes
// 0x0414-0x0416, 0x0435-0x043F and 0x0454-0x0456 carry no item.
#pragma once

#include <QString>
#include <QtGlobal>

namespace Telemetry {

constexpr quint16 ConfigRegister = 0x0480;
constexpr quint16 StatusRegister = 0x0481;       // write 0: start a set; bit 0: busy
constexpr quint16 SelectionRegister = 0x0484;    // first of six selection words
constexpr int SelectionWords = 6;
constexpr quint16 FirstResult = 0x0400;
constexpr int ResultCount = 96;                  // 0x0400-0x045F
constexpr quint16 FirstCurrent = 0x0440;
constexpr quint16 CurrentOffset = 0x40;          // current code = supply code + 0x40

// Indexes of the configuration word; the ground reference is 0-3 for a fixed
// reference (GND, DGND, AGND_CLEAN, AGND_DIRTY) and 4 for AUTO.
struct Config {
    quint16 voltageRate = 0;
    quint16 voltageAveraging = 0;
    quint16 currentRate = 0;
    quint16 currentAveraging = 0;
    quint16 groundReference = 0;
};
constexpr quint16 GroundAuto = 4;

// True when every index is in range (rates and averaging 0-3, ground 0-4).
bool ConfigValid(const Config &config);
// The word written to 0x0480: bits 0-3 and 7 of `old` are kept, bits 16-31 cleared.
quint32 ConfigWord(quint32 old, const Config &config);
Config SplitConfigWord(quint32 word);

// A code with a result register and an item behind it.
bool IsItem(quint16 code);
// A supply: a voltage item that also has a current item (0x0400-0x041F).
bool IsSupply(quint16 code);

// Which conversion applies: single-item measurements and the set measurement
// read the currents of GIGE_3p3, USB_5V and USB_3p3 with different divisors.
enum class Operation { Single, Set };

// Volts of a voltage item: raw * 5 / 65536.
float RawToVolts(quint32 raw);
// A current word: 13-bit two's-complement mantissa (bits 0-12), exponent in
// the bits above; value = m * 2^e * 625 / 262144 / divisor.
float RawToCurrent(quint32 raw, double divisor);
// Divisor of a current code (0 for codes without a current item).
double CurrentDivisor(quint16 code, Operation operation);
// The value of any item code: volts below 0x0440, the current above.
float RawToValue(quint16 code, quint32 raw, Operation operation);

// Selection words 0x0484-0x0489 for a list of codes. Codes 0x0414-0x0416 are
// left out silently; every other code without an item is appended to
// `rejected` as "0x%04x, ".
struct Selection {
    quint32 words[SelectionWords] = {0, 0, 0, 0, 0, 0};
    QString rejected;
};
Selection SelectCodes(const quint16 *codes, int count);

// Lower-case hexadecimal digits without leading zeros, as in the messages.
QString HexDigits(quint32 value);

}  // namespace Telemetry
