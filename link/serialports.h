// The serial ports discovery looks at: the system's ports plus the serial
// ports of the Camera Link grabber that the grabber layer reports.
#pragma once

#include "grabberports.h"

#include <QString>
#include <QVector>

struct SerialPortEntry {
    QString portName;
    quint16 vendorId = 0;   // 0 when the port reports none
};

QVector<SerialPortEntry> ListSerialPorts();
