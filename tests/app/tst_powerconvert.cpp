// Power Control numbers: entries in thousandths, register codes, read-back
// texts and limits; the Telemetry tab's item table and display formats.
#include "powerconvert.h"
#include "telemetryitems.h"

#include <QSet>
#include <QtTest>

using Power::Kind;

Q_DECLARE_METATYPE(Power::Kind)

class TestPowerConvert : public QObject
{
    Q_OBJECT

private slots:
    void thousandths_halvesRoundUpward_data();
    void thousandths_halvesRoundUpward();
    void codes_eachKind_data();
    void codes_eachKind();
    void codeText_eachKind_data();
    void codeText_eachKind();
    void supplyVoltage_everyEntryRoundTripsWithinOneCode();
    void limits_andTheirMessages_data();
    void limits_andTheirMessages();
    void telemetryItems_namesAndCodes();
    void completeSet_79CodesInOrder();
    void displayFormats_data();
    void displayFormats();
};

void TestPowerConvert::thousandths_halvesRoundUpward_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("n");
    QTest::newRow("2.0004") << "2.0004" << qint64(2000);
    QTest::newRow("2.0005") << "2.0005" << qint64(2001);
    QTest::newRow("2.0006") << "2.0006" << qint64(2001);
    QTest::newRow("1.0005") << "1.0005" << qint64(1001);   // binary 1.0005 lies below the half
    QTest::newRow("4.0885") << "4.0885" << qint64(4089);
    QTest::newRow("0.0004999999") << "0.0004999999" << qint64(0);
    QTest::newRow("integer") << "3" << qint64(3000);
    QTest::newRow("leading point") << ".25" << qint64(250);
    QTest::newRow("trailing point") << "7." << qint64(7000);
    QTest::newRow("blanks and plus") << "  +1.5 " << qint64(1500);
    QTest::newRow("mA with decimals") << "1023.8" << qint64(1023800);
    QTest::newRow("exponent form") << "1.5e2" << qint64(150000);
    QTest::newRow("not a number") << "abc" << qint64(0);
    QTest::newRow("empty") << "" << qint64(0);
    QTest::newRow("sign only") << "-" << qint64(0);
    QTest::newRow("negative") << "-0.5" << qint64(-500);
    QTest::newRow("negative half rounds up") << "-0.0005" << qint64(0);
    QTest::newRow("negative above half") << "-0.0006" << qint64(-1);
    QTest::newRow("huge stays huge") << "12345678901234567890" << (qint64(1) << 40);
}

void TestPowerConvert::thousandths_halvesRoundUpward()
{
    QFETCH(QString, text);
    QFETCH(qint64, n);
    QCOMPARE(Power::Thousandths(text), n);
}

void TestPowerConvert::codes_eachKind_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<qint64>("n");
    QTest::addColumn<quint32>("code");
    QTest::newRow("reference 0") << Kind::Reference << qint64(0) << 0u;
    QTest::newRow("reference 4095") << Kind::Reference << qint64(4095) << 4095u;
    QTest::newRow("supply 0 V") << Kind::SupplyVoltage << qint64(0) << 3792u;
    QTest::newRow("supply 4.089 V") << Kind::SupplyVoltage << qint64(4089) << 0u;
    QTest::newRow("supply 2.000 V") << Kind::SupplyVoltage << qint64(2000) << 1937u;   // 1937.26
    QTest::newRow("supply 2.001 V") << Kind::SupplyVoltage << qint64(2001) << 1936u;   // 1936.33
    QTest::newRow("supply 3.300 V") << Kind::SupplyVoltage << qint64(3300) << 732u;    // 731.73
    QTest::newRow("supply 1 mV") << Kind::SupplyVoltage << qint64(1) << 3791u;         // 3791.07
    QTest::newRow("limit 0") << Kind::VoltageLimit << qint64(0) << 0u;
    QTest::newRow("limit 4.761 V") << Kind::VoltageLimit << qint64(4761) << 4095u;     // 4095.14
    QTest::newRow("limit 3.600 V") << Kind::VoltageLimit << qint64(3600) << 3097u;     // 3096.51
    QTest::newRow("analogue 1023.8 mA") << Kind::AnalogCurrentLimit << qint64(1023800) << 4095u;
    QTest::newRow("analogue 0.125 mA is a half") << Kind::AnalogCurrentLimit << qint64(125) << 1u;
    QTest::newRow("analogue 0.124 mA") << Kind::AnalogCurrentLimit << qint64(124) << 0u;
    QTest::newRow("analogue 100 mA") << Kind::AnalogCurrentLimit << qint64(100000) << 400u;
    QTest::newRow("digital 511.9 mA") << Kind::DigitalCurrentLimit << qint64(511900) << 4095u;
    QTest::newRow("digital 0.063 mA") << Kind::DigitalCurrentLimit << qint64(63) << 1u;   // 0.504
    QTest::newRow("digital 0.062 mA") << Kind::DigitalCurrentLimit << qint64(62) << 0u;   // 0.496
    QTest::newRow("digital 100 mA") << Kind::DigitalCurrentLimit << qint64(100000) << 800u;
}

void TestPowerConvert::codes_eachKind()
{
    QFETCH(Kind, kind);
    QFETCH(qint64, n);
    QFETCH(quint32, code);
    QCOMPARE(Power::Code(kind, n), code);
}

void TestPowerConvert::codeText_eachKind_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("reference") << Kind::Reference << 2000u << "2.000";
    QTest::newRow("reference 4095") << Kind::Reference << 4095u << "4.095";
    QTest::newRow("supply 0") << Kind::SupplyVoltage << 0u << "4.089";
    QTest::newRow("supply 3792 is 0 V") << Kind::SupplyVoltage << 3792u << "0.000";
    QTest::newRow("supply above 3792 is 0 V") << Kind::SupplyVoltage << 3793u << "0.000";
    QTest::newRow("supply 4095 is 0 V") << Kind::SupplyVoltage << 4095u << "0.000";
    QTest::newRow("supply 732") << Kind::SupplyVoltage << 732u << "3.300";
    QTest::newRow("supply 1937") << Kind::SupplyVoltage << 1937u << "2.000";
    QTest::newRow("limit 4095") << Kind::VoltageLimit << 4095u << "4.761";
    QTest::newRow("limit 3097") << Kind::VoltageLimit << 3097u << "3.601";
    QTest::newRow("analogue 4095") << Kind::AnalogCurrentLimit << 4095u << "1023.75";
    QTest::newRow("analogue 1") << Kind::AnalogCurrentLimit << 1u << "0.25";
    QTest::newRow("digital 4094") << Kind::DigitalCurrentLimit << 4094u << "511.75";
    QTest::newRow("digital 800") << Kind::DigitalCurrentLimit << 800u << "100.00";
    QTest::newRow("digital 2") << Kind::DigitalCurrentLimit << 2u << "0.25";
}

void TestPowerConvert::codeText_eachKind()
{
    QFETCH(Kind, kind);
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(Power::CodeText(kind, code), text);
}

void TestPowerConvert::supplyVoltage_everyEntryRoundTripsWithinOneCode()
{
    for (qint64 n = 0; n <= Power::Limit(Kind::SupplyVoltage); ++n) {
        const quint32 code = Power::Code(Kind::SupplyVoltage, n);
        QVERIFY(code <= 3792);
        const double back = Power::CodeText(Kind::SupplyVoltage, code).toDouble() * 1000;
        // half a code (0.54 mV) plus the rounding of the text
        QVERIFY2(qAbs(back - double(n)) <= 1.04 + 1e-9, qPrintable(QString::number(n)));
    }
}

void TestPowerConvert::limits_andTheirMessages_data()
{
    QTest::addColumn<int>("asic");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QVector<qint64>>("limits");
    const QVector<qint64> limits = {4095, 4089, 4761, 1023800, 4089, 4761, 1023800, 4089, 4761, 511900,
                                    4089, 4761, 511900, 4089, 4761, 511900, 4095, 4095, 4089};
    QTest::newRow("ASIC 1") << 1
                            << QStringList{"Invalid VRef1 voltage",         "Invalid VDDAH1 voltage",
                                           "Invalid VDDAH1 voltage limit",  "Invalid VDDAH1 current limit",
                                           "Invalid VDDAL1 voltage",        "Invalid VDDAL1 voltage limit",
                                           "Invalid VDDAL1 current limit",  "Invalid VDDH1 voltage",
                                           "Invalid VDDH1 voltage limit",   "Invalid VDDH1 current limit",
                                           "Invalid VDDL1 voltage",         "Invalid VDDL1 voltage limit",
                                           "Invalid VDDL1 current limit",   "Invalid VDDIO1 voltage",
                                           "Invalid VDDIO1 voltage limit",  "Invalid VDDIO1 current limit",
                                           "Invalid VSSIO voltage",         "Invalid VSSIO1 voltage limit",
                                           "Invalid VddAux1 voltage"}
                            << limits;
    QTest::newRow("ASIC 2") << 2
                            << QStringList{"Invalid VRef2 voltage",         "Invalid VDDAH2 voltage",
                                           "Invalid VDDAH2 voltage limit",  "Invalid VDDAH2 current limit",
                                           "Invalid VDDAL2 voltage",        "Invalid VDDAL2 voltage limit",
                                           "Invalid VDDAL2 current limit",  "Invalid VDDH2 voltage",
                                           "Invalid VDDH2 voltage limit",   "Invalid VDDH2 current limit",
                                           "Invalid VDDL2 voltage",         "Invalid VDDL2 voltage limit",
                                           "Invalid VDDL2 current limit",   "Invalid VDDIO2 voltage",
                                           "Invalid VDDIO2 voltage limit",  "Invalid VDDIO2 current limit",
                                           "Invalid VSSIO2 voltage",        "Invalid VSSIO2 voltage limit",
                                           "Invalid VddAux2 voltage"}
                            << limits;
}

void TestPowerConvert::limits_andTheirMessages()
{
    QFETCH(int, asic);
    QFETCH(QStringList, messages);
    QFETCH(QVector<qint64>, limits);
    const QVector<Power::Field> fields = Power::AsicFields(asic);
    QCOMPARE(fields.size(), Power::FieldsPerAsic);
    for (int i = 0; i < fields.size(); ++i) {
        QCOMPARE(fields.at(i).rejection, messages.at(i));
        QCOMPARE(Power::Limit(fields.at(i).kind), limits.at(i));
        // the largest accepted entry still has a 12-bit code
        QVERIFY(Power::Code(fields.at(i).kind, limits.at(i)) <= 4095);
    }
}

void TestPowerConvert::telemetryItems_namesAndCodes()
{
    const QVector<TelemetryItem> &items = TelemetryItems();
    QCOMPARE(items.size(), 50);
    QSet<QString> names;
    QSet<quint16> codes;
    int supplies = 0;
    for (const TelemetryItem &item : items) {
        QVERIFY(item.button.startsWith(QLatin1String("M_")));
        QVERIFY(item.voltageField.startsWith(QLatin1String("V_")));
        names << item.button << item.voltageField;
        if (!item.currentField.isEmpty()) {
            ++supplies;
            names << item.currentField;
            QVERIFY(item.code <= 0x041F);
        } else {
            QVERIFY(item.code >= 0x0420);
        }
        codes << item.code;
    }
    QCOMPARE(supplies, 29);
    QCOMPARE(names.size(), 50 + 50 + 29);
    QCOMPARE(codes.size(), 50);
    // the irregular names
    QCOMPARE(TelemetryItemOfButton("M_AGND_Dirty")->voltageField, QStringLiteral("V_AGND_DIRTY"));
    QCOMPARE(TelemetryItemOfButton("M_VDDAL1ASIC")->voltageField, QStringLiteral("V_VDDAL1_ASIC"));
    QCOMPARE(TelemetryItemOfButton("M_VDDL2ASIC")->voltageField, QStringLiteral("V_VDDL2_ASIC"));
    QCOMPARE(TelemetryItemOfButton("M_VREF1_ASIC")->voltageField, QStringLiteral("V_VRef1_ASIC"));
    QCOMPARE(TelemetryItemOfButton("M_VREF2_ASIC")->voltageField, QStringLiteral("V_VREF2_ASIC"));
    QCOMPARE(TelemetryItemOfButton("M_FPGA")->code, quint16(0x0418));
    QCOMPARE(TelemetryItemOfButton("M_VDDAux2")->code, quint16(0x040F));
    QCOMPARE(TelemetryItemOfButton("M_Sen_GND2")->code, quint16(0x042F));
    QCOMPARE(TelemetryItemOfButton("M_VREF2_ASIC")->code, quint16(0x0431));
    QCOMPARE(TelemetryItemOfCode(0x0433)->button, QStringLiteral("M_AGND_Dirty"));
    QVERIFY(!TelemetryItemOfButton("M_NONE"));
    QVERIFY(!TelemetryItemOfCode(0x0414));
}

void TestPowerConvert::completeSet_79CodesInOrder()
{
    const QVector<quint16> codes = CompleteSetCodes();
    QCOMPARE(codes.size(), 79);
    QCOMPARE(codes.first(), quint16(0x0400));
    QCOMPARE(codes.at(19), quint16(0x0413));
    QCOMPARE(codes.at(20), quint16(0x0417));
    QCOMPARE(codes.at(49), quint16(0x0434));
    QCOMPARE(codes.at(50), quint16(0x0440));
    QCOMPARE(codes.at(69), quint16(0x0453));
    QCOMPARE(codes.at(70), quint16(0x0457));
    QCOMPARE(codes.last(), quint16(0x045F));
    // every code belongs to an item of the tab: its voltage or its current
    for (quint16 code : codes) {
        const TelemetryItem *item = TelemetryItemOfCode(code >= 0x0440 ? quint16(code - 0x40) : code);
        QVERIFY(item);
        if (code >= 0x0440)
            QVERIFY(!item->currentField.isEmpty());
    }
}

void TestPowerConvert::displayFormats_data()
{
    QTest::addColumn<bool>("current");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("voltage") << false << 3.29871f << 3 << "3.299";
    QTest::newRow("voltage zero") << false << 0.0f << 3 << "0.000";
    QTest::newRow("VSSIO2 with 4") << false << 1.23456f << 4 << "1.2346";
    QTest::newRow("current cut to 5") << true << 12.3456f << 0 << "12.34";
    QTest::newRow("negative current cut to 6") << true << -12.3456f << 0 << "-12.34";
    QTest::newRow("current zero") << true << 0.0f << 0 << "0";
    QTest::newRow("large current") << true << 480.123f << 0 << "480.1";
    QTest::newRow("small current") << true << 0.0023841858f << 0 << "0.002";
    QTest::newRow("whole number") << true << 20.0f << 0 << "20";
}

void TestPowerConvert::displayFormats()
{
    QFETCH(bool, current);
    QFETCH(float, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(current ? TelemetryCurrentText(value) : TelemetryVoltageText(value, decimals), text);
}

QTEST_APPLESS_MAIN(TestPowerConvert)
#include "tst_powerconvert.moc"
