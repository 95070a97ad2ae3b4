// Loads arbitrary INI text as a project and saves it twice: both saves must give the same text,
// and what was saved must load again (it always carries a version). Nothing may fail but by an
// exception.
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"
#include "midi/TTransMidiAction.h"
#include "platform/fake/FakeFileSystem.h"
#include "project/TProjectFile.h"

#include <cstdlib>
#include <string>

namespace {

struct Project {
    Tr::MIDIAliasManager aliases;
    Tr::MIDIRouter router{Tr::MIDIRouter::Options{&aliases, nullptr, false}};
    Tr::TGlobalTranslateParams globals;
    Tr::TPresetHandler handler{&globals};
    Platform::FakeFileSystem files;
    Tr::TProjectFile file{handler, &router, files};
    Vorn::ErrorMessageCollector errors;

    // False when the text is no project.
    bool load(const std::string& text) {
        files.setFile("/p.crvp", text);
        Tr::TIniFile ini("/p.crvp", files);
        if (!ini.load())
            return false;
        try {
            file.loadFromIni(ini, "/p.crvp", &errors, false);
        } catch (const Vorn::VException&) {
            return false;
        }
        return true;
    }
    std::string save() {
        Tr::TIniFile ini;
        file.saveToIni(ini);
        return ini.toText();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tr::registerEngineActions();
    Tr::registerMidiActions();
    Project project;
    if (!project.load(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    const std::string saved = project.save();
    if (project.save() != saved)
        std::abort();
    Project again;
    if (!again.load(saved))
        std::abort();
    return 0;
}
