#include "foundation/VString.h"

#include "foundation/Utf.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <stdexcept>

namespace Vorn {

namespace {

constexpr int firstFormatCapacity = 512;
constexpr int maxFormatCapacity = 1048576;
constexpr std::streamoff maxFileSize = 2147483646;

bool isBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

int sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Length of text up to its first zero byte, reading at most maxLength bytes.
size_t boundedLength(const char* text, size_t maxLength) {
    const void* zero = std::memchr(text, 0, maxLength);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : maxLength;
}

size_t checkedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX - 1))
        throw std::length_error("VString: text longer than 2 GiB");
    return length;
}

} // namespace

// ---- blocks ----

VString::Block* VString::emptyBlock() noexcept {
    // Immortal and never counted: copies of the empty string touch no shared cache line.
    struct Storage {
        Block header;
        char text[alignof(Block)];
    };
    static constinit Storage storage{{0, 0, nullptr}, {}};
    return &storage.header;
}

VString::Block* VString::allocate(int capacity) {
    capacity = std::max(capacity, 0);
    // The block is owned by the VString that receives it and freed by release().
    void* memory = ::operator new(sizeof(Block) + static_cast<size_t>(capacity) + 1);
    auto* block = new (memory) Block{1, capacity, nullptr};
    block->text()[0] = 0;
    return block;
}

VString::Block* VString::copyOf(const char* text, size_t length, int capacity) {
    Block* block = allocate(std::max(capacity, static_cast<int>(checkedLength(length))));
    std::memcpy(block->text(), text, length);
    block->text()[length] = 0;
    return block;
}

void VString::retain(Block* block) noexcept {
    if (block != emptyBlock())
        block->refs.fetch_add(1, std::memory_order_relaxed);
}

void VString::release(Block* block) noexcept {
    if (block == emptyBlock() || block->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    delete block->wide.load(std::memory_order_acquire);
    block->~Block();
    ::operator delete(block);
}

void VString::makeWritable(int capacity) {
    Block* block = block_;
    if (block != emptyBlock() && block->refs.load(std::memory_order_acquire) == 1 &&
        block->capacity >= capacity) {
        delete block->wide.exchange(nullptr, std::memory_order_relaxed);
        return;
    }
    block_ = copyOf(block->text(), std::strlen(block->text()), capacity);
    release(block);
}

// ---- construction ----

VString::VString() : block_(emptyBlock()) {}

VString::VString(const char* text) : VString(text, -1) {}

VString::VString(const char* text, int maxLength) : block_(emptyBlock()) {
    if (text == nullptr || maxLength == 0)
        return;
    const size_t length =
        maxLength < 0 ? std::strlen(text) : boundedLength(text, static_cast<size_t>(maxLength));
    if (length > 0)
        block_ = copyOf(text, length, 0);
}

VString::VString(std::string_view text) : block_(emptyBlock()) {
    const size_t length = std::min(text.find('\0'), text.size());
    if (length > 0)
        block_ = copyOf(text.data(), length, 0);
}

VString::VString(const char16_t* utf16, int units) : block_(emptyBlock()) {
    if (utf16 == nullptr)
        return;
    const size_t count =
        units < 0 ? std::char_traits<char16_t>::length(utf16) : static_cast<size_t>(units);
    const std::string utf8 = utf16ToUtf8(std::u16string_view(utf16, count));
    if (!utf8.empty())
        block_ = copyOf(utf8.data(), utf8.size(), 0);
}

VString::VString(const char32_t* utf32, int count) : block_(emptyBlock()) {
    if (utf32 == nullptr)
        return;
    const size_t size =
        count < 0 ? std::char_traits<char32_t>::length(utf32) : static_cast<size_t>(count);
    const std::string utf8 = utf32ToUtf8(std::u32string_view(utf32, size));
    if (!utf8.empty())
        block_ = copyOf(utf8.data(), utf8.size(), 0);
}

VString VString::withCapacity(int capacity) {
    return capacity > 0 ? VString(allocate(capacity)) : VString();
}

VString::VString(const VString& other) noexcept : block_(other.block_) {
    retain(block_);
}

VString::VString(VString&& other) noexcept : block_(other.block_) {
    other.block_ = emptyBlock();
}

VString& VString::operator=(const VString& other) noexcept {
    retain(other.block_);
    release(block_);
    block_ = other.block_;
    return *this;
}

VString& VString::operator=(VString&& other) noexcept {
    if (this != &other) {
        release(block_);
        block_ = other.block_;
        other.block_ = emptyBlock();
    }
    return *this;
}

VString::~VString() {
    release(block_);
}

// ---- access ----

int VString::length() const {
    return static_cast<int>(std::strlen(block_->text()));
}

std::string_view VString::view() const {
    return std::string_view(block_->text());
}

void VString::reserve(int capacity) {
    if (capacity > block_->capacity)
        makeWritable(capacity);
}

char VString::charAt(int index) const {
    if (index < 0 || index >= block_->capacity)
        return 0;
    const char* text = block_->text();
    return std::memchr(text, 0, static_cast<size_t>(index)) ? 0 : text[index];
}

const char16_t* VString::toWide() const {
    Block* block = block_;
    if (block == emptyBlock())
        return u"";
    std::u16string* wide = block->wide.load(std::memory_order_acquire);
    if (wide == nullptr) {
        auto fresh = std::make_unique<std::u16string>(utf8ToUtf16(view()));
        if (block->wide.compare_exchange_strong(wide, fresh.get(), std::memory_order_acq_rel,
                                                std::memory_order_acquire))
            wide = fresh.release(); // the block owns it now
    }
    return wide->c_str();
}

// ---- formatting ----

VString VString::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    VString result = formatArgs(fmt, args);
    va_end(args);
    return result;
}

VString VString::formatArgs(const char* fmt, va_list args) {
    if (fmt == nullptr)
        return VString();
    VString result(allocate(firstFormatCapacity));
    va_list pass;
    va_copy(pass, args);
    const int needed = std::vsnprintf(result.block_->text(), firstFormatCapacity, fmt, pass);
    va_end(pass);
    if (needed < 0)
        return VString();
    if (needed < firstFormatCapacity)
        return result;

    const int capacity = needed >= maxFormatCapacity ? maxFormatCapacity : needed + 1;
    VString larger(allocate(capacity));
    va_copy(pass, args);
    const int again =
        std::vsnprintf(larger.block_->text(), static_cast<size_t>(capacity), fmt, pass);
    va_end(pass);
    if (again < 0)
        return VString();
    return larger;
}

// ---- appending ----

VString& VString::append(const char* text, int length) {
    if (text == nullptr || length == 0)
        return *this;
    const size_t count =
        length < 0 ? std::strlen(text) : boundedLength(text, static_cast<size_t>(length));
    if (count == 0)
        return *this;
    Block* old = block_;
    const size_t oldLength = std::strlen(old->text());
    const int needed = static_cast<int>(checkedLength(oldLength + count));
    if (old != emptyBlock() && old->refs.load(std::memory_order_acquire) == 1 &&
        old->capacity >= needed) {
        delete old->wide.exchange(nullptr, std::memory_order_relaxed);
        std::memmove(old->text() + oldLength, text, count); // text may lie in this block
        old->text()[needed] = 0;
        return *this;
    }
    // The old block stays alive until the new one holds both parts, so text may point into it.
    Block* block = copyOf(old->text(), oldLength, needed);
    std::memcpy(block->text() + oldLength, text, count);
    block->text()[needed] = 0;
    block_ = block;
    release(old);
    return *this;
}

VString& VString::append(const VString& text) {
    if (block_ == emptyBlock()) {
        *this = text; // nothing to join and no reserved room: share the block
        return *this;
    }
    return append(text.c_str());
}

VString& VString::append(char c) {
    return append(&c, 1);
}

VString operator+(const VString& a, const VString& b) {
    VString result = VString::withCapacity(a.length() + b.length());
    result.append(a).append(b);
    return result;
}

VString operator+(const VString& a, const char* b) {
    VString result = VString::withCapacity(a.length() + (b ? static_cast<int>(std::strlen(b)) : 0));
    result.append(a).append(b);
    return result;
}

VString operator+(const char* a, const VString& b) {
    VString result = VString::withCapacity((a ? static_cast<int>(std::strlen(a)) : 0) + b.length());
    result.append(a).append(b);
    return result;
}

VString operator+(const VString& a, char b) {
    VString result = VString::withCapacity(a.length() + 1);
    result.append(a).append(b);
    return result;
}

// ---- comparison and search ----

bool VString::operator==(const VString& other) const {
    return block_ == other.block_ || std::strcmp(c_str(), other.c_str()) == 0;
}

bool VString::operator==(const char* other) const {
    return std::strcmp(c_str(), other ? other : "") == 0;
}

bool VString::operator<(const VString& other) const {
    return std::strcmp(c_str(), other.c_str()) < 0;
}

int VString::compare(const VString& other, bool ignoreCase, int maxLength) const {
    const char* a = c_str();
    const char* b = other.c_str();
    if (!ignoreCase) {
        return sign(maxLength < 0 ? std::strcmp(a, b)
                                  : std::strncmp(a, b, static_cast<size_t>(maxLength)));
    }
    for (size_t i = 0; maxLength < 0 || i < static_cast<size_t>(maxLength); ++i) {
        if (a[i] == 0 || b[i] == 0)
            return a[i] == b[i] ? 0 : (a[i] == 0 ? -1 : 1); // a prefix orders first
        const auto ca = static_cast<signed char>(upperAscii(a[i]));
        const auto cb = static_cast<signed char>(upperAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return 0;
}

bool VString::equals(const VString& other, bool ignoreCase, int maxLength) const {
    return compare(other, ignoreCase, maxLength) == 0;
}

bool VString::startsWith(const VString& prefix, bool ignoreCase) const {
    return compare(prefix, ignoreCase, prefix.length()) == 0;
}

int VString::indexOf(char c) const {
    if (c == 0)
        return -1;
    const char* found = std::strchr(c_str(), c);
    return found ? static_cast<int>(found - c_str()) : -1;
}

int VString::lastIndexOf(char c) const {
    if (c == 0)
        return -1;
    const char* found = std::strrchr(c_str(), c);
    return found ? static_cast<int>(found - c_str()) : -1;
}

int VString::indexOf(const VString& text, int from, bool ignoreCase) const {
    const std::string_view haystack = view();
    const std::string_view needle = text.view();
    from = std::max(from, 0);
    if (haystack.empty() || needle.empty() || static_cast<size_t>(from) > haystack.size() ||
        needle.size() > haystack.size() - static_cast<size_t>(from))
        return -1;
    if (!ignoreCase) {
        const size_t found = haystack.find(needle, static_cast<size_t>(from));
        return found == std::string_view::npos ? -1 : static_cast<int>(found);
    }
    for (size_t i = static_cast<size_t>(from); i + needle.size() <= haystack.size(); ++i) {
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<ptrdiff_t>(i),
                       [](char x, char y) { return upperAscii(x) == upperAscii(y); }))
            return static_cast<int>(i);
    }
    return -1;
}

VString VString::substring(int start, int length) const {
    const int total = this->length();
    start = std::max(start, 0);
    if (start >= total || length == 0)
        return VString();
    const int count = length < 0 ? total - start : std::min(length, total - start);
    if (start == 0 && count == total)
        return *this;
    return VString(c_str() + start, count);
}

// ---- changes in place ----

void VString::trimLeft() {
    const char* text = c_str();
    size_t skip = 0;
    while (isBlank(text[skip]))
        ++skip;
    if (skip == 0)
        return;
    makeWritable(0);
    char* own = block_->text();
    std::memmove(own, own + skip, std::strlen(own + skip) + 1);
}

void VString::toUpper() {
    const char* text = c_str();
    while (*text && upperAscii(*text) == *text)
        ++text;
    if (*text == 0)
        return; // nothing to change: keep sharing
    makeWritable(0);
    for (char* own = block_->text(); *own; ++own)
        *own = upperAscii(*own);
}

// ---- numbers ----

bool VString::parseInt64(int position, int maxLength, int64_t& result) const {
    const char* text = c_str();
    const int64_t total = length();
    if (position < 0 || position >= total)
        return false;
    const int64_t end =
        maxLength < 0 ? total : std::min<int64_t>(total, int64_t{position} + maxLength);
    int64_t i = position;
    while (i < end && isBlank(text[i]))
        ++i;
    const bool negative = i < end && text[i] == '-';
    if (negative)
        ++i;
    const uint64_t limit =
        negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    uint64_t magnitude = 0;
    bool anyDigit = false;
    for (; i<end&& static_cast<unsigned char>(text[i])> 32; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10)
            return false; // does not fit 64 bits
        magnitude = magnitude * 10 + digit;
        anyDigit = true;
    }
    if (!anyDigit)
        return false;
    result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

int VString::toInt(int defaultValue) const {
    int64_t value = 0;
    if (!parseInt64(0, -1, value) || value < INT_MIN || value > INT_MAX)
        return defaultValue;
    return static_cast<int>(value);
}

uint32_t VString::parseHex() const {
    const char* text = c_str();
    while (isBlank(*text))
        ++text;
    uint32_t value = 0;
    for (; static_cast<unsigned char>(*text) > 32; ++text) {
        const char c = *text;
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            return 0;
        if (value > 0x0FFFFFFF)
            return 0; // more than 32 bits
        value = (value << 4) | digit;
    }
    return value;
}

VString VString::fromInt(int64_t value) {
    char buffer[24];
    const int n = std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return VString(buffer, n);
}

VString VString::fromDouble(double value) {
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%%d.%dlf", 3, 1);
    char buffer[400]; // the widest double, 309 digits, with sign and decimal fits
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::snprintf(buffer, sizeof buffer, pattern, value);
#pragma GCC diagnostic pop
    return n < 0 ? VString() : VString(buffer, std::min<int>(n, sizeof buffer - 1));
}

VString VString::toHexByte(int value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const char text[2] = {digits[(value >> 4) & 0xF], digits[value & 0xF]};
    return VString(text, 2);
}

// ---- paths ----

VString VString::stripExtension() const {
    const int dot = lastIndexOf('.');
    return dot >= 0 && dot > lastIndexOf('/') ? substring(0, dot) : *this;
}

VString VString::changeExtension(const VString& extension) const {
    return stripExtension() + extension;
}

// ---- files ----

namespace {

std::string decodeText(const std::string& bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return bytes.substr(3);
    const bool utf32be = n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF;
    const bool utf32le = n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0;
    if (utf32be || utf32le) {
        // A partial code point at the end is dropped.
        std::u32string text((n - 4) / 4, U'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char* p = b + 4 + i * 4;
            text[i] = utf32be ? (char32_t{p[0]} << 24) | (char32_t{p[1]} << 16) |
                                    (char32_t{p[2]} << 8) | char32_t{p[3]}
                              : (char32_t{p[3]} << 24) | (char32_t{p[2]} << 16) |
                                    (char32_t{p[1]} << 8) | char32_t{p[0]};
        }
        return utf32ToUtf8(text);
    }
    const bool utf16be = n >= 2 && b[0] == 0xFE && b[1] == 0xFF;
    const bool utf16le = n >= 2 && b[0] == 0xFF && b[1] == 0xFE;
    if (utf16be || utf16le) {
        std::u16string text((n - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char* p = b + 2 + i * 2;
            text[i] = static_cast<char16_t>(utf16be ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
        }
        return utf16ToUtf8(text);
    }
    return bytes;
}

} // namespace

bool VString::loadFromFile(const VString& path) {
    *this = VString();
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in.seekg(0, std::ios::end))
        return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > maxFileSize || !in.seekg(0, std::ios::beg))
        return false;
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0 && !in.read(bytes.data(), size))
        return false; // short read
    *this = VString(std::string_view(decodeText(bytes)));
    return true;
}

// ---- generated text ----

VString VString::randomString(int length, bool alphanumeric) {
    static std::mutex mutex;
    static std::minstd_rand generator(
        static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()));
    if (length <= 0)
        return VString();
    VString result = withCapacity(length);
    char* text = result.block_->text();
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int i = 0; i < length; ++i) {
            if (alphanumeric) {
                const auto r = static_cast<int>(generator() % 36);
                text[i] = static_cast<char>(r < 26 ? 'A' + r : '0' + (r - 26));
            } else {
                text[i] = static_cast<char>('0' + generator() % 10);
            }
        }
    }
    text[length] = 0;
    return result;
}

VString VString::nowAsText() {
    static std::mutex mutex; // std::localtime shares one result buffer
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::tm* converted = std::localtime(&now);
        if (converted == nullptr)
            return VString();
        local = *converted;
    }
    char buffer[64];
    const int n =
        std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return VString(buffer, n);
}

} // namespace Vorn
