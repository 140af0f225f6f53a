// Card behaviour of the simulator, driven with raw packets over the USB
// bridge stand-in: firmware-name EEPROM, reload, card and ASIC selection,
// empty positions, error counters and the ASIC reset line.
#include "simprotocol.h"
#include "simtestsupport.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace pelrasim;

namespace {

const char *const TwoCards = R"(
[card1]
id = 0x0412
position = 1
firmware = tambril
asics = tambril, tambril
slot1_name = "  PELRA TAMBRIL v2.7 µ  "
slot1_type = tambril
slot2_name = PELRA OSTERA v1.4
slot2_type = ostera
slot2_pad = zero
reload_ms = 150
usb_serial = PELRA0412
[card3]
id = 0x0413
position = 3
firmware = tambril
asics = tambril
slot1_type = tambril
slot2_type = ostera
slot2_valid = false
reload_ms = 50
usb_serial = PELRA0412
)";

QVector<quint16> words(const QByteArray &blockReply)
{
    QVector<quint16> out;
    for (int i = 5; i + 1 < blockReply.size(); i += 2)
        out.append(quint16((quint8(blockReply[i]) << 8) | quint8(blockReply[i + 1])));
    return out;
}

QByteArray readName(UsbPort &port, quint8 select, quint16 page)
{
    port.send(protocol::cardBlockWrite(select, 0x1000, {0x0000, 0x0000, 0x1000, page, 0x0002}));
    port.send(protocol::cardWrite(select, 0x1000, 1));
    port.send(protocol::cardWrite(select, 0x1001, 4));
    return port.ask(protocol::cardBlockRead(select, 0x3F80, 129), 5 + 2 * 129);
}

}  // namespace

class TestSimCards : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void eepromName_followsSpiReadSequence();
    void eepromBuffer_readsZeroOutsideReadMode();
    void reload_readsZeroThenSlotFirmware();
    void reload_ofInvalidSlot_leavesNoFirmware();
    void cardSelect_writesAllReadsLowest();
    void emptyPosition_reply_data();
    void emptyPosition_reply();
    void asicPositions_runAcrossCards();
    void asicCommands_needMatchingFirmware();
    void errorCounters_clearedByResetWrites();
    void asicReset_countsPulses();

private:
    SimUnderTest *s = nullptr;
    UsbPort *port = nullptr;
};

void TestSimCards::init()
{
    s = new SimUnderTest;
    QVERIFY2(s->start(QString::fromUtf8(TwoCards)), qPrintable(s->error));
    port = new UsbPort;
    QVERIFY(port->open("PELRA0412"));
}

void TestSimCards::cleanup()
{
    delete port;
    delete s;
}

void TestSimCards::eepromName_followsSpiReadSequence()
{
    const QByteArray reply = readName(*port, 0x01, 0x009F);
    QCOMPARE(reply.left(5).toHex(), QByteArray("c03f800080"));
    const QVector<quint16> w = words(reply);
    QCOMPARE(w.size(), 129);
    QCOMPARE(w[0], quint16(0xA596));
    QCOMPARE(w[1], quint16(0x7744));
    QByteArray name;
    for (int i = 2; i < 128; ++i)
        name.append(char(w[i]));
    const QByteArray expected = QStringLiteral("  PELRA TAMBRIL v2.7 µ  ").toUtf8();
    QCOMPARE(name.left(expected.size()), expected);
    QCOMPARE(name.mid(expected.size()), QByteArray(126 - expected.size(), ' '));
    QCOMPARE(w[128], quint16(0));

    // Slot 2 pads with zero bytes; a slot that is not valid reads as erased.
    const QVector<quint16> slot2 = words(readName(*port, 0x01, 0x00EF));
    QCOMPARE(slot2[2 + 17], quint16(0));
    QCOMPARE(char(slot2[2]), 'P');
    const QVector<quint16> erased = words(readName(*port, 0x04, 0x00EF));
    QCOMPARE(erased[0], quint16(0xFFFF));
    QCOMPARE(erased[1], quint16(0xFFFF));
}

void TestSimCards::eepromBuffer_readsZeroOutsideReadMode()
{
    readName(*port, 0x01, 0x009F);
    port->send(protocol::cardWrite(0x01, 0x1001, 0));
    port->send(protocol::cardWrite(0x01, 0x1000, 0));
    const QVector<quint16> w = words(port->ask(protocol::cardBlockRead(0x01, 0x3F80, 129), 5 + 2 * 129));
    QCOMPARE(w, QVector<quint16>(129, 0));
    QCOMPARE(s->sim.cardRegister(0x0412, 0x1000), quint16(0));
}

void TestSimCards::reload_readsZeroThenSlotFirmware()
{
    QElapsedTimer timer;
    timer.start();
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x1008, 2)));
    QCOMPARE(port->ask(protocol::cardRead(0x01, 0xFFFB), 5).toHex(), QByteArray("40fffb0000"));
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply = port->ask(protocol::cardRead(0x01, 0xFFFB), 5)).toHex() != "40fffb0000", 3000);
    QVERIFY(timer.elapsed() >= 150);
    QCOMPARE(reply.toHex(), QByteArray("40fffb3d6c"));
    // The other card on the link was not addressed.
    QCOMPARE(s->sim.cardRegister(0x0413, 0xFFFB), quint16(0x5A7E));
}

void TestSimCards::reload_ofInvalidSlot_leavesNoFirmware()
{
    // Slot 2 names OSTERA firmware but its page is erased. The same wait that
    // lets the valid slot 1 finish must leave the card without firmware, so a
    // reload that merely had not finished could not pass.
    const auto reloadAndWait = [this](quint16 slot) {
        port->send(protocol::cardWrite(0x04, 0x1008, slot));
        QTest::qWait(150);   // three times the card's reload time
        return port->ask(protocol::cardRead(0x04, 0xFFFB), 5).toHex();
    };
    QCOMPARE(reloadAndWait(1), QByteArray("40fffb5a7e"));
    QCOMPARE(reloadAndWait(2), QByteArray("40fffb0000"));
    // Nothing is relayed to the ASIC either.
    QVERIFY(port->ask(protocol::asicRead(0x04, 0x0010, false, false), 5).isEmpty());
    QCOMPARE(reloadAndWait(1), QByteArray("40fffb5a7e"));
    QCOMPARE(s->sim.cardRegister(0x0412, 0xFFFB), quint16(0x5A7E));
}

void TestSimCards::cardSelect_writesAllReadsLowest()
{
    QVERIFY(port->send(protocol::cardWrite(0xFF, 0x0011, 0x0007)));
    QVERIFY(port->send(protocol::cardWrite(0x04, 0x0010, 0x0039)));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.cardRegister(0x0412, 0x0011), quint16(7));
    QCOMPARE(s->sim.cardRegister(0x0413, 0x0011), quint16(7));
    QCOMPARE(s->sim.cardRegister(0x0412, 0x0010), quint16(0));
    QCOMPARE(port->ask(protocol::cardRead(0x05, 0xFFFC), 5).toHex(), QByteArray("40fffc0412"));
    QCOMPARE(port->ask(protocol::cardRead(0x06, 0xFFFC), 5).toHex(), QByteArray("40fffc0413"));
    QCOMPARE(port->ask(protocol::cardRead(0x04, 0x0008), 5).toHex(), QByteArray("4000080001"));
    // A block write that runs past 0xFFFF wraps to 0x0000.
    QVERIFY(port->send(protocol::cardBlockWrite(0x01, 0xFFFF, {0x1111, 0x2222})));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.cardRegister(0x0412, 0x0000), quint16(0x2222));
}

void TestSimCards::emptyPosition_reply_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("default") << QString() << QByteArray("4000080bad");
    QTest::newRow("bad") << QStringLiteral("bad") << QByteArray("4000080bad");
    QTest::newRow("value") << QStringLiteral("0x1234") << QByteArray("4000081234");
    QTest::newRow("silent") << QStringLiteral("silent") << QByteArray();
}

void TestSimCards::emptyPosition_reply()
{
    QFETCH(QString, setting);
    QFETCH(QByteArray, reply);
    QString scenario = QStringLiteral("[card1]\nid = 0x0412\nfirmware = tambril\nusb_serial = PELRA0412\n");
    if (!setting.isEmpty())
        scenario += QStringLiteral("[link.usb.PELRA0412]\nempty = ") + setting + QLatin1Char('\n');
    delete port;
    delete s;
    s = new SimUnderTest;
    QVERIFY2(s->start(scenario), qPrintable(s->error));
    port = new UsbPort;
    QVERIFY(port->open("PELRA0412", 100));
    QCOMPARE(port->ask(protocol::cardRead(0x02, 0x0008), 5).toHex(), reply);
    if (!reply.isEmpty()) {
        const QVector<quint16> w = words(port->ask(protocol::cardBlockRead(0x80, 0x0010, 2), 9));
        QCOMPARE(w.size(), 2);
        QCOMPARE(w[0], w[1]);
    }
}

void TestSimCards::asicPositions_runAcrossCards()
{
    // ASICs 1 and 2 are card 1's, ASIC 3 is the card at position 3.
    QVERIFY(port->send(protocol::asicWrite(0x05, 0x7000, 0x123456, true)));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.asicRegister(0x0412, 0, 0x7000), quint32(0x123456));
    QCOMPARE(s->sim.asicRegister(0x0412, 1, 0x7000), quint32(0));
    QCOMPARE(s->sim.asicRegister(0x0413, 0, 0x7000), quint32(0x123456));
    QCOMPARE(port->ask(protocol::asicRead(0x04, 0x7000, true), 6).toHex(), QByteArray("007000123456"));
    QCOMPARE(port->ask(protocol::asicRead(0x06, 0x6928, false), 5).toHex(), QByteArray("0069280fff"));
    QCOMPARE(port->ask(protocol::asicRead(0x01, 0x6A01, false, true), 5).toHex(), QByteArray("206a010001"));
    s->sim.setAsicRegister(0x0412, 1, 0x0100, 0xBEEF);
    QCOMPARE(port->ask(protocol::asicBlockRead(0x02, 0x00FF, 2, false), 9).toHex(), QByteArray("8000ff00010000beef"));
    // No ASIC at position 4: no reply.
    port->open("PELRA0412", 50);
    QCOMPARE(port->ask(protocol::asicRead(0x08, 0x6928, false), 5).size(), 0);
}

void TestSimCards::asicCommands_needMatchingFirmware()
{
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x1008, 2)));   // OSTERA firmware, TAMBRIL ASICs
    QTRY_COMPARE_WITH_TIMEOUT(s->sim.cardRegister(0x0412, 0xFFFB), quint16(0x3D6C), 3000);
    port->open("PELRA0412", 50);
    QCOMPARE(port->ask(protocol::asicRead(0x01, 0x6928, false), 5).size(), 0);
    QVERIFY(port->send(protocol::asicWrite(0x07, 0x0001, 0x00AA, false)));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.asicRegister(0x0412, 0, 0x0001), quint32(0));
    QCOMPARE(s->sim.asicRegister(0x0413, 0, 0x0001), quint32(0x00AA));
}

void TestSimCards::errorCounters_clearedByResetWrites()
{
    const quint16 counters[] = {0x002B, 0x002F, 0x0118, 0x011F, 0x0128, 0x012F, 0x0184, 0x018F};
    for (quint16 a : counters)
        s->sim.setCardRegister(0x0412, a, 5);
    QCOMPARE(words(port->ask(protocol::cardBlockRead(0x01, 0x002B, 5), 15)), QVector<quint16>({5, 0, 0, 0, 5}));
    // A value other than the reset code clears nothing.
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x0030, 0x0001)));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.cardRegister(0x0412, 0x002B), quint16(5));
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x0030, 0xF800)));
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x0117, 0xFFFF)));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.cardRegister(0x0412, 0x0128), quint16(5));
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x0127, 0xFFFF)));
    QVERIFY(port->send(protocol::cardWrite(0x01, 0x0190, 0xFFFF)));
    QVERIFY(port->sync());
    for (quint16 a : counters)
        QCOMPARE(s->sim.cardRegister(0x0412, a), quint16(0));
}

void TestSimCards::asicReset_countsPulses()
{
    // TAMBRIL firmware: bit 3 is the reset line.
    port->send(protocol::cardWrite(0x01, 0x0210, 0x0005));
    port->send(protocol::cardWrite(0x01, 0x0210, 0x000D));
    port->send(protocol::cardWrite(0x01, 0x0210, 0x0005));
    QVERIFY(port->sync());
    QCOMPARE(s->sim.asicResetPulses(0x0412), 1);
    QCOMPARE(s->sim.cardRegister(0x0412, 0x0210), quint16(0x0005));
}

QTEST_GUILESS_MAIN(TestSimCards)
#include "tst_simcards.moc"
