#pragma once

#include "MidiPortsTestSupport.h"
#include "foundation/SystemClock.h"
#include "foundation/VTimer.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManager.h"
#include "midi/MidiSystemFactory.h"
#include "platform/fake/FakeMidiSystem.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

namespace MidiPortsTest {

// A started manager over fake system ports, with every timer on a manual clock: advance() moves
// virtual time and runs what is due, so hot-plug, retries and refreshes are deterministic.
class MidiManagerFixture : public ::testing::Test {
protected:
    static Platform::ManualClock& clock() {
        static Platform::ManualClock shared(1000000); // never goes back between tests
        return shared;
    }
    static void SetUpTestSuite() {
        Vorn::useClock(&clock());
        Vorn::VTimerManager::instance()->setManualDrive(true);
    }

    void SetUp() override {
        manager.addDeviceControlListener(&control);
        manager.addFactory(&factory);
        manager.start();
        advance(100);
        control.take();
    }

    // Moves virtual time on in 10 ms steps, running every timer that falls due.
    void advance(int millis) {
        for (int done = 0; done < millis; done += 10) {
            clock().advance(10);
            Vorn::VTimerManager::instance()->runDue();
        }
    }

    void feed(const std::string& id, const std::string& bytes) {
        const std::vector<uint8_t> data = hex(bytes);
        system.feed(id, data.data(), int(data.size()));
    }

    Platform::FakeMidiSystem system;
    RecordingControl control; // outlives the manager, which reports its stop
    Tr::MIDIAliasManager aliases;
    Tr::MidiManager manager{makeOptions(aliases)};
    Tr::MidiSystemFactory factory{system};

private:
    static Tr::MidiManager::Options makeOptions(Tr::MIDIAliasManager& aliases) {
        Tr::MidiManager::Options options;
        options.aliases = &aliases;
        return options;
    }
};

} // namespace MidiPortsTest
