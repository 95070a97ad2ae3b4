#pragma once

namespace Tr {

struct TTransEvent;

// What the runtime dispatcher hands posted events to (the engine).
class TEventProcessor {
public:
    virtual ~TEventProcessor() = default;
    // Processes the event on the calling thread and reports the activity it produced.
    virtual void processEventAndNotify(TTransEvent& event) = 0;
};

} // namespace Tr
