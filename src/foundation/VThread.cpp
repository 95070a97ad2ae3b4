#include "foundation/VThread.h"

#include "foundation/SystemClock.h"
#include "platform/ThreadControl.h"

#include <mutex>
#include <string>

namespace Vorn {
namespace {

constexpr int64_t kStopTimeoutMillis = 2000;
constexpr int64_t kLateStopTimeoutMillis = 100;
constexpr int kPollsPerClockRead = 20;

} // namespace

// One start of the thread, shared by the owner and the OS thread. Once stop() abandons it, the
// OS thread sees `abandoned` under `mutex` and never touches the VThread again.
struct VThread::Run {
    explicit Run(VThread* owner) : thread(owner) {}

    VThread* const thread;
    std::mutex mutex;
    bool abandoned = false;            // guarded by mutex
    std::atomic<bool> finished{false}; // the end-of-run bookkeeping is done
    std::atomic<bool> done{false};     // and the end listener has been told
    std::atomic<std::thread::id> id{};
};

VThread::VThread(const VString& name, VThreadRunner* runner) : name_(name), runner_(runner) {}

VThread::~VThread() {
    requestStop();
    stop();
    // A run that ended may still be telling its end listener about this object: let it finish.
    std::shared_ptr<Run> run;
    {
        ScopedLock hold(&lock_);
        run = run_;
    }
    if (!run || !run->finished.load() || run->id.load() == std::this_thread::get_id())
        return;
    const int64_t deadline = systemMillis() + kStopTimeoutMillis;
    while (!run->done.load() && systemMillis() < deadline)
        sleepMillis(1);
}

void VThread::requestStop() {
    int expected = 0;
    if (stopRequested_.compare_exchange_strong(expected, 1))
        stopRequestTime_.store(systemMillis());
    wake();
}

void VThread::wake() {
    wakeEvent_.signal();
}

void VThread::run() {}

bool VThread::isCurrentThread() const {
    return threadId_.load() == std::this_thread::get_id();
}

bool VThread::start() {
    ScopedLock hold(&lock_);
    running_.store(1);
    stopRequested_.store(0);
    inRun_.store(0);
    auto run = std::make_shared<Run>(this);
    run_ = run;
    if (Platform::systemThreadControl().startThread(stackSize_.load(), [run] { entry(run); }))
        return true;
    running_.store(0);
    stopRequested_.store(1);
    threadId_.store(std::thread::id());
    run_.reset();
    return false;
}

void VThread::entry(std::shared_ptr<Run> run) {
    VThread* self = run->thread;
    {
        std::lock_guard hold(run->mutex);
        if (run->abandoned)
            return;
        run->id.store(std::this_thread::get_id());
        self->threadId_.store(std::this_thread::get_id());
        Platform::ThreadControl& control = Platform::systemThreadControl();
        control.setCurrentThreadName(std::string(self->name_.view()));
        if (self->priority_.load() != kPriorityDefault)
            control.applyPriority(self->priority_.load());
        self->inRun_.fetch_add(1);
    }
    if (self->runner_)
        self->runner_->run(self);
    else
        self->run();

    EndListener* listener = nullptr;
    bool autoDelete = false;
    {
        std::lock_guard hold(run->mutex);
        if (run->abandoned)
            return;
        self->inRun_.fetch_sub(1);
        self->finishRun(*run, listener, autoDelete);
    }
    if (listener)
        listener->threadEnded(self);
    if (autoDelete)
        delete self; // the object owns itself by request
    run->done.store(true);
}

void VThread::finishRun(Run& run, EndListener*& listener, bool& autoDelete) {
    ScopedLock hold(&lock_);
    stopRequested_.store(1);
    autoDelete = autoDelete_.load();
    threadId_.store(std::thread::id());
    running_.store(0);
    listener = endListener_.load();
    run.finished.store(true);
}

bool VThread::stop() {
    if (!isRunning())
        return true;
    if (isCurrentThread()) {
        requestStop();
        return true;
    }
    requestStop();
    if (autoDelete_.load())
        return true;

    std::shared_ptr<Run> run;
    {
        ScopedLock hold(&lock_);
        run = run_;
    }
    if (!run)
        return true;
    waitForEndOfRun(*run);
    if (run->finished.load())
        return true;

    EndListener* listener = nullptr;
    {
        std::lock_guard hold(run->mutex);
        if (run->finished.load())
            return true;
        run->abandoned = true;
        ScopedLock state(&lock_);
        running_.store(0);
        threadId_.store(std::thread::id());
        if (run_ == run)
            run_.reset();
        listener = endListener_.load();
    }
    if (listener)
        listener->threadEnded(this);
    sleepMillis(5);
    return false;
}

void VThread::waitForEndOfRun(Run& run) {
    const int64_t begin = systemMillis();
    const int64_t requested = stopRequestTime_.load();
    const int64_t deadline = begin - requested > kStopTimeoutMillis
                                 ? begin + kLateStopTimeoutMillis
                                 : requested + kStopTimeoutMillis;
    for (int polls = 1; !run.finished.load(); ++polls) {
        if (polls % kPollsPerClockRead == 0 && systemMillis() > deadline)
            return;
        sleepMillis(1);
    }
}

} // namespace Vorn
