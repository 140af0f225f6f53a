// Card housekeeping, ASIC access, firmware slots and the position probes,
// run against simulated cards over the serial link. Every test gets freshly
// started cards, so none depends on what an earlier one left behind.
#include "simfixture.h"

#include <QElapsedTimer>

using pelrasim::Fault;
using pelrasim::Link;

namespace {

// Two cards behind one serial port: a TAMBRIL card with one ASIC at
// position 1 and an OSTERA card with one ASIC at position 3.
QString TwoPositionScenario()
{
    return QString::fromUtf8(R"([card1]
id=0x0101
position=1
firmware=tambril
asics=tambril
slot1_name="   Fw TAMBRIL é 1   "
slot1_type=tambril
slot2_name=Base firmware
slot2_type=basemode
reload_ms=150
uart=ttySOL0

[card2]
id=0x0103
position=3
firmware=ostera
asics=ostera
slot1_valid=false
slot2_name=none here
slot2_type=none
reload_ms=100
uart=ttySOL0
)");
}

}  // namespace

class TestCardOps : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void clock_codesRoundTrip_data();
    void clock_codesRoundTrip();
    void powerEnableWrite_waitsForSupplies();
    void resetASICs_pulsesTheFamilysBit_data();
    void resetASICs_pulsesTheFamilysBit();
    void errorCounters_readInOrderAndCleared();
    void asicAccess_widthFollowsFirmware();
    void asicSingleRead_rejectedCodeShownUnsigned();
    void firmwareNames_trimmedDecodedAndMarkersChecked();
    void cardProbe_skipsEmptyPositions();
    void asicProbe_stopsAtFirstSilentPosition();
    void firmwareReload_reportsTypeOrTimesOut();

private:
    SimFixture fx;
    PelraInterface link;
};

void TestCardOps::init()
{
    const QString error = fx.start(TwoPositionScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(fx.attach(link, 0x0101, InterfaceUART));
    link.SetAsicType(AsicTambril);
}

void TestCardOps::cleanup()
{
    fx.stop();
}

void TestCardOps::clock_codesRoundTrip_data()
{
    QTest::addColumn<float>("mhz");
    QTest::addColumn<int>("code");
    QTest::newRow("10 MHz") << 10.0f << 39;
    QTest::newRow("28 MHz") << 28.0f << 111;
    QTest::newRow("28.5 MHz") << 28.5f << 112;
    QTest::newRow("0.25 MHz") << 0.25f << 0;
    QTest::newRow("60 MHz") << 60.0f << 175;
}

void TestCardOps::clock_codesRoundTrip()
{
    QFETCH(float, mhz);
    QFETCH(int, code);
    QVERIFY(link.SetPelraClock(mhz, 0x01));
    QTRY_COMPARE_WITH_TIMEOUT(int(fx.sim->cardRegister(0x0101, 0x0010)), code, 1000);
    float back = 0;
    QVERIFY(link.GetPelraClock(back, 0x01));
    QCOMPARE(back, mhz);
    QVERIFY(link.SetCamlinkParamters(0x0123, 0x01));
    quint32 phase = 0;
    QVERIFY(link.GetCamlinkParamters(phase, 0x01));
    QCOMPARE(phase, 0x0123u);
}

void TestCardOps::powerEnableWrite_waitsForSupplies()
{
    QElapsedTimer timer;
    timer.start();
    QVERIFY(link.WritePELRAReg(0x0300, 1, 0x01));
    QVERIFY(timer.elapsed() >= 20);
}

void TestCardOps::resetASICs_pulsesTheFamilysBit_data()
{
    QTest::addColumn<int>("firmware");
    QTest::addColumn<bool>("highPulse");
    QTest::addColumn<QByteArray>("writes");
    QTest::newRow("tambril low pulse") << 0x5A7E << false << QByteArray("08010210000508010210000d");
    QTest::newRow("tambril high pulse") << 0x5A7E << true << QByteArray("08010210000d080102100005");
    QTest::newRow("ostera low pulse") << 0x3D6C << false << QByteArray("080102100004080102100005");
}

void TestCardOps::resetASICs_pulsesTheFamilysBit()
{
    QFETCH(int, firmware);
    QFETCH(bool, highPulse);
    QFETCH(QByteArray, writes);
    fx.sim->setCardRegister(0x0101, 0x0210, 0x0005);
    link.SetAsicType(firmware == 0x3D6C ? AsicOstera : AsicTambril);
    QVERIFY(link.ResetASICs(highPulse, 0x01));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->packetCount(0x0101, Link::UART), 3, 1000);
    const QList<QByteArray> packets = fx.sim->receivedPackets(0x0101, Link::UART);
    QCOMPARE(packets.at(1).toHex() + packets.at(2).toHex(), writes);
}

void TestCardOps::errorCounters_readInOrderAndCleared()
{
    const quint16 first[] = {0x002B, 0x0118, 0x0128, 0x0184};
    const int offsets[] = {0, 5, 13, 21};
    for (int b = 0; b < 4; ++b)
        fx.sim->setCardRegister(0x0101, first[b], static_cast<quint16>(100 + b));
    fx.sim->setCardRegister(0x0101, 0x018F, 42);
    QVector<quint32> counters;
    QVERIFY2(link.GetPelraFIFOErrCounter(counters, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(counters.size(), 33);
    for (int b = 0; b < 4; ++b)
        QCOMPARE(counters.at(offsets[b]), quint32(100 + b));
    QCOMPARE(counters.at(32), 42u);

    QVERIFY(link.ResetErrCounters(0x01));
    QVERIFY(link.GetPelraFIFOErrCounter(counters, 0x01));
    QCOMPARE(counters, QVector<quint32>(33, 0));

    fx.sim->setFault(0x0101, Link::UART, Fault::NoReply, 1);
    QVERIFY(!link.GetPelraFIFOErrCounter(counters, 0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading PELRA h02b-h02f failed"));
}

void TestCardOps::asicAccess_widthFollowsFirmware()
{
    QCOMPARE(link.GetAsicType(0x01), AsicTambril);
    QCOMPARE(link.AsicTypeId(), quint16(0x5A7E));
    QVERIFY(link.WriteASICReg(0x7000, 0xABCDEF, 0x01, false));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->asicRegister(0x0101, 0, 0x7000), 0xABCDEFu, 1000);
    quint32 value = 0;
    QVERIFY2(link.ReadASICReg(0x7000, value, 0x01, true, false), qPrintable(link.ErrorString()));
    QCOMPARE(value, 0xABCDEFu);

    const quint32 values[2] = {0x010203, 0x040506};
    QVERIFY(link.WriteASICBlock(0x7010, 2, values, 0x01, false));
    quint32 back[2] = {};
    QVERIFY2(link.ReadASICBlock(0x7010, 2, back, 0x01, true, false), qPrintable(link.ErrorString()));
    QCOMPARE(back[1], 0x040506u);
    QVERIFY(link.WriteASICReg(0x0020, 0x1234, 0x01, true));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->receivedPackets(0x0101, Link::UART).last().toHex(), QByteArray("200100201234"), 1000);
    const QList<QByteArray> packets = fx.sim->receivedPackets(0x0101, Link::UART);
    QCOMPARE(packets.at(1).toHex(), QByteArray("10017000abcdef"));
    QCOMPARE(packets.at(3).toHex(), QByteArray("50017010000101020304" "0506"));
    QCOMPARE(packets.last().toHex(), QByteArray("200100201234"));

    link.SetAsicType(AsicOstera);
    QVERIFY(link.WriteASICReg(0x7000, 0xABCDEF, 0x01, false));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->receivedPackets(0x0101, Link::UART).last().toHex(), QByteArray("00017000cdef"), 1000);
}

void TestCardOps::asicSingleRead_rejectedCodeShownUnsigned()
{
    fx.sim->setFault(0x0101, Link::UART, Fault::WrongCode, 1);
    quint32 value = 9;
    QVERIFY(!link.ReadASICReg(0x0020, value, 0x01, false, false));
    QCOMPARE(value, 0u);
    const QRegularExpression text(QStringLiteral("^ReadASICReg failed: unexpected readback code 0x[0-9a-f]{2} addr 0x0020$"));
    QVERIFY2(text.match(link.ErrorString()).hasMatch(), qPrintable(link.ErrorString()));
}

void TestCardOps::firmwareNames_trimmedDecodedAndMarkersChecked()
{
    QStringList names;
    QVERIFY2(link.GetPELRAFirmwareNames(names, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(names, QStringList({QString::fromUtf8("Fw TAMBRIL é 1"), QStringLiteral("Base firmware")}));
    // The EEPROM interface is left closed.
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(0x0101, 0x1000), quint16(0), 1000);
    QCOMPARE(fx.sim->cardRegister(0x0101, 0x1001), quint16(0));

    QVERIFY(link.GetPELRAFirmwareNames(names, 0x04));
    QCOMPARE(names, QStringList({QStringLiteral("no available firmware"), QStringLiteral("none here")}));

    // Writes are not answered, so only the block read of the name fails.
    fx.sim->setFault(0x0101, Link::UART, Fault::NoReply, -1);
    QVERIFY(!link.GetPELRAFirmwareNames(names, 0x01));
    QCOMPARE(names.size(), 0);
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading of slot 1 pelra firmware name failed") + QStringLiteral(
                                     "Reading SerialPort %1 timeout! expect 263 bytes, Received 0 bytes")
                                     .arg(link.SerialPortName()));
}

void TestCardOps::firmwareReload_reportsTypeOrTimesOut()
{
    link.SetFirmwareLoadTimeout(600);
    QCOMPARE(link.LoadPELRAFirmware(false, 0x01), quint16(0xBCDE));
    QCOMPARE(link.AsicTypeId(), quint16(0xBCDE));
    QCOMPARE(link.LoadPELRAFirmware(true, 0x01), quint16(0x5A7E));

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(link.LoadPELRAFirmware(false, 0x04), quint16(0));
    QVERIFY(timer.elapsed() >= 600);
    QCOMPARE(link.AsicTypeId(), quint16(0));
    QCOMPARE(link.ErrorString(), QStringLiteral("Verification of PELRA firmware load failed: readback of hFFFB=0"));
    link.SetFirmwareLoadTimeout(11000);
}

void TestCardOps::cardProbe_skipsEmptyPositions()
{
    QCOMPARE(link.GetAvailablePELRAs(), quint8(0x05));
    QCOMPARE(link.ErrorString(), QStringLiteral("GetAvailablePELRAs failed: PELRA8 h08 readback 0xbad unexpected"));
}

void TestCardOps::asicProbe_stopsAtFirstSilentPosition()
{
    // ASIC 1 is the TAMBRIL card's, ASIC 2 the OSTERA card's, and there is no ASIC 3:
    // its silent read ends the probe.
    QCOMPARE(link.GetAsicType(0x01), AsicTambril);
    QCOMPARE(link.GetAvailableASICs(), quint8(0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("GetAvailableASICs failed at reading TAMBRIL3 regs"));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(0x0103, 0x0127), quint16(0x0104), 1000);
    for (const QByteArray &packet : fx.sim->receivedPackets(0x0101, Link::UART))
        QVERIFY2(quint8(packet.at(1)) <= 0x04 || (packet.at(0) & 0x08), packet.toHex().constData());
    QCOMPARE(fx.sim->cardRegister(0x0101, 0x0117), quint16(0x0104));
}

QTEST_MAIN(TestCardOps)
#include "tst_cardops.moc"
