#include "foundation/ErrorMessages.h"

#include "foundation/SystemClock.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace Vorn {
namespace {

struct CallbackRegistry {
    std::recursive_mutex lock;
    std::unique_ptr<std::vector<ErrorMessageCallback*>> callbacks; // created on first add
};

CallbackRegistry& callbackRegistry() {
    static CallbackRegistry registry;
    return registry;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct LineSinks {
    // Recursive so a line output that reports does not deadlock; held across the writes so
    // lines of different threads reach each sink whole and in one order.
    std::recursive_mutex lock;
    LineOutput output;
    std::unique_ptr<std::FILE, FileCloser> ownedLog;
    std::FILE* log = nullptr;
};

LineSinks& lineSinks() {
    static LineSinks sinks;
    return sinks;
}

void dispatch(int level, const VString& text) {
    CallbackRegistry& registry = callbackRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    // Index walk: a callback may add or remove callbacks (itself included) from inside message().
    for (int i = 0; registry.callbacks && i < static_cast<int>(registry.callbacks->size()); ++i) {
        ErrorMessageCallback* callback = (*registry.callbacks)[i];
        callback->message(level, text);
        if (!registry.callbacks)
            return;
        auto found = std::find(registry.callbacks->begin(), registry.callbacks->end(), callback);
        if (found == registry.callbacks->end())
            --i; // removed: the next callback moved into its place
        else
            i = static_cast<int>(found - registry.callbacks->begin());
    }
}

void dispatchFormatted(int level, const char* fmt, va_list args) {
    dispatch(level, VString::formatArgs(fmt, args));
}

void writeLine(const VString& line) {
    LineSinks& sinks = lineSinks();
    std::lock_guard<std::recursive_mutex> guard(sinks.lock);
    if (sinks.output) {
        sinks.output(line.view());
    } else {
        std::fwrite(line.c_str(), 1, line.length(), stderr);
        std::fflush(stderr);
    }
    if (sinks.log) {
        std::fwrite(line.c_str(), 1, line.length(), sinks.log);
        std::fflush(sinks.log);
    }
}

void* currentThreadTag() {
    return reinterpret_cast<void*>(
        static_cast<uintptr_t>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
}

} // namespace

ErrorMessageCallback::~ErrorMessageCallback() = default;

void report(int kind, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    VString text = VString::formatArgs(fmt, args);
    va_end(args);

    char prefix[100]; // the prefix is cut to 99 characters
    std::snprintf(prefix, sizeof prefix, "%d-%p: %s", static_cast<int>(systemMillis()),
                  currentThreadTag(), kind == kReportError ? "ERROR: " : "");
    VString line = VString::withCapacity(static_cast<int>(std::strlen(prefix)) + text.length() + 1);
    line.append(prefix).append(text).append('\n');
    writeLine(line);

    if (kind == kReportError)
        dispatch(kLevelError, text);
}

void reportError(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    dispatchFormatted(kLevelError, fmt, args);
    va_end(args);
}

void reportWarning(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    dispatchFormatted(kLevelWarning, fmt, args);
    va_end(args);
}

void reportInfo(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    dispatchFormatted(kLevelInfo, fmt, args);
    va_end(args);
}

void addErrorCallback(ErrorMessageCallback* callback) {
    if (!callback)
        return;
    CallbackRegistry& registry = callbackRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    if (!registry.callbacks)
        registry.callbacks = std::make_unique<std::vector<ErrorMessageCallback*>>();
    std::vector<ErrorMessageCallback*>& callbacks = *registry.callbacks;
    if (std::find(callbacks.begin(), callbacks.end(), callback) == callbacks.end())
        callbacks.push_back(callback);
}

void removeErrorCallback(ErrorMessageCallback* callback) {
    CallbackRegistry& registry = callbackRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    if (!registry.callbacks)
        return;
    std::vector<ErrorMessageCallback*>& callbacks = *registry.callbacks;
    callbacks.erase(std::remove(callbacks.begin(), callbacks.end(), callback), callbacks.end());
}

void deleteErrorCallbackRegistry() {
    CallbackRegistry& registry = callbackRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    registry.callbacks.reset();
}

void setLineOutput(LineOutput output) {
    LineSinks& sinks = lineSinks();
    std::lock_guard<std::recursive_mutex> guard(sinks.lock);
    sinks.output = std::move(output);
}

bool setLogFile(const char* path) {
    std::unique_ptr<std::FILE, FileCloser> file;
    if (path && *path)
        file.reset(std::fopen(path, "a"));
    LineSinks& sinks = lineSinks();
    std::lock_guard<std::recursive_mutex> guard(sinks.lock);
    sinks.ownedLog = std::move(file);
    sinks.log = sinks.ownedLog.get();
    return sinks.log != nullptr || !path || !*path;
}

void setLogStream(std::FILE* stream) {
    LineSinks& sinks = lineSinks();
    std::lock_guard<std::recursive_mutex> guard(sinks.lock);
    sinks.ownedLog.reset();
    sinks.log = stream;
}

} // namespace Vorn
