#include "midi/MIDIRoutes.h"

#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"

#include <algorithm>

namespace Tr {

MIDIRoute* MIDIRoutes::get(int index) const {
    return index >= 0 && index < routes_.count() ? routes_.get(index) : nullptr;
}

MIDIRoute* MIDIRoutes::add(std::unique_ptr<MIDIRoute> route) {
    MIDIRoute* added = route.release();
    routes_.add(added);
    added->setIndex(routes_.count() - 1);
    rebuildDue_ = true;
    return added;
}

bool MIDIRoutes::remove(int index) {
    if (!get(index))
        return false;
    routes_.removeAt(index);
    renumber();
    rebuildDue_ = true;
    return true;
}

void MIDIRoutes::clear() {
    if (routes_.isEmpty())
        return;
    routes_.clear();
    rebuildDue_ = true;
}

void MIDIRoutes::renumber() {
    for (int i = 0; i < routes_.count(); ++i)
        routes_.get(i)->setIndex(i);
}

bool MIDIRoutes::cutUntypedEnds() {
    bool cut = false;
    for (MIDIRoute* route : routes_) {
        if (!route->from())
            continue;
        if (route->from()->type() == MIDIAlias::kNone ||
            (route->to() && route->to()->type() == MIDIAlias::kNone)) {
            route->setEnds(nullptr, route->to());
            cut = true;
        }
    }
    if (cut)
        rebuildDue_ = true;
    return cut;
}

bool MIDIRoutes::reaches(const MIDIAlias* start, const MIDIAlias* goal) const {
    std::vector<const MIDIAlias*> visited{start};
    for (size_t next = 0; next < visited.size(); ++next) {
        const MIDIAlias* alias = visited[next];
        if (alias->type() == MIDIAlias::kNone)
            continue;
        if (alias == goal)
            return true;
        for (const MIDIRoute* route : routes_) {
            if (route->from() != alias || !route->to() || route->hasFlag(MIDIRoute::kDisabled) ||
                route->hasFlag(MIDIRoute::kLoop))
                continue;
            if (std::find(visited.begin(), visited.end(), route->to()) == visited.end())
                visited.push_back(route->to());
        }
    }
    return false;
}

bool MIDIRoutes::markLoops() {
    bool changed = false;
    for (MIDIRoute* route : routes_) {
        const bool loop = route->hasTypedEnds() && reaches(route->to(), route->from());
        if (loop != route->hasFlag(MIDIRoute::kLoop)) {
            route->setFlags(route->flags() ^ MIDIRoute::kLoop);
            changed = true;
        }
    }
    return changed;
}

std::vector<std::pair<MIDIAlias*, MIDIAliasList>> MIDIRoutes::forwardingLists() const {
    std::vector<std::pair<MIDIAlias*, MIDIAliasList>> lists;
    for (const MIDIRoute* route : routes_) {
        if (!route->isEffective())
            continue;
        auto entry = std::find_if(lists.begin(), lists.end(), [route](const auto& list) {
            return list.first == route->from();
        });
        if (entry == lists.end()) {
            lists.emplace_back(route->from(), MIDIAliasList());
            entry = lists.end() - 1;
        }
        entry->second.add(route->to());
    }
    return lists;
}

bool MIDIRoutes::fitsSimpleForm() const {
    for (const MIDIRoute* route : routes_) {
        if (!route->isSaved())
            continue;
        if (!route->from()->isIn() || !route->to()->isOut() ||
            route->hasFlag(MIDIRoute::kUndeletable | MIDIRoute::kHidden | MIDIRoute::kDisabled))
            return false;
    }
    return true;
}

std::unique_ptr<Vorn::XmlElement> MIDIRoutes::toElement() const {
    auto element = std::make_unique<Vorn::XmlElement>("MIDIRoutes");
    for (const MIDIRoute* route : routes_) {
        if (!route->isSaved())
            continue;
        auto child = std::make_unique<Vorn::XmlElement>("Route");
        route->writeElement(*child);
        element->appendChild(std::move(child));
    }
    return element;
}

int MIDIRoutes::readElement(const Vorn::XmlElement& routes, MIDIAliasManager& aliases,
                            Vorn::ErrorMessageCallback* errors) {
    int added = 0;
    for (const Vorn::XmlElement* child = routes.child("Route"); child;
         child = child->nextSibling("Route")) {
        if (std::unique_ptr<MIDIRoute> route = MIDIRoute::readElement(*child, aliases, errors)) {
            add(std::move(route));
            ++added;
        }
    }
    return added;
}

} // namespace Tr
