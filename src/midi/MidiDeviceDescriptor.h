#pragma once

#include "foundation/VString.h"

#include <memory>

namespace Tr {

class MidiDeviceFactory;

// One enumerated MIDI port; a value copied freely and owned by whoever holds it. A kind may
// derive to add fields (then it overrides assign, clone and isIdentical).
class MidiDeviceDescriptor {
public:
    MidiDeviceDescriptor() = default;
    MidiDeviceDescriptor(MidiDeviceFactory* factory, bool isInput, int index,
                         const Vorn::VString& name);
    virtual ~MidiDeviceDescriptor() = default;

    // All fields of other.
    virtual void assign(const MidiDeviceDescriptor& other);
    virtual std::unique_ptr<MidiDeviceDescriptor> clone() const;
    // The same physical port: same factory (when both have one), direction, name and
    // manufacturer; then serial number and device id equal ignoring case when any of the four is
    // set, else equal duplicate numbers.
    virtual bool isSamePort(const MidiDeviceDescriptor& other) const;
    // An input and an output of the same device; strict compares the normalised names, loose
    // looks for a common run of at least half of each name (after number prefix removal).
    virtual bool isInOutPair(const MidiDeviceDescriptor* other, bool strict) const;
    // Every field equal.
    virtual bool isIdentical(const MidiDeviceDescriptor& other) const;

    // "name (n)" when duplicateNumber > 1, else the name.
    Vorn::VString displayName() const;

    MidiDeviceFactory* factory = nullptr;
    bool isInput = true;
    int index = 0;
    Vorn::VString name;
    Vorn::VString manufacturer;
    int duplicateNumber = 0;
    Vorn::VString deviceId;
    Vorn::VString serialNumber;
    Vorn::VString secondaryId;

protected:
    MidiDeviceDescriptor(const MidiDeviceDescriptor&) = default;
    MidiDeviceDescriptor& operator=(const MidiDeviceDescriptor&) = default;
};

} // namespace Tr
