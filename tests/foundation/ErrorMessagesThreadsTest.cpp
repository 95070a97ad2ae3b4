#include "foundation/ErrorMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Vorn::VString;

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 400;

class CountingCallback : public Vorn::ErrorMessageCallback {
public:
    void message(int, const VString&) override { ++count; } // serialised by the registry
    int count = 0;
};

// Lines of several threads reach the line output, the log file and the callbacks whole, while
// callbacks come and go; the line output and the callback hold no lock of their own.
TEST(ErrorMessagesThreads, ConcurrentReportsNeverInterleaveWithinALine) {
    std::vector<std::string> sunk;
    Vorn::setLineOutput([&sunk](std::string_view line) { sunk.emplace_back(line); });
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    Vorn::setLogStream(log);
    CountingCallback counting;
    Vorn::addErrorCallback(&counting);

    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &go] {
            while (!go.load()) {
            }
            std::string body(150, static_cast<char>('a' + t));
            for (int i = 0; i < kLinesPerThread; ++i)
                Vorn::report(Vorn::kReportError, "%c%04d%s", 'a' + t, i, body.c_str());
        });
    }
    std::thread churn([&go] {
        while (!go.load()) {
        }
        CountingCallback transient;
        for (int i = 0; i < 200; ++i) {
            Vorn::addErrorCallback(&transient);
            Vorn::removeErrorCallback(&transient);
        }
    });
    go.store(true);
    for (std::thread& thread : threads)
        thread.join();
    churn.join();
    Vorn::setLineOutput(nullptr);
    Vorn::setLogStream(nullptr);
    Vorn::deleteErrorCallbackRegistry();

    EXPECT_EQ(counting.count, kThreads * kLinesPerThread);

    std::rewind(log);
    std::vector<std::string> logged;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, log))
        logged.emplace_back(buffer);
    std::fclose(log);
    EXPECT_EQ(logged, sunk);

    ASSERT_EQ(sunk.size(), static_cast<size_t>(kThreads * kLinesPerThread));
    std::map<char, std::set<std::string>> tagsOfThread;
    std::map<char, int> nextIndex;
    for (const std::string& line : sunk) {
        size_t text = line.find(": ERROR: ");
        ASSERT_NE(text, std::string::npos) << line;
        std::string message = line.substr(text + 9);
        char id = message[0];
        ASSERT_EQ(message, std::string(1, id) + std::to_string(10000 + nextIndex[id]).substr(1) +
                               std::string(150, id) + "\n");
        ++nextIndex[id];
        tagsOfThread[id].insert(line.substr(line.find('-'), text - line.find('-')));
    }
    std::set<std::string> distinct;
    for (const auto& [id, tags] : tagsOfThread) {
        EXPECT_EQ(tags.size(), 1u) << id;
        distinct.insert(*tags.begin());
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads));
}

} // namespace
