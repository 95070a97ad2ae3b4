#include "midi/MidiManagerListeners.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace Tr {

MidiManagerDeviceControlListener::~MidiManagerDeviceControlListener() = default;
MidiManagerDataListener::~MidiManagerDataListener() = default;
MidiManagerThruListener::~MidiManagerThruListener() = default;
MidiInDeviceFilter::~MidiInDeviceFilter() = default;
MidiOutDeviceFilter::~MidiOutDeviceFilter() = default;
MidiDeviceListListener::~MidiDeviceListListener() = default;
MidiManagerInitializer::~MidiManagerInitializer() = default;

namespace {
std::mutex& initializerMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<MidiManagerInitializer*>& initializerList() {
    static std::vector<MidiManagerInitializer*> list;
    return list;
}
} // namespace

void addMidiManagerInitializer(MidiManagerInitializer* initializer) {
    std::lock_guard<std::mutex> hold(initializerMutex());
    auto& list = initializerList();
    if (initializer && std::find(list.begin(), list.end(), initializer) == list.end())
        list.push_back(initializer);
}

void removeMidiManagerInitializer(MidiManagerInitializer* initializer) {
    std::lock_guard<std::mutex> hold(initializerMutex());
    auto& list = initializerList();
    list.erase(std::remove(list.begin(), list.end(), initializer), list.end());
}

std::vector<MidiManagerInitializer*> midiManagerInitializers() {
    std::lock_guard<std::mutex> hold(initializerMutex());
    return initializerList();
}

} // namespace Tr
