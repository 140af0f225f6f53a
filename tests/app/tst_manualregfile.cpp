// Register-table files without a window: reading, writing, the compare rules
// and the bounds of the reader.
#include "manualregfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A file as an operator might have edited it: blanks around values, "true"
// and "false" flags, a missing flag, and an unknown key that must survive.
const char kFile[] =
    "[Application.ASIC]\n"
    "DMA_MSPI=true\n"
    "\n"
    "[Application.ASIC_Blocks]\n"
    "R_24BIT=0\n"
    "R_ADDR= 4000 \n"
    "R_LEN=3\n"
    "W_ADDR=0010\n"
    "W_VAL\\1\\DATA=000001\n"
    "W_VAL\\2\\DATA=\n"
    "W_VAL\\size=2\n"
    "\n"
    "[Application.ASIC_Registers]\n"
    "ASIC\\1\\REG=7001\n"
    "ASIC\\1\\WVAL=012345\n"
    "ASIC\\1\\RVAL=000000\n"
    "ASIC\\1\\24BIT_MSPI=true\n"
    "ASIC\\2\\REG=  6928\n"
    "ASIC\\2\\WVAL=0fff\n"
    "ASIC\\2\\RVAL=0000\n"
    "ASIC\\2\\24BIT_MSPI=false\n"
    "ASIC\\3\\REG=zz\n"
    "ASIC\\3\\WVAL=0000\n"
    "ASIC\\3\\RVAL=0000\n"
    "ASIC\\size=3\n"
    "\n"
    "[Application.PELRA_Registers]\n"
    "PELRA\\1\\REG=0010\n"
    "PELRA\\1\\WVAL=0027\n"
    "PELRA\\1\\RVAL=0027\n"
    "PELRA\\size=1\n"
    "\n"
    "[Application.PELRA_Blocks]\n"
    "R_ADDR=01a0\n"
    "R_LEN=12\n"
    "W_ADDR=0200\n"
    "W_VAL\\1\\DATA=0001\n"
    "W_VAL\\size=1\n"
    "OPERATOR_NOTE=keep me\n";

}  // namespace

class TestManualRegFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString write(const QByteArray &content)
    {
        const QString path = dir.filePath(QStringLiteral("ManualReg.ini"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            return QString();
        return path;
    }
    static QByteArray content(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void read_takesTrimmedTextsFlagsAndArrays()
    {
        const QString path = write(kFile);
        ManualRegTable t;
        QVERIFY(ReadManualRegFile(path, t));
        QVERIFY(t.dmaMspi);
        QVERIFY(!t.asicBlocks.read24);
        QCOMPARE(t.asicBlocks.readAddress, QStringLiteral("4000"));
        QCOMPARE(t.asicBlocks.readLength, QStringLiteral("3"));
        QCOMPARE(t.asicBlocks.writeAddress, QStringLiteral("0010"));
        QCOMPARE(t.asicBlocks.writeLines, QStringList({"000001", ""}));
        QCOMPARE(t.asicRows.size(), 3);
        QCOMPARE(t.asicRows[0].reg, QStringLiteral("7001"));
        QCOMPARE(t.asicRows[0].writeValue, QStringLiteral("012345"));
        QVERIFY(t.asicRows[0].flag);
        QCOMPARE(t.asicRows[1].reg, QStringLiteral("6928"));
        QVERIFY(!t.asicRows[1].flag);
        // Unparsable register texts are kept; they are refused when used.
        QCOMPARE(t.asicRows[2].reg, QStringLiteral("zz"));
        QVERIFY(!t.asicRows[2].flag);
        QCOMPARE(t.pelraRows.size(), 1);
        QCOMPARE(t.pelraRows[0].readValue, QStringLiteral("0027"));
        QCOMPARE(t.pelraBlocks.readAddress, QStringLiteral("01a0"));
        QCOMPARE(t.pelraBlocks.readLength, QStringLiteral("12"));
        QCOMPARE(t.pelraBlocks.writeLines, QStringList{"0001"});
    }

    void flags_trueUnlessEmptyZeroOrFalse_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("true") << QByteArray("true") << true;
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("yes") << QByteArray("yes") << true;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("false") << QByteArray("false") << false;
        QTest::newRow("FALSE") << QByteArray("FALSE") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }
    void flags_trueUnlessEmptyZeroOrFalse()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, ticked);
        const QString path = write("[Application.ASIC_Registers]\nASIC\\1\\REG=0001\nASIC\\1\\24BIT_MSPI=" + value
                                   + "\nASIC\\size=1\n[Application.ASIC]\nDMA_MSPI=" + value + "\n");
        ManualRegTable t;
        QVERIFY(ReadManualRegFile(path, t));
        QCOMPARE(t.asicRows.value(0).flag, ticked);
        QCOMPARE(t.dmaMspi, ticked);
    }

    void missingFile_isNeitherReadNorCreated()
    {
        const QString path = dir.filePath(QStringLiteral("gone.ini"));
        ManualRegTable t;
        t.dmaMspi = true;
        QVERIFY(!ReadManualRegFile(path, t));
        QVERIFY(t.dmaMspi);
        QVERIFY(!WriteManualRegFile(path, t));
        QVERIFY(!QFile::exists(path));
    }

    void emptySections_giveNoRows()
    {
        const QString path = write("[Application.ASIC_Registers]\n[Application.PELRA_Registers]\n");
        ManualRegTable t;
        QVERIFY(ReadManualRegFile(path, t));
        QVERIFY(t.asicRows.isEmpty());
        QVERIFY(t.pelraRows.isEmpty());
        QVERIFY(t.asicBlocks.writeLines.isEmpty());
    }

    void write_replacesArraysWholeAndKeepsUnknownKeys()
    {
        const QString path = write(kFile);
        ManualRegTable t;
        QVERIFY(ReadManualRegFile(path, t));
        t.asicRows.removeLast();
        t.asicRows[0].writeValue = QStringLiteral("  abcdef ");
        t.asicBlocks.writeLines = BlockDataLines(QStringLiteral("000000\n"));
        t.pelraRows.clear();
        QVERIFY(WriteManualRegFile(path, t));

        const QByteArray saved = content(path);
        QVERIFY(saved.contains("ASIC\\size=2\n"));
        QVERIFY(!saved.contains("ASIC\\3\\"));
        QVERIFY(saved.contains("ASIC\\1\\WVAL=abcdef\n"));
        QVERIFY(saved.contains("ASIC\\1\\24BIT_MSPI=1\n"));
        QVERIFY(saved.contains("ASIC\\2\\24BIT_MSPI=0\n"));
        QVERIFY(saved.contains("W_VAL\\1\\DATA=000000\nW_VAL\\2\\DATA=\nW_VAL\\size=2\n"));
        QVERIFY(saved.contains("PELRA\\size=0\n"));
        QVERIFY(!saved.contains("PELRA\\1\\"));
        QVERIFY(saved.contains("DMA_MSPI=1\n"));
        QVERIFY(saved.contains("R_24BIT=0\n"));
        QVERIFY(saved.contains("OPERATOR_NOTE=keep me\n"));

        ManualRegTable back;
        QVERIFY(ReadManualRegFile(path, back));
        QVERIFY(!ManualRegTablesDiffer(t, back));
    }

    void differ_stopsAtAnyComparedField_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("differs");
        QTest::newRow("nothing") << 0 << false;
        QTest::newRow("DMA box") << 1 << true;
        QTest::newRow("24-bit block read box") << 2 << true;
        QTest::newRow("ASIC read address") << 3 << true;
        QTest::newRow("ASIC data line") << 4 << true;
        QTest::newRow("ASIC row count") << 5 << true;
        QTest::newRow("ASIC read value") << 6 << true;
        QTest::newRow("ASIC row flag") << 7 << true;
        QTest::newRow("PELRA write value") << 8 << true;
        QTest::newRow("PELRA write address") << 9 << true;
        QTest::newRow("PELRA data line count") << 10 << true;
        QTest::newRow("PELRA read address and length ignored") << 11 << false;
        QTest::newRow("blanks around row texts ignored") << 12 << false;
    }
    void differ_stopsAtAnyComparedField()
    {
        QFETCH(int, change);
        QFETCH(bool, differs);
        ManualRegTable file;
        QVERIFY(ReadManualRegFile(write(kFile), file));
        ManualRegTable tab = file;
        switch (change) {
        case 1: tab.dmaMspi = false; break;
        case 2: tab.asicBlocks.read24 = true; break;
        case 3: tab.asicBlocks.readAddress = QStringLiteral("4001"); break;
        case 4: tab.asicBlocks.writeLines[1] = QStringLiteral("2"); break;
        case 5: tab.asicRows.removeFirst(); break;
        case 6: tab.asicRows[1].readValue = QStringLiteral("0fff"); break;
        case 7: tab.asicRows[2].flag = true; break;
        case 8: tab.pelraRows[0].writeValue = QStringLiteral("0028"); break;
        case 9: tab.pelraBlocks.writeAddress = QStringLiteral("0201"); break;
        case 10: tab.pelraBlocks.writeLines << QString(); break;
        case 11:
            tab.pelraBlocks.readAddress = QStringLiteral("0000");
            tab.pelraBlocks.readLength = QStringLiteral("1");
            break;
        case 12: tab.asicRows[0].reg = QStringLiteral(" 7001 "); break;
        default: break;
        }
        QCOMPARE(ManualRegTablesDiffer(tab, file), differs);
    }

    void blockDataLines_keepEmptyPiecesAndTrim()
    {
        QCOMPARE(BlockDataLines(QStringLiteral("000000\n")), QStringList({"000000", ""}));
        QCOMPARE(BlockDataLines(QStringLiteral(" 1 \n\n2")), QStringList({"1", "", "2"}));
        QCOMPARE(BlockDataLines(QString()), QStringList{QString()});
    }

    void read_isBoundedWhateverTheSizeEntrySays()
    {
        const QString path = write("[Application.ASIC_Registers]\nASIC\\size=2147483647\n"
                                   "[Application.ASIC_Blocks]\nW_VAL\\size=-5\n"
                                   "[Application.PELRA_Registers]\nPELRA\\size=zz\n");
        ManualRegTable t;
        QVERIFY(ReadManualRegFile(path, t));
        QCOMPARE(t.asicRows.size(), MaxManualRegEntries);
        QVERIFY(t.asicBlocks.writeLines.isEmpty());
        QVERIFY(t.pelraRows.isEmpty());
    }

    void read_garbledFileYieldsTextsOnly()
    {
        const QString path = write(QByteArray("\x00\xff[[[\n=\\\\\n[Application.ASIC_Registers\nASIC\\1\\REG=\x01\n", 40));
        ManualRegTable t;
        QVERIFY(ReadManualRegFile(path, t));
        QVERIFY(t.asicRows.size() <= MaxManualRegEntries);
    }
};

QTEST_APPLESS_MAIN(TestManualRegFile)
#include "tst_manualregfile.moc"
