// Interface discovery: serial ports of the grabber, then network modules,
// then USB bridges. A card is recognised on every link by its firmware
// identification (0xFFFB) and its identity (0xFFFC); the same identity seen
// on several links is one card with several link flags.
#include "pelrainterface.h"

#include "ftd3xx.h"
#include "serialports.h"
#include "stringconvert.h"
#include "zestetm1.h"

#include <cstring>

namespace {

bool IsFirmwareId(quint32 value)
{
    return value == PELRA_Global::FIRMWARE_ID_BASEMODE || value == PELRA_Global::FIRMWARE_ID_TAMBRIL
           || value == PELRA_Global::FIRMWARE_ID_OSTERA;
}

quint16 GigeSpeedFromProbe(quint32 probe)
{
    switch (probe & 0x18) {
    case 0x18: return 10;
    case 0x10: return 100;
    case 0x08: return 1000;
    default: return 0;
    }
}

void TakeFirmwareNames(PELRA_Card &card, const QStringList &names)
{
    if (names.size() > 0)
        card.firmwareSlot1 = names.at(0);
    if (names.size() > 1)
        card.firmwareSlot2 = names.at(1);
}

}  // namespace

// Tries the card positions 1..8 on the current link and stops at the first
// one that answers with a firmware identification and a valid identity. On
// a serial port a silent position leaves no error, and a card counts only
// when its firmware names can be read too (`names` is then filled).
bool PelraInterface::ProbeCard(quint8 &select, quint16 &cardId, QStringList *names)
{
    const bool serial = names != nullptr;
    for (int position = 0; position < 8; ++position) {
        select = static_cast<quint8>(1u << position);
        quint32 firmware = 0;
        if (!ReadPELRAReg(0xFFFB, firmware, select)) {
            if (serial)
                lastError.clear();
            continue;
        }
        if (!IsFirmwareId(firmware))
            continue;
        quint32 identity = 0;
        if (!ReadPELRAReg(0xFFFC, identity, select) || identity == 0 || identity == 0xFFFF)
            continue;
        if (serial && !GetPELRAFirmwareNames(*names, select))
            continue;
        cardId = static_cast<quint16>(identity);
        return true;
    }
    return false;
}

// The card listed under `cardId`; a card seen for the first time is appended,
// named after the firmware in its EEPROM whether or not the names could be read.
PELRA_Card &PelraInterface::ListedCard(quint16 cardId, quint8 select)
{
    for (PELRA_Card &card : cards)
        if (card.cardId == cardId)
            return card;
    QStringList names;
    GetPELRAFirmwareNames(names, select);
    PELRA_Card card;
    card.cardId = cardId;
    TakeFirmwareNames(card, names);
    cards.append(card);
    return cards.last();
}

void PelraInterface::AddNetworkCard(const quint8 address[4])
{
    hostAddress = QHostAddress(DottedAddress(address));
    quint8 select = 0;
    quint16 cardId = 0;
    if (ProbeCard(select, cardId, nullptr)) {
        quint32 probe = 0;
        ReadPELRAReg(0x0008, probe, select);
        const quint16 speed = GigeSpeedFromProbe(probe);
        PELRA_Card &card = ListedCard(cardId, select);
        card.hasGigE = true;
        std::memcpy(card.ipAddress, address, 4);
        card.gigeSpeed = speed;
    }
    ClosePort();
}

bool PelraInterface::CheckInterfaces(quint16 port, int gigeTimeoutMs, QVector<quint8 *> &extraAddresses,
                                     QVector<PELRA_Card> &cardsOut)
{
    lastError.clear();
    cards.clear();
    cardsOut.clear();
    ClosePort();
    tcpPort = port ? port : PELRA_Global::DEFAULT_TCP_PORT;
    const int waitMs = gigeTimeoutMs ? gigeTimeoutMs : 200;

    // Serial phase: only the grabber's serial ports can reach a card.
    interfaceType = InterfaceUART;
    serialPort.setPortName(QString());
    ApplySerialSettings();
    for (const SerialPortEntry &entry : ListSerialPorts()) {
        if (entry.vendorId != GrabberVendorId)
            continue;
        serialPort.setPortName(entry.portName);
        quint8 select = 0;
        quint16 cardId = 0;
        QStringList names;
        if (ProbeCard(select, cardId, &names)) {
            PELRA_Card card;
            card.hasUART = true;
            card.cardId = cardId;
            card.serialPortName = entry.portName;
            TakeFirmwareNames(card, names);
            cards.append(card);
        }
        ClosePort();
    }

    // Network phase.
    interfaceType = InterfaceGigE;
    if (ZestETM1Init() != ZestOk) {
        lastError = QStringLiteral("GigE interface not available: checking PELRA TCP port by calling ZestETM1Init");
    } else {
        unsigned long moduleCount = 0;
        ZestModuleInfo *modules = nullptr;
        ZestETM1CountCards(&moduleCount, &modules, static_cast<quint32>(qMax(waitMs, 0)));
        for (unsigned long m = 0; m < moduleCount && modules; ++m) {
            const quint8 *address = modules[m].ipAddr;
            if (!address[0] || !address[1] || !address[2] || !address[3]) {
                lastError = QStringLiteral("Check GigE interface (TCP) failed: unexpect number of chars for PELRA IP "
                                           "address by ZestETM1CountCards");
                continue;
            }
            const QString dotted = DottedAddress(address);
            for (int i = extraAddresses.size() - 1; i >= 0; --i)
                if (extraAddresses.at(i) && DottedAddress(extraAddresses.at(i)) == dotted)
                    extraAddresses.remove(i);
            AddNetworkCard(address);
        }
        ZestETM1FreeCards(modules);
        if (ZestETM1Close() != ZestOk)
            lastError = QStringLiteral("After checking PELRA TCP interface, failed to close ZestETM1 driver");
        // Addresses given by the caller are probed directly; they need no
        // discovery answer, so the module's address quirk does not apply.
        for (quint8 *address : extraAddresses)
            if (address)
                AddNetworkCard(address);
    }

    // USB phase.
    interfaceType = InterfaceUSB;
    CloseUSBHandle();
    quint32 deviceCount = 0;
    QVector<FT_DEVICE_INFO> devices;
    if (FT_CreateDeviceInfoList(&deviceCount) != FT_OK) {
        lastError = QStringLiteral("Check USB interface by FT_CreateDeviceInfoList failed");
        deviceCount = 0;
    } else if (deviceCount > 0) {
        devices.resize(static_cast<int>(deviceCount));
        if (FT_GetDeviceInfoList(devices.data(), &deviceCount) != FT_OK) {
            lastError = QStringLiteral("Check USB interface by FT_GetDeviceInfoList failed");
            devices.clear();
        } else {
            devices.resize(static_cast<int>(qMin<quint32>(deviceCount, static_cast<quint32>(devices.size()))));
        }
    }
    for (const FT_DEVICE_INFO &device : devices) {
        usbHandle = device.ftHandle;
        std::memcpy(usbSerialNumber, device.SerialNumber, sizeof usbSerialNumber);
        usbSerialNumber[sizeof usbSerialNumber - 1] = 0;
        const qint16 savedIdle = idleState;
        idleState = -1;
        quint16 speed = 0;
        if (OpenUSBPort()) {
            FT_DEVICE_DESCRIPTOR descriptor;
            std::memset(&descriptor, 0, sizeof descriptor);
            if (FT_GetDeviceDescriptor(usbHandle, &descriptor) == FT_OK) {
                switch (reinterpret_cast<const quint8 *>(&descriptor)[3]) {
                case 3: speed = 0x30; break;
                case 2: speed = 0x20; break;
                case 1: speed = 0x11; break;
                default: speed = 0; break;
                }
            }
        }
        idleState = savedIdle;

        quint8 select = 0;
        quint16 cardId = 0;
        const bool found = ProbeCard(select, cardId, nullptr);
        CloseUSBHandle();
        if (!found)
            continue;
        // A new card's names are read over the device again, which reopens it.
        PELRA_Card &card = ListedCard(cardId, select);
        CloseUSBHandle();
        card.hasUSB = true;
        std::memcpy(card.usbSerialNumber, usbSerialNumber, sizeof usbSerialNumber);
        card.usbSpeed = speed;
        card.usbHandle = nullptr;
    }

    // The first card becomes current, over its best link.
    if (cards.isEmpty()) {
        currentCardId = 0;
        serialPort.setPortName(QStringLiteral("none"));
        hostAddress = QHostAddress(QStringLiteral("0.0.0.0"));
        std::memset(usbSerialNumber, 0, sizeof usbSerialNumber);
        usbHandle = nullptr;
        interfaceType = InterfaceNone;
    } else {
        const PELRA_Card &first = cards.first();
        TakeCardAddresses(first);
        interfaceType = first.hasGigE ? InterfaceGigE : first.hasUART ? InterfaceUART : InterfaceUSB;
    }
    cardsOut = cards;
    return lastError.isEmpty();
}
