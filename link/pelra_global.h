// Declarations shared by the card link and the window.
#pragma once

#include <QString>
#include <QtGlobal>

#include "pelra_acqparam.h"
#include "pelra_errnames.h"

// Handle of an open USB bridge device (the bridge library's own type).
typedef void *FT_HANDLE;

// The kind of link over which a card is reached.
enum PELRA_InterfaceType : qint32 {
    InterfaceNone = 0,
    InterfaceUSB = 1,
    InterfaceGigE = 2,
    InterfaceUART = 3
};

// The ASIC family served by the card's running firmware (card register 0xFFFB).
enum PELRA_ASICType {
    AsicUnknown = 0,
    AsicBaseMode = 1,   // 0xBCDE
    AsicTambril = 2,    // 0x5A7E
    AsicOstera = 3      // 0x3D6C
};

// One discovered card. The same card found on several links is one record
// with one flag per link.
struct PELRA_Card {
    quint16 cardId = 0xFFFF;
    bool hasUART = false;
    bool hasGigE = false;
    bool hasUSB = false;
    quint8 ipAddress[4] = {0, 0, 0, 0};
    quint16 gigeSpeed = 0;
    QString serialPortName = QStringLiteral("none");
    char usbSerialNumber[16] = {0};
    FT_HANDLE usbHandle = nullptr;
    quint16 usbSpeed = 0;
    QString firmwareSlot1 = QStringLiteral("Slot1 Unknown Firmware");
    QString firmwareSlot2 = QStringLiteral("Slot2 Unknown Firmware");
};

namespace PELRA_Global {

// Firmware identification values of card register 0xFFFB.
constexpr quint16 FIRMWARE_ID_BASEMODE = 0xBCDE;
constexpr quint16 FIRMWARE_ID_TAMBRIL = 0x5A7E;
constexpr quint16 FIRMWARE_ID_OSTERA = 0x3D6C;

constexpr quint16 DEFAULT_TCP_PORT = 42306;

}  // namespace PELRA_Global
