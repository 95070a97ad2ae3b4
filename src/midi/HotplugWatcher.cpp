#include "midi/HotplugWatcher.h"

#include "foundation/ErrorMessages.h"

#include <algorithm>
#include <mutex>

namespace Tr {

namespace {
std::mutex& instanceMutex() {
    static std::mutex mutex;
    return mutex;
}
HotplugWatcher* theInstance = nullptr;
bool destroyedOnce = false;
} // namespace

HotplugWatcher::Listener::~Listener() = default;

HotplugWatcher* HotplugWatcher::instance() {
    std::lock_guard<std::mutex> hold(instanceMutex());
    if (!theInstance) {
        if (destroyedOnce)
            Vorn::report(Vorn::kReportError, "Cannot re-instantiate HotplugWatcher!");
        theInstance = new HotplugWatcher(); // owned by the AutoDelete registry
    }
    return theInstance;
}

HotplugWatcher* HotplugWatcher::existing() {
    std::lock_guard<std::mutex> hold(instanceMutex());
    return theInstance;
}

HotplugWatcher::HotplugWatcher()
    : polling_(std::make_unique<Vorn::VTimer>(timerListener(), kPollingMillis, false,
                                              "HotplugWatcher_Polling")),
      notify_(std::make_unique<Vorn::VTimer>(timerListener(), kNotifyMillis, true,
                                             "HotplugWatcher_Notify")),
      repeat_(std::make_unique<Vorn::VTimer>(timerListener(), kRepeatMillis, false,
                                             "HotplugWatcher_Repeat")),
      pollingId_(polling_.get()), repeatId_(repeat_.get()) {}

HotplugWatcher::~HotplugWatcher() {
    polling_.reset();
    notify_.reset();
    repeat_.reset();
    std::lock_guard<std::mutex> hold(instanceMutex());
    if (theInstance == this) {
        theInstance = nullptr;
        destroyedOnce = true;
    }
}

void HotplugWatcher::addListener(Listener* listener, int classMask) {
    Vorn::ScopedLock hold(&lock_);
    for (Entry& entry : listeners_)
        if (entry.listener == listener) {
            entry.mask = classMask;
            return;
        }
    listeners_.push_back(Entry{listener, classMask});
    if (listeners_.size() == 1)
        notify_->start();
}

void HotplugWatcher::removeListener(Listener* listener) {
    Vorn::ScopedLock hold(&lock_);
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [listener](const Entry& e) { return e.listener == listener; }),
                     listeners_.end());
    if (listeners_.empty())
        notify_->stop();
}

void HotplugWatcher::deviceChangeNotification() {
    if (stopped_.load())
        return;
    pollChanged_.store(kAllClasses);
    repeatChanged_.store(kAllClasses);
    notifyChanged_.store(kAllClasses);
    polling_->setInitialDelay(kPollDelayMillis);
    polling_->start();
    repeat_->start();
}

void HotplugWatcher::timerFired(Vorn::VTimer* timer) {
    if (timer == pollingId_)
        callListeners(pollChanged_.exchange(0), true);
    else if (timer == repeatId_)
        callListeners(repeatChanged_.exchange(0), false);
    else
        callListeners(notifyChanged_.exchange(0), false);
}

void HotplugWatcher::callListeners(int changed, bool poll) {
    if (changed == 0)
        return;
    Vorn::ScopedLock hold(&lock_);
    for (const Entry& entry : listeners_) {
        if ((entry.mask & changed) == 0)
            continue;
        const int deviceClass = (changed & kAllClasses) == kAllClasses ? -1 : changed;
        if (poll)
            entry.listener->hotplugPoll(deviceClass);
        else
            entry.listener->hotplugNotify(deviceClass);
    }
}

} // namespace Tr
