// Guide windows and readout-channel order of saved frames, and the frame files.
#include "framefile.h"
#include "framelayout.h"
#include "fitstestsupport.h"

#include <QtTest>

#include <algorithm>
#include <memory>
#include <numeric>

using namespace Frames;

Q_DECLARE_METATYPE(Frames::GuideLayout)

namespace {

const char *const ShortFrameText =
        "Saving guide windows to .fits file failed: unexpected number of ff rows after the last window";
const char *const MismatchText =
        "Saving guide windows to .fits file failed: guide window layout does not match the image size";

GuideLayout Layout(uint32_t x, uint32_t y, uint64_t reads, uint32_t start, uint32_t between, bool end)
{
    GuideLayout layout;
    layout.windowWidth = x;
    layout.windowHeight = y;
    layout.reads = reads;
    layout.startRows = start;
    layout.rowsBetween = between;
    layout.endWindow = end;
    return layout;
}

// A frame as the ASIC sends it, built row by row: image pixel k is 1000 + k
// (mod 2^16), guide pixel g is 40000 + g. A window follows every row count c
// with c >= start, (c - start) % between == 0 and c < height.
struct SyntheticFrame {
    std::vector<uint16_t> frame;
    std::vector<uint16_t> image;
    std::vector<uint16_t> guide;

    SyntheticFrame(uint32_t width, uint32_t height, const GuideLayout &g)
    {
        const size_t block = size_t(g.windowWidth) * g.windowHeight * g.reads;
        auto emitBlock = [&] {
            for (size_t i = 0; i < block; ++i) {
                guide.push_back(uint16_t(40000 + guide.size()));
                frame.push_back(guide.back());
            }
        };
        for (uint32_t c = 0; c <= height; ++c) {
            if (c >= g.startRows && (c - g.startRows) % g.rowsBetween == 0 && c < height)
                emitBlock();
            if (c < height) {
                for (uint32_t x = 0; x < width; ++x) {
                    image.push_back(uint16_t(1000 + image.size()));
                    frame.push_back(image.back());
                }
            }
        }
        if (g.endWindow)
            emitBlock();
    }
};

std::vector<uint16_t> Counting(size_t count)
{
    std::vector<uint16_t> values(count);
    std::iota(values.begin(), values.end(), uint16_t(0));
    return values;
}

}  // namespace

class TestFrameLayout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void guideCheck_countsWindowsAndPixels_data();
    void guideCheck_countsWindowsAndPixels();
    void guideCheck_refusesLayoutsWithMessage_data();
    void guideCheck_refusesLayoutsWithMessage();
    void split_separatesImageRowsFromGuideBlocks_data();
    void split_separatesImageRowsFromGuideBlocks();
    void split_withoutGuidePixelsTakesImageAlone();
    void split_endWindowTakenOnlyWhenAskedFor();
    void split_shortFrameFailsWithoutReadingPastIt_data();
    void split_shortFrameFailsWithoutReadingPastIt();
    void split_layoutNotMatchingGuidePixelsFails_data();
    void split_layoutNotMatchingGuidePixelsFails();
    void split_anyLayoutAndLengthStaysWithinTheFrame();
    void guideCube_hasOnePlanePerWindowRead();
    void sort_movesPixelsToChannelBlocks_data();
    void sort_movesPixelsToChannelBlocks();
    void sort_isOneToOneAndRowByRow_data();
    void sort_isOneToOneAndRowByRow();
    void sort_modeZeroLeavesFrameUnchanged();
    void sort_refusesSettingsThatDoNotFitTheRow_data();
    void sort_refusesSettingsThatDoNotFitTheRow();
    void sort_anySettingsStayWithinTheImage();
    void frameFile_imageAndGuideCubeReadBackIdentically();
    void frameFile_refusesExistingFileAndShortBuffers();
    void frameFiles_passFitsverify_data();
    void frameFiles_passFitsverify();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestFrameLayout::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestFrameLayout::guideCheck_countsWindowsAndPixels_data()
{
    QTest::addColumn<GuideLayout>("layout");
    QTest::addColumn<quint32>("width");
    QTest::addColumn<quint32>("height");
    QTest::addColumn<quint32>("windows");
    QTest::addColumn<quint32>("guidePixels");
    QTest::newRow("2048 rows every 256 from 256") << Layout(16, 16, 1, 256, 256, false) << 2048u << 2048u
                                                  << 7u << 7u * 256;
    QTest::newRow("same with end window") << Layout(16, 16, 1, 256, 256, true) << 2048u << 2048u << 8u << 8u * 256;
    QTest::newRow("three reads") << Layout(16, 8, 3, 256, 256, false) << 2048u << 2048u << 7u << 7u * 384;
    QTest::newRow("window before first row") << Layout(2, 2, 1, 0, 1, false) << 4u << 4u << 4u << 16u;
    QTest::newRow("start on the last row") << Layout(2, 2, 1, 3, 100, true) << 4u << 4u << 2u << 8u;
    QTest::newRow("window as large as image") << Layout(8, 8, 1, 0, 8, false) << 8u << 8u << 1u << 64u;
    QTest::newRow("empty window counts nothing") << Layout(0, 16, 1, 256, 256, true) << 2048u << 2048u << 8u << 0u;
    QTest::newRow("65535 reads") << Layout(1, 1, 65535, 0, 65535, false) << 65535u << 65535u << 1u << 65535u;
    QTest::newRow("largest image") << Layout(16, 16, 1, 256, 256, false) << 65535u << 65535u << 255u
                                   << 255u * 256;
}

void TestFrameLayout::guideCheck_countsWindowsAndPixels()
{
    QFETCH(GuideLayout, layout);
    QFETCH(quint32, width);
    QFETCH(quint32, height);
    QFETCH(quint32, windows);
    QFETCH(quint32, guidePixels);
    const GuideCheck check = CheckGuideLayout(layout, width, height);
    QVERIFY2(check.ok, check.message.c_str());
    QCOMPARE(check.windows, windows);
    QCOMPARE(check.guidePixels, guidePixels);
    QVERIFY(check.message.empty());
}

void TestFrameLayout::guideCheck_refusesLayoutsWithMessage_data()
{
    QTest::addColumn<GuideLayout>("layout");
    QTest::addColumn<quint32>("width");
    QTest::addColumn<quint32>("height");
    QTest::addColumn<QString>("message");
    const QString width = "Invalid guide window width. Should be <= image width";
    const QString height = "Invalid guide window height. Should be <= image height";
    const QString reads = "Invalid number of guide windows. Should be <= 65535";
    const QString start = "Invalid number of FF rows before the first guide window. Should be <= image height";
    const QString between = "Invalid number of FF rows between guide windows. Should be > 0";
    const QString tooMany = "Invalid guide window configuration. Guide pixels per frame should be <= 4294967295";
    QTest::newRow("wider than image") << Layout(2049, 16, 1, 256, 256, false) << 2048u << 2048u << width;
    QTest::newRow("width checked first") << Layout(9, 9, 70000, 9, 0, false) << 8u << 8u << width;
    QTest::newRow("taller than image") << Layout(16, 2049, 1, 256, 256, false) << 2048u << 2048u << height;
    QTest::newRow("65536 reads") << Layout(16, 16, 65536, 256, 256, false) << 2048u << 2048u << reads;
    QTest::newRow("reads beyond 32 bits") << Layout(16, 16, 1ull << 33, 256, 256, false) << 2048u << 2048u << reads;
    QTest::newRow("start at image height") << Layout(16, 16, 1, 2048, 256, false) << 2048u << 2048u << start;
    QTest::newRow("start past image") << Layout(16, 16, 1, 3000, 256, false) << 2048u << 2048u << start;
    QTest::newRow("no rows between windows") << Layout(16, 16, 1, 256, 0, false) << 2048u << 2048u << between;
    QTest::newRow("image of no rows") << Layout(0, 0, 1, 0, 1, false) << 0u << 0u << start;
    QTest::newRow("guide pixels beyond 32 bits") << Layout(65535, 65535, 65535, 0, 1, true) << 65535u << 65535u
                                                 << tooMany;
    QTest::newRow("just beyond 32 bits") << Layout(65536, 65536, 1, 0, 65536, false) << 65536u << 65536u
                                         << tooMany;
}

void TestFrameLayout::guideCheck_refusesLayoutsWithMessage()
{
    QFETCH(GuideLayout, layout);
    QFETCH(quint32, width);
    QFETCH(quint32, height);
    QFETCH(QString, message);
    const GuideCheck check = CheckGuideLayout(layout, width, height);
    QVERIFY(!check.ok);
    QCOMPARE(check.guidePixels, 0u);
    QCOMPARE(QString::fromStdString(check.message), message);
}

void TestFrameLayout::split_separatesImageRowsFromGuideBlocks_data()
{
    QTest::addColumn<GuideLayout>("layout");
    QTest::addColumn<quint32>("width");
    QTest::addColumn<quint32>("height");
    QTest::newRow("small with end window") << Layout(2, 1, 2, 2, 2, true) << 4u << 6u;
    QTest::newRow("small without end window") << Layout(2, 1, 2, 2, 2, false) << 4u << 6u;
    QTest::newRow("window first") << Layout(3, 2, 1, 0, 3, true) << 5u << 7u;
    QTest::newRow("rows between do not divide") << Layout(4, 4, 3, 5, 7, true) << 16u << 30u;
    QTest::newRow("one window at the last row") << Layout(2, 2, 1, 9, 4, false) << 3u << 10u;
    QTest::newRow("7 windows in 2048 rows") << Layout(16, 16, 1, 256, 256, false) << 64u << 2048u;
    QTest::newRow("8 windows in 2048 rows") << Layout(16, 16, 2, 256, 256, true) << 64u << 2048u;
}

void TestFrameLayout::split_separatesImageRowsFromGuideBlocks()
{
    QFETCH(GuideLayout, layout);
    QFETCH(quint32, width);
    QFETCH(quint32, height);
    const GuideCheck check = CheckGuideLayout(layout, width, height);
    QVERIFY2(check.ok, check.message.c_str());
    const SyntheticFrame synthetic(width, height, layout);
    QCOMPARE(synthetic.guide.size(), size_t(check.guidePixels));

    const GuideSplit split = SplitGuideFrame(synthetic.frame.data(), synthetic.frame.size(), width, height,
                                             layout, check.guidePixels, true);
    QVERIFY2(split.ok, split.message.c_str());
    QVERIFY(split.message.empty());
    QVERIFY(split.image == synthetic.image);
    QVERIFY(split.guide == synthetic.guide);

    // Pixels the card sends after the frame's layout are not part of it.
    std::vector<uint16_t> longer = synthetic.frame;
    longer.insert(longer.end(), 10, 7);
    const GuideSplit extra = SplitGuideFrame(longer.data(), longer.size(), width, height, layout,
                                             check.guidePixels, true);
    QVERIFY(extra.ok);
    QVERIFY(extra.image == synthetic.image);
    QVERIFY(extra.guide == synthetic.guide);
}

void TestFrameLayout::split_withoutGuidePixelsTakesImageAlone()
{
    const std::vector<uint16_t> frame = Counting(30);
    const GuideSplit split = SplitGuideFrame(frame.data(), frame.size(), 4, 6, Layout(0, 1, 2, 2, 2, true), 0, true);
    QVERIFY2(split.ok, split.message.c_str());
    QVERIFY(split.image == Counting(24));
    QVERIFY(split.guide.empty());

    const GuideSplit shorter = SplitGuideFrame(frame.data(), 23, 4, 6, Layout(0, 1, 2, 2, 2, true), 0, true);
    QVERIFY(!shorter.ok);
    QCOMPARE(shorter.message, std::string(ShortFrameText));
}

void TestFrameLayout::split_endWindowTakenOnlyWhenAskedFor()
{
    const GuideLayout layout = Layout(2, 1, 2, 2, 2, true);
    const GuideCheck check = CheckGuideLayout(layout, 4, 6);
    const SyntheticFrame synthetic(4, 6, layout);
    // Without its end window the frame still gives the whole image.
    const size_t withoutEnd = synthetic.frame.size() - 4;
    const GuideSplit split = SplitGuideFrame(synthetic.frame.data(), withoutEnd, 4, 6, layout,
                                             check.guidePixels, false);
    QVERIFY2(split.ok, split.message.c_str());
    QVERIFY(split.image == synthetic.image);
    std::vector<uint16_t> expectedGuide = synthetic.guide;
    std::fill(expectedGuide.end() - 4, expectedGuide.end(), uint16_t(0));
    QVERIFY(split.guide == expectedGuide);

    const GuideSplit wanted = SplitGuideFrame(synthetic.frame.data(), withoutEnd, 4, 6, layout,
                                              check.guidePixels, true);
    QVERIFY(!wanted.ok);
    QCOMPARE(wanted.message, std::string(ShortFrameText));
    QVERIFY(wanted.image == synthetic.image);
}

void TestFrameLayout::split_shortFrameFailsWithoutReadingPastIt_data()
{
    QTest::addColumn<int>("cut");        // pixels removed from the end of the frame
    // Frame of 4 × 6 with S = R = 2 and blocks of 4: 8 image, 4 guide, 8 image, 4 guide, 8 image, 4 guide.
    QTest::newRow("end window cut") << 1;
    QTest::newRow("remaining rows cut") << 5;
    QTest::newRow("remaining rows missing") << 12;
    QTest::newRow("second block cut") << 14;
    QTest::newRow("middle rows cut") << 20;
    QTest::newRow("first block cut") << 26;
    QTest::newRow("first rows cut") << 33;
    QTest::newRow("empty frame") << 36;
}

void TestFrameLayout::split_shortFrameFailsWithoutReadingPastIt()
{
    QFETCH(int, cut);
    const GuideLayout layout = Layout(2, 1, 2, 2, 2, true);
    const GuideCheck check = CheckGuideLayout(layout, 4, 6);
    const SyntheticFrame synthetic(4, 6, layout);
    QCOMPARE(synthetic.frame.size(), size_t(36));
    // A buffer of exactly the short length, so a sanitizer sees any read past it.
    const std::vector<uint16_t> shorter(synthetic.frame.begin(), synthetic.frame.end() - cut);
    const GuideSplit split = SplitGuideFrame(shorter.empty() ? nullptr : shorter.data(), shorter.size(), 4, 6,
                                             layout, check.guidePixels, true);
    QVERIFY(!split.ok);
    QCOMPARE(split.message, std::string(ShortFrameText));
    QCOMPARE(split.image.size(), size_t(24));
    QCOMPARE(split.guide.size(), size_t(check.guidePixels));
}

void TestFrameLayout::split_layoutNotMatchingGuidePixelsFails_data()
{
    QTest::addColumn<GuideLayout>("layout");
    QTest::addColumn<quint32>("guidePixels");
    QTest::newRow("not whole blocks") << Layout(2, 1, 2, 2, 2, true) << 13u;
    QTest::newRow("empty window") << Layout(0, 1, 2, 2, 2, false) << 8u;
    QTest::newRow("more windows than rows") << Layout(2, 1, 2, 2, 2, false) << 40u;
    QTest::newRow("start beyond image") << Layout(2, 1, 2, 7, 2, false) << 4u;
}

void TestFrameLayout::split_layoutNotMatchingGuidePixelsFails()
{
    QFETCH(GuideLayout, layout);
    QFETCH(quint32, guidePixels);
    const std::vector<uint16_t> frame(200, 1);
    const GuideSplit split = SplitGuideFrame(frame.data(), frame.size(), 4, 6, layout, guidePixels, true);
    QVERIFY(!split.ok);
    QCOMPARE(split.message, std::string(MismatchText));
}

void TestFrameLayout::split_anyLayoutAndLengthStaysWithinTheFrame()
{
    // Small random layouts, guide counts and frame lengths; every frame buffer
    // has exactly its length, so a sanitizer build sees any access past it.
    QRandomGenerator random(20261209);
    for (int n = 0; n < 4000; ++n) {
        const uint32_t width = random.bounded(13u);
        const uint32_t height = random.bounded(13u);
        const GuideLayout layout = Layout(random.bounded(width + 2), random.bounded(height + 2), random.bounded(4u),
                                          random.bounded(height + 2), random.bounded(5u), random.bounded(2u) == 1);
        const GuideCheck check = CheckGuideLayout(layout, width, height);
        const uint32_t guidePixels = random.bounded(4u) == 0 ? random.bounded(120u) : check.guidePixels;
        const size_t needed = size_t(width) * height + guidePixels;
        const std::vector<uint16_t> frame(random.bounded(uint32_t(needed) + 6), 1);
        const bool collect = random.bounded(2u) == 1;
        const GuideSplit split = SplitGuideFrame(frame.data(), frame.size(), width, height, layout, guidePixels,
                                                 collect);
        QCOMPARE(split.image.size(), size_t(width) * height);
        QCOMPARE(split.guide.size(), size_t(guidePixels));
        QCOMPARE(split.ok, split.message.empty());
        if (check.ok && guidePixels == check.guidePixels && frame.size() >= needed)
            QVERIFY2(split.ok, split.message.c_str());
    }
}

void TestFrameLayout::guideCube_hasOnePlanePerWindowRead()
{
    const GuideLayout eight = Layout(16, 16, 1, 256, 256, true);
    QCOMPARE(GuideCubeAxes(eight, CheckGuideLayout(eight, 2048, 2048).guidePixels),
             (std::array<long, 3>{16, 16, 8}));
    const GuideLayout reads = Layout(16, 8, 3, 256, 256, false);
    QCOMPARE(GuideCubeAxes(reads, CheckGuideLayout(reads, 2048, 2048).guidePixels),
             (std::array<long, 3>{16, 8, 21}));
    QCOMPARE(GuideCubeAxes(Layout(0, 8, 3, 0, 1, false), 0), (std::array<long, 3>{0, 8, 0}));
}

void TestFrameLayout::sort_movesPixelsToChannelBlocks_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("headers");
    QTest::addColumn<int>("width");
    QTest::addColumn<QVector<int>>("moves");   // pairs: source position, destination position
    // 32 channels of 64 pixels: source h + i*32 + j goes to h + j*64 + i.
    QTest::newRow("mode 1: 65 to 66") << 1 << 32 << 0 << 2048 << QVector<int>({65, 66});
    QTest::newRow("mode 1: corners") << 1 << 32 << 0 << 2048
                                     << QVector<int>({0, 0, 1, 64, 31, 31 * 64, 32, 1, 2047, 2047});
    QTest::newRow("mode 2: 33 to 127") << 2 << 32 << 0 << 2048 << QVector<int>({33, 127});
    QTest::newRow("mode 2: even pixels as mode 1") << 2 << 32 << 0 << 2048
                                                   << QVector<int>({0, 0, 64, 2, 65, 66, 1984, 62});
    QTest::newRow("mode 2: odd pixels backwards") << 2 << 32 << 0 << 2048
                                                  << QVector<int>({32, 63, 33, 127, 2016, 1, 2047, 31 * 64 + 1});
    QTest::newRow("any other mode as mode 2") << 7 << 32 << 0 << 2048 << QVector<int>({33, 127});
    QTest::newRow("headers stay") << 1 << 4 << 3 << 11
                                  << QVector<int>({0, 0, 1, 1, 2, 2, 3, 3, 4, 5, 5, 7, 6, 9, 7, 4, 10, 10});
    QTest::newRow("pixels beyond the channels stay") << 1 << 32 << 2 << 70
                                                     << QVector<int>({2, 2, 3, 4, 34, 3, 66, 66, 69, 69});
    QTest::newRow("largest row") << 1 << 32 << 0 << 65535 << QVector<int>({65, 2049, 65504, 65504, 65534, 65534});
}

void TestFrameLayout::sort_movesPixelsToChannelBlocks()
{
    QFETCH(int, mode);
    QFETCH(int, channels);
    QFETCH(int, headers);
    QFETCH(int, width);
    QFETCH(QVector<int>, moves);
    std::vector<uint16_t> row = Counting(size_t(width));
    SortSettings settings;
    settings.mode = uint8_t(mode);
    settings.channels = uint8_t(channels);
    settings.headers = uint8_t(headers);
    std::string message;
    QVERIFY2(SortChannels(row.data(), row.size(), uint32_t(width), 1, settings, &message), message.c_str());
    for (int k = 0; k + 1 < moves.size(); k += 2)
        QCOMPARE(int(row[size_t(moves[k + 1])]), moves[k]);
}

void TestFrameLayout::sort_isOneToOneAndRowByRow_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("mode 1") << 1;
    QTest::newRow("mode 2") << 2;
}

void TestFrameLayout::sort_isOneToOneAndRowByRow()
{
    QFETCH(int, mode);
    const uint32_t width = 2 + 16 * 6 + 3;
    const uint32_t height = 3;
    std::vector<uint16_t> image = Counting(width * height + 5);
    SortSettings settings;
    settings.mode = uint8_t(mode);
    settings.channels = 16;
    settings.headers = 2;
    std::string message;
    QVERIFY2(SortChannels(image.data(), image.size(), width, height, settings, &message), message.c_str());
    const std::vector<uint16_t> unsorted = Counting(width * height);
    for (uint32_t r = 0; r < height; ++r) {
        std::vector<uint16_t> row(image.begin() + r * width, image.begin() + (r + 1) * width);
        QVERIFY(row != std::vector<uint16_t>(unsorted.begin() + r * width, unsorted.begin() + (r + 1) * width));
        std::sort(row.begin(), row.end());
        QVERIFY(row == std::vector<uint16_t>(unsorted.begin() + r * width, unsorted.begin() + (r + 1) * width));
    }
    // Pixels after the image are not touched.
    QCOMPARE(int(image[width * height]), int(width * height));
}

void TestFrameLayout::sort_modeZeroLeavesFrameUnchanged()
{
    std::vector<uint16_t> image = Counting(64);
    SortSettings settings;
    settings.mode = 0;
    settings.channels = 0;      // not looked at without sorting
    std::string message;
    QVERIFY(SortChannels(image.data(), image.size(), 8, 8, settings, &message));
    QVERIFY(image == Counting(64));
    QVERIFY(CheckSortSettings(settings, 8).empty());
}

void TestFrameLayout::sort_refusesSettingsThatDoNotFitTheRow_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("headers");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("message");
    QTest::newRow("no channels") << 1 << 0 << 0 << 64 << 2 << 128 << "Invalid number of sort channels. Should be > 0";
    QTest::newRow("headers wider than row") << 1 << 4 << 65 << 64 << 2 << 128
                                            << "Invalid number of science header pixels. Should be <= image width";
    QTest::newRow("headers fill the row") << 1 << 4 << 64 << 64 << 2 << 128
            << "Invalid number of sort channels. Should be <= image width less the science header pixels";
    QTest::newRow("more channels than pixels") << 1 << 32 << 0 << 31 << 2 << 62
            << "Invalid number of sort channels. Should be <= image width less the science header pixels";
    QTest::newRow("mode 2 with odd pixels per channel") << 2 << 32 << 0 << 96 << 1 << 96
            << "Invalid sort settings for sort mode 2. Pixels per channel (3) should be even";
    QTest::newRow("largest row in mode 2") << 2 << 32 << 0 << 65535 << 1 << 65535
            << "Invalid sort settings for sort mode 2. Pixels per channel (2047) should be even";
    QTest::newRow("frame shorter than image") << 1 << 32 << 0 << 64 << 3 << 191
            << "Sorting pixels failed: the frame holds fewer pixels than the image";
}

void TestFrameLayout::sort_refusesSettingsThatDoNotFitTheRow()
{
    QFETCH(int, mode);
    QFETCH(int, channels);
    QFETCH(int, headers);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, length);
    QFETCH(QString, message);
    SortSettings settings;
    settings.mode = uint8_t(mode);
    settings.channels = uint8_t(channels);
    settings.headers = uint8_t(headers);
    std::vector<uint16_t> image = Counting(size_t(length));
    std::string got;
    QVERIFY(!SortChannels(image.data(), image.size(), uint32_t(width), uint32_t(height), settings, &got));
    QCOMPARE(QString::fromStdString(got), message);
    QVERIFY(image == Counting(size_t(length)));
}

void TestFrameLayout::sort_anySettingsStayWithinTheImage()
{
    QRandomGenerator random(20261210);
    for (int n = 0; n < 4000; ++n) {
        const uint32_t width = random.bounded(90u);
        const uint32_t height = random.bounded(4u);
        SortSettings settings;
        settings.mode = uint8_t(random.bounded(4u));
        settings.channels = uint8_t(random.bounded(40u));
        settings.headers = uint8_t(random.bounded(100u));
        const size_t length = random.bounded(uint32_t(width * height) + 3);
        std::vector<uint16_t> image = Counting(length);
        std::string message;
        const bool sorted = SortChannels(image.data(), image.size(), width, height, settings, &message);
        if (!sorted) {
            QVERIFY(!message.empty());
            QVERIFY(image == Counting(length));
            continue;
        }
        std::vector<uint16_t> all = image;
        std::sort(all.begin(), all.end());
        QVERIFY2(all == Counting(length), "sorting lost or doubled a pixel");
    }
}

void TestFrameLayout::frameFile_imageAndGuideCubeReadBackIdentically()
{
    const GuideLayout layout = Layout(3, 2, 2, 2, 3, true);
    const uint32_t width = 5;
    const uint32_t height = 9;
    const GuideCheck check = CheckGuideLayout(layout, width, height);
    QVERIFY(check.ok);
    const SyntheticFrame synthetic(width, height, layout);
    const GuideSplit split = SplitGuideFrame(synthetic.frame.data(), synthetic.frame.size(), width, height,
                                             layout, check.guidePixels, true);
    QVERIFY(split.ok);

    const QString image = dir->filePath("Frame_0_0.fits");
    FrameFileResult result = WriteUShortFits(image.toStdString(), {long(width), long(height)},
                                             split.image.data(), split.image.size());
    QVERIFY2(result.ok, result.errorText.c_str());
    RawFits raw;
    QVERIFY2(raw.load(image), qPrintable(raw.error));
    QCOMPARE(raw.axes, QVector<qint64>({5, 9}));
    QCOMPARE(raw.keywords.mid(raw.firstUserCard()), QStringList());
    QCOMPARE(raw.pixels().size(), int(synthetic.image.size()));
    for (size_t i = 0; i < synthetic.image.size(); ++i)
        QCOMPARE(raw.pixels()[int(i)], double(synthetic.image[i]));

    const QString cube = dir->filePath("Frame_0_0_guide.fits");
    const std::array<long, 3> axes = GuideCubeAxes(layout, check.guidePixels);
    result = WriteUShortFits(cube.toStdString(), {axes[0], axes[1], axes[2]}, split.guide.data(),
                             split.guide.size());
    QVERIFY2(result.ok, result.errorText.c_str());
    QVERIFY2(raw.load(cube), qPrintable(raw.error));
    QCOMPARE(raw.axes, QVector<qint64>({3, 2, 2 * 4}));
    const QVector<double> guide = raw.pixels();
    QCOMPARE(guide.size(), int(synthetic.guide.size()));
    for (size_t i = 0; i < synthetic.guide.size(); ++i)
        QCOMPARE(guide[int(i)], double(synthetic.guide[i]));
}

void TestFrameLayout::frameFile_refusesExistingFileAndShortBuffers()
{
    const std::vector<uint16_t> first = Counting(6);
    const QString path = dir->filePath("once.fits");
    QVERIFY(WriteUShortFits(path.toStdString(), {3, 2}, first.data(), first.size()).ok);

    const std::vector<uint16_t> second(6, 9);
    FrameFileResult result = WriteUShortFits(path.toStdString(), {3, 2}, second.data(), second.size());
    QVERIFY(!result.ok);
    QVERIFY(!result.closeFailed);
    QVERIFY(!result.errorText.empty());
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.pixels(), QVector<double>({0, 1, 2, 3, 4, 5}));

    const QString shortPath = dir->filePath("short.fits");
    result = WriteUShortFits(shortPath.toStdString(), {3, 2}, first.data(), 5);
    QVERIFY(!result.ok);
    QCOMPARE(result.errorText, std::string("the frame holds fewer pixels than the image"));
    result = WriteUShortFits(shortPath.toStdString(), {3, -2}, first.data(), 6);
    QVERIFY(!result.ok);
    result = WriteUShortFits(shortPath.toStdString(), {}, first.data(), 6);
    QVERIFY(!result.ok);
    QVERIFY(!QFile::exists(shortPath));

    const QString noFolder = dir->filePath("missing/frame.fits");
    result = WriteUShortFits(noFolder.toStdString(), {3, 2}, first.data(), 6);
    QVERIFY(!result.ok);
    QVERIFY(!result.errorText.empty());
    QVERIFY(!QFile::exists(noFolder));
}

void TestFrameLayout::frameFiles_passFitsverify_data()
{
    QTest::addColumn<QVector<long>>("axes");
    QTest::addColumn<bool>("guideCube");
    QTest::newRow("frame") << QVector<long>({5, 9}) << false;
    QTest::newRow("guide cube") << QVector<long>({3, 2, 8}) << true;
    QTest::newRow("no columns") << QVector<long>({0, 4}) << false;
    QTest::newRow("one pixel") << QVector<long>({1, 1}) << false;
}

void TestFrameLayout::frameFiles_passFitsverify()
{
    QFETCH(QVector<long>, axes);
    QFETCH(bool, guideCube);
    if (FitsVerify::program().isEmpty())
        QSKIP("fitsverify is not installed");
    const GuideLayout layout = Layout(3, 2, 2, 2, 3, true);
    const GuideCheck check = CheckGuideLayout(layout, 5, 9);
    const SyntheticFrame synthetic(5, 9, layout);
    const GuideSplit split = SplitGuideFrame(synthetic.frame.data(), synthetic.frame.size(), 5, 9, layout,
                                             check.guidePixels, true);
    QVERIFY(split.ok);
    const std::vector<uint16_t> &pixels = guideCube ? split.guide : split.image;
    const QString path = dir->filePath("verified.fits");
    const FrameFileResult result = WriteUShortFits(path.toStdString(), std::vector<long>(axes.begin(), axes.end()),
                                                   pixels.data(), pixels.size());
    QVERIFY2(result.ok, result.errorText.c_str());
    QString report;
    QVERIFY2(FitsVerify::passes(path, &report), qPrintable(report));
}

QTEST_GUILESS_MAIN(TestFrameLayout)
#include "tst_framelayout.moc"
