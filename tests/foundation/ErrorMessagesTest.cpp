#include "foundation/ErrorMessages.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using Vorn::VString;

struct Received {
    int level;
    std::string text;
    bool operator==(const Received&) const = default;
};

class RecordingCallback : public Vorn::ErrorMessageCallback {
public:
    explicit RecordingCallback(std::vector<std::pair<int, std::string>>* order = nullptr,
                               int id = 0)
        : order_(order), id_(id) {}
    void message(int level, const VString& text) override {
        received.push_back({level, text.c_str()});
        if (order_)
            order_->push_back({id_, text.c_str()});
    }
    std::vector<Received> received;

private:
    std::vector<std::pair<int, std::string>>* order_;
    int id_;
};

// A diagnostic line is "<ms>-0x<thread id in hex>: " followed by tail.
testing::AssertionResult isDiagnosticLine(const std::string& line, const std::string& tail,
                                          const char* millis = nullptr) {
    size_t dash = line.find('-');
    size_t colon = line.find(": ");
    bool ok = dash != std::string::npos && dash > 0 && colon != std::string::npos &&
              line.compare(dash + 1, 2, "0x") == 0 && colon > dash + 3 &&
              line.substr(colon + 2) == tail;
    for (size_t i = 0; ok && i < dash; ++i)
        ok = std::isdigit(static_cast<unsigned char>(line[i]));
    for (size_t i = dash + 3; ok && i < colon; ++i)
        ok = std::isxdigit(static_cast<unsigned char>(line[i]));
    if (ok && millis)
        ok = line.substr(0, dash) == millis;
    if (ok)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "unexpected line: " << line;
}

// Captures the diagnostic lines and leaves the registry and sinks clean for the next test.
class ErrorMessages : public testing::Test {
protected:
    void SetUp() override {
        Vorn::setLineOutput([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override {
        Vorn::setLineOutput(nullptr);
        Vorn::setLogStream(nullptr);
        Vorn::deleteErrorCallbackRegistry();
        Vorn::useClock(nullptr);
    }
    std::vector<std::string> lines;
};

TEST_F(ErrorMessages, ErrorReportWritesTaggedLineAndTellsCallbacksAtLevelZero) {
    Platform::ManualClock clock;
    Vorn::useClock(&clock);
    clock.advance(1234);
    RecordingCallback callback;
    Vorn::addErrorCallback(&callback);

    Vorn::report(Vorn::kReportError, "bad value %d in %s", 7, "preset");

    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isDiagnosticLine(lines[0], "ERROR: bad value 7 in preset\n", "1234"));
    EXPECT_EQ(callback.received, (std::vector<Received>{{0, "bad value 7 in preset"}}));
}

TEST_F(ErrorMessages, PlainReportWritesUntaggedLineAndTellsNoCallback) {
    RecordingCallback callback;
    Vorn::addErrorCallback(&callback);

    Vorn::report(0, "started %s", "engine");
    Vorn::report(5, "%s", "");

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(isDiagnosticLine(lines[0], "started engine\n"));
    EXPECT_TRUE(isDiagnosticLine(lines[1], "\n"));
    EXPECT_TRUE(callback.received.empty());
}

TEST_F(ErrorMessages, WithoutLineOutputTheLineGoesToStandardError) {
    Vorn::setLineOutput(nullptr);
    testing::internal::CaptureStderr();
    Vorn::report(Vorn::kReportError, "to stderr");
    std::string captured = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(isDiagnosticLine(captured, "ERROR: to stderr\n"));
}

TEST_F(ErrorMessages, LogFileReceivesEveryLineUntilSwitchedOff) {
    std::string path = testing::TempDir() + "ErrorMessagesTest.log";
    std::remove(path.c_str());
    ASSERT_TRUE(Vorn::setLogFile(path.c_str()));
    Vorn::report(0, "first");
    Vorn::report(Vorn::kReportError, "second");
    EXPECT_TRUE(Vorn::setLogFile(""));
    Vorn::report(0, "not logged");

    VString logged;
    ASSERT_TRUE(logged.loadFromFile(VString(path.c_str())));
    EXPECT_EQ(std::string(logged.c_str()), lines[0] + lines[1]);
    EXPECT_EQ(lines.size(), 3u); // the line output still gets everything
    std::remove(path.c_str());

    EXPECT_FALSE(Vorn::setLogFile((testing::TempDir() + "no/such/dir/x.log").c_str()));
}

TEST_F(ErrorMessages, LevelFunctionsDispatchInRegistrationOrderWithoutDuplicates) {
    std::vector<std::pair<int, std::string>> order;
    RecordingCallback first(&order, 1), second(&order, 2);
    Vorn::addErrorCallback(&first);
    Vorn::addErrorCallback(&second);
    Vorn::addErrorCallback(&first);
    Vorn::addErrorCallback(nullptr);

    Vorn::reportError("e%d", 0);
    Vorn::reportWarning("w%d", 1);
    Vorn::reportInfo("i%d", 2);

    EXPECT_EQ(first.received, (std::vector<Received>{{0, "e0"}, {1, "w1"}, {2, "i2"}}));
    EXPECT_EQ(order, (std::vector<std::pair<int, std::string>>{
                         {1, "e0"}, {2, "e0"}, {1, "w1"}, {2, "w1"}, {1, "i2"}, {2, "i2"}}));
    EXPECT_TRUE(lines.empty()); // the level functions write no diagnostic line

    Vorn::removeErrorCallback(&first);
    Vorn::reportError("after");
    EXPECT_EQ(first.received.size(), 3u);
    EXPECT_EQ(second.received.back(), (Received{0, "after"}));
}

// A callback that unregisters itself (or others) while being called must not make the dispatch
// skip or repeat anyone.
TEST_F(ErrorMessages, CallbackRemovingItselfDuringDispatchDoesNotSkipTheNext) {
    class SelfRemoving : public RecordingCallback {
    public:
        void message(int level, const VString& text) override {
            RecordingCallback::message(level, text);
            Vorn::removeErrorCallback(this);
        }
    };
    RecordingCallback before, after;
    SelfRemoving leaving;
    Vorn::addErrorCallback(&before);
    Vorn::addErrorCallback(&leaving);
    Vorn::addErrorCallback(&after);

    Vorn::reportWarning("one");
    Vorn::reportWarning("two");

    EXPECT_EQ(before.received.size(), 2u);
    EXPECT_EQ(leaving.received.size(), 1u);
    EXPECT_EQ(after.received.size(), 2u);
}

TEST_F(ErrorMessages, DeletedRegistryForgetsCallbacksAndCanBeRebuilt) {
    RecordingCallback callback;
    Vorn::addErrorCallback(&callback);
    Vorn::deleteErrorCallbackRegistry();
    Vorn::reportError("lost");
    Vorn::removeErrorCallback(&callback); // harmless without a registry
    EXPECT_TRUE(callback.received.empty());

    Vorn::addErrorCallback(&callback);
    Vorn::reportError("kept");
    EXPECT_EQ(callback.received, (std::vector<Received>{{0, "kept"}}));
}

TEST(ErrorMessageCollector, StartsEmptyAndPrefixesEachLevel) {
    Vorn::ErrorMessageCollector collector;
    EXPECT_EQ(collector.messages().count(), 0);

    struct Case {
        int level;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {{0, "e", "ERROR: e"},
                          {1, "w", "WARNING: w"},
                          {2, "i", "INFO: i"},
                          {3, "d", "DEBUG: d"},
                          {0, "", "ERROR: "}};
    for (const Case& c : cases)
        collector.message(c.level, c.text);

    ASSERT_EQ(collector.messages().count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(std::string(collector.messages().get(i).c_str()), cases[i].expected);
}

TEST_F(ErrorMessages, RegisteredCollectorGathersReportsInOrder) {
    Vorn::ErrorMessageCollector collector;
    Vorn::addErrorCallback(&collector);
    Vorn::reportWarning("translator %d skipped", 3);
    Vorn::report(Vorn::kReportError, "file damaged");
    Vorn::reportInfo("loaded");
    Vorn::removeErrorCallback(&collector);

    EXPECT_EQ(std::string(collector.messages().getText("|").c_str()),
              "WARNING: translator 3 skipped|ERROR: file damaged|INFO: loaded");
}

} // namespace
