#include "foundation/VEvent.h"

#include <chrono>

namespace Vorn {

void VEvent::signal() {
    std::lock_guard hold(mutex_);
    signalled_ = true;
    changed_.notify_one();
}

bool VEvent::wait(int ms) {
    std::unique_lock hold(mutex_);
    auto isSignalled = [this] { return signalled_; };
    if (ms <= 0)
        changed_.wait(hold, isSignalled);
    else if (!changed_.wait_for(hold, std::chrono::milliseconds(ms), isSignalled))
        return false;
    signalled_ = false;
    return true;
}

} // namespace Vorn
