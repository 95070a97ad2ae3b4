#pragma once

#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TEventProcessor.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransAction.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "engine/TTransMsg.h"
#include "foundation/ErrorMessages.h"
#include "foundation/SystemClock.h"
#include "foundation/VException.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace DispatcherTest {

// What executed work saw, in execution order; written by the dispatcher thread, read by tests.
struct Execution {
    int id;
    std::array<int32_t, Tr::kLocalVariableCount> locals;
    int64_t atMillis;
    bool onDispatcherThread;
};

class ExecutionLog {
public:
    void add(const Execution& execution) {
        std::lock_guard hold(mutex_);
        executions_.push_back(execution);
    }
    std::vector<Execution> executions() const {
        std::lock_guard hold(mutex_);
        return executions_;
    }
    std::vector<int> ids() const {
        std::vector<int> ids;
        for (const Execution& execution : executions())
            ids.push_back(execution.id);
        return ids;
    }
    size_t size() const {
        std::lock_guard hold(mutex_);
        return executions_.size();
    }

    Tr::TRuntimeDispatcher* dispatcher = nullptr;

private:
    mutable std::mutex mutex_;
    std::vector<Execution> executions_;
};

enum class Outcome { Succeed, ThrowVException, ThrowStdException, ThrowInteger };

// An outgoing action that records its execution and then succeeds or throws.
class RecordingAction final : public Tr::TTransAction {
public:
    using Hook = std::function<void(Tr::TTransContext&)>;

    RecordingAction(ExecutionLog& log, int id, int type = Tr::kTypeKeystroke,
                    Outcome outcome = Outcome::Succeed, Hook hook = {})
        : TTransAction(false), log_(log), id_(id), type_(type), outcome_(outcome),
          hook_(std::move(hook)) {}

    bool execute(Tr::TTransContext& context) override {
        Execution execution{id_,
                            {},
                            Vorn::systemMillis(),
                            log_.dispatcher != nullptr && log_.dispatcher->isDispatcherThread()};
        for (int i = 0; i < Tr::kLocalVariableCount; ++i)
            execution.locals[i] = context.locals[i];
        log_.add(execution);
        if (hook_)
            hook_(context);
        switch (outcome_) {
        case Outcome::ThrowVException:
            throw Vorn::VException("action failed: port gone");
        case Outcome::ThrowStdException:
            throw std::runtime_error("out of range value");
        case Outcome::ThrowInteger:
            throw 42;
        case Outcome::Succeed:
            break;
        }
        return true;
    }
    Vorn::VString getDescription() const override { return "recording"; }
    Vorn::VString toString() const override { return "Rec0"; }
    int fromString(const Vorn::VString&) override { return 0; }
    int getType() const override { return type_; }
    int getExecutionLevel() const override { return Tr::kLevelDispatcherOnly; }
    int getCapabilities() const override { return Tr::kCapabilityOutgoing; }

protected:
    std::unique_ptr<Tr::TTransAction> newInstance() const override {
        return std::make_unique<RecordingAction>(log_, id_, type_, outcome_, hook_);
    }

private:
    ExecutionLog& log_;
    const int id_;
    const int type_;
    const Outcome outcome_;
    const Hook hook_;
};

// Counts actions deleted (with their translator).
class DeletionWatch final : public Tr::TTransAction::Listener {
public:
    void actionDeleted(Tr::TTransAction*) override { deleted.fetch_add(1); }
    std::atomic<int> deleted{0};
};

inline Tr::TTransMsgPtr makeTranslatorWith(std::unique_ptr<Tr::TTransAction> outgoing) {
    Tr::TTransMsgPtr translator = Tr::makeTranslator();
    translator->setActive(true);
    translator->setOutgoing(std::move(outgoing));
    return translator;
}

inline Tr::TTransContext contextFor(Tr::TGlobalTranslateParams& globals, Tr::TTransMsg* translator,
                                    int32_t* locals) {
    Tr::TTransContext context{};
    context.globals = &globals;
    context.translator = translator;
    context.presetIndex = 0;
    context.translatorIndex = 0;
    context.locals = locals;
    return context;
}

// A copy of what a posted event looked like when it was processed.
struct ProcessedEvent {
    int type;
    intptr_t key;
    bool hasText;
    std::string text;
    bool hasData;
    std::vector<uint8_t> data;
    bool onDispatcherThread;
};

class RecordingProcessor final : public Tr::TEventProcessor {
public:
    void processEventAndNotify(Tr::TTransEvent& event) override {
        ProcessedEvent seen{static_cast<int>(event.type),
                            event.key,
                            event.text != nullptr,
                            event.text != nullptr ? event.text : "",
                            event.data != nullptr,
                            {},
                            dispatcher != nullptr && dispatcher->isDispatcherThread()};
        if (event.data != nullptr)
            seen.data.assign(event.data, event.data + event.dataLength);
        std::lock_guard hold(mutex_);
        events_.push_back(seen);
    }
    std::vector<ProcessedEvent> events() const {
        std::lock_guard hold(mutex_);
        return events_;
    }

    Tr::TRuntimeDispatcher* dispatcher = nullptr;

private:
    mutable std::mutex mutex_;
    std::vector<ProcessedEvent> events_;
};

// Collects error messages while registered.
class ErrorCapture final : public Vorn::ErrorMessageCallback {
public:
    ErrorCapture() { Vorn::addErrorCallback(this); }
    ~ErrorCapture() override { Vorn::removeErrorCallback(this); }
    void message(int level, const Vorn::VString& text) override {
        std::lock_guard hold(mutex_);
        messages_.emplace_back(std::to_string(level) + ":" + text.c_str());
    }
    std::vector<std::string> messages() const {
        std::lock_guard hold(mutex_);
        return messages_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};

} // namespace DispatcherTest
