#include "foundation/VString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>

namespace Vorn {
namespace {

TEST(VStringTest, ConstructsFromEachSource) {
    EXPECT_STREQ(VString().c_str(), "");
    EXPECT_STREQ(VString(static_cast<const char*>(nullptr)).c_str(), "");
    EXPECT_STREQ(VString("abcdef", 3).c_str(), "abc");
    EXPECT_STREQ(VString("ab\0cd", 5).c_str(), "ab");
    EXPECT_STREQ(VString("abc", 10).c_str(), "abc"); // stops at the zero, reads no further
    EXPECT_STREQ(VString(std::string_view("xy\0z", 4)).c_str(), "xy");
    EXPECT_STREQ(VString(u"caf\u00E9 \U0001F3B9").c_str(), "caf\xC3\xA9 \xF0\x9F\x8E\xB9");
    EXPECT_STREQ(VString(u"abcdef", 2).c_str(), "ab");
    EXPECT_STREQ(VString(U"\u20AC!").c_str(), "\xE2\x82\xAC!");
    EXPECT_STREQ(VString(static_cast<const char16_t*>(nullptr)).c_str(), "");

    // Every empty string shares one block with no room.
    EXPECT_EQ(VString().c_str(), VString("").c_str());
    EXPECT_EQ(VString().capacity(), 0);
    EXPECT_TRUE(VString("").isEmpty());

    VString reserved = VString::withCapacity(100);
    EXPECT_TRUE(reserved.isEmpty());
    EXPECT_EQ(reserved.capacity(), 100);
    const char* storage = reserved.c_str();
    reserved.append("hello");
    EXPECT_EQ(reserved.c_str(), storage); // appended into the reserved room
    EXPECT_EQ(VString("abc").capacity(), 3);
}

TEST(VStringTest, CopiesShareAndChangesCopyOnWrite) {
    VString original("shared text");
    VString copy = original;
    EXPECT_EQ(copy.c_str(), original.c_str());

    original.append(" grows");
    EXPECT_STREQ(original.c_str(), "shared text grows");
    EXPECT_STREQ(copy.c_str(), "shared text");

    VString upper = copy;
    upper.toUpper();
    EXPECT_STREQ(upper.c_str(), "SHARED TEXT");
    EXPECT_STREQ(copy.c_str(), "shared text");

    VString padded(" \t\r\nx ");
    VString paddedCopy = padded;
    padded.trimLeft();
    EXPECT_STREQ(padded.c_str(), "x ");
    EXPECT_STREQ(paddedCopy.c_str(), " \t\r\nx ");

    VString moved = std::move(copy);
    EXPECT_STREQ(moved.c_str(), "shared text");
    EXPECT_TRUE(copy.isEmpty()); // a moved-from string is empty

    VString self("loop");
    const VString& alias = self;
    self = alias;
    EXPECT_STREQ(self.c_str(), "loop");
}

TEST(VStringTest, WideCacheFollowsEveryChange) {
    VString text("caf\xC3\xA9");
    const char16_t* wide = text.toWide();
    EXPECT_EQ(std::u16string(wide), u"caf\u00E9");
    EXPECT_EQ(text.toWide(), wide); // cached

    VString copy = text;
    EXPECT_EQ(copy.toWide(), wide); // the cache belongs to the shared block

    VString edited = VString::withCapacity(32);
    edited.append("ab");
    EXPECT_EQ(std::u16string(edited.toWide()), u"ab");
    edited.append("\xE2\x82\xAC"); // in place: room was reserved
    EXPECT_EQ(std::u16string(edited.toWide()), u"ab\u20AC");
    edited.toUpper();
    EXPECT_EQ(std::u16string(edited.toWide()), u"AB\u20AC");
    edited = VString("  z");
    edited.trimLeft();
    EXPECT_EQ(std::u16string(edited.toWide()), u"z");
    EXPECT_EQ(std::u16string(VString().toWide()), u"");
    EXPECT_EQ(std::u16string(copy.toWide()), u"caf\u00E9");
}

TEST(VStringTest, AppendsAndConcatenates) {
    VString text("a");
    text += "bc";
    text += 'd';
    text += VString("ef");
    text.append("ghij", 2);
    text.append(nullptr);
    EXPECT_STREQ(text.c_str(), "abcdefgh");
    EXPECT_STREQ((VString("x") + "y" + 'z' + VString("!")).c_str(), "xyz!");
    EXPECT_STREQ(("<" + VString("tag") + ">").c_str(), "<tag>");

    // Appending a string's own text, also when the block has to move.
    VString self("echo");
    self.append(self.c_str());
    EXPECT_STREQ(self.c_str(), "echoecho");
    self.append(self);
    EXPECT_STREQ(self.c_str(), "echoechoechoecho");
    self.append('\0');
    EXPECT_EQ(self.length(), 16);
}

TEST(VStringTest, FormatsInOneOrTwoPasses) {
    EXPECT_STREQ(VString::format("%d-%s-%c", 42, "x", 'y').c_str(), "42-x-y");

    const VString fits = VString::format("%s", std::string(511, 'a').c_str());
    EXPECT_EQ(fits.length(), 511);
    EXPECT_EQ(fits.capacity(), 512);

    const std::string exactly512(512, 'b');
    const VString twoPasses = VString::format("%s", exactly512.c_str());
    EXPECT_EQ(twoPasses.view(), exactly512);
    EXPECT_EQ(twoPasses.capacity(), 513);

    const std::string huge(1048576 + 100, 'c');
    const VString cut = VString::format("%s", huge.c_str());
    EXPECT_EQ(cut.length(), 1048575);
    EXPECT_EQ(cut.capacity(), 1048576);
    EXPECT_EQ(cut.view(), std::string_view(huge).substr(0, 1048575));

    // A conversion error gives the empty string rather than garbage.
    EXPECT_TRUE(VString::format("%ls", L"\x20AC").isEmpty());
}

TEST(VStringTest, ComparesBytewiseOrIgnoringCase) {
    struct Case {
        const char* a;
        const char* b;
        bool ignoreCase;
        int maxLength;
        int expected;
    };
    const Case cases[] = {
        {"abc", "abc", false, -1, 0},
        {"abc", "abd", false, -1, -1},
        {"abd", "abc", false, -1, 1},
        {"ab", "abc", false, -1, -1},
        {"abc", "ABC", false, -1, 1},
        {"abc", "ABC", true, -1, 0},
        {"abcX", "ABCy", true, 3, 0},
        {"abcX", "ABCy", true, 4, -1},
        {"abcX", "abcy", false, 3, 0},
        {"", "", true, -1, 0},
        {"", "a", true, -1, -1},
        {"ab", "ABC", true, -1, -1}, // a prefix orders first
        {"ab\xC3", "ab", true, -1, 1},
        // Ignoring case orders bytes >= 0x80 before ASCII (signed); otherwise after (unsigned).
        {"\xC3\xA9", "z", true, -1, -1},
        {"\xC3\xA9", "z", false, -1, 1},
        {"[", "a", true, -1, 1}, // 'a' compares as 'A' (0x41) against '[' (0x5B)
        {"[", "a", false, -1, -1},
        {"anything", "else", true, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(VString(c.a).compare(c.b, c.ignoreCase, c.maxLength), c.expected);
        EXPECT_EQ(VString(c.a).equals(c.b, c.ignoreCase, c.maxLength), c.expected == 0);
    }

    EXPECT_TRUE(VString("abc") == "abc");
    EXPECT_TRUE("abc" == VString("abc"));
    EXPECT_TRUE(VString("abc") != VString("ABC"));
    EXPECT_TRUE(VString("") == nullptr);
    EXPECT_TRUE(VString("a") < VString("b"));
    EXPECT_TRUE(VString("z") < VString("\xC3\xA9"));
    EXPECT_FALSE(VString("b") < VString("b"));

    EXPECT_TRUE(VString("Preset.crvp").startsWith("Preset"));
    EXPECT_FALSE(VString("Preset.crvp").startsWith("preset"));
    EXPECT_TRUE(VString("Preset.crvp").startsWith("preset", true));
    EXPECT_TRUE(VString("abc").startsWith(""));
    EXPECT_FALSE(VString("ab").startsWith("abc", true));
}

TEST(VStringTest, SearchesCharactersAndTexts) {
    const VString text("one two ONE two");
    EXPECT_EQ(text.indexOf('o'), 0);
    EXPECT_EQ(text.indexOf('x'), -1);
    EXPECT_EQ(text.indexOf('\0'), -1);
    EXPECT_EQ(text.lastIndexOf('o'), 14);
    EXPECT_EQ(text.lastIndexOf('\0'), -1);

    struct Case {
        const char* needle;
        int from;
        bool ignoreCase;
        int expected;
    };
    const Case cases[] = {
        {"two", 0, false, 4},
        {"two", 5, false, 12},
        {"one", 1, false, -1},
        {"one", 1, true, 8},
        {"TWO", 0, true, 4},
        {"", 0, false, -1},
        {"two", 12, false, 12},
        {"two", 13, false, -1},
        {"two", 100, false, -1},
        {"two", -5, false, 4},
        {"one two ONE two!", 0, true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.needle);
        EXPECT_EQ(text.indexOf(VString(c.needle), c.from, c.ignoreCase), c.expected);
    }
    EXPECT_EQ(VString().indexOf(VString("a")), -1);
}

TEST(VStringTest, TakesSubstrings) {
    const VString text("abcdef");
    struct Case {
        int start;
        int length;
        const char* expected;
    };
    const Case cases[] = {
        {0, -1, "abcdef"}, {2, -1, "cdef"}, {2, 2, "cd"}, {4, 100, "ef"}, {5, 1, "f"},
        {6, -1, ""},       {7, 2, ""},      {2, 0, ""},   {-3, 2, "ab"},  {1, -7, "bcdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << "," << c.length);
        EXPECT_STREQ(text.substring(c.start, c.length).c_str(), c.expected);
    }
    EXPECT_EQ(text.substring(0).c_str(), text.c_str()); // the whole text is shared
}

TEST(VStringTest, TrimsAndUppercasesAsciiOnly) {
    VString text("\x01\x1F  mixed Case \xC3\xA9!");
    text.trimLeft();
    text.toUpper();
    EXPECT_STREQ(text.c_str(), "MIXED CASE \xC3\xA9!");

    VString blank("   ");
    blank.trimLeft();
    EXPECT_TRUE(blank.isEmpty());
}

TEST(VStringTest, ParsesInt64) {
    struct Case {
        const char* text;
        int position;
        int maxLength;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {
        {"42", 0, -1, true, 42},
        {" -42", 0, -1, true, -42},
        {"+5", 0, -1, false, 0},
        {"12abc", 0, -1, false, 0},
        {"12 abc", 0, -1, true, 12},
        {"", 0, -1, false, 0},
        {"\t\r\n7\n", 0, -1, true, 7},
        {"x=15", 2, -1, true, 15},
        {"15", 2, -1, false, 0},  // position at the end
        {"15", -1, -1, false, 0}, // position before the start
        {"1234", 0, 2, true, 12}, // maxLength ends the number
        {"  99", 0, 3, true, 9},  // maxLength counts the skipped blanks
        {"-", 0, -1, false, 0},
        {"   ", 0, -1, false, 0},
        {"- 5", 0, -1, false, 0},
        {"9223372036854775807", 0, -1, true, INT64_MAX},
        {"-9223372036854775808", 0, -1, true, INT64_MIN},
        {"9223372036854775808", 0, -1, false, 0},
        {"-9223372036854775809", 0, -1, false, 0},
        {"99999999999999999999999", 0, -1, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t value = -1;
        EXPECT_EQ(VString(c.text).parseInt64(c.position, c.maxLength, value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : -1); // untouched on failure
    }

    EXPECT_EQ(VString("123").toInt(), 123);
    EXPECT_EQ(VString("12x").toInt(), 0);
    EXPECT_EQ(VString("12x").toInt(-1), -1);
    EXPECT_EQ(VString("-2147483648").toInt(7), INT_MIN);
    EXPECT_EQ(VString("2147483648").toInt(7), 7); // does not fit an int
}

TEST(VStringTest, ParsesHex) {
    struct Case {
        const char* text;
        uint32_t value;
    };
    const Case cases[] = {
        {"FF", 0xFF},
        {"  1a2B", 0x1A2B},
        {"7F 00", 0x7F},
        {"0x10", 0},
        {"FFFFFFFF", 0xFFFFFFFF},
        {"0000000012", 0x12},
        {"100000000", 0},
        {"", 0},
        {"G", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(VString(c.text).parseHex(), c.value);
    }
}

TEST(VStringTest, FormatsNumbers) {
    EXPECT_STREQ(VString::fromInt(0).c_str(), "0");
    EXPECT_STREQ(VString::fromInt(-1234567890123LL).c_str(), "-1234567890123");
    EXPECT_STREQ(VString::fromInt(INT64_MIN).c_str(), "-9223372036854775808");
    EXPECT_STREQ(VString::fromDouble(2.25).c_str(), "2.2");
    EXPECT_STREQ(VString::fromDouble(3.0).c_str(), "3.0");
    EXPECT_STREQ(VString::fromDouble(-0.06).c_str(), "-0.1");
    EXPECT_STREQ(VString::fromDouble(12345.67).c_str(), "12345.7");
    EXPECT_EQ(VString::fromDouble(1e308).length(), 311);
    EXPECT_STREQ(VString::toHexByte(0).c_str(), "00");
    EXPECT_STREQ(VString::toHexByte(0xAB).c_str(), "AB");
    EXPECT_STREQ(VString::toHexByte(0x1F7).c_str(), "F7");
}

TEST(VStringTest, StripsAndChangesExtensions) {
    struct Case {
        const char* path;
        const char* stripped;
    };
    const Case cases[] = {
        {"/home/u/song.crvp", "/home/u/song"},
        {"archive.tar.gz", "archive.tar"},
        {"/home/u.v/readme", "/home/u.v/readme"},
        {"noext", "noext"},
        {"/dir/.hidden", "/dir/"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(VString(c.path).stripExtension().c_str(), c.stripped);
        EXPECT_STREQ(VString(c.path).changeExtension(".bak").c_str(),
                     (std::string(c.stripped) + ".bak").c_str());
    }
}

class VStringFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vstring-" + std::string(VString::randomString(12, true).c_str()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    VString write(const char* name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return VString(path.string());
    }

    std::filesystem::path dir_;
};

TEST_F(VStringFileTest, LoadsEachEncoding) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string bytes;
        const char* text;
    };
    const Case cases[] = {
        {"plain", "plain \xC3\xA9\n", "plain \xC3\xA9\n"},
        {"utf8-bom", "\xEF\xBB\xBFhi", "hi"},
        {"utf16le", "\xFF\xFEh\0\xAC\x20"s, "h\xE2\x82\xAC"},
        {"utf16be", "\xFE\xFF\0h\x20\xAC"s, "h\xE2\x82\xAC"},
        {"utf16le-pair", "\xFF\xFE\x3C\xD8\xB9\xDF"s, "\xF0\x9F\x8E\xB9"},
        {"utf32le", "\xFF\xFE\0\0h\0\0\0\xB9\xF3\x01\0"s, "h\xF0\x9F\x8E\xB9"},
        {"utf32be", "\0\0\xFE\xFF\0\0\0h\0\x01\xF3\xB9"s, "h\xF0\x9F\x8E\xB9"},
        {"utf16le-odd", "\xFF\xFEh\0i"s, "h"},           // trailing half unit dropped
        {"utf32le-odd", "\xFF\xFE\0\0h\0\0\0i\0"s, "h"}, // trailing partial point dropped
        {"utf16-half-pair", "\xFF\xFEh\0\x3C\xD8"s, "h"},
        {"bom-only", "\xFF\xFE", ""},
        {"embedded-zero", "ab\0cd"s, "ab"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VString text("previous");
        EXPECT_TRUE(text.loadFromFile(write(c.name, c.bytes)));
        EXPECT_STREQ(text.c_str(), c.text);
    }
}

TEST_F(VStringFileTest, FailsOnMissingFileOrDirectory) {
    VString text("previous");
    EXPECT_FALSE(text.loadFromFile(VString((dir_ / "missing.txt").string())));
    EXPECT_TRUE(text.isEmpty());
    text = "previous";
    EXPECT_FALSE(text.loadFromFile(VString(dir_.string())));
    EXPECT_TRUE(text.isEmpty());
}

// Each character of text must be accepted by the class that pattern names at the same position
// ('9' a digit, 'A' a letter or digit, anything else itself).
bool matches(const VString& text, const std::string& pattern) {
    if (text.length() != static_cast<int>(pattern.size()))
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = text.charAt(static_cast<int>(i));
        const bool digit = c >= '0' && c <= '9';
        const bool ok = pattern[i] == '9'   ? digit
                        : pattern[i] == 'A' ? digit || (c >= 'A' && c <= 'Z')
                                            : c == pattern[i];
        if (!ok)
            return false;
    }
    return true;
}

TEST(VStringTest, MakesRandomAndTimeTexts) {
    EXPECT_TRUE(matches(VString::randomString(200, false), std::string(200, '9')));
    const VString mixed = VString::randomString(400, true);
    EXPECT_TRUE(matches(mixed, std::string(400, 'A')));
    EXPECT_FALSE(matches(mixed, std::string(400, '9'))); // letters occur too
    EXPECT_NE(mixed, VString::randomString(400, true));
    EXPECT_TRUE(VString::randomString(0, true).isEmpty());

    EXPECT_TRUE(matches(VString::nowAsText(), "9999-99-99 99:99:99"));
}

TEST(VStringTest, HashesByContent) {
    std::unordered_set<VString> set;
    set.insert(VString("key"));
    set.insert(VString("k") + "ey");
    set.insert(VString("KEY"));
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.count(VString("key")));
}

} // namespace
} // namespace Vorn
