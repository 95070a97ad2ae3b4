#include "cli/LoadedProject.h"

#include "engine/TActionRegistry.h"
#include "foundation/VException.h"
#include "midi/TTransMidiAction.h"

namespace Cli {

LoadedProject::LoadedProject() {
    Tr::registerEngineActions();
    Tr::registerMidiActions();
}

bool LoadedProject::load(const std::string& path, std::string& failure) {
    try {
        project_.loadFromFile(Vorn::VString(path), &messages_, false);
        return true;
    } catch (const Vorn::VException& e) {
        failure = e.what();
        return false;
    }
}

bool LoadedProject::hasProblems() const {
    for (const Vorn::VString& line : messages_.messages())
        if (line.startsWith("ERROR: ") || line.startsWith("WARNING: "))
            return true;
    return false;
}

bool LoadedProject::loadReporting(const char* path, std::FILE* messages) {
    std::string failure;
    if (!load(path, failure)) {
        std::fprintf(stderr, "corvane: %s\n", failure.c_str());
        return false;
    }
    for (const Vorn::VString& line : messages_.messages())
        std::fprintf(messages, "%s\n", line.c_str());
    return true;
}

} // namespace Cli
