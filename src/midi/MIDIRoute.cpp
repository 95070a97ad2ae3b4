#include "midi/MIDIRoute.h"

#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"

namespace Tr {

namespace {

struct FlagAttribute {
    const char* name;
    int flag;
};

constexpr FlagAttribute kFlagAttributes[] = {
    {"Disabled", MIDIRoute::kDisabled},
    {"Hidden", MIDIRoute::kHidden},
    {"Undeletable", MIDIRoute::kUndeletable},
};

} // namespace

MIDIRoute::MIDIRoute(MIDIAlias* from, MIDIAlias* to, int flags)
    : from_(from), to_(to), flags_(flags) {}

void MIDIRoute::setEnds(MIDIAlias* from, MIDIAlias* to) {
    from_ = from;
    to_ = to;
}

bool MIDIRoute::hasTypedEnds() const {
    return from_ && to_ && from_->type() != MIDIAlias::kNone && to_->type() != MIDIAlias::kNone;
}

bool MIDIRoute::isEffective() const {
    return hasTypedEnds() && !hasFlag(kDisabled) && !hasFlag(kLoop);
}

bool MIDIRoute::isSaved() const {
    return from_ && to_ && !hasFlag(kNotSaved) && (!hasFlag(kTransient) || hasFlag(kDisabled));
}

void MIDIRoute::writeElement(Vorn::XmlElement& route) const {
    for (const FlagAttribute& attribute : kFlagAttributes) {
        if (hasFlag(attribute.flag))
            route.setAttribute(attribute.name, "Y");
    }
    auto from = std::make_unique<Vorn::XmlElement>("From");
    from_->writeElement(*from);
    route.appendChild(std::move(from));
    auto to = std::make_unique<Vorn::XmlElement>("To");
    to_->writeElement(*to);
    route.appendChild(std::move(to));
}

std::unique_ptr<MIDIRoute> MIDIRoute::readElement(const Vorn::XmlElement& route,
                                                  MIDIAliasManager& aliases,
                                                  Vorn::ErrorMessageCallback* errors) {
    const Vorn::XmlElement* fromElement = route.child("From");
    const Vorn::XmlElement* toElement = route.child("To");
    if (!fromElement || !toElement)
        return nullptr;
    MIDIAlias* from = aliases.readElement(*fromElement, errors);
    MIDIAlias* to = aliases.readElement(*toElement, errors);
    if (!from || !to)
        return nullptr;
    int flags = 0;
    for (const FlagAttribute& attribute : kFlagAttributes) {
        if (route.boolAttribute(attribute.name))
            flags |= attribute.flag;
    }
    return std::make_unique<MIDIRoute>(from, to, flags);
}

} // namespace Tr
