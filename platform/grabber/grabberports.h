// Serial ports of the Camera Link frame grabber.
//
// The grabber's UARTs are published by the simulator as symbolic links in
// $PELRA_SIM_DIR/uart, each pointing at a pseudo-terminal; with the variable
// unset there are none. A file <link>.vendor beside a link holds, in
// hexadecimal, another vendor id for that port. portName is the full path of
// the terminal, which QSerialPort::setPortName takes as it is.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

struct GrabberSerialPort {
    QString portName;       // e.g. /dev/pts/7
    quint16 vendorId = 0;   // 0x102B for the grabber's ports
    QString description;    // e.g. "Camera Link serial port ttySOL0"
};

constexpr quint16 GrabberVendorId = 0x102B;

// Ports in name order; links whose terminal is gone are left out.
QVector<GrabberSerialPort> GrabberSerialPorts();
