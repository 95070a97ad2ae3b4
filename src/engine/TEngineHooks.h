#pragma once

#include <cstdint>

namespace Tr {

class TTransEngine;

// What the engine needs from the MIDI manager when processing is switched off and on and on
// panic. Called on the host's thread.
class TEngineMidiOutput {
public:
    virtual ~TEngineMidiOutput() = default;
    // Sends one short message to every open MIDI output.
    virtual void sendToAllOutputs(const uint8_t* data, int length) = 0;
    // While paused, MIDI output actions send nothing.
    virtual void setOutputPaused(bool paused) = 0;
};

// What the engine needs from the manager of translator timers. Called on the host's thread.
class TEngineTimerControl {
public:
    virtual ~TEngineTimerControl() = default;
    virtual void stopAllTimers() = 0;
    virtual void setPaused(bool paused) = 0;
    // The engine is being destroyed: no timer firing may reach it once this returns.
    virtual void engineDestroyed(TTransEngine* engine) = 0;
};

} // namespace Tr
