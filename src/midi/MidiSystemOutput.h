#pragma once

#include "midi/MidiOutputBase.h"
#include "platform/MidiSystem.h"

#include <memory>

namespace Tr {

class MidiSystemDescriptor;

// An output port of the system's MIDI service: complete messages of up to 3 bytes go out as
// short messages, everything else as one long block. The MIDI manager keeps close from running
// during a send (the entry's device lock).
class MidiSystemOutput : public MidiOutputBase {
public:
    MidiSystemOutput(MidiDeviceFactory* factory, Platform::MidiSystem& system,
                     const MidiSystemDescriptor& descriptor);
    ~MidiSystemOutput() override;

    int send(const uint8_t* data, int length) override;

protected:
    bool openPort(Vorn::VString& error) override;
    void closePort() override;

private:
    Platform::MidiSystem& system_;
    const std::string portId_;
    std::unique_ptr<Platform::MidiOutputPort> port_;
};

} // namespace Tr
