#pragma once

#include "foundation/VLock.h"
#include "foundation/VString.h"
#include "foundation/VThread.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace Vorn {

// A hidden window that receives messages on the shared message-window thread. The handle is
// opaque; it stays valid until destroyMessageWindow (or the end of the thread).
struct MessageWindow;

// What a message window reports to its owner. Both calls run on the message-window thread.
class TWndMessageListener {
public:
    virtual ~TWndMessageListener() = default;
    // The window exists and is listed.
    virtual void windowCreated(MessageWindow* hwnd);
    // A message posted to the window; set *handled when the listener dealt with it.
    virtual void handleMessage(MessageWindow* hwnd, uint32_t message, uintptr_t wParam,
                               intptr_t lParam, bool* handled) = 0;
};

// The one thread, named "Window Message Thread", that owns every message window of the process
// and runs its own message loop. Use it through the functions below.
class TMessageWindowThread final : public VThread {
public:
    struct CreateRequest;

    TMessageWindowThread();
    ~TMessageWindowThread() override;

    // Also posts the remove message without a window, which ends the loop.
    void requestStop() override;
    void run() override;

    // Any thread. False once the loop has ended or when the window is not one of this thread's.
    bool postWindowMessage(MessageWindow* window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam);
    bool postCreate(const std::shared_ptr<CreateRequest>& request);
    bool postRemove(MessageWindow* window);

    // Any thread: the windows in order of creation.
    int windowCount();
    MessageWindow* windowAt(int index);
    bool hasWindow(MessageWindow* window);

    // On the window thread.
    void createWindow(CreateRequest& request);
    // Clears the window's listener, waiting for a call in progress on the window thread.
    void detachListener(MessageWindow* window);
    // A thread that stop() abandoned is still used by its run: it keeps itself alive.
    void keepAliveWhileStuck(std::shared_ptr<TMessageWindowThread> self);

private:
    struct Posted;

    bool post(Posted posted);
    Posted takeNext();
    bool removeWindow(MessageWindow* window);
    void dispatch(const Posted& posted);
    std::unique_ptr<MessageWindow> unlist(MessageWindow* window);

    VLock listLock_;
    std::vector<std::unique_ptr<MessageWindow>> windows_; // guarded by listLock_
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<Posted> queue_; // guarded by queueMutex_
    bool accepting_ = true;    // guarded by queueMutex_
    std::shared_ptr<TMessageWindowThread> stuckSelf_;
};

// Process-wide message windows. Creation and destruction are serialised by one process lock,
// taken before the thread's list lock. createMessageWindow starts the thread when needed and
// returns null on failure; destroying the thread's only window stops and deletes the thread.
// After destroyMessageWindow returns, the window's listener is not called again.
MessageWindow* createMessageWindow(TWndMessageListener* listener, const VString& title);
void destroyMessageWindow(MessageWindow* hwnd);
int messageWindowCount();
MessageWindow* messageWindowAt(int index); // null when out of range
// Delivers a message to the window's listener on the window thread; false when it cannot.
bool postMessage(MessageWindow* hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam);

} // namespace Vorn
