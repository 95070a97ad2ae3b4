#include "foundation/VStreams.h"

#include "foundation/ErrorMessages.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace Vorn {

VMemInputStream::VMemInputStream(const void* data, int size)
    : data_(static_cast<const uint8_t*>(data)), size_(data ? std::max(size, 0) : 0) {}

VMemInputStream::VMemInputStream(std::vector<uint8_t> data)
    : owned_(std::move(data)), data_(owned_.data()),
      size_(static_cast<int>(std::min<size_t>(owned_.size(), INT_MAX))) {}

int VMemInputStream::read(void* buffer, int n) {
    const int count = std::min(std::max(n, 0), size_ - position_);
    if (count > 0) {
        std::memcpy(buffer, data_ + position_, static_cast<size_t>(count));
        position_ += count;
    }
    return count;
}

VMemOutputStream::VMemOutputStream()
    : buffer_(std::make_unique<char[]>(initialCapacity + 1)), capacity_(initialCapacity) {}

bool VMemOutputStream::ensureCapacity(int64_t size) {
    if (size <= capacity_)
        return true;
    if (size > INT_MAX - 1) {
        reportError("Error allocating memory (%d bytes)", INT_MAX);
        return false;
    }
    const int64_t grown = std::max<int64_t>(size, int64_t{capacity_} + growthStep);
    const int newCapacity = static_cast<int>(std::min<int64_t>(grown, INT_MAX - 1));
    std::unique_ptr<char[]> larger(new (std::nothrow) char[static_cast<size_t>(newCapacity) + 1]);
    if (!larger) {
        reportError("Error allocating memory (%d bytes)", newCapacity);
        return false; // contents kept
    }
    std::memcpy(larger.get(), buffer_.get(), static_cast<size_t>(length_) + 1);
    buffer_ = std::move(larger);
    capacity_ = newCapacity;
    return true;
}

bool VMemOutputStream::write(const void* data, int n) {
    if (n < 0 || (n > 0 && data == nullptr))
        return false;
    if (!ensureCapacity(int64_t{length_} + n))
        return false;
    if (n > 0)
        std::memcpy(buffer_.get() + length_, data, static_cast<size_t>(n));
    length_ += n;
    buffer_[static_cast<size_t>(length_)] = 0;
    return true;
}

void VMemOutputStream::reserve(int n) {
    if (n > 0)
        ensureCapacity(int64_t{length_} + n);
}

bool VMemOutputStream::writeByte(int b) {
    const char byte = static_cast<char>(b);
    return write(&byte, 1);
}

bool VMemOutputStream::writeText(const char* text) {
    if (text == nullptr)
        return true;
    const size_t n = std::strlen(text);
    return n <= INT_MAX && write(text, static_cast<int>(n));
}

VString VMemOutputStream::toString() const {
    return VString(buffer_.get(), length_);
}

void VMemOutputStream::clear() {
    length_ = 0;
    buffer_[0] = 0;
}

VFileOutputStream::VFileOutputStream(const VString& fileName, bool append)
    : fileName_(fileName),
      file_(fileName.c_str(), std::ios::binary | (append ? std::ios::app : std::ios::trunc)) {}

bool VFileOutputStream::write(const void* data, int n) {
    if (!file_.is_open() || n < 0 || (n > 0 && data == nullptr))
        return false;
    file_.write(static_cast<const char*>(data), n);
    return file_.good();
}

bool VFileOutputStream::flush() {
    if (!file_.is_open())
        return false;
    file_.flush();
    return file_.good();
}

void VFileOutputStream::close() {
    if (file_.is_open())
        file_.close();
}

} // namespace Vorn
