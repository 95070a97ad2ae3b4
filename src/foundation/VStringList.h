#pragma once

#include "foundation/VList.h"
#include "foundation/VString.h"

#include <string_view>

namespace Vorn {

// A list of strings with text operations. indexOf and contains ignore ASCII case; the inherited
// remove and addUnique compare exactly, as does indexOfExact.
class VStringList : public VList<VString> {
public:
    // Empties the list and splits text into lines at LF, CR and CR LF. Every ended line is added,
    // empty ones included; text after the last line end only when it is not empty. A zero byte
    // ends only the line it stands in (a line cannot hold one).
    void setText(std::string_view text);
    void setText(const VString& text) { setText(text.view()); }
    void setText(const char* text) { setText(VString(text).view()); }
    // The lines joined with separator between them.
    VString getText(const VString& separator) const;

    int indexOf(const VString& text) const; // ignoring ASCII case; -1 if absent
    bool contains(const VString& text) const { return indexOf(text) >= 0; }
    int indexOfExact(const VString& text) const { return VList<VString>::indexOf(text); }

    void addAll(const VList<VString>& other);
    // Grows the storage to at least capacity elements, keeping the content.
    void ensureCapacity(int capacity);
    // Ascending, ignoring ASCII case; lines equal but for case keep their order.
    void sort();
};

} // namespace Vorn
