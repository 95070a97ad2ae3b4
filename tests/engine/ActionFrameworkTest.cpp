#include "engine/ActionFields.h"
#include "engine/ActionTypes.h"
#include "engine/ExpandText.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransAction.h"
#include "engine/TTransMsg.h"
#include "engine/TTransUnknownAction.h"
#include "engine/VarOrNumber.h"
#include "foundation/VException.h"
#include "foundation/VStringList.h"
#include "foundation/XmlElement.h"

#include "FakeActions.h"
#include "VStringPrinter.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using Tr::TTransAction;
using Tr::VarOrNumber;
using Vorn::VString;

// "ElTs" + element form of kind "Test": a number-or-variable and a free text child.
class ElementAction : public TTransAction {
public:
    static constexpr const char* kTag = "ElTs";
    explicit ElementAction(bool incoming) : TTransAction(incoming) {}

    VString getDescription() const override { return "element"; }
    VString toString() const override { return Tr::elementFormToString(*this, kTag); }
    int fromString(const VString& text) override {
        return Tr::elementFormFromString(*this, text, "Test", nullptr);
    }
    bool writeElement(Vorn::XmlElement& element) const override {
        element.setAttribute("Action", "Test");
        Tr::setVarOrNumberAttribute(element, value);
        element.addTextChild("Note", note);
        return true;
    }
    bool readElement(const Vorn::XmlElement& element, Vorn::ErrorMessageCallback*) override {
        note = element.childText("Note");
        return Tr::getVarOrNumberAttribute(element, value);
    }
    int getType() const override { return Tr::kTypeReserved11; }
    int getExecutionLevel() const override { return 0; }
    int getCapabilities() const override {
        return Tr::kCapabilityIncoming | Tr::kCapabilityOutgoing;
    }

    VarOrNumber value;
    VString note;

protected:
    std::unique_ptr<TTransAction> newInstance() const override {
        return std::make_unique<ElementAction>(isIncoming());
    }
};

// Counts the registry's post-creation calls.
class PostCreateAction : public ElementAction {
public:
    using ElementAction::ElementAction;
    void postCreate() override { ++postCreated; }
    int postCreated = 0;
};

template <class Action> std::unique_ptr<TTransAction> make(bool incoming) {
    return std::make_unique<Action>(incoming);
}

class ActionFrameworkTest : public ::testing::Test {
protected:
    // Registered out of tag order; "RgTs" is registered anew before every test.
    void SetUp() override {
        Tr::registerAction(
            {"RgTs", &make<ElementAction>, Tr::kTypeScreen, Tr::kCapabilityIncoming});
        FakeActions::registerFakes();
        Tr::registerAction(
            {"PcTs", &make<PostCreateAction>, Tr::kTypeImage, Tr::kCapabilityOutgoing});
        Tr::registerAction({ElementAction::kTag, &make<ElementAction>, Tr::kTypeReserved11,
                            Tr::kCapabilityIncoming | Tr::kCapabilityOutgoing});
    }
};

TEST_F(ActionFrameworkTest, CreateActionTakesTheExactTagOfTheFirstFourCharacters) {
    struct Case {
        const char* text;
        bool created;
        int type;
    };
    const Case cases[] = {
        {"Pres05ga", true, 5},   {"EnDi01", true, 6},    {"None", true, 7}, {"Nonesuch", true, 7},
        {"pres05ga", false, 0},  {"NONE", false, 0},     {"Non", false, 0}, {"", false, 0},
        {"TAB:0001x", false, 0}, {"SMsg0102", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        for (const bool incoming : {true, false}) {
            std::unique_ptr<TTransAction> action = Tr::createAction(c.text, incoming);
            ASSERT_EQ(action != nullptr, c.created);
            if (!action)
                continue;
            EXPECT_EQ(action->getType(), c.type);
            EXPECT_EQ(action->isIncoming(), incoming);
            EXPECT_EQ(action->owner(), nullptr);
        }
    }
}

TEST_F(ActionFrameworkTest, CreateActionPostCreatesOnceAndRegistrationReplaces) {
    std::unique_ptr<TTransAction> action = Tr::createAction("PcTs", false);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(static_cast<PostCreateAction&>(*action).postCreated, 1);

    Tr::registerAction({"RgTs", &make<PostCreateAction>, Tr::kTypeOsc, Tr::kCapabilityOutgoing});
    Tr::TActionRegistryEntry entry;
    ASSERT_TRUE(Tr::findAction("RgTs", entry));
    EXPECT_EQ(entry.type, Tr::kTypeOsc);
    EXPECT_EQ(entry.capabilities, Tr::kCapabilityOutgoing);
    action = Tr::createAction("RgTs", true);
    ASSERT_NE(dynamic_cast<PostCreateAction*>(action.get()), nullptr);
    EXPECT_FALSE(Tr::findAction("RgT", entry));
    EXPECT_FALSE(Tr::findAction("rgts", entry));
}

TEST_F(ActionFrameworkTest, ListTypesFollowsTagOrderPerCapability) {
    // ElTs < EnDi < FkIn < FkOu < None < PcTs < Pres < RgTs < Tim0 (byte order)
    std::vector<int> incoming{99}, outgoing{99};
    Tr::listTypes(incoming, outgoing);
    EXPECT_EQ(incoming, (std::vector<int>{11, 6, 1, 7, 5, 13, 4}));
    EXPECT_EQ(outgoing, (std::vector<int>{11, 6, 1, 7, 9, 5, 4}));
}

TEST_F(ActionFrameworkTest, TextFieldReadsLengthPrefixedText) {
    struct Case {
        const char* text;
        int position;
        int consumed; // 0: fails with "Wrong string format"
        const char* value;
    };
    const Case cases[] = {
        {"0003abc", 0, 7, "abc"},
        {"0003abcdef", 0, 7, "abc"},
        {"xy0002hi", 2, 6, "hi"},
        {"0000", 0, 4, ""},
        {"000a0123456789", 0, 14, "0123456789"},
        {"  03abc", 0, 7, "abc"}, // blanks before the digits
        {"\t\t\t1x", 0, 5, "x"},  // blanks of any code up to 32
        {"00G3abc", 0, 4, ""},    // a non-hexadecimal digit: length 0
        {"-001abc", 0, 4, ""},    // likewise a sign
        {"0005abc", 0, 0, ""},    // shorter than its length
        {"FFFFabc", 0, 0, ""},    // a huge length
        {"000", 0, 0, ""},        // shorter than the digits
        {"", 0, 0, ""},           // nothing at all
        {"0003abc", 5, 0, ""},    // too short from the position on
        {"0003abc", 9, 0, ""},    // position past the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " @" + std::to_string(c.position));
        VString value = "unchanged";
        if (c.consumed == 0) {
            try {
                Tr::readTextField(c.text, c.position, value);
                ADD_FAILURE() << "no exception";
            } catch (const Vorn::VException& e) {
                EXPECT_EQ(e.message(), "Wrong string format");
            }
            continue;
        }
        EXPECT_EQ(Tr::readTextField(c.text, c.position, value), c.consumed);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(ActionFrameworkTest, TextFieldRoundTripsAndCutsAtItsLargestLength) {
    const std::string big(70000, 'z');
    const VString values[] = {"",
                              "a",
                              "Preset \"one\"",
                              "\xC3\xA4\xE2\x82\xAC tail",
                              "0004abcd",
                              VString(std::string(300, 'q'))};
    for (const VString& value : values) {
        VString text = "lead";
        Tr::appendTextField(text, value);
        VString read;
        EXPECT_EQ(Tr::readTextField(text, 4, read), value.length() + 4);
        EXPECT_EQ(read, value);
    }
    VString text;
    Tr::appendTextField(text, VString(big));
    EXPECT_EQ(text.substring(0, 4), "FFFF");
    VString read;
    EXPECT_EQ(Tr::readTextField(text, 0, read), 0xFFFF + 4);
    EXPECT_EQ(read.length(), 0xFFFF);
}

TEST_F(ActionFrameworkTest, NumberOrVariableFieldParses) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        const char* text;
        int position;
        int consumed;
        bool isVariable;
        int32_t value;
        const char* written;
    };
    const Case cases[] = {
        {"oo", 0, 2, true, 0, "oo"},
        {"XX", 0, 2, true, 9, "xx"},
        {"ga", 0, 2, true, 10, "ga"},
        {"Z9", 0, 2, true, 369, "z9"},
        {"pp12", 0, 2, true, 1, "pp"},
        {"Pres05ga", 6, 2, true, 10, "ga"},
        {"oa", 0, 0, false, 0, "0"}, // no variable, no digit
        {"ab", 0, 0, false, 0, "0"},
        {"", 0, 0, false, 0, "0"},
        {" 5", 0, 0, false, 0, "0"},
        {"+", 0, 0, false, 0, "0"},
        {"-x", 0, 0, false, 0, "0"},
        {"123", 0, 3, false, 123, "123"},
        {"+7:", 0, 2, false, 7, "7"},
        {"-42x", 0, 3, false, -42, "-42"},
        {"007", 0, 3, false, 7, "7"},
        {"0x1F", 0, 4, false, 31, "31"},
        {"0xffz", 0, 4, false, 255, "255"},
        {"-0x10", 0, 5, false, -16, "-16"},
        {"+0x10", 0, 5, false, 16, "16"},
        {"0x-10", 0, 5, false, -16, "-16"}, // the sign may follow the prefix
        {"0x+10", 0, 5, false, 16, "16"},
        {"-0x-10", 0, 2, false, 0, "0"}, // but not a second sign: "-0" and the rest is left
        {"0x", 0, 1, false, 0, "0"},     // "0x" alone: the zero only
        {"0xg", 0, 1, false, 0, "0"},
        {"-0x", 0, 2, false, 0, "0"},
        {"0xFFFFFFFF", 0, 10, false, -1, "-1"}, // hexadecimal keeps its 32 bits
        {"2147483647", 0, 10, false, kMax, "2147483647"},
        {"2147483648", 0, 10, false, kMax, "2147483647"}, // decimal saturates
        {"99999999999999999999", 0, 20, false, kMax, "2147483647"},
        {"-2147483648", 0, 11, false, kMin, "-2147483648"},
        {"-2147483649", 0, 11, false, kMin, "-2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VarOrNumber value = VarOrNumber::variable(5);
        EXPECT_EQ(value.parse(c.text, c.position), c.consumed);
        EXPECT_EQ(value.isVariable, c.isVariable);
        EXPECT_EQ(value.value, c.value);
        EXPECT_EQ(value.toString(), c.written);
    }
}

TEST_F(ActionFrameworkTest, NumberOrVariableCurrentValueReadsLocalsAndGlobals) {
    Tr::TGlobalTranslateParams globals;
    globals.setGlobalVariable(0, 77);   // ga
    globals.setGlobalVariable(359, -3); // z9
    int32_t locals[Tr::kLocalVariableCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 42};
    EXPECT_EQ(VarOrNumber::number(-8).currentValue(locals, &globals), -8);
    EXPECT_EQ(VarOrNumber::variable(9).currentValue(locals, &globals), 42);
    EXPECT_EQ(VarOrNumber::variable(10).currentValue(locals, &globals), 77);
    EXPECT_EQ(VarOrNumber::variable(369).currentValue(locals, &globals), -3);
    EXPECT_EQ(VarOrNumber::variable(9).currentValue(nullptr, &globals), 0);
    EXPECT_EQ(VarOrNumber::variable(10).currentValue(locals, nullptr), 0);
    EXPECT_EQ(VarOrNumber::variable(370).currentValue(locals, &globals), 0);
}

TEST_F(ActionFrameworkTest, ElementFormRoundTripsOnOneLine) {
    for (const bool incoming : {true, false}) {
        ElementAction action(incoming);
        action.value = VarOrNumber::variable(10);
        action.note = "two\nlines & <more>";
        const VString text = action.toString();
        SCOPED_TRACE(text.c_str());
        EXPECT_TRUE(text.startsWith(incoming ? "ElTs<Incoming" : "ElTs<Outgoing"));
        EXPECT_EQ(text.indexOf('\n'), -1);
        EXPECT_NE(text.indexOf("&#10;"), -1);

        std::unique_ptr<TTransAction> read = Tr::createAction(text, incoming);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->fromString(text), text.length());
        auto& element = static_cast<ElementAction&>(*read);
        EXPECT_EQ(element.value, action.value);
        EXPECT_EQ(element.note, action.note);
        EXPECT_EQ(read->toString(), text);
    }
}

TEST_F(ActionFrameworkTest, ElementFormRefusesOtherKindsAndBadXml) {
    struct Case {
        const char* text;
        int consumed; // -1: the whole text
    };
    const Case cases[] = {
        {"ElTs<Outgoing Action=\"Test\" num=\"5\"/>", -1},
        {"ElTs<Outgoing Action=\"tEST\" var=\"GA\"/>", -1}, // kind ignoring case
        {"ElTs<Incoming Action=\"Test\" num=\"-0x10\"/>", -1},
        {"ElTs<Outgoing Action=\"Midi\" num=\"5\"/>", 0},
        {"ElTs<Outgoing num=\"5\"/>", 0},
        {"ElTs<Outgoing Action=\"Test\" num=\"5\">", 0}, // not closed
        {"ElTs", 0},
        {"ElT", 0},
        {"ElTs<Outgoing Action=\"Test\"/>", 0},            // neither num nor var
        {"ElTs<Outgoing Action=\"Test\" num=\"5x\"/>", 0}, // not wholly a number
        {"ElTs<Outgoing Action=\"Test\" num=\"\"/>", 0},
        {"ElTs<Outgoing Action=\"Test\" var=\"ab\"/>", 0},  // no variable
        {"ElTs<Outgoing Action=\"Test\" var=\"ga1\"/>", 0}, // more than a name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ElementAction action(false);
        const VString text = c.text;
        EXPECT_EQ(action.fromString(text), c.consumed < 0 ? text.length() : c.consumed);
    }
}

TEST_F(ActionFrameworkTest, DelayIsDescribedOnlyForDelayedOutgoingActions) {
    struct Case {
        const char* text;
        bool incoming;
        int unit;
        VarOrNumber delay;
        const char* description;
    };
    const Case cases[] = {
        {"FkOu0100003", false, 1, VarOrNumber::variable(10), "fake out 3, delay:ga seconds"},
        {"FkOu0100003", false, 2, VarOrNumber::number(250), "fake out 3, delay:250 millisec"},
        {"FkOu0100003", false, 2, VarOrNumber::number(-1), "fake out 3, delay:-1 millisec"},
        {"FkOu0100003", false, 0, VarOrNumber::number(250), "fake out 3"},
        {"FkOu0100003", false, 3, VarOrNumber::number(250), "fake out 3"},
        {"None", false, 1, VarOrNumber::number(5), "(none)"},
        {"FkIn010004", true, 1, VarOrNumber::number(5), "fake in 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        std::unique_ptr<TTransAction> action = Tr::createAction(c.text, c.incoming);
        ASSERT_NE(action, nullptr);
        ASSERT_GT(action->fromString(c.text), 0);
        action->setDelay(c.unit, c.delay);
        EXPECT_EQ(action->getDescriptionWithDelay(), c.description);
    }
}

TEST_F(ActionFrameworkTest, UnknownActionWritesItsTextBackByteForByte) {
    const VString texts[] = {
        "TAB:0003abc", "SMsg0102", "Zq\x01\x7F\x80\xFF\xC3(%%0000", "Pres", "x",
    };
    for (const VString& text : texts) {
        SCOPED_TRACE(text.c_str());
        Tr::TTransUnknownAction action(false);
        EXPECT_EQ(action.fromString(text), text.length());
        EXPECT_EQ(action.toString(), text);
        EXPECT_EQ(action.getDescription(), "Unknown Action: " + text);
        EXPECT_EQ(action.getType(), Tr::kTypeUnknown);
        EXPECT_EQ(action.getExecutionLevel(), Tr::kLevelKeyboardHook);
        EXPECT_EQ(action.getCapabilities(), 3);

        // The same text as a translator's incoming and outgoing action.
        Tr::TTransMsgPtr translator = Tr::makeTranslator();
        translator->build("t", text, text, "", nullptr);
        ASSERT_NE(dynamic_cast<Tr::TTransUnknownAction*>(translator->incoming()), nullptr);
        EXPECT_EQ(translator->incoming()->toString(), text);
        EXPECT_EQ(translator->outgoing()->toString(), text);
    }
    Tr::TTransUnknownAction empty(true);
    EXPECT_EQ(empty.getDescription(), "unknown empty action");
    Tr::TTransEvent event;
    event.clear();
    EXPECT_FALSE(empty.matches(event));
}

TEST_F(ActionFrameworkTest, UnknownActionCloneAndAssign) {
    Tr::TTransUnknownAction action(false);
    action.fromString("TAB:0001z");
    action.setDelay(Tr::kDelayMillis, VarOrNumber::variable(3));
    std::unique_ptr<TTransAction> copy = action.clone();
    auto* unknown = dynamic_cast<Tr::TTransUnknownAction*>(copy.get());
    ASSERT_NE(unknown, nullptr);
    EXPECT_FALSE(copy->isIncoming());
    EXPECT_EQ(unknown->text(), "TAB:0001z");
    EXPECT_EQ(copy->delayUnit(), Tr::kDelayMillis);
    EXPECT_EQ(copy->delay(), VarOrNumber::variable(3));

    std::unique_ptr<TTransAction> none = Tr::createAction("None", false);
    unknown->assign(*none); // another class: nothing changes
    EXPECT_EQ(unknown->text(), "TAB:0001z");
    Tr::TTransUnknownAction other(true);
    other.fromString("Scrn");
    unknown->assign(other);
    EXPECT_EQ(unknown->text(), "Scrn");
}

// Records that it was told and then removes the listeners it was given (itself among them).
class DeletionListener : public TTransAction::Listener {
public:
    void actionDeleted(TTransAction* action) override {
        order->push_back(id);
        for (DeletionListener* listener : removes)
            action->removeListener(listener);
    }
    std::vector<int>* order = nullptr;
    int id = 0;
    std::vector<DeletionListener*> removes;
};

TEST_F(ActionFrameworkTest, ListenersAreToldOfDeletionOnceLastRegisteredFirst) {
    struct Case {
        const char* name;
        std::vector<std::vector<int>> removes; // per listener 1..4, the ids it removes
        std::vector<int> told;
    };
    const Case cases[] = {
        {"nobody removes", {{}, {}, {}, {}}, {4, 3, 2, 1}},
        {"each removes itself", {{1}, {2}, {3}, {4}}, {4, 3, 2, 1}},
        {"one removes itself", {{}, {}, {3}, {}}, {4, 3, 2, 1}},
        {"one removes an earlier one", {{}, {}, {1}, {}}, {4, 3, 2}},
        {"itself and an earlier one", {{}, {}, {3, 1}, {}}, {4, 3, 2}},
        {"itself and a later one", {{}, {}, {3, 4}, {}}, {4, 3, 2, 1}},
        {"everyone", {{}, {}, {}, {1, 2, 3, 4}}, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> order;
        DeletionListener listeners[4];
        DeletionListener unregistered;
        {
            ElementAction action(true);
            for (int i = 0; i < 4; ++i) {
                listeners[i].order = &order;
                listeners[i].id = i + 1;
                for (const int id : c.removes[static_cast<size_t>(i)])
                    listeners[i].removes.push_back(&listeners[id - 1]);
                action.addListener(&listeners[i]);
                action.addListener(&listeners[0]); // already registered: ignored
            }
            unregistered.order = &order;
            unregistered.id = 9;
            action.addListener(&unregistered);
            action.removeListener(&unregistered);
        }
        EXPECT_EQ(order, c.told);
    }
    ElementAction unobserved(false);
    DeletionListener listener;
    unobserved.removeListener(&listener); // no list yet
}

TEST_F(ActionFrameworkTest, ExpandTextFormatsSectionsAndReportsEachProblem) {
    Tr::TGlobalTranslateParams globals;
    globals.setGlobalVariable(0, 7); // ga
    const int32_t locals[Tr::kLocalVariableCount] = {300, 10, 0, -5, -1, 65, 0, 0, 0, 0};
    struct Case {
        const char* text;
        const char* result;
        const char* message; // "" for none
    };
    const Case cases[] = {
        {"plain text", "plain text", ""},
        {"100%%", "100%", ""},
        {"a%pp%b", "a10b", ""},
        {"%d pp%", "10", ""},
        {"% \tpp %", "10", ""},
        {"%PP%", "10", ""},
        {"%ga%", "7", ""},
        {"%-0x10%", "-16", ""},
        {"%x pp%", "a", ""},
        {"%X pp%", "A", ""},
        {"%02X pp%", "0A", ""},
        {"%4x pp%", "   a", ""},
        {"%04d pp%", "0010", ""},
        {"%08X ss%", "FFFFFFFF", ""},
        {"%2d oo%", "300", ""},   // longer than the width
        {"%04d rr%", "-005", ""}, // zeros after the sign
        {"%c tt%", "A", ""},
        {"%c 255%", "\xFF", ""},
        {"%c qq%", "?", "ANSI value out of range: qq=0. Using ?."},
        {"%c oo%", "?", "ANSI value out of range: oo=300. Using ?."},
        {"<%d pp qq%>", "<>", "syntax error: 'qq'"},
        {"<%ab%>", "<0>", "not a variable: 'ab'"},
        {"<%d 1x%>", "<0>", "not a variable: '1x'"},
        {"<%s pp%>", "<>", "Unknown format specifier: s"},
        {"<%04s pp%>", "<>", "Unknown format specifier: 04s"},
        {"%0X pp%", "A", "Warning: malformed format: length 0 is ignored."},
        {"%3.1X pp%", "  A", "Unknown extra format specifiers: 3.1X"},
        {"%x3X pp%", "A", "Unknown extra format specifiers: x3X"},
        {"ab%pp", "ab", "unterminated % section. Specify %% for a single percent character."},
        {"50%", "50", "unterminated % section. Specify %% for a single percent character."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Vorn::VStringList errors;
        EXPECT_EQ(Tr::expandText(c.text, locals, &globals, &errors), c.result);
        if (*c.message == 0) {
            EXPECT_EQ(errors.count(), 0);
        } else {
            ASSERT_EQ(errors.count(), 1);
            EXPECT_EQ(errors.get(0), c.message);
        }
        Tr::expandText(c.text, locals, &globals, nullptr); // no list: still completes
    }
    // A width cannot ask for unbounded output.
    EXPECT_EQ(Tr::expandText("%999999999d pp%", locals, &globals, nullptr).length(), 1024);
}

} // namespace
