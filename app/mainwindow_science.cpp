// Science path set-up at the start of an acquisition: frame size, the
// multi-ASIC FIFO, and the receiver of the chosen link.
//
// ConfigureScienceInterface:
//   1. the card's pattern FIFO (test-pattern groups);
//   2. pixels per frame: image, guide windows and extra pixels, times the
//      number of selected ASICs;
//   3. with "Auto Config Multi-ASIC FIFO": the block size written and read back;
//   4. the receiver: the GigE grabber or the card link's USB stream, with the
//      buffer read-outs of the tab.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "gigeframegrabber.h"
#include "pelrainterface.h"

#include <cmath>

namespace {

constexpr quint16 RegMultiAsicBlock = 0x1B6;
constexpr quint16 RegMultiAsicMode = 0x1B5;
constexpr quint32 MultiAsicOn = 0x10FF;
constexpr quint16 GigeSciencePort = 42307;
constexpr quint16 PortFifoSource = 0x70;
constexpr quint16 DualPipe = 0x100;

const char *const InvalidFormat =
    "Invalid PELRA science data format (0=16-bit words, 1=24-bit words, 2=32-bit words, 3=32 bit words)";

}  // namespace

bool MainWindow::ConfigureScienceInterface(QStringList &asicNames, quint32 &blockSize)
{
    const PELRA_Global::AcqParam *group = SelectedAcqParam();
    const PELRA_InterfaceType link = ChosenLink();

    // 1.
    if (!ConfigurePELRAPatternFFO())
        return false;

    // 2.
    const quint32 extra = link == InterfaceUART ? 0 : quint32(ui->txtExtraPixels->text().trimmed().toUShort());
    pixelsPerFrame = quint32(imgHeight) * imgWidth + guidePixels + extra;
    asicNames.clear();
    blockSize = 0;
    for (int n = 1; n <= 8; ++n)
        if (selectedAsicMask & (1u << (n - 1)))
            asicNames << QString::number(n);
    if (asicNames.isEmpty()) {
        Log(QStringLiteral("WARNING: At least one ASIC should be selected"));
        return false;
    }
    pixelsPerFrame *= quint32(asicNames.size());

    // 3.
    if (ui->chkMultiFIFO->isChecked()) {
        if (!pelraLink->WritePELRAReg(RegMultiAsicBlock, imgWidth - 1u, selectedPelraMask)) {
            Log(QStringLiteral("FIFO configuration for MultiFIFO_Mode failed. ") + pelraLink->ErrorString());
            return false;
        }
        quint32 value = 0;
        if (!pelraLink->WritePELRAReg(RegMultiAsicMode, MultiAsicOn, selectedPelraMask)
            || !pelraLink->ReadPELRAReg(RegMultiAsicBlock, value, selectedPelraMask) || value + 1 != imgWidth) {
            Log(QStringLiteral("FIFO configuration for Multi_ASIC_BlockSize failed. ") + pelraLink->ErrorString());
            return false;
        }
        blockSize = value + 1;
        Log(QStringLiteral("Configuration for Multi-ASIC FIFO Mode with BlockSize of %1 succeeded").arg(blockSize));
    }
    if (blockSize == 0 && asicNames.size() > 1) {
        Log(QStringLiteral("WARING: Invalid block size for the Multi-ASIC setup"));
        return false;
    }

    // 4.
    quint16 format = group ? group->dataFormat : 0;
    const bool portPattern = group && group->trgDest == 0 && group->testPattern == QLatin1String("PORT_FIFO");
    switch (link) {
    case InterfaceGigE: {
        if (format > 3) {
            Log(QString::fromLatin1(InvalidFormat));
            return false;
        }
        if (portPattern)
            format += PortFifoSource;
        if (!gigeGrabber)
            gigeGrabber = new GigeFrameGrabber(false, this);
        int bufferKB = 0;
        if (!gigeGrabber->ConfigScienceInterface(pelraLink, format, pixelsPerFrame, GigeSciencePort, bufferKB,
                                                 selectedPelraMask)) {
            Log(QStringLiteral("GigE science interface configuration failed: ") + gigeGrabber->ErrorString());
            return false;
        }
        ui->txtLogBuf->setText(QString::number(gigeGrabber->FrameBufferCount()));
        ui->txtLogMem->setText(QString::number(bufferKB / 1000));
        Log(QStringLiteral("GigE science data interface configuration succeeded succeeded"));
        break;
    }
    case InterfaceUSB: {
        const qint16 buffers = qint16(ui->txtUSBBuf->text().trimmed().toInt());
        if (buffers == 0) {
            Log(QStringLiteral("Invalid USB buffer size"));
            return false;
        }
        if (format > 3) {
            Log(QString::fromLatin1(InvalidFormat));
            return false;
        }
        if (portPattern)
            format += PortFifoSource;
        if (ui->chkDualPipe->isChecked())
            format += DualPipe;
        quint16 transferCount = 0;
        quint32 transferBytes = 0;
        if (!pelraLink->GetUSBBufferSize(buffers, pixelsPerFrame, transferCount, transferBytes)) {
            Log(QStringLiteral("Invalid image size or number of buffers"));
            return false;
        }
        if (!pelraLink->ConfigureUSBScienceInterface(format, buffers, pixelsPerFrame, selectedPelraMask, false)) {
            Log(QStringLiteral("Configuration for USB science interface failed: ") + pelraLink->ErrorString());
            return false;
        }
        ui->txtLogBuf->setText(QString::number(buffers));
        ui->txtLogMem->setText(QString::number(qint64(std::ceil(double(transferBytes) * 1e-6 * transferCount))));
        Log(QStringLiteral("Configuration for USB science interface succeeded"));
        break;
    }
    default:
        // Camera Link capture (the frame grabber's receiver) is not part of this build.
        Log(QStringLiteral("Camlink interface configuration failed: no Camera Link frame grabber is available"));
        return false;
    }
    ui->txtLogBuf->repaint();
    ui->txtLogMem->repaint();
    return true;
}
