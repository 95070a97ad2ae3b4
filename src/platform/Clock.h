#pragma once

#include <cstdint>

namespace Platform {

// A source of monotonic time in milliseconds. The origin is arbitrary; only differences count.
// Implementations may be read from any thread at any time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowMillis() const = 0;
};

// The operating system's monotonic clock (the real backend; lives as long as the process).
Clock& systemClock();

} // namespace Platform
