#include "foundation/VCircularBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace Vorn {
namespace {

std::vector<uint8_t> drain(VCircularBuffer<uint8_t>& buffer) {
    std::vector<uint8_t> out(static_cast<size_t>(buffer.count()));
    EXPECT_EQ(buffer.read(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    return out;
}

// Leaves a buffer of capacity 5 holding 3, 4, 5, 6 with the content wrapped around the end.
VCircularBuffer<uint8_t> wrapped() {
    VCircularBuffer<uint8_t> buffer(5);
    const uint8_t first[] = {1, 2, 3};
    const uint8_t second[] = {4, 5, 6};
    buffer.write(first, 3);
    buffer.discard(2);
    buffer.write(second, 3);
    return buffer;
}

TEST(VCircularBufferTest, IsFifoAcrossTheWrap) {
    VCircularBuffer<uint8_t> buffer = wrapped();
    EXPECT_EQ(buffer.count(), 4);
    EXPECT_EQ(buffer.peek(0), 3);
    EXPECT_EQ(buffer.peek(3), 6);
    EXPECT_EQ(drain(buffer), (std::vector<uint8_t>{3, 4, 5, 6}));
    EXPECT_TRUE(buffer.isEmpty());
}

TEST(VCircularBufferTest, RefusesWhatDoesNotFit) {
    VCircularBuffer<uint8_t> buffer(3);
    const uint8_t data[] = {1, 2, 3, 4};
    EXPECT_EQ(buffer.write(data, 4), 3);
    EXPECT_TRUE(buffer.isFull());
    EXPECT_FALSE(buffer.put(9));
    uint8_t value = 0;
    EXPECT_TRUE(buffer.get(value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(buffer.put(9));
    EXPECT_EQ(drain(buffer), (std::vector<uint8_t>{2, 3, 9}));
    EXPECT_FALSE(buffer.get(value));
    EXPECT_EQ(buffer.read(&value, 1), 0);
    EXPECT_EQ(buffer.discard(5), 0);
}

TEST(VCircularBufferTest, ZeroCapacityHoldsNothing) {
    VCircularBuffer<uint8_t> buffer;
    EXPECT_FALSE(buffer.put(1));
    EXPECT_EQ(buffer.count(), 0);
    buffer.setCapacity(2);
    EXPECT_TRUE(buffer.put(1));
}

TEST(VCircularBufferTest, CapacityChangeKeepsOrder) {
    struct Case {
        int capacity;
        std::vector<uint8_t> kept;
    };
    for (const Case& c : {Case{16, {3, 4, 5, 6}}, Case{4, {3, 4, 5, 6}}, Case{2, {3, 4}},
                          Case{0, {}}, Case{-3, {}}}) {
        SCOPED_TRACE(c.capacity);
        VCircularBuffer<uint8_t> buffer = wrapped();
        buffer.setCapacity(c.capacity);
        EXPECT_EQ(buffer.capacity(), std::max(c.capacity, 0));
        EXPECT_EQ(buffer.count(), static_cast<int>(c.kept.size()));
        // Appending after the change continues behind the kept content.
        const bool roomLeft = buffer.freeSpace() > 0;
        EXPECT_EQ(buffer.put(7), roomLeft);
        std::vector<uint8_t> expected = c.kept;
        if (roomLeft) {
            expected.push_back(7);
        }
        EXPECT_EQ(drain(buffer), expected);
    }
}

TEST(VCircularBufferTest, GrowingAFullBufferLetsWritingGoOn) {
    VCircularBuffer<uint8_t> buffer(4);
    const uint8_t data[] = {1, 2, 3, 4, 5, 6};
    buffer.write(data, 4);
    buffer.discard(1);
    buffer.put(5);
    buffer.setCapacity(buffer.count() + 2);
    EXPECT_EQ(buffer.write(data + 5, 1), 1);
    EXPECT_EQ(drain(buffer), (std::vector<uint8_t>{2, 3, 4, 5, 6}));
}

} // namespace
} // namespace Vorn
