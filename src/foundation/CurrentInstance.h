#pragma once

#include <atomic>
#include <mutex>

namespace Vorn {

// The process-wide current instance of a class that may have several at a time (tests make their
// own): the newest one, and when it goes, the one it replaced. Reading never waits, so real-time
// threads may ask for it on every event.
template <class T> class CurrentInstance {
public:
    T* get() const { return current_.load(std::memory_order_acquire); }

    // Makes instance the current one; returns the one it replaces, for leave().
    T* enter(T* instance) {
        std::lock_guard<std::mutex> hold(lock_);
        T* previous = current_.load(std::memory_order_relaxed);
        current_.store(instance, std::memory_order_release);
        return previous;
    }
    // When instance is still the current one, previous becomes current again.
    void leave(T* instance, T* previous) {
        std::lock_guard<std::mutex> hold(lock_);
        if (current_.load(std::memory_order_relaxed) == instance)
            current_.store(previous, std::memory_order_release);
    }

private:
    std::mutex lock_;
    std::atomic<T*> current_{nullptr};
};

} // namespace Vorn
