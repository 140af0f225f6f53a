// A ring of preallocated frame slots between one producer thread (a science
// receiver) and one consumer (the acquisition).
//
//   FrameRing ring;
//   ring.Allocate(4, frameBytes);
//   producer:  char *slot = ring.WaitWritable(stopFlag); ... fill ... ring.Publish();
//   consumer:  const char *frame = ring.Take();  ... use ... (valid until the next Take or Drop)
//
// The producer never overwrites a frame that the consumer has not taken: when
// every slot is occupied WaitWritable blocks, so the sender is held back
// (TCP flow control, a USB pipe nobody reads) and nothing is lost. The taken
// frame stays the consumer's until its next Take, so the pixels it was handed
// do not change under it. Indices are counters that only grow; a slot is a
// counter modulo the slot count.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class FrameRing
{
public:
    FrameRing() = default;
    FrameRing(const FrameRing &) = delete;
    FrameRing &operator=(const FrameRing &) = delete;

    // Slot count for frames of `frameBytes`: 32 MiB worth of frames, at least
    // 2 and at most MaxSlots.
    static int SlotsFor(uint64_t frameBytes);
    static constexpr int MaxSlots = 16384;
    static constexpr uint64_t RingBudgetBytes = 0x2000000;

    // Preallocates (and touches) the slots; only while no producer runs.
    // False when the memory cannot be had.
    bool Allocate(int count, uint64_t frameBytes);
    void Free();
    // Forgets every frame and counter; only while no producer runs.
    void Reset();

    int SlotCount() const { return int(slotCount); }
    uint64_t FrameBytes() const { return frameBytes; }

    // --- producer ---
    // The slot to fill next, or nullptr when every slot holds a frame not yet
    // released by the consumer.
    char *Writable();
    // Like Writable, but waits for a free slot until `stop` becomes true.
    char *WaitWritable(const std::atomic<bool> &stop);
    // Bytes of the slot being filled (for AvailableBytes and partial reads).
    void SetPartialBytes(uint64_t bytes) { partial.store(bytes, std::memory_order_release); }
    uint64_t PartialBytes() const { return partial.load(std::memory_order_acquire); }
    const char *PartialSlot() const;
    // The slot returned by Writable now holds a whole frame.
    void Publish();
    // Wakes a producer blocked in WaitWritable (after setting its stop flag).
    void WakeProducer();

    // --- consumer ---
    // Whole frames waiting (not counting the one taken last).
    int Available() const;
    // Releases the frame taken before and hands out the next whole frame, or
    // nullptr when none is waiting.
    const char *Take();
    // Waits up to timeoutMs for a whole frame, then as Take.
    const char *TakeWaiting(int timeoutMs);
    // Waits up to timeoutMs until a frame or partial bytes are there.
    bool WaitForData(int timeoutMs);
    // Releases the frame taken last, if any.
    void Drop();

    // --- counters, readable from any thread ---
    uint64_t Produced() const { return produced.load(std::memory_order_acquire); }
    uint64_t Consumed() const { return taken.load(std::memory_order_acquire); }
    // Largest number of frames that were waiting at once.
    int HighWater() const { return highWater.load(std::memory_order_relaxed); }
    // Times the producer found every slot occupied and had to wait.
    uint64_t ProducerStalls() const { return stalls.load(std::memory_order_relaxed); }

private:
    void NotifyConsumer();

    std::vector<char *> slotData;
    std::vector<std::vector<char>> storage;
    uint64_t slotCount = 0;
    uint64_t frameBytes = 0;

    std::atomic<uint64_t> produced{0};   // frames published
    std::atomic<uint64_t> taken{0};      // frames handed to the consumer
    std::atomic<uint64_t> released{0};   // frames whose slots may be refilled
    std::atomic<uint64_t> partial{0};
    std::atomic<int> highWater{0};
    std::atomic<uint64_t> stalls{0};
    bool holding = false;                // consumer holds the frame it took last

    std::mutex waitMutex;
    std::condition_variable producerCv;
    std::condition_variable consumerCv;
    std::atomic<bool> producerWaiting{false};
    std::atomic<bool> consumerWaiting{false};
};
