#include "engine/TTransMsg.h"
#include "engine/TErrorMessageHandler.h"
#include "engine/TTransList.h"
#include "engine/TTransStepMath.h"
#include "foundation/ErrorMessages.h"

#include "FakeActions.h"

#include <gtest/gtest.h>

namespace {

using Tr::TTransMsg;
using Vorn::VString;

// Keeps every message, in order.
class RecordingErrors : public Tr::TErrorMessageHandler {
public:
    void message(TTransMsg*, int, const VString& text) override {
        messages.push_back(text.c_str());
    }
    std::vector<std::string> messages;
};

class TTransMsgTest : public ::testing::Test {
protected:
    void SetUp() override { FakeActions::registerFakes(); }

    Tr::TTransMsgPtr translator(const VString& in, const VString& out,
                                const VString& options = "") {
        Tr::TTransMsgPtr result = Tr::makeTranslator();
        result->build("t", in, out, options, &errors);
        return result;
    }

    RecordingErrors errors;
};

struct OptionsCase {
    const char* options;
    bool withOutgoing;
    bool active, stop, outputOriginal;
    int delayUnit;
    int delayValue;
    const char* unparsed;
    const char* message; // the one expected report, or ""
    const char* written;
};

TEST_F(TTransMsgTest, OptionsParseAndWriteBack) {
    const OptionsCase cases[] = {
        {"Actv01Stop01OutO00", true, true, true, false, 0, 0, "", "", "Actv01Stop01OutO00"},
        {"Actv00Stop00OutO01", true, false, false, true, 0, 0, "", "", "Actv00Stop00OutO01"},
        // leading blanks skipped, a non-hexadecimal digit reads 0, any value above 0 is set
        {"Actv 1Stop0xOutOFF", true, true, false, true, 0, 0, "", "", "Actv01Stop00OutO01"},
        {"Actv01Stop01Blah77OutO01", true, true, true, false, 0, 0, "Blah77OutO01",
         "corrupt options: Blah77OutO01", "Actv01Stop01OutO00Blah77OutO01"},
        {"Actv01Stop01OutO00Dlay250:Millis", true, true, true, false, 2, 250, "", "",
         "Actv01Stop01OutO00Dlay250:Millis"},
        {"Dlay2:Seconds", true, true, false, false, 1, 2, "", "",
         "Actv01Stop00OutO00Dlay2:Seconds"},
        {"Dlay0x10:Millis", true, true, false, false, 2, 16, "", "",
         "Actv01Stop00OutO00Dlay16:Millis"},
        {"Dlay250:Minutes", true, true, false, false, 0, 0, "Dlay250:Minutes",
         "corrupt options: Dlay250:Minutes", "Actv01Stop00OutO00Dlay250:Minutes"},
        {"Dlay1:Mil", true, true, false, false, 0, 0, "Dlay1:Mil", "corrupt options: Dlay1:Mil",
         "Actv01Stop00OutO00Dlay1:Mil"},
        {"Actv0", true, true, false, false, 0, 0, "Actv0", "corrupt options: Actv0",
         "Actv01Stop00OutO00Actv0"},
        {"Stop", true, true, false, false, 0, 0, "Stop", "corrupt options: Stop",
         "Actv01Stop00OutO00Stop"},
        {"Actv00Dlay1:MillisStop01", false, false, false, false, 0, 0, "Dlay1:MillisStop01",
         "[internal error] cannot specify delay if no outgoing action is defined.",
         "Actv00Stop00OutO00Dlay1:MillisStop01"},
        {"StMa00000000", true, true, false, false, 0, 0, "", "", "Actv01Stop00OutO00"},
        {"Stop01StMa0003abc0001if(pp==1)qq=2Actv00", true, false, true, false, 0, 0, "", "",
         "Actv00Stop01OutO00StMa0003abc0001if(pp==1)qq=2"},
        {"Actv01StMa00", true, true, false, false, 0, 0, "StMa00", "corrupt options: StMa00",
         "Actv01Stop00OutO00StMa00"},
    };
    for (const OptionsCase& c : cases) {
        SCOPED_TRACE(c.options);
        errors.messages.clear();
        Tr::TTransMsgPtr t = translator(FakeActions::incoming(1, 1),
                                        c.withOutgoing ? FakeActions::outgoing(1) : "", c.options);
        EXPECT_EQ(t->isActive(), c.active);
        EXPECT_EQ(t->stop(), c.stop);
        EXPECT_EQ(t->outputOriginal(), c.outputOriginal);
        if (t->outgoing()) {
            EXPECT_EQ(t->outgoing()->delayUnit(), c.delayUnit);
            if (c.delayUnit != 0) {
                EXPECT_EQ(t->outgoing()->delay().value, c.delayValue);
            }
        }
        EXPECT_STREQ(t->unparsedOptions().c_str(), c.unparsed);
        std::vector<std::string> expected;
        if (*c.message)
            expected.push_back(c.message);
        EXPECT_EQ(errors.messages, expected);
        EXPECT_STREQ(t->optionsToString().c_str(), c.written);
    }
}

TEST_F(TTransMsgTest, DelayOfVariableAndNoneActionDelays) {
    Tr::TTransMsgPtr variable =
        translator(FakeActions::incoming(1, 1), FakeActions::outgoing(1), "Dlaygb:Millis");
    EXPECT_TRUE(variable->outgoing()->delay().isVariable);
    EXPECT_STREQ(variable->optionsToString().c_str(), "Actv01Stop00OutO00Dlaygb:Millis");
    // An outgoing action of the "none" type never writes its delay.
    Tr::TTransMsgPtr none =
        translator(FakeActions::incoming(1, 1), FakeActions::outgoing(1, 0, 7), "Dlay5:Millis");
    EXPECT_STREQ(none->optionsToString().c_str(), "Actv01Stop00OutO00");
}

TEST_F(TTransMsgTest, RulesAreWrittenBackAndDescribed) {
    const char* options = "Actv01Stop00OutO00StMa00000002pp=1label0006StMa:)";
    Tr::TTransMsgPtr t = translator("", "", options);
    EXPECT_TRUE(t->hasRules());
    EXPECT_STREQ(t->optionsToString().c_str(), options);
    EXPECT_STREQ(t->rules()->getShortDescription().c_str(), "2 rules");
    Tr::TTransMsgPtr described = translator("", "", "StMa0004Bass0001pp=1");
    EXPECT_STREQ(described->getOptionsDescription(false, true).c_str(), "Bass");
}

TEST_F(TTransMsgTest, SetActionsKeepsWhatItCannotUse) {
    struct Case {
        const char* in;
        const char* out;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"TAB:00ff",
         "Zzzz whatever",
         {"Incoming Action corrupt or not supported: TAB:",
          "Outgoing Action corrupt or not supported: Zzzz"}},
        // an outgoing-only class offered as incoming, and the other way round
        {"FkOu0100001",
         "FkIn010001",
         {"Incoming Action corrupt or not supported: FkOu",
          "Outgoing Action corrupt or not supported: FkIn"}},
        // the class reads the form as nothing
        {"FkInZZ", "", {"Incoming Action corrupt or not supported: FkIn"}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        errors.messages.clear();
        Tr::TTransMsgPtr t = translator(c.in, c.out);
        EXPECT_EQ(errors.messages, c.messages);
        EXPECT_STREQ(t->incoming() ? t->incoming()->toString().c_str() : "", c.in);
        EXPECT_STREQ(t->outgoing() ? t->outgoing()->toString().c_str() : "", c.out);
        if (t->incoming()) {
            EXPECT_EQ(t->incoming()->getType(), 0);
        }
    }
}

TEST_F(TTransMsgTest, ActionsAreOwnedAndCountedInThePreset) {
    Tr::TTransList preset;
    Tr::TTransMsgPtr t = translator(FakeActions::incoming(1, 1), FakeActions::outgoing(1, 0, 6));
    EXPECT_EQ(t->incoming()->owner(), t.get());
    TTransMsg* added = preset.addTranslator(std::move(t));
    EXPECT_EQ(preset.incomingCount(1), 1);
    EXPECT_EQ(preset.outgoingCount(6), 1);
    added->setOutgoing(nullptr);
    EXPECT_EQ(preset.outgoingCount(6), 0);
    added->setActions(FakeActions::incoming(4, 1), FakeActions::outgoing(1, 0, 4), nullptr);
    EXPECT_EQ(preset.incomingCount(1), 0);
    EXPECT_EQ(preset.incomingCount(4), 1);
    EXPECT_EQ(preset.outgoingCount(4), 1);
    Tr::TTransMsgPtr taken = preset.takeTranslator(0);
    EXPECT_EQ(preset.incomingCount(4), 0);
    EXPECT_EQ(taken->preset(), nullptr);
}

// Counts the deletions of the actions it watches.
class DeletionWatch : public Tr::TTransAction::Listener {
public:
    void actionDeleted(Tr::TTransAction*) override { ++deleted; }
    int deleted = 0;
};

TEST_F(TTransMsgTest, ReleaseDeletesOnlyBelowZero) {
    DeletionWatch watch;
    Tr::TTransMsgPtr owner = translator(FakeActions::incoming(1, 1), "");
    TTransMsg* t = owner.get();
    t->incoming()->addListener(&watch);
    t->retain();
    t->retain();
    owner.reset(); // the owner's reference
    t->release();
    EXPECT_EQ(watch.deleted, 0);
    EXPECT_EQ(t->referenceCount(), 0);
    t->release();
    EXPECT_EQ(watch.deleted, 1);
}

TEST_F(TTransMsgTest, ResetOptionsTakesANewSerial) {
    Tr::TTransMsgPtr t = translator("", "", "Actv00Stop01OutO01Junk");
    const int serial = t->serial();
    t->resetOptions();
    EXPECT_GT(t->serial(), serial);
    EXPECT_TRUE(t->isActive());
    EXPECT_FALSE(t->stop());
    EXPECT_FALSE(t->outputOriginal());
    EXPECT_TRUE(t->unparsedOptions().isEmpty());
}

TEST_F(TTransMsgTest, OptionsDescription) {
    struct Case {
        int incomingType;
        const char* options;
        bool withDisabled;
        const char* expected;
    };
    const Case cases[] = {
        {1, "Actv01Stop00OutO00", true, "swallow"},
        {1, "Actv00Stop01OutO01", true, "stop,disabled"},
        {1, "Actv00Stop01OutO00", false, "stop,swallow"},
        {4, "Actv01Stop00OutO00", true, ""},
        {4, "Actv00Stop00OutO00StMa00000003pp=1qq=2rr=3", true, "disabled,3 rules"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Tr::TTransMsgPtr t = translator(FakeActions::incoming(c.incomingType, 1), "", c.options);
        EXPECT_STREQ(t->getOptionsDescription(c.withDisabled, true).c_str(), c.expected);
    }
}

TEST_F(TTransMsgTest, ClipboardRecordRoundTrip) {
    Tr::TTransMsgPtr original = translator("TAB:raw \"text\"", FakeActions::outgoing(3),
                                           "Actv01Stop01OutO01Dlay5:SecondsStMa00000001qq=1");
    original->setName(" leading blank\r\nand a second line");
    const VString record = original->getRecordText();
    EXPECT_TRUE(record.startsWith("Name=\""));

    Tr::TTransMsgPtr copy = Tr::makeTranslator();
    copy->setFromRecordText(record, nullptr);
    EXPECT_STREQ(copy->name().c_str(), " leading blank\r\nand a second line");
    EXPECT_STREQ(copy->incoming()->toString().c_str(), "TAB:raw \"text\"");
    EXPECT_STREQ(copy->optionsToString().c_str(), original->optionsToString().c_str());
    EXPECT_STREQ(copy->getRecordText().c_str(), record.c_str());
}

TEST(TErrorMessageHandlerTest, LoadingMessagesCarryPresetAndTranslatorAndReachTheSink) {
    class Sink : public Vorn::ErrorMessageCallback {
    public:
        void message(int level, const VString& text) override {
            levels.push_back(level);
            texts.push_back(text.c_str());
        }
        std::vector<int> levels;
        std::vector<std::string> texts;
    } sink;
    Tr::TCascadedErrorMessageHandler end(nullptr, &sink);
    Tr::TCascadedErrorMessageHandler middle(&end);
    Tr::TLoadingTransListErrorHandler loading(&middle, "Main");
    loading.setTranslator(3, "Pad");
    loading.message(nullptr, 1, "corrupt options: Xx");
    EXPECT_EQ(sink.levels, std::vector<int>{1});
    EXPECT_EQ(sink.texts, std::vector<std::string>{"Error while loading preset 'Main', Translator "
                                                   "'# 3: Pad':\r\n    corrupt options: Xx"});
}

} // namespace
