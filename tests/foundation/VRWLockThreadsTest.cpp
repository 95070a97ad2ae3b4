#include "foundation/VRWLock.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using TestSupport::waitUntil;

// Runs body on another thread and tells whether it finished within the time.
bool finishesOnAnotherThread(const std::function<void()>& body, int timeoutMillis = 2000) {
    std::atomic<bool> finished{false};
    std::thread other([&] {
        body();
        finished = true;
    });
    const bool result = waitUntil([&] { return finished.load(); }, timeoutMillis);
    other.join();
    return result;
}

// Whether another thread could take a read lock without waiting at that moment.
bool readableFromAnotherThread(Vorn::VRWLock& lock) {
    bool readable = false;
    std::thread other([&] {
        readable = lock.tryLockRead();
        if (readable)
            lock.unlockRead();
    });
    other.join();
    return readable;
}

TEST(VRWLock, WriterReentersAndTakesReadLocks) {
    Vorn::VRWLock lock;
    lock.lockWrite();
    lock.lockWrite();
    lock.lockRead();
    EXPECT_TRUE(lock.tryLockRead());
    lock.unlockRead();
    lock.unlockRead();
    lock.unlockWrite();
    EXPECT_FALSE(readableFromAnotherThread(lock)) << "one unlockWrite of two keeps the lock";
    lock.unlockWrite();
    EXPECT_TRUE(finishesOnAnotherThread([&] {
        lock.lockWrite();
        lock.unlockWrite();
    }));
}

TEST(VRWLock, WriterKeepsItsReadLockAfterUnlockingWrite) {
    Vorn::VRWLock lock;
    lock.lockWrite();
    lock.lockRead();
    lock.unlockWrite();
    EXPECT_TRUE(readableFromAnotherThread(lock)); // readers share the remaining read lock
    std::atomic<bool> wrote{false};
    std::thread writer([&] {
        lock.lockWrite();
        wrote = true;
        lock.unlockWrite();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(wrote.load());
    lock.unlockRead();
    EXPECT_TRUE(waitUntil([&] { return wrote.load(); }));
    writer.join();
}

TEST(VRWLock, WritersExcludeEveryoneUnderContention) {
    Vorn::VRWLock lock;
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> violations{0};
    int guarded = 0; // written only under the write lock
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const bool write = (round + t) % 4 == 0;
                const bool tryRead = !write && round % 3 == 0;
                if (write) {
                    lock.lockWrite();
                    if (writers.fetch_add(1) != 0 || readers.load() != 0)
                        ++violations;
                    ++guarded;
                    writers.fetch_sub(1);
                    lock.unlockWrite();
                } else if (!tryRead || lock.tryLockRead()) {
                    if (!tryRead)
                        lock.lockRead();
                    readers.fetch_add(1);
                    if (writers.load() != 0)
                        ++violations;
                    [[maybe_unused]] volatile int seen = guarded;
                    readers.fetch_sub(1);
                    lock.unlockRead();
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(guarded, kThreads * kRounds / 4);
}

TEST(VRWLock, ReadersAreAdmittedWhileAWriterWaitsForThemToDrain) {
    Vorn::VRWLock lock;
    lock.lockRead();
    std::atomic<bool> writing{false};
    std::thread writer([&] {
        lock.lockWrite();
        writing = true;
        lock.unlockWrite();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(writing.load());
    EXPECT_TRUE(finishesOnAnotherThread([&] {
        EXPECT_TRUE(lock.tryLockRead());
        lock.unlockRead();
        lock.lockRead();
        lock.unlockRead();
    }));
    EXPECT_FALSE(writing.load());
    lock.unlockRead();
    EXPECT_TRUE(waitUntil([&] { return writing.load(); }));
    writer.join();
}

TEST(VRWLock, TryLockReadFailsOnlyWhileAnotherThreadWrites) {
    Vorn::VRWLock lock;
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    std::thread writer([&] {
        lock.lockWrite();
        holding = true;
        waitUntil([&] { return release.load(); });
        lock.unlockWrite();
    });
    ASSERT_TRUE(waitUntil([&] { return holding.load(); }));
    EXPECT_FALSE(lock.tryLockRead());
    EXPECT_FALSE(readableFromAnotherThread(lock));
    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.lockRead(); // blocks until the writer leaves
        readerIn = true;
        lock.unlockRead();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(readerIn.load());
    release = true;
    writer.join();
    EXPECT_TRUE(waitUntil([&] { return readerIn.load(); }));
    reader.join();
    EXPECT_TRUE(lock.tryLockRead());
    lock.unlockRead();
}

} // namespace
