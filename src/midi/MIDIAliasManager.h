#pragma once

#include "foundation/AutoDelete.h"
#include "foundation/VList.h"
#include "foundation/VLock.h"
#include "foundation/VOwnedList.h"
#include "foundation/VString.h"
#include "midi/MIDIAlias.h"

#include <utility>
#include <vector>

namespace Vorn {
class ErrorMessageCallback;
class XmlElement;
} // namespace Vorn

namespace Tr {

class MIDIAliasList;
class MidiManager;
class TIniFile;

// Owns every MIDI alias (in creation order; deleted aliases stay in place without type), finds
// and creates them by name, binds them, keeps them in the settings section "MIDI.alias" and
// tells its listeners about changes.
//
// One current instance: instance() creates the process-wide one on first use; an alias manager
// constructed directly (tests) is the current one until it is destroyed.
//
// Threads: the host's thread and the MIDI manager's refresh; every operation takes the alias
// manager's lock. Listeners are called on the changing thread without it (the MIDI manager's
// lock is always taken before this one), so a listener may call back in.
class MIDIAliasManager : public Vorn::AutoDelete {
public:
    class Listener {
    public:
        virtual ~Listener();
        virtual void aliasListChanged() {}
        virtual void aliasChanged(MIDIAlias* /*alias*/) {}
    };

    static constexpr const char* kSection = "MIDI.alias";

    static MIDIAliasManager* instance();

    MIDIAliasManager();
    ~MIDIAliasManager() override;

    Vorn::VLock& lock() { return lock_; }

    // An alias of that type whose name or non-empty alternate name equals name ignoring case.
    // Missing and create: a new alias with that name, type and flags (created without flags when
    // flags is negative). With create and negative flags the alias found or created is marked
    // referenced (0x1). Type kNone and an empty name never find nor create anything.
    MIDIAlias* getAlias(const Vorn::VString& name, int type, bool create, int flags);
    // Every alias of that type whose deviceName equals displayName ignoring case.
    void aliasesOfDevice(const Vorn::VString& displayName, int type, MIDIAliasList& list);

    // The aliases with a type, in creation order (what the host lists and indexes).
    int count();
    MIDIAlias* get(int index);
    int indexOf(const MIDIAlias* alias);
    // Every alias object, deleted ones included.
    const Vorn::VOwnedList<MIDIAlias>& all() const { return aliases_; }

    // False for internal aliases (0x2), an empty name or a name taken by another alias of the
    // same type.
    bool rename(MIDIAlias* alias, const Vorn::VString& name);
    // The alias loses its type and binding but stays in place.
    void remove(MIDIAlias* alias);
    void setFlags(MIDIAlias* alias, int flags);
    // Binds to a port by display name (not internal aliases); the slot follows at once from the
    // MIDI manager when one is current.
    bool setDevice(MIDIAlias* alias, const Vorn::VString& deviceName);
    // Binds to the port of another alias.
    bool setDeviceOf(MIDIAlias* alias, const MIDIAlias* other);

    // Binds to the ports the MIDI manager knows: gives every alias of a direction the slot of
    // the entry whose display name equals its deviceName (-1 for none), each in one store.
    // slotOf(displayName, isInput) returns the entry slot or -1.
    template <class SlotOf> void bindSlots(SlotOf&& slotOf);
    // After a device-list refresh: every known port (display name, direction) gets an alias of
    // its own name bound to it (flag 0x8 when newly bound), then alternate names are recomputed.
    void aliasesForPorts(const std::vector<std::pair<Vorn::VString, bool>>& ports);

    // Numbered aliases of a device kind's own ports ("<prefix> <n>", n from 1, both directions,
    // marked 0x400002). Aliases of that form beyond the port count are deleted unless referenced
    // (then they stay, marked internal); finally the marker is cleared from all aliases.
    void updateNumberedAliases(const Vorn::VString& prefix, int portCount);

    // Product-name pairs (current, older); a pair of two non-empty names recomputes the
    // alternate names.
    void addProductNamePair(const Vorn::VString& current, const Vorn::VString& older);
    void recomputeAlternateNames();

    // Listener notifications, held back while a batch is open.
    void addListener(Listener* listener);
    void removeListener(Listener* listener);
    void beginBatch();
    void endBatch();
    void notifyListChanged();
    void notifyAliasChanged(MIDIAlias* alias);

    // The settings section. Loading only happens while the settings switch is on (default on).
    void setLoadSettings(bool on) { loadSettings_ = on; }
    bool settingsLoaded() const { return settingsLoaded_; }
    // An alias whose name equals its device name is saved only while the manager's entry of
    // that port is pending or open; without a manager every such alias is saved.
    void save(TIniFile& ini, MidiManager* manager = nullptr);
    void load(const TIniFile& ini);

    // The XML form of one alias (MIDIAlias::writeElement): finds or creates the alias by name and
    // type (referenced), and binds it to "Device" when the alias has no device yet. Reports
    // "Alias does not define a name in XML." or "Alias %s: does not define alias type in XML."
    // to errors (or the error callbacks) and returns null.
    MIDIAlias* readElement(const Vorn::XmlElement& element, Vorn::ErrorMessageCallback* errors);

private:
    MIDIAlias* find(const Vorn::VString& name, int type) const;
    void sendListChanged();

    Vorn::VLock lock_;
    Vorn::VOwnedList<MIDIAlias> aliases_;
    int batch_ = 0;
    bool listChangeDue_ = false;
    Vorn::VList<Listener*> listeners_;
    std::vector<std::pair<Vorn::VString, Vorn::VString>> productNames_;
    bool loadSettings_ = true;
    bool settingsLoaded_ = false;
    MIDIAliasManager* previous_ = nullptr;
};

template <class SlotOf> void MIDIAliasManager::bindSlots(SlotOf&& slotOf) {
    Vorn::ScopedLock hold(&lock_);
    for (MIDIAlias* alias : aliases_) {
        const int type = alias->type();
        const int slot = type == 0 || alias->deviceName().isEmpty()
                             ? -1
                             : slotOf(alias->deviceName(), type == 1);
        if (alias->deviceSlot() != slot)
            alias->setDeviceSlot(slot);
    }
}

} // namespace Tr
