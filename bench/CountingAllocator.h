#pragma once

// Replaces the global allocation functions of the benchmark program that includes this header
// (include it in one file of a program only), so a benchmark can report allocations per
// operation: the hot paths must cost none.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace BenchSupport {

inline std::atomic<int64_t> allocationCount{0};

inline int64_t allocations() {
    return allocationCount.load(std::memory_order_relaxed);
}

inline void* countedAllocation(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

// Called through a pointer: gcc would otherwise pair the inlined free with the operator new call
// and warn about a mismatch that is none here.
inline void (*volatile releaseMemory)(void*) = std::free;

} // namespace BenchSupport

void* operator new(std::size_t size) {
    return BenchSupport::countedAllocation(size);
}
void* operator new[](std::size_t size) {
    return BenchSupport::countedAllocation(size);
}
void operator delete(void* memory) noexcept {
    BenchSupport::releaseMemory(memory);
}
void operator delete[](void* memory) noexcept {
    BenchSupport::releaseMemory(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    BenchSupport::releaseMemory(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    BenchSupport::releaseMemory(memory);
}
