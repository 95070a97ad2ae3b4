#pragma once

#include "foundation/VString.h"

#include <cstdint>

namespace Tr {

class TGlobalTranslateParams;

// A number, or a reference to a variable (value is then an index 0-369).
struct VarOrNumber {
    bool isVariable = false;
    int32_t value = 0;

    static VarOrNumber number(int32_t value) { return VarOrNumber{false, value}; }
    static VarOrNumber variable(int index) { return VarOrNumber{true, index}; }

    // Reads a variable name or an integer at position and returns the characters consumed; when
    // nothing can be read this becomes the number 0 and 0 is returned.
    int parse(const Vorn::VString& text, int position);
    // The variable's name or the decimal number.
    Vorn::VString toString() const;
    // The number, or the variable's value: 0-9 from locals, the rest from globals (0 when the
    // array or the parameters are missing). Lock-free; callable on any thread.
    int32_t currentValue(const int32_t* locals, const TGlobalTranslateParams* globals) const;

    bool operator==(const VarOrNumber& other) const = default;
};

// An optional sign, then "0x" and hexadecimal digits (a sign may follow "0x" when none came
// before) or decimal digits. Returns the characters consumed, 0 when no digit stands there; "0x"
// without digits reads as the digit 0. Decimal values saturate at the int32 range; hexadecimal
// ones keep their low 32 bits, so 0xFFFFFFFF is -1.
int parseInteger(const Vorn::VString& text, int position, int32_t& value);

// 0-15 for a hexadecimal digit of either case, else -1.
int hexDigitValue(char c);

} // namespace Tr
