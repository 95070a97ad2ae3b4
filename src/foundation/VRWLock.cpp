#include "foundation/VRWLock.h"

namespace Vorn {

// The reader count and the writer flag share one atomic word, so "no writer holds the lock" and
// "one more reader" are decided together, and a writer takes the lock only from exactly zero
// readers. (Separate counters and events let a reader slip in while a writer takes over.)

bool VRWLock::callerIsWriter() const {
    // Only the writing thread stores its own id, so a stale read can never match the caller.
    return writer_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void VRWLock::wakeWaiters() {
    // Sequentially consistent with the sleepers' count: either a sleeper sees the new state
    // before it sleeps, or this sees the sleeper and notifies under the wait lock.
    if (sleepers_.load() == 0)
        return;
    { std::lock_guard hold(waitMutex_); }
    changed_.notify_all();
}

void VRWLock::lockRead() {
    if (callerIsWriter()) {
        state_.fetch_add(1);
        return;
    }
    int64_t state = state_.load(std::memory_order_relaxed);
    for (;;) {
        if ((state & kWriter) == 0) {
            if (state_.compare_exchange_weak(state, state + 1))
                return;
            continue;
        }
        sleepers_.fetch_add(1);
        {
            std::unique_lock hold(waitMutex_);
            changed_.wait(hold, [&] {
                state = state_.load();
                return (state & kWriter) == 0;
            });
        }
        sleepers_.fetch_sub(1);
    }
}

bool VRWLock::tryLockRead() {
    if (callerIsWriter()) {
        state_.fetch_add(1);
        return true;
    }
    int64_t state = state_.load(std::memory_order_relaxed);
    while ((state & kWriter) == 0) {
        if (state_.compare_exchange_weak(state, state + 1))
            return true;
    }
    return false;
}

void VRWLock::unlockRead() {
    if (((state_.fetch_sub(1) - 1) & (kWriter - 1)) == 0)
        wakeWaiters();
}

void VRWLock::lockWrite() {
    if (callerIsWriter()) {
        writerCount_.fetch_add(1);
        return;
    }
    ScopedLock entry(&entry_);
    int64_t idle = 0;
    while (!state_.compare_exchange_strong(idle, kWriter)) {
        sleepers_.fetch_add(1);
        {
            std::unique_lock hold(waitMutex_);
            changed_.wait(hold, [&] { return state_.load() == 0; });
        }
        sleepers_.fetch_sub(1);
        idle = 0;
    }
    writer_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    writerCount_.store(1);
}

void VRWLock::unlockWrite() {
    if (writerCount_.fetch_sub(1) != 1)
        return;
    writer_.store(std::thread::id(), std::memory_order_relaxed);
    state_.fetch_sub(kWriter);
    wakeWaiters();
}

} // namespace Vorn
