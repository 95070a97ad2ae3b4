#include "engine/TPresetHandler.h"

#include "engine/TTransAction.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"

#include <algorithm>

namespace Tr {

using Vorn::VString;

namespace {

// The process-wide listeners: a recursive lock, so a listener may (un)register while called.
struct StaticListeners {
    Vorn::VLock lock;
    std::vector<TProjectRawListener*> listeners;
};

StaticListeners& staticListeners() {
    static StaticListeners instance;
    return instance;
}

class ReadLockGuard {
public:
    explicit ReadLockGuard(Vorn::VRWLock& lock) : lock_(lock) { lock_.lockRead(); }
    ~ReadLockGuard() { lock_.unlockRead(); }
    ReadLockGuard(const ReadLockGuard&) = delete;
    ReadLockGuard& operator=(const ReadLockGuard&) = delete;

private:
    Vorn::VRWLock& lock_;
};

class WriteLockGuard {
public:
    explicit WriteLockGuard(Vorn::VRWLock& lock) : lock_(lock) { lock_.lockWrite(); }
    ~WriteLockGuard() { lock_.unlockWrite(); }
    WriteLockGuard(const WriteLockGuard&) = delete;
    WriteLockGuard& operator=(const WriteLockGuard&) = delete;

private:
    Vorn::VRWLock& lock_;
};

} // namespace

TPresetHandler::TPresetHandler(TGlobalTranslateParams* globals, TProjectRawListener* engineListener)
    : globals_(globals) {
    if (engineListener)
        rawListeners_.push_back(engineListener);
}

TPresetHandler::~TPresetHandler() {
    notify([this](TProjectRawListener* listener) { listener->handlerDestroyed(this); });
    clearPresets();
}

TTransList* TPresetHandler::preset(int index) const {
    if (index < 0 || index >= presetCount())
        return nullptr;
    return presets_[static_cast<size_t>(index)].get();
}

int TPresetHandler::indexOf(const TTransList* preset) const {
    for (size_t i = 0; i < presets_.size(); ++i)
        if (presets_[i].get() == preset)
            return static_cast<int>(i);
    return -1;
}

TTransList* TPresetHandler::addPreset(int index) {
    WriteLockGuard guard(presetLock_);
    index = std::clamp(index, 0, presetCount());
    auto preset = std::make_unique<TTransList>(this, globals_);
    TTransList* added = preset.get();
    presets_.insert(presets_.begin() + index, std::move(preset));
    return added;
}

bool TPresetHandler::deletePreset(int index) {
    WriteLockGuard guard(presetLock_);
    if (index < 0 || index >= presetCount())
        return false;
    presets_.erase(presets_.begin() + index);
    return true;
}

bool TPresetHandler::movePreset(int from, int to) {
    WriteLockGuard guard(presetLock_);
    if (from < 0 || from >= presetCount() || to < 0 || to >= presetCount())
        return false;
    auto first = presets_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    return true;
}

void TPresetHandler::clearPresets() {
    WriteLockGuard guard(presetLock_);
    // Deleted last to first, the way they were built up.
    while (!presets_.empty())
        presets_.pop_back();
}

void TPresetHandler::logMessage(const VString& text) const {
    if (globals_)
        globals_->logMessage(text);
}

int TPresetHandler::findPreset(const VString& name) const {
    for (int i = 0; i < presetCount(); ++i)
        if (presets_[static_cast<size_t>(i)]->name() == name)
            return i;
    if (globals_ && globals_->isLogging(TGlobalTranslateParams::kLogMessages))
        logMessage(VString::format("Cannot find preset named '%s'", name.c_str()));
    return -1;
}

bool TPresetHandler::validatePresetIndex(int index) const {
    if (index >= 0 && index < presetCount())
        return true;
    if (globals_ && globals_->isLogging(TGlobalTranslateParams::kLogMessages))
        logMessage(VString::format("Cannot find preset with index %d", index));
    return false;
}

bool TPresetHandler::activateOnly(int target) {
    ReadLockGuard guard(presetLock_);
    if (target < 0 || target >= presetCount()) {
        if (lastOnlyTargetIgnoresSwitch_.exchange(false, std::memory_order_relaxed))
            notifyPresetStateChanged(nullptr);
        return false;
    }
    for (int i = 0; i < presetCount(); ++i) {
        TTransList* preset = presets_[static_cast<size_t>(i)].get();
        if (i == target) {
            preset->setActive(true);
            lastOnlyTargetIgnoresSwitch_.store(preset->presetSwitchIgnore(),
                                               std::memory_order_relaxed);
            if (preset->presetSwitchIgnore())
                notifyPresetStateChanged(preset);
        } else if (!preset->presetSwitchIgnore()) {
            preset->setActive(false);
        }
    }
    return true;
}

int TPresetHandler::nextTarget(bool forward) const {
    const int count = presetCount();
    int first = -1;
    bool sawActive = false;
    for (int step = 0; step < 2 * count; ++step) {
        const int i = forward ? step % count : count - 1 - step % count;
        const TTransList* preset = presets_[static_cast<size_t>(i)].get();
        if (preset->presetSwitchIgnore())
            continue;
        if (sawActive)
            return i;
        if (first < 0)
            first = i;
        if (preset->isActive())
            sawActive = true;
    }
    return first;
}

bool TPresetHandler::setActiveAt(int index, bool active) {
    TTransList* target = preset(index);
    if (!target)
        return false;
    target->setActive(active);
    return true;
}

int TPresetHandler::ownPresetIndex(TTransAction* action) const {
    const TTransMsg* translator = action ? action->owner() : nullptr;
    return translator ? indexOf(translator->preset()) : -1;
}

void TPresetHandler::executePresetChange(TTransAction* action, int changeType, const VString& name,
                                         int number) {
    ReadLockGuard guard(presetLock_);
    switch (changeType) {
    case kPresetNext:
    case kPresetPrevious: {
        const int target = nextTarget(changeType == kPresetNext);
        if (target >= 0)
            activateOnly(target);
        break;
    }
    case kPresetOnlyByName: {
        const int target = findPreset(name);
        if (target >= 0)
            activateOnly(target);
        break;
    }
    case kPresetOnlyByNumber:
        if (validatePresetIndex(number))
            activateOnly(number);
        break;
    case kPresetActivateByName:
    case kPresetDeactivateByName: {
        const int target = findPreset(name);
        if (target >= 0)
            setActiveAt(target, changeType == kPresetActivateByName);
        break;
    }
    case kPresetActivateByNumber:
    case kPresetDeactivateByNumber:
        if (validatePresetIndex(number))
            setActiveAt(number, changeType == kPresetActivateByNumber);
        break;
    case kPresetActivateOwn:
    case kPresetDeactivateOwn:
        setActiveAt(ownPresetIndex(action), changeType == kPresetActivateOwn);
        break;
    default:
        break;
    }
}

void TPresetHandler::addRawListener(TProjectRawListener* listener) {
    if (listener &&
        std::find(rawListeners_.begin(), rawListeners_.end(), listener) == rawListeners_.end())
        rawListeners_.push_back(listener);
}

void TPresetHandler::removeRawListener(TProjectRawListener* listener) {
    rawListeners_.erase(std::remove(rawListeners_.begin(), rawListeners_.end(), listener),
                        rawListeners_.end());
}

void TPresetHandler::addStaticListener(TProjectRawListener* listener) {
    StaticListeners& all = staticListeners();
    Vorn::ScopedLock guard(&all.lock);
    if (listener &&
        std::find(all.listeners.begin(), all.listeners.end(), listener) == all.listeners.end())
        all.listeners.push_back(listener);
}

void TPresetHandler::removeStaticListener(TProjectRawListener* listener) {
    StaticListeners& all = staticListeners();
    Vorn::ScopedLock guard(&all.lock);
    all.listeners.erase(std::remove(all.listeners.begin(), all.listeners.end(), listener),
                        all.listeners.end());
}

template <class Call> void TPresetHandler::notify(Call call) {
    if (suspendCount() > 0)
        return;
    // By index: a listener may register or remove listeners while it is called.
    for (size_t i = 0; i < rawListeners_.size(); ++i)
        call(rawListeners_[i]);
    StaticListeners& all = staticListeners();
    Vorn::ScopedLock guard(&all.lock);
    for (size_t i = 0; i < all.listeners.size(); ++i)
        call(all.listeners[i]);
}

void TPresetHandler::beginSuspend() {
    ++suspendCount_;
}

void TPresetHandler::endSuspend() {
    int count = suspendCount_.load(std::memory_order_relaxed);
    do {
        if (count <= 0)
            return;
    } while (!suspendCount_.compare_exchange_weak(count, count - 1, std::memory_order_relaxed));
    if (count > 1)
        return;
    notify([this](TProjectRawListener* listener) { listener->suspendEnded(this); });
    notifyPresetListChanged();
}

void TPresetHandler::notifyProjectOpened() {
    notify([this](TProjectRawListener* listener) { listener->projectOpened(this); });
}

void TPresetHandler::notifyProjectReset() {
    notify([this](TProjectRawListener* listener) { listener->projectReset(this); });
}

void TPresetHandler::notifyPresetListChanged() {
    notify([this](TProjectRawListener* listener) { listener->presetListChanged(this); });
}

void TPresetHandler::notifyPresetActivationChanged(TTransList* preset, int index) {
    if (index < 0)
        index = indexOf(preset);
    notify([&](TProjectRawListener* listener) {
        listener->presetActivationChanged(this, preset, index);
    });
}

void TPresetHandler::notifyPresetStateChanged(TTransList* preset) {
    notify([&](TProjectRawListener* listener) { listener->presetStateChanged(this, preset); });
}

void TPresetHandler::notifyPresetChanged(TTransList* preset) {
    notify([&](TProjectRawListener* listener) { listener->presetChanged(this, preset); });
}

void TPresetHandler::notifyTranslatorChanged(TTransList* preset, TTransMsg* translator) {
    notify([&](TProjectRawListener* listener) {
        listener->translatorChanged(this, preset, translator);
    });
}

} // namespace Tr
