// A card's Gigabit Ethernet network module as seen by discovery: an SSDP
// responder, an HTTP description server and the control port that answers
// the settings and extended requests. The card's command port (42306) is
// served elsewhere; this class covers only what finds the module.
//
// Replies it gives:
//   search answer   "HTTP/1.1 200 OK" ... "LOCATION: http://<address>:<httpPort>/description.xml",
//                   naming "GigExpedite<generation>", sent from <address>;
//   description     an XML body with <controlURL><address>:<controlPort></controlURL>;
//   settings (0xF0) 36 bytes: 0 = 0xF0, 2 = statusByte, 4-5 = firmwareVersion,
//                   6-7 = 1, 8-11 = address, 16-19 = 127.0.0.1, 20-23 = 255.0.0.0,
//                   24-25 = 42306, 26-27 = controlPort, 28-33 = 02:50:45 + address bytes 2-4;
//   extended (0xEA) 20 bytes: 0 = 0xEA, 4-19 = "PELRA-SIM-NETMOD".
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace pelrasim {

struct NetModuleConfig {
    QString address = QStringLiteral("127.1.1.1");   // module address (loopback)
    quint16 httpPort = 8080;          // description server
    quint16 controlPort = 5000;       // settings port
    int firmwareVersion = 300;        // settings bytes 4-5; >= 300 adds the extended exchange
    int generation = 2;               // answers "GigExpedite2" or "GigExpedite3" searches
    // Faults for discovery tests
    bool noControlUrl = false;        // description lacks <controlURL>
    bool noControlPort = false;       // control address lacks ":port"
    quint8 statusByte = 0;            // settings reply byte 2
    bool answerTwice = false;         // every search is answered twice
    int dropSettingsConnections = 0;  // the first N settings connections are closed unanswered
};

class NetModule : public QObject
{
    Q_OBJECT
public:
    explicit NetModule(const NetModuleConfig &config, QObject *parent = nullptr);
    ~NetModule() override;
    // Binds the HTTP and control servers on config.address and joins the
    // SSDP group on the loopback interface. Must run on the thread that owns
    // the object (it uses that thread's event loop).
    bool start(QString *error);
    const NetModuleConfig &config() const { return cfg; }
    int searchesAnswered() const;

private:
    NetModuleConfig cfg;
    class Private;
    Private *p = nullptr;
};

}  // namespace pelrasim
