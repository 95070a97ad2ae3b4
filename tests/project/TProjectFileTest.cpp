#include "project/TProjectFile.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "foundation/ErrorMessageCollector.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"
#include "midi/TTransMidiAction.h"
#include "platform/fake/FakeFileSystem.h"
#include "project/ProjectTextCoding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Tr::TIniFile;
using Tr::TProjectFile;
using Vorn::VString;

std::string str(const VString& text) {
    return std::string(text.view());
}

// One preset section: every kind of action, rules, a delay, an unknown action and an option
// that is not understood.
std::string presetText(int index) {
    const std::string n = std::to_string(index);
    return "[Preset." + n + "]\n" + "Name=Preset " + n + "\nActive=" + (index % 2 ? "0" : "1") +
           "\nPresetSwitchIgnore=0\n"
           "Name0=note to cc\nIncoming0=MID1904060\nOutgoing0=MID1B0" +
           (index < 10 ? "0" : "") + std::to_string(index) +
           "40\nOptions0=Actv01Stop00OutO00Dlay250:Millis\n"
           "Name1=timer\nIncoming1=MID3<Incoming Action=\"MIDI\"><Simple Type=\"NoteOn\">"
           "<Channel var=\"pp\" Type=\"SetVar\"/><Value1 num=\"0x3C\"/><Value2 num=\"0x00\" "
           "Type=\"Any\"/></Simple></Incoming>\nOutgoing1=Tim0TimS0004Beat3:0:10\n"
           "Options1=Actv01Stop00OutO00StMa00000001pp=1\n"
           "Name2=on beat\nIncoming2=Tim0TimT0004Beat\n"
           "Outgoing2=MID2MIDA00020004Out10004Out2B007pp\nOptions2=Actv01Stop00OutO00\n"
           "Name3=switch\nIncoming3=EnDi01\nOutgoing3=Pres010000\nOptions3=Actv00Stop01OutO00\n"
           "Name4=kill\nIncoming4=Pres080000\nOutgoing4=Tim0TimK0004beat\n"
           "Options4=Actv01Stop00OutO01Dlayqq:Seconds\n"
           "Name5=unknown\nIncoming5=None\nOutgoing5=Zzzz keeps its text\n"
           "Options5=Actv01Stop00OutO00Junk\n";
}

std::string projectText(int presets) {
    std::string text = "[Project]\nVersion=2\nAuthor=Ann\nAuthorContact=ann@example.org\n"
                       "Comments=one\\ntwo \\\\ three\nAuthorWWW=\nAuthorCopyright=(c) Ann\n"
                       "DefaultInPorts=MIDA00010004Keys\nDefaultOutPorts=MIDA00010005Synth\n"
                       "AppleScript=say \"hi\"\\r\\n\n";
    for (int i = 0; i < presets; ++i)
        text += presetText(i);
    text += "[MIDI.routes]\nIn0=Keys\nOut0=Synth\n[SerialMIDI]\nCount=0\n";
    return text;
}

class ProjectFileTest : public ::testing::Test {
protected:
    ProjectFileTest() {
        Tr::registerEngineActions();
        Tr::registerMidiActions();
    }

    // Loads the text as the file name through a fresh container.
    int load(const std::string& text, bool append = false, const char* name = "/p.crvp") {
        files.setFile(name, text);
        return project.loadFromFile(name, &errors, append);
    }
    std::string saved() {
        TIniFile ini;
        project.saveToIni(ini);
        return ini.toText();
    }
    std::vector<std::string> presetNames() {
        std::vector<std::string> names;
        for (int i = 0; i < handler.presetCount(); ++i)
            names.push_back(str(handler.preset(i)->name()));
        return names;
    }
    std::vector<std::string> messages() {
        std::vector<std::string> lines;
        for (const VString& line : errors.messages())
            lines.push_back(str(line));
        return lines;
    }

    Tr::MIDIAliasManager aliases;
    Tr::MIDIRouter router{Tr::MIDIRouter::Options{&aliases, nullptr, false}};
    Platform::FakeFileSystem files;
    Tr::TGlobalTranslateParams globals;
    Tr::TPresetHandler handler{&globals};
    Vorn::ErrorMessageCollector errors;
    TProjectFile project{handler, &router, files};
};

TEST_F(ProjectFileTest, TwelvePresetsRoundTripByteForByte) {
    EXPECT_EQ(load(projectText(12)), 12);
    // Only the unknown action and the option nobody reads are reported, once per preset.
    ASSERT_EQ(messages().size(), 24u);
    EXPECT_EQ(messages()[0], "WARNING: Error while loading preset 'Preset 0', Translator '# 5: "
                             "unknown':\r\n    Outgoing Action corrupt or not supported: Zzzz");
    EXPECT_EQ(messages()[1], "WARNING: Error while loading preset 'Preset 0', Translator '# 5: "
                             "unknown':\r\n    corrupt options: Junk");
    const std::string first = saved();
    EXPECT_EQ(presetNames()[10], "Preset 10");
    EXPECT_EQ(presetNames()[2], "Preset 2");
    EXPECT_EQ(router.routeCount(), 1);

    Tr::TGlobalTranslateParams otherGlobals;
    Tr::TPresetHandler otherHandler{&otherGlobals};
    Tr::MIDIRouter otherRouter{Tr::MIDIRouter::Options{&aliases, nullptr, false}};
    TProjectFile other(otherHandler, &otherRouter, files);
    files.setFile("/again.crvp", first);
    EXPECT_EQ(other.loadFromFile("/again.crvp", nullptr, false), 12);
    TIniFile again;
    other.saveToIni(again);
    EXPECT_EQ(again.toText(), first);

    // What the reader does not understand is written back as it was.
    for (const char* kept :
         {"Outgoing5=Zzzz keeps its text", "Options5=Actv01Stop00OutO00Junk",
          "[SerialMIDI]\nCount=0", "Outgoing1=Tim0TimS0004Beat3:0:10",
          "Options4=Actv01Stop00OutO01Dlayqq:Seconds", "Comments=one\\ntwo \\\\ three",
          "AppleScript=say \"hi\"\\r\\n", "[Preset.11]"})
        EXPECT_NE(first.find(kept), std::string::npos) << kept;
    EXPECT_EQ(str(project.properties().comments), "one\ntwo \\ three");
    EXPECT_EQ(str(project.properties().appleScript), "say \"hi\"\r\n");
    EXPECT_EQ(str(handler.defaultInPorts()), "MIDA00010004Keys");
}

TEST_F(ProjectFileTest, PresetsStopAtTheFirstMissingIndexAndAppendAddsAfter) {
    EXPECT_EQ(load(projectText(0) + presetText(0) + presetText(2)), 1);
    EXPECT_EQ(saved().find("[Preset.2]"), std::string::npos);

    EXPECT_EQ(load("[Project]\nVersion=1\nDefaultInPorts=\n" + presetText(0) + presetText(1), true),
              3);
    EXPECT_EQ(presetNames(), (std::vector<std::string>{"Preset 0", "Preset 0", "Preset 1"}));
    // An empty port list leaves the project's as it was; appending keeps its properties.
    EXPECT_EQ(str(handler.defaultInPorts()), "MIDA00010004Keys");
    EXPECT_EQ(str(project.properties().author), "Ann");
}

TEST_F(ProjectFileTest, VersionRulesAndTheirMessages) {
    struct Case {
        const char* version; // null: no key
        bool loads;
        std::vector<std::string> messages;
    };
    const std::string later = std::string("ERROR: ") + TProjectFile::kLaterVersion;
    const Case cases[] = {
        {nullptr, false, {}}, {"abc", false, {}}, {"", false, {}},      {"0", true, {}},
        {"1", true, {}},      {"2", true, {}},    {"3", true, {later}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version ? c.version : "(none)");
        errors = Vorn::ErrorMessageCollector();
        std::string text = "[Project]\n";
        if (c.version)
            text += std::string("Version=") + c.version + "\n";
        text += "[Preset.0]\nName=Solo\nActive=1\nPresetSwitchIgnore=0\n";
        try {
            EXPECT_EQ(load(text), 1);
            EXPECT_TRUE(c.loads);
        } catch (const Vorn::VException& e) {
            EXPECT_FALSE(c.loads);
            EXPECT_STREQ(e.what(), TProjectFile::kNoVersion);
            EXPECT_EQ(handler.presetCount(), 0);
        }
        EXPECT_EQ(messages(), c.messages);
    }
}

TEST_F(ProjectFileTest, BadFilesAreRefusedWithTheirMessage) {
    files.setFile("/xml.crvp", "<?xml version=\"1.0\"?>\n<Project/>\n");
    files.setFile("/json.crvp", "{\n\"Version\": 2\n}\n");
    files.setFile("/binary.crvp", std::string("\x00\x01\xFF\xFE garbage", 12));
    files.setFile("/empty.crvp", "");
    files.setFile("/cut.crvp", "[Project]\nVers");
    files.createDirectories("/dir.crvp");
    const struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"/missing.crvp", "Error reading file: /missing.crvp"},
        {"/dir.crvp", "Error reading file: /dir.crvp"},
        {"/xml.crvp", TProjectFile::kIncompatibleFormat},
        {"/json.crvp", TProjectFile::kIncompatibleFormat},
        {"/binary.crvp", TProjectFile::kNoVersion},
        {"/empty.crvp", TProjectFile::kNoVersion},
        {"/cut.crvp", TProjectFile::kNoVersion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            project.loadFromFile(c.name, &errors, false);
            ADD_FAILURE() << "loaded";
        } catch (const Vorn::VException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST_F(ProjectFileTest, SavingToAFileKeepsTheOldFileWhenItFailsAndAuthorTextsStayOneLine) {
    load(projectText(1));
    project.properties().author = "Ann\r\nSmith";
    project.properties().authorWWW = "a\nb";
    project.properties().appleScript = VString();
    ASSERT_TRUE(project.saveToFile("/out.crvp", &errors));
    const std::string text = files.file("/out.crvp");
    EXPECT_NE(text.find("Author=Ann  Smith\n"), std::string::npos);
    EXPECT_NE(text.find("AuthorWWW=a b\n"), std::string::npos);
    EXPECT_EQ(text.find("AppleScript"), std::string::npos);
    EXPECT_EQ(str(project.properties().fileName), "/out.crvp");

    // On the real file system, a folder in place of the file.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("corvane-project-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "taken.crvp");
    TProjectFile real(handler, &router);
    EXPECT_FALSE(real.saveToFile((dir / "taken.crvp").c_str(), &errors));
    EXPECT_EQ(messages().back(), std::string("ERROR: ") + TProjectFile::kSaveFailed);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.crvp"));
    std::filesystem::remove_all(dir);
}

TEST(ProjectTextCoding, EscapesAndUnescapes) {
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"a\nb\\c\"d", "a\\nb\\\\c\"d"},
        {"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(str(Tr::escapeProjectText(c.text)), c.escaped);
        EXPECT_EQ(str(Tr::unescapeProjectText(c.escaped)), c.text);
    }
    const struct {
        const char* escaped;
        const char* text;
    } reads[] = {
        {"\\x41\\x4a", "AJ"}, {"\\x4", "x4"}, {"\\q", "q"}, {"end\\", "end"}, {"\\\"", "\""},
    };
    for (const auto& r : reads)
        EXPECT_EQ(str(Tr::unescapeProjectText(r.escaped)), r.text) << r.escaped;
}

} // namespace
