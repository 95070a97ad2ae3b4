#include "midi/MidiSystemDescriptor.h"

namespace Tr {

void MidiSystemDescriptor::assign(const MidiDeviceDescriptor& other) {
    MidiDeviceDescriptor::assign(other);
    if (const auto* system = dynamic_cast<const MidiSystemDescriptor*>(&other))
        portId = system->portId;
}

std::unique_ptr<MidiDeviceDescriptor> MidiSystemDescriptor::clone() const {
    return std::unique_ptr<MidiDeviceDescriptor>(new MidiSystemDescriptor(*this));
}

bool MidiSystemDescriptor::isIdentical(const MidiDeviceDescriptor& other) const {
    const auto* system = dynamic_cast<const MidiSystemDescriptor*>(&other);
    return system && system->portId == portId && MidiDeviceDescriptor::isIdentical(other);
}

} // namespace Tr
