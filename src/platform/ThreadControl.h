#pragma once

#include <functional>
#include <string>

namespace Platform {

// Operating-system thread services that the standard library does not offer.
class ThreadControl {
public:
    virtual ~ThreadControl() = default;

    // Starts a detached thread running body with stackBytes of stack (0: the system default).
    // False when no thread could be created.
    virtual bool startThread(int stackBytes, std::function<void()> body) = 0;
    // Gives the calling thread a priority: 1 highest, 2 time-critical (both real-time where
    // allowed), 3 lowest, 4 idle, anything else normal. False when the system refused; the
    // thread then keeps its priority.
    virtual bool applyPriority(int priority) = 0;
    // Names the calling thread for debuggers and system tools (may be shortened).
    virtual void setCurrentThreadName(const std::string& name) = 0;
};

// The real backend; lives as long as the process.
ThreadControl& systemThreadControl();

} // namespace Platform
