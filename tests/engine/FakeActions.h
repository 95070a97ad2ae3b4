#pragma once

// Test-only action kinds, registered under tags no product uses.
//   "FkIn" TT KKKK: incoming, event type TT (hex), matches events whose key is KKKK (hex) and
//                   stores the key in local rr.
//   "FkOu" TT L NNNN: outgoing, reports type TT and execution level L, records every execute
//                   with its id NNNN, thread, locals and dispatcher-thread flag.

#include "engine/ActionFields.h"
#include "engine/TActionRegistry.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTransAction.h"
#include "engine/TTransContext.h"
#include "engine/TTransEngine.h"
#include "engine/TTransEvent.h"

#include <array>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace FakeActions {

struct Execution {
    int id;
    std::thread::id thread;
    bool onDispatcher;
    std::array<int32_t, Tr::kLocalVariableCount> locals;
};

// What the outgoing fake saw; any thread.
class Recorder {
public:
    static Recorder& instance() {
        static Recorder recorder;
        return recorder;
    }
    void add(const Execution& execution) {
        count_.fetch_add(1, std::memory_order_relaxed);
        if (!keep_.load(std::memory_order_relaxed))
            return;
        std::lock_guard<std::mutex> guard(mutex_);
        executions_.push_back(execution);
    }
    std::vector<Execution> executions() {
        std::lock_guard<std::mutex> guard(mutex_);
        return executions_;
    }
    std::vector<int> ids() {
        std::vector<int> result;
        for (const Execution& execution : executions())
            result.push_back(execution.id);
        return result;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        executions_.clear();
        count_.store(0);
    }
    // Benchmarks only count, so that executing allocates nothing.
    void setKeep(bool keep) { keep_.store(keep); }
    int64_t count() const { return count_.load(std::memory_order_relaxed); }
    // The engine whose dispatcher decides onDispatcher (null: false).
    void setEngine(Tr::TTransEngine* engine) { engine_.store(engine); }
    Tr::TTransEngine* engine() const { return engine_.load(); }

private:
    std::mutex mutex_;
    std::vector<Execution> executions_;
    std::atomic<int64_t> count_{0};
    std::atomic<bool> keep_{true};
    std::atomic<Tr::TTransEngine*> engine_{nullptr};
};

class FakeIncoming : public Tr::TTransAction {
public:
    explicit FakeIncoming(bool incoming) : TTransAction(incoming) {}
    Vorn::VString getDescription() const override {
        return Vorn::VString::format("fake in %d", key_);
    }
    Vorn::VString toString() const override {
        return Vorn::VString::format("FkIn%02X%04X", type_, key_);
    }
    int fromString(const Vorn::VString& text) override {
        const int type = Tr::readHexDigits(text, 4, 2);
        const int key = Tr::readHexDigits(text, 6, 4);
        if (type < 0 || key < 0)
            return 0;
        type_ = type;
        key_ = key;
        return 10;
    }
    bool matches(Tr::TTransEvent& event) override {
        if (event.key != key_)
            return false;
        event.locals[3] = key_;
        return true;
    }
    int getType() const override { return type_; }
    int getExecutionLevel() const override { return 0; }
    int getCapabilities() const override { return Tr::kCapabilityIncoming; }

protected:
    std::unique_ptr<Tr::TTransAction> newInstance() const override {
        return std::make_unique<FakeIncoming>(isIncoming());
    }

private:
    int type_ = 1;
    int key_ = 0;
};

class FakeOutgoing : public Tr::TTransAction {
public:
    explicit FakeOutgoing(bool incoming) : TTransAction(incoming) {}
    Vorn::VString getDescription() const override {
        return Vorn::VString::format("fake out %d", id_);
    }
    Vorn::VString toString() const override {
        return Vorn::VString::format("FkOu%02X%d%04X", type_, level_, id_);
    }
    int fromString(const Vorn::VString& text) override {
        const int type = Tr::readHexDigits(text, 4, 2);
        const int level = Tr::readHexDigits(text, 6, 1);
        const int id = Tr::readHexDigits(text, 7, 4);
        if (type < 0 || level < 0 || id < 0)
            return 0;
        type_ = type;
        level_ = level;
        id_ = id;
        return 11;
    }
    bool execute(Tr::TTransContext& context) override {
        Execution execution{id_, std::this_thread::get_id(), false, {}};
        Tr::TTransEngine* engine = Recorder::instance().engine();
        execution.onDispatcher = engine && engine->dispatcher().isDispatcherThread();
        for (int i = 0; i < Tr::kLocalVariableCount; ++i)
            execution.locals[static_cast<size_t>(i)] = context.locals[i];
        Recorder::instance().add(execution);
        return true;
    }
    int getType() const override { return type_; }
    int getExecutionLevel() const override { return level_; }
    int getCapabilities() const override { return Tr::kCapabilityOutgoing; }

protected:
    std::unique_ptr<Tr::TTransAction> newInstance() const override {
        return std::make_unique<FakeOutgoing>(isIncoming());
    }

private:
    int type_ = 1;
    int level_ = 0;
    int id_ = 0;
};

inline void registerFakes() {
    Tr::registerEngineActions();
    Tr::registerAction({"FkIn",
                        [](bool incoming) -> std::unique_ptr<Tr::TTransAction> {
                            return std::make_unique<FakeIncoming>(incoming);
                        },
                        1, Tr::kCapabilityIncoming});
    Tr::registerAction({"FkOu",
                        [](bool incoming) -> std::unique_ptr<Tr::TTransAction> {
                            return std::make_unique<FakeOutgoing>(incoming);
                        },
                        1, Tr::kCapabilityOutgoing});
}

inline Vorn::VString incoming(int type, int key) {
    return Vorn::VString::format("FkIn%02X%04X", type, key);
}
inline Vorn::VString outgoing(int id, int level = 0, int type = 1) {
    return Vorn::VString::format("FkOu%02X%d%04X", type, level, id);
}

} // namespace FakeActions
