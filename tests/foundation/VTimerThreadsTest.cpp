#include "foundation/VTimer.h"

#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Vorn::VTimer;
using Vorn::VTimerManager;

// Counts firings and lets the test wait for them; an optional action runs inside timerFired.
class Waiter : public VTimer::Listener {
public:
    void timerFired(VTimer* timer) override {
        onManagerThread = VTimerManager::instance()->isCurrentThread();
        if (action)
            action(timer);
        std::lock_guard<std::mutex> guard(mutex_);
        firedAt.push_back(Vorn::systemMillis());
        changed_.notify_all();
    }
    bool waitForFirings(size_t count, int timeoutMillis = 3000) {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMillis),
                                 [&] { return firedAt.size() >= count; });
    }
    size_t firings() {
        std::lock_guard<std::mutex> guard(mutex_);
        return firedAt.size();
    }

    std::vector<int64_t> firedAt; // guarded by mutex_
    std::function<void(VTimer*)> action;
    std::atomic<bool> onManagerThread{false};

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

class Messages : public Vorn::ErrorMessageCallback {
public:
    void message(int level, const Vorn::VString& text) override {
        std::lock_guard<std::mutex> guard(mutex);
        received.push_back(std::to_string(level) + " " + text.c_str());
    }
    std::mutex mutex;
    std::vector<std::string> received;
};

bool waitUntil(const std::function<bool()>& condition, int timeoutMillis = 3000) {
    for (int waited = 0; waited < timeoutMillis; ++waited) {
        if (condition())
            return true;
        Vorn::sleepMillis(1);
    }
    return condition();
}

int64_t millisToRun(const std::function<void()>& work) {
    int64_t start = Vorn::systemMillis();
    work();
    return Vorn::systemMillis() - start;
}

// Keeps the removal message off the standard error stream and collects it.
class VTimerThreads : public testing::Test {
protected:
    void SetUp() override {
        Vorn::setLineOutput([this](std::string_view line) {
            std::lock_guard<std::mutex> guard(messages.mutex);
            lines.emplace_back(line);
        });
        Vorn::addErrorCallback(&messages);
    }
    void TearDown() override {
        Vorn::removeErrorCallback(&messages);
        Vorn::setLineOutput(nullptr);
    }
    Messages messages;
    std::vector<std::string> lines; // guarded by messages.mutex
};

TEST_F(VTimerThreads, OneShotFiresAboutItsPeriodLaterOnTheManagerThread) {
    Waiter waiter;
    VTimer timer(&waiter, 100, false, "once");
    int64_t started = Vorn::systemMillis();
    timer.start();
    ASSERT_TRUE(waiter.waitForFirings(1));
    EXPECT_GE(waiter.firedAt[0] - started, 99);
    EXPECT_LT(waiter.firedAt[0] - started, 1500);
    EXPECT_TRUE(waiter.onManagerThread);
    EXPECT_TRUE(waitUntil([&] { return !timer.isActive(); }));
    Vorn::sleepMillis(150);
    EXPECT_EQ(waiter.firings(), 1u);
}

TEST_F(VTimerThreads, ManagerThreadEndsWhenIdleAndStartsAgainForTheNextTimer) {
    VTimerManager* manager = VTimerManager::instance();
    for (int round = 0; round < 3; ++round) {
        Waiter waiter;
        VTimer timer(&waiter, 20, false, "round");
        timer.start();
        EXPECT_TRUE(manager->isRunning());
        ASSERT_TRUE(waiter.waitForFirings(1)) << round;
        EXPECT_TRUE(waitUntil([&] { return !manager->isRunning(); })) << round;
    }
}

TEST_F(VTimerThreads, TimersStartedFromManyThreadsAllFire) {
    Waiter waiter;
    std::vector<std::unique_ptr<VTimer>> timers;
    for (int i = 0; i < 40; ++i)
        timers.push_back(std::make_unique<VTimer>(&waiter, 5 + i % 7, false, "many"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&timers, t] {
            for (size_t i = t; i < timers.size(); i += 4)
                timers[i]->start();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_TRUE(waiter.waitForFirings(timers.size()));
}

TEST_F(VTimerThreads, DestroyingAnIdleOrArmedTimerReturnsAtOnce) {
    Waiter waiter;
    EXPECT_LT(millisToRun([&] { VTimer idle(&waiter, 10, false, "idle"); }), 100);

    Waiter keepAlive; // keeps the manager thread busy with another timer meanwhile
    VTimer other(&keepAlive, 5, true, "other");
    other.start();
    auto armed = std::make_unique<VTimer>(&waiter, 1000, false, "armed");
    armed->start();
    EXPECT_LT(millisToRun([&] { armed.reset(); }), 400);
    ASSERT_TRUE(keepAlive.waitForFirings(3));
    EXPECT_EQ(waiter.firings(), 0u);
    std::lock_guard<std::mutex> guard(messages.mutex);
    EXPECT_TRUE(messages.received.empty());
}

// The manager is inside the callback, so the handshake cannot succeed: the destructor gives up
// after about 500 ms, reports, and the manager must not touch the freed timer afterwards.
TEST_F(VTimerThreads, TimerDestroyedInsideItsOwnCallbackWaitsReportsAndIsForgotten) {
    Waiter waiter;
    auto timer = std::make_unique<VTimer>(&waiter, 10, true, "self");
    std::atomic<int64_t> destroyMillis{-1};
    waiter.action = [&](VTimer*) { destroyMillis = millisToRun([&] { timer.reset(); }); };
    timer->start();
    ASSERT_TRUE(waiter.waitForFirings(1));
    Vorn::sleepMillis(50); // a repeating timer would fire again by now if still listed

    EXPECT_EQ(waiter.firings(), 1u);
    EXPECT_GE(destroyMillis.load(), 450);
    EXPECT_LT(destroyMillis.load(), 2000);
    std::lock_guard<std::mutex> guard(messages.mutex);
    EXPECT_EQ(
        messages.received,
        (std::vector<std::string>{"0 VTimer 'self': could not remove itself from VTimerManager."}));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(
        lines[0].find(": ERROR: VTimer 'self': could not remove itself from VTimerManager.\n"),
        std::string::npos)
        << lines[0];
}

// Destroyed on another thread while a slow callback runs: after the failed handshake the
// destructor returns while the callback is still running, and the manager forgets the timer.
TEST_F(VTimerThreads, TimerDestroyedDuringASlowCallbackOnAnotherThreadIsForgotten) {
    Waiter waiter;
    std::atomic<bool> inCallback{false};
    waiter.action = [&](VTimer*) {
        inCallback = true;
        Vorn::sleepMillis(800);
    };
    auto timer = std::make_unique<VTimer>(&waiter, 10, true, "slow");
    timer->start();
    ASSERT_TRUE(waitUntil([&] { return inCallback.load(); }));
    int64_t took = millisToRun([&] { timer.reset(); });
    EXPECT_GE(took, 450);
    EXPECT_LT(took, 800);
    ASSERT_TRUE(waiter.waitForFirings(1));
    Vorn::sleepMillis(100);
    EXPECT_EQ(waiter.firings(), 1u);
    std::lock_guard<std::mutex> guard(messages.mutex);
    EXPECT_EQ(messages.received.size(), 1u);
}

TEST_F(VTimerThreads, RepeatingTimerKeepsFiringUntilStopped) {
    Waiter waiter;
    VTimer timer(&waiter, 10, true, "tick");
    timer.start();
    ASSERT_TRUE(waiter.waitForFirings(5));
    timer.stop();
    Vorn::sleepMillis(30); // a firing in progress may still finish
    size_t afterStop = waiter.firings();
    Vorn::sleepMillis(100);
    EXPECT_EQ(waiter.firings(), afterStop);
    EXPECT_TRUE(waitUntil([] { return !VTimerManager::instance()->isRunning(); }));
}

} // namespace
