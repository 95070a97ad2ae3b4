#include "engine/TTTManager.h"

#include "engine/ActionTypes.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransEngine.h"
#include "engine/TTransEvent.h"
#include "engine/TTransTimerAction.h"
#include "foundation/SystemClock.h"
#include "platform/HighResTimer.h"

#include <algorithm>

namespace Tr {

using Vorn::VString;

namespace {

constexpr int kTickMillis = 1;

using Guard = std::lock_guard<std::recursive_mutex>;

} // namespace

bool TTTManagerEntry::setTimes(int initialDelay, int periodMillis, int count) {
    if (count < 0)
        return false;
    const int firings = count == 0 ? -1 : count;
    if (periodMillis < 0 || (firings < 0 && periodMillis == 0))
        return false;
    period = periodMillis;
    remaining = firings;
    due = Vorn::systemMillis() + std::max(initialDelay, 0);
    return true;
}

TTTManager& TTTManager::instance() {
    static TTTManager manager(Platform::createHighResTimer());
    return manager;
}

TTTManager::TTTManager(std::unique_ptr<Platform::HighResTimer> timer) : timer_(std::move(timer)) {}

TTTManager::~TTTManager() {
    killAll();
    // The timer's destructor waits for its thread.
    timer_.reset();
}

void TTTManager::attachEngine(TTransEngine* engine, bool manualDrive) {
    {
        Guard guard(lock_);
        if (manualDrive_ != manualDrive)
            killAll();
        manualDrive_ = manualDrive;
        engine_ = engine;
    }
    if (engine)
        engine->setTimerControl(this);
}

bool TTTManager::isManualDrive() const {
    Guard guard(lock_);
    return manualDrive_;
}

int TTTManager::runDue() {
    {
        Guard guard(lock_);
        if (!manualDrive_)
            return 0;
    }
    // What the delivered firings start without delay falls due at once: run it too.
    int delivered = 0;
    for (;;) {
        const std::optional<int64_t> due = nextDueMillis();
        if (!due || *due > Vorn::systemMillis())
            return delivered;
        delivered += tick();
    }
}

std::optional<int64_t> TTTManager::nextDueMillis() {
    Guard guard(lock_);
    if (paused_)
        return std::nullopt;
    std::optional<int64_t> earliest;
    for (const auto& entry : entries_)
        if (entry->remaining != 0 && (!earliest || entry->due < *earliest))
            earliest = entry->due;
    return earliest;
}

void TTTManager::startAction(const TTransTimerAction& action, const int32_t* locals,
                             const TGlobalTranslateParams* globals) {
    const int initialDelay = action.initialDelay().currentValue(locals, globals);
    const int period = action.period().currentValue(locals, globals);
    const int count = action.repeatCount().currentValue(locals, globals);
    const bool accepted = !(action.repeatCount().isVariable && count < 1);
    Guard guard(lock_);
    configure(action.timerId(), action.timerName(), accepted, initialDelay, period, count, nullptr);
    restart();
}

void TTTManager::startNamed(const VString& name, int initialDelay, int period, int count,
                            TTimerListener* listener) {
    Guard guard(lock_);
    configure(idForName(name, true), name, true, initialDelay, period, count, listener);
    restart();
}

void TTTManager::configure(int id, const VString& name, bool accepted, int initialDelay, int period,
                           int count, TTimerListener* listener) {
    TTTManagerEntry* entry = find(id);
    if (!entry) {
        if (!accepted)
            return;
        entries_.push_back(std::make_unique<TTTManagerEntry>());
        entry = entries_.back().get();
    }
    entry->id = id;
    entry->name = name;
    entry->listener = listener;
    if (!accepted || !entry->setTimes(initialDelay, period, count))
        std::erase_if(entries_, [entry](const auto& held) { return held.get() == entry; });
}

TTTManagerEntry* TTTManager::find(int id) {
    for (const auto& entry : entries_)
        if (entry->id == id)
            return entry.get();
    return nullptr;
}

void TTTManager::killId(int id) {
    Guard guard(lock_);
    std::erase_if(entries_, [id](const auto& entry) { return entry->id == id; });
}

void TTTManager::killNamed(const VString& name) {
    const int id = idForName(name, false);
    if (id == 0)
        return;
    TTransEngine* engine = nullptr;
    {
        Guard guard(lock_);
        killId(id);
        engine = engine_;
    }
    if (engine)
        engine->dispatcher().cancelEvents(kTypeTimer, id);
}

int TTTManager::idForName(const VString& name, bool create) {
    Guard guard(lock_);
    return names_.idOf(name, create);
}

Vorn::VStringList TTTManager::timerNames() {
    Guard guard(lock_);
    return names_.keys();
}

int TTTManager::purgeFinished() {
    Guard guard(lock_);
    for (int i = static_cast<int>(entries_.size()) - 1; i >= 0; --i)
        if (entries_[i]->remaining == 0)
            entries_.erase(entries_.begin() + i);
    return static_cast<int>(entries_.size());
}

void TTTManager::killAll() {
    Guard guard(lock_);
    stopTimer();
    entries_.clear();
}

void TTTManager::pause() {
    Guard guard(lock_);
    paused_ = 1;
    stopTimer();
}

void TTTManager::resume() {
    Guard guard(lock_);
    paused_ = 0;
    restart();
}

void TTTManager::setPaused(bool paused) {
    if (paused)
        pause();
    else
        resume();
}

void TTTManager::engineDestroyed(TTransEngine* engine) {
    std::unique_lock<std::recursive_mutex> guard(lock_);
    if (engine_ != engine)
        return;
    engine_ = nullptr;
    // A tick that took the engine before it was cleared delivers to it outside the lock.
    if (deliveringThread_ != std::this_thread::get_id())
        idle_.wait(guard, [this] { return delivering_ == 0; });
}

void TTTManager::restart() {
    Guard guard(lock_);
    if (purgeFinished() == 0 || running_ || paused_)
        return;
    if (manualDrive_)
        running_ = true;
    else
        running_ = timer_->start(kTickMillis, [this] { tick(); });
}

void TTTManager::stopTimer() {
    if (!running_)
        return;
    running_ = false;
    if (!manualDrive_)
        timer_->stop();
}

int TTTManager::tick() {
    TTransEngine* engine = nullptr;
    std::vector<Firing> firings;
    int total = 0;
    {
        Guard guard(lock_);
        const int64_t now = Vorn::systemMillis();
        firings.reserve(entries_.size());
        bool active = false;
        for (const auto& entry : entries_) {
            if (entry->remaining == 0)
                continue;
            int counted = 0;
            while (entry->due <= now) {
                ++counted;
                entry->due += entry->period;
                if (entry->remaining > 0) {
                    if (--entry->remaining == 0)
                        break;
                } else if (entry->period > 0) {
                    // An endless timer drops the periods it missed.
                    while (entry->due < now)
                        entry->due += entry->period;
                }
            }
            if (entry->remaining != 0)
                active = true;
            if (counted == 0 || paused_)
                continue;
            total += counted;
            if (entry->listener) {
                for (int i = 0; i < counted; ++i)
                    entry->listener->timerFired(entry->name);
            } else {
                firings.push_back({entry->id, counted});
            }
        }
        if (!active)
            stopTimer();
        if (firings.empty() || !engine_)
            return total;
        engine = engine_;
        ++delivering_;
        deliveringThread_ = std::this_thread::get_id();
    }
    for (const Firing& firing : firings) {
        for (int n = 0; n < firing.count; ++n) {
            TTransEvent event;
            event.clear();
            event.type = kTypeTimer;
            event.level = kLevelInput;
            event.key = firing.id;
            engine->processEventAndNotify(event);
        }
    }
    {
        Guard guard(lock_);
        --delivering_;
        if (delivering_ == 0)
            deliveringThread_ = std::thread::id();
    }
    idle_.notify_all();
    return total;
}

} // namespace Tr
