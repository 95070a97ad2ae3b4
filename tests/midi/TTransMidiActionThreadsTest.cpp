#include "midi/TTransMidiAction.h"

#include "engine/ActionTypes.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManager.h"
#include "midi/MidiMessageType.h"
#include "midi/MidiSystemFactory.h"
#include "platform/fake/FakeMidiSystem.h"

#include "MidiTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace MidiTestSupport;
using Tr::TTransMidiAction;

constexpr int kThreads = 4;
constexpr int kRounds = 2000;

bool deliver(TTransMidiAction& action, Tr::TGlobalTranslateParams& globals, const uint8_t* data,
             int length, int32_t* locals) {
    Tr::TTransEvent event;
    event.clear();
    event.type = Tr::kTypeMidi;
    event.data = data;
    event.dataLength = length;
    event.globals = &globals;
    const bool matched = action.matches(event);
    for (int i = 0; i < Tr::kLocalVariableCount; ++i)
        locals[i] = event.locals[i];
    return matched;
}

template <class Body> void runThreads(Body body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(body, t);
    for (std::thread& thread : threads)
        thread.join();
}

TEST(TTransMidiActionThreadsTest, SeveralThreadsMatchTheSameAction) {
    Tr::MIDIAliasManager aliases;
    Tr::TGlobalTranslateParams globals;
    TTransMidiAction single(true);
    single.setRaw("90 3C pp", nullptr);
    TTransMidiAction exclusive(true);
    exclusive.setRaw("F0 7E pp qq F7", nullptr);
    TTransMidiAction nrpn(true);
    nrpn.setSimple(Tr::kMidiNRPN14, num(0), num(0), num(0), 1, 2,
                   Tr::SimpleMidiMessage::kChannelAny | Tr::SimpleMidiMessage::kValue1Any |
                       Tr::SimpleMidiMessage::kValue1SetVar,
                   -1, index("pp"), -1);
    std::atomic<int> failures{0};
    runThreads([&](int t) {
        int32_t locals[Tr::kLocalVariableCount];
        const uint8_t note[3] = {0x90, 0x3C, uint8_t(t)};
        const uint8_t head[2] = {0xF0, 0x7E};
        const uint8_t tail[3] = {uint8_t(t), 0x01, 0xF7};
        const uint8_t selectMsb[3] = {uint8_t(0xB0 | t), 99, 1};
        const uint8_t selectLsb[3] = {uint8_t(0xB0 | t), 98, 2};
        const uint8_t dataMsb[3] = {uint8_t(0xB0 | t), 6, 0x10};
        const uint8_t dataLsb[3] = {uint8_t(0xB0 | t), 38, uint8_t(t)};
        for (int round = 0; round < kRounds; ++round) {
            // a complete message matches whatever the other threads do meanwhile
            if (!deliver(single, globals, note, 3, locals) || locals[index("pp")] != t)
                failures.fetch_add(1);
            deliver(exclusive, globals, head, 2, locals);
            if (deliver(exclusive, globals, tail, 3, locals) &&
                (locals[index("qq")] != 0x01 || locals[index("pp")] > kThreads))
                failures.fetch_add(1);
            deliver(nrpn, globals, selectMsb, 3, locals);
            deliver(nrpn, globals, selectLsb, 3, locals);
            deliver(nrpn, globals, dataMsb, 3, locals);
            // a completed value is always one a thread sent as a whole
            if (deliver(nrpn, globals, dataLsb, 3, locals) &&
                (locals[index("pp")] >> 7 != 0x10 || (locals[index("pp")] & 0x7F) >= kThreads))
                failures.fetch_add(1);
        }
    });
    EXPECT_EQ(failures.load(), 0);
    EXPECT_LE(exclusive.raw()->pendingCount(), exclusive.raw()->size());
}

TEST(TTransMidiActionThreadsTest, SeveralThreadsPerformTheSameAction) {
    Platform::FakeMidiSystem system;
    const std::string out = system.addPort(false, "Out");
    Tr::MIDIAliasManager aliases;
    Tr::MidiManager manager(Tr::MidiManager::Options{&aliases, false});
    Tr::MidiSystemFactory factory(system);
    manager.addFactory(&factory);
    manager.start();
    manager.refresh(true);
    ASSERT_TRUE(manager.open(manager.findEntry("Out", 0, false), false));
    Tr::TGlobalTranslateParams globals;

    TTransMidiAction raw(false);
    raw.setRaw("90 pp qq", nullptr);
    TTransMidiAction simple(false);
    simple.setSimple(Tr::kMidiControlChange14, num(0), var("pp"), var("qq"), 0, 0, 0, -1, -1, -1);
    runThreads([&](int t) {
        int32_t locals[Tr::kLocalVariableCount] = {};
        locals[index("pp")] = t;
        locals[index("qq")] = t + 0x10;
        Tr::TTransContext context{&globals, 0, nullptr, 0, nullptr, locals};
        for (int round = 0; round < kRounds / 4; ++round) {
            raw.execute(context);
            simple.execute(context);
        }
    });
    manager.stop();
    manager.removeFactory(&factory);

    // every block was built from one thread's variables
    int blocks = 0;
    for (const std::vector<uint8_t>& block : system.sentBlocks(out)) {
        ++blocks;
        if (block.size() == 3) {
            EXPECT_EQ(block[0], 0x90);
            EXPECT_EQ(block[2], block[1] + 0x10);
        } else {
            ASSERT_EQ(block.size(), 6u);
            EXPECT_EQ(block[3], 0xB0);
            EXPECT_EQ(block[4], block[1] + 32);
            EXPECT_EQ(block[5], block[1] + 0x10);
        }
    }
    EXPECT_EQ(blocks, kThreads * kRounds / 2);
}

} // namespace
