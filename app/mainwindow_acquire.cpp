// The acquisition run from the Data Acquisition tab: the checks and set-up
// around a run, the steps the run engine (acq/acquisitionrun.h) takes over
// the chosen link, the viewer and the progress read-out.
//
// on_btnAcquire_clicked:
//   1. refuse what cannot run: no link to the window's card, no group, a
//      test pattern without card 1, no frames;
//   2. set up the ramp or the test pattern, the guide windows, the image base
//      name, and read the card's error counters;
//   3. AcquireRamp: configure the science path and hand the run to the engine;
//   4. whatever happened: restore the pattern FIFO and the ASICs' default
//      mode, close the science path and report the error counters that changed.
// While a run goes on, the workflows that would talk to the card or change
// what the run reads are disabled; Stop and the viewer's Close stay live.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisitionrun.h"
#include "cardhealth.h"
#include "dialogseam.h"
#include "gigeframegrabber.h"
#include "pelrainterface.h"
#include "utility.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <climits>
#include <iterator>

using Acquisition::AcquisitionPlan;
using Acquisition::AcquisitionRun;

namespace {

const char StopFlag[] = "bStopAcqFlag";
constexpr quint32 NoDefault = PELRA_Global::ACQ_VALUE_UNDEFINED;

}  // namespace

// The engine's way to the card and the receiver: the window's own steps.
class WindowRunSteps : public AcquisitionRun::Steps
{
public:
    WindowRunSteps(MainWindow &window, quint16 images, quint32 blockSize)
        : window(window), images(images), blockSize(blockSize)
    {
    }
    bool LoadSyncScript(const QString &path, QString &error) override
    {
        if (window.pelraLink->DownloadSingleFile(path, window.selectedPelraMask, window.selectedAsicMask, false))
            return true;
        error = window.pelraLink->ErrorString();
        return false;
    }
    int Trigger(int timeoutMs) override { return window.TriggerImageAcquisition(timeoutMs, true); }
    bool TakeFrame(int timeoutMs, const QString &name) override
    {
        return window.GetScienceData(timeoutMs, name, images, blockSize);
    }
    int StopCheck() override { return window.GUI_IsAcquistionStopped(); }

private:
    MainWindow &window;
    quint16 images;
    quint32 blockSize;
};

void MainWindow::on_btnAcquire_clicked()
{
    const PELRA_InterfaceType link = ChosenLink();
    if (link == InterfaceUART
        && (ui->txtExtraPixels->text().trimmed().toUInt() != 0 || ui->chkGuide->isChecked())) {
        dialogs->inform(this, QStringLiteral("Warning"),
                        QStringLiteral("It is not recommended to use CamLink interface for guide mode or extra pixels acquisition"));
        return;
    }
    if (!LinkToSelectedCard()) {
        Log(QStringLiteral("No communication interface available"), true);
        return;
    }
    const PELRA_Global::AcqParam *g = SelectedAcqParam();
    if (!g) {
        Log(QStringLiteral("Invalid acquisition code type. No entry available in the parameter list"), true);
        return;
    }
    const bool pattern = g->trgDest == 0;
    if (pattern && !ui->chkPELRA1->isChecked()) {
        Log(QStringLiteral("WARNING: PELRA1 must be selected for PELRA test pattern acquisition"));
        return;
    }

    Log(QStringLiteral("Code Type: ") + g->name, true);
    ui->btnStopAcq->setProperty(StopFlag, false);
    SetRunControls(true);
    const auto finish = [this] { SetRunControls(false); };

    int firstFrameTimeout = 0;
    int frameTimeout = 0;
    int frames = 0;
    if (!pattern) {
        Log(QStringLiteral("Start image acquisition from ASIC ") + QString::number(selectedAsicMask)
            + QStringLiteral("..."));
        frames = ConfigASICRamp(firstFrameTimeout, frameTimeout);
    } else {
        Log(QStringLiteral("Start test pattern acquisition from ") + GetPELRAString() + QStringLiteral("..."));
        frames = ConfigPELRATestPattern(firstFrameTimeout, frameTimeout);
    }
    const long exposures = ui->txtRamp->text().trimmed().toLong();
    if (frames < 1 || exposures < 1) {
        Log(QStringLiteral("Invalid total number of read frames / exposures"));
        return finish();
    }
    if (!VerifyGuideModeParams())
        Log(QStringLiteral("Warning: Guide window configuration failed!"));

    const QString prefix = long(frames) * exposures == 1 ? QStringLiteral("SingleFrame")
                                                         : ui->FileName_Prefix->text().trimmed();
    const QString basePath = Utility::CreateImageFileName(ui->txtDatapath->text().trimmed(), prefix);
    if (basePath.isEmpty()) {
        Log(QStringLiteral("Creating image file name failed ") + prefix + QStringLiteral(" failed"));
        return finish();
    }

    QVector<quint32> before;
    if (!pelraLink->GetPelraFIFOErrCounter(before, selectedPelraMask)) {
        Log(QStringLiteral("Reading ") + GetPELRAString() + QStringLiteral(" error counters failed.")
            + pelraLink->ErrorString());
        return finish();
    }

    bool ok = AcquireRamp(basePath, firstFrameTimeout, frameTimeout);

    if (!RestorePELRAPatternFFO())
        ok = false;
    // The group may have been re-read while the run served the window.
    g = SelectedAcqParam();
    if (!pattern && g && g->trgDefVal != NoDefault) {
        if (pelraLink->WriteASICReg(g->trgReg, g->trgDefVal, selectedAsicMask, false)) {
            Log(QStringLiteral("Setting ASIC to default operation mode succeeded"));
        } else {
            Log(QStringLiteral("Setting to default mode failed. ") + pelraLink->ErrorString());
            ok = false;
        }
    }
    if (link == InterfaceGigE && gigeGrabber) {
        gigeGrabber->CloseScienceInterface(selectedPelraMask);
        delete gigeGrabber;
        gigeGrabber = nullptr;
    } else if (link == InterfaceUSB) {
        pelraLink->CloseUSBScienceInterface(selectedPelraMask);
    }
    usbFrame = QVector<quint16>();

    QVector<quint32> after;
    if (!pelraLink->GetPelraFIFOErrCounter(after, selectedPelraMask)) {
        Log(QStringLiteral("Reading ") + GetPELRAString() + QStringLiteral(" error counters failed.")
            + pelraLink->ErrorString());
        return finish();
    }
    if (after != before) {
        Log(QStringLiteral("Error of ") + GetPELRAString() + QStringLiteral(" FIFO error counter increment occured: "));
        const QStringList &names = ErrorCounterNames(pelraLink->GetAsicType(selectedPelraMask));
        for (int i = 0; i < after.size() && i < names.size(); ++i) {
            if (after.at(i) != before.value(i) && !names.at(i).isEmpty())
                Log(names.at(i) + QStringLiteral(": 0x") + QStringLiteral("%1").arg(after.at(i), 4, 16, QLatin1Char('0')));
        }
        ok = false;
    }
    if (!ok)
        Log(QStringLiteral("Exposure acquisition failed"));
    finish();
}

bool MainWindow::AcquireRamp(const QString &basePath, int firstFrameTimeout, int frameTimeout)
{
    QStringList asicNames;
    quint32 blockSize = 0;
    if (!ConfigureScienceInterface(asicNames, blockSize))
        return false;

    const PELRA_Global::AcqParam *g = SelectedAcqParam();
    AcquisitionPlan plan;
    plan.testPattern = g && g->trgDest == 0;
    plan.exposures = ui->txtRamp->text().trimmed().toUInt();
    plan.resetFrames = ui->Send_Reset_Data->isChecked() ? ui->txtReset->text().trimmed().toUInt() : 0;
    plan.readFrames = ui->txtGroup->text().trimmed().toUInt() * ui->txtRead->text().trimmed().toUInt();
    plan.firstFrameTimeoutMs = firstFrameTimeout;
    plan.frameTimeoutMs = frameTimeout;
    plan.basePath = basePath;
    plan.syncScript = Acquisition::ResolveSyncScript(g ? g->syncScript : QString(), acqConfigFile);
    plan.syncMode = ui->rdSyncAcq->isChecked()   ? Acquisition::SyncMode::OnAcquisition
                    : ui->rdSyncExp->isChecked() ? Acquisition::SyncMode::OnEveryExposure
                                                 : Acquisition::SyncMode::Never;
    plan.viewer = ui->chkImgViewer->isChecked();
    plan.asicNames = asicNames;
    plan.splitPerAsic = asicNames.size() > 1 && ui->chkProcessMultiSciData->isChecked();

    WindowRunSteps steps(*this, quint16(asicNames.size()), blockSize);
    AcquisitionRun run(plan, steps);
    connect(&run, &AcquisitionRun::LogLine, this, [this](const QString &text) { Log(text); });
    connect(&run, &AcquisitionRun::ViewerRequested, this, &MainWindow::StartViewer);
    connect(&run, &AcquisitionRun::Progress, this, &MainWindow::ShowRunProgress);
    return run.Run();
}

int MainWindow::TriggerImageAcquisition(int timeoutMs, bool trigger)
{
    const PELRA_Global::AcqParam *g = SelectedAcqParam();
    if (!g)
        return 2;
    const PELRA_InterfaceType link = ChosenLink();
    if (g->trgDest != 0) {
        const quint32 value = trigger ? g->trgVal : g->trgDefVal;
        if (!trigger && value == NoDefault)
            return 0;
        if (!pelraLink->WriteASICReg(g->trgReg, value, selectedAsicMask, false)) {
            Log((trigger ? QStringLiteral("Triggering image acquisition failed ")
                         : QStringLiteral("Setting to default mode failed "))
                + pelraLink->ErrorString());
            return 2;
        }
        Log(trigger ? QStringLiteral("Triggering image acquisition succeeded")
                    : QStringLiteral("Setting to default mode succeeded"));
        if (!trigger)
            return 0;
    } else {
        if (!trigger)
            return 0;
        Log(QStringLiteral("Trigger PELRA test pattern readout..."));
        quint32 value = 1;
        if (link == InterfaceUART) {
            if (!pelraLink->ReadPELRAReg(0x1C0, value, selectedPelraMask)) {
                Log(QStringLiteral("Reading ") + GetPELRAString()
                    + QStringLiteral(" h01c0 to get ready to send PELRA dummy data failed"));
                return 2;
            }
            value |= 0x10;
        }
        if (g->testPattern == QLatin1String("PORT_FIFO")) {
            const quint16 reg = link == InterfaceGigE ? 0x1D1 : link == InterfaceUSB ? 0x1E1 : 0x1C0;
            if (!pelraLink->WritePELRAReg(reg, value, selectedPelraMask)) {
                Log(QStringLiteral("Triggering ") + GetPELRAString()
                    + QStringLiteral(" test pattern by writing PELRA register failed"));
                return 2;
            }
        }
        if (link == InterfaceUSB)
            return 0;
    }

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool data = false;
        if (link == InterfaceGigE)
            data = gigeGrabber && gigeGrabber->IsScienceDataAvailable(1);
        else if (link == InterfaceUSB)
            data = pelraLink->AvailableUSBScienceData() > 0;
        if (data)
            return 0;
        if (const int stop = GUI_IsAcquistionStopped())
            return stop;
        if (waited.elapsed() > timeoutMs) {
            Log(QStringLiteral("After triggering, no available science data. Timeout!"));
            return 2;
        }
        if (link != InterfaceGigE)
            QThread::msleep(2);
    }
}

bool MainWindow::GetScienceData(int timeoutMs, const QString &name, quint16 nImages, quint32 blockSize)
{
    if (ui->btnStopAcq->property(StopFlag).toBool())
        return false;
    const PELRA_InterfaceType link = ChosenLink();
    QElapsedTimer waited;
    waited.start();
    if (link == InterfaceGigE) {
        if (!gigeGrabber)
            return false;
        while (gigeGrabber->AvailableFrames() == 0) {
            if (GUI_IsAcquistionStopped() != 0)
                return false;
            if (waited.elapsed() > timeoutMs) {
                Log(QStringLiteral("GigE timeout, no available frames"));
                return false;
            }
            QThread::msleep(1);
        }
        const quint16 *frame = gigeGrabber->GetNextFrameAsync();
        if (!frame) {
            Log(QStringLiteral("Invalid image acquired from GigE interface. Null pointer!"));
            return false;
        }
        return SaveScienceFrame(name, frame, pixelsPerFrame, nImages, blockSize);
    }
    if (link == InterfaceUSB) {
        while (pelraLink->AvailableUSBScienceData() == 0) {
            if (GUI_IsAcquistionStopped() != 0)
                return false;
            if (waited.elapsed() > timeoutMs) {
                Log(QStringLiteral("USB timeout, no available frames"));
                return false;
            }
            QThread::msleep(2);
        }
        if (usbFrame.size() != int(pixelsPerFrame))
            usbFrame = QVector<quint16>(int(pixelsPerFrame));
        // A frame cut short by a stop or a time-out arrives with fewer pixels
        // and is refused here, never saved as if whole.
        const qint64 count = pelraLink->GetUSBScienceData(timeoutMs, pixelsPerFrame, usbFrame.data());
        if (count != qint64(pixelsPerFrame)) {
            Log(QStringLiteral("Invalid frame. Received number of pixels: ") + QString::number(count));
            return false;
        }
        return SaveScienceFrame(name, usbFrame.constData(), pixelsPerFrame, nImages, blockSize);
    }
    if (link == InterfaceNone)
        return true;
    // Camera Link frames come through the frame grabber, which this build does not have.
    Log(QStringLiteral("Camera Link timeout, no available frames"));
    return false;
}

bool MainWindow::SaveScienceFrame(const QString &name, const quint16 *pixels, quint32 count, quint16 nImages,
                                  quint32 blockSize)
{
    if (nImages > 1 && ui->chkProcessMultiSciData->isChecked()) {
        for (int k = 0; k < nImages; ++k) {
            const QVector<quint16> image = Acquisition::AsicImage(pixels, count, nImages, blockSize, k);
            if (!WriteFitsFilePushort(name + QStringLiteral("_ASIC") + QString::number(k + 1), imgWidth, imgHeight,
                                      image.constData(), quint32(image.size())))
                return false;
        }
        return true;
    }
    return WriteFitsFilePushort(name, quint16(nImages * imgWidth), imgHeight, pixels, count);
}

void MainWindow::StartViewer(const QStringList &files)
{
    for (const QString &file : files)
        if (!dialogs->startViewer(file))
            Log(QStringLiteral("WARNING: The image viewer ds9 could not be started for ") + file);
}

void MainWindow::on_CloseImg_clicked()
{
    dialogs->closeViewers();
}

void MainWindow::SetRunControls(bool running)
{
    QWidget *const busy[] = {ui->grpInterface, ui->btnInterface,  ui->frnSlot1_2,   ui->btnPELRAFirmware,
                             ui->btMasterConfig, ui->btnLoadSelect, ui->btnLoadHighlight, ui->btnLoadAll,
                             ui->btnReadInI,   ui->AcqSelect,     ui->btnFresh,     ui->groupBox_2,
                             ui->grpGuide,     ui->grpCL,         ui->grpUSB,       ui->grpUSB_2,
                             ui->btnAcquire,   ui->FileName_Prefix, ui->chkImgViewer, ui->chkSaveGuide,
                             ui->txtDatapath,  ui->btnGetPELRA_ASIC};
    QList<QWidget *> controls(std::begin(busy), std::end(busy));
    // The card and ASIC selection: Stop writes to the selection the run started with.
    for (QCheckBox *box : findChildren<QCheckBox *>(QRegularExpression(QStringLiteral("^chk(PELRA|ASIC)[1-8]$"))))
        controls.append(box);
    if (running) {
        runControlStates.clear();
        for (QWidget *widget : controls) {
            // The widget's own setting: isEnabled() would also say false
            // for a child of a group disabled just before.
            runControlStates.append({widget, !widget->testAttribute(Qt::WA_ForceDisabled)});
            widget->setEnabled(false);
        }
        ui->prgAcq->setValue(0);
        ui->lblAcqProgress->clear();
    } else {
        for (const QPair<QWidget *, bool> &state : runControlStates)
            state.first->setEnabled(state.second);
        runControlStates.clear();
    }
}

void MainWindow::ShowRunProgress(quint64 saved, quint64 total, qint64 elapsedMs)
{
    // The bar counts in int; a run's total never comes near its limit.
    ui->prgAcq->setMaximum(int(qMin<quint64>(total, quint64(INT_MAX))));
    ui->prgAcq->setValue(int(qMin<quint64>(saved, quint64(INT_MAX))));
    ui->lblAcqProgress->setText(Acquisition::ProgressText(saved, total, elapsedMs, quint64(pixelsPerFrame) * 2u));
}
