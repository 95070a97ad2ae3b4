#include "engine/TTransTimerAction.h"
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTTManager.h"
#include "engine/TTransContext.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "foundation/VException.h"

#include "FakeActions.h"
#include "ManualEngineTest.h"
#include "VStringPrinter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using FakeActions::Recorder;
using Tr::TTransTimerAction;
using Tr::TTTManager;
using Vorn::VString;

std::unique_ptr<TTransTimerAction> parsed(const VString& text, int& consumed) {
    auto action = std::make_unique<TTransTimerAction>(false);
    consumed = action->fromString(text);
    return action;
}

TEST(TTransTimerActionForms, StoredFormsReadAndWriteBack) {
    struct Case {
        const char* text;
        int consumed; // 0: corrupt
        const char* written;
        const char* description;
    };
    const Case cases[] = {
        {"Tim0TimK0004Beat", 16, "Tim0TimK0004Beat", "Kill timer \"Beat\""},
        {"Tim0TimT0004Beat", 16, "Tim0TimT0004Beat", "On timer \"Beat\""},
        {"Tim0TimS0004Beat0:5:10", 22, "Tim0TimS0004Beat0:5:10",
         "Periodic timer \"Beat\": 10 ms (initial delay: 5 ms)"},
        {"Tim0TimS0004Beat-2:0:10", 23, "Tim0TimS0004Beat-2:0:10",
         "Periodic timer \"Beat\": 10 ms (initial delay: 0 ms)"},
        {"Tim0TimS0004Beat1:250:0", 23, "Tim0TimS0004Beat1:250:0",
         "One-shot timer \"Beat\": 250 ms delay"},
        {"Tim0TimS0004Beat3:oo:pp", 23, "Tim0TimS0004Beat3:oo:pp",
         "Timer 3 times \"Beat\": pp ms (initial delay: oo ms)"},
        {"Tim0TimS0004Beatqq:0:10+rest", 23, "Tim0TimS0004Beatqq:0:10",
         "Timer qq times \"Beat\": 10 ms (initial delay: 0 ms)"},
        // The older form: count, delay and period as four hexadecimal digits.
        {"Tim00004Beat00030010000A", 24, "Tim0TimS0004Beat3:16:10",
         "Timer 3 times \"Beat\": 10 ms (initial delay: 16 ms)"},
        {"Tim0TimK", 0, "", ""},                 // shorter than nine characters
        {"tim0TimK0004Beat", 0, "", ""},         // the tag keeps its case
        {"Tim0TimK0009Beat", 0, "", ""},         // name longer than the text
        {"Tim0TimS0004Beat3:0", 0, "", ""},      // period missing
        {"Tim0TimS0004Beat3;0:1", 0, "", ""},    // no colon
        {"Tim0TimS0004Beatx:0:1", 0, "", ""},    // no value
        {"Tim00004Beat0003001", 0, "", ""},      // older form cut short
        {"Tim00004Beat0003001G000A", 0, "", ""}, // older form, no hexadecimal digit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int consumed = -1;
        if (c.consumed == 0) {
            try {
                parsed(c.text, consumed);
                ADD_FAILURE() << "accepted";
            } catch (const Vorn::VException& e) {
                EXPECT_STREQ(e.what(), "Corrupt timer configuration.");
            }
            continue;
        }
        std::unique_ptr<TTransTimerAction> action = parsed(c.text, consumed);
        EXPECT_EQ(consumed, c.consumed);
        EXPECT_EQ(action->toString(), VString(c.written));
        EXPECT_EQ(action->getDescription(), VString(c.description));
        EXPECT_EQ(action->timerId(), TTTManager::instance().idForName("BEAT", false));
    }
}

TEST(TTransTimerActionForms, NamesDifferingInCaseShareOneIdentifierAndClonesKeepIt) {
    Tr::registerEngineActions();
    TTransTimerAction lower(false);
    lower.setTimerName("metro");
    TTransTimerAction upper(false);
    upper.setTimerName("METRO");
    EXPECT_NE(lower.timerId(), 0);
    EXPECT_EQ(lower.timerId(), upper.timerId());
    TTransTimerAction other(false);
    other.setTimerName("metro2");
    EXPECT_NE(other.timerId(), lower.timerId());

    lower.setTimes(Tr::VarOrNumber::number(4), Tr::VarOrNumber::variable(2),
                   Tr::VarOrNumber::number(7));
    std::unique_ptr<Tr::TTransAction> copy = lower.clone();
    EXPECT_EQ(copy->toString(), lower.toString());
    EXPECT_EQ(static_cast<TTransTimerAction&>(*copy).timerId(), lower.timerId());
}

// A manually driven engine whose translators start, kill and react to timers; the reactions
// record the virtual millisecond they ran at.
class TimerEngineTest : public ManualEngineTest {
protected:
    TimerEngineTest() {
        list = preset();
        TTTManager::instance().killAll();
    }
    ~TimerEngineTest() override { TTTManager::instance().killAll(); }

    static VString field(const std::string& name) {
        return VString::format("%04X%s", static_cast<int>(name.size()), name.c_str());
    }
    // Key key of a fake event starts, kills, ... what out says.
    void on(int key, const VString& out) {
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build("t", FakeActions::incoming(Tr::kTypeMidi, key), out, "", nullptr);
        list->addTranslator(std::move(t));
    }
    // The timer name's firings execute the fake outgoing action id.
    void onTimer(const std::string& name, int id) {
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build("t", VString("Tim0TimT") + field(name), FakeActions::outgoing(id), "", nullptr);
        list->addTranslator(std::move(t));
    }
    void trigger(int key) {
        Tr::TTransEvent event;
        event.clear();
        event.type = Tr::kTypeMidi;
        event.key = key;
        engine->processEventAndNotify(event);
        drive();
    }
    // Runs what is due now in dispatcher and timers until both are idle.
    void drive() {
        while (engine->dispatcher().runDue() + TTTManager::instance().runDue() > 0) {
        }
        record();
    }
    // Moves the clock on one millisecond at a time up to the time given.
    void runUntil(int64_t millis) {
        while (clock.nowMillis() < millis) {
            clock.advance(1);
            drive();
        }
    }
    void record() {
        const size_t count = Recorder::instance().ids().size();
        while (firedAt.size() < count)
            firedAt.push_back(clock.nowMillis());
    }
    void execute(const VString& text) {
        TTransTimerAction action(false);
        action.fromString(text);
        int32_t locals[Tr::kLocalVariableCount] = {};
        Tr::TTransContext context{&engine->globals(), 0, nullptr, 0, nullptr, locals};
        EXPECT_TRUE(action.execute(context));
    }

    Tr::TTransList* list = nullptr;
    std::vector<int64_t> firedAt;
};

TEST_F(TimerEngineTest, FiringsArriveAtTheirMilliseconds) {
    struct Case {
        const char* start; // the values of TimS: count:delay:period
        std::vector<int64_t> firings;
    };
    const Case cases[] = {
        {"3:0:10", {0, 10, 20}}, {"3:5:10", {5, 15, 25}},
        {"1:7:0", {7}},          {"0:2:25", {2, 27, 52, 77}}, // endless
        {"2:-4:10", {0, 10}},                                 // a negative delay counts as none
        {"0:0:0", {}},           // endless without period starts nothing
        {"-1:0:10", {}},         // negative count
        {"2:0:-1", {}},          // negative period
        {"4:0:0", {0, 0, 0, 0}}, // finite with period 0 fires all at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        TTTManager::instance().killAll();
        list->clearTranslators();
        Recorder::instance().clear();
        firedAt.clear();
        clock.set(0);
        on(1, VString("Tim0TimS") + field("Beat") + c.start);
        onTimer("beat", 9);
        trigger(1);
        runUntil(90);
        EXPECT_EQ(firedAt, c.firings);
    }
}

TEST_F(TimerEngineTest, AStalledTimerCatchesUpFiniteFiringsAndDropsEndlessOnes) {
    on(1, VString("Tim0TimS") + field("Fin") + "3:0:10");
    on(2, VString("Tim0TimS") + field("End") + "0:0:10");
    onTimer("fin", 1);
    onTimer("end", 2);
    trigger(1);
    EXPECT_EQ(Recorder::instance().ids(), std::vector<int>{1});
    clock.set(50);
    drive();
    // Both missed firings of the finite timer arrive together.
    EXPECT_EQ(Recorder::instance().ids(), (std::vector<int>{1, 1, 1}));

    Recorder::instance().clear();
    firedAt.clear();
    clock.set(100);
    trigger(2);
    clock.set(135);
    drive();
    runUntil(160);
    // The endless one fires once for the stall and then keeps its rhythm.
    EXPECT_EQ(firedAt, (std::vector<int64_t>{100, 135, 140, 150, 160}));
}

TEST_F(TimerEngineTest, StartingAgainRestartsAndCaseDoesNotMatter) {
    on(1, VString("Tim0TimS") + field("Beat") + "0:0:10");
    on(2, VString("Tim0TimS") + field("BEAT") + "1:5:0");
    onTimer("Beat", 3);
    trigger(1);
    runUntil(12);
    trigger(2);
    runUntil(60);
    EXPECT_EQ(firedAt, (std::vector<int64_t>{0, 10, 17}));
    EXPECT_FALSE(TTTManager::instance().nextDueMillis());
}

TEST_F(TimerEngineTest, KillStopsTheTimerAndDisablingProcessingDeletesTimers) {
    on(1, VString("Tim0TimS") + field("Beat") + "0:0:10");
    on(2, VString("Tim0TimK") + field("beat"));
    onTimer("Beat", 3);
    trigger(1);
    runUntil(25);
    trigger(2);
    runUntil(60);
    EXPECT_EQ(firedAt, (std::vector<int64_t>{0, 10, 20}));

    trigger(1);
    engine->setProcessing(false);
    EXPECT_FALSE(TTTManager::instance().nextDueMillis());
    engine->setProcessing(true);
    EXPECT_FALSE(TTTManager::instance().nextDueMillis());
}

TEST_F(TimerEngineTest, ImmediateOneShotGoesThroughTheDispatcherAndAnyKillCancelsIt) {
    onTimer("Now", 4);
    execute(VString("Tim0TimS") + field("Now") + "1:0:500");
    // Posted straight to the dispatcher, not scheduled by the timer manager.
    EXPECT_FALSE(TTTManager::instance().nextDueMillis());
    EXPECT_EQ(engine->dispatcher().pendingImmediate(), 1);
    drive();
    EXPECT_EQ(Recorder::instance().ids(), std::vector<int>{4});
    EXPECT_TRUE(Recorder::instance().executions()[0].onDispatcher);

    // Another action kills the timer while its firing is still queued.
    execute(VString("Tim0TimS") + field("now") + "1:0:0");
    execute(VString("Tim0TimK") + field("NOW"));
    drive();
    EXPECT_EQ(Recorder::instance().ids(), std::vector<int>{4});
}

TEST_F(TimerEngineTest, AFullDispatcherQueueSendsTheImmediateOneShotThroughTheManager) {
    onTimer("Now", 5);
    Tr::TTransEvent filler;
    filler.clear();
    filler.type = Tr::kTypeImage;
    for (int i = 0; i < Tr::TRuntimeDispatcherImpl::kImmediatePoolSize * 3 / 4; ++i)
        engine->dispatcher().postIncoming(filler);
    ASSERT_EQ(engine->dispatcher().getQueueFillPercent(), 75);
    execute(VString("Tim0TimS") + field("Now") + "1:0:0");
    EXPECT_EQ(TTTManager::instance().nextDueMillis(), std::optional<int64_t>(0));
    drive();
    EXPECT_EQ(Recorder::instance().ids(), std::vector<int>{5});
}

TEST_F(TimerEngineTest, VariableValuesAreReadWhenTheTimerStarts) {
    engine->globals().setVariable(20, 2, nullptr);
    const VString count = Tr::VarOrNumber::variable(20).toString();
    on(1, VString("Tim0TimS") + field("Var") + count + ":0:10");
    onTimer("Var", 6);
    trigger(1);
    runUntil(50);
    EXPECT_EQ(firedAt, (std::vector<int64_t>{0, 10}));

    // A variable count below 1 refuses the timer and removes the running one.
    firedAt.clear();
    Recorder::instance().clear();
    on(2, VString("Tim0TimS") + field("Var") + "0:0:10");
    trigger(2);
    runUntil(65);
    engine->globals().setVariable(20, 0, nullptr);
    trigger(1);
    runUntil(100);
    EXPECT_EQ(firedAt, (std::vector<int64_t>{50, 60}));
}

TEST_F(TimerEngineTest, ListenersReceiveTheirTimersInPlaceOfTheEngine) {
    struct Names : Tr::TTimerListener {
        void timerFired(const VString& name) override { fired.push_back(name.c_str()); }
        std::vector<std::string> fired;
    } listener;
    onTimer("Host", 7);
    TTTManager::instance().startNamed("Host", 3, 4, 2, &listener);
    runUntil(20);
    EXPECT_EQ(listener.fired, (std::vector<std::string>{"Host", "Host"}));
    EXPECT_TRUE(Recorder::instance().ids().empty());
    EXPECT_NE(TTTManager::instance().timerNames().indexOf("HOST"), -1);
}

} // namespace
