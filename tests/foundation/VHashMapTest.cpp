#include "foundation/VHashMap.h"
#include "foundation/VString.h"

#include <gtest/gtest.h>

#include <vector>

namespace Vorn {
namespace {

TEST(VHashMapTest, PutOverwritesExistingKeyAndKeepsInsertionOrder) {
    VHashMap<VString, unsigned> map;
    map.put("b", 1);
    map.put("a", 2);
    map.put("b", 3);
    EXPECT_EQ(map.count(), 2);
    EXPECT_EQ(map.get("b", 0), 3u);
    EXPECT_EQ(map.get("a", 0), 2u);
    std::vector<VString> keys;
    for (const auto& entry : map) {
        keys.push_back(entry.key);
    }
    EXPECT_EQ(keys, (std::vector<VString>{"b", "a"}));
}

TEST(VHashMapTest, StringKeysAreCaseSensitive) {
    VHashMap<VString, int> map;
    map.put("Key", 1);
    EXPECT_TRUE(map.contains("Key"));
    EXPECT_FALSE(map.contains("key"));
    EXPECT_EQ(map.get("key", -1), -1);
}

// Values need no equality of their own.
struct Record {
    int a = 0;
};

TEST(VHashMapTest, FindChangesInPlaceAndRemoveDrops) {
    VHashMap<unsigned, Record> map;
    EXPECT_EQ(map.find(7), nullptr);
    map.put(7, Record{1});
    map.put(9, Record{2});
    map.find(7)->a = 5;
    EXPECT_EQ(map.get(7, Record{}).a, 5);
    EXPECT_TRUE(map.remove(7));
    EXPECT_FALSE(map.remove(7));
    EXPECT_FALSE(map.contains(7));
    EXPECT_EQ(map.get(9, Record{}).a, 2);
    map.clear();
    EXPECT_TRUE(map.isEmpty());
}

} // namespace
} // namespace Vorn
