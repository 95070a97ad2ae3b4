#pragma once

#include "foundation/VString.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace Vorn {
class XmlElement;
}

namespace Tr {

class MIDIAliasList;

// A named MIDI IN or MIDI OUT port reference, bound to one entry of the MIDI manager or to none.
// Owned by the MIDIAliasManager and never freed while it lives: a deleted alias stays in place
// with type kNone, so lists, routes and indexes that point at it stay valid.
//
// Threads: changed on the host's thread and by the MIDI manager's refresh (under the alias
// manager's lock); MIDI input threads read only type() and deviceSlot().
class MIDIAlias {
public:
    enum Type { kNone = 0, kIn = 1, kOut = 2 };
    enum Flags {
        kReferenced = 0x1, // named by the project (an action or a default list resolved it)
        kInternal = 0x2,   // a device kind's own numbered port; never saved
        kPersistent = 0x4, // kept without a device: "(none persistent)"
        kNewlyBound = 0x8, // bound to an existing port by the last refresh
        kChangeDue = 0x10, // an alias-changed notification is due at the end of the batch
        kNumberedPortMarker = 0x400000, // created for a device kind's numbered port
    };
    static constexpr const char* kNonePersistent = "(none persistent)";

    MIDIAlias(const Vorn::VString& name, int type, int flags = 0);
    MIDIAlias(const MIDIAlias&) = delete;
    MIDIAlias& operator=(const MIDIAlias&) = delete;

    int type() const { return type_.load(std::memory_order_relaxed); }
    bool isIn() const { return type() == kIn; }
    bool isOut() const { return type() == kOut; }
    const Vorn::VString& name() const { return name_; }
    const Vorn::VString& alternateName() const { return alternateName_; }
    const Vorn::VString& deviceName() const { return deviceName_; }
    int flags() const { return flags_; }
    bool hasFlag(int flag) const { return (flags_ & flag) != 0; }
    // Slot of the bound entry in the MIDI manager's table of this direction; -1 = none.
    int deviceSlot() const { return deviceSlot_.load(std::memory_order_acquire); }

    // The name or the non-empty alternate name equals name, ignoring case.
    bool isNamed(const Vorn::VString& name) const;
    // Two aliases of different types whose normalised port names are equal ignoring case.
    bool isInOutPair(const MIDIAlias& other) const;

    // Thru routes from this (input) alias: the OUT aliases its effective routes lead to, set by
    // the router; the list is replaced as a whole, and the old one lives while a holder keeps
    // it. Any thread; the MIDI manager collects them into its entries (MidiManager::
    // routesChanged), so input threads never read them here.
    std::shared_ptr<const MIDIAliasList> thruTargets() const {
        std::lock_guard<std::mutex> hold(thruMutex_);
        return thruTargets_;
    }
    void setThruTargets(std::shared_ptr<const MIDIAliasList> targets) {
        std::lock_guard<std::mutex> hold(thruMutex_);
        thruTargets_ = std::move(targets);
    }

    // The XML form: attributes "Name", "Type" ("in"/"out") and "Device" (the device name, or
    // "(none persistent)" with kPersistent). Reading is MIDIAliasManager::readElement.
    void writeElement(Vorn::XmlElement& element) const;

    // Changed through the alias manager, which notifies its listeners.
    void setName(const Vorn::VString& name) { name_ = name; }
    void setAlternateName(const Vorn::VString& name) { alternateName_ = name; }
    void setDeviceName(const Vorn::VString& name) { deviceName_ = name; }
    void setFlags(int flags) { flags_ = flags; }
    void addFlags(int flags) { flags_ |= flags; }
    void clearFlags(int flags) { flags_ &= ~flags; }
    // One store: a reader sees the old slot or the new one, never an intermediate -1.
    void setDeviceSlot(int slot) { deviceSlot_.store(slot, std::memory_order_release); }
    // Deletion: the object stays, without type, unbound and without routes.
    void clearType();
    // Restores a type (loading a deleted alias's name again).
    void setType(int type) { type_.store(type, std::memory_order_relaxed); }

private:
    std::atomic<int> type_;
    Vorn::VString name_;
    Vorn::VString alternateName_;
    Vorn::VString deviceName_;
    int flags_;
    std::atomic<int> deviceSlot_{-1};
    mutable std::mutex thruMutex_;
    std::shared_ptr<const MIDIAliasList> thruTargets_;
};

} // namespace Tr
