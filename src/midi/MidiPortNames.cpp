#include "midi/MidiPortNames.h"

namespace Tr {

using Vorn::VString;

VString removeNumberPrefix(const VString& name) {
    int i = 0;
    while (name.charAt(i) >= '0' && name.charAt(i) <= '9')
        ++i;
    if (i == 0 || name.charAt(i) != '-')
        return name;
    int rest = i + 1;
    while (rest < name.length() && static_cast<unsigned char>(name.charAt(rest)) <= 32)
        ++rest;
    return rest == i + 1 ? name : name.substring(rest);
}

namespace {
bool endsWithIgnoringCase(const VString& text, const char* suffix) {
    const VString end(suffix);
    const int start = text.length() - end.length();
    return start >= 0 && text.substring(start).equals(end, true);
}

VString withoutSuffix(const VString& text, const char* suffix) {
    return endsWithIgnoringCase(text, suffix)
               ? text.substring(0, text.length() - VString(suffix).length())
               : text;
}
} // namespace

VString normalisedPortName(const VString& name, bool isInput) {
    VString result = removeNumberPrefix(name);
    const VString lead = isInput ? "From " : "To ";
    if (result.startsWith(lead, true))
        result = result.substring(lead.length());
    result = withoutSuffix(result, isInput ? " In" : " Out");
    return withoutSuffix(result, isInput ? " Input" : " Output");
}

} // namespace Tr
