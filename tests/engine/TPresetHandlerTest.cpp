#include "engine/TPresetHandler.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"

#include "FakeActions.h"

#include <gtest/gtest.h>

namespace {

using Tr::TPresetHandler;
using Tr::TTransList;
using Vorn::VString;

class RecordingListener : public Tr::TProjectRawListener {
public:
    explicit RecordingListener(const char* tag = "") : tag_(tag) {}
    void suspendEnded(TPresetHandler*) override { events.push_back(tag_ + "suspend ended"); }
    void presetListChanged(TPresetHandler*) override { events.push_back(tag_ + "list"); }
    void presetActivationChanged(TPresetHandler*, TTransList* preset, int index) override {
        events.push_back(tag_ + (preset->isActive() ? "on " : "off ") + std::to_string(index));
    }
    void presetStateChanged(TPresetHandler*, TTransList* preset) override {
        if (!preset)
            events.push_back(tag_ + "state null");
    }
    void presetChanged(TPresetHandler*, TTransList*) override {
        events.push_back(tag_ + "changed");
    }
    std::vector<std::string> events;

private:
    std::string tag_;
};

class Log : public Tr::TLogListener {
public:
    void logMessage(const VString& text) override { lines.push_back(text.c_str()); }
    void logIncoming(const VString&, int, int, int) override {}
    void logOutgoing(const VString&, int, int, int) override {}
    void logRule(const VString&, int, int, int) override {}
    std::vector<std::string> lines;
};

class TPresetHandlerTest : public ::testing::Test {
protected:
    TPresetHandlerTest() {
        FakeActions::registerFakes();
        handler.addRawListener(&listener);
        globals.setLogListener(&log);
        globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogMessages, 1);
    }

    // Presets from a pattern: 'A' active, '-' inactive, lower case: ignores switching.
    void build(const char* pattern) {
        handler.clearPresets();
        handler.setSuppressActivationEvents(true);
        for (const char* c = pattern; *c; ++c) {
            TTransList* p = handler.addPreset(handler.presetCount());
            p->setName(std::string(1, *c).c_str());
            p->setActive(*c == 'A' || *c == 'a');
            p->setPresetSwitchIgnore(*c == 'a' || *c == 'i');
        }
        handler.setSuppressActivationEvents(false);
        listener.events.clear();
        log.lines.clear();
    }
    std::string states() const {
        std::string result;
        for (int i = 0; i < handler.presetCount(); ++i)
            result += handler.preset(i)->isActive() ? 'A' : '-';
        return result;
    }

    Tr::TGlobalTranslateParams globals;
    RecordingListener listener; // outlives the handler, which tells it of its destruction
    TPresetHandler handler{&globals};
    Log log;
};

TEST_F(TPresetHandlerTest, NextAndPreviousSkipPresetsThatIgnoreSwitching) {
    struct Case {
        const char* presets;
        int request;
        const char* expected;
    };
    const Case cases[] = {
        {"Ai-", Tr::kPresetNext, "--A"}, // the second stays untouched
        {"Ai-", Tr::kPresetPrevious, "--A"}, {"--A", Tr::kPresetNext, "A--"},
        {"A--", Tr::kPresetPrevious, "--A"}, {"-A-", Tr::kPresetPrevious, "A--"},
        {"---", Tr::kPresetNext, "A--"},     {"---", Tr::kPresetPrevious, "--A"},
        {"aA-", Tr::kPresetNext, "A-A"},     {"ai", Tr::kPresetNext, "A-"},
        {"", Tr::kPresetNext, ""},           {"-", Tr::kPresetNext, "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.presets) + " " + std::to_string(c.request));
        build(c.presets);
        handler.executePresetChange(nullptr, c.request, "", 0);
        EXPECT_EQ(states(), c.expected);
    }
}

TEST_F(TPresetHandlerTest, ActivateOnlyDeactivatesLowerPresetsBeforeAndHigherAfter) {
    build("AA-Aa");
    EXPECT_TRUE(handler.activateOnly(2));
    EXPECT_EQ(listener.events, (std::vector<std::string>{"off 0", "off 1", "on 2", "off 3"}));
    EXPECT_EQ(states(), "--A-A");
    EXPECT_FALSE(handler.lastOnlyTargetIgnoresSwitch());

    EXPECT_TRUE(handler.activateOnly(4));
    EXPECT_TRUE(handler.lastOnlyTargetIgnoresSwitch());
    listener.events.clear();
    EXPECT_FALSE(handler.activateOnly(-1));
    EXPECT_FALSE(handler.lastOnlyTargetIgnoresSwitch());
    EXPECT_EQ(listener.events, std::vector<std::string>{"state null"});
}

TEST_F(TPresetHandlerTest, RequestsByNameAndNumber) {
    struct Case {
        int request;
        const char* name;
        int number;
        const char* expected;
        const char* logLine;
    };
    const Case cases[] = {
        {Tr::kPresetOnlyByName, "-", 0, "-A-", "Deactivated preset: A"},
        {Tr::kPresetOnlyByNumber, "", 2, "--A", "Deactivated preset: A"},
        {Tr::kPresetActivateByName, "-", 0, "AA-", "Activated preset: -"},
        {Tr::kPresetActivateByNumber, "", 2, "A-A", "Activated preset: -"},
        {Tr::kPresetDeactivateByName, "A", 0, "---", "Deactivated preset: A"},
        {Tr::kPresetDeactivateByNumber, "", 0, "---", "Deactivated preset: A"},
        {Tr::kPresetOnlyByName, "missing", 0, "A--", "Cannot find preset named 'missing'"},
        {Tr::kPresetActivateByNumber, "", 3, "A--", "Cannot find preset with index 3"},
        {Tr::kPresetDeactivateByNumber, "", -1, "A--", "Cannot find preset with index -1"},
        {42, "", 0, "A--", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.request) + " " + c.name + std::to_string(c.number));
        build("A--");
        handler.preset(1)->setName("-"); // names: "A", "-", "-"
        handler.executePresetChange(nullptr, c.request, c.name, c.number);
        EXPECT_EQ(states(), c.expected);
        if (c.logLine) {
            ASSERT_FALSE(log.lines.empty());
            EXPECT_EQ(log.lines[0], c.logLine);
        } else {
            EXPECT_TRUE(log.lines.empty());
        }
    }
}

TEST_F(TPresetHandlerTest, ThisPresetRequestsSwitchTheRequestingTranslatorsPreset) {
    build("A--");
    Tr::TTransMsgPtr t = Tr::makeTranslator();
    t->build("switch", "", FakeActions::outgoing(1), "", nullptr);
    Tr::TTransAction* action = handler.preset(1)->addTranslator(std::move(t))->outgoing();
    handler.executePresetChange(action, Tr::kPresetActivateOwn, "", 0);
    EXPECT_EQ(states(), "AA-");
    handler.executePresetChange(action, Tr::kPresetDeactivateOwn, "", 0);
    EXPECT_EQ(states(), "A--");
    handler.executePresetChange(nullptr, Tr::kPresetActivateOwn, "", 0); // no owner: nothing
    EXPECT_EQ(states(), "A--");
}

TEST_F(TPresetHandlerTest, SuspensionHoldsNotificationsAndStaticListenersComeLast) {
    RecordingListener everywhere("static ");
    TPresetHandler::addStaticListener(&everywhere);
    build("A-");
    handler.beginSuspend();
    handler.beginSuspend();
    handler.preset(1)->setActive(true);
    handler.endSuspend();
    EXPECT_TRUE(listener.events.empty());
    handler.endSuspend();
    handler.endSuspend(); // unbalanced: ignored
    handler.notifyPresetChanged(handler.preset(0));
    TPresetHandler::removeStaticListener(&everywhere);
    handler.notifyPresetListChanged();
    EXPECT_EQ(listener.events,
              (std::vector<std::string>{"suspend ended", "list", "changed", "list"}));
    EXPECT_EQ(everywhere.events,
              (std::vector<std::string>{"static suspend ended", "static list", "static changed"}));
}

TEST_F(TPresetHandlerTest, AddPresetClampsTheIndex) {
    build("");
    handler.addPreset(5)->setName("b");
    handler.addPreset(-3)->setName("a");
    handler.addPreset(1)->setName("m");
    EXPECT_EQ(handler.findPreset("a"), 0);
    EXPECT_EQ(handler.findPreset("m"), 1);
    EXPECT_EQ(handler.findPreset("b"), 2);
    EXPECT_TRUE(handler.movePreset(0, 2));
    EXPECT_EQ(handler.findPreset("a"), 2);
    EXPECT_TRUE(handler.deletePreset(0));
    EXPECT_EQ(handler.presetCount(), 2);
    EXPECT_EQ(handler.preset(2), nullptr);
}

} // namespace
