// The window's failure paths around links and the log file: a card reached
// only over USB, a grabber port of another vendor, and log files that cannot
// be used.
#include "pelrasim.h"
#include "windowfixture.h"

#include <QDate>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

const char kUsbOnlyCard[] = R"([card1]
id = 0x0413
firmware = tambril
usb_serial = PELRA0413
usb_version = 2
)";

// A card whose only link is a serial port that another vendor's adapter
// reports: discovery must leave that port alone.
const char kForeignSerialCard[] = R"([card1]
id = 0x0414
firmware = tambril
uart = ttyUSB0
[link.uart.ttyUSB0]
vendor = 0x0403
)";

}  // namespace

class TestWindowLinks : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;

    bool startSim(const char *scenario)
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        if (!sim->loadScenarioText(QString::fromLatin1(scenario), &error) || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        return f->writeIni(WindowFixture::kIni);
    }

    template <class T>
    T *w(const char *name) { return f->widget<T>(name); }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void usbOnlyCard_disablesGigEAndCameraLinkControls()
    {
        QVERIFY(startSim(kUsbOnlyCard));
        f->makeWindow();
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("PELRA01043: USB Port connected")));
        QVERIFY(w<QRadioButton>("rdUSB")->isEnabled());
        QVERIFY(w<QRadioButton>("rdUSB")->isChecked());
        QCOMPARE(w<QRadioButton>("rdUSB")->text(), QStringLiteral("USB (PELRA0413,  USB 2.0 speed)"));
        for (const char *name : {"rdGigE", "rdCamLink", "txtGigETimeout", "lblGigETimeout"})
            QVERIFY2(!w<QWidget>(name)->isEnabled(), name);
        QCOMPARE(w<QRadioButton>("rdGigE")->text(), QStringLiteral("GigE (---.---.-.---, Unknown speed)"));
        QCOMPARE(w<QRadioButton>("rdCamLink")->text(), QStringLiteral("Camera Link Serial Port (----,  115.2 K baudrate)"));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Checking interface succeeded")));
    }

    void foreignSerialPort_isNeverOpened()
    {
        QVERIFY(startSim(kForeignSerialCard));
        f->makeWindow();
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("No communication interface found")));
        QCOMPARE(sim->packetCount(0x0414, pelrasim::Link::UART), 0);
        for (const char *name : {"rdGigE", "rdCamLink", "rdUSB"})
            QVERIFY2(!w<QWidget>(name)->isEnabled(), name);
    }

    void logFileThatCannotBeOpened_isReportedAtStartUp()
    {
        // A folder stands where the day's log file would be.
        const QString name = QStringLiteral("data/log") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))
                             + QStringLiteral(".txt");
        QVERIFY(QDir(f->appDir.path()).mkpath(name));
        QVERIFY(f->writeIni(WindowFixture::kIni));
        f->seam.answers = {true};
        f->makeWindow();
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Opening log file: ") + name + QStringLiteral(" failed")));
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("Critical Error|pac.ini not found! Continue?")});
    }

    void emptyLogFileName_isRefusedAndTheFileInUseKept()
    {
        QVERIFY(startSim(kUsbOnlyCard));
        MainWindow *window = f->makeWindow();
        const QString inUse = f->logFilePath();
        QFile master(f->appDir.filePath(QStringLiteral("empty.mcf")));
        QVERIFY(master.open(QIODevice::WriteOnly));
        master.close();
        w<QLineEdit>("txtMcf")->setText(master.fileName());
        w<QLineEdit>("txtLogFile")->setText(QStringLiteral("   "));
        QTest::mouseClick(w<QPushButton>("btMasterConfig"), Qt::LeftButton);
        QVERIFY(f->panelLines().last().endsWith(QStringLiteral(":  Invalid log file name")));
        window->Log(QStringLiteral("still in the first file"));
        QFile file(inUse);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith(":  still in the first file\n"));
    }
};

QTEST_MAIN(TestWindowLinks)
#include "tst_windowlinks.moc"
