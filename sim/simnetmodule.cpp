#include "simnetmodule.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <atomic>

namespace pelrasim {

namespace {

const char *const kSsdpGroup = "239.255.255.250";
constexpr quint16 kSsdpPort = 1900;
constexpr int kRequestSize = 4;
constexpr char kSettingsCommand = char(0xF0);
constexpr char kExtendedCommand = char(0xEA);
constexpr quint16 kCommandPort = 42306;
const QByteArray kExtendedText = QByteArrayLiteral("PELRA-SIM-NETMOD");   // 16 bytes

void PutBigEndian(QByteArray *bytes, int at, quint32 value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        (*bytes)[at + i] = char(value & 0xFF);
        value >>= 8;
    }
}

// The value of header `name` in an SSDP text, letter case of the name ignored.
QByteArray HeaderValue(const QByteArray &text, const QByteArray &name)
{
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

}  // namespace

class NetModule::Private
{
public:
    explicit Private(const NetModuleConfig &config) : cfg(config) {}

    bool matchesSearch(const QByteArray &text) const;
    QByteArray searchAnswer(const QByteArray &searchTarget) const;
    QByteArray description() const;
    QByteArray settingsReply() const;
    QByteArray extendedReply() const;

    void readSearches();
    void serveDescription(QTcpSocket *socket);
    void serveControl(QTcpSocket *socket);

    NetModuleConfig cfg;
    QUdpSocket *ssdp = nullptr;       // receives the multicast searches
    QUdpSocket *replies = nullptr;    // sends answers from the module's own address
    QTcpServer *http = nullptr;
    QTcpServer *control = nullptr;
    QHash<QTcpSocket *, QByteArray> pending;   // bytes of requests not yet complete
    std::atomic<int> answered{0};
    int droppedControls = 0;
};

bool NetModule::Private::matchesSearch(const QByteArray &text) const
{
    if (!text.startsWith("M-SEARCH") || !text.contains("\"ssdp:discover\""))
        return false;
    const QByteArray target = HeaderValue(text, "ST");
    return target == "ssdp:all" || target == "upnp:rootdevice"
            || target.contains("GigExpedite" + QByteArray::number(cfg.generation));
}

QByteArray NetModule::Private::searchAnswer(const QByteArray &searchTarget) const
{
    const QByteArray generation = "GigExpedite" + QByteArray::number(cfg.generation);
    const QByteArray address = cfg.address.toLatin1();
    return "HTTP/1.1 200 OK\r\n"
           "CACHE-CONTROL: max-age=1800\r\n"
           "EXT:\r\n"
           "LOCATION: http://" + address + ":" + QByteArray::number(cfg.httpPort)
            + "/description.xml\r\n"
           "SERVER: Linux/5 UPnP/1.0 " + generation + "/1.0\r\n"
           "ST: " + searchTarget + "\r\n"
           "USN: uuid:pelra-sim-" + address + "::urn:pelra-sim:device:" + generation + ":1\r\n"
           "\r\n";
}

QByteArray NetModule::Private::description() const
{
    QByteArray controlUrl = cfg.address.toLatin1();
    if (!cfg.noControlPort)
        controlUrl += ":" + QByteArray::number(cfg.controlPort);
    const QByteArray service = cfg.noControlUrl
            ? QByteArray("<SCPDURL>/control.xml</SCPDURL>")
            : "<controlURL>" + controlUrl + "</controlURL>";
    const QByteArray body =
            "<?xml version=\"1.0\"?>\r\n"
            "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
            "<specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
            "<device>\r\n"
            "<deviceType>urn:pelra-sim:device:GigExpedite" + QByteArray::number(cfg.generation)
            + ":1</deviceType>\r\n"
            "<friendlyName>PELRA network module</friendlyName>\r\n"
            "<serviceList><service>\r\n"
            "<serviceType>urn:pelra-sim:service:control:1</serviceType>\r\n"
            + service + "\r\n"
            "</service></serviceList>\r\n"
            "</device>\r\n"
            "</root>\r\n";
    return "HTTP/1.1 200 OK\r\n"
           "CONTENT-TYPE: text/xml\r\n"
           "CONTENT-LENGTH: " + QByteArray::number(body.size()) + "\r\n"
           "CONNECTION: close\r\n"
           "\r\n" + body;
}

QByteArray NetModule::Private::settingsReply() const
{
    QByteArray reply(36, '\0');
    reply[0] = kSettingsCommand;
    reply[2] = char(cfg.statusByte);
    PutBigEndian(&reply, 4, quint32(cfg.firmwareVersion), 2);
    PutBigEndian(&reply, 6, 1, 2);                                       // one data channel
    PutBigEndian(&reply, 8, QHostAddress(cfg.address).toIPv4Address(), 4);
    PutBigEndian(&reply, 16, QHostAddress(QStringLiteral("127.0.0.1")).toIPv4Address(), 4);
    PutBigEndian(&reply, 20, 0xFF000000u, 4);                             // net mask
    PutBigEndian(&reply, 24, kCommandPort, 2);
    PutBigEndian(&reply, 26, cfg.controlPort, 2);
    const quint32 host = QHostAddress(cfg.address).toIPv4Address();
    const char mac[6] = {0x02, 0x50, 0x45, char(host >> 16), char(host >> 8), char(host)};
    for (int i = 0; i < 6; ++i)
        reply[28 + i] = mac[i];
    return reply;
}

QByteArray NetModule::Private::extendedReply() const
{
    QByteArray reply(4, '\0');
    reply[0] = kExtendedCommand;
    return reply + kExtendedText;
}

void NetModule::Private::readSearches()
{
    while (ssdp->hasPendingDatagrams()) {
        const QNetworkDatagram search = ssdp->receiveDatagram();
        const QByteArray text = search.data();
        if (!matchesSearch(text))
            continue;
        const QByteArray answer = searchAnswer(HeaderValue(text, "ST"));
        const int times = cfg.answerTwice ? 2 : 1;
        for (int i = 0; i < times; ++i)
            replies->writeDatagram(answer, search.senderAddress(), quint16(search.senderPort()));
        ++answered;
    }
}

void NetModule::Private::serveDescription(QTcpSocket *socket)
{
    QByteArray &request = pending[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n"))
        return;
    pending.remove(socket);
    socket->write(description());
    socket->disconnectFromHost();
}

void NetModule::Private::serveControl(QTcpSocket *socket)
{
    if (!pending.contains(socket) && droppedControls < cfg.dropSettingsConnections) {
        ++droppedControls;   // a busy module: the request is taken and the connection closed
        socket->readAll();
        socket->disconnectFromHost();
        return;
    }
    QByteArray &buffer = pending[socket];
    buffer += socket->readAll();
    while (buffer.size() >= kRequestSize) {
        const char command = buffer.at(0);
        buffer.remove(0, kRequestSize);
        if (command == kSettingsCommand)
            socket->write(settingsReply());
        else if (command == kExtendedCommand)
            socket->write(extendedReply());
    }
}

NetModule::NetModule(const NetModuleConfig &config, QObject *parent)
    : QObject(parent), cfg(config), p(new Private(config))
{
}

NetModule::~NetModule()
{
    delete p;
}

int NetModule::searchesAnswered() const
{
    return p->answered.load();
}

bool NetModule::start(QString *error)
{
    const QHostAddress address(cfg.address);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        *error = QStringLiteral("Network module: invalid address %1").arg(cfg.address);
        return false;
    }

    QNetworkInterface loopback;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &candidate : interfaces) {
        if (candidate.flags() & QNetworkInterface::IsLoopBack)
            loopback = candidate;
    }

    p->ssdp = new QUdpSocket(this);
    if (!p->ssdp->bind(QHostAddress::AnyIPv4, kSsdpPort,
                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        *error = QStringLiteral("Network module: SSDP port: %1").arg(p->ssdp->errorString());
        return false;
    }
    const QHostAddress group{QLatin1String(kSsdpGroup)};
    if (!loopback.isValid() || !p->ssdp->joinMulticastGroup(group, loopback)) {
        *error = QStringLiteral("Network module: joining the SSDP group on loopback: %1")
                .arg(p->ssdp->errorString());
        return false;
    }
    connect(p->ssdp, &QUdpSocket::readyRead, this, [this] { p->readSearches(); });

    p->replies = new QUdpSocket(this);
    if (!p->replies->bind(address, 0)) {
        *error = QStringLiteral("Network module: answer socket on %1: %2")
                .arg(cfg.address, p->replies->errorString());
        return false;
    }

    // Both servers keep each connection's partial request until it is complete.
    const auto listen = [this, &address, error](QTcpServer **server, quint16 port, bool http) {
        *server = new QTcpServer(this);
        if (!(*server)->listen(address, port)) {
            *error = QStringLiteral("Network module: port %1 on %2: %3")
                    .arg(port).arg(cfg.address, (*server)->errorString());
            return false;
        }
        QTcpServer *listening = *server;
        connect(listening, &QTcpServer::newConnection, this, [this, listening, http] {
            while (QTcpSocket *socket = listening->nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, http] {
                    if (http)
                        p->serveDescription(socket);
                    else
                        p->serveControl(socket);
                });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    p->pending.remove(socket);
                    socket->deleteLater();
                });
            }
        });
        return true;
    };
    return listen(&p->http, cfg.httpPort, true) && listen(&p->control, cfg.controlPort, false);
}

}  // namespace pelrasim
