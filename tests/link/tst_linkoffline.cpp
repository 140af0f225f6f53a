// Card-link behaviour that needs no card: no link chosen, link choice, and
// the argument checks that must refuse before anything is sent.
#include "pelrainterface.h"

#include <QtTest>

#include <cstring>

namespace {

const QString NoWrite = QStringLiteral("Cannot write to PELRA, no available interface.");

PELRA_Card Card(quint16 id, bool gige, bool uart, bool usb)
{
    PELRA_Card card;
    card.cardId = id;
    card.hasGigE = gige;
    card.hasUART = uart;
    card.hasUSB = usb;
    card.ipAddress[0] = 127;
    card.ipAddress[1] = 1;
    card.ipAddress[2] = 1;
    card.ipAddress[3] = static_cast<quint8>(id & 0xFF);
    card.serialPortName = QStringLiteral("ttyCARD%1").arg(id);
    std::strcpy(card.usbSerialNumber, "USB0001");
    return card;
}

}  // namespace

class TestLinkOffline : public QObject
{
    Q_OBJECT

private slots:
    void noLinkChosen_writeAndReadFailWithTheirTexts();
    void setCurrentInterfaceType_walksPastCardsLackingTheLink();
    void setCurrentInterfaceType_missingLinkFailsAndKeepsState();
    void setAsicType_mapsFamilyToIdentification_data();
    void setAsicType_mapsFamilyToIdentification();
    void blockArguments_refusedBeforeSending_data();
    void blockArguments_refusedBeforeSending();
    void vectorBlocks_checkTheirLength();
    void housekeeping_reportsTheInnerFailure();
    void baseModeAsicProbe_readsNothing();
    void serialPortInfo_emptyForUnknownIndex();
};

void TestLinkOffline::noLinkChosen_writeAndReadFailWithTheirTexts()
{
    PelraInterface link;
    QVERIFY(!link.WritePort(QByteArray::fromHex("8801fffb")));
    QCOMPARE(link.ErrorString(), NoWrite);
    QByteArray reply("stale");
    QVERIFY(!link.ReadPort(5, reply));
    QVERIFY(reply.isEmpty());
    QCOMPARE(link.ErrorString(), QStringLiteral("ReadPELRAReg failed: cannot read from PELRA, no available interface."));
    quint32 value = 99;
    QVERIFY(!link.ReadPELRAReg(0x0010, value, 1));
    QCOMPARE(value, 0u);
    QCOMPARE(link.ErrorString(), NoWrite);
}

void TestLinkOffline::setCurrentInterfaceType_walksPastCardsLackingTheLink()
{
    PelraInterface link;
    link.SetKnownCards({Card(0x0412, true, false, false), Card(0x0412, false, false, true), Card(0x0007, true, true, true)});
    const int result = link.SetCurrentInterfaceType(0x0412, InterfaceUSB);
    QCOMPARE(result, (0x0412 << 16) + 1);
    quint16 id = 0;
    QCOMPARE(link.GetCurrentInterfaceType(&id), InterfaceUSB);
    QCOMPARE(id, quint16(0x0412));
    QCOMPARE(link.UsbSerialNumber(), QByteArray("USB0001"));
    QCOMPARE(link.IdleState(), qint16(0));

    QCOMPARE(link.SetCurrentInterfaceType(0x0007, InterfaceUART), (0x0007 << 16) + 3);
    QCOMPARE(link.SerialPortName(), QStringLiteral("ttyCARD7"));
    QCOMPARE(link.SetCurrentInterfaceType(0x0007, InterfaceGigE), (0x0007 << 16) + 2);
    QCOMPARE(link.HostAddress().toString(), QStringLiteral("127.1.1.7"));
}

void TestLinkOffline::setCurrentInterfaceType_missingLinkFailsAndKeepsState()
{
    PelraInterface link;
    link.SetKnownCards({Card(0x0412, true, false, false)});
    QVERIFY(link.SetCurrentInterfaceType(0x0412, InterfaceGigE) != 0);
    QCOMPARE(link.SetCurrentInterfaceType(0x0412, InterfaceUSB), 0);
    QCOMPARE(link.ErrorString(),
             QStringLiteral("This interface is not available in the existing list. Check Interface!"));
    QCOMPARE(link.GetCurrentInterfaceType(nullptr), InterfaceGigE);
    QCOMPARE(link.SetCurrentInterfaceType(0x0999, InterfaceGigE), 0);
    quint16 id = 0;
    QCOMPARE(link.GetCurrentInterfaceType(&id), InterfaceGigE);
    QCOMPARE(id, quint16(0x0412));
}

void TestLinkOffline::setAsicType_mapsFamilyToIdentification_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("id");
    QTest::newRow("unknown") << 0 << 0;
    QTest::newRow("basemode") << 1 << 0xBCDE;
    QTest::newRow("tambril") << 2 << 0x5A7E;
    QTest::newRow("ostera") << 3 << 0x3D6C;
    QTest::newRow("out of range") << 7 << 0;
}

void TestLinkOffline::setAsicType_mapsFamilyToIdentification()
{
    QFETCH(int, type);
    QFETCH(int, id);
    PelraInterface link;
    // Start from another family so that every row shows a change.
    link.SetAsicType(type == AsicOstera ? AsicTambril : AsicOstera);
    link.SetAsicType(static_cast<PELRA_ASICType>(type));
    QCOMPARE(int(link.AsicTypeId()), id);
}

void TestLinkOffline::blockArguments_refusedBeforeSending_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("select");
    QTest::addColumn<QString>("error");
    QTest::newRow("card write 0") << "cw" << 0 << 1 << "WritePELRABlock failed: blocks = 0";
    QTest::newRow("card read -1") << "cr" << -1 << 1 << "ReadPELRABlock failed: blocks= -1";
    QTest::newRow("card read select 0") << "cr" << 3 << 0 << "ReadPELRABlock failed: invalid pelraId 0";
    QTest::newRow("asic write 0") << "aw" << 0 << 1 << "WriteASICBlock failed: n=0";
    QTest::newRow("asic read 0") << "ar" << 0 << 1 << "ReadASICBlock failed: blocks= 0";
    // The count field holds n - 1 in 16 bits: 65537 registers cannot be encoded.
    QTest::newRow("card write too long") << "cw" << 65537 << 1
                                         << "WritePELRABlock failed: blocks = 65537 exceeds the limit of 65536 registers";
    QTest::newRow("card read too long") << "cr" << 65537 << 1
                                        << "ReadPELRABlock failed: blocks = 65537 exceeds the limit of 65536 registers";
    QTest::newRow("asic write too long") << "aw" << 70000 << 1
                                         << "WriteASICBlock failed: blocks = 70000 exceeds the limit of 65536 registers";
    QTest::newRow("asic read too long") << "ar" << 65537 << 1
                                        << "ReadASICBlock failed: blocks = 65537 exceeds the limit of 65536 registers";
    QTest::newRow("card write 65536 is sent") << "cw" << 65536 << 1 << NoWrite;
}

void TestLinkOffline::blockArguments_refusedBeforeSending()
{
    QFETCH(QString, operation);
    QFETCH(int, count);
    QFETCH(int, select);
    QFETCH(QString, error);
    PelraInterface link;
    QVector<quint32> values(qMax(count, 1), 0xABCD);
    bool ok = true;
    if (operation == QLatin1String("cw"))
        ok = link.WritePELRABlock(0x0100, count, values.data(), static_cast<quint8>(select));
    else if (operation == QLatin1String("cr"))
        ok = link.ReadPELRABlock(0x0100, count, values.data(), static_cast<quint8>(select));
    else if (operation == QLatin1String("aw"))
        ok = link.WriteASICBlock(0x0100, count, values.data(), static_cast<quint16>(select), false);
    else
        ok = link.ReadASICBlock(0x0100, count, values.data(), static_cast<quint16>(select), false, false);
    QVERIFY(!ok);
    // Without a link any packet sent would leave the no-interface text instead.
    QCOMPARE(link.ErrorString(), error);
    QCOMPARE(values.first(), 0xABCDu);
}

void TestLinkOffline::vectorBlocks_checkTheirLength()
{
    PelraInterface link;
    const QVector<quint32> two{1, 2};
    QVERIFY(!link.WritePELRABlock(0x0100, 3, two, 1));
    QCOMPARE(link.ErrorString(), QStringLiteral("WritePELRABlock failed: blocks = 3 but only 2 values given"));
    QVERIFY(!link.WriteASICBlock(0x0100, 3, two, 1, false));
    QCOMPARE(link.ErrorString(), QStringLiteral("WriteASICBlock failed: blocks = 3 but only 2 values given"));
    QVERIFY(!link.WritePELRABlock(0x0100, 2, two, 1));
    QCOMPARE(link.ErrorString(), NoWrite);

    QVector<quint32> read;
    QVERIFY(!link.ReadPELRABlock(0x0100, 4, read, 1));
    QCOMPARE(read.size(), 4);
    QVERIFY(!link.ReadASICBlock(0x0100, 5, read, 1, false, false));
    QCOMPARE(read.size(), 5);
}

void TestLinkOffline::housekeeping_reportsTheInnerFailure()
{
    PelraInterface link;
    link.SetAsicType(AsicTambril);
    QCOMPARE(link.GetAsicType(1), AsicUnknown);
    QCOMPARE(link.AsicTypeId(), quint16(0));
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading PELRA register (0xFFFB) for ASIC type failed. ") + NoWrite);

    QVERIFY(!link.ResetErrCounters(1));
    QCOMPARE(link.ErrorString(), QStringLiteral("Reset error counters failed. ") + NoWrite);

    QVERIFY(!link.ResetASICs(true, 1));
    QCOMPARE(link.ErrorString(), QStringLiteral("Reset ASIC by reading PELRA h0210 failed"));

    float mhz = 5;
    QVERIFY(!link.GetPelraClock(mhz, 1));
    QCOMPARE(mhz, 0.0f);
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading PELRA clock rate register h0010 failed"));

    QVERIFY(!link.SetCamlinkParamters(0x2A, 1));
    QCOMPARE(link.ErrorString(), QStringLiteral("Config CL phase shift 0x002a failed"));

    QVector<quint32> counters;
    QVERIFY(!link.GetPelraFIFOErrCounter(counters, 1));
    QCOMPARE(counters.size(), 33);
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading PELRA h02b-h02f failed"));

    QStringList names{QStringLiteral("old")};
    QVERIFY(!link.GetPELRAFirmwareNames(names, 1));
    QVERIFY(names.isEmpty());
    QCOMPARE(link.ErrorString(), QStringLiteral("Checking firmware name failed. Cannot configure EEPROM SPI "
                                                "controller.Close SPI also failed"));

    QCOMPARE(link.LoadPELRAFirmware(true, 1), quint16(0));
    QCOMPARE(link.ErrorString(), QStringLiteral("LoadPELRAFirmware failed: ") + NoWrite);
}

void TestLinkOffline::baseModeAsicProbe_readsNothing()
{
    PelraInterface link;
    link.SetAsicType(AsicBaseMode);
    QCOMPARE(link.GetAvailableASICs(), quint8(0));
    QCOMPARE(link.ErrorString(), QStringLiteral("GetAvailableASICs failed. Unexpected ASIC type=0xbcde"));
}

void TestLinkOffline::serialPortInfo_emptyForUnknownIndex()
{
    PelraInterface link;
    QVERIFY(link.PELRASerialPortInfo(0).isEmpty());
    link.SetKnownCards({Card(1, false, true, false)});
    QVERIFY(link.PELRASerialPortInfo(1).isEmpty());
    QVERIFY(link.PELRASerialPortInfo(-1).isEmpty());
    QVERIFY(link.PELRASerialPortInfo(0).startsWith(QStringLiteral("Serial Port connected to ttyCARD1 : ")));
}

QTEST_MAIN(TestLinkOffline)
#include "tst_linkoffline.moc"
