#pragma once

#include "engine/VarOrNumber.h"
#include "foundation/VList.h"
#include "foundation/VString.h"

#include <memory>

namespace Vorn {
class ErrorMessageCallback;
class XmlElement;
} // namespace Vorn

namespace Tr {

class TTransMsg;
struct TTransContext;
struct TTransEvent;

// Delay units of an outgoing action.
inline constexpr int kDelayNone = 0;
inline constexpr int kDelaySeconds = 1;
inline constexpr int kDelayMillis = 2;

// An incoming trigger or an outgoing action of a translator; the role is fixed at construction.
// Threads: matches() runs on event-delivering threads, execute() there or on the dispatcher
// thread, both while the preset lock is held shared or queued work references the translator;
// everything else runs on the host's thread under the exclusive preset lock. Actions do not lock.
class TTransAction {
public:
    class Listener {
    public:
        virtual ~Listener();
        // Called from the action's destructor, once the derived part is already gone: use the
        // pointer only to identify the action.
        virtual void actionDeleted(TTransAction* action);
    };

    explicit TTransAction(bool incoming);
    TTransAction(const TTransAction&) = delete;
    TTransAction& operator=(const TTransAction&) = delete;
    virtual ~TTransAction();

    // Copies the other action's content; base: fromString(other.toString()).
    virtual void assign(const TTransAction& other);
    // A new action of the same class and role with this content and delay.
    virtual std::unique_ptr<TTransAction> clone() const;
    virtual Vorn::VString getDescription() const = 0;
    // After owner was set / before it is cleared or changed. Base: nothing.
    virtual void attach();
    virtual void detach();
    // The stored form, beginning with the class's tag.
    virtual Vorn::VString toString() const = 0;
    // Parses a stored form beginning with the tag; returns the characters consumed, 0 or a
    // Vorn::VException on failure.
    virtual int fromString(const Vorn::VString& text) = 0;
    // The XML element form of the content. Base: false.
    virtual bool readElement(const Vorn::XmlElement& element, Vorn::ErrorMessageCallback* errors);
    virtual bool writeElement(Vorn::XmlElement& element) const;
    // Called once by the registry right after the factory. Base: nothing.
    virtual void postCreate();
    // Incoming role: does the event match; captured values go into the event's locals.
    // Base: false.
    virtual bool matches(TTransEvent& event);
    // Outgoing role: performs the action; true when something was done. Base: false.
    virtual bool execute(TTransContext& context);
    virtual int getType() const = 0;
    virtual int getExecutionLevel() const = 0;
    // kCapabilityIncoming | kCapabilityOutgoing (TActionRegistry.h).
    virtual int getCapabilities() const = 0;

    bool isIncoming() const { return incoming_; }
    TTransMsg* owner() const { return owner_; }
    void setOwner(TTransMsg* owner) { owner_ = owner; }

    int delayUnit() const { return delayUnit_; }
    const VarOrNumber& delay() const { return delay_; }
    void setDelay(int unit, VarOrNumber delay);
    void setDelayUnit(int unit) { delayUnit_ = unit; }
    // getDescription() plus ", delay:<value> seconds|millisec" for a delayed outgoing action.
    Vorn::VString getDescriptionWithDelay() const;

    void addListener(Listener* listener); // ignored when already registered
    void removeListener(Listener* listener);

protected:
    // A new, empty action of the same class and role; clone() fills it.
    virtual std::unique_ptr<TTransAction> newInstance() const = 0;
    void copyDelayFrom(const TTransAction& other);

private:
    const bool incoming_;
    TTransMsg* owner_ = nullptr;
    int delayUnit_ = kDelayNone;
    VarOrNumber delay_;
    std::unique_ptr<Vorn::VList<Listener*>> listeners_; // created on the first registration
};

} // namespace Tr
