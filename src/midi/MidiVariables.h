#pragma once

#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"

#include <cstdint>

namespace Tr {

// Stores a captured value into the variable index: 0-9 into locals, 10-369 into the globals
// (only the locals without engine parameters); anything else is ignored. Lock-free.
inline void storeVariable(int index, int32_t value, int32_t* locals,
                          TGlobalTranslateParams* globals) {
    if (globals)
        globals->setVariable(index, value, locals);
    else if (locals && index >= 0 && index < kLocalVariableCount)
        locals[index] = value;
}

} // namespace Tr
