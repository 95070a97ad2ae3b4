// Bytes per second through the running-status parser, for a realistic live stream (notes with
// running status, controllers, pitch bend, clock bytes in between) and for system exclusive.
#include "midi/MidiStreamParser.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

class CountingSink : public Tr::MidiStreamParser::Sink {
public:
    void midiMessage(const uint8_t* data, int length) override {
        messages += 1;
        last = data[length - 1];
    }
    int64_t messages = 0;
    uint8_t last = 0;
};

std::vector<uint8_t> liveStream() {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 4096; ++i) {
        const uint8_t note = uint8_t(36 + i % 48);
        bytes.insert(bytes.end(), {0x90, note, 0x64, uint8_t(note + 4), 0x50}); // running status
        bytes.push_back(0xF8);
        bytes.insert(bytes.end(), {0xB0, 0x07, uint8_t(i & 0x7F)});
        bytes.insert(bytes.end(), {0xE0, 0x00, uint8_t(0x40 + i % 8)});
        bytes.insert(bytes.end(), {0x80, note, 0x00});
    }
    return bytes;
}

std::vector<uint8_t> sysExStream() {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 16; ++i) {
        bytes.push_back(0xF0);
        for (int j = 0; j < 5000; ++j)
            bytes.push_back(uint8_t(j & 0x7F));
        bytes.push_back(0xF7);
    }
    return bytes;
}

void run(benchmark::State& state, const std::vector<uint8_t>& bytes) {
    Tr::MidiStreamParser parser;
    CountingSink sink;
    for (auto _ : state) {
        parser.parse(bytes.data(), int(bytes.size()), sink);
        benchmark::DoNotOptimize(sink.last);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["messages/s"] =
        benchmark::Counter(double(sink.messages), benchmark::Counter::kIsRate);
}

void MidiParserLiveStream(benchmark::State& state) {
    run(state, liveStream());
}

void MidiParserSystemExclusive(benchmark::State& state) {
    run(state, sysExStream());
}

BENCHMARK(MidiParserLiveStream);
BENCHMARK(MidiParserSystemExclusive);

} // namespace
