// Matched Note On -> Control Change translations per second along the whole input path: a port
// of the system kind delivers 90 3C 40, the MIDI manager hands it to the engine, the translator's
// incoming MIDI action matches and captures, its outgoing MIDI action builds B0 3C 40 and sends
// it through the manager to a counting output port. The counter "allocs/event" counts every
// operator new on the way (target: 0).
#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManager.h"
#include "midi/MidiMessageType.h"
#include "midi/MidiSystemFactory.h"
#include "midi/TTransMidiAction.h"
#include "platform/MidiSystem.h"

#include "CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

// One input "Keys" the benchmark drives itself and one output "Synth" that only counts.
class CountingMidiSystem final : public Platform::MidiSystem {
public:
    class Output final : public Platform::MidiOutputPort {
    public:
        explicit Output(std::atomic<long>& sent) : sent_(sent) {}
        Platform::MidiResult sendShort(const uint8_t*, int length) override {
            return count(length);
        }
        Platform::MidiResult sendLong(const uint8_t*, int length) override { return count(length); }

    private:
        Platform::MidiResult count(int length) {
            sent_.fetch_add(length, std::memory_order_relaxed);
            return Platform::MidiResult::kOk;
        }
        std::atomic<long>& sent_;
    };
    class Input final : public Platform::MidiInputPort {};

    std::string backendName() const override { return "counting"; }
    std::vector<Platform::MidiPortInfo> ports(bool isInput) override {
        Platform::MidiPortInfo port;
        port.id = isInput ? "in" : "out";
        port.name = isInput ? "Keys" : "Synth";
        port.isInput = isInput;
        return {port};
    }
    Platform::MidiResult openInput(const std::string&, Platform::MidiInputCallback& callback,
                                   std::unique_ptr<Platform::MidiInputPort>& port,
                                   std::string&) override {
        callback_ = &callback;
        port = std::make_unique<Input>();
        return Platform::MidiResult::kOk;
    }
    Platform::MidiResult openOutput(const std::string&,
                                    std::unique_ptr<Platform::MidiOutputPort>& port,
                                    std::string&) override {
        port = std::make_unique<Output>(sentBytes);
        return Platform::MidiResult::kOk;
    }
    void setListener(Listener*) override {}

    void feed(const uint8_t* data, int length) { callback_->midiInput(data, length, -1); }

    std::atomic<long> sentBytes{0};

private:
    Platform::MidiInputCallback* callback_ = nullptr;
};

void MatchedNoteOnToControlChange(benchmark::State& state) {
    using Msg = Tr::SimpleMidiMessage;
    Tr::registerMidiActions();
    CountingMidiSystem system;
    Tr::MIDIAliasManager aliases;
    Tr::TTransEngine engine(Tr::TTransEngine::Options{true, 0, 0});
    Tr::MidiManager manager(Tr::MidiManager::Options{&aliases, false});
    Tr::MidiSystemFactory factory(system);
    manager.addFactory(&factory);
    manager.connectEngine(&engine);
    manager.start();
    manager.refresh(true);
    if (!manager.open(manager.findEntry("Keys", 0, true), true) ||
        !manager.open(manager.findEntry("Synth", 0, false), false)) {
        state.SkipWithError("ports did not open");
        return;
    }

    Tr::TTransMidiAction in(true);
    in.setSimple(Tr::kMidiNoteOn, Tr::VarOrNumber(), Tr::VarOrNumber(), Tr::VarOrNumber(), 0, 0,
                 Msg::kChannelAny | Msg::kChannelSetVar | Msg::kValue1Any | Msg::kValue1SetVar |
                     Msg::kValue2Any | Msg::kValue2SetVar,
                 0, 1, 2);
    Tr::TTransMidiAction out(false);
    out.setSimple(Tr::kMidiControlChange, Tr::VarOrNumber::variable(0),
                  Tr::VarOrNumber::variable(1), Tr::VarOrNumber::variable(2), 0, 0, 0, -1, -1, -1);
    out.ports().add(aliases.getAlias("Synth", Tr::MIDIAlias::kOut, false, 0));
    Tr::TTransList* preset = engine.presetHandler().addPreset(0);
    // Translators ahead of the matching one whose pattern differs only in the note: what each
    // non-matching translator costs.
    Tr::TTransMidiAction otherNote(true);
    otherNote.setSimple(Tr::kMidiNoteOn, Tr::VarOrNumber(), Tr::VarOrNumber::number(0x3B),
                        Tr::VarOrNumber(), 0, 0, Msg::kChannelAny | Msg::kValue2Any, -1, -1, -1);
    for (int64_t i = 0; i < state.range(0); ++i) {
        Tr::TTransMsgPtr other = Tr::makeTranslator();
        other->build("other", otherNote.toString(), out.toString(), "Actv01Stop00OutO00", nullptr);
        preset->addTranslator(std::move(other));
    }
    Tr::TTransMsgPtr translator = Tr::makeTranslator();
    translator->build("bench", in.toString(), out.toString(), "Actv01Stop00OutO00", nullptr);
    preset->addTranslator(std::move(translator));

    const uint8_t noteOn[3] = {0x90, 0x3C, 0x40};
    system.feed(noteOn, 3); // the first event may set up what later ones reuse
    const long sentBefore = system.sentBytes.load();
    const long allocationsBefore = BenchSupport::allocations();
    for (auto _ : state)
        system.feed(noteOn, 3);
    const long events = static_cast<long>(state.iterations());
    state.counters["allocs/event"] =
        double(BenchSupport::allocations() - allocationsBefore) / double(events ? events : 1);
    if (system.sentBytes.load() - sentBefore != 3 * events)
        state.SkipWithError("not every event was translated");
    state.SetItemsProcessed(state.iterations());

    manager.stop();
    manager.connectEngine(nullptr);
    manager.removeFactory(&factory);
}

BENCHMARK(MatchedNoteOnToControlChange)->Arg(0)->Arg(100)->Arg(1000);

} // namespace
