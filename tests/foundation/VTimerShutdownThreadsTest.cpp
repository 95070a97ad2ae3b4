#include "foundation/AutoDelete.h"
#include "foundation/SystemClock.h"
#include "foundation/VTimer.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using Vorn::VTimer;
using Vorn::VTimerManager;

class Counter : public VTimer::Listener {
public:
    void timerFired(VTimer*) override { ++fired; }
    std::atomic<int> fired{0};
};

class Tracked : public VTimer {
public:
    Tracked(Listener* listener, std::atomic<bool>* deleted)
        : VTimer(listener, 5000, false, "tracked", true), deleted_(deleted) {}
    ~Tracked() override { *deleted_ = true; }

private:
    std::atomic<bool>* deleted_;
};

// The manager goes away for good with the process-wide teardown, so this is the only test here.
TEST(VTimerShutdownThreads, TeardownStopsTheThreadAndAllTimersForGood) {
    Counter counter;
    VTimer ticking(&counter, 2, true, "ticking");
    VTimer armed(&counter, 5000, false, "armed");
    std::atomic<bool> autoDeleted{false};
    ticking.start();
    armed.start();
    (new Tracked(&counter, &autoDeleted))->start(); // owned by the manager from here on
    for (int waited = 0; counter.fired.load() < 5 && waited < 3000; ++waited)
        Vorn::sleepMillis(1);
    ASSERT_GE(counter.fired.load(), 5);

    int64_t started = Vorn::systemMillis();
    Vorn::deleteAllAutoDelete();
    EXPECT_LT(Vorn::systemMillis() - started, 1000);

    EXPECT_TRUE(autoDeleted.load());
    EXPECT_FALSE(ticking.isActive());
    EXPECT_FALSE(armed.isActive());
    int firedAtTeardown = counter.fired.load();
    ticking.start(); // ignored from now on
    EXPECT_FALSE(ticking.isActive());
    Vorn::sleepMillis(50);
    EXPECT_EQ(counter.fired.load(), firedAtTeardown);
    EXPECT_EQ(VTimerManager::stopTimersByName("ticking"), 0);
}

} // namespace
