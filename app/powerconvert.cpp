#include "powerconvert.h"

#include <QRegularExpression>

#include <cmath>

namespace Power {

namespace {

// Far above every limit, and small enough that no code computation overflows.
constexpr qint64 Huge = qint64(1) << 40;

qint64 RoundedQuotient(qint64 numerator, qint64 denominator)
{
    // floor(numerator / denominator + 1/2) for numerator >= 0
    return (2 * numerator + denominator) / (2 * denominator);
}

}  // namespace

qint64 Limit(Kind kind)
{
    switch (kind) {
    case Kind::Reference: return 4095;
    case Kind::SupplyVoltage: return 4089;
    case Kind::VoltageLimit: return 4761;
    case Kind::AnalogCurrentLimit: return 1023800;
    case Kind::DigitalCurrentLimit: return 511900;
    }
    return 0;
}

qint64 Thousandths(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
    const QString trimmed = text.trimmed();
    const QRegularExpressionMatch match = decimal.match(trimmed);
    if (match.hasMatch() && (match.capturedLength(2) + match.capturedLength(3)) > 0) {
        const bool negative = match.captured(1) == QLatin1String("-");
        const QString whole = match.captured(2);
        // Nine fraction digits decide a half exactly for every entry that
        // can pass a limit; more digits only lower a remainder below it.
        const QString fraction = (match.captured(3) + QStringLiteral("000000000")).left(9);
        if (whole.size() > 12)
            return negative ? -Huge : Huge;
        const qint64 units = whole.isEmpty() ? 0 : whole.toLongLong();
        const qint64 ninths = fraction.toLongLong();
        qint64 n = units * 1000 + ninths / 1000000;
        const qint64 rest = ninths % 1000000;
        if (!negative)
            return n + (rest >= 500000 ? 1 : 0);
        if (rest > 500000)
            ++n;
        return -n;
    }
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || std::isnan(value))
        return 0;
    const double scaled = std::floor(value * 1000.0 + 0.5);
    if (scaled > double(Huge))
        return Huge;
    if (scaled < -double(Huge))
        return -Huge;
    return qint64(scaled);
}

QString ThousandthsText(qint64 n)
{
    return QString::number(double(n) / 1000.0, 'f', 3);
}

quint32 Code(Kind kind, qint64 n)
{
    switch (kind) {
    case Kind::Reference: return quint32(n);
    case Kind::SupplyVoltage: return quint32(RoundedQuotient(3792 * (4089 - n), 4089));
    case Kind::VoltageLimit: return quint32(RoundedQuotient(4096 * n, 4762));
    case Kind::AnalogCurrentLimit: return quint32(RoundedQuotient(4096 * n, 1024000));
    case Kind::DigitalCurrentLimit: return quint32(RoundedQuotient(4096 * n, 512000));
    }
    return 0;
}

QString CodeText(Kind kind, quint32 code)
{
    switch (kind) {
    case Kind::Reference: return QString::number(code * 4.096 / 4096.0, 'f', 3);
    case Kind::SupplyVoltage: {
        const double volts = (1.0 - code / 3792.0) * 4.089;
        return QString::number(volts > 0 ? volts : 0.0, 'f', 3);
    }
    case Kind::VoltageLimit: return QString::number(code * 4.762 / 4096.0, 'f', 3);
    case Kind::AnalogCurrentLimit: return QString::number(code * 1024.0 / 4096.0, 'f', 2);
    case Kind::DigitalCurrentLimit: return QString::number(code * 512.0 / 4096.0, 'f', 2);
    }
    return QString();
}

QVector<Field> AsicFields(int asic)
{
    const QString a = QString::number(asic);
    const auto supply = [&a](const char *name) {
        const QString prefix = QStringLiteral("Invalid ") + QLatin1String(name) + a;
        return QVector<Field>{{Kind::SupplyVoltage, prefix + QStringLiteral(" voltage")},
                              {Kind::VoltageLimit, prefix + QStringLiteral(" voltage limit")},
                              {Kind::DigitalCurrentLimit, prefix + QStringLiteral(" current limit")}};
    };
    QVector<Field> fields;
    fields << Field{Kind::Reference, QStringLiteral("Invalid VRef") + a + QStringLiteral(" voltage")};
    for (const char *name : {"VDDAH", "VDDAL"}) {
        QVector<Field> analogue = supply(name);
        analogue[2].kind = Kind::AnalogCurrentLimit;
        fields << analogue;
    }
    for (const char *name : {"VDDH", "VDDL", "VDDIO"})
        fields << supply(name);
    // Operators know the ASIC 1 message without the number; it stays so.
    fields << Field{Kind::Reference, asic == 1 ? QStringLiteral("Invalid VSSIO voltage")
                                               : QStringLiteral("Invalid VSSIO2 voltage")};
    fields << Field{Kind::Reference, QStringLiteral("Invalid VSSIO") + a + QStringLiteral(" voltage limit")};
    fields << Field{Kind::SupplyVoltage, QStringLiteral("Invalid VddAux") + a + QStringLiteral(" voltage")};
    return fields;
}

}  // namespace Power
