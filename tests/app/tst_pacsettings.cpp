// pac.ini read, write and compare rules, and the log file name.
#include "pacsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const char kFullIni[] =
    "[Application.LoadFiles]\n"
    "PELRA_FIRMWARE_SLOT=2\n"
    "MASTERCONFIG=\"  cfg/master.mcf  \"\n"
    "GIGE_TIMEOUT=\" 350 \"\n"
    "DCF=\" cam.dcf \"\n"
    "ACQUIRECONFIG=acq.cfg\n"
    "MANUALREG_TAMBRIL=tambril.ini\n"
    "MANUALREG_OSTERA=ostera.ini\n"
    "DATAPATH=\" /data/run/ \"\n"
    "UNKNOWN_KEY=kept\n"
    "LOADFILE\\1\\NAME=\" first.glf \"\n"
    "LOADFILE\\1\\SELECT=1\n"
    "LOADFILE\\2\\NAME=\"   \"\n"
    "LOADFILE\\2\\SELECT=1\n"
    "LOADFILE\\3\\NAME=third.ald\n"
    "LOADFILE\\3\\SELECT=0\n"
    "LOADFILE\\4\\NAME=fourth.mcd\n"
    "LOADFILE\\4\\SELECT=true\n"
    "LOADFILE\\size=4\n";

// The window as it stands right after reading kFullIni, less the dropped entry.
PacSettings WindowAfterReadingFullIni()
{
    PacSettings s;
    s.slot2 = true;
    s.masterConfig = QStringLiteral("cfg/master.mcf");
    s.gigeTimeout = QStringLiteral("350");
    s.dcf = QStringLiteral("cam.dcf");
    s.acquireConfig = QStringLiteral("acq.cfg");
    s.manualRegTambril = QStringLiteral("tambril.ini");
    s.manualRegOstera = QStringLiteral("ostera.ini");
    s.dataPath = QStringLiteral("/data/run/");
    s.loadFiles = {{QStringLiteral("first.glf"), true}, {QStringLiteral("third.ald"), false},
                   {QStringLiteral("fourth.mcd"), true}};
    return s;
}

}  // namespace

class TestPacSettings : public QObject
{
    Q_OBJECT

private:
    QString writeIni(const QByteArray &content)
    {
        const QString path = dir.filePath(QStringLiteral("pac%1.ini").arg(++fileCount));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(content);
        return path;
    }

    QTemporaryDir dir;
    int fileCount = 0;

private slots:
    void read_trimsValuesAndDropsBlankLoadFileNames()
    {
        PacSettings s;
        QVERIFY(ReadPacSettings(writeIni(kFullIni), s));
        const PacSettings expected = WindowAfterReadingFullIni();
        QCOMPARE(s.slot2, true);
        QCOMPARE(s.masterConfig, expected.masterConfig);
        QCOMPARE(s.gigeTimeout, expected.gigeTimeout);
        QCOMPARE(s.dcf, expected.dcf);
        QCOMPARE(s.acquireConfig, expected.acquireConfig);
        QCOMPARE(s.manualRegTambril, expected.manualRegTambril);
        QCOMPARE(s.manualRegOstera, expected.manualRegOstera);
        QCOMPARE(s.dataPath, expected.dataPath);
        QCOMPARE(s.loadFiles.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(s.loadFiles.at(i).name, expected.loadFiles.at(i).name);
            QCOMPARE(s.loadFiles.at(i).selected, expected.loadFiles.at(i).selected);
        }
    }

    void read_missingKeysGiveEmptyTextsAndSlot1()
    {
        PacSettings s;
        s.gigeTimeout = QStringLiteral("200");
        s.slot2 = true;
        QVERIFY(ReadPacSettings(writeIni("[Application.LoadFiles]\n"), s));
        QCOMPARE(s.gigeTimeout, QString());
        QCOMPARE(s.dataPath, QString());
        QCOMPARE(s.slot2, false);
        QVERIFY(s.loadFiles.isEmpty());
    }

    void read_missingFileFailsAndLeavesSettings()
    {
        PacSettings s;
        s.dataPath = QStringLiteral("kept/");
        QVERIFY(!ReadPacSettings(dir.filePath(QStringLiteral("absent.ini")), s));
        QCOMPARE(s.dataPath, QStringLiteral("kept/"));
    }

    void read_slotOtherThan2TicksSlot1_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("slot2");
        QTest::newRow("1") << QByteArray("1") << false;
        QTest::newRow("2") << QByteArray("2") << true;
        QTest::newRow("3") << QByteArray("3") << false;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("text") << QByteArray("two") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }

    void read_slotOtherThan2TicksSlot1()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, slot2);
        PacSettings s;
        QVERIFY(ReadPacSettings(writeIni("[Application.LoadFiles]\nPELRA_FIRMWARE_SLOT=" + stored + "\n"), s));
        QCOMPARE(s.slot2, slot2);
    }

    void write_trimsTypedFieldsAndReplacesLoadFileArray()
    {
        const QString path = writeIni(kFullIni);
        PacSettings window = WindowAfterReadingFullIni();
        window.slot2 = false;
        window.masterConfig = QStringLiteral(" new.mcf ");
        window.gigeTimeout = QStringLiteral(" 500 ");
        window.dataPath = QStringLiteral("data/ ");
        window.loadFiles = {{QStringLiteral("only.glf"), false}};
        QVERIFY(WritePacSettings(path, window));

        QSettings ini(path, QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("Application.LoadFiles"));
        QCOMPARE(ini.value(QStringLiteral("PELRA_FIRMWARE_SLOT")).toString(), QStringLiteral("1"));
        QCOMPARE(ini.value(QStringLiteral("MASTERCONFIG")).toString(), QStringLiteral("new.mcf"));
        QCOMPARE(ini.value(QStringLiteral("GIGE_TIMEOUT")).toString(), QStringLiteral("500"));
        QCOMPARE(ini.value(QStringLiteral("DATAPATH")).toString(), QStringLiteral("data/"));
        QCOMPARE(ini.value(QStringLiteral("UNKNOWN_KEY")).toString(), QStringLiteral("kept"));
        QCOMPARE(ini.value(QStringLiteral("LOADFILE/size")).toInt(), 1);
        QCOMPARE(ini.value(QStringLiteral("LOADFILE/1/NAME")).toString(), QStringLiteral("only.glf"));
        QCOMPARE(ini.value(QStringLiteral("LOADFILE/1/SELECT")).toString(), QStringLiteral("0"));
        QVERIFY(!ini.contains(QStringLiteral("LOADFILE/2/NAME")));
        QVERIFY(!ini.contains(QStringLiteral("LOADFILE/4/NAME")));
    }

    void write_thenReadGivesTheSameSettings()
    {
        const QString path = writeIni(kFullIni);
        const PacSettings window = WindowAfterReadingFullIni();
        QVERIFY(WritePacSettings(path, window));
        QVERIFY(!PacSettingsDiffer(path, window));
        PacSettings back;
        QVERIFY(ReadPacSettings(path, back));
        QCOMPARE(back.loadFiles.size(), 3);
        QCOMPARE(back.loadFiles.at(2).name, QStringLiteral("fourth.mcd"));
        QCOMPARE(back.loadFiles.at(2).selected, true);
        QCOMPARE(back.dcf, window.dcf);
    }

    void write_neverCreatesTheFile()
    {
        const QString path = dir.filePath(QStringLiteral("never.ini"));
        QVERIFY(!WritePacSettings(path, PacSettings()));
        QVERIFY(!QFile::exists(path));
    }

    void write_reportsAFileThatCannotBeWritten()
    {
        // A file-size limit makes the write fail even for a privileged user.
        const QString path = writeIni(kFullIni);
        rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tiny = saved;
        tiny.rlim_cur = 16;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool written = WritePacSettings(path, PacSettings());
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!written);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(kFullIni));
    }

    void compare_followsTheTrimmingRules_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("differs");
        QTest::newRow("unchanged") << 0 << false;
        QTest::newRow("slot") << 1 << true;
        QTest::newRow("master config padded") << 2 << false;
        QTest::newRow("master config changed") << 3 << true;
        QTest::newRow("timeout padded") << 4 << false;
        QTest::newRow("data path trailing blank") << 5 << true;
        QTest::newRow("data path changed") << 6 << true;
        QTest::newRow("tambril register file") << 7 << true;
        QTest::newRow("ostera register file") << 8 << true;
        QTest::newRow("camera file only") << 9 << false;
        QTest::newRow("acquisition config only") << 10 << false;
        QTest::newRow("load file removed") << 11 << true;
        QTest::newRow("load file name padded") << 12 << false;
        QTest::newRow("load file renamed") << 13 << true;
        QTest::newRow("load file tick") << 14 << true;
    }

    void compare_followsTheTrimmingRules()
    {
        QFETCH(int, change);
        QFETCH(bool, differs);
        // Saved once, so that the blank entry of kFullIni is gone from the file.
        const QString path = writeIni(kFullIni);
        QVERIFY(WritePacSettings(path, WindowAfterReadingFullIni()));
        PacSettings w = WindowAfterReadingFullIni();
        switch (change) {
        case 1: w.slot2 = false; break;
        case 2: w.masterConfig = QStringLiteral("  cfg/master.mcf "); break;
        case 3: w.masterConfig = QStringLiteral("cfg/other.mcf"); break;
        case 4: w.gigeTimeout = QStringLiteral(" 350  "); break;
        case 5: w.dataPath = QStringLiteral("/data/run/ "); break;
        case 6: w.dataPath = QStringLiteral("/data/other/"); break;
        case 7: w.manualRegTambril = QStringLiteral("t2.ini"); break;
        case 8: w.manualRegOstera = QStringLiteral("o2.ini"); break;
        case 9: w.dcf = QStringLiteral("other.dcf"); break;
        case 10: w.acquireConfig = QStringLiteral("other.cfg"); break;
        case 11: w.loadFiles.removeLast(); break;
        case 12: w.loadFiles[1].name = QStringLiteral(" third.ald "); break;
        case 13: w.loadFiles[1].name = QStringLiteral("renamed.ald"); break;
        case 14: w.loadFiles[0].selected = false; break;
        default: break;
        }
        QCOMPARE(PacSettingsDiffer(path, w), differs);
    }

    void compare_blankEntryInFileCountsAsDifference()
    {
        // The window dropped the blank entry while reading; saving removes it.
        QVERIFY(PacSettingsDiffer(writeIni(kFullIni), WindowAfterReadingFullIni()));
    }

    void compare_missingFileIsNoDifference()
    {
        QVERIFY(!PacSettingsDiffer(dir.filePath(QStringLiteral("absent.ini")), PacSettings()));
    }

    void logFileName_gluesDateToDataPath_data()
    {
        QTest::addColumn<QString>("dataPath");
        QTest::addColumn<QString>("name");
        QTest::newRow("trailing separator") << QStringLiteral("/data/run/") << QStringLiteral("/data/run/log20261209.txt");
        QTest::newRow("no trailing separator") << QStringLiteral("data") << QStringLiteral("datalog20261209.txt");
        QTest::newRow("empty") << QString() << QStringLiteral("log20261209.txt");
    }

    void logFileName_gluesDateToDataPath()
    {
        QFETCH(QString, dataPath);
        QFETCH(QString, name);
        QCOMPARE(LogFileName(dataPath, QDate(2026, 12, 9)), name);
    }
};

QTEST_GUILESS_MAIN(TestPacSettings)
#include "tst_pacsettings.moc"
