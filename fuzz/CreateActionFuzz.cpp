// Builds an action for either role from arbitrary stored text, as a translator load does. An
// action that reads the text must describe, clone and write itself, and what it writes must read
// back to the very same text; text nobody reads is kept by an unknown action byte for byte.
#include "engine/TActionRegistry.h"
#include "engine/TTransAction.h"
#include "engine/TTransUnknownAction.h"
#include "foundation/VException.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void checkRoundTrip(const Tr::TTransAction& action, bool incoming) {
    const Vorn::VString written = action.toString();
    (void)action.getDescription();
    (void)action.getDescriptionWithDelay();
    const std::unique_ptr<Tr::TTransAction> copy = action.clone();
    if (copy->isIncoming() != incoming || copy->toString() != written)
        std::abort();
    const std::unique_ptr<Tr::TTransAction> reread = Tr::createAction(written, incoming);
    if (!reread || reread->fromString(written) != written.length() || reread->toString() != written)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tr::registerEngineActions();
    const Vorn::VString text(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const bool incoming : {true, false}) {
        Tr::TTransUnknownAction unknown(incoming);
        if (unknown.fromString(text) != text.length() || unknown.toString() != text)
            std::abort();

        const std::unique_ptr<Tr::TTransAction> action = Tr::createAction(text, incoming);
        if (!action)
            continue;
        if (action->isIncoming() != incoming)
            std::abort();
        int consumed = 0;
        try {
            consumed = action->fromString(text);
        } catch (const Vorn::VException& exception) {
            if (exception.message().isEmpty())
                std::abort();
            continue;
        }
        if (consumed < 0 || consumed > text.length())
            std::abort();
        if (consumed > 0)
            checkRoundTrip(*action, incoming);
    }
    return 0;
}
