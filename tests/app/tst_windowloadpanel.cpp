// The load-file list of the "Load Files" tab against a simulated card: adding
// and ordering rows, the three download buttons, the interface check, the
// firmware-family follow-up, and the rows kept in pac.ini.
#include "pelrasim.h"
#include "windowfixture.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using pelrasim::RegisterWrite;

namespace {

constexpr quint16 kCard = 0x0412;

const char kOsteraCard[] = R"([card1]
id = 0x0412
firmware = ostera
gige = 127.1.1.1
)";

const char kBaseModeCard[] = R"([card1]
id = 0x0412
firmware = basemode
gige = 127.1.1.1
)";

const QString kTambrilQuestion = QStringLiteral(
    "PAC|Different ASIC type detected (TAMBRIL instead of OSTERA). Load the corresponding TAMBRIL register table "
    "for the Manual Command Tab?");
const QString kOsteraQuestion = QStringLiteral(
    "PAC|Different ASIC type detected (OSTERA instead of TAMBRIL). Load the corresponding OSTERA register table "
    "for the Manual Command Tab?");

}  // namespace

class TestWindowLoadPanel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;
    QTemporaryDir files;

    bool startSim(const QString &scenario)
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        const bool ok = scenario.startsWith(QLatin1Char('['))
                            ? sim->loadScenarioText(scenario, &error)
                            : sim->loadScenarioFile(QStringLiteral(PAC_SOURCE_DIR "/config/") + scenario, &error);
        if (!ok || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        return f->writeIni(WindowFixture::kIni);
    }

    // A load file writing `value` to card register `address`.
    QString cardFile(const QString &name, quint16 address, quint16 value)
    {
        return writeFile(name, QStringLiteral("pelra_mode\n%1 %2\n").arg(address, 4, 16, QLatin1Char('0')).arg(value, 0, 16).toLatin1());
    }

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    QListWidget *list() { return f->widget<QListWidget>("lstLoadFiles"); }
    QStringList rows()
    {
        QStringList texts;
        for (int r = 0; r < list()->count(); ++r)
            texts << list()->item(r)->text();
        return texts;
    }
    void addRows(const QStringList &paths)
    {
        f->seam.fileListAnswers << paths;
        QTest::mouseClick(f->widget<QPushButton>("btnAddFile"), Qt::LeftButton);
    }
    void highlight(const QList<int> &rowsInOrder)
    {
        list()->clearSelection();
        for (int r : rowsInOrder)
            list()->item(r)->setSelected(true);
    }
    void click(const char *button) { QTest::mouseClick(f->widget<QPushButton>(button), Qt::LeftButton); }

    // The writes the card carried out. A download ends with the firmware-family
    // read, so every write of it has been carried out when the click returns.
    QStringList cardWrites()
    {
        QStringList texts;
        for (const RegisterWrite &w : sim->registerWrites(kCard))
            texts << w.describe();
        return texts;
    }

    QStringList panelMessagesSince(int first)
    {
        QStringList messages;
        const QStringList lines = f->panelLines();
        for (int i = first; i < lines.size(); ++i) {
            // An empty line is the gap before a new section.
            const int at = lines.at(i).indexOf(QStringLiteral(":  "));
            messages << (at >= 0 ? lines.at(i).mid(at + 3) : lines.at(i));
        }
        return messages;
    }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void add_ticksRowsAndStartsWhereTheLastAddStarted();
    void moveButtons_moveTheHighlightedBlock();
    void remove_takesOutEveryHighlightedRow();
    void download_takesTheRowsOfItsButton_data();
    void download_takesTheRowsOfItsButton();
    void failingFiles_doNotStopTheNext();
    void noLink_downloadsNothing();
    void familyFollowUp_switchesToTheFirmwaresFamily_data();
    void familyFollowUp_switchesToTheFirmwaresFamily();
    void rowsAndTicks_areKeptInPacIni();
};

void TestWindowLoadPanel::add_ticksRowsAndStartsWhereTheLastAddStarted()
{
    QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
    f->makeWindow();
    auto *add = f->widget<QPushButton>("btnAddFile");
    QVERIFY(add->property("Path").toString().isEmpty());

    addRows({"/cfg/a.glf", "", "/cfg/b.ald"});
    addRows({"/other/c.mcd"});
    QCOMPARE(rows(), (QStringList{"/cfg/a.glf", "/cfg/b.ald", "/other/c.mcd"}));
    for (int r = 0; r < list()->count(); ++r)
        QCOMPARE(list()->item(r)->checkState(), Qt::Checked);
    const QString filter = QStringLiteral("file (*.glf *.ald *.mcd);;All files (*.*)");
    QCOMPARE(f->seam.fileDialogs, (QStringList{"Select load file||" + filter, "Select load file|/cfg/a.glf|" + filter}));
    QCOMPARE(add->property("Path").toString(), QStringLiteral("/other/c.mcd"));

    // Cancelled: nothing changes, the remembered file included.
    click("btnAddFile");
    QCOMPARE(rows().size(), 3);
    QCOMPARE(add->property("Path").toString(), QStringLiteral("/other/c.mcd"));
}

void TestWindowLoadPanel::moveButtons_moveTheHighlightedBlock()
{
    QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
    f->makeWindow();
    addRows({"1", "2", "3", "4", "5"});

    highlight({1, 2});
    click("btnMoveUp");
    QCOMPARE(rows(), (QStringList{"2", "3", "1", "4", "5"}));
    click("btnMoveUp");   // the block is at the top now
    QCOMPARE(rows(), (QStringList{"2", "3", "1", "4", "5"}));

    highlight({3, 2});    // highlighted bottom-up, still one block
    click("btnMoveDown");
    QCOMPARE(rows(), (QStringList{"2", "3", "5", "1", "4"}));
    click("btnMoveDown");
    QCOMPARE(rows(), (QStringList{"2", "3", "5", "1", "4"}));

    highlight({0});
    click("btnMoveUp");
    QCOMPARE(rows(), (QStringList{"2", "3", "5", "1", "4"}));
    list()->clearSelection();
    click("btnMoveDown");
    QCOMPARE(rows(), (QStringList{"2", "3", "5", "1", "4"}));

    // Rows keep their ticks when they move.
    list()->item(2)->setCheckState(Qt::Unchecked);
    highlight({3});
    click("btnMoveUp");
    QCOMPARE(rows(), (QStringList{"2", "3", "1", "5", "4"}));
    QCOMPARE(list()->item(3)->checkState(), Qt::Unchecked);
}

void TestWindowLoadPanel::remove_takesOutEveryHighlightedRow()
{
    QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
    f->makeWindow();
    addRows({"a", "b", "c", "d"});
    highlight({3, 1});
    click("btnRemove");
    QCOMPARE(rows(), (QStringList{"a", "c"}));
    list()->clearSelection();
    click("btnRemove");
    QCOMPARE(rows(), (QStringList{"a", "c"}));
}

void TestWindowLoadPanel::download_takesTheRowsOfItsButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("checked rows, in list order") << QStringLiteral("btnLoadSelect")
                                                 << QStringList{"card 0x0101=0x1", "card 0x0103=0x3"};
    QTest::newRow("highlighted rows, in selection order") << QStringLiteral("btnLoadHighlight")
                                                          << QStringList{"card 0x0104=0x4", "card 0x0101=0x1"};
    QTest::newRow("all rows") << QStringLiteral("btnLoadAll")
                              << QStringList{"card 0x0101=0x1", "card 0x0102=0x2", "card 0x0103=0x3", "card 0x0104=0x4"};
}

void TestWindowLoadPanel::download_takesTheRowsOfItsButton()
{
    QFETCH(QString, button);
    QFETCH(QStringList, writes);
    QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
    f->makeWindow();
    QStringList paths;
    for (int n = 1; n <= 4; ++n)
        paths << cardFile(QStringLiteral("f%1.glf").arg(n), quint16(0x0100 + n), quint16(n));
    // A row's text may carry blanks around the path.
    addRows({paths.at(0), QStringLiteral("  ") + paths.at(1), paths.at(2), paths.at(3) + QStringLiteral(" ")});
    list()->item(1)->setCheckState(Qt::Unchecked);
    list()->item(3)->setCheckState(Qt::Unchecked);
    highlight({3, 0});
    sim->clearRegisterWrites();
    const int before = f->panelLines().size();

    click(button.toLatin1().constData());
    QCOMPARE(cardWrites(), writes);
    QStringList loaded;
    for (const QString &m : panelMessagesSince(before))
        if (m.startsWith(QStringLiteral("Loading ")))
            loaded << m;
    QCOMPARE(loaded.size(), writes.size());
    QVERIFY(loaded.first().endsWith(QStringLiteral(" succeeded")));
    QCOMPARE(panelMessagesSince(before).first(), QString());   // the gap before the section
    QVERIFY(panelMessagesSince(before).contains(QStringLiteral("Download load files...")));
}

void TestWindowLoadPanel::failingFiles_doNotStopTheNext()
{
    QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
    f->makeWindow();
    const QString deleted = cardFile(QStringLiteral("deleted.glf"), 0x0111, 1);
    const QString broken = writeFile(QStringLiteral("broken.glf"), "pelra_mode\n0112  0002\n");
    const QString good = cardFile(QStringLiteral("good.glf"), 0x0113, 3);
    addRows({deleted, broken, good});
    QVERIFY(QFile::remove(deleted));
    sim->clearRegisterWrites();
    const int before = f->panelLines().size();

    click("btnLoadAll");
    QStringList loading;
    for (const QString &m : panelMessagesSince(before))
        if (m.startsWith(QStringLiteral("Loading ")))
            loading << m;
    QCOMPARE(loading, (QStringList{"Loading " + deleted + " failed. " + deleted + " does not exist",
                                   "Loading " + broken + " failed. Unexpected register value at line 2",
                                   "Loading " + good + " succeeded"}));
    QCOMPARE(cardWrites(), QStringList{"card 0x0113=0x3"});
}

void TestWindowLoadPanel::noLink_downloadsNothing()
{
    // No simulator: discovery finds no card and no link is current.
    QVERIFY(f->writeIni(QByteArray(WindowFixture::kIni).replace("LOADFILE\\size=0",
                                                               "LOADFILE\\1\\NAME=/cfg/a.glf\nLOADFILE\\1\\SELECT=1\n"
                                                               "LOADFILE\\size=1")));
    f->makeWindow();
    QCOMPARE(rows(), QStringList{"/cfg/a.glf"});
    const int before = f->panelLines().size();
    click("btnLoadAll");
    QCOMPARE(panelMessagesSince(before),
             (QStringList{QString(), "Download load files...", "Invalid PELRA interface or serial number"}));
}

void TestWindowLoadPanel::familyFollowUp_switchesToTheFirmwaresFamily_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("question");
    QTest::newRow("OSTERA firmware, TAMBRIL ticked") << QString::fromLatin1(kOsteraCard) << "rdTAMBRIL"
        << "PELRA firmware for OSTERA operation detected" << "rdOSTERA" << kOsteraQuestion;
    QTest::newRow("TAMBRIL firmware, OSTERA ticked") << "sim-one-card.ini" << "rdOSTERA"
        << "PELRA firmware for TAMBRIL operation detected" << "rdTAMBRIL" << kTambrilQuestion;
    QTest::newRow("BaseMode firmware, OSTERA ticked") << QString::fromLatin1(kBaseModeCard) << "rdOSTERA"
        << "PELRA firmware for BaseMode operation detected" << "rdTAMBRIL" << kTambrilQuestion;
    QTest::newRow("TAMBRIL firmware, TAMBRIL ticked") << "sim-one-card.ini" << "rdTAMBRIL" << QString() << "rdTAMBRIL"
                                                      << QString();
    QTest::newRow("BaseMode firmware, TAMBRIL ticked") << QString::fromLatin1(kBaseModeCard) << "rdTAMBRIL"
                                                       << QString() << "rdTAMBRIL" << QString();
}

// "Load Checked Files" with no ticked row downloads nothing but still follows
// the firmware family.
void TestWindowLoadPanel::familyFollowUp_switchesToTheFirmwaresFamily()
{
    QFETCH(QString, scenario);
    QFETCH(QString, ticked);
    QFETCH(QString, logged);
    QFETCH(QString, family);
    QFETCH(QString, question);
    QVERIFY(startSim(scenario));
    f->makeWindow();
    f->widget<QRadioButton>(ticked.toLatin1().constData())->setChecked(true);
    f->seam.asked.clear();
    const int before = f->panelLines().size();

    click("btnLoadSelect");
    QStringList expected{QString(), "Download load files..."};
    if (!logged.isEmpty())
        expected << logged;
    // Answering No loads no register table, so nothing follows the question.
    QCOMPARE(panelMessagesSince(before), expected);
    QVERIFY(f->widget<QRadioButton>(family.toLatin1().constData())->isChecked());
    QCOMPARE(f->seam.asked, question.isEmpty() ? QStringList() : QStringList{question});
}

void TestWindowLoadPanel::rowsAndTicks_areKeptInPacIni()
{
    QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
    f->makeWindow();
    addRows({"/cfg/one.glf", "/cfg/two.ald"});
    list()->item(0)->setCheckState(Qt::Unchecked);
    f->seam.answers = {true};
    click("btnSaveInI");
    const QByteArray ini = f->iniContent();
    QVERIFY2(ini.contains("LOADFILE\\1\\NAME=/cfg/one.glf\nLOADFILE\\1\\SELECT=0\n"
                          "LOADFILE\\2\\NAME=/cfg/two.ald\nLOADFILE\\2\\SELECT=1\nLOADFILE\\size=2"),
             ini.constData());

    f->window.reset();
    f->makeWindow();
    QCOMPARE(rows(), (QStringList{"/cfg/one.glf", "/cfg/two.ald"}));
    QCOMPARE(list()->item(0)->checkState(), Qt::Unchecked);
    QCOMPARE(list()->item(1)->checkState(), Qt::Checked);
    // With rows but no add yet, the add dialog starts at the last row.
    click("btnAddFile");
    QCOMPARE(f->seam.fileDialogs.last().section(QLatin1Char('|'), 1, 1), QStringLiteral("/cfg/two.ald"));
}

QTEST_MAIN(TestWindowLoadPanel)
#include "tst_windowloadpanel.moc"
