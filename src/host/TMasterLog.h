#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "foundation/VString.h"
#include "host/TLogFile.h"

namespace Tr {

// The master's own log output: console lines and the log file. Levels: 0 debug, 1 verbose,
// 2 error, 3 normal. A line goes to the console when the debug output flag is set, at level 2
// and above, or at level 1 with the verbose flag; as "ms: text" when time stamps are on. It goes
// to the log file, when one is set, at every level but debug (all levels with debug output).
//
// Threads: log from any thread; the setters on the host thread before logging starts.
class TMasterLog {
public:
    enum Level { kDebug = 0, kVerbose = 1, kError = 2, kNormal = 3 };

    // console: where the lines are printed (standard output when null); not owned.
    explicit TMasterLog(std::FILE* console = nullptr);

    void setDebugOutput(bool on) { debugOutput_.store(on, std::memory_order_relaxed); }
    void setVerbose(bool on) { verbose_.store(on, std::memory_order_relaxed); }
    // The time-debug option of the command line: milliseconds of the process clock first.
    void setTimeStamps(bool on) { timeStamps_.store(on, std::memory_order_relaxed); }
    // Null: no log file.
    void setLogFile(std::unique_ptr<TLogFile> file) { file_ = std::move(file); }
    TLogFile* logFile() const { return file_.get(); }

    void log(const Vorn::VString& text, int level);

private:
    std::FILE* const console_;
    std::mutex consoleLock_;
    std::atomic<bool> debugOutput_{false};
    std::atomic<bool> verbose_{false};
    std::atomic<bool> timeStamps_{false};
    std::unique_ptr<TLogFile> file_;
};

} // namespace Tr
