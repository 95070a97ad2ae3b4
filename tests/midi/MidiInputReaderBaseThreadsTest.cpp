#include "midi/MidiInputReaderBase.h"

#include "../support/WaitUntil.h"
#include "MidiPortsTestSupport.h"
#include "midi/MidiDeviceFactory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

using MidiPortsTest::hex;
using MidiPortsTest::hexText;

class NoFactory : public Tr::MidiDeviceFactory {
public:
    void enumerate(bool, Vorn::VOwnedList<Tr::MidiDeviceDescriptor>&) override {}
    uint32_t typeCode() const override { return Tr::midiTypeCode("TEST"); }
    Vorn::VString typeName(bool) const override { return "Test"; }
    std::unique_ptr<Tr::MidiDeviceBase> createDevice(const Tr::MidiDeviceDescriptor&) override {
        return nullptr;
    }
};

class Events : public Tr::MidiDeviceFactory::Listener, public Tr::MidiInputBase::DataListener {
public:
    void deviceLost(Tr::MidiDeviceBase*) override { lost.fetch_add(1); }
    void midiData(Tr::MidiInputBase*, int64_t, const uint8_t* data, int length) override {
        std::lock_guard<std::mutex> hold(mutex);
        messages.push_back(hexText(data, length));
    }
    std::vector<std::string> snapshot() {
        std::lock_guard<std::mutex> hold(mutex);
        return messages;
    }
    std::atomic<int> lost{0};
    std::mutex mutex;
    std::vector<std::string> messages;
};

// A byte-stream port: bytes queued by the test; the byte 0xF9 makes the port fail on the reader
// thread itself, which then reports the device lost from there.
class QueuePort : public Tr::MidiInputReaderBase {
public:
    explicit QueuePort(Tr::MidiDeviceFactory* factory)
        : MidiInputReaderBase(factory, Tr::MidiDeviceDescriptor(factory, true, 0, "Serial")) {}
    ~QueuePort() override { close(); }

    void push(const std::vector<uint8_t>& bytes) {
        std::lock_guard<std::mutex> hold(mutex_);
        queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    }

protected:
    bool openReader(Vorn::VString&) override { return true; }
    void closeReader() override {}
    int readByte(uint8_t& byte) override {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (queue_.empty())
                return 0;
            byte = queue_.front();
            queue_.pop_front();
        }
        if (byte == 0xF9) {
            lost(); // on the reader thread: must not wait for itself
            return 0;
        }
        return 1;
    }

private:
    std::mutex mutex_;
    std::deque<uint8_t> queue_;
};

TEST(MidiInputReaderBaseThreads, ReadsParsesAndSurvivesBeingLostOnItsOwnThread) {
    Events events; // outlives the factory, which tells it of its end
    NoFactory factory;
    factory.setListener(&events);
    QueuePort port(&factory);
    port.setDataListener(&events);

    Vorn::VString error;
    ASSERT_TRUE(port.open(error));
    port.push(hex("90 3C 40 3E 40"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return events.snapshot().size() == 2; }));

    port.push(hex("F9"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return events.lost.load() == 1; }));
    EXPECT_FALSE(port.isOpen());

    // Opened again from another thread: the old reader is joined, a new one reads.
    ASSERT_TRUE(port.open(error));
    port.push(hex("80 3C 00"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return events.snapshot().size() == 3; }));
    EXPECT_EQ(events.snapshot().back(), "80 3C 00");
    port.close();
}

} // namespace
