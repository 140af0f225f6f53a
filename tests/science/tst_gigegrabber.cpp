// The GigE science receiver against simulated cards over real TCP
// connections: the handshake's register traffic and failures, the ring, the
// test pattern pixel by pixel, a consumer slower than the card, and streams
// that stop half-way through a frame or lose their connection.
#include "../receivebuffer.h"
#include "framelayout.h"
#include "gigeframegrabber.h"
#include "sciencefixture.h"
#include "simscienceframes.h"

#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using pelrasim::Link;
using pelrasim::ScienceFault;

namespace {

// Format word of a port-FIFO test-pattern run with 16-bit words.
constexpr quint16 PatternFormat = 0x70;

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

}  // namespace

class TestGigeGrabber : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ringSize_followsFrameSize_data();
    void ringSize_followsFrameSize();
    void handshake_registerTrafficByteForByte();
    void handshake_failures_data();
    void handshake_failures();
    void otherPeer_failsAndClearsConnectionFlag();
    void testPattern_everyPixelOfEveryFrame();
    void bytesShortOfAFrame_stayPending();
    void slowConsumer_losesNoFrameAndKeepsOrder();
    void ringWrapped_noFrameWaiting_returnsNone();
    void streamStopsMidFrame_partialFrameNeverHandedOut();
    void droppedConnection_keepsWholeFramesAndEndsStream();
    void close_clearsCardRegisters_andReconfigures();
    void socketErrors_mapToTexts_data();
    void socketErrors_mapToTexts();
    void logFile_recordsFrameTraffic();
    void asicExposure_rampFramesShowTheSceneOnceSorted_data();
    void asicExposure_rampFramesShowTheSceneOnceSorted();
    void asicExposure_stopValueEndsTheRamp();

private:
    bool Configure(GigeFrameGrabber &grabber, quint32 pixels, quint16 format = PatternFormat);

    SimFixture fixture;
    std::unique_ptr<PelraInterface> link;
};

void TestGigeGrabber::init()
{
    // Only the ring-size arithmetic runs without the receiver's socket buffer.
    if (!QByteArray(QTest::currentTestFunction()).startsWith("ringSize"))
        SKIP_UNLESS_GIGE_BUFFER_GRANTED();
    const QString error = fixture.start(ScienceScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    link.reset(new PelraInterface);
    QVERIFY(fixture.attach(*link, CardId, InterfaceGigE));
}

void TestGigeGrabber::cleanup()
{
    link.reset();
    fixture.stop();
}

bool TestGigeGrabber::Configure(GigeFrameGrabber &grabber, quint32 pixels, quint16 format)
{
    int bufferKB = 0;
    const bool ok = grabber.ConfigScienceInterface(link.get(), format, pixels, SciencePort, bufferKB, Card1);
    if (!ok)
        qWarning("configuration failed: %s", qPrintable(grabber.ErrorString()));
    return ok;
}

void TestGigeGrabber::ringSize_followsFrameSize_data()
{
    QTest::addColumn<quint32>("pixels");
    QTest::addColumn<int>("count");
    QTest::newRow("2048 x 2048: 32 MiB holds 4") << quint32(2048 * 2048) << 4;
    QTest::newRow("64 x 64 gives 4096") << quint32(64 * 64) << 4096;
    QTest::newRow("16 MiB exactly gives 2") << quint32(8 * 1024 * 1024) << 2;
    QTest::newRow("above 16 MiB: quotient 1, still 2") << quint32(8 * 1024 * 1024 + 1) << 2;
    QTest::newRow("512 pixels: capped, never negative") << quint32(512) << 16384;
    QTest::newRow("one pixel: capped") << quint32(1) << 16384;
}

void TestGigeGrabber::ringSize_followsFrameSize()
{
    QFETCH(quint32, pixels);
    QFETCH(int, count);
    QCOMPARE(GigeFrameGrabber::RingSizeFor(pixels), count);
}

void TestGigeGrabber::handshake_registerTrafficByteForByte()
{
    GigeFrameGrabber grabber;
    fixture.sim->clearTraffic();
    int bufferKB = 0;
    QVERIFY2(grabber.ConfigScienceInterface(link.get(), PatternFormat, 64 * 64, SciencePort, bufferKB, Card1),
             qPrintable(grabber.ErrorString()));
    const QList<QByteArray> expected = {
        Hex("08 01 01c0 0000"),                      // Camera Link science off
        Hex("08 01 01e0 0000"),                      // USB science off
        Hex("08 01 01a1 000f"),                      // main FIFO reset
        Hex("88 01 01d0"),                           // GigE science mode read ...
        Hex("08 01 01d0 000f"),                      // ... on, port-FIFO pattern source
        Hex("48 01 1820 000d 00a5 0043 0000 0000 0000 0000 0000 0000 0000 0080 0000 0000 0000 0031"),
        Hex("c8 01 1820 000d"),                      // the module's view of the connection
        Hex("08 01 182d 0033"),                      // connected: frames may flow
    };
    QCOMPARE(fixture.sim->receivedPackets(CardId, Link::GigE), expected);
    QVERIFY(bufferKB >= 134217);
    QCOMPARE(grabber.FrameBufferCount(), 4096);
    QCOMPARE(fixture.sim->cardRegister(CardId, 0x182D) & 0xFF, 0x33);
}

void TestGigeGrabber::handshake_failures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("text");
    QTest::newRow("no card link") << "nolink"
                                  << "Invalid GigE command interface. Unable to configure GigE science interface";
    QTest::newRow("card does not answer the mode read") << "noreply" << "Read PELRA 0x01d0 failed";
    QTest::newRow("module cannot open its port") << "portbusy" << "Failed to open TCP port 127.1.1.1: Connection refused";
    QTest::newRow("register link gone") << "nocard" << "Disable Camlink and USB science interfaces failed";
}

void TestGigeGrabber::handshake_failures()
{
    QFETCH(QString, failure);
    QFETCH(QString, text);
    GigeFrameGrabber grabber;
    PelraInterface *target = link.get();
    int blocker = -1;
    if (failure == QLatin1String("nolink")) {
        target = nullptr;
    } else if (failure == QLatin1String("noreply")) {
        fixture.sim->setFault(CardId, Link::GigE, pelrasim::Fault::NoReply, 1);
    } else if (failure == QLatin1String("portbusy")) {
        // A socket bound to the port on every address keeps the module from
        // listening, and nothing accepts the connection.
        blocker = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(SciencePort);
        QCOMPARE(::bind(blocker, reinterpret_cast<sockaddr *>(&any), sizeof any), 0);
    } else if (failure == QLatin1String("nocard")) {
        fixture.stop();
    }
    int bufferKB = -1;
    QVERIFY(!grabber.ConfigScienceInterface(target, PatternFormat, 64, SciencePort, bufferKB, Card1));
    QCOMPARE(grabber.ErrorString(), text);
    QCOMPARE(bufferKB, 0);
    if (blocker >= 0)
        ::close(blocker);
}

void TestGigeGrabber::otherPeer_failsAndClearsConnectionFlag()
{
    fixture.sim->setScienceFault(CardId, Link::GigE, ScienceFault::OtherPeer);
    GigeFrameGrabber grabber;
    int bufferKB = 0;
    QVERIFY(!grabber.ConfigScienceInterface(link.get(), PatternFormat, 64, SciencePort, bufferKB, Card1));
    QCOMPARE(grabber.ErrorString(), QStringLiteral("Science Data interface failed. Could not establish socket connection"));
    // The write has no reply: wait until the card has taken it.
    QTRY_COMPARE_WITH_TIMEOUT(fixture.sim->receivedPackets(CardId, Link::GigE).last(), Hex("08 01 182d 0000"), 2000);
    QCOMPARE(fixture.sim->cardRegister(CardId, 0x182D), quint16(0));
}

void TestGigeGrabber::testPattern_everyPixelOfEveryFrame()
{
    constexpr int Width = 64, Height = 40, Frames = 300;   // frames 256 and on wrap the pattern around
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, Width * Height));
    QVERIFY(StartPortPattern(*link, 0x1D1, Width, Height, Frames));
    for (int f = 0; f < Frames; ++f) {
        QTRY_VERIFY_WITH_TIMEOUT(grabber.AvailableFrames() > 0, 5000);
        const quint16 *pixels = grabber.GetNextFrameAsync();
        QVERIFY(pixels);
        QCOMPARE(PatternMismatch(pixels, Width * Height, f), qint64(-1));
    }
    QCOMPARE(grabber.GetNextFrameAsync(), nullptr);
    QCOMPARE(grabber.FramesReceived(), quint64(Frames));
}

void TestGigeGrabber::bytesShortOfAFrame_stayPending()
{
    // Pattern frames of 150 pixels into frames of 100: one and a half each.
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, 100));
    QVERIFY(StartPortPattern(*link, 0x1D1, 15, 10, 1));
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableFrames(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableBytes(), qint64(300), 2000);
    QVERIFY(grabber.GetNextFrameAsync());
    QCOMPARE(grabber.AvailableBytes(), qint64(100));
    QCOMPARE(grabber.GetNextFrameAsync(), nullptr);

    QVERIFY(StartPortPattern(*link, 0x1D1, 15, 10, 1));
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableFrames(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableBytes(), qint64(400), 2000);
    // The next frame is the pending half of the first pattern frame followed
    // by the first 50 pixels of the second (which starts at 0 again).
    const quint16 *second = grabber.GetNextFrameAsync();
    QVERIFY(second);
    QCOMPARE(second[0], quint16(100));
    QCOMPARE(second[49], quint16(149));
    QCOMPARE(second[50], quint16(0));
}

void TestGigeGrabber::slowConsumer_losesNoFrameAndKeepsOrder()
{
    constexpr int Width = 1024, Height = 512, Frames = 48;   // 1 MiB frames, 32 slots
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, Width * Height));
    QCOMPARE(grabber.FrameBufferCount(), 32);
    QVERIFY(StartPortPattern(*link, 0x1D1, Width, Height, Frames));
    // Let the card get far ahead of the consumer.
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableFrames(), 32, 5000);
    for (int f = 0; f < Frames; ++f) {
        QTRY_VERIFY_WITH_TIMEOUT(grabber.AvailableFrames() > 0, 5000);
        const quint16 *pixels = grabber.GetNextFrameAsync();
        QVERIFY(pixels);
        QCOMPARE(PatternMismatch(pixels, Width * Height, f), qint64(-1));
        QThread::msleep(3);
    }
    QCOMPARE(grabber.FramesReceived(), quint64(Frames));
    QVERIFY(grabber.RingHighWater() <= 32);
    QVERIFY(grabber.ReceiverStalls() > 0);
}

void TestGigeGrabber::ringWrapped_noFrameWaiting_returnsNone()
{
    constexpr int Width = 2048, Height = 2048, Frames = 6;   // 4 slots
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, Width * Height));
    QCOMPARE(grabber.FrameBufferCount(), 4);
    QVERIFY(StartPortPattern(*link, 0x1D1, Width, Height, Frames));
    for (int f = 0; f < Frames; ++f) {
        QTRY_VERIFY_WITH_TIMEOUT(grabber.AvailableFrames() > 0, 5000);
        const quint16 *pixels = grabber.GetNextFrameAsync();
        QVERIFY(pixels);
        QCOMPARE(pixels[0], quint16(256 * f));
        QCOMPARE(pixels[Width * Height - 1], quint16((Width * Height - 1 + 256 * f) & 0xFFFF));
    }
    QCOMPARE(grabber.AvailableFrames(), 0);
    QCOMPARE(grabber.GetNextFrameAsync(), nullptr);
    QCOMPARE(grabber.GetNextFrameAsync(), nullptr);
}

void TestGigeGrabber::streamStopsMidFrame_partialFrameNeverHandedOut()
{
    constexpr int Width = 128, Height = 64, Frames = 6;
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, Width * Height));
    fixture.sim->setScienceFault(CardId, Link::GigE, ScienceFault::StopMidFrame, 3);
    QVERIFY(StartPortPattern(*link, 0x1D1, Width, Height, Frames));
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableFrames(), 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableBytes(), qint64(3 * Width * Height * 2 + Width * Height), 2000);
    for (int f = 0; f < 3; ++f) {
        const quint16 *pixels = grabber.GetNextFrameAsync();
        QVERIFY(pixels);
        QCOMPARE(PatternMismatch(pixels, Width * Height, f), qint64(-1));
    }
    QTest::qWait(100);
    QCOMPARE(grabber.GetNextFrameAsync(), nullptr);
    QCOMPARE(grabber.AvailableBytes(), qint64(Width * Height));   // the half frame, pending
    QCOMPARE(fixture.sim->cardRegister(CardId, 0x0188), quint16(1));   // Science Stop Error1
}

void TestGigeGrabber::droppedConnection_keepsWholeFramesAndEndsStream()
{
    constexpr int Width = 128, Height = 64, Frames = 6;
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, Width * Height));
    fixture.sim->setScienceFault(CardId, Link::GigE, ScienceFault::DropConnection, 2);
    QVERIFY(StartPortPattern(*link, 0x1D1, Width, Height, Frames));
    QTRY_VERIFY_WITH_TIMEOUT(grabber.StreamEnded(), 5000);
    QCOMPARE(grabber.AvailableFrames(), 2);
    QVERIFY(grabber.GetNextFrameAsync());
    const quint16 *second = grabber.GetNextFrameAsync();
    QVERIFY(second);
    QCOMPARE(PatternMismatch(second, Width * Height, 1), qint64(-1));
    QCOMPARE(grabber.GetNextFrameAsync(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.sim->cardRegister(CardId, 0x002F), quint16(1), 2000);   // TimeoutErrorCounter_GigE
    QCOMPARE(grabber.ErrorString(), QString());   // a closed connection is no socket error
}

void TestGigeGrabber::close_clearsCardRegisters_andReconfigures()
{
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, 64 * 32));
    fixture.sim->clearTraffic();
    grabber.CloseScienceInterface(Card1);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.sim->receivedPackets(CardId, Link::GigE),
                              QList<QByteArray>({Hex("08 01 01d0 0000"), Hex("08 01 182d 0000")}), 2000);
    QVERIFY(Configure(grabber, 64 * 32));
    QVERIFY(StartPortPattern(*link, 0x1D1, 64, 32, 2));
    QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableFrames(), 2, 5000);
    QCOMPARE(PatternMismatch(grabber.GetNextFrameAsync(), 64 * 32, 0), qint64(-1));
}

void TestGigeGrabber::socketErrors_mapToTexts_data()
{
    QTest::addColumn<QAbstractSocket::SocketError>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("host not found") << QAbstractSocket::HostNotFoundError
                                    << "The host was not found. Please check the host name and port settings.";
    QTest::newRow("refused") << QAbstractSocket::ConnectionRefusedError
                             << "Connection was refused by the peer. Make sure the server is running, and check that "
                                "host name & port settings are correct.";
    QTest::newRow("remote closed: no error") << QAbstractSocket::RemoteHostClosedError << QString();
}

void TestGigeGrabber::socketErrors_mapToTexts()
{
    QFETCH(QAbstractSocket::SocketError, error);
    QFETCH(QString, text);
    GigeFrameGrabber grabber;
    grabber.GigeImageError(error);
    QCOMPARE(grabber.ErrorString(), text);
    grabber.GigeImageError(QAbstractSocket::NetworkError);
    QVERIFY(grabber.ErrorString().startsWith(QStringLiteral("Others: ")));
}

void TestGigeGrabber::logFile_recordsFrameTraffic()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/gigESciLog.txt");
    QFile::remove(path);
    {
        GigeFrameGrabber grabber(true);
        QVERIFY(Configure(grabber, 64 * 32));
        QVERIFY(StartPortPattern(*link, 0x1D1, 64, 32, 1));
        QTRY_COMPARE_WITH_TIMEOUT(grabber.AvailableFrames(), 1, 5000);
        QVERIFY(grabber.GetNextFrameAsync());
        grabber.AvailableFrames();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.contains(QStringLiteral(": filling imgebuf")));
    QVERIFY(text.contains(QStringLiteral(": AvailableFrmes=1 consumeIndex=0 produceIndex=1")));
    QVERIFY(text.contains(QStringLiteral(" valid: consume index=0")));
    QVERIFY(text.contains(QStringLiteral(": AvailableFrames=0")));
    QCOMPARE(file.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther), QFileDevice::Permissions());
    file.close();
    QFile::remove(path);
}

void TestGigeGrabber::asicExposure_rampFramesShowTheSceneOnceSorted_data()
{
    QTest::addColumn<int>("asics");
    QTest::newRow("one ASIC") << 1;
    QTest::newRow("two ASICs, interleaved row by row") << 2;
}

void TestGigeGrabber::asicExposure_rampFramesShowTheSceneOnceSorted()
{
    QFETCH(int, asics);
    constexpr int Width = 256, Height = 8, Reads = 3, Groups = 2;
    const quint16 asicSelect = asics == 2 ? 0x3 : 0x1;
    QVERIFY(link->WriteASICReg(0x4001, Reads, asicSelect, false));
    QVERIFY(link->WriteASICReg(0x4002, Groups, asicSelect, false));
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, quint32(asics * Width * Height), 0));
    QVERIFY(link->WriteASICReg(0x6900, 1, asicSelect, false));   // the trigger value

    pelrasim::SceneLayout layout;
    layout.width = Width;
    layout.height = Height;
    const quint32 seed = 1 + CardId * 7919u;   // the scenario's seed, this card, first ASIC
    pelrasim::RampPlan plan;
    plan.reads = Reads;
    plan.groups = Groups;
    Frames::SortSettings sort;
    sort.mode = 1;
    sort.channels = 32;
    for (int f = 0; f < Reads * Groups; ++f) {
        QTRY_VERIFY_WITH_TIMEOUT(grabber.AvailableFrames() > 0, 5000);
        const quint16 *frame = grabber.GetNextFrameAsync();
        for (int a = 0; a < asics; ++a) {
            QVector<quint16> image;
            for (int row = 0; row < Height; ++row)
                image += QVector<quint16>(frame + (asics * row + a) * Width, frame + (asics * row + a + 1) * Width);
            std::string message;
            QVERIFY(Frames::SortChannels(image.data(), size_t(image.size()), Width, Height, sort, &message));
            for (int y = 0; y < Height; ++y)
                for (int x = 0; x < Width; ++x) {
                    const int expected = pelrasim::sceneValue(layout, a, seed, x, y, plan.readTime(f));
                    QVERIFY2(std::abs(int(image[y * Width + x]) - expected) <= pelrasim::ReadNoiseMax,
                             qPrintable(QStringLiteral("frame %1 ASIC %2 pixel %3,%4").arg(f).arg(a).arg(x).arg(y)));
                }
        }
    }
    QTest::qWait(50);
    QCOMPARE(grabber.AvailableFrames(), 0);
}

void TestGigeGrabber::asicExposure_stopValueEndsTheRamp()
{
    // One frame every 40 ms, so that the stop comes in the middle of the ramp.
    link.reset();
    fixture.stop();
    const QString error = fixture.start(ScienceScenario(QStringLiteral("science_frame_ms=40\n")));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    link.reset(new PelraInterface);
    QVERIFY(fixture.attach(*link, CardId, InterfaceGigE));

    QVERIFY(link->WriteASICReg(0x4001, 50, 1, false));
    QVERIFY(link->WriteASICReg(0x4002, 1, 1, false));
    GigeFrameGrabber grabber;
    QVERIFY(Configure(grabber, 256 * 8, 0));
    QVERIFY(link->WriteASICReg(0x6900, 1, 1, false));
    QTRY_VERIFY_WITH_TIMEOUT(grabber.FramesReceived() >= 2, 5000);
    QVERIFY(link->WriteASICReg(0x6900, 0, 1, false));   // the stop value
    const quint64 atStop = grabber.FramesReceived();
    QTest::qWait(400);
    QVERIFY(grabber.FramesReceived() <= atStop + 2);
    QVERIFY(grabber.FramesReceived() < 10);
}

QTEST_GUILESS_MAIN(TestGigeGrabber)
#include "tst_gigegrabber.moc"
