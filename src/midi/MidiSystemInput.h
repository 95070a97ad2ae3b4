#pragma once

#include "midi/MidiInputBase.h"
#include "platform/MidiSystem.h"

#include <atomic>
#include <memory>
#include <thread>

namespace Tr {

class MidiSystemDescriptor;

// An input port of the system's MIDI service. Blocks arrive on the backend's input thread and
// go through the block input of MidiInputBase.
class MidiSystemInput : public MidiInputBase, private Platform::MidiInputCallback {
public:
    MidiSystemInput(MidiDeviceFactory* factory, Platform::MidiSystem& system,
                    const MidiSystemDescriptor& descriptor);
    ~MidiSystemInput() override;

protected:
    bool openPort(Vorn::VString& error) override;
    void closePort() override;

private:
    void midiInput(const uint8_t* data, int length, int64_t timestampMillis) override;
    void midiInputLost(bool vanished, const std::string& reason) override;

    Platform::MidiSystem& system_;
    const std::string portId_;
    std::unique_ptr<Platform::MidiInputPort> port_;
    // A port closed from inside its own lost call waits here until another thread drops it.
    std::unique_ptr<Platform::MidiInputPort> retired_;
    std::atomic<std::thread::id> lostThread_{};
    int64_t openSystemTime_ = 0;
};

} // namespace Tr
