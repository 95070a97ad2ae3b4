#pragma once

#include "foundation/VString.h"
#include "foundation/VStringList.h"

#include <map>

namespace Vorn {

// Ordered set of names, case-insensitive for ASCII letters: keys are stored upper-cased. Each
// distinct key gets an identifier (1, 2, ... in order of first insertion) that never changes and is
// never reused, so it can stand for the name (the timer manager's name table).
class THashStringSet {
public:
    // Adds key; returns whether it was not present yet.
    bool add(const VString& key);
    bool contains(const VString& key) const;
    bool remove(const VString& key);

    // The identifier of key; 0 when absent, unless create adds it first.
    int idOf(const VString& key, bool create);

    int count() const { return static_cast<int>(m_ids.size()); }
    bool isEmpty() const { return m_ids.empty(); }
    // Empties the set; identifiers handed out stay unused.
    void clear() { m_ids.clear(); }

    // The stored (upper-case) keys in ascending byte order.
    VStringList keys() const;

    static VString normalize(const VString& key);

private:
    std::map<VString, int> m_ids;
    int m_lastId = 0;
};

} // namespace Vorn
