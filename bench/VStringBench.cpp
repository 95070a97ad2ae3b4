#include "foundation/VString.h"

#include "CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const char* const sampleText = "MIDI IN: Note On ch 1, note 60 (C4), velocity 100 -> Keystroke";

void reportAllocations(benchmark::State& state, long before) {
    state.counters["allocs/op"] =
        benchmark::Counter(static_cast<double>(BenchSupport::allocations() - before) /
                           static_cast<double>(state.iterations()));
}

void BM_CopyVString(benchmark::State& state) {
    const Vorn::VString text(sampleText);
    const long before = BenchSupport::allocations();
    for (auto _ : state) {
        Vorn::VString copy(text);
        benchmark::DoNotOptimize(copy);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_CopyVString);
BENCHMARK(BM_CopyVString)->Threads(2); // two threads copying one shared block

void BM_CopyStdString(benchmark::State& state) {
    const std::string text(sampleText);
    const long before = BenchSupport::allocations();
    for (auto _ : state) {
        std::string copy(text);
        benchmark::DoNotOptimize(copy);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_CopyStdString);

void BM_FormatShort(benchmark::State& state) {
    const long before = BenchSupport::allocations();
    for (auto _ : state) {
        Vorn::VString text = Vorn::VString::format("%s %d: %s", "note", 60, "C4");
        benchmark::DoNotOptimize(text);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_FormatShort);

void BM_ToWideCached(benchmark::State& state) {
    const Vorn::VString text(sampleText);
    for (auto _ : state)
        benchmark::DoNotOptimize(text.toWide());
}
BENCHMARK(BM_ToWideCached);

} // namespace
