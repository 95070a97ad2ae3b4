#include "host/TMBEventQueue.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace Tr {
namespace {

// Record n carries the n bytes of the alphabet cycle starting at letter n % 26.
std::string alphabetCycle() {
    std::string cycle(TCallbackMessage::kMaxText + 26, 0);
    for (size_t i = 0; i < cycle.size(); ++i)
        cycle[i] = static_cast<char>('a' + i % 26);
    return cycle;
}

const char* textOf(const std::string& cycle, int sequence) {
    return cycle.data() + sequence % 26;
}

// One producer posts a record of every text length from 0 to the cap, waiting whenever the ring
// is full; the polling consumer must see each one complete and in order while the records
// wrap around the ring many times.
TEST(TMBEventQueueThreadsTest, EveryRecordSizeWrapsAroundUnderAProducerAndAPoller) {
    auto queue = std::make_unique<TMBEventQueue>();
    constexpr int kCount = TCallbackMessage::kMaxText + 1;
    const std::string cycle = alphabetCycle();
    std::atomic<int> retries{0};
    std::thread producer([&] {
        for (int sequence = 0; sequence < kCount; ++sequence) {
            while (!queue->postText(24, sequence, sequence * 3, 0, 0, ~sequence,
                                    textOf(cycle, sequence), sequence)) {
                retries.fetch_add(1, std::memory_order_relaxed);
                std::this_thread::yield();
            }
        }
    });
    // Start polling only once the ring has filled, so the full path is taken at least once.
    while (retries.load(std::memory_order_relaxed) == 0)
        std::this_thread::yield();
    int bad = 0;
    TMBEventQueue::Event event;
    for (int expected = 0; expected < kCount && bad < 5;) {
        if (!queue->getLogEvent(event)) {
            std::this_thread::yield();
            continue;
        }
        bool good = event.fields[0] == 24 && event.fields[1] == expected &&
                    event.fields[2] == expected * 3 && event.fields[5] == ~expected &&
                    event.text.length() == expected &&
                    std::memcmp(event.text.c_str(), textOf(cycle, expected), expected) == 0;
        if (!good) {
            ADD_FAILURE() << "record " << expected << " arrived as " << event.fields[1] << " with "
                          << event.text.length() << " bytes";
            ++bad;
        }
        ++expected;
    }
    producer.join();
    EXPECT_FALSE(queue->getLogEvent(event));
}

// Four threads log through the engine's log listener while the consumer polls: every record is
// one thread's line, whole, and each thread's lines keep their order (full rings drop lines).
TEST(TMBEventQueueThreadsTest, LogLinesOfFourThreadsNeverInterleave) {
    auto queue = std::make_unique<TMBEventQueue>();
    constexpr int kThreads = 4;
    constexpr int kLines = 3000;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> loggers;
    for (int thread = 0; thread < kThreads; ++thread)
        loggers.emplace_back([&, thread] {
            for (int line = 0; line < kLines; ++line) {
                std::string text(1 + (line * 37 + thread * 11) % 2000,
                                 static_cast<char>('A' + thread));
                queue->logIncoming(Vorn::VString(text), thread, line, 0);
            }
            running.fetch_sub(1);
        });
    int last[kThreads] = {-1, -1, -1, -1};
    int received = 0;
    int bad = 0;
    TMBEventQueue::Event event;
    while (bad < 5) {
        bool done = running.load() == 0;
        if (!queue->getLogEvent(event)) {
            if (done)
                break;
            std::this_thread::yield();
            continue;
        }
        ++received;
        int thread = event.fields[1];
        int line = event.fields[2];
        bool good = event.fields[0] == 7 && thread >= 0 && thread < kThreads &&
                    line > last[thread] &&
                    event.text.length() == 1 + (line * 37 + thread * 11) % 2000;
        for (int i = 0; good && i < event.text.length(); ++i)
            good = event.text.charAt(i) == 'A' + thread;
        if (!good) {
            ADD_FAILURE() << "mixed record from thread " << thread << " line " << line;
            ++bad;
            continue;
        }
        last[thread] = line;
    }
    for (std::thread& logger : loggers)
        logger.join();
    while (queue->getLogEvent(event))
        ++received;
    EXPECT_GT(received, 0);
    EXPECT_LE(received, kThreads * kLines);
}

} // namespace
} // namespace Tr
