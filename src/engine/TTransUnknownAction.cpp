#include "engine/TTransUnknownAction.h"

#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"

namespace Tr {

void TTransUnknownAction::assign(const TTransAction& other) {
    if (const auto* unknown = dynamic_cast<const TTransUnknownAction*>(&other))
        text_ = unknown->text_;
}

Vorn::VString TTransUnknownAction::getDescription() const {
    if (text_.isEmpty())
        return "unknown empty action";
    return "Unknown Action: " + text_;
}

int TTransUnknownAction::fromString(const Vorn::VString& text) {
    text_ = text;
    return text_.length();
}

int TTransUnknownAction::getType() const {
    return kTypeUnknown;
}

int TTransUnknownAction::getExecutionLevel() const {
    return kLevelKeyboardHook;
}

int TTransUnknownAction::getCapabilities() const {
    return kCapabilityIncoming | kCapabilityOutgoing;
}

std::unique_ptr<TTransAction> TTransUnknownAction::newInstance() const {
    return std::make_unique<TTransUnknownAction>(isIncoming());
}

} // namespace Tr
