#pragma once

#include "midi/MidiDeviceBase.h"
#include "midi/MidiStreamParser.h"

#include <atomic>
#include <cstdint>

namespace Tr {

// An input device: complete messages with a time stamp (ms since the device was opened) go to
// one data listener. Byte-stream and block kinds feed what they receive through the shared
// running-status parser.
//
// Threads: parse/feedBlock run on the kind's input thread only (one at a time); the pass flags
// and the listener may be set from any thread.
class MidiInputBase : public MidiDeviceBase, private MidiStreamParser::Sink {
public:
    class DataListener {
    public:
        virtual ~DataListener();
        // On the input thread; must neither block nor allocate.
        virtual void midiData(MidiInputBase* input, int64_t timestamp, const uint8_t* data,
                              int length) = 0;
    };

    MidiInputBase(MidiDeviceFactory* factory, const MidiDeviceDescriptor& descriptor);

    bool passActiveSensing() const { return passActiveSensing_.load(); }
    void setPassActiveSensing(bool pass) { passActiveSensing_.store(pass); }
    bool passTimingClock() const { return passTimingClock_.load(); }
    void setPassTimingClock(bool pass) { passTimingClock_.store(pass); }
    void setDataListener(DataListener* listener) { listener_.store(listener); }
    DataListener* dataListener() const { return listener_.load(); }

    // Milliseconds since the device was opened.
    int64_t currentTimestamp() const;

    // Byte-stream input: one byte through the parser.
    void parseByte(uint8_t byte);
    // Block input: a 3-byte block with no parse in progress, a status other than Cx, Dx, Fx and
    // two data bytes goes straight to the listener; anything else through the parser. -1 (block
    // dropped) without a listener, else 0.
    int feedBlock(const uint8_t* data, int length);
    // Time stamp (ms since open) given to what the parser delivers; -1: the current time.
    void setBlockTimestamp(int64_t timestamp) { blockTimestamp_ = timestamp; }

protected:
    void resetInputState() override;
    // Records the open time (called by kinds when their port goes live).
    void markOpenTime();
    // Delivers one complete message to the listener as it is.
    void deliver(const uint8_t* data, int length);

private:
    void midiMessage(const uint8_t* data, int length) override;

    std::atomic<DataListener*> listener_{nullptr};
    std::atomic<bool> passActiveSensing_{true};
    std::atomic<bool> passTimingClock_{true};
    std::atomic<int64_t> openTime_{0};
    int64_t blockTimestamp_ = -1; // input thread only
    MidiStreamParser parser_;
};

} // namespace Tr
