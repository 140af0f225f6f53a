#include "pelrasim.h"

#include "simcard.h"
#include "simendpoint.h"
#include "simnetmodule.h"
#include "simscenario.h"
#include "simservers.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <vector>

namespace pelrasim {

class SimulatorPrivate
{
public:
    CardModel *card(quint16 id) const
    {
        for (const auto &c : cards)
            if (c->id() == id)
                return c.get();
        return nullptr;
    }

    LinkEndpoint *endpoint(quint16 cardId, Link kind) const
    {
        for (const auto &e : endpoints)
            if (e->kind() == kind && e->hasCard(cardId))
                return e.get();
        return nullptr;
    }

    const EndpointSettings *settingsOf(const LinkEndpoint *e) const
    {
        for (int i = 0; i < int(endpoints.size()); ++i)
            if (endpoints[size_t(i)].get() == e)
                return &scenario.endpoints[i];
        return nullptr;
    }

    // Runs on the worker thread.
    bool startServers(QString *error);

    mutable QMutex mutex;
    Scenario scenario;
    std::vector<std::unique_ptr<CardModel>> cards;
    std::vector<std::unique_ptr<LinkEndpoint>> endpoints;
    QString dir;
    QThread thread;
    QObject *host = nullptr;                            // lives on the worker thread
    QHash<const LinkEndpoint *, UsbLinkServer *> usbServers;   // worker thread only
    bool running = false;
};

bool SimulatorPrivate::startServers(QString *error)
{
    for (const auto &e : endpoints) {
        const EndpointSettings *s = settingsOf(e.get());
        switch (e->kind()) {
        case Link::GigE: {
            auto *server = new TcpLinkServer(e.get(), &mutex, host);
            if (!server->start(QHostAddress(e->name()), s->tcpPort, error))
                return false;
            e->publishedPath = QStringLiteral("%1:%2").arg(e->name()).arg(s->tcpPort);
            auto *module = new NetModule(s->module, host);
            QString why;
            if (!module->start(&why)) {
                *error = QStringLiteral("Network module %1: %2").arg(e->name(), why);
                return false;
            }
            break;
        }
        case Link::UART: {
            auto *server = new PtyLinkServer(e.get(), &mutex, host);
            if (!server->start(dir + QStringLiteral("/uart/") + e->name(), s->uartVendor, error))
                return false;
            break;
        }
        case Link::USB: {
            auto *server = new UsbLinkServer(e.get(), &mutex, s->usbVersion, s->usbChannels, host);
            if (!server->start(dir + QStringLiteral("/usb/") + e->name(), error))
                return false;
            usbServers.insert(e.get(), server);
            break;
        }
        }
    }
    return true;
}

Simulator::Simulator()
    : d(new SimulatorPrivate)
{
    d->dir = qEnvironmentVariable("PELRA_SIM_DIR");
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::loadScenarioFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("Cannot read scenario %1: %2").arg(path, file.errorString());
        return false;
    }
    return loadScenarioText(QString::fromUtf8(file.readAll()), error);
}

bool Simulator::loadScenarioText(const QString &text, QString *error)
{
    if (d->running) {
        *error = QStringLiteral("Cannot load a scenario while the simulator runs");
        return false;
    }
    Scenario scenario;
    if (!parseScenario(text, &scenario, error))
        return false;
    QMutexLocker locker(&d->mutex);
    d->scenario = scenario;
    d->cards.clear();
    d->endpoints.clear();
    for (const CardSettings &c : scenario.cards)
        d->cards.push_back(std::make_unique<CardModel>(c));
    for (const EndpointSettings &s : scenario.endpoints) {
        auto e = std::make_unique<LinkEndpoint>(s.kind, s.name);
        e->setEmptyReply(s.emptySilent, s.emptyValue);
        for (int index : s.cards)
            e->addCard(d->cards[size_t(index)].get());
        d->endpoints.push_back(std::move(e));
    }
    return true;
}

void Simulator::setDeviceDir(const QString &dir)
{
    d->dir = dir;
}

QString Simulator::deviceDir() const
{
    return d->dir;
}

bool Simulator::start(QString *error)
{
    if (d->running)
        return true;
    if (d->cards.empty()) {
        *error = QStringLiteral("No scenario loaded");
        return false;
    }
    if (d->dir.isEmpty()) {
        *error = QStringLiteral("No device folder: name one with --dir or PELRA_SIM_DIR");
        return false;
    }
    for (const char *sub : {"/usb", "/uart"}) {
        if (!QDir().mkpath(d->dir + QLatin1String(sub))) {
            *error = QStringLiteral("Cannot create %1").arg(d->dir + QLatin1String(sub));
            return false;
        }
    }
    d->thread.setObjectName(QStringLiteral("pelra-sim"));
    d->thread.start();
    d->host = new QObject;
    d->host->moveToThread(&d->thread);
    d->running = true;
    bool ok = false;
    QString why;
    QMetaObject::invokeMethod(d->host, [this, &ok, &why] { ok = d->startServers(&why); }, Qt::BlockingQueuedConnection);
    if (!ok) {
        stop();
        *error = why;
        return false;
    }
    return true;
}

void Simulator::stop()
{
    if (!d->running)
        return;
    QMetaObject::invokeMethod(
        d->host, [this] {
            d->usbServers.clear();
            // children() is live: deleting while walking it would skip and repeat entries.
            const QObjectList servers = d->host->children();
            qDeleteAll(servers);
        },
        Qt::BlockingQueuedConnection);
    d->thread.quit();
    d->thread.wait();
    delete d->host;
    d->host = nullptr;
    d->running = false;
    QMutexLocker locker(&d->mutex);
    for (const auto &e : d->endpoints)
        e->publishedPath.clear();
}

quint16 Simulator::cardRegister(quint16 cardId, quint16 address) const
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    return c ? c->read(address) : 0;
}

void Simulator::setCardRegister(quint16 cardId, quint16 address, quint16 value)
{
    QMutexLocker locker(&d->mutex);
    if (CardModel *c = d->card(cardId))
        c->poke(address, value);
}

quint32 Simulator::asicRegister(quint16 cardId, int asicIndex, quint16 address) const
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    if (!c || asicIndex < 0 || asicIndex >= c->asicCount())
        return 0;
    return c->asic(asicIndex).read(address);
}

void Simulator::setAsicRegister(quint16 cardId, int asicIndex, quint16 address, quint32 value)
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    if (c && asicIndex >= 0 && asicIndex < c->asicCount())
        c->asic(asicIndex).write(address, value);
}

int Simulator::asicResetPulses(quint16 cardId) const
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    return c ? c->asicResetEdges() : 0;
}

void Simulator::raiseErrorCounter(quint16 cardId, int index, quint16 amount)
{
    QMutexLocker locker(&d->mutex);
    if (CardModel *c = d->card(cardId))
        c->raiseErrorCounter(index, amount);
}

ExposureState Simulator::asicExposure(quint16 cardId, int asicIndex) const
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    if (!c || asicIndex < 0 || asicIndex >= c->asicCount())
        return ExposureState();
    return c->asic(asicIndex).exposure();
}

QVector<RegisterWrite> Simulator::registerWrites(quint16 cardId) const
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    return c ? c->writes().entries() : QVector<RegisterWrite>();
}

void Simulator::clearRegisterWrites()
{
    QMutexLocker locker(&d->mutex);
    for (const auto &c : d->cards)
        c->writes().clear();
}

void Simulator::setFault(quint16 cardId, Link link, Fault fault, int count, int lateMs)
{
    QMutexLocker locker(&d->mutex);
    if (LinkEndpoint *e = d->endpoint(cardId, link))
        e->setFault(fault, count, lateMs);
}

void Simulator::setScienceFault(quint16 cardId, Link link, ScienceFault fault, int frameIndex)
{
    QMutexLocker locker(&d->mutex);
    if (CardModel *c = d->card(cardId))
        c->science().setFault(link, fault, frameIndex);
}

quint64 Simulator::scienceFramesSent(quint16 cardId, Link link) const
{
    QMutexLocker locker(&d->mutex);
    CardModel *c = d->card(cardId);
    return c ? c->science().framesSent(link) : 0;
}

void Simulator::clearFaults()
{
    QMutexLocker locker(&d->mutex);
    for (const auto &e : d->endpoints)
        e->clearFault();
}

QList<QByteArray> Simulator::receivedPackets(quint16 cardId, Link link) const
{
    QMutexLocker locker(&d->mutex);
    LinkEndpoint *e = d->endpoint(cardId, link);
    return e ? e->packets : QList<QByteArray>();
}

int Simulator::packetCount(quint16 cardId, Link link) const
{
    QMutexLocker locker(&d->mutex);
    LinkEndpoint *e = d->endpoint(cardId, link);
    return e ? e->packets.size() : 0;
}

void Simulator::clearTraffic()
{
    QMutexLocker locker(&d->mutex);
    for (const auto &e : d->endpoints)
        e->packets.clear();
}

int Simulator::connectionCount(quint16 cardId, Link link) const
{
    QMutexLocker locker(&d->mutex);
    LinkEndpoint *e = d->endpoint(cardId, link);
    return e ? e->connections : 0;
}

QString Simulator::uartPortName(quint16 cardId) const
{
    QMutexLocker locker(&d->mutex);
    LinkEndpoint *e = d->endpoint(cardId, Link::UART);
    return e ? e->publishedPath : QString();
}

QString Simulator::usbSerialNumber(quint16 cardId) const
{
    QMutexLocker locker(&d->mutex);
    LinkEndpoint *e = d->endpoint(cardId, Link::USB);
    return e ? e->name() : QString();
}

QString Simulator::gigeAddress(quint16 cardId) const
{
    QMutexLocker locker(&d->mutex);
    LinkEndpoint *e = d->endpoint(cardId, Link::GigE);
    return e ? e->name() : QString();
}

void Simulator::sendUsbData(quint16 cardId, quint8 pipe, const QByteArray &bytes)
{
    if (!d->running || (pipe != 0x82 && pipe != 0x83))
        return;
    const LinkEndpoint *e = nullptr;
    {
        QMutexLocker locker(&d->mutex);
        e = d->endpoint(cardId, Link::USB);
    }
    if (!e)
        return;
    QMetaObject::invokeMethod(
        d->host, [this, e, pipe, bytes] {
            if (UsbLinkServer *server = d->usbServers.value(e))
                server->sendToAll(pipe, bytes);
        },
        Qt::BlockingQueuedConnection);
}

QStringList Simulator::linkDescriptions() const
{
    QMutexLocker locker(&d->mutex);
    QStringList lines;
    for (const auto &e : d->endpoints) {
        QStringList ids;
        for (CardModel *c : e->cards())
            ids << QStringLiteral("0x%1@%2").arg(c->id(), 4, 16, QLatin1Char('0')).arg(c->position());
        const QString kind = e->kind() == Link::USB ? QStringLiteral("USB") : e->kind() == Link::UART ? QStringLiteral("UART")
                                                                                                      : QStringLiteral("GigE");
        QString line = QStringLiteral("%1 %2 -> %3 (cards %4)").arg(kind, e->name(), e->publishedPath, ids.join(QLatin1Char(' ')));
        if (e->kind() == Link::UART)
            line += QStringLiteral(" via ") + d->dir + QStringLiteral("/uart/") + e->name();
        lines << line;
    }
    return lines;
}

}  // namespace pelrasim
