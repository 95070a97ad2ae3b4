#include "foundation/SystemClock.h"
#include "foundation/VThread.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

using TestSupport::waitUntil;

class CountingEndListener : public Vorn::VThread::EndListener {
public:
    void threadEnded(Vorn::VThread* thread) override {
        last = thread;
        ++calls;
    }
    std::atomic<int> calls{0};
    std::atomic<Vorn::VThread*> last{nullptr};
};

// A runner whose body the test supplies; it counts the runs that returned.
class FunctionRunner : public Vorn::VThreadRunner {
public:
    explicit FunctionRunner(std::function<void(Vorn::VThread*)> body) : body_(std::move(body)) {}
    void run(Vorn::VThread* thread) override {
        body_(thread);
        ++returned;
    }
    std::atomic<int> returned{0};

private:
    std::function<void(Vorn::VThread*)> body_;
};

void waitForStop(Vorn::VThread* thread) {
    while (!thread->isStopRequested())
        thread->waitForWake(0);
}

TEST(VThread, CooperativeRunStopsInTimeAndTellsTheListenerOnce) {
    std::atomic<bool> sawItself{false};
    std::atomic<bool> sawInRun{false};
    FunctionRunner runner([&](Vorn::VThread* thread) {
        sawItself = thread->isCurrentThread();
        sawInRun = thread->isInRun();
        waitForStop(thread);
    });
    Vorn::VThread thread("Cooperative", &runner);
    CountingEndListener listener;
    thread.setEndListener(&listener);
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.isRunning());
    EXPECT_TRUE(waitUntil([&] { return thread.isInRun(); }));
    EXPECT_FALSE(thread.isCurrentThread());

    EXPECT_TRUE(thread.stop());
    EXPECT_FALSE(thread.isRunning());
    EXPECT_FALSE(thread.isInRun());
    EXPECT_TRUE(thread.isStopRequested());
    EXPECT_TRUE(sawItself.load());
    EXPECT_TRUE(sawInRun.load());
    EXPECT_TRUE(waitUntil([&] { return listener.calls.load() == 1; }));
    EXPECT_EQ(listener.last.load(), &thread);
    EXPECT_TRUE(thread.stop()) << "a thread that is not running stops at once";
    EXPECT_EQ(listener.calls.load(), 1);
}

TEST(VThread, StopFromInsideOnlyRequestsTheStop) {
    std::atomic<int> stopResult{-1};
    std::atomic<bool> ranOn{false};
    FunctionRunner runner([&](Vorn::VThread* thread) {
        stopResult = thread->stop() ? 1 : 0;
        ranOn = thread->isStopRequested() && thread->isRunning();
    });
    Vorn::VThread thread("Self stopper", &runner);
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(waitUntil([&] { return runner.returned.load() == 1; }));
    EXPECT_EQ(stopResult.load(), 1);
    EXPECT_TRUE(ranOn.load()) << "stop() from inside must not end the run";
    EXPECT_TRUE(thread.stop());
}

TEST(VThread, SubclassRunAndRestartAfterTheEnd) {
    class Counter : public Vorn::VThread {
    public:
        Counter() : VThread("Counter") {}
        ~Counter() override { stop(); }
        void run() override { ++runs; }
        std::atomic<int> runs{0};
    };
    Counter thread;
    CountingEndListener listener;
    thread.setEndListener(&listener);
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(thread.start());
        EXPECT_TRUE(waitUntil([&] { return listener.calls.load() == round; }));
        EXPECT_FALSE(thread.isRunning());
        EXPECT_TRUE(thread.isStopRequested()) << "the end of a run sets the stop request";
        EXPECT_EQ(thread.runs.load(), round);
    }
}

TEST(VThread, IgnoredStopIsAbandonedAfterTwoSecondsAndTheObjectIsReusable) {
    std::atomic<bool> release{false};
    std::atomic<bool> stubborn{true};
    FunctionRunner runner([&](Vorn::VThread* thread) {
        if (stubborn)
            waitUntil([&] { return release.load(); }, 60000);
        else
            waitForStop(thread);
    });
    Vorn::VThread thread("Stubborn", &runner);
    CountingEndListener listener;
    thread.setEndListener(&listener);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(waitUntil([&] { return thread.isInRun(); }));

    const int64_t before = Vorn::systemMillis();
    EXPECT_FALSE(thread.stop());
    const int64_t waited = Vorn::systemMillis() - before;
    EXPECT_GE(waited, 1900);
    EXPECT_LT(waited, 10000);
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(listener.calls.load(), 1);

    // The abandoned run ends later without telling anyone; a new run works as usual.
    stubborn = false;
    release = true;
    ASSERT_TRUE(waitUntil([&] { return runner.returned.load() == 1; }));
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.stop());
    EXPECT_TRUE(waitUntil([&] { return listener.calls.load() == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(listener.calls.load(), 2);
}

TEST(VThread, AbandonedRunOutlivesItsThreadObjectSafely) {
    std::atomic<bool> release{false};
    FunctionRunner runner(
        [&](Vorn::VThread*) { waitUntil([&] { return release.load(); }, 60000); });
    CountingEndListener listener;
    {
        Vorn::VThread thread("Outlived", &runner);
        thread.setEndListener(&listener);
        ASSERT_TRUE(thread.start());
        ASSERT_TRUE(waitUntil([&] { return thread.isInRun(); }));
        thread.requestStop();
        // Destroyed here: the stop gives up after two seconds.
    }
    EXPECT_EQ(listener.calls.load(), 1);
    release = true;
    EXPECT_TRUE(waitUntil([&] { return runner.returned.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(listener.calls.load(), 1);
}

TEST(VThread, StopRequestedLongAgoWaitsOnlyBriefly) {
    std::atomic<bool> release{false};
    FunctionRunner runner(
        [&](Vorn::VThread*) { waitUntil([&] { return release.load(); }, 60000); });
    Vorn::VThread thread("Late stop", &runner);
    ASSERT_TRUE(thread.start());
    thread.requestStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const int64_t before = Vorn::systemMillis();
    EXPECT_FALSE(thread.stop());
    EXPECT_LT(Vorn::systemMillis() - before, 1500);
    release = true;
    EXPECT_TRUE(waitUntil([&] { return runner.returned.load() == 1; }));
}

TEST(VThread, AutoDeleteThreadDeletesItselfAndStopDoesNotWait) {
    struct Tracked : Vorn::VThread {
        Tracked(Vorn::VThreadRunner* runner, std::atomic<bool>& deleted)
            : VThread("Self deleting", runner), deleted_(deleted) {}
        ~Tracked() override { deleted_ = true; }
        std::atomic<bool>& deleted_;
    };
    std::atomic<bool> deleted{false};
    std::atomic<bool> release{false};
    FunctionRunner runner(
        [&](Vorn::VThread*) { waitUntil([&] { return release.load(); }, 60000); });
    CountingEndListener listener;
    auto owned = std::make_unique<Tracked>(&runner, deleted);
    owned->setAutoDelete(true);
    owned->setEndListener(&listener);
    ASSERT_TRUE(owned->start());
    Tracked* thread = owned.release(); // it owns itself from here
    const int64_t before = Vorn::systemMillis();
    EXPECT_TRUE(thread->stop());
    EXPECT_LT(Vorn::systemMillis() - before, 1000);
    EXPECT_FALSE(deleted.load());
    release = true;
    EXPECT_TRUE(waitUntil([&] { return deleted.load(); }));
    EXPECT_EQ(listener.calls.load(), 1);
}

TEST(VThread, PrioritiesAndStackSizeDoNotStopTheThreadFromRunning) {
    for (int priority = 0; priority <= 5; ++priority) {
        FunctionRunner runner([](Vorn::VThread*) {});
        Vorn::VThread thread("Priority", &runner);
        thread.setPriority(priority);
        thread.setStackSize(priority == 5 ? 1 : 256 * 1024); // tiny sizes are raised to the minimum
        ASSERT_TRUE(thread.start());
        EXPECT_TRUE(waitUntil([&] { return runner.returned.load() == 1; })) << priority;
    }
}

} // namespace
