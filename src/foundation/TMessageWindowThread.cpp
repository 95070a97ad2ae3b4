#include "foundation/TMessageWindowThread.h"

#include "foundation/SystemClock.h"

#include <algorithm>
#include <atomic>

namespace Vorn {
namespace {

// Private thread messages, recognised only when the message number equals its lParam.
constexpr uint32_t kUserMessage = 0x0400;
constexpr uint32_t kCreateMessage = kUserMessage + 1224;  // wParam: a create request
constexpr uint32_t kRemoveMessage = kUserMessage + 1223;  // wParam: the window (or none)
constexpr uint32_t kCreatedMessage = kUserMessage + 1222; // to a window: tell windowCreated

constexpr int kCreateWaitPolls = 2000;

enum RequestState { kPending, kDone, kCancelled };

} // namespace

struct MessageWindow {
    MessageWindow(TWndMessageListener* owner, const VString& text) : listener(owner), title(text) {}

    std::atomic<TWndMessageListener*> listener;
    const VString title;
    VLock callLock; // held around every listener call, and to clear the listener
};

struct TMessageWindowThread::CreateRequest {
    CreateRequest(TWndMessageListener* owner, const VString& text) : listener(owner), title(text) {}

    TWndMessageListener* const listener;
    const VString title;
    std::atomic<int> state{kPending};
    std::atomic<MessageWindow*> result{nullptr};
};

struct TMessageWindowThread::Posted {
    MessageWindow* window = nullptr; // null: a thread message
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::shared_ptr<CreateRequest> request;
};

void TWndMessageListener::windowCreated(MessageWindow*) {}

TMessageWindowThread::TMessageWindowThread() : VThread("Window Message Thread") {}

TMessageWindowThread::~TMessageWindowThread() {
    // The base destructor would not reach this class's requestStop.
    requestStop();
    stop();
}

void TMessageWindowThread::requestStop() {
    VThread::requestStop();
    post(Posted{nullptr, kRemoveMessage, 0, kRemoveMessage, nullptr});
}

bool TMessageWindowThread::post(Posted posted) {
    std::lock_guard hold(queueMutex_);
    if (!accepting_)
        return false;
    queue_.push_back(std::move(posted));
    queueChanged_.notify_one();
    return true;
}

bool TMessageWindowThread::postWindowMessage(MessageWindow* window, uint32_t message,
                                             uintptr_t wParam, intptr_t lParam) {
    return window && hasWindow(window) && post(Posted{window, message, wParam, lParam, nullptr});
}

bool TMessageWindowThread::postCreate(const std::shared_ptr<CreateRequest>& request) {
    return post(Posted{nullptr, kCreateMessage, 0, kCreateMessage, request});
}

bool TMessageWindowThread::postRemove(MessageWindow* window) {
    return post(Posted{nullptr, kRemoveMessage, reinterpret_cast<uintptr_t>(window), kRemoveMessage,
                       nullptr});
}

TMessageWindowThread::Posted TMessageWindowThread::takeNext() {
    std::unique_lock hold(queueMutex_);
    queueChanged_.wait(hold, [this] { return !queue_.empty(); });
    Posted posted = std::move(queue_.front());
    queue_.pop_front();
    return posted;
}

void TMessageWindowThread::run() {
    for (;;) {
        const Posted posted = takeNext();
        if (posted.window) {
            dispatch(posted);
            continue;
        }
        if (posted.message != uint32_t(posted.lParam))
            continue;
        if (posted.message == kCreateMessage && posted.request)
            createWindow(*posted.request);
        else if (posted.message == kRemoveMessage &&
                 removeWindow(reinterpret_cast<MessageWindow*>(posted.wParam)))
            break;
    }
    {
        std::lock_guard hold(queueMutex_);
        accepting_ = false;
        queue_.clear();
    }
    for (;;) {
        std::unique_ptr<MessageWindow> window;
        {
            ScopedLock hold(&listLock_);
            if (windows_.empty())
                break;
            window = std::move(windows_.back());
            windows_.pop_back();
        }
        detachListener(window.get());
    }
    VThread::requestStop();
}

void TMessageWindowThread::createWindow(CreateRequest& request) {
    auto window = std::make_unique<MessageWindow>(request.listener, request.title);
    MessageWindow* handle = window.get();
    request.result.store(handle);
    int pending = kPending;
    // A creator that gave up waiting gets no window.
    if (!request.state.compare_exchange_strong(pending, kDone))
        return;
    {
        ScopedLock hold(&listLock_);
        windows_.push_back(std::move(window));
    }
    ScopedLock call(&handle->callLock);
    if (TWndMessageListener* listener = handle->listener.load())
        listener->windowCreated(handle);
}

std::unique_ptr<MessageWindow> TMessageWindowThread::unlist(MessageWindow* window) {
    ScopedLock hold(&listLock_);
    auto found = std::find_if(windows_.begin(), windows_.end(),
                              [window](const auto& listed) { return listed.get() == window; });
    if (found == windows_.end())
        return nullptr;
    std::unique_ptr<MessageWindow> owned = std::move(*found);
    windows_.erase(found);
    return owned;
}

bool TMessageWindowThread::removeWindow(MessageWindow* window) {
    if (std::unique_ptr<MessageWindow> owned = unlist(window))
        detachListener(owned.get());
    ScopedLock hold(&listLock_);
    if (isStopRequested())
        return true;
    if (!windows_.empty())
        return false;
    // The loop ends with its last window, unless a create is already queued. Refusing posts from
    // here on tells a later creator to start a new thread instead.
    std::lock_guard queue(queueMutex_);
    const bool createQueued = std::any_of(queue_.begin(), queue_.end(),
                                          [](const Posted& posted) { return posted.request; });
    if (!createQueued)
        accepting_ = false;
    return !createQueued;
}

void TMessageWindowThread::dispatch(const Posted& posted) {
    if (!hasWindow(posted.window))
        return;
    MessageWindow* window = posted.window;
    ScopedLock call(&window->callLock);
    TWndMessageListener* listener = window->listener.load();
    if (!listener)
        return;
    if (posted.message == kCreatedMessage && posted.lParam == intptr_t(kCreatedMessage)) {
        listener->windowCreated(window);
        return;
    }
    // Nothing stands behind an unhandled message here: it is dropped.
    bool handled = false;
    listener->handleMessage(window, posted.message, posted.wParam, posted.lParam, &handled);
}

void TMessageWindowThread::detachListener(MessageWindow* window) {
    ScopedLock call(&window->callLock);
    window->listener.store(nullptr);
}

void TMessageWindowThread::keepAliveWhileStuck(std::shared_ptr<TMessageWindowThread> self) {
    stuckSelf_ = std::move(self);
}

int TMessageWindowThread::windowCount() {
    ScopedLock hold(&listLock_);
    return int(windows_.size());
}

MessageWindow* TMessageWindowThread::windowAt(int index) {
    ScopedLock hold(&listLock_);
    return index >= 0 && index < int(windows_.size()) ? windows_[size_t(index)].get() : nullptr;
}

bool TMessageWindowThread::hasWindow(MessageWindow* window) {
    ScopedLock hold(&listLock_);
    return std::any_of(windows_.begin(), windows_.end(),
                       [window](const auto& listed) { return listed.get() == window; });
}

namespace {

// The shared thread. `lock` serialises creation and destruction; readers of `current` copy it
// under its own short lock, so they never wait for a thread being stopped.
class ProcessWindows {
public:
    // The clock is touched first so that it outlives this object at exit.
    ProcessWindows() { systemMillis(); }

    std::shared_ptr<TMessageWindowThread> current() {
        std::lock_guard hold(currentMutex_);
        return current_;
    }
    void setCurrent(std::shared_ptr<TMessageWindowThread> thread) {
        std::lock_guard hold(currentMutex_);
        current_ = std::move(thread);
    }

    VLock lock;

private:
    std::mutex currentMutex_;
    std::shared_ptr<TMessageWindowThread> current_;
};

ProcessWindows& processWindows() {
    static ProcessWindows windows;
    return windows;
}

// Stops a thread that is no longer current, once the process lock is released (its listeners
// may be waiting for that lock). Declared before the lock; never used on the thread itself.
class Retirement {
public:
    Retirement() = default;
    Retirement(const Retirement&) = delete;
    Retirement& operator=(const Retirement&) = delete;
    ~Retirement() {
        if (thread_ && !thread_->stop())
            thread_->keepAliveWhileStuck(thread_);
    }
    void take(std::shared_ptr<TMessageWindowThread> thread) { thread_ = std::move(thread); }

private:
    std::shared_ptr<TMessageWindowThread> thread_;
};

} // namespace

MessageWindow* createMessageWindow(TWndMessageListener* listener, const VString& title) {
    ProcessWindows& windows = processWindows();
    Retirement retirement;
    ScopedLock process(&windows.lock);
    auto request = std::make_shared<TMessageWindowThread::CreateRequest>(listener, title);
    std::shared_ptr<TMessageWindowThread> thread = windows.current();
    if (thread && thread->isCurrentThread()) {
        // A listener's call: create at once, unless this thread is on its way out.
        if (thread->isStopRequested())
            return nullptr;
        thread->createWindow(*request);
        return request->result.load();
    }
    if (!thread || thread->isStopRequested() || !thread->postCreate(request)) {
        // No thread, or its loop has ended: a new one takes over.
        if (thread) {
            windows.setCurrent(nullptr);
            retirement.take(std::move(thread));
        }
        thread = std::make_shared<TMessageWindowThread>();
        if (!thread->start())
            return nullptr;
        windows.setCurrent(thread);
        if (!thread->postCreate(request))
            return nullptr;
    }
    for (int poll = 0; poll < kCreateWaitPolls; ++poll) {
        if (request->state.load() == kDone)
            return request->result.load();
        sleepMillis(1);
    }
    int pending = kPending;
    if (request->state.compare_exchange_strong(pending, kCancelled))
        return nullptr;
    return request->result.load();
}

void destroyMessageWindow(MessageWindow* hwnd) {
    ProcessWindows& windows = processWindows();
    std::shared_ptr<TMessageWindowThread> thread = windows.current();
    if (!hwnd || !thread || !thread->hasWindow(hwnd))
        return;
    // Without the process lock: a listener call in progress may itself be waiting for it. Only
    // this call removes the window, so it stays alive until the remove is posted.
    thread->detachListener(hwnd);

    Retirement retirement;
    ScopedLock process(&windows.lock);
    if (thread != windows.current() || !thread->hasWindow(hwnd))
        return;
    const bool onlyWindow = thread->windowCount() == 1;
    // An ending loop deletes the window itself; its listener is already cleared.
    if (!thread->isRunning() || thread->isStopRequested() || !thread->postRemove(hwnd))
        return;
    // On the window thread the remove itself ends the loop; the next create retires the thread.
    if (onlyWindow && !thread->isCurrentThread()) {
        windows.setCurrent(nullptr);
        retirement.take(std::move(thread));
    }
}

int messageWindowCount() {
    std::shared_ptr<TMessageWindowThread> thread = processWindows().current();
    return thread ? thread->windowCount() : 0;
}

MessageWindow* messageWindowAt(int index) {
    std::shared_ptr<TMessageWindowThread> thread = processWindows().current();
    return thread ? thread->windowAt(index) : nullptr;
}

bool postMessage(MessageWindow* hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<TMessageWindowThread> thread = processWindows().current();
    return thread && thread->postWindowMessage(hwnd, message, wParam, lParam);
}

} // namespace Vorn
