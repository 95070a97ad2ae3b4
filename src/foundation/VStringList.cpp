#include "foundation/VStringList.h"

#include <algorithm>
#include <string_view>

namespace Vorn {

void VStringList::setText(std::string_view all) {
    clearKeepStorage();
    size_t lineStart = 0;
    size_t i = 0;
    while (i < all.size()) {
        const char c = all[i];
        if (c != '\n' && c != '\r') {
            ++i;
            continue;
        }
        add(VString(all.substr(lineStart, i - lineStart)));
        ++i;
        if (c == '\r' && i < all.size() && all[i] == '\n') {
            ++i;
        }
        lineStart = i;
    }
    if (lineStart < all.size()) {
        add(VString(all.substr(lineStart)));
    }
}

VString VStringList::getText(const VString& separator) const {
    int needed = 0;
    for (const VString& line : *this) {
        needed += line.length() + separator.length();
    }
    VString text = VString::withCapacity(needed);
    for (int i = 0; i < count(); ++i) {
        if (i > 0) {
            text.append(separator);
        }
        text.append(get(i));
    }
    return text;
}

int VStringList::indexOf(const VString& text) const {
    for (int i = 0; i < count(); ++i) {
        if (get(i).equals(text, true)) {
            return i;
        }
    }
    return -1;
}

void VStringList::addAll(const VList<VString>& other) {
    // A fixed count, so that adding a list to itself ends.
    const int n = other.count();
    ensureCapacity(count() + n);
    for (int i = 0; i < n; ++i) {
        add(other.get(i));
    }
}

void VStringList::ensureCapacity(int capacity) {
    if (this->capacity() < capacity) {
        setCapacity(capacity, true);
    }
}

void VStringList::sort() {
    std::stable_sort(begin(), end(),
                     [](const VString& a, const VString& b) { return a.compare(b, true) < 0; });
}

} // namespace Vorn
