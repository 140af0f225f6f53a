// The items of the Telemetry tab: which measure button, voltage field and
// current field show which item code, and how values are written there.
//
// Most names follow M_X / V_X / I_X, but several do not (M_AGND_Dirty shows
// in V_AGND_DIRTY, M_VDDAL1ASIC in V_VDDAL1_ASIC, M_VREF1_ASIC in
// V_VRef1_ASIC), so every name is listed.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

struct TelemetryItem {
    QString button;        // M_...
    QString voltageField;  // V_...
    QString currentField;  // I_..., empty for voltage-only items
    quint16 code;          // voltage code; the current is code + 0x40
};

// All 50 items: the card's supplies and grounds, then ASIC 1 and ASIC 2.
const QVector<TelemetryItem> &TelemetryItems();
// The item whose measure button has this object name, or none.
const TelemetryItem *TelemetryItemOfButton(const QString &buttonName);
// The item whose voltage code is `code`, or none.
const TelemetryItem *TelemetryItemOfCode(quint16 code);

// The 79 codes of "Measure Complete Set", in the order they are requested:
// 0x0400-0x0413, 0x0417-0x0434, 0x0440-0x0453, 0x0457-0x045F.
QVector<quint16> CompleteSetCodes();

// 3 decimals in fixed notation (4 for the one field that shows them).
QString TelemetryVoltageText(float volts, int decimals = 3);
// 6 significant digits, cut to 5 characters (6 with a minus sign).
QString TelemetryCurrentText(float milliamps);
