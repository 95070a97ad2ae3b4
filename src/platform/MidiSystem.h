#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

// One MIDI port as the system lists it.
struct MidiPortInfo {
    // Names the port to openInput/openOutput; unique within the system and direction and stable
    // while the port exists (a JACK port's full name, an ALSA "client:port", a fake's own id).
    std::string id;
    std::string name;         // what users see
    std::string manufacturer; // may be empty
    std::string deviceId;     // identifies the physical device, may be empty
    std::string serialNumber; // may be empty
    std::string secondaryId;  // another name the port is known by, may be empty
    bool isInput = true;
};

enum class MidiResult {
    kOk = 0,
    kNoSuchPort, // the id names no port (any more)
    kInUse,      // another client holds the port exclusively
    kClosed,     // the port was closed or has vanished
    kFailed,     // anything else; the error text says what
};

// Receives what an open input port delivers.
class MidiInputCallback {
public:
    virtual ~MidiInputCallback() = default;
    // On the backend's input thread (the JACK process callback, the ALSA reader, or whichever
    // thread feeds a fake port): one block as the system delivered it — a complete message,
    // several, or a piece of a system exclusive. timestampMillis is when it arrived, in the
    // process clock's milliseconds (Vorn::systemMillis), or -1 when the backend cannot tell.
    // Must neither block nor allocate; never runs concurrently with itself for one port.
    virtual void midiInput(const uint8_t* data, int length, int64_t timestampMillis) = 0;
    // The port stopped delivering while open: told once, on any thread, possibly the input
    // thread itself; no midiInput follows. vanished: the port left the system's list (a
    // port-list change follows); otherwise it failed and may still be listed. The port object
    // must still be destroyed by its owner, but not from inside this call.
    virtual void midiInputLost(bool vanished, const std::string& reason) = 0;
};

// An open input; destroying it closes the port. Once the destructor returns the callback is
// never called again. Destroy it on any thread except inside the callback.
class MidiInputPort {
public:
    virtual ~MidiInputPort() = default;
};

// An open output; destroying it closes the port. The sends may be called from several threads
// at once (input threads that translate, the host's thread) and never block.
class MidiOutputPort {
public:
    virtual ~MidiOutputPort() = default;
    // One complete message of 1 to 3 bytes.
    virtual MidiResult sendShort(const uint8_t* data, int length) = 0;
    // Any block of bytes: a system exclusive, or several messages sent as one.
    virtual MidiResult sendLong(const uint8_t* data, int length) = 0;
};

// The system's MIDI service: enumerates ports, opens them and tells when the port list changes.
// Backends: JACK and the ALSA sequencer (Linux), and the in-process fake for tests. Errors are
// values; nothing throws. Every operation may be called from any thread.
class MidiSystem {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // Ports appeared or vanished. Called on a backend thread (or the thread that changed a
        // fake's ports); must not block and must not call back into the system.
        virtual void midiPortsChanged() = 0;
    };

    virtual ~MidiSystem() = default;

    // "jack", "alsa", "fake", ...
    virtual std::string backendName() const = 0;
    // The ports of one direction as they are now, in the system's order.
    virtual std::vector<MidiPortInfo> ports(bool isInput) = 0;
    // On success port holds the open port; otherwise error holds the reason.
    virtual MidiResult openInput(const std::string& id, MidiInputCallback& callback,
                                 std::unique_ptr<MidiInputPort>& port, std::string& error) = 0;
    virtual MidiResult openOutput(const std::string& id, std::unique_ptr<MidiOutputPort>& port,
                                  std::string& error) = 0;
    // One listener (null: none). Once this returns the previous listener is never called again.
    virtual void setListener(Listener* listener) = 0;
};

} // namespace Platform
