#include "engine/RecordValue.h"

namespace Tr {

using Vorn::VString;

namespace {

bool needsQuotes(const VString& value) {
    if (value.isEmpty())
        return false;
    const char first = value.charAt(0);
    if (first == ' ' || first == '\t' || first == '"')
        return true;
    return value.indexOf('\n') >= 0 || value.indexOf('\r') >= 0;
}

} // namespace

VString encodeRecordValue(const VString& value) {
    if (!needsQuotes(value))
        return value;
    VString quoted = VString::withCapacity(value.length() + 8);
    quoted += '"';
    for (char c : value.view()) {
        switch (c) {
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '"':
        case '\\':
            quoted += '\\';
            quoted += c;
            break;
        default:
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

bool recordBool(const VString& value) {
    if (value.isEmpty())
        return false;
    switch (value.charAt(0)) {
    case '1':
    case 't':
    case 'T':
    case 'y':
    case 'Y':
        return true;
    default:
        return false;
    }
}

} // namespace Tr
