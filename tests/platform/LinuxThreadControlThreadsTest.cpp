#include "platform/ThreadControl.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>

namespace {

using TestSupport::waitUntil;

std::string nameOfThreadNamed(const std::string& name) {
    Platform::ThreadControl& control = Platform::systemThreadControl();
    std::atomic<bool> done{false};
    std::string seen;
    EXPECT_TRUE(control.startThread(0, [&] {
        control.setCurrentThreadName(name);
        char buffer[64] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof(buffer));
        seen = buffer;
        done = true;
    }));
    EXPECT_TRUE(waitUntil([&] { return done.load(); }));
    return seen;
}

TEST(LinuxThreadControl, NamesAreCutToFifteenBytesOnACharacterBoundary) {
    EXPECT_EQ(nameOfThreadNamed("VTimerManager"), "VTimerManager");
    EXPECT_EQ(nameOfThreadNamed("Window Message Thread"), "Window Message ");
    // A two-byte letter that would straddle byte 15 is left out whole.
    EXPECT_EQ(nameOfThreadNamed("Threads Fen\xC3\xAAtre"), "Threads Fen\xC3\xAAtr");
    EXPECT_EQ(nameOfThreadNamed("Threads Fenxy\xC3\xAAtre"), "Threads Fenxy\xC3\xAA");
    EXPECT_EQ(nameOfThreadNamed("Threads Fenxyz\xC3\xAAtre"), "Threads Fenxyz");
}

TEST(LinuxThreadControl, RefusedPrioritiesLeaveTheThreadRunnable) {
    Platform::ThreadControl& control = Platform::systemThreadControl();
    for (int priority = 0; priority <= 4; ++priority) {
        std::atomic<bool> done{false};
        ASSERT_TRUE(control.startThread(64 * 1024, [&] {
            control.applyPriority(priority); // real-time is usually refused here
            done = true;
        }));
        EXPECT_TRUE(waitUntil([&] { return done.load(); })) << priority;
    }
}

} // namespace
