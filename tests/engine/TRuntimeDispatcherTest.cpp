#include "RuntimeDispatcherTestSupport.h"

#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace DispatcherTest;
using Tr::TRuntimeDispatcherImpl;

namespace {

class RuntimeDispatcherTest : public ::testing::Test {
protected:
    RuntimeDispatcherTest() {
        Vorn::useClock(&clock_);
        log_.dispatcher = &dispatcher_;
        processor_.dispatcher = &dispatcher_;
    }
    ~RuntimeDispatcherTest() override { Vorn::useClock(nullptr); }

    Tr::TTransMsg* addTranslator(int id, int type = Tr::kTypeKeystroke,
                                 Outcome outcome = Outcome::Succeed,
                                 RecordingAction::Hook hook = {}) {
        translators_.push_back(makeTranslatorWith(
            std::make_unique<RecordingAction>(log_, id, type, outcome, std::move(hook))));
        return translators_.back().get();
    }
    void post(Tr::TTransMsg* translator, int delayMillis) {
        dispatcher_.postOutgoing(contextFor(globals_, translator, locals_), delayMillis);
    }
    void postEvent(int type, intptr_t key) {
        Tr::TTransEvent event;
        event.clear();
        event.type = type;
        event.key = key;
        dispatcher_.postIncoming(event);
    }
    // Advances the clock to each due time in turn, running what is due there.
    void runUntilIdle() {
        dispatcher_.runDue();
        while (std::optional<int64_t> due = dispatcher_.nextDueMillis()) {
            clock_.set(*due);
            dispatcher_.runDue();
        }
    }

    Platform::ManualClock clock_{1000};
    Tr::TGlobalTranslateParams globals_;
    ExecutionLog log_;
    RecordingProcessor processor_;
    int32_t locals_[Tr::kLocalVariableCount] = {};
    std::vector<Tr::TTransMsgPtr> translators_;
    // Declared last: destroyed first, while the translators it may still hold are alive.
    TRuntimeDispatcherImpl dispatcher_{&globals_, &processor_,
                                       TRuntimeDispatcherImpl::Drive::Manual};
};

TEST_F(RuntimeDispatcherTest, RunsImmediateWorkAtOnceAndDelayedWorkByDueTimeInPostingOrder) {
    struct Post {
        int id;
        int delay;
    };
    const Post posts[] = {{1, 10}, {2, 5}, {3, 10}, {4, 0}, {5, 5}, {6, -3}, {7, 10}};
    for (const Post& p : posts)
        post(addTranslator(p.id), p.delay);

    EXPECT_EQ(dispatcher_.runDue(), 2);
    EXPECT_EQ(log_.ids(), (std::vector<int>{4, 6}));
    ASSERT_EQ(dispatcher_.nextDueMillis(), std::optional<int64_t>(1005));

    clock_.set(1004);
    EXPECT_EQ(dispatcher_.runDue(), 0);
    clock_.set(1005);
    EXPECT_EQ(dispatcher_.runDue(), 2);
    clock_.set(1010);
    EXPECT_EQ(dispatcher_.runDue(), 3);

    EXPECT_EQ(log_.ids(), (std::vector<int>{4, 6, 2, 5, 1, 3, 7}));
    const std::vector<Execution> runs = log_.executions();
    EXPECT_EQ(runs[2].atMillis, 1005);
    EXPECT_EQ(runs[6].atMillis, 1010);
    EXPECT_FALSE(dispatcher_.nextDueMillis().has_value());
}

TEST_F(RuntimeDispatcherTest, WorkPostedByWorkRunsInTheSameMillisecondWhenUndelayed) {
    Tr::TTransMsg* followUp = addTranslator(2);
    Tr::TTransMsg* later = addTranslator(3);
    Tr::TTransMsg* trigger =
        addTranslator(1, Tr::kTypeKeystroke, Outcome::Succeed, [&](Tr::TTransContext& context) {
            dispatcher_.postOutgoing(contextFor(globals_, followUp, context.locals), 0);
            dispatcher_.postOutgoing(contextFor(globals_, later, context.locals), 1);
            postEvent(Tr::kTypeTimer, 9);
        });
    post(trigger, 20);
    clock_.set(1020);
    EXPECT_EQ(dispatcher_.runDue(), 3);
    EXPECT_EQ(log_.ids(), (std::vector<int>{1, 2}));
    ASSERT_EQ(processor_.events().size(), 1u);
    EXPECT_TRUE(processor_.events()[0].onDispatcherThread);
    EXPECT_EQ(dispatcher_.nextDueMillis(), std::optional<int64_t>(1021));
    EXPECT_TRUE(log_.executions()[0].onDispatcherThread);
    EXPECT_FALSE(dispatcher_.isDispatcherThread()); // only while runDue runs
}

TEST_F(RuntimeDispatcherTest, FullImmediatePoolRefusesWithOverflowWhileDelayedWorkStillQueues) {
    ErrorCapture errors;
    Tr::TTransMsg* translator = addTranslator(1);
    for (int i = 0; i < TRuntimeDispatcherImpl::kImmediatePoolSize; ++i)
        post(translator, 0);
    EXPECT_TRUE(errors.messages().empty());
    EXPECT_EQ(dispatcher_.getQueueFillPercent(), 100);

    post(translator, 0);
    postEvent(Tr::kTypeMidi, 1);
    EXPECT_EQ(errors.messages(),
              (std::vector<std::string>{"0:engine queue overflow", "0:engine queue overflow"}));
    EXPECT_EQ(dispatcher_.pendingImmediate(), TRuntimeDispatcherImpl::kImmediatePoolSize);
    // Only queued work holds a reference: the refused posts left none behind.
    EXPECT_EQ(translator->referenceCount(), TRuntimeDispatcherImpl::kImmediatePoolSize);

    for (int i = 0; i < 120; ++i)
        post(translator, 7);
    EXPECT_EQ(dispatcher_.pendingDelayed(), 120);
    EXPECT_EQ(dispatcher_.delayedCapacity(), 150); // grown in blocks of 50
    EXPECT_EQ(errors.messages().size(), 2u);

    runUntilIdle();
    EXPECT_EQ(log_.size(), 520u);
    EXPECT_TRUE(processor_.events().empty());
    EXPECT_EQ(translator->referenceCount(), 0);
}

TEST_F(RuntimeDispatcherTest, QueueFillPercentIsPendingImmediateTimes100Over400) {
    Tr::TTransMsg* translator = addTranslator(1);
    const std::pair<int, int> cases[] = {{0, 0}, {3, 0}, {4, 1}, {300, 75}, {399, 99}, {400, 100}};
    for (const auto& [pending, percent] : cases) {
        while (dispatcher_.pendingImmediate() < pending)
            post(translator, 0);
        EXPECT_EQ(dispatcher_.getQueueFillPercent(), percent) << pending << " pending";
    }
    post(translator, 100); // delayed work is not counted
    EXPECT_EQ(dispatcher_.getQueueFillPercent(), 100);
}

TEST_F(RuntimeDispatcherTest, DelayedActionSeesTheLocalsOfItsTrigger) {
    Tr::TTransMsg* translator = addTranslator(1);
    for (int i = 0; i < Tr::kLocalVariableCount; ++i)
        locals_[i] = 100 + i;
    post(translator, 50);
    post(translator, 0);
    for (int32_t& local : locals_)
        local = -1;

    runUntilIdle();
    const std::vector<Execution> runs = log_.executions();
    ASSERT_EQ(runs.size(), 2u);
    for (const Execution& run : runs) {
        for (int i = 0; i < Tr::kLocalVariableCount; ++i)
            EXPECT_EQ(run.locals[i], 100 + i);
    }
}

TEST_F(RuntimeDispatcherTest, FlushDropsEverythingAndReturnsEveryNodeToItsPool) {
    Tr::TTransMsg* translator = addTranslator(1);
    for (int i = 0; i < 399; ++i)
        post(translator, 0);
    postEvent(Tr::kTypeEnable, 1);
    for (int i = 0; i < 120; ++i)
        post(translator, 1 + i % 7);

    dispatcher_.flush();
    EXPECT_EQ(dispatcher_.pendingImmediate(), 0);
    EXPECT_EQ(dispatcher_.pendingDelayed(), 0);
    EXPECT_EQ(translator->referenceCount(), 0);
    runUntilIdle();
    EXPECT_EQ(log_.size(), 0u);
    EXPECT_TRUE(processor_.events().empty());

    ErrorCapture errors;
    for (int i = 0; i < TRuntimeDispatcherImpl::kImmediatePoolSize; ++i)
        post(translator, 0);
    for (int i = 0; i < 150; ++i)
        post(translator, 3);
    EXPECT_TRUE(errors.messages().empty());
    EXPECT_EQ(dispatcher_.delayedCapacity(), 150); // the flushed nodes were reused
    runUntilIdle();
    EXPECT_EQ(log_.size(), 550u);
}

TEST_F(RuntimeDispatcherTest, CancelEventsMarksOnlyMatchingIncomingNodes) {
    Tr::TTransMsg* translator = addTranslator(1, Tr::kTypeTimer);
    postEvent(Tr::kTypeTimer, 7);
    postEvent(Tr::kTypeTimer, 8);
    post(translator, 0); // an outgoing timer action is not an incoming event
    postEvent(Tr::kTypeMidi, 7);
    postEvent(Tr::kTypeTimer, 7);

    EXPECT_EQ(dispatcher_.cancelEvents(Tr::kTypeTimer, 7), 2);
    EXPECT_EQ(dispatcher_.cancelEvents(Tr::kTypeTimer, 7), 0); // already marked
    EXPECT_EQ(dispatcher_.cancelEvents(Tr::kTypeTimer, 99), 0);

    dispatcher_.runDue();
    std::vector<std::pair<int, intptr_t>> processed;
    for (const ProcessedEvent& event : processor_.events())
        processed.emplace_back(event.type, event.key);
    EXPECT_EQ(processed,
              (std::vector<std::pair<int, intptr_t>>{{Tr::kTypeTimer, 8}, {Tr::kTypeMidi, 7}}));
    EXPECT_EQ(log_.ids(), (std::vector<int>{1}));
}

class CountingVisitor final : public Tr::TRuntimeEventVisitor {
public:
    explicit CountingVisitor(int stopAfter = -1) : stopAfter_(stopAfter) {}
    int visit(Tr::TRuntimeEvent* node, void* argument) override {
        EXPECT_EQ(argument, this);
        visited.push_back(node->kind == Tr::TRuntimeEvent::kIncoming
                              ? static_cast<int>(node->event.key)
                              : -node->context.presetIndex);
        return static_cast<int>(visited.size()) != stopAfter_;
    }
    std::vector<int> visited;

private:
    const int stopAfter_;
};

TEST_F(RuntimeDispatcherTest, VisitorsWalkUncancelledImmediateNodesAndStopOnZero) {
    Tr::TTransMsg* keystroke = addTranslator(1, Tr::kTypeKeystroke);
    Tr::TTransMsg* mouse = addTranslator(2, Tr::kTypeMouse);
    auto postAt = [&](Tr::TTransMsg* translator, int presetIndex, int delay) {
        Tr::TTransContext context = contextFor(globals_, translator, locals_);
        context.presetIndex = presetIndex;
        dispatcher_.postOutgoing(context, delay);
    };
    postEvent(Tr::kTypeTimer, 1);
    postAt(keystroke, 2, 0);
    postEvent(Tr::kTypeMidi, 3);
    postAt(mouse, 4, 0);
    postEvent(Tr::kTypeTimer, 5);
    postAt(keystroke, 6, 0);
    postEvent(Tr::kTypeTimer, 7);
    postAt(keystroke, 8, 10); // delayed: not walked
    dispatcher_.cancelEvents(Tr::kTypeTimer, 5);

    struct Case {
        const char* name;
        std::function<void(CountingVisitor&)> walk;
        int stopAfter;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"incoming timers",
         [&](CountingVisitor& v) { dispatcher_.forEachOfType(&v, 1, Tr::kTypeTimer, &v); },
         -1,
         {1, 7}},
        {"outgoing keystrokes",
         [&](CountingVisitor& v) { dispatcher_.forEachOfType(&v, 0, Tr::kTypeKeystroke, &v); },
         -1,
         {-2, -6}},
        {"outgoing mouse",
         [&](CountingVisitor& v) { dispatcher_.forEachOfType(&v, 0, Tr::kTypeMouse, &v); },
         -1,
         {-4}},
        {"incoming",
         [&](CountingVisitor& v) { dispatcher_.forEachOfKind(&v, 1, &v); },
         -1,
         {1, 3, 7}},
        {"outgoing",
         [&](CountingVisitor& v) { dispatcher_.forEachOfKind(&v, 0, &v); },
         -1,
         {-2, -4, -6}},
        {"all",
         [&](CountingVisitor& v) { dispatcher_.forEachPending(&v, &v); },
         -1,
         {1, -2, 3, -4, -6, 7}},
        {"all, stopped",
         [&](CountingVisitor& v) { dispatcher_.forEachPending(&v, &v); },
         3,
         {1, -2, 3}},
    };
    for (const Case& c : cases) {
        CountingVisitor visitor(c.stopAfter);
        c.walk(visitor);
        EXPECT_EQ(visitor.visited, c.expected) << c.name;
    }
    dispatcher_.forEachPending(nullptr, nullptr);
}

TEST_F(RuntimeDispatcherTest, ExceptionsInWorkAreReportedAndTheNodeIsRecycled) {
    ErrorCapture errors;
    post(addTranslator(1, Tr::kTypeKeystroke, Outcome::ThrowVException), 0);
    post(addTranslator(2, Tr::kTypeKeystroke, Outcome::ThrowStdException), 5);
    post(addTranslator(3, Tr::kTypeKeystroke, Outcome::ThrowInteger), 0);
    Tr::TTransMsg* healthy = addTranslator(4);
    post(healthy, 5);

    runUntilIdle();
    EXPECT_EQ(log_.ids(), (std::vector<int>{1, 3, 2, 4}));
    EXPECT_EQ(errors.messages(),
              (std::vector<std::string>{"0:action failed: port gone",
                                        "0:Unknown in during Outgoing Action processing.",
                                        "0:out of range value"}));
    for (const Tr::TTransMsgPtr& translator : translators_)
        EXPECT_EQ(translator->referenceCount(), 0);
    EXPECT_EQ(dispatcher_.pendingImmediate() + dispatcher_.pendingDelayed(), 0);
}

TEST_F(RuntimeDispatcherTest, OutgoingActivityReachesTheActivityListener) {
    struct Activity final : Tr::TShowEventsListener {
        void addActivity(uint32_t flags) override { words.push_back(flags); }
        std::vector<uint32_t> words;
    } activity;
    globals_.setActivityListener(&activity);
    post(addTranslator(1, Tr::kTypeKeystroke), 0);
    post(addTranslator(2, Tr::kTypeMouse), 0);
    post(addTranslator(3, Tr::kTypeNone), 0); // no bit for type 7
    dispatcher_.runDue();
    globals_.setActivityListener(nullptr);
    EXPECT_EQ(activity.words,
              (std::vector<uint32_t>{Tr::kActivityKeystrokeOut, Tr::kActivityMouseOut}));
}

TEST_F(RuntimeDispatcherTest, TranslatorReleasedByItsOwnerLivesUntilItsQueuedWorkRan) {
    DeletionWatch watch;
    auto action = std::make_unique<RecordingAction>(log_, 1);
    action->addListener(&watch);
    Tr::TTransMsgPtr owned = makeTranslatorWith(std::move(action));
    Tr::TTransMsg* translator = owned.get();
    post(translator, 30);
    post(translator, 0);
    owned.reset(); // an edit deletes the translator while two nodes hold it

    dispatcher_.runDue();
    EXPECT_EQ(watch.deleted.load(), 0);
    clock_.set(1030);
    dispatcher_.runDue();
    EXPECT_EQ(log_.ids(), (std::vector<int>{1, 1}));
    EXPECT_EQ(watch.deleted.load(), 1); // the last node released it

    auto flushed = std::make_unique<RecordingAction>(log_, 2);
    flushed->addListener(&watch);
    owned = makeTranslatorWith(std::move(flushed));
    post(owned.get(), 10);
    owned.reset();
    dispatcher_.flush();
    EXPECT_EQ(watch.deleted.load(), 2);
}

TEST_F(RuntimeDispatcherTest, PostIncomingQueuesOwnCopiesOfTextAndData) {
    char name[] = "Preset A";
    uint8_t bytes[] = {0x90, 0x3C, 0x40};
    Tr::TTransEvent event;
    event.clear();
    event.type = Tr::kTypePresetChange;
    event.key = 1;
    event.text = name;
    event.data = bytes;
    event.dataLength = 3;
    dispatcher_.postIncoming(event);

    event.text = nullptr;
    event.dataLength = 0; // bytes present but not counted: nothing to copy
    dispatcher_.postIncoming(event);

    std::strcpy(name, "changed");
    bytes[0] = 0;
    dispatcher_.runDue();

    const std::vector<ProcessedEvent> events = processor_.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].hasText);
    EXPECT_EQ(events[0].text, "Preset A");
    EXPECT_EQ(events[0].data, (std::vector<uint8_t>{0x90, 0x3C, 0x40}));
    EXPECT_FALSE(events[1].hasText);
    EXPECT_FALSE(events[1].hasData);
}

TEST_F(RuntimeDispatcherTest, PostsAfterStopAreIgnored) {
    Tr::TTransMsg* translator = addTranslator(1);
    dispatcher_.stop();
    post(translator, 0);
    post(translator, 10);
    postEvent(Tr::kTypeMidi, 1);
    EXPECT_EQ(dispatcher_.pendingImmediate() + dispatcher_.pendingDelayed(), 0);
    EXPECT_EQ(translator->referenceCount(), 0);
}

TEST_F(RuntimeDispatcherTest, ContextWithoutTranslatorIsIgnored) {
    ErrorCapture errors;
    dispatcher_.postOutgoing(contextFor(globals_, nullptr, locals_), 0);
    dispatcher_.postOutgoing(contextFor(globals_, nullptr, locals_), 10);
    EXPECT_EQ(dispatcher_.pendingImmediate() + dispatcher_.pendingDelayed(), 0);
    EXPECT_TRUE(errors.messages().empty());
}

TEST_F(RuntimeDispatcherTest, DestructionReleasesPendingWork) {
    DeletionWatch watch;
    {
        TRuntimeDispatcherImpl dispatcher(&globals_, &processor_,
                                          TRuntimeDispatcherImpl::Drive::Manual);
        auto action = std::make_unique<RecordingAction>(log_, 1);
        action->addListener(&watch);
        Tr::TTransMsgPtr owned = makeTranslatorWith(std::move(action));
        dispatcher.postOutgoing(contextFor(globals_, owned.get(), locals_), 0);
        dispatcher.postOutgoing(contextFor(globals_, owned.get(), locals_), 500);
        Tr::TTransEvent event;
        event.clear();
        event.text = "kept until released";
        dispatcher.postIncoming(event);
    }
    EXPECT_EQ(watch.deleted.load(), 1);
    EXPECT_EQ(log_.size(), 0u);
}

} // namespace
