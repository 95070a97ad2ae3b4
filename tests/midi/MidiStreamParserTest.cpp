#include "midi/MidiStreamParser.h"

#include "MidiPortsTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using MidiPortsTest::hex;
using MidiPortsTest::hexText;
using Tr::MidiStreamParser;

class Collect : public MidiStreamParser::Sink {
public:
    void midiMessage(const uint8_t* data, int length) override {
        messages.push_back(hexText(data, length));
    }
    std::vector<std::string> messages;
};

std::vector<std::string> parse(const std::string& input, bool passClock = true,
                               bool passSensing = true) {
    MidiStreamParser parser;
    parser.setPassTimingClock(passClock);
    parser.setPassActiveSensing(passSensing);
    Collect sink;
    const std::vector<uint8_t> bytes = hex(input);
    parser.parse(bytes.data(), int(bytes.size()), sink);
    return sink.messages;
}

struct Case {
    const char* name;
    const char* input;
    std::vector<std::string> expected;
};

TEST(MidiStreamParser, DeliversCompleteMessages) {
    const Case cases[] = {
        {"note on", "90 3C 40", {"90 3C 40"}},
        {"running status", "90 3C 40 3E 40", {"90 3C 40", "90 3E 40"}},
        {"running status of a 2-byte message", "C0 05 06", {"C0 05", "C0 06"}},
        {"clock inside a note on", "90 F8 3C 40", {"F8", "90 3C 40"}},
        {"clock between data bytes", "90 3C F8 40", {"F8", "90 3C 40"}},
        {"real-time bytes inside sysex", "F0 01 FE 02 F7", {"FE", "F0 01 02 F7"}},
        {"stray data without running status", "3C 40 90 3C 40", {"90 3C 40"}},
        {"data after sysex has no running status", "F0 01 F7 3C 40", {"F0 01 F7"}},
        {"system common clears running status", "90 3C 40 F1 01 3C 40", {"90 3C 40", "F1 01"}},
        {"song position", "F2 01 02", {"F2 01 02"}},
        {"tune request alone, note completes", "90 3C F6 40", {"F6", "90 3C 40"}},
        {"undefined status alone", "F4 F5 F9 FD", {"F4", "F5", "F9", "FD"}},
        {"interrupted message delivered as it came", "90 3C B0 07 64", {"90 3C", "B0 07 64"}},
        {"unterminated sysex ends at the next status",
         "F0 01 02 90 3C 40",
         {"F0 01 02", "90 3C 40"}},
        {"lone end of exclusive", "F7", {"F7"}},
        {"truncated message stays pending", "90 3C", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse(c.input), c.expected) << c.name;
}

TEST(MidiStreamParser, DropsClockAndSensingUnlessPassed) {
    EXPECT_EQ(parse("F8 FE 90 3C 40", false, true), (std::vector<std::string>{"FE", "90 3C 40"}));
    EXPECT_EQ(parse("F8 FE 90 3C 40", true, false), (std::vector<std::string>{"F8", "90 3C 40"}));
    EXPECT_EQ(parse("F8 FE FA", false, false), (std::vector<std::string>{"FA"}));
}

TEST(MidiStreamParser, SplitsLongSystemExclusiveIntoChunks) {
    MidiStreamParser parser;
    std::vector<std::vector<uint8_t>> chunks;
    struct Keep : MidiStreamParser::Sink {
        std::vector<std::vector<uint8_t>>* chunks;
        void midiMessage(const uint8_t* data, int length) override {
            chunks->emplace_back(data, data + length);
        }
    } sink;
    sink.chunks = &chunks;

    std::vector<uint8_t> message(5000, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    parser.parse(message.data(), int(message.size()), sink);

    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].size(), 2048u);
    EXPECT_EQ(chunks[1].size(), 2048u);
    EXPECT_EQ(chunks[2].size(), 904u);
    EXPECT_EQ(chunks[0].front(), 0xF0);
    EXPECT_EQ(chunks[2].back(), 0xF7);
    std::vector<uint8_t> joined;
    for (const auto& chunk : chunks)
        joined.insert(joined.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(joined, message);
    EXPECT_TRUE(parser.isIdle());

    // A huge unterminated one never grows a chunk past the limit and ends at the next status.
    chunks.clear();
    std::vector<uint8_t> huge(1 << 20, 0x22);
    huge.front() = 0xF0;
    parser.parse(huge.data(), int(huge.size()), sink);
    const uint8_t note[] = {0x90, 0x3C, 0x40};
    parser.parse(note, 3, sink);
    size_t total = 0;
    for (size_t i = 0; i + 1 < chunks.size(); ++i) {
        EXPECT_LE(chunks[i].size(), size_t(MidiStreamParser::kMaxChunk));
        total += chunks[i].size();
    }
    EXPECT_EQ(total, huge.size());
    EXPECT_EQ(chunks.back(), std::vector<uint8_t>(note, note + 3));
}

TEST(MidiStreamParser, ResetForgetsRunningStatus) {
    MidiStreamParser parser;
    Collect sink;
    const std::vector<uint8_t> first = hex("90 3C");
    parser.parse(first.data(), int(first.size()), sink);
    parser.reset();
    const std::vector<uint8_t> rest = hex("40 3E 40");
    parser.parse(rest.data(), int(rest.size()), sink);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(MidiStreamParser, MessageLengths) {
    const std::pair<int, int> cases[] = {
        {0x3C, -1}, {0x80, 3}, {0x9F, 3}, {0xA0, 3}, {0xB0, 3}, {0xC0, 2}, {0xD5, 2}, {0xE0, 3},
        {0xF0, 0},  {0xF1, 2}, {0xF2, 3}, {0xF3, 2}, {0xF4, 0}, {0xF5, 0}, {0xF6, 1}, {0xF7, 0},
        {0xF8, 1},  {0xF9, 0}, {0xFA, 1}, {0xFD, 0}, {0xFE, 1}, {0xFF, 1},
    };
    for (const auto& [status, length] : cases)
        EXPECT_EQ(MidiStreamParser::messageLength(uint8_t(status)), length) << std::hex << status;
}

} // namespace
