#pragma once

#include "midi/MidiManagerListeners.h"

namespace Tr {

class TTransEngine;

// Makes the translation engine the MIDI manager's main data listener and thru listener: every
// incoming message is matched by the engine, and a message forwarded along a route raises the
// engine's MIDI-thru activity.
class MidiEngineLink : public MidiManagerDataListener, public MidiManagerThruListener {
public:
    explicit MidiEngineLink(TTransEngine& engine) : engine_(engine) {}

    void midiData(int slot, int64_t timestamp, const uint8_t* data, int length,
                  bool& swallowed) override;
    void midiThru(int slot, int64_t timestamp, const uint8_t* data, int length) override;

private:
    TTransEngine& engine_;
};

} // namespace Tr
