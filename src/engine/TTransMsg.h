#pragma once

#include "foundation/VString.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace Tr {

class TErrorMessageHandler;
class TTransAction;
class TTransList;
class TTransStepMath;
struct TTransContext;

// A translator: one incoming action, optional rules and one outgoing action, plus options.
//
// Lifetime: the owning preset holds the implicit first reference; queued dispatcher work takes
// further ones with retain(). Whoever drops a reference calls release(); the translator deletes
// itself when the count falls below zero. Never delete a translator that has been released.
//
// Threads: edits run under the preset handler's lock held exclusively; event threads read the
// translator under the lock held shared. retain/release and the active flag are atomic, as the
// dispatcher thread uses them without the lock.
class TTransMsg {
public:
    TTransMsg();
    TTransMsg(const TTransMsg&) = delete;
    TTransMsg& operator=(const TTransMsg&) = delete;

    void retain() { refCount_.fetch_add(1, std::memory_order_relaxed); }
    void release();
    int referenceCount() const { return refCount_.load(std::memory_order_relaxed); }

    TTransList* preset() const { return preset_; }
    // Moves the per-type action counts from the old preset to the new one.
    void setPreset(TTransList* preset);

    int serial() const { return serial_; }
    bool outputOriginal() const { return outputOriginal_; }
    void setOutputOriginal(bool value) { outputOriginal_ = value; }
    bool stop() const { return stop_; }
    void setStop(bool value) { stop_ = value; }
    bool isActive() const { return active_.load(std::memory_order_relaxed); }
    void setActive(bool value) { active_.store(value, std::memory_order_relaxed); }
    const Vorn::VString& name() const { return name_; }
    void setName(const Vorn::VString& name) { name_ = name; }
    const Vorn::VString& unparsedOptions() const { return unparsedOptions_; }

    // Active, not stopping, swallowing, no unparsed options, and a fresh serial number.
    void resetOptions();

    TTransAction* incoming() const { return incoming_.get(); }
    TTransAction* outgoing() const { return outgoing_.get(); }
    // Replace an action: the old one is detached, uncounted and deleted; the new one (or none)
    // is counted in the preset and gets this translator as its owner.
    void setIncoming(std::unique_ptr<TTransAction> action);
    void setOutgoing(std::unique_ptr<TTransAction> action);

    TTransStepMath* rules() const { return rules_.get(); }
    void setRules(std::unique_ptr<TTransStepMath> rules);
    bool hasRules() const;

    // Drops rules and actions, then builds both actions from their stored forms. A text that
    // gives no usable action is reported to errors (may be null) and kept as an unknown action.
    void setActions(const Vorn::VString& incomingText, const Vorn::VString& outgoingText,
                    TErrorMessageHandler* errors);

    // Reads the options field; stops at the first field it cannot read, reports it and keeps
    // the rest verbatim, to be written back by optionsToString.
    void parseOptions(const Vorn::VString& text, TErrorMessageHandler* errors);
    Vorn::VString optionsToString() const;

    // Runs the outgoing action when the translator is active; adds the action type's "out"
    // activity bit to flags on success. Called on the event thread or the dispatcher thread.
    void executeOutgoing(TTransContext& context, uint32_t& flags);

    Vorn::VString getIncomingDescription() const;
    Vorn::VString getOutgoingDescription() const;
    // "stop", "disabled", "swallow" and the rules' short description, separated by ",".
    Vorn::VString getOptionsDescription(bool withDisabled, bool withRules) const;

    // The clipboard record: the lines "Name=", "Incoming=", "Outgoing=" and "Options=".
    Vorn::VString getRecordText() const;
    void setFromRecordText(const Vorn::VString& text, TErrorMessageHandler* errors);

    // Builds the translator from its four stored texts, in the order a preset load uses.
    void build(const Vorn::VString& name, const Vorn::VString& incomingText,
               const Vorn::VString& outgoingText, const Vorn::VString& options,
               TErrorMessageHandler* errors);

    static constexpr const char* kRecordName = "Name=";
    static constexpr const char* kRecordIncoming = "Incoming=";
    static constexpr const char* kRecordOutgoing = "Outgoing=";
    static constexpr const char* kRecordOptions = "Options=";

protected:
    // Only release() deletes (or the owner of a translator that was never handed out).
    virtual ~TTransMsg();

private:
    void replaceAction(std::unique_ptr<TTransAction>& slot, std::unique_ptr<TTransAction> action,
                       bool incoming);
    void install(bool incoming, std::unique_ptr<TTransAction> action);
    void countActions(int delta) const;

    TTransList* preset_ = nullptr;
    int serial_ = 0;
    bool outputOriginal_ = false;
    bool stop_ = false;
    Vorn::VString name_;
    std::atomic<bool> active_{false};
    Vorn::VString unparsedOptions_;
    std::atomic<int32_t> refCount_{0};
    std::unique_ptr<TTransAction> incoming_;
    std::unique_ptr<TTransAction> outgoing_;
    std::unique_ptr<TTransStepMath> rules_;
};

// Drops the owner's reference: lets std::unique_ptr hold a translator that queued work may
// keep alive beyond its owner.
struct TTransMsgDeleter {
    void operator()(TTransMsg* translator) const { translator->release(); }
};
using TTransMsgPtr = std::unique_ptr<TTransMsg, TTransMsgDeleter>;

inline TTransMsgPtr makeTranslator() {
    return TTransMsgPtr(new TTransMsg());
}

} // namespace Tr
