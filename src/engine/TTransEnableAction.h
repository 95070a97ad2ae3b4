#pragma once

#include "engine/TTransAction.h"

namespace Tr {

// Outgoing: switches event processing off (mode 0) or on (mode 1). Incoming: reacts to that
// switch and, with mode 2, to a project being opened (type-6 events).
class TTransEnableAction : public TTransAction {
public:
    enum Mode { kDisable = 0, kEnable = 1, kProjectOpened = 2 };
    static constexpr int kModeCount = 3;
    static constexpr const char* kTag = "EnDi";

    explicit TTransEnableAction(bool incoming) : TTransAction(incoming) {}

    int mode() const { return mode_; }
    void setMode(int mode) { mode_ = mode; }

    void assign(const TTransAction& other) override;
    Vorn::VString getDescription() const override;
    Vorn::VString toString() const override;
    // Throws Vorn::VException "corrupt enable/disable action".
    int fromString(const Vorn::VString& text) override;
    bool matches(TTransEvent& event) override;
    // Throws Vorn::VException for a mode other than 0 or 1. The engine's enabled listener posts
    // the type-6 event that a change causes.
    bool execute(TTransContext& context) override;
    int getType() const override;
    int getExecutionLevel() const override;
    int getCapabilities() const override;

protected:
    std::unique_ptr<TTransAction> newInstance() const override;

private:
    int mode_ = kDisable;
};

} // namespace Tr
