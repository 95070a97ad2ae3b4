#include "foundation/VTimer.h"

#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Vorn::VTimer;
using Vorn::VTimerManager;

struct Firing {
    std::string name;
    int64_t at;
    bool operator==(const Firing&) const = default;
};

// Records every firing with the virtual time; an optional action runs inside timerFired.
class Recorder : public VTimer::Listener {
public:
    void timerFired(VTimer* timer) override {
        firings.push_back({timer->getName().c_str(), Vorn::systemMillis()});
        if (action)
            action(timer);
    }
    std::vector<Firing> firings;
    std::function<void(VTimer*)> action;
};

// Every test drives the manager by hand on virtual time starting at 0.
class VTimerManual : public testing::Test {
protected:
    void SetUp() override {
        manager = VTimerManager::instance();
        manager->setManualDrive(true);
        Vorn::useClock(&clock);
    }
    void TearDown() override {
        manager->runDue(); // drops what the test left behind
        Vorn::useClock(nullptr);
    }
    void runAt(int64_t millis) {
        clock.set(millis);
        manager->runDue();
    }

    Platform::ManualClock clock;
    VTimerManager* manager = nullptr;
    Recorder recorder;
};

TEST_F(VTimerManual, OneShotFiresOnceAfterItsPeriodThenIsInactive) {
    VTimer timer(&recorder, 100, false, "once");
    timer.start();
    EXPECT_TRUE(timer.isActive());
    runAt(99);
    EXPECT_TRUE(recorder.firings.empty());
    runAt(100);
    runAt(1000);
    EXPECT_EQ(recorder.firings, (std::vector<Firing>{{"once", 100}}));
    EXPECT_FALSE(timer.isActive());
}

TEST_F(VTimerManual, RepeatingTimerKeepsItsRateAfterTheInitialDelay) {
    VTimer timer(&recorder, 100, true, "tick");
    timer.setInitialDelay(30);
    EXPECT_EQ(timer.getEffectiveDelay(), 30);
    timer.start();
    for (int64_t at : {30, 129, 135, 230, 330})
        runAt(at);
    EXPECT_EQ(recorder.firings,
              (std::vector<Firing>{{"tick", 30}, {"tick", 135}, {"tick", 230}, {"tick", 330}}));
    EXPECT_TRUE(timer.isActive());
}

TEST_F(VTimerManual, PeriodAndDelayRules) {
    struct Case {
        int period;
        int initialDelay;
        int expectedPeriod;
        int expectedDelay;
    };
    for (const Case& c : {Case{0, -1, 1, 1}, Case{-5, -1, 1, 1}, Case{1, 0, 1, 0},
                          Case{250, -1, 250, 250}, Case{250, 7, 250, 7}}) {
        VTimer timer(&recorder, 10, false, "rules");
        timer.setPeriod(c.period);
        timer.setInitialDelay(c.initialDelay);
        EXPECT_EQ(timer.getPeriod(), c.expectedPeriod) << c.period;
        EXPECT_EQ(timer.getEffectiveDelay(), c.expectedDelay) << c.period << "," << c.initialDelay;
    }
    EXPECT_EQ(VTimer(&recorder, 0, false, "ctor").getPeriod(), 1);
    EXPECT_EQ(VTimer(&recorder, -3, false, "ctor").getPeriod(), 1);
}

TEST_F(VTimerManual, TimerDueAtTheClockOriginStillFires) {
    VTimer timer(&recorder, 5, false, "zero");
    timer.setInitialDelay(0);
    timer.start();
    runAt(0);
    runAt(1);
    EXPECT_EQ(recorder.firings.size(), 1u);
}

TEST_F(VTimerManual, StartingAnArmedTimerAgainPostponesIt) {
    VTimer timer(&recorder, 100, false, "later");
    timer.start();
    runAt(60);
    timer.start();
    runAt(100);
    EXPECT_TRUE(recorder.firings.empty());
    runAt(160);
    EXPECT_EQ(recorder.firings, (std::vector<Firing>{{"later", 160}}));
}

TEST_F(VTimerManual, StartInsideTimerFiredFiresAgainAfterItsDelay) {
    VTimer timer(&recorder, 50, false, "again");
    recorder.action = [this](VTimer* fired) {
        if (recorder.firings.size() < 3)
            fired->start();
    };
    timer.start();
    for (int64_t at = 10; at <= 400; at += 10)
        runAt(at);
    EXPECT_EQ(recorder.firings,
              (std::vector<Firing>{{"again", 50}, {"again", 100}, {"again", 150}}));
    EXPECT_FALSE(timer.isActive());
}

TEST_F(VTimerManual, TimersDueTogetherFireInReverseOrderOfFirstRegistration) {
    VTimer a(&recorder, 100, true, "a"), b(&recorder, 100, true, "b"), c(&recorder, 100, true, "c");
    a.start();
    b.start();
    c.start();
    runAt(50);
    a.start(); // re-arming keeps a's place in the list
    b.start();
    c.start();
    runAt(150);
    EXPECT_EQ(recorder.firings, (std::vector<Firing>{{"c", 150}, {"b", 150}, {"a", 150}}));
}

// Period 10; the first four firings take 25 ms of virtual time each. The timer falls behind,
// catches up back to back once the listener is quick again, then keeps the fixed-rate schedule.
TEST_F(VTimerManual, RepeatingTimerCatchesUpOnlyWhileItKeepsPace) {
    VTimer timer(&recorder, 10, true, "slow");
    recorder.action = [this](VTimer*) {
        if (recorder.firings.size() <= 4)
            clock.advance(25);
    };
    timer.start();
    runAt(10);
    std::vector<int64_t> times;
    for (const Firing& firing : recorder.firings)
        times.push_back(firing.at);
    // Firings due at 10, 20, 30, 40 start at 10, 35, 60, 85; those due at 50-110 all run at 110.
    EXPECT_EQ(times, (std::vector<int64_t>{10, 35, 60, 85, 110, 110, 110, 110, 110, 110, 110}));
    EXPECT_EQ(Vorn::systemMillis(), 110);
    runAt(119);
    EXPECT_EQ(recorder.firings.size(), 11u);
    runAt(120);
    runAt(130);
    EXPECT_EQ(recorder.firings.size(), 13u);
    EXPECT_EQ(recorder.firings.back().at, 130);
}

TEST_F(VTimerManual, RunDueReportsTheWaitUntilTheNextDueTime) {
    EXPECT_EQ(manager->runDue(), 2000);
    VTimer timer(&recorder, 300, true, "wait");
    timer.start();
    EXPECT_EQ(manager->runDue(), 300);
    clock.set(250);
    EXPECT_EQ(manager->runDue(), 50);
    VTimer far(&recorder, 5000, false, "far");
    timer.stop();
    far.start();
    EXPECT_EQ(manager->runDue(), 2000); // capped
}

TEST_F(VTimerManual, StoppedTimersNeverFire) {
    VTimer timer(&recorder, 100, true, "stopped");
    timer.start();
    runAt(100);
    timer.stop();
    EXPECT_FALSE(timer.isActive());
    runAt(500);
    EXPECT_EQ(recorder.firings.size(), 1u);

    recorder.action = [](VTimer* fired) { fired->stop(); }; // a repeating timer stopping itself
    timer.start();
    runAt(600);
    runAt(700);
    EXPECT_EQ(recorder.firings.size(), 2u);
}

TEST_F(VTimerManual, StopTimersByNameAndListenerMatchExactlyAndCountOnce) {
    Recorder other;
    VTimer a(&recorder, 100, true, "midi"), b(&recorder, 100, true, "serial"),
        c(&other, 100, true, "midi"), d(&other, 100, true, "MIDI");
    for (VTimer* timer : {&a, &b, &c, &d})
        timer->start();
    runAt(100);
    a.start(); // now in both of the manager's lists

    EXPECT_EQ(VTimerManager::stopTimersByName("midi"), 2);
    EXPECT_EQ(VTimerManager::stopTimersByName("midi"), 0);
    EXPECT_EQ(VTimerManager::stopTimersOfListener(&other), 1); // d; c is stopped already
    runAt(300);
    EXPECT_EQ(recorder.firings.size() + other.firings.size(), 4u + 2u); // 4 at 100, b twice more
    EXPECT_TRUE(b.isActive());
    EXPECT_EQ(VTimerManager::stopTimersOfListener(&recorder), 1);
    EXPECT_FALSE(b.isActive());
}

TEST_F(VTimerManual, TimerDestroyedInsideItsOwnCallbackIsNeverTouchedAgain) {
    auto doomed = std::make_unique<VTimer>(&recorder, 10, true, "doomed");
    VTimer earlier(&recorder, 10, true, "earlier"); // registered first, so it fires after doomed
    earlier.start();
    doomed->start();
    recorder.action = [&doomed](VTimer* fired) {
        if (fired == doomed.get())
            doomed.reset();
    };
    runAt(10);
    runAt(20);
    EXPECT_EQ(doomed, nullptr);
    EXPECT_EQ(recorder.firings,
              (std::vector<Firing>{{"doomed", 10}, {"earlier", 10}, {"earlier", 20}}));
}

TEST_F(VTimerManual, TimerDestroyedInsideAnotherCallbackNeverFires) {
    auto first = std::make_unique<VTimer>(&recorder, 10, true, "first");
    auto third = std::make_unique<VTimer>(&recorder, 10, true, "third");
    VTimer second(&recorder, 10, true, "second");
    first->start();
    second.start();
    third->start();
    // Fires third, then second, which destroys the one still to fire and the one that fired.
    recorder.action = [&](VTimer* fired) {
        if (fired == &second) {
            first.reset();
            third.reset();
        }
    };
    runAt(10);
    runAt(20);
    EXPECT_EQ(recorder.firings,
              (std::vector<Firing>{{"third", 10}, {"second", 10}, {"second", 20}}));
}

TEST_F(VTimerManual, ManagerDeletesAutoDeleteTimersOnceTheyFinish) {
    class Tracked : public VTimer {
    public:
        Tracked(Listener* listener, bool* deleted)
            : VTimer(listener, 100, false, "tracked", true), deleted_(deleted) {}
        ~Tracked() override { *deleted_ = true; }

    private:
        bool* deleted_;
    };
    bool firedDeleted = false, stoppedDeleted = false;
    (new Tracked(&recorder, &firedDeleted))->start(); // owned by the manager from here on
    VTimer* stopped = new Tracked(&recorder, &stoppedDeleted);
    stopped->start();
    runAt(50);
    stopped->stop();
    runAt(100);
    EXPECT_EQ(recorder.firings, (std::vector<Firing>{{"tracked", 100}}));
    EXPECT_TRUE(firedDeleted);
    EXPECT_TRUE(stoppedDeleted);
}

} // namespace
