// The USB science stream of the card link against simulated cards through the
// USB bridge stand-in: the card set-up, single and dual pipe, one and two
// ASIC FIFOs, a consumer slower than the card, and a stream that stops
// half-way through a frame.
#include "sciencefixture.h"

#include <QThread>

using pelrasim::Link;
using pelrasim::ScienceFault;

namespace {

constexpr quint16 PatternFormat = 0x70;
constexpr quint16 DualPipe = 0x100;

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

}  // namespace

class TestUsbScience : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void configure_registerTrafficAndIdleClosingOff();
    void configure_badArguments_data();
    void configure_badArguments();
    void testPattern_everyPixel_data();
    void testPattern_everyPixel();
    void slowConsumer_losesNoFrameAndKeepsOrder();
    void twoAsicFifos_interleavedInBlocks();
    void streamStopsMidFrame_fetchReturnsPixelsSoFar();
    void close_twiceIsHarmless_andRestartsIdleClosing();

private:
    SimFixture fixture;
    std::unique_ptr<PelraInterface> link;
};

void TestUsbScience::init()
{
    const QString error = fixture.start(ScienceScenario());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    link.reset(new PelraInterface);
    QVERIFY(fixture.attach(*link, CardId, InterfaceUSB));
}

void TestUsbScience::cleanup()
{
    link.reset();
    fixture.stop();
}

void TestUsbScience::configure_registerTrafficAndIdleClosingOff()
{
    link->SetIdleTimerPeriod(2000);
    fixture.sim->clearTraffic();
    QVERIFY2(link->ConfigureUSBScienceInterface(PatternFormat, 4, 64 * 64, Card1, false), qPrintable(link->ErrorString()));
    quint32 id = 0;
    QVERIFY(link->ReadPELRAReg(0xFFFC, id, Card1));   // the card has taken every packet before
    QCOMPARE(fixture.sim->receivedPackets(CardId, Link::USB).mid(0, 5),
             QList<QByteArray>({Hex("08 01 01c0 0000"), Hex("08 01 01d0 0000"), Hex("08 01 01a1 000f"),
                                Hex("88 01 01e0"), Hex("08 01 01e0 000f")}));
    QCOMPARE(link->SciencePipe(), quint16(0x82));
    QVERIFY(!link->IdleTimerRunning());
    QCOMPARE(link->UsbFrameBufferCount(), 4);
    QVERIFY(link->CloseUSBScienceInterface(Card1));
}

void TestUsbScience::configure_badArguments_data()
{
    QTest::addColumn<int>("buffers");
    QTest::addColumn<quint32>("pixels");
    QTest::addColumn<int>("cards");
    QTest::newRow("no buffers") << 0 << quint32(64) << 1;
    QTest::newRow("no pixels") << 4 << quint32(0) << 1;
    QTest::newRow("no card") << 4 << quint32(64) << 0;
}

void TestUsbScience::configure_badArguments()
{
    QFETCH(int, buffers);
    QFETCH(quint32, pixels);
    QFETCH(int, cards);
    fixture.sim->clearTraffic();
    QVERIFY(!link->ConfigureUSBScienceInterface(PatternFormat, qint16(buffers), pixels, quint8(cards), false));
    QCOMPARE(link->ErrorString(), QStringLiteral("Invalid input parameter imgSize or nBuffers or pelraId"));
    QCOMPARE(fixture.sim->packetCount(CardId, Link::USB), 0);
}

void TestUsbScience::testPattern_everyPixel_data()
{
    QTest::addColumn<quint16>("format");
    QTest::addColumn<quint16>("pipe");
    QTest::newRow("single pipe, science on 0x82") << PatternFormat << quint16(0x82);
    QTest::newRow("dual pipe, science on 0x83") << quint16(PatternFormat | DualPipe) << quint16(0x83);
}

void TestUsbScience::testPattern_everyPixel()
{
    QFETCH(quint16, format);
    QFETCH(quint16, pipe);
    constexpr int Width = 64, Height = 40, Frames = 300;
    QVERIFY2(link->ConfigureUSBScienceInterface(format, 8, Width * Height, Card1, false), qPrintable(link->ErrorString()));
    QCOMPARE(link->SciencePipe(), pipe);
    QVERIFY(StartPortPattern(*link, 0x1E1, Width, Height, Frames));
    QVector<quint16> frame(Width * Height);
    for (int f = 0; f < Frames; ++f) {
        QCOMPARE(link->GetUSBScienceData(2000, Width * Height, frame.data()), qint64(Width * Height));
        QCOMPARE(PatternMismatch(frame.constData(), Width * Height, f), qint64(-1));
    }
    QCOMPARE(link->UsbFramesReceived(), quint64(Frames));
    QVERIFY(link->CloseUSBScienceInterface(Card1));
}

void TestUsbScience::slowConsumer_losesNoFrameAndKeepsOrder()
{
    constexpr int Width = 1024, Height = 512, Frames = 24;   // 1 MiB frames, 4 slots
    QVERIFY(link->ConfigureUSBScienceInterface(PatternFormat, 4, Width * Height, Card1, false));
    QVERIFY(StartPortPattern(*link, 0x1E1, Width, Height, Frames));
    // The ring is full and the bridge holds more: the card is far ahead.
    QTRY_VERIFY_WITH_TIMEOUT(link->AvailableUSBImages() > 4u, 5000);
    for (int f = 0; f < Frames; ++f) {
        quint64 bytes = 0;
        const quint16 *pixels = link->GetNextUSBImage(2000, bytes);
        QVERIFY2(pixels, qPrintable(link->ErrorString()));
        QCOMPARE(bytes, quint64(Width * Height * 2));
        QCOMPARE(PatternMismatch(pixels, Width * Height, f), qint64(-1));
        QThread::msleep(5);
    }
    QVERIFY(link->UsbRingHighWater() <= 4);
    QCOMPARE(link->UsbFramesReceived(), quint64(Frames));
    QVERIFY(link->CloseUSBScienceInterface(Card1));
}

void TestUsbScience::twoAsicFifos_interleavedInBlocks()
{
    constexpr int Width = 32, Height = 16, Frames = 3;
    // Pattern mode, geometry, blocks of one row, both ASIC FIFOs of card 1.
    QVERIFY(link->WritePELRAReg(0x1B0, 0x2F, 0xFF));
    QVERIFY(link->WritePELRABlock(0x1B2, 3, QVector<quint32>({Width - 1, Height - 1, Frames}), Card1));
    QVERIFY(link->WritePELRAReg(0x1B6, Width - 1, Card1));
    QVERIFY(link->WritePELRAReg(0x1B5, 0x10FF, Card1));
    QVERIFY(link->WritePELRAReg(0x1B1, 0x5, Card1));
    QVERIFY(link->ConfigureUSBScienceInterface(PatternFormat, 4, 2 * Width * Height, Card1, false));
    QVector<quint16> frame(2 * Width * Height);
    for (int f = 0; f < Frames; ++f) {
        QCOMPARE(link->GetUSBScienceData(2000, frame.size(), frame.data()), qint64(frame.size()));
        for (int asic = 0; asic < 2; ++asic) {
            QVector<quint16> image;
            for (int row = 0; row < Height; ++row)
                image += frame.mid((2 * row + asic) * Width, Width);
            QCOMPARE(PatternMismatch(image.constData(), image.size(), f), qint64(-1));
        }
    }
    QVERIFY(link->CloseUSBScienceInterface(Card1));
}

void TestUsbScience::streamStopsMidFrame_fetchReturnsPixelsSoFar()
{
    constexpr int Width = 128, Height = 64;
    QVERIFY(link->ConfigureUSBScienceInterface(PatternFormat, 4, Width * Height, Card1, false));
    fixture.sim->setScienceFault(CardId, Link::USB, ScienceFault::StopMidFrame, 1);
    QVERIFY(StartPortPattern(*link, 0x1E1, Width, Height, 3));
    QVector<quint16> frame(Width * Height);
    QCOMPARE(link->GetUSBScienceData(2000, Width * Height, frame.data()), qint64(Width * Height));
    QTRY_COMPARE_WITH_TIMEOUT(link->AvailableUSBScienceData(), quint32(Width * Height), 2000);
    QCOMPARE(link->AvailableUSBImages(), 0u);
    QCOMPARE(link->GetUSBScienceData(300, Width * Height, frame.data()), qint64(Width * Height / 2));
    QCOMPARE(PatternMismatch(frame.constData(), Width * Height / 2, 1), qint64(-1));
    quint64 bytes = 0;
    QCOMPARE(link->GetNextUSBImage(100, bytes), nullptr);
    QCOMPARE(bytes, quint64(Width * Height));
    QCOMPARE(link->ErrorString(), QStringLiteral("Reading image data from USB pipe timeout"));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.sim->cardRegister(CardId, 0x0188), quint16(1), 2000);
    QVERIFY(link->CloseUSBScienceInterface(Card1));
}

void TestUsbScience::close_twiceIsHarmless_andRestartsIdleClosing()
{
    QVERIFY(link->ConfigureUSBScienceInterface(PatternFormat, 4, 64, Card1, false));
    QCOMPARE(fixture.sim->cardRegister(CardId, 0x1E0) & 1, 1);
    QVERIFY(link->CloseUSBScienceInterface(Card1));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.sim->cardRegister(CardId, 0x1E0) & 1, 0, 2000);
    QVERIFY(link->IdleTimerRunning());
    QVERIFY(link->CloseUSBScienceInterface(Card1));
    QCOMPARE(link->UsbFrameBufferCount(), 0);
    QCOMPARE(link->AvailableUSBScienceData(), 0u);
    // The link still works for registers.
    quint32 id = 0;
    QVERIFY(link->ReadPELRAReg(0xFFFC, id, Card1));
    QCOMPARE(id, quint32(CardId));
}

QTEST_GUILESS_MAIN(TestUsbScience)
#include "tst_usbscience.moc"
