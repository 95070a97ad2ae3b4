#include "engine/ExpandText.h"

#include "engine/VarOrNumber.h"
#include "foundation/VStringList.h"

#include <vector>

namespace Tr {

using Vorn::VString;

namespace {

// A width beyond this is taken as this, so that a template cannot ask for huge output.
constexpr int kMaxWidth = 1024;

bool isSeparator(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

class Expander {
public:
    Expander(const int32_t* locals, const TGlobalTranslateParams* globals,
             Vorn::VStringList* errors)
        : locals_(locals), globals_(globals), errors_(errors) {}

    VString run(const VString& text) {
        VString out = VString::withCapacity(text.length());
        const int length = text.length();
        int i = 0;
        while (i < length) {
            const char c = text.charAt(i);
            if (c != '%') {
                out += c;
                ++i;
                continue;
            }
            if (text.charAt(i + 1) == '%') {
                out += '%';
                i += 2;
                continue;
            }
            const int end = i + 1 < length ? text.indexOf("%", i + 1) : -1;
            if (end < 0) {
                error("unterminated % section. Specify %% for a single percent character.");
                break;
            }
            out += section(text.substring(i + 1, end - i - 1));
            i = end + 1;
        }
        return out;
    }

private:
    void error(const VString& message) {
        if (errors_ != nullptr)
            errors_->add(message);
    }

    VString section(const VString& body) {
        std::vector<VString> words;
        const int length = body.length();
        for (int i = 0; i < length;) {
            while (i < length && isSeparator(body.charAt(i)))
                ++i;
            const int start = i;
            while (i < length && !isSeparator(body.charAt(i)))
                ++i;
            if (i == start)
                break;
            const VString word = body.substring(start, i - start);
            if (words.size() == 2) {
                error(VString::format("syntax error: '%s'", word.c_str()));
                return VString();
            }
            words.push_back(word);
        }
        const VString operand = words.empty() ? VString() : words.back();
        const VString format = words.size() == 2 ? words.front() : VString();
        return formatValue(format, operand, operandValue(operand));
    }

    int32_t operandValue(const VString& operand) {
        VarOrNumber value;
        if (operand.isEmpty() || value.parse(operand, 0) != operand.length()) {
            error(VString::format("not a variable: '%s'", operand.c_str()));
            return 0;
        }
        return value.currentValue(locals_, globals_);
    }

    VString formatValue(const VString& format, const VString& operand, int32_t value) {
        if (format.isEmpty() || format == "d")
            return VString::fromInt(value);
        if (format == "c") {
            if (value >= 1 && value <= 255) {
                VString character;
                character += static_cast<char>(value);
                return character;
            }
            error(VString::format("ANSI value out of range: %s=%d. Using ?.", operand.c_str(),
                                  value));
            return "?";
        }
        const char letter = format.charAt(format.length() - 1);
        if (letter != 'x' && letter != 'X' && letter != 'd') {
            error(VString::format("Unknown format specifier: %s", format.c_str()));
            return VString();
        }
        VString digits;
        if (letter == 'd')
            digits = VString::fromInt(value);
        else
            digits = VString::format(letter == 'x' ? "%x" : "%X", static_cast<uint32_t>(value));
        if (format.length() == 1)
            return digits;

        const int bodyLength = format.length() - 1;
        int i = 0;
        while (i < bodyLength && format.charAt(i) == '0')
            ++i;
        const bool zeroPad = i > 0;
        const int digitsStart = i;
        int width = 0;
        for (; i < bodyLength && isDigit(format.charAt(i)); ++i) {
            if (width < kMaxWidth)
                width = width * 10 + (format.charAt(i) - '0');
        }
        if (width > kMaxWidth)
            width = kMaxWidth;
        if (zeroPad && i == digitsStart)
            error("Warning: malformed format: length 0 is ignored.");
        if (i != bodyLength)
            error(VString::format("Unknown extra format specifiers: %s", format.c_str()));
        return pad(digits, width, zeroPad);
    }

    // Zeros go after a minus sign, so that a padded negative number still reads as one.
    static VString pad(const VString& digits, int width, bool zeroPad) {
        if (digits.length() >= width)
            return digits;
        const int fill = width - digits.length();
        VString out = VString::withCapacity(width);
        const bool negative = zeroPad && digits.charAt(0) == '-';
        if (negative)
            out += '-';
        for (int i = 0; i < fill; ++i)
            out += zeroPad ? '0' : ' ';
        out += negative ? digits.substring(1) : digits;
        return out;
    }

    const int32_t* locals_;
    const TGlobalTranslateParams* globals_;
    Vorn::VStringList* errors_;
};

} // namespace

VString expandText(const VString& textTemplate, const int32_t* locals,
                   const TGlobalTranslateParams* globals, Vorn::VStringList* errors) {
    return Expander(locals, globals, errors).run(textTemplate);
}

} // namespace Tr
