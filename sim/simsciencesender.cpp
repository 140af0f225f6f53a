#include "simsciencesender.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace pelrasim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int PollSliceMs = 50;
constexpr int BlockedReportMs = 100;

}  // namespace

ScienceSender::ScienceSender(const QString &name)
    : name(name)
{
    thread = std::thread([this] { run(); });
}

ScienceSender::~ScienceSender()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        quit = true;
        generation.fetch_add(1);
        if (sinkFd >= 0)
            ::shutdown(sinkFd, SHUT_RDWR);
    }
    wake.notify_all();
    thread.join();
    if (sinkFd >= 0)
        ::close(sinkFd);
    for (int fd : toClose)
        ::close(fd);
}

void ScienceSender::setSink(int fd)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (sinkFd >= 0) {
            // The thread may be sending on it: shut it now, close it once idle.
            ::shutdown(sinkFd, SHUT_RDWR);
            toClose.push_back(sinkFd);
        }
        sinkFd = fd;
    }
    wake.notify_all();
}

bool ScienceSender::hasSink() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sinkFd >= 0;
}

void ScienceSender::setReady(bool r)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ready = r;
    }
    wake.notify_all();
}

void ScienceSender::post(const ScienceJob &job)
{
    if (!job.frames || job.frames->frameCount() <= 0)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(job);
    }
    wake.notify_all();
}

void ScienceSender::cancelAll()
{
    std::lock_guard<std::mutex> lock(mutex);
    jobs.clear();
    generation.fetch_add(1);
}

void ScienceSender::stopAfterFrame()
{
    stopRequested.store(true);
}

void ScienceSender::setFault(ScienceFault f, int frameIndex)
{
    std::lock_guard<std::mutex> lock(mutex);
    fault = f;
    faultFrame = frameCounter + frameIndex;
}

void ScienceSender::setEventHandler(std::function<void(quint16, SenderEvent)> h)
{
    std::lock_guard<std::mutex> lock(mutex);
    handler = std::move(h);
}

void ScienceSender::event(quint16 cardId, SenderEvent e)
{
    std::function<void(quint16, SenderEvent)> h;
    {
        std::lock_guard<std::mutex> lock(mutex);
        h = handler;
    }
    if (h)
        h(cardId, e);
}

// Moves the bytes as fast as the receiver takes them; false when the
// connection is gone or the job was cancelled.
bool ScienceSender::sendAll(int fd, const char *data, qint64 length, quint16 cardId)
{
    const quint64 gen = generation.load();
    qint64 done = 0;
    bool blocked = false;
    Clock::time_point waitingSince;
    bool waiting = false;
    while (done < length) {
        const ssize_t n = ::send(fd, data + done, size_t(length - done), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
            bytes.fetch_add(quint64(n));
            waiting = false;
            if (blocked) {
                blocked = false;
                event(cardId, SenderEvent::Flowing);
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (generation.load() != gen)
            return false;
        if (!waiting) {
            waiting = true;
            waitingSince = Clock::now();
        } else if (!blocked && Clock::now() - waitingSince > std::chrono::milliseconds(BlockedReportMs)) {
            blocked = true;
            event(cardId, SenderEvent::Blocked);
        }
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, PollSliceMs);
    }
    if (blocked)
        event(cardId, SenderEvent::Flowing);
    return true;
}

void ScienceSender::run()
{
    std::vector<char> scratch;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        for (int fd : toClose)
            ::close(fd);
        toClose.clear();
        wake.wait(lock, [this] { return quit || !toClose.empty() || (!jobs.empty() && ready && sinkFd >= 0); });
        if (quit)
            return;
        if (!toClose.empty())
            continue;
        const ScienceJob job = jobs.front();
        jobs.pop_front();
        const int fd = sinkFd;
        const quint64 gen = generation.load();
        stopRequested.store(false);
        running.store(true);
        lock.unlock();

        event(job.cardId, SenderEvent::Started);
        SenderEvent result = SenderEvent::Finished;
        bool requeued = false;
        const qint64 frameBytes = job.frames->frameBytes();
        const Clock::time_point start = Clock::now();
        for (int f = 0; f < job.frames->frameCount(); ++f) {
            if (generation.load() != gen || stopRequested.load())
                break;
            if (job.frameMs > 0) {
                const Clock::time_point due = start + std::chrono::milliseconds(qint64(job.frameMs) * (f + 1));
                while (Clock::now() < due && generation.load() == gen && !stopRequested.load())
                    std::this_thread::sleep_for(std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(20)));
                if (generation.load() != gen)
                    break;
            }
            const char *data = job.frames->frame(f, scratch);
            ScienceFault now = ScienceFault::None;
            {
                std::lock_guard<std::mutex> guard(mutex);
                if (fault != ScienceFault::None && fault != ScienceFault::OtherPeer && frameCounter == faultFrame) {
                    now = fault;
                    fault = ScienceFault::None;
                }
                ++frameCounter;
            }
            if (now != ScienceFault::None) {
                sendAll(fd, data, frameBytes / 2, job.cardId);
                if (now == ScienceFault::DropConnection) {
                    std::lock_guard<std::mutex> guard(mutex);
                    ::shutdown(fd, SHUT_RDWR);
                    if (sinkFd == fd) {
                        toClose.push_back(fd);
                        sinkFd = -1;
                    }
                    result = SenderEvent::Dropped;
                } else {
                    result = SenderEvent::StoppedMidFrame;
                }
                break;
            }
            const quint64 before = bytes.load();
            if (!sendAll(fd, data, frameBytes, job.cardId)) {
                if (f == 0 && bytes.load() == before && generation.load() == gen) {
                    // The connection was gone before the job began: the
                    // job waits for the next one.
                    std::lock_guard<std::mutex> guard(mutex);
                    jobs.push_front(job);
                    if (sinkFd == fd) {
                        ::shutdown(fd, SHUT_RDWR);
                        toClose.push_back(fd);
                        sinkFd = -1;
                    }
                    requeued = true;
                }
                break;
            }
            sent.fetch_add(1);
        }
        if (!requeued)
            event(job.cardId, result);
        running.store(false);
        lock.lock();
        if (result == SenderEvent::StoppedMidFrame || result == SenderEvent::Dropped)
            jobs.clear();
    }
}

}  // namespace pelrasim
