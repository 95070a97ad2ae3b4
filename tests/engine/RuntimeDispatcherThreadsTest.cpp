#include "RuntimeDispatcherTestSupport.h"

#include "engine/TPresetHandler.h"
#include "engine/TTransList.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace DispatcherTest;
using Tr::TRuntimeDispatcherImpl;

namespace {

// Waits (generously) until done() holds; returns whether it did.
template <class Done> bool waitFor(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        Vorn::sleepMillis(1);
    }
    return true;
}

// The dispatcher in threaded drive, created by each test once the clock is chosen. Posted
// locals carry (posting thread, sequence number).
class RuntimeDispatcherThreadsTest : public ::testing::Test {
protected:
    ~RuntimeDispatcherThreadsTest() override {
        dispatcher_.reset();
        Vorn::useClock(nullptr);
    }

    void start() {
        dispatcher_.emplace(&globals_, &processor_, TRuntimeDispatcherImpl::Drive::Threaded);
        log_.dispatcher = &*dispatcher_;
        processor_.dispatcher = &*dispatcher_;
    }
    Tr::TTransMsg* addTranslator(int id) {
        translators_.push_back(makeTranslatorWith(std::make_unique<RecordingAction>(log_, id)));
        return translators_.back().get();
    }
    void post(Tr::TTransMsg* translator, int thread, int sequence, int delayMillis) {
        int32_t locals[Tr::kLocalVariableCount] = {thread, sequence};
        dispatcher_->postOutgoing(contextFor(globals_, translator, locals), delayMillis);
    }

    Platform::ManualClock clock_{1000}; // used by the tests that choose it
    Tr::TGlobalTranslateParams globals_;
    ExecutionLog log_;
    RecordingProcessor processor_;
    std::vector<Tr::TTransMsgPtr> translators_;
    std::optional<TRuntimeDispatcherImpl> dispatcher_;
};

TEST_F(RuntimeDispatcherThreadsTest, WorkPostedFromSeveralThreadsRunsOnceEachInPostingOrder) {
    constexpr int kPosters = 3;
    constexpr int kPerThread = 1000;
    ErrorCapture errors;
    start();
    Tr::TTransMsg* shared = addTranslator(1); // retained and released by every thread
    std::vector<std::thread> threads;
    // Kept below the immediate pool's size, so that nothing is refused.
    auto pace = [&] {
        while (dispatcher_->pendingImmediate() > TRuntimeDispatcherImpl::kImmediatePoolSize / 2)
            std::this_thread::yield();
    };
    for (int t = 0; t < kPosters; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                pace();
                post(shared, t, i, 0);
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < kPerThread; ++i) {
            pace();
            const uint8_t bytes[] = {0x90, uint8_t(i & 0x7F), uint8_t(i >> 7)};
            Tr::TTransEvent event;
            event.clear();
            event.type = Tr::kTypeTimer;
            event.key = i;
            event.data = bytes;
            event.dataLength = 3;
            dispatcher_->postIncoming(event);
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(waitFor([&] {
        return log_.size() == size_t(kPosters * kPerThread) &&
               processor_.events().size() == size_t(kPerThread);
    }));

    std::vector<int> next(kPosters, 0);
    for (const Execution& run : log_.executions()) {
        ASSERT_TRUE(run.onDispatcherThread);
        EXPECT_EQ(run.locals[1], next[static_cast<size_t>(run.locals[0])]++);
    }
    const std::vector<ProcessedEvent> events = processor_.events();
    for (int i = 0; i < kPerThread; ++i) {
        const ProcessedEvent& event = events[static_cast<size_t>(i)];
        ASSERT_EQ(event.key, i);
        EXPECT_TRUE(event.onDispatcherThread);
        EXPECT_EQ(event.data, (std::vector<uint8_t>{0x90, uint8_t(i & 0x7F), uint8_t(i >> 7)}));
    }
    EXPECT_TRUE(errors.messages().empty());
    EXPECT_TRUE(waitFor([&] { return shared->referenceCount() == 0; }));
}

TEST_F(RuntimeDispatcherThreadsTest, EqualTimeDelayedWorkFromSeveralThreadsRunsInPostingOrder) {
    constexpr int kPosters = 3;
    constexpr int kPerThread = 100;
    Vorn::useClock(&clock_);
    start();
    Tr::TTransMsg* translator = addTranslator(1);
    // The test's lock makes the posting order known: local pp numbers all posts in that order.
    std::mutex order;
    int posted = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kPosters; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                std::lock_guard hold(order);
                post(translator, t, posted++, 20);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    Vorn::sleepMillis(50); // real time passes; the virtual clock does not
    EXPECT_EQ(log_.size(), 0u);

    clock_.set(1020);
    ASSERT_TRUE(waitFor([&] { return log_.size() == size_t(kPosters * kPerThread); }));
    const std::vector<Execution> runs = log_.executions();
    for (int i = 0; i < kPosters * kPerThread; ++i) {
        ASSERT_EQ(runs[static_cast<size_t>(i)].locals[1], i);
        EXPECT_EQ(runs[static_cast<size_t>(i)].atMillis, 1020);
    }
}

TEST_F(RuntimeDispatcherThreadsTest, QueuedWorkWaitsForAnEditAndNeverSeesADeletedPreset) {
    Tr::TPresetHandler handler(&globals_);
    globals_.setPresetHandler(&handler);
    start();
    std::atomic<bool> ran{false};
    std::atomic<Tr::TTransList*> seenPreset{nullptr};
    Tr::TTransList* preset = handler.addPreset(0);
    Tr::TTransMsg* translator =
        preset->addTranslator(makeTranslatorWith(std::make_unique<RecordingAction>(
            log_, 1, Tr::kTypeKeystroke, Outcome::Succeed, [&](Tr::TTransContext& context) {
                seenPreset.store(context.preset);
                ran.store(true);
            })));

    handler.presetLock().lockWrite(); // an edit in progress
    int32_t locals[Tr::kLocalVariableCount] = {};
    Tr::TTransContext context = contextFor(globals_, translator, locals);
    context.preset = preset;
    dispatcher_->postOutgoing(context, 0);
    Vorn::sleepMillis(50);
    EXPECT_FALSE(ran.load());
    handler.deletePreset(0); // the translator lives on in the queued node
    handler.presetLock().unlockWrite();

    ASSERT_TRUE(waitFor([&] { return ran.load(); }));
    EXPECT_EQ(seenPreset.load(), nullptr);
    dispatcher_.reset(); // before the handler whose lock it takes
}

} // namespace
