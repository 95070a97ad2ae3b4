// Parses arbitrary text as rules code (first byte even) or reads it as a stored rules field (odd),
// then runs the program against locals taken from the input; bit 1 of the first byte switches
// rule logging on. Input: one mode byte, up to 40 bytes of locals, then the text.
// Whatever is stored must read back to the same stored text, a parsed rule shown as text must
// parse back to the same rule, and no input may crash, hang or leak.
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "engine/TTransStepMath.h"
#include "foundation/VException.h"
#include "foundation/VStringList.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using Vorn::VString;

class DiscardingLog : public Tr::TLogListener {
public:
    void logMessage(const VString&) override {}
    void logIncoming(const VString&, int, int, int) override {}
    void logOutgoing(const VString&, int, int, int) override {}
    void logRule(const VString& text, int, int, int) override {
        if (text.isEmpty())
            std::abort(); // every trace line says something
    }
};

VString storedRule(const Tr::TTransStepMathEntry& entry) {
    VString text;
    entry.appendStored(text);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    Tr::TTransEvent event;
    event.clear();
    const size_t localBytes = std::min(size - 1, sizeof(event.locals));
    std::memcpy(event.locals, data + 1, localBytes);
    const size_t offset = 1 + localBytes;
    const VString text(
        std::string_view(reinterpret_cast<const char*>(data + offset), size - offset));

    Tr::TTransStepMath rules;
    if (mode & 1) {
        try {
            const int used = rules.fromStored(text, 0);
            if (used < 12 || used > text.length())
                std::abort();
        } catch (const Vorn::VException& exception) {
            if (exception.message() != "corrupt rule")
                std::abort();
            return 0;
        }
    } else {
        Vorn::VStringList errors;
        if (rules.parseCode(text, errors) != errors.isEmpty())
            std::abort();
        for (int i = 0; i < rules.count(); ++i) {
            const Tr::TTransStepMathEntry& entry = rules.entry(i);
            if (storedRule(Tr::TTransStepMathEntry(entry.getDisplayText(), i)) != storedRule(entry))
                std::abort();
        }
    }

    const VString stored = rules.toStored();
    Tr::TTransStepMath again;
    if (again.fromStored(stored, 0) != stored.length() || again.toStored() != stored)
        std::abort();

    static Tr::TGlobalTranslateParams globals;
    static DiscardingLog log;
    globals.setLogListener(&log);
    globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogRules, (mode & 2) != 0 ? 1 : 0);
    event.globals = &globals;
    const int result = rules.execute(event);
    if (result != 0 && result != 1)
        std::abort();
    return 0;
}
