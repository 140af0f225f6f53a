// Scenario files: which cards exist, what they run and over which links
// they are reached. The format is described in sim/README.md.
#pragma once

#include "pelrasim.h"
#include "simcard.h"
#include "simnetmodule.h"

#include <QString>
#include <QVector>

namespace pelrasim {

// Vendor id of the frame grabber's serial ports.
constexpr quint16 GrabberUartVendor = 0x102B;

struct EndpointSettings {
    Link kind = Link::USB;
    QString name;                  // USB serial number, UART name or IPv4 address
    QVector<int> cards;            // indexes into Scenario::cards
    quint16 uartVendor = GrabberUartVendor;   // vendor id the serial port reports
    bool emptySilent = false;      // reads of empty positions get no reply
    quint16 emptyValue = 0x0BAD;   // otherwise they read this value
    quint16 tcpPort = 42306;       // GigE command port
    int usbVersion = 3;            // USB major version of the bridge
    quint8 usbChannels = 2;        // stored chip channel setting (1 two, 2 one)
    NetModuleConfig module;        // GigE network module
};

struct Scenario {
    QVector<CardSettings> cards;
    QVector<EndpointSettings> endpoints;
};

bool parseScenario(const QString &text, Scenario *scenario, QString *error);

}  // namespace pelrasim
