#pragma once

#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "foundation/ErrorMessageCollector.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"
#include "project/TProjectFile.h"

#include <cstdio>
#include <string>

namespace Cli {

// A project loaded for a command that works on the file alone: no engine, no ports. The loading
// messages are collected with their level prefixes.
class LoadedProject {
public:
    LoadedProject();
    // False, with the reason in failure, when the file could not be loaded at all.
    bool load(const std::string& path, std::string& failure);
    // load, telling standard error why it failed; then the loading messages go to messages.
    bool loadReporting(const char* path, std::FILE* messages);
    // Whether a collected message is an error or a warning.
    bool hasProblems() const;

    Tr::TPresetHandler& presets() { return handler_; }
    Tr::TProjectFile& file() { return project_; }
    const Vorn::ErrorMessageCollector& messages() const { return messages_; }

private:
    Tr::MIDIAliasManager aliases_;
    Tr::MIDIRouter router_{Tr::MIDIRouter::Options{&aliases_, nullptr, false}};
    Tr::TGlobalTranslateParams globals_;
    Tr::TPresetHandler handler_{&globals_};
    Tr::TProjectFile project_{handler_, &router_};
    Vorn::ErrorMessageCollector messages_;
};

} // namespace Cli
