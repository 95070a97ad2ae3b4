#include "midi/MidiStreamParser.h"

namespace Tr {

int MidiStreamParser::messageLength(uint8_t status) {
    if (status < 0x80)
        return -1;
    if (status < 0xF0)
        return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF:
        return 1;
    default: // F0, F7 and the undefined F4, F5, F9, FD
        return 0;
    }
}

void MidiStreamParser::parse(uint8_t byte, Sink& sink) {
    if (byte >= 0x80) {
        const int length = messageLength(byte);
        if (length == 1 || byte == 0xF4 || byte == 0xF5 || byte == 0xF9 || byte == 0xFD) {
            // Real-time and single-byte messages go out alone, wherever they fall.
            if ((byte == 0xFE && !passActiveSensing_) || (byte == 0xF8 && !passTimingClock_))
                return;
            sink.midiMessage(&byte, 1);
            return;
        }
        if (byte == 0xF7) {
            buffer_[length_++] = byte;
            deliver(sink);
            state_ = kIdle;
            return;
        }
        if (length_ > 0)
            deliver(sink); // an interrupted message, as far as it came
        buffer_[length_++] = byte;
        state_ = byte == 0xF0 ? kSysEx : length == 2 ? kOneDataByte : kTwoDataBytes;
        runningStatus_ = byte < 0xF0 ? byte : 0;
        return;
    }

    if (length_ == 0 && state_ != kSysEx) {
        // A data byte with nothing begun: it continues the running status, or it is stray and
        // dropped (it belongs to no message this parser saw start).
        if (runningStatus_ == 0)
            return;
        buffer_[length_++] = runningStatus_;
        state_ = messageLength(runningStatus_) == 2 ? kOneDataByte : kTwoDataBytes;
    }
    buffer_[length_++] = byte;
    if ((state_ == kOneDataByte && length_ == 2) || (state_ == kTwoDataBytes && length_ == 3)) {
        deliver(sink);
        state_ = kIdle;
    } else if (length_ == kMaxChunk) {
        deliver(sink); // the system exclusive goes on in the next chunk
    }
}

void MidiStreamParser::deliver(Sink& sink) {
    const int length = length_;
    length_ = 0;
    sink.midiMessage(buffer_, length);
}

void MidiStreamParser::reset() {
    length_ = 0;
    state_ = kIdle;
    runningStatus_ = 0;
}

} // namespace Tr
