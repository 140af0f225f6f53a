#include "usbsciencestream.h"

#include "ftd3xx.h"
#include "scilog.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr quint32 ReadTimeoutMs = 100;

}  // namespace

UsbScienceStream::UsbScienceStream(FT_HANDLE handle, quint8 channel, SciLog *log)
    : handle(handle), channel(channel), log(log)
{
}

UsbScienceStream::~UsbScienceStream()
{
    Stop();
}

bool UsbScienceStream::Allocate(int count, quint64 frameBytes)
{
    return ring.Allocate(count, frameBytes);
}

void UsbScienceStream::Start()
{
    if (reader.joinable())
        return;
    stop.store(false);
    reader = std::thread([this] { Loop(); });
}

void UsbScienceStream::Stop()
{
    if (!reader.joinable())
        return;
    stop.store(true);
    ring.WakeProducer();
    reader.join();   // a read returns within its 100 ms
}

// Each read asks for the rest of the current frame; the bridge delivers what
// it has within 100 ms. Only a whole frame is published.
void UsbScienceStream::Loop()
{
    const quint64 frameBytes = ring.FrameBytes();
    quint64 filled = 0;
    char *slot = nullptr;
    while (!stop.load()) {
        if (!slot) {
            slot = ring.WaitWritable(stop);
            if (!slot)
                break;
        }
        const quint64 rest = frameBytes - filled;
        const quint32 request = quint32(std::min<quint64>(rest, 0x40000000));
        quint32 got = 0;
        const FT_STATUS status = FT_ReadPipeEx(handle, channel, reinterpret_cast<uint8_t *>(slot + filled), request,
                                               &got, ReadTimeoutMs);
        if (got > 0) {
            filled += got;
            received.fetch_add(got);
            if (log && log->IsOpen())
                log->Line(SciLog::TimeOfDay() + QStringLiteral(": bytesTransferred2=%1, nRequest=%2 status=%3")
                                                    .arg(got)
                                                    .arg(request)
                                                    .arg(status));
            if (status != FT_OK && status != FT_TIMEOUT)
                badStatus.store(status);
            if (filled == frameBytes) {
                ring.Publish();
                slot = nullptr;
                filled = 0;
            } else {
                ring.SetPartialBytes(filled);
            }
        } else if (status != FT_OK && status != FT_TIMEOUT) {
            // The handle or the stream is gone; wait for Stop without spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(ReadTimeoutMs));
        }
    }
}
