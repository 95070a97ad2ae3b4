#include "engine/TTransNoneAction.h"

#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "foundation/VException.h"

namespace Tr {

Vorn::VString TTransNoneAction::getDescription() const {
    return "(none)";
}

Vorn::VString TTransNoneAction::toString() const {
    return kTag;
}

int TTransNoneAction::fromString(const Vorn::VString& text) {
    // The only tag compared with its case.
    if (text.length() < 4 || text.view().substr(0, 4) != kTag)
        throw Vorn::VException("corrupt none action");
    return 4;
}

bool TTransNoneAction::execute(TTransContext&) {
    return true;
}

int TTransNoneAction::getType() const {
    return kTypeNone;
}

int TTransNoneAction::getExecutionLevel() const {
    return kLevelInput;
}

int TTransNoneAction::getCapabilities() const {
    return kCapabilityIncoming | kCapabilityOutgoing;
}

std::unique_ptr<TTransAction> TTransNoneAction::newInstance() const {
    return std::make_unique<TTransNoneAction>(isIncoming());
}

} // namespace Tr
