#pragma once

#include "foundation/VString.h"

namespace Tr {

// Variables are named by two characters and addressed by an index: the locals "oo".."xx" are
// 0-9, the globals (first letter g h i j k l m n y z, second a-z or 0-9) are 10-369.
// No name starts with a hexadecimal digit, which lets raw byte strings mix hex and variables.
inline constexpr int kVariableIndexCount = 370;

// The index of the variable the two characters name (case ignored), or -1.
int variableIndex(char first, char second);
// The two characters at position; -1 when they name no variable or the text ends before them.
int variableIndexAt(const Vorn::VString& text, int position);
// The lower-case name of an index 0-369; empty for any other index.
Vorn::VString variableName(int index);

} // namespace Tr
