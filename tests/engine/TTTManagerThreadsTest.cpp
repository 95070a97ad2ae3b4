#include "engine/ActionTypes.h"
#include "engine/TPresetHandler.h"
#include "engine/TTTManager.h"
#include "engine/TTransContext.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "engine/TTransTimerAction.h"

#include "FakeActions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using FakeActions::Recorder;
using Tr::TTTManager;
using Vorn::VString;
using Clock = std::chrono::steady_clock;

// A threaded engine whose translator for the timer "RT" executes a fake action inline, on the
// timer thread.
class TimerRealTimeTest : public ::testing::Test {
protected:
    TimerRealTimeTest() {
        FakeActions::registerFakes();
        engine = std::make_unique<Tr::TTransEngine>();
        Recorder::instance().clear();
        Recorder::instance().setEngine(engine.get());
        Tr::TTransList* list = engine->presetHandler().addPreset(0);
        list->setActive(true);
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build("t", "Tim0TimT0002RT", FakeActions::outgoing(1), "", nullptr);
        list->addTranslator(std::move(t));
    }
    ~TimerRealTimeTest() override {
        Recorder::instance().setEngine(nullptr);
        engine.reset();
    }

    // Waits up to timeout for count firings; returns the firings seen.
    static size_t waitFor(size_t count, std::chrono::milliseconds timeout) {
        const auto end = Clock::now() + timeout;
        while (Recorder::instance().count() < int64_t(count) && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return static_cast<size_t>(Recorder::instance().count());
    }

    std::unique_ptr<Tr::TTransEngine> engine;
};

TEST_F(TimerRealTimeTest, ATenMillisecondTimerFiresAHundredTimesInAboutASecond) {
    const auto start = Clock::now();
    TTTManager::instance().startNamed("rt", 10, 10, 100, nullptr);
    EXPECT_EQ(waitFor(100, std::chrono::seconds(5)), 100u);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(950));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Recorder::instance().count(), 100);
    EXPECT_FALSE(Recorder::instance().executions()[0].onDispatcher);
}

TEST_F(TimerRealTimeTest, KillStopsAnEndlessTimer) {
    TTTManager::instance().startNamed("RT", 0, 10, 0, nullptr);
    EXPECT_GE(waitFor(5, std::chrono::seconds(5)), 5u);
    TTTManager::instance().killNamed("rt");
    // A tick already counting may still deliver; after that nothing comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const int64_t seen = Recorder::instance().count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Recorder::instance().count(), seen);
    EXPECT_FALSE(TTTManager::instance().nextDueMillis());
}

TEST_F(TimerRealTimeTest, AnImmediateOneShotRunsOnTheDispatcher) {
    Tr::TTransTimerAction action(false);
    action.fromString("Tim0TimS0002RT1:0:0");
    int32_t locals[Tr::kLocalVariableCount] = {};
    Tr::TTransContext context{&engine->globals(), 0, nullptr, 0, nullptr, locals};
    EXPECT_TRUE(action.execute(context));
    ASSERT_EQ(waitFor(1, std::chrono::seconds(5)), 1u);
    EXPECT_TRUE(Recorder::instance().executions()[0].onDispatcher);
}

TEST_F(TimerRealTimeTest, DestroyingTheEngineWhileATimerRunsDeliversNothingMore) {
    TTTManager::instance().startNamed("RT", 0, 1, 0, nullptr);
    EXPECT_GE(waitFor(3, std::chrono::seconds(5)), 3u);
    Recorder::instance().setEngine(nullptr);
    engine.reset();
    const int64_t seen = Recorder::instance().count();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Recorder::instance().count(), seen);
}

} // namespace
