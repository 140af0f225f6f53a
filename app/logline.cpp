#include "logline.h"

QString FormatLogLine(const QDateTime &when, const QString &text, bool gap)
{
    const QString line = when.toString(Qt::ISODate) + QStringLiteral(":  ") + text;
    return gap ? QLatin1Char('\n') + line : line;
}
