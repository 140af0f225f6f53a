// Master configuration files without a window: line ends, the selection
// pass, the command pass, load-path resolution and the read limits.
#include "masterconfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace MasterConfig;

class TestMasterConfig : public QObject
{
    Q_OBJECT

private slots:
    void splitLines_endsAtEveryKindOfLineEnd_data();
    void splitLines_endsAtEveryKindOfLineEnd();
    void selection_readsCardsAndAsics_data();
    void selection_readsCardsAndAsics();
    void commands_keepFileOrderAndPathCase();
    void loadPath_fallsBackToTheMasterFolder();
    void readLines_refusesWhatIsNoFileOrTooLarge();
};

void TestMasterConfig::splitLines_endsAtEveryKindOfLineEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF, LF CR, CR, LF") << QStringLiteral("a\r\nb\n\rc\rd\ne") << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("blank lines are kept") << QStringLiteral("a\n\nb\r\n\r\nc") << QStringList{"a", "", "b", "", "c"};
    QTest::newRow("LF CR then LF") << QStringLiteral("a\n\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("final line end adds no line") << QStringLiteral("a\r\n") << QStringList{"a"};
    QTest::newRow("empty text") << QString() << QStringList();
}

void TestMasterConfig::splitLines_endsAtEveryKindOfLineEnd()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(SplitLines(text), lines);
}

void TestMasterConfig::selection_readsCardsAndAsics_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cardMask");
    QTest::addColumn<int>("asicMask");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QString>("error");

    const QString badCard = QStringLiteral("ERROR: PELRA_SELECT not defined properly. Id must be in the range of [1-8]");
    const QString badAsic = QStringLiteral("ERROR: ASIC_SELECT not defined properly. Id must be in the range of [1-8]");
    QTest::newRow("no selection lines") << QStringLiteral("load a.glf\nwait 5\n") << 0 << 0 << QStringList() << QString();
    QTest::newRow("the pass ends once both masks hold a bit")
        << QStringLiteral("PELRA_SELECT 1\nASIC_SELECT 1\nASIC_SELECT 2\n") << 0x01 << 0x01
        << QStringList{"PELRA_SELECT 1", "ASIC_SELECT 1"} << QString();
    QTest::newRow("several numbers, any case, comment cut")
        << QStringLiteral("  pelra_select 1 3   # cards\nAsic_Select 1 2\n") << 0x05 << 0x03
        << QStringList{"PELRA_SELECT 1 3", "ASIC_SELECT 1 2"} << QString();
    QTest::newRow("selection after load lines counts")
        << QStringLiteral("load a.glf\nwait 10\nASIC_SELECT 2\nload b.glf\nPELRA_SELECT 8\n") << 0x80 << 0x02
        << QStringList{"ASIC_SELECT 2", "PELRA_SELECT 8"} << QString();
    QTest::newRow("ASIC 9") << QStringLiteral("PELRA_SELECT 1\nASIC_SELECT 9\n") << 0x01 << 0
                            << QStringList{"PELRA_SELECT 1", "ASIC_SELECT 9"} << badAsic;
    QTest::newRow("card 0") << QStringLiteral("PELRA_SELECT 0\n") << 0 << 0 << QStringList{"PELRA_SELECT 0"} << badCard;
    QTest::newRow("two spaces make an empty field") << QStringLiteral("PELRA_SELECT  1\n") << 0 << 0
                                                    << QStringList{"PELRA_SELECT  1"} << badCard;
    QTest::newRow("no number") << QStringLiteral("ASIC_SELECT one\n") << 0 << 0 << QStringList{"ASIC_SELECT ONE"} << badAsic;
    QTest::newRow("longer keyword is checked but selects nothing")
        << QStringLiteral("PELRA_SELECTION 2\nASIC_SELECTED 1\n") << 0 << 0
        << QStringList{"PELRA_SELECTION 2", "ASIC_SELECTED 1"} << QString();
    QTest::newRow("longer keyword with a bad number") << QStringLiteral("PELRA_SELECTION 9\n") << 0 << 0
                                                      << QStringList{"PELRA_SELECTION 9"} << badCard;
    QTest::newRow("keyword alone selects nothing") << QStringLiteral("PELRA_SELECT\nASIC_SELECT 1\n") << 0 << 0x01
                                                   << QStringList{"PELRA_SELECT", "ASIC_SELECT 1"} << QString();
    QTest::newRow("commented out") << QStringLiteral("# PELRA_SELECT 9\n") << 0 << 0 << QStringList() << QString();
}

void TestMasterConfig::selection_readsCardsAndAsics()
{
    QFETCH(QString, text);
    QFETCH(int, cardMask);
    QFETCH(int, asicMask);
    QFETCH(QStringList, logged);
    QFETCH(QString, error);
    const Selection selection = ReadSelection(SplitLines(text));
    QCOMPARE(int(selection.cardMask), cardMask);
    QCOMPARE(int(selection.asicMask), asicMask);
    QCOMPARE(selection.loggedLines, logged);
    QCOMPARE(selection.error, error);
}

void TestMasterConfig::commands_keepFileOrderAndPathCase()
{
    const QVector<Command> commands = ReadCommands(SplitLines(QStringLiteral(
        "PELRA_SELECT 1\n  WAIT 100 # settle\nLoad Sub Dir/First.GLF  # first\nwait 65535\nwait 65536\nwait\n"
        "wait abc\nwait -1\nwaiting 7\nloadfile.ald\n# load hidden.glf\nunknown line\n")));
    QStringList seen;
    for (const Command &c : commands)
        seen << (c.kind == Command::Wait ? QStringLiteral("wait %1").arg(c.waitMs) : QStringLiteral("load ") + c.path);
    QCOMPARE(seen, (QStringList{"wait 100", "load Sub Dir/First.GLF", "wait 65535", "wait 0", "wait 0", "wait 0",
                                "wait 0", "wait 0", "load file.ald"}));
}

void TestMasterConfig::loadPath_fallsBackToTheMasterFolder()
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("here.glf"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString master = dir.filePath(QStringLiteral("cfg/master.mcf"));

    QCOMPARE(ResolveLoadPath(existing, master), existing);
    QCOMPARE(ResolveLoadPath(QStringLiteral("/no/such/folder/a.glf"), master), dir.filePath(QStringLiteral("cfg/a.glf")));
    QCOMPARE(ResolveLoadPath(QStringLiteral("b.ald"), master), dir.filePath(QStringLiteral("cfg/b.ald")));
    QCOMPARE(ResolveLoadPath(QStringLiteral("x/c.mcd"), QStringLiteral("master.mcf")), QStringLiteral("c.mcd"));
    // A folder is no load file: its name is looked up beside the master file instead.
    QCOMPARE(ResolveLoadPath(dir.path(), master), dir.filePath(QStringLiteral("cfg/")) + QDir(dir.path()).dirName());
}

void TestMasterConfig::readLines_refusesWhatIsNoFileOrTooLarge()
{
    QTemporaryDir dir;
    QStringList lines;
    QCOMPARE(ReadLines(dir.filePath(QStringLiteral("missing.mcf")), lines), ReadStatus::OpenFailed);
    QCOMPARE(ReadLines(dir.path(), lines), ReadStatus::OpenFailed);

    const QString path = dir.filePath(QStringLiteral("big.mcf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("PELRA_SELECT 1\r\nload a.glf\r\n") > 0);
    file.close();
    QCOMPARE(ReadLines(path, lines), ReadStatus::Ok);
    QCOMPARE(lines, (QStringList{"PELRA_SELECT 1", "load a.glf"}));

    QVERIFY(file.resize(MaxFileBytes));
    QCOMPARE(ReadLines(path, lines), ReadStatus::Ok);
    QVERIFY(file.resize(MaxFileBytes + 1));
    QCOMPARE(ReadLines(path, lines), ReadStatus::TooLarge);
    QVERIFY(lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestMasterConfig)
#include "tst_masterconfig.moc"
