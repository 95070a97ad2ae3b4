#include "engine/TErrorMessageHandler.h"

#include "foundation/ErrorMessages.h"

namespace Tr {

using Vorn::VString;

TErrorMessageHandler::~TErrorMessageHandler() = default;

void TCascadedErrorMessageHandler::message(TTransMsg* translator, int level, const VString& text) {
    if (parent_)
        parent_->message(translator, level, text);
    else if (sink_)
        sink_->message(level, text);
}

void TLoadingTransListErrorHandler::setTranslator(int number, const VString& name) {
    label_ = VString::format("# %d: %s", number, name.c_str());
}

void TLoadingTransListErrorHandler::message(TTransMsg* translator, int level, const VString& text) {
    TCascadedErrorMessageHandler::message(
        translator, level,
        VString::format("Error while loading preset '%s', Translator '%s':\r\n    %s",
                        presetName_.c_str(), label_.c_str(), text.c_str()));
}

} // namespace Tr
