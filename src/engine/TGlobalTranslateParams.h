#pragma once

#include "engine/TTransStats.h"
#include "foundation/VList.h"
#include "foundation/VLock.h"
#include "foundation/VString.h"

#include <atomic>
#include <cstdint>

namespace Tr {

class TPresetHandler;
class TTransAction;
class TTransEngine;
struct TTransContext;
struct TTransEvent;

// Told when the processing switch changes. Called on the thread that changed it.
class TEngineEnabledListener {
public:
    virtual ~TEngineEnabledListener() = default;
    virtual void processingEnabledChanged(int enabled) = 0;
};

// Receives the engine's log lines, one operation per log kind, on whatever thread logs
// (input threads, the dispatcher, the host). The three integers depend on the kind.
class TLogListener {
public:
    virtual ~TLogListener() = default;
    virtual void logMessage(const Vorn::VString& text) = 0;
    virtual void logIncoming(const Vorn::VString& text, int value1, int value2, int value3) = 0;
    virtual void logOutgoing(const Vorn::VString& text, int value1, int value2, int value3) = 0;
    virtual void logRule(const Vorn::VString& text, int value1, int value2, int value3) = 0;
};

// Receives activity bits (engine/ActionTypes.h) from every event-processing thread.
class TShowEventsListener {
public:
    virtual ~TShowEventsListener() = default;
    virtual void addActivity(uint32_t flags) = 0;
};

// Carries out preset change requests of outgoing preset change actions (the project's preset
// handler). Called on the dispatcher thread.
class TEngineEnabledCallback {
public:
    virtual ~TEngineEnabledCallback() = default;
    virtual void executePresetChange(TTransAction* action, int changeType,
                                     const Vorn::VString& name, int number) = 0;
};

// Engine-wide parameters: processing switch, log switches and listeners, the global variables
// and the statistics. Read by every event-processing thread without locks (relaxed atomics);
// the switches and listeners are set by the host thread.
class TGlobalTranslateParams {
public:
    enum LogKind { kLogMessages = 0, kLogIncoming = 1, kLogOutgoing = 2, kLogRules = 3 };
    static constexpr int kGlobalVariableCount = 360;
    static constexpr int kFirstGlobalVariable = 10; // variable indexes 0..9 are the locals
    static constexpr int kVariableCount = kFirstGlobalVariable + kGlobalVariableCount;

    TGlobalTranslateParams();
    virtual ~TGlobalTranslateParams();
    TGlobalTranslateParams(const TGlobalTranslateParams&) = delete;
    TGlobalTranslateParams& operator=(const TGlobalTranslateParams&) = delete;

    // Processing switch, 1 initially. A change (not a repeat of the current value) is stored and
    // then told to every enabled listener in registration order, on the calling thread.
    int processingEnabled() const { return processingEnabled_.load(std::memory_order_relaxed); }
    void setProcessingEnabled(int enabled);
    void addEnabledListener(TEngineEnabledListener* listener);
    void removeEnabledListener(TEngineEnabledListener* listener);

    // Log switches (0/1, all 0 initially), one per LogKind; other kinds read as 0.
    int logSwitch(int kind) const;
    void setLogSwitch(int kind, int on);
    // True when the switch is on and a log listener is set: worth formatting a line for.
    bool isLogging(int kind) const { return logSwitch(kind) != 0 && logListener() != nullptr; }

    TLogListener* logListener() const { return logListener_.load(std::memory_order_acquire); }
    void setLogListener(TLogListener* listener) {
        logListener_.store(listener, std::memory_order_release);
    }
    TShowEventsListener* activityListener() const {
        return activityListener_.load(std::memory_order_acquire);
    }
    void setActivityListener(TShowEventsListener* listener) {
        activityListener_.store(listener, std::memory_order_release);
    }
    // Hands non-zero flags to the activity listener, if one is set.
    void addActivity(uint32_t flags) const;

    // Each does nothing while its switch is 0 or no log listener is set.
    void logMessage(const Vorn::VString& text) const;
    // Passes the event's type, preset index and translator index.
    void logIncoming(const Vorn::VString& text, const TTransEvent& event) const;
    // Passes value and the context's preset index and translator index.
    void logOutgoing(const Vorn::VString& text, int value, const TTransContext& context) const;
    // Passes the rule index and the event's preset index and translator index.
    void logRule(const Vorn::VString& text, int ruleIndex, const TTransEvent& event) const;

    // Set once: a call while the field is already set is ignored.
    TPresetHandler* presetHandler() const { return presetHandler_.load(std::memory_order_acquire); }
    void setPresetHandler(TPresetHandler* handler);
    TTransEngine* engine() const { return engine_.load(std::memory_order_acquire); }
    void setEngine(TTransEngine* engine);

    // Registered by the engine at construction, cleared (nullptr) at its destruction.
    TEngineEnabledCallback* presetChangeReceiver() const {
        return presetChangeReceiver_.load(std::memory_order_acquire);
    }
    void setPresetChangeReceiver(TEngineEnabledCallback* receiver) {
        presetChangeReceiver_.store(receiver, std::memory_order_release);
    }

    // Variable index 0..9 reads locals (0 when locals is null), 10..369 the globals; any other
    // index reads 0 and writes nothing. Concurrent writers race; the last write wins.
    int32_t getVariable(int index, const int32_t* locals) const;
    void setVariable(int index, int32_t value, int32_t* locals);
    // Global variable by its own index 0..359 (0 outside).
    int32_t globalVariable(int globalIndex) const;
    void setGlobalVariable(int globalIndex, int32_t value);
    void clearGlobalVariables();

    TTransStats& stats() { return stats_; }
    const TTransStats& stats() const { return stats_; }

private:
    std::atomic<int> processingEnabled_{1};
    std::atomic<int> logSwitches_[4] = {};
    std::atomic<TLogListener*> logListener_{nullptr};
    std::atomic<TShowEventsListener*> activityListener_{nullptr};
    std::atomic<TPresetHandler*> presetHandler_{nullptr};
    std::atomic<TTransEngine*> engine_{nullptr};
    std::atomic<TEngineEnabledCallback*> presetChangeReceiver_{nullptr};
    // Guards enabledListeners_; held (recursively) while they are told of a change.
    mutable Vorn::VLock enabledLock_;
    Vorn::VList<TEngineEnabledListener*> enabledListeners_;
    std::atomic<int32_t> globalVariables_[kGlobalVariableCount] = {};
    TTransStats stats_;
};

} // namespace Tr
