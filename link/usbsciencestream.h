// The reader thread of the USB science stream: it fills a ring of frame
// slots from one science channel of an open bridge handle, while the card
// link's own thread keeps the register traffic on the same handle.
//
//   UsbScienceStream stream(handle, channel, &log);
//   stream.Start(slots, frameBytes);   ... stream.Ring().TakeWaiting(ms) ...
//   stream.Stop();                     // before the handle is closed
//
// When every slot holds a frame not yet taken the thread stops reading, so
// the bridge holds the card back and no frame is lost.
#pragma once

#include "framering.h"
#include "pelra_global.h"

#include <atomic>
#include <thread>

class SciLog;

class UsbScienceStream
{
public:
    UsbScienceStream(FT_HANDLE handle, quint8 channel, SciLog *log);
    ~UsbScienceStream();
    UsbScienceStream(const UsbScienceStream &) = delete;
    UsbScienceStream &operator=(const UsbScienceStream &) = delete;

    bool Allocate(int count, quint64 frameBytes);
    void Start();
    void Stop();
    bool Running() const { return reader.joinable(); }

    FrameRing &Ring() { return ring; }
    // Status of the last read that returned data and failed (0: none).
    quint32 LastBadStatus() const { return badStatus.load(); }
    quint64 BytesReceived() const { return received.load(); }

private:
    void Loop();

    FT_HANDLE handle;
    quint8 channel;
    SciLog *log;
    FrameRing ring;
    std::thread reader;
    std::atomic<bool> stop{false};
    std::atomic<quint32> badStatus{0};
    std::atomic<quint64> received{0};
};
