#include "engine/TTransList.h"
#include "engine/TErrorMessageHandler.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransMsg.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"

#include "FakeActions.h"

#include <gtest/gtest.h>

namespace {

using Tr::TIniFile;
using Tr::TTransList;
using Vorn::VString;

class RecordingErrors : public Tr::TErrorMessageHandler {
public:
    void message(Tr::TTransMsg*, int, const VString& text) override {
        messages.push_back(text.c_str());
    }
    std::vector<std::string> messages;
};

// An outgoing kind whose stored form always fails to read.
class ThrowingOutgoing : public FakeActions::FakeOutgoing {
public:
    using FakeOutgoing::FakeOutgoing;
    int fromString(const VString&) override { throw Vorn::VException("unreadable"); }
};

class RecordingListener : public Tr::TProjectRawListener {
public:
    void presetActivationChanged(Tr::TPresetHandler*, TTransList* preset, int) override {
        events.push_back(std::string("activation ") + (preset->isActive() ? "on" : "off"));
    }
    void presetChanged(Tr::TPresetHandler*, TTransList*) override { events.push_back("changed"); }
    std::vector<std::string> events;
};

class TTransListTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeActions::registerFakes();
        Tr::registerAction({"FkTh",
                            [](bool incoming) -> std::unique_ptr<Tr::TTransAction> {
                                return std::make_unique<ThrowingOutgoing>(incoming);
                            },
                            1, Tr::kCapabilityOutgoing});
        handler.addRawListener(&listener);
    }

    void add(TTransList* preset, const VString& name, const VString& in, const VString& out,
             const VString& options = "") {
        Tr::TTransMsgPtr t = Tr::makeTranslator();
        t->build(name, in, out, options, nullptr);
        preset->addTranslator(std::move(t));
    }

    static std::string sectionText(const TIniFile& file, const char* section) {
        Vorn::VStringList lines;
        file.getSectionLines(section, lines);
        return lines.getText("\n").c_str();
    }

    Tr::TGlobalTranslateParams globals;
    RecordingListener listener; // outlives the handler, which tells it of its destruction
    Tr::TPresetHandler handler{&globals};
    RecordingErrors errors;
};

TEST_F(TTransListTest, SaveSkipsUnstorableTranslatorsWithoutNumberingGaps) {
    TTransList* preset = handler.addPreset(0);
    preset->setName("Main");
    add(preset, "known", FakeActions::incoming(1, 1), FakeActions::outgoing(1));
    add(preset, "outgoing only", "", FakeActions::outgoing(2));
    add(preset, "unknown incoming", "TAB:0001", FakeActions::outgoing(3));
    add(preset, "rules only", "", "", "StMa00000001pp=1");
    add(preset, "unparsed only", "Zzzz", "", "Junk");
    add(preset, "nothing", "", "");
    add(preset, "last", FakeActions::incoming(4, 2), "Zzzz keeps its text", "Actv00");
    preset->setDefaultOutPorts("0003Out");

    TIniFile file;
    EXPECT_EQ(preset->save(file, "Preset0"), 4);
    EXPECT_EQ(
        sectionText(file, "Preset0"),
        "Name=Main\nActive=1\nPresetSwitchIgnore=0\nDefaultOutPorts=0003Out\n"
        "Name0=known\nIncoming0=FkIn010001\nOutgoing0=FkOu0100001\nOptions0=Actv01Stop00OutO00\n"
        "Name1=rules only\nIncoming1=\nOutgoing1=\nOptions1=Actv01Stop00OutO00StMa00000001pp=1\n"
        "Name2=unparsed only\nIncoming2=Zzzz\nOutgoing2=\nOptions2=Actv01Stop00OutO00Junk\n"
        "Name3=last\nIncoming3=FkIn040002\nOutgoing3=Zzzz keeps its text\n"
        "Options3=Actv00Stop00OutO00");
}

TEST_F(TTransListTest, SavedLoadedAndSavedAgainIsByteIdentical) {
    TTransList* preset = handler.addPreset(0);
    preset->setName("[always active]");
    preset->setPresetSwitchIgnore(true);
    preset->setDefaultInPorts("0002In");
    add(preset, " blank, \"quote\"\nnewline", FakeActions::incoming(1, 7), "TAB:\r\nodd",
        "Actv01Stop01OutO01Dlay2:SecondsStMa0003abc0002pp=1qq=2");
    add(preset, "", FakeActions::incoming(5, 0), FakeActions::outgoing(9, 3),
        "Actv00Stop00OutO00Unknown77");
    add(preset, "delay", FakeActions::incoming(1, 2), FakeActions::outgoing(1), "Dlaygb:Millis");
    // Through a file on disk, as a project file carries it.
    const std::string path = ::testing::TempDir() + "TTransListTest-roundtrip.ini";
    TIniFile first{VString(std::string_view(path))};
    preset->save(first, "Preset");
    ASSERT_TRUE(first.save());

    Tr::TPresetHandler other(&globals);
    TIniFile reread{VString(std::string_view(path))};
    ASSERT_TRUE(reread.load());
    TTransList* loaded = other.addPreset(0);
    EXPECT_EQ(loaded->load(reread, "Preset", 5, true, &errors), 3);
    EXPECT_EQ(
        errors.messages,
        (std::vector<std::string>{
            "Error while loading preset '[always active]', Translator '# 0:  blank, \"quote\"\n"
            "newline':\r\n    Outgoing Action corrupt or not supported: TAB:",
            "Error while loading preset '[always active]', Translator '# 1: ':\r\n"
            "    corrupt options: Unknown77"}));
    EXPECT_TRUE(loaded->presetSwitchIgnore());
    EXPECT_STREQ(loaded->get(0)->name().c_str(), " blank, \"quote\"\nnewline");
    TIniFile second;
    loaded->save(second, "Preset");
    EXPECT_EQ(second.toText(), first.toText());
}

TEST_F(TTransListTest, AlwaysActiveNamesOnlyInOldFiles) {
    struct Case {
        int version;
        const char* name;
        const char* switchIgnore;
        bool expected;
    };
    const Case cases[] = {
        {2, "[always active]", "0", true},  {0, "(always active)", "0", true},
        {3, "[always active]", "0", false}, {2, "other", "0", false},
        {5, "other", "yes", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIniFile file;
        file.setValue("P", "Name", c.name);
        file.setValue("P", "PresetSwitchIgnore", c.switchIgnore);
        TTransList* preset = handler.addPreset(0);
        preset->load(file, "P", c.version, false, nullptr);
        EXPECT_EQ(preset->presetSwitchIgnore(), c.expected);
    }
}

TEST_F(TTransListTest, LoadStopsAtFirstEmptyIndexAndKeepsAnUnreadableAction) {
    TIniFile file;
    file.setValue("P", "Name", "Main");
    file.setValue("P", "Active", "1");
    file.setValue("P", "Name0", "first");
    file.setValue("P", "Incoming0", FakeActions::incoming(1, 1));
    file.setValue("P", "Name1", "bad");
    file.setValue("P", "Incoming1", FakeActions::incoming(1, 3));
    file.setValue("P", "Outgoing1", "FkTh");
    file.setValue("P", "Name2", "corrupt");
    file.setValue("P", "Incoming2", FakeActions::incoming(1, 2));
    file.setValue("P", "Options2", "Actv01Oops");
    file.setValue("P", "Name4", "after the gap");
    file.setValue("P", "Incoming4", FakeActions::incoming(1, 4));

    TTransList* preset = handler.addPreset(0);
    add(preset, "old", FakeActions::incoming(1, 9), "");
    EXPECT_EQ(preset->load(file, "P", 5, true, &errors), 3);
    EXPECT_STREQ(preset->get(0)->name().c_str(), "first");
    // An action its class cannot read is kept as it was stored.
    EXPECT_STREQ(preset->get(1)->name().c_str(), "bad");
    EXPECT_STREQ(preset->get(1)->outgoing()->toString().c_str(), "FkTh");
    EXPECT_EQ(preset->get(1)->outgoing()->getType(), Tr::kTypeUnknown);
    EXPECT_STREQ(preset->get(2)->name().c_str(), "corrupt");
    EXPECT_EQ(preset->incomingCount(1), 3);
    EXPECT_EQ(preset->outgoingCount(Tr::kTypeUnknown), 1);
    EXPECT_EQ(errors.messages,
              (std::vector<std::string>{
                  "Error while loading preset 'Main', Translator '# 1: bad':\r\n    unreadable",
                  "Error while loading preset 'Main', Translator '# 2: corrupt':\r\n    corrupt "
                  "options: Oops"}));
    // The old contents were removed, then the active state applied with its notifications.
    EXPECT_EQ(listener.events, (std::vector<std::string>{"changed", "activation on"}));
}

TEST_F(TTransListTest, VersionZeroFlagsApplyOnlyWhenPresent) {
    TIniFile file;
    file.setValue("P", "Name0", "a");
    file.setValue("P", "Options0", "Actv01Stop01OutO00");
    file.setValue("P", "OutputOriginal0", "true");
    file.setValue("P", "Name1", "b");
    file.setValue("P", "Options1", "Actv01Stop01OutO01");
    file.setValue("P", "Stop1", "0");
    for (int version : {0, 1}) {
        SCOPED_TRACE(version);
        TTransList* preset = handler.addPreset(0);
        preset->load(file, "P", version, false, nullptr);
        ASSERT_EQ(preset->count(), 2);
        EXPECT_EQ(preset->get(0)->outputOriginal(), version == 0);
        EXPECT_TRUE(preset->get(0)->stop());
        EXPECT_TRUE(preset->get(1)->outputOriginal());
        EXPECT_EQ(preset->get(1)->stop(), version != 0);
        EXPECT_FALSE(preset->isActive()); // no Active key, applied silently
    }
}

TEST_F(TTransListTest, ActivationLogsAndNotifiesOnlyOnChange) {
    class Log : public Tr::TLogListener {
    public:
        void logMessage(const VString& text) override { lines.push_back(text.c_str()); }
        void logIncoming(const VString&, int, int, int) override {}
        void logOutgoing(const VString&, int, int, int) override {}
        void logRule(const VString&, int, int, int) override {}
        std::vector<std::string> lines;
    } log;
    globals.setLogListener(&log);
    globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogMessages, 1);
    TTransList* preset = handler.addPreset(0);
    preset->setName("Drums");
    preset->setActive(true);
    preset->setActive(false);
    handler.setSuppressActivationEvents(true);
    preset->setActive(true);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"Deactivated preset: Drums", "Activated preset: Drums"}));
    EXPECT_EQ(listener.events, std::vector<std::string>{"activation off"});
    globals.setLogListener(nullptr);
}

TEST_F(TTransListTest, MoveAndInsertKeepOrder) {
    TTransList* preset = handler.addPreset(0);
    for (const char* name : {"a", "b", "c", "d"})
        add(preset, name, "", "");
    auto names = [&] {
        std::string result;
        for (int i = 0; i < preset->count(); ++i)
            result += preset->get(i)->name().c_str();
        return result;
    };
    EXPECT_TRUE(preset->moveTranslator(0, 2));
    EXPECT_EQ(names(), "bcad");
    EXPECT_TRUE(preset->moveTranslator(3, 0));
    EXPECT_EQ(names(), "dbca");
    EXPECT_FALSE(preset->moveTranslator(0, 4));
    Tr::TTransMsgPtr e = Tr::makeTranslator();
    e->setName("e");
    preset->insertTranslator(-5, std::move(e));
    EXPECT_TRUE(preset->deleteTranslator(4));
    EXPECT_EQ(names(), "edbc");
    EXPECT_STREQ(TTransList().displayName().c_str(), "(unnamed)");
}

} // namespace
