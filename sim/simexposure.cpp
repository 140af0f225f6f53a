#include "simexposure.h"

namespace pelrasim {

void ExposureTracker::written(quint16 address, quint32 value)
{
    if (regs.trigger == 0 || address != regs.trigger)
        return;
    if (value == regs.triggerValue) {
        active = true;
        ++triggerCount;
    } else if (regs.hasStop && value == regs.stopValue) {
        active = false;
        ++stopCount;
    }
}

}  // namespace pelrasim

namespace pelrasim {

bool parseExposureKey(const QString &key, const QString &value, ExposureRegisters *r, bool *known, QString *error)
{
    struct Register {
        const char *key;
        quint16 ExposureRegisters::*field;
    };
    static const Register registers[] = {
        {"asic_resets_reg", &ExposureRegisters::resets},   {"asic_reads_reg", &ExposureRegisters::reads},
        {"asic_groups_reg", &ExposureRegisters::groups},   {"asic_drops_reg", &ExposureRegisters::drops},
        {"asic_drops_high_reg", &ExposureRegisters::dropsHigh}, {"asic_trigger_reg", &ExposureRegisters::trigger},
    };
    const QString t = value.trimmed();
    bool ok = false;
    const qulonglong n = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                               : t.toULongLong(&ok, 10);
    *known = true;
    for (const Register &reg : registers) {
        if (key != QLatin1String(reg.key))
            continue;
        if (!ok || n > 0xFFFF) {
            *error = QStringLiteral("\"%1\" is not an ASIC register address").arg(value);
            return false;
        }
        r->*reg.field = quint16(n);
        return true;
    }
    const bool triggerValue = key == QLatin1String("asic_trigger_value");
    if (triggerValue || key == QLatin1String("asic_stop_value")) {
        if (!ok || n > 0xFFFFFF) {
            *error = QStringLiteral("\"%1\" is not a register value up to 0xffffff").arg(value);
            return false;
        }
        if (triggerValue) {
            r->triggerValue = quint32(n);
        } else {
            r->hasStop = true;
            r->stopValue = quint32(n);
        }
        return true;
    }
    *known = false;
    return true;
}

}  // namespace pelrasim
