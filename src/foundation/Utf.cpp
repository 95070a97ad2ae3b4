#include "foundation/Utf.h"

#include <cstdint>

namespace Vorn {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;
constexpr char32_t maxCodePoint = 0x10FFFF;

// Decodes the UTF-8 text sequence by sequence, calling emit for each code point.
template <class Emit> void decodeUtf8(std::string_view utf8, Emit emit) {
    size_t i = 0;
    const size_t size = utf8.size();
    while (i < size) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        if (lead == 0)
            return;
        size_t sequence = 1;
        char32_t cp = lead;
        if (lead < 0x80) {
            sequence = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            sequence = 2;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            sequence = 3;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            sequence = 4;
            cp = lead & 0x07;
        }
        if (sequence > size - i)
            return;
        size_t taken = 1;
        for (; taken < sequence; ++taken) {
            const auto next = static_cast<uint8_t>(utf8[i + taken]);
            if (next == 0)
                break; // the zero ends the text on the next round
            cp = (cp << 6) | (next & 0x3F);
        }
        i += taken;
        emit(cp);
    }
}

void encodeUtf8(char32_t cp, std::string& out) {
    if (cp > maxCodePoint)
        cp = replacementCharacter;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size()); // never more units than bytes
    decodeUtf8(utf8, [&out](char32_t cp) {
        if (cp > maxCodePoint)
            cp = replacementCharacter;
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
    });
    return out;
}

std::u32string utf8ToUtf32(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    decodeUtf8(utf8, [&out](char32_t cp) { out += cp > maxCodePoint ? replacementCharacter : cp; });
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (unit == 0)
            break;
        if (unit < 0xD800 || unit > 0xDFFF) {
            encodeUtf8(unit, out);
            continue;
        }
        if (i + 1 >= utf16.size())
            break;
        const char16_t low = utf16[++i];
        if (low == 0)
            break; // the text ends inside the pair
        // Taken as a pair whatever the second unit is; the arithmetic stays positive.
        const int32_t cp = (unit - 0xD800) * 1024 + (low - 0xDC00) + 0x10000;
        encodeUtf8(static_cast<char32_t>(cp), out);
    }
    return out;
}

std::string utf32ToUtf8(std::u32string_view utf32) {
    std::string out;
    out.reserve(utf32.size() * 4);
    for (const char32_t cp : utf32) {
        if (cp == 0)
            break;
        encodeUtf8(cp, out);
    }
    return out;
}

} // namespace Vorn
