#pragma once

#include "foundation/VLock.h"
#include "foundation/VString.h"
#include "midi/MidiDeviceDescriptor.h"

#include <atomic>
#include <memory>

namespace Tr {

class MidiDeviceFactory;

// One input or output object for an open (or openable) port, made by its factory and opened by
// the MIDI manager. A concrete kind implements openPort/closePort and calls lost() when the
// system reports the port gone.
//
// Threads: open and close on the manager's threads (host, timer); lost() on any thread, the
// device's own input thread included; open and close state is guarded by the device lock.
class MidiDeviceBase {
public:
    MidiDeviceBase(MidiDeviceFactory* factory, const MidiDeviceDescriptor& descriptor);
    virtual ~MidiDeviceBase();
    MidiDeviceBase(const MidiDeviceBase&) = delete;
    MidiDeviceBase& operator=(const MidiDeviceBase&) = delete;

    // An open device succeeds at once. Otherwise openPort under the device lock; on success the
    // after-open hook runs and, when connected, the factory's listener hears deviceOpened.
    // error receives the system's text on failure.
    bool open(Vorn::VString& error);
    // Closes an open or connected device: openPort's counterpart, input state reset, listener
    // deviceClosed. Nothing for a device neither open nor connected.
    void close();
    // The port is gone: an open device is closed and the listener hears deviceLost; a device
    // only connected hears deviceError "unexpectedly closed". Safe on the device's own thread.
    void lost();

    bool isOpen() const { return open_.load(); }
    bool isConnected() const { return connected_.load(); }
    bool isInput() const { return descriptor_->isInput; }
    const MidiDeviceDescriptor& descriptor() const { return *descriptor_; }
    MidiDeviceFactory* factory() const { return factory_; }
    int slot() const { return slot_.load(std::memory_order_relaxed); }
    void setSlot(int slot) { slot_.store(slot, std::memory_order_relaxed); }

protected:
    virtual bool openPort(Vorn::VString& error) = 0;
    virtual void closePort() = 0;
    virtual void afterOpen() {}
    virtual void resetInputState() {}
    void setConnected(bool connected) { connected_.store(connected); }

private:
    MidiDeviceFactory* const factory_;
    std::unique_ptr<MidiDeviceDescriptor> descriptor_;
    Vorn::VLock lock_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> open_{false};
    std::atomic<int> slot_{-1};
};

} // namespace Tr
