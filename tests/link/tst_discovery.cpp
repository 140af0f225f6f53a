// Interface discovery against simulated cards: the three phases, the merge
// of one card seen on several links, the list order and the final choice.
#include "simfixture.h"

namespace {

QString ManyLinksScenario()
{
    return QStringLiteral(R"([card_uartgige]
id=0x0201
position=2
firmware=tambril
asics=tambril
slot1_name=First
slot1_type=tambril
slot2_name=Second
slot2_type=ostera
uart=ttySOL0
gige=127.1.1.2
gige_speed=1000

[card_zerobyte]
id=0x0401
position=1
firmware=ostera
asics=ostera
gige=127.0.0.5
gige_speed=100

[card_usbonly]
id=0x0301
position=1
firmware=basemode
usb_serial=USB0301
usb_version=2

[card_noidentity]
id=0xFFFF
position=1
firmware=tambril
uart=ttySOL1
)");
}

QString Dotted(const quint8 *address)
{
    return QStringLiteral("%1.%2.%3.%4").arg(address[0]).arg(address[1]).arg(address[2]).arg(address[3]);
}

}  // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void noCards_emptyListNoLinkAndSuccess();
    void oneCardOnAllLinks_isOneRecordReachedOverGigE();
    void severalCards_mergedInPhaseOrderWithZeroByteModuleSkipped();
    void extraAddressOfADiscoveredModule_isRemoved();
};

void TestDiscovery::noCards_emptyListNoLinkAndSuccess()
{
    QTemporaryDir empty;
    qputenv("PELRA_SIM_DIR", empty.path().toLocal8Bit());
    PelraInterface link;
    QVector<quint8 *> extra;
    QVector<PELRA_Card> cards(1);
    QVERIFY2(link.CheckInterfaces(0, 0, extra, cards), qPrintable(link.ErrorString()));
    QVERIFY(cards.isEmpty());
    quint16 current = 7;
    QCOMPARE(link.GetCurrentInterfaceType(&current), InterfaceNone);
    QCOMPARE(current, quint16(0));
    QCOMPARE(link.SerialPortName(), QStringLiteral("none"));
    QCOMPARE(link.HostAddress().toString(), QStringLiteral("0.0.0.0"));
    QCOMPARE(link.TcpPort(), quint16(42306));
}

void TestDiscovery::oneCardOnAllLinks_isOneRecordReachedOverGigE()
{
    SimFixture fx;
    const QString error = fx.start(OneCardScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    PelraInterface link;
    QVector<quint8 *> extra;
    QVector<PELRA_Card> cards;
    QVERIFY2(link.CheckInterfaces(0, 200, extra, cards), qPrintable(link.ErrorString()));
    QCOMPARE(cards.size(), 1);
    const PELRA_Card &card = cards.first();
    QCOMPARE(card.cardId, quint16(0x0412));
    QVERIFY(card.hasUART && card.hasGigE && card.hasUSB);
    QCOMPARE(Dotted(card.ipAddress), QStringLiteral("127.1.1.1"));
    QCOMPARE(card.gigeSpeed, quint16(1000));
    QCOMPARE(card.serialPortName, fx.sim->uartPortName(0x0412));
    QCOMPARE(QString::fromLatin1(card.usbSerialNumber), QStringLiteral("PELRA0412"));
    QCOMPARE(card.usbSpeed, quint16(0x30));
    QVERIFY(card.usbHandle == nullptr);
    QCOMPARE(card.firmwareSlot2, QStringLiteral("PELRA OSTERA 2.0"));

    quint16 current = 0;
    QCOMPARE(link.GetCurrentInterfaceType(&current), InterfaceGigE);
    QCOMPARE(current, quint16(0x0412));
    QCOMPARE(link.HostAddress().toString(), QStringLiteral("127.1.1.1"));
    QVERIFY(!link.IsPortOpen());
    QCOMPARE(link.KnownCards().size(), 1);
    QCOMPARE(link.PELRASerialPortInfo(0), QStringLiteral("Serial Port connected to %1 : 115200, 8, 2, 1, 0")
                                              .arg(card.serialPortName));

    // The chosen link works straight away, and so do the others.
    quint32 value = 0;
    QVERIFY2(link.ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link.ErrorString()));
    QVERIFY(link.SetCurrentInterfaceType(0x0412, InterfaceUSB) != 0);
    QVERIFY2(link.ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link.ErrorString()));
    QVERIFY(link.SetCurrentInterfaceType(0x0412, InterfaceUART) != 0);
    QVERIFY2(link.ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(value, 0x0412u);
}

void TestDiscovery::severalCards_mergedInPhaseOrderWithZeroByteModuleSkipped()
{
    SimFixture fx;
    const QString error = fx.start(ManyLinksScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    PelraInterface link;
    quint8 zeroByte[4] = {127, 0, 0, 5};
    QVector<quint8 *> extra{zeroByte};
    QVector<PELRA_Card> cards;
    QVERIFY(!link.CheckInterfaces(0, 200, extra, cards));
    QCOMPARE(link.ErrorString(), QStringLiteral("Check GigE interface (TCP) failed: unexpect number of chars for "
                                                "PELRA IP address by ZestETM1CountCards"));
    // The module at an address with a zero byte is skipped, but the same
    // address given by the caller is probed directly.
    QCOMPARE(extra.size(), 1);

    QCOMPARE(cards.size(), 3);
    QCOMPARE(cards.at(0).cardId, quint16(0x0201));
    QVERIFY(cards.at(0).hasUART && cards.at(0).hasGigE && !cards.at(0).hasUSB);
    QCOMPARE(Dotted(cards.at(0).ipAddress), QStringLiteral("127.1.1.2"));
    QCOMPARE(cards.at(0).firmwareSlot1, QStringLiteral("First"));

    QCOMPARE(cards.at(1).cardId, quint16(0x0401));
    QVERIFY(cards.at(1).hasGigE && !cards.at(1).hasUART && !cards.at(1).hasUSB);
    QCOMPARE(Dotted(cards.at(1).ipAddress), QStringLiteral("127.0.0.5"));
    QCOMPARE(cards.at(1).gigeSpeed, quint16(100));

    QCOMPARE(cards.at(2).cardId, quint16(0x0301));
    QVERIFY(cards.at(2).hasUSB && !cards.at(2).hasGigE && !cards.at(2).hasUART);
    QCOMPARE(cards.at(2).usbSpeed, quint16(0x20));
    QCOMPARE(cards.at(2).serialPortName, QStringLiteral("none"));

    quint16 current = 0;
    QCOMPARE(link.GetCurrentInterfaceType(&current), InterfaceGigE);
    QCOMPARE(current, quint16(0x0201));

    // The USB-only card can be made current and answers over USB.
    QVERIFY(link.SetCurrentInterfaceType(0x0301, InterfaceUSB) != 0);
    quint32 type = 0;
    QVERIFY2(link.ReadPELRAReg(0xFFFB, type, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(type, 0xBCDEu);
}

void TestDiscovery::extraAddressOfADiscoveredModule_isRemoved()
{
    SimFixture fx;
    const QString error = fx.start(ManyLinksScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    PelraInterface link;
    quint8 discovered[4] = {127, 1, 1, 2};
    quint8 nobody[4] = {127, 1, 1, 99};
    QVector<quint8 *> extra{discovered, nobody};
    QVector<PELRA_Card> cards;
    link.CheckInterfaces(0, 200, extra, cards);
    QCOMPARE(extra, QVector<quint8 *>{nobody});
    QCOMPARE(cards.size(), 2);
    QVERIFY2(link.ErrorString().startsWith(QStringLiteral("Faild to open TCP port 127.1.1.99: ")),
             qPrintable(link.ErrorString()));
}

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
