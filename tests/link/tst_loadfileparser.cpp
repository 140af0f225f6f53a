// The register load-file language line by line: what each line asks for,
// every failure text, and the bounds that keep junk input harmless.
#include "loadfileparser.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>

using LoadFile::Parser;
using LoadFile::ReadResult;
using LoadFile::Step;

namespace {

const QString kPath = QStringLiteral("/cfg/test.glf");

QString Describe(const Step &step)
{
    const QString select = QStringLiteral(" sel=0x%1").arg(step.select, 2, 16, QLatin1Char('0'));
    const QString dma = step.dma ? QStringLiteral(" dma") : QString();
    const QString who = step.target == LoadFile::Target::Card ? QStringLiteral("card") : QStringLiteral("asic");
    switch (step.kind) {
    case Step::Wait:
        return QStringLiteral("wait %1").arg(step.waitMs);
    case Step::RegisterWrite:
        return who + QStringLiteral(" %1=%2").arg(step.address, 4, 16, QLatin1Char('0')).arg(step.value, 4, 16, QLatin1Char('0'))
               + select + (step.target == LoadFile::Target::Asic ? dma : QString());
    case Step::BlockWrite: {
        QStringList values;
        for (quint32 v : step.values)
            values << QString::number(v, 16);
        return who + QStringLiteral(" block %1 [%2]").arg(step.address, 4, 16, QLatin1Char('0')).arg(values.join(QLatin1Char(' ')))
               + select + (step.target == LoadFile::Target::Asic ? dma : QString());
    }
    case Step::Failure:
        return QStringLiteral("FAIL ") + step.error;
    case Step::Nothing:
        break;
    }
    return QString();
}

// Feeds the text line by line, as the card link does, and lists every step
// that does something, ending with the failure if there is one.
QStringList Run(const QByteArray &text, quint8 cardMask = 0x01, quint8 asicMask = 0x01, bool dma = false)
{
    Parser parser(kPath, cardMask, asicMask, dma);
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    QStringList steps;
    QByteArray line;
    while (LoadFile::ReadLine(buffer, line) == ReadResult::Line) {
        const Step step = parser.Feed(line);
        if (step.kind != Step::Nothing)
            steps << Describe(step);
        if (step.kind == Step::Failure)
            break;
    }
    return steps;
}

QString Fail(const char *text)
{
    return QStringLiteral("FAIL ") + QString::fromUtf8(text);
}

}  // namespace

class TestLoadFileParser : public QObject
{
    Q_OBJECT

private slots:
    void steps_followTheFile_data();
    void steps_followTheFile();
    void failures_nameTheLineAndFile_data();
    void failures_nameTheLineAndFile();
    void masks_checkedOnlyWhenAWriteIsDue();
    void fileTexts_nameThePathAsGiven();
    void readLine_endsAtLineFeedAndStopsAtTheLimit();
    void blockLength_limitIsTheCountField();
    void junk_onlyEverFails();
};

void TestLoadFileParser::steps_followTheFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("the syntax example") << QByteArray("# set-up\npelra_mode\n0010 0001\n0011 00ff\nwait 100\nasic_mode\n"
                                                      "blockstart\naddress 4000\nlength 3\n0001\n0002\n0003\nblockend\n")
                                        << QStringList{"card 0010=0001 sel=0x01", "card 0011=00ff sel=0x01", "wait 100",
                                                       "asic block 4000 [1 2 3] sel=0x01"};
    QTest::newRow("no mode line writes ASIC registers") << QByteArray("0010 0001\n")
                                                        << QStringList{"asic 0010=0001 sel=0x01"};
    QTest::newRow("pelra_mode holds until asic_mode") << QByteArray("pelra_mode\n1 2\n3 4\nasic_mode\n5 6\n")
                                                      << QStringList{"card 0001=0002 sel=0x01", "card 0003=0004 sel=0x01",
                                                                     "asic 0005=0006 sel=0x01"};
    QTest::newRow("upper-case keywords and digits") << QByteArray("PELRA_MODE\nBLOCKSTART\nADDRESS 1000\nLENGTH 2\nABCD\n00Ef\nBLOCKEND\n"
                                                                  "Asic_Mode DMA\nFFFF 1A2B\nWAIT 5\n")
                                                    << QStringList{"card block 1000 [abcd ef] sel=0x01",
                                                                   "asic ffff=1a2b sel=0x01 dma", "wait 5"};
    QTest::newRow("values keep their low 16 bits") << QByteArray("12345 6789a\nblockstart\nlength 1\nfedcba98\nblockend\n")
                                                   << QStringList{"asic 2345=789a sel=0x01", "asic block 0000 [ba98] sel=0x01"};
    QTest::newRow("0x prefixes are hexadecimal too") << QByteArray("0x10 0X1f\n") << QStringList{"asic 0010=001f sel=0x01"};
    QTest::newRow("fields after the value are ignored") << QByteArray("0010 0001 0002 junk\n")
                                                        << QStringList{"asic 0010=0001 sel=0x01"};
    QTest::newRow("trailing comment") << QByteArray("0010 0001 # enable\n# 0011 0002\n")
                                      << QStringList{"asic 0010=0001 sel=0x01"};
    QTest::newRow("CR LF line ends") << QByteArray("pelra_mode\r\n0010 0001\r\nwait 3\r\n")
                                     << QStringList{"card 0010=0001 sel=0x01", "wait 3"};
    QTest::newRow("blank and comment lines inside a block")
        << QByteArray("blockstart\n\naddress 20\n# values\nlength 2\n1\n\n2 # second\nblockend\n")
        << QStringList{"asic block 0020 [1 2] sel=0x01"};
    QTest::newRow("dma option sets, no option keeps, other option clears")
        << QByteArray("asic_mode dma\n1 1\nasic_mode\n2 2\nasic_mode normal\n3 3\n")
        << QStringList{"asic 0001=0001 sel=0x01 dma", "asic 0002=0002 sel=0x01 dma", "asic 0003=0003 sel=0x01"};
    QTest::newRow("mspi_reg sets dma, the last option decides")
        << QByteArray("asic_mode  mspi_reg\n1 1\nasic_mode dma normal\n2 2\nasic_mode normal xdmax\n3 3\n")
        << QStringList{"asic 0001=0001 sel=0x01 dma", "asic 0002=0002 sel=0x01", "asic 0003=0003 sel=0x01 dma"};
    QTest::newRow("a wait that is no number is 0") << QByteArray("wait abc\nwait  100\n")
                                                   << QStringList{"wait 0", "wait 0"};
    QTest::newRow("an address that is no number is 0") << QByteArray("blockstart\naddress xyz\nlength 1\n7\nblockend\n")
                                                       << QStringList{"asic block 0000 [7] sel=0x01"};
    QTest::newRow("keywords are prefixes") << QByteArray("waiting 12\n") << QStringList{"wait 12"};
    QTest::newRow("block still open at the end is dropped")
        << QByteArray("1 1\nblockstart\naddress 10\nlength 2\n1\n2\n") << QStringList{"asic 0001=0001 sel=0x01"};
    QTest::newRow("a second length line starts the data again")
        << QByteArray("blockstart\nlength 3\n1\nlength 1\n9\nblockend\n") << QStringList{"asic block 0000 [9] sel=0x01"};
    QTest::newRow("a zero-length block is handed on for the link to refuse")
        << QByteArray("blockstart\nlength 0\nblockend\n") << QStringList{"asic block 0000 [] sel=0x01"};
}

void TestLoadFileParser::steps_followTheFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, steps);
    QCOMPARE(Run(text), steps);
}

void TestLoadFileParser::failures_nameTheLineAndFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("asic_mode inside a block") << QByteArray("blockstart\nasic_mode\n")
        << QStringList{Fail("ERROR: Attempted use of ASIC_MODE inside block at line 2 of file /cfg/test.glf")};
    QTest::newRow("pelra_mode inside a block") << QByteArray("blockstart\nlength 1\npelra_mode\n")
        << QStringList{Fail("ERROR: Attempted use of PELRA_MODE inside data block at line 3 of file /cfg/test.glf")};
    QTest::newRow("wait inside a block") << QByteArray("blockstart\nwait 10\n")
        << QStringList{Fail("ERROR: Attempted use of wait inside data block at line 2 of file /cfg/test.glf")};
    QTest::newRow("wait without a time") << QByteArray("0001 0001\nwait\n")
        << QStringList{"asic 0001=0001 sel=0x01", Fail("ERROR: WAIT at line 2 has no arguments")};
    QTest::newRow("wait glued to its time") << QByteArray("wait100\n") << QStringList{Fail("ERROR: WAIT at line 1 has no arguments")};
    QTest::newRow("blockstart inside a block") << QByteArray("blockstart\nblockstart\n")
        << QStringList{Fail("ERROR: Unexpected blockstart at line 2 of file /cfg/test.glf")};
    QTest::newRow("address outside a block") << QByteArray("address 10\n")
        << QStringList{Fail("ERROR: Keyword 'address' not allowed outside block at line 1 of file /cfg/test.glf")};
    QTest::newRow("address without a value") << QByteArray("blockstart\naddress\n")
        << QStringList{Fail("ERROR: Invalid command detected at line number 2 of file /cfg/test.glf")};
    QTest::newRow("length outside a block") << QByteArray("length 2\n")
        << QStringList{Fail("ERROR: Keyword 'length' not allowed outside block at line 1 of file /cfg/test.glf")};
    QTest::newRow("length without a value") << QByteArray("blockstart\nlength\n")
        << QStringList{Fail("ERROR: Invalid command has been detected at line number 2 of file /cfg/test.glf")};
    QTest::newRow("blockend outside a block") << QByteArray("blockend\n")
        << QStringList{Fail("ERROR: Unexpected blockend keyword at line 1 of file /cfg/test.glf")};
    QTest::newRow("block one value short") << QByteArray("blockstart\nlength 2\n1\nblockend\n")
        << QStringList{Fail("ERROR: Amount of data does not match block length at line 4 of file /cfg/test.glf")};
    QTest::newRow("block without length after an earlier block")
        << QByteArray("blockstart\nlength 1\n1\nblockend\nblockstart\nblockend\n")
        << QStringList{"asic block 0000 [1] sel=0x01",
                       Fail("ERROR: Amount of data does not match block length at line 6 of file /cfg/test.glf")};
    QTest::newRow("block one value too many") << QByteArray("blockstart\nlength 2\n1\n2\n3\nblockend\n")
        << QStringList{Fail("ERROR: Amount of data exceeds block length at line 5 of file /cfg/test.glf")};
    QTest::newRow("data value before the length") << QByteArray("blockstart\naddress 10\n5\n")
        << QStringList{Fail("ERROR: Data value before keyword 'length' at line 3 of file /cfg/test.glf")};
    QTest::newRow("negative length") << QByteArray("blockstart\nlength -1\n")
        << QStringList{Fail("ERROR: Negative block length at line 2 of file /cfg/test.glf")};
    QTest::newRow("length above the count field") << QByteArray("blockstart\nlength 65537\n")
        << QStringList{Fail("ERROR: Block length above 65536 at line 2 of file /cfg/test.glf")};
    QTest::newRow("negative wait") << QByteArray("wait -5\n")
        << QStringList{Fail("ERROR: Negative wait time at line 1 of file /cfg/test.glf")};
    QTest::newRow("data value that is no number") << QByteArray("blockstart\nlength 1\n12 34\n")
        << QStringList{Fail("Unexpected blockmode value at line 3")};
    QTest::newRow("register line with one field") << QByteArray("0010\n")
        << QStringList{Fail("Unexpected Addrress and value at line 1")};
    QTest::newRow("tab is no separator") << QByteArray("0010\t0001\n")
        << QStringList{Fail("Unexpected Addrress and value at line 1")};
    QTest::newRow("address that is no number") << QByteArray("00g0 0001\n")
        << QStringList{Fail("Unexpected address at line 1")};
    QTest::newRow("two spaces before the value") << QByteArray("0010  0001\n")
        << QStringList{Fail("Unexpected register value at line 1")};
    QTest::newRow("line numbers count comments and blanks") << QByteArray("# a\n\n   \n1 1 # b\nzz 1\n")
        << QStringList{"asic 0001=0001 sel=0x01", Fail("Unexpected address at line 5")};
    QTest::newRow("writes before a failure are kept, nothing after") << QByteArray("pelra_mode\n1 1\n2 x\n3 3\n")
        << QStringList{"card 0001=0001 sel=0x01", Fail("Unexpected register value at line 3")};
}

void TestLoadFileParser::failures_nameTheLineAndFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, steps);
    QCOMPARE(Run(text), steps);
}

void TestLoadFileParser::masks_checkedOnlyWhenAWriteIsDue()
{
    const QByteArray quiet("# only\nwait 1\npelra_mode\nasic_mode dma\nblockstart\nlength 1\n1\n");
    QCOMPARE(Run(quiet, 0, 0), QStringList{"wait 1"});

    QCOMPARE(Run("pelra_mode\n1 1\nasic_mode\n2 2\n", 0x05, 0),
             (QStringList{"card 0001=0001 sel=0x05",
                          Fail("ERROR: No selected ASICs at ASIC_MODE. File: /cfg/test.glf")}));
    QCOMPARE(Run("1 1\npelra_mode\nblockstart\nlength 1\n1\nblockend\n", 0, 0x03),
             (QStringList{"asic 0001=0001 sel=0x03",
                          Fail("ERROR: No selected PELRAs at PELRA_MODE. File: /cfg/test.glf")}));
    // The caller's DMA flag holds until an asic_mode option changes it.
    QCOMPARE(Run("1 1\nasic_mode normal\n2 2\n", 1, 1, true),
             (QStringList{"asic 0001=0001 sel=0x01 dma", "asic 0002=0002 sel=0x01"}));
}

void TestLoadFileParser::fileTexts_nameThePathAsGiven()
{
    Parser parser(QStringLiteral("rel/a b.ald"), 1, 1, false);
    QCOMPARE(parser.MissingFile(), QStringLiteral("rel/a b.ald does not exist"));
    QCOMPARE(parser.OpenFailed(), QStringLiteral("File opening failed: rel/a b.ald"));
    parser.Feed("1 1");
    QCOMPARE(parser.LineTooLong(), QStringLiteral("ERROR: Line 2 is longer than 65536 characters in file rel/a b.ald"));
    QCOMPARE(parser.ReadFailed(QStringLiteral("Input/output error")),
             QStringLiteral("ERROR: Reading failed at line 2 of file rel/a b.ald: Input/output error"));
}

void TestLoadFileParser::readLine_endsAtLineFeedAndStopsAtTheLimit()
{
    const QByteArray longest(LoadFile::MaxLineBytes, 'a');
    QBuffer buffer;
    buffer.setData("one\r\ntwo\n\n" + longest + "\r\n" + longest + "b\nlast");
    buffer.open(QIODevice::ReadOnly);
    QByteArray line;
    QCOMPARE(LoadFile::ReadLine(buffer, line), ReadResult::Line);
    QCOMPARE(line, QByteArray("one"));
    QCOMPARE(LoadFile::ReadLine(buffer, line), ReadResult::Line);
    QCOMPARE(line, QByteArray("two"));
    QCOMPARE(LoadFile::ReadLine(buffer, line), ReadResult::Line);
    QCOMPARE(line, QByteArray());
    QCOMPARE(LoadFile::ReadLine(buffer, line), ReadResult::Line);
    QCOMPARE(line.size(), LoadFile::MaxLineBytes);
    QCOMPARE(LoadFile::ReadLine(buffer, line), ReadResult::TooLong);
    QVERIFY(line.size() <= LoadFile::MaxLineBytes + 2);

    QBuffer tail;
    tail.setData("x\nlast");
    tail.open(QIODevice::ReadOnly);
    QCOMPARE(LoadFile::ReadLine(tail, line), ReadResult::Line);
    QCOMPARE(LoadFile::ReadLine(tail, line), ReadResult::Line);
    QCOMPARE(line, QByteArray("last"));
    QCOMPARE(LoadFile::ReadLine(tail, line), ReadResult::End);
}

void TestLoadFileParser::blockLength_limitIsTheCountField()
{
    Parser parser(kPath, 1, 1, false);
    parser.Feed("blockstart");
    parser.Feed("length 65536");
    int failures = 0;
    for (int i = 0; i < LoadFile::MaxBlockValues; ++i)
        failures += parser.Feed("ffff").kind == Step::Failure;
    QCOMPARE(failures, 0);
    const Step block = parser.Feed("blockend");
    QCOMPARE(block.kind, Step::BlockWrite);
    QCOMPARE(block.values.size(), LoadFile::MaxBlockValues);
    QCOMPARE(block.values.last(), quint32(0xFFFF));
}

void TestLoadFileParser::junk_onlyEverFails()
{
    QRandomGenerator random(20240611);
    const QByteArray alphabet("0123456789abcdefxABCDEF #\t\r-_lengthaddressblockstartblockendwaitasic_modepelra_modedma");
    for (int round = 0; round < 300; ++round) {
        Parser parser(kPath, quint8(random.bounded(256)), quint8(random.bounded(256)), random.bounded(2));
        for (int n = 0; n < 200; ++n) {
            QByteArray line;
            const int size = random.bounded(40);
            for (int i = 0; i < size; ++i)
                line += random.bounded(4) == 0 ? char(random.bounded(256)) : alphabet.at(random.bounded(alphabet.size()));
            const Step step = parser.Feed(line);
            QVERIFY(step.values.size() <= LoadFile::MaxBlockValues);
            for (quint32 v : step.values)
                QVERIFY(v <= 0xFFFF);
            QVERIFY(step.value <= 0xFFFF);
            QVERIFY(step.waitMs >= 0);
            if (step.kind == Step::Failure) {
                QVERIFY(!step.error.isEmpty());
                break;
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestLoadFileParser)
#include "tst_loadfileparser.moc"
