// Texts the window shows for discovered cards, selections and firmware
// results. Plain functions of card records and masks, so that every text can
// be checked without a window.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "pelra_global.h"

// "PELRA" and the card id as five zero-padded digits, then ":".
QString CardLogPrefix(quint16 cardId);

// Dotted decimal form of a card's network module address.
QString DottedAddress(const PELRA_Card &card);

// The link a card is best reached by: GigE, else UART, else USB.
PELRA_InterfaceType BestInterface(const PELRA_Card &card);

// Labels of the three link radio buttons and the interface group title.
QString GigeRadioText(const PELRA_Card &card);
QString CamLinkRadioText(const PELRA_Card &card);
QString UsbRadioText(const PELRA_Card &card);
QString InterfaceGroupTitle(quint16 cardId);

// One row of the card list dialog: id, address, USB speed, serial port.
QStringList InterfaceListRow(const PELRA_Card &card);

// "PELRA" followed by the numbers of the selected card positions.
QString PelraListText(quint8 mask);

// HTML lines that report the answering card and ASIC positions.
QString AvailablePelrasHtml(const QDateTime &when, quint8 mask);
QString AvailableAsicsHtml(const QDateTime &when, quint8 mask, const QString &linkError);

// Log line for the firmware type code read back after a reload; `ok` tells
// whether the code stands for TAMBRIL or OSTERA operation.
QString FirmwareReloadMessage(quint16 typeCode, const QString &cards, bool *ok);
