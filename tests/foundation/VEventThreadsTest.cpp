#include "foundation/VEvent.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using TestSupport::waitUntil;

TEST(VEvent, WaitWithoutTimeoutWaitsUntilSignalled) {
    for (int forever : {0, -1}) {
        Vorn::VEvent event;
        std::atomic<bool> woke{false};
        std::thread waiter([&] {
            EXPECT_TRUE(event.wait(forever));
            woke = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(woke.load()) << "timeout " << forever;
        event.signal();
        EXPECT_TRUE(waitUntil([&] { return woke.load(); }));
        waiter.join();
    }
}

TEST(VEvent, AutoResetsAndRemembersAnEarlySignal) {
    Vorn::VEvent event;
    EXPECT_FALSE(event.wait(10));
    event.signal();
    event.signal(); // signals do not add up
    EXPECT_TRUE(event.wait(10));
    EXPECT_FALSE(event.wait(10));
}

TEST(VEvent, OneSignalReleasesOneWaiter) {
    Vorn::VEvent event;
    std::atomic<int> released{0};
    std::thread first([&] { released += event.wait(0) ? 1 : 0; });
    std::thread second([&] { released += event.wait(0) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.signal();
    EXPECT_TRUE(waitUntil([&] { return released.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(released.load(), 1);
    event.signal();
    first.join();
    second.join();
    EXPECT_EQ(released.load(), 2);
}

} // namespace
