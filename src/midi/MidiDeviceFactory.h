#pragma once

#include "foundation/VLock.h"
#include "foundation/VOwnedList.h"
#include "foundation/VString.h"
#include "foundation/VStringList.h"
#include "midi/MidiDeviceDescriptor.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Tr {

class MidiDeviceBase;

// A kind's type code: its four-character name ("MIDI", "VMID", ...) as the bytes in memory order.
constexpr uint32_t midiTypeCode(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
           uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

// One kind of MIDI port (system ports, virtual ports, serial MIDI): enumerates its ports as
// descriptors and creates devices for them. Every factory is listed in a process-wide list while
// it lives. The devices it creates are owned by whoever asked for them (the MIDI manager's
// entries); the factory tells its listener when it goes, so that they are dropped first.
//
// Threads: the queries take the factory's lock and may be called from any thread.
class MidiDeviceFactory {
public:
    // Implemented by the MIDI manager. Called on the device's thread (which may be its own
    // input thread) or the thread that opened or closed it.
    class Listener {
    public:
        virtual ~Listener();
        virtual void deviceQuery(MidiDeviceBase* /*device*/, const Vorn::VString& /*text*/) {}
        virtual void deviceOpened(MidiDeviceBase* /*device*/) {}
        virtual void deviceError(MidiDeviceBase* /*device*/, const Vorn::VString& /*message*/) {}
        virtual void deviceClosed(MidiDeviceBase* /*device*/) {}
        virtual void deviceLost(MidiDeviceBase* /*device*/) {}
        // The factory is being destroyed: every device it made must be closed and deleted now.
        virtual void factoryGone(MidiDeviceFactory* /*factory*/) {}
    };

    // Enumerations are reused for this long.
    static constexpr int64_t kRefreshMillis = 1500;

    static constexpr uint32_t kTypeSystem = midiTypeCode("MIDI");
    static constexpr uint32_t kTypeVirtual = midiTypeCode("VMID");
    static constexpr uint32_t kTypeInternal = midiTypeCode("IntM");

    explicit MidiDeviceFactory(const Vorn::VString& namePrefix = Vorn::VString());
    // Leaves the process-wide list. A concrete kind calls detachListener() first thing in its
    // own destructor, while its virtual operations still work: the listener may be using them
    // on another thread until factoryGone returns.
    virtual ~MidiDeviceFactory();
    MidiDeviceFactory(const MidiDeviceFactory&) = delete;
    MidiDeviceFactory& operator=(const MidiDeviceFactory&) = delete;

    // Fills list with fresh descriptors of one direction.
    virtual void enumerate(bool isInput, Vorn::VOwnedList<MidiDeviceDescriptor>& list) = 0;
    virtual void markChanged() { changed_.store(true); }
    virtual int deviceCount(bool isInput);
    virtual uint32_t typeCode() const = 0;
    virtual Vorn::VString typeName(bool isInput) const = 0;
    // Display names in list order.
    virtual void deviceNames(bool isInput, Vorn::VStringList& names);
    virtual void descriptors(bool isInput, Vorn::VOwnedList<MidiDeviceDescriptor>& list);
    virtual void secondaryIds(bool isInput, Vorn::VStringList& names);
    // A device (not yet open) for the port the descriptor names; null when none can be made.
    virtual std::unique_ptr<MidiDeviceBase> createDevice(const MidiDeviceDescriptor& source) = 0;

    // Enumerates again unless the last enumeration is younger than kRefreshMillis (force: always),
    // numbering equal names (Keys, Keys (2)) and renaming indistinguishable ones (Keys 1, Keys 2).
    void refresh(bool force = false);

    // started = 1, markChanged; the manager then schedules a refresh.
    virtual void start();
    bool isStarted() const { return started_.load(); }
    bool isChanged() const { return changed_.load(); }
    // Reads and clears the changed flag.
    bool takeChanged() { return changed_.exchange(false); }
    const Vorn::VString& namePrefix() const { return namePrefix_; }

    void setListener(Listener* listener) { listener_.store(listener); }
    // Tells the listener that the kind goes (factoryGone) and forgets it.
    void detachListener();
    Listener* listener() const { return listener_.load(); }

    // Every factory alive, in creation order.
    static std::vector<MidiDeviceFactory*> factories();

private:
    void refreshDirection(bool isInput);

    Vorn::VLock lock_;
    Vorn::VOwnedList<MidiDeviceDescriptor> inputs_;
    Vorn::VOwnedList<MidiDeviceDescriptor> outputs_;
    std::vector<MidiDeviceDescriptor*> scratch_;
    int64_t lastRefresh_ = 0;
    bool enumerated_ = false;
    const Vorn::VString namePrefix_;
    std::atomic<bool> started_{false};
    std::atomic<bool> changed_{false};
    std::atomic<Listener*> listener_{nullptr};
};

} // namespace Tr
