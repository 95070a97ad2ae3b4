#include "engine/ActionFields.h"
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransAction.h"
#include "engine/TTransContext.h"
#include "engine/TTransEngine.h"
#include "engine/TTransEvent.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"

#include "CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

// "BnIn" SS DD (hex): incoming, event type MIDI; matches a message whose status and first data
// byte are SS and DD, and captures the second data byte into local pp, as a MIDI pattern would.
class BenchIncoming final : public Tr::TTransAction {
public:
    explicit BenchIncoming(bool incoming) : TTransAction(incoming) {}
    Vorn::VString getDescription() const override { return "bench in"; }
    Vorn::VString toString() const override {
        return Vorn::VString::format("BnIn%02X%02X", status_, data1_);
    }
    int fromString(const Vorn::VString& text) override {
        const int status = Tr::readHexDigits(text, 4, 2);
        const int data1 = Tr::readHexDigits(text, 6, 2);
        if (status < 0 || data1 < 0)
            return 0;
        status_ = static_cast<uint8_t>(status);
        data1_ = static_cast<uint8_t>(data1);
        return 8;
    }
    bool matches(Tr::TTransEvent& event) override {
        if (event.dataLength < 3 || event.data[0] != status_ || event.data[1] != data1_)
            return false;
        event.locals[1] = event.data[2];
        return true;
    }
    int getType() const override { return Tr::kTypeMidi; }
    int getExecutionLevel() const override { return Tr::kLevelInput; }
    int getCapabilities() const override { return Tr::kCapabilityIncoming; }

protected:
    std::unique_ptr<Tr::TTransAction> newInstance() const override {
        return std::make_unique<BenchIncoming>(isIncoming());
    }

private:
    uint8_t status_ = 0;
    uint8_t data1_ = 0;
};

// "BnOu": outgoing, MIDI type, level 0 (runs inline on the input thread); only counts.
class BenchOutgoing final : public Tr::TTransAction {
public:
    explicit BenchOutgoing(bool incoming) : TTransAction(incoming) {}
    Vorn::VString getDescription() const override { return "bench out"; }
    Vorn::VString toString() const override { return "BnOu"; }
    int fromString(const Vorn::VString&) override { return 4; }
    bool execute(Tr::TTransContext&) override {
        ++executed;
        return true;
    }
    int getType() const override { return Tr::kTypeMidi; }
    int getExecutionLevel() const override { return Tr::kLevelInput; }
    int getCapabilities() const override { return Tr::kCapabilityOutgoing; }

    // Single-threaded benchmarks only.
    static inline int64_t executed = 0;

protected:
    std::unique_ptr<Tr::TTransAction> newInstance() const override {
        return std::make_unique<BenchOutgoing>(isIncoming());
    }
};

void registerBenchActions() {
    Tr::registerAction({"BnIn",
                        [](bool incoming) -> std::unique_ptr<Tr::TTransAction> {
                            return std::make_unique<BenchIncoming>(incoming);
                        },
                        Tr::kTypeMidi, Tr::kCapabilityIncoming});
    Tr::registerAction({"BnOu",
                        [](bool incoming) -> std::unique_ptr<Tr::TTransAction> {
                            return std::make_unique<BenchOutgoing>(incoming);
                        },
                        Tr::kTypeMidi, Tr::kCapabilityOutgoing});
}

// Note On, channel 1, note 60: what the matching translator listens for.
constexpr uint8_t kNoteOn[3] = {0x90, 0x3C, 0x64};

// One active preset of translatorCount translators: the last matchingCount of them match
// kNoteOn, the others listen on channel 2 and never match it.
class Project {
public:
    Project(int translatorCount, int matchingCount) {
        registerBenchActions();
        engine_ = std::make_unique<Tr::TTransEngine>(Tr::TTransEngine::Options{true, 0, 0});
        Tr::TTransList* preset = engine_->presetHandler().addPreset(0);
        for (int i = 0; i < translatorCount; ++i) {
            const bool matching = i >= translatorCount - matchingCount;
            const Vorn::VString in =
                matching ? Vorn::VString("BnIn903C") : Vorn::VString::format("BnIn91%02X", i % 128);
            Tr::TTransMsgPtr translator = Tr::makeTranslator();
            translator->build("t", in, "BnOu", "", nullptr);
            preset->addTranslator(std::move(translator));
        }
    }

    Tr::TTransEngine& engine() { return *engine_; }

    static Tr::TTransEvent noteOn() {
        Tr::TTransEvent event;
        event.clear();
        event.type = Tr::kTypeMidi;
        event.level = Tr::kLevelInput;
        event.data = kNoteOn;
        event.dataLength = 3;
        event.outputOriginal = 1;
        return event;
    }

private:
    std::unique_ptr<Tr::TTransEngine> engine_;
};

// Runs body once per iteration and reports allocations per event; fails the run when the
// outgoing actions did not execute exactly executionsPerEvent times per event.
template <class Body>
void runEvents(benchmark::State& state, int64_t executionsPerEvent, Body body) {
    BenchOutgoing::executed = 0;
    const int64_t allocationsBefore = BenchSupport::allocations();
    for (auto _ : state)
        body();
    const int64_t allocations = BenchSupport::allocations() - allocationsBefore;
    state.counters["allocs_per_event"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations());
    if (BenchOutgoing::executed != executionsPerEvent * state.iterations())
        state.SkipWithError("the outgoing action ran an unexpected number of times");
}

void runProcessEvent(benchmark::State& state, Project& project, int executionsPerEvent) {
    Tr::TTransEngine& engine = project.engine();
    Tr::TTransEvent event = Project::noteOn();
    runEvents(state, executionsPerEvent, [&] {
        uint32_t flags = 0;
        engine.processEvent(event, flags);
        benchmark::DoNotOptimize(flags);
    });
}

// Events per second through a project where exactly one translator, the last, matches.
void BM_ProcessEventOneMatch(benchmark::State& state) {
    Project project(static_cast<int>(state.range(0)), 1);
    runProcessEvent(state, project, 1);
}
BENCHMARK(BM_ProcessEventOneMatch)->Arg(1)->Arg(100)->Arg(1000);

// Time per event divided by count: an iteration-invariant rate, inverted.
benchmark::Counter timePer(int count) {
    return benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate |
                                         benchmark::Counter::kInvert);
}

// The walk's cost per translator that does not match (the event's type, another pattern);
// the fixed cost of an event is the 0 row.
void BM_NonMatchingTranslators(benchmark::State& state) {
    const int translators = static_cast<int>(state.range(0));
    Project project(translators, 0);
    runProcessEvent(state, project, 0);
    if (translators > 0)
        state.counters["per_translator"] = timePer(translators);
}
BENCHMARK(BM_NonMatchingTranslators)->Arg(0)->Arg(1000);

// The cost of one matched translation with its inline outgoing action (match, capture, context,
// execute, statistics): every translator of the project matches. (A whole event with a single
// matched translation is BM_ProcessEventOneMatch/1.)
void BM_MatchedTranslationInline(benchmark::State& state) {
    const int translators = static_cast<int>(state.range(0));
    Project project(translators, translators);
    runProcessEvent(state, project, translators);
    state.counters["per_match"] = timePer(translators);
}
BENCHMARK(BM_MatchedTranslationInline)->Arg(100);

// The road of one MIDI message from the MIDI manager: event built, walked, flags reported.
void BM_MidiDataOneMatch(benchmark::State& state) {
    Project project(1, 1);
    Tr::TTransEngine& engine = project.engine();
    runEvents(state, 1, [&] {
        bool swallowed = false;
        engine.midiData(0, 0, kNoteOn, 3, swallowed);
        benchmark::DoNotOptimize(swallowed);
    });
}
BENCHMARK(BM_MidiDataOneMatch);

} // namespace
