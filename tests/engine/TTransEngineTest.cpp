#include "engine/TTransEngine.h"
#include "engine/TPresetHandler.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

#include "FakeActions.h"
#include "ManualEngineTest.h"

#include <gtest/gtest.h>

namespace {

using FakeActions::Recorder;
using Tr::TTransEngine;
using Tr::TTransList;
using Vorn::VString;

class TTransEngineTest : public ManualEngineTest {
protected:
    Tr::TTransMsg* add(TTransList* target, const VString& in, const VString& out,
                       const VString& options = "") {
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build("t", in, out, options, nullptr);
        return target->addTranslator(std::move(t));
    }
    static Tr::TTransEvent event(int type, int key, int level = 0) {
        Tr::TTransEvent result;
        result.clear();
        result.type = type;
        result.key = key;
        result.level = level;
        return result;
    }
    uint32_t process(Tr::TTransEvent e) {
        uint32_t flags = 0;
        engine->processEvent(e, flags);
        return flags;
    }
    std::vector<int> ids() { return Recorder::instance().ids(); }
};

TEST_F(TTransEngineTest, StopEndsTheWalkOnlyWhenItsTranslatorMatches) {
    TTransList* first = preset();
    add(first, FakeActions::incoming(1, 2), FakeActions::outgoing(9), "Stop01");
    add(first, FakeActions::incoming(1, 1), FakeActions::outgoing(1));
    add(first, FakeActions::incoming(1, 1), FakeActions::outgoing(2), "Stop01");
    add(first, FakeActions::incoming(1, 1), FakeActions::outgoing(3));
    TTransList* second = preset();
    add(second, FakeActions::incoming(1, 1), FakeActions::outgoing(4));
    add(second, FakeActions::incoming(1, 3), FakeActions::outgoing(5));

    EXPECT_EQ(process(event(1, 1)),
              Tr::kActivityMatched | Tr::kActivityMidiIn | Tr::kActivityMidiOut);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
    Recorder::instance().clear();
    process(event(1, 3)); // the later preset still sees what the stopping translator ignores
    EXPECT_EQ(ids(), std::vector<int>{5});
    EXPECT_EQ(process(event(1, 4)), Tr::kActivityMidiIn);
}

TEST_F(TTransEngineTest, LastMatchingTranslatorDecidesSwallowing) {
    struct Case {
        const char* firstOptions;
        const char* secondOptions;
        int key;
        bool swallowedBefore;
        bool swallowedAfter;
    };
    const Case cases[] = {
        {"OutO01", "OutO00", 1, false, true},
        {"OutO00", "OutO01", 1, true, false},
        {"OutO00", "OutO00", 9, false, false}, // nothing matched: unchanged
        {"OutO00", "OutO00", 9, true, true},
        // rules that skip the outgoing action would also leave it alone; a disabled one does
        {"OutO00", "Actv00OutO01", 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.secondOptions);
        engine->presetHandler().clearPresets();
        TTransList* p = preset();
        add(p, FakeActions::incoming(1, 1), "", c.firstOptions);
        add(p, FakeActions::incoming(1, 1), "", c.secondOptions);
        const uint8_t noteOn[3] = {0x90, 60, 100};
        bool swallowed = c.swallowedBefore;
        engine->midiData(c.key, 0, noteOn, 3, swallowed);
        EXPECT_EQ(swallowed, c.swallowedAfter);
    }
}

TEST_F(TTransEngineTest, MidiDataIgnoresEmptyInputAndFlagsRealtimeBytes) {
    const uint8_t clockByte[1] = {0xF8};
    bool swallowed = true;
    engine->midiData(0, 0, nullptr, 3, swallowed);
    engine->midiData(0, 0, clockByte, 0, swallowed);
    EXPECT_EQ(engine->globals().stats().events(), 0);
    EXPECT_TRUE(activity.flags.empty());
    engine->midiData(0, 0, clockByte, 1, swallowed);
    EXPECT_EQ(activity.flags, std::vector<uint32_t>{Tr::kActivityMidiIn | Tr::kActivityMidiClock});
}

TEST_F(TTransEngineTest, DisabledProcessingRunsOnlyEnableActions) {
    TTransList* p = preset();
    add(p, FakeActions::incoming(1, 1), FakeActions::outgoing(1, 0, 1));
    add(p, FakeActions::incoming(1, 1), FakeActions::outgoing(2, 0, 6));
    add(p, FakeActions::incoming(1, 1), FakeActions::outgoing(3, 0, 1));
    engine->globals().setProcessingEnabled(0);
    const uint32_t flags = process(event(1, 1));
    EXPECT_EQ(ids(), std::vector<int>{2});
    EXPECT_TRUE(flags & Tr::kActivityMatched);
    EXPECT_EQ(engine->globals().stats().matched(), 3);
}

TEST_F(TTransEngineTest, DeactivatedPresetSeesItsOwnDeactivationOnly) {
    TTransList* first = preset();
    add(first, FakeActions::incoming(5, 0), FakeActions::outgoing(1));
    TTransList* second = preset(false);
    add(second, FakeActions::incoming(5, 0), FakeActions::outgoing(2));
    TTransList* third = preset();
    add(third, FakeActions::incoming(5, 1), FakeActions::outgoing(3));

    Recorder::instance().clear(); // building the second preset deactivated it
    first->setActive(false);
    const auto executions = Recorder::instance().executions();
    ASSERT_EQ(executions.size(), 1u);
    EXPECT_EQ(executions[0].id, 1);
    EXPECT_EQ(executions[0].locals[1], 0); // pp: the preset's index
    Recorder::instance().clear();
    second->setActive(true);
    EXPECT_EQ(ids(), std::vector<int>{3});
    EXPECT_EQ(Recorder::instance().executions()[0].locals[1], 1);
}

TEST_F(TTransEngineTest, ActionsAboveTheEventLevelRunOnTheDispatcher) {
    struct Case {
        int eventLevel;
        int actionLevel;
        bool inline_;
    };
    const Case cases[] = {{0, 0, true}, {0, 1, false}, {0, 3, false}, {1, 1, true}, {2, 3, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.actionLevel);
        Recorder::instance().clear();
        engine->presetHandler().clearPresets();
        add(preset(), FakeActions::incoming(1, 1), FakeActions::outgoing(7, c.actionLevel));
        process(event(1, 1, c.eventLevel));
        EXPECT_EQ(ids().size(), c.inline_ ? 1u : 0u);
        engine->dispatcher().runDue();
        const auto executions = Recorder::instance().executions();
        ASSERT_EQ(executions.size(), 1u);
        EXPECT_EQ(executions[0].onDispatcher, !c.inline_);
    }
}

TEST_F(TTransEngineTest, DelayedActionSeesTheLocalsOfItsTrigger) {
    TTransList* p = preset();
    add(p, FakeActions::incoming(1, 1), FakeActions::outgoing(1), "Dlay10:Millis");
    add(p, FakeActions::incoming(1, 2), FakeActions::outgoing(2), "Dlayoo:Millis");
    add(p, FakeActions::incoming(1, 3), FakeActions::outgoing(3), "Dlay1:Seconds");
    Tr::TTransEvent first = event(1, 1);
    first.locals[0] = 7;
    process(first);
    Tr::TTransEvent second = event(1, 2);
    second.locals[0] = 25; // also its delay
    process(second);
    process(event(1, 3));
    EXPECT_TRUE(ids().empty());

    clock.advance(9);
    engine->dispatcher().runDue();
    EXPECT_TRUE(ids().empty());
    clock.advance(1);
    engine->dispatcher().runDue();
    clock.advance(15);
    engine->dispatcher().runDue();
    const auto executions = Recorder::instance().executions();
    ASSERT_EQ(executions.size(), 2u);
    EXPECT_EQ(executions[0].locals[0], 7);
    EXPECT_EQ(executions[0].locals[3], 1); // captured by the match
    EXPECT_EQ(executions[1].locals[0], 25);
    clock.advance(975);
    engine->dispatcher().runDue();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
}

TEST_F(TTransEngineTest, EngineNotificationsPostTheirEvents) {
    TTransList* p = preset();
    add(p, FakeActions::incoming(6, 2), FakeActions::outgoing(1));
    add(p, FakeActions::incoming(6, 0), FakeActions::outgoing(2, 0, 6));
    add(p, FakeActions::incoming(6, 1), FakeActions::outgoing(3));
    engine->globals().setGlobalVariable(0, 42);

    engine->presetHandler().notifyProjectOpened();
    EXPECT_EQ(engine->globals().globalVariable(0), 0);
    engine->dispatcher().runDue();
    auto executions = Recorder::instance().executions();
    ASSERT_EQ(executions.size(), 1u);
    EXPECT_EQ(executions[0].locals[0], 1);

    engine->setProcessing(false);
    engine->setProcessing(true);
    engine->dispatcher().runDue();
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
}

TEST_F(TTransEngineTest, PanicSilencesEveryChannelAndPausesOutput) {
    class Output : public Tr::TEngineMidiOutput {
    public:
        void sendToAllOutputs(const uint8_t* data, int length) override {
            sent.emplace_back(data, data + length);
        }
        void setOutputPaused(bool value) override { paused = value; }
        std::vector<std::vector<uint8_t>> sent;
        bool paused = false;
    } output;
    engine->setMidiOutput(&output);
    engine->panic();
    EXPECT_EQ(engine->globals().processingEnabled(), 0);
    ASSERT_EQ(output.sent.size(), 32u);
    EXPECT_EQ(output.sent[0], (std::vector<uint8_t>{0xB0, 120, 0}));
    EXPECT_EQ(output.sent[31], (std::vector<uint8_t>{0xBF, 123, 0}));
    EXPECT_TRUE(output.paused);
    engine->setProcessing(true);
    EXPECT_FALSE(output.paused);
    engine->setMidiOutput(nullptr);
}

TEST_F(TTransEngineTest, TryProcessEventRunsWhenNoOtherThreadWrites) {
    add(preset(), FakeActions::incoming(1, 1), FakeActions::outgoing(1));
    Tr::TTransEvent e = event(1, 1);
    uint32_t flags = 0;
    EXPECT_TRUE(engine->tryProcessEvent(e, flags));
    EXPECT_EQ(ids(), std::vector<int>{1});
    // The writer's own thread may read: the lock is re-entrant for it.
    engine->presetHandler().presetLock().lockWrite();
    EXPECT_TRUE(engine->tryProcessEvent(e, flags));
    engine->presetHandler().presetLock().unlockWrite();
}

} // namespace
