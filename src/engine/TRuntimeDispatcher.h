#pragma once

#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "foundation/VLinkedList.h"
#include "foundation/VLock.h"
#include "foundation/VOwnedList.h"
#include "foundation/VThread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

namespace Tr {

class TEventProcessor;
class TGlobalTranslateParams;

// One piece of queued dispatcher work: an outgoing action (kind 0) or an incoming event (1).
struct TRuntimeEvent {
    static constexpr int32_t kOutgoing = 0;
    static constexpr int32_t kIncoming = 1;

    int32_t kind = kOutgoing;
    TRuntimeEvent* next = nullptr;
    int64_t due = 0; // milliseconds of Vorn::systemMillis(); 0 for immediate work
    int32_t cancelled = 0;
    // Kind 1: the event; its text and data point into the owned copies below.
    TTransEvent event{};
    std::unique_ptr<char[]> ownedText;
    std::unique_ptr<uint8_t[]> ownedData;
    // Kind 0: the context, whose locals point at this node's own copy of them.
    TTransContext context{};
    int32_t locals[kLocalVariableCount] = {};
};

// Visits pending dispatcher nodes, under the dispatcher's lock: it must not flush, cancel or
// wait for another thread that posts.
class TRuntimeEventVisitor {
public:
    virtual ~TRuntimeEventVisitor() = default;
    // Returns 0 to stop the walk.
    virtual int visit(TRuntimeEvent* node, void* argument) = 0;
};

// Runs outgoing actions and posted events later, in queue order, on one thread.
class TRuntimeDispatcher {
public:
    virtual ~TRuntimeDispatcher() = default;

    // Drops every pending node, immediate and delayed.
    virtual void flush() = 0;
    // Marks every pending incoming-event node with this event type and key, immediate or
    // delayed, as cancelled; returns how many were marked.
    virtual int cancelEvents(int type, intptr_t key) = 0;
    // The walks cover the immediate queue only and skip cancelled nodes. Kind 1: incoming
    // events of this event type; otherwise outgoing nodes whose action has this type code
    // (read from the translator: call it holding the preset lock, which edits take exclusively).
    virtual void forEachOfType(TRuntimeEventVisitor* visitor, int kind, int type,
                               void* argument) = 0;
    virtual void forEachOfKind(TRuntimeEventVisitor* visitor, int kind, void* argument) = 0;
    virtual void forEachPending(TRuntimeEventVisitor* visitor, void* argument) = 0;
    // Immediate-queue length * 100 / the immediate pool size.
    virtual int getQueueFillPercent() = 0;
    virtual Vorn::VLock* getLock() = 0;
    // True on the dispatcher's thread (in manual drive: on the thread inside runDue()).
    virtual bool isDispatcherThread() = 0;
};

// The dispatcher with its pools: a fixed pool of immediate nodes that never grows, and delayed
// nodes from blocks that grow without limit. The lock guards pools and lists only; it is never
// held while an action executes or an event is processed. A queued outgoing action runs under
// the preset lock held shared (the globals' preset handler's, when there is one), as inline
// actions do, so that no edit changes its translator meanwhile.
//
// Threaded drive (the default): the thread "CV Runtime Dispatcher" starts in the constructor.
// Manual drive: no thread; the owner advances the clock (Vorn::useClock) and calls runDue() on
// its own thread. Posting works from any thread in both.
class TRuntimeDispatcherImpl final : public TRuntimeDispatcher, private Vorn::VThreadRunner {
public:
    enum class Drive { Threaded, Manual };
    static constexpr int kImmediatePoolSize = 400;
    static constexpr int kDelayedBlockSize = 50;
    static constexpr int kThreadStackBytes = 128 * 1024;
    static constexpr int kIdleWaitMillis = 1000;

    // processor receives posted events (kind 1); without one they are dropped unprocessed.
    TRuntimeDispatcherImpl(TGlobalTranslateParams* globals, TEventProcessor* processor,
                           Drive drive = Drive::Threaded);
    // Stops the thread and releases whatever is still pending.
    ~TRuntimeDispatcherImpl() override;
    TRuntimeDispatcherImpl(const TRuntimeDispatcherImpl&) = delete;
    TRuntimeDispatcherImpl& operator=(const TRuntimeDispatcherImpl&) = delete;

    // Sets the terminate flag, wakes the thread and waits for it. Later posts are ignored.
    // Owner's thread; not from the dispatcher thread itself.
    void stop();

    // Queues a copy of the event (its text and data duplicated) for processing. Any thread.
    void postIncoming(const TTransEvent& event);
    // Queues the context's translator's outgoing action, with a private copy of the locals, to
    // run after delayMillis (immediately when 0 or less). The translator is retained until the
    // node is released. Ignores a context without translator. Any thread.
    void postOutgoing(const TTransContext& context, int delayMillis);

    void flush() override;
    int cancelEvents(int type, intptr_t key) override;
    void forEachOfType(TRuntimeEventVisitor* visitor, int kind, int type, void* argument) override;
    void forEachOfKind(TRuntimeEventVisitor* visitor, int kind, void* argument) override;
    void forEachPending(TRuntimeEventVisitor* visitor, void* argument) override;
    int getQueueFillPercent() override;
    Vorn::VLock* getLock() override { return &lock_; }
    bool isDispatcherThread() override;

    // Manual drive, on the driving thread: runs every immediate node and every delayed node
    // whose time has come, in order, including what they post for now, until nothing is due.
    // Returns the number of nodes handled (0 in threaded drive).
    int runDue();
    // The time the next node falls due (now when immediate work is pending); none when idle.
    std::optional<int64_t> nextDueMillis();

    int pendingImmediate();
    int pendingDelayed();
    // Delayed nodes allocated so far (free or pending).
    int delayedCapacity();

private:
    struct ScheduledEventAlloc {
        TRuntimeEvent nodes[kDelayedBlockSize];
    };
    class Compare final : public Vorn::VLinkedListSorted<TRuntimeEvent>::Compare {
    public:
        int compare(const TRuntimeEvent* a, const TRuntimeEvent* b) const override;
    };
    enum class Queue { Immediate, Delayed };
    static constexpr int kNodeHandled = 0;
    static constexpr int kQueueEmpty = -1;

    void run(Vorn::VThread* thread) override;
    bool isTerminating() const { return terminate_.load(std::memory_order_acquire); }
    // Under the lock: a free node for this queue, or nullptr when the immediate pool is empty.
    TRuntimeEvent* takeNode(bool delayed);
    void enqueue(TRuntimeEvent* node, int delayMillis);
    static void reportOverflow();
    // 0 after handling a node, -1 when the queue is empty, else milliseconds until the head is due.
    int dispatchOne(Queue queue);
    void execute(TRuntimeEvent& node);
    void releasePayload(TRuntimeEvent& node);
    // Delayed nodes until one is not yet due; the wait for it, or -1 when none is left.
    int runDueDelayed(int& handled);
    void runAllImmediate(int& handled);

    Vorn::VLock lock_;
    Compare compare_;
    std::atomic<bool> terminate_{false};
    std::unique_ptr<Vorn::VThread> thread_; // null in manual drive
    std::atomic<std::thread::id> driverThread_{};
    TGlobalTranslateParams* const globals_;
    TEventProcessor* const processor_;
    TRuntimeEvent immediateNodes_[kImmediatePoolSize];
    Vorn::VOwnedList<ScheduledEventAlloc> delayedBlocks_;
    Vorn::VLinkedListStack<TRuntimeEvent> freeDelayed_;
    Vorn::VLinkedListStack<TRuntimeEvent> freeImmediate_;
    Vorn::VLinkedListQueue<TRuntimeEvent> immediate_;
    Vorn::VLinkedListSorted<TRuntimeEvent> delayed_{compare_};
};

} // namespace Tr
