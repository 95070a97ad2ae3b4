#include "foundation/VLock.h"
#include "foundation/VRWLock.h"

#include <benchmark/benchmark.h>

namespace {

// Uncontended costs: what the event path pays for the preset lock and a list lock.

void BM_VRWLockReadLockUnlock(benchmark::State& state) {
    Vorn::VRWLock lock;
    for (auto _ : state) {
        lock.lockRead();
        lock.unlockRead();
    }
}
BENCHMARK(BM_VRWLockReadLockUnlock);

void BM_VRWLockTryReadUnlock(benchmark::State& state) {
    Vorn::VRWLock lock;
    for (auto _ : state) {
        if (lock.tryLockRead())
            lock.unlockRead();
    }
}
BENCHMARK(BM_VRWLockTryReadUnlock);

void BM_VRWLockWriteLockUnlock(benchmark::State& state) {
    Vorn::VRWLock lock;
    for (auto _ : state) {
        lock.lockWrite();
        lock.unlockWrite();
    }
}
BENCHMARK(BM_VRWLockWriteLockUnlock);

void BM_VLockLockUnlock(benchmark::State& state) {
    Vorn::VLock lock;
    for (auto _ : state) {
        lock.lock();
        lock.unlock();
    }
}
BENCHMARK(BM_VLockLockUnlock);

// Readers on every thread at once: the shared counter's cache line is the cost.
void BM_VRWLockReadLockUnlockShared(benchmark::State& state) {
    static Vorn::VRWLock lock;
    for (auto _ : state) {
        lock.lockRead();
        lock.unlockRead();
    }
}
BENCHMARK(BM_VRWLockReadLockUnlockShared)->Threads(2);

} // namespace
