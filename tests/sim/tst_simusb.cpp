// The USB bridge stand-in against a running simulator: device list, open by
// serial number, pipe traffic, time-outs, chip configuration, dropped
// connections and the science stream calls.
#include "simprotocol.h"
#include "simtestsupport.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace pelrasim;

namespace {

const char *const TwoBridges = R"(
[cardA]
id = 0x0412
firmware = tambril
asics = tambril, tambril
usb_serial = PELRA0412
usb_version = 3
[cardB]
id = 0x0533
firmware = ostera
asics = ostera
usb_serial = PELRA0533
usb_version = 2
usb_channels = 2
)";

}  // namespace

class TestSimUsb : public QObject
{
    Q_OBJECT

private slots:
    void deviceList_isEmptyWithoutSimulator();
    void deviceList_namesLiveBridgesAndSkipsStaleSockets();
    void open_unknownSerial_fails();
    void descriptor_reportsConfiguredUsbVersion();
    void registerRead_roundTrip();
    void read_timeout_returnsPartialCountAndNonZeroStatus();
    void faults_shapeTheNextReply_data();
    void faults_shapeTheNextReply();
    void channelSetting_changesOnlyAfterReopen();
    void dropConnection_makesNextCallFail();
    void stream_readsQueuedBytesOnChannelAndClears();
    void testPattern_arrivesOnSciencePipe();
};

void TestSimUsb::deviceList_isEmptyWithoutSimulator()
{
    QTemporaryDir dir;
    qputenv("PELRA_SIM_DIR", (dir.path() + QStringLiteral("/absent")).toUtf8());
    uint32_t count = 99;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, 0u);
}

void TestSimUsb::deviceList_namesLiveBridgesAndSkipsStaleSockets()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));

    // A socket file whose server is gone, as a crashed simulator leaves it.
    const QByteArray stale = (s.dir.path() + QStringLiteral("/usb/PELRA0999")).toUtf8();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, stale.constData(), sizeof(addr.sun_path));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    ::close(fd);

    uint32_t count = 0;
    QCOMPARE(FT_CreateDeviceInfoList(&count), FT_STATUS(FT_OK));
    QCOMPARE(count, 2u);
    FT_DEVICE_INFO list[2];
    QCOMPARE(FT_GetDeviceInfoList(list, &count), FT_STATUS(FT_OK));
    QCOMPARE(count, 2u);
    QCOMPARE(QByteArray(list[0].SerialNumber), QByteArray("PELRA0412"));
    QCOMPARE(QByteArray(list[1].SerialNumber), QByteArray("PELRA0533"));
    QVERIFY(list[0].ftHandle == nullptr);
    QVERIFY(qstrlen(list[0].Description) > 0);
}

void TestSimUsb::open_unknownSerial_fails()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    FT_HANDLE handle = nullptr;
    char serial[] = "PELRA0001";
    QVERIFY(FT_Create(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle) != FT_OK);
    QVERIFY(handle == nullptr);
}

void TestSimUsb::descriptor_reportsConfiguredUsbVersion()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort usb3, usb2;
    QVERIFY(usb3.open("PELRA0412"));
    QVERIFY(usb2.open("PELRA0533"));
    FT_DEVICE_DESCRIPTOR descriptor;
    QCOMPARE(FT_GetDeviceDescriptor(usb3.handle, &descriptor), FT_STATUS(FT_OK));
    QCOMPARE(int(reinterpret_cast<const uint8_t *>(&descriptor)[3]), 3);
    QCOMPARE(int(descriptor.bLength), 18);
    QCOMPARE(FT_GetDeviceDescriptor(usb2.handle, &descriptor), FT_STATUS(FT_OK));
    QCOMPARE(int(reinterpret_cast<const uint8_t *>(&descriptor)[3]), 2);
    uint16_t vid = 0, pid = 0;
    QCOMPARE(FT_GetVIDPID(usb3.handle, &vid, &pid), FT_STATUS(FT_OK));
}

void TestSimUsb::registerRead_roundTrip()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412"));
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFC), 5).toHex(), QByteArray("40fffc0412"));
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFB), 5).toHex(), QByteArray("40fffb5a7e"));
    QVERIFY(port.send(protocol::cardWrite(0x01, 0x0010, 39)));
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0x0010), 5).toHex(), QByteArray("4000100027"));
    QCOMPARE(s.sim.cardRegister(0x0412, 0x0010), quint16(39));
    const QList<QByteArray> traffic = s.sim.receivedPackets(0x0412, Link::USB);
    QCOMPARE(traffic.size(), 4);
    QCOMPARE(traffic.at(2).toHex(), QByteArray("080100100027"));
    QCOMPARE(s.sim.connectionCount(0x0412, Link::USB), 1);
}

void TestSimUsb::read_timeout_returnsPartialCountAndNonZeroStatus()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412", 50));
    s.sim.setFault(0x0412, Link::USB, Fault::ShortReply, 1);
    QVERIFY(port.send(protocol::cardRead(0x01, 0xFFFC)));
    FT_STATUS status = FT_OK;
    const QByteArray partial = port.read(5, &status);
    QCOMPARE(status, FT_STATUS(FT_TIMEOUT));
    QCOMPARE(partial.toHex(), QByteArray("40ff"));

    s.sim.setFault(0x0412, Link::USB, Fault::NoReply, 1);
    QVERIFY(port.send(protocol::cardRead(0x01, 0xFFFC)));
    QCOMPARE(port.read(5, &status).size(), 0);
    QVERIFY(status != FT_OK);

    // The faults were for one reply each.
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFC), 5).toHex(), QByteArray("40fffc0412"));
}

void TestSimUsb::faults_shapeTheNextReply_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QByteArray>("first");    // read with a 50 ms time-out
    QTest::addColumn<QByteArray>("second");   // the 5 bytes after reading 0xFFFB
    QTest::newRow("wrong code") << int(Fault::WrongCode) << QByteArray("c0fffc0412") << QByteArray("40fffb5a7e");
    QTest::newRow("wrong echo") << int(Fault::WrongEcho) << QByteArray("40ff030412") << QByteArray("40fffb5a7e");
    // The late reply is still on the pipe when the next command is answered.
    QTest::newRow("late reply") << int(Fault::LateReply) << QByteArray() << QByteArray("40fffc0412");
}

void TestSimUsb::faults_shapeTheNextReply()
{
    QFETCH(int, fault);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412", 50));
    s.sim.setFault(0x0412, Link::USB, Fault(fault), 1, 150);
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFC), 5).toHex(), first);
    QCOMPARE(FT_SetPipeTimeout(port.handle, 0x82, 1000), FT_STATUS(FT_OK));
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFB), 5).toHex(), second);
}

void TestSimUsb::channelSetting_changesOnlyAfterReopen()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412"));
    FT_CHIP_CONFIGURATION config;
    QCOMPARE(FT_GetChipConfiguration(port.handle, &config), FT_STATUS(FT_OK));
    QCOMPARE(int(reinterpret_cast<const uint8_t *>(&config)[139]), int(FT_CHANNELS_ONE));

    config.ChannelConfig = FT_CHANNELS_TWO;
    QCOMPARE(FT_SetChipConfiguration(port.handle, &config), FT_STATUS(FT_OK));
    QCOMPARE(FT_GetChipConfiguration(port.handle, &config), FT_STATUS(FT_OK));
    QCOMPARE(int(config.ChannelConfig), int(FT_CHANNELS_ONE));

    QVERIFY(port.open("PELRA0412"));
    QCOMPARE(FT_GetChipConfiguration(port.handle, &config), FT_STATUS(FT_OK));
    QCOMPARE(int(config.ChannelConfig), int(FT_CHANNELS_TWO));
}

void TestSimUsb::dropConnection_makesNextCallFail()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412"));
    s.sim.setFault(0x0412, Link::USB, Fault::DropConnection, 1);
    QVERIFY(port.send(protocol::cardRead(0x01, 0xFFFC)));
    FT_STATUS status = FT_OK;
    QCOMPARE(port.read(5, &status).size(), 0);
    QVERIFY(status != FT_OK);
    uint16_t vid = 0, pid = 0;
    QVERIFY(FT_GetVIDPID(port.handle, &vid, &pid) != FT_OK);
    QVERIFY(!port.send(protocol::cardRead(0x01, 0xFFFC)));

    // Reopening reaches the card again.
    QVERIFY(port.open("PELRA0412"));
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFC), 5).toHex(), QByteArray("40fffc0412"));
    QCOMPARE(s.sim.connectionCount(0x0412, Link::USB), 2);
}

void TestSimUsb::stream_readsQueuedBytesOnChannelAndClears()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412"));
    FT_TRANSFER_CONFIG transfer{};
    transfer.structSize = sizeof(transfer);
    transfer.in.nonThreadSafe = 1;
    transfer.in.urbCount = 8;
    QCOMPARE(FT_SetTransferParams(&transfer, 1), FT_STATUS(FT_OK));

    s.sim.sendUsbData(0x0412, 0x83, QByteArray::fromHex("0102030405060708"));
    uint32_t queued = 0;
    QTRY_VERIFY_WITH_TIMEOUT((FT_GetReadQueueStatus(port.handle, 1, &queued), queued == 8), 2000);
    QCOMPARE(FT_GetReadQueueStatus(port.handle, 0, &queued), FT_STATUS(FT_OK));
    QCOMPARE(queued, 0u);

    QByteArray buffer(6, 0);
    uint32_t got = 0;
    QCOMPARE(FT_ReadPipeEx(port.handle, 1, reinterpret_cast<uint8_t *>(buffer.data()), 6, &got, 100), FT_STATUS(FT_OK));
    QCOMPARE(buffer.toHex(), QByteArray("010203040506"));
    QCOMPARE(FT_ReadPipeEx(port.handle, 1, reinterpret_cast<uint8_t *>(buffer.data()), 6, &got, 20), FT_STATUS(FT_TIMEOUT));
    QCOMPARE(got, 2u);

    s.sim.sendUsbData(0x0412, 0x83, QByteArray(100, 'x'));
    QTRY_VERIFY_WITH_TIMEOUT((FT_GetReadQueueStatus(port.handle, 1, &queued), queued == 100), 2000);
    QCOMPARE(FT_AbortPipe(port.handle, 0x83), FT_STATUS(FT_OK));
    QCOMPARE(FT_ClearStreamPipe(port.handle, false, false, 0x83), FT_STATUS(FT_OK));
    QCOMPARE(FT_GetReadQueueStatus(port.handle, 1, &queued), FT_STATUS(FT_OK));
    QCOMPARE(queued, 0u);
    FT_OVERLAPPED overlapped{};
    QCOMPARE(FT_ReleaseOverlapped(port.handle, &overlapped), FT_STATUS(FT_OK));

    // Command replies stay on pipe 0x82, apart from the stream.
    QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFC), 5).toHex(), QByteArray("40fffc0412"));
}

void TestSimUsb::testPattern_arrivesOnSciencePipe()
{
    SimUnderTest s;
    QVERIFY2(s.start(QString::fromLatin1(TwoBridges)), qPrintable(s.error));
    UsbPort port;
    QVERIFY(port.open("PELRA0412"));
    // USB science on, 4 x 2 pixels, 2 frames, then the trigger.
    QVERIFY(port.send(protocol::cardWrite(0x01, 0x01E0, 0x0001)));
    QVERIFY(port.send(protocol::cardBlockWrite(0x01, 0x01E2, {3, 1, 2})));
    QVERIFY(port.send(protocol::cardWrite(0x01, 0x01E1, 1)));
    QByteArray frames(32, 0);
    uint32_t got = 0;
    QCOMPARE(FT_ReadPipeEx(port.handle, 0, reinterpret_cast<uint8_t *>(frames.data()), 32, &got, 1000), FT_STATUS(FT_OK));
    QCOMPARE(frames.toHex(), QByteArray("0000010002000300040005000600070000010101020103010401050106010701"));
}

QTEST_GUILESS_MAIN(TestSimUsb)
#include "tst_simusb.moc"
