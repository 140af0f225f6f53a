// Link transports: choosing the current card and link, opening ports on
// demand, moving one packet out and one reply in, and idle closing.
#include "pelrainterface.h"

#include "ftd3xx.h"
#include "scilog.h"
#include "stringconvert.h"
#include "usbsciencestream.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimerEvent>

#include <cstring>

namespace {

constexpr quint8 PipeOut = 0x02;
constexpr quint8 PipeIn = 0x82;
constexpr quint8 PipeScience2 = 0x83;
constexpr int WriteWaitMs = 3000;
constexpr int ConnectWaitMs = 10000;

}  // namespace

PelraInterface::PelraInterface(QObject *parent)
    : QObject(parent)
{
    ApplySerialSettings();
    if (parent)
        idleTimerId = startTimer(idlePeriodMs, Qt::CoarseTimer);
}

PelraInterface::~PelraInterface()
{
    if (idleTimerId) {
        killTimer(idleTimerId);
        idleTimerId = 0;
    }
    ClosePort();
}

// Every card's grabber UART runs at these settings.
void PelraInterface::ApplySerialSettings()
{
    serialPort.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    serialPort.setParity(QSerialPort::EvenParity);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);
}

void PelraInterface::SetIdleTimerPeriod(int ms)
{
    idlePeriodMs = ms;
    if (idleTimerId) {
        killTimer(idleTimerId);
        idleTimerId = startTimer(idlePeriodMs, Qt::CoarseTimer);
    }
}

QString PelraInterface::ErrorString() const
{
    return lastError;
}

PELRA_InterfaceType PelraInterface::GetCurrentInterfaceType(quint16 *cardId)
{
    if (cardId)
        *cardId = currentCardId;
    return interfaceType;
}

void PelraInterface::SetAsicType(PELRA_ASICType type)
{
    switch (type) {
    case AsicBaseMode: asicTypeId = PELRA_Global::FIRMWARE_ID_BASEMODE; break;
    case AsicTambril: asicTypeId = PELRA_Global::FIRMWARE_ID_TAMBRIL; break;
    case AsicOstera: asicTypeId = PELRA_Global::FIRMWARE_ID_OSTERA; break;
    default: asicTypeId = 0; break;
    }
}

int PelraInterface::SetCurrentInterfaceType(quint16 cardId, PELRA_InterfaceType kind)
{
    const PELRA_Card *match = nullptr;
    for (const PELRA_Card &card : cards) {
        if (card.cardId != cardId)
            continue;
        if ((card.hasGigE && kind == InterfaceGigE) || (card.hasUART && kind == InterfaceUART)
            || (card.hasUSB && kind == InterfaceUSB)) {
            match = &card;
            break;
        }
    }
    if (!match) {
        lastError = QStringLiteral("This interface is not available in the existing list. Check Interface!");
        return 0;
    }
    interfaceType = kind;

    idleState = -1;
    if (serialPort.isOpen())
        serialPort.close();
    if (tcpSocket.state() == QAbstractSocket::ConnectedState)
        tcpSocket.abort();
    CloseUSBHandle();

    TakeCardAddresses(*match);

    idleState = 0;
    return (static_cast<int>(currentCardId) << 16) + interfaceType;
}

// Makes the card's identity and its addresses on every link the current ones.
void PelraInterface::TakeCardAddresses(const PELRA_Card &card)
{
    currentCardId = card.cardId;
    serialPort.setPortName(card.serialPortName);
    hostAddress = QHostAddress(DottedAddress(card.ipAddress));
    std::memcpy(usbSerialNumber, card.usbSerialNumber, sizeof usbSerialNumber);
    usbSerialNumber[sizeof usbSerialNumber - 1] = 0;
    usbHandle = card.usbHandle;
}

void PelraInterface::CloseUSBHandle()
{
    StopUsbScienceReader();
    if (usbHandle) {
        FT_Close(usbHandle);
        usbHandle = nullptr;
    }
}

bool PelraInterface::OpenUSBPort()
{
    quint16 vid = 0, pid = 0;
    if (!usbHandle || FT_GetVIDPID(usbHandle, &vid, &pid) != FT_OK) {
        CloseUSBHandle();
        FT_HANDLE handle = nullptr;
        if (FT_Create(usbSerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle) != FT_OK || !handle) {
            lastError = QStringLiteral("OpenUSBPort by calling FT_Create failed");
            return false;
        }
        usbHandle = handle;
    }
    FT_SetPipeTimeout(usbHandle, PipeOut, 500);
    FT_SetPipeTimeout(usbHandle, PipeIn, usbReadTimeoutMs);
    return true;
}

bool PelraInterface::ConfigureUSBPipeMode(bool twoChannels)
{
    auto reopen = [this]() {
        FT_HANDLE handle = nullptr;
        if (FT_Create(usbSerialNumber, FT_OPEN_BY_SERIAL_NUMBER, &handle) != FT_OK || !handle)
            return false;
        usbHandle = handle;
        return true;
    };

    if (usbHandle) {
        CloseUSBHandle();
        if (!reopen()) {
            lastError = QStringLiteral("ConfigureUSBPipeMode failed: FT_Create for a USB handle failed");
            return false;
        }
    }
    FT_CHIP_CONFIGURATION config;
    std::memset(&config, 0, sizeof config);
    if (!usbHandle || FT_GetChipConfiguration(usbHandle, &config) != FT_OK) {
        lastError = QStringLiteral("ConfigureUSBPipeMode failed: FT_GetChipConfiguration failed!");
        return false;
    }
    const quint8 wanted = twoChannels ? FT_CHANNELS_TWO : FT_CHANNELS_ONE;
    if (config.ChannelConfig != wanted) {
        config.ChannelConfig = wanted;
        if (FT_SetChipConfiguration(usbHandle, &config) != FT_OK) {
            lastError = QStringLiteral("ConfigureUSBPipeMode failed: FT_SetChipConfiguration failed!");
            return false;
        }
        CloseUSBHandle();
        // The chip re-enumerates with its new setting; wait for it to come back.
        QElapsedTimer timer;
        timer.start();
        while (!reopen()) {
            if (timer.elapsed() > 5000) {
                lastError = QStringLiteral("ConfigureUSBPipeMode failed: FT_Create for a USB handler failed");
                return false;
            }
            QThread::msleep(100);
        }
        timer.restart();
        while (FT_GetChipConfiguration(usbHandle, &config) != FT_OK) {
            if (timer.elapsed() > 5000) {
                lastError = QStringLiteral("FT_GetChipConfiguration failed!");
                return false;
            }
            QThread::msleep(100);
        }
        if (config.ChannelConfig != wanted) {
            lastError = QStringLiteral("ConfigureUSBPipeMode failed: The new configuration was not set successfully");
            return false;
        }
    }
    if (twoChannels) {
        if (FT_SetPipeTimeout(usbHandle, PipeScience2, 0) != FT_OK) {
            lastError = QStringLiteral("ConfigureUSBPipeMode failed: FT_SetPipeTimeout for pipe 0x83 with value 0 failed!");
            return false;
        }
        sciencePipe = PipeScience2;
    } else {
        sciencePipe = PipeIn;
    }
    return true;
}

bool PelraInterface::OpenUARTPort()
{
    if (serialPort.isOpen())
        return true;
    if (!serialPort.open(QIODevice::ReadWrite)) {
        lastError = QStringLiteral("OpenUARTPort failed: ") + serialPort.errorString();
        return false;
    }
    return true;
}

bool PelraInterface::OpenTcpPort()
{
    if (tcpSocket.state() == QAbstractSocket::ConnectedState)
        return true;
    if (tcpSocket.state() != QAbstractSocket::UnconnectedState)
        tcpSocket.abort();
    tcpSocket.connectToHost(hostAddress, tcpPort, QIODevice::ReadWrite);
    if (!tcpSocket.waitForConnected(ConnectWaitMs)) {
        lastError = QStringLiteral("Faild to open TCP port ") + hostAddress.toString() + QStringLiteral(": ")
                    + tcpSocket.errorString();
        tcpSocket.abort();
        return false;
    }
    // Packets go out at once: a write without reply (the science port's
    // opening) must not wait behind Nagle's delay for the card's ACK.
    tcpSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!tcpSocket.isReadable() || !tcpSocket.isWritable()) {
        lastError = QStringLiteral("ReadPELRAReg failed: TCP port is unreadable or unwritable: ")
                    + tcpSocket.errorString();
        return false;
    }
    return true;
}

void PelraInterface::ClosePort()
{
    if (serialPort.isOpen())
        serialPort.close();
    if (tcpSocket.state() == QAbstractSocket::ConnectedState) {
        tcpSocket.disconnectFromHost();
        if (tcpSocket.state() != QAbstractSocket::UnconnectedState)
            tcpSocket.abort();
    }
    CloseUSBHandle();
}

bool PelraInterface::IsPortOpen() const
{
    return serialPort.isOpen() || tcpSocket.state() != QAbstractSocket::UnconnectedState || usbHandle != nullptr;
}

// A reply that missed its time-out may still arrive. Commands are answered
// strictly in order, so anything waiting when a new command goes out belongs to
// an earlier one. USB needs nothing here: a failed read closes the handle, and
// with it whatever the bridge still delivers to it.
void PelraInterface::DiscardStaleInput()
{
    if (interfaceType == InterfaceGigE && tcpSocket.state() == QAbstractSocket::ConnectedState) {
        tcpSocket.readAll();
        while (tcpSocket.waitForReadyRead(0))
            tcpSocket.readAll();
    } else if (interfaceType == InterfaceUART && serialPort.isOpen()) {
        serialPort.clear(QSerialPort::Input);
        serialPort.readAll();
    }
}

bool PelraInterface::WritePort(const QByteArray &packet)
{
    idleState = -1;
    bool ok = false;
    DiscardStaleInput();
    switch (interfaceType) {
    case InterfaceUSB: {
        if (!OpenUSBPort())
            break;
        quint32 transferred = 0;
        QByteArray data = packet;
        const FT_STATUS status = FT_WritePipe(usbHandle, PipeOut, reinterpret_cast<quint8 *>(data.data()),
                                              static_cast<quint32>(data.size()), &transferred, nullptr);
        if (status == FT_OK && transferred == static_cast<quint32>(packet.size())) {
            ok = true;
        } else {
            lastError = QStringLiteral("Failed to write to USB port!");
            CloseUSBHandle();
        }
        break;
    }
    case InterfaceGigE:
        if (!OpenTcpPort())
            break;
        if (tcpSocket.write(packet) < packet.size()) {
            lastError = QStringLiteral("Failed to write GigE port ") + tcpSocket.errorString();
            break;
        }
        if (tcpSocket.bytesToWrite() > 0 && !tcpSocket.waitForBytesWritten(WriteWaitMs)) {
            lastError = QStringLiteral("Timeout or an error occurred on GigE port: ") + tcpSocket.errorString();
            break;
        }
        ok = true;
        break;
    case InterfaceUART:
        if (!OpenUARTPort())
            break;
        if (serialPort.write(packet) < packet.size()) {
            lastError = QStringLiteral("Failed to write addr & value to serial port ");
            break;
        }
        if (serialPort.bytesToWrite() > 0 && !serialPort.waitForBytesWritten(WriteWaitMs)) {
            lastError = QStringLiteral("Timedout or an error occurred on serial port: ") + serialPort.errorString();
            break;
        }
        ok = true;
        break;
    default:
        lastError = QStringLiteral("Cannot write to PELRA, no available interface.");
        break;
    }
    idleState = 0;
    return ok;
}

bool PelraInterface::ReadPort(int count, QByteArray &reply)
{
    reply.clear();
    idleState = -1;
    bool ok = false;
    switch (interfaceType) {
    case InterfaceUSB: {
        reply.resize(qMax(count, 0));
        quint32 transferred = 0;
        FT_STATUS status = FT_INVALID_HANDLE;
        if (usbHandle)
            status = FT_ReadPipe(usbHandle, PipeIn, reinterpret_cast<quint8 *>(reply.data()),
                                 static_cast<quint32>(reply.size()), &transferred, nullptr);
        if (status == FT_OK && transferred == static_cast<quint32>(count)) {
            ok = true;
        } else {
            reply.truncate(static_cast<int>(qMin<quint32>(transferred, static_cast<quint32>(reply.size()))));
            lastError = QStringLiteral("ReadPELRAReg failed: ftStatus=%1 Expect bytes=%2 transfered=%3")
                            .arg(status, 0, 16)
                            .arg(count)
                            .arg(transferred);
            CloseUSBHandle();
        }
        break;
    }
    case InterfaceUART: {
        if (!serialPort.isReadable()) {
            lastError = QStringLiteral("Serial port ") + serialPort.portName() + QStringLiteral(" not readable!");
            break;
        }
        // Short replies come back within 20 ms; long block replies get time per byte.
        const qint64 limitMs = count <= 6 ? 20 : qMax<qint64>(4LL * count, 3000);
        reply = serialPort.readAll();
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            if (reply.size() >= count) {
                ok = true;
                break;
            }
            if (timer.elapsed() > limitMs)
                break;
            if (serialPort.waitForReadyRead(10))
                reply += serialPort.readAll();
        }
        if (!ok)
            lastError = QStringLiteral("Reading SerialPort %1 timeout! expect %2 bytes, Received %3 bytes")
                            .arg(serialPort.portName())
                            .arg(count)
                            .arg(reply.size());
        break;
    }
    case InterfaceGigE:
        // A short reply is still a success here: the caller checks length and content.
        QThread::msleep(20);
        reply = tcpSocket.readAll();
        while (reply.size() < count && tcpSocket.waitForReadyRead(1000))
            reply += tcpSocket.readAll();
        ok = true;
        break;
    default:
        lastError = QStringLiteral("ReadPELRAReg failed: cannot read from PELRA, no available interface.");
        break;
    }
    idleState = 0;
    return ok;
}

void PelraInterface::GigEError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        break;
    case QAbstractSocket::ConnectionRefusedError:
        lastError = QStringLiteral("Connection was refused by the peer. Make sure the server is running, and check "
                                   "the host name & port settings are correct.");
        break;
    case QAbstractSocket::HostNotFoundError:
        lastError = QStringLiteral("The host was not found. Please check the host name and port settings.");
        break;
    default:
        lastError = tcpSocket.errorString();
        break;
    }
}

QString PelraInterface::PELRASerialPortInfo(int index)
{
    if (index < 0 || index >= cards.size() || cards.at(index).serialPortName.isEmpty())
        return QString();
    return QStringLiteral("Serial Port connected to %1 : %2, %3, %4, %5, %6")
        .arg(cards.at(index).serialPortName)
        .arg(serialPort.baudRate())
        .arg(static_cast<int>(serialPort.dataBits()))
        .arg(static_cast<int>(serialPort.parity()))
        .arg(static_cast<int>(serialPort.stopBits()))
        .arg(static_cast<int>(serialPort.flowControl()));
}

void PelraInterface::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != idleTimerId) {
        QObject::timerEvent(event);
        return;
    }
    if (idleState == -1)
        return;
    if (idleState == 1) {
        if (serialPort.isOpen())
            serialPort.close();
        if (tcpSocket.state() == QAbstractSocket::ConnectedState)
            tcpSocket.disconnectFromHost();
        CloseUSBHandle();
    }
    idleState = 1;
}
