#include "midi/SimpleMidiMessage.h"

#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "foundation/XmlElement.h"
#include "midi/MidiMessageType.h"

#include "MidiTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace {

using namespace MidiTestSupport;
using Msg = Tr::SimpleMidiMessage;
using Tr::VarOrNumber;

constexpr uint32_t kAnyCh = Msg::kChannelAny | Msg::kChannelSetVar;
constexpr uint32_t kAny1 = Msg::kValue1Any | Msg::kValue1SetVar;
constexpr uint32_t kAny2 = Msg::kValue2Any | Msg::kValue2SetVar;

// The parts of a simple message as the editor installs them.
struct Parts {
    int type;
    VarOrNumber channel;
    VarOrNumber value1;
    VarOrNumber value2;
    uint32_t flags;
    const char* channelVar; // "" for none
    const char* value1Var;
    const char* value2Var;
    int paramMsb = 0;
    int paramLsb = 0;
};

int indexOrNone(const char* name) {
    return *name ? index(name) : -1;
}

void install(Msg& message, const Parts& parts, bool incoming) {
    message.set(parts.type, parts.channel, parts.value1, parts.value2, parts.paramMsb,
                parts.paramLsb, parts.flags, indexOrNone(parts.channelVar),
                indexOrNone(parts.value1Var), indexOrNone(parts.value2Var), incoming);
}

class SimpleMidiMessageTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }

    void reset() {
        globals.clearGlobalVariables();
        for (int32_t& local : locals)
            local = 0;
        globals.setVariable(index("ss"), 2, locals);
        globals.setVariable(index("gb"), 60, locals);
    }

    int32_t value(const char* name) { return globals.getVariable(index(name), locals); }

    bool feed(Msg& message, const char* input) {
        const std::vector<uint8_t> data = bytes(input);
        Msg::Values actual;
        return message.matches(data.data(), static_cast<int>(data.size()), locals, &globals,
                               actual);
    }

    Tr::TGlobalTranslateParams globals;
    int32_t locals[Tr::kLocalVariableCount] = {};
};

struct MatchCase {
    const char* what;
    Parts parts;
    const char* input;
    bool matches;
    std::initializer_list<std::pair<const char*, int>> captured;
};

TEST_F(SimpleMidiMessageTest, SingleMessagesMatchAndCapture) {
    using namespace Tr;
    const MatchCase cases[] = {
        {"note on fixed",
         {kMidiNoteOn, num(0), num(60), num(100), 0, "", "", ""},
         "90 3C 64",
         true,
         {}},
        {"other velocity",
         {kMidiNoteOn, num(0), num(60), num(100), 0, "", "", ""},
         "90 3C 63",
         false,
         {}},
        {"other channel",
         {kMidiNoteOn, num(0), num(60), num(100), 0, "", "", ""},
         "91 3C 64",
         false,
         {}},
        {"velocity 0 is no note on",
         {kMidiNoteOn, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         "90 3C 00",
         false,
         {}},
        {"velocity 0 is a note off",
         {kMidiNoteOff, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         "90 3C 00",
         true,
         {{"pp", 60}, {"qq", 0}}},
        {"note off",
         {kMidiNoteOff, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         "80 3C 40",
         true,
         {{"pp", 60}, {"qq", 64}}},
        {"note on is no note off",
         {kMidiNoteOff, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         "90 3C 01",
         false,
         {}},
        {"capture into locals and globals",
         {kMidiNoteOn, num(0), num(0), num(0), kAnyCh | kAny1 | kAny2, "pp", "ga", "z9"},
         "93 3C 40",
         true,
         {{"pp", 3}, {"ga", 60}, {"z9", 64}}},
        {"set variable of a value that must match",
         {kMidiNoteOn, num(0), num(60), num(0), Msg::kValue1SetVar | Msg::kValue2Any, "", "rr", ""},
         "90 3C 7F",
         true,
         {{"rr", 60}}},
        {"set variable, value differs",
         {kMidiNoteOn, num(0), num(60), num(0), Msg::kValue1SetVar | Msg::kValue2Any, "", "rr", ""},
         "90 3D 7F",
         false,
         {{"rr", 0}}},
        {"values given by variables",
         {kMidiNoteOn, var("ss"), var("gb"), num(0), Msg::kValue2Any, "", "", ""},
         "92 3C 10",
         true,
         {}},
        {"channel variable differs",
         {kMidiNoteOn, var("ss"), var("gb"), num(0), Msg::kValue2Any, "", "", ""},
         "91 3C 10",
         false,
         {}},
        {"poly pressure",
         {kMidiPolyphonicKeyPressure, num(0), num(60), num(0), kAny2, "", "", "pp"},
         "A0 3C 11",
         true,
         {{"pp", 17}}},
        {"control change",
         {kMidiControlChange, num(15), num(7), num(0), kAny2, "", "", "pp"},
         "BF 07 64",
         true,
         {{"pp", 100}}},
        {"program change",
         {kMidiProgramChange, num(5), num(0), num(0), kAny1, "", "pp", ""},
         "C5 0A",
         true,
         {{"pp", 10}}},
        {"program change of 3 bytes",
         {kMidiProgramChange, num(5), num(0), num(0), kAny1, "", "pp", ""},
         "C5 0A 00",
         false,
         {}},
        {"channel pressure",
         {kMidiChannelPressure, num(0), num(0x22), num(0), 0, "", "", ""},
         "D0 22",
         true,
         {}},
        {"pitch bend centre",
         {kMidiPitchBend, num(0), num(0), num(0), kAny1, "", "pp", ""},
         "E0 00 40",
         true,
         {{"pp", 0}}},
        {"pitch bend bottom",
         {kMidiPitchBend, num(0), num(0), num(0), kAny1, "", "pp", ""},
         "E0 00 00",
         true,
         {{"pp", -8192}}},
        {"pitch bend unipolar",
         {kMidiPitchBend, num(0), num(0), num(0), kAny1 | Msg::kPitchUnipolar, "", "pp", ""},
         "E0 00 40",
         true,
         {{"pp", 8192}}},
        {"pitch bend fixed",
         {kMidiPitchBend, num(0), num(8191), num(0), 0, "", "", ""},
         "E0 7F 7F",
         true,
         {}},
        {"MTC quarter frame",
         {kMidiMTCQuarterFrame, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         "F1 3A",
         true,
         {{"pp", 3}, {"qq", 10}}},
        {"song position",
         {kMidiSongPosition, num(0), num(0), num(0), kAny1, "", "pp", ""},
         "F2 01 01",
         true,
         {{"pp", 129}}},
        {"song select",
         {kMidiSongSelect, num(0), num(5), num(0), 0, "", "", ""},
         "F3 05",
         true,
         {}},
        {"timing clock", {kMidiTimingClock, num(0), num(0), num(0), 0, "", "", ""}, "F8", true, {}},
        {"start", {kMidiStart, num(0), num(0), num(0), 0, "", "", ""}, "FA", true, {}},
        {"stop is no start", {kMidiStart, num(0), num(0), num(0), 0, "", "", ""}, "FC", false, {}},
        {"reset", {kMidiReset, num(0), num(0), num(0), 0, "", "", ""}, "FF", true, {}},
        {"active sensing",
         {kMidiActiveSensing, num(0), num(0), num(0), 0, "", "", ""},
         "FE",
         true,
         {}},
        {"system exclusive never",
         {kMidiSystemExclusive, num(0), num(0), num(0), 0, "", "", ""},
         "F0 01 F7",
         false,
         {}},
        {"type 0 never",
         {kMidiInvalid, num(0), num(0), num(0), 0xFF, "", "", ""},
         "90 3C 40",
         false,
         {}},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        Msg message;
        install(message, c.parts, true);
        EXPECT_EQ(feed(message, c.input), c.matches);
        for (const auto& [name, expected] : c.captured)
            EXPECT_EQ(value(name), expected) << name;
    }
}

struct Step {
    const char* input;
    bool matches;
    int pp = 0; // value 1 capture (when matched)
    int qq = 0; // value 2 capture (when matched)
    int rr = 0; // channel capture (when matched)
};

struct StreamCase {
    const char* what;
    Parts parts;
    std::vector<Step> steps;
};

TEST_F(SimpleMidiMessageTest, MultiMessageStreams) {
    using namespace Tr;
    const StreamCase cases[] = {
        {"14-bit controller 7: MSB then LSB",
         {kMidiControlChange14, num(0), num(7), num(0), kAny2, "", "", "qq"},
         {{"B0 07 10", false},
          {"B0 27 05", true, 0, 0x10 << 7 | 5},
          // an LSB alone, and LSB before MSB, never complete
          {"B0 27 05", false},
          {"B0 07 11", false},
          {"B0 27 06", true, 0, 0x11 << 7 | 6},
          // another controller breaks the pair
          {"B0 07 12", false},
          {"B0 08 00", false},
          {"B0 27 06", false}}},
        {"14-bit controller on any channel, interleaved",
         {kMidiControlChange14, num(0), num(7), num(0), kAnyCh | kAny2, "rr", "", "qq"},
         {{"B0 07 01", false},
          {"B1 07 02", false},
          {"B0 27 03", false},
          {"B1 27 04", true, 0, 2 << 7 | 4, 1}}},
        {"14-bit controller, any controller",
         {kMidiControlChange14, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         {{"B0 01 10", false},
          {"B0 21 05", true, 1, 0x10 << 7 | 5},
          {"B0 01 10", false},
          {"B0 22 05", false},
          {"B0 21 06", true, 1, 0x10 << 7 | 6},
          {"B0 01 10", false},
          {"B0 40 00", false},
          {"B0 21 06", false}}},
        {"bank change",
         {kMidiBankChange, num(0), num(0), num(0), kAny1 | kAny2, "", "pp", "qq"},
         {{"C0 05", false},
          {"B0 00 01", false},
          {"B0 20 02", false},
          {"C0 05", true, 1 << 7 | 2, 5},
          // the bank stays selected
          {"C0 06", true, 1 << 7 | 2, 6},
          // a new MSB keeps the last LSB
          {"B0 00 03", false},
          {"C0 07", true, 3 << 7 | 2, 7},
          // another controller clears the bank
          {"B0 07 00", false},
          {"C0 08", false}}},
        {"bank change on any channel, interleaved",
         {kMidiBankChange, num(0), num(0), num(0), kAnyCh | kAny1 | kAny2, "rr", "pp", "qq"},
         {{"B0 00 01", false},
          {"B1 00 02", false},
          {"B1 20 03", false},
          {"C0 04", false},
          {"C1 04", true, 2 << 7 | 3, 4, 1}}},
        {"NRPN 7-bit with the null parameter",
         {kMidiNRPN7, num(0), num(0), num(0), kAny1, "", "pp", "", 1, 2},
         {{"B0 63 01", false},
          {"B0 62 02", false},
          {"B0 06 40", true, 0x40},
          {"B0 06 41", true, 0x41},
          {"B0 65 7F", false},
          {"B0 64 7F", false},
          {"B0 06 42", false},
          // another parameter
          {"B0 63 01", false},
          {"B0 62 03", false},
          {"B0 06 40", false},
          {"B0 63 01", false},
          {"B0 62 02", false},
          {"B0 06 10", true, 0x10},
          // messages on another channel are not seen
          {"B1 06 11", false},
          {"B0 06 12", true, 0x12}}},
        {"NRPN 14-bit, any parameter, any channel",
         {kMidiNRPN14, num(0), num(0), num(0), kAnyCh | kAny1 | Msg::kParamAny, "rr", "pp", ""},
         {{"B0 63 05", false},
          {"B0 62 06", false},
          {"B1 06 10", false},
          {"B0 06 10", false},
          {"B0 26 20", false},
          {"B2 63 05", false},
          {"B2 62 06", false},
          {"B2 06 10", false},
          {"B2 26 20", true, 0x10 << 7 | 0x20, 0, 2},
          {"B2 06 11", false},
          {"B2 26 21", true, 0x11 << 7 | 0x21, 0, 2}}},
        {"RPN 7-bit with a fixed value",
         {kMidiRPN7, num(0), num(2), num(0), 0, "", "", "", 0, 0},
         {{"B0 65 00", false},
          {"B0 64 00", false},
          {"B0 06 02", true},
          {"B0 06 03", false},
          {"B0 06 02", true}}},
        {"RPN 14-bit",
         {kMidiRPN14, num(0), num(0), num(0), kAny1, "", "pp", "", 0, 1},
         {{"B0 65 00", false}, {"B0 64 01", false}, {"B0 06 01", false}, {"B0 26 00", true, 128}}},
        {"RPN increment",
         {kMidiRPNDataInc, num(0), num(0), num(0), 0, "", "", "", 0, 0},
         {{"B0 65 00", false}, {"B0 64 00", false}, {"B0 60 01", true}, {"B0 61 01", false}}},
        {"NRPN decrement",
         {kMidiNRPNDataDec, num(0), num(0), num(0), 0, "", "", "", 1, 2},
         {{"B0 63 01", false}, {"B0 62 02", false}, {"B0 61 00", true}, {"B0 60 00", false}}},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        Msg message;
        install(message, c.parts, true);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.input);
            reset();
            ASSERT_EQ(feed(message, step.input), step.matches);
            if (!step.matches)
                continue;
            if (*c.parts.value1Var) {
                EXPECT_EQ(value("pp"), step.pp);
            }
            if (*c.parts.value2Var) {
                EXPECT_EQ(value("qq"), step.qq);
            }
            if (*c.parts.channelVar) {
                EXPECT_EQ(value("rr"), step.rr);
            }
        }
    }
}

TEST_F(SimpleMidiMessageTest, CopiesKeepTheRuntimeState) {
    Msg message;
    install(message, {Tr::kMidiControlChange14, num(0), num(7), num(0), kAny2, "", "", "qq"}, true);
    ASSERT_FALSE(feed(message, "B0 07 10"));
    EXPECT_EQ(message.flagsWithState(), kAny2 | Msg::kStateDataMsb);
    Msg copy(message);
    EXPECT_TRUE(feed(copy, "B0 27 05"));
    EXPECT_TRUE(feed(message, "B0 27 05"));
    // a new install starts from nothing
    ASSERT_FALSE(feed(message, "B0 07 10"));
    install(message, {Tr::kMidiControlChange14, num(0), num(7), num(0), kAny2, "", "", "qq"}, true);
    EXPECT_FALSE(feed(message, "B0 27 05"));
}

struct BuildCase {
    Parts parts;
    const char* bytes;
};

TEST_F(SimpleMidiMessageTest, OutgoingBytesFromVariables) {
    using namespace Tr;
    // pp = 0x3C, qq = 0x40, ga = 2053, gb = 60 (fixture), ss = 2
    const BuildCase cases[] = {
        {{kMidiNoteOn, num(0), var("pp"), var("qq"), 0, "", "", ""}, "90 3C 40"},
        {{kMidiNoteOff, var("ss"), var("pp"), num(0), 0, "", "", ""}, "82 3C 00"},
        {{kMidiPolyphonicKeyPressure, num(15), var("gb"), num(1), 0, "", "", ""}, "AF 3C 01"},
        // values are not cut to 7 bits, the channel keeps its low nibble
        {{kMidiControlChange, num(0x12), num(7), num(0x1FF), 0, "", "", ""}, "B2 07 FF"},
        {{kMidiProgramChange, num(3), num(10), num(0), 0, "", "", ""}, "C3 0A"},
        {{kMidiChannelPressure, num(0), var("qq"), num(0), 0, "", "", ""}, "D0 40"},
        {{kMidiPitchBend, num(0), num(0), num(0), 0, "", "", ""}, "E0 00 40"},
        {{kMidiPitchBend, num(0), num(-8192), num(0), 0, "", "", ""}, "E0 00 00"},
        {{kMidiPitchBend, num(0), num(8191), num(0), 0, "", "", ""}, "E0 7F 7F"},
        {{kMidiPitchBend, num(0), num(8192), num(0), Msg::kPitchUnipolar, "", "", ""}, "E0 00 40"},
        {{kMidiMTCQuarterFrame, num(0), num(3), num(10), 0, "", "", ""}, "F1 3A"},
        {{kMidiSongPosition, num(0), num(129), num(0), 0, "", "", ""}, "F2 01 01"},
        {{kMidiSongSelect, num(0), num(5), num(0), 0, "", "", ""}, "F3 05"},
        {{kMidiTuneRequest, num(0), num(0), num(0), 0, "", "", ""}, "F6"},
        {{kMidiTimingClock, num(0), num(0), num(0), 0, "", "", ""}, "F8"},
        {{kMidiStart, num(0), num(0), num(0), 0, "", "", ""}, "FA"},
        {{kMidiContinue, num(0), num(0), num(0), 0, "", "", ""}, "FB"},
        {{kMidiStop, num(0), num(0), num(0), 0, "", "", ""}, "FC"},
        {{kMidiActiveSensing, num(0), num(0), num(0), 0, "", "", ""}, "FE"},
        {{kMidiReset, num(0), num(0), num(0), 0, "", "", ""}, "FF"},
        {{kMidiControlChange14, num(0), num(7), var("ga"), 0, "", "", ""}, "B0 07 10 B0 27 05"},
        {{kMidiBankChange, num(1), num(130), num(5), 0, "", "", ""}, "B1 00 01 B1 20 02 C1 05"},
        {{kMidiNRPN7, num(0), num(0x40), num(0), 0, "", "", "", 1, 2},
         "B0 63 01 B0 62 02 B0 06 40 B0 65 7F B0 64 7F"},
        {{kMidiNRPN14, num(0), num(0x10 << 7 | 0x20), num(0), 0, "", "", "", 1, 2},
         "B0 63 01 B0 62 02 B0 06 10 B0 26 20 B0 65 7F B0 64 7F"},
        {{kMidiNRPNDataInc, num(0), num(0), num(0), 0, "", "", "", 1, 2},
         "B0 63 01 B0 62 02 B0 60 00 B0 65 7F B0 64 7F"},
        {{kMidiNRPNDataDec, num(0), num(0), num(0), 0, "", "", "", 1, 2},
         "B0 63 01 B0 62 02 B0 61 00 B0 65 7F B0 64 7F"},
        {{kMidiRPN7, num(0), num(2), num(0), 0, "", "", "", 0, 0},
         "B0 65 00 B0 64 00 B0 06 02 B0 65 7F B0 64 7F"},
        {{kMidiRPN14, num(0), num(128), num(0), 0, "", "", "", 0, 1},
         "B0 65 00 B0 64 01 B0 06 01 B0 26 00 B0 65 7F B0 64 7F"},
        {{kMidiRPNDataInc, num(0), num(0), num(0), 0, "", "", "", 0, 0},
         "B0 65 00 B0 64 00 B0 60 00 B0 65 7F B0 64 7F"},
        {{kMidiRPNDataDec, num(0), num(0), num(0), 0, "", "", "", 0, 0},
         "B0 65 00 B0 64 00 B0 61 00 B0 65 7F B0 64 7F"},
        {{kMidiSystemExclusive, num(0), num(0), num(0), 0, "", "", ""}, ""},
        {{kMidiInvalid, num(0), num(0), num(0), 0, "", "", ""}, ""},
    };
    globals.setVariable(index("pp"), 0x3C, locals);
    globals.setVariable(index("qq"), 0x40, locals);
    globals.setVariable(index("ga"), 2053, locals);
    for (const BuildCase& c : cases) {
        SCOPED_TRACE(Tr::MidiMessageTypeInfo::key(c.parts.type));
        Msg message;
        install(message, c.parts, false);
        uint8_t out[Msg::kMaxBytes];
        Msg::Values actual;
        const int n = message.build(out, locals, &globals, actual);
        EXPECT_EQ(hex(out, n), c.bytes);
    }
}

TEST_F(SimpleMidiMessageTest, Descriptions) {
    using namespace Tr;
    struct Case {
        Parts parts;
        bool withActual;
        const char* text;
    };
    const Case cases[] = {
        {{kMidiNoteOn, num(0), num(60), num(100), 0, "", "", ""},
         false,
         "Note On on ch. 1 with note:60 (0x3C) and velocity:100 (0x64)"},
        {{kMidiNoteOn, num(0), num(0), num(0), kAnyCh | kAny1 | kAny2, "pp", "qq", "rr"},
         false,
         "Note On on any channel set 'pp' to ch. with any note and 'qq' to note with any velocity "
         "and 'rr' to velocity"},
        {{kMidiNoteOn, num(0), num(0), num(0), kAnyCh | kAny1 | kAny2, "pp", "qq", "rr"},
         true,
         "Note On on any channel=3 set 'pp' to ch. with any note and 'qq' to note=60 with any "
         "velocity and 'rr' to velocity=64"},
        {{kMidiNoteOn, num(0), num(0), num(0), Msg::kChannelAny | kAny1 | Msg::kValue2Any, "", "qq",
          ""},
         false,
         "Note On on any channel with any note set 'qq' to note with any velocity"},
        {{kMidiControlChange, var("ss"), var("pp"), num(5), 0, "", "", ""},
         true,
         "Control Change on ch.'ss'=2 (ch.3) with CC#:pp=60 and value:5 (0x05)"},
        {{kMidiPitchBend, num(0), num(-100), num(0), 0, "", "", ""},
         false,
         "Pitch Bend on ch. 1 with bend:-100 (0xFFFFFF9C)"},
        {{kMidiNRPN7, num(0), var("pp"), num(0), 0, "", "", "", 1, 2},
         true,
         "NRPN 7-bit with MSB=1 (0x01) LSB=2 (0x02) on ch. 1 with value:pp=60"},
        {{kMidiRPNDataInc, num(4), num(0), num(0), 0, "", "", "", 0, 0},
         false,
         "RPN Data Increment with MSB=0 (0x00) LSB=0 (0x00) on ch. 5"},
        {{kMidiTimingClock, num(0), num(0), num(0), 0, "", "", ""}, true, "Timing Clock"},
        {{kMidiSongPosition, num(0), num(129), num(0), 0, "", "", ""},
         false,
         "Song Position Pointer with song position:129 (0x81)"},
    };
    const Msg::Values actual{2, 60, 64};
    for (const Case& c : cases) {
        Msg message;
        install(message, c.parts, true);
        EXPECT_EQ(str(message.describe(c.withActual ? &actual : nullptr)), c.text);
    }
}

TEST_F(SimpleMidiMessageTest, ElementFormsRoundTrip) {
    using namespace Tr;
    struct Case {
        Parts parts;
        bool incoming;
        const char* xml;
    };
    const Case cases[] = {
        {{kMidiNoteOn, num(0), num(60), num(0), kAnyCh | Msg::kValue2Any, "pp", "", ""},
         true,
         R"(<Simple Type="NoteOn"><Channel var="pp" Type="SetVar"/><Value1 num="0x3C"/>)"
         R"(<Value2 num="0x00" Type="Any"/></Simple>)"},
        {{kMidiControlChange, var("ss"), num(7), var("qq"), 0, "", "", ""},
         false,
         R"(<Simple Type="ControlChange"><Channel var="ss"/><Value1 num="0x07"/>)"
         R"(<Value2 var="qq"/></Simple>)"},
        // a value that must match and is also stored needs the extended form
        {{kMidiNoteOn, num(3), num(60), num(0), Msg::kValue1SetVar | kAny2, "", "qq", "rr"},
         true,
         R"(<Simple Type="NoteOn"><Channel num="3" Type="New Version Required"/>)"
         R"(<Value1 num="60" setvar="qq" Type="New Version Required"/>)"
         R"(<Value2 setvar="rr" Type="New Version Required"/></Simple>)"},
        {{kMidiNoteOn, num(0), num(60), num(0),
          Msg::kChannelAny | Msg::kValue1SetVar | Msg::kValue2Any, "", "qq", ""},
         true,
         R"(<Simple Type="NoteOn"><Value1 num="60" setvar="qq" Type="New Version Required"/>)"
         R"(</Simple>)"},
        {{kMidiPitchBend, num(0), num(-8192), num(0), Msg::kPitchUnipolar, "", "", ""},
         false,
         R"(<Simple Type="PitchBend" Representation="unipolar"><Channel num="0"/>)"
         R"(<Value1 num="0xFFFFE000"/></Simple>)"},
        {{kMidiNRPN14, num(1), num(0), num(0), kAny1, "", "pp", "", 99, 127},
         true,
         R"(<Simple Type="NRPN14" MSB="99" LSB="127"><Channel num="1"/>)"
         R"(<Value1 var="pp" Type="SetVar"/></Simple>)"},
        {{kMidiTimingClock, num(0), num(0), num(0), 0, "", "", ""},
         true,
         R"(<Simple Type="TimingClock"/>)"},
        {{kMidiInvalid, num(0), num(0), num(0), 0, "", "", ""}, true, R"(<Simple Type=""/>)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        Msg message;
        install(message, c.parts, c.incoming);
        Vorn::XmlElement element("Simple");
        message.writeElement(element);
        ASSERT_EQ(str(element.toString()), c.xml);

        RecordingErrors errors;
        Msg loaded;
        ASSERT_TRUE(loaded.readElement(element, c.incoming, &errors));
        EXPECT_TRUE(errors.lines.empty());
        EXPECT_EQ(loaded.type(), message.type());
        EXPECT_EQ(loaded.flags(), message.flags());
        EXPECT_EQ(loaded.channel(), message.channel());
        EXPECT_EQ(loaded.value1(), message.value1());
        EXPECT_EQ(loaded.value2(), message.value2());
        EXPECT_EQ(loaded.channelVar(), message.channelVar());
        EXPECT_EQ(loaded.value1Var(), message.value1Var());
        EXPECT_EQ(loaded.value2Var(), message.value2Var());
        Vorn::XmlElement again("Simple");
        loaded.writeElement(again);
        EXPECT_EQ(str(again.toString()), c.xml);
    }
}

TEST_F(SimpleMidiMessageTest, LoadingReportsAndNormalises) {
    struct Case {
        const char* xml;
        bool incoming;
        bool loads;
        std::vector<std::string> reports;
        uint32_t flags;
    };
    const Case cases[] = {
        {R"(<Simple Type="Bogus"/>)", true, false, {"0:invalid MIDI type: 'Bogus'"}, 0},
        {R"(<Simple Type="noteon"/>)", true, false, {"0:invalid MIDI type: 'noteon'"}, 0},
        // missing fields match anything
        {R"(<Simple Type="NoteOn"/>)", true, true, {}, 0x15},
        {R"(<Simple Type="PitchBend" Representation="sideways"><Channel num="0"/>)"
         R"(<Value1 num="0"/></Simple>)",
         true,
         true,
         {"1:invalid pitch bend representation: 'sideways'"},
         0},
        {R"(<Simple Type="ProgramChange"><Channel num="0"/><Value1 num="0x0G"/></Simple>)",
         true,
         true,
         {"1:invalid Value1 variable."},
         0},
        {R"(<Simple Type="ProgramChange"><Channel num="0" Type="Weird"/><Value1 num="1"/>)"
         R"(</Simple>)",
         true,
         true,
         {"1:invalid Channel type: 'Weird'"},
         0},
        {R"(<Simple Type="ProgramChange"><Channel num="0"/>)"
         R"(<Value1 Type="New Version Required" setvar="q"/></Simple>)",
         true,
         true,
         {"1:Variable to set to value1 is not specified."},
         0x4},
        {R"(<Simple Type="ProgramChange"><Channel Type="SetVar" num="1"/><Value1 num="1"/>)"
         R"(</Simple>)",
         true,
         true,
         {"1:Variable to set channel is not given."},
         0x1},
        {R"(<Simple Type="NoteOn"><Channel num="0" Type="Any"/><Value1 var="pp" Type="SetVar"/>)"
         R"(<Value2 var="qq" Type="SetVar"/></Simple>)",
         false,
         true,
         {"2:Cannot send to any channel.", "2:Cannot send and set a variable to note.",
          "2:Cannot set variable to value 1 in outgoing action",
          "2:Cannot send and set a variable to velocity.",
          "2:Cannot set variable to value 2 in outgoing action"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        Vorn::VString error;
        const auto element = Vorn::XmlElement::parse(c.xml, error);
        ASSERT_TRUE(element) << error.c_str();
        RecordingErrors errors;
        Msg message;
        EXPECT_EQ(message.readElement(*element, c.incoming, &errors), c.loads);
        EXPECT_EQ(errors.lines, c.reports);
        EXPECT_EQ(message.flags(), c.flags);
    }
}

TEST_F(SimpleMidiMessageTest, AnyChannelLoadedForOutputSendsOnChannelZero) {
    Vorn::VString error;
    const auto element = Vorn::XmlElement::parse(
        R"(<Simple Type="NoteOn"><Channel num="5" Type="Any"/><Value1 num="0x3C"/>)"
        R"(<Value2 num="0x40"/></Simple>)",
        error);
    ASSERT_TRUE(element);
    RecordingErrors errors;
    Msg message;
    ASSERT_TRUE(message.readElement(*element, false, &errors));
    EXPECT_EQ(errors.lines, std::vector<std::string>{"2:Cannot send to any channel."});
    uint8_t out[Msg::kMaxBytes];
    Msg::Values actual;
    EXPECT_EQ(hex(out, message.build(out, locals, &globals, actual)), "90 3C 40");
}

TEST_F(SimpleMidiMessageTest, InstallingFromPartsNormalises) {
    Msg message;
    // fields the type lacks are cleared, the parameter kept only for 21-28, outgoing flags masked
    message.set(Tr::kMidiProgramChange, num(2), num(5), num(9), 3, 4, 0xFFFF, 1, 2, 3, false);
    EXPECT_EQ(message.flags(), 0xFF00u);
    EXPECT_EQ(message.value2(), VarOrNumber());
    EXPECT_EQ(message.value2Var(), -1);
    EXPECT_EQ(message.paramMsb(), 0);
    message.set(Tr::kMidiNRPN7, num(2), num(5), num(9), 0x103, 4, kAnyCh | kAny1, 1, 2, 3, true);
    EXPECT_EQ(message.paramMsb(), 3);
    EXPECT_EQ(message.paramLsb(), 4);
    EXPECT_EQ(message.channel(), VarOrNumber());
    EXPECT_EQ(message.value1(), VarOrNumber());
    EXPECT_EQ(message.flags(), kAnyCh | kAny1);
    // an invalid capture variable drops the capture
    message.set(Tr::kMidiNoteOn, num(0), num(0), num(0), 0, 0, kAny1, 0, 500, 0, true);
    EXPECT_EQ(message.flags(), Msg::kValue1Any);
}

} // namespace
