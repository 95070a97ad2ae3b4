#pragma once

#include "engine/TTransAction.h"
#include "engine/VarOrNumber.h"

namespace Tr {

class TTTManager;

// Outgoing: starts a named one-shot, repeating or endless timer (mode 0) or kills it (mode 1).
// Incoming (mode 2): matches the timer events of its timer. Names differing only in case name
// one timer.
class TTransTimerAction : public TTransAction {
public:
    enum Mode { kStart = 0, kKill = 1, kIncoming = 2 };
    static constexpr const char* kTag = "Tim0";
    // Above this dispatcher queue fill, a single immediate firing is scheduled by the timer
    // manager instead of being posted.
    static constexpr int kMaxImmediateFillPercent = 74;

    explicit TTransTimerAction(bool incoming);

    const Vorn::VString& timerName() const { return timerName_; }
    // Also looks the name up in (and adds it to) the timer manager's name table.
    void setTimerName(const Vorn::VString& name);
    int timerId() const { return timerId_; }
    const VarOrNumber& initialDelay() const { return initialDelay_; }
    const VarOrNumber& period() const { return period_; }
    const VarOrNumber& repeatCount() const { return repeatCount_; }
    void setTimes(VarOrNumber initialDelay, VarOrNumber period, VarOrNumber repeatCount);
    int timerMode() const { return timerMode_; }
    void setTimerMode(int mode) { timerMode_ = mode; }

    void assign(const TTransAction& other) override;
    Vorn::VString getDescription() const override;
    Vorn::VString toString() const override;
    // Throws Vorn::VException "Corrupt timer configuration.".
    int fromString(const Vorn::VString& text) override;
    bool matches(TTransEvent& event) override;
    bool execute(TTransContext& context) override;
    int getType() const override;
    int getExecutionLevel() const override;
    int getCapabilities() const override;

protected:
    std::unique_ptr<TTransAction> newInstance() const override;

private:
    // Removes the timer and cancels its immediate firings queued in the context's engine.
    void killTimer(TTTManager& manager, TTransContext& context);

    Vorn::VString timerName_;
    int timerId_ = 0;
    VarOrNumber initialDelay_;
    VarOrNumber period_;
    VarOrNumber repeatCount_ = VarOrNumber::number(1);
    int timerMode_ = kStart;
};

} // namespace Tr
