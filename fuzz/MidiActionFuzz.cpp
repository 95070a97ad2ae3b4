// Reads arbitrary text as a stored MIDI action of either role. Whatever reads must describe
// itself, write a stored form that reads back to the very same form, and take a few MIDI
// messages without harm.
#include "engine/TTransEvent.h"
#include "foundation/VException.h"
#include "midi/MIDIAliasManager.h"
#include "midi/TTransMidiAction.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void feed(Tr::TTransMidiAction& action, const uint8_t* data, size_t size) {
    Tr::TTransEvent event;
    // the input's last bytes, cut into messages of 1-3 bytes
    for (size_t at = size > 16 ? size - 16 : 0; at < size; at += 3) {
        event.clear();
        event.type = 1;
        event.data = data + at;
        event.dataLength = static_cast<int32_t>(size - at < 3 ? size - at : 3);
        action.matches(event);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Vorn::VString text(std::string_view(reinterpret_cast<const char*>(data), size));
    Tr::MIDIAliasManager aliases; // current for this input only
    for (const bool incoming : {true, false}) {
        Tr::TTransMidiAction action(incoming);
        try {
            if (action.fromString(text) == 0)
                continue;
        } catch (const Vorn::VException&) {
            continue;
        }
        action.getDescription();
        const Vorn::VString written = action.toString();
        if (!written.isEmpty()) {
            Tr::TTransMidiAction reread(incoming);
            try {
                if (reread.fromString(written) == 0)
                    abort();
            } catch (const Vorn::VException&) {
                abort();
            }
            if (reread.toString() != written)
                abort();
        }
        if (incoming)
            feed(action, data, size);
    }
    return 0;
}
