#pragma once

#include <cstdint>

namespace Tr {

// Turns a MIDI byte stream into complete messages: running status, real-time bytes delivered
// alone wherever they fall, and system exclusive delivered in chunks of at most kMaxChunk bytes
// (the last chunk ends with F7). Pure: bytes in, messages out through the sink, no allocation.
// One thread at a time.
class MidiStreamParser {
public:
    class Sink {
    public:
        virtual ~Sink() = default;
        // A complete message, a system-exclusive chunk, or the bytes of an interrupted message.
        // data is valid only during the call.
        virtual void midiMessage(const uint8_t* data, int length) = 0;
    };

    static constexpr int kMaxChunk = 2048;
    enum State { kIdle = 0, kOneDataByte = 1, kTwoDataBytes = 2, kSysEx = 3 };

    // Bytes of a message that starts with status (1 for real-time and one-byte system messages);
    // 0 for F0, F7 and the undefined F4, F5, F9, FD; -1 for a data byte.
    static int messageLength(uint8_t status);

    void parse(uint8_t byte, Sink& sink);
    void parse(const uint8_t* data, int length, Sink& sink) {
        for (int i = 0; i < length; ++i)
            parse(data[i], sink);
    }
    // Forgets a message in progress and the running status.
    void reset();
    // No message is in progress.
    bool isIdle() const { return length_ == 0; }

    // Active sensing (FE) and timing clock (F8) are dropped unless passed.
    void setPassActiveSensing(bool pass) { passActiveSensing_ = pass; }
    void setPassTimingClock(bool pass) { passTimingClock_ = pass; }
    bool passActiveSensing() const { return passActiveSensing_; }
    bool passTimingClock() const { return passTimingClock_; }

    State state() const { return state_; }
    uint8_t runningStatus() const { return runningStatus_; }
    // A channel message that bypassed the parser still sets the running status.
    void setRunningStatus(uint8_t status) { runningStatus_ = status < 0xF0 ? status : 0; }

private:
    void deliver(Sink& sink);

    uint8_t buffer_[kMaxChunk];
    int length_ = 0;
    State state_ = kIdle;
    uint8_t runningStatus_ = 0;
    bool passActiveSensing_ = true;
    bool passTimingClock_ = true;
};

} // namespace Tr
