#include "midi/TTransMidiAction.h"

#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "engine/TTransList.h"
#include "foundation/VException.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManager.h"
#include "midi/MidiMessageType.h"
#include "midi/MidiSystemFactory.h"
#include "platform/fake/FakeMidiSystem.h"

#include "MidiTestSupport.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace MidiTestSupport;
using Tr::TTransMidiAction;
using Vorn::VString;

// Keeps the incoming and outgoing log lines.
class RecordingLog : public Tr::TLogListener {
public:
    void logMessage(const VString& text) override { add("message: ", text); }
    void logIncoming(const VString& text, int, int, int) override { add("in: ", text); }
    void logOutgoing(const VString& text, int, int, int) override { add("out: ", text); }
    void logRule(const VString& text, int, int, int) override { add("rule: ", text); }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> hold(mutex_);
        std::vector<std::string> result;
        result.swap(lines_);
        return result;
    }

private:
    void add(const char* kind, const VString& text) {
        std::lock_guard<std::mutex> hold(mutex_);
        lines_.push_back(kind + str(text));
    }
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class TTransMidiActionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tr::registerMidiActions();
        globals.setLogListener(&log);
        globals.setPresetHandler(&project);
    }

    std::unique_ptr<Tr::TTransAction> parse(const char* text, bool incoming) {
        std::unique_ptr<Tr::TTransAction> action = Tr::createAction(text, incoming);
        if (action)
            action->fromString(text);
        return action;
    }

    bool deliver(TTransMidiAction& action, const char* input, int slot,
                 Tr::TTransList* preset = nullptr) {
        const std::vector<uint8_t> data = bytes(input);
        Tr::TTransEvent event;
        event.clear();
        event.type = Tr::kTypeMidi;
        event.key = slot;
        event.data = data.data();
        event.dataLength = static_cast<int>(data.size());
        event.globals = &globals;
        event.preset = preset;
        const bool matched = action.matches(event);
        for (int i = 0; i < Tr::kLocalVariableCount; ++i)
            lastLocals[i] = event.locals[i];
        return matched;
    }

    Tr::MIDIAliasManager aliases; // the current alias manager while the test runs
    Tr::TGlobalTranslateParams globals;
    Tr::TPresetHandler project{&globals};
    RecordingLog log;
    int32_t lastLocals[Tr::kLocalVariableCount] = {};
};

TEST_F(TTransMidiActionTest, RegisteredUnderItsTags) {
    for (const char* tag : {"MID1", "MID2", "MID3"}) {
        Tr::TActionRegistryEntry entry;
        ASSERT_TRUE(Tr::findAction(tag, entry)) << tag;
        EXPECT_EQ(entry.type, Tr::kTypeMidi);
        EXPECT_EQ(entry.capabilities, Tr::kCapabilityIncoming | Tr::kCapabilityOutgoing);
        const auto action = Tr::createAction(VString(tag) + "904060", true);
        ASSERT_TRUE(dynamic_cast<TTransMidiAction*>(action.get()));
        EXPECT_EQ(action->getExecutionLevel(), Tr::kLevelInput);
    }
}

TEST_F(TTransMidiActionTest, StoredFormsRoundTripByteForByte) {
    const struct {
        const char* text;
        bool incoming;
    } cases[] = {
        {"MID2MIDD0004testMIDA00010003In1904060", true},
        {"MID2MIDA00020004Out10004Out2B007pp", false},
        {"MID1904060", true},
        {"MID1MIDD0005 a b F043ppF7", true},
        {"MID1", true},
        // a raw text beginning with "MIDD" (variable mi, byte DD) keeps an empty description
        {"MID1MIDD0000MIDD0102", true},
        // a text that does not parse is kept as it was
        {"MID1904", true},
        {"MID3<Incoming Action=\"MIDI\"><Simple Type=\"NoteOn\"><Channel var=\"pp\" "
         "Type=\"SetVar\"/><Value1 num=\"0x3C\"/><Value2 num=\"0x00\" Type=\"Any\"/></Simple>"
         "</Incoming>",
         true},
        {"MID3<Outgoing Action=\"MIDI\"><Description>to the synth</Description><Ports><Port>"
         "Synth</Port></Ports><Simple Type=\"ControlChange\"><Channel num=\"0\"/><Value1 "
         "num=\"0x07\"/><Value2 var=\"qq\"/></Simple></Outgoing>",
         false},
        {"MID3<Incoming Action=\"MIDI\"><Simple Type=\"NRPN7\" MSB=\"1\" LSB=\"2\"><Value1 "
         "num=\"64\" setvar=\"ga\" Type=\"New Version Required\"/></Simple></Incoming>",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto action = parse(c.text, c.incoming);
        ASSERT_TRUE(action);
        EXPECT_EQ(str(action->toString()), c.text);
        EXPECT_EQ(str(action->clone()->toString()), c.text);
    }
}

TEST_F(TTransMidiActionTest, ReadingTheRawForms) {
    const auto action = parse("MID2MIDD0004testMIDA00010003In1904060", true);
    const auto& midi = static_cast<const TTransMidiAction&>(*action);
    EXPECT_EQ(str(midi.description()), "test");
    ASSERT_EQ(midi.ports().count(), 1);
    EXPECT_EQ(str(midi.ports().get(0)->name()), "In1");
    EXPECT_EQ(midi.ports().get(0)->type(), Tr::MIDIAlias::kIn);
    EXPECT_TRUE(midi.ports().get(0)->hasFlag(Tr::MIDIAlias::kReferenced));
    ASSERT_TRUE(midi.raw());
    EXPECT_EQ(str(midi.raw()->text()), "904060");
    EXPECT_EQ(midi.raw()->size(), 3);
    EXPECT_FALSE(midi.simple());

    // an invalid length reads as 0; MID1 has no port list
    const auto lax = parse("MID1MIDDzzzz904060", true);
    const auto& laxMidi = static_cast<const TTransMidiAction&>(*lax);
    EXPECT_EQ(str(laxMidi.description()), "");
    EXPECT_EQ(str(laxMidi.raw()->text()), "904060");
    EXPECT_EQ(str(lax->toString()), "MID1904060");
    const auto noPorts = parse("MID1MIDA00010003In1904060", true);
    EXPECT_TRUE(static_cast<const TTransMidiAction&>(*noPorts).ports().isEmpty());
}

TEST_F(TTransMidiActionTest, CorruptStoredForms) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"MID4904060", "invalid MIDI message"},         {"MID", "invalid MIDI message"},
        {"mid1904060", "invalid MIDI message"},         {"MID1MIDD0010ab", "Wrong string format"},
        {"MID1MIDD00", "Wrong string format"},          {"MID2MIDA00", "Wrong string format"},
        {"MID2MIDA00020003In1", "Wrong string format"},
    };
    for (const auto& c : cases) {
        TTransMidiAction action(true);
        try {
            action.fromString(c.text);
            ADD_FAILURE() << c.text << " parsed";
        } catch (const Vorn::VException& e) {
            EXPECT_STREQ(e.what(), c.error) << c.text;
        }
    }
    TTransMidiAction action(true);
    EXPECT_EQ(action.fromString("MID3<Incoming Action=\"Keys\"/>"), 0);
    EXPECT_EQ(action.fromString("MID3<Incoming Action=\"MIDI\"><Simple Type=\"Bogus\"/>"
                                "</Incoming>"),
              0);
    EXPECT_EQ(action.fromString("MID3<Incoming"), 0);
}

TEST_F(TTransMidiActionTest, LongTextsAreCutToWhatTheLengthDigitsCanSay) {
    TTransMidiAction action(true);
    action.setRaw("904060", nullptr);
    action.setDescription(VString(std::string(0x10005, 'd')));
    action.ports().add(
        aliases.getAlias(VString(std::string(0x10001, 'n')), Tr::MIDIAlias::kIn, true, -1));
    const VString written = action.toString();
    TTransMidiAction reread(true);
    ASSERT_EQ(reread.fromString(written), written.length());
    EXPECT_EQ(reread.description().length(), 0xFFFF);
    ASSERT_EQ(reread.ports().count(), 1);
    EXPECT_EQ(reread.ports().get(0)->name().length(), 0xFFFF);
    EXPECT_EQ(str(reread.raw()->text()), "904060");
    EXPECT_EQ(str(reread.toString()), str(written));
}

TEST_F(TTransMidiActionTest, ElementFormLoadsRawAndPorts) {
    const auto action = parse("MID3<Incoming Action=\"midi\"><Description>a<b/>c</Description>"
                              "<Ports><Port>In1</Port><Port></Port><Port>In2</Port></Ports>"
                              "<Raw>90 pp 7F</Raw></Incoming>",
                              true);
    const auto& midi = static_cast<const TTransMidiAction&>(*action);
    EXPECT_EQ(str(midi.description()), "ac");
    EXPECT_EQ(str(midi.ports().displayText()), "In1, In2");
    ASSERT_TRUE(midi.raw());
    EXPECT_EQ(str(midi.raw()->text()), "90pp7F");
    // a raw message is written back in the raw form
    EXPECT_EQ(str(action->toString()), "MID2MIDD0002acMIDA00020003In10003In290pp7F");
}

TEST_F(TTransMidiActionTest, Descriptions) {
    TTransMidiAction in(true);
    EXPECT_EQ(str(in.getDescription()), "");
    in.setRaw("904060", nullptr);
    EXPECT_EQ(str(in.getDescription()), "MIDI 90 40 60");
    TTransMidiAction::setFriendlyDescription(true);
    EXPECT_EQ(str(in.getDescription()), "Note On ch.1: E4 (#64), vel 96");
    TTransMidiAction::setFriendlyDescription(false);
    in.ports().add(aliases.getAlias("In1", Tr::MIDIAlias::kIn, true, -1));
    EXPECT_EQ(str(in.getDescription()), "MIDI 90 40 60, on port In1");
    in.ports().add(aliases.getAlias("In2", Tr::MIDIAlias::kIn, true, -1));
    EXPECT_EQ(str(in.getDescription()), "MIDI 90 40 60, on ports In1, In2");
    in.setDescription("mine");
    EXPECT_EQ(str(in.getDescription()), "mine, on ports In1, In2");

    TTransMidiAction out(false);
    out.setSimple(Tr::kMidiControlChange, num(0), num(7), var("pp"), 0, 0, 0, -1, -1, -1);
    out.ports().add(aliases.getAlias("Out1", Tr::MIDIAlias::kOut, true, -1));
    EXPECT_EQ(str(out.getDescription()),
              "Control Change on ch. 1 with CC#:7 (0x07) and value:pp, to port Out1");
}

TEST_F(TTransMidiActionTest, PortsInForceDecideWhereItListens) {
    Tr::MIDIAlias* in1 = aliases.getAlias("In1", Tr::MIDIAlias::kIn, true, 0);
    Tr::MIDIAlias* in2 = aliases.getAlias("In2", Tr::MIDIAlias::kIn, true, 0);
    in1->setDeviceSlot(1);
    in2->setDeviceSlot(2);
    TTransMidiAction action(true);
    action.setRaw("90 3C pp", nullptr);
    // no list anywhere: every port
    EXPECT_TRUE(deliver(action, "90 3C 40", 7));
    // the project's defaults
    project.setDefaultInPorts("MIDA00010003In2");
    EXPECT_FALSE(deliver(action, "90 3C 40", 1));
    EXPECT_TRUE(deliver(action, "90 3C 40", 2));
    // the preset's defaults come first
    Tr::TTransList preset(&project, &globals);
    preset.setDefaultInPorts("MIDA00010003In1");
    EXPECT_TRUE(deliver(action, "90 3C 40", 1, &preset));
    EXPECT_FALSE(deliver(action, "90 3C 40", 2, &preset));
    // the action's own list first of all
    action.ports().add(in2);
    EXPECT_FALSE(deliver(action, "90 3C 40", 1, &preset));
    EXPECT_TRUE(deliver(action, "90 3C 40", 2, &preset));
    // an unbound alias accepts nothing
    in2->setDeviceSlot(-1);
    EXPECT_FALSE(deliver(action, "90 3C 40", 2, &preset));
}

TEST_F(TTransMidiActionTest, IncomingLogLinesAndCaptures) {
    globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogIncoming, 1);
    TTransMidiAction raw(true);
    raw.setRaw("F0 43 pp F7", nullptr);
    EXPECT_FALSE(deliver(raw, "F0 43", 0));
    EXPECT_TRUE(deliver(raw, "10 F7", 0));
    EXPECT_EQ(log.take(), std::vector<std::string>{"in: MIDI 4 bytes F0 43 10 F7,  pp=0x10"});

    TTransMidiAction simple(true);
    simple.setSimple(Tr::kMidiNoteOn, num(0), num(0), num(0), 0, 0,
                     Tr::SimpleMidiMessage::kChannelAny | Tr::SimpleMidiMessage::kChannelSetVar |
                         Tr::SimpleMidiMessage::kValue1Any | Tr::SimpleMidiMessage::kValue1SetVar |
                         Tr::SimpleMidiMessage::kValue2Any | Tr::SimpleMidiMessage::kValue2SetVar,
                     index("pp"), index("qq"), index("rr"));
    EXPECT_TRUE(deliver(simple, "92 3C 40", 0));
    EXPECT_EQ(lastLocals[index("pp")], 2);
    EXPECT_EQ(lastLocals[index("qq")], 0x3C);
    EXPECT_EQ(lastLocals[index("rr")], 0x40);
    EXPECT_EQ(log.take(), std::vector<std::string>{
                              "in: Note On on any channel=3 set 'pp' to ch. with any note and "
                              "'qq' to note=60 with any velocity and 'rr' to velocity=64"});
}

TEST_F(TTransMidiActionTest, NoMessageOrBadTextNeverMatches) {
    TTransMidiAction empty(true);
    EXPECT_FALSE(deliver(empty, "90 3C 40", 0));
    EXPECT_EQ(str(empty.toString()), "");
    TTransMidiAction bad(true);
    RecordingErrors errors;
    EXPECT_FALSE(bad.setRaw("90 3C 4", &errors));
    EXPECT_EQ(errors.lines, std::vector<std::string>{"0:invalid MIDI message"});
    EXPECT_FALSE(deliver(bad, "90 3C 40", 0));
    EXPECT_FALSE(deliver(bad, "90 3C", 0));
}

TEST_F(TTransMidiActionTest, CopiesAreIndependent) {
    TTransMidiAction source(true);
    source.setRaw("F0 pp F7", nullptr);
    source.setDescription("d");
    ASSERT_FALSE(deliver(source, "F0", 0));
    source.ports().add(aliases.getAlias("In1", Tr::MIDIAlias::kIn, true, -1));
    const auto copy = source.clone();
    auto& midi = static_cast<TTransMidiAction&>(*copy);
    EXPECT_EQ(str(copy->toString()), str(source.toString()));
    // the raw message was parsed again: nothing pending in the copy
    EXPECT_EQ(midi.raw()->pendingCount(), 0);
    EXPECT_EQ(source.raw()->pendingCount(), 1);
    source.setSimple(Tr::kMidiStart, num(0), num(0), num(0), 0, 0, 0, -1, -1, -1);
    EXPECT_TRUE(midi.raw());
}

// Outgoing actions send through a manager with fake ports.
class TTransMidiActionSendTest : public TTransMidiActionTest {
protected:
    void SetUp() override {
        TTransMidiActionTest::SetUp();
        out1 = system.addPort(false, "Out1");
        out2 = system.addPort(false, "Out2");
        system.addPort(false, "Out3"); // never opened
        manager.addFactory(&factory);
        manager.start();
        manager.refresh(true);
        for (const char* name : {"Out1", "Out2"})
            ASSERT_TRUE(manager.open(manager.findEntry(name, 0, false), false)) << name;
        globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogOutgoing, 1);
    }
    void TearDown() override {
        manager.stop();
        manager.removeFactory(&factory);
    }

    bool perform(TTransMidiAction& action, Tr::TTransList* preset = nullptr) {
        Tr::TTransContext context{&globals, 0, nullptr, 0, preset, locals};
        return action.execute(context);
    }
    std::string sent(const std::string& id) {
        const std::vector<std::vector<uint8_t>> blocks = system.sentBlocks(id);
        std::string text;
        for (const auto& block : blocks)
            text += "[" + hex(block.data(), static_cast<int>(block.size())) + "]";
        system.clearSent(id);
        return text;
    }

    Platform::FakeMidiSystem system;
    Tr::MidiManager manager{Tr::MidiManager::Options{&aliases, false}};
    Tr::MidiSystemFactory factory{system};
    std::string out1;
    std::string out2;
    int32_t locals[Tr::kLocalVariableCount] = {};
};

TEST_F(TTransMidiActionSendTest, BytesFromVariablesGoToTheAliasesPorts) {
    locals[index("pp")] = 0x3C;
    locals[index("qq")] = 0x40;
    TTransMidiAction simple(false);
    simple.setSimple(Tr::kMidiNRPN7, num(1), var("qq"), num(0), 1, 2, 0, -1, -1, -1);
    simple.ports().add(aliases.getAlias("Out2", Tr::MIDIAlias::kOut, false, 0));
    ASSERT_TRUE(perform(simple));
    EXPECT_EQ(sent(out1), "");
    // one block, as the bytes were built
    EXPECT_EQ(sent(out2), "[B1 63 01 B1 62 02 B1 06 40 B1 65 7F B1 64 7F]");

    TTransMidiAction raw(false);
    raw.setRaw("90 pp qq", nullptr);
    raw.ports().add(aliases.getAlias("Out1", Tr::MIDIAlias::kOut, false, 0));
    raw.ports().add(aliases.getAlias("Out2", Tr::MIDIAlias::kOut, false, 0));
    ASSERT_TRUE(perform(raw));
    EXPECT_EQ(sent(out1), "[90 3C 40]");
    EXPECT_EQ(sent(out2), "[90 3C 40]");
    EXPECT_EQ(log.take(),
              (std::vector<std::string>{
                  "out: NRPN 7-bit with MSB=1 (0x01) LSB=2 (0x02) on ch. 2 with value:qq=64",
                  "out: MIDI 90 3C 40"}));
}

TEST_F(TTransMidiActionSendTest, DefaultsAndEveryOpenOutput) {
    TTransMidiAction action(false);
    action.setRaw("F8", nullptr);
    // no list: every open output
    ASSERT_TRUE(perform(action));
    EXPECT_EQ(sent(out1), "[F8]");
    EXPECT_EQ(sent(out2), "[F8]");
    // the preset's default out ports
    Tr::TTransList preset(&project, &globals);
    preset.setDefaultOutPorts("MIDA00010004Out2");
    ASSERT_TRUE(perform(action, &preset));
    EXPECT_EQ(sent(out1), "");
    EXPECT_EQ(sent(out2), "[F8]");
}

TEST_F(TTransMidiActionSendTest, ClosedPortsAndNothingToSend) {
    TTransMidiAction closed(false);
    closed.setSimple(Tr::kMidiNoteOn, num(0), num(60), num(1), 0, 0, 0, -1, -1, -1);
    closed.ports().add(aliases.getAlias("Out3", Tr::MIDIAlias::kOut, false, 0));
    closed.ports().add(aliases.getAlias("Nowhere", Tr::MIDIAlias::kOut, true, 0));
    EXPECT_FALSE(perform(closed));
    TTransMidiAction rawClosed(false);
    rawClosed.setRaw("F0 01 F7", nullptr);
    rawClosed.ports().add(aliases.getAlias("Nowhere", Tr::MIDIAlias::kOut, true, 0));
    EXPECT_FALSE(perform(rawClosed));
    EXPECT_EQ(log.take(),
              (std::vector<std::string>{
                  "out: Note On on ch. 1 with note:60 (0x3C) and velocity:1 (0x01) [port closed]",
                  "out: MIDI F0 01 F7 [port closed]"}));

    // a text that did not install, no message, system exclusive as a simple type: nothing
    TTransMidiAction bad(false);
    bad.setRaw("90 3C", nullptr);
    bad.setRaw("90 3", nullptr);
    TTransMidiAction none(false);
    TTransMidiAction sysex(false);
    sysex.setSimple(Tr::kMidiSystemExclusive, num(0), num(0), num(0), 0, 0, 0, -1, -1, -1);
    for (TTransMidiAction* action : {&bad, &none, &sysex})
        EXPECT_FALSE(perform(*action));
    EXPECT_EQ(sent(out1), "");
    EXPECT_EQ(sent(out2), "");
    EXPECT_TRUE(log.take().empty());

    // paused output (panic) sends nothing
    manager.setOutputPaused(true);
    TTransMidiAction any(false);
    any.setRaw("FA", nullptr);
    EXPECT_FALSE(perform(any));
    EXPECT_EQ(sent(out1), "");
}

} // namespace
