#include "host/TGUIEventMonitor.h"

#include "engine/TTransEngine.h"
#include "host/TMBEventQueue.h"

namespace Tr {

TGUIEventMonitor::TGUIEventMonitor(TMBEventQueue* queue)
    : queue_(queue), timer_(this, kPeriodMillis, true, "GUIEventMonitor") {}

TGUIEventMonitor::~TGUIEventMonitor() {
    detach();
}

void TGUIEventMonitor::attach(TTransEngine* engine) {
    if (active_)
        detach();
    engine_ = engine;
    engine_->globals().setActivityListener(this);
    active_ = true;
    timer_.start();
}

void TGUIEventMonitor::detach() {
    timer_.stop();
    if (engine_ && engine_->globals().activityListener() == this)
        engine_->globals().setActivityListener(nullptr);
    engine_ = nullptr;
    active_ = false;
}

void TGUIEventMonitor::addActivity(uint32_t flags) {
    activity_.fetch_or(flags, std::memory_order_relaxed);
}

void TGUIEventMonitor::timerFired(Vorn::VTimer* /*timer*/) {
    uint32_t flags = activity_.exchange(0, std::memory_order_relaxed);
    queue_->post(TMBEventQueue::kActivity, static_cast<int>(flags), 0, 0, 0);
}

} // namespace Tr
