#pragma once

#include "engine/TTransAction.h"

namespace Tr {

// Outgoing: asks the preset change receiver to switch presets. Incoming: reacts to a preset
// being activated or deactivated (type-5 events).
class TTransPresetChangeAction : public TTransAction {
public:
    enum ChangeType {
        kActivateOnlyNext = 0,
        kActivateOnlyPrevious = 1,
        kActivateOnlyByName = 2,
        kActivateOnlyByNumber = 3,
        kActivateByName = 4,
        kActivateByNumber = 5,
        kDeactivateByName = 6,
        kDeactivateByNumber = 7,
        kActivateThis = 8,
        kDeactivateThis = 9,
    };
    static constexpr int kChangeTypeCount = 10;
    static constexpr const char* kTag = "Pres";

    explicit TTransPresetChangeAction(bool incoming) : TTransAction(incoming) {}

    int changeType() const { return changeType_; }
    void setChangeType(int changeType) { changeType_ = changeType; }
    const Vorn::VString& presetName() const { return presetName_; }
    void setPresetName(const Vorn::VString& name) { presetName_ = name; }
    // Zero-based preset index of the number-based change types 3, 5 and 7.
    const VarOrNumber& presetNumber() const { return presetNumber_; }
    void setPresetNumber(VarOrNumber number) { presetNumber_ = number; }
    static bool usesNumber(int changeType);

    void assign(const TTransAction& other) override;
    Vorn::VString getDescription() const override;
    Vorn::VString toString() const override;
    // Throws Vorn::VException "corrupt preset change action".
    int fromString(const Vorn::VString& text) override;
    bool matches(TTransEvent& event) override;
    // Runs on the dispatcher thread (level 3); false without a preset change receiver.
    bool execute(TTransContext& context) override;
    int getType() const override;
    int getExecutionLevel() const override;
    int getCapabilities() const override;

protected:
    std::unique_ptr<TTransAction> newInstance() const override;

private:
    int changeType_ = kActivateOnlyNext;
    Vorn::VString presetName_;
    VarOrNumber presetNumber_;
};

} // namespace Tr
