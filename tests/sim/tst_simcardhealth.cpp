// What the simulated card shows the Manual Command tab, driven with raw
// packets over the USB bridge stand-in: the DMA/mSPI flag of ASIC replies,
// OSTERA address auto-increment, error counters, FIFO layouts and the ASIC
// reset.
#include "simcardhealth.h"
#include "simprotocol.h"
#include "simtestsupport.h"

#include <QtTest>

using namespace pelrasim;

namespace {

// One OSTERA card and one TAMBRIL card on the same bridge: ASIC 1 is the
// OSTERA ASIC, ASIC 2 the TAMBRIL one. Counters 0 and 9 start raised.
const char *const Cards = R"(
[card1]
id = 0x0601
position = 1
firmware = ostera
asics = ostera
error_counters = 0:5, 9:3
usb_serial = PELRA0601
[card2]
id = 0x0602
position = 2
firmware = tambril
asics = tambril
fifos = 2
usb_serial = PELRA0601
)";

QVector<quint16> cardWords(const QByteArray &blockReply)
{
    QVector<quint16> out;
    for (int i = 5; i + 1 < blockReply.size(); i += 2)
        out.append(quint16((quint8(blockReply[i]) << 8) | quint8(blockReply[i + 1])));
    return out;
}

quint16 cardValue(const QByteArray &readReply)
{
    return readReply.size() == 5 ? quint16((quint8(readReply[3]) << 8) | quint8(readReply[4])) : 0xDEAD;
}

}  // namespace

class TestSimCardHealth : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimUnderTest> s;
    std::unique_ptr<UsbPort> port;

private slots:
    void init()
    {
        s = std::make_unique<SimUnderTest>();
        QVERIFY2(s->start(QString::fromUtf8(Cards)), qPrintable(s->error));
        port = std::make_unique<UsbPort>();
        QVERIFY(port->open("PELRA0601"));
    }
    void cleanup()
    {
        port.reset();
        s.reset();
    }

    void asicRead_repliesWithTheDmaFlagItWasAskedWith_data()
    {
        QTest::addColumn<bool>("dma");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("plain") << false << QByteArray::fromHex("0004f9a501");
        QTest::newRow("mSPI") << true << QByteArray::fromHex("2004f9a501");
    }
    void asicRead_repliesWithTheDmaFlagItWasAskedWith()
    {
        QFETCH(bool, dma);
        QFETCH(QByteArray, reply);
        QCOMPARE(port->ask(protocol::asicRead(0x01, 0x04F9, false, dma), 5), reply);
    }

    void ostera_addressIncrementOnAtPowerUp_blockCoversConsecutiveRegisters()
    {
        QCOMPARE(cardValue(port->ask(protocol::cardRead(0x01, RegAddressIncrement), 5)), quint16(0x0001));
        port->send(protocol::asicBlockWrite(0x01, 0x0100, {0x11, 0x22, 0x33}, false, true));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0100), 0x11u);
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0101), 0x22u);
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0102), 0x33u);
        QCOMPARE(port->ask(protocol::asicBlockRead(0x01, 0x0100, 3, false, true), 11),
                 QByteArray::fromHex("8001000002" "0011" "0022" "0033"));
    }

    void ostera_addressIncrementOff_everyWordGoesToTheStartRegister()
    {
        // Read-modify-write keeps the other bits of the control register.
        port->send(protocol::cardWrite(0x01, RegAddressIncrement, 0x0010));
        port->send(protocol::asicBlockWrite(0x01, 0x0200, {0x11, 0x22, 0x33}, false, true));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0200), 0x33u);
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0201), 0u);
        QCOMPARE(port->ask(protocol::asicBlockRead(0x01, 0x0200, 2, false, true), 9),
                 QByteArray::fromHex("8002000001" "0033" "0033"));
    }

    void tambril_blocksAlwaysIncrement()
    {
        port->send(protocol::cardWrite(0x02, RegAddressIncrement, 0x0000));
        port->send(protocol::asicBlockWrite(0x02, 0x7000, {0x010203, 0x040506}, true));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.asicRegister(0x0602, 0, 0x7000), 0x010203u);
        QCOMPARE(s->sim.asicRegister(0x0602, 0, 0x7001), 0x040506u);
    }

    void errorCounters_raisedByScenarioAndByInjection()
    {
        QCOMPARE(errorCounterRegister(0), quint16(0x002B));
        QCOMPARE(errorCounterRegister(5), quint16(0x0118));
        QCOMPARE(errorCounterRegister(13), quint16(0x0128));
        QCOMPARE(errorCounterRegister(32), quint16(0x018F));
        QCOMPARE(errorCounterRegister(33), quint16(0));

        QCOMPARE(cardWords(port->ask(protocol::cardBlockRead(0x01, 0x002B, 5), 15)), QVector<quint16>({5, 0, 0, 0, 0}));
        QCOMPARE(s->sim.cardRegister(0x0601, 0x011C), quint16(3));
        s->sim.raiseErrorCounter(0x0601, 32, 2);
        s->sim.raiseErrorCounter(0x0601, 21);
        s->sim.raiseErrorCounter(0x0601, 40);   // no such counter: nothing changes
        QCOMPARE(cardWords(port->ask(protocol::cardBlockRead(0x01, 0x0184, 12), 29)),
                 QVector<quint16>({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}));

        // The card's reset writes clear what was raised.
        for (const auto &w : {qMakePair(0x0030, 0xF800), qMakePair(0x0117, 0xFFFF), qMakePair(0x0190, 0xFFFF)})
            port->send(protocol::cardWrite(0x01, quint16(w.first), quint16(w.second)));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.cardRegister(0x0601, 0x002B), quint16(0));
        QCOMPARE(s->sim.cardRegister(0x0601, 0x011C), quint16(0));
        QCOMPARE(s->sim.cardRegister(0x0601, 0x018F), quint16(0));
    }

    void fifoLayout_oneOrTwoFifosIdleAtPowerUp_data()
    {
        QTest::addColumn<int>("select");
        QTest::addColumn<quint16>("layout");
        QTest::addColumn<quint16>("status");
        QTest::newRow("one FIFO (default)") << 0x01 << quint16(0x8000) << quint16(0x0070);
        QTest::newRow("FIFO1 and FIFO2") << 0x02 << quint16(0x0000) << quint16(0x0C70);
    }
    void fifoLayout_oneOrTwoFifosIdleAtPowerUp()
    {
        QFETCH(int, select);
        QFETCH(quint16, layout);
        QFETCH(quint16, status);
        QCOMPARE(cardValue(port->ask(protocol::cardRead(quint8(select), RegFifoLayout), 5)), layout);
        const QVector<quint16> block = cardWords(port->ask(protocol::cardBlockRead(quint8(select), RegFifoStatusBlock,
                                                                                   FifoStatusWords), 5 + 2 * FifoStatusWords));
        QCOMPARE(block.size(), FifoStatusWords);
        QCOMPARE(block.first(), status);
        // The layout is the card's own: a write does not change it.
        port->send(protocol::cardWrite(quint8(select), RegFifoLayout, 0x1234));
        QCOMPARE(cardValue(port->ask(protocol::cardRead(quint8(select), RegFifoLayout), 5)), layout);
    }

    void asicReset_putsAsicRegistersBackToPowerUpValues()
    {
        port->send(protocol::asicWrite(0x01, 0x04F9, 0x1111, false));
        port->send(protocol::asicWrite(0x01, 0x0300, 0x2222, false));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0300), 0x2222u);
        // A low pulse on the OSTERA reset bit (bit 0): cleared, then set.
        port->send(protocol::cardWrite(0x01, 0x0210, 0x0004));
        port->send(protocol::cardWrite(0x01, 0x0210, 0x0005));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.asicResetPulses(0x0601), 1);
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x0300), 0u);
        QCOMPARE(s->sim.asicRegister(0x0601, 0, 0x04F9), 0xA501u);
        // The other card's ASIC was not reset.
        port->send(protocol::asicWrite(0x02, 0x6928, 0x0123, false));
        QVERIFY(port->sync());
        QCOMPARE(s->sim.asicRegister(0x0602, 0, 0x6928), 0x0123u);
    }

    void scenario_refusesBadHealthKeys_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("three FIFOs") << "fifos = 3";
        QTest::newRow("counter 33") << "error_counters = 33:1";
        QTest::newRow("value above 16 bits") << "error_counters = 0:0x10000";
        QTest::newRow("no value") << "error_counters = 4";
    }
    void scenario_refusesBadHealthKeys()
    {
        QFETCH(QString, line);
        Simulator sim;
        QString error;
        QVERIFY(!sim.loadScenarioText(QStringLiteral("[card1]\nid = 1\nusb_serial = X\n") + line + QLatin1Char('\n'), &error));
        QVERIFY2(error.contains(QStringLiteral("line 4")), qPrintable(error));
    }
};

QTEST_MAIN(TestSimCardHealth)
#include "tst_simcardhealth.moc"
