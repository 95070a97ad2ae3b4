#include "engine/TTransStepMath.h"

#include "engine/ActionFields.h"
#include "foundation/VException.h"

#include <algorithm>

namespace Tr {

using Vorn::VString;

namespace {
constexpr int kMinimumStoredLength = 8;
}

int TTransStepMath::fromStored(const VString& text, int position) {
    if (position < 0 || text.length() - position < kMinimumStoredLength ||
        !text.substring(position, 4).equals("StMa", true))
        throw Vorn::VException("corrupt rule");
    stored_ = text.substring(position);
    return stored_.length();
}

VString TTransStepMath::getShortDescription() const {
    VString description;
    int count = 0;
    try {
        const int consumed = readTextField(stored_, 4, description);
        count = std::max(readHexDigits(stored_, 4 + consumed, 4), 0);
    } catch (const Vorn::VException&) {
        // a stored form too short for its fields: describe it by its count alone
    }
    if (!description.isEmpty())
        return description;
    return VString::format("%d rules", count);
}

bool TTransStepMath::execute(TTransEvent& /*event*/) {
    return true;
}

} // namespace Tr
