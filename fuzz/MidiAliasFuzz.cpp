// The readers of aliases and MIDI port settings over arbitrary text: the compact port-list form,
// the "Ports" and alias XML forms, and the "MIDI.alias", "MIDI.in" and "MIDI.out" sections.
// Nothing may crash, and what a reader keeps must save, load and save again to the same text.
#include "foundation/ErrorMessages.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MIDIAliasList.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MidiManager.h"

#include <cstdlib>
#include <string>

namespace {

class Quiet : public Vorn::ErrorMessageCallback {
public:
    void message(int, const Vorn::VString&) override {}
};

Tr::MidiManager::Options options(Tr::MIDIAliasManager& aliases) {
    Tr::MidiManager::Options result;
    result.aliases = &aliases;
    result.useHotplugWatcher = false;
    return result;
}

// Loads the sections, saves them, loads that into fresh managers and saves again.
void settingsRoundTrip(const Vorn::VString& text) {
    Tr::TIniFile ini;
    for (const char* section : {"MIDI.alias", "MIDI.in", "MIDI.out"})
        ini.section(section).lines().setText(text);
    Tr::MIDIAliasManager aliases;
    Tr::MidiManager manager(options(aliases));
    aliases.load(ini);
    manager.loadSettings(ini);
    Tr::TIniFile first;
    aliases.save(first, &manager);
    manager.saveSettings(first);

    Tr::MIDIAliasManager aliasesAgain;
    Tr::MidiManager managerAgain(options(aliasesAgain));
    aliasesAgain.load(first);
    managerAgain.loadSettings(first);
    Tr::TIniFile second;
    aliasesAgain.save(second, &managerAgain);
    managerAgain.saveSettings(second);
    if (first.toText() != second.toText())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Quiet quiet;
    static bool registered = (Vorn::addErrorCallback(&quiet), true);
    (void)registered;
    const Vorn::VString text(std::string_view(reinterpret_cast<const char*>(data), size));

    Tr::MIDIAliasManager aliases;
    Tr::MIDIAliasList list;
    for (int type : {int(Tr::MIDIAlias::kIn), int(Tr::MIDIAlias::kOut)}) {
        try {
            const int used = list.readCompact(text, 0, type, true, &aliases);
            if (used < 0 || used > text.length())
                std::abort();
            if (used > 0) {
                // What was read writes back to a form that reads the same aliases.
                const Vorn::VString written = list.toCompact(type);
                Tr::MIDIAliasList back;
                back.readCompact(written, 0, type, false, &aliases);
                if (back.count() != list.count())
                    std::abort();
            }
        } catch (const Vorn::VException&) {
        }
    }

    Vorn::VString error;
    if (const auto root = Vorn::XmlElement::parse(text, error)) {
        list.readElement(*root, Tr::MIDIAlias::kIn, true, &aliases);
        aliases.readElement(*root, &quiet);
        for (Vorn::XmlElement* child = root->firstChild(); child; child = child->nextSibling())
            aliases.readElement(*child, &quiet);
    }

    settingsRoundTrip(text);
    return 0;
}
