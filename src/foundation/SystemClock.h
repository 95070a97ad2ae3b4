#pragma once

#include "platform/Clock.h"

#include <cstdint>

namespace Vorn {

// The process millisecond clock: milliseconds since its first use, 1 ms resolution. Every time
// read of the engine goes through here, so a manual clock makes all of it run on virtual time.
int64_t systemMillis();

// Replaces the clock systemMillis reads (nullptr restores the system clock). A manual clock's
// time is read as it stands; the restored system clock counts again from 0. Call it before the
// time-driven services start; the clock must outlive its use.
void useClock(Platform::Clock* clock);

// Sleeps the calling thread for real time (not virtual time).
void sleepMillis(int millis);

} // namespace Vorn
