#include "engine/TTransEnableAction.h"

#include "engine/ActionFields.h"
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "foundation/VException.h"

namespace Tr {

using Vorn::VString;

void TTransEnableAction::assign(const TTransAction& other) {
    if (const auto* enable = dynamic_cast<const TTransEnableAction*>(&other))
        mode_ = enable->mode_;
}

VString TTransEnableAction::getDescription() const {
    switch (mode_) {
    case kDisable:
        return "Disable Processing";
    case kEnable:
        return "Enable Processing";
    case kProjectOpened:
        return "Project Opened";
    default:
        return VString();
    }
}

VString TTransEnableAction::toString() const {
    return VString::format("%s%02X", kTag, mode_);
}

int TTransEnableAction::fromString(const VString& text) {
    const int mode = readHexDigits(text, 4, 2);
    if (text.length() < 6 || !text.substring(0, 4).equals(kTag, true) || mode < 0 ||
        mode >= kModeCount)
        throw Vorn::VException("corrupt enable/disable action");
    mode_ = mode;
    return 6;
}

bool TTransEnableAction::matches(TTransEvent& event) {
    if (event.key != mode_)
        return false;
    if (event.globals && event.globals->isLogging(TGlobalTranslateParams::kLogIncoming))
        event.globals->logIncoming(getDescriptionWithDelay(), event);
    return true;
}

bool TTransEnableAction::execute(TTransContext& context) {
    if (mode_ != kDisable && mode_ != kEnable)
        throw Vorn::VException("Wrong type for Outgoing TTransEnableAction");
    TGlobalTranslateParams* globals = context.globals;
    if (!globals)
        return false;
    globals->setProcessingEnabled(mode_);
    if (globals->isLogging(TGlobalTranslateParams::kLogOutgoing))
        globals->logOutgoing(mode_ == kEnable ? "enabled processing" : "disabled processing",
                             kTypeEnable, context);
    return true;
}

int TTransEnableAction::getType() const {
    return kTypeEnable;
}

int TTransEnableAction::getExecutionLevel() const {
    return kLevelInput;
}

int TTransEnableAction::getCapabilities() const {
    return kCapabilityIncoming | kCapabilityOutgoing;
}

std::unique_ptr<TTransAction> TTransEnableAction::newInstance() const {
    return std::make_unique<TTransEnableAction>(isIncoming());
}

} // namespace Tr
