#pragma once

#include "engine/TEngineHooks.h"
#include "engine/TTransTimerManager.h"
#include "foundation/THashStringSet.h"
#include "foundation/VStringList.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace Platform {
class HighResTimer;
}

namespace Tr {

class TGlobalTranslateParams;
class TTransEngine;
class TTransTimerAction;

// One running timer.
struct TTTManagerEntry {
    virtual ~TTTManagerEntry() = default;
    int32_t id = 0;
    int64_t due = 0; // Vorn::systemMillis() of the next firing
    int32_t period = 0;
    int32_t remaining = 0; // firings left: -1 endless, 0 finished
    TTimerListener* listener = nullptr;
    Vorn::VString name;

    // False (entry unchanged) for a negative count, a negative period or an endless timer
    // without period; count 0 means endless.
    bool setTimes(int initialDelay, int periodMillis, int count);
};

// The timers of all translators, driven by one 1 ms high-resolution timer (threaded drive) or
// by its owner on the virtual clock (manual drive: runDue on the owner's thread). Each firing
// reaches the attached engine as a type-4 event with the timer's identifier as key, after the
// lock is released, so translators reacting to a timer may start and kill timers.
//
// Threads: every operation may be called from any thread; the lock is re-entrant.
class TTTManager final : public TTransTimerManager, public TEngineTimerControl {
public:
    // The process-wide manager, created on first use (threaded drive).
    static TTTManager& instance();

    explicit TTTManager(std::unique_ptr<Platform::HighResTimer> timer);
    // Kills all timers and waits for the timer thread.
    ~TTTManager() override;
    TTTManager(const TTTManager&) = delete;
    TTTManager& operator=(const TTTManager&) = delete;

    // The engine that receives the firings (its timer control becomes this manager); the drive
    // follows the engine's. Switching the drive kills all timers.
    void attachEngine(TTransEngine* engine, bool manualDrive);
    bool isManualDrive() const;

    // Manual drive: counts and delivers what is due at the current time; returns the firings
    // delivered. Does nothing in threaded drive.
    int runDue();
    // The time of the earliest firing still to come; none when no timer runs or while paused.
    std::optional<int64_t> nextDueMillis();

    // The timer action's start: the values read with the locals and globals (a variable count
    // below 1 starts nothing and removes the running timer).
    void startAction(const TTransTimerAction& action, const int32_t* locals,
                     const TGlobalTranslateParams* globals);
    // Removes every timer with this identifier.
    void killId(int id);
    // The names of the name table, upper case, ascending.
    Vorn::VStringList timerNames();

    // TTransTimerManager
    int purgeFinished() override;
    void killAll() override;
    void pause() override;
    void resume() override;
    void startNamed(const Vorn::VString& name, int initialDelay, int period, int count,
                    TTimerListener* listener) override;
    // Also cancels the timer's immediate firings queued in the attached engine's dispatcher.
    void killNamed(const Vorn::VString& name) override;
    int idForName(const Vorn::VString& name, bool create) override;

    // TEngineTimerControl
    void stopAllTimers() override { killAll(); }
    void setPaused(bool paused) override;
    // Clears the engine and waits until no firing is delivered to it any more.
    void engineDestroyed(TTransEngine* engine) override;

private:
    struct Firing {
        int32_t id;
        int32_t count;
    };

    // Under the lock: the first entry with this identifier, or null.
    TTTManagerEntry* find(int id);
    // Under the lock: configures the entry of id (created when missing) or removes it.
    void configure(int id, const Vorn::VString& name, bool accepted, int initialDelay, int period,
                   int count, TTimerListener* listener);
    void restart();
    void stopTimer();
    // Counts and delivers what is due; returns the firings counted.
    int tick();

    mutable std::recursive_mutex lock_;
    std::condition_variable_any idle_;
    std::unique_ptr<Platform::HighResTimer> timer_;
    std::vector<std::unique_ptr<TTTManagerEntry>> entries_;
    Vorn::THashStringSet names_;
    TTransEngine* engine_ = nullptr;
    bool manualDrive_ = false;
    bool running_ = false; // the high-resolution timer (or, in manual drive, its stand-in) runs
    int paused_ = 0;
    int delivering_ = 0;                 // ticks delivering to the engine right now
    std::thread::id deliveringThread_{}; // the thread of the last of them
};

} // namespace Tr
