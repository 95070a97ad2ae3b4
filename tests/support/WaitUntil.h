#pragma once

#include <chrono>
#include <thread>

namespace TestSupport {

// Polls condition every millisecond until it holds or timeoutMillis pass; returns its last value.
// For threaded tests: a generous timeout turns a hang into a failure.
template <class Condition> bool waitUntil(Condition condition, int timeoutMillis = 5000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMillis);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace TestSupport
