#pragma once

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace Vorn {

// Ordered array with the engine's growth and capacity rules: an empty list starts at 16 elements
// and doubles when full; clear() and setCapacity() reallocate to exactly the capacity asked for.
// The operations are virtual so that VOwnedList can free what it drops.
//
// Indexes are the caller's duty: get() and set() must be given 0 <= index < count(). A bad index
// asserts in debug builds; in release builds get() throws std::out_of_range and set() changes
// nothing and returns -1, so a caller's mistake never writes outside the array.
//
// Not thread-safe; the owner locks around it.
template <class T> class VList {
    // std::vector<bool> hands out proxies, not references.
    static_assert(!std::is_same_v<T, bool>, "VList<bool> is not supported; use VBits");

public:
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    VList() = default;
    VList(const VList& other) : m_capacity(other.m_capacity) {
        m_items.reserve(static_cast<size_t>(m_capacity));
        m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end());
    }
    VList(VList&& other) noexcept
        : m_items(std::move(other.m_items)), m_capacity(std::exchange(other.m_capacity, 0)) {
        other.m_items.clear();
    }
    VList& operator=(const VList& other) {
        if (this != &other) {
            VList copy(other);
            swapStorage(copy);
        }
        return *this;
    }
    VList& operator=(VList&& other) noexcept {
        if (this != &other) {
            m_items = std::move(other.m_items);
            other.m_items.clear();
            m_capacity = std::exchange(other.m_capacity, 0);
        }
        return *this;
    }
    virtual ~VList() = default;

    int count() const { return static_cast<int>(m_items.size()); }
    int capacity() const { return m_capacity; }
    bool isEmpty() const { return m_items.empty(); }

    const T& get(int index) const {
        assert(isValidIndex(index) && "VList::get: index out of range");
        return m_items.at(static_cast<size_t>(index));
    }
    T& get(int index) {
        assert(isValidIndex(index) && "VList::get: index out of range");
        return m_items.at(static_cast<size_t>(index));
    }

    // Overwrites the element at index; returns index, or -1 (nothing changed) for a bad index.
    virtual int set(int index, const T& value) {
        assert(isValidIndex(index) && "VList::set: index out of range");
        if (!isValidIndex(index)) {
            return -1;
        }
        m_items[static_cast<size_t>(index)] = value;
        return index;
    }

    // Empties the list; the storage is reallocated to max(capacity, 0) elements unless it already
    // has exactly that capacity. Returns whether the list held elements.
    virtual bool clear(int capacity = 0) {
        const bool held = !m_items.empty();
        const int wanted = std::max(capacity, 0);
        if (wanted != m_capacity) {
            std::vector<T> fresh;
            fresh.reserve(static_cast<size_t>(wanted));
            m_items.swap(fresh);
            m_capacity = wanted;
        } else {
            m_items.clear();
        }
        return held;
    }

    // Empties the list and keeps its storage. Returns whether the list held elements.
    virtual bool clearKeepStorage() {
        const bool held = !m_items.empty();
        m_items.clear();
        return held;
    }

    virtual void add(const T& value) {
        if (count() < m_capacity) {
            m_items.push_back(value);
            return;
        }
        // value may live in this list; take it before the storage moves.
        T copy(value);
        grow(m_capacity == 0 ? kInitialCapacity : m_capacity * 2);
        m_items.push_back(std::move(copy));
    }

    // Removes the first element equal to value, keeping the order. Returns 1 if one was removed.
    virtual int remove(const T& value) {
        const auto found = std::find(m_items.begin(), m_items.end(), value);
        if (found == m_items.end()) {
            return 0;
        }
        m_items.erase(found);
        return 1;
    }

    // Removes n elements from index, n cut to the end of the list. Returns 0 for a negative index
    // or nothing to remove, else 1.
    virtual int removeAt(int index, int n = 1) {
        const int removable = removableCount(index, n);
        if (removable == 0) {
            return 0;
        }
        const auto first = m_items.begin() + index;
        m_items.erase(first, first + removable);
        return 1;
    }

    // Reallocates to max(capacity, 0) elements. With keep the first elements that fit stay,
    // otherwise the list is emptied.
    virtual void setCapacity(int capacity, bool keep) {
        const int wanted = std::max(capacity, 0);
        std::vector<T> fresh;
        fresh.reserve(static_cast<size_t>(wanted));
        if (keep) {
            const auto kept = m_items.begin() + std::min(count(), wanted);
            fresh.insert(fresh.end(), std::make_move_iterator(m_items.begin()),
                         std::make_move_iterator(kept));
        }
        m_items.swap(fresh);
        m_capacity = wanted;
    }

    int indexOf(const T& value) const {
        const auto found = std::find(m_items.begin(), m_items.end(), value);
        return found == m_items.end() ? -1 : static_cast<int>(found - m_items.begin());
    }
    bool contains(const T& value) const { return indexOf(value) >= 0; }

    // Adds value unless an equal element is present; returns whether it was added.
    bool addUnique(const T& value) {
        if (contains(value)) {
            return false;
        }
        add(value);
        return true;
    }

    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }

protected:
    static constexpr int kInitialCapacity = 16;

    bool isValidIndex(int index) const { return index >= 0 && index < count(); }

    // How many elements removeAt(index, n) takes away.
    int removableCount(int index, int n) const {
        if (index < 0 || index >= count() || n <= 0) {
            return 0;
        }
        return std::min(n, count() - index);
    }

private:
    void grow(int newCapacity) {
        m_items.reserve(static_cast<size_t>(newCapacity));
        m_capacity = newCapacity;
    }
    void swapStorage(VList& other) noexcept {
        m_items.swap(other.m_items);
        std::swap(m_capacity, other.m_capacity);
    }

    std::vector<T> m_items;
    int m_capacity = 0;
};

} // namespace Vorn
