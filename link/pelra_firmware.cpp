// The card's two firmware slots: reading their names from the EEPROM through
// the SPI registers, and reconfiguring the card from one slot.
#include "pelrainterface.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

constexpr quint16 SpiControl = 0x1000;
constexpr quint16 SpiMode = 0x1001;
constexpr quint16 EepromBuffer = 0x3F80;
constexpr quint16 ReloadSlot = 0x1008;
constexpr int NameRecordWords = 129;
constexpr int NameBytes = 126;

struct SlotSteps {
    quint32 pageCode;
    const char *setupFailed;
    const char *enableFailed;
    const char *readModeFailed;
    const char *readFailed;
};

const SlotSteps Slots[2] = {
    {0x009F, "Checking firmware name failed. Cannot configure EEPROM SPI controller.",
     "Checking firmware name failed. Cannot enable EEPROM SPI interface. ",
     "Checking firmware name failed. Cannot enable EEPROM SPI interface.",
     "Reading of slot 1 pelra firmware name failed"},
    {0x00EF, "Checking firmware name failed. Cannot configure EEPROM SPI controller.",
     "Checking slot 2 firmware name by enabling SPI handling failed",
     "Checking slot 2 firmware by enabling SPI read mode failed",
     "Reading of slot 2 pelra firmware name failed"},
};

}  // namespace

bool PelraInterface::GetPELRAFirmwareNames(QStringList &names, quint8 select)
{
    names.clear();
    // A failed step closes the SPI interface before the step's message goes in front of the text.
    auto fail = [&](const char *message, bool onlyCloseText) {
        if (!CloseSPI(select)) {
            lastError = QStringLiteral("Close SPI also failed");
            if (onlyCloseText)
                return false;
        }
        lastError = QString::fromLatin1(message) + lastError;
        return false;
    };

    for (int slot = 0; slot < 2; ++slot) {
        const SlotSteps &steps = Slots[slot];
        const quint32 setup[5] = {0x0000, 0x0000, 0x1000, steps.pageCode, 0x0002};
        if (!WritePELRABlock(SpiControl, 5, setup, select))
            return fail(steps.setupFailed, false);
        if (!WritePELRAReg(SpiControl, 1, select))
            return fail(steps.enableFailed, false);
        if (!WritePELRAReg(SpiMode, 4, select))
            return fail(steps.readModeFailed, false);
        quint32 record[NameRecordWords] = {};
        if (!ReadPELRABlock(EepromBuffer, NameRecordWords, record, select))
            return fail(steps.readFailed, slot == 1);

        if (record[0] == 0xA596 && record[1] == 0x7744) {
            QByteArray name(NameBytes, '\0');
            for (int i = 0; i < NameBytes; ++i)
                name[i] = static_cast<char>(record[2 + i] & 0xFF);
            names.append(QString::fromUtf8(name).trimmed());
        } else {
            names.append(QStringLiteral("no available firmware"));
        }
    }
    WritePELRAReg(SpiMode, 0, select);
    WritePELRAReg(SpiControl, 0, select);
    return true;
}

quint16 PelraInterface::LoadPELRAFirmware(bool slot1, quint16 select)
{
    const quint8 cards = static_cast<quint8>(select);
    if (!WritePELRAReg(ReloadSlot, slot1 ? 1 : 2, cards)) {
        lastError = QStringLiteral("LoadPELRAFirmware failed: ") + lastError;
        return 0;
    }
    // The card answers 0 (or not at all) while it reconfigures.
    quint32 type = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() <= firmwareLoadTimeoutMs) {
        ReadPELRAReg(0xFFFB, type, cards);
        if (type != 0)
            break;
        QThread::msleep(100);
    }
    if (type == 0)
        lastError = QStringLiteral("Verification of PELRA firmware load failed: readback of hFFFB=0");
    asicTypeId = static_cast<quint16>(type);
    return asicTypeId;
}
