#pragma once

#include <string>
#include <string_view>

namespace Vorn {

// Conversions between UTF-8, UTF-16 and UTF-32. They are lenient, never read past the end of the
// input and stop at a zero byte, unit or code point.
//
// UTF-8 input: the lead byte decides the length of a sequence (0xxxxxxx one byte, 110xxxxx two,
// 1110xxxx three, 11110xxx four); any other byte (a stray continuation byte, 0xF8-0xFF) is one
// character of its own value. Continuation bytes give their low 6 bits and are not checked; a zero
// byte inside a sequence shortens it; a sequence longer than the bytes left ends the conversion.
//
// UTF-16 input: a unit in 0xD800-0xDFFF is taken with the next unit as a surrogate pair; a pair cut
// off by the end ends the conversion.
//
// Code points above 0x10FFFF, which neither UTF-16 nor UTF-8 can carry, become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
std::u32string utf8ToUtf32(std::string_view utf8);
std::string utf32ToUtf8(std::u32string_view utf32);

} // namespace Vorn
