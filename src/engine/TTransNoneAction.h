#pragma once

#include "engine/TTransAction.h"

namespace Tr {

// The placeholder that does nothing: never matches, and executes successfully doing nothing.
class TTransNoneAction : public TTransAction {
public:
    static constexpr const char* kTag = "None";

    explicit TTransNoneAction(bool incoming) : TTransAction(incoming) {}

    void assign(const TTransAction&) override {}
    Vorn::VString getDescription() const override;
    Vorn::VString toString() const override;
    // Throws Vorn::VException "corrupt none action".
    int fromString(const Vorn::VString& text) override;
    bool execute(TTransContext& context) override;
    int getType() const override;
    int getExecutionLevel() const override;
    int getCapabilities() const override;

protected:
    std::unique_ptr<TTransAction> newInstance() const override;
};

} // namespace Tr
