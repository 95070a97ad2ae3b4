#pragma once

#include "engine/VarOrNumber.h"
#include "engine/Variables.h"
#include "foundation/ErrorMessages.h"
#include "foundation/VString.h"

#include <cstdint>
#include <string>
#include <vector>

namespace MidiTestSupport {

// Keeps every reported message as "<level>:<text>".
class RecordingErrors : public Vorn::ErrorMessageCallback {
public:
    void message(int level, const Vorn::VString& text) override {
        lines.push_back(std::to_string(level) + ":" + text.c_str());
    }
    std::vector<std::string> lines;
};

inline Tr::VarOrNumber num(int value) {
    return Tr::VarOrNumber::number(value);
}

inline Tr::VarOrNumber var(const char* name) {
    return Tr::VarOrNumber::variable(Tr::variableIndex(name[0], name[1]));
}

inline int index(const char* name) {
    return Tr::variableIndex(name[0], name[1]);
}

inline std::string str(const Vorn::VString& text) {
    return std::string(text.view());
}

// "90 3C 40" as bytes.
inline std::vector<uint8_t> bytes(const char* hex) {
    std::vector<uint8_t> result;
    int high = -1;
    for (const char* p = hex; *p; ++p) {
        const int digit = Tr::hexDigitValue(*p);
        if (digit < 0)
            continue;
        if (high < 0) {
            high = digit;
        } else {
            result.push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    return result;
}

inline std::string hex(const uint8_t* data, int length) {
    std::string result;
    for (int i = 0; i < length; ++i) {
        if (i > 0)
            result += ' ';
        result += Vorn::VString::toHexByte(data[i]).c_str();
    }
    return result;
}

} // namespace MidiTestSupport
