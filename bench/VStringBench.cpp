#include "foundation/VString.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {

// Every allocation of the program passes here, so a benchmark can report allocations per copy.
std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
// Called through a pointer: gcc would otherwise pair the inlined free with the operator new call
// and warn about a mismatch that is none here.
void (*volatile releaseMemory)(void*) = std::free;
void operator delete(void* memory) noexcept {
    releaseMemory(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    releaseMemory(memory);
}

namespace {

const char* const sampleText = "MIDI IN: Note On ch 1, note 60 (C4), velocity 100 -> Keystroke";

void reportAllocations(benchmark::State& state, long before) {
    state.counters["allocs/op"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}

void BM_CopyVString(benchmark::State& state) {
    const Vorn::VString text(sampleText);
    const long before = allocations.load();
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
    const long before = allocations.load();
    for (auto _ : state) {
        std::string copy(text);
        benchmark::DoNotOptimize(copy);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_CopyStdString);

void BM_FormatShort(benchmark::State& state) {
    const long before = allocations.load();
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
