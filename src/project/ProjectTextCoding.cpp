#include "project/ProjectTextCoding.h"

#include "engine/VarOrNumber.h"

#include <string>

namespace Tr {

using Vorn::VString;

namespace {

constexpr char kEscapeLetters[] = "abtnvfr"; // for 0x07 .. 0x0D

} // namespace

VString escapeProjectText(const VString& text) {
    std::string out;
    out.reserve(text.view().size());
    for (const char c : text.view()) {
        if (c >= 0x07 && c <= 0x0D) {
            out += '\\';
            out += kEscapeLetters[c - 0x07];
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += c;
        }
    }
    return VString(out.c_str(), static_cast<int>(out.size()));
}

VString unescapeProjectText(const VString& text) {
    const std::string_view in = text.view();
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i == in.size())
            break;
        const char c = in[i];
        const char* letter = c != 0 ? std::char_traits<char>::find(kEscapeLetters, 7, c) : nullptr;
        if (letter) {
            out += static_cast<char>(0x07 + (letter - kEscapeLetters));
        } else if (c == 'x' && i + 2 < in.size() && hexDigitValue(in[i + 1]) >= 0 &&
                   hexDigitValue(in[i + 2]) >= 0) {
            out += static_cast<char>(hexDigitValue(in[i + 1]) * 16 + hexDigitValue(in[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return VString(out.data(), static_cast<int>(out.size()));
}

VString singleLineText(const VString& text) {
    std::string out(text.view());
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return VString(out.data(), static_cast<int>(out.size()));
}

} // namespace Tr
