#include "cardtexts.h"

#include "stringconvert.h"

namespace {

QString CardIdDigits(quint16 cardId)
{
    return QStringLiteral("%1").arg(cardId, 5, 10, QLatin1Char('0'));
}

QString Font(const QString &colour, const QString &text)
{
    return QStringLiteral("<font color=%1> %2 </font>").arg(colour, text);
}

QString IsoNow(const QDateTime &when)
{
    return when.toString(Qt::ISODate);
}

}  // namespace

QString CardLogPrefix(quint16 cardId)
{
    return QStringLiteral("PELRA") + CardIdDigits(cardId) + QLatin1Char(':');
}

QString DottedAddress(const PELRA_Card &card)
{
    return DottedAddress(card.ipAddress);
}

PELRA_InterfaceType BestInterface(const PELRA_Card &card)
{
    if (card.hasGigE)
        return InterfaceGigE;
    if (card.hasUART)
        return InterfaceUART;
    if (card.hasUSB)
        return InterfaceUSB;
    return InterfaceNone;
}

QString GigeRadioText(const PELRA_Card &card)
{
    if (!card.hasGigE)
        return QStringLiteral("GigE (---.---.-.---, Unknown speed)");
    QString speed;
    switch (card.gigeSpeed) {
    case 10: speed = QStringLiteral(",  10 Mbit speed)"); break;
    case 100: speed = QStringLiteral(",  100 Mbit speed)"); break;
    case 1000: speed = QStringLiteral(",  1000 Mbit speed)"); break;
    default: speed = QStringLiteral(",  Unknown speed)"); break;
    }
    return QStringLiteral("GigE (") + DottedAddress(card) + speed;
}

QString CamLinkRadioText(const PELRA_Card &card)
{
    if (!card.hasUART)
        return QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)");
    return QStringLiteral("Camera Link Serial Port (") + card.serialPortName + QStringLiteral(",  115.2 Kbaud)");
}

QString UsbRadioText(const PELRA_Card &card)
{
    if (!card.hasUSB)
        return QStringLiteral("USB (Unknown----,  Unknown speed)");
    QString speed;
    switch (card.usbSpeed) {
    case 0x30: speed = QStringLiteral(",  USB 3.0 speed)"); break;
    case 0x20: speed = QStringLiteral(",  USB 2.0 speed)"); break;
    case 0x11: speed = QStringLiteral(",  USB 1.1 speed)"); break;
    default: speed = QStringLiteral(",  Unknown speed)"); break;
    }
    return QStringLiteral("USB (") + QString::fromLatin1(card.usbSerialNumber, int(qstrnlen(card.usbSerialNumber, sizeof card.usbSerialNumber))) + speed;
}

QString InterfaceGroupTitle(quint16 cardId)
{
    return QStringLiteral("PELRA Communication Interfaces (PELRA Serial Number ") + CardIdDigits(cardId) + QStringLiteral("):");
}

QStringList InterfaceListRow(const PELRA_Card &card)
{
    const QString no = QStringLiteral("No");
    QString usb = no;
    if (card.hasUSB) {
        switch (card.usbSpeed) {
        case 0x30: usb = QStringLiteral("USB 3.0"); break;
        case 0x20: usb = QStringLiteral("USB 2.0"); break;
        case 0x11: usb = QStringLiteral("USB 1.1"); break;
        default: usb = QStringLiteral("Unknown"); break;
        }
    }
    return {CardIdDigits(card.cardId),
            card.hasGigE ? DottedAddress(card) : no,
            usb,
            card.hasUART ? card.serialPortName + QStringLiteral(", 115.2 Kbaud") : no};
}

QString PelraListText(quint8 mask)
{
    QString text = QStringLiteral("PELRA ");
    for (int n = 1; n <= 8; ++n) {
        if (mask & (1u << (n - 1)))
            text += QString::number(n) + QLatin1Char(' ');
    }
    return text.trimmed();
}

QString AvailablePelrasHtml(const QDateTime &when, quint8 mask)
{
    QString html = Font(QStringLiteral("Black"), IsoNow(when));
    if (mask) {
        html += QStringLiteral(": Available PELRAs: ");
        for (int n = 1; n <= 8; ++n) {
            if (mask & (1u << (n - 1)))
                html += Font(QStringLiteral("Darkgreen"), QStringLiteral(" PELRA%1 ").arg(n));
        }
    } else {
        html += QStringLiteral(": No available PELRAs. ") + Font(QStringLiteral("Darkred"), QStringLiteral("read 0x08, val=0x00"));
    }
    return html + Font(QStringLiteral("Black"), QStringLiteral(" "));
}

QString AvailableAsicsHtml(const QDateTime &when, quint8 mask, const QString &linkError)
{
    QString html = Font(QStringLiteral("Black"), IsoNow(when));
    if (mask) {
        html += QStringLiteral(": ASICs Available: ");
        for (int n = 1; n <= 8; ++n) {
            if (mask & (1u << (n - 1)))
                html += Font(QStringLiteral("Darkgreen"), QStringLiteral(" ASIC%1 ").arg(n));
        }
    } else {
        html += QStringLiteral(": No available ASICs. ")
                + Font(QStringLiteral("Darkred"), QStringLiteral(" readback=0x00 ") + linkError.toHtmlEscaped());
    }
    return html + Font(QStringLiteral("Black"), QStringLiteral(" "));
}

QString FirmwareReloadMessage(quint16 typeCode, const QString &cards, bool *ok)
{
    *ok = typeCode == PELRA_Global::FIRMWARE_ID_TAMBRIL || typeCode == PELRA_Global::FIRMWARE_ID_OSTERA;
    switch (typeCode) {
    case PELRA_Global::FIRMWARE_ID_TAMBRIL:
        return QStringLiteral("Loading PELRA firwmare for TAMBRIL operation on selected PELRAs ") + cards + QStringLiteral(" succeeded");
    case PELRA_Global::FIRMWARE_ID_OSTERA:
        return QStringLiteral("Loading PELRA firwmare for OSTERA operation on selected PELRAs ") + cards + QStringLiteral(" succeeded");
    case PELRA_Global::FIRMWARE_ID_BASEMODE:
        return QStringLiteral("Loading PELRA firmware on selected PELRAs ") + cards + QStringLiteral(" failed. BaseMode detected");
    default:
        return QStringLiteral("Loading PELRA firmware on selected PELRAs ") + cards + QStringLiteral(" failed. No valid operation mode detected");
    }
}
