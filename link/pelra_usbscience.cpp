// The USB science stream: card set-up, the bridge's streaming set-up, and
// frames taken from the reader thread's ring.
//
// ConfigureUSBScienceInterface, in order:
//   1. the diagnostic log, the arguments, an open stream closed first;
//   2. card registers: Camera Link and GigE science off, USB FIFO reset, the
//      USB science mode (0x1E0);
//   3. transfer sizes, idle closing off, one or two bridge channels, the
//      pipe time-out and the bridge's transfer parameters, the handle;
//   4. the ring of frame slots, and the reader thread on the science channel.
#include "pelrainterface.h"

#include "ftd3xx.h"
#include "scilog.h"
#include "usbsciencestream.h"

#include <cstring>

namespace {

constexpr quint16 RegCamlinkConfig = 0x1C0;
constexpr quint16 RegGigeConfig = 0x1D0;
constexpr quint16 RegUsbConfig = 0x1E0;
constexpr quint16 RegFifoReset = 0x1A1;
constexpr quint32 MinStreamingSize = 0x40000000;
constexpr int IdlePeriodMs = 2000;

// Failure texts of ConfigureUSBScienceInterface, one per step.
enum Step {
    StepArguments,
    StepCloseFirst,
    StepDisableOthers,
    StepResetFifo,
    StepReadConfig,
    StepWriteConfig,
    StepBufferSize,
    StepPipeMode,
    StepRing
};

const char *const StepTexts[] = {
    "Invalid input parameter imgSize or nBuffers or pelraId",
    "Closing the science interface before configuration failed",
    "Disable GigE and camlink science interfaces failed",
    "Reset USB FIFO failed",
    "Read PELRA 0x01e0 for USB_Config failed",
    "Write PELRA h01e0 with value 0x%1 for USB_Config failed",
    "Invalid number of buffers or image size",
    "ConfigureUSBPipeMode failed: %1",
    "Allocating the USB frame buffers failed",
};

QString StepText(int step)
{
    return QString::fromLatin1(StepTexts[step]);
}

}  // namespace

void PelraInterface::StopUsbScienceReader()
{
    if (usbScience)
        usbScience->Stop();
}

bool PelraInterface::ConfigureUSBScienceInterface(quint16 dataFormat, qint16 nBuffers, quint32 pixelsPerFrame,
                                                  quint8 cardSelection, bool logToFile)
{
    // 1.
    if (logToFile) {
        if (!usbSciLog)
            usbSciLog.reset(new SciLog);
        usbSciLog->Open(SciLog::FolderPath(QStringLiteral("usbSciLog.txt")));
    } else if (usbSciLog) {
        usbSciLog->Close();
    }
    if (nBuffers <= 0 || pixelsPerFrame == 0 || cardSelection == 0) {
        lastError = StepText(StepArguments);
        return false;
    }
    if (usbScience && !CloseUSBScienceInterface(cardSelection)) {
        lastError = StepText(StepCloseFirst);
        return false;
    }

    // 2. Only one science path at a time.
    if (!WritePELRAReg(RegCamlinkConfig, 0, cardSelection) || !WritePELRAReg(RegGigeConfig, 0, cardSelection)) {
        lastError = StepText(StepDisableOthers);
        return false;
    }
    if (!WritePELRAReg(RegFifoReset, 15, cardSelection)) {
        lastError = StepText(StepResetFifo);
        return false;
    }
    quint32 config = 0;
    if (!ReadPELRAReg(RegUsbConfig, config, cardSelection)) {
        lastError = StepText(StepReadConfig);
        return false;
    }
    config = (config & 0xFEC0u) | 1u | (dataFormat & 0x100u) | ((dataFormat & 3u) << 4) | ((dataFormat & 0x70u) >> 3);
    if (!WritePELRAReg(RegUsbConfig, config, cardSelection)) {
        lastError = StepText(StepWriteConfig).arg(config, 0, 16);
        return false;
    }

    // 3.
    quint16 transferCount = 0;
    quint32 transferBytes = 0;
    if (!GetUSBBufferSize(nBuffers, pixelsPerFrame, transferCount, transferBytes)) {
        lastError = StepText(StepBufferSize);
        return false;
    }
    const quint64 streamBytes = quint64(nBuffers) * transferBytes;
    const quint32 streamingSize = streamBytes <= 0x3FFFFFFF ? MinStreamingSize
                                                            : quint32(qMin<double>(double(streamBytes) * 1.05, 4294967295.0));

    // Idle closing stays off while the stream runs.
    if (idleTimerId) {
        killTimer(idleTimerId);
        idleTimerId = 0;
    }
    idleState = -1;

    const bool dualPipe = dataFormat & 0x100;
    if (!ConfigureUSBPipeMode(dualPipe)) {
        lastError = StepText(StepPipeMode).arg(lastError);
        return false;
    }
    usbReadTimeoutMs = dualPipe ? 500 : 0;
    const quint8 channel = quint8(sciencePipe - 0x82);
    FT_TRANSFER_CONFIG transfer;
    std::memset(&transfer, 0, sizeof transfer);
    transfer.structSize = sizeof transfer;
    transfer.in.nonThreadSafe = 1;
    transfer.in.urbCount = 8;
    transfer.in.urbBufferCount = transferCount;
    transfer.in.urbBufferSize = transferBytes;
    transfer.in.streamingSize = streamingSize;
    transfer.out.nonThreadSafe = 1;
    FT_SetTransferParams(&transfer, channel);
    if (!OpenUSBPort())
        return false;

    // 4. The slots are allocated and touched now, not while frames arrive.
    usbFrameBytes = quint64(pixelsPerFrame) * 2;
    usbScience.reset(new UsbScienceStream(usbHandle, channel, usbSciLog.get()));
    if (!usbScience->Allocate(qBound(2, int(nBuffers), FrameRing::MaxSlots), usbFrameBytes)) {
        usbScience.reset();
        lastError = StepText(StepRing);
        return false;
    }
    if (dualPipe) {
        quint8 start[2];
        quint32 got = 0;
        FT_ReadPipeEx(usbHandle, channel, start, sizeof start, &got, 1);
    }
    // The first queue query opens the bridge's science channel on this thread,
    // before the reader shares the handle.
    quint32 queued = 0;
    FT_GetReadQueueStatus(usbHandle, channel, &queued);
    usbScience->Start();
    if (usbSciLog && usbSciLog->IsOpen()) {
        usbSciLog->Line(SciLog::TimeOfDay() + QStringLiteral(": URBBufferSize =") + QString::number(transferBytes));
        usbSciLog->Line(SciLog::TimeOfDay() + QStringLiteral(": Science interface configuration done"));
    }
    return true;
}

quint32 PelraInterface::AvailableUSBScienceData()
{
    quint64 count = 0;
    if (usbScience) {
        FrameRing &ring = usbScience->Ring();
        count = quint64(ring.Available()) * usbFrameBytes + ring.PartialBytes();
        quint32 queued = 0;
        if (usbHandle)
            FT_GetReadQueueStatus(usbHandle, quint8(sciencePipe - 0x82), &queued);
        count += queued;
    }
    const quint32 result = quint32(qMin<quint64>(count, 0xFFFFFFFFu));
    if (usbSciLog && usbSciLog->IsOpen())
        usbSciLog->Line(SciLog::TimeOfDay() + QStringLiteral(" Available bytes: ") + QString::number(result) + QLatin1Char(':'));
    return result;
}

quint32 PelraInterface::AvailableUSBImages()
{
    if (!usbScience || usbFrameBytes == 0)
        return 0;
    return quint32(quint64(AvailableUSBScienceData()) / usbFrameBytes);
}

qint64 PelraInterface::GetUSBScienceData(int timeoutMs, qint64 nPixels, quint16 *destination)
{
    if (nPixels <= 0) {
        lastError = QStringLiteral("Invalid input parameter n for number of requested science data");
        return 0;
    }
    const bool logging = usbSciLog && usbSciLog->IsOpen();
    if (logging)
        usbSciLog->Line(QStringLiteral("Start a frame...."));
    if (!usbScience || !destination)
        return 0;
    FrameRing &ring = usbScience->Ring();
    const qint64 wanted = qMin<qint64>(nPixels * 2, qint64(usbFrameBytes));
    qint64 delivered = 0;
    if (const char *frame = ring.TakeWaiting(timeoutMs)) {
        std::memcpy(destination, frame, size_t(wanted));
        delivered = wanted;
    } else {
        // Time-out: what has come of the next frame so far.
        delivered = qMin<qint64>(qint64(ring.PartialBytes()), wanted) & ~qint64(1);
        if (delivered > 0)
            std::memcpy(destination, ring.PartialSlot(), size_t(delivered));
    }
    if (logging) {
        usbSciLog->Line(SciLog::TimeOfDay() + QStringLiteral(": bytesTransferred=%1, n=%2,m_usbBufSize=%3, status=%4")
                                                  .arg(delivered)
                                                  .arg(nPixels * 2)
                                                  .arg(usbFrameBytes)
                                                  .arg(delivered == wanted ? QStringLiteral("ok") : QStringLiteral("bad")));
        usbSciLog->Flush();
    }
    return delivered / 2;
}

quint16 *PelraInterface::GetNextUSBImage(int timeoutMs, quint64 &bytesReceived)
{
    bytesReceived = 0;
    if (!usbScience) {
        lastError = QStringLiteral("Reading image data from USB pipe timeout");
        return nullptr;
    }
    FrameRing &ring = usbScience->Ring();
    const char *frame = ring.TakeWaiting(timeoutMs + 100);
    if (const quint32 status = usbScience->LastBadStatus()) {
        lastError = QStringLiteral("Transfering image data from USB pipe: Unexpected status ") + QString::number(status);
        bytesReceived = frame ? usbFrameBytes : ring.PartialBytes();
        return nullptr;
    }
    if (!frame) {
        bytesReceived = ring.PartialBytes();
        lastError = QStringLiteral("Reading image data from USB pipe timeout");
        return nullptr;
    }
    bytesReceived = usbFrameBytes;
    return reinterpret_cast<quint16 *>(const_cast<char *>(frame));
}

bool PelraInterface::CloseUSBScienceInterface(quint8 cardSelection)
{
    // 1. The reader lets go of the handle first.
    StopUsbScienceReader();
    if (usbHandle) {
        FT_AbortPipe(usbHandle, quint8(sciencePipe));
        FT_ClearStreamPipe(usbHandle, false, false, quint8(sciencePipe));
    }
    // 2.
    quint32 config = 0;
    if (ReadPELRAReg(RegUsbConfig, config, cardSelection))
        WritePELRAReg(RegUsbConfig, config & 0xFFFE, cardSelection);
    // 3.
    CloseUSBHandle();
    usbReadTimeoutMs = 500;
    if (idleTimerId)
        killTimer(idleTimerId);
    idleTimerId = startTimer(IdlePeriodMs, Qt::CoarseTimer);
    // 4.
    usbScience.reset();
    usbFrameBytes = 0;
    if (usbSciLog)
        usbSciLog->Close();
    return true;
}

int PelraInterface::UsbFrameBufferCount() const
{
    return usbScience ? usbScience->Ring().SlotCount() : 0;
}

quint64 PelraInterface::UsbFramesReceived() const
{
    return usbScience ? usbScience->Ring().Produced() : 0;
}

int PelraInterface::UsbRingHighWater() const
{
    return usbScience ? usbScience->Ring().HighWater() : 0;
}
