#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TPresetHandler.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransContext.h"
#include "engine/TTransEnableAction.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "engine/TTransNoneAction.h"
#include "engine/TTransPresetChangeAction.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"
#include "foundation/VException.h"
#include "platform/fake/ManualClock.h"

#include "FakeActions.h"
#include "ManualEngineTest.h"
#include "VStringPrinter.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using FakeActions::Recorder;
using Tr::TTransAction;
using Tr::TTransEnableAction;
using Tr::TTransList;
using Tr::TTransPresetChangeAction;
using Tr::VarOrNumber;
using Vorn::VString;

std::unique_ptr<TTransAction> parsed(const VString& text, bool incoming, int& consumed) {
    std::unique_ptr<TTransAction> action = Tr::createAction(text, incoming);
    if (!action)
        throw Vorn::VException("no class for the tag");
    consumed = action->fromString(text);
    return action;
}

class SimpleActionsTest : public ::testing::Test {
protected:
    void SetUp() override { Tr::registerEngineActions(); }
};

TEST_F(SimpleActionsTest, StoredFormsReadAndWriteBack) {
    struct Case {
        const char* text;
        int consumed;
        const char* written; // or the exception message when consumed is 0
    };
    const Case cases[] = {
        {"None", 4, "None"},
        {"NoneAndMore", 4, "None"},
        {"none", 0, "corrupt none action"}, // None alone keeps the case of its tag
        {"EnDi00", 6, "EnDi00"},
        {"EnDi01x", 6, "EnDi01"},
        {"EnDi02", 6, "EnDi02"},
        {"ENDI01", 6, "EnDi01"},
        {"EnDi03", 0, "corrupt enable/disable action"},
        {"EnDiFF", 0, "corrupt enable/disable action"},
        {"EnDi0", 0, "corrupt enable/disable action"},
        {"EnDi 1", 0, "corrupt enable/disable action"},
        {"EnDi0g", 0, "corrupt enable/disable action"},
        {"Pres000000", 10, "Pres000000"},
        {"Pres010000tail", 10, "Pres010000"},
        {"Pres020005Alpha", 15, "Pres020005Alpha"},
        {"pRES020005Alpha", 15, "Pres020005Alpha"},
        {"Pres03ga", 8, "Pres03ga"},
        {"Pres040003B C", 13, "Pres040003B C"},
        {"Pres05-1", 8, "Pres05-1"},
        {"Pres050x10", 10, "Pres0516"},
        {"Pres0600000", 10, "Pres060000"},
        {"Pres07Z9", 8, "Pres07z9"},
        {"Pres080003abc", 13, "Pres080000"}, // types without a name write none
        {"Pres090000", 10, "Pres090000"},
        {"Pres05", 0, "corrupt preset change action"},  // shorter than seven
        {"Pres05x", 0, "corrupt preset change action"}, // no number
        {"Pres03  ", 0, "corrupt preset change action"},
        {"Pres0A0000", 0, "corrupt preset change action"}, // type 10
        {"PresG00000", 0, "corrupt preset change action"},
        {"Pres020009abc", 0, "corrupt preset change action"}, // name shorter than its length
        {"Pres04000", 0, "corrupt preset change action"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        for (const bool incoming : {true, false}) {
            // The tag decides the class: read through the class of the correctly spelt tag.
            std::string tag(c.text, 4);
            for (const char* known : {"None", "EnDi", "Pres"})
                if (VString(tag.c_str()).equals(known, true))
                    tag = known;
            std::unique_ptr<TTransAction> action = Tr::createAction(tag.c_str(), incoming);
            ASSERT_NE(action, nullptr);
            if (c.consumed == 0) {
                try {
                    action->fromString(c.text);
                    ADD_FAILURE() << "no exception";
                } catch (const Vorn::VException& e) {
                    EXPECT_EQ(e.message(), c.written);
                }
                continue;
            }
            EXPECT_EQ(action->fromString(c.text), c.consumed);
            const VString written = action->toString();
            EXPECT_EQ(written, c.written);
            int consumed = 0;
            EXPECT_EQ(parsed(written, incoming, consumed)->toString(), written);
            EXPECT_EQ(consumed, written.length());
        }
    }
}

TEST_F(SimpleActionsTest, OperationResultsAndDescriptions) {
    struct Case {
        const char* text;
        int type, level;
        const char* outgoing;
        const char* incoming;
    };
    const Case cases[] = {
        {"Pres000000", 5, 3, "activate only next preset", "activate only next preset"},
        {"Pres010000", 5, 3, "activate only previous preset", "activate only previous preset"},
        {"Pres020003Two", 5, 3, "activate only preset \"Two\"", "activate only preset \"Two\""},
        {"Pres03ga", 5, 3, "activate only preset number ga", "activate only preset number ga"},
        {"Pres040003Two", 5, 3, "activate preset \"Two\"", "activate preset \"Two\""},
        {"Pres052", 5, 3, "activate preset number 2", "activate preset number 2"},
        {"Pres060003Two", 5, 3, "deactivate preset \"Two\"", "deactivate preset \"Two\""},
        {"Pres07-4", 5, 3, "deactivate preset number -4", "deactivate preset number -4"},
        {"Pres080000", 5, 3, "activate this preset", "on activation of this preset"},
        {"Pres090000", 5, 3, "deactivate this preset", "on deactivation this preset"},
        {"EnDi00", 6, 0, "Disable Processing", "Disable Processing"},
        {"EnDi01", 6, 0, "Enable Processing", "Enable Processing"},
        {"EnDi02", 6, 0, "Project Opened", "Project Opened"},
        {"None", 7, 0, "(none)", "(none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        for (const bool incoming : {true, false}) {
            int consumed = 0;
            std::unique_ptr<TTransAction> action = parsed(c.text, incoming, consumed);
            EXPECT_EQ(action->getDescription(), incoming ? c.incoming : c.outgoing);
            EXPECT_EQ(action->getType(), c.type);
            EXPECT_EQ(action->getExecutionLevel(), c.level);
            EXPECT_EQ(action->getCapabilities(), 3);
        }
    }
}

TEST_F(SimpleActionsTest, CloneAndAssignCopyTheContent) {
    TTransPresetChangeAction change(false);
    change.fromString("Pres05ga");
    change.setPresetName("kept");
    change.setDelay(Tr::kDelaySeconds, VarOrNumber::number(3));
    std::unique_ptr<TTransAction> copy = change.clone();
    auto* changeCopy = dynamic_cast<TTransPresetChangeAction*>(copy.get());
    ASSERT_NE(changeCopy, nullptr);
    EXPECT_FALSE(changeCopy->isIncoming());
    EXPECT_EQ(changeCopy->changeType(), 5);
    EXPECT_EQ(changeCopy->presetNumber(), VarOrNumber::variable(10));
    EXPECT_EQ(changeCopy->presetName(), "kept");
    EXPECT_EQ(changeCopy->delayUnit(), Tr::kDelaySeconds);
    EXPECT_EQ(changeCopy->getDescriptionWithDelay(), "activate preset number ga, delay:3 seconds");

    TTransEnableAction enable(true);
    enable.fromString("EnDi02");
    copy = enable.clone();
    ASSERT_NE(dynamic_cast<TTransEnableAction*>(copy.get()), nullptr);
    EXPECT_TRUE(copy->isIncoming());
    EXPECT_EQ(copy->toString(), "EnDi02");
    enable.assign(change); // another class: nothing changes
    EXPECT_EQ(enable.mode(), 2);
    change.assign(enable);
    EXPECT_EQ(change.toString(), "Pres05ga");
    TTransEnableAction other(false);
    other.assign(enable);
    EXPECT_EQ(other.mode(), 2);

    Tr::TTransNoneAction none(true);
    copy = none.clone();
    ASSERT_NE(dynamic_cast<Tr::TTransNoneAction*>(copy.get()), nullptr);
    EXPECT_TRUE(copy->isIncoming());
}

TEST_F(SimpleActionsTest, EnableActionRefusesToRunAsProjectOpened) {
    Tr::TGlobalTranslateParams globals;
    int32_t locals[Tr::kLocalVariableCount] = {};
    Tr::TTransContext context{&globals, 0, nullptr, 0, nullptr, locals};
    TTransEnableAction action(false);
    action.fromString("EnDi02");
    try {
        action.execute(context);
        ADD_FAILURE() << "no exception";
    } catch (const Vorn::VException& e) {
        EXPECT_EQ(e.message(), "Wrong type for Outgoing TTransEnableAction");
    }
    EXPECT_EQ(globals.processingEnabled(), 1);
}

TEST_F(SimpleActionsTest, PresetChangeWithoutReceiverDoesNothing) {
    Tr::TGlobalTranslateParams globals;
    int32_t locals[Tr::kLocalVariableCount] = {};
    Tr::TTransContext context{&globals, 0, nullptr, 0, nullptr, locals};
    TTransPresetChangeAction action(false);
    action.fromString("Pres000000");
    EXPECT_FALSE(action.execute(context));
}

// Every log line with its kind ('M', 'I', 'O') and first value.
class LogLines : public Tr::TLogListener {
public:
    void logMessage(const VString& text) override { add('M', text, 0); }
    void logIncoming(const VString& text, int value, int, int) override { add('I', text, value); }
    void logOutgoing(const VString& text, int value, int, int) override { add('O', text, value); }
    void logRule(const VString&, int, int, int) override {}
    // The lines of one kind.
    std::vector<std::string> of(char kind) const {
        std::vector<std::string> result;
        for (const auto& [k, text, value] : lines)
            if (k == kind)
                result.push_back(text);
        return result;
    }
    std::vector<std::tuple<char, std::string, int>> lines;

private:
    void add(char kind, const VString& text, int value) {
        lines.emplace_back(kind, text.c_str(), value);
    }
};

// Three presets, "Zero" and "One" active, "Two" inactive, on a manually driven engine.
class SimpleActionsEngineTest : public ManualEngineTest {
protected:
    SimpleActionsEngineTest() {
        for (const char* name : {"Zero", "One", "Two"}) {
            TTransList* added = preset();
            added->setName(name);
            presets.push_back(added);
        }
        presets[2]->setActive(false);
        Recorder::instance().clear();
        engine->globals().setLogListener(&log);
    }
    ~SimpleActionsEngineTest() override { engine->globals().setLogListener(nullptr); }

    void add(int preset, const VString& in, const VString& out) {
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build("t", in, out, "", nullptr);
        presets[static_cast<size_t>(preset)]->addTranslator(std::move(t));
    }
    // A fake event of type 1 with key, then whatever it queued.
    uint32_t trigger(int key) {
        Tr::TTransEvent event;
        event.clear();
        event.type = Tr::kTypeMidi;
        event.key = key;
        uint32_t flags = 0;
        engine->processEvent(event, flags);
        engine->dispatcher().runDue();
        return flags;
    }
    std::vector<bool> active() const {
        std::vector<bool> result;
        for (const TTransList* preset : presets)
            result.push_back(preset->isActive());
        return result;
    }
    void setLogging(int kind) { engine->globals().setLogSwitch(kind, 1); }
    std::vector<int> ids() { return Recorder::instance().ids(); }

    LogLines log;
    std::vector<TTransList*> presets;
};

TEST_F(SimpleActionsEngineTest, ActivationOfThisPresetFiresOnlyForItsOwnPreset) {
    add(2, "Pres080000", FakeActions::outgoing(1));
    add(1, "Pres090000", FakeActions::outgoing(2));
    setLogging(Tr::TGlobalTranslateParams::kLogIncoming);

    presets[0]->setActive(false);
    presets[0]->setActive(true);
    EXPECT_TRUE(ids().empty());
    presets[2]->setActive(true);
    EXPECT_EQ(ids(), std::vector<int>{1});
    // The deactivated preset still sees its own deactivation, and only its own.
    presets[2]->setActive(false);
    presets[1]->setActive(false);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
    EXPECT_EQ(log.of('I'), (std::vector<std::string>{"on activation of this preset (Two)",
                                                     "on deactivation this preset (One)"}));
}

TEST_F(SimpleActionsEngineTest, PresetByNameAndNumberMatchTheirActivation) {
    add(0, "Pres040003Two", FakeActions::outgoing(4));
    add(0, "Pres060003Two", FakeActions::outgoing(6));
    add(0, "Pres05ga", FakeActions::outgoing(5));
    add(0, "Pres0701", FakeActions::outgoing(7));
    add(0, "Pres000000", FakeActions::outgoing(9)); // never matches
    engine->globals().setGlobalVariable(0, 2);

    presets[2]->setActive(true);
    presets[2]->setActive(false);
    presets[1]->setActive(false);
    EXPECT_EQ(ids(), (std::vector<int>{4, 5, 6, 7}));
}

TEST_F(SimpleActionsEngineTest, PresetNumberFromAVariableActivatesThatIndex) {
    add(0, FakeActions::incoming(1, 1), "Pres05ga");
    add(2, "Pres080000", FakeActions::outgoing(1));
    setLogging(Tr::TGlobalTranslateParams::kLogMessages);
    setLogging(Tr::TGlobalTranslateParams::kLogOutgoing);
    struct Case {
        int ga;
        std::vector<bool> active;
        const char* message;
    };
    const Case cases[] = {
        {2, {true, true, true}, "Activated preset: Two"},
        {3, {true, true, true}, "Cannot find preset with index 3"},
        {-1, {true, true, true}, "Cannot find preset with index -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ga);
        log.lines.clear();
        engine->globals().setGlobalVariable(0, c.ga);
        trigger(1);
        EXPECT_EQ(active(), c.active);
        EXPECT_EQ(log.of('M'), std::vector<std::string>{c.message});
        EXPECT_EQ(log.of('O'), std::vector<std::string>{"activate preset number ga"});
        EXPECT_EQ(std::get<2>(log.lines.front()), Tr::kTypePresetChange);
    }
    // The activation it caused was matched on the dispatcher's thread.
    const auto executions = Recorder::instance().executions();
    ASSERT_EQ(executions.size(), 1u);
    EXPECT_TRUE(executions[0].onDispatcher);
    EXPECT_EQ(executions[0].locals[1], 2); // pp: the preset's index
}

TEST_F(SimpleActionsEngineTest, ThisPresetRequestsSwitchTheOwningPreset) {
    add(1, FakeActions::incoming(1, 1), "Pres090000");
    // A preset that switches itself back on whenever it is switched off.
    add(2, "Pres090000", "Pres080000");
    presets[2]->setActive(true);

    trigger(1);
    EXPECT_EQ(active(), (std::vector<bool>{true, false, true}));
    presets[2]->setActive(false);
    EXPECT_EQ(active(), (std::vector<bool>{true, false, false}));
    engine->dispatcher().runDue();
    EXPECT_EQ(active(), (std::vector<bool>{true, false, true}));
}

TEST_F(SimpleActionsEngineTest, EnableActionSwitchesProcessingAndBackWhileOff) {
    add(0, FakeActions::incoming(1, 1), "EnDi00");
    add(0, FakeActions::incoming(1, 2), FakeActions::outgoing(5)); // skipped while off
    add(0, FakeActions::incoming(1, 2), "EnDi01");
    setLogging(Tr::TGlobalTranslateParams::kLogOutgoing);

    trigger(1);
    EXPECT_EQ(engine->globals().processingEnabled(), 0);
    const uint32_t flags = trigger(2);
    EXPECT_EQ(engine->globals().processingEnabled(), 1);
    EXPECT_TRUE(flags & Tr::kActivityOtherOut);
    EXPECT_TRUE(ids().empty());
    trigger(2);
    EXPECT_EQ(ids(), std::vector<int>{5});
    EXPECT_EQ(log.of('O'), (std::vector<std::string>{"disabled processing", "enabled processing",
                                                     "enabled processing"}));
    EXPECT_EQ(std::get<2>(log.lines.front()), Tr::kTypeEnable);
}

TEST_F(SimpleActionsEngineTest, ProcessingAndProjectEventsReachEnableTriggers) {
    add(1, "EnDi00", "EnDi01"); // processing may not stay off
    add(1, "EnDi01", FakeActions::outgoing(11));
    add(1, "EnDi02", FakeActions::outgoing(12));
    setLogging(Tr::TGlobalTranslateParams::kLogIncoming);

    engine->globals().setProcessingEnabled(0);
    EXPECT_EQ(engine->globals().processingEnabled(), 0);
    engine->dispatcher().runDue();
    EXPECT_EQ(engine->globals().processingEnabled(), 1);
    EXPECT_EQ(ids(), std::vector<int>{11});
    engine->presetHandler().notifyProjectOpened();
    engine->dispatcher().runDue();
    EXPECT_EQ(ids(), (std::vector<int>{11, 12}));
    EXPECT_EQ(log.of('I'), (std::vector<std::string>{"Disable Processing", "Enable Processing",
                                                     "Project Opened"}));
}

TEST_F(SimpleActionsEngineTest, NoneNeverMatchesAndExecutesWithoutActivity) {
    add(0, "None", FakeActions::outgoing(1));
    add(0, FakeActions::incoming(1, 1), "None");
    for (const int key : {0, 1, 2}) {
        Tr::TTransEvent event;
        event.clear();
        event.type = Tr::kTypeNone;
        event.key = key;
        uint32_t flags = 0;
        engine->processEvent(event, flags);
        EXPECT_EQ(flags, 0u);
    }
    EXPECT_EQ(engine->globals().stats().matched(), 0);
    EXPECT_EQ(trigger(1), Tr::kActivityMatched | Tr::kActivityMidiIn);
    EXPECT_EQ(engine->globals().stats().outgoing(), 1);
    EXPECT_TRUE(ids().empty());
}

} // namespace

TEST_F(SimpleActionsEngineTest, AnInlineActionThatThrowsIsReportedAndTheWalkGoesOn) {
    add(0, FakeActions::incoming(1, 1), "EnDi02");
    add(1, FakeActions::incoming(1, 1), FakeActions::outgoing(7));
    Vorn::ErrorMessageCollector errors;
    Vorn::addErrorCallback(&errors);
    EXPECT_NO_THROW(trigger(1));
    Vorn::removeErrorCallback(&errors);
    ASSERT_EQ(errors.messages().count(), 1);
    EXPECT_STREQ(errors.messages().get(0).c_str(),
                 "ERROR: Wrong type for Outgoing TTransEnableAction");
    EXPECT_EQ(ids(), std::vector<int>{7});
    EXPECT_EQ(engine->globals().stats().outgoing(), 2);
}
