#include "foundation/Utf.h"
#include "foundation/VString.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Any bytes: the converters must stay in bounds and keep what they decoded, and the number parsers
// of VString must not misbehave.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Decoded code points survive a round trip through the encoder (up to a decoded zero, which
    // ends the text). UTF-16 gives no such promise: encoded surrogates pair up with what follows.
    std::u32string points = Vorn::utf8ToUtf32(bytes);
    points.resize(std::min(points.find(U'\0'), points.size()));
    if (Vorn::utf8ToUtf32(Vorn::utf32ToUtf8(points)) != points)
        std::abort();
    (void)Vorn::utf16ToUtf8(Vorn::utf8ToUtf16(bytes));
    const std::u16string_view units(reinterpret_cast<const char16_t*>(data), size / 2);
    const Vorn::VString wide(units.data(), static_cast<int>(units.size()));
    (void)wide.toWide();

    const Vorn::VString text(bytes);
    int64_t value = 0;
    (void)text.parseInt64(0, -1, value);
    (void)text.parseInt64(static_cast<int>(size % 7), static_cast<int>(size % 5), value);
    (void)text.parseHex();
    (void)text.indexOf(Vorn::VString("ab"), static_cast<int>(size % 11), true);
    (void)text.compare(Vorn::VString("AbC\xC3\xA9"), true, static_cast<int>(size % 9) - 1);
    return 0;
}
