#include "MidiPortsTestSupport.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManager.h"
#include "midi/MidiSystemFactory.h"
#include "platform/fake/FakeMidiSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Tr::MIDIAlias;

class Counter : public Tr::MidiManagerDataListener {
public:
    void midiData(int, int64_t, const uint8_t*, int, bool&) override {
        count.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<int> count{0};
};

// Live MIDI on two input threads while the host refreshes, rebinds, reroutes and changes
// listeners: nothing is lost, nothing is misrouted, a removed listener is never called again.
TEST(MidiManagerThreads, LiveInputSurvivesRefreshesAndListenerChanges) {
    Platform::FakeMidiSystem system;
    Tr::MIDIAliasManager aliases;
    Tr::MidiManager::Options options;
    options.aliases = &aliases;
    options.useHotplugWatcher = false;
    Tr::MidiManager manager(options);
    Tr::MidiSystemFactory factory(system);
    manager.addFactory(&factory);
    manager.start();

    const std::string in1 = system.addPort(true, "Keys");
    const std::string in2 = system.addPort(true, "Pads");
    const std::string out = system.addPort(false, "Synth");
    manager.refresh(true);
    for (const char* name : {"Keys", "Pads"})
        ASSERT_TRUE(manager.open(manager.findEntry(name, 0, true), true));
    ASSERT_TRUE(manager.open(manager.findEntry("Synth", 0, false), false));

    auto targets = std::make_shared<Tr::MIDIAliasList>();
    targets->add(aliases.getAlias("Synth", MIDIAlias::kOut, false, 0));
    for (const char* name : {"Keys", "Pads"})
        aliases.getAlias(name, MIDIAlias::kIn, false, 0)->setThruTargets(targets);
    manager.routesChanged();
    Counter main;
    manager.setMainDataListener(&main);

    MIDIAlias* synth = aliases.getAlias("Synth", MIDIAlias::kOut, false, 0);
    const int synthSlot = synth->deviceSlot();
    std::atomic<bool> running{true};
    std::atomic<int> misbound{0};
    std::thread watcher([&] {
        while (running.load())
            if (synth->deviceSlot() != synthSlot)
                misbound.fetch_add(1);
    });

    constexpr int kMessages = 20000;
    auto play = [&](const std::string& id) {
        const uint8_t note[] = {0x90, 0x3C, 0x40};
        for (int i = 0; i < kMessages; ++i)
            system.feed(id, note, 3);
    };
    std::thread keys(play, in1);
    std::thread pads(play, in2);

    for (int round = 0; round < 200; ++round) {
        manager.refresh(true);
        manager.routesChanged();
        auto* listener = new Counter();
        manager.addDataListener(listener);
        manager.removeDataListener(listener);
        delete listener; // never called after its removal returned
    }
    keys.join();
    pads.join();
    running.store(false);
    watcher.join();

    EXPECT_EQ(misbound.load(), 0);
    EXPECT_EQ(main.count.load(), 2 * kMessages);
    EXPECT_EQ(system.sentBlocks(out).size(), size_t(2 * kMessages));
    manager.setMainDataListener(nullptr);
}

// Several threads send to the same output at once.
TEST(MidiManagerThreads, ConcurrentSendsAllArrive) {
    Platform::FakeMidiSystem system;
    Tr::MIDIAliasManager aliases;
    Tr::MidiManager::Options options;
    options.aliases = &aliases;
    options.useHotplugWatcher = false;
    Tr::MidiManager manager(options);
    Tr::MidiSystemFactory factory(system);
    manager.addFactory(&factory);
    manager.start();
    const std::string out = system.addPort(false, "Synth");
    manager.refresh(true);
    ASSERT_TRUE(manager.open(manager.findEntry("Synth", 0, false), false));
    Tr::MIDIAliasList list;
    list.add(aliases.getAlias("Synth", MIDIAlias::kOut, false, 0));

    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&] {
            const uint8_t cc[] = {0xB0, 0x07, 0x64};
            for (int i = 0; i < 5000; ++i)
                manager.send(list, cc, 3);
        });
    for (std::thread& sender : senders)
        sender.join();
    EXPECT_EQ(system.sentBlocks(out).size(), 20000u);
}

} // namespace
