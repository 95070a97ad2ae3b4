#pragma once

#include "platform/MidiSystem.h"

#include <memory>
#include <string>

namespace Platform {

// MIDI over the ALSA sequencer (through RtMidi), for machines without a JACK server. Every open
// port is a sequencer client of its own named after the engine, subscribed to the port it stands
// for; the engine's own ports are never listed. System exclusive, timing clock and active
// sensing are delivered like every other message.
//
// Threads: inputs deliver on RtMidi's reader thread of their port. Sends are serialised per
// output. The sequencer tells nothing about new ports: a watcher thread compares the port lists
// twice a second, tells the listener of a change and an open input whose port vanished.
class AlsaSequencerMidiSystem final : public MidiSystem {
public:
    explicit AlsaSequencerMidiSystem(const std::string& clientName = "Corvane");
    ~AlsaSequencerMidiSystem() override;
    AlsaSequencerMidiSystem(const AlsaSequencerMidiSystem&) = delete;
    AlsaSequencerMidiSystem& operator=(const AlsaSequencerMidiSystem&) = delete;

    // True when the sequencer answers (/dev/snd/seq exists and opens).
    static bool sequencerAnswers();
    bool isAvailable() const;

    // MidiSystem
    std::string backendName() const override { return "alsa"; }
    std::vector<MidiPortInfo> ports(bool isInput) override;
    MidiResult openInput(const std::string& id, MidiInputCallback& callback,
                         std::unique_ptr<MidiInputPort>& port, std::string& error) override;
    MidiResult openOutput(const std::string& id, std::unique_ptr<MidiOutputPort>& port,
                          std::string& error) override;
    void setListener(Listener* listener) override;

    struct State; // shared with the open port objects

private:
    std::shared_ptr<State> state_;
};

} // namespace Platform
