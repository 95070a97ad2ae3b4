#include "engine/TGlobalTranslateParams.h"

#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"

namespace Tr {

namespace {
constexpr int kLogKindCount = 4;
bool isLogKind(int kind) {
    return kind >= 0 && kind < kLogKindCount;
}
} // namespace

TGlobalTranslateParams::TGlobalTranslateParams() = default;
TGlobalTranslateParams::~TGlobalTranslateParams() = default;

void TGlobalTranslateParams::setProcessingEnabled(int enabled) {
    Vorn::ScopedLock hold(&enabledLock_);
    if (processingEnabled_.exchange(enabled, std::memory_order_relaxed) == enabled)
        return;
    // Index walk: a listener may (un)register from inside the call (the lock is recursive).
    for (int i = 0; i < enabledListeners_.count(); ++i)
        enabledListeners_.get(i)->processingEnabledChanged(enabled);
}

void TGlobalTranslateParams::addEnabledListener(TEngineEnabledListener* listener) {
    Vorn::ScopedLock hold(&enabledLock_);
    if (listener != nullptr)
        enabledListeners_.addUnique(listener);
}

void TGlobalTranslateParams::removeEnabledListener(TEngineEnabledListener* listener) {
    Vorn::ScopedLock hold(&enabledLock_);
    enabledListeners_.remove(listener);
}

int TGlobalTranslateParams::logSwitch(int kind) const {
    return isLogKind(kind) ? logSwitches_[kind].load(std::memory_order_relaxed) : 0;
}

void TGlobalTranslateParams::setLogSwitch(int kind, int on) {
    if (isLogKind(kind))
        logSwitches_[kind].store(on != 0 ? 1 : 0, std::memory_order_relaxed);
}

void TGlobalTranslateParams::addActivity(uint32_t flags) const {
    if (flags == 0)
        return;
    if (TShowEventsListener* listener = activityListener())
        listener->addActivity(flags);
}

void TGlobalTranslateParams::logMessage(const Vorn::VString& text) const {
    if (logSwitch(kLogMessages) == 0)
        return;
    if (TLogListener* listener = logListener())
        listener->logMessage(text);
}

void TGlobalTranslateParams::logIncoming(const Vorn::VString& text,
                                         const TTransEvent& event) const {
    if (logSwitch(kLogIncoming) == 0)
        return;
    if (TLogListener* listener = logListener())
        listener->logIncoming(text, event.type, event.presetIndex, event.translatorIndex);
}

void TGlobalTranslateParams::logOutgoing(const Vorn::VString& text, int value,
                                         const TTransContext& context) const {
    if (logSwitch(kLogOutgoing) == 0)
        return;
    if (TLogListener* listener = logListener())
        listener->logOutgoing(text, value, context.presetIndex, context.translatorIndex);
}

void TGlobalTranslateParams::logRule(const Vorn::VString& text, int ruleIndex,
                                     const TTransEvent& event) const {
    if (logSwitch(kLogRules) == 0)
        return;
    if (TLogListener* listener = logListener())
        listener->logRule(text, ruleIndex, event.presetIndex, event.translatorIndex);
}

void TGlobalTranslateParams::setPresetHandler(TPresetHandler* handler) {
    TPresetHandler* expected = nullptr;
    presetHandler_.compare_exchange_strong(expected, handler, std::memory_order_acq_rel);
}

void TGlobalTranslateParams::setEngine(TTransEngine* engine) {
    TTransEngine* expected = nullptr;
    engine_.compare_exchange_strong(expected, engine, std::memory_order_acq_rel);
}

int32_t TGlobalTranslateParams::getVariable(int index, const int32_t* locals) const {
    if (index >= 0 && index < kFirstGlobalVariable)
        return locals != nullptr ? locals[index] : 0;
    return globalVariable(index - kFirstGlobalVariable);
}

void TGlobalTranslateParams::setVariable(int index, int32_t value, int32_t* locals) {
    if (index >= 0 && index < kFirstGlobalVariable) {
        if (locals != nullptr)
            locals[index] = value;
        return;
    }
    setGlobalVariable(index - kFirstGlobalVariable, value);
}

int32_t TGlobalTranslateParams::globalVariable(int globalIndex) const {
    if (globalIndex < 0 || globalIndex >= kGlobalVariableCount)
        return 0;
    return globalVariables_[globalIndex].load(std::memory_order_relaxed);
}

void TGlobalTranslateParams::setGlobalVariable(int globalIndex, int32_t value) {
    if (globalIndex >= 0 && globalIndex < kGlobalVariableCount)
        globalVariables_[globalIndex].store(value, std::memory_order_relaxed);
}

void TGlobalTranslateParams::clearGlobalVariables() {
    for (std::atomic<int32_t>& variable : globalVariables_)
        variable.store(0, std::memory_order_relaxed);
}

} // namespace Tr
