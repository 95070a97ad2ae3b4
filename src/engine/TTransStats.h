#pragma once

#include "engine/ActionTypes.h"

#include <atomic>
#include <cstdint>

namespace Tr {

// Engine statistics. Incremented by every event-processing thread without a lock (relaxed
// atomics); the counts wrap like the plain 32-bit counters they stand for.
class TTransStats {
public:
    TTransStats() = default;
    virtual ~TTransStats() = default;
    TTransStats(const TTransStats&) = delete;
    TTransStats& operator=(const TTransStats&) = delete;

    // Each ignores type codes outside 0..16 for its per-type array.
    void countEvent(int type);
    void countMatch(int type);
    // Counted per type of the triggering event.
    void countOutgoing(int eventType);

    int32_t events() const { return events_.load(std::memory_order_relaxed); }
    int32_t matched() const { return matched_.load(std::memory_order_relaxed); }
    int32_t outgoing() const { return outgoing_.load(std::memory_order_relaxed); }
    // 0 for type codes outside 0..16.
    int32_t eventsOfType(int type) const { return load(eventsPerType_, type); }
    int32_t matchesOfType(int type) const { return load(matchesPerType_, type); }
    int32_t outgoingOfType(int eventType) const { return load(outgoingPerType_, eventType); }

private:
    using Counters = std::atomic<int32_t>[kActionTypeCount];
    static int32_t load(const Counters& counters, int type);
    static void bump(Counters& counters, int type);

    std::atomic<int32_t> events_{0};
    std::atomic<int32_t> matched_{0};
    std::atomic<int32_t> outgoing_{0};
    Counters eventsPerType_{};
    Counters matchesPerType_{};
    Counters outgoingPerType_{};
};

} // namespace Tr
