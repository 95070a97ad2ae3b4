#include "midi/MidiEngineLink.h"

#include "engine/TTransEngine.h"

namespace Tr {

void MidiEngineLink::midiData(int slot, int64_t timestamp, const uint8_t* data, int length,
                              bool& swallowed) {
    engine_.midiData(slot, timestamp, data, length, swallowed);
}

void MidiEngineLink::midiThru(int /*slot*/, int64_t /*timestamp*/, const uint8_t* /*data*/,
                              int /*length*/) {
    engine_.midiThru();
}

} // namespace Tr
