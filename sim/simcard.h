// One simulated PELRA card: its register map, firmware EEPROM, running
// firmware and ASICs. The same card object serves every link it sits on.
//
// Registers with behaviour (everything else is plain 16-bit storage):
//   0x0008  probe: bit 0 (card present) plus the GigE speed bits 3-4
//   0xFFFB  running firmware id; 0 while a reload is under way
//   0xFFFC  card identity
//   0x0030 <- 0xF800, 0x0117/0x0127/0x0190 <- 0xFFFF clear their counters
//   0x0210  ASIC control; rising edges of the reset bit are counted
//   0x1000-0x1004, 0x3F80-0x4000  firmware-name read over the EEPROM SPI
//   0x1008 <- 1 or 2  reload from that slot
//   0x1E1 <- non-zero  with USB science on (0x1E0 bit 0): emit the test
//           pattern frames described by 0x1E2-0x1E4 on the USB link
#pragma once

#include "simasic.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QVector>

#include <vector>

namespace pelrasim {

enum class FirmwareType { None, BaseMode, Tambril, Ostera };

quint16 firmwareId(FirmwareType type);
bool parseFirmwareType(const QString &text, FirmwareType *type);

struct FirmwareSlot {
    QString name;
    FirmwareType type = FirmwareType::None;
    bool valid = true;           // false: the page reads as erased (0xFFFF words)
    bool zeroPadding = false;    // name padded with zero bytes instead of spaces
};

struct CardSettings {
    quint16 id = 0;
    int position = 1;                          // 1..8
    FirmwareType firmware = FirmwareType::None;
    QVector<AsicFamily> asics;                 // one or two
    FirmwareSlot slot[2];
    int reloadMs = 300;
    int gigeSpeed = 0;                         // 10, 100, 1000 or 0
    QHash<quint16, quint16> registers;         // initial values
};

class CardModel
{
public:
    explicit CardModel(const CardSettings &settings);

    quint16 id() const { return cfg.id; }
    int position() const { return cfg.position; }

    // Register access as the card's command decoder performs it.
    quint16 read(quint16 address);
    void write(quint16 address, quint16 value);

    // Test access: plain storage, bypassing the card's write side effects.
    void poke(quint16 address, quint16 value);

    FirmwareType runningFirmware();
    // The card relays ASIC commands only while it runs that family's firmware.
    bool relaysTo(AsicFamily family);

    int asicCount() const { return int(asicList.size()); }
    AsicModel &asic(int index) { return asicList[size_t(index)]; }

    int asicResetEdges() const { return resetEdges; }
    // Science bytes produced since the last call (USB test pattern).
    QByteArray takeUsbScience();

    static constexpr int EepromWords = 129;
    static constexpr quint16 EepromBuffer = 0x3F80;

private:
    quint16 eepromWord(int index) const;
    bool spiReadMode() const;
    void emitUsbPattern();

    CardSettings cfg;
    std::vector<AsicModel> asicList;
    std::vector<quint16> regs;
    FirmwareType running;
    QElapsedTimer clock;
    bool reloading = false;
    int reloadSlot = 0;
    qint64 reloadStartMs = 0;
    int resetEdges = 0;
    QByteArray usbScience;
};

}  // namespace pelrasim
