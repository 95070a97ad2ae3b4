#include "foundation/VString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace Vorn {
namespace {

constexpr int threadCount = 4;

// Threads share blocks through copies while each changes its own copies; every change must stay
// private to the thread that made it, and every block must be freed exactly once.
TEST(VStringThreadsTest, CopiesOfSharedBlocksChangeIndependently) {
    const VString shared[] = {VString("alpha"), VString("caf\xC3\xA9 beta"),
                              VString::format("%0300d", 7)};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&shared, &mismatches, t] {
            for (int i = 0; i < 2000; ++i) {
                const VString& source = shared[i % 3];
                const std::string expected(source.view());
                VString copy = source;
                VString second = copy;
                copy.append(static_cast<char>('0' + t));
                second.toUpper();
                VString moved = std::move(second);
                moved = copy;
                if (copy.view() != expected + static_cast<char>('0' + t) ||
                    source.view() != expected)
                    mismatches.fetch_add(1);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// The wide form of a shared block is built at most once and is the same for every thread.
TEST(VStringThreadsTest, WideFormOfASharedBlockIsPublishedOnce) {
    for (int round = 0; round < 200; ++round) {
        const VString text = VString::format("round %d \xE2\x82\xAC", round);
        std::vector<const char16_t*> seen(threadCount);
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&, t] {
                const VString copy = text;
                while (!go.load())
                    std::this_thread::yield();
                seen[t] = copy.toWide();
            });
        }
        go.store(true);
        for (auto& thread : threads)
            thread.join();
        for (int t = 1; t < threadCount; ++t)
            ASSERT_EQ(seen[t], seen[0]);
        EXPECT_EQ(std::u16string(seen[0]),
                  u"round " + std::u16string(VString::fromInt(round).toWide()) + u" \u20AC");
    }
}

TEST(VStringThreadsTest, GeneratedTextsAreSafeFromAnyThread) {
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&bad] {
            for (int i = 0; i < 200; ++i) {
                if (VString::randomString(16, true).length() != 16 ||
                    VString::nowAsText().length() < 19)
                    bad.fetch_add(1);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(bad.load(), 0);
}

} // namespace
} // namespace Vorn
