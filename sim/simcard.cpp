#include "simcard.h"

namespace pelrasim {

namespace {

constexpr quint16 RegProbe = 0x0008;
constexpr quint16 RegCounterReset = 0x0030;
constexpr quint16 RegAsic1Control = 0x0117;
constexpr quint16 RegAsic2Control = 0x0127;
constexpr quint16 RegCounterReset4 = 0x0190;
constexpr quint16 RegAsicControl = 0x0210;
constexpr quint16 RegSpiEnable = 0x1000;
constexpr quint16 RegSpiMode = 0x1001;
constexpr quint16 RegSpiSetup2 = 0x1002;
constexpr quint16 RegSpiPage = 0x1003;
constexpr quint16 RegSpiSetup4 = 0x1004;
constexpr quint16 RegReloadSlot = 0x1008;
constexpr quint16 RegFirmwareId = 0xFFFB;
constexpr quint16 RegCardId = 0xFFFC;

constexpr quint16 PageSlot1 = 0x009F;
constexpr quint16 PageSlot2 = 0x00EF;

void clearRange(std::vector<quint16> &regs, quint16 first, quint16 last)
{
    for (int a = first; a <= last; ++a)
        regs[size_t(a)] = 0;
}

}  // namespace

quint16 firmwareId(FirmwareType type)
{
    switch (type) {
    case FirmwareType::BaseMode: return 0xBCDE;
    case FirmwareType::Tambril: return 0x5A7E;
    case FirmwareType::Ostera: return 0x3D6C;
    case FirmwareType::None: break;
    }
    return 0;
}

bool parseFirmwareType(const QString &text, FirmwareType *type)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("tambril"))
        *type = FirmwareType::Tambril;
    else if (t == QLatin1String("ostera"))
        *type = FirmwareType::Ostera;
    else if (t == QLatin1String("basemode"))
        *type = FirmwareType::BaseMode;
    else if (t == QLatin1String("none") || t.isEmpty())
        *type = FirmwareType::None;
    else
        return false;
    return true;
}

CardModel::CardModel(const CardSettings &settings)
    : cfg(settings), regs(0x10000, 0), running(settings.firmware),
      telemetry(settings.id, settings.telemetryBusyPercent)
{
    for (AsicFamily family : cfg.asics)
        asicList.emplace_back(family);
    for (AsicModel &asic : asicList)
        asic.setExposureRegisters(cfg.exposure);
    sci.setSettings(cfg.science);
    powerUpHealth();
    for (auto it = cfg.registers.cbegin(); it != cfg.registers.cend(); ++it)
        regs[it.key()] = it.value();
    clock.start();
}

FirmwareType CardModel::runningFirmware()
{
    if (reloading && clock.elapsed() - reloadStartMs >= cfg.reloadMs) {
        const FirmwareSlot &slot = cfg.slot[reloadSlot - 1];
        running = slot.valid ? slot.type : FirmwareType::None;
        reloading = false;
    }
    return reloading ? FirmwareType::None : running;
}

bool CardModel::relaysTo(AsicFamily family)
{
    const FirmwareType fw = runningFirmware();
    return (fw == FirmwareType::Tambril && family == AsicFamily::Tambril)
           || (fw == FirmwareType::Ostera && family == AsicFamily::Ostera);
}

bool CardModel::spiReadMode() const
{
    const quint16 page = regs[RegSpiPage];
    return regs[RegSpiEnable] == 1 && regs[RegSpiMode] == 4 && regs[RegSpiSetup2] == 0x1000
           && regs[RegSpiSetup4] == 0x0002 && (page == PageSlot1 || page == PageSlot2);
}

quint16 CardModel::eepromWord(int index) const
{
    const FirmwareSlot &slot = cfg.slot[regs[RegSpiPage] == PageSlot1 ? 0 : 1];
    if (!slot.valid)
        return 0xFFFF;
    if (index == 0)
        return 0xA596;
    if (index == 1)
        return 0x7744;
    if (index >= 128)
        return 0;
    const QByteArray name = slot.name.toUtf8();
    const int byte = index - 2;
    if (byte < name.size() && byte < 126)
        return quint8(name.at(byte));
    return slot.zeroPadding ? 0x00 : 0x20;
}

quint16 CardModel::read(quint16 address)
{
    switch (address) {
    case RegProbe: {
        quint16 speed = 0;
        if (cfg.gigeSpeed == 10)
            speed = 0x18;
        else if (cfg.gigeSpeed == 100)
            speed = 0x10;
        else if (cfg.gigeSpeed == 1000)
            speed = 0x08;
        return quint16(0x0001 | speed);
    }
    case RegFirmwareId:
        return firmwareId(runningFirmware());
    case RegCardId:
        return cfg.id;
    default:
        break;
    }
    if (TelemetryConverter::answers(address))
        return telemetry.read(address, regs, clock.elapsed());
    if (address >= EepromBuffer && address < EepromBuffer + EepromWords)
        return spiReadMode() ? eepromWord(address - EepromBuffer) : 0;
    sci.cardReads(address);
    return regs[address];
}

void CardModel::poke(quint16 address, quint16 value)
{
    regs[address] = value;
}

void CardModel::writeAsic(int index, quint16 address, quint32 value, bool dma)
{
    AsicModel &target = asicList[size_t(index)];
    const ExposureState before = target.exposure();
    target.write(address, value);
    writeLog.record(RegisterWrite::asicWrite(index, address, target.read(address), dma));
    const ExposureState after = target.exposure();
    if (after.triggers != before.triggers)
        sci.asicTriggered(index);
    if (after.stops != before.stops)
        sci.asicStopped(index);
}

void CardModel::write(quint16 address, quint16 value)
{
    writeLog.record(RegisterWrite::card(address, value));
    if (address == RegProbe || address == RegFirmwareId || address == RegCardId || address == RegFifoLayout)
        return;
    if (TelemetryConverter::watches(address))
        telemetry.write(address, value, regs, clock.elapsed());
    const quint16 old = regs[address];
    regs[address] = value;
    switch (address) {
    case RegCounterReset:
        if (value == 0xF800)
            clearRange(regs, 0x002B, 0x002F);
        break;
    case RegAsic1Control:
        if (value == 0xFFFF)
            clearRange(regs, 0x0118, 0x011F);
        break;
    case RegAsic2Control:
        if (value == 0xFFFF)
            clearRange(regs, 0x0128, 0x012F);
        break;
    case RegCounterReset4:
        if (value == 0xFFFF)
            clearRange(regs, 0x0184, 0x018F);
        break;
    case RegAsicControl: {
        const quint16 bit = runningFirmware() == FirmwareType::Tambril ? 0x0008 : 0x0001;
        if (!(old & bit) && (value & bit)) {
            ++resetEdges;
            for (AsicModel &asic : asicList)
                asic.powerUp();
        }
        break;
    }
    case RegReloadSlot:
        if (value == 1 || value == 2) {
            runningFirmware();   // settle an earlier reload first
            reloading = true;
            reloadSlot = value;
            reloadStartMs = clock.elapsed();
        }
        break;
    default:
        break;
    }
    sci.cardWrote(address, value);
}

}  // namespace pelrasim
