#include "foundation/TStringList.h"

#include <string>
#include <string_view>

namespace Vorn {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

size_t skipBlanks(std::string_view text, size_t position) {
    while (position < text.size() && isBlank(text[position])) {
        ++position;
    }
    return position;
}

char unescape(char c) {
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    default:
        return c;
    }
}

// Reads a quoted text whose opening quote is at text[position]; on success out holds the
// unescaped text and position is just past the closing quote. False when the quote is not closed.
bool readQuoted(std::string_view text, size_t& position, std::string& out) {
    out.clear();
    size_t i = position + 1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            position = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size()) {
                return false; // a trailing backslash escapes the end of the line: still open
            }
            out += unescape(text[i + 1]);
            i += 2;
        } else {
            out += c;
            ++i;
        }
    }
    return false;
}

} // namespace

bool TStringList::parseLine(const VString& line, VString& key, VString& value) {
    const std::string_view text = line.view();
    size_t position = skipBlanks(text, 0);
    if (position < text.size() && text[position] == ';') {
        return false;
    }
    std::string parsedKey;
    size_t equals;
    if (position < text.size() && text[position] == '"') {
        if (!readQuoted(text, position, parsedKey)) {
            return false;
        }
        equals = text.find('=', position);
        if (equals == std::string_view::npos) {
            return false;
        }
    } else {
        equals = text.find('=', position);
        if (equals == std::string_view::npos) {
            return false;
        }
        size_t keyEnd = equals;
        while (keyEnd > position && isBlank(text[keyEnd - 1])) {
            --keyEnd;
        }
        parsedKey.assign(text.substr(position, keyEnd - position));
    }
    if (parsedKey.empty()) {
        return false;
    }
    size_t valueStart = skipBlanks(text, equals + 1);
    if (valueStart < text.size() && text[valueStart] == '"') {
        std::string parsedValue;
        if (!readQuoted(text, valueStart, parsedValue)) {
            return false;
        }
        value = VString(std::string_view(parsedValue));
    } else {
        value = VString(text.substr(valueStart));
    }
    key = VString(std::string_view(parsedKey));
    return true;
}

int TStringList::rebuildIndex(const VString& key) const {
    m_index.clear();
    m_indexStale = false;
    int firstMatch = -1;
    VString lineKey;
    VString lineValue;
    for (int i = 0; i < m_lines.count(); ++i) {
        if (!parseLine(m_lines.get(i), lineKey, lineValue)) {
            continue;
        }
        if (firstMatch < 0 && lineKey == key) {
            firstMatch = i;
        }
        m_index.insert_or_assign(lineKey, lineValue);
    }
    return firstMatch;
}

void TStringList::ensureIndex() const {
    if (m_indexStale) {
        rebuildIndex(VString());
    }
}

bool TStringList::contains(const VString& key) const {
    ensureIndex();
    return m_index.find(key) != m_index.end();
}

VString TStringList::get(const VString& key, const VString& defaultValue) const {
    ensureIndex();
    const auto found = m_index.find(key);
    return found == m_index.end() ? defaultValue : found->second;
}

void TStringList::set(const VString& key, const VString& value) {
    removeKey(key);
    const VString line = key + "=" + value;
    m_lines.add(line);
    // Appending a line changes the index as a rebuild would: by that line's pair alone. This
    // keeps filling a section linear instead of re-parsing it for every key.
    VString lineKey;
    VString lineValue;
    if (parseLine(line, lineKey, lineValue))
        m_index.insert_or_assign(lineKey, lineValue);
}

bool TStringList::removeKey(const VString& key) {
    if (!m_indexStale && m_index.find(key) == m_index.end())
        return false; // no line has this key
    const int line = rebuildIndex(key);
    if (line < 0) {
        return false;
    }
    m_lines.removeAt(line);
    m_indexStale = true;
    return true;
}

} // namespace Vorn
