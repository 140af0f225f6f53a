// The pure pieces of an acquisition run: frame file names and padding, the
// sync script's path, per-ASIC splitting, the pattern check and the progress
// read-out; and the run's sequence over scripted steps.
#include "acquisitionplan.h"
#include "acquisitionrun.h"
#include "fitsfile.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Acquisition;

namespace {

// Steps that save nothing, or write test-pattern FITS files, and record
// what the run asked for.
class ScriptedSteps : public AcquisitionRun::Steps
{
public:
    bool LoadSyncScript(const QString &path, QString &error) override
    {
        calls << QStringLiteral("sync ") + path;
        if (syncFails) {
            error = QStringLiteral("no such file");
            return false;
        }
        return true;
    }
    int Trigger(int timeoutMs) override
    {
        calls << QStringLiteral("trigger %1").arg(timeoutMs);
        return triggerResult;
    }
    bool TakeFrame(int timeoutMs, const QString &name) override
    {
        calls << QStringLiteral("frame %1 ").arg(timeoutMs) + name;
        if (failAtFrame == frames++)
            return false;
        if (writePattern) {
            FitsImage<unsigned short> image;
            image.width = 16;
            image.height = 4;
            for (quint32 i = 0; i < image.width * image.height; ++i)
                image.pixels.push_back(quint16(i + 256 * patternFrame));
            if (corruptPixel >= 0)
                image.pixels[size_t(corruptPixel)] ^= 0x8000;
            ++patternFrame;
            image.WriteFitsFile((name + QStringLiteral(".fits")).toStdString(), FitsHeader());
        }
        return true;
    }
    int StopCheck() override { return ++stopChecks == stopAt ? 1 : 0; }

    QStringList calls;
    bool syncFails = false;
    int triggerResult = 0;
    int failAtFrame = -1;
    int frames = 0;
    int stopChecks = 0;
    int stopAt = -1;
    bool writePattern = false;
    quint32 patternFrame = 0;
    int corruptPixel = -1;
};

QStringList Lines(const QSignalSpy &spy)
{
    QStringList lines;
    for (const QList<QVariant> &args : spy)
        lines << args.at(0).toString();
    return lines;
}

}  // namespace

class TestAcquisitionPlan : public QObject
{
    Q_OBJECT

private slots:
    void paddingWidthIsCeilLog10_data()
    {
        QTest::addColumn<quint64>("count");
        QTest::addColumn<int>("width");
        QTest::newRow("0") << quint64(0) << 0;
        QTest::newRow("1") << quint64(1) << 0;
        QTest::newRow("2") << quint64(2) << 1;
        QTest::newRow("10") << quint64(10) << 1;
        QTest::newRow("11") << quint64(11) << 2;
        QTest::newRow("12") << quint64(12) << 2;
        QTest::newRow("100") << quint64(100) << 2;
        QTest::newRow("101") << quint64(101) << 3;
        QTest::newRow("largest") << ~quint64(0) << 20;
    }
    void paddingWidthIsCeilLog10()
    {
        QFETCH(quint64, count);
        QFETCH(int, width);
        QCOMPARE(PaddingWidth(count), width);
    }

    void frameNames_data()
    {
        QTest::addColumn<quint32>("exposure");
        QTest::addColumn<quint32>("exposures");
        QTest::addColumn<quint32>("frame");
        QTest::addColumn<quint32>("frames");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("reset");
        QTest::newRow("single frame, no padding") << 1u << 1u << 1u << 1u << "X_E1_N1" << "X_E1_RST0001";
        QTest::newRow("12 x 100 first") << 1u << 12u << 1u << 100u << "X_E01_N01" << "X_E01_RST0001";
        QTest::newRow("12 x 100 last, never shortened") << 12u << 12u << 100u << 100u << "X_E12_N100"
                                                        << "X_E12_RST0100";
        QTest::newRow("reset beyond 4 digits") << 3u << 5u << 12345u << 20000u << "X_E3_N12345" << "X_E3_RST12345";
    }
    void frameNames()
    {
        QFETCH(quint32, exposure);
        QFETCH(quint32, exposures);
        QFETCH(quint32, frame);
        QFETCH(quint32, frames);
        QFETCH(QString, read);
        QFETCH(QString, reset);
        const QString x = QStringLiteral("X");
        QCOMPARE(ReadFrameName(ReadBase(x, exposure, exposures), frame, frames), read);
        QCOMPARE(ResetFrameName(ResetBase(x, exposure, exposures), frame), reset);
    }

    void frameFilesOnePerAsicOnlyWhenSplit()
    {
        AcquisitionPlan plan;
        plan.asicNames = QStringList{QStringLiteral("1"), QStringLiteral("2")};
        QCOMPARE(FrameFiles(QStringLiteral("a b"), plan), QStringList{QStringLiteral("a b.fits")});
        plan.splitPerAsic = true;
        QCOMPARE(FrameFiles(QStringLiteral("a b"), plan),
                 QStringList({QStringLiteral("a b_ASIC1.fits"), QStringLiteral("a b_ASIC2.fits")}));
    }

    void syncScriptPath_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("path");
        QTest::newRow("none") << "" << "";
        QTest::newRow("absolute kept") << "/opt/sync.glf" << "/opt/sync.glf";
        QTest::newRow("plain relative") << "sync.glf" << "/cfg/sync.glf";
        QTest::newRow("dot slash dropped") << "./sync.glf" << "/cfg/sync.glf";
        QTest::newRow("up to the first slash dropped") << "../x/sync.glf" << "/cfg/x/sync.glf";
        QTest::newRow("dot backslash dropped") << ".\\sync.glf" << "/cfg/sync.glf";
        QTest::newRow("backslash before the slash") << "..\\a/sync.glf" << "/cfg/a/sync.glf";
        QTest::newRow("relative with folder") << "scripts/sync.glf" << "/cfg/scripts/sync.glf";
    }
    void syncScriptPath()
    {
        QFETCH(QString, script);
        QFETCH(QString, path);
        QCOMPARE(ResolveSyncScript(script, QStringLiteral("/cfg/Config_Acquire.ini")), path);
    }

    void asicImagesTakeTheirBlocksInTurn()
    {
        // Blocks of 2 pixels from ASICs 1, 2, 3, 1, 2, 3.
        const QVector<quint16> frame{10, 11, 20, 21, 30, 31, 12, 13, 22, 23, 32, 33};
        QCOMPARE(AsicImage(frame.constData(), 12, 3, 2, 0), QVector<quint16>({10, 11, 12, 13}));
        QCOMPARE(AsicImage(frame.constData(), 12, 3, 2, 1), QVector<quint16>({20, 21, 22, 23}));
        QCOMPARE(AsicImage(frame.constData(), 12, 3, 2, 2), QVector<quint16>({30, 31, 32, 33}));
        // A short frame gives a short image, never pixels past its end.
        QCOMPARE(AsicImage(frame.constData(), 9, 3, 2, 1), QVector<quint16>({20, 21, 22}));
        QVERIFY(AsicImage(frame.constData(), 12, 3, 0, 0).isEmpty());
        QVERIFY(AsicImage(frame.constData(), 12, 3, 2, 3).isEmpty());
    }

    void patternMismatchesStopAtTheLimitAndWrap()
    {
        QVector<quint16> pixels(300);
        for (int i = 0; i < pixels.size(); ++i)
            pixels[i] = quint16(i + 256 * 256);   // frame 256 wraps to i
        QVERIFY(PatternMismatches(pixels.constData(), 300, 256).isEmpty());
        for (int i = 0; i < 8; ++i)
            pixels[i * 10] = 0xFFFF;
        const QVector<PatternMismatch> found = PatternMismatches(pixels.constData(), 300, 256);
        QCOMPARE(found.size(), 5);
        QCOMPARE(found.at(4).pixel, 40u);
        QCOMPARE(found.at(4).value, quint16(0xFFFF));
        QCOMPARE(found.at(4).expected, quint16(40));
    }

    void progressText()
    {
        QCOMPARE(ProgressText(0, 40, 0, 8000000), QStringLiteral("0 / 40 frames"));
        QCOMPARE(ProgressText(10, 40, 2000, 8000000), QStringLiteral("10 / 40 frames, 40.0 MB/s, 6 s left"));
        QCOMPARE(ProgressText(40, 40, 8000, 8000000), QStringLiteral("40 / 40 frames, 40.0 MB/s, 0 s left"));
    }

    void runTakesResetThenReadFramesPerExposure()
    {
        AcquisitionPlan plan;
        plan.exposures = 2;
        plan.resetFrames = 1;
        plan.readFrames = 2;
        plan.firstFrameTimeoutMs = 700;
        plan.frameTimeoutMs = 300;
        plan.basePath = QStringLiteral("X");
        plan.syncScript = QStringLiteral("/s.glf");
        plan.syncMode = SyncMode::OnEveryExposure;
        plan.viewer = true;
        ScriptedSteps steps;
        AcquisitionRun run(plan, steps);
        QSignalSpy log(&run, &AcquisitionRun::LogLine);
        QSignalSpy viewer(&run, &AcquisitionRun::ViewerRequested);
        QSignalSpy progress(&run, &AcquisitionRun::Progress);
        QVERIFY(run.Run());
        QCOMPARE(steps.calls, QStringList({"sync /s.glf", "trigger 700", "frame 700 X_E1_RST0001",
                                           "frame 700 X_E1_N1", "frame 700 X_E1_N2", "sync /s.glf",
                                           "trigger 700", "frame 700 X_E2_RST0001", "frame 700 X_E2_N1",
                                           "frame 700 X_E2_N2"}));
        const QStringList lines = Lines(log);
        QCOMPARE(lines.first(), QStringLiteral("Loading sync file /s.glf succeeded"));
        QVERIFY(lines.contains(QStringLiteral("Acquire exposure 1 .... ")));
        QVERIFY(lines.contains(QStringLiteral("Start to acquire reset frame 0...")));
        QVERIFY(lines.contains(QStringLiteral("Start to acquire read frame 0...")));
        QVERIFY(lines.last().startsWith(QStringLiteral("Exposure acquisition succeeded. Total time: ~")));
        // The viewer opens once, on the first reset frame of the run.
        QCOMPARE(viewer.size(), 1);
        QCOMPARE(viewer.at(0).at(0).toStringList(), QStringList{QStringLiteral("X_E1_RST0001.fits")});
        QCOMPARE(progress.size(), 7);
        QCOMPARE(progress.last().at(0).toULongLong(), 6ull);
        QCOMPARE(progress.last().at(1).toULongLong(), 6ull);
    }

    void runEndsAtAFailedOrStoppedStep_data()
    {
        QTest::addColumn<bool>("syncFails");
        QTest::addColumn<int>("triggerResult");
        QTest::addColumn<int>("failAtFrame");
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<int>("framesAsked");
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("sync script") << true << 0 << -1 << -1 << 0
                                     << "Loading sync file /s.glf failed. no such file";
        QTest::newRow("trigger") << false << 2 << -1 << -1 << 0 << "Acquire exposure 0 .... ";
        QTest::newRow("frame") << false << 0 << 1 << -1 << 2 << "Start to acquire read frame 0...";
        QTest::newRow("stop") << false << 0 << -1 << 2 << 2 << "Start to acquire read frame 0...";
    }
    void runEndsAtAFailedOrStoppedStep()
    {
        QFETCH(bool, syncFails);
        QFETCH(int, triggerResult);
        QFETCH(int, failAtFrame);
        QFETCH(int, stopAt);
        QFETCH(int, framesAsked);
        QFETCH(QString, lastLine);
        AcquisitionPlan plan;
        plan.exposures = 3;
        plan.resetFrames = 1;
        plan.readFrames = 3;
        plan.basePath = QStringLiteral("X");
        plan.syncScript = QStringLiteral("/s.glf");
        plan.syncMode = SyncMode::OnAcquisition;
        ScriptedSteps steps;
        steps.syncFails = syncFails;
        steps.triggerResult = triggerResult;
        steps.failAtFrame = failAtFrame;
        steps.stopAt = stopAt;
        AcquisitionRun run(plan, steps);
        QSignalSpy log(&run, &AcquisitionRun::LogLine);
        QVERIFY(!run.Run());
        QCOMPARE(steps.frames, framesAsked);
        QCOMPARE(Lines(log).last(), lastLine);
    }

    void patternRunChecksEveryReadFrame()
    {
        QTemporaryDir dir;
        AcquisitionPlan plan;
        plan.testPattern = true;
        plan.readFrames = 3;
        plan.basePath = dir.filePath(QStringLiteral("Frame"));
        plan.asicNames = QStringList{QStringLiteral("1")};
        ScriptedSteps steps;
        steps.writePattern = true;
        AcquisitionRun run(plan, steps);
        QSignalSpy log(&run, &AcquisitionRun::LogLine);
        QVERIFY(run.Run());
        const QStringList lines = Lines(log);
        QCOMPARE(lines.mid(lines.size() - 3),
                 QStringList({"Pattern verification for frame0 succeeded", "Pattern verification for frame1 succeeded",
                              "Pattern verification for frame2 succeeded"}));
    }

    void patternRunReportsAWrongPixelAndAMissingFile()
    {
        QTemporaryDir dir;
        AcquisitionPlan plan;
        plan.testPattern = true;
        plan.readFrames = 2;
        plan.basePath = dir.filePath(QStringLiteral("Frame"));
        plan.asicNames = QStringList{QStringLiteral("1")};
        ScriptedSteps steps;
        steps.writePattern = true;
        steps.corruptPixel = 5;
        AcquisitionRun run(plan, steps);
        QSignalSpy log(&run, &AcquisitionRun::LogLine);
        QVERIFY(run.Run());
        QStringList lines = Lines(log);
        QVERIFY(lines.contains(QStringLiteral("Pattern verification failed: frame0, pixel5, val 32773, expect 5")));
        QVERIFY(lines.contains(QStringLiteral("Pattern verification failed: frame1, pixel5, val 33029, expect 261")));

        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("Frame_E1_N2.fits"))));
        AcquisitionRun again(plan, steps);
        QSignalSpy log2(&again, &AcquisitionRun::LogLine);
        steps.writePattern = false;
        QVERIFY(again.Run());
        lines = Lines(log2);
        QCOMPARE(lines.last(), QStringLiteral("Pattern verification for frame 1 failed. Reading file failed - ")
                                   + dir.filePath(QStringLiteral("Frame_E1_N2.fits")));
    }
};

QTEST_GUILESS_MAIN(TestAcquisitionPlan)
#include "tst_acquisitionplan.moc"
