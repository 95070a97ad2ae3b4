#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TEventProcessor.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransAction.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "engine/TTransMsg.h"
#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace {

using Tr::TRuntimeDispatcherImpl;
using SteadyTime = std::chrono::steady_clock::time_point;

// Outgoing, level 3 (the dispatcher's own work): counts its runs and notes the time of the last
// one, published by the count.
class CountingAction final : public Tr::TTransAction {
public:
    CountingAction() : TTransAction(false) {}
    Vorn::VString getDescription() const override { return "counting"; }
    Vorn::VString toString() const override { return "BnDi"; }
    int fromString(const Vorn::VString&) override { return 4; }
    bool execute(Tr::TTransContext&) override {
        lastRun_ = std::chrono::steady_clock::now();
        runs_.fetch_add(1, std::memory_order_release);
        return true;
    }
    int getType() const override { return Tr::kTypeExecuteFile; }
    int getExecutionLevel() const override { return Tr::kLevelDispatcherOnly; }
    int getCapabilities() const override { return Tr::kCapabilityOutgoing; }

    int64_t runs() const { return runs_.load(std::memory_order_acquire); }
    // Valid once runs() has been seen to grow.
    SteadyTime lastRun() const { return lastRun_; }

protected:
    std::unique_ptr<Tr::TTransAction> newInstance() const override {
        return std::make_unique<CountingAction>();
    }

private:
    std::atomic<int64_t> runs_{0};
    SteadyTime lastRun_{};
};

class CountingProcessor final : public Tr::TEventProcessor {
public:
    void processEventAndNotify(Tr::TTransEvent&) override { ++processed; }
    int64_t processed = 0;
};

// A translator whose outgoing action counts, and the context that posts it. The globals know
// a preset handler, whose lock queued work takes as in the engine.
class Work {
public:
    Work() {
        globals_.setPresetHandler(&handler_);
        auto action = std::make_unique<CountingAction>();
        action_ = action.get();
        translator_->setActive(true);
        translator_->setOutgoing(std::move(action));
        context_ = Tr::TTransContext{&globals_, 0, translator_.get(), 0, nullptr, locals_};
    }

    Tr::TGlobalTranslateParams& globals() { return globals_; }
    const Tr::TTransContext& context() const { return context_; }
    const CountingAction& action() const { return *action_; }

private:
    Tr::TGlobalTranslateParams globals_;
    Tr::TPresetHandler handler_{&globals_};
    Tr::TTransMsgPtr translator_ = Tr::makeTranslator();
    CountingAction* action_ = nullptr;
    int32_t locals_[Tr::kLocalVariableCount] = {};
    Tr::TTransContext context_{};
};

void checkRuns(benchmark::State& state, int64_t runs, int64_t expected) {
    state.SetItemsProcessed(expected);
    if (runs != expected)
        state.SkipWithError("work was lost or ran twice");
}

// Manual drive: post an immediate outgoing action, run it.
void BM_PostAndRunImmediate(benchmark::State& state) {
    Work work;
    TRuntimeDispatcherImpl dispatcher(&work.globals(), nullptr,
                                      TRuntimeDispatcherImpl::Drive::Manual);
    for (auto _ : state) {
        dispatcher.postOutgoing(work.context(), 0);
        dispatcher.runDue();
    }
    checkRuns(state, work.action().runs(), state.iterations());
}
BENCHMARK(BM_PostAndRunImmediate);

// Manual drive: post an incoming event (no text or data to copy), run it.
void BM_PostAndRunIncoming(benchmark::State& state) {
    Tr::TGlobalTranslateParams globals;
    CountingProcessor processor;
    TRuntimeDispatcherImpl dispatcher(&globals, &processor, TRuntimeDispatcherImpl::Drive::Manual);
    Tr::TTransEvent event;
    event.clear();
    event.type = Tr::kTypeEnable;
    event.level = Tr::kLevelDispatcher;
    for (auto _ : state) {
        dispatcher.postIncoming(event);
        dispatcher.runDue();
    }
    checkRuns(state, processor.processed, state.iterations());
}
BENCHMARK(BM_PostAndRunIncoming);

// Manual drive on a virtual clock: post a batch of delayed actions (ascending delays, the
// sorted list's longest insertion walk), advance past the last, run them. Per action.
void BM_PostAndRunDelayed(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    Platform::ManualClock clock(1000);
    Vorn::useClock(&clock);
    {
        Work work;
        TRuntimeDispatcherImpl dispatcher(&work.globals(), nullptr,
                                          TRuntimeDispatcherImpl::Drive::Manual);
        for (auto _ : state) {
            for (int i = 1; i <= batch; ++i)
                dispatcher.postOutgoing(work.context(), i);
            clock.advance(batch);
            dispatcher.runDue();
        }
        checkRuns(state, work.action().runs(), state.iterations() * batch);
    }
    Vorn::useClock(nullptr);
}
BENCHMARK(BM_PostAndRunDelayed)->Arg(1)->Arg(10)->Arg(100);

// Threaded drive: from postOutgoing on this thread to the action running on the dispatcher
// thread (a wake-up of a sleeping thread). Manual time: the latency only.
void BM_ThreadedPostToRunLatency(benchmark::State& state) {
    Work work;
    TRuntimeDispatcherImpl dispatcher(&work.globals(), nullptr,
                                      TRuntimeDispatcherImpl::Drive::Threaded);
    for (auto _ : state) {
        const int64_t before = work.action().runs();
        const SteadyTime posted = std::chrono::steady_clock::now();
        dispatcher.postOutgoing(work.context(), 0);
        while (work.action().runs() == before) {
        }
        state.SetIterationTime(
            std::chrono::duration<double>(work.action().lastRun() - posted).count());
    }
    dispatcher.stop();
    checkRuns(state, work.action().runs(), state.iterations());
}
BENCHMARK(BM_ThreadedPostToRunLatency)->UseManualTime();

} // namespace
