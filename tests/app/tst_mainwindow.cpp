// The main window without cards: start-up, log panel and file, pac.ini
// buttons, Browse dialogs and the close sequence.
#include "windowfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;

    MainWindow *startWithIni(const QByteArray &ini = WindowFixture::kIni)
    {
        if (!f->writeIni(ini))
            return nullptr;
        return f->makeWindow();
    }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup() { f.reset(); }

    void form_hasVersionTitleIconFixedSizeAndFiveTabs()
    {
        MainWindow *w = startWithIni();
        QCOMPARE(w->windowTitle(), QStringLiteral("PELRA Acquisition Control (PAC) V5.2"));
        QVERIFY(!w->windowIcon().pixmap(32, 32).isNull());
        QCOMPARE(w->minimumSize(), QSize(939, 660));
        QCOMPARE(w->maximumSize(), QSize(939, 660));
        auto *tabs = f->widget<QTabWidget>("tabWidget");
        QCOMPARE(tabs->currentIndex(), 0);
        const QStringList names = {"tabInit", "tabPwrControl", "tabAcq", "tabCmd", "tabAnalysis"};
        const QStringList texts = {"Load Files", "Power Control", "Data Acquisition", "Manual Command", "Telemetry"};
        QCOMPARE(tabs->count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(tabs->widget(i)->objectName(), names.at(i));
            QCOMPARE(tabs->tabText(i), texts.at(i));
        }
        QCOMPARE(f->widget<QPushButton>("btnPELRAFirmware")->text(), QStringLiteral("ReLoad\nFirmware"));
        QCOMPARE(f->widget<QPushButton>("btnGetPELRA_ASIC")->text(), QStringLiteral("Get Available PELRAs / ASICs "));
        QCOMPARE(f->widget<QListWidget>("lstLoadFiles")->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(f->widget<QCheckBox>("chkPELRA1")->isChecked());
        QVERIFY(!f->widget<QCheckBox>("chkPELRA2")->isChecked());
        QVERIFY(f->widget<QRadioButton>("rdOSTERA")->isChecked());
    }

    void startup_withoutIni_asksCriticalError_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("No ends the process") << false;
        QTest::newRow("Yes goes on") << true;
    }

    void startup_withoutIni_asksCriticalError()
    {
        QFETCH(bool, answer);
        f->seam.answers = {answer};
        f->makeWindow();
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("Critical Error|pac.ini not found! Continue?")});
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("pac.ini file doesn't exist")));
        if (answer) {
            QVERIFY(f->seam.terminations.isEmpty());
            QVERIFY(f->panelHasLineEndingWith(QStringLiteral("No communication interface found")));
        } else {
            QCOMPARE(f->seam.terminations, QList<int>{-1});
            QVERIFY(!f->panelHasLineEndingWith(QStringLiteral("Check PELRA communication interface...")));
        }
    }

    void startup_logFolderNotCreatable_asksCriticalError()
    {
        QVERIFY(f->writeIni(QByteArray(WindowFixture::kIni).replace("DATAPATH=data/", "DATAPATH=pac.ini/")));
        f->seam.answers = {true};
        f->makeWindow();
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Creating log file dir failed. Please manually create: ")
                                          + f->appDir.filePath(QStringLiteral("pac.ini"))));
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("Critical Error|pac.ini not found! Continue?")});
    }

    void startup_fromAnotherFolder_worksInApplicationFolder()
    {
        QTemporaryDir elsewhere;
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        startWithIni();
        QVERIFY(f->seam.asked.isEmpty());
        QCOMPARE(QDir::current().canonicalPath(), QDir(f->appDir.path()).canonicalPath());
        const QString expected = QStringLiteral("data/log") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))
                                 + QStringLiteral(".txt");
        QCOMPARE(f->widget<QLineEdit>("txtLogFile")->text(), expected);
        QVERIFY(QFileInfo::exists(f->appDir.filePath(expected)));
        QVERIFY(QDir(elsewhere.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void logFile_isMode0640AndGetsEveryLineAtOnce()
    {
        MainWindow *w = startWithIni();
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(f->logFilePath()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0640);

        // The start-up check opened a section: an empty line, then the line.
        const QByteArray content = f->logFileContent();
        QVERIFY(content.startsWith('\n'));
        QVERIFY(content.contains(":  Check PELRA communication interface...\n"));
        QVERIFY(f->panelLines().contains(QString()));

        w->Log(QStringLiteral("first probe"));
        QVERIFY(f->logFileContent().endsWith(":  first probe\n"));
        w->Log(QStringLiteral("second probe"), true);
        QVERIFY(f->logFileContent().contains(":  first probe\n\n20"));
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  second probe")));
        QVERIFY(f->panelLines().at(f->panelLines().size() - 2).isEmpty());
    }

    void logPanel_keeps256Blocks_fileKeepsEveryLine()
    {
        MainWindow *w = startWithIni();
        for (int i = 0; i < 300; ++i)
            w->Log(QStringLiteral("numbered line %1").arg(i));
        auto *panel = f->widget<QPlainTextEdit>("txtLog");
        QCOMPARE(panel->blockCount(), 256);
        QVERIFY(panel->document()->lastBlock().text().endsWith(QStringLiteral("numbered line 299")));
        QVERIFY(panel->document()->firstBlock().text().endsWith(QStringLiteral("numbered line 44")));
        const QByteArray content = f->logFileContent();
        for (int i = 0; i < 300; ++i)
            QVERIFY(content.contains(QStringLiteral(":  numbered line %1\n").arg(i).toUtf8()));
    }

    void save_withIniAbsent_onlyLogs()
    {
        startWithIni();
        QVERIFY(QFile::remove(f->iniPath()));
        f->seam.answers = {true};
        QTest::mouseClick(f->widget<QPushButton>("btnSaveInI"), Qt::LeftButton);
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("PAC|Save pac.ini file?")});
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  pac.ini file doesn't exist")));
        QVERIFY(!QFileInfo::exists(f->iniPath()));
    }

    void save_unwritableIni_isReportedNotClaimed()
    {
        startWithIni();
        f->seam.answers = {true};
        rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit tiny = saved;
        tiny.rlim_cur = 16;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        QTest::mouseClick(f->widget<QPushButton>("btnSaveInI"), Qt::LeftButton);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  Saving pac.ini file failed: ") + f->iniPath()
                                                + QStringLiteral(" cannot be written")));
        QCOMPARE(f->iniContent(), QByteArray(WindowFixture::kIni));
    }

    void save_yesWritesTrimmedFields_noWritesNothing_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }

    void save_yesWritesTrimmedFields_noWritesNothing()
    {
        QFETCH(bool, answer);
        startWithIni();
        f->widget<QLineEdit>("txtMcf")->setText(QStringLiteral(" cfg/run.mcf "));
        f->widget<QRadioButton>("rdSlot1")->setChecked(true);
        f->seam.answers = {answer};
        QTest::mouseClick(f->widget<QPushButton>("btnSaveInI"), Qt::LeftButton);
        const QByteArray ini = f->iniContent();
        QCOMPARE(ini.contains("MASTERCONFIG=cfg/run.mcf\n"), answer);
        QCOMPARE(ini.contains("PELRA_FIRMWARE_SLOT=1\n"), answer);
    }

    void reload_yesReadsTheFileAgain()
    {
        startWithIni();
        const QByteArray changed = QByteArray(WindowFixture::kIni)
                                       .replace("DATAPATH=data/", "DATAPATH=other/")
                                       .replace("PELRA_FIRMWARE_SLOT=2", "PELRA_FIRMWARE_SLOT=7")
                                       .replace("LOADFILE\\size=0",
                                                "LOADFILE\\1\\NAME=a.glf\nLOADFILE\\1\\SELECT=1\n"
                                                "LOADFILE\\2\\NAME=\" \"\nLOADFILE\\2\\SELECT=1\n"
                                                "LOADFILE\\3\\NAME=b.ald\nLOADFILE\\3\\SELECT=0\nLOADFILE\\size=3");
        QVERIFY(f->writeIni(changed));

        f->seam.answers = {false};
        QTest::mouseClick(f->widget<QPushButton>("btnReadInI"), Qt::LeftButton);
        QCOMPARE(f->widget<QLineEdit>("txtDatapath")->text(), QStringLiteral("data/"));

        f->seam.answers = {true};
        QTest::mouseClick(f->widget<QPushButton>("btnReadInI"), Qt::LeftButton);
        QCOMPARE(f->seam.asked, QStringList({QStringLiteral("PAC|Re-load pac.ini file?"), QStringLiteral("PAC|Re-load pac.ini file?")}));
        QCOMPARE(f->widget<QLineEdit>("txtDatapath")->text(), QStringLiteral("other/"));
        QVERIFY(f->widget<QRadioButton>("rdSlot1")->isChecked());
        auto *list = f->widget<QListWidget>("lstLoadFiles");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("a.glf"));
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QCOMPARE(list->item(1)->text(), QStringLiteral("b.ald"));
        QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
        // Later lines go to the new day's file under the new data path.
        f->window->Log(QStringLiteral("after reload"));
        QVERIFY(f->logFilePath().contains(QStringLiteral("/other/log")));
        QVERIFY(f->logFileContent().contains(":  after reload\n"));
    }

    void close_no_leavesEverythingAsItWas()
    {
        MainWindow *w = startWithIni();
        w->show();
        f->widget<QLineEdit>("txtDatapath")->setText(QStringLiteral("elsewhere/"));
        const QByteArray before = f->iniContent();
        f->seam.answers = {false};
        QVERIFY(!w->close());
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("PAC|Are you sure to close the application?\n")});
        QVERIFY(w->isVisible());
        QCOMPARE(f->iniContent(), before);
        w->Log(QStringLiteral("still logging"));
        QVERIFY(f->logFileContent().endsWith(":  still logging\n"));
    }

    void close_yes_offersSaveOnlyForChangedSettings_data()
    {
        QTest::addColumn<QString>("dataPath");
        QTest::addColumn<bool>("saveAnswer");
        QTest::addColumn<QByteArray>("storedDataPath");
        QTest::newRow("unchanged") << QStringLiteral("data/") << true << QByteArray("DATAPATH=data/\n");
        QTest::newRow("trailing blank, save") << QStringLiteral("data/ ") << true << QByteArray("DATAPATH=data/\n");
        QTest::newRow("changed, save") << QStringLiteral(" run2/ ") << true << QByteArray("DATAPATH=run2/\n");
        QTest::newRow("changed, don't save") << QStringLiteral("run2/") << false << QByteArray("DATAPATH=data/\n");
    }

    void close_yes_offersSaveOnlyForChangedSettings()
    {
        QFETCH(QString, dataPath);
        QFETCH(bool, saveAnswer);
        QFETCH(QByteArray, storedDataPath);
        MainWindow *w = startWithIni();
        w->show();
        f->widget<QLineEdit>("txtDatapath")->setText(dataPath);
        f->seam.answers = {true, saveAnswer};
        QVERIFY(w->close());
        QStringList expected{QStringLiteral("PAC|Are you sure to close the application?\n")};
        if (dataPath != QStringLiteral("data/"))
            expected << QStringLiteral("PAC|Save pac.ini file?");
        QCOMPARE(f->seam.asked, expected);
        QVERIFY(f->iniContent().contains(storedDataPath));
        QVERIFY(!w->isVisible());
    }

    void browseLogFile_fileInUse_isNotReopened()
    {
        MainWindow *w = startWithIni();
        const QString inUse = f->logFilePath();
        // A reopen would create the file again under its name.
        QVERIFY(QFile::remove(inUse));
        f->seam.fileAnswer = inUse;
        QTest::mouseClick(f->widget<QPushButton>("btn_browseLogFile"), Qt::LeftButton);
        w->Log(QStringLiteral("after choosing the same file"));
        QVERIFY(!QFileInfo::exists(inUse));
        QCOMPARE(f->seam.fileDialogs,
                 QStringList{QStringLiteral("Select log file .txt|") + QFileInfo(inUse).absolutePath()
                             + QStringLiteral("|log file (*.txt);;All files (*.*)")});
    }

    void browseLogFile_otherFile_takesTheFollowingLines()
    {
        MainWindow *w = startWithIni();
        const QString first = f->logFilePath();
        const QString second = f->appDir.filePath(QStringLiteral("logs/session.txt"));
        f->seam.fileAnswer = second;
        QTest::mouseClick(f->widget<QPushButton>("btn_browseLogFile"), Qt::LeftButton);
        QCOMPARE(f->widget<QLineEdit>("txtLogFile")->text(), second);
        w->Log(QStringLiteral("into the second file"));
        QFile file(second);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith(":  into the second file\n"));
        QFile old(first);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(!old.readAll().contains("into the second file"));
    }

    void browse_opensItsDialogAndCancelKeepsTheField_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("master") << "btn_browseMaster" << "txtMcf" << "cfg/run.mcf"
                                << "Select Master Config file .mcf|%1/cfg|mcf file (*.mcf);;All files (*.*)";
        QTest::newRow("data path") << "btn_datapath" << "txtDatapath" << "science/run1/"
                                   << "Select directory for science data|%1/science|";
        QTest::newRow("log file") << "btn_browseLogFile" << "txtLogFile" << "logs/a.txt "
                                  << "Select log file .txt|%1/logs|log file (*.txt);;All files (*.*)";
    }

    void browse_opensItsDialogAndCancelKeepsTheField()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        QFETCH(QString, startText);
        QFETCH(QString, dialog);
        startWithIni();
        auto *edit = f->widget<QLineEdit>(field.toLatin1().constData());
        edit->setText(startText);
        f->seam.fileAnswer.clear();
        QTest::mouseClick(f->widget<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(f->seam.fileDialogs, QStringList{dialog.arg(QDir::currentPath())});
        QCOMPARE(edit->text(), startText);
    }

    void browse_chosenPathReplacesTheField_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::newRow("master") << "btn_browseMaster" << "txtMcf";
        QTest::newRow("data path") << "btn_datapath" << "txtDatapath";
    }

    void browse_chosenPathReplacesTheField()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        startWithIni();
        f->seam.fileAnswer = QStringLiteral("/chosen/by/operator");
        QTest::mouseClick(f->widget<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(f->widget<QLineEdit>(field.toLatin1().constData())->text(), QStringLiteral("/chosen/by/operator"));
    }

    void logContextMenu_clearEmptiesPanelButNotFile()
    {
        MainWindow *w = startWithIni();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto *panel = f->widget<QPlainTextEdit>("txtLog");
        QString lastEntry;
        QTimer::singleShot(0, this, [&lastEntry] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            lastEntry = menu->actions().last()->text();
            menu->actions().last()->trigger();
            menu->close();
        });
        emit panel->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(lastEntry, QStringLiteral("Clear"));
        QVERIFY(panel->toPlainText().isEmpty());
        QVERIFY(f->logFileContent().contains("Check PELRA communication interface..."));
    }

    void interfaceCheck_withoutCards_disablesLinksAndSaysSo()
    {
        startWithIni();
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("No communication interface found")));
        QVERIFY(!f->widget<QRadioButton>("rdGigE")->isEnabled());
        QVERIFY(!f->widget<QRadioButton>("rdUSB")->isEnabled());
        QVERIFY(!f->widget<QRadioButton>("rdCamLink")->isEnabled());
    }

    void interfaceCheck_negativeWait_stopsBeforeDiscovery()
    {
        startWithIni();
        f->widget<QLineEdit>("txtGigETimeout")->setText(QStringLiteral(" -5 "));
        QTest::mouseClick(f->widget<QPushButton>("btnInterface"), Qt::LeftButton);
        const QStringList lines = f->panelLines();
        QVERIFY(lines.at(lines.size() - 2).endsWith(QStringLiteral(":  Check PELRA communication interface...")));
        QVERIFY(lines.last().endsWith(QStringLiteral(":  Invalid GigE timeout!")));
    }

    void firmwareButton_withoutSelectedCard_talksToNoCard()
    {
        startWithIni();
        QTest::mouseClick(f->widget<QCheckBox>("chkPELRA1"), Qt::LeftButton);
        auto *button = f->widget<QPushButton>("btnPELRAFirmware");
        QTest::mouseClick(button, Qt::LeftButton);
        const QStringList lines = f->panelLines();
        QVERIFY(lines.at(lines.size() - 3).isEmpty());
        QVERIFY(lines.at(lines.size() - 2).endsWith(QStringLiteral(":  Load PELRA firmware in slot 2 ...")));
        QVERIFY(lines.last().endsWith(QStringLiteral(":  Invalid PELRA Ids. Select PELRAs on GUI")));
        QCOMPARE(button->property("btnPELRAFirmware"), QVariant(false));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
