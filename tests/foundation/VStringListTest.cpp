#include "foundation/VStringList.h"
#include "foundation/THashStringSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Vorn {
namespace {

std::vector<std::string> lines(const VList<VString>& list) {
    std::vector<std::string> result;
    for (const VString& line : list) {
        result.emplace_back(line.view());
    }
    return result;
}

VStringList listOf(std::initializer_list<const char*> texts) {
    VStringList list;
    for (const char* text : texts) {
        list.add(text);
    }
    return list;
}

TEST(VStringListTest, SetTextSplitsAtEveryLineEnd) {
    struct Case {
        const char* text;
        std::vector<std::string> expected;
    };
    for (const Case& c : {
             Case{"a\r\n\r\nb", {"a", "", "b"}},
             Case{"a\n", {"a"}},
             Case{"a", {"a"}},
             Case{"", {}},
             Case{"\n", {""}},
             Case{"\r\n\r\n", {"", ""}},
             Case{"a\rb\nc", {"a", "b", "c"}},
             Case{"a\n\rb", {"a", "", "b"}},   // LF CR is two line ends
             Case{"a\r\r\nb", {"a", "", "b"}}, // CR, then CR LF
             Case{"a\r", {"a"}},
             Case{" x \n\ny ", {" x ", "", "y "}},
         }) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        VStringList list;
        list.setText(c.text);
        EXPECT_EQ(lines(list), c.expected);
    }
}

TEST(VStringListTest, SetTextReplacesContent) {
    VStringList list = listOf({"old", "lines"});
    list.setText("new");
    EXPECT_EQ(lines(list), std::vector<std::string>{"new"});
}

TEST(VStringListTest, GetTextJoinsWithSeparatorBetweenLines) {
    EXPECT_EQ(listOf({"a", "", "b"}).getText("\r\n"), "a\r\n\r\nb");
    EXPECT_EQ(listOf({"one"}).getText(", "), "one");
    EXPECT_EQ(listOf({}).getText("\n"), "");
    EXPECT_EQ(listOf({"a", "b"}).getText(""), "ab");
}

TEST(VStringListTest, IndexOfIgnoresCaseIndexOfExactDoesNot) {
    VStringList list = listOf({"Alpha", "beta", "alpha"});
    EXPECT_EQ(list.indexOf("ALPHA"), 0);
    EXPECT_EQ(list.indexOf("Beta"), 1);
    EXPECT_TRUE(list.contains("BETA"));
    EXPECT_FALSE(list.contains("gamma"));
    EXPECT_EQ(list.indexOfExact("alpha"), 2);
    EXPECT_EQ(list.indexOfExact("ALPHA"), -1);
}

TEST(VStringListTest, AddAllAppendsIncludingItself) {
    VStringList list = listOf({"a", "b"});
    list.addAll(listOf({"c"}));
    list.addAll(list);
    EXPECT_EQ(lines(list), (std::vector<std::string>{"a", "b", "c", "a", "b", "c"}));
}

TEST(VStringListTest, EnsureCapacityGrowsOnlyAndKeepsContent) {
    VStringList list = listOf({"a", "b"});
    list.ensureCapacity(100);
    EXPECT_EQ(list.capacity(), 100);
    list.ensureCapacity(10);
    EXPECT_EQ(list.capacity(), 100);
    EXPECT_EQ(lines(list), (std::vector<std::string>{"a", "b"}));
}

TEST(VStringListTest, SortIsAscendingIgnoringCaseAndStable) {
    VStringList list = listOf({"b", "B2", "a", "A", "c", "a"});
    list.sort();
    EXPECT_EQ(lines(list), (std::vector<std::string>{"a", "A", "a", "b", "B2", "c"}));
}

TEST(THashStringSetTest, MembershipIgnoresAsciiCase) {
    THashStringSet set;
    EXPECT_TRUE(set.add("Timer"));
    EXPECT_FALSE(set.add("TIMER"));
    EXPECT_TRUE(set.contains("tImEr"));
    EXPECT_EQ(set.count(), 1);
    // Only ASCII letters are folded.
    EXPECT_TRUE(set.add("\xC3\xA9"));
    EXPECT_FALSE(set.contains("\xC3\x89"));
    EXPECT_TRUE(set.remove("timer"));
    EXPECT_FALSE(set.contains("Timer"));
}

TEST(THashStringSetTest, KeysAreUpperCaseInOrder) {
    THashStringSet set;
    for (const char* name : {"delta", "Alpha", "charlie", "ALPHA", "bravo"}) {
        set.add(name);
    }
    EXPECT_EQ(lines(set.keys()), (std::vector<std::string>{"ALPHA", "BRAVO", "CHARLIE", "DELTA"}));
}

TEST(THashStringSetTest, IdentifiersAreStableNonZeroAndNeverReused) {
    THashStringSet set;
    EXPECT_EQ(set.idOf("x", false), 0);
    const int first = set.idOf("x", true);
    const int second = set.idOf("y", true);
    EXPECT_NE(first, 0);
    EXPECT_NE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(set.idOf("X", true), first);
    EXPECT_EQ(set.idOf("X", false), first);
    set.remove("x");
    const int third = set.idOf("x", true);
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
}

} // namespace
} // namespace Vorn
