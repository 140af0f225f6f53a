// FITS images written and read through FitsImage, checked against an
// independent reading of the bytes on disk and against fitsverify.
#include "fitsfile.h"
#include "fitstestsupport.h"

#include <fitsio.h>

#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>
#include <functional>
#include <map>
#include <memory>

namespace {

enum PixelKind { UShortPixels, FloatPixels, DoublePixels };

QString PathIn(const QTemporaryDir &dir, const char *name)
{
    return dir.filePath(QString::fromLatin1(name));
}

QStringList UserKeywords(const RawFits &raw)
{
    return raw.keywords.mid(raw.firstUserCard());
}

// A 2-D or 3-D unsigned-short file made with plain CFITSIO.
bool MakeUShortFile(const QString &path, std::vector<long> axes, const std::vector<unsigned short> &pixels)
{
    fitsfile *file = nullptr;
    int status = 0;
    fits_create_file(&file, path.toLocal8Bit().constData(), &status);
    fits_create_img(file, USHORT_IMG, int(axes.size()), axes.data(), &status);
    fits_write_img(file, TUSHORT, 1, LONGLONG(pixels.size()), const_cast<unsigned short *>(pixels.data()), &status);
    fits_close_file(file, &status);
    return status == 0;
}

template <typename T>
std::vector<T> Samples();
template <>
std::vector<unsigned short> Samples()
{
    return {0, 1, 2, 255, 256, 32767, 32768, 32769, 40000, 65534, 65535, 12345};
}
template <>
std::vector<float> Samples()
{
    return {0.0f, -0.0f, 1.5f, -2.25f, FLT_MAX, -FLT_MAX, FLT_MIN, 1e-40f, 3.14159f, 1e30f, -7.0f, 65536.5f};
}
template <>
std::vector<double> Samples()
{
    return {0.0, -1.0, 0.1, 1.0 / 3.0, DBL_MAX, -DBL_MAX, DBL_MIN, 4.9e-324, 1e300, -1e-300, 2.0, 123456789.125};
}

struct BadEntry {
    const char *name;
    QByteArray keyword;
    int type;
    float number;
    QByteArray text;
};

// Entries FitsImage cannot write as they are; each sorts between "MID" and "ZZZZZZZZ" or before both.
std::vector<BadEntry> BadEntries()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    return {
        {"blank inside", "BAD KEY", 0, 0.0f, {}},
        {"empty", "", 0, 0.0f, {}},
        {"nine characters", "LONGERKEY", 0, 0.0f, {}},
        {"equals sign", "A=B", 0, 0.0f, {}},
        {"not ASCII", "K\xc3\xa9", 0, 0.0f, {}},
        {"axis length", "NAXIS1", 0, 0.0f, {}},
        {"pixel offset", "BZERO", 0, 0.0f, {}},
        {"pixel type", "BITPIX", 0, 0.0f, {}},
        {"end card", "END", 0, 0.0f, {}},
        {"commentary", "HISTORY", 1, 0.0f, "h"},
        {"same name in other case", "Mid", 0, 0.0f, {}},
        {"NaN", "GAIN", 2, nan, {}},
        {"infinity", "GAIN", 2, inf, {}},
        {"control character", "NOTE", 1, 0.0f, "ab\x01" "c"},
        {"69 characters", "NOTE", 1, 0.0f, QByteArray(69, 'a')},
        {"quote pushes past 68", "NOTE", 1, 0.0f, QByteArray(67, 'a') + "'"},
        {"unknown entry type", "ODD", 7, 0.0f, {}},
    };
}

// Writes one kind of file that PAC may leave on disk; its result does not matter here.
using Producer = std::function<void(const std::string &path)>;

}  // namespace

Q_DECLARE_METATYPE(Producer)

class TestFitsImage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_keepsPixelsAndWritesKeywordsInOrder_data();
    void roundTrip_keepsPixelsAndWritesKeywordsInOrder();
    void unsignedShort_storedAsSigned16WithOffset();
    void rowOrder_firstRowFirstAlongNaxis1();
    void existingFile_refusedUnlessNameStartsWithBang();
    void emptyPixels_writeImageWithoutPixelStep();
    void pixelCount_moreThanImageRefusedFewerPadded();
    void dataTypeOtherThanPixels_refusedWithoutFile();
    void acceptedKeywordForms_writtenAsFitsCards_data();
    void acceptedKeywordForms_writtenAsFitsCards();
    void unwritableKeyword_failsAndLeavesValidFileWithKeywordsBefore_data();
    void unwritableKeyword_failsAndLeavesValidFileWithKeywordsBefore();
    void optionalKeywords_readInChainUntilFirstMissing_data();
    void optionalKeywords_readInChainUntilFirstMissing();
    void optionalKeywords_neverMakeReadFail();
    void read_refusesMissingWideAndOneAxisFiles();
    void read_cubeGivesItsFirstPlane();
    void read_replacesEarlierPixels();
    void writtenFiles_passFitsverify_data();
    void writtenFiles_passFitsverify();

private:
    std::unique_ptr<QTemporaryDir> dir;

    template <typename T>
    void roundTrip(int expectedBitpix);
};

void TestFitsImage::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

template <typename T>
void TestFitsImage::roundTrip(int expectedBitpix)
{
    const QString path = PathIn(*dir, QTest::currentDataTag());
    FitsImage<T> image;
    image.width = 4;
    image.height = 3;
    image.pixels = Samples<T>();

    FitsHeader header;
    header.AddInt("ZETA", -123456, "added first");
    header.AddFloat("ALPHA", 0.5f, "added second");
    header.AddString("MID", "it's text", "added third");
    header.AddInt("ALPHA", 99, "added again");
    QVERIFY(image.WriteFitsFile(path.toStdString(), header));

    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.bitpix, expectedBitpix);
    QCOMPARE(raw.axes, QVector<qint64>({4, 3}));
    QCOMPARE(UserKeywords(raw), QStringList({"ALPHA", "MID", "ZETA"}));
    QCOMPARE(raw.value("ALPHA").toDouble(), 0.5);
    QCOMPARE(raw.comment("ALPHA"), QStringLiteral("added second"));
    QCOMPARE(raw.text("MID"), QStringLiteral("it's text"));
    QCOMPARE(raw.number("ZETA"), -123456);
    const QVector<double> stored = raw.pixels();
    QCOMPARE(stored.size(), 12);
    for (int i = 0; i < 12; ++i)
        QCOMPARE(stored[i], double(image.pixels[size_t(i)]));

    FitsImage<T> back;
    FitsHeader readHeader;
    QVERIFY(back.ReadFitsFile(path.toStdString(), readHeader));
    QCOMPARE(back.width, 4u);
    QCOMPARE(back.height, 3u);
    QVERIFY(back.pixels == image.pixels);
    QVERIFY(readHeader.IsEmpty());
}

void TestFitsImage::roundTrip_keepsPixelsAndWritesKeywordsInOrder_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("ushort.fits") << int(UShortPixels);
    QTest::newRow("float.fits") << int(FloatPixels);
    QTest::newRow("double.fits") << int(DoublePixels);
}

void TestFitsImage::roundTrip_keepsPixelsAndWritesKeywordsInOrder()
{
    QFETCH(int, kind);
    if (kind == UShortPixels)
        roundTrip<unsigned short>(16);
    else if (kind == FloatPixels)
        roundTrip<float>(-32);
    else
        roundTrip<double>(-64);
}

void TestFitsImage::unsignedShort_storedAsSigned16WithOffset()
{
    const QString path = PathIn(*dir, "offset.fits");
    FitsImage<unsigned short> image;
    image.width = 3;
    image.height = 1;
    image.pixels = {0, 32768, 65535};
    QVERIFY(image.WriteFitsFile(path.toStdString(), FitsHeader()));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 2 * RawFits::BlockSize);
    // Stored value = pixel - 32768, big-endian.
    QCOMPARE(bytes.mid(RawFits::BlockSize, 6), QByteArray::fromHex("8000" "0000" "7fff"));
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.number("BZERO"), 32768);
}

void TestFitsImage::rowOrder_firstRowFirstAlongNaxis1()
{
    const QString path = PathIn(*dir, "rows.fits");
    FitsImage<unsigned short> image;
    image.width = 4;
    image.height = 3;
    for (unsigned short v = 0; v < 12; ++v)
        image.pixels.push_back(v);
    QVERIFY(image.WriteFitsFile(path.toStdString(), FitsHeader()));

    // Pixel (x=2, y=1) in FITS coordinates (1-based: 3, 2) is row 1, column 2.
    fitsfile *file = nullptr;
    int status = 0;
    fits_open_file(&file, path.toLocal8Bit().constData(), READONLY, &status);
    long first[2] = {3, 2};
    unsigned short value = 0;
    fits_read_pix(file, TUSHORT, first, 1, nullptr, &value, nullptr, &status);
    fits_close_file(file, &status);
    QCOMPARE(status, 0);
    QCOMPARE(value, (unsigned short)(1 * 4 + 2));

    FitsImage<unsigned short> back;
    FitsHeader header;
    QVERIFY(back.ReadFitsFile(path.toStdString(), header));
    QCOMPARE(back.pixels.size(), size_t(12));
    QVERIFY(back.pixels == image.pixels);
}

void TestFitsImage::existingFile_refusedUnlessNameStartsWithBang()
{
    const QString path = PathIn(*dir, "exists.fits");
    FitsImage<float> first;
    first.width = 2;
    first.height = 1;
    first.pixels = {1.0f, 2.0f};
    QVERIFY(first.WriteFitsFile(path.toStdString(), FitsHeader()));

    FitsImage<float> second = first;
    second.pixels = {7.0f, 8.0f};
    QVERIFY(!second.WriteFitsFile(path.toStdString(), FitsHeader()));
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.pixels(), QVector<double>({1.0, 2.0}));

    QVERIFY(second.WriteFitsFile("!" + path.toStdString(), FitsHeader()));
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.pixels(), QVector<double>({7.0, 8.0}));
}

void TestFitsImage::emptyPixels_writeImageWithoutPixelStep()
{
    const QString path = PathIn(*dir, "empty.fits");
    FitsImage<double> image;
    image.width = 3;
    image.height = 2;
    FitsHeader header;
    header.AddInt("FRAME", 1, "");
    QVERIFY(image.WriteFitsFile(path.toStdString(), header));
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.axes, QVector<qint64>({3, 2}));
    QCOMPARE(raw.pixels(), QVector<double>(6, 0.0));
    QCOMPARE(UserKeywords(raw), QStringList({"FRAME"}));

    const QString none = PathIn(*dir, "zero.fits");
    FitsImage<unsigned short> zero;
    QVERIFY(zero.WriteFitsFile(none.toStdString(), FitsHeader()));
    FitsImage<unsigned short> back;
    FitsHeader readHeader;
    QVERIFY(back.ReadFitsFile(none.toStdString(), readHeader));
    QCOMPARE(back.width, 0u);
    QVERIFY(back.pixels.empty());
}

void TestFitsImage::pixelCount_moreThanImageRefusedFewerPadded()
{
    const QString tooMany = PathIn(*dir, "toomany.fits");
    FitsImage<unsigned short> image;
    image.width = 2;
    image.height = 2;
    image.pixels = {1, 2, 3, 4, 5};
    QVERIFY(!image.WriteFitsFile(tooMany.toStdString(), FitsHeader()));
    QVERIFY(!QFile::exists(tooMany));

    const QString fewer = PathIn(*dir, "fewer.fits");
    FitsImage<float> part;
    part.width = 2;
    part.height = 2;
    part.pixels = {1.0f, 2.0f, 3.0f};
    QVERIFY(part.WriteFitsFile(fewer.toStdString(), FitsHeader()));
    RawFits raw;
    QVERIFY2(raw.load(fewer), qPrintable(raw.error));
    QCOMPARE(raw.pixels(), QVector<double>({1.0, 2.0, 3.0, 0.0}));
}

void TestFitsImage::dataTypeOtherThanPixels_refusedWithoutFile()
{
    const QString path = PathIn(*dir, "mismatch.fits");
    FitsImage<unsigned short> image;
    image.width = 2;
    image.height = 1;
    image.pixels = {1, 2};
    QVERIFY(!image.WriteFitsFileWithType_(path.toStdString(), DOUBLE_IMG, TDOUBLE, FitsHeader()));
    QVERIFY(!QFile::exists(path));

    // Another image type is fine: CFITSIO converts the pixels.
    QVERIFY(image.WriteFitsFileWithType_(path.toStdString(), FLOAT_IMG, TUSHORT, FitsHeader()));
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.bitpix, -32);

    FitsImage<unsigned short> back;
    FitsHeader header;
    QVERIFY(!back.ReadFitsFileWithType_(path.toStdString(), USHORT_IMG, TFLOAT, header));
    QVERIFY(back.ReadFitsFileWithType_(path.toStdString(), USHORT_IMG, TUSHORT, header));
    QVERIFY(back.pixels == image.pixels);
}

void TestFitsImage::acceptedKeywordForms_writtenAsFitsCards_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("lower case written upper") << QByteArray("exptime") << "EXPTIME" << QByteArray("x");
    QTest::newRow("eight characters") << QByteArray("ABCDEFGH") << "ABCDEFGH" << QByteArray("x");
    QTest::newRow("digits hyphen underscore") << QByteArray("A1-B_2") << "A1-B_2" << QByteArray("x");
    QTest::newRow("NAXIS alone is not a prefix") << QByteArray("NAXISX") << "NAXISX" << QByteArray("x");
    QTest::newRow("68 characters fill the card") << QByteArray("LONG") << "LONG" << QByteArray(68, 'a');
    QTest::newRow("quotes doubled within 68") << QByteArray("QUOTE") << "QUOTE" << QByteArray(33, 'b') + "''";
}

void TestFitsImage::acceptedKeywordForms_writtenAsFitsCards()
{
    QFETCH(QByteArray, keyword);
    QFETCH(QString, card);
    QFETCH(QByteArray, text);
    const QString path = PathIn(*dir, "accepted.fits");
    FitsImage<unsigned short> image;
    image.width = 1;
    image.height = 1;
    image.pixels = {7};
    FitsHeader header;
    header.AddString(keyword.toStdString(), text.toStdString(), "comment");
    QVERIFY(image.WriteFitsFile(path.toStdString(), header));
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(UserKeywords(raw), QStringList({card}));
    QCOMPARE(raw.text(card), QString::fromLatin1(text));
}

void TestFitsImage::unwritableKeyword_failsAndLeavesValidFileWithKeywordsBefore_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("number");
    QTest::addColumn<QByteArray>("text");
    for (const BadEntry &bad : BadEntries())
        QTest::newRow(bad.name) << bad.keyword << bad.type << bad.number << bad.text;
}

void TestFitsImage::unwritableKeyword_failsAndLeavesValidFileWithKeywordsBefore()
{
    QFETCH(QByteArray, keyword);
    QFETCH(int, type);
    QFETCH(float, number);
    QFETCH(QByteArray, text);
    const QString path = PathIn(*dir, "badkey.fits");

    FitsImage<unsigned short> image;
    image.width = 2;
    image.height = 2;
    image.pixels = {10, 20, 30, 40};
    FitsHeader header;
    header.AddInt("MID", 1, "sorts before lower case");
    header.AddInt("ZZZZZZZZ", 2, "after every bad name");
    FitsHeaderStruct entry;
    entry.type = type;
    entry.floatValue = number;
    entry.stringValue = text.toStdString();
    entry.comment = "bad";
    QVERIFY(header.InsertStruct(keyword.toStdString(), entry));

    QVERIFY(!image.WriteFitsFile(path.toStdString(), header));
    QVERIFY(QFile::exists(path));
    RawFits raw;
    QVERIFY2(raw.load(path), qPrintable(raw.error));
    QCOMPARE(raw.pixels(), QVector<double>({10, 20, 30, 40}));
    QVERIFY(!raw.keywords.contains("ZZZZZZZZ"));
    QCOMPARE(raw.count("MID"), keyword.toStdString() > std::string("MID") ? 1 : 0);
    QCOMPARE(raw.count("BZERO"), 1);
    QCOMPARE(raw.count("NAXIS1"), 1);
}

void TestFitsImage::optionalKeywords_readInChainUntilFirstMissing_data()
{
    QTest::addColumn<QStringList>("inFile");
    QTest::addColumn<QStringList>("read");
    const QStringList all{"MUXTYPE", "CAMLINK", "ACQTYPE", "FASTMODE"};
    QTest::newRow("all four") << all << QStringList({"ACQTIME", "CAMLINK", "FASTMODE", "MUXTYPE"});
    QTest::newRow("no MUXTYPE stops all") << QStringList({"CAMLINK", "ACQTYPE", "FASTMODE"}) << QStringList();
    QTest::newRow("MUXTYPE only") << QStringList({"MUXTYPE"}) << QStringList({"MUXTYPE"});
    QTest::newRow("no ACQTYPE stops FASTMODE")
            << QStringList({"MUXTYPE", "CAMLINK", "FASTMODE"}) << QStringList({"CAMLINK", "MUXTYPE"});
    QTest::newRow("no CAMLINK") << QStringList({"MUXTYPE", "ACQTYPE", "FASTMODE"}) << QStringList({"MUXTYPE"});
    QTest::newRow("none") << QStringList() << QStringList();
}

void TestFitsImage::optionalKeywords_readInChainUntilFirstMissing()
{
    QFETCH(QStringList, inFile);
    QFETCH(QStringList, read);
    const QString path = PathIn(*dir, "optional.fits");
    FitsImage<unsigned short> image;
    image.width = 1;
    image.height = 1;
    image.pixels = {1};
    FitsHeader written;
    if (inFile.contains("MUXTYPE"))
        written.AddInt("MUXTYPE", 2, "mux");
    if (inFile.contains("CAMLINK"))
        written.AddInt("CAMLINK", 1, "cl");
    if (inFile.contains("ACQTYPE"))
        written.AddString("ACQTYPE", "2026-12-09T14:05:09", "time");
    if (inFile.contains("FASTMODE"))
        written.AddInt("FASTMODE", 1, "fast");
    QVERIFY(image.WriteFitsFile(path.toStdString(), written));

    FitsImage<unsigned short> back;
    FitsHeader header;
    QVERIFY(back.ReadFitsFile(path.toStdString(), header));
    QStringList keys;
    for (auto it = header.Begin(); it != header.End(); ++it)
        keys << QString::fromStdString(it->first);
    QCOMPARE(keys, read);

    const std::map<std::string, std::string> comments{
            {"MUXTYPE", "1:H1RG, 2:H2RG"},
            {"CAMLINK", "If Camlink readout enabled (1 enabled)"},
            {"ACQTIME", "local computer time"},
            {"FASTMODE", "fast mode vs. slow mode (1 fast mode)"}};
    for (auto it = header.Begin(); it != header.End(); ++it)
        QCOMPARE(it->second.comment, comments.at(it->first));
    bool found = false;
    if (read.contains("MUXTYPE"))
        QCOMPARE(header.GetInt("MUXTYPE", found), 2);
    if (read.contains("CAMLINK"))
        QCOMPARE(header.GetInt("CAMLINK", found), 1);
    if (read.contains("ACQTIME"))
        QCOMPARE(header.GetString("ACQTIME", found), std::string("2026-12-09T14:05:09"));
    if (read.contains("FASTMODE"))
        QCOMPARE(header.GetInt("FASTMODE", found), 1);
}

void TestFitsImage::optionalKeywords_neverMakeReadFail()
{
    // A MUXTYPE that does not fit 16 unsigned bits is unreadable: no keyword, no failure.
    const QString path = PathIn(*dir, "badmux.fits");
    FitsImage<float> image;
    image.width = 1;
    image.height = 1;
    image.pixels = {2.5f};
    FitsHeader written;
    written.AddInt("MUXTYPE", -1, "");
    written.AddInt("CAMLINK", 1, "");
    QVERIFY(image.WriteFitsFile(path.toStdString(), written));

    FitsImage<float> back;
    FitsHeader header;
    header.AddInt("MUXTYPE", 9, "kept");
    QVERIFY(back.ReadFitsFile(path.toStdString(), header));
    QCOMPARE(back.pixels, std::vector<float>({2.5f}));
    bool found = false;
    QCOMPARE(header.GetInt("MUXTYPE", found), 9);
    header.GetInt("CAMLINK", found);
    QVERIFY(!found);
}

void TestFitsImage::read_refusesMissingWideAndOneAxisFiles()
{
    FitsImage<unsigned short> back;
    FitsHeader header;
    QVERIFY(!back.ReadFitsFile(PathIn(*dir, "absent.fits").toStdString(), header));

    const QString wide = PathIn(*dir, "wide.fits");
    FitsImage<unsigned short> image;
    image.width = 65536;
    image.height = 1;
    QVERIFY(image.WriteFitsFile(wide.toStdString(), FitsHeader()));
    QVERIFY(!back.ReadFitsFile(wide.toStdString(), header));

    const QString widest = PathIn(*dir, "widest.fits");
    image.width = 65535;
    QVERIFY(image.WriteFitsFile(widest.toStdString(), FitsHeader()));
    QVERIFY(back.ReadFitsFile(widest.toStdString(), header));
    QCOMPARE(back.width, 65535u);
    QCOMPARE(back.pixels.size(), size_t(65535));

    const QString line = PathIn(*dir, "line.fits");
    QVERIFY(MakeUShortFile(line, {3}, {1, 2, 3}));
    QVERIFY(!back.ReadFitsFile(line.toStdString(), header));

    const QString text = PathIn(*dir, "text.fits");
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2880, 'x'));
    file.close();
    QVERIFY(!back.ReadFitsFile(text.toStdString(), header));
    QVERIFY(header.IsEmpty());
}

void TestFitsImage::read_cubeGivesItsFirstPlane()
{
    const QString cube = PathIn(*dir, "cube.fits");
    QVERIFY(MakeUShortFile(cube, {2, 2, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    FitsImage<unsigned short> back;
    FitsHeader header;
    QVERIFY(back.ReadFitsFile(cube.toStdString(), header));
    QCOMPARE(back.width, 2u);
    QCOMPARE(back.height, 2u);
    QCOMPARE(back.pixels, std::vector<unsigned short>({1, 2, 3, 4}));
}

void TestFitsImage::read_replacesEarlierPixels()
{
    const QString path = PathIn(*dir, "small.fits");
    FitsImage<double> image;
    image.width = 2;
    image.height = 1;
    image.pixels = {1.0, 2.0};
    QVERIFY(image.WriteFitsFile(path.toStdString(), FitsHeader()));

    FitsImage<double> back;
    back.width = 5;
    back.height = 5;
    back.pixels.assign(25, 9.0);
    FitsHeader header;
    QVERIFY(back.ReadFitsFile(path.toStdString(), header));
    QCOMPARE(back.width, 2u);
    QCOMPARE(back.height, 1u);
    QCOMPARE(back.pixels, std::vector<double>({1.0, 2.0}));
}

void TestFitsImage::writtenFiles_passFitsverify_data()
{
    QTest::addColumn<Producer>("produce");
    auto withKeywords = [](auto image) {
        return [image](const std::string &path) mutable {
            image.width = 4;
            image.height = 3;
            image.pixels.resize(12);
            for (size_t i = 0; i < 12; ++i)
                image.pixels[i] = typename decltype(image.pixels)::value_type(i * 7);
            FitsHeader header;
            header.AddInt("MUXTYPE", 2, "mux");
            header.AddFloat("GAIN", -1.5e-3f, "gain");
            header.AddString("ACQTYPE", "it's 12:00", "time");
            header.AddString("LONG", std::string(68, 'x'), std::string(100, 'c'));
            image.WriteFitsFile(path, header);
        };
    };
    QTest::newRow("unsigned short") << Producer(withKeywords(FitsImage<unsigned short>()));
    QTest::newRow("float") << Producer(withKeywords(FitsImage<float>()));
    QTest::newRow("double") << Producer(withKeywords(FitsImage<double>()));
    QTest::newRow("no pixels") << Producer([](const std::string &path) {
        FitsImage<unsigned short> image;
        image.width = 5;
        image.height = 2;
        image.WriteFitsFile(path, FitsHeader());
    });
    QTest::newRow("no size") << Producer([](const std::string &path) {
        FitsImage<float>().WriteFitsFile(path, FitsHeader());
    });
    QTest::newRow("fewer pixels") << Producer([](const std::string &path) {
        FitsImage<double> image;
        image.width = 3;
        image.height = 3;
        image.pixels = {1.0, 2.0};
        image.WriteFitsFile(path, FitsHeader());
    });
    for (const BadEntry &bad : BadEntries()) {
        const QByteArray name = QByteArray("unwritable keyword: ") + bad.name;
        QTest::newRow(name.constData()) << Producer([bad](const std::string &path) {
            FitsImage<unsigned short> image;
            image.width = 2;
            image.height = 1;
            image.pixels = {1, 2};
            FitsHeader header;
            header.AddInt("MID", 1, "");
            FitsHeaderStruct entry;
            entry.type = bad.type;
            entry.floatValue = bad.number;
            entry.stringValue = bad.text.toStdString();
            header.InsertStruct(bad.keyword.toStdString(), entry);
            header.AddInt("ZZZZZZZZ", 2, "");
            image.WriteFitsFile(path, header);
        });
    }
}

void TestFitsImage::writtenFiles_passFitsverify()
{
    QFETCH(Producer, produce);
    if (FitsVerify::program().isEmpty())
        QSKIP("fitsverify is not installed");
    const QString path = PathIn(*dir, "verified.fits");
    produce(path.toStdString());
    QVERIFY(QFile::exists(path));
    QString report;
    QVERIFY2(FitsVerify::passes(path, &report), qPrintable(report));
}

QTEST_GUILESS_MAIN(TestFitsImage)
#include "tst_fitsimage.moc"
