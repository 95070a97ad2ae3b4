#include "midi/MidiPortListCache.h"

#include "foundation/VException.h"

namespace Tr {

std::shared_ptr<const MIDIAliasList> MidiPortListCache::resolve(const Vorn::VString& text,
                                                                int type) const {
    if (text.isEmpty())
        return nullptr;
    std::shared_ptr<const Resolved> resolved = resolved_.load(std::memory_order_acquire);
    if (!resolved || resolved->text != text) {
        auto fresh = std::make_shared<Resolved>();
        fresh->text = text;
        try {
            fresh->list.readCompact(text, 0, type);
        } catch (const Vorn::VException&) {
            // a cut-short list keeps the names read before the cut
        }
        resolved = fresh;
        resolved_.store(resolved, std::memory_order_release);
    }
    if (resolved->list.isEmpty())
        return nullptr;
    return std::shared_ptr<const MIDIAliasList>(resolved, &resolved->list);
}

} // namespace Tr
