#include "midi/RawMidiMessage.h"

#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"

#include "MidiTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace {

using namespace MidiTestSupport;
using Tr::RawMidiMessage;

class RawMidiMessageTest : public ::testing::Test {
protected:
    void clearVariables() {
        globals.clearGlobalVariables();
        for (int32_t& local : locals)
            local = 0;
    }

    int32_t value(const char* name) { return globals.getVariable(index(name), locals); }

    bool feed(RawMidiMessage& message, const char* input, Vorn::VString* logLine = nullptr) {
        const std::vector<uint8_t> data = bytes(input);
        return message.matches(data.data(), static_cast<int>(data.size()), locals, &globals,
                               logLine);
    }

    std::string send(const RawMidiMessage& message) {
        std::string sent = "-";
        message.withBytes(locals, &globals, [&sent](const uint8_t* data, int length) {
            sent = hex(data, length);
            return 1;
        });
        return sent;
    }

    Tr::TGlobalTranslateParams globals;
    int32_t locals[Tr::kLocalVariableCount] = {};
};

TEST_F(RawMidiMessageTest, InstallingText) {
    struct Case {
        const char* text;
        bool installs;
        int size;
        bool variables;
        const char* stored;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {"90 pp 7F", true, 3, true, "90pp7F", {}},
        {" b0\t07\n40 ", true, 3, false, "b00740", {}},
        {"F0 43 gA z9 F7", true, 5, true, "F043gAz9F7", {}},
        {"", true, 0, false, "", {}},
        {"904", false, 0, false, "904", {"0:invalid MIDI message"}},
        {"90 4G", false, 0, false, "904G", {"0:\"4G\" is not a valid variable."}},
        {"90 ab xy", false, 0, false, "90abxy", {"0:\"xy\" is not a valid variable."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RecordingErrors errors;
        RawMidiMessage message;
        EXPECT_EQ(message.setText(c.text, &errors), c.installs);
        EXPECT_EQ(message.size(), c.size);
        EXPECT_EQ(message.hasVariables(), c.variables);
        EXPECT_EQ(str(message.text()), c.stored);
        EXPECT_EQ(errors.lines, c.reports);
    }
}

struct Stream {
    const char* what;
    const char* pattern;
    std::vector<std::pair<const char*, bool>> events; // input, matches
    std::initializer_list<std::pair<const char*, int>> captured;
};

TEST_F(RawMidiMessageTest, PatternsAcrossFragmentedInput) {
    const Stream cases[] = {
        {"system exclusive in one event", "F0 43 pp F7", {{"F0 43 10 F7", true}}, {{"pp", 0x10}}},
        {"system exclusive in two chunks",
         "F0 43 pp F7",
         {{"F0 43", false}, {"10 F7", true}},
         {{"pp", 0x10}}},
        {"system exclusive in three chunks",
         "F0 43 pp qq 01 02 F7",
         {{"F0 43", false}, {"11", false}, {"22 01 02 F7", true}},
         {{"pp", 0x11}, {"qq", 0x22}}},
        {"a clock byte between chunks is no part of the message",
         "F0 pp F7",
         {{"F0", false}, {"F8", false}, {"05 F7", true}},
         {{"pp", 5}}},
        {"two channel messages in sequence",
         "90 3C pp 80 3C qq",
         {{"90 3C 40", false}, {"80 3C 00", true}},
         {{"pp", 0x40}, {"qq", 0}}},
        {"an unrelated channel message in between clears",
         "90 3C pp 80 3C qq",
         {{"90 3C 40", false}, {"B0 07 10", false}, {"80 3C 00", false}},
         {{"pp", 0}}},
        {"a timing clock in between does not",
         "90 3C pp 80 3C qq",
         {{"90 3C 40", false}, {"F8", false}, {"80 3C 00", true}},
         {{"pp", 0x40}}},
        {"a complete message replaces pending bytes",
         "F0 43 pp F7",
         {{"F0 43", false}, {"F0 43 11 F7", true}},
         {{"pp", 0x11}}},
        {"a new system exclusive after an unterminated one",
         "F0 7E pp F7",
         {{"F0 7E", false}, {"F0 7E 05", false}, {"F7", true}},
         {{"pp", 5}}},
        {"the end of another system exclusive clears",
         "F0 43 pp F7",
         {{"F0 43", false}, {"10 20 F7", false}, {"10 F7", false}},
         {{"pp", 0}}},
        {"a variable status byte",
         "pp 3C 40",
         {{"91 3C 40", true}, {"91 3C 41", false}},
         {{"pp", 0x91}}},
        {"literal bytes in either case", "b0 07 7f", {{"B0 07 7F", true}}, {}},
        {"a longer event never matches", "90 3C", {{"90 3C 40", false}}, {}},
        {"a real-time pattern", "F8", {{"F8", true}}, {}},
        {"an invalid text never matches", "904", {{"90 4", false}, {"90", false}}, {}},
        {"an empty text never matches", "", {{"90 40 00", false}}, {}},
    };
    for (const Stream& c : cases) {
        SCOPED_TRACE(c.what);
        clearVariables();
        RawMidiMessage message;
        message.setText(c.pattern, nullptr);
        for (const auto& [input, matches] : c.events)
            EXPECT_EQ(feed(message, input), matches) << input;
        for (const auto& [name, expected] : c.captured)
            EXPECT_EQ(value(name), expected) << name;
    }
}

TEST_F(RawMidiMessageTest, HugeSystemExclusiveInChunks) {
    // 5000 bytes: F0, 4998 data bytes with the variable pp at 3000, F7
    std::string pattern = "F0";
    std::vector<uint8_t> message = {0xF0};
    for (int i = 1; i < 4999; ++i) {
        pattern += i == 3000 ? "pp" : "05";
        message.push_back(i == 3000 ? 0x42 : 0x05);
    }
    pattern += "F7";
    message.push_back(0xF7);
    RawMidiMessage raw;
    ASSERT_TRUE(raw.setText(pattern.c_str(), nullptr));
    ASSERT_EQ(raw.size(), 5000);
    // as the input parser delivers it: chunks of 2048, 2048 and 904 bytes
    auto chunk = [&](int from, int length) {
        return raw.matches(message.data() + from, length, locals, &globals, nullptr);
    };
    EXPECT_FALSE(chunk(0, 2048));
    EXPECT_FALSE(chunk(2048, 2048));
    EXPECT_TRUE(chunk(4096, 904));
    EXPECT_EQ(value("pp"), 0x42);
    EXPECT_EQ(raw.pendingCount(), 0);

    // an unterminated one that runs on past the pattern never matches and holds no more
    // than the pattern's length
    clearVariables();
    std::vector<uint8_t> endless(2048, 0x05);
    endless[0] = 0xF0;
    EXPECT_FALSE(raw.matches(endless.data(), 2048, locals, &globals, nullptr));
    endless[0] = 0x05;
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(raw.matches(endless.data(), 2048, locals, &globals, nullptr));
        EXPECT_LE(raw.pendingCount(), raw.size());
    }
    EXPECT_EQ(value("pp"), 0);
}

TEST_F(RawMidiMessageTest, LogLineNamesTheVariables) {
    RawMidiMessage message;
    message.setText("F0 43 pp ga F7", nullptr);
    Vorn::VString line;
    ASSERT_TRUE(feed(message, "F0 43 10 7F F7", &line));
    EXPECT_EQ(str(line), "MIDI 5 bytes F0 43 10 7F F7,  pp=0x10 ga=0x7F");
    RawMidiMessage plain;
    plain.setText("90 3C 40", nullptr);
    ASSERT_TRUE(feed(plain, "90 3C 40", &line));
    EXPECT_EQ(str(line), "MIDI 90 3C 40");
}

TEST_F(RawMidiMessageTest, OutgoingBytesFromVariables) {
    globals.setVariable(index("pp"), 0x17F, locals);
    globals.setVariable(index("ga"), -1, locals);
    struct Case {
        const char* pattern;
        std::string sent;
    };
    const Case cases[] = {
        {"B0 07 pp", "B0 07 7F"},
        {"F0 pp ga F7", "F0 7F FF F7"},
        {"90 3C 40", "90 3C 40"},
        {"904", "-"}, // no bytes: nothing is sent
        {"", "-"},
    };
    for (const Case& c : cases) {
        RawMidiMessage message;
        message.setText(c.pattern, nullptr);
        EXPECT_EQ(send(message), c.sent) << c.pattern;
    }

    // longer than the stack buffer
    std::string pattern = "F0";
    std::string expected = "F0";
    for (int i = 0; i < 300; ++i) {
        pattern += "01";
        expected += " 01";
    }
    pattern += "ppF7";
    expected += " 7F F7";
    RawMidiMessage message;
    ASSERT_TRUE(message.setText(pattern.c_str(), nullptr));
    EXPECT_EQ(send(message), expected);
}

} // namespace
