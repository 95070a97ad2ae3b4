// MIDI in -> translation -> MIDI out over a private JACK server, against peer programs: the
// RtMidi JACK API in Python sends, jack_midi_dump receives.
#include "JackPeers.h"

#include "../midi/MidiPortsTestSupport.h"
#include "../midi/MidiTestSupport.h"
#include "../support/WaitUntil.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"
#include "midi/MidiManager.h"
#include "midi/MidiMessageType.h"
#include "midi/MidiSystemFactory.h"
#include "midi/TTransMidiAction.h"
#include "platform/linux/JackMidiSystem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>

namespace {

using JackPeers::dumpedMessages;
using JackPeers::Process;
using Msg = Tr::SimpleMidiMessage;
using Strings = std::vector<std::string>;
using TestSupport::waitUntil;

std::string tempPath(const std::string& what) {
    return "/tmp/corvane-e2e-" + std::to_string(getpid()) + "-" + what;
}

std::string sysex(int length) {
    std::string text = "F0";
    for (int i = 1; i < length - 1; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, " %02X", i % 0x80);
        text += pair;
    }
    return text + " F7";
}

class JackMidiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << "cannot start a private JACK server";
        Tr::registerMidiActions();
        system = std::make_unique<Platform::JackMidiSystem>();
        ASSERT_TRUE(system->isConnected());
        factory = std::make_unique<Tr::MidiSystemFactory>(*system);
        manager.addDeviceControlListener(&control);
        manager.addFactory(factory.get());
        manager.connectEngine(&engine);
        manager.start();
        control.take();
    }
    void TearDown() override {
        probe.close();
        manager.stop();
        manager.connectEngine(nullptr);
        if (factory)
            manager.removeFactory(factory.get());
        manager.removeDeviceControlListener(&control);
        factory.reset();
        system.reset();
        for (const std::string& file : files)
            std::remove(file.c_str());
    }

    // A Python peer named name; its port names are "<name>:out" and "<name>-in:in". Returns
    // the file it writes.
    std::string startPeer(Process& peer, const std::string& name) {
        const std::string file = tempPath(name);
        files.push_back(file);
        EXPECT_TRUE(peer.start({"/usr/bin/python3", "-c", JackPeers::kPeerScript, name}, file));
        EXPECT_TRUE(waitUntil([&] { return peerMessages(file, true).size() == 1; }));
        return file;
    }
    // What the peer's input received after its "ready" line (and that line when asked).
    static Strings peerMessages(const std::string& file, bool withReady = false) {
        Strings lines;
        std::istringstream text(JackPeers::readFile(file));
        std::string line;
        bool ready = false;
        while (std::getline(text, line)) {
            if (ready)
                lines.push_back(line);
            else if (line == "ready" && (ready = true) && withReady)
                lines.push_back(line);
        }
        return lines;
    }
    // jack_midi_dump as client name; its port is "<name>:input". Returns the file it writes.
    std::string startDump(Process& dump, const std::string& name) {
        const std::string file = tempPath(name);
        files.push_back(file);
        EXPECT_TRUE(dump.start({"stdbuf", "-oL", "jack_midi_dump", name}, file));
        EXPECT_TRUE(waitUntil([&] { return hasPort(false, name + ":input"); }));
        return file;
    }
    bool hasPort(bool isInput, const std::string& id) {
        for (const Platform::MidiPortInfo& info : system->ports(isInput))
            if (info.id == id)
                return true;
        return false;
    }
    int openEntry(const std::string& name, bool isInput) {
        manager.refresh(true);
        const int slot = manager.findEntry(name.c_str(), 0, isInput);
        EXPECT_GE(slot, 0) << name;
        EXPECT_TRUE(manager.open(slot, isInput))
            << name << ": " << ::testing::PrintToString(control.take());
        return slot;
    }
    Tr::MIDIAlias* alias(const std::string& name, bool isInput) {
        return aliases.getAlias(name.c_str(), isInput ? Tr::MIDIAlias::kIn : Tr::MIDIAlias::kOut,
                                false, 0);
    }

    // NoteOn on any channel, note and velocity -> ControlChange of the same numbers to output.
    void addTranslator(const std::string& output, const char* options) {
        using namespace MidiTestSupport;
        Tr::TTransMidiAction in(true);
        in.setSimple(Tr::kMidiNoteOn, num(0), num(0), num(0), 0, 0,
                     Msg::kChannelAny | Msg::kChannelSetVar | Msg::kValue1Any | Msg::kValue1SetVar |
                         Msg::kValue2Any | Msg::kValue2SetVar,
                     index("pp"), index("qq"), index("rr"));
        Tr::TTransMidiAction out(false);
        out.setSimple(Tr::kMidiControlChange, var("pp"), var("qq"), var("rr"), 0, 0, 0, -1, -1, -1);
        out.ports().add(alias(output, false));
        Tr::TTransList* preset = engine.presetHandler().addPreset(0);
        Tr::TTransMsgPtr translator = Tr::makeTranslator();
        translator->build("note to cc", in.toString(), out.toString(), options, nullptr);
        preset->addTranslator(std::move(translator));
    }

    JackPeers::Server server; // outlives every client
    JackPeers::Probe probe;
    MidiPortsTest::RecordingControl control;
    Tr::MIDIAliasManager aliases;
    Tr::TTransEngine engine;
    Tr::MidiManager manager{Tr::MidiManager::Options{&aliases, true}};
    Tr::MIDIRouter router{Tr::MIDIRouter::Options{&aliases, &manager, true}};
    std::unique_ptr<Platform::JackMidiSystem> system;
    std::unique_ptr<Tr::MidiSystemFactory> factory;
    Strings files;
};

TEST_F(JackMidiTest, PortsOfOtherClientsAreListedAndOwnOnesAreNot) {
    Process peer;
    startPeer(peer, "lister");
    EXPECT_TRUE(hasPort(true, "lister:out"));
    EXPECT_TRUE(hasPort(false, "lister-in:in"));
    EXPECT_FALSE(hasPort(false, "lister:out")); // an output port is no MIDI OUT
    openEntry("lister:out", true);
    openEntry("lister-in:in", false);
    for (bool isInput : {true, false})
        for (const Platform::MidiPortInfo& info : system->ports(isInput))
            EXPECT_NE(info.id.rfind(system->clientName() + ":", 0), 0u) << info.id;
}

TEST_F(JackMidiTest, NoteOnBecomesControlChangeAndTheRouteForwardsOnlyWhatPasses) {
    Process keys, synth, thru;
    startPeer(keys, "keys");
    const std::string synthFile = startDump(synth, "synth");
    const std::string thruFile = startDump(thru, "thru");
    openEntry("keys:out", true);
    openEntry("synth:input", false);
    openEntry("thru:input", false);
    ASSERT_TRUE(probe.waitConnected("keys:out"));
    ASSERT_TRUE(probe.waitConnected("synth:input"));
    ASSERT_TRUE(probe.waitConnected("thru:input"));
    router.createRoute(alias("keys:out", true), alias("thru:input", false));
    addTranslator("synth:input", "Actv01Stop00OutO00");

    keys.say("90 3C 40");
    ASSERT_TRUE(waitUntil([&] { return !dumpedMessages(synthFile).empty(); }));
    keys.say("80 3C 00"); // no translator takes it: along the route only
    ASSERT_TRUE(waitUntil([&] { return !dumpedMessages(thruFile).empty(); }));
    EXPECT_EQ(dumpedMessages(synthFile), Strings{"B0 3C 40"});
    EXPECT_EQ(dumpedMessages(thruFile), Strings{"80 3C 00"});

    // a translator that outputs the original lets it through the route as well
    engine.presetHandler().clearPresets();
    addTranslator("synth:input", "Actv01Stop00OutO01");
    keys.say("91 40 7F");
    ASSERT_TRUE(waitUntil([&] { return dumpedMessages(thruFile).size() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return dumpedMessages(synthFile).size() == 2; }));
    EXPECT_EQ(dumpedMessages(synthFile), (Strings{"B0 3C 40", "B1 40 7F"}));
    EXPECT_EQ(dumpedMessages(thruFile), (Strings{"80 3C 00", "91 40 7F"}));
}

TEST_F(JackMidiTest, LongSystemExclusiveAndTimingClockPassIntact) {
    // jack_midi_dump prints long messages in pieces: the peer's own input shows each as a whole
    Process peer;
    const std::string received = startPeer(peer, "clock");
    openEntry("clock:out", true);
    openEntry("clock-in:in", false);
    ASSERT_TRUE(probe.waitConnected("clock:out"));
    ASSERT_TRUE(probe.waitConnected("clock-in:in"));
    router.createRoute(alias("clock:out", true), alias("clock-in:in", false));

    const std::string big = sysex(5000);
    peer.say(big); // forwarded on the process thread, inline
    peer.say("F8");
    ASSERT_TRUE(waitUntil([&] { return peerMessages(received).size() == 2; }));
    // and sent from this thread, through the ring into the next cycle
    const std::vector<uint8_t> bytes = MidiPortsTest::hex(big);
    Tr::MIDIAliasList to;
    to.add(alias("clock-in:in", false));
    EXPECT_GT(manager.send(to, bytes.data(), int(bytes.size())), 0);
    ASSERT_TRUE(waitUntil([&] { return peerMessages(received).size() == 3; }));
    EXPECT_EQ(peerMessages(received), (Strings{big, "F8", big}));
}

TEST_F(JackMidiTest, WantedInputIsReportedOnceDiscoveredUnpluggedAndReopened) {
    MidiPortsTest::RecordingData data;
    manager.addDataListener(&data);
    manager.setPendingInterval(100);
    const int slot = manager.findOrAddEntry("later:out", 0, true);
    EXPECT_FALSE(manager.open(slot, true));
    EXPECT_FALSE(manager.open(slot, true));
    EXPECT_EQ(control.take(), Strings{"problem: MIDI IN \"later:out\" does not exist. It is set to "
                                      "'pending' so that it is used automatically when you plug "
                                      "it in."});

    const Strings opened{"message: Discovered MIDI INPUT : later:out",
                         "message: Opened MIDI IN: later:out"};
    Strings seen;
    const auto collect = [&](size_t count) {
        return waitUntil([&] {
            for (std::string& line : control.take())
                if (line.find("later:out") != std::string::npos) // the peer's own input aside
                    seen.push_back(line);
            return seen.size() >= count;
        });
    };
    {
        Process peer;
        startPeer(peer, "later");
        ASSERT_TRUE(collect(2));
        EXPECT_EQ(seen, opened);
        peer.say("90 3C 40");
        ASSERT_TRUE(waitUntil([&] { return data.messages.size() == 1; }));
        seen.clear();
        peer.finish();
        ASSERT_TRUE(collect(3));
        EXPECT_EQ(seen, (Strings{"message: Vanished MIDI INPUT   : later:out",
                                 "message: Closed MIDI IN: later:out",
                                 "problem: MIDI input \"later:out\" unplugged. It is set to "
                                 "'pending' so that it is used automatically when you plug it "
                                 "in."}));
    }
    seen.clear();
    Process again;
    startPeer(again, "later");
    ASSERT_TRUE(collect(2));
    EXPECT_EQ(seen, opened);
    again.say("80 3C 00");
    ASSERT_TRUE(waitUntil([&] { return data.messages.size() == 2; }));
    EXPECT_EQ(data.messages, (Strings{"90 3C 40", "80 3C 00"}));
    manager.removeDataListener(&data);
}

TEST_F(JackMidiTest, ServerDeathUnplugsThePortsAndTheClientReconnects) {
    const auto seenWith = [&](const std::string& part, size_t count) {
        Strings seen;
        waitUntil([&] {
            for (std::string& line : control.take())
                if (line.find(part) != std::string::npos)
                    seen.push_back(line);
            return seen.size() >= count;
        });
        return seen;
    };
    Process peer;
    startPeer(peer, "phoenix");
    const int slot = openEntry("phoenix:out", true);
    control.take();

    probe.close();
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !system->isConnected(); }));
    EXPECT_EQ(seenWith("phoenix:out", 3),
              (Strings{"message: Vanished MIDI INPUT   : phoenix:out",
                       "message: Closed MIDI IN: phoenix:out",
                       "problem: MIDI input \"phoenix:out\" unplugged. It is set to 'pending' so "
                       "that it is used automatically when you plug it in."}));
    EXPECT_FALSE(manager.isStopped());
    peer.stop();

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(waitUntil([&] { return system->isConnected(); }));
    Process back;
    startPeer(back, "phoenix");
    EXPECT_EQ(seenWith("phoenix:out", 2), (Strings{"message: Discovered MIDI INPUT : phoenix:out",
                                                   "message: Opened MIDI IN: phoenix:out"}));
    EXPECT_EQ(manager.entryState(slot, true), Tr::MidiManager::kStateOpen);
}

} // namespace
