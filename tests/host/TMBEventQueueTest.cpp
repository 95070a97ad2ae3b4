#include "host/TMBEventQueue.h"

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/TPresetHandler.h"
#include "engine/TTransEngine.h"
#include "foundation/SystemClock.h"
#include "foundation/VTimer.h"
#include "platform/fake/ManualClock.h"

namespace Tr {
namespace {

constexpr uint32_t kRingBytes = 0x40000;
constexpr uint32_t kMarker = 0x6FFFFFFF;

uint32_t wordAt(const TMBEventQueue& queue, uint32_t offset) {
    uint32_t word;
    std::memcpy(&word, queue.ring().bytes() + offset, sizeof word);
    return word;
}

// Posts a record whose footprint in the ring is exactly `footprint` bytes (32 or 40 and up,
// a multiple of 8), tagged with `tag` in value1.
void postFootprint(TMBEventQueue& queue, uint32_t footprint, int tag) {
    if (footprint == 32) {
        ASSERT_TRUE(queue.post(TMBEventQueue::kToFront, tag, 0, 0, 0));
        return;
    }
    std::string text(footprint - 33, 't');
    ASSERT_TRUE(queue.postText(TMBEventQueue::kLogMessage, tag, 0, 0, 0, 0, text.data(),
                               static_cast<int>(text.size())));
}

struct LayoutCase {
    int textLength;       // as posted
    uint32_t size;        // size word
    uint32_t footprint;   // bytes to the next record
    int storedTextLength; // after the cut
};

TEST(TMBEventQueueTest, RecordLayoutSizeAndFootprint) {
    const LayoutCase cases[] = {
        {0, 28, 32, 0},
        {1, 30, 40, 1},
        {3, 32, 40, 3},
        {4, 33, 40, 4},
        {11, 40, 48, 11},
        {12, 41, 48, 12},
        {10000, 10029, 10040, 10000},
        {12000, 10029, 10040, 10000},
    };
    for (const LayoutCase& row : cases) {
        SCOPED_TRACE(row.textLength);
        auto queue = std::make_unique<TMBEventQueue>();
        std::string text(row.textLength, 'x');
        ASSERT_TRUE(queue->postText(24, 11, 22, 33, 44, 55, text.data(), row.textLength));
        ASSERT_TRUE(queue->post(26, 7, 0, 0, 0));
        EXPECT_EQ(wordAt(*queue, 0), row.size);
        const int32_t expected[] = {24, 11, 22, 33, 44, 55};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(wordAt(*queue, 4 + 4 * i), static_cast<uint32_t>(expected[i]));
        const uint8_t* textBytes = queue->ring().bytes() + 28;
        EXPECT_EQ(textBytes[row.storedTextLength], 0); // zero-terminated, also without text
        EXPECT_EQ(wordAt(*queue, row.footprint), 28u); // the next record follows the footprint
        EXPECT_EQ(wordAt(*queue, row.footprint + 4), 26u);

        TMBEventQueue::Event event;
        ASSERT_TRUE(queue->getLogEvent(event));
        EXPECT_EQ(event.text.length(), row.storedTextLength);
        EXPECT_EQ(event.fields[0], 24);
        EXPECT_EQ(event.fields[5], 55);
        ASSERT_TRUE(queue->getLogEvent(event));
        EXPECT_EQ(event.fields[0], 26);
        EXPECT_EQ(event.fields[1], 7);
        EXPECT_EQ(event.text, ""); // a record without text reads as the empty string
    }
}

// The ring holds `first`, fillers up to `tail` bytes before the end; once `first` is read, a
// record larger than the tail goes to the start of the array.
struct WrapCase {
    uint32_t tail;
    uint32_t nextFootprint;
};

TEST(TMBEventQueueTest, RecordThatDoesNotFitGoesToTheStart) {
    const WrapCase cases[] = {{0, 32}, {8, 32}, {24, 32}, {32, 40}, {1000, 1008}, {2000, 4000}};
    for (const WrapCase& row : cases) {
        SCOPED_TRACE(row.tail);
        auto queue = std::make_unique<TMBEventQueue>();
        const uint32_t first = 4096;
        postFootprint(*queue, first, 0);
        uint32_t filled = first;
        int tag = 1;
        while (kRingBytes - filled - row.tail > 0) {
            uint32_t left = kRingBytes - filled - row.tail;
            uint32_t step = left > 16000 ? 8000 : (left > 10040 ? left / 2 / 8 * 8 : left);
            postFootprint(*queue, step, tag++);
            filled += step;
        }
        TMBEventQueue::Event event;
        ASSERT_TRUE(queue->getLogEvent(event));
        EXPECT_EQ(event.fields[1], 0);
        postFootprint(*queue, row.nextFootprint, tag);
        EXPECT_EQ(wordAt(*queue, 0), row.nextFootprint == 32 ? 28u : row.nextFootprint - 4);
        if (row.tail > 3) {
            EXPECT_EQ(wordAt(*queue, kRingBytes - row.tail), kMarker);
        }
        for (int expected = 1; expected <= tag; ++expected) {
            ASSERT_TRUE(queue->getLogEvent(event)) << expected;
            EXPECT_EQ(event.fields[1], expected);
        }
        EXPECT_FALSE(queue->getLogEvent(event));
        EXPECT_EQ(queue->pendingCount(), 0);
    }
}

TEST(TMBEventQueueTest, FullQueueDropsNewRecordsAndRecovers) {
    auto queue = std::make_unique<TMBEventQueue>();
    std::string text(1000, 'f'); // 1040 bytes in the ring
    int posted = 0;
    while (queue->postText(6, posted, 0, 0, 0, 0, text.data(), 1000))
        ++posted;
    EXPECT_EQ(posted, static_cast<int>(kRingBytes / 1040));
    while (queue->post(4, posted, 0, 0, 0)) // the 64-byte tail takes two small records
        ++posted;
    EXPECT_EQ(posted, static_cast<int>(kRingBytes / 1040) + 2);
    EXPECT_FALSE(queue->post(4, -1, 0, 0, 0));
    EXPECT_EQ(queue->pendingCount(), posted);

    TMBEventQueue::Event event;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(queue->getLogEvent(event));
        EXPECT_EQ(event.fields[1], i);
    }
    // Room at the start again: new records wrap there and come out after the old ones.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(queue->postText(6, posted + i, 0, 0, 0, 0, text.data(), 1000));
    EXPECT_FALSE(queue->postText(6, -1, 0, 0, 0, 0, text.data(), 1000));
    for (int expected = 3; expected < posted + 3; ++expected) {
        ASSERT_TRUE(queue->getLogEvent(event));
        EXPECT_EQ(event.fields[1], expected);
        EXPECT_EQ(event.text.length(), event.fields[0] == 6 ? 1000 : 0);
    }
    EXPECT_FALSE(queue->getLogEvent(event));
    EXPECT_TRUE(queue->post(4, 99, 0, 0, 0));
    ASSERT_TRUE(queue->getLogEvent(event));
    EXPECT_EQ(event.fields[1], 99);
}

TEST(TMBEventQueueTest, EmptyQueueLeavesEventAndRingUntouched) {
    auto queue = std::make_unique<TMBEventQueue>();
    ASSERT_TRUE(queue->post(2, 1, 0, 0, 0));
    TMBEventQueue::Event event;
    ASSERT_TRUE(queue->getLogEvent(event));
    std::vector<uint8_t> before(queue->ring().bytes(), queue->ring().bytes() + kRingBytes);
    event = {{9, 9, 9, 9, 9, 9}, Vorn::VString("kept")};
    EXPECT_FALSE(queue->getLogEvent(event));
    EXPECT_EQ(event.fields[0], 9);
    EXPECT_EQ(event.text, "kept");
    EXPECT_EQ(std::memcmp(before.data(), queue->ring().bytes(), kRingBytes), 0);
}

TEST(TMBEventQueueTest, MidiDataAsHexText) {
    struct Case {
        std::vector<uint8_t> data;
        std::string text;
    };
    const Case cases[] = {
        {{0x90, 0x3C, 0x7F}, "90 3C 7F"},
        {{0xF0, 0x00, 0x0A, 0xF7}, "F0 00 0A F7"},
        {{}, ""},
    };
    auto queue = std::make_unique<TMBEventQueue>();
    TMBEventQueue::Event event;
    for (const Case& row : cases) {
        ASSERT_TRUE(queue->postHex(10, row.data.data(), static_cast<int>(row.data.size()), 3, 0));
        ASSERT_TRUE(queue->getLogEvent(event));
        EXPECT_EQ(std::string(event.text.view()), row.text);
        EXPECT_EQ(event.fields[1], 3);
    }
    std::vector<uint8_t> sysex(5000, 0xAB);
    ASSERT_TRUE(queue->postHex(11, sysex.data(), 5000, 1, 0));
    ASSERT_TRUE(queue->getLogEvent(event));
    EXPECT_EQ(event.text.length(), 3333 * 3 - 1);
}

TEST(TMBEventQueueTest, TimeStampsOnlyWhenSwitchedOn) {
    Platform::ManualClock clock(12345);
    Vorn::useClock(&clock);
    auto queue = std::make_unique<TMBEventQueue>();
    const uint8_t note[] = {0x90, 0x3C, 0x7F};
    TMBEventQueue::Event event;
    for (bool on : {false, true}) {
        queue->setLogTimeStamps(on);
        const int64_t timestamp = 0;
        int64_t stamp = timestamp;
        const uint8_t* data = note;
        int length = 3;
        bool pass = true;
        queue->filterInput(2, stamp, data, length, pass);
        queue->logMessage("line");
        for (int type : {10, 6}) {
            ASSERT_TRUE(queue->getLogEvent(event));
            EXPECT_EQ(event.fields[0], type);
            EXPECT_EQ(event.fields[4], on ? 12345 : 0);
        }
        EXPECT_TRUE(pass);
    }
    Vorn::useClock(nullptr);
}

TEST(TMBEventQueueTest, TypesOutsideTheRangeCannotBeEnabled) {
    auto queue = std::make_unique<TMBEventQueue>();
    for (int type : {INT_MIN, -1, 0, 12, 15, 18, 28, 31, 32, 33, 64, INT_MAX}) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(queue->setEventTypeEnabled(type, true));
        EXPECT_FALSE(queue->isEventTypeEnabled(type));
    }
    EXPECT_FALSE(queue->setEventTypeEnabled(0, false));
    EXPECT_FALSE(queue->setEventTypeEnabled(28, false));
    for (int type = 2; type <= 27; ++type)
        EXPECT_FALSE(queue->isEventTypeEnabled(type)) << type;
}

TEST(TMBEventQueueTest, SourcesThatAreMissingFailToEnable) {
    auto queue = std::make_unique<TMBEventQueue>();
    EXPECT_TRUE(queue->isEventTypeEnabled(1)); // a new queue shows errors
    for (int type : {3, 4, 5, 6, 7, 8, 9, 10, 11, 22, 23, 27}) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(queue->setEventTypeEnabled(type, true));
        EXPECT_FALSE(queue->isEventTypeEnabled(type));
        EXPECT_TRUE(queue->setEventTypeEnabled(type, false));
    }
    for (int type : {2, 19, 20, 21, 24, 25, 26}) {
        SCOPED_TRACE(type);
        EXPECT_TRUE(queue->setEventTypeEnabled(type, true));
        EXPECT_TRUE(queue->isEventTypeEnabled(type));
        EXPECT_TRUE(queue->setEventTypeEnabled(type, false));
        EXPECT_FALSE(queue->isEventTypeEnabled(type));
    }
}

TEST(TMBEventQueueTest, ErrorsArriveWhileTypeOneIsEnabled) {
    auto queue = std::make_unique<TMBEventQueue>();
    Vorn::reportError("first %d", 1);
    TMBEventQueue::Event event;
    ASSERT_TRUE(queue->getLogEvent(event));
    EXPECT_EQ(event.fields[0], 1);
    EXPECT_EQ(event.fields[1], 0);
    EXPECT_EQ(event.text, "first 1");
    ASSERT_TRUE(queue->setEventTypeEnabled(1, false));
    Vorn::reportError("second");
    EXPECT_FALSE(queue->getLogEvent(event));
}

class TMBEventQueueEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        Vorn::VTimerManager::instance()->setManualDrive(true);
        Vorn::useClock(&clock_);
        queue_->setEngine(&engine_);
    }
    void TearDown() override {
        queue_->stop();
        Vorn::useClock(nullptr);
    }

    std::vector<TMBEventQueue::Event> drain() {
        std::vector<TMBEventQueue::Event> events;
        TMBEventQueue::Event event;
        while (queue_->getLogEvent(event))
            events.push_back(event);
        return events;
    }

    Platform::ManualClock clock_{1000};
    TTransEngine engine_{TTransEngine::Options{.manualDrive = true}};
    std::unique_ptr<TMBEventQueue> queue_ = std::make_unique<TMBEventQueue>();
};

TEST_F(TMBEventQueueEngineTest, ProjectNotificationsMapToSubTypes) {
    TPresetHandler& handler = engine_.presetHandler();
    handler.addPreset(0);
    handler.addPreset(1);
    TTransList* second = handler.preset(1);
    drain();
    ASSERT_TRUE(queue_->setEventTypeEnabled(3, true));
    struct Case {
        const char* name;
        std::function<void()> notify;
        int subType;
        int value2;
    };
    const Case cases[] = {
        {"opened", [&] { handler.notifyProjectOpened(); }, 1, 0},
        {"reset", [&] { handler.notifyProjectReset(); }, 2, 0},
        {"suspend ended", [&] { queue_->suspendEnded(&handler); }, 0, 0},
        {"list changed", [&] { handler.notifyPresetListChanged(); }, 3, 0},
        {"activation", [&] { handler.notifyPresetActivationChanged(second, 1); }, 6, 1},
        {"state", [&] { handler.notifyPresetStateChanged(second); }, 4, 1},
        {"changed", [&] { handler.notifyPresetChanged(second); }, 5, 1},
        {"changed, unknown preset", [&] { queue_->presetChanged(&handler, nullptr); }, 5, -1},
        {"translator", [&] { handler.notifyTranslatorChanged(second, nullptr); }, -1, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        row.notify();
        std::vector<TMBEventQueue::Event> events = drain();
        if (row.subType < 0) {
            EXPECT_TRUE(events.empty());
            continue;
        }
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].fields[0], 3);
        EXPECT_EQ(events[0].fields[1], row.subType);
        EXPECT_EQ(events[0].fields[2], row.value2);
    }
    ASSERT_TRUE(queue_->setEventTypeEnabled(3, false));
    handler.notifyProjectOpened();
    EXPECT_TRUE(drain().empty());
}

TEST_F(TMBEventQueueEngineTest, LogTypesSetTheEngineSwitches) {
    TGlobalTranslateParams& globals = engine_.globals();
    for (int type = 6; type <= 9; ++type) {
        ASSERT_TRUE(queue_->setEventTypeEnabled(type, true));
        EXPECT_EQ(globals.logSwitch(type - 6), 1);
    }
    EXPECT_EQ(globals.logListener(), queue_.get());
    queue_->setLogTimeStamps(true);
    globals.logMessage("hello");
    std::vector<TMBEventQueue::Event> events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].fields[0], 6);
    EXPECT_EQ(events[0].fields[4], 1000);
    EXPECT_EQ(events[0].text, "hello");

    ASSERT_TRUE(queue_->setEventTypeEnabled(6, false));
    EXPECT_EQ(globals.logSwitch(0), 0);
    globals.logMessage("quiet");
    EXPECT_TRUE(drain().empty());
    queue_->stop();
    for (int kind = 0; kind < 4; ++kind)
        EXPECT_EQ(globals.logSwitch(kind), 0);
    EXPECT_EQ(globals.logListener(), nullptr);
}

TEST_F(TMBEventQueueEngineTest, ActivityIsBatchedPerTick) {
    ASSERT_TRUE(queue_->setEventTypeEnabled(5, true));
    EXPECT_EQ(engine_.globals().activityListener(), &queue_->monitor());
    engine_.globals().addActivity(0x1);
    engine_.globals().addActivity(0x4);
    clock_.advance(TGUIEventMonitor::kPeriodMillis);
    Vorn::VTimerManager::instance()->runDue();
    clock_.advance(TGUIEventMonitor::kPeriodMillis);
    Vorn::VTimerManager::instance()->runDue();
    std::vector<TMBEventQueue::Event> events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].fields[0], 5);
    EXPECT_EQ(events[0].fields[1], 0x5);
    EXPECT_EQ(events[1].fields[1], 0);

    ASSERT_TRUE(queue_->setEventTypeEnabled(5, false));
    EXPECT_EQ(engine_.globals().activityListener(), nullptr);
    clock_.advance(TGUIEventMonitor::kPeriodMillis);
    Vorn::VTimerManager::instance()->runDue();
    EXPECT_TRUE(drain().empty());
}

} // namespace
} // namespace Tr
