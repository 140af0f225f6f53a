// Texts of register values and addresses used in the card link's messages.
#pragma once

#include <QString>
#include <QtGlobal>

// "0x" and two lower-case digits.
QString byte2hStr(quint8 value);
// "0x", two digits of the first byte, two of the second.
QString bytes2hStr(quint8 first, quint8 second);
// "0x" and four digits.
QString ushort2hStr(quint16 value);
// An IPv4 address, first byte first, in dotted decimal notation.
QString DottedAddress(const quint8 address[4]);
