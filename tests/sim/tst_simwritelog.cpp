// The simulator's register write log, driven with raw packets over the USB
// bridge stand-in: what is recorded, in which order, with which time, and
// what is not a write.
#include "simprotocol.h"
#include "simtestsupport.h"

#include <QThread>
#include <QtTest>

using namespace pelrasim;

namespace {

// Card 1 runs TAMBRIL firmware for its two ASICs; card 2 runs BaseMode and
// so passes no ASIC command on to its ASIC (ASIC position 3).
const char *const Cards = R"(
[card1]
id = 0x0412
position = 1
firmware = tambril
asics = tambril, tambril
usb_serial = PELRA0412
[card2]
id = 0x0413
position = 2
firmware = basemode
asics = tambril
usb_serial = PELRA0412
)";

QStringList Describe(const QVector<RegisterWrite> &writes)
{
    QStringList lines;
    for (const RegisterWrite &w : writes)
        lines << w.describe();
    return lines;
}

}  // namespace

class TestSimWriteLog : public QObject
{
    Q_OBJECT

private:
    SimUnderTest sim;
    UsbPort port;

private slots:
    void initTestCase()
    {
        QVERIFY2(sim.start(QString::fromLatin1(Cards)), qPrintable(sim.error));
        QVERIFY(port.open("PELRA0412"));
    }
    void init() { sim.sim.clearRegisterWrites(); }

    void writes_areRecordedInOrderPerCard();
    void times_showThePausesBetweenWrites();
    void testAccessAndReads_areNoWrites();
};

void TestSimWriteLog::writes_areRecordedInOrderPerCard()
{
    port.send(protocol::cardWrite(0x03, 0x0010, 0x0027));
    port.send(protocol::cardBlockWrite(0x01, 0x0321, {0x0a3d, 0x0ccc}));
    port.send(protocol::asicWrite(0x07, 0x4000, 0x0001, false, true));
    port.send(protocol::asicBlockWrite(0x02, 0x7000, {0x123456, 0x00ABCD}, true));
    QVERIFY(port.sync());

    QCOMPARE(Describe(sim.sim.registerWrites(0x0412)),
             (QStringList{"card 0x0010=0x27", "card 0x0321=0xa3d", "card 0x0322=0xccc", "asic0 0x4000=0x1 dma",
                          "asic1 0x4000=0x1 dma", "asic1 0x7000=0x123456", "asic1 0x7001=0xabcd"}));
    // The BaseMode card takes its card write but relays no ASIC command.
    QCOMPARE(Describe(sim.sim.registerWrites(0x0413)), QStringList{"card 0x0010=0x27"});
    QCOMPARE(sim.sim.registerWrites(0x0412).at(3), RegisterWrite::asicWrite(0, 0x4000, 1, true));
    QVERIFY(sim.sim.registerWrites(0x0412).at(3) != RegisterWrite::asicWrite(0, 0x4000, 1, false));
    QVERIFY(sim.sim.registerWrites(0x9999).isEmpty());

    sim.sim.clearRegisterWrites();
    QVERIFY(sim.sim.registerWrites(0x0412).isEmpty());
    QVERIFY(sim.sim.registerWrites(0x0413).isEmpty());
}

void TestSimWriteLog::times_showThePausesBetweenWrites()
{
    port.send(protocol::cardWrite(0x01, 0x0020, 1));
    QVERIFY(port.sync());
    QThread::msleep(60);
    port.send(protocol::cardWrite(0x01, 0x0021, 2));
    QVERIFY(port.sync());
    const QVector<RegisterWrite> writes = sim.sim.registerWrites(0x0412);
    QCOMPARE(writes.size(), 2);
    QVERIFY(writes.at(1).timeMs - writes.at(0).timeMs >= 60);
}

void TestSimWriteLog::testAccessAndReads_areNoWrites()
{
    sim.sim.setCardRegister(0x0412, 0x0030, 5);
    sim.sim.setAsicRegister(0x0412, 0, 0x4000, 7);
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0x0030), 5), protocol::cardReadReply(0x0030, 5));
    QCOMPARE(port.ask(protocol::cardBlockRead(0x01, 0x0030, 2), 9).size(), 9);
    QVERIFY(sim.sim.registerWrites(0x0412).isEmpty());

    // A write to a read-only register is still a write the card was sent.
    port.send(protocol::cardWrite(0x01, 0xFFFC, 0x1234));
    QVERIFY(port.sync());
    QCOMPARE(Describe(sim.sim.registerWrites(0x0412)), QStringList{"card 0xfffc=0x1234"});
    QCOMPARE(sim.sim.cardRegister(0x0412, 0xFFFC), quint16(0x0412));
}

QTEST_GUILESS_MAIN(TestSimWriteLog)
#include "tst_simwritelog.moc"
