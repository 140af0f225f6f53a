// Which card positions and ASIC positions answer behind the current link.
#include "pelrainterface.h"

quint8 PelraInterface::GetAvailablePELRAs()
{
    quint8 mask = 0;
    for (int n = 1; n <= 8; ++n) {
        quint32 value = 0;
        if (!ReadPELRAReg(0x0008, value, static_cast<quint8>(1u << (n - 1)))) {
            lastError = QStringLiteral("GetAvailablePELRAs failed: reading PELRA%1 h08 failed").arg(n);
            value = 0;
        }
        if ((value & 0x3) && value != 0x0BAD)
            mask |= static_cast<quint8>(1u << (n - 1));
        else
            lastError = QStringLiteral("GetAvailablePELRAs failed: PELRA%1 h08 readback 0x%2 unexpected").arg(n).arg(value, 0, 16);
    }
    if (!mask)
        lastError = QStringLiteral("No available PELRAs. Unexpected errors");
    return mask;
}

quint8 PelraInterface::GetAvailableASICs()
{
    lastError.clear();
    quint8 mask = 0;
    const bool tambril = asicTypeId == PELRA_Global::FIRMWARE_ID_TAMBRIL;
    const bool ostera = asicTypeId == PELRA_Global::FIRMWARE_ID_OSTERA;
    if (!tambril && !ostera) {
        lastError = QStringLiteral("GetAvailableASICs failed. Unexpected ASIC type=0x%1").arg(asicTypeId, 0, 16);
        return 0;
    }
    for (int i = 0; i < 8; ++i) {
        const quint16 asic = static_cast<quint16>(1u << i);
        if (tambril) {
            quint32 status = 0, id = 0;
            if (!ReadASICReg(0x6A01, status, asic, false, false) || !ReadASICReg(0x6928, id, asic, false, false)) {
                lastError = QStringLiteral("GetAvailableASICs failed at reading TAMBRIL%1 regs").arg(i + 1);
                break;
            }
            if (id == 0x0FFF && status != 0x000F)
                mask |= static_cast<quint8>(asic);
            else
                lastError = QStringLiteral("GetAvailableASICs failed checking TAMBRIL%1 reg readback").arg(i + 1);
        } else {
            quint32 id = 0;
            if (!ReadASICReg(0x04F9, id, asic, false, false)) {
                lastError = QStringLiteral("GetAvailableASICs failed at reading OSTERA%1 regs").arg(i + 1);
                break;
            }
            if ((id >> 8) == 0xA5)
                mask |= static_cast<quint8>(asic);
            else
                lastError = QStringLiteral("GetAvailableASICs failed at reading OSTERA%1 reg readback").arg(i + 1);
        }
    }

    // Clear the error counters and status LEDs of both ASIC channels on every card.
    const quint32 ledReset = tambril ? 0x0104 : 0x0012;
    const QString family = tambril ? QStringLiteral("TAMBRIL") : QStringLiteral("OSTERA");
    if (!WritePELRAReg(0x0117, ledReset, 0xFF))
        lastError = QStringLiteral("Reset LED Err counter for %1 ASIC1 failed").arg(family);
    if (!WritePELRAReg(0x0127, ledReset, 0xFF))
        lastError = QStringLiteral("Reset LED Err counter for %1 ASIC2 failed").arg(family);
    if (!mask && lastError.isEmpty())
        lastError = tambril ? QStringLiteral("No available TAMBRILs. Unexpected errors")
                            : QStringLiteral("No available OSTERAs. Unexpected errors");
    return mask;
}
