#include "midi/MidiDeviceFactory.h"

#include "foundation/SystemClock.h"
#include "midi/MidiDeviceBase.h"

#include <algorithm>
#include <mutex>

namespace Tr {

using Vorn::VString;

namespace {
std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<MidiDeviceFactory*>& registry() {
    static std::vector<MidiDeviceFactory*> factories;
    return factories;
}
} // namespace

MidiDeviceFactory::Listener::~Listener() = default;

MidiDeviceFactory::MidiDeviceFactory(const VString& namePrefix) : namePrefix_(namePrefix) {
    std::lock_guard<std::mutex> hold(registryMutex());
    registry().push_back(this);
}

MidiDeviceFactory::~MidiDeviceFactory() {
    detachListener();
    std::lock_guard<std::mutex> hold(registryMutex());
    auto& factories = registry();
    factories.erase(std::remove(factories.begin(), factories.end(), this), factories.end());
}

void MidiDeviceFactory::detachListener() {
    if (Listener* listener = listener_.exchange(nullptr))
        listener->factoryGone(this);
}

std::vector<MidiDeviceFactory*> MidiDeviceFactory::factories() {
    std::lock_guard<std::mutex> hold(registryMutex());
    return registry();
}

void MidiDeviceFactory::start() {
    started_.store(true);
    markChanged();
}

void MidiDeviceFactory::refresh(bool force) {
    Vorn::ScopedLock hold(&lock_);
    const int64_t now = Vorn::systemMillis();
    if (!force && enumerated_ && now >= lastRefresh_ && now - lastRefresh_ < kRefreshMillis)
        return;
    refreshDirection(true);
    refreshDirection(false);
    enumerated_ = true;
    lastRefresh_ = now;
}

void MidiDeviceFactory::refreshDirection(bool isInput) {
    Vorn::VOwnedList<MidiDeviceDescriptor>& list = isInput ? inputs_ : outputs_;
    list.clear();
    enumerate(isInput, list);

    scratch_.assign(list.begin(), list.end());
    std::stable_sort(scratch_.begin(), scratch_.end(),
                     [](const MidiDeviceDescriptor* a, const MidiDeviceDescriptor* b) {
                         if (a->name != b->name)
                             return a->name < b->name;
                         return a->index < b->index;
                     });
    // Equal names are numbered; equal names that no identifier tells apart are renamed.
    std::vector<MidiDeviceDescriptor*> indistinguishable;
    MidiDeviceDescriptor* previous = nullptr;
    for (MidiDeviceDescriptor* descriptor : scratch_) {
        if (!previous || !descriptor->name.equals(previous->name, true)) {
            descriptor->duplicateNumber = 0;
        } else {
            if (previous->duplicateNumber == 0)
                previous->duplicateNumber = 1;
            descriptor->duplicateNumber = previous->duplicateNumber + 1;
            if (!previous->deviceId.isEmpty() && descriptor->isSamePort(*previous)) {
                if (std::find(indistinguishable.begin(), indistinguishable.end(), previous) ==
                    indistinguishable.end())
                    indistinguishable.push_back(previous);
                indistinguishable.push_back(descriptor);
            }
        }
        previous = descriptor;
    }
    for (MidiDeviceDescriptor* descriptor : indistinguishable) {
        descriptor->name =
            VString::format("%s %d", descriptor->name.c_str(), descriptor->duplicateNumber);
        descriptor->duplicateNumber = 0;
    }
    scratch_.clear();
}

int MidiDeviceFactory::deviceCount(bool isInput) {
    Vorn::ScopedLock hold(&lock_);
    refresh();
    return (isInput ? inputs_ : outputs_).count();
}

void MidiDeviceFactory::deviceNames(bool isInput, Vorn::VStringList& names) {
    Vorn::ScopedLock hold(&lock_);
    refresh();
    for (const MidiDeviceDescriptor* descriptor : isInput ? inputs_ : outputs_)
        names.add(descriptor->displayName());
}

void MidiDeviceFactory::descriptors(bool isInput, Vorn::VOwnedList<MidiDeviceDescriptor>& list) {
    Vorn::ScopedLock hold(&lock_);
    refresh();
    for (const MidiDeviceDescriptor* descriptor : isInput ? inputs_ : outputs_)
        list.add(descriptor->clone().release());
}

void MidiDeviceFactory::secondaryIds(bool isInput, Vorn::VStringList& names) {
    Vorn::ScopedLock hold(&lock_);
    refresh();
    for (const MidiDeviceDescriptor* descriptor : isInput ? inputs_ : outputs_)
        if (!descriptor->secondaryId.isEmpty())
            names.add(descriptor->secondaryId);
}

} // namespace Tr
