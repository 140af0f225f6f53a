// The telemetry operations of the card link against simulated cards over the
// serial link: register traffic, the telemetry clock, time-outs and values.
#include "pelrapackets.h"
#include "simfixture.h"

using pelrasim::Fault;
using pelrasim::Link;
using PelraPacket::CardRead;
using PelraPacket::CardWrite;

namespace {

// Card 1 converts quickly; card 2's converter is so slow that every
// measurement runs into the shortened time limits.
QString TelemetryScenario()
{
    return QStringLiteral(R"([card1]
id=0x0501
position=1
firmware=tambril
asics=tambril,tambril
telemetry_busy_percent=2
uart=ttySOL0

[card2]
id=0x0502
position=2
firmware=tambril
telemetry_busy_percent=100000
uart=ttySOL0
)");
}

constexpr quint16 Fast = 0x0501;
constexpr quint16 Slow = 0x0502;

// The supply-voltage code of VDDAHIGH for 3.3 V, and what it reads back as.
constexpr quint16 Code3V3 = 732;
constexpr double Volts3V3 = (1.0 - 732 / 3792.0) * 4.089;

// The packets a card received, with repeated status polls shown once.
QList<QByteArray> Traffic(const pelrasim::Simulator &sim, quint16 cardId)
{
    QList<QByteArray> packets;
    for (const QByteArray &p : sim.receivedPackets(cardId, Link::UART)) {
        const bool statusPoll = p.size() == 4 && p.at(0) == char(0x88) && p.mid(2) == QByteArray::fromHex("0481");
        if (packets.isEmpty() || packets.last() != p || !statusPoll)
            packets << p;
    }
    return packets;
}

}  // namespace

class TestTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void setConfig_groundAutoOrFixed_keepsOtherBits_data();
    void setConfig_groundAutoOrFixed_keepsOtherBits();
    void setConfig_invalidIndexes_writeNothing();
    void getConfig_splitsTheWord();
    void getConfig_readFailure_leavesOutputs();
    void oneItem_clockOff_switchedOnAndOffAgain();
    void oneItem_clockOn_rewrittenUnchanged();
    void oneItem_invalidCodes_refusedWithoutTraffic_data();
    void oneItem_invalidCodes_refusedWithoutTraffic();
    void oneItem_configReadFails_reportsAndStops();
    void twoItems_voltageThenCurrent();
    void twoItems_notASupply_refused();
    void timeouts_reportStatusAndRestoreClock();
    void set_measuresListAndReportsRejectedCodes();
    void set_disabledSupplyReadsAboutZero();

private:
    SimFixture fx;
    PelraInterface link;
};

void TestTelemetry::initTestCase()
{
    const QString error = fx.start(TelemetryScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(fx.attach(link, Fast, InterfaceUART));
    link.SetTelemetryWaits(300, 600, 20);
}

void TestTelemetry::init()
{
    // A read is answered only after every packet sent before it was taken,
    // so the last test's writes cannot land on this test's registers.
    quint32 probe = 0;
    QVERIFY(link.ReadPELRAReg(0x0008, probe, 0x01));
    for (quint16 card : {Fast, Slow}) {
        fx.sim->setCardRegister(card, 0x0480, 0);
        fx.sim->setCardRegister(card, 0x0300, 0);
        fx.sim->setCardRegister(card, 0x0320, 0x0001);     // VDDAHIGH1 on
        fx.sim->setCardRegister(card, 0x0322, Code3V3);
        fx.sim->setCardRegister(card, 0x0340, 0);
    }
    fx.sim->clearFaults();
    fx.sim->clearTraffic();
}

void TestTelemetry::setConfig_groundAutoOrFixed_keepsOtherBits_data()
{
    QTest::addColumn<quint16>("old");
    QTest::addColumn<int>("ground");
    QTest::addColumn<quint16>("written");
    QTest::newRow("AUTO sets bit 6, clears 4-5") << quint16(0x00BF) << 4 << quint16(0x798F | 0x40);
    QTest::newRow("GND") << quint16(0x00CF) << 0 << quint16(0x798F);
    QTest::newRow("DGND") << quint16(0x0040) << 1 << quint16(0x7910);
    QTest::newRow("AGND_CLEAN") << quint16(0xFF01) << 2 << quint16(0x7921);
    QTest::newRow("AGND_DIRTY") << quint16(0x0000) << 3 << quint16(0x7930);
}

void TestTelemetry::setConfig_groundAutoOrFixed_keepsOtherBits()
{
    QFETCH(quint16, old);
    QFETCH(int, ground);
    QFETCH(quint16, written);
    fx.sim->setCardRegister(Fast, 0x0480, old);
    QVERIFY2(link.SetTLMConfig(1, 2, 3, 1, quint16(ground), 0x01), qPrintable(link.ErrorString()));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Fast, 0x0480), written, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(Traffic(*fx.sim, Fast), (QList<QByteArray>{CardRead(0x0480, 0x01), CardWrite(0x0480, written, 0x01)}), 1000);
}

void TestTelemetry::setConfig_invalidIndexes_writeNothing()
{
    const QVector<QVector<quint16>> bad = {{4, 0, 0, 0, 0}, {0, 4, 0, 0, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 4, 0},
                                           {0, 0, 0, 0, 5}};
    for (const QVector<quint16> &b : bad) {
        QVERIFY(!link.SetTLMConfig(b[0], b[1], b[2], b[3], b[4], 0x01));
        QCOMPARE(link.ErrorString(), QStringLiteral("Invalid sample rate / average / ground reference"));
    }
    QCOMPARE(fx.sim->packetCount(Fast, Link::UART), 0);
}

void TestTelemetry::getConfig_splitsTheWord()
{
    fx.sim->setCardRegister(Fast, 0x0480, 0x6E71);   // AUTO wins over bits 4-5
    quint16 vRate = 9, vAvg = 9, iRate = 9, iAvg = 9, ground = 9;
    QVERIFY(link.GetTLMConfig(vRate, vAvg, iRate, iAvg, ground, 0x01));
    QCOMPARE((QVector<quint16>{vRate, vAvg, iRate, iAvg, ground}), (QVector<quint16>{2, 3, 2, 1, 4}));
    fx.sim->setCardRegister(Fast, 0x0480, 0x0020);
    QVERIFY(link.GetTLMConfig(vRate, vAvg, iRate, iAvg, ground, 0x01));
    QCOMPARE((QVector<quint16>{vRate, vAvg, iRate, iAvg, ground}), (QVector<quint16>{0, 0, 0, 0, 2}));
}

void TestTelemetry::getConfig_readFailure_leavesOutputs()
{
    fx.sim->setFault(Fast, Link::UART, Fault::WrongCode, 1);
    quint16 vRate = 9, vAvg = 9, iRate = 9, iAvg = 9, ground = 9;
    QVERIFY(!link.GetTLMConfig(vRate, vAvg, iRate, iAvg, ground, 0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading PELRA h0480 for telemetry configuration failed"));
    QCOMPARE((QVector<quint16>{vRate, vAvg, iRate, iAvg, ground}), (QVector<quint16>{9, 9, 9, 9, 9}));
}

void TestTelemetry::oneItem_clockOff_switchedOnAndOffAgain()
{
    fx.sim->setCardRegister(Fast, 0x0480, 0x5500);
    float volts = -1;
    QVERIFY2(link.GetOneTelemetry(0x0400, volts, 0x01), qPrintable(link.ErrorString()));
    QVERIFY2(qAbs(volts - Volts3V3) < 0.005, qPrintable(QString::number(volts)));
    QVERIFY(link.ErrorString().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Fast, 0x0480), quint16(0x5500), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(Traffic(*fx.sim, Fast), (QList<QByteArray>{CardRead(0x0480, 1), CardWrite(0x0480, 0x5501, 1),
                                                        CardWrite(0x0400, 0, 1), CardRead(0x0481, 1),
                                                        CardRead(0x0400, 1), CardWrite(0x0480, 0x5500, 1)}), 1000);
}

void TestTelemetry::oneItem_clockOn_rewrittenUnchanged()
{
    fx.sim->setCardRegister(Fast, 0x0480, 0x0041);
    float volts = -1;
    QVERIFY2(link.GetOneTelemetry(0x0434, volts, 0x01), qPrintable(link.ErrorString()));
    QVERIFY(volts >= 0 && volts < 0.01);   // DGND, a few millivolts
    QTRY_COMPARE_WITH_TIMEOUT(Traffic(*fx.sim, Fast), (QList<QByteArray>{CardRead(0x0480, 1), CardWrite(0x0434, 0, 1),
                                                        CardRead(0x0481, 1), CardRead(0x0434, 1),
                                                        CardWrite(0x0480, 0x0041, 1)}), 1000);
}

void TestTelemetry::oneItem_invalidCodes_refusedWithoutTraffic_data()
{
    QTest::addColumn<quint16>("code");
    for (quint16 code : {0x03FF, 0x0414, 0x0416, 0x0435, 0x043F, 0x0454, 0x0456, 0x0460})
        QTest::newRow(qPrintable(QString::number(code, 16))) << code;
}

void TestTelemetry::oneItem_invalidCodes_refusedWithoutTraffic()
{
    QFETCH(quint16, code);
    float value = -1;
    QVERIFY(!link.GetOneTelemetry(code, value, 0x01));
    QCOMPARE(value, 0.0f);
    QCOMPARE(link.ErrorString(),
             QStringLiteral("Invlid telemetry addr. Should be in the range [0x0400 - 0x045f], excluding [0x0414 - "
                            "0x0416], [0x0454 - 0x0456], [0x0435- 0x043f]"));
    QCOMPARE(fx.sim->packetCount(Fast, Link::UART), 0);
}

void TestTelemetry::oneItem_configReadFails_reportsAndStops()
{
    fx.sim->setFault(Fast, Link::UART, Fault::WrongCode, 1);
    float value = -1;
    QVERIFY(!link.GetOneTelemetry(0x0400, value, 0x01));
    QVERIFY2(link.ErrorString().startsWith(QStringLiteral("Reading PELRA h0x0480 for telmetry clock failed: ReadPELRA")),
             qPrintable(link.ErrorString()));
    QCOMPARE(value, 0.0f);
    QCOMPARE(fx.sim->packetCount(Fast, Link::UART), 1);
}

void TestTelemetry::twoItems_voltageThenCurrent()
{
    float volts = -1, milliamps = -1;
    QVERIFY2(link.GetTwoTelemetries(0x0400, volts, milliamps, 0x01), qPrintable(link.ErrorString()));
    QVERIFY2(qAbs(volts - Volts3V3) < 0.005, qPrintable(QString::number(volts)));
    // the simulated VDDAHIGH load is 165 ohm
    const double expected = Volts3V3 / 165 * 1000;
    QVERIFY2(qAbs(milliamps - expected) < expected * 0.02, qPrintable(QString::number(milliamps)));
    QTRY_COMPARE_WITH_TIMEOUT(Traffic(*fx.sim, Fast),
             (QList<QByteArray>{CardRead(0x0480, 1), CardWrite(0x0480, 1, 1), CardWrite(0x0400, 0, 1),
                                CardRead(0x0481, 1), CardRead(0x0400, 1), CardWrite(0x0440, 0, 1), CardRead(0x0481, 1),
                                CardRead(0x0440, 1), CardWrite(0x0480, 0, 1)}), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Fast, 0x0480), quint16(0), 1000);
}

void TestTelemetry::twoItems_notASupply_refused()
{
    for (quint16 code : {0x0414, 0x0420, 0x0440, 0x03FF}) {
        float volts = -1, milliamps = -1;
        QVERIFY(!link.GetTwoTelemetries(code, volts, milliamps, 0x01));
        QCOMPARE(link.ErrorString(),
                 QStringLiteral("Invlid telemetry item (address). It should be in the range for [0x0400 - 0x041f]"));
        QCOMPARE(volts, 0.0f);
        QCOMPARE(milliamps, 0.0f);
    }
    QCOMPARE(fx.sim->packetCount(Fast, Link::UART), 0);
}

// Card 2 never finishes within the shortened limits; each operation must
// give up with the last status and leave 0x0480 as it was.
void TestTelemetry::timeouts_reportStatusAndRestoreClock()
{
    const QString timeout = QStringLiteral("Waiting for telemetry measurement timeout: Readback of 0x0481=1");
    for (quint16 clock : {quint16(0x0300), quint16(0x0301)}) {
        fx.sim->setCardRegister(Slow, 0x0480, clock);
        float value = -1, current = -1;
        QVERIFY(!link.GetOneTelemetry(0x0418, value, 0x02));
        QCOMPARE(link.ErrorString(), timeout);
        QCOMPARE(value, 0.0f);
        QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Slow, 0x0480), clock, 1000);

        QVERIFY(!link.GetTwoTelemetries(0x0418, value, current, 0x02));
        QCOMPARE(link.ErrorString(), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Slow, 0x0480), clock, 1000);

        const quint16 codes[] = {0x0400, 0x0440};
        float values[2] = {-1, -1};
        QVERIFY(!link.GetTelemetrySet(codes, 2, values, 0x02));
        QCOMPARE(link.ErrorString(), timeout);
        QCOMPARE(values[0], 0.0f);
        QCOMPARE(values[1], 0.0f);
        QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Slow, 0x0480), clock, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(fx.sim->receivedPackets(Slow, Link::UART).last(), CardWrite(0x0480, clock, 0x02), 1000);
    }
}

void TestTelemetry::set_measuresListAndReportsRejectedCodes()
{
    fx.sim->setCardRegister(Fast, 0x0484, 0xFFFF);
    const quint16 codes[] = {0x0400, 0x0414, 0x0435, 0x0440, 0x0419, 0x045E};
    float values[6] = {-1, -1, -1, -1, -1, -1};
    QVERIFY(!link.GetTelemetrySet(codes, 6, values, 0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("0x0435, "));
    QVERIFY2(qAbs(values[0] - Volts3V3) < 0.005, qPrintable(QString::number(values[0])));
    QVERIFY2(qAbs(values[3] - Volts3V3 / 165 * 1000) < 0.5, qPrintable(QString::number(values[3])));
    QVERIFY2(qAbs(values[4] - 3.3) < 0.01, qPrintable(QString::number(values[4])));     // VDD_3p3
    QVERIFY2(values[5] > 400 && values[5] < 600, qPrintable(QString::number(values[5])));   // USB_5V
    // 0x0414 is left out silently, 0x0435 has no bit
    const quint16 words[] = {0x0001, 0x0200, 0x0000, 0x0000, 0x0001, 0x4000};
    for (int w = 0; w < 6; ++w)
        QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(Fast, quint16(0x0484 + w)), words[w], 1000);

    QTRY_COMPARE_WITH_TIMEOUT(Traffic(*fx.sim, Fast).size(), 7, 1000);
    const QList<QByteArray> traffic = Traffic(*fx.sim, Fast);
    QCOMPARE(traffic.first(), CardRead(0x0480, 1));
    QCOMPARE(traffic.at(1), CardWrite(0x0480, 1, 1));
    const quint32 block[] = {0x0001, 0x0200, 0x0000, 0x0000, 0x0001, 0x4000};
    QCOMPARE(traffic.at(2), PelraPacket::CardBlockWrite(0x0484, 6, block, 1));
    QCOMPARE(traffic.at(3), CardWrite(0x0481, 0, 1));
    QCOMPARE(traffic.at(4), CardRead(0x0481, 1));
    QCOMPARE(traffic.at(5), PelraPacket::CardBlockRead(0x0400, 96, 1));
    QCOMPARE(traffic.at(6), CardWrite(0x0480, 0, 1));
}

void TestTelemetry::set_disabledSupplyReadsAboutZero()
{
    fx.sim->setCardRegister(Fast, 0x0320, 0);
    const quint16 codes[] = {0x0400, 0x0440, 0x041D, 0x045D};
    float values[4] = {-1, -1, -1, -1};
    QVERIFY2(link.GetTelemetrySet(codes, 4, values, 0x01), qPrintable(link.ErrorString()));
    QVERIFY(link.ErrorString().isEmpty());
    QVERIFY2(values[0] < 0.005f, qPrintable(QString::number(values[0])));
    QVERIFY2(qAbs(values[1]) < 0.1f, qPrintable(QString::number(values[1])));
    // GIGE_POWER off
    QVERIFY2(values[2] < 0.005f, qPrintable(QString::number(values[2])));
    QVERIFY2(qAbs(values[3]) < 0.1f, qPrintable(QString::number(values[3])));
}

QTEST_GUILESS_MAIN(TestTelemetry)
#include "tst_telemetry.moc"
