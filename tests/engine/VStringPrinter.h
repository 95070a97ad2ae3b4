#pragma once

// Lets GoogleTest show a VString as its text in failure messages.

#include "foundation/VString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace Vorn {

inline void PrintTo(const VString& text, std::ostream* out) {
    *out << ::testing::PrintToString(std::string(text.view()));
}

} // namespace Vorn
