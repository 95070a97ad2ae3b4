#pragma once

#include "foundation/VOwnedList.h"
#include "midi/MIDIAliasList.h"
#include "midi/MIDIRoute.h"

#include <memory>
#include <utility>
#include <vector>

namespace Vorn {
class ErrorMessageCallback;
class XmlElement;
} // namespace Vorn

namespace Tr {

class MIDIAlias;
class MIDIAliasManager;
class MIDIRouter;

// The routes of the router, in creation order, and what follows from them: the feedback-loop
// marks and the forwarding lists. Not thread-safe; the router locks around it.
class MIDIRoutes {
public:
    explicit MIDIRoutes(MIDIRouter* owner = nullptr) : owner_(owner) {}

    MIDIRouter* owner() const { return owner_; }
    int count() const { return routes_.count(); }
    MIDIRoute* get(int index) const; // null out of range
    MIDIRoute* add(std::unique_ptr<MIDIRoute> route);
    bool remove(int index);
    void clear();

    // Set by every change; the router rebuilds the forwarding lists when it is due.
    bool rebuildDue() const { return rebuildDue_; }
    void setRebuildDue(bool due) { rebuildDue_ = due; }

    // Cuts (clears the from end of) every route whose end lost its type; true when one was cut.
    bool cutUntypedEnds();
    // Marks each route whose from alias can be reached again from its to alias, along the
    // routes that are neither disabled nor marked (so a loop loses one route, not all of them),
    // and clears marks that no longer hold. True when a mark changed.
    bool markLoops();
    // For each from alias, the to aliases of its effective routes, in route order.
    std::vector<std::pair<MIDIAlias*, MIDIAliasList>> forwardingLists() const;

    // Every saved route goes from a MIDI IN to a MIDI OUT alias and has none of the flags
    // undeletable, hidden and disabled: the routes fit the project file's simple form.
    bool fitsSimpleForm() const;
    // An element "MIDIRoutes" with one "Route" per saved route.
    std::unique_ptr<Vorn::XmlElement> toElement() const;
    // Appends the routes of a "MIDIRoutes" element (unreadable ones are skipped); returns how
    // many were added.
    int readElement(const Vorn::XmlElement& routes, MIDIAliasManager& aliases,
                    Vorn::ErrorMessageCallback* errors);

private:
    bool reaches(const MIDIAlias* start, const MIDIAlias* goal) const;
    void renumber();

    MIDIRouter* owner_;
    Vorn::VOwnedList<MIDIRoute> routes_;
    bool rebuildDue_ = false;
};

} // namespace Tr
