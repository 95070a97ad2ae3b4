// Feeds arbitrary bytes through the running-status parser, in blocks as a block input would, and
// checks what comes out: no message is empty or longer than a chunk, every message starts with
// a status byte, complete channel messages have their exact length, and no byte appears that
// was not fed.
#include "midi/MidiStreamParser.h"

#include <cstdlib>
#include <cstring>

namespace {

class Check : public Tr::MidiStreamParser::Sink {
public:
    void midiMessage(const uint8_t* data, int length) override {
        if (length < 1 || length > Tr::MidiStreamParser::kMaxChunk)
            std::abort();
        delivered += size_t(length);
        // Only a system-exclusive continuation chunk may start with a data byte.
        if (data[0] < 0x80 && !inSysEx)
            std::abort();
        const int expected = Tr::MidiStreamParser::messageLength(data[0]);
        // Real-time and undefined bytes come alone and leave a system exclusive going on.
        const bool alone =
            length == 1 && (expected == 1 || (expected == 0 && data[0] != 0xF0 && data[0] != 0xF7));
        if (!alone)
            inSysEx = (data[0] == 0xF0 || (data[0] < 0x80 && inSysEx)) && data[length - 1] != 0xF7;
        if (data[0] >= 0x80 && data[0] < 0xF0 && length > expected)
            std::abort();
        for (int i = 1; i < length; ++i)
            if (data[i] >= 0x80 && data[i] != 0xF7)
                std::abort(); // status bytes never end up inside a message
    }
    size_t delivered = 0;
    bool inSysEx = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    Tr::MidiStreamParser parser;
    parser.setPassTimingClock((data[0] & 1) != 0);
    parser.setPassActiveSensing((data[0] & 2) != 0);
    Check sink;
    // The flags byte also sets the block size the rest is cut into.
    const size_t block = 1 + (data[0] >> 2);
    size_t fed = 0;
    for (size_t at = 1; at < size; at += block) {
        const size_t n = at + block <= size ? block : size - at;
        parser.parse(data + at, int(n), sink);
        fed += n;
        // Running status adds at most one status byte per data byte (2-byte messages).
        if (sink.delivered > 2 * fed)
            std::abort();
    }
    return 0;
}
