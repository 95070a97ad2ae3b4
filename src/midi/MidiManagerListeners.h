#pragma once

#include "foundation/VString.h"

#include <cstdint>
#include <vector>

namespace Tr {

class MidiManager;

// What the MIDI manager tells about its entries (open, close, problems): the log's source.
// Called on the thread that caused the event (host, timer, refresh), never on an input thread.
class MidiManagerDeviceControlListener {
public:
    virtual ~MidiManagerDeviceControlListener();
    virtual void opening(int /*slot*/, bool /*isInput*/) {}
    virtual void opened(int /*slot*/, bool /*isInput*/) {}
    virtual void closing(int /*slot*/, bool /*isInput*/) {}
    virtual void closed(int /*slot*/, bool /*isInput*/) {}
    virtual void message(int slot, bool isInput, const Vorn::VString& text) = 0;
    virtual void problem(int slot, bool isInput, const Vorn::VString& text) = 0;
};

// Incoming MIDI, on the input thread: must neither block nor allocate. Setting swallowed keeps
// the message from the thru routes.
class MidiManagerDataListener {
public:
    virtual ~MidiManagerDataListener();
    virtual void midiData(int slot, int64_t timestamp, const uint8_t* data, int length,
                          bool& swallowed) = 0;
};

// Told, on the input thread, after a message was forwarded along the thru routes.
class MidiManagerThruListener {
public:
    virtual ~MidiManagerThruListener();
    virtual void midiThru(int slot, int64_t timestamp, const uint8_t* data, int length) = 0;
};

// Sees every incoming message first (MIDI capture for the editor), on the input thread; may
// change time, bytes and count, or clear pass to drop the message.
class MidiInDeviceFilter {
public:
    virtual ~MidiInDeviceFilter();
    virtual void filterInput(int slot, int64_t& timestamp, const uint8_t*& data, int& length,
                             bool& pass) = 0;
};

// Sees every outgoing block before it reaches an output entry, on the sending thread.
class MidiOutDeviceFilter {
public:
    virtual ~MidiOutDeviceFilter();
    virtual void filterOutput(int slot, const uint8_t*& data, int& length, bool& pass) = 0;
};

// The entries or their bindings changed. On the thread that changed them.
class MidiDeviceListListener {
public:
    virtual ~MidiDeviceListListener();
    virtual void midiDeviceListChanged() = 0;
};

// Lets other parts prepare the manager (the virtual port kind adds itself here). Registered in
// a process-wide list before the manager exists; called on the manager's host thread.
class MidiManagerInitializer {
public:
    virtual ~MidiManagerInitializer();
    virtual void managerCreated(MidiManager* /*manager*/) {}
    virtual void managerStarted(MidiManager* /*manager*/) {}
    virtual void managerStopped(MidiManager* /*manager*/) {}
};

void addMidiManagerInitializer(MidiManagerInitializer* initializer);
void removeMidiManagerInitializer(MidiManagerInitializer* initializer);
std::vector<MidiManagerInitializer*> midiManagerInitializers();

} // namespace Tr
