#include "project/TTextExport.h"

#include "engine/ActionFields.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransAction.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "engine/TTransStepMath.h"
#include "foundation/VException.h"
#include "midi/MIDIAliasList.h"
#include "project/TProjectFile.h"

#include <string>

namespace Tr {

using Vorn::VString;
using Vorn::VStringList;

namespace {

constexpr const char* kRule =
    "_____________________________________________________________"; // 61 underscores

char box(bool on) {
    return on ? 'x' : ' ';
}

bool hasLineBreak(const VString& text) {
    return text.view().find_first_of("\r\n") != std::string_view::npos;
}

// A text that may span lines: on its label's line, or after it as one entry and an empty line.
void addBlock(VStringList& lines, const char* oneLineLabel, const char* blockLabel,
              const VString& text) {
    if (text.isEmpty())
        return;
    if (!hasLineBreak(text)) {
        lines.add(VString(oneLineLabel) + text);
        return;
    }
    lines.add(blockLabel);
    lines.add(text);
    lines.add(VString());
}

void addIfSet(VStringList& lines, const char* label, const VString& value) {
    if (!value.isEmpty())
        lines.add(VString(label) + value);
}

// The file name without folder and extension.
VString baseName(const VString& fileName) {
    std::string_view name = fileName.view();
    const size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return VString(name);
}

class ReadGuard {
public:
    explicit ReadGuard(Vorn::VRWLock& lock) : lock_(lock) { lock_.lockRead(); }
    ~ReadGuard() { lock_.unlockRead(); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    Vorn::VRWLock& lock_;
};

void presetLines(TTransList& preset, int index, VStringList& lines) {
    const std::string name(preset.displayName().view());
    if (index < 0)
        lines.add(VString::format("[%c] Preset: %s", box(preset.isActive()), name.c_str()));
    else
        lines.add(
            VString::format("[%c] Preset %d: %s", box(preset.isActive()), index, name.c_str()));
    addIfSet(lines, " Default MIDI IN ports:", portListText(preset.defaultInPorts()));
    addIfSet(lines, " Default MIDI OUT ports:", portListText(preset.defaultOutPorts()));
    for (int j = 0; j < preset.count(); ++j)
        if (const TTransMsg* translator = preset.get(j))
            translatorToText(*translator, j, index, lines);
    lines.add(VString());
}

} // namespace

VString portListText(const VString& stored) {
    const int magic = static_cast<int>(std::string_view(MIDIAliasList::kCompactMagic).size());
    if (stored.view().substr(0, magic) != MIDIAliasList::kCompactMagic)
        return stored;
    const int count = readHexDigits(stored, magic, 4);
    if (count < 0)
        return stored;
    VString text;
    int position = magic + 4;
    try {
        for (int i = 0; i < count; ++i) {
            VString name;
            position += readTextField(stored, position, name);
            if (i > 0)
                text += ", ";
            text += name;
        }
    } catch (const Vorn::VException&) {
        return stored;
    }
    return text;
}

void projectToText(TProjectFile& project, TPresetHandler& presets, VStringList& lines) {
    ReadGuard guard(presets.presetLock());
    const TProjectProperties& properties = project.properties();
    lines.add(VString("Project: ") + baseName(properties.fileName));
    addIfSet(lines, " Author:   ", properties.author);
    addIfSet(lines, " Contact:  ", properties.authorContact);
    addIfSet(lines, " Website:  ", properties.authorWWW);
    addIfSet(lines, " Copyright:", properties.authorCopyright);
    addBlock(lines, " Comments: ", " Comments:", properties.comments);
    addBlock(lines, " AppleScript: ", " AppleScript:", properties.appleScript);
    addIfSet(lines, " Project MIDI IN ports:   ", portListText(presets.defaultInPorts()));
    addIfSet(lines, " Project MIDI OUT ports:  ", portListText(presets.defaultOutPorts()));
    for (int i = 0; i < presets.presetCount(); ++i) {
        lines.add(kRule);
        presetLines(*presets.preset(i), i, lines);
    }
}

void presetToText(TTransList& preset, int index, VStringList& lines) {
    if (preset.handler()) {
        ReadGuard guard(preset.handler()->presetLock());
        presetLines(preset, index, lines);
    } else {
        presetLines(preset, index, lines);
    }
}

void translatorToText(const TTransMsg& translator, int index, int presetIndex, VStringList& lines) {
    if (lines.count() > 0)
        lines.add(VString());
    VString name = translator.name();
    if (name.isEmpty())
        name = translator.getIncomingDescription();
    const std::string text(name.view());
    const char on = box(translator.isActive());
    if (index < 0)
        lines.add(VString::format("[%c] Translator: %s", on, text.c_str()));
    else if (presetIndex < 0)
        lines.add(VString::format("[%c] Translator %d: %s", on, index, text.c_str()));
    else
        lines.add(
            VString::format("[%c] Translator %d.%d: %s", on, presetIndex, index, text.c_str()));
    addIfSet(lines, "Options: ", translator.getOptionsDescription(false, false));
    addIfSet(lines, "Incoming: ", translator.getIncomingDescription());
    if (translator.hasRules())
        translator.rules()->appendListing(lines, false);
    addIfSet(lines, "Outgoing: ", translator.getOutgoingDescription());
}

} // namespace Tr
