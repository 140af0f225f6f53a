#include "simtelemetry.h"

#include <algorithm>
#include <cmath>

namespace pelrasim {

namespace {

constexpr quint16 RegConfig = 0x0480;
constexpr quint16 RegStatus = 0x0481;
constexpr quint16 RegSelection = 0x0484;
constexpr quint16 FirstResult = 0x0400;
constexpr int ResultCount = 96;
constexpr quint16 RegCardPower = 0x0300;
constexpr quint16 RegAsicPower[2] = {0x0320, 0x0340};

constexpr double CurrentStep = 625.0 / 262144.0;
constexpr double WireOhms = 0.1;          // supply to ASIC, each way

bool inRange(quint16 code, quint16 first, quint16 last)
{
    return code >= first && code <= last;
}

bool isItem(quint16 code)
{
    return inRange(code, 0x0400, 0x045F) && !inRange(code, 0x0414, 0x0416) && !inRange(code, 0x0435, 0x043F)
           && !inRange(code, 0x0454, 0x0456);
}

// How a supply's register code becomes volts.
enum class Dac { Reference, Supply };

double dacVolts(Dac dac, quint16 code)
{
    if (dac == Dac::Reference)
        return code * 4.096 / 4096.0;
    return std::max(0.0, (1.0 - code / 3792.0) * 4.089);
}

// One ASIC supply: its item offset from the ASIC 1 code, the offset of its
// voltage register from 0x0321 (ASIC 2: 0x0341), its enable bit in
// 0x0320/0x0340 (or in 0x0300 for the auxiliary supplies, bit + ASIC
// index) and its load. A negative load sinks current (VSSIO).
struct AsicSupply {
    quint16 code;
    int valueOffset;
    int enableBit;
    bool cardEnable;
    Dac dac;
    double loadOhms;
};

constexpr AsicSupply AsicSupplies[] = {
    {0x0400, 1, 0, false, Dac::Supply, 165},       // VDDAH
    {0x0402, 4, 1, false, Dac::Supply, 120},       // VDDAL
    {0x0404, 0, 2, false, Dac::Reference, 4000},   // VREF
    {0x0406, 7, 8, false, Dac::Supply, 110},       // VDDH
    {0x0408, 10, 9, false, Dac::Supply, 45},       // VDDL
    {0x040A, 13, 10, false, Dac::Supply, 180},     // VDDIO
    {0x040C, 16, 11, false, Dac::Reference, -500}, // VSSIO
    {0x040E, 18, 8, true, Dac::Supply, 600},       // VDDAux
};

// The card's own supplies: item, enable bit in 0x0300 (-1: always on), volts, mA.
struct CardSupply {
    quint16 code;
    int enableBit;
    double volts;
    double milliamps;
};

constexpr CardSupply CardSupplies[] = {
    {0x0417, 0, 4.95, 40},     // ASIC_5V, plus what the ASIC supplies draw
    {0x0418, -1, 4.98, 350},   // FPGA
    {0x0419, -1, 3.30, 210},   // VDD_3p3
    {0x041A, -1, 2.50, 120},   // VDD_2p5
    {0x041B, -1, 1.80, 150},   // VDD_1p8
    {0x041C, -1, 1.20, 420},   // VDD_1p2
    {0x041D, 1, 3.30, 260},    // GIGE_3p3
    {0x041E, -1, 4.90, 480},   // USB_5V
    {0x041F, -1, 3.30, 85},    // USB_3p3
};

// Ground nodes in volts above the card's GND.
constexpr double DGnd = 0.0021;
constexpr double AGndClean = 0.0008;
constexpr double AGndDirty = 0.0035;
constexpr double AsicAnalogGnd = 0.0012;
constexpr double AsicDigitalGnd = 0.0017;

// Divisors of the set measurement, by current code.
double setDivisor(quint16 code)
{
    if (inRange(code, 0x0440, 0x0443) || inRange(code, 0x044C, 0x044D))
        return 1;
    if (inRange(code, 0x0444, 0x0445))
        return 20;
    if (inRange(code, 0x0446, 0x044B) || inRange(code, 0x044E, 0x044F))
        return 2;
    if (inRange(code, 0x0450, 0x0457) || code == 0x045C)
        return 0.05;
    return 0.1;
}

const AsicSupply *asicSupply(quint16 code, int *asic)
{
    for (const AsicSupply &s : AsicSupplies) {
        if (code == s.code || code == s.code + 1) {
            *asic = code - s.code;
            return &s;
        }
    }
    return nullptr;
}

bool enabled(const AsicSupply &s, int asic, const std::vector<quint16> &regs)
{
    if (s.cardEnable)
        return regs[RegCardPower] & (1u << (s.enableBit + asic));
    return regs[RegAsicPower[asic]] & (1u << s.enableBit);
}

double asicSupplyVolts(const AsicSupply &s, int asic, const std::vector<quint16> &regs)
{
    if (!enabled(s, asic, regs))
        return 0;
    return dacVolts(s.dac, regs[size_t(RegAsicPower[asic] + 1 + s.valueOffset)]);
}

double asicSupplyMilliamps(const AsicSupply &s, int asic, const std::vector<quint16> &regs)
{
    return asicSupplyVolts(s, asic, regs) / s.loadOhms * 1000.0;
}

// Volts at the ASIC end of a supply's wires.
double atAsic(quint16 supplyCode, const std::vector<quint16> &regs)
{
    int asic = 0;
    const AsicSupply *s = asicSupply(supplyCode, &asic);
    const double volts = asicSupplyVolts(*s, asic, regs);
    return std::max(0.0, volts - asicSupplyMilliamps(*s, asic, regs) / 1000.0 * WireOhms);
}

double returnMilliamps(int asic, bool analogue, const std::vector<quint16> &regs)
{
    double sum = 0;
    for (const AsicSupply &s : AsicSupplies) {
        const bool isAnalogue = s.code <= 0x0404;
        if (!s.cardEnable && isAnalogue == analogue)
            sum += asicSupplyMilliamps(s, asic, regs);
    }
    return -sum;
}

double groundReferenceVolts(quint16 config)
{
    if (config & 0x40)
        return 0;   // AUTO: each item against its own ground
    switch ((config >> 4) & 3) {
    case 1: return DGnd;
    case 2: return AGndClean;
    case 3: return AGndDirty;
    default: return 0;
    }
}

constexpr double RatesHz[4] = {16.7, 20, 83.3, 167};
constexpr int Averages[4] = {1, 2, 4, 8};

}  // namespace

TelemetryConverter::TelemetryConverter(quint32 seed, int busyPercent)
    : results(ResultCount, 0), busyPercent(busyPercent), noise(seed)
{
}

bool TelemetryConverter::answers(quint16 address)
{
    return address == RegStatus || inRange(address, FirstResult, FirstResult + ResultCount - 1);
}

bool TelemetryConverter::watches(quint16 address)
{
    return address == RegConfig || answers(address);
}

double TelemetryConverter::itemVolts(quint16 code, const std::vector<quint16> &regs)
{
    int asic = 0;
    if (const AsicSupply *s = asicSupply(code, &asic))
        return asicSupplyVolts(*s, asic, regs);
    for (const CardSupply &c : CardSupplies) {
        if (c.code == code)
            return (c.enableBit < 0 || (regs[RegCardPower] & (1u << c.enableBit))) ? c.volts : 0;
    }
    const int second = code & 1;
    switch (code) {
    case 0x0410: case 0x0411: return AsicAnalogGnd;                 // GNDA
    case 0x0412: case 0x0413: return AsicDigitalGnd;                // GND
    case 0x0420: case 0x0421: return atAsic(0x0402 + second, regs); // VDDAL_ASIC
    case 0x0422: case 0x0423: return atAsic(0x0400 + second, regs); // Sen_VDDAH
    case 0x0424: case 0x0425: return atAsic(0x0402 + second, regs); // Sen_VDDAL
    case 0x0426: case 0x0427: return AsicAnalogGnd - returnMilliamps(second, true, regs) / 1000.0 * WireOhms;
    case 0x0428: case 0x0429: return atAsic(0x0408 + second, regs); // VDDL_ASIC
    case 0x042A: case 0x042B: return atAsic(0x0406 + second, regs); // Sen_VDDH
    case 0x042C: case 0x042D: return atAsic(0x0408 + second, regs); // Sen_VDDL
    case 0x042E: case 0x042F: return AsicDigitalGnd - returnMilliamps(second, false, regs) / 1000.0 * WireOhms;
    case 0x0430: case 0x0431: return atAsic(0x0404 + (code - 0x0430), regs);   // VREF_ASIC
    case 0x0432: return AGndClean;
    case 0x0433: return AGndDirty;
    case 0x0434: return DGnd;
    default: return 0;
    }
}

double TelemetryConverter::supplyMilliamps(quint16 supplyCode, const std::vector<quint16> &regs)
{
    int asic = 0;
    if (const AsicSupply *s = asicSupply(supplyCode, &asic))
        return asicSupplyMilliamps(*s, asic, regs);
    if (supplyCode == 0x0410 || supplyCode == 0x0411)
        return returnMilliamps(supplyCode - 0x0410, true, regs);
    if (supplyCode == 0x0412 || supplyCode == 0x0413)
        return returnMilliamps(supplyCode - 0x0412, false, regs);
    for (const CardSupply &c : CardSupplies) {
        if (c.code != supplyCode)
            continue;
        if (c.enableBit >= 0 && !(regs[RegCardPower] & (1u << c.enableBit)))
            return 0;
        if (supplyCode != 0x0417)
            return c.milliamps;
        // The ASIC supplies are regulated down from 5 V at about 80 % efficiency.
        double watts = 0;
        for (int asic = 0; asic < 2; ++asic) {
            for (const AsicSupply &s : AsicSupplies)
                watts += std::abs(asicSupplyVolts(s, asic, regs) * asicSupplyMilliamps(s, asic, regs));
        }
        return c.milliamps + watts / 0.8 / c.volts;
    }
    return 0;
}

quint16 TelemetryConverter::encodeCurrent(double steps)
{
    for (int exponent = 0; exponent <= 7; ++exponent) {
        const long mantissa = std::lround(steps / double(1 << exponent));
        if (mantissa >= -4096 && mantissa <= 4095)
            return quint16((exponent << 13) | (mantissa & 0x1FFF));
    }
    return quint16((7 << 13) | (steps < 0 ? 0x1000 : 0x0FFF));
}

double TelemetryConverter::itemDurationMs(quint16 code, quint16 config) const
{
    const bool current = code >= 0x0440;
    const int rate = (config >> (current ? 12 : 8)) & 3;
    const int averaging = (config >> (current ? 14 : 10)) & 3;
    return Averages[averaging] / RatesHz[rate] * 1000.0 * busyPercent / 100.0;
}

quint16 TelemetryConverter::measure(quint16 code, const std::vector<quint16> &regs)
{
    const quint16 config = regs[RegConfig];
    const bool current = code >= 0x0440;
    const int rate = (config >> (current ? 12 : 8)) & 3;
    const int averaging = (config >> (current ? 14 : 10)) & 3;
    // Faster sampling is noisier; averaging n samples divides the noise by sqrt(n).
    const double spread = std::sqrt(RatesHz[rate] / RatesHz[0]) / std::sqrt(double(Averages[averaging]));
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double jitter = std::clamp(gauss(noise), -3.0, 3.0) * spread;

    if (!current) {
        const double volts = itemVolts(code, regs) - groundReferenceVolts(config) + 0.0005 * jitter;
        return quint16(std::clamp(std::lround(volts * 65536.0 / 5.0), 0L, 65535L));
    }
    const double milliamps = supplyMilliamps(code - 0x40, regs);
    const double noisy = milliamps * (1.0 + 0.002 * jitter) + 0.002 * jitter;
    return encodeCurrent(noisy * setDivisor(code) / CurrentStep);
}

void TelemetryConverter::advance(const std::vector<quint16> &regs, qint64 nowMs)
{
    const qint64 elapsed = nowMs - lastMs;
    lastMs = nowMs;
    if (!busy || !(regs[RegConfig] & 1))
        return;
    remainingMs -= double(elapsed);
    if (remainingMs > 0)
        return;
    for (quint16 code : pending)
        results[size_t(code - FirstResult)] = measure(code, regs);
    pending.clear();
    busy = false;
}

void TelemetryConverter::start(const std::vector<quint16> &items, const std::vector<quint16> &regs, qint64 nowMs)
{
    pending = items;
    remainingMs = 0;
    for (quint16 code : items)
        remainingMs += itemDurationMs(code, regs[RegConfig]);
    busy = true;
    lastMs = nowMs;
    // A converter set to take no time at all is done at once.
    advance(regs, nowMs);
}

quint16 TelemetryConverter::read(quint16 address, const std::vector<quint16> &regs, qint64 nowMs)
{
    advance(regs, nowMs);
    if (address == RegStatus)
        return busy ? 1 : 0;
    return results[size_t(address - FirstResult)];
}

void TelemetryConverter::write(quint16 address, quint16 value, const std::vector<quint16> &regs, qint64 nowMs)
{
    // The time up to this write ran under the configuration stored so far.
    advance(regs, nowMs);
    if (address == RegConfig || value != 0)
        return;
    if (address != RegStatus) {
        if (isItem(address))
            start({address}, regs, nowMs);
        return;
    }
    std::vector<quint16> items;
    for (int word = 0; word < 6; ++word) {
        const quint16 bits = regs[size_t(RegSelection + word)];
        const quint16 base = quint16(FirstResult + (word < 4 ? word * 16 : 0x40 + (word - 4) * 16));
        for (int bit = 0; bit < 16; ++bit) {
            const quint16 code = quint16(base + bit);
            if ((bits & (1u << bit)) && isItem(code))
                items.push_back(code);
        }
    }
    start(items, regs, nowMs);
}

}  // namespace pelrasim
