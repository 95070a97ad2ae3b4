#pragma once

#include <functional>
#include <memory>

namespace Platform {

// A periodic timer of millisecond resolution: calls its tick on a thread of its own, at
// absolute deadlines, so the period does not drift with the time the tick takes.
//
// start and stop may be called from any thread, the tick's own included; stop does not wait for
// a tick in progress. The destructor stops the timer and waits for its thread.
class HighResTimer {
public:
    virtual ~HighResTimer() = default;
    // Starts calling tick every periodMillis (at least 1). A running timer keeps its tick and
    // period. False when no timer thread could be had.
    virtual bool start(int periodMillis, std::function<void()> tick) = 0;
    // No tick starts after stop returns (one in progress finishes).
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// The real backend.
std::unique_ptr<HighResTimer> createHighResTimer();

} // namespace Platform
