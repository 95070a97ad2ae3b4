#include "engine/VarOrNumber.h"

#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "engine/Variables.h"

#include <limits>

namespace Tr {

namespace {

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int parseInteger(const Vorn::VString& text, int position, int32_t& value) {
    value = 0;
    if (position < 0 || position >= text.length())
        return 0;
    int index = position;
    bool negative = false;
    bool signed_ = false;
    if (text.charAt(index) == '+' || text.charAt(index) == '-') {
        negative = text.charAt(index) == '-';
        signed_ = true;
        ++index;
    }
    if (text.charAt(index) == '0' &&
        (text.charAt(index + 1) == 'x' || text.charAt(index + 1) == 'X')) {
        int digits = index + 2;
        bool hexNegative = negative;
        if (!signed_ && (text.charAt(digits) == '+' || text.charAt(digits) == '-')) {
            hexNegative = text.charAt(digits) == '-';
            ++digits;
        }
        if (hexDigitValue(text.charAt(digits)) >= 0) {
            // Hexadecimal is a bit pattern: the low 32 bits are kept.
            uint32_t bits = 0;
            for (; hexDigitValue(text.charAt(digits)) >= 0; ++digits)
                bits = bits * 16 + static_cast<uint32_t>(hexDigitValue(text.charAt(digits)));
            if (hexNegative)
                bits = 0u - bits;
            value = static_cast<int32_t>(bits);
            return digits - position;
        }
        // "0x" without digits: only the zero counts.
        return index + 1 - position;
    }
    if (!isDecimalDigit(text.charAt(index)))
        return 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; isDecimalDigit(text.charAt(index)); ++index) {
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (text.charAt(index) - '0');
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int32_t>::max())
        value = std::numeric_limits<int32_t>::max();
    else if (result < std::numeric_limits<int32_t>::min())
        value = std::numeric_limits<int32_t>::min();
    else
        value = static_cast<int32_t>(result);
    return index - position;
}

int VarOrNumber::parse(const Vorn::VString& text, int position) {
    const int index = variableIndexAt(text, position);
    if (index >= 0) {
        isVariable = true;
        value = index;
        return 2;
    }
    isVariable = false;
    return parseInteger(text, position, value);
}

Vorn::VString VarOrNumber::toString() const {
    return isVariable ? variableName(value) : Vorn::VString::fromInt(value);
}

int32_t VarOrNumber::currentValue(const int32_t* locals,
                                  const TGlobalTranslateParams* globals) const {
    if (!isVariable)
        return value;
    if (value >= 0 && value < kLocalVariableCount)
        return locals != nullptr ? locals[value] : 0;
    if (value < kVariableIndexCount && globals != nullptr)
        return globals->getVariable(value, locals);
    return 0;
}

} // namespace Tr
