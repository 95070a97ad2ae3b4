#pragma once

#include "foundation/VList.h"

#include <utility>

namespace Vorn {

// Small map kept as a list of {key, value} in insertion order. Lookup is a linear scan with exact
// key equality (byte-wise for VString keys), so it serves small maps only.
template <class K, class V> class VHashMap {
public:
    struct Entry {
        K key;
        V value;
        // Entries are identified by their key.
        bool operator==(const Entry& other) const { return key == other.key; }
    };

    virtual ~VHashMap() = default;

    // Overwrites the value of an existing key, else appends a new entry.
    void put(const K& key, const V& value) {
        if (V* existing = find(key)) {
            *existing = value;
        } else {
            m_entries.add(Entry{key, value});
        }
    }

    // The value of key, or defaultValue when the key is absent.
    V get(const K& key, const V& defaultValue) const {
        const V* value = find(key);
        return value != nullptr ? *value : defaultValue;
    }

    // The stored value for changing in place; nullptr when the key is absent. Valid until the
    // map changes.
    V* find(const K& key) {
        const int index = indexOfKey(key);
        return index < 0 ? nullptr : &m_entries.get(index).value;
    }
    const V* find(const K& key) const {
        const int index = indexOfKey(key);
        return index < 0 ? nullptr : &m_entries.get(index).value;
    }

    bool contains(const K& key) const { return indexOfKey(key) >= 0; }

    // Removes the entry of key; returns whether there was one.
    bool remove(const K& key) { return m_entries.removeAt(indexOfKey(key)) == 1; }

    int count() const { return m_entries.count(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    void clear() { m_entries.clear(); }

    // Entries in insertion order (range-for yields Entry).
    auto begin() { return m_entries.begin(); }
    auto end() { return m_entries.end(); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

private:
    int indexOfKey(const K& key) const {
        for (int i = 0; i < m_entries.count(); ++i) {
            if (m_entries.get(i).key == key) {
                return i;
            }
        }
        return -1;
    }

    VList<Entry> m_entries;
};

} // namespace Vorn
