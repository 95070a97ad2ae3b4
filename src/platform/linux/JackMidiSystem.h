#pragma once

#include "platform/MidiSystem.h"

#include <memory>
#include <string>

namespace Platform {

// MIDI over a JACK server: one client for the whole engine, one JACK port of the client per open
// MIDI port, connected to the other client's port it stands for. The ports of every other client
// are the system ports (a MIDI IN of ours is another client's output port); the client's own
// ports are never listed.
//
// Threads: inputs deliver on the JACK process thread. A send made on that thread while an input
// is being delivered goes out in the same cycle at the input event's frame offset; sends from
// other threads pass through a lock-free ring per output into the next cycle, at the offset that
// matches their send time. The process thread never allocates and never waits for a lock.
// Port-list changes arrive on JACK's notification thread. When the server goes away every open
// input is told it vanished, sends fail with kClosed, the listener is told, and the client
// reconnects when a server answers again (the listener is told once more).
class JackMidiSystem final : public MidiSystem {
public:
    struct Options {
        std::string clientName = "Corvane";
        // How often a lost or absent server is tried again; 0: never.
        int reconnectMillis = 500;
    };

    JackMidiSystem();
    explicit JackMidiSystem(const Options& options);
    ~JackMidiSystem() override;
    JackMidiSystem(const JackMidiSystem&) = delete;
    JackMidiSystem& operator=(const JackMidiSystem&) = delete;

    // True when a JACK server (JACK_DEFAULT_SERVER, else the default one) answers now.
    static bool serverAnswers();

    // Whether the client is connected to a server now.
    bool isConnected() const;
    // The name the server gave the client (may differ from the one asked for); empty while
    // not connected.
    std::string clientName() const;

    // MidiSystem
    std::string backendName() const override { return "jack"; }
    std::vector<MidiPortInfo> ports(bool isInput) override;
    MidiResult openInput(const std::string& id, MidiInputCallback& callback,
                         std::unique_ptr<MidiInputPort>& port, std::string& error) override;
    MidiResult openOutput(const std::string& id, std::unique_ptr<MidiOutputPort>& port,
                          std::string& error) override;
    void setListener(Listener* listener) override;

    struct State; // shared with the open port objects

private:
    void wakeSupervisor();

    std::shared_ptr<State> state_;
};

} // namespace Platform
