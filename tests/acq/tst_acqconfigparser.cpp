// The acquisition configuration file parser: keywords, value kinds, the
// two-value keywords with their splitting rules, the reported lines and the
// limits that bound what any input can cost.
#include "acqconfigparser.h"

#include <QtTest>

using PELRA_Global::AcqParam;

class TestAcqConfigParser : public QObject
{
    Q_OBJECT

private:
    // Parses one group named G followed by `lines`.
    static AcqConfig::ParseResult group(const QString &lines)
    {
        return AcqConfig::Parse(QStringLiteral("NAME: G\n") + lines);
    }

private slots:
    void newGroup_holdsTheDefaults()
    {
        const auto r = AcqConfig::Parse(QStringLiteral("NAME: plain"));
        QCOMPARE(r.groups.size(), 1);
        QVERIFY(r.messages.isEmpty());
        const AcqParam &g = r.groups.first();
        QCOMPARE(g.name, QStringLiteral("plain"));
        QCOMPARE(g.xSize, quint16(2048));
        QCOMPARE(g.ySize, quint16(2048));
        QCOMPARE(g.dropWait, 1500);
        QCOMPARE(g.clkDrpBit, quint16(2));
        QCOMPARE(g.trgDest, quint8(1));
        QCOMPARE(g.testPattern, QStringLiteral("PORT_FIFO"));
        QCOMPARE(g.trgVal, quint16(1));
        QCOMPARE(g.stopVal, quint32(0xFFFFFF));
        QCOMPARE(g.trgDefVal, quint32(0xFFFFFF));
        QCOMPARE(g.preTrgWait, quint16(1000));
        QCOMPARE(g.timeout, quint16(1500));
        QCOMPARE(g.sortChans, quint8(32));
        QCOMPARE(g.guideXSize, quint16(16));
        QCOMPARE(g.guideStartRow, quint16(256));
        QCOMPARE(g.guideNReads, quint16(1));
        for (quint16 reg : {g.resetReg, g.readReg, g.groupReg, g.dropReg, g.drop2Reg, g.sendRstReg, g.clkDrpReg,
                            g.trgReg, g.preTrgReg})
            QCOMPARE(reg, quint16(0));
        QVERIFY(g.pelraRanges.isEmpty());
        QVERIFY(!g.guideModeEn);
    }

    void valueKinds_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("field");
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<bool>("reported");
        // hex: stores 0 and reports what does not convert
        QTest::newRow("lower-case keyword, no blank, comment") << "reset:4003 # ramp resets" << "resetReg" << 0x4003LL << false;
        QTest::newRow("hex not hex") << "READ: xyz" << "readReg" << 0LL << true;
        QTest::newRow("hex too wide for 16 bits") << "TRGADDR: 12345" << "trgReg" << 0LL << true;
        QTest::newRow("hex 32-bit") << "STOPVAL: 1000000" << "stopVal" << 0x1000000LL << false;
        QTest::newRow("hex 32-bit not hex") << "TRGDEFVAL: none" << "trgDefVal" << 0LL << true;
        QTest::newRow("drop2") << "DROP2: 4005" << "drop2Reg" << 0x4005LL << false;
        // dec: stores 0 silently
        QTest::newRow("dec") << "XSIZE: 1024" << "xSize" << 1024LL << false;
        QTest::newRow("dec not a number") << "TIMEOUT: soon" << "timeout" << 0LL << false;
        QTest::newRow("dec is not hex") << "YSIZE: 1F" << "ySize" << 0LL << false;
        QTest::newRow("dec signed") << "DROPWAIT: -20" << "dropWait" << -20LL << false;
        QTest::newRow("dec 32-bit") << "EXTRAPIXELS: 100000" << "extraPixels" << 100000LL << false;
        QTest::newRow("dec 8-bit") << "SORTCHANS: 16" << "sortChans" << 16LL << false;
        QTest::newRow("dec 8-bit too large") << "DATAFORMAT: 300" << "dataFormat" << 0LL << false;
        // flag: any non-zero decimal
        QTest::newRow("flag 5") << "GUIDEMODEEN: 5" << "guideModeEn" << 1LL << false;
        QTest::newRow("flag 0") << "RESETPOLARITY: 0" << "resetPolarity" << 0LL << false;
        QTest::newRow("flag word") << "RESETPOLARITY: yes" << "resetPolarity" << 0LL << false;
        QTest::newRow("guide end 7 is 1") << "GUIDEEND: 7" << "guideEnd" << 1LL << false;
        // text
        QTest::newRow("trgdest PELRA") << "TRGDEST: PELRA" << "trgDest" << 0LL << false;
        QTest::newRow("trgdest is case-sensitive") << "TRGDEST: pelra" << "trgDest" << 1LL << false;
    }

    void valueKinds()
    {
        QFETCH(QString, line);
        QFETCH(QString, field);
        QFETCH(qlonglong, value);
        QFETCH(bool, reported);
        const auto r = group(line);
        QCOMPARE(r.groups.size(), 1);
        const AcqParam &g = r.groups.first();
        const QHash<QString, qlonglong> fields = {
            {"resetReg", g.resetReg},   {"readReg", g.readReg},     {"trgReg", g.trgReg},
            {"stopVal", g.stopVal},     {"trgDefVal", g.trgDefVal}, {"drop2Reg", g.drop2Reg},
            {"xSize", g.xSize},         {"ySize", g.ySize},         {"timeout", g.timeout},
            {"dropWait", g.dropWait},   {"extraPixels", g.extraPixels}, {"sortChans", g.sortChans},
            {"dataFormat", g.dataFormat}, {"guideModeEn", g.guideModeEn}, {"resetPolarity", g.resetPolarity},
            {"guideEnd", g.guideEnd},   {"trgDest", g.trgDest},
        };
        QVERIFY(fields.contains(field));
        QCOMPARE(fields.value(field), value);
        const QString text = line.left(line.indexOf(QLatin1Char('#')) < 0 ? line.size() : line.indexOf(QLatin1Char('#')));
        QCOMPARE(r.messages, reported ? QStringList{AcqConfig::InvalidLineMessage(text)} : QStringList());
    }

    void invalidLine_messageCarriesTheLineBeforeTheComment()
    {
        const auto r = group(QStringLiteral("  READ: xyz   # oops  "));
        QCOMPARE(r.messages, QStringList{QStringLiteral("Invalid parameter line: READ: xyz    Expect format [paramName: paramValue]")});
    }

    void lineShapes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("unknown keyword") << "COLOUR: blue" << QStringList();
        QTest::newRow("empty") << "   " << QStringList();
        QTest::newRow("comment only") << "# NAME: hidden" << QStringList();
        QTest::newRow("colons only") << " :: " << QStringList();
        QTest::newRow("one word") << "JUSTAWORD"
                                  << QStringList{"Invalid format for the line JUSTAWORDExpect [paraName: parmVals]"};
        QTest::newRow("keyword and colon") << "READ:"
                                           << QStringList{"Invalid format for the line READ:Expect [paraName: parmVals]"};
    }

    void lineShapes()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, messages);
        const auto r = group(line);
        QCOMPARE(r.messages, messages);
        QCOMPARE(r.groups.size(), 1);
        QCOMPARE(r.groups.first().name, QStringLiteral("G"));
    }

    void thirdPieceIsDropped_soValuesCannotHoldAColon()
    {
        const auto r = group(QStringLiteral("SYNCSCRIPT: C:\\sync\\ramp.glf"));
        QCOMPARE(r.groups.first().syncScript, QStringLiteral("C"));
        QVERIFY(r.messages.isEmpty());
    }

    void twoValueKeywords_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("reported");
        QTest::newRow("sendrst both") << "SENDRST: 4002 1F" << 0x4002 << 0x1F << false;
        QTest::newRow("sendrst register only keeps the default") << "SENDRST: 4002" << 0x4002 << 0 << false;
        QTest::newRow("sendrst two blanks leave an empty second piece") << "SENDRST: 4002  1F" << 0x4002 << 0 << true;
        QTest::newRow("sendrst second not hex") << "SENDRST: 4002 zz" << 0x4002 << 0 << true;
        QTest::newRow("sendrst register not hex") << "SENDRST: zz 4" << 0 << 0 << true;
        QTest::newRow("clkdrp both, second decimal") << "CLKDRP: 4006 10" << 0x4006 << 10 << false;
        QTest::newRow("clkdrp register only keeps bit 2") << "CLKDRP: 4006" << 0x4006 << 2 << false;
        QTest::newRow("clkdrp second unchecked") << "CLKDRP: 4006 ten" << 0x4006 << 0 << false;
        QTest::newRow("clkdrp two blanks: empty second is 0") << "CLKDRP: 4006  7" << 0x4006 << 0 << false;
        QTest::newRow("clkdrp register not hex") << "CLKDRP: x 3" << 0 << 2 << true;
    }

    void twoValueKeywords()
    {
        QFETCH(QString, line);
        QFETCH(int, reg);
        QFETCH(int, second);
        QFETCH(bool, reported);
        const auto r = group(line);
        const AcqParam &g = r.groups.first();
        const bool sendRst = line.startsWith(QLatin1String("SENDRST"));
        QCOMPARE(int(sendRst ? g.sendRstReg : g.clkDrpReg), reg);
        QCOMPARE(int(sendRst ? g.sendRstValue : g.clkDrpBit), second);
        QCOMPARE(r.messages.size(), reported ? 1 : 0);
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("pelra");
        QTest::addColumn<int>("first");   // -1: no range added
        QTest::addColumn<int>("last");
        QTest::newRow("pelra range") << "PELRARANGE: 0100 01FF" << true << 0x100 << 0x1FF;
        QTest::newRow("pelra range, first only") << "PELRARANGE: 0100" << true << 0x100 << 0xFFFF;
        QTest::newRow("pelra range without blank loses a digit") << "PELRARANGE:1234 5678" << true << 0x234 << 0x5678;
        QTest::newRow("pelra range with suffix") << "PELRARANGE_A: 0100 01FF" << true << -1 << 0;
        QTest::newRow("pelra range, trailing blanks and comment") << "PELRARANGE: 10 20   # x" << true << 0x10 << 0x20;
        QTest::newRow("pelra range, lower case uses its value") << "pelrarange: 10 20" << true << 0x10 << 0x20;
        QTest::newRow("pelra range not hex") << "PELRARANGE: 10 2g" << true << -1 << 0;
        QTest::newRow("asic range") << "ASICRANGE: 4000 4023" << false << 0x4000 << 0x4023;
        QTest::newRow("asic range with suffix uses the second piece") << "ASICRANGE2:  4000 4023" << false << 0x4000 << 0x4023;
        QTest::newRow("asic range, two blanks") << "ASICRANGE: 4000  4023" << false << -1 << 0;
    }

    void ranges()
    {
        QFETCH(QString, line);
        QFETCH(bool, pelra);
        QFETCH(int, first);
        QFETCH(int, last);
        const auto r = group(line);
        const AcqParam &g = r.groups.first();
        QCOMPARE((pelra ? g.asicRanges : g.pelraRanges).size(), 0);
        const auto &ranges = pelra ? g.pelraRanges : g.asicRanges;
        if (first < 0) {
            QVERIFY(ranges.isEmpty());
            QCOMPARE(r.messages.size(), 1);
            QVERIFY(r.messages.first().startsWith(QLatin1String("Invalid parameter line: ")));
        } else {
            QCOMPARE(ranges.size(), 1);
            QCOMPARE(int(ranges.first().first), first);
            QCOMPARE(int(ranges.first().last), last);
            QVERIFY(r.messages.isEmpty());
        }
    }

    void lineBeforeFirstName_isReportedAndIgnored()
    {
        const auto r = AcqConfig::Parse(QStringLiteral("READ: 4001\nCOLOUR: red\nNAME: A\nGROUP: 4000\n"));
        QCOMPARE(r.messages, QStringList{AcqConfig::InvalidLineMessage(QStringLiteral("READ: 4001"))});
        QCOMPARE(r.groups.size(), 1);
        QCOMPARE(r.groups.first().readReg, quint16(0));
        QCOMPARE(r.groups.first().groupReg, quint16(0x4000));
    }

    void groups_keepFileOrderAndDuplicateNames_andLinesGoToTheLastGroup()
    {
        const auto r = AcqConfig::Parse(QStringLiteral("NAME: A\r\nREAD: 1\r\nname:B\r\nNAME: A\r\nREAD: 3\r\n"));
        QCOMPARE(r.groups.size(), 3);
        QCOMPARE(r.groups[0].name, QStringLiteral("A"));
        QCOMPARE(r.groups[1].name, QStringLiteral("B"));
        QCOMPARE(r.groups[2].name, QStringLiteral("A"));
        QCOMPARE(r.groups[0].readReg, quint16(1));
        QCOMPARE(r.groups[1].readReg, quint16(0));
        QCOMPARE(r.groups[2].readReg, quint16(3));
        QVERIFY(r.messages.isEmpty());
    }

    void groupLimit_reportsFurtherNamesAndDropsTheirLines()
    {
        QString text;
        for (int i = 0; i <= AcqConfig::MaxGroups; ++i)
            text += QStringLiteral("NAME: g%1\nREAD: %2\n").arg(i).arg(i % 0x100, 0, 16);
        const auto r = AcqConfig::Parse(text);
        QCOMPARE(r.groups.size(), AcqConfig::MaxGroups);
        QCOMPARE(r.groups.last().name, QStringLiteral("g%1").arg(AcqConfig::MaxGroups - 1));
        QCOMPARE(r.groups.last().readReg, quint16((AcqConfig::MaxGroups - 1) % 0x100));
        QCOMPARE(r.messages, QStringList{AcqConfig::InvalidLineMessage(QStringLiteral("NAME: g%1").arg(AcqConfig::MaxGroups))});
    }

    void rangeLimit_reportsFurtherRanges()
    {
        QString text;
        for (int i = 0; i <= AcqConfig::MaxRanges; ++i)
            text += QStringLiteral("ASICRANGE: %1\n").arg(i, 0, 16);
        const auto r = group(text);
        QCOMPARE(r.groups.first().asicRanges.size(), AcqConfig::MaxRanges);
        QCOMPARE(r.messages.size(), 1);
    }

    void messageLimit_countsWhatIsNotListed()
    {
        const QString bad = QStringLiteral("READ: xyz\n").repeated(AcqConfig::MaxMessages + 50);
        const auto r = group(bad);
        QCOMPARE(r.messages.size(), AcqConfig::MaxMessages);
        QCOMPARE(r.unreportedMessages, 50);
    }

    void garbage_onlyProducesMessages()
    {
        // Every byte value, control characters and stray separators included.
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes.append(char((i * 131 + 7) & 0xFF));
        bytes += "\nNAME:\nPELRARANGE\nPELRARANGE:\nPELRARANGE: \nSENDRST:\n:::\n#\nNAME: after\nREAD: 4001\n";
        const auto r = AcqConfig::Parse(QString::fromLatin1(bytes.constData(), bytes.size()));
        QVERIFY(r.messages.size() <= AcqConfig::MaxMessages);
        // The lines after the garbage are read as usual.
        QVERIFY(!r.groups.isEmpty());
        QCOMPARE(r.groups.last().name, QStringLiteral("after"));
        QCOMPARE(r.groups.last().readReg, quint16(0x4001));
    }
};

QTEST_APPLESS_MAIN(TestAcqConfigParser)
#include "tst_acqconfigparser.moc"
