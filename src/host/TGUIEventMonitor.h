#pragma once

#include <atomic>
#include <cstdint>

#include "engine/TGlobalTranslateParams.h"
#include "foundation/VTimer.h"

namespace Tr {

class TMBEventQueue;
class TTransEngine;

// Batches the engine's activity bits into at most one type-5 record per period: the engine's
// threads OR their bits in, the "GUIEventMonitor" timer swaps them out and posts them.
//
// Threads: addActivity on any event-processing thread; attach, detach and the destructor on the
// host thread; timerFired on the timer thread.
class TGUIEventMonitor : public Vorn::VTimer::Listener, public TShowEventsListener {
public:
    static constexpr int kPeriodMillis = 33;

    explicit TGUIEventMonitor(TMBEventQueue* queue);
    ~TGUIEventMonitor() override;
    TGUIEventMonitor(const TGUIEventMonitor&) = delete;
    TGUIEventMonitor& operator=(const TGUIEventMonitor&) = delete;

    // Becomes the engine's activity listener and starts the timer.
    void attach(TTransEngine* engine);
    // Stops the timer and leaves the engine (its activity listener is cleared when it is us).
    void detach();
    bool isActive() const { return active_; }

    void addActivity(uint32_t flags) override;
    void timerFired(Vorn::VTimer* timer) override;

private:
    std::atomic<uint32_t> activity_{0};
    TMBEventQueue* const queue_;
    TTransEngine* engine_ = nullptr;
    bool active_ = false;
    Vorn::VTimer timer_;
};

} // namespace Tr
