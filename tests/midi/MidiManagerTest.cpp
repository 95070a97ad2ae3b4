#include "MidiManagerFixture.h"
#include "engine/TTransEngine.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/TIniFile.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using MidiPortsTest::hex;
using MidiPortsTest::hexText;
using MidiPortsTest::RecordingData;
using MidiPortsTest::str;
using Strings = std::vector<std::string>;
using Tr::MIDIAlias;
using Tr::MidiManager;

class MidiManagerTest : public MidiPortsTest::MidiManagerFixture {
protected:
    // Adds a port and lets the hot-plug refresh find it.
    std::string plug(bool isInput, const std::string& name) {
        const std::string id = system.addPort(isInput, name);
        advance(300);
        return id;
    }
    std::string sent(const std::string& id) { return hexText(system.sentBytes(id)); }
};

TEST_F(MidiManagerTest, WantedPortIsReportedOnceDiscoveredOpenedUnpluggedAndReopened) {
    RecordingData data;
    manager.addDataListener(&data);
    const int slot = manager.findOrAddEntry("Keys", 0, true);
    EXPECT_FALSE(manager.open(slot, true));
    EXPECT_FALSE(manager.open(slot, true));
    EXPECT_EQ(control.take(),
              Strings{"problem: MIDI IN \"Keys\" does not exist. It is set to 'pending' so that it "
                      "is used automatically when you plug it in."});
    EXPECT_EQ(manager.entryState(slot, true), MidiManager::kStatePendingAbsent);

    const std::string id = plug(true, "Keys");
    EXPECT_EQ(control.take(),
              (Strings{"message: Discovered MIDI INPUT : Keys", "message: Opened MIDI IN: Keys"}));
    EXPECT_EQ(manager.entryState(slot, true), MidiManager::kStateOpen);
    EXPECT_EQ(manager.findEntry("Keys", 0, true), slot); // the same entry, not a new one
    feed(id, "90 3C 40");
    EXPECT_EQ(data.messages, Strings{"90 3C 40"});
    EXPECT_EQ(data.slots, std::vector<int>{slot});

    system.removePort(id);
    advance(300);
    EXPECT_EQ(control.take(),
              (Strings{"message: Vanished MIDI INPUT   : Keys", "message: Closed MIDI IN: Keys",
                       "problem: MIDI input \"Keys\" unplugged. It is set to 'pending' so that it "
                       "is used automatically when you plug it in."}));
    EXPECT_EQ(manager.entryState(slot, true), MidiManager::kStatePendingAbsent);
    EXPECT_FALSE(system.isOpen(id));
    advance(5000); // the watcher's second look finds nothing new
    EXPECT_TRUE(control.take().empty());

    EXPECT_EQ(plug(true, "Keys"), id);
    EXPECT_EQ(control.take(),
              (Strings{"message: Discovered MIDI INPUT : Keys", "message: Opened MIDI IN: Keys"}));
    EXPECT_EQ(system.openCount(id), 2);
    feed(id, "80 3C 00");
    EXPECT_EQ(data.messages, (Strings{"90 3C 40", "80 3C 00"}));
    manager.removeDataListener(&data);
}

TEST_F(MidiManagerTest, OutputUnpluggedAndBackKeepsItsAliasBinding) {
    const std::string id = plug(false, "Synth");
    MIDIAlias* alias = aliases.getAlias("Synth", MIDIAlias::kOut, false, 0);
    ASSERT_NE(alias, nullptr);
    const int slot = alias->deviceSlot();
    ASSERT_GE(slot, 0);
    ASSERT_TRUE(manager.open(slot, false));
    control.take();
    Tr::MIDIAliasList list;
    list.add(alias);
    const uint8_t note[] = {0x90, 0x3C, 0x40};
    EXPECT_EQ(manager.send(list, note, 3), 1);

    system.removePort(id);
    advance(300);
    EXPECT_EQ(
        control.take(),
        (Strings{"message: Vanished MIDI OUTPUT  : Synth", "message: Closed MIDI OUT: Synth",
                 "problem: MIDI output \"Synth\" unplugged. It is set to 'pending' so that it "
                 "is used automatically when you plug it in."}));
    EXPECT_EQ(manager.send(list, note, 3), 0);
    EXPECT_EQ(alias->deviceSlot(), slot); // the entry keeps its slot while unplugged

    plug(false, "Synth");
    EXPECT_EQ(control.take(), (Strings{"message: Discovered MIDI OUTPUT: Synth",
                                       "message: Opened MIDI OUT: Synth"}));
    EXPECT_EQ(manager.send(list, note, 3), 1);
    EXPECT_EQ(sent(id), "90 3C 40 90 3C 40");
}

TEST_F(MidiManagerTest, PortInUseIsReportedOnceAndRetriedEveryTenSeconds) {
    const std::string id = system.addPort(false, "Synth");
    system.setInUse(id, true);
    advance(300);
    control.take();
    const int slot = manager.findEntry("Synth", 0, false);
    Vorn::ErrorMessageCollector errors;
    EXPECT_FALSE(manager.open(slot, false, &errors));
    const std::string couldNot =
        "problem: MIDI OUT \"Synth\" could not be opened (maybe in use by another program?). It "
        "is set to 'pending' so that it is used automatically when it becomes available.";
    EXPECT_EQ(control.take(), Strings{couldNot});
    EXPECT_EQ(str(manager.entry(slot, false)->lastError()),
              "ERROR: It seems that the MIDI port is already open in another application.");
    EXPECT_EQ(manager.entryState(slot, false), MidiManager::kStatePendingPresent);

    advance(10000); // retried, still in use: no second message
    EXPECT_TRUE(control.take().empty());
    system.setInUse(id, false);
    advance(10000);
    EXPECT_EQ(control.take(), Strings{"message: Opened MIDI OUT: Synth"});
    EXPECT_TRUE(system.isOpen(id));
}

TEST_F(MidiManagerTest, AFailedInputIsClosedAndReopenedWhileStillListed) {
    const std::string id = plug(true, "Keys");
    const int slot = manager.findEntry("Keys", 0, true);
    ASSERT_TRUE(manager.open(slot, true));
    control.take();
    system.failPort(id);
    EXPECT_EQ(control.take(),
              (Strings{"problem: MIDI IN \"Keys\" unexpectedly closed. It is set to 'pending' and "
                       "it will be opened automatically when it becomes available again.",
                       "message: Closed MIDI IN: Keys"}));
    advance(20);
    EXPECT_EQ(control.take(), Strings{"message: Opened MIDI IN: Keys"});
    EXPECT_EQ(system.openCount(id), 2);
}

TEST_F(MidiManagerTest, BadSlotsAreInternalErrors) {
    MidiPortsTest::RecordingControl unused;
    struct Errors : Vorn::ErrorMessageCallback {
        void message(int, const Vorn::VString& text) override { lines.push_back(str(text)); }
        Strings lines;
    } errors;
    Vorn::addErrorCallback(&errors);
    EXPECT_FALSE(manager.open(7, true));
    manager.close(-1, false);
    Vorn::removeErrorCallback(&errors);
    EXPECT_EQ(errors.lines, (Strings{"Internal error: illegal MIDI IN device ID: 7",
                                     "Internal error: illegal MIDI OUT device ID: -1"}));
}

TEST_F(MidiManagerTest, InputPathFiltersListenersSwallowAndThru) {
    const std::string in = plug(true, "Keys");
    const std::string out = plug(false, "Synth");
    const int inSlot = manager.findEntry("Keys", 0, true);
    ASSERT_TRUE(manager.open(inSlot, true));
    ASSERT_TRUE(manager.open(manager.findEntry("Synth", 0, false), false));

    // A route Keys -> Synth, as the router publishes it.
    MIDIAlias* from = aliases.getAlias("Keys", MIDIAlias::kIn, false, 0);
    auto targets = std::make_shared<Tr::MIDIAliasList>();
    targets->add(aliases.getAlias("Synth", MIDIAlias::kOut, false, 0));
    from->setThruTargets(targets);
    manager.routesChanged();

    struct Thru : Tr::MidiManagerThruListener {
        void midiThru(int, int64_t, const uint8_t* data, int length) override {
            messages.push_back(hexText(data, length));
        }
        Strings messages;
    } thru;
    struct Transpose : Tr::MidiInDeviceFilter {
        void filterInput(int, int64_t&, const uint8_t*& data, int& length, bool& pass) override {
            if (data[0] == 0xB0) {
                pass = false;
                return;
            }
            copy.assign(data, data + length);
            if (length == 3)
                copy[1] = uint8_t(copy[1] + 12);
            data = copy.data();
        }
        std::vector<uint8_t> copy;
    } filter;
    RecordingData main, further, entry;
    manager.setMainDataListener(&main);
    manager.addDataListener(&further);
    manager.addEntryDataListener(inSlot, &entry);
    manager.setThruListener(&thru);
    manager.addInputFilter(&filter);

    feed(in, "90 3C 40");
    feed(in, "B0 07 64"); // dropped by the filter
    entry.swallow = true;
    feed(in, "90 3E 40"); // swallowed: not forwarded
    feed(in, "F8 FE");    // new inputs pass timing clock and filter active sensing

    EXPECT_EQ(main.messages, (Strings{"90 48 40", "90 4A 40", "F8"}));
    EXPECT_EQ(further.messages, main.messages);
    EXPECT_EQ(entry.messages, main.messages);
    EXPECT_EQ(thru.messages, Strings{"90 48 40"});
    EXPECT_EQ(sent(out), "90 48 40");

    manager.setPassActiveSensing(inSlot, true);
    manager.setPassTimingClock(inSlot, false);
    feed(in, "F8 FE");
    EXPECT_EQ(main.messages.back(), "FE");

    manager.removeInputFilter(&filter);
    manager.setThruListener(nullptr);
    manager.removeEntryDataListener(inSlot, &entry);
    manager.removeDataListener(&further);
    manager.setMainDataListener(nullptr);
}

TEST_F(MidiManagerTest, SendsOncePerOutputAndPausesForPanic) {
    const std::string a = plug(false, "Synth");
    const std::string b = plug(false, "Drums");
    const int synth = manager.findEntry("Synth", 0, false);
    ASSERT_TRUE(manager.open(synth, false));
    ASSERT_TRUE(manager.open(manager.findEntry("Drums", 0, false), false));

    MIDIAlias* own = aliases.getAlias("Synth", MIDIAlias::kOut, false, 0);
    MIDIAlias* second = aliases.getAlias("Lead", MIDIAlias::kOut, true, 0);
    aliases.setDevice(second, "Synth");
    MIDIAlias* unbound = aliases.getAlias("Nowhere", MIDIAlias::kOut, true, 0);
    EXPECT_EQ(second->deviceSlot(), synth);

    Tr::MIDIAliasList both;
    both.add(own);
    both.add(second);
    const uint8_t cc[] = {0xB0, 0x3C, 0x40};
    EXPECT_EQ(manager.send(both, cc, 3), 1);
    EXPECT_EQ(sent(a), "B0 3C 40");
    Tr::MIDIAliasList none;
    none.add(unbound);
    EXPECT_EQ(manager.send(none, cc, 3), 0);

    Tr::TTransEngine engine(Tr::TTransEngine::Options{true, 0, 0});
    manager.connectEngine(&engine);
    system.clearSent(a);
    engine.panic(); // all notes off on every output, then output stays paused
    EXPECT_EQ(system.sentBlocks(a).size(), 32u);
    EXPECT_EQ(system.sentBlocks(b).size(), 32u);
    EXPECT_EQ(hexText(system.sentBlocks(a).front()), "B0 78 00");
    EXPECT_TRUE(manager.isOutputPaused());
    EXPECT_EQ(manager.send(both, cc, 3), 0);
    EXPECT_EQ(manager.sendToAll(cc, 3), 0);
    engine.setProcessing(true);
    EXPECT_EQ(manager.sendToAll(cc, 3), 1);
    manager.connectEngine(nullptr);
}

TEST_F(MidiManagerTest, StatisticsOnlyForTraffic) {
    Strings lines;
    manager.setStatisticsLog([&lines](const Vorn::VString& line) { lines.push_back(str(line)); });
    const std::string in = plug(true, "Keys");
    plug(false, "Synth");
    manager.writeStatistics();
    EXPECT_TRUE(lines.empty());

    ASSERT_TRUE(manager.open(manager.findEntry("Keys", 0, true), true));
    ASSERT_TRUE(manager.open(manager.findEntry("Synth", 0, false), false));
    feed(in, "90 3C 40 80 3C 00");
    const uint8_t note[] = {0x90, 0x3C, 0x40};
    manager.sendToAll(note, 3);
    manager.writeStatistics();
    EXPECT_EQ(lines, (Strings{"MIDI OUTPUT \"Synth\": 3 bytes sent",
                              "MIDI INPUT  \"Keys\": 6 bytes received"}));
    manager.writeStatistics(); // counters were reset
    EXPECT_EQ(lines.size(), 2u);
    manager.setStatisticsLog(nullptr);
}

TEST_F(MidiManagerTest, StartAndStopAreLogged) {
    manager.stop();
    EXPECT_EQ(control.take(), Strings{"message: MIDIManager stopped."});
    manager.start();
    EXPECT_EQ(control.take(), Strings{"message: MIDIManager started."});
}

TEST_F(MidiManagerTest, SettingsSectionsRoundTripByteForByte) {
    plug(true, "Keys");
    plug(false, "Synth");
    const int keys = manager.findEntry("Keys", 0, true);
    ASSERT_TRUE(manager.open(keys, true));
    manager.setPassActiveSensing(keys, true);
    manager.findOrAddEntry("Pads", Tr::MidiDeviceFactory::kTypeVirtual, true);
    manager.open(manager.findOrAddEntry("Absent", 0, false), false); // pending
    manager.findOrAddEntry("Old", Tr::MidiDeviceFactory::kTypeInternal, false);

    Tr::TIniFile first;
    manager.saveSettings(first);
    const std::string text = first.toText();
    EXPECT_NE(text.find("[MIDI.in]\nName0=Keys\nOptions0=TTFF4944494DT\n"
                        "Name1=Pads\nOptions1=FTTF44494D56F\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[MIDI.out]\nName0=Synth\nOptions0=FF4944494DF\n"
                        "Name1=Absent\nOptions1=FF00000000T\nName2=Old\nOptions2=FT4D746E49F\n"),
              std::string::npos)
        << text;

    Tr::MIDIAliasManager otherAliases;
    Tr::MidiManager::Options options;
    options.aliases = &otherAliases;
    options.useHotplugWatcher = false;
    MidiManager other(options);
    other.loadSettings(first);
    Tr::TIniFile second;
    other.saveSettings(second);
    EXPECT_EQ(second.toText(), text);
    // Loaded wanted entries wait as pending; the first refresh or pending check opens them.
    EXPECT_TRUE(other.entry(other.findEntry("Keys", 0, true), true)->isPending());
    EXPECT_FALSE(other.entry(other.findEntry("Synth", 0, false), false)->isPending());

    // Saving fewer entries removes the keys left over from the earlier save.
    Tr::TIniFile shrink;
    shrink.setValue("MIDI.out", "Name5", "Gone");
    shrink.setValue("MIDI.out", "Options5", "FF4944494DT");
    shrink.setValue("MIDI.out", "Name3", "Gone");
    other.saveSettings(shrink);
    EXPECT_FALSE(shrink.hasKey("MIDI.out", "Name3"));
}

TEST_F(MidiManagerTest, SettingsOptionsDefaultsAndGarbage) {
    struct Case {
        const char* options; // null: no Options key
        bool isInput;
        uint32_t kind;
        bool pending;
        bool passSensing;
        bool passClock;
    };
    const uint32_t system = Tr::MidiDeviceFactory::kTypeSystem;
    const uint32_t virtualKind = Tr::MidiDeviceFactory::kTypeVirtual;
    const Case cases[] = {
        {nullptr, true, system, true, false, true},
        {"", false, system, true, false, true},
        {"TF", true, system, true, true, false},
        {"FFT", true, virtualKind, true, false, false},
        {"T", false, virtualKind, true, false, true},
        {"FF4D746E49F", false, Tr::MidiDeviceFactory::kTypeInternal, false, false, true},
        {"FFFFzz##  !!!!!!!!!!!!!", true, system, false, false, false},
        {"FFTF4944494DF", true, system, false, false, false}, // the full code wins
    };
    for (const Case& c : cases) {
        Tr::TIniFile ini;
        const char* section = c.isInput ? "MIDI.in" : "MIDI.out";
        ini.setValue(section, "Name0", "Port");
        if (c.options)
            ini.setValue(section, "Options0", c.options);
        Tr::MIDIAliasManager otherAliases;
        Tr::MidiManager::Options options;
        options.aliases = &otherAliases;
        options.useHotplugWatcher = false;
        MidiManager other(options);
        other.loadSettings(ini);
        ASSERT_EQ(other.entryCount(c.isInput), 1) << (c.options ? c.options : "(none)");
        const Tr::MidiManagerDev* e = other.entry(0, c.isInput);
        EXPECT_EQ(e->typeCode(), c.kind) << (c.options ? c.options : "(none)");
        EXPECT_EQ(e->isPending(), c.pending) << (c.options ? c.options : "(none)");
        if (c.isInput) {
            const auto* in = static_cast<const Tr::MMDevIn*>(e);
            EXPECT_EQ(in->passActiveSensing(), c.passSensing) << c.options;
            EXPECT_EQ(in->passTimingClock(), c.passClock) << c.options;
        }
    }
}

} // namespace
