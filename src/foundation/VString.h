#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Vorn {

// Reference-counted UTF-8 text. A VString is one pointer to a shared heap block; copying it costs
// one atomic increment, and a change in place first makes the block private (copy on write).
// Blocks may be shared freely between threads; a single VString object is not thread-safe.
// The text never holds a zero byte: its length is the position of the first one.
class VString {
public:
    VString();                                // shares the process-wide empty block
    VString(const char* text);                // nullptr gives the empty string
    VString(const char* text, int maxLength); // stops at a zero byte or after maxLength bytes
    explicit VString(std::string_view text);  // stops at the first zero byte
    explicit VString(const char16_t* utf16, int units = -1); // -1: zero-terminated
    explicit VString(const char32_t* utf32, int count = -1); // -1: zero-terminated
    static VString withCapacity(int capacity);

    VString(const VString& other) noexcept;
    VString(VString&& other) noexcept;
    VString& operator=(const VString& other) noexcept;
    VString& operator=(VString&& other) noexcept;
    ~VString();

    const char* c_str() const { return block_->text(); }
    int length() const;
    bool isEmpty() const { return block_->text()[0] == 0; }
    int capacity() const { return block_->capacity; }
    // Makes the block private with room for at least capacity bytes of text.
    void reserve(int capacity);
    std::string_view view() const;
    // The byte at index, or 0 outside the text.
    char charAt(int index) const;
    // The text as UTF-16, zero-terminated; cached in the block and valid until this string
    // changes or is destroyed.
    const char16_t* toWide() const;

    // printf-style formatting; text beyond 1,048,575 bytes is cut.
    static VString format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static VString formatArgs(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

    // length -1: up to the zero byte; otherwise at most length bytes, stopping at a zero byte.
    VString& append(const char* text, int length = -1);
    VString& append(const VString& text);
    VString& append(char c);
    VString& operator+=(const char* text) { return append(text); }
    VString& operator+=(const VString& text) { return append(text); }
    VString& operator+=(char c) { return append(c); }

    // Byte-wise and case-sensitive; != comes from these.
    bool operator==(const VString& other) const;
    bool operator==(const char* other) const;
    bool operator<(const VString& other) const; // byte-wise (unsigned), for ordered containers

    // maxLength -1: no limit. Ignoring case orders the first difference as signed bytes (so bytes
    // >= 0x80 come before ASCII); otherwise bytes compare unsigned. Returns -1, 0 or 1.
    bool equals(const VString& other, bool ignoreCase = false, int maxLength = -1) const;
    int compare(const VString& other, bool ignoreCase = false, int maxLength = -1) const;
    bool startsWith(const VString& prefix, bool ignoreCase = false) const;

    int indexOf(char c) const;
    // -1 when either string is empty or text cannot fit after from.
    int indexOf(const VString& text, int from = 0, bool ignoreCase = false) const;
    int lastIndexOf(char c) const;
    // length -1 (or any negative length): to the end. A start at or past the end, or a length of
    // 0, gives the empty string; a negative start counts as 0.
    VString substring(int start, int length = -1) const;

    void trimLeft(); // drops leading bytes 1-32 (control characters and space)
    void toUpper();  // ASCII letters only

    // Decimal integer at position, optional '-' (no '+'), leading bytes 1-32 skipped; ends at a
    // byte
    // <= 32 or after maxLength bytes (-1: no limit). Fails on any other byte, on no digits and on
    // 64-bit overflow; result is left unchanged on failure.
    bool parseInt64(int position, int maxLength, int64_t& result) const;
    int toInt(int defaultValue) const; // defaultValue also when the value does not fit an int
    int toInt() const { return toInt(0); }
    // Hexadecimal digits after leading bytes 1-32; 0 on any other byte or more than 32 bits.
    uint32_t parseHex() const;
    static VString fromInt(int64_t value);
    static VString fromDouble(double value); // one decimal: "%3.1lf"
    static VString toHexByte(int value);     // two upper-case digits of value & 0xFF

    // Path helpers (separator '/'): the name without its extension, and with a new one.
    VString stripExtension() const;
    VString changeExtension(const VString& extension) const;

    // Reads a whole text file (UTF-8, or UTF-16/32 with a byte-order mark) into this string. On
    // any failure the string becomes empty and false is returned.
    bool loadFromFile(const VString& path);

    // Digits only, or 'A'-'Z' and digits when alphanumeric.
    static VString randomString(int length, bool alphanumeric);
    // Local time as "YYYY-MM-DD hh:mm:ss".
    static VString nowAsText();

private:
    // Heap block header; the text (capacity + 1 bytes) follows it directly.
    struct Block {
        std::atomic<int32_t> refs;
        int32_t capacity;
        // Lazily built UTF-16 form, owned by the block. Published once with compare-exchange
        // because threads sharing a block may ask for it concurrently; dropped by every change
        // in place (which only happens while the block is private).
        std::atomic<std::u16string*> wide;

        char* text() { return reinterpret_cast<char*>(this + 1); }
        const char* text() const { return reinterpret_cast<const char*>(this + 1); }
    };

    explicit VString(Block* block) noexcept : block_(block) {}
    static Block* emptyBlock() noexcept;
    static Block* allocate(int capacity);
    static Block* copyOf(const char* text, size_t length, int capacity);
    static void retain(Block* block) noexcept;
    static void release(Block* block) noexcept;
    // Makes block_ private with at least the given capacity, then drops its wide cache.
    void makeWritable(int capacity);

    Block* block_;
};

VString operator+(const VString& a, const VString& b);
VString operator+(const VString& a, const char* b);
VString operator+(const char* a, const VString& b);
VString operator+(const VString& a, char b);

} // namespace Vorn

template <> struct std::hash<Vorn::VString> {
    size_t operator()(const Vorn::VString& text) const noexcept {
        return std::hash<std::string_view>{}(text.view());
    }
};
