// Discovery wire formats and status texts, without any network.
#include "zest_parse.h"
#include "zestetm1.h"

#include <QtTest>

#include <cstring>

using namespace zest;

namespace {

struct HandlerCall {
    QByteArray function;
    ZestStatus status;
    QByteArray message;
};
QList<HandlerCall> handlerCalls;

void RecordFailure(const char *function, ZestModuleInfo *, ZestStatus status, const char *message)
{
    handlerCalls.append({function, status, message});
}

std::string_view View(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

}  // namespace

class TestZestParse : public QObject
{
    Q_OBJECT

private slots:
    void searchRequest_roundsWaitUpToWholeSeconds_data();
    void searchRequest_roundsWaitUpToWholeSeconds();
    void searchAnswer_acceptsOnlyModuleAnswersWithLocation_data();
    void searchAnswer_acceptsOnlyModuleAnswersWithLocation();
    void location_splitsHostPortPath_data();
    void location_splitsHostPortPath();
    void description_requestTextAndStatusLine();
    void controlUrl_needsFourOctetsAndPort_data();
    void controlUrl_needsFourOctetsAndPort();
    void settings_decodedBigEndianFromExactSizes();
    void errorMessage_givesTableTextsAndRejectsOtherCodes_data();
    void errorMessage_givesTableTextsAndRejectsOtherCodes();
    void errorHandler_receivesEveryReportedFailure();
    void freeCards_acceptsNull();
};

void TestZestParse::searchRequest_roundsWaitUpToWholeSeconds_data()
{
    QTest::addColumn<quint32>("waitMs");
    QTest::addColumn<quint32>("mx");
    QTest::newRow("0 ms") << 0u << 0u;
    QTest::newRow("200 ms") << 200u << 1u;
    QTest::newRow("1000 ms") << 1000u << 1u;
    QTest::newRow("1001 ms") << 1001u << 2u;
    QTest::newRow("1500 ms") << 1500u << 2u;
    QTest::newRow("largest wait does not wrap") << 0xFFFFFFFFu << 4294968u;
}

void TestZestParse::searchRequest_roundsWaitUpToWholeSeconds()
{
    QFETCH(quint32, waitMs);
    QFETCH(quint32, mx);
    QCOMPARE(SearchMx(waitMs), mx);
    const std::string expected = "M-SEARCH * HTTP/1.1\r\nST: upnp:rootdevice\r\nMX: "
            + std::to_string(mx)
            + "\r\nMAN: \"ssdp:discover\"\r\nHOST: 239.255.255.250:1900\r\n";
    QCOMPARE(SearchRequest(waitMs), expected);
}

void TestZestParse::searchAnswer_acceptsOnlyModuleAnswersWithLocation_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<unsigned>("generations");

    const QByteArray tail = "LOCATION: http://10.1.2.3:80/d.xml\r\nEXT:\r\n\r\n";
    QTest::newRow("search answer") << "HTTP/1.1 200 OK\r\nSERVER: GigExpedite2\r\n" + tail
                                   << true << QByteArray("http://10.1.2.3:80/d.xml")
                                   << unsigned(Generation2);
    QTest::newRow("notify, lower case") << "notify * HTTP/1.1\r\nNT: GigExpedite3\r\n" + tail
                                        << true << QByteArray("http://10.1.2.3:80/d.xml")
                                        << unsigned(Generation3);
    QTest::newRow("both generations") << "Http/1.1 200 Ok\r\nX: GigExpedite2 GigExpedite3\r\n" + tail
                                      << true << QByteArray("http://10.1.2.3:80/d.xml")
                                      << unsigned(Generation2 | Generation3);
    QTest::newRow("location on the last line, bare newline")
            << QByteArray("HTTP/1.1 200 OK\nGigExpedite2\nLOCATION: http://h/p\n")
            << true << QByteArray("http://h/p") << unsigned(Generation2);
    QTest::newRow("other status") << "HTTP/1.1 404 Not Found\r\nGigExpedite2\r\n" + tail
                                  << false << QByteArray() << 0u;
    QTest::newRow("search request") << "M-SEARCH * HTTP/1.1\r\nGigExpedite2\r\n" + tail
                                    << false << QByteArray() << 0u;
    QTest::newRow("other device") << "HTTP/1.1 200 OK\r\nSERVER: GigExpedite1\r\n" + tail
                                  << false << QByteArray() << 0u;
    QTest::newRow("no location") << QByteArray("HTTP/1.1 200 OK\r\nGigExpedite2\r\nUSN: x\r\n")
                                 << false << QByteArray() << 0u;
    QTest::newRow("ends at LOCATION") << QByteArray("HTTP/1.1 200 OK\r\nGigExpedite2\r\nLOCATION")
                                      << false << QByteArray() << 0u;
    QTest::newRow("empty location") << QByteArray("HTTP/1.1 200 OK\r\nGigExpedite2\r\nLOCATION: \r\n")
                                    << false << QByteArray() << 0u;

    const QByteArray head = "HTTP/1.1 200 OK\r\nSERVER: GigExpedite2\r\n" + tail + "X: ";
    QTest::newRow("1024 bytes") << head + QByteArray(1024 - head.size(), 'x')
                                << true << QByteArray("http://10.1.2.3:80/d.xml")
                                << unsigned(Generation2);
    QTest::newRow("1025 bytes") << head + QByteArray(1025 - head.size(), 'x')
                                << false << QByteArray() << 0u;
}

void TestZestParse::searchAnswer_acceptsOnlyModuleAnswersWithLocation()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, location);
    QFETCH(unsigned, generations);

    // The answer is copied into a buffer of its exact size so that a read past
    // its end shows up under a memory checker.
    std::unique_ptr<char[]> exact(new char[size_t(answer.size())]);
    std::memcpy(exact.get(), answer.constData(), size_t(answer.size()));
    std::string parsedLocation;
    unsigned parsedGenerations = NoGeneration;
    QCOMPARE(ParseSearchAnswer(std::string_view(exact.get(), size_t(answer.size())),
                               &parsedLocation, &parsedGenerations),
             accepted);
    if (accepted) {
        QCOMPARE(QByteArray::fromStdString(parsedLocation), location);
        QCOMPARE(parsedGenerations, generations);
    }
}

void TestZestParse::location_splitsHostPortPath_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("port");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("host, port, path") << QByteArray("http://192.168.1.20:8080/desc/root.xml") << true
                                      << QByteArray("192.168.1.20") << QByteArray("8080")
                                      << QByteArray("desc/root.xml");
    QTest::newRow("default port") << QByteArray("http://10.0.0.7/d.xml") << true
                                  << QByteArray("10.0.0.7") << QByteArray("80") << QByteArray("d.xml");
    QTest::newRow("empty path") << QByteArray("http://10.0.0.7:81/") << true
                                << QByteArray("10.0.0.7") << QByteArray("81") << QByteArray();
    QTest::newRow("upper-case scheme") << QByteArray("HTTP://10.0.0.7/d.xml") << false
                                       << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("other scheme") << QByteArray("https://10.0.0.7/d.xml") << false
                                  << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("no path") << QByteArray("http://10.0.0.7:80") << false
                             << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("empty host") << QByteArray("http://:80/d.xml") << false
                                << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("empty port") << QByteArray("http://10.0.0.7:/d.xml") << false
                                << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("port not a number") << QByteArray("http://10.0.0.7:8o/d.xml") << false
                                       << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("port out of range") << QByteArray("http://10.0.0.7:65536/d.xml") << false
                                       << QByteArray() << QByteArray() << QByteArray();
}

void TestZestParse::location_splitsHostPortPath()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    Location location;
    QCOMPARE(ParseLocation(View(text), &location), valid);
    if (valid) {
        QFETCH(QByteArray, host);
        QFETCH(QByteArray, port);
        QFETCH(QByteArray, path);
        QCOMPARE(QByteArray::fromStdString(location.host), host);
        QCOMPARE(QByteArray::fromStdString(location.port), port);
        QCOMPARE(QByteArray::fromStdString(location.path), path);
    }
}

void TestZestParse::description_requestTextAndStatusLine()
{
    Location location;
    QVERIFY(ParseLocation("http://10.0.0.7/desc/root.xml", &location));
    QCOMPARE(DescriptionRequest(location),
             std::string("GET /desc/root.xml HTTP/1.1\r\nHOST: 10.0.0.7:80\r\n"
                         "Content-length: 0\r\n\r\n"));

    QVERIFY(IsHttpOk("http/1.1 200 ok\r\n\r\n"));
    QVERIFY(!IsHttpOk("HTTP/1.1 404 Not Found\r\n\r\n"));
    QVERIFY(!IsHttpOk("HTTP/1.0 200 OK\r\n\r\n"));
    QVERIFY(!IsHttpOk("HTTP/1.1 20"));

    std::string_view body;
    QVERIFY(HttpBody("HTTP/1.1 200 OK\r\nA: b\r\n\r\n<root/>\r\n\r\nmore", &body));
    QCOMPARE(QByteArray(body.data(), int(body.size())), QByteArray("<root/>\r\n\r\nmore"));
    QVERIFY(HttpBody("HTTP/1.1 200 OK\nA: b\n\n<root/>", &body));
    QCOMPARE(QByteArray(body.data(), int(body.size())), QByteArray("<root/>"));
    QVERIFY(!HttpBody("HTTP/1.1 200 OK\r\nA: b\r\n", &body));
}

void TestZestParse::controlUrl_needsFourOctetsAndPort_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("address and port")
            << QByteArray("<service><controlURL>192.168.1.20:5000</controlURL></service>")
            << true << QByteArray::fromHex("c0a80114") << 5000;
    QTest::newRow("highest values") << QByteArray("<controlURL>255.255.255.255:65535")
                                    << true << QByteArray::fromHex("ffffffff") << 65535;
    QTest::newRow("no controlURL") << QByteArray("<SCPDURL>192.168.1.20:5000</SCPDURL>")
                                   << false << QByteArray() << 0;
    QTest::newRow("no port") << QByteArray("<controlURL>192.168.1.20</controlURL>")
                             << false << QByteArray() << 0;
    QTest::newRow("empty port") << QByteArray("<controlURL>192.168.1.20:</controlURL>")
                                << false << QByteArray() << 0;
    QTest::newRow("ends after colon") << QByteArray("<controlURL>192.168.1.20:")
                                      << false << QByteArray() << 0;
    QTest::newRow("three octets") << QByteArray("<controlURL>192.168.1:5000</controlURL>")
                                  << false << QByteArray() << 0;
    QTest::newRow("octet over 255") << QByteArray("<controlURL>192.168.257.20:5000</controlURL>")
                                    << false << QByteArray() << 0;
    QTest::newRow("port over 65535") << QByteArray("<controlURL>192.168.1.20:70000</controlURL>")
                                     << false << QByteArray() << 0;
    QTest::newRow("port 0") << QByteArray("<controlURL>192.168.1.20:0</controlURL>")
                            << false << QByteArray() << 0;
    QTest::newRow("blank before address") << QByteArray("<controlURL> 192.168.1.20:5000")
                                          << false << QByteArray() << 0;
    QTest::newRow("host name") << QByteArray("<controlURL>module.local:5000</controlURL>")
                               << false << QByteArray() << 0;
}

void TestZestParse::controlUrl_needsFourOctetsAndPort()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, valid);
    QFETCH(QByteArray, address);
    QFETCH(int, port);
    uint8_t parsed[4] = {0, 0, 0, 0};
    uint16_t parsedPort = 0;
    QCOMPARE(ParseControlUrl(View(body), parsed, &parsedPort), valid);
    if (valid) {
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(parsed), 4), address);
        QCOMPARE(int(parsedPort), port);
    }
}

void TestZestParse::settings_decodedBigEndianFromExactSizes()
{
    // command, -, status, -, version, word 6, long 8, 12-15, bytes 16, bytes 20,
    // word 24, control port, bytes 28, 34-35
    const QByteArray reply = QByteArray::fromHex(
            "f0 00 05 00  012c 0102  a1b2c3d4  00000000  10111213  20212223"
            "  a542  1389  282930313233  0000");
    QCOMPARE(reply.size(), 36);
    ZestModuleInfo record;
    std::memset(&record, 0, sizeof record);
    uint8_t status = 0;
    const auto *bytes = reinterpret_cast<const uint8_t *>(reply.constData());
    QVERIFY(DecodeSettings(bytes, 36, &record, &status));
    QCOMPARE(status, uint8_t(5));
    QCOMPARE(record.firmwareVersion, uint64_t(300));
    QCOMPARE(record.settingsWord6, uint64_t(0x0102));
    QCOMPARE(record.settingsLong8, uint64_t(0xa1b2c3d4));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.settingsBytes16), 4),
             QByteArray::fromHex("10111213"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.settingsBytes20), 4),
             QByteArray::fromHex("20212223"));
    QCOMPARE(record.settingsWord24, uint16_t(0xa542));
    QCOMPARE(record.controlPort, uint16_t(5001));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.settingsBytes28), 6),
             QByteArray::fromHex("282930313233"));
    QVERIFY(!DecodeSettings(bytes, 35, &record, &status));

    const QByteArray extended = QByteArray::fromHex("ea000000") + QByteArray("0123456789abcdef");
    const auto *extendedBytes = reinterpret_cast<const uint8_t *>(extended.constData());
    QVERIFY(DecodeExtended(extendedBytes, 20, &record));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.extendedInfo), 16),
             QByteArray("0123456789abcdef"));
    QVERIFY(!DecodeExtended(extendedBytes, 19, &record));
}

void TestZestParse::errorMessage_givesTableTextsAndRejectsOtherCodes_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<quint32>("result");
    QTest::addColumn<QByteArray>("text");
    const char *const texts[] = {
        "Error communicating with socket",
        "An unspecified internal error occurred",
        "Status code is out of range",
        "NULL was used illegally as one of the parameter values",
        "Not enough memory to complete the requested operation",
        "The requested connection type is invalid",
        "The requested connection is invalid",
        "The connection was closed unexpectedly",
        "Operation timed out",
        "One of the parameters has an illegal value",
        "This function is not supported by the GigExpedite firmware version installed",
    };
    QTest::newRow("0x0") << 0u << 0u << QByteArray("Success (no error)");
    for (quint32 i = 0; i < 11; ++i) {
        const quint32 code = 0x8000 + i;
        QTest::addRow("0x%x", code) << code << 0u << QByteArray(texts[i]);
    }
    for (quint32 code : {0x800Bu, 0x4001u, 0x7FFFu, 0xFFFFFFFFu})
        QTest::addRow("0x%x", code) << code << 0x8002u << QByteArray("Status code is out of range");
}

void TestZestParse::errorMessage_givesTableTextsAndRejectsOtherCodes()
{
    QFETCH(quint32, code);
    QFETCH(quint32, result);
    QFETCH(QByteArray, text);
    const char *message = nullptr;
    QCOMPARE(ZestETM1GetErrorMessage(code, &message), result);
    QVERIFY(message);
    QCOMPARE(QByteArray(message), text);
}

void TestZestParse::errorHandler_receivesEveryReportedFailure()
{
    handlerCalls.clear();
    QCOMPARE(ZestETM1RegisterErrorHandler(&RecordFailure), ZestOk);

    const char *message = nullptr;
    QCOMPARE(ZestETM1GetErrorMessage(0x800B, &message), ZestStatus(0x8002));
    QCOMPARE(ZestETM1GetErrorMessage(0x8008, nullptr), ZestStatus(0x8003));
    ZestModuleInfo *cards = nullptr;
    QCOMPARE(ZestETM1CountCards(nullptr, &cards, 200), ZestStatus(0x8003));
    QCOMPARE(ZestETM1GetErrorMessage(0x8008, &message), ZestOk);   // no failure, no call

    QCOMPARE(handlerCalls.size(), 3);
    QCOMPARE(handlerCalls[0].function, QByteArray("ZestETM1GetErrorMessage"));
    QCOMPARE(handlerCalls[0].status, ZestStatus(0x8002));
    QCOMPARE(handlerCalls[0].message, QByteArray("Status code is out of range"));
    QCOMPARE(handlerCalls[1].status, ZestStatus(0x8003));
    QCOMPARE(handlerCalls[2].function, QByteArray("ZestETM1CountCards"));
    QCOMPARE(handlerCalls[2].status, ZestStatus(0x8003));
    QCOMPARE(handlerCalls[2].message,
             QByteArray("NULL was used illegally as one of the parameter values"));

    QCOMPARE(ZestETM1RegisterErrorHandler(nullptr), ZestOk);
    QCOMPARE(ZestETM1GetErrorMessage(0x800B, &message), ZestStatus(0x8002));
    QCOMPARE(handlerCalls.size(), 3);
}

void TestZestParse::freeCards_acceptsNull()
{
    QCOMPARE(ZestETM1Init(), ZestOk);
    QCOMPARE(ZestETM1FreeCards(nullptr), ZestOk);
    QCOMPARE(ZestETM1Close(), ZestOk);
}

QTEST_APPLESS_MAIN(TestZestParse)
#include "tst_zestparse.moc"
