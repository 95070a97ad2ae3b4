#include "midi/MidiDeviceBase.h"

#include "midi/MidiDeviceFactory.h"

namespace Tr {

namespace {
MidiDeviceFactory::Listener* listenerOf(MidiDeviceFactory* factory) {
    return factory ? factory->listener() : nullptr;
}
} // namespace

MidiDeviceBase::MidiDeviceBase(MidiDeviceFactory* factory, const MidiDeviceDescriptor& descriptor)
    : factory_(factory), descriptor_(descriptor.clone()) {}

MidiDeviceBase::~MidiDeviceBase() = default;

bool MidiDeviceBase::open(Vorn::VString& error) {
    if (open_.load())
        return true;
    {
        Vorn::ScopedLock hold(&lock_);
        if (!openPort(error))
            return false;
        open_.store(true);
        afterOpen();
    }
    if (isConnected())
        if (MidiDeviceFactory::Listener* listener = listenerOf(factory_))
            listener->deviceOpened(this);
    return true;
}

void MidiDeviceBase::close() {
    if (!open_.load() && !connected_.load())
        return;
    open_.store(false);
    {
        Vorn::ScopedLock hold(&lock_);
        closePort();
        resetInputState();
    }
    if (MidiDeviceFactory::Listener* listener = listenerOf(factory_))
        listener->deviceClosed(this);
    connected_.store(false);
}

void MidiDeviceBase::lost() {
    if (open_.load()) {
        close();
        if (MidiDeviceFactory::Listener* listener = listenerOf(factory_))
            listener->deviceLost(this);
    } else if (connected_.load()) {
        Vorn::ScopedLock hold(&lock_);
        if (MidiDeviceFactory::Listener* listener = listenerOf(factory_))
            listener->deviceError(this, "unexpectedly closed");
        connected_.store(false);
    }
}

} // namespace Tr
