#include "simcardhealth.h"

#include "simcard.h"

#include <QRegularExpression>
#include <QStringList>

namespace pelrasim {

namespace {

// First register and size of each counter block, in counter order.
struct CounterBlock {
    quint16 first;
    int count;
};
constexpr CounterBlock CounterBlocks[] = {{0x002B, 5}, {0x0118, 8}, {0x0128, 8}, {0x0184, 12}};

constexpr quint16 MainEmpty = 0x0010, GigeEmpty = 0x0020, UsbEmpty = 0x0040;
constexpr quint16 Fifo1Empty = 0x0400, Fifo2Empty = 0x0800;

bool number(const QString &text, quint32 max, quint32 *out)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qulonglong n = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                               : t.toULongLong(&ok, 10);
    if (!ok || n > max)
        return false;
    *out = quint32(n);
    return true;
}

}  // namespace

quint16 errorCounterRegister(int index)
{
    for (const CounterBlock &block : CounterBlocks) {
        if (index >= 0 && index < block.count)
            return quint16(block.first + index);
        index -= block.count;
    }
    return 0;
}

quint16 fifoLayoutValue(FifoLayout layout)
{
    return layout == FifoLayout::One ? 0x8000 : 0x0000;
}

quint16 idleFifoStatus(FifoLayout layout)
{
    const quint16 outputs = MainEmpty | GigeEmpty | UsbEmpty;
    return layout == FifoLayout::One ? outputs : quint16(outputs | Fifo1Empty | Fifo2Empty);
}

bool parseCardHealthKey(const QString &key, const QString &value, CardSettings *card, bool *known, QString *error)
{
    *known = true;
    if (key == QLatin1String("fifos")) {
        const QString t = value.trimmed();
        if (t == QLatin1String("1"))
            card->fifoLayout = FifoLayout::One;
        else if (t == QLatin1String("2"))
            card->fifoLayout = FifoLayout::Two;
        else {
            *error = QStringLiteral("expected 1 or 2 main FIFOs");
            return false;
        }
        return true;
    }
    if (key == QLatin1String("error_counters")) {
        const QStringList pairs = value.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
        for (const QString &pair : pairs) {
            const QStringList parts = pair.split(QLatin1Char(':'));
            quint32 index = 0, count = 0;
            if (parts.size() != 2 || !number(parts[0], ErrorCounterCount - 1, &index) || !number(parts[1], 0xFFFF, &count)) {
                *error = QStringLiteral("\"%1\" is not counter:value (counter 0-32)").arg(pair);
                return false;
            }
            card->registers.insert(errorCounterRegister(int(index)), quint16(count));
        }
        return true;
    }
    *known = false;
    return true;
}

// Scenario registers are applied afterwards and may override all of this.
void CardModel::powerUpHealth()
{
    regs[RegAddressIncrement] = 0x0001;
    regs[RegFifoLayout] = fifoLayoutValue(cfg.fifoLayout);
    regs[RegFifoStatusBlock] = idleFifoStatus(cfg.fifoLayout);
}

void CardModel::raiseErrorCounter(int index, quint16 amount)
{
    const quint16 address = errorCounterRegister(index);
    if (address != 0)
        regs[address] = quint16(regs[address] + amount);
}

quint16 CardModel::asicBlockRegister(int asicIndex, quint16 start, int k) const
{
    const bool increments = asicList[size_t(asicIndex)].family() != AsicFamily::Ostera || (regs[RegAddressIncrement] & 1);
    return increments ? quint16(start + k) : start;
}

}  // namespace pelrasim
