#pragma once

#include "foundation/VString.h"
#include "midi/MIDIAliasList.h"

#include <atomic>
#include <memory>

namespace Tr {

// The alias list that a stored port-list text (the compact "MIDA..." form that presets and the
// project keep for their default ports) names, resolved once per text and then reused.
//
// Threads: any, concurrently. A text seen for the first time is resolved through the alias
// manager (its lock, an allocation); every later call with the same text only compares it and
// shares the list, without allocating or waiting.
class MidiPortListCache {
public:
    // The list the text names (aliases of type, created when missing and marked referenced);
    // null for an empty text or one that names none.
    std::shared_ptr<const MIDIAliasList> resolve(const Vorn::VString& text, int type) const;

private:
    struct Resolved {
        Vorn::VString text;
        MIDIAliasList list;
    };
    mutable std::atomic<std::shared_ptr<const Resolved>> resolved_;
};

} // namespace Tr
