// The science path set-up of an acquisition against simulated cards: frame
// size, the ASICs named, the multi-ASIC FIFO and the receiver of the chosen
// link with the tab's buffer read-outs.
#include "gigeframegrabber.h"
#include "pelrainterface.h"
#include "pelrasim.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QtTest>

namespace {

const char kCard[] = R"([card1]
id = 0x0412
position = 1
firmware = tambril
asics = tambril, tambril
gige = 127.1.1.1
usb_serial = PELRA0412
usb_channels = 1
)";

const char kGroups[] = R"(NAME: Image
XSIZE: 2048
YSIZE: 2048
TRGDEST: ASIC
NAME: Pattern
XSIZE: 64
YSIZE: 32
TRGDEST: PELRA
TESTPATTERN: PORT_FIFO
NAME: Wide words
DATAFORMAT: 4
)";

}  // namespace

class TestWindowScience : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;

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
        QByteArray ini(WindowFixture::kIni);
        ini.replace("ACQUIRECONFIG=\n", "ACQUIRECONFIG=" + acqPath.toUtf8() + "\n");
        if (!f->writeIni(ini))
            return false;
        f->makeWindow();
        return true;
    }
    void select(const QString &group)
    {
        const int index = w<QComboBox>("AcqSelect")->findText(group);
        QVERIFY(index >= 0);
        w<QComboBox>("AcqSelect")->setCurrentIndex(index);
    }
    void useUsb()
    {
        w<QRadioButton>("rdUSB")->click();
        quint16 card = 0;
        QCOMPARE(win()->pelraLink->GetCurrentInterfaceType(&card), InterfaceUSB);
    }
    QString lastLine() const { return f->panelLines().last().section(QStringLiteral(":  "), 1); }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void gige_oneAsic2048_framesOfTheImageAndGrabberReadOuts()
    {
        SKIP_UNLESS_GIGE_BUFFER_GRANTED();
        QVERIFY(start());
        QVERIFY(w<QRadioButton>("rdGigE")->isChecked());
        select(QStringLiteral("Image"));
        QStringList names;
        quint32 block = 99;
        QVERIFY(win()->ConfigureScienceInterface(names, block));
        QCOMPARE(names, QStringList{QStringLiteral("1")});
        QCOMPARE(block, 0u);
        QCOMPARE(win()->pixelsPerFrame, 4194304u);
        QCOMPARE(lastLine(), QStringLiteral("GigE science data interface configuration succeeded succeeded"));
        QVERIFY(win()->gigeGrabber);
        QCOMPARE(w<QLineEdit>("txtLogBuf")->text(), QStringLiteral("4"));
        QVERIFY(w<QLineEdit>("txtLogMem")->text().toInt() >= 134);
        win()->gigeGrabber->CloseScienceInterface(1);
    }

    void twoAsicsWithoutMultiFifo_refusedBeforeAnyReceiver()
    {
        QVERIFY(start());
        select(QStringLiteral("Image"));
        win()->selectedAsicMask = 0x03;
        w<QCheckBox>("chkMultiFIFO")->setChecked(false);
        QStringList names;
        quint32 block = 0;
        QVERIFY(!win()->ConfigureScienceInterface(names, block));
        QCOMPARE(lastLine(), QStringLiteral("WARING: Invalid block size for the Multi-ASIC setup"));
        QVERIFY(!win()->gigeGrabber);
    }

    void threeAsicsWithMultiFifo_namesBlockAndUsbStream()
    {
        QVERIFY(start());
        useUsb();
        select(QStringLiteral("Image"));
        win()->selectedAsicMask = 0x85;   // ASICs 1, 3 and 8
        w<QCheckBox>("chkMultiFIFO")->setChecked(true);
        w<QLineEdit>("txtUSBBuf")->setText(QStringLiteral("4"));
        QStringList names;
        quint32 block = 0;
        QVERIFY(win()->ConfigureScienceInterface(names, block));
        QCOMPARE(names, QStringList({QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("8")}));
        QCOMPARE(block, 2048u);
        QCOMPARE(win()->pixelsPerFrame, 3u * 2048 * 2048);
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Configuration for Multi-ASIC FIFO Mode with BlockSize of 2048 succeeded")));
        QCOMPARE(lastLine(), QStringLiteral("Configuration for USB science interface succeeded"));
        QCOMPARE(w<QLineEdit>("txtLogBuf")->text(), QStringLiteral("4"));
        QCOMPARE(w<QLineEdit>("txtLogMem")->text(), QStringLiteral("101"));   // 96 transfers of 1 MiB
        QCOMPARE(sim->cardRegister(0x0412, 0x1B5), quint16(0x10FF));
        QVERIFY(win()->pelraLink->CloseUSBScienceInterface(1));
    }

    void usbChecks_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("buffers");
        QTest::addColumn<QString>("message");
        QTest::newRow("no buffers") << "Image" << "0" << "Invalid USB buffer size";
        QTest::newRow("word format above 3")
            << "Wide words" << "4"
            << "Invalid PELRA science data format (0=16-bit words, 1=24-bit words, 2=32-bit words, 3=32 bit words)";
    }

    void usbChecks()
    {
        QFETCH(QString, group);
        QFETCH(QString, buffers);
        QFETCH(QString, message);
        QVERIFY(start());
        useUsb();
        select(group);
        w<QLineEdit>("txtUSBBuf")->setText(buffers);
        QStringList names;
        quint32 block = 0;
        QVERIFY(!win()->ConfigureScienceInterface(names, block));
        QCOMPARE(lastLine(), message);
    }

    void usbPortPattern_framesArriveWithThePatternSource()
    {
        QVERIFY(start());
        useUsb();
        select(QStringLiteral("Pattern"));
        w<QLineEdit>("txtUSBBuf")->setText(QStringLiteral("4"));
        QStringList names;
        quint32 block = 0;
        QVERIFY(win()->ConfigureScienceInterface(names, block));
        // Word format 0, port-FIFO source (0x70 >> 3), USB science on.
        QCOMPARE(sim->cardRegister(0x0412, 0x1E0) & 0x3F, 0x0F);
        PelraInterface *link = win()->pelraLink;
        QVERIFY(link->WritePELRABlock(0x1E2, 3, QVector<quint32>({63, 31, 2}), 1));
        QVERIFY(link->WritePELRAReg(0x1E1, 1, 1));
        QVector<quint16> frame(64 * 32);
        for (int f = 0; f < 2; ++f) {
            QCOMPARE(link->GetUSBScienceData(2000, frame.size(), frame.data()), qint64(frame.size()));
            QCOMPARE(frame.at(frame.size() - 1), quint16(frame.size() - 1 + 256 * f));
        }
        QVERIFY(link->CloseUSBScienceInterface(1));
    }
};

QTEST_MAIN(TestWindowScience)
#include "tst_windowscience.moc"
