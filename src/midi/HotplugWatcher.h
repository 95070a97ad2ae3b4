#pragma once

#include "foundation/AutoDelete.h"
#include "foundation/VLock.h"
#include "foundation/VTimer.h"

#include <atomic>
#include <memory>
#include <vector>

namespace Tr {

// Turns "the system's devices changed" notifications into refresh calls: a poll shortly after
// the change and a notify once more a few seconds later (devices settle slowly). Listeners
// register with a mask of device classes; MIDI is class 1.
//
// Threads: deviceChangeNotification from any thread (a backend's notification thread);
// listeners are called on the timer thread.
class HotplugWatcher : public Vorn::AutoDelete, private Vorn::VTimer::Listener {
public:
    class Listener {
    public:
        virtual ~Listener();
        // deviceClass: the changed class, or -1 for all.
        virtual void hotplugPoll(int deviceClass) = 0;
        virtual void hotplugNotify(int deviceClass) = 0;
    };

    static constexpr int kClassMidi = 1;
    static constexpr int kAllClasses = 0x1F;
    static constexpr int kPollingMillis = 1000;
    static constexpr int kNotifyMillis = 10000;
    static constexpr int kRepeatMillis = 4000;
    static constexpr int kPollDelayMillis = 200;

    // The one watcher, created on first use. Asked again after it was destroyed it reports
    // "Cannot re-instantiate HotplugWatcher!" and creates a new one all the same.
    static HotplugWatcher* instance();
    // The watcher if one exists, without creating it.
    static HotplugWatcher* existing();

    ~HotplugWatcher() override;

    void addListener(Listener* listener, int classMask);
    void removeListener(Listener* listener);

    // The system says devices changed: all classes marked changed, a poll in 200 ms and a
    // notify again in 4 s. Ignored while stopped.
    void deviceChangeNotification();
    void setStopped(bool stopped) { stopped_.store(stopped); }

private:
    struct Entry {
        Listener* listener;
        int mask;
    };

    HotplugWatcher();
    void timerFired(Vorn::VTimer* timer) override;
    Vorn::VTimer::Listener* timerListener() { return this; }
    void callListeners(int changed, bool poll);

    Vorn::VLock lock_;
    std::vector<Entry> listeners_;
    std::atomic<int> pollChanged_{0};
    std::atomic<int> repeatChanged_{0};
    std::atomic<int> notifyChanged_{0};
    std::atomic<bool> stopped_{false};
    std::unique_ptr<Vorn::VTimer> polling_;
    std::unique_ptr<Vorn::VTimer> notify_;
    std::unique_ptr<Vorn::VTimer> repeat_;
    // The timers' identities for timerFired, which may run while the destructor drops them.
    Vorn::VTimer* const pollingId_;
    Vorn::VTimer* const repeatId_;
};

} // namespace Tr
