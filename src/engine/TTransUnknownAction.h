#pragma once

#include "engine/TTransAction.h"

namespace Tr {

// Keeps a stored action nobody understands (unknown tag, or a class of type 0) so that it is
// written back unchanged. It never matches and never executes.
class TTransUnknownAction : public TTransAction {
public:
    explicit TTransUnknownAction(bool incoming) : TTransAction(incoming) {}

    const Vorn::VString& text() const { return text_; }

    void assign(const TTransAction& other) override;
    Vorn::VString getDescription() const override;
    Vorn::VString toString() const override { return text_; }
    int fromString(const Vorn::VString& text) override;
    int getType() const override;
    int getExecutionLevel() const override;
    int getCapabilities() const override;

protected:
    std::unique_ptr<TTransAction> newInstance() const override;

private:
    Vorn::VString text_;
};

} // namespace Tr
