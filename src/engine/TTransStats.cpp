#include "engine/TTransStats.h"

namespace Tr {

namespace {
bool isTypeCode(int type) {
    return type >= 0 && type < kActionTypeCount;
}
} // namespace

void TTransStats::countEvent(int type) {
    events_.fetch_add(1, std::memory_order_relaxed);
    bump(eventsPerType_, type);
}

void TTransStats::countMatch(int type) {
    matched_.fetch_add(1, std::memory_order_relaxed);
    bump(matchesPerType_, type);
}

void TTransStats::countOutgoing(int eventType) {
    outgoing_.fetch_add(1, std::memory_order_relaxed);
    bump(outgoingPerType_, eventType);
}

int32_t TTransStats::load(const Counters& counters, int type) {
    return isTypeCode(type) ? counters[type].load(std::memory_order_relaxed) : 0;
}

void TTransStats::bump(Counters& counters, int type) {
    if (isTypeCode(type))
        counters[type].fetch_add(1, std::memory_order_relaxed);
}

} // namespace Tr
