#include "foundation/Utf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace Vorn {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
    std::u32string utf32;
};

// Decoding of UTF-8 by the lead-byte rules, into both wide forms.
TEST(UtfTest, DecodesUtf8ByLeadByte) {
    const Utf8Case cases[] = {
        {"ascii", "abc", u"abc", U"abc"},
        {"two bytes", "\xC3\xA9", u"\u00E9", U"\u00E9"},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC", U"\u20AC"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x8E\xB9", u"\U0001F3B9", U"\U0001F3B9"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", U"\U0010FFFF"},
        {"stray continuation byte is its own value", "a\x80z", u"a\u0080z", U"a\u0080z"},
        {"0xF8-0xFF are their own value", "\xFF", u"\u00FF", U"\u00FF"},
        {"continuation bits are not checked", "\xC3\x29", u"\u00E9", U"\u00E9"},
        {"zero byte ends the text", std::string("ab\0cd", 5), u"ab", U"ab"},
        {"zero inside a sequence shortens it", std::string("\xE2\x82\0zz", 5), u"\u0082",
         U"\u0082"},
        {"sequence longer than the bytes left ends", "ab\xE2\x82", u"ab", U"ab"},
        {"four-byte lead cut off", "\xF0\x9F", u"", U""},
        {"beyond U+10FFFF is replaced", "\xF7\xBF\xBF\xBF", u"\uFFFD", U"\uFFFD"},
        {"empty", "", u"", U""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(utf8ToUtf32(c.utf8), c.utf32);
    }
}

TEST(UtfTest, EncodesUtf16AndUtf32) {
    struct Case {
        const char* name;
        std::u16string utf16;
        std::string utf8;
    };
    const Case cases[] = {
        {"one to three bytes", u"a\u00E9\u20AC", "a\xC3\xA9\xE2\x82\xAC"},
        {"surrogate pair", u"\U0001F3B9", "\xF0\x9F\x8E\xB9"},
        {"pair cut off by the end", u"x\xD83C", "x"},
        {"pair cut off by a zero unit", std::u16string(u"x\xD83C\0y", 4), "x"},
        {"zero unit ends", std::u16string(u"ab\0c", 4), "ab"},
        // A surrogate is always paired with the unit after it; the result stays well-formed.
        {"lone low surrogate pairs with the next unit", u"\xDC00\x0041", "\xF4\x82\x91\x81"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8);
    }

    EXPECT_EQ(utf32ToUtf8(U"a\u00E9\u20AC\U0001F3B9"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB9");
    EXPECT_EQ(utf32ToUtf8(std::u32string(U"ab\0c", 4)), "ab");
    EXPECT_EQ(utf32ToUtf8(std::u32string(1, char32_t{0x110000})), "\xEF\xBF\xBD");
}

TEST(UtfTest, EveryCodePointRoundTrips) {
    for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x3000 ? 1 : 97)) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::string utf8 = utf32ToUtf8(std::u32string(1, cp));
        ASSERT_EQ(utf8ToUtf32(utf8), std::u32string(1, cp))
            << std::hex << static_cast<uint32_t>(cp);
        ASSERT_EQ(utf16ToUtf8(utf8ToUtf16(utf8)), utf8) << std::hex << static_cast<uint32_t>(cp);
    }
}

// The decoder must stay inside the view even when the bytes after it would continue a sequence.
TEST(UtfTest, NeverReadsPastTheView) {
    const std::string backing = "\xE2\x82\xAC\xF0\x9F\x8E\xB9";
    for (size_t n = 0; n <= backing.size(); ++n) {
        const std::string exact = backing.substr(0, n); // own allocation, so ASan sees overruns
        const std::u16string wide = utf8ToUtf16(exact);
        EXPECT_EQ(wide, n < 3 ? u"" : (n < 7 ? u"\u20AC" : u"\u20AC\U0001F3B9")) << n;
    }
    const std::u16string pair = u"\U0001F3B9";
    EXPECT_EQ(utf16ToUtf8(std::u16string_view(pair.data(), 1)), "");
}

} // namespace
} // namespace Vorn
