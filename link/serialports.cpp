#include "serialports.h"

#include "grabberports.h"

#include <QSerialPortInfo>

QVector<SerialPortEntry> ListSerialPorts()
{
    QVector<SerialPortEntry> ports;
    const auto system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system)
        ports.append({info.portName(), info.hasVendorIdentifier() ? info.vendorIdentifier() : quint16(0)});
    for (const GrabberSerialPort &port : GrabberSerialPorts())
        ports.append({port.portName, port.vendorId});
    return ports;
}
