#include "engine/TRuntimeDispatcher.h"

#include "engine/ReportFailures.h"
#include "engine/TEventProcessor.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransAction.h"
#include "engine/TTransMsg.h"
#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"
#include "platform/ThreadControl.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace Tr {

namespace {

constexpr const char* kThreadName = "CV Runtime Dispatcher";

// Warned once per process: without real-time rights every dispatcher start would repeat it.
std::atomic<bool> priorityWarningGiven{false};

template <class Node, class Visit> void walkChain(Node* head, Visit visit) {
    for (Node* node = head; node != nullptr; node = node->next) {
        if (!visit(node))
            return;
    }
}

} // namespace

int TRuntimeDispatcherImpl::Compare::compare(const TRuntimeEvent* a, const TRuntimeEvent* b) const {
    return (a->due > b->due) - (a->due < b->due);
}

TRuntimeDispatcherImpl::TRuntimeDispatcherImpl(TGlobalTranslateParams* globals,
                                               TEventProcessor* processor, Drive drive)
    : globals_(globals), processor_(processor) {
    for (int i = kImmediatePoolSize - 1; i >= 0; --i)
        freeImmediate_.push(&immediateNodes_[i]);
    if (drive == Drive::Manual)
        return;
    thread_ = std::make_unique<Vorn::VThread>(Vorn::VString(kThreadName),
                                              static_cast<Vorn::VThreadRunner*>(this));
    thread_->setStackSize(kThreadStackBytes);
    if (!thread_->start()) {
        terminate_.store(true, std::memory_order_release);
        Vorn::reportError("Cannot start the thread %s", kThreadName);
    }
}

TRuntimeDispatcherImpl::~TRuntimeDispatcherImpl() {
    stop();
    flush();
}

void TRuntimeDispatcherImpl::stop() {
    terminate_.store(true, std::memory_order_release);
    if (thread_)
        thread_->stop();
}

TRuntimeEvent* TRuntimeDispatcherImpl::takeNode(bool delayed) {
    if (!delayed)
        return freeImmediate_.pop();
    if (freeDelayed_.isEmpty()) {
        auto block = std::make_unique<ScheduledEventAlloc>();
        for (int i = kDelayedBlockSize - 1; i >= 0; --i)
            freeDelayed_.push(&block->nodes[i]);
        delayedBlocks_.add(block.release());
    }
    return freeDelayed_.pop();
}

void TRuntimeDispatcherImpl::enqueue(TRuntimeEvent* node, int delayMillis) {
    node->cancelled = 0;
    if (delayMillis > 0) {
        node->due = Vorn::systemMillis() + delayMillis;
        delayed_.insert(node);
    } else {
        node->due = 0;
        immediate_.append(node);
    }
}

void TRuntimeDispatcherImpl::reportOverflow() {
    Vorn::reportError("engine queue overflow");
    Vorn::sleepMillis(1);
}

void TRuntimeDispatcherImpl::postOutgoing(const TTransContext& context, int delayMillis) {
    if (isTerminating() || context.translator == nullptr)
        return;
    bool queued = false;
    {
        Vorn::ScopedLock hold(&lock_);
        if (TRuntimeEvent* node = takeNode(delayMillis > 0)) {
            context.translator->retain();
            node->kind = TRuntimeEvent::kOutgoing;
            node->context = context;
            if (context.locals != nullptr)
                std::memcpy(node->locals, context.locals, sizeof node->locals);
            else
                std::memset(node->locals, 0, sizeof node->locals);
            node->context.locals = node->locals;
            enqueue(node, delayMillis);
            queued = true;
        }
    }
    if (!queued) {
        reportOverflow();
        return;
    }
    if (thread_)
        thread_->wake();
}

void TRuntimeDispatcherImpl::postIncoming(const TTransEvent& event) {
    if (isTerminating())
        return;
    // Copied before taking the lock, so the lock is never held across an allocation.
    std::unique_ptr<char[]> text;
    if (event.text != nullptr) {
        const size_t length = std::strlen(event.text);
        text = std::make_unique<char[]>(length + 1);
        std::memcpy(text.get(), event.text, length + 1);
    }
    std::unique_ptr<uint8_t[]> data;
    if (event.data != nullptr && event.dataLength > 0) {
        data = std::make_unique<uint8_t[]>(static_cast<size_t>(event.dataLength));
        std::memcpy(data.get(), event.data, static_cast<size_t>(event.dataLength));
    }
    bool queued = false;
    {
        Vorn::ScopedLock hold(&lock_);
        if (TRuntimeEvent* node = takeNode(false)) {
            node->kind = TRuntimeEvent::kIncoming;
            node->event = event;
            node->ownedText = std::move(text);
            node->ownedData = std::move(data);
            node->event.text = node->ownedText.get();
            // Without a copy the node must not keep pointing at the caller's bytes.
            node->event.data = node->ownedData.get();
            enqueue(node, 0);
            queued = true;
        }
    }
    if (!queued) {
        reportOverflow();
        return;
    }
    if (thread_)
        thread_->wake();
}

int TRuntimeDispatcherImpl::dispatchOne(Queue queue) {
    TRuntimeEvent* node = nullptr;
    {
        Vorn::ScopedLock hold(&lock_);
        if (queue == Queue::Delayed) {
            node = delayed_.head();
            if (node == nullptr)
                return kQueueEmpty;
            if (node->cancelled == 0) {
                const int64_t wait = node->due - Vorn::systemMillis();
                if (wait > 0)
                    return static_cast<int>(std::min<int64_t>(wait, INT_MAX));
            }
            delayed_.pop();
        } else {
            node = immediate_.pop();
            if (node == nullptr)
                return kQueueEmpty;
        }
    }
    if (node->cancelled == 0)
        execute(*node);
    releasePayload(*node);
    Vorn::ScopedLock hold(&lock_);
    (queue == Queue::Delayed ? freeDelayed_ : freeImmediate_).push(node);
    return kNodeHandled;
}

void TRuntimeDispatcherImpl::execute(TRuntimeEvent& node) {
    // Queued work runs after the walk that queued it has released the preset lock, and edits may
    // since have replaced the translator's actions or deleted its preset: hold the lock shared
    // again, as the walk does around inline actions. Posted events take it themselves.
    Vorn::VRWLock* presetLock = nullptr;
    if (node.kind == TRuntimeEvent::kOutgoing && globals_ != nullptr) {
        if (TPresetHandler* handler = globals_->presetHandler())
            presetLock = &handler->presetLock();
    }
    if (presetLock != nullptr)
        presetLock->lockRead();
    runReportingFailures([&] {
        if (node.kind == TRuntimeEvent::kIncoming) {
            if (processor_ != nullptr)
                processor_->processEventAndNotify(node.event);
        } else if (node.context.translator != nullptr) {
            // Where the translator is now: null once it left its preset, so that an action
            // never reaches a preset deleted while the work was queued.
            node.context.preset = node.context.translator->preset();
            uint32_t flags = 0;
            node.context.translator->executeOutgoing(node.context, flags);
            if (globals_ != nullptr)
                globals_->addActivity(flags);
        }
    });
    if (presetLock != nullptr)
        presetLock->unlockRead();
}

void TRuntimeDispatcherImpl::releasePayload(TRuntimeEvent& node) {
    if (node.kind == TRuntimeEvent::kIncoming) {
        node.event.text = nullptr;
        node.event.data = nullptr;
        node.ownedText.reset();
        node.ownedData.reset();
    } else if (node.context.translator != nullptr) {
        TTransMsg* const translator = node.context.translator;
        node.context.translator = nullptr;
        translator->release();
    }
}

void TRuntimeDispatcherImpl::flush() {
    // Unlinked under the lock, released outside it: releasing a translator may delete it, and
    // its destructor may call back into the dispatcher.
    Vorn::VLinkedListQueue<TRuntimeEvent> immediate;
    Vorn::VLinkedListQueue<TRuntimeEvent> delayed;
    {
        Vorn::ScopedLock hold(&lock_);
        while (TRuntimeEvent* node = immediate_.pop())
            immediate.append(node);
        while (TRuntimeEvent* node = delayed_.pop())
            delayed.append(node);
    }
    for (TRuntimeEvent* node = immediate.head(); node != nullptr; node = node->next)
        releasePayload(*node);
    for (TRuntimeEvent* node = delayed.head(); node != nullptr; node = node->next)
        releasePayload(*node);
    Vorn::ScopedLock hold(&lock_);
    while (TRuntimeEvent* node = immediate.pop())
        freeImmediate_.push(node);
    while (TRuntimeEvent* node = delayed.pop())
        freeDelayed_.push(node);
}

int TRuntimeDispatcherImpl::cancelEvents(int type, intptr_t key) {
    int marked = 0;
    auto mark = [&](TRuntimeEvent* node) {
        if (node->kind == TRuntimeEvent::kIncoming && node->cancelled == 0 &&
            node->event.type == type && node->event.key == key) {
            node->cancelled = 1;
            ++marked;
        }
        return true;
    };
    Vorn::ScopedLock hold(&lock_);
    walkChain(immediate_.head(), mark);
    walkChain(delayed_.head(), mark);
    return marked;
}

void TRuntimeDispatcherImpl::forEachOfType(TRuntimeEventVisitor* visitor, int kind, int type,
                                           void* argument) {
    if (visitor == nullptr)
        return;
    Vorn::ScopedLock hold(&lock_);
    walkChain(immediate_.head(), [&](TRuntimeEvent* node) {
        if (node->cancelled != 0)
            return true;
        if (kind == TRuntimeEvent::kIncoming) {
            if (node->kind != TRuntimeEvent::kIncoming || node->event.type != type)
                return true;
        } else {
            const TTransMsg* translator = node->context.translator;
            if (node->kind != TRuntimeEvent::kOutgoing || translator == nullptr ||
                translator->outgoing() == nullptr || translator->outgoing()->getType() != type)
                return true;
        }
        return visitor->visit(node, argument) != 0;
    });
}

void TRuntimeDispatcherImpl::forEachOfKind(TRuntimeEventVisitor* visitor, int kind,
                                           void* argument) {
    if (visitor == nullptr)
        return;
    Vorn::ScopedLock hold(&lock_);
    walkChain(immediate_.head(), [&](TRuntimeEvent* node) {
        if (node->cancelled != 0 || node->kind != kind)
            return true;
        return visitor->visit(node, argument) != 0;
    });
}

void TRuntimeDispatcherImpl::forEachPending(TRuntimeEventVisitor* visitor, void* argument) {
    if (visitor == nullptr)
        return;
    Vorn::ScopedLock hold(&lock_);
    walkChain(immediate_.head(), [&](TRuntimeEvent* node) {
        if (node->cancelled != 0)
            return true;
        return visitor->visit(node, argument) != 0;
    });
}

int TRuntimeDispatcherImpl::getQueueFillPercent() {
    Vorn::ScopedLock hold(&lock_);
    return immediate_.count() * 100 / kImmediatePoolSize;
}

bool TRuntimeDispatcherImpl::isDispatcherThread() {
    if (thread_)
        return thread_->isCurrentThread();
    return driverThread_.load() == std::this_thread::get_id();
}

int TRuntimeDispatcherImpl::pendingImmediate() {
    Vorn::ScopedLock hold(&lock_);
    return immediate_.count();
}

int TRuntimeDispatcherImpl::pendingDelayed() {
    Vorn::ScopedLock hold(&lock_);
    return delayed_.count();
}

int TRuntimeDispatcherImpl::delayedCapacity() {
    Vorn::ScopedLock hold(&lock_);
    return delayedBlocks_.count() * kDelayedBlockSize;
}

int TRuntimeDispatcherImpl::runDueDelayed(int& handled) {
    int result = kNodeHandled;
    while (!isTerminating() && (result = dispatchOne(Queue::Delayed)) == kNodeHandled)
        ++handled;
    return result;
}

void TRuntimeDispatcherImpl::runAllImmediate(int& handled) {
    while (!isTerminating() && dispatchOne(Queue::Immediate) == kNodeHandled)
        ++handled;
}

void TRuntimeDispatcherImpl::run(Vorn::VThread* thread) {
    if (!Platform::systemThreadControl().applyPriority(Vorn::VThread::kPriorityTimeCritical) &&
        !priorityWarningGiven.exchange(true)) {
        Vorn::report(1, "Warning: %s runs without time-critical priority (refused by the system)",
                     kThreadName);
    }
    int handled = 0;
    while (!isTerminating()) {
        runAllImmediate(handled);
        const int wait = runDueDelayed(handled);
        if (pendingImmediate() > 0)
            continue;
        thread->waitForWake(wait > 0 ? wait : kIdleWaitMillis);
    }
}

int TRuntimeDispatcherImpl::runDue() {
    if (thread_)
        return 0;
    const std::thread::id previous = driverThread_.exchange(std::this_thread::get_id());
    int handled = 0;
    do {
        runAllImmediate(handled);
        runDueDelayed(handled);
    } while (!isTerminating() && pendingImmediate() > 0);
    driverThread_.store(previous);
    return handled;
}

std::optional<int64_t> TRuntimeDispatcherImpl::nextDueMillis() {
    Vorn::ScopedLock hold(&lock_);
    if (!immediate_.isEmpty())
        return Vorn::systemMillis();
    const TRuntimeEvent* head = delayed_.head();
    if (head == nullptr)
        return std::nullopt;
    return head->cancelled != 0 ? Vorn::systemMillis() : head->due;
}

} // namespace Tr
