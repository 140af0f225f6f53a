#include "stringconvert.h"

QString byte2hStr(quint8 value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

QString bytes2hStr(quint8 first, quint8 second)
{
    return QStringLiteral("0x%1%2").arg(first, 2, 16, QLatin1Char('0')).arg(second, 2, 16, QLatin1Char('0'));
}

QString ushort2hStr(quint16 value)
{
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

QString DottedAddress(const quint8 address[4])
{
    return QStringLiteral("%1.%2.%3.%4").arg(address[0]).arg(address[1]).arg(address[2]).arg(address[3]);
}
