#pragma once

#include "midi/MidiDeviceDescriptor.h"

#include <string>

namespace Tr {

// A port of the system's MIDI service: the descriptor plus the id that opens it.
class MidiSystemDescriptor : public MidiDeviceDescriptor {
public:
    using MidiDeviceDescriptor::MidiDeviceDescriptor;

    void assign(const MidiDeviceDescriptor& other) override;
    std::unique_ptr<MidiDeviceDescriptor> clone() const override;
    bool isIdentical(const MidiDeviceDescriptor& other) const override;

    std::string portId;
};

} // namespace Tr
