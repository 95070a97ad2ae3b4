#pragma once

#include "foundation/VString.h"

namespace Tr {

// Told of each firing of a timer started with it, on the thread that counts the firing, under
// the timer manager's lock: it may not wait for another thread that starts or kills timers.
class TTimerListener {
public:
    virtual ~TTimerListener() = default;
    virtual void timerFired(const Vorn::VString& name) = 0;
};

// The process-wide keeper of the translators' named timers.
class TTransTimerManager {
public:
    virtual ~TTransTimerManager() = default;
    // Removes the finished timers; returns how many still have firings left.
    virtual int purgeFinished() = 0;
    // Stops the timer thread and deletes every timer.
    virtual void killAll() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Starts (or restarts with these values) the named timer: the first firing after
    // initialDelay ms, then every period ms, count firings (0: endless). A listener (not owned,
    // may be null) receives the firings in place of the engine. Refused values start nothing
    // and remove a running timer of that name.
    virtual void startNamed(const Vorn::VString& name, int initialDelay, int period, int count,
                            TTimerListener* listener) = 0;
    virtual void killNamed(const Vorn::VString& name) = 0;
    // The name's stable non-zero identifier (names differing in case share one); 0 for an
    // unknown name unless create adds it.
    virtual int idForName(const Vorn::VString& name, bool create) = 0;
};

} // namespace Tr
