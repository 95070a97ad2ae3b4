#pragma once

#include <memory>

namespace Vorn {
class ErrorMessageCallback;
class XmlElement;
} // namespace Vorn

namespace Tr {

class MIDIAlias;
class MIDIAliasManager;

// Forwards everything that arrives on one MIDI IN alias unchanged to one MIDI OUT alias (MIDI
// thru). The aliases belong to the alias manager, which never frees them; a route whose end was
// deleted is cut (from is null). Owned by MIDIRoutes; changed on the host's thread.
class MIDIRoute {
public:
    enum Flags {
        kLoop = 0x1,        // part of a feedback loop (computed, never saved)
        kUndeletable = 0x2, // the host's delete leaves it
        kHidden = 0x4,
        kNotSaved = 0x8,
        kTransient = 0x10, // saved only while also disabled
        kDisabled = 0x20,
    };

    MIDIRoute(MIDIAlias* from, MIDIAlias* to, int flags = 0);

    MIDIAlias* from() const { return from_; }
    MIDIAlias* to() const { return to_; }
    void setEnds(MIDIAlias* from, MIDIAlias* to);
    int flags() const { return flags_; }
    bool hasFlag(int flag) const { return (flags_ & flag) != 0; }
    void setFlags(int flags) { flags_ = flags; }
    int index() const { return index_; }
    void setIndex(int index) { index_ = index; }

    // Both ends exist and have a type.
    bool hasTypedEnds() const;
    // Forwards: typed ends, neither disabled nor part of a loop.
    bool isEffective() const;
    // Written to the project: both ends present, not kNotSaved, not kTransient unless disabled.
    bool isSaved() const;

    // The "Route" element: children "From" and "To" (alias elements) and "Y" for the attributes
    // "Disabled", "Hidden", "Undeletable" when set. Call only for saved routes.
    void writeElement(Vorn::XmlElement& route) const;
    // A route from a "Route" element, its ends found or created (with their device binding) in
    // aliases; null when an end is missing or unreadable (reported to errors).
    static std::unique_ptr<MIDIRoute> readElement(const Vorn::XmlElement& route,
                                                  MIDIAliasManager& aliases,
                                                  Vorn::ErrorMessageCallback* errors);

private:
    MIDIAlias* from_;
    MIDIAlias* to_;
    int flags_;
    int index_ = -1;
};

} // namespace Tr
