// The ordered keyword set that goes into a FITS header.
#include "fitsheader.h"

#include <QtTest>

namespace {

std::vector<std::string> Keywords(const FitsHeader &header)
{
    std::vector<std::string> out;
    for (auto it = header.Begin(); it != header.End(); ++it)
        out.push_back(it->first);
    return out;
}

}  // namespace

class TestFitsHeader : public QObject
{
    Q_OBJECT

private slots:
    void iteration_followsByteOrderNotInsertion();
    void addingExistingKeyword_keepsFirstEntry_data();
    void addingExistingKeyword_keepsFirstEntry();
    void entries_carryTypeValueAndComment();
    void getters_reportFoundOnlyForTheirKind_data();
    void getters_reportFoundOnlyForTheirKind();
    void clearHeader_leavesItEmpty();
    void modifiableIteration_changesEntries();
};

void TestFitsHeader::iteration_followsByteOrderNotInsertion()
{
    FitsHeader header;
    QVERIFY(header.AddInt("ZETA", 1, "last"));
    QVERIFY(header.AddInt("ALPHA", 2, "first"));
    QVERIFY(header.AddString("MID", "m", "middle"));
    QCOMPARE(Keywords(header), (std::vector<std::string>{"ALPHA", "MID", "ZETA"}));

    // Byte-wise: digits before '_' before lower case, upper case before both.
    FitsHeader bytes;
    bytes.AddInt("a", 0, "");
    bytes.AddInt("A_", 0, "");
    bytes.AddInt("A1", 0, "");
    bytes.AddInt("B", 0, "");
    bytes.AddInt("A-", 0, "");
    QCOMPARE(Keywords(bytes), (std::vector<std::string>{"A-", "A1", "A_", "B", "a"}));
}

void TestFitsHeader::addingExistingKeyword_keepsFirstEntry_data()
{
    QTest::addColumn<int>("secondKind");
    QTest::newRow("int again") << int(FitsHeader::IntEntry);
    QTest::newRow("float over int") << int(FitsHeader::FloatEntry);
    QTest::newRow("text over int") << int(FitsHeader::StringEntry);
    QTest::newRow("struct over int") << -1;
}

void TestFitsHeader::addingExistingKeyword_keepsFirstEntry()
{
    QFETCH(int, secondKind);
    FitsHeader header;
    QVERIFY(header.AddInt("EXPTIME", 10, "first comment"));
    bool added = false;
    switch (secondKind) {
    case FitsHeader::IntEntry:
        added = header.AddInt("EXPTIME", 20, "second comment");
        break;
    case FitsHeader::FloatEntry:
        added = header.AddFloat("EXPTIME", 2.5f, "second comment");
        break;
    case FitsHeader::StringEntry:
        added = header.AddString("EXPTIME", "twenty", "second comment");
        break;
    default: {
        FitsHeaderStruct entry;
        entry.type = FitsHeader::IntEntry;
        entry.intValue = 30;
        entry.comment = "second comment";
        added = header.InsertStruct("EXPTIME", entry);
    }
    }
    QVERIFY(added);
    const auto it = header.Begin();
    QCOMPARE(it->first, std::string("EXPTIME"));
    QCOMPARE(it->second.type, int(FitsHeader::IntEntry));
    QCOMPARE(it->second.intValue, 10);
    QCOMPARE(it->second.comment, std::string("first comment"));
    QVERIFY(std::next(it) == header.End());
}

void TestFitsHeader::entries_carryTypeValueAndComment()
{
    FitsHeader header;
    header.AddInt("I", -7, "an int");
    header.AddFloat("F", 1.25f, "a float");
    header.AddString("S", "text", "a text");
    auto it = header.Begin();
    QCOMPARE(it->first, std::string("F"));
    QCOMPARE(it->second.type, 2);
    QCOMPARE(it->second.floatValue, 1.25f);
    QCOMPARE(it->second.comment, std::string("a float"));
    ++it;
    QCOMPARE(it->second.type, 0);
    QCOMPARE(it->second.intValue, -7);
    ++it;
    QCOMPARE(it->second.type, 1);
    QCOMPARE(it->second.stringValue, std::string("text"));
    QCOMPARE(it->second.comment, std::string("a text"));
}

void TestFitsHeader::getters_reportFoundOnlyForTheirKind_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<bool>("intFound");
    QTest::addColumn<int>("intValue");
    QTest::addColumn<bool>("textFound");
    QTest::addColumn<QByteArray>("textValue");
    QTest::newRow("int entry") << QByteArray("MUXTYPE") << true << 2 << false << QByteArray();
    QTest::newRow("text entry") << QByteArray("ACQTIME") << false << 0 << true << QByteArray("12:00:01");
    QTest::newRow("float entry") << QByteArray("GAIN") << false << 0 << false << QByteArray();
    QTest::newRow("absent") << QByteArray("NOSUCH") << false << 0 << false << QByteArray();
    QTest::newRow("case matters") << QByteArray("muxtype") << false << 0 << false << QByteArray();
}

void TestFitsHeader::getters_reportFoundOnlyForTheirKind()
{
    QFETCH(QByteArray, keyword);
    QFETCH(bool, intFound);
    QFETCH(int, intValue);
    QFETCH(bool, textFound);
    QFETCH(QByteArray, textValue);
    FitsHeader header;
    header.AddInt("MUXTYPE", 2, "");
    header.AddString("ACQTIME", "12:00:01", "");
    header.AddFloat("GAIN", 3.5f, "");

    bool found = !intFound;
    QCOMPARE(header.GetInt(keyword.toStdString(), found), intValue);
    QCOMPARE(found, intFound);
    found = !textFound;
    QCOMPARE(header.GetString(keyword.toStdString(), found), textValue.toStdString());
    QCOMPARE(found, textFound);
}

void TestFitsHeader::clearHeader_leavesItEmpty()
{
    FitsHeader header;
    QVERIFY(header.IsEmpty());
    QVERIFY(header.Begin() == header.End());
    header.AddInt("A", 1, "");
    QVERIFY(!header.IsEmpty());
    header.ClearHeader();
    QVERIFY(header.IsEmpty());
    bool found = true;
    header.GetInt("A", found);
    QVERIFY(!found);
    QVERIFY(header.AddInt("A", 2, ""));
    QCOMPARE(header.GetInt("A", found), 2);
}

void TestFitsHeader::modifiableIteration_changesEntries()
{
    FitsHeader header;
    header.AddInt("A", 1, "old");
    header.Begin()->second.intValue = 5;
    header.Begin()->second.comment = "new";
    const FitsHeader &readOnly = header;
    QCOMPARE(readOnly.Begin()->second.intValue, 5);
    QCOMPARE(readOnly.Begin()->second.comment, std::string("new"));
}

QTEST_GUILESS_MAIN(TestFitsHeader)
#include "tst_fitsheader.moc"
