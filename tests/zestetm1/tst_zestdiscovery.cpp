// Module discovery over loopback (run inside scripts/netns-run only): the
// simulated network modules and scripted servers that answer badly run on a
// thread of their own, because ZestETM1CountCards blocks the test thread.
#include "simnetmodule.h"
#include "zestetm1.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <vector>

using pelrasim::NetModule;
using pelrasim::NetModuleConfig;

namespace {

constexpr quint32 kWaitMs = 250;
// A search with well-behaved modules costs its wait, with room to spare; a
// listed module is asked only once, however many answers it sends.
constexpr qint64 kSearchLimitMs = 3 * kWaitMs;
// A module that is not listed is asked again on each of the three search
// answers, so a silent one costs its exchange's wait up to three times.
constexpr qint64 kUnlistedSearchLimitMs = 3 * kWaitMs + 3 * kWaitMs;

// Runs functions on a thread with an event loop, one at a time, blocking.
class ServerThread
{
public:
    ServerThread()
    {
        context.moveToThread(&thread);
        thread.start();
    }
    ~ServerThread()
    {
        thread.quit();
        thread.wait();
    }
    void run(const std::function<void()> &work)
    {
        QMetaObject::invokeMethod(&context, work, Qt::BlockingQueuedConnection);
    }

private:
    QThread thread;
    QObject context;
};

struct Found {
    QString address;
    quint16 controlPort;
    quint64 firmwareVersion;
    quint64 timeoutMs;
    QByteArray extendedInfo;
};

// One search; the records sorted by address.
std::vector<Found> Search(quint32 waitMs, qint64 *elapsedMs = nullptr)
{
    unsigned long count = 0;
    ZestModuleInfo *cards = nullptr;
    QElapsedTimer timer;
    timer.start();
    const ZestStatus status = ZestETM1CountCards(&count, &cards, waitMs);
    if (elapsedMs)
        *elapsedMs = timer.elapsed();
    std::vector<Found> found;
    if (status != ZestOk)
        return found;
    for (unsigned long i = 0; i < count; ++i) {
        const ZestModuleInfo &card = cards[i];
        found.push_back({QStringLiteral("%1.%2.%3.%4").arg(card.ipAddr[0]).arg(card.ipAddr[1])
                                 .arg(card.ipAddr[2]).arg(card.ipAddr[3]),
                         card.controlPort, card.firmwareVersion, card.timeoutMs,
                         QByteArray(reinterpret_cast<const char *>(card.extendedInfo), 16)});
    }
    ZestETM1FreeCards(cards);
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.address < b.address; });
    return found;
}

QStringList Addresses(const std::vector<Found> &found)
{
    QStringList addresses;
    for (const Found &module : found)
        addresses << module.address;
    return addresses;
}

QNetworkInterface Loopback()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &candidate : interfaces) {
        if (candidate.flags() & QNetworkInterface::IsLoopBack)
            return candidate;
    }
    return QNetworkInterface();
}

// A network module whose every answer is given by the test, byte for byte.
//   {LOC} in a search answer becomes its location, {CTRL} in the description
//   its control address; "SILENT" means the connection is accepted but never
//   answered.
struct Script {
    QString answerFrom = QStringLiteral("127.1.2.1");    // source of the search answers
    QString httpAddress = QStringLiteral("127.1.2.1");
    QString controlAddress = QStringLiteral("127.1.2.1");
    quint16 httpPort = 8081;
    quint16 controlPort = 5001;
    QList<QByteArray> searchAnswers;
    QByteArray description;
    QByteArray settings;
    QByteArray extended;
    bool closeAfterSettings = false;
};

const QByteArray kSilent = "SILENT";
const QByteArray kGoodAnswer = "HTTP/1.1 200 OK\r\nSERVER: Linux UPnP/1.0 GigExpedite2/1.0\r\n"
                               "LOCATION: {LOC}\r\nST: upnp:rootdevice\r\n\r\n";
const QByteArray kGoodDescription = "HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/xml\r\n\r\n"
                                    "<root><device><controlURL>{CTRL}</controlURL></device></root>";
// Firmware 200 (no extended exchange), control port 5001.
const QByteArray kSettings200 = QByteArray::fromHex(
        "f0 00 00 00  00c8 0001  7f010201  00000000  7f000001 ff000000"
        "  a542  1389  025045010201  0000");

class ScriptedModule
{
public:
    explicit ScriptedModule(const Script &script) : s(script) {}
    ~ScriptedModule() { delete root; }

    QString location() const
    {
        return QStringLiteral("http://%1:%2/desc.xml").arg(s.httpAddress).arg(s.httpPort);
    }

    bool start()
    {
        const QHostAddress group(QStringLiteral("239.255.255.250"));
        auto *ssdp = new QUdpSocket(root);
        auto *replies = new QUdpSocket(root);
        if (!ssdp->bind(QHostAddress::AnyIPv4, 1900,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)
                || !ssdp->joinMulticastGroup(group, Loopback())
                || !replies->bind(QHostAddress(s.answerFrom), 0))
            return false;
        QObject::connect(ssdp, &QUdpSocket::readyRead, root, [this, ssdp, replies] {
            while (ssdp->hasPendingDatagrams()) {
                const QNetworkDatagram search = ssdp->receiveDatagram();
                searches << search.data();
                for (QByteArray answer : qAsConst(s.searchAnswers)) {
                    answer.replace("{LOC}", location().toLatin1());
                    replies->writeDatagram(answer, search.senderAddress(),
                                           quint16(search.senderPort()));
                }
            }
        });
        return serve(s.httpAddress, s.httpPort, [this](QTcpSocket *socket, QByteArray *pending) {
                   if (!pending->contains("\r\n\r\n"))
                       return;
                   descriptionRequests << *pending;
                   pending->clear();
                   if (s.description == kSilent)
                       return;
                   QByteArray answer = s.description;
                   answer.replace("{CTRL}", QStringLiteral("%1:%2").arg(s.controlAddress)
                                                    .arg(s.controlPort).toLatin1());
                   socket->write(answer);
                   socket->disconnectFromHost();
               })
                && serve(s.controlAddress, s.controlPort, [this](QTcpSocket *socket,
                                                               QByteArray *pending) {
                       while (pending->size() >= 4) {
                           const QByteArray request = pending->left(4);
                           pending->remove(0, 4);
                           controlRequests << request;
                           const QByteArray &answer = uchar(request[0]) == 0xF0 ? s.settings
                                                                                 : s.extended;
                           if (answer == kSilent)
                               continue;
                           socket->write(answer);
                           if (s.closeAfterSettings)
                               socket->disconnectFromHost();
                       }
                   });
    }

    QList<QByteArray> searches;
    QList<QByteArray> descriptionRequests;
    QList<QByteArray> controlRequests;

private:
    using Handler = std::function<void(QTcpSocket *, QByteArray *)>;

    bool serve(const QString &address, quint16 port, Handler handler)
    {
        auto *server = new QTcpServer(root);
        if (!server->listen(QHostAddress(address), port))
            return false;
        QObject::connect(server, &QTcpServer::newConnection, root, [this, server, handler] {
            while (QTcpSocket *socket = server->nextPendingConnection()) {
                auto pending = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, root, [socket, pending, handler] {
                    *pending += socket->readAll();
                    handler(socket, pending.get());
                });
            }
        });
        return true;
    }

    Script s;
    QObject *root = new QObject;
};

NetModuleConfig SecondModule()
{
    NetModuleConfig config;
    config.address = QStringLiteral("127.1.1.2");
    config.httpPort = 8090;
    config.controlPort = 5010;
    config.firmwareVersion = 299;
    config.generation = 3;
    return config;
}

}  // namespace

Q_DECLARE_METATYPE(Script)

class TestZestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void search_findsSimulatedModulesWithTheirSettings();
    void search_dropsOnlyFaultyModule_data();
    void search_dropsOnlyFaultyModule();
    void search_asksAgainAModuleWhoseFirstExchangeFailed();
    void search_sendsExactRequestsAndDecodesSettings();
    void search_dropsBadlyAnsweringModuleWithinItsTimeouts_data();
    void search_dropsBadlyAnsweringModuleWithinItsTimeouts();

private:
    ServerThread server;
};

void TestZestDiscovery::search_findsSimulatedModulesWithTheirSettings()
{
    NetModuleConfig first;
    first.address = QStringLiteral("127.1.1.1");
    NetModule *modules[2] = {};
    QString error;
    bool started = false;
    server.run([&] {
        modules[0] = new NetModule(first);
        modules[1] = new NetModule(SecondModule());
        started = modules[0]->start(&error) && modules[1]->start(&error);
    });
    QVERIFY2(started, qPrintable(error));

    qint64 elapsed = 0;
    const std::vector<Found> found = Search(kWaitMs, &elapsed);
    int answered[2] = {};
    server.run([&] {
        answered[0] = modules[0]->searchesAnswered();
        answered[1] = modules[1]->searchesAnswered();
        delete modules[0];
        delete modules[1];
    });

    QCOMPARE(Addresses(found), QStringList({"127.1.1.1", "127.1.1.2"}));
    QCOMPARE(found[0].controlPort, quint16(5000));
    QCOMPARE(found[0].firmwareVersion, quint64(300));
    QCOMPARE(found[0].timeoutMs, quint64(10000));
    QCOMPARE(found[0].extendedInfo, QByteArray("PELRA-SIM-NETMOD"));
    QCOMPARE(found[1].controlPort, quint16(5010));
    QCOMPARE(found[1].firmwareVersion, quint64(299));
    QCOMPARE(found[1].extendedInfo, QByteArray(16, '\0'));
    QCOMPARE(answered[0], 3);
    QCOMPARE(answered[1], 3);
    QVERIFY(elapsed >= qint64(kWaitMs) - 10);
    QVERIFY2(elapsed < kSearchLimitMs, qPrintable(QString::number(elapsed)));
}

void TestZestDiscovery::search_dropsOnlyFaultyModule_data()
{
    QTest::addColumn<bool>("noControlUrl");
    QTest::addColumn<bool>("noControlPort");
    QTest::addColumn<int>("firmwareVersion");
    QTest::addColumn<int>("statusByte");
    QTest::addColumn<bool>("answerTwice");
    QTest::addColumn<bool>("listed");
    QTest::newRow("no controlURL") << true << false << 300 << 0 << false << false;
    QTest::newRow("control address without port") << false << true << 300 << 0 << false << false;
    QTest::newRow("status byte set, firmware 300") << false << false << 300 << 1 << false << false;
    QTest::newRow("status byte ignored below firmware 300")
            << false << false << 299 << 1 << false << true;
    QTest::newRow("answering twice") << false << false << 300 << 0 << true << true;
}

void TestZestDiscovery::search_dropsOnlyFaultyModule()
{
    QFETCH(bool, noControlUrl);
    QFETCH(bool, noControlPort);
    QFETCH(int, firmwareVersion);
    QFETCH(int, statusByte);
    QFETCH(bool, answerTwice);
    QFETCH(bool, listed);

    NetModuleConfig faulty;
    faulty.address = QStringLiteral("127.1.1.1");
    faulty.noControlUrl = noControlUrl;
    faulty.noControlPort = noControlPort;
    faulty.firmwareVersion = firmwareVersion;
    faulty.statusByte = quint8(statusByte);
    faulty.answerTwice = answerTwice;
    NetModule *modules[2] = {};
    QString error;
    bool started = false;
    server.run([&] {
        modules[0] = new NetModule(faulty);
        modules[1] = new NetModule(SecondModule());
        started = modules[0]->start(&error) && modules[1]->start(&error);
    });
    QVERIFY2(started, qPrintable(error));

    const std::vector<Found> found = Search(kWaitMs);
    server.run([&] {
        delete modules[0];
        delete modules[1];
    });

    const QStringList expected = listed ? QStringList({"127.1.1.1", "127.1.1.2"})
                                        : QStringList({"127.1.1.2"});
    QCOMPARE(Addresses(found), expected);
}

void TestZestDiscovery::search_asksAgainAModuleWhoseFirstExchangeFailed()
{
    // Busy at the first search answer: the settings connection closes unanswered.
    NetModuleConfig busy;
    busy.address = QStringLiteral("127.1.1.1");
    busy.dropSettingsConnections = 1;
    NetModule *module = nullptr;
    QString error;
    bool started = false;
    server.run([&] {
        module = new NetModule(busy);
        started = module->start(&error);
    });
    QVERIFY2(started, qPrintable(error));

    const std::vector<Found> found = Search(kWaitMs);
    int answered = 0;
    server.run([&] {
        answered = module->searchesAnswered();
        delete module;
    });
    QCOMPARE(answered, 3);
    QCOMPARE(Addresses(found), QStringList({"127.1.1.1"}));
    QCOMPARE(found[0].controlPort, quint16(5000));
}

void TestZestDiscovery::search_sendsExactRequestsAndDecodesSettings()
{
    Script script;
    script.searchAnswers = {kGoodAnswer};
    script.description = kGoodDescription;
    // Firmware 300; the reply names control port 5002 instead of the
    // description's 5001.
    script.settings = QByteArray::fromHex("f0 00 00 00  012c 0203  0a0b0c0d  00000000  10111213"
                                          "  20212223  a542  138a  282930313233  0000");
    script.extended = QByteArray::fromHex("ea000000") + QByteArray("extended-info-16");
    ScriptedModule *module = nullptr;
    bool started = false;
    server.run([&] {
        module = new ScriptedModule(script);
        started = module->start();
    });
    QVERIFY(started);

    unsigned long count = 0;
    ZestModuleInfo *cards = nullptr;
    QCOMPARE(ZestETM1CountCards(&count, &cards, 200), ZestOk);
    QList<QByteArray> searches, descriptionRequests, controlRequests;
    server.run([&] {
        searches = module->searches;
        descriptionRequests = module->descriptionRequests;
        controlRequests = module->controlRequests;
        delete module;
    });

    const QByteArray search = "M-SEARCH * HTTP/1.1\r\nST: upnp:rootdevice\r\nMX: 1\r\n"
                              "MAN: \"ssdp:discover\"\r\nHOST: 239.255.255.250:1900\r\n";
    QCOMPARE(searches, QList<QByteArray>({search, search, search}));
    QCOMPARE(descriptionRequests,
             QList<QByteArray>({"GET /desc.xml HTTP/1.1\r\nHOST: 127.1.2.1:8081\r\n"
                                "Content-length: 0\r\n\r\n"}));
    QCOMPARE(controlRequests.size(), 2);
    QCOMPARE(uchar(controlRequests[0][0]), uchar(0xF0));
    QCOMPARE(uchar(controlRequests[1][0]), uchar(0xEA));

    QCOMPARE(count, 1ul);
    QVERIFY(cards);
    const ZestModuleInfo &card = cards[0];
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(card.ipAddr), 4),
             QByteArray::fromHex("7f010201"));
    QCOMPARE(card.controlPort, quint16(5002));
    QCOMPARE(card.timeoutMs, quint64(10000));
    QCOMPARE(card.firmwareVersion, quint64(300));
    QCOMPARE(card.settingsWord6, quint64(0x0203));
    QCOMPARE(card.settingsLong8, quint64(0x0a0b0c0d));
    QCOMPARE(card.settingsWord24, quint16(0xa542));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(card.settingsBytes16), 4),
             QByteArray::fromHex("10111213"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(card.settingsBytes20), 4),
             QByteArray::fromHex("20212223"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(card.settingsBytes28), 6),
             QByteArray::fromHex("282930313233"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(card.extendedInfo), 16),
             QByteArray("extended-info-16"));
    QCOMPARE(ZestETM1FreeCards(cards), ZestOk);
}

void TestZestDiscovery::search_dropsBadlyAnsweringModuleWithinItsTimeouts_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<bool>("listed");

    Script good;
    good.searchAnswers = {kGoodAnswer};
    good.description = kGoodDescription;
    good.settings = kSettings200;
    Script s = good;
    QTest::newRow("well-formed answers") << s << true;

    const QByteArray padded = "HTTP/1.1 200 OK\r\nSERVER: GigExpedite3\r\nLOCATION: {LOC}\r\nX: ";
    const int locationGrowth = int(strlen("http://127.1.2.1:8081/desc.xml")) - int(strlen("{LOC}"));
    s = good;
    s.searchAnswers = {padded + QByteArray(1024 - padded.size() - locationGrowth, 'x')};
    QTest::newRow("search answer of 1024 bytes") << s << true;
    s.searchAnswers = {padded + QByteArray(1025 - padded.size() - locationGrowth, 'x')};
    QTest::newRow("search answer of 1025 bytes") << s << false;
    s.searchAnswers = {"notify * HTTP/1.1\r\nNT: GigExpedite2\r\nLOCATION: {LOC}\r\n\r\n"};
    QTest::newRow("notify in lower case") << s << true;
    s.searchAnswers = {"HTTP/1.1 200 OK\r\nSERVER: GigExpedite2\r\nLOCATION"};
    QTest::newRow("search answer cut after LOCATION") << s << false;
    s.searchAnswers = {"HTTP/1.1 200 OK\r\nSERVER: upnp-device\r\nLOCATION: {LOC}\r\n\r\n"};
    QTest::newRow("search answer of another device") << s << false;
    s.searchAnswers = {"HTTP/1.1 200 OK\r\nSERVER: GigExpedite2\r\nLOCATION: HTTP://127.1.2.1:8081/d\r\n"};
    QTest::newRow("location scheme in upper case") << s << false;
    s = good;
    s.answerFrom = QStringLiteral("127.1.2.9");
    QTest::newRow("answer sent from another address than the location") << s << true;

    s = good;
    s.description = "HTTP/1.1 404 Not Found\r\n\r\n<controlURL>{CTRL}</controlURL>";
    QTest::newRow("description status 404") << s << false;
    s.description = "HTTP/1.1 200 OK\r\nX: <controlURL>{CTRL}</controlURL>";
    QTest::newRow("description without blank line") << s << false;
    s.description = "HTTP/1.1 200 OK\r\n\r\n<controlURL>127.1.258.1:5001</controlURL>";
    QTest::newRow("control address octet over 255") << s << false;
    s.description = "HTTP/1.1 200 OK\r\n\r\n<controlURL>127.1.2.1:";
    QTest::newRow("description cut after the colon") << s << false;
    s.description = kSilent;
    QTest::newRow("description never answered") << s << false;

    s = good;
    s.settings = kSettings200.left(35);
    s.closeAfterSettings = true;
    QTest::newRow("settings reply of 35 bytes, then closed") << s << false;
    s.closeAfterSettings = false;
    QTest::newRow("settings reply of 35 bytes, left open") << s << false;
    s.settings = kSilent;
    QTest::newRow("settings never answered") << s << false;
    s.settings = kSettings200;
    s.settings[5] = char(0x2c);
    s.settings[4] = char(0x01);   // firmware 300
    s.extended = QByteArray::fromHex("ea000000") + QByteArray(15, 'e');
    QTest::newRow("extended reply of 19 bytes") << s << false;

    s = good;
    s.searchAnswers = {kGoodAnswer,
                       QByteArray(kGoodAnswer).replace("{LOC}", "http://127.1.2.1:8081/other.xml")};
    QTest::newRow("two locations, one control address") << s << true;
}

void TestZestDiscovery::search_dropsBadlyAnsweringModuleWithinItsTimeouts()
{
    QFETCH(Script, script);
    QFETCH(bool, listed);

    ScriptedModule *scripted = nullptr;
    NetModule *module = nullptr;
    QString error;
    bool started = false;
    server.run([&] {
        scripted = new ScriptedModule(script);
        module = new NetModule(SecondModule());
        started = scripted->start() && module->start(&error);
    });
    QVERIFY2(started, qPrintable(error));

    qint64 elapsed = 0;
    const std::vector<Found> found = Search(kWaitMs, &elapsed);
    server.run([&] {
        delete scripted;
        delete module;
    });

    const QStringList expected = listed ? QStringList({"127.1.1.2", "127.1.2.1"})
                                        : QStringList({"127.1.1.2"});
    QCOMPARE(Addresses(found), expected);
    QVERIFY2(elapsed < (listed ? kSearchLimitMs : kUnlistedSearchLimitMs), qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(TestZestDiscovery)
#include "tst_zestdiscovery.moc"
