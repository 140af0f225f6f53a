// Run folders and base names of image files.
#include "utility.h"

#include <QtTest>

#include <memory>

namespace {

const QDateTime December9(QDate(2026, 12, 9), QTime(14, 5, 9));

}  // namespace

class TestImageFileName : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void baseName_followsPrefixAndTime_data();
    void baseName_followsPrefixAndTime();
    void runsInOneSecond_shareFolderOthersDoNot();
    void singleFrames_shareOneFolder();
    void missingParents_areCreated();
    void folderThatCannotBeMade_givesEmptyName();
    void currentTime_isUsedWithoutOne();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString data;
};

void TestImageFileName::init()
{
    // A folder of its own for every test and data row.
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    data = dir->filePath(QStringLiteral("data"));
}

void TestImageFileName::baseName_followsPrefixAndTime_data()
{
    QTest::addColumn<QString>("pathEnd");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("baseName");
    QTest::newRow("run folder per time stamp") << "" << "Frame" << December9
                                               << "/Frame/20261209140509/" << "/Frame/20261209140509/Frame";
    QTest::newRow("other prefix") << "" << "Dark" << December9 << "/Dark/20261209140509/"
                                  << "/Dark/20261209140509/Frame";
    QTest::newRow("single frame") << "" << "SingleFrame" << December9 << "/SingleFrame/"
                                  << "/SingleFrame/Frame_20261209140509";
    QTest::newRow("single frame in any case keeps spelling")
            << "" << "sInGlEfRaMe" << December9 << "/sInGlEfRaMe/" << "/sInGlEfRaMe/Frame_20261209140509";
    QTest::newRow("single frame with blanks is a prefix")
            << "" << " SINGLEFRAME" << December9 << "/ SINGLEFRAME/20261209140509/"
            << "/ SINGLEFRAME/20261209140509/Frame";
    QTest::newRow("empty prefix") << "" << "" << December9 << "/Frame/20261209140509/"
                                  << "/Frame/20261209140509/Frame";
    QTest::newRow("blank prefix") << "" << "   " << December9 << "/Frame/20261209140509/"
                                  << "/Frame/20261209140509/Frame";
    QTest::newRow("surrounding blanks kept") << "" << " Run 1 " << December9 << "/ Run 1 /20261209140509/"
                                             << "/ Run 1 /20261209140509/Frame";
    QTest::newRow("trailing separator not doubled") << "/" << "Frame" << December9
                                                    << "/Frame/20261209140509/" << "/Frame/20261209140509/Frame";
    QTest::newRow("digits padded") << "" << "Frame" << QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5))
                                   << "/Frame/20270102030405/" << "/Frame/20270102030405/Frame";
    QTest::newRow("24-hour clock") << "" << "SingleFrame" << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))
                                   << "/SingleFrame/" << "/SingleFrame/Frame_20261231235958";
    QTest::newRow("midnight") << "" << "SingleFrame" << QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0))
                              << "/SingleFrame/" << "/SingleFrame/Frame_20261231000000";
}

void TestImageFileName::baseName_followsPrefixAndTime()
{
    QFETCH(QString, pathEnd);
    QFETCH(QString, prefix);
    QFETCH(QDateTime, now);
    QFETCH(QString, folder);
    QFETCH(QString, baseName);
    QVERIFY(QDir().mkpath(data));
    QCOMPARE(Utility::CreateImageFileName(data + pathEnd, prefix, now), data + baseName);
    QVERIFY(QFileInfo(data + folder).isDir());
}

void TestImageFileName::runsInOneSecond_shareFolderOthersDoNot()
{
    Utility utility;
    const QString first = utility.CreateImageFileName(data, "Frame", December9);
    const QString again = utility.CreateImageFileName(data, "Frame", December9);
    const QString later = utility.CreateImageFileName(data, "Frame", December9.addSecs(1));
    QCOMPARE(again, first);
    QVERIFY(!first.isEmpty());
    QVERIFY(QFileInfo(later).path() != QFileInfo(first).path());
    QCOMPARE(QDir(data + "/Frame").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList({"20261209140509", "20261209140510"}));
}

void TestImageFileName::singleFrames_shareOneFolder()
{
    const QString first = Utility::CreateImageFileName(data, "SingleFrame", December9);
    const QString second = Utility::CreateImageFileName(data, "SingleFrame", December9.addSecs(61));
    QCOMPARE(QFileInfo(first).path(), QFileInfo(second).path());
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("Frame_20261209140610"));
    QCOMPARE(QDir(data).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"SingleFrame"}));
}

void TestImageFileName::missingParents_areCreated()
{
    const QString deep = data + "/a/b/c";
    QCOMPARE(Utility::CreateImageFileName(deep, "Frame", December9), deep + "/Frame/20261209140509/Frame");
    QVERIFY(QFileInfo(deep + "/Frame/20261209140509").isDir());
}

void TestImageFileName::folderThatCannotBeMade_givesEmptyName()
{
    QVERIFY(QDir().mkpath(data));
    QFile blocker(data + "/plain");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QCOMPARE(Utility::CreateImageFileName(data + "/plain", "Frame", December9), QString());
    QCOMPARE(Utility::CreateImageFileName(data, "plain", December9), QString());
    QCOMPARE(Utility::CreateImageFileName(data + "/plain", "SingleFrame", December9), QString());
}

void TestImageFileName::currentTime_isUsedWithoutOne()
{
    const QDateTime before = QDateTime::currentDateTime();
    const QString name = Utility::CreateImageFileName(data, "SingleFrame");
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(name.startsWith(data + "/SingleFrame/Frame_"));
    const QDateTime stamp = QDateTime::fromString(name.right(14), QStringLiteral("yyyyMMddhhmmss"));
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before.addMSecs(-before.time().msec()));
    QVERIFY(stamp <= after);
}

QTEST_GUILESS_MAIN(TestImageFileName)
#include "tst_imagefilename.moc"
