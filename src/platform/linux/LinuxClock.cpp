#include "platform/Clock.h"

#include <time.h>

namespace Platform {
namespace {

class LinuxClock final : public Clock {
public:
    int64_t nowMillis() const override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    }
};

} // namespace

Clock& systemClock() {
    static LinuxClock clock;
    return clock;
}

} // namespace Platform
