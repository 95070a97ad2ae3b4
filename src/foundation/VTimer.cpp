#include "foundation/VTimer.h"

#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"

#include <algorithm>
#include <mutex>

namespace Vorn {
namespace {

constexpr int64_t kMaxWaitMillis = 2000;
constexpr int kRemovalPolls = 500;

std::atomic<VTimerManager*> currentManager{nullptr};
std::atomic<bool> managerShuttingDown{false};

std::mutex& managerCreation() {
    static std::mutex creation;
    return creation;
}

} // namespace

// ---- VTimer

VTimer::Listener::~Listener() = default;

VTimer::VTimer(Listener* listener, int period, bool repeat, const VString& name, bool autoDelete)
    : listener_(listener), period_(period < 1 ? 1 : period), repeat_(repeat),
      autoDelete_(autoDelete), name_(name) {}

VTimer::~VTimer() {
    active_.store(false);
    autoDelete_.store(false);
    if (VTimerManager* manager = VTimerManager::existing())
        manager->timerDestroyed(this);
    registered_.store(false);
}

int VTimer::getEffectiveDelay() const {
    int delay = initialDelay_.load();
    return delay >= 0 ? delay : period_.load();
}

void VTimer::start() {
    if (VTimerManager::isShuttingDown())
        return;
    VTimerManager::instance()->timerStarted(this);
}

void VTimer::stop() {
    if (VTimerManager* manager = VTimerManager::existing())
        manager->timerStopped(this);
}

// ---- VTimerManager

VTimerManager::VTimerManager() : VThread("VTimerManager") {}

VTimerManager* VTimerManager::instance() {
    if (managerShuttingDown.load())
        sleepMillis(1);
    if (VTimerManager* manager = currentManager.load())
        return manager;
    std::lock_guard<std::mutex> guard(managerCreation());
    VTimerManager* manager = currentManager.load();
    if (!manager) {
        manager = new VTimerManager(); // owned by the AutoDelete registry
        currentManager.store(manager);
    }
    return manager;
}

VTimerManager* VTimerManager::existing() {
    return currentManager.load();
}

bool VTimerManager::isShuttingDown() {
    return managerShuttingDown.load();
}

void VTimerManager::timerStarted(VTimer* timer) {
    ScopedLock guard(&lock_);
    timer->active_.store(true);
    // Due time 0 means "none", so a timer due at the clock's origin is due at 1 ms instead.
    timer->due_ = std::max<int64_t>(1, systemMillis() + timer->getEffectiveDelay());
    timer->registered_.store(true);
    if (std::find(pending_.begin(), pending_.end(), timer) == pending_.end())
        pending_.push_back(timer);
    changed_.store(true);
    if (manualDrive_.load())
        return;
    if (isRunning() && !isStopRequested() && !runEnding_) {
        wake();
        return;
    }
    // The previous run found nothing to do and is on its way out without touching the lists:
    // let it finish so two runs never overlap.
    if (isRunning())
        stop();
    runEnding_ = false;
    VThread::start();
}

void VTimerManager::timerStopped(VTimer* timer) {
    timer->active_.store(false);
    // Lets the next pass drop it, so a manager holding only stopped timers can end its thread.
    changed_.store(true);
}

void VTimerManager::timerDestroyed(VTimer* timer) {
    if (timer->registered_.load() && isRunning() && !manualDrive_.load()) {
        changed_.store(true);
        wake();
        for (int poll = 0; poll < kRemovalPolls && timer->registered_.load(); ++poll)
            sleepMillis(1);
        if (timer->registered_.load())
            report(kReportError, "VTimer '%s': could not remove itself from VTimerManager.",
                   timer->name_.c_str());
    }
    ScopedLock guard(&lock_);
    if (firing_ == timer)
        firingDestroyed_ = true;
    // Null rather than erase: the manager may be walking the active list by index right now.
    for (VTimer*& entry : active_) {
        if (entry == timer) {
            entry = nullptr;
            changed_.store(true);
        }
    }
    pending_.erase(std::remove(pending_.begin(), pending_.end(), timer), pending_.end());
    timer->registered_.store(false);
}

int VTimerManager::stopTimersOfListener(VTimer::Listener* listener) {
    VTimerManager* manager = existing();
    return manager ? manager->stopMatching(listener, nullptr) : 0;
}

int VTimerManager::stopTimersByName(const VString& name) {
    VTimerManager* manager = existing();
    return manager ? manager->stopMatching(nullptr, &name) : 0;
}

int VTimerManager::stopMatching(VTimer::Listener* listener, const VString* name) {
    ScopedLock guard(&lock_);
    int stopped = 0;
    // Pending timers count too: a timer started just now must not fire on a listener that its
    // owner is about to destroy. A timer in both lists is stopped (and counted) once.
    for (std::vector<VTimer*>* list : {&active_, &pending_}) {
        for (VTimer* timer : *list) {
            if (!timer)
                continue;
            bool matches = name ? timer->name_ == *name : timer->listener_ == listener;
            if (matches && timer->active_.exchange(false))
                ++stopped;
        }
    }
    if (stopped > 0)
        changed_.store(true);
    return stopped;
}

void VTimerManager::setManualDrive(bool manual) {
    if (manualDrive_.exchange(manual) == manual)
        return;
    if (manual) {
        stop();
        return;
    }
    ScopedLock guard(&lock_);
    if (!pending_.empty() || !active_.empty()) {
        changed_.store(true);
        runEnding_ = false;
        VThread::start();
    }
}

int64_t VTimerManager::runDue() {
    int64_t wait;
    do {
        wait = runPasses(false);
    } while (wait <= 0);
    return wait;
}

void VTimerManager::run() {
    changed_.store(true);
    while (!isStopRequested()) {
        int64_t wait = runPasses(true);
        if (isStopRequested() || endRunIfIdle())
            break;
        if (wait > 0)
            waitForWake(static_cast<int>(wait));
    }
}

bool VTimerManager::endRunIfIdle() {
    ScopedLock guard(&lock_);
    if (!active_.empty() || !pending_.empty() || changed_.load())
        return false;
    runEnding_ = true;
    return true;
}

int64_t VTimerManager::runPasses(bool threaded) {
    ScopedLock guard(&lock_);
    if (inPasses_)
        return kMaxWaitMillis; // runDue from inside a callback
    inPasses_ = true;
    int64_t earliest;
    do {
        if (changed_.exchange(false)) {
            absorbPendingAndDropInactive();
            if (threaded && isStopRequested()) {
                inPasses_ = false;
                return 0;
            }
        }
        int64_t now = systemMillis();
        earliest = now + kMaxWaitMillis;
        // Last to first: of two timers due at the same time, the one added later fires first.
        // The list only grows or shrinks in absorbPendingAndDropInactive, so indexes stay valid.
        for (size_t i = active_.size(); i-- > 0;) {
            VTimer* timer = active_[i];
            if (!timer || !timer->active_.load() || timer->due_ == 0)
                continue;
            if (timer->due_ <= now && !fire(timer, now))
                continue;
            if (timer->due_ != 0 && timer->due_ < earliest)
                earliest = timer->due_;
        }
    } while (changed_.load());
    inPasses_ = false;
    // A fresh reading: slow listeners may have used up part of the wait already.
    return std::min(earliest - systemMillis(), kMaxWaitMillis);
}

void VTimerManager::absorbPendingAndDropInactive() {
    for (VTimer* timer : pending_) {
        if (std::find(active_.begin(), active_.end(), timer) == active_.end())
            active_.push_back(timer);
    }
    pending_.clear();
    for (size_t i = active_.size(); i-- > 0;) {
        VTimer* timer = active_[i];
        if (!timer)
            active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
        else if (!timer->active_.load())
            unregisterAt(i);
    }
}

void VTimerManager::unregisterAt(size_t index) {
    VTimer* timer = active_[index];
    active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(index));
    bool autoDelete = timer->autoDelete_.load();
    // Last: once registered is clear, a destructor waiting on another thread may free the timer.
    timer->registered_.store(false);
    if (autoDelete)
        delete timer;
}

bool VTimerManager::fire(VTimer* timer, int64_t& now) {
    timer->inCallback_.store(true);
    firing_ = timer;
    firingDestroyed_ = false;
    int64_t catchUpMark = now;
    for (;;) {
        int64_t scheduled = timer->due_;
        timer->due_ = 0;
        if (VTimer::Listener* listener = timer->listener_) {
            lock_.unlock();
            listener->timerFired(timer);
            lock_.lock();
        }
        if (firingDestroyed_)
            break;
        if ((timer->repeat_.load() || timer->due_ != 0) && timer->active_.load()) {
            if (timer->due_ == 0)
                timer->due_ = scheduled + timer->period_.load(); // fixed rate: no drift
            if (timer->due_ > now)
                break;
            // Overdue: fire again at once only while the catch-up keeps pace with the clock.
            catchUpMark += timer->period_.load();
            now = systemMillis();
            if (catchUpMark < now)
                break;
        } else {
            timer->due_ = 0;
            timer->active_.store(false);
            changed_.store(true); // so the next pass drops it
            break;
        }
    }
    firing_ = nullptr;
    if (firingDestroyed_)
        return false;
    timer->inCallback_.store(false);
    return true;
}

VTimerManager::~VTimerManager() {
    managerShuttingDown.store(true);
    requestStop();
    bool deactivated = false;
    {
        ScopedLock guard(&lock_);
        for (VTimer* timer : pending_) {
            if (std::find(active_.begin(), active_.end(), timer) == active_.end())
                active_.push_back(timer);
        }
        pending_.clear();
        for (size_t i = active_.size(); i-- > 0;) {
            VTimer* timer = active_[i];
            if (!timer) {
                active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (timer->active_.exchange(false))
                deactivated = true;
            if (!isRunning())
                unregisterAt(i);
        }
    }
    if (deactivated) {
        changed_.store(true);
        wake();
    }
    if (stop()) {
        ScopedLock guard(&lock_);
        for (size_t i = active_.size(); i-- > 0;) {
            if (active_[i])
                unregisterAt(i);
            else
                active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    VTimerManager* self = this;
    currentManager.compare_exchange_strong(self, nullptr);
}

} // namespace Vorn
