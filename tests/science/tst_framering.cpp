// The frame ring on its own: slot counts, a producer held back by a full
// ring, frames handed out whole and in order, the taken frame kept stable.
#include "framering.h"

#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

class TestFrameRing : public QObject
{
    Q_OBJECT

private slots:
    void slotsFor_budgetWithBounds_data();
    void slotsFor_budgetWithBounds();
    void fullRing_refusesProducer_untilConsumerTakesTwice();
    void take_emptyRing_returnsNoneEvenAfterWrap();
    void threads_slowConsumer_everyFrameInOrder();
};

void TestFrameRing::slotsFor_budgetWithBounds_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<int>("count");
    QTest::newRow("8 MiB") << quint64(8 << 20) << 4;
    QTest::newRow("8 KiB") << quint64(8 << 10) << 4096;
    QTest::newRow("32 MiB + 1") << quint64((32 << 20) + 1) << 2;
    QTest::newRow("2 bytes") << quint64(2) << FrameRing::MaxSlots;
    QTest::newRow("no bytes") << quint64(0) << 2;
}

void TestFrameRing::slotsFor_budgetWithBounds()
{
    QFETCH(quint64, bytes);
    QFETCH(int, count);
    QCOMPARE(FrameRing::SlotsFor(bytes), count);
}

void TestFrameRing::fullRing_refusesProducer_untilConsumerTakesTwice()
{
    FrameRing ring;
    QVERIFY(ring.Allocate(2, 16));
    for (char v : {'a', 'b'}) {
        char *slot = ring.Writable();
        QVERIFY(slot);
        std::memset(slot, v, 16);
        ring.Publish();
    }
    QCOMPARE(ring.Writable(), nullptr);
    const char *first = ring.Take();
    QCOMPARE(first[0], 'a');
    // The frame just taken stays the consumer's until its next take.
    QCOMPARE(ring.Writable(), nullptr);
    const char *second = ring.Take();
    QCOMPARE(second[15], 'b');
    QCOMPARE(first[0], 'a');
    QVERIFY(ring.Writable());
    QCOMPARE(ring.HighWater(), 2);
}

void TestFrameRing::take_emptyRing_returnsNoneEvenAfterWrap()
{
    FrameRing ring;
    QVERIFY(ring.Allocate(3, 4));
    for (int round = 0; round < 5; ++round) {
        char *slot = ring.Writable();
        QVERIFY(slot);
        slot[0] = char('0' + round);
        ring.Publish();
        QCOMPARE(ring.Take()[0], char('0' + round));
        QCOMPARE(ring.Take(), nullptr);
        QCOMPARE(ring.Available(), 0);
    }
}

void TestFrameRing::threads_slowConsumer_everyFrameInOrder()
{
    constexpr int Frames = 200;
    FrameRing ring;
    QVERIFY(ring.Allocate(4, 4096));
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (int f = 0; f < Frames; ++f) {
            char *slot = ring.WaitWritable(stop);
            if (!slot)
                return;
            std::memset(slot, f & 0xFF, 4096);
            ring.Publish();
        }
    });
    for (int f = 0; f < Frames; ++f) {
        const char *frame = ring.TakeWaiting(2000);
        QVERIFY(frame);
        QCOMPARE(quint8(frame[0]), quint8(f & 0xFF));
        QCOMPARE(quint8(frame[4095]), quint8(f & 0xFF));
        if (f % 20 == 0)
            QThread::msleep(2);
    }
    stop = true;
    ring.WakeProducer();
    producer.join();
    QVERIFY(ring.HighWater() <= 4);
    QCOMPARE(ring.Produced(), quint64(Frames));
}

QTEST_GUILESS_MAIN(TestFrameRing)
#include "tst_framering.moc"
