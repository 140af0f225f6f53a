#include "simwritelog.h"

#include <chrono>

namespace pelrasim {

RegisterWrite RegisterWrite::card(quint16 address, quint32 value)
{
    RegisterWrite w;
    w.address = address;
    w.value = value;
    return w;
}

RegisterWrite RegisterWrite::asicWrite(int asic, quint16 address, quint32 value, bool dma)
{
    RegisterWrite w;
    w.asic = asic;
    w.address = address;
    w.value = value;
    w.dma = dma;
    return w;
}

bool RegisterWrite::operator==(const RegisterWrite &other) const
{
    return asic == other.asic && address == other.address && value == other.value && dma == other.dma;
}

QString RegisterWrite::describe() const
{
    QString text = asic < 0 ? QStringLiteral("card") : QStringLiteral("asic%1").arg(asic);
    text += QStringLiteral(" 0x%1=0x%2").arg(address, 4, 16, QLatin1Char('0')).arg(value, 0, 16);
    if (dma)
        text += QStringLiteral(" dma");
    return text;
}

void WriteLog::record(RegisterWrite write)
{
    write.timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
    if (list.size() >= MaxEntries)
        list.remove(0, MaxEntries / 2);
    list.append(write);
}

}  // namespace pelrasim
