#include "platform/ThreadControl.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace Platform {
namespace {

// Linux keeps at most 15 bytes of a thread name; never cut a UTF-8 sequence in half.
constexpr size_t kMaxNameBytes = 15;

// Real-time priorities for "highest" and "time-critical", in the SCHED_FIFO range 1..99: above
// ordinary audio clients' helpers, below the threads of a sound server.
constexpr int kHighestFifoPriority = 40;
constexpr int kTimeCriticalFifoPriority = 60;
constexpr int kLowestNice = 10;
constexpr int kIdleNice = 19;

void* runBody(void* argument) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

bool setRealTime(int priority) {
    sched_param param{};
    param.sched_priority = std::clamp(priority, sched_get_priority_min(SCHED_FIFO),
                                      sched_get_priority_max(SCHED_FIFO));
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

bool setNormal(int nice) {
    sched_param param{};
    if (pthread_setschedparam(pthread_self(), SCHED_OTHER, &param) != 0)
        return false;
    // On Linux a thread id given to setpriority names that thread alone.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0;
}

class LinuxThreadControl final : public ThreadControl {
public:
    bool startThread(int stackBytes, std::function<void()> body) override {
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0)
            return false;
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        if (stackBytes > 0) {
            const long page = sysconf(_SC_PAGESIZE);
            size_t bytes = std::max<size_t>(size_t(stackBytes), PTHREAD_STACK_MIN);
            bytes = (bytes + page - 1) / page * page;
            pthread_attr_setstacksize(&attributes, bytes);
        }
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        pthread_t thread;
        const bool started = pthread_create(&thread, &attributes, runBody, owned.get()) == 0;
        pthread_attr_destroy(&attributes);
        if (started)
            owned.release(); // runBody owns it now
        return started;
    }

    bool applyPriority(int priority) override {
        switch (priority) {
        case 1:
            return setRealTime(kHighestFifoPriority);
        case 2:
            return setRealTime(kTimeCriticalFifoPriority);
        case 3:
            return setNormal(kLowestNice);
        case 4: {
            sched_param param{};
            if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0)
                return true;
            return setNormal(kIdleNice);
        }
        default:
            return setNormal(0);
        }
    }

    void setCurrentThreadName(const std::string& name) override {
        size_t length = std::min(name.size(), kMaxNameBytes);
        if (length < name.size()) {
            while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
                --length;
        }
        pthread_setname_np(pthread_self(), name.substr(0, length).c_str());
    }
};

} // namespace

ThreadControl& systemThreadControl() {
    static LinuxThreadControl control;
    return control;
}

} // namespace Platform
