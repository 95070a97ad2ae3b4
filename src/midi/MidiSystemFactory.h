#pragma once

#include "midi/MidiDeviceFactory.h"
#include "platform/MidiSystem.h"

namespace Tr {

// The device kind of the system's MIDI ports, over the MidiSystem seam (JACK, the ALSA
// sequencer, or the in-process fake): type code "MIDI", names "MIDI Input" and "MIDI Output".
// Port names lose their number prefix. A change of the system's port list marks the kind
// changed and tells the hot-plug watcher.
class MidiSystemFactory : public MidiDeviceFactory, private Platform::MidiSystem::Listener {
public:
    // The system must outlive the factory.
    explicit MidiSystemFactory(Platform::MidiSystem& system);
    ~MidiSystemFactory() override;

    Platform::MidiSystem& system() { return system_; }

    void enumerate(bool isInput, Vorn::VOwnedList<MidiDeviceDescriptor>& list) override;
    uint32_t typeCode() const override { return kTypeSystem; }
    Vorn::VString typeName(bool isInput) const override;
    std::unique_ptr<MidiDeviceBase> createDevice(const MidiDeviceDescriptor& source) override;

private:
    void midiPortsChanged() override;

    Platform::MidiSystem& system_;
};

} // namespace Tr
