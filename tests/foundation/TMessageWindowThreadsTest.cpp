#include "foundation/TMessageWindowThread.h"

#include "../support/WaitUntil.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using TestSupport::waitUntil;

struct Received {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

class RecordingListener : public Vorn::TWndMessageListener {
public:
    void windowCreated(Vorn::MessageWindow* hwnd) override {
        created = hwnd;
        createdOnWindowThread = std::this_thread::get_id() != testThread;
        ++createdCalls;
    }
    void handleMessage(Vorn::MessageWindow* hwnd, uint32_t message, uintptr_t wParam,
                       intptr_t lParam, bool* handled) override {
        std::lock_guard hold(mutex);
        if (hwnd == created.load())
            received.push_back({message, wParam, lParam});
        *handled = true;
    }
    size_t receivedCount() {
        std::lock_guard hold(mutex);
        return received.size();
    }

    const std::thread::id testThread = std::this_thread::get_id();
    std::atomic<Vorn::MessageWindow*> created{nullptr};
    std::atomic<bool> createdOnWindowThread{false};
    std::atomic<int> createdCalls{0};
    std::mutex mutex;
    std::vector<Received> received;
};

TEST(MessageWindows, CreateListsTheWindowAndTellsTheListenerOnItsThread) {
    RecordingListener listener;
    Vorn::MessageWindow* window = Vorn::createMessageWindow(&listener, "Probe");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(listener.created.load(), window);
    EXPECT_EQ(listener.createdCalls.load(), 1);
    EXPECT_TRUE(listener.createdOnWindowThread.load());
    EXPECT_EQ(Vorn::messageWindowCount(), 1);
    EXPECT_EQ(Vorn::messageWindowAt(0), window);
    EXPECT_EQ(Vorn::messageWindowAt(1), nullptr);
    EXPECT_EQ(Vorn::messageWindowAt(-1), nullptr);
    Vorn::destroyMessageWindow(window);
    EXPECT_EQ(Vorn::messageWindowCount(), 0);
}

TEST(MessageWindows, PostedMessagesArriveInOrderAndStopAtDestruction) {
    RecordingListener listener;
    Vorn::MessageWindow* window = Vorn::createMessageWindow(&listener, "Receiver");
    ASSERT_NE(window, nullptr);
    for (uint32_t i = 0; i < 50; ++i)
        ASSERT_TRUE(Vorn::postMessage(window, 0x0219, i, -intptr_t(i)));
    // The private "created" message to a window repeats windowCreated.
    ASSERT_TRUE(Vorn::postMessage(window, 2246, 0, 2246));
    ASSERT_TRUE(waitUntil([&] { return listener.createdCalls.load() == 2; }));
    {
        std::lock_guard hold(listener.mutex);
        ASSERT_EQ(listener.received.size(), 50u);
        for (uint32_t i = 0; i < 50; ++i) {
            EXPECT_EQ(listener.received[i].message, 0x0219u);
            EXPECT_EQ(listener.received[i].wParam, i);
            EXPECT_EQ(listener.received[i].lParam, -intptr_t(i));
        }
    }
    Vorn::destroyMessageWindow(window);
    EXPECT_FALSE(Vorn::postMessage(window, 0x0219, 99, 0));
    EXPECT_FALSE(Vorn::postMessage(nullptr, 0x0219, 99, 0));
    EXPECT_EQ(listener.receivedCount(), 50u);
}

TEST(MessageWindows, LastWindowStopsTheThreadAndTheNextCreateStartsAnother) {
    RecordingListener first;
    RecordingListener second;
    Vorn::MessageWindow* a = Vorn::createMessageWindow(&first, "A");
    Vorn::MessageWindow* b = Vorn::createMessageWindow(&second, "B");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Vorn::messageWindowCount(), 2);
    EXPECT_EQ(Vorn::messageWindowAt(1), b);

    Vorn::destroyMessageWindow(a);
    EXPECT_TRUE(waitUntil([] { return Vorn::messageWindowCount() == 1; }));
    EXPECT_EQ(Vorn::messageWindowAt(0), b);
    ASSERT_TRUE(Vorn::postMessage(b, 1, 2, 3));
    EXPECT_TRUE(waitUntil([&] { return second.receivedCount() == 1; }));

    Vorn::destroyMessageWindow(b);
    EXPECT_EQ(Vorn::messageWindowCount(), 0);
    Vorn::destroyMessageWindow(b); // unknown by now: ignored

    RecordingListener third;
    Vorn::MessageWindow* c = Vorn::createMessageWindow(&third, "C");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(third.createdOnWindowThread.load());
    ASSERT_TRUE(Vorn::postMessage(c, 7, 8, 9));
    EXPECT_TRUE(waitUntil([&] { return third.receivedCount() == 1; }));
    Vorn::destroyMessageWindow(c);
}

// A listener may create and destroy windows from its own callbacks.
class ReentrantListener : public RecordingListener {
public:
    void handleMessage(Vorn::MessageWindow* hwnd, uint32_t message, uintptr_t wParam,
                       intptr_t lParam, bool* handled) override {
        if (message == 100)
            child = Vorn::createMessageWindow(&childListener, "Child");
        else if (message == 101)
            Vorn::destroyMessageWindow(child.load());
        RecordingListener::handleMessage(hwnd, message, wParam, lParam, handled);
    }
    RecordingListener childListener;
    std::atomic<Vorn::MessageWindow*> child{nullptr};
};

TEST(MessageWindows, ListenersMayCreateAndDestroyWindowsOnTheWindowThread) {
    ReentrantListener listener;
    Vorn::MessageWindow* parent = Vorn::createMessageWindow(&listener, "Parent");
    ASSERT_NE(parent, nullptr);
    ASSERT_TRUE(Vorn::postMessage(parent, 100, 0, 0));
    ASSERT_TRUE(waitUntil([&] { return listener.receivedCount() == 1; }));
    EXPECT_NE(listener.child.load(), nullptr);
    EXPECT_EQ(Vorn::messageWindowCount(), 2);
    ASSERT_TRUE(Vorn::postMessage(parent, 101, 0, 0));
    ASSERT_TRUE(waitUntil([] { return Vorn::messageWindowCount() == 1; }));
    Vorn::destroyMessageWindow(parent);
    EXPECT_EQ(Vorn::messageWindowCount(), 0);
}

TEST(MessageWindows, ManyThreadsCreateAndDestroyConcurrently) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                RecordingListener listener;
                Vorn::MessageWindow* window = Vorn::createMessageWindow(&listener, "Busy");
                if (!window || !Vorn::postMessage(window, 5, 0, 0))
                    ++failures;
                Vorn::destroyMessageWindow(window);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Vorn::messageWindowCount(), 0);
}

} // namespace
