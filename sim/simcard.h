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
//   0x0400-0x045F, 0x0480, 0x0481  telemetry converter (simtelemetry.h)
//   0x1A0-0x1A1, 0x1B0-0x1B6, 0x1D0-0x1D4, 0x1E0-0x1E4, 0x1820-0x182D
//           the science path (simcardscience.h)
//   error counters, 0x01A0-0x01AB FIFO status, 0xFFFE FIFO layout, 0x0102
//           OSTERA address auto-increment, ASIC reset (simcardhealth.h)
#pragma once

#include "simasic.h"
#include "simcardhealth.h"
#include "simcardscience.h"
#include "simtelemetry.h"
#include "simwritelog.h"

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
    ExposureRegisters exposure;                // ramp and trigger registers of its ASICs
    ScienceSettings science;                   // its science frames (scenario keys science_*)
    int telemetryBusyPercent = 100;            // telemetry conversion time, % of the real one
    FifoLayout fifoLayout = FifoLayout::One;   // 0xFFFE and the idle FIFO status
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

    // An ASIC register write that the card passes on to its ASIC `index`.
    void writeAsic(int index, quint16 address, quint32 value, bool dma);
    // Every card and ASIC register write above, in order (not pokes).
    WriteLog &writes() { return writeLog; }

    FirmwareType runningFirmware();
    // The card relays ASIC commands only while it runs that family's firmware.
    bool relaysTo(AsicFamily family);

    int asicCount() const { return int(asicList.size()); }
    AsicModel &asic(int index) { return asicList[size_t(index)]; }

    int asicResetEdges() const { return resetEdges; }
    // Adds to error counter `index` (0-32, simcardhealth.h), wrapping at 16 bits.
    void raiseErrorCounter(int index, quint16 amount);
    // The ASIC register that word k of a block starting at `start` addresses.
    quint16 asicBlockRegister(int asicIndex, quint16 start, int k) const;
    // The science path: frames, their senders, FIFO status.
    CardScience &science() { return sci; }
    // Register contents without a read's side effects.
    quint16 stored(quint16 address) const { return regs[address]; }

    static constexpr int EepromWords = 129;
    static constexpr quint16 EepromBuffer = 0x3F80;

private:
    quint16 eepromWord(int index) const;
    bool spiReadMode() const;
    void powerUpHealth();

    CardSettings cfg;
    std::vector<AsicModel> asicList;
    std::vector<quint16> regs;
    FirmwareType running;
    QElapsedTimer clock;
    bool reloading = false;
    int reloadSlot = 0;
    qint64 reloadStartMs = 0;
    int resetEdges = 0;
    TelemetryConverter telemetry;
    WriteLog writeLog;
    CardScience sci{this};
};

}  // namespace pelrasim
