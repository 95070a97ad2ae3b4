#include "host/TMasterLog.h"

#include "foundation/SystemClock.h"

namespace Tr {

TMasterLog::TMasterLog(std::FILE* console) : console_(console ? console : stdout) {}

void TMasterLog::log(const Vorn::VString& text, int level) {
    bool debug = debugOutput_.load(std::memory_order_relaxed);
    if (debug || level >= kError ||
        (level == kVerbose && verbose_.load(std::memory_order_relaxed))) {
        std::lock_guard<std::mutex> hold(consoleLock_);
        if (timeStamps_.load(std::memory_order_relaxed))
            std::fprintf(console_, "%d: %s\n", static_cast<int>(Vorn::systemMillis()),
                         text.c_str());
        else
            std::fprintf(console_, "%s\n", text.c_str());
        std::fflush(console_);
    }
    if (file_ && (level != kDebug || debug))
        file_->append(std::string(text.view()));
}

} // namespace Tr
