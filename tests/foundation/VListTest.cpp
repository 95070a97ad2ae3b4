#include "foundation/VList.h"
#include "foundation/VString.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace Vorn {
namespace {

VList<int> listOf(std::initializer_list<int> values) {
    VList<int> list;
    for (int value : values) {
        list.add(value);
    }
    return list;
}

std::vector<int> contents(const VList<int>& list) {
    return {list.begin(), list.end()};
}

TEST(VListTest, GrowsByDoublingFromSixteen) {
    VList<int> list;
    EXPECT_EQ(list.capacity(), 0);
    std::vector<int> capacities;
    for (int i = 0; i < 40; ++i) {
        list.add(i);
        capacities.push_back(list.capacity());
    }
    EXPECT_EQ(capacities[0], 16);
    EXPECT_EQ(capacities[15], 16);
    EXPECT_EQ(capacities[16], 32);
    EXPECT_EQ(capacities[32], 64);
    ASSERT_EQ(list.count(), 40);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(list.get(i), i);
    }
}

TEST(VListTest, AddingOwnElementWhileGrowingCopiesItFirst) {
    VList<VString> list;
    for (int i = 0; i < 16; ++i) {
        list.add(VString::fromInt(i));
    }
    list.add(list.get(3)); // the storage moves during this add
    ASSERT_EQ(list.count(), 17);
    EXPECT_EQ(list.get(16), "3");
}

TEST(VListTest, SetOverwritesAndReturnsIndex) {
    VList<int> list = listOf({1, 2, 3});
    EXPECT_EQ(list.set(1, 20), 1);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 20, 3}));
}

TEST(VListTest, BadIndexIsCaughtWithoutTouchingMemory) {
    VList<int> list = listOf({1, 2});
    EXPECT_DEBUG_DEATH(
        {
            try {
                list.get(2);
            } catch (const std::out_of_range&) {
            }
        },
        "index out of range");
    EXPECT_DEBUG_DEATH(EXPECT_EQ(list.set(-1, 5), -1), "index out of range");
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2}));
}

TEST(VListTest, ClearReallocatesUnlessCapacityMatches) {
    struct Case {
        int elements;
        int capacityArgument;
        bool held;
        int capacityAfter;
    };
    for (const Case& c : {Case{3, 0, true, 0}, Case{0, 0, false, 0}, Case{3, 16, true, 16},
                          Case{3, 100, true, 100}, Case{3, -5, true, 0}}) {
        SCOPED_TRACE(testing::Message()
                     << c.elements << " elements, clear(" << c.capacityArgument << ")");
        VList<int> list;
        for (int i = 0; i < c.elements; ++i) {
            list.add(i);
        }
        EXPECT_EQ(list.clear(c.capacityArgument), c.held);
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(list.capacity(), c.capacityAfter);
    }
}

TEST(VListTest, ClearKeepStorageKeepsCapacity) {
    VList<int> list = listOf({1, 2, 3});
    EXPECT_TRUE(list.clearKeepStorage());
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.capacity(), 16);
    EXPECT_FALSE(list.clearKeepStorage());
}

TEST(VListTest, RemoveTakesOnlyTheFirstEqualElement) {
    VList<int> list = listOf({1, 7, 2, 7, 3});
    EXPECT_EQ(list.remove(7), 1);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2, 7, 3}));
    EXPECT_EQ(list.remove(9), 0);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2, 7, 3}));
}

TEST(VListTest, RemoveAtCutsToTheEnd) {
    struct Case {
        int index;
        int n;
        int result;
        std::vector<int> remaining;
    };
    const std::vector<int> all{0, 1, 2, 3, 4};
    for (const Case& c : {Case{1, 2, 1, {0, 3, 4}}, Case{3, 10, 1, {0, 1, 2}},
                          Case{4, 1, 1, {0, 1, 2, 3}}, Case{0, 5, 1, {}}, Case{-1, 1, 0, all},
                          Case{5, 1, 0, all}, Case{0, 0, 0, all}, Case{2, -3, 0, all}}) {
        SCOPED_TRACE(testing::Message() << "removeAt(" << c.index << ", " << c.n << ")");
        VList<int> list = listOf({0, 1, 2, 3, 4});
        EXPECT_EQ(list.removeAt(c.index, c.n), c.result);
        EXPECT_EQ(contents(list), c.remaining);
    }
}

TEST(VListTest, SetCapacityKeepsLeadingElementsOrEmpties) {
    struct Case {
        int capacity;
        bool keep;
        std::vector<int> remaining;
        int capacityAfter;
    };
    for (const Case& c :
         {Case{3, true, {0, 1, 2}, 3}, Case{10, true, {0, 1, 2, 3, 4}, 10},
          Case{5, true, {0, 1, 2, 3, 4}, 5}, Case{3, false, {}, 3}, Case{-1, true, {}, 0}}) {
        SCOPED_TRACE(testing::Message() << "setCapacity(" << c.capacity << ", " << c.keep << ")");
        VList<int> list = listOf({0, 1, 2, 3, 4});
        list.setCapacity(c.capacity, c.keep);
        EXPECT_EQ(contents(list), c.remaining);
        EXPECT_EQ(list.capacity(), c.capacityAfter);
    }
}

TEST(VListTest, SetCapacityThenAddDoublesFromThere) {
    VList<int> list;
    list.setCapacity(3, false);
    for (int i = 0; i < 4; ++i) {
        list.add(i);
    }
    EXPECT_EQ(list.capacity(), 6);
    EXPECT_EQ(contents(list), (std::vector<int>{0, 1, 2, 3}));
}

TEST(VListTest, IndexOfContainsAndAddUnique) {
    VList<int> list = listOf({5, 6, 5});
    EXPECT_EQ(list.indexOf(5), 0);
    EXPECT_EQ(list.indexOf(6), 1);
    EXPECT_EQ(list.indexOf(7), -1);
    EXPECT_TRUE(list.contains(6));
    EXPECT_FALSE(list.addUnique(6));
    EXPECT_TRUE(list.addUnique(7));
    EXPECT_EQ(contents(list), (std::vector<int>{5, 6, 5, 7}));
}

TEST(VListTest, CopiesAreIndependent) {
    VList<int> original = listOf({1, 2});
    VList<int> copy = original;
    copy.add(3);
    original.set(0, 10);
    EXPECT_EQ(contents(original), (std::vector<int>{10, 2}));
    EXPECT_EQ(contents(copy), (std::vector<int>{1, 2, 3}));
    VList<int> moved = std::move(copy);
    EXPECT_EQ(contents(moved), (std::vector<int>{1, 2, 3}));
}

// A string whose block is held by no one else is changed in place; a shared one is copied first.
// So whether append keeps the text pointer tells whether the list still holds the block.
TEST(VListTest, StringElementsShareBlocksAndReleaseThem) {
    VString text = VString::withCapacity(64);
    text.append("abc");
    VList<VString> list;
    list.add(text);
    EXPECT_EQ(list.get(0).c_str(), text.c_str());

    list.removeAt(0);
    const char* before = text.c_str();
    text.append('d');
    EXPECT_EQ(text.c_str(), before);

    list.add(text);
    list.set(0, VString("other"));
    before = text.c_str();
    text.append('e');
    EXPECT_EQ(text.c_str(), before);

    list.add(text);
    list.clear();
    before = text.c_str();
    text.append('f');
    EXPECT_EQ(text.c_str(), before);
    EXPECT_EQ(text, "abcdef");
}

TEST(VListTest, SharedStringIsCopiedBeforeAChange) {
    VList<VString> list;
    VString text("abc");
    list.add(text);
    text.append('d');
    EXPECT_EQ(list.get(0), "abc");
    EXPECT_EQ(text, "abcd");
}

} // namespace
} // namespace Vorn
