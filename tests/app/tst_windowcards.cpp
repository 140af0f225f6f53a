// The main window against simulated cards: interface check, card list
// dialog, link switching, card/ASIC probing and firmware reload.
#include "interfacelistdlg.h"
#include "pelrasim.h"
#include "windowfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

namespace {

// Answers the card list dialog whenever it is shown: selects `row` (if not
// negative) and presses OK or Cancel. Records what the dialog listed.
class ListDialogOperator : public QObject
{
public:
    ListDialogOperator(int row, bool accept) : row(row), accept(accept)
    {
        connect(&poll, &QTimer::timeout, this, &ListDialogOperator::check);
        poll.start(10);
    }

    int shown = 0;
    QList<QStringList> rows;
    QString title;

private:
    void check()
    {
        auto *dialog = qobject_cast<InterfaceListDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        ++shown;
        title = dialog->windowTitle();
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tblInterfaces"));
        rows.clear();
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c)
                cells << table->item(r, c)->text();
            rows << cells;
        }
        if (row >= 0)
            table->selectRow(row);
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        buttons->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    }

    QTimer poll;
    int row;
    bool accept;
};

const char kBaseModeCard[] = R"([card1]
id = 0x0700
firmware = basemode
slot1_name = PELRA BaseMode v1.0
slot1_type = basemode
slot2_name = PELRA TAMBRIL v2.7
slot2_type = tambril
reload_ms = 50
gige = 127.1.1.1
gige_speed = 100
)";

}  // namespace

class TestWindowCards : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;

    bool startSim(const QString &scenarioFile)
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        const bool ok = scenarioFile.startsWith(QLatin1Char('['))
                            ? sim->loadScenarioText(scenarioFile, &error)
                            : sim->loadScenarioFile(QStringLiteral(PAC_SOURCE_DIR "/config/") + scenarioFile, &error);
        if (!ok || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        return f->writeIni(WindowFixture::kIni);
    }

    template <class T>
    T *w(const char *name) { return f->widget<T>(name); }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void oneCard_noDialog_showsCardAndTicksBestLink()
    {
        QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
        ListDialogOperator dialogs(-1, false);
        f->makeWindow();
        QCOMPARE(dialogs.shown, 0);
        QVERIFY(f->seam.asked.isEmpty());

        const QString uart = sim->uartPortName(0x0412);
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA01042: GigE Port connected at IP Address 127.1.1.1")));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA01042: Serial Port connected to ") + uart
                                          + QStringLiteral(" : 115200, 8, 2, 1, 0")));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA01042: USB Port connected")));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA firmware for TAMBRIL operation detected")));
        // The start-up check ends by loading the register table of the ticked family (none is named).
        QVERIFY(f->panelLines().at(f->panelLines().size() - 2).endsWith(QStringLiteral(":  Checking interface succeeded")));
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  Manual Config Register file  doesn't exist")));

        QVERIFY(w<QRadioButton>("rdGigE")->isChecked());
        QCOMPARE(w<QRadioButton>("rdGigE")->text(), QStringLiteral("GigE (127.1.1.1,  1000 Mbit speed)"));
        QCOMPARE(w<QRadioButton>("rdCamLink")->text(),
                 QStringLiteral("Camera Link Serial Port (") + uart + QStringLiteral(",  115.2 Kbaud)"));
        QCOMPARE(w<QRadioButton>("rdUSB")->text(), QStringLiteral("USB (PELRA0412,  USB 3.0 speed)"));
        for (const char *link : {"rdGigE", "rdCamLink", "rdUSB", "txtGigETimeout", "lblGigETimeout"})
            QVERIFY2(w<QWidget>(link)->isEnabled(), link);
        QCOMPARE(w<QGroupBox>("grpInterface")->title(),
                 QStringLiteral("PELRA Communication Interfaces (PELRA Serial Number 01042):"));
        QCOMPARE(w<QRadioButton>("rdSlot1")->text(), QStringLiteral("Slot 1: PELRA TAMBRIL v2.7 2024-03-11"));
        QCOMPARE(w<QRadioButton>("rdSlot2")->text(), QStringLiteral("Slot 2: PELRA OSTERA v1.4 2023-11-02"));
        // TAMBRIL firmware ticks its family in place of the default OSTERA.
        QVERIFY(w<QRadioButton>("rdTAMBRIL")->isChecked());

        // The probe result is shown in the panel but not written to the file.
        // (The panel shows HTML with its blanks collapsed.)
        QCOMPARE(f->panelLines().filter(QStringLiteral(" : Available PELRAs: PELRA1 ")).size(), 1);
        QVERIFY(!f->logFileContent().contains("Available PELRAs"));
        QVERIFY(f->logFileContent().contains(":  Checking interface succeeded\n"));
    }

    void twoCards_dialogChoosesTheCard_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("second");
        QTest::newRow("cancel keeps the first") << 1 << false << false;
        QTest::newRow("OK on row 0 keeps the first") << 0 << true << false;
        QTest::newRow("OK on row 1 takes the second") << 1 << true << true;
    }

    void twoCards_dialogChoosesTheCard()
    {
        QFETCH(int, row);
        QFETCH(bool, accept);
        QFETCH(bool, second);
        QVERIFY(startSim(QStringLiteral("sim-two-cards.ini")));
        ListDialogOperator dialogs(row, accept);
        f->makeWindow();
        QCOMPARE(dialogs.shown, 1);
        QCOMPARE(dialogs.title, QStringLiteral("PELRA Interface List"));
        const QString uart = sim->uartPortName(0x0412);
        QCOMPARE(dialogs.rows, QList<QStringList>({{"01042", "127.1.1.1", "No", uart + QStringLiteral(", 115.2 Kbaud")},
                                                   {"01331", "127.1.1.2", "USB 2.0", "No"}}));

        if (second) {
            QCOMPARE(w<QGroupBox>("grpInterface")->title(),
                     QStringLiteral("PELRA Communication Interfaces (PELRA Serial Number 01331):"));
            QCOMPARE(w<QRadioButton>("rdGigE")->text(), QStringLiteral("GigE (127.1.1.2,  100 Mbit speed)"));
            QCOMPARE(w<QRadioButton>("rdUSB")->text(), QStringLiteral("USB (PELRA0533,  USB 2.0 speed)"));
            QCOMPARE(w<QRadioButton>("rdCamLink")->text(), QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)"));
            QVERIFY(w<QRadioButton>("rdUSB")->isEnabled());
            QVERIFY(!w<QRadioButton>("rdCamLink")->isEnabled());
            QCOMPARE(w<QRadioButton>("rdSlot1")->text(), QStringLiteral("Slot 1: PELRA BaseMode v1.0"));
            QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA firmware for OSTERA operation detected")));
            QVERIFY(w<QRadioButton>("rdOSTERA")->isChecked());
        } else {
            QCOMPARE(w<QGroupBox>("grpInterface")->title(),
                     QStringLiteral("PELRA Communication Interfaces (PELRA Serial Number 01042):"));
            QCOMPARE(w<QRadioButton>("rdUSB")->text(), QStringLiteral("USB (Unknown----,  Unknown speed)"));
            QVERIFY(!w<QRadioButton>("rdUSB")->isEnabled());
            QVERIFY(w<QRadioButton>("rdCamLink")->isEnabled());
            QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA firmware for TAMBRIL operation detected")));
        }
        QVERIFY(w<QRadioButton>("rdGigE")->isChecked());
        // The start-up check ends by loading the register table of the ticked family (none is named).
        QVERIFY(f->panelLines().at(f->panelLines().size() - 2).endsWith(QStringLiteral(":  Checking interface succeeded")));
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  Manual Config Register file  doesn't exist")));
    }

    void linkButtons_switchTheLinkOrSayWhyNot()
    {
        QVERIFY(startSim(QStringLiteral("sim-two-cards.ini")));
        ListDialogOperator dialogs(-1, false);
        f->makeWindow();

        QTest::mouseClick(w<QRadioButton>("rdCamLink"), Qt::LeftButton);
        QVERIFY(w<QRadioButton>("rdCamLink")->isChecked());
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  Changing PELRA interface succeeded")));

        // The first card has no USB; its button is only disabled, so the
        // link itself must refuse when the button is used anyway.
        w<QRadioButton>("rdUSB")->setEnabled(true);
        QTest::mouseClick(w<QRadioButton>("rdUSB"), Qt::LeftButton);
        QVERIFY(f->panelLines().last().endsWith(
            QStringLiteral(":  Changing PELRA interface failed: This interface is not available in the existing list. Check Interface!")));
    }

    void waitTimeNotANumber_discoversWithTheDefaultWait()
    {
        QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
        f->makeWindow();
        w<QLineEdit>("txtGigETimeout")->setText(QStringLiteral("abc"));
        w<QPlainTextEdit>("txtLog")->clear();
        QTest::mouseClick(w<QPushButton>("btnInterface"), Qt::LeftButton);
        QVERIFY(!f->panelHasLineEndingWith(QStringLiteral("Invalid GigE timeout!")));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA01042: GigE Port connected at IP Address 127.1.1.1")));
        QVERIFY(w<QRadioButton>("rdGigE")->isChecked());
    }

    void firmwareReload_logsResultTicksFamilyAndSetsProperty_data()
    {
        QTest::addColumn<bool>("slot1");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("family");
        QTest::newRow("slot 2, OSTERA") << false
            << QStringLiteral("Loading PELRA firwmare for OSTERA operation on selected PELRAs PELRA 1 succeeded")
            << QStringLiteral("rdOSTERA");
        QTest::newRow("slot 1, TAMBRIL") << true
            << QStringLiteral("Loading PELRA firwmare for TAMBRIL operation on selected PELRAs PELRA 1 succeeded")
            << QStringLiteral("rdTAMBRIL");
    }

    void firmwareReload_logsResultTicksFamilyAndSetsProperty()
    {
        QFETCH(bool, slot1);
        QFETCH(QString, message);
        QFETCH(QString, family);
        QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
        f->makeWindow();
        // Start from the other family, so that the reload has to switch it.
        const char *other = family == QStringLiteral("rdOSTERA") ? "rdTAMBRIL" : "rdOSTERA";
        w<QRadioButton>(other)->setChecked(true);
        w<QRadioButton>(slot1 ? "rdSlot1" : "rdSlot2")->setChecked(true);

        auto *button = w<QPushButton>("btnPELRAFirmware");
        QTest::mouseClick(button, Qt::LeftButton);
        const QStringList lines = f->panelLines();
        QVERIFY(lines.at(lines.size() - 2).endsWith(QStringLiteral(":  Load PELRA firmware in slot %1 ...").arg(slot1 ? 1 : 2)));
        QVERIFY(lines.last().endsWith(QStringLiteral(":  ") + message));
        QCOMPARE(sim->cardRegister(0x0412, 0x1008), quint16(slot1 ? 1 : 2));
        QVERIFY(w<QRadioButton>(family.toLatin1().constData())->isChecked());
        QCOMPARE(button->property("btnPELRAFirmware"), QVariant(true));
        // The family changed: the tab follows it and offers that family's register table.
        const bool tambril = family == QStringLiteral("rdTAMBRIL");
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("PAC|Different ASIC type detected (%1 instead of %2). "
                                                           "Load the corresponding %1 register table for the Manual Command Tab?")
                                                .arg(tambril ? "TAMBRIL" : "OSTERA", tambril ? "OSTERA" : "TAMBRIL")});
        QCOMPARE(w<QTableWidget>("tblASIC")->horizontalHeaderItem(3)->text(),
                 tambril ? QStringLiteral("24Bit") : QStringLiteral("mSPI"));
        // Reloading the same family asks nothing.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(f->seam.asked.size(), 1);
    }

    void baseModeCard_reloadFailsAndProbeWarns()
    {
        QVERIFY(startSim(QString::fromLatin1(kBaseModeCard)));
        f->makeWindow();
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA firmware for BaseMode operation detected")));
        // The start-up check ends by loading the register table of the ticked family (none is named).
        QVERIFY(f->panelLines().at(f->panelLines().size() - 2).endsWith(QStringLiteral(":  Checking interface succeeded")));
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  Manual Config Register file  doesn't exist")));
        QVERIFY(w<QRadioButton>("rdOSTERA")->isChecked());

        w<QRadioButton>("rdSlot1")->setChecked(true);
        auto *button = w<QPushButton>("btnPELRAFirmware");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(f->panelLines().last().endsWith(
            QStringLiteral(":  Loading PELRA firmware on selected PELRAs PELRA 1 failed. BaseMode detected")));
        QCOMPARE(button->property("btnPELRAFirmware"), QVariant(false));

        QTest::mouseClick(w<QPushButton>("btnGetPELRA_ASIC"), Qt::LeftButton);
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Get Available PELRAs and ASICs...")));
        QVERIFY(!f->panelLines().filter(QStringLiteral(" : No available ASICs. readback=0x00 GetAvailableASICs failed. Unexpected ASIC type=0xbcde ")).isEmpty());
        QVERIFY(f->panelLines().last().endsWith(
            QStringLiteral(":  WARNING: No operational PELRA firmware (for TAMBRIL or OSTERA) detected!")));
        QVERIFY(!w<QCheckBox>("chkASIC1")->isChecked());
    }

    void getAvailableButton_ticksAnsweringCardsAndAsics()
    {
        QVERIFY(startSim(QStringLiteral("sim-one-card.ini")));
        f->makeWindow();
        QTest::mouseClick(w<QCheckBox>("chkPELRA3"), Qt::LeftButton);
        QVERIFY(w<QCheckBox>("chkPELRA3")->isChecked());

        QTest::mouseClick(w<QPushButton>("btnGetPELRA_ASIC"), Qt::LeftButton);
        const QStringList lines = f->panelLines();
        QVERIFY(lines.at(lines.size() - 3).endsWith(QStringLiteral(":  Get Available PELRAs and ASICs...")));
        QVERIFY(lines.at(lines.size() - 2).endsWith(QStringLiteral(" : Available PELRAs: PELRA1 ")));
        QVERIFY(lines.last().endsWith(QStringLiteral(" : ASICs Available: ASIC1 ASIC2 ")));
        QVERIFY(w<QCheckBox>("chkPELRA1")->isChecked());
        QVERIFY(!w<QCheckBox>("chkPELRA3")->isChecked());
        QVERIFY(w<QCheckBox>("chkASIC1")->isChecked());
        QVERIFY(w<QCheckBox>("chkASIC2")->isChecked());
        QVERIFY(!w<QCheckBox>("chkASIC3")->isChecked());
    }
};

QTEST_MAIN(TestWindowCards)
#include "tst_windowcards.moc"
