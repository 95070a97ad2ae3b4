#include "midi/MidiSystemFactory.h"

#include "midi/HotplugWatcher.h"
#include "midi/MidiPortNames.h"
#include "midi/MidiSystemDescriptor.h"
#include "midi/MidiSystemInput.h"
#include "midi/MidiSystemOutput.h"

namespace Tr {

namespace {
Vorn::VString text(const std::string& value) {
    return Vorn::VString(std::string_view(value));
}
} // namespace

MidiSystemFactory::MidiSystemFactory(Platform::MidiSystem& system) : system_(system) {
    system_.setListener(this);
}

MidiSystemFactory::~MidiSystemFactory() {
    detachListener();
    system_.setListener(nullptr);
}

void MidiSystemFactory::enumerate(bool isInput, Vorn::VOwnedList<MidiDeviceDescriptor>& list) {
    int index = 0;
    for (const Platform::MidiPortInfo& info : system_.ports(isInput)) {
        auto descriptor = std::make_unique<MidiSystemDescriptor>(
            this, isInput, index++, removeNumberPrefix(text(info.name)));
        descriptor->manufacturer = text(info.manufacturer);
        descriptor->deviceId = text(info.deviceId);
        descriptor->serialNumber = text(info.serialNumber);
        descriptor->secondaryId = text(info.secondaryId);
        descriptor->portId = info.id;
        list.add(descriptor.release());
    }
}

Vorn::VString MidiSystemFactory::typeName(bool isInput) const {
    return isInput ? "MIDI Input" : "MIDI Output";
}

std::unique_ptr<MidiDeviceBase>
MidiSystemFactory::createDevice(const MidiDeviceDescriptor& source) {
    const auto* descriptor = dynamic_cast<const MidiSystemDescriptor*>(&source);
    if (!descriptor)
        return nullptr;
    if (descriptor->isInput)
        return std::make_unique<MidiSystemInput>(this, system_, *descriptor);
    return std::make_unique<MidiSystemOutput>(this, system_, *descriptor);
}

void MidiSystemFactory::midiPortsChanged() {
    markChanged();
    HotplugWatcher::instance()->deviceChangeNotification();
}

} // namespace Tr
