// The simulated telemetry converter on its own: conversion times, the
// telemetry clock, set measurements, and results that follow the power
// registers, the ground reference and the averaging.
#include "pelrasim.h"
#include "simtelemetry.h"
#include "telemetryconvert.h"

#include <QtTest>

#include <cmath>
#include <vector>

using pelrasim::TelemetryConverter;

namespace {

struct Card {
    std::vector<quint16> regs = std::vector<quint16>(0x10000, 0);
    TelemetryConverter tlm{0x0412, 100};
    qint64 now = 1000;

    void write(quint16 address, quint16 value)
    {
        if (TelemetryConverter::watches(address))
            tlm.write(address, value, regs, now);
        regs[address] = value;
    }
    quint16 read(quint16 address) { return tlm.read(address, regs, now); }
    bool busy() { return read(0x0481) & 1; }
    // Starts a single measurement and returns its raw result.
    quint16 measure(quint16 code)
    {
        write(code, 0);
        now += 100000;
        return read(code);
    }
};

constexpr double Step = 5.0 / 65536.0;

}  // namespace

class TestSimTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void single_busyForSamplesAtRate_data();
    void single_busyForSamplesAtRate();
    void clockOff_pausesTheConversion();
    void set_measuresSelectedItemsInOneRun();
    void results_followPowerRegisters();
    void groundReference_shiftsVoltages();
    void averaging_narrowsTheNoise();
    void currentFormat_roundTripsThroughTheLinkConversion_data();
    void currentFormat_roundTripsThroughTheLinkConversion();
    void scenario_busyPercentKey();
};

void TestSimTelemetry::single_busyForSamplesAtRate_data()
{
    QTest::addColumn<quint16>("config");
    QTest::addColumn<quint16>("code");
    QTest::addColumn<int>("busyMs");
    // clock on; 16.7 Hz, 1 sample: 59.9 ms
    QTest::newRow("voltage, slowest, 1 sample") << quint16(0x0001) << quint16(0x0400) << 59;
    QTest::newRow("voltage, 8 samples") << quint16(0x0C01) << quint16(0x0400) << 479;
    QTest::newRow("voltage, 167 Hz") << quint16(0x0301) << quint16(0x0400) << 5;
    // currents follow bits 12-15, not the voltage half
    QTest::newRow("current, 83.3 Hz, 4 samples") << quint16(0xAF01) << quint16(0x0440) << 48;
}

void TestSimTelemetry::single_busyForSamplesAtRate()
{
    QFETCH(quint16, config);
    QFETCH(quint16, code);
    QFETCH(int, busyMs);
    Card card;
    card.write(0x0480, config);
    card.write(code, 0);
    QVERIFY(card.busy());
    card.now += busyMs;
    QVERIFY(card.busy());
    card.now += 1;
    QVERIFY(!card.busy());
}

void TestSimTelemetry::clockOff_pausesTheConversion()
{
    Card card;
    card.write(0x0400, 0);      // started with the clock off
    card.now += 10000;
    QVERIFY(card.busy());
    card.write(0x0480, 0x0001);
    card.now += 40;
    QVERIFY(card.busy());
    card.write(0x0480, 0x0000);  // 40 of 60 ms done, then paused
    card.now += 10000;
    QVERIFY(card.busy());
    card.write(0x0480, 0x0001);
    card.now += 19;
    QVERIFY(card.busy());
    card.now += 1;
    QVERIFY(!card.busy());
}

void TestSimTelemetry::set_measuresSelectedItemsInOneRun()
{
    Card card;
    card.regs[0x0320] = 0x0001;
    card.regs[0x0322] = 732;       // VDDAHIGH1 3.300 V
    card.write(0x0480, 0x0001);
    card.write(0x0484, 0x0001);    // 0x0400
    card.write(0x0485, 0x0200);    // 0x0419
    card.write(0x0488, 0x0001);    // 0x0440
    card.write(0x0481, 0);
    // three items of 59.9 ms each
    card.now += 179;
    QVERIFY(card.busy());
    QCOMPARE(card.read(0x0400), quint16(0));
    card.now += 1;
    QVERIFY(!card.busy());
    QVERIFY(qAbs(card.read(0x0400) * Step - 3.29967) < 0.002);
    QVERIFY(qAbs(card.read(0x0419) * Step - 3.3) < 0.002);
    QVERIFY(card.read(0x0440) != 0);
    QCOMPARE(card.read(0x041A), quint16(0));   // not selected
}

void TestSimTelemetry::results_followPowerRegisters()
{
    Card card;
    card.write(0x0480, 0x0001);
    // disabled: about 0 V whatever the code
    card.regs[0x0342] = 732;
    QVERIFY(card.measure(0x0401) * Step < 0.002);
    QVERIFY(std::abs(Telemetry::RawToCurrent(card.measure(0x0441), 1)) < 0.01);
    // enabled through 0x0340 bit 0: the applied voltage, 3.3 V into 165 ohm
    card.regs[0x0340] = 0x0001;
    QVERIFY(qAbs(card.measure(0x0401) * Step - 3.29967) < 0.002);
    QVERIFY(qAbs(Telemetry::RawToCurrent(card.measure(0x0441), 1) - 3.29967 / 165 * 1000) < 0.2);
    // the references are their code in millivolts; VSSIO sinks current
    card.regs[0x0320] = 0x0804;
    card.regs[0x0321] = 2048;
    card.regs[0x0331] = 500;
    QVERIFY(qAbs(card.measure(0x0404) * Step - 2.048) < 0.002);
    QVERIFY(qAbs(card.measure(0x040C) * Step - 0.5) < 0.002);
    QVERIFY(Telemetry::RawToCurrent(card.measure(0x044C), 1) < -0.9);
    // auxiliary supplies are switched in 0x0300, as is the GigE power
    card.regs[0x0333] = 1937;
    QVERIFY(card.measure(0x040E) * Step < 0.002);
    card.regs[0x0300] = 0x0102;
    QVERIFY(qAbs(card.measure(0x040E) * Step - 2.0) < 0.002);
    QVERIFY(qAbs(card.measure(0x041D) * Step - 3.3) < 0.002);
    // codes without an item read 0
    QCOMPARE(card.measure(0x0414), quint16(0));
}

void TestSimTelemetry::groundReference_shiftsVoltages()
{
    Card card;
    card.write(0x0480, 0x0001);                    // GND
    const double dgnd = card.measure(0x0434) * Step;
    QVERIFY(dgnd > 0.0005 && dgnd < 0.004);
    card.write(0x0480, 0x0011);                    // DGND: DGND itself reads about 0
    QVERIFY(card.measure(0x0434) * Step < 0.0015);
    const double rail = card.measure(0x0419) * Step;
    QVERIFY(qAbs(rail - (3.3 - dgnd)) < 0.004);
    card.write(0x0480, 0x0051);                    // AUTO wins over bits 4-5
    QVERIFY(card.measure(0x0434) * Step > 0.0005);
}

void TestSimTelemetry::averaging_narrowsTheNoise()
{
    const auto spread = [](quint16 config) {
        Card card;
        card.write(0x0480, config);
        double low = 10, high = 0;
        for (int i = 0; i < 200; ++i) {
            const double v = card.measure(0x0419) * Step;
            low = qMin(low, v);
            high = qMax(high, v);
        }
        return high - low;
    };
    const double single = spread(0x0001);
    const double eight = spread(0x0C01);
    QVERIFY(single > 0);
    QVERIFY2(eight < single / 2, qPrintable(QStringLiteral("%1 %2").arg(single).arg(eight)));
    QVERIFY(spread(0x0301) > single);   // 167 Hz is noisier than 16.7 Hz
}

void TestSimTelemetry::currentFormat_roundTripsThroughTheLinkConversion_data()
{
    QTest::addColumn<double>("milliamps");
    QTest::addColumn<double>("divisor");
    for (double mA : {0.0, 0.5, 20.0, -0.8, 350.0, 1000.0})
        for (double d : {1.0, 20.0, 0.05, 0.1})
            if (std::abs(mA) * d < 1200)
                QTest::newRow(qPrintable(QStringLiteral("%1 mA / %2").arg(mA).arg(d))) << mA << d;
}

void TestSimTelemetry::currentFormat_roundTripsThroughTheLinkConversion()
{
    QFETCH(double, milliamps);
    QFETCH(double, divisor);
    const quint16 raw = TelemetryConverter::encodeCurrent(milliamps * divisor / (625.0 / 262144.0));
    const double back = Telemetry::RawToCurrent(raw, divisor);
    // the mantissa keeps 12 bits
    QVERIFY2(std::abs(back - milliamps) <= std::abs(milliamps) / 2048 + 0.0025 / divisor,
             qPrintable(QStringLiteral("%1 -> 0x%2 -> %3").arg(milliamps).arg(raw, 0, 16).arg(back)));
}

void TestSimTelemetry::scenario_busyPercentKey()
{
    const QString card = QStringLiteral("[card1]\nid = 1\nuart = ttyX\ntelemetry_busy_percent = %1\n");
    pelrasim::Simulator sim;
    QString error;
    QVERIFY2(sim.loadScenarioText(card.arg(0), &error), qPrintable(error));
    QVERIFY(sim.loadScenarioText(card.arg(100000), &error));
    QVERIFY(!sim.loadScenarioText(card.arg(100001), &error));
    QVERIFY(!sim.loadScenarioText(card.arg(QStringLiteral("fast")), &error));
    QVERIFY(error.contains(QStringLiteral("telemetry_busy_percent")));
}

QTEST_APPLESS_MAIN(TestSimTelemetry)
#include "tst_simtelemetry.moc"
