#pragma once

#include "platform/Clock.h"

#include <atomic>

namespace Platform {

// Virtual time that only moves when its owner says so: the manual-drive mode of every
// time-driven service (offline translation, deterministic tests). Safe to read from any thread;
// advanced by its owner's thread.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t startMillis = 0) : now_(startMillis) {}

    int64_t nowMillis() const override { return now_.load(std::memory_order_acquire); }
    void advance(int64_t millis) { now_.fetch_add(millis, std::memory_order_acq_rel); }
    void set(int64_t millis) { now_.store(millis, std::memory_order_release); }

private:
    std::atomic<int64_t> now_;
};

} // namespace Platform
