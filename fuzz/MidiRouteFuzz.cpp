// Reads arbitrary text as the project file's routes section: after the first byte, either the
// XML value of the key "Routes" (first byte even) or lines of key=value (odd). Whatever loads
// must save, and what it saves must load into a fresh router that saves the very same section.
#include "foundation/TIniFile.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void fillSection(Tr::TIniFile& ini, std::string_view text, bool lines) {
    if (!lines) {
        ini.setValue(Tr::MIDIRouter::kSection, "Routes", Vorn::VString(text));
        return;
    }
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && equals > 0)
            ini.setValue(Tr::MIDIRouter::kSection, Vorn::VString(line.substr(0, equals)),
                         Vorn::VString(line.substr(equals + 1)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

std::string saveThroughFreshRouter(const Tr::TIniFile& from) {
    Tr::MIDIAliasManager aliases;
    Tr::MIDIRouter router(Tr::MIDIRouter::Options{&aliases, nullptr, false});
    router.load(from, nullptr);
    Tr::TIniFile saved;
    router.save(saved);
    return saved.toText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    Tr::TIniFile ini;
    fillSection(ini, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1),
                (data[0] & 1) != 0);

    Tr::MIDIAliasManager aliases;
    Tr::MIDIRouter router(Tr::MIDIRouter::Options{&aliases, nullptr, false});
    router.load(ini, nullptr);
    Tr::TIniFile saved;
    router.save(saved);
    if (saveThroughFreshRouter(saved) != saved.toText())
        abort();
    return 0;
}
