// Byte tables of every command packet and the reply checks.
#include "pelrapackets.h"
#include "stringconvert.h"

#include <QtTest>

using namespace PelraPacket;

class TestPackets : public QObject
{
    Q_OBJECT

private slots:
    void hexHelpers_padAndLowerCase();
    void cardPackets_matchByteTable_data();
    void cardPackets_matchByteTable();
    void asicPackets_matchByteTable_data();
    void asicPackets_matchByteTable();
    void asicWriteWidth_followsTambrilFrom0x7000_data();
    void asicWriteWidth_followsTambrilFrom0x7000();
    void replyChecks_ignoreLowCodeBitsAndCheckEchoes_data();
    void replyChecks_ignoreLowCodeBitsAndCheckEchoes();
    void blockValues_missingBytesCountAsZero();
};

void TestPackets::hexHelpers_padAndLowerCase()
{
    QCOMPARE(byte2hStr(0x0A), QStringLiteral("0x0a"));
    QCOMPARE(byte2hStr(0x9A), QStringLiteral("0x9a"));
    QCOMPARE(bytes2hStr(0x00, 0x10), QStringLiteral("0x0010"));
    QCOMPARE(bytes2hStr(0xAB, 0x0C), QStringLiteral("0xab0c"));
    QCOMPARE(ushort2hStr(0x000D), QStringLiteral("0x000d"));
    QCOMPARE(ushort2hStr(0xFFFF), QStringLiteral("0xffff"));
}

void TestPackets::cardPackets_matchByteTable_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QByteArray>("expected");
    const quint32 one[] = {0x1234};
    const quint32 three[] = {0x0001, 0xABCD, 0x1FFFF};
    QTest::newRow("write") << CardWrite(0x0300, 0x12345678, 0x05) << QByteArray::fromHex("080503005678");
    QTest::newRow("read") << CardRead(0xFFFB, 0x80) << QByteArray::fromHex("8880fffb");
    QTest::newRow("block write of one has count 0") << CardBlockWrite(0x1000, 1, one, 0x01)
                                                    << QByteArray::fromHex("480110000000" "1234");
    QTest::newRow("block write") << CardBlockWrite(0x002B, 3, three, 0xFF)
                                 << QByteArray::fromHex("48ff002b0002" "0001abcdffff");
    QTest::newRow("block read") << CardBlockRead(0x3F80, 129, 0x02) << QByteArray::fromHex("c8023f800080");
    QTest::newRow("block read of 65536") << CardBlockRead(0x0000, 65536, 0x01) << QByteArray::fromHex("c8010000ffff");
}

void TestPackets::cardPackets_matchByteTable()
{
    QFETCH(QByteArray, packet);
    QFETCH(QByteArray, expected);
    QCOMPARE(packet.toHex(), expected.toHex());
}

void TestPackets::asicPackets_matchByteTable_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QByteArray>("expected");
    const quint32 two24[] = {0x010203, 0x040506};
    const quint32 two16[] = {0x010203, 0x040506};
    QTest::newRow("write 16") << AsicWrite(0x6FFF, 0xABCDEF, 0x01, false, false) << QByteArray::fromHex("00016fffcdef");
    QTest::newRow("write 24 dma") << AsicWrite(0x7000, 0xABCDEF, 0x03, true, true)
                                  << QByteArray::fromHex("30037000abcdef");
    QTest::newRow("read 16") << AsicRead(0x04F9, 0x02, false, false) << QByteArray::fromHex("800204f9");
    QTest::newRow("read 24 dma") << AsicRead(0x7001, 0x01, true, true) << QByteArray::fromHex("b0017001");
    QTest::newRow("block write 24 is 12 bytes") << AsicBlockWrite(0x7000, 2, two24, 0x01, false, true)
                                                << QByteArray::fromHex("500170000001" "010203040506");
    QTest::newRow("block write 16 drops high bits") << AsicBlockWrite(0x0100, 2, two16, 0x01, false, false)
                                                    << QByteArray::fromHex("400101000001" "02030506");
    QTest::newRow("block read 24 dma") << AsicBlockRead(0x7000, 3, 0x80, true, true)
                                       << QByteArray::fromHex("f08070000002");
    QTest::newRow("block read 16") << AsicBlockRead(0x0010, 1, 0x01, false, false)
                                   << QByteArray::fromHex("c00100100000");
}

void TestPackets::asicPackets_matchByteTable()
{
    QFETCH(QByteArray, packet);
    QFETCH(QByteArray, expected);
    QCOMPARE(packet.toHex(), expected.toHex());
}

void TestPackets::asicWriteWidth_followsTambrilFrom0x7000_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("asicTypeId");
    QTest::addColumn<bool>("wide");
    QTest::newRow("tambril 0x6fff") << 0x6FFF << 0x5A7E << false;
    QTest::newRow("tambril 0x7000") << 0x7000 << 0x5A7E << true;
    QTest::newRow("tambril 0xffff") << 0xFFFF << 0x5A7E << true;
    QTest::newRow("ostera 0x7000") << 0x7000 << 0x3D6C << false;
    QTest::newRow("unknown firmware 0x7000") << 0x7000 << 0 << false;
}

void TestPackets::asicWriteWidth_followsTambrilFrom0x7000()
{
    QFETCH(int, address);
    QFETCH(int, asicTypeId);
    QFETCH(bool, wide);
    QCOMPARE(AsicWriteIsWide(static_cast<quint16>(address), static_cast<quint16>(asicTypeId)), wide);
}

void TestPackets::replyChecks_ignoreLowCodeBitsAndCheckEchoes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    // Card single read of 0x0010.
    QTest::newRow("card read 0x40") << "card" << QByteArray::fromHex("4000101234") << true;
    QTest::newRow("card read 0x47") << "card" << QByteArray::fromHex("4700101234") << true;
    QTest::newRow("card read 0x48") << "card" << QByteArray::fromHex("4800101234") << false;
    QTest::newRow("card read other address") << "card" << QByteArray::fromHex("4000111234") << false;
    // Card block read from 0x0100, 3 registers (request c8 01 01 00 00 02).
    QTest::newRow("card block 0xc3") << "cardblock" << QByteArray::fromHex("c30100000200010002" "0003") << true;
    QTest::newRow("card block 0x40") << "cardblock" << QByteArray::fromHex("400100000200010002" "0003") << false;
    QTest::newRow("card block wrong count") << "cardblock" << QByteArray::fromHex("c00100000300010002" "0003") << false;
    // ASIC single read of 0x0010.
    QTest::newRow("asic read 0x00") << "asic" << QByteArray::fromHex("0000101234") << true;
    QTest::newRow("asic read 0x07") << "asic" << QByteArray::fromHex("0700101234") << true;
    QTest::newRow("asic read 0x20") << "asic" << QByteArray::fromHex("2000101234") << true;
    QTest::newRow("asic read 0x27") << "asic" << QByteArray::fromHex("2700101234") << true;
    QTest::newRow("asic read 0x08") << "asic" << QByteArray::fromHex("0800101234") << false;
    QTest::newRow("asic read 0x40") << "asic" << QByteArray::fromHex("4000101234") << false;
    QTest::newRow("asic read 0x9a") << "asic" << QByteArray::fromHex("9a00101234") << false;
    // ASIC block read from 0x7000, 2 registers (request x0 01 70 00 00 01).
    QTest::newRow("asic block24 0xa0") << "asicblock24" << QByteArray::fromHex("a070000001010203040506") << true;
    QTest::newRow("asic block24 0xa7") << "asicblock24" << QByteArray::fromHex("a770000001010203040506") << true;
    QTest::newRow("asic block24 0x80") << "asicblock24" << QByteArray::fromHex("8070000001010203040506") << false;
    QTest::newRow("asic block16 0x87") << "asicblock16" << QByteArray::fromHex("877000000101020304") << true;
    QTest::newRow("asic block16 0xa0") << "asicblock16" << QByteArray::fromHex("a07000000101020304") << false;
    QTest::newRow("empty reply") << "card" << QByteArray() << false;
}

void TestPackets::replyChecks_ignoreLowCodeBitsAndCheckEchoes()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    bool ok = false;
    if (kind == QLatin1String("card"))
        ok = CardReadReplyOk(reply, 0x0010);
    else if (kind == QLatin1String("cardblock"))
        ok = CardBlockReplyOk(reply, CardBlockRead(0x0100, 3, 0x01));
    else if (kind == QLatin1String("asic"))
        ok = AsicReadReplyOk(reply, 0x0010);
    else if (kind == QLatin1String("asicblock24"))
        ok = AsicBlockReplyOk(reply, AsicBlockRead(0x7000, 2, 0x01, false, true), true);
    else
        ok = AsicBlockReplyOk(reply, AsicBlockRead(0x7000, 2, 0x01, false, false), false);
    QCOMPARE(ok, accepted);
}

void TestPackets::blockValues_missingBytesCountAsZero()
{
    quint32 values[3] = {7, 7, 7};
    BlockValues(QByteArray::fromHex("c0010000021234ab"), 3, 2, values);
    QCOMPARE(values[0], 0x1234u);
    QCOMPARE(values[1], 0xAB00u);
    QCOMPARE(values[2], 0u);
    quint32 wide[2] = {7, 7};
    BlockValues(QByteArray::fromHex("a0700000010102030405"), 2, 3, wide);
    QCOMPARE(wide[0], 0x010203u);
    QCOMPARE(wide[1], 0x040500u);
}

QTEST_APPLESS_MAIN(TestPackets)
#include "tst_packets.moc"
