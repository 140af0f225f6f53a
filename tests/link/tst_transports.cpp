// The three transports against the simulator: packets on the wire, the
// transport failure texts, idle closing and USB channel configuration.
#include "simfixture.h"

#include "ftd3xx.h"

#include <QElapsedTimer>

using pelrasim::Fault;
using pelrasim::Link;

Q_DECLARE_METATYPE(PELRA_InterfaceType)

namespace {

Link SimLink(PELRA_InterfaceType kind)
{
    return kind == InterfaceUSB ? Link::USB : kind == InterfaceUART ? Link::UART : Link::GigE;
}

}  // namespace

class TestTransports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void registerAccess_sendsExactPacketsOnEveryLink_data();
    void registerAccess_sendsExactPacketsOnEveryLink();
    void lateReply_neverTakenForTheNextRequest_data();
    void lateReply_neverTakenForTheNextRequest();
    void usbShortRead_failsWithCountsAndDropsHandle();
    void usbDroppedDevice_isReopenedByTheNextWrite();
    void usbFailedWrite_dropsTheHandle();
    void uartPortThatCannotOpen_namesTheReason();
    void failedInterfaceSwitch_keepsTheOpenLink();
    void gigeShortReply_acceptedByTransportRejectedByCaller();
    void gigeWrongEcho_namesCodeAndAddress();
    void uartSilentCard_timesOutWithText();
    void idleLink_closedAfterTwoTicksAndReopenedOnDemand_data();
    void idleLink_closedAfterTwoTicksAndReopenedOnDemand();
    void configureUSBPipeMode_changesChipOnlyWhenNeeded();
    void serialPortInfo_showsDiscoverySettings();

private:
    SimFixture fx;
};

void TestTransports::initTestCase()
{
    const QString error = fx.start(OneCardScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestTransports::cleanup()
{
    fx.sim->clearFaults();
    fx.sim->clearTraffic();
}

void TestTransports::registerAccess_sendsExactPacketsOnEveryLink_data()
{
    QTest::addColumn<PELRA_InterfaceType>("kind");
    QTest::newRow("usb") << InterfaceUSB;
    QTest::newRow("uart") << InterfaceUART;
    QTest::newRow("gige") << InterfaceGigE;
}

void TestTransports::registerAccess_sendsExactPacketsOnEveryLink()
{
    QFETCH(PELRA_InterfaceType, kind);
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, kind));
    QVERIFY2(link.WritePELRAReg(0x0010, 39, 0x01), qPrintable(link.ErrorString()));
    // Writes are not answered: the card takes them in its own time.
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(0x0412, 0x0010), quint16(39), 1000);
    quint32 value = 0;
    QVERIFY2(link.ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(value, 0x0412u);
    const quint32 block[3] = {0x1111, 0x2222, 0x3333};
    QVERIFY(link.WritePELRABlock(0x0500, 3, block, 0x01));
    quint32 back[3] = {};
    QVERIFY2(link.ReadPELRABlock(0x0500, 3, back, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(back[2], 0x3333u);

    const QList<QByteArray> packets = fx.sim->receivedPackets(0x0412, SimLink(kind));
    QCOMPARE(packets.size(), 4);
    QCOMPARE(packets.at(0).toHex(), QByteArray("080100100027"));
    QCOMPARE(packets.at(1).toHex(), QByteArray("8801fffc"));
    QCOMPARE(packets.at(2).toHex(), QByteArray("48010500000211112222" "3333"));
    QCOMPARE(packets.at(3).toHex(), QByteArray("c80105000002"));
}

void TestTransports::lateReply_neverTakenForTheNextRequest_data()
{
    // Each delay outlasts that link's wait for a reply: 500 ms USB pipe
    // time-out, 20 ms for a short UART reply, 20 ms plus 1 s on GigE.
    QTest::addColumn<PELRA_InterfaceType>("kind");
    QTest::addColumn<int>("lateMs");
    QTest::newRow("USB") << InterfaceUSB << 700;
    QTest::newRow("UART") << InterfaceUART << 150;
    QTest::newRow("GigE") << InterfaceGigE << 1200;
}

void TestTransports::lateReply_neverTakenForTheNextRequest()
{
    QFETCH(PELRA_InterfaceType, kind);
    QFETCH(int, lateMs);
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, kind));
    fx.sim->setCardRegister(0x0412, 0x0500, 0x1111);
    fx.sim->setFault(0x0412, SimLink(kind), Fault::LateReply, 1, lateMs);
    quint32 value = 0;
    QVERIFY(!link.ReadPELRAReg(0x0500, value, 0x01));

    // The reply carrying 0x1111 arrives while the card's value changes.
    fx.sim->setCardRegister(0x0412, 0x0500, 0x2222);
    QTest::qWait(lateMs);
    QVERIFY2(link.ReadPELRAReg(0x0500, value, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(value, 0x2222u);
}

void TestTransports::usbShortRead_failsWithCountsAndDropsHandle()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceUSB));
    fx.sim->setFault(0x0412, Link::USB, Fault::ShortReply, 1);
    quint32 value = 7;
    QVERIFY(!link.ReadPELRAReg(0xFFFC, value, 0x01));
    QCOMPARE(value, 0u);
    QVERIFY2(link.ErrorString().startsWith(QStringLiteral("ReadPELRAReg failed: ftStatus=")), qPrintable(link.ErrorString()));
    QVERIFY2(link.ErrorString().endsWith(QStringLiteral(" Expect bytes=5 transfered=2")), qPrintable(link.ErrorString()));
    QVERIFY(!link.IsPortOpen());
    // The next access opens the device again.
    QVERIFY2(link.ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(value, 0x0412u);
}

void TestTransports::usbDroppedDevice_isReopenedByTheNextWrite()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceUSB));
    quint32 value = 0;
    QVERIFY(link.ReadPELRAReg(0xFFFB, value, 0x01));
    const int connections = fx.sim->connectionCount(0x0412, Link::USB);
    fx.sim->setFault(0x0412, Link::USB, Fault::DropConnection, 1);
    QVERIFY(!link.ReadPELRAReg(0xFFFB, value, 0x01));
    QVERIFY2(link.ReadPELRAReg(0xFFFB, value, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(value, 0x5A7Eu);
    QCOMPARE(fx.sim->connectionCount(0x0412, Link::USB), connections + 1);
}

void TestTransports::usbFailedWrite_dropsTheHandle()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceUSB));
    fx.sim->setFault(0x0412, Link::USB, Fault::RefuseWrites, 1);
    quint32 value = 0;
    QVERIFY2(link.ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link.ErrorString()));
    QVERIFY(link.IsPortOpen());
    QVERIFY(!link.WritePELRAReg(0x0500, 0x1234, 0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("Failed to write to USB port!"));
    QVERIFY(!link.IsPortOpen());
    // A fresh handle carries the next command.
    QVERIFY2(link.WritePELRAReg(0x0500, 0x1234, 0x01), qPrintable(link.ErrorString()));
    QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cardRegister(0x0412, 0x0500), quint16(0x1234), 1000);
}

void TestTransports::uartPortThatCannotOpen_namesTheReason()
{
    PelraInterface link;
    PELRA_Card card;
    card.cardId = 0x0412;
    card.hasUART = true;
    card.serialPortName = QStringLiteral("/nonexistent/ttySOL9");
    link.SetKnownCards({card});
    QVERIFY(link.SetCurrentInterfaceType(0x0412, InterfaceUART) != 0);
    quint32 value = 0;
    QVERIFY(!link.ReadPELRAReg(0xFFFC, value, 0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("OpenUARTPort failed: No such file or directory"));
    QVERIFY(!link.IsPortOpen());
}

void TestTransports::failedInterfaceSwitch_keepsTheOpenLink()
{
    PelraInterface link;
    PELRA_Card card = fx.cardOn(0x0412, InterfaceGigE);
    link.SetKnownCards({card});
    QVERIFY(link.SetCurrentInterfaceType(0x0412, InterfaceGigE) != 0);
    quint32 value = 0;
    QVERIFY(link.ReadPELRAReg(0xFFFC, value, 0x01));
    const int connections = fx.sim->connectionCount(0x0412, Link::GigE);
    QCOMPARE(link.SetCurrentInterfaceType(0x0412, InterfaceUSB), 0);
    QVERIFY(link.IsPortOpen());
    QVERIFY(link.ReadPELRAReg(0xFFFC, value, 0x01));
    QCOMPARE(fx.sim->connectionCount(0x0412, Link::GigE), connections);
}

void TestTransports::gigeShortReply_acceptedByTransportRejectedByCaller()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceGigE));
    fx.sim->setFault(0x0412, Link::GigE, Fault::ShortReply, 1);
    QVERIFY(link.WritePort(QByteArray::fromHex("8801fffc")));
    QByteArray reply;
    QVERIFY(link.ReadPort(5, reply));
    QVERIFY(reply.size() < 5);

    fx.sim->setFault(0x0412, Link::GigE, Fault::ShortReply, 1);
    quint32 value = 0;
    QVERIFY(!link.ReadPELRAReg(0xFFFC, value, 0x01));
    QCOMPARE(link.ErrorString(),
             QStringLiteral("ReadPELRAReg failed: Did not receive the expected 5 bytes of data from serial port"));

    // A block reply with a good header but missing values yields zeros.
    fx.sim->setCardRegister(0x0412, 0x0600, 0xAAAA);
    fx.sim->setCardRegister(0x0412, 0x0607, 0xBBBB);
    fx.sim->setFault(0x0412, Link::GigE, Fault::ShortReply, 1);
    quint32 values[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    QVERIFY2(link.ReadPELRABlock(0x0600, 8, values, 0x01), qPrintable(link.ErrorString()));
    QCOMPARE(values[0], 0xAAAAu);
    QCOMPARE(values[7], 0u);
}

void TestTransports::gigeWrongEcho_namesCodeAndAddress()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceGigE));
    fx.sim->setFault(0x0412, Link::GigE, Fault::WrongEcho, 1);
    quint32 value = 0;
    QVERIFY(!link.ReadPELRAReg(0x0010, value, 0x01));
    // The text names the address the card echoed (0x10 with its low byte inverted).
    QCOMPARE(link.ErrorString(), QStringLiteral("ReadPELRARegister failed: unexpected code 0x40 addr 0x00ef"));

    fx.sim->setFault(0x0412, Link::GigE, Fault::WrongCode, 1);
    quint32 block[2] = {5, 5};
    QVERIFY(!link.ReadPELRABlock(0x0010, 2, block, 0x01));
    QCOMPARE(link.ErrorString(), QStringLiteral("ReadPELRABlock failed: readback code 0x40addr 0x0010 len 0x0001"));
    QCOMPARE(block[0], 5u);
}

void TestTransports::uartSilentCard_timesOutWithText()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceUART));
    fx.sim->setFault(0x0412, Link::UART, Fault::NoReply, 1);
    quint32 value = 0;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!link.ReadPELRAReg(0xFFFC, value, 0x01));
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(link.ErrorString(), QStringLiteral("Reading SerialPort %1 timeout! expect 5 bytes, Received 0 bytes")
                                     .arg(link.SerialPortName()));
    // A failed UART transfer leaves the port open.
    QVERIFY(link.IsPortOpen());
}

void TestTransports::idleLink_closedAfterTwoTicksAndReopenedOnDemand_data()
{
    registerAccess_sendsExactPacketsOnEveryLink_data();
}

void TestTransports::idleLink_closedAfterTwoTicksAndReopenedOnDemand()
{
    QFETCH(PELRA_InterfaceType, kind);
    QObject owner;
    auto *link = new PelraInterface(&owner);   // a parent starts the idle timer
    QVERIFY(link->IdleTimerRunning());
    link->SetIdleTimerPeriod(40);
    QVERIFY(fx.attach(*link, 0x0412, kind));
    quint32 value = 0;
    QVERIFY(link->ReadPELRAReg(0xFFFC, value, 0x01));
    QVERIFY(link->IsPortOpen());
    QTRY_VERIFY_WITH_TIMEOUT(!link->IsPortOpen(), 2000);
    QVERIFY2(link->ReadPELRAReg(0xFFFC, value, 0x01), qPrintable(link->ErrorString()));
    QCOMPARE(value, 0x0412u);
}

void TestTransports::configureUSBPipeMode_changesChipOnlyWhenNeeded()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceUSB));
    quint32 value = 0;
    QVERIFY(link.ReadPELRAReg(0xFFFB, value, 0x01));

    int before = fx.sim->connectionCount(0x0412, Link::USB);
    QVERIFY2(link.ConfigureUSBPipeMode(true), qPrintable(link.ErrorString()));
    QCOMPARE(link.SciencePipe(), quint16(0x83));
    // Reopened once to start clean and once more for the new channel setting.
    QCOMPARE(fx.sim->connectionCount(0x0412, Link::USB), before + 2);
    FT_CHIP_CONFIGURATION config;
    // Ask the bridge itself, through a handle of our own.
    FT_HANDLE own = nullptr;
    QByteArray serial = fx.sim->usbSerialNumber(0x0412).toLatin1();
    QCOMPARE(FT_Create(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &own), FT_STATUS(FT_OK));
    QCOMPARE(FT_GetChipConfiguration(own, &config), FT_STATUS(FT_OK));
    FT_Close(own);
    QCOMPARE(config.ChannelConfig, quint8(FT_CHANNELS_TWO));

    before = fx.sim->connectionCount(0x0412, Link::USB);
    QVERIFY(link.ConfigureUSBPipeMode(true));
    QCOMPARE(fx.sim->connectionCount(0x0412, Link::USB), before + 1);

    QVERIFY(link.ConfigureUSBPipeMode(false));
    QCOMPARE(link.SciencePipe(), quint16(0x82));
    QVERIFY2(link.ReadPELRAReg(0xFFFB, value, 0x01), qPrintable(link.ErrorString()));
}

void TestTransports::serialPortInfo_showsDiscoverySettings()
{
    PelraInterface link;
    QVERIFY(fx.attach(link, 0x0412, InterfaceUART));
    QCOMPARE(link.PELRASerialPortInfo(0), QStringLiteral("Serial Port connected to %1 : 115200, 8, 2, 1, 0")
                                              .arg(fx.sim->uartPortName(0x0412)));
}

QTEST_MAIN(TestTransports)
#include "tst_transports.moc"
