#include "foundation/THashStringSet.h"

namespace Vorn {

VString THashStringSet::normalize(const VString& key) {
    VString upper = key;
    upper.toUpper();
    return upper;
}

bool THashStringSet::add(const VString& key) {
    const auto [position, added] = m_ids.try_emplace(normalize(key), m_lastId + 1);
    if (added) {
        ++m_lastId;
    }
    return added;
}

bool THashStringSet::contains(const VString& key) const {
    return m_ids.find(normalize(key)) != m_ids.end();
}

bool THashStringSet::remove(const VString& key) {
    return m_ids.erase(normalize(key)) == 1;
}

int THashStringSet::idOf(const VString& key, bool create) {
    const VString normalized = normalize(key);
    if (create) {
        add(normalized);
    }
    const auto found = m_ids.find(normalized);
    return found == m_ids.end() ? 0 : found->second;
}

VStringList THashStringSet::keys() const {
    VStringList result;
    result.ensureCapacity(count());
    for (const auto& entry : m_ids) {
        result.add(entry.first);
    }
    return result;
}

} // namespace Vorn
