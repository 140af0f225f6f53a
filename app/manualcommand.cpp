#include "manualcommand.h"

#include <QRegularExpression>

namespace ManualCommand {

QString Hex(quint32 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0'));
}

bool ParseAddress(const QString &text, quint16 *address)
{
    bool ok = false;
    const quint16 value = text.trimmed().toUShort(&ok, 16);
    *address = ok ? value : 0;
    return ok;
}

quint32 WriteLimit(bool asicTable, bool tambril, quint16 address)
{
    return asicTable && tambril && address >= 0x7000 ? 0xFFFFFF : 0xFFFF;
}

bool ParseWriteValue(const QString &text, quint32 limit, quint32 *value)
{
    bool ok = false;
    const quint32 parsed = text.trimmed().toUInt(&ok, 16);
    if (!ok || parsed > limit)
        return false;
    *value = parsed;
    return true;
}

QString NextRowAddress(bool hasReference, const QString &referenceText)
{
    quint16 address = 0;
    if (!hasReference || !ParseAddress(referenceText, &address))
        return QStringLiteral("ffff");
    return Hex(quint16(address + 1));
}

bool ParseBlockLength(const QString &text, quint16 *count)
{
    bool ok = false;
    const quint16 value = text.trimmed().toUShort(&ok, 10);
    if (!ok || value == 0)
        return false;
    *count = value;
    return true;
}

QStringList AsicBlockLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n\r|\r|\n"));
    return text.trimmed().split(breaks);
}

QStringList PelraBlockLines(const QString &text)
{
    return text.trimmed().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int ParseBlockValues(const QStringList &lines, quint32 limit, QVector<quint32> *values)
{
    values->clear();
    values->reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        bool ok = false;
        const quint32 value = lines.at(i).trimmed().toUInt(&ok, 16);
        if (!ok || value > limit)
            return i;
        values->append(value);
    }
    return -1;
}

QString BlockReadText(const QString &addressText, int count, const QVector<quint32> &values, bool wide24)
{
    QString list;
    for (int k = 0; k < count && k < values.size(); ++k)
        list += Hex(values.at(k), wide24 ? 6 : 4) + QStringLiteral(", ");
    return QStringLiteral("Blk read 0x") + addressText + QStringLiteral(" len ") + QString::number(count)
           + QStringLiteral(":  ") + list;
}

QString FamilySwitchQuestion(bool tambril)
{
    const QString found = tambril ? QStringLiteral("TAMBRIL") : QStringLiteral("OSTERA");
    const QString other = tambril ? QStringLiteral("OSTERA") : QStringLiteral("TAMBRIL");
    return QStringLiteral("Different ASIC type detected (") + found + QStringLiteral(" instead of ") + other
           + QStringLiteral("). Load the corresponding ") + found
           + QStringLiteral(" register table for the Manual Command Tab?");
}

quint32 WithAddressIncrement(quint32 control, bool on)
{
    return on ? (control | 1u) : (control & ~1u);
}

}  // namespace ManualCommand
