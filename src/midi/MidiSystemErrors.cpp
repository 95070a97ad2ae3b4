#include "midi/MidiSystemErrors.h"

namespace Tr {

Vorn::VString midiOpenErrorText(Platform::MidiResult result, const std::string& backendText) {
    if (result == Platform::MidiResult::kInUse)
        return "It seems that the MIDI port is already open in another application.";
    return Vorn::VString(backendText.empty() ? std::string_view("unknown error")
                                             : std::string_view(backendText));
}

} // namespace Tr
