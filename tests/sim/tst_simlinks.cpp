// The simulator's UART (pseudo-terminal) and TCP links with the same Qt
// classes the card link uses. Runs in a private network namespace.
#include "grabberports.h"
#include "pelrasim.h"
#include "simprotocol.h"

#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace pelrasim;

namespace {

const char *const OneCard = R"(
[card1]
id = 0x0412
firmware = tambril
asics = tambril, tambril
uart = ttySOL0
gige = 127.1.1.1
gige_speed = 100
http_port = 18080
control_port = 15000
)";

QByteArray readReply(QIODevice &device, int n)
{
    QByteArray reply;
    while (reply.size() < n && device.waitForReadyRead(1000))
        reply += device.readAll();
    return reply;
}

}  // namespace

class TestSimLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void grabberPorts_listPublishedTerminals();
    void uart_registerRead_roundTrip();
    void tcp_registerRead_roundTrip();
    void tcp_dropConnection_closesSocket();

private:
    QTemporaryDir dir;
    Simulator sim;
};

void TestSimLinks::initTestCase()
{
    qputenv("PELRA_SIM_DIR", dir.path().toUtf8());
    sim.setDeviceDir(dir.path());
    QString error;
    QVERIFY2(sim.loadScenarioText(QString::fromLatin1(OneCard), &error), qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));
}

void TestSimLinks::grabberPorts_listPublishedTerminals()
{
    // A link whose terminal is gone is not listed.
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-terminal"), dir.path() + QStringLiteral("/uart/ttySOL9")));
    const QVector<GrabberSerialPort> ports = GrabberSerialPorts();
    QCOMPARE(ports.size(), 1);
    QCOMPARE(ports[0].portName, sim.uartPortName(0x0412));
    QCOMPARE(ports[0].vendorId, quint16(0x102B));
    QVERIFY(ports[0].description.contains(QStringLiteral("ttySOL0")));
}

void TestSimLinks::uart_registerRead_roundTrip()
{
    QSerialPort port;
    port.setPortName(sim.uartPortName(0x0412));
    port.setBaudRate(115200);
    port.setParity(QSerialPort::EvenParity);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.write(protocol::cardRead(0x01, 0xFFFC));
    QVERIFY(port.waitForBytesWritten(1000));
    QCOMPARE(readReply(port, 5).toHex(), QByteArray("40fffc0412"));
    port.close();

    // Reopened after a close, the terminal still works and holds no echo.
    QVERIFY(port.open(QIODevice::ReadWrite));
    port.write(protocol::cardRead(0x01, 0x0008));
    QVERIFY(port.waitForBytesWritten(1000));
    QCOMPARE(readReply(port, 5).toHex(), QByteArray("4000080011"));
    QCOMPARE(sim.packetCount(0x0412, Link::UART), 2);
}

void TestSimLinks::tcp_registerRead_roundTrip()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(sim.gigeAddress(0x0412)), 42306);
    QVERIFY(socket.waitForConnected(2000));
    socket.write(protocol::cardRead(0x01, 0xFFFB));
    QCOMPARE(readReply(socket, 5).toHex(), QByteArray("40fffb5a7e"));
    QCOMPARE(sim.receivedPackets(0x0412, Link::GigE).last().toHex(), QByteArray("8801fffb"));
}

void TestSimLinks::tcp_dropConnection_closesSocket()
{
    const int before = sim.connectionCount(0x0412, Link::GigE);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QStringLiteral("127.1.1.1")), 42306);
    QVERIFY(socket.waitForConnected(2000));
    sim.setFault(0x0412, Link::GigE, Fault::DropConnection, 1);
    socket.write(protocol::cardRead(0x01, 0xFFFB));
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 2000);
    QCOMPARE(sim.connectionCount(0x0412, Link::GigE), before + 1);
}

QTEST_GUILESS_MAIN(TestSimLinks)
#include "tst_simlinks.moc"
