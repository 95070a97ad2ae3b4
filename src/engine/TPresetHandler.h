#pragma once

#include "engine/TGlobalTranslateParams.h"
#include "engine/TProjectRawListener.h"
#include "foundation/VLock.h"
#include "foundation/VRWLock.h"
#include "foundation/VString.h"

#include <atomic>
#include <memory>
#include <vector>

namespace Tr {

class TTransAction;
class TTransList;

// Preset change request codes of the preset change action.
enum TPresetChangeRequest {
    kPresetNext = 0,
    kPresetPrevious = 1,
    kPresetOnlyByName = 2,
    kPresetOnlyByNumber = 3,
    kPresetActivateByName = 4,
    kPresetActivateByNumber = 5,
    kPresetDeactivateByName = 6,
    kPresetDeactivateByNumber = 7,
    kPresetActivateOwn = 8,   // the preset that owns the requesting action's translator
    kPresetDeactivateOwn = 9, // likewise
};

// The project container: the ordered presets, the lock that guards them, the preset switching
// requests and the project notifications.
//
// Locking: presetLock() is taken shared by every event being matched and exclusively by every
// edit of presets and translators (re-entrant for the writing thread, which may also read).
// Preset change requests and activateOnly take it shared themselves: only activation flags
// change, and they are atomic. Notifications run on the calling thread.
class TPresetHandler : public TEngineEnabledCallback {
public:
    // engineListener (may be null) is registered first among the raw listeners.
    explicit TPresetHandler(TGlobalTranslateParams* globals,
                            TProjectRawListener* engineListener = nullptr);
    ~TPresetHandler() override; // fires handlerDestroyed, then deletes the presets
    TPresetHandler(const TPresetHandler&) = delete;
    TPresetHandler& operator=(const TPresetHandler&) = delete;

    TGlobalTranslateParams* globals() const { return globals_; }
    Vorn::VRWLock& presetLock() { return presetLock_; }
    Vorn::VLock& lock() { return lock_; }

    // Read under presetLock (shared or exclusive).
    int presetCount() const { return static_cast<int>(presets_.size()); }
    TTransList* preset(int index) const; // null out of range
    int indexOf(const TTransList* preset) const;

    // Creates a preset at index (negative: 0, beyond the end: appended), under the lock.
    TTransList* addPreset(int index);
    // Removes and deletes the preset at index, under the lock; false for a bad index.
    bool deletePreset(int index);
    bool movePreset(int from, int to);
    // Deletes every preset, under the lock.
    void clearPresets();

    // -1 when there is none (logged when messages are logged). Call under presetLock.
    int findPreset(const Vorn::VString& name) const;
    bool validatePresetIndex(int index) const;

    // Activates target and deactivates every other preset that does not ignore switching;
    // -1 only clears the last target's ignore flag. Returns whether target existed.
    bool activateOnly(int target);
    // The preset change request of a preset change action (codes TPresetChangeRequest).
    void executePresetChange(TTransAction* action, int changeType, const Vorn::VString& name,
                             int number) override;
    bool lastOnlyTargetIgnoresSwitch() const {
        return lastOnlyTargetIgnoresSwitch_.load(std::memory_order_relaxed);
    }

    // Register and remove listeners while no notification can run (set-up and tear-down).
    void addRawListener(TProjectRawListener* listener);
    void removeRawListener(TProjectRawListener* listener);
    // Listeners of every handler in the process, called after each handler's own listeners.
    static void addStaticListener(TProjectRawListener* listener);
    static void removeStaticListener(TProjectRawListener* listener);

    // Notifications are suppressed while suspended; the last endSuspend fires 3, then 4.
    void beginSuspend();
    void endSuspend();
    int suspendCount() const { return suspendCount_.load(std::memory_order_relaxed); }

    void notifyProjectOpened();
    void notifyProjectReset();
    void notifyPresetListChanged();
    void notifyPresetActivationChanged(TTransList* preset, int index); // -1: looked up
    void notifyPresetStateChanged(TTransList* preset);
    void notifyPresetChanged(TTransList* preset);
    void notifyTranslatorChanged(TTransList* preset, TTransMsg* translator);

    bool isModified() const { return modified_.load(std::memory_order_relaxed); }
    void setModified(bool value) { modified_.store(value, std::memory_order_relaxed); }
    bool suppressActivationEvents() const {
        return suppressActivationEvents_.load(std::memory_order_relaxed);
    }
    void setSuppressActivationEvents(bool value) {
        suppressActivationEvents_.store(value, std::memory_order_relaxed);
    }

    // Project-level default ports in their stored text form, used when a preset names none.
    const Vorn::VString& defaultInPorts() const { return defaultInPorts_; }
    void setDefaultInPorts(const Vorn::VString& text) { defaultInPorts_ = text; }
    const Vorn::VString& defaultOutPorts() const { return defaultOutPorts_; }
    void setDefaultOutPorts(const Vorn::VString& text) { defaultOutPorts_ = text; }

private:
    template <class Call> void notify(Call call);
    int nextTarget(bool forward) const;
    bool setActiveAt(int index, bool active);
    int ownPresetIndex(TTransAction* action) const;
    void logMessage(const Vorn::VString& text) const;

    TGlobalTranslateParams* globals_;
    Vorn::VLock lock_;
    Vorn::VRWLock presetLock_;
    std::vector<std::unique_ptr<TTransList>> presets_;
    std::atomic<int> suspendCount_{0};
    std::atomic<bool> lastOnlyTargetIgnoresSwitch_{false};
    std::vector<TProjectRawListener*> rawListeners_;
    Vorn::VString defaultInPorts_;
    Vorn::VString defaultOutPorts_;
    std::atomic<bool> modified_{true};
    std::atomic<bool> suppressActivationEvents_{false};
};

} // namespace Tr
