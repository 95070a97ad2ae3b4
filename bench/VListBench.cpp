#include "foundation/VList.h"
#include "foundation/VString.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using Vorn::VList;
using Vorn::VString;

// Each iteration builds a fresh container of range(0) elements, growth included.

void VListAddInt(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        VList<int> list;
        for (int i = 0; i < n; ++i) {
            list.add(i);
        }
        benchmark::DoNotOptimize(list.get(n - 1));
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void VectorPushBackInt(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<int> list;
        for (int i = 0; i < n; ++i) {
            list.push_back(i);
        }
        benchmark::DoNotOptimize(list.back());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// Adding a string shares its block: the cost is an atomic increment (and a decrement when the
// container goes).
void VListAddString(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const VString text("a line of text that is not short");
    for (auto _ : state) {
        VList<VString> list;
        for (int i = 0; i < n; ++i) {
            list.add(text);
        }
        benchmark::DoNotOptimize(list.get(n - 1).c_str());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void VectorPushBackString(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const VString text("a line of text that is not short");
    for (auto _ : state) {
        std::vector<VString> list;
        for (int i = 0; i < n; ++i) {
            list.push_back(text);
        }
        benchmark::DoNotOptimize(list.back().c_str());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(VListAddInt)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(VectorPushBackInt)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(VListAddString)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(VectorPushBackString)->Arg(16)->Arg(1024)->Arg(65536);

} // namespace
