#include "telemetryconvert.h"

#include <cmath>

namespace Telemetry {

namespace {

// 625 / 262144: the current converter's least significant bit before the divisor.
constexpr double CurrentStep = 0.002384185791015625;

struct DivisorRange {
    quint16 first;
    quint16 last;
    double single;
    double set;
};

// The sense resistors differ per supply group; the card's three interface
// supplies are read with different divisors by the single and set operations.
constexpr DivisorRange Divisors[] = {
    {0x0440, 0x0443, 1, 1},       // VDDAH1, VDDAH2, VDDAL1, VDDAL2
    {0x0444, 0x0445, 20, 20},     // VREF1, VREF2
    {0x0446, 0x044B, 2, 2},       // VDDH, VDDL, VDDIO
    {0x044C, 0x044D, 1, 1},       // VSSIO1, VSSIO2
    {0x044E, 0x044F, 2, 2},       // VDDAux1, VDDAux2
    {0x0450, 0x0453, 0.05, 0.05}, // GNDA1, GNDA2, GND1, GND2
    {0x0457, 0x0457, 0.05, 0.05}, // ASIC_5V
    {0x0458, 0x045B, 0.1, 0.1},   // FPGA, VDD_3p3, VDD_2p5, VDD_1p8
    {0x045C, 0x045C, 0.05, 0.05}, // VDD_1p2
    {0x045D, 0x045F, 1, 0.1},     // GIGE_3p3, USB_5V, USB_3p3
};

struct WordRange {
    quint16 first;
    quint16 last;
};

// The codes each selection word covers, bit n for code first + n.
constexpr WordRange SelectionRanges[SelectionWords] = {
    {0x0400, 0x040F}, {0x0410, 0x041F}, {0x0420, 0x042F}, {0x0430, 0x0434}, {0x0440, 0x044F}, {0x0450, 0x045F},
};

bool InRange(quint16 code, quint16 first, quint16 last)
{
    return code >= first && code <= last;
}

bool NoItemInsideResults(quint16 code)
{
    return InRange(code, 0x0414, 0x0416) || InRange(code, 0x0435, 0x043F) || InRange(code, 0x0454, 0x0456);
}

}  // namespace

bool ConfigValid(const Config &config)
{
    return config.voltageRate <= 3 && config.voltageAveraging <= 3 && config.currentRate <= 3
           && config.currentAveraging <= 3 && config.groundReference <= GroundAuto;
}

quint32 ConfigWord(quint32 old, const Config &config)
{
    const quint32 ground = config.groundReference == GroundAuto ? 0x40u : quint32(config.groundReference) << 4;
    return (old & 0x8Fu) | (quint32(config.voltageRate) << 8) | (quint32(config.voltageAveraging) << 10)
           | (quint32(config.currentRate) << 12) | (quint32(config.currentAveraging) << 14) | ground;
}

Config SplitConfigWord(quint32 word)
{
    Config config;
    config.groundReference = (word & 0x40u) ? GroundAuto : quint16((word >> 4) & 3u);
    config.voltageRate = quint16((word >> 8) & 3u);
    config.voltageAveraging = quint16((word >> 10) & 3u);
    config.currentRate = quint16((word >> 12) & 3u);
    config.currentAveraging = quint16((word >> 14) & 3u);
    return config;
}

bool IsItem(quint16 code)
{
    return InRange(code, FirstResult, FirstResult + ResultCount - 1) && !NoItemInsideResults(code);
}

bool IsSupply(quint16 code)
{
    return InRange(code, 0x0400, 0x041F) && !InRange(code, 0x0414, 0x0416);
}

float RawToVolts(quint32 raw)
{
    return float(double(raw) * 5.0 / 65536.0);
}

float RawToCurrent(quint32 raw, double divisor)
{
    qint64 mantissa = raw & 0x1FFFu;
    if (raw & 0x1000u)
        mantissa -= 8192;
    const int exponent = int(raw >> 13);
    return float(std::ldexp(double(mantissa), exponent) * CurrentStep / divisor);
}

double CurrentDivisor(quint16 code, Operation operation)
{
    for (const DivisorRange &range : Divisors) {
        if (InRange(code, range.first, range.last))
            return operation == Operation::Set ? range.set : range.single;
    }
    return 0;
}

float RawToValue(quint16 code, quint32 raw, Operation operation)
{
    if (code < FirstCurrent)
        return RawToVolts(raw);
    const double divisor = CurrentDivisor(code, operation);
    return divisor == 0 ? 0.0f : RawToCurrent(raw, divisor);
}

Selection SelectCodes(const quint16 *codes, int count)
{
    Selection selection;
    for (int i = 0; i < count; ++i) {
        const quint16 code = codes[i];
        if (InRange(code, 0x0414, 0x0416))
            continue;
        bool selected = false;
        for (int w = 0; w < SelectionWords; ++w) {
            const WordRange &range = SelectionRanges[w];
            if (InRange(code, range.first, range.last)) {
                selection.words[w] |= 1u << (code - range.first);
                selected = true;
                break;
            }
        }
        if (!selected)
            selection.rejected += QStringLiteral("0x%1, ").arg(code, 4, 16, QLatin1Char('0'));
    }
    return selection;
}

QString HexDigits(quint32 value)
{
    return QString::number(value, 16);
}

}  // namespace Telemetry
