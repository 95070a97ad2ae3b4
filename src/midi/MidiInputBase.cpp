#include "midi/MidiInputBase.h"

#include "foundation/SystemClock.h"

namespace Tr {

MidiInputBase::DataListener::~DataListener() = default;

MidiInputBase::MidiInputBase(MidiDeviceFactory* factory, const MidiDeviceDescriptor& descriptor)
    : MidiDeviceBase(factory, descriptor) {}

int64_t MidiInputBase::currentTimestamp() const {
    return Vorn::systemMillis() - openTime_.load(std::memory_order_relaxed);
}

void MidiInputBase::markOpenTime() {
    openTime_.store(Vorn::systemMillis(), std::memory_order_relaxed);
}

void MidiInputBase::parseByte(uint8_t byte) {
    parser_.setPassActiveSensing(passActiveSensing_.load(std::memory_order_relaxed));
    parser_.setPassTimingClock(passTimingClock_.load(std::memory_order_relaxed));
    parser_.parse(byte, *this);
}

int MidiInputBase::feedBlock(const uint8_t* data, int length) {
    if (!listener_.load(std::memory_order_acquire))
        return -1;
    const int kind = length == 3 ? data[0] & 0xF0 : 0;
    if (kind >= 0x80 && kind != 0xC0 && kind != 0xD0 && kind != 0xF0 && parser_.isIdle() &&
        data[1] < 0x80 && data[2] < 0x80) {
        parser_.setRunningStatus(data[0]);
        deliver(data, length);
        return 0;
    }
    parser_.setPassActiveSensing(passActiveSensing_.load(std::memory_order_relaxed));
    parser_.setPassTimingClock(passTimingClock_.load(std::memory_order_relaxed));
    parser_.parse(data, length, *this);
    return 0;
}

void MidiInputBase::midiMessage(const uint8_t* data, int length) {
    deliver(data, length);
}

void MidiInputBase::deliver(const uint8_t* data, int length) {
    DataListener* listener = listener_.load(std::memory_order_acquire);
    if (!listener)
        return;
    const int64_t timestamp = blockTimestamp_ >= 0 ? blockTimestamp_ : currentTimestamp();
    listener->midiData(this, timestamp, data, length);
}

void MidiInputBase::resetInputState() {
    parser_.reset();
}

} // namespace Tr
