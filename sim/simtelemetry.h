// The card's telemetry converter, and the supplies it measures as the power
// registers set them.
//
//   TelemetryConverter tlm(0x0412, 100);              // seed, busy time in percent
//   tlm.write(0x0400, 0, regs, nowMs);                // start measuring VDDAH1
//   tlm.read(0x0481, regs, nowMs + 100);              // 0 once it is done
//   tlm.read(0x0400, regs, nowMs + 100);              // raw result
//
// `regs` is the card's register storage; the converter reads the telemetry
// configuration 0x0480, the selection words 0x0484-0x0489 and the power
// registers 0x0300-0x0353 from it and keeps its results itself. Time is
// passed in, so the model runs without a clock of its own.
//
// Behaviour:
//  - 0 written to an item's result register (0x0400-0x045F) starts a single
//    measurement; 0 written to 0x0481 measures every item selected in
//    0x0484-0x0489. 0x0481 bit 0 reads 1 until the measurement is done.
//  - A measurement takes, per item, the averaged samples at the sample rate
//    of 0x0480 (voltage or current half), scaled by the busy percentage. It
//    advances only while the telemetry clock (0x0480 bit 0) is on.
//  - Results are computed when a measurement ends: an enabled supply reads
//    the voltage its code sets, a disabled one about 0 V; currents follow the
//    load of each supply in the converter's floating-point current format
//    (scaled with the divisors of a set measurement); voltages are measured
//    against the ground reference of 0x0480. Noise shrinks with averaging.
#pragma once

#include <QtGlobal>

#include <random>
#include <vector>

namespace pelrasim {

class TelemetryConverter
{
public:
    TelemetryConverter(quint32 seed, int busyPercent);

    // Registers whose reads the converter answers: 0x0481 and 0x0400-0x045F.
    static bool answers(quint16 address);
    // Registers whose writes it acts on: those, and the configuration 0x0480.
    static bool watches(quint16 address);

    quint16 read(quint16 address, const std::vector<quint16> &regs, qint64 nowMs);
    // Called before the card stores `value` at `address`.
    void write(quint16 address, quint16 value, const std::vector<quint16> &regs, qint64 nowMs);

    // A value in the current format: mantissa (bits 0-12, two's complement)
    // times 2 to the exponent (bits 13-15), in steps of 625 / 262144.
    static quint16 encodeCurrent(double steps);

private:
    // The card's supplies in volts and milliamperes, without noise.
    static double itemVolts(quint16 code, const std::vector<quint16> &regs);
    static double supplyMilliamps(quint16 supplyCode, const std::vector<quint16> &regs);
    void advance(const std::vector<quint16> &regs, qint64 nowMs);
    void start(const std::vector<quint16> &items, const std::vector<quint16> &regs, qint64 nowMs);
    double itemDurationMs(quint16 code, quint16 config) const;
    quint16 measure(quint16 code, const std::vector<quint16> &regs);

    std::vector<quint16> results;          // raw words of 0x0400-0x045F
    std::vector<quint16> pending;          // items of the running measurement
    bool busy = false;
    double remainingMs = 0;
    qint64 lastMs = 0;
    int busyPercent;
    std::mt19937 noise;
};

}  // namespace pelrasim
