#pragma once

#include "foundation/AutoDelete.h"
#include "foundation/VLock.h"
#include "foundation/VString.h"
#include "foundation/VThread.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace Vorn {

class VTimerManager;

// A one-shot or periodic callback on the shared timer thread "VTimerManager" (or, in manual
// drive, on the thread calling VTimerManager::runDue). start(), stop() and the destructor may be
// called from any thread, including from inside timerFired; the setters and setName are meant
// for the owner while the timer is idle (setPeriod and setRepeat are also safe inside timerFired).
class VTimer {
public:
    class Listener {
    public:
        virtual ~Listener();
        // Runs on the timer thread, one timer at a time: a slow listener delays every timer.
        virtual void timerFired(VTimer* timer) = 0;
    };

    // A period below 1 becomes 1. An auto-delete timer is deleted by the manager once it has
    // finished (or been stopped) and left the manager's lists.
    VTimer(Listener* listener, int period, bool repeat, const VString& name,
           bool autoDelete = false);
    // Unregisters from the manager first. When the timer thread is running and holds the timer
    // (always so when called from inside its own timerFired), this waits up to 500 ms and then
    // reports the failed removal; the manager never touches the timer after this returns.
    virtual ~VTimer();
    VTimer(const VTimer&) = delete;
    VTimer& operator=(const VTimer&) = delete;

    // -1 (the default) uses the period as the delay before the first firing.
    void setInitialDelay(int millis) { initialDelay_.store(millis); }
    void setPeriod(int millis) { period_.store(millis < 1 ? 1 : millis); }
    int getPeriod() const { return period_.load(); }
    int getEffectiveDelay() const;
    void setRepeat(bool repeat) { repeat_.store(repeat); }
    bool isRepeat() const { return repeat_.load(); }
    void setAutoDelete() { autoDelete_.store(true); }
    void setName(const VString& name) { name_ = name; }
    const VString& getName() const { return name_; }
    Listener* getListener() const { return listener_; }
    bool isActive() const { return active_.load(); }
    bool isInCallback() const { return inCallback_.load(); } // its firing loop is running

    // Arms the timer, or re-arms it: the next firing moves to now + effective delay. Ignored
    // while the manager shuts down.
    void start();
    // The timer does not fire again until started.
    void stop();

private:
    friend class VTimerManager;

    Listener* const listener_;
    std::atomic<int> initialDelay_{-1};
    std::atomic<int> period_;
    std::atomic<bool> repeat_;
    std::atomic<bool> autoDelete_;
    std::atomic<bool> active_{false};
    std::atomic<bool> registered_{false}; // in one of the manager's lists
    std::atomic<bool> inCallback_{false};
    VString name_;
    int64_t due_ = 0; // process-clock ms of the next firing, 0 for none; guarded by the manager
};

// The one thread that runs every VTimer. It starts with the first started timer, sleeps until
// the earliest due time (at most 2000 ms) and ends itself when no timer is left. Created on first
// use and owned by the AutoDelete registry.
//
// Manual drive (offline translation, deterministic tests): call setManualDrive(true) before any
// timer starts, install a Platform::ManualClock with Vorn::useClock, advance it and call runDue()
// on the driving thread; no thread is started and every timerFired runs inside runDue.
class VTimerManager : public VThread, public AutoDelete {
public:
    // The manager, created if needed.
    static VTimerManager* instance();
    // Stop every active timer with this listener, or this exact name; return how many.
    static int stopTimersOfListener(VTimer::Listener* listener);
    static int stopTimersByName(const VString& name);

    // Any thread. Switching to manual drive stops the timer thread; switching back starts it
    // again when timers are armed.
    void setManualDrive(bool manual);
    bool isManualDrive() const { return manualDrive_.load(); }
    // Manual drive only, on the driving thread (not from inside timerFired): fires everything due
    // at the current time, catch-up included, and returns the ms until the next due time (at
    // most 2000). A listener that keeps advancing the clock past its own period keeps it busy.
    int64_t runDue();

    // Deactivates and unregisters every timer (deleting the auto-delete ones) and ends the
    // thread; timers started afterwards are ignored for the rest of the process.
    ~VTimerManager() override;

protected:
    void run() override;

private:
    friend class VTimer;

    VTimerManager();
    static VTimerManager* existing();
    static bool isShuttingDown();

    void timerStarted(VTimer* timer);
    void timerStopped(VTimer* timer);
    void timerDestroyed(VTimer* timer);
    int stopMatching(VTimer::Listener* listener, const VString* name);

    // Runs passes while the lists keep changing; returns the wait until the next due time.
    int64_t runPasses(bool threaded);
    void absorbPendingAndDropInactive();
    // Runs the firing loop of timer with lock_ held (released around timerFired); false when
    // the timer was destroyed inside it.
    bool fire(VTimer* timer, int64_t& now);
    // Removes the timer at index from the active list, deleting it if it is auto-delete.
    void unregisterAt(size_t index);
    bool endRunIfIdle();

    VLock lock_;                   // guards both lists and the fields below
    std::vector<VTimer*> pending_; // started since the last pass
    std::vector<VTimer*> active_;  // null entries: destroyed timers, removed at the next pass
    std::atomic<bool> changed_{false};
    std::atomic<bool> manualDrive_{false};
    VTimer* firing_ = nullptr;     // the timer whose firing loop runs
    bool firingDestroyed_ = false; // firing_ was destroyed inside its callback
    bool runEnding_ = false;       // the thread found no timers and is ending
    bool inPasses_ = false;
};

} // namespace Vorn
