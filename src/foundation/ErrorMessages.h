#pragma once

#include "foundation/VString.h"

#include <cstdio>
#include <functional>
#include <string_view>

namespace Vorn {

// Message levels of the callback registry.
enum ErrorLevel { kLevelError = 0, kLevelWarning = 1, kLevelInfo = 2, kLevelDebug = 3 };

// The kind of report() that marks an error; every other kind is a plain diagnostic.
constexpr int kReportError = 2;

// Receives the messages of reportError/reportWarning/reportInfo and of report(kReportError, ...).
// Called on the thread that reported; callbacks must not block for long.
class ErrorMessageCallback {
public:
    virtual ~ErrorMessageCallback();
    virtual void message(int level, const VString& text) = 0;
};

// Writes one diagnostic line "<ms>-<thread id>: [ERROR: ]<text>\n" to the line output (or the
// standard error stream) and the log file. Kind kReportError also sends the text to every
// callback at level 0. Any thread; each line is written whole, with one call.
void report(int kind, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Format and send to every registered callback, in registration order, at level 0, 1 or 2.
// Any thread.
void reportError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void reportWarning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void reportInfo(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The registry is process-wide and safe to use from any thread. Dispatch holds the registry's
// recursive lock, so callbacks run one at a time, may report or (un)register from inside
// message(), and once removeErrorCallback returns the callback is never called again. A callback
// must therefore not wait for a thread that may be reporting at the same time.
void addErrorCallback(ErrorMessageCallback* callback); // ignores duplicates and nullptr
void removeErrorCallback(ErrorMessageCallback* callback);

// Empties the registry and frees it (the end of the process-wide teardown). The callbacks
// themselves are not owned and not deleted.
void deleteErrorCallbackRegistry();

// Replaces the standard error stream as the destination of diagnostic lines; an empty function
// restores it. The function receives one complete line (with its line feed) per call; calls are
// serialised, on the reporting threads.
using LineOutput = std::function<void(std::string_view line)>;
void setLineOutput(LineOutput output);

// Also writes every diagnostic line to a log file (flushed after each line). setLogFile opens
// (appends to) the path and owns the stream; setLogStream uses a stream the caller keeps open
// until it is replaced. An empty path or nullptr stops file logging. Returns false when the
// file cannot be opened (file logging is then off).
bool setLogFile(const char* path);
void setLogStream(std::FILE* stream);

} // namespace Vorn
