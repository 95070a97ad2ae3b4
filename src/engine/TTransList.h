#pragma once

#include "engine/TTransMsg.h"
#include "foundation/VRWLock.h"
#include "foundation/VString.h"

#include <array>
#include <atomic>
#include <vector>

namespace Tr {

class TErrorMessageHandler;
class TGlobalTranslateParams;
class TIniFile;
class TPresetHandler;
class TTransAction;

// A preset: a named, switchable, ordered list of translators that it owns (it holds one
// reference to each and releases it on removal).
//
// Threads: the translator list, names, flags and counts change only under the handler's
// preset lock held exclusively; event threads read them under the lock held shared. The active
// flag is atomic, as preset changes switch it while events are matched.
class TTransList {
public:
    explicit TTransList(TPresetHandler* handler = nullptr,
                        TGlobalTranslateParams* globals = nullptr);
    virtual ~TTransList();
    TTransList(const TTransList&) = delete;
    TTransList& operator=(const TTransList&) = delete;

    TPresetHandler* handler() const { return handler_; }
    TGlobalTranslateParams* globals() const { return globals_; }

    const Vorn::VString& name() const { return name_; }
    void setName(const Vorn::VString& name) { name_ = name; }
    // The name, or "(unnamed)".
    Vorn::VString displayName() const;
    static constexpr const char* kUnnamed = "(unnamed)";

    bool isActive() const { return active_.load(std::memory_order_relaxed); }
    // Fires the state and activation notifications and logs the change; nothing when unchanged.
    void setActive(bool active);
    bool presetSwitchIgnore() const { return presetSwitchIgnore_; }
    void setPresetSwitchIgnore(bool value) { presetSwitchIgnore_ = value; }
    bool activeInFile() const { return activeInFile_; }

    // The default MIDI ports in their stored text form (empty: none).
    const Vorn::VString& defaultInPorts() const { return defaultInPorts_; }
    void setDefaultInPorts(const Vorn::VString& text) { defaultInPorts_ = text; }
    const Vorn::VString& defaultOutPorts() const { return defaultOutPorts_; }
    void setDefaultOutPorts(const Vorn::VString& text) { defaultOutPorts_ = text; }

    Vorn::VRWLock& lock() { return lock_; }

    int count() const { return static_cast<int>(translators_.size()); }
    // Null for an index out of range.
    TTransMsg* get(int index) const;
    int indexOf(const TTransMsg* translator) const;
    // The preset takes the owner's reference; insert clamps the index to 0..count.
    TTransMsg* addTranslator(TTransMsgPtr translator);
    TTransMsg* insertTranslator(int index, TTransMsgPtr translator);
    // Moves the translator at from so that it ends up at index to; false for a bad index.
    bool moveTranslator(int from, int to);
    // Removes the translator at index and releases the preset's reference.
    bool deleteTranslator(int index);
    // Removes the translator without releasing it; the caller takes over the reference.
    TTransMsgPtr takeTranslator(int index);
    // Removes every translator; returns whether there was any.
    bool clearTranslators();

    // How many translators have an incoming (outgoing) action of each type code.
    int incomingCount(int type) const;
    int outgoingCount(int type) const;
    // Kept exact by the translators: delta +1 when an action joins, -1 when it leaves.
    void countAction(const TTransAction* action, bool incoming, int delta);

    // Writes the preset record into section (cleared first); returns the translators written.
    int save(TIniFile& file, const Vorn::VString& section);
    // Replaces the preset's contents with the record of section; one translator that cannot be
    // built is reported through errors (may be null) and skipped. Returns the translator count.
    int load(const TIniFile& file, const Vorn::VString& section, int fileVersion, bool applyActive,
             TErrorMessageHandler* errors);

    static constexpr int kTypeCount = 17;

private:
    TPresetHandler* handler_;
    std::vector<TTransMsg*> translators_; // each holds the preset's reference
    Vorn::VString name_;
    std::atomic<bool> active_{true};
    TGlobalTranslateParams* globals_;
    Vorn::VString defaultInPorts_;
    Vorn::VString defaultOutPorts_;
    bool presetSwitchIgnore_ = false;
    bool activeInFile_ = false;
    Vorn::VRWLock lock_;
    std::array<int, kTypeCount> incomingCount_{};
    std::array<int, kTypeCount> outgoingCount_{};
};

} // namespace Tr
