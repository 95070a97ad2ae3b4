#pragma once

#include "foundation/VString.h"
#include "foundation/VStringList.h"

#include <map>

namespace Vorn {

// Text lines kept exactly as given, plus an index from key to value built from the lines of the
// form key=value (the INI section store). Parsing rules, per line:
//  - leading spaces and tabs are skipped; a line then starting with ';' is a comment;
//  - a key starting with '"' runs to the next unescaped '"' (escapes \a \b \f \n \r \t \v, any
//    other escaped byte taken literally) and the '=' is searched after it; otherwise the key is the
//    text before the first '=' without trailing spaces and tabs;
//  - the value follows '=' and any spaces and tabs; quoted like a key, or else the rest of the
//  line;
//  - lines without '=', with an empty key or with an unclosed quote are skipped; a later line with
//    the same key replaces the earlier value.
// The index follows the lines lazily: every change to them (through lines() or set) marks it stale
// and the next lookup rebuilds it. Keys compare byte-wise, case-sensitive.
class TStringList {
public:
    // The lines for changing; the index is rebuilt at the next lookup.
    VStringList& lines() {
        m_indexStale = true;
        return m_lines;
    }
    const VStringList& lines() const { return m_lines; }

    // Re-parses every line into the index; returns the position of the first line whose key is
    // key, or -1.
    int rebuildIndex(const VString& key) const;

    bool contains(const VString& key) const;
    // The value of the last line with key, or defaultValue.
    VString get(const VString& key, const VString& defaultValue = VString()) const;
    // Removes the first line whose key is key and appends the line key=value. Nothing is escaped:
    // a value that needs quotes or holds a line break is prepared by the caller.
    void set(const VString& key, const VString& value);
    // Removes the first line whose key is key; returns whether there was one.
    bool removeKey(const VString& key);

    // Parses one line; false for a line that holds no pair.
    static bool parseLine(const VString& line, VString& key, VString& value);

private:
    void ensureIndex() const;

    VStringList m_lines;
    // A cache of the lines, so lookups through a const list may refresh it.
    mutable std::map<VString, VString> m_index;
    mutable bool m_indexStale = false;
};

} // namespace Vorn
