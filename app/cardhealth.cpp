#include "cardhealth.h"

#include "manualcommand.h"

namespace {

quint32 Word(const QVector<quint32> &words, int k)
{
    return k < words.size() ? words.at(k) : 0;
}

// Two registers hold a fill count: the high part in 4096-word units and the
// low twelve bits.
quint32 Fill(const QVector<quint32> &words, int high)
{
    return Word(words, high) * 4096 + (Word(words, high + 1) & 0xFFF);
}

bool Bit(quint32 word, int bit)
{
    return word & (1u << bit);
}

QString MainLine(const QVector<quint32> &words, bool singleFifo)
{
    const quint32 status = Word(words, 0);
    QString line = QStringLiteral("Main FIFO: ");
    if (singleFifo) {
        if (Bit(status, 0))
            line += QStringLiteral("Full. ");
        if (Bit(status, 4))
            line += QStringLiteral("Empty. ");
        else
            line += QStringLiteral("Count of 16bit words = ") + QString::number(Fill(words, 2));
        return line;
    }
    if (Bit(status, 4))
        return line + QStringLiteral("FIFO1 & FIFO2 Empty. ");
    if (Bit(status, 10))
        line += QStringLiteral("FIFO1 Empty. ");
    else if (Bit(status, 11))
        line += QStringLiteral("FIFO2 Empty. ");
    if (Bit(status, 0)) {
        if (Bit(status, 8))
            line += QStringLiteral("FIFO1 is Full. ");
        else if (Bit(status, 9))
            line += QStringLiteral("FIFO2 is Full. ");
        else
            line += QStringLiteral("Unknown FIFO1 or FIFO2 is FULL. ");
    }
    line += QStringLiteral("Total Count of 16bit words (FIFO1 + FIFO2) = ") + QString::number(Fill(words, 2))
            + QStringLiteral(". ");
    line += QStringLiteral("FIFO1 Count of 16bit words = ") + QString::number(Fill(words, 8)) + QStringLiteral(". ");
    line += QStringLiteral("FIFO2 Count of 16bit words = ") + QString::number(Fill(words, 10)) + QStringLiteral(". ");
    return line;
}

QString OutputLine(const QString &name, quint32 status, int fullBit, int emptyBit, quint32 count)
{
    QString line = name + QStringLiteral(" FIFO: ");
    if (Bit(status, fullBit))
        return line + QStringLiteral("Full. ");
    if (Bit(status, emptyBit))
        return line + QStringLiteral("Empty. ");
    return line + QStringLiteral("Count of 32bit words = ") + QString::number(count);
}

}  // namespace

const QStringList &ErrorCounterNames(PELRA_ASICType type)
{
    return type == AsicTambril ? PELRA_Global::TAMBRIL_ERRCNT_NAMES : PELRA_Global::OSTERA_ERR_NAMES;
}

QStringList ErrorCounterLines(const QVector<quint32> &counters, const QStringList &names)
{
    QStringList lines;
    for (int i = 0; i < counters.size() && i < names.size(); ++i) {
        if (counters.at(i) != 0 && !names.at(i).isEmpty())
            lines << names.at(i) + QStringLiteral(": 0x") + ManualCommand::Hex(counters.at(i));
    }
    return lines;
}

bool IsSingleFifoLayout(quint32 layoutRegister)
{
    return layoutRegister >= 0x8000;
}

QStringList FifoStatusLines(const QVector<quint32> &words, bool singleFifo)
{
    const quint32 status = Word(words, 0);
    const quint32 outputCount = Word(words, 4);
    return {MainLine(words, singleFifo), OutputLine(QStringLiteral("GigE"), status, 1, 5, outputCount),
            OutputLine(QStringLiteral("USB"), status, 2, 6, outputCount)};
}
