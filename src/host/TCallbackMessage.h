#pragma once

#include <cstdint>

namespace Tr {

// One record of the GUI event queue as it lies in the ring: little-endian 32-bit words, then
// the zero-terminated text. size counts the bytes the producer asked for: kHeaderSize for a
// record without text, kHeaderSize + n + 1 for n bytes of text. A record without text still
// has a zero byte at text[0], inside its footprint.
struct TCallbackMessage {
    static constexpr uint32_t kHeaderSize = 28;
    static constexpr int kMaxText = 10000;

    int32_t size;
    int32_t type;
    int32_t value1;
    int32_t value2;
    int32_t value3;
    int32_t value4;
    int32_t value5;
    char text[1];
};

static_assert(__builtin_offsetof(TCallbackMessage, text) == TCallbackMessage::kHeaderSize);

} // namespace Tr
