// Sends a card's science frames into one connection from a thread of its
// own: the GigE science port's TCP connection or a USB bridge's science pipe.
//
//   ScienceSender sender(QStringLiteral("gige 127.1.1.1"));
//   sender.setSink(fd);                   // takes the descriptor
//   sender.setReady(true);                // GigE: after the connection flag 0x33
//   sender.post({frames, 0 /*ms per frame: flat out*/});
//
// Frames come from a prepared FrameMaker, so the thread only moves bytes;
// flat out it is limited by the receiver alone. A receiver that stops reading
// holds the sender back (the socket fills), which the card reports as a full
// FIFO. Faults end a frame half-way: the stream stops, or the connection is
// dropped.
#pragma once

#include "pelrasim.h"
#include "simscienceframes.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pelrasim {

struct ScienceJob {
    std::shared_ptr<FrameMaker> frames;
    int frameMs = 0;          // pacing: one frame per frameMs, 0 = flat out
    quint16 cardId = 0;
};

// What the sender tells the card, for its FIFO status and error counters.
enum class SenderEvent { Started, Blocked, Flowing, Finished, StoppedMidFrame, Dropped };

class ScienceSender
{
public:
    explicit ScienceSender(const QString &name);
    ~ScienceSender();
    ScienceSender(const ScienceSender &) = delete;
    ScienceSender &operator=(const ScienceSender &) = delete;

    // Takes the descriptor; the previous one is closed. -1 only closes.
    void setSink(int fd);
    bool hasSink() const;
    void setReady(bool ready);

    void post(const ScienceJob &job);
    // Drops every job, the one being sent after its current frame.
    void cancelAll();
    // The running job ends after its current frame (the ramp's stop value).
    void stopAfterFrame();

    // Fault on frame `frameIndex` (counted over all jobs from now).
    void setFault(ScienceFault fault, int frameIndex);

    // Called on the sender thread; the callee takes whatever locks it needs.
    void setEventHandler(std::function<void(quint16 cardId, SenderEvent)> handler);

    quint64 framesSent() const { return sent.load(); }
    quint64 bytesSent() const { return bytes.load(); }
    bool busy() const { return running.load(); }

private:
    void run();
    bool sendAll(int fd, const char *data, qint64 length, quint16 cardId);
    void event(quint16 cardId, SenderEvent e);

    QString name;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<ScienceJob> jobs;
    int sinkFd = -1;
    std::vector<int> toClose;
    bool ready = true;
    bool quit = false;
    ScienceFault fault = ScienceFault::None;
    qint64 faultFrame = -1;
    qint64 frameCounter = 0;
    std::function<void(quint16, SenderEvent)> handler;

    std::atomic<quint64> generation{0};   // bumped by cancelAll
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    std::atomic<quint64> sent{0};
    std::atomic<quint64> bytes{0};
    std::thread thread;
};

}  // namespace pelrasim
