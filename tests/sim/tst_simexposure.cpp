// The simulated ASICs' exposure model: ramp registers and trigger/stop
// writes named by the scenario, driven with raw packets over the USB bridge
// stand-in; and the test-pattern set-up registers that the card keeps.
#include "simprotocol.h"
#include "simscenario.h"
#include "simtestsupport.h"

#include <QtTest>

using namespace pelrasim;

namespace {

const char *const ExposureCard = R"(
[card1]
id = 0x0412
position = 1
firmware = tambril
asics = tambril, tambril
usb_serial = PELRA0412
asic_groups_reg = 0x4000
asic_reads_reg = 0x4001
asic_resets_reg = 0x4003
asic_drops_reg = 0x4004
asic_drops_high_reg = 0x4005
asic_trigger_reg = 0x6900
asic_trigger_value = 1
asic_stop_value = 0
)";

}  // namespace

class TestSimExposure : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimUnderTest> sim;
    std::unique_ptr<UsbPort> port;

private slots:
    void init()
    {
        sim = std::make_unique<SimUnderTest>();
        QVERIFY2(sim->start(QString::fromLatin1(ExposureCard)), qPrintable(sim->error));
        port = std::make_unique<UsbPort>();
        QVERIFY(port->open("PELRA0412"));
    }
    void cleanup()
    {
        port.reset();
        sim.reset();
    }

    void rampRegisters_giveTheShape_dropsJoinedFromTwoRegisters()
    {
        for (const auto &w : {qMakePair(0x4000, 4), qMakePair(0x4001, 2), qMakePair(0x4003, 3),
                              qMakePair(0x4004, 0x2345), qMakePair(0x4005, 1)})
            QVERIFY(port->send(protocol::asicWrite(0x01, quint16(w.first), quint32(w.second), false)));
        QVERIFY(port->sync());
        const ExposureState a1 = sim->sim.asicExposure(0x0412, 0);
        QCOMPARE(a1.shape.groups, 4u);
        QCOMPARE(a1.shape.reads, 2u);
        QCOMPARE(a1.shape.resets, 3u);
        QCOMPARE(a1.shape.drops, 0x12345u);
        QVERIFY(!a1.exposing);
        // Only ASIC 1 was selected.
        QCOMPARE(sim->sim.asicExposure(0x0412, 1).shape.reads, 0u);
    }

    void triggerAndStopValues_startAndEndAnExposure()
    {
        QVERIFY(port->send(protocol::asicWrite(0x03, 0x6900, 1, false)));
        QVERIFY(port->sync());
        for (int asic : {0, 1}) {
            const ExposureState s = sim->sim.asicExposure(0x0412, asic);
            QVERIFY(s.exposing);
            QCOMPARE(s.triggers, 1);
            QCOMPARE(s.stops, 0);
        }
        // Other values are only stored; the stop value ends the exposure.
        QVERIFY(port->send(protocol::asicWrite(0x01, 0x6900, 5, false)));
        QVERIFY(port->sync());
        QVERIFY(sim->sim.asicExposure(0x0412, 0).exposing);
        QVERIFY(port->send(protocol::asicWrite(0x01, 0x6900, 0, false)));
        QVERIFY(port->sync());
        const ExposureState stopped = sim->sim.asicExposure(0x0412, 0);
        QVERIFY(!stopped.exposing);
        QCOMPARE(stopped.stops, 1);
        QVERIFY(sim->sim.asicExposure(0x0412, 1).exposing);
        // An ASIC the card does not have reports nothing.
        QCOMPARE(sim->sim.asicExposure(0x0412, 2).triggers, 0);
    }

    void patternRegisters_areKeptAsWritten()
    {
        const quint16 registers[] = {0x1B0, 0x1B1, 0x1B2, 0x1B3, 0x1B4, 0x1C2, 0x1C3, 0x1C4,
                                     0x1D2, 0x1D3, 0x1D4, 0x1E2, 0x1E3, 0x1E4};
        quint16 value = 0x0101;
        for (quint16 reg : registers) {
            QVERIFY(port->send(protocol::cardWrite(0x01, reg, value)));
            QCOMPARE(port->ask(protocol::cardRead(0x01, reg), 5), protocol::cardReadReply(reg, value));
            value = quint16(value + 0x0101);
        }
    }

    void scenarioKeys_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("error");   // empty: accepted
        QTest::newRow("hex and decimal") << "asic_reads_reg = 16385\nasic_stop_value = 0x10" << "";
        QTest::newRow("register too large") << "asic_reads_reg = 0x10000" << "is not an ASIC register address";
        QTest::newRow("register not a number") << "asic_trigger_reg = six" << "is not an ASIC register address";
        QTest::newRow("value above 24 bits") << "asic_trigger_value = 0x1000000" << "is not a register value up to 0xffffff";
    }

    void scenarioKeys()
    {
        QFETCH(QString, lines);
        QFETCH(QString, error);
        Scenario scenario;
        QString why;
        const bool ok = parseScenario(QStringLiteral("[card1]\nid = 1\nusb_serial = X\n") + lines, &scenario, &why);
        QCOMPARE(ok, error.isEmpty());
        if (ok) {
            QCOMPARE(scenario.cards.first().exposure.reads, quint16(0x4001));
            QVERIFY(scenario.cards.first().exposure.hasStop);
            QCOMPARE(scenario.cards.first().exposure.stopValue, 0x10u);
        } else {
            QVERIFY2(why.contains(error), qPrintable(why));
        }
    }
};

QTEST_GUILESS_MAIN(TestSimExposure)
#include "tst_simexposure.moc"
