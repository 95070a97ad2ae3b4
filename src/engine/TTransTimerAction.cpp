#include "engine/TTransTimerAction.h"

#include "engine/ActionFields.h"
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTTManager.h"
#include "engine/TTransContext.h"
#include "engine/TTransEngine.h"
#include "engine/TTransEvent.h"
#include "foundation/VException.h"

namespace Tr {

using Vorn::VString;

namespace {

constexpr int kTagLength = 4;
constexpr int kMinimumLength = 9;
constexpr const char* kKillForm = "TimK";
constexpr const char* kIncomingForm = "TimT";
constexpr const char* kStartForm = "TimS";
constexpr const char* kCorrupt = "Corrupt timer configuration.";

[[noreturn]] void corrupt() {
    throw Vorn::VException(kCorrupt);
}

bool startsWith(const VString& text, int position, const char* form) {
    return text.view().substr(position, kTagLength) == form;
}

// A text field; a field too short for its length is corrupt.
int readName(const VString& text, int position, VString& name) {
    try {
        return readTextField(text, position, name);
    } catch (const Vorn::VException&) {
        corrupt();
    }
}

int readValue(const VString& text, int position, VarOrNumber& value) {
    const int used = value.parse(text, position);
    if (used == 0)
        corrupt();
    return used;
}

void expectColon(const VString& text, int position) {
    if (position >= text.length() || text.view()[position] != ':')
        corrupt();
}

int readOldHex(const VString& text, int position) {
    const int value = readHexDigits(text, position, 4);
    if (value < 0)
        corrupt();
    return value;
}

} // namespace

TTransTimerAction::TTransTimerAction(bool incoming)
    : TTransAction(incoming), timerMode_(incoming ? kIncoming : kStart) {}

void TTransTimerAction::setTimerName(const VString& name) {
    timerName_ = name;
    timerId_ = TTTManager::instance().idForName(name, true);
}

void TTransTimerAction::setTimes(VarOrNumber initialDelay, VarOrNumber period,
                                 VarOrNumber repeatCount) {
    initialDelay_ = initialDelay;
    period_ = period;
    repeatCount_ = repeatCount;
}

void TTransTimerAction::assign(const TTransAction& other) {
    const auto* timer = dynamic_cast<const TTransTimerAction*>(&other);
    if (!timer)
        return;
    timerName_ = timer->timerName_;
    timerId_ = timer->timerId_;
    initialDelay_ = timer->initialDelay_;
    period_ = timer->period_;
    repeatCount_ = timer->repeatCount_;
    timerMode_ = timer->timerMode_;
}

VString TTransTimerAction::getDescription() const {
    const std::string name(timerName_.view());
    switch (timerMode_) {
    case kKill:
        return VString::format("Kill timer \"%s\"", name.c_str());
    case kIncoming:
        return VString::format("On timer \"%s\"", name.c_str());
    default:
        break;
    }
    const std::string delay(initialDelay_.toString().view());
    const std::string period(period_.toString().view());
    if (!repeatCount_.isVariable && repeatCount_.value < 1)
        return VString::format("Periodic timer \"%s\": %s ms (initial delay: %s ms)", name.c_str(),
                               period.c_str(), delay.c_str());
    if (!repeatCount_.isVariable && repeatCount_.value == 1)
        return VString::format("One-shot timer \"%s\": %s ms delay", name.c_str(), delay.c_str());
    const std::string count(repeatCount_.toString().view());
    return VString::format("Timer %s times \"%s\": %s ms (initial delay: %s ms)", count.c_str(),
                           name.c_str(), period.c_str(), delay.c_str());
}

VString TTransTimerAction::toString() const {
    VString text(kTag);
    if (timerMode_ == kKill || timerMode_ == kIncoming) {
        text += timerMode_ == kKill ? kKillForm : kIncomingForm;
        appendTextField(text, timerName_);
        return text;
    }
    text += kStartForm;
    appendTextField(text, timerName_);
    text += repeatCount_.toString();
    text += ":";
    text += initialDelay_.toString();
    text += ":";
    text += period_.toString();
    return text;
}

int TTransTimerAction::fromString(const VString& text) {
    if (text.length() < kMinimumLength || !startsWith(text, 0, kTag))
        corrupt();
    VString name;
    int position = kTagLength;
    int mode = kStart;
    VarOrNumber count;
    VarOrNumber delay;
    VarOrNumber period;
    if (startsWith(text, position, kKillForm) || startsWith(text, position, kIncomingForm)) {
        mode = startsWith(text, position, kKillForm) ? kKill : kIncoming;
        position += readName(text, position + kTagLength, name) + kTagLength;
    } else if (startsWith(text, position, kStartForm)) {
        position += kTagLength;
        position += readName(text, position, name);
        position += readValue(text, position, count);
        expectColon(text, position++);
        position += readValue(text, position, delay);
        expectColon(text, position++);
        position += readValue(text, position, period);
    } else {
        // The older form: three constants of four hexadecimal digits.
        position += readName(text, position, name);
        count = VarOrNumber::number(readOldHex(text, position));
        delay = VarOrNumber::number(readOldHex(text, position + 4));
        period = VarOrNumber::number(readOldHex(text, position + 8));
        position += 12;
    }
    timerMode_ = mode;
    if (mode == kStart)
        setTimes(delay, period, count);
    setTimerName(name);
    return position;
}

bool TTransTimerAction::matches(TTransEvent& event) {
    if (event.key != timerId_)
        return false;
    if (event.globals && event.globals->isLogging(TGlobalTranslateParams::kLogIncoming))
        event.globals->logIncoming(getDescriptionWithDelay(), event);
    return true;
}

void TTransTimerAction::killTimer(TTTManager& manager, TTransContext& context) {
    manager.killId(timerId_);
    // Whichever action posted them, this timer's queued immediate firings go too.
    if (context.globals && context.globals->engine())
        context.globals->engine()->dispatcher().cancelEvents(kTypeTimer, timerId_);
}

bool TTransTimerAction::execute(TTransContext& context) {
    if (timerMode_ != kStart && timerMode_ != kKill)
        return false;
    TTTManager& manager = TTTManager::instance();
    if (timerMode_ == kKill) {
        killTimer(manager, context);
    } else {
        TTransEngine* engine = context.globals ? context.globals->engine() : nullptr;
        const bool immediate = !repeatCount_.isVariable && repeatCount_.value == 1 &&
                               !initialDelay_.isVariable && initialDelay_.value == 0;
        if (immediate)
            killTimer(manager, context);
        if (immediate && engine &&
            engine->dispatcher().getQueueFillPercent() <= kMaxImmediateFillPercent) {
            TTransEvent event;
            event.clear();
            event.type = kTypeTimer;
            event.level = kLevelInput;
            event.key = timerId_;
            engine->dispatcher().postIncoming(event);
        } else {
            manager.startAction(*this, context.locals, context.globals);
        }
    }
    if (context.globals && context.globals->isLogging(TGlobalTranslateParams::kLogOutgoing))
        context.globals->logOutgoing(getDescriptionWithDelay(), kTypeTimer, context);
    return true;
}

int TTransTimerAction::getType() const {
    return kTypeTimer;
}

int TTransTimerAction::getExecutionLevel() const {
    return kLevelDispatcher;
}

int TTransTimerAction::getCapabilities() const {
    return kCapabilityIncoming | kCapabilityOutgoing;
}

std::unique_ptr<TTransAction> TTransTimerAction::newInstance() const {
    return std::make_unique<TTransTimerAction>(isIncoming());
}

} // namespace Tr
