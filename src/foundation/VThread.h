#pragma once

#include "foundation/VEvent.h"
#include "foundation/VLock.h"
#include "foundation/VString.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace Vorn {

class VThread;

// The body of a thread when it is not a VThread subclass. run() is called on the new thread.
class VThreadRunner {
public:
    virtual ~VThreadRunner() = default;
    virtual void run(VThread* thread) = 0;
};

// A named operating-system thread with a cooperative stop: the body polls isStopRequested() or
// sleeps in waitForWake(). Flags are atomic: any thread may poll them. start(), stop() and the
// setters are called by the owner's thread; requestStop() and wake() by any thread.
//
// A body that ignores the stop request makes stop() give up after about 2000 ms: the thread is
// abandoned (not killed). The abandoned body finishes on its own and then touches neither this
// object nor its end listener, but whatever the body itself uses (a runner, this object when
// run() is overridden) must stay alive until it returns.
class VThread {
public:
    class EndListener {
    public:
        virtual ~EndListener() = default;
        // Called on the ending thread after isRunning() turned false, or on the thread calling
        // stop() when that abandons the run. Told once per run.
        virtual void threadEnded(VThread* thread) = 0;
    };

    // Priorities for setPriority().
    enum Priority {
        kPriorityDefault = 0,
        kPriorityHighest = 1,
        kPriorityTimeCritical = 2,
        kPriorityLowest = 3,
        kPriorityIdle = 4,
    };

    explicit VThread(const VString& name, VThreadRunner* runner = nullptr);
    // Requests a stop and waits as stop() does; an auto-delete thread is not waited for.
    virtual ~VThread();
    VThread(const VThread&) = delete;
    VThread& operator=(const VThread&) = delete;

    // Sets the stop request (the first call records its time) and wakes the body.
    virtual void requestStop();
    // Signals the wake event, ending a waitForWake() in progress or the next one.
    virtual void wake();
    // The body when no runner is given; empty by default.
    virtual void run();

    // Starts a new run; false when the thread could not be created (then stop is requested).
    bool start();
    // Requests a stop and waits for the run to end: true when it ended (or when called from the
    // thread itself, or for an auto-delete thread, without waiting); false when it was abandoned.
    bool stop();

    bool isRunning() const { return running_.load() != 0; }
    bool isStopRequested() const { return stopRequested_.load() != 0; }
    bool isInRun() const { return inRun_.load() != 0; }
    bool isCurrentThread() const;
    // Waits for wake() or requestStop(), up to ms milliseconds (0 or less: forever).
    bool waitForWake(int ms) { return wakeEvent_.wait(ms); }

    // Applied when the next run starts. A refused priority falls back silently to the default.
    void setPriority(int priority) { priority_.store(priority); }
    // Bytes of stack for the next run; 0 is the system default.
    void setStackSize(int bytes) { stackSize_.store(bytes); }
    // The object deletes itself when its run ends; stop() then does not wait.
    void setAutoDelete(bool autoDelete) { autoDelete_.store(autoDelete); }
    void setEndListener(EndListener* listener) { endListener_.store(listener); }

    const VString& name() const { return name_; }

private:
    struct Run;

    static void entry(std::shared_ptr<Run> run);
    void finishRun(Run& run, EndListener*& listener, bool& autoDelete);
    void waitForEndOfRun(Run& run);

    std::atomic<EndListener*> endListener_{nullptr};
    std::atomic<bool> autoDelete_{false};
    std::atomic<int> stopRequested_{0};
    VEvent wakeEvent_;
    std::atomic<int> running_{0};
    std::atomic<int> inRun_{0};
    const VString name_;
    std::atomic<std::thread::id> threadId_{};
    std::atomic<int> priority_{kPriorityDefault};
    std::atomic<int> stackSize_{0};
    std::atomic<int64_t> stopRequestTime_{0};
    VLock lock_;
    VThreadRunner* const runner_;
    std::shared_ptr<Run> run_; // the current run; guarded by lock_
};

} // namespace Vorn
