#pragma once

#include "foundation/VLock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace Vorn {

// A readers-writer lock. Recursive for the writing thread, which may also take read locks.
// Writers are serialised by an entry lock; a writer waiting for readers to drain does not hold
// new readers back (readers are admitted until the writer actually holds the lock).
// Every operation may be called from any thread; unlock on the thread that locked.
class VRWLock {
public:
    VRWLock() = default;
    VRWLock(const VRWLock&) = delete;
    VRWLock& operator=(const VRWLock&) = delete;

    void lockRead();
    // Never blocks (for real-time threads): fails only while another thread holds the write lock.
    // A writer still waiting for readers to drain does not make it fail.
    bool tryLockRead();
    void unlockRead();
    void lockWrite();
    void unlockWrite();

private:
    // state_ holds the reader count, plus kWriter while a writer holds the lock.
    static constexpr int64_t kWriter = int64_t(1) << 40;

    bool callerIsWriter() const;
    void wakeWaiters();

    VLock entry_;
    std::atomic<int64_t> state_{0};
    std::atomic<int> writerCount_{0};
    std::atomic<std::thread::id> writer_{};
    // Sleeping waiters: a changer only takes the wait lock when someone sleeps.
    std::atomic<int> sleepers_{0};
    std::mutex waitMutex_;
    std::condition_variable changed_;
};

} // namespace Vorn
