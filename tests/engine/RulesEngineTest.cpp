// Rules as the engine runs them: between a matching incoming action and the outgoing action.
#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "engine/TTransStepMath.h"
#include "engine/Variables.h"
#include "foundation/SystemClock.h"
#include "foundation/VStringList.h"
#include "platform/fake/ManualClock.h"

#include "FakeActions.h"
#include "ManualEngineTest.h"

#include <gtest/gtest.h>

namespace {

using FakeActions::Recorder;
using Tr::TTransEngine;
using Tr::TTransList;
using Vorn::VString;

class RulesEngineTest : public ManualEngineTest {
protected:
    // A translator on MIDI events of the given key (the key lands in rr) with these rules.
    void add(TTransList* target, int key, const VString& out, const char* rules,
             const VString& options = "") {
        Tr::TTransStepMath program;
        Vorn::VStringList errors;
        ASSERT_TRUE(program.parseCode(rules, errors)) << rules;
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build("t", FakeActions::incoming(1, key), out, options + program.toStored(), nullptr);
        ASSERT_TRUE(t->hasRules());
        target->addTranslator(std::move(t));
    }
    int32_t global(const char* name) {
        return engine->globals().getVariable(Tr::variableIndex(name[0], name[1]), nullptr);
    }
};

TEST_F(RulesEngineTest, ExitSkippingTheOutgoingActionCountsAsNoMatch) {
    struct Case {
        const char* rules;
        bool swallowed;
        std::vector<int> executed;
        int32_t laterTranslatorRan; // ga, counted by the translator after the stopping one
        bool matched;
    };
    const Case cases[] = {
        {"if rr==1 then exit rules, skip Outgoing Action", false, {}, 1, false},
        // the same translator when its rules let it through: it swallows and stops the walk
        {"if rr==2 then exit rules, skip Outgoing Action", true, {1}, 0, true},
        {"exit rules, execute Outgoing Action\nexit rules, skip Outgoing Action",
         true,
         {1},
         0,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rules);
        engine->reset();
        engine->presetHandler().clearPresets();
        Recorder::instance().clear();
        activity.flags.clear();
        add(preset(), 1, FakeActions::outgoing(1), c.rules, "Stop01OutO00");
        add(preset(), 1, FakeActions::outgoing(2), "ga=ga+1\nexit rules, skip Outgoing Action");

        const uint8_t noteOn[3] = {0x90, 60, 100};
        bool swallowed = false;
        engine->midiData(1, 0, noteOn, 3, swallowed);
        EXPECT_EQ(swallowed, c.swallowed);
        EXPECT_EQ(Recorder::instance().ids(), c.executed);
        EXPECT_EQ(global("ga"), c.laterTranslatorRan);
        EXPECT_EQ((activity.all() & Tr::kActivityMatched) != 0, c.matched);
    }
}

TEST_F(RulesEngineTest, GlobalSetByOneTranslatorIsSeenByALaterPreset) {
    add(preset(), 5, "", "ga=rr*10");
    add(preset(), 5, FakeActions::outgoing(7), "pp=ga+1\nga=0-ga");
    uint32_t flags = 0;
    Tr::TTransEvent event;
    event.clear();
    event.type = 1;
    event.key = 5;
    engine->processEvent(event, flags);
    const std::vector<FakeActions::Execution> executions = Recorder::instance().executions();
    ASSERT_EQ(executions.size(), 1u);
    EXPECT_EQ(executions[0].locals[1], 51); // pp, as the outgoing action sees it
    EXPECT_EQ(global("ga"), -50);           // and the globals outlive the event
}

} // namespace
