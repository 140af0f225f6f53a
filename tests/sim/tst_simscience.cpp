// The simulated cards' science frames as pure maths: the transmission order is
// what the frame writer's channel sort undoes, guide blocks sit where the
// guide split looks for them, and a ramp's read frames grow with time.
#include "framelayout.h"
#include "simscienceframes.h"

#include <QtTest>

#include <cstring>
#include <vector>

using namespace pelrasim;

namespace {

std::vector<quint16> Pixels(FrameMaker &frames, int index)
{
    std::vector<char> scratch;
    const char *bytes = frames.frame(index, scratch);
    std::vector<quint16> out(size_t(frames.frameBytes() / 2));
    std::memcpy(out.data(), bytes, size_t(frames.frameBytes()));
    return out;
}

SceneLayout SmallScene(int sortMode)
{
    SceneLayout layout;
    layout.width = 256;
    layout.height = 6;
    layout.channels = 32;
    layout.headers = 0;
    layout.sortMode = sortMode;
    return layout;
}

}  // namespace

class TestSimScience : public QObject
{
    Q_OBJECT

private slots:
    void channelOrder_isTheWritersSortUndone_data();
    void channelOrder_isTheWritersSortUndone();
    void sortedReadFrame_showsTheSceneInPlace_data();
    void sortedReadFrame_showsTheSceneInPlace();
    void ramp_resetIsBiasAndReadsGrowWithTime();
    void guideBlocks_countAndPlace();
    void patternFrames_twoFifosInterleavedInBlocks();
};

void TestSimScience::channelOrder_isTheWritersSortUndone_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("sent");
    QTest::newRow("mode 1: image column 66 is pixel 65 of the row") << 1 << 66 << 65;
    QTest::newRow("mode 2: image column 127 is pixel 33") << 2 << 127 << 33;
    QTest::newRow("mode 2: even pixels keep the forward order") << 2 << 66 << 65;
}

void TestSimScience::channelOrder_isTheWritersSortUndone()
{
    QFETCH(int, mode);
    QFETCH(int, column);
    QFETCH(int, sent);
    SceneLayout layout = SmallScene(mode);
    layout.width = 2048;
    QCOMPARE(channelOrderIndex(layout, column), sent);
}

void TestSimScience::sortedReadFrame_showsTheSceneInPlace_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("every channel forwards") << 1;
    QTest::newRow("odd pixels backwards") << 2;
}

void TestSimScience::sortedReadFrame_showsTheSceneInPlace()
{
    QFETCH(int, mode);
    const SceneLayout layout = SmallScene(mode);
    RampPlan plan;
    plan.reads = 2;
    auto frames = makeRampFrames(layout, plan, 1, 0, 7);
    std::vector<quint16> pixels = Pixels(*frames, 1);
    Frames::SortSettings sort;
    sort.mode = quint8(mode);
    sort.channels = 32;
    std::string message;
    QVERIFY(Frames::SortChannels(pixels.data(), pixels.size(), 256, 6, sort, &message));
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) {
            const int expected = sceneValue(layout, 0, 7, x, y, plan.readTime(1));
            const int got = pixels[size_t(y * layout.width + x)];
            QVERIFY2(std::abs(got - expected) <= ReadNoiseMax, qPrintable(QStringLiteral("pixel %1,%2: %3 for %4").arg(x).arg(y).arg(got).arg(expected)));
        }
}

void TestSimScience::ramp_resetIsBiasAndReadsGrowWithTime()
{
    const SceneLayout layout = SmallScene(1);
    RampPlan plan;
    plan.resets = 1;
    plan.groups = 2;
    plan.reads = 2;
    plan.drops = 3;
    auto frames = makeRampFrames(layout, plan, 1, 0, 3);
    QCOMPARE(frames->frameCount(), 5);
    QCOMPARE(plan.readTime(0), 1);
    QCOMPARE(plan.readTime(2), 6);   // the second group comes after the drops
    double previous = -1;
    for (int f = 0; f < frames->frameCount(); ++f) {
        const std::vector<quint16> pixels = Pixels(*frames, f);
        double sum = 0;
        for (quint16 v : pixels)
            sum += v;
        const double mean = sum / double(pixels.size());
        QVERIFY2(mean > previous, qPrintable(QStringLiteral("frame %1 mean %2").arg(f).arg(mean)));
        previous = mean;
        if (f == 0) {   // bias only: within noise of the bias of its column
            QVERIFY(std::abs(int(pixels[0]) - int(sceneValue(layout, 0, 3, 0, 0, 0))) <= ReadNoiseMax);
        }
    }
}

void TestSimScience::guideBlocks_countAndPlace()
{
    GuideLayout guide{4, 2, 3, 256, 256, false};
    QCOMPARE(guide.windows(2048), 7);
    guide.atEnd = true;
    QCOMPARE(guide.windows(2048), 8);

    // A frame whose guide blocks the frame writer's split finds again.
    SceneLayout layout = SmallScene(1);
    layout.height = 10;
    layout.guide = {4, 2, 3, 2, 4, true};   // rows 0-1, block, rows 2-5, block, rows 6-9, block
    layout.extraPixels = 5;
    QCOMPARE(layout.guide.windows(10), 3);
    QCOMPARE(layout.asicPixels(), qint64(256 * 10 + 3 * 24 + 5));
    RampPlan plan;
    auto frames = makeRampFrames(layout, plan, 1, 0, 1);
    const std::vector<quint16> pixels = Pixels(*frames, 0);
    Frames::GuideLayout split;
    split.windowWidth = 4;
    split.windowHeight = 2;
    split.reads = 3;
    split.startRows = 2;
    split.rowsBetween = 4;
    split.endWindow = true;
    const Frames::GuideCheck check = Frames::CheckGuideLayout(split, 256, 10);
    QVERIFY2(check.ok, check.message.c_str());
    QCOMPARE(check.guidePixels, 72u);
    Frames::GuideSplit parts = Frames::SplitGuideFrame(pixels.data(), pixels.size(), 256, 10, split, 72, true);
    QVERIFY2(parts.ok, parts.message.c_str());
    QCOMPARE(parts.guide.size(), size_t(72));
    // Every image row came out whole and in place once sorted.
    Frames::SortSettings sort;
    sort.mode = 1;
    sort.channels = 32;
    std::string message;
    QVERIFY(Frames::SortChannels(parts.image.data(), parts.image.size(), 256, 10, sort, &message));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 256; x += 17)
            QVERIFY(std::abs(int(parts.image[size_t(y * 256 + x)]) - int(sceneValue(layout, 0, 1, x, y, 1))) <= ReadNoiseMax);
    QCOMPARE(pixels.back(), quint16(4));   // extra pixels 0 ... 4 at the end
}

void TestSimScience::patternFrames_twoFifosInterleavedInBlocks()
{
    auto frames = makePatternFrames(8, 2, 3, 2, 8);
    QCOMPARE(frames->frameBytes(), qint64(2 * 16 * 2));
    const std::vector<quint16> pixels = Pixels(*frames, 2);
    for (int row = 0; row < 2; ++row)
        for (int asic = 0; asic < 2; ++asic)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(pixels[size_t((2 * row + asic) * 8 + x)], quint16(row * 8 + x + 512));
}

QTEST_GUILESS_MAIN(TestSimScience)
#include "tst_simscience.moc"
