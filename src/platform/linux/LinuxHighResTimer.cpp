#include "platform/HighResTimer.h"

#include <pthread.h>
#include <time.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace Platform {
namespace {

constexpr long kNanosPerMilli = 1000000;
constexpr long kNanosPerSecond = 1000000000;

void addMillis(timespec& time, int millis) {
    time.tv_nsec += long(millis) * kNanosPerMilli;
    while (time.tv_nsec >= kNanosPerSecond) {
        time.tv_nsec -= kNanosPerSecond;
        ++time.tv_sec;
    }
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// One thread for the timer's lifetime, created on the first start; between a stop and the next
// start it waits on a condition variable.
class LinuxHighResTimer final : public HighResTimer {
public:
    ~LinuxHighResTimer() override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            quit_ = true;
            running_ = false;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    bool start(int periodMillis, std::function<void()> tick) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (running_)
            return true;
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        period_ = periodMillis < 1 ? 1 : periodMillis;
        tick_ = std::move(tick);
        running_ = true;
        ++generation_;
        wake_.notify_all();
        return true;
    }

    void stop() override {
        std::lock_guard<std::mutex> guard(mutex_);
        running_ = false;
    }

    bool isRunning() const override {
        std::lock_guard<std::mutex> guard(mutex_);
        return running_;
    }

private:
    void run() {
        pthread_setname_np(pthread_self(), "CV Timer");
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (!running_) {
                wake_.wait(lock, [this] { return running_ || quit_; });
                continue;
            }
            const unsigned generation = generation_;
            const int period = period_;
            std::function<void()> tick = tick_;
            lock.unlock();
            timespec deadline{};
            clock_gettime(CLOCK_MONOTONIC, &deadline);
            for (;;) {
                addMillis(deadline, period);
                while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
                }
                {
                    std::lock_guard<std::mutex> guard(mutex_);
                    if (!running_ || quit_ || generation != generation_)
                        break;
                }
                tick();
                // After a stall, the next deadline is the next whole period from now: the
                // tick itself catches up with what fell due meanwhile.
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                if (before(deadline, now))
                    deadline = now;
            }
            lock.lock();
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::function<void()> tick_;
    int period_ = 1;
    unsigned generation_ = 0;
    bool running_ = false;
    bool quit_ = false;
};

} // namespace

std::unique_ptr<HighResTimer> createHighResTimer() {
    return std::make_unique<LinuxHighResTimer>();
}

} // namespace Platform
