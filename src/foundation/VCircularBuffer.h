#pragma once

#include <algorithm>
#include <cassert>
#include <type_traits>
#include <vector>

namespace Vorn {

// Fixed-capacity FIFO ring (the serial receive path uses it for bytes). Writing never overwrites:
// what does not fit is refused and reported by the return value. The capacity can be changed at
// any time; the content stays in order. Not thread-safe; the owner locks around it.
template <class T> class VCircularBuffer {
    // std::vector<bool> hands out proxies, not references.
    static_assert(!std::is_same_v<T, bool>, "VCircularBuffer<bool> is not supported");

public:
    explicit VCircularBuffer(int capacity = 0)
        : m_storage(static_cast<size_t>(std::max(capacity, 0))) {}

    int capacity() const { return static_cast<int>(m_storage.size()); }
    int count() const { return m_count; }
    int freeSpace() const { return capacity() - m_count; }
    bool isEmpty() const { return m_count == 0; }
    bool isFull() const { return m_count == capacity(); }

    // Appends one element; false when the buffer is full.
    bool put(const T& value) { return write(&value, 1) == 1; }

    // Appends up to n elements; returns how many fitted.
    int write(const T* data, int n) {
        const int accepted = std::clamp(n, 0, freeSpace());
        for (int i = 0; i < accepted; ++i) {
            m_storage[static_cast<size_t>(m_write)] = data[i];
            m_write = advance(m_write, 1);
        }
        m_count += accepted;
        return accepted;
    }

    // Takes the oldest element; false when the buffer is empty.
    bool get(T& value) { return read(&value, 1) == 1; }

    // Moves up to n of the oldest elements to out; returns how many.
    int read(T* out, int n) {
        const int taken = std::clamp(n, 0, m_count);
        for (int i = 0; i < taken; ++i) {
            out[i] = m_storage[static_cast<size_t>(m_read)];
            m_read = advance(m_read, 1);
        }
        m_count -= taken;
        return taken;
    }

    // The element at index counted from the oldest (0). Callers keep 0 <= index < count().
    const T& peek(int index) const {
        assert(index >= 0 && index < m_count && "VCircularBuffer::peek: index out of range");
        return m_storage.at(static_cast<size_t>(advance(m_read, index)));
    }

    // Drops up to n of the oldest elements; returns how many.
    int discard(int n) {
        const int dropped = std::clamp(n, 0, m_count);
        m_read = advance(m_read, dropped);
        m_count -= dropped;
        return dropped;
    }

    void clear() {
        m_read = 0;
        m_write = 0;
        m_count = 0;
    }

    // Reallocates to max(capacity, 0) elements, the content in order from position 0. When the new
    // capacity is smaller than the count, the oldest elements that fit are kept.
    void setCapacity(int capacity) {
        std::vector<T> fresh(static_cast<size_t>(std::max(capacity, 0)));
        const int kept = std::min(m_count, static_cast<int>(fresh.size()));
        for (int i = 0; i < kept; ++i) {
            fresh[static_cast<size_t>(i)] = m_storage[static_cast<size_t>(advance(m_read, i))];
        }
        m_storage.swap(fresh);
        m_count = kept;
        m_read = 0;
        m_write = advance(0, kept);
    }

private:
    int advance(int position, int steps) const {
        const int size = capacity();
        return size == 0 ? 0 : (position + steps) % size;
    }

    std::vector<T> m_storage;
    int m_read = 0;
    int m_write = 0;
    int m_count = 0;
};

} // namespace Vorn
