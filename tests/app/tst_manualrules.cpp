// Rules of the Manual Command tab without a window: register and block
// parsing, write limits, new-row addresses, block read texts, error counter
// names and FIFO status lines.
#include "cardhealth.h"
#include "manualcommand.h"

#include <QtTest>

using namespace ManualCommand;

class TestManualRules : public QObject
{
    Q_OBJECT

private slots:
    void parseAddress_takesTrimmedHexUpTo16Bits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("address");
        QTest::newRow("four digits") << "4000" << true << 0x4000;
        QTest::newRow("blanks around") << "  00ff \t" << true << 0x00ff;
        QTest::newRow("upper case") << "FFFF" << true << 0xffff;
        QTest::newRow("one digit") << "7" << true << 7;
        QTest::newRow("letters") << "zz" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("17 bits") << "10000" << false << 0;
        QTest::newRow("negative") << "-1" << false << 0;
    }
    void parseAddress_takesTrimmedHexUpTo16Bits()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, address);
        quint16 parsed = 0xAAAA;
        QCOMPARE(ParseAddress(text, &parsed), ok);
        // A failed parse yields 0, which the all-rows message shows.
        QCOMPARE(int(parsed), address);
    }

    void writeLimit_is24BitsOnlyForTambrilAsicRegistersFrom7000_data()
    {
        QTest::addColumn<bool>("asicTable");
        QTest::addColumn<bool>("tambril");
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("accepts20Bits");
        QTest::newRow("TAMBRIL ASIC 0x7001") << true << true << 0x7001 << true;
        QTest::newRow("TAMBRIL ASIC 0x7000") << true << true << 0x7000 << true;
        QTest::newRow("TAMBRIL ASIC 0x6fff") << true << true << 0x6fff << false;
        QTest::newRow("OSTERA ASIC 0x7001") << true << false << 0x7001 << false;
        QTest::newRow("card register 0x7001, TAMBRIL ticked") << false << true << 0x7001 << false;
    }
    void writeLimit_is24BitsOnlyForTambrilAsicRegistersFrom7000()
    {
        QFETCH(bool, asicTable);
        QFETCH(bool, tambril);
        QFETCH(int, address);
        QFETCH(bool, accepts20Bits);
        const quint32 limit = WriteLimit(asicTable, tambril, quint16(address));
        quint32 value = 0;
        QCOMPARE(ParseWriteValue(QStringLiteral("12345"), limit, &value), accepts20Bits);
        QVERIFY(ParseWriteValue(QStringLiteral(" ffff "), limit, &value));
        QCOMPARE(value, quint32(0xffff));
        QCOMPARE(ParseWriteValue(QStringLiteral("1000000"), limit, &value), false);
        QCOMPARE(ParseWriteValue(QStringLiteral("ffffff"), limit, &value), accepts20Bits);
        QCOMPARE(ParseWriteValue(QStringLiteral("x1"), limit, &value), false);
    }

    void nextRowAddress_followsTheReferenceRow_data()
    {
        QTest::addColumn<bool>("hasReference");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("next");
        QTest::newRow("empty table") << false << "" << "ffff";
        QTest::newRow("00ff") << true << "00ff" << "0100";
        QTest::newRow("ffff wraps") << true << "ffff" << "0000";
        QTest::newRow("short address padded") << true << "7" << "0008";
        QTest::newRow("unreadable reference") << true << "zz" << "ffff";
    }
    void nextRowAddress_followsTheReferenceRow()
    {
        QFETCH(bool, hasReference);
        QFETCH(QString, reference);
        QFETCH(QString, next);
        QCOMPARE(NextRowAddress(hasReference, reference), next);
    }

    void blockLength_isDecimalFrom1To65535_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");   // 0: refused
        QTest::newRow("3") << "3" << 3;
        QTest::newRow("10 is ten") << "10" << 10;
        QTest::newRow("blanks") << " 12 " << 12;
        QTest::newRow("largest") << "65535" << 65535;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("too large") << "65536" << 0;
        QTest::newRow("hexadecimal") << "a" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void blockLength_isDecimalFrom1To65535()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        quint16 parsed = 0;
        QCOMPARE(ParseBlockLength(text, &parsed), count != 0);
        if (count)
            QCOMPARE(int(parsed), count);
    }

    void asicBlockLines_trimTheTextAndKeepInnerEmptyLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("default text writes one value") << "000000\n" << QStringList{"000000"};
        QTest::newRow("CR LF") << "1\r\n2" << QStringList{"1", "2"};
        QTest::newRow("LF CR") << "1\n\r2" << QStringList{"1", "2"};
        QTest::newRow("lone CR") << "1\r2" << QStringList{"1", "2"};
        QTest::newRow("empty line kept") << "1\n\n2" << QStringList{"1", "", "2"};
    }
    void asicBlockLines_trimTheTextAndKeepInnerEmptyLines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(AsicBlockLines(text), lines);
    }

    void pelraBlockLines_dropEmptyLines()
    {
        QCOMPARE(PelraBlockLines(QStringLiteral("\n1\n\n2\n")), QStringList({"1", "2"}));
        QVERIFY(PelraBlockLines(QStringLiteral("  \n ")).isEmpty());
    }

    void blockValues_stopAtTheFirstLineOutsideTheLimit_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<uint>("limit");
        QTest::addColumn<int>("bad");
        QTest::newRow("ASIC value above ffff accepted") << QStringList{"1", "12345"} << 0xFFFFFFFFu << -1;
        QTest::newRow("empty ASIC line refused") << QStringList{"1", "", "2"} << 0xFFFFFFFFu << 1;
        QTest::newRow("PELRA value above ffff refused") << QStringList{"1", "12345"} << 0xFFFFu << 1;
        QTest::newRow("not hexadecimal") << QStringList{"g1"} << 0xFFFFu << 0;
        QTest::newRow("33 bits") << QStringList{"100000000"} << 0xFFFFFFFFu << 0;
    }
    void blockValues_stopAtTheFirstLineOutsideTheLimit()
    {
        QFETCH(QStringList, lines);
        QFETCH(uint, limit);
        QFETCH(int, bad);
        QVector<quint32> values;
        QCOMPARE(ParseBlockValues(lines, limit, &values), bad);
        if (bad < 0)
            QCOMPARE(values.size(), lines.size());
    }

    void blockReadText_padsTo6DigitsFor24BitReads()
    {
        QCOMPARE(BlockReadText(QStringLiteral("4000"), 3, {0x123, 0, 0xffff}, true),
                 QStringLiteral("Blk read 0x4000 len 3:  000123, 000000, 00ffff, "));
        QCOMPARE(BlockReadText(QStringLiteral("40"), 2, {0x1, 0xabcd}, false),
                 QStringLiteral("Blk read 0x40 len 2:  0001, abcd, "));
    }

    void addressIncrement_changesBit0Only()
    {
        QCOMPARE(WithAddressIncrement(0x0010, true), 0x0011u);
        QCOMPARE(WithAddressIncrement(0xFFFF, false), 0xFFFEu);
        QCOMPARE(WithAddressIncrement(0x0011, true), 0x0011u);
    }

    void familySwitchQuestion_namesBothFamilies()
    {
        QCOMPARE(FamilySwitchQuestion(false),
                 QStringLiteral("Different ASIC type detected (OSTERA instead of TAMBRIL). Load the corresponding OSTERA register table for the Manual Command Tab?"));
        QCOMPARE(FamilySwitchQuestion(true),
                 QStringLiteral("Different ASIC type detected (TAMBRIL instead of OSTERA). Load the corresponding TAMBRIL register table for the Manual Command Tab?"));
    }

    void errorCounterNames_tambrilOnlyForTambrilFirmware()
    {
        QCOMPARE(PELRA_Global::TAMBRIL_ERRCNT_NAMES.size(), 33);
        QCOMPARE(PELRA_Global::OSTERA_ERR_NAMES.size(), 33);
        QCOMPARE(&ErrorCounterNames(AsicTambril), &PELRA_Global::TAMBRIL_ERRCNT_NAMES);
        for (PELRA_ASICType type : {AsicOstera, AsicBaseMode, AsicUnknown})
            QCOMPARE(&ErrorCounterNames(type), &PELRA_Global::OSTERA_ERR_NAMES);
        // Spot checks at the block boundaries of the counter vector.
        QCOMPARE(PELRA_Global::TAMBRIL_ERRCNT_NAMES.at(5), QStringLiteral("ASIC1 AckError1"));
        QCOMPARE(PELRA_Global::TAMBRIL_ERRCNT_NAMES.at(20), QStringLiteral("ASIC2 CRC Error"));
        QCOMPARE(PELRA_Global::TAMBRIL_ERRCNT_NAMES.at(32), QStringLiteral("Science CRC Error2"));
        QCOMPARE(PELRA_Global::OSTERA_ERR_NAMES.at(16), QStringLiteral("ASIC2_mSPI_RxFIFO_Error"));
        QCOMPARE(PELRA_Global::OSTERA_ERR_NAMES.at(28), QStringLiteral("Science CRC Error1"));
    }

    void errorCounterLines_showNonZeroNamedCountersOnly()
    {
        QVector<quint32> counters(33, 0);
        counters[0] = 5;
        counters[9] = 3;        // empty name for OSTERA
        counters[22] = 1;       // empty name for both
        counters[32] = 0x12345;
        QCOMPARE(ErrorCounterLines(counters, PELRA_Global::OSTERA_ERR_NAMES),
                 QStringList{"ParityErrorCounter_UART: 0x0005"});
        QCOMPARE(ErrorCounterLines(counters, PELRA_Global::TAMBRIL_ERRCNT_NAMES),
                 QStringList({"ParityErrorCounter_UART: 0x0005", "ASIC1 Stop Bit Error: 0x0003",
                              "Science CRC Error2: 0x12345"}));
        counters.fill(0);
        counters[9] = 7;
        QVERIFY(ErrorCounterLines(counters, PELRA_Global::OSTERA_ERR_NAMES).isEmpty());
    }

    void fifoLayout_from0xFFFE()
    {
        QVERIFY(IsSingleFifoLayout(0x8000));
        QVERIFY(IsSingleFifoLayout(0xF123));
        QVERIFY(!IsSingleFifoLayout(0x7FFF));
        QVERIFY(!IsSingleFifoLayout(0));
    }

    void fifoStatusLines_decodeBothLayouts_data()
    {
        QTest::addColumn<QVector<quint32>>("words");
        QTest::addColumn<bool>("single");
        QTest::addColumn<QStringList>("lines");
        auto block = [](quint32 status, QVector<QPair<int, quint32>> more) {
            QVector<quint32> w(12, 0);
            w[0] = status;
            for (const auto &p : more)
                w[p.first] = p.second;
            return w;
        };
        QTest::newRow("one FIFO full and empty")
            << block(0x0011, {}) << true
            << QStringList{"Main FIFO: Full. Empty. ", "GigE FIFO: Count of 32bit words = 0", "USB FIFO: Count of 32bit words = 0"};
        QTest::newRow("one FIFO counting")
            << block(0x0000, {{2, 2}, {3, 0xF005}, {4, 77}}) << true
            << QStringList{"Main FIFO: Count of 16bit words = 8197", "GigE FIFO: Count of 32bit words = 77",
                           "USB FIFO: Count of 32bit words = 77"};
        QTest::newRow("two FIFOs, FIFO1 full")
            << block(0x0101, {{2, 1}, {3, 0x0010}, {8, 1}, {9, 0x000F}, {10, 0}, {11, 1}}) << false
            << QStringList{"Main FIFO: FIFO1 is Full. Total Count of 16bit words (FIFO1 + FIFO2) = 4112. "
                           "FIFO1 Count of 16bit words = 4111. FIFO2 Count of 16bit words = 1. ",
                           "GigE FIFO: Count of 32bit words = 0", "USB FIFO: Count of 32bit words = 0"};
        QTest::newRow("two FIFOs both empty")
            << block(0x0070, {{2, 5}}) << false
            << QStringList{"Main FIFO: FIFO1 & FIFO2 Empty. ", "GigE FIFO: Empty. ", "USB FIFO: Empty. "};
        QTest::newRow("two FIFOs, FIFO2 empty, unknown full, outputs full")
            << block(0x0807, {}) << false
            << QStringList{"Main FIFO: FIFO2 Empty. Unknown FIFO1 or FIFO2 is FULL. Total Count of 16bit words (FIFO1 + FIFO2) = 0. "
                           "FIFO1 Count of 16bit words = 0. FIFO2 Count of 16bit words = 0. ",
                           "GigE FIFO: Full. ", "USB FIFO: Full. "};
        QTest::newRow("two FIFOs, FIFO1 empty, FIFO2 full")
            << block(0x0601, {}) << false
            << QStringList{"Main FIFO: FIFO1 Empty. FIFO2 is Full. Total Count of 16bit words (FIFO1 + FIFO2) = 0. "
                           "FIFO1 Count of 16bit words = 0. FIFO2 Count of 16bit words = 0. ",
                           "GigE FIFO: Count of 32bit words = 0", "USB FIFO: Count of 32bit words = 0"};
        QTest::newRow("short block counts as zeros")
            << QVector<quint32>{0x0001} << true
            << QStringList{"Main FIFO: Full. Count of 16bit words = 0", "GigE FIFO: Count of 32bit words = 0",
                           "USB FIFO: Count of 32bit words = 0"};
    }
    void fifoStatusLines_decodeBothLayouts()
    {
        QFETCH(QVector<quint32>, words);
        QFETCH(bool, single);
        QFETCH(QStringList, lines);
        QCOMPARE(FifoStatusLines(words, single), lines);
    }
};

QTEST_APPLESS_MAIN(TestManualRules)
#include "tst_manualrules.moc"
