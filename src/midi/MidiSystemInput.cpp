#include "midi/MidiSystemInput.h"

#include "foundation/SystemClock.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiSystemDescriptor.h"
#include "midi/MidiSystemErrors.h"

#include <algorithm>

namespace Tr {

MidiSystemInput::MidiSystemInput(MidiDeviceFactory* factory, Platform::MidiSystem& system,
                                 const MidiSystemDescriptor& descriptor)
    : MidiInputBase(factory, descriptor), system_(system), portId_(descriptor.portId) {}

MidiSystemInput::~MidiSystemInput() {
    close();
    retired_.reset();
}

bool MidiSystemInput::openPort(Vorn::VString& error) {
    retired_.reset();
    resetInputState();
    markOpenTime();
    openSystemTime_ = Vorn::systemMillis();
    std::string text;
    const Platform::MidiResult result = system_.openInput(portId_, *this, port_, text);
    if (result != Platform::MidiResult::kOk) {
        error = midiOpenErrorText(result, text);
        return false;
    }
    setConnected(true);
    return true;
}

void MidiSystemInput::closePort() {
    if (lostThread_.load() == std::this_thread::get_id())
        retired_ = std::move(port_); // a port cannot be closed from inside its own callback
    else
        port_.reset();
}

void MidiSystemInput::midiInput(const uint8_t* data, int length, int64_t timestampMillis) {
    setBlockTimestamp(timestampMillis >= 0 ? std::max<int64_t>(0, timestampMillis - openSystemTime_)
                                           : -1);
    feedBlock(data, length);
}

void MidiSystemInput::midiInputLost(bool vanished, const std::string& /*reason*/) {
    if (vanished) {
        // The port-list change that follows lets the manager's refresh close the entry and
        // report it unplugged; nothing arrives until then.
        if (factory())
            factory()->markChanged();
        return;
    }
    lostThread_.store(std::this_thread::get_id());
    lost();
    lostThread_.store(std::thread::id());
}

} // namespace Tr
