#pragma once

#include "midi/MidiDeviceBase.h"

#include <cstdint>

namespace Tr {

// An output device: sends byte blocks. send may be called from several threads at once (input
// threads translating, the host's thread) and must not block.
class MidiOutputBase : public MidiDeviceBase {
public:
    using MidiDeviceBase::MidiDeviceBase;

    // Non-zero when sent.
    virtual int send(const uint8_t* data, int length) = 0;
    virtual intptr_t nativeHandle() const { return 0; }
};

} // namespace Tr
