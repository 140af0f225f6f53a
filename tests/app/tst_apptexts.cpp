// Log line form, selected-card names and the texts shown for discovered cards.
#include "cardtexts.h"
#include "logline.h"

#include <QtTest>

#include <cstring>

namespace {

PELRA_Card Card(quint16 id, bool gige, bool uart, bool usb)
{
    PELRA_Card card;
    card.cardId = id;
    card.hasGigE = gige;
    card.hasUART = uart;
    card.hasUSB = usb;
    const quint8 address[4] = {127, 1, 1, 7};
    std::memcpy(card.ipAddress, address, 4);
    card.gigeSpeed = 1000;
    card.serialPortName = QStringLiteral("/dev/pts/7");
    std::strcpy(card.usbSerialNumber, "PELRA0412");
    card.usbSpeed = 0x30;
    return card;
}

}  // namespace

Q_DECLARE_METATYPE(PELRA_Card)

class TestAppTexts : public QObject
{
    Q_OBJECT

private slots:
    void logLine_hasTimeColonTwoBlanksAndOptionalGap_data()
    {
        QTest::addColumn<bool>("gap");
        QTest::addColumn<QString>("line");
        QTest::newRow("no gap") << false << QStringLiteral("2026-12-09T08:05:03:  Check PELRA");
        QTest::newRow("gap") << true << QStringLiteral("\n2026-12-09T08:05:03:  Check PELRA");
    }

    void logLine_hasTimeColonTwoBlanksAndOptionalGap()
    {
        QFETCH(bool, gap);
        QFETCH(QString, line);
        const QDateTime when(QDate(2026, 12, 9), QTime(8, 5, 3, 250));
        QCOMPARE(FormatLogLine(when, QStringLiteral("Check PELRA"), gap), line);
    }

    void pelraList_namesSelectedPositions_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("text");
        QTest::newRow("1 and 3") << 0x05 << QStringLiteral("PELRA 1 3");
        QTest::newRow("1") << 0x01 << QStringLiteral("PELRA 1");
        QTest::newRow("8") << 0x80 << QStringLiteral("PELRA 8");
        QTest::newRow("all") << 0xFF << QStringLiteral("PELRA 1 2 3 4 5 6 7 8");
        QTest::newRow("none") << 0x00 << QStringLiteral("PELRA");
    }

    void pelraList_namesSelectedPositions()
    {
        QFETCH(int, mask);
        QFETCH(QString, text);
        QCOMPARE(PelraListText(quint8(mask)), text);
    }

    void cardPrefix_isFiveZeroPaddedDigits()
    {
        QCOMPARE(CardLogPrefix(412), QStringLiteral("PELRA00412:"));
        QCOMPARE(CardLogPrefix(65534), QStringLiteral("PELRA65534:"));
    }

    void radioTexts_followTheCardsLinks_data()
    {
        QTest::addColumn<PELRA_Card>("card");
        QTest::addColumn<QString>("gige");
        QTest::addColumn<QString>("camLink");
        QTest::addColumn<QString>("usb");
        QTest::addColumn<int>("best");

        QTest::newRow("all links") << Card(412, true, true, true)
                                   << QStringLiteral("GigE (127.1.1.7,  1000 Mbit speed)")
                                   << QStringLiteral("Camera Link Serial Port (/dev/pts/7,  115.2 Kbaud)")
                                   << QStringLiteral("USB (PELRA0412,  USB 3.0 speed)") << int(InterfaceGigE);
        QTest::newRow("usb only") << Card(412, false, false, true)
                                  << QStringLiteral("GigE (---.---.-.---, Unknown speed)")
                                  << QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)")
                                  << QStringLiteral("USB (PELRA0412,  USB 3.0 speed)") << int(InterfaceUSB);
        QTest::newRow("uart only") << Card(412, false, true, false)
                                   << QStringLiteral("GigE (---.---.-.---, Unknown speed)")
                                   << QStringLiteral("Camera Link Serial Port (/dev/pts/7,  115.2 Kbaud)")
                                   << QStringLiteral("USB (Unknown----,  Unknown speed)") << int(InterfaceUART);
        PELRA_Card slow = Card(7, true, false, true);
        slow.gigeSpeed = 100;
        slow.usbSpeed = 0x20;
        QTest::newRow("100 Mbit, USB 2") << slow << QStringLiteral("GigE (127.1.1.7,  100 Mbit speed)")
                                         << QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)")
                                         << QStringLiteral("USB (PELRA0412,  USB 2.0 speed)") << int(InterfaceGigE);
        PELRA_Card slower = slow;
        slower.gigeSpeed = 10;
        slower.usbSpeed = 0x11;
        QTest::newRow("10 Mbit, USB 1.1") << slower << QStringLiteral("GigE (127.1.1.7,  10 Mbit speed)")
                                          << QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)")
                                          << QStringLiteral("USB (PELRA0412,  USB 1.1 speed)") << int(InterfaceGigE);
        PELRA_Card unknown = slow;
        unknown.gigeSpeed = 0;
        unknown.usbSpeed = 0;
        QTest::newRow("unknown speeds") << unknown << QStringLiteral("GigE (127.1.1.7,  Unknown speed)")
                                        << QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)")
                                        << QStringLiteral("USB (PELRA0412,  Unknown speed)") << int(InterfaceGigE);
    }

    void radioTexts_followTheCardsLinks()
    {
        QFETCH(PELRA_Card, card);
        QFETCH(QString, gige);
        QFETCH(QString, camLink);
        QFETCH(QString, usb);
        QFETCH(int, best);
        QCOMPARE(GigeRadioText(card), gige);
        QCOMPARE(CamLinkRadioText(card), camLink);
        QCOMPARE(UsbRadioText(card), usb);
        QCOMPARE(int(BestInterface(card)), best);
    }

    void groupTitle_namesTheCard()
    {
        QCOMPARE(InterfaceGroupTitle(412), QStringLiteral("PELRA Communication Interfaces (PELRA Serial Number 00412):"));
    }

    void listRow_showsIdAndEachLinkOrNo()
    {
        QCOMPARE(InterfaceListRow(Card(412, true, true, true)),
                 QStringList({QStringLiteral("00412"), QStringLiteral("127.1.1.7"), QStringLiteral("USB 3.0"),
                              QStringLiteral("/dev/pts/7, 115.2 Kbaud")}));
        PELRA_Card usbOnly = Card(9, false, false, true);
        usbOnly.usbSpeed = 0x42;
        QCOMPARE(InterfaceListRow(usbOnly),
                 QStringList({QStringLiteral("00009"), QStringLiteral("No"), QStringLiteral("Unknown"), QStringLiteral("No")}));
        QCOMPARE(InterfaceListRow(Card(9, true, false, false)).at(2), QStringLiteral("No"));
    }

    void availableLines_markAnsweringPositions()
    {
        const QDateTime when(QDate(2026, 12, 9), QTime(8, 5, 3));
        QCOMPARE(AvailablePelrasHtml(when, 0x05),
                 QStringLiteral("<font color=Black> 2026-12-09T08:05:03 </font>: Available PELRAs: "
                                "<font color=Darkgreen>  PELRA1  </font><font color=Darkgreen>  PELRA3  </font>"
                                "<font color=Black>   </font>"));
        QCOMPARE(AvailablePelrasHtml(when, 0),
                 QStringLiteral("<font color=Black> 2026-12-09T08:05:03 </font>: No available PELRAs. "
                                "<font color=Darkred> read 0x08, val=0x00 </font><font color=Black>   </font>"));
        QCOMPARE(AvailableAsicsHtml(when, 0x02, QString()),
                 QStringLiteral("<font color=Black> 2026-12-09T08:05:03 </font>: ASICs Available: "
                                "<font color=Darkgreen>  ASIC2  </font><font color=Black>   </font>"));
        QCOMPARE(AvailableAsicsHtml(when, 0, QStringLiteral("GetAvailableASICs failed. Unexpected ASIC type=0xbcde")),
                 QStringLiteral("<font color=Black> 2026-12-09T08:05:03 </font>: No available ASICs. "
                                "<font color=Darkred>  readback=0x00 GetAvailableASICs failed. Unexpected ASIC type=0xbcde </font>"
                                "<font color=Black>   </font>"));
    }

    void firmwareReloadMessage_byTypeCode_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("operational");
        QTest::newRow("tambril") << 0x5A7E
            << QStringLiteral("Loading PELRA firwmare for TAMBRIL operation on selected PELRAs PELRA 1 3 succeeded") << true;
        QTest::newRow("ostera") << 0x3D6C
            << QStringLiteral("Loading PELRA firwmare for OSTERA operation on selected PELRAs PELRA 1 3 succeeded") << true;
        QTest::newRow("base mode") << 0xBCDE
            << QStringLiteral("Loading PELRA firmware on selected PELRAs PELRA 1 3 failed. BaseMode detected") << false;
        QTest::newRow("none") << 0
            << QStringLiteral("Loading PELRA firmware on selected PELRAs PELRA 1 3 failed. No valid operation mode detected") << false;
    }

    void firmwareReloadMessage_byTypeCode()
    {
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(bool, operational);
        bool ok = !operational;
        QCOMPARE(FirmwareReloadMessage(quint16(code), QStringLiteral("PELRA 1 3"), &ok), message);
        QCOMPARE(ok, operational);
    }

};

QTEST_GUILESS_MAIN(TestAppTexts)
#include "tst_apptexts.moc"
