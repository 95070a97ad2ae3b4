#include "foundation/VBits.h"

#include <gtest/gtest.h>

namespace Vorn {
namespace {

TEST(VBitsTest, SetsAndClearsWithinBounds) {
    VBits bits(130);
    EXPECT_EQ(bits.count(), 130);
    bits.set(0);
    bits.set(129);
    bits.set(64, true);
    EXPECT_TRUE(bits.get(0));
    EXPECT_TRUE(bits.get(64));
    EXPECT_TRUE(bits.get(129));
    EXPECT_FALSE(bits.get(1));
    bits.clear(64);
    EXPECT_FALSE(bits.get(64));

    bits.set(130); // outside: ignored
    bits.set(-1);
    EXPECT_FALSE(bits.get(130));
    EXPECT_FALSE(bits.get(-1));

    bits.setAll(true);
    EXPECT_TRUE(bits.get(77));
    bits.resize(200);
    EXPECT_TRUE(bits.get(129));
    EXPECT_FALSE(bits.get(150));
    EXPECT_EQ(VBits(-5).count(), 0);
}

} // namespace
} // namespace Vorn
