#include "foundation/SystemClock.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace Vorn {
namespace {

struct ProcessClock {
    std::atomic<Platform::Clock*> clock{nullptr};
    std::atomic<int64_t> base{0};
    std::once_flag started;
};

ProcessClock& processClock() {
    static ProcessClock state;
    std::call_once(state.started, [] {
        Platform::Clock* initial = &Platform::systemClock();
        state.base.store(initial->nowMillis());
        state.clock.store(initial);
    });
    return state;
}

} // namespace

int64_t systemMillis() {
    ProcessClock& state = processClock();
    return state.clock.load(std::memory_order_acquire)->nowMillis() -
           state.base.load(std::memory_order_acquire);
}

void useClock(Platform::Clock* clock) {
    ProcessClock& state = processClock();
    // A manual clock's virtual time is the time itself; the system clock counts from now.
    Platform::Clock* next = clock ? clock : &Platform::systemClock();
    state.base.store(clock ? 0 : next->nowMillis(), std::memory_order_release);
    state.clock.store(next, std::memory_order_release);
}

void sleepMillis(int millis) {
    if (millis > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(millis));
}

} // namespace Vorn
