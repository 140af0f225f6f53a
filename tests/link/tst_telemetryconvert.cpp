// The telemetry converter's numbers: configuration word, selection words,
// item codes and the conversion of raw voltages and currents.
#include "telemetryconvert.h"

#include <QtTest>

using Telemetry::Operation;

class TestTelemetryConvert : public QObject
{
    Q_OBJECT

private slots:
    void configWord_placesIndexesAndKeepsBits_data();
    void configWord_placesIndexesAndKeepsBits();
    void configWord_splitsBack_data();
    void configWord_splitsBack();
    void configValid_rejectsIndexesOutOfRange_data();
    void configValid_rejectsIndexesOutOfRange();
    void voltage_rawScale_data();
    void voltage_rawScale();
    void current_floatingFormatWithSignBit_data();
    void current_floatingFormatWithSignBit();
    void divisors_singleAndSetTables_data();
    void divisors_singleAndSetTables();
    void sameRawWord_setReadsUsb_Gige_TenTimesLarger();
    void items_codesWithoutItemAreRefused();
    void selection_bitsPerWord_skipsAndRejects();
    void selection_everyItemHasItsBit();
};

void TestTelemetryConvert::configWord_placesIndexesAndKeepsBits_data()
{
    QTest::addColumn<quint32>("old");
    QTest::addColumn<int>("vRate");
    QTest::addColumn<int>("vAvg");
    QTest::addColumn<int>("iRate");
    QTest::addColumn<int>("iAvg");
    QTest::addColumn<int>("ground");
    QTest::addColumn<quint32>("word");
    // ground 4 is AUTO: bit 6 set and bits 4-5 clear, whatever they held
    QTest::newRow("auto clears 4-5") << 0x0030u << 0 << 0 << 0 << 0 << 4 << 0x0040u;
    QTest::newRow("GND clears auto") << 0x0040u << 0 << 0 << 0 << 0 << 0 << 0x0000u;
    QTest::newRow("DGND") << 0x0040u << 0 << 0 << 0 << 0 << 1 << 0x0010u;
    QTest::newRow("AGND_CLEAN") << 0u << 0 << 0 << 0 << 0 << 2 << 0x0020u;
    QTest::newRow("AGND_DIRTY") << 0x0070u << 0 << 0 << 0 << 0 << 3 << 0x0030u;
    QTest::newRow("rates and averaging") << 0u << 1 << 2 << 3 << 1 << 0 << 0x7900u;
    QTest::newRow("all three") << 0u << 3 << 3 << 3 << 3 << 4 << 0xFF40u;
    // bits 0-3 and 7 stay, 8-15 are replaced, 16-31 cleared
    QTest::newRow("keeps clock and spare bits") << 0xABCDFF8Fu << 0 << 0 << 0 << 0 << 2 << 0x00AFu;
}

void TestTelemetryConvert::configWord_placesIndexesAndKeepsBits()
{
    QFETCH(quint32, old);
    QFETCH(int, vRate);
    QFETCH(int, vAvg);
    QFETCH(int, iRate);
    QFETCH(int, iAvg);
    QFETCH(int, ground);
    QFETCH(quint32, word);
    const Telemetry::Config config{quint16(vRate), quint16(vAvg), quint16(iRate), quint16(iAvg), quint16(ground)};
    QCOMPARE(Telemetry::ConfigWord(old, config), word);
}

void TestTelemetryConvert::configWord_splitsBack_data()
{
    QTest::addColumn<quint32>("word");
    QTest::addColumn<QVector<int>>("fields");   // vRate, vAvg, iRate, iAvg, ground
    QTest::newRow("zero") << 0u << QVector<int>{0, 0, 0, 0, 0};
    QTest::newRow("auto wins over bits 4-5") << 0x0070u << QVector<int>{0, 0, 0, 0, 4};
    QTest::newRow("AGND_DIRTY") << 0x0031u << QVector<int>{0, 0, 0, 0, 3};
    QTest::newRow("every index") << 0x7920u << QVector<int>{1, 2, 3, 1, 2};
    QTest::newRow("high bits ignored") << 0xFFFF0000u << QVector<int>{0, 0, 0, 0, 0};
}

void TestTelemetryConvert::configWord_splitsBack()
{
    QFETCH(quint32, word);
    QFETCH(QVector<int>, fields);
    const Telemetry::Config c = Telemetry::SplitConfigWord(word);
    QCOMPARE((QVector<int>{c.voltageRate, c.voltageAveraging, c.currentRate, c.currentAveraging, c.groundReference}),
             fields);
}

void TestTelemetryConvert::configValid_rejectsIndexesOutOfRange_data()
{
    QTest::addColumn<QVector<int>>("fields");
    QTest::addColumn<bool>("valid");
    QTest::newRow("largest") << QVector<int>{3, 3, 3, 3, 4} << true;
    QTest::newRow("voltage rate 4") << QVector<int>{4, 0, 0, 0, 0} << false;
    QTest::newRow("voltage averaging 4") << QVector<int>{0, 4, 0, 0, 0} << false;
    QTest::newRow("current rate 4") << QVector<int>{0, 0, 4, 0, 0} << false;
    QTest::newRow("current averaging 4") << QVector<int>{0, 0, 0, 4, 0} << false;
    QTest::newRow("ground 5") << QVector<int>{0, 0, 0, 0, 5} << false;
}

void TestTelemetryConvert::configValid_rejectsIndexesOutOfRange()
{
    QFETCH(QVector<int>, fields);
    QFETCH(bool, valid);
    const Telemetry::Config config{quint16(fields[0]), quint16(fields[1]), quint16(fields[2]), quint16(fields[3]),
                                   quint16(fields[4])};
    QCOMPARE(Telemetry::ConfigValid(config), valid);
}

void TestTelemetryConvert::voltage_rawScale_data()
{
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<float>("volts");
    QTest::newRow("zero") << 0u << 0.0f;
    QTest::newRow("one step") << 1u << float(5.0 / 65536.0);
    QTest::newRow("half scale") << 0x8000u << 2.5f;
    QTest::newRow("full 16 bits") << 0xFFFFu << float(65535 * 5.0 / 65536.0);
    QTest::newRow("3.3 V") << 43254u << float(43254 * 5.0 / 65536.0);
    // the raw word is unsigned: no sign for voltages
    QTest::newRow("above 16 bits") << 0x10000u << 5.0f;
}

void TestTelemetryConvert::voltage_rawScale()
{
    QFETCH(quint32, raw);
    QFETCH(float, volts);
    QCOMPARE(Telemetry::RawToVolts(raw), volts);
    QCOMPARE(Telemetry::RawToValue(0x0400, raw, Operation::Single), volts);
    QCOMPARE(Telemetry::RawToValue(0x0434, raw, Operation::Set), volts);
}

void TestTelemetryConvert::current_floatingFormatWithSignBit_data()
{
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<double>("divisor");
    QTest::addColumn<double>("value");
    const double step = 625.0 / 262144.0;
    QTest::newRow("zero") << 0u << 1.0 << 0.0;
    QTest::newRow("one step") << 1u << 1.0 << step;
    QTest::newRow("largest positive mantissa") << 0x0FFFu << 1.0 << 4095 * step;
    // bit 12 set: the 13-bit mantissa is negative
    QTest::newRow("0x1000 is -4096") << 0x1000u << 1.0 << -4096 * step;
    QTest::newRow("0x1000 divided") << 0x1000u << 20.0 << -4096 * step / 20;
    QTest::newRow("0x1FFF is -1") << 0x1FFFu << 1.0 << -step;
    QTest::newRow("exponent 1") << 0x2001u << 1.0 << 2 * step;
    QTest::newRow("exponent 7") << 0xE123u << 2.0 << 0x123 * 128 * step / 2;
    QTest::newRow("negative with exponent 3") << 0x7FFEu << 0.05 << -2 * 8 * step / 0.05;
    QTest::newRow("100 mA at divisor 0.1") << 0x2000u + 2097u << 0.1 << 2097 * 2 * step / 0.1;
}

void TestTelemetryConvert::current_floatingFormatWithSignBit()
{
    QFETCH(quint32, raw);
    QFETCH(double, divisor);
    QFETCH(double, value);
    QCOMPARE(Telemetry::RawToCurrent(raw, divisor), float(value));
}

void TestTelemetryConvert::divisors_singleAndSetTables_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("single");
    QTest::addColumn<double>("set");
    QTest::newRow("VDDAH, VDDAL") << 0x0440 << 0x0443 << 1.0 << 1.0;
    QTest::newRow("VREF") << 0x0444 << 0x0445 << 20.0 << 20.0;
    QTest::newRow("VDDH, VDDL, VDDIO") << 0x0446 << 0x044B << 2.0 << 2.0;
    QTest::newRow("VSSIO") << 0x044C << 0x044D << 1.0 << 1.0;
    QTest::newRow("VDDAux") << 0x044E << 0x044F << 2.0 << 2.0;
    QTest::newRow("GNDA, GND") << 0x0450 << 0x0453 << 0.05 << 0.05;
    QTest::newRow("ASIC_5V") << 0x0457 << 0x0457 << 0.05 << 0.05;
    QTest::newRow("FPGA to VDD_1p8") << 0x0458 << 0x045B << 0.1 << 0.1;
    QTest::newRow("VDD_1p2") << 0x045C << 0x045C << 0.05 << 0.05;
    QTest::newRow("GIGE_3p3, USB_5V, USB_3p3") << 0x045D << 0x045F << 1.0 << 0.1;
}

void TestTelemetryConvert::divisors_singleAndSetTables()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(double, single);
    QFETCH(double, set);
    for (int code = first; code <= last; ++code) {
        QCOMPARE(Telemetry::CurrentDivisor(quint16(code), Operation::Single), single);
        QCOMPARE(Telemetry::CurrentDivisor(quint16(code), Operation::Set), set);
        QCOMPARE(Telemetry::RawToValue(quint16(code), 0x0400u, Operation::Single),
                 Telemetry::RawToCurrent(0x0400u, single));
    }
}

void TestTelemetryConvert::sameRawWord_setReadsUsb_Gige_TenTimesLarger()
{
    for (quint32 raw : {0x0001u, 0x2ABCu, 0x1000u}) {
        const float single = Telemetry::RawToValue(0x045D, raw, Operation::Single);
        const float set = Telemetry::RawToValue(0x045D, raw, Operation::Set);
        QCOMPARE(set, single * 10);
    }
    // everywhere else both operations agree
    QCOMPARE(Telemetry::RawToValue(0x045C, 0x2ABC, Operation::Set), Telemetry::RawToValue(0x045C, 0x2ABC, Operation::Single));
}

void TestTelemetryConvert::items_codesWithoutItemAreRefused()
{
    int items = 0, supplies = 0;
    for (int code = 0x0300; code <= 0x0500; ++code) {
        const bool hole = (code >= 0x0414 && code <= 0x0416) || (code >= 0x0435 && code <= 0x043F)
                          || (code >= 0x0454 && code <= 0x0456);
        const bool expected = code >= 0x0400 && code <= 0x045F && !hole;
        QVERIFY2(Telemetry::IsItem(quint16(code)) == expected, qPrintable(QString::number(code, 16)));
        items += expected;
        const bool supply = code >= 0x0400 && code <= 0x041F && !hole;
        QCOMPARE(Telemetry::IsSupply(quint16(code)), supply);
        supplies += supply;
    }
    // 50 voltage items and 29 supplies with a current: the complete set of 79
    QCOMPARE(items, 79);
    QCOMPARE(supplies, 29);
}

void TestTelemetryConvert::selection_bitsPerWord_skipsAndRejects()
{
    const quint16 codes[] = {0x0400, 0x040F, 0x0410, 0x0414, 0x0416, 0x041F, 0x0420, 0x042F,
                             0x0430, 0x0434, 0x0435, 0x043F, 0x0440, 0x044F, 0x0450, 0x045F, 0x04FF, 0x03FF};
    const Telemetry::Selection s = Telemetry::SelectCodes(codes, int(sizeof(codes) / sizeof(codes[0])));
    const quint32 expected[6] = {0x8001, 0x8001, 0x8001, 0x0011, 0x8001, 0x8001};
    for (int w = 0; w < 6; ++w)
        QCOMPARE(s.words[w], expected[w]);
    // 0x0414-0x0416 are left out without a word; the others are listed in order
    QCOMPARE(s.rejected, QStringLiteral("0x0435, 0x043f, 0x04ff, 0x03ff, "));
}

void TestTelemetryConvert::selection_everyItemHasItsBit()
{
    QVector<quint16> codes;
    for (int code = 0x0400; code <= 0x045F; ++code) {
        if (Telemetry::IsItem(quint16(code)))
            codes << quint16(code);
    }
    const Telemetry::Selection s = Telemetry::SelectCodes(codes.constData(), codes.size());
    const quint32 expected[6] = {0xFFFF, 0xFF8F, 0xFFFF, 0x001F, 0xFFFF, 0xFF8F};
    for (int w = 0; w < 6; ++w)
        QCOMPARE(s.words[w], expected[w]);
    QVERIFY(s.rejected.isEmpty());
}

QTEST_APPLESS_MAIN(TestTelemetryConvert)
#include "tst_telemetryconvert.moc"
