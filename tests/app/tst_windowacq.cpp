// The Data Acquisition tab against simulated cards: the acquisition
// configuration file and its groups, the ramp written into the ASICs with its
// time-outs, the test pattern and its FIFO set-up, the buffer read-outs, the
// guide-window check and the frame writer.
#include "../files/fitstestsupport.h"
#include "pelrainterface.h"
#include "pelrasim.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <fitsio.h>

namespace {

// Two TAMBRIL cards at positions 1 and 2 of one network module, two ASICs
// each; the ramp and trigger registers are those of the sample files.
const char kCards[] = R"([card1]
id = 0x0412
position = 1
firmware = tambril
asics = tambril, tambril
gige = 127.1.1.1
usb_serial = PELRA0412
asic_groups_reg = 0x4000
asic_reads_reg = 0x4001
asic_resets_reg = 0x4003
asic_drops_reg = 0x4004
asic_drops_high_reg = 0x4005
asic_trigger_reg = 0x6900
asic_trigger_value = 1
asic_stop_value = 0
[card2]
id = 0x0413
position = 2
firmware = tambril
asics = tambril, tambril
gige = 127.1.1.1
)";

const char kGroups[] = R"(# two groups for the tab
NAME: Ramp
XSIZE: 1024
YSIZE: 512
GROUP: 4000
READ: 4001
RESET: 4003
DROP: 4004
DROP2: 4005
TIMEOUT: 1500
DROPWAIT: 10
CLKDRP: 4002 3
CLWIDTH: 1100
CLHEIGHT: 600
EXTRAPIXELS: 12
GUIDEMODEEN: 1
GUIDEXSIZE: 8
GUIDEYSIZE: 4
GUIDESTARTROW: 100
GUIDENROWS: 50
GUIDENREADS: 3
GUIDEEND: 1
TRGADDR: 6900
STOPVAL: 0
NAME: Plain
SYNCSCRIPT: sync.glf
)";

// Every pixel of a FITS image of any number of axes, read with CFITSIO itself.
bool ReadWholeImage(const QString &path, QVector<long> &axes, QVector<quint16> &pixels)
{
    fitsfile *file = nullptr;
    int status = 0;
    if (fits_open_diskfile(&file, QFile::encodeName(path).constData(), READONLY, &status) != 0)
        return false;
    int naxis = 0;
    fits_get_img_dim(file, &naxis, &status);
    axes = QVector<long>(naxis, 0);
    fits_get_img_size(file, naxis, axes.data(), &status);
    long long count = 1;
    for (long a : axes)
        count *= a;
    pixels = QVector<quint16>(int(count), 0);
    int anyNull = 0;
    fits_read_img(file, TUSHORT, 1, count, nullptr, pixels.data(), &anyNull, &status);
    fits_close_file(file, &status);
    return status == 0;
}

QStringList AsicWrites(const pelrasim::Simulator &sim)
{
    QStringList out;
    for (const pelrasim::RegisterWrite &w : sim.registerWrites(0x0412))
        if (w.asic >= 0)
            out << QStringLiteral("%1 %2=%3").arg(w.asic).arg(w.address, 0, 16).arg(w.value, 0, 16);
    return out;
}

}  // namespace

class TestWindowAcq : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;
    QString acqPath;

    template <class T>
    T *w(const char *name) { return f->widget<T>(name); }
    MainWindow *win() { return f->window.get(); }

    // Simulated cards, pac.ini naming acq.ini with `groups`, and the window.
    bool start(const QByteArray &groups, const char *cards = kCards)
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        if (!sim->loadScenarioText(QString::fromLatin1(cards), &error) || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        acqPath = f->appDir.filePath(QStringLiteral("acq.ini"));
        QByteArray ini(WindowFixture::kIni);
        ini.replace("ACQUIRECONFIG=\n", "ACQUIRECONFIG=" + acqPath.toUtf8() + "\n");
        if (!f->writeIni(ini) || !writeGroups(groups))
            return false;
        f->makeWindow();
        sim->clearRegisterWrites();
        return true;
    }
    bool writeGroups(const QByteArray &groups)
    {
        QFile file(acqPath);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(groups) == groups.size();
    }
    void select(const QString &group)
    {
        const int index = w<QComboBox>("AcqSelect")->findText(group);
        QVERIFY(index >= 0);
        w<QComboBox>("AcqSelect")->setCurrentIndex(index);
    }
    void setText(const char *field, const QString &text) { w<QLineEdit>(field)->setText(text); }
    void clearLog() { w<QPlainTextEdit>("txtLog")->clear(); }
    QString lastLine() const { return f->panelLines().last().section(QStringLiteral(":  "), 1); }
    // Reads back the card registers sent before: the card handles commands in order.
    void syncCard() { quint32 v = 0; QVERIFY(win()->pelraLink->ReadPELRAReg(0xFFFC, v, 1)); }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    // --- acquisition configuration file ---

    void startUp_readsTheGroupsAndAppliesTheFirst()
    {
        QVERIFY(start(kGroups));
        auto *selector = w<QComboBox>("AcqSelect");
        QCOMPARE(selector->count(), 2);
        QCOMPARE(selector->currentText(), QStringLiteral("Ramp"));
        QCOMPARE(w<QLineEdit>("txtImgWidth")->text(), QStringLiteral("1024"));
        QCOMPARE(w<QLineEdit>("txtImgHight")->text(), QStringLiteral("512"));
        QCOMPARE(w<QLabel>("lblDrop")->text(), QStringLiteral("Drop lines"));
        QVERIFY(w<QCheckBox>("chkClkDrop")->isChecked());
        // Auto-size puts the image size into the Camera Link fields.
        QCOMPARE(w<QLineEdit>("txtCLWidth")->text(), QStringLiteral("1024"));
        QCOMPARE(w<QLineEdit>("txtCLHight")->text(), QStringLiteral("512"));
        QCOMPARE(w<QLineEdit>("txtExtraPixels")->text(), QStringLiteral("12"));
        QVERIFY(w<QCheckBox>("chkGuide")->isChecked());
        QVERIFY(w<QGroupBox>("grpGuide")->isEnabled());
        QCOMPARE(w<QLineEdit>("txtGuideX")->text(), QStringLiteral("8"));
        QCOMPARE(w<QLineEdit>("txtGuideY")->text(), QStringLiteral("4"));
        QCOMPARE(w<QLineEdit>("txtGuideStart")->text(), QStringLiteral("100"));
        QCOMPARE(w<QLineEdit>("txtGuideRows")->text(), QStringLiteral("50"));
        QCOMPARE(w<QLineEdit>("txtGuideReads")->text(), QStringLiteral("3"));
        QVERIFY(w<QCheckBox>("chkGuideEnd")->isChecked());
        QVERIFY(!w<QRadioButton>("rdSyncAcq")->isEnabled());
        // Only a click on Refresh opens a log section.
        QVERIFY(!f->panelLines().join('\n').contains(QStringLiteral(" and refresh the Acquisition list")));

        select(QStringLiteral("Plain"));
        QCOMPARE(w<QLabel>("lblDrop")->text(), QStringLiteral("Drop Frames"));
        QVERIFY(!w<QCheckBox>("chkClkDrop")->isChecked());
        QCOMPARE(w<QLineEdit>("txtImgWidth")->text(), QStringLiteral("2048"));
        QVERIFY(!w<QCheckBox>("chkGuide")->isChecked());
        QVERIFY(!w<QGroupBox>("grpGuide")->isEnabled());
        QVERIFY(!w<QCheckBox>("chkSaveGuide")->isEnabled());
        for (const char *sync : {"rdSyncAcq", "rdSyncExp", "rdNoSync"})
            QVERIFY2(w<QRadioButton>(sync)->isEnabled(), sync);
    }

    void refresh_keepsTheGroupOfTheSameName_elseTheFirst()
    {
        QVERIFY(start("NAME: A\nNAME: B\nXSIZE: 100\n"));
        select(QStringLiteral("B"));
        QVERIFY(writeGroups("NAME: C\nNAME: A\nNAME: B\nXSIZE: 300\nNAME: B\nXSIZE: 400\n"));
        clearLog();
        QTest::mouseClick(w<QPushButton>("btnFresh"), Qt::LeftButton);
        auto *selector = w<QComboBox>("AcqSelect");
        QCOMPARE(selector->count(), 4);
        QCOMPARE(selector->currentIndex(), 3);     // the last B
        QCOMPARE(w<QLineEdit>("txtImgWidth")->text(), QStringLiteral("400"));
        const QStringList lines = f->panelLines();
        QVERIFY(lines.at(0).isEmpty());             // the section's gap
        QVERIFY(lines.at(1).endsWith(QStringLiteral(":  Read ") + acqPath + QStringLiteral(" and refresh the Acquisition list")));

        QVERIFY(writeGroups("NAME: X\nXSIZE: 64\nNAME: Y\n"));
        QTest::mouseClick(w<QPushButton>("btnFresh"), Qt::LeftButton);
        QCOMPARE(selector->currentText(), QStringLiteral("X"));
        QCOMPARE(w<QLineEdit>("txtImgWidth")->text(), QStringLiteral("64"));
    }

    void refresh_reportsBadLines_andKeepsGroupsWhenTheFileIsGone()
    {
        QVERIFY(start("READ: 4001\nNAME: A\nREAD: zz # bad\nLONELY\nCOLOUR: red\n"));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Invalid parameter line: READ: 4001 Expect format [paramName: paramValue]")));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Invalid parameter line: READ: zz  Expect format [paramName: paramValue]")));
        QVERIFY(f->panelHasLineEndingWith(QStringLiteral("Invalid format for the line LONELYExpect [paraName: parmVals]")));
        QVERIFY(!f->panelLines().join('\n').contains(QStringLiteral("COLOUR")));

        QVERIFY(QFile::remove(acqPath));
        QTest::mouseClick(w<QPushButton>("btnFresh"), Qt::LeftButton);
        QCOMPARE(lastLine(), acqPath + QStringLiteral(" listed in pac.ini does not exist"));
        QCOMPARE(w<QComboBox>("AcqSelect")->count(), 1);
        QCOMPARE(win()->acqParams.size(), 1);

        QVERIFY(writeGroups("# nothing but a comment\n"));
        QTest::mouseClick(w<QPushButton>("btnFresh"), Qt::LeftButton);
        QCOMPARE(lastLine(), QStringLiteral("No valid image acquisition parameter group in ") + acqPath);
        QCOMPARE(w<QComboBox>("AcqSelect")->count(), 0);
        QVERIFY(!win()->SelectedAcqParam());
    }

    void refresh_fileWithNulBytes_isReadToItsEnd()
    {
        QVERIFY(start(QByteArray("NAME: A\n\0\0garbage\0\nNAME: B\nXSIZE: 77\n", 37)));
        QCOMPARE(w<QComboBox>("AcqSelect")->count(), 2);
        select(QStringLiteral("B"));
        QCOMPARE(w<QLineEdit>("txtImgWidth")->text(), QStringLiteral("77"));
    }

    // --- ramp ---

    void ramp_writesTheCountsAndGivesTheTimeouts_data()
    {
        QTest::addColumn<bool>("sendResets");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("frames");
        QTest::newRow("resets not sent") << false << 12500 << 20;
        QTest::newRow("resets sent") << true << 8000 << 8;
    }

    void ramp_writesTheCountsAndGivesTheTimeouts()
    {
        QFETCH(bool, sendResets);
        QFETCH(int, first);
        QFETCH(int, frames);
        QVERIFY(start("NAME: R\nGROUP: 4000\nREAD: 4001\nRESET: 4003\nDROP: 4004\nTIMEOUT: 1500\nDROPWAIT: 100\n"
                      "SENDRST: 4002 4\n"));
        sim->setAsicRegister(0x0412, 0, 0x4002, sendResets ? 0x0001 : 0x0011);
        setText("txtReset", QStringLiteral("3"));
        setText("txtRead", QStringLiteral("2"));
        setText("txtGroup", QStringLiteral("4"));
        setText("txtDrop", QStringLiteral("7"));
        setText("txtRamp", QStringLiteral("5"));
        w<QCheckBox>("Send_Reset_Data")->setChecked(sendResets);
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), frames);
        QCOMPARE(t1, first);
        QCOMPARE(t2, 1500 + 2 * 7 * 100 + 5000);
        QCOMPARE(lastLine(), QStringLiteral("ASIC configuration succeeded. Resets: 3, Reads: 2, Groups: 4, Drops: 7, Exposures: 5"));
        syncCard();
        const pelrasim::ExposureState asic1 = sim->asicExposure(0x0412, 0);
        QCOMPARE(asic1.shape.reads, 2u);
        QCOMPARE(asic1.shape.resets, 3u);
        QCOMPARE(asic1.shape.groups, 4u);
        QCOMPARE(asic1.shape.drops, 7u);
        QCOMPARE(sim->asicRegister(0x0412, 0, 0x4002), quint32(sendResets ? 0x0011 : 0x0001));
        // Only the selected ASIC 1 was written.
        QCOMPARE(sim->asicExposure(0x0412, 1).shape.reads, 0u);
    }

    void ramp_dropsAbove65535_data()
    {
        QTest::addColumn<QByteArray>("drop2");
        QTest::addColumn<QStringList>("writes");
        QTest::newRow("split into DROP and DROP2") << QByteArray("DROP2: 4005\n") << QStringList{"0 4004=2345", "0 4005=1"};
        QTest::newRow("whole into DROP, which keeps 16 bits") << QByteArray() << QStringList{"0 4004=2345"};
    }

    void ramp_dropsAbove65535()
    {
        QFETCH(QByteArray, drop2);
        QFETCH(QStringList, writes);
        QVERIFY(start("NAME: R\nDROP: 4004\n" + drop2));
        setText("txtDrop", QString::number(0x12345));
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 1);
        syncCard();
        QCOMPARE(AsicWrites(*sim), writes);
    }

    void ramp_groupWithoutRegisters_writesNothingAndSucceeds()
    {
        QVERIFY(start("NAME: empty\n"));
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 1);
        QCOMPARE(lastLine(), QStringLiteral("ASIC configuration succeeded. Resets: 0, Reads: 1, Groups: 1, Drops: 0, Exposures: 1"));
        syncCard();
        QVERIFY(sim->registerWrites(0x0412).isEmpty());
    }

    void ramp_badCounts_stopBeforeAnyWrite_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString range = QStringLiteral("Invalid number of read frames / exposures / groups. Should be in the range [1, 65535]");
        QTest::newRow("exposures 0") << "txtRamp" << "0" << range;
        QTest::newRow("reads not a number") << "txtRead" << "many" << range;
        QTest::newRow("negative drops") << "txtDrop" << "-1"
                                        << "Invalid number of drop frames. Should be in the range [0, 2147483647]";
    }

    void ramp_badCounts_stopBeforeAnyWrite()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QVERIFY(start("NAME: R\nREAD: 4001\nDROP: 4004\n"));
        setText(field.toLatin1().constData(), text);
        int t1 = -1, t2 = -1;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 0);
        QCOMPARE(lastLine(), message);
        QCOMPARE(t1, -1);
        syncCard();
        QVERIFY(sim->registerWrites(0x0412).isEmpty());
    }

    void ramp_clockDrops_setsOrClearsItsBit()
    {
        QVERIFY(start("NAME: R\nCLKDRP: 4002 35\n"));     // bit 35 AND 31 = 3
        sim->setAsicRegister(0x0412, 0, 0x4002, 0x0101);
        w<QCheckBox>("chkClkDrop")->setChecked(true);
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 1);
        syncCard();
        QCOMPARE(sim->asicRegister(0x0412, 0, 0x4002), 0x0109u);
        w<QCheckBox>("chkClkDrop")->setChecked(false);
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 1);
        syncCard();
        QCOMPARE(sim->asicRegister(0x0412, 0, 0x4002), 0x0101u);
    }

    void ramp_failedRead_endsWithItsMessage()
    {
        QVERIFY(start("NAME: R\nREAD: 4001\nSENDRST: 4002 4\nGROUP: 4000\n"));
        sim->setFault(0x0412, pelrasim::Link::GigE, pelrasim::Fault::WrongCode, 1);
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 0);
        QCOMPARE(lastLine(), QStringLiteral("Reading configuration of sending reset frame failed"));
    }

    void ramp_preTriggerWait_endsWhenStopIsPressed()
    {
        QVERIFY(start("NAME: R\nPRETRGADDR: 6900\nPRETRGVAL: 1\nPRETRGWAIT: 20000\nTRGADDR: 6900\nSTOPVAL: 0\nTIMEOUT: 10\n"));
        QTimer::singleShot(100, w<QPushButton>("btnStopAcq"), &QPushButton::click);
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 0);
        const QStringList lines = f->panelLines().mid(f->panelLines().size() - 3);
        QVERIFY(lines.at(0).endsWith(QStringLiteral(":  Wait for the pre-triggering 20000 ms...")));
        QVERIFY(lines.at(1).endsWith(
            QStringLiteral(":  Stop button pressed. Acquisition will stop after the current frame is completed, wait...")));
        QVERIFY(lines.at(2).endsWith(QStringLiteral(":  Acquisition stopped")));
        // The pre-trigger started an exposure and the stop value ended it.
        const pelrasim::ExposureState asic1 = sim->asicExposure(0x0412, 0);
        QCOMPARE(asic1.triggers, 1);
        QCOMPARE(asic1.stops, 1);
        QVERIFY(!asic1.exposing);
    }

    void stop_withoutStopValue_failsAndClearsTheRequest()
    {
        QVERIFY(start("NAME: R\nPRETRGADDR: 6900\nPRETRGVAL: 1\nPRETRGWAIT: 20000\n"));
        QTimer::singleShot(100, w<QPushButton>("btnStopAcq"), &QPushButton::click);
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigASICRamp(t1, t2), 0);
        QCOMPARE(lastLine(), QStringLiteral("The parameter (stopval) for stopping exposure is not defined in ") + acqPath);
        QCOMPARE(w<QPushButton>("btnStopAcq")->property("bStopAcqFlag"), QVariant(false));
    }

    // --- test pattern ---

    void pattern_geometryGoesToTheLinksRegisters()
    {
        QVERIFY(start("NAME: P\nTRGDEST: PELRA\nTESTPATTERN: PORT_FIFO\nTIMEOUT: 700\nXSIZE: 640\nYSIZE: 480\n"));
        setText("txtRead", QStringLiteral("9"));
        setText("txtRamp", QStringLiteral("4"));
        setText("txtReset", QStringLiteral("2"));
        int t1 = 0, t2 = 0;
        QCOMPARE(win()->ConfigPELRATestPattern(t1, t2), 9);
        QCOMPARE(t1, 6400);
        QCOMPARE(t2, 6400);
        QCOMPARE(lastLine(), QStringLiteral("PELRA 1 pattern configuration for for image width, height and number of images succeeded"));
        QCOMPARE(w<QLineEdit>("txtRamp")->text(), QStringLiteral("1"));
        QCOMPARE(w<QLineEdit>("txtGroup")->text(), QStringLiteral("1"));
        QCOMPARE(w<QLineEdit>("txtReset")->text(), QStringLiteral("0"));
        syncCard();
        QCOMPARE(sim->cardRegister(0x0412, 0x1D2), quint16(639));
        QCOMPARE(sim->cardRegister(0x0412, 0x1D3), quint16(479));
        QCOMPARE(sim->cardRegister(0x0412, 0x1D4), quint16(9));

        setText("txtImgWidth", QStringLiteral("0"));
        QCOMPARE(win()->ConfigPELRATestPattern(t1, t2), 0);
        QCOMPARE(lastLine(), QStringLiteral("Invalid Image width, height and number of reads. Should be in the range [1, 65535]"));
    }

    void pattern_fifo2x_enablesTheSelectedAsicsCardByCard()
    {
        QVERIFY(start("NAME: P\nTRGDEST: PELRA\nTESTPATTERN: asic_fifo_2x\n"));
        sim->setCardRegister(0x0412, 0x1B0, 0x0100);
        win()->selectedAsicMask = 0x0B;      // ASICs 1, 2 and 4
        QVERIFY(win()->ConfigurePELRAPatternFFO());
        QCOMPARE(lastLine(), QStringLiteral("Configuration for PELRA FIFO_2X succeeded"));
        syncCard();
        const QVector<pelrasim::RegisterWrite> writes = sim->registerWrites(0x0412);
        QStringList got;
        for (const auto &wr : writes)
            got << wr.describe();
        QCOMPARE(got, (QStringList{pelrasim::RegisterWrite::card(0x1B0, 0x12F).describe(),
                                   pelrasim::RegisterWrite::card(0x1B1, 5).describe()}));
        QCOMPARE(sim->cardRegister(0x0412, 0x1B1), quint16(5));
        QCOMPARE(sim->cardRegister(0x0413, 0x1B1), quint16(4));
        QVERIFY(w<QCheckBox>("chkPELRA2")->isChecked());
        QCOMPARE(win()->selectedPelraMask, quint8(3));

        QVERIFY(win()->RestorePELRAPatternFFO());
        syncCard();
        QCOMPARE(sim->cardRegister(0x0412, 0x1B0), quint16(0x0100));
        QCOMPARE(sim->cardRegister(0x0412, 0x1B1), quint16(5));
    }

    void pattern_fifoSetUp_messages_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        QTest::newRow("1x") << QByteArray("ASIC_FIFO_1X") << true << "Configuraiton for PELRA FIFO_1X succeeded";
        QTest::newRow("unknown") << QByteArray("STRIPES") << false << "Unexpected PELRA Test Pattern in Config_Acquire.ini file";
    }

    void pattern_fifoSetUp_messages()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        QVERIFY(start("NAME: P\nTRGDEST: PELRA\nTESTPATTERN: " + pattern + "\n"));
        QCOMPARE(win()->ConfigurePELRAPatternFFO(), ok);
        QCOMPARE(lastLine(), message);
    }

    void pattern_nothingToDo_touchesNoFifoRegister_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<bool>("camLink");
        QTest::newRow("port fifo") << QByteArray("TRGDEST: PELRA\nTESTPATTERN: Port_Fifo\n") << false;
        QTest::newRow("image acquisition") << QByteArray("TESTPATTERN: ASIC_FIFO_2X\n") << false;
        QTest::newRow("camera link") << QByteArray("TRGDEST: PELRA\nTESTPATTERN: ASIC_FIFO_2X\n") << true;
    }

    void pattern_nothingToDo_touchesNoFifoRegister()
    {
        QFETCH(QByteArray, group);
        QFETCH(bool, camLink);
        QVERIFY(start("NAME: P\n" + group));
        if (camLink)
            w<QRadioButton>("rdCamLink")->setChecked(true);
        QVERIFY(win()->ConfigurePELRAPatternFFO());
        QVERIFY(win()->RestorePELRAPatternFFO());
        syncCard();
        QVERIFY(sim->registerWrites(0x0412).isEmpty());
    }

    void pattern_restoreWithoutSavedMode_writesNothing()
    {
        QVERIFY(start("NAME: P\nTRGDEST: PELRA\nTESTPATTERN: ASIC_FIFO_1X\n"));
        sim->setCardRegister(0x0412, 0x1B0, 0x0042);
        QVERIFY(win()->RestorePELRAPatternFFO());
        syncCard();
        QCOMPARE(sim->cardRegister(0x0412, 0x1B0), quint16(0x0042));
    }

    // --- tab and buffer read-outs ---

    void tabChange_followsTheChosenLink()
    {
        QVERIFY(start("NAME: G\nGUIDEMODEEN: 1\nEXTRAPIXELS: 5\n"));
        auto *tabs = w<QTabWidget>("tabWidget");
        QVERIFY(w<QRadioButton>("rdGigE")->isChecked());
        tabs->setCurrentIndex(2);
        QVERIFY(!w<QGroupBox>("grpCL")->isEnabled());
        QVERIFY(!w<QGroupBox>("grpUSB")->isEnabled());
        QVERIFY(w<QCheckBox>("chkGuide")->isChecked());
        QCOMPARE(w<QLabel>("lblLogBuf")->text(), QStringLiteral("Number Of Allocated Buffers (GigE):"));
        QCOMPARE(w<QLabel>("lblLogMem")->text(), QStringLiteral("PC Socket Receiving Buffer Size (MB):"));
        QCOMPARE(w<QLineEdit>("txtLogBuf")->text(), QStringLiteral("4"));   // 32 MiB / 8 MiB frames
        QCOMPARE(w<QLineEdit>("txtLogMem")->text(), QStringLiteral("134"));

        tabs->setCurrentIndex(0);
        w<QRadioButton>("rdUSB")->setChecked(true);
        tabs->setCurrentIndex(2);
        QVERIFY(w<QGroupBox>("grpUSB")->isEnabled());
        QCOMPARE(w<QLabel>("lblLogBuf")->text(), QStringLiteral("Number Of Allocated Buffers (USB):"));
        QCOMPARE(w<QLabel>("lblLogMem")->text(), QStringLiteral("Allocated USB Buffer Memory (MB):"));
        QCOMPARE(w<QLineEdit>("txtLogBuf")->text(), QStringLiteral("20"));
        QCOMPARE(w<QLineEdit>("txtLogMem")->text(), QStringLiteral("168"));   // 160 transfers of 1 MiB

        tabs->setCurrentIndex(0);
        w<QRadioButton>("rdCamLink")->setChecked(true);
        tabs->setCurrentIndex(2);
        QVERIFY(w<QGroupBox>("grpCL")->isEnabled());
        QVERIFY(!w<QGroupBox>("grpUSB")->isEnabled());
        QVERIFY(!w<QCheckBox>("chkGuide")->isChecked());
        QVERIFY(!w<QCheckBox>("chkGuide")->isEnabled());
        QVERIFY(!w<QGroupBox>("grpGuide")->isEnabled());
        QCOMPARE(w<QLineEdit>("txtExtraPixels")->text(), QStringLiteral("0"));
        QVERIFY(!w<QLineEdit>("txtExtraPixels")->isEnabled());
    }

    void bufferReadOuts_extremeImageSizes_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("buffers");
        QTest::addColumn<QString>("message");
        QTest::newRow("GigE, 65535 square: at least 2 buffers") << "rdGigE" << "65535" << "2" << QString();
        QTest::newRow("GigE, typed 0 before the edit ends") << "rdGigE" << "0" << "0" << "Invalid image width / height!";
        QTest::newRow("USB, 65535 square: more than 65535 transfers")
            << "rdUSB" << "65535" << "0" << "Invalid image size or number of buffers";
    }

    void bufferReadOuts_extremeImageSizes()
    {
        QFETCH(QString, link);
        QFETCH(QString, size);
        QFETCH(QString, buffers);
        QFETCH(QString, message);
        QVERIFY(start("NAME: G\n"));
        w<QRadioButton>(link.toLatin1().constData())->setChecked(true);
        setText("txtImgWidth", size);
        setText("txtImgHight", size);
        clearLog();
        w<QTabWidget>("tabWidget")->setCurrentIndex(2);
        QCOMPARE(w<QLineEdit>("txtLogBuf")->text(), buffers);
        if (message.isEmpty())
            QVERIFY(!f->panelLines().join('\n').contains(QStringLiteral("Invalid")));
        else
            QCOMPARE(lastLine(), message);
    }

    void fieldEdits_keepTheirRanges_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("width 0") << "txtImgWidth" << "0" << "1";
        QTest::newRow("width too large") << "txtImgWidth" << "70000" << "1";
        QTest::newRow("height 0") << "txtImgHight" << " 0 " << "1";
        QTest::newRow("height") << "txtImgHight" << " 300 " << "300";
        QTest::newRow("usb buffers 0") << "txtUSBBuf" << "0" << "2";
        QTest::newRow("usb buffers negative") << "txtUSBBuf" << "-5" << "4096";
        QTest::newRow("usb buffers above 4096") << "txtUSBBuf" << "5000" << "4096";
        QTest::newRow("usb buffers") << "txtUSBBuf" << "64" << "64";
    }

    void fieldEdits_keepTheirRanges()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QVERIFY(start("NAME: G\n"));
        auto *edit = w<QLineEdit>(field.toLatin1().constData());
        edit->setText(typed);
        emit edit->editingFinished();
        QCOMPARE(edit->text(), shown);
        if (field == QLatin1String("txtImgHight"))
            QCOMPARE(w<QLineEdit>("txtCLHight")->text(), shown);
    }

    // --- guide windows and frame writer ---

    void guideCheck_countsTheWindows_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("between");
        QTest::addColumn<bool>("atEnd");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint32>("pixels");
        QTest::addColumn<QString>("message");
        QTest::newRow("7 windows") << "256" << "256" << false << true << 16u * 16u * 2u * 7u << QString();
        QTest::newRow("8 with one at the end") << "256" << "256" << true << true << 16u * 16u * 2u * 8u << QString();
        QTest::newRow("start at the image height") << "2048" << "256" << false << false << 0u
            << "Invalid number of FF rows before the first guide window. Should be <= image height";
        QTest::newRow("no rows between windows") << "256" << "0" << false << false << 0u
            << "Invalid number of FF rows between guide windows. Should be > 0";
    }

    void guideCheck_countsTheWindows()
    {
        QFETCH(QString, start);
        QFETCH(QString, between);
        QFETCH(bool, atEnd);
        QFETCH(bool, ok);
        QFETCH(quint32, pixels);
        QFETCH(QString, message);
        QVERIFY(this->start("NAME: G\nGUIDEMODEEN: 1\nGUIDENREADS: 2\n"));
        setText("txtGuideStart", start);
        setText("txtGuideRows", between);
        w<QCheckBox>("chkGuideEnd")->setChecked(atEnd);
        QCOMPARE(win()->VerifyGuideModeParams(), ok);
        QCOMPARE(win()->guidePixels, pixels);
        if (!ok)
            QCOMPARE(lastLine(), message);
        w<QCheckBox>("chkGuide")->setChecked(false);
        QVERIFY(win()->VerifyGuideModeParams());
        QCOMPARE(win()->guidePixels, 0u);
    }

    void frameWriter_splitsGuideWindowsIntoACube()
    {
        // 4 x 6 image; 2 x 1 windows read twice after row 2 and row 4, one more at the end.
        QVERIFY(start("NAME: G\nXSIZE: 4\nYSIZE: 6\nGUIDEMODEEN: 1\nGUIDEXSIZE: 2\nGUIDEYSIZE: 1\n"
                      "GUIDESTARTROW: 2\nGUIDENROWS: 2\nGUIDENREADS: 2\nGUIDEEND: 1\n"));
        QVERIFY(win()->VerifyGuideModeParams());
        QCOMPARE(win()->guidePixels, 2u * 1u * 2u * 3u);   // windows: (6 - 2 - 1) / 2 + 1, +1 at the end
        // Frame: 2 rows, block, 2 rows, block, 2 rows, block (end); image pixels
        // count up from 0, guide pixels from 1000.
        QVector<quint16> frame;
        quint16 image = 0, guide = 1000;
        auto rows = [&](int n) { for (int i = 0; i < n * 4; ++i) frame << image++; };
        auto block = [&]() { for (int i = 0; i < 4; ++i) frame << guide++; };
        rows(2);
        block();
        rows(2);
        block();
        rows(2);
        block();
        const QString name = f->appDir.filePath(QStringLiteral("g"));
        QVERIFY(win()->WriteFitsFilePushort(name, 4, 6, frame.constData(), quint32(frame.size())));

        QVector<long> axes;
        QVector<quint16> pixels;
        QVERIFY(ReadWholeImage(name + ".fits", axes, pixels));
        QCOMPARE(axes, (QVector<long>{4, 6}));
        for (int i = 0; i < 24; ++i)
            QCOMPARE(int(pixels[i]), i);
        QVERIFY(ReadWholeImage(name + "_guide.fits", axes, pixels));
        QCOMPARE(axes, (QVector<long>{2, 1, 6}));
        for (int i = 0; i < 12; ++i)
            QCOMPARE(int(pixels[i]), 1000 + i);
        if (!FitsVerify::program().isEmpty()) {
            for (const QString &file : {name + ".fits", name + "_guide.fits"}) {
                QString report;
                QVERIFY2(FitsVerify::passes(file, &report), qPrintable(report));
            }
        }

        // A frame one pixel short of its layout is reported, never overread.
        const QString shortName = f->appDir.filePath(QStringLiteral("short"));
        w<QCheckBox>("chkSaveGuide")->setChecked(false);
        QVERIFY(!win()->WriteFitsFilePushort(shortName, 4, 6, frame.constData(), 3 * 4 + 4 + 3));
        QVERIFY(f->panelHasLineEndingWith(
            QStringLiteral("Saving guide windows to .fits file failed: unexpected number of ff rows after the last window")));
        QVERIFY(!QFile::exists(shortName + "_guide.fits"));
    }

    void frameWriter_sortsChannels_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("mode 1: 65 to 66") << 1 << 65 << 66;
        QTest::newRow("mode 2: 33 to 127") << 2 << 33 << 127;
        QTest::newRow("mode 0 keeps the frame") << 0 << 33 << 33;
    }

    void frameWriter_sortsChannels()
    {
        QFETCH(int, mode);
        QFETCH(int, from);
        QFETCH(int, to);
        QVERIFY(start(QStringLiteral("NAME: S\nSORTMODE: %1\nSORTCHANS: 32\nSCIHEADERS: 0\n").arg(mode).toLatin1()));
        QVector<quint16> frame(2048 * 2);
        for (int i = 0; i < frame.size(); ++i)
            frame[i] = quint16(i);
        const QString name = f->appDir.filePath(QStringLiteral("s"));
        QVERIFY(win()->WriteFitsFilePushort(name, 2048, 2, frame.constData(), quint32(frame.size())));
        QVector<long> axes;
        QVector<quint16> pixels;
        QVERIFY(ReadWholeImage(name + ".fits", axes, pixels));
        QCOMPARE(axes, (QVector<long>{2048, 2}));
        QCOMPARE(int(pixels[to]), from);
        QCOMPARE(int(pixels[2048 + to]), 2048 + from);   // every row
    }

    void frameWriter_refusesWhatItCannotWrite_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<int>("width");
        QTest::addColumn<quint32>("pixels");
        QTest::addColumn<QString>("message");
        QTest::newRow("no sort channels") << QByteArray("SORTMODE: 1\nSORTCHANS: 0\n") << 64 << 64u
            << "Saving image to %1.fits failed. Invalid number of sort channels. Should be > 0";
        QTest::newRow("headers wider than the row") << QByteArray("SORTMODE: 1\nSCIHEADERS: 100\n") << 64 << 64u
            << "Saving image to %1.fits failed. Invalid number of science header pixels. Should be <= image width";
        QTest::newRow("width 0") << QByteArray() << 0 << 64u << "Saving image to %1.fits failed. Invalid image size 0 x 1";
        QTest::newRow("frame shorter than the image") << QByteArray() << 64 << 63u
            << "Saving image to %1.fits failed. the frame holds fewer pixels than the image";
    }

    void frameWriter_refusesWhatItCannotWrite()
    {
        QFETCH(QByteArray, group);
        QFETCH(int, width);
        QFETCH(quint32, pixels);
        QFETCH(QString, message);
        QVERIFY(start("NAME: S\n" + group));
        const QVector<quint16> frame(64, 7);
        const QString name = f->appDir.filePath(QStringLiteral("r"));
        QVERIFY(!win()->WriteFitsFilePushort(name, quint16(width), 1, frame.constData(), pixels));
        QCOMPARE(lastLine(), message.arg(name));
        QVERIFY(!QFile::exists(name + ".fits"));
    }

    void frameWriter_neverReplacesAFile()
    {
        QVERIFY(start("NAME: S\n"));
        const QVector<quint16> frame(16, 7);
        const QString name = f->appDir.filePath(QStringLiteral("once"));
        QVERIFY(win()->WriteFitsFilePushort(name, 4, 4, frame.constData(), 16));
        QVERIFY(!win()->WriteFitsFilePushort(name, 4, 4, frame.constData(), 16));
        QVERIFY(lastLine().startsWith(QStringLiteral("Saving image to ") + name + QStringLiteral(".fits failed. ")));
    }
};

QTEST_MAIN(TestWindowAcq)
#include "tst_windowacq.moc"
