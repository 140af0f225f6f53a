// Ramp configuration: the ramp typed on the Data Acquisition tab goes into
// the ASIC registers that the selected group names; the image-size fields
// and the buffer read-outs follow the operator's edits.
#include "mainwindow.h"

#include "pelrainterface.h"
#include "rampplan.h"
#include "ui_mainwindow.h"

#include <QElapsedTimer>
#include <QThread>

#include <cmath>

using PELRA_Global::AcqParam;

// Returns the frames per exposure, or 0 after logging why not. The time-outs
// are set only on success.
int MainWindow::ConfigASICRamp(int &firstFrameTimeout, int &frameTimeout)
{
    const AcqParam *g = SelectedAcqParam();
    if (!g) {
        Log(QStringLiteral("Invalid acquisition code type. No entry available in the parameter list"));
        return 0;
    }
    AcqRamp::Counts counts;
    switch (AcqRamp::ReadCounts(ui->txtRead->text(), ui->txtRamp->text(), ui->txtGroup->text(), ui->txtDrop->text(),
                                ui->txtReset->text(), counts)) {
    case AcqRamp::CountsCheck::RangeError:
        Log(QStringLiteral("Invalid number of read frames / exposures / groups. Should be in the range [1, 65535]"));
        return 0;
    case AcqRamp::CountsCheck::NegativeDrops:
        Log(QStringLiteral("Invalid number of drop frames. Should be in the range [0, 2147483647]"));
        return 0;
    case AcqRamp::CountsCheck::Ok:
        break;
    }
    const bool sendResets = ui->Send_Reset_Data->isChecked();
    for (const AcqRamp::Step &step : AcqRamp::Steps(*g, counts, sendResets, ui->chkClkDrop->isChecked())) {
        quint32 value = step.value;
        if (step.op != AcqRamp::Step::Write) {
            if (!pelraLink->ReadASICReg(step.reg, value, selectedAsicMask, false, false)) {
                Log(step.readFailure);
                return 0;
            }
            value = AcqRamp::Modify(step, value);
        }
        if (!pelraLink->WriteASICReg(step.reg, value, selectedAsicMask, false)) {
            // Messages that end in a blank take the link's reason.
            Log(step.writeFailure.endsWith(QLatin1Char(' ')) ? step.writeFailure + pelraLink->ErrorString()
                                                              : step.writeFailure);
            return 0;
        }
    }

    // The wait belongs to the pre-trigger: a group without one does not wait.
    if (g->preTrgReg != 0 && g->preTrgWait != 0) {
        const int wait = g->preTrgWait;
        Log(QStringLiteral("Wait for the pre-triggering %1 ms...").arg(wait));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < wait) {
            if (GUI_IsAcquistionStopped() != 0)
                return 0;
            QThread::msleep(qMax(1, wait / 10));
        }
    }

    Log(QStringLiteral("ASIC configuration succeeded. Resets: ") + ui->txtReset->text() + QStringLiteral(", Reads: ")
        + ui->txtRead->text() + QStringLiteral(", Groups: ") + ui->txtGroup->text() + QStringLiteral(", Drops: ")
        + ui->txtDrop->text() + QStringLiteral(", Exposures: ") + ui->txtRamp->text());

    const AcqRamp::Timing timing = AcqRamp::ComputeTiming(*g, counts, sendResets);
    firstFrameTimeout = timing.firstFrameTimeoutMs;
    frameTimeout = timing.frameTimeoutMs;
    return timing.framesPerExposure;
}

void MainWindow::on_txtImgWidth_editingFinished()
{
    imgWidth = ui->txtImgWidth->text().trimmed().toUShort();
    if (imgWidth == 0)
        imgWidth = 1;
    if (ui->Autosize_CLFrame->isChecked()) {
        const AcqParam *g = SelectedAcqParam();
        const quint32 overhead = (g && ChosenLink() == InterfaceUART) ? g->camLinkOverhead : 0;
        clFrameWidth = quint16(qMin<quint32>(imgWidth + overhead, 0xFFFF));
    }
    ui->txtCLWidth->setText(QString::number(clFrameWidth));
    ui->txtImgWidth->setText(QString::number(imgWidth));
}

void MainWindow::on_txtImgHight_editingFinished()
{
    imgHeight = ui->txtImgHight->text().trimmed().toUShort();
    if (imgHeight == 0)
        imgHeight = 1;
    if (ui->Autosize_CLFrame->isChecked())
        clFrameHeight = imgHeight;
    ui->txtImgHight->setText(QString::number(imgHeight));
    ui->txtCLHight->setText(QString::number(clFrameHeight));
}

void MainWindow::on_txtUSBBuf_editingFinished()
{
    int n = ui->txtUSBBuf->text().trimmed().toInt();
    if (n == 0)
        n = 2;
    else if (n < 0 || n > 4096)
        n = 4096;
    ui->txtUSBBuf->setText(QString::number(n));
    PreCalculateBufferSize();
}

// The buffer read-outs for the chosen link. Camera Link shows its grabber's
// figures once that grabber is built in; until then its read-outs stay 0.
void MainWindow::PreCalculateBufferSize()
{
    const PELRA_InterfaceType link = ChosenLink();
    const bool camLink = link == InterfaceUART;
    const quint64 w = (camLink ? ui->txtCLWidth : ui->txtImgWidth)->text().trimmed().toUInt();
    const quint64 h = (camLink ? ui->txtCLHight : ui->txtImgHight)->text().trimmed().toUInt();
    ui->txtLogBuf->setText(QStringLiteral("0"));
    ui->txtLogMem->setText(QStringLiteral("0"));

    if (link == InterfaceUSB) {
        ui->lblLogBuf->setText(QStringLiteral("Number Of Allocated Buffers (USB):"));
        ui->lblLogMem->setText(QStringLiteral("Allocated USB Buffer Memory (MB):"));
        // The card link exists only once start-up has read pac.ini.
        if (!pelraLink)
            return;
        const qint16 n = ui->txtUSBBuf->text().trimmed().toShort();
        quint16 count = 0;
        quint32 bytes = 0;
        if (w * h > 0xFFFFFFFFu || !pelraLink->GetUSBBufferSize(n, quint32(w * h), count, bytes)) {
            Log(QStringLiteral("Invalid image size or number of buffers"));
            return;
        }
        ui->txtLogBuf->setText(QString::number(n));
        ui->txtLogMem->setText(QString::number(qint64(std::ceil(double(bytes) * 1e-6 * double(count)))));
    } else if (link == InterfaceGigE) {
        ui->lblLogBuf->setText(QStringLiteral("Number Of Allocated Buffers (GigE):"));
        ui->lblLogMem->setText(QStringLiteral("PC Socket Receiving Buffer Size (MB):"));
        ui->txtLogMem->setText(QStringLiteral("134"));
        if (w * h == 0) {
            Log(QStringLiteral("Invalid image width / height!"));
            return;
        }
        const quint16 frames = quint16(quint64(0x2000000) / (w * 2 * h));
        ui->txtLogBuf->setText(QString::number(frames < 2 ? 2 : frames));
    }
}
