// Byte-level checks of the simulated card's packet framing and replies, and
// of the scenario parser's handling of bad input.
#include "pelrasim.h"
#include "simprotocol.h"

#include <QtTest>

using namespace pelrasim;

class TestSimProtocol : public QObject
{
    Q_OBJECT

private slots:
    void packetLength_followsCommandByte_data();
    void packetLength_followsCommandByte();
    void decode_readsFieldsAndValues_data();
    void decode_readsFieldsAndValues();
    void replies_matchByteTables_data();
    void replies_matchByteTables();
    void requests_matchByteTables_data();
    void requests_matchByteTables();
    void scenario_rejectsBadInputWithClearText_data();
    void scenario_rejectsBadInputWithClearText();
    void sampleScenarios_load_data();
    void sampleScenarios_load();
};

void TestSimProtocol::packetLength_followsCommandByte_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("length");
    QTest::newRow("card write") << QByteArray::fromHex("08") << 6;
    QTest::newRow("card read") << QByteArray::fromHex("88") << 4;
    QTest::newRow("card block read") << QByteArray::fromHex("c8") << 6;
    QTest::newRow("card block write, header incomplete") << QByteArray::fromHex("480110") << 0;
    QTest::newRow("card block write of 3") << QByteArray::fromHex("480110000002") << 12;
    QTest::newRow("card block write of 65536") << QByteArray::fromHex("48011000ffff") << 6 + 2 * 65536;
    QTest::newRow("ASIC write 16-bit") << QByteArray::fromHex("00") << 6;
    QTest::newRow("ASIC write 24-bit dma") << QByteArray::fromHex("30") << 7;
    QTest::newRow("ASIC read 24-bit") << QByteArray::fromHex("90") << 4;
    QTest::newRow("ASIC block read") << QByteArray::fromHex("d0") << 6;
    QTest::newRow("ASIC block write of 2, 24-bit") << QByteArray::fromHex("500170000001") << 12;
    QTest::newRow("ASIC block write of 2, 16-bit") << QByteArray::fromHex("400100100001") << 10;
}

void TestSimProtocol::packetLength_followsCommandByte()
{
    QFETCH(QByteArray, head);
    QFETCH(int, length);
    QCOMPARE(protocol::packetLength(head.constData(), head.size()), length);
}

void TestSimProtocol::decode_readsFieldsAndValues_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("select");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("wide24");
    QTest::addColumn<QVector<quint32>>("values");
    QTest::newRow("card write") << QByteArray::fromHex("080310001234") << int(protocol::Kind::CardWrite) << 3 << 0x1000
                                << 1 << false << QVector<quint32>{0x1234};
    QTest::newRow("card block read") << QByteArray::fromHex("c8013f800080") << int(protocol::Kind::CardBlockRead) << 1
                                     << 0x3F80 << 129 << false << QVector<quint32>{};
    QTest::newRow("ASIC 24-bit block write") << QByteArray::fromHex("500270000001010203040506")
                                             << int(protocol::Kind::AsicBlockWrite) << 2 << 0x7000 << 2 << true
                                             << QVector<quint32>{0x010203, 0x040506};
    QTest::newRow("ASIC dma read") << QByteArray::fromHex("a0016928") << int(protocol::Kind::AsicRead) << 1 << 0x6928
                                   << 1 << false << QVector<quint32>{};
}

void TestSimProtocol::decode_readsFieldsAndValues()
{
    QFETCH(QByteArray, packet);
    QFETCH(int, kind);
    QFETCH(int, select);
    QFETCH(int, address);
    QFETCH(int, count);
    QFETCH(bool, wide24);
    QFETCH(QVector<quint32>, values);
    protocol::Command c;
    QString error;
    QVERIFY2(protocol::decode(packet, &c, &error), qPrintable(error));
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(int(c.select), select);
    QCOMPARE(int(c.address), address);
    QCOMPARE(c.count, count);
    QCOMPARE(c.wide24, wide24);
    QCOMPARE(c.values, values);
    QVERIFY(!protocol::decode(packet.left(packet.size() - 1), &c, &error));
}

void TestSimProtocol::replies_matchByteTables_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("card read") << protocol::cardReadReply(0xFFFB, 0x5A7E) << QByteArray::fromHex("40fffb5a7e");
    QTest::newRow("card block read") << protocol::cardBlockReadReply(0x002B, {1, 2, 0xBEEF})
                                     << QByteArray::fromHex("c0002b0002000100 02beef");
    QTest::newRow("ASIC read 16-bit") << protocol::asicReadReply(0x80, 0x6928, 0x0FFF, false) << QByteArray::fromHex("0069280fff");
    QTest::newRow("ASIC read dma echoes bit 5") << protocol::asicReadReply(0xA0, 0x04F9, 0xA501, false)
                                                << QByteArray::fromHex("2004f9a501");
    QTest::newRow("ASIC read 24-bit") << protocol::asicReadReply(0x90, 0x7001, 0x123456, true)
                                      << QByteArray::fromHex("00700112 3456");
    QTest::newRow("ASIC block read 16-bit") << protocol::asicBlockReadReply(0x0100, {0x1111, 0x2222}, false)
                                            << QByteArray::fromHex("8001000001111122 22");
    QTest::newRow("ASIC block read 24-bit") << protocol::asicBlockReadReply(0x7000, {0x010203}, true)
                                            << QByteArray::fromHex("a070000000010203");
}

void TestSimProtocol::replies_matchByteTables()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, bytes);
    QCOMPARE(reply.toHex(), bytes.toHex());
}

void TestSimProtocol::requests_matchByteTables_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("card write") << protocol::cardWrite(0x05, 0x0300, 0x00FF) << QByteArray::fromHex("0805030000ff");
    QTest::newRow("card block write of one") << protocol::cardBlockWrite(0x01, 0x1000, {7}) << QByteArray::fromHex("480110000000 0007");
    QTest::newRow("ASIC 24-bit block write") << protocol::asicBlockWrite(0x01, 0x7000, {0x010203, 0x040506}, true)
                                             << QByteArray::fromHex("500170000001010203040506");
    QTest::newRow("ASIC dma block read") << protocol::asicBlockRead(0x03, 0x0010, 4, false, true) << QByteArray::fromHex("e00300100003");
}

void TestSimProtocol::requests_matchByteTables()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, bytes);
    QCOMPARE(request.toHex(), bytes.toHex());
}

void TestSimProtocol::scenario_rejectsBadInputWithClearText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("no card") << QString() << QStringLiteral("Scenario: no [card...] group");
    QTest::newRow("line outside group") << QStringLiteral("id = 1\n") << QStringLiteral("Scenario: line 1: expected [group] or key = value");
    QTest::newRow("unknown key") << QStringLiteral("[card1]\nid = 0x10\ncolour = red\n")
                                 << QStringLiteral("Scenario: line 3 [card1] colour: unknown key");
    QTest::newRow("unknown group") << QStringLiteral("[c]\n") << QStringLiteral("Scenario: line 1: unknown group [c]");
    QTest::newRow("no link") << QStringLiteral("[card1]\nid = 0x10\n")
                             << QStringLiteral("Scenario: [card1]: the card names no link (usb_serial, uart or gige)");
    QTest::newRow("network address outside loopback") << QStringLiteral("[card1]\nid = 0x10\ngige = 10.0.0.5\n")
                                                      << QStringLiteral("Scenario: line 3 [card1] gige: the GigE address must be an IPv4 loopback address (127.x.y.z)");
    QTest::newRow("same position twice")
        << QStringLiteral("[card1]\nid = 1\nuart = ttyA\n[card2]\nid = 2\nuart = ttyA\n")
        << QStringLiteral("Scenario: [card2]: position 1 on ttyA is taken");
    QTest::newRow("same id twice") << QStringLiteral("[card1]\nid = 1\nuart = ttyA\n[card2]\nid = 1\nuart = ttyB\n")
                                   << QStringLiteral("Scenario: [card2]: card id 0x0001 appears twice");
    QTest::newRow("link group without card") << QStringLiteral("[card1]\nid = 1\nuart = ttyA\n[link.uart.ttyB]\nempty = silent\n")
                                             << QStringLiteral("Scenario: line 4: [link.uart.ttyB]: no card uses this link");
    QTest::newRow("bad empty reply") << QStringLiteral("[card1]\nid = 1\nuart = ttyA\n[link.uart.ttyA]\nempty = maybe\n")
                                     << QStringLiteral("Scenario: line 5 [link.uart.ttyA] empty: expected empty = bad, silent or a number");
    QTest::newRow("science width not a number") << QStringLiteral("[card1]\nid = 1\nuart = ttyA\nscience_width = wide\n")
                                                << QStringLiteral("Scenario: line 4 [card1] science_width: \"wide\" is not a number from 1 to 65535");
    QTest::newRow("bad serial vendor") << QStringLiteral("[card1]\nid = 1\nuart = ttyA\n[link.uart.ttyA]\nvendor = 0x10000\n")
                                       << QStringLiteral("Scenario: line 5 [link.uart.ttyA] vendor: expected a number up to 0xffff");
    QTest::newRow("three ASICs") << QStringLiteral("[card1]\nid = 1\nasics = tambril,tambril,ostera\n")
                                 << QStringLiteral("Scenario: line 3 [card1] asics: a card drives one or two ASICs");
}

void TestSimProtocol::scenario_rejectsBadInputWithClearText()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    Simulator sim;
    QString why;
    QVERIFY(!sim.loadScenarioText(text, &why));
    QCOMPARE(why, error);
}

void TestSimProtocol::sampleScenarios_load_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("one card") << QStringLiteral("sim-one-card.ini");
    QTest::newRow("two cards") << QStringLiteral("sim-two-cards.ini");
    QTest::newRow("zero byte") << QStringLiteral("sim-zero-byte.ini");
}

void TestSimProtocol::sampleScenarios_load()
{
    QFETCH(QString, file);
    Simulator sim;
    QString error;
    QVERIFY2(sim.loadScenarioFile(QStringLiteral(PAC_SOURCE_DIR "/config/") + file, &error), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestSimProtocol)
#include "tst_simprotocol.moc"
