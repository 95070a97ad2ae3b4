#pragma once

#include <mutex>

namespace Vorn {

// A recursive lock: the owning thread may enter it again; each lock() needs its unlock().
class VLock {
public:
    VLock() = default;
    virtual ~VLock() = default;
    VLock(const VLock&) = delete;
    VLock& operator=(const VLock&) = delete;

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a lock for the lifetime of a scope; a null lock is accepted and does nothing.
class ScopedLock {
public:
    explicit ScopedLock(VLock* lock) : lock_(lock) {
        if (lock_)
            lock_->lock();
    }
    ~ScopedLock() {
        if (lock_)
            lock_->unlock();
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    VLock* lock_;
};

} // namespace Vorn
