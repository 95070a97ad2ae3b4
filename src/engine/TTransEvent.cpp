#include "engine/TTransEvent.h"

#include <cstring>

namespace Tr {

void TTransEvent::clear() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    keyEvent.key = TKeyEventRecord::kNoKey;
}

} // namespace Tr
