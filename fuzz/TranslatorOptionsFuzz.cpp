// Builds a translator from arbitrary action texts and options, as a preset load does. The input
// is "incoming LF outgoing LF options" (missing parts are empty). Whatever the options parser
// cannot read must be kept: the unparsed remainder is the tail of the options given, it is
// reported, and the written options end with it. Written options and the clipboard record read
// back to the same translator.
#include "engine/TActionRegistry.h"
#include "engine/TErrorMessageHandler.h"
#include "engine/TTransMsg.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

class CountingErrors : public Tr::TErrorMessageHandler {
public:
    void message(Tr::TTransMsg*, int, const Vorn::VString& text) override {
        if (text.isEmpty())
            std::abort();
        ++count;
    }
    int count = 0;
};

// The part of input up to the next line feed (or the end), which is then dropped from input.
std::string_view takeLine(std::string_view& input) {
    const size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    return line;
}

bool endsWith(const Vorn::VString& text, const Vorn::VString& tail) {
    return text.length() >= tail.length() &&
           text.view().substr(text.length() - tail.length()) == tail.view();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tr::registerEngineActions();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const Vorn::VString incoming(takeLine(input));
    const Vorn::VString outgoing(takeLine(input));
    const Vorn::VString options(input);

    CountingErrors errors;
    Tr::TTransMsgPtr translator = Tr::makeTranslator();
    translator->build("fuzz", incoming, outgoing, options, &errors);
    const Vorn::VString unparsed = translator->unparsedOptions();
    const Vorn::VString written = translator->optionsToString();
    if (!endsWith(options, unparsed) || !endsWith(written, unparsed))
        std::abort();
    if (!unparsed.isEmpty() && errors.count == 0)
        std::abort();
    (void)translator->getOptionsDescription(true, true);
    (void)translator->getIncomingDescription();
    (void)translator->getOutgoingDescription();

    Tr::TTransMsgPtr reread = Tr::makeTranslator();
    reread->build("fuzz", translator->incoming() ? translator->incoming()->toString() : "",
                  translator->outgoing() ? translator->outgoing()->toString() : "", written,
                  nullptr);
    // Stored rules have no end mark and the remainder is written right after them, so there the
    // remainder may read back as part of the last rule; the written text stays the same.
    if (reread->optionsToString() != written ||
        (!translator->hasRules() && reread->unparsedOptions() != unparsed))
        std::abort();

    const Vorn::VString record = translator->getRecordText();
    Tr::TTransMsgPtr pasted = Tr::makeTranslator();
    pasted->setFromRecordText(record, nullptr);
    if (pasted->getRecordText() != record)
        std::abort();
    return 0;
}
