#include "midi/MIDIAlias.h"

#include "foundation/XmlElement.h"
#include "midi/MIDIAliasList.h"
#include "midi/MidiPortNames.h"

namespace Tr {

using Vorn::VString;

MIDIAlias::MIDIAlias(const VString& name, int type, int flags)
    : type_(type), name_(name), flags_(flags) {}

bool MIDIAlias::isNamed(const VString& name) const {
    return name_.equals(name, true) ||
           (!alternateName_.isEmpty() && alternateName_.equals(name, true));
}

bool MIDIAlias::isInOutPair(const MIDIAlias& other) const {
    const int mine = type();
    const int theirs = other.type();
    if (mine == kNone || theirs == kNone || mine == theirs)
        return false;
    return normalisedPortName(name_, mine == kIn)
        .equals(normalisedPortName(other.name_, theirs == kIn), true);
}

void MIDIAlias::writeElement(Vorn::XmlElement& element) const {
    element.setAttribute("Name", name_);
    element.setAttribute("Type", isIn() ? "in" : "out");
    if (!deviceName_.isEmpty())
        element.setAttribute("Device", deviceName_);
    else if (hasFlag(kPersistent))
        element.setAttribute("Device", kNonePersistent);
}

void MIDIAlias::clearType() {
    type_.store(kNone, std::memory_order_relaxed);
    setDeviceSlot(-1);
    setThruTargets(nullptr);
}

} // namespace Tr
