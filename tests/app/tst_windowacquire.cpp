// Acquisition runs of the window against simulated cards: test patterns over
// GigE and USB with their verification, an image acquisition's files, Stop,
// the controls locked during a run, the viewer commands, and the faults a run
// must survive (a card that stops mid-frame, a dropped science connection).
#include "fitsfile.h"
#include "pelrainterface.h"
#include "pelrasim.h"
#include "simscienceframes.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// A 32 KiB tmpfs, seen by this test process alone, for the full-disk run:
// made before any thread starts, since a mount namespace cannot be entered
// by a process with threads. Empty, with the reason in fullDiskWhy, where
// mount namespaces are not available.
QString fullDiskDir;
QString fullDiskWhy;

void PrepareSmallDisk()
{
    char pattern[] = "/tmp/pac-fulldisk.XXXXXX";
    if (!mkdtemp(pattern)) {
        fullDiskWhy = QStringLiteral("no temporary folder");
        return;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        fullDiskWhy = QStringLiteral("no mount namespace: ") + QString::fromLocal8Bit(strerror(errno));
        rmdir(pattern);
        return;
    }
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || mount("pacfull", pattern, "tmpfs", 0, "size=32k") != 0) {
        fullDiskWhy = QStringLiteral("no tmpfs mount: ") + QString::fromLocal8Bit(strerror(errno));
        rmdir(pattern);
        return;
    }
    fullDiskDir = QString::fromLocal8Bit(pattern);
}

void RemoveSmallDisk()
{
    if (fullDiskDir.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(fullDiskDir);
    umount2(path.constData(), MNT_DETACH);
    rmdir(path.constData());
}

const char kCard[] = R"([card1]
id = 0x0412
position = 1
firmware = tambril
asics = tambril, tambril
gige = 127.1.1.1
usb_serial = PELRA0412
usb_channels = 2
asic_groups_reg = 0x4000
asic_reads_reg = 0x4001
asic_resets_reg = 0x4003
asic_drops_reg = 0x4004
asic_drops_high_reg = 0x4005
asic_trigger_reg = 0x6900
asic_trigger_value = 1
asic_stop_value = 0
science_width = 64
science_height = 32
science_frame_ms = 5
)";

const char kGroups[] = R"(NAME: Port
XSIZE: 64
YSIZE: 32
TRGDEST: PELRA
TESTPATTERN: PORT_FIFO
TIMEOUT: 300
NAME: Fifo2x
XSIZE: 64
YSIZE: 32
TRGDEST: PELRA
TESTPATTERN: ASIC_FIFO_2X
TIMEOUT: 300
NAME: Image
XSIZE: 64
YSIZE: 32
GROUP: 4000
READ: 4001
RESET: 4003
DROP: 4004
DROP2: 4005
DROPWAIT: 10
TRGDEST: ASIC
TRGADDR: 6900
TRGVAL: 1
STOPVAL: 0
TRGDEFVAL: 0
TIMEOUT: 300
NAME: Sorted image
XSIZE: 64
YSIZE: 32
GROUP: 4000
READ: 4001
RESET: 4003
DROP: 4004
DROP2: 4005
TRGDEST: ASIC
TRGADDR: 6900
TRGVAL: 1
STOPVAL: 0
TRGDEFVAL: 0
TIMEOUT: 300
SORTMODE: 1
SORTCHANS: 32
SCIHEADERS: 0
NAME: Image without stopval
XSIZE: 64
YSIZE: 32
GROUP: 4000
READ: 4001
RESET: 4003
TRGDEST: ASIC
TRGADDR: 6900
TRGVAL: 1
TIMEOUT: 300
)";

}  // namespace

class TestWindowAcquire : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;
    QString dataDir;

    template <class T>
    T *w(const char *name) { return f->widget<T>(name); }
    MainWindow *win() { return f->window.get(); }

    bool start()
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        if (!sim->loadScenarioText(QString::fromLatin1(kCard), &error) || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        const QString acqPath = f->appDir.filePath(QStringLiteral("acq.ini"));
        QFile groups(acqPath);
        if (!groups.open(QIODevice::WriteOnly) || groups.write(kGroups) < 0)
            return false;
        groups.close();
        dataDir = f->appDir.filePath(QStringLiteral("data"));
        QByteArray ini(WindowFixture::kIni);
        ini.replace("ACQUIRECONFIG=\n", "ACQUIRECONFIG=" + acqPath.toUtf8() + "\n");
        ini.replace("DATAPATH=data/\n", "DATAPATH=" + dataDir.toUtf8() + "/\n");
        if (!f->writeIni(ini))
            return false;
        f->makeWindow();
        w<QCheckBox>("chkImgViewer")->setChecked(false);
        return true;
    }
    void select(const QString &group)
    {
        const int index = w<QComboBox>("AcqSelect")->findText(group);
        QVERIFY(index >= 0);
        w<QComboBox>("AcqSelect")->setCurrentIndex(index);
    }
    void useLink(const QString &link)
    {
        w<QRadioButton>(link == QLatin1String("USB") ? "rdUSB" : "rdGigE")->click();
        quint16 card = 0;
        QCOMPARE(win()->pelraLink->GetCurrentInterfaceType(&card),
                 link == QLatin1String("USB") ? InterfaceUSB : InterfaceGigE);
    }
    QStringList messages() const
    {
        QStringList out;
        for (const QString &line : f->panelLines())
            out << line.section(QStringLiteral(":  "), 1);
        return out;
    }
    QStringList fitsFiles() const
    {
        QStringList files;
        QDirIterator it(dataDir, {QStringLiteral("*.fits")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QFileInfo(it.next()).fileName();
        files.sort();
        return files;
    }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void patternRun_everyFrameVerified_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("dualPipe");
        QTest::addColumn<QString>("group");
        QTest::addColumn<quint8>("asics");
        QTest::addColumn<QString>("buffers");
        QTest::newRow("GigE, one ASIC") << "GigE" << false << "Port" << quint8(1) << "20";
        QTest::newRow("GigE, two ASICs FIFO_2X") << "GigE" << false << "Fifo2x" << quint8(3) << "20";
        QTest::newRow("USB single pipe, one ASIC") << "USB" << false << "Port" << quint8(1) << "20";
        QTest::newRow("USB dual pipe, one ASIC") << "USB" << true << "Port" << quint8(1) << "20";
        QTest::newRow("USB single pipe, two ASICs FIFO_2X") << "USB" << false << "Fifo2x" << quint8(3) << "20";
        QTest::newRow("USB dual pipe, two ASICs FIFO_2X") << "USB" << true << "Fifo2x" << quint8(3) << "20";
        // A consumer slower than the card: more frames than the ring holds.
        QTest::newRow("USB, more frames than buffers") << "USB" << false << "Port" << quint8(1) << "2";
    }
    void patternRun_everyFrameVerified()
    {
        QFETCH(QString, link);
        QFETCH(bool, dualPipe);
        QFETCH(QString, group);
        QFETCH(quint8, asics);
        QFETCH(QString, buffers);
        if (link == QLatin1String("GigE"))
            SKIP_UNLESS_GIGE_BUFFER_GRANTED();
        QVERIFY(start());
        useLink(link);
        select(group);
        win()->selectedAsicMask = asics;
        w<QCheckBox>("chkMultiFIFO")->setChecked(asics != 1);
        w<QCheckBox>("chkProcessMultiSciData")->setChecked(asics != 1);
        w<QCheckBox>("chkDualPipe")->setChecked(dualPipe);
        w<QLineEdit>("txtUSBBuf")->setText(buffers);
        w<QLineEdit>("txtRead")->setText(QStringLiteral("6"));
        w<QPushButton>("btnAcquire")->click();

        const QStringList lines = messages();
        QVERIFY2(!lines.contains(QStringLiteral("Exposure acquisition failed")), qPrintable(lines.join('\n')));
        for (int frame = 0; frame < 6; ++frame) {
            if (asics == 1) {
                QVERIFY2(lines.contains(QStringLiteral("Pattern verification for frame%1 succeeded").arg(frame)),
                         qPrintable(lines.join('\n')));
            } else {
                for (const char *fifo : {"1", "2"})
                    QVERIFY2(lines.contains(QStringLiteral("Pattern verification for frame%1 FIFO%2 succeeded")
                                                .arg(frame)
                                                .arg(QLatin1String(fifo))),
                             qPrintable(lines.join('\n')));
            }
        }
        QCOMPARE(fitsFiles().size(), asics == 1 ? 6 : 12);
        QCOMPARE(w<QProgressBar>("prgAcq")->value(), 6);
        QCOMPARE(w<QProgressBar>("prgAcq")->maximum(), 6);
        QVERIFY(w<QLabel>("lblAcqProgress")->text().startsWith(QStringLiteral("6 / 6 frames")));
        QVERIFY(w<QPushButton>("btnAcquire")->isEnabled());
        QVERIFY(w<QPushButton>("btnInterface")->isEnabled());
    }

    void imageRun_filesNamedPerExposureAndFrame_viewerOnTheFirst()
    {
        SKIP_UNLESS_GIGE_BUFFER_GRANTED();
        QVERIFY(start());
        useLink(QStringLiteral("GigE"));
        select(QStringLiteral("Image"));
        w<QLineEdit>("txtRamp")->setText(QStringLiteral("2"));
        w<QLineEdit>("txtGroup")->setText(QStringLiteral("1"));
        w<QLineEdit>("txtRead")->setText(QStringLiteral("2"));
        w<QLineEdit>("txtDrop")->setText(QStringLiteral("0"));
        w<QLineEdit>("FileName_Prefix")->setText(QStringLiteral("Dark"));
        w<QCheckBox>("chkImgViewer")->setChecked(true);
        w<QPushButton>("btnAcquire")->click();

        const QStringList lines = messages();
        QVERIFY2(lines.contains(QStringLiteral("Triggering image acquisition succeeded")), qPrintable(lines.join('\n')));
        QVERIFY2(!lines.contains(QStringLiteral("Exposure acquisition failed")), qPrintable(lines.join('\n')));
        QVERIFY(lines.contains(QStringLiteral("Setting ASIC to default operation mode succeeded")));
        const QStringList files = fitsFiles();
        // The prefix names the run's folder under the data path.
        QCOMPARE(files, QStringList({"Frame_E1_N1.fits", "Frame_E1_N2.fits", "Frame_E2_N1.fits", "Frame_E2_N2.fits"}));
        QCOMPARE(QDir(dataDir + QStringLiteral("/Dark")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        QCOMPARE(f->seam.viewerCommands.size(), 1);
        QVERIFY(f->seam.viewerCommands.at(0).startsWith(QStringLiteral("start|")));
        QVERIFY(f->seam.viewerCommands.at(0).endsWith(QStringLiteral("_E1_N1.fits")));
        w<QPushButton>("CloseImg")->click();
        QCOMPARE(f->seam.viewerCommands.last(), QStringLiteral("close"));
    }

    void imageRun_sortedFramesShowTheSceneInPlace()
    {
        QVERIFY(start());
        useLink(QStringLiteral("USB"));
        select(QStringLiteral("Sorted image"));
        for (const char *field : {"txtRamp", "txtGroup"})
            w<QLineEdit>(field)->setText(QStringLiteral("1"));
        w<QLineEdit>("txtRead")->setText(QStringLiteral("2"));
        w<QLineEdit>("txtDrop")->setText(QStringLiteral("0"));
        w<QPushButton>("btnAcquire")->click();
        const QStringList lines = messages();
        QVERIFY2(!lines.contains(QStringLiteral("Exposure acquisition failed")), qPrintable(lines.join('\n')));

        // The card seeds its scene with science_seed (1), its id and the first ASIC triggered.
        const quint32 seed = 1u + 0x0412u * 7919u;
        pelrasim::SceneLayout scene;
        scene.width = 64;
        scene.height = 32;
        for (int read = 1; read <= 2; ++read) {
            QDirIterator it(dataDir, {QStringLiteral("Frame_E1_N%1.fits").arg(read)}, QDir::Files,
                            QDirIterator::Subdirectories);
            QVERIFY(it.hasNext());
            FitsImage<unsigned short> image;
            FitsHeader header;
            QVERIFY(image.ReadFitsFile(QFile::encodeName(it.next()).toStdString(), header));
            QCOMPARE(image.width, 64u);
            QCOMPARE(image.height, 32u);
            // Every pixel within the read noise of the scene, so the brightest
            // point source is where the scene has it too.
            int within = 0;
            size_t brightest = 0;
            size_t sceneBrightest = 0;
            quint16 sceneMax = 0;
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 64; ++x) {
                    const size_t i = size_t(y * 64 + x);
                    const quint16 expected = pelrasim::sceneValue(scene, 0, seed, x, y, read);
                    if (qAbs(int(image.pixels[i]) - int(expected)) <= pelrasim::ReadNoiseMax)
                        ++within;
                    if (image.pixels[i] > image.pixels[brightest])
                        brightest = i;
                    if (expected > sceneMax) {
                        sceneMax = expected;
                        sceneBrightest = i;
                    }
                }
            }
            QVERIFY2(within == 64 * 32, qPrintable(QString::number(within)));
            QCOMPARE(brightest, sceneBrightest);
        }
    }

    void stopDuringARamp_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("stopLine");
        QTest::newRow("with STOPVAL") << "Image" << "Acquisition stopped";
        QTest::newRow("without STOPVAL") << "Image without stopval"
                                         << "The parameter (stopval) for stopping exposure is not defined in ";
    }
    void stopDuringARamp()
    {
        QFETCH(QString, group);
        QFETCH(QString, stopLine);
        QVERIFY(start());
        useLink(QStringLiteral("USB"));
        select(group);
        w<QLineEdit>("txtRamp")->setText(QStringLiteral("1"));
        w<QLineEdit>("txtGroup")->setText(QStringLiteral("1"));
        w<QLineEdit>("txtRead")->setText(QStringLiteral("400"));
        bool lockedDuringRun = false;
        bool closeRefused = false;
        QTimer::singleShot(150, win(), [&] {
            lockedDuringRun = !w<QPushButton>("btnInterface")->isEnabled() && !w<QComboBox>("AcqSelect")->isEnabled()
                              && !w<QPushButton>("btnAcquire")->isEnabled() && !w<QCheckBox>("chkASIC1")->isEnabled()
                              && !w<QPushButton>("btnPELRAFirmware")->isEnabled()
                              && w<QPushButton>("btnStopAcq")->isEnabled();
            w<QPushButton>("btnStopAcq")->click();
            // Closing the window during a run asks nothing and only stops the run.
            const int asked = f->seam.asked.size();
            closeRefused = !win()->close() && f->seam.asked.size() == asked;
        });
        w<QPushButton>("btnAcquire")->click();
        QVERIFY(lockedDuringRun);
        QVERIFY(closeRefused);
        const QStringList lines = messages();
        QVERIFY(lines.contains(
            QStringLiteral("Stop button pressed. Acquisition will stop after the current frame is completed, wait...")));
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(stopLine))).size() == 1,
                 qPrintable(lines.join('\n')));
        QCOMPARE(lines.last(), QStringLiteral("Exposure acquisition failed"));
        QVERIFY(fitsFiles().size() < 400);
        QVERIFY(w<QPushButton>("btnInterface")->isEnabled());
        QVERIFY(w<QComboBox>("AcqSelect")->isEnabled());
    }

    void streamFault_runFailsAndEarlierFilesStayWhole_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("GigE, card stops mid-frame")
            << "GigE" << int(pelrasim::ScienceFault::StopMidFrame) << "GigE timeout, no available frames";
        QTest::newRow("GigE, connection dropped")
            << "GigE" << int(pelrasim::ScienceFault::DropConnection) << "GigE timeout, no available frames";
        QTest::newRow("USB, card stops mid-frame")
            << "USB" << int(pelrasim::ScienceFault::StopMidFrame) << "Invalid frame. Received number of pixels: 1024";
        QTest::newRow("USB, connection dropped")
            << "USB" << int(pelrasim::ScienceFault::DropConnection) << "Invalid frame. Received number of pixels: 1024";
    }
    void streamFault_runFailsAndEarlierFilesStayWhole()
    {
        QFETCH(QString, link);
        QFETCH(int, fault);
        QFETCH(QString, message);
        if (link == QLatin1String("GigE"))
            SKIP_UNLESS_GIGE_BUFFER_GRANTED();
        QVERIFY(start());
        useLink(link);
        select(QStringLiteral("Port"));
        w<QLineEdit>("txtRead")->setText(QStringLiteral("5"));
        sim->setScienceFault(0x0412, link == QLatin1String("USB") ? pelrasim::Link::USB : pelrasim::Link::GigE,
                             pelrasim::ScienceFault(fault), 2);
        w<QPushButton>("btnAcquire")->click();
        const QStringList lines = messages();
        QVERIFY2(lines.contains(message), qPrintable(lines.join('\n')));
        QCOMPARE(lines.last(), QStringLiteral("Exposure acquisition failed"));
        QVERIFY(!lines.join('\n').contains(QStringLiteral("Pattern verification")));
        const QStringList files = fitsFiles();
        QCOMPARE(files.size(), 2);
        for (const QString &file : files) {
            QDirIterator it(dataDir, {file}, QDir::Files, QDirIterator::Subdirectories);
            QVERIFY(it.hasNext());
            FitsImage<unsigned short> image;
            FitsHeader header;
            QVERIFY(image.ReadFitsFile(QFile::encodeName(it.next()).toStdString(), header));
            QCOMPARE(image.pixels.size(), size_t(64 * 32));
        }
    }

    void fullDisk_saveFailsRunStopsEarlierFilesValid()
    {
        if (fullDiskDir.isEmpty())
            QSKIP(qPrintable(fullDiskWhy));
        QVERIFY(start());
        // The disk holds two frames of 64 x 32 pixels, not three.
        QDirIterator old(fullDiskDir, QDir::Dirs | QDir::NoDotAndDotDot);
        while (old.hasNext())
            QDir(old.next()).removeRecursively();
        dataDir = fullDiskDir;
        w<QLineEdit>("txtDatapath")->setText(fullDiskDir + QStringLiteral("/"));
        useLink(QStringLiteral("USB"));
        select(QStringLiteral("Port"));
        w<QLineEdit>("txtRead")->setText(QStringLiteral("8"));
        w<QPushButton>("btnAcquire")->click();

        // The frame that meets the full disk is reported (while writing or
        // closing its file), the run stops there and only whole files stay.
        const QStringList lines = messages();
        const QRegularExpression failure(QStringLiteral("^(Saving image to |Closing ).*_E1_N(\\d)\\.fits failed"));
        int failedFrame = 0;
        for (const QString &line : lines) {
            const QRegularExpressionMatch m = failure.match(line);
            if (m.hasMatch()) {
                QCOMPARE(failedFrame, 0);
                failedFrame = m.captured(2).toInt();
            }
        }
        QVERIFY2(failedFrame >= 2 && failedFrame <= 8, qPrintable(lines.join('\n')));
        QVERIFY(!lines.contains(QStringLiteral("Start to acquire read frame %1...").arg(failedFrame)));
        QCOMPARE(lines.last(), QStringLiteral("Exposure acquisition failed"));
        QVERIFY(!lines.join('\n').contains(QStringLiteral("Pattern verification")));
        QStringList expected;
        for (int n = 1; n < failedFrame; ++n)
            expected << QStringLiteral("Frame_E1_N%1.fits").arg(n);
        QCOMPARE(fitsFiles(), expected);
        QDirIterator it(dataDir, {QStringLiteral("*.fits")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            FitsImage<unsigned short> image;
            FitsHeader header;
            QVERIFY2(image.ReadFitsFile(QFile::encodeName(file).toStdString(), header),
                     qPrintable(file + QStringLiteral(" %1 bytes").arg(QFileInfo(file).size())));
            QCOMPARE(image.pixels.size(), size_t(64 * 32));
        }
    }

    void noLinkOrNoPattern_refusedBeforeAnything()
    {
        QVERIFY(start());
        select(QStringLiteral("Port"));
        w<QCheckBox>("chkPELRA1")->setChecked(false);
        w<QPushButton>("btnAcquire")->click();
        QCOMPARE(messages().last(), QStringLiteral("WARNING: PELRA1 must be selected for PELRA test pattern acquisition"));
        QVERIFY(fitsFiles().isEmpty());
    }

    void camLinkWithExtraPixels_warnsAndStartsNothing()
    {
        QVERIFY(start());
        w<QRadioButton>("rdCamLink")->setChecked(true);
        w<QLineEdit>("txtExtraPixels")->setText(QStringLiteral("5"));
        const QStringList before = messages();
        w<QPushButton>("btnAcquire")->click();
        QCOMPARE(f->seam.informed,
                 QStringList{QStringLiteral("Warning|It is not recommended to use CamLink interface for guide mode or "
                                            "extra pixels acquisition")});
        QCOMPARE(messages(), before);
    }
};

int main(int argc, char *argv[])
{
    PrepareSmallDisk();
    int status = 0;
    {
        QApplication app(argc, argv);
        app.setAttribute(Qt::AA_Use96Dpi, true);
        TestWindowAcquire test;
        QTEST_SET_MAIN_SOURCE_PATH
        status = QTest::qExec(&test, argc, argv);
    }
    RemoveSmallDisk();
    return status;
}
#include "tst_windowacquire.moc"
