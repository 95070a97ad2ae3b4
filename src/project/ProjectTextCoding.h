#pragma once

#include "foundation/VString.h"

namespace Tr {

// The escaped form of multi-line project texts: the control bytes 0x07-0x0D as a backslash and
// a letter (a b t n v f r), a backslash doubled, every other byte unchanged.
Vorn::VString escapeProjectText(const Vorn::VString& text);
// The reverse; also reads a backslash, x and two hexadecimal digits as that byte, a backslash
// and any other byte as that byte, and drops a backslash at the very end.
Vorn::VString unescapeProjectText(const Vorn::VString& text);
// The text with every CR and LF replaced by a space: for values stored as they are, which a line
// break would cut.
Vorn::VString singleLineText(const Vorn::VString& text);

} // namespace Tr
