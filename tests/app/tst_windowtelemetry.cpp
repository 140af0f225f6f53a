// The Telemetry tab against a simulated card: its controls, every measure
// button, the complete set after applying power settings, the converter
// configuration row and failures.
#include "pelrasim.h"
#include "telemetryitems.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>

using pelrasim::Fault;
using pelrasim::Link;

namespace {

const char kTelemetryCard[] = R"([card1]
id = 0x0412
firmware = tambril
asics = tambril, tambril
telemetry_busy_percent = 1
gige = 127.1.1.1
gige_speed = 1000
)";

constexpr quint16 Card = 0x0412;
constexpr int TelemetryTab = 4;

}  // namespace

class TestWindowTelemetry : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;

    bool start()
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        if (!sim->loadScenarioText(QString::fromLatin1(kTelemetryCard), &error) || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        if (!f->writeIni(WindowFixture::kIni))
            return false;
        f->makeWindow();
        return true;
    }

    QLineEdit *field(const QString &name) { return f->window->findChild<QLineEdit *>(name); }
    QComboBox *list(const char *name) { return f->widget<QComboBox>(name); }
    void click(const QString &name) { f->window->findChild<QPushButton *>(name)->click(); }
    bool logged(const QString &text) const { return f->panelHasLineEndingWith(text); }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void tab_hasEveryItemAndTheConfigurationRow()
    {
        QVERIFY(start());
        for (const TelemetryItem &item : TelemetryItems()) {
            auto *button = f->window->findChild<QPushButton *>(item.button);
            QVERIFY2(button, qPrintable(item.button));
            QCOMPARE(button->text(), QStringLiteral("M"));
            QVERIFY2(field(item.voltageField), qPrintable(item.voltageField));
            if (!item.currentField.isEmpty())
                QVERIFY2(field(item.currentField), qPrintable(item.currentField));
        }
        QCOMPARE(f->window->findChild<QPushButton *>("M_VDDAH1")->toolTip(), QStringLiteral("0x0400"));
        const auto entries = [this](const char *name) {
            QStringList texts;
            for (int i = 0; i < list(name)->count(); ++i)
                texts << list(name)->itemText(i);
            return texts;
        };
        QCOMPARE(entries("sltVSampleRate"), (QStringList{"16.7 Hz", "20  Hz", "83.3 Hz", "167 Hz"}));
        QCOMPARE(entries("sltISampleRate"), (QStringList{"16.7 Hz", "20 Hz", "83.3 Hz", "167 Hz"}));
        QCOMPARE(entries("sltVAvg"), (QStringList{"1", "2", "4", "8"}));
        QCOMPARE(entries("sltIAvg"), (QStringList{"1", "2", "4", "8"}));
        QCOMPARE(entries("sltGndRef"), (QStringList{"GND", "DGND", "AGND_CLEAN", "AGND_DIRTY", "AUTO"}));
        QCOMPARE(f->widget<QPushButton>("btnTLMConfig")->text(), QStringLiteral("Set"));
        QCOMPARE(f->widget<QPushButton>("btnMeasureAll")->text(), QStringLiteral("Measure \nComplete Set"));
    }

    void everyMeasureButton_fillsItsOwnFields()
    {
        QVERIFY(start());
        sim->setCardRegister(Card, 0x0340, 0x0800);   // VSSIO2 on
        sim->setCardRegister(Card, 0x0351, 1234);
        const QRegularExpression volts3(QStringLiteral("^\\d\\.\\d{3}$"));
        const auto others = [this](const TelemetryItem &except) {
            QStringList texts;
            for (const TelemetryItem &other : TelemetryItems()) {
                if (&other != &except)
                    texts << field(other.voltageField)->text()
                          << (other.currentField.isEmpty() ? QString() : field(other.currentField)->text());
            }
            return texts;
        };
        for (const TelemetryItem &item : TelemetryItems()) {
            const QStringList before = others(item);
            click(item.button);
            QCOMPARE(others(item), before);
            const QString shown = field(item.voltageField)->text();
            if (item.voltageField == QLatin1String("V_VSSIO2")) {
                QVERIFY2(qAbs(shown.toDouble() - 1.234) < 0.005 && shown.size() == 6, qPrintable(shown));
            } else {
                QVERIFY2(volts3.match(shown).hasMatch(), qPrintable(item.button + ' ' + shown));
            }
            if (!item.currentField.isEmpty()) {
                const QString current = field(item.currentField)->text();
                QVERIFY2(!current.isEmpty() && current.size() <= (current.startsWith('-') ? 6 : 5),
                         qPrintable(item.button + ' ' + current));
            }
        }
        QVERIFY(f->panelLines().filter(QStringLiteral("failed")).isEmpty());
        // card supplies that are always on
        QVERIFY2(qAbs(field("V_VDD_3p3")->text().toDouble() - 3.3) < 0.01, qPrintable(field("V_VDD_3p3")->text()));
        QVERIFY2(qAbs(field("I_FPGA")->text().toDouble() - 350.0) < 5, qPrintable(field("I_FPGA")->text()));
    }

    // The operator's path: apply on the Power Control tab, measure the
    // complete set, and find the applied voltages on the Telemetry tab.
    void applyThenCompleteSet_showsAppliedVoltages()
    {
        QVERIFY(start());
        f->widget<QTabWidget>("tabWidget")->setCurrentIndex(1);
        const struct {
            const char *powerField;
            const char *enable;
            const char *telemetryField;
            double volts;
        } supplies[] = {
            {"txtVddaH1", "chkVDDAH1", "V_VDDAH1", 3.3},   {"txtVddaL1", "chkVDDAL1", "V_VDDAL1", 1.8},
            {"txtVRef1", "chkVRef1", "V_VREF1", 2.0},      {"txtVddH1", "chkVDDH1", "V_VDDH1", 3.1},
            {"txtVddL1", "chkVDDL1", "V_VDDL1", 1.2},      {"txtVDDIO1", "chkVDDIO1", "V_VDDIO1", 2.5},
            {"txtVSSIO1", "chkVSSIO1", "V_VSSIO1", 0.4},   {"txtVddAux1", "chkVddAux1", "V_VDDAux1", 1.5},
            {"txtVddaH2", "chkVDDAH2", "V_VDDAH2", 3.25},  {"txtVRef2", "chkVRef2", "V_VREF2", 1.75},
            {"txtVddaL2", nullptr, "V_VDDAL2", 0.0},       {"txtVddAux2", nullptr, "V_VDDAux2", 0.0},
        };
        for (const auto &s : supplies) {
            field(QLatin1String(s.powerField))->setText(s.volts > 0 ? QString::number(s.volts) : QStringLiteral("2.5"));
            if (s.enable)
                f->widget<QCheckBox>(s.enable)->setChecked(true);
        }
        f->widget<QCheckBox>("chkGigE")->setChecked(true);
        click(QStringLiteral("btnSetVolt"));
        QVERIFY(logged(QStringLiteral("Setting voltages to PELRA succeeded")));

        f->widget<QTabWidget>("tabWidget")->setCurrentIndex(TelemetryTab);
        click(QStringLiteral("btnMeasureAll"));
        const QStringList lines = f->panelLines();
        const int wait = lines.indexOf(QRegularExpression(QStringLiteral(".*:  Wait\\.\\.\\.\\.\\.$")));
        QVERIFY(wait > 0);
        QVERIFY(lines.at(wait - 1).isEmpty());
        QVERIFY(logged(QStringLiteral("Done")));

        for (const auto &s : supplies) {
            const QString shown = field(QLatin1String(s.telemetryField))->text();
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\.\\d{3}$")).match(shown).hasMatch(), qPrintable(shown));
            QVERIFY2(qAbs(shown.toDouble() - s.volts) <= 0.005, qPrintable(QLatin1String(s.telemetryField) + ' ' + shown));
        }
        QVERIFY2(qAbs(field("V_GIGE_3p3")->text().toDouble() - 3.3) < 0.01, qPrintable(field("V_GIGE_3p3")->text()));
        // currents follow the loads: 3.3 V into 165 ohm, nothing where disabled
        QVERIFY2(qAbs(field("I_VDDAH1")->text().toDouble() - 20.0) < 0.5, qPrintable(field("I_VDDAH1")->text()));
        QVERIFY2(qAbs(field("I_VDDAL2")->text().toDouble()) < 0.1, qPrintable(field("I_VDDAL2")->text()));
        QVERIFY(field("I_VSSIO1")->text().startsWith('-'));
        // ASIC-side lines see the supply less the drop in its wires
        QVERIFY2(qAbs(field("V_Sen_VDDAH1")->text().toDouble() - 3.3) < 0.01, qPrintable(field("V_Sen_VDDAH1")->text()));
        QVERIFY2(qAbs(field("V_VRef1_ASIC")->text().toDouble() - 2.0) < 0.01, qPrintable(field("V_VRef1_ASIC")->text()));
    }

    void completeSetFailure_leavesEveryField()
    {
        QVERIFY(start());
        for (const TelemetryItem &item : TelemetryItems())
            field(item.voltageField)->setText(QStringLiteral("kept"));
        // the configuration read and the set's own first read both fail
        sim->setFault(Card, Link::GigE, Fault::WrongCode, 2);
        click(QStringLiteral("btnMeasureAll"));
        QVERIFY(f->panelLines().filter(QRegularExpression(
                    QStringLiteral(":  Reading telemetries failed\\. Reading PELRA h0x0480 for telmetry clock failed: ")))
                    .size() == 1);
        QVERIFY(logged(QStringLiteral("Reading PELRA h0480 for telemetry configuration failed")));
        QVERIFY(!logged(QStringLiteral("Done")));
        for (const TelemetryItem &item : TelemetryItems())
            QCOMPARE(field(item.voltageField)->text(), QStringLiteral("kept"));
    }

    void singleFailure_showsReturnedValueAndLogs()
    {
        QVERIFY(start());
        field("V_DGND")->setText(QStringLiteral("old"));
        field("V_FPGA")->setText(QStringLiteral("old"));
        field("I_FPGA")->setText(QStringLiteral("old"));
        sim->setFault(Card, Link::GigE, Fault::WrongCode, 2);
        click(QStringLiteral("M_DGND"));
        QCOMPARE(field("V_DGND")->text(), QStringLiteral("0.000"));
        QVERIFY(f->panelLines().filter(QStringLiteral(
                    ":  Reading telemetry item failed: Reading PELRA h0x0480 for telmetry clock failed: ")).size() == 1);
        sim->setFault(Card, Link::GigE, Fault::WrongCode, 2);
        click(QStringLiteral("M_FPGA"));
        QCOMPARE(field("V_FPGA")->text(), QStringLiteral("0.000"));
        QCOMPARE(field("I_FPGA")->text(), QStringLiteral("0"));
        QVERIFY(f->panelLines().filter(QStringLiteral(
                    ":  Reading two telemetry items failed: Reading PELRA h0x0480 for telmetry clock failed: ")).size() == 1);
    }

    void configurationRow_setAndShownWithTheTab()
    {
        QVERIFY(start());
        sim->setCardRegister(Card, 0x0480, 0x0081);
        list("sltVSampleRate")->setCurrentIndex(2);
        list("sltVAvg")->setCurrentIndex(3);
        list("sltISampleRate")->setCurrentIndex(1);
        list("sltIAvg")->setCurrentIndex(2);
        list("sltGndRef")->setCurrentIndex(4);
        click(QStringLiteral("btnTLMConfig"));
        QVERIFY(logged(QStringLiteral("Telemetry confiugraiton succeeded")));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(Card, 0x0480), quint16(0x9EC1), 1000);

        // another program changed the converter: showing the tab shows it
        sim->setCardRegister(Card, 0x0480, 0x4D31);
        f->widget<QTabWidget>("tabWidget")->setCurrentIndex(TelemetryTab);
        QCOMPARE(list("sltVSampleRate")->currentIndex(), 1);
        QCOMPARE(list("sltVAvg")->currentIndex(), 3);
        QCOMPARE(list("sltISampleRate")->currentIndex(), 0);
        QCOMPARE(list("sltIAvg")->currentIndex(), 1);
        QCOMPARE(list("sltGndRef")->currentIndex(), 3);
    }
};

QTEST_MAIN(TestWindowTelemetry)
#include "tst_windowtelemetry.moc"
