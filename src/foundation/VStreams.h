#pragma once

#include "foundation/VString.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

namespace Vorn {

// Byte streams. None is thread-safe: each stream belongs to one thread at a time.

class VInputStream {
public:
    virtual ~VInputStream() = default;
    // Copies up to n bytes into buffer; returns the number copied.
    virtual int read(void* buffer, int n) = 0;
    // Bytes left to read.
    virtual int available() const = 0;

    const VString& name() const { return name_; }
    void setName(const VString& name) { name_ = name; }

private:
    VString name_;
};

class VMemInputStream : public VInputStream {
public:
    // Reads from memory the caller keeps alive for the life of the stream.
    VMemInputStream(const void* data, int size);
    // Reads from memory the stream owns.
    explicit VMemInputStream(std::vector<uint8_t> data);

    int read(void* buffer, int n) override;
    int available() const override { return size_ - position_; }

private:
    std::vector<uint8_t> owned_;
    const uint8_t* data_;
    int size_;
    int position_ = 0;
};

class VOutputStream {
public:
    virtual ~VOutputStream() = default;
    // Writes n bytes; returns whether all of them were written.
    virtual bool write(const void* data, int n) = 0;
    // A hint that n more bytes are coming.
    virtual void reserve(int n) { (void)n; }

    const VString& lineEnd() const { return lineEnd_; }
    void setLineEnd(const VString& lineEnd) { lineEnd_ = lineEnd; }

private:
    VString lineEnd_{"\r\n"};
};

class VMemOutputStream : public VOutputStream {
public:
    VMemOutputStream();

    // Appends; false (contents kept) when the buffer cannot grow.
    bool write(const void* data, int n) override;
    // Grows the buffer so that n more bytes fit.
    void reserve(int n) override;
    bool writeByte(int b);
    bool writeText(const char* text);

    // The bytes written so far, followed by a zero byte.
    const char* data() const { return buffer_.get(); }
    int length() const { return length_; }
    int capacity() const { return capacity_; }
    // The contents as text (up to the first zero byte).
    VString toString() const;
    void clear();

private:
    static constexpr int initialCapacity = 2048;
    static constexpr int growthStep = 4096;

    bool ensureCapacity(int64_t size);

    std::unique_ptr<char[]> buffer_;
    int length_ = 0;
    int capacity_ = 0;
};

class VFileOutputStream : public VOutputStream {
public:
    // Opens (creating or truncating, or appending) the file for writing bytes.
    explicit VFileOutputStream(const VString& fileName, bool append = false);

    // Writes the n bytes as one record; false when the file is not open or the write fails.
    bool write(const void* data, int n) override;
    bool isOpen() const { return file_.is_open(); }
    bool flush();
    void close();
    const VString& fileName() const { return fileName_; }

private:
    VString fileName_;
    std::ofstream file_;
};

} // namespace Vorn
