// Card registers with a fixed meaning: firmware type, error counters, ASIC
// reset line, EEPROM SPI interface, card clock and Camera Link phase.
#include "pelrainterface.h"
#include "stringconvert.h"

#include <cmath>

PELRA_ASICType PelraInterface::GetAsicType(quint8 select)
{
    quint32 value = 0;
    if (!ReadPELRAReg(0xFFFB, value, select)) {
        lastError = QStringLiteral("Reading PELRA register (0xFFFB) for ASIC type failed. ") + lastError;
        value = 0;
    }
    asicTypeId = static_cast<quint16>(value);
    switch (asicTypeId) {
    case PELRA_Global::FIRMWARE_ID_BASEMODE: return AsicBaseMode;
    case PELRA_Global::FIRMWARE_ID_TAMBRIL: return AsicTambril;
    case PELRA_Global::FIRMWARE_ID_OSTERA: return AsicOstera;
    default: return AsicUnknown;
    }
}

bool PelraInterface::ResetErrCounters(quint8 select)
{
    // All four resets are attempted even when one fails.
    bool ok = WritePELRAReg(0x0030, 0xF800, select);
    ok = WritePELRAReg(0x0117, 0xFFFF, select) && ok;
    ok = WritePELRAReg(0x0127, 0xFFFF, select) && ok;
    ok = WritePELRAReg(0x0190, 0xFFFF, select) && ok;
    if (!ok)
        lastError = QStringLiteral("Reset error counters failed. ") + lastError;
    return ok;
}

bool PelraInterface::GetPelraFIFOErrCounter(QVector<quint32> &counters, quint8 select)
{
    struct Block {
        quint16 address;
        int count;
        int first;
        const char *failure;
    };
    static const Block blocks[] = {
        {0x002B, 5, 0, "Reading PELRA h02b-h02f failed"},
        {0x0118, 8, 5, "Reading PELRA h118-h11f failed"},
        {0x0128, 8, 13, "Reading PELRA h0128-h012f failed"},
        {0x0184, 12, 21, "Reading PELRA block h0184-h018f, len 12 failed"},
    };
    counters.resize(33);
    for (const Block &block : blocks) {
        if (!ReadPELRABlock(block.address, block.count, counters.data() + block.first, select)) {
            lastError = QString::fromLatin1(block.failure);
            return false;
        }
    }
    return true;
}

bool PelraInterface::ResetASICs(bool highPulse, quint8 select)
{
    quint32 control = 0;
    if (!ReadPELRAReg(0x0210, control, select)) {
        lastError = QStringLiteral("Reset ASIC by reading PELRA h0210 failed");
        return false;
    }
    const quint32 resetBit = asicTypeId == PELRA_Global::FIRMWARE_ID_TAMBRIL ? 0x0008 : 0x0001;
    const quint16 set = static_cast<quint16>(control | resetBit);
    const quint16 cleared = static_cast<quint16>(control & ~resetBit);
    const quint16 first = highPulse ? set : cleared;
    const quint16 second = highPulse ? cleared : set;
    for (quint16 value : {first, second}) {
        if (!WritePELRAReg(0x0210, value, select)) {
            lastError = QStringLiteral("Reset ASICs by writing 0x0210 with value ") + ushort2hStr(value)
                        + QStringLiteral(" failed");
            return false;
        }
    }
    return true;
}

bool PelraInterface::CloseSPI(quint8 select)
{
    return WritePELRAReg(0x1000, 0, select);
}

bool PelraInterface::SetPelraClock(float mhz, quint8 select)
{
    // 0.25 MHz steps up to 28 MHz, 0.5 MHz steps above.
    const long code = mhz <= 28.0f ? std::lround(4.0 * mhz) - 1 : std::lround(2.0 * mhz) + 55;
    return WritePELRAReg(0x0010, static_cast<quint32>(code), select);
}

bool PelraInterface::GetPelraClock(float &mhz, quint8 select)
{
    mhz = 0;
    quint32 code = 0;
    if (!ReadPELRAReg(0x0010, code, select)) {
        lastError = QStringLiteral("Reading PELRA clock rate register h0010 failed");
        return false;
    }
    mhz = code <= 111 ? (code + 1) * 0.25f : (static_cast<float>(code) - 55) * 0.5f;
    return true;
}

bool PelraInterface::SetCamlinkParamters(quint32 value, quint8 select)
{
    if (!WritePELRAReg(0x0011, value, select)) {
        lastError = QStringLiteral("Config CL phase shift 0x%1 failed").arg(value, 4, 16, QLatin1Char('0'));
        return false;
    }
    return true;
}

bool PelraInterface::GetCamlinkParamters(quint32 &value, quint8 select)
{
    value = 0;
    return ReadPELRAReg(0x0011, value, select);
}
