#include "engine/TTransMsg.h"

#include "engine/ActionTypes.h"
#include "engine/RecordValue.h"
#include "engine/TActionRegistry.h"
#include "engine/TErrorMessageHandler.h"
#include "engine/TTransAction.h"
#include "engine/TTransContext.h"
#include "engine/TTransList.h"
#include "engine/TTransStepMath.h"
#include "engine/TTransUnknownAction.h"
#include "foundation/TStringList.h"
#include "foundation/VException.h"
#include "foundation/VStringList.h"

namespace Tr {

using Vorn::VString;

namespace {

std::atomic<int> serialCounter{0};

constexpr int kTagLength = 4;
constexpr int kFlagFieldLength = kTagLength + 2;
constexpr int kMinimumDelayFieldLength = kTagLength + 8;

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Two characters as a hexadecimal number: leading blanks skipped, any other non-digit gives 0.
int readFlagValue(const VString& text, int position) {
    int value = 0;
    bool digits = false;
    for (int i = position; i < position + 2; ++i) {
        const char c = text.charAt(i);
        if (!digits && isBlank(c))
            continue;
        const int digit = hexDigit(c);
        if (digit < 0)
            return 0;
        value = value * 16 + digit;
        digits = true;
    }
    return value;
}

void report(TErrorMessageHandler* errors, TTransMsg* translator, const VString& text) {
    if (errors)
        errors->message(translator, 1, text);
}

} // namespace

TTransMsg::TTransMsg() = default;

TTransMsg::~TTransMsg() {
    replaceAction(incoming_, nullptr, true);
    replaceAction(outgoing_, nullptr, false);
    rules_.reset();
}

void TTransMsg::release() {
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) <= 0)
        delete this;
}

void TTransMsg::setPreset(TTransList* preset) {
    countActions(-1);
    preset_ = preset;
    countActions(+1);
}

void TTransMsg::countActions(int delta) const {
    if (!preset_)
        return;
    if (incoming_)
        preset_->countAction(incoming_.get(), true, delta);
    if (outgoing_)
        preset_->countAction(outgoing_.get(), false, delta);
}

void TTransMsg::resetOptions() {
    outputOriginal_ = false;
    stop_ = false;
    setActive(true);
    unparsedOptions_ = VString();
    serial_ = serialCounter.fetch_add(1, std::memory_order_relaxed) + 1;
}

void TTransMsg::replaceAction(std::unique_ptr<TTransAction>& slot,
                              std::unique_ptr<TTransAction> action, bool incoming) {
    if (slot) {
        if (slot->owner()) {
            slot->detach();
            slot->setOwner(nullptr);
        }
        if (preset_)
            preset_->countAction(slot.get(), incoming, -1);
        slot.reset();
    }
    if (!action)
        return;
    if (action->owner() != this) {
        if (action->owner())
            action->detach();
        action->setOwner(this);
        action->attach();
    }
    slot = std::move(action);
    if (preset_)
        preset_->countAction(slot.get(), incoming, +1);
}

void TTransMsg::setIncoming(std::unique_ptr<TTransAction> action) {
    replaceAction(incoming_, std::move(action), true);
}

void TTransMsg::setOutgoing(std::unique_ptr<TTransAction> action) {
    replaceAction(outgoing_, std::move(action), false);
}

void TTransMsg::setRules(std::unique_ptr<TTransStepMath> rules) {
    rules_ = std::move(rules);
}

bool TTransMsg::hasRules() const {
    return rules_ && rules_->hasRules();
}

void TTransMsg::setActions(const VString& incomingText, const VString& outgoingText,
                           TErrorMessageHandler* errors) {
    rules_.reset();
    setIncoming(nullptr);
    setOutgoing(nullptr);
    for (const bool incoming : {true, false}) {
        const VString& text = incoming ? incomingText : outgoingText;
        if (text.isEmpty())
            continue;
        const int capability = incoming ? kCapabilityIncoming : kCapabilityOutgoing;
        std::unique_ptr<TTransAction> action = createAction(text, incoming);
        if (action && (action->getCapabilities() & capability) == 0)
            action.reset();
        TTransAction* installed = nullptr;
        VString failure;
        if (action && action->getType() != kTypeUnknown) {
            installed = action.get();
            install(incoming, std::move(action));
            // The preset counts by type, and the content may decide the type.
            if (preset_)
                preset_->countAction(installed, incoming, -1);
            int consumed = 0;
            try {
                consumed = installed->fromString(text);
            } catch (const Vorn::VException& exception) {
                failure = exception.message();
            }
            if (preset_)
                preset_->countAction(installed, incoming, +1);
            // A form its class cannot read would be lost on the next save: keep it as an
            // unknown action instead.
            if (consumed <= 0) {
                install(incoming, nullptr);
                installed = nullptr;
            }
        }
        if (!installed) {
            if (failure.isEmpty())
                failure = VString::format(incoming ? "Incoming Action corrupt or not supported: %s"
                                                   : "Outgoing Action corrupt or not supported: %s",
                                          text.substring(0, kTagLength).c_str());
            report(errors, this, failure);
            auto unknown = std::make_unique<TTransUnknownAction>(incoming);
            unknown->fromString(text);
            install(incoming, std::move(unknown));
        }
    }
}

void TTransMsg::install(bool incoming, std::unique_ptr<TTransAction> action) {
    replaceAction(incoming ? incoming_ : outgoing_, std::move(action), incoming);
}

void TTransMsg::parseOptions(const VString& text, TErrorMessageHandler* errors) {
    unparsedOptions_ = VString();
    const int length = text.length();
    int position = 0;
    while (position < length) {
        const int remaining = length - position;
        const VString tag = text.substring(position, kTagLength);
        int consumed = 0;
        if (remaining > kTagLength) {
            if (tag == "Actv" || tag == "Stop" || tag == "OutO") {
                if (remaining >= kFlagFieldLength) {
                    const bool value = readFlagValue(text, position + kTagLength) > 0;
                    if (tag == "Actv")
                        setActive(value);
                    else if (tag == "Stop")
                        stop_ = value;
                    else
                        outputOriginal_ = value;
                    consumed = kFlagFieldLength;
                }
            } else if (tag.equals("StMa", true)) {
                const bool created = !rules_;
                if (created)
                    rules_ = std::make_unique<TTransStepMath>();
                try {
                    consumed = rules_->fromStored(text, position);
                } catch (const Vorn::VException&) {
                    if (created)
                        rules_.reset();
                    consumed = 0;
                }
            } else if (tag == "Dlay" && remaining >= kMinimumDelayFieldLength) {
                if (!outgoing_) {
                    report(errors, this,
                           "[internal error] cannot specify delay if no outgoing action is "
                           "defined.");
                    // Keep the rest, so that the fields after it are written back.
                    unparsedOptions_ = text.substring(position);
                    return;
                }
                VarOrNumber delay;
                const int valueLength = delay.parse(text, position + kTagLength);
                const int suffix = position + kTagLength + valueLength;
                if (valueLength > 0) {
                    if (text.substring(suffix, 8) == ":Seconds") {
                        outgoing_->setDelay(kDelaySeconds, delay);
                        consumed = suffix + 8 - position;
                    } else if (text.substring(suffix, 7) == ":Millis") {
                        outgoing_->setDelay(kDelayMillis, delay);
                        consumed = suffix + 7 - position;
                    }
                }
            }
        }
        if (consumed <= 0) {
            unparsedOptions_ = text.substring(position);
            report(errors, this, VString::format("corrupt options: %s", unparsedOptions_.c_str()));
            return;
        }
        position += consumed;
    }
}

VString TTransMsg::optionsToString() const {
    VString text = VString::format("Actv%02XStop%02XOutO%02X", isActive() ? 1 : 0, stop_ ? 1 : 0,
                                   outputOriginal_ ? 1 : 0);
    if (outgoing_ && outgoing_->getType() != kTypeNone &&
        (outgoing_->delayUnit() == kDelaySeconds || outgoing_->delayUnit() == kDelayMillis)) {
        text += "Dlay";
        text += outgoing_->delay().toString();
        text += outgoing_->delayUnit() == kDelaySeconds ? ":Seconds" : ":Millis";
    }
    if (hasRules())
        text += rules_->toStored();
    text += unparsedOptions_;
    return text;
}

void TTransMsg::executeOutgoing(TTransContext& context, uint32_t& flags) {
    TTransAction* action = outgoing_.get();
    if (isActive() && action && action->execute(context))
        flags |= activityOutBit(action->getType());
}

VString TTransMsg::getIncomingDescription() const {
    return incoming_ ? incoming_->getDescription() : VString();
}

VString TTransMsg::getOutgoingDescription() const {
    return outgoing_ ? outgoing_->getDescription() : VString();
}

VString TTransMsg::getOptionsDescription(bool withDisabled, bool withRules) const {
    VString text;
    auto add = [&text](const VString& part) {
        if (part.isEmpty())
            return;
        if (!text.isEmpty())
            text += ',';
        text += part;
    };
    if (stop_)
        add("stop");
    if (withDisabled && !isActive())
        add("disabled");
    if (incoming_ && incoming_->getType() == kTypeMidi && !outputOriginal_)
        add("swallow");
    if (withRules && hasRules())
        add(rules_->getShortDescription());
    return text;
}

VString TTransMsg::getRecordText() const {
    VString text;
    auto line = [&text](const char* key, const VString& value) {
        text += key;
        text += encodeRecordValue(value);
        text += "\r\n";
    };
    line(kRecordName, name_);
    line(kRecordIncoming, incoming_ ? incoming_->toString() : VString());
    line(kRecordOutgoing, outgoing_ ? outgoing_->toString() : VString());
    line(kRecordOptions, optionsToString());
    return text;
}

void TTransMsg::setFromRecordText(const VString& text, TErrorMessageHandler* errors) {
    Vorn::VStringList lines;
    lines.setText(text);
    VString name, incomingText, outgoingText, options;
    for (const VString& line : lines) {
        VString key, value;
        if (!Vorn::TStringList::parseLine(line, key, value))
            continue;
        key += '=';
        if (key == kRecordName)
            name = value;
        else if (key == kRecordIncoming)
            incomingText = value;
        else if (key == kRecordOutgoing)
            outgoingText = value;
        else if (key == kRecordOptions)
            options = value;
    }
    build(name, incomingText, outgoingText, options, errors);
}

void TTransMsg::build(const VString& name, const VString& incomingText, const VString& outgoingText,
                      const VString& options, TErrorMessageHandler* errors) {
    resetOptions();
    setName(name);
    resetOptions();
    setActions(incomingText, outgoingText, errors);
    if (!options.isEmpty())
        parseOptions(options, errors);
}

} // namespace Tr
