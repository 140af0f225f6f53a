// Transfer-buffer sizing of the USB science stream.
#include "pelrainterface.h"

#include <cmath>

namespace {

constexpr quint64 MaxTransferBytes = 0x100000;   // 1 MiB per request
constexpr quint32 MinTransferBytes = 0x4000;     // 16 KiB per request

}  // namespace

bool PelraInterface::GetUSBBufferSize(qint16 nBuffers, quint32 pixelsPerFrame, quint16 &transferCount,
                                      quint32 &transferBytes)
{
    if (nBuffers <= 0 || pixelsPerFrame == 0) {
        lastError = QStringLiteral("Invalid input parameter imgSize or nBuffers");
        return false;
    }
    // 64-bit, so that frames of 2 GiB and more are sized, not wrapped.
    const quint64 bytes = quint64(pixelsPerFrame) * 2;
    if (bytes > MaxTransferBytes) {
        const double count = std::ceil(double(nBuffers) * double(bytes) / double(MaxTransferBytes));
        if (count > 0xFFFF) {
            lastError = QStringLiteral("Invalid input parameter imgSize or nBuffers: %1 buffers of %2 bytes need more "
                                       "than 65535 transfers of 1 MiB")
                            .arg(nBuffers)
                            .arg(bytes);
            return false;
        }
        transferBytes = quint32(MaxTransferBytes);
        transferCount = quint16(count);
    } else {
        transferBytes = qMax(quint32(bytes), MinTransferBytes);
        transferCount = quint16(nBuffers);
    }
    return true;
}
