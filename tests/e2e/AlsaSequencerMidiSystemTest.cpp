// The ALSA sequencer backend against the kernel's own "Midi Through" port, where the sequencer
// exists.
#include "platform/linux/AlsaSequencerMidiSystem.h"
#include "../support/WaitUntil.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class Collect : public Platform::MidiInputCallback {
public:
    void midiInput(const uint8_t* data, int length, int64_t) override {
        std::lock_guard<std::mutex> hold(mutex);
        messages.emplace_back(data, data + length);
    }
    void midiInputLost(bool, const std::string&) override {}
    std::vector<Bytes> take() {
        std::lock_guard<std::mutex> hold(mutex);
        return messages;
    }
    std::mutex mutex;
    std::vector<Bytes> messages;
};

TEST(AlsaSequencerMidiSystemTest, EveryKindOfMessagePassesThroughTheSequencer) {
    if (!Platform::AlsaSequencerMidiSystem::sequencerAnswers())
        GTEST_SKIP() << "skipped: no ALSA sequencer here (/dev/snd/seq is missing)";
    Platform::AlsaSequencerMidiSystem system("Corvane test");
    std::string through;
    for (const Platform::MidiPortInfo& info : system.ports(false))
        if (info.name.find("Midi Through") != std::string::npos)
            through = info.id;
    if (through.empty())
        GTEST_SKIP() << "skipped: the sequencer has no Midi Through port";
    for (bool isInput : {true, false})
        for (const Platform::MidiPortInfo& info : system.ports(isInput))
            EXPECT_NE(info.name.rfind("Corvane test", 0), 0u) << info.name;

    Collect collect;
    std::unique_ptr<Platform::MidiInputPort> in;
    std::unique_ptr<Platform::MidiOutputPort> out;
    std::string error;
    ASSERT_EQ(system.openInput(through, collect, in, error), Platform::MidiResult::kOk) << error;
    ASSERT_EQ(system.openOutput(through, out, error), Platform::MidiResult::kOk) << error;
    Bytes sysex(5000, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    const std::vector<Bytes> sent{{0x90, 0x3C, 0x40}, sysex, {0xF8}, {0xFE}};
    for (const Bytes& message : sent)
        ASSERT_EQ(out->sendLong(message.data(), int(message.size())), Platform::MidiResult::kOk);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return collect.take().size() >= sent.size(); }));
    EXPECT_EQ(collect.take(), sent);
}

} // namespace
