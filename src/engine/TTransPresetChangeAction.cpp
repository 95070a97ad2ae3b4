#include "engine/TTransPresetChangeAction.h"

#include "engine/ActionFields.h"
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "foundation/VException.h"

namespace Tr {

using Vorn::VString;

namespace {

constexpr const char* kCorrupt = "corrupt preset change action";

} // namespace

bool TTransPresetChangeAction::usesNumber(int changeType) {
    return changeType == kActivateOnlyByNumber || changeType == kActivateByNumber ||
           changeType == kDeactivateByNumber;
}

void TTransPresetChangeAction::assign(const TTransAction& other) {
    if (const auto* change = dynamic_cast<const TTransPresetChangeAction*>(&other)) {
        changeType_ = change->changeType_;
        presetName_ = change->presetName_;
        presetNumber_ = change->presetNumber_;
    }
}

VString TTransPresetChangeAction::getDescription() const {
    const VString numberText = presetNumber_.toString();
    const char* number = numberText.c_str();
    const char* name = presetName_.c_str();
    switch (changeType_) {
    case kActivateOnlyNext:
        return "activate only next preset";
    case kActivateOnlyPrevious:
        return "activate only previous preset";
    case kActivateOnlyByName:
        return VString::format("activate only preset \"%s\"", name);
    case kActivateOnlyByNumber:
        return VString::format("activate only preset number %s", number);
    case kActivateByName:
        return VString::format("activate preset \"%s\"", name);
    case kActivateByNumber:
        return VString::format("activate preset number %s", number);
    case kDeactivateByName:
        return VString::format("deactivate preset \"%s\"", name);
    case kDeactivateByNumber:
        return VString::format("deactivate preset number %s", number);
    case kActivateThis:
        return isIncoming() ? "on activation of this preset" : "activate this preset";
    case kDeactivateThis:
        return isIncoming() ? "on deactivation this preset" : "deactivate this preset";
    default:
        return VString();
    }
}

VString TTransPresetChangeAction::toString() const {
    VString text = VString::format("%s%02X", kTag, changeType_);
    if (usesNumber(changeType_)) {
        text += presetNumber_.toString();
    } else {
        const bool named = changeType_ == kActivateOnlyByName || changeType_ == kActivateByName ||
                           changeType_ == kDeactivateByName;
        appendTextField(text, named ? presetName_ : VString());
    }
    return text;
}

int TTransPresetChangeAction::fromString(const VString& text) {
    const int changeType = readHexDigits(text, 4, 2);
    if (text.length() < 7 || !text.substring(0, 4).equals(kTag, true) || changeType < 0 ||
        changeType >= kChangeTypeCount)
        throw Vorn::VException(kCorrupt);
    VString name;
    VarOrNumber number;
    int consumed = 0;
    if (usesNumber(changeType)) {
        consumed = number.parse(text, 6);
        if (consumed == 0)
            throw Vorn::VException(kCorrupt);
    } else {
        try {
            consumed = readTextField(text, 6, name);
        } catch (const Vorn::VException&) {
            throw Vorn::VException(kCorrupt);
        }
    }
    changeType_ = changeType;
    presetName_ = name;
    presetNumber_ = number;
    return 6 + consumed;
}

bool TTransPresetChangeAction::matches(TTransEvent& event) {
    const intptr_t wanted = (changeType_ == kActivateByName || changeType_ == kActivateByNumber ||
                             changeType_ == kActivateThis)
                                ? 1
                                : 0;
    if (event.key != wanted)
        return false;
    bool matched = false;
    switch (changeType_) {
    case kActivateByName:
    case kDeactivateByName:
        matched = event.text != nullptr && presetName_.view() == event.text;
        break;
    case kActivateByNumber:
    case kDeactivateByNumber:
        matched = event.presetIndexArg == presetNumber_.currentValue(event.locals, event.globals);
        break;
    case kActivateThis:
    case kDeactivateThis:
        matched = event.presetIndexArg == event.presetIndex;
        break;
    default:
        return false;
    }
    if (matched && event.globals &&
        event.globals->isLogging(TGlobalTranslateParams::kLogIncoming)) {
        VString line = getDescriptionWithDelay();
        if (changeType_ == kActivateThis || changeType_ == kDeactivateThis) {
            line += " (";
            line += event.text ? event.text : "";
            line += ")";
        }
        event.globals->logIncoming(line, event);
    }
    return matched;
}

bool TTransPresetChangeAction::execute(TTransContext& context) {
    const int number =
        usesNumber(changeType_) ? presetNumber_.currentValue(context.locals, context.globals) : 0;
    TEngineEnabledCallback* receiver =
        context.globals ? context.globals->presetChangeReceiver() : nullptr;
    if (!receiver)
        return false;
    if (context.globals->isLogging(TGlobalTranslateParams::kLogOutgoing))
        context.globals->logOutgoing(getDescriptionWithDelay(), kTypePresetChange, context);
    receiver->executePresetChange(this, changeType_, presetName_, number);
    return true;
}

int TTransPresetChangeAction::getType() const {
    return kTypePresetChange;
}

int TTransPresetChangeAction::getExecutionLevel() const {
    return kLevelDispatcherOnly;
}

int TTransPresetChangeAction::getCapabilities() const {
    return kCapabilityIncoming | kCapabilityOutgoing;
}

std::unique_ptr<TTransAction> TTransPresetChangeAction::newInstance() const {
    return std::make_unique<TTransPresetChangeAction>(isIncoming());
}

} // namespace Tr
