// Messages per second along the manager's input path: one input block parsed, handed to a
// data listener and forwarded along a thru route to an output that counts what it gets.
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiInputBase.h"
#include "midi/MidiManager.h"
#include "midi/MidiOutputBase.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

namespace {

class BenchInput : public Tr::MidiInputBase {
public:
    using MidiInputBase::MidiInputBase;
    ~BenchInput() override { close(); }

protected:
    bool openPort(Vorn::VString&) override {
        setConnected(true);
        return true;
    }
    void closePort() override {}
};

class CountingOutput : public Tr::MidiOutputBase {
public:
    using MidiOutputBase::MidiOutputBase;
    ~CountingOutput() override { close(); }
    int send(const uint8_t*, int length) override {
        bytes.fetch_add(length, std::memory_order_relaxed);
        return 1;
    }
    static inline std::atomic<int64_t> bytes{0};

protected:
    bool openPort(Vorn::VString&) override {
        setConnected(true);
        return true;
    }
    void closePort() override {}
};

// One input and one output port.
class BenchFactory : public Tr::MidiDeviceFactory {
public:
    ~BenchFactory() override { detachListener(); }
    void enumerate(bool isInput, Vorn::VOwnedList<Tr::MidiDeviceDescriptor>& list) override {
        list.add(new Tr::MidiDeviceDescriptor(this, isInput, 0, isInput ? "Keys" : "Synth"));
    }
    uint32_t typeCode() const override { return kTypeSystem; }
    Vorn::VString typeName(bool isInput) const override { return isInput ? "In" : "Out"; }
    std::unique_ptr<Tr::MidiDeviceBase> createDevice(const Tr::MidiDeviceDescriptor& d) override {
        if (d.isInput)
            return std::make_unique<BenchInput>(this, d);
        return std::make_unique<CountingOutput>(this, d);
    }
};

class Counter : public Tr::MidiManagerDataListener {
public:
    void midiData(int, int64_t, const uint8_t*, int, bool&) override { ++count; }
    int64_t count = 0;
};

void MidiManagerInputToThru(benchmark::State& state) {
    Tr::MIDIAliasManager aliases;
    Tr::MidiManager::Options options;
    options.aliases = &aliases;
    options.useHotplugWatcher = false;
    Tr::MidiManager manager(options);
    BenchFactory factory;
    manager.addFactory(&factory);
    manager.start();
    manager.refresh(true);
    const int in = manager.findEntry("Keys", 0, true);
    manager.open(in, true);
    manager.open(manager.findEntry("Synth", 0, false), false);
    auto targets = std::make_shared<Tr::MIDIAliasList>();
    targets->add(aliases.getAlias("Synth", Tr::MIDIAlias::kOut, false, 0));
    aliases.getAlias("Keys", Tr::MIDIAlias::kIn, false, 0)->setThruTargets(targets);
    manager.routesChanged();
    Counter counter;
    manager.setMainDataListener(&counter);

    auto* input = static_cast<Tr::MidiInputBase*>(manager.input(in)->device());
    const uint8_t note[] = {0x90, 0x3C, 0x40};
    for (auto _ : state)
        input->feedBlock(note, 3);
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(CountingOutput::bytes.load());
    manager.setMainDataListener(nullptr);
}

BENCHMARK(MidiManagerInputToThru);

} // namespace
