#pragma once

#include "foundation/VString.h"

namespace Vorn {
class ErrorMessageCallback;
}

namespace Tr {

class TTransMsg;

// Receives the problems found while building translators (corrupt actions, corrupt options).
// Called on the thread that loads or edits; level is 0 error, 1 warning, 2 information, 3 debug.
class TErrorMessageHandler {
public:
    virtual ~TErrorMessageHandler();
    virtual void message(TTransMsg* translator, int level, const Vorn::VString& text) = 0;
};

// One link of a chain: passes every message on to its parent handler, or, at the end of the
// chain, to an error callback (the project's error collector). Neither is owned.
class TCascadedErrorMessageHandler : public TErrorMessageHandler {
public:
    explicit TCascadedErrorMessageHandler(TErrorMessageHandler* parent = nullptr,
                                          Vorn::ErrorMessageCallback* sink = nullptr)
        : parent_(parent), sink_(sink) {}

    void message(TTransMsg* translator, int level, const Vorn::VString& text) override;

    TErrorMessageHandler* parent() const { return parent_; }

private:
    TErrorMessageHandler* parent_;
    Vorn::ErrorMessageCallback* sink_;
};

// The handler a preset load reports through: prefixes every message with the preset's name and
// the label of the translator being built ("# n: name").
class TLoadingTransListErrorHandler : public TCascadedErrorMessageHandler {
public:
    TLoadingTransListErrorHandler(TErrorMessageHandler* parent, const Vorn::VString& presetName)
        : TCascadedErrorMessageHandler(parent), presetName_(presetName) {}

    void setPresetName(const Vorn::VString& name) { presetName_ = name; }
    void setTranslator(int number, const Vorn::VString& name);
    const Vorn::VString& translatorLabel() const { return label_; }

    void message(TTransMsg* translator, int level, const Vorn::VString& text) override;

private:
    Vorn::VString presetName_;
    Vorn::VString label_;
};

} // namespace Tr
