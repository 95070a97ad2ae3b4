#include "midi/MidiInputBase.h"

#include "MidiPortsTestSupport.h"
#include "foundation/SystemClock.h"
#include "midi/MidiDeviceFactory.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using MidiPortsTest::hex;
using MidiPortsTest::hexText;

struct Received {
    int64_t timestamp;
    std::string bytes;
};

class Listener : public Tr::MidiInputBase::DataListener {
public:
    void midiData(Tr::MidiInputBase*, int64_t timestamp, const uint8_t* data, int length) override {
        received.push_back({timestamp, hexText(data, length)});
    }
    std::vector<Received> received;
};

// Records what the device layer tells the manager.
class FactoryListener : public Tr::MidiDeviceFactory::Listener {
public:
    void deviceOpened(Tr::MidiDeviceBase*) override { events.push_back("opened"); }
    void deviceError(Tr::MidiDeviceBase*, const Vorn::VString& message) override {
        events.push_back("error " + MidiPortsTest::str(message));
    }
    void deviceClosed(Tr::MidiDeviceBase*) override { events.push_back("closed"); }
    void deviceLost(Tr::MidiDeviceBase*) override { events.push_back("lost"); }
    std::vector<std::string> events;
};

class NoFactory : public Tr::MidiDeviceFactory {
public:
    void enumerate(bool, Vorn::VOwnedList<Tr::MidiDeviceDescriptor>&) override {}
    uint32_t typeCode() const override { return Tr::midiTypeCode("TEST"); }
    Vorn::VString typeName(bool) const override { return "Test"; }
    std::unique_ptr<Tr::MidiDeviceBase> createDevice(const Tr::MidiDeviceDescriptor&) override {
        return nullptr;
    }
};

// An input whose open succeeds unless told otherwise; bytes are fed by the test.
class TestInput : public Tr::MidiInputBase {
public:
    TestInput(Tr::MidiDeviceFactory* factory)
        : MidiInputBase(factory, Tr::MidiDeviceDescriptor(factory, true, 0, "Keys")) {}
    ~TestInput() override { close(); }
    bool failOpen = false;

protected:
    bool openPort(Vorn::VString& error) override {
        if (failOpen) {
            error = "refused";
            return false;
        }
        markOpenTime();
        setConnected(true);
        return true;
    }
    void closePort() override {}
};

class MidiInputBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        Vorn::useClock(&clock);
        factory.setListener(&events);
        input.setDataListener(&listener);
    }
    void TearDown() override { Vorn::useClock(nullptr); }

    void block(const char* text) {
        const std::vector<uint8_t> bytes = hex(text);
        input.feedBlock(bytes.data(), int(bytes.size()));
    }

    Platform::ManualClock clock{5000};
    // The listeners outlive the factory and the input that tell them of their end.
    FactoryListener events;
    Listener listener;
    NoFactory factory;
    TestInput input{&factory};
};

TEST_F(MidiInputBaseTest, BlocksGoThroughTheParserAndStampTimeSinceOpen) {
    Vorn::VString error;
    ASSERT_TRUE(input.open(error));
    clock.advance(40);
    block("90 3C 40"); // direct
    block("3E 40");    // running status of the direct block
    block("F0 01 02"); // pieces of a system exclusive
    block("03 F7");
    block("B0 07"); // a message split over blocks
    clock.advance(2);
    block("64");
    ASSERT_EQ(listener.received.size(), 4u);
    EXPECT_EQ(listener.received[0].bytes, "90 3C 40");
    EXPECT_EQ(listener.received[0].timestamp, 40);
    EXPECT_EQ(listener.received[1].bytes, "90 3E 40");
    EXPECT_EQ(listener.received[2].bytes, "F0 01 02 03 F7");
    EXPECT_EQ(listener.received[3].bytes, "B0 07 64");
    EXPECT_EQ(listener.received[3].timestamp, 42);

    // A 3-byte block that is not a plain channel message is parsed, not passed on as it is.
    listener.received.clear();
    block("C0 05 06");
    ASSERT_EQ(listener.received.size(), 2u);
    EXPECT_EQ(listener.received[0].bytes, "C0 05");
    EXPECT_EQ(listener.received[1].bytes, "C0 06");
}

TEST_F(MidiInputBaseTest, PassFlagsAndMissingListener) {
    Vorn::VString error;
    ASSERT_TRUE(input.open(error));
    input.setPassTimingClock(false);
    input.setPassActiveSensing(false);
    block("F8 FE FA");
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].bytes, "FA");

    input.setDataListener(nullptr);
    const std::vector<uint8_t> note = hex("90 3C 40");
    EXPECT_EQ(input.feedBlock(note.data(), 3), -1);
}

TEST_F(MidiInputBaseTest, OpenCloseAndLostTellTheListener) {
    Vorn::VString error;
    input.failOpen = true;
    EXPECT_FALSE(input.open(error));
    EXPECT_EQ(MidiPortsTest::str(error), "refused");
    EXPECT_TRUE(events.events.empty());

    input.failOpen = false;
    ASSERT_TRUE(input.open(error));
    EXPECT_TRUE(input.open(error)); // already open
    input.lost();
    EXPECT_FALSE(input.isOpen());
    EXPECT_FALSE(input.isConnected());
    input.close(); // neither open nor connected: nothing
    EXPECT_EQ(events.events, (std::vector<std::string>{"opened", "closed", "lost"}));

    // A close forgets a message in progress.
    ASSERT_TRUE(input.open(error));
    block("90 3C");
    input.close();
    ASSERT_TRUE(input.open(error));
    block("40");
    EXPECT_TRUE(listener.received.empty());
}

} // namespace
