#include "framering.h"

#include <algorithm>
#include <chrono>
#include <new>

int FrameRing::SlotsFor(uint64_t frameBytes)
{
    if (frameBytes == 0)
        return 2;
    const uint64_t count = RingBudgetBytes / frameBytes;
    return int(std::min<uint64_t>(MaxSlots, std::max<uint64_t>(2, count)));
}

bool FrameRing::Allocate(int count, uint64_t bytes)
{
    Free();
    if (count < 1 || bytes == 0)
        return false;
    try {
        storage.resize(size_t(count));
        for (auto &slot : storage)
            slot.assign(size_t(bytes), 0);   // touched now, not during the stream
    } catch (const std::bad_alloc &) {
        storage.clear();
        return false;
    }
    for (auto &slot : storage)
        slotData.push_back(slot.data());
    slotCount = uint64_t(count);
    frameBytes = bytes;
    Reset();
    return true;
}

void FrameRing::Free()
{
    slotData.clear();
    storage.clear();
    storage.shrink_to_fit();
    slotCount = 0;
    frameBytes = 0;
    Reset();
}

void FrameRing::Reset()
{
    produced.store(0);
    taken.store(0);
    released.store(0);
    partial.store(0);
    highWater.store(0);
    stalls.store(0);
    holding = false;
}

char *FrameRing::Writable()
{
    if (slotCount == 0)
        return nullptr;
    // Sequentially consistent with Drop's store and flag check: a producer
    // about to wait either sees the release or is woken by it.
    const uint64_t p = produced.load();
    if (p - released.load() >= slotCount)
        return nullptr;
    return slotData[size_t(p % slotCount)];
}

char *FrameRing::WaitWritable(const std::atomic<bool> &stop)
{
    char *slot = Writable();
    if (slot || slotCount == 0)
        return slot;
    stalls.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(waitMutex);
    producerWaiting.store(true);
    while (!stop.load() && !(slot = Writable()))
        producerCv.wait_for(lock, std::chrono::milliseconds(50));
    producerWaiting.store(false);
    return slot;
}

const char *FrameRing::PartialSlot() const
{
    if (slotCount == 0)
        return nullptr;
    return slotData[size_t(produced.load(std::memory_order_acquire) % slotCount)];
}

void FrameRing::Publish()
{
    partial.store(0, std::memory_order_relaxed);
    const uint64_t p = produced.fetch_add(1) + 1;
    const int waiting = int(p - taken.load());
    int high = highWater.load(std::memory_order_relaxed);
    while (waiting > high && !highWater.compare_exchange_weak(high, waiting))
        ;
    NotifyConsumer();
}

void FrameRing::NotifyConsumer()
{
    if (consumerWaiting.load()) {
        std::lock_guard<std::mutex> lock(waitMutex);
        consumerCv.notify_all();
    }
}

void FrameRing::WakeProducer()
{
    std::lock_guard<std::mutex> lock(waitMutex);
    producerCv.notify_all();
}

int FrameRing::Available() const
{
    return int(produced.load() - taken.load());
}

void FrameRing::Drop()
{
    if (!holding)
        return;
    holding = false;
    released.fetch_add(1);
    if (producerWaiting.load()) {
        std::lock_guard<std::mutex> lock(waitMutex);
        producerCv.notify_all();
    }
}

const char *FrameRing::Take()
{
    Drop();
    const uint64_t t = taken.load(std::memory_order_relaxed);
    if (slotCount == 0 || produced.load(std::memory_order_acquire) == t)
        return nullptr;
    taken.store(t + 1, std::memory_order_release);
    holding = true;
    return slotData[size_t(t % slotCount)];
}

const char *FrameRing::TakeWaiting(int timeoutMs)
{
    Drop();
    if (Available() == 0 && timeoutMs > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock<std::mutex> lock(waitMutex);
        consumerWaiting.store(true);
        while (Available() == 0 && std::chrono::steady_clock::now() < deadline)
            consumerCv.wait_until(lock, deadline);
        consumerWaiting.store(false);
    }
    return Take();
}

bool FrameRing::WaitForData(int timeoutMs)
{
    auto ready = [this] { return Available() > 0 || PartialBytes() > 0; };
    if (ready() || timeoutMs <= 0)
        return ready();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(waitMutex);
    consumerWaiting.store(true);
    while (!ready() && std::chrono::steady_clock::now() < deadline)
        consumerCv.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5)));
    consumerWaiting.store(false);
    return ready();
}
