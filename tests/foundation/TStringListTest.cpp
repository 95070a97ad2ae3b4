#include "foundation/TStringList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Vorn {
namespace {

TEST(TStringListTest, ParsesLines) {
    struct Case {
        const char* line;
        bool pair;
        std::string key;
        std::string value;
    };
    for (const Case& c : {
             Case{R"("a\tb"="x")", true, "a\tb", "x"},
             Case{"key=value", true, "key", "value"},
             Case{" \t key \t= \t value  ", true, "key", "value  "},
             Case{"k=", true, "k", ""},
             Case{"k==v", true, "k", "=v"},
             Case{"k;x=1", true, "k;x", "1"},
             Case{"a b=c d", true, "a b", "c d"},
             Case{";key=value", false, "", ""},
             Case{" \t;key=value", false, "", ""},
             Case{"no equals sign", false, "", ""},
             Case{"", false, "", ""},
             Case{"=value", false, "", ""},
             Case{"  \t=value", false, "", ""},
             Case{R"(""=x)", false, "", ""},
             Case{R"("a\"b"=1)", true, "a\"b", "1"},
             Case{R"("a\\b"=1)", true, "a\\b", "1"},
             Case{R"("\a\b\f\n\r\t\v\q\=" = 1)", true, "\a\b\f\n\r\t\vq=", "1"},
             Case{R"("k=v")", false, "", ""}, // the '=' inside the quotes is part of the key
             Case{R"("k" ignored = v)", true, "k", "v"},
             Case{R"("unclosed=x)", false, "", ""},
             Case{R"("trailing\)", false, "", ""},
             Case{R"(k="unclosed)", false, "", ""},
             Case{R"(k = "quoted \"value\"" tail)", true, "k", "quoted \"value\""},
             Case{R"(k=x"y")", true, "k", "x\"y\""},
         }) {
        SCOPED_TRACE(c.line);
        VString key;
        VString value;
        ASSERT_EQ(TStringList::parseLine(c.line, key, value), c.pair);
        if (c.pair) {
            EXPECT_EQ(key.view(), c.key);
            EXPECT_EQ(value.view(), c.value);
        }
    }
}

TStringList listOf(std::initializer_list<const char*> texts) {
    TStringList list;
    for (const char* text : texts) {
        list.lines().add(text);
    }
    return list;
}

TEST(TStringListTest, RebuildIndexFindsFirstLineAndLaterDuplicateWins) {
    const TStringList list = listOf({"; comment=1", "a=1", "b=2", "\"bad=3", "a=3", "c=4"});
    EXPECT_EQ(list.rebuildIndex("a"), 1);
    EXPECT_EQ(list.rebuildIndex("c"), 5);
    EXPECT_EQ(list.rebuildIndex("missing"), -1);
    EXPECT_EQ(list.rebuildIndex("; comment"), -1);
    EXPECT_EQ(list.get("a"), "3");
    EXPECT_EQ(list.get("b"), "2");
    EXPECT_FALSE(list.contains("\"bad"));
    EXPECT_EQ(list.get("missing", "dflt"), "dflt");
}

TEST(TStringListTest, KeysAreCaseSensitive) {
    const TStringList list = listOf({"Key=1"});
    EXPECT_TRUE(list.contains("Key"));
    EXPECT_FALSE(list.contains("key"));
}

TEST(TStringListTest, IndexFollowsChangedLines) {
    TStringList list = listOf({"a=1"});
    EXPECT_EQ(list.get("a"), "1");
    list.lines().set(0, "a=2");
    list.lines().add("b=3");
    EXPECT_EQ(list.get("a"), "2");
    EXPECT_EQ(list.get("b"), "3");
    list.lines().clear();
    EXPECT_FALSE(list.contains("a"));
}

TEST(TStringListTest, SetReplacesFirstLineOfKeyAtTheEnd) {
    TStringList list = listOf({"a=1", "; note", "b=2", "a=3"});
    list.set("a", "9");
    EXPECT_EQ(list.lines().getText("|"), "; note|b=2|a=3|a=9");
    EXPECT_EQ(list.get("a"), "9");
    list.set("new", "v");
    EXPECT_EQ(list.get("new"), "v");
    EXPECT_EQ(list.lines().count(), 5);
}

TEST(TStringListTest, FillingBySetKeepsTheIndexAsARebuildWould) {
    TStringList list;
    list.set("a", "1");
    EXPECT_EQ(list.get("a"), "1");
    list.set("b", "2");
    list.set("a", "3");
    list.set(" c", "4"); // the line reads as key "c"
    EXPECT_FALSE(list.removeKey("zz"));
    EXPECT_EQ(list.lines().getText("|"), "b=2|a=3| c=4");
    EXPECT_EQ(list.get("a"), "3");
    EXPECT_EQ(list.get("c"), "4");
    EXPECT_FALSE(list.contains(" c"));
    EXPECT_EQ(list.rebuildIndex("c"), 2);
    EXPECT_EQ(list.get("b"), "2");
}

TEST(TStringListTest, RemoveKeyRemovesOnlyTheFirstLine) {
    TStringList list = listOf({"a=1", "a=2"});
    EXPECT_TRUE(list.removeKey("a"));
    EXPECT_EQ(list.get("a"), "2");
    EXPECT_TRUE(list.removeKey("a"));
    EXPECT_FALSE(list.removeKey("a"));
    EXPECT_EQ(list.lines().count(), 0);
}

} // namespace
} // namespace Vorn
