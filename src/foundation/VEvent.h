#pragma once

#include "foundation/VLock.h"

#include <condition_variable>
#include <mutex>

namespace Vorn {

// An auto-reset event, created unsignalled: one successful wait consumes one signal. Any thread
// may signal; any thread may wait.
class VEvent {
public:
    VEvent() = default;
    ~VEvent() = default;
    VEvent(const VEvent&) = delete;
    VEvent& operator=(const VEvent&) = delete;

    void signal();
    // Waits up to ms milliseconds (0 or less: forever). True when signalled; the event is reset.
    bool wait(int ms);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

// An event together with a lock, for owners that guard the state the event announces.
class VLockedEvent {
public:
    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }
    VLock* criticalSection() { return &lock_; }

    void signal() { event_.signal(); }
    bool wait(int ms) { return event_.wait(ms); }

private:
    VEvent event_;
    VLock lock_;
};

} // namespace Vorn
