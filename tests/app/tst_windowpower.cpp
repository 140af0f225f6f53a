// The Power Control tab against a simulated card: applying settings, reading
// them back, the question on showing the tab, and refusals.
#include "pelrasim.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

using pelrasim::Fault;
using pelrasim::Link;

namespace {

const char kPowerCard[] = R"([card1]
id = 0x0412
firmware = tambril
asics = tambril, tambril
telemetry_busy_percent = 1
gige = 127.1.1.1
gige_speed = 1000
)";

constexpr quint16 Card = 0x0412;
constexpr int PowerTab = 1;
constexpr int OtherTab = 3;

const char *const Asic1Fields[] = {"txtVRef1",   "txtVddaH1", "txtVddaH1VL", "txtVddaH1CL", "txtVddaL1",
                                   "txtVddaL1VL", "txtVddaL1CL", "txtVddH1", "txtVddH1VL",  "txtVddH1CL",
                                   "txtVddL1",   "txtVddL1VL", "txtVddL1CL", "txtVDDIO1",   "txtVDDIO1VL",
                                   "txtVDDIO1CL", "txtVSSIO1",  "txtVSSIO1VL", "txtVddAux1"};

}  // namespace

class TestWindowPower : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;

    bool start(bool withCard = true)
    {
        if (withCard) {
            sim = std::make_unique<pelrasim::Simulator>();
            sim->setDeviceDir(f->simDir.path());
            QString error;
            if (!sim->loadScenarioText(QString::fromLatin1(kPowerCard), &error) || !sim->start(&error)) {
                qWarning("simulator: %s", qPrintable(error));
                return false;
            }
        }
        if (!f->writeIni(WindowFixture::kIni))
            return false;
        f->makeWindow();
        return true;
    }

    QLineEdit *field(const char *name) { return f->widget<QLineEdit>(name); }
    QCheckBox *box(const char *name) { return f->widget<QCheckBox>(name); }
    void click(const char *name) { f->widget<QPushButton>(name)->click(); }
    void showTab(int index) { f->widget<QTabWidget>("tabWidget")->setCurrentIndex(index); }
    quint16 reg(quint16 address) const { return sim->cardRegister(Card, address); }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void apply_writesCodesAndShowsWhatIsApplied()
    {
        QVERIFY(start());
        field("txtVRef1")->setText(QStringLiteral("2.0004"));
        field("txtVddaH1")->setText(QStringLiteral("3.3"));
        field("txtVddaH1VL")->setText(QStringLiteral("3.6"));
        field("txtVddaH1CL")->setText(QStringLiteral("1023.8"));
        field("txtVddaL1")->setText(QStringLiteral("2.0006"));
        field("txtVddH1CL")->setText(QStringLiteral("100"));
        field("txtVddL1")->setText(QStringLiteral("no number"));
        field("txtVddAux2")->setText(QStringLiteral("4.089"));
        field("txtVSSIO2")->setText(QStringLiteral(" 1.2 "));
        box("chkVDDAH1")->setChecked(true);
        box("chkSenseVRef1GND")->setChecked(true);
        box("chkSenseVDDL2")->setChecked(true);
        box("chkVSSIO2")->setChecked(true);
        box("chk5V")->setChecked(true);
        box("chkGndFilterByPass")->setChecked(true);
        box("chkVddAux2")->setChecked(true);
        click("btnSetVolt");

        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Setting voltages to PELRA succeeded")));
        QCOMPARE(reg(0x0321), quint16(2000));
        QCOMPARE(reg(0x0322), quint16(732));
        QCOMPARE(reg(0x0323), quint16(3097));
        QCOMPARE(reg(0x0324), quint16(4095));
        QCOMPARE(reg(0x0325), quint16(1936));
        QCOMPARE(reg(0x032A), quint16(800));
        QCOMPARE(reg(0x032B), quint16(3792));    // text that is no number counts as 0 V
        QCOMPARE(reg(0x0351), quint16(1200));
        QCOMPARE(reg(0x0353), quint16(0));
        QCOMPARE(reg(0x0320), quint16(0x0009));
        QCOMPARE(reg(0x0340), quint16(0x8800));
        QCOMPARE(reg(0x0300), quint16(0x0211));

        QCOMPARE(field("txtVRef1")->text(), QStringLiteral("2.000"));
        QCOMPARE(field("txtVddaL1")->text(), QStringLiteral("2.001"));
        QCOMPARE(field("txtVddaH1CL")->text(), QStringLiteral("1023.800"));
        QCOMPARE(field("txtVddL1")->text(), QStringLiteral("0.000"));
        QCOMPARE(field("txtVSSIO2")->text(), QStringLiteral("1.200"));
    }

    void apply_badEntry_stopsThere_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("asic1Written");
        QTest::newRow("1023.9 mA") << "txtVddaH1CL" << "1023.9" << "Invalid VDDAH1 current limit" << false;
        QTest::newRow("digital limit") << "txtVddL1CL" << "512" << "Invalid VDDL1 current limit" << false;
        QTest::newRow("VSSIO1 limit") << "txtVSSIO1VL" << "4.096" << "Invalid VSSIO1 voltage limit" << false;
        QTest::newRow("negative reference") << "txtVRef1" << "-0.1" << "Invalid VRef1 voltage" << false;
        QTest::newRow("ASIC 2 supply") << "txtVDDIO2" << "4.0895" << "Invalid VDDIO2 voltage" << true;
        QTest::newRow("ASIC 2 negative") << "txtVddH2" << "-1" << "Invalid VDDH2 voltage" << true;
        QTest::newRow("VSSIO2 limit") << "txtVSSIO2VL" << "5" << "Invalid VSSIO2 voltage limit" << true;
    }

    void apply_badEntry_stopsThere()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(bool, asic1Written);
        QVERIFY(start());
        for (quint16 address : {0x0321, 0x0333, 0x0341, 0x0353, 0x0300, 0x0320, 0x0340})
            sim->setCardRegister(Card, address, 0x0BAD);
        field("txtVRef1")->setText(QStringLiteral("1.0004"));
        field("txtVRef2")->setText(QStringLiteral("1.0004"));
        field(qPrintable(name))->setText(text);
        click("btnSetVolt");

        QVERIFY2(f->panelHasLineEndingWith(message), qPrintable(f->panelLines().join('\n')));
        QVERIFY(!f->panelHasLineEndingWith(QStringLiteral("Setting voltages to PELRA succeeded")));
        QCOMPARE(field(qPrintable(name))->text(), text);
        // the last ASIC 1 write has no reply to wait for
        QTRY_COMPARE_WITH_TIMEOUT(reg(0x0333) != 0x0BAD, asic1Written, 1000);
        QCOMPARE(reg(0x0321) != 0x0BAD, asic1Written);
        for (quint16 address : {0x0341, 0x0353, 0x0300, 0x0320, 0x0340})
            QCOMPARE(reg(address), quint16(0x0BAD));
        // fields before the bad one show what they would apply
        if (name != QLatin1String("txtVRef1"))
            QCOMPARE(field("txtVRef1")->text(), QStringLiteral("1.000"));
    }

    void read_showsEveryFieldInItsFormat()
    {
        QVERIFY(start());
        const quint16 asic1[19] = {2000, 732, 3097, 4095, 3792, 0, 1, 800, 4095, 4094, 3800,
                                   2,    2, 0,    4095, 8,    1200, 4095, 1937};
        for (int i = 0; i < 19; ++i)
            sim->setCardRegister(Card, quint16(0x0321 + i), asic1[i]);
        sim->setCardRegister(Card, 0x0341, 4095);
        sim->setCardRegister(Card, 0x0320, 0xA005);
        sim->setCardRegister(Card, 0x0340, 0x0800);
        sim->setCardRegister(Card, 0x0300, 0x03FF);
        click("btGetVolt");

        const QStringList expected = {"2.000",   "3.300", "3.601", "1023.75", "0.000", "0.000", "0.25",
                                      "3.226",   "4.761", "511.75", "0.000", "0.002", "0.25",  "4.089",
                                      "4.761",   "1.00",  "1.200", "4.095", "2.000"};
        for (int i = 0; i < 19; ++i)
            QCOMPARE(field(Asic1Fields[i])->text(), expected.at(i));
        QCOMPARE(field("txtVRef2")->text(), QStringLiteral("4.095"));
        QCOMPARE(field("txtVddaH2")->text(), QStringLiteral("4.089"));
        QCOMPARE(field("txtVddaH2CL")->text(), QStringLiteral("0.00"));
        QVERIFY(box("chkVDDAH1")->isChecked());
        QVERIFY(!box("chkVDDAL1")->isChecked());
        QVERIFY(box("chkVRef1")->isChecked());
        QVERIFY(box("chkSenseVDDH1")->isChecked());
        QVERIFY(box("chkSenseVDDL1")->isChecked());
        QVERIFY(!box("chkSenseVDDL1GND")->isChecked());
        QVERIFY(box("chkVSSIO2")->isChecked());
        QVERIFY(!box("chkVDDAH2")->isChecked());
        for (const char *name : {"chk5V", "chkGigE", "chkGigEOverride", "chkGndFilterByPass", "chkUSBFilterByPass",
                                 "chkGndCleanFilterByPass", "chkGndDirtyFilterByPass", "chkVddAux1", "chkVddAux2"})
            QVERIFY2(box(name)->isChecked(), name);
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Reading PELRA 1 voltage settings and power states succeeded")));
        QVERIFY(f->seam.asked.isEmpty());
    }

    void read_failedBlock_goesOnWithZeros()
    {
        QVERIFY(start());
        sim->setCardRegister(Card, 0x0321, 2000);
        sim->setCardRegister(Card, 0x0341, 3000);
        sim->setFault(Card, Link::GigE, Fault::WrongCode, 1);
        click("btGetVolt");
        QVERIFY(f->panelLines().filter(QStringLiteral("Reading PELRA 1 block 0x0321,len 19 for voltage settings failed: ReadPELRABlock"))
                    .size() == 1);
        QCOMPARE(field("txtVRef1")->text(), QStringLiteral("0.000"));
        QCOMPARE(field("txtVRef2")->text(), QStringLiteral("3.000"));
        QVERIFY(!f->panelHasLineEndingWith(QStringLiteral("Reading PELRA 1 voltage settings and power states succeeded")));
    }

    void showingTab_asksOnlyWhenCardChanged()
    {
        QVERIFY(start());
        // first time in a run: filled without a question
        sim->setCardRegister(Card, 0x0321, 1500);
        showTab(PowerTab);
        QCOMPARE(field("txtVRef1")->text(), QStringLiteral("1.500"));
        QVERIFY(f->seam.asked.isEmpty());

        field("txtVRef1")->setText(QStringLiteral("2.5"));
        box("chkVDDIO2")->setChecked(true);
        click("btnSetVolt");
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Setting voltages to PELRA succeeded")));
        showTab(OtherTab);
        showTab(PowerTab);
        QVERIFY(f->seam.asked.isEmpty());

        // something else changes the card: asked, and No keeps fields and cache
        sim->setCardRegister(Card, 0x0321, 1000);
        field("txtVRef2")->setText(QStringLiteral("typed"));
        showTab(OtherTab);
        f->seam.answers = {false};
        showTab(PowerTab);
        const QString question = QStringLiteral("PAC|Power settings are changed on PELRA. Update GUI?\n");
        QCOMPARE(f->seam.asked, QStringList{question});
        QCOMPARE(field("txtVRef1")->text(), QStringLiteral("2.500"));
        QCOMPARE(field("txtVRef2")->text(), QStringLiteral("typed"));
        showTab(OtherTab);
        f->seam.answers = {true};
        showTab(PowerTab);
        QCOMPARE(f->seam.asked, (QStringList{question, question}));
        QCOMPARE(field("txtVRef1")->text(), QStringLiteral("1.000"));
        QVERIFY(box("chkVDDIO2")->isChecked());
        // the cache now holds what was shown
        showTab(OtherTab);
        showTab(PowerTab);
        QCOMPARE(f->seam.asked.size(), 2);
    }

    void noLink_eachActionSaysSo()
    {
        QVERIFY(start(false));
        click("btGetVolt");
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Getting voltages failed - No interface available")));
        field("txtVRef1")->setText(QStringLiteral("1.5"));
        const int lines = f->panelLines().size();
        click("btnSetVolt");
        QCOMPARE(f->panelLines().size(), lines + 1);
        QVERIFY(!f->panelHasLineEndingWith(QStringLiteral("Setting voltages to PELRA succeeded")));
        QCOMPARE(field("txtVRef1")->text(), QStringLiteral("1.5"));
    }
};

QTEST_MAIN(TestWindowPower)
#include "tst_windowpower.moc"
