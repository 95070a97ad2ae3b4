#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace Tr {

// A value read lock-free on real-time threads and replaced as a whole by other threads.
//
// Readers never wait and allocate nothing: a Reader counts itself in the current epoch (one of
// two counters) for as long as it lives. A writer publishes a new value, flips the epoch and
// frees the old value once the old epoch's counter has drained. A reader whose epoch flipped
// between reading it and counting itself counts again in the new one, so every reader that can
// still see an old value is counted in that value's epoch.
//
// With waitForReaders, replace() and update() return only once no reader sees the old value any
// more, so whatever it pointed to (listeners) may be freed then; they must therefore never run on
// a thread that holds a Reader of the same snapshot, nor while holding a lock that a reader may
// wait for. Without it (values that point only at objects that outlive every reader, such as
// aliases) the old value is freed by a later change, or by the destructor, once each epoch's
// counter was seen empty after the change (a reader of it may sit in either epoch, because the
// change before did not wait).
template <class T, bool waitForReaders = true> class MidiSnapshot {
public:
    class Reader {
    public:
        explicit Reader(const MidiSnapshot& snapshot)
            : counter_(snapshot.enter()),
              value_(snapshot.current_.load(std::memory_order_seq_cst)) {}
        ~Reader() { counter_->fetch_sub(1, std::memory_order_release); }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        const T& operator*() const { return *value_; }
        const T* operator->() const { return value_; }

    private:
        std::atomic<int>* counter_;
        const T* value_;
    };

    MidiSnapshot() : current_(new T()) {}
    ~MidiSnapshot() {
        delete current_.load();
        for (const Retired& retired : retired_)
            delete retired.value;
    }
    MidiSnapshot(const MidiSnapshot&) = delete;
    MidiSnapshot& operator=(const MidiSnapshot&) = delete;

    // Any thread; keep the Reader in a named variable while using the value.
    Reader read() const { return Reader(*this); }

    // Writers: one at a time.
    template <class Change> void update(Change&& change) {
        std::lock_guard<std::mutex> hold(writer_);
        T value(*current_.load()); // only writers change it, and this one holds the lock
        change(value);
        publish(std::move(value));
    }
    void replace(T value) {
        std::lock_guard<std::mutex> hold(writer_);
        publish(std::move(value));
    }

private:
    struct Retired {
        const T* value;
        bool drained[2]; // each counter seen empty since the value was replaced
    };

    std::atomic<int>* enter() const {
        for (;;) {
            const int epoch = epoch_.load(std::memory_order_seq_cst);
            counters_[epoch].fetch_add(1, std::memory_order_seq_cst);
            if (epoch_.load(std::memory_order_seq_cst) == epoch)
                return &counters_[epoch];
            counters_[epoch].fetch_sub(1, std::memory_order_release); // flipped meanwhile
        }
    }

    bool drained(int epoch) const { return counters_[epoch].load(std::memory_order_acquire) == 0; }

    void publish(T value) {
        const T* old = current_.exchange(new T(std::move(value)), std::memory_order_seq_cst);
        const int epoch = epoch_.load(std::memory_order_seq_cst);
        epoch_.store(1 - epoch, std::memory_order_seq_cst);
        if constexpr (waitForReaders) {
            while (!drained(epoch))
                std::this_thread::yield();
            delete old;
        } else {
            retired_.push_back(Retired{old, {false, false}});
            std::vector<Retired> kept;
            for (Retired& retired : retired_) {
                for (int e = 0; e < 2; ++e)
                    retired.drained[e] = retired.drained[e] || drained(e);
                if (retired.drained[0] && retired.drained[1])
                    delete retired.value;
                else
                    kept.push_back(retired);
            }
            retired_.swap(kept);
        }
    }

    std::mutex writer_;
    std::atomic<const T*> current_;
    std::atomic<int> epoch_{0};
    mutable std::atomic<int> counters_[2] = {0, 0};
    std::vector<Retired> retired_; // guarded by writer_
};

} // namespace Tr
