#pragma once

#include "foundation/VRWLock.h"
#include "foundation/VString.h"
#include "midi/MIDIAliasList.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiInputBase.h"
#include "midi/MidiSnapshot.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Tr {

class MidiDeviceBase;
class MidiDeviceFactory;
class MidiManagerDataListener;
class MidiOutputBase;
class TIniFile;

// One named port of the MIDI manager's tables: open, pending (wanted but not open) or closed.
// Entries are never removed while the manager lives, so a slot stays valid.
//
// Threads: state changes under the manager's lock on the host, timer and refresh threads. The
// input and output paths read device() while holding deviceLock() for reading (only tried);
// whoever creates, opens, closes or drops the device holds it for writing.
class MidiManagerDev {
public:
    MidiManagerDev(int slot, bool isInput, const Vorn::VString& displayName, uint32_t typeCode);
    virtual ~MidiManagerDev();
    MidiManagerDev(const MidiManagerDev&) = delete;
    MidiManagerDev& operator=(const MidiManagerDev&) = delete;

    int slot() const { return slot_; }
    bool isInput() const { return isInput_; }
    const Vorn::VString& displayName() const { return displayName_; }
    // The kind's type code; 0 = any kind.
    uint32_t typeCode() const { return typeCode_; }
    void setTypeCode(uint32_t code) { typeCode_ = code; }
    // The port as last enumerated (null before it was ever seen).
    const MidiDeviceDescriptor* descriptor() const { return descriptor_.get(); }
    void setDescriptor(const MidiDeviceDescriptor& descriptor) { descriptor_ = descriptor.clone(); }

    bool isPending() const { return pending_.load(); }
    void setPending(bool pending) { pending_.store(pending); }
    bool isPresent() const { return present_.load(); }
    void setPresent(bool present) { present_.store(present); }
    bool isReported() const { return reported_.load(); }
    void setReported(bool reported) { reported_.store(reported); }
    const Vorn::VString& lastError() const { return lastError_; }
    void setLastError(const Vorn::VString& text) { lastError_ = text; }

    MidiDeviceBase* device() const { return device_.get(); }
    bool isOpen() const;
    virtual bool isPendingOrOpen() const { return isPending() || isOpen(); }
    Vorn::VRWLock& deviceLock() { return deviceLock_; }
    // Creates the device through the kind when there is none; false when it cannot be made.
    // Hold deviceLock() for writing.
    virtual bool createDevice(MidiDeviceFactory& factory, MidiInputBase::DataListener* listener);
    // Closes and deletes the device. Hold deviceLock() for writing.
    void dropDevice();

    // Traffic since the last statistics line.
    void countBytes(int n) { bytes_.fetch_add(n, std::memory_order_relaxed); }
    int64_t takeByteCount() { return bytes_.exchange(0, std::memory_order_relaxed); }

    // The aliases bound to this entry (deviceName equals the display name).
    MIDIAliasList& boundAliases() { return boundAliases_; }
    // OUT aliases of the routes from the aliases bound to this input (read on the input thread).
    MidiSnapshot<MIDIAliasList, false>& thruTargets() { return thruTargets_; }

    // The settings "Options" text and its reading (n-th "Name"/"Options" key pair).
    virtual Vorn::VString optionsText() const = 0;
    virtual void readOptions(const Vorn::VString& options) = 0;

protected:
    std::unique_ptr<MidiDeviceBase> device_;

private:
    const int slot_;
    const bool isInput_;
    const Vorn::VString displayName_;
    uint32_t typeCode_;
    std::unique_ptr<MidiDeviceDescriptor> descriptor_;
    std::atomic<bool> pending_{false};
    std::atomic<bool> present_{false};
    std::atomic<bool> reported_{false};
    Vorn::VString lastError_;
    Vorn::VRWLock deviceLock_;
    std::atomic<int64_t> bytes_{0};
    MIDIAliasList boundAliases_;
    MidiSnapshot<MIDIAliasList, false> thruTargets_;
};

// A MIDI IN entry: its own data listeners and the pass flags given to its device.
class MMDevIn : public MidiManagerDev {
public:
    MMDevIn(int slot, const Vorn::VString& displayName, uint32_t typeCode);

    bool createDevice(MidiDeviceFactory& factory, MidiInputBase::DataListener* listener) override;
    MidiInputBase* input() const;

    bool passTimingClock() const { return passTimingClock_.load(); }
    bool passActiveSensing() const { return passActiveSensing_.load(); }
    // Applied to an open device at once.
    void setPassTimingClock(bool pass);
    void setPassActiveSensing(bool pass);
    void resetPassFlags();

    MidiSnapshot<std::vector<MidiManagerDataListener*>>& dataListeners() { return listeners_; }

    // "T"/"F" active sensing, timing clock, virtual kind, internal kind, 8 hexadecimal digits
    // of the type code, "T"/"F" wanted.
    Vorn::VString optionsText() const override;
    void readOptions(const Vorn::VString& options) override;

private:
    std::atomic<bool> passTimingClock_{true};
    std::atomic<bool> passActiveSensing_{false};
    MidiSnapshot<std::vector<MidiManagerDataListener*>> listeners_;
};

// A MIDI OUT entry.
class MMDevOut : public MidiManagerDev {
public:
    MMDevOut(int slot, const Vorn::VString& displayName, uint32_t typeCode);

    MidiOutputBase* output() const;

    // "T"/"F" virtual kind, internal kind, 8 hexadecimal digits of the type code, "T"/"F" wanted.
    Vorn::VString optionsText() const override;
    void readOptions(const Vorn::VString& options) override;
};

} // namespace Tr
