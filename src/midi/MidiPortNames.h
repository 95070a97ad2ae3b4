#pragma once

#include "foundation/VString.h"

namespace Tr {

// Port name rules shared by the device kinds, the manager and the aliases.

// "12- Keys" becomes "Keys": leading decimal digits, "-", then at least one byte of code 32 or
// less are dropped with those bytes. Any other name is returned unchanged.
Vorn::VString removeNumberPrefix(const Vorn::VString& name);

// The name without number prefix and, for an input, without a leading "From ", then a trailing
// " In", then a trailing " Input"; for an output "To ", " Out", " Output". Case is ignored.
Vorn::VString normalisedPortName(const Vorn::VString& name, bool isInput);

} // namespace Tr
