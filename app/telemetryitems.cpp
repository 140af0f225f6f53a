#include "telemetryitems.h"

namespace {

QVector<TelemetryItem> BuildItems()
{
    QVector<TelemetryItem> items = {
        {QStringLiteral("M_ASIC_5V"), QStringLiteral("V_ASIC_5V"), QStringLiteral("I_ASIC_5V"), 0x0417},
        {QStringLiteral("M_FPGA"), QStringLiteral("V_FPGA"), QStringLiteral("I_FPGA"), 0x0418},
        {QStringLiteral("M_VDD_3p3"), QStringLiteral("V_VDD_3p3"), QStringLiteral("I_VDD_3p3"), 0x0419},
        {QStringLiteral("M_VDD_2p5"), QStringLiteral("V_VDD_2p5"), QStringLiteral("I_VDD_2p5"), 0x041A},
        {QStringLiteral("M_VDD_1p8"), QStringLiteral("V_VDD_1p8"), QStringLiteral("I_VDD_1p8"), 0x041B},
        {QStringLiteral("M_VDD_1p2"), QStringLiteral("V_VDD_1p2"), QStringLiteral("I_VDD_1p2"), 0x041C},
        {QStringLiteral("M_GIGE_3p3"), QStringLiteral("V_GIGE_3p3"), QStringLiteral("I_GIGE_3p3"), 0x041D},
        {QStringLiteral("M_USB_5V"), QStringLiteral("V_USB_5V"), QStringLiteral("I_USB_5V"), 0x041E},
        {QStringLiteral("M_USB_3p3"), QStringLiteral("V_USB_3p3"), QStringLiteral("I_USB_3p3"), 0x041F},
        {QStringLiteral("M_AGND_CLN"), QStringLiteral("V_AGND_CLN"), QString(), 0x0432},
        {QStringLiteral("M_AGND_Dirty"), QStringLiteral("V_AGND_DIRTY"), QString(), 0x0433},
        {QStringLiteral("M_DGND"), QStringLiteral("V_DGND"), QString(), 0x0434},
    };
    struct Supply {
        const char *name;
        quint16 code;
    };
    static const Supply supplies[] = {{"VDDAH", 0x0400}, {"VDDAL", 0x0402}, {"VREF", 0x0404}, {"VDDH", 0x0406},
                                      {"VDDL", 0x0408},  {"VDDIO", 0x040A}, {"VSSIO", 0x040C}, {"VDDAux", 0x040E},
                                      {"GNDA", 0x0410},  {"GND", 0x0412}};
    struct VoltageOnly {
        const char *button;     // %1 stands for the ASIC number
        const char *field;
        quint16 code;
    };
    static const VoltageOnly voltageOnly[] = {
        {"M_VDDAL%1ASIC", "V_VDDAL%1_ASIC", 0x0420}, {"M_Sen_VDDAH%1", "V_Sen_VDDAH%1", 0x0422},
        {"M_Sen_VDDAL%1", "V_Sen_VDDAL%1", 0x0424},  {"M_Sen_GNDA%1", "V_Sen_GNDA%1", 0x0426},
        {"M_VDDL%1ASIC", "V_VDDL%1_ASIC", 0x0428},   {"M_Sen_VDDH%1", "V_Sen_VDDH%1", 0x042A},
        {"M_Sen_VDDL%1", "V_Sen_VDDL%1", 0x042C},    {"M_Sen_GND%1", "V_Sen_GND%1", 0x042E},
        {"M_VREF%1_ASIC", "V_VREF%1_ASIC", 0x0430},
    };
    for (int asic = 1; asic <= 2; ++asic) {
        for (const Supply &s : supplies) {
            const QString name = QLatin1String(s.name) + QString::number(asic);
            items.append({QStringLiteral("M_") + name, QStringLiteral("V_") + name, QStringLiteral("I_") + name,
                          quint16(s.code + asic - 1)});
        }
        for (const VoltageOnly &v : voltageOnly) {
            items.append({QString::fromLatin1(v.button).arg(asic), QString::fromLatin1(v.field).arg(asic), QString(),
                          quint16(v.code + asic - 1)});
        }
    }
    // The ASIC 1 reference field was named in mixed case; ASIC 2's was not.
    for (TelemetryItem &item : items) {
        if (item.voltageField == QLatin1String("V_VREF1_ASIC"))
            item.voltageField = QStringLiteral("V_VRef1_ASIC");
    }
    return items;
}

}  // namespace

const QVector<TelemetryItem> &TelemetryItems()
{
    static const QVector<TelemetryItem> items = BuildItems();
    return items;
}

const TelemetryItem *TelemetryItemOfButton(const QString &buttonName)
{
    for (const TelemetryItem &item : TelemetryItems()) {
        if (item.button == buttonName)
            return &item;
    }
    return nullptr;
}

const TelemetryItem *TelemetryItemOfCode(quint16 code)
{
    for (const TelemetryItem &item : TelemetryItems()) {
        if (item.code == code)
            return &item;
    }
    return nullptr;
}

QVector<quint16> CompleteSetCodes()
{
    struct Range {
        quint16 first;
        quint16 last;
    };
    static const Range ranges[] = {{0x0400, 0x0413}, {0x0417, 0x0434}, {0x0440, 0x0453}, {0x0457, 0x045F}};
    QVector<quint16> codes;
    for (const Range &range : ranges) {
        for (int code = range.first; code <= range.last; ++code)
            codes.append(quint16(code));
    }
    return codes;
}

QString TelemetryVoltageText(float volts, int decimals)
{
    return QString::number(double(volts), 'f', decimals);
}

QString TelemetryCurrentText(float milliamps)
{
    return QString::number(double(milliamps), 'g', 6).left(milliamps < 0 ? 6 : 5);
}
