#pragma once

#include "foundation/VString.h"

namespace Tr {

// A value for a key=value record line that reads back exactly: returned as it is unless the
// line parser would change it (a line break, a leading blank or quote), then quoted with
// backslash escapes, which the parser undoes.
Vorn::VString encodeRecordValue(const Vorn::VString& value);

// "1tTyY" as the first character means true.
bool recordBool(const Vorn::VString& value);

} // namespace Tr
