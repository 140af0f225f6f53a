// "Load Master Config" against simulated cards: the sample configuration of
// config/ from power-up to ready, the selection pass, the firmware reload,
// the command pass with its path fallback and waits, and every stop.
#include "pelrasim.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using pelrasim::RegisterWrite;

namespace {

constexpr quint16 kCard = 0x0412;

// TAMBRIL firmware running, two TAMBRIL ASICs; slot 1 reloads BaseMode.
const char kTambrilCard[] = R"([card1]
id = 0x0412
firmware = tambril
asics = tambril, tambril
slot1_name = PELRA BaseMode v1.0
slot1_type = basemode
slot2_name = PELRA TAMBRIL v2.7
slot2_type = tambril
reload_ms = 50
gige = 127.1.1.1
)";

}  // namespace

class TestWindowMaster : public QObject
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

    // A window on a TAMBRIL card, reload off unless asked, with the master file `text`.
    void openWindow(const QByteArray &masterText, bool reload = false)
    {
        QVERIFY(startSim(QString::fromLatin1(kTambrilCard)));
        f->makeWindow();
        f->widget<QCheckBox>("chkPELRAFirmware")->setChecked(reload);
        f->widget<QLineEdit>("txtMcf")->setText(writeFile(QStringLiteral("master.mcf"), masterText));
        sim->clearRegisterWrites();
        sim->clearTraffic();
        f->seam.asked.clear();
    }

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = files.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    void run()
    {
        marker = f->panelLines().size();
        QTest::mouseClick(f->widget<QPushButton>("btMasterConfig"), Qt::LeftButton);
    }

    // Messages logged by the last run, an empty text for each gap; the
    // probe results (panel-only HTML lines) are left out.
    QStringList messages() const
    {
        QStringList out;
        const QStringList lines = f->panelLines();
        for (int i = marker; i < lines.size(); ++i) {
            const int at = lines.at(i).indexOf(QStringLiteral(":  "));
            if (at >= 0)
                out << lines.at(i).mid(at + 3);
            else if (lines.at(i).isEmpty())
                out << QString();
        }
        return out;
    }

    QStringList writes() const
    {
        QStringList texts;
        for (const RegisterWrite &w : sim->registerWrites(kCard))
            texts << w.describe();
        return texts;
    }

    int marker = 0;

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void sampleConfiguration_bringsThePoweredUpCardToReady();
    void noSelectionLines_configureCard1Asic1WithWarnings();
    void selectionPass_endsOnceBothMasksHoldABit();
    void selectionLines_afterLoadLines_stillSelect();
    void asicSelect9_sendsNothing();
    void loadPath_fallsBackToTheMasterFolder();
    void baseModeFirmware_stopsAfterTheReload();
    void waits_pauseOnlyFor16BitNumbers();
    void failingLoadFile_stopsTheRun();
    void familyAlreadyTicked_asksNothing();
    void missingFiles_stopBeforeAnythingIsSent();
};

void TestWindowMaster::sampleConfiguration_bringsThePoweredUpCardToReady()
{
    QVERIFY(startSim(QStringLiteral("sim-power-up.ini")));
    f->makeWindow();
    QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA firmware for BaseMode operation detected")));
    QVERIFY(f->widget<QRadioButton>("rdSlot2")->isChecked());
    QVERIFY(f->widget<QCheckBox>("chkPELRAFirmware")->isChecked());
    QVERIFY(f->widget<QRadioButton>("rdOSTERA")->isChecked());
    const QString master = QStringLiteral(PAC_SOURCE_DIR "/config/master/sim-ready.mcf");
    const QString folder = QStringLiteral(PAC_SOURCE_DIR "/config/master/");
    f->widget<QLineEdit>("txtMcf")->setText(master);
    sim->clearRegisterWrites();
    f->seam.asked.clear();

    run();
    QCOMPARE(messages(), (QStringList{
                             QString(), "Load master config " + master + " ...", "PELRA_SELECT 1", "ASIC_SELECT 1 2",
                             "Loading PELRA firwmare for TAMBRIL operation on selected PELRAs PELRA 1 succeeded",
                             "Loading " + folder + "pelra-card.glf succeeded",
                             "Loading " + folder + "tambril-asics.ald succeeded",
                             "Loading " + folder + "tambril-dma.mcd succeeded", "Reset error counters succeeded",
                             "PELRA firmware for TAMBRIL operation detected", "Loading master config file succeeded"}));
    QCOMPARE(f->seam.asked, QStringList{QStringLiteral("PAC|Different ASIC type detected (TAMBRIL instead of OSTERA). "
                                                       "Load the corresponding TAMBRIL register table for the Manual "
                                                       "Command Tab?")});
    QVERIFY(f->widget<QRadioButton>("rdTAMBRIL")->isChecked());
    QVERIFY(f->widget<QCheckBox>("chkMultiFIFO")->isChecked());
    QVERIFY(f->widget<QCheckBox>("chkProcessMultiSciData")->isChecked());

    // The reload comes first, then the files' writes in file order, then the
    // error-counter reset; both ASICs get every ASIC write.
    const QVector<RegisterWrite> all = sim->registerWrites(kCard);
    QVERIFY(all.size() > 40);
    QCOMPARE(all.first(), RegisterWrite::card(0x1008, 2));
    const QStringList seen = writes();
    const int clock = seen.indexOf(QStringLiteral("card 0x0010=0x27"));
    const int firstAsic = seen.indexOf(QStringLiteral("asic0 0x4000=0x1"));
    const int dma = seen.indexOf(QStringLiteral("asic1 0x5000=0x100 dma"));
    const int reset = seen.indexOf(QStringLiteral("card 0x0030=0xf800"));
    QVERIFY(clock > 0 && firstAsic > clock && dma > firstAsic && reset > dma);
    QCOMPARE(seen.at(firstAsic + 1), QStringLiteral("asic1 0x4000=0x1"));
    // "wait 100" between the card file and the ASIC file.
    QVERIFY(all.at(firstAsic).timeMs - all.at(firstAsic - 1).timeMs >= 100);
    QCOMPARE(sim->cardRegister(kCard, 0x0300), quint16(0x0003));
    QCOMPARE(sim->cardRegister(kCard, 0x0344), quint16(0x0190));
    for (int asic : {0, 1}) {
        QCOMPARE(sim->asicRegister(kCard, asic, 0x4000), quint32(0x0002));
        QCOMPARE(sim->asicRegister(kCard, asic, 0x4107), quint32(0x0080));
        QCOMPARE(sim->asicRegister(kCard, asic, 0x5013), quint32(0x00FF));
        QCOMPARE(sim->asicRegister(kCard, asic, 0x4003), quint32(0x0001));
    }
    QCOMPARE(f->widget<QPushButton>("btnPELRAFirmware")->property("btnPELRAFirmware"), QVariant(true));
}

void TestWindowMaster::noSelectionLines_configureCard1Asic1WithWarnings()
{
    const QString file = writeFile(QStringLiteral("a.glf"), "0040 0007\npelra_mode\n0041 0008\n");
    openWindow("# nothing selected\nload " + file.toUtf8() + "\n");
    run();
    const QStringList m = messages();
    QVERIFY(m.contains(QStringLiteral("Warning: PELRA Ids not defined in pac.ini. Default PELRA 1 will be operated")));
    QVERIFY(m.contains(QStringLiteral("Warning: ASIC Ids not defined in pac.ini. Default ASIC 1 will be operated")));
    QVERIFY(m.contains(QStringLiteral("Loading ") + file + QStringLiteral(" succeeded")));
    QCOMPARE(m.last(), QStringLiteral("Loading master config file succeeded"));
    QCOMPARE(writes().mid(0, 2), (QStringList{"asic0 0x0040=0x7", "card 0x0041=0x8"}));
}

void TestWindowMaster::selectionPass_endsOnceBothMasksHoldABit()
{
    const QString file = writeFile(QStringLiteral("asic.glf"), "0050 0001\n");
    openWindow("PELRA_SELECT 1\nASIC_SELECT 1\nASIC_SELECT 2\nload " + file.toUtf8() + "\n");
    run();
    const QStringList m = messages();
    QCOMPARE(m.mid(0, 4), (QStringList{QString(), "Load master config " + f->widget<QLineEdit>("txtMcf")->text() + " ...",
                                       "PELRA_SELECT 1", "ASIC_SELECT 1"}));
    QVERIFY(!m.contains(QStringLiteral("ASIC_SELECT 2")));
    QCOMPARE(writes().first(), QStringLiteral("asic0 0x0050=0x1"));
    QVERIFY(!writes().contains(QStringLiteral("asic1 0x0050=0x1")));
}

void TestWindowMaster::selectionLines_afterLoadLines_stillSelect()
{
    const QString file = writeFile(QStringLiteral("asic.glf"), "0051 0002\n");
    openWindow("load " + file.toUtf8() + "\nwait 1\npelra_select 1   # card\nasic_select 2\n");
    run();
    QVERIFY(messages().contains(QStringLiteral("ASIC_SELECT 2")));
    QCOMPARE(messages().last(), QStringLiteral("Loading master config file succeeded"));
    QCOMPARE(writes().first(), QStringLiteral("asic1 0x0051=0x2"));
    QVERIFY(!writes().contains(QStringLiteral("asic0 0x0051=0x2")));
    // The window's own selection is not touched.
    QVERIFY(f->widget<QCheckBox>("chkASIC1")->isChecked());
    QVERIFY(!f->widget<QCheckBox>("chkASIC2")->isChecked());
}

void TestWindowMaster::asicSelect9_sendsNothing()
{
    const QString file = writeFile(QStringLiteral("asic.glf"), "0052 0003\n");
    openWindow("PELRA_SELECT 1\nASIC_SELECT 9\nload " + file.toUtf8() + "\n", true);
    run();
    QCOMPARE(messages().mid(2), (QStringList{"PELRA_SELECT 1", "ASIC_SELECT 9",
                                             "ERROR: ASIC_SELECT not defined properly. Id must be in the range of [1-8]"}));
    QCOMPARE(sim->packetCount(kCard, pelrasim::Link::GigE), 0);
    QVERIFY(writes().isEmpty());
}

void TestWindowMaster::loadPath_fallsBackToTheMasterFolder()
{
    const QString beside = writeFile(QStringLiteral("cfg/beside.ald"), "pelra_mode\n0053 0004\n");
    openWindow(QByteArray());
    const QString master = writeFile(QStringLiteral("cfg/fallback.mcf"),
                                     "load /no/such/folder/beside.ald\nload " + beside.toUtf8() + "\n");
    f->widget<QLineEdit>("txtMcf")->setText(master);
    run();
    QCOMPARE(messages().filter(QStringLiteral("Loading ")).mid(0, 2),
             (QStringList{"Loading " + beside + " succeeded", "Loading " + beside + " succeeded"}));
    QCOMPARE(writes().mid(0, 2), (QStringList{"card 0x0053=0x4", "card 0x0053=0x4"}));
}

void TestWindowMaster::baseModeFirmware_stopsAfterTheReload()
{
    const QString file = writeFile(QStringLiteral("card.glf"), "pelra_mode\n0054 0005\n");
    openWindow("load " + file.toUtf8() + "\n", true);
    f->widget<QRadioButton>("rdSlot1")->setChecked(true);
    run();
    QCOMPARE(messages().last(),
             QStringLiteral("Loading PELRA firmware on selected PELRAs PELRA 1 failed. BaseMode detected"));
    QCOMPARE(writes(), QStringList{"card 0x1008=0x1"});
    QVERIFY(f->seam.asked.isEmpty());
}

void TestWindowMaster::waits_pauseOnlyFor16BitNumbers()
{
    const QString a = writeFile(QStringLiteral("a.glf"), "pelra_mode\n0060 0001\n");
    const QString b = writeFile(QStringLiteral("b.glf"), "pelra_mode\n0061 0002\n");
    const QString c = writeFile(QStringLiteral("c.glf"), "pelra_mode\n0062 0003\n");
    openWindow("load " + a.toUtf8() + "\nwait 70000\nwait x\nload " + b.toUtf8() + "\nWAIT 120\nload " + c.toUtf8() + "\n");
    run();
    QCOMPARE(messages().last(), QStringLiteral("Loading master config file succeeded"));
    const QVector<RegisterWrite> all = sim->registerWrites(kCard);
    QCOMPARE(writes().mid(0, 3), (QStringList{"card 0x0060=0x1", "card 0x0061=0x2", "card 0x0062=0x3"}));
    // 70000 does not fit 16 bits and is no pause at all (70 s would fail the test's time limit).
    QVERIFY(all.at(1).timeMs - all.at(0).timeMs < 60000);
    QVERIFY(all.at(2).timeMs - all.at(1).timeMs >= 120);
}

void TestWindowMaster::failingLoadFile_stopsTheRun()
{
    const QString good = writeFile(QStringLiteral("good.glf"), "pelra_mode\n0070 0001\n");
    const QString bad = writeFile(QStringLiteral("bad.glf"), "pelra_mode\n0071 0002\nblockstart\nlength 1\n1\n2\n");
    const QString never = writeFile(QStringLiteral("never.glf"), "pelra_mode\n0072 0003\n");
    openWindow("load " + good.toUtf8() + "\nload " + bad.toUtf8() + "\nload " + never.toUtf8() + "\n");
    run();
    const QStringList m = messages();
    QCOMPARE(m.mid(m.size() - 2), (QStringList{"Loading " + good + " succeeded",
                                               "Failed. ERROR: Amount of data exceeds block length at line 6 of file " + bad}));
    // The run stopped without reading back, so the card may still be taking the writes.
    QTRY_COMPARE_WITH_TIMEOUT(writes(), (QStringList{"card 0x0070=0x1", "card 0x0071=0x2"}), 2000);
}

void TestWindowMaster::familyAlreadyTicked_asksNothing()
{
    openWindow("PELRA_SELECT 1\nASIC_SELECT 1 2\n");
    QVERIFY(f->widget<QRadioButton>("rdTAMBRIL")->isChecked());
    run();
    const QStringList m = messages();
    QCOMPARE(m.mid(m.size() - 3), (QStringList{"Reset error counters succeeded", "PELRA firmware for TAMBRIL operation detected",
                                               "Loading master config file succeeded"}));
    QVERIFY(f->seam.asked.isEmpty());
    // The error-counter reset, then the ASIC probe's LED reset.
    QCOMPARE(writes(), (QStringList{"card 0x0030=0xf800", "card 0x0117=0xffff", "card 0x0127=0xffff", "card 0x0190=0xffff",
                                    "card 0x0117=0x104", "card 0x0127=0x104"}));
    QVERIFY(f->widget<QCheckBox>("chkMultiFIFO")->isChecked());
}

void TestWindowMaster::missingFiles_stopBeforeAnythingIsSent()
{
    openWindow("PELRA_SELECT 1\n");
    auto *field = f->widget<QLineEdit>("txtMcf");
    field->setText(files.filePath(QStringLiteral("nowhere.mcf")) + QStringLiteral(" "));
    run();
    QCOMPARE(messages(), (QStringList{QString(), "Master config file " + field->text() + " does not exist!"}));

    field->setText(files.path());
    run();
    QCOMPARE(messages().last(), QStringLiteral("Opening Master Config file failed"));

    field->setText(writeFile(QStringLiteral("ok.mcf"), "PELRA_SELECT 1\n"));
    f->widget<QRadioButton>("rdCamLink")->setChecked(true);
    run();
    QCOMPARE(messages(), (QStringList{QString(), "Load master config " + field->text() + " ...", QString(),
                                      "CameraLink dcf file  does not exist!"}));
    QCOMPARE(sim->packetCount(kCard, pelrasim::Link::GigE), 0);
}

QTEST_MAIN(TestWindowMaster)
#include "tst_windowmaster.moc"
