#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "foundation/ErrorMessages.h"
#include "foundation/VLock.h"

namespace Vorn {

// A ring of variable-size records, many producers and one consumer. Each record starts with its
// size word and occupies size + 4 bytes raised to a multiple of 8. A record that does not fit
// before the end goes to the start; the word kWrapMarker (or a tail shorter than a word) tells
// the reader so. A full ring drops the new record: producers never wait for the consumer.
//
// Threads: push from any thread (one producer lock for the reservation and the filling, no
// allocation). pop from one consumer thread at a time; the record count is raised only after a
// record is complete, so the consumer never sees a half-written one.
template <class Record, uint32_t kBytes> class VQueueSyncVarSize {
public:
    static constexpr uint32_t kWrapMarker = 0x6FFFFFFF;
    static_assert(kBytes % 8 == 0 && kBytes >= 16);

    VQueueSyncVarSize() = default;
    VQueueSyncVarSize(const VQueueSyncVarSize&) = delete;
    VQueueSyncVarSize& operator=(const VQueueSyncVarSize&) = delete;

    static constexpr uint32_t footprint(uint32_t size) { return (size + 4 + 7) & ~uint32_t{7}; }

    // Reserves size bytes, writes the size word, lets fill(Record&) write the rest and publishes
    // the record. False (nothing written) when the ring has no room.
    template <class Fill> bool push(uint32_t size, Fill&& fill) {
        ScopedLock hold(&producerLock_);
        uint32_t start = reserve(size);
        if (start == kNoRoom)
            return false;
        Record* record = reinterpret_cast<Record*>(bytes_ + start);
        std::memcpy(record, &size, sizeof size);
        fill(*record);
        writePos_.store(start + footprint(size), std::memory_order_relaxed);
        count_.fetch_add(1, std::memory_order_release);
        return true;
    }

    // Hands the oldest record to read(const Record&) and removes it; false when empty.
    template <class Read> bool pop(Read&& read) {
        if (count_.load(std::memory_order_acquire) == 0)
            return false;
        uint32_t start;
        {
            ScopedLock hold(&consumerLock_);
            start = recordStart(readPos_.load(std::memory_order_relaxed));
        }
        const Record* record = reinterpret_cast<const Record*>(bytes_ + start);
        uint32_t size;
        std::memcpy(&size, record, sizeof size);
        read(*record);
        ScopedLock hold(&consumerLock_);
        // Release: the producer that sees the new position may overwrite what read() looked at.
        readPos_.store(start + footprint(size), std::memory_order_release);
        if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1 && positionsDiffer()) {
            ScopedLock producer(&producerLock_);
            if (count_.load(std::memory_order_acquire) == 0 && positionsDiffer())
                reportError("Queue inconsistency (avail=0  ReadPos=%p  WritePos=%p)",
                            static_cast<void*>(bytes_ + readPos_.load(std::memory_order_relaxed)),
                            static_cast<void*>(bytes_ + writePos_.load(std::memory_order_relaxed)));
        }
        return true;
    }

    int count() const { return count_.load(std::memory_order_acquire); }
    const uint8_t* bytes() const { return bytes_; }

private:
    static constexpr uint32_t kNoRoom = ~uint32_t{0};

    // Reads only the positions: the bytes at the write position belong to the producers.
    bool positionsDiffer() const {
        return readPos_.load(std::memory_order_relaxed) !=
               writePos_.load(std::memory_order_relaxed);
    }

    // Where the record at position lies: the start of the array when the tail is shorter than a
    // size word or holds the wrap marker.
    uint32_t recordStart(uint32_t position) const {
        if (kBytes - position < 4)
            return 0;
        uint32_t word;
        std::memcpy(&word, bytes_ + position, sizeof word);
        return word == kWrapMarker ? 0 : position;
    }

    // Producer lock held. The read position seen here may be older than the consumer's; every
    // such position lies behind the real one, so the test only errs towards "full".
    uint32_t reserve(uint32_t size) {
        uint32_t need = footprint(size);
        if (size < 4 || need > kBytes)
            return kNoRoom;
        bool empty = count_.load(std::memory_order_acquire) == 0;
        uint32_t write = writePos_.load(std::memory_order_relaxed);
        uint32_t read = readPos_.load(std::memory_order_acquire);
        uint32_t start = write;
        if (kBytes - write < need) {
            if (empty)
                return restart();
            if (read >= write)
                return kNoRoom;
            if (kBytes - write > 3)
                std::memcpy(bytes_ + write, &kWrapMarker, sizeof kWrapMarker);
            start = 0;
        }
        if (read >= start && read < start + need) {
            if (empty)
                return restart();
            return kNoRoom;
        }
        return start;
    }

    uint32_t restart() {
        readPos_.store(0, std::memory_order_relaxed);
        writePos_.store(0, std::memory_order_relaxed);
        return 0;
    }

    alignas(8) uint8_t bytes_[kBytes] = {};
    std::atomic<uint32_t> readPos_{0};
    std::atomic<uint32_t> writePos_{0};
    std::atomic<int> count_{0};
    VLock producerLock_;
    VLock consumerLock_;
};

} // namespace Vorn
