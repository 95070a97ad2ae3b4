#include "project/TTextExport.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransList.h"
#include "foundation/VStringList.h"
#include "midi/MIDIAliasManager.h"
#include "midi/TTransMidiAction.h"
#include "platform/fake/FakeFileSystem.h"
#include "project/TProjectFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> strings(const Vorn::VStringList& lines) {
    std::vector<std::string> result;
    for (const Vorn::VString& line : lines)
        result.push_back(std::string(line.view()));
    return result;
}

class TextExportTest : public ::testing::Test {
protected:
    TextExportTest() {
        Tr::registerEngineActions();
        Tr::registerMidiActions();
    }
    void load(const std::string& text) {
        files.setFile("/work/Live Set.crvp", text);
        project.loadFromFile("/work/Live Set.crvp", nullptr, false);
    }

    Tr::MIDIAliasManager aliases;
    Platform::FakeFileSystem files;
    Tr::TGlobalTranslateParams globals;
    Tr::TPresetHandler handler{&globals};
    Tr::TProjectFile project{handler, nullptr, files};
};

const char* const kProject =
    "[Project]\nVersion=2\nAuthor=Ann\nAuthorContact=\nComments=two\\nlines\n"
    "AuthorWWW=example.org\nAuthorCopyright=\nDefaultInPorts=MIDA00020004Keys0003Pad\n"
    "DefaultOutPorts=\n"
    "[Preset.0]\nName=Main\nActive=1\nPresetSwitchIgnore=0\n"
    "Name0=Fader\nIncoming0=EnDi01\nOutgoing0=Tim0TimS0004Beat0:0:10\n"
    "Options0=Actv01Stop01OutO01StMa00000001pp=1\n"
    "Name1=\nIncoming1=Tim0TimT0004Beat\nOutgoing1=Tim0TimK0004Beat\nOptions1=Actv00Stop00OutO00\n"
    "[Preset.1]\nName=Drums\nActive=0\nPresetSwitchIgnore=0\nDefaultOutPorts=MIDA00010005Synth\n";

TEST_F(TextExportTest, ProjectPresetsAndTranslatorsInTheirLayout) {
    load(kProject);
    Vorn::VStringList lines;
    Tr::projectToText(project, handler, lines);
    const std::vector<std::string> expected = {
        "Project: Live Set",
        " Author:   Ann",
        " Website:  example.org",
        " Comments:",
        "two\nlines",
        "",
        " Project MIDI IN ports:   Keys, Pad",
        std::string(61, '_'),
        "[x] Preset 0: Main",
        "", // a translator after other lines starts with an empty one
        "[x] Translator 0.0: Fader",
        "Options: stop",
        "Incoming: Enable Processing",
        "Rules: 'pp=1'",
        "Outgoing: Periodic timer \"Beat\": 10 ms (initial delay: 0 ms)",
        "",
        "[ ] Translator 0.1: On timer \"Beat\"",
        "Incoming: On timer \"Beat\"",
        "Outgoing: Kill timer \"Beat\"",
        "",
        std::string(61, '_'),
        "[ ] Preset 1: Drums",
        " Default MIDI OUT ports:Synth",
        "",
    };
    EXPECT_EQ(strings(lines), expected);

    // A preset alone, and a translator alone after nothing.
    Vorn::VStringList alone;
    Tr::presetToText(*handler.preset(1), -1, alone);
    EXPECT_EQ(strings(alone),
              (std::vector<std::string>{"[ ] Preset: Drums", " Default MIDI OUT ports:Synth", ""}));
    Vorn::VStringList one;
    Tr::translatorToText(*handler.preset(0)->get(1), 1, -1, one);
    Tr::translatorToText(*handler.preset(0)->get(1), -1, -1, one);
    EXPECT_EQ(strings(one),
              (std::vector<std::string>{
                  "[ ] Translator 1: On timer \"Beat\"", "Incoming: On timer \"Beat\"",
                  "Outgoing: Kill timer \"Beat\"", "", "[ ] Translator: On timer \"Beat\"",
                  "Incoming: On timer \"Beat\"", "Outgoing: Kill timer \"Beat\""}));
}

TEST_F(TextExportTest, OneLineTextsStayOnTheirLabelLine) {
    load("[Project]\nVersion=2\nComments=just one\nAppleScript=a\\nb\n");
    Vorn::VStringList lines;
    Tr::projectToText(project, handler, lines);
    EXPECT_EQ(strings(lines), (std::vector<std::string>{"Project: Live Set", " Comments: just one",
                                                        " AppleScript:", "a\nb", ""}));
}

} // namespace
