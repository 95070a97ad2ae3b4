// The road of one MIDI message: fake IN port -> MIDI manager -> engine -> translator -> fake OUT
// port, and the route that forwards the original.
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"
#include "midi/MidiManager.h"
#include "midi/MidiMessageType.h"
#include "midi/MidiSystemFactory.h"
#include "midi/TTransMidiAction.h"
#include "platform/fake/FakeMidiSystem.h"

#include "MidiTestSupport.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace MidiTestSupport;
using Msg = Tr::SimpleMidiMessage;
using Vorn::VString;

class RecordingLog : public Tr::TLogListener {
public:
    void logMessage(const VString&) override {}
    void logIncoming(const VString& text, int, int, int) override { add("in: ", text); }
    void logOutgoing(const VString& text, int, int, int) override { add("out: ", text); }
    void logRule(const VString&, int, int, int) override {}
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> hold(mutex_);
        return std::exchange(lines_, {});
    }

private:
    void add(const char* kind, const VString& text) {
        std::lock_guard<std::mutex> hold(mutex_);
        lines_.push_back(kind + str(text));
    }
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class RecordingActivity : public Tr::TShowEventsListener {
public:
    void addActivity(uint32_t flags) override { all.fetch_or(flags); }
    uint32_t take() { return all.exchange(0); }
    std::atomic<uint32_t> all{0};
};

class MidiRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tr::registerMidiActions();
        keys = system.addPort(true, "Keys");
        synth = system.addPort(false, "Synth");
        thru = system.addPort(false, "Thru");
        manager.addFactory(&factory);
        manager.connectEngine(&engine);
        manager.start();
        manager.refresh(true);
        ASSERT_TRUE(manager.open(manager.findEntry("Keys", 0, true), true));
        ASSERT_TRUE(manager.open(manager.findEntry("Synth", 0, false), false));
        ASSERT_TRUE(manager.open(manager.findEntry("Thru", 0, false), false));
        engine.globals().setLogListener(&log);
        engine.globals().setActivityListener(&activity);
        engine.globals().setLogSwitch(Tr::TGlobalTranslateParams::kLogIncoming, 1);
        engine.globals().setLogSwitch(Tr::TGlobalTranslateParams::kLogOutgoing, 1);
    }
    void TearDown() override {
        manager.stop();
        manager.connectEngine(nullptr);
        manager.removeFactory(&factory);
    }

    // NoteOn on any channel, any note, any velocity into pp, qq, rr -> ControlChange on channel
    // pp, controller qq, value rr to the port Synth.
    void addTranslator(const char* options) {
        Tr::TTransMidiAction in(true);
        in.setSimple(Tr::kMidiNoteOn, num(0), num(0), num(0), 0, 0,
                     Msg::kChannelAny | Msg::kChannelSetVar | Msg::kValue1Any | Msg::kValue1SetVar |
                         Msg::kValue2Any | Msg::kValue2SetVar,
                     index("pp"), index("qq"), index("rr"));
        Tr::TTransMidiAction out(false);
        out.setSimple(Tr::kMidiControlChange, var("pp"), var("qq"), var("rr"), 0, 0, 0, -1, -1, -1);
        out.ports().add(aliases.getAlias("Synth", Tr::MIDIAlias::kOut, false, 0));
        Tr::TPresetHandler& handler = engine.presetHandler();
        Tr::TTransList* preset = handler.addPreset(0);
        Tr::TTransMsgPtr translator = Tr::makeTranslator();
        translator->build("road", in.toString(), out.toString(), options, nullptr);
        preset->addTranslator(std::move(translator));
    }

    std::string sent(const std::string& id) {
        std::string text;
        for (const auto& block : system.sentBlocks(id))
            text += "[" + hex(block.data(), static_cast<int>(block.size())) + "]";
        system.clearSent(id);
        return text;
    }

    Platform::FakeMidiSystem system;
    Tr::MIDIAliasManager aliases;
    Tr::TTransEngine engine{Tr::TTransEngine::Options{true, 0, 0}};
    Tr::MidiManager manager{Tr::MidiManager::Options{&aliases, false}};
    Tr::MidiSystemFactory factory{system};
    Tr::MIDIRouter router{Tr::MIDIRouter::Options{&aliases, &manager, true}};
    RecordingLog log;
    RecordingActivity activity;
    std::string keys;
    std::string synth;
    std::string thru;
};

TEST_F(MidiRoadTest, NoteOnBecomesControlChange) {
    addTranslator("Actv01Stop00OutO00");
    ASSERT_TRUE(system.feed(keys, bytes("90 3C 40")));
    EXPECT_EQ(sent(synth), "[B0 3C 40]");
    EXPECT_EQ(sent(thru), "");
    EXPECT_EQ(log.take(),
              (std::vector<std::string>{
                  "in: Note On on any channel=1 set 'pp' to ch. with any note and 'qq' to "
                  "note=60 with any velocity and 'rr' to velocity=64",
                  "out: Control Change on ch.'pp'=0 (ch.1) with CC#:qq=60 and value:rr=64"}));
    const uint32_t flags = activity.take();
    EXPECT_EQ(flags & (Tr::kActivityMidiIn | Tr::kActivityMatched | Tr::kActivityMidiOut),
              Tr::kActivityMidiIn | Tr::kActivityMatched | Tr::kActivityMidiOut);
    // another channel and note take the same road
    ASSERT_TRUE(system.feed(keys, bytes("95 40 7F")));
    EXPECT_EQ(sent(synth), "[B5 40 7F]");
}

TEST_F(MidiRoadTest, RouteForwardsOnlyWhatTheTranslatorLetsThrough) {
    router.createRoute(aliases.getAlias("Keys", Tr::MIDIAlias::kIn, false, 0),
                       aliases.getAlias("Thru", Tr::MIDIAlias::kOut, false, 0));
    addTranslator("Actv01Stop00OutO00");
    ASSERT_TRUE(system.feed(keys, bytes("90 3C 40")));
    EXPECT_EQ(sent(synth), "[B0 3C 40]");
    EXPECT_EQ(sent(thru), "");
    EXPECT_EQ(activity.take() & Tr::kActivityMidiThru, 0u);

    // a message no translator takes goes along the route
    ASSERT_TRUE(system.feed(keys, bytes("80 3C 00")));
    EXPECT_EQ(sent(synth), "");
    EXPECT_EQ(sent(thru), "[80 3C 00]");
    EXPECT_EQ(activity.take() & Tr::kActivityMidiThru, Tr::kActivityMidiThru);

    // a translator that outputs the original lets it through as well
    engine.presetHandler().clearPresets();
    addTranslator("Actv01Stop00OutO01");
    ASSERT_TRUE(system.feed(keys, bytes("90 3C 40")));
    EXPECT_EQ(sent(synth), "[B0 3C 40]");
    EXPECT_EQ(sent(thru), "[90 3C 40]");
    EXPECT_EQ(activity.take() & Tr::kActivityMidiThru, Tr::kActivityMidiThru);

    // without the route nothing is forwarded
    router.removeRoute(0);
    ASSERT_TRUE(system.feed(keys, bytes("90 3C 40")));
    EXPECT_EQ(sent(thru), "");
}

TEST_F(MidiRoadTest, UnboundOutputLogsPortClosed) {
    Tr::TTransMidiAction in(true);
    in.setRaw("90 3C pp", nullptr);
    Tr::TTransMidiAction out(false);
    out.setRaw("B0 07 pp", nullptr);
    out.ports().add(aliases.getAlias("Nowhere", Tr::MIDIAlias::kOut, true, 0));
    Tr::TTransList* preset = engine.presetHandler().addPreset(0);
    Tr::TTransMsgPtr translator = Tr::makeTranslator();
    translator->build("closed", in.toString(), out.toString(), "", nullptr);
    preset->addTranslator(std::move(translator));
    ASSERT_TRUE(system.feed(keys, bytes("90 3C 11")));
    EXPECT_EQ(sent(synth), "");
    EXPECT_EQ(log.take(), (std::vector<std::string>{"in: MIDI 90 3C 11,  pp=0x11",
                                                    "out: MIDI B0 07 11 [port closed]"}));
}

} // namespace
