#include "engine/TTransList.h"

#include "engine/ActionTypes.h"
#include "engine/RecordValue.h"
#include "engine/TErrorMessageHandler.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransAction.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"

#include <algorithm>

namespace Tr {

using Vorn::VString;

namespace {

VString indexedKey(const char* key, int n) {
    return VString::format("%s%d", key, n);
}

// Unlocks on every way out of a load, exceptions included.
class WriteLockGuard {
public:
    explicit WriteLockGuard(Vorn::VRWLock* lock) : lock_(lock) {
        if (lock_)
            lock_->lockWrite();
    }
    ~WriteLockGuard() { unlock(); }
    void unlock() {
        if (lock_)
            lock_->unlockWrite();
        lock_ = nullptr;
    }
    WriteLockGuard(const WriteLockGuard&) = delete;
    WriteLockGuard& operator=(const WriteLockGuard&) = delete;

private:
    Vorn::VRWLock* lock_;
};

} // namespace

TTransList::TTransList(TPresetHandler* handler, TGlobalTranslateParams* globals)
    : handler_(handler), globals_(globals   ? globals
                                  : handler ? handler->globals()
                                            : nullptr) {}

TTransList::~TTransList() {
    clearTranslators();
}

VString TTransList::displayName() const {
    return name_.isEmpty() ? VString(kUnnamed) : name_;
}

void TTransList::setActive(bool active) {
    if (isActive() == active)
        return;
    active_.store(active, std::memory_order_relaxed);
    if (handler_)
        handler_->notifyPresetStateChanged(this);
    if (globals_ && globals_->isLogging(TGlobalTranslateParams::kLogMessages))
        globals_->logMessage(VString::format(
            active ? "Activated preset: %s" : "Deactivated preset: %s", name_.c_str()));
    if (handler_ && !handler_->suppressActivationEvents())
        handler_->notifyPresetActivationChanged(this, -1);
}

TTransMsg* TTransList::get(int index) const {
    if (index < 0 || index >= count())
        return nullptr;
    return translators_[static_cast<size_t>(index)];
}

int TTransList::indexOf(const TTransMsg* translator) const {
    auto found = std::find(translators_.begin(), translators_.end(), translator);
    return found == translators_.end() ? -1 : static_cast<int>(found - translators_.begin());
}

TTransMsg* TTransList::addTranslator(TTransMsgPtr translator) {
    return insertTranslator(count(), std::move(translator));
}

TTransMsg* TTransList::insertTranslator(int index, TTransMsgPtr translator) {
    if (!translator)
        return nullptr;
    index = std::clamp(index, 0, count());
    TTransMsg* added = translator.get();
    translators_.insert(translators_.begin() + index, added);
    translator.release();
    added->setPreset(this);
    return added;
}

bool TTransList::moveTranslator(int from, int to) {
    if (from < 0 || from >= count() || to < 0 || to >= count())
        return false;
    auto first = translators_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    return true;
}

TTransMsgPtr TTransList::takeTranslator(int index) {
    TTransMsg* translator = get(index);
    if (!translator)
        return nullptr;
    translators_.erase(translators_.begin() + index);
    translator->setPreset(nullptr);
    return TTransMsgPtr(translator);
}

bool TTransList::deleteTranslator(int index) {
    return takeTranslator(index) != nullptr;
}

bool TTransList::clearTranslators() {
    const bool any = !translators_.empty();
    while (!translators_.empty())
        takeTranslator(count() - 1);
    incomingCount_.fill(0);
    outgoingCount_.fill(0);
    return any;
}

int TTransList::incomingCount(int type) const {
    return type >= 0 && type < kTypeCount ? incomingCount_[static_cast<size_t>(type)] : 0;
}

int TTransList::outgoingCount(int type) const {
    return type >= 0 && type < kTypeCount ? outgoingCount_[static_cast<size_t>(type)] : 0;
}

void TTransList::countAction(const TTransAction* action, bool incoming, int delta) {
    const int type = action->getType();
    if (type < 0 || type >= kTypeCount)
        return;
    (incoming ? incomingCount_ : outgoingCount_)[static_cast<size_t>(type)] += delta;
}

int TTransList::save(TIniFile& file, const VString& section) {
    file.section(section).lines().clear();
    const bool active = isActive();
    activeInFile_ = active;
    file.setValue(section, "Name", encodeRecordValue(name_));
    file.setValue(section, "Active", active ? "1" : "0");
    file.setValue(section, "PresetSwitchIgnore", presetSwitchIgnore_ ? "1" : "0");
    if (!defaultInPorts_.isEmpty())
        file.setValue(section, "DefaultInPorts", encodeRecordValue(defaultInPorts_));
    if (!defaultOutPorts_.isEmpty())
        file.setValue(section, "DefaultOutPorts", encodeRecordValue(defaultOutPorts_));
    int n = 0;
    for (const TTransMsg* translator : translators_) {
        const TTransAction* incoming = translator->incoming();
        const bool knownIncoming = incoming && incoming->getType() != kTypeUnknown;
        if (!knownIncoming && !translator->hasRules() && translator->unparsedOptions().isEmpty())
            continue;
        const TTransAction* outgoing = translator->outgoing();
        file.setValue(section, indexedKey("Name", n), encodeRecordValue(translator->name()));
        file.setValue(section, indexedKey("Incoming", n),
                      encodeRecordValue(incoming ? incoming->toString() : VString()));
        file.setValue(section, indexedKey("Outgoing", n),
                      encodeRecordValue(outgoing ? outgoing->toString() : VString()));
        file.setValue(section, indexedKey("Options", n),
                      encodeRecordValue(translator->optionsToString()));
        ++n;
    }
    return n;
}

int TTransList::load(const TIniFile& file, const VString& section, int fileVersion,
                     bool applyActive, TErrorMessageHandler* errors) {
    WriteLockGuard guard(handler_ ? &handler_->presetLock() : nullptr);
    const bool removed = clearTranslators();
    defaultInPorts_ = VString();
    defaultOutPorts_ = VString();
    if (handler_)
        handler_->setModified(true);

    name_ = file.getValue(section, "Name");
    activeInFile_ = recordBool(file.getValue(section, "Active"));
    presetSwitchIgnore_ = recordBool(file.getValue(section, "PresetSwitchIgnore"));
    if (fileVersion <= 2 && !presetSwitchIgnore_ &&
        (name_ == "(always active)" || name_ == "[always active]"))
        presetSwitchIgnore_ = true;
    defaultInPorts_ = file.getValue(section, "DefaultInPorts");
    defaultOutPorts_ = file.getValue(section, "DefaultOutPorts");

    TLoadingTransListErrorHandler loadingErrors(errors, name_);
    for (int n = 0;; ++n) {
        const VString name = file.getValue(section, indexedKey("Name", n));
        const VString incoming = file.getValue(section, indexedKey("Incoming", n));
        const VString outgoing = file.getValue(section, indexedKey("Outgoing", n));
        const VString options = file.getValue(section, indexedKey("Options", n));
        if (name.isEmpty() && incoming.isEmpty() && outgoing.isEmpty() && options.isEmpty())
            break;
        loadingErrors.setTranslator(n, name);
        TTransMsgPtr translator = makeTranslator();
        try {
            translator->setPreset(this);
            translator->build(name, incoming, outgoing, options, &loadingErrors);
            if (fileVersion == 0) {
                const VString outputOriginalKey = indexedKey("OutputOriginal", n);
                if (file.hasKey(section, outputOriginalKey))
                    translator->setOutputOriginal(
                        recordBool(file.getValue(section, outputOriginalKey)));
                const VString stopKey = indexedKey("Stop", n);
                if (file.hasKey(section, stopKey))
                    translator->setStop(recordBool(file.getValue(section, stopKey)));
            }
            translator->setPreset(nullptr);
            addTranslator(std::move(translator));
        } catch (const std::exception& failure) {
            translator->setPreset(nullptr);
            const auto* engineFailure = dynamic_cast<const Vorn::VException*>(&failure);
            loadingErrors.message(translator.get(), 0,
                                  engineFailure ? engineFailure->message()
                                                : VString(failure.what()));
        }
    }
    const int loaded = count();
    guard.unlock();

    if (removed && handler_)
        handler_->notifyPresetChanged(this);
    if (applyActive) {
        active_.store(false, std::memory_order_relaxed);
        setActive(activeInFile_);
    } else {
        active_.store(activeInFile_, std::memory_order_relaxed);
    }
    return loaded;
}

} // namespace Tr
