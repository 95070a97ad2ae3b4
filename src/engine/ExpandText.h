#pragma once

#include "foundation/VString.h"

#include <cstdint>

namespace Vorn {
class VStringList;
} // namespace Vorn

namespace Tr {

class TGlobalTranslateParams;

// Replaces the percent sections of a template by variable values: "%%" is one percent sign;
// "%operand%" or "%format operand%" inserts the value of a variable (locals 0-9 from locals,
// the rest from globals) or of an integer, formatted as d (default), c (one character), or
// [0][width]x, X or d. Problems are added to errors (may be null); expansion always completes.
Vorn::VString expandText(const Vorn::VString& textTemplate, const int32_t* locals,
                         const TGlobalTranslateParams* globals, Vorn::VStringList* errors);

} // namespace Tr
